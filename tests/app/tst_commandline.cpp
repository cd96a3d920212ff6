// The real executable: parser errors, help and version, the language of
// its texts, commands without their arguments, and the log of the arguments.
#include "common/testenv.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    // A fresh private HOME/XDG set for one run of the binary, with or
    // without its log.
    QProcessEnvironment freshEnvironment(bool log)
    {
        QProcessEnvironment env = testenv::childEnvironment(true);
        env.remove("QuenvarLog");
        if (log)
            env.insert("QuenvarLog", "1");
        return env;
    }
    testenv::ProcessResult run(const QStringList& args, const QProcessEnvironment& env)
    {
        return testenv::runProcess(testenv::quenvarBinary(), args, 60000, QString(), env);
    }
    QStringList logLines(const QProcessEnvironment& env)
    {
        QDirIterator it(env.value("XDG_DATA_HOME"), {"Quenvar.log"}, QDir::Files,
                        QDirIterator::Subdirectories);
        if (!it.hasNext())
            return {};
        return QString::fromUtf8(testenv::readFile(it.next())).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void parserRefusals_data();
    void parserRefusals();
    void commandWithoutArgument_data();
    void commandWithoutArgument();
    void helpAndVersion_data();
    void helpAndVersion();
    void helpFollowsTheLanguage_data();
    void helpFollowsTheLanguage();
    void argumentsAreLoggedOneLineEach();
};

void TestCommandLine::parserRefusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option")
        << QStringList{"--no-such-option"} << "Unknown option 'no-such-option'";
    QTest::newRow("missing value") << QStringList{"-c"} << "Missing value after '-c'";
}

void TestCommandLine::parserRefusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const auto result = run(arguments, freshEnvironment(false));
    QVERIFY(result.finished);
    QVERIFY(result.exitCode != 0);
    QVERIFY2(result.err.contains(message.toUtf8()), result.err.constData());
}

void TestCommandLine::commandWithoutArgument_data()
{
    QTest::addColumn<QString>("command");
    // One command of each kind: packing, an XML file, extracting, opening.
    for (const char* c : {"a", "xml", "em_here", "o"})
        QTest::newRow(c) << QString::fromLatin1(c);
}

void TestCommandLine::commandWithoutArgument()
{
    QFETCH(QString, command);
    const auto env = freshEnvironment(true);
    const auto result = run({"-c", command}, env);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QStringLiteral("the command \"%1\" needs a file or archive path")
                                     .arg(command)
                                     .toUtf8()),
             result.err.constData());
    QVERIFY(logLines(env).join('\n').contains("needs a file argument and got none"));
}

void TestCommandLine::helpAndVersion_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("display");
    QTest::addColumn<QString>("expected");
    const QString help = "Commands (the value of --command):\n  a  ";
    const QString version = QStringLiteral("quenvar " QUENVAR_VERSION "\n");
    QTest::newRow("-h, no display") << "-h" << false << help;
    QTest::newRow("--version, no display") << "--version" << false << version;
    QTest::newRow("--version, display") << "--version" << true << version;
}

void TestCommandLine::helpAndVersion()
{
    QFETCH(QString, option);
    QFETCH(bool, display);
    QFETCH(QString, expected);
    // Before any command would run. Without a display the program maps none
    // of the window system's libraries; with one it goes on as the program
    // with windows.
    auto env = freshEnvironment(false);
    if (!display)
        env.remove("QT_QPA_PLATFORM");
    env.remove("DISPLAY");
    env.insert("LD_DEBUG", "files");
    const auto result = run({option, "-c", "eh"}, env);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(QString::fromUtf8(result.out).contains(expected), result.out.constData());
    QVERIFY(result.err.contains("libQt5Core.so"));
    QCOMPARE(result.err.contains("libQt5Widgets.so"), display);
}

void TestCommandLine::helpFollowsTheLanguage_data()
{
    QTest::addColumn<QString>("systemLocale");
    QTest::addColumn<QVariant>("chosen"); // the setting "DefaultLanguage"; invalid: never chosen
    QTest::addColumn<QString>("expected");
    const QString english = "Commands (the value of --command):";
    const QString russian = QString::fromUtf8("Команды (значение --command):");
    QTest::newRow("English system") << "en_US.UTF-8" << QVariant() << english;
    QTest::newRow("Russian system") << "ru_RU.UTF-8" << QVariant() << russian;
    QTest::newRow("Default, English system") << "en_US.UTF-8" << QVariant(360) << english;
    QTest::newRow("Default, Russian system") << "ru_RU.UTF-8" << QVariant(360) << russian;
    QTest::newRow("English chosen") << "ru_RU.UTF-8" << QVariant(int(QLocale::English)) << english;
    QTest::newRow("Russian chosen") << "de_DE.UTF-8" << QVariant(int(QLocale::Russian)) << russian;
}

void TestCommandLine::helpFollowsTheLanguage()
{
    QFETCH(QString, systemLocale);
    QFETCH(QVariant, chosen);
    QFETCH(QString, expected);
    auto env = freshEnvironment(false);
    env.insert("LC_ALL", systemLocale);
    if (chosen.isValid())
        testenv::writeFile(env.value("XDG_CONFIG_HOME") + "/Quenvar/Settings.conf",
                           "[General]\nDefaultLanguage=" + chosen.toByteArray() + "\n");
    const auto result = run({"--help"}, env);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(QString::fromUtf8(result.out).contains(expected), result.out.constData());
}

void TestCommandLine::argumentsAreLoggedOneLineEach()
{
    const auto env = freshEnvironment(true);
    const QStringList args = {"-c", "rc", "first arg", QString::fromUtf8("второй")};
    QCOMPARE(run(args, env).exitCode, 0);
    const QStringList lines = logLines(env);
    const QRegularExpression stamp("^\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)$");
    QStringList texts;
    for (const QString& line : lines) {
        const auto match = stamp.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        texts << match.captured(1);
    }
    QVERIFY(texts.size() >= 5);
    QVERIFY(texts.at(0).endsWith("quenvar"));
    QCOMPARE(texts.mid(1, 4), args);
    QVERIFY(texts.contains("Removing shared dll counter."));

    // A second run appends to the same file.
    QCOMPARE(run(args, env).exitCode, 0);
    QCOMPARE(logLines(env).size(), 2 * lines.size());
}

QUENVAR_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
