// Archives travel: what FileArchive writes with a request's defaults (as an
// XML file, a drop or "add to current archive" sends it) opens in the
// readers other systems use, Info-ZIP unzip, Python's zipfile, GNU tar and
// bsdtar; and what those tools write, FileArchive extracts. Content compared
// byte for byte, names beyond ASCII and empty folders included.
#include "archivetestsupport.h"

#include "app/settings.h"
#include "engine/zipapi.h"

#include <QStandardPaths>

using namespace archivetest;

namespace {

// Unpacks argv[1] into argv[2], after the reader's own check.
const char* const kPythonUnzip = "import sys, zipfile\n"
                                 "z = zipfile.ZipFile(sys.argv[1])\n"
                                 "bad = z.testzip()\n"
                                 "if bad: sys.exit('damaged: ' + bad)\n"
                                 "z.extractall(sys.argv[2])\n";
// Packs the current folder into argv[1], folders as entries of their own.
const char* const kPythonZip =
    "import os, sys, zipfile\n"
    "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
    "    for top, dirs, files in os.walk('.'):\n"
    "        for name in dirs + files:\n"
    "            z.write(os.path.join(top, name)[2:])\n";

using Steps = QList<QStringList>;

// Runs each step ("%A" the archive, "%D" the folder) with a UTF-8 locale;
// the first failure's output, or an empty string.
QString runSteps(const Steps& steps, const QString& archive, const QString& folder,
                 const QString& workDir)
{
    QProcessEnvironment environment = testenv::childEnvironment(false);
    environment.insert("LC_ALL", "C.UTF-8");
    for (QStringList step : steps) {
        step.replaceInStrings("%A", archive);
        step.replaceInStrings("%D", folder);
        const testenv::ProcessResult result =
            testenv::runProcess(step.first(), step.mid(1), 120000, workDir, environment);
        if (!result.finished || result.exitCode != 0)
            return step.join(' ') + ": " + QString::fromLocal8Bit(result.out + result.err);
    }
    return QString();
}

QString missingTool(const Steps& steps)
{
    for (const QStringList& step : steps) {
        if (QStandardPaths::findExecutable(step.first()).isEmpty())
            return step.first();
    }
    return QString();
}

} // namespace

class TestInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void otherReadersOpenWhatWeWrite_data();
    void otherReadersOpenWhatWeWrite();
    void weExtractWhatOtherToolsWrite_data();
    void weExtractWhatOtherToolsWrite();

private:
    QString m_source;
    QString m_work;
};

void TestInterop::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
    CSettings::setBoolValue("ArchiveHiddenItems", true);
    m_source = testenv::makeDir("source");
    makeSampleTree(m_source);
    // A name and a path too long for a plain tar header.
    const QString longName = QString(120, 'n') + ".txt";
    const QString deepPath = QString("folder/").repeated(12) + "deep.txt";
    testenv::makeTree(m_source, {{"long/" + longName, "long\n"}, {deepPath, "deep\n"}});
}

void TestInterop::init()
{
    m_work = testenv::makeDir("work");
    UserActions::reset();
}

void TestInterop::otherReadersOpenWhatWeWrite_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<Steps>("reader");

    const QStringList bsdtar = {"bsdtar", "-xf", "%A", "-C", "%D"};
    const QStringList gnuTar = {"tar", "-xf", "%A", "-C", "%D"};
    QTest::newRow("zip, unzip") << int(ZF_ZIP) << "zip"
                                << Steps{{"unzip", "-tqq", "%A"},
                                         {"unzip", "-qq", "%A", "-d", "%D"}};
    QTest::newRow("zip, zipfile") << int(ZF_ZIP) << "zip"
                                  << Steps{{"python3", "-c", kPythonUnzip, "%A", "%D"}};
    QTest::newRow("zip, bsdtar") << int(ZF_ZIP) << "zip" << Steps{bsdtar};
    QTest::newRow("7z, bsdtar") << int(ZF_7Z) << "7z" << Steps{bsdtar};
    for (const auto& tar :
         {std::make_pair(ZF_TAR, "tar"), std::make_pair(ZF_TAR_GZIP, "tar.gz"),
          std::make_pair(ZF_TAR_BZIP2, "tar.bz2"), std::make_pair(ZF_TAR_XZ, "tar.xz")}) {
        QTest::addRow("%s, GNU tar", tar.second) << int(tar.first) << tar.second << Steps{gnuTar};
        QTest::addRow("%s, bsdtar", tar.second) << int(tar.first) << tar.second << Steps{bsdtar};
    }
}

void TestInterop::otherReadersOpenWhatWeWrite()
{
    QFETCH(int, format);
    QFETCH(QString, extension);
    QFETCH(Steps, reader);
    if (!missingTool(reader).isEmpty())
        QSKIP(qPrintable(missingTool(reader) + " is not installed (tools/bootstrap.sh --test)"));

    const QString archive = m_work + "/ours." + extension;
    Run run;
    run.compress(compressRequest(archive, m_source, topLevelPaths(m_source), ZipFormat(format)));
    QVERIFY(run.ok());
    const QString target = testenv::makeDir("read");
    const QString failure = runSteps(reader, archive, target, m_work);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString difference = testenv::compareTrees(m_source, target);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestInterop::weExtractWhatOtherToolsWrite_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<Steps>("writer");

    QTest::newRow("GNU tar, pax headers")
        << "tar" << Steps{{"tar", "--format=pax", "-cf", "%A", "."}};
    QTest::newRow("GNU tar, long names")
        << "tar" << Steps{{"tar", "--format=gnu", "-cf", "%A", "."}};
    QTest::newRow("Info-ZIP zip") << "zip" << Steps{{"zip", "-rq", "%A", "."}};
    QTest::newRow("Python zipfile") << "zip" << Steps{{"python3", "-c", kPythonZip, "%A"}};
    QTest::newRow("bsdtar 7z") << "7z" << Steps{{"bsdtar", "--format", "7zip", "-cf", "%A", "."}};
    QTest::newRow("bsdtar zip") << "zip" << Steps{{"bsdtar", "--format", "zip", "-cf", "%A", "."}};
}

void TestInterop::weExtractWhatOtherToolsWrite()
{
    QFETCH(QString, extension);
    QFETCH(Steps, writer);
    if (!missingTool(writer).isEmpty())
        QSKIP(qPrintable(missingTool(writer) + " is not installed (tools/bootstrap.sh --test)"));

    const QString archive = m_work + "/theirs." + extension;
    const QString failure = runSteps(writer, archive, QString(), m_source);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString target = testenv::makeDir("extracted");
    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.ok());
    const QString difference = testenv::compareTrees(m_source, target);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QUENVAR_TEST_MAIN(TestInterop)
#include "tst_interop.moc"
