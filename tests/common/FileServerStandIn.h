#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace testenv {

// A small stand-in for the elevated file server: it listens on 127.0.0.1 (a
// free port), speaks the client's line protocol, does the file work with its
// own plain POSIX calls and keeps a log of every request it received.
// Integers travel as full 64-bit decimal text.
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
    // Points the program's client at this server (QUENVAR_FILE_SERVER_PORT).
    void useForClients() const;

    // Everything received so far, in order, and the raw bytes of it.
    QList<Request> requests() const;
    QByteArray received() const;
    void clearLog();
    int connectionCount() const { return m_connections.load(); }

    // The next request with this command number is read and then the
    // connection is closed, after partialReply (which may be empty or an
    // unterminated line) has been sent.
    void dieOnCommand(int command, const QByteArray& partialReply);

    // A port on which nothing listens.
    static quint16 unusedPort();
    // The program's client sends nothing to a server that does not run as
    // root: a stand-in in this process serves it only when the tests do.
    static bool servesThisProcess();

private:
    struct CopyJob;
    void acceptLoop();
    void serve(int fd);
    bool handle(int fd, const Request& request, CopyJob& copy);

    int m_listenFd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_clientFds;
    QList<Request> m_requests;
    QByteArray m_received;
    int m_dieOn = 0;
    QByteArray m_dieReply;
};

// A FileServerStandIn in a child process that runs as another user: the
// child drops root's rights (group and user) and runs the stand-in as a
// program of its own (tests/fileops/fileserverstandin_main.cpp), as a local
// user's program that took the server's port would. Needs root.
class FileServerStandInAsUser
{
public:
    explicit FileServerStandInAsUser(unsigned int uid);
    ~FileServerStandInAsUser();
    FileServerStandInAsUser(const FileServerStandInAsUser&) = delete;
    FileServerStandInAsUser& operator=(const FileServerStandInAsUser&) = delete;

    // 0 when the child could not listen as that user.
    quint16 port() const { return m_port; }
    // Ends the child; the number of bytes its stand-in received, -1 when it
    // could not tell.
    qint64 stop();

private:
    int m_pid = -1;
    int m_toChild = -1;
    int m_fromChild = -1;
    quint16 m_port = 0;
};

} // namespace testenv
