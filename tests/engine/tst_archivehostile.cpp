// Archives built byte by byte: names that lead out of the target folder, links
// placed to carry later entries elsewhere, duplicate and damaged entries,
// truncated files, and RAR 4 and 5 (which the engine reads but cannot
// decompress). Nothing may be written outside the target; the rest extracts.
#include "archivetestsupport.h"
#include "common/archivesuite.h"

#include "common/testarchives.h"
#include "engine/ExtractPathGuard.h"
#include "engine/zipapi.h"

using namespace archivetest;
namespace ta = testarchives;

class TestArchiveHostile : public ArchiveSuite
{
    Q_OBJECT

private slots:
    void guardCleansNames_data();
    void guardCleansNames();
    void guardRefusesPathsThroughEarlierEntries();

    void hostileEntriesStayInside_data();
    void hostileEntriesStayInside();
    void qvHostileNamesStayInside();
    void linkEntryToAnExistingFolderCarriesNothing();
    void existingLinkIsReplacedNotWrittenThrough();
    void laterDuplicateReplacesWithoutQuestion();
    void brokenEntriesAreNamed_data();
    void brokenEntriesAreNamed();
    void namesEndingInSlashesList();
    void truncatedArchivesFailCleanly_data();
    void truncatedArchivesFailCleanly();

    void rarListsAndExtracts_data();
    void rarListsAndExtracts();

private:
    QString writeArchive(const QString& name, const QByteArray& bytes);

};

QString TestArchiveHostile::writeArchive(const QString& name, const QByteArray& bytes)
{
    const QString path = m_work + '/' + name;
    return testenv::writeFile(path, bytes) ? path : QString();
}

// --- The guard -------------------------------------------------------------------

void TestArchiveHostile::guardCleansNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("relative");
    QTest::newRow("plain") << "a/b.txt" << int(ExtractPathGuard::Inside) << "a/b.txt";
    QTest::newRow("absolute") << "/etc/passwd" << int(ExtractPathGuard::Inside) << "etc/passwd";
    QTest::newRow("doubled slashes and dots")
        << "a//./b/./c" << int(ExtractPathGuard::Inside) << "a/b/c";
    QTest::newRow("parent") << "../x" << int(ExtractPathGuard::Outside) << "";
    QTest::newRow("parent inside") << "a/../b" << int(ExtractPathGuard::Outside) << "";
    QTest::newRow("parent at the end") << "a/.." << int(ExtractPathGuard::Outside) << "";
    QTest::newRow("dots in names")
        << "..a/b..c/...d" << int(ExtractPathGuard::Inside) << "..a/b..c/...d";
    QTest::newRow("nothing left") << "/./" << int(ExtractPathGuard::Root) << "";
}

void TestArchiveHostile::guardCleansNames()
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

void TestArchiveHostile::guardRefusesPathsThroughEarlierEntries()
{
    ExtractPathGuard guard(m_work + "/t");
    QString full;
    QCOMPARE(guard.resolve(QString("link/x.txt"), &full), ExtractPathGuard::Inside);
    guard.noteNonFolder(m_work + "/t/link");
    QCOMPARE(guard.resolve(QString("link/x.txt"), &full), ExtractPathGuard::Outside);
    QCOMPARE(guard.resolve(QString("link/deeper/x.txt"), &full), ExtractPathGuard::Outside);
    // The entry itself may come again (a later copy of the same file), and
    // names that only begin alike are not below it.
    QCOMPARE(guard.resolve(QString("link"), &full), ExtractPathGuard::Inside);
    QCOMPARE(guard.resolve(QString("linked/x.txt"), &full), ExtractPathGuard::Inside);
    // A folder found clear for one entry is no longer so once a link takes
    // its name or that of a folder above it.
    QCOMPARE(guard.resolve(QString("d/e/x.txt"), &full), ExtractPathGuard::Inside);
    guard.noteNonFolder(m_work + "/t/d");
    QCOMPARE(guard.resolve(QString("d/e/y.txt"), &full), ExtractPathGuard::Outside);
    // A new root starts a new extraction.
    guard.setRoot(m_work + "/t");
    QCOMPARE(guard.resolve(QString("link/x.txt"), &full), ExtractPathGuard::Inside);
}

// --- Hostile archives ------------------------------------------------------------------

namespace {
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

void TestArchiveHostile::hostileEntriesStayInside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("zip") << "zip";
    QTest::newRow("tar") << "tar";
}

void TestArchiveHostile::hostileEntriesStayInside()
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
    const QByteArray bytes = kind == "zip" ? ta::makeZip(entries) : ta::makeTar(entries);
    const QString archive = writeArchive("hostile." + kind, bytes);
    const QString target = m_work + "/place/deep/target";

    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
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
    // The link itself is restored as a link.
    QCOMPARE(QFileInfo(target + "/link").symLinkTarget(), outside);
    QVERIFY(leftovers(m_work).isEmpty());
}

void TestArchiveHostile::qvHostileNamesStayInside()
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

void TestArchiveHostile::linkEntryToAnExistingFolderCarriesNothing()
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
    QDir(outside).removeRecursively();
}

void TestArchiveHostile::existingLinkIsReplacedNotWrittenThrough()
{
    // A link the user has in the target, pointing at a file elsewhere: a
    // replacing entry takes the link's place and leaves its target alone.
    const QString elsewhere = m_work + "/elsewhere.txt";
    testenv::writeFile(elsewhere, "precious");
    const QString target = m_work + "/target";
    QVERIFY(QDir().mkpath(target));
    QVERIFY(QFile::link(elsewhere, target + "/note.txt"));
    const QString archive = writeArchive("note.zip", ta::makeZip({ta::file("note.txt", "new")}));
    ExtractOptions options = extractRequest(archive, target);
    options.overwriteMode = EOM_OVERWRITE;
    Run run;
    run.extract(options);
    QVERIFY(run.ok());
    QCOMPARE(testenv::readFile(elsewhere), QByteArray("precious"));
    QVERIFY(!QFileInfo(target + "/note.txt").isSymLink());
    QCOMPARE(testenv::readFile(target + "/note.txt"), QByteArray("new"));
}

void TestArchiveHostile::laterDuplicateReplacesWithoutQuestion()
{
    const QString archive = writeArchive(
        "twice.zip",
        ta::makeZip({ta::file("dup.txt", "first"), ta::file("other.txt", "o"),
                     ta::file("dup.txt", "second"), ta::file("empty.txt"), ta::file("empty.txt")}));
    const QString target = m_work + "/target";
    testenv::writeFile(target + "/dup.txt", "the user's");
    Run run;
    run.answerer.conflictAnswers = {{UA_REPLACE, false}};
    run.extract(extractRequest(archive, target));
    QVERIFY(run.ok());
    // Asked about the user's file once; the second copy replaced the first
    // without asking, and so did the second empty file.
    QCOMPARE(run.answerer.conflicts, QStringList{target + "/dup.txt"});
    QCOMPARE(testenv::readFile(target + "/dup.txt"), QByteArray("second"));
    QVERIFY(QFileInfo(target + "/empty.txt").isFile());
    QCOMPARE(testenv::listTree(target), QStringList({"dup.txt", "empty.txt", "other.txt"}));
}

void TestArchiveHostile::brokenEntriesAreNamed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("zip, bad checksum") << "crc.zip"
                                       << "their data is damaged: broken.txt (CRC error)";
    QTest::newRow("RAR 4, compressed") << "packed4.rar"
                                       << "their compression method is not supported: broken.txt";
    QTest::newRow("RAR 5, compressed") << "packed5.rar"
                                       << "their compression method is not supported: broken.txt";
}

void TestArchiveHostile::brokenEntriesAreNamed()
{
    // The engine has no RAR codecs: a compressed RAR entry fails as clearly
    // as a damaged one, and the others extract. The file the broken entry
    // was to replace stays whole.
    QFETCH(QString, name);
    QFETCH(QString, reason);
    ta::Entry broken = ta::file("broken.txt", "checked and failed");
    broken.badCrc = name.endsWith(".zip");
    broken.compressed = !broken.badCrc;
    const QList<ta::Entry> entries = {ta::file("good.txt", "good"), broken};
    const QByteArray bytes = name == "crc.zip" ? ta::makeZip(entries)
        : name == "packed4.rar"                ? ta::makeRar4(entries)
                                               : ta::makeRar5(entries);
    const QString target = m_work + "/target";
    testenv::writeFile(target + "/broken.txt", "precious");
    const QString archive = writeArchive(name, bytes);
    ExtractOptions options = extractRequest(archive, target);
    options.overwriteMode = EOM_OVERWRITE;
    Run run;
    run.extract(options);
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QCOMPARE(
        run.answerer.errors,
        QStringList{QString("These entries of %1 were not extracted: ").arg(archive) + reason});
    QCOMPARE(testenv::listTree(target), QStringList({"broken.txt", "good.txt"}));
    QCOMPARE(testenv::readFile(target + "/broken.txt"), QByteArray("precious"));
    QCOMPARE(testenv::readFile(target + "/good.txt"), QByteArray("good"));
    QVERIFY(leftovers(target).isEmpty());
}

void TestArchiveHostile::truncatedArchivesFailCleanly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    const QList<ta::Entry> entries = {ta::file("a.txt", QByteArray(3000, 'a')),
                                      ta::file("b.bin", randomBytes(5000, 9))};
    QTest::newRow("zip") << ta::truncated(ta::makeZip(entries)) << "cut.zip";
    QTest::newRow("tar") << ta::truncated(ta::makeTar(entries)) << "cut.tar";
    QTest::newRow("rar5") << ta::truncated(ta::makeRar5(entries)) << "cut.rar";
    QTest::newRow("rar4") << ta::truncated(ta::makeRar4(entries)) << "cut4.rar";
}

void TestArchiveHostile::truncatedArchivesFailCleanly()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    const QString archive = writeArchive(name, bytes);
    const QString target = m_work + "/target";
    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    // The archive's own damage, then the entry it cost.
    QCOMPARE(run.answerer.errors.size(), 2);
    QCOMPARE(run.answerer.errors.first(),
             QString("The archive %1 is damaged: unexpected end of archive").arg(archive));
    QVERIFY2(run.answerer.errors.last().contains("damaged: b.bin ("),
             qPrintable(run.answerer.errors.last()));
    // Only whole files arrive.
    for (const QString& path : testenv::listTree(target)) {
        const QByteArray content = testenv::readFile(target + '/' + path);
        if (path == "a.txt")
            QCOMPARE(content, QByteArray(3000, 'a'));
        else
            QCOMPARE(content, randomBytes(5000, 9));
    }
    QVERIFY(leftovers(m_work).isEmpty());
}

// --- RAR -------------------------------------------------------------------------------

void TestArchiveHostile::rarListsAndExtracts_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("RAR 4") << 4;
    QTest::newRow("RAR 5") << 5;
}

void TestArchiveHostile::rarListsAndExtracts()
{
    QFETCH(int, version);
    const QList<ta::Entry> entries = {ta::dir("docs"), ta::file("docs/a.txt", "alpha"),
                                      ta::file("docs/файл ☃.bin", randomBytes(20000, 4)),
                                      ta::file("empty.txt")};
    const QString archive =
        writeArchive(QString("stored%1.rar").arg(version),
                     version == 4 ? ta::makeRar4(entries) : ta::makeRar5(entries));
    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    QCOMPARE(reader.formatInfo().format, version == 4 ? ZF_RAR : ZF_RAR5);
    QStringList names;
    for (const ArchiveItemInfo& item : reader.archiveItems())
        names << item.name;
    names.sort();
    QCOMPARE(names, QStringList({"docs", "docs/a.txt", "docs/файл ☃.bin", "empty.txt"}));

    const QString target = m_work + "/target";
    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.ok());
    QCOMPARE(testenv::readFile(target + "/docs/a.txt"), QByteArray("alpha"));
    QCOMPARE(testenv::readFile(target + "/docs/файл ☃.bin"), randomBytes(20000, 4));
    QVERIFY(QFileInfo(target + "/empty.txt").isFile());
    QCOMPARE(QFileInfo(target + "/docs/a.txt").lastModified().toUTC(), ta::Entry::defaultTime());
}

void TestArchiveHostile::namesEndingInSlashesList()
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

QUENVAR_TEST_MAIN(TestArchiveHostile)
#include "tst_archivehostile.moc"
