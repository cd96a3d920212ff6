// The settings store: first-run defaults, panel paths, scopes, process flags.
#include "common/testenv.h"

#include "app/settings.h"

#include <QDir>
#include <QSettings>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    QString settingsFile() const { return qEnvironmentVariable("XDG_CONFIG_HOME") + "/Quenvar/Settings.conf"; }

private slots:
    void init();
    void firstRunWritesDefaultsOnce();
    void lowInitVersionMakesAFirstRunAgain();
    void everyCallSeesTheFile();
    void rememberLastDirectoryOff();
    void savedPathInsideArchive();
    void savedPlainDirectoryIsKept();
    void emptySavedPathGivesHome();
    void systemScopeWithoutFileIsAbsent();
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

void TestSettings::rememberLastDirectoryOff()
{
    CSettings::initSettings();
    CSettings::setPanelPath(0, "/usr");
    CSettings::setPanelPath(1, "/etc");
    CSettings::setBoolValue("ShouldRememberLastDirectory", false);
    QCOMPARE(CSettings::getPanelPath(0), QDir::homePath());
    QCOMPARE(CSettings::getPanelPath(1), QDir::homePath());
    CSettings::setBoolValue("ShouldRememberLastDirectory", true);
    QCOMPARE(CSettings::getPanelPath(0), QStringLiteral("/usr"));
    QCOMPARE(CSettings::getPanelPath(1), QStringLiteral("/etc"));
}

void TestSettings::savedPathInsideArchive()
{
    CSettings::initSettings();
    const QString dir = testenv::makeDir("panel");
    testenv::writeFile(dir + "/photos.7z", "7z");
    const QString inside = dir + "/photos.7z/holiday/2024";
    CSettings::setPanelPath(0, inside);

    CSettings::setBoolValue("DoNotOpenSavedArchives", true);
    QCOMPARE(CSettings::getPanelPath(0), dir);
    CSettings::setBoolValue("DoNotOpenSavedArchives", false);
    QCOMPARE(CSettings::getPanelPath(0), inside);
}

void TestSettings::savedPlainDirectoryIsKept()
{
    // A saved folder that does not run through a file is opened as it is,
    // not replaced by its parent.
    CSettings::initSettings();
    const QString dir = testenv::makeDir("plain");
    CSettings::setPanelPath(1, dir);
    CSettings::setBoolValue("DoNotOpenSavedArchives", true);
    QCOMPARE(CSettings::getPanelPath(1), dir);
    CSettings::setBoolValue("DoNotOpenSavedArchives", false);
}

void TestSettings::emptySavedPathGivesHome()
{
    CSettings::initSettings();
    QCOMPARE(CSettings::getPanelPath(0), QDir::homePath());
}

void TestSettings::systemScopeWithoutFileIsAbsent()
{
    CSettings::setBoolValue("globalRegistered", true); // user scope only
    QVERIFY(!CSettings::getValue("globalRegistered", true).isValid());
    QVERIFY(!CSettings::getBoolValue("globalRegistered", true));
    QVERIFY(!CSettings::contains("globalRegistered", true));
}

QUENVAR_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
