// The real executable run as a script runs it (commands, operation files, the parser,
// help, language), and archives hold what the user has, read back by the peers: 7z,
// unzip, zipinfo, GNU tar, gzip, bzip2, xz and Python's tarfile and zipfile.
#include "common/testarchives.h"
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/OperationCommands.h"
#include "engine/filearchive.h"

#include <sys/stat.h>

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

// Permission bits, setuid and friends included; -1 when there is nothing.
int modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

const QMap<QString, int> kModes = {
    {"m", 0755},     {"m/key", 0600},  {"m/group.txt", 0640}, {"m/run.sh", 0755},
    {"m/priv", 0700}, {"m/priv/inside.txt", 0644}, {"m/suid", 04755},
};

QString makeModeTree(const QString& name)
{
    const QString folder = testenv::makeDir(name);
    for (auto it = kModes.cbegin(); it != kModes.cend(); ++it) {
        const QString path = folder + "/" + it.key();
        if (it.key() == "m" || it.key() == "m/priv")
            QDir().mkpath(path);
        else
            testenv::writeFile(path, it.key().toUtf8());
    }
    // Deepest first, so that the folders are still open to the chmods.
    for (auto it = kModes.cend(); it != kModes.cbegin();) {
        --it;
        ::chmod(QFile::encodeName(folder + "/" + it.key()).constData(), mode_t(it.value()));
    }
    return folder;
}

QString extensionOf(const QString& format)
{
    if (format.startsWith("tar_"))
        return "tar." +
               QString(format).remove("tar_").replace("gzip", "gz").replace("bzip2", "bz2");
    return format;
}

testenv::ProcessResult runXml(const QString& folder, const QString& body, int umask = -1)
{
    const QString path = folder + "/operation.xml";
    testenv::writeFile(path, "<Main>" + body.toUtf8() + "</Main>");
    return testenv::runQuenvar({"-c", "xml", path}, false, umask);
}

QString compressXml(const QString& format, const QString& archive, const QStringList& files,
                    const QString& extra = QString())
{
    QString list;
    for (const QString& file : files)
        list += "<file>" + file + "</file>";
    return QStringLiteral("<operation>Compress</operation><format>%1</format>%2"
                          "<target>%3</target><files>%4</files>")
        .arg(format, extra, archive, list);
}

testenv::ProcessResult extractWithQuenvar(const QString& archive, const QString& target,
                                          int umask = -1)
{
    return runXml(QFileInfo(archive).path(),
                  "<target>" + target + "</target><files><file>" + archive + "</file></files>",
                  umask);
}

testenv::ProcessResult run(const QString& program, const QStringList& arguments,
                           const QString& workDir = QString())
{
    return testenv::runProcess(program, arguments, 120000, workDir);
}

// Modification time in nanoseconds of the entry itself (a link's own).
qint64 mtimeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Names as archives from other systems hold them: Latin-1 (which holds
// cp437's bytes as well) beside UTF-8.
const QList<QByteArray> kForeignNames = {"umlauts-\xc4\xd6\xdc.txt", "d\xe9/f\xfc\x91o\x86.txt",
                                         "caf\xc3\xa9.txt"};

// A tar (GNU format) or a zip without the UTF-8 flag, by Python, with
// kForeignNames as they are; each file holds its name.
const char* const kPythonArchiver = R"(
import io, sys, tarfile, zipfile
kind, out, names = sys.argv[1], sys.argv[2], [bytes.fromhex(h) for h in sys.argv[3:]]
if kind == 'tar':
    with tarfile.open(out, 'w', format=tarfile.GNU_FORMAT, encoding='latin-1') as archive:
        for name in names:
            info = tarfile.TarInfo(name.decode('latin-1'))
            info.size = len(name)
            archive.addfile(info, io.BytesIO(name))
else:
    class RawName(zipfile.ZipInfo):
        def _encodeFilenameFlags(self):
            return self.filename.encode('latin-1'), self.flag_bits
    with zipfile.ZipFile(out, 'w') as archive:
        for name in names:
            archive.writestr(RawName(name.decode('latin-1')), name)
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
        // Peers run by an ordinary user apply the umask; the modes they are
        // expected to restore pass 022 untouched.
        ::umask(022);
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


    void missingSourcesKeepTheirEntries_data()
    {
        QTest::addColumn<QString>("format");
        for (const char* format : {"7z", "zip", "tar_gzip", "wim", "qv"})
            QTest::addRow("update %s", format) << format;
    }

    void missingSourcesKeepTheirEntries()
    {
        QFETCH(QString, format);
        const QString folder = testenv::makeDir("missing");
        testenv::makeTree(folder + "/s",
                          {{"x.txt", "x\n"}, {"y.txt", "y\n"}, {"data/doc.txt", "d\n"}});
        const QString archive = folder + "/a." + extensionOf(format);
        const QString request = compressXml(
            format, archive, {folder + "/s/x.txt", folder + "/s/y.txt", folder + "/s/data"});
        QCOMPARE(runXml(folder, request).exitCode, 0);
        QFile::remove(folder + "/s/x.txt");
        QDir(folder + "/s/data").removeRecursively();
        testenv::writeFile(folder + "/s/y.txt", "y2\n");
        const auto result = runXml(folder, request);
        QCOMPARE(result.exitCode, 1);
        for (const char* gone :
             {"/s/x.txt: No such file or directory", "/s/data: No such file or directory"})
            QVERIFY2(result.err.contains((folder + gone).toUtf8()), result.err.constData());

        // Read back by the program and, where it can, by the peer: the entries of
        // the missing sources as they were (no empty file shadowing data/).
        const QString expected = folder + "/expected";
        testenv::makeTree(expected, {{"x.txt", "x\n"}, {"y.txt", "y2\n"}, {"data/doc.txt", "d\n"}});
        QCOMPARE(extractWithQuenvar(archive, folder + "/out").exitCode, 0);
        QCOMPARE(testenv::compareTrees(expected, folder + "/out"), QString());
        if (format != "qv") {
            const auto test = testenv::run7z({"t", archive});
            QVERIFY2(test.exitCode == 0, test.out.constData());
        }
    }

    void modesKeptNeverWidened_data()
    {
        // Made by the program (a format) or a peer; extracted by the program
        // under a umask, or by a peer, which must find the modes stored.
        QTest::addColumn<QString>("maker");
        QTest::addColumn<QString>("extractor");
        QTest::addColumn<int>("umask");
        QTest::newRow("zip, unzip") << "zip" << "unzip" << 022;
        QTest::newRow("7z, 7z") << "7z" << "7z" << 022;
        QTest::newRow("wim, 7z") << "wim" << "7z" << 022;
        QTest::newRow("tar, GNU tar") << "tar" << "tar" << 022;
        for (const char* format : {"zip", "7z", "wim", "tar", "tar_gzip"})
            QTest::addRow("written here as %s", format) << format << "" << 022;
        QTest::newRow("7z a") << "7z a" << "" << 022;
        QTest::newRow("7z a, umask 077") << "7z a" << "" << 077;
        QTest::newRow("7z a -tzip, umask 027") << "7z a -tzip" << "" << 027;
        QTest::newRow("GNU tar") << "GNU tar" << "" << 022;
        QTest::newRow("GNU tar, umask 077") << "GNU tar" << "" << 077;
        QTest::newRow("gzip (no mode)") << "gzip" << "" << 022;
        QTest::newRow("gzip (no mode), umask 077") << "gzip" << "" << 077;
    }

    void modesKeptNeverWidened()
    {
        QFETCH(QString, maker);
        QFETCH(QString, extractor);
        QFETCH(int, umask);
        const QString folder = makeModeTree("modes");
        QString archive;
        if (maker == "7z a" || maker == "7z a -tzip") {
            archive = folder + (maker.endsWith("zip") ? "/m.zip" : "/m.7z");
            QCOMPARE(testenv::run7z({"a", archive, "m"}, folder).exitCode, 0);
        } else if (maker == "GNU tar") {
            archive = folder + "/m.tar";
            QCOMPARE(run("tar", {"-cf", archive, "m"}, folder).exitCode, 0);
        } else if (maker == "gzip") {
            QCOMPARE(run("gzip", {"-k", "m/key"}, folder).exitCode, 0);
            archive = folder + "/m/key.gz";
        } else {
            archive = folder + "/m." + extensionOf(maker);
            QCOMPARE(runXml(folder, compressXml(maker, archive, {folder + "/m"})).exitCode, 0);
        }
        const QString out = folder + "/out";
        if (extractor.isEmpty()) {
            QCOMPARE(extractWithQuenvar(archive, out, umask).exitCode, 0);
            if (maker == "gzip") {
                QCOMPARE(QString::number(modeOf(out + "/key"), 8),
                         QString::number(0666 & ~umask, 8));
                return;
            }
            // Never setuid, never more than stored and the umask allow.
            for (auto it = kModes.cbegin(); it != kModes.cend(); ++it)
                QCOMPARE(QString::number(modeOf(out + "/" + it.key()), 8),
                         QString::number(it.value() & 0777 & ~umask, 8));
            return;
        }

        QByteArray listing;
        if (maker == "zip")
            listing = run("zipinfo", {archive}).out;
        else if (maker == "tar")
            listing = run("tar", {"-tvf", archive}).out;
        else
            listing = testenv::run7z({"l", "-slt", archive}).out;
        for (const char* mode :
             {"-rw-------", "-rw-r-----", "-rwxr-xr-x", "drwx------", "-rwsr-xr-x"})
            QVERIFY2(listing.contains(mode), listing.constData());
        QDir().mkpath(out);
        testenv::ProcessResult extracted;
        if (extractor == "unzip")
            extracted = run("unzip", {"-q", archive, "-d", out});
        else if (extractor == "tar")
            extracted = run("tar", {"-xf", archive, "-C", out});
        else
            extracted = testenv::run7z({"x", "-o" + out, archive});
        QCOMPARE(extracted.exitCode, 0);
        for (auto it = kModes.cbegin(); it != kModes.cend(); ++it) {
            // What a peer does with setuid is the peer's business.
            if (it.value() <= 0777)
                QCOMPARE(QString::number(modeOf(out + "/" + it.key()), 8),
                         QString::number(it.value(), 8));
        }
    }

    void shortTarNames_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("compression");
        QTest::addColumn<QString>("format");
        QTest::newRow("tgz") << "tgz" << "-z" << "tar_gzip";
        QTest::newRow("tbz2") << "tbz2" << "-j" << "tar_bzip2";
        QTest::newRow("txz") << "txz" << "-J" << "tar_xz";
    }

    void shortTarNames()
    {
        QFETCH(QString, extension);
        QFETCH(QString, compression);
        QFETCH(QString, format);
        const QString folder = testenv::makeDir("short");
        testenv::makeTree(folder + "/src", {{"d/one", "1"}, {"two", "2"}});
        const QString archive = folder + "/g." + extension;
        QCOMPARE(
            run("tar", {"-c", compression, "-f", archive, "-C", folder + "/src", "d"}).exitCode, 0);

        // Listed as the tar it holds, like a .tar.gz.
        FileArchive lister;
        QVERIFY(lister.openArchive(archive));
        QCOMPARE(lister.archiveItems().value(0).name, QStringLiteral("g.tar"));

        QCOMPARE(runXml(folder, compressXml(format, archive, {folder + "/src/two"})).exitCode, 0);
        const auto listing = run("tar", {"-tvf", archive});
        QCOMPARE(listing.exitCode, 0);
        QVERIFY2(listing.out.contains(" d/one\n") && listing.out.contains(" two\n"),
                 listing.out.constData());

        QCOMPARE(testenv::runQuenvar({"-c", "ed", archive}).exitCode, 0);
        QCOMPARE(testenv::readFile(folder + "/g/d/one"), QByteArray("1"));
        QCOMPARE(testenv::readFile(folder + "/g/two"), QByteArray("2"));
    }

    void foreignNameBytes_data()
    {
        QTest::addColumn<QString>("maker");
        QTest::addColumn<QStringList>("peers");
        QTest::newRow("tar by Python") << "python tar" << QStringList{"7z", "tar"};
        QTest::newRow("zip by Python, DOS names") << "python zip" << QStringList{"7z"};
        for (const char* format : {"7z", "zip", "wim"})
            QTest::addRow("%s written here", format) << format << QStringList{"7z"};
        QTest::newRow("tar written here") << "tar" << QStringList{"7z", "tar"};
        QTest::newRow("tar.gz written here") << "tar_gzip" << QStringList{"tar"};
        QTest::newRow("qv written here") << "qv" << QStringList();
    }

    void foreignNameBytes()
    {
        QFETCH(QString, maker);
        QFETCH(QStringList, peers);
        const QString folder = testenv::makeDir("bytes");
        QMap<QString, QByteArray> files;
        QStringList hexNames;
        for (const QByteArray& name : kForeignNames) {
            files.insert(QFile::decodeName(name), name);
            hexNames << QString::fromLatin1(name.toHex());
        }
        testenv::makeTree(folder + "/src", files);
        QString archive;
        if (maker.startsWith("python")) {
            archive = folder + (maker.endsWith("tar") ? "/p.tar" : "/p.zip");
            const auto made
                = run("python3",
                      QStringList{"-c", kPythonArchiver, maker.mid(7), archive} + hexNames);
            QVERIFY2(made.exitCode == 0, made.err.constData());
        } else {
            archive = folder + "/p." + extensionOf(maker);
            QCOMPARE(runXml(folder, compressXml(maker, archive, {folder + "/src/"})).exitCode, 0);
            files.clear();
            for (const QByteArray& name : kForeignNames)
                files.insert("src/" + QFile::decodeName(name), name);
        }
        testenv::makeTree(folder + "/expected", files);

        QCOMPARE(extractWithQuenvar(archive, folder + "/out").exitCode, 0);
        QCOMPARE(testenv::compareTrees(folder + "/expected", folder + "/out"), QString());
        for (const QString& peer : peers) {
            const QString out = folder + "/" + peer;
            QDir().mkpath(out);
            const auto extracted = peer == "tar" ? run("tar", {"-xf", archive, "-C", out})
                                                 : testenv::run7z({"x", "-o" + out, archive});
            QCOMPARE(extracted.exitCode, 0);
            QCOMPARE(testenv::compareTrees(folder + "/out", out), QString());
        }
    }

    void timesAsThePeersSetThem_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("peer");
        // gzip -n stores no time; bzip2 and xz never store one.
        QTest::newRow("gz, gunzip") << "gz" << QStringList{"gzip", "-d", "-k"};
        QTest::newRow("bz2, bunzip2") << "bz2" << QStringList{"bzip2", "-d", "-k"};
        QTest::newRow("xz, unxz") << "xz" << QStringList{"xz", "-d", "-k"};
        QTest::newRow("tar with a link, GNU tar") << "tar" << QStringList{"tar", "-xf"};
    }

    void timesAsThePeersSetThem()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, peer);
        const QString folder = testenv::makeDir("times");
        testenv::writeFile(folder + "/f.txt", "times\n");
        QString archive = folder + "/f.txt." + kind;
        QStringList outputs = {"f.txt"};
        if (kind == "tar") {
            archive = folder + "/l.tar";
            QVERIFY(QFile::link("f.txt", folder + "/link"));
            QCOMPARE(run("touch", {"-h", "-d", "@1200000000.25", "link", "f.txt"}, folder).exitCode,
                     0);
            QCOMPARE(run("tar", {"-cf", archive, "link", "f.txt"}, folder).exitCode, 0);
            outputs << "link";
        } else {
            const QStringList compress = kind == "gz" ? QStringList{"gzip", "-n"}
                                                      : QStringList{kind == "bz2" ? "bzip2" : "xz"};
            QCOMPARE(run(compress.first(), compress.mid(1) + QStringList{"-k", "f.txt"}, folder)
                         .exitCode,
                     0);
        }
        QFile::remove(folder + "/f.txt");
        QFile::remove(folder + "/link");
        const QString peerFolder = testenv::makeDir("times-peer");
        const QString copy = peerFolder + "/" + QFileInfo(archive).fileName();
        QVERIFY(QFile::copy(archive, copy));
        for (const QString& path : {archive, copy})
            QCOMPARE(run("touch", {"-d", "@1300000000", path}).exitCode, 0);

        QCOMPARE(extractWithQuenvar(archive, folder + "/out").exitCode, 0);
        const QString program = peer.takeFirst();
        const auto peerRun = program == "7z" ? testenv::run7z(peer + QStringList{copy}, peerFolder)
                                             : run(program, peer + QStringList{copy}, peerFolder);
        QCOMPARE(peerRun.exitCode, 0);
        for (const QString& name : outputs) {
            QVERIFY(mtimeOf(peerFolder + "/" + name) > 0);
            QCOMPARE(mtimeOf(folder + "/out/" + name), mtimeOf(peerFolder + "/" + name));
        }
    }

    void sourcesKeepTheirNames_data()
    {
        // A trailing "/" keeps the folder. "a\b.txt" is one file here; read as
        // a path it would be b.txt in a, which exists beside it with other
        // contents. The target folder has a backslash too.
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("pathsMode");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("file"); // the one file extracted, or its end
        for (const char* format :
             {"7z", "zip", "tar", "wim", "tar_gzip", "tar_bzip2", "tar_xz", "qv"})
            QTest::addRow("%s, folder/", format)
                << format << "relative" << "photos/" << "photos/sub/p.jpg";
        for (const char* format : {"7z", "qv"}) {
            for (const char* mode : {"full", "absolute"})
                QTest::addRow("%s %s, folder/", format, mode)
                    << format << mode << "photos/" << "/photos/sub/p.jpg";
        }
        for (const char* format : {"7z", "zip", "tar_gzip", "qv"})
            QTest::addRow("%s, a\\b.txt", format) << format << "relative" << "a\\b.txt"
                                                << "a\\b.txt";
    }

    void sourcesKeepTheirNames()
    {
        QFETCH(QString, format);
        QFETCH(QString, pathsMode);
        QFETCH(QString, source);
        QFETCH(QString, file);
        const QString folder = testenv::makeDir("names");
        testenv::makeTree(folder,
                          {{"photos/sub/p.jpg", "p"}, {"a\\b.txt", "one"}, {"a/b.txt", "other"}});
        const QString archive = folder + "/t." + extensionOf(format);
        QCOMPARE(runXml(folder, compressXml(format, archive, {folder + "/" + source},
                                            "<pathsMode>" + pathsMode + "</pathsMode>"))
                     .exitCode,
                 0);
        const QString out = folder + "/out\\x";
        QCOMPARE(extractWithQuenvar(archive, out).exitCode, 0);
        QVERIFY(!QFileInfo::exists(folder + "/out"));
        const QStringList tree = testenv::listTree(out);
        const QStringList files = tree.filter(QRegularExpression("[^/]$"));
        QCOMPARE(files.size(), 1);
        QVERIFY2(files[0] == file || (file.startsWith('/') && files[0].endsWith(file)),
                 qPrintable(files[0]));
        QCOMPARE(testenv::readFile(out + "/" + files[0]),
                 QByteArray(source == "photos/" ? "p" : "one"));
        if (pathsMode == "relative")
            QCOMPARE(tree.size(), file.count('/') + 1);
    }
};

QUENVAR_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
