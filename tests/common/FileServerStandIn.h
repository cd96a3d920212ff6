#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace testenv {

// A stand-in for the elevated file server on a free port of 127.0.0.1: the
// client's line protocol, the file work by plain POSIX calls, every request logged.
class FileServerStandIn
{
public:
    struct Request
    {
        int command = 0;
        QList<QByteArray> lines; // the argument lines, without "\n"
        QByteArray payload;      // raw bytes after the lines (write)
    };

    FileServerStandIn();
    ~FileServerStandIn();
    FileServerStandIn(const FileServerStandIn&) = delete;
    FileServerStandIn& operator=(const FileServerStandIn&) = delete;

    bool isListening() const { return m_listenFd >= 0; }
    quint16 port() const { return m_port; }

    QList<Request> requests() const;
    // The command numbers received, without the goodbyes of closed connections.
    QList<int> commands() const;
    qint64 receivedBytes() const { return m_receivedBytes.load(); }
    void clearLog();

    // The next request with this number gets partialReply, then the connection closes.
    void dieOnCommand(int command, const QByteArray& partialReply);

    // A port on which nothing listens.
    static quint16 unusedPort();
    // The client talks only to a server that runs as root: true when the tests do.
    static bool servesThisProcess();

private:
    struct CopyStatus
    {
        int error = 0;
        qint64 bytes = 0;
    };
    static CopyStatus copy(const QByteArray& source, const QByteArray& dest, bool force);
    void acceptLoop();
    void serve(int fd);
    bool handle(int fd, const Request& request, CopyStatus& copied);

    int m_listenFd = -1;
    quint16 m_port = 0;
    std::atomic<qint64> m_receivedBytes{0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_clientFds;
    QList<Request> m_requests;
    int m_dieOn = 0;
    QByteArray m_dieReply;
};

// While it lives, the program's file clients use this port, elevated when asked.
class ServerPort
{
public:
    explicit ServerPort(quint16 port, bool elevated = false);
    ~ServerPort();
    ServerPort(const ServerPort&) = delete;
    ServerPort& operator=(const ServerPort&) = delete;

private:
    QByteArray m_old;
};

// A FileServerStandIn run as another user's program in a child process, as a
// local user's program that took the server's port would. Needs root.
class FileServerStandInAsUser
{
public:
    explicit FileServerStandInAsUser(unsigned int uid);
    ~FileServerStandInAsUser();
    FileServerStandInAsUser(const FileServerStandInAsUser&) = delete;
    FileServerStandInAsUser& operator=(const FileServerStandInAsUser&) = delete;

    // 0 when the child could not listen as that user.
    quint16 port() const { return m_port; }
    // Ends the child; the bytes its stand-in received, -1 when unknown.
    qint64 stop();

private:
    int m_pid = -1;
    int m_toChild = -1;
    int m_fromChild = -1;
    quint16 m_port = 0;
};

} // namespace testenv
