// Adding to, replacing in, deleting from and renaming inside existing
// archives; the refusals; the source scan (hidden items, unreadable folders);
// and the promise that a refused, failed or cancelled update leaves the
// archive byte for byte as it was, with no temporary file behind.
#include "archivetestsupport.h"

#include "app/settings.h"
#include "engine/MyCom.h"
#include "engine/zipapi.h"

#include <QCryptographicHash>
#include <QFile>

#include <sys/stat.h>

using namespace archivetest;

namespace {

QStringList entryNames(const QString& archive)
{
    FileArchive reader;
    if (!reader.openArchive(archive))
        return {QStringLiteral("<cannot open>")};
    QStringList names;
    for (const ArchiveItemInfo& item : reader.archiveItems())
        names << item.name;
    names.sort();
    return names;
}

int indexOfEntry(const QString& archive, const QString& name)
{
    FileArchive reader;
    if (!reader.openArchive(archive))
        return -1;
    for (const ArchiveItemInfo& item : reader.archiveItems()) {
        if (item.name == name)
            return int(item.index);
    }
    return -1;
}

QByteArray digest(const QString& path)
{
    return QCryptographicHash::hash(testenv::readFile(path), QCryptographicHash::Sha256);
}

QString contentOf(const QString& archive, const QString& entry, const QString& scratch)
{
    QDir(scratch).removeRecursively();
    if (!extractWith7z(archive, scratch).isEmpty())
        return QStringLiteral("<cannot extract>");
    return QString::fromUtf8(testenv::readFile(scratch + QLatin1Char('/') + entry));
}

// Relative paths (folders without "/") of the tree below root that lie under
// one of the given top-level names.
QStringList expectedPathsBelow(const QString& root, const QStringList& tops)
{
    QStringList paths;
    for (QString path : testenv::listTree(root)) {
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        for (const QString& top : tops) {
            if (path == top || path.startsWith(top + QLatin1Char('/')))
                paths << path;
        }
    }
    return paths;
}

void setWholeSecond(const QString& path, int second)
{
    const uint64_t time = kBaseTime - kBaseTime % kTicksPerSecond + uint64_t(second) * kTicksPerSecond;
    setFileTimesTicks(path, time, time);
}

} // namespace

class TestArchiveUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void updateMethods_data();
    void updateMethods();
    void deletesEntries();
    void renamesFileAndFolderWithItsEntries();
    void refusalsLeaveEverythingAsItWas_data();
    void refusalsLeaveEverythingAsItWas();
    void hiddenItemsAndEmptyFolders_data();
    void hiddenItemsAndEmptyFolders();
    void unreadableFolderQuestionEnds_data();
    void unreadableFolderQuestionEnds();
    void unreadableFilesAreLeftOutAndNamed_data();
    void unreadableFilesAreLeftOutAndNamed();
    void cancelWhileWritingKeepsTheArchive();
    void engineFailureKeepsTheArchive();

private:
    QString m_work;
    QString m_scratch;
};

void TestArchiveUpdate::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
}

void TestArchiveUpdate::init()
{
    m_work = testenv::makeDir(QStringLiteral("work"));
    m_scratch = testenv::tempDir() + QStringLiteral("/scratch");
    UserActions::reset();
    CSettings::setBoolValue(QStringLiteral("ArchiveHiddenItems"), true);
}

void TestArchiveUpdate::cleanup()
{
    StreamBase::waitForFlushFinished();
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    QDir(m_work).removeRecursively();
    QDir(m_scratch).removeRecursively();
}

// --- Updating entries --------------------------------------------------------------

void TestArchiveUpdate::updateMethods_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("cAdded");
    for (int format : {int(ZF_7Z), int(ZF_ZIP), int(ZF_TAR)}) {
        const QByteArray ext = SupportedFormats[format].extension.toLatin1();
        // a is newer on disk than in the archive, b older; c is new.
        QTest::addRow("%s add and replace", ext.constData()) << format << int(UM_ADD_AND_REPLACE) << "new a" << "new b" << true;
        QTest::addRow("%s update and add", ext.constData()) << format << int(UM_UPDATE_AND_ADD) << "new a" << "old b" << true;
        QTest::addRow("%s refresh", ext.constData()) << format << int(UM_REFRESH) << "new a" << "old b" << false;
        QTest::addRow("%s synchronize", ext.constData()) << format << int(UM_SYNCHRONIZE) << "new a" << "old b" << false;
    }
}

void TestArchiveUpdate::updateMethods()
{
    QFETCH(int, format);
    QFETCH(int, method);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, cAdded);
    const QString source = testenv::makeDir(QStringLiteral("methods"));
    testenv::makeTree(source, {{QStringLiteral("a.txt"), "old a"}, {QStringLiteral("b.txt"), "old b"}});
    setWholeSecond(source + QStringLiteral("/a.txt"), 0);
    setWholeSecond(source + QStringLiteral("/b.txt"), 100);
    const QString archive = m_work + QStringLiteral("/methods.") + SupportedFormats[format].extension;
    Run create;
    create.compress(compressRequest(archive, source, topLevelPaths(source), ZipFormat(format)));
    QVERIFY(create.ok());

    testenv::makeTree(source, {{QStringLiteral("a.txt"), "new a"}, {QStringLiteral("b.txt"), "new b"},
                               {QStringLiteral("c.txt"), "new c"}});
    setWholeSecond(source + QStringLiteral("/a.txt"), 50);
    setWholeSecond(source + QStringLiteral("/b.txt"), 50);
    CompressOptions update = compressRequest(archive, source, topLevelPaths(source), ZipFormat(format));
    update.updateMethod = ZipUpdateMethod(method);
    Run run;
    run.compress(update);
    QVERIFY(run.ok());
    QVERIFY(run.answerer.errors.isEmpty());
    QVERIFY(passes7zTest(archive));
    // Each name once: a source replaces its entry rather than joining it.
    QStringList expected = {QStringLiteral("a.txt"), QStringLiteral("b.txt")};
    if (cAdded)
        expected << QStringLiteral("c.txt");
    QCOMPARE(entryNames(archive), expected);
    QCOMPARE(contentOf(archive, QStringLiteral("a.txt"), m_scratch), a);
    QCOMPARE(contentOf(archive, QStringLiteral("b.txt"), m_scratch), b);
    QVERIFY(leftovers(m_work).isEmpty());
    QDir(source).removeRecursively();
}

void TestArchiveUpdate::deletesEntries()
{
    const QString source = testenv::makeDir(QStringLiteral("delete"));
    makeSampleTree(source);
    const QString archive = m_work + QStringLiteral("/delete.7z");
    QCOMPARE(peer({QStringLiteral("a"), archive, QStringLiteral("docs"), QStringLiteral("top.txt"), QStringLiteral("zero.txt")},
                  source)
                 .exitCode,
             0);
    CompressOptions request;
    request.archivePath = archive;
    request.itemsToDelete = {indexOfEntry(archive, QStringLiteral("top.txt")),
                             indexOfEntry(archive, QStringLiteral("docs/a.txt")), 9999};
    Run run;
    run.compress(request);
    QVERIFY(run.ok());
    QVERIFY(passes7zTest(archive));
    const QStringList names = entryNames(archive);
    QVERIFY(!names.contains(QStringLiteral("top.txt")));
    QVERIFY(!names.contains(QStringLiteral("docs/a.txt")));
    QVERIFY(names.contains(QStringLiteral("zero.txt")));
    QVERIFY(names.contains(QStringLiteral("docs/sub/deeper/b.bin")));
    QCOMPARE(extractWith7z(archive, m_scratch), QString());
    QCOMPARE(testenv::readFile(m_scratch + QStringLiteral("/docs/sub/deeper/b.bin")),
             sampleFiles().value(QStringLiteral("docs/sub/deeper/b.bin")));
    QVERIFY(leftovers(m_work).isEmpty());
    QDir(source).removeRecursively();
}

void TestArchiveUpdate::renamesFileAndFolderWithItsEntries()
{
    const QString source = testenv::makeDir(QStringLiteral("rename"));
    makeSampleTree(source);
    const QString archive = m_work + QStringLiteral("/rename.zip");
    QCOMPARE(peer({QStringLiteral("a"), archive, QStringLiteral("docs"), QStringLiteral("top.txt")}, source).exitCode, 0);

    CompressOptions file;
    file.archivePath = archive;
    file.itemToRename = indexOfEntry(archive, QStringLiteral("top.txt"));
    file.newItemName = QStringLiteral("renamed.txt");
    Run first;
    first.compress(file);
    QVERIFY(first.ok());

    CompressOptions folder;
    folder.archivePath = archive;
    folder.itemToRename = indexOfEntry(archive, QStringLiteral("docs/sub"));
    QVERIFY(folder.itemToRename >= 0);
    folder.newItemName = QStringLiteral("Папка");
    Run second;
    second.compress(folder);
    QVERIFY(second.ok());
    QVERIFY(passes7zTest(archive));

    QStringList expected;
    for (QString path : expectedPathsBelow(source, {QStringLiteral("docs"), QStringLiteral("top.txt")})) {
        if (path == QLatin1String("top.txt"))
            path = QStringLiteral("renamed.txt");
        if (path == QLatin1String("docs/sub") || path.startsWith(QLatin1String("docs/sub/")))
            path.replace(0, 8, QString::fromUtf8("docs/Папка"));
        expected << path;
    }
    expected.sort();
    QCOMPARE(entryNames(archive), expected);
    QCOMPARE(extractWith7z(archive, m_scratch), QString());
    QCOMPARE(testenv::readFile(m_scratch + QString::fromUtf8("/docs/Папка/deeper/b.bin")),
             sampleFiles().value(QStringLiteral("docs/sub/deeper/b.bin")));
    QCOMPARE(testenv::readFile(m_scratch + QStringLiteral("/renamed.txt")), sampleFiles().value(QStringLiteral("top.txt")));
    QDir(source).removeRecursively();
}

// --- Refusals ------------------------------------------------------------------------

void TestArchiveUpdate::refusalsLeaveEverythingAsItWas_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder holds the archive") << "itself";
    QTest::newRow("archive among the sources") << "source";
    QTest::newRow("volume of a set") << "volume";
    QTest::newRow("no archive name") << "noname";
}

void TestArchiveUpdate::refusalsLeaveEverythingAsItWas()
{
    QFETCH(QString, kind);
    const QString source = m_work + QStringLiteral("/src");
    testenv::makeTree(source, {{QStringLiteral("one.txt"), "1"}, {QStringLiteral("two.txt"), "2"}});
    QString archive = source + QStringLiteral("/inside.7z");
    QStringList files = {source};
    QString message = QStringLiteral("Adding itself or its parent directory to the archive is not allowed");
    if (kind == QLatin1String("source")) {
        archive = m_work + QStringLiteral("/self.7z");
        QCOMPARE(peer({QStringLiteral("a"), archive, QStringLiteral("one.txt")}, source).exitCode, 0);
        files = QStringList{source + QStringLiteral("/two.txt"), archive};
        message = QStringLiteral("Error: filename of archive is the same as one of the files for packing ") + archive;
    } else if (kind == QLatin1String("volume")) {
        const QString set = m_work + QStringLiteral("/set.7z");
        QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-v1k"), QStringLiteral("-mx=0"), set, QStringLiteral("one.txt")},
                      source)
                     .exitCode,
                 0);
        testenv::writeFile(source + QStringLiteral("/big.bin"), randomBytes(3000, 2));
        archive = set + QStringLiteral(".001");
        files = QStringList{source + QStringLiteral("/two.txt")};
        message = QStringLiteral("Error: cannot add to multi-volume archive ") + archive;
    } else if (kind == QLatin1String("itself")) {
        QCOMPARE(peer({QStringLiteral("a"), archive, QStringLiteral("one.txt")}, source).exitCode, 0);
    } else {
        archive.clear();
        message = QStringLiteral("No archive name is stated");
    }

    QMap<QString, QByteArray> before;
    for (const QString& path : testenv::listTree(m_work))
        before.insert(path, testenv::readFile(m_work + QLatin1Char('/') + path));
    CompressOptions request = compressRequest(archive, source, files, ZF_7Z);
    request.addToExisting = true;
    Run run;
    if (archive.isEmpty()) {
        // process() runs nothing without an archive; the update itself says why.
        run.answerer.connectTo(&run.archive);
        run.archive.updateArchive(request);
        run.finished = true;
    } else {
        run.compress(request);
    }
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QCOMPARE(run.answerer.errors, QStringList{message});
    QMap<QString, QByteArray> after;
    for (const QString& path : testenv::listTree(m_work))
        after.insert(path, testenv::readFile(m_work + QLatin1Char('/') + path));
    QCOMPARE(after, before);
}

// --- The sources -----------------------------------------------------------------------

void TestArchiveUpdate::hiddenItemsAndEmptyFolders_data()
{
    QTest::addColumn<bool>("archiveHidden");
    QTest::newRow("hidden items archived") << true;
    QTest::newRow("hidden items left out") << false;
}

void TestArchiveUpdate::hiddenItemsAndEmptyFolders()
{
    QFETCH(bool, archiveHidden);
    CSettings::setBoolValue(QStringLiteral("ArchiveHiddenItems"), archiveHidden);
    const QString source = testenv::makeDir(QStringLiteral("hidden"));
    testenv::makeTree(source,
                      {{QStringLiteral(".top"), "t"}, {QStringLiteral("shown.txt"), "s"},
                       {QStringLiteral("folder/.secret"), "x"}, {QStringLiteral("folder/plain.txt"), "p"},
                       {QStringLiteral("folder/.cache/inside.txt"), "i"}},
                      {QStringLiteral("folder/empty"), QStringLiteral("folder/.emptyhidden")});
    // Links and pipes below a chosen folder stay out, whatever the setting.
    QVERIFY(QFile::link(QStringLiteral("plain.txt"), source + QStringLiteral("/folder/link.txt")));
    QCOMPARE(::mkfifo(QFile::encodeName(source + QStringLiteral("/folder/pipe")).constData(), 0600), 0);
    const QString archive = m_work + QStringLiteral("/hidden.7z");
    Run run;
    run.compress(compressRequest(archive, source, topLevelPaths(source), ZF_7Z));
    QVERIFY(run.ok());
    QStringList expected = {QStringLiteral("folder"), QStringLiteral("folder/empty"), QStringLiteral("folder/plain.txt"),
                            QStringLiteral("shown.txt")};
    if (archiveHidden)
        expected << QStringLiteral(".top") << QStringLiteral("folder/.secret") << QStringLiteral("folder/.cache")
                 << QStringLiteral("folder/.cache/inside.txt") << QStringLiteral("folder/.emptyhidden");
    expected.sort();
    QCOMPARE(entryNames(archive), expected);
    QDir(source).removeRecursively();
}

void TestArchiveUpdate::unreadableFolderQuestionEnds_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("lockedIncluded");
    QTest::newRow("retry after the fix") << int(UA_RETRY) << true << true;
    QTest::newRow("skip") << int(UA_SKIP) << true << false;
    // No elevated server answers here: as skip.
    QTest::newRow("as administrator") << int(UA_AS_ADMIN) << true << false;
    QTest::newRow("cancel") << int(UA_CANCEL) << false << false;
    QTest::newRow("no answer") << int(UA_ASK) << false << false;
}

void TestArchiveUpdate::unreadableFolderQuestionEnds()
{
    QFETCH(int, answer);
    QFETCH(bool, written);
    QFETCH(bool, lockedIncluded);
    const QString source = testenv::makeDir(QStringLiteral("scan"));
    testenv::makeTree(source, {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("open/b.txt"), "b"},
                               {QStringLiteral("open/locked/inside.txt"), "i"}});
    const QString locked = source + QStringLiteral("/open/locked");
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    const QString archive = m_work + QStringLiteral("/scan.7z");

    Run run;
    run.answerer.accessAnswers = {{E_UserAction(answer), false}};
    run.answerer.defaultAccess = {UA_CANCEL, true};
    run.answerer.beforeAccessAnswer = [&](const QString&) {
        if (answer == UA_RETRY)
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    };
    {
        PermissionBitsApply asAnyone;
        run.compress(compressRequest(archive, source, topLevelPaths(source), ZF_7Z));
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(run.finished);
    QCOMPARE(run.answerer.accessQuestions, QStringList{locked});
    QVERIFY(run.answerer.errors.isEmpty());
    QCOMPARE(run.archive.failed(), !written);
    QCOMPARE(QFileInfo::exists(archive), written);
    if (written) {
        QStringList expected = {QStringLiteral("a.txt"), QStringLiteral("open"), QStringLiteral("open/b.txt")};
        if (lockedIncluded)
            expected << QStringLiteral("open/locked") << QStringLiteral("open/locked/inside.txt");
        QCOMPARE(entryNames(archive), expected);
    }
    QVERIFY(leftovers(m_work).isEmpty());
    QDir(source).removeRecursively();
}

void TestArchiveUpdate::unreadableFilesAreLeftOutAndNamed_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("7z") << int(ZF_7Z);
    QTest::newRow("zip") << int(ZF_ZIP);
}

void TestArchiveUpdate::unreadableFilesAreLeftOutAndNamed()
{
    QFETCH(int, format);
    const QString source = testenv::makeDir(QStringLiteral("unreadable"));
    const QStringList locked = {QStringLiteral("locked.txt"), QStringLiteral("dir/locked2.txt")};
    testenv::makeTree(source, {{QStringLiteral("a.txt"), "a"}, {locked.at(0), "old"}, {locked.at(1), "old"}});
    const QString archive = m_work + QStringLiteral("/unreadable.") + SupportedFormats[format].extension;
    Run create;
    create.compress(compressRequest(archive, source, topLevelPaths(source), ZipFormat(format)));
    QVERIFY(create.ok());

    for (const QString& name : QStringList{QStringLiteral("a.txt")} + locked)
        testenv::writeFile(source + QLatin1Char('/') + name, "new");
    for (const QString& name : locked)
        QFile::setPermissions(source + QLatin1Char('/') + name, QFileDevice::Permissions());
    Run run;
    {
        PermissionBitsApply asAnyone;
        run.compress(compressRequest(archive, source, topLevelPaths(source), ZipFormat(format)));
    }
    for (const QString& name : locked)
        QFile::setPermissions(source + QLatin1Char('/') + name, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QVERIFY(run.archive.sourcesLeftOut());
    QCOMPARE(run.answerer.errors.size(), 1);
    for (const QString& name : locked) {
        const QString named = source + QLatin1Char('/') + name + QStringLiteral(": Permission denied");
        QVERIFY2(run.answerer.errors.first().contains(named), qPrintable(run.answerer.errors.first()));
        QCOMPARE(contentOf(archive, name, m_scratch), QStringLiteral("old"));
    }
    QCOMPARE(contentOf(archive, QStringLiteral("a.txt"), m_scratch), QStringLiteral("new"));
    QDir(source).removeRecursively();
}

// --- Safety of the existing archive --------------------------------------------------------

void TestArchiveUpdate::cancelWhileWritingKeepsTheArchive()
{
    const QString source = testenv::makeDir(QStringLiteral("cancel"));
    testenv::writeFile(source + QStringLiteral("/small.txt"), "small");
    const QString archive = m_work + QStringLiteral("/cancel.7z");
    Run create;
    create.compress(compressRequest(archive, source, {source + QStringLiteral("/small.txt")}, ZF_7Z));
    QVERIFY(create.ok());
    const QByteArray before = digest(archive);

    for (int i = 0; i < 6; ++i)
        testenv::writeFile(source + QStringLiteral("/big%1.bin").arg(i), randomBytes(4 * 1024 * 1024, 20 + i));
    Run run;
    bool cancelled = false;
    run.compress(compressRequest(archive, source, topLevelPaths(source), ZF_7Z), [&] {
        if (!cancelled && run.progress.completed > 0) {
            cancelled = true;
            run.progress.canceled = true;
        }
    });
    QVERIFY(run.finished);
    QVERIFY(cancelled);
    QVERIFY(run.archive.failed());
    QVERIFY(run.answerer.errors.isEmpty());
    QCOMPARE(digest(archive), before);
    QCOMPARE(QDir(m_work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("cancel.7z")});
    QDir(source).removeRecursively();
}

void TestArchiveUpdate::engineFailureKeepsTheArchive()
{
    // Deleting from a solid block makes the engine unpack and pack it again;
    // damaged data fails that half-way.
    const QString source = testenv::makeDir(QStringLiteral("solid"));
    for (int i = 0; i < 4; ++i)
        testenv::writeFile(source + QStringLiteral("/f%1.bin").arg(i), randomBytes(100000, 40 + i));
    const QString archive = m_work + QStringLiteral("/solid.7z");
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-ms=on"), QStringLiteral("-mx=0"), QStringLiteral("-m0=LZMA2"),
                   archive, QStringLiteral("f0.bin"), QStringLiteral("f1.bin"), QStringLiteral("f2.bin"),
                   QStringLiteral("f3.bin")},
                  source)
                 .exitCode,
             0);
    QByteArray bytes = testenv::readFile(archive);
    for (int i = 150000; i < 150064; ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    testenv::writeFile(archive, bytes);
    const QByteArray before = digest(archive);

    CompressOptions request;
    request.archivePath = archive;
    request.itemsToDelete = {indexOfEntry(archive, QStringLiteral("f0.bin"))};
    QVERIFY(request.itemsToDelete.first() >= 0);
    Run run;
    run.compress(request);
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QCOMPARE(run.answerer.errors, QStringList{QStringLiteral("Cannot write archive ") + archive});
    QCOMPARE(digest(archive), before);
    QCOMPARE(QDir(m_work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("solid.7z")});
    QDir(source).removeRecursively();
}

QUENVAR_TEST_MAIN(TestArchiveUpdate)
#include "tst_archiveupdate.moc"
