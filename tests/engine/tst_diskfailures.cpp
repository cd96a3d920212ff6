// Failures of the disk and of the process, injected by strace into the real program.
#include "archivetestsupport.h"

#include "engine/ArchiveLock.h"
#include "engine/zipapi.h"
#include "fileops/qtfilecopier.h"

#include <QProcess>
#include <QRegularExpression>


using namespace archivetest;

namespace {

const QString kTracedCalls = "rename,renameat,renameat2,unlink,unlinkat,fsync,fdatasync";

// Packs file into archive, or extracts archive into file when format is empty.
QStringList xmlRequest(const QString& path, const QString& format, const QString& archive,
                       const QString& file)
{
    const QString compress = "<Main><operation>Compress</operation><format>%1</format>"
                             "<target>%2</target><files><file>%3</file></files></Main>";
    const QString extract = "<Main><target>%1</target><files><file>%2</file></files></Main>";
    const QString text =
        format.isEmpty() ? extract.arg(file, archive) : compress.arg(format, archive, file);
    testenv::writeFile(path, text.toUtf8());
    return {"-c", "xml", path};
}

// Through the program, in the environment of the runs under test: their first-run writes
// happen here, before any call is counted.
bool packed(const QString& format, const QString& archive, const QString& file)
{
    const QStringList arguments =
        xmlRequest(testenv::tempDir() + "/create.xml", format, archive, file);
    return testenv::runProcess(testenv::quenvarBinary(), arguments, 120000, QString(),
                               testenv::headlessEnvironment())
               .exitCode == 0;
}

QMap<QString, QByteArray> snapshot(const QString& folder, const QStringList& but)
{
    QMap<QString, QByteArray> files;
    for (const QString& path : testenv::listTree(folder)) {
        if (!but.contains(path))
            files.insert(path, testenv::readFile(folder + '/' + path));
    }
    return files;
}

// How often each traced call ran, counted per thread as strace counts for its injections: the
// most of any one thread.
QMap<QString, int> callCounts(const QStringList& log)
{
    static const QRegularExpression call("^(\\d+) +(\\w+)\\(");
    QMap<QString, int> perThread;
    QMap<QString, int> most;
    for (const QString& line : log) {
        const QRegularExpressionMatch match = call.match(line);
        if (!match.hasMatch())
            continue;
        const int count = ++perThread[match.captured(1) + ' ' + match.captured(2)];
        most[match.captured(2)] = std::max(most.value(match.captured(2)), count);
    }
    return most;
}

// Empty when a file took target's name by a rename, and every such file had been flushed before
// (the log shows the paths behind descriptors).
QString swapAfterFlush(const QStringList& log, const QString& target)
{
    static const QRegularExpression quoted("\"([^\"]*)\"");
    static const QRegularExpression descriptor("(?:fsync|fdatasync)\\(\\d+<([^>]*)>");
    QSet<QString> flushed;
    bool swapped = false;
    for (const QString& line : log) {
        const QRegularExpressionMatch sync = descriptor.match(line);
        if (sync.hasMatch())
            flushed.insert(sync.captured(1));
        if (!line.contains(" rename"))
            continue;
        QStringList paths;
        for (auto it = quoted.globalMatch(line); it.hasNext();)
            paths << it.next().captured(1);
        if (paths.size() == 2 && paths.at(1) == target) {
            if (!flushed.contains(paths.at(0)))
                return "not flushed before it took the name: " + line;
            swapped = true;
        }
    }
    return swapped ? QString() : "nothing took the name:\n" + log.join('\n');
}

void addFormatRows()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("extension");
    for (const char* format : {"7z", "zip", "tar_gzip", "qv"})
        QTest::newRow(format) << format << QString(format).replace("tar_gzip", "tar.gz");
}

// Empty when the archive passes 7z's test (but ".qv") and the program reads back the tree.
QString readsBackAs(const QString& archive, const QString& tree)
{
    if (!archive.endsWith(".qv") && !passes7zTest(archive))
        return "7z t fails";
    const QString scratch = testenv::tempDir() + "/read-back";
    QDir(scratch).removeRecursively();
    Run reader;
    reader.extract(extractRequest(archive, scratch));
    const QString difference =
        reader.ok() ? testenv::compareTrees(tree, scratch) : "its own reader fails";
    QDir(scratch).removeRecursively();
    return difference;
}

} // namespace

class TestDiskFailures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(InitGetProc(), "the engine library is needed"); }

    void failuresFailTheRun_data()
    {
        QTest::addColumn<QString>("operation"); // "pack", "pack existing" or "extract"
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("size");          // of big.bin: several reads and writes, or one
        QTest::addColumn<QStringList>("calls"); // what strace traces and injects
        QTest::addColumn<QString>("reason");    // %1: big.bin, read or written
        const int big = 3000000;
        // Packing: the second read of big.bin fails, or its opening (after the scan saw it).
        const QStringList secondRead = {"trace=read,pread64",
                                        "inject=read,pread64:error=EIO:when=2"};
        const QStringList cannotOpen = {"trace=openat", "inject=openat:error=EACCES"};
        // Extracting: a full disk, or every close failing as a network file system reports data
        // it could not store.
        const QStringList fullDisk = {"trace=write,pwrite64",
                                      "inject=write,pwrite64:error=ENOSPC:when=2"};
        const QStringList closeFails = {"trace=close", "inject=close:error=EIO"};
        const QString readError = "Cannot read file %1: Input/output error";
        const QString writeError = "Cannot write file %1: Input/output error";
        for (const char* format : {"7z", "zip", "tar_gzip", "qv"}) {
            for (const char* operation : {"pack", "pack existing"})
                QTest::addRow("%s, %s", operation, format)
                    << operation << format << big << secondRead << readError;
            QTest::addRow("full disk, %s", format)
                << "extract" << format << big << fullDisk
                << "Cannot write file %1: No space left on device";
            QTest::addRow("failed close, %s", format)
                << "extract" << format << big << closeFails << writeError;
        }
        // Large files are closed in the background, small ones at once.
        QTest::newRow("failed close, 7z, small")
            << "extract" << "7z" << 1000 << closeFails << writeError;
        const QString openError = "Cannot open file %1: Permission denied";
        QTest::newRow("pack existing, 7z, open")
            << "pack existing" << "7z" << big << cannotOpen << openError;
        QTest::newRow("pack, zip, open") << "pack" << "zip" << big << cannotOpen << openError;
    }

    void failuresFailTheRun()
    {
        QFETCH(QString, operation);
        QFETCH(QString, format);
        QFETCH(int, size);
        QFETCH(QStringList, calls);
        QFETCH(QString, reason);
        const QString folder = testenv::makeDir("io");
        const QString source = folder + "/src";
        testenv::makeTree(source, {{"big.bin", randomBytes(size)}, {"small.txt", "small\n"}});
        const QString archive = folder + "/pack." + QString(format).replace("tar_gzip", "tar.gz");
        const QString xml = folder + "/operation.xml";
        const QString target = folder + "/out";
        const QProcessEnvironment environment = testenv::childEnvironment(false);
        QByteArray before;
        QString file = source + "/big.bin";
        QStringList paths = {"-P", file};
        QStringList arguments = xmlRequest(xml, format, archive, source);
        if (operation == "extract") {
            int made = 0;
            if (format == "qv")
                made = packed(format, archive, file) ? 0 : 1;
            else if (format == "tar_gzip")
                made = testenv::runProcess("tar", {"-czf", archive, "-C", source, "big.bin"})
                           .exitCode;
            else
                made = testenv::run7z({"a", archive, file}).exitCode;
            QCOMPARE(made, 0);
            QVERIFY(QDir().mkpath(target));
            arguments = xmlRequest(xml, QString(), archive, target);
            // The data goes to a hidden name beside the file until it is complete.
            file = target + "/big.bin";
            paths = QStringList{"-P", file, "-P", target + "/.big.bin.qvpart"};
        } else if (operation == "pack existing") {
            QVERIFY(packed(format, archive, source + "/small.txt"));
            before = testenv::readFile(archive);
            QVERIFY(!before.isEmpty());
            arguments = xmlRequest(xml, format, archive, source);
        }

        QByteArray skip;
        const testenv::ProcessResult result = testenv::runUnderStrace(
            QStringList{"-f", "-qq", "-o", "/dev/null"} + paths +
                QStringList{"-e", calls.at(0), "-e", calls.at(1), "--"},
            testenv::quenvarBinary(), arguments, environment, &skip);
        if (!skip.isEmpty())
            QSKIP(skip.trimmed().constData());
        QVERIFY2(result.finished && result.exitCode == 1 &&
                     result.err.contains(reason.arg(file).toUtf8()),
                 qPrintable(QString("exit code %1, expected 1 and \"%2\" in: %3")
                                .arg(result.exitCode)
                                .arg(reason.arg(file), QString::fromUtf8(result.err))));
        QVERIFY2(!result.err.contains("damaged"), result.err.constData());
        if (operation == "extract") {
            // What may not have reached the disk does not pass for the file.
            QCOMPARE(testenv::otherEntries(target), QStringList());
        } else {
            QCOMPARE(testenv::readFile(archive), before);
            QCOMPARE(QFileInfo::exists(archive), !before.isEmpty());
            const QStringList expected = {"src", "operation.xml", QFileInfo(archive).fileName()};
            QCOMPARE(testenv::otherEntries(folder, expected), QStringList());
        }
        QDir(folder).removeRecursively();
    }

    void killedAtAnyStepLeavesOldOrNew_data()
    {
        addFormatRows();
        QTest::newRow("copier overwrite") << QString() << "bin";
    }

    void killedAtAnyStepLeavesOldOrNew()
    {
        QFETCH(QString, format);
        QFETCH(QString, extension);
        const bool copier = format.isEmpty();
        const QString folder = testenv::makeDir("killed-" + extension);
        const QString source = testenv::makeDir("killed-src-" + extension);
        testenv::makeTree(source, {{"old.txt", "old\n"}, {"new.bin", randomBytes(300000, 3)}});
        const QString target = folder + "/target." + extension;
        QProcessEnvironment environment = testenv::headlessEnvironment();
        QString program = testenv::quenvarBinary();
        QStringList arguments;
        if (copier) {
            testenv::writeFile(target, "old\n");
            program = QCoreApplication::applicationFilePath();
            arguments = QStringList{"helperOverwrite"};
            environment.insert("QUENVAR_OVERWRITE_FROM", source + "/new.bin");
            environment.insert("QUENVAR_OVERWRITE_TO", target);
        } else {
            QVERIFY(packed(format, target, source + "/old.txt"));
            const QString update = testenv::tempDir() + "/update.xml";
            arguments = xmlRequest(update, format, target, source + "/new.bin");
        }
        const QByteArray original = testenv::readFile(target);
        const auto isCompleteNew = [&]() -> QString {
            if (!copier)
                return readsBackAs(target, source);
            return testenv::readFile(target) == testenv::readFile(source + "/new.bin")
                ? QString()
                : "neither the old file nor the new one";
        };

        const QString logPath = testenv::tempDir() + "/calls.log";
        QByteArray skipReason;
        const testenv::ProcessResult counted =
            testenv::runUnderStrace({"-f", "-qq", "-y", "-e", "trace=" + kTracedCalls, "-o",
                                     logPath},
                                    program, arguments, environment, &skipReason);
        if (!skipReason.isEmpty())
            QSKIP(skipReason.constData());
        QVERIFY2(counted.exitCode == 0, counted.err.constData());
        QCOMPARE(isCompleteNew(), QString());
        const QStringList log = QString::fromUtf8(testenv::readFile(logPath)).split('\n');
        QCOMPARE(swapAfterFlush(log, target), QString());

        const QMap<QString, int> counts = callCounts(log);
        const QString lockFile = ArchiveLock::lockFilePath(target);
        const QStringList but = {QFileInfo(target).fileName(), QFileInfo(lockFile).fileName()};
        const auto injected = [&](const QString& call, const QString& what) {
            testenv::writeFile(target, original);
            return testenv::runUnderStrace({"-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call,
                                            "-e", QString("inject=%1:%2").arg(call, what)},
                                           program, arguments, environment, &skipReason);
        };
        int oldKept = 0;
        int newComplete = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            for (int number = 1; number <= it.value(); ++number) {
                const QString where = QString("%1 number %2").arg(it.key()).arg(number);
                const testenv::ProcessResult killed =
                    injected(it.key(), QString("signal=KILL:when=%1").arg(number));
                QVERIFY2(killed.exitCode == -1, qPrintable(where + ": not killed"));
                if (testenv::readFile(target) == original) {
                    ++oldKept;
                } else {
                    const QString problem = isCompleteNew();
                    QVERIFY2(problem.isEmpty(), qPrintable(where + ": " + problem));
                    ++newComplete;
                }
                if (!it.key().startsWith("rename"))
                    continue;
                // The same rename failing instead: the run fails, saying so, and leaves the old
                // file with nothing new beside it.
                const QMap<QString, QByteArray> before = snapshot(folder, but);
                const testenv::ProcessResult failed =
                    injected(it.key(), QString("error=EIO:when=%1").arg(number));
                const bool said = copier || failed.err.contains("Cannot rename file");
                QVERIFY2(failed.exitCode == 1 && said,
                         qPrintable(where + " failed: " + QString::fromUtf8(failed.err)));
                QCOMPARE(testenv::readFile(target), original);
                QCOMPARE(snapshot(folder, but), before);
            }
        }
        QVERIFY(oldKept > 0 && newComplete > 0);

        // What the killed runs left is not in the way of a whole run, which removes none of it
        // but the lock file it takes over.
        const QMap<QString, QByteArray> left = snapshot(folder, but);
        QVERIFY(!left.isEmpty());
        QVERIFY(testenv::writeFile(target, original));
        QCOMPARE(testenv::runProcess(program, arguments, 90000, QString(), environment).exitCode,
                 0);
        QCOMPARE(isCompleteNew(), QString());
        QCOMPARE(snapshot(folder, but), left);
        QVERIFY(!QFileInfo::exists(lockFile));
        QDir(folder).removeRecursively();
        QDir(source).removeRecursively();
    }

    // The copier's overwrite, run by killedAtAnyStepLeavesOldOrNew in a child.
    void helperOverwrite()
    {
        const QString from = qEnvironmentVariable("QUENVAR_OVERWRITE_FROM");
        if (from.isEmpty())
            QSKIP("runs as a child of killedAtAnyStepLeavesOldOrNew");
        QtFileCopier copier;
        bool done = false;
        bool failed = true;
        connect(&copier, &QtFileCopier::done, [&](bool error) {
            done = true;
            failed = error;
        });
        QVERIFY(copier.copy(from, qEnvironmentVariable("QUENVAR_OVERWRITE_TO"),
                            QtFileCopier::NonInteractive) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
        QVERIFY(!failed);
    }

    void concurrentUpdatesKeepBoth_data() { addFormatRows(); }

    void concurrentUpdatesKeepBoth()
    {
        // Started together, both read the old archive long before either is done with it,
        // unless one waits for the other.
        QFETCH(QString, format);
        QFETCH(QString, extension);
        const int size = 2 << 20;
        const QString folder = testenv::makeDir("both-" + extension);
        const QString source = testenv::makeDir("both-src-" + extension);
        testenv::makeTree(source, {{"old.txt", "old\n"},
                                   {"a.bin", randomBytes(size, 5)},
                                   {"b.bin", randomBytes(size, 6)}});
        const QString archive = folder + "/target." + extension;
        const QString requests = testenv::tempDir();
        const QProcessEnvironment environment = testenv::headlessEnvironment();
        QVERIFY(packed(format, archive, source + "/old.txt"));
        const QByteArray original = testenv::readFile(archive);
        const QList<QStringList> adds = {
            xmlRequest(requests + "/a.xml", format, archive, source + "/a.bin"),
            xmlRequest(requests + "/b.xml", format, archive, source + "/b.bin")};
        for (int round = 0; round < 3; ++round) {
            QVERIFY(testenv::writeFile(archive, original));
            QProcess updates[2];
            for (int i = 0; i < 2; ++i) {
                updates[i].setProcessEnvironment(environment);
                updates[i].start(testenv::quenvarBinary(), adds.at(i));
            }
            for (QProcess& update : updates) {
                QVERIFY(update.waitForFinished(120000));
                QVERIFY2(update.exitStatus() == QProcess::NormalExit && update.exitCode() == 0,
                         update.readAllStandardError().constData());
            }
            QCOMPARE(readsBackAs(archive, source), QString());
            QCOMPARE(testenv::listTree(folder), QStringList{QFileInfo(archive).fileName()});
        }
        QDir(folder).removeRecursively();
        QDir(source).removeRecursively();
    }
};

QUENVAR_TEST_MAIN(TestDiskFailures)
#include "tst_diskfailures.moc"
