// The elevated file client against a stand-in server on the loopback: the
// request lines of each command, the handling of each reply, 64-bit offsets,
// and failures when there is no server or it dies in the middle of a reply.
#include "common/FileServerStandIn.h"
#include "common/testenv.h"

#include "app/settings.h"
#include "fileops/ElevatedAccess.h"
#include "fileops/FileClient.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

using Request = testenv::FileServerStandIn::Request;

QByteArray preadAt(const QString& path, qint64 offset, int size)
{
    QByteArray data(size, '\0');
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    const ssize_t n = fd < 0 ? -1 : ::pread(fd, data.data(), size_t(size), offset);
    if (fd >= 0)
        ::close(fd);
    return n < 0 ? QByteArray() : data.left(int(n));
}

// The commands received, without the goodbyes (19) of connections that
// were closed, which reach the server in their own time.
QList<int> commands(const QList<Request>& requests)
{
    QList<int> result;
    for (const Request& request : requests) {
        if (request.command != FileClient::CmdClose)
            result << request.command;
    }
    return result;
}

// Points the clients at a port for the lifetime of the object.
class PortOverride
{
public:
    explicit PortOverride(quint16 port)
        : m_old(qgetenv("QUENVAR_FILE_SERVER_PORT"))
    {
        qputenv("QUENVAR_FILE_SERVER_PORT", QByteArray::number(port));
        // Kept stream connections belong to the old server.
        ReadFileClient::close();
        WriteFileClient::close();
    }
    ~PortOverride()
    {
        qputenv("QUENVAR_FILE_SERVER_PORT", m_old);
        ReadFileClient::close();
        WriteFileClient::close();
    }

private:
    QByteArray m_old;
};

} // namespace

class TestFileClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void defaultPort();
    void requestLines();
    void nonAsciiPathsTravelAsUtf8();
    void serverSideCopyWithStatus();
    void streamsBeyondFourGiB();
    void readAtEndReportsNothingLeft();
    void noServerEveryOperationFails();
    void dyingServerFails_data();
    void dyingServerFails();
    void streamClientsReconnect();
    void seamGoesThroughServer();
    void genericHelpersFollowElevation();
    void genericHelpersWithoutServerFail();
    void serverMustRunAsRoot_data();
    void serverMustRunAsRoot();

private:
    std::unique_ptr<testenv::FileServerStandIn> m_server;
    QString m_dir;
};

void TestFileClient::initTestCase()
{
    if (!testenv::FileServerStandIn::servesThisProcess())
        QSKIP("the client talks only to a server that runs as root, and so does the stand-in only as root");
    m_server = std::make_unique<testenv::FileServerStandIn>();
    QVERIFY(m_server->isListening());
    m_server->useForClients();
    m_dir = testenv::makeDir("client");
}

void TestFileClient::init()
{
    m_server->clearLog();
}

void TestFileClient::cleanup()
{
    CSettings::setElevated(false);
    UserActions::reset();
}

void TestFileClient::defaultPort()
{
    const QByteArray old = qgetenv("QUENVAR_FILE_SERVER_PORT");
    qunsetenv("QUENVAR_FILE_SERVER_PORT");
    QCOMPARE(FileClient::serverPort(), quint16(1024));
    qputenv("QUENVAR_FILE_SERVER_PORT", "not a port");
    QCOMPARE(FileClient::serverPort(), quint16(1024));
    qputenv("QUENVAR_FILE_SERVER_PORT", old);
    QCOMPARE(FileClient::serverPort(), m_server->port());
}

void TestFileClient::requestLines()
{
    const QString p = m_dir + "/lines.txt";
    testenv::writeFile(p, "0123456789");
    const QByteArray p8 = p.toUtf8();
    auto client = std::make_unique<FileClient>();
    QVERIFY(client->isConnected());

    // Each request exactly as it must appear on the wire: one "\n" per line.
    auto expect = [&](const std::function<void()>& call, const QByteArray& wire) {
        m_server->clearLog();
        call();
        // Requests without a reply may still be on their way.
        QTRY_COMPARE(m_server->received(), wire);
    };
    char buffer[4];
    qint64 remaining = 0;
    FileClient::CopyStatus status;
    QStringList files;
    expect([&] { client->size(p); }, "16\n" + p8 + "\n");
    expect([&] { client->canFileBeOpened(p, true); }, "17\n" + p8 + "\n1\n");
    expect([&] { client->canFileBeOpened(p, false); }, "17\n" + p8 + "\n0\n");
    expect([&] { client->read(p, buffer, 6, 4, &remaining); }, "14\n" + p8 + "\n6\n4\n");
    expect([&] { client->write(p, "ab", 3, 2); }, "15\n" + p8 + "\n3\n2\nab");
    expect([&] { client->createFile(p); }, "18\n" + p8 + "\n");
    expect([&] { client->createFolder(p + ".d"); }, "10\n" + p8 + ".d\n");
    expect([&] { client->getNestedFiles(p + ".d", QDir::Files | QDir::Hidden, &files); },
           "11\n" + p8 + ".d\n" + QByteArray::number(int(QDir::Files | QDir::Hidden)) + "\n");
    expect([&] { client->rename(p + ".d", p + ".e"); }, "9\n" + p8 + ".d\n" + p8 + ".e\n");
    expect([&] { client->remove(p + ".e", false); }, "5\n" + p8 + ".e\n0\n");
    expect([&] { client->remove(p + ".none", true); }, "5\n" + p8 + ".none\n1\n");
    expect([&] { client->copyFile(p, p + ".copy", true); }, "7\n" + p8 + "\n" + p8 + ".copy\n1\n");
    expect([&] { client->getCopyFileStatus(&status); }, "8\n");
    expect([&] { client.reset(); }, "19\n");
}

void TestFileClient::nonAsciiPathsTravelAsUtf8()
{
    const QString folder = m_dir + QString::fromUtf8("/Ωmega файлы");
    const QString file = folder + QString::fromUtf8("/naïve 日本.txt");
    FileClient client(file);
    QCOMPARE(client.fileName(), file);
    QVERIFY(client.createFolder(folder));
    QVERIFY(client.createFile(file));
    QVERIFY(QFileInfo::exists(file));
    QVERIFY(m_server->received().contains("\n" + file.toUtf8() + "\n"));
    QCOMPARE(client.write(file, "ü", 0, 2), qint64(2));
    QCOMPARE(testenv::readFile(file), QByteArray("ü"));
}

void TestFileClient::serverSideCopyWithStatus()
{
    const QByteArray content(700000, 'c');
    testenv::writeFile(m_dir + "/copy-src.bin", content);
    FileClient client;
    QVERIFY(client.copyFile(m_dir + "/copy-src.bin", m_dir + "/copy-dst.bin", false));
    FileClient::CopyStatus status;
    for (int i = 0; i < 20000; ++i) {
        QVERIFY(client.getCopyFileStatus(&status));
        if (status.finished || status.error)
            break;
        QThread::msleep(1);
    }
    QVERIFY(status.finished);
    QCOMPARE(status.error, 0);
    QCOMPARE(status.bytes, qint64(content.size()));
    QCOMPARE(testenv::readFile(m_dir + "/copy-dst.bin"), content);

    QVERIFY(client.copyFile(m_dir + "/no-source", m_dir + "/copy-dst2.bin", false));
    for (int i = 0; i < 20000 && !status.error; ++i)
        QVERIFY(client.getCopyFileStatus(&status));
    QCOMPARE(status.error, 7); // cannot open source file
}

void TestFileClient::streamsBeyondFourGiB()
{
    const QString path = m_dir + "/sparse.bin";
    const qint64 size = qint64(6) << 30;
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    }
    const qint64 offset = (qint64(4) << 30) + 12345;
    const QByteArray data = "beyond the first four gibibytes";

    QCOMPARE(ElevatedAccess::write(path, data.constData(), offset, data.size()), int64_t(data.size()));
    QCOMPARE(preadAt(path, offset, data.size()), data);
    // The full 64-bit value is on the wire, not its low 32 bits.
    QVERIFY(m_server->received().contains("\n" + QByteArray::number(offset) + "\n"));

    QCOMPARE(ElevatedAccess::size(path), int64_t(size));
    QByteArray back(data.size(), '\0');
    int64_t remaining = 0;
    QCOMPARE(ElevatedAccess::read(path, back.data(), offset, back.size(), &remaining), int64_t(data.size()));
    QCOMPARE(back, data);
    QCOMPARE(remaining, int64_t(size - offset - data.size()));

    // And the stream clients kept one connection each for all of it.
    const int connections = m_server->connectionCount();
    QCOMPARE(ElevatedAccess::size(path), int64_t(size));
    QCOMPARE(ElevatedAccess::write(path, "x", size - 1, 1), int64_t(1));
    QCOMPARE(m_server->connectionCount(), connections);
    QCOMPARE(preadAt(path, size - 1, 1), QByteArray("x"));
}

void TestFileClient::readAtEndReportsNothingLeft()
{
    testenv::writeFile(m_dir + "/short.txt", "abcdef");
    char buffer[16];
    qint64 remaining = -1;
    QCOMPARE(ReadFileClient::read(m_dir + "/short.txt", buffer, 2, 16, &remaining), qint64(4));
    QCOMPARE(QByteArray(buffer, 4), QByteArray("cdef"));
    QCOMPARE(remaining, qint64(0));
    QCOMPARE(ReadFileClient::read(m_dir + "/short.txt", buffer, 6, 16, &remaining), qint64(0));
    QCOMPARE(remaining, qint64(0));
}

void TestFileClient::noServerEveryOperationFails()
{
    testenv::writeFile(m_dir + "/local.txt", "local");
    PortOverride nothing(testenv::FileServerStandIn::unusedPort());
    FileClient client;
    QVERIFY(!client.isConnected());
    char buffer[8];
    qint64 remaining = 0;
    QStringList files;
    FileClient::CopyStatus status;
    QVERIFY(!client.remove(m_dir + "/local.txt", false));
    QVERIFY(!client.rename(m_dir + "/local.txt", m_dir + "/moved.txt"));
    QVERIFY(!client.createFolder(m_dir + "/nf"));
    QVERIFY(!client.createFile(m_dir + "/nf.txt"));
    QVERIFY(!client.canFileBeOpened(m_dir + "/local.txt", true));
    QCOMPARE(client.size(m_dir + "/local.txt"), qint64(-1));
    QCOMPARE(client.read(m_dir + "/local.txt", buffer, 0, 8, &remaining), qint64(-1));
    QCOMPARE(client.write(m_dir + "/local.txt", "x", 0, 1), qint64(-1));
    QVERIFY(!client.getNestedFiles(m_dir, QDir::AllEntries, &files));
    QVERIFY(!client.copyFile(m_dir + "/local.txt", m_dir + "/copy.txt", false));
    QVERIFY(!client.getCopyFileStatus(&status));
    bool ok = true;
    QVERIFY(ElevatedAccess::getNestedFiles(m_dir, QDir::AllEntries, &ok).isEmpty());
    QVERIFY(!ok);
    QCOMPARE(ElevatedAccess::write(m_dir + "/local.txt", "x", 0, 1), int64_t(-1));
    QCOMPARE(testenv::readFile(m_dir + "/local.txt"), QByteArray("local"));
    QVERIFY(!QFileInfo::exists(m_dir + "/moved.txt"));
    QVERIFY(!QFileInfo::exists(m_dir + "/nf"));
    QCOMPARE(commands(m_server->requests()), QList<int>());
}

void TestFileClient::dyingServerFails_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("partial");
    QTest::newRow("rename, half a line") << 9 << QByteArray("1");
    QTest::newRow("remove, nothing") << 5 << QByteArray();
    QTest::newRow("create folder, half a line") << 10 << QByteArray("1");
    QTest::newRow("create file, nothing") << 18 << QByteArray();
    QTest::newRow("can be opened, half a line") << 17 << QByteArray("1");
    QTest::newRow("size, half a line") << 16 << QByteArray("12");
    QTest::newRow("read, short data") << 14 << QByteArray("0\n100\nabc");
    QTest::newRow("read, no count") << 14 << QByteArray("0\n");
    // Announces more bytes than the 200 asked for, and sends them.
    QTest::newRow("read, more than asked") << 14 << QByteArray("0\n500\n") + QByteArray(500, 'r');
    QTest::newRow("write, nothing") << 15 << QByteArray();
    QTest::newRow("nested, short list") << 11 << QByteArray("50\nxx");
    QTest::newRow("copy status, two of three") << 8 << QByteArray("0\n5\n");
}

void TestFileClient::dyingServerFails()
{
    QFETCH(int, command);
    QFETCH(QByteArray, partial);
    const QString p = m_dir + "/dying";
    testenv::writeFile(p + "/file.txt", "content");
    m_server->dieOnCommand(command, partial);

    FileClient client;
    bool failed = false;
    char buffer[200];
    qint64 remaining = 0;
    QStringList files;
    FileClient::CopyStatus status;
    switch (command) {
    case 9: failed = !client.rename(p + "/file.txt", p + "/other.txt"); break;
    case 5: failed = !client.remove(p + "/absent.txt", false); break;
    case 10: failed = !client.createFolder(p + "/made"); break;
    case 18: failed = !client.createFile(p + "/made.txt"); break;
    case 17: failed = !client.canFileBeOpened(p + "/file.txt", true); break;
    case 16: failed = client.size(p + "/file.txt") == -1; break;
    case 14: failed = client.read(p + "/file.txt", buffer, 0, sizeof(buffer), &remaining) == -1; break;
    case 15: failed = client.write(p + "/file.txt", "abc", 0, 3) == -1; break;
    case 11: failed = !client.getNestedFiles(p, QDir::AllEntries, &files); break;
    case 8: failed = !client.getCopyFileStatus(&status); break;
    }
    QVERIFY(failed);
    QVERIFY(!client.isConnected());
    QCOMPARE(commands(m_server->requests()), QList<int>{command});
    // Everything after the loss fails too, without reaching anything.
    QCOMPARE(client.size(p + "/file.txt"), qint64(-1));
    QCOMPARE(commands(m_server->requests()), QList<int>{command});
    // A new connection works again.
    QCOMPARE(FileClient().size(p + "/file.txt"), qint64(7));
}

void TestFileClient::streamClientsReconnect()
{
    testenv::writeFile(m_dir + "/reconnect.txt", "12345");
    QCOMPARE(ReadFileClient::size(m_dir + "/reconnect.txt"), qint64(5));
    m_server->dieOnCommand(16, QByteArray());
    QCOMPARE(ReadFileClient::size(m_dir + "/reconnect.txt"), qint64(-1));
    // The kept connection is made anew on the next call.
    QCOMPARE(ReadFileClient::size(m_dir + "/reconnect.txt"), qint64(5));
}

void TestFileClient::seamGoesThroughServer()
{
    const QString p = m_dir + "/seam";
    QVERIFY(ElevatedAccess::createFolder(p + "/sub"));
    QVERIFY(ElevatedAccess::createFile(p + "/sub/f.txt"));
    QVERIFY(ElevatedAccess::canFileBeOpened(p + "/sub/f.txt", true));
    QVERIFY(ElevatedAccess::canFileBeOpened(p + "/new/out.bin", false));
    QCOMPARE(ElevatedAccess::write(p + "/sub/f.txt", "hello", 0, 5), int64_t(5));
    QCOMPARE(ElevatedAccess::size(p + "/sub/f.txt"), int64_t(5));
    char buffer[5];
    int64_t remaining = -1;
    QCOMPARE(ElevatedAccess::read(p + "/sub/f.txt", buffer, 1, 4, &remaining), int64_t(4));
    QCOMPARE(QByteArray(buffer, 4), QByteArray("ello"));
    QCOMPARE(remaining, int64_t(0));
    bool ok = false;
    QStringList nested = ElevatedAccess::getNestedFiles(p, QDir::AllEntries | QDir::NoDotAndDotDot, &ok);
    QVERIFY(ok);
    nested.sort();
    QCOMPARE(nested, (QStringList{p, p + "/new", p + "/sub", p + "/sub/f.txt"}));
    QVERIFY(ElevatedAccess::rename(p + "/sub/f.txt", p + "/g.txt"));
    QVERIFY(ElevatedAccess::remove(p + "/sub", false));
    QVERIFY(ElevatedAccess::remove(p + "/new", false));
    QCOMPARE(testenv::listTree(p), QStringList{"g.txt"});
    QCOMPARE(testenv::readFile(p + "/g.txt"), QByteArray("hello"));
    const QList<int> seen = commands(m_server->requests());
    QCOMPARE(QSet<int>(seen.begin(), seen.end()), (QSet<int>{5, 9, 10, 11, 14, 15, 16, 17, 18}));

    // What the server could not do fails, and the connection stays.
    FileClient client;
    QVERIFY(!client.createFile(p + "/missing/f.txt"));
    QCOMPARE(client.size(p + "/nothing"), qint64(-1));
    QVERIFY(!client.canFileBeOpened(p + "/nothing", true));
    QVERIFY(!client.rename(p + "/nothing", p + "/again.bin"));
    QVERIFY(!client.remove(p + "/sub", false));
    qint64 left = -5;
    QCOMPARE(client.read(p + "/nothing", buffer, 0, 4, &left), qint64(-1));
    QCOMPARE(left, qint64(-5));
    QCOMPARE(client.write(p + "/no/such/dir/x", "abc", 0, 3), qint64(-1));
    QVERIFY(client.isConnected());
}

void TestFileClient::genericHelpersFollowElevation()
{
    const QString p = m_dir + "/generic";
    QDir().mkpath(p);

    // Not elevated: the server hears nothing.
    QVERIFY(createFileGeneric(p + "/plain.txt"));
    QVERIFY(renameFileGeneric(p + "/plain.txt", p + "/plain2.txt"));
    QVERIFY(deleteFileGeneric(p + "/plain2.txt", false));
    QVERIFY(createFolderGeneric(p + "/plaindir"));
    QCOMPARE(commands(m_server->requests()), QList<int>());

    for (const bool bySettings : {true, false}) {
        m_server->clearLog();
        if (bySettings)
            CSettings::setElevated(true);
        else
            UserActions::select(UA_AS_ADMIN, false);
        QVERIFY(isElevationInForce());
        QVERIFY(createFolderGeneric(p + "/up/down"));
        QVERIFY(createFileGeneric(p + "/up/down/e.txt"));
        QVERIFY(renameFileGeneric(p + "/up/down/e.txt", p + "/up/e2.txt"));
        QVERIFY(QFileInfo::exists(p + "/up/e2.txt"));
        QVERIFY(deleteFileGeneric(p + "/up", false));
        QVERIFY(!QFileInfo::exists(p + "/up"));
        const QList<int> seen = commands(m_server->requests());
        for (int command : {10, 18, 9, 5})
            QVERIFY2(seen.contains(command), qPrintable(QString::number(command)));
        CSettings::setElevated(false);
        UserActions::reset();
    }
}

void TestFileClient::genericHelpersWithoutServerFail()
{
    testenv::writeFile(m_dir + "/nos/a.txt", "a");
    PortOverride nothing(testenv::FileServerStandIn::unusedPort());
    CSettings::setElevated(true);
    QVERIFY(!renameFileGeneric(m_dir + "/nos/a.txt", m_dir + "/nos/b.txt"));
    QVERIFY(!deleteFileGeneric(m_dir + "/nos/a.txt", false));
    QVERIFY(!createFileGeneric(m_dir + "/nos/c.txt"));
    QVERIFY(!createFolderGeneric(m_dir + "/nos/d"));
    QCOMPARE(testenv::listTree(m_dir + "/nos"), QStringList{"a.txt"});
}

void TestFileClient::serverMustRunAsRoot_data()
{
    QTest::addColumn<uint>("uid");
    QTest::addColumn<bool>("served");
    // nobody: any local user could have taken the port first.
    QTest::newRow("ordinary user") << 65534u << false;
    QTest::newRow("root") << 0u << true;
}

void TestFileClient::serverMustRunAsRoot()
{
    QFETCH(uint, uid);
    QFETCH(bool, served);
    if (::geteuid() != 0)
        QSKIP("running the server as another user needs root");
    testenv::FileServerStandInAsUser server(uid);
    QVERIFY(server.port() != 0);
    PortOverride port(server.port());
    const QString path = m_dir + QStringLiteral("/made-as-root-%1.txt").arg(uid);

    const bool made = FileClient().createFile(path);
    const qint64 received = server.stop();
    QCOMPARE(made, served);
    QCOMPARE(QFileInfo::exists(path), served);
    if (served) {
        QVERIFY(received > 0);
        QCOMPARE(FileClient::refusal(), QString());
    } else {
        // Not a byte: no path, no file contents.
        QCOMPARE(received, 0);
        QCOMPARE(FileClient::refusal(), QStringLiteral("the elevated file server on port %1 does not run as root (its "
                                                       "owner is user 65534), so nothing was sent to it")
                                            .arg(server.port()));
        // The operations that wanted the server say so.
        QCOMPARE(elevatedServerFailureText(), FileClient::refusal());
    }
}

QUENVAR_TEST_MAIN(TestFileClient)
#include "tst_fileclient.moc"
