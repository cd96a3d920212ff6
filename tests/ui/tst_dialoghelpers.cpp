// The small helpers every dialog uses: combo selection by data, the text
// box that fits its text, the shared look and the mail hook.
#include "common/testenv.h"

#include "engine/guiutils.h"

#include <QComboBox>
#include <QDialog>
#include <QTextDocument>
#include <QTextEdit>

class TestDialogHelpers : public QObject
{
    Q_OBJECT

private slots:
    void selectsFirstItemWithEqualData();
    void leavesSelectionWithoutMatch();
    void selectedDataOrZero();
    void textEditShowsPlainTextAndFitsIt();
    void dialogStyle();
    void displayPaths();
    void mailHookReportsSuccess();
};

void TestDialogHelpers::selectsFirstItemWithEqualData()
{
    QComboBox combo;
    combo.addItem("no data");
    combo.addItem("two", 2);
    combo.addItem("five", 5);
    combo.addItem("five again", 5);
    selectComboBoxItem(&combo, 5);
    QCOMPARE(combo.currentIndex(), 2);
    selectComboBoxItem(&combo, QVariant(2));
    QCOMPARE(combo.currentIndex(), 1);
}

void TestDialogHelpers::leavesSelectionWithoutMatch()
{
    QComboBox combo;
    combo.addItem("no data");
    combo.addItem("two", 2);
    combo.setCurrentIndex(1);
    selectComboBoxItem(&combo, 7);
    QCOMPARE(combo.currentIndex(), 1);
    // An item without data is no match even for an empty value.
    selectComboBoxItem(&combo, QVariant());
    QCOMPARE(combo.currentIndex(), 1);
}

void TestDialogHelpers::selectedDataOrZero()
{
    QComboBox combo;
    QCOMPARE(getSelectedComboBoxItem(&combo), QVariant(0));
    combo.addItem("three", 3);
    combo.addItem("four", 4);
    combo.setCurrentIndex(1);
    QCOMPARE(getSelectedComboBoxItem(&combo).toInt(), 4);
    combo.setCurrentIndex(-1);
    QCOMPARE(getSelectedComboBoxItem(&combo), QVariant(0));
}

void TestDialogHelpers::textEditShowsPlainTextAndFitsIt()
{
    QTextEdit edit;
    edit.resize(300, 200);
    const QString tagged = QStringLiteral("/data/<b>bold</b> & more.txt");
    setTextEditText(&edit, tagged);
    QCOMPARE(edit.toPlainText(), tagged);
    const int oneLine = edit.height();
    QVERIFY(oneLine > 3);
    QCOMPARE(oneLine, int(std::lround(edit.document()->size().height())) + 3);
    QCOMPARE(edit.minimumHeight(), edit.maximumHeight());

    setTextEditText(&edit, QStringLiteral("first\nsecond\nthird"));
    QVERIFY(edit.height() > oneLine);
    QCOMPARE(edit.height(), int(std::lround(edit.document()->size().height())) + 3);

    // Shown, the edit lays out its text itself; the height still follows it.
    edit.show();
    setTextEditText(&edit, QStringLiteral("one line"));
    QCOMPARE(edit.height(), oneLine);
}

void TestDialogHelpers::dialogStyle()
{
    QDialog dialog;
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowContextHelpButtonHint);
    applyDialogStyle(&dialog);
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(dialog.windowFlags() & Qt::Dialog);
}

void TestDialogHelpers::displayPaths()
{
    QCOMPARE(correctPathToDisplay(QStringLiteral("/home/user/a b/file.7z")), QStringLiteral("/home/user/a b/file.7z"));
    QCOMPARE(correctPathToDisplay(QString()), QString());
}

void TestDialogHelpers::mailHookReportsSuccess()
{
    const QString archive = testenv::makeDir(QStringLiteral("mail")) + "/a.7z";
    QVERIFY(testenv::writeFile(archive, "7z"));
    QVERIFY(SendMail(archive));
    QCOMPARE(testenv::readFile(archive), QByteArray("7z"));
}

QUENVAR_TEST_MAIN(TestDialogHelpers)
#include "tst_dialoghelpers.moc"
