#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>

// Moves a file or folder to the freedesktop.org trash of the home folder.
// On failure *reason (when given) gets the system's words for it.
bool MoveFileToTrash(const QString& path, QString* reason = nullptr);
// toTrash: MoveFileToTrash; otherwise folders go with their contents and
// links are removed themselves, never followed. On failure *reason gets the
// system's words, after the entry's path when an entry inside a folder
// could not go.
bool deleteFile(const QString& path, bool toTrash, QString* reason = nullptr);
bool createFile(const QString& path);
// Whether the file opens in the given direction; creates the missing parent
// folders. A file that only this test created is removed again.
bool canFileBeOpened(const QString& path, bool forReading);

// The Generic helpers go through the elevated file server when the process
// runs elevated or the user chose "Retry as administrator".
bool isElevationInForce();
bool createFileGeneric(const QString& path);
bool deleteFileGeneric(const QString& path, bool toTrash, QString* reason = nullptr);
bool createFolderGeneric(const QString& path);
bool renameFileGeneric(const QString& from, const QString& to);

// The process's file-creation mask, read without changing it (another
// thread may be creating files meanwhile).
unsigned int currentUmask();
// What an extracted file or folder may get of the mode an archive stores:
// the permission bits less the umask, never setuid, setgid or sticky;
// without a stored mode the usual 0666 or 0777 less the umask.
unsigned int extractedMode(bool stored, unsigned int storedMode, bool folder, unsigned int umask);

bool removeFileOrDirectory(const QString& path);
// Something (a file, a folder, or a link, even a dangling one) has that name.
// One system call, the link itself not followed.
bool isPathTaken(const QString& path);
// Flushes a file, or a folder's entries, to the disk. A path this process
// cannot open (one reached through the elevated server) is left to the
// server: true.
bool syncPath(const QString& path, bool folder, QString* reason = nullptr);
// The hidden name beside destination that new data is written under until
// it is complete: "." + name + suffix. A name that leaves no room for the
// additions within the 255 bytes of a folder entry is replaced by its hash.
QString hiddenPartStem(const QString& destination, const QString& suffix);
QStringList getNestedFiles(const QString& path, QDir::Filters filters);

bool isNetworkPath(const QString& path);
bool isUncPath(const QString& path);
QString getMachinePartOfUncPath(const QString& path);
void normalizeFilePath(QString& path);
QString getFileDrive(const QString& path);
void tryToConnectToNetworkDrive(QString& path);
QByteArray toQByteArray(const QStringList& list);

// The trash location, found on first use and kept once found.
struct TrashLocation
{
    bool TrashInitialized = false;
    QString TrashPath;
    QString TrashPathInfo;
    QString TrashPathFiles;
};
// Looks for a usable trash until one is found; false when there is none.
bool findTrash(TrashLocation* location = nullptr);
