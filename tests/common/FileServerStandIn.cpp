#include "common/FileServerStandIn.h"

#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testenv {

namespace {

// Argument lines that follow each command number.
int argumentCount(int command)
{
    switch (command) {
    case 5: return 2;  // remove: path, toTrash
    case 7: return 3;  // copyFile: source, dest, force
    case 8: return 0;  // getCopyFileStatus
    case 9: return 2;  // rename: from, to
    case 10: return 1; // createFolder: path
    case 11: return 2; // getNestedFiles: path, filters
    case 14: return 3; // read: path, offset, count
    case 15: return 3; // write: path, offset, count, then the bytes
    case 16: return 1; // size: path
    case 17: return 2; // canFileBeOpened: path, forReading
    case 18: return 1; // createFile: path
    case 19: return 0; // close
    default: return -1;
    }
}

bool sendAll(int fd, const QByteArray& data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray intLine(qint64 value)
{
    return QByteArray::number(value) + '\n';
}

// Buffered reading from one connection that gives up when the server stops.
class Reader
{
public:
    Reader(int fd, const std::atomic<bool>& stop)
        : m_fd(fd)
        , m_stop(stop)
    {
    }

    bool line(QByteArray* out, QByteArray* raw)
    {
        for (;;) {
            const int end = m_buffer.indexOf('\n');
            if (end >= 0) {
                *out = m_buffer.left(end);
                raw->append(m_buffer.left(end + 1));
                m_buffer.remove(0, end + 1);
                return true;
            }
            if (!fill())
                return false;
        }
    }

    bool bytes(qint64 count, QByteArray* out, QByteArray* raw)
    {
        while (m_buffer.size() < count) {
            if (!fill())
                return false;
        }
        *out = m_buffer.left(int(count));
        raw->append(*out);
        m_buffer.remove(0, int(count));
        return true;
    }

private:
    bool fill()
    {
        while (!m_stop.load()) {
            pollfd p{m_fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, 100);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            char chunk[65536];
            const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            m_buffer.append(chunk, int(n));
            return true;
        }
        return false;
    }

    int m_fd;
    const std::atomic<bool>& m_stop;
    QByteArray m_buffer;
};

bool removeTree(const QByteArray& path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode))
        return QDir(QString::fromUtf8(path)).removeRecursively();
    return ::unlink(path.constData()) == 0;
}

bool moveToTrash(const QByteArray& path)
{
    const QString files = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files/");
    if (!QFileInfo(files).isDir())
        return false;
    const QByteArray target = (files + QFileInfo(QString::fromUtf8(path)).fileName()).toUtf8();
    return ::rename(path.constData(), target.constData()) == 0;
}

bool canBeOpened(const QByteArray& path, bool forReading)
{
    QDir().mkpath(QFileInfo(QString::fromUtf8(path)).absolutePath());
    struct stat st {};
    const bool existed = ::lstat(path.constData(), &st) == 0;
    const int fd = forReading ? ::open(path.constData(), O_RDONLY) : ::open(path.constData(), O_RDWR | O_CREAT, 0644);
    if (fd >= 0)
        ::close(fd);
    if (!forReading && !existed)
        ::unlink(path.constData());
    return fd >= 0;
}

} // namespace

struct FileServerStandIn::CopyJob
{
    std::thread worker;
    std::atomic<int> error{0};
    std::atomic<qint64> bytes{0};
    std::atomic<bool> finished{true};

    void start(const QByteArray& source, const QByteArray& dest, bool force)
    {
        wait();
        error = 0;
        bytes = 0;
        finished = false;
        worker = std::thread([this, source, dest, force] {
            error = copy(source, dest, force);
            finished = true;
        });
    }

    void wait()
    {
        if (worker.joinable())
            worker.join();
    }

    // The error numbers are the copier's (7 cannot open source, 8 cannot open
    // destination, 9 cannot remove destination, 11 read, 12 write).
    int copy(const QByteArray& source, const QByteArray& dest, bool force)
    {
        const int in = ::open(source.constData(), O_RDONLY);
        if (in < 0)
            return 7;
        struct stat st {};
        ::fstat(in, &st);
        int out = ::open(dest.constData(), O_WRONLY | O_CREAT | O_TRUNC, st.st_mode & 07777);
        if (out < 0 && force) {
            if (::unlink(dest.constData()) != 0) {
                ::close(in);
                return 9;
            }
            out = ::open(dest.constData(), O_WRONLY | O_CREAT | O_TRUNC, st.st_mode & 07777);
        }
        if (out < 0) {
            ::close(in);
            return 8;
        }
        int result = 0;
        static thread_local char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(in, buffer, sizeof(buffer));
            if (n < 0) {
                result = 11;
                break;
            }
            if (n == 0)
                break;
            if (::write(out, buffer, size_t(n)) != n) {
                result = 12;
                break;
            }
            bytes += n;
        }
        ::close(in);
        ::close(out);
        if (result != 0)
            ::unlink(dest.constData());
        return result;
    }
};

FileServerStandIn::FileServerStandIn()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listenFd, 16) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        m_listenFd = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

FileServerStandIn::~FileServerStandIn()
{
    m_stop = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_clientFds)
            ::shutdown(fd, SHUT_RDWR);
        workers.swap(m_workers);
    }
    for (std::thread& worker : workers)
        worker.join();
}

void FileServerStandIn::useForClients() const
{
    qputenv("QUENVAR_FILE_SERVER_PORT", QByteArray::number(m_port));
}

QList<FileServerStandIn::Request> FileServerStandIn::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

QByteArray FileServerStandIn::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void FileServerStandIn::clearLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
    m_received.clear();
}

void FileServerStandIn::dieOnCommand(int command, const QByteArray& partialReply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dieOn = command;
    m_dieReply = partialReply;
}

quint16 FileServerStandIn::unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    quint16 port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd); // bound but never listening: connections are refused
    return port;
}

void FileServerStandIn::acceptLoop()
{
    while (!m_stop.load()) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++m_connections;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clientFds.push_back(fd);
        m_workers.emplace_back([this, fd] { serve(fd); });
    }
}

void FileServerStandIn::serve(int fd)
{
    Reader reader(fd, m_stop);
    CopyJob copy;
    for (;;) {
        QByteArray raw;
        QByteArray line;
        if (!reader.line(&line, &raw))
            break;
        Request request;
        bool isNumber = false;
        request.command = line.toInt(&isNumber);
        const int count = isNumber ? argumentCount(request.command) : -1;
        bool complete = count >= 0;
        for (int i = 0; complete && i < count; ++i) {
            complete = reader.line(&line, &raw);
            request.lines << line;
        }
        if (complete && request.command == 15)
            complete = reader.bytes(request.lines.value(2).toLongLong(), &request.payload, &raw);
        bool die = false;
        QByteArray dieReply;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received += raw;
            if (complete)
                m_requests << request;
            if (complete && m_dieOn == request.command) {
                die = true;
                dieReply = m_dieReply;
                m_dieOn = 0;
            }
        }
        if (!complete)
            break;
        if (die) {
            sendAll(fd, dieReply);
            break;
        }
        if (request.command == 19 || !handle(fd, request, copy))
            break;
    }
    copy.wait();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clientFds.erase(std::remove(m_clientFds.begin(), m_clientFds.end(), fd), m_clientFds.end());
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

bool FileServerStandIn::handle(int fd, const Request& request, CopyJob& copy)
{
    const QList<QByteArray>& a = request.lines;
    switch (request.command) {
    case 5:
        return sendAll(fd, intLine(a[1] == "1" ? moveToTrash(a[0]) : removeTree(a[0])));
    case 7:
        copy.start(a[0], a[1], a[2] == "1");
        return true;
    case 8:
        return sendAll(fd, intLine(copy.error.load()) + intLine(copy.bytes.load()) + intLine(copy.finished.load()));
    case 9:
        return sendAll(fd, intLine(::rename(a[0].constData(), a[1].constData()) == 0));
    case 10:
        return sendAll(fd, intLine(QDir().mkpath(QString::fromUtf8(a[0]))));
    case 11: {
        const QString root = QString::fromUtf8(a[0]);
        QStringList list{root};
        QDirIterator it(root, QDir::Filters(a[1].toInt()), QDirIterator::Subdirectories);
        while (it.hasNext())
            list << it.next();
        QByteArray data;
        QDataStream out(&data, QIODevice::WriteOnly);
        out << list;
        return sendAll(fd, intLine(data.size()) + data);
    }
    case 14: {
        const qint64 offset = a[1].toLongLong();
        const qint64 count = qMin<qint64>(a[2].toLongLong(), 64 << 20);
        const int file = ::open(a[0].constData(), O_RDONLY);
        struct stat st {};
        if (file < 0 || ::fstat(file, &st) != 0 || offset < 0 || count < 0) {
            if (file >= 0)
                ::close(file);
            // No data can come: the client takes a negative count as failure.
            return sendAll(fd, intLine(0) + intLine(-1));
        }
        QByteArray data(int(count), Qt::Uninitialized);
        const ssize_t n = ::pread(file, data.data(), size_t(count), offset);
        ::close(file);
        if (n < 0)
            return sendAll(fd, intLine(0) + intLine(-1));
        data.resize(int(n));
        const qint64 remaining = qMax<qint64>(0, st.st_size - offset - n);
        return sendAll(fd, intLine(remaining) + intLine(n) + data);
    }
    case 15: {
        const int file = ::open(a[0].constData(), O_WRONLY | O_CREAT, 0644);
        if (file < 0)
            return sendAll(fd, intLine(-1));
        const ssize_t n = ::pwrite(file, request.payload.constData(), size_t(request.payload.size()),
                                   a[1].toLongLong());
        ::close(file);
        return sendAll(fd, intLine(n < 0 ? -1 : n));
    }
    case 16: {
        struct stat st {};
        return sendAll(fd, intLine(::stat(a[0].constData(), &st) == 0 ? qint64(st.st_size) : -1));
    }
    case 17:
        return sendAll(fd, intLine(canBeOpened(a[0], a[1] == "1")));
    case 18: {
        const int file = ::open(a[0].constData(), O_RDWR | O_CREAT, 0644);
        if (file >= 0)
            ::close(file);
        return sendAll(fd, intLine(file >= 0));
    }
    default:
        return false;
    }
}

bool FileServerStandIn::servesThisProcess()
{
    return ::geteuid() == 0;
}

FileServerStandInAsUser::FileServerStandInAsUser(unsigned int uid)
{
    // Opened while still root: the program is then run by its descriptor,
    // so folders the user may not enter (a build under /root) do not matter.
    const int program = ::open(QUENVAR_STANDIN_BINARY, O_RDONLY | O_CLOEXEC);
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (program < 0 || ::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        for (int fd : {program, toChild[0], toChild[1], fromChild[0], fromChild[1]})
            if (fd >= 0)
                ::close(fd);
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        // Only calls that are safe in the child of a threaded process, up
        // to the exec: the stand-in's threads start in a fresh program.
        if (::dup2(toChild[0], STDIN_FILENO) >= 0 && ::dup2(fromChild[1], STDOUT_FILENO) >= 0
            && ::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0) {
            char* const argv[] = {const_cast<char*>("quenvar_fileserver_standin"), nullptr};
            ::fexecve(program, argv, environ);
        }
        ::_exit(1);
    }
    ::close(program);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    m_toChild = toChild[1];
    m_fromChild = fromChild[0];
    if (m_pid < 0 || ::read(m_fromChild, &m_port, sizeof m_port) != sizeof m_port)
        m_port = 0;
}

qint64 FileServerStandInAsUser::stop()
{
    qint64 received = -1;
    if (m_toChild >= 0) {
        ::close(m_toChild);
        m_toChild = -1;
        if (m_port != 0 && ::read(m_fromChild, &received, sizeof received) != sizeof received)
            received = -1;
    }
    if (m_fromChild >= 0) {
        ::close(m_fromChild);
        m_fromChild = -1;
    }
    if (m_pid > 0) {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    return received;
}

FileServerStandInAsUser::~FileServerStandInAsUser()
{
    stop();
}

} // namespace testenv
