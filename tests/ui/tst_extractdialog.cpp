// The unpacking options dialog: offers per archive kind, the overwrite mode
// as a preset answer, the destination list and rejection.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "fileops/UserActions.h"
#include "ui/extractdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include "dialogtest.h"

using namespace dialogtest;

class TestExtractDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void ownFormatOffersFullPathsAndConfirmationOnly();
    void otherFormatsOfferEverything();
    void overwriteModePresetsTheAnswer_data();
    void overwriteModePresetsTheAnswer();
    void acceptedDialogWritesTheRequest();
    void destinationMatchesExistingItemIgnoringCase();
    void browseSetsTheDestination();
    void rejectingEmptiesTheTarget();

private:
    ExtractOptions request(const QString& archive) const;
    QString m_dir;
};

void TestExtractDialog::init()
{
    UserActions::reset();
    m_dir = testenv::makeDir(QStringLiteral("unpack"));
}

ExtractOptions TestExtractDialog::request(const QString& archive) const
{
    ExtractOptions options;
    options.archivePath = m_dir + "/" + archive;
    options.targetDirectory = m_dir;
    return options;
}

void TestExtractDialog::ownFormatOffersFullPathsAndConfirmationOnly()
{
    // The first volume of a split archive is read by the same code.
    ExtractDialog volume;
    volume.setExtractOptions(request("photos.qv.001"));
    QCOMPARE(itemTexts(child<QComboBox>(&volume, "cbPathType")), QStringList{"Full paths"});
    QCOMPARE(child<QComboBox>(&volume, "cbRewrite")->count(), 2);

    ExtractDialog dialog;
    ExtractOptions options = request("photos.qv");
    QCOMPARE(options.pathMode, int(EPM_RELATIVE_PATHS));
    dialog.setExtractOptions(options);
    auto* paths = child<QComboBox>(&dialog, "cbPathType");
    auto* rewrite = child<QComboBox>(&dialog, "cbRewrite");
    QCOMPARE(itemData(paths), QList<int>{0});
    QCOMPARE(itemData(rewrite), (QList<int>{0, 1}));

    // The request's relative paths are not on offer; full paths go out.
    QCOMPARE(testenv::execModal(&dialog, [](QDialog* d) { child<QPushButton>(d, "pbOk")->click(); }),
             int(QDialog::Accepted));
    QCOMPARE(dialog.getExtractOptions().pathMode, int(EPM_FULL_PATHS));
}

void TestExtractDialog::otherFormatsOfferEverything()
{
    // Only the own format's own names are read by its code.
    for (const char* archive : {"a.zip", "a.qv.bak", "a.qv.002"}) {
        ExtractDialog dialog;
        dialog.setExtractOptions(request(archive));
        auto* paths = child<QComboBox>(&dialog, "cbPathType");
        auto* rewrite = child<QComboBox>(&dialog, "cbRewrite");
        QCOMPARE(itemData(paths), (QList<int>{2, 1, 0}));
        QCOMPARE(itemData(rewrite), (QList<int>{0, 1, 2, 3, 4}));
        QCOMPARE(rewrite->currentIndex(), 0);
        QCOMPARE(paths->currentText(), QStringLiteral("Relative paths"));
    }
    // The root folder check box shows only where it can act.
    ExtractDialog dialog;
    dialog.setExtractOptions(request("a.7z"));
    dialog.show();
    QVERIFY(!child<QCheckBox>(&dialog, "cbNoDuplicates")->isVisible());
}

void TestExtractDialog::overwriteModePresetsTheAnswer_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("with confirmation") << 0;
    QTest::newRow("without confirmation") << 1;
    QTest::newRow("skip") << 2;
    QTest::newRow("rename automatically") << 3;
    QTest::newRow("rename existing") << 4;
}

void TestExtractDialog::overwriteModePresetsTheAnswer()
{
    QFETCH(int, mode);
    ExtractDialog dialog;
    dialog.setExtractOptions(request("a.zip"));
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        auto* rewrite = child<QComboBox>(d, "cbRewrite");
        rewrite->setCurrentIndex(rewrite->findData(mode));
        QTest::keyClick(d, Qt::Key_Return);
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.getExtractOptions().overwriteMode, mode);
    // This item and every further one: a later conflict is settled without asking.
    QCOMPARE(chosenAnswers(), QStringList{QStringLiteral("%1:1/1").arg(mode)});
}

void TestExtractDialog::acceptedDialogWritesTheRequest()
{
    ExtractDialog dialog;
    ExtractOptions options = request("a.7z");
    options.sourceFolder = QStringLiteral("inner");
    options.itemIndexes = {3, 5};
    options.password = QStringLiteral("pw");
    options.subPath = QStringLiteral("docs");
    options.removeDuplicatesRoot = false;
    dialog.setExtractOptions(options);
    const int result = testenv::execModal(&dialog, [](QDialog* d) {
        auto* paths = child<QComboBox>(d, "cbPathType");
        paths->setCurrentIndex(paths->findText("Without paths"));
        child<QCheckBox>(d, "cbNoDuplicates")->setChecked(true);
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    const ExtractOptions accepted = dialog.getExtractOptions();
    QCOMPARE(accepted.targetDirectory, m_dir);
    QVERIFY(accepted.sourceFolder.isEmpty());
    QCOMPARE(accepted.pathMode, int(EPM_NO_PATHS));
    QCOMPARE(accepted.overwriteMode, int(EOM_ASK));
    QVERIFY(accepted.removeDuplicatesRoot);
    QCOMPARE(accepted.archivePath, options.archivePath);
    QCOMPARE(accepted.itemIndexes, (QList<int>{3, 5}));
    QCOMPARE(accepted.password, QStringLiteral("pw"));
    QCOMPARE(accepted.subPath, QStringLiteral("docs"));
}

void TestExtractDialog::destinationMatchesExistingItemIgnoringCase()
{
    ExtractDialog dialog;
    auto* destination = child<QComboBox>(&dialog, "cbDstDirName");
    ExtractOptions options = request("a.7z");
    options.targetDirectory = m_dir + "/Output";
    dialog.setExtractOptions(options);
    options.targetDirectory = m_dir + "/elsewhere";
    dialog.setExtractOptions(options);
    QCOMPARE(destination->count(), 2);
    QCOMPARE(destination->currentText(), m_dir + "/elsewhere");

    options.targetDirectory = m_dir + "/OUTPUT";
    dialog.setExtractOptions(options);
    QCOMPARE(destination->count(), 2);
    QCOMPARE(destination->currentIndex(), 0);
    QCOMPARE(destination->currentText(), m_dir + "/Output");
}

void TestExtractDialog::browseSetsTheDestination()
{
    const QString chosen = testenv::makeDir(QStringLiteral("chosen"));
    ExtractDialog dialog;
    dialog.setExtractOptions(request("a.7z"));
    QString title;
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        testenv::whenModalAppears(
            [&](QWidget* modal) {
                auto* files = qobject_cast<QFileDialog*>(modal);
                title = files->windowTitle();
                files->setDirectory(chosen);
                static_cast<QDialog*>(files)->accept();
            },
            "QFileDialog");
        child<QPushButton>(d, "pbSelectDir")->click();
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(title, QStringLiteral("Open Directory"));
    QCOMPARE(dialog.getExtractOptions().targetDirectory, chosen);
}

void TestExtractDialog::rejectingEmptiesTheTarget()
{
    ExtractDialog dialog;
    dialog.setExtractOptions(request("a.7z"));
    QCOMPARE(testenv::execModal(&dialog, [](QDialog* d) { child<QPushButton>(d, "pbCancel")->click(); }),
             int(QDialog::Rejected));
    QVERIFY(dialog.getExtractOptions().targetDirectory.isEmpty());
    QVERIFY(chosenAnswers().isEmpty());
}

QUENVAR_TEST_MAIN(TestExtractDialog)
#include "tst_extractdialog.moc"
