#pragma once

#include "app/CCompressOptions.h"

#include <QList>
#include <QSet>
#include <QString>

// Decides where an archive entry may be written below an extraction's target
// folder. Every entry of an extraction goes through one guard, whatever back
// end reads the archive, so that no name leads a write outside the target:
// absolute names count as relative to the target, names with ".." parts are
// refused, and so is every path that runs through an entry the same
// extraction met earlier as a file or a link (a link placed by the archive
// would otherwise carry later entries anywhere).
class ExtractPathGuard
{
public:
    ExtractPathGuard() = default;
    explicit ExtractPathGuard(const QString& root);

    // The folder an extract request writes below, ending with "/": the
    // target folder, plus the request's sourceFolder; without the archive's
    // own top folder when removeDuplicatesRoot asks for it and every entry
    // lies below a folder of the target's name.
    static QString targetFor(const ExtractOptions& options, const QList<ArchiveItemInfo>& entries);
    // An entry's path below that folder by the request's path mode, before
    // any check.
    static QString relativeOutputPath(const ExtractOptions& options, const QString& entryPath);

    // The folder everything goes below; made absolute and clean.
    void setRoot(const QString& root);
    QString root() const { return m_root; }

    // name with "/" separators, without empty and "." parts and without a
    // leading "/"; empty when nothing is left. *escapes tells whether it has
    // a ".." part (the result is then empty too).
    static QString cleanRelativePath(const QString& name, bool* escapes = nullptr);

    enum Verdict
    {
        Inside,  // the entry goes to *fullPath
        Root,    // nothing is left of the name: the root itself
        Outside, // the entry must not be written
    };
    // Where an entry with this relative name goes.
    Verdict resolve(const QString& relativeName, QString* fullPath) const;

    // The extraction met an entry at fullPath that is not a folder (a file or
    // a link), whether it was written or not.
    void noteNonFolder(const QString& fullPath);
    bool isNonFolder(const QString& fullPath) const { return m_nonFolders.contains(fullPath); }

private:
    QString m_root;
    QSet<QString> m_nonFolders;
    // Folders (full paths) found free of those, with every folder above them.
    mutable QSet<QString> m_clearFolders;
};
