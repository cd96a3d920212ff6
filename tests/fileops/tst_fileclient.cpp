// The elevated file client against a stand-in server on the loopback: failures
// when there is no server, it dies in a reply, or it does not run as root.
#include "common/FileServerStandIn.h"
#include "common/testenv.h"

#include "app/settings.h"
#include "fileops/ElevatedAccess.h"
#include "fileops/FileClient.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

QByteArray preadAt(const QString& path, qint64 offset, int size)
{
    QByteArray data(size, '\0');
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    const ssize_t n = fd < 0 ? -1 : ::pread(fd, data.data(), size_t(size), offset);
    if (fd >= 0)
        ::close(fd);
    return n < 0 ? QByteArray() : data.left(int(n));
}

// Whether the command, tried on the files under p (which holds a file.txt
// of 7 bytes), failed as a failure must show: false, -1 or no result.
bool fails(FileClient& client, int command, const QString& p)
{
    char buffer[200];
    qint64 remaining = 0;
    QStringList files;
    FileClient::CopyStatus status;
    switch (command) {
    case 5: return !client.remove(p + "/absent.txt", false);
    case 7: return !client.copyFile(p + "/file.txt", p + "/copy.txt", false);
    case 8: return !client.getCopyFileStatus(&status);
    case 9: return !client.rename(p + "/file.txt", p + "/other.txt");
    case 10: return !client.createFolder(p + "/made");
    case 11: return !client.getNestedFiles(p, QDir::AllEntries, &files);
    case 14: return client.read(p + "/file.txt", buffer, 0, sizeof(buffer), &remaining) == -1;
    case 15: return client.write(p + "/file.txt", "abc", 0, 3) == -1;
    case 16: return client.size(p + "/file.txt") == -1;
    case 17: return !client.canFileBeOpened(p + "/file.txt", true);
    case 18: return !client.createFile(p + "/made.txt");
    }
    return false;
}

} // namespace

class TestFileClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void streamsBeyondFourGiB();
    void noServerEveryOperationFails();
    void dyingServerFails_data();
    void dyingServerFails();
    void streamClientsReconnect();
    void seamGoesThroughServer();
    void genericHelpersFollowElevation();
    void serverMustRunAsRoot_data();
    void serverMustRunAsRoot();

private:
    std::unique_ptr<testenv::FileServerStandIn> m_server;
    std::unique_ptr<testenv::ServerPort> m_port;
    QString m_dir;
};

void TestFileClient::initTestCase()
{
    if (!testenv::FileServerStandIn::servesThisProcess())
        QSKIP("the client talks only to a server that runs as root, and so does the stand-in only "
              "as root");
    m_server = std::make_unique<testenv::FileServerStandIn>();
    QVERIFY(m_server->isListening());
    m_port = std::make_unique<testenv::ServerPort>(m_server->port());
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

void TestFileClient::streamsBeyondFourGiB()
{
    const QString path = m_dir + "/sparse.bin";
    const qint64 size = qint64(6) << 30;
    QVERIFY(testenv::makeSparse(path, size));
    // The full 64-bit offset reaches the server, not its low 32 bits.
    const qint64 offset = (qint64(4) << 30) + 12345;
    const QByteArray data = "beyond the first four gibibytes";
    QCOMPARE(ElevatedAccess::write(path, data.constData(), offset, data.size()),
             int64_t(data.size()));
    QCOMPARE(preadAt(path, offset, data.size()), data);

    QCOMPARE(ElevatedAccess::size(path), int64_t(size));
    QByteArray back(data.size(), '\0');
    int64_t remaining = 0;
    QCOMPARE(ElevatedAccess::read(path, back.data(), offset, back.size(), &remaining),
             int64_t(data.size()));
    QCOMPARE(back, data);
    QCOMPARE(remaining, int64_t(size - offset - data.size()));
}

void TestFileClient::noServerEveryOperationFails()
{
    const QString p = m_dir + "/noServer";
    testenv::writeFile(p + "/file.txt", "content");
    testenv::ServerPort nothing(testenv::FileServerStandIn::unusedPort());
    FileClient client;
    QVERIFY(!client.isConnected());
    for (int command : {5, 7, 8, 9, 10, 11, 14, 15, 16, 17, 18})
        QVERIFY2(fails(client, command, p), qPrintable(QString::number(command)));
    bool ok = true;
    QVERIFY(ElevatedAccess::getNestedFiles(p, QDir::AllEntries, &ok).isEmpty());
    QVERIFY(!ok);
    QCOMPARE(ElevatedAccess::write(p + "/file.txt", "x", 0, 1), int64_t(-1));
    // The helpers that would go through the server fail too.
    CSettings::setElevated(true);
    QVERIFY(!renameFileGeneric(p + "/file.txt", p + "/b.txt"));
    QVERIFY(!deleteFileGeneric(p + "/file.txt", false));
    QVERIFY(!createFileGeneric(p + "/c.txt"));
    QVERIFY(!createFolderGeneric(p + "/d"));
    QCOMPARE(testenv::listTree(p), QStringList{"file.txt"});
    QCOMPARE(testenv::readFile(p + "/file.txt"), QByteArray("content"));
    QCOMPARE(m_server->commands(), QList<int>());
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
    QVERIFY(fails(client, command, p));
    QVERIFY(!client.isConnected());
    QCOMPARE(m_server->commands(), QList<int>{command});
    // Everything after the loss fails too, without reaching anything.
    QCOMPARE(client.size(p + "/file.txt"), qint64(-1));
    QCOMPARE(m_server->commands(), QList<int>{command});
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
    // Names travel as UTF-8.
    const QString p = m_dir + QString::fromUtf8("/Ωmega файлы");
    QVERIFY(ElevatedAccess::createFolder(p + "/sub"));
    QVERIFY(ElevatedAccess::createFile(p + "/sub/f.txt"));
    QVERIFY(testenv::listTree(p).contains("sub/f.txt"));
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
    QStringList nested
        = ElevatedAccess::getNestedFiles(p, QDir::AllEntries | QDir::NoDotAndDotDot, &ok);
    QVERIFY(ok);
    nested.sort();
    QCOMPARE(nested, (QStringList{p, p + "/new", p + "/sub", p + "/sub/f.txt"}));
    QVERIFY(ElevatedAccess::rename(p + "/sub/f.txt", p + "/g.txt"));
    QVERIFY(ElevatedAccess::remove(p + "/sub", false));
    QVERIFY(ElevatedAccess::remove(p + "/new", false));
    QCOMPARE(testenv::listTree(p), QStringList{"g.txt"});
    QCOMPARE(testenv::readFile(p + "/g.txt"), QByteArray("hello"));
    const QList<int> seen = m_server->commands();
    QCOMPARE(QSet<int>(seen.begin(), seen.end()), (QSet<int>{5, 9, 10, 11, 14, 15, 16, 17, 18}));

    // What the server could not do fails, and the connection stays.
    FileClient client;
    for (int command : {5, 9, 14, 15, 16, 18})
        QVERIFY2(fails(client, command, p + "/nothing"), qPrintable(QString::number(command)));
    QVERIFY(client.isConnected());
}

void TestFileClient::genericHelpersFollowElevation()
{
    const QString p = m_dir + "/generic";
    // Not elevated: the server hears nothing.
    QVERIFY(createFolderGeneric(p + "/plaindir"));
    QVERIFY(createFileGeneric(p + "/plain.txt"));
    QVERIFY(renameFileGeneric(p + "/plain.txt", p + "/plain2.txt"));
    QVERIFY(deleteFileGeneric(p + "/plain2.txt", false));
    QCOMPARE(m_server->commands(), QList<int>());

    // Elevation chosen in a question counts as much as the setting.
    UserActions::select(UA_AS_ADMIN, false);
    QVERIFY(isElevationInForce());
    QVERIFY(createFolderGeneric(p + "/up/down"));
    QVERIFY(createFileGeneric(p + "/up/down/e.txt"));
    QVERIFY(renameFileGeneric(p + "/up/down/e.txt", p + "/up/e2.txt"));
    QVERIFY(QFileInfo::exists(p + "/up/e2.txt"));
    QVERIFY(deleteFileGeneric(p + "/up", false));
    QVERIFY(!QFileInfo::exists(p + "/up"));
    QCOMPARE(m_server->commands(), (QList<int>{10, 18, 9, 5}));
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
    testenv::FileServerStandInAsUser server(uid);
    QVERIFY(server.port() != 0);
    testenv::ServerPort port(server.port());
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
        QCOMPARE(FileClient::refusal(),
                 QStringLiteral("the elevated file server on port %1 does not run as root (its "
                                "owner is user 65534), so nothing was sent to it")
                     .arg(server.port()));
        // The operations that wanted the server say so.
        QCOMPARE(elevatedServerFailureText(), FileClient::refusal());
    }
}

QUENVAR_TEST_MAIN(TestFileClient)
#include "tst_fileclient.moc"
