// The settings store: first-run defaults, panel paths, scopes, and the
// extraction default that follows a setting.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/settings.h"

#include <QDir>
#include <QSettings>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    QString settingsFile() const
    {
        return qEnvironmentVariable("XDG_CONFIG_HOME") + "/Quenvar/Settings.conf";
    }

private slots:
    void init();
    void firstRunWritesDefaultsOnce();
    void lowInitVersionMakesAFirstRunAgain();
    void everyCallSeesTheFile();
    void panelPaths_data();
    void panelPaths();
    void systemScopeWithoutFileIsAbsent();
    void extractDefaultsFollowSetting();
};

void TestSettings::init()
{
    QFile::remove(settingsFile());
}

void TestSettings::firstRunWritesDefaultsOnce()
{
    QVERIFY(!QFile::exists(settingsFile()));
    CSettings::initSettings();
    QVERIFY(QFile::exists(settingsFile()));

    QVERIFY(CSettings::getBoolValue("DualPanel"));
    QCOMPARE(CSettings::getIntValue("InitVersion"), 1LL);

    // A second run leaves the user's changes alone.
    CSettings::setBoolValue("DualPanel", false);
    const QByteArray before = testenv::readFile(settingsFile());
    CSettings::initSettings();
    QCOMPARE(testenv::readFile(settingsFile()), before);
    QVERIFY(!CSettings::getBoolValue("DualPanel"));
}

void TestSettings::lowInitVersionMakesAFirstRunAgain()
{
    CSettings::setIntValue("InitVersion", 0);
    CSettings::setBoolValue("ViewPath", false);
    CSettings::initSettings();
    QVERIFY(CSettings::getBoolValue("ViewPath"));
    QCOMPARE(CSettings::getIntValue("InitVersion"), 1LL);
}

void TestSettings::everyCallSeesTheFile()
{
    CSettings::setStringValue("Probe", "one");
    // Another writer changes the file behind the facade's back.
    {
        QSettings other(settingsFile(), QSettings::IniFormat);
        other.setValue("Probe", "two");
    }
    QCOMPARE(CSettings::getStringValue("Probe"), QStringLiteral("two"));
    QVERIFY(CSettings::contains("Probe"));
    QVERIFY(!CSettings::contains("NeverWritten"));
    QVERIFY(!CSettings::getValue("NeverWritten").isValid());
}

void TestSettings::panelPaths_data()
{
    QTest::addColumn<QString>("stored"); // "<dir>": a folder of this test
    QTest::addColumn<bool>("remember");
    QTest::addColumn<bool>("doNotOpenArchives");
    QTest::addColumn<QString>("shown");
    const QString inside = "<dir>/photos.7z/holiday/2024";
    QTest::newRow("nothing stored: home") << "" << true << false << QDir::homePath();
    QTest::newRow("not remembered: home") << "/usr" << false << false << QDir::homePath();
    QTest::newRow("remembered") << "/usr" << true << false << "/usr";
    QTest::newRow("inside an archive, reopened") << inside << true << false << inside;
    QTest::newRow("inside an archive, not reopened: its folder")
        << inside << true << true << "<dir>";
    QTest::newRow("a plain folder is no archive") << "<dir>" << true << true << "<dir>";
}

void TestSettings::panelPaths()
{
    QFETCH(QString, stored);
    QFETCH(bool, remember);
    QFETCH(bool, doNotOpenArchives);
    QFETCH(QString, shown);
    const QString dir = testenv::makeDir("panel");
    testenv::writeFile(dir + "/photos.7z", "7z");
    CSettings::initSettings();
    for (int panel : {0, 1})
        CSettings::setPanelPath(panel, stored.replace("<dir>", dir));
    CSettings::setBoolValue("ShouldRememberLastDirectory", remember);
    CSettings::setBoolValue("DoNotOpenSavedArchives", doNotOpenArchives);
    shown.replace("<dir>", dir);
    for (int panel : {0, 1})
        QCOMPARE(CSettings::getPanelPath(panel), shown);
}

void TestSettings::systemScopeWithoutFileIsAbsent()
{
    CSettings::setBoolValue("globalRegistered", true); // user scope only
    QVERIFY(!CSettings::getValue("globalRegistered", true).isValid());
    QVERIFY(!CSettings::getBoolValue("globalRegistered", true));
    QVERIFY(!CSettings::contains("globalRegistered", true));
}

void TestSettings::extractDefaultsFollowSetting()
{
    for (bool remove : {true, false}) {
        CSettings::setBoolValue("RemoveDuplicatesRoot", remove);
        QCOMPARE(ExtractOptions().removeDuplicatesRoot, remove);
    }
}

QUENVAR_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
