// The operation commands: the real executable for those that need no dialog
// (extracting beside or into the archive's folder, XML operation files, and
// the same without any display), and the commands with dialogs run in this
// process with the dialogs played by the test. Archives come from the 7z
// tool; what the program writes is read back by 7z or tar.
#include "common/testarchives.h"
#include "common/testenv.h"

#include "app/OperationCommands.h"
#include "fileops/UserActions.h"

#include <QComboBox>
#include <QDialog>
#include <QPushButton>

#include <functional>

namespace {

// Plays every dialog of one class that is shown: calls play with the
// dialog and its number (from 1) once the dialog runs its modal loop.
class DialogPlayer : public QObject
{
public:
    DialogPlayer(const char* className, std::function<void(QDialog*, int)> play)
        : m_className(className)
        , m_play(std::move(play))
    {
        qApp->installEventFilter(this);
    }
    ~DialogPlayer() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->inherits(m_className)) {
            QPointer<QDialog> dialog = qobject_cast<QDialog*>(watched);
            const int number = ++shown;
            QTimer::singleShot(0, this, [this, dialog, number] {
                if (dialog)
                    m_play(dialog, number);
            });
        }
        return false;
    }

private:
    const char* m_className;
    std::function<void(QDialog*, int)> m_play;
};

void click(QWidget* dialog, const char* button)
{
    dialog->findChild<QPushButton*>(QLatin1String(button))->click();
}

// Archives made by Python in the folder given: good.zip (a.txt: "alpha"), and
// two that cannot be extracted whole: crc.zip (c.txt: "gamma", and b.txt
// whose stored data has a flipped byte) and pax.tar (a pax header whose size
// runs past the end).
const char* const kBrokenArchives = R"(
import io, sys, tarfile, zipfile
folder = sys.argv[1]
for name, entries in (('good.zip', {'a.txt': b'alpha'}),
                      ('crc.zip', {'c.txt': b'gamma', 'b.txt': b'damaged data'})):
    with zipfile.ZipFile(folder + '/' + name, 'w') as archive:
        for entry, data in entries.items():
            archive.writestr(entry, data)
crc = bytearray(open(folder + '/crc.zip', 'rb').read())
crc[crc.find(b'damaged data')] ^= 0x20
open(folder + '/crc.zip', 'wb').write(crc)
stream = io.BytesIO()
with tarfile.open(fileobj=stream, mode='w', format=tarfile.PAX_FORMAT) as archive:
    info = tarfile.TarInfo('a.txt')
    info.size, info.pax_headers = 5, {'comment': 'pax'}
    archive.addfile(info, io.BytesIO(b'alpha'))
pax = bytearray(stream.getvalue())
pax[124:136] = b'77777777777\0'
pax[148:156] = b' ' * 8
pax[148:156] = b'%06o\0 ' % sum(pax[:512])
open(folder + '/pax.tar', 'wb').write(pax)
)";

} // namespace

class TestOperationCommands : public QObject
{
    Q_OBJECT

private:
    QString m_source; // a folder "src" with files and subfolders

    // As a script started by a service or by root runs it: without a
    // runtime folder in the environment.
    testenv::ProcessResult run(const QStringList& args, bool display = true)
    {
        QProcessEnvironment environment = testenv::childEnvironment(display);
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        return testenv::runProcess(testenv::quenvarBinary(), args, 90000, QString(), environment);
    }

    // The source folder (or content) packed by 7z into folder/name.format.
    QString makeArchive(const QString& folder, const QString& name, const QString& format,
                        const QString& content = QString())
    {
        const QString archive = folder + "/" + name + "." + format;
        const QString what = content.isEmpty() ? m_source : content;
        return testenv::run7z({"a", archive, what}).exitCode == 0 ? archive : QString();
    }

    QString writeXml(const QString& folder, const QString& body)
    {
        const QString path = folder + "/operation.xml";
        testenv::writeFile(path, "<Main>" + body.toUtf8() + "</Main>");
        return path;
    }

private slots:
    void initTestCase();
    void init() { UserActions::reset(); }

    void extractWithoutDialog_data();
    void extractWithoutDialog();
    void xmlCompressVolumesAndAbsolutePaths();
    void xmlExtract();
    void xmlCompressFailureEndsWithOne();
    void xmlCompressWithMissingSources_data();
    void xmlCompressWithMissingSources();
    void failedExtractionsSayWhy_data();
    void failedExtractionsSayWhy();
    void withoutDisplay();
    void passwordWithoutDisplay();

    void compressWithTheDialog();
    void quoteOfAMissingFirstPathIsABackslash();
    void extractWithTheDialog();
    void severalArchivesShareOneDialog();
    void cancellingTheFirstDialogStopsSeveral();
};

void TestOperationCommands::initTestCase()
{
    m_source = testenv::makeDir("src");
    testenv::makeTree(m_source,
                      {{"a.txt", "alpha\n"},
                       {"sub/b.txt", "beta\n"},
                       {"sub/deeper/c.bin", testenv::randomBytes(65536)}},
                      {"empty"});
}

void TestOperationCommands::extractWithoutDialog_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("command");
    // Each command once; the formats themselves are the archive tests' part.
    QTest::newRow("eh 7z") << "7z" << "eh";
    QTest::newRow("ed zip") << "zip" << "ed";
    QTest::newRow("em_here zip") << "zip" << "em_here";
    QTest::newRow("em_to_archive_dir 7z") << "7z" << "em_to_archive_dir";
}

void TestOperationCommands::extractWithoutDialog()
{
    QFETCH(QString, format);
    QFETCH(QString, command);
    // The commands for several archives get two, in folders of their own.
    const bool several = command.startsWith("em_");
    const bool ownFolder = command == "ed" || command == "em_to_archive_dir";
    QStringList folders = {testenv::makeDir(command + format + "1")};
    if (several)
        folders << testenv::makeDir(command + format + "2");
    QStringList archives;
    for (const QString& folder : folders)
        archives << makeArchive(folder, "pack", format);
    QVERIFY(!archives.contains(QString()));

    const auto result = run(QStringList{"-c", command} + archives);
    QVERIFY2(result.finished, result.err.constData());
    QCOMPARE(result.exitCode, 0);
    // Scripts take any line on standard error for a failure.
    QVERIFY2(result.err.isEmpty(), result.err.constData());
    for (const QString& folder : folders) {
        const QString target = ownFolder ? folder + "/pack" : folder;
        QCOMPARE(testenv::compareTrees(m_source, target + "/src"), QString());
    }
}

void TestOperationCommands::xmlCompressVolumesAndAbsolutePaths()
{
    const QString folder = testenv::makeDir("xmlvol");
    const QString big = testenv::makeDir("xmlvol-src");
    QVERIFY(testenv::writeFile(big + "/big.bin", testenv::randomBytes(3 * 1048576 + 1000)));
    QString xml =
        writeXml(folder, QStringLiteral(
                             "<operation>Compress</operation><format>7z</format><volume>1</volume>"
                             "<target>split.7z</target><files><file>%1</file></files>")
                             .arg(big));
    QCOMPARE(run({"-c", "xml", xml}).exitCode, 0);
    const QStringList parts = QDir(folder).entryList({"split.7z.*"}, QDir::Files, QDir::Name);
    QCOMPARE(parts.size(), 4);
    for (int i = 0; i < parts.size() - 1; ++i)
        QCOMPARE(QFileInfo(folder + "/" + parts.at(i)).size(), qint64(1048576));
    QCOMPARE(testenv::run7z({"t", folder + "/split.7z.001"}).exitCode, 0);

    // "absolute": each entry carries the whole path of its file.
    xml = writeXml(
        folder,
        QStringLiteral("<operation>Compress</operation><format>zip</format><pathsMode>absolute"
                       "</pathsMode><target>full.zip</target><files><file>%1</file></files>")
            .arg(m_source));
    QCOMPARE(run({"-c", "xml", xml}).exitCode, 0);
    const auto listing = testarchives::listWith7z(folder + "/full.zip");
    QCOMPARE(listing.exitCode, 0);
    // Names keep their leading "/"; readers drop it on extraction.
    const QString expected = m_source + "/sub/b.txt";
    QVERIFY2(listing.find(expected), listing.output.constData());
}

void TestOperationCommands::xmlExtract()
{
    const QString folder = testenv::makeDir("xmle");
    const QString archive = makeArchive(folder, "pack", "7z");
    // A damaged archive fails with 1 and no message box (which would hold
    // the run until its time limit).
    QByteArray bytes = testenv::readFile(archive);
    bytes.truncate(bytes.size() / 2);
    QVERIFY(testenv::writeFile(folder + "/broken.7z", bytes));
    QString xml = writeXml(folder, "<target>broken</target><files><file>broken.7z</file></files>");
    auto result = run({"-c", "xml", xml});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("broken.7z did not complete"), result.err.constData());

    // No archive named at all.
    xml = writeXml(folder, "<target>none</target><files><other>x</other></files>");
    result = run({"-c", "xml", xml});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("names no archive to extract"), result.err.constData());
    QVERIFY(!QFileInfo::exists(folder + "/none"));
}

void TestOperationCommands::xmlCompressFailureEndsWithOne()
{
    // A script must learn that no archive was written: the target's folder
    // is a regular file. No message box holds the run.
    const QString folder = testenv::makeDir("xmlc-fail");
    QVERIFY(testenv::writeFile(folder + "/blocker", "a file, not a folder\n"));
    const QString xml = writeXml(
        folder, QStringLiteral("<operation>Compress</operation><format>7z</format>"
                               "<target>blocker/out.7z</target><files><file>%1</file></files>")
                    .arg(m_source));
    const auto result = run({"-c", "xml", xml});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("was not written"), result.err.constData());
    QCOMPARE(testenv::readFile(folder + "/blocker"), QByteArray("a file, not a folder\n"));
}

void TestOperationCommands::xmlCompressWithMissingSources_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("withGood");
    for (const char* format : {"7z", "zip", "tar"}) {
        QTest::addRow("%s, only missing", format) << format << false;
        QTest::addRow("%s, one missing among good ones", format) << format << true;
    }
}

void TestOperationCommands::xmlCompressWithMissingSources()
{
    QFETCH(QString, format);
    QFETCH(bool, withGood);
    const QString folder = testenv::makeDir("xmlc-missing-" + format);
    QString files = "<file>gone.txt</file>";
    if (withGood)
        files = QStringLiteral("<file>%1/a.txt</file>%2<file>%1/sub</file>").arg(m_source, files);
    const QString xml =
        writeXml(folder, QStringLiteral("<operation>Compress</operation><format>%1</format>"
                                        "<target>out.%1</target><files>%2</files>")
                             .arg(format, files));
    const auto result = run({"-c", "xml", xml}, false);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains((folder + "/gone.txt: No such file or directory").toUtf8()),
             result.err.constData());
    const QString archive = folder + "/out." + format;
    QCOMPARE(QFileInfo::exists(archive), withGood);
    if (!withGood)
        return;
    const auto listing = testarchives::listWith7z(archive);
    QCOMPARE(listing.exitCode, 0);
    QStringList paths;
    for (const testarchives::PeerItem& item : listing.items)
        paths << item.value("Path");
    paths.sort();
    QCOMPARE(paths, (QStringList{"a.txt", "sub", "sub/b.txt", "sub/deeper", "sub/deeper/c.bin"}));
}

void TestOperationCommands::failedExtractionsSayWhy_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("archives");
    QTest::addColumn<QString>("message"); // %1: the path of the archive that fails
    const QString damagedEntry =
        "These entries of %1 were not extracted: their data is damaged: b.txt (CRC error)";
    const QString missing = "Cannot open file %1: No such file or directory";
    QTest::newRow("eh, broken pax header")
        << "eh" << QStringList{"pax.tar"} << "The archive %1 is damaged: unexpected end of archive";
    QTest::newRow("eh, damaged entry") << "eh" << QStringList{"crc.zip"} << damagedEntry;
    QTest::newRow("eh, missing") << "eh" << QStringList{"gone.7z"} << missing;
    QTest::newRow("eh, text named .7z")
        << "eh" << QStringList{"text.7z"}
        << "Cannot open archive %1: not an archive of a known format";
    QTest::newRow("eh, truncated 7z")
        << "eh" << QStringList{"cut.7z"} << "Cannot open archive %1: unexpected end of archive";
    QTest::newRow("ed, damaged entry") << "ed" << QStringList{"crc.zip"} << damagedEntry;
    QTest::newRow("em_here, good then damaged")
        << "em_here" << QStringList{"good.zip", "crc.zip"} << damagedEntry;
    QTest::newRow("em_to_archive_dir, missing then good")
        << "em_to_archive_dir" << QStringList{"gone.7z", "good.zip"} << missing;
}

void TestOperationCommands::failedExtractionsSayWhy()
{
    QFETCH(QString, command);
    QFETCH(QStringList, archives);
    QFETCH(QString, message);
    const QString folder = testenv::makeDir("failures-" + command);
    const auto made = testenv::runProcess("python3", {"-c", kBrokenArchives, folder});
    QVERIFY2(made.exitCode == 0, made.err.constData());
    QVERIFY(testenv::writeFile(folder + "/text.7z", "just text\n"));
    const QString whole = makeArchive(folder, "whole", "7z");
    QByteArray cut = testenv::readFile(whole);
    QVERIFY(testenv::writeFile(folder + "/cut.7z", cut.left(cut.size() / 2)));
    QFile::remove(whole);

    QStringList paths;
    QString failing;
    for (const QString& name : archives) {
        paths << folder + "/" + name;
        if (name != "good.zip")
            failing = paths.last();
    }
    const auto result = run(QStringList{"-c", command} + paths, false);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(QString::fromUtf8(result.err).contains(message.arg(failing)), result.err.constData());
    // What could be extracted is there all the same.
    const bool ownFolders = command == "ed" || command == "em_to_archive_dir";
    for (const QString& name : archives) {
        const QString target = ownFolders ? folder + "/" + name.section('.', 0, 0) : folder;
        if (name == "good.zip")
            QCOMPARE(testenv::readFile(target + "/a.txt"), QByteArray("alpha"));
        if (name == "crc.zip")
            QCOMPARE(testenv::readFile(target + "/c.txt"), QByteArray("gamma"));
        QVERIFY(!QFileInfo::exists(target + "/b.txt"));
    }
}

void TestOperationCommands::withoutDisplay()
{
    const QString folder = testenv::makeDir("headless");
    QString xml =
        writeXml(folder, QStringLiteral("<operation>Compress</operation><format>7z</format>"
                                        "<target>made.7z</target><files><file>%1</file></files>")
                             .arg(m_source));
    auto result = run({"-c", "xml", xml}, false);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), result.err.constData());
    QCOMPARE(testenv::run7z({"t", folder + "/made.7z"}).exitCode, 0);

    // A relative target and an absolute archive path, each taken as meant.
    xml =
        writeXml(folder, "<target>out</target><files><file>" + folder + "/made.7z</file></files>");
    QCOMPARE(run({"-c", "xml", xml}, false).exitCode, 0);
    QCOMPARE(testenv::compareTrees(m_source, folder + "/out/src"), QString());

    // Again onto the files now there: nobody can be asked, so it stops and
    // the file the user changed stays as it is.
    const QString mine = folder + "/out/src/a.txt";
    QVERIFY(testenv::writeFile(mine, "changed by the user\n"));
    result = run({"-c", "xml", xml}, false);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("already exists"), result.err.constData());
    QCOMPARE(testenv::readFile(mine), QByteArray("changed by the user\n"));

    for (const char* command : {"a", "as", "e", "em", "o", "t"}) {
        result = run({"-c", command, mine}, false);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(
                     QStringLiteral("the command \"%1\" needs a display").arg(command).toUtf8()),
                 result.err.constData());
    }
    result = run({mine}, false);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("the main window needs a display"), result.err.constData());
    QCOMPARE(testenv::readFile(mine), QByteArray("changed by the user\n"));
}

void TestOperationCommands::passwordWithoutDisplay()
{
    const QString folder = testenv::makeDir("headless-password");
    const QString archive = folder + "/locked.7z";
    QCOMPARE(testenv::run7z({"a", "-psecret", "-mhe=on", archive, m_source}).exitCode, 0);

    // Nobody can type the password: the extraction stops instead of waiting.
    QString xml = writeXml(folder, "<target>out</target><files><file>locked.7z</file></files>");
    auto result = run({"-c", "xml", xml}, false);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("needs a password"), result.err.constData());
    QVERIFY(testenv::listTree(folder + "/out").isEmpty());

    // Given in the file, it is used.
    xml = writeXml(
        folder,
        "<password>secret</password><target>out</target><files><file>locked.7z</file></files>");
    result = run({"-c", "xml", xml}, false);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(testenv::compareTrees(m_source, folder + "/out/src"), QString());
}

void TestOperationCommands::compressWithTheDialog()
{
    // The first name has a quote in it: a real name, taken as it is.
    const QString folder = testenv::makeDir("dialog-a");
    testenv::makeTree(folder, {{"quote\"d.txt", "q\n"}, {"sub/b.txt", "beta\n"}});
    QString archive;
    DialogPlayer player("CompressDialog", [&archive](QDialog* dialog, int) {
        archive = dialog->findChild<QComboBox*>("cbArchiveName")->currentText();
        click(dialog, "pbOk");
    });
    QCOMPARE(runOperationCommand("a", {folder + "/quote\"d.txt", folder + "/sub"}), 0);
    QCOMPARE(player.shown, 1);
    QCOMPARE(archive, folder + "/dialog-a.7z");
    const auto listing = testarchives::listWith7z(archive);
    QCOMPARE(listing.exitCode, 0);
    QVERIFY2(listing.find("quote\"d.txt") && listing.find("sub/b.txt"), listing.output.constData());
    QCOMPARE(testenv::run7z({"t", archive}).exitCode, 0);

    // "as" packs the same way, then hands the archive to the mail hook.
    QCOMPARE(runOperationCommand("as", {folder + "/sub"}), 0);
    QCOMPARE(player.shown, 2);
    QCOMPARE(archive, folder + "/sub.7z");
    QCOMPARE(testenv::run7z({"t", archive}).exitCode, 0);
}

void TestOperationCommands::quoteOfAMissingFirstPathIsABackslash()
{
    // A trailing backslash that a shell turned into a quote: no such name
    // exists, so the quote goes back to what it was.
    const QString folder = testenv::makeDir("quote");
    const CompressOptions options =
        compressRequestFromArguments({folder + "/name\"", folder + "/other"});
    QCOMPARE(options.files, (QStringList{folder + "/name\\", folder + "/other"}));
    QCOMPARE(options.baseDirectory, folder);
}

void TestOperationCommands::extractWithTheDialog()
{
    const QString folder = testenv::makeDir("dialog-e");
    const QString archive = makeArchive(folder, "pack", "zip");
    QString offered;
    DialogPlayer player("ExtractDialog", [&](QDialog* dialog, int) {
        auto* target = dialog->findChild<QComboBox*>("cbDstDirName");
        offered = target->currentText();
        target->setEditText(folder + "/chosen");
        click(dialog, "pbOk");
    });
    QCOMPARE(runOperationCommand("e", {archive}), 0);
    QCOMPARE(player.shown, 1);
    QCOMPARE(offered, folder);
    QCOMPARE(testenv::compareTrees(m_source, folder + "/chosen/src"), QString());
}

void TestOperationCommands::severalArchivesShareOneDialog()
{
    const QString other = testenv::makeDir("other");
    QVERIFY(testenv::writeFile(other + "/o.txt", "other\n"));
    const QString first = makeArchive(testenv::makeDir("em1"), "a", "7z");
    const QString second = makeArchive(testenv::makeDir("em2"), "b", "zip", other);
    const QString target = testenv::makeDir("em-target");
    DialogPlayer player("ExtractDialog", [&](QDialog* dialog, int number) {
        if (number > 1) {
            click(dialog, "pbCancel");
            return;
        }
        dialog->findChild<QComboBox*>("cbDstDirName")->setEditText(target);
        click(dialog, "pbOk");
    });
    QCOMPARE(runOperationCommand("em", {first, second}), 0);
    QCOMPARE(player.shown, 1);
    QCOMPARE(testenv::compareTrees(m_source, target + "/src"), QString());
    QCOMPARE(testenv::compareTrees(other, target + "/other"), QString());
    QCOMPARE(testenv::listTree(QFileInfo(second).path()), QStringList{"b.zip"});
}

void TestOperationCommands::cancellingTheFirstDialogStopsSeveral()
{
    const QString first = makeArchive(testenv::makeDir("emc1"), "a", "7z");
    const QString second = makeArchive(testenv::makeDir("emc2"), "b", "zip");
    DialogPlayer extract("ExtractDialog", [](QDialog* dialog, int) { click(dialog, "pbCancel"); });
    DialogPlayer progress("ArchiveProgressDlg", [](QDialog*, int) {});
    QCOMPARE(runOperationCommand("em", {first, second}), 1);
    QCOMPARE(extract.shown, 1);
    QCOMPARE(progress.shown, 0);
    QCOMPARE(testenv::listTree(QFileInfo(first).path()), QStringList{"a.7z"});
    QCOMPARE(testenv::listTree(QFileInfo(second).path()), QStringList{"b.zip"});
}

QUENVAR_TEST_MAIN(TestOperationCommands)
#include "tst_operationcommands.moc"
