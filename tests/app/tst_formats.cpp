// The request records and their helpers; the format table as the rest of the
// program indexes it.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/settings.h"

#include <QIcon>
#include <QStorageInfo>
#include <QTextStream>

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void tablesCoverEveryIndex();
    void extractDefaultsFollowSetting();
    void baseDirectoryByPathType();
    void totalSizeAndForwardSlashes();
    void itemStreamRoundTrip();
};

void TestFormats::tablesCoverEveryIndex()
{
    for (int i = 0; i < ZipFormatCount; ++i)
        QCOMPARE(int(SupportedFormats[i].format), i);
    QVERIFY(langStringText(LS_NONE).isEmpty());
    QVERIFY(langStringText(static_cast<LangStringID>(LangStringCount)).isEmpty());
    for (int i = 1; i < LangStringCount; ++i)
        QVERIFY2(!langStringText(static_cast<LangStringID>(i)).isEmpty(), qPrintable(QString::number(i)));
    const QIcon icon(":ico/Quenvar.ico");
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
}

void TestFormats::extractDefaultsFollowSetting()
{
    CSettings::setBoolValue("RemoveDuplicatesRoot", false);
    QVERIFY(!ExtractOptions().removeDuplicatesRoot);
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
    ArchiveItemInfo big;
    big.name = QString::fromUtf8("папка/файл 名前.bin");
    big.size = 5ULL * 1024 * 1024 * 1024 + 7; // above 4 GiB
    big.auxNumber = 4000000000u;
    ArchiveItemInfo dir;
    dir.name = "folder";
    dir.isDir = true;
    const QList<ArchiveItemInfo> items{big, dir};
    QString text;
    {
        QTextStream out(&text);
        for (const ArchiveItemInfo& item : items)
            item.toStream(out);
    }
    QCOMPARE(text.count('\n'), 8);
    // Any number other than 0 marks a folder.
    text += "x\n7\n0\n0\n";
    QTextStream in(&text);
    for (const ArchiveItemInfo& expected : items) {
        ArchiveItemInfo read;
        read.fromStream(in);
        QCOMPARE(read.name, expected.name);
        QCOMPARE(read.isDir, expected.isDir);
        QCOMPARE(read.size, expected.size);
        QCOMPARE(read.auxNumber, expected.auxNumber);
    }
    ArchiveItemInfo seven;
    seven.fromStream(in);
    QVERIFY(seven.isDir);
}

QUENVAR_TEST_MAIN(TestFormats)
#include "tst_formats.moc"
