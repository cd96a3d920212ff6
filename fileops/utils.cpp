#include "fileops/utils.h"

#include "app/settings.h"
#include "fileops/FileClient.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

QString trUtils(const char* text)
{
    return QCoreApplication::translate("utils", text);
}

bool isRootDirectory(const QString& dir)
{
    return !dir.isEmpty() && QDir(dir).isRoot();
}

// GNU tar's short names of the compressed tar combinations.
const char* const kShortTarExtensions[] = {"tgz", "tbz2", "tbz", "txz"};
const char* const kCompressedTarEndings[] = {".tar.gz", ".tar.bz2", ".tar.xz", ".tgz", ".tbz2", ".tbz", ".txz"};

// The name without a volume number (".001") at its end.
QString withoutVolumeNumber(const QString& name)
{
    return isMultiVolumeArchive(name) ? name.left(name.size() - 4) : name;
}

// The length, dot included, of the longest archive extension that ends the
// name and leaves something before it; 0 when none does.
int archiveExtensionLength(const QString& name)
{
    int longest = 0;
    auto consider = [&](const QString& extension) {
        if (name.size() > extension.size() + 1 && name.endsWith(extension, Qt::CaseInsensitive) &&
            name.at(name.size() - extension.size() - 1) == QLatin1Char('.'))
            longest = std::max(longest, extension.size() + 1);
    };
    for (const ZipFormatInfo& format : SupportedFormats)
        consider(format.extension);
    for (const char* extension : kShortTarExtensions)
        consider(QLatin1String(extension));
    return longest;
}

} // namespace

// --- Path pieces -----------------------------------------------------------

QString getDirectoryPathFromFilePath(const QString& path)
{
    return QFileInfo(path).path();
}

QString getExtensionOfFile(const QString& path)
{
    return QFileInfo(path).suffix();
}

QString getFileNameWithoutExtension(const QString& path, bool onlyLastExtension)
{
    const QFileInfo info(path);
    const QString dir = info.path();
    const QString name = onlyLastExtension ? info.completeBaseName() : info.baseName();
    if (dir == QLatin1String("."))
        return name;
    if (isRootDirectory(dir))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}

QString makeDirectoryForFile(const QString& path)
{
    const QString dir = QFileInfo(path).path();
    QDir().mkpath(dir);
    return dir;
}

void chopLastCharIfSlash(QString& path)
{
    if (!path.isEmpty() && (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'))))
        path.chop(1);
}

void chopFirstCharIfSlash(QString& path)
{
    if (!path.isEmpty() && (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\'))))
        path.remove(0, 1);
}

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString getFileFromPath(const QString& path, QString& rest)
{
    const QString normalized = QDir::fromNativeSeparators(path);
    const QStringList parts = normalized.split(QRegularExpression(QStringLiteral("[/\\\\]")));
    if (parts.isEmpty()) {
        rest.clear();
        return QString();
    }
    QString candidate = parts.first();
    for (int i = 1; i < parts.size(); ++i) {
        if (QFileInfo(candidate).isFile())
            break;
        candidate += QLatin1Char('/') + parts.at(i);
    }
    rest = normalized;
    if (!candidate.isEmpty())
        rest.remove(candidate);
    if (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    return candidate;
}

bool isDirectoryAncestorOfFile(const QString& dir, const QString& file)
{
    const QFileInfo dirInfo(dir);
    if (dir.isEmpty() || !dirInfo.exists() || !dirInfo.isDir())
        return false;
    const QString dirPath = QDir::cleanPath(dirInfo.absoluteFilePath());
    QString ancestor = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    while (true) {
        const QString parent = QFileInfo(ancestor).path();
        if (parent == ancestor)
            break;
        ancestor = parent;
        if (ancestor.compare(dirPath, Qt::CaseInsensitive) == 0)
            return true;
        if (isRootDirectory(ancestor))
            break;
    }
    return false;
}

bool isSameDrive(const QString& a, const QString& b)
{
    const QStorageInfo first(QFileInfo(a).absolutePath());
    const QStorageInfo second(QFileInfo(b).absolutePath());
    return first.isValid() && second.isValid() && first.rootPath() == second.rootPath();
}

// --- Archives and names ----------------------------------------------------

bool detectArchiveFormat(const QString& path, ZipFormatInfo* info)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    unsigned char head[8];
    const qint64 got = file.read(reinterpret_cast<char*>(head), sizeof(head));
    file.close();

    if (got > 0) {
        for (const ZipFormatInfo& format : SupportedFormats) {
            if (format.signature[0] == 0xFF)
                continue;
            bool match = true;
            for (int i = 0; i < 8 && format.signature[i] != 0xFF; ++i) {
                if (i >= got || head[i] != format.signature[i]) {
                    match = false;
                    break;
                }
            }
            if (match) {
                if (info)
                    *info = format;
                return true;
            }
        }
    }

    const QString extension = getExtensionOfFile(path).toLower();
    for (const ZipFormatInfo& format : SupportedFormats) {
        if (format.extension.toLower() == extension) {
            if (info)
                *info = format;
            return true;
        }
    }
    return false;
}

bool isArchive(const QString& path, ZipFormatInfo* info)
{
    return detectArchiveFormat(path, info);
}

bool isArchive(const QString& path)
{
    return detectArchiveFormat(path, nullptr);
}

bool isMultiVolumeArchive(const QString& path)
{
    static const QRegularExpression threeDigits(QStringLiteral("^[0-9][0-9][0-9]$"));
    return threeDigits.match(getExtensionOfFile(path)).hasMatch();
}

bool isCompressedTarName(const QString& path)
{
    const QString name = withoutVolumeNumber(path);
    for (const char* ending : kCompressedTarEndings) {
        if (name.endsWith(QLatin1String(ending), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString fileNameForArchive(const QString& path)
{
    const QString extension = getExtensionOfFile(path);
    for (const char* shortTar : kShortTarExtensions) {
        if (extension.compare(QLatin1String(shortTar), Qt::CaseInsensitive) == 0)
            return path.left(path.size() - extension.size()) + QStringLiteral("tar");
    }
    for (const ZipFormatInfo& format : SupportedFormats) {
        if (format.extension.compare(extension, Qt::CaseInsensitive) == 0)
            return path.left(path.size() - extension.size() - 1);
    }
    return path;
}

QString getSuggestedArchivePath(const QStringList& files, const QString& targetDir)
{
    if (files.isEmpty())
        return targetDir;
    const QString first = QDir::cleanPath(files.first());
    if (isRootDirectory(first))
        return targetDir;
    if (files.size() > 1) {
        const QString parent = QFileInfo(first).path();
        if (!isRootDirectory(parent))
            return targetDir + QLatin1Char('/') + QFileInfo(parent).fileName();
        return targetDir;
    }
    return targetDir + QLatin1Char('/') + QFileInfo(first).fileName();
}

QString directoryToExtractAccordingToArchive(const QString& archivePath, bool ownFolder)
{
    const QFileInfo archive(archivePath);
    if (!ownFolder)
        return archive.absolutePath();
    // Only what names the archive goes: the dots of "app-2.4.1" or
    // "my.photos.2020" belong to the name.
    QString name = withoutVolumeNumber(archive.fileName());
    int cut = archiveExtensionLength(name);
    if (cut == 0) {
        // A name the format is not known by: its last extension goes.
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        cut = dot > 0 ? name.size() - dot : 0;
    }
    name.chop(cut);
    const QString dir = archive.path();
    QString base = name;
    if (dir != QLatin1String("."))
        base = isRootDirectory(dir) ? dir + name : dir + QLatin1Char('/') + name;
    // A name without any extension would be the archive itself.
    const bool collides = cut == 0;
    if (!collides && !CSettings::getBoolValue(QStringLiteral("AppendNumberToDirectory")))
        return base;
    if (!collides && !pathIsTaken(base))
        return base;
    for (qint64 n = 1;; ++n) {
        const QString candidate = base + QStringLiteral("_%1").arg(n);
        if (!pathIsTaken(candidate))
            return candidate;
    }
}

QString getRenameFileName(const QString& path, const QString& pattern, bool onlyIfExists)
{
    if (pattern.isEmpty())
        return path;
    if (onlyIfExists && !pathIsTaken(path))
        return path;
    const QString suffix = QFileInfo(path).suffix();
    const QString stem = suffix.isEmpty() ? path : getFileNameWithoutExtension(path, true);
    const QString extension = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    for (qint64 n = 1;; ++n) {
        const QString candidate = stem + QString(pattern).replace(QLatin1String("%1"), QString::number(n)) + extension;
        if (!pathIsTaken(candidate))
            return candidate;
    }
}

// --- Special folders -------------------------------------------------------

namespace {

bool specialFoldersActive()
{
    return QLocale::system().language() == QLocale::Russian;
}

QString homeRoot()
{
    const QString home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    return QFileInfo(QDir::cleanPath(home)).path();
}

QStringList userFolders()
{
    QStringList result;
    const QString root = homeRoot();
    QDir dir(root);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& name : names)
        result << QDir::cleanPath(root + QLatin1Char('/') + name);
    return result;
}

} // namespace

bool isIncludingSpecialFolders(const QString& userFolder, const QString& path)
{
    if (!specialFoldersActive())
        return false;
    const QString user = QDir::cleanPath(userFolder);
    const QString target = QDir::cleanPath(path);
    const QString parent = QFileInfo(user).path();
    const QString grandParent = QFileInfo(parent).path();
    return target == user || target == parent || target == grandParent ||
           target == user + QStringLiteral("/Pictures") || target == user + QStringLiteral("/Videos");
}

bool isIncludingSpecialFolders(const QString& path)
{
    if (!specialFoldersActive())
        return false;
    const QStringList users = userFolders();
    for (const QString& user : users) {
        if (isIncludingSpecialFolders(user, path))
            return true;
    }
    return false;
}

QString getSpecialFolderName(const QString& userFolder, const QString& path)
{
    if (!specialFoldersActive())
        return QString();
    const QString root = homeRoot();
    const QString user = QDir::cleanPath(userFolder);
    const QString target = QDir::cleanPath(path);
    const QString parent = QFileInfo(target).path();
    const QString name = QFileInfo(target).fileName();

    if (target == root)
        return trUtils(QT_TRANSLATE_NOOP("utils", "Users"));
    if (target == root + QStringLiteral("/Public"))
        return trUtils(QT_TRANSLATE_NOOP("utils", "Are common"));

    QString answer;
    if (parent == root + QStringLiteral("/Public")) {
        static const char* const publicNames[][2] = {
            {"Desktop", QT_TRANSLATE_NOOP("utils", "Shared desktop")},
            {"Documents", QT_TRANSLATE_NOOP("utils", "General documents")},
            {"Videos", QT_TRANSLATE_NOOP("utils", "Shared videos")},
            {"AccountPictures", QT_TRANSLATE_NOOP("utils", "Public Avatars")},
            {"Downloads", QT_TRANSLATE_NOOP("utils", "General downloaded files")},
            {"Favorites", QT_TRANSLATE_NOOP("utils", "Favorites")},
            {"Pictures", QT_TRANSLATE_NOOP("utils", "Common Images")},
            {"Libraries", QT_TRANSLATE_NOOP("utils", "Shared libraries")},
            {"Music", QT_TRANSLATE_NOOP("utils", "General Music")},
        };
        for (const auto& entry : publicNames) {
            if (name == QLatin1String(entry[0]))
                answer = trUtils(entry[1]);
        }
    }
    if (parent == user) {
        static const char* const userNames[][2] = {
            {"Desktop", QT_TRANSLATE_NOOP("utils", "Desktop")},
            {"Documents", QT_TRANSLATE_NOOP("utils", "Documentation")},
            {"Videos", QT_TRANSLATE_NOOP("utils", "Video")},
            {"Downloads", QT_TRANSLATE_NOOP("utils", "Downloads")},
            {"Favorites", QT_TRANSLATE_NOOP("utils", "Favorites")},
            {"Pictures", QT_TRANSLATE_NOOP("utils", "Images")},
            {"Contacts", QT_TRANSLATE_NOOP("utils", "Contacts")},
            {"Music", QT_TRANSLATE_NOOP("utils", "Music")},
            {"3D Objects", QT_TRANSLATE_NOOP("utils", "Volumetric objects")},
            {"Searches", QT_TRANSLATE_NOOP("utils", "Search")},
            {"Saved Games", QT_TRANSLATE_NOOP("utils", "Saved Games")},
            {"Links", QT_TRANSLATE_NOOP("utils", "Links")},
        };
        for (const auto& entry : userNames) {
            if (name == QLatin1String(entry[0]))
                answer = trUtils(entry[1]);
        }
    } else if (answer.isEmpty() && parent == user + QStringLiteral("/Pictures")) {
        static const char* const pictureNames[][2] = {
            {"Camera Roll", QT_TRANSLATE_NOOP("utils", "Camera Roll")},
            {"Saved Pictures", QT_TRANSLATE_NOOP("utils", "Saved Pictures")},
            {"Screenshots", QT_TRANSLATE_NOOP("utils", "Screenshots")},
        };
        for (const auto& entry : pictureNames) {
            if (name == QLatin1String(entry[0]))
                answer = trUtils(entry[1]);
        }
    } else if (answer.isEmpty() && parent == user + QStringLiteral("/Videos")) {
        if (name == QLatin1String("Captures"))
            answer = trUtils(QT_TRANSLATE_NOOP("utils", "Captures"));
    }
    return answer;
}

QString getSpecialFolderName(const QString& path)
{
    if (!specialFoldersActive())
        return QString();
    const QStringList users = userFolders();
    for (const QString& user : users) {
        const QString name = getSpecialFolderName(user, path);
        if (!name.isEmpty())
            return name;
    }
    return QString();
}

// --- Sizes and times -------------------------------------------------------

QString getFormattedFileSize(const QString& path)
{
    return formatDataSize(QFileInfo(path).size());
}

QString formatDataSize(qint64 bytes)
{
    QString text = QLocale().formattedDataSize(bytes, 2, QLocale::DataSizeIecFormat);
    normalizeDataSize(text);
    return text;
}

QString formatDuration(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void normalizeDataSize(QString& text)
{
    text.replace(QLatin1String("bytes"), trUtils(QT_TRANSLATE_NOOP("utils", "B")));
    text.replace(QLatin1String("byte"), trUtils(QT_TRANSLATE_NOOP("utils", "B")));
    text.replace(QLatin1String("KiB"), trUtils(QT_TRANSLATE_NOOP("utils", "KB")));
    text.replace(QLatin1String("MiB"), trUtils(QT_TRANSLATE_NOOP("utils", "MB")));
    text.replace(QLatin1String("GiB"), trUtils(QT_TRANSLATE_NOOP("utils", "GB")));
}

uint64_t toWinFileTime(const QDateTime& dateTime)
{
    static const QDateTime origin(QDate(1601, 1, 1), QTime(0, 0), Qt::UTC);
    return static_cast<uint64_t>(origin.msecsTo(dateTime)) * 10000ULL;
}

namespace {

uint64_t ticksFrom(const struct statx_timestamp& ts)
{
    if (ts.tv_sec < -static_cast<int64_t>(kFileTimeUnixEpochTicks / 10000000ULL))
        return 0;
    return kFileTimeUnixEpochTicks + static_cast<uint64_t>(ts.tv_sec * 10000000LL) + ts.tv_nsec / 100;
}

} // namespace

void getFileTimes(const QString& path, uint64_t* creation, uint64_t* access, uint64_t* modification)
{
    FileFacts facts;
    fileFactsAt(AT_FDCWD, QFile::encodeName(path).constData(), true, &facts);
    if (creation)
        *creation = facts.creation;
    if (access)
        *access = facts.access;
    if (modification)
        *modification = facts.modification;
}

namespace {
bool statxFacts(int dirFd, const char* name, int flags, FileFacts* facts)
{
    *facts = FileFacts();
    struct statx st{};
    if (statx(dirFd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
        return false;
    facts->mode = st.stx_mode;
    facts->owner = st.stx_uid;
    facts->size = st.stx_size;
    // Without a birth time, the inode change time is the closest we have.
    facts->creation = (st.stx_mask & STATX_BTIME) ? ticksFrom(st.stx_btime) : ticksFrom(st.stx_ctime);
    facts->access = ticksFrom(st.stx_atime);
    facts->modification = ticksFrom(st.stx_mtime);
    facts->known = true;
    return true;
}
} // namespace

bool fileFactsAt(int dirFd, const char* name, bool followLink, FileFacts* facts)
{
    return statxFacts(dirFd, name, followLink ? 0 : AT_SYMLINK_NOFOLLOW, facts);
}

bool fileFactsOf(int fd, FileFacts* facts)
{
    return statxFacts(fd, "", AT_EMPTY_PATH, facts);
}

namespace {

// Archive listings convert one time per entry. Qt's own local-time
// conversion re-reads the zone file on every call when TZ is unset (about
// 9 us each, most of the time of listing 100,000 entries); localtime_r gives
// the same wall-clock time and its offset from the zone loaded once.
QDateTime localDateTime(qint64 msecs)
{
    const time_t seconds = static_cast<time_t>(msecs >= 0 ? msecs / 1000 : (msecs - 999) / 1000);
    struct tm local;
    if (!localtime_r(&seconds, &local))
        return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime();
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, static_cast<int>(local.tm_gmtoff));
}

} // namespace

QDateTime FileTimeToQDateTime(uint64_t fileTime)
{
    return localDateTime(static_cast<qint64>(fileTime / 10000ULL) -
                         static_cast<qint64>(kFileTimeUnixEpochTicks / 10000ULL));
}

QDateTime UnixTimeToQDateTime(uint32_t seconds)
{
    return localDateTime(static_cast<qint64>(seconds) * 1000);
}

namespace {

// The entry itself gets the times: a link's own, never its target's.
void applyTimes(const QString& path, const struct timespec times[2])
{
    const QByteArray local = QFile::encodeName(path);
    utimensat(AT_FDCWD, local.constData(), times, AT_SYMLINK_NOFOLLOW);
}

struct timespec timespecFromMSecs(qint64 msecs)
{
    struct timespec ts{};
    ts.tv_sec = static_cast<time_t>(msecs / 1000);
    ts.tv_nsec = static_cast<long>((msecs % 1000) * 1000000);
    if (ts.tv_nsec < 0) {
        ts.tv_nsec += 1000000000L;
        ts.tv_sec -= 1;
    }
    return ts;
}

} // namespace

void setFileTimes(const QString& path, int /*creation*/, int access, int modification)
{
    struct timespec times[2];
    times[0].tv_sec = access;
    times[0].tv_nsec = 0;
    times[1].tv_sec = modification;
    times[1].tv_nsec = 0;
    applyTimes(path, times);
}

void setFileTimes(const QString& path, const QDateTime& /*creation*/, const QDateTime& access,
                  const QDateTime& modification)
{
    struct timespec times[2];
    if (access.isValid())
        times[0] = timespecFromMSecs(access.toMSecsSinceEpoch());
    else
        times[0].tv_nsec = UTIME_OMIT;
    if (modification.isValid())
        times[1] = timespecFromMSecs(modification.toMSecsSinceEpoch());
    else
        times[1].tv_nsec = UTIME_OMIT;
    applyTimes(path, times);
}

namespace {

// Ticks of 0 leave that time as it is.
struct timespec timespecFromTicks(uint64_t ticks)
{
    struct timespec ts{};
    if (ticks == 0) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    const int64_t sinceUnix = static_cast<int64_t>(ticks) - static_cast<int64_t>(kFileTimeUnixEpochTicks);
    int64_t seconds = sinceUnix / 10000000LL;
    int64_t rest = sinceUnix % 10000000LL;
    if (rest < 0) {
        rest += 10000000LL;
        seconds -= 1;
    }
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

} // namespace

void setFileTimesTicks(const QString& path, uint64_t access, uint64_t modification)
{
    struct timespec times[2] = {timespecFromTicks(access), timespecFromTicks(modification)};
    applyTimes(path, times);
}

void setFileTimesTicks(int fd, uint64_t access, uint64_t modification)
{
    if (access == 0 && modification == 0)
        return;
    struct timespec times[2] = {timespecFromTicks(access), timespecFromTicks(modification)};
    ::futimens(fd, times);
}

int64_t unixTimeStamp()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// --- Text files ------------------------------------------------------------

QStringList readFileLines(const QString& path)
{
    QStringList lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    QTextStream in(&file);
    in.setCodec("UTF-8");
    while (!in.atEnd())
        lines << in.readLine();
    return lines;
}

// --- Other helpers ---------------------------------------------------------

void qSleep(int ms)
{
    if (ms <= 0)
        return;
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

QString unreadableFileReason(const QString& path)
{
    // Without waiting for a writer when path is a pipe.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return systemErrorText(errno);
    struct stat st {};
    const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    ::close(fd);
    return folder ? systemErrorText(EISDIR) : QString();
}

QString systemErrorText(int errorNumber)
{
    char buffer[256];
    // The GNU strerror_r, which returns the text (maybe not in buffer).
    const char* text = ::strerror_r(errorNumber, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

QString elevatedServerFailureText()
{
    const QString refusal = FileClient::refusal();
    if (!refusal.isEmpty())
        return refusal;
    return QCoreApplication::translate("filearchive", "the elevated file server could not do it");
}

void printTime(const QString& label)
{
    qDebug().noquote() << label << (QDateTime::currentMSecsSinceEpoch() % 100000);
}

void printTime(int n)
{
    static qint64 previous = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() % 100000;
    qDebug() << n << now << (now - previous);
    previous = now;
}

QString getVersionString(const QString&)
{
    return QStringLiteral("1.7.1");
}

void enableFileSystemHideFilters(QDir::Filters& filters, bool flag)
{
    if (!flag) {
        filters &= ~QDir::Hidden;
        filters |= QDir::Dirs;
    } else {
        filters &= ~QDir::Dirs;
        filters |= QDir::Hidden;
    }
}

void removeSharedDllCounter()
{
    qDebug() << "Removing shared dll counter.";
}

int getProcessPriority()
{
    return 0;
}

void setProcessPriority(int)
{
}

bool isControlPressed()
{
    return false;
}

bool isReadable(const QString&)
{
    return true;
}

bool isWritable(const QString&)
{
    return true;
}

bool IsElevated()
{
    return false;
}

bool runFileServerElevated()
{
    return false;
}

void terminateFileServer()
{
}

bool restartElevated(const QRect&)
{
    return false;
}

bool Is64BitWindows()
{
    return false;
}

bool is7ZipAlgorithm()
{
    return true;
}

// Plain stat calls: a copy runs these several times for every file.
bool pathIsTaken(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool isRealFolder(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}
