// Deleting and the trash, renames, the deleter with its access-denied question, and the
// elevated file client against a stand-in server: none, one that dies, one not run as root.
#include "common/FileServerStandIn.h"
#include "common/testenv.h"

#include "app/settings.h"
#include "fileops/ElevatedAccess.h"
#include "fileops/FileClient.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"
#include "ui/DeleteProgressDialog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

QString trashRoot()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
}

class Answerer : public QObject
{
    Q_OBJECT
public:
    std::function<void(const QString&)> answer;
    QStringList asked;
    QStringList reasons;

public slots:
    void cannotAccessFile(const QString& path, const QString& reason)
    {
        QVERIFY(QThread::currentThread() == qApp->thread());
        asked << path;
        reasons << reason;
        if (answer)
            answer(path);
        else
            UserActions::select(UA_CANCEL, true);
    }
};

QStringList runDeleter(const QStringList& paths, bool toTrash, Answerer* answerer,
                       DeleteProgress* progress)
{
    QThread thread;
    FileDeleter deleter(paths, toTrash, progress);
    deleter.moveToThread(&thread);
    deleter.setQuestionReceiver(answerer);
    QObject::connect(&deleter, &FileDeleter::cannotAccessFile, answerer,
                     &Answerer::cannotAccessFile);
    bool finished = false;
    QObject::connect(
        &deleter, &FileDeleter::finished, qApp, [&] { finished = true; }, Qt::QueuedConnection);
    QObject::connect(&thread, &QThread::started, &deleter, &FileDeleter::deletePaths);
    thread.start();
    QElapsedTimer clock;
    clock.start();
    while (!finished && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    thread.quit();
    thread.wait();
    return finished ? deleter.failedPaths() : QStringList{"<not finished>"};
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

class TestFileAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_dir = testenv::makeDir("fileaccess");
        QVERIFY(!qEnvironmentVariableIsEmpty("XDG_DATA_HOME"));
        if (!testenv::FileServerStandIn::servesThisProcess())
            return;
        m_server = std::make_unique<testenv::FileServerStandIn>();
        QVERIFY(m_server->isListening());
        m_port = std::make_unique<testenv::ServerPort>(m_server->port());
    }

    void init()
    {
        UserActions::reset();
        if (m_server)
            m_server->clearLog();
        else if (QByteArray(QTest::currentTestFunction()).startsWith("client"))
            QSKIP("the client talks only to a server that runs as root, the stand-in only as root");
    }

    void cleanup()
    {
        CSettings::setElevated(false);
        UserActions::reset();
    }

    // Runs first: the trash is looked up until it is found, then kept.
    void incompleteTrashIsRefused()
    {
        QVERIFY(!QFileInfo::exists(testenv::home() + "/.local/share/Trash"));
        const QString file = m_dir + "/keep.txt";
        testenv::writeFile(file, "keep");
        QVERIFY(!MoveFileToTrash(file));
        QVERIFY(!deleteFile(file, true));
        QDir().mkpath(trashRoot() + "/files");
        QVERIFY(!MoveFileToTrash(file));
        QCOMPARE(testenv::listTree(trashRoot()), QStringList{"files/"});
        QDir().mkpath(trashRoot() + "/info");
        QVERIFY(MoveFileToTrash(file));
        QVERIFY(!QFileInfo::exists(file));
        QCOMPARE(testenv::readFile(trashRoot() + "/files/keep.txt"), QByteArray("keep"));
    }

    void compoundExtensionAndHiddenNames()
    {
        for (int i = 0; i < 2; ++i) {
            testenv::writeFile(m_dir + "/report.tar.gz", "r");
            QVERIFY(MoveFileToTrash(m_dir + "/report.tar.gz"));
            testenv::writeFile(m_dir + "/.hidden", "h");
            QVERIFY(MoveFileToTrash(m_dir + "/.hidden"));
        }
        const QStringList names{"report.tar.gz", "report.2.tar.gz", ".hidden", ".2.hidden"};
        for (const QString& name : names) {
            QVERIFY2(QFileInfo::exists(trashRoot() + "/files/" + name), qPrintable(name));
            QVERIFY2(QFileInfo::exists(trashRoot() + "/info/" + name + ".trashinfo"),
                     qPrintable(name));
        }
        // A name taken only in the info folder is skipped as well.
        testenv::writeFile(trashRoot() + "/info/lonely.trashinfo", "[Trash Info]\n");
        testenv::writeFile(m_dir + "/lonely", "l");
        QVERIFY(MoveFileToTrash(m_dir + "/lonely"));
        QVERIFY(QFileInfo::exists(trashRoot() + "/files/lonely.2"));
    }

    void infoFileContent()
    {
        const QString folder = m_dir + "/with space/ünïcode";
        const QString file = folder + "/100%.txt";
        testenv::writeFile(file, "x");
        const QDateTime before = QDateTime::currentDateTime();
        QVERIFY(MoveFileToTrash(file));
        const QDateTime after = QDateTime::currentDateTime();
        const QStringList lines
            = QString::fromUtf8(testenv::readFile(trashRoot() + "/info/100%.txt.trashinfo"))
                  .split('\n');
        // Percent-encoded, so that other desktop tools can restore it; local time
        // to the millisecond, the Z written as it is.
        const QString path = m_dir + "/with%20space/%C3%BCn%C3%AFcode/100%25.txt";
        QCOMPARE(lines.mid(0, 2), (QStringList{"[Trash Info]", "Path=" + path}));
        const QDateTime stamp
            = QDateTime::fromString(lines.value(2), "'DeletionDate='yyyy-MM-ddThh:mm:ss.zzz'Z'");
        QVERIFY2(stamp >= before.addMSecs(-1) && stamp <= after.addMSecs(1), qPrintable(lines[2]));
        QCOMPARE(lines.size(), 4);
    }

    void otherFileSystemFailsAndStays()
    {
        const QString other = testenv::makeDirOnOtherFileSystem("trashOther");
        if (other.isEmpty())
            QSKIP("no second file system here");
        testenv::writeFile(other + "/far.txt", "far");
        const QStringList infoBefore = testenv::listTree(trashRoot() + "/info");
        QString reason;
        QVERIFY(!MoveFileToTrash(other + "/far.txt", &reason));
        QCOMPARE(reason, QStringLiteral("Invalid cross-device link"));
        QCOMPARE(testenv::readFile(other + "/far.txt"), QByteArray("far"));
        QVERIFY(!QFileInfo::exists(trashRoot() + "/files/far.txt"));
        // No info record is left behind for an item that never arrived.
        QCOMPARE(testenv::listTree(trashRoot() + "/info"), infoBefore);
    }

    void missingItemFails()
    {
        const QStringList before = testenv::listTree(trashRoot());
        QVERIFY(!MoveFileToTrash(m_dir + "/never-was.txt"));
        QCOMPARE(testenv::listTree(trashRoot()), before);
        QVERIFY(QFile::link(m_dir + "/nowhere", m_dir + "/dangling"));
        QVERIFY(MoveFileToTrash(m_dir + "/dangling"));
        QVERIFY(QFileInfo(trashRoot() + "/files/dangling").isSymLink());
    }

    void deletingNeverFollowsLinks()
    {
        // A link to a folder goes, by either helper; the folder stays whole.
        testenv::makeTree(m_dir + "/real", {{"inside.txt", "inside"}});
        QVERIFY(QFile::link(m_dir + "/real", m_dir + "/shortcut"));
        QVERIFY(QFile::link(m_dir + "/real", m_dir + "/shortcut2"));
        QVERIFY(deleteFile(m_dir + "/shortcut", false));
        QVERIFY(deleteFileGeneric(m_dir + "/shortcut2", false));
        QVERIFY(!QFileInfo(m_dir + "/shortcut").isSymLink());
        QVERIFY(!QFileInfo(m_dir + "/shortcut2").isSymLink());
        QCOMPARE(testenv::readFile(m_dir + "/real/inside.txt"), QByteArray("inside"));
        // A folder goes with the link inside it, not with what the link leads to.
        testenv::makeTree(m_dir + "/doomed", {{"a.txt", "a"}, {"sub/b.txt", "b"}});
        QVERIFY(QFile::link(m_dir + "/real", m_dir + "/doomed/sub/link"));
        QVERIFY(deleteFile(m_dir + "/doomed", false));
        QVERIFY(!QFileInfo::exists(m_dir + "/doomed"));
        QCOMPARE(testenv::readFile(m_dir + "/real/inside.txt"), QByteArray("inside"));
    }

    void renameReplacesByOneRename()
    {
        testenv::writeFile(m_dir + "/from.txt", "new");
        testenv::writeFile(m_dir + "/to.txt", "old");
        const ino_t moved = testenv::inode(m_dir + "/from.txt");
        QVERIFY(renameFileGeneric(m_dir + "/from.txt", m_dir + "/to.txt"));
        QVERIFY(!QFileInfo::exists(m_dir + "/from.txt"));
        QCOMPARE(testenv::readFile(m_dir + "/to.txt"), QByteArray("new"));
        QCOMPARE(testenv::inode(m_dir + "/to.txt"), moved);
        QDir().mkpath(m_dir + "/afolder");
        QVERIFY(!renameFileGeneric(m_dir + "/to.txt", m_dir + "/afolder"));
        QVERIFY(QFileInfo::exists(m_dir + "/to.txt"));

        // A source that cannot leave its immutable folder leaves the target.
        testenv::writeFile(m_dir + "/locked/source.txt", "source");
        testenv::ImmutableGuard lock(m_dir + "/locked");
        if (!lock.isSet())
            QSKIP("this file system has no immutable attribute");
        QVERIFY(!renameFileGeneric(m_dir + "/locked/source.txt", m_dir + "/to.txt"));
        QCOMPARE(testenv::readFile(m_dir + "/to.txt"), QByteArray("new"));
        QCOMPARE(testenv::readFile(m_dir + "/locked/source.txt"), QByteArray("source"));
    }

    void deleterCancelStops()
    {
        testenv::writeFile(m_dir + "/cancel/b.txt", "b");
        Answerer answerer; // cancels when asked
        DeleteProgress progress;
        const QStringList failed = runDeleter(
            {m_dir + "/cancel/missing.txt", m_dir + "/cancel/b.txt"}, false, &answerer, &progress);
        QCOMPARE(answerer.asked, QStringList{m_dir + "/cancel/missing.txt"});
        QCOMPARE(answerer.reasons, QStringList{"No such file or directory"});
        QCOMPARE(failed, QStringList{m_dir + "/cancel/missing.txt"});
        QVERIFY(QFileInfo::exists(m_dir + "/cancel/b.txt"));
        QCOMPARE(progress.handled.load(), 0);
        // Cancel chosen earlier: the next deleter does nothing at all.
        DeleteProgress again;
        QCOMPARE(runDeleter({m_dir + "/cancel/b.txt"}, false, &answerer, &again), QStringList());
        QVERIFY(QFileInfo::exists(m_dir + "/cancel/b.txt"));
        UserActions::reset();
        DeleteProgress stopped;
        answerer.answer = [&](const QString&) { stopped.cancel = true; };
        QCOMPARE(runDeleter({m_dir + "/cancel/gone.txt", m_dir + "/cancel/b.txt"}, false, &answerer,
                            &stopped),
                 QStringList{m_dir + "/cancel/gone.txt"});
        QCOMPARE(answerer.asked.size(), 2);
        QVERIFY(QFileInfo::exists(m_dir + "/cancel/b.txt"));
    }

    void clientDeleterAsAdministratorForAll()
    {
        testenv::writeFile(m_dir + "/admin/locked/a.txt", "a");
        testenv::writeFile(m_dir + "/admin/b.txt", "b");
        testenv::ImmutableGuard lock(m_dir + "/admin/locked");
        if (!lock.isSet())
            QSKIP("this file system has no immutable attribute");

        Answerer answerer;
        answerer.answer = [&](const QString&) {
            if (answerer.asked.size() == 1) {
                UserActions::select(UA_AS_ADMIN, true);
                return;
            }
            // The elevated attempt failed too (the server cannot either): asked
            // again instead of retrying without end.
            QVERIFY(CSettings::isElevated());
            lock.release();
            UserActions::select(UA_RETRY, false);
        };
        DeleteProgress progress;
        const QStringList failed = runDeleter(
            {m_dir + "/admin/locked/a.txt", m_dir + "/admin/b.txt"}, false, &answerer, &progress);
        QCOMPARE(failed, QStringList());
        QCOMPARE(answerer.asked.size(), 2);
        QVERIFY(!QFileInfo::exists(m_dir + "/admin/locked/a.txt"));
        QVERIFY(!QFileInfo::exists(m_dir + "/admin/b.txt"));
        QCOMPARE(m_server->commands().count(5), 3);
        QVERIFY(CSettings::isElevated());
    }

    void clientStreamsBeyondFourGiB()
    {
        const QString path = m_dir + "/sparse.bin";
        const qint64 size = qint64(6) << 30;
        QVERIFY(testenv::makeSparse(path, size));
        // The full 64-bit offset reaches the server, not its low 32 bits.
        const qint64 offset = (qint64(4) << 30) + 12345;
        const QByteArray data = "beyond the first four gibibytes";
        QCOMPARE(ElevatedAccess::write(path, data.constData(), offset, data.size()),
                 int64_t(data.size()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(offset));
        QCOMPARE(file.read(data.size()), data);

        QCOMPARE(ElevatedAccess::size(path), int64_t(size));
        QByteArray back(data.size(), '\0');
        int64_t remaining = 0;
        QCOMPARE(ElevatedAccess::read(path, back.data(), offset, back.size(), &remaining),
                 int64_t(data.size()));
        QCOMPARE(back, data);
        QCOMPARE(remaining, int64_t(size - offset - data.size()));
    }

    void clientWithoutServerFails()
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
        CSettings::setElevated(true);
        QVERIFY(!renameFileGeneric(p + "/file.txt", p + "/b.txt"));
        QVERIFY(!deleteFileGeneric(p + "/file.txt", false));
        QVERIFY(!createFileGeneric(p + "/c.txt"));
        QVERIFY(!createFolderGeneric(p + "/d"));
        QCOMPARE(testenv::listTree(p), QStringList{"file.txt"});
        QCOMPARE(testenv::readFile(p + "/file.txt"), QByteArray("content"));
        QCOMPARE(m_server->commands(), QList<int>());
    }

    void clientDyingServerFails_data()
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
        QTest::newRow("read, more than asked")
            << 14 << QByteArray("0\n500\n") + QByteArray(500, 'r');
        QTest::newRow("write, nothing") << 15 << QByteArray();
        QTest::newRow("nested, short list") << 11 << QByteArray("50\nxx");
        QTest::newRow("copy status, two of three") << 8 << QByteArray("0\n5\n");
    }

    void clientDyingServerFails()
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
        QCOMPARE(client.size(p + "/file.txt"), qint64(-1));
        QCOMPARE(m_server->commands(), QList<int>{command});
        QCOMPARE(FileClient().size(p + "/file.txt"), qint64(7));
    }

    void clientSeamGoesThroughServer()
    {
        const QString p = m_dir + QString::fromUtf8("/Ωmega файлы");
        QVERIFY(ElevatedAccess::createFolder(p + "/sub"));
        QVERIFY(ElevatedAccess::createFile(p + "/sub/f.txt"));
        QVERIFY(ElevatedAccess::canFileBeOpened(p + "/sub/f.txt", true));
        QVERIFY(ElevatedAccess::canFileBeOpened(p + "/new/out.bin", false));
        bool ok = false;
        QStringList nested
            = ElevatedAccess::getNestedFiles(p, QDir::AllEntries | QDir::NoDotAndDotDot, &ok);
        QVERIFY(ok);
        nested.sort();
        QCOMPARE(nested, (QStringList{p, p + "/new", p + "/sub", p + "/sub/f.txt"}));
        FileClient client;
        for (int command : {5, 9, 14, 15, 16, 18})
            QVERIFY2(fails(client, command, p + "/nothing"), qPrintable(QString::number(command)));
        QVERIFY(client.isConnected());
    }

    void clientServerMustRunAsRoot_data()
    {
        QTest::addColumn<uint>("uid");
        QTest::addColumn<bool>("served");
        // nobody: any local user could have taken the port first.
        QTest::newRow("ordinary user") << 65534u << false;
        QTest::newRow("root") << 0u << true;
    }

    void clientServerMustRunAsRoot()
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
            QCOMPARE(elevatedServerFailureText(), FileClient::refusal());
        }
    }

private:
    std::unique_ptr<testenv::FileServerStandIn> m_server;
    std::unique_ptr<testenv::ServerPort> m_port;
    QString m_dir;
};

QUENVAR_TEST_MAIN(TestFileAccess)
#include "tst_fileaccess.moc"
