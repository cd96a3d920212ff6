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
    void comboSelectionByData();
    void textEditShowsPlainTextAndFitsIt();
    void dialogStyle();
    void mailHookReportsSuccess();
};

void TestDialogHelpers::comboSelectionByData()
{
    QComboBox combo;
    QCOMPARE(getSelectedComboBoxItem(&combo), QVariant(0));
    combo.addItem("no data");
    combo.addItem("two", 2);
    combo.addItem("five", 5);
    combo.addItem("five again", 5);
    // The first item with equal data.
    selectComboBoxItem(&combo, 5);
    QCOMPARE(combo.currentIndex(), 2);
    QCOMPARE(getSelectedComboBoxItem(&combo).toInt(), 5);
    selectComboBoxItem(&combo, QVariant(2));
    QCOMPARE(combo.currentIndex(), 1);
    // No match, not even an item without data for an empty value: the
    // selection stays.
    selectComboBoxItem(&combo, 7);
    selectComboBoxItem(&combo, QVariant());
    QCOMPARE(combo.currentIndex(), 1);
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

void TestDialogHelpers::mailHookReportsSuccess()
{
    const QString archive = testenv::makeDir(QStringLiteral("mail")) + "/a.7z";
    QVERIFY(testenv::writeFile(archive, "7z"));
    QVERIFY(SendMail(archive));
    QCOMPARE(testenv::readFile(archive), QByteArray("7z"));
}

QUENVAR_TEST_MAIN(TestDialogHelpers)
#include "tst_dialoghelpers.moc"
