// Adding to, replacing in, deleting from and renaming inside existing
// archives, the own container's among them (unchanged entries copied raw,
// the password asked for when entries move); the source scan (hidden
// items, unreadable folders and files); and the promise that a refused,
// failed or cancelled update leaves the archive byte for byte as it was,
// with no temporary file behind.
#include "archivetestsupport.h"
#include "common/archivesuite.h"
#include "common/testarchives.h"

#include "app/settings.h"
#include "engine/zipapi.h"

#include <QRegularExpression>

#include <sys/stat.h>

using namespace archivetest;

namespace {

const QString kPassword = "Pass-wörd 7";

QString contentOf(const QString& archive, const QString& entry, const QString& scratch)
{
    QDir(scratch).removeRecursively();
    if (!extractWith7z(archive, scratch).isEmpty())
        return "<cannot extract>";
    return QString::fromUtf8(testenv::readFile(scratch + '/' + entry));
}

void setWholeSecond(const QString& path, int second)
{
    const uint64_t time =
        kBaseTime - kBaseTime % kTicksPerSecond + uint64_t(second) * kTicksPerSecond;
    setFileTimesTicks(path, time, time);
}

} // namespace

class TestArchiveUpdate : public ArchiveSuite
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void updateMethods_data();
    void updateMethods();
    void deletesEntries();
    void renamesFileAndFolderWithItsEntries();
    void failuresLeaveEverythingAsItWas_data();
    void failuresLeaveEverythingAsItWas();
    void qvUpdateCopiesUnchangedEntriesRaw();
    void qvEncryptedUpdatesAskForThePassword_data();
    void qvEncryptedUpdatesAskForThePassword();
    void hiddenItemsAndEmptyFolders_data();
    void hiddenItemsAndEmptyFolders();
    void unreadableFolderQuestionEnds_data();
    void unreadableFolderQuestionEnds();
    void unreadableFilesAreLeftOutAndNamed_data();
    void unreadableFilesAreLeftOutAndNamed();

private:
    const QString m_scratch = testenv::tempDir() + "/scratch";
};

void TestArchiveUpdate::init()
{
    ArchiveSuite::init();
    CSettings::setBoolValue("ArchiveHiddenItems", true);
}

void TestArchiveUpdate::cleanup()
{
    QDir(m_scratch).removeRecursively();
    ArchiveSuite::cleanup();
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
        const char* name = ext.constData();
        // a is newer on disk than in the archive, b older; c is new.
        QTest::addRow("%s add and replace", name) << format << int(UM_ADD_AND_REPLACE) << "new a"
                                                  << "new b" << true;
        QTest::addRow("%s update and add", name) << format << int(UM_UPDATE_AND_ADD) << "new a"
                                                 << "old b" << true;
        QTest::addRow("%s refresh", name) << format << int(UM_REFRESH) << "new a"
                                          << "old b" << false;
        QTest::addRow("%s synchronize", name) << format << int(UM_SYNCHRONIZE) << "new a"
                                              << "old b" << false;
    }
}

void TestArchiveUpdate::updateMethods()
{
    QFETCH(int, format);
    QFETCH(int, method);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, cAdded);
    const QString source = testenv::makeDir("methods");
    testenv::makeTree(source, {{"a.txt", "old a"}, {"b.txt", "old b"}});
    setWholeSecond(source + "/a.txt", 0);
    setWholeSecond(source + "/b.txt", 100);
    const QString archive = m_work + "/methods." + SupportedFormats[format].extension;
    Run create;
    create.compress(compressRequest(archive, source, topLevelPaths(source), ZipFormat(format)));
    QVERIFY(create.ok());

    testenv::makeTree(source, {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}});
    setWholeSecond(source + "/a.txt", 50);
    setWholeSecond(source + "/b.txt", 50);
    CompressOptions update =
        compressRequest(archive, source, topLevelPaths(source), ZipFormat(format));
    update.updateMethod = ZipUpdateMethod(method);
    Run run;
    run.compress(update);
    QVERIFY(run.ok());
    QCOMPARE(run.answerer.errors, QStringList());
    QVERIFY(passes7zTest(archive));
    // Each name once: a source replaces its entry rather than joining it.
    QStringList expected = {"a.txt", "b.txt"};
    if (cAdded)
        expected << "c.txt";
    QCOMPARE(entryNames(archive), expected);
    QCOMPARE(contentOf(archive, "a.txt", m_scratch), a);
    QCOMPARE(contentOf(archive, "b.txt", m_scratch), b);
    QCOMPARE(leftovers(m_work), QStringList());
    QDir(source).removeRecursively();
}

void TestArchiveUpdate::deletesEntries()
{
    const QString source = testenv::makeDir("delete");
    makeSampleTree(source);
    const QString archive = m_work + "/delete.7z";
    QCOMPARE(run7z({"a", archive, "docs", "top.txt", "zero.txt"}, source).exitCode, 0);
    CompressOptions request;
    request.archivePath = archive;
    request.itemsToDelete =
        QList<int>{indexOfEntry(archive, "top.txt"), indexOfEntry(archive, "docs/a.txt"), 9999};
    Run run;
    run.compress(request);
    QVERIFY(run.ok());
    QVERIFY(passes7zTest(archive));
    QCOMPARE(extractWith7z(archive, m_scratch), QString());
    Files expected = treeContents(source);
    expected.remove("top.txt");
    expected.remove("docs/a.txt");
    expected.remove("мир/файл.txt");
    QCOMPARE(treeContents(m_scratch), expected);
    QCOMPARE(leftovers(m_work), QStringList());
    QDir(source).removeRecursively();
}

void TestArchiveUpdate::renamesFileAndFolderWithItsEntries()
{
    const QString source = testenv::makeDir("rename");
    makeSampleTree(source);
    const QString archive = m_work + "/rename.zip";
    QCOMPARE(run7z({"a", archive, "docs", "top.txt"}, source).exitCode, 0);

    CompressOptions file;
    file.archivePath = archive;
    file.itemToRename = indexOfEntry(archive, "top.txt");
    file.newItemName = "renamed.txt";
    Run first;
    first.compress(file);
    QVERIFY(first.ok());

    CompressOptions folder;
    folder.archivePath = archive;
    folder.itemToRename = indexOfEntry(archive, "docs/sub");
    QVERIFY(folder.itemToRename >= 0);
    folder.newItemName = "Папка";
    Run second;
    second.compress(folder);
    QVERIFY(second.ok());
    QVERIFY(passes7zTest(archive));

    // Every entry below the folder goes with it.
    Files expected;
    const Files files = treeContents(source);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QString path = it.key();
        path.replace(QRegularExpression("^top.txt$"), "renamed.txt");
        path.replace(QRegularExpression("^docs/sub/"), "docs/Папка/");
        if (path.startsWith("docs/") || path == "renamed.txt")
            expected.insert(path, it.value());
    }
    QCOMPARE(extractWith7z(archive, m_scratch), QString());
    QCOMPARE(treeContents(m_scratch), expected);
    QVERIFY(entryNames(archive).contains("docs/Папка"));
    QVERIFY(!entryNames(archive).contains("docs/sub"));
    QDir(source).removeRecursively();
}

// --- Refused, failed and cancelled updates ----------------------------------------------

void TestArchiveUpdate::failuresLeaveEverythingAsItWas_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("volume");
    QTest::addColumn<QString>("message"); // %1: the archive, %b: big.bin, %v: the volume
    const QString itself = "Adding itself or its parent directory to the archive is not allowed";
    const QString volume = "Error: cannot add to multi-volume archive %1";
    const qint64 whole = -1;
    QTest::newRow("folder holds the archive") << "itself" << whole << itself;
    QTest::newRow("archive among the sources")
        << "source" << whole
        << "Error: filename of archive is the same as one of the files for packing %1";
    QTest::newRow("volume of a set") << "volume" << whole << volume;
    QTest::newRow("split over someone's first volume") << "split" << qint64(20000) << volume;
    QTest::newRow("no archive name") << "noname" << whole << "No archive name is stated";
    QTest::newRow("RAR is not updated") << "rar" << whole << "Cannot create archiving object";
    QTest::newRow("cancelled while writing") << "cancel" << whole << QString();
    // Deleting from a solid block makes the engine unpack and pack it again;
    // damaged data fails that half-way.
    QTest::newRow("the engine fails half-way") << "engine" << whole << "Cannot write archive %1";

    // The own container, adding big.bin to an archive of the sample tree.
    QTest::newRow("qv, cancelled while adding") << "qv cancel" << whole << QString();
    QTest::newRow("qv, disk full while adding")
        << "qv full" << whole << "Cannot write file %1: File too large";
    // Left out and named, and nothing else to do.
    QTest::newRow("qv, unreadable source")
        << "qv unreadable" << whole
        << "These files cannot be read and were not added; entries of their names "
           "stay as they were: %b: Permission denied";
    QTest::newRow("qv, volumes for an existing archive")
        << "qv" << qint64(100000)
        << "Cannot split %1 into volumes: an archive that exists is updated as one file";
    const QString invalid =
        "Cannot split the archive into volumes of %v bytes: a volume holds 1 to 2147483647 bytes";
    QTest::newRow("qv, volume size 0") << "qv" << qint64(0) << invalid;
    QTest::newRow("qv, new, volume size past 31 bits") << "qv new" << qint64(0x80000000LL)
                                                       << invalid;
}

void TestArchiveUpdate::failuresLeaveEverythingAsItWas()
{
    QFETCH(QString, kind);
    QFETCH(qint64, volume);
    QFETCH(QString, message);
    const QString source = m_work + "/src";
    testenv::makeTree(source, {{"one.txt", "1"}, {"two.txt", "2"}});
    QString archive = m_work + "/update.7z";
    CompressOptions request = compressRequest(archive, source, {source + "/two.txt"}, ZF_7Z);
    request.addToExisting = true;
    const QString big = m_work + "/big.bin";
    if (kind == "itself") {
        archive = source + "/inside.7z";
        request.files = QStringList{source};
        QCOMPARE(run7z({"a", archive, "one.txt"}, source).exitCode, 0);
    } else if (kind == "source") {
        QCOMPARE(run7z({"a", archive, "one.txt"}, source).exitCode, 0);
        request.files << archive;
    } else if (kind == "volume") {
        const QString set = m_work + "/set.7z";
        QCOMPARE(run7z({"a", "-v1k", "-mx=0", set, "one.txt"}, source).exitCode, 0);
        archive = set + ".001";
    } else if (kind == "split") {
        testenv::writeFile(archive + ".001", "someone's volume");
        request.addToExisting = false;
    } else if (kind == "noname") {
        archive.clear();
    } else if (kind == "rar") {
        archive = m_work + "/keep.rar";
        testenv::writeFile(archive, testarchives::makeRar5({testarchives::file("a.txt", "a")}));
    } else if (kind == "cancel") {
        Run create;
        create.compress(request);
        QVERIFY(create.ok());
        for (int i = 0; i < 6; ++i)
            testenv::writeFile(source + QString("/big%1.bin").arg(i), randomBytes(4 << 20, 20 + i));
        request.files = topLevelPaths(source);
    } else if (kind == "engine") {
        for (int i = 0; i < 4; ++i)
            testenv::writeFile(source + QString("/f%1.bin").arg(i), randomBytes(100000, 40 + i));
        QCOMPARE(run7z({"a", "-ms=on", "-mx=0", "-m0=LZMA2", archive, "f0.bin", "f1.bin", "f2.bin",
                        "f3.bin"},
                       source)
                     .exitCode,
                 0);
        QByteArray bytes = testenv::readFile(archive);
        for (int i = 150000; i < 150064; ++i)
            bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
        testenv::writeFile(archive, bytes);
        request = CompressOptions();
        request.itemsToDelete = QList<int>{indexOfEntry(archive, "f0.bin")};
        QVERIFY(request.itemsToDelete.first() >= 0);
    } else if (kind.startsWith("qv")) {
        archive = kind == "qv new" ? m_work + "/new.qv"
                                   : packQvTree(m_work + "/tree.qv", m_work + "/source");
        QVERIFY(!archive.isEmpty());
        testenv::writeFile(big, randomBytes(12 * 1024 * 1024, 7));
        request = compressRequest(archive, m_work, {big}, ZF_QV);
    }
    request.archivePath = archive;
    if (volume != -1)
        request.volumeSize = volume;

    const Files before = treeContents(m_work);
    PermissionBitsApply asAnyone;
    if (kind == "qv unreadable")
        QFile::setPermissions(big, QFileDevice::Permissions());
    Run run;
    bool cancelled = false;
    if (archive.isEmpty()) {
        // process() runs nothing without an archive; the update itself says why.
        run.answerer.connectTo(&run.archive);
        run.archive.updateArchive(request);
        run.finished = true;
    } else {
        std::unique_ptr<testenv::FileSizeLimit> limit(
            kind == "qv full" ? new testenv::FileSizeLimit(1 << 20) : nullptr);
        run.compress(request, [&] {
            if (kind.endsWith("cancel") && !cancelled && run.progress.completed > 0)
                cancelled = run.progress.canceled = true;
        });
    }
    QFile::setPermissions(big, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QCOMPARE(cancelled, kind.endsWith("cancel"));
    message.replace("%1", archive).replace("%b", big).replace("%v", QString::number(volume));
    QCOMPARE(run.answerer.errors, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(run.answerer.accessQuestions, QStringList());
    QCOMPARE(treeContents(m_work), before);
    QCOMPARE(leftovers(m_work), QStringList());
}

void TestArchiveUpdate::qvUpdateCopiesUnchangedEntriesRaw()
{
    const QString source = m_work + "/source";
    const QString archive = packQvTree(m_work + "/tree.qv", source);
    QVERIFY(!archive.isEmpty());
    const QByteArray beforeBytes = testenv::readFile(archive);
    const QVector<qvbytes::Listed> before = qvbytes::parse(beforeBytes);
    const QString changed = source + "/top.txt";
    testenv::writeFile(changed, "changed");
    setFileTimesTicks(changed, kBaseTime + 3600 * kTicksPerSecond,
                      kBaseTime + 3600 * kTicksPerSecond);

    CompressOptions request = compressRequest(archive, source, topLevelPaths(source), ZF_QV);
    request.updateMethod = UM_UPDATE_AND_ADD;
    Run run;
    run.compress(request);
    QVERIFY(run.ok());
    const QByteArray afterBytes = testenv::readFile(archive);
    const QVector<qvbytes::Listed> after = qvbytes::parse(afterBytes);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.last().name, QString("top.txt"));
    int same = 0;
    for (const qvbytes::Listed& old : before) {
        for (const qvbytes::Listed& now : after) {
            if (now.name == old.name && old.name != "top.txt") {
                QCOMPARE(qvbytes::dataOf(afterBytes, now), qvbytes::dataOf(beforeBytes, old));
                ++same;
            }
        }
    }
    QCOMPARE(same, before.size() - 1);
    Run extracting;
    extracting.extract(extractRequest(archive, m_work + "/out"));
    QVERIFY(extracting.ok());
    QCOMPARE(testenv::compareTrees(source, m_work + "/out"), QString());
    QVERIFY(leftovers(m_work).isEmpty());
}

void TestArchiveUpdate::qvEncryptedUpdatesAskForThePassword_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("requestPassword");
    QTest::addColumn<int>("requests");
    QTest::newRow("delete, wrong then right")
        << "delete" << QStringList{"nope", kPassword} << QString() << 2;
    QTest::newRow("delete, cached by an extraction") << "cached" << QStringList() << QString() << 0;
    QTest::newRow("delete, written under the original key rule")
        << "original" << QStringList{kPassword} << QString() << 1;
    QTest::newRow("rename a folder, the request's password")
        << "rename" << QStringList() << kPassword << 0;
    QTest::newRow("replace, cancelled") << "replace" << QStringList{QString()} << QString() << 1;
}

void TestArchiveUpdate::qvEncryptedUpdatesAskForThePassword()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, answers);
    QFETCH(QString, requestPassword);
    QFETCH(int, requests);
    const QString source = m_work + "/source";
    const QString archive = packQvTree(m_work + "/secret.qv", source, kPassword);
    QVERIFY(!archive.isEmpty());
    if (operation == "original")
        QVERIFY(qvbytes::toOriginalRule(archive, kPassword));
    Files files = treeContents(source);
    QStringList folders = sampleEmptyFolders();
    CompressOptions request;
    request.archivePath = archive;
    request.format = ZF_QV;
    request.password = requestPassword;
    if (operation == "rename") {
        request.itemToRename = indexOfEntry(archive, "docs");
        request.newItemName = "papers";
        Files renamed;
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            renamed.insert(QString(it.key()).replace(QRegularExpression("^docs/"), "papers/"),
                           it.value());
        files = renamed;
        folders.replaceInStrings(QRegularExpression("^docs/"), "papers/");
    } else if (operation == "replace") {
        request = compressRequest(archive, source, {source + "/top.txt"}, ZF_QV);
    } else {
        // The first file entry: everything after it moves.
        const int first = indexOfEntry(archive, QString());
        FileArchive lister;
        lister.openArchive(archive);
        files.remove(lister.archiveItemInfo(first).name);
        request.itemsToDelete = {first};
    }
    if (operation == "cached") {
        Run extracting;
        extracting.answerer.passwords = QStringList{kPassword};
        extracting.extract(extractRequest(archive, m_work + "/first"));
        QVERIFY(extracting.ok());
    }
    const QByteArray original = testenv::readFile(archive);
    Run run;
    run.answerer.passwords = answers;
    run.compress(request);
    QVERIFY(run.finished);
    QCOMPARE(run.answerer.passwordRequests, requests);
    QCOMPARE(run.answerer.errors, QStringList());
    QVERIFY(leftovers(m_work).isEmpty());
    if (operation == "replace") {
        QVERIFY(run.archive.failed());
        QCOMPARE(testenv::readFile(archive), original);
        return;
    }
    QVERIFY(run.ok());
    const QString expected = m_work + "/expected";
    testenv::makeTree(expected, files, folders);
    Run extracting;
    extracting.answerer.passwords = QStringList{kPassword};
    extracting.extract(extractRequest(archive, m_work + "/out"));
    QVERIFY(extracting.ok());
    QCOMPARE(testenv::compareTrees(expected, m_work + "/out"), QString());
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
    CSettings::setBoolValue("ArchiveHiddenItems", archiveHidden);
    const QString source = testenv::makeDir("hidden");
    testenv::makeTree(source,
                      {{".top", "t"},
                       {"shown.txt", "s"},
                       {"folder/.secret", "x"},
                       {"folder/plain.txt", "p"},
                       {"folder/.cache/inside.txt", "i"}},
                      {"folder/empty", "folder/.emptyhidden"});
    // Links and pipes below a chosen folder stay out, whatever the setting.
    QVERIFY(QFile::link("plain.txt", source + "/folder/link.txt"));
    QCOMPARE(::mkfifo(QFile::encodeName(source + "/folder/pipe").constData(), 0600), 0);
    const QString archive = m_work + "/hidden.7z";
    Run run;
    run.compress(compressRequest(archive, source, topLevelPaths(source), ZF_7Z));
    QVERIFY(run.ok());
    QStringList expected = {"folder", "folder/empty", "folder/plain.txt", "shown.txt"};
    if (archiveHidden)
        expected << ".top"
                 << "folder/.secret"
                 << "folder/.cache"
                 << "folder/.cache/inside.txt"
                 << "folder/.emptyhidden";
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
    const QString source = testenv::makeDir("scan");
    testenv::makeTree(source,
                      {{"a.txt", "a"}, {"open/b.txt", "b"}, {"open/locked/inside.txt", "i"}});
    const QString locked = source + "/open/locked";
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    const QString archive = m_work + "/scan.7z";

    Run run;
    run.answerer.accessAnswers = {{E_UserAction(answer), false}};
    run.answerer.defaultAccess = {UA_CANCEL, true};
    run.answerer.beforeAccessAnswer = [&](const QString&) {
        if (answer == UA_RETRY)
            QFile::setPermissions(
                locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    };
    {
        PermissionBitsApply asAnyone;
        run.compress(compressRequest(archive, source, topLevelPaths(source), ZF_7Z));
    }
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(run.finished);
    QCOMPARE(run.answerer.accessQuestions, QStringList{locked});
    QVERIFY(run.answerer.errors.isEmpty());
    QCOMPARE(run.archive.failed(), !written);
    QCOMPARE(QFileInfo::exists(archive), written);
    if (written) {
        QStringList expected = {"a.txt", "open", "open/b.txt"};
        if (lockedIncluded)
            expected << "open/locked"
                     << "open/locked/inside.txt";
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
    const QString source = testenv::makeDir("unreadable");
    const QStringList locked = {"locked.txt", "dir/locked2.txt"};
    testenv::makeTree(source, {{"a.txt", "a"}, {locked.at(0), "old"}, {locked.at(1), "old"}});
    const QString archive = m_work + "/unreadable." + SupportedFormats[format].extension;
    Run create;
    create.compress(compressRequest(archive, source, topLevelPaths(source), ZipFormat(format)));
    QVERIFY(create.ok());

    for (const QString& name : QStringList{"a.txt"} + locked)
        testenv::writeFile(source + '/' + name, "new");
    for (const QString& name : locked)
        QFile::setPermissions(source + '/' + name, QFileDevice::Permissions());
    Run run;
    {
        PermissionBitsApply asAnyone;
        run.compress(compressRequest(archive, source, topLevelPaths(source), ZipFormat(format)));
    }
    for (const QString& name : locked)
        QFile::setPermissions(source + '/' + name,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QVERIFY(run.archive.sourcesLeftOut());
    QCOMPARE(run.answerer.errors.size(), 1);
    for (const QString& name : locked) {
        const QString named = source + '/' + name + ": Permission denied";
        QVERIFY2(run.answerer.errors.first().contains(named),
                 qPrintable(run.answerer.errors.first()));
        QCOMPARE(contentOf(archive, name, m_scratch), QString("old"));
    }
    QCOMPARE(contentOf(archive, QString("a.txt"), m_scratch), QString("new"));
    QDir(source).removeRecursively();
}

QUENVAR_TEST_MAIN(TestArchiveUpdate)
#include "tst_archiveupdate.moc"
