// Passwords of archives made by the 7z tool: asked once, asked again after a
// wrong answer, a cancelled request ends without a message, and a second use
// of the unchanged file takes the password from the cache. On a worker
// thread the question goes out as a signal; on the GUI thread the password
// dialog asks.
#include "archivetestsupport.h"

#include "engine/MyCom.h"
#include "engine/zipapi.h"
#include "ui/passworddialog.h"

#include <QLineEdit>

using namespace archivetest;

namespace {
// ZIP's own scrambling takes single-byte passwords only.
const QString kPassword = QStringLiteral("s3cret pass");
const QString kWidePassword = QStringLiteral("s3cret ✓ пароль");

QString passwordFor(const QString& archive)
{
    return archive.endsWith(QLatin1String(".7z")) ? kWidePassword : kPassword;
}
}

class TestArchivePasswords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void wrongAnswerAsksAgainThenCacheAnswers_data();
    void wrongAnswerAsksAgainThenCacheAnswers();
    void cancelledRequestEndsSilently_data();
    void cancelledRequestEndsSilently();
    void passwordOfTheRequestIsUsedFirst();
    void guiThreadOpenAsksThroughTheDialog();
    void wrongPasswordNeverReplacesAFile();
    void refusedCachedPasswordIsNotTakenAgain();

private:
    QString makeEncrypted(const QString& name, const QStringList& extra);

    QString m_source;
    QString m_work;
};

void TestArchivePasswords::initTestCase()
{
    QVERIFY2(InitGetProc(), "the engine library is needed");
    m_source = testenv::makeDir(QStringLiteral("source"));
    makeSampleTree(m_source);
}

void TestArchivePasswords::init()
{
    m_work = testenv::makeDir(QStringLiteral("work"));
    UserActions::reset();
}

void TestArchivePasswords::cleanup()
{
    StreamBase::waitForFlushFinished();
    QCOMPARE(CMyUnknownImp::liveObjects(), 0);
    QDir(m_work).removeRecursively();
}

QString TestArchivePasswords::makeEncrypted(const QString& name, const QStringList& extra)
{
    const QString archive = m_work + QLatin1Char('/') + name;
    const QString password = passwordFor(name);
    const testenv::ProcessResult made =
        peer(QStringList{QStringLiteral("a"), QStringLiteral("-p") + password} + extra + QStringList{archive} +
                 topLevelPaths(m_source),
             m_source);
    return made.exitCode == 0 ? archive : QString();
}

void TestArchivePasswords::wrongAnswerAsksAgainThenCacheAnswers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("extra");
    QTest::newRow("7z, encrypted names") << "names.7z" << QStringList{QStringLiteral("-mhe=on")};
    QTest::newRow("7z, encrypted data") << "data.7z" << QStringList();
    QTest::newRow("zip") << "data.zip" << QStringList{QStringLiteral("-tzip")};
    QTest::newRow("zip, AES") << "aes.zip" << QStringList{QStringLiteral("-tzip"), QStringLiteral("-mem=AES256")};
}

void TestArchivePasswords::wrongAnswerAsksAgainThenCacheAnswers()
{
    QFETCH(QString, name);
    QFETCH(QStringList, extra);
    const QString archive = makeEncrypted(name, extra);
    QVERIFY(!archive.isEmpty());

    const QString target = m_work + QStringLiteral("/out");
    Run first;
    first.answerer.passwords = QStringList{QStringLiteral("wrong"), QStringLiteral("also wrong"), passwordFor(name)};
    first.extract(extractRequest(archive, target));
    QVERIFY(first.ok());
    QCOMPARE(first.answerer.passwordRequests, 3);
    QVERIFY(first.answerer.errors.isEmpty());
    QCOMPARE(testenv::compareTrees(m_source, target), QString());
    QVERIFY(leftovers(target).isEmpty());

    // The unchanged file: the cache answers.
    const QString again = m_work + QStringLiteral("/again");
    Run second;
    second.extract(extractRequest(archive, again));
    QVERIFY(second.ok());
    QCOMPARE(second.answerer.passwordRequests, 0);
    QCOMPARE(testenv::compareTrees(m_source, again), QString());

    // The same name for another file: asked anew.
    const QString moved = archive + QStringLiteral(".moved");
    QVERIFY(QFile::copy(archive, moved));
    QVERIFY(QFile::remove(archive));
    QVERIFY(QFile::rename(moved, archive));
    Run third;
    third.answerer.passwords = QStringList{passwordFor(name)};
    third.extract(extractRequest(archive, m_work + QStringLiteral("/third")));
    QVERIFY(third.ok());
    QCOMPARE(third.answerer.passwordRequests, 1);
}

void TestArchivePasswords::cancelledRequestEndsSilently_data()
{
    wrongAnswerAsksAgainThenCacheAnswers_data();
}

void TestArchivePasswords::cancelledRequestEndsSilently()
{
    QFETCH(QString, name);
    QFETCH(QStringList, extra);
    const QString archive = makeEncrypted(QStringLiteral("cancel-") + name, extra);
    QVERIFY(!archive.isEmpty());
    const QString target = m_work + QStringLiteral("/out");
    Run run;
    run.answerer.passwords = QStringList{QStringLiteral("wrong")};
    run.extract(extractRequest(archive, target));
    QVERIFY(run.finished);
    QVERIFY(run.archive.failed());
    QVERIFY(run.archive.passwordCanceled());
    QCOMPARE(run.answerer.passwordRequests, 2);
    QVERIFY(run.answerer.errors.isEmpty());
    // Nothing half-written stays. With plain names the folders may, and an
    // empty file, which has no encrypted data.
    for (const QString& path : testenv::listTree(target))
        QVERIFY2(path.endsWith(QLatin1Char('/')) || QFileInfo(target + QLatin1Char('/') + path).size() == 0,
                 qPrintable(path));
    QVERIFY(leftovers(target).isEmpty());
}

void TestArchivePasswords::passwordOfTheRequestIsUsedFirst()
{
    const QString archive = makeEncrypted(QStringLiteral("given.7z"), {QStringLiteral("-mhe=on")});
    ExtractOptions options = extractRequest(archive, m_work + QStringLiteral("/out"));
    options.password = kWidePassword;
    Run run;
    run.extract(options);
    QVERIFY(run.ok());
    QCOMPARE(run.answerer.passwordRequests, 0);
    QCOMPARE(testenv::compareTrees(m_source, options.targetDirectory), QString());
}

void TestArchivePasswords::guiThreadOpenAsksThroughTheDialog()
{
    const QString archive = makeEncrypted(QStringLiteral("gui.7z"), {QStringLiteral("-mhe=on")});
    int dialogs = 0;
    QStringList answers = {QStringLiteral("wrong"), kWidePassword};
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
    const QString other = makeEncrypted(QStringLiteral("gui-cancel.7z"), {QStringLiteral("-mhe=on")});
    testenv::whenModalAppears([](QWidget* widget) { qobject_cast<QDialog*>(widget)->reject(); }, "PasswordDialog");
    FileArchive cancelled;
    QStringList messages;
    connect(&cancelled, &FileArchive::progressError, [&](const QString& message) { messages << message; });
    QVERIFY(!cancelled.openArchive(other));
    QVERIFY(cancelled.failed());
    QVERIFY(messages.isEmpty());
}

void TestArchivePasswords::wrongPasswordNeverReplacesAFile()
{
    const QString archive = makeEncrypted(QStringLiteral("keep.zip"), {QStringLiteral("-tzip")});
    const QString target = m_work + QStringLiteral("/out");
    testenv::writeFile(target + QStringLiteral("/top.txt"), "mine");
    ExtractOptions options = extractRequest(archive, target);
    options.overwriteMode = EOM_OVERWRITE;
    Run run;
    run.answerer.passwords = QStringList{QStringLiteral("wrong")};
    run.extract(options);
    QVERIFY(run.archive.failed());
    QCOMPARE(testenv::readFile(target + QStringLiteral("/top.txt")), QByteArray("mine"));
    QVERIFY(leftovers(target).isEmpty());
}

void TestArchivePasswords::refusedCachedPasswordIsNotTakenAgain()
{
    // The 7z tool encrypts what each run adds with that run's password: one
    // archive, two passwords.
    const QString archive = m_work + QStringLiteral("/mixed.7z");
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-pfirst"), archive, QStringLiteral("top.txt")}, m_source).exitCode, 0);
    QCOMPARE(peer({QStringLiteral("a"), QStringLiteral("-psecond"), archive, QStringLiteral("docs/a.txt")}, m_source).exitCode, 0);
    FileArchive reader;
    QVERIFY(reader.openArchive(archive));
    int top = -1;
    for (const ArchiveItemInfo& item : reader.archiveItems()) {
        if (item.name == QLatin1String("top.txt"))
            top = int(item.index);
    }
    QVERIFY(top >= 0);

    // The first password extracts its entry and is cached.
    ExtractOptions one = extractRequest(archive, m_work + QStringLiteral("/one"));
    one.itemIndexes = {top};
    Run first;
    first.answerer.passwords = QStringList{QStringLiteral("first")};
    first.extract(one);
    QVERIFY(first.ok());

    // The whole archive: the cached password fails on the other entry; from
    // then on the user is asked, and cancelling ends it.
    Run all;
    all.answerer.passwords = QStringList{QStringLiteral("second")};
    all.archive.setExtractOptions(extractRequest(archive, m_work + QStringLiteral("/all")));
    all.finished = runArchiveOperation(&all.archive, &all.answerer, {}, 60000);
    QVERIFY(all.finished);
    QVERIFY(all.archive.failed());
    QVERIFY(all.archive.passwordCanceled());
    QCOMPARE(all.answerer.passwordRequests, 2);
    QVERIFY(all.answerer.errors.isEmpty());
}

QUENVAR_TEST_MAIN(TestArchivePasswords)
#include "tst_archivepasswords.moc"
