// Opening, listing and extracting through FileArchive on the real engine,
// with archives made by the 7z tool: where entries go by the path modes,
// what happens to existing files, compressed tar files, pause and cancel.
#include "archivetestsupport.h"

#include "app/settings.h"
#include "engine/MyCom.h"
#include "engine/zipapi.h"

#include <sys/stat.h>
#include <unistd.h>

using FileContents = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(ArchiveAnswerer::Answer)

using namespace archivetest;

class TestArchiveExtract : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listsArchivesMadeByPeer_data();
    void listsArchivesMadeByPeer();
    void openingTheOpenArchiveAgainKeepsItsList();
    void singleStreamEntryNames_data();
    void singleStreamEntryNames();
    void unreadableArchivesAreReported_data();
    void unreadableArchivesAreReported();
    void silentModeFailsWithoutMessages();

    void extractsEverythingWithTimes_data();
    void extractsEverythingWithTimes();
    void extractsSelectionInAnyOrder();
    void pathModes_data();
    void pathModes();
    void namesOfTheLongestKindExtract();
    void hardLinksGetTheirTargetsData();

    void overwriteModes_data();
    void overwriteModes();
    void answersToConflicts_data();
    void answersToConflicts();
    void folderThatCannotBeMadeAsks_data();
    void folderThatCannotBeMadeAsks();

    void compressedTarExtractsInTwoStages_data();
    void compressedTarExtractsInTwoStages();
    void splitCompressedTarSet();
    void pauseHoldsAndCancelEnds();
    void damagedArchiveNamesItsEntries();

private:
    QString makeWithPeer(const QString& name, const QStringList& arguments, const QString& workDir);

    QString m_source;
    QString m_work;
};

void TestArchiveExtract::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
    m_source = testenv::makeDir(QStringLiteral("source"));
    makeSampleTree(m_source);
}

void TestArchiveExtract::init()
{
    m_work = testenv::makeDir(QStringLiteral("work"));
    UserActions::reset();
}

void TestArchiveExtract::cleanup()
{
    StreamBase::waitForFlushFinished();
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    QDir(m_work).removeRecursively();
}

QString TestArchiveExtract::makeWithPeer(const QString& name, const QStringList& arguments, const QString& workDir)
{
    const QString archive = m_work + QLatin1Char('/') + name;
    const testenv::ProcessResult made = peer(QStringList{QStringLiteral("a")} + arguments + QStringList{archive} +
                                                 QStringList{QStringLiteral("docs"), QStringLiteral("top.txt"),
                                                             QStringLiteral("zero.txt"), QString::fromUtf8("мир"),
                                                             QStringLiteral("void")},
                                             workDir);
    if (made.exitCode != 0)
        qWarning() << made.out << made.err;
    return made.exitCode == 0 ? archive : QString();
}

// --- Listing ------------------------------------------------------------------

void TestArchiveExtract::listsArchivesMadeByPeer_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("7z") << "7z";
    QTest::newRow("zip") << "zip";
    QTest::newRow("tar") << "tar";
    QTest::newRow("wim") << "wim";
}

void TestArchiveExtract::listsArchivesMadeByPeer()
{
    QFETCH(QString, type);
    const QString hidden = testenv::makeDir(QStringLiteral("hidden"));
    testenv::makeTree(hidden, {{QStringLiteral(".profile"), "p"}, {QStringLiteral("dir/.secret"), "s"},
                               {QStringLiteral("dir/shown.txt"), "v"}});
    const QString archive = m_work + QStringLiteral("/listed.") + type;
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-t") + type, archive, QStringLiteral(".profile"),
                   QStringLiteral("dir")},
                  hidden)
                 .exitCode,
             0);

    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    QCOMPARE(reader.getArchiveFileName(), archive);
    QMap<QString, ArchiveItemInfo> byName;
    for (int i = 0; i < reader.getArchiveItemsCount(); ++i) {
        const ArchiveItemInfo item = reader.archiveItemInfo(i);
        byName.insert(item.name, item);
        QCOMPARE(int(item.index), i);
    }
    QCOMPARE(byName.keys(), QStringList({QStringLiteral(".profile"), QStringLiteral("dir"), QStringLiteral("dir/.secret"),
                                         QStringLiteral("dir/shown.txt")}));
    QVERIFY(byName.value(QStringLiteral("dir")).isDir);
    QVERIFY(!byName.value(QStringLiteral("dir/shown.txt")).isDir);
    QCOMPARE(byName.value(QStringLiteral("dir/shown.txt")).size, 1u);
    // Hidden is the entry's own name beginning with a dot, at any depth.
    QVERIFY(byName.value(QStringLiteral(".profile")).isHidden);
    QVERIFY(byName.value(QStringLiteral("dir/.secret")).isHidden);
    QVERIFY(!byName.value(QStringLiteral("dir/shown.txt")).isHidden);
    const QDateTime onDisk = QFileInfo(hidden + QStringLiteral("/dir/shown.txt")).lastModified();
    QVERIFY(qAbs(byName.value(QStringLiteral("dir/shown.txt")).modified.secsTo(onDisk)) <= 2);
    QVERIFY(!reader.failed());
}

void TestArchiveExtract::openingTheOpenArchiveAgainKeepsItsList()
{
    const QString archive = makeWithPeer(QStringLiteral("first.7z"), {}, m_source);
    QVERIFY(!archive.isEmpty());
    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    const int count = reader.getArchiveItemsCount();
    QVERIFY(count > 5);
    // Another archive under the same name: the open one is not read again.
    QVERIFY(QFile::remove(archive));
    QCOMPARE(peer({QStringLiteral("a"), archive, QStringLiteral("top.txt")}, m_source).exitCode, 0);
    QVERIFY(reader.openArchive(archive));
    QCOMPARE(reader.getArchiveItemsCount(), count);
    // A fresh object sees the new one.
    FileArchive other;
    QVERIFY(other.openArchive(archive));
    QCOMPARE(other.getArchiveItemsCount(), 1);
}

void TestArchiveExtract::singleStreamEntryNames_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("archiveName");
    QTest::addColumn<QString>("listedName");
    // bzip2 and xz keep no name: the archive's name without its extension.
    QTest::newRow("bz2") << "bzip2" << "report.txt.bz2" << "report.txt";
    QTest::newRow("xz") << "xz" << "report.txt.xz" << "report.txt";
    QTest::newRow("bz2 renamed") << "bzip2" << "other.bz2" << "other";
    // gzip keeps the file's name in its header.
    QTest::newRow("gz") << "gzip" << "report.txt.gz" << "report.txt";
    QTest::newRow("gz renamed") << "gzip" << "other.gz" << "report.txt";
}

void TestArchiveExtract::singleStreamEntryNames()
{
    QFETCH(QString, type);
    QFETCH(QString, archiveName);
    QFETCH(QString, listedName);
    testenv::writeFile(m_work + QStringLiteral("/report.txt"), QByteArray(3000, 'r'));
    const QString made = m_work + QStringLiteral("/made.") + QFileInfo(archiveName).suffix();
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-t") + type, made, QStringLiteral("report.txt")}, m_work).exitCode, 0);
    const QString archive = m_work + QLatin1Char('/') + archiveName;
    QVERIFY(QFile::rename(made, archive));

    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    QCOMPARE(reader.getArchiveItemsCount(), 1);
    QCOMPARE(reader.archiveItemInfo(0).name, listedName);

    // Extracted under that name.
    const QString target = m_work + QStringLiteral("/out");
    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.ok());
    QCOMPARE(testenv::readFile(target + QLatin1Char('/') + listedName), QByteArray(3000, 'r'));
}

void TestArchiveExtract::unreadableArchivesAreReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message"); // %1: the archive's path
    const QString noArchive = "Cannot open archive %1: not an archive of a known format";
    QTest::newRow("garbage with a known extension") << "junk.7z" << QByteArray("this is no archive at all") << noArchive;
    QTest::newRow("unknown kind") << "notes.txt" << QByteArray("plain text") << noArchive;
    QTest::newRow("missing") << "missing.zip" << QByteArray() << "Cannot open file %1: No such file or directory";
    QTest::newRow("folder") << "folder.zip" << QByteArray() << "Cannot open file %1: Is a directory";
    QTest::newRow("pipe") << "pipe.7z" << QByteArray() << noArchive;
    QTest::newRow("own container") << "box.qv" << QByteArray("PK\x03\x04 and no end record") << noArchive;
}

void TestArchiveExtract::unreadableArchivesAreReported()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString archive = m_work + QLatin1Char('/') + name;
    if (!content.isEmpty())
        testenv::writeFile(archive, content);
    if (name.startsWith("folder"))
        QDir().mkpath(archive);
    if (name.startsWith("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(archive).constData(), 0600), 0);

    FileArchive reader;
    QStringList messages;
    connect(&reader, &FileArchive::progressError, [&](const QString& text) { messages << text; });
    QVERIFY(!reader.openArchive(archive));
    QVERIFY(reader.failed());
    QCOMPARE(messages, QStringList{message.arg(archive)});

    const QString target = m_work + QStringLiteral("/out");
    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QCOMPARE(run.answerer.errors, QStringList{message.arg(archive)});
    QVERIFY(testenv::listTree(target).isEmpty());
}

void TestArchiveExtract::silentModeFailsWithoutMessages()
{
    const QString archive = m_work + QStringLiteral("/junk.zip");
    testenv::writeFile(archive, "no archive");
    CSettings::setSilent(true);
    Run run;
    run.extract(extractRequest(archive, m_work + QStringLiteral("/out")));
    CSettings::setSilent(false);
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QVERIFY(run.answerer.errors.isEmpty());
}

// --- Where entries go -----------------------------------------------------------

void TestArchiveExtract::extractsEverythingWithTimes_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<qulonglong>("timeUnit");
    QTest::newRow("7z") << "7z" << qulonglong(1);
    QTest::newRow("zip") << "zip" << qulonglong(1);
    QTest::newRow("tar") << "tar" << qulonglong(kTicksPerSecond);
    QTest::newRow("wim") << "wim" << qulonglong(1);
}

void TestArchiveExtract::extractsEverythingWithTimes()
{
    QFETCH(QString, type);
    QFETCH(qulonglong, timeUnit);
    const QString archive = makeWithPeer(QStringLiteral("all.") + type, {QStringLiteral("-t") + type}, m_source);
    QVERIFY(!archive.isEmpty());
    const QString target = m_work + QStringLiteral("/out");
    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.ok());
    QVERIFY(run.answerer.errors.isEmpty());
    QVERIFY(run.answerer.conflicts.isEmpty());
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QVERIFY(QFileInfo(target + QStringLiteral("/zero.txt")).isFile());
    QVERIFY(QFileInfo(target + QStringLiteral("/docs/empty")).isDir());
    QCOMPARE(compareTimes(m_source, target, timeUnit), QString());
    QVERIFY(leftovers(target).isEmpty());
}

void TestArchiveExtract::extractsSelectionInAnyOrder()
{
    const QString archive = makeWithPeer(QStringLiteral("select.7z"), {}, m_source);
    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    QMap<QString, int> indexOf;
    for (const ArchiveItemInfo& item : reader.archiveItems())
        indexOf.insert(item.name, int(item.index));
    const int a = indexOf.value(QStringLiteral("docs/a.txt"), -1);
    const int top = indexOf.value(QStringLiteral("top.txt"), -1);
    const int zero = indexOf.value(QStringLiteral("zero.txt"), -1);
    QVERIFY(a >= 0 && top >= 0 && zero >= 0);

    ExtractOptions options = extractRequest(archive, m_work + QStringLiteral("/out"));
    options.itemIndexes = {zero, a, top, a};
    Run run;
    run.extract(options);
    QVERIFY(run.ok());
    QCOMPARE(testenv::listTree(options.targetDirectory),
             QStringList({QStringLiteral("docs/"), QStringLiteral("docs/a.txt"), QStringLiteral("top.txt"),
                          QStringLiteral("zero.txt")}));
}

void TestArchiveExtract::pathModes_data()
{
    QTest::addColumn<FileContents>("tree"); // packed by the peer, its top-level names
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("pathMode");
    QTest::addColumn<QString>("subPath");
    QTest::addColumn<bool>("removeRoot");
    QTest::addColumn<FileContents>("expected"); // the files below the target folder ".../proj"
    const FileContents nested{{"docs/a.txt", "a"}, {"docs/sub/b.bin", "b"}, {QString::fromUtf8("мир/файл.txt"), "c"}};
    QTest::newRow("without paths flattens")
        << nested << "7z" << int(EPM_NO_PATHS) << "" << false
        << FileContents{{"a.txt", "a"}, {"b.bin", "b"}, {QString::fromUtf8("файл.txt"), "c"}};
    // "doc" is not cut out of "docs".
    QTest::newRow("relative paths cut the subfolder")
        << FileContents{{"doc/a.txt", "a"}, {"doc/inner/b.txt", "b"}, {"docs/c.txt", "c"}} << "7z"
        << int(EPM_RELATIVE_PATHS) << "doc" << false
        << FileContents{{"a.txt", "a"}, {"inner/b.txt", "b"}, {"docs/c.txt", "c"}};
    for (int mode : {int(EPM_FULL_PATHS), int(EPM_RELATIVE_PATHS)})
        QTest::addRow("a drive colon becomes an underscore, mode %d", mode)
            << FileContents{{"c:/x.txt", "drive"}} << "tar" << mode << "" << false
            << FileContents{{"c_/x.txt", "drive"}};
    QTest::newRow("the duplicate root goes")
        << FileContents{{"proj/a.txt", "a"}, {"proj/sub/b.txt", "b"}} << "7z" << int(EPM_FULL_PATHS) << "" << true
        << FileContents{{"a.txt", "a"}, {"sub/b.txt", "b"}};
    // "project" only begins like the folder "proj": it goes inside.
    QTest::newRow("a root that only begins like it stays")
        << FileContents{{"project/c.txt", "c"}} << "7z" << int(EPM_FULL_PATHS) << "" << true
        << FileContents{{"project/c.txt", "c"}};
}

void TestArchiveExtract::pathModes()
{
    QFETCH(FileContents, tree);
    QFETCH(QString, type);
    QFETCH(int, pathMode);
    QFETCH(QString, subPath);
    QFETCH(bool, removeRoot);
    QFETCH(FileContents, expected);
    const QString folder = testenv::makeDir(QStringLiteral("modes"));
    testenv::makeTree(folder, tree);
    const QString archive = m_work + QStringLiteral("/modes.") + type;
    QStringList top;
    for (const QString& path : tree.keys())
        top << path.section(QLatin1Char('/'), 0, 0);
    top.removeDuplicates();
    QCOMPARE(peer(QStringList{QStringLiteral("a"), QStringLiteral("-t") + type, archive} + top, folder).exitCode, 0);
    ExtractOptions options = extractRequest(archive, m_work + QStringLiteral("/out/proj"));
    options.pathMode = pathMode;
    options.subPath = subPath;
    options.removeDuplicatesRoot = removeRoot;
    Run run;
    run.extract(options);
    QVERIFY(run.ok());
    FileContents actual;
    for (const QString& path : testenv::listTree(options.targetDirectory)) {
        if (!path.endsWith(QLatin1Char('/')))
            actual.insert(path, testenv::readFile(options.targetDirectory + QLatin1Char('/') + path));
    }
    QCOMPARE(actual, expected);
    QCOMPARE(QDir(m_work + QStringLiteral("/out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("proj")});
    QDir(folder).removeRecursively();
}

void TestArchiveExtract::namesOfTheLongestKindExtract()
{
    // 255 bytes fill a folder entry: the hidden name the data is written
    // under first must not be longer than the name itself may be.
    const QString tree = testenv::makeDir(QStringLiteral("longnames"));
    const QString longest = QString(255, QLatin1Char('n'));
    const QString wide = QString(127, QChar(0x0436)) + QStringLiteral("x"); // 255 bytes in UTF-8
    testenv::makeTree(tree, {{longest, "plain"}, {wide, "wide"}});
    const QString archive = m_work + QStringLiteral("/long.7z");
    QCOMPARE(peer({QStringLiteral("a"), archive, longest, wide}, tree).exitCode, 0);
    const QString out = m_work + QStringLiteral("/out");
    Run run;
    run.extract(extractRequest(archive, out));
    QVERIFY(run.ok());
    QCOMPARE(testenv::compareTrees(tree, out), QString());
    QVERIFY(leftovers(out).isEmpty());
}

void TestArchiveExtract::hardLinksGetTheirTargetsData()
{
    // tar stores a second name of a file as a link to the first, with no
    // data of its own; both names must come out with the data.
    const QString tree = testenv::makeDir(QStringLiteral("hardlinks"));
    testenv::makeTree(tree, {{QStringLiteral("src/first.txt"), "shared payload\n"}});
    QCOMPARE(::link(QFile::encodeName(tree + QStringLiteral("/src/first.txt")).constData(),
                    QFile::encodeName(tree + QStringLiteral("/src/second.txt")).constData()),
             0);
    const QString archive = m_work + QStringLiteral("/linked.tar");
    QCOMPARE(testenv::runProcess(QStringLiteral("tar"), {QStringLiteral("-cf"), archive, QStringLiteral("-C"), tree,
                                                         QStringLiteral("src")})
                 .exitCode,
             0);
    const QString out = m_work + QStringLiteral("/out");
    Run run;
    run.extract(extractRequest(archive, out));
    QVERIFY(run.ok());
    for (const QString& name : {QStringLiteral("first.txt"), QStringLiteral("second.txt")})
        QCOMPARE(testenv::readFile(out + QStringLiteral("/src/") + name), QByteArray("shared payload\n"));
    QVERIFY(leftovers(out).isEmpty());
}

// --- Existing files -----------------------------------------------------------------

namespace {
QString conflictArchive(const QString& work)
{
    const QString tree = testenv::makeDir(QStringLiteral("conflicts"));
    testenv::makeTree(tree, {{QStringLiteral("a.txt"), "new a"}, {QStringLiteral("b.txt"), "new b"},
                             {QStringLiteral("c.txt"), "new c"}, {QStringLiteral("d.txt"), "new d"}});
    const QString archive = work + QStringLiteral("/conflict.7z");
    if (testenv::run7z({QStringLiteral("a"), archive, QStringLiteral("a.txt"), QStringLiteral("b.txt"),
                        QStringLiteral("c.txt"), QStringLiteral("d.txt")},
                       tree)
            .exitCode != 0)
        return QString();
    return archive;
}

void prepareTarget(const QString& target)
{
    testenv::makeTree(target, {{QStringLiteral("a.txt"), "old a"}, {QStringLiteral("b.txt"), "old b"},
                               {QStringLiteral("c.txt"), "old c"}});
}
} // namespace

void TestArchiveExtract::overwriteModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<FileContents>("expected");
    const QByteArray d = "new d";
    QTest::newRow("replace") << int(EOM_OVERWRITE)
                             << FileContents{{"a.txt", "new a"}, {"a_1.txt", "keep"}, {"b.txt", "new b"},
                                                          {"c.txt", "new c"}, {"d.txt", d}};
    QTest::newRow("skip") << int(EOM_SKIP)
                          << FileContents{{"a.txt", "old a"}, {"a_1.txt", "keep"}, {"b.txt", "old b"},
                                                       {"c.txt", "old c"}, {"d.txt", d}};
    QTest::newRow("rename new") << int(EOM_RENAME_NEW)
                                << FileContents{{"a.txt", "old a"}, {"a_1.txt", "keep"}, {"a_2.txt", "new a"},
                                                             {"b.txt", "old b"}, {"b_1.txt", "new b"},
                                                             {"c.txt", "old c"}, {"c_1.txt", "new c"}, {"d.txt", d}};
    QTest::newRow("rename existing") << int(EOM_RENAME_EXISTING)
                                     << FileContents{{"a.txt", "new a"}, {"a_1.txt", "keep"},
                                                                  {"a_2.txt", "old a"}, {"b.txt", "new b"},
                                                                  {"b_1.txt", "old b"}, {"c.txt", "new c"},
                                                                  {"c_1.txt", "old c"}, {"d.txt", d}};
}

void TestArchiveExtract::overwriteModes()
{
    QFETCH(int, mode);
    QFETCH(FileContents, expected);
    const QString archive = conflictArchive(m_work);
    QVERIFY(!archive.isEmpty());
    const QString target = m_work + QStringLiteral("/out");
    prepareTarget(target);
    testenv::writeFile(target + QStringLiteral("/a_1.txt"), "keep");

    ExtractOptions options = extractRequest(archive, target);
    options.overwriteMode = mode;
    Run run;
    run.extract(options);
    QVERIFY(run.ok());
    QVERIFY(run.answerer.conflicts.isEmpty());
    FileContents actual;
    for (const QString& name : testenv::listTree(target))
        actual.insert(name, testenv::readFile(target + QLatin1Char('/') + name));
    QCOMPARE(actual, expected);
    // The answer is forgotten with the operation.
    QVERIFY(!UserActions::isChosen(static_cast<E_UserAction>(mode)));
}

void TestArchiveExtract::answersToConflicts_data()
{
    // The target holds old a, b and c (and sometimes b_1); the archive new
    // a, b, c and d.
    QTest::addColumn<QList<ArchiveAnswerer::Answer>>("answers");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<FileContents>("expected");
    // The earlier Skip must not be read as the answer to the next question.
    QTest::newRow("each answer for its own question")
        << QList<ArchiveAnswerer::Answer>{{UA_SKIP, false}, {UA_REPLACE, false}, {UA_SKIP, false}} << 3 << false
        << FileContents{{"a.txt", "old a"}, {"b.txt", "new b"}, {"c.txt", "old c"}, {"d.txt", "new d"}};
    QTest::newRow("skip for all asks once") << QList<ArchiveAnswerer::Answer>{{UA_SKIP, true}} << 1 << false
                                            << FileContents{{"a.txt", "old a"}, {"b.txt", "old b"},
                                                            {"c.txt", "old c"}, {"d.txt", "new d"}};
    QTest::newRow("cancel stops and keeps the files")
        << QList<ArchiveAnswerer::Answer>{{UA_REPLACE, false}, {UA_CANCEL, true}} << 2 << true
        << FileContents{{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "old c"}};
    QTest::newRow("rename numbers the new file past a taken name")
        << QList<ArchiveAnswerer::Answer>{{UA_RENAME, false}, {UA_RENAME, false}, {UA_REPLACE, false}} << 3 << false
        << FileContents{{"a.txt", "old a"}, {"a_1.txt", "new a"}, {"b.txt", "old b"}, {"b_1.txt", "taken"},
                        {"b_2.txt", "new b"}, {"c.txt", "new c"}, {"d.txt", "new d"}};
}

void TestArchiveExtract::answersToConflicts()
{
    QFETCH(QList<ArchiveAnswerer::Answer>, answers);
    QFETCH(int, questions);
    QFETCH(bool, failed);
    QFETCH(FileContents, expected);
    const QString archive = conflictArchive(m_work);
    const QString target = m_work + QStringLiteral("/out");
    prepareTarget(target);
    if (expected.contains("b_1.txt"))
        testenv::writeFile(target + QStringLiteral("/b_1.txt"), "taken");
    Run run;
    run.answerer.conflictAnswers = answers;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.finished);
    QCOMPARE(run.archive.failed(), failed);
    QCOMPARE(run.answerer.conflicts.size(), questions);
    QCOMPARE(run.answerer.conflicts.first(), target + QStringLiteral("/a.txt"));
    // The question carries the entry's time.
    QVERIFY(run.answerer.conflictTimes.first().isValid());
    QVERIFY(run.answerer.errors.isEmpty());
    FileContents actual;
    for (const QString& name : testenv::listTree(target))
        actual.insert(name, testenv::readFile(target + QLatin1Char('/') + name));
    QCOMPARE(actual, expected);
    QVERIFY(leftovers(target).isEmpty());
}

void TestArchiveExtract::folderThatCannotBeMadeAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("forAll");
    QTest::newRow("retry after the fix") << int(UA_RETRY) << false;
    QTest::newRow("skip for all") << int(UA_SKIP) << true;
    QTest::newRow("cancel") << int(UA_CANCEL) << false;
}

void TestArchiveExtract::folderThatCannotBeMadeAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, forAll);
    const QString tree = testenv::makeDir(QStringLiteral("blocked"));
    testenv::makeTree(tree, {{QStringLiteral("locked/new/a.txt"), "a"}, {QStringLiteral("locked/new/b.txt"), "b"},
                             {QStringLiteral("zz.txt"), "after"}});
    // tar keeps the order given: the folders come before what follows them.
    const QString archive = m_work + QStringLiteral("/blocked.tar");
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-ttar"), archive, QStringLiteral("locked"),
                   QStringLiteral("zz.txt")},
                  tree)
                 .exitCode,
             0);
    const QString target = m_work + QStringLiteral("/out");
    const QString locked = target + QStringLiteral("/locked");
    QVERIFY(QDir().mkpath(locked));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    Run run;
    run.answerer.accessAnswers = {{E_UserAction(answer), forAll}};
    run.answerer.beforeAccessAnswer = [&](const QString&) {
        if (answer == UA_RETRY)
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    };
    {
        PermissionBitsApply asAnyone;
        run.extract(extractRequest(archive, target));
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(run.finished);
    // One question, about the folder; the files inside a skipped folder
    // take the answer given for all.
    QCOMPARE(run.answerer.accessQuestions, QStringList{locked + QStringLiteral("/new")});
    QVERIFY(run.answerer.errors.isEmpty());
    QCOMPARE(run.archive.failed(), answer == UA_CANCEL);
    QCOMPARE(QFileInfo::exists(locked + QStringLiteral("/new/a.txt")), answer == UA_RETRY);
    QCOMPARE(QFileInfo::exists(locked + QStringLiteral("/new")), answer == UA_RETRY);
    // Only cancel ends the extraction.
    QCOMPARE(QFileInfo::exists(target + QStringLiteral("/zz.txt")), answer != UA_CANCEL);
    QVERIFY(leftovers(target).isEmpty());
    QDir(tree).removeRecursively();
}

// --- Compressed tar files ------------------------------------------------------------

void TestArchiveExtract::compressedTarExtractsInTwoStages_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("extension");
    QTest::newRow("gz") << "gzip" << "gz";
    QTest::newRow("bz2") << "bzip2" << "bz2";
    QTest::newRow("xz") << "xz" << "xz";
}

void TestArchiveExtract::compressedTarExtractsInTwoStages()
{
    QFETCH(QString, type);
    QFETCH(QString, extension);
    const QString tar = makeWithPeer(QStringLiteral("pack.tar"), {QStringLiteral("-ttar")}, m_source);
    QVERIFY(!tar.isEmpty());
    const QString archive = tar + QLatin1Char('.') + extension;
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-t") + type, archive, tar}).exitCode, 0);
    QVERIFY(QFile::remove(tar));

    // Files of the user's that an intermediate tar could be taken for.
    const QString target = m_work + QStringLiteral("/out");
    testenv::makeTree(target, {{QStringLiteral("pack.tar"), "mine"}, {QStringLiteral("inner.tar"), "mine too"}});
    Run run;
    run.extract(extractRequest(archive, target));
    QVERIFY(run.ok());
    QCOMPARE(testenv::readFile(target + QStringLiteral("/pack.tar")), QByteArray("mine"));
    QCOMPARE(testenv::readFile(target + QStringLiteral("/inner.tar")), QByteArray("mine too"));
    QVERIFY(QFile::remove(target + QStringLiteral("/pack.tar")));
    QVERIFY(QFile::remove(target + QStringLiteral("/inner.tar")));
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QVERIFY(leftovers(target).isEmpty());
    QVERIFY(leftovers(m_work).isEmpty());
}

void TestArchiveExtract::splitCompressedTarSet()
{
    const QString tar = makeWithPeer(QStringLiteral("split.tar"), {QStringLiteral("-ttar")}, m_source);
    const QString archive = tar + QStringLiteral(".xz");
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-txz"), QStringLiteral("-mx=0"), QStringLiteral("-v20k"),
                   archive, tar})
                 .exitCode,
             0);
    QVERIFY(QFile::remove(tar));
    QVERIFY(QFileInfo::exists(archive + QStringLiteral(".003")));

    ExtractOptions options = extractRequest(archive + QStringLiteral(".001"), m_work + QStringLiteral("/out"));
    qint64 volumes = 0;
    for (int n = 1; QFileInfo::exists(StreamBase::volumeName(archive, n)); ++n)
        volumes += QFileInfo(StreamBase::volumeName(archive, n)).size();
    QCOMPARE(FileArchive::getArchiveSize(options), volumes);

    Run run;
    run.extract(options);
    QVERIFY(run.ok());
    QCOMPARE(testenv::compareTrees(m_source, options.targetDirectory), QString());
    QVERIFY(leftovers(m_work).isEmpty());
}

// --- Control ---------------------------------------------------------------------------

void TestArchiveExtract::pauseHoldsAndCancelEnds()
{
    const QString big = testenv::makeDir(QStringLiteral("big"));
    for (int i = 0; i < 8; ++i)
        testenv::writeFile(big + QStringLiteral("/part%1.bin").arg(i), randomBytes(2 * 1024 * 1024, 10 + i));
    const QString archive = m_work + QStringLiteral("/big.7z");
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-mx=1"), archive, big}).exitCode, 0);

    const QString target = m_work + QStringLiteral("/out");
    Run run;
    run.progress.paused = true;
    QElapsedTimer clock;
    clock.start();
    uint64_t completedWhilePaused = 0;
    bool sawPause = false;
    run.extract(extractRequest(archive, target), [&] {
        if (!sawPause && clock.elapsed() > 500 && run.progress.operation != AO_IDLE) {
            sawPause = true;
            completedWhilePaused = run.progress.completed;
        }
        if (sawPause && clock.elapsed() > 1000 && !run.progress.canceled) {
            QCOMPARE(uint64_t(run.progress.completed), completedWhilePaused);
            run.progress.canceled = true;
        }
    });
    QVERIFY(run.finished);
    QVERIFY(sawPause);
    QVERIFY(run.archive.failed());
    QVERIFY(run.answerer.errors.isEmpty());
    QVERIFY(leftovers(target).isEmpty());
    QVERIFY(testenv::listTree(target).size() < 9);
}

void TestArchiveExtract::damagedArchiveNamesItsEntries()
{
    const QString tree = testenv::makeDir(QStringLiteral("damaged"));
    testenv::makeTree(tree, {{QStringLiteral("good.txt"), "good"}, {QStringLiteral("bad.bin"), randomBytes(200000, 3)}});
    const QString archive = m_work + QStringLiteral("/damaged.zip");
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-mx=0"), archive, QStringLiteral("good.txt"),
                   QStringLiteral("bad.bin")},
                  tree)
                 .exitCode,
             0);
    // Flip bytes in the middle of the stored data of bad.bin.
    QByteArray bytes = testenv::readFile(archive);
    for (int i = 100000; i < 100010; ++i)
        bytes[i] = static_cast<char>(~bytes[i]);
    testenv::writeFile(archive, bytes);

    const QString target = m_work + QStringLiteral("/out");
    testenv::writeFile(target + QStringLiteral("/bad.bin"), "precious");
    ExtractOptions options = extractRequest(archive, target);
    options.overwriteMode = EOM_OVERWRITE;
    Run run;
    run.extract(options);
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QCOMPARE(run.answerer.errors.size(), 1);
    QVERIFY2(run.answerer.errors.first().contains(QStringLiteral("bad.bin")), qPrintable(run.answerer.errors.first()));
    QCOMPARE(testenv::readFile(target + QStringLiteral("/good.txt")), QByteArray("good"));
    // The file it was to replace is still whole.
    QCOMPARE(testenv::readFile(target + QStringLiteral("/bad.bin")), QByteArray("precious"));
    QVERIFY(leftovers(target).isEmpty());
}

QUENVAR_TEST_MAIN(TestArchiveExtract)
#include "tst_archiveextract.moc"
