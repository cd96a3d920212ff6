#pragma once

#include "engine/Guid.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

class QTextStream;

// The value is also the row of SupportedFormats and of ZipFormatNames.
enum ZipFormat : int32_t
{
    ZF_7Z = 0,
    ZF_BZIP2 = 1,
    ZF_GZIP = 2,
    ZF_TAR = 3,
    ZF_WIM = 4,
    ZF_XZ = 5,
    ZF_ZIP = 6,
    ZF_QV = 7,
    ZF_TAR_XZ = 8,
    ZF_TAR_BZIP2 = 9,
    ZF_TAR_GZIP = 10,
    ZF_RAR5 = 11,
    ZF_RAR = 12,
};

constexpr int ZipFormatCount = 13;

struct ZipFormatInfo
{
    ZipFormat format = ZF_7Z;
    GUID clsid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    QString extension;
    QString mimeType;
    bool supportsEncryption = false;
    // Methods the compress dialog offers.
    bool LZMA2 = false;
    bool LZMA = false;
    bool PPMd = false;
    bool BZip2 = false;
    bool Deflate = false;
    bool Deflate64 = false;
    // Levels the compress dialog offers.
    bool Store = false;
    bool Fastest = false;
    bool Fast = false;
    bool Normal = false;
    bool Maximum = false;
    bool Ultra = false;
    // A single-stream compressor holding exactly one file.
    int32_t singleFile = 0;
    // Magic bytes, ended by 0xFF when shorter than 8; a leading 0xFF means none.
    unsigned char signature[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
};

extern const ZipFormatInfo SupportedFormats[ZipFormatCount];
extern const QString ZipFormatNames[ZipFormatCount];
extern const QString ZipMethodPropValues[6];

// A request's method when it chose none: the format's default.
constexpr int32_t kDefaultMethod = -1;
// The method a format packs with by default, as an index into
// ZipMethodPropValues: the first the compress dialog offers for it (Deflate
// for zip, which every zip reader opens; LZMA2 for 7z, on every core); -1
// when the format offers none.
int32_t defaultMethodOf(const ZipFormatInfo& format);

enum E_PathType : int32_t
{
    PT_RELATIVE = 0,
    PT_FULL = 1,
    PT_ABSOLUTE = 2,
};

enum ZipUpdateMethod : int32_t
{
    UM_ADD_AND_REPLACE = 0,
    UM_UPDATE_AND_ADD = 1,
    UM_REFRESH = 2,
    UM_SYNCHRONIZE = 3,
};

enum E_ArchiveOperation : int32_t
{
    AO_ENTRY = 0,
    AO_RESERVED = 1,
    AO_COMPRESSING = 2,
    AO_SCANNING = 3,
    AO_SCANNING_ARCHIVE = 4,
    AO_EXTRACTING = 5,
    AO_IDLE = 6,
    // An update waits for another one on the same archive to end.
    AO_WAITING = 7,
};

enum LangStringID : int32_t
{
    LS_NONE = 0,
    LS_NO_FILES_TO_PACK = 1,
    LS_NO_ARCHIVE_NAME = 2,
    LS_CANNOT_CREATE_DIRECTORY = 3,
    LS_CANNOT_CREATE_ARCHIVING_OBJECT = 4,
    LS_FORMAT_NOT_SUPPORTED = 5,
    LS_CANNOT_CREATE_FILE = 6,
    LS_CANNOT_RENAME_FILE = 7,
    LS_CANNOT_REMOVE_FILE = 8,
    LS_CANNOT_OPEN_FILE = 9,
    LS_UNPACKER_INTERNAL_ERROR = 10,
    LS_CANNOT_CREATE_FOLDER = 11,
    LS_CANNOT_DETERMINE_PARAMETERS = 12,
    LS_ARCHIVE_IS_SOURCE = 13,
    LS_MULTIVOLUME_UPDATE = 14,
    LS_ADDING_ITSELF = 15,
    // Reported once at the end of an extraction, with the archive and the
    // entry names (so are the next two and LS_CANNOT_WRITE_ENTRIES).
    LS_UNSAFE_ENTRY_NAMES = 16,
    LS_UNSUPPORTED_METHOD = 17,
    LS_DAMAGED_ENTRIES = 18,
    // The engine failed while writing an archive.
    LS_CANNOT_WRITE_ARCHIVE = 19,
    // A volume size the own container cannot split by.
    LS_INVALID_VOLUME_SIZE = 20,
    LS_CANNOT_WRITE_ENTRIES = 21,
    // A file and the system's reason: what failed on the disk.
    LS_CANNOT_OPEN_FILE_BECAUSE = 22,
    LS_CANNOT_READ_FILE_BECAUSE = 23,
    LS_CANNOT_WRITE_FILE_BECAUSE = 24,
    // Sources that are gone or cannot be read, each with the system's reason.
    LS_SOURCES_LEFT_OUT = 25,
    // A volume size given for an archive that exists.
    LS_VOLUMES_FOR_EXISTING_ARCHIVE = 26,
    // An archive and why it cannot be opened as one (no archive, cut short).
    LS_CANNOT_OPEN_ARCHIVE_BECAUSE = 27,
    // An archive and the damage the engine found in it beyond its entries.
    LS_DAMAGED_ARCHIVE = 28,
};

constexpr int LangStringCount = 29;

// The message text of an error identifier, translated in the context "filearchive".
QString langStringText(LangStringID id);

// Extraction path modes and overwrite modes are plain ints in ExtractOptions.
enum ExtractPathMode : int32_t
{
    EPM_FULL_PATHS = 0,
    EPM_NO_PATHS = 1,
    EPM_RELATIVE_PATHS = 2,
};

enum ExtractOverwriteMode : int32_t
{
    EOM_ASK = 0,
    EOM_OVERWRITE = 1,
    EOM_SKIP = 2,
    EOM_RENAME_NEW = 3,
    EOM_RENAME_EXISTING = 4,
};

// A compress, update, delete or rename request.
class CompressOptions
{
public:
    CompressOptions() = default;

    QString archivePath;
    QString baseDirectory;
    QStringList files;
    QStringList newFiles;
    ZipFormat format = ZF_7Z;
    uint32_t level = 5;
    // Index into ZipMethodPropValues, or kDefaultMethod.
    int32_t method = kDefaultMethod;
    ZipUpdateMethod updateMethod = UM_ADD_AND_REPLACE;
    bool useLargePages = true;
    QString password;
    // Bytes per volume; anything not above 0 means one file.
    int64_t volumeSize = -1;
    QList<int> itemsToDelete;
    int64_t itemToRename = -1;
    QString newItemName;
    QString archiveFolder;
    QString sourceBaseDirectory;
    bool addToExisting = false;
    bool shouldClearTheSoure = false;
    QString note;

    static QString getBaseDirectory(E_PathType type, const QString& dir);
    int64_t totalSizeToUpdate() const;
};

// An extract request.
class ExtractOptions
{
public:
    ExtractOptions();

    QString archivePath;
    QString targetDirectory;
    QString sourceFolder;
    QList<int> itemIndexes;
    int32_t pathMode = EPM_RELATIVE_PATHS;
    int32_t overwriteMode = EOM_ASK;
    bool extractFlag = true;
    QString password;
    QString subPath;
    bool removeDuplicatesRoot = false;
    int32_t volumeIndex = -1;
};

// One entry of an opened archive.
class ArchiveItemInfo
{
public:
    QString name;
    QString filePath;
    QString sourcePath;
    uint64_t size = 0;
    QDateTime modified;
    QDateTime auxTime;
    uint32_t index = 0;
    bool isDir = false;
    bool isHidden = false;
    bool auxFlag = false;
    QString newName;
    uint32_t auxNumber = 0;
    bool needsUpdate = false;

    // Four lines: name, directory flag, size, auxNumber.
    void toStream(QTextStream& stream) const;
    void fromStream(QTextStream& stream);
};

ZipFormat stringToZipFormat(const QString& name);
E_PathType pathTypeFromString(const QString& name);

Q_DECLARE_METATYPE(E_ArchiveOperation)
