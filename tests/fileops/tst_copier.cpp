// The copy engine on real files and its worker thread (folders, links, conflicts, moves,
// failures, cancellation, elevation); path, naming and detection rules, the password cache.
#include "common/FileServerStandIn.h"
#include "common/testenv.h"

#include "app/settings.h"
#include "fileops/FileContentsUtils.h"
#include "fileops/FileNameCodec.h"
#include "fileops/PasswordCache.h"
#include "fileops/UserActions.h"
#include "fileops/qtfilecopier.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

using Error = QtFileCopier::Error;

// Drives one copier and writes down everything it reports. Stopped errors
// go to `answer`, as they would go to the copy dialog.
class CopyRun
{
public:
    QtFileCopier copier;
    QList<QPair<int, qint64>> progress;
    QList<QPair<int, Error>> stops;
    QList<QPair<int, Error>> ends;
    QStringList reasons;
    QMap<int, bool> finished;
    int doneCount = 0;
    bool doneError = false;
    std::function<void(int, Error)> answer;
    std::function<void(int, qint64)> onProgress;

    CopyRun()
    {
        QObject::connect(&copier, &QtFileCopier::finished,
                         [this](int id, bool error) { finished[id] = error; });
        QObject::connect(&copier, &QtFileCopier::dataTransferProgress,
                         [this](int id, qint64 bytes) {
                             progress << qMakePair(id, bytes);
                             if (onProgress)
                                 onProgress(id, bytes);
                         });
        QObject::connect(&copier, &QtFileCopier::error,
                         [this](int id, Error error, bool stopped, const QString& why) {
                             reasons << why;
                             if (!stopped) {
                                 ends << qMakePair(id, error);
                                 return;
                             }
                             stops << qMakePair(id, error);
                             QCOMPARE(copier.state(), QtFileCopier::WaitingForInteraction);
                             if (answer)
                                 answer(id, error);
                             else
                                 copier.cancelAll(); // unexpected question: end instead of hanging
                         });
        QObject::connect(&copier, &QtFileCopier::done, [this](bool error) {
            ++doneCount;
            doneError = error;
        });
    }

    bool waitDone(int count = 1, int timeoutMs = 120000)
    {
        QElapsedTimer clock;
        clock.start();
        while (doneCount < count && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // Signals queued right after done still arrive.
        QCoreApplication::processEvents();
        return doneCount >= count;
    }
};

} // namespace

class TestCopier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_dir = testenv::makeDir("copier");
    }

    void copiesFolders()
    {
        const QString base = testenv::makeDir("folders");
        const QString src = base + "/photos";
        testenv::makeTree(src,
                          {{"a.jpg", "aaa"}, {"2020/deep/c.jpg", "c"}, {".config/.secret", "s"},
                           {".profile", "p"}},
                          {"empty", ".emptyhidden"});
        // Links stay links, with their target text unchanged.
        QVERIFY(QFile::link("a.jpg", src + "/link-to-a"));
        QVERIFY(QFile::link("nowhere", src + "/dangling"));
        QVERIFY(QFile::link("2020", src + "/link-to-sub"));
        QDir().mkpath(base + "/target/other");
        CopyRun run;
        QVERIFY(!run.copier.copyDirectory(src, base + "/target").isEmpty());
        QVERIFY(run.waitDone());
        QVERIFY(!run.doneError);
        QCOMPARE(testenv::compareTrees(src, base + "/target/photos"), QString());
        QCOMPARE(testenv::linkTarget(base + "/target/photos/dangling"), QByteArray("nowhere"));
        QVERIFY(QFileInfo(base + "/target/other").isDir());
    }

    void overwriteReplacesOnlyTheName_data()
    {
        // A file, a link to a file elsewhere or to the source, or the source itself.
        QTest::addColumn<QString>("existing");
        QTest::newRow("file") << "file";
        QTest::newRow("link to a file elsewhere") << "link";
        QTest::newRow("link to the source") << "link to the source";
        QTest::newRow("the source itself") << "source";
    }

    void overwriteReplacesOnlyTheName()
    {
        QFETCH(QString, existing);
        const QString base = testenv::makeDir("overwrite");
        const QString source = base + "/src/doc.txt";
        testenv::writeFile(source, "new text");
        QVERIFY(
            QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        testenv::writeFile(base + "/elsewhere.txt", "must stay");
        QString destination = base + "/dst/doc.txt";
        QDir().mkpath(base + "/dst");
        if (existing == "file")
            testenv::writeFile(destination, "old and longer");
        else if (existing == "source")
            destination = source;
        else
            QVERIFY(
                QFile::link(existing == "link" ? base + "/elsewhere.txt" : source, destination));

        CopyRun run;
        run.answer = [&](int, Error) { run.copier.overwrite(); };
        const int id = run.copier.copy(source, QFileInfo(destination).path());
        QVERIFY(id >= 0);
        QVERIFY(run.waitDone());
        QCOMPARE(run.stops.size(), 1);
        if (existing != "source") {
            QCOMPARE(run.stops.value(0).second, QtFileCopier::DestinationExists);
            QCOMPARE(run.finished.value(id), false);
        }
        // A plain file with the source's contents and mode; what a link led to stays.
        QVERIFY(!QFileInfo(destination).isSymLink());
        QCOMPARE(testenv::readFile(destination), QByteArray("new text"));
        QVERIFY(QFileInfo(destination).permissions() & QFile::ExeOwner);
        QCOMPARE(testenv::listTree(QFileInfo(destination).path()), QStringList{"doc.txt"});
        QCOMPARE(testenv::readFile(base + "/elsewhere.txt"), QByteArray("must stay"));
        QCOMPARE(testenv::readFile(source), QByteArray("new text"));
    }

    void filesWithoutSizeAreRead()
    {
        // Files of /proc report no size but have content.
        const QByteArray expected = testenv::readFile("/proc/version");
        if (expected.isEmpty())
            QSKIP("no /proc/version here");
        const QString base = testenv::makeDir("noSize");
        CopyRun run;
        QVERIFY(run.copier.copy("/proc/version", base) >= 0);
        QVERIFY(run.waitDone());
        QCOMPARE(testenv::readFile(base + "/version"), expected);
    }

    void skipAllSuppressesUntilQueueRunsEmpty()
    {
        const QString base = testenv::makeDir("skipAll");
        QDir().mkpath(base + "/dst");
        QStringList sources;
        for (int i = 0; i < 4; ++i) {
            const QString name = QStringLiteral("f%1.txt").arg(i);
            testenv::writeFile(base + "/src/" + name, "new");
            testenv::writeFile(base + "/dst/" + name, "old");
            sources << base + "/src/" + name;
        }
        testenv::writeFile(base + "/src/fine.txt", "fine");
        sources << base + "/src/fine.txt";

        CopyRun run;
        run.answer = [&](int, Error) { run.copier.skipAll(); };
        const QList<int> ids = run.copier.copyFiles(sources, base + "/dst");
        QVERIFY(run.waitDone());
        const Error expected = QtFileCopier::DestinationExists;
        QCOMPARE(run.stops, (QList<QPair<int, Error>>{{ids[0], expected}}));
        QCOMPARE(run.ends.size(), 4);
        QCOMPARE(run.ends[0], qMakePair(ids[0], QtFileCopier::Canceled));
        for (int i = 1; i < 4; ++i)
            QCOMPARE(run.ends[i], qMakePair(ids[i], expected));
        QCOMPARE(testenv::readFile(base + "/dst/fine.txt"), QByteArray("fine"));
        QCOMPARE(testenv::readFile(base + "/dst/f3.txt"), QByteArray("old"));

        // The queue ran empty: the same error is asked about again.
        QVERIFY(run.copier.copy(sources[1], base + "/dst") >= 0);
        QVERIFY(run.waitDone(2));
        QCOMPARE(run.stops.size(), 2);
    }

    void failureEndsWithTheSystemsReason_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("message");
        // The destination cannot grow past 1 MiB, as on a full disk.
        QTest::newRow("full disk") << "copy.bin" << int(QtFileCopier::CannotWriteDestinationFile)
                                   << "Cannot write destination file: File too large.";
        QTest::newRow("folder is a file")
            << "blocker/copy.bin" << int(QtFileCopier::CannotOpenDestinationFile)
            << "Cannot open destination file: Not a directory.";
    }

    void failureEndsWithTheSystemsReason()
    {
        QFETCH(QString, destination);
        QFETCH(int, error);
        QFETCH(QString, message);
        const QString base = testenv::makeDir("failure");
        testenv::writeFile(base + "/big.bin", testenv::randomBytes(2 << 20));
        testenv::writeFile(base + "/blocker", "a file, not a folder");
        CopyRun run;
        {
            testenv::FileSizeLimit limit(1 << 20);
            QVERIFY(run.copier.copy(base + "/big.bin", base + "/" + destination,
                                    QtFileCopier::NonInteractive)
                    >= 0);
            QVERIFY(run.waitDone());
        }
        QVERIFY(run.stops.isEmpty());
        QVERIFY(run.doneError);
        QCOMPARE(run.ends.size(), 1);
        QCOMPARE(int(run.ends.first().second), error);
        QCOMPARE(QtFileCopier::errorMessage(run.ends.first().second, run.reasons.first()), message);
        QCOMPARE(testenv::listTree(base), (QStringList{"big.bin", "blocker"}));
    }

    void movedFolderKeepsSkippedChildren()
    {
        const QString base = testenv::makeDir("moveMerge");
        testenv::makeTree(base + "/src/music", {{"a.mp3", "a-new"}, {"b.mp3", "b-new"}});
        testenv::makeTree(base + "/dst/music", {{"a.mp3", "a-old"}});

        CopyRun run;
        run.answer = [&](int, Error error) {
            QCOMPARE(error, QtFileCopier::DestinationExists);
            run.copier.skip();
        };
        QVERIFY(!run.copier.moveDirectory(base + "/src/music", base + "/dst").isEmpty());
        QVERIFY(run.waitDone());
        QCOMPARE(run.stops.size(), 1);
        QCOMPARE(testenv::readFile(base + "/dst/music/a.mp3"), QByteArray("a-old"));
        QCOMPARE(testenv::readFile(base + "/dst/music/b.mp3"), QByteArray("b-new"));
        QCOMPARE(testenv::readFile(base + "/src/music/a.mp3"), QByteArray("a-new"));
        QVERIFY(!QFileInfo::exists(base + "/src/music/b.mp3"));
    }

    void retryAfterFailedDeleteOnlyDeletes()
    {
        const QString other = testenv::makeDirOnOtherFileSystem("retryDelete");
        if (other.isEmpty())
            QSKIP("no second file system here");
        const QString base = testenv::makeDir("retryDelete");
        testenv::writeFile(base + "/locked/doc.txt", "document");
        // Not even root removes an entry from an immutable folder.
        testenv::ImmutableGuard lock(base + "/locked");
        if (!lock.isSet())
            QSKIP("this file system has no immutable attribute");

        CopyRun run;
        int questions = 0;
        run.answer = [&](int, Error error) {
            ++questions;
            QCOMPARE(error, QtFileCopier::CannotRemoveSource);
            QCOMPARE(run.reasons.last(), QStringLiteral("Operation not permitted"));
            QCOMPARE(testenv::readFile(other + "/doc.txt"), QByteArray("document"));
            if (questions == 1) {
                run.copier.retry();
                return;
            }
            // A mark in the copy shows whether the retry copies again.
            testenv::writeFile(other + "/doc.txt", "marked");
            lock.release();
            run.copier.retry();
        };
        const int id = run.copier.move(base + "/locked/doc.txt", other);
        QVERIFY(run.waitDone());
        QCOMPARE(questions, 2);
        QCOMPARE(run.finished.value(id), false);
        QVERIFY(!QFileInfo::exists(base + "/locked/doc.txt"));
        QCOMPARE(testenv::readFile(other + "/doc.txt"), QByteArray("marked"));
    }

    void cancelDuringALargeFile()
    {
        // The user chose to replace the file, not to lose it half way.
        const QString base = testenv::makeDir("cancel");
        const qint64 size = qint64(1) << 30;
        QVERIFY(testenv::makeSparse(base + "/huge.bin", size));
        QDir().mkpath(base + "/dst");
        testenv::writeFile(base + "/after.txt", "after");
        const QByteArray old = "the only copy of the old data";
        QVERIFY(testenv::writeFile(base + "/dst/huge.bin", old));

        CopyRun run;
        run.copier.setProgressInterval(10);
        run.answer = [&](int, Error error) {
            QCOMPARE(error, QtFileCopier::DestinationExists);
            run.copier.overwrite();
        };
        bool cancelled = false;
        run.onProgress = [&](int, qint64 bytes) {
            if (bytes > 0 && bytes < size && !cancelled) {
                QVERIFY(QFileInfo::exists(base + "/dst/huge.bin"));
                cancelled = true;
                run.copier.cancelAll();
            }
        };
        const QList<int> ids =
            run.copier.copyFiles({base + "/huge.bin", base + "/after.txt"}, base + "/dst");
        QCOMPARE(ids.size(), 2);
        QVERIFY(run.waitDone());
        QVERIFY(cancelled);
        QCOMPARE(run.finished.value(ids[0]), true);
        QCOMPARE(run.ends.value(0), qMakePair(ids[0], QtFileCopier::Canceled));
        // No partial file, the old one whole, and the rest of the queue dropped.
        QCOMPARE(testenv::listTree(base + "/dst"), QStringList{"huge.bin"});
        QCOMPARE(testenv::readFile(base + "/dst/huge.bin"), old);
        QVERIFY(!run.finished.contains(ids[1]));
    }

    void elevatedWorkGoesThroughTheServer()
    {
        if (!testenv::FileServerStandIn::servesThisProcess())
            QSKIP("the client talks only to a server that runs as root");
        testenv::FileServerStandIn server;
        QVERIFY(server.isListening());
        testenv::ServerPort elevated(server.port(), true);
        const QString base = testenv::makeDir("elevatedCopy");
        const QByteArray content(2 << 20, 'e');
        testenv::writeFile(base + "/src/big.bin", content);
        testenv::writeFile(base + "/blocker", "a file in the way");
        QDir().mkpath(base + "/dst");

        CopyRun run;
        QVERIFY(run.copier.copy(base + "/src/big.bin", base + "/dst") >= 0);
        QVERIFY(run.waitDone());
        QVERIFY(!run.doneError);
        QCOMPARE(testenv::readFile(base + "/dst/big.bin"), content);
        const QList<int> seen = server.commands();
        QCOMPARE(seen.count(7), 1);
        QVERIFY(seen.count(8) >= 1);

        run.answer = [&](int, Error) { run.copier.skip(); };
        const int blocked = run.copier.copy(base + "/dst/big.bin", base + "/blocker/dst.txt");
        QVERIFY(run.waitDone(2));
        QCOMPARE(run.stops,
                 (QList<QPair<int, Error>>{{blocked, QtFileCopier::CannotOpenDestinationFile}}));
    }

    void renameNumbering()
    {
        QVERIFY(QFile::link(m_dir + "/nowhere", m_dir + "/a_1.txt"));
        testenv::writeFile(m_dir + "/a.txt", "a");
        QCOMPARE(getRenameFileName(m_dir + "/a.txt", "_%1", true), m_dir + "/a_2.txt");
        testenv::writeFile(m_dir + "/r.tar.gz", "x");
        QCOMPARE(getRenameFileName(m_dir + "/r.tar.gz", "_%1", true), m_dir + "/r.tar_1.gz");
    }

    void extractionFolders()
    {
        const QString archive = m_dir + "/photos.tar.gz";
        testenv::writeFile(archive, "x");
        QDir().mkpath(m_dir + "/photos");
        QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos");
        CSettings::setBoolValue("AppendNumberToDirectory", true);
        QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos_1");
        QDir().mkpath(m_dir + "/photos_1");
        QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos_2");
        CSettings::setBoolValue("AppendNumberToDirectory", false);
        // A name without an extension would be the archive itself.
        testenv::writeFile(m_dir + "/bare", "PK");
        QCOMPARE(directoryToExtractAccordingToArchive(m_dir + "/bare", true), m_dir + "/bare_1");
    }

    void detection_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // the file's; "link", "folder", "missing"
        QTest::addColumn<int>("format");       // -1: no archive
        QTest::newRow("own format reads as zip")
            << "own.qv" << QByteArray::fromHex("504BD3AA0000") << int(ZF_ZIP);
        QTest::newRow("no signature, own name")
            << "plain.qv" << QByteArray("not really") << int(ZF_QV);
        QTest::newRow("empty, upper-case name") << "empty.7Z" << QByteArray("") << int(ZF_7Z);
        QTest::newRow("text") << "notes.txt" << QByteArray("text") << -1;
        QTest::newRow("shorter than a signature")
            << "short.bin" << QByteArray::fromHex("377A") << -1;
        QTest::newRow("rar 5") << "rar5.bin" << QByteArray::fromHex("526172211A070100")
                               << int(ZF_RAR5);
        QTest::newRow("rar 4") << "rar4.bin" << QByteArray::fromHex("526172211A0700CF")
                               << int(ZF_RAR);
        // Known extensions, but nothing that opens for reading.
        QTest::newRow("dangling link") << "dangling.zip" << QByteArray("link") << -1;
        QTest::newRow("folder") << "folder.7z" << QByteArray("folder") << -1;
    }

    void detection()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, format);
        ZipFormatInfo info;
        const QString path = m_dir + "/" + name;
        if (bytes == "link") {
            QVERIFY(QFile::link(m_dir + "/nothing-here", path));
        } else if (bytes == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else {
            QVERIFY(testenv::writeFile(path, bytes));
        }
        QCOMPARE(isArchive(path, &info), format >= 0);
        if (format >= 0)
            QCOMPARE(int(info.format), format);
    }

    void passwordCache()
    {
        const QString archive = m_dir + "/secret.7z";
        testenv::writeFile(archive, "7z");
        QVERIFY(getPasswordFromCache(archive).isEmpty());
        setPasswordInTheCache(archive, "pa55");
        QCOMPARE(getPasswordFromCache(archive), QStringLiteral("pa55"));

        QVERIFY(QFile::link(archive, m_dir + "/link.7z"));
        QVERIFY(getPasswordFromCache(m_dir + "/link.7z").isEmpty());
        QVERIFY(getPasswordFromCache(m_dir + "/./secret.7z").isEmpty());

        QThread::msleep(20);
        QVERIFY(QFile::remove(archive));
        testenv::writeFile(archive, "7z again");
        QVERIFY(getPasswordFromCache(archive).isEmpty());
    }

    void nameBytesSurviveTheCodec_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("readable");
        QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9 \xf0\x9f\x93\xa6")
                               << QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x93\xa6");
        QTest::newRow("Latin-1") << QByteArray("umlauts-\xc4\xd6\xdc")
                                 << QString::fromUtf8(
                                        "umlauts-\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
        QTest::newRow("cut sequence at the end")
            << QByteArray("a\xe2\x82") << QString::fromUtf8("a\xef\xbf\xbd\xef\xbf\xbd");
        QTest::newRow("overlong slash")
            << QByteArray("\xc0\xaf") << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd");
        QTest::newRow("surrogate half")
            << QByteArray("\xed\xa0\x80")
            << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
        // The characters that stand for bytes, written as UTF-8, are bytes too.
        QTest::newRow("U+EF80 as UTF-8")
            << QByteArray("\xee\xbe\x80")
            << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    }

    void nameBytesSurviveTheCodec()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, readable);
        const QString name = QFile::decodeName(bytes);
        QCOMPARE(QFile::encodeName(name), bytes);
        QCOMPARE(readableFileName(name), readable);
        const QString path = m_dir + "/" + name;
        QVERIFY(testenv::writeFile(path, bytes));
        QVERIFY(QDir(m_dir).entryList(QDir::Files).contains(name));
        const int fd
            = ::open(QFile::encodeName(m_dir).append('/').append(bytes).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        ::close(fd);
        QVERIFY(QFile::remove(path));
    }

private:
    QString m_dir;
};

QUENVAR_TEST_MAIN(TestCopier)
#include "tst_copier.moc"
