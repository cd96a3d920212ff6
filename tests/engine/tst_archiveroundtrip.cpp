// Archives travel. What FileArchive writes in every writable format, with a
// request's defaults (as an XML file, a drop or "add to current archive"
// sends it), in volumes and under a password, is read back by the 7z tool,
// Info-ZIP unzip, Python's zipfile, GNU tar, bsdtar and FileArchive itself;
// what those tools write, FileArchive extracts. Contents byte for byte, times
// where the format keeps them, names beyond ASCII, long names and empty
// folders included. Single streams and the names they list, methods,
// levels and compressed tar files.
#include "archivetestsupport.h"
#include "common/archivesuite.h"
#include "common/qvbytes.h"
#include "common/testarchives.h"

#include "app/settings.h"
#include "engine/zipapi.h"

#include <QStandardPaths>

using namespace archivetest;

namespace {

// Unpacks argv[1] into argv[2], after the reader's own check.
const char* const kPythonUnzip = "import sys, zipfile\n"
                                 "z = zipfile.ZipFile(sys.argv[1])\n"
                                 "bad = z.testzip()\n"
                                 "if bad: sys.exit('damaged: ' + bad)\n"
                                 "z.extractall(sys.argv[2])\n";
// Packs the current folder into argv[1], folders as entries of their own.
const char* const kPythonZip =
    "import os, sys, zipfile\n"
    "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
    "    for top, dirs, files in os.walk('.'):\n"
    "        for name in dirs + files:\n"
    "            z.write(os.path.join(top, name)[2:])\n";
const QString kPassword = "kept ✓ safe";

// A reader or writer: steps of a command line ("%A" the archive, "%D" the
// folder); a reader {{"ours"}} is FileArchive, {{"7z"}} the 7z tool.
using Steps = QList<QStringList>;
const Steps kOurs = {{"ours"}};
const Steps k7z = {{"7z"}};

// Runs each step with a UTF-8 locale; the first failure's output, or an
// empty string.
QString runSteps(const Steps& steps, const QString& archive, const QString& folder,
                 const QString& workDir)
{
    QProcessEnvironment environment = testenv::childEnvironment(false);
    environment.insert("LC_ALL", "C.UTF-8");
    for (QStringList step : steps) {
        step.replaceInStrings("%A", archive);
        step.replaceInStrings("%D", folder);
        const testenv::ProcessResult result =
            testenv::runProcess(step.first(), step.mid(1), 120000, workDir, environment);
        if (!result.finished || result.exitCode != 0)
            return step.join(' ') + ": " + QString::fromLocal8Bit(result.out + result.err);
    }
    return QString();
}

QString missingTool(const Steps& steps)
{
    for (const QStringList& step : steps) {
        if (step.first() != "ours" && QStandardPaths::findExecutable(step.first()).isEmpty())
            return step.first();
    }
    return QString();
}

// The 7z tool extracts the archive (a compressed tar holds the tar, named
// after it, which is extracted in turn); empty on success.
QStringList keyOption(const QString& password)
{
    return password.isEmpty() ? QStringList() : QStringList{"-p" + password};
}

QString extractAllWith7z(const QString& archive, const QString& target, const QString& password)
{
    const QStringList key = keyOption(password);
    const testenv::ProcessResult result = run7z(QStringList{"x", "-y", "-o" + target} + key +
                                                QStringList{archive});
    if (result.exitCode != 0)
        return QString::fromUtf8(result.out + result.err);
    if (!archive.contains(".tar."))
        return QString();
    const QString inner = target + "/round.tar";
    const QString failure = extractWith7z(inner, target);
    return QFile::remove(inner) ? failure : "no inner tar";
}

} // namespace

class TestArchiveRoundTrip : public ArchiveSuite
{
    Q_OBJECT

private slots:
    void initTestCase();

    void othersReadWhatWeWrite_data();
    void othersReadWhatWeWrite();
    void weReadWhatOthersWrite_data();
    void weReadWhatOthersWrite();
    void singleStreams_data();
    void singleStreams();
    void methodsAndLevels_data();
    void methodsAndLevels();
    void volumeSizeKeepsAllItsBits();
    void compressedTarTakesMoreFiles();

private:
    QString m_source;
};

void TestArchiveRoundTrip::initTestCase()
{
    ArchiveSuite::initTestCase();
    CSettings::setBoolValue("ArchiveHiddenItems", true);
    m_source = testenv::makeDir("source");
    testenv::makeTree(m_source, sampleFiles(), sampleEmptyFolders());
    // A name and a path too long for a plain tar header.
    const QString longName = QString(120, 'n') + ".txt";
    const QString deepPath = QString("folder/").repeated(12) + "deep.txt";
    testenv::makeTree(m_source, {{"long/" + longName, "long\n"}, {deepPath, "deep\n"}});
    setTreeTimes(m_source);
}

void TestArchiveRoundTrip::othersReadWhatWeWrite_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("password");
    QTest::addColumn<qint64>("volume");
    QTest::addColumn<Steps>("reader");
    QTest::addColumn<qulonglong>("timeUnit"); // for FileArchive as the reader

    const QString none;
    const qint64 whole = -1;
    const qulonglong exact = 1;
    const qulonglong second = kTicksPerSecond;
    const QList<std::tuple<ZipFormat, const char*, qulonglong>> formats = {
        {ZF_7Z, "7z", exact},           {ZF_ZIP, "zip", exact},
        {ZF_TAR, "tar", second},        {ZF_WIM, "wim", exact},
        {ZF_TAR_GZIP, "tar.gz", second}, {ZF_TAR_BZIP2, "tar.bz2", second},
        {ZF_TAR_XZ, "tar.xz", second},   {ZF_QV, "qv", 2 * second}};
    for (const auto& f : formats) {
        const char* name = std::get<1>(f);
        QTest::addRow("%s, ours", name)
            << int(std::get<0>(f)) << name << none << whole << kOurs << std::get<2>(f);
        if (std::get<0>(f) != ZF_QV)
            QTest::addRow("%s, 7z", name) << int(std::get<0>(f)) << name << none << whole << k7z
                                          << std::get<2>(f);
    }
    QTest::newRow("7z, password, 7z") << int(ZF_7Z) << "7z" << kPassword << whole << k7z << exact;
    QTest::newRow("qv, password") << int(ZF_QV) << "qv" << kPassword << whole << kOurs
                                  << 2 * second;
    QTest::newRow("7z volumes") << int(ZF_7Z) << "7z" << none << qint64(20000) << kOurs << exact;
    QTest::newRow("tar.xz volumes")
        << int(ZF_TAR_XZ) << "tar.xz" << none << qint64(20000) << kOurs << second;
    QTest::newRow("qv volumes") << int(ZF_QV) << "qv" << none << qint64(20000) << kOurs
                                << 2 * second;
    QTest::newRow("qv volumes, password")
        << int(ZF_QV) << "qv" << kPassword << qint64(20000) << kOurs << 2 * second;

    const QStringList bsdtar = {"bsdtar", "-xf", "%A", "-C", "%D"};
    const QStringList gnuTar = {"tar", "-xf", "%A", "-C", "%D"};
    const auto other = [&](const char* name, ZipFormat format, const char* extension,
                           const Steps& steps) {
        QTest::newRow(name) << int(format) << extension << none << whole << steps << exact;
    };
    other("zip, unzip", ZF_ZIP, "zip",
          {{"unzip", "-tqq", "%A"}, {"unzip", "-qq", "%A", "-d", "%D"}});
    other("zip, zipfile", ZF_ZIP, "zip", {{"python3", "-c", kPythonUnzip, "%A", "%D"}});
    other("zip, bsdtar", ZF_ZIP, "zip", {bsdtar});
    other("7z, bsdtar", ZF_7Z, "7z", {bsdtar});
    for (const auto& tar : {std::make_pair(ZF_TAR, "tar"), std::make_pair(ZF_TAR_GZIP, "tar.gz"),
                            std::make_pair(ZF_TAR_BZIP2, "tar.bz2"),
                            std::make_pair(ZF_TAR_XZ, "tar.xz")}) {
        other(qPrintable(QString("%1, GNU tar").arg(tar.second)), tar.first, tar.second, {gnuTar});
        other(qPrintable(QString("%1, bsdtar").arg(tar.second)), tar.first, tar.second, {bsdtar});
    }
}

void TestArchiveRoundTrip::othersReadWhatWeWrite()
{
    QFETCH(int, format);
    QFETCH(QString, extension);
    QFETCH(QString, password);
    QFETCH(qint64, volume);
    QFETCH(Steps, reader);
    QFETCH(qulonglong, timeUnit);
    if (!missingTool(reader).isEmpty())
        QSKIP(qPrintable(missingTool(reader) + " is not installed (tools/bootstrap.sh --test)"));

    const QString archive = m_work + "/round." + extension;
    // A file of the user's that the intermediate tar could be taken for.
    const bool twoStages = extension.startsWith("tar.");
    const QString beside = m_work + "/round.tar";
    if (twoStages)
        testenv::writeFile(beside, "not to be touched");
    const QDateTime besideTime = QFileInfo(beside).lastModified();
    CompressOptions request =
        compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format));
    request.password = password;
    request.volumeSize = volume;
    Run create;
    create.compress(request);
    QVERIFY(create.ok());
    QCOMPARE(create.answerer.errors, QStringList());
    QStringList written;
    for (int n = 1; volume > 0 && QFileInfo::exists(StreamBase::volumeName(archive, n)); ++n)
        written << QFileInfo(StreamBase::volumeName(archive, n)).fileName();
    QVERIFY2(volume < 0 || written.size() >= 3, qPrintable(written.join(' ')));
    for (int n = 1; n < written.size(); ++n)
        QCOMPARE(QFileInfo(m_work + '/' + written.at(n - 1)).size(), volume);
    const QString opened = volume > 0 ? StreamBase::volumeName(archive, 1) : archive;
    if (volume < 0)
        written << QFileInfo(archive).fileName();
    if (twoStages) {
        QCOMPARE(testenv::readFile(beside), QByteArray("not to be touched"));
        QCOMPARE(QFileInfo(beside).lastModified(), besideTime);
        written << "round.tar";
    }
    written.sort();
    QCOMPARE(testenv::listTree(m_work), written);
    if (format != ZF_QV) {
        QVERIFY(passes7zTest(opened, keyOption(password)));
        QVERIFY(password.isEmpty() || !passes7zTest(opened, {"-pwrong"}));
    } else {
        // Every entry deflated and marked as the password says.
        for (const qvbytes::Listed& entry : qvbytes::parse(qvbytes::logical(archive, volume > 0))) {
            QCOMPARE(entry.marker != 0, !password.isEmpty());
            QVERIFY(entry.method == 8 || entry.name.endsWith('/'));
        }
    }

    const QString target = testenv::makeDir("read");
    if (reader == kOurs) {
        // Listed without a password.
        if (!twoStages) {
            FileArchive lister;
            QVERIFY(lister.openArchive(opened));
            QStringList listed;
            for (const ArchiveItemInfo& item : lister.archiveItems())
                listed << item.name + (item.isDir ? "/" : QString());
            listed.sort();
            QCOMPARE(listed, testenv::listTree(m_source));
        }
        Run extract;
        extract.answerer.passwords = QStringList{password};
        extract.extract(extractRequest(opened, target));
        QVERIFY(extract.ok());
        QCOMPARE(extract.answerer.passwordRequests, password.isEmpty() ? 0 : 1);
        QCOMPARE(extract.answerer.conflicts, QStringList());
        QCOMPARE(compareTimes(m_source, target, timeUnit), QString());
    } else {
        const QString failure = reader == k7z ? extractAllWith7z(opened, target, password)
                                              : runSteps(reader, archive, target, m_work);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QCOMPARE(leftovers(m_work), QStringList());
    QDir(target).removeRecursively();
}

void TestArchiveRoundTrip::weReadWhatOthersWrite_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<Steps>("writer");
    QTest::addColumn<qulonglong>("timeUnit"); // 0: times left unchecked

    // Compressed tar files come in two stages:
    // TestArchiveExtract::compressedTarExtractsInTwoStages.
    for (const char* type : {"7z", "zip", "wim"})
        QTest::addRow("7z tool, %s", type)
            << type << Steps{{"7z", "a", QString("-t") + type, "%A", "."}} << qulonglong(1);
    QTest::newRow("7z tool, tar") << "tar" << Steps{{"7z", "a", "-ttar", "%A", "."}}
                                  << qulonglong(kTicksPerSecond);
    QTest::newRow("GNU tar, pax headers")
        << "tar" << Steps{{"tar", "--format=pax", "-cf", "%A", "."}} << qulonglong(0);
    QTest::newRow("GNU tar, long names")
        << "tar" << Steps{{"tar", "--format=gnu", "-cf", "%A", "."}} << qulonglong(0);
    QTest::newRow("Info-ZIP zip") << "zip" << Steps{{"zip", "-rq", "%A", "."}} << qulonglong(0);
    QTest::newRow("Python zipfile")
        << "zip" << Steps{{"python3", "-c", kPythonZip, "%A"}} << qulonglong(0);
    QTest::newRow("bsdtar 7z") << "7z" << Steps{{"bsdtar", "--format", "7zip", "-cf", "%A", "."}}
                               << qulonglong(0);
    QTest::newRow("bsdtar zip") << "zip" << Steps{{"bsdtar", "--format", "zip", "-cf", "%A", "."}}
                                << qulonglong(0);
}

void TestArchiveRoundTrip::weReadWhatOthersWrite()
{
    QFETCH(QString, extension);
    QFETCH(Steps, writer);
    QFETCH(qulonglong, timeUnit);
    if (!missingTool(writer).isEmpty())
        QSKIP(qPrintable(missingTool(writer) + " is not installed (tools/bootstrap.sh --test)"));

    const QString archive = m_work + "/theirs." + extension;
    const QString failure = runSteps(writer, archive, QString(), m_source);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString target = m_work + "/extracted";
    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.ok());
    QCOMPARE(run.answerer.conflicts, QStringList());
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    if (timeUnit > 0)
        QCOMPARE(compareTimes(m_source, target, timeUnit), QString());
}

void TestArchiveRoundTrip::singleStreams_data()
{
    QTest::addColumn<QString>("writer"); // FileArchive, or the 7z tool with its type
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("archiveName");
    QTest::addColumn<QString>("listedName");
    QTest::newRow("gz") << "ours" << int(ZF_GZIP) << "data.bin.gz" << "data.bin";
    QTest::newRow("bz2") << "ours" << int(ZF_BZIP2) << "data.bin.bz2" << "data.bin";
    QTest::newRow("xz") << "ours" << int(ZF_XZ) << "data.bin.xz" << "data.bin";
    // bzip2 and xz keep no name: the archive's name without its extension.
    QTest::newRow("bz2 by 7z, renamed") << "bzip2" << int(ZF_BZIP2) << "other.bz2" << "other";
    QTest::newRow("xz by 7z, renamed") << "xz" << int(ZF_XZ) << "other.xz" << "other";
    // gzip keeps the file's name in its header.
    QTest::newRow("gz by 7z, renamed") << "gzip" << int(ZF_GZIP) << "other.gz" << "data.bin";
}

void TestArchiveRoundTrip::singleStreams()
{
    QFETCH(QString, writer);
    QFETCH(int, format);
    QFETCH(QString, archiveName);
    QFETCH(QString, listedName);
    const QString folder = testenv::makeDir("single");
    const QByteArray data = randomBytes(50000, 7) + QByteArray(50000, 'z');
    testenv::writeFile(folder + "/data.bin", data);
    const QString made = m_work + "/data.bin." + QFileInfo(archiveName).suffix();
    const CompressOptions options =
        compressRequest(made, folder, {folder + "/data.bin"}, ZipFormat(format));
    Run create;
    if (writer == "ours")
        create.compress(options);
    else
        QCOMPARE(run7z({"a", "-t" + writer, made, "data.bin"}, folder).exitCode, 0);
    QVERIFY(writer != "ours" || create.ok());
    const QString archive = m_work + '/' + archiveName;
    QVERIFY(made == archive || QFile::rename(made, archive));
    QVERIFY(passes7zTest(archive));
    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    QCOMPARE(reader.getArchiveItemsCount(), 1);
    QCOMPARE(reader.archiveItemInfo(0).name, listedName);
    Run extract;
    extract.extract(extractRequest(archive, m_work + "/out"));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::readFile(m_work + "/out/" + listedName), data);
    if (writer != "ours")
        return;

    // Written again, it holds the new file only.
    testenv::writeFile(folder + "/data.bin", "changed");
    Run again;
    again.compress(options);
    QVERIFY(again.ok());
    QCOMPARE(extractWith7z(archive, m_work + "/again"), QString());
    QCOMPARE(testenv::readFile(m_work + "/again/data.bin"), QByteArray("changed"));
    QCOMPARE(leftovers(m_work), QStringList());
}

void TestArchiveRoundTrip::methodsAndLevels_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("method");
    QTest::addColumn<uint>("level");
    QTest::addColumn<QString>("listed");
    for (int format : {int(ZF_7Z), int(ZF_ZIP)}) {
        const ZipFormatInfo& info = SupportedFormats[format];
        const bool offered[6] = {info.LZMA2, info.LZMA,    info.PPMd,
                                 info.BZip2, info.Deflate, info.Deflate64};
        for (int method = 0; method < 6; ++method) {
            const QString name = ZipMethodPropValues[method];
            if (offered[method])
                QTest::addRow("%s %s", qPrintable(info.extension), qPrintable(name))
                    << format << method << 5u << name.left(4);
        }
    }
    // Level 0 stores, whatever the method.
    QTest::newRow("7z level 0") << int(ZF_7Z) << 1 << 0u << "Copy";
    QTest::newRow("zip level 0") << int(ZF_ZIP) << 1 << 0u << "Store";
    // A request that chose no method (an XML file, a drop, "add to current
    // archive") packs as the dialog would by default: a zip every reader
    // opens.
    QTest::newRow("zip default") << int(ZF_ZIP) << int(kDefaultMethod) << 5u << "Deflate";
    QTest::newRow("7z default") << int(ZF_7Z) << int(kDefaultMethod) << 5u << "LZMA2";
}

void TestArchiveRoundTrip::methodsAndLevels()
{
    QFETCH(int, format);
    QFETCH(int, method);
    QFETCH(uint, level);
    QFETCH(QString, listed);
    const QString archive = m_work + "/method." + SupportedFormats[format].extension;
    CompressOptions options =
        compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format));
    options.method = method;
    options.level = level;
    Run run;
    run.compress(options);
    QVERIFY(run.ok());
    QVERIFY(passes7zTest(archive));
    const testarchives::PeerListing listing = testarchives::listWith7z(archive);
    const testarchives::PeerItem* top = listing.find("top.txt");
    QVERIFY2(top, listing.output.constData());
    QVERIFY2(top->value("Method").startsWith(listed, Qt::CaseInsensitive),
             qPrintable(top->value("Method")));
    QCOMPARE(extractWith7z(archive, m_work + "/out"), QString());
    QCOMPARE(testenv::compareTrees(m_source, m_work + "/out"), QString());
}

void TestArchiveRoundTrip::volumeSizeKeepsAllItsBits()
{
    // 4 GiB + 64 KiB: cut to 32 bits it would be 64 KiB and the archive
    // would fall into many volumes.
    const QString folder = testenv::makeDir("large");
    testenv::writeFile(folder + "/noise.bin", randomBytes(300000, 5));
    const QString archive = m_work + "/large.7z";
    CompressOptions options = compressRequest(archive, folder, {folder + "/noise.bin"}, ZF_7Z);
    options.volumeSize = (qint64(1) << 32) + 65536;
    Run run;
    run.compress(options);
    QVERIFY(run.ok());
    QVERIFY(!QFileInfo::exists(archive + ".002"));
    QVERIFY(QFileInfo(archive + ".001").size() > 300000);
    QVERIFY(passes7zTest(archive + ".001"));
}

void TestArchiveRoundTrip::compressedTarTakesMoreFiles()
{
    const QString archive = m_work + "/grow.tar.bz2";
    Run first;
    first.compress(compressRequest(archive, m_source, {m_source + "/docs"}, ZF_TAR_BZIP2));
    QVERIFY(first.ok());

    CompressOptions more =
        compressRequest(archive, m_source, {m_source + "/top.txt"}, ZF_TAR_BZIP2);
    more.addToExisting = true;
    Run second;
    second.compress(more);
    QVERIFY(second.ok());
    QVERIFY(passes7zTest(archive));

    const QString target = m_work + "/out";
    Run extract;
    extract.extract(extractRequest(archive, target));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::readFile(target + "/top.txt"), sampleFiles().value("top.txt"));
    QCOMPARE(testenv::readFile(target + "/docs/a.txt"), sampleFiles().value("docs/a.txt"));
    QCOMPARE(leftovers(m_work), QStringList());
}

QUENVAR_TEST_MAIN(TestArchiveRoundTrip)
#include "tst_archiveroundtrip.moc"
