#include "app/CCompressOptions.h"

#include "app/settings.h"
#include "fileops/FileUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <initializer_list>

namespace {

enum Method { L2 = 1, L = 2, P = 4, B = 8, D = 16, D64 = 32 };
enum Level { St = 1, F1 = 2, F = 4, N = 8, M = 16, U = 32, AllLevels = 63 };

ZipFormatInfo makeRow(ZipFormat format, const GUID& clsid, const char* extension, const char* mime,
                      bool encryption, int methods, int levels, int singleFile,
                      std::initializer_list<unsigned char> signature)
{
    ZipFormatInfo info;
    info.format = format;
    info.clsid = clsid;
    info.extension = QString::fromLatin1(extension);
    info.mimeType = QString::fromLatin1(mime);
    info.supportsEncryption = encryption;
    info.LZMA2 = methods & L2;
    info.LZMA = methods & L;
    info.PPMd = methods & P;
    info.BZip2 = methods & B;
    info.Deflate = methods & D;
    info.Deflate64 = methods & D64;
    info.Store = levels & St;
    info.Fastest = levels & F1;
    info.Fast = levels & F;
    info.Normal = levels & N;
    info.Maximum = levels & M;
    info.Ultra = levels & U;
    info.singleFile = singleFile;
    size_t i = 0;
    for (unsigned char byte : signature) {
        if (i < sizeof(info.signature))
            info.signature[i++] = byte;
    }
    return info;
}

} // namespace

const ZipFormatInfo SupportedFormats[ZipFormatCount] = {
    makeRow(ZF_7Z, CLSID_CFormat7z, "7z", "application/x-7z-compressed", true, L2 | L | P | B, AllLevels, 0,
            {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C, 0xFF}),
    makeRow(ZF_BZIP2, CLSID_CFormatBZip2, "bz2", "application/x-bzip2", false, B, F1 | F | N | M | U, 1,
            {0x42, 0x5A, 0x68, 0xFF}),
    makeRow(ZF_GZIP, CLSID_CFormatGZip, "gz", "application/x-gzip", false, D, F1 | N | M | U, 1,
            {0x1F, 0x8B, 0xFF}),
    makeRow(ZF_TAR, CLSID_CFormatTar, "tar", "application/x-tar", false, 0, St, 0, {0xFF}),
    makeRow(ZF_WIM, CLSID_CFormatWim, "wim", "application/x-ms-wim", false, 0, St, 0,
            {0x4D, 0x53, 0x57, 0x49, 0x4D, 0xFF}),
    makeRow(ZF_XZ, CLSID_CFormatXz, "xz", "application/x-xz", false, L2, F1 | F | N | M | U, 1,
            {0xFD, 0x37, 0x7A, 0x58, 0x5A, 0x00, 0x00, 0xFF}),
    makeRow(ZF_ZIP, CLSID_CFormatZip, "zip", "application/zip", true, L | P | B | D | D64, AllLevels, 0,
            {0x50, 0x4B, 0xFF}),
    // The own container and the tar combinations carry the zip handler's
    // identifier; they are routed by name and never handed to the engine as such.
    makeRow(ZF_QV, CLSID_CFormatZip, "qv", "application/qv", true, L, N, 0, {0x50, 0x4B, 0xFF}),
    makeRow(ZF_TAR_XZ, CLSID_CFormatZip, "tar.xz", "application/x-xz", false, L, N, 0, {0x50, 0x4B, 0xFF}),
    makeRow(ZF_TAR_BZIP2, CLSID_CFormatZip, "tar.bz2", "application/x-bzip2", false, L, N, 0, {0x50, 0x4B, 0xFF}),
    makeRow(ZF_TAR_GZIP, CLSID_CFormatZip, "tar.gz", "application/x-gzip", false, L, N, 0, {0x50, 0x4B, 0xFF}),
    makeRow(ZF_RAR5, CLSID_CFormatRar5, "rar", "application/x-rar-compressed", false, L, N, 0,
            {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00}),
    makeRow(ZF_RAR, CLSID_CFormatRar4, "rar", "application/x-rar-compressed", false, L, N, 0,
            {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00, 0xFF}),
};

const QString ZipFormatNames[ZipFormatCount] = {
    QStringLiteral("7z"),     QStringLiteral("bzip2"),   QStringLiteral("gzip"),   QStringLiteral("tar"),
    QStringLiteral("wim"),    QStringLiteral("xz"),      QStringLiteral("zip"),    QStringLiteral("qv"),
    QStringLiteral("tar.xz"), QStringLiteral("tar.bz2"), QStringLiteral("tar.gz"), QString(),
    QString(),
};

const QString ZipMethodPropValues[6] = {
    QStringLiteral("LZMA2"), QStringLiteral("LZMA"),    QStringLiteral("PPMD"),
    QStringLiteral("BZIP2"), QStringLiteral("DEFLATE"), QStringLiteral("DEFLATE64"),
};

int32_t defaultMethodOf(const ZipFormatInfo& format)
{
    // The compress dialog's order.
    const std::pair<bool, int32_t> offered[] = {{format.Deflate, 4}, {format.Deflate64, 5}, {format.LZMA2, 0},
                                                {format.LZMA, 1},    {format.PPMd, 2},      {format.BZip2, 3}};
    for (const auto& method : offered) {
        if (method.first)
            return method.second;
    }
    return -1;
}

QString langStringText(LangStringID id)
{
    static const char* const texts[] = {
        "",
        QT_TRANSLATE_NOOP("filearchive", "No files to pack"),
        QT_TRANSLATE_NOOP("filearchive", "No archive name is stated"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot create directory"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot create archiving object"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot extract archive. Format is not supported"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot create file %1"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot rename file %1 to %2"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot remove file %1"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot open file %1"),
        QT_TRANSLATE_NOOP("filearchive", "Internal error of unpacker %1"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot create folder %1"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot determine the parameters for archiving"),
        QT_TRANSLATE_NOOP("filearchive", "Error: filename of archive is the same as one of the files for packing %1"),
        QT_TRANSLATE_NOOP("filearchive", "Error: cannot add to multi-volume archive %1"),
        QT_TRANSLATE_NOOP("filearchive", "Adding itself or its parent directory to the archive is not allowed"),
        QT_TRANSLATE_NOOP("filearchive",
                          "These entries of %1 were not extracted: their names lead outside the target folder: %2"),
        QT_TRANSLATE_NOOP("filearchive",
                          "These entries of %1 were not extracted: their compression method is not supported: %2"),
        QT_TRANSLATE_NOOP("filearchive", "These entries of %1 were not extracted: their data is damaged: %2"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot write archive %1"),
        QT_TRANSLATE_NOOP("filearchive",
                          "Cannot split the archive into volumes of %1 bytes: a volume holds 1 to 2147483647 bytes"),
        QT_TRANSLATE_NOOP("filearchive", "These entries of %1 were not extracted: their files could not be written: %2"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot open file %1: %2"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot read file %1: %2"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot write file %1: %2"),
        QT_TRANSLATE_NOOP("filearchive",
                          "These files cannot be read and were not added; entries of their names stay as they were: %1"),
        QT_TRANSLATE_NOOP("filearchive",
                          "Cannot split %1 into volumes: an archive that exists is updated as one file"),
        QT_TRANSLATE_NOOP("filearchive", "Cannot open archive %1: %2"),
        QT_TRANSLATE_NOOP("filearchive", "The archive %1 is damaged: %2"),
    };
    static_assert(sizeof(texts) / sizeof(texts[0]) == LangStringCount, "one text per identifier");
    const int index = static_cast<int>(id);
    if (index <= 0 || index >= int(sizeof(texts) / sizeof(texts[0])))
        return QString();
    return QCoreApplication::translate("filearchive", texts[index]);
}

QString CompressOptions::getBaseDirectory(E_PathType type, const QString& dir)
{
    switch (type) {
    case PT_RELATIVE:
        return dir;
    case PT_FULL:
        return getFileDrive(dir);
    case PT_ABSOLUTE:
    default:
        return QString();
    }
}

int64_t CompressOptions::totalSizeToUpdate() const
{
    int64_t total = 0;
    for (const QString& path : files)
        total += QFileInfo(path).size();
    return total;
}

ExtractOptions::ExtractOptions()
    : removeDuplicatesRoot(CSettings::getBoolValue(QStringLiteral("RemoveDuplicatesRoot")))
{
}

void ArchiveItemInfo::toStream(QTextStream& stream) const
{
    stream << name << '\n'
           << (isDir ? "1" : "0") << '\n'
           << QString::number(size) << '\n'
           << QString::number(auxNumber) << '\n';
}

void ArchiveItemInfo::fromStream(QTextStream& stream)
{
    name = stream.readLine();
    isDir = stream.readLine().toLongLong() != 0;
    size = stream.readLine().toULongLong();
    auxNumber = stream.readLine().toUInt();
}

ZipFormat stringToZipFormat(const QString& name)
{
    if (name == QLatin1String("7z"))
        return ZF_7Z;
    if (name == QLatin1String("qv"))
        return ZF_QV;
    if (name == QLatin1String("zip"))
        return ZF_ZIP;
    if (name == QLatin1String("tar"))
        return ZF_TAR;
    if (name == QLatin1String("wim"))
        return ZF_WIM;
    if (name == QLatin1String("tar_xz"))
        return ZF_TAR_XZ;
    if (name == QLatin1String("tar_bzip2"))
        return ZF_TAR_BZIP2;
    if (name == QLatin1String("tar_gzip"))
        return ZF_TAR_GZIP;
    return ZF_ZIP;
}

E_PathType pathTypeFromString(const QString& name)
{
    if (name == QLatin1String("full"))
        return PT_FULL;
    if (name == QLatin1String("absolute"))
        return PT_ABSOLUTE;
    return PT_RELATIVE;
}
