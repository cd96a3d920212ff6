// The conflict dialog: its two forms, the answer each button records in the
// user choices, and closing it as cancelling everything.
#include "common/testenv.h"

#include "dialogtest.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"
#include "ui/ConflictDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

using namespace dialogtest;

namespace {

// The grid row by row, "|" between the cells; a check box reads "[text]".
QStringList gridRows(QWidget* dialog)
{
    QGridLayout* grid = child<QGridLayout>(dialog, "glButtons");
    QStringList rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid->columnCount(); ++c) {
            QLayoutItem* item = grid->itemAtPosition(r, c);
            if (!item || !item->widget())
                continue;
            if (auto* box = qobject_cast<QCheckBox*>(item->widget())) {
                const QString cell = "[" + box->text() + "]";
                if (!cells.contains(cell))
                    cells << cell;
            } else if (auto* button = qobject_cast<QPushButton*>(item->widget())) {
                cells << button->text();
            }
        }
        if (!cells.isEmpty())
            rows << cells.join('|');
    }
    return rows;
}

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

QString lowerText(QWidget* dialog)
{
    return child<QLabel>(dialog, "lblLowerInfo")->text();
}

QString upperText(QWidget* dialog)
{
    return child<QLabel>(dialog, "lblUpperInfo")->text();
}

} // namespace

class TestConflictDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void fileExistsWhenExtracting();
    void fileExistsWhenCopying();
    void fileExistsAnswers_data();
    void fileExistsAnswers();
    void answersOnRelease();
    void singleAnswerClearsAnEarlierForAll();

    void accessDeniedForms_data();
    void accessDeniedForms();
    void accessDeniedAnswers_data();
    void accessDeniedAnswers();

    void closingCancelsEverything_data();
    void closingCancelsEverything();

private:
    QString m_existing;
    QString m_source;
    QDateTime m_existingTime;
    QDateTime m_sourceTime;
};

void TestConflictDialog::init()
{
    UserActions::reset();
    const QString dir = testenv::makeDir(QStringLiteral("conflict"));
    m_existing = dir + "/existing.bin";
    m_source = dir + "/source.bin";
    QVERIFY(testenv::writeFile(m_existing, QByteArray(1536, 'x')));
    QVERIFY(testenv::writeFile(m_source, QByteArray(5, 'y')));
    m_existingTime = QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7));
    m_sourceTime = QDateTime(QDate(2022, 11, 12), QTime(13, 14, 15));
    setFileTimes(m_existing, m_existingTime, m_existingTime, m_existingTime);
    setFileTimes(m_source, m_sourceTime, m_sourceTime, m_sourceTime);
}

void TestConflictDialog::fileExistsWhenExtracting()
{
    ConflictDialog dialog;
    const QDateTime entryTime(QDate(2020, 1, 2), QTime(3, 4, 5));
    dialog.setDestinationExistsInfo(m_existing, entryTime);
    QCOMPARE(upperText(&dialog), m_existing + "\nSize: 1.50 KB\nModified: " +
                                     QLocale::system().toString(m_existingTime, QLocale::ShortFormat));
    QCOMPARE(lowerText(&dialog), "Modified: " + QLocale::system().toString(entryTime, QLocale::ShortFormat));
}

void TestConflictDialog::fileExistsWhenCopying()
{
    ConflictDialog dialog;
    dialog.setDestinationExistsInfo(m_existing, m_source);
    QCOMPARE(upperText(&dialog),
             m_existing + "\nSize: 1.50 KB\nChanged: " + QLocale::system().toString(m_existingTime, QLocale::NarrowFormat));
    QCOMPARE(lowerText(&dialog),
             "Size: 5 B\nChanged: " + QLocale::system().toString(m_sourceTime, QLocale::NarrowFormat));
}

void TestConflictDialog::fileExistsAnswers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("answer");
    QTest::newRow("replace") << "Replace" << "1:1/0";
    QTest::newRow("replace all") << "Replace All" << "1:1/1";
    QTest::newRow("skip") << "Skip" << "2:1/0";
    QTest::newRow("skip all") << "Skip All" << "2:1/1";
    QTest::newRow("rename") << "Rename" << "3:1/0";
    QTest::newRow("rename all") << "Rename All" << "3:1/1";
}

void TestConflictDialog::fileExistsAnswers()
{
    QFETCH(QString, button);
    QFETCH(QString, answer);
    for (bool copying : {false, true}) {
        UserActions::reset();
        ConflictDialog dialog;
        if (copying)
            dialog.setDestinationExistsInfo(m_existing, m_source);
        else
            dialog.setDestinationExistsInfo(m_existing, m_sourceTime);
        const int result = testenv::execModal(
            &dialog, [&](QDialog* d) { QTest::mouseClick(buttonByText(d, button), Qt::LeftButton); });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(chosenAnswers(), QStringList{answer});
    }
}

void TestConflictDialog::answersOnRelease()
{
    ConflictDialog dialog;
    dialog.setDestinationExistsInfo(m_existing, m_source);
    bool openAfterPress = false;
    QStringList answersAfterPress;
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        QPushButton* skip = buttonByText(d, "Skip All");
        QTest::mousePress(skip, Qt::LeftButton);
        openAfterPress = d->isVisible();
        answersAfterPress = chosenAnswers();
        QTest::mouseRelease(skip, Qt::LeftButton);
    });
    QVERIFY(openAfterPress);
    QVERIFY(answersAfterPress.isEmpty());
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(chosenAnswers(), QStringList{"2:1/1"});
}

void TestConflictDialog::singleAnswerClearsAnEarlierForAll()
{
    UserActions::select(UA_REPLACE, true);
    ConflictDialog dialog;
    dialog.setDestinationExistsInfo(m_existing, m_sourceTime);
    QCOMPARE(testenv::execModal(&dialog, [](QDialog* d) { buttonByText(d, "Replace")->click(); }),
             int(QDialog::Accepted));
    QCOMPARE(chosenAnswers(), QStringList{"1:1/0"});
}

void TestConflictDialog::accessDeniedForms_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("single");
    QTest::addColumn<bool>("deletion");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("rows");

    const QStringList one = {"Retry|Skip|Retry as administrator"};
    const QStringList several = {"Retry|Skip|Skip All",
                                 "Retry as administrator|[Use acquired administrator privileges for all further "
                                 "operations]"};
    QTest::newRow("open file, one") << false << true << false << "Error happened during attempt to open file:" << one;
    QTest::newRow("open file, several")
        << false << false << false << "Error happened during attempt to open file:" << several;
    QTest::newRow("delete file") << false << false << true << "Error happened during attempt to delete file:"
                                 << several;
    QTest::newRow("open folder") << true << true << false << "Error happened during attempt to open directory:"
                                 << one;
    QTest::newRow("delete folder") << true << false << true
                                   << "Error happened during attempt to delete directory:" << several;
}

void TestConflictDialog::accessDeniedForms()
{
    QFETCH(bool, folder);
    QFETCH(bool, single);
    QFETCH(bool, deletion);
    QFETCH(QString, title);
    QFETCH(QStringList, rows);

    QString path = m_existing;
    if (folder) {
        path = testenv::makeDir(QStringLiteral("locked"));
        setFileTimes(path, m_sourceTime, m_sourceTime, m_sourceTime);
    }
    const QDateTime modified = folder ? m_sourceTime : m_existingTime;

    ConflictDialog dialog;
    dialog.setAccessDeniedException(path, single, deletion);
    QCOMPARE(child<QLabel>(&dialog, "lblTopTitle")->text(), title);
    QCOMPARE(upperText(&dialog), path + "\nModified: " + QLocale::system().toString(modified, QLocale::ShortFormat));
    QCOMPARE(gridRows(&dialog), rows);
}

void TestConflictDialog::accessDeniedAnswers_data()
{
    QTest::addColumn<bool>("single");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("forAllTicked");
    QTest::addColumn<QString>("answer");
    QTest::newRow("retry") << true << "Retry" << false << "6:1/0";
    QTest::newRow("skip") << true << "Skip" << false << "2:1/0";
    QTest::newRow("skip all") << false << "Skip All" << false << "2:1/1";
    QTest::newRow("as administrator, one item") << true << "Retry as administrator" << false << "5:1/0";
    QTest::newRow("as administrator, box clear") << false << "Retry as administrator" << false << "5:1/0";
    QTest::newRow("as administrator, box ticked") << false << "Retry as administrator" << true << "5:1/1";
}

void TestConflictDialog::accessDeniedAnswers()
{
    QFETCH(bool, single);
    QFETCH(QString, button);
    QFETCH(bool, forAllTicked);
    QFETCH(QString, answer);

    ConflictDialog dialog;
    dialog.setAccessDeniedException(m_existing, single, false);
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        if (forAllTicked)
            d->findChild<QCheckBox*>()->setChecked(true);
        QTest::mouseClick(buttonByText(d, button), Qt::LeftButton);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(chosenAnswers(), QStringList{answer});
}

void TestConflictDialog::closingCancelsEverything_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("escape");
    QTest::newRow("extraction, Escape") << 0 << true;
    QTest::newRow("copying, Escape") << 1 << true;
    QTest::newRow("access denied, Escape") << 2 << true;
    QTest::newRow("access denied for several, Escape") << 3 << true;
    QTest::newRow("extraction, closed") << 0 << false;
    QTest::newRow("access denied, closed") << 2 << false;
}

void TestConflictDialog::closingCancelsEverything()
{
    QFETCH(int, form);
    QFETCH(bool, escape);
    ConflictDialog dialog;
    switch (form) {
    case 0:
        dialog.setDestinationExistsInfo(m_existing, m_sourceTime);
        break;
    case 1:
        dialog.setDestinationExistsInfo(m_existing, m_source);
        break;
    default:
        dialog.setAccessDeniedException(m_existing, form == 2, false);
    }
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
