// The own container's bytes on disk and its round trips: damaged and hostile images fail
// cleanly, the fuzzer's kept inputs (fuzz/corpus/qv) replay, passwords hide every entry.
#include "common/qvbytes.h"

#include "engine/ArchiveProgress.h"
#include "qv_reader_harness.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <ctime>
#include <functional>
#include <thread>

using namespace qvbytes;

namespace {

const int kRefused = -1; // zip_open itself refuses the image

// One entry built by hand, so that every field can be bent.
struct Image
{
    QByteArray data = "hello, world";
    QByteArray nameBytes = utf32Name("entry.txt");
    Local local;
    Central central;
    End end;
    QByteArray trailingDirectory;
    std::function<void(End&)> bendEnd; // after the directory's place is filled in

    Image()
    {
        local.crc = central.crc = crcOf(data);
        local.compressed = central.compressed = uint64_t(data.size());
        local.uncompressed = central.uncompressed = uint64_t(data.size());
        end.entries = end.entriesOnDisk = 1;
    }

    void deflated(const QByteArray& plain)
    {
        data = deflateRaw(plain);
        local.method = central.method = 8;
        local.crc = central.crc = crcOf(plain);
        local.compressed = central.compressed = uint64_t(data.size());
        local.uncompressed = central.uncompressed = uint64_t(plain.size());
    }

    QByteArray build()
    {
        const QByteArray entry = localHeader(local, nameBytes) + data;
        const QByteArray directory = centralRecord(central, nameBytes) + trailingDirectory;
        end.centralSize = uint32_t(directory.size());
        end.centralOffset = uint64_t(entry.size());
        if (bendEnd)
            bendEnd(end);
        return entry + directory + endRecord(end);
    }
};

QByteArray bent(const std::function<void(Image&)>& bend)
{
    Image image;
    bend(image);
    return image.build();
}

QByteArray deflatedImage(const QByteArray& plain, const std::function<void(Image&)>& bend = {})
{
    Image image;
    image.deflated(plain);
    if (bend)
        bend(image);
    return image.build();
}

QByteArray endBent(const std::function<void(End&)>& bend)
{
    Image image;
    image.bendEnd = bend;
    return image.build();
}


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

// Copies the given source entries into a new target, as an update does.
bool copyEntries(const QString& source, const QString& sourcePassword, const QString& target,
                 const QList<int>& picks, ZipError* error = nullptr)
{
    zip_t* src = zip_open(source, 0, 'r', -1, sourcePassword);
    zip_t* dest = zip_open(target, 0, 'w', -1, QString());
    bool ok = src && dest;
    for (int i = 0; ok && i < picks.size(); ++i)
        ok = mz_zip_writer_add_from_zip_reader(dest, src, picks[i], QString(), false);
    if (error)
        *error = zip_last_error(dest);
    zip_close(src);
    return zip_close(dest) == 0 && ok;
}

// Counts the conflict check's questions and lets every file be written.
int g_checks = 0;
int countingCheck(FileArchive*, QString&, const QDateTime&)
{
    ++g_checks;
    return ZIP_ANSWER_PROCEED;
}

} // namespace

class TestQvFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        m_dir = testenv::makeDir("qvformat");
    }

    void init()
    {
        zip_set_conflict_check(nullptr);
        g_checks = 0;
    }

    void keystream_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("rule");
        QTest::addColumn<QByteArray>("stream");
        const QString wide = QString::fromUtf8("aЖ") + QChar(0x00FD);
        QTest::newRow("code units plus the length")
            << "abc" << qint64(0) << int(ZIP_KEY_MENDED) << QByteArray("646566");
        // Past 255 the mended rule takes the sum's low byte, 1 for a low byte of
        // 0; the original rule gave 0 and left those bytes alone.
        QTest::newRow("past 255, mended")
            << wide << qint64(0) << int(ZIP_KEY_MENDED) << QByteArray("641901");
        QTest::newRow("past 255, original")
            << wide << qint64(0) << int(ZIP_KEY_ORIGINAL) << QByteArray("640000");
    }

    void keystream()
    {
        QFETCH(QString, key);
        QFETCH(qint64, offset);
        QFETCH(int, rule);
        QFETCH(QByteArray, stream);
        QByteArray bytes(6, '\0');
        xor_crypt(key, key.size(), reinterpret_cast<uint8_t*>(bytes.data()), 6, uint64_t(offset),
                  ZipKeyRule(rule));
        QCOMPARE(bytes.toHex(), stream + stream);
    }

    void dosTimesClampToTheirYears_data()
    {
        QTest::addColumn<qint64>("time");
        QTest::addColumn<int>("dosTime");
        QTest::addColumn<int>("dosDate");
        QTest::addColumn<qint64>("readBack");
        QTest::newRow("before the first year")
            << qint64(100000000) << 0 << 1 * 32 + 1 << qint64(315532800);
        QTest::newRow("after the last year") << qint64(4398046511104LL) << 23 * 2048 + 59 * 32 + 29
                                             << 127 * 512 + 12 * 32 + 31 << qint64(4354819198LL);
    }

    void dosTimesClampToTheirYears()
    {
        QFETCH(qint64, time);
        QFETCH(int, dosTime);
        QFETCH(int, dosDate);
        QFETCH(qint64, readBack);
        const QString path = m_dir + "/times.qv";
        zip_t* zip = zip_open(path, 0, 'w', -1, QString());
        QCOMPARE(addEntry(zip, "t", "x", time), 0);
        QCOMPARE(zip_close(zip), 0);
        const Listed listed = parse(testenv::readFile(path)).value(0);
        QCOMPARE(int(listed.dosTime), dosTime);
        QCOMPARE(int(listed.dosDate), dosDate);
        zip = zip_open(path, 0, 'r', -1, QString());
        QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
        QCOMPARE(zip_entry_time(zip), readBack);
        zip_close(zip);
    }

    void volumeSetsOpenOnlyWhole()
    {
        const QString path = m_dir + "/set.qv";
        const QString first = path + ".001";
        const QByteArray data = testenv::randomBytes(400);
        QVERIFY(writeArchive(path, 0, QString(), {{"x", data}}, 50));
        const QString last = path + QString::asprintf(".%03d", (46 + 400 + 58 + 8 + 26 + 49) / 50);
        QVERIFY(QFile::exists(last));
        QCOMPARE(extracted(first, QString(), 0), data);
        const QByteArray third = testenv::readFile(path + ".003");
        QVERIFY(testenv::writeFile(path + ".003", third.left(40)));
        QVERIFY(!zip_open(first, 0, 'r', -1, QString()));
        QVERIFY(testenv::writeFile(path + ".003", third));
        QVERIFY(QFile::rename(last, last + ".away"));
        QVERIFY(!zip_open(first, 0, 'r', -1, QString()));
        QVERIFY(QFile::rename(last + ".away", last));
        const QByteArray second = testenv::readFile(path + ".002");
        QVERIFY(QFile::remove(path + ".002"));
        QVERIFY(!zip_open(first, 0, 'r', -1, QString()));
        QVERIFY(testenv::writeFile(path + ".002", second));
        QVERIFY(testenv::writeFile(m_dir + "/zero.qv.001", QByteArray()));
        QVERIFY(!zip_open(m_dir + "/zero.qv.001", 0, 'r', -1, QString()));
        QVERIFY(writeArchive(path, 0, QString(), {{"small", "tiny"}}, 50));
        QVERIFY(QFile::exists(path + ".004"));
        QVERIFY(!QFile::exists(path + ".005"));
        QVERIFY(!QFile::exists(last));
        QCOMPARE(extracted(first, QString(), 0), QByteArray("tiny"));
    }

    void atMost999Volumes()
    {
        // One byte per volume: the 1000th byte has nowhere to go.
        const QString path = m_dir + "/tiny.qv";
        const QByteArray fits = testenv::randomBytes(800);
        zip_t* zip = zip_open(path, 0, 'w', 1, QString());
        QVERIFY(zip);
        QCOMPARE(addEntry(zip, "fits", fits), 0);
        QCOMPARE(addEntry(zip, "overflows", testenv::randomBytes(300)), -1);
        QCOMPARE(zip_last_error(zip), ZIP_EWRITE);
        QVERIFY(QFile::exists(path + ".999"));
        QVERIFY(!QFile::exists(path + ".1000"));
        // The first entry's directory and end record still fit; the failed entry's volumes go.
        QCOMPARE(zip_close(zip), 0);
        const int used = 38 + 20 + 800 + 58 + 20 + 26;
        QVERIFY(QFile::exists(path + QString::asprintf(".%03d", used)));
        QVERIFY(!QFile::exists(path + QString::asprintf(".%03d", used + 1)));
        QCOMPARE(extracted(path + ".001", QString(), 0), fits);
    }

    void entryAndNameLimits()
    {
        const QString path = m_dir + "/many.qv";
        zip_t* zip = zip_open(path, 0, 'w', -1, QString());
        QVERIFY(zip);
        const QString longest
            = QString(ZIP_MAX_NAME_CHARS - 1, 'n') + QString::fromUtf8("\xF0\x9F\x98\x80");
        QCOMPARE(addEntry(zip, longest, "x"), 0);
        QCOMPARE(addEntry(zip, QString(ZIP_MAX_NAME_CHARS + 1, 'n'), "x"), -1);
        QCOMPARE(zip_last_error(zip), ZIP_ELIMIT);
        for (int i = 1; i < ZIP_MAX_ENTRIES; ++i) {
            const std::wstring name = QString::number(i).toStdWString();
            if (zip_entry_open_last_access(zip, name.c_str(), 1700000000) != 0
                || zip_entry_close(zip) != 0)
                QFAIL(qPrintable(QString("entry %1 failed").arg(i)));
        }
        QCOMPARE(zip_entry_open_last_access(zip, L"one too many", 1700000000), -1);
        QCOMPARE(zip_last_error(zip), ZIP_ELIMIT);
        QCOMPARE(zip_close(zip), 0);

        zip = zip_open(path, 0, 'r', -1, QString());
        QVERIFY(zip);
        QCOMPARE(zip_total_entries(zip), ZIP_MAX_ENTRIES);
        QCOMPARE(zip_entry_openbyindex(zip, 0), 0);
        QCOMPARE(QString::fromWCharArray(zip_entry_name(zip)), longest);
        zip_close(zip);
        QVERIFY(!zip_open(path, 6, 'a', -1, QString()));
    }

    void sizesAndOffsetsPastFourGiB()
    {
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
        const QByteArray directory
            = centralRecord(bigCentral, bigName) + centralRecord(smallCentral, smallName);
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
        zip_close(zip);
        QCOMPARE(extracted(path, QString(), 1), QByteArray("hello"));

        zip = zip_open(path, 6, 'a', -1, QString());
        QVERIFY(zip);
        QCOMPARE(addEntry(zip, "more", text(10000)), 0);
        QCOMPARE(zip_close(zip), 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(file.size() - 26));
        const uint64_t directoryOffset = le(file.read(26), 16, 8);
        QVERIFY(directoryOffset > 0xFFFFFFFFULL);
        QVERIFY(file.seek(qint64(directoryOffset)));
        const QByteArray records = file.read(file.size() - 26 - qint64(directoryOffset));
        QCOMPARE(le(records, 20, 8), big);
        QCOMPARE(le(records, 2 * 58 + bigName.size() + smallName.size() + 50, 8),
                 end.centralOffset);
        QCOMPARE(extracted(path, QString(), 2), text(10000));
        zip = zip_open(path, 0, 'r', -1, QString());
        zip_t* copy = zip_open(m_dir + "/copied.qv", 0, 'w', -1, QString());
        QVERIFY(mz_zip_writer_add_from_zip_reader(copy, zip, 2, QString(), false));
        QCOMPARE(zip_close(copy), 0);
        zip_close(zip);
        QCOMPARE(extracted(m_dir + "/copied.qv", QString(), 0), text(10000));
        QFile::remove(path);
    }

    void damagedImages_data()
    {
        QTest::addColumn<QByteArray>("image");
        // kRefused, or what extracting the entry runs into (ZIP_ENOERROR: it works).
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("content");
        // A raw copy of the entry must fail and leave the target usable.
        QTest::addColumn<bool>("copyFails");
        const auto row = [](const char* name, const QByteArray& image, int outcome,
                            const QByteArray& content = {}, bool copyFails = false) {
            QTest::newRow(name) << image << outcome << content << copyFails;
        };
        const int ok = ZIP_ENOERROR;
        row("hand-built deflated entry", deflatedImage(text(5000)), ok, text(5000));
        row("slack after the directory",
            bent([](Image& i) { i.trailingDirectory = QByteArray(10, 'x'); }), ok, "hello, world");
        row("disk numbers that agree", bent([](Image& i) {
                i.central.diskStart = 1;
                i.bendEnd = [](End& e) { e.disk = e.centralDisk = 1; };
            }),
            ok, "hello, world");
        const QString longest(ZIP_MAX_NAME_CHARS, 'n');
        row("longest name", bent([&](Image& i) { i.nameBytes = utf32Name(longest); }), ok,
            "hello, world");
        row("longest name without its zero",
            bent([&](Image& i) { i.nameBytes = utf32Name(longest).left(4000); }), ok,
            "hello, world");
        row("zero inside the name ends it",
            bent([](Image& i) { i.nameBytes = utf32Name("ab") + QByteArray(3600, 'z'); }), ok,
            "hello, world");

        row("standard ZIP end signature", endBent([](End& e) { e.signature = 0x06054B50; }),
            kRefused);
        row("entries on this disk differ", endBent([](End& e) { e.entriesOnDisk = 2; }), kRefused);
        row("other disk", endBent([](End& e) { e.disk = 1; }), kRefused);
        row("2 entries", endBent([](End& e) { e.entries = e.entriesOnDisk = 2; }), kRefused);
        row("directory size short", endBent([](End& e) { e.centralSize = 57; }), kRefused);
        row("directory size huge", endBent([](End& e) { e.centralSize = 1u << 31; }), kRefused);
        for (uint64_t offset : {~uint64_t(0) - 10, uint64_t(70)})
            row(qPrintable(QString("directory at %1").arg(offset)),
                endBent([=](End& e) { e.centralOffset = offset; }), kRefused);
        const QList<QPair<const char*, std::function<void(Image&)>>> centralBends = {
            {"central signature", [](Image& i) { i.central.signature = 0x02014B50; }},
            {"data without compressed size", [](Image& i) { i.central.compressed = 0; }},
            {"entry on another disk", [](Image& i) { i.central.diskStart = 2; }},
            {"local header past the end", [](Image& i) { i.central.localOffset = 1u << 20; }},
            {"local header offset wrapping",
             [](Image& i) { i.central.localOffset = ~uint64_t(0) - 20; }},
            {"compressed size wrapping",
             [](Image& i) { i.central.compressed = ~uint64_t(0) - 40; }},
            {"masked local headers", [](Image& i) { i.central.flags = 0x2000; }},
            {"name past the directory", [](Image& i) { i.central.nameLength = 4000; }},
            {"extra past the directory", [](Image& i) { i.central.extraLength = 300; }},
            {"comment past the directory", [](Image& i) { i.central.commentLength = 1; }},
            {"name not in whole code points", [](Image& i) { i.nameBytes.chop(2); }},
            {"name over the capacity", [&](Image& i) { i.nameBytes = utf32Name(longest + 'n'); }},
            {"name of 60000 bytes", [](Image& i) { i.nameBytes = QByteArray(60000, 'n'); }},
        };
        for (const auto& bend : centralBends)
            row(bend.first, bent(bend.second), kRefused);
        const QByteArray good = Image().build();
        row("end record not last: one zero", good + QByteArray(1, '\0'), kRefused);
        row("end record not last: most of another", good + good.right(26).left(25), kRefused);

        row("local signature", bent([](Image& i) { i.local.signature = 0x04034B50; }), ZIP_EFORMAT,
            {}, true);
        row("local extra past the end", bent([](Image& i) { i.local.extraLength = 60000; }),
            ZIP_EFORMAT, {}, true);
        row("local name moves data past the end",
            bent([](Image& i) { i.local.nameLength = 0xFFF0; }), ZIP_EFORMAT, {}, true);
        row("unknown method", bent([](Image& i) { i.central.method = i.local.method = 12; }),
            ZIP_EFORMAT);
        row("standard encryption flag", bent([](Image& i) { i.central.flags = 1; }), ZIP_EFORMAT);
        row("stored crc", bent([](Image& i) { i.central.crc ^= 1; }), ZIP_EDATA);
        row("stored size", bent([](Image& i) { i.central.uncompressed = 5; }), ZIP_EDATA);
        row("deflate stream damaged", deflatedImage(text(3000), [](Image& i) {
                const int middle = i.data.size() / 2;
                i.data[middle] = char(i.data.at(middle) ^ 0x55);
            }),
            ZIP_EDATA);
        row("deflate stream cut short", deflatedImage(text(3000), [](Image& i) {
                i.data.chop(4);
                i.local.compressed = i.central.compressed = uint64_t(i.data.size());
            }),
            ZIP_EDATA);
        row("inflates past its size", deflatedImage(QByteArray(4 << 20, 'z'), [](Image& i) {
                i.central.uncompressed = 100;
            }),
            ZIP_EDATA);
        row("empty stream claiming data",
            deflatedImage(QByteArray(), [](Image& i) { i.central.uncompressed = 10; }), ZIP_EDATA);
    }

    void damagedImages()
    {
        QFETCH(QByteArray, image);
        QFETCH(int, outcome);
        QFETCH(QByteArray, content);
        QFETCH(bool, copyFails);
        const QString path = m_dir + "/image.qv";
        const QString out = m_dir + "/image.out";
        const QString copy = m_dir + "/image-copy.qv";
        QFile::remove(out);
        QVERIFY(testenv::writeFile(path, image));
        zip_t* zip = zip_open(path, 0, 'r', -1, QString());
        QCOMPARE(zip != nullptr, outcome != kRefused);
        if (!zip)
            return;
        const int result = extract(zip, 0, out);
        QCOMPARE(result, outcome == ZIP_ENOERROR ? 0 : -1);
        if (result == 0) {
            QCOMPARE(testenv::readFile(out), content);
        } else {
            QCOMPARE(int(zip_last_error(zip)), outcome);
            QVERIFY(!QFile::exists(out));
        }
        zip_t* dest = zip_open(copy, 0, 'w', -1, QString());
        const bool copied = mz_zip_writer_add_from_zip_reader(dest, zip, 0, QString(), false);
        zip_close(zip);
        QCOMPARE(zip_close(dest), 0);
        if (copyFails) {
            QVERIFY(!copied);
            zip = zip_open(copy, 0, 'r', -1, QString());
            QVERIFY(zip);
            QCOMPARE(zip_total_entries(zip), 0);
            zip_close(zip);
        }
    }

    void everyTruncationFails()
    {
        const QString path = m_dir + "/whole.qv";
        QVERIFY(
            writeArchive(path, 6, QString(), {{"a.txt", text(3000)}, {"b/", {}}, {"c.bin", "c"}}));
        const QByteArray whole = testenv::readFile(path);
        for (int size = whole.size() - 1; size >= 0; --size) {
            QVERIFY(testenv::writeFile(path, whole.left(size)));
            zip_t* zip = zip_open(path, 0, 'r', -1, QString());
            zip_close(zip);
            QVERIFY2(!zip, qPrintable(QString::number(size)));
        }
    }

    void appendNeverOverwritesEntries()
    {
        // The directory sits before the data of the entry it describes: new
        // entries, which go where the directory starts, would overwrite it.
        Image i;
        const QByteArray entry = localHeader(i.local, i.nameBytes) + i.data;
        const QByteArray lead(200, 'L');
        i.central.localOffset = uint64_t(lead.size() + 58 + i.nameBytes.size());
        i.end.centralOffset = uint64_t(lead.size());
        i.end.centralSize = uint32_t(58 + i.nameBytes.size());
        const QByteArray before
            = lead + centralRecord(i.central, i.nameBytes) + entry + endRecord(i.end);
        // A local header whose extra field runs into the directory counts too.
        const QByteArray reaching = bent([](Image& j) { j.local.extraLength = 30; });
        const QString path = m_dir + "/before.qv";
        for (const QByteArray& image : {before, reaching}) {
            QVERIFY(testenv::writeFile(path, image));
            zip_t* zip = zip_open(path, 0, 'r', -1, QString());
            QVERIFY(zip);
            zip_close(zip);
            QVERIFY(!zip_open(path, 6, 'a', -1, QString()));
            QCOMPARE(testenv::readFile(path), image);
        }
        QVERIFY(testenv::writeFile(path, before));
        QCOMPARE(extracted(path, QString(), 0), QByteArray("hello, world"));
    }

    void replayCorpus()
    {
        const QDir corpus(QStringLiteral(QUENVAR_SOURCE_DIR "/fuzz/corpus/qv"));
        const QStringList inputs = corpus.entryList(QDir::Files, QDir::Name);
        QVERIFY2(inputs.size() >= 20, qPrintable(corpus.path()));
        const QString work = testenv::makeDir("qvcorpus");
        int opened = 0;
        for (const QString& name : inputs) {
            QFile file(corpus.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray data = file.readAll();
            QString broken;
            QVERIFY2(qvReaderHarness(reinterpret_cast<const uint8_t*>(data.constData()),
                                     size_t(data.size()), work, &broken),
                     qPrintable(name + ": " + broken));
            opened += QFile::exists(work + "/copy.qv") ? 1 : 0;
        }
        // The corpus is more than junk the reader refuses at once.
        QVERIFY(opened > inputs.size() / 10);
    }

    void passwordsHideEveryEntry_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("level");
        for (const auto& kind : kindsOfPassword())
            for (int level : {0, 6})
                QTest::addRow("%s, level %d", kind.first.constData(), level)
                    << kind.second << level;
    }

    void passwordsHideEveryEntry()
    {
        QFETCH(QString, password);
        QFETCH(int, level);
        const QString path = m_dir + "/hidden.qv";
        const QList<QPair<QString, QByteArray>> items
            = {{"a.txt", text(5000)}, {"b.txt", text(300)}};
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
        for (int i = 0; i < items.size(); ++i) {
            // No byte of a stored entry is left as it was; zlib cannot read any of them.
            const QByteArray data = dataOf(archive, listed[i]);
            QVERIFY(inflateRaw(data) != items[i].second);
            for (int k = 0; level == 0 && k < data.size(); ++k)
                QVERIFY(data[k] != items[i].second[k]);
            QCOMPARE(zip_entry_openbyindex(zip, i), 0);
            QVERIFY(zip_entry_encrypted(zip));
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

    void appendedEntriesKeepTheirOwnPassword()
    {
        // An update copies the unchanged entries into a new file and appends the
        // new ones under the request's password, or none: the password given for
        // one kind of entry must not garble the others.
        const QString source = m_dir + "/update.qv";
        const QByteArray gone = testenv::randomBytes(4000);
        QVERIFY(writeArchive(source, 6, "old", {{"gone", gone}, {"kept", text(6000)}}));
        const QString target = m_dir + "/update_tmp1.qv";
        QVERIFY(copyEntries(source, "old", target, {1}));
        for (const QString& password : {QString("new"), QString()}) {
            zip_t* zip = zip_open(target, 6, 'a', -1, password);
            QVERIFY(zip);
            QCOMPARE(
                addEntry(zip, password.isEmpty() ? "open" : "added", text(700 + password.size())),
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

    void failedExtractionKeepsExistingFile()
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
        QCOMPARE(testenv::readFile(out), QByteArray("precious"));
        QCOMPARE(QDir(m_dir).entryList({"keep*"}, QDir::Files | QDir::Hidden),
                 QStringList({"keep.qv", "keep.txt"}));
        zip_set_password(zip, "pw");
        QCOMPARE(extract(zip, 0, out), 0);
        QCOMPARE(g_checks, 2);
        zip_close(zip);
    }

    void replacingGivesOnlyTheOwnerWriteAccess()
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
        QVERIFY(QDir().mkpath(m_dir + "/adir"));
        QCOMPARE(extract(zip, 0, m_dir + "/adir"), -1);
        QCOMPARE(zip_last_error(zip), ZIP_EWRITE);
        zip_close(zip);
    }

    void cancelLeavesNothing()
    {
        const QString path = m_dir + "/cancel.qv";
        QVERIFY(writeArchive(path, 6, QString(), {{"big.bin", testenv::randomBytes(1 << 20)}}));
        zip_t* zip = zip_open(path, 0, 'r', -1, QString());
        const QString out = m_dir + "/cancel.bin";
        ArchiveProgress cancelled;
        cancelled.canceled = true;
        QCOMPARE(extract(zip, 0, out, &cancelled), -1);
        QCOMPARE(zip_last_error(zip), ZIP_ECANCELED);
        QVERIFY(!QFile::exists(out));

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

    void failedWritesFailTheEntry()
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
            QCOMPARE(zip_close(zip), 0);
            zip = zip_open(path + ".001", 0, 'r', -1, QString());
            QCOMPARE(names(zip), QStringList({"fits"}));
            zip_close(zip);
            QCOMPARE(extracted(path + ".001", QString(), 0), QByteArray("0123456789"));
        }
        const QString path = m_dir + "/fullend.qv";
        QVERIFY(QFile::link("/dev/full", path + ".002"));
        zip_t* zip = zip_open(path, 0, 'w', 100, QString());
        QCOMPARE(addEntry(zip, "x", "0123456789"), 0);
        QCOMPARE(zip_close(zip), -1);

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

    void scrambledEntriesStayReadableWhenMoved_data()
    {
        QTest::addColumn<QString>("password");
        for (const QString& password :
             {QString("k"), QString("pw"), QString("abc"), QString("four"), QString("secret"),
              QString::fromUtf8("семь7ми"), QString(41, 'L')})
            QTest::newRow(qPrintable(QString("length %1").arg(password.size()))) << password;
    }

    void scrambledEntriesStayReadableWhenMoved()
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
            QVERIFY(copyEntries(source, password, target, picks, &error));
            QCOMPARE(error, ZIP_ENOERROR);
            for (int i = 0; i < picks.size(); ++i)
                QCOMPARE(extracted(target, password, i), items[picks[i]].data);
            const QString again = m_dir + "/scrambled-again.qv";
            QVERIFY(copyEntries(target, password, again, {picks.size() - 1, 0}));
            QCOMPARE(extracted(again, password, 0), items[picks.last()].data);
            QCOMPARE(extracted(again, password, 1), items[picks.first()].data);
        }
    }

    void copyingScrambledData_data()
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

    void copyingScrambledData()
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
            // The failed copy left the target as it was: the same copy now goes through.
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

    void archivesOfTheOriginalRuleStayReadable_data()
    {
        QTest::addColumn<QString>("password");
        for (const auto& kind : kindsOfPassword())
            QTest::newRow(kind.first.constData()) << kind.second;
    }

    void archivesOfTheOriginalRuleStayReadable()
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
        // An update keeps the first entry in place; the others move, scrambled anew.
        const QList<int> picks = {0, 2, 3, 1};
        const QString target = m_dir + "/original-copy.qv";
        QVERIFY(copyEntries(source, password, target, picks));
        const QByteArray after = testenv::readFile(target);
        const QVector<Listed> copied = parse(after);
        for (int i = 0; i < picks.size(); ++i) {
            const Item& item = items[picks[i]];
            QCOMPARE(extracted(target, password, i), item.data);
            if (i > 0 && item.level != 0)
                QVERIFY(inflateRaw(dataOf(after, copied[i])) != item.data);
        }
        // The original rule left stored data as it was: it moves without the password.
        QVERIFY(copyEntries(source, QString(), target, {1}));
        QCOMPARE(parse(testenv::readFile(target)).value(0).marker, uint16_t(1));
        QCOMPARE(extracted(target, QString(), 0), text(3000));
    }

private:
    QString m_dir;
};

QUENVAR_TEST_MAIN(TestQvFormat)
#include "tst_qvformat.moc"
