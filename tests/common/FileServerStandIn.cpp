#include "common/FileServerStandIn.h"

#include "app/settings.h"
#include "fileops/FileClient.h"
#include "fileops/UserActions.h"

#include <QDataStream>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
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
    return ::send(fd, data.constData(), size_t(data.size()), MSG_NOSIGNAL) == data.size();
}

QByteArray intLine(qint64 value)
{
    return QByteArray::number(value) + '\n';
}

// Buffered reading from one connection; ends when the peer or the
// stand-in's destructor shuts it down. Counts what it read.
struct Reader
{
    FILE* in;
    qint64 count = 0;

    explicit Reader(int fd)
        : in(::fdopen(::dup(fd), "r"))
    {
    }
    ~Reader() { ::fclose(in); }

    bool line(QByteArray* out)
    {
        char* text = nullptr;
        size_t capacity = 0;
        const ssize_t n = ::getline(&text, &capacity, in);
        const bool whole = n > 0 && text[n - 1] == '\n';
        if (whole)
            *out = QByteArray(text, int(n - 1));
        ::free(text);
        count += qMax<ssize_t>(n, 0);
        return whole;
    }

    bool bytes(qint64 size, QByteArray* out)
    {
        out->resize(int(size));
        const size_t n = ::fread(out->data(), 1, size_t(size), in);
        count += qint64(n);
        return qint64(n) == size;
    }
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

bool canBeOpened(const QByteArray& path, bool forReading)
{
    QDir().mkpath(QFileInfo(QString::fromUtf8(path)).absolutePath());
    struct stat st {};
    const bool existed = ::lstat(path.constData(), &st) == 0;
    const int fd = ::open(path.constData(), forReading ? O_RDONLY : O_RDWR | O_CREAT, 0644);
    if (fd >= 0)
        ::close(fd);
    if (!forReading && !existed)
        ::unlink(path.constData());
    return fd >= 0;
}

} // namespace

// Copies at once: the client's first status request then finds it done.
// The error numbers are the copier's (7 cannot open source, 8 cannot open
// destination, 9 cannot remove destination, 11 read, 12 write).
FileServerStandIn::CopyStatus FileServerStandIn::copy(const QByteArray& source,
                                                      const QByteArray& dest, bool force)
{
    const int in = ::open(source.constData(), O_RDONLY);
    if (in < 0)
        return {7, 0};
    struct stat st {};
    ::fstat(in, &st);
    const auto create = [&] {
        return ::open(dest.constData(), O_WRONLY | O_CREAT | O_TRUNC, st.st_mode & 07777);
    };
    int out = create();
    CopyStatus status;
    if (out < 0 && force)
        out = ::unlink(dest.constData()) == 0 ? create() : (status.error = 9, -1);
    char buffer[65536];
    ssize_t n = 0;
    while (out >= 0 && status.error == 0 && (n = ::read(in, buffer, sizeof(buffer))) != 0) {
        if (n < 0)
            status.error = 11;
        else if (::write(out, buffer, size_t(n)) != n)
            status.error = 12;
        else
            status.bytes += n;
    }
    ::close(in);
    if (out < 0)
        return {status.error ? status.error : 8, 0};
    ::close(out);
    if (status.error != 0)
        ::unlink(dest.constData());
    return status;
}

FileServerStandIn::FileServerStandIn()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_listenFd < 0
        || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || ::listen(m_listenFd, 16) != 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
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
    // Shutting a socket down wakes the thread blocked on it.
    if (m_listenFd >= 0)
        ::shutdown(m_listenFd, SHUT_RDWR);
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

QList<FileServerStandIn::Request> FileServerStandIn::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

QList<int> FileServerStandIn::commands() const
{
    QList<int> result;
    for (const Request& request : requests()) {
        if (request.command != FileClient::CmdClose)
            result << request.command;
    }
    return result;
}

void FileServerStandIn::clearLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
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
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd); // bound but never listening: connections are refused
    return port;
}

void FileServerStandIn::acceptLoop()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0 && errno == EINTR)
            continue;
        if (fd < 0)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clientFds.push_back(fd);
        m_workers.emplace_back([this, fd] { serve(fd); });
    }
}

void FileServerStandIn::serve(int fd)
{
    Reader reader(fd);
    CopyStatus copied;
    for (;;) {
        const qint64 before = reader.count;
        QByteArray line;
        if (!reader.line(&line))
            break;
        Request request;
        bool isNumber = false;
        request.command = line.toInt(&isNumber);
        const int lines = isNumber ? argumentCount(request.command) : -1;
        bool complete = lines >= 0;
        for (int i = 0; complete && i < lines; ++i) {
            complete = reader.line(&line);
            request.lines << line;
        }
        if (complete && request.command == FileClient::CmdWrite)
            complete = reader.bytes(request.lines.value(2).toLongLong(), &request.payload);
        m_receivedBytes += reader.count - before;
        bool die = false;
        QByteArray dieReply;
        if (complete) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests << request;
            die = m_dieOn == request.command;
            if (die) {
                dieReply = m_dieReply;
                m_dieOn = 0;
            }
        }
        if (die)
            sendAll(fd, dieReply);
        if (!complete || die || request.command == FileClient::CmdClose
            || !handle(fd, request, copied))
            break;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clientFds.erase(std::remove(m_clientFds.begin(), m_clientFds.end(), fd),
                          m_clientFds.end());
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

bool FileServerStandIn::handle(int fd, const Request& request, CopyStatus& copied)
{
    const QList<QByteArray>& a = request.lines;
    switch (request.command) {
    case 5: // the stand-in has no trash
        return sendAll(fd, intLine(a[1] != "1" && removeTree(a[0])));
    case 7:
        copied = copy(a[0], a[1], a[2] == "1");
        return true;
    case 8:
        return sendAll(fd, intLine(copied.error) + intLine(copied.bytes) + intLine(1));
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
        QByteArray data(int(qBound<qint64>(0, a[2].toLongLong(), 64 << 20)), Qt::Uninitialized);
        const int file = ::open(a[0].constData(), O_RDONLY);
        struct stat st {};
        const ssize_t n = file < 0 || ::fstat(file, &st) != 0 || offset < 0
            ? -1 : ::pread(file, data.data(), size_t(data.size()), offset);
        if (file >= 0)
            ::close(file);
        // A negative count tells the client that no data comes.
        if (n < 0)
            return sendAll(fd, intLine(0) + intLine(-1));
        data.resize(int(n));
        return sendAll(fd, intLine(qMax<qint64>(0, st.st_size - offset - n)) + intLine(n) + data);
    }
    case 15: {
        const int file = ::open(a[0].constData(), O_WRONLY | O_CREAT, 0644);
        const ssize_t n = file < 0 ? -1
                                   : ::pwrite(file, request.payload.constData(),
                                              size_t(request.payload.size()), a[1].toLongLong());
        if (file >= 0)
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

ServerPort::ServerPort(quint16 port, bool elevated)
    : m_old(qgetenv("QUENVAR_FILE_SERVER_PORT"))
{
    qputenv("QUENVAR_FILE_SERVER_PORT", QByteArray::number(port));
    // Kept stream connections belong to the old server.
    ReadFileClient::close();
    WriteFileClient::close();
    CSettings::setElevated(elevated);
}

ServerPort::~ServerPort()
{
    if (m_old.isEmpty())
        qunsetenv("QUENVAR_FILE_SERVER_PORT");
    else
        qputenv("QUENVAR_FILE_SERVER_PORT", m_old);
    ReadFileClient::close();
    WriteFileClient::close();
    CSettings::setElevated(false);
    UserActions::reset();
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
