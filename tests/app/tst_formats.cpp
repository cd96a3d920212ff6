// The request records and their helpers; the format table as the rest of the
// program indexes it.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/settings.h"

#include <QIcon>
#include <QStorageInfo>

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void tablesCoverEveryIndex();
    void extractDefaultsFollowSetting();
    void baseDirectoryByPathType();
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

QUENVAR_TEST_MAIN(TestFormats)
#include "tst_formats.moc"
