// The associations in a real mimeapps.list under the private XDG folders:
// what registering and unregistering leave in the file, what is read back,
// and that a failed write keeps the user's file.
#include "common/testenv.h"

#include "app/settings.h"
#include "desktop/RegistryUtils.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>

Q_DECLARE_METATYPE(ZipFormat)

class TestAssociations : public QObject
{
    Q_OBJECT

private:
    // Where the desktop looks; HOME/.config is another folder here.
    QString listPath() const { return qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list"; }

private slots:
    void init();
    void fileAfterRegistering_data();
    void fileAfterRegistering();
    void failedWriteKeepsTheFile();
    void firstRunRegistrationHappensOnce();
};

void TestAssociations::init()
{
    QFile::remove(listPath());
    for (auto scope : {QSettings::UserScope, QSettings::SystemScope})
        QSettings(QSettings::NativeFormat, scope, "Quenvar", "Settings").clear();
}

void TestAssociations::fileAfterRegistering_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<QList<ZipFormat>>("formats");
    QTest::addColumn<int>("times");
    QTest::addColumn<QByteArray>("after");

    const QByteArray zipOnly = "[Added Associations]\napplication/zip=Quenvar.desktop\n\n"
                               "[Default Applications]\napplication/zip=Quenvar.desktop\n";
    QTest::newRow("no file, zip") << QByteArray() << QList<ZipFormat>{ZF_ZIP} << 1 << zipOnly;
    QTest::newRow("twice gives one line per header")
        << QByteArray() << QList<ZipFormat>{ZF_ZIP} << 2 << zipOnly;
    QTest::newRow("another program's zip line goes when registering")
        << QByteArray(
               "[Added Associations]\napplication/zip=ark.desktop\n"
               "[Default Applications]\napplication/zip = ark.desktop;\ntext/plain=gedit.desktop\n")
        << QList<ZipFormat>{ZF_ZIP} << 1
        << QByteArray(
               "[Added Associations]\napplication/zip=Quenvar.desktop\n[Default Applications]\n"
               "application/zip=Quenvar.desktop\ntext/plain=gedit.desktop\n");
    QTest::newRow("and when unregistering")
        << QByteArray("[Default Applications]\napplication/zip=ark.desktop\n") << QList<ZipFormat>{}
        << 1 << QByteArray("[Default Applications]\n");
    QTest::newRow("unregistering all keeps headers and other types")
        << QByteArray(
               "# mine\n[Added Associations]\napplication/x-tar=Quenvar.desktop\n"
               "image/png=gimp.desktop\n[Default Applications]\n"
               "application/x-tar=Quenvar.desktop\r\ntext/plain=gedit.desktop")
        << QList<ZipFormat>{} << 1
        << QByteArray(
               "# mine\n[Added Associations]\nimage/png=gimp.desktop\n[Default Applications]\n"
               "text/plain=gedit.desktop\n");
    // Lines of types that only begin with a registered type are another's.
    QTest::newRow("longer types sharing the prefix stay")
        << QByteArray("[Default Applications]\napplication/x-xz-compressed-tar=ark.desktop\n"
                      "application/x-tarz=ark.desktop\n")
        << QList<ZipFormat>{ZF_XZ, ZF_TAR} << 1
        << QByteArray(
               "[Added Associations]\napplication/x-xz=Quenvar.desktop\n"
               "application/x-tar=Quenvar.desktop\n"
               "[Default Applications]\napplication/x-xz=Quenvar.desktop\n"
               "application/x-tar=Quenvar.desktop\n"
               "application/x-xz-compressed-tar=ark.desktop\napplication/x-tarz=ark.desktop\n");
    // A key before the first group makes desktop parsers drop the whole
    // file, so a missing header comes first, with the line under it.
    QTest::newRow("missing Added header comes first")
        << QByteArray("[Default Applications]\ntext/plain=gedit.desktop\n")
        << QList<ZipFormat>{ZF_ZIP} << 1
        << QByteArray(
               "[Added Associations]\napplication/zip=Quenvar.desktop\n[Default Applications]\n"
               "application/zip=Quenvar.desktop\ntext/plain=gedit.desktop\n");
    QTest::newRow("empty file gets both headers")
        << QByteArray("") << QList<ZipFormat>{ZF_7Z} << 1
        << QByteArray("[Added Associations]\napplication/x-7z-compressed=Quenvar.desktop\n"
                      "[Default Applications]\napplication/x-7z-compressed=Quenvar.desktop\n");
}

void TestAssociations::fileAfterRegistering()
{
    QFETCH(QByteArray, before);
    QFETCH(QList<ZipFormat>, formats);
    QFETCH(int, times);
    QFETCH(QByteArray, after);

    if (!before.isNull())
        QVERIFY(testenv::writeFile(listPath(), before));
    for (int i = 0; i < times; ++i)
        SetRegisteredExtensions_local(formats);
    QCOMPARE(testenv::readFile(listPath()), after);
    QVERIFY(!QFileInfo::exists(testenv::home() + "/.config/mimeapps.list"));
}

void TestAssociations::failedWriteKeepsTheFile()
{
    const QByteArray original =
        "[Default Applications]\napplication/zip=ark.desktop\ntext/plain=gedit.desktop\n";
    QVERIFY(testenv::writeFile(listPath(), original));

    // The disk fills up while the new file is written: every format's
    // edit fails on its own and says why.
    for (const ZipFormatInfo& row : SupportedFormats) {
        if (isAssociableFormat(row.format))
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^Cannot write .*/mimeapps.list: \\S"));
    }
    {
        testenv::FileSizeLimit diskFull(original.size() / 2);
        SetRegisteredExtensions_local(getListOfExtensionsToRegister());
    }
    QCOMPARE(testenv::readFile(listPath()), original);
    QCOMPARE(QDir(QFileInfo(listPath()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"mimeapps.list"});
}

void TestAssociations::firstRunRegistrationHappensOnce()
{
    registerLocalAssociationsIfNeeded();
    QVERIFY(!QFileInfo::exists(listPath()));

    // After a system-wide "r" the next start associates every format.
    CSettings::setBoolValue("globalRegistered", true, true);
    registerLocalAssociationsIfNeeded();
    QCOMPARE(GetRegisteredExtensions_local().size(), ZipFormatCount);
    QCOMPARE(CSettings::getBoolValue("globalRegistered", true), false);

    // An ordinary user cannot clear the system-wide flag; what the user
    // unticked stays unticked at the next start all the same.
    CSettings::setBoolValue("globalRegistered", true, true);
    SetRegisteredExtensions_local({ZF_7Z});
    registerLocalAssociationsIfNeeded();
    QCOMPARE(GetRegisteredExtensions_local(), QList<ZipFormat>{ZF_7Z});
}

QUENVAR_TEST_MAIN(TestAssociations)
#include "tst_associations.moc"
