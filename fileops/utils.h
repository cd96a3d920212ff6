#pragma once

#include "app/CCompressOptions.h"

#include <QDateTime>
#include <QDir>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>

// --- Path pieces -----------------------------------------------------------
QString getDirectoryPathFromFilePath(const QString& path);
QString getExtensionOfFile(const QString& path);
QString getFileNameWithoutExtension(const QString& path, bool onlyLastExtension);
QString makeDirectoryForFile(const QString& path);
void chopLastCharIfSlash(QString& path);
void chopFirstCharIfSlash(QString& path);
// "photos/" names the folder photos: the path without slashes at its end
// ("/" itself stays).
QString withoutTrailingSlashes(QString path);
// Splits a path that runs through an existing file (an archive) into that
// file and the rest inside it.
QString getFileFromPath(const QString& path, QString& rest);
bool isDirectoryAncestorOfFile(const QString& dir, const QString& file);
bool isSameDrive(const QString& a, const QString& b);

// --- Archives and names ----------------------------------------------------
bool detectArchiveFormat(const QString& path, ZipFormatInfo* info);
bool isArchive(const QString& path, ZipFormatInfo* info);
bool isArchive(const QString& path);
bool isMultiVolumeArchive(const QString& path);
// The name ends with a compressed tar's extension (".tar.gz", ".tgz",
// ".tbz2", ".tbz", ".txz", ".tar.bz2", ".tar.xz"), before a volume number
// when there is one.
bool isCompressedTarName(const QString& path);
// The name of a single-stream archive's content: without the compression
// extension; GNU tar's short names (".tgz") give ".tar".
QString fileNameForArchive(const QString& path);
QString getSuggestedArchivePath(const QStringList& files, const QString& targetDir);
// ownFolder: the archive's path without the archive's own extensions (a
// volume number, then a format's or a compressed tar's extension), numbered
// when that is asked for and the name is taken; otherwise the archive's folder.
QString directoryToExtractAccordingToArchive(const QString& archivePath, bool ownFolder);
// The first free name stem + pattern(%1 = 1, 2, ...) + extension.
QString getRenameFileName(const QString& path, const QString& pattern, bool onlyIfExists);

// --- Special folders (display names under a Russian system locale) ---------
bool isIncludingSpecialFolders(const QString& path);
bool isIncludingSpecialFolders(const QString& userFolder, const QString& path);
QString getSpecialFolderName(const QString& path);
QString getSpecialFolderName(const QString& userFolder, const QString& path);

// --- Sizes and times -------------------------------------------------------
QString getFormattedFileSize(const QString& path);
void normalizeDataSize(QString& text);
// A size as the dialogs show it: "1.50 MB", two decimals, binary units.
QString formatDataSize(qint64 bytes);
// A duration as "hh:mm:ss"; negative durations show as zero.
QString formatDuration(qint64 ms);

// Ticks of 100 ns since 1601-01-01 00:00 UTC.
constexpr uint64_t kFileTimeUnixEpochTicks = 116444736000000000ULL;
uint64_t toWinFileTime(const QDateTime& dateTime);
// Fills each non-null pointer with the time in 100 ns ticks since 1601.
void getFileTimes(const QString& path, uint64_t* creation, uint64_t* access, uint64_t* modification);
// What one look at a file tells: its type and permissions, size and times
// (in ticks; creation is the birth time where the file system keeps one).
struct FileFacts
{
    uint32_t mode = 0;
    uint32_t owner = 0;
    uint64_t size = 0;
    uint64_t creation = 0;
    uint64_t access = 0;
    uint64_t modification = 0;
    bool known = false;
};
// name relative to the folder open as dirFd (or AT_FDCWD); a link itself
// unless followLink. False (facts all zero) when it cannot be looked at.
bool fileFactsAt(int dirFd, const char* name, bool followLink, FileFacts* facts);
// The same of the file open as fd.
bool fileFactsOf(int fd, FileFacts* facts);
QDateTime FileTimeToQDateTime(uint64_t fileTime);
QDateTime UnixTimeToQDateTime(uint32_t seconds);
// Creation cannot be set on this platform and is ignored.
void setFileTimes(const QString& path, int creation, int access, int modification);
void setFileTimes(const QString& path, const QDateTime& creation, const QDateTime& access,
                  const QDateTime& modification);
// Exact to the 100 ns tick; a zero tick count leaves that time as it is.
// These set the times of a link itself, not of what it points to.
void setFileTimesTicks(const QString& path, uint64_t access, uint64_t modification);
// The same on an open file (a file being written keeps them only when set
// after its last write).
void setFileTimesTicks(int fd, uint64_t access, uint64_t modification);
int64_t unixTimeStamp();

// --- Text files ------------------------------------------------------------
QStringList readFileLines(const QString& path);

// --- Other helpers ---------------------------------------------------------
void qSleep(int ms);
// The system's text for an errno value (strerror), safe on any thread.
QString systemErrorText(int errorNumber);
// Whether something (a dangling link too) has this name.
bool pathIsTaken(const QString& path);
// A folder itself, not a link to one.
bool isRealFolder(const QString& path);
// Why path cannot be read as a file, in the system's words ("No such file or
// directory", "Is a directory"); empty when it can.
QString unreadableFileReason(const QString& path);
// The reason given when the elevated file server failed an operation (it
// reports no cause of its own).
QString elevatedServerFailureText();
void printTime(const QString& label);
void printTime(int n);
QString getVersionString(const QString& unused = QString());
void enableFileSystemHideFilters(QDir::Filters& filters, bool flag);
void removeSharedDllCounter();

// Facilities that exist only on other platforms: constant answers here.
int getProcessPriority();
void setProcessPriority(int priority);
bool isControlPressed();
bool isReadable(const QString& path);
bool isWritable(const QString& path);
bool IsElevated();
bool runFileServerElevated();
void terminateFileServer();
bool restartElevated(const QRect& geometry);
bool Is64BitWindows();
bool is7ZipAlgorithm();
