#pragma once

#include <QDir>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

class MyQTcpSocket;
class QThread;

// The program's side of the elevated file server: one TCP connection to the
// local host, one command per call. A call blocks its thread (which keeps
// processing its own events) until the reply is in; every socket lives on the
// one client thread of the process.
//
// The port is not a privileged one: before the first request the client
// looks up who owns the socket listening on it, and sends nothing to a
// server that does not run as root (refusal() then tells why).
//
// Every answer that did not really arrive (no server, a connection lost in the
// middle of a reply) is a failure: false, -1 or an empty result.
class FileClient : public QObject
{
    Q_OBJECT
public:
    enum Command : int
    {
        CmdRemove = 5,
        CmdCopyFile = 7,
        CmdGetCopyFileStatus = 8,
        CmdRename = 9,
        CmdCreateFolder = 10,
        CmdGetNestedFiles = 11,
        CmdRead = 14,
        CmdWrite = 15,
        CmdSize = 16,
        CmdCanFileBeOpened = 17,
        CmdCreateFile = 18,
        CmdClose = 19,
    };

    struct CopyStatus
    {
        int error = 0; // a QtFileCopier::Error value
        qint64 bytes = 0;
        bool finished = false;
    };

    FileClient();
    explicit FileClient(const QString& fileName);
    ~FileClient() override;
    FileClient(const FileClient&) = delete;
    FileClient& operator=(const FileClient&) = delete;

    QString fileName() const { return m_fileName; }
    // Whether the connection is up (as of the last command).
    bool isConnected() const { return m_connected.load(); }

    bool remove(const QString& path, bool toTrash);
    // Starts the copy on the server; progress comes from getCopyFileStatus.
    bool copyFile(const QString& source, const QString& dest, bool force);
    bool getCopyFileStatus(CopyStatus* status);
    bool rename(const QString& from, const QString& to);
    bool createFolder(const QString& path);
    bool getNestedFiles(const QString& path, QDir::Filters filters, QStringList* files);
    // Reads up to count bytes at offset into buffer; *remaining gets the bytes
    // the server says are left. Returns the count read, -1 on failure.
    qint64 read(const QString& path, char* buffer, qint64 offset, qint64 count, qint64* remaining);
    // Returns the count the server wrote, -1 on failure.
    qint64 write(const QString& path, const char* buffer, qint64 offset, qint64 count);
    // The file's size, -1 on failure.
    qint64 size(const QString& path);
    bool canFileBeOpened(const QString& path, bool forReading);
    bool createFile(const QString& path);

    // 1024 unless QUENVAR_FILE_SERVER_PORT names another port.
    static quint16 serverPort();
    // Why the last connection was given up before anything was sent to it;
    // empty when it was not.
    static QString refusal();
    static constexpr const char* kServerHost = "127.0.0.1";
    static constexpr int kConnectWaitMs = 300;
    static constexpr int kRestartWaitMs = 200;

private:
    // Runs command on the client thread and waits for it.
    void runCommand(const std::function<void()>& command);
    void connectToServer();
    // Whether the sockets listening on port for the loopback address belong
    // to root; otherwise notes and logs the refusal.
    static bool serverRunsAsRoot(quint16 port);
    // Sends a request header: the command number and its argument lines.
    bool sendRequest(int command, const QStringList& lines);
    bool askBool(int command, const QStringList& lines);
    std::optional<qint64> askInt(int command, const QStringList& lines);

    MyQTcpSocket* m_socket = nullptr;
    QString m_fileName;
    std::atomic<bool> m_connected{false};

    // Ends the client thread when the application object goes away.
    static void stopClientThread();

    static QThread* m_thread;

public:
    // The process-wide thread all client sockets live on (started on first use).
    static QThread* clientThread();
};

// The two connections kept for streaming reads and writes; made on first use
// and made anew when their connection was lost.
class ReadFileClient
{
public:
    static qint64 size(const QString& path);
    static qint64 read(const QString& path, char* buffer, qint64 offset, qint64 count, qint64* remaining);
    static void close();

private:
    static FileClient* m_pFileClient;
};

class WriteFileClient
{
public:
    static qint64 write(const QString& path, const char* buffer, qint64 offset, qint64 count);
    static void close();

private:
    static FileClient* m_pFileClient;
};
