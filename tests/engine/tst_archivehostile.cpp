// Archives built byte by byte, checked against the 7z tool first: names that lead out of the
// target, links placed to carry later entries elsewhere, duplicate, damaged and truncated entries.
#include "archivetestsupport.h"
#include "common/archivesuite.h"
#include "common/testarchives.h"

#include "engine/ExtractPathGuard.h"
#include "engine/zipapi.h"

#include <ctime>
#include <zlib.h>

using namespace archivetest;
namespace ta = testarchives;

namespace {

QByteArray build(const QString& format, const QList<ta::Entry>& entries)
{
    if (format == "rar4")
        return ta::makeRar4(entries);
    if (format == "rar5")
        return ta::makeRar5(entries);
    return format == "zip" ? ta::makeZip(entries) : ta::makeTar(entries);
}

// Cyrillic names (and one mixing scripts, which RAR 4 encodes with both its one-byte and two-byte
// codes), an empty file, a file of more than 64 KiB (three-byte sizes in RAR 5), a private file,
// a link, and a date that is another day in local time.
QList<ta::Entry> sampleEntries()
{
    ta::Entry old = ta::file("Папка/вложенная/файл.txt", "данные\n");
    old.mtime = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58), Qt::UTC);
    ta::Entry secret = ta::file("docs/secret.txt", "only me\n");
    secret.mode = 0600;
    return {ta::file("readme.txt", "hello\n"),
            ta::file("empty.txt"),
            ta::dir("Папка"),
            ta::dir("Папка/вложенная"),
            old,
            ta::dir("docs"),
            secret,
            ta::file("docs/big.bin", randomBytes(100000, 7)),
            ta::file("docs/Ωмега é.txt", "mixed\n"),
            ta::symlink(QString("docs/lnk"), "secret.txt")};
}

// What a faithful extraction of the entries leaves on disk, made without the builders.
bool materialize(const QString& root, const QList<ta::Entry>& entries)
{
    for (const ta::Entry& e : entries) {
        const QString path = root + '/' + e.name;
        bool made = QDir().mkpath(QFileInfo(path).absolutePath());
        if (e.kind == ta::Entry::Dir)
            made = made && QDir().mkpath(path);
        else if (e.kind == ta::Entry::Symlink)
            made = made && ::symlink(e.data.constData(), QFile::encodeName(path).constData()) == 0;
        else
            made = made && testenv::writeFile(path, e.data);
        if (!made)
            return false;
    }
    return true;
}

// "-rw-r--r--" as ls and the 7z tool write a mode.
QString modeText(quint32 mode)
{
    QString text = (mode & 0170000) == 040000 ? "d" : (mode & 0170000) == 0120000 ? "l" : "-";
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += mode >> shift & 4 ? 'r' : '-';
        text += mode >> shift & 2 ? 'w' : '-';
        text += mode >> shift & 1 ? 'x' : '-';
    }
    return text;
}

// Everything below root but what lies below keep.
QStringList outsideOf(const QString& root, const QString& keep)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path != keep && !path.startsWith(keep + '/') && !keep.startsWith(path + '/'))
            found << path;
    }
    return found;
}

} // namespace

class TestArchiveHostile : public ArchiveSuite
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ArchiveSuite::initTestCase();
        // A zone away from UTC, so that the local DOS times of ZIP and RAR 4 are really converted
        // (and the 1999-12-31 date turns into 2000-01-01).
        qputenv("TZ", "QVT-5:30");
        tzset();
        QCOMPARE(QDateTime(QDate(2021, 1, 1), QTime(0, 0), Qt::UTC).toLocalTime().time(),
                 QTime(5, 30));
    }

    void peerReadsEveryEntryAsBuilt_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("set");
        for (const char* format : {"rar4", "rar5", "zip", "tar"}) {
            for (const char* set : {"sample", "hostile"})
                QTest::addRow("%s, %s", format, set) << format << set;
        }
        QTest::newRow("rar5, hard links") << "rar5" << "hard links";
        QTest::newRow("tar, hard links") << "tar" << "hard links";
    }

    void peerReadsEveryEntryAsBuilt()
    {
        // Every name exactly as stored (RAR 4's '\' back to '/'): hostile ones are not cleaned,
        // extraction code has to make them safe itself.
        QFETCH(QString, format);
        QFETCH(QString, set);
        const QList<ta::Entry> entries = set == "sample" ? sampleEntries()
            : set == "hostile" ? ta::hostileEntries()
                               : QList<ta::Entry>{ta::file("data.txt", "data\n"),
                                                  ta::hardlink("copy.txt", "data.txt"),
                                                  ta::hardlink("escape", "../../etc/passwd")};
        const QString archive = testenv::tempDir() + "/built-" + format + '.' + format.left(3);
        QVERIFY(testenv::writeFile(archive, build(format, entries)));
        const ta::PeerListing listing = ta::listWith7z(archive);
        QVERIFY2(listing.exitCode == 0, listing.output.constData());
        const QString type = format == "rar4" ? "Rar" : format == "rar5" ? "Rar5" : format;
        QCOMPARE(listing.archive.value("Type"), type);
        QStringList listed;
        for (const ta::PeerItem& item : listing.items)
            listed << item.value("Path");
        QStringList names;
        for (const ta::Entry& e : entries)
            names << e.name;
        QCOMPARE(listed, names);
        for (const ta::Entry& e : entries) {
            const ta::PeerItem* item = listing.find(e.name);
            if (e.kind == ta::Entry::Hardlink) {
                QCOMPARE(item->value("Hard Link").toUtf8(), e.data);
                continue;
            }
            QCOMPARE(item->value("Folder"), e.kind == ta::Entry::Dir ? QString("+") : QString("-"));
            QCOMPARE(item->value("Modified").left(19), ta::peerTime(e.mtime));
            // tar reports "Mode", the other handlers "Attributes" ending in the same text.
            QCOMPARE(item->value(item->contains("Mode") ? "Mode" : "Attributes").right(10),
                     modeText(e.unixMode()));
            const uLong crc = ::crc32(0, reinterpret_cast<const Bytef*>(e.data.constData()),
                                      uInt(e.data.size()));
            if (e.kind == ta::Entry::File && format != "tar")
                QCOMPARE(item->value("CRC"), QString("%1").arg(crc, 8, 16, QChar('0')).toUpper());
            // RAR 5 and tar name a link's target; ZIP and RAR 4 keep it as the entry's data.
            const bool named = format == "rar5" || format == "tar";
            if (e.kind == ta::Entry::Symlink && named)
                QCOMPARE(item->value("Symbolic Link").toUtf8(), e.data);
            if (e.kind == ta::Entry::Symlink && !named)
                QCOMPARE(item->value("Size").toInt(), e.data.size());
        }
        if (set != "sample")
            return;
        QVERIFY(passes7zTest(archive));
        const QString expected = testenv::makeDir("expected-" + format);
        QVERIFY(materialize(expected, entries));
        const QString target = testenv::makeDir("extracted-" + format);
        QCOMPARE(extractWith7z(archive, target), QString());
        QCOMPARE(testenv::compareTrees(expected, target), QString());
        for (const ta::Entry& e : entries) {
            if (e.kind == ta::Entry::File)
                QCOMPARE(QFileInfo(target + '/' + e.name).lastModified().toUTC(), e.mtime);
        }
    }

    void guardCleansNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("relative");
        QTest::newRow("plain") << "a/b.txt" << int(ExtractPathGuard::Inside) << "a/b.txt";
        QTest::newRow("absolute") << "/etc/passwd" << int(ExtractPathGuard::Inside)
                                  << "etc/passwd";
        QTest::newRow("doubled slashes and dots")
            << "a//./b/./c" << int(ExtractPathGuard::Inside) << "a/b/c";
        QTest::newRow("parent") << "../x" << int(ExtractPathGuard::Outside) << "";
        QTest::newRow("parent inside") << "a/../b" << int(ExtractPathGuard::Outside) << "";
        QTest::newRow("parent at the end") << "a/.." << int(ExtractPathGuard::Outside) << "";
        QTest::newRow("dots in names")
            << "..a/b..c/...d" << int(ExtractPathGuard::Inside) << "..a/b..c/...d";
        QTest::newRow("nothing left") << "/./" << int(ExtractPathGuard::Root) << "";
    }

    void guardCleansNames()
    {
        QFETCH(QString, name);
        QFETCH(int, verdict);
        QFETCH(QString, relative);
        const ExtractPathGuard guard(m_work + "/target/");
        QString full;
        QCOMPARE(int(guard.resolve(name, &full)), verdict);
        if (verdict == ExtractPathGuard::Inside)
            QCOMPARE(full, m_work + "/target/" + relative);
        if (verdict == ExtractPathGuard::Root)
            QCOMPARE(full, m_work + "/target");
    }

    void guardRefusesPathsThroughEarlierEntries()
    {
        ExtractPathGuard guard(m_work + "/t");
        QString full;
        QCOMPARE(guard.resolve(QString("link/x.txt"), &full), ExtractPathGuard::Inside);
        guard.noteNonFolder(m_work + "/t/link");
        QCOMPARE(guard.resolve(QString("link/x.txt"), &full), ExtractPathGuard::Outside);
        QCOMPARE(guard.resolve(QString("link/deeper/x.txt"), &full), ExtractPathGuard::Outside);
        // The entry itself may come again, and names that only begin alike are not below it.
        QCOMPARE(guard.resolve(QString("link"), &full), ExtractPathGuard::Inside);
        QCOMPARE(guard.resolve(QString("linked/x.txt"), &full), ExtractPathGuard::Inside);
        // A folder found clear for one entry is no longer so once a link takes its name or that
        // of a folder above it.
        QCOMPARE(guard.resolve(QString("d/e/x.txt"), &full), ExtractPathGuard::Inside);
        guard.noteNonFolder(m_work + "/t/d");
        QCOMPARE(guard.resolve(QString("d/e/y.txt"), &full), ExtractPathGuard::Outside);
        // A new root starts a new extraction.
        guard.setRoot(m_work + "/t");
        QCOMPARE(guard.resolve(QString("link/x.txt"), &full), ExtractPathGuard::Inside);
    }

    void hostileEntriesStayInside_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("zip") << "zip";
        QTest::newRow("tar") << "tar";
    }

    void hostileEntriesStayInside()
    {
        QFETCH(QString, kind);
        // The link points at a folder that exists, beside the target.
        const QString outside = m_work + "/place/outside";
        QVERIFY(QDir().mkpath(outside));
        QList<ta::Entry> entries = ta::hostileEntries();
        for (ta::Entry& entry : entries) {
            if (entry.kind == ta::Entry::Symlink)
                entry.data = outside.toUtf8();
        }
        const QString archive = writeArchive("hostile." + kind, build(kind, entries));
        const QString target = m_work + "/place/deep/target";
        Run run;
        run.extract(extractRequest(archive, target));
        QVERIFY(run.failed());
        QVERIFY(run.answerer.conflicts.isEmpty());
        QVERIFY(run.answerer.accessQuestions.isEmpty());
        // One message names every entry left out.
        QCOMPARE(run.answerer.errors.size(), 1);
        const QString message = run.answerer.errors.first();
        for (const char* name : {"../evil.txt", "a/../../evil2.txt", "link/evil4.txt"})
            QVERIFY2(message.contains(name), qPrintable(message));
        QVERIFY(testenv::listTree(outside).isEmpty());
        QVERIFY2(outsideOf(m_work + "/place", target) == QStringList{outside},
                 qPrintable(outsideOf(m_work + "/place", target).join(' ')));
        QVERIFY(!QFileInfo::exists(m_work + "/evil.txt"));
        // The harmless rest is there; the absolute name lands inside.
        QCOMPARE(testenv::readFile(target + "/ok.txt"), QByteArray("ok\n"));
        QCOMPARE(testenv::readFile(target + "/good/inside.txt"), QByteArray("ok\n"));
        QCOMPARE(testenv::readFile(target + "/good.txt"), QByteArray("ok\n"));
        QCOMPARE(testenv::readFile(target + "/abs/evil3.txt"), QByteArray("evil\n"));
        QCOMPARE(QFileInfo(target + "/link").symLinkTarget(), outside);
        QVERIFY(leftovers(m_work).isEmpty());
    }

    void qvHostileNamesStayInside()
    {
        const QString archive = layerArchive(m_work + "/hostile.qv",
                                             {{QString(),
                                               {{"../evil.txt", "x"},
                                                {"a/../../evil2.txt", "x"},
                                                {"/abs/x.txt", "abs"},
                                                {"ok.txt", "ok"}}}});
        const QString box = testenv::makeDir("box");
        Run run;
        run.extract(extractRequest(archive, box + "/target"));
        QVERIFY(run.finished);
        QCOMPARE(testenv::listTree(box),
                 QStringList({"target/", "target/abs/", "target/abs/x.txt", "target/ok.txt"}));
        QCOMPARE(run.answerer.errors,
                 QStringList{"These entries of " + archive +
                             " were not extracted: their names lead outside the target "
                             "folder: ../evil.txt\na/../../evil2.txt"});
    }

    void linkEntryToAnExistingFolderCarriesNothing()
    {
        // A link, then a folder entry and a file through it, in one archive.
        const QString outside = testenv::makeDir("victim");
        const QByteArray bytes =
            ta::makeTar({ta::symlink("d", outside.toUtf8()), ta::dir("d/sub"),
                         ta::file("d/sub/x.txt", "x"), ta::file("fine.txt", "fine")});
        const QString archive = writeArchive("through.tar", bytes);
        const QString target = m_work + "/target";
        const QDateTime before = QFileInfo(outside).lastModified();
        Run run;
        run.extract(extractRequest(archive, target));
        QVERIFY(run.finished);
        QVERIFY(testenv::listTree(outside).isEmpty());
        QCOMPARE(QFileInfo(outside).lastModified(), before);
        QCOMPARE(testenv::readFile(target + "/fine.txt"), QByteArray("fine"));
    }

    void existingLinkIsReplacedNotWrittenThrough()
    {
        // A link the user has in the target, pointing at a file elsewhere: a replacing entry
        // takes the link's place and leaves its target alone.
        const QString elsewhere = m_work + "/elsewhere.txt";
        testenv::writeFile(elsewhere, "precious");
        const QString target = m_work + "/target";
        QVERIFY(QDir().mkpath(target));
        QVERIFY(QFile::link(elsewhere, target + "/note.txt"));
        const QString archive =
            writeArchive("note.zip", ta::makeZip({ta::file("note.txt", "new")}));
        ExtractOptions options = extractRequest(archive, target);
        options.overwriteMode = EOM_OVERWRITE;
        Run run;
        run.extract(options);
        QVERIFY(run.ok());
        QCOMPARE(testenv::readFile(elsewhere), QByteArray("precious"));
        QVERIFY(!QFileInfo(target + "/note.txt").isSymLink());
        QCOMPARE(testenv::readFile(target + "/note.txt"), QByteArray("new"));
    }

    void laterDuplicateReplacesWithoutQuestion()
    {
        const QString archive =
            writeArchive("twice.zip", ta::makeZip({ta::file("dup.txt", "first"),
                                                   ta::file("other.txt", "o"),
                                                   ta::file("dup.txt", "second"),
                                                   ta::file("empty.txt"), ta::file("empty.txt")}));
        const QString target = m_work + "/target";
        testenv::writeFile(target + "/dup.txt", "the user's");
        Run run;
        run.answerer.conflictAnswers = {{UA_REPLACE, false}};
        run.extract(extractRequest(archive, target));
        QVERIFY(run.ok());
        // Asked about the user's file once; the second copies replaced the first ones silently.
        QCOMPARE(run.answerer.conflicts, QStringList{target + "/dup.txt"});
        QCOMPARE(testenv::readFile(target + "/dup.txt"), QByteArray("second"));
        QVERIFY(QFileInfo(target + "/empty.txt").isFile());
        QCOMPARE(testenv::listTree(target), QStringList({"dup.txt", "empty.txt", "other.txt"}));
    }

    void brokenEntriesAreNamed_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("reason");
        const QString unsupported = "their compression method is not supported: broken.txt";
        QTest::newRow("zip, bad checksum") << "zip"
                                           << "their data is damaged: broken.txt (CRC error)";
        QTest::newRow("RAR 4, compressed") << "rar4" << unsupported;
        QTest::newRow("RAR 5, compressed") << "rar5" << unsupported;
    }

    void brokenEntriesAreNamed()
    {
        // The engine has no RAR codecs: a compressed RAR entry fails as clearly as a damaged
        // one, and the others extract. The file the broken entry was to replace stays whole.
        QFETCH(QString, format);
        QFETCH(QString, reason);
        ta::Entry broken = ta::file("broken.txt", "checked and failed");
        broken.badCrc = format == "zip";
        broken.compressed = !broken.badCrc;
        const QString target = m_work + "/target";
        testenv::writeFile(target + "/broken.txt", "precious");
        const QList<ta::Entry> entries = {ta::file("good.txt", "good"), broken};
        const QString archive = writeArchive("broken." + format.left(3), build(format, entries));
        ExtractOptions options = extractRequest(archive, target);
        options.overwriteMode = EOM_OVERWRITE;
        Run run;
        run.extract(options);
        QVERIFY(run.failed());
        QCOMPARE(run.answerer.errors,
                 QStringList{QString("These entries of %1 were not extracted: ").arg(archive) +
                             reason});
        QCOMPARE(testenv::listTree(target), QStringList({"broken.txt", "good.txt"}));
        QCOMPARE(testenv::readFile(target + "/broken.txt"), QByteArray("precious"));
        QCOMPARE(testenv::readFile(target + "/good.txt"), QByteArray("good"));
        QVERIFY(leftovers(target).isEmpty());
    }

    void truncatedArchivesFailCleanly_data()
    {
        QTest::addColumn<QString>("format");
        for (const char* format : {"zip", "tar", "rar4", "rar5"})
            QTest::newRow(format) << format;
    }

    void truncatedArchivesFailCleanly()
    {
        QFETCH(QString, format);
        const QList<ta::Entry> entries = {ta::file("a.txt", QByteArray(3000, 'a')),
                                          ta::file("b.bin", randomBytes(5000, 9))};
        const QString archive =
            writeArchive("cut." + format.left(3), ta::truncated(build(format, entries)));
        const QString target = m_work + "/target";
        Run run;
        run.extract(extractRequest(archive, target));
        QVERIFY(run.failed());
        // The archive's own damage, then the entry it cost.
        QCOMPARE(run.answerer.errors.size(), 2);
        QCOMPARE(run.answerer.errors.first(),
                 QString("The archive %1 is damaged: unexpected end of archive").arg(archive));
        QVERIFY2(run.answerer.errors.last().contains("damaged: b.bin ("),
                 qPrintable(run.answerer.errors.last()));
        // Only whole files arrive.
        for (const QString& path : testenv::listTree(target)) {
            const QByteArray content = testenv::readFile(target + '/' + path);
            QCOMPARE(content, path == "a.txt" ? QByteArray(3000, 'a') : randomBytes(5000, 9));
        }
        QVERIFY(leftovers(m_work).isEmpty());
    }

    void namesEndingInSlashesList()
    {
        // The engine keeps all but one of the slashes at the end.
        const QList<ta::Entry> entries = {ta::file("odd//", "data"), ta::file("fine.txt", "f")};
        const QString archive = writeArchive("slashes.zip", ta::makeZip(entries));
        FileArchive reader;
        QVERIFY(reader.openArchive(archive));
        QCOMPARE(reader.getArchiveItemsCount(), 2);
        QCOMPARE(reader.archiveItemInfo(0).name, QString("odd/"));
        QVERIFY(!reader.archiveItemInfo(0).isHidden);
        const QString target = m_work + "/target";
        Run run;
        run.extract(extractRequest(archive, target));
        QVERIFY(run.ok());
        QCOMPARE(testenv::listTree(target), QStringList({"fine.txt", "odd/"}));
    }

private:
    QString writeArchive(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_work + '/' + name;
        return testenv::writeFile(path, bytes) ? path : QString();
    }
};

QUENVAR_TEST_MAIN(TestArchiveHostile)
#include "tst_archivehostile.moc"
