// Writing and reading back through the own container: names, kinds of entry,
// passwords, volumes, extraction targets, progress, and failing writes.
#include "common/testenv.h"

#include "engine/ArchiveProgress.h"
#include "qvbytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <thread>

using namespace qvbytes;

namespace {

struct Item
{
    QString name;
    QByteArray data;
};

QList<Item> sampleItems()
{
    return {
        {QString::fromUtf8("Привет/файл.txt"), text(5000)},
        {QString::fromUtf8("中文/文件.bin"), pattern(70000)},
        {QString::fromUtf8("emoji \xF0\x9F\x98\x80\xF0\x9F\x8E\x89.txt"), "tiny"},
        {QStringLiteral("empty.txt"), QByteArray()},
        {QStringLiteral("dir/"), QByteArray()},
        {QStringLiteral("dir/inner.txt"), text(200)},
    };
}

bool writeItems(const QString& path, int level, qint64 volumeSize, const QString& password, const QList<Item>& items)
{
    zip_t* zip = zip_open(path, level, 'w', volumeSize, password);
    if (!zip)
        return false;
    for (const Item& item : items)
        if (addEntry(zip, item.name, item.data) != 0) {
            zip_close(zip);
            return false;
        }
    return zip_close(zip) == 0;
}

// What the conflict check saw and will answer.
struct ConflictScript
{
    int answer = ZIP_ANSWER_PROCEED;
    QString renameTo;
    int calls = 0;
    QString askedPath;
    QDateTime askedTime;
    FileArchive* askedOperation = nullptr;
};
ConflictScript g_script;

// Owner, group and others; the "user" bits only say what this process may do.
QFileDevice::Permissions modeBits(const QString& path)
{
    return QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

int scriptedCheck(FileArchive* operation, QString& path, const QDateTime& entryTime)
{
    ++g_script.calls;
    g_script.askedPath = path;
    g_script.askedTime = entryTime;
    g_script.askedOperation = operation;
    if (!g_script.renameTo.isEmpty())
        path = g_script.renameTo;
    return g_script.answer;
}

} // namespace

class TestQvRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void roundTrip_data();
    void roundTrip();
    void listingNeedsNoPassword();
    void passwordsHideEveryEntry_data();
    void passwordsHideEveryEntry();
    void wrongPasswordsFailCleanly();
    void mixedEntriesReadWithOnePassword();
    void xorCryptProperties();
    void conflictCheckDecides();
    void conflictAskedOnlyWhenWriting();
    void failedExtractionKeepsExistingFile();
    void namesOfTheLongestKindExtract();
    void replacingGivesOnlyTheOwnerWriteAccess();
    void cancelStopsExtraction();
    void pauseHoldsExtraction();
    void failedWritesFailTheEntry();
    void abandonedEntryLeavesArchiveUsable();
    void appendKeepsEarlierEntries();
    void refusedOpens();
    void nameCapacity();
    void nullArchiveEverywhere();

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
    g_script = ConflictScript();
}

void TestQvRoundTrip::roundTrip_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("password");
    QTest::addColumn<qint64>("volumeSize");
    for (int level : {0, 1, 6, 10})
        for (const QString& password : {QString(), QString::fromUtf8("пароль-Key")})
            for (qint64 volume : {qint64(-1), qint64(4096)})
                QTest::addRow("level %d%s%s", level, password.isEmpty() ? "" : " password",
                              volume > 0 ? " volumes" : "")
                    << level << password << volume;
}

void TestQvRoundTrip::roundTrip()
{
    QFETCH(int, level);
    QFETCH(QString, password);
    QFETCH(qint64, volumeSize);
    const QString dir = testenv::makeDir(QString("rt-%1-%2-%3").arg(level).arg(password.size()).arg(volumeSize));
    const QString path = dir + "/archive.qv";
    const QList<Item> items = sampleItems();
    QVERIFY(writeItems(path, level, volumeSize, password, items));
    QCOMPARE(QFile::exists(path + ".001"), volumeSize > 0);

    zip_t* zip = zip_open(volumeSize > 0 ? path + ".001" : path, 0, 'r', -1, password);
    QVERIFY(zip);
    QCOMPARE(zip_total_entries(zip), items.size());
    for (int i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        QCOMPARE(zip_entry_openbyindex(zip, i), 0);
        QCOMPARE(entryName(zip), item.name);
        QCOMPARE(zip_entry_size(zip), uint64_t(item.data.size()));
        QCOMPARE(zip_entry_encrypted(zip), !password.isEmpty());
        QCOMPARE(zip_entry_time(zip), qint64(1700000000));
        const QString out = dir + QString("/out%1").arg(i);
        if (item.name.endsWith('/')) {
            QCOMPARE(zip_entry_fread(zip, out, nullptr, nullptr), -1);
            QVERIFY(!QFile::exists(out));
        } else {
            QCOMPARE(zip_entry_fread(zip, out, nullptr, nullptr), 0);
            QVERIFY2(QFile::exists(out), qPrintable(item.name));
            QCOMPARE(testenv::readFile(out), item.data);
        }
        QCOMPARE(zip_entry_close(zip), 0);
    }
    zip_close(zip);

    // Level 0 stores, anything else deflates; empty deflate entries hold an
    // empty stream.
    const QVector<Listed> listed = parse(logical(path, volumeSize > 0));
    QCOMPARE(listed.size(), items.size());
    for (const Listed& l : listed) {
        QCOMPARE(l.method, uint16_t(level == 0 ? 0 : 8));
        QCOMPARE(l.marker, uint16_t(password.isEmpty() ? 0 : 1));
        if (level == 0 || l.uncompressed == 0)
            QCOMPARE(l.compressed, level == 0 ? l.uncompressed : uint64_t(2));
    }
}

void TestQvRoundTrip::listingNeedsNoPassword()
{
    const QString path = m_dir + "/locked.qv";
    QVERIFY(writeItems(path, 6, -1, "secret", {{"a.txt", text(3000)}, {"b/", {}}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({"a.txt", "b/"}));
    QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
    QVERIFY(zip_entry_encrypted(zip));
    QCOMPARE(zip_entry_size(zip), uint64_t(3000));
    // Without the password the data does not check out and nothing is written.
    const QString out = m_dir + "/locked.out";
    QCOMPARE(zip_entry_fread(zip, out, nullptr, nullptr), -1);
    QCOMPARE(zip_last_error(zip), ZIP_EDATA);
    QVERIFY(!QFile::exists(out));
    zip_set_password(zip, "secret");
    QCOMPARE(zip_entry_fread(zip, out, nullptr, nullptr), 0);
    QCOMPARE(testenv::readFile(out), text(3000));
    zip_close(zip);
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
    const QList<Item> items = {{"a.txt", text(5000)}, {"b.txt", text(300)}};
    QVERIFY(writeItems(path, level, -1, password, items));
    const QByteArray archive = testenv::readFile(path);
    const QVector<Listed> listed = parse(archive);
    QCOMPARE(listed.size(), items.size());
    // As long and of the same script: under the original rule every such
    // Cyrillic or CJK password opened the archive.
    QString wrong;
    for (const QChar c : password)
        wrong += QChar(c.unicode() + 1);
    const QString out = m_dir + "/hidden.out";
    zip_t* zip = zip_open(path, 0, 'r', -1, wrong);
    QVERIFY(zip);
    for (int i = 0; i < items.size(); ++i) {
        // Neither zlib nor a look at the bytes gives the contents back: no
        // byte of a stored entry is left as it was.
        const QByteArray data = dataOf(archive, listed[i]);
        QVERIFY(inflateRaw(data) != items[i].data);
        int unchanged = 0;
        for (int k = 0; level == 0 && k < data.size(); ++k)
            unchanged += data[k] == items[i].data[k] ? 1 : 0;
        QCOMPARE(unchanged, 0);

        zip_set_password(zip, wrong);
        QCOMPARE(extract(zip, i, out), -1);
        QCOMPARE(zip_last_error(zip), ZIP_EDATA);
        QVERIFY(!QFile::exists(out));
        zip_set_password(zip, password);
        QCOMPARE(extract(zip, i, out), 0);
        QCOMPARE(testenv::readFile(out), items[i].data);
        QVERIFY(QFile::remove(out));
    }
    zip_close(zip);
}

void TestQvRoundTrip::wrongPasswordsFailCleanly()
{
    const QString path = m_dir + "/wrong.qv";
    const QString right = "Correct horse";
    QVERIFY(writeItems(path, 6, -1, right, {{"t.txt", text(20000)}, {"p.bin", pattern(20000)}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    const QString out = m_dir + "/wrong.out";
    QStringList wrong = {"c", "correct horse", "Correct hors", "Correct horse ", "x", QString(300, 'z')};
    for (int n = 1; n < 40; ++n)
        wrong << QString(n, QChar('a' + n % 26));
    for (const QString& password : wrong) {
        zip_set_password(zip, password);
        for (int index : {0, 1}) {
            QCOMPARE(extract(zip, index, out), -1);
            QCOMPARE(zip_last_error(zip), ZIP_EDATA);
            QVERIFY2(!QFile::exists(out), qPrintable(password));
        }
    }
    zip_set_password(zip, right);
    QCOMPARE(extract(zip, 1, out), 0);
    QCOMPARE(testenv::readFile(out), pattern(20000));
    zip_close(zip);
}

void TestQvRoundTrip::mixedEntriesReadWithOnePassword()
{
    // Entries added later without a password sit beside scrambled ones; the
    // password given for the scrambled ones must not garble the others.
    const QString path = m_dir + "/mixed.qv";
    QVERIFY(writeItems(path, 6, -1, "pw", {{"locked.txt", text(4000)}}));
    zip_t* zip = zip_open(path, 6, 'a', -1, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "open.txt", text(3000)), 0);
    QCOMPARE(zip_close(zip), 0);

    zip = zip_open(path, 0, 'r', -1, "pw");
    QVERIFY(zip);
    QCOMPARE(zip_entry_openbyindex(zip, 1), 0);
    QVERIFY(!zip_entry_encrypted(zip));
    QCOMPARE(extract(zip, 0, m_dir + "/locked.txt"), 0);
    QCOMPARE(extract(zip, 1, m_dir + "/open.txt"), 0);
    zip_close(zip);
    QCOMPARE(testenv::readFile(m_dir + "/locked.txt"), text(4000));
    QCOMPARE(testenv::readFile(m_dir + "/open.txt"), text(3000));
}

void TestQvRoundTrip::xorCryptProperties()
{
    const QByteArray plain = pattern(1000);
    const QString key = "abc";

    QByteArray twice = plain;
    xor_crypt(key, key.size(), reinterpret_cast<uint8_t*>(twice.data()), size_t(twice.size()), 12345);
    QVERIFY(twice != plain);
    xor_crypt(key, key.size(), reinterpret_cast<uint8_t*>(twice.data()), size_t(twice.size()), 12345);
    QCOMPARE(twice, plain);

    // The key bytes are the code units plus the length.
    QByteArray zeros(6, '\0');
    xor_crypt(key, key.size(), reinterpret_cast<uint8_t*>(zeros.data()), 6, 0);
    QCOMPARE(zeros, QByteArray("defdef"));
    zeros.fill('\0');
    xor_crypt(key, key.size(), reinterpret_cast<uint8_t*>(zeros.data()), 6, 7);
    QCOMPARE(zeros, QByteArray("efdefd"));

    // One transfer equals any split of it.
    QByteArray whole = plain.left(10);
    xor_crypt(key, key.size(), reinterpret_cast<uint8_t*>(whole.data()), 10, 0);
    QByteArray split = plain.left(10);
    xor_crypt(key, key.size(), reinterpret_cast<uint8_t*>(split.data()), 4, 0);
    xor_crypt(key, key.size(), reinterpret_cast<uint8_t*>(split.data() + 4), 6, 4);
    QCOMPARE(split, whole);
    QByteArray big = plain;
    xor_crypt("longer key", 10, reinterpret_cast<uint8_t*>(big.data()), size_t(big.size()), 99);
    QByteArray pieces = plain;
    for (int at = 0, step = 1; at < pieces.size(); at += step, step = step * 3 % 97 + 1) {
        const int count = qMin(step, pieces.size() - at);
        xor_crypt("longer key", 10, reinterpret_cast<uint8_t*>(pieces.data() + at), size_t(count), uint64_t(99 + at));
    }
    QCOMPARE(pieces, big);

    // One character: every byte with the same key byte.
    QByteArray one = plain;
    xor_crypt("a", 1, reinterpret_cast<uint8_t*>(one.data()), size_t(one.size()), 777);
    for (int i = 0; i < one.size(); ++i)
        QCOMPARE(uint8_t(one[i]), uint8_t(plain[i] ^ 0x62));

    // A code unit plus the length past 255 gives the sum's low byte, 1 for a
    // low byte of 0; the original rule gave 0 and left those bytes alone.
    const QString wide = QString::fromUtf8("aЖ") + QChar(0x00FD);
    QByteArray mended(6, '\0');
    xor_crypt(wide, 3, reinterpret_cast<uint8_t*>(mended.data()), 6, 0);
    QCOMPARE(mended.toHex(), QByteArray("641901641901"));
    QByteArray original(6, '\0');
    xor_crypt(wide, 3, reinterpret_cast<uint8_t*>(original.data()), 6, 0, ZIP_KEY_ORIGINAL);
    QCOMPARE(original.toHex(), QByteArray("640000640000"));
    // No key, no change.
    QByteArray none = plain.left(4);
    xor_crypt(QString(), 0, reinterpret_cast<uint8_t*>(none.data()), 4, 0);
    QCOMPARE(none, plain.left(4));
}

void TestQvRoundTrip::conflictCheckDecides()
{
    const QString path = m_dir + "/conflict.qv";
    QVERIFY(writeItems(path, 6, -1, QString(), {{"c.txt", "new contents"}, {"e.txt", {}}}));
    const QString out = m_dir + "/conflict.txt";
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    FileArchive* operation = reinterpret_cast<FileArchive*>(&g_script);
    zip_set_conflict_check(scriptedCheck);
    QVERIFY(zip_conflict_check() == &scriptedCheck);

    for (int index : {0, 1}) {
        QVERIFY(testenv::writeFile(out, "old"));
        g_script = ConflictScript();
        g_script.answer = ZIP_ANSWER_SKIP;
        QCOMPARE(zip_entry_openbyindex(zip, index), 0);
        QCOMPARE(zip_entry_fread(zip, out, operation, nullptr), ZIP_ANSWER_SKIP);
        QCOMPARE(g_script.calls, 1);
        QCOMPARE(g_script.askedPath, out);
        QCOMPARE(g_script.askedOperation, operation);
        QCOMPARE(g_script.askedTime.toSecsSinceEpoch(), qint64(1700000000));
        QCOMPARE(testenv::readFile(out), QByteArray("old"));

        g_script.answer = ZIP_ANSWER_ABORT;
        QCOMPARE(zip_entry_fread(zip, out, operation, nullptr), ZIP_ANSWER_ABORT);
        QCOMPARE(testenv::readFile(out), QByteArray("old"));

        // Proceeding under a new name leaves the existing file alone.
        g_script.answer = ZIP_ANSWER_PROCEED;
        g_script.renameTo = out + "_1";
        QCOMPARE(zip_entry_fread(zip, out, operation, nullptr), 0);
        QCOMPARE(testenv::readFile(out), QByteArray("old"));
        QCOMPARE(testenv::readFile(out + "_1"), index == 0 ? QByteArray("new contents") : QByteArray());
        QVERIFY(QFile::remove(out + "_1"));

        g_script.renameTo.clear();
        QCOMPARE(zip_entry_fread(zip, out, operation, nullptr), 0);
        QCOMPARE(testenv::readFile(out), index == 0 ? QByteArray("new contents") : QByteArray());
        zip_entry_close(zip);
    }

    // Without a check an existing file is replaced.
    zip_set_conflict_check(nullptr);
    QVERIFY(testenv::writeFile(out, "old"));
    QCOMPARE(extract(zip, 0, out), 0);
    QCOMPARE(testenv::readFile(out), QByteArray("new contents"));
    zip_close(zip);
}

void TestQvRoundTrip::conflictAskedOnlyWhenWriting()
{
    const QString path = m_dir + "/ask.qv";
    QVERIFY(writeItems(path, 6, -1, "pw", {{"a.txt", text(1000)}}));
    zip_set_conflict_check(scriptedCheck);
    zip_t* zip = zip_open(path, 0, 'r', -1, "wrong");
    QVERIFY(zip);
    // The data fails before anything would be written: nobody is asked.
    QCOMPARE(extract(zip, 0, m_dir + "/ask.txt"), -1);
    QCOMPARE(g_script.calls, 0);
    zip_set_password(zip, "pw");
    QCOMPARE(extract(zip, 0, m_dir + "/ask.txt"), 0);
    QCOMPARE(g_script.calls, 1);
    zip_close(zip);
}

void TestQvRoundTrip::failedExtractionKeepsExistingFile()
{
    const QString path = m_dir + "/keep.qv";
    QVERIFY(writeItems(path, 6, -1, "pw", {{"k.txt", text(200000)}, {"e.txt", {}}}));
    const QString out = m_dir + "/keep.txt";
    QVERIFY(testenv::writeFile(out, "precious"));
    zip_t* zip = zip_open(path, 0, 'r', -1, "wrong");
    QCOMPARE(extract(zip, 0, out), -1);
    QCOMPARE(extract(zip, 1, out), -1);
    QCOMPARE(testenv::readFile(out), QByteArray("precious"));
    // Nothing else is left behind in the folder either.
    QCOMPARE(QDir(m_dir).entryList({"keep*"}, QDir::Files), QStringList({"keep.qv", "keep.txt"}));
    zip_close(zip);
}

void TestQvRoundTrip::namesOfTheLongestKindExtract()
{
    // A file name may take all 255 bytes a folder entry holds; the hidden
    // name the data is written under first must still fit.
    const QString dir = testenv::makeDir("longnames");
    const QString path = dir + "/long.qv";
    QVERIFY(writeItems(path, 6, -1, QString(), {{"l.txt", text(3000)}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    for (const QString& name : {QString(255, 'n'), QString(85, QChar(0x6F22))}) {
        QCOMPARE(extract(zip, 0, dir + "/" + name), 0);
        QCOMPARE(testenv::readFile(dir + "/" + name), text(3000));
    }
    zip_close(zip);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestQvRoundTrip::replacingGivesOnlyTheOwnerWriteAccess()
{
    const QString path = m_dir + "/perm.qv";
    QVERIFY(writeItems(path, 6, -1, QString(), {{"p.txt", "replaced"}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    const QString readOnly = m_dir + "/readonly.txt";
    QVERIFY(testenv::writeFile(readOnly, "old"));
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadUser | QFileDevice::ReadGroup
                                                | QFileDevice::ReadOther));
    QCOMPARE(extract(zip, 0, readOnly), 0);
    QCOMPARE(testenv::readFile(readOnly), QByteArray("replaced"));
    QCOMPARE(modeBits(readOnly), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                     | QFileDevice::ReadOther);

    const QString privateFile = m_dir + "/private.txt";
    QVERIFY(testenv::writeFile(privateFile, "old"));
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QVERIFY(QFile::setPermissions(privateFile, ownerOnly));
    QCOMPARE(extract(zip, 0, privateFile), 0);
    QCOMPARE(modeBits(privateFile), ownerOnly);

    // A folder where the file should go fails the entry.
    QVERIFY(QDir().mkpath(m_dir + "/adir"));
    QCOMPARE(extract(zip, 0, m_dir + "/adir"), -1);
    QCOMPARE(zip_last_error(zip), ZIP_EWRITE);
    zip_close(zip);
}

void TestQvRoundTrip::cancelStopsExtraction()
{
    const QString path = m_dir + "/cancel.qv";
    const QByteArray data = pattern(1 << 20);
    QVERIFY(writeItems(path, 6, -1, QString(), {{"big.bin", data}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    ArchiveProgress progress;
    progress.canceled = true;
    const QString out = m_dir + "/cancel.bin";
    QCOMPARE(extract(zip, 0, out, &progress), -1);
    QCOMPARE(zip_last_error(zip), ZIP_ECANCELED);
    QVERIFY(!QFile::exists(out));
    QVERIFY(progress.completed.load() > 0);
    QVERIFY(progress.completed.load() <= 65536);

    ArchiveProgress counting;
    QCOMPARE(extract(zip, 0, out, &counting), 0);
    QCOMPARE(counting.completed.load(), uint64_t(data.size()));
    QCOMPARE(testenv::readFile(out), data);
    zip_close(zip);
}

void TestQvRoundTrip::pauseHoldsExtraction()
{
    const QString path = m_dir + "/pause.qv";
    const QByteArray data = pattern(1 << 20);
    QVERIFY(writeItems(path, 6, -1, QString(), {{"big.bin", data}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
    ArchiveProgress progress;
    progress.paused = true;
    const QString out = m_dir + "/pause.bin";
    std::atomic<int> result{1};
    std::thread worker([&] { result = zip_entry_fread(zip, out, nullptr, &progress); });
    QTRY_VERIFY(progress.completed.load() > 0);
    QTest::qWait(300);
    QCOMPARE(result.load(), 1);
    QVERIFY(progress.completed.load() < uint64_t(data.size()));
    progress.paused = false;
    worker.join();
    QCOMPARE(result.load(), 0);
    QCOMPARE(testenv::readFile(out), data);

    // Canceling while paused ends at once.
    progress.completed = 0;
    progress.paused = true;
    std::thread second([&] { result = zip_entry_fread(zip, out + "2", nullptr, &progress); });
    QTRY_VERIFY(progress.completed.load() > 0);
    progress.canceled = true;
    second.join();
    QCOMPARE(result.load(), -1);
    QVERIFY(!QFile::exists(out + "2"));
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
        const std::wstring name = L"overflows";
        QCOMPARE(zip_entry_open_last_access(zip, name.c_str(), 1), 0);
        const QByteArray data = pattern(200000);
        QCOMPARE(zip_entry_write(zip, data.constData(), size_t(data.size())), -1);
        QCOMPARE(zip_entry_write(zip, data.constData(), size_t(data.size())), -1);
        QCOMPARE(zip_entry_close(zip), -1);
        QCOMPARE(zip_last_error(zip), ZIP_EWRITE);
        // The archive goes on without the failed entry.
        QCOMPARE(zip_close(zip), 0);
        zip = zip_open(path + ".001", 0, 'r', -1, QString());
        QVERIFY(zip);
        QCOMPARE(names(zip), QStringList({"fits"}));
        QCOMPARE(extract(zip, 0, m_dir + "/fits.txt"), 0);
        QCOMPARE(testenv::readFile(m_dir + "/fits.txt"), QByteArray("0123456789"));
        zip_close(zip);
    }

    // Finalising on a full device fails and says so.
    const QString path = m_dir + "/fullend.qv";
    QVERIFY(QFile::link("/dev/full", path + ".002"));
    zip_t* zip = zip_open(path, 0, 'w', 100, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "x", "0123456789"), 0);
    QCOMPARE(zip_close(zip), -1);
    // The whole archive on a full device cannot even start an entry.
    zip = zip_open("/dev/full", 0, 'w', -1, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "x", "y"), -1);
    QCOMPARE(zip_close(zip), -1);
}

void TestQvRoundTrip::abandonedEntryLeavesArchiveUsable()
{
    const QString path = m_dir + "/abandoned.qv";
    zip_t* zip = zip_open(path, 6, 'w', -1, QString());
    QCOMPARE(addEntry(zip, "kept.txt", text(500)), 0);
    const std::wstring name = L"half";
    QCOMPARE(zip_entry_open_last_access(zip, name.c_str(), 1), 0);
    const QByteArray data = pattern(300000);
    QCOMPARE(zip_entry_write(zip, data.constData(), size_t(data.size())), 0);
    QCOMPARE(zip_close(zip), 0);
    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({"kept.txt"}));
    zip_close(zip);
    QVERIFY(QFileInfo(path).size() < 2000);
}

void TestQvRoundTrip::appendKeepsEarlierEntries()
{
    const QString path = m_dir + "/append.qv";
    QVERIFY(writeItems(path, 6, -1, QString(), {{"one", text(1000)}}));
    for (int round = 0; round < 3; ++round) {
        zip_t* zip = zip_open(path, 6, 'a', -1, QString());
        QVERIFY(zip);
        QCOMPARE(addEntry(zip, QString("more%1").arg(round), pattern(3000, round)), 0);
        QCOMPARE(zip_close(zip), 0);
    }
    // Appending nothing leaves the archive byte for byte.
    const QByteArray before = testenv::readFile(path);
    QCOMPARE(zip_close(zip_open(path, 6, 'a', -1, QString())), 0);
    QCOMPARE(testenv::readFile(path), before);

    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QCOMPARE(names(zip), QStringList({"one", "more0", "more1", "more2"}));
    QCOMPARE(extract(zip, 0, m_dir + "/one"), 0);
    QCOMPARE(extract(zip, 3, m_dir + "/more2"), 0);
    zip_close(zip);
    QCOMPARE(testenv::readFile(m_dir + "/one"), text(1000));
    QCOMPARE(testenv::readFile(m_dir + "/more2"), pattern(3000, 2));
    // Reading mode refuses writing and the other way round.
    zip = zip_open(path, 0, 'r', -1, QString());
    QCOMPARE(addEntry(zip, "no", "no"), -1);
    QCOMPARE(zip_last_error(zip), ZIP_EARGS);
    zip_close(zip);
    zip = zip_open(m_dir + "/fresh.qv", 0, 'w', -1, QString());
    QCOMPARE(zip_entry_openbyindex(zip, 0), -1);
    zip_close(zip);
    // A single file cannot be appended to as volumes.
    QVERIFY(!zip_open(path, 6, 'a', 1000, QString()));
}

void TestQvRoundTrip::refusedOpens()
{
    QVERIFY(zip_is_valid_volume_size(-1));
    QVERIFY(zip_is_valid_volume_size(1));
    QVERIFY(zip_is_valid_volume_size(0x7FFFFFFF));
    QVERIFY(!zip_is_valid_volume_size(0));
    QVERIFY(!zip_is_valid_volume_size(-2));
    QVERIFY(!zip_is_valid_volume_size(0x80000000LL));
    QVERIFY(!zip_is_valid_volume_size(1LL << 40));

    const QString path = m_dir + "/refused.qv";
    for (qint64 volume : {qint64(0), qint64(-5), qint64(0x80000000LL), qint64(1) << 33}) {
        for (char mode : {'w', 'r', 'a'})
            QVERIFY(!zip_open(path, 6, mode, volume, QString()));
    }
    QVERIFY(!zip_open(path, 11, 'w', -1, QString()));
    QVERIFY(!zip_open(path, 6, 'x', -1, QString()));
    QVERIFY(!zip_open(QString(), 6, 'w', -1, QString()));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!QFile::exists(path + ".001"));
    // A negative level is the default deflate.
    QVERIFY(writeItems(path, -1, -1, QString(), {{"d", text(100)}}));
    QCOMPARE(parse(testenv::readFile(path)).value(0).method, uint16_t(8));
    // No folder to write into.
    QVERIFY(!zip_open(m_dir + "/missing/x.qv", 6, 'w', -1, QString()));
}

void TestQvRoundTrip::nameCapacity()
{
    const QString path = m_dir + "/names.qv";
    zip_t* zip = zip_open(path, 0, 'w', -1, QString());
    const QString longest = QString(ZIP_MAX_NAME_CHARS - 1, 'n') + QString::fromUtf8("\xF0\x9F\x98\x80");
    QCOMPARE(addEntry(zip, longest, "x"), 0);
    QCOMPARE(addEntry(zip, QString(ZIP_MAX_NAME_CHARS + 1, 'n'), "x"), -1);
    QCOMPARE(zip_last_error(zip), ZIP_ELIMIT);
    QCOMPARE(zip_entry_open_last_access(zip, nullptr, 1), -1);
    QCOMPARE(zip_close(zip), 0);
    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({longest}));
    zip_close(zip);
}

void TestQvRoundTrip::nullArchiveEverywhere()
{
    QCOMPARE(zip_close(nullptr), -1);
    QCOMPARE(zip_total_entries(nullptr), -1);
    QCOMPARE(zip_last_error(nullptr), ZIP_EARGS);
    QCOMPARE(zip_entry_openbyindex(nullptr, 0), -1);
    QCOMPARE(zip_entry_open_last_access(nullptr, L"x", 0), -1);
    QCOMPARE(zip_entry_write(nullptr, "x", 1), -1);
    QCOMPARE(zip_entry_close(nullptr), -1);
    QVERIFY(!zip_entry_name(nullptr));
    QCOMPARE(zip_entry_isdir(nullptr), -1);
    QCOMPARE(zip_entry_size(nullptr), uint64_t(0));
    QCOMPARE(zip_entry_time(nullptr), qint64(-1));
    QVERIFY(!zip_entry_encrypted(nullptr));
    QCOMPARE(zip_entry_fread(nullptr, m_dir + "/x", nullptr, nullptr), -1);
    zip_set_password(nullptr, "x");
    QCOMPARE(zip_getArchiveSize(nullptr), qint64(0));
    QVERIFY(!mz_zip_writer_add_from_zip_reader(nullptr, nullptr, 0, QString(), false));

    // And no entry open on a real one.
    const QString path = m_dir + "/noentry.qv";
    QVERIFY(writeItems(path, 6, -1, QString(), {{"a", "b"}}));
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(!zip_entry_name(zip));
    QCOMPARE(zip_entry_isdir(zip), -1);
    QCOMPARE(zip_entry_time(zip), qint64(-1));
    QCOMPARE(zip_entry_fread(zip, m_dir + "/x", nullptr, nullptr), -1);
    QCOMPARE(zip_entry_close(zip), -1);
    QCOMPARE(zip_entry_openbyindex(zip, -1), -1);
    QCOMPARE(zip_entry_openbyindex(zip, 1), -1);
    zip_close(zip);
    QVERIFY(!QFile::exists(m_dir + "/x"));
    QCOMPARE(getArchiveSize(m_dir + "/nothing.qv"), uint64_t(0));
}

QUENVAR_TEST_MAIN(TestQvRoundTrip)
#include "tst_qvroundtrip.moc"
