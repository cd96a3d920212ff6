// Archives written by FileArchive in every writable format: the 7z tool tests
// and extracts them, FileArchive extracts them and what the 7z tool writes,
// and the result equals the sources byte for byte, times included. Methods,
// levels, passwords, volumes and compressed tar files.
#include "archivetestsupport.h"
#include "common/testarchives.h"

#include "app/settings.h"
#include "engine/MyCom.h"
#include "engine/zipapi.h"

using namespace archivetest;

class TestArchiveRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void singleStreamRoundTrip_data();
    void singleStreamRoundTrip();
    void methodsAndLevels_data();
    void methodsAndLevels();
    void encryptedArchiveNeedsThePassword();

    void splitArchives_data();
    void splitArchives();
    void volumeSizeKeepsAllItsBits();
    void compressedTarLeavesSameNamedTarAlone();
    void compressedTarTakesMoreFiles();

private:
    QString m_source;
    QString m_work;
};

void TestArchiveRoundTrip::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
    CSettings::setBoolValue("ArchiveHiddenItems", true);
    m_source = testenv::makeDir("source");
    makeSampleTree(m_source);
}

void TestArchiveRoundTrip::init()
{
    m_work = testenv::makeDir("work");
    UserActions::reset();
}

void TestArchiveRoundTrip::cleanup()
{
    StreamBase::waitForFlushFinished();
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    QDir(m_work).removeRecursively();
}

void TestArchiveRoundTrip::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<qulonglong>("timeUnit");
    QTest::newRow("7z") << int(ZF_7Z) << "7z" << qulonglong(1);
    QTest::newRow("zip") << int(ZF_ZIP) << "zip" << qulonglong(1);
    QTest::newRow("tar") << int(ZF_TAR) << "tar" << qulonglong(kTicksPerSecond);
    QTest::newRow("wim") << int(ZF_WIM) << "wim" << qulonglong(1);
    QTest::newRow("tar.gz") << int(ZF_TAR_GZIP) << "tar.gz" << qulonglong(kTicksPerSecond);
    QTest::newRow("tar.bz2") << int(ZF_TAR_BZIP2) << "tar.bz2" << qulonglong(kTicksPerSecond);
    QTest::newRow("tar.xz") << int(ZF_TAR_XZ) << "tar.xz" << qulonglong(kTicksPerSecond);
}

void TestArchiveRoundTrip::roundTrip()
{
    QFETCH(int, format);
    QFETCH(QString, extension);
    QFETCH(qulonglong, timeUnit);
    const QString archive = m_work + "/round." + extension;
    Run create;
    create.compress(compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format)));
    QVERIFY(create.ok());
    QCOMPARE(create.answerer.errors, QStringList());
    QVERIFY(passes7zTest(archive));
    QCOMPARE(testenv::listTree(m_work), QStringList{"round." + extension});

    // The peer reads it; a compressed tar holds the tar, named after it.
    const QString byPeer = m_work + "/peer";
    QCOMPARE(extractWith7z(archive, byPeer), QString());
    if (extension.startsWith("tar.")) {
        const QString inner = byPeer + "/round.tar";
        QCOMPARE(testenv::listTree(byPeer), QStringList{"round.tar"});
        QCOMPARE(extractWith7z(inner, byPeer), QString());
        QVERIFY(QFile::remove(inner));
    }
    QCOMPARE(testenv::compareTrees(m_source, byPeer), QString());

    const QString target = m_work + "/out";
    Run extract;
    extract.extract(extractRequest(archive, target));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QCOMPARE(compareTimes(m_source, target, timeUnit), QString());

    // And what the peer writes of the same tree (compressed tar files come
    // in two stages: TestArchiveExtract::compressedTarExtractsInTwoStages).
    if (!extension.startsWith("tar.")) {
        const QString theirs = m_work + "/peer." + extension;
        const QStringList tops = {"docs", "top.txt", "zero.txt", "мир", "void"};
        QCOMPARE(run7z(QStringList{"a", "-t" + extension, theirs} + tops, m_source).exitCode, 0);
        const QString fromPeer = m_work + "/from-peer";
        Run ours;
        ours.extract(extractRequest(theirs, fromPeer));
        QVERIFY(ours.ok());
        QCOMPARE(ours.answerer.conflicts, QStringList());
        QCOMPARE(testenv::compareTrees(m_source, fromPeer), QString());
        QCOMPARE(compareTimes(m_source, fromPeer, timeUnit), QString());
    }
    QCOMPARE(leftovers(m_work), QStringList());
}

void TestArchiveRoundTrip::singleStreamRoundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("extension");
    QTest::newRow("gz") << int(ZF_GZIP) << "gz";
    QTest::newRow("bz2") << int(ZF_BZIP2) << "bz2";
    QTest::newRow("xz") << int(ZF_XZ) << "xz";
}

void TestArchiveRoundTrip::singleStreamRoundTrip()
{
    QFETCH(int, format);
    QFETCH(QString, extension);
    const QString folder = testenv::makeDir("single");
    const QByteArray data = randomBytes(50000, 7) + QByteArray(50000, 'z');
    testenv::writeFile(folder + "/data.bin", data);
    const QString archive = m_work + "/data.bin." + extension;
    CompressOptions options =
        compressRequest(archive, folder, {folder + "/data.bin"}, ZipFormat(format));
    Run create;
    create.compress(options);
    QVERIFY(create.ok());
    QVERIFY(passes7zTest(archive));
    const QString target = m_work + "/out";
    Run extract;
    extract.extract(extractRequest(archive, target));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::readFile(target + "/data.bin"), data);

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

void TestArchiveRoundTrip::encryptedArchiveNeedsThePassword()
{
    const QString archive = m_work + "/secret.7z";
    CompressOptions options = compressRequest(archive, m_source, topLevelPaths(m_source), ZF_7Z);
    options.password = "kept ✓ safe";
    Run run;
    run.compress(options);
    QVERIFY(run.ok());
    QVERIFY(!passes7zTest(archive, {"-pwrong"}));
    QVERIFY(passes7zTest(archive, {"-pkept ✓ safe"}));
}

// --- Volumes ---------------------------------------------------------------------

void TestArchiveRoundTrip::splitArchives_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("extension");
    QTest::newRow("7z") << int(ZF_7Z) << "7z";
    QTest::newRow("tar.xz") << int(ZF_TAR_XZ) << "tar.xz";
}

void TestArchiveRoundTrip::splitArchives()
{
    QFETCH(int, format);
    QFETCH(QString, extension);
    const QString archive = m_work + "/split." + extension;
    CompressOptions options =
        compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format));
    options.level = 1;
    options.volumeSize = 20000;
    Run run;
    run.compress(options);
    QVERIFY(run.ok());
    QVERIFY(!QFileInfo::exists(archive));
    int volumes = 0;
    while (QFileInfo::exists(StreamBase::volumeName(archive, volumes + 1)))
        ++volumes;
    QVERIFY2(volumes >= 3, qPrintable(QString::number(volumes)));
    for (int n = 1; n < volumes; ++n)
        QCOMPARE(QFileInfo(StreamBase::volumeName(archive, n)).size(), qint64(20000));
    const QString first = StreamBase::volumeName(archive, 1);
    QVERIFY(passes7zTest(first));

    const QString target = m_work + "/out";
    Run extract;
    extract.extract(extractRequest(first, target));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QCOMPARE(leftovers(m_work), QStringList());
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

// --- Compressed tar files ---------------------------------------------------------------

void TestArchiveRoundTrip::compressedTarLeavesSameNamedTarAlone()
{
    const QString archive = m_work + "/pack.tar.gz";
    testenv::writeFile(m_work + "/pack.tar", "not to be touched");
    const QDateTime before = QFileInfo(m_work + "/pack.tar").lastModified();
    Run run;
    run.compress(compressRequest(archive, m_source, topLevelPaths(m_source), ZF_TAR_GZIP));
    QVERIFY(run.ok());
    QCOMPARE(testenv::readFile(m_work + "/pack.tar"), QByteArray("not to be touched"));
    QCOMPARE(QFileInfo(m_work + "/pack.tar").lastModified(), before);
    QCOMPARE(testenv::listTree(m_work), QStringList({"pack.tar", "pack.tar.gz"}));
    QVERIFY(passes7zTest(archive));
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
