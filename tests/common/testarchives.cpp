#include "common/testarchives.h"

#include "common/qvbytes.h"
#include "common/testenv.h"

#include "engine/filearchive.h"

#include <QFile>
#include <QStringList>
#include <QTimeZone>


namespace testarchives {

namespace {

using qvbytes::crcOf;
using qvbytes::fields;

quint32 storedCrc(const Entry& e)
{
    const quint32 crc = crcOf(e.data);
    return e.badCrc ? ~crc : crc;
}

// Seconds and date in the DOS layout, from the local time.
quint32 dosTime(const QDateTime& time)
{
    const QDateTime local = time.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    if (d.year() < 1980)
        return (1 << 21) | (1 << 16); // 1980-01-01 00:00:00
    return quint32(d.year() - 1980) << 25 | quint32(d.month()) << 21 | quint32(d.day()) << 16
           | quint32(t.hour()) << 11 | quint32(t.minute()) << 5 | quint32(t.second() / 2);
}

// The few bytes a compressed entry carries instead of its data; any content
// will do, the engine has no codec to try them with.
const QByteArray kPackedStandIn("\x1f\x8b\xc3\x5a\x00\x7e\x91\x42packed", 14);

bool isAscii(const QByteArray& bytes)
{
    for (char c : bytes)
        if (quint8(c) >= 0x80)
            return false;
    return true;
}

// ---- RAR 4 -------------------------------------------------------------

const quint8 kRar4Marker[] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
enum : quint16 {
    kRar4LongBlock = 0x8000,   // ADD_SIZE (PACK_SIZE for files) follows the header
    kRar4UnicodeName = 0x0200, // FILE_NAME holds a plain and an encoded name
    kRar4DirectoryDict = 0x00E0,
};
enum : quint8 { kRar4HostUnix = 3, kRar4Store = 0x30, kRar4Normal = 0x33 };

// HEAD_CRC is the low half of the CRC32 of everything after it.
QByteArray rar4Block(quint8 type, quint16 flags, const QByteArray& rest)
{
    const QByteArray body = fields({{type, 1}, {flags, 2}, {7 + rest.size(), 2}}) + rest;
    return fields({{crcOf(body) & 0xFFFF, 2}}) + body;
}

// The encoded half of a RAR 4 Unicode name: a high byte shared by the
// opcode-1 characters, then per four characters one flag byte (two bits
// each, first character in the top bits): 0 = low byte only, 1 = low byte
// with the shared high byte, 2 = both bytes.
QByteArray rar4EncodedName(const QString& name)
{
    quint8 high = 0;
    for (QChar c : name)
        if (c.unicode() > 0xFF) {
            high = quint8(c.unicode() >> 8);
            break;
        }
    QByteArray out(1, char(high));
    int flagAt = -1;
    for (int i = 0; i < name.size(); ++i) {
        if (i % 4 == 0) {
            flagAt = out.size();
            out.append('\0');
        }
        const ushort u = name.at(i).unicode();
        const int opcode = (u >> 8) == 0 ? 0 : (u >> 8) == high ? 1 : 2;
        out[flagAt] = char(quint8(out.at(flagAt)) | opcode << (6 - 2 * (i % 4)));
        out.append(char(u & 0xFF));
        if (opcode == 2)
            out.append(char(u >> 8));
    }
    return out;
}

QByteArray rar4FileBlock(const Entry& e)
{
    if (e.kind == Entry::Hardlink)
        qFatal("RAR 4 archives have no hard links");
    const QString name = QString(e.name).replace(QLatin1Char('/'), QLatin1Char('\\'));
    const QByteArray utf8 = name.toUtf8();
    quint16 flags = kRar4LongBlock;
    QByteArray nameField;
    if (isAscii(utf8)) {
        nameField = utf8;
    } else {
        flags |= kRar4UnicodeName;
        QByteArray plain;
        for (QChar c : name)
            plain.append(c.unicode() < 0x80 ? char(c.unicode()) : '_');
        nameField = plain + '\0' + rar4EncodedName(name);
    }
    const bool isDir = e.kind == Entry::Dir;
    if (isDir)
        flags |= kRar4DirectoryDict;
    const QByteArray packed = isDir ? QByteArray() : e.compressed ? kPackedStandIn : e.data;

    // PACK_SIZE, UNP_SIZE, HOST_OS, FILE_CRC, FTIME, UNP_VER, METHOD, NAME_SIZE, ATTR
    const QByteArray f = fields({{packed.size(), 4}, {isDir ? 0 : e.data.size(), 4},
                                 {kRar4HostUnix, 1}, {isDir ? 0 : storedCrc(e), 4},
                                 {dosTime(e.mtime), 4}, {e.compressed ? 29 : 20, 1},
                                 {e.compressed ? kRar4Normal : kRar4Store, 1},
                                 {nameField.size(), 2}, {e.unixMode(), 4}});
    return rar4Block(0x74, flags, f + nameField) + packed;
}

// ---- RAR 5 -------------------------------------------------------------

void putVint(QByteArray& out, quint64 value)
{
    do {
        quint8 byte = value & 0x7F;
        value >>= 7;
        if (value)
            byte |= 0x80;
        out.append(char(byte));
    } while (value);
}

QByteArray vint(quint64 value)
{
    QByteArray out;
    putVint(out, value);
    return out;
}

enum : quint64 { kRar5HasExtra = 0x0001, kRar5HasData = 0x0002, kRar5SkipIfUnknown = 0x0004 };
enum : quint64 { kRar5Dir = 0x0001, kRar5UnixTime = 0x0002, kRar5HasCrc = 0x0004 };
enum : quint64 {
    kRar5HostUnix = 1,
    kRar5ExtraRedirection = 5,
    kRar5UnixSymlink = 1,
    kRar5HardLink = 4
};

// CRC32, size (vint), then type, flags, [extra size], [data size], fields.
// The CRC covers the size field and everything up to the data area.
QByteArray rar5Block(quint64 type, quint64 flags, const QByteArray& rest,
                     const QByteArray& extra = QByteArray(), const QByteArray& data = QByteArray())
{
    if (!extra.isEmpty())
        flags |= kRar5HasExtra;
    if (!data.isEmpty())
        flags |= kRar5HasData;
    QByteArray body = vint(type) + vint(flags);
    if (flags & kRar5HasExtra)
        body += vint(quint64(extra.size()));
    if (flags & kRar5HasData)
        body += vint(quint64(data.size()));
    body += rest + extra;
    const QByteArray sized = vint(quint64(body.size())) + body;
    return fields({{crcOf(sized), 4}}) + sized + data;
}

QByteArray rar5FileBlock(const Entry& e)
{
    const bool isDir = e.kind == Entry::Dir;
    const bool isLink = e.kind == Entry::Symlink || e.kind == Entry::Hardlink;
    const bool hasData = e.kind == Entry::File;
    quint64 fileFlags = kRar5UnixTime;
    if (isDir)
        fileFlags |= kRar5Dir;
    if (hasData)
        fileFlags |= kRar5HasCrc;
    const quint64 method
        = e.compressed ? 3 : 0; // bits 7-9; version 0, no solid, smallest dictionary

    const QByteArray name = e.name.toUtf8();
    QByteArray f;
    putVint(f, fileFlags);
    putVint(f, hasData ? quint64(e.data.size()) : 0); // unpacked size
    putVint(f, e.unixMode());                          // attributes
    f += fields({{e.mtime.toSecsSinceEpoch(), 4}});
    if (hasData)
        f += fields({{storedCrc(e), 4}});
    putVint(f, method << 7);
    putVint(f, kRar5HostUnix);
    putVint(f, quint64(name.size()));
    f += name;

    QByteArray extra;
    if (isLink) {
        QByteArray record = vint(kRar5ExtraRedirection);
        putVint(record, e.kind == Entry::Symlink ? kRar5UnixSymlink : kRar5HardLink);
        putVint(record, 0); // the target is not a folder
        putVint(record, quint64(e.data.size()));
        record += e.data;
        extra = vint(quint64(record.size())) + record;
    }
    const QByteArray data = !hasData ? QByteArray() : e.compressed ? kPackedStandIn : e.data;
    return rar5Block(2, 0, f, extra, data);
}

// ---- tar ---------------------------------------------------------------

void putField(QByteArray& header, int at, int width, const QByteArray& value)
{
    if (value.size() > width)
        qFatal("tar field too long: %s", value.constData());
    header.replace(at, value.size(), value);
}

QByteArray octal(quint64 value, int width)
{
    return QByteArray::number(value, 8).rightJustified(width - 1, '0');
}

QByteArray tarHeader(const Entry& e)
{
    QByteArray name = QFile::encodeName(e.name);
    if (e.kind == Entry::Dir && !name.endsWith('/'))
        name += '/';
    static const char typeFlags[] = {'0', '5', '2', '1'};
    const quint64 size = e.kind == Entry::File ? quint64(e.data.size()) : 0;

    QByteArray h(512, '\0');
    putField(h, 0, 100, name);
    putField(h, 100, 8, octal(e.unixMode() & 07777, 8));
    putField(h, 108, 8, octal(1000, 8));
    putField(h, 116, 8, octal(1000, 8));
    putField(h, 124, 12, octal(size, 12));
    putField(h, 136, 12, octal(quint64(e.mtime.toSecsSinceEpoch()), 12));
    putField(h, 148, 8, QByteArray(8, ' ')); // counted as spaces in its own sum
    h[156] = typeFlags[e.kind];
    if (e.kind == Entry::Symlink || e.kind == Entry::Hardlink)
        putField(h, 157, 100, e.data);
    putField(h, 257, 8, QByteArray("ustar\0" "00", 8));
    putField(h, 265, 32, "tester");
    putField(h, 297, 32, "tester");
    quint32 sum = 0;
    for (char c : h)
        sum += quint8(c);
    putField(h, 148, 8, octal(sum, 7) + '\0' + ' ');
    return h;
}

} // namespace

QDateTime Entry::defaultTime()
{
    return QDateTime(QDate(2021, 3, 4), QTime(5, 6, 8), Qt::UTC);
}

quint32 Entry::unixMode() const
{
    static const quint32 typeBits[] = {0100000, 040000, 0120000, 0100000};
    static const quint32 defaults[] = {0644, 0755, 0777, 0644};
    return typeBits[kind] | (mode ? mode & 07777 : defaults[kind]);
}

Entry file(const QString& name, const QByteArray& data)
{
    Entry e;
    e.name = name;
    e.data = data;
    return e;
}

Entry dir(const QString& name)
{
    Entry e;
    e.kind = Entry::Dir;
    e.name = name;
    return e;
}

Entry symlink(const QString& name, const QByteArray& target)
{
    Entry e = file(name, target);
    e.kind = Entry::Symlink;
    return e;
}

Entry hardlink(const QString& name, const QByteArray& target)
{
    Entry e = file(name, target);
    e.kind = Entry::Hardlink;
    return e;
}

QByteArray makeRar4(const QList<Entry>& entries)
{
    QByteArray out(reinterpret_cast<const char*>(kRar4Marker), sizeof(kRar4Marker));
    out += rar4Block(0x73, 0, QByteArray(6, '\0')); // archive header: two reserved fields
    for (const Entry& e : entries)
        out += rar4FileBlock(e);
    out += rar4Block(0x7B, 0x4000, QByteArray()); // end of archive, as RAR itself writes it
    return out;
}

QByteArray makeRar5(const QList<Entry>& entries)
{
    QByteArray out("Rar!\x1A\x07\x01\x00", 8);
    out += rar5Block(1, 0, vint(0)); // main header, no archive flags
    for (const Entry& e : entries)
        out += rar5FileBlock(e);
    out += rar5Block(5, kRar5SkipIfUnknown, vint(0)); // end of archive, last volume
    return out;
}

QByteArray makeZip(const QList<Entry>& entries)
{
    QByteArray out;
    QByteArray central;
    for (const Entry& e : entries) {
        if (e.compressed || e.kind == Entry::Hardlink)
            qFatal("the ZIP builder writes stored files, folders and symbolic links only");
        QByteArray name = e.name.toUtf8();
        if (e.kind == Entry::Dir && !name.endsWith('/'))
            name += '/';
        const quint16 flags = isAscii(name) ? 0 : 0x0800; // names in UTF-8
        const quint32 time = dosTime(e.mtime);
        const quint32 crc = e.kind == Entry::Dir ? 0 : storedCrc(e);
        const quint64 size = quint64(e.data.size());
        // "UT": the modification time in UTC.
        const QByteArray extendedTime
            = fields({{0x5455, 2}, {5, 2}, {0x01, 1}, {e.mtime.toSecsSinceEpoch(), 4}});
        // The fields both headers share, from "version needed" (stored) to the extra length.
        const QByteArray common
            = fields({{10, 2}, {flags, 2}, {0, 2}, {time & 0xFFFF, 2}, {time >> 16, 2}, {crc, 4},
                      {size, 4}, {size, 4}, {name.size(), 2}, {extendedTime.size(), 2}});
        const quint64 offset = quint64(out.size());
        out += fields({{0x04034B50, 4}}) + common + name + extendedTime + e.data;
        // Made on Unix by version 3.0; no comment, disk 0, no internal attributes.
        const quint64 external = quint64(e.unixMode()) << 16 | (e.kind == Entry::Dir ? 0x10 : 0);
        central += fields({{0x02014B50, 4}, {0x031E, 2}}) + common
            + fields({{0, 2}, {0, 2}, {0, 2}, {external, 4}, {offset, 4}}) + name + extendedTime;
    }
    return out + central
        + fields({{0x06054B50, 4}, {0, 2}, {0, 2}, {entries.size(), 2}, {entries.size(), 2},
                  {central.size(), 4}, {out.size(), 4}, {0, 2}});
}

QByteArray makeTar(const QList<Entry>& entries)
{
    QByteArray out;
    for (const Entry& e : entries) {
        if (e.compressed || e.badCrc)
            qFatal("tar entries are neither compressed nor checked by CRC");
        out += tarHeader(e);
        if (e.kind == Entry::File) {
            out += e.data;
            out += QByteArray((512 - e.data.size() % 512) % 512, '\0');
        }
    }
    return out + QByteArray(1024, '\0');
}

QByteArray truncated(const QByteArray& archive, int keepBytes)
{
    return archive.left(keepBytes < 0 ? archive.size() / 2 : keepBytes);
}

QList<Entry> hostileEntries()
{
    const QByteArray ok("ok\n");
    return {file(QStringLiteral("../evil.txt"), "evil\n"),
            file(QStringLiteral("a/../../evil2.txt"), "evil\n"),
            file(QStringLiteral("/abs/evil3.txt"), "evil\n"),
            file(QStringLiteral("./ok.txt"), ok),
            symlink(QStringLiteral("link"), "/some/outside/dir"),
            file(QStringLiteral("link/evil4.txt"), "evil\n"),
            dir(QStringLiteral("good")),
            file(QStringLiteral("good/inside.txt"), ok),
            file(QStringLiteral("good.txt"), ok)};
}

const PeerItem* PeerListing::find(const QString& path) const
{
    for (const PeerItem& item : items)
        if (item.value(QStringLiteral("Path")) == path)
            return &item;
    return nullptr;
}

PeerListing listWith7z(const QString& archivePath)
{
    const testenv::ProcessResult r = testenv::run7z(
        {QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("-sccUTF-8"), archivePath});
    PeerListing listing;
    listing.exitCode = r.finished ? r.exitCode : -1;
    listing.output = r.out + r.err;
    // "--" opens the archive's own properties, "----------" the entries,
    // which are separated by empty lines.
    enum { Preamble, Archive, Items } part = Preamble;
    PeerItem current;
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        if (line == QLatin1String("--") && part == Preamble) {
            part = Archive;
        } else if (line == QLatin1String("----------")) {
            part = Items;
        } else if (part == Items && line.isEmpty()) {
            if (!current.isEmpty())
                listing.items.append(current);
            current.clear();
        } else if (part != Preamble) {
            const int eq = line.indexOf(QLatin1String(" = "));
            if (eq > 0)
                (part == Archive ? listing.archive : current)[line.left(eq)] = line.mid(eq + 3);
        }
    }
    if (!current.isEmpty())
        listing.items.append(current);
    return listing;
}

QStringList entryPaths(const QString& archivePath)
{
    QStringList paths;
    if (isQvExtension(archivePath)) {
        FileArchive reader;
        reader.openArchive(archivePath);
        for (const ArchiveItemInfo& item : reader.archiveItems())
            paths << item.name;
    } else {
        const PeerListing listing = listWith7z(archivePath);
        for (const PeerItem& item : listing.items)
            paths << item.value(QStringLiteral("Path"));
    }
    paths.sort();
    return paths;
}

QString peerTime(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace testarchives
