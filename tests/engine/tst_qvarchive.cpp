// The own ".qv" container through FileArchive: round trips, passwords,
// hostile names, entries that fail, and updates that copy what did not
// change and leave the archive as it was when they fail or are cancelled.
#include "archivetestsupport.h"

#include "common/qvbytes.h"

using namespace archivetest;

namespace {

const QString kPassword = "Pass-wörd 7";

QMap<QString, QByteArray> treeFiles()
{
    QMap<QString, QByteArray> files = sampleFiles();
    files.insert("漢字/日本語の名前.txt", QByteArray("cjk"));
    files.insert("void2/empty.bin", QByteArray());
    return files;
}

// A ".qv" written by the layer itself, one password per group of entries.
QString layerArchive(const QString& path,
                     const QList<QPair<QString, QMap<QString, QByteArray>>>& groups)
{
    for (int i = 0; i < groups.size(); ++i) {
        zip_t* zip = zip_open(path, 6, i == 0 ? 'w' : 'a', -1, groups.at(i).first);
        for (auto it = groups.at(i).second.cbegin(); zip && it != groups.at(i).second.cend(); ++it)
            qvbytes::addEntry(zip, it.key(), it.value());
        if (!zip || zip_close(zip) != 0)
            return QString();
    }
    return path;
}

} // namespace

class TestQvArchive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTrip_data();
    void roundTrip();
    void passwordsAskedPerEntryUntilRight_data();
    void passwordsAskedPerEntryUntilRight();
    void failedEntriesReportedOnceNotRetried();
    void hostileNamesStayInside();
    void extractsAFolderThroughTheConflictCheck();
    void updateCopiesUnchangedEntriesRaw();
    void encryptedUpdatesAskForThePassword_data();
    void encryptedUpdatesAskForThePassword();
    void failedUpdatesKeepTheArchive_data();
    void failedUpdatesKeepTheArchive();

private:
    QString pack(const QString& name, const QString& password = QString());

    QString m_work;
    QString m_source;
};

void TestQvArchive::init()
{
    UserActions::reset();
    QDir(testenv::tempDir() + "/work").removeRecursively();
    m_work = testenv::makeDir("work");
    m_source = m_work + "/source";
    testenv::makeTree(m_source, treeFiles(), sampleEmptyFolders());
    setTreeTimes(m_source);
}

QString TestQvArchive::pack(const QString& name, const QString& password)
{
    CompressOptions request =
        compressRequest(m_work + '/' + name, m_source, topLevelPaths(m_source), ZF_QV);
    request.password = password;
    Run run;
    run.compress(request);
    return run.ok() ? request.archivePath : QString();
}

void TestQvArchive::roundTrip_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<qint64>("volume");
    QTest::newRow("one file") << QString() << qint64(-1);
    QTest::newRow("one file, password") << kPassword << qint64(-1);
    QTest::newRow("volumes") << QString() << qint64(20000);
    QTest::newRow("volumes, password") << kPassword << qint64(20000);
}

void TestQvArchive::roundTrip()
{
    QFETCH(QString, password);
    QFETCH(qint64, volume);
    const QString archive = m_work + "/tree.qv";
    CompressOptions request = compressRequest(archive, m_source, topLevelPaths(m_source), ZF_QV);
    request.password = password;
    request.volumeSize = volume;
    request.level = 9;
    Run packing;
    packing.compress(request);
    QVERIFY(packing.ok());
    QCOMPARE(packing.answerer.errors, QStringList());
    const QString opened = volume > 0 ? archive + ".001" : archive;
    QCOMPARE(QFileInfo::exists(archive + ".004"), volume > 0);

    // Listed without a password; every entry deflated and marked as the
    // password says.
    FileArchive lister;
    QVERIFY(lister.openArchive(opened));
    QStringList listed;
    for (const ArchiveItemInfo& item : lister.archiveItems())
        listed << item.name + (item.isDir ? "/" : QString());
    listed.sort();
    QCOMPARE(listed, testenv::listTree(m_source));
    for (const qvbytes::Listed& entry : qvbytes::parse(qvbytes::logical(archive, volume > 0))) {
        QCOMPARE(entry.marker != 0, !password.isEmpty());
        QVERIFY(entry.method == 8 || entry.name.endsWith('/'));
    }

    Run extracting;
    extracting.answerer.passwords = QStringList{password};
    const QString target = m_work + "/out";
    extracting.extract(extractRequest(opened, target));
    QVERIFY(extracting.ok());
    QCOMPARE(extracting.answerer.passwordRequests, password.isEmpty() ? 0 : 1);
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QCOMPARE(compareTimes(m_source, target, 2 * kTicksPerSecond), QString());
    QVERIFY(leftovers(m_work).isEmpty());
}

void TestQvArchive::passwordsAskedPerEntryUntilRight_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QStringList>("extracted");
    const QStringList both{"a.txt", "b.txt"};
    QTest::newRow("wrong, then right for each")
        << QStringList{"nope", "first", "second"} << 3 << both;
    QTest::newRow("cancel after a wrong answer")
        << QStringList{"nope", QString()} << 2 << QStringList();
    QTest::newRow("cancel at the second entry")
        << QStringList{"first", QString()} << 2 << QStringList{"a.txt"};
}

void TestQvArchive::passwordsAskedPerEntryUntilRight()
{
    QFETCH(QStringList, answers);
    QFETCH(int, requests);
    QFETCH(QStringList, extracted);
    const QString archive = layerArchive(m_work + "/two.qv",
                                         {{"first", {{"a.txt", qvbytes::text(5000)}}},
                                          {"second", {{"b.txt", testenv::randomBytes(5000)}}}});
    Run run;
    run.answerer.passwords = answers;
    const QString target = m_work + "/out";
    run.extract(extractRequest(archive, target));
    QVERIFY(run.finished);
    QCOMPARE(run.answerer.passwordRequests, requests);
    QCOMPARE(run.archive.failed(), extracted.size() < 2);
    QCOMPARE(run.archive.passwordCanceled(), extracted.size() < 2);
    QCOMPARE(run.answerer.errors, QStringList());
    QCOMPARE(testenv::listTree(target), extracted);
    if (!extracted.isEmpty())
        QCOMPARE(testenv::readFile(target + "/a.txt"), qvbytes::text(5000));
}

void TestQvArchive::failedEntriesReportedOnceNotRetried()
{
    // Damaged data of a plain entry: named once, never taken for a password.
    QString archive =
        layerArchive(m_work + "/damaged.qv",
                     {{QString(), {{"bad.txt", qvbytes::text(9000)}, {"good.txt", "good"}}}});
    QByteArray bytes = testenv::readFile(archive);
    const qvbytes::Listed bad = qvbytes::parse(bytes).at(0);
    for (int i = 0; i < 8; ++i)
        bytes[int(bad.dataOffset) + i] = char(0xFF);
    testenv::writeFile(archive, bytes);
    Run damaged;
    damaged.extract(extractRequest(archive, m_work + "/out1"));
    QVERIFY(damaged.finished && damaged.archive.failed());
    QCOMPARE(damaged.answerer.passwordRequests, 0);
    QCOMPARE(damaged.answerer.errors,
             QStringList{"These entries of " + archive +
                         " were not extracted: their data is damaged: bad.txt"});
    QCOMPARE(testenv::listTree(m_work + "/out1"), QStringList{"good.txt"});

    // A full disk while writing a scrambled entry: the password is not
    // asked again for it.
    archive = layerArchive(
        m_work + "/big.qv",
        {{kPassword, {{"big.bin", testenv::randomBytes(600000)}, {"small.txt", "small"}}}});
    Run full;
    full.answerer.passwords = QStringList{kPassword};
    {
        testenv::FileSizeLimit limit(256 * 1024);
        full.extract(extractRequest(archive, m_work + "/out2"));
    }
    QVERIFY(full.finished && full.archive.failed());
    QCOMPARE(full.answerer.passwordRequests, 1);
    QCOMPARE(full.answerer.errors,
             QStringList{"Cannot write file " + m_work + "/out2/big.bin: File too large"});
    QCOMPARE(testenv::listTree(m_work + "/out2"), QStringList{"small.txt"});
}

void TestQvArchive::hostileNamesStayInside()
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

void TestQvArchive::extractsAFolderThroughTheConflictCheck()
{
    const QString archive = pack("tree.qv");
    QVERIFY(!archive.isEmpty());
    FileArchive lister;
    QVERIFY(lister.openArchive(archive));
    ExtractOptions request = extractRequest(archive, m_work + "/out");
    request.pathMode = EPM_RELATIVE_PATHS;
    request.subPath = "docs";
    for (const ArchiveItemInfo& item : lister.archiveItems()) {
        if (item.name.startsWith("docs/"))
            request.itemIndexes << int(item.index);
    }
    testenv::writeFile(request.targetDirectory + "/a.txt", "mine");
    Run run;
    run.answerer.conflictAnswers = {{UA_RENAME, false}};
    run.extract(request);
    QVERIFY(run.ok());
    QCOMPARE(run.answerer.conflicts, QStringList{request.targetDirectory + "/a.txt"});
    QCOMPARE(testenv::readFile(request.targetDirectory + "/a.txt"), QByteArray("mine"));
    QCOMPARE(testenv::readFile(request.targetDirectory + "/a_1.txt"),
             treeFiles().value("docs/a.txt"));
    QCOMPARE(testenv::readFile(request.targetDirectory + "/sub/deeper/b.bin"),
             treeFiles().value("docs/sub/deeper/b.bin"));
    QVERIFY(!QFileInfo::exists(request.targetDirectory + "/top.txt"));
}

void TestQvArchive::updateCopiesUnchangedEntriesRaw()
{
    const QString archive = pack("tree.qv");
    QVERIFY(!archive.isEmpty());
    const QByteArray beforeBytes = testenv::readFile(archive);
    const QVector<qvbytes::Listed> before = qvbytes::parse(beforeBytes);
    const QString changed = m_source + "/top.txt";
    testenv::writeFile(changed, "changed");
    setFileTimesTicks(changed, kBaseTime + 3600 * kTicksPerSecond,
                      kBaseTime + 3600 * kTicksPerSecond);

    CompressOptions request = compressRequest(archive, m_source, topLevelPaths(m_source), ZF_QV);
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
    QCOMPARE(testenv::compareTrees(m_source, m_work + "/out"), QString());
    QVERIFY(leftovers(m_work).isEmpty());
}

void TestQvArchive::encryptedUpdatesAskForThePassword_data()
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

void TestQvArchive::encryptedUpdatesAskForThePassword()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, answers);
    QFETCH(QString, requestPassword);
    QFETCH(int, requests);
    const QString archive = pack("secret.qv", kPassword);
    QVERIFY(!archive.isEmpty());
    if (operation == "original")
        QVERIFY(qvbytes::toOriginalRule(archive, kPassword));
    QMap<QString, QByteArray> files = treeFiles();
    QStringList folders = sampleEmptyFolders();
    CompressOptions request;
    request.archivePath = archive;
    request.format = ZF_QV;
    request.password = requestPassword;
    if (operation == "rename") {
        request.itemToRename = indexOfEntry(archive, "docs");
        request.newItemName = "papers";
        QMap<QString, QByteArray> renamed;
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            renamed.insert(QString(it.key()).replace(QRegularExpression("^docs/"), "papers/"),
                           it.value());
        files = renamed;
        folders.replaceInStrings(QRegularExpression("^docs/"), "papers/");
    } else if (operation == "replace") {
        request = compressRequest(archive, m_source, {m_source + "/top.txt"}, ZF_QV);
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

void TestQvArchive::failedUpdatesKeepTheArchive_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<qint64>("volume");
    QTest::addColumn<QString>("error");
    QTest::newRow("cancelled while adding") << "cancel" << qint64(-1) << QString();
    QTest::newRow("disk full while adding")
        << "full" << qint64(-1) << "Cannot write file %1: File too large";
    // Left out and named, and nothing else to do.
    QTest::newRow("unreadable source")
        << "unreadable" << qint64(-1)
        << "These files cannot be read and were not added; entries of their names "
           "stay as they were: %b: Permission denied";
    QTest::newRow("volumes for an existing archive")
        << "" << qint64(100000)
        << "Cannot split %1 into volumes: an archive that exists is updated as one file";
    const QString invalid =
        "Cannot split the archive into volumes of %v bytes: a volume holds 1 to 2147483647 bytes";
    QTest::newRow("volume size 0") << "" << qint64(0) << invalid;
    QTest::newRow("volume size past 31 bits") << "new" << qint64(0x80000000LL) << invalid;
}

void TestQvArchive::failedUpdatesKeepTheArchive()
{
    QFETCH(QString, failure);
    QFETCH(qint64, volume);
    QFETCH(QString, error);
    const QString archive = failure == "new" ? m_work + "/new.qv" : pack("tree.qv");
    QVERIFY(!archive.isEmpty());
    const QByteArray original = testenv::readFile(archive);
    const QString big = m_work + "/big.bin";
    testenv::writeFile(big, randomBytes(12 * 1024 * 1024, 7));
    CompressOptions request = compressRequest(archive, m_work, {big}, ZF_QV);
    request.volumeSize = volume;

    PermissionBitsApply asAnyone;
    if (failure == "unreadable")
        QFile::setPermissions(big, QFileDevice::Permissions());
    Run run;
    {
        std::unique_ptr<testenv::FileSizeLimit> limit(
            failure == "full" ? new testenv::FileSizeLimit(1 << 20) : nullptr);
        run.compress(request, [&run, failure] {
            if (failure == "cancel" && run.progress.completed > 0)
                run.progress.canceled = true;
        });
    }
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    error.replace("%1", archive).replace("%v", QString::number(volume));
    error.replace("%b", big);
    QCOMPARE(run.answerer.errors, error.isEmpty() ? QStringList() : QStringList{error});
    QVERIFY(run.answerer.accessQuestions.isEmpty());
    QCOMPARE(testenv::readFile(archive), original);
    QCOMPARE(QFileInfo::exists(archive), failure != "new");
    QVERIFY(leftovers(m_work).isEmpty());
}

QUENVAR_TEST_MAIN(TestQvArchive)
#include "tst_qvarchive.moc"
