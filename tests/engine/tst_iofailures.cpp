// Failures of the disk, injected by strace into the real program: a source
// that cannot be read while packing, a full disk and a failing close while
// extracting. Each must fail the operation (exit code 1) with the file's
// name and the system's reason, and leave nothing half-made behind: no new
// archive, an existing one byte for byte as it was, no partial file.
#include "common/testenv.h"

namespace {

QString xmlFile(const QString& folder, const QString& body)
{
    const QString path = folder + "/operation.xml";
    testenv::writeFile(path, "<Main>" + body.toUtf8() + "</Main>");
    return path;
}

QString compressXml(const QString& folder, const QString& format, const QString& archive,
                    const QString& source)
{
    return xmlFile(folder,
                   QString("<operation>Compress</operation><format>%1</format><target>%2</target>"
                           "<files><file>%3</file></files>")
                       .arg(format, archive, source));
}

QString extractXml(const QString& folder, const QString& archive, const QString& target)
{
    return xmlFile(
        folder, QString("<target>%1</target><files><file>%2</file></files>").arg(target, archive));
}

// Empty when the run failed as it must: in time, with exit code 1 and the
// reason on standard error; otherwise what went wrong.
QString unlessFailedWith(const testenv::ProcessResult& result, const QByteArray& reason)
{
    if (!result.finished || result.exitCode != 1 || !result.err.contains(reason))
        return QString("exit code %1, expected 1 and \"%2\" in: %3")
            .arg(result.exitCode)
            .arg(QString::fromUtf8(reason), QString::fromUtf8(result.err));
    return QString();
}

} // namespace

class TestIoFailures : public QObject
{
    Q_OBJECT

private:
    // The program under strace; m_skip tells why when tracing is forbidden.
    testenv::ProcessResult traced(const QStringList& injection, const QString& xml)
    {
        QByteArray skip;
        auto result = testenv::runUnderStrace(
            QStringList{"-f", "-qq", "-o", "/dev/null"} + injection + QStringList{"--"},
            testenv::quenvarBinary(), {"-c", "xml", xml}, testenv::childEnvironment(false), &skip);
        m_skip = QString::fromLocal8Bit(skip.trimmed());
        return result;
    }
    testenv::ProcessResult plain(const QString& xml)
    {
        return testenv::runProcess(testenv::quenvarBinary(), {"-c", "xml", xml}, 120000, QString(),
                                   testenv::childEnvironment(false));
    }
    // big.bin (3,000,000 bytes: several reads and writes) and small.txt.
    QString makeSource(const QString& folder)
    {
        const QString source = folder + "/src";
        testenv::makeTree(source,
                          {{"big.bin", testenv::randomBytes(3000000)}, {"small.txt", "small\n"}});
        return source;
    }
    // An archive of the source folder's big.bin in the format, made by the
    // 7z tool (tar for tar.gz) or, for its own format, by the program.
    QString makeArchive(const QString& folder, const QString& source, const QString& format)
    {
        const QString archive = folder + "/pack." + QString(format).replace("tar_gzip", "tar.gz");
        if (format == "qv")
            return plain(compressXml(folder, format, archive, source + "/big.bin")).exitCode == 0
                ? archive
                : QString();
        if (format == "tar_gzip")
            return testenv::runProcess("tar", {"-czf", archive, "-C", source, "big.bin"})
                        .exitCode == 0
                ? archive
                : QString();
        return testenv::run7z({"a", archive, source + "/big.bin"}).exitCode == 0 ? archive
                                                                                 : QString();
    }

    QString m_skip;

private slots:
    void unreadableSourceFailsThePacking_data();
    void unreadableSourceFailsThePacking();
    void fullDiskFailsTheExtraction_data();
    void fullDiskFailsTheExtraction();
    void failedCloseFailsTheExtraction_data();
    void failedCloseFailsTheExtraction();
};

void TestIoFailures::unreadableSourceFailsThePacking_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("existing");
    // What fails: the second read of big.bin, or its opening (it could be
    // read when the sources were looked at).
    QTest::addColumn<bool>("open");
    for (const char* format : {"7z", "zip", "tar_gzip", "qv"}) {
        QTest::newRow(format) << format << false << false;
        QTest::newRow(qPrintable(QString("%1 existing").arg(format))) << format << true << false;
    }
    QTest::newRow("7z existing, open") << "7z" << true << true;
    QTest::newRow("zip, open") << "zip" << false << true;
}

void TestIoFailures::unreadableSourceFailsThePacking()
{
    QFETCH(QString, format);
    QFETCH(bool, existing);
    QFETCH(bool, open);
    const QString folder = testenv::makeDir("pack-" + format);
    const QString source = makeSource(folder);
    const QString archive = folder + "/out." + QString(format).replace("tar_gzip", "tar.gz");
    QByteArray before;
    if (existing) {
        QCOMPARE(plain(compressXml(folder, format, archive, source + "/small.txt")).exitCode, 0);
        before = testenv::readFile(archive);
        QVERIFY(!before.isEmpty());
    }

    // On whichever thread touches big.bin.
    const QString big = source + "/big.bin";
    const auto result = traced(
        open ? QStringList{"-P", big, "-e", "trace=openat", "-e", "inject=openat:error=EACCES"}
             : QStringList{"-P", big, "-e", "trace=read,pread64", "-e", "inject=read,pread64:error=EIO:when=2"},
        compressXml(folder, format, archive, source));
    if (!m_skip.isEmpty())
        QSKIP(qPrintable(m_skip));
    const QString problem = unlessFailedWith(result, (open ? "Cannot open file " : "Cannot read file ") +
                                                         big.toUtf8() +
                                                         (open ? ": Permission denied" : ": Input/output error"));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    if (existing)
        QCOMPARE(testenv::readFile(archive), before);
    else
        QVERIFY(!QFileInfo::exists(archive));
    // No temporary archive or tar beside it.
    QCOMPARE(testenv::otherEntries(folder, {"src", "operation.xml", QFileInfo(archive).fileName()}),
             QStringList());
}

void TestIoFailures::fullDiskFailsTheExtraction_data()
{
    QTest::addColumn<QString>("format");
    for (const char* format : {"7z", "zip", "tar_gzip", "qv"})
        QTest::newRow(format) << format;
}

void TestIoFailures::fullDiskFailsTheExtraction()
{
    QFETCH(QString, format);
    const QString folder = testenv::makeDir("full-" + format);
    const QString archive = makeArchive(folder, makeSource(folder), format);
    QVERIFY(!archive.isEmpty());
    const QString target = folder + "/out";
    QVERIFY(QDir().mkpath(target));

    // The data goes to a hidden name beside the file until it is complete.
    const auto result =
        traced({"-P", target + "/big.bin", "-P", target + "/.big.bin.qvpart", "-e",
                "trace=write,pwrite64", "-e", "inject=write,pwrite64:error=ENOSPC:when=2"},
               extractXml(folder, archive, target));
    if (!m_skip.isEmpty())
        QSKIP(qPrintable(m_skip));
    const QString problem = unlessFailedWith(
        result, "Cannot write file " + target.toUtf8() + "/big.bin: No space left on device");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(!result.err.contains("damaged"), result.err.constData());
    QCOMPARE(testenv::otherEntries(target), QStringList());
}

void TestIoFailures::failedCloseFailsTheExtraction_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("size");
    // Large files are closed in the background, small ones at once.
    QTest::newRow("7z small") << "7z" << 1000;
    for (const char* format : {"7z", "zip", "tar_gzip", "qv"})
        QTest::newRow(format) << format << 3000000;
}

void TestIoFailures::failedCloseFailsTheExtraction()
{
    QFETCH(QString, format);
    QFETCH(int, size);
    const QString folder = testenv::makeDir("close-" + format);
    const QString source = makeSource(folder);
    if (size != 3000000)
        QVERIFY(testenv::writeFile(source + "/big.bin", testenv::randomBytes(size)));
    const QString archive = makeArchive(folder, source, format);
    QVERIFY(!archive.isEmpty());
    const QString target = folder + "/out";
    QVERIFY(QDir().mkpath(target));

    // Every close of the file fails, as a network file system reports data
    // it could not store.
    const auto result = traced({"-P", target + "/big.bin", "-P", target + "/.big.bin.qvpart", "-e",
                                "trace=close", "-e", "inject=close:error=EIO"},
                               extractXml(folder, archive, target));
    if (!m_skip.isEmpty())
        QSKIP(qPrintable(m_skip));
    const QString problem = unlessFailedWith(
        result, "Cannot write file " + target.toUtf8() + "/big.bin: Input/output error");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // What may not have reached the disk does not pass for the file.
    QCOMPARE(testenv::otherEntries(target), QStringList());
}

QUENVAR_TEST_MAIN(TestIoFailures)
#include "tst_iofailures.moc"
