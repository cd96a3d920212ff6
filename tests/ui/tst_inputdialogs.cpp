// The password and new-folder dialogs: refusing an empty answer and
// leaving nothing behind when cancelled.
#include "common/testenv.h"

#include "dialogtest.h"
#include "ui/NewFolderDialog.h"
#include "ui/passworddialog.h"

#include <QLineEdit>
#include <QPushButton>

using namespace dialogtest;

class TestInputDialogs : public QObject
{
    Q_OBJECT

private slots:
    void emptyPasswordRefused();
    void passwordGiven();
    void cancelAndEscapeEmptyThePassword();

    void newFolderNameGiven();
    void emptyFolderNameRefused();
    void cancelEmptiesFolderName();
};

void TestInputDialogs::emptyPasswordRefused()
{
    PasswordDialog dialog;
    QString title;
    QString text;
    bool openAfterWarning = false;
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        testenv::answerNextMessageBox(&title, &text);
        child<QPushButton>(d, "pbOk")->click();
        openAfterWarning = d->isVisible();
        // Enter in the field is refused the same way.
        testenv::answerNextMessageBox();
        QTest::keyClick(child<QLineEdit>(d, "lineEdit"), Qt::Key_Return);
        openAfterWarning = openAfterWarning && d->isVisible();
        child<QPushButton>(d, "pbCancel")->click();
    });
    QCOMPARE(title, QStringLiteral("Error"));
    QCOMPARE(text, QStringLiteral("Enter archive password"));
    QVERIFY(openAfterWarning);
    QCOMPARE(result, int(QDialog::Rejected));
}

void TestInputDialogs::passwordGiven()
{
    PasswordDialog dialog;
    bool focusInField = false;
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        auto* field = child<QLineEdit>(d, "lineEdit");
        focusInField = QApplication::focusWidget() == field;
        // Typed where the focus is, as the user would.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("s3cret"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    QVERIFY(focusInField);
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.getPassword(), QStringLiteral("s3cret"));
}

void TestInputDialogs::cancelAndEscapeEmptyThePassword()
{
    for (bool escape : {false, true}) {
        PasswordDialog dialog;
        QCOMPARE(child<QLineEdit>(&dialog, "lineEdit")->echoMode(), QLineEdit::Password);
        const int result = testenv::execModal(&dialog, [escape](QDialog* d) {
            child<QLineEdit>(d, "lineEdit")->setText(QStringLiteral("typed"));
            if (escape)
                QTest::keyClick(d, Qt::Key_Escape);
            else
                child<QPushButton>(d, "pbCancel")->click();
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(dialog.getPassword().isEmpty());
    }
}

void TestInputDialogs::newFolderNameGiven()
{
    NewFolderDialog proposed(QStringLiteral("New folder"));
    QCOMPARE(testenv::execModal(&proposed, [](QDialog* d) { child<QPushButton>(d, "pbOk")->click(); }),
             int(QDialog::Accepted));
    QCOMPARE(proposed.getNewFolderName(), QStringLiteral("New folder"));

    NewFolderDialog typed(QStringLiteral("New folder"));
    bool focusInField = false;
    const int result = testenv::execModal(&typed, [&](QDialog* d) {
        focusInField = QApplication::focusWidget() == child<QLineEdit>(d, "lineEdit");
        // The proposal is selected, so typing replaces it.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Reports"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    QVERIFY(focusInField);
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(typed.getNewFolderName(), QStringLiteral("Reports"));
}

void TestInputDialogs::emptyFolderNameRefused()
{
    NewFolderDialog dialog(QStringLiteral("New folder"));
    QString title;
    QString text;
    bool openAfterWarning = false;
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        child<QLineEdit>(d, "lineEdit")->clear();
        testenv::answerNextMessageBox(&title, &text);
        child<QPushButton>(d, "pbOk")->click();
        openAfterWarning = d->isVisible();
        child<QLineEdit>(d, "lineEdit")->setText(QStringLiteral("Later"));
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(title, QStringLiteral("Error"));
    QVERIFY(!text.isEmpty());
    QVERIFY(openAfterWarning);
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.getNewFolderName(), QStringLiteral("Later"));
}

void TestInputDialogs::cancelEmptiesFolderName()
{
    NewFolderDialog dialog(QStringLiteral("New folder"));
    QCOMPARE(testenv::execModal(&dialog, [](QDialog* d) { child<QPushButton>(d, "pbCancel")->click(); }),
             int(QDialog::Rejected));
    QVERIFY(dialog.getNewFolderName().isEmpty());
}

QUENVAR_TEST_MAIN(TestInputDialogs)
#include "tst_inputdialogs.moc"
