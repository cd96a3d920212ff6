// Deleting and the trash, the open test, renames, and the deleter with its
// access-denied question.
#include "common/FileServerStandIn.h"
#include "common/testenv.h"

#include "app/settings.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "ui/DeleteProgressDialog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <functional>
#include <sys/stat.h>

namespace {

QString trashRoot()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
}

QString infoText(const QString& name)
{
    return QString::fromUtf8(testenv::readFile(trashRoot() + "/info/" + name + ".trashinfo"));
}

// Answers the deleter's question on the GUI thread, as the dialog would.
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

// Runs a deleter on its own thread until it reports finished.
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

} // namespace

class TestTrash : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    // Runs first: the trash is looked up until it is found, then kept.
    void incompleteTrashIsRefused();
    void compoundExtensionAndHiddenNames();
    void infoFileContent();
    void folderGoesWhole();
    void otherFileSystemFailsAndStays();
    void missingItemFails();
    void deletingNeverFollowsLinks();
    void canFileBeOpenedLeavesNoTrace();
    void renameReplacesByOneRename();
    void deleterRetryAfterFix();
    void deleterCancelStops();
    void deleterAsAdministratorForAll();

private:
    QString m_dir;
};

void TestTrash::initTestCase()
{
    m_dir = testenv::makeDir("trash");
    QVERIFY(!qEnvironmentVariableIsEmpty("XDG_DATA_HOME"));
}

void TestTrash::init()
{
    UserActions::reset();
}

void TestTrash::cleanup()
{
    UserActions::reset();
}

void TestTrash::incompleteTrashIsRefused()
{
    QVERIFY(!QFileInfo::exists(testenv::home() + "/.local/share/Trash"));
    const QString file = m_dir + "/keep.txt";
    testenv::writeFile(file, "keep");
    QVERIFY(!MoveFileToTrash(file));
    QVERIFY(!deleteFile(file, true));
    QDir().mkpath(trashRoot() + "/files");
    QVERIFY(!MoveFileToTrash(file));
    QCOMPARE(testenv::listTree(trashRoot()), QStringList{"files/"});
    // Once complete, the trash is found on the next call.
    QDir().mkpath(trashRoot() + "/info");
    QVERIFY(MoveFileToTrash(file));
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(testenv::readFile(trashRoot() + "/files/keep.txt"), QByteArray("keep"));
}

void TestTrash::compoundExtensionAndHiddenNames()
{
    for (int i = 0; i < 3; ++i) {
        testenv::writeFile(m_dir + "/report.tar.gz", "r");
        QVERIFY(MoveFileToTrash(m_dir + "/report.tar.gz"));
        testenv::writeFile(m_dir + "/.hidden", "h");
        QVERIFY(MoveFileToTrash(m_dir + "/.hidden"));
    }
    const QStringList names{"report.tar.gz", "report.2.tar.gz", "report.3.tar.gz",
                            ".hidden",       ".2.hidden",       ".3.hidden"};
    for (const QString& name : names) {
        QVERIFY2(QFileInfo::exists(trashRoot() + "/files/" + name), qPrintable(name));
        QVERIFY2(QFileInfo::exists(trashRoot() + "/info/" + name + ".trashinfo"), qPrintable(name));
    }
    // A name taken only in the info folder is skipped as well.
    testenv::writeFile(trashRoot() + "/info/lonely.trashinfo", "[Trash Info]\n");
    testenv::writeFile(m_dir + "/lonely", "l");
    QVERIFY(MoveFileToTrash(m_dir + "/lonely"));
    QVERIFY(QFileInfo::exists(trashRoot() + "/files/lonely.2"));
}

void TestTrash::infoFileContent()
{
    const QString folder = m_dir + "/with space/ünïcode";
    const QString file = folder + "/100%.txt";
    testenv::writeFile(file, "x");
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(MoveFileToTrash(file));
    const QDateTime after = QDateTime::currentDateTime();
    const QStringList lines = infoText("100%.txt").split('\n');
    // Percent-encoded, so that other desktop tools can restore it; local time
    // to the millisecond, the Z written as it is.
    const QString path = m_dir + "/with%20space/%C3%BCn%C3%AFcode/100%25.txt";
    QCOMPARE(lines.mid(0, 2), (QStringList{"[Trash Info]", "Path=" + path}));
    const QDateTime stamp
        = QDateTime::fromString(lines.value(2), "'DeletionDate='yyyy-MM-ddThh:mm:ss.zzz'Z'");
    QVERIFY2(stamp >= before.addMSecs(-1) && stamp <= after.addMSecs(1), qPrintable(lines[2]));
    QCOMPARE(lines.size(), 4);
}

void TestTrash::folderGoesWhole()
{
    testenv::makeTree(m_dir + "/project", {{"src/main.c", "int main;"}, {".git/HEAD", "ref"}});
    QVERIFY(deleteFile(m_dir + "/project", true));
    QVERIFY(!QFileInfo::exists(m_dir + "/project"));
    QCOMPARE(testenv::listTree(trashRoot() + "/files/project"),
             (QStringList{".git/", ".git/HEAD", "src/", "src/main.c"}));
}

void TestTrash::otherFileSystemFailsAndStays()
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

void TestTrash::missingItemFails()
{
    const QStringList before = testenv::listTree(trashRoot());
    QVERIFY(!MoveFileToTrash(m_dir + "/never-was.txt"));
    QVERIFY(!deleteFile(m_dir + "/never-was.txt", false));
    QCOMPARE(testenv::listTree(trashRoot()), before);
    // A dangling link is an item of its own and can be trashed.
    QVERIFY(QFile::link(m_dir + "/nowhere", m_dir + "/dangling"));
    QVERIFY(MoveFileToTrash(m_dir + "/dangling"));
    QVERIFY(QFileInfo(trashRoot() + "/files/dangling").isSymLink());
}

void TestTrash::deletingNeverFollowsLinks()
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

void TestTrash::canFileBeOpenedLeavesNoTrace()
{
    // Folders on the way are made; the file itself is neither made nor
    // touched.
    const QString path = m_dir + "/new/deep/folder/out.bin";
    QVERIFY(canFileBeOpened(path, false));
    QVERIFY(QFileInfo(m_dir + "/new/deep/folder").isDir());
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!canFileBeOpened(m_dir + "/new/absent.bin", true));
    const QString users = m_dir + "/users-file.doc";
    testenv::writeFile(users, "the user's work");
    QVERIFY(canFileBeOpened(users, true));
    QVERIFY(canFileBeOpened(users, false));
    QCOMPARE(testenv::readFile(users), QByteArray("the user's work"));
    // A file that may not be written answers false and stays.
    testenv::ImmutableGuard lock(users);
    if (!lock.isSet())
        QSKIP("this file system has no immutable attribute");
    QVERIFY(!canFileBeOpened(users, false));
    QVERIFY(canFileBeOpened(users, true));
    lock.release();
    QCOMPARE(testenv::readFile(users), QByteArray("the user's work"));
}

void TestTrash::renameReplacesByOneRename()
{
    testenv::writeFile(m_dir + "/from.txt", "new");
    testenv::writeFile(m_dir + "/to.txt", "old");
    const ino_t moved = testenv::inode(m_dir + "/from.txt");
    QVERIFY(renameFileGeneric(m_dir + "/from.txt", m_dir + "/to.txt"));
    QVERIFY(!QFileInfo::exists(m_dir + "/from.txt"));
    QCOMPARE(testenv::readFile(m_dir + "/to.txt"), QByteArray("new"));
    // The very file was renamed over the target, not copied.
    QCOMPARE(testenv::inode(m_dir + "/to.txt"), moved);
    // A folder in the way is not replaced.
    QDir().mkpath(m_dir + "/afolder");
    QVERIFY(!renameFileGeneric(m_dir + "/to.txt", m_dir + "/afolder"));
    QVERIFY(QFileInfo::exists(m_dir + "/to.txt"));

    const QString other = testenv::makeDirOnOtherFileSystem("renameAcross");
    if (!other.isEmpty()) {
        testenv::writeFile(m_dir + "/traveller.txt", "travels");
        testenv::writeFile(other + "/traveller.txt", "was here");
        QVERIFY(renameFileGeneric(m_dir + "/traveller.txt", other + "/traveller.txt"));
        QCOMPARE(testenv::readFile(other + "/traveller.txt"), QByteArray("travels"));
        QVERIFY(!QFileInfo::exists(m_dir + "/traveller.txt"));
        QCOMPARE(testenv::listTree(other), QStringList{"traveller.txt"});
    }
    // A source that cannot leave its immutable folder leaves the target.
    testenv::writeFile(m_dir + "/locked/source.txt", "source");
    testenv::ImmutableGuard lock(m_dir + "/locked");
    if (!lock.isSet())
        QSKIP("this file system has no immutable attribute");
    QVERIFY(!renameFileGeneric(m_dir + "/locked/source.txt", m_dir + "/to.txt"));
    QCOMPARE(testenv::readFile(m_dir + "/to.txt"), QByteArray("new"));
    QCOMPARE(testenv::readFile(m_dir + "/locked/source.txt"), QByteArray("source"));
}

void TestTrash::deleterRetryAfterFix()
{
    testenv::writeFile(m_dir + "/jail/inmate.txt", "i");
    testenv::ImmutableGuard lock(m_dir + "/jail");
    if (!lock.isSet())
        QSKIP("this file system has no immutable attribute");
    Answerer answerer;
    answerer.answer = [&](const QString&) {
        if (answerer.asked.size() == 2)
            lock.release(); // the user fixes it and retries
        UserActions::select(UA_RETRY, false);
    };
    DeleteProgress progress;
    QCOMPARE(runDeleter({m_dir + "/jail/inmate.txt"}, false, &answerer, &progress), QStringList());
    QCOMPARE(answerer.asked.size(), 2);
    QCOMPARE(answerer.reasons.first(), QStringLiteral("Operation not permitted"));
    QVERIFY(!QFileInfo::exists(m_dir + "/jail/inmate.txt"));
    QCOMPARE(progress.handled.load(), 1);
}

void TestTrash::deleterCancelStops()
{
    testenv::writeFile(m_dir + "/cancel/b.txt", "b");
    Answerer answerer; // cancels when asked
    DeleteProgress progress;
    const QStringList failed = runDeleter({m_dir + "/cancel/missing.txt", m_dir + "/cancel/b.txt"},
                                          false, &answerer, &progress);
    QCOMPARE(answerer.asked, QStringList{m_dir + "/cancel/missing.txt"});
    QCOMPARE(answerer.reasons, QStringList{"No such file or directory"});
    QCOMPARE(failed, QStringList{m_dir + "/cancel/missing.txt"});
    QVERIFY(QFileInfo::exists(m_dir + "/cancel/b.txt"));
    QCOMPARE(progress.handled.load(), 0);
    // Cancel chosen earlier: the next deleter does nothing at all.
    DeleteProgress again;
    QCOMPARE(runDeleter({m_dir + "/cancel/b.txt"}, false, &answerer, &again), QStringList());
    QVERIFY(QFileInfo::exists(m_dir + "/cancel/b.txt"));
    // The dialog's stop flag, set while the first path is being asked about.
    UserActions::reset();
    DeleteProgress stopped;
    answerer.answer = [&](const QString&) { stopped.cancel = true; };
    QCOMPARE(runDeleter({m_dir + "/cancel/gone.txt", m_dir + "/cancel/b.txt"}, false, &answerer,
                        &stopped),
             QStringList{m_dir + "/cancel/gone.txt"});
    QCOMPARE(answerer.asked.size(), 2);
    QVERIFY(QFileInfo::exists(m_dir + "/cancel/b.txt"));
}

void TestTrash::deleterAsAdministratorForAll()
{
    if (!testenv::FileServerStandIn::servesThisProcess())
        QSKIP("the client talks only to a server that runs as root");
    testenv::FileServerStandIn server;
    testenv::ServerPort port(server.port());
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
    const QStringList failed = runDeleter({m_dir + "/admin/locked/a.txt", m_dir + "/admin/b.txt"},
                                          false, &answerer, &progress);
    QCOMPARE(failed, QStringList());
    QCOMPARE(answerer.asked.size(), 2);
    QVERIFY(!QFileInfo::exists(m_dir + "/admin/locked/a.txt"));
    QVERIFY(!QFileInfo::exists(m_dir + "/admin/b.txt"));
    // Elevation stayed on for the rest: both paths went to the server.
    QCOMPARE(server.commands().count(5), 3);
    QVERIFY(CSettings::isElevated());
}

QUENVAR_TEST_MAIN(TestTrash)
#include "tst_trash.moc"
