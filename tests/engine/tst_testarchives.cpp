// The hand-built archives of the test support, checked against the 7z tool
// (the same engine library the program loads). Every other test that uses
// them relies on what is shown here. Entries built broken (a bad checksum, a
// compressed RAR entry) show through the program, in
// TestArchiveHostile::brokenEntriesAreNamed.

#include "common/testarchives.h"
#include "common/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <cstring>
#include <ctime>
#include <unistd.h>
#include <zlib.h>

using namespace testarchives;

namespace {

QByteArray build(const QString& format, const QList<Entry>& entries)
{
    if (format == "rar4")
        return makeRar4(entries);
    if (format == "rar5")
        return makeRar5(entries);
    if (format == "zip")
        return makeZip(entries);
    return makeTar(entries);
}

QString save(const QString& format, const QByteArray& bytes)
{
    static int count = 0;
    const QString suffix = format.startsWith("rar") ? "rar" : format;
    const QString path = testenv::tempDir() + QString("/archive%1.%2").arg(++count).arg(suffix);
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
    Entry old = file("Папка/вложенная/файл.txt", "данные\n");
    old.mtime = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58), Qt::UTC);
    Entry secret = file("docs/secret.txt", "only me\n");
    secret.mode = 0600;
    return {file("readme.txt", "hello\n"),
            file("empty.txt"),
            dir("Папка"),
            dir("Папка/вложенная"),
            old,
            dir("docs"),
            secret,
            file("docs/big.bin", pseudoRandom(100000, 7)),
            file("docs/Ωмега é.txt", "mixed\n"),
            symlink(QString("docs/lnk"), "secret.txt")};
}

// What a faithful extraction of the entries leaves on disk, made without the
// builders.
bool materialize(const QString& root, const QList<Entry>& entries)
{
    for (const Entry& e : entries) {
        const QString path = root + '/' + e.name;
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
    const uLong crc =
        ::crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()));
    return QString("%1").arg(crc, 8, 16, QChar('0')).toUpper();
}

// "-rw-r--r--" as ls and the 7z tool write a mode.
QString modeText(quint32 mode)
{
    QString text = (mode & 0170000) == 040000 ? "d" : (mode & 0170000) == 0120000 ? "l" : "-";
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += mode >> shift & 4 ? 'r' : '-';
        text += mode >> shift & 2 ? 'w' : '-';
        text += mode >> shift & 1 ? 'x' : '-';
    }
    return text;
}

// tar reports "Mode", the other handlers "Attributes" ending in the same text.
QString peerMode(const PeerItem& item)
{
    return item.value(item.contains("Mode") ? "Mode" : "Attributes").right(10);
}

QStringList peerPaths(const PeerListing& listing)
{
    QStringList paths;
    for (const PeerItem& item : listing.items)
        paths << item.value("Path");
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

const QStringList kAllFormats = {"rar4", "rar5", "zip", "tar"};

} // namespace

class TestTestArchives : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void peerReadsEveryEntryAsBuilt_data() { addFormats(kAllFormats); }
    void peerReadsEveryEntryAsBuilt();
    void hostileNamesReachPeerRaw_data() { addFormats(kAllFormats); }
    void hostileNamesReachPeerRaw();
    void hardLinksListTheirTarget_data() { addFormats({"rar5", "tar"}); }
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

void TestTestArchives::peerReadsEveryEntryAsBuilt()
{
    QFETCH(QString, format);
    const QList<Entry> entries = sampleEntries();
    const QString archive = save(format, build(format, entries));
    const PeerListing listing = listWith7z(archive);
    QVERIFY2(listing.exitCode == 0, listing.output.constData());
    const QString type = format == "rar4" ? "Rar" : format == "rar5" ? "Rar5" : format;
    QCOMPARE(listing.archive.value("Type"), type);
    QCOMPARE(listing.items.size(), entries.size());
    for (const Entry& e : entries) {
        const PeerItem* item = listing.find(e.name);
        QVERIFY2(item, qPrintable(e.name));
        QCOMPARE(item->value(QString("Folder")),
                 e.kind == Entry::Dir ? QString("+") : QString("-"));
        QCOMPARE(item->value(QString("Modified")).left(19), peerTime(e.mtime));
        QCOMPARE(peerMode(*item), modeText(e.unixMode()));
        if (e.kind == Entry::File && format != "tar")
            QCOMPARE(item->value(QString("CRC")), crcText(e.data));
        // RAR 5 and tar name a link's target; ZIP and RAR 4 keep it as the
        // entry's data, and only the mode says it is a link.
        if (e.kind == Entry::Symlink && (format == "rar5" || format == "tar"))
            QCOMPARE(item->value(QString("Symbolic Link")).toUtf8(), e.data);
    }

    const testenv::ProcessResult tested = testenv::run7z({"t", archive});
    QVERIFY2(tested.exitCode == 0, qPrintable(output(tested)));
    const QString expected = testenv::makeDir("expected-" + format);
    QVERIFY(materialize(expected, entries));
    const QString target = testenv::makeDir("extracted-" + format);
    const testenv::ProcessResult extracted = testenv::run7z({"x", "-o" + target, archive});
    QVERIFY2(extracted.exitCode == 0, qPrintable(output(extracted)));
    QCOMPARE(testenv::compareTrees(expected, target), QString());
    for (const Entry& e : entries) {
        if (e.kind == Entry::File)
            QCOMPARE(QFileInfo(target + '/' + e.name).lastModified().toUTC(), e.mtime);
    }
}

void TestTestArchives::hostileNamesReachPeerRaw()
{
    // What `7z l` shows for each hostile name, in every format: the name
    // exactly as stored. "../evil.txt",
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
    const PeerItem* link = listing.find("link");
    QVERIFY(link);
    QCOMPARE(peerMode(*link), QString("lrwxrwxrwx"));
    if (format == "rar5" || format == "tar")
        QCOMPARE(link->value(QString("Symbolic Link")), QString("/some/outside/dir"));
    else
        QCOMPARE(link->value(QString("Size")).toInt(), int(strlen("/some/outside/dir")));
}

void TestTestArchives::hardLinksListTheirTarget()
{
    QFETCH(QString, format);
    const QList<Entry> entries = {file("data.txt", "data\n"), hardlink("copy.txt", "data.txt"),
                                  hardlink("escape", "../../etc/passwd")};
    const PeerListing listing = listWith7z(save(format, build(format, entries)));
    QVERIFY2(listing.exitCode == 0, listing.output.constData());
    QCOMPARE(peerPaths(listing), QStringList({"data.txt", "copy.txt", "escape"}));
    QCOMPARE(listing.find(QString("copy.txt"))->value(QString("Hard Link")), QString("data.txt"));
    QCOMPARE(listing.find(QString("escape"))->value(QString("Hard Link")),
             QString("../../etc/passwd"));
}

QUENVAR_TEST_MAIN(TestTestArchives)
#include "tst_testarchives.moc"
