// The packing options dialog: what it offers per format, the names it
// proposes and what it hands back when accepted.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "ui/compressdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
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

int formatByName(const QString& name)
{
    for (int i = 0; i < ZipFormatCount; ++i) {
        if (ZipFormatNames[i] == name)
            return i;
    }
    qFatal("unknown format %s", qPrintable(name));
    return -1;
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

    void formatsOfferedBySelection();
    void choicesPerFormat_data();
    void choicesPerFormat();
    void ownFormatOffersOnlyAddAndRelative();

    void volumeSize_data();
    void volumeSize();
    void refusedAttemptDoesNotLeakIntoTheNext();

    void proposedNames();
    void switchingFormatKeepsBaseNameAndAvoidsExisting();
    void suffixOnAccept_data();
    void suffixOnAccept();
    void singleStreamNamesKeepTheirExtension();

    void passwordOnlyWhenTickedAndGiven();
    void acceptedChoicesReachTheRequest();

private:
    CompressOptions request(const QStringList& files, const QString& archivePath = QString()) const;

    QString m_dir;
    QString m_file;
    QString m_second;
    QString m_folder;
};

void TestCompressDialog::init()
{
    m_dir = testenv::makeDir(QStringLiteral("sources"));
    m_file = m_dir + "/report.txt";
    m_second = m_dir + "/notes.md";
    m_folder = m_dir + "/photos";
    QVERIFY(testenv::writeFile(m_file, "report"));
    QVERIFY(testenv::writeFile(m_second, "notes"));
    QVERIFY(QDir().mkpath(m_folder));
}

CompressOptions TestCompressDialog::request(const QStringList& files, const QString& archivePath) const
{
    CompressOptions options;
    options.files = files;
    options.baseDirectory = m_dir;
    options.archivePath = archivePath;
    return options;
}

void TestCompressDialog::formatsOfferedBySelection()
{
    const QStringList many = {"7z", "tar", "wim", "zip", "qv", "tar.xz", "tar.bz2", "tar.gz"};
    const QStringList all = {"7z", "bzip2", "gzip", "tar", "wim", "xz", "zip", "qv", "tar.xz", "tar.bz2", "tar.gz"};

    CompressDialog dialog;
    auto* formats = child<QComboBox>(&dialog, "cbFormat");

    CompressOptions options = request({m_file, m_second});
    dialog.setCompressOptions(options);
    QCOMPARE(itemTexts(formats), many);
    QCOMPARE(itemData(formats), (QList<int>{0, 3, 4, 6, 7, 8, 9, 10}));
    QCOMPARE(formats->currentText(), QStringLiteral("7z"));

    options = request({m_file});
    dialog.setCompressOptions(options);
    QCOMPARE(itemTexts(formats), all);
    QCOMPARE(itemData(formats), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    // One folder is not one file: a single stream cannot hold it.
    options = request({m_folder});
    dialog.setCompressOptions(options);
    QCOMPARE(itemTexts(formats), many);

    // Nor can it hold a file that does not exist (yet).
    options = request({m_dir + "/missing.txt"});
    dialog.setCompressOptions(options);
    QCOMPARE(itemTexts(formats), many);
}

void TestCompressDialog::choicesPerFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("levels");
    QTest::addColumn<QList<int>>("levelData");
    QTest::addColumn<QString>("defaultLevel");
    QTest::addColumn<QStringList>("methods");
    QTest::addColumn<QList<int>>("methodData");
    QTest::addColumn<bool>("password");

    const QStringList allLevels = {"Store", "Fastest", "Fast", "Normal", "Maximum", "Ultra"};
    const QList<int> allLevelData = {0, 3, 3, 5, 7, 9};

    QTest::newRow("7z") << "7z" << allLevels << allLevelData << "Normal"
                        << QStringList{"LZMA2", "LZMA", "PPMd", "BZip2"} << QList<int>{0, 1, 2, 3} << true;
    QTest::newRow("gzip") << "gzip" << QStringList{"Fastest", "Normal", "Maximum", "Ultra"}
                          << QList<int>{3, 5, 7, 9} << "Maximum" << QStringList{"Deflate"} << QList<int>{4} << false;
    QTest::newRow("tar") << "tar" << QStringList{"Store"} << QList<int>{0} << "Store" << QStringList{}
                         << QList<int>{} << false;
    QTest::newRow("zip") << "zip" << allLevels << allLevelData << "Normal"
                         << QStringList{"Deflate", "Deflate64", "LZMA", "PPMd", "BZip2"} << QList<int>{4, 5, 1, 2, 3}
                         << true;
    QTest::newRow("qv") << "qv" << QStringList{"Normal"} << QList<int>{5} << "Normal" << QStringList{"LZMA"}
                        << QList<int>{1} << true;
    QTest::newRow("tar.gz") << "tar.gz" << QStringList{"Normal"} << QList<int>{5} << "Normal"
                            << QStringList{"LZMA"} << QList<int>{1} << false;
}

void TestCompressDialog::choicesPerFormat()
{
    QFETCH(QString, format);
    QFETCH(QStringList, levels);
    QFETCH(QList<int>, levelData);
    QFETCH(QString, defaultLevel);
    QFETCH(QStringList, methods);
    QFETCH(QList<int>, methodData);
    QFETCH(bool, password);

    CompressDialog dialog;
    CompressOptions options = request({m_file});
    dialog.setCompressOptions(options);
    // Arrive from a format with other choices, so that nothing is left over.
    selectFormat(&dialog, format == "zip" ? "tar" : "zip");
    selectFormat(&dialog, format);

    auto* level = child<QComboBox>(&dialog, "cbCompressLevel");
    auto* method = child<QComboBox>(&dialog, "cbCompressMethod");
    QCOMPARE(itemTexts(level), levels);
    QCOMPARE(itemData(level), levelData);
    QCOMPARE(level->currentText(), defaultLevel);
    QCOMPARE(itemTexts(method), methods);
    QCOMPARE(itemData(method), methodData);
    QCOMPARE(method->currentIndex(), methods.isEmpty() ? -1 : 0);
    QCOMPARE(child<QCheckBox>(&dialog, "cbPassword")->isEnabled(), password);
    // Only the own format's scrambling needs a word on what it protects.
    QCOMPARE(child<QLineEdit>(&dialog, "lePassword")->toolTip().isEmpty(), format != "qv");
}

void TestCompressDialog::ownFormatOffersOnlyAddAndRelative()
{
    CompressDialog dialog;
    CompressOptions options = request({m_file, m_second});
    dialog.setCompressOptions(options);
    auto* update = child<QComboBox>(&dialog, "cbChangeType");
    auto* paths = child<QComboBox>(&dialog, "cbPathType");
    auto* volume = child<QComboBox>(&dialog, "cbVolumeSize");

    QCOMPARE(itemData(update), (QList<int>{0, 1, 2, 3}));
    volume->setCurrentIndex(volume->findText("700M - CD"));
    selectFormat(&dialog, "qv");
    QCOMPARE(itemTexts(update), QStringList{"Add and replace"});
    QCOMPARE(itemTexts(paths), QStringList{"Relative paths"});
    QCOMPARE(volume->currentIndex(), -1);
    QVERIFY(volume->currentText().isEmpty());

    // A typed size goes as well.
    selectFormat(&dialog, "zip");
    QVERIFY(volume->isEnabled());
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
    CompressOptions options = request({m_file, m_second});
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
    if (bytes == 0) {
        QCOMPARE(title, QStringLiteral("Error"));
        QCOMPARE(message, QStringLiteral("Invalid volume size"));
    } else {
        QCOMPARE(qint64(dialog.getCompressOptions().volumeSize), bytes);
    }
}

void TestCompressDialog::refusedAttemptDoesNotLeakIntoTheNext()
{
    CompressDialog dialog;
    CompressOptions options = request({m_file, m_second}, m_dir + "/pack");
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

void TestCompressDialog::proposedNames()
{
    CompressDialog dialog;
    auto* name = child<QComboBox>(&dialog, "cbArchiveName");

    // Several files without a name: the folder's own name inside it.
    CompressOptions options = request({m_file, m_second});
    dialog.setCompressOptions(options);
    QCOMPARE(name->count(), 1);
    const QString folderName = QFileInfo(m_dir).fileName();
    QCOMPARE(name->itemText(0), m_dir + "/" + folderName);
    QCOMPARE(archiveText(&dialog), m_dir + "/" + folderName + ".7z");

    // One file: its extension gives way to the format's.
    options = request({m_file});
    dialog.setCompressOptions(options);
    QCOMPARE(archiveText(&dialog), m_dir + "/report.7z");
    selectFormat(&dialog, "tar.gz");
    QCOMPARE(archiveText(&dialog), m_dir + "/report.tar.gz");

    // A folder keeps its whole name, dots included.
    const QString dotted = m_dir + "/v1.2";
    QVERIFY(QDir().mkpath(dotted));
    options = request({dotted}, dotted);
    dialog.setCompressOptions(options);
    QCOMPARE(archiveText(&dialog), m_dir + "/v1.2.7z");

    // Nothing to name it after.
    options = request({});
    dialog.setCompressOptions(options);
    QCOMPARE(name->count(), 0);
    QVERIFY(archiveText(&dialog).isEmpty());
}

void TestCompressDialog::switchingFormatKeepsBaseNameAndAvoidsExisting()
{
    QVERIFY(testenv::writeFile(m_dir + "/backup.tar", "taken"));
    CompressDialog dialog;
    CompressOptions options = request({m_file, m_second}, m_dir + "/backup");
    dialog.setCompressOptions(options);
    selectFormat(&dialog, "zip");
    QCOMPARE(archiveText(&dialog), m_dir + "/backup.zip");
    selectFormat(&dialog, "tar");
    QCOMPARE(archiveText(&dialog), m_dir + "/backup_1.tar");
    QVERIFY(testenv::writeFile(m_dir + "/backup_1.wim", "taken"));
    QVERIFY(testenv::writeFile(m_dir + "/backup.wim", "taken"));
    selectFormat(&dialog, "wim");
    QCOMPARE(archiveText(&dialog), m_dir + "/backup_2.wim");
    selectFormat(&dialog, "zip");
    QCOMPARE(archiveText(&dialog), m_dir + "/backup.zip");
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
    CompressOptions options = request({m_file});
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
    QCOMPARE(int(dialog.getCompressOptions().format), formatByName(format));
}

void TestCompressDialog::singleStreamNamesKeepTheirExtension()
{
    CompressDialog dialog;
    CompressOptions options = request({m_file});
    dialog.setCompressOptions(options);
    selectFormat(&dialog, "xz");
    QCOMPARE(archiveText(&dialog), m_dir + "/report.txt.xz");
    selectFormat(&dialog, "gzip");
    QCOMPARE(archiveText(&dialog), m_dir + "/report.txt.gz");
    selectFormat(&dialog, "7z");
    QCOMPARE(archiveText(&dialog), m_dir + "/report.7z");
}

void TestCompressDialog::passwordOnlyWhenTickedAndGiven()
{
    struct Case
    {
        const char* format;
        bool tick;
        const char* typed;
        const char* expected;
    };
    const Case cases[] = {
        {"7z", true, "secret", "secret"},
        {"zip", true, "", ""},
        {"7z", false, "secret", ""},
        {"tar", true, "secret", ""}, // ticked on 7z, then a format without encryption
    };
    for (const Case& c : cases) {
        CompressDialog dialog;
        CompressOptions options = request({m_file, m_second});
        dialog.setCompressOptions(options);
        bool fieldEnabledBeforeTick = true;
        bool fieldEnabledAfterTick = false;
        bool focusInField = false;
        const int result = testenv::execModal(&dialog, [&](QDialog* d) {
            auto* box = child<QCheckBox>(d, "cbPassword");
            auto* field = child<QLineEdit>(d, "lePassword");
            fieldEnabledBeforeTick = field->isEnabled();
            if (c.tick) {
                box->setChecked(true);
                fieldEnabledAfterTick = field->isEnabled();
                focusInField = d->focusWidget() == field;
            } else {
                fieldEnabledAfterTick = true;
                focusInField = true;
            }
            field->setText(QLatin1String(c.typed));
            selectFormat(d, c.format);
            child<QPushButton>(d, "pbOk")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(!fieldEnabledBeforeTick);
        QVERIFY(fieldEnabledAfterTick);
        QVERIFY(focusInField);
        QCOMPARE(dialog.getCompressOptions().password, QLatin1String(c.expected));
        QVERIFY(!dialog.getCompressOptions().password.isNull() || QLatin1String(c.expected).size() == 0);
        QCOMPARE(child<QLineEdit>(&dialog, "lePassword")->echoMode(), QLineEdit::Password);
    }
}

void TestCompressDialog::acceptedChoicesReachTheRequest()
{
    CompressDialog dialog;
    CompressOptions options = request({m_file, m_second}, m_dir + "/all");
    options.addToExisting = true;
    options.archiveFolder = QStringLiteral("docs");
    options.note = QStringLiteral("kept");
    dialog.setCompressOptions(options);
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        selectFormat(d, "zip");
        auto* level = child<QComboBox>(d, "cbCompressLevel");
        level->setCurrentIndex(level->findText("Maximum"));
        auto* method = child<QComboBox>(d, "cbCompressMethod");
        method->setCurrentIndex(method->findText("BZip2"));
        auto* update = child<QComboBox>(d, "cbChangeType");
        update->setCurrentIndex(update->findText("Synchronize"));
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    const CompressOptions accepted = dialog.getCompressOptions();
    QCOMPARE(int(accepted.format), int(ZF_ZIP));
    QCOMPARE(accepted.level, 7u);
    QCOMPARE(accepted.method, 3);
    QCOMPARE(int(accepted.updateMethod), int(UM_SYNCHRONIZE));
    QCOMPARE(accepted.archivePath, m_dir + "/all.zip");
    QCOMPARE(accepted.files, (QStringList{m_file, m_second}));
    QVERIFY(accepted.addToExisting);
    QCOMPARE(accepted.archiveFolder, QStringLiteral("docs"));
    QCOMPARE(accepted.note, QStringLiteral("kept"));
    QCOMPARE(qint64(accepted.volumeSize), qint64(-1));
    QVERIFY(accepted.password.isEmpty());
}

QUENVAR_TEST_MAIN(TestCompressDialog)
#include "tst_compressdialog.moc"
