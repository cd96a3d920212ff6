// Passwords of archives made by the 7z tool: asked again after a wrong
// answer, a cancelled request ends without a message, and a second use of
// the unchanged file takes the password from the cache. On a worker
// thread the question goes out as a signal; on the GUI thread the password
// dialog asks. The own container asks per entry, each entry's own password,
// and never takes damaged data or a full disk for a wrong password.
#include "archivetestsupport.h"
#include "common/archivesuite.h"

#include "engine/zipapi.h"
#include "ui/passworddialog.h"

#include <QLineEdit>

using namespace archivetest;

namespace {
// ZIP's own scrambling takes single-byte passwords only.
const QString kPassword = "s3cret pass";
const QString kWidePassword = "s3cret ✓ пароль";

QString passwordFor(const QString& archive)
{
    return archive.endsWith(".7z") ? kWidePassword : kPassword;
}
} // namespace

class TestArchivePasswords : public ArchiveSuite
{
    Q_OBJECT

private slots:
    void initTestCase();

    void passwordQuestions_data();
    void passwordQuestions();
    void guiThreadOpenAsksThroughTheDialog();
    void wrongPasswordNeverReplacesAFile();
    void refusedCachedPasswordIsNotTakenAgain();
    void qvPasswordsAskedPerEntryUntilRight_data();
    void qvPasswordsAskedPerEntryUntilRight();
    void qvFailedEntriesReportedOnceNotRetried();

private:
    QString makeEncrypted(const QString& name, const QStringList& extra);

    QString m_source;
};

void TestArchivePasswords::initTestCase()
{
    ArchiveSuite::initTestCase();
    m_source = testenv::makeDir("source");
    makeSampleTree(m_source);
}

QString TestArchivePasswords::makeEncrypted(const QString& name, const QStringList& extra)
{
    const QString archive = m_work + '/' + name;
    const QString password = passwordFor(name);
    const testenv::ProcessResult made = run7z(QStringList{"a", "-p" + password} + extra +
                                                  QStringList{archive} + topLevelPaths(m_source),
                                              m_source);
    return made.exitCode == 0 ? archive : QString();
}

void TestArchivePasswords::passwordQuestions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QStringList>("answers"); // "right": the archive's password
    QTest::addColumn<bool>("given"); // the request carries the password
    QTest::addColumn<int>("requests");
    const QMap<QString, QStringList> kinds = {{"7z, encrypted names", {"names.7z", "-mhe=on"}},
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

void TestArchivePasswords::passwordQuestions()
{
    QFETCH(QString, name);
    QFETCH(QStringList, extra);
    QFETCH(QStringList, answers);
    QFETCH(bool, given);
    QFETCH(int, requests);
    const QString archive = makeEncrypted(name, extra);
    QVERIFY(!archive.isEmpty());
    const QString target = m_work + "/out";
    ExtractOptions options = extractRequest(archive, target);
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
        // Nothing half-written stays. With plain names the folders may, and
        // an empty file, which has no encrypted data.
        for (const QString& path : testenv::listTree(target))
            QVERIFY2(path.endsWith('/') || QFileInfo(target + '/' + path).size() == 0,
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

void TestArchivePasswords::guiThreadOpenAsksThroughTheDialog()
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

    // Opened once, it is known for the rest of the run.
    FileArchive again;
    QVERIFY(again.openArchive(archive));
    QCOMPARE(dialogs, 2);

    // Closing the dialog ends the open without a message.
    const QString other = makeEncrypted("gui-cancel.7z", {"-mhe=on"});
    testenv::whenModalAppears([](QWidget* widget) { qobject_cast<QDialog*>(widget)->reject(); },
                              "PasswordDialog");
    FileArchive cancelled;
    QStringList messages;
    connect(&cancelled, &FileArchive::progressError,
            [&](const QString& message) { messages << message; });
    QVERIFY(!cancelled.openArchive(other));
    QVERIFY(cancelled.failed());
    QVERIFY(messages.isEmpty());
}

void TestArchivePasswords::wrongPasswordNeverReplacesAFile()
{
    const QString archive = makeEncrypted("keep.zip", {"-tzip"});
    const QString target = m_work + "/out";
    testenv::writeFile(target + "/top.txt", "mine");
    ExtractOptions options = extractRequest(archive, target);
    options.overwriteMode = EOM_OVERWRITE;
    Run run;
    run.answerer.passwords = QStringList{"wrong"};
    run.extract(options);
    QVERIFY(run.archive.failed());
    QCOMPARE(testenv::readFile(target + "/top.txt"), QByteArray("mine"));
    QVERIFY(leftovers(target).isEmpty());
}

void TestArchivePasswords::refusedCachedPasswordIsNotTakenAgain()
{
    // The 7z tool encrypts what each run adds with that run's password: one
    // archive, two passwords.
    const QString archive = m_work + "/mixed.7z";
    QCOMPARE(
        run7z({QString("a"), QString("-pfirst"), archive, QString("top.txt")}, m_source).exitCode,
        0);
    QCOMPARE(run7z({QString("a"), QString("-psecond"), archive, QString("docs/a.txt")}, m_source)
                 .exitCode,
             0);
    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    int top = -1;
    for (const ArchiveItemInfo& item : reader.archiveItems()) {
        if (item.name == "top.txt")
            top = int(item.index);
    }
    QVERIFY(top >= 0);

    // The first password extracts its entry and is cached.
    ExtractOptions one = extractRequest(archive, m_work + "/one");
    one.itemIndexes = {top};
    Run first;
    first.answerer.passwords = QStringList{"first"};
    first.extract(one);
    QVERIFY(first.ok());

    // The whole archive: the cached password fails on the other entry; from
    // then on the user is asked, and cancelling ends it.
    Run all;
    all.answerer.passwords = QStringList{"second"};
    all.archive.setExtractOptions(extractRequest(archive, m_work + "/all"));
    all.finished = runArchiveOperation(&all.archive, &all.answerer, {}, 60000);
    QVERIFY(all.finished);
    QVERIFY(all.archive.failed());
    QVERIFY(all.archive.passwordCanceled());
    QCOMPARE(all.answerer.passwordRequests, 2);
    QVERIFY(all.answerer.errors.isEmpty());
}

void TestArchivePasswords::qvPasswordsAskedPerEntryUntilRight_data()
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

void TestArchivePasswords::qvPasswordsAskedPerEntryUntilRight()
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

void TestArchivePasswords::qvFailedEntriesReportedOnceNotRetried()
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
        {{kWidePassword, {{"big.bin", testenv::randomBytes(600000)}, {"small.txt", "small"}}}});
    Run full;
    full.answerer.passwords = QStringList{kWidePassword};
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

QUENVAR_TEST_MAIN(TestArchivePasswords)
#include "tst_archivepasswords.moc"
