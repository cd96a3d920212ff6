#pragma once

#include <QString>

#include <functional>

// The lock an update holds on its archive from reading the old archive to
// swapping in the new one, so that a second update of the same archive (in
// this process or another) waits and then works on the first one's result.
//
// It is an advisory flock(2) on a hidden file beside the archive, never on
// the archive itself: the swap renames a new file over the archive, and a
// lock held on the old one would go with it, out of everybody's sight. The
// lock file keeps its inode while it is held; its holder removes it before
// letting go, and a waiter that then gets the lock on the removed file tries
// again on the file now at the name. The lock dies with its process: a
// killed update leaves the file behind, unlocked, for the next update of the
// archive to take over and remove.
class ArchiveLock
{
public:
    enum Result
    {
        Held,
        // stop() said so while waiting.
        Stopped,
        // No lock can be taken there (a folder this process may not write):
        // the update goes on without one.
        Unavailable,
    };

    explicit ArchiveLock(const QString& archivePath);
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    // Takes the lock, waiting as long as another holds it. waiting is called
    // once when the wait begins; stop is asked between tries.
    Result acquire(const std::function<bool()>& stop, const std::function<void()>& waiting = {});
    void release();

    // ".<archive name>.qvlock" in the archive's folder, by its real path.
    static QString lockFilePath(const QString& archivePath);

private:
    QString m_path;
    int m_fd = -1;
};
