// The settings store (first-run defaults, panel paths, scopes, the
// extraction default that follows a setting) and the log (written only on
// request, one stamped line per message, from any thread).
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/Logger.h"
#include "app/settings.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>

class TestSettings : public QObject
{
    Q_OBJECT


private:
    QString dataDir() const
    {
        return QStandardPaths::standardLocations(QStandardPaths::AppDataLocation).first();
    }
    QStringList logLines() const
    {
        return QString::fromUtf8(testenv::readFile(dataDir() + "/Logs/Quenvar.log"))
            .split('\n', Qt::SkipEmptyParts);
    }


    QString settingsFile() const
    {
        return qEnvironmentVariable("XDG_CONFIG_HOME") + "/Quenvar/Settings.conf";
    }

private slots:
    void initTestCase()
    {
        static Logger logger(QStringLiteral("Quenvar.log"));
    }

    void silentUnlessExactlyOne()
    {
        for (const char* value : {"", "0", "true", "01", "1 "}) {
            qputenv("QuenvarLog", value);
            qDebug() << "should not be written";
            qWarning() << "nor this";
        }
        qunsetenv("QuenvarLog");
        qDebug() << "nor this";
        QVERIFY2(!QFileInfo::exists(dataDir()), qPrintable(dataDir()));
    }

    void linesFromAnyThreadAreWholeAndStamped()
    {
        qputenv("QuenvarLog", "1");
        const QDate today = QDate::currentDate();
        // The message type is not written: a warning looks like a debug line.
        qWarning().noquote() << "a warning";
        QList<QThread*> threads;
        for (int t = 0; t < 4; ++t) {
            threads << QThread::create([t]() {
                for (int i = 0; i < 200; ++i)
                    qDebug().noquote() << QStringLiteral("thread %1 line %2 ").arg(t).arg(i) +
                                              QString(40, QChar('a' + t));
            });
            threads.last()->start();
        }
        for (QThread* thread : threads) {
            thread->wait();
            delete thread;
        }
        qunsetenv("QuenvarLog");
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 801);
        // Day first, then month.
        const QString stamp = today.toString("dd/MM") + " \\d\\d:\\d\\d:\\d\\d ";
        QVERIFY2(QRegularExpression("^" + stamp + "a warning$").match(lines.first()).hasMatch(),
                 qPrintable(lines.first()));
        const QRegularExpression whole("^" + stamp + "thread (\\d) line \\d+ ([a-d])\\2{39}$");
        for (const QString& line : lines.mid(1)) {
            const auto match = whole.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            QCOMPARE(match.captured(2).at(0), QChar('a' + match.captured(1).toInt()));
        }
    }

    void removeLogFolderKeepsLastLog()
    {
        const QStringList last = logLines();
        QVERIFY(!last.isEmpty());
        Logger::removeLogFolder();
        QVERIFY(!QFileInfo::exists(dataDir()));
        const QString kept = QDir::tempPath() + "/b.log";
        QCOMPARE(QDir::tempPath(), testenv::tempDir());
        QCOMPARE(QString::fromUtf8(testenv::readFile(kept)).split('\n', Qt::SkipEmptyParts), last);
    }

    void init()
    {
        QFile::remove(settingsFile());
    }

    void firstRunWritesDefaultsOnce()
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

    void lowInitVersionMakesAFirstRunAgain()
    {
        CSettings::setIntValue("InitVersion", 0);
        CSettings::setBoolValue("ViewPath", false);
        CSettings::initSettings();
        QVERIFY(CSettings::getBoolValue("ViewPath"));
        QCOMPARE(CSettings::getIntValue("InitVersion"), 1LL);
    }

    void everyCallSeesTheFile()
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

    void panelPaths_data()
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

    void panelPaths()
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

    void systemScopeWithoutFileIsAbsent()
    {
        CSettings::setBoolValue("globalRegistered", true); // user scope only
        QVERIFY(!CSettings::getValue("globalRegistered", true).isValid());
        QVERIFY(!CSettings::getBoolValue("globalRegistered", true));
        QVERIFY(!CSettings::contains("globalRegistered", true));
    }

    void extractDefaultsFollowSetting()
    {
        for (bool remove : {true, false}) {
            CSettings::setBoolValue("RemoveDuplicatesRoot", remove);
            QCOMPARE(ExtractOptions().removeDuplicatesRoot, remove);
        }
    }
};

QUENVAR_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
