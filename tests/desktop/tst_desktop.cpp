// Associations in a real mimeapps.list, and this build installed into a private prefix
// and used as the desktop uses it (desktop entry, manual page, "r" and "ur" via xdg-mime).
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/settings.h"
#include "desktop/RegistryUtils.h"

Q_DECLARE_METATYPE(ZipFormat)

class TestDesktop : public QObject
{
    Q_OBJECT

private:
    QString listPath() const { return qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list"; }
    QString m_prefix;
    QString m_systemSettings;

    QString installed(const QString& relative) const
    {
        return m_prefix + QLatin1Char('/') + relative;
    }
    QString desktopListPath() const { return testenv::root() + "/desktop-config/mimeapps.list"; }

    QProcessEnvironment desktopEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
              "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "LANGUAGE"})
            env.remove(name);
        env.insert("LC_ALL", "C.UTF-8");
        env.insert("XDG_CONFIG_HOME", QFileInfo(desktopListPath()).path());
        env.insert("XDG_DATA_HOME", installed("share"));
        env.insert("XDG_DATA_DIRS", "/usr/share");
        env.insert("XDG_CONFIG_DIRS", m_systemSettings);
        return env;
    }
    testenv::ProcessResult runInstalled(const QStringList& args,
                                        const QString& workDir = QString()) const
    {
        QProcessEnvironment env = desktopEnvironment();
        env.insert("QuenvarLog", "1");
        return testenv::runProcess(installed("bin/quenvar"), args, 60000, workDir, env);
    }
    QString xdgMime(const QStringList& args) const
    {
        const auto result =
            testenv::runProcess("xdg-mime", args, 60000, QString(), desktopEnvironment());
        return QString::fromUtf8(result.out).trimmed();
    }

private slots:
    void initTestCase()
    {
        m_prefix = testenv::makeDir("prefix");
        m_systemSettings = testenv::makeDir("etc-xdg");
        const auto install = testenv::runProcess(
            "cmake", {"--install", QUENVAR_BUILD_DIR, "--prefix", m_prefix}, 300000);
        QVERIFY2(install.exitCode == 0, install.err.constData());
        // Qt's system-wide settings ("r" writes there) go to a folder of this
        // test rather than /etc/xdg; the plug-ins stay where Qt has them.
        QVERIFY(testenv::writeFile(
            installed("bin/qt.conf"),
            "[Paths]\nSettings=" + m_systemSettings.toUtf8() +
                "\nPlugins=" + QLibraryInfo::location(QLibraryInfo::PluginsPath).toUtf8() + "\n"));
        qputenv("XDG_DATA_DIRS",
                QFile::encodeName(installed("share")) + ":/usr/local/share:/usr/share");
    }

    void entryValidates()
    {
        const auto result = testenv::runProcess("desktop-file-validate",
                                                {installed("share/applications/Quenvar.desktop")});
        QVERIFY2(result.started, "desktop-file-validate (desktop-file-utils) is missing");
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out + result.err, QByteArray());
    }

    void entryListsEveryTypeOpened()
    {
        const QString entry =
            QString::fromUtf8(testenv::readFile(installed("share/applications/Quenvar.desktop")));
        const QStringList listed = QRegularExpression("\nMimeType=(.*)\n")
                                       .match(entry)
                                       .captured(1)
                                       .split(';', Qt::SkipEmptyParts);
        QMimeDatabase database;
        for (const ZipFormatInfo& row : SupportedFormats) {
            // The name the association line writes, the name the MIME database
            // uses for it, and the type of a file with the format's extension.
            const QStringList names
                = {row.mimeType, database.mimeTypeForName(row.mimeType).name(),
                   database.mimeTypeForFile("x." + row.extension, QMimeDatabase::MatchExtension)
                       .name()};
            for (const QString& name : names)
                QVERIFY2(listed.contains(name), qPrintable(row.extension + ": " + name));
        }
    }

    void manualPageSaysWhatHelpSays()
    {
        const auto help = runInstalled({"--help"});
        QCOMPARE(help.exitCode, 0);
        QProcessEnvironment env = desktopEnvironment();
        env.insert("LC_ALL", "C");
        env.insert("MANWIDTH", "250");
        const auto page
            = testenv::runProcess("man",
                                  {"--warnings", "-l", installed("share/man/man1/quenvar.1.gz")},
                                  60000, QString(), env);
        QVERIFY2(page.started, "man (man-db) is missing");
        QCOMPARE(page.exitCode, 0);
        QCOMPARE(page.err, QByteArray());
        const QString manual = QString::fromUtf8(page.out).simplified();

        // Every entry of --help (name and meaning, however wrapped) and its
        // description paragraph read the same in the manual page.
        const QRegularExpression entryStart("^  \\S(.*\\S)? {2,}\\S");
        QStringList entries = {QString()};
        for (const QString& line : QString::fromUtf8(help.out).split('\n').mid(1)) {
            const bool heading = line.endsWith(':');
            if (line.isEmpty() || heading || entryStart.match(line).hasMatch())
                entries << QString();
            if (!heading && !line.isEmpty())
                entries.last() += ' ' + line;
        }
        entries.removeAll(QString());
        QVERIFY2(entries.size() > 20, help.out.constData());
        for (const QString& entry : qAsConst(entries))
            QVERIFY2(manual.contains(entry.simplified()), qPrintable(entry.simplified()));
    }

    void registerAndUnregisterThroughTheDesktop()
    {
        QVERIFY(testenv::writeFile(installed("share/applications/other.desktop"),
                                   "[Desktop Entry]\nType=Application\nName=Other\nExec=true %f\n"
                                   "MimeType=application/zip;\n"));
        QVERIFY(testenv::writeFile(
            desktopListPath(), "[Default Applications]\napplication/zip=other.desktop\n"
                        "text/plain=gedit.desktop\napplication/x-xz-compressed-tar=ark.desktop\n"));
        QCOMPARE(xdgMime({"query", "default", "application/zip"}), QString("other.desktop"));

        QCOMPARE(runInstalled({"-c", "r"}).exitCode, 0);
        QCOMPARE(xdgMime({"query", "default", "application/zip"}), QString("Quenvar.desktop"));
        const QString qvFile = testenv::makeDir("qv") + "/x.qv";
        QVERIFY(testenv::writeFile(qvFile, "QV archive bytes"));
        QCOMPARE(xdgMime({"query", "filetype", qvFile}), QString("application/qv"));
        QVERIFY(QSettings(m_systemSettings + "/Quenvar/Settings.conf", QSettings::IniFormat)
                    .value("globalRegistered")
                    .toBool());

        const QString workDir = testenv::makeDir("ur-work");
        QCOMPARE(runInstalled({"-c", "ur"}, workDir).exitCode, 0);
        const QByteArray list = testenv::readFile(desktopListPath());
        QVERIFY2(!list.contains("application/zip=") && !list.contains("Quenvar.desktop"),
                 list.constData());
        QVERIFY(list.contains("\ntext/plain=gedit.desktop\n"));
        QVERIFY(list.contains("\napplication/x-xz-compressed-tar=ark.desktop\n"));
        // The log folder is gone, its last log kept; nothing installed goes
        // with it and nothing appears where the command ran.
        QVERIFY(!QFileInfo::exists(installed("share/quenvar")));
        QVERIFY(QFileInfo::exists(testenv::tempDir() + "/b.log"));
        QVERIFY(QFileInfo::exists(installed("share/Quenvar/translations/Quenvar_ru.qm")));
        QCOMPARE(QDir(workDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void init()
    {
        QFile::remove(listPath());
        for (auto scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings(QSettings::NativeFormat, scope, "Quenvar", "Settings").clear();
    }

    void fileAfterRegistering_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QList<ZipFormat>>("formats");
        QTest::addColumn<int>("times");
        QTest::addColumn<QByteArray>("after");

        const QByteArray zipOnly = "[Added Associations]\napplication/zip=Quenvar.desktop\n\n"
                                   "[Default Applications]\napplication/zip=Quenvar.desktop\n";
        QTest::newRow("no file, twice: one line per header")
            << QByteArray() << QList<ZipFormat>{ZF_ZIP} << 2 << zipOnly;
        QTest::newRow("another program's zip line goes when registering")
            << QByteArray("[Added Associations]\napplication/zip=ark.desktop\n"
                          "[Default Applications]\napplication/zip = "
                          "ark.desktop;\ntext/plain=gedit.desktop\n")
            << QList<ZipFormat>{ZF_ZIP} << 1
            << QByteArray(
                   "[Added Associations]\napplication/zip=Quenvar.desktop\n[Default Applications]\n"
                   "application/zip=Quenvar.desktop\ntext/plain=gedit.desktop\n");
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
    }

    void fileAfterRegistering()
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

    void failedWriteKeepsTheFile()
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

    void firstRunRegistrationHappensOnce()
    {
        registerLocalAssociationsIfNeeded();
        QVERIFY(!QFileInfo::exists(listPath()));

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
};

QUENVAR_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
