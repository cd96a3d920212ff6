// The own container written and read back: passwords, raw copies as updates
// make them, the extraction target, progress and failing writes.
#include "common/qvbytes.h"

#include "engine/ArchiveProgress.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <thread>

using namespace qvbytes;

namespace {

struct Item
{
    QString name;
    QByteArray data;
    int level;
};

// Levels change per entry, so every entry goes in through an append.
bool writeLevels(const QString& path, const QString& password, const QList<Item>& items)
{
    bool ok = writeArchive(path, 6, password, {});
    for (const Item& item : items) {
        zip_t* zip = zip_open(path, item.level, 'a', -1, password);
        ok = ok && zip && addEntry(zip, item.name, item.data) == 0;
        ok = zip_close(zip) == 0 && ok;
    }
    return ok;
}

// Copies the given source entries into a new target, renamed where a name is
// given ("name/" for a folder).
bool copyEntries(const QString& source, const QString& sourcePassword, const QString& target,
                 const QList<QPair<int, QString>>& picks, ZipError* error = nullptr)
{
    zip_t* src = zip_open(source, 0, 'r', -1, sourcePassword);
    zip_t* dest = zip_open(target, 0, 'w', -1, QString());
    bool ok = src && dest;
    for (int i = 0; ok && i < picks.size(); ++i) {
        QString name = picks[i].second;
        const bool folder = name.endsWith('/');
        name.chop(folder ? 1 : 0);
        ok = mz_zip_writer_add_from_zip_reader(dest, src, picks[i].first, name, folder);
    }
    if (error)
        *error = zip_last_error(dest);
    zip_close(src);
    return zip_close(dest) == 0 && ok;
}

QList<QPair<int, QString>> indexes(const QList<int>& list)
{
    QList<QPair<int, QString>> picks;
    for (int index : list)
        picks.append({index, QString()});
    return picks;
}

// Counts the conflict check's questions and lets every file be written.
int g_checks = 0;
int countingCheck(FileArchive*, QString&, const QDateTime&)
{
    ++g_checks;
    return ZIP_ANSWER_PROCEED;
}

} // namespace

class TestQvRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void passwordsHideEveryEntry_data();
    void passwordsHideEveryEntry();
    void appendedEntriesKeepTheirOwnPassword();
    void failedExtractionKeepsExistingFile();
    void replacingGivesOnlyTheOwnerWriteAccess();
    void cancelLeavesNothing();
    void failedWritesFailTheEntry();
    void refusedOpens();
    void scrambledEntriesStayReadableWhenMoved_data();
    void scrambledEntriesStayReadableWhenMoved();
    void copyingScrambledData_data();
    void copyingScrambledData();
    void archivesOfTheOriginalRuleStayReadable_data();
    void archivesOfTheOriginalRuleStayReadable();

private:
    QString m_dir;
};

void TestQvRoundTrip::initTestCase()
{
    m_dir = testenv::makeDir("qvroundtrip");
}

void TestQvRoundTrip::init()
{
    zip_set_conflict_check(nullptr);
    g_checks = 0;
}

void TestQvRoundTrip::passwordsHideEveryEntry_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("level");
    for (const auto& kind : kindsOfPassword())
        for (int level : {0, 6})
            QTest::addRow("%s, level %d", kind.first.constData(), level) << kind.second << level;
}

void TestQvRoundTrip::passwordsHideEveryEntry()
{
    QFETCH(QString, password);
    QFETCH(int, level);
    const QString path = m_dir + "/hidden.qv";
    const QList<QPair<QString, QByteArray>> items = {{"a.txt", text(5000)}, {"b.txt", text(300)}};
    QVERIFY(writeArchive(path, level, password, items));
    const QByteArray archive = testenv::readFile(path);
    const QVector<Listed> listed = parse(archive);
    // As long and of the same script: under the original rule every such
    // Cyrillic or CJK password opened the archive.
    QString shifted;
    for (const QChar c : password)
        shifted += QChar(c.unicode() + 1);
    const QStringList wrong
        = {QString(), shifted, password.left(password.size() - 1), password + ' ', "w"};
    const QString out = m_dir + "/hidden.out";
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    // Listed without the password.
    QCOMPARE(names(zip), QStringList({"a.txt", "b.txt"}));
    for (int i = 0; i < items.size(); ++i) {
        // Neither zlib nor a look at the bytes gives the contents back: no
        // byte of a stored entry is left as it was.
        const QByteArray data = dataOf(archive, listed[i]);
        QVERIFY(inflateRaw(data) != items[i].second);
        for (int k = 0; level == 0 && k < data.size(); ++k)
            QVERIFY(data[k] != items[i].second[k]);
        QCOMPARE(zip_entry_openbyindex(zip, i), 0);
        QVERIFY(zip_entry_encrypted(zip));
        QCOMPARE(zip_entry_size(zip), uint64_t(items[i].second.size()));
        for (const QString& guess : wrong) {
            zip_set_password(zip, guess);
            QVERIFY2(extract(zip, i, out) == -1, qPrintable(guess));
            QCOMPARE(zip_last_error(zip), ZIP_EDATA);
            QVERIFY(!QFile::exists(out));
        }
        zip_set_password(zip, password);
        QCOMPARE(extract(zip, i, out), 0);
        QCOMPARE(testenv::readFile(out), items[i].second);
        QVERIFY(QFile::remove(out));
    }
    zip_close(zip);
}

void TestQvRoundTrip::appendedEntriesKeepTheirOwnPassword()
{
    // An update copies the unchanged entries into a new file and appends the
    // new ones under the request's password, or none: the password given for
    // one kind of entry must not garble the others.
    const QString source = m_dir + "/update.qv";
    const QByteArray gone = testenv::randomBytes(4000);
    QVERIFY(writeArchive(source, 6, "old", {{"gone", gone}, {"kept", text(6000)}}));
    const QString target = m_dir + "/update_tmp1.qv";
    QVERIFY(copyEntries(source, "old", target, indexes({1})));
    for (const QString& password : {QString("new"), QString()}) {
        zip_t* zip = zip_open(target, 6, 'a', -1, password);
        QVERIFY(zip);
        QCOMPARE(addEntry(zip, password.isEmpty() ? "open" : "added", text(700 + password.size())),
                 0);
        QCOMPARE(zip_close(zip), 0);
    }
    QCOMPARE(extracted(target, "old", 0), text(6000));
    QCOMPARE(extracted(target, "new", 1), text(703));
    QCOMPARE(extracted(target, "old", 2), text(700));
    zip_t* zip = zip_open(target, 0, 'r', -1, QString());
    QCOMPARE(zip_entry_openbyindex(zip, 2), 0);
    QVERIFY(!zip_entry_encrypted(zip));
    zip_close(zip);
    QCOMPARE(extracted(source, "old", 0), gone);
}

void TestQvRoundTrip::failedExtractionKeepsExistingFile()
{
    const QString path = m_dir + "/keep.qv";
    QVERIFY(writeArchive(path, 6, "pw", {{"k.txt", text(200000)}, {"e.txt", {}}}));
    const QString out = m_dir + "/keep.txt";
    QVERIFY(testenv::writeFile(out, "precious"));
    zip_set_conflict_check(countingCheck);
    zip_t* zip = zip_open(path, 0, 'r', -1, "wrong");
    // The data fails before anything would be written: nobody is asked.
    QCOMPARE(extract(zip, 0, out), -1);
    QCOMPARE(g_checks, 0);
    QCOMPARE(extract(zip, 1, out), -1);
    // Nothing else is left behind in the folder either.
    QCOMPARE(testenv::readFile(out), QByteArray("precious"));
    QCOMPARE(QDir(m_dir).entryList({"keep*"}, QDir::Files | QDir::Hidden),
             QStringList({"keep.qv", "keep.txt"}));
    zip_set_password(zip, "pw");
    QCOMPARE(extract(zip, 0, out), 0);
    QCOMPARE(g_checks, 2);
    zip_close(zip);
}

void TestQvRoundTrip::replacingGivesOnlyTheOwnerWriteAccess()
{
    const QString path = m_dir + "/perm.qv";
    QVERIFY(writeArchive(path, 6, QString(), {{"p.txt", "replaced"}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    using P = QFileDevice;
    // Owner, group and others; the "user" bits only say what this process may do.
    const auto modeBits = [](const QString& file) {
        return QFile::permissions(file) & ~(P::ReadUser | P::WriteUser | P::ExeUser);
    };
    const QList<QPair<P::Permissions, P::Permissions>> cases
        = {{P::ReadOwner | P::ReadGroup | P::ReadOther,
            P::ReadOwner | P::WriteOwner | P::ReadGroup | P::ReadOther},
           {P::ReadOwner | P::WriteOwner, P::ReadOwner | P::WriteOwner}};
    for (const auto& mode : cases) {
        const QString file = m_dir + "/mode.txt";
        QFile::remove(file);
        QVERIFY(testenv::writeFile(file, "old"));
        QVERIFY(QFile::setPermissions(file, mode.first));
        QCOMPARE(extract(zip, 0, file), 0);
        QCOMPARE(testenv::readFile(file), QByteArray("replaced"));
        QCOMPARE(modeBits(file), mode.second);
    }
    // A folder where the file should go fails the entry.
    QVERIFY(QDir().mkpath(m_dir + "/adir"));
    QCOMPARE(extract(zip, 0, m_dir + "/adir"), -1);
    QCOMPARE(zip_last_error(zip), ZIP_EWRITE);
    zip_close(zip);
}

void TestQvRoundTrip::cancelLeavesNothing()
{
    const QString path = m_dir + "/cancel.qv";
    QVERIFY(writeArchive(path, 6, QString(), {{"big.bin", testenv::randomBytes(1 << 20)}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    const QString out = m_dir + "/cancel.bin";
    // Cancelled: stops after the first chunk, nothing written.
    ArchiveProgress cancelled;
    cancelled.canceled = true;
    QCOMPARE(extract(zip, 0, out, &cancelled), -1);
    QCOMPARE(zip_last_error(zip), ZIP_ECANCELED);
    QVERIFY(!QFile::exists(out));
    QVERIFY(cancelled.completed.load() > 0 && cancelled.completed.load() <= 65536);

    // Cancelling while paused ends at once.
    QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
    ArchiveProgress progress;
    progress.paused = true;
    std::atomic<int> result{1};
    std::thread worker([&] { result = zip_entry_fread(zip, out, nullptr, &progress); });
    QTRY_VERIFY(progress.completed.load() > 0);
    progress.canceled = true;
    worker.join();
    QCOMPARE(result.load(), -1);
    QVERIFY(!QFile::exists(out));
    zip_close(zip);
}

void TestQvRoundTrip::failedWritesFailTheEntry()
{
    // The second volume is a device that is always full.
    for (int level : {0, 6}) {
        const QString path = m_dir + QString("/full%1.qv").arg(level);
        QVERIFY(QFile::link("/dev/full", path + ".002"));
        zip_t* zip = zip_open(path, level, 'w', 200, QString());
        QVERIFY(zip);
        QCOMPARE(addEntry(zip, "fits", "0123456789"), 0);
        QCOMPARE(zip_entry_open_last_access(zip, L"overflows", 1), 0);
        const QByteArray data = testenv::randomBytes(200000);
        QCOMPARE(zip_entry_write(zip, data.constData(), size_t(data.size())), -1);
        QCOMPARE(zip_entry_write(zip, data.constData(), size_t(data.size())), -1);
        QCOMPARE(zip_entry_close(zip), -1);
        QCOMPARE(zip_last_error(zip), ZIP_EWRITE);
        // The archive goes on without the failed entry.
        QCOMPARE(zip_close(zip), 0);
        zip = zip_open(path + ".001", 0, 'r', -1, QString());
        QCOMPARE(names(zip), QStringList({"fits"}));
        zip_close(zip);
        QCOMPARE(extracted(path + ".001", QString(), 0), QByteArray("0123456789"));
    }
    // Finalising on a full device fails and says so.
    const QString path = m_dir + "/fullend.qv";
    QVERIFY(QFile::link("/dev/full", path + ".002"));
    zip_t* zip = zip_open(path, 0, 'w', 100, QString());
    QCOMPARE(addEntry(zip, "x", "0123456789"), 0);
    QCOMPARE(zip_close(zip), -1);

    // An entry left open at the close is left out.
    const QString abandoned = m_dir + "/abandoned.qv";
    zip = zip_open(abandoned, 6, 'w', -1, QString());
    QCOMPARE(addEntry(zip, "kept.txt", text(500)), 0);
    QCOMPARE(zip_entry_open_last_access(zip, L"half", 1), 0);
    const QByteArray half = testenv::randomBytes(300000);
    QCOMPARE(zip_entry_write(zip, half.constData(), size_t(half.size())), 0);
    QCOMPARE(zip_close(zip), 0);
    zip = zip_open(abandoned, 0, 'r', -1, QString());
    QCOMPARE(names(zip), QStringList({"kept.txt"}));
    zip_close(zip);
    QVERIFY(QFileInfo(abandoned).size() < 2000);
}

void TestQvRoundTrip::refusedOpens()
{
    const QString path = m_dir + "/refused.qv";
    for (qint64 volume : {qint64(0), qint64(-5), qint64(0x80000000LL), qint64(1) << 33})
        for (char mode : {'w', 'r', 'a'})
            QVERIFY(!zip_open(path, 6, mode, volume, QString()));
    QVERIFY(!zip_open(path, 11, 'w', -1, QString()));
    QVERIFY(!zip_open(m_dir + "/missing/x.qv", 6, 'w', -1, QString()));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!QFile::exists(path + ".001"));
    // A single file cannot be appended to as volumes.
    QVERIFY(writeArchive(path, -1, QString(), {{"d", text(100)}}));
    QVERIFY(!zip_open(path, 6, 'a', 1000, QString()));
    // A negative level is the default deflate.
    QCOMPARE(parse(testenv::readFile(path)).value(0).method, uint16_t(8));
}

void TestQvRoundTrip::scrambledEntriesStayReadableWhenMoved_data()
{
    QTest::addColumn<QString>("password");
    for (const QString& password :
         {QString("k"), QString("pw"), QString("abc"), QString("four"), QString("secret"),
          QString::fromUtf8("семь7ми"), QString(41, 'L')})
        QTest::newRow(qPrintable(QString("length %1").arg(password.size()))) << password;
}

void TestQvRoundTrip::scrambledEntriesStayReadableWhenMoved()
{
    QFETCH(QString, password);
    const QString source = m_dir + "/scrambled.qv";
    const QList<Item> items = {{"a", text(1000), 6}, {"bb", testenv::randomBytes(777), 6},
                               {"ccc", text(90000), 6}, {"d", testenv::randomBytes(100001), 6},
                               {"stored", text(70000), 0}};
    QVERIFY(writeLevels(source, password, items));
    // Dropping the first entry moves every other one by a different amount
    // than dropping the second.
    for (const QList<int>& picks :
         {QList<int>{1, 2, 3, 4}, QList<int>{0, 2, 3, 4}, QList<int>{4, 3, 2, 1, 0}}) {
        const QString target = m_dir + "/scrambled-copy.qv";
        ZipError error = ZIP_ENOERROR;
        QVERIFY(copyEntries(source, password, target, indexes(picks), &error));
        QCOMPARE(error, ZIP_ENOERROR);
        for (int i = 0; i < picks.size(); ++i)
            QCOMPARE(extracted(target, password, i), items[picks[i]].data);
        // And a copy of the copy, moved once more.
        const QString again = m_dir + "/scrambled-again.qv";
        QVERIFY(copyEntries(target, password, again, indexes({picks.size() - 1, 0})));
        QCOMPARE(extracted(again, password, 0), items[picks.last()].data);
        QCOMPARE(extracted(again, password, 1), items[picks.first()].data);
    }
}

void TestQvRoundTrip::copyingScrambledData_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("error");
    QTest::newRow("unmoved, no password") << QString() << 0 << int(ZIP_ENOERROR);
    QTest::newRow("moved deflate, no password") << QString() << 1 << int(ZIP_EPASSWORD);
    QTest::newRow("moved stored, no password") << QString() << 2 << int(ZIP_EPASSWORD);
    QTest::newRow("wrong password") << "wrong" << 1 << int(ZIP_EDATA);
    // A one-character key divides every move, yet the data is still checked.
    QTest::newRow("one-character wrong password") << "w" << 1 << int(ZIP_EDATA);
    QTest::newRow("right password") << "right" << 1 << int(ZIP_ENOERROR);
}

void TestQvRoundTrip::copyingScrambledData()
{
    QFETCH(QString, password);
    QFETCH(int, index);
    QFETCH(int, error);
    const QString source = m_dir + "/caught.qv";
    const QList<Item> items
        = {{"a", text(1000), 6}, {"b", text(50000), 6}, {"stored", text(500), 0}};
    QVERIFY(writeLevels(source, "right", items));
    const QString target = m_dir + "/caught-copy.qv";
    zip_t* src = zip_open(source, 0, 'r', -1, password);
    zip_t* dest = zip_open(target, 0, 'w', -1, QString());
    QCOMPARE(mz_zip_writer_add_from_zip_reader(dest, src, index, QString(), false),
             error == ZIP_ENOERROR);
    if (error != ZIP_ENOERROR) {
        QCOMPARE(int(zip_last_error(dest)), error);
        // The failed copy left the target as it was: given the password, the
        // same copy goes through.
        zip_set_password(src, "right");
        QVERIFY(mz_zip_writer_add_from_zip_reader(dest, src, index, QString(), false));
    }
    zip_close(src);
    QCOMPARE(zip_close(dest), 0);
    QCOMPARE(parse(testenv::readFile(target)).size(), 1);
    QCOMPARE(extracted(target, "right", 0), items[index].data);
    if (index == 0)
        QCOMPARE(dataOf(testenv::readFile(target), parse(testenv::readFile(target))[0]),
                 dataOf(testenv::readFile(source), parse(testenv::readFile(source))[0]));
}

void TestQvRoundTrip::archivesOfTheOriginalRuleStayReadable_data()
{
    QTest::addColumn<QString>("password");
    for (const auto& kind : kindsOfPassword())
        QTest::newRow(kind.first.constData()) << kind.second;
}

void TestQvRoundTrip::archivesOfTheOriginalRuleStayReadable()
{
    QFETCH(QString, password);
    const QString source = m_dir + "/original.qv";
    const QList<Item> items = {{"a", text(5000), 6}, {"stored", text(3000), 0},
                               {"c", testenv::randomBytes(70000), 6}, {"d", text(900), 6}};
    QVERIFY(writeLevels(source, password, items));
    QVERIFY(toOriginalRule(source, password));
    for (int i = 0; i < items.size(); ++i) {
        // Over a file that exists: a form tried first is undone in a replacement too.
        QVERIFY(testenv::writeFile(source + ".out", "old"));
        QCOMPARE(extracted(source, password, i), items[i].data);
    }
    // An update keeps the first entry where it was and moves the others,
    // whose deflate data is scrambled anew under the mended rule.
    const QList<int> picks = {0, 2, 3, 1};
    const QString target = m_dir + "/original-copy.qv";
    QVERIFY(copyEntries(source, password, target, indexes(picks)));
    const QByteArray after = testenv::readFile(target);
    const QVector<Listed> copied = parse(after);
    for (int i = 0; i < picks.size(); ++i) {
        const Item& item = items[picks[i]];
        QCOMPARE(extracted(target, password, i), item.data);
        if (i > 0 && item.level != 0)
            QVERIFY(inflateRaw(dataOf(after, copied[i])) != item.data);
    }
    // The original rule left stored data as it stands: it moves as it is,
    // without the password.
    QVERIFY(copyEntries(source, QString(), target, indexes({1})));
    QCOMPARE(parse(testenv::readFile(target)).value(0).marker, uint16_t(1));
    QCOMPARE(extracted(target, QString(), 0), text(3000));
}

QUENVAR_TEST_MAIN(TestQvRoundTrip)
#include "tst_qvroundtrip.moc"
