// The unpacking options dialog: offers per archive kind, the overwrite mode
// as a preset answer, the destination list and rejection.
#include "common/testenv.h"

#include "app/CCompressOptions.h"
#include "fileops/UserActions.h"
#include "ui/extractdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>

#include "dialogtest.h"

using namespace dialogtest;

namespace {

int accept(QDialog* dialog)
{
    return testenv::execModal(dialog, [](QDialog* d) { child<QPushButton>(d, "pbOk")->click(); });
}

} // namespace

class TestExtractDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void offersPerArchive_data();
    void offersPerArchive();
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

void TestExtractDialog::offersPerArchive_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<int>("overwriteModes");
    QTest::addColumn<int>("accepted"); // the path mode handed back

    // The own format's code knows full paths and confirmation only; the
    // request's relative paths are not on offer, so full paths go out.
    const QStringList own{"Full paths"};
    QTest::newRow("own format") << "photos.qv" << own << 2 << int(EPM_FULL_PATHS);
    QTest::newRow("its first volume") << "photos.qv.001" << own << 2 << int(EPM_FULL_PATHS);
    const QStringList all{"Relative paths", "Without paths", "Full paths"};
    for (const char* other : {"a.zip", "a.qv.bak", "a.qv.002"})
        QTest::newRow(other) << other << all << 5 << int(EPM_RELATIVE_PATHS);
}

void TestExtractDialog::offersPerArchive()
{
    QFETCH(QString, archive);
    QFETCH(QStringList, paths);
    QFETCH(int, overwriteModes);
    QFETCH(int, accepted);

    ExtractDialog dialog;
    ExtractOptions options = request(archive);
    QCOMPARE(options.pathMode, int(EPM_RELATIVE_PATHS));
    dialog.setExtractOptions(options);
    QCOMPARE(itemTexts(child<QComboBox>(&dialog, "cbPathType")), paths);
    QCOMPARE(child<QComboBox>(&dialog, "cbRewrite")->count(), overwriteModes);
    QCOMPARE(accept(&dialog), int(QDialog::Accepted));
    QCOMPARE(dialog.getExtractOptions().pathMode, accepted);
    QCOMPARE(dialog.getExtractOptions().overwriteMode, int(EOM_ASK));
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
    for (const char* target : {"/Output", "/elsewhere", "/OUTPUT"}) {
        options.targetDirectory = m_dir + target;
        dialog.setExtractOptions(options);
    }
    QCOMPARE(destination->count(), 2);
    QCOMPARE(destination->currentIndex(), 0);
    QCOMPARE(destination->currentText(), m_dir + "/Output");
}

void TestExtractDialog::browseSetsTheDestination()
{
    const QString chosen = testenv::makeDir(QStringLiteral("chosen"));
    ExtractDialog dialog;
    dialog.setExtractOptions(request("a.7z"));
    const int result = testenv::execModal(&dialog, [&](QDialog* d) {
        testenv::whenModalAppears(
            [&](QWidget* modal) {
                qobject_cast<QFileDialog*>(modal)->setDirectory(chosen);
                static_cast<QDialog*>(modal)->accept();
            },
            "QFileDialog");
        child<QPushButton>(d, "pbSelectDir")->click();
        child<QPushButton>(d, "pbOk")->click();
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(dialog.getExtractOptions().targetDirectory, chosen);
}

void TestExtractDialog::rejectingEmptiesTheTarget()
{
    ExtractDialog dialog;
    dialog.setExtractOptions(request("a.7z"));
    const auto cancel = [](QDialog* d) { child<QPushButton>(d, "pbCancel")->click(); };
    QCOMPARE(testenv::execModal(&dialog, cancel), int(QDialog::Rejected));
    QVERIFY(dialog.getExtractOptions().targetDirectory.isEmpty());
    QVERIFY(chosenAnswers().isEmpty());
}

QUENVAR_TEST_MAIN(TestExtractDialog)
#include "tst_extractdialog.moc"
