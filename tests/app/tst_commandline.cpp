// The real executable run as a script runs it: commands, operation files, the parser,
// help, language and log.
#include "common/testarchives.h"
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/OperationCommands.h"

namespace {

// One run of the executable in a fresh folder (%F in any text below; %S is
// the source tree, %I the folder of the prepared inputs).
struct Run
{
    // Inputs copied into the folder ("sub/name" into a subfolder), or
    // "path=content" written there.
    QStringList inputs = {};
    QStringList arguments = {};
    // When given, written as the operation file and run with "-c xml".
    QString xml = {};
    bool display = false;
    int exitCode = 0;
    // A failure's message on stderr; on success stdout holds it and stderr is
    // empty (scripts take any line there for a failure).
    QString message = {};
    // Folders that hold the source tree afterwards.
    QStringList sourceIn = {};
    // "path=content" that holds afterwards, "!path" that does not exist, "path"
    // that is still the input of that name, byte for byte.
    QStringList files = {};
    // An archive written by the run, tested by the 7z tool; its entries sorted.
    QString archive = {};
    QStringList entries = {};
};

const QStringList kSourceEntries{"a.txt", "empty", "sub", "sub/b.txt", "sub/deeper",
                                 "sub/deeper/c.bin"};

QStringList under(const QString& folder, const QStringList& paths)
{
    QStringList result{folder};
    for (const QString& path : paths)
        result << folder + "/" + path;
    return result;
}

// pax.tar, made by Python in the folder given: its pax header's size runs past the end.
const char* const kBrokenPax = R"(
import io, sys, tarfile
stream = io.BytesIO()
with tarfile.open(fileobj=stream, mode='w', format=tarfile.PAX_FORMAT) as archive:
    info = tarfile.TarInfo('a.txt')
    info.size, info.pax_headers = 5, {'comment': 'pax'}
    archive.addfile(info, io.BytesIO(b'alpha'))
pax = bytearray(stream.getvalue())
pax[124:136] = b'77777777777\0'
pax[148:156] = b' ' * 8
pax[148:156] = b'%06o\0 ' % sum(pax[:512])
open(sys.argv[1] + '/pax.tar', 'wb').write(pax)
)";

} // namespace

Q_DECLARE_METATYPE(Run)

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    QString m_inputs;
    QString m_source; // "src" in m_inputs, with files and subfolders

    static void addRun(const char* name, const Run& run) { QTest::newRow(name) << run; }



private slots:
    void initTestCase()
    {
        m_inputs = testenv::makeDir("inputs");
        m_source = m_inputs + "/src";
        testenv::makeTree(m_source,
                          {{"a.txt", "alpha\n"},
                           {"sub/b.txt", "beta\n"},
                           {"sub/deeper/c.bin", testenv::randomBytes(65536)}},
                          {"empty"});
        testenv::makeTree(m_inputs, {{"text.7z", "just text\n"},
                                     {"blocker", "a file, not a folder\n"},
                                     {"big/big.bin", testenv::randomBytes(3 * 1048576 + 1000)}});
        for (const char* format : {"7z", "zip"})
            QCOMPARE(testenv::run7z({"a", QString("pack.") + format, "src"}, m_inputs).exitCode, 0);
        QCOMPARE(testenv::run7z({"a", "-psecret", "-mhe=on", "locked.7z", "src"}, m_inputs)
                     .exitCode,
                 0);
        QCOMPARE(testenv::run7z({"a", "my.photos.2020.7z", "src"}, m_inputs).exitCode, 0);
        QCOMPARE(testenv::run7z({"a", "-v1m", "backup.2024.7z", "src"}, m_inputs).exitCode, 0);
        for (const char* tar : {"app-2.4.1.tar.gz", "site.tgz"})
            QCOMPARE(testenv::runProcess("tar", {"-czf", tar, "src"}, 60000, m_inputs).exitCode, 0);
        const QByteArray whole = testenv::readFile(m_inputs + "/pack.7z");
        QVERIFY(testenv::writeFile(m_inputs + "/cut.7z", whole.left(whole.size() / 2)));
        const auto made = testenv::runProcess("python3", {"-c", kBrokenPax, m_inputs});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        testarchives::Entry damaged = testarchives::file("b.txt", "damaged data");
        damaged.badCrc = true;
        const QByteArray good = testarchives::makeZip({testarchives::file("a.txt", "alpha")});
        const QByteArray crc
            = testarchives::makeZip({testarchives::file("c.txt", "gamma"), damaged});
        QVERIFY(testenv::writeFile(m_inputs + "/good.zip", good));
        QVERIFY(testenv::writeFile(m_inputs + "/crc.zip", crc));
    }


    void commands_data()
    {
        QTest::addColumn<Run>("run");
        // Each extraction command once; the formats themselves are the archive
        // tests' part. Those for several archives get two, in folders of their own.
        addRun("eh 7z", {{"pack.7z"}, {"-c", "eh", "%F/pack.7z"}, {}, true, 0, {}, {"src"}});
        addRun("ed zip",
               {{"pack.zip"}, {"-c", "ed", "%F/pack.zip"}, {}, true, 0, {}, {"pack/src"}});
        addRun("em_here zip",
               {{"one/pack.zip", "two/pack.zip"},
                {"-c", "em_here", "%F/one/pack.zip", "%F/two/pack.zip"}, {}, true, 0, {},
                {"one/src", "two/src"}});
        addRun("em_to_archive_dir 7z",
               {{"one/pack.7z", "two/pack.7z"},
                {"-c", "em_to_archive_dir", "%F/one/pack.7z", "%F/two/pack.7z"}, {}, true, 0, {},
                {"one/pack/src", "two/pack/src"}});

        // The folder named after an archive drops only the archive's own extensions.
        const QList<QStringList> named{{"app-2.4.1.tar.gz", "app-2.4.1"},
                                       {"site.tgz", "site"},
                                       {"my.photos.2020.7z", "my.photos.2020"},
                                       {"backup.2024.7z.001", "backup.2024"}};
        for (const QStringList& name : named)
            addRun(qPrintable("ed " + name[0]), {{name[0]}, {"-c", "ed", "%F/" + name[0]}, {},
                                                 false, 0, {}, {name[1] + "/src"}});

        // What could be extracted is there all the same.
        const QString damagedEntry = "These entries of %F/crc.zip were not extracted: "
                                     "their data is damaged: b.txt (CRC error)";
        const QString missing = "Cannot open file %F/gone.7z: No such file or directory";
        addRun("eh, broken pax header",
               {{"pax.tar"}, {"-c", "eh", "%F/pax.tar"}, {}, false, 1,
                "The archive %F/pax.tar is damaged: unexpected end of archive", {}, {"!b.txt"}});
        addRun("eh, damaged entry", {{"crc.zip"}, {"-c", "eh", "%F/crc.zip"}, {}, false, 1,
                                     damagedEntry, {}, {"c.txt=gamma", "!b.txt"}});
        addRun("eh, missing", {{}, {"-c", "eh", "%F/gone.7z"}, {}, false, 1, missing});
        addRun("eh, text named .7z",
               {{"text.7z"}, {"-c", "eh", "%F/text.7z"}, {}, false, 1,
                "Cannot open archive %F/text.7z: not an archive of a known format"});
        addRun("eh, truncated 7z", {{"cut.7z"}, {"-c", "eh", "%F/cut.7z"}, {}, false, 1,
                                    "Cannot open archive %F/cut.7z: unexpected end of archive"});
        addRun("em_here, good then damaged",
               {{"good.zip", "crc.zip"}, {"-c", "em_here", "%F/good.zip", "%F/crc.zip"}, {}, false,
                1, damagedEntry, {}, {"a.txt=alpha", "c.txt=gamma", "!b.txt"}});
        addRun("em_to_archive_dir, missing then good",
               {{"good.zip"}, {"-c", "em_to_archive_dir", "%F/gone.7z", "%F/good.zip"}, {}, false,
                1, missing, {}, {"good/a.txt=alpha", "!good/b.txt"}});

        // Operation files. A damaged archive fails with 1 and no message box
        // (which would hold the run until its time limit).
        addRun("xml extract, damaged archive",
               {{"cut.7z"}, {}, "<target>broken</target><files><file>cut.7z</file></files>", true,
                1, "cut.7z did not complete"});
        addRun("xml extract, no archive named",
               {{}, {}, "<target>none</target><files><other>x</other></files>", true, 1,
                "names no archive to extract", {}, {"!none"}});
        const QString intoOut = "<target>out</target><files><file>%F/pack.7z</file></files>";
        addRun("xml extract", {{"pack.7z"}, {}, intoOut, false, 0, {}, {"out/src"}});
        // Again onto the files there: nobody can be asked, so it stops and the
        // file the user changed stays as it is.
        addRun("xml extract onto existing files",
               {{"pack.7z", "out/src/a.txt=changed\n"}, {}, intoOut, false, 1, "already exists",
                {}, {"out/src/a.txt=changed\n"}});
        // Nobody can type the password: the extraction stops instead of waiting.
        const QString locked = "<target>out</target><files><file>locked.7z</file></files>";
        addRun("xml extract, password needed",
               {{"locked.7z"}, {}, locked, false, 1, "needs a password", {}, {"!out/src"}});
        addRun("xml extract, password given",
               {{"locked.7z"}, {}, "<password>secret</password>" + locked, false, 0, {},
                {"out/src"}});
        const QString compress = "<operation>Compress</operation><format>%1</format>"
                                 "<target>%2</target><files>%3</files>";
        addRun("xml compress", {{}, {}, compress.arg("7z", "made.7z", "<file>%S</file>"), false,
                                0, {}, {}, {}, "made.7z", under("src", kSourceEntries)});
        // "absolute": each entry carries the whole path of its file; names keep
        // their leading "/", readers drop it on extraction.
        addRun("xml compress, absolute paths",
               {{}, {}, compress.arg("zip", "full.zip", "<file>%S</file>")
                            + "<pathsMode>absolute</pathsMode>", false, 0, {}, {}, {}, "full.zip",
                under("%S", kSourceEntries)});
        // How operation files are read: the last of an element counts, the
        // operation's name is exact (otherwise an extraction is meant).
        const QString made = compress.arg("7z", "made.7z", "<file>%S</file>");
        addRun("xml, a later target counts",
               {{}, {}, "<target>first.7z</target>" + made, false, 0, {}, {}, {"!first.7z"},
                "made.7z", under("src", kSourceEntries)});
        addRun("xml, operation names are exact",
               {{}, {}, "<operation>compress</operation><target>out</target>"
                        "<files><file>%S/a.txt</file></files>",
                false, 1, "%S/a.txt", {}, {"!out"}});
        // A script must learn that no archive was written: the target's folder
        // is a regular file.
        addRun("xml compress into a file",
               {{"blocker"}, {}, compress.arg("7z", "blocker/out.7z", "<file>%S</file>"), false, 1,
                "was not written", {}, {"blocker=a file, not a folder\n"}});
        for (const char* format : {"7z", "zip", "tar"}) {
            const QString archive = QString("out.") + format;
            const QString gone = "%F/gone.txt: No such file or directory";
            addRun(qPrintable(archive + ", only missing sources"),
                   {{}, {}, compress.arg(format, archive, "<file>gone.txt</file>"), false, 1, gone,
                    {}, {"!" + archive}});
            addRun(qPrintable(archive + ", one missing among good ones"),
                   {{}, {},
                    compress.arg(format, archive,
                                 "<file>%S/a.txt</file><file>gone.txt</file><file>%S/sub</file>"),
                    false, 1, gone, {}, {}, archive,
                    {"a.txt", "sub", "sub/b.txt", "sub/deeper", "sub/deeper/c.bin"}});
        }

        // Volume sizes in MiB: what is no whole number of them, or too large for
        // a volume, and volumes of an archive that exists are refused before
        // anything is written; 0 means one file.
        const QString split
            = compress.arg("7z", "out.7z", "<file>%S</file>") + "<volume>%1</volume>";
        for (const char* volume : {"0.5", "abc", "9000000000000000"})
            addRun(qPrintable(QString("volume %1").arg(volume)),
                   {{}, {}, split.arg(volume), false, 1, QString("\"%1\"").arg(volume), {},
                    {"!out.7z"}});
        addRun("volume 4096, beyond 32 bits",
               {{}, {}, split.arg(4096), false, 0, {}, {}, {"!out.7z"}, "out.7z.001",
                under("src", kSourceEntries)});
        addRun("volume 0", {{}, {}, split.arg(0), false, 0, {}, {}, {}, "out.7z",
                            under("src", kSourceEntries)});
        for (const QStringList& update :
             {QStringList{"7z", "pack.7z"}, QStringList{"tar_gzip", "app-2.4.1.tar.gz"}})
            addRun(qPrintable("volumes of " + update[1]),
                   {{update[1]}, {}, compress.arg(update[0], update[1], "<file>%S/a.txt</file>")
                                         + "<volume>1</volume>", false, 1,
                    "Cannot split %F/" + update[1] + " into volumes", {}, {update[1]}});

        // Without a display nothing that needs one runs, and nothing is touched.
        for (const char* command : {"a", "as", "e", "em", "o", "t"})
            addRun(command, {{"mine.txt=mine"}, {"-c", command, "%F/mine.txt"}, {}, false, 1,
                             QString("the command \"%1\" needs a display").arg(command), {},
                             {"mine.txt=mine"}});
        addRun("main window", {{"mine.txt=mine"}, {"%F/mine.txt"}, {}, false, 1,
                               "the main window needs a display", {}, {"mine.txt=mine"}});

        addRun("unknown option",
               {{}, {"--no-such-option"}, {}, true, 1, "Unknown option 'no-such-option'"});
        for (const char* command : {"a", "xml", "em_here", "o"})
            addRun(qPrintable(QString("%1 without argument").arg(command)),
                   {{}, {"-c", command}, {}, true, 1,
                    QString("the command \"%1\" needs a file or archive path").arg(command)});
    }

    void commands()
    {
        QFETCH(Run, run);
        const QString folder = testenv::makeDir("run");
        const auto place = [&](QString text) {
            return text.replace("%F", folder).replace("%S", m_source).replace("%I", m_inputs);
        };
        for (const QString& input : run.inputs) {
            const QString path = folder + "/" + input.section('=', 0, 0);
            QDir().mkpath(QFileInfo(path).path());
            if (input.contains('='))
                QVERIFY(testenv::writeFile(path, input.section('=', 1).toUtf8()));
            else
                QVERIFY(QFile::copy(m_inputs + "/" + QFileInfo(input).fileName(), path));
        }
        QStringList arguments;
        for (const QString& argument : run.arguments)
            arguments << place(argument);
        if (!run.xml.isEmpty()) {
            arguments = QStringList{"-c", "xml", folder + "/operation.xml"};
            QVERIFY(testenv::writeFile(arguments.last(), "<Main>" + place(run.xml).toUtf8()
                                                             + "</Main>"));
        }
        const auto result = testenv::runQuenvar(arguments, run.display);
        QVERIFY2(result.finished, result.err.constData());
        QCOMPARE(result.exitCode, run.exitCode);
        const QByteArray message = place(run.message).toUtf8();
        if (run.exitCode == 0) {
            QVERIFY2(result.err.isEmpty(), result.err.constData());
            QVERIFY2(result.out.contains(message), result.out.constData());
        } else {
            QVERIFY2(result.err.contains(message), result.err.constData());
        }
        for (const QString& target : run.sourceIn)
            QCOMPARE(testenv::compareTrees(m_source, folder + "/" + target), QString());
        for (const QString& file : run.files) {
            const QString name = file.section('=', 0, 0);
            const QString path = folder + "/" + name.mid(name.startsWith('!') ? 1 : 0);
            if (file.startsWith('!'))
                QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
            else if (!file.contains('='))
                QCOMPARE(testenv::readFile(path), testenv::readFile(m_inputs + "/" + name));
            else
                QCOMPARE(testenv::readFile(path), file.section('=', 1).toUtf8());
        }
        if (run.archive.isEmpty())
            return;
        const QString archive = folder + "/" + run.archive;
        QCOMPARE(testenv::run7z({"t", archive}).exitCode, 0);
        QStringList entries;
        for (const QString& entry : run.entries)
            entries << place(entry);
        entries.sort();
        QCOMPARE(testarchives::entryPaths(archive), entries);
    }

    void volumesOfOneMebibyte()
    {
        const QString folder = testenv::makeDir("volumes");
        QVERIFY(testenv::writeFile(folder + "/operation.xml",
                                   "<Main><operation>Compress</operation><format>7z</format>"
                                   "<volume>1</volume><target>split.7z</target><files><file>"
                                   + m_inputs.toUtf8() + "/big</file></files></Main>"));
        QCOMPARE(testenv::runQuenvar({"-c", "xml", folder + "/operation.xml"}).exitCode, 0);
        const QStringList parts = QDir(folder).entryList({"split.7z.*"}, QDir::Files, QDir::Name);
        QCOMPARE(parts.size(), 4);
        for (int i = 0; i < parts.size() - 1; ++i)
            QCOMPARE(QFileInfo(folder + "/" + parts.at(i)).size(), qint64(1048576));
        QCOMPARE(testenv::run7z({"t", folder + "/split.7z.001"}).exitCode, 0);
    }

    void helpAndVersion_data()
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

    void helpAndVersion()
    {
        QFETCH(QString, option);
        QFETCH(bool, display);
        QFETCH(QString, expected);
        // Before any command would run. Without a display the program maps none
        // of the window system's libraries; with one it goes on as the program
        // with windows.
        QProcessEnvironment env = testenv::childEnvironment(display);
        env.insert("LD_DEBUG", "files");
        const auto result = testenv::runProcess(testenv::quenvarBinary(), {option, "-c", "eh"},
                                                60000, QString(), env);
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(QString::fromUtf8(result.out).contains(expected), result.out.constData());
        QVERIFY(result.err.contains("libQt5Core.so"));
        QCOMPARE(result.err.contains("libQt5Widgets.so"), display);
    }

    void helpFollowsTheLanguage_data()
    {
        QTest::addColumn<QString>("systemLocale");
        QTest::addColumn<QVariant>("chosen");
        QTest::addColumn<QString>("expected");
        const QString english = "Commands (the value of --command):";
        const QString russian = QString::fromUtf8("Команды (значение --command):");
        QTest::newRow("English chosen")
            << "ru_RU.UTF-8" << QVariant(int(QLocale::English)) << english;
        QTest::newRow("Russian chosen")
            << "de_DE.UTF-8" << QVariant(int(QLocale::Russian)) << russian;
    }

    void helpFollowsTheLanguage()
    {
        QFETCH(QString, systemLocale);
        QFETCH(QVariant, chosen);
        QFETCH(QString, expected);
        QProcessEnvironment env = testenv::childEnvironment(false);
        env.insert("LC_ALL", systemLocale);
        if (chosen.isValid())
            testenv::writeFile(env.value("XDG_CONFIG_HOME") + "/Quenvar/Settings.conf",
                               "[General]\nDefaultLanguage=" + chosen.toByteArray() + "\n");
        const auto result
            = testenv::runProcess(testenv::quenvarBinary(), {"--help"}, 60000, QString(), env);
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(QString::fromUtf8(result.out).contains(expected), result.out.constData());
    }

    void quoteOfAMissingFirstPathIsABackslash()
    {
        // A trailing backslash that a shell turned into a quote: no such name
        // exists, so the quote goes back to what it was.
        const QString folder = testenv::makeDir("quote");
        const CompressOptions options
            = compressRequestFromArguments({folder + "/name\"", folder + "/other"});
        QCOMPARE(options.files, (QStringList{folder + "/name\\", folder + "/other"}));
        QCOMPARE(options.baseDirectory, folder);
    }

};

QUENVAR_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
