#pragma once

// Byte-level building of the archives the tests make by hand, independent
// reading and building of ".qv" records, and short-hands for the container layer.

#include "BuiltInZipApi/zip.h"
#include "common/testenv.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

namespace qvbytes {

inline uint64_t le(const QByteArray& bytes, qint64 at, int width)
{
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | uint8_t(bytes.at(int(at + i)));
    return value;
}

// Little-endian fields, each given as (value, width in bytes).
inline QByteArray fields(std::initializer_list<std::pair<uint64_t, int>> values)
{
    QByteArray bytes;
    for (const auto& field : values)
        for (int i = 0; i < field.second; ++i)
            bytes.append(char(uint8_t(field.first >> (8 * i))));
    return bytes;
}

inline QByteArray utf32Name(const QString& name)
{
    QByteArray bytes;
    for (uint codePoint : name.toUcs4())
        bytes += fields({{codePoint, 4}});
    return bytes + fields({{0, 4}});
}

inline uint32_t crcOf(const QByteArray& data)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

struct Local
{
    uint16_t marker = 0, flags = 0, method = 0, dosTime = 0, dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressed = 0, uncompressed = 0;
    uint16_t nameLength = 0xFFFF, extraLength = 0;
    uint32_t signature = 0xAAD34B50;
};

inline QByteArray localHeader(const Local& h, const QByteArray& name)
{
    const uint16_t nameLength = h.nameLength == 0xFFFF ? uint16_t(name.size()) : h.nameLength;
    return fields({{h.signature, 4}, {h.marker, 2}, {h.flags, 2}, {h.method, 2}, {h.dosTime, 2},
                   {h.dosDate, 2}, {h.crc, 4}, {h.compressed, 8}, {h.uncompressed, 8},
                   {nameLength, 2}, {h.extraLength, 2}})
        + name;
}

struct Central
{
    uint16_t madeBy = 0x035B, marker = 0, flags = 0, method = 0, dosTime = 0, dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressed = 0, uncompressed = 0;
    uint16_t nameLength = 0xFFFF, extraLength = 0, commentLength = 0, diskStart = 0, internal = 0;
    uint32_t external = 0x81A40000;
    uint64_t localOffset = 0;
    uint32_t signature = 0x02014AAA;
};

inline QByteArray centralRecord(const Central& r, const QByteArray& name)
{
    const uint16_t nameLength = r.nameLength == 0xFFFF ? uint16_t(name.size()) : r.nameLength;
    return fields({{r.signature, 4}, {r.madeBy, 2}, {r.marker, 2}, {r.flags, 2}, {r.method, 2},
                   {r.dosTime, 2}, {r.dosDate, 2}, {r.crc, 4}, {r.compressed, 8},
                   {r.uncompressed, 8}, {nameLength, 2}, {r.extraLength, 2},
                   {r.commentLength, 2}, {r.diskStart, 2}, {r.internal, 2}, {r.external, 4},
                   {r.localOffset, 8}})
        + name;
}

struct End
{
    uint16_t disk = 0, centralDisk = 0, entriesOnDisk = 0, entries = 0;
    uint32_t centralSize = 0;
    uint64_t centralOffset = 0;
    uint16_t commentLength = 0;
    uint32_t signature = 0x06054AAA;
};

inline QByteArray endRecord(const End& e)
{
    return fields({{e.signature, 4}, {e.disk, 2}, {e.centralDisk, 2}, {e.entriesOnDisk, 2},
                   {e.entries, 2}, {e.centralSize, 4}, {e.centralOffset, 8},
                   {e.commentLength, 2}});
}

// One entry as the central directory of a file describes it.
struct Listed
{
    QString name;
    uint16_t marker = 0, method = 0, dosTime = 0, dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressed = 0, uncompressed = 0, localOffset = 0, dataOffset = 0;
};

// Walks a whole archive image; empty on anything unexpected.
inline QVector<Listed> parse(const QByteArray& a)
{
    QVector<Listed> out;
    if (a.size() < 26 || le(a, a.size() - 26, 4) != 0x06054AAA)
        return out;
    const int count = int(le(a, a.size() - 16, 2));
    qint64 pos = qint64(le(a, a.size() - 10, 8));
    for (int i = 0; i < count; ++i) {
        if (le(a, pos, 4) != 0x02014AAA)
            return {};
        Listed l;
        l.marker = uint16_t(le(a, pos + 6, 2));
        l.method = uint16_t(le(a, pos + 10, 2));
        l.dosTime = uint16_t(le(a, pos + 12, 2));
        l.dosDate = uint16_t(le(a, pos + 14, 2));
        l.crc = uint32_t(le(a, pos + 16, 4));
        l.compressed = le(a, pos + 20, 8);
        l.uncompressed = le(a, pos + 28, 8);
        const int nameLength = int(le(a, pos + 36, 2));
        l.localOffset = le(a, pos + 50, 8);
        QVector<uint> points;
        for (int c = 0; c + 4 <= nameLength; c += 4)
            if (uint code = uint(le(a, pos + 58 + c, 4)))
                points.append(code);
        l.name = QString::fromUcs4(points.constData(), points.size());
        const qint64 lho = qint64(l.localOffset);
        l.dataOffset = l.localOffset + 38 + le(a, lho + 34, 2) + le(a, lho + 36, 2);
        out.append(l);
        pos += 58 + nameLength + qint64(le(a, pos + 38, 2)) + qint64(le(a, pos + 40, 2));
    }
    return out;
}

inline QByteArray dataOf(const QByteArray& archive, const Listed& l)
{
    return archive.mid(int(l.dataOffset), int(l.compressed));
}

// Latin, Cyrillic and CJK passwords, and one of 255 characters, each of
// which passes 255 with the length (one of them to 512, whose low byte is 0).
inline QList<QPair<QByteArray, QString>> kindsOfPassword()
{
    return {{"latin", QStringLiteral("abc")},
            {"cyrillic", QString::fromUtf8("пароль")},
            {"cjk", QString::fromUtf8("密码")},
            {"255 characters", QString(200, 'x') + QString(54, QChar(0x0436)) + QChar(0x0101)}};
}

// What zlib makes of data as a raw deflate stream; empty when it fails.
inline QByteArray inflateRaw(const QByteArray& data)
{
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return {};
    QByteArray out;
    char chunk[16384];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof(chunk);
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, int(sizeof(chunk) - stream.avail_out));
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? out : QByteArray();
}

inline QByteArray deflateRaw(const QByteArray& data)
{
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
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

// Rewrites an archive written with password as the original keystream rule
// left it: deflate data scrambled with key bytes of 0 where a code unit plus
// the length passes 255, stored data as it stands.
inline bool toOriginalRule(const QString& path, const QString& password)
{
    const int length = password.size();
    QByteArray original(length, '\0');
    for (int j = 0; j < length; ++j) {
        const uint unit = (password.at(j).unicode() + uint(length)) & 0xFFFF;
        original[j] = char(unit <= 255 ? unit : 0);
    }
    QByteArray a = testenv::readFile(path);
    for (const Listed& l : parse(a)) {
        if (l.marker == 0)
            continue;
        uint8_t* data = reinterpret_cast<uint8_t*>(a.data()) + l.dataOffset;
        xor_crypt(password, length, data, size_t(l.compressed), l.dataOffset);
        for (uint64_t i = 0; l.method == 8 && i < l.compressed; ++i)
            data[i] ^= uint8_t(original[int((l.dataOffset + i) % uint64_t(length))]);
    }
    return testenv::writeFile(path, a);
}

// The logical archive: the file, or its volumes one after another.
inline QByteArray logical(const QString& path, bool volumes)
{
    if (!volumes)
        return testenv::readFile(path);
    QByteArray all;
    for (int n = 1; QFile::exists(path + QString::asprintf(".%03d", n)); ++n)
        all += testenv::readFile(path + QString::asprintf(".%03d", n));
    return all;
}

// Writes one entry; data may be empty. 0 or -1.
inline int addEntry(zip_t* zip, const QString& name, const QByteArray& data,
                    qint64 time = 1700000000)
{
    const std::wstring wide = name.toStdWString();
    if (zip_entry_open_last_access(zip, wide.c_str(), time) != 0)
        return -1;
    if (zip_entry_write(zip, data.constData(), size_t(data.size())) != 0) {
        zip_entry_close(zip);
        return -1;
    }
    return zip_entry_close(zip);
}

// A new archive of (name, data) entries at one level; false when any step failed.
inline bool writeArchive(const QString& path, int level, const QString& password,
                         const QList<QPair<QString, QByteArray>>& entries, qint64 volumeSize = -1)
{
    zip_t* zip = zip_open(path, level, 'w', volumeSize, password);
    bool ok = zip != nullptr;
    for (const auto& entry : entries)
        ok = ok && addEntry(zip, entry.first, entry.second) == 0;
    return zip_close(zip) == 0 && ok;
}

// Names of every entry of an open archive, in order.
inline QStringList names(zip_t* zip)
{
    QStringList out;
    for (int i = 0; i < zip_total_entries(zip); ++i) {
        if (zip_entry_openbyindex(zip, i) != 0)
            return {QStringLiteral("<unreadable>")};
        const wchar_t* name = zip_entry_name(zip);
        out << (name ? QString::fromWCharArray(name) : QString());
        zip_entry_close(zip);
    }
    return out;
}

// Extracts entry index to path; the result of zip_entry_fread.
inline int extract(zip_t* zip, int index, const QString& path, ArchiveProgress* progress = nullptr)
{
    if (zip_entry_openbyindex(zip, index) != 0)
        return -100;
    const int result = zip_entry_fread(zip, path, nullptr, progress);
    zip_entry_close(zip);
    return result;
}

// Entry index of the archive at path extracted with password; "<failed>"
// when that fails.
inline QByteArray extracted(const QString& archive, const QString& password, int index)
{
    const QString out = archive + QStringLiteral(".out");
    zip_t* zip = zip_open(archive, 0, 'r', -1, password);
    const int result = zip ? extract(zip, index, out) : -1;
    zip_close(zip);
    const QByteArray data = result == 0 ? testenv::readFile(out) : QByteArray("<failed>");
    QFile::remove(out);
    return data;
}

inline QByteArray text(int size)
{
    QByteArray line("The quick brown fox jumps over the lazy dog. ");
    QByteArray data;
    while (data.size() < size)
        data += line;
    return data.left(size);
}

} // namespace qvbytes
