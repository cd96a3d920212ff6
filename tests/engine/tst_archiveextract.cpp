// Extracting through FileArchive on the real engine: archives made by the 7z tool and the own
// container, and archives built byte by byte (names leading outside, links, damaged entries).
#include "archivetestsupport.h"
#include "common/archivesuite.h"
#include "common/testarchives.h"

#include "engine/ExtractPathGuard.h"
#include "engine/zipapi.h"
#include "ui/passworddialog.h"

#include <QLineEdit>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(ArchiveAnswerer::Answer)

using namespace archivetest;
using Answers = QList<ArchiveAnswerer::Answer>;
namespace ta = testarchives;

namespace {
// ZIP's own scrambling takes single-byte passwords only.
const QString kPassword = "s3cret pass";
const QString kWidePassword = "s3cret ✓ пароль";

QString passwordFor(const QString& archive)
{
    return archive.endsWith(".7z") ? kWidePassword : kPassword;
}

QByteArray build(const QString& format, const QList<ta::Entry>& entries)
{
    if (format == "rar4")
        return ta::makeRar4(entries);
    if (format == "rar5")
        return ta::makeRar5(entries);
    return format == "zip" ? ta::makeZip(entries) : ta::makeTar(entries);
}

// Cyrillic names (and one mixing scripts, which RAR 4 encodes with both its one-byte and two-byte
// codes), an empty file, a file of more than 64 KiB (three-byte sizes in RAR 5) and a link.
QList<ta::Entry> sampleEntries()
{
    return {ta::file("readme.txt", "hello\n"),
            ta::file("empty.txt"),
            ta::dir("Папка"),
            ta::dir("Папка/вложенная"),
            ta::file("Папка/вложенная/файл.txt", "данные\n"),
            ta::dir("docs"),
            ta::file("docs/secret.txt", "only me\n"),
            ta::file("docs/big.bin", randomBytes(100000, 7)),
            ta::file("docs/Ωмега é.txt", "mixed\n"),
            ta::symlink(QString("docs/lnk"), "secret.txt")};
}

} // namespace

class TestArchiveExtract : public ArchiveSuite
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ArchiveSuite::initTestCase();
        m_source = testenv::makeDir("source");
        testenv::makeTree(m_source, sampleFiles(), kSampleEmptyFolders);
        setTreeTimes(m_source);
    }

    void unreadableArchivesAreReported_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message"); // %1: the archive's path
        const QString noArchive = "Cannot open archive %1: not an archive of a known format";
        QTest::newRow("unknown kind") << "notes.txt" << QByteArray("plain text") << noArchive;
        QTest::newRow("folder") << "folder.zip" << QByteArray()
                                << "Cannot open file %1: Is a directory";
        QTest::newRow("pipe") << "pipe.7z" << QByteArray() << noArchive;
        QTest::newRow("own container")
            << "box.qv" << QByteArray("PK\x03\x04 and no end record") << noArchive;
    }

    void unreadableArchivesAreReported()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString archive = m_work + '/' + name;
        if (!content.isEmpty())
            testenv::writeFile(archive, content);
        if (name.startsWith("folder"))
            QDir().mkpath(archive);
        if (name.startsWith("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(archive).constData(), 0600), 0);
        const QString target = m_work + "/out";
        Run run;
        run.extract(extractRequest(archive, target));
        QVERIFY(run.failed());
        QCOMPARE(run.answerer.errors, QStringList{message.arg(archive)});
        QCOMPARE(testenv::listTree(target), QStringList());
    }

    void pathModes_data()
    {
        QTest::addColumn<Files>("tree"); // packed by the peer, its top-level names
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("pathMode");
        QTest::addColumn<QString>("subPath");
        QTest::addColumn<bool>("removeRoot");
        QTest::addColumn<Files>("expected"); // the files below the target folder ".../proj"
        const Files nested{{"docs/a.txt", "a"}, {"docs/sub/b.bin", "b"}, {"мир/файл.txt", "c"}};
        QTest::newRow("without paths flattens")
            << nested << "7z" << int(EPM_NO_PATHS) << "" << false
            << Files{{"a.txt", "a"}, {"b.bin", "b"}, {"файл.txt", "c"}};
        // "doc" is not cut out of "docs".
        for (const char* type : {"7z", "qv"})
            QTest::addRow("%s, relative paths cut the subfolder", type)
                << Files{{"doc/a.txt", "a"}, {"doc/inner/b.txt", "b"}, {"docs/c.txt", "c"}}
                << type << int(EPM_RELATIVE_PATHS) << "doc" << false
                << Files{{"a.txt", "a"}, {"inner/b.txt", "b"}, {"docs/c.txt", "c"}};
        for (int mode : {int(EPM_FULL_PATHS), int(EPM_RELATIVE_PATHS)})
            QTest::addRow("a drive colon becomes an underscore, mode %d", mode)
                << Files{{"c:/x.txt", "drive"}} << "tar" << mode << "" << false
                << Files{{"c_/x.txt", "drive"}};
        QTest::newRow("the duplicate root goes")
            << Files{{"proj/a.txt", "a"}, {"proj/sub/b.txt", "b"}} << "7z" << int(EPM_FULL_PATHS)
            << "" << true << Files{{"a.txt", "a"}, {"sub/b.txt", "b"}};
        // "project" only begins like the folder "proj": it goes inside.
        QTest::newRow("a root that only begins like it stays")
            << Files{{"project/c.txt", "c"}} << "7z" << int(EPM_FULL_PATHS) << "" << true
            << Files{{"project/c.txt", "c"}};
    }

    void pathModes()
    {
        QFETCH(Files, tree);
        QFETCH(QString, type);
        QFETCH(int, pathMode);
        QFETCH(QString, subPath);
        QFETCH(bool, removeRoot);
        QFETCH(Files, expected);
        const QString folder = testenv::makeDir("modes");
        testenv::makeTree(folder, tree);
        QStringList tops;
        for (const QString& path : tree.keys())
            tops << path.section('/', 0, 0);
        tops.removeDuplicates();
        const QString archive = type == "qv"
            ? packTree(m_work + "/modes.qv", folder, ZF_QV)
            : makeWithPeer("modes." + type, {"-t" + type}, folder, tops);
        ExtractOptions options = extractRequest(archive, m_work + "/out/proj");
        options.pathMode = pathMode;
        options.subPath = subPath;
        options.removeDuplicatesRoot = removeRoot;
        Run run;
        run.extract(options);
        QVERIFY(run.ok());
        QCOMPARE(treeContents(options.targetDirectory), expected);
        QCOMPARE(QDir(m_work + "/out").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"proj"});
    }

    void namesOfTheLongestKindExtract_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("taken");
        QTest::newRow("7z, free names") << "7z" << false;
        QTest::newRow("7z, names taken") << "7z" << true;
        QTest::newRow("qv, free names") << "qv" << false;
        QTest::newRow("qv, names taken") << "qv" << true;
    }

    void namesOfTheLongestKindExtract()
    {
        // 255 bytes fill a folder entry: the hidden name the data of a replacing file is written
        // under first must not be longer than the name itself.
        QFETCH(QString, type);
        QFETCH(bool, taken);
        const QString tree = testenv::makeDir("longnames");
        const QStringList names = {QString(255, 'n'), QString(127, QChar(0x0436)) + "x",
                                   QString(85, QChar(0x6F22))};
        testenv::makeTree(tree, {{names[0], "plain"}, {names[1], "wide"}, {names[2], "cjk"}});
        const QString archive = type == "qv" ? packTree(m_work + "/long.qv", tree, ZF_QV)
                                             : makeWithPeer("long.7z", {}, tree, names);
        QVERIFY(!archive.isEmpty());
        const QString out = m_work + "/out";
        if (taken)
            testenv::makeTree(out, {{names[0], "old"}, {names[1], "old"}, {names[2], "old"}});
        ExtractOptions options = extractRequest(archive, out);
        options.overwriteMode = EOM_OVERWRITE;
        Run run;
        run.extract(options);
        QVERIFY(run.ok());
        QCOMPARE(testenv::compareTrees(tree, out), QString());
        QCOMPARE(testenv::otherEntries(out, names), QStringList());
    }

    void hardLinksGetTheirTargetsData()
    {
        // tar stores a second name of a file as a link to the first, with no data of its own;
        // both names must come out with the data.
        const QString tree = testenv::makeDir("hardlinks");
        testenv::makeTree(tree, {{"src/first.txt", "shared payload\n"}});
        QCOMPARE(::link(QFile::encodeName(tree + "/src/first.txt").constData(),
                        QFile::encodeName(tree + "/src/second.txt").constData()),
                 0);
        const QString archive = m_work + "/linked.tar";
        QCOMPARE(testenv::runProcess("tar", {"-cf", archive, "-C", tree, "src"}).exitCode, 0);
        const QString out = m_work + "/out";
        Run run;
        run.extract(extractRequest(archive, out));
        QVERIFY(run.ok());
        for (const QString name : {"first.txt", "second.txt"})
            QCOMPARE(testenv::readFile(out + "/src/" + name), QByteArray("shared payload\n"));
        QCOMPARE(leftovers(out), QStringList());
    }

    void existingFiles_data()
    {
        // The target holds old a, b and c and the files "taken"; the archive, made by the 7z
        // tool or the own container, an empty a, new b, c and d.
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("mode");
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<Files>("taken");
        QTest::addColumn<Files>("expected"); // each answer for a question of its own
        const auto row = [](const char* type, const char* name) -> QTestData& {
            return QTest::addRow("%s, %s", type, name) << QString(type);
        };
        for (const char* type : {"7z", "qv"}) {
            row(type, "rename existing")
                << int(EOM_RENAME_EXISTING) << Answers() << Files{{"a_1.txt", "keep"}}
                << Files{{"a.txt", ""},          {"a_1.txt", "keep"},  {"a_2.txt", "old a"},
                         {"b.txt", "new b"},     {"b_1.txt", "old b"}, {"c.txt", "new c"},
                         {"c_1.txt", "old c"},   {"d.txt", "new d"}};
            // The earlier Skip must not be read as the answer to the next question.
            row(type, "each answer for its own question")
                << int(EOM_ASK) << Answers{{UA_SKIP, false}, {UA_REPLACE, false}, {UA_SKIP, false}}
                << Files()
                << Files{{"a.txt", "old a"}, {"b.txt", "new b"}, {"c.txt", "old c"},
                         {"d.txt", "new d"}};
            row(type, "skip for all asks once")
                << int(EOM_ASK) << Answers{{UA_SKIP, true}} << Files()
                << Files{{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"},
                         {"d.txt", "new d"}};
            row(type, "cancel stops and keeps the files")
                << int(EOM_ASK) << Answers{{UA_REPLACE, false}, {UA_CANCEL, true}} << Files()
                << Files{{"a.txt", ""}, {"b.txt", "old b"}, {"c.txt", "old c"}};
            row(type, "rename numbers the new file past a taken name")
                << int(EOM_ASK)
                << Answers{{UA_RENAME, false}, {UA_RENAME, false}, {UA_REPLACE, false}}
                << Files{{"b_1.txt", "taken"}}
                << Files{{"a.txt", "old a"},   {"a_1.txt", ""},       {"b.txt", "old b"},
                         {"b_1.txt", "taken"}, {"b_2.txt", "new b"}, {"c.txt", "new c"},
                         {"d.txt", "new d"}};
        }
    }

    void existingFiles()
    {
        QFETCH(QString, type);
        QFETCH(int, mode);
        QFETCH(Answers, answers);
        QFETCH(Files, taken);
        QFETCH(Files, expected);
        const QString tree = testenv::makeDir("conflicts");
        testenv::makeTree(
            tree, {{"a.txt", ""}, {"b.txt", "new b"}, {"c.txt", "new c"}, {"d.txt", "new d"}});
        const QString archive = type == "qv"
            ? packTree(m_work + "/conflict.qv", tree, ZF_QV)
            : makeWithPeer("conflict.7z", {}, tree, {"a.txt", "b.txt", "c.txt", "d.txt"});
        QVERIFY(!archive.isEmpty());
        const QString target = m_work + "/out";
        testenv::makeTree(target, {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"}});
        testenv::makeTree(target, taken);
        ExtractOptions options = extractRequest(archive, target);
        options.overwriteMode = mode;
        Run run;
        run.answerer.conflictAnswers = answers;
        run.extract(options);
        QVERIFY(run.finished);
        QCOMPARE(run.archive.failed(), !answers.isEmpty() && answers.last().action == UA_CANCEL);
        QCOMPARE(run.answerer.conflicts.size(), answers.size());
        if (!answers.isEmpty()) {
            QCOMPARE(run.answerer.conflicts.first(), target + "/a.txt");
            const QDateTime entryTime = QFileInfo(tree + "/a.txt").lastModified();
            QVERIFY(qAbs(run.answerer.conflictTimes.first().secsTo(entryTime)) <= 2);
        } else {
            // The answer is forgotten with the operation.
            QVERIFY(!UserActions::isChosen(static_cast<E_UserAction>(mode)));
        }
        QCOMPARE(run.answerer.errors, QStringList());
        QCOMPARE(treeContents(target), expected);
        QCOMPARE(leftovers(target), QStringList());
    }

    void folderThatCannotBeMadeAsks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("forAll");
        QTest::newRow("retry after the fix") << int(UA_RETRY) << false;
        QTest::newRow("skip for all") << int(UA_SKIP) << true;
        QTest::newRow("cancel") << int(UA_CANCEL) << false;
    }

    void folderThatCannotBeMadeAsks()
    {
        QFETCH(int, answer);
        QFETCH(bool, forAll);
        const QString tree = testenv::makeDir("blocked");
        testenv::makeTree(
            tree, {{"locked/new/a.txt", "a"}, {"locked/new/b.txt", "b"}, {"zz.txt", "after"}});
        // tar keeps the order given: the folders come before what follows them.
        const QString archive = makeWithPeer("blocked.tar", {"-ttar"}, tree, {"locked", "zz.txt"});
        const QString target = m_work + "/out";
        const QString locked = target + "/locked";
        QVERIFY(QDir().mkpath(locked));
        const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
        QVERIFY(QFile::setPermissions(locked, readOnly));
        Run run;
        run.answerer.accessAnswers = {{E_UserAction(answer), forAll}};
        run.answerer.beforeAccessAnswer = [&](const QString&) {
            if (answer == UA_RETRY)
                QFile::setPermissions(locked, readOnly | QFileDevice::WriteOwner);
        };
        {
            PermissionBitsApply asAnyone;
            run.extract(extractRequest(archive, target));
        }
        QFile::setPermissions(locked, readOnly | QFileDevice::WriteOwner);
        QVERIFY(run.finished);
        // Inside a skipped folder the answer given for all holds.
        QCOMPARE(run.answerer.accessQuestions, QStringList{locked + "/new"});
        QCOMPARE(run.answerer.errors, QStringList());
        QCOMPARE(run.archive.failed(), answer == UA_CANCEL);
        QCOMPARE(QFileInfo::exists(locked + "/new/a.txt"), answer == UA_RETRY);
        QCOMPARE(QFileInfo::exists(locked + "/new"), answer == UA_RETRY);
        QCOMPARE(QFileInfo::exists(target + "/zz.txt"), answer != UA_CANCEL);
        QCOMPARE(leftovers(target), QStringList());
    }

    void passwordQuestions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QStringList>("answers"); // "right": the archive's password
        QTest::addColumn<bool>("given");          // the request carries the password
        QTest::addColumn<int>("requests");
        const QMap<QString, QStringList> kinds = {
            {"7z, encrypted names", {"names.7z", "-mhe=on"}},
            {"7z, encrypted data", {"data.7z"}},
            {"zip", {"data.zip", "-tzip"}},
            {"zip, AES", {"aes.zip", "-tzip", "-mem=AES256"}}};
        for (auto it = kinds.cbegin(); it != kinds.cend(); ++it) {
            const QString name = it.value().first();
            const QStringList extra = it.value().mid(1);
            const QByteArray kind = it.key().toUtf8();
            QTest::addRow("%s, right after two wrong", kind.constData())
                << name << extra << QStringList{"wrong", "also wrong", "right"} << false << 3;
            // A cancelled request ends without a message.
            QTest::addRow("%s, cancelled after a wrong one", kind.constData())
                << name << extra << QStringList{"wrong"} << false << 2;
        }
        QTest::newRow("the request's password first")
            << "given.7z" << QStringList{"-mhe=on"} << QStringList() << true << 0;
    }

    void passwordQuestions()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, extra);
        QFETCH(QStringList, answers);
        QFETCH(bool, given);
        QFETCH(int, requests);
        const QString archive = makeEncrypted(name, extra);
        QVERIFY(!archive.isEmpty());
        const QString target = m_work + "/out";
        // A file an entry replaces: a wrong password never does.
        testenv::writeFile(target + "/top.txt", "mine");
        ExtractOptions options = extractRequest(archive, target);
        options.overwriteMode = EOM_OVERWRITE;
        if (given)
            options.password = passwordFor(name);
        Run first;
        first.answerer.passwords = answers.replaceInStrings("right", passwordFor(name));
        first.extract(options);
        QVERIFY(first.finished);
        QCOMPARE(first.answerer.passwordRequests, requests);
        QCOMPARE(first.answerer.errors, QStringList());
        QCOMPARE(leftovers(target), QStringList());
        const bool cancelled = !given && !answers.contains(passwordFor(name));
        QCOMPARE(first.archive.failed(), cancelled);
        QCOMPARE(first.archive.passwordCanceled(), cancelled);
        if (cancelled) {
            QCOMPARE(testenv::readFile(target + "/top.txt"), QByteArray("mine"));
            // Nothing half-written stays. With plain names the folders may, and an empty file,
            // which has no encrypted data.
            for (const QString& path : testenv::listTree(target))
                QVERIFY2(path.endsWith('/') || path == "top.txt" ||
                             QFileInfo(target + '/' + path).size() == 0,
                         qPrintable(path));
            return;
        }
        QCOMPARE(testenv::compareTrees(m_source, target), QString());
        // The unchanged file: the cache answers.
        const QString again = m_work + "/again";
        Run second;
        second.extract(extractRequest(archive, again));
        QVERIFY(second.ok());
        QCOMPARE(second.answerer.passwordRequests, 0);
        QCOMPARE(testenv::compareTrees(m_source, again), QString());
        // The same name for another file: asked anew.
        const QString moved = archive + ".moved";
        QVERIFY(QFile::copy(archive, moved));
        QVERIFY(QFile::remove(archive));
        QVERIFY(QFile::rename(moved, archive));
        Run third;
        third.answerer.passwords = QStringList{passwordFor(name)};
        third.extract(extractRequest(archive, m_work + "/third"));
        QVERIFY(third.ok());
        QCOMPARE(third.answerer.passwordRequests, 1);
    }

    void guiThreadOpenAsksThroughTheDialog()
    {
        const QString archive = makeEncrypted("gui.7z", {"-mhe=on"});
        int dialogs = 0;
        QStringList answers = {"wrong", kWidePassword};
        std::function<void(QWidget*)> answer = [&](QWidget* widget) {
            ++dialogs;
            auto* dialog = qobject_cast<PasswordDialog*>(widget);
            QVERIFY(dialog);
            dialog->findChild<QLineEdit*>()->setText(answers.takeFirst());
            QMetaObject::invokeMethod(dialog, "on_pbOk_clicked");
            if (!answers.isEmpty())
                testenv::whenModalAppears(answer, "PasswordDialog");
        };
        testenv::whenModalAppears(answer, "PasswordDialog");
        FileArchive reader;
        QVERIFY(reader.openArchive(archive));
        QCOMPARE(dialogs, 2);
        QCOMPARE(reader.getArchiveItemsCount(), testenv::listTree(m_source).size());
        QVERIFY(reader.isPasswordUsed());

        // Closing the dialog ends the open without a message.
        const QString other = makeEncrypted("gui-cancel.7z", {"-mhe=on"});
        testenv::whenModalAppears(
            [](QWidget* widget) { qobject_cast<QDialog*>(widget)->reject(); }, "PasswordDialog");
        FileArchive cancelled;
        QStringList messages;
        connect(&cancelled, &FileArchive::progressError,
                [&](const QString& message) { messages << message; });
        QVERIFY(!cancelled.openArchive(other));
        QVERIFY(cancelled.failed());
        QVERIFY(messages.isEmpty());
    }

    void refusedCachedPasswordIsNotTakenAgain()
    {
        // The 7z tool encrypts what each run adds with that run's password: one archive, two
        // passwords.
        const QString archive = m_work + "/mixed.7z";
        QCOMPARE(run7z({"a", "-pfirst", archive, "top.txt"}, m_source).exitCode, 0);
        QCOMPARE(run7z({"a", "-psecond", archive, "docs/a.txt"}, m_source).exitCode, 0);
        ExtractOptions one = extractRequest(archive, m_work + "/one");
        one.itemIndexes = {indexOfEntry(archive, "top.txt")};
        Run first;
        first.answerer.passwords = QStringList{"first"};
        first.extract(one);
        QVERIFY(first.ok());
        // The whole archive: the cached password fails on the other entry; from then on the user
        // is asked, and cancelling ends it.
        Run all;
        all.answerer.passwords = QStringList{"second"};
        all.archive.setExtractOptions(extractRequest(archive, m_work + "/all"));
        all.finished = runArchiveOperation(&all.archive, &all.answerer, {}, 60000);
        QVERIFY(all.failed());
        QVERIFY(all.archive.passwordCanceled());
        QCOMPARE(all.answerer.passwordRequests, 2);
        QVERIFY(all.answerer.errors.isEmpty());
    }

    void qvPasswordsAskedPerEntryUntilRight_data()
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

    void qvPasswordsAskedPerEntryUntilRight()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, requests);
        QFETCH(QStringList, extracted);
        const QString archive =
            layerArchive(m_work + "/two.qv", {{"first", {{"a.txt", qvbytes::text(5000)}}},
                                              {"second", {{"b.txt", randomBytes(5000)}}}});
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

    void qvFailedEntriesReportedOnceNotRetried()
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
        QVERIFY(damaged.failed());
        QCOMPARE(damaged.answerer.passwordRequests, 0);
        QCOMPARE(damaged.answerer.errors,
                 QStringList{"These entries of " + archive +
                             " were not extracted: their data is damaged: bad.txt"});
        QCOMPARE(testenv::listTree(m_work + "/out1"), QStringList{"good.txt"});

        // A full disk while writing a scrambled entry: the password is not asked again for it.
        archive = layerArchive(
            m_work + "/big.qv",
            {{kWidePassword, {{"big.bin", randomBytes(600000)}, {"small.txt", "small"}}}});
        Run full;
        full.answerer.passwords = QStringList{kWidePassword};
        {
            testenv::FileSizeLimit limit(256 * 1024);
            full.extract(extractRequest(archive, m_work + "/out2"));
        }
        QVERIFY(full.failed());
        QCOMPARE(full.answerer.passwordRequests, 1);
        QCOMPARE(full.answerer.errors,
                 QStringList{"Cannot write file " + m_work + "/out2/big.bin: File too large"});
        QCOMPARE(testenv::listTree(m_work + "/out2"), QStringList{"small.txt"});
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
        // Every name exactly as stored: hostile ones are not cleaned.
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
            if (e.kind == ta::Entry::Hardlink)
                QCOMPARE(item->value("Hard Link").toUtf8(), e.data);
            else
                QCOMPARE(item->value("Folder"), QString(e.kind == ta::Entry::Dir ? "+" : "-"));
            // RAR 5 and tar name a link's target; ZIP and RAR 4 keep it as the entry's data.
            if (e.kind == ta::Entry::Symlink && (format == "rar5" || format == "tar"))
                QCOMPARE(item->value("Symbolic Link").toUtf8(), e.data);
        }
        QVERIFY(set != "sample" || passes7zTest(archive));
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
        QCOMPARE(run.answerer.errors.size(), 1);
        const QString message = run.answerer.errors.first();
        for (const char* name : {"../evil.txt", "a/../../evil2.txt", "link/evil4.txt"})
            QVERIFY2(message.contains(name), qPrintable(message));
        const QRegularExpression notInTarget("^(?!deep/target/)");
        QCOMPARE(testenv::listTree(m_work + "/place").filter(notInTarget),
                 QStringList({"deep/", "outside/"}));
        QVERIFY(!QFileInfo::exists(m_work + "/evil.txt"));
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
        QCOMPARE(run.answerer.errors.size(), 2);
        QCOMPARE(run.answerer.errors.first(),
                 QString("The archive %1 is damaged: unexpected end of archive").arg(archive));
        QVERIFY2(run.answerer.errors.last().contains("damaged: b.bin ("),
                 qPrintable(run.answerer.errors.last()));
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

    // An archive of the given files (their top-level names) made by the peer.
    QString makeWithPeer(const QString& name, const QStringList& arguments, const QString& workDir,
                         const QStringList& tops = {"docs", "top.txt", "zero.txt", "мир", "void"})
    {
        const QString archive = m_work + '/' + name;
        const auto made =
            run7z(QStringList{"a"} + arguments + QStringList{archive} + tops, workDir);
        if (made.exitCode != 0)
            qWarning() << made.out << made.err;
        return made.exitCode == 0 ? archive : QString();
    }

    QString makeEncrypted(const QString& name, const QStringList& extra)
    {
        return makeWithPeer(name, QStringList{"-p" + passwordFor(name)} + extra, m_source,
                            topLevelPaths(m_source));
    }

    QString m_source;
};

QUENVAR_TEST_MAIN(TestArchiveExtract)
#include "tst_archiveextract.moc"
