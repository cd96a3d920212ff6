#include "fileops/FileContentsUtils.h"

#include <QFile>
#include <QTextStream>

bool writeStringToFile(const QString& path, const QString& text)
{
    return writeLinesToFile(path, QStringList{text});
}

bool writeLinesToFile(const QString& path, const QStringList& lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    for (const QString& line : lines)
        out << line << '\n';
    out.flush();
    return out.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
}
