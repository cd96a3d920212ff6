// Archive names proposed for the users' standard folders, which carry
// display names under a Russian system locale.
#include "common/testenv.h"

#include "dialogtest.h"
#include "ui/compressdialog.h"

#include <QComboBox>
#include <QDir>

using namespace dialogtest;

class TestCompressSpecialNames : public QObject
{
    Q_OBJECT

private slots:
    void specialFolderGetsItsDisplayName();
};

void TestCompressSpecialNames::specialFolderGetsItsDisplayName()
{
    QCOMPARE(QLocale::system().language(), QLocale::Russian);
    const QString documents = QDir::homePath() + "/Documents";
    QVERIFY(QDir().mkpath(documents));

    CompressDialog dialog;
    CompressOptions options;
    options.files = QStringList{documents};
    options.baseDirectory = QDir::homePath();
    options.archivePath = documents;
    dialog.setCompressOptions(options);
    auto* name = child<QComboBox>(&dialog, "cbArchiveName");
    QCOMPARE(name->itemText(0), QDir::homePath() + "/Documentation");
    QCOMPARE(name->currentText(), QDir::homePath() + "/Documentation.7z");
    auto* format = child<QComboBox>(&dialog, "cbFormat");
    format->setCurrentIndex(format->findText("zip"));
    QCOMPARE(name->currentText(), QDir::homePath() + "/Documentation.zip");
}

QUENVAR_TEST_MAIN_WITH_LOCALE(TestCompressSpecialNames, "ru_RU.UTF-8")
#include "tst_compressoddnames.moc"
