// The own container's bytes on disk: records, names, times, volumes, limits.
#include "common/testenv.h"

#include "qvbytes.h"

#include <QDir>
#include <QFile>

#include <zlib.h>

#include <ctime>

using namespace qvbytes;

namespace {

QByteArray rawInflate(const QByteArray& data)
{
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK)
        return QByteArray("<init>");
    QByteArray out(1 << 20, 0);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    s.avail_in = uInt(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    const int status = inflate(&s, Z_FINISH);
    out.resize(int(s.total_out));
    inflateEnd(&s);
    return status == Z_STREAM_END ? out : QByteArray("<damaged>");
}

uint32_t crcOf(const QByteArray& data)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

// Bytes [offset, offset + count) of a file, without reading all of it.
QByteArray readRange(const QString& path, qint64 offset, qint64 count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return file.read(count);
}

} // namespace

class TestQvFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void emptyArchiveIsOnlyTheEndRecord();
    void oneByteFileRecordByRecord();
    void namesAreUtf32WithCountedZero();
    void passwordMarksAndScramblesDeflateData();
    void timesAreLocalDosTimes();
    void volumesAreByteSplits();
    void firstVolumeGivesTheVolumeSize();
    void volumeSetsThatDoNotAddUp();
    void rewritingFewerVolumesRemovesStaleOnes();
    void atMost999Volumes();
    void endRecordMustBeLast();
    void entryLimit();
    void sizesAndOffsetsPastFourGiB();

private:
    QString m_dir;
};

void TestQvFormat::initTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
    m_dir = testenv::makeDir("qvformat");
}

void TestQvFormat::emptyArchiveIsOnlyTheEndRecord()
{
    const QString path = m_dir + "/empty.qv";
    zip_t* zip = zip_open(path, 6, 'w', -1, QString());
    QVERIFY(zip);
    QCOMPARE(zip_close(zip), 0);
    QByteArray expected = QByteArray::fromHex("AA4A0506");
    expected += QByteArray(22, '\0');
    QCOMPARE(testenv::readFile(path), expected);

    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(zip_total_entries(zip), 0);
    QCOMPARE(zip_entry_openbyindex(zip, 0), -1);
    zip_close(zip);
}

void TestQvFormat::oneByteFileRecordByRecord()
{
    const QString path = m_dir + "/one.qv";
    zip_t* zip = zip_open(path, 6, 'w', -1, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "a", "q", 1700000000), 0);
    QCOMPARE(zip_close(zip), 0);
    const QByteArray file = testenv::readFile(path);

    const QByteArray name = QByteArray::fromHex("6100000000000000");
    const int streamSize = file.size() - 38 - 8 - 58 - 8 - 26;
    QVERIFY(streamSize > 0);
    const QByteArray stream = file.mid(46, streamSize);
    QCOMPARE(rawInflate(stream), QByteArray("q"));

    // 2023-11-14 22:13:20 UTC
    const uint16_t dosTime = 22 * 2048 + 13 * 32 + 10;
    const uint16_t dosDate = 43 * 512 + 11 * 32 + 14;
    Local local;
    local.method = 8;
    local.dosTime = dosTime;
    local.dosDate = dosDate;
    local.crc = crcOf("q");
    local.compressed = uint64_t(streamSize);
    local.uncompressed = 1;
    Central central;
    central.method = 8;
    central.dosTime = dosTime;
    central.dosDate = dosDate;
    central.crc = local.crc;
    central.compressed = uint64_t(streamSize);
    central.uncompressed = 1;
    End end;
    end.entriesOnDisk = end.entries = 1;
    end.centralSize = 66;
    end.centralOffset = uint64_t(46 + streamSize);

    const QByteArray expected = localHeader(local, name) + stream + centralRecord(central, name) + endRecord(end);
    QCOMPARE(file.toHex(), expected.toHex());
    // The same, spelled out for the fields that differ from standard ZIP.
    QCOMPARE(file.left(4).toHex(), QByteArray("504bd3aa"));
    QCOMPARE(file.mid(46 + streamSize, 4).toHex(), QByteArray("aa4a0102"));
    QCOMPARE(file.mid(46 + streamSize + 46, 4).toHex(), QByteArray("0000a481"));
    QCOMPARE(file.right(26).left(4).toHex(), QByteArray("aa4a0506"));

    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
    QCOMPARE(entryName(zip), QStringLiteral("a"));
    QCOMPARE(zip_entry_size(zip), uint64_t(1));
    QCOMPARE(zip_entry_time(zip), qint64(1700000000));
    QCOMPARE(zip_entry_isdir(zip), 0);
    QCOMPARE(zip_entry_encrypted(zip), false);
    zip_close(zip);
}

void TestQvFormat::namesAreUtf32WithCountedZero()
{
    const QString path = m_dir + "/names.qv";
    const QString name = QString::fromUtf8("Ж/中/\xF0\x9F\x98\x80.txt");
    zip_t* zip = zip_open(path, 0, 'w', -1, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, name, "data"), 0);
    QCOMPARE(addEntry(zip, "folder/", QByteArray()), 0);
    QCOMPARE(zip_close(zip), 0);

    const QByteArray file = testenv::readFile(path);
    const QByteArray expectedName = QByteArray::fromHex("16040000" "2f000000" "2d4e0000" "2f000000" "00f60100"
                                                        "2e000000" "74000000" "78000000" "74000000" "00000000");
    QCOMPARE(le(file, 34, 2), uint64_t(expectedName.size()));
    QCOMPARE(file.mid(38, expectedName.size()).toHex(), expectedName.toHex());
    const QVector<Listed> listed = parse(file);
    QCOMPARE(listed.size(), 2);
    QCOMPARE(listed[0].name, name);
    QCOMPARE(listed[1].name, QStringLiteral("folder/"));
    // Folders are told by their trailing slash only: the attributes are a file's.
    QCOMPARE(listed[1].external, 0x81A40000u);
    QCOMPARE(listed[1].compressed, uint64_t(0));

    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({name, "folder/"}));
    QCOMPARE(zip_entry_openbyindex(zip, 1), 0);
    QCOMPARE(zip_entry_isdir(zip), 0);
    zip_close(zip);
}

void TestQvFormat::passwordMarksAndScramblesDeflateData()
{
    // A one-character password XORs every data byte with the same key byte:
    // 'k' + 1 = 0x6C.
    const QString path = m_dir + "/scrambled.qv";
    const QByteArray content = text(5000);
    zip_t* zip = zip_open(path, 6, 'w', -1, QStringLiteral("k"));
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "t.txt", content), 0);
    QCOMPARE(zip_close(zip), 0);

    const QByteArray file = testenv::readFile(path);
    const QVector<Listed> listed = parse(file);
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed[0].marker, uint16_t(1));
    QCOMPARE(le(file, 4, 2), uint64_t(1));
    QByteArray data = dataOf(file, listed[0]);
    QVERIFY(rawInflate(data) != content);
    for (char& c : data)
        c = char(c ^ 0x6C);
    QCOMPARE(rawInflate(data), content);
    // Headers and names stay readable.
    QCOMPARE(listed[0].name, QStringLiteral("t.txt"));
}

void TestQvFormat::timesAreLocalDosTimes()
{
    const QString path = m_dir + "/times.qv";
    zip_t* zip = zip_open(path, 0, 'w', -1, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "odd", "x", 1700000001), 0);      // two-second steps
    QCOMPARE(addEntry(zip, "old", "x", 100000000), 0);       // 1973: before the fields' first year
    QCOMPARE(addEntry(zip, "far", "x", 4398046511104LL), 0); // year 141338: after the last
    QCOMPARE(zip_close(zip), 0);

    const QVector<Listed> listed = parse(testenv::readFile(path));
    QCOMPARE(listed.size(), 3);
    QCOMPARE(listed[0].dosTime, uint16_t(22 * 2048 + 13 * 32 + 10));
    QCOMPARE(listed[1].dosDate, uint16_t(1 * 32 + 1));
    QCOMPARE(listed[1].dosTime, uint16_t(0));
    QCOMPARE(listed[2].dosDate, uint16_t(127 * 512 + 12 * 32 + 31));

    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
    QCOMPARE(zip_entry_time(zip), qint64(1700000000));
    QCOMPARE(zip_entry_openbyindex(zip, 1), 0);
    QCOMPARE(zip_entry_time(zip), qint64(315532800)); // 1980-01-01

    // The extracted file carries the entry's time.
    const QString out = m_dir + "/odd.out";
    QCOMPARE(extract(zip, 0, out), 0);
    QCOMPARE(QFileInfo(out).lastModified().toSecsSinceEpoch(), qint64(1700000000));
    zip_close(zip);

    // Another zone moves the fields, not the instant.
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    const QString tokyo = m_dir + "/tokyo.qv";
    zip = zip_open(tokyo, 0, 'w', -1, QString());
    QCOMPARE(addEntry(zip, "t", "x", 1700000000), 0);
    QCOMPARE(zip_close(zip), 0);
    QCOMPARE(parse(testenv::readFile(tokyo)).value(0).dosTime, uint16_t(7 * 2048 + 13 * 32 + 10));
    zip = zip_open(tokyo, 0, 'r', -1, QString());
    QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
    QCOMPARE(zip_entry_time(zip), qint64(1700000000));
    zip_close(zip);
    qputenv("TZ", "UTC");
    tzset();
}

void TestQvFormat::volumesAreByteSplits()
{
    const QString path = m_dir + "/split.qv";
    const QByteArray head = pattern(44, 1);
    const QByteArray block = pattern(120, 2);
    const QByteArray tail = pattern(300, 3);
    zip_t* zip = zip_open(path, 0, 'w', 100, QString());
    QVERIFY(zip);
    const std::wstring name = L"a";
    QCOMPARE(zip_entry_open_last_access(zip, name.c_str(), 1700000000), 0);
    // Data starts at 46 (header 38 + name 8): this block lands at 90..209.
    QCOMPARE(zip_entry_write(zip, head.constData(), size_t(head.size())), 0);
    QCOMPARE(zip_entry_write(zip, block.constData(), size_t(block.size())), 0);
    QCOMPARE(zip_entry_write(zip, tail.constData(), size_t(tail.size())), 0);
    QCOMPARE(zip_entry_close(zip), 0);
    QCOMPARE(zip_close(zip), 0);

    QVERIFY(!QFile::exists(path));
    const QByteArray v1 = testenv::readFile(path + ".001");
    const QByteArray v2 = testenv::readFile(path + ".002");
    const QByteArray v3 = testenv::readFile(path + ".003");
    QCOMPARE(v1.size(), 100);
    QCOMPARE(v2.size(), 100);
    QCOMPARE(v3.size(), 100);
    QCOMPARE(v1.right(10), block.left(10));
    QCOMPARE(v2, block.mid(10, 100));
    QCOMPARE(v3.left(10), block.right(10));
    // Logical offset 250 is volume 3 at 50.
    const QByteArray all = logical(path, true);
    QCOMPARE(all.at(250), v3.at(50));
    QCOMPARE(all.mid(46, 464), head + block + tail);
    const QVector<Listed> listed = parse(all);
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed[0].compressed, uint64_t(464));
    // The last volume holds the rest, the end record runs across volumes.
    QCOMPARE(all.size(), 46 + 464 + 66 + 26);
    QCOMPARE(QFileInfo(path + ".006").size(), qint64(100));
    QCOMPARE(QFileInfo(path + ".007").size(), qint64(all.size() - 600));
    QVERIFY(!QFile::exists(path + ".008"));
    QCOMPARE(getArchiveSize(path), uint64_t(all.size()));
}

void TestQvFormat::firstVolumeGivesTheVolumeSize()
{
    const QString path = m_dir + "/photos.qv";
    const QByteArray one = text(3000);
    const QByteArray two = pattern(2000);
    zip_t* zip = zip_open(path, 6, 'w', 700, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "one.txt", one), 0);
    QCOMPARE(addEntry(zip, "two.bin", two), 0);
    QCOMPARE(zip_close(zip), 0);
    QVERIFY(QFile::exists(path + ".004"));

    // A single file of the same name does not get in the way.
    QVERIFY(testenv::writeFile(path, "not the archive"));
    zip = zip_open(path + ".001", 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({"one.txt", "two.bin"}));
    QCOMPARE(extract(zip, 0, m_dir + "/one.out"), 0);
    QCOMPARE(extract(zip, 1, m_dir + "/two.out"), 0);
    zip_close(zip);
    QCOMPARE(testenv::readFile(m_dir + "/one.out"), one);
    QCOMPARE(testenv::readFile(m_dir + "/two.out"), two);
    QVERIFY(QFile::remove(path));

    // Without the suffix the same volumes open when the size is given.
    zip = zip_open(path, 0, 'r', 700, QString());
    QVERIFY(zip);
    QCOMPARE(zip_total_entries(zip), 2);
    zip_close(zip);
    // Case matters for the suffix.
    QVERIFY(QFile::copy(path + ".001", m_dir + "/upper.qv.OO1"));
    QVERIFY(!zip_open(m_dir + "/upper.qv.OO1", 0, 'r', -1, QString()));
}

void TestQvFormat::volumeSetsThatDoNotAddUp()
{
    const QString path = m_dir + "/broken.qv";
    zip_t* zip = zip_open(path, 0, 'w', 50, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "x", pattern(400)), 0);
    QCOMPARE(zip_close(zip), 0);
    zip = zip_open(path + ".001", 0, 'r', -1, QString());
    QVERIFY(zip);
    zip_close(zip);

    // A shorter volume in the middle.
    const QByteArray third = testenv::readFile(path + ".003");
    QVERIFY(testenv::writeFile(path + ".003", third.left(40)));
    QVERIFY(!zip_open(path + ".001", 0, 'r', -1, QString()));
    QVERIFY(testenv::writeFile(path + ".003", third));
    // A missing last volume.
    const QString lastName = path + QString::asprintf(".%03d", int((46 + 400 + 58 + 8 + 26 + 49) / 50));
    QVERIFY(QFile::exists(lastName));
    QVERIFY(QFile::rename(lastName, lastName + ".away"));
    QVERIFY(!zip_open(path + ".001", 0, 'r', -1, QString()));
    // A missing middle volume ends the set early.
    QVERIFY(QFile::rename(lastName + ".away", lastName));
    QVERIFY(QFile::remove(path + ".002"));
    QVERIFY(!zip_open(path + ".001", 0, 'r', -1, QString()));
    // An empty first volume.
    QVERIFY(testenv::writeFile(m_dir + "/zero.qv.001", QByteArray()));
    QVERIFY(!zip_open(m_dir + "/zero.qv.001", 0, 'r', -1, QString()));
    QVERIFY(!zip_open(m_dir + "/none.qv.001", 0, 'r', -1, QString()));
    QVERIFY(!zip_open(m_dir + "/none.qv", 0, 'r', -1, QString()));
}

void TestQvFormat::rewritingFewerVolumesRemovesStaleOnes()
{
    const QString path = m_dir + "/again.qv";
    zip_t* zip = zip_open(path, 0, 'w', 100, QString());
    QCOMPARE(addEntry(zip, "big", pattern(450)), 0);
    QCOMPARE(zip_close(zip), 0);
    QVERIFY(QFile::exists(path + ".006"));

    zip = zip_open(path, 0, 'w', 100, QString());
    QCOMPARE(addEntry(zip, "small", "tiny"), 0);
    QCOMPARE(zip_close(zip), 0);
    QVERIFY(QFile::exists(path + ".002"));
    QVERIFY(!QFile::exists(path + ".003"));
    QVERIFY(!QFile::exists(path + ".006"));
    zip = zip_open(path + ".001", 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({"small"}));
    zip_close(zip);
}

void TestQvFormat::atMost999Volumes()
{
    // One byte per volume: the 1000th byte has nowhere to go.
    const QString path = m_dir + "/tiny.qv";
    zip_t* zip = zip_open(path, 0, 'w', 1, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "fits", pattern(800)), 0);
    const std::wstring name = L"overflows";
    QCOMPARE(zip_entry_open_last_access(zip, name.c_str(), 1), 0);
    const QByteArray more = pattern(300);
    QCOMPARE(zip_entry_write(zip, more.constData(), size_t(more.size())), -1);
    QCOMPARE(zip_last_error(zip), ZIP_EWRITE);
    QCOMPARE(zip_entry_close(zip), -1);
    QVERIFY(QFile::exists(path + ".999"));
    QVERIFY(!QFile::exists(path + ".1000"));
    // The directory and end record of the first entry still fit; what the
    // failed entry left in later volumes goes.
    QCOMPARE(zip_close(zip), 0);
    const int used = 38 + 20 + 800 + 58 + 20 + 26;
    QVERIFY(QFile::exists(path + QString::asprintf(".%03d", used)));
    QVERIFY(!QFile::exists(path + QString::asprintf(".%03d", used + 1)));
    zip = zip_open(path + ".001", 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({"fits"}));
    QCOMPARE(extract(zip, 0, m_dir + "/fits.out"), 0);
    zip_close(zip);
    QCOMPARE(testenv::readFile(m_dir + "/fits.out"), pattern(800));
}

void TestQvFormat::endRecordMustBeLast()
{
    const QString path = m_dir + "/last.qv";
    zip_t* zip = zip_open(path, 6, 'w', -1, QString());
    QCOMPARE(addEntry(zip, "a", "abc"), 0);
    QCOMPARE(zip_close(zip), 0);
    const QByteArray good = testenv::readFile(path);

    for (const QByteArray& trailer : {QByteArray(1, '\0'), QByteArray("junk"), QByteArray(25, 'x'),
                                      good.right(26).left(25)}) {
        QVERIFY(testenv::writeFile(path, good + trailer));
        QVERIFY2(!zip_open(path, 0, 'r', -1, QString()), trailer.toHex().constData());
    }
    QVERIFY(testenv::writeFile(path, good));
    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    zip_close(zip);
}

void TestQvFormat::entryLimit()
{
    const QString path = m_dir + "/many.qv";
    zip_t* zip = zip_open(path, 0, 'w', -1, QString());
    QVERIFY(zip);
    for (int i = 0; i < ZIP_MAX_ENTRIES; ++i) {
        const std::wstring name = QString::number(i).toStdWString();
        if (zip_entry_open_last_access(zip, name.c_str(), 1700000000) != 0 || zip_entry_close(zip) != 0)
            QFAIL(qPrintable(QString("entry %1 failed").arg(i)));
    }
    const std::wstring extra = L"one too many";
    QCOMPARE(zip_entry_open_last_access(zip, extra.c_str(), 1700000000), -1);
    QCOMPARE(zip_last_error(zip), ZIP_ELIMIT);
    QCOMPARE(zip_close(zip), 0);

    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(zip_total_entries(zip), ZIP_MAX_ENTRIES);
    QCOMPARE(zip_entry_openbyindex(zip, ZIP_MAX_ENTRIES - 1), 0);
    QCOMPARE(entryName(zip), QStringLiteral("65534"));
    zip_close(zip);
    // A full archive cannot take another entry by appending either.
    QVERIFY(!zip_open(path, 6, 'a', -1, QString()));
}

void TestQvFormat::sizesAndOffsetsPastFourGiB()
{
    // A sparse file: a 5 GiB stored entry of zeros, then a small one.
    const QString path = m_dir + "/huge.qv";
    const uint64_t big = 5ULL << 30;
    const QByteArray bigName = utf32Name("big");
    const QByteArray smallName = utf32Name("small");
    Local bigLocal;
    bigLocal.compressed = bigLocal.uncompressed = big;
    const uint64_t smallOffset = 38 + uint64_t(bigName.size()) + big;
    Local smallLocal;
    smallLocal.crc = crcOf("hello");
    smallLocal.compressed = smallLocal.uncompressed = 5;
    Central bigCentral;
    bigCentral.compressed = bigCentral.uncompressed = big;
    Central smallCentral;
    smallCentral.crc = smallLocal.crc;
    smallCentral.compressed = smallCentral.uncompressed = 5;
    smallCentral.localOffset = smallOffset;
    const QByteArray tailData = localHeader(smallLocal, smallName) + "hello";
    const QByteArray directory = centralRecord(bigCentral, bigName) + centralRecord(smallCentral, smallName);
    End end;
    end.entriesOnDisk = end.entries = 2;
    end.centralSize = uint32_t(directory.size());
    end.centralOffset = smallOffset + uint64_t(tailData.size());
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(localHeader(bigLocal, bigName));
        QVERIFY(file.seek(qint64(smallOffset)));
        file.write(tailData + directory + endRecord(end));
    }

    zip_t* zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({"big", "small"}));
    QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
    QCOMPARE(zip_entry_size(zip), big);
    QCOMPARE(extract(zip, 1, m_dir + "/small.out"), 0);
    QCOMPARE(testenv::readFile(m_dir + "/small.out"), QByteArray("hello"));
    zip_close(zip);

    // Appending past 4 GiB writes 64-bit offsets that read back.
    zip = zip_open(path, 6, 'a', -1, QString());
    QVERIFY(zip);
    QCOMPARE(addEntry(zip, "more", text(10000)), 0);
    QCOMPARE(zip_close(zip), 0);
    const qint64 size = QFileInfo(path).size();
    const QByteArray endBytes = readRange(path, size - 26, 26);
    const uint64_t directoryOffset = le(endBytes, 16, 8);
    QVERIFY(directoryOffset > 0xFFFFFFFFULL);
    const QByteArray records = readRange(path, qint64(directoryOffset), size - 26 - qint64(directoryOffset));
    QCOMPARE(le(records, 20, 8), big);
    QCOMPARE(le(records, 28, 8), big);
    const qint64 third = 2 * 58 + bigName.size() + smallName.size();
    QCOMPARE(le(records, third + 50, 8), end.centralOffset);

    zip = zip_open(path, 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(names(zip), QStringList({"big", "small", "more"}));
    QCOMPARE(extract(zip, 2, m_dir + "/more.out"), 0);
    QCOMPARE(testenv::readFile(m_dir + "/more.out"), text(10000));
    // Raw copies read from past 4 GiB too.
    zip_t* copy = zip_open(m_dir + "/copied.qv", 0, 'w', -1, QString());
    QVERIFY(mz_zip_writer_add_from_zip_reader(copy, zip, 2, QString(), false));
    QCOMPARE(zip_close(copy), 0);
    zip_close(zip);
    zip = zip_open(m_dir + "/copied.qv", 0, 'r', -1, QString());
    QVERIFY(zip);
    QCOMPARE(extract(zip, 0, m_dir + "/more2.out"), 0);
    zip_close(zip);
    QCOMPARE(testenv::readFile(m_dir + "/more2.out"), text(10000));
    QFile::remove(path);
}

QUENVAR_TEST_MAIN(TestQvFormat)
#include "tst_qvformat.moc"
