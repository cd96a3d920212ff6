// What replaces a user's file survives being killed at any step: updates of
// an archive through the real program's command line, and an overwrite by
// the copier (in a child of this test), are killed on entry to each rename,
// unlink and flush they make. The name holds the old file or the complete
// new one every time, the new one reached the disk before it took the name,
// and what the killed runs left is neither in the next run's way nor removed
// by it.
#include "archivetestsupport.h"

#include "engine/zipapi.h"
#include "fileops/qtfilecopier.h"

#include <QRegularExpression>

using namespace archivetest;

namespace {

const QString kTracedCalls = QStringLiteral("rename,renameat,renameat2,unlink,unlinkat,fsync,fdatasync");

QString writeCompressRequest(const QString& path, const QString& format, const QString& archive, const QString& file)
{
    testenv::writeFile(path, QStringLiteral("<Main><operation>Compress</operation><format>%1</format>"
                                            "<target>%2</target><files><file>%3</file></files></Main>")
                                 .arg(format, archive, file)
                                 .toUtf8());
    return path;
}

// Everything below folder with its contents, but the paths named.
QMap<QString, QByteArray> snapshot(const QString& folder, const QStringList& but)
{
    QMap<QString, QByteArray> files;
    for (const QString& path : testenv::listTree(folder)) {
        if (!but.contains(path))
            files.insert(path, testenv::readFile(folder + QLatin1Char('/') + path));
    }
    return files;
}

// How often each traced call ran, counted per thread as strace counts for
// its injections: the most of any one thread.
QMap<QString, int> callCounts(const QStringList& log)
{
    static const QRegularExpression call(QStringLiteral("^(\\d+) +(\\w+)\\("));
    QMap<QString, int> perThread;
    QMap<QString, int> most;
    for (const QString& line : log) {
        const QRegularExpressionMatch match = call.match(line);
        if (!match.hasMatch())
            continue;
        const int count = ++perThread[match.captured(1) + QLatin1Char(' ') + match.captured(2)];
        most[match.captured(2)] = std::max(most.value(match.captured(2)), count);
    }
    return most;
}

// Empty when a file took target's name by a rename, and every such file had
// been flushed before (the log shows the paths behind descriptors).
QString swapAfterFlush(const QStringList& log, const QString& target)
{
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    static const QRegularExpression descriptor(QStringLiteral("(?:fsync|fdatasync)\\(\\d+<([^>]*)>"));
    QSet<QString> flushed;
    bool swapped = false;
    for (const QString& line : log) {
        const QRegularExpressionMatch sync = descriptor.match(line);
        if (sync.hasMatch())
            flushed.insert(sync.captured(1));
        if (!line.contains(QLatin1String(" rename")))
            continue;
        QStringList paths;
        for (auto it = quoted.globalMatch(line); it.hasNext();)
            paths << it.next().captured(1);
        if (paths.size() == 2 && paths.at(1) == target) {
            if (!flushed.contains(paths.at(0)))
                return QStringLiteral("not flushed before it took the name: ") + line;
            swapped = true;
        }
    }
    return swapped ? QString() : QStringLiteral("nothing took the name:\n") + log.join(QLatin1Char('\n'));
}

QStringList xmlCommand(const QString& request)
{
    return {QStringLiteral("-c"), QStringLiteral("xml"), request};
}

// Empty when the archive passes 7z's test (but the own format, which 7z
// does not know) and the program's own reader gives back exactly the tree.
QString readsBackAs(const QString& archive, const QString& tree)
{
    if (!archive.endsWith(QLatin1String(".qv")) && !passes7zTest(archive))
        return QStringLiteral("7z t fails");
    const QString scratch = testenv::tempDir() + QStringLiteral("/read-back");
    QDir(scratch).removeRecursively();
    Run reader;
    reader.extract(extractRequest(archive, scratch));
    const QString difference = reader.ok() ? testenv::compareTrees(tree, scratch) : QStringLiteral("its own reader fails");
    QDir(scratch).removeRecursively();
    return difference;
}

} // namespace

class TestUpdateSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedAtAnyStepLeavesOldOrNew_data();
    void killedAtAnyStepLeavesOldOrNew();
    void helperOverwrite();
};

void TestUpdateSafety::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
}

void TestUpdateSafety::killedAtAnyStepLeavesOldOrNew_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("extension");
    QTest::newRow("7z") << "7z" << "7z";
    QTest::newRow("zip") << "zip" << "zip";
    QTest::newRow("tar.gz") << "tar_gzip" << "tar.gz";
    QTest::newRow("qv") << "qv" << "qv";
    QTest::newRow("copier overwrite") << QString() << "bin";
}

void TestUpdateSafety::killedAtAnyStepLeavesOldOrNew()
{
    QFETCH(QString, format);
    QFETCH(QString, extension);
    const bool copier = format.isEmpty();
    const QString folder = testenv::makeDir(QStringLiteral("killed-") + extension);
    const QString source = testenv::makeDir(QStringLiteral("killed-src-") + extension);
    testenv::makeTree(source, {{QStringLiteral("old.txt"), "old\n"}, {QStringLiteral("new.bin"), randomBytes(300000, 3)}});
    const QString target = folder + QStringLiteral("/target.") + extension;
    QProcessEnvironment environment = testenv::headlessEnvironment();
    QString program = testenv::quenvarBinary();
    QStringList arguments;
    if (copier) {
        testenv::writeFile(target, "old\n");
        program = QCoreApplication::applicationFilePath();
        arguments = QStringList{QStringLiteral("helperOverwrite")};
        environment.insert(QStringLiteral("QUENVAR_OVERWRITE_FROM"), source + QStringLiteral("/new.bin"));
        environment.insert(QStringLiteral("QUENVAR_OVERWRITE_TO"), target);
    } else {
        const QString create = writeCompressRequest(testenv::tempDir() + QStringLiteral("/create.xml"), format,
                                                    target, source + QStringLiteral("/old.txt"));
        QCOMPARE(testenv::runProcess(program, xmlCommand(create), 90000, QString(), environment).exitCode, 0);
        arguments = xmlCommand(writeCompressRequest(testenv::tempDir() + QStringLiteral("/update.xml"), format,
                                                    target, source + QStringLiteral("/new.bin")));
    }
    const QByteArray original = testenv::readFile(target);
    const auto isCompleteNew = [&]() -> QString {
        if (copier)
            return testenv::readFile(target) == testenv::readFile(source + QStringLiteral("/new.bin"))
                       ? QString()
                       : QStringLiteral("neither the old file nor the new one");
        return readsBackAs(target, source);
    };

    // A first run, traced, counts the calls and shows the order of flush
    // and swap.
    const QString logPath = testenv::tempDir() + QStringLiteral("/calls.log");
    QByteArray skipReason;
    const testenv::ProcessResult counted = testenv::runUnderStrace(
        {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-y"), QStringLiteral("-e"),
         QStringLiteral("trace=") + kTracedCalls, QStringLiteral("-o"), logPath},
        program, arguments, environment, &skipReason);
    if (!skipReason.isEmpty())
        QSKIP(skipReason.constData());
    QVERIFY2(counted.exitCode == 0, counted.err.constData());
    QCOMPARE(isCompleteNew(), QString());
    const QStringList log = QString::fromUtf8(testenv::readFile(logPath)).split(QLatin1Char('\n'));
    QCOMPARE(swapAfterFlush(log, target), QString());

    const QMap<QString, int> counts = callCounts(log);
    QStringList points;
    int oldKept = 0;
    int newComplete = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        points << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        for (int number = 1; number <= it.value(); ++number) {
            QVERIFY(testenv::writeFile(target, original));
            const testenv::ProcessResult killed = testenv::runUnderStrace(
                {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                 QStringLiteral("-e"), QStringLiteral("trace=") + it.key(), QStringLiteral("-e"),
                 QStringLiteral("inject=%1:signal=KILL:when=%2").arg(it.key()).arg(number)},
                program, arguments, environment, &skipReason);
            const QString where = QStringLiteral("killed on %1 number %2").arg(it.key()).arg(number);
            QVERIFY2(killed.exitCode == -1, qPrintable(where + QStringLiteral(": not killed")));
            if (testenv::readFile(target) == original) {
                ++oldKept;
            } else {
                const QString problem = isCompleteNew();
                QVERIFY2(problem.isEmpty(), qPrintable(where + QStringLiteral(": ") + problem));
                ++newComplete;
            }
        }
    }
    qInfo().noquote() << "kill points:" << points.join(QStringLiteral(", ")) << "- old kept" << oldKept
                      << "times, new complete" << newComplete << "times";
    QVERIFY(oldKept > 0 && newComplete > 0);

    // What the killed runs left is not in the way of a whole run, which
    // removes none of it.
    const QStringList but = {QFileInfo(target).fileName()};
    const QMap<QString, QByteArray> left = snapshot(folder, but);
    QVERIFY(!left.isEmpty());
    QVERIFY(testenv::writeFile(target, original));
    QCOMPARE(testenv::runProcess(program, arguments, 90000, QString(), environment).exitCode, 0);
    QCOMPARE(isCompleteNew(), QString());
    QCOMPARE(snapshot(folder, but), left);
    QDir(folder).removeRecursively();
    QDir(source).removeRecursively();
}

// Run by killedAtAnyStepLeavesOldOrNew in a child: the copier overwrites a
// file without asking.
void TestUpdateSafety::helperOverwrite()
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
    QVERIFY(copier.copy(from, qEnvironmentVariable("QUENVAR_OVERWRITE_TO"), QtFileCopier::NonInteractive) >= 0);
    QTRY_VERIFY_WITH_TIMEOUT(done, 60000);
    QVERIFY(!failed);
}

QUENVAR_TEST_MAIN(TestUpdateSafety)
#include "tst_updatesafety.moc"
