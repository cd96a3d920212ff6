// The dialogs that take a request, offscreen with the user played by the test, the
// operation commands that show them (their archives read back by 7z), and the input blocker.
#include "common/testarchives.h"
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "app/OperationCommands.h"
#include "app/globals.h"
#include "engine/guiutils.h"
#include "fileops/UserActions.h"
#include "ui/ConflictDialog.h"
#include "ui/NewFolderDialog.h"
#include "ui/compressdialog.h"
#include "ui/extractdialog.h"
#include "ui/passworddialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include "dialogtest.h"

using dialogtest::child;

namespace {

QStringList itemTexts(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// The recorded answers as "action:this/all" for every action with a flag set.
QStringList chosenAnswers()
{
    QStringList answers;
    for (int a = 0; a < UserActions::kActionCount; ++a) {
        const auto action = E_UserAction(a);
        if (UserActions::isChosen(action) || UserActions::isChosenForAll(action))
            answers << QStringLiteral("%1:%2/%3")
                           .arg(a)
                           .arg(int(UserActions::isChosen(action)))
                           .arg(int(UserActions::isChosenForAll(action)));
    }
    return answers;
}

// What the dialog shows for "name" (a combo box's text), "name:items" (its items),
// "name:count", "name:enabled" and "name:tip" (whether it has a tool tip).
QString widgetState(QWidget* dialog, const QString& field)
{
    QWidget* widget = child<QWidget>(dialog, qPrintable(field.section(':', 0, 0)));
    const QString part = field.section(':', 1);
    if (part == "enabled")
        return QString::number(widget->isEnabled());
    if (part == "tip")
        return QString::number(!widget->toolTip().isEmpty());
    auto* combo = qobject_cast<QComboBox*>(widget);
    if (part == "count")
        return QString::number(combo->count());
    return part == "items" ? itemTexts(combo).join(',') : combo->currentText();
}

enum Form { Extracting, Copying, AccessDenied, AccessDeniedOfSeveral };

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

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_packed = testenv::makeDir("src");
        testenv::makeTree(m_packed,
                          {{"a.txt", "alpha\n"},
                           {"sub/b.txt", "beta\n"},
                           {"sub/deeper/c.bin", testenv::randomBytes(65536)}},
                          {"empty"});
    }

    void init()
    {
        UserActions::reset();
        m_dir = testenv::makeDir(QStringLiteral("sources"));
        testenv::makeTree(m_dir,
                          {{"report.txt", "report"},
                           {"notes.md", "notes"},
                           {"existing.bin", QByteArray(1536, 'x')},
                           {"source.bin", QByteArray(5, 'y')}},
                          {"photos", "v1.2"});
    }

    void acceptedRequest_data()
    {
        // The request packs report.txt into the archive given (relative to the
        // sources folder), carrying a folder inside the archive and a note.
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QStringList>("steps"); // see setAndAccept
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<QStringList>("result"); // "field=value"; none: not accepted
        const auto add = [](const char* name, const QString& archive, const QStringList& steps,
                            const QStringList& result, const QStringList& warnings = {}) {
            QTest::newRow(name) << archive << steps << warnings << result;
        };
        add("beyond 32 bits", "", {"cbVolumeSize=4480M - DVD"}, {"volumeSize=4697620480"});
        add("upper case and blank", "", {"cbVolumeSize=2 G"}, {"volumeSize=2147483648"});
        add("empty means one file", "", {"cbVolumeSize="}, {"volumeSize=-1"});
        const QStringList invalid{"Error: Invalid volume size"};
        for (const char* refused : {"999", "0k", "k", "1.5g", "99999999999999999g"})
            add(qPrintable(QString("refused: ") + refused), "",
                {QString("cbVolumeSize=") + refused}, {}, invalid);
        add("a refused attempt does not leak into the next", "pack",
            {"cbPathType=Absolute paths", "cbVolumeSize=999", "pbOk", "cbPathType=Relative paths",
             "cbVolumeSize=1m"},
            {"baseDirectory=%D", "archivePath=%D/pack.7z", "volumeSize=1048576"}, invalid);

        const QList<QStringList> suffixes{
            {"bare name", "7z", "backup", "backup.7z"},
            {"format name without dot", "7z", "backup7z", "backup7z"},
            {"ends with dot", "zip", "backup.", "backup.zip"},
            {"other extension", "zip", "backup.7z", "backup.7z.zip"},
            {"compound", "tar.gz", "backup", "backup.tar.gz"},
            {"bzip2 gets its extension", "bzip2", "data", "data.bz2"}};
        for (const QStringList& row : suffixes)
            add(qPrintable("suffix: " + row[0]), "",
                {"cbFormat=" + row[1], "cbArchiveName=" + row[2]},
                {"archivePath=" + row[3], "format=" + row[1]});

        add("password ticked and typed", "",
            {"cbPassword=1", "lePassword=secret", "cbFormat=7z"}, {"password=secret"});
        add("password typed, not ticked", "", {"lePassword=secret", "cbFormat=7z"},
            {"password="});
        add("password, then a format without encryption", "",
            {"cbPassword=1", "lePassword=secret", "cbFormat=tar"}, {"password="});

        // What each format offers, reached from another so that nothing is left over.
        const QList<QStringList> offers{{"7z", "zip", "LZMA2", "1", "0"},
                                        {"zip", "tar", "Deflate", "1", "0"},
                                        {"gzip", "zip", "Deflate", "0", "0"},
                                        {"tar", "zip", "", "0", "0"},
                                        {"qv", "zip", "LZMA", "1", "1"}};
        for (const QStringList& row : offers)
            add(qPrintable("offers of " + row[0]), "", {"cbFormat=" + row[1], "cbFormat=" + row[0]},
                {"cbCompressMethod=" + row[2], "cbPassword:enabled=" + row[3],
                 "lePassword:tip=" + row[4]});
        add("own format after a volume preset", "", {"cbVolumeSize=700M - CD", "cbFormat=qv"},
            {"cbChangeType:items=Add and replace", "cbPathType:items=Relative paths",
             "volumeSize=-1"});
        add("own format after a typed volume", "",
            {"cbFormat=zip", "cbVolumeSize=5M", "cbFormat=qv"}, {"volumeSize=-1"});
        add("own format and back", "", {"cbFormat=qv", "cbFormat=7z"},
            {"cbChangeType:count=4", "cbPathType:count=3"});

        // The name proposed: from the file or folder, free in the folder, and its
        // extension following the format.
        add("proposal: one file's extension gives way", "", {}, {"archivePath=%D/report.7z"});
        add("proposal: a single stream keeps the extension", "", {"cbFormat=xz"},
            {"archivePath=%D/report.txt.xz"});
        add("proposal: and gives it back", "", {"cbFormat=gzip", "cbFormat=7z"},
            {"archivePath=%D/report.7z"});
        add("proposal: a taken name gets a number", "backup",
            {"+%D/backup.tar", "cbFormat=zip", "cbFormat=tar"}, {"archivePath=%D/backup_1.tar"});
        add("proposal: back to the free name", "backup",
            {"+%D/backup.tar", "cbFormat=tar", "cbFormat=zip"}, {"archivePath=%D/backup.zip"});

        add("choices", "all",
            {"cbFormat=zip", "cbCompressLevel=Maximum", "cbCompressMethod=BZip2",
             "cbChangeType=Synchronize"},
            {"format=zip", "level=7", "method=3",
             "updateMethod=" + QString::number(UM_SYNCHRONIZE), "archivePath=%D/all.zip",
             "volumeSize=-1"});
    }

    void acceptedRequest()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, warnings);
        QFETCH(QStringList, result);
        CompressDialog dialog;
        CompressOptions options;
        options.files << m_dir + "/report.txt";
        options.baseDirectory = m_dir;
        if (!archive.isEmpty())
            options.archivePath = m_dir + "/" + archive;
        options.addToExisting = true;
        options.archiveFolder = QStringLiteral("docs");
        options.note = QStringLiteral("kept");
        dialog.setCompressOptions(options);
        QStringList shown;
        const int accepted = testenv::execModal(&dialog, [&](QDialog* d) {
            shown = setAndAccept(d, steps.replaceInStrings("%D", m_dir), warnings.size());
        });
        QCOMPARE(shown, warnings);
        QCOMPARE(accepted, int(result.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
        if (result.isEmpty())
            return;
        const CompressOptions request = dialog.getCompressOptions();
        const QMap<QString, QString> fields{
            {"archivePath", request.archivePath},
            {"format", ZipFormatNames[request.format]},
            {"password", request.password},
            {"volumeSize", QString::number(request.volumeSize)},
            {"level", QString::number(request.level)},
            {"method", QString::number(request.method)},
            {"updateMethod", QString::number(request.updateMethod)},
            {"baseDirectory", request.baseDirectory}};
        checkFields(&dialog, fields, result);
        QCOMPARE(request.files, options.files);
        QVERIFY(request.addToExisting);
        QCOMPARE(request.archiveFolder, QStringLiteral("docs"));
        QCOMPARE(request.note, QStringLiteral("kept"));
    }

    void extractRequest_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("result"); // "field=value"; accepted unless "accepted=0"
        const auto add = [](const char* name, const QString& archive, const QStringList& steps,
                            const QStringList& result) {
            QTest::newRow(name) << archive << steps << result;
        };
        // The own format's code knows full paths and confirmation only; the
        // request's relative paths are not on offer, so full paths go out.
        const QStringList own{"cbPathType:items=Full paths", "cbRewrite:count=2",
                              QString("pathMode=%1").arg(EPM_FULL_PATHS)};
        add("own format", "photos.qv", {}, own);
        for (const char* other : {"a.zip", "a.qv.bak", "a.qv.002"})
            add(other, other, {},
                {"cbPathType:items=Relative paths,Without paths,Full paths", "cbRewrite:count=5",
                 QString("pathMode=%1").arg(EPM_RELATIVE_PATHS),
                 QString("overwriteMode=%1").arg(EOM_ASK)});
        // A mode settles this conflict and every later one without asking.
        for (int mode = 0; mode < 5; ++mode)
            add(qPrintable(QString("overwrite mode %1").arg(mode)), "a.zip",
                {QString("cbRewrite=#%1").arg(mode)},
                {QString("overwriteMode=%1").arg(mode), QString("answers=%1:1/1").arg(mode)});
        add("without paths, no duplicates", "a.7z",
            {"cbPathType=Without paths", "cbNoDuplicates=1"},
            {QString("pathMode=%1").arg(EPM_NO_PATHS), "removeDuplicatesRoot=1", "sourceFolder=",
             "targetDirectory=%D"});
        add("browse", "a.7z", {"pbSelectDir=%D/photos"}, {"targetDirectory=%D/photos"});
        add("cancel", "a.7z", {"pbCancel"}, {"accepted=0", "targetDirectory=", "answers="});
    }

    void extractRequest()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, result);
        ExtractOptions options;
        options.archivePath = m_dir + "/" + archive;
        options.targetDirectory = m_dir;
        options.sourceFolder = QStringLiteral("inner");
        options.itemIndexes = {3, 5};
        options.password = QStringLiteral("pw");
        options.subPath = QStringLiteral("docs");
        options.removeDuplicatesRoot = false;
        ExtractDialog dialog;
        dialog.setExtractOptions(options);
        const int accepted = testenv::execModal(&dialog, [&](QDialog* d) {
            setAndAccept(d, steps.replaceInStrings("%D", m_dir), 0);
        });
        const ExtractOptions request = dialog.getExtractOptions();
        checkFields(&dialog,
                    {{"accepted", QString::number(accepted == QDialog::Accepted)},
                     {"targetDirectory", request.targetDirectory},
                     {"sourceFolder", request.sourceFolder},
                     {"pathMode", QString::number(request.pathMode)},
                     {"overwriteMode", QString::number(request.overwriteMode)},
                     {"removeDuplicatesRoot", QString::number(request.removeDuplicatesRoot)},
                     {"answers", chosenAnswers().join(',')}},
                    result.contains("accepted=0") ? result : result + QStringList{"accepted=1"});
        if (accepted != QDialog::Accepted)
            return;
        QCOMPARE(request.archivePath, options.archivePath);
        QCOMPARE(request.itemIndexes, (QList<int>{3, 5}));
        QCOMPARE(request.password, QStringLiteral("pw"));
        QCOMPARE(request.subPath, QStringLiteral("docs"));
    }

    void conflictAnswers_data()
    {
        QTest::addColumn<int>("form");
        QTest::addColumn<bool>("earlierForAll"); // Replace for all chosen before
        QTest::addColumn<bool>("tick");          // "for all further operations"
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("answer");     // "action:this/all"

        const QList<QPair<const char*, const char*>> fileExists = {
            {"Replace", "1:1/0"}, {"Replace All", "1:1/1"}, {"Skip", "2:1/0"},
            {"Skip All", "2:1/1"}, {"Rename", "3:1/0"},     {"Rename All", "3:1/1"}};
        for (const auto& row : fileExists)
            QTest::addRow("%s", row.first) << int(Extracting) << false << false << row.first
                                           << row.second;
        QTest::newRow("one answer clears an earlier one for all")
            << int(Extracting) << true << false << "Replace" << "1:1/0";
        QTest::newRow("retry") << int(AccessDenied) << false << false << "Retry" << "6:1/0";
        QTest::newRow("skip all")
            << int(AccessDeniedOfSeveral) << false << false << "Skip All" << "2:1/1";
        const QString admin = "Retry as administrator";
        QTest::newRow("as administrator, box ticked")
            << int(AccessDeniedOfSeveral) << false << true << admin << "5:1/1";
        QTest::newRow("copying, Escape") << int(Copying) << false << false << "Escape" << "7:1/1";
        QTest::newRow("access denied for several, Escape")
            << int(AccessDeniedOfSeveral) << false << false << "Escape" << "7:1/1";
        QTest::newRow("access denied, closed") << int(AccessDenied) << false << false << "close"
                                               << "7:1/1";
    }

    void conflictAnswers()
    {
        QFETCH(int, form);
        QFETCH(bool, earlierForAll);
        QFETCH(bool, tick);
        QFETCH(QString, button);
        QFETCH(QString, answer);

        if (earlierForAll)
            UserActions::select(UA_REPLACE, true);
        ConflictDialog dialog;
        const QString path = m_dir + "/existing.bin";
        if (form == Extracting)
            dialog.setDestinationExistsInfo(path, QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)));
        else if (form == Copying)
            dialog.setDestinationExistsInfo(path, m_dir + "/source.bin");
        else
            dialog.setAccessDeniedException(path, form == AccessDenied, false);
        bool openAfterPress = true;
        const int result = testenv::execModal(&dialog, [&](QDialog* d) {
            if (tick)
                d->findChild<QCheckBox*>()->setChecked(true);
            if (button == "Escape")
                QTest::keyClick(d, Qt::Key_Escape);
            if (button == "close")
                d->close();
            if (!d->isVisible())
                return;
            QPushButton* pushed = nullptr;
            for (QPushButton* candidate : d->findChildren<QPushButton*>())
                pushed = candidate->text() == button ? candidate : pushed;
            QVERIFY2(pushed, qPrintable(button));
            QTest::mousePress(pushed, Qt::LeftButton);
            openAfterPress = d->isVisible();
            QTest::mouseRelease(pushed, Qt::LeftButton);
        });
        QVERIFY(openAfterPress);
        QCOMPARE(result, int(answer == "7:1/1" ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(chosenAnswers(), QStringList{answer});
    }

    void inputAnswers_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("typed"); // null: nothing typed; empty: the field cleared
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("refused"); // then "Later" is typed and accepted
        QTest::addColumn<QString>("answer");

        QTest::newRow("password typed, Return") << false << "s3cret"
                                                << "Return" << false << "s3cret";
        QTest::newRow("empty password, OK") << false << "" << "OK" << true << "Later";
        // The proposal is selected, so typing replaces it.
        QTest::newRow("folder name typed, Return")
            << true << "Reports" << "Return" << false << "Reports";
        QTest::newRow("empty folder name, OK") << true << "" << "OK" << true << "Later";
    }

    void inputAnswers()
    {
        QFETCH(bool, folder);
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(bool, refused);
        QFETCH(QString, answer);

        PasswordDialog password;
        NewFolderDialog newFolder(QStringLiteral("New folder"));
        QDialog* dialog = folder ? static_cast<QDialog*>(&newFolder) : &password;
        QString warning;
        bool openAfterWarning = false;
        const int result = testenv::execModal(dialog, [&](QDialog* d) {
            auto* field = child<QLineEdit>(d, "lineEdit");
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field));
            if (typed.isEmpty() && !typed.isNull())
                field->clear();
            QTest::keyClicks(field, typed);
            if (refused)
                testenv::answerNextMessageBox(&warning);
            if (how == "OK")
                child<QPushButton>(d, "pbOk")->click();
            else
                QTest::keyClick(field, Qt::Key_Return);
            if (refused) {
                openAfterWarning = d->isVisible();
                field->setText(QStringLiteral("Later"));
                child<QPushButton>(d, "pbOk")->click();
            }
        });
        QCOMPARE(warning, refused ? QStringLiteral("Error") : QString());
        QCOMPARE(openAfterWarning, refused);
        QCOMPARE(result, int(answer.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(folder ? newFolder.getNewFolderName() : password.getPassword(), answer);
        QCOMPARE(child<QLineEdit>(&password, "lineEdit")->echoMode(), QLineEdit::Password);
    }

    void textEditShowsPlainText()
    {
        // A file name is no markup, whatever it holds.
        QTextEdit edit;
        const QString tagged = QStringLiteral("/data/<b>bold</b> & more.txt");
        setTextEditText(&edit, tagged);
        QCOMPARE(edit.toPlainText(), tagged);
    }

    void compressWithTheDialog()
    {
        // The first name has a quote in it: a real name, taken as it is.
        const QString folder = testenv::makeDir("dialog-a");
        testenv::makeTree(folder, {{"quote\"d.txt", "q\n"}, {"sub/b.txt", "beta\n"}});
        QString archive;
        DialogPlayer player("CompressDialog", [&archive](QDialog* dialog, int) {
            archive = dialog->findChild<QComboBox*>("cbArchiveName")->currentText();
            child<QPushButton>(dialog, "pbOk")->click();
        });
        QCOMPARE(runOperationCommand("a", {folder + "/quote\"d.txt", folder + "/sub"}), 0);
        QCOMPARE(player.shown, 1);
        QCOMPARE(archive, folder + "/dialog-a.7z");
        const auto listing = testarchives::listWith7z(archive);
        QCOMPARE(listing.exitCode, 0);
        QVERIFY2(listing.find("quote\"d.txt") && listing.find("sub/b.txt"),
                 listing.output.constData());
        QCOMPARE(testenv::run7z({"t", archive}).exitCode, 0);

        // "as" packs the same way, then hands the archive to the mail hook.
        QCOMPARE(runOperationCommand("as", {folder + "/sub"}), 0);
        QCOMPARE(player.shown, 2);
        QCOMPARE(archive, folder + "/sub.7z");
        QCOMPARE(testenv::run7z({"t", archive}).exitCode, 0);
    }

    void severalArchivesShareOneDialog_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled: nothing is extracted") << false;
    }

    void severalArchivesShareOneDialog()
    {
        QFETCH(bool, accept);
        const QString other = testenv::makeDir("other");
        QVERIFY(testenv::writeFile(other + "/o.txt", "other\n"));
        const QString first = makeArchive(testenv::makeDir("em1"), "a", "7z");
        const QString second = makeArchive(testenv::makeDir("em2"), "b", "zip", other);
        const QString target = testenv::makeDir("em-target");
        DialogPlayer player("ExtractDialog", [&](QDialog* dialog, int number) {
            const bool ok = accept && number == 1;
            if (ok)
                dialog->findChild<QComboBox*>("cbDstDirName")->setEditText(target);
            child<QPushButton>(dialog, ok ? "pbOk" : "pbCancel")->click();
        });
        DialogPlayer progress("ArchiveProgressDlg", [](QDialog*, int) {});
        QCOMPARE(runOperationCommand("em", {first, second}), accept ? 0 : 1);
        QCOMPARE(player.shown, 1);
        QCOMPARE(testenv::listTree(QFileInfo(first).path()), QStringList{"a.7z"});
        QCOMPARE(testenv::listTree(QFileInfo(second).path()), QStringList{"b.zip"});
        if (!accept) {
            QCOMPARE(progress.shown, 0);
            QCOMPARE(testenv::listTree(target), QStringList());
            return;
        }
        QCOMPARE(testenv::compareTrees(m_packed, target + "/src"), QString());
        QCOMPARE(testenv::compareTrees(other, target + "/other"), QString());
    }

    // While an operation runs, input to the window is swallowed; nothing else is.
    void blockerSwallowsInputOnly()
    {
        QLineEdit edit;
        QPushButton button;
        edit.show();
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        bool clicked = false;
        connect(&button, &QPushButton::clicked, [&clicked] { clicked = true; });
        qApp->installEventFilter(&appFilter());
        QTest::keyClicks(&edit, "blocked");
        QTest::mouseClick(&button, Qt::LeftButton);
        bool timed = false;
        QTimer::singleShot(0, [&timed] { timed = true; });
        QTRY_VERIFY(timed);
        QCOMPARE(edit.text(), QString());
        QVERIFY(!clicked);
        qApp->removeEventFilter(&appFilter());
        QTest::keyClicks(&edit, "typed");
        QCOMPARE(edit.text(), QStringLiteral("typed"));
        QTest::mouseClick(&button, Qt::LeftButton);
        QVERIFY(clicked);
    }

private:

    QString makeArchive(const QString& folder, const QString& name, const QString& format,
                        const QString& content = QString())
    {
        const QString archive = folder + "/" + name + "." + format;
        const QString what = content.isEmpty() ? m_packed : content;
        return testenv::run7z({"a", archive, what}).exitCode == 0 ? archive : QString();
    }

    // Each "field=value" against the request's fields, or else the dialog's widgets.
    void checkFields(QWidget* dialog, const QMap<QString, QString>& fields,
                     const QStringList& expected) const
    {
        for (const QString& field : expected) {
            const QString key = field.section('=', 0, 0);
            const QString actual = fields.contains(key) ? fields.value(key)
                                                        : widgetState(dialog, key);
            QCOMPARE(key + "=" + actual, QString(field).replace("%D", m_dir));
        }
    }


    // Plays the user on an open dialog: each step "name=value" sets the widget
    // of that object name (a combo box to its item of that text, "#n" of that
    // data, or else to that edit text; a check box ticked by "1"; a line edit's
    // text), a step naming a button presses it (with a value: the folder chosen
    // in the file dialog it opens), "+path" makes a file there. Then OK is
    // pressed, and Cancel when the dialog stays open. The first `refusals`
    // presses bring a message box, answered here; returns what they said.
    static QStringList setAndAccept(QDialog* d, const QStringList& steps, int refusals)
    {
        QStringList shown;
        int presses = 0;
        for (const QString& step : steps + QStringList{"pbOk"}) {
            if (!d->isVisible())
                break;
            if (step.startsWith('+')) {
                testenv::writeFile(step.mid(1), "taken");
                continue;
            }
            const QString value = step.section('=', 1);
            QWidget* widget = child<QWidget>(d, qPrintable(step.section('=', 0, 0)));
            if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                const int index = value.startsWith('#') ? combo->findData(value.mid(1).toInt())
                                  : value.isEmpty()      ? -1
                                                         : combo->findText(value);
                if (index >= 0)
                    combo->setCurrentIndex(index);
                else
                    combo->setEditText(value);
            } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
                box->setChecked(value == "1");
            } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
                field->setText(value);
            } else {
                QString title;
                QString text;
                if (!value.isEmpty())
                    testenv::whenModalAppears(
                        [value](QWidget* modal) {
                            qobject_cast<QFileDialog*>(modal)->setDirectory(value);
                            static_cast<QDialog*>(modal)->accept();
                        },
                        "QFileDialog");
                else if (presses++ < refusals)
                    testenv::answerNextMessageBox(&title, &text);
                qobject_cast<QAbstractButton*>(widget)->click();
                if (!title.isEmpty())
                    shown << title + ": " + text;
            }
        }
        if (d->isVisible())
            child<QPushButton>(d, "pbCancel")->click();
        return shown;
    }

    QString m_dir;
    QString m_packed; // a folder "src" with files and subfolders
};

QUENVAR_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
