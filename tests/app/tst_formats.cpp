// The format table, the request records and their helpers.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/settings.h"
#include "fileops/FileUtils.h"

#include <QIcon>
#include <QStorageInfo>
#include <QTextStream>

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void tableRowsMatchTheirFormat();
    void tableRows_data();
    void tableRows();
    void engineClassIdentifiers();
    void namesAndMethods();
    void compressDefaults();
    void extractDefaultsFollowSetting();
    void baseDirectoryByPathType();
    void totalSizeAndForwardSlashes();
    void itemStreamRoundTrip();
    void itemStreamParsesAnyNonZeroAsDirectory();
    void xmlNames();
    void errorTexts();
    void programIcon();
};

void TestFormats::tableRowsMatchTheirFormat()
{
    for (int i = 0; i < ZipFormatCount; ++i)
        QCOMPARE(int(SupportedFormats[i].format), i);
}

void TestFormats::tableRows_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("mime");
    QTest::addColumn<bool>("encryption");
    QTest::addColumn<QString>("methods"); // L2 L P B D D64
    QTest::addColumn<QString>("levels");  // St F1 F N M U
    QTest::addColumn<int>("singleFile");
    QTest::addColumn<QByteArray>("signature");

    QTest::newRow("7z") << 0 << "7z" << "application/x-7z-compressed" << true << "111100" << "111111" << 0
                        << QByteArray::fromHex("377ABCAF271CFFFF");
    QTest::newRow("bzip2") << 1 << "bz2" << "application/x-bzip2" << false << "000100" << "011111" << 1
                           << QByteArray::fromHex("425A68FFFFFFFFFF");
    QTest::newRow("gzip") << 2 << "gz" << "application/x-gzip" << false << "000010" << "010111" << 1
                          << QByteArray::fromHex("1F8BFFFFFFFFFFFF");
    QTest::newRow("tar") << 3 << "tar" << "application/x-tar" << false << "000000" << "100000" << 0
                         << QByteArray::fromHex("FFFFFFFFFFFFFFFF");
    QTest::newRow("wim") << 4 << "wim" << "application/x-ms-wim" << false << "000000" << "100000" << 0
                         << QByteArray::fromHex("4D5357494DFFFFFF");
    QTest::newRow("xz") << 5 << "xz" << "application/x-xz" << false << "100000" << "011111" << 1
                        << QByteArray::fromHex("FD377A585A0000FF");
    QTest::newRow("zip") << 6 << "zip" << "application/zip" << true << "011111" << "111111" << 0
                         << QByteArray::fromHex("504BFFFFFFFFFFFF");
    QTest::newRow("qv") << 7 << "qv" << "application/qv" << true << "010000" << "000100" << 0
                        << QByteArray::fromHex("504BFFFFFFFFFFFF");
    QTest::newRow("tar.xz") << 8 << "tar.xz" << "application/x-xz" << false << "010000" << "000100" << 0
                            << QByteArray::fromHex("504BFFFFFFFFFFFF");
    QTest::newRow("tar.bz2") << 9 << "tar.bz2" << "application/x-bzip2" << false << "010000" << "000100" << 0
                             << QByteArray::fromHex("504BFFFFFFFFFFFF");
    QTest::newRow("tar.gz") << 10 << "tar.gz" << "application/x-gzip" << false << "010000" << "000100" << 0
                            << QByteArray::fromHex("504BFFFFFFFFFFFF");
    QTest::newRow("rar5") << 11 << "rar" << "application/x-rar-compressed" << false << "010000" << "000100" << 0
                          << QByteArray::fromHex("526172211A070100");
    QTest::newRow("rar4") << 12 << "rar" << "application/x-rar-compressed" << false << "010000" << "000100" << 0
                          << QByteArray::fromHex("526172211A0700FF");
}

void TestFormats::tableRows()
{
    QFETCH(int, format);
    QFETCH(QString, extension);
    QFETCH(QString, mime);
    QFETCH(bool, encryption);
    QFETCH(QString, methods);
    QFETCH(QString, levels);
    QFETCH(int, singleFile);
    QFETCH(QByteArray, signature);

    const ZipFormatInfo& row = SupportedFormats[format];
    QCOMPARE(row.extension, extension);
    QCOMPARE(row.mimeType, mime);
    QCOMPARE(row.supportsEncryption, encryption);
    const bool m[6] = {row.LZMA2, row.LZMA, row.PPMd, row.BZip2, row.Deflate, row.Deflate64};
    const bool l[6] = {row.Store, row.Fastest, row.Fast, row.Normal, row.Maximum, row.Ultra};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(m[i], methods.at(i) == QLatin1Char('1'));
        QCOMPARE(l[i], levels.at(i) == QLatin1Char('1'));
    }
    QCOMPARE(row.singleFile, singleFile);
    // Bytes after the end mark are not part of the signature.
    const QByteArray actual(reinterpret_cast<const char*>(row.signature), 8);
    const int end = signature.indexOf(char(0xFF));
    QCOMPARE(actual.left(end < 0 ? 8 : end + 1), signature.left(end < 0 ? 8 : end + 1));
}

void TestFormats::engineClassIdentifiers()
{
    // {23170F69-40C1-278A-1000-000110070000} in memory, little-endian fields.
    const QByteArray sevenZip = QByteArray::fromHex("690F1723C1408A271000000110070000");
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(&SupportedFormats[ZF_7Z].clsid), 16), sevenZip);
    QCOMPARE(SupportedFormats[ZF_7Z].clsid, CLSID_CFormat7z);
    QCOMPARE(SupportedFormats[ZF_BZIP2].clsid, CLSID_CFormatBZip2);
    QCOMPARE(SupportedFormats[ZF_GZIP].clsid, CLSID_CFormatGZip);
    QCOMPARE(SupportedFormats[ZF_TAR].clsid, CLSID_CFormatTar);
    QCOMPARE(SupportedFormats[ZF_WIM].clsid, CLSID_CFormatWim);
    QCOMPARE(SupportedFormats[ZF_XZ].clsid, CLSID_CFormatXz);
    QCOMPARE(SupportedFormats[ZF_ZIP].clsid, CLSID_CFormatZip);
    QCOMPARE(SupportedFormats[ZF_RAR5].clsid, CLSID_CFormatRar5);
    QCOMPARE(SupportedFormats[ZF_RAR].clsid, CLSID_CFormatRar4);
    // Rows routed by name carry the zip handler's identifier.
    for (ZipFormat f : {ZF_QV, ZF_TAR_XZ, ZF_TAR_BZIP2, ZF_TAR_GZIP})
        QCOMPARE(SupportedFormats[f].clsid, CLSID_CFormatZip);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(&CLSID_CFormatRar5), 16),
             QByteArray::fromHex("690F1723C1408A271000000110CC0000"));
}

void TestFormats::namesAndMethods()
{
    const QStringList expected = {"7z",  "bzip2",  "gzip",    "tar",    "wim", "xz", "zip",
                                  "qv",  "tar.xz", "tar.bz2", "tar.gz", "",    ""};
    for (int i = 0; i < ZipFormatCount; ++i)
        QCOMPARE(ZipFormatNames[i], expected.at(i));
    QVERIFY(ZipFormatNames[ZF_RAR5].isEmpty() && ZipFormatNames[ZF_RAR].isEmpty());
    const QStringList methods = {"LZMA2", "LZMA", "PPMD", "BZIP2", "DEFLATE", "DEFLATE64"};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(ZipMethodPropValues[i], methods.at(i));
}

void TestFormats::compressDefaults()
{
    const CompressOptions o;
    QCOMPARE(o.format, ZF_7Z);
    QCOMPARE(o.level, 5u);
    QCOMPARE(ZipMethodPropValues[o.method], QStringLiteral("LZMA"));
    QCOMPARE(o.updateMethod, UM_ADD_AND_REPLACE);
    QVERIFY(o.useLargePages);
    QCOMPARE(o.volumeSize, int64_t(-1));
    QVERIFY(o.itemsToDelete.isEmpty());
    QCOMPARE(o.itemToRename, int64_t(-1));
    QVERIFY(!o.addToExisting && !o.shouldClearTheSoure);
    QVERIFY(o.archivePath.isEmpty() && o.files.isEmpty() && o.password.isEmpty());
}

void TestFormats::extractDefaultsFollowSetting()
{
    CSettings::setBoolValue("RemoveDuplicatesRoot", false);
    ExtractOptions plain;
    QCOMPARE(plain.pathMode, 2);
    QCOMPARE(plain.overwriteMode, 0);
    QVERIFY(plain.extractFlag);
    QCOMPARE(plain.volumeIndex, -1);
    QVERIFY(!plain.removeDuplicatesRoot);
    CSettings::setBoolValue("RemoveDuplicatesRoot", true);
    QVERIFY(ExtractOptions().removeDuplicatesRoot);
    CSettings::setBoolValue("RemoveDuplicatesRoot", false);
}

void TestFormats::baseDirectoryByPathType()
{
    const QString dir = testenv::makeDir("base");
    QCOMPARE(CompressOptions::getBaseDirectory(PT_RELATIVE, dir), dir);
    QVERIFY(CompressOptions::getBaseDirectory(PT_ABSOLUTE, dir).isEmpty());
    QVERIFY(CompressOptions::getBaseDirectory(PT_ABSOLUTE, "/usr/share").isEmpty());

    // The mount point of the folder's file system, without a trailing slash;
    // the root file system gives an empty string.
    QString mount = QStorageInfo(dir).rootPath();
    if (mount == "/")
        mount.clear();
    QCOMPARE(CompressOptions::getBaseDirectory(PT_FULL, dir), mount);
    QCOMPARE(CompressOptions::getBaseDirectory(PT_FULL, "/"), QString());
    if (QStorageInfo("/dev/shm").rootPath() == "/dev/shm")
        QCOMPARE(CompressOptions::getBaseDirectory(PT_FULL, "/dev/shm"), QStringLiteral("/dev/shm"));
}

void TestFormats::totalSizeAndForwardSlashes()
{
    const QString dir = testenv::makeDir("sizes");
    testenv::writeFile(dir + "/a", QByteArray(1000, 'a'));
    testenv::writeFile(dir + "/b", QByteArray(24, 'b'));
    CompressOptions o;
    o.files = QStringList{dir + "/a", dir + "/b", dir + "/missing"};
    QCOMPARE(o.totalSizeToUpdate(), int64_t(1024));

    o.archivePath = "C:\\x\\a.7z";
    o.baseDirectory = "C:\\x";
    o.archiveFolder = "in\\side";
    o.files = QStringList{"a\\b", "c"};
    o.makeForwardSlashes();
    QCOMPARE(o.archivePath, QStringLiteral("C:/x/a.7z"));
    QCOMPARE(o.baseDirectory, QStringLiteral("C:/x"));
    QCOMPARE(o.archiveFolder, QStringLiteral("in/side"));
    QCOMPARE(o.files, QStringList({"a/b", "c"}));
}

void TestFormats::itemStreamRoundTrip()
{
    QList<ArchiveItemInfo> items;
    ArchiveItemInfo big;
    big.name = QString::fromUtf8("папка/файл 名前.bin");
    big.size = 5ULL * 1024 * 1024 * 1024 + 7; // above 4 GiB
    big.auxNumber = 4000000000u;
    ArchiveItemInfo dir;
    dir.name = "folder";
    dir.isDir = true;
    items << big << dir;

    QString text;
    {
        QTextStream out(&text);
        for (const ArchiveItemInfo& item : items)
            item.toStream(out);
    }
    QCOMPARE(text.count('\n'), 8);

    QTextStream in(&text);
    for (const ArchiveItemInfo& expected : items) {
        ArchiveItemInfo read;
        read.fromStream(in);
        QCOMPARE(read.name, expected.name);
        QCOMPARE(read.isDir, expected.isDir);
        QCOMPARE(read.size, expected.size);
        QCOMPARE(read.auxNumber, expected.auxNumber);
    }
}

void TestFormats::itemStreamParsesAnyNonZeroAsDirectory()
{
    QString text = "x\n7\n0\n0\n";
    QTextStream in(&text);
    ArchiveItemInfo item;
    item.fromStream(in);
    QVERIFY(item.isDir);
}

void TestFormats::xmlNames()
{
    QCOMPARE(stringToZipFormat("7z"), ZF_7Z);
    QCOMPARE(stringToZipFormat("qv"), ZF_QV);
    QCOMPARE(stringToZipFormat("zip"), ZF_ZIP);
    QCOMPARE(stringToZipFormat("tar"), ZF_TAR);
    QCOMPARE(stringToZipFormat("wim"), ZF_WIM);
    QCOMPARE(stringToZipFormat("tar_xz"), ZF_TAR_XZ);
    QCOMPARE(stringToZipFormat("tar_bzip2"), ZF_TAR_BZIP2);
    QCOMPARE(stringToZipFormat("tar_gzip"), ZF_TAR_GZIP);
    // Unknown names, other spellings and the single-stream formats read as zip.
    QCOMPARE(stringToZipFormat("bzip2"), ZF_ZIP);
    QCOMPARE(stringToZipFormat("7Z"), ZF_ZIP);
    QCOMPARE(stringToZipFormat(""), ZF_ZIP);

    QCOMPARE(pathTypeFromString("relative"), PT_RELATIVE);
    QCOMPARE(pathTypeFromString("full"), PT_FULL);
    QCOMPARE(pathTypeFromString("absolute"), PT_ABSOLUTE);
    QCOMPARE(pathTypeFromString("Absolute"), PT_RELATIVE);
    QCOMPARE(pathTypeFromString("whatever"), PT_RELATIVE);
}

void TestFormats::errorTexts()
{
    QVERIFY(langStringText(LS_NONE).isEmpty());
    QCOMPARE(langStringText(LS_FORMAT_NOT_SUPPORTED), QStringLiteral("Cannot extract archive. Format is not supported"));
    QCOMPARE(langStringText(LS_CANNOT_RENAME_FILE).arg("a", "b"), QStringLiteral("Cannot rename file a to b"));
    QCOMPARE(langStringText(LS_ARCHIVE_IS_SOURCE),
             QStringLiteral("Error: filename of archive is the same as one of the files for packing %1"));
    QCOMPARE(langStringText(LS_MULTIVOLUME_UPDATE), QStringLiteral("Error: cannot add to multi-volume archive %1"));
    QCOMPARE(langStringText(LS_ADDING_ITSELF),
             QStringLiteral("Adding itself or its parent directory to the archive is not allowed"));
    QCOMPARE(langStringText(LS_CANNOT_WRITE_ARCHIVE).arg("a.7z"), QStringLiteral("Cannot write archive a.7z"));
    QVERIFY(langStringText(static_cast<LangStringID>(LangStringCount)).isEmpty());
    for (int i = 1; i < LangStringCount; ++i)
        QVERIFY2(!langStringText(static_cast<LangStringID>(i)).isEmpty(), qPrintable(QString::number(i)));
}

void TestFormats::programIcon()
{
    const QIcon icon(":ico/Quenvar.ico");
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    QVERIFY(!icon.pixmap(48, 48).isNull());
}

QUENVAR_TEST_MAIN(TestFormats)
#include "tst_formats.moc"
