#include "engine/ArchiveLock.h"

#include "fileops/FileUtils.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often a waiting update looks again; short enough that the next one
// follows at once, long enough to cost nothing.
constexpr unsigned long kRetryMs = 50;

bool sameFile(int fd, const QString& path)
{
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

ArchiveLock::ArchiveLock(const QString& archivePath)
    : m_path(lockFilePath(archivePath))
{
}

ArchiveLock::~ArchiveLock()
{
    release();
}

QString ArchiveLock::lockFilePath(const QString& archivePath)
{
    const QFileInfo archive(archivePath);
    QString folder = QFileInfo(archive.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        folder = archive.absolutePath();
    return hiddenPartStem(folder + QLatin1Char('/') + archive.fileName(), QStringLiteral(".qvlock"));
}

ArchiveLock::Result ArchiveLock::acquire(const std::function<bool()>& stop, const std::function<void()>& waiting)
{
    release();
    const QByteArray name = QFile::encodeName(m_path);
    bool waited = false;
    for (;;) {
        // Read access is all flock needs, so a lock file made by another
        // user of a shared folder serves as well.
        const int fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            qDebug().noquote() << "no lock for the update:" << m_path << std::strerror(errno);
            return Unavailable;
        }
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK) {
                // A file system without locks: nobody locks this file, and
                // it would only lie about.
                qDebug().noquote() << "no lock for the update:" << m_path << std::strerror(errno);
                ::unlink(name.constData());
                ::close(fd);
                return Unavailable;
            }
            if (!waited && waiting)
                waiting();
            waited = true;
            if (stop && stop()) {
                ::close(fd);
                return Stopped;
            }
            QThread::msleep(kRetryMs);
        }
        // The holder before removed the file it held: a lock on it excludes
        // nobody any more.
        if (sameFile(fd, m_path)) {
            m_fd = fd;
            return Held;
        }
        ::close(fd);
    }
}

void ArchiveLock::release()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so nobody takes over a file that is going.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
}
