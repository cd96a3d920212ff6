// The hand-built archives of the test support, checked against the 7z tool
// (the same engine library the program loads). Every other test that uses
// them relies on what is shown here.

#include "common/testarchives.h"
#include "common/testenv.h"
#include "engine/Guid.h"
#include "enginetestsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <ctime>
#include <unistd.h>
#include <zlib.h>

using namespace testarchives;

namespace {

QByteArray build(const QString& format, const QList<Entry>& entries)
{
    if (format == QLatin1String("rar4"))
        return makeRar4(entries);
    if (format == QLatin1String("rar5"))
        return makeRar5(entries);
    if (format == QLatin1String("zip"))
        return makeZip(entries);
    return makeTar(entries);
}

QString save(const QString& format, const QByteArray& bytes)
{
    static int count = 0;
    const QString suffix = format.startsWith(QLatin1String("rar")) ? QStringLiteral("rar") : format;
    const QString path = testenv::tempDir() + QStringLiteral("/archive%1.%2").arg(++count).arg(suffix);
    if (!testenv::writeFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray pseudoRandom(int size, quint32 seed)
{
    QByteArray out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 23);
    }
    return out;
}

// Cyrillic names (and one mixing scripts, which RAR 4 encodes with both its
// one-byte and two-byte codes), an empty file, nested folders, a file of more
// than 64 KiB (three-byte sizes in RAR 5), a private file, a link, and a date
// that is a different day in local time.
QList<Entry> sampleEntries()
{
    Entry old = file(QStringLiteral("Папка/вложенная/файл.txt"), "данные\n");
    old.mtime = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58), Qt::UTC);
    Entry secret = file(QStringLiteral("docs/secret.txt"), "only me\n");
    secret.mode = 0600;
    return {file(QStringLiteral("readme.txt"), "hello\n"),
            file(QStringLiteral("empty.txt")),
            dir(QStringLiteral("Папка")),
            dir(QStringLiteral("Папка/вложенная")),
            old,
            dir(QStringLiteral("docs")),
            secret,
            file(QStringLiteral("docs/big.bin"), pseudoRandom(100000, 7)),
            file(QStringLiteral("docs/Ωмега é.txt"), "mixed\n"),
            symlink(QStringLiteral("docs/lnk"), "secret.txt")};
}

// What a faithful extraction of the entries leaves on disk, made without the
// builders.
bool materialize(const QString& root, const QList<Entry>& entries)
{
    for (const Entry& e : entries) {
        const QString path = root + QLatin1Char('/') + e.name;
        bool made = QDir().mkpath(QFileInfo(path).absolutePath());
        if (e.kind == Entry::Dir)
            made = made && QDir().mkpath(path);
        else if (e.kind == Entry::Symlink)
            made = made && ::symlink(e.data.constData(), QFile::encodeName(path).constData()) == 0;
        else
            made = made && testenv::writeFile(path, e.data);
        if (!made)
            return false;
    }
    return true;
}

QString crcText(const QByteArray& data)
{
    const uLong crc = ::crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()));
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')).toUpper();
}

// "-rw-r--r--" as ls and the 7z tool write a mode.
QString modeText(quint32 mode)
{
    QString text = (mode & 0170000) == 040000 ? QStringLiteral("d") : (mode & 0170000) == 0120000 ? QStringLiteral("l")
                                                                                                : QStringLiteral("-");
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += mode >> shift & 4 ? QLatin1Char('r') : QLatin1Char('-');
        text += mode >> shift & 2 ? QLatin1Char('w') : QLatin1Char('-');
        text += mode >> shift & 1 ? QLatin1Char('x') : QLatin1Char('-');
    }
    return text;
}

// tar reports "Mode", the other handlers "Attributes" ending in the same text.
QString peerMode(const PeerItem& item)
{
    return item.value(item.contains(QStringLiteral("Mode")) ? QStringLiteral("Mode") : QStringLiteral("Attributes"))
        .right(10);
}

QStringList peerPaths(const PeerListing& listing)
{
    QStringList paths;
    for (const PeerItem& item : listing.items)
        paths << item.value(QStringLiteral("Path"));
    return paths;
}

QString output(const testenv::ProcessResult& r)
{
    return QString::fromUtf8(r.out + r.err);
}

void addFormats(const QStringList& formats)
{
    QTest::addColumn<QString>("format");
    for (const QString& f : formats)
        QTest::newRow(qPrintable(f)) << f;
}

GUID formatClass(const QString& format)
{
    if (format == QLatin1String("rar4"))
        return CLSID_CFormatRar4;
    if (format == QLatin1String("rar5"))
        return CLSID_CFormatRar5;
    return format == QLatin1String("zip") ? CLSID_CFormatZip : CLSID_CFormatTar;
}

const QStringList kAllFormats = {QStringLiteral("rar4"), QStringLiteral("rar5"), QStringLiteral("zip"),
                                 QStringLiteral("tar")};
const QStringList kCheckedFormats = {QStringLiteral("rar4"), QStringLiteral("rar5"), QStringLiteral("zip")};

} // namespace

class TestTestArchives : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { QCOMPARE(CMyUnknownImp::liveObjects(), 0); }

    void rarFixedBlocksMatchWhatRarWrites();
    void peerReadsEveryEntryAsBuilt_data() { addFormats(kAllFormats); }
    void peerReadsEveryEntryAsBuilt();
    void peerReportsEachBrokenEntry_data() { addFormats(kCheckedFormats); }
    void peerReportsEachBrokenEntry();
    void hostileNamesReachPeerAndEngineRaw_data() { addFormats(kAllFormats); }
    void hostileNamesReachPeerAndEngineRaw();
    void hardLinksListTheirTarget_data() { addFormats({QStringLiteral("rar5"), QStringLiteral("tar")}); }
    void hardLinksListTheirTarget();
};

void TestTestArchives::initTestCase()
{
    // A zone away from UTC, so that the local DOS times of ZIP and RAR 4 are
    // really converted (and the 1999-12-31 date turns into 2000-01-01).
    qputenv("TZ", "QVT-5:30");
    tzset();
    QCOMPARE(QDateTime(QDate(2021, 1, 1), QTime(0, 0), Qt::UTC).toLocalTime().time(), QTime(5, 30));
}

void TestTestArchives::rarFixedBlocksMatchWhatRarWrites()
{
    // The archive header and end block RAR writes for an archive without
    // options: they pin the header CRCs and the block layout to real archives.
    const QByteArray rar4 = makeRar4({});
    QCOMPARE(rar4.left(20).toHex(' '), QByteArray("52 61 72 21 1a 07 00 cf 90 73 00 00 0d 00 00 00 00 00 00 00"));
    QCOMPARE(rar4.right(7).toHex(' '), QByteArray("c4 3d 7b 00 40 07 00"));
    const QByteArray rar5 = makeRar5({});
    QCOMPARE(rar5.left(8).toHex(' '), QByteArray("52 61 72 21 1a 07 01 00"));
    QCOMPARE(rar5.right(8).toHex(' '), QByteArray("1d 77 56 51 03 05 04 00"));
}

void TestTestArchives::peerReadsEveryEntryAsBuilt()
{
    QFETCH(QString, format);
    const QList<Entry> entries = sampleEntries();
    const QString archive = save(format, build(format, entries));
    const PeerListing listing = listWith7z(archive);
    QVERIFY2(listing.exitCode == 0, listing.output.constData());
    const QString type = format == QLatin1String("rar4")   ? QStringLiteral("Rar")
                         : format == QLatin1String("rar5") ? QStringLiteral("Rar5")
                                                           : format;
    QCOMPARE(listing.archive.value(QStringLiteral("Type")), type);
    QCOMPARE(listing.items.size(), entries.size());
    for (const Entry& e : entries) {
        const PeerItem* item = listing.find(e.name);
        QVERIFY2(item, qPrintable(e.name));
        QCOMPARE(item->value(QStringLiteral("Folder")),
                 e.kind == Entry::Dir ? QStringLiteral("+") : QStringLiteral("-"));
        QCOMPARE(item->value(QStringLiteral("Modified")).left(19), peerTime(e.mtime));
        QCOMPARE(peerMode(*item), modeText(e.unixMode()));
        if (e.kind == Entry::File && format != QLatin1String("tar"))
            QCOMPARE(item->value(QStringLiteral("CRC")), crcText(e.data));
        // RAR 5 and tar name a link's target; ZIP and RAR 4 keep it as the
        // entry's data, and only the mode says it is a link.
        if (e.kind == Entry::Symlink && (format == QLatin1String("rar5") || format == QLatin1String("tar")))
            QCOMPARE(item->value(QStringLiteral("Symbolic Link")).toUtf8(), e.data);
    }

    const testenv::ProcessResult tested = testenv::run7z({QStringLiteral("t"), archive});
    QVERIFY2(tested.exitCode == 0, qPrintable(output(tested)));
    const QString expected = testenv::makeDir(QStringLiteral("expected-") + format);
    QVERIFY(materialize(expected, entries));
    const QString target = testenv::makeDir(QStringLiteral("extracted-") + format);
    const testenv::ProcessResult extracted =
        testenv::run7z({QStringLiteral("x"), QStringLiteral("-o") + target, archive});
    QVERIFY2(extracted.exitCode == 0, qPrintable(output(extracted)));
    QCOMPARE(testenv::compareTrees(expected, target), QString());
    for (const Entry& e : entries) {
        if (e.kind == Entry::File)
            QCOMPARE(QFileInfo(target + QLatin1Char('/') + e.name).lastModified().toUTC(), e.mtime);
    }
}

void TestTestArchives::peerReportsEachBrokenEntry()
{
    // A compressed RAR entry finds no codec and a bad checksum fails: errors
    // for those entries alone, each named, and the others extract.
    QFETCH(QString, format);
    Entry packed = file(QStringLiteral("packed.bin"), pseudoRandom(1000, 3));
    packed.compressed = true;
    Entry bad = file(QStringLiteral("bad.txt"), "these bytes are fine, their checksum is not\n");
    bad.badCrc = true;
    QList<Entry> entries = {file(QStringLiteral("before.txt"), "before\n"), bad,
                            file(QStringLiteral("after.txt"), "after\n")};
    const bool rar = format.startsWith(QLatin1String("rar"));
    if (rar)
        entries.insert(1, packed);
    const QString archive = save(format, build(format, entries));
    const testenv::ProcessResult tested = testenv::run7z({QStringLiteral("t"), archive});
    QCOMPARE(tested.exitCode, 2);
    QVERIFY2(output(tested).contains(QLatin1String("CRC Failed : bad.txt")), qPrintable(output(tested)));
    QCOMPARE(output(tested).contains(QLatin1String("Unsupported Method : packed.bin")), rar);
    QVERIFY(output(tested).contains(QStringLiteral("Sub items Errors: %1").arg(rar ? 2 : 1)));

    const QString target = testenv::makeDir(QStringLiteral("broken-") + format);
    QCOMPARE(testenv::run7z({QStringLiteral("x"), QStringLiteral("-o") + target, archive}).exitCode, 2);
    QCOMPARE(testenv::readFile(target + QStringLiteral("/before.txt")), QByteArray("before\n"));
    QCOMPARE(testenv::readFile(target + QStringLiteral("/after.txt")), QByteArray("after\n"));
}

void TestTestArchives::hostileNamesReachPeerAndEngineRaw()
{
    // What `7z l` shows for each hostile name, in every format, and what the
    // engine hands the program: the name exactly as stored. "../evil.txt",
    // "a/../../evil2.txt", "/abs/evil3.txt" and "./ok.txt" are not cleaned,
    // and "link" is listed as a link to "/some/outside/dir" ahead of
    // "link/evil4.txt". RAR 4 stores '\' between parts; the handler turns it
    // back into '/'. Extraction code has to make the names safe itself.
    QFETCH(QString, format);
    const QList<Entry> entries = hostileEntries();
    const QString archive = save(format, build(format, entries));
    const PeerListing listing = listWith7z(archive);
    QVERIFY2(listing.exitCode == 0, listing.output.constData());
    QStringList names;
    for (const Entry& e : entries)
        names << e.name;
    QCOMPARE(peerPaths(listing), names);
    const PeerItem* link = listing.find(QStringLiteral("link"));
    QVERIFY(link);
    QCOMPARE(peerMode(*link), QStringLiteral("lrwxrwxrwx"));
    if (format == QLatin1String("rar5") || format == QLatin1String("tar"))
        QCOMPARE(link->value(QStringLiteral("Symbolic Link")), QStringLiteral("/some/outside/dir"));
    else
        QCOMPARE(link->value(QStringLiteral("Size")).toInt(), int(strlen("/some/outside/dir")));

    TestOperation operation;
    QList<ListedItem> items;
    QCOMPARE(listArchive(archive, formatClass(format), &operation, &items), S_OK);
    QCOMPARE(items.size(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(items[i].path, entries[i].name);
        QCOMPARE(items[i].isDir, entries[i].kind == Entry::Dir);
    }
}

void TestTestArchives::hardLinksListTheirTarget()
{
    QFETCH(QString, format);
    const QList<Entry> entries = {file(QStringLiteral("data.txt"), "data\n"),
                                  hardlink(QStringLiteral("copy.txt"), "data.txt"),
                                  hardlink(QStringLiteral("escape"), "../../etc/passwd")};
    const PeerListing listing = listWith7z(save(format, build(format, entries)));
    QVERIFY2(listing.exitCode == 0, listing.output.constData());
    QCOMPARE(peerPaths(listing), QStringList({QStringLiteral("data.txt"), QStringLiteral("copy.txt"),
                                              QStringLiteral("escape")}));
    QCOMPARE(listing.find(QStringLiteral("copy.txt"))->value(QStringLiteral("Hard Link")), QStringLiteral("data.txt"));
    QCOMPARE(listing.find(QStringLiteral("escape"))->value(QStringLiteral("Hard Link")),
             QStringLiteral("../../etc/passwd"));
}

QUENVAR_TEST_MAIN(TestTestArchives)
#include "tst_testarchives.moc"
