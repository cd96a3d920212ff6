#include "engine/ExtractPathGuard.h"

#include <QDir>
#include <QFileInfo>
#include <QVector>

QString ExtractPathGuard::targetFor(const ExtractOptions& options, const QList<ArchiveItemInfo>& entries)
{
    QString target = QFileInfo(options.targetDirectory).absoluteFilePath();
    if (!target.endsWith(QLatin1Char('/')))
        target += QLatin1Char('/');
    if (!options.sourceFolder.isEmpty())
        target += options.sourceFolder + QLatin1Char('/');

    const bool singleTar = entries.size() == 1 && entries.first().name.endsWith(QLatin1String(".tar"), Qt::CaseInsensitive);
    if (options.removeDuplicatesRoot && options.pathMode != EPM_RELATIVE_PATHS && options.itemIndexes.isEmpty() &&
        !singleTar && !entries.isEmpty()) {
        const QString root = QFileInfo(QDir::cleanPath(target)).fileName();
        bool allBelowRoot = !root.isEmpty();
        for (const ArchiveItemInfo& entry : entries) {
            // A whole first part only: an archive of project/... is not proj/
            // duplicated, and taking it for one would write beside the
            // chosen folder.
            if (!entry.name.startsWith(root, Qt::CaseInsensitive) ||
                (entry.name.size() > root.size() && entry.name.at(root.size()) != QLatin1Char('/'))) {
                allBelowRoot = false;
                break;
            }
        }
        if (allBelowRoot) {
            target = QFileInfo(QDir::cleanPath(target)).path();
            if (!target.endsWith(QLatin1Char('/')))
                target += QLatin1Char('/');
        }
    }
    return target;
}

QString ExtractPathGuard::relativeOutputPath(const ExtractOptions& options, const QString& entryPath)
{
    if (options.pathMode == EPM_NO_PATHS)
        return entryPath.mid(entryPath.lastIndexOf(QLatin1Char('/')) + 1);
    QString rest = entryPath;
    if (options.pathMode == EPM_RELATIVE_PATHS && !options.subPath.isEmpty()) {
        QString sub = options.subPath;
        while (sub.endsWith(QLatin1Char('/')))
            sub.chop(1);
        while (sub.startsWith(QLatin1Char('/')))
            sub.remove(0, 1);
        // The first occurrence that is whole parts of the path: "doc" is
        // not cut out of "docs/a.txt".
        for (int at = rest.indexOf(sub); !sub.isEmpty() && at >= 0; at = rest.indexOf(sub, at + 1)) {
            const int end = at + sub.size();
            if ((at == 0 || rest.at(at - 1) == QLatin1Char('/')) &&
                (end == rest.size() || rest.at(end) == QLatin1Char('/'))) {
                rest.remove(at, sub.size());
                break;
            }
        }
    }
    rest.replace(QLatin1Char(':'), QLatin1Char('_'));
    return rest;
}

ExtractPathGuard::ExtractPathGuard(const QString& root)
{
    setRoot(root);
}

void ExtractPathGuard::setRoot(const QString& root)
{
    m_root = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    m_nonFolders.clear();
    m_clearFolders.clear();
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
    const int lastSlash = relative.lastIndexOf(QLatin1Char('/'));
    // The entries of a folder share its check: made once, kept until a
    // file or link takes the name of that folder or of one above it.
    if (!m_nonFolders.isEmpty() && lastSlash >= 0 && !m_clearFolders.contains(full.left(base.size() + lastSlash))) {
        QStringList folders;
        for (int slash = relative.indexOf(QLatin1Char('/')); slash >= 0;
             slash = relative.indexOf(QLatin1Char('/'), slash + 1)) {
            folders << full.left(base.size() + slash);
            if (m_nonFolders.contains(folders.last()))
                return Outside;
        }
        for (const QString& folder : qAsConst(folders))
            m_clearFolders.insert(folder);
    }
    *fullPath = full;
    return Inside;
}

void ExtractPathGuard::noteNonFolder(const QString& fullPath)
{
    m_nonFolders.insert(fullPath);
    // Every folder below it was cleared together with it.
    if (m_clearFolders.contains(fullPath))
        m_clearFolders.clear();
}
