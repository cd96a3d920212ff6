// Archives written by FileArchive in every writable format: the 7z tool
// tests and lists them, FileArchive lists and extracts them, and the result
// equals the sources byte for byte. Levels, methods and volumes.
#include "archivetestsupport.h"

#include "app/settings.h"
#include "engine/MyCom.h"
#include "engine/zipapi.h"

#include <QRegularExpression>

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
    void everyOfferedMethodWrites_data();
    void everyOfferedMethodWrites();
    void encryptedArchiveNeedsThePassword();

    void splitArchives_data();
    void splitArchives();
    void volumeSizeKeepsAllItsBits();
    void splitOverExistingFirstVolumeIsRefused();
    void compressedTarLeavesSameNamedTarAlone();
    void compressedTarTakesMoreFiles();

private:
    QStringList pathsOf7zListing(const QString& archive) const;

    QString m_source;
    QString m_work;
};

void TestArchiveRoundTrip::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
    CSettings::setBoolValue(QStringLiteral("ArchiveHiddenItems"), true);
    m_source = testenv::makeDir(QStringLiteral("source"));
    makeSampleTree(m_source);
}

void TestArchiveRoundTrip::init()
{
    m_work = testenv::makeDir(QStringLiteral("work"));
    UserActions::reset();
}

void TestArchiveRoundTrip::cleanup()
{
    StreamBase::waitForFlushFinished();
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    QDir(m_work).removeRecursively();
}

QStringList TestArchiveRoundTrip::pathsOf7zListing(const QString& archive) const
{
    QStringList paths;
    const QStringList lines = slt(archive).split(QLatin1Char('\n'));
    bool inItems = false;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("----------")))
            inItems = true;
        else if (inItems && line.startsWith(QLatin1String("Path = ")))
            paths << line.mid(7);
    }
    paths.sort();
    return paths;
}

namespace {
QStringList expectedPaths(const QString& root)
{
    QStringList paths = testenv::listTree(root);
    for (QString& path : paths) {
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
    }
    paths.sort();
    return paths;
}
} // namespace

void TestArchiveRoundTrip::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<qulonglong>("timeUnit");
    // The default request (level 5, method index 1) for each of them: tar
    // and wim take no method, xz none but its own.
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
    const QString archive = m_work + QStringLiteral("/round.") + extension;
    Run create;
    create.compress(compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format)));
    QVERIFY(create.ok());
    QVERIFY(create.answerer.errors.isEmpty());
    QVERIFY(passes7zTest(archive));
    QCOMPARE(QDir(m_work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QFileInfo(archive).fileName()});

    const bool compressedTar = extension.startsWith(QLatin1String("tar."));
    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    QStringList listed;
    for (const ArchiveItemInfo& item : reader.archiveItems())
        listed << item.name;
    listed.sort();
    if (compressedTar) {
        // The outer stream holds the tar, named after the archive.
        QCOMPARE(listed, QStringList{QStringLiteral("round.tar")});
        const QString inner = m_work + QStringLiteral("/inner");
        QCOMPARE(extractWith7z(archive, inner), QString());
        QCOMPARE(pathsOf7zListing(inner + QStringLiteral("/round.tar")), expectedPaths(m_source));
    } else {
        QCOMPARE(listed, expectedPaths(m_source));
        QCOMPARE(pathsOf7zListing(archive), expectedPaths(m_source));
        const QString byPeer = m_work + QStringLiteral("/peer");
        QCOMPARE(extractWith7z(archive, byPeer), QString());
        QCOMPARE(testenv::compareTrees(m_source, byPeer), QString());
    }

    const QString target = m_work + QStringLiteral("/out");
    Run extract;
    extract.extract(extractRequest(archive, target));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QCOMPARE(compareTimes(m_source, target, timeUnit), QString());
    QVERIFY(leftovers(m_work).isEmpty());
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
    const QString folder = testenv::makeDir(QStringLiteral("single"));
    const QByteArray data = randomBytes(50000, 7) + QByteArray(50000, 'z');
    testenv::writeFile(folder + QStringLiteral("/data.bin"), data);
    const QString archive = m_work + QStringLiteral("/data.bin.") + extension;
    CompressOptions options = compressRequest(archive, folder, {folder + QStringLiteral("/data.bin")}, ZipFormat(format));
    // The method the compress dialog offers for each of them.
    options.method = format == ZF_GZIP ? 4 : format == ZF_BZIP2 ? 3 : 0;
    Run create;
    create.compress(options);
    QVERIFY(create.ok());
    QVERIFY(passes7zTest(archive));

    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    QCOMPARE(reader.getArchiveItemsCount(), 1);
    QCOMPARE(reader.archiveItemInfo(0).name, QStringLiteral("data.bin"));

    const QString target = m_work + QStringLiteral("/out");
    Run extract;
    extract.extract(extractRequest(archive, target));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::readFile(target + QStringLiteral("/data.bin")), data);

    // Written again, it holds the new file only.
    testenv::writeFile(folder + QStringLiteral("/data.bin"), "changed");
    Run again;
    again.compress(options);
    QVERIFY(again.ok());
    QVERIFY(passes7zTest(archive));
    QCOMPARE(extractWith7z(archive, m_work + QStringLiteral("/again")), QString());
    QCOMPARE(testenv::readFile(m_work + QStringLiteral("/again/data.bin")), QByteArray("changed"));
    QVERIFY(leftovers(m_work).isEmpty());
}

void TestArchiveRoundTrip::everyOfferedMethodWrites_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("method");
    QTest::addColumn<uint>("level");
    QTest::addColumn<QString>("listed");
    for (int format : {int(ZF_7Z), int(ZF_ZIP)}) {
        const ZipFormatInfo& info = SupportedFormats[format];
        const bool offered[6] = {info.LZMA2, info.LZMA, info.PPMd, info.BZip2, info.Deflate, info.Deflate64};
        for (int method = 0; method < 6; ++method) {
            if (offered[method])
                QTest::addRow("%s %s", qPrintable(info.extension), qPrintable(ZipMethodPropValues[method]))
                    << format << method << 5u << ZipMethodPropValues[method].left(4);
        }
    }
    // Level 0 stores, whatever the method.
    QTest::newRow("7z level 0") << int(ZF_7Z) << 1 << 0u << "Copy";
    QTest::newRow("zip level 0") << int(ZF_ZIP) << 1 << 0u << "Store";
}

void TestArchiveRoundTrip::everyOfferedMethodWrites()
{
    QFETCH(int, format);
    QFETCH(int, method);
    QFETCH(uint, level);
    QFETCH(QString, listed);
    const QString archive = m_work + QStringLiteral("/method.") + SupportedFormats[format].extension;
    CompressOptions options = compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format));
    options.method = method;
    options.level = level;
    Run run;
    run.compress(options);
    QVERIFY(run.ok());
    QVERIFY(passes7zTest(archive));
    const QString listing = slt(archive);
    const QString top = listing.mid(listing.indexOf(QLatin1String("Path = top.txt")));
    static const QRegularExpression methodLine(QStringLiteral("\nMethod = ([A-Za-z0-9]+)"));
    QVERIFY2(methodLine.match(top).captured(1).startsWith(listed, Qt::CaseInsensitive), qPrintable(top));
    QCOMPARE(extractWith7z(archive, m_work + QStringLiteral("/out")), QString());
    QCOMPARE(testenv::compareTrees(m_source, m_work + QStringLiteral("/out")), QString());
}

void TestArchiveRoundTrip::encryptedArchiveNeedsThePassword()
{
    const QString archive = m_work + QStringLiteral("/secret.7z");
    CompressOptions options = compressRequest(archive, m_source, topLevelPaths(m_source), ZF_7Z);
    options.password = QStringLiteral("kept ✓ safe");
    Run run;
    run.compress(options);
    QVERIFY(run.ok());
    QVERIFY(!passes7zTest(archive, {QStringLiteral("-pwrong")}));
    QVERIFY(passes7zTest(archive, {QStringLiteral("-pkept ✓ safe")}));
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
    const QString archive = m_work + QStringLiteral("/split.") + extension;
    CompressOptions options = compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format));
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

    const QString target = m_work + QStringLiteral("/out");
    Run extract;
    extract.extract(extractRequest(first, target));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QVERIFY(leftovers(m_work).isEmpty());
}

void TestArchiveRoundTrip::volumeSizeKeepsAllItsBits()
{
    // 4 GiB + 64 KiB: cut to 32 bits it would be 64 KiB and the archive
    // would fall into many volumes.
    const QString folder = testenv::makeDir(QStringLiteral("large"));
    testenv::writeFile(folder + QStringLiteral("/noise.bin"), randomBytes(300000, 5));
    const QString archive = m_work + QStringLiteral("/large.7z");
    CompressOptions options = compressRequest(archive, folder, {folder + QStringLiteral("/noise.bin")}, ZF_7Z);
    options.volumeSize = (qint64(1) << 32) + 65536;
    Run run;
    run.compress(options);
    QVERIFY(run.ok());
    QVERIFY(QFileInfo::exists(archive + QStringLiteral(".001")));
    QVERIFY(!QFileInfo::exists(archive + QStringLiteral(".002")));
    QVERIFY(QFileInfo(archive + QStringLiteral(".001")).size() > 300000);
    QVERIFY(passes7zTest(archive + QStringLiteral(".001")));
}

void TestArchiveRoundTrip::splitOverExistingFirstVolumeIsRefused()
{
    const QString archive = m_work + QStringLiteral("/set.7z");
    testenv::writeFile(archive + QStringLiteral(".001"), "someone's volume");
    CompressOptions options = compressRequest(archive, m_source, topLevelPaths(m_source), ZF_7Z);
    options.volumeSize = 20000;
    Run run;
    run.compress(options);
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QCOMPARE(run.answerer.errors, QStringList{QStringLiteral("Error: cannot add to multi-volume archive ") + archive});
    QCOMPARE(testenv::readFile(archive + QStringLiteral(".001")), QByteArray("someone's volume"));
    QCOMPARE(QDir(m_work).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("set.7z.001")});
}

// --- Compressed tar files ---------------------------------------------------------------

void TestArchiveRoundTrip::compressedTarLeavesSameNamedTarAlone()
{
    const QString archive = m_work + QStringLiteral("/pack.tar.gz");
    testenv::writeFile(m_work + QStringLiteral("/pack.tar"), "not to be touched");
    const QDateTime before = QFileInfo(m_work + QStringLiteral("/pack.tar")).lastModified();
    Run run;
    run.compress(compressRequest(archive, m_source, topLevelPaths(m_source), ZF_TAR_GZIP));
    QVERIFY(run.ok());
    QCOMPARE(testenv::readFile(m_work + QStringLiteral("/pack.tar")), QByteArray("not to be touched"));
    QCOMPARE(QFileInfo(m_work + QStringLiteral("/pack.tar")).lastModified(), before);
    QCOMPARE(QDir(m_work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList({QStringLiteral("pack.tar"), QStringLiteral("pack.tar.gz")}));
    QVERIFY(passes7zTest(archive));
}

void TestArchiveRoundTrip::compressedTarTakesMoreFiles()
{
    const QString archive = m_work + QStringLiteral("/grow.tar.bz2");
    Run first;
    first.compress(compressRequest(archive, m_source, {m_source + QStringLiteral("/docs")}, ZF_TAR_BZIP2));
    QVERIFY(first.ok());

    CompressOptions more = compressRequest(archive, m_source, {m_source + QStringLiteral("/top.txt")}, ZF_TAR_BZIP2);
    more.addToExisting = true;
    Run second;
    second.compress(more);
    QVERIFY(second.ok());
    QVERIFY(passes7zTest(archive));

    const QString target = m_work + QStringLiteral("/out");
    Run extract;
    extract.extract(extractRequest(archive, target));
    QVERIFY(extract.ok());
    QCOMPARE(testenv::readFile(target + QStringLiteral("/top.txt")), sampleFiles().value(QStringLiteral("top.txt")));
    QCOMPARE(testenv::readFile(target + QStringLiteral("/docs/a.txt")), sampleFiles().value(QStringLiteral("docs/a.txt")));
    QVERIFY(leftovers(m_work).isEmpty());
}

QUENVAR_TEST_MAIN(TestArchiveRoundTrip)
#include "tst_archiveroundtrip.moc"
