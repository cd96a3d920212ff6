// Path, naming, detection and time rules, the password cache, and the users'
// standard folders (under a Russian system locale).
#include "common/testenv.h"

#include "app/settings.h"
#include "fileops/FileContentsUtils.h"
#include "fileops/FileNameCodec.h"
#include "fileops/PasswordCache.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void renameNumbering();
    void extractionFolders();
    void detection_data();
    void detection();
    void namesWithoutCompressionExtension();
    void fileTimesToTheTick();
    void passwordCache();
    void nameBytesSurviveTheCodec_data();
    void nameBytesSurviveTheCodec();
    void specialFolderNamesUnderRussianLocale();
    void includingSpecialFolders();

private:
    QString m_dir;
    QString m_archives;
};

void TestUtils::initTestCase()
{
    m_dir = testenv::makeDir("utils");
    // Archives made by the independent 7z tool, one per format.
    m_archives = testenv::makeDir("archives");
    testenv::makeTree(m_archives + "/src",
                      {{"a.txt", "hello archive\n"}, {"sub/b.bin", QByteArray(3000, 'b')}});
    auto make = [&](const QString& name, const QStringList& extra, const QString& input) {
        const auto result = testenv::run7z(QStringList{"a", "-bd", "-y"} + extra
                                               + QStringList{m_archives + "/" + name, input},
                                           m_archives + "/src");
        QVERIFY2(result.exitCode == 0, result.out.constData());
    };
    const QList<QStringList> made = {{"t.7z"}, {"t.zip", "-tzip"}, {"t.tar", "-ttar"},
                                     {"t.wim", "-twim"}, {"t.gz", "-tgzip", "a.txt"},
                                     {"t.bz2", "-tbzip2", "a.txt"}, {"t.xz", "-txz", "a.txt"}};
    for (const QStringList& m : made)
        make(m[0], m.mid(1, 1), m.value(2, "."));
}

void TestUtils::renameNumbering()
{
    const QString photos = m_dir + "/photos.qv";
    testenv::writeFile(photos, "x");
    QCOMPARE(getRenameFileName(photos, "_tmp%1", false), m_dir + "/photos_tmp1.qv");
    testenv::writeFile(m_dir + "/photos_tmp1.qv", "x");
    QCOMPARE(getRenameFileName(photos, "_tmp%1", false), m_dir + "/photos_tmp2.qv");
    // Only when it exists: a free name is kept.
    QCOMPARE(getRenameFileName(m_dir + "/free.7z", "_%1", true), m_dir + "/free.7z");
    // A dangling link still takes its name.
    QVERIFY(QFile::link(m_dir + "/nowhere", m_dir + "/a_1.txt"));
    testenv::writeFile(m_dir + "/a.txt", "a");
    QCOMPARE(getRenameFileName(m_dir + "/a.txt", "_%1", true), m_dir + "/a_2.txt");
    // Folders without an extension, the new-folder pattern.
    QDir().mkpath(m_dir + "/New folder");
    QCOMPARE(getRenameFileName(m_dir + "/New folder", " (%1)", true), m_dir + "/New folder (1)");
    // Only the last extension moves behind the number.
    testenv::writeFile(m_dir + "/r.tar.gz", "x");
    QCOMPARE(getRenameFileName(m_dir + "/r.tar.gz", "_%1", true), m_dir + "/r.tar_1.gz");
}

void TestUtils::extractionFolders()
{
    const QString archive = m_dir + "/photos.tar.gz";
    testenv::writeFile(archive, "x");
    QCOMPARE(directoryToExtractAccordingToArchive(archive, false), m_dir);
    QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos");

    QDir().mkpath(m_dir + "/photos");
    QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos");
    CSettings::setBoolValue("AppendNumberToDirectory", true);
    QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos_1");
    QDir().mkpath(m_dir + "/photos_1");
    QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos_2");
    QDir().rmdir(m_dir + "/photos");
    QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos");
    // The number goes after the whole name, dots and all.
    QDir().mkpath(m_dir + "/app-2.4.1");
    QCOMPARE(directoryToExtractAccordingToArchive(m_dir + "/app-2.4.1.tar.gz", true),
             m_dir + "/app-2.4.1_1");
    CSettings::setBoolValue("AppendNumberToDirectory", false);
    // A name without an extension would be the archive itself.
    testenv::writeFile(m_dir + "/bare", "PK");
    QCOMPARE(directoryToExtractAccordingToArchive(m_dir + "/bare", true), m_dir + "/bare_1");
}

void TestUtils::detection_data()
{
    QTest::addColumn<QString>("name"); // a file of m_archives, made by the 7z tool, or a new one
    QTest::addColumn<QByteArray>("bytes"); // the new file's; "link", "folder", "missing"
    QTest::addColumn<int>("format");       // -1: no archive
    QTest::newRow("7z") << "t.7z" << QByteArray() << int(ZF_7Z);
    QTest::newRow("zip") << "t.zip" << QByteArray() << int(ZF_ZIP);
    QTest::newRow("tar") << "t.tar" << QByteArray() << int(ZF_TAR);
    QTest::newRow("wim") << "t.wim" << QByteArray() << int(ZF_WIM);
    QTest::newRow("gzip") << "t.gz" << QByteArray() << int(ZF_GZIP);
    QTest::newRow("bzip2") << "t.bz2" << QByteArray() << int(ZF_BZIP2);
    QTest::newRow("xz") << "t.xz" << QByteArray() << int(ZF_XZ);
    QTest::newRow("own format reads as zip")
        << "own.qv" << QByteArray::fromHex("504BD3AA0000") << int(ZF_ZIP);
    QTest::newRow("no signature, own name") << "plain.qv" << QByteArray("not really") << int(ZF_QV);
    QTest::newRow("empty, upper-case name") << "empty.7Z" << QByteArray("") << int(ZF_7Z);
    QTest::newRow("text") << "notes.txt" << QByteArray("text") << -1;
    QTest::newRow("shorter than a signature") << "short.bin" << QByteArray::fromHex("377A") << -1;
    QTest::newRow("rar 5") << "rar5.bin" << QByteArray::fromHex("526172211A070100") << int(ZF_RAR5);
    QTest::newRow("rar 4") << "rar4.bin" << QByteArray::fromHex("526172211A0700CF") << int(ZF_RAR);
    // Known extensions, but nothing that opens for reading.
    QTest::newRow("dangling link") << "dangling.zip" << QByteArray("link") << -1;
    QTest::newRow("folder") << "folder.7z" << QByteArray("folder") << -1;
    QTest::newRow("missing") << "missing.tar" << QByteArray("missing") << -1;
    QTest::newRow("unreadable") << "locked.zip" << QByteArray("locked") << -1;
}

void TestUtils::detection()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, format);
    ZipFormatInfo info;
    if (bytes.isNull()) {
        const QString made = m_archives + "/" + name;
        QVERIFY(detectArchiveFormat(made, &info));
        QCOMPARE(int(info.format), format);
        // Content wins over the name: the same bytes under a misleading name.
        const QString renamed = m_archives + "/renamed-" + name + ".zip";
        QVERIFY(QFile::copy(made, renamed));
        QVERIFY(isArchive(renamed, &info));
        if (format != ZF_TAR) // tar has no signature and is found by its name only
            QCOMPARE(int(info.format), format);
        return;
    }
    const QString path = m_dir + "/" + name;
    if (bytes == "locked" && geteuid() == 0)
        QSKIP("root reads every file");
    if (bytes == "link") {
        QVERIFY(QFile::link(m_dir + "/nothing-here", path));
    } else if (bytes == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (bytes == "locked") {
        QVERIFY(testenv::writeFile(path, "PK"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    } else if (bytes != "missing") {
        QVERIFY(testenv::writeFile(path, bytes));
    }
    QCOMPARE(isArchive(path, &info), format >= 0);
    if (format >= 0)
        QCOMPARE(int(info.format), format);
}

void TestUtils::namesWithoutCompressionExtension()
{
    QCOMPARE(fileNameForArchive("/x/photos.tar.gz"), QStringLiteral("/x/photos.tar"));
    QCOMPARE(fileNameForArchive("/x/g.tgz"), QStringLiteral("/x/g.tar"));
    QCOMPARE(fileNameForArchive("/x/data.BZ2"), QStringLiteral("/x/data"));
    QCOMPARE(fileNameForArchive("/x/notes.txt"), QStringLiteral("/x/notes.txt"));
}

void TestUtils::fileTimesToTheTick()
{
    const QString file = m_dir + "/timed.txt";
    testenv::writeFile(file, "t");

    // Set by the independent system call, read back through the helper.
    struct timespec times[2];
    times[0].tv_sec = 1600000000;
    times[0].tv_nsec = 123456700;
    times[1].tv_sec = 1700000000;
    times[1].tv_nsec = 987654300;
    QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
    uint64_t creation = 0, access = 0, modification = 0;
    getFileTimes(file, &creation, &access, &modification);
    QCOMPARE(access, kFileTimeUnixEpochTicks + 1600000000ULL * 10000000ULL + 1234567ULL);
    QCOMPARE(modification, kFileTimeUnixEpochTicks + 1700000000ULL * 10000000ULL + 9876543ULL);
    QVERIFY(creation > kFileTimeUnixEpochTicks);

    // Written back to the tick.
    setFileTimesTicks(file, access + 1, modification + 2);
    uint64_t access2 = 0, modification2 = 0;
    getFileTimes(file, nullptr, &access2, &modification2);
    QCOMPARE(access2, access + 1);
    QCOMPARE(modification2, modification + 2);
    // A zero tick leaves that time alone.
    setFileTimesTicks(file, 0, modification);
    getFileTimes(file, nullptr, &access2, &modification2);
    QCOMPARE(access2, access + 1);
    QCOMPARE(modification2, modification);

    const QDateTime when(QDate(2020, 5, 6), QTime(7, 8, 9, 250), Qt::UTC);
    setFileTimes(file, QDateTime(), when, when);
    QCOMPARE(QFileInfo(file).lastModified().toMSecsSinceEpoch(), when.toMSecsSinceEpoch());

    uint64_t missing = 1;
    getFileTimes(m_dir + "/does-not-exist", nullptr, nullptr, &missing);
    QCOMPARE(missing, 0ULL);
}

void TestUtils::passwordCache()
{
    const QString archive = m_dir + "/secret.7z";
    testenv::writeFile(archive, "7z");
    QVERIFY(getPasswordFromCache(archive).isEmpty());
    setPasswordInTheCache(archive, "pa55");
    QCOMPARE(getPasswordFromCache(archive), QStringLiteral("pa55"));

    // Another spelling of the same file misses.
    QVERIFY(QFile::link(archive, m_dir + "/link.7z"));
    QVERIFY(getPasswordFromCache(m_dir + "/link.7z").isEmpty());
    QVERIFY(getPasswordFromCache(m_dir + "/./secret.7z").isEmpty());

    // A new file under the same name misses.
    QThread::msleep(20);
    QVERIFY(QFile::remove(archive));
    testenv::writeFile(archive, "7z again");
    QVERIFY(getPasswordFromCache(archive).isEmpty());

    // An empty password overwrites and reads back as none.
    setPasswordInTheCache(archive, "x");
    setPasswordInTheCache(archive, "");
    QVERIFY(getPasswordFromCache(archive).isEmpty());
}

void TestUtils::nameBytesSurviveTheCodec_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("readable");
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9 \xf0\x9f\x93\xa6")
                           << QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x93\xa6");
    QTest::newRow("Latin-1") << QByteArray("umlauts-\xc4\xd6\xdc")
                             << QString::fromUtf8("umlauts-\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    QTest::newRow("cut sequence at the end")
        << QByteArray("a\xe2\x82") << QString::fromUtf8("a\xef\xbf\xbd\xef\xbf\xbd");
    QTest::newRow("overlong slash")
        << QByteArray("\xc0\xaf") << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd");
    QTest::newRow("surrogate half")
        << QByteArray("\xed\xa0\x80") << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    // The characters that stand for bytes, written as UTF-8, are bytes too.
    QTest::newRow("U+EF80 as UTF-8")
        << QByteArray("\xee\xbe\x80") << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
}

void TestUtils::nameBytesSurviveTheCodec()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, readable);
    const QString name = QFile::decodeName(bytes);
    QCOMPARE(QFile::encodeName(name), bytes);
    QCOMPARE(readableFileName(name), readable);
    // Through the file system and a folder listing, the same bytes.
    const QString path = m_dir + "/" + name;
    QVERIFY(testenv::writeFile(path, bytes));
    QVERIFY(QDir(m_dir).entryList(QDir::Files).contains(name));
    const int fd = ::open(QFile::encodeName(m_dir).append('/').append(bytes).constData(), O_RDONLY);
    QVERIFY(fd >= 0);
    ::close(fd);
    QVERIFY(QFile::remove(path));
}

void TestUtils::specialFolderNamesUnderRussianLocale()
{
    QCOMPARE(QLocale::system().language(), QLocale::Russian);
    // The private HOME lies directly in the test root: the root is the
    // "home root" and every folder in it a user folder.
    const QString root = QFileInfo(QDir::homePath()).path();
    const QString user = QDir::homePath();
    QCOMPARE(getSpecialFolderName(root), QStringLiteral("Users"));
    QCOMPARE(getSpecialFolderName(root + "/Public/Music"), QStringLiteral("General Music"));
    QCOMPARE(getSpecialFolderName(user + "/Documents"), QStringLiteral("Documentation"));
    QVERIFY(getSpecialFolderName(user + "/Documents/Desktop").isEmpty());
    QVERIFY(getSpecialFolderName("/usr/share").isEmpty());
}

void TestUtils::includingSpecialFolders()
{
    const QString user = QDir::homePath();
    QVERIFY(isIncludingSpecialFolders(user, QFileInfo(user).path()));
    QVERIFY(isIncludingSpecialFolders(user, user + "/Pictures"));
    QVERIFY(!isIncludingSpecialFolders(user, user + "/Music"));
    QVERIFY(isIncludingSpecialFolders(user + "/Videos"));
    QVERIFY(!isIncludingSpecialFolders("/usr/share/doc"));
}

QUENVAR_TEST_MAIN_WITH_LOCALE(TestUtils, "ru_RU.UTF-8")
#include "tst_utils.moc"
