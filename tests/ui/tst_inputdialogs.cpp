// The password and new-folder dialogs: the answer typed where the focus is,
// an empty answer refused with the dialog kept open, nothing left behind
// when cancelled; and the text box that shows a path as it is.
#include "common/testenv.h"

#include "dialogtest.h"
#include "engine/guiutils.h"
#include "ui/NewFolderDialog.h"
#include "ui/passworddialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

using namespace dialogtest;

namespace {

void finish(QDialog* dialog, const QString& how)
{
    if (how == "OK")
        child<QPushButton>(dialog, "pbOk")->click();
    else if (how == "Cancel")
        child<QPushButton>(dialog, "pbCancel")->click();
    else
        QTest::keyClick(QApplication::focusWidget(),
                        how == "Return" ? Qt::Key_Return : Qt::Key_Escape);
}

} // namespace

class TestInputDialogs : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void textEditShowsPlainText();
};

void TestInputDialogs::answers_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("typed"); // null: nothing typed; empty: the field cleared
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("refused"); // then "Later" is typed and accepted
    QTest::addColumn<QString>("answer");

    QTest::newRow("password typed, Return") << false << "s3cret" << "Return" << false << "s3cret";
    QTest::newRow("empty password, OK") << false << "" << "OK" << true << "Later";
    QTest::newRow("empty password, Return") << false << "" << "Return" << true << "Later";
    QTest::newRow("password, Cancel") << false << "typed" << "Cancel" << false << "";
    QTest::newRow("password, Escape") << false << "typed" << "Escape" << false << "";
    QTest::newRow("folder name proposed, OK") << true << QString() << "OK" << false << "New folder";
    // The proposal is selected, so typing replaces it.
    QTest::newRow("folder name typed, Return")
        << true << "Reports" << "Return" << false << "Reports";
    QTest::newRow("empty folder name, OK") << true << "" << "OK" << true << "Later";
    QTest::newRow("folder name, Cancel") << true << QString() << "Cancel" << false << "";
}

void TestInputDialogs::answers()
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
        finish(d, how);
        if (refused) {
            openAfterWarning = d->isVisible();
            field->setText(QStringLiteral("Later"));
            finish(d, "OK");
        }
    });
    QCOMPARE(warning, refused ? QStringLiteral("Error") : QString());
    QCOMPARE(openAfterWarning, refused);
    QCOMPARE(result, int(answer.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
    QCOMPARE(folder ? newFolder.getNewFolderName() : password.getPassword(), answer);
    QCOMPARE(child<QLineEdit>(&password, "lineEdit")->echoMode(), QLineEdit::Password);
}

void TestInputDialogs::textEditShowsPlainText()
{
    // A file name is no markup, whatever it holds.
    QTextEdit edit;
    const QString tagged = QStringLiteral("/data/<b>bold</b> & more.txt");
    setTextEditText(&edit, tagged);
    QCOMPARE(edit.toPlainText(), tagged);
}

QUENVAR_TEST_MAIN(TestInputDialogs)
#include "tst_inputdialogs.moc"
