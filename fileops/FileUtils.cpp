#include "fileops/FileUtils.h"

#include "app/settings.h"
#include "fileops/ElevatedAccess.h"
#include "fileops/FileContentsUtils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDebug>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStorageInfo>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QMutex g_trashMutex;
TrashLocation g_trash;

// A file moved to another file system: copied beside the target first, so
// that the target is replaced only by a complete copy, in one rename.
bool moveFileAcross(const QString& from, const QString& to)
{
    const QFileInfo target(to);
    QString temporary;
    for (int n = 0; temporary.isEmpty() || pathIsTaken(temporary); ++n)
        temporary = hiddenPartStem(target.absoluteFilePath(), QStringLiteral(".part")) + QString::number(n);
    if (!QFile::copy(from, temporary)) {
        QFile::remove(temporary);
        return false;
    }
    if (!QFile::remove(from)) {
        QFile::remove(temporary);
        return false;
    }
    // Should this last step fail, the data stays in the temporary file.
    return std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

bool findTrash(TrashLocation* location)
{
    QMutexLocker lock(&g_trashMutex);
    if (!g_trash.TrashInitialized) {
        QStringList candidates;
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        if (!dataHome.isEmpty()) {
            qDebug() << "XDG_DATA_HOME not yet tested";
            candidates << QFile::decodeName(dataHome) + QStringLiteral("/Trash");
        }
        candidates << QDir::homePath() + QStringLiteral("/.local/share/Trash");
        candidates << QDir::homePath() + QStringLiteral("/.trash");

        QString found;
        for (const QString& candidate : candidates) {
            if (QFileInfo(candidate).isDir()) {
                found = candidate;
                break;
            }
        }
        if (found.isEmpty()) {
            qDebug() << "Cant detect trash folder";
            return false;
        }
        TrashLocation trash;
        trash.TrashPath = found;
        trash.TrashPathInfo = found + QStringLiteral("/info");
        trash.TrashPathFiles = found + QStringLiteral("/files");
        if (!QFileInfo(trash.TrashPathInfo).isDir() || !QFileInfo(trash.TrashPathFiles).isDir()) {
            qDebug() << "Trash doesnt looks like FreeDesktop.org Trash specification";
            return false;
        }
        trash.TrashInitialized = true;
        g_trash = trash;
    }
    if (location)
        *location = g_trash;
    return true;
}

namespace {

bool failWith(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

// Removes a folder with everything in it, links themselves; goes on past an
// entry that cannot be removed and tells the first such failure.
bool removeTree(const QString& folder, QString* reason)
{
    bool removed = true;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString path = entry.filePath();
        if (entry.isDir() && !entry.isSymLink()) {
            removed = removeTree(path, removed ? reason : nullptr) && removed;
        } else if (::unlink(QFile::encodeName(path).constData()) != 0) {
            if (removed)
                failWith(reason, path + QStringLiteral(": ") + systemErrorText(errno));
            removed = false;
        }
    }
    if (::rmdir(QFile::encodeName(folder).constData()) != 0) {
        // Its entries' failure is the reason it is not empty.
        if (removed)
            failWith(reason, systemErrorText(errno));
        removed = false;
    }
    return removed;
}

} // namespace

bool MoveFileToTrash(const QString& path, QString* reason)
{
    TrashLocation trash;
    if (!findTrash(&trash))
        return failWith(reason, QCoreApplication::translate("FileUtils", "no trash folder was found"));
    const QFileInfo item(path);
    if (!pathIsTaken(path)) {
        qDebug() << "File doesnt exists, cant move to trash";
        return failWith(reason, systemErrorText(ENOENT));
    }

    const QString absolute = item.absoluteFilePath();
    // Other desktop tools restore from this line, so the path is percent-encoded
    // as the freedesktop.org trash specification asks.
    const QString info = QStringLiteral("[Trash Info]\nPath=") +
                         QString::fromLatin1(QUrl::toPercentEncoding(absolute, "/")) +
                         QStringLiteral("\nDeletionDate=") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));

    QString name = item.fileName();
    const QString base = item.baseName();
    const QString suffix = item.completeSuffix();
    for (int n = 2; pathIsTaken(trash.TrashPathInfo + QLatin1Char('/') + name + QStringLiteral(".trashinfo")) ||
                    pathIsTaken(trash.TrashPathFiles + QLatin1Char('/') + name);
         ++n) {
        name = base + QLatin1Char('.') + QString::number(n);
        if (!suffix.isEmpty())
            name += QLatin1Char('.') + suffix;
    }

    const QString infoPath = trash.TrashPathInfo + QLatin1Char('/') + name + QStringLiteral(".trashinfo");
    const QString filesPath = trash.TrashPathFiles + QLatin1Char('/') + name;
    // The info file goes first so that a trashed item never lies in the trash
    // without the record that tells where it came from.
    QString infoFailure;
    if (!writeStringToFile(infoPath, info, &infoFailure)) {
        qDebug() << "move to trash failed";
        QFile::remove(infoPath);
        return failWith(reason, infoPath + QStringLiteral(": ") + infoFailure);
    }
    if (std::rename(QFile::encodeName(absolute).constData(), QFile::encodeName(filesPath).constData()) != 0) {
        const int error = errno;
        qDebug() << "move to trash failed";
        QFile::remove(infoPath);
        return failWith(reason, systemErrorText(error));
    }
    return true;
}

bool deleteFile(const QString& path, bool toTrash, QString* reason)
{
    if (toTrash)
        return MoveFileToTrash(path, reason);
    if (isRealFolder(path))
        return removeTree(path, reason);
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        return failWith(reason, systemErrorText(errno));
    return true;
}

bool createFile(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadWrite);
    file.close();
    return QFileInfo::exists(path);
}

bool canFileBeOpened(const QString& path, bool forReading)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QFileInfo(dir).exists())
        QDir().mkpath(dir);
    const bool existedBefore = pathIsTaken(path);
    QFile file(path);
    const bool opened = file.open(forReading ? QIODevice::ReadOnly : QIODevice::ReadWrite);
    file.close();
    // Never remove a file that was there before the test: the caller may yet
    // decide not to overwrite it.
    if (!forReading && !existedBefore)
        QFile::remove(path);
    return opened;
}

bool isElevationInForce()
{
    return CSettings::isElevated() || UserActions::isChosen(UA_AS_ADMIN);
}

unsigned int currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const unsigned int mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mask & 0777;
            }
        }
    }
    // Kernels before 4.7 do not tell; setting it back at once is the only
    // other way to learn it.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask & 0777;
}

unsigned int extractedMode(bool stored, unsigned int storedMode, bool folder, unsigned int umask)
{
    const unsigned int permissions = stored ? (storedMode & 0777) : (folder ? 0777 : 0666);
    return permissions & ~umask;
}

bool createFileGeneric(const QString& path)
{
    if (isElevationInForce())
        return ElevatedAccess::createFile(path);
    return createFile(path);
}

bool deleteFileGeneric(const QString& path, bool toTrash, QString* reason)
{
    if (isElevationInForce())
        return ElevatedAccess::remove(path, toTrash) || failWith(reason, elevatedServerFailureText());
    return deleteFile(path, toTrash, reason);
}

bool createFolderGeneric(const QString& path)
{
    if (isElevationInForce())
        return ElevatedAccess::createFolder(path);
    return QDir().mkpath(path);
}

bool renameFileGeneric(const QString& from, const QString& to)
{
    const QString canonicalFrom = QFileInfo(from).canonicalFilePath();
    // Two missing paths share the empty canonical path; that is no success.
    if (!canonicalFrom.isEmpty() && canonicalFrom == QFileInfo(to).canonicalFilePath())
        return true;
    if (isElevationInForce())
        return ElevatedAccess::rename(from, to);

    // A folder in the way is never replaced.
    if (isRealFolder(to))
        return false;
    // rename(2) replaces an existing file atomically: a failure never leaves
    // the target deleted and the source unmoved.
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (std::rename(source.constData(), target.constData()) == 0)
        return true;
    if (errno != EXDEV || isRealFolder(from) || !pathIsTaken(from))
        return false;
    return moveFileAcross(from, to);
}

QString hiddenPartStem(const QString& destination, const QString& suffix)
{
    constexpr int kMaxFileNameBytes = 255;
    constexpr int kCounterBytes = 2;
    const QFileInfo info(destination);
    QString name = info.fileName();
    if (QFile::encodeName(name).size() + 1 + QFile::encodeName(suffix).size() + kCounterBytes > kMaxFileNameBytes)
        name = QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex());
    return info.path() + QStringLiteral("/.") + name + suffix;
}

bool syncPath(const QString& path, bool folder, QString* reason)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0)
        return true;
    const bool synced = ::fsync(fd) == 0;
    if (!synced)
        failWith(reason, systemErrorText(errno));
    ::close(fd);
    return synced;
}

bool isPathTaken(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool removeFileOrDirectory(const QString& path)
{
    if (isRealFolder(path))
        return QDir().rmdir(path);
    return QFile::remove(path);
}

QStringList getNestedFiles(const QString& path, QDir::Filters filters)
{
    QStringList result{path};
    QDirIterator it(path, filters, QDirIterator::Subdirectories);
    while (it.hasNext())
        result << it.next();
    return result;
}

bool isNetworkPath(const QString& path)
{
    return path.size() >= 3 && path.at(0) == QLatin1Char('\\') && path.at(1) == QLatin1Char('\\');
}

bool isUncPath(const QString& path)
{
    return path.size() >= 2 && path.at(0) == QLatin1Char('\\') && path.at(1) == QLatin1Char('\\');
}

QString getMachinePartOfUncPath(const QString& path)
{
    if (path.size() < 2)
        return QString();
    const int slash = path.indexOf(QLatin1Char('\\'), 2);
    return slash < 0 ? path : path.left(slash);
}

void normalizeFilePath(QString& path)
{
    // Colons and backslashes are ordinary characters of a name on this
    // system: "Notes:" and "a\b" name what they say, so only the separators
    // are made native.
    path = QDir::toNativeSeparators(path);
}

QString getFileDrive(const QString& path)
{
    // QStorageInfo needs an existing path; climb to the nearest one.
    QString existing = QFileInfo(path).absoluteFilePath();
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            break;
        existing = parent;
    }
    QString root = QStorageInfo(existing).rootPath();
    while (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}

void tryToConnectToNetworkDrive(QString&)
{
}

QByteArray toQByteArray(const QStringList& list)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << list;
    return bytes;
}
