#include "fileops/FileClient.h"

#include "fileops/MyQTcpSocket.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QDebug>
#include <QEventLoop>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QThread>

#include <cstring>
#include <optional>

QThread* FileClient::m_thread = nullptr;
FileClient* ReadFileClient::m_pFileClient = nullptr;
FileClient* WriteFileClient::m_pFileClient = nullptr;

namespace {

QMutex g_threadMutex;
// Lives on the client thread; queued calls to it run the commands there.
QObject* g_threadContext = nullptr;

QMutex g_readClientMutex;
QMutex g_writeClientMutex;

// Why the last connection to the server was given up unused; guarded.
QMutex g_refusalMutex;
QString g_refusal;

void setRefusal(const QString& text)
{
    QMutexLocker lock(&g_refusalMutex);
    g_refusal = text;
}

// An address as the kernel's socket tables print it: each 32-bit word of
// the network-order bytes as a hexadecimal number of this machine's order.
QByteArray tableAddress(const QByteArray& bytes)
{
    QByteArray text;
    for (int i = 0; i + 4 <= bytes.size(); i += 4) {
        quint32 word = 0;
        std::memcpy(&word, bytes.constData() + i, 4);
        text += QByteArray::number(word, 16).rightJustified(8, '0').toUpper();
    }
    return text;
}

// The owners (user ids) of the sockets that listen on port and would take
// a connection to 127.0.0.1: bound to it or to every address, over IPv4 or
// IPv6, as /proc/net/tcp and /proc/net/tcp6 list them.
QList<uint> loopbackListenerOwners(quint16 port)
{
    const QByteArray loopback4("\x7f\x00\x00\x01", 4);
    const QByteArray mapped = QByteArray(10, '\0') + QByteArray("\xff\xff", 2) + loopback4;
    const struct
    {
        const char* table;
        QList<QByteArray> addresses;
    } tables[] = {
        {"/proc/net/tcp", {tableAddress(loopback4), tableAddress(QByteArray(4, '\0'))}},
        {"/proc/net/tcp6", {tableAddress(mapped), tableAddress(QByteArray(16, '\0'))}},
    };
    QList<uint> owners;
    for (const auto& table : tables) {
        QFile file(QString::fromLatin1(table.table));
        // The tables report no size: read to their end.
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        // Fields: slot, local address:port, remote, state, queues, timer,
        // retransmits, uid, ...; state 0A is LISTEN.
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
            if (fields.size() < 8 || fields.at(3) != "0A")
                continue;
            const QByteArray& local = fields.at(1);
            const int colon = local.lastIndexOf(':');
            bool ok = false;
            if (local.mid(colon + 1).toUInt(&ok, 16) != port || !ok || !table.addresses.contains(local.left(colon)))
                continue;
            const uint owner = fields.at(7).toUInt(&ok);
            if (ok)
                owners << owner;
        }
    }
    return owners;
}

QString boolLine(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString intLine(qint64 value)
{
    return QString::number(value);
}

} // namespace

QThread* FileClient::clientThread()
{
    QMutexLocker lock(&g_threadMutex);
    if (!m_thread) {
        m_thread = new QThread;
        m_thread->setObjectName(QStringLiteral("FileClient"));
        g_threadContext = new QObject;
        g_threadContext->moveToThread(m_thread);
        m_thread->start(QThread::InheritPriority);
        qAddPostRoutine(&FileClient::stopClientThread);
    }
    return m_thread;
}

void FileClient::stopClientThread()
{
    ReadFileClient::close();
    WriteFileClient::close();
    QMutexLocker lock(&g_threadMutex);
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    delete g_threadContext;
    g_threadContext = nullptr;
    delete m_thread;
    m_thread = nullptr;
}

quint16 FileClient::serverPort()
{
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("QUENVAR_FILE_SERVER_PORT", &ok);
    return ok && port > 0 && port < 65536 ? quint16(port) : quint16(1024);
}

FileClient::FileClient()
    : FileClient(QString())
{
}

FileClient::FileClient(const QString& fileName)
    : m_fileName(fileName)
{
    runCommand([this] {
        m_socket = new MyQTcpSocket;
        connectToServer();
    });
}

FileClient::~FileClient()
{
    runCommand([this] {
        if (m_socket->isConnected()) {
            m_socket->writeInt(CmdClose);
            m_socket->flushAll(MyQTcpSocket::kWaitMs);
        }
        delete m_socket;
        m_socket = nullptr;
    });
}

void FileClient::runCommand(const std::function<void()>& command)
{
    QObject* context = nullptr;
    {
        clientThread();
        QMutexLocker lock(&g_threadMutex);
        context = g_threadContext;
    }
    Q_ASSERT(QThread::currentThread() != m_thread);

    // The caller keeps handling its own events while it waits; the semaphore
    // makes sure the command has really ended even if the local loop was
    // left early (the application quitting).
    QSemaphore done;
    QEventLoop loop;
    QMetaObject::invokeMethod(
        context,
        [&] {
            command();
            m_connected.store(m_socket && m_socket->isConnected());
            QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
            done.release();
        },
        Qt::QueuedConnection);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    done.acquire();
}

QString FileClient::refusal()
{
    QMutexLocker lock(&g_refusalMutex);
    return g_refusal;
}

bool FileClient::serverRunsAsRoot(quint16 port)
{
    // Any user can listen on a port above 1023 before the server does; what
    // is sent to it (paths, file contents) must reach root only.
    const QList<uint> owners = loopbackListenerOwners(port);
    QString refusal;
    if (owners.isEmpty()) {
        refusal = tr("no listening socket of the elevated file server was found on port %1, so nothing was sent "
                     "to it")
                      .arg(port);
    } else {
        for (uint owner : owners) {
            if (owner != 0) {
                refusal = tr("the elevated file server on port %1 does not run as root (its owner is user %2), so "
                             "nothing was sent to it")
                              .arg(port)
                              .arg(owner);
                break;
            }
        }
    }
    setRefusal(refusal);
    if (refusal.isEmpty())
        return true;
    qWarning().noquote() << refusal;
    return false;
}

void FileClient::connectToServer()
{
    setRefusal(QString());
    const quint16 port = serverPort();
    m_socket->connectToHost(QHostAddress(QString::fromLatin1(kServerHost)), port, QIODevice::ReadWrite);
    if (m_socket->waitForConnected(kConnectWaitMs)) {
        if (!serverRunsAsRoot(port))
            m_socket->abort();
        return;
    }
    m_socket->abort();
    // Only a server that was just started is worth a second attempt; with
    // nothing listening the refusal is final and comes at once.
    if (!runFileServerElevated()) {
        qDebug() << "elevated file server is not listening on port" << port;
        return;
    }
    qSleep(kRestartWaitMs);
    m_socket->connectToHost(QHostAddress(QString::fromLatin1(kServerHost)), port, QIODevice::ReadWrite);
    if (!m_socket->waitForConnected(kConnectWaitMs)) {
        m_socket->abort();
        qDebug() << "elevated file server is not listening on port" << port;
    } else if (!serverRunsAsRoot(port)) {
        m_socket->abort();
    }
}

bool FileClient::sendRequest(int command, const QStringList& lines)
{
    if (!m_socket->isConnected())
        return false;
    bool ok = m_socket->writeInt(command);
    for (const QString& line : lines)
        ok = ok && m_socket->writeLine(line);
    return ok;
}

bool FileClient::askBool(int command, const QStringList& lines)
{
    const std::optional<qint64> reply = askInt(command, lines);
    return reply && *reply != 0;
}

std::optional<qint64> FileClient::askInt(int command, const QStringList& lines)
{
    std::optional<qint64> result;
    runCommand([&] {
        if (!sendRequest(command, lines))
            return;
        bool ok = false;
        const qint64 value = m_socket->readInt(&ok);
        if (ok)
            result = value;
    });
    return result;
}

bool FileClient::remove(const QString& path, bool toTrash)
{
    return askBool(CmdRemove, {path, boolLine(toTrash)});
}

bool FileClient::copyFile(const QString& source, const QString& dest, bool force)
{
    bool sent = false;
    runCommand([&] {
        sent = sendRequest(CmdCopyFile, {source, dest, boolLine(force)}) && m_socket->flushAll(MyQTcpSocket::kWaitMs);
    });
    return sent;
}

bool FileClient::getCopyFileStatus(CopyStatus* status)
{
    bool ok = false;
    runCommand([&] {
        if (!sendRequest(CmdGetCopyFileStatus, {}))
            return;
        const qint64 error = m_socket->readInt(&ok);
        const qint64 bytes = ok ? m_socket->readInt(&ok) : 0;
        const qint64 finished = ok ? m_socket->readInt(&ok) : 0;
        if (ok) {
            status->error = int(error);
            status->bytes = bytes;
            status->finished = finished != 0;
        }
    });
    return ok;
}

bool FileClient::rename(const QString& from, const QString& to)
{
    return askBool(CmdRename, {from, to});
}

bool FileClient::createFolder(const QString& path)
{
    return askBool(CmdCreateFolder, {path});
}

bool FileClient::getNestedFiles(const QString& path, QDir::Filters filters, QStringList* files)
{
    bool ok = false;
    runCommand([&] {
        if (!sendRequest(CmdGetNestedFiles, {path, intLine(int(filters))}))
            return;
        const qint64 size = m_socket->readInt(&ok);
        if (!ok)
            return;
        const QByteArray data = m_socket->readRaw(size, &ok);
        if (!ok)
            return;
        QDataStream in(data);
        QStringList list;
        in >> list;
        ok = in.status() == QDataStream::Ok;
        if (ok)
            *files = list;
    });
    return ok;
}

qint64 FileClient::read(const QString& path, char* buffer, qint64 offset, qint64 count, qint64* remaining)
{
    qint64 result = -1;
    runCommand([&] {
        if (!sendRequest(CmdRead, {path, intLine(offset), intLine(count)}) ||
            !m_socket->flushAll(MyQTcpSocket::kWaitMs))
            return;
        bool ok = false;
        const qint64 left = m_socket->readInt(&ok);
        const qint64 size = ok ? m_socket->readInt(&ok) : 0;
        // A negative count is the server's failure, with no bytes after it.
        if (!ok || size < 0)
            return;
        // More than was asked for would overrun the caller's buffer; those
        // bytes are never read, so the connection is out of step with the
        // server and cannot carry another command.
        if (size > count) {
            m_socket->abort();
            return;
        }
        const QByteArray data = m_socket->readRaw(size, &ok);
        if (!ok)
            return;
        std::memcpy(buffer, data.constData(), size_t(size));
        if (remaining)
            *remaining = left;
        result = size;
    });
    return result;
}

qint64 FileClient::write(const QString& path, const char* buffer, qint64 offset, qint64 count)
{
    qint64 result = -1;
    runCommand([&] {
        if (count < 0 || !sendRequest(CmdWrite, {path, intLine(offset), intLine(count)}) ||
            !m_socket->writeRaw(buffer, count) || !m_socket->flushAll(MyQTcpSocket::kWaitMs))
            return;
        bool ok = false;
        const qint64 written = m_socket->readInt(&ok);
        if (ok && written >= 0)
            result = written;
    });
    return result;
}

qint64 FileClient::size(const QString& path)
{
    const std::optional<qint64> reply = askInt(CmdSize, {path});
    return reply && *reply >= 0 ? *reply : -1;
}

bool FileClient::canFileBeOpened(const QString& path, bool forReading)
{
    return askBool(CmdCanFileBeOpened, {path, boolLine(forReading)});
}

bool FileClient::createFile(const QString& path)
{
    return askBool(CmdCreateFile, {path});
}

// --- Stream clients ----------------------------------------------------------

namespace {

FileClient* keptClient(FileClient*& client)
{
    if (client && !client->isConnected()) {
        delete client;
        client = nullptr;
    }
    if (!client)
        client = new FileClient;
    return client;
}

} // namespace

qint64 ReadFileClient::size(const QString& path)
{
    QMutexLocker lock(&g_readClientMutex);
    return keptClient(m_pFileClient)->size(path);
}

qint64 ReadFileClient::read(const QString& path, char* buffer, qint64 offset, qint64 count, qint64* remaining)
{
    QMutexLocker lock(&g_readClientMutex);
    return keptClient(m_pFileClient)->read(path, buffer, offset, count, remaining);
}

void ReadFileClient::close()
{
    QMutexLocker lock(&g_readClientMutex);
    delete m_pFileClient;
    m_pFileClient = nullptr;
}

qint64 WriteFileClient::write(const QString& path, const char* buffer, qint64 offset, qint64 count)
{
    QMutexLocker lock(&g_writeClientMutex);
    return keptClient(m_pFileClient)->write(path, buffer, offset, count);
}

void WriteFileClient::close()
{
    QMutexLocker lock(&g_writeClientMutex);
    delete m_pFileClient;
    m_pFileClient = nullptr;
}
