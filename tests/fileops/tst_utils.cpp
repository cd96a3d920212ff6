// Path, naming and detection rules, the password cache, name bytes and the users' standard
// folders (under a Russian system locale).
#include "common/testenv.h"

#include "app/settings.h"
#include "fileops/FileContentsUtils.h"
#include "fileops/FileNameCodec.h"
#include "fileops/PasswordCache.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

class TestUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_dir = testenv::makeDir("utils");
    }

    void renameNumbering()
    {
        QVERIFY(QFile::link(m_dir + "/nowhere", m_dir + "/a_1.txt"));
        testenv::writeFile(m_dir + "/a.txt", "a");
        QCOMPARE(getRenameFileName(m_dir + "/a.txt", "_%1", true), m_dir + "/a_2.txt");
        testenv::writeFile(m_dir + "/r.tar.gz", "x");
        QCOMPARE(getRenameFileName(m_dir + "/r.tar.gz", "_%1", true), m_dir + "/r.tar_1.gz");
    }

    void extractionFolders()
    {
        const QString archive = m_dir + "/photos.tar.gz";
        testenv::writeFile(archive, "x");
        QDir().mkpath(m_dir + "/photos");
        QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos");
        CSettings::setBoolValue("AppendNumberToDirectory", true);
        QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos_1");
        QDir().mkpath(m_dir + "/photos_1");
        QCOMPARE(directoryToExtractAccordingToArchive(archive, true), m_dir + "/photos_2");
        CSettings::setBoolValue("AppendNumberToDirectory", false);
        // A name without an extension would be the archive itself.
        testenv::writeFile(m_dir + "/bare", "PK");
        QCOMPARE(directoryToExtractAccordingToArchive(m_dir + "/bare", true), m_dir + "/bare_1");
    }

    void detection_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // the file's; "link", "folder", "missing"
        QTest::addColumn<int>("format");       // -1: no archive
        QTest::newRow("own format reads as zip")
            << "own.qv" << QByteArray::fromHex("504BD3AA0000") << int(ZF_ZIP);
        QTest::newRow("no signature, own name")
            << "plain.qv" << QByteArray("not really") << int(ZF_QV);
        QTest::newRow("empty, upper-case name") << "empty.7Z" << QByteArray("") << int(ZF_7Z);
        QTest::newRow("text") << "notes.txt" << QByteArray("text") << -1;
        QTest::newRow("shorter than a signature")
            << "short.bin" << QByteArray::fromHex("377A") << -1;
        QTest::newRow("rar 5") << "rar5.bin" << QByteArray::fromHex("526172211A070100")
                               << int(ZF_RAR5);
        QTest::newRow("rar 4") << "rar4.bin" << QByteArray::fromHex("526172211A0700CF")
                               << int(ZF_RAR);
        // Known extensions, but nothing that opens for reading.
        QTest::newRow("dangling link") << "dangling.zip" << QByteArray("link") << -1;
        QTest::newRow("folder") << "folder.7z" << QByteArray("folder") << -1;
        QTest::newRow("missing") << "missing.tar" << QByteArray("missing") << -1;
    }

    void detection()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, format);
        ZipFormatInfo info;
        const QString path = m_dir + "/" + name;
        if (bytes == "link") {
            QVERIFY(QFile::link(m_dir + "/nothing-here", path));
        } else if (bytes == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (bytes != "missing") {
            QVERIFY(testenv::writeFile(path, bytes));
        }
        QCOMPARE(isArchive(path, &info), format >= 0);
        if (format >= 0)
            QCOMPARE(int(info.format), format);
    }

    void passwordCache()
    {
        const QString archive = m_dir + "/secret.7z";
        testenv::writeFile(archive, "7z");
        QVERIFY(getPasswordFromCache(archive).isEmpty());
        setPasswordInTheCache(archive, "pa55");
        QCOMPARE(getPasswordFromCache(archive), QStringLiteral("pa55"));

        QVERIFY(QFile::link(archive, m_dir + "/link.7z"));
        QVERIFY(getPasswordFromCache(m_dir + "/link.7z").isEmpty());
        QVERIFY(getPasswordFromCache(m_dir + "/./secret.7z").isEmpty());

        QThread::msleep(20);
        QVERIFY(QFile::remove(archive));
        testenv::writeFile(archive, "7z again");
        QVERIFY(getPasswordFromCache(archive).isEmpty());
    }

    void nameBytesSurviveTheCodec_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("readable");
        QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9 \xf0\x9f\x93\xa6")
                               << QString::fromUtf8("caf\xc3\xa9 \xf0\x9f\x93\xa6");
        QTest::newRow("Latin-1") << QByteArray("umlauts-\xc4\xd6\xdc")
                                 << QString::fromUtf8(
                                        "umlauts-\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
        QTest::newRow("cut sequence at the end")
            << QByteArray("a\xe2\x82") << QString::fromUtf8("a\xef\xbf\xbd\xef\xbf\xbd");
        QTest::newRow("overlong slash")
            << QByteArray("\xc0\xaf") << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd");
        QTest::newRow("surrogate half")
            << QByteArray("\xed\xa0\x80")
            << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
        // The characters that stand for bytes, written as UTF-8, are bytes too.
        QTest::newRow("U+EF80 as UTF-8")
            << QByteArray("\xee\xbe\x80")
            << QString::fromUtf8("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    }

    void nameBytesSurviveTheCodec()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, readable);
        const QString name = QFile::decodeName(bytes);
        QCOMPARE(QFile::encodeName(name), bytes);
        QCOMPARE(readableFileName(name), readable);
        const QString path = m_dir + "/" + name;
        QVERIFY(testenv::writeFile(path, bytes));
        QVERIFY(QDir(m_dir).entryList(QDir::Files).contains(name));
        const int fd
            = ::open(QFile::encodeName(m_dir).append('/').append(bytes).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        ::close(fd);
        QVERIFY(QFile::remove(path));
    }

    void includingSpecialFolders()
    {
        const QString user = QDir::homePath();
        QVERIFY(isIncludingSpecialFolders(user, QFileInfo(user).path()));
        QVERIFY(isIncludingSpecialFolders(user, user + "/Pictures"));
        QVERIFY(!isIncludingSpecialFolders(user, user + "/Music"));
        QVERIFY(isIncludingSpecialFolders(user + "/Videos"));
        QVERIFY(!isIncludingSpecialFolders("/usr/share/doc"));
    }

private:
    QString m_dir;
};

QUENVAR_TEST_MAIN_WITH_LOCALE(TestUtils, "ru_RU.UTF-8")
#include "tst_utils.moc"
