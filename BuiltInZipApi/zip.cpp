#include "BuiltInZipApi/zip.h"

#include "engine/ArchiveProgress.h"
#include "fileops/FileUtils.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QThread>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <array>
#include <atomic>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include <unistd.h>

static_assert(sizeof(wchar_t) == 4, "entry names are 32-bit code points");

namespace {

constexpr uint32_t kLocalSignature = 0xAAD34B50;
constexpr uint32_t kCentralSignature = 0x02014AAA;
constexpr uint32_t kEndSignature = 0x06054AAA;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr uint64_t kLocalSize = 38;
constexpr uint64_t kCentralSize = 58;
constexpr uint64_t kEndSize = 26;
// Room that opening an entry asks for: a local header, a central record.
constexpr uint64_t kEntryOverhead = 96;
constexpr uint16_t kVersionMadeBy = 0x035B;
constexpr uint32_t kExternalAttributes = 0x81A40000;
constexpr uint32_t kDirectoryAttribute = 0x10;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagPatched = 0x0020;
constexpr uint16_t kFlagLocalMasked = 0x2000;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;
constexpr int kLevelCompressedData = 0x400;
constexpr int kLevelDoNotSort = 0x800;
constexpr uint64_t kMaxCentralDirectory = 0xFFFFFFFFu;
constexpr int kNameCapacity = ZIP_MAX_NAME_CHARS + 1;
constexpr uint64_t kMaxNameBytes = uint64_t(kNameCapacity) * 4;
constexpr size_t kChunk = 65536;
constexpr size_t kInflateChunk = 32768;
// Split archives may have hundreds of volumes; only this many stay open.
constexpr size_t kMaxOpenVolumes = 16;

std::atomic<ZipConflictCheck> g_conflictCheck{nullptr};

// --- Little-endian fields ---------------------------------------------------

void put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
uint16_t get16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t get64(const uint8_t* p)
{
    return uint64_t(get32(p)) | (uint64_t(get32(p + 4)) << 32);
}

// a + b, false when it does not fit.
bool addFits(uint64_t a, uint64_t b, uint64_t* sum)
{
    if (a > std::numeric_limits<uint64_t>::max() - b)
        return false;
    *sum = a + b;
    return true;
}

// --- Records ----------------------------------------------------------------

struct LocalHeader
{
    uint16_t marker = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
};

void encodeLocal(const LocalHeader& h, uint8_t* p)
{
    put32(p, kLocalSignature);
    put16(p + 4, h.marker);
    put16(p + 6, h.flags);
    put16(p + 8, h.method);
    put16(p + 10, h.dosTime);
    put16(p + 12, h.dosDate);
    put32(p + 14, h.crc);
    put64(p + 18, h.compressedSize);
    put64(p + 26, h.uncompressedSize);
    put16(p + 34, h.nameLength);
    put16(p + 36, h.extraLength);
}

bool decodeLocal(const uint8_t* p, LocalHeader& h)
{
    if (get32(p) != kLocalSignature)
        return false;
    h.marker = get16(p + 4);
    h.flags = get16(p + 6);
    h.method = get16(p + 8);
    h.dosTime = get16(p + 10);
    h.dosDate = get16(p + 12);
    h.crc = get32(p + 14);
    h.compressedSize = get64(p + 18);
    h.uncompressedSize = get64(p + 26);
    h.nameLength = get16(p + 34);
    h.extraLength = get16(p + 36);
    return true;
}

struct CentralRecord
{
    uint16_t madeBy = kVersionMadeBy;
    uint16_t marker = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    uint16_t commentLength = 0;
    uint16_t diskStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = kExternalAttributes;
    uint64_t localHeaderOffset = 0;
};

void encodeCentral(const CentralRecord& r, uint8_t* p)
{
    put32(p, kCentralSignature);
    put16(p + 4, r.madeBy);
    put16(p + 6, r.marker);
    put16(p + 8, r.flags);
    put16(p + 10, r.method);
    put16(p + 12, r.dosTime);
    put16(p + 14, r.dosDate);
    put32(p + 16, r.crc);
    put64(p + 20, r.compressedSize);
    put64(p + 28, r.uncompressedSize);
    put16(p + 36, r.nameLength);
    put16(p + 38, r.extraLength);
    put16(p + 40, r.commentLength);
    put16(p + 42, r.diskStart);
    put16(p + 44, r.internalAttributes);
    put32(p + 46, r.externalAttributes);
    put64(p + 50, r.localHeaderOffset);
}

bool decodeCentral(const uint8_t* p, CentralRecord& r)
{
    if (get32(p) != kCentralSignature)
        return false;
    r.madeBy = get16(p + 4);
    r.marker = get16(p + 6);
    r.flags = get16(p + 8);
    r.method = get16(p + 10);
    r.dosTime = get16(p + 12);
    r.dosDate = get16(p + 14);
    r.crc = get32(p + 16);
    r.compressedSize = get64(p + 20);
    r.uncompressedSize = get64(p + 28);
    r.nameLength = get16(p + 36);
    r.extraLength = get16(p + 38);
    r.commentLength = get16(p + 40);
    r.diskStart = get16(p + 42);
    r.internalAttributes = get16(p + 44);
    r.externalAttributes = get32(p + 46);
    r.localHeaderOffset = get64(p + 50);
    return true;
}

struct EndRecord
{
    uint16_t disk = 0;
    uint16_t centralDisk = 0;
    uint16_t entriesOnDisk = 0;
    uint16_t entriesTotal = 0;
    uint32_t centralSize = 0;
    uint64_t centralOffset = 0;
    uint16_t commentLength = 0;
};

void encodeEnd(const EndRecord& e, uint8_t* p)
{
    put32(p, kEndSignature);
    put16(p + 4, e.disk);
    put16(p + 6, e.centralDisk);
    put16(p + 8, e.entriesOnDisk);
    put16(p + 10, e.entriesTotal);
    put32(p + 12, e.centralSize);
    put64(p + 16, e.centralOffset);
    put16(p + 24, e.commentLength);
}

bool decodeEnd(const uint8_t* p, EndRecord& e)
{
    if (get32(p) != kEndSignature)
        return false;
    e.disk = get16(p + 4);
    e.centralDisk = get16(p + 6);
    e.entriesOnDisk = get16(p + 8);
    e.entriesTotal = get16(p + 10);
    e.centralSize = get32(p + 12);
    e.centralOffset = get64(p + 16);
    e.commentLength = get16(p + 24);
    return true;
}

// Code points of a stored name up to its terminating zero, -1 when the
// name has more than the entry can hold.
int storedNameChars(const uint8_t* name, uint16_t lengthInBytes)
{
    const int stored = lengthInBytes / 4;
    for (int i = 0; i < stored; ++i) {
        if (get32(name + 4 * i) == 0)
            return i;
        if (i == ZIP_MAX_NAME_CHARS)
            return -1;
    }
    return stored > ZIP_MAX_NAME_CHARS ? -1 : stored;
}

std::vector<wchar_t> decodeName(const uint8_t* name, int chars)
{
    std::vector<wchar_t> decoded(size_t(chars) + 1, 0);
    for (int i = 0; i < chars; ++i)
        decoded[size_t(i)] = wchar_t(get32(name + 4 * i));
    return decoded;
}

// Names go to disk as UTF-32LE with one zero code point, which the length counts.
std::vector<uint8_t> encodeName(const wchar_t* name, size_t chars)
{
    std::vector<uint8_t> bytes((chars + 1) * 4, 0);
    for (size_t i = 0; i < chars; ++i)
        put32(bytes.data() + 4 * i, uint32_t(name[i]));
    return bytes;
}

// --- Times ------------------------------------------------------------------

// Local time, 2-second steps; clamped to the years the fields can hold.
void unixToDos(qint64 seconds, uint16_t* dosTime, uint16_t* dosDate)
{
    const time_t t = time_t(seconds);
    struct tm local;
    if (!localtime_r(&t, &local) || local.tm_year + 1900 < 1980) {
        *dosTime = 0;
        *dosDate = uint16_t((1 << 5) | 1);
        return;
    }
    if (local.tm_year + 1900 > 2107) {
        *dosTime = uint16_t((23 << 11) | (59 << 5) | 29);
        *dosDate = uint16_t((127 << 9) | (12 << 5) | 31);
        return;
    }
    *dosTime = uint16_t((local.tm_hour << 11) + (local.tm_min << 5) + (local.tm_sec >> 1));
    *dosDate = uint16_t(((local.tm_year + 1900 - 1980) << 9) + ((local.tm_mon + 1) << 5) + local.tm_mday);
}

qint64 dosToUnix(uint16_t dosTime, uint16_t dosDate)
{
    struct tm local;
    std::memset(&local, 0, sizeof(local));
    local.tm_isdst = -1;
    local.tm_year = ((dosDate >> 9) & 127) + 1980 - 1900;
    local.tm_mon = ((dosDate >> 5) & 15) - 1;
    local.tm_mday = dosDate & 31;
    local.tm_hour = (dosTime >> 11) & 31;
    local.tm_min = (dosTime >> 5) & 63;
    local.tm_sec = (dosTime << 1) & 62;
    const time_t t = mktime(&local);
    return t == time_t(-1) ? 0 : qint64(t);
}

QString volumeSuffix(int number)
{
    return QString::asprintf(".%03d", number);
}

// The level's low bits as zlib understands them (1..9).
int zlibLevel(unsigned level)
{
    return std::min<int>(int(level & 0xF), Z_BEST_COMPRESSION);
}

enum class Mode
{
    Invalid,
    Reading,
    Writing,
    Finalized,
};

struct Entry
{
    int index = -1;
    std::array<wchar_t, kNameCapacity> name{};
    int nameChars = 0;
    uint64_t uncompressedSize = 0;
    uint64_t compressedSize = 0;
    uint32_t crc = 0;
    uint64_t dataOffset = 0;
    uint64_t localHeaderOffset = 0;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint16_t marker = 0;
    uint32_t externalAttributes = 0;
    qint64 time = 0;
    bool encrypted = false;

    // Writing only.
    QString password;
    std::unique_ptr<z_stream> deflater;
    uint64_t outputOffset = 0;
    uint64_t outputCount = 0;
    bool failed = false;

    ~Entry() { endDeflate(); }
    void endDeflate()
    {
        if (deflater) {
            deflateEnd(deflater.get());
            deflater.reset();
        }
    }
};

} // namespace

struct zip_t
{
    uint64_t archiveSize = 0;
    uint64_t bytesWritten = 0;
    uint64_t centralDirOffset = 0;
    uint32_t entryCount = 0;
    Mode mode = Mode::Invalid;
    unsigned level = 6;

    std::vector<uint8_t> centralDir;
    std::vector<uint32_t> recordOffsets;

    // One slot per volume (a single slot without volumes). Files are opened
    // on first use; only the most recently used few stay open.
    std::vector<std::unique_ptr<QFile>> volumes;
    std::vector<bool> volumeCreated;
    std::deque<int> openOrder;
    int highestVolume = -1;
    qint64 volumeSize = -1;
    QString path;
    QString password;

    Entry entry;
    ZipError error = ZIP_ENOERROR;
    // A written volume lost data when it was closed: the archive is not whole.
    bool closeFailed = false;
    // The file and the system's words for the last failure the system
    // reported; empty when the last failure had no such cause.
    QString failedFile;
    QString failureReason;
    std::vector<uint8_t> scratch;

    uint8_t* buffer()
    {
        if (scratch.empty())
            scratch.resize(kChunk);
        return scratch.data();
    }
};

namespace {

int fail(zip_t* zip, ZipError error)
{
    if (zip)
        zip->error = error;
    return -1;
}

bool failed(zip_t* zip, ZipError error)
{
    fail(zip, error);
    return false;
}

// Notes what the system said about file; the call that fails next carries it.
void noteSystemFailure(zip_t* zip, const QString& file, const QString& reason)
{
    if (zip->failedFile.isEmpty()) {
        zip->failedFile = file;
        zip->failureReason = reason;
    }
}

void noteSystemFailure(zip_t* zip, const QFileDevice& file)
{
    noteSystemFailure(zip, file.fileName(), file.errorString());
}

// Called at the start of every step that can fail on the disk, so that a
// reason never outlives its failure.
void forgetSystemFailure(zip_t* zip)
{
    zip->failedFile.clear();
    zip->failureReason.clear();
}

void resetEntry(zip_t* zip)
{
    Entry& e = zip->entry;
    e.endDeflate();
    e.index = -1;
    e.name.fill(0);
    e.nameChars = 0;
    e.uncompressedSize = e.compressedSize = 0;
    e.crc = 0;
    e.dataOffset = e.localHeaderOffset = 0;
    e.method = e.flags = e.marker = 0;
    e.externalAttributes = 0;
    e.time = 0;
    e.encrypted = false;
    e.password.clear();
    e.outputOffset = e.outputCount = 0;
    e.failed = false;
}

bool usesVolumes(const zip_t* zip)
{
    return zip->volumeSize > 0;
}

QString volumeFileName(const zip_t* zip, int index)
{
    return usesVolumes(zip) ? zip->path + volumeSuffix(index + 1) : zip->path;
}

void prepareVolumeSlots(zip_t* zip)
{
    const size_t count = usesVolumes(zip) ? ZIP_MAX_VOLUMES : 1;
    zip->volumes.clear();
    zip->volumes.resize(count);
    zip->volumeCreated.assign(count, false);
    zip->openOrder.clear();
}

// False when a written volume lost data on closing (noted).
bool closeFile(zip_t* zip, QFile& file)
{
    if (!file.isOpen())
        return true;
    file.close();
    if (zip->mode != Mode::Writing || file.error() == QFileDevice::NoError)
        return true;
    noteSystemFailure(zip, file);
    zip->closeFailed = true;
    return false;
}

void closeVolume(zip_t* zip, int index)
{
    if (zip->volumes[size_t(index)])
        closeFile(zip, *zip->volumes[size_t(index)]);
    zip->openOrder.erase(std::remove(zip->openOrder.begin(), zip->openOrder.end(), index), zip->openOrder.end());
}

bool closeAllVolumes(zip_t* zip)
{
    bool closed = true;
    for (auto& file : zip->volumes)
        if (file && !closeFile(zip, *file))
            closed = false;
    zip->openOrder.clear();
    return closed;
}

// The open file of a volume; reading opens read-only, writing creates (or
// truncates) a volume the first time and reopens it without truncation later.
QFile* volumeFile(zip_t* zip, int index)
{
    auto& slot = zip->volumes[size_t(index)];
    if (slot && slot->isOpen()) {
        if (zip->openOrder.back() != index) {
            zip->openOrder.erase(std::find(zip->openOrder.begin(), zip->openOrder.end(), index));
            zip->openOrder.push_back(index);
        }
        return slot.get();
    }
    if (!slot)
        slot = std::make_unique<QFile>(volumeFileName(zip, index));
    while (zip->openOrder.size() >= kMaxOpenVolumes)
        closeVolume(zip, zip->openOrder.front());
    QIODevice::OpenMode mode = QIODevice::Unbuffered;
    if (zip->mode == Mode::Writing) {
        mode |= QIODevice::ReadWrite;
        if (!zip->volumeCreated[size_t(index)])
            mode |= QIODevice::Truncate;
    } else {
        mode |= QIODevice::ReadOnly;
    }
    if (!slot->open(mode)) {
        noteSystemFailure(zip, *slot);
        return nullptr;
    }
    if (zip->mode == Mode::Writing)
        zip->volumeCreated[size_t(index)] = true;
    zip->openOrder.push_back(index);
    zip->highestVolume = std::max(zip->highestVolume, index);
    return slot.get();
}

// Logical offset -> volume file, offset inside it and bytes left in it.
QFile* routeOffset(zip_t* zip, uint64_t offset, uint64_t* local, uint64_t* left)
{
    int index = 0;
    if (usesVolumes(zip)) {
        const uint64_t size = uint64_t(zip->volumeSize);
        const uint64_t volume = offset / size;
        if (volume >= uint64_t(ZIP_MAX_VOLUMES))
            return nullptr;
        index = int(volume);
        *local = offset % size;
        *left = size - *local;
    } else {
        *local = offset;
        *left = std::numeric_limits<uint64_t>::max() - offset;
    }
    if (*local > uint64_t(std::numeric_limits<qint64>::max()))
        return nullptr;
    return volumeFile(zip, index);
}

QFile* positioned(zip_t* zip, uint64_t offset, uint64_t* left)
{
    uint64_t local = 0;
    QFile* file = routeOffset(zip, offset, &local, left);
    if (!file)
        return nullptr;
    if (uint64_t(file->pos()) != local && !file->seek(qint64(local))) {
        noteSystemFailure(zip, *file);
        return nullptr;
    }
    return file;
}

// Bytes delivered; a short count means failure.
uint64_t readAt(zip_t* zip, uint64_t offset, uint8_t* data, uint64_t count)
{
    uint64_t done = 0;
    while (done < count) {
        uint64_t left = 0;
        QFile* file = positioned(zip, offset + done, &left);
        if (!file)
            break;
        const uint64_t want = std::min<uint64_t>({left, count - done, uint64_t(1) << 30});
        const qint64 got = file->read(reinterpret_cast<char*>(data + done), qint64(want));
        if (got < 0)
            noteSystemFailure(zip, *file);
        if (got <= 0)
            break;
        done += uint64_t(got);
    }
    return done;
}

uint64_t writeAt(zip_t* zip, uint64_t offset, const uint8_t* data, uint64_t count)
{
    uint64_t done = 0;
    while (done < count) {
        uint64_t left = 0;
        QFile* file = positioned(zip, offset + done, &left);
        if (!file)
            break;
        const uint64_t want = std::min<uint64_t>({left, count - done, uint64_t(1) << 30});
        const qint64 put = file->write(reinterpret_cast<const char*>(data + done), qint64(want));
        if (put < 0)
            noteSystemFailure(zip, *file);
        if (put <= 0)
            break;
        done += uint64_t(put);
        zip->bytesWritten += uint64_t(put);
    }
    return done;
}

bool readExactly(zip_t* zip, uint64_t offset, uint8_t* data, uint64_t count)
{
    return readAt(zip, offset, data, count) == count;
}

bool writeExactly(zip_t* zip, uint64_t offset, const uint8_t* data, uint64_t count)
{
    return writeAt(zip, offset, data, count) == count;
}

void scramble(const QString& password, uint8_t* data, size_t count, uint64_t offset)
{
    xor_crypt(password, password.size(), data, count, offset);
}

std::vector<uint8_t> keyStream(const QString& key, int length, ZipKeyRule rule)
{
    std::vector<uint8_t> stream(static_cast<size_t>(length), 0);
    for (int j = 0; j < length; ++j) {
        const uint64_t sum = uint64_t(key.at(j).unicode()) + uint64_t(length);
        if (rule == ZIP_KEY_ORIGINAL) {
            const uint64_t unit = sum & 0xFFFFu;
            stream[size_t(j)] = unit <= 255 ? uint8_t(unit) : 0;
        } else {
            stream[size_t(j)] = sum <= 255 ? uint8_t(sum) : std::max<uint8_t>(uint8_t(sum), 1);
        }
    }
    return stream;
}

// How the data of an entry lies in the archive.
enum class Form
{
    Plain,    // as it stands: no password, or stored under the original rule
    Mended,   // scrambled under the mended rule, as this layer writes
    Original, // deflate data scrambled under the original rule
};

// The forms an entry's data may be in, the one this layer writes first.
std::vector<Form> formsOf(const QString& password, bool encrypted, uint16_t method)
{
    if (!encrypted || password.isEmpty())
        return {Form::Plain};
    std::vector<Form> forms{Form::Mended};
    const int length = password.size();
    if (method == kMethodStored)
        forms.push_back(Form::Plain);
    else if (keyStream(password, length, ZIP_KEY_ORIGINAL) != keyStream(password, length, ZIP_KEY_MENDED))
        forms.push_back(Form::Original);
    return forms;
}

// Takes the form off data read at offset (or puts it on: the XOR is its own
// inverse).
void applyForm(Form form, const QString& password, uint8_t* data, size_t count, uint64_t offset)
{
    if (form != Form::Plain)
        xor_crypt(password, password.size(), data, count, offset,
                  form == Form::Mended ? ZIP_KEY_MENDED : ZIP_KEY_ORIGINAL);
}

uint32_t crcOf(uint32_t crc, const uint8_t* data, size_t count)
{
    while (count > 0) {
        const uInt piece = uInt(std::min<size_t>(count, 1u << 30));
        crc = uint32_t(crc32(crc, data, piece));
        data += piece;
        count -= piece;
    }
    return crc;
}

// --- Opening ----------------------------------------------------------------

// Sizes of the volume files path.001, path.002, ... that exist, in order.
std::vector<uint64_t> existingVolumeSizes(const QString& path)
{
    std::vector<uint64_t> sizes;
    for (int n = 1; n <= ZIP_MAX_VOLUMES; ++n) {
        QFile volume(path + volumeSuffix(n));
        if (!volume.exists())
            break;
        sizes.push_back(uint64_t(volume.size()));
    }
    return sizes;
}

bool initReader(zip_t* zip)
{
    if (zip->mode != Mode::Invalid)
        return failed(zip, ZIP_EARGS);
    prepareVolumeSlots(zip);

    // Every volume but the last must be exactly one volume long, or the
    // routing would look for data in the wrong places.
    uint64_t size = 0;
    if (usesVolumes(zip)) {
        const std::vector<uint64_t> sizes = existingVolumeSizes(zip->path);
        for (size_t i = 0; i < sizes.size(); ++i) {
            if (i + 1 < sizes.size() && sizes[i] != uint64_t(zip->volumeSize))
                return failed(zip, ZIP_EFORMAT);
            size += sizes[i];
        }
    }
    uint64_t local = 0;
    uint64_t left = 0;
    QFile* first = routeOffset(zip, 0, &local, &left);
    if (!first)
        return failed(zip, ZIP_EREAD);
    if (!usesVolumes(zip))
        size = uint64_t(first->size());
    if (!first->seek(first->size()))
        return failed(zip, ZIP_EREAD);
    zip->archiveSize = size;
    zip->mode = Mode::Reading;

    if (size < kEndSize)
        return failed(zip, ZIP_EFORMAT);
    uint8_t endBytes[kEndSize];
    if (!readExactly(zip, size - kEndSize, endBytes, kEndSize))
        return failed(zip, ZIP_EREAD);
    EndRecord end;
    if (!decodeEnd(endBytes, end))
        return failed(zip, ZIP_EFORMAT);
    if (end.entriesOnDisk != end.entriesTotal)
        return failed(zip, ZIP_EFORMAT);
    if (!((end.disk == 0 && end.centralDisk == 0) || (end.disk == 1 && end.centralDisk == 1)))
        return failed(zip, ZIP_EFORMAT);
    const uint64_t entries = end.entriesTotal;
    uint64_t centralEnd = 0;
    if (end.centralSize < entries * kCentralSize || !addFits(end.centralOffset, end.centralSize, &centralEnd)
        || centralEnd > size)
        return failed(zip, ZIP_EFORMAT);

    zip->centralDir.resize(end.centralSize);
    if (!readExactly(zip, end.centralOffset, zip->centralDir.data(), end.centralSize))
        return failed(zip, ZIP_EREAD);
    zip->centralDirOffset = end.centralOffset;

    zip->recordOffsets.clear();
    zip->recordOffsets.reserve(entries);
    uint64_t pos = 0;
    const uint64_t total = zip->centralDir.size();
    for (uint64_t i = 0; i < entries; ++i) {
        if (total - pos < kCentralSize)
            return failed(zip, ZIP_EFORMAT);
        const uint8_t* record = zip->centralDir.data() + pos;
        CentralRecord r;
        if (!decodeCentral(record, r))
            return failed(zip, ZIP_EFORMAT);
        if (r.uncompressedSize != 0 && r.compressedSize == 0)
            return failed(zip, ZIP_EFORMAT);
        if (r.diskStart == 0xFFFF || (r.diskStart != end.disk && r.diskStart != 1))
            return failed(zip, ZIP_EFORMAT);
        uint64_t dataEnd = 0;
        if (!addFits(r.localHeaderOffset, kLocalSize, &dataEnd) || !addFits(dataEnd, r.compressedSize, &dataEnd)
            || dataEnd > size)
            return failed(zip, ZIP_EFORMAT);
        if (r.flags & kFlagLocalMasked)
            return failed(zip, ZIP_EFORMAT);
        const uint64_t recordSize = kCentralSize + r.nameLength + r.extraLength + r.commentLength;
        if (recordSize > total - pos)
            return failed(zip, ZIP_EFORMAT);
        if (r.nameLength % 4 != 0)
            return failed(zip, ZIP_EFORMAT);
        if (r.nameLength > kMaxNameBytes || storedNameChars(record + kCentralSize, r.nameLength) < 0)
            return failed(zip, ZIP_ELIMIT);
        zip->recordOffsets.push_back(uint32_t(pos));
        pos += recordSize;
    }
    // Bytes after the last record would sit between the old records and
    // new ones once the image is written back by an append.
    zip->centralDir.resize(size_t(pos));
    zip->entryCount = uint32_t(entries);
    return true;
}

bool initWriter(zip_t* zip)
{
    if (zip->mode != Mode::Invalid)
        return failed(zip, ZIP_EARGS);
    prepareVolumeSlots(zip);
    zip->mode = Mode::Writing;
    zip->archiveSize = 0;
    zip->centralDir.clear();
    zip->recordOffsets.clear();
    uint64_t local = 0;
    uint64_t left = 0;
    if (!routeOffset(zip, 0, &local, &left))
        return failed(zip, ZIP_EWRITE);
    return true;
}

// New entries overwrite the old central directory, whose image stays in
// memory and is written again at the end.
bool initAppend(zip_t* zip)
{
    if (zip->entryCount >= uint32_t(ZIP_MAX_ENTRIES))
        return failed(zip, ZIP_ELIMIT);
    uint64_t room = 0;
    if (!addFits(zip->archiveSize, kEntryOverhead, &room))
        return failed(zip, ZIP_ELIMIT);
    // New entries go where the directory starts: refuse archives whose
    // entries reach past that point, or appending would overwrite them.
    for (uint32_t i = 0; i < zip->entryCount; ++i) {
        CentralRecord r;
        decodeCentral(zip->centralDir.data() + zip->recordOffsets[i], r);
        uint8_t header[kLocalSize];
        LocalHeader local;
        if (!readExactly(zip, r.localHeaderOffset, header, kLocalSize) || !decodeLocal(header, local))
            return failed(zip, ZIP_EFORMAT);
        const uint64_t descriptor = (local.flags & kFlagDataDescriptor) ? 16 : 0;
        uint64_t end = 0;
        if (!addFits(r.localHeaderOffset, kLocalSize + local.nameLength + local.extraLength + descriptor, &end)
            || !addFits(end, r.compressedSize, &end) || end > zip->centralDirOffset)
            return failed(zip, ZIP_EFORMAT);
    }
    closeAllVolumes(zip);
    // The files exist: reopen them for writing without truncation.
    zip->volumeCreated.assign(zip->volumeCreated.size(), true);
    zip->mode = Mode::Writing;
    zip->archiveSize = zip->centralDirOffset;
    uint64_t local = 0;
    uint64_t left = 0;
    if (!routeOffset(zip, zip->archiveSize, &local, &left))
        return failed(zip, ZIP_EWRITE);
    return true;
}

// --- Writing an entry -------------------------------------------------------

bool writeDeflateOutput(zip_t* zip, uint8_t* data, size_t count)
{
    Entry& e = zip->entry;
    scramble(e.password, data, count, e.outputOffset);
    if (!writeExactly(zip, e.outputOffset, data, count))
        return false;
    e.outputOffset += count;
    e.outputCount += count;
    return true;
}

// Stored data is scrambled like deflate output, in a copy: the caller's
// bytes stay as they are.
bool writeStoredData(zip_t* zip, const uint8_t* data, size_t count)
{
    Entry& e = zip->entry;
    if (e.password.isEmpty())
        return writeExactly(zip, e.dataOffset, data, count);
    uint8_t* buffer = zip->buffer();
    for (size_t done = 0; done < count;) {
        const size_t piece = std::min(count - done, kChunk);
        std::memcpy(buffer, data + done, piece);
        scramble(e.password, buffer, piece, e.dataOffset + done);
        if (!writeExactly(zip, e.dataOffset + done, buffer, piece))
            return false;
        done += piece;
    }
    return true;
}

bool runDeflate(zip_t* zip, int flush)
{
    z_stream& stream = *zip->entry.deflater;
    uint8_t* out = zip->buffer();
    for (;;) {
        stream.next_out = out;
        stream.avail_out = uInt(kChunk);
        const int status = deflate(&stream, flush);
        if (status == Z_STREAM_ERROR)
            return false;
        const size_t produced = kChunk - stream.avail_out;
        if (produced > 0 && !writeDeflateOutput(zip, out, produced))
            return false;
        if (flush == Z_FINISH) {
            if (status == Z_STREAM_END)
                return true;
            if (status != Z_OK)
                return false;
            continue;
        }
        if (stream.avail_in == 0 && stream.avail_out != 0)
            return true;
    }
}

// Puts the local header over its placeholder and the central record into
// the directory image.
bool finishWrittenEntry(zip_t* zip)
{
    Entry& e = zip->entry;
    const std::vector<uint8_t> name = encodeName(e.name.data(), size_t(e.nameChars));

    LocalHeader local;
    local.marker = e.password.isEmpty() ? 0 : 1;
    local.method = e.method;
    unixToDos(e.time, &local.dosTime, &local.dosDate);
    local.crc = e.crc;
    local.compressedSize = e.compressedSize;
    local.uncompressedSize = e.uncompressedSize;
    local.nameLength = uint16_t(name.size());
    uint8_t header[kLocalSize];
    encodeLocal(local, header);
    if (!writeExactly(zip, e.localHeaderOffset, header, kLocalSize))
        return failed(zip, ZIP_EWRITE);

    if (zip->centralDir.size() + kCentralSize + name.size() > kMaxCentralDirectory)
        return failed(zip, ZIP_ELIMIT);
    CentralRecord central;
    central.marker = local.marker;
    central.method = e.method;
    central.dosTime = local.dosTime;
    central.dosDate = local.dosDate;
    central.crc = e.crc;
    central.compressedSize = e.compressedSize;
    central.uncompressedSize = e.uncompressedSize;
    central.nameLength = local.nameLength;
    central.externalAttributes = e.externalAttributes;
    central.localHeaderOffset = e.localHeaderOffset;
    uint8_t record[kCentralSize];
    encodeCentral(central, record);
    zip->recordOffsets.push_back(uint32_t(zip->centralDir.size()));
    zip->centralDir.insert(zip->centralDir.end(), record, record + kCentralSize);
    zip->centralDir.insert(zip->centralDir.end(), name.begin(), name.end());
    zip->entryCount += 1;
    zip->archiveSize = e.dataOffset;
    return true;
}

// Trims what an abandoned entry may have left past the end record and removes
// volumes of an earlier, longer archive of the same name: either would hide
// the end record from readers.
bool trimAfterEnd(zip_t* zip)
{
    auto cut = [zip](int index, uint64_t size) {
        QFile* file = volumeFile(zip, index);
        if (!file)
            return false;
        if (uint64_t(file->size()) == size || file->resize(qint64(size)))
            return true;
        noteSystemFailure(zip, *file);
        return false;
    };
    if (!usesVolumes(zip))
        return cut(0, zip->archiveSize);
    const uint64_t size = uint64_t(zip->volumeSize);
    const int last = int((zip->archiveSize - 1) / size);
    if (!cut(last, zip->archiveSize - uint64_t(last) * size))
        return false;
    for (int index = last + 1; index < ZIP_MAX_VOLUMES; ++index) {
        const QString name = volumeFileName(zip, index);
        if (!QFile::exists(name))
            break;
        closeVolume(zip, index);
        QFile::remove(name);
    }
    return true;
}

bool finalize(zip_t* zip)
{
    resetEntry(zip);
    EndRecord end;
    if (zip->entryCount > 0) {
        zip->centralDirOffset = zip->archiveSize;
        if (!writeExactly(zip, zip->archiveSize, zip->centralDir.data(), zip->centralDir.size()))
            return failed(zip, ZIP_EWRITE);
        end.centralOffset = zip->centralDirOffset;
        end.centralSize = uint32_t(zip->centralDir.size());
        zip->archiveSize += zip->centralDir.size();
    }
    end.entriesOnDisk = end.entriesTotal = uint16_t(zip->entryCount);
    uint8_t bytes[kEndSize];
    encodeEnd(end, bytes);
    if (!writeExactly(zip, zip->archiveSize, bytes, kEndSize))
        return failed(zip, ZIP_EWRITE);
    bool flushed = true;
    for (auto& file : zip->volumes) {
        if (file && file->isOpen() && !file->flush()) {
            noteSystemFailure(zip, *file);
            flushed = false;
        }
    }
    if (!flushed)
        return failed(zip, ZIP_EWRITE);
    zip->archiveSize += kEndSize;
    if (!trimAfterEnd(zip))
        return failed(zip, ZIP_EWRITE);
    zip->mode = Mode::Finalized;
    return true;
}

// --- Extracting -------------------------------------------------------------

// The destination of one extraction: asks the conflict check, then writes
// under a hidden name beside the destination and moves the result into
// place by one rename only on commit. A file that is replaced keeps its
// permissions and is flushed to the disk before the rename; a new file risks
// nothing of the user's, and flushing every extracted file costs more than
// the extraction.
class ExtractTarget
{
public:
    ExtractTarget(const QString& path, FileArchive* operation, qint64 entryTime)
        : m_path(path), m_operation(operation), m_entryTime(entryTime)
    {
    }
    ~ExtractTarget()
    {
        if (!m_committed && !m_partPath.isEmpty()) {
            m_part.close();
            QFile::remove(m_partPath);
        }
    }
    ExtractTarget(const ExtractTarget&) = delete;
    ExtractTarget& operator=(const ExtractTarget&) = delete;

    bool isOpen() const { return m_part.isOpen(); }
    // The destination (as the conflict check left it) and the system's
    // words for the last failure.
    const QString& path() const { return m_path; }
    QString errorString() const { return m_error.isEmpty() ? m_part.errorString() : m_error; }

    // ZIP_ANSWER_PROCEED when the file is ready; -1 when it cannot be
    // written; otherwise the conflict check's answer.
    int open()
    {
        const ZipConflictCheck check = g_conflictCheck.load();
        if (check) {
            const int answer = check(m_operation, m_path, QDateTime::fromSecsSinceEpoch(m_entryTime));
            if (answer != ZIP_ANSWER_PROCEED)
                return answer == 0 ? ZIP_ANSWER_SKIP : answer; // 0 would read as success
        }
        m_replacing = pathIsTaken(m_path);
        if (m_replacing)
            m_oldPermissions = QFile::permissions(m_path);
        // The stem leaves room for its additions even beside a name of 255
        // bytes.
        const QString stem = hiddenPartStem(m_path, QStringLiteral(".qvpart"));
        for (int n = 0; n < 100 && !m_part.isOpen(); ++n) {
            m_partPath = n == 0 ? stem : stem + QString::number(n);
            m_part.setFileName(m_partPath);
            if (!m_part.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                m_partPath.clear();
        }
        return m_part.isOpen() ? ZIP_ANSWER_PROCEED : -1;
    }

    // Drops what was written so far; the destination stays as chosen.
    bool restart() { return m_part.seek(0) && m_part.resize(0); }

    bool write(const uint8_t* data, size_t count)
    {
        // A short write has no reason yet: the next one meets it (no space,
        // too large) and leaves it in the file's error string.
        size_t done = 0;
        while (done < count) {
            const qint64 put = m_part.write(reinterpret_cast<const char*>(data + done), qint64(count - done));
            if (put <= 0)
                return false;
            done += size_t(put);
        }
        return true;
    }

    bool commit()
    {
        if (!m_part.flush())
            return false;
        const QDateTime time = QDateTime::fromSecsSinceEpoch(m_entryTime);
        m_part.setFileTime(time, QFileDevice::FileAccessTime);
        m_part.setFileTime(time, QFileDevice::FileModificationTime);
        if (m_replacing) {
            m_part.setPermissions(m_oldPermissions);
            if (::fsync(m_part.handle()) != 0) {
                m_error = systemErrorText(errno);
                return false;
            }
        }
        m_part.close();
        if (m_part.error() != QFileDevice::NoError)
            return false;
        if (m_replacing) {
            // One rename over the old file: at no instant is the name missing.
            if (::rename(QFile::encodeName(m_partPath).constData(), QFile::encodeName(m_path).constData()) != 0) {
                m_error = systemErrorText(errno);
                return false;
            }
            m_committed = true;
            return true;
        }
        // Never over a file that appeared since the conflict check (the
        // rename refuses an existing target).
        m_committed = m_part.rename(m_path);
        return m_committed;
    }

private:
    QString m_path;
    FileArchive* m_operation;
    qint64 m_entryTime;
    QFile m_part;
    QString m_partPath;
    QString m_error;
    bool m_replacing = false;
    QFileDevice::Permissions m_oldPermissions;
    bool m_committed = false;
};

// Counts a written chunk, honours pause and cancel; false when canceled.
bool reportChunk(ArchiveProgress* progress, size_t count)
{
    if (!progress)
        return true;
    progress->completed += count;
    while (progress->paused.load() && !progress->canceled.load())
        QThread::msleep(10);
    if (progress->canceled.load())
        return false;
    QCoreApplication::processEvents();
    return true;
}

// Raw inflate that hands every produced chunk to a sink.
class Inflater
{
public:
    using Sink = std::function<int(const uint8_t*, size_t)>;
    static constexpr int kDamaged = -2;

    Inflater() : m_output(kInflateChunk) { m_ok = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK; }
    ~Inflater()
    {
        if (m_ok)
            inflateEnd(&m_stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool ok() const { return m_ok; }
    bool ended() const { return m_ended; }

    // 0 when all of data went in; kDamaged for a damaged stream; otherwise the
    // sink's first non-zero answer. Bytes after the end of the stream are
    // ignored.
    int feed(const uint8_t* data, size_t count, const Sink& sink)
    {
        m_stream.next_in = const_cast<Bytef*>(data);
        m_stream.avail_in = uInt(count);
        while (!m_ended) {
            m_stream.next_out = m_output.data();
            m_stream.avail_out = uInt(m_output.size());
            const int status = inflate(&m_stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                return kDamaged;
            const size_t produced = m_output.size() - m_stream.avail_out;
            if (produced > 0) {
                const int answer = sink(m_output.data(), produced);
                if (answer != 0)
                    return answer;
            }
            if (status == Z_STREAM_END)
                m_ended = true;
            else if ((m_stream.avail_in == 0 && m_stream.avail_out != 0) || produced == 0)
                break;
        }
        return 0;
    }

private:
    z_stream m_stream{};
    std::vector<uint8_t> m_output;
    bool m_ok = false;
    bool m_ended = false;
};

// Follows an entry's data in the clear: inflates it when deflated, hands what
// comes out to a sink and checks its size and CRC-32 against the record.
class DataCheck
{
public:
    static constexpr int kDamaged = Inflater::kDamaged;

    DataCheck(uint16_t method, uint64_t size, uint32_t crc, Inflater::Sink sink = {})
        : m_size(size), m_expectedCrc(crc), m_sink(std::move(sink))
    {
        if (method == kMethodDeflate)
            m_inflater = std::make_unique<Inflater>();
        m_take = [this](const uint8_t* data, size_t count) { return take(data, count); };
    }
    DataCheck(const DataCheck&) = delete;
    DataCheck& operator=(const DataCheck&) = delete;

    bool ok() const { return !m_inflater || m_inflater->ok(); }
    // Bytes after the end of a deflate stream are not looked at.
    bool wantsMore() const { return !m_inflater || !m_inflater->ended(); }
    // 0, kDamaged, or the sink's first non-zero answer.
    int feed(const uint8_t* data, size_t count)
    {
        return m_inflater ? m_inflater->feed(data, count, m_take) : take(data, count);
    }
    bool passed() const
    {
        return (!m_inflater || m_inflater->ended()) && m_produced == m_size && m_crc == m_expectedCrc;
    }

private:
    int take(const uint8_t* data, size_t count)
    {
        if (count > m_size - m_produced)
            return kDamaged;
        if (m_sink) {
            const int answer = m_sink(data, count);
            if (answer != 0)
                return answer;
        }
        m_crc = crcOf(m_crc, data, count);
        m_produced += count;
        return 0;
    }

    uint64_t m_size;
    uint32_t m_expectedCrc;
    Inflater::Sink m_sink;
    Inflater::Sink m_take;
    std::unique_ptr<Inflater> m_inflater;
    uint64_t m_produced = 0;
    uint32_t m_crc = 0;
};

// Copies count bytes of src at from to dest at to, in chunks. A transform
// may change each chunk (it gets the chunk's offsets in both archives) or
// refuse it, which fails the copy as damaged data.
using ChunkTransform = std::function<bool(uint8_t* data, size_t count, uint64_t from, uint64_t to)>;
bool copyRange(zip_t* src, uint64_t from, zip_t* dest, uint64_t to, uint64_t count, const ChunkTransform& transform)
{
    uint8_t* buffer = dest->buffer();
    for (uint64_t done = 0; done < count;) {
        const size_t piece = size_t(std::min<uint64_t>(count - done, kChunk));
        if (!readExactly(src, from + done, buffer, piece)) {
            // The source's reason becomes the copy's.
            noteSystemFailure(dest, src->failedFile, src->failureReason);
            return failed(dest, ZIP_EREAD);
        }
        if (transform && !transform(buffer, piece, from + done, to + done))
            return failed(dest, ZIP_EDATA);
        if (!writeExactly(dest, to + done, buffer, piece))
            return failed(dest, ZIP_EWRITE);
        done += piece;
    }
    return true;
}

// Reads the open entry's data, starting at dataStart, as being in the given
// form and hands it to sink. 0 when it checked out; -1 with the archive's
// error set; or the sink's answer.
int readEntryAs(zip_t* zip, uint64_t dataStart, Form form, const Inflater::Sink& sink)
{
    const Entry& e = zip->entry;
    DataCheck check(e.method, e.uncompressedSize, e.crc, sink);
    if (!check.ok())
        return fail(zip, ZIP_EDATA);
    uint8_t* input = zip->buffer();
    uint64_t readPos = dataStart;
    uint64_t remaining = e.compressedSize;
    while (remaining > 0 && check.wantsMore()) {
        const size_t count = size_t(std::min<uint64_t>(remaining, kChunk));
        if (!readExactly(zip, readPos, input, count))
            return fail(zip, ZIP_EREAD);
        applyForm(form, zip->password, input, count, readPos);
        readPos += count;
        remaining -= count;
        const int status = check.feed(input, count);
        if (status != 0)
            return status == DataCheck::kDamaged ? fail(zip, ZIP_EDATA) : status;
    }
    return check.passed() ? 0 : fail(zip, ZIP_EDATA);
}

} // namespace

// --- Interface ----------------------------------------------------------------

void zip_set_conflict_check(ZipConflictCheck check)
{
    g_conflictCheck.store(check);
}

ZipConflictCheck zip_conflict_check()
{
    return g_conflictCheck.load();
}

bool zip_is_valid_volume_size(qint64 volumeSize)
{
    return volumeSize == -1 || (volumeSize > 0 && volumeSize <= ZIP_MAX_VOLUME_SIZE);
}

void xor_crypt(const QString& key, int keyLength, uint8_t* buffer, size_t count, uint64_t offset, ZipKeyRule rule)
{
    const int length = std::min(keyLength, key.size());
    if (length <= 0 || !buffer || count == 0)
        return;
    const std::vector<uint8_t> stream = keyStream(key, length, rule);
    size_t k = size_t(offset % uint64_t(length));
    for (size_t i = 0; i < count; ++i) {
        buffer[i] ^= stream[k];
        if (++k == size_t(length))
            k = 0;
    }
}

uint64_t getArchiveSize(const QString& path)
{
    uint64_t total = 0;
    QFile single(path);
    if (single.exists())
        total += uint64_t(single.size());
    for (uint64_t size : existingVolumeSizes(path))
        total += size;
    return total;
}

zip_t* zip_open(const QString& path, int level, char mode, qint64 volumeSize, const QString& password,
                QString* failedFile, QString* reason)
{
    if (!zip_is_valid_volume_size(volumeSize) || path.isEmpty())
        return nullptr;
    if (level < 0)
        level = 6;
    if ((level & 0xF) > 10)
        return nullptr;

    std::unique_ptr<zip_t> zip = std::make_unique<zip_t>();
    zip->volumeSize = volumeSize;
    zip->password = password;
    zip->level = unsigned(level);
    zip->path = path;
    auto giveUp = [&zip, failedFile, reason]() -> zip_t* {
        if (failedFile && reason) {
            *failedFile = zip->failedFile;
            *reason = zip->failureReason;
        }
        return nullptr;
    };
    switch (mode) {
    case 'r':
        if (path.endsWith(QLatin1String(".001"))) {
            QFile first(path);
            const qint64 firstSize = first.exists() ? first.size() : 0;
            if (firstSize <= 0)
                return nullptr;
            zip->volumeSize = firstSize;
            zip->path = path.left(path.size() - 4);
        }
        zip->level = unsigned(level) | kLevelDoNotSort;
        if (!initReader(zip.get()))
            return giveUp();
        break;
    case 'w':
        if (!initWriter(zip.get()))
            return giveUp();
        break;
    case 'a':
        if (!initReader(zip.get()) || !initAppend(zip.get()))
            return giveUp();
        break;
    default:
        return nullptr;
    }
    zip->error = ZIP_ENOERROR;
    return zip.release();
}

int zip_close(zip_t* zip, QString* failedFile, QString* reason)
{
    if (!zip)
        return -1;
    forgetSystemFailure(zip);
    int result = 0;
    if (zip->mode == Mode::Writing && !finalize(zip))
        result = -1;
    resetEntry(zip);
    if (!closeAllVolumes(zip) || zip->closeFailed)
        result = -1;
    if (result != 0 && failedFile && reason) {
        *failedFile = zip->failedFile;
        *reason = zip->failureReason;
    }
    delete zip;
    return result;
}

QString zip_last_failed_file(zip_t* zip)
{
    return zip ? zip->failedFile : QString();
}

QString zip_last_failure_reason(zip_t* zip)
{
    return zip ? zip->failureReason : QString();
}

int zip_total_entries(zip_t* zip)
{
    return zip ? int(zip->entryCount) : -1;
}

ZipError zip_last_error(zip_t* zip)
{
    return zip ? zip->error : ZIP_EARGS;
}

int zip_entry_openbyindex(zip_t* zip, int index)
{
    if (!zip)
        return -1;
    if (zip->mode != Mode::Reading || index < 0 || uint32_t(index) >= zip->entryCount)
        return fail(zip, ZIP_EARGS);
    resetEntry(zip);
    const uint8_t* record = zip->centralDir.data() + zip->recordOffsets[size_t(index)];
    CentralRecord r;
    if (!decodeCentral(record, r))
        return fail(zip, ZIP_EFORMAT);
    const int chars = storedNameChars(record + kCentralSize, r.nameLength);
    if (chars < 0)
        return fail(zip, ZIP_ELIMIT);
    Entry& e = zip->entry;
    const std::vector<wchar_t> name = decodeName(record + kCentralSize, chars);
    std::copy(name.begin(), name.end(), e.name.begin());
    e.nameChars = chars;
    e.uncompressedSize = r.uncompressedSize;
    e.compressedSize = r.compressedSize;
    e.crc = r.crc;
    e.localHeaderOffset = r.localHeaderOffset;
    e.method = r.method;
    e.flags = r.flags;
    e.marker = r.marker;
    e.externalAttributes = r.externalAttributes;
    e.time = dosToUnix(r.dosTime, r.dosDate);
    e.encrypted = r.marker != 0;
    e.index = index;
    return 0;
}

int zip_entry_open_last_access(zip_t* zip, const wchar_t* name, qint64 modificationTime)
{
    if (!zip)
        return -1;
    forgetSystemFailure(zip);
    if (!name || zip->mode != Mode::Writing || (zip->level & kLevelCompressedData))
        return fail(zip, ZIP_EARGS);
    size_t chars = 0;
    while (chars <= size_t(ZIP_MAX_NAME_CHARS) && name[chars] != 0)
        ++chars;
    if (chars > size_t(ZIP_MAX_NAME_CHARS) || zip->entryCount >= uint32_t(ZIP_MAX_ENTRIES))
        return fail(zip, ZIP_ELIMIT);
    const uint64_t nameBytes = (chars + 1) * 4;
    uint64_t room = 0;
    if (!addFits(zip->archiveSize, kEntryOverhead + nameBytes, &room))
        return fail(zip, ZIP_ELIMIT);

    resetEntry(zip);
    Entry& e = zip->entry;
    std::copy(name, name + chars, e.name.begin());
    e.nameChars = int(chars);
    e.localHeaderOffset = zip->archiveSize;
    e.externalAttributes = kExternalAttributes;
    e.password = zip->password;

    std::vector<uint8_t> placeholder(kLocalSize, 0);
    const std::vector<uint8_t> nameData = encodeName(name, chars);
    placeholder.insert(placeholder.end(), nameData.begin(), nameData.end());
    if (!writeExactly(zip, e.localHeaderOffset, placeholder.data(), placeholder.size())) {
        resetEntry(zip);
        return fail(zip, ZIP_EWRITE);
    }
    e.dataOffset = e.localHeaderOffset + placeholder.size();

    if (zip->level & 0xF) {
        e.deflater = std::make_unique<z_stream>();
        std::memset(e.deflater.get(), 0, sizeof(z_stream));
        if (deflateInit2(e.deflater.get(), zlibLevel(zip->level), Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY)
            != Z_OK) {
            e.deflater.reset();
            resetEntry(zip);
            return fail(zip, ZIP_EARGS);
        }
        e.outputOffset = e.dataOffset;
    }
    e.time = modificationTime != 0 ? modificationTime : QDateTime::currentSecsSinceEpoch();
    e.index = int(zip->entryCount);
    return 0;
}

int zip_entry_write(zip_t* zip, const void* data, size_t size)
{
    if (!zip)
        return -1;
    forgetSystemFailure(zip);
    if (!data || size == 0)
        return 0;
    Entry& e = zip->entry;
    if (zip->mode != Mode::Writing || e.index < 0)
        return fail(zip, ZIP_EARGS);
    if (e.failed)
        return fail(zip, ZIP_EWRITE);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    e.uncompressedSize += size;
    e.crc = crcOf(e.crc, bytes, size);
    if (!e.deflater) {
        if (!writeStoredData(zip, bytes, size)) {
            e.failed = true;
            return fail(zip, ZIP_EWRITE);
        }
        e.dataOffset += size;
        e.compressedSize += size;
        return 0;
    }
    z_stream& stream = *e.deflater;
    while (size > 0) {
        const uInt piece = uInt(std::min<size_t>(size, 1u << 30));
        stream.next_in = const_cast<Bytef*>(bytes);
        stream.avail_in = piece;
        if (!runDeflate(zip, Z_NO_FLUSH)) {
            e.failed = true;
            return fail(zip, ZIP_EWRITE);
        }
        bytes += piece;
        size -= piece;
    }
    return 0;
}

int zip_entry_close(zip_t* zip)
{
    if (!zip)
        return -1;
    forgetSystemFailure(zip);
    Entry& e = zip->entry;
    if (e.index < 0)
        return fail(zip, ZIP_EARGS);
    if (zip->mode == Mode::Reading) {
        resetEntry(zip);
        return 0;
    }
    if (zip->mode != Mode::Writing) {
        resetEntry(zip);
        return fail(zip, ZIP_EARGS);
    }
    bool ok = !e.failed;
    if (ok && e.deflater) {
        e.deflater->next_in = nullptr;
        e.deflater->avail_in = 0;
        ok = runDeflate(zip, Z_FINISH);
        e.compressedSize = e.outputCount;
        e.dataOffset = e.outputOffset;
        e.method = kMethodDeflate;
    }
    if (!ok) {
        resetEntry(zip);
        return fail(zip, ZIP_EWRITE);
    }
    ok = finishWrittenEntry(zip);
    resetEntry(zip);
    return ok ? 0 : -1;
}

const wchar_t* zip_entry_name(zip_t* zip)
{
    if (!zip || zip->entry.index < 0)
        return nullptr;
    return zip->entry.name.data();
}

int zip_entry_isdir(zip_t* zip)
{
    if (!zip || zip->entry.index < 0)
        return -1;
    return (zip->entry.externalAttributes & kDirectoryAttribute) ? 1 : 0;
}

uint64_t zip_entry_size(zip_t* zip)
{
    return zip && zip->entry.index >= 0 ? zip->entry.uncompressedSize : 0;
}

qint64 zip_entry_time(zip_t* zip)
{
    return zip && zip->entry.index >= 0 ? zip->entry.time : -1;
}

bool zip_entry_encrypted(zip_t* zip)
{
    return zip && zip->entry.index >= 0 && zip->entry.encrypted;
}

void zip_set_password(zip_t* zip, const QString& password)
{
    if (zip)
        zip->password = password;
}

qint64 zip_getArchiveSize(zip_t* zip)
{
    return zip ? qint64(zip->bytesWritten) : 0;
}

int zip_entry_fread(zip_t* zip, const QString& path, FileArchive* operation, ArchiveProgress* progress)
{
    if (!zip)
        return -1;
    forgetSystemFailure(zip);
    Entry& e = zip->entry;
    if (zip->mode != Mode::Reading || e.index < 0 || path.isEmpty())
        return fail(zip, ZIP_EARGS);
    if ((e.externalAttributes & kDirectoryAttribute) || (e.nameChars > 0 && e.name[size_t(e.nameChars - 1)] == L'/'))
        return fail(zip, ZIP_EARGS);
    if ((e.flags & (kFlagEncrypted | kFlagPatched)) || (e.method != kMethodStored && e.method != kMethodDeflate))
        return fail(zip, ZIP_EFORMAT);

    ExtractTarget target(path, operation, e.time);
    auto writeFailed = [zip, &target] {
        noteSystemFailure(zip, target.path(), target.errorString());
        return fail(zip, ZIP_EWRITE);
    };
    uint64_t reported = 0;
    const Inflater::Sink deliver = [&](const uint8_t* data, size_t count) -> int {
        if (count == 0)
            return 0;
        if (!target.isOpen()) {
            const int answer = target.open();
            if (answer != ZIP_ANSWER_PROCEED)
                return answer == -1 ? writeFailed() : answer;
        }
        if (!target.write(data, count))
            return writeFailed();
        reported += count;
        if (!reportChunk(progress, count))
            return fail(zip, ZIP_ECANCELED);
        return 0;
    };

    // An empty file has to exist afterwards even when it has no data at all.
    if (e.uncompressedSize == 0) {
        const int answer = target.open();
        if (answer != ZIP_ANSWER_PROCEED)
            return answer == -1 ? writeFailed() : answer;
    }

    if (e.compressedSize == 0) {
        if (e.uncompressedSize != 0 || e.crc != 0)
            return fail(zip, ZIP_EDATA);
    } else {
        uint8_t header[kLocalSize];
        if (!readExactly(zip, e.localHeaderOffset, header, kLocalSize))
            return fail(zip, ZIP_EREAD);
        LocalHeader local;
        if (!decodeLocal(header, local))
            return fail(zip, ZIP_EFORMAT);
        uint64_t dataStart = 0;
        uint64_t dataEnd = 0;
        if (!addFits(e.localHeaderOffset, kLocalSize + local.nameLength + local.extraLength, &dataStart)
            || !addFits(dataStart, e.compressedSize, &dataEnd) || dataEnd > zip->archiveSize)
            return fail(zip, ZIP_EFORMAT);

        const std::vector<Form> forms = formsOf(zip->password, e.encrypted, e.method);
        int status = -1;
        for (size_t i = 0; i < forms.size(); ++i) {
            if (i > 0) {
                // What the last form gave was not the entry: the file and
                // the progress start over, without asking again.
                if (progress)
                    progress->completed -= reported;
                reported = 0;
                if (target.isOpen() && !target.restart())
                    return writeFailed();
            }
            status = readEntryAs(zip, dataStart, forms[i], deliver);
            if (status != -1 || zip->error != ZIP_EDATA)
                break;
        }
        if (status != 0)
            return status;
    }
    if (!target.isOpen() || !target.commit())
        return writeFailed();
    return 0;
}

bool mz_zip_writer_add_from_zip_reader(zip_t* dest, zip_t* src, int srcIndex, const QString& newName,
                                       bool isDirectory)
{
    if (!dest)
        return false;
    forgetSystemFailure(dest);
    if (src)
        forgetSystemFailure(src);
    auto readFailed = [dest, src] {
        noteSystemFailure(dest, src->failedFile, src->failureReason);
        return failed(dest, ZIP_EREAD);
    };
    if (!src || dest->mode != Mode::Writing || src->mode != Mode::Reading || srcIndex < 0
        || uint32_t(srcIndex) >= src->entryCount || dest->entry.index >= 0)
        return failed(dest, ZIP_EARGS);
    if (dest->entryCount >= uint32_t(ZIP_MAX_ENTRIES))
        return failed(dest, ZIP_ELIMIT);

    const uint8_t* record = src->centralDir.data() + src->recordOffsets[size_t(srcIndex)];
    CentralRecord stored;
    if (!decodeCentral(record, stored))
        return failed(dest, ZIP_EFORMAT);

    std::vector<uint8_t> name;
    if (newName.isEmpty()) {
        const int chars = storedNameChars(record + kCentralSize, stored.nameLength);
        if (chars < 0)
            return failed(dest, ZIP_ELIMIT);
        name = encodeName(decodeName(record + kCentralSize, chars).data(), size_t(chars));
    } else {
        QString chosen = newName;
        if (isDirectory && !chosen.endsWith(QLatin1Char('/')))
            chosen += QLatin1Char('/');
        const std::wstring wide = chosen.toStdWString();
        if (wide.size() > size_t(ZIP_MAX_NAME_CHARS) || wide.find(L'\0') != std::wstring::npos)
            return failed(dest, ZIP_ELIMIT);
        name = encodeName(wide.c_str(), wide.size());
    }

    uint8_t header[kLocalSize];
    if (!readExactly(src, stored.localHeaderOffset, header, kLocalSize))
        return readFailed();
    LocalHeader local;
    if (!decodeLocal(header, local))
        return failed(dest, ZIP_EFORMAT);
    const uint64_t oldStart = stored.localHeaderOffset;
    const uint64_t headerBytes = kLocalSize + local.nameLength + local.extraLength;
    uint64_t oldDataStart = 0;
    uint64_t oldDataEnd = 0;
    if (!addFits(oldStart, headerBytes, &oldDataStart) || !addFits(oldDataStart, stored.compressedSize, &oldDataEnd)
        || oldDataEnd > src->archiveSize)
        return failed(dest, ZIP_EFORMAT);
    uint64_t descriptorBytes = 0;
    if (local.flags & kFlagDataDescriptor) {
        uint8_t signature[4];
        if (!readExactly(src, oldDataEnd, signature, 4))
            return readFailed();
        descriptorBytes = get32(signature) == kDescriptorSignature ? 16 : 12;
        if (src->archiveSize - oldDataEnd < descriptorBytes)
            return failed(dest, ZIP_EFORMAT);
    }
    const uint64_t copyBytes = oldDataEnd + descriptorBytes - oldStart;
    const uint64_t newStart = dest->archiveSize;
    uint64_t newEnd = 0;
    if (!addFits(newStart, copyBytes, &newEnd) || !addFits(newEnd, kEntryOverhead, &newEnd))
        return failed(dest, ZIP_ELIMIT);
    if (dest->centralDir.size() + kCentralSize + name.size() > kMaxCentralDirectory)
        return failed(dest, ZIP_ELIMIT);

    // Scrambling is keyed by the absolute offset: data that moves has to be
    // unscrambled with its old offsets, under the rule it checks out with,
    // and scrambled with its new ones under the mended rule. It is checked
    // even when the move is a whole number of key lengths: a wrong password
    // of another length would otherwise turn the entry into garbage for good.
    const uint64_t newDataStart = newStart + headerBytes;
    const bool rekey = stored.marker != 0 && (stored.method == kMethodDeflate || stored.method == kMethodStored)
        && stored.compressedSize > 0 && newDataStart != oldDataStart;
    // Only stored data may be as it stands under a password.
    if (rekey && src->password.isEmpty() && stored.method != kMethodStored)
        return failed(dest, ZIP_EPASSWORD);

    if (!copyRange(src, oldStart, dest, newStart, headerBytes, {}))
        return false;
    if (!rekey) {
        if (!copyRange(src, oldDataStart, dest, newDataStart, stored.compressedSize, {}))
            return false;
    } else {
        bool rekeyed = false;
        for (const Form form : formsOf(src->password, true, stored.method)) {
            DataCheck check(stored.method, stored.uncompressedSize, stored.crc);
            if (!check.ok())
                return failed(dest, ZIP_EDATA);
            const Form written = form == Form::Plain ? Form::Plain : Form::Mended;
            const ChunkTransform transform = [&](uint8_t* data, size_t count, uint64_t from, uint64_t to) {
                applyForm(form, src->password, data, count, from);
                if (check.wantsMore() && check.feed(data, count) != 0)
                    return false;
                applyForm(written, src->password, data, count, to);
                return true;
            };
            const bool through = copyRange(src, oldDataStart, dest, newDataStart, stored.compressedSize, transform);
            if (through && check.passed()) {
                rekeyed = true;
                break;
            }
            if (!through && dest->error != ZIP_EDATA)
                return false;
        }
        if (!rekeyed)
            return failed(dest, src->password.isEmpty() ? ZIP_EPASSWORD : ZIP_EDATA);
    }
    if (!copyRange(src, oldDataEnd, dest, newDataStart + stored.compressedSize, descriptorBytes, {}))
        return false;

    CentralRecord central;
    central.marker = stored.marker;
    central.method = stored.method;
    central.dosTime = stored.dosTime;
    central.dosDate = stored.dosDate;
    central.crc = stored.crc;
    central.compressedSize = stored.compressedSize;
    central.uncompressedSize = stored.uncompressedSize;
    central.nameLength = uint16_t(name.size());
    central.externalAttributes = stored.externalAttributes;
    central.localHeaderOffset = newStart;
    uint8_t centralBytes[kCentralSize];
    encodeCentral(central, centralBytes);
    dest->recordOffsets.push_back(uint32_t(dest->centralDir.size()));
    dest->centralDir.insert(dest->centralDir.end(), centralBytes, centralBytes + kCentralSize);
    dest->centralDir.insert(dest->centralDir.end(), name.begin(), name.end());
    dest->entryCount += 1;
    dest->archiveSize = newStart + copyBytes;
    return true;
}
