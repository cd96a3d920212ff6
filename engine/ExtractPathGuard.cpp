#include "engine/ExtractPathGuard.h"

#include <QDir>
#include <QFileInfo>
#include <QVector>

ExtractPathGuard::ExtractPathGuard(const QString& root)
{
    setRoot(root);
}

void ExtractPathGuard::setRoot(const QString& root)
{
    m_root = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    m_nonFolders.clear();
}

QString ExtractPathGuard::cleanRelativePath(const QString& name, bool* escapes)
{
    if (escapes)
        *escapes = false;
    const QVector<QStringRef> parts = name.splitRef(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString result;
    result.reserve(name.size());
    for (const QStringRef& part : parts) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (escapes)
                *escapes = true;
            return QString();
        }
        if (!result.isEmpty())
            result += QLatin1Char('/');
        result += part;
    }
    return result;
}

ExtractPathGuard::Verdict ExtractPathGuard::resolve(const QString& relativeName, QString* fullPath) const
{
    bool escapes = false;
    const QString relative = cleanRelativePath(relativeName, &escapes);
    if (escapes)
        return Outside;
    if (relative.isEmpty()) {
        *fullPath = m_root;
        return Root;
    }
    const QString base = m_root.endsWith(QLatin1Char('/')) ? m_root : m_root + QLatin1Char('/');
    const QString full = base + relative;
    if (!m_nonFolders.isEmpty()) {
        for (int slash = relative.indexOf(QLatin1Char('/')); slash >= 0;
             slash = relative.indexOf(QLatin1Char('/'), slash + 1)) {
            if (m_nonFolders.contains(full.left(base.size() + slash)))
                return Outside;
        }
    }
    *fullPath = full;
    return Inside;
}

void ExtractPathGuard::noteNonFolder(const QString& fullPath)
{
    m_nonFolders.insert(fullPath);
}
