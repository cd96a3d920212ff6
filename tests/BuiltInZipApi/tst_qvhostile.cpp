// Damaged and hostile own-format archives fail cleanly: no crash, no read or
// write out of bounds (the suite runs under AddressSanitizer), no file
// written outside the given destination.
#include "common/testenv.h"

#include "qvbytes.h"

#include <QDir>
#include <QFile>

#include <zlib.h>

#include <functional>

using namespace qvbytes;

namespace {

uint32_t crcOf(const QByteArray& data)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

QByteArray rawDeflate(const QByteArray& data)
{
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&s, uLong(data.size()))), 0);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    s.avail_in = uInt(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.resize(int(s.total_out));
    deflateEnd(&s);
    return out;
}

// One entry, built by hand so that every field can be bent.
struct Image
{
    QString name = "entry.txt";
    QByteArray data = "hello, world";
    Local local;
    Central central;
    End end;
    QByteArray nameBytes;
    QByteArray trailingDirectory;

    Image()
    {
        nameBytes = utf32Name(name);
        local.crc = central.crc = crcOf(data);
        local.compressed = central.compressed = uint64_t(data.size());
        local.uncompressed = central.uncompressed = uint64_t(data.size());
        end.entries = end.entriesOnDisk = 1;
    }

    void deflated(const QByteArray& plain)
    {
        data = rawDeflate(plain);
        local.method = central.method = 8;
        local.crc = central.crc = crcOf(plain);
        local.compressed = central.compressed = uint64_t(data.size());
        local.uncompressed = central.uncompressed = uint64_t(plain.size());
    }

    QByteArray build(bool fixOffsets = true)
    {
        const QByteArray entry = localHeader(local, nameBytes) + data;
        const QByteArray directory = centralRecord(central, nameBytes) + trailingDirectory;
        if (fixOffsets) {
            end.centralSize = uint32_t(directory.size());
            end.centralOffset = uint64_t(entry.size());
        }
        return entry + directory + endRecord(end);
    }
};

} // namespace

class TestQvHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void handBuiltImageIsSound();
    void everyTruncationFails();
    void badEndRecords();
    void badCentralRecords();
    void namesPastTheCapacity();
    void damagedEntryData();
    void inflatedDataPastItsSize();
    void rawCopyOfDamagedEntries();
    void appendNeverOverwritesEntries();
    void randomDamageNeverCrashes();
    void destinationIsTheCallersOnly();

private:
    bool opens(const QByteArray& image);
    int extractOnly(const QByteArray& image, const QString& out, int index = 0);
    QString m_dir;
};

void TestQvHostile::initTestCase()
{
    m_dir = testenv::makeDir("qvhostile");
}

bool TestQvHostile::opens(const QByteArray& image)
{
    const QString path = m_dir + "/probe.qv";
    testenv::writeFile(path, image);
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    const bool opened = zip != nullptr;
    zip_close(zip);
    return opened;
}

int TestQvHostile::extractOnly(const QByteArray& image, const QString& out, int index)
{
    const QString path = m_dir + "/probe.qv";
    testenv::writeFile(path, image);
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    if (!zip)
        return -100;
    const int result = extract(zip, index, out);
    zip_close(zip);
    return result;
}

void TestQvHostile::handBuiltImageIsSound()
{
    Image image;
    const QString out = m_dir + "/sound.txt";
    QCOMPARE(extractOnly(image.build(), out), 0);
    QCOMPARE(testenv::readFile(out), QByteArray("hello, world"));
    Image deflated;
    deflated.deflated(text(5000));
    QCOMPARE(extractOnly(deflated.build(), out), 0);
    QCOMPARE(testenv::readFile(out), text(5000));
}

void TestQvHostile::everyTruncationFails()
{
    const QString path = m_dir + "/whole.qv";
    zip_t* zip = zip_open(path, 6, 'w', -1, QString());
    QCOMPARE(addEntry(zip, "a.txt", text(3000)), 0);
    QCOMPARE(addEntry(zip, "b/", {}), 0);
    QCOMPARE(addEntry(zip, "c.bin", pattern(500)), 0);
    QCOMPARE(zip_close(zip), 0);
    const QByteArray whole = testenv::readFile(path);
    for (int size = 0; size < whole.size(); ++size)
        QVERIFY2(!opens(whole.left(size)), qPrintable(QString::number(size)));
    QVERIFY(opens(whole));
}

void TestQvHostile::badEndRecords()
{
    {
        Image i;
        i.end.signature = 0x06054B50; // the standard ZIP signature
        QVERIFY(!opens(i.build()));
    }
    {
        Image i;
        i.end.entriesOnDisk = 2;
        QVERIFY(!opens(i.build()));
    }
    {
        Image i;
        i.end.disk = 1;
        QVERIFY(!opens(i.build()));
        i.end.centralDisk = 1;
        i.central.diskStart = 1;
        QVERIFY(opens(i.build()));
    }
    {
        // Counts that do not fit the directory.
        Image i;
        i.end.entries = i.end.entriesOnDisk = 65535;
        QVERIFY(!opens(i.build()));
        i.end.entries = i.end.entriesOnDisk = 2;
        QVERIFY(!opens(i.build()));
    }
    {
        Image i;
        i.build();
        i.end.centralSize = 57;
        QVERIFY(!opens(i.build(false)));
        i.end.centralSize = 1u << 31;
        QVERIFY(!opens(i.build(false)));
    }
    {
        // Directory ranges outside the archive, also by wrapping around.
        for (uint64_t offset : {uint64_t(1) << 40, ~uint64_t(0) - 10, uint64_t(0xFFFFFFFFu), uint64_t(70)}) {
            Image i;
            i.build();
            i.end.centralOffset = offset;
            QVERIFY2(!opens(i.build(false)), qPrintable(QString::number(offset)));
        }
    }
}

void TestQvHostile::badCentralRecords()
{
    auto check = [this](const std::function<void(Image&)>& bend, const char* what) {
        Image i;
        bend(i);
        QVERIFY2(!opens(i.build()), what);
    };
    check([](Image& i) { i.central.signature = 0x02014B50; }, "signature");
    check([](Image& i) { i.central.compressed = 0; }, "data without compressed size");
    check([](Image& i) { i.central.diskStart = 0xFFFF; }, "disk 0xFFFF");
    check([](Image& i) { i.central.diskStart = 2; }, "other disk");
    check([](Image& i) { i.central.localOffset = 1u << 20; }, "local header past the end");
    check([](Image& i) { i.central.localOffset = ~uint64_t(0) - 20; }, "local header offset wrapping");
    check([](Image& i) { i.central.compressed = ~uint64_t(0) - 40; }, "compressed size wrapping");
    check([](Image& i) { i.central.compressed = uint64_t(1) << 63; }, "compressed size past the end");
    check([](Image& i) { i.central.flags = 0x2000; }, "masked local headers");
    check([](Image& i) { i.central.nameLength = 4000; }, "name past the directory");
    check([](Image& i) { i.central.extraLength = 300; }, "extra past the directory");
    check([](Image& i) { i.central.commentLength = 1; }, "comment past the directory");
    check([](Image& i) { i.nameBytes.chop(2); }, "name not in whole code points");
    // Slack after the last record is fine.
    Image slack;
    slack.trailingDirectory = QByteArray(10, 'x');
    QVERIFY(opens(slack.build()));
}

void TestQvHostile::namesPastTheCapacity()
{
    Image fits;
    fits.nameBytes = utf32Name(QString(ZIP_MAX_NAME_CHARS, 'n'));
    QVERIFY(opens(fits.build()));
    // 1,000 characters filling the whole field, no terminator stored.
    Image exact;
    exact.nameBytes = utf32Name(QString(ZIP_MAX_NAME_CHARS, 'n')).left(4 * ZIP_MAX_NAME_CHARS);
    QVERIFY(opens(exact.build()));
    Image over;
    over.nameBytes = utf32Name(QString(ZIP_MAX_NAME_CHARS + 1, 'n'));
    QVERIFY(!opens(over.build()));
    Image unterminated;
    unterminated.nameBytes = utf32Name(QString(ZIP_MAX_NAME_CHARS + 1, 'n')).left(4 * (ZIP_MAX_NAME_CHARS + 1));
    QVERIFY(!opens(unterminated.build()));
    Image huge;
    huge.nameBytes = QByteArray(60000, 'n');
    QVERIFY(!opens(huge.build()));
    // A zero inside ends the name; what follows is ignored.
    Image early;
    early.nameBytes = utf32Name("ab") + QByteArray(4 * 900, 'z');
    const QString path = m_dir + "/early.qv";
    testenv::writeFile(path, early.build());
    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({"ab"}));
    zip_close(zip);
}

void TestQvHostile::damagedEntryData()
{
    const QString out = m_dir + "/damaged.out";
    auto fails = [&](Image& i, ZipError expected, const char* what) {
        const QString path = m_dir + "/damaged.qv";
        testenv::writeFile(path, i.build());
        zip_t* zip = zip_open(path, 0, 'r', -1, QString());
        QVERIFY2(zip, what);
        QVERIFY2(extract(zip, 0, out) == -1, what);
        QVERIFY2(zip_last_error(zip) == expected, what);
        zip_close(zip);
        QVERIFY2(!QFile::exists(out), what);
    };
    {
        Image i;
        i.local.signature = 0x04034B50;
        fails(i, ZIP_EFORMAT, "local signature");
    }
    {
        Image i;
        i.local.extraLength = 60000;
        fails(i, ZIP_EFORMAT, "local extra past the end");
    }
    {
        Image i;
        i.local.nameLength = 0xFFF0;
        fails(i, ZIP_EFORMAT, "data moved past the end by the local name");
    }
    {
        Image i;
        i.central.method = i.local.method = 12;
        fails(i, ZIP_EFORMAT, "unknown method");
    }
    {
        Image i;
        i.central.flags = 1;
        fails(i, ZIP_EFORMAT, "standard encryption flag");
    }
    {
        Image i;
        i.central.crc ^= 1;
        fails(i, ZIP_EDATA, "stored crc");
    }
    {
        Image i;
        i.central.uncompressed = 5;
        fails(i, ZIP_EDATA, "stored size");
    }
    {
        Image i;
        i.deflated(text(3000));
        i.data[i.data.size() / 2] = char(i.data[i.data.size() / 2] ^ 0x55);
        fails(i, ZIP_EDATA, "deflate stream");
    }
    {
        Image i;
        i.deflated(text(3000));
        i.data.chop(4);
        i.local.compressed = i.central.compressed = uint64_t(i.data.size());
        fails(i, ZIP_EDATA, "deflate stream cut short");
    }
    {
        Image i;
        i.data = "\xff\xff\xff\xff";
        i.local.method = i.central.method = 8;
        i.local.compressed = i.central.compressed = 4;
        fails(i, ZIP_EDATA, "garbage deflate");
    }
}

void TestQvHostile::inflatedDataPastItsSize()
{
    // A small stream that inflates to far more than the size it claims.
    Image bomb;
    bomb.deflated(QByteArray(4 << 20, 'z'));
    bomb.central.uncompressed = 100;
    const QString out = m_dir + "/bomb.out";
    QCOMPARE(extractOnly(bomb.build(), out), -1);
    QVERIFY(!QFile::exists(out));
    // The empty stream of an empty file is fine; claiming more data is not.
    Image empty;
    empty.deflated(QByteArray());
    QCOMPARE(extractOnly(empty.build(), out), 0);
    QCOMPARE(QFileInfo(out).size(), qint64(0));
    QFile::remove(out);
    empty.central.uncompressed = 10;
    QCOMPARE(extractOnly(empty.build(), out), -1);
    QVERIFY(!QFile::exists(out));
}

void TestQvHostile::rawCopyOfDamagedEntries()
{
    const QString path = m_dir + "/copysrc.qv";
    auto copyFails = [&](Image& i, const char* what) {
        testenv::writeFile(path, i.build());
        zip_t* src = zip_open(path, 0, 'r', -1, QString());
        QVERIFY2(src, what);
        zip_t* dest = zip_open(m_dir + "/copydest.qv", 0, 'w', -1, QString());
        QVERIFY2(!mz_zip_writer_add_from_zip_reader(dest, src, 0, QString(), false), what);
        zip_close(src);
        QCOMPARE(zip_close(dest), 0);
        zip_t* reread = zip_open(m_dir + "/copydest.qv", 0, 'r', -1, QString());
        QVERIFY2(reread && zip_total_entries(reread) == 0, what);
        zip_close(reread);
    };
    {
        Image i;
        i.local.signature = 0;
        copyFails(i, "local signature");
    }
    {
        Image i;
        i.local.nameLength = 0xFFF0;
        copyFails(i, "local name past the end");
    }
    {
        // Scrambled data that moves, copied without a password.
        Image i;
        i.deflated(text(100));
        i.central.marker = i.local.marker = 1;
        i.nameBytes = utf32Name("x");
        QByteArray image = i.build();
        testenv::writeFile(path, image);
        zip_t* src = zip_open(path, 0, 'r', -1, QString());
        zip_t* dest = zip_open(m_dir + "/copydest.qv", 0, 'w', -1, QString());
        QCOMPARE(addEntry(dest, "first", "moves the next one"), 0);
        QVERIFY(!mz_zip_writer_add_from_zip_reader(dest, src, 0, QString(), false));
        QCOMPARE(zip_last_error(dest), ZIP_EPASSWORD);
        zip_close(src);
        QCOMPARE(zip_close(dest), 0);
    }
}

void TestQvHostile::appendNeverOverwritesEntries()
{
    // The directory sits before the data of the entry it describes: new
    // entries, which go where the directory starts, would overwrite it.
    Image i;
    const QByteArray entry = localHeader(i.local, i.nameBytes) + i.data;
    const QByteArray directory = centralRecord(i.central, i.nameBytes);
    const QByteArray lead(200, 'L');
    i.central.localOffset = uint64_t(lead.size() + directory.size());
    const QByteArray movedDirectory = centralRecord(i.central, i.nameBytes);
    i.end.centralOffset = uint64_t(lead.size());
    i.end.centralSize = uint32_t(movedDirectory.size());
    const QByteArray image = lead + movedDirectory + entry + endRecord(i.end);
    const QString path = m_dir + "/before.qv";
    testenv::writeFile(path, image);
    QCOMPARE(extractOnly(image, m_dir + "/before.out"), 0);
    QVERIFY(!zip_open(path, 6, 'a', -1, QString()));
    QCOMPARE(testenv::readFile(path), image);
    // A local header whose name runs into the directory counts too.
    Image j;
    j.local.extraLength = 30;
    j.trailingDirectory.clear();
    QByteArray reaching = j.build();
    testenv::writeFile(path, reaching);
    QVERIFY(!zip_open(path, 6, 'a', -1, QString()));
    QCOMPARE(testenv::readFile(path), reaching);
}

void TestQvHostile::randomDamageNeverCrashes()
{
    const QString path = m_dir + "/victim.qv";
    zip_t* zip = zip_open(path, 6, 'w', -1, "pw");
    QCOMPARE(addEntry(zip, "a.txt", text(2000)), 0);
    QCOMPARE(addEntry(zip, QString::fromUtf8("б/"), {}), 0);
    QCOMPARE(addEntry(zip, "c.bin", pattern(300)), 0);
    QCOMPARE(zip_close(zip), 0);
    const QByteArray good = testenv::readFile(path);
    const QString damaged = m_dir + "/damaged.qv";
    const QString out = m_dir + "/random.out";
    uint32_t x = 12345;
    auto next = [&x] {
        x = x * 1103515245u + 12345u;
        return x >> 8;
    };
    int opened = 0;
    for (int round = 0; round < 1500; ++round) {
        QByteArray bytes = good;
        const int flips = 1 + int(next() % 4);
        for (int f = 0; f < flips; ++f) {
            // Mostly the headers and the directory, where offsets live.
            const int at = next() % 3 ? int(next() % 120) : bytes.size() - 1 - int(next() % 180);
            bytes[at] = char(next() % 2 ? next() : bytes[at] ^ (1 << (next() % 8)));
        }
        testenv::writeFile(damaged, bytes);
        zip_t* z = zip_open(damaged, 0, 'r', -1, round % 2 ? "pw" : QString());
        if (!z)
            continue;
        ++opened;
        zip_t* copy = zip_open(m_dir + "/random-copy.qv", 0, 'w', -1, QString());
        for (int i = 0; i < zip_total_entries(z); ++i) {
            if (zip_entry_openbyindex(z, i) == 0) {
                zip_entry_fread(z, out, nullptr, nullptr);
                zip_entry_close(z);
            }
            mz_zip_writer_add_from_zip_reader(copy, z, i, round % 3 ? QString() : QString("r%1").arg(i), false);
        }
        zip_close(z);
        QCOMPARE(zip_close(copy), 0);
        zip_t* reread = zip_open(m_dir + "/random-copy.qv", 0, 'r', -1, QString());
        QVERIFY(reread);
        zip_close(reread);
    }
    QVERIFY(opened > 0);
}

void TestQvHostile::destinationIsTheCallersOnly()
{
    // Names with ".." or a leading "/" do nothing by themselves: the file goes
    // exactly where the caller says, and nowhere else.
    const QString root = testenv::makeDir("qvhostile-dest");
    const QString path = root + "/evil.qv";
    zip_t* zip = zip_open(path, 6, 'w', -1, QString());
    QCOMPARE(addEntry(zip, "../../escaped.txt", "x"), 0);
    QCOMPARE(addEntry(zip, "/etc/absolute.txt", "y"), 0);
    QCOMPARE(zip_close(zip), 0);
    const QString target = root + "/out";
    QVERIFY(QDir().mkpath(target));
    zip = zip_open(path, 0, 'r', -1, QString());
    QCOMPARE(names(zip), QStringList({"../../escaped.txt", "/etc/absolute.txt"}));
    QCOMPARE(extract(zip, 0, target + "/chosen1"), 0);
    QCOMPARE(extract(zip, 1, target + "/chosen2"), 0);
    zip_close(zip);
    QCOMPARE(testenv::listTree(root), QStringList({"evil.qv", "out/", "out/chosen1", "out/chosen2"}));
    QVERIFY(!QFile::exists(QDir(root).absoluteFilePath("../../escaped.txt")));
}

QUENVAR_TEST_MAIN(TestQvHostile)
#include "tst_qvhostile.moc"
