// The packing options dialog: what a selection and a format allow, the names
// it proposes, the sizes and passwords it takes and what it hands back.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "ui/compressdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "dialogtest.h"

using namespace dialogtest;

namespace {

void selectFormat(QWidget* dialog, const QString& name)
{
    auto* combo = child<QComboBox>(dialog, "cbFormat");
    const int index = combo->findText(name);
    if (index < 0)
        qFatal("format %s not offered", qPrintable(name));
    combo->setCurrentIndex(index);
}

QString archiveText(QWidget* dialog)
{
    return child<QComboBox>(dialog, "cbArchiveName")->currentText();
}

} // namespace

class TestCompressDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void singleStreamsOnlyForOneFile_data();
    void singleStreamsOnlyForOneFile();
    void choicesPerFormat_data();
    void choicesPerFormat();
    void ownFormatOffersOnlyAddAndRelative();

    void volumeSize_data();
    void volumeSize();
    void refusedAttemptDoesNotLeakIntoTheNext();

    void proposedNames_data();
    void proposedNames();
    void suffixOnAccept_data();
    void suffixOnAccept();

    void passwordOnlyWhenTickedAndGiven_data();
    void passwordOnlyWhenTickedAndGiven();
    void acceptedChoicesReachTheRequest();

private:
    CompressOptions request(const QStringList& names, const QString& archive = QString()) const;

    QString m_dir;
};

void TestCompressDialog::init()
{
    m_dir = testenv::makeDir(QStringLiteral("sources"));
    testenv::makeTree(m_dir, {{"report.txt", "report"}, {"notes.md", "notes"}}, {"photos", "v1.2"});
}

// The names are files of the sources folder; archive is relative to it.
CompressOptions TestCompressDialog::request(const QStringList& names, const QString& archive) const
{
    CompressOptions options;
    for (const QString& name : names)
        options.files << m_dir + "/" + name;
    options.baseDirectory = m_dir;
    if (!archive.isEmpty())
        options.archivePath = m_dir + "/" + archive;
    return options;
}

void TestCompressDialog::singleStreamsOnlyForOneFile_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("offered");
    QTest::newRow("one file") << QStringList{"report.txt"} << true;
    QTest::newRow("two files") << QStringList{"report.txt", "notes.md"} << false;
    QTest::newRow("one folder") << QStringList{"photos"} << false;
    QTest::newRow("a file that does not exist (yet)") << QStringList{"missing.txt"} << false;
}

void TestCompressDialog::singleStreamsOnlyForOneFile()
{
    QFETCH(QStringList, names);
    QFETCH(bool, offered);
    CompressDialog dialog;
    CompressOptions options = request(names);
    dialog.setCompressOptions(options);
    const QStringList formats = itemTexts(child<QComboBox>(&dialog, "cbFormat"));
    for (const char* stream : {"bzip2", "gzip", "xz"})
        QCOMPARE(formats.contains(stream), offered);
    QVERIFY(formats.contains("tar.gz") && formats.contains("qv"));
    QCOMPARE(formats.first(), QStringLiteral("7z"));
}

void TestCompressDialog::choicesPerFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("password");
    QTest::newRow("7z") << "7z" << "LZMA2" << true;
    QTest::newRow("zip") << "zip" << "Deflate" << true;
    QTest::newRow("gzip") << "gzip" << "Deflate" << false;
    QTest::newRow("tar") << "tar" << "" << false;
    QTest::newRow("qv") << "qv" << "LZMA" << true;
}

void TestCompressDialog::choicesPerFormat()
{
    QFETCH(QString, format);
    QFETCH(QString, method);
    QFETCH(bool, password);

    CompressDialog dialog;
    CompressOptions options = request({"report.txt"});
    dialog.setCompressOptions(options);
    // Arrive from a format with other choices, so that nothing is left over.
    selectFormat(&dialog, format == "zip" ? "tar" : "zip");
    selectFormat(&dialog, format);
    QCOMPARE(child<QComboBox>(&dialog, "cbCompressMethod")->currentText(), method);
    QCOMPARE(child<QCheckBox>(&dialog, "cbPassword")->isEnabled(), password);
    // Only the own format's scrambling needs a word on what it protects.
    QCOMPARE(child<QLineEdit>(&dialog, "lePassword")->toolTip().isEmpty(), format != "qv");
}

void TestCompressDialog::ownFormatOffersOnlyAddAndRelative()
{
    CompressDialog dialog;
    CompressOptions options = request({"report.txt", "notes.md"});
    dialog.setCompressOptions(options);
    auto* update = child<QComboBox>(&dialog, "cbChangeType");
    auto* paths = child<QComboBox>(&dialog, "cbPathType");
    auto* volume = child<QComboBox>(&dialog, "cbVolumeSize");

    volume->setCurrentIndex(volume->findText("700M - CD"));
    selectFormat(&dialog, "qv");
    QCOMPARE(itemTexts(update), QStringList{"Add and replace"});
    QCOMPARE(itemTexts(paths), QStringList{"Relative paths"});
    QVERIFY(volume->currentText().isEmpty());

    // A typed size goes as well.
    selectFormat(&dialog, "zip");
    volume->setEditText("5M");
    selectFormat(&dialog, "qv");
    QVERIFY(volume->currentText().isEmpty());

    selectFormat(&dialog, "7z");
    QCOMPARE(update->count(), 4);
    QCOMPARE(paths->count(), 3);
}

void TestCompressDialog::volumeSize_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("bytes"); // 0: refused, and the dialog stays open
    QTest::newRow("CD preset") << "650M - CD" << qint64(681574400);
    QTest::newRow("one kilobyte") << "1k" << qint64(1024);
    QTest::newRow("beyond 32 bits") << "4480M - DVD" << qint64(4697620480LL);
    QTest::newRow("blu-ray preset") << "23040M - BD" << qint64(24159191040LL);
    QTest::newRow("upper case and blank") << "2 G" << qint64(2147483648LL);
    QTest::newRow("empty means one file") << "" << qint64(-1);
    for (const char* refused : {"999", "0k", "0m", "k", "1.5g", "large", "99999999999999999g"})
        QTest::addRow("refused: %s", refused) << refused << qint64(0);
}

void TestCompressDialog::volumeSize()
{
    QFETCH(QString, text);
    QFETCH(qint64, bytes);
    CompressDialog dialog;
    CompressOptions options = request({"report.txt", "notes.md"});
    dialog.setCompressOptions(options);
    QString title;
    QString message;
    bool openAfterOk = false;
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        auto* volume = child<QComboBox>(d, "cbVolumeSize");
        const int preset = volume->findText(text);
        if (preset >= 0 && !text.isEmpty())
            volume->setCurrentIndex(preset);
        else
            volume->setEditText(text);
        if (bytes == 0)
            testenv::answerNextMessageBox(&title, &message);
        child<QPushButton>(d, "pbOk")->click();
        openAfterOk = d->isVisible();
        if (openAfterOk)
            child<QPushButton>(d, "pbCancel")->click();
    });
    QCOMPARE(openAfterOk, bytes == 0);
    QCOMPARE(result, int(bytes == 0 ? QDialog::Rejected : QDialog::Accepted));
    if (bytes == 0)
        QCOMPARE(title + ": " + message, QStringLiteral("Error: Invalid volume size"));
    else
        QCOMPARE(qint64(dialog.getCompressOptions().volumeSize), bytes);
}

void TestCompressDialog::refusedAttemptDoesNotLeakIntoTheNext()
{
    CompressDialog dialog;
    CompressOptions options = request({"report.txt", "notes.md"}, "pack");
    dialog.setCompressOptions(options);
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        auto* paths = child<QComboBox>(d, "cbPathType");
        paths->setCurrentIndex(PT_ABSOLUTE);
        child<QComboBox>(d, "cbVolumeSize")->setEditText("999");
        testenv::answerNextMessageBox();
        child<QPushButton>(d, "pbOk")->click();
        // The user changes their mind after the warning.
        paths->setCurrentIndex(PT_RELATIVE);
        child<QComboBox>(d, "cbVolumeSize")->setEditText("1m");
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    const CompressOptions accepted = dialog.getCompressOptions();
    QCOMPARE(accepted.baseDirectory, m_dir);
    QCOMPARE(accepted.archivePath, m_dir + "/pack.7z");
    QCOMPARE(qint64(accepted.volumeSize), qint64(1048576));
}

void TestCompressDialog::proposedNames_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QStringList>("formats"); // chosen in turn
    QTest::addColumn<QString>("proposed");    // in the sources folder; "%1": its name

    const QStringList two{"report.txt", "notes.md"};
    const QStringList one{"report.txt"};
    QTest::newRow("several files: the folder's own name")
        << two << "" << QStringList() << QStringList() << "%1.7z";
    QTest::newRow("one file: its extension gives way")
        << one << "" << QStringList() << QStringList() << "report.7z";
    QTest::newRow("one file as tar.gz")
        << one << "" << QStringList() << QStringList{"tar.gz"} << "report.tar.gz";
    QTest::newRow("a single stream keeps the extension")
        << one << "" << QStringList() << QStringList{"xz"} << "report.txt.xz";
    QTest::newRow("and gives it back")
        << one << "" << QStringList() << QStringList{"gzip", "7z"} << "report.7z";
    QTest::newRow("a folder keeps its dots")
        << QStringList{"v1.2"} << "v1.2" << QStringList() << QStringList() << "v1.2.7z";
    QTest::newRow("nothing to name it after")
        << QStringList() << "" << QStringList() << QStringList() << "";
    QTest::newRow("another format keeps the base name")
        << two << "backup" << QStringList{"backup.tar"} << QStringList{"zip"} << "backup.zip";
    QTest::newRow("a taken name gets a number")
        << two << "backup" << QStringList{"backup.tar"} << QStringList{"zip", "tar"}
        << "backup_1.tar";
    QTest::newRow("the next free number")
        << two << "backup" << QStringList{"backup.wim", "backup_1.wim"} << QStringList{"wim"}
        << "backup_2.wim";
    QTest::newRow("back to the free name")
        << two << "backup" << QStringList{"backup.tar"} << QStringList{"tar", "zip"}
        << "backup.zip";
}

void TestCompressDialog::proposedNames()
{
    QFETCH(QStringList, names);
    QFETCH(QString, archive);
    QFETCH(QStringList, taken);
    QFETCH(QStringList, formats);
    QFETCH(QString, proposed);

    for (const QString& name : taken)
        QVERIFY(testenv::writeFile(m_dir + "/" + name, "taken"));
    CompressDialog dialog;
    CompressOptions options = request(names, archive);
    dialog.setCompressOptions(options);
    for (const QString& format : formats)
        selectFormat(&dialog, format);
    if (!proposed.isEmpty())
        proposed = m_dir + "/" + proposed.arg(QFileInfo(m_dir).fileName());
    QCOMPARE(archiveText(&dialog), proposed);
}

void TestCompressDialog::suffixOnAccept_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bare name") << "7z" << "backup" << "backup.7z";
    QTest::newRow("path") << "7z" << "/tmp/x/backup" << "/tmp/x/backup.7z";
    QTest::newRow("already there") << "7z" << "backup.7z" << "backup.7z";
    QTest::newRow("format name without dot") << "7z" << "backup7z" << "backup7z";
    QTest::newRow("ends with dot") << "zip" << "backup." << "backup.zip";
    QTest::newRow("case counts") << "zip" << "backup.ZIP" << "backup.ZIP.zip";
    QTest::newRow("other extension") << "zip" << "backup.7z" << "backup.7z.zip";
    QTest::newRow("compound") << "tar.gz" << "backup" << "backup.tar.gz";
    QTest::newRow("compound kept") << "tar.bz2" << "backup.tar.bz2" << "backup.tar.bz2";
    QTest::newRow("bzip2 gets its extension") << "bzip2" << "data" << "data.bz2";
    QTest::newRow("gzip gets its extension") << "gzip" << "data" << "data.gz";
    QTest::newRow("bzip2 extension kept") << "bzip2" << "data.bz2" << "data.bz2";
    QTest::newRow("gzip extension kept") << "gzip" << "data.gz" << "data.gz";
    QTest::newRow("empty stays empty") << "7z" << "" << "";
}

void TestCompressDialog::suffixOnAccept()
{
    QFETCH(QString, format);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    CompressDialog dialog;
    CompressOptions options = request({"report.txt"});
    dialog.setCompressOptions(options);
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        selectFormat(d, format);
        auto* name = child<QComboBox>(d, "cbArchiveName");
        name->lineEdit()->clear();
        QTest::keyClicks(name->lineEdit(), typed);
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.getCompressOptions().archivePath, expected);
    QCOMPARE(ZipFormatNames[dialog.getCompressOptions().format], format);
}

void TestCompressDialog::passwordOnlyWhenTickedAndGiven_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ticked and typed") << "7z" << true << "secret" << "secret";
    QTest::newRow("ticked, nothing typed") << "zip" << true << "" << "";
    QTest::newRow("typed, not ticked") << "7z" << false << "secret" << "";
    QTest::newRow("then a format without encryption") << "tar" << true << "secret" << "";
}

void TestCompressDialog::passwordOnlyWhenTickedAndGiven()
{
    QFETCH(QString, format);
    QFETCH(bool, tick);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    CompressDialog dialog;
    CompressOptions options = request({"report.txt", "notes.md"});
    dialog.setCompressOptions(options);
    auto* field = child<QLineEdit>(&dialog, "lePassword");
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        QVERIFY(!field->isEnabled());
        if (tick) {
            child<QCheckBox>(d, "cbPassword")->setChecked(true);
            QVERIFY(field->isEnabled());
            QCOMPARE(d->focusWidget(), field);
        }
        field->setText(typed);
        selectFormat(d, format);
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.getCompressOptions().password, expected);
    QCOMPARE(field->echoMode(), QLineEdit::Password);
}

void TestCompressDialog::acceptedChoicesReachTheRequest()
{
    CompressDialog dialog;
    CompressOptions options = request({"report.txt", "notes.md"}, "all");
    options.addToExisting = true;
    options.archiveFolder = QStringLiteral("docs");
    options.note = QStringLiteral("kept");
    dialog.setCompressOptions(options);
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        selectFormat(d, "zip");
        const QList<QPair<const char*, const char*>> choices = {
            {"cbCompressLevel", "Maximum"},
            {"cbCompressMethod", "BZip2"},
            {"cbChangeType", "Synchronize"}};
        for (const auto& choice : choices) {
            auto* combo = child<QComboBox>(d, choice.first);
            combo->setCurrentIndex(combo->findText(choice.second));
        }
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    const CompressOptions accepted = dialog.getCompressOptions();
    QCOMPARE(int(accepted.format), int(ZF_ZIP));
    QCOMPARE(accepted.level, 7u);
    QCOMPARE(accepted.method, 3);
    QCOMPARE(int(accepted.updateMethod), int(UM_SYNCHRONIZE));
    QCOMPARE(accepted.archivePath, m_dir + "/all.zip");
    QCOMPARE(accepted.files, options.files);
    QVERIFY(accepted.addToExisting);
    QCOMPARE(accepted.archiveFolder, QStringLiteral("docs"));
    QCOMPARE(accepted.note, QStringLiteral("kept"));
    QCOMPARE(qint64(accepted.volumeSize), qint64(-1));
}

QUENVAR_TEST_MAIN(TestCompressDialog)
#include "tst_compressdialog.moc"
