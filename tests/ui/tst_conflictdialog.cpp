// The conflict dialog: its question names the file in every form, each button
// records its answer in the user choices on release, and closing the dialog
// cancels everything.
#include "common/testenv.h"

#include "dialogtest.h"
#include "fileops/UserActions.h"
#include "ui/ConflictDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

using namespace dialogtest;

namespace {

QPushButton* buttonByText(QWidget* dialog, const QString& text)
{
    const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        if (button->text() == text)
            return button;
    }
    qFatal("no button %s", qPrintable(text));
    return nullptr;
}

// The forms of the question.
enum Form { Extracting, Copying, AccessDenied, AccessDeniedOfSeveral, DeletionDenied };

} // namespace

class TestConflictDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void questionNamesTheFile_data();
    void questionNamesTheFile();
    void answers_data();
    void answers();
    void closingCancelsEverything_data();
    void closingCancelsEverything();

private:
    void ask(ConflictDialog& dialog, int form, const QString& path) const;

    QString m_existing;
    QString m_source;
};

void TestConflictDialog::init()
{
    UserActions::reset();
    const QString dir = testenv::makeDir(QStringLiteral("conflict"));
    m_existing = dir + "/existing.bin";
    m_source = dir + "/source.bin";
    QVERIFY(testenv::writeFile(m_existing, QByteArray(1536, 'x')));
    QVERIFY(testenv::writeFile(m_source, QByteArray(5, 'y')));
}

void TestConflictDialog::ask(ConflictDialog& dialog, int form, const QString& path) const
{
    if (form == Extracting)
        dialog.setDestinationExistsInfo(path, QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)));
    else if (form == Copying)
        dialog.setDestinationExistsInfo(path, m_source);
    else
        dialog.setAccessDeniedException(path, form == AccessDenied, form == DeletionDenied);
}

void TestConflictDialog::questionNamesTheFile_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("other"); // the start of what is said of the new file

    QTest::newRow("extracting") << int(Extracting) << false << "File:" << "Modified: ";
    QTest::newRow("copying") << int(Copying) << false << "File:" << "Size: 5 B\n";
    QTest::newRow("open file")
        << int(AccessDenied) << false << "Error happened during attempt to open file:" << "";
    QTest::newRow("open folder")
        << int(AccessDeniedOfSeveral) << true << "Error happened during attempt to open directory:"
        << "";
    QTest::newRow("delete file")
        << int(DeletionDenied) << false << "Error happened during attempt to delete file:" << "";
    QTest::newRow("delete folder")
        << int(DeletionDenied) << true << "Error happened during attempt to delete directory:"
        << "";
}

void TestConflictDialog::questionNamesTheFile()
{
    QFETCH(int, form);
    QFETCH(bool, folder);
    QFETCH(QString, title);
    QFETCH(QString, other);

    const QString path = folder ? testenv::makeDir(QStringLiteral("locked")) : m_existing;
    ConflictDialog dialog;
    ask(dialog, form, path);
    QCOMPARE(child<QLabel>(&dialog, "lblTopTitle")->text(), title);
    QCOMPARE(child<QLabel>(&dialog, "lblUpperInfo")->text().section('\n', 0, 0), path);
    QCOMPARE(child<QLabel>(&dialog, "lblLowerInfo")->text().left(other.size()), other);
}

void TestConflictDialog::answers_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("earlierForAll"); // Replace for all chosen before
    QTest::addColumn<bool>("tick");          // "for all further operations"
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("answer");     // "action:this/all"

    const QList<QPair<const char*, const char*>> fileExists = {
        {"Replace", "1:1/0"}, {"Replace All", "1:1/1"}, {"Skip", "2:1/0"},
        {"Skip All", "2:1/1"}, {"Rename", "3:1/0"},     {"Rename All", "3:1/1"}};
    for (const auto& row : fileExists) {
        QTest::addRow("extracting: %s", row.first)
            << int(Extracting) << false << false << row.first << row.second;
        QTest::addRow("copying: %s", row.first)
            << int(Copying) << false << false << row.first << row.second;
    }
    QTest::newRow("one answer clears an earlier one for all")
        << int(Extracting) << true << false << "Replace" << "1:1/0";
    QTest::newRow("retry") << int(AccessDenied) << false << false << "Retry" << "6:1/0";
    QTest::newRow("skip") << int(AccessDenied) << false << false << "Skip" << "2:1/0";
    QTest::newRow("skip all")
        << int(AccessDeniedOfSeveral) << false << false << "Skip All" << "2:1/1";
    const QString admin = "Retry as administrator";
    QTest::newRow("as administrator, one item")
        << int(AccessDenied) << false << false << admin << "5:1/0";
    QTest::newRow("as administrator, box clear")
        << int(AccessDeniedOfSeveral) << false << false << admin << "5:1/0";
    QTest::newRow("as administrator, box ticked")
        << int(AccessDeniedOfSeveral) << false << true << admin << "5:1/1";
}

void TestConflictDialog::answers()
{
    QFETCH(int, form);
    QFETCH(bool, earlierForAll);
    QFETCH(bool, tick);
    QFETCH(QString, button);
    QFETCH(QString, answer);

    if (earlierForAll)
        UserActions::select(UA_REPLACE, true);
    ConflictDialog dialog;
    ask(dialog, form, m_existing);
    bool openAfterPress = false;
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        if (tick)
            d->findChild<QCheckBox*>()->setChecked(true);
        QPushButton* pushed = buttonByText(d, button);
        QTest::mousePress(pushed, Qt::LeftButton);
        openAfterPress = d->isVisible();
        QTest::mouseRelease(pushed, Qt::LeftButton);
    });
    QVERIFY(openAfterPress);
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(chosenAnswers(), QStringList{answer});
}

void TestConflictDialog::closingCancelsEverything_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("escape");
    QTest::newRow("extracting, Escape") << int(Extracting) << true;
    QTest::newRow("copying, Escape") << int(Copying) << true;
    QTest::newRow("access denied, Escape") << int(AccessDenied) << true;
    QTest::newRow("access denied for several, Escape") << int(AccessDeniedOfSeveral) << true;
    QTest::newRow("extracting, closed") << int(Extracting) << false;
    QTest::newRow("access denied, closed") << int(AccessDenied) << false;
}

void TestConflictDialog::closingCancelsEverything()
{
    QFETCH(int, form);
    QFETCH(bool, escape);
    ConflictDialog dialog;
    ask(dialog, form, m_existing);
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        if (escape)
            QTest::keyClick(d, Qt::Key_Escape);
        else
            d->close();
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(UserActions::m_actions[14].load());
    QVERIFY(UserActions::m_actions[15].load());
    QCOMPARE(chosenAnswers(), QStringList{"7:1/1"});
}

QUENVAR_TEST_MAIN(TestConflictDialog)
#include "tst_conflictdialog.moc"
