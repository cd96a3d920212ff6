#include "desktop/RegistryUtils.h"

#include "app/settings.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>

namespace {

const QString kAddedHeader = QStringLiteral("[Added Associations]");
const QString kDefaultHeader = QStringLiteral("[Default Applications]");
const QString kDesktopEntry = QStringLiteral("Quenvar.desktop");
// Marks, in the user's own settings, that the first-run registration after a
// system-wide "r" was done. The system-wide flag can only be cleared by an
// administrator; without this mark every start of an ordinary user would
// associate every format again, undoing what the user unticked.
const QString kLocalRegisteredKey = QStringLiteral("LocalAssociationsRegistered");
const QString kGlobalRegisteredKey = QStringLiteral("globalRegistered");

QString associationLine(const ZipFormatInfo& format)
{
    return format.mimeType + QLatin1Char('=') + kDesktopEntry;
}

// The tar combinations carry their compressor's type.
bool isTarCombination(ZipFormat format)
{
    return format == ZF_TAR_XZ || format == ZF_TAR_BZIP2 || format == ZF_TAR_GZIP;
}

// The key of a "key=value" line, as desktop parsers read it.
QString keyOf(const QString& line)
{
    const int equals = line.indexOf(QLatin1Char('='));
    return equals < 0 ? QString() : line.left(equals).trimmed();
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The file's lines; false when it exists but cannot be read (then nothing
// may be written over it). A missing file reads as the empty skeleton.
bool readLines(const QString& path, QStringList* lines)
{
    lines->clear();
    QFile file(path);
    if (!file.exists()) {
        *lines << kAddedHeader << QString() << kDefaultHeader;
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "Cannot read" << path + ":" << file.errorString();
        return false;
    }
    QTextStream in(&file);
    in.setCodec("UTF-8");
    QString line;
    while (in.readLineInto(&line))
        *lines << line;
    return true;
}

// Writes beside the old file and renames once, so a failed write keeps it.
bool writeLines(const QString& path, const QStringList& lines)
{
    QByteArray content;
    for (const QString& line : lines)
        content += line.toUtf8() + '\n';

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    // Qt's commit overlooks a failure of the last flush (a full disk), so
    // the flush is checked here.
    if (written)
        written = file.write(content) == content.size() && file.flush();
    if (written)
        written = file.commit();
    else
        file.cancelWriting();
    if (!written)
        qWarning().noquote() << "Cannot write" << path + ":" << file.errorString();
    return written;
}

// Puts the line directly under the header; a missing header is added at the
// start, since a key before the first group makes the whole file unreadable
// to the desktop's parsers.
void placeUnder(QStringList& lines, const QString& header, const QString& line)
{
    int at = lines.indexOf(header);
    if (at < 0) {
        lines.prepend(header);
        at = 0;
    }
    lines.insert(at + 1, line);
}

QString formatList(const QList<ZipFormat>& formats)
{
    QStringList numbers;
    for (ZipFormat format : formats)
        numbers << QString::number(format);
    return QLatin1Char('(') + numbers.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace

QString mimeAppsListPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/mimeapps.list");
}

bool isAssociableFormat(ZipFormat format)
{
    return !isTarCombination(format) && format != ZF_RAR;
}

QList<ZipFormat> getListOfExtensionsToRegister()
{
    QStringList table;
    for (const ZipFormatInfo& row : SupportedFormats)
        table << row.extension + QLatin1Char(' ') + row.mimeType;
    qDebug().noquote() << "SupportedFormats: " + table.join(QStringLiteral(", "));

    QList<ZipFormat> formats;
    for (const ZipFormatInfo& row : SupportedFormats) {
        if (!isTarCombination(row.format))
            formats << row.format;
    }
    return formats;
}

void SetRegisteredExtensions(const QList<ZipFormat>& formatsToRegister, bool useGlobal)
{
    qDebug().noquote() << "SetRegisteredExtensions: " << "formatsToRegister: " + formatList(formatsToRegister)
                       << "useGlobal: " + boolText(useGlobal);
    for (const ZipFormatInfo& row : SupportedFormats) {
        if (isAssociableFormat(row.format))
            editDefaultHandlerForExtension(useGlobal, row, formatsToRegister.contains(row.format));
    }
}

void SetRegisteredExtensions_local(const QList<ZipFormat>& formatsToRegister)
{
    SetRegisteredExtensions(formatsToRegister, false);
}

void SetRegisteredExtensions_global(const QList<ZipFormat>& formatsToRegister)
{
    SetRegisteredExtensions(formatsToRegister, true);
}

void UnregisterExtensions_local()
{
    SetRegisteredExtensions_local({});
}

void UnregisterExtensions_global()
{
    SetRegisteredExtensions_global({});
}

bool editDefaultHandlerForExtension(bool useGlobal, const ZipFormatInfo& format, bool registered)
{
    qDebug().noquote() << "Editing default handler extension: " + format.extension << "registered:" + boolText(registered)
                       << "useGlobal: " + boolText(useGlobal);
    return editDefaultHandlerForExtension_Linux(format, registered);
}

bool editDefaultHandlerForExtension_Linux(const ZipFormatInfo& format, bool registered)
{
    const QString path = mimeAppsListPath();
    QStringList lines;
    if (!readLines(path, &lines))
        return false;

    // Lines of this type for other programs go too; a type that merely
    // begins with this one ("application/x-xz-compressed-tar") is another's.
    for (int i = lines.size() - 1; i >= 0; --i) {
        if (keyOf(lines.at(i)) == format.mimeType)
            lines.removeAt(i);
    }
    if (registered) {
        const QString line = associationLine(format);
        placeUnder(lines, kDefaultHeader, line);
        placeUnder(lines, kAddedHeader, line);
    }
    return writeLines(path, lines);
}

QList<ZipFormat> GetRegisteredExtensions(bool)
{
    QStringList lines;
    readLines(mimeAppsListPath(), &lines);

    QList<ZipFormat> formats;
    for (const ZipFormatInfo& row : SupportedFormats) {
        if (lines.contains(associationLine(row)))
            formats << row.format;
    }
    return formats;
}

QList<ZipFormat> GetRegisteredExtensions_local()
{
    return GetRegisteredExtensions(false);
}

void registerLocalAssociationsIfNeeded()
{
    if (!CSettings::getBoolValue(kGlobalRegisteredKey, true) || CSettings::getBoolValue(kLocalRegisteredKey))
        return;
    const QList<ZipFormat> formats = getListOfExtensionsToRegister();
    qDebug() << "before SetRegisteredExtensions_local";
    SetRegisteredExtensions_local(formats);
    CSettings::setBoolValue(kLocalRegisteredKey, true);
    CSettings::setBoolValue(kGlobalRegisteredKey, false, true);
}

void removeSettings()
{
    QSettings settings(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quenvar"), QSettings::NativeFormat);
    settings.remove(QString());
}
