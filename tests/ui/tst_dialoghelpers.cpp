// The small helpers every dialog uses: combo selection by data and the text
// box that shows a path as it is.
#include "common/testenv.h"

#include "engine/guiutils.h"

#include <QComboBox>
#include <QTextEdit>

class TestDialogHelpers : public QObject
{
    Q_OBJECT

private slots:
    void comboSelectionByData();
    void textEditShowsPlainText();
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

void TestDialogHelpers::textEditShowsPlainText()
{
    // A file name is no markup, whatever it holds.
    QTextEdit edit;
    const QString tagged = QStringLiteral("/data/<b>bold</b> & more.txt");
    setTextEditText(&edit, tagged);
    QCOMPARE(edit.toPlainText(), tagged);
}

QUENVAR_TEST_MAIN(TestDialogHelpers)
#include "tst_dialoghelpers.moc"
