// The real executable: parser errors, commands without their arguments,
// commands whose operations are missing, and the log of the arguments.
#include "common/testenv.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    // A fresh private HOME/XDG set for one run of the binary.
    QProcessEnvironment freshEnvironment(const QString& name, bool log)
    {
        const QString base = testenv::makeDir(name);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", base + "/home");
        env.insert("XDG_CONFIG_HOME", base + "/config");
        env.insert("XDG_DATA_HOME", base + "/data");
        env.insert("TMPDIR", base + "/tmp");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (const char* dir : {"/home", "/config", "/data", "/tmp"})
            QDir().mkpath(base + dir);
        if (log)
            env.insert("QuenvarLog", "1");
        else
            env.remove("QuenvarLog");
        return env;
    }
    testenv::ProcessResult run(const QStringList& args, const QProcessEnvironment& env)
    {
        return testenv::runProcess(testenv::quenvarBinary(), args, 60000, QString(), env);
    }
    QStringList logLines(const QProcessEnvironment& env)
    {
        QDirIterator it(env.value("XDG_DATA_HOME"), {"Quenvar.log"}, QDir::Files, QDirIterator::Subdirectories);
        if (!it.hasNext())
            return {};
        return QString::fromUtf8(testenv::readFile(it.next())).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void unknownOptionEndsWithParserMessage();
    void missingOptionValue();
    void commandWithoutArgument_data();
    void commandWithoutArgument();
    void missingOperationsSayTheyAreNotAvailable();
    void argumentsAreLoggedOneLineEach();
    void noLogDirectoryWithoutTheVariable();
    void firstRunWritesSettings();
};

void TestCommandLine::unknownOptionEndsWithParserMessage()
{
    const auto env = freshEnvironment("unknown", false);
    const auto result = run({"--no-such-option"}, env);
    QVERIFY(result.finished);
    QVERIFY(result.exitCode != 0);
    QVERIFY2(result.err.contains("Unknown option 'no-such-option'"), result.err.constData());
}

void TestCommandLine::missingOptionValue()
{
    const auto result = run({"-c"}, freshEnvironment("novalue", false));
    QVERIFY(result.finished);
    QVERIFY(result.exitCode != 0);
    QVERIFY2(result.err.contains("Missing value after '-c'"), result.err.constData());
}

void TestCommandLine::commandWithoutArgument_data()
{
    QTest::addColumn<QString>("command");
    for (const char* c : {"a", "as", "xml", "e", "eh", "ed", "em", "em_here", "em_to_archive_dir", "o"})
        QTest::newRow(c) << QString::fromLatin1(c);
}

void TestCommandLine::commandWithoutArgument()
{
    QFETCH(QString, command);
    const auto env = freshEnvironment("noarg-" + command, true);
    const auto result = run({"-c", command}, env);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QStringLiteral("the command \"%1\" needs a file or archive path").arg(command).toUtf8()),
             result.err.constData());
    QVERIFY(logLines(env).join('\n').contains("needs a file argument and got none"));
}

void TestCommandLine::missingOperationsSayTheyAreNotAvailable()
{
    // Each command either works or says plainly that it cannot; none
    // pretends to have done something.
    const auto env = freshEnvironment("na", false);
    const QList<QStringList> commands = {
        {"-c", "r"},
        {"-c", "ur"},
    };
    for (const QStringList& args : commands) {
        const auto result = run(args, env);
        QVERIFY(result.finished);
        if (result.exitCode == 2)
            QVERIFY2(result.err.contains("is not available in this build"), result.err.constData());
    }
    const auto rc = run({"-c", "rc"}, env);
    QCOMPARE(rc.exitCode, 0);
}

void TestCommandLine::argumentsAreLoggedOneLineEach()
{
    const auto env = freshEnvironment("logged", true);
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

    // A second run appends to the same file.
    QCOMPARE(run(args, env).exitCode, 0);
    QCOMPARE(logLines(env).size(), 2 * lines.size());
}

void TestCommandLine::noLogDirectoryWithoutTheVariable()
{
    const auto env = freshEnvironment("nolog", false);
    QCOMPARE(run({"-c", "rc", "x"}, env).exitCode, 0);
    QVERIFY(QDir(env.value("XDG_DATA_HOME")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void TestCommandLine::firstRunWritesSettings()
{
    const auto env = freshEnvironment("firstrun", false);
    QCOMPARE(run({"-c", "rc"}, env).exitCode, 0);
    const QString file = env.value("XDG_CONFIG_HOME") + "/Quenvar/Settings.conf";
    const QByteArray first = testenv::readFile(file);
    QVERIFY(first.contains("InitVersion=1"));
    QCOMPARE(run({"-c", "rc"}, env).exitCode, 0);
    QCOMPARE(testenv::readFile(file), first);
}

QUENVAR_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
