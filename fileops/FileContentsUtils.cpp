#include "fileops/FileContentsUtils.h"

#include <QFile>
#include <QTextStream>

bool writeStringToFile(const QString& path, const QString& text, QString* reason)
{
    return writeLinesToFile(path, QStringList{text}, reason);
}

bool writeLinesToFile(const QString& path, const QStringList& lines, QString* reason)
{
    QFile file(path);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    if (written) {
        QTextStream out(&file);
        out.setCodec("UTF-8");
        for (const QString& line : lines)
            out << line << '\n';
        out.flush();
        file.close();
        written = out.status() == QTextStream::Ok && file.error() == QFileDevice::NoError;
    }
    if (!written && reason)
        *reason = file.errorString();
    return written;
}
