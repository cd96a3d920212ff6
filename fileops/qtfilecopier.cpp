#include "fileops/qtfilecopier.h"

#include "fileops/FileClient.h"
#include "fileops/FileUtils.h"
#include "fileops/qtfilecopier_p.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QPointer>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One buffer for the whole copy where data passes through this process (as
// large as cp's: with 8 KiB a copy to another file system spends its time in
// system calls), and the block the kernel is asked to copy at a time;
// progress and cancellation are looked at after each block.
constexpr size_t kCopyBufferSize = 128 * 1024;
constexpr size_t kKernelChunk = 1 << 20;
// How long the worker's reports are gathered before the GUI thread gets them.
constexpr int kNoticeBatchMs = 5;
// How often the server's copy is asked for its state.
constexpr unsigned long kRemotePollMs = 5;

// Taken by something other than a folder (or a link to one).
bool isTakenByNonFolder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode) && ::stat(name.constData(), &st) != 0)
        return true; // a dangling link
    return !S_ISDIR(st.st_mode);
}

// The same file under two names (or the same name twice). Links are not
// followed: a link is never the same as the file it points to.
bool sameFile(const QString& a, const QString& b)
{
    struct stat first {};
    struct stat second {};
    return ::lstat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::lstat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Whether a rename can take source to dest: the device numbers are asked
// directly, which is what rename(2) goes by and far cheaper than a look at
// the mount table for every file of a large move.
bool onSameFileSystem(const QString& source, const QString& dest)
{
    struct stat from {};
    struct stat to {};
    const QByteArray parent = QFile::encodeName(QFileInfo(dest).absolutePath());
    return ::lstat(QFile::encodeName(source).constData(), &from) == 0 && ::stat(parent.constData(), &to) == 0 &&
           from.st_dev == to.st_dev;
}

// Recreates the link itself, with its target text unchanged. 0, or the
// errno of the step that failed.
int copySymLink(const QString& source, const QString& dest)
{
    const QByteArray from = QFile::encodeName(source);
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(from.constData(), target.data(), size_t(target.size()));
    if (n < 0)
        return errno;
    if (n >= target.size())
        return ENAMETOOLONG;
    target.truncate(int(n));
    const QByteArray to = QFile::encodeName(dest);
    if (pathIsTaken(dest) && !isRealFolder(dest) && ::unlink(to.constData()) != 0)
        return errno;
    return ::symlink(target.constData(), to.constData()) == 0 ? 0 : errno;
}

class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset(int fd)
    {
        close();
        m_fd = fd;
    }
    bool close()
    {
        const bool ok = m_fd < 0 || ::close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }

private:
    int m_fd;
};

ssize_t readSome(int fd, char* buffer, size_t size)
{
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

// False with errno set when a write failed (ENOSPC for one that wrote
// nothing).
bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

QtFileCopier::Error errorFromServer(int value)
{
    if (value > QtFileCopier::NoError && value <= QtFileCopier::Canceled)
        return QtFileCopier::Error(value);
    return QtFileCopier::CannotWriteDestinationFile;
}

} // namespace

// --- Chain nodes ------------------------------------------------------------

ChainNode::ChainNode(ChainNode* successor)
    : m_successor(successor)
{
}

ChainNode::~ChainNode()
{
    delete m_successor;
}

const ChainNode::SourceFacts& ChainNode::sourceFacts()
{
    SourceFacts* facts = factsOfLastNode();
    if (!facts->known) {
        struct stat st {};
        facts->exists = ::lstat(QFile::encodeName(copyRequest().source).constData(), &st) == 0;
        facts->isLink = facts->exists && S_ISLNK(st.st_mode);
        facts->known = true;
    }
    return *facts;
}

ChainNode::SourceFacts* ChainNode::factsOfLastNode()
{
    return m_successor ? m_successor->factsOfLastNode() : &m_sourceFacts;
}

bool ChainNode::handle()
{
    return passOn();
}

bool ChainNode::passOn()
{
    return m_successor ? m_successor->handle() : false;
}

QtCopyThread::Request* ChainNode::request()
{
    return m_successor ? m_successor->request() : nullptr;
}

QtCopyThread* ChainNode::thread()
{
    return m_successor ? m_successor->thread() : nullptr;
}

int ChainNode::currentId()
{
    return m_successor ? m_successor->currentId() : -1;
}

QtFileCopier::Error ChainNode::error()
{
    return m_successor ? m_successor->error() : m_error;
}

QString ChainNode::reason()
{
    return m_successor ? m_successor->reason() : m_reason;
}

void ChainNode::setError(QtFileCopier::Error error, const QString& reason)
{
    if (m_successor) {
        m_successor->setError(error, reason);
    } else {
        m_error = error;
        m_reason = reason;
    }
}

bool ChainNode::fail(QtFileCopier::Error error, const QString& reason)
{
    setError(error, reason);
    return false;
}

bool ChainNode::failErrno(QtFileCopier::Error error, int errorNumber)
{
    return fail(error, systemErrorText(errorNumber));
}

bool CanceledNode::handle()
{
    if (!request()->canceled)
        return passOn();
    if (copyRequest().dir)
        thread()->removeDescendants(currentId());
    return fail(QtFileCopier::Canceled);
}

bool SourceExistsNode::handle()
{
    if (!sourceFacts().exists)
        return fail(QtFileCopier::SourceNotExists);
    return passOn();
}

OverwriteNode::OverwriteNode(ChainNode* successor, bool overwriteAll, bool renameAll, bool renameThis)
    : ChainNode(successor)
    , m_overwriteAll(overwriteAll)
    , m_renameAll(renameAll)
    , m_renameThis(renameThis)
{
}

bool OverwriteNode::handle()
{
    const QString& dest = copyRequest().dest;
    const bool taken = isTakenByNonFolder(dest);
    // After a move whose source could not be removed, the destination is
    // our own copy.
    if (taken && !request()->copied && !hasFlag(QtFileCopier::NonInteractive) && !request()->overwrite &&
        !m_overwriteAll && !m_renameAll && !m_renameThis)
        return fail(QtFileCopier::DestinationExists);
    return passOn();
}

bool MakeLinksNode::handle()
{
    if (!hasFlag(QtFileCopier::MakeLinks))
        return passOn();
    const QString& dest = copyRequest().dest;
    const QString target = QFileInfo(dest).absoluteDir().relativeFilePath(copyRequest().source);
    const QByteArray link = QFile::encodeName(dest);
    if (pathIsTaken(dest) && !isRealFolder(dest) && ::unlink(link.constData()) != 0)
        return failErrno(QtFileCopier::CannotCreateSymLink, errno);
    if (::symlink(QFile::encodeName(target).constData(), link.constData()) != 0)
        return failErrno(QtFileCopier::CannotCreateSymLink, errno);
    return true;
}

bool RenameNode::handle()
{
    const CopyRequest& r = copyRequest();
    if (!r.move)
        return passOn();
    const bool followed = (r.dir || sourceFacts().isLink) && hasFlag(QtFileCopier::FollowLinks);
    if (followed || !onSameFileSystem(r.source, r.dest))
        return passOn();

    const bool elevated = isElevationInForce();
    qDebug() << "isElevated: " << (elevated ? "true" : "false");
    const QString dest = thread()->destinationFor(currentId(), *request());
    // A folder is renamed as a whole only onto a free name; into an existing
    // folder its contents are merged one by one.
    if (r.dir && pathIsTaken(dest))
        return passOn();
    if (sameFile(r.source, dest) || !renameFileGeneric(r.source, dest))
        return passOn();

    if (r.dir)
        thread()->reportMovedTree(currentId());
    else
        thread()->emitProgress(currentId(), QFileInfo(dest).size());
    return true;
}

bool MoveNode::handle()
{
    const CopyRequest& r = copyRequest();
    if (!r.move)
        return passOn();
    if (!request()->copied && !passOn())
        return false;
    // A file copied onto itself is still the source.
    if (!r.dir && sameFile(r.source, r.dest))
        return true;

    bool removed = true;
    QString why;
    if (r.dir && isRealFolder(r.source)) {
        // What is still inside was skipped or failed and has been reported;
        // the folder stays for it.
        if (QDir(r.source).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            removed = deleteFileGeneric(r.source, false, &why);
    } else {
        removed = deleteFileGeneric(r.source, false, &why);
    }
    request()->copied = !removed;
    thread()->setCopied(currentId(), !removed);
    return removed ? true : fail(QtFileCopier::CannotRemoveSource, why);
}

bool CopyDirNode::handle()
{
    const CopyRequest& r = copyRequest();
    if (!r.dir)
        return passOn();
    const QFileInfo source(r.source);
    const bool linkItself = source.isSymLink() && !hasFlag(QtFileCopier::FollowLinks);
    if (linkItself) {
        const int error = copySymLink(r.source, r.dest);
        return error == 0 ? true : failErrno(QtFileCopier::CannotCreateSymLink, error);
    }
    if (!source.isDir())
        return fail(QtFileCopier::SourceFileOmitted);

    bool created = false;
    if (!pathIsTaken(r.dest)) {
        if (!QFileInfo(QFileInfo(r.dest).absolutePath()).isDir())
            return fail(QtFileCopier::PathToDestinationNotExists);
        if (isElevationInForce()) {
            if (!createFolderGeneric(r.dest))
                return fail(QtFileCopier::CannotCreateDestinationDirectory, elevatedServerFailureText());
        } else if (::mkdir(QFile::encodeName(r.dest).constData(), 0777) != 0) {
            return failErrno(QtFileCopier::CannotCreateDestinationDirectory, errno);
        }
        created = true;
    } else if (!isRealFolder(r.dest)) {
        return fail(QtFileCopier::CannotCreateDestinationDirectory);
    }

    for (int child : r.childRequests)
        thread()->handle(child);
    if (thread()->isCanceled(currentId()))
        return fail(QtFileCopier::Canceled);
    // Applied last, so that a read-only folder still receives its contents.
    if (created && !isElevationInForce())
        QFile::setPermissions(r.dest, source.permissions());
    return true;
}

CopyFileNode::CopyFileNode(QtCopyThread* thread, int id, const QtCopyThread::Request& request)
    : m_thread(thread)
    , m_id(id)
    , m_request(request)
{
}

bool CopyFileNode::handle()
{
    const CopyRequest& r = copyRequest();
    if (r.dir)
        return fail(QtFileCopier::SourceDirectoryOmitted);
    const QString dest = m_thread->destinationFor(m_id, m_request);
    if (sourceFacts().isLink && !hasFlag(QtFileCopier::FollowLinks)) {
        const int error = copySymLink(r.source, dest);
        return error == 0 ? true : failErrno(QtFileCopier::CannotCreateSymLink, error);
    }
    if (!isElevationInForce())
        return copyFileLocal(r.source, dest);
    // The server would truncate a file copied onto itself before reading it.
    if (sameFile(r.source, dest)) {
        m_thread->emitProgress(m_id, QFileInfo(r.source).size());
        return true;
    }
    return copyFileRemote(r.source, dest);
}

bool CopyFileNode::copyFileLocal(const QString& source, const QString& dest)
{
    const QByteArray sourceName = QFile::encodeName(source);
    const QByteArray destName = QFile::encodeName(dest);
    // Both ends are opened without blocking, so that a pipe at either end
    // cannot hang the worker; regular files are unaffected.
    Fd in(::open(sourceName.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!in.isOpen() || ::fstat(in.get(), &st) != 0)
        return failErrno(QtFileCopier::CannotOpenSourceFile, errno);
    if (!S_ISREG(st.st_mode))
        return fail(QtFileCopier::SourceFileOmitted);
    // Read-ahead advice only pays for files larger than one kernel copy.
    if (st.st_size > qint64(kKernelChunk))
        ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // A file already at the destination is never cut or written through:
    // the copy goes to a hidden file beside it and replaces it by one rename
    // when complete, so a cancelled or failed overwrite leaves the old file
    // as it was. A link there is replaced, never followed.
    const mode_t mode = st.st_mode & 07777;
    const auto create = [&](const QByteArray& name) {
        return ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
    };
    QByteArray writeName = destName;
    Fd out(create(destName));
    if (!out.isOpen() && errno == EEXIST) {
        struct stat existing {};
        if (::lstat(destName.constData(), &existing) != 0)
            return failErrno(QtFileCopier::CannotOpenDestinationFile, errno);
        if (existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
            // A file copied onto itself already holds what it should.
            m_thread->emitProgress(m_id, st.st_size);
            return true;
        }
        if (S_ISLNK(existing.st_mode)) {
            if (::unlink(destName.constData()) != 0)
                return failErrno(QtFileCopier::CannotRemoveDestinationFile, errno);
            out.reset(create(destName));
        } else if (S_ISREG(existing.st_mode)) {
            // A file the user may not write is replaced only when forced.
            if (::access(destName.constData(), W_OK) != 0 && !hasFlag(QtFileCopier::Force))
                return failErrno(QtFileCopier::CannotOpenDestinationFile, errno);
            const QByteArray stem = QFile::encodeName(hiddenPartStem(dest, QStringLiteral(".qvcopy")));
            for (int n = 0; n < 100 && !out.isOpen(); ++n) {
                writeName = n == 0 ? stem : stem + QByteArray::number(n);
                out.reset(create(writeName));
                if (!out.isOpen() && errno != EEXIST)
                    break;
            }
        }
    }
    if (!out.isOpen() && writeName == destName && hasFlag(QtFileCopier::Force) && errno != ENOENT &&
        errno != ENOTDIR) {
        if (::unlink(destName.constData()) != 0)
            return failErrno(QtFileCopier::CannotRemoveDestinationFile, errno);
        out.reset(create(destName));
    }
    if (!out.isOpen())
        return failErrno(QtFileCopier::CannotOpenDestinationFile, errno);
    struct stat target {};
    if (::fstat(out.get(), &target) != 0) {
        const int error = errno;
        ::unlink(writeName.constData());
        return failErrno(QtFileCopier::CannotOpenDestinationFile, error);
    }

    QtFileCopier::Error result = QtFileCopier::NoError;
    int resultErrno = 0;
    // The kernel copies without a trip through this process where it can;
    // files that report no size (as in /proc) are read the plain way.
    bool inKernel = st.st_size > 0;
    std::unique_ptr<char[]> buffer;
    qint64 count = 0;
    for (;;) {
        if (m_thread->isCanceled(m_id)) {
            result = QtFileCopier::Canceled;
            break;
        }
        ssize_t n = 0;
        if (inKernel) {
            n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, kKernelChunk, 0);
            if (n < 0 && errno == EINTR)
                continue;
            // Not possible between these two (other file systems, old
            // kernels), or nothing from a file that claimed a size (as some
            // in /proc do): a plain read has the last word. After data the
            // kernel's end is the end.
            if ((n == 0 && count == 0) ||
                (n < 0 && count == 0 && errno != ENOSPC && errno != EDQUOT && errno != EFBIG && errno != EIO)) {
                inKernel = false;
                continue;
            }
            if (n < 0) {
                result = (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) ? QtFileCopier::CannotWriteDestinationFile
                                                                                 : QtFileCopier::CannotReadSourceFile;
                resultErrno = errno;
                break;
            }
        } else {
            if (!buffer)
                buffer.reset(new char[kCopyBufferSize]);
            n = readSome(in.get(), buffer.get(), kCopyBufferSize);
            if (n < 0) {
                result = QtFileCopier::CannotReadSourceFile;
                resultErrno = errno;
                break;
            }
            if (n > 0 && !writeAll(out.get(), buffer.get(), size_t(n))) {
                result = QtFileCopier::CannotWriteDestinationFile;
                resultErrno = errno;
                break;
            }
        }
        if (n == 0) {
            m_thread->emitProgress(m_id, count);
            break;
        }
        count += n;
        if (m_thread->progressRequested())
            m_thread->emitProgress(m_id, count);
    }

    in.close();
    // A new file has them already unless the umask took some away.
    if (result == QtFileCopier::NoError && (target.st_mode & 07777) != mode && ::fchmod(out.get(), mode) != 0)
        qDebug() << "cannot copy the permissions of" << source;
    // A copy that replaces a file is on the disk before it takes the name,
    // and the name's change follows it there: a power cut leaves the old
    // file or the new one, never a torn one.
    if (result == QtFileCopier::NoError && writeName != destName && ::fsync(out.get()) != 0) {
        result = QtFileCopier::CannotWriteDestinationFile;
        resultErrno = errno;
    }
    // A network file system reports data it could not store here.
    if (!out.close() && result == QtFileCopier::NoError) {
        result = QtFileCopier::CannotWriteDestinationFile;
        resultErrno = errno;
    }
    if (result == QtFileCopier::NoError && writeName != destName) {
        if (::rename(writeName.constData(), destName.constData()) != 0) {
            result = QtFileCopier::CannotWriteDestinationFile;
            resultErrno = errno;
        } else {
            syncPath(QFileInfo(dest).absolutePath(), true);
        }
    }
    if (result != QtFileCopier::NoError) {
        ::unlink(writeName.constData());
        return resultErrno != 0 ? failErrno(result, resultErrno) : fail(result);
    }
    return true;
}

bool CopyFileNode::copyFileRemote(const QString& source, const QString& dest)
{
    FileClient client;
    if (!client.copyFile(source, dest, hasFlag(QtFileCopier::Force)))
        return fail(QtFileCopier::CannotOpenDestinationFile, elevatedServerFailureText());
    for (;;) {
        FileClient::CopyStatus status;
        if (!client.getCopyFileStatus(&status))
            return fail(QtFileCopier::CannotWriteDestinationFile, elevatedServerFailureText());
        m_thread->emitProgress(m_id, status.bytes);
        if (status.error != QtFileCopier::NoError)
            return fail(errorFromServer(status.error));
        if (status.finished)
            return true;
        QThread::msleep(kRemotePollMs);
    }
}

// --- The worker thread --------------------------------------------------------

QtCopyThread::QtCopyThread(QtFileCopier* copier)
    : m_copier(copier)
{
    setObjectName(QStringLiteral("QtCopyThread"));
}

QtCopyThread::~QtCopyThread()
{
    stop();
    wait();
}

void QtCopyThread::setRequests(const QMap<int, CopyRequest>& requests)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = requests.constBegin(); it != requests.constEnd(); ++it) {
        if (!m_requestQueue.contains(it.key()))
            m_requestQueue.insert(it.key(), Request{it.value(), false, false, false});
    }
    m_newRequestCondition.wakeAll();
}

QList<int> QtCopyThread::queuedIds() const
{
    QMutexLocker lock(&m_mutex);
    return m_requestQueue.keys();
}

void QtCopyThread::cancelAll()
{
    QMutexLocker lock(&m_mutex);
    // With nothing queued there is nothing to cancel, and a flag left set
    // would drop the next requests.
    if (m_requestQueue.isEmpty())
        return;
    for (Request& request : m_requestQueue)
        request.canceled = true;
    m_cancelRequest = true;
    // A worker waiting for an answer would never see the cancellation.
    m_waitingForInteraction = false;
    m_interactionCondition.wakeAll();
}

void QtCopyThread::cancel(int id)
{
    QMutexLocker lock(&m_mutex);
    markTree(id, &Request::canceled);
}

void QtCopyThread::collectDescendants(int id, QList<int>* ids) const
{
    const auto it = m_requestQueue.constFind(id);
    if (it == m_requestQueue.constEnd())
        return;
    for (int child : it->copyRequest.childRequests) {
        ids->append(child);
        collectDescendants(child, ids);
    }
}

void QtCopyThread::markTree(int id, bool Request::*flag)
{
    QList<int> ids{id};
    collectDescendants(id, &ids);
    for (int each : ids) {
        auto it = m_requestQueue.find(each);
        if (it != m_requestQueue.end())
            (*it).*flag = true;
    }
}

bool QtCopyThread::answer(const std::function<void()>& before)
{
    QMutexLocker lock(&m_mutex);
    if (!m_waitingForInteraction)
        return false;
    if (before)
        before();
    m_waitingForInteraction = false;
    m_interactionCondition.wakeAll();
    return true;
}

void QtCopyThread::skip()
{
    answer([this] { markTree(m_currentId, &Request::canceled); });
}

void QtCopyThread::skipAll()
{
    answer([this] {
        markTree(m_currentId, &Request::canceled);
        m_skipAllRequest = true;
    });
}

void QtCopyThread::overwrite()
{
    answer([this] { markTree(m_currentId, &Request::overwrite); });
}

void QtCopyThread::overwriteAll()
{
    answer([this] { m_overwriteAllRequest = true; });
}

void QtCopyThread::rename()
{
    answer([this] {
        m_renameRequest = true;
        m_renameId = m_currentId;
    });
}

void QtCopyThread::renameAll()
{
    answer([this] { m_renameAllRequest = true; });
}

void QtCopyThread::retry()
{
    answer();
}

void QtCopyThread::resetSkip()
{
    QMutexLocker lock(&m_mutex);
    m_skipAllErrors.clear();
}

void QtCopyThread::resetOverwrite()
{
    QMutexLocker lock(&m_mutex);
    m_overwriteAllRequest = false;
}

void QtCopyThread::setAutoReset(bool on)
{
    QMutexLocker lock(&m_mutex);
    m_autoReset = on;
}

void QtCopyThread::requestProgress()
{
    m_progressRequest.store(1);
}

void QtCopyThread::stop()
{
    QMutexLocker lock(&m_mutex);
    for (Request& request : m_requestQueue)
        request.canceled = true;
    if (!m_requestQueue.isEmpty())
        m_cancelRequest = true;
    m_stopRequest = true;
    m_waitingForInteraction = false;
    m_interactionCondition.wakeAll();
    m_newRequestCondition.wakeAll();
}

bool QtCopyThread::isCanceled(int id) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_requestQueue.constFind(id);
    return it == m_requestQueue.constEnd() || it->canceled;
}

void QtCopyThread::emitProgress(int id, qint64 bytes)
{
    m_progressRequest.store(0);
    post({Notice::Progress, id, bytes, QString()});
}

void QtCopyThread::setCopied(int id, bool copied)
{
    QMutexLocker lock(&m_mutex);
    auto it = m_requestQueue.find(id);
    if (it != m_requestQueue.end())
        it->copied = copied;
}

void QtCopyThread::removeDescendants(int id)
{
    QMutexLocker lock(&m_mutex);
    QList<int> ids;
    collectDescendants(id, &ids);
    for (int each : ids)
        m_requestQueue.remove(each);
}

void QtCopyThread::reportMovedTree(int id)
{
    QList<int> ids;
    {
        QMutexLocker lock(&m_mutex);
        collectDescendants(id, &ids);
    }
    for (int each : ids) {
        post({Notice::Started, each, 0, QString()});
        post({Notice::Finished, each, 0, QString()});
    }
    QMutexLocker lock(&m_mutex);
    for (int each : ids)
        m_requestQueue.remove(each);
}

QString QtCopyThread::destinationFor(int id, const Request& record) const
{
    bool rename = false;
    {
        QMutexLocker lock(&m_mutex);
        rename = m_renameAllRequest || (m_renameRequest && m_renameId == id);
    }
    if (!rename || record.copyRequest.dir)
        return record.copyRequest.dest;
    return getRenameFileName(record.copyRequest.dest, QStringLiteral("_%1"), true);
}

void QtCopyThread::post(const Notice& notice)
{
    QMutexLocker lock(&m_noticeMutex);
    m_notices.append(notice);
    if (m_drainScheduled)
        return;
    m_drainScheduled = true;
    // One wake-up of the GUI thread per batch instead of one per signal: a
    // folder of small files would otherwise cost several for every file.
    QMetaObject::invokeMethod(
        this, [this] { QTimer::singleShot(kNoticeBatchMs, this, &QtCopyThread::deliverNotices); },
        Qt::QueuedConnection);
}

void QtCopyThread::deliverNotices()
{
    QVector<Notice> notices;
    {
        QMutexLocker lock(&m_noticeMutex);
        notices.swap(m_notices);
        m_drainScheduled = false;
    }
    // A receiver may delete the copier, and with it this object, on the way.
    const QPointer<QtCopyThread> alive(this);
    for (const Notice& notice : qAsConst(notices)) {
        if (!alive)
            return;
        switch (notice.kind) {
        case Notice::Started:
            emit started(notice.id);
            break;
        case Notice::Finished:
            emit finished(notice.id, notice.value != 0);
            break;
        case Notice::StoppedError:
            emit error(notice.id, QtFileCopier::Error(notice.value), true, notice.reason);
            break;
        case Notice::EndError:
            emit error(notice.id, QtFileCopier::Error(notice.value), false, notice.reason);
            break;
        case Notice::Progress:
            emit dataTransferProgress(notice.id, notice.value);
            break;
        case Notice::Canceled:
            emit canceled();
            break;
        }
    }
}

void QtCopyThread::run()
{
    for (;;) {
        QMutexLocker lock(&m_mutex);
        if (m_cancelRequest) {
            m_requestQueue.clear();
            m_cancelRequest = false;
            lock.unlock();
            post({Notice::Canceled, -1, 0, QString()});
            continue;
        }
        if (m_requestQueue.isEmpty()) {
            if (m_stopRequest)
                return;
            m_progressRequest.store(0);
            m_newRequestCondition.wait(&m_mutex);
            if (m_autoReset) {
                m_overwriteAllRequest = false;
                m_renameAllRequest = false;
                m_skipAllErrors.clear();
            }
            continue;
        }
        const int id = m_requestQueue.firstKey();
        lock.unlock();
        handle(id);
    }
}

void QtCopyThread::handle(int id)
{
    int previousId = -1;
    {
        QMutexLocker lock(&m_mutex);
        if (m_cancelRequest || !m_requestQueue.contains(id))
            return;
        previousId = m_currentId;
        m_currentId = id;
    }
    post({Notice::Started, id, 0, QString()});

    QtFileCopier::Error result = QtFileCopier::NoError;
    QString reason;
    for (;;) {
        Request record;
        bool overwriteAll = false;
        bool renameAll = false;
        bool renameThis = false;
        {
            QMutexLocker lock(&m_mutex);
            const auto it = m_requestQueue.constFind(id);
            if (it == m_requestQueue.constEnd()) {
                result = QtFileCopier::Canceled;
                break;
            }
            record = *it;
            overwriteAll = m_overwriteAllRequest;
            renameAll = m_renameAllRequest;
            renameThis = m_renameRequest && m_renameId == id;
        }
        CopyFileNode* last = new CopyFileNode(this, id, record);
        const std::unique_ptr<ChainNode> chain(new CanceledNode(new SourceExistsNode(new OverwriteNode(
            new MakeLinksNode(new RenameNode(new MoveNode(new CopyDirNode(last)))), overwriteAll, renameAll,
            renameThis))));
        const bool ok = chain->handle();
        result = ok ? QtFileCopier::NoError : chain->error();
        reason = ok ? QString() : chain->reason();
        if (ok || result == QtFileCopier::Canceled ||
            (record.copyRequest.copyFlags & QtFileCopier::NonInteractive))
            break;

        QMutexLocker lock(&m_mutex);
        if (m_stopRequest || m_cancelRequest || m_skipAllErrors.contains(result))
            break;
        post({Notice::StoppedError, id, result, reason});
        m_waitingForInteraction = true;
        while (m_waitingForInteraction)
            m_interactionCondition.wait(&m_mutex);
        if (m_skipAllRequest) {
            m_skipAllRequest = false;
            m_skipAllErrors.insert(result);
        }
    }

    if (result != QtFileCopier::NoError)
        post({Notice::EndError, id, result, reason});
    post({Notice::Finished, id, result != QtFileCopier::NoError ? 1 : 0, QString()});
    QMutexLocker lock(&m_mutex);
    m_currentId = previousId;
    m_requestQueue.remove(id);
    if (m_renameId == id) {
        m_renameRequest = false;
        m_renameId = -1;
    }
}

// --- The copier's private part ------------------------------------------------

QtFileCopierPrivate::QtFileCopierPrivate(QtFileCopier* copier)
    : q(copier)
    , thread(new QtCopyThread(copier))
{
    progressTimer.setInterval(200);
    // The thread object lives on this (the GUI) thread and hands over the
    // worker's reports in batches there.
    connect(thread, &QtCopyThread::started, this, &QtFileCopierPrivate::copyStarted);
    connect(thread, &QtCopyThread::finished, this, &QtFileCopierPrivate::copyFinished);
    connect(thread, &QtCopyThread::error, this, &QtFileCopierPrivate::copyError);
    connect(thread, &QtCopyThread::canceled, this, &QtFileCopierPrivate::copyCanceled);
    connect(thread, &QtCopyThread::dataTransferProgress, q, &QtFileCopier::dataTransferProgress);
}

QtFileCopierPrivate::~QtFileCopierPrivate()
{
    // The worker is told to stop and waited for; nothing it still has queued
    // is carried out after its copier is gone.
    delete thread;
}

CopyRequest QtFileCopierPrivate::prepareRequest(bool checkTargetDir, const QString& source, const QString& dest,
                                                QtFileCopier::CopyFlags flags, bool move, bool dir) const
{
    CopyRequest request;
    request.source = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
    request.dest = QDir::cleanPath(QFileInfo(dest).absoluteFilePath());
    if (checkTargetDir && QFileInfo(request.dest).isDir())
        request.dest += QLatin1Char('/') + QFileInfo(request.source).fileName();
    request.move = move;
    request.dir = dir;
    request.copyFlags = int(flags);
    return request;
}

void QtFileCopierPrivate::hand(const QMap<int, CopyRequest>& made)
{
    for (auto it = made.constBegin(); it != made.constEnd(); ++it)
        requests.insert(it.key(), it.value());
    thread->setRequests(made);
    startThread();
}

void QtFileCopierPrivate::startThread()
{
    QTimer::singleShot(0, this, [this] {
        if (!thread->isRunning())
            thread->start(QThread::InheritPriority);
    });
}

int QtFileCopierPrivate::queueFile(const CopyRequest& request)
{
    const int id = idCounter++;
    hand({{id, request}});
    return id;
}

QList<int> QtFileCopierPrivate::queueDirectory(const QString& source, const QString& dest,
                                               QtFileCopier::CopyFlags flags, bool move)
{
    const QFileInfo info(source);
    if (!info.exists() || !info.isDir())
        return {};
    const QString from = QDir::cleanPath(info.absoluteFilePath());
    QString to = QDir::cleanPath(QFileInfo(dest).absoluteFilePath());
    if (QFileInfo(to).isDir())
        to += QLatin1Char('/') + info.fileName();
    // A folder cannot take itself in: its copy would be listed inside the
    // copy, and a move would delete what it had just moved.
    if (to == from || to.startsWith(from + QLatin1Char('/'))) {
        qWarning("QtFileCopier: cannot copy or move a folder into itself.");
        return {};
    }
    QMap<int, CopyRequest> made;
    copyDirectoryContents(from, to, flags, move, &made);
    hand(made);
    return made.keys();
}

int QtFileCopierPrivate::copyDirectoryContents(const QString& source, const QString& dest,
                                               QtFileCopier::CopyFlags flags, bool move,
                                               QMap<int, CopyRequest>* made)
{
    const int id = idCounter++;
    CopyRequest request = prepareRequest(false, source, dest, flags, move, true);
    const bool follow = flags & QtFileCopier::FollowLinks;
    const bool keepLink = !follow && QFileInfo(source).isSymLink();
    // Followed links can lead back to a folder being listed; that folder is
    // then made once more, empty, instead of without end.
    const QString canonical = follow ? QFileInfo(source).canonicalFilePath() : QString();
    const bool loop = follow && visiting.contains(canonical);
    if (!keepLink && !loop && !(flags & QtFileCopier::MakeLinks)) {
        visiting.append(canonical);
        const QList<DirectoryEntry> entries = listDirectory(source);
        const auto child = [&](const DirectoryEntry& entry, bool dir) {
            // Listed paths are absolute and clean already.
            CopyRequest childRequest;
            childRequest.source = source + QLatin1Char('/') + entry.name;
            childRequest.dest = dest + QLatin1Char('/') + entry.name;
            childRequest.move = move;
            childRequest.dir = dir;
            childRequest.copyFlags = int(flags);
            return childRequest;
        };
        // Folders (and links to folders) first, then links, then the other
        // entries, hidden ones and broken links included.
        for (const DirectoryEntry& entry : entries) {
            if (entry.isDir) {
                const CopyRequest folder = child(entry, true);
                request.childRequests << copyDirectoryContents(folder.source, folder.dest, flags, move, made);
            }
        }
        for (const bool links : {true, false}) {
            for (const DirectoryEntry& entry : entries) {
                if (entry.isDir || entry.isLink != links)
                    continue;
                const int childId = idCounter++;
                made->insert(childId, child(entry, false));
                request.childRequests << childId;
            }
        }
        visiting.removeLast();
    }
    made->insert(id, request);
    return id;
}

QList<QtFileCopierPrivate::DirectoryEntry> QtFileCopierPrivate::listDirectory(const QString& path)
{
    // The entry types come with the listing; only links (and file systems
    // that do not tell) need a look of their own.
    QList<DirectoryEntry> entries;
    const QByteArray encoded = QFile::encodeName(path);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir)
        return entries;
    while (const dirent* item = ::readdir(dir)) {
        const char* name = item->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        DirectoryEntry entry;
        entry.name = QFile::decodeName(name);
        unsigned char type = item->d_type;
        const QByteArray full = encoded + '/' + name;
        struct stat st {};
        if (type == DT_UNKNOWN && ::lstat(full.constData(), &st) == 0)
            type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        entry.isLink = type == DT_LNK;
        entry.isDir = type == DT_DIR || (entry.isLink && ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode));
        entries << entry;
    }
    ::closedir(dir);
    return entries;
}

void QtFileCopierPrivate::setState(QtFileCopier::E_State newState)
{
    if (newState == QtFileCopier::Busy) {
        if (!progressTimer.isActive())
            progressTimer.start();
        if (state == QtFileCopier::Idle)
            error = false;
    } else {
        progressTimer.stop();
    }
    if (state == newState)
        return;
    state = newState;
    emit q->stateChanged(newState);
}

void QtFileCopierPrivate::answer(void (QtCopyThread::*pass)())
{
    if (state != QtFileCopier::WaitingForInteraction)
        return;
    (thread->*pass)();
    setState(QtFileCopier::Busy);
}

void QtFileCopierPrivate::removeDescendants(int id)
{
    const auto it = requests.constFind(id);
    if (it == requests.constEnd())
        return;
    const QList<int> children = it->childRequests;
    for (int child : children) {
        removeDescendants(child);
        requests.remove(child);
        startedIds.removeAll(child);
    }
}

void QtFileCopierPrivate::copyStarted(int id)
{
    startedIds.append(id);
    if (state != QtFileCopier::WaitingForInteraction)
        setState(QtFileCopier::Busy);
    emit q->started(id);
}

void QtFileCopierPrivate::copyFinished(int id, bool failed)
{
    startedIds.removeAll(id);
    if (failed)
        error = true;
    // Still registered while the signal is out, so that receivers can ask
    // for its paths.
    emit q->finished(id, failed);
    if (failed)
        removeDescendants(id);
    requests.remove(id);
    if (requests.isEmpty() && state != QtFileCopier::Idle) {
        setState(QtFileCopier::Idle);
        emit q->done(error);
    }
}

void QtFileCopierPrivate::copyError(int id, QtFileCopier::Error code, bool stopped, const QString& reason)
{
    if (stopped)
        setState(QtFileCopier::WaitingForInteraction);
    emit q->error(id, code, stopped, reason);
}

void QtFileCopierPrivate::copyCanceled()
{
    // What the worker dropped will never start or finish.
    const QList<int> queued = thread->queuedIds();
    const QList<int> known = requests.keys();
    for (int id : known) {
        if (!queued.contains(id)) {
            requests.remove(id);
            startedIds.removeAll(id);
        }
    }
    emit q->canceled();
    if (requests.isEmpty() && state != QtFileCopier::Idle) {
        error = true;
        setState(QtFileCopier::Idle);
        emit q->done(error);
    }
}

// --- QtFileCopier -----------------------------------------------------------------

QtFileCopier::QtFileCopier(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<QtFileCopier::Error>("QtFileCopier::Error");
    qRegisterMetaType<QtFileCopier::E_State>("QtFileCopier::E_State");
    d = new QtFileCopierPrivate(this);
    connect(&d->progressTimer, &QTimer::timeout, this, &QtFileCopier::progressRequest);
}

QtFileCopier::~QtFileCopier()
{
    delete d;
}

QString QtFileCopier::errorMessage(Error error, const QString& reason)
{
    QString text = errorString(error);
    if (reason.isEmpty())
        return text;
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return tr("%1: %2.").arg(text, reason);
}

QString QtFileCopier::errorString(Error error)
{
    switch (error) {
    case NoError: return tr("No error.");
    case SourceNotExists: return tr("Source does not exist.");
    case DestinationExists: return tr("Destination already exists..");
    case SourceDirectoryOmitted: return tr("Source directory omitted.");
    case SourceFileOmitted: return tr("Source file omitted.");
    case PathToDestinationNotExists: return tr("Path to destination does not exist.");
    case CannotCreateDestinationDirectory: return tr("Cannot create destination directory.");
    case CannotOpenSourceFile: return tr("Cannot open source file.");
    case CannotOpenDestinationFile: return tr("Cannot open destination file.");
    case CannotRemoveDestinationFile: return tr("Cannot remove destination file.");
    case CannotCreateSymLink: return tr("Cannot create symbolic link.");
    case CannotReadSourceFile: return tr("Cannot read source file.");
    case CannotWriteDestinationFile: return tr("Cannot write destination file.");
    case CannotRemoveSource: return tr("Cannot remove source.");
    case Canceled: return tr("Canceled.");
    }
    return QString();
}

namespace {

QtFileCopier::CopyFlags movableFlags(QtFileCopier::CopyFlags flags)
{
    if (flags & QtFileCopier::MakeLinks) {
        qWarning("QtFileCopier: cannot move with MakeLinks option specified, option cleared.");
        flags &= ~QtFileCopier::CopyFlags(QtFileCopier::MakeLinks);
    }
    if (flags & QtFileCopier::FollowLinks) {
        qWarning("QtFileCopier: cannot move with FollowLinks option specified, option cleared.");
        flags &= ~QtFileCopier::CopyFlags(QtFileCopier::FollowLinks);
    }
    return flags;
}

} // namespace

int QtFileCopier::copy(const QString& source, const QString& dest, CopyFlags flags)
{
    if (d->state != Idle || QFileInfo(source).isDir())
        return -1;
    return d->queueFile(d->prepareRequest(true, source, dest, flags, false, false));
}

int QtFileCopier::move(const QString& source, const QString& dest, CopyFlags flags)
{
    flags = movableFlags(flags);
    if (QFileInfo(source).isDir())
        return -1;
    return d->queueFile(d->prepareRequest(true, source, dest, flags, true, false));
}

QList<int> QtFileCopier::copyFiles(const QStringList& sources, const QString& destDir, CopyFlags flags)
{
    QList<int> ids;
    if (d->state != Idle || !QFileInfo(destDir).isDir())
        return ids;
    for (const QString& source : sources) {
        if (!QFileInfo(source).isDir())
            ids << d->queueFile(d->prepareRequest(true, source, destDir, flags, false, false));
    }
    return ids;
}

QList<int> QtFileCopier::moveFiles(const QStringList& sources, const QString& destDir, CopyFlags flags)
{
    QList<int> ids;
    flags = movableFlags(flags);
    if (!QFileInfo(destDir).isDir())
        return ids;
    for (const QString& source : sources) {
        if (!QFileInfo(source).isDir())
            ids << d->queueFile(d->prepareRequest(true, source, destDir, flags, true, false));
    }
    return ids;
}

QList<int> QtFileCopier::copyDirectory(const QString& source, const QString& dest, CopyFlags flags)
{
    if (d->state != Idle)
        return {};
    return d->queueDirectory(source, dest, flags, false);
}

QList<int> QtFileCopier::moveDirectory(const QString& source, const QString& dest, CopyFlags flags)
{
    return d->queueDirectory(source, dest, movableFlags(flags), true);
}

void QtFileCopier::cancelAll()
{
    d->thread->cancelAll();
}

void QtFileCopier::cancel(int id)
{
    d->thread->cancel(id);
}

void QtFileCopier::skip()
{
    d->answer(&QtCopyThread::skip);
}

void QtFileCopier::skipAll()
{
    d->answer(&QtCopyThread::skipAll);
}

void QtFileCopier::overwrite()
{
    d->answer(&QtCopyThread::overwrite);
}

void QtFileCopier::overwriteAll()
{
    d->answer(&QtCopyThread::overwriteAll);
}

void QtFileCopier::rename()
{
    d->answer(&QtCopyThread::rename);
}

void QtFileCopier::renameAll()
{
    d->answer(&QtCopyThread::renameAll);
}

void QtFileCopier::retry()
{
    if (d->state == WaitingForInteraction && d->requests.isEmpty()) {
        emit finished(0, false);
        return;
    }
    d->answer(&QtCopyThread::retry);
}

void QtFileCopier::resetSkip()
{
    d->thread->resetSkip();
}

void QtFileCopier::resetOverwrite()
{
    d->thread->resetOverwrite();
}

void QtFileCopier::reset()
{
    resetSkip();
    resetOverwrite();
}

void QtFileCopier::setAutoReset(bool on)
{
    d->autoReset = on;
    d->thread->setAutoReset(on);
}

bool QtFileCopier::autoReset() const
{
    return d->autoReset;
}

void QtFileCopier::setProgressInterval(int ms)
{
    d->progressTimer.setInterval(ms);
}

int QtFileCopier::progressInterval() const
{
    return d->progressTimer.interval();
}

void QtFileCopier::continueWorking()
{
    d->thread->setRequests(d->requests);
    d->startThread();
}

QtFileCopier::E_State QtFileCopier::state() const
{
    return d->state;
}

int QtFileCopier::currentId() const
{
    return d->startedIds.isEmpty() ? -1 : d->startedIds.last();
}

QList<int> QtFileCopier::pendingRequests() const
{
    return d->requests.keys();
}

QString QtFileCopier::sourceFilePath(int id) const
{
    return d->requests.value(id).source;
}

QString QtFileCopier::destinationFilePath(int id) const
{
    return d->requests.value(id).dest;
}

bool QtFileCopier::isDir(int id) const
{
    return d->requests.value(id).dir;
}

QList<int> QtFileCopier::entryList(int id) const
{
    return d->requests.value(id).childRequests;
}

void QtFileCopier::progressRequest()
{
    if (d->state == Busy)
        d->thread->requestProgress();
}
