// Display names of the users' standard folders, under a Russian system locale.
#include "common/testenv.h"

#include "fileops/utils.h"

#include <QDir>

class TestSpecialFolders : public QObject
{
    Q_OBJECT

private slots:
    void namesUnderRussianLocale();
    void includingSpecialFolders();
};

void TestSpecialFolders::namesUnderRussianLocale()
{
    QCOMPARE(QLocale::system().language(), QLocale::Russian);
    // The private HOME lies directly in the test root: the root is the
    // "home root" and every folder in it a user folder.
    const QString root = QFileInfo(QDir::homePath()).path();
    const QString user = QDir::homePath();
    QCOMPARE(getSpecialFolderName(root), QStringLiteral("Users"));
    QCOMPARE(getSpecialFolderName(root + "/Public/Music"), QStringLiteral("General Music"));
    QCOMPARE(getSpecialFolderName(user + "/Documents"), QStringLiteral("Documentation"));
    QCOMPARE(getSpecialFolderName(user + "/Pictures/Camera Roll"), QStringLiteral("Camera Roll"));
    QVERIFY(getSpecialFolderName(user + "/Documents/Desktop").isEmpty());
    QVERIFY(getSpecialFolderName(user + "/Unknown").isEmpty());
    QVERIFY(getSpecialFolderName("/usr/share").isEmpty());
}

void TestSpecialFolders::includingSpecialFolders()
{
    const QString user = QDir::homePath();
    QVERIFY(isIncludingSpecialFolders(user, user));
    QVERIFY(isIncludingSpecialFolders(user, QFileInfo(user).path()));
    QVERIFY(isIncludingSpecialFolders(user, user + "/Pictures"));
    QVERIFY(isIncludingSpecialFolders(user, user + "/Videos"));
    QVERIFY(!isIncludingSpecialFolders(user, user + "/Music"));
    QVERIFY(isIncludingSpecialFolders(user + "/Videos"));
    QVERIFY(!isIncludingSpecialFolders("/usr/share/doc"));
}

QUENVAR_TEST_MAIN_WITH_LOCALE(TestSpecialFolders, "ru_RU.UTF-8")
#include "tst_knownfolders.moc"
