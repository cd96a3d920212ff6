// This build installed into a private prefix, used the way the desktop uses
// it: the desktop entry and its types, the manual page against --help, and
// "r" and "ur" seen through xdg-mime with the private XDG folders.
#include "common/testenv.h"

#include "app/CCompressOptions.h"

#include <QDir>
#include <QLibraryInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSettings>

class TestInstallation : public QObject
{
    Q_OBJECT

private:
    QString m_prefix;
    QString m_systemSettings;

    QString installed(const QString& relative) const
    {
        return m_prefix + QLatin1Char('/') + relative;
    }
    QString listPath() const { return testenv::root() + "/desktop-config/mimeapps.list"; }

    // The desktop's view: XDG folders of this test, no desktop session.
    QProcessEnvironment desktopEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
              "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "LANGUAGE"})
            env.remove(name);
        env.insert("LC_ALL", "C.UTF-8");
        env.insert("XDG_CONFIG_HOME", QFileInfo(listPath()).path());
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
    static QString normalized(const QString& text) { return text.simplified(); }

private slots:
    void initTestCase();
    void entryValidates();
    void entryListsEveryTypeOpened();
    void manualPageSaysWhatHelpSays();
    void registerAndUnregisterThroughTheDesktop();
};

void TestInstallation::initTestCase()
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
    // This process's MIME database sees the installed ".qv" type too.
    qputenv("XDG_DATA_DIRS",
            QFile::encodeName(installed("share")) + ":/usr/local/share:/usr/share");
}

void TestInstallation::entryValidates()
{
    const auto result = testenv::runProcess("desktop-file-validate",
                                            {installed("share/applications/Quenvar.desktop")});
    QVERIFY2(result.started, "desktop-file-validate (desktop-file-utils) is missing");
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out + result.err, QByteArray());
}

void TestInstallation::entryListsEveryTypeOpened()
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
        const QStringList names = {
            row.mimeType, database.mimeTypeForName(row.mimeType).name(),
            database.mimeTypeForFile("x." + row.extension, QMimeDatabase::MatchExtension).name()};
        for (const QString& name : names)
            QVERIFY2(listed.contains(name), qPrintable(row.extension + ": " + name));
    }
}

void TestInstallation::manualPageSaysWhatHelpSays()
{
    const auto help = runInstalled({"--help"});
    QCOMPARE(help.exitCode, 0);
    QProcessEnvironment env = desktopEnvironment();
    env.insert("LC_ALL", "C");
    env.insert("MANWIDTH", "250");
    const auto page =
        testenv::runProcess("man", {"--warnings", "-l", installed("share/man/man1/quenvar.1.gz")},
                            60000, QString(), env);
    QVERIFY2(page.started, "man (man-db) is missing");
    QCOMPARE(page.exitCode, 0);
    QCOMPARE(page.err, QByteArray());
    const QString manual = normalized(QString::fromUtf8(page.out));

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
        QVERIFY2(manual.contains(normalized(entry)), qPrintable(normalized(entry)));
}

void TestInstallation::registerAndUnregisterThroughTheDesktop()
{
    QVERIFY(testenv::writeFile(installed("share/applications/other.desktop"),
                               "[Desktop Entry]\nType=Application\nName=Other\nExec=true %f\n"
                               "MimeType=application/zip;\n"));
    QVERIFY(testenv::writeFile(
        listPath(), "[Default Applications]\napplication/zip=other.desktop\n"
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
    const QByteArray list = testenv::readFile(listPath());
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

QUENVAR_TEST_MAIN(TestInstallation)
#include "tst_installation.moc"
