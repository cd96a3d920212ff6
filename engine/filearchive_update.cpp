// The writing half of FileArchive: create, add, replace, delete and rename.
#include "engine/filearchive.h"

#include "app/settings.h"
#include "engine/ArchiveLock.h"
#include "engine/ArchiveUpdateCallback.h"
#include "engine/streams.h"
#include "engine/zipapi.h"
#include "fileops/ElevatedAccess.h"
#include "fileops/FileUtils.h"
#include "fileops/utils.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Lists folder as QDir lists it with the scan's filters (folders and plain
// files, no links, no devices, pipes or sockets; names beginning with a dot
// only with hidden): one read of the folder and one look at each entry, whose
// facts go to facts. False when the folder cannot be read.
bool listFolder(const QString& folder, bool hidden, QStringList& children, QHash<QString, FileFacts>& facts)
{
    const QByteArray local = QFile::encodeName(folder);
    DIR* dir = ::opendir(local.constData());
    if (!dir)
        return false;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    while (const dirent* item = ::readdir(dir)) {
        const char* name = item->d_name;
        if (name[0] == '.' && (!hidden || name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        FileFacts entry;
        if (!fileFactsAt(::dirfd(dir), name, false, &entry) || !(S_ISREG(entry.mode) || S_ISDIR(entry.mode)))
            continue;
        const QString path = prefix + QFile::decodeName(name);
        children << path;
        facts.insert(path, entry);
    }
    ::closedir(dir);
    return true;
}

// Entry names are compared without a leading "/": the engine may store or
// drop it.
QString comparableName(QString name)
{
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return name;
}

// The engine's file time kinds, as GetFileTimeType reports them.
enum : UInt32 { kTimeWindows = 0, kTimeUnix = 1, kTimeDos = 2 };

qint64 timeUnitMs(UInt32 timeType)
{
    switch (timeType) {
    case kTimeUnix:
        return 1000;
    case kTimeDos:
        return 2000;
    default:
        return 1;
    }
}

qint64 floorDiv(qint64 value, qint64 unit)
{
    return value >= 0 ? value / unit : -((-value + unit - 1) / unit);
}

// The method name for the engine: the request's when the format offers it,
// else the format's default; empty (store) at level 0.
QString methodName(ZipFormat format, int32_t method, uint32_t level)
{
    const ZipFormatInfo& info = SupportedFormats[format];
    const bool offered[6] = {info.LZMA2, info.LZMA, info.PPMd, info.BZip2, info.Deflate, info.Deflate64};
    if (level == 0)
        return QString();
    if (method < 0 || method >= 6 || !offered[method])
        method = defaultMethodOf(info);
    return method >= 0 ? ZipMethodPropValues[method] : QString();
}

bool formatTakesMethod(ZipFormat format)
{
    const ZipFormatInfo& info = SupportedFormats[format];
    return info.LZMA2 || info.LZMA || info.PPMd || info.BZip2 || info.Deflate || info.Deflate64;
}

// Whether this process may list the folder, by its effective rights (which
// is what opening it will meet; access() would ask for the real user's).
bool canList(const QString& folder)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), R_OK | X_OK, AT_EACCESS) == 0;
}

ZipFormat outerFormatOf(ZipFormat format)
{
    switch (format) {
    case ZF_TAR_XZ:
        return ZF_XZ;
    case ZF_TAR_GZIP:
        return ZF_GZIP;
    default:
        return ZF_BZIP2;
    }
}

} // namespace

void FileArchive::updateArchive(CompressOptions options)
{
    m_items.clear();
    m_listedArchive.clear();
    m_result = 0;
    m_passwordCanceled = false;
    m_passwordRefused = false;
    m_elevatedFiles.clear();
    m_temporaryFile.clear();
    m_ioFailures->clear();
    m_leftOutSources.clear();
    // A backslash is part of a name here, never a separator: a file called
    // "a\b" is packed as itself, not as b in a folder a.
    m_archiveFileName = options.archivePath;
    m_updatedArchive = options.archivePath;
    m_password = options.password;

    bool done = isInputValid(options);
    if (done) {
        makeAllPathInTheSameFormat(options);
        done = checkArchiveIsNotTarget(options) && handleNestedFiles(options) && leaveOutUnreadableSources(options);
    }
    // Held from reading the old archive to the swap, and let go when this
    // returns, after whatever is left to clean up.
    ArchiveLock lock(options.archivePath);
    if (done)
        done = waitForArchiveLock(lock, options.archivePath);
    if (done) {
        switch (options.format) {
        case ZF_QV:
            updateArchive_custom(options);
            done = m_result == 0 && renameTempFileToTheOriginalName(options);
            break;
        case ZF_TAR_XZ:
        case ZF_TAR_BZIP2:
        case ZF_TAR_GZIP:
            done = compress_Xz_Bzip2_GZip(options);
            break;
        default:
            // A single-stream file holds one file: it is written anew, never
            // merged with what it held.
            done = updateArchive_7zip(options, !SupportedFormats[options.format].singleFile) &&
                   renameTempFileToTheOriginalName(options);
            break;
        }
    }
    // What a step met on the disk and did not tell yet (reading the archive
    // it adds to, say).
    if (reportIoFailures())
        done = false;
    if (!done && m_result == 0)
        m_result = E_FAIL;
    if (!done)
        discardTemporaryFile();
    m_scannedFacts.clear();
    UserActions::reset();
}

bool FileArchive::waitForArchiveLock(ArchiveLock& lock, const QString& archive)
{
    const E_ArchiveOperation before = m_progress ? m_progress->operation.load() : AO_IDLE;
    bool waited = false;
    const auto showWaiting = [&] {
        waited = true;
        if (m_progress) {
            m_progress->operation = AO_WAITING;
            m_progress->setCurrentFile(archive);
        }
    };
    // Only a cancel ends the wait; without a display it is a silent one.
    const ArchiveLock::Result result = lock.acquire([this] { return isCanceled(); }, showWaiting);
    if (waited && m_progress)
        m_progress->operation = before;
    if (result == ArchiveLock::Stopped) {
        m_result = E_ABORT;
        return false;
    }
    return true;
}

bool FileArchive::userCanceledUpdate() const
{
    return m_terminated || (m_progress && m_progress->canceled) || m_passwordCanceled ||
           UserActions::isChosen(UA_CANCEL);
}

// --- Validation and the sources -----------------------------------------------

bool FileArchive::isInputValid(CompressOptions& options)
{
    if (m_archiveFileName.isEmpty()) {
        ReportError(LS_NO_ARCHIVE_NAME, {});
        return false;
    }
    if (!QFileInfo::exists(m_archiveFileName) && isUncPath(m_archiveFileName))
        tryToConnectToNetworkDrive(m_archiveFileName);
    for (const QString& source : qAsConst(options.files)) {
        if (isDirectoryAncestorOfFile(source, m_archiveFileName)) {
            ReportError(LS_ADDING_ITSELF, {});
            return false;
        }
    }
    if (options.files.isEmpty() && options.itemsToDelete.isEmpty() && options.itemToRename < 0) {
        ReportError(LS_NO_FILES_TO_PACK, {});
        return false;
    }
    // An existing archive is written anew beside itself as one file; volumes
    // would leave it as it was and the new one in pieces beside it.
    if (options.volumeSize > 0 && isPathTaken(m_archiveFileName)) {
        ReportError(LS_VOLUMES_FOR_EXISTING_ARCHIVE, {m_archiveFileName});
        return false;
    }
    const QString folder = QFileInfo(m_archiveFileName).absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        ReportError(LS_CANNOT_CREATE_DIRECTORY, {});
        return false;
    }
    return true;
}

void FileArchive::makeAllPathInTheSameFormat(CompressOptions& options)
{
    for (QString& path : options.files)
        path = QFileInfo(withoutTrailingSlashes(path)).filePath();
}

bool FileArchive::checkArchiveIsNotTarget(CompressOptions& options)
{
    const QString archive = QDir::cleanPath(QFileInfo(options.archivePath).absoluteFilePath());
    for (const QString& source : qAsConst(options.files)) {
        if (QDir::cleanPath(QFileInfo(source).absoluteFilePath()) == archive) {
            ReportError(LS_ARCHIVE_IS_SOURCE, {source});
            return false;
        }
    }
    return true;
}

bool FileArchive::removeHiddenItemsIfNeeded(CompressOptions& options)
{
    if (CSettings::getBoolValue(QStringLiteral("ArchiveHiddenItems")))
        return true;
    QStringList visible;
    for (const QString& path : qAsConst(options.files)) {
        if (!QFileInfo(path).isHidden())
            visible << path;
    }
    options.files = visible;
    return true;
}

QDir::Filters FileArchive::getFiltersForNestedFiles() const
{
    QDir::Filters filters = QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks;
    enableFileSystemHideFilters(filters, CSettings::getBoolValue(QStringLiteral("ArchiveHiddenItems")));
    // Showing hidden entries drops the folders from the filter; without them
    // an empty folder would silently go missing from the archive.
    return filters | QDir::Dirs;
}

bool FileArchive::handleNestedFiles(CompressOptions& options)
{
    removeHiddenItemsIfNeeded(options);
    m_skippedFolders.clear();
    m_scannedFacts.clear();
    const int sources = options.files.size();
    const QDir::Filters filters = getFiltersForNestedFiles();
    for (int i = 0; i < sources; ++i) {
        if (!getNestedFiles(options.files.at(i), filters, options.files))
            return false;
    }
    // A file chosen on its own and inside a chosen folder goes in once; a
    // folder the user chose to skip goes not at all.
    QSet<QString> seen;
    QStringList unique;
    unique.reserve(options.files.size());
    for (const QString& path : qAsConst(options.files)) {
        if (m_skippedFolders.contains(path) || seen.contains(path))
            continue;
        seen.insert(path);
        unique << path;
    }
    options.files = unique;
    m_skippedFolders.clear();
    return true;
}

bool FileArchive::leaveOutUnreadableSources(CompressOptions& options)
{
    QStringList kept;
    kept.reserve(options.files.size());
    const uid_t user = ::geteuid();
    for (const QString& path : qAsConst(options.files)) {
        // A file of this user with its owner's read bit is readable whatever
        // else is set (an access list's owner entry is those bits); the rest
        // asks the system.
        const auto scanned = m_scannedFacts.constFind(path);
        if (scanned != m_scannedFacts.constEnd() && scanned->known && scanned->owner == user &&
            (scanned->mode & S_IRUSR)) {
            kept << path;
            continue;
        }
        const QByteArray local = QFile::encodeName(path);
        if (m_elevatedFiles.contains(path) || ::faccessat(AT_FDCWD, local.constData(), R_OK, AT_EACCESS) == 0) {
            kept << path;
            continue;
        }
        const int error = errno;
        // The scan settled the folders: listed, listed through the elevated
        // server, or left out by the user.
        struct stat st {};
        if (::stat(local.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            kept << path;
            continue;
        }
        m_leftOutSources << QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
    }
    if (m_leftOutSources.isEmpty())
        return true;
    options.files = kept;
    const int shown = 20;
    QString list = QStringList(m_leftOutSources.mid(0, shown)).join(QLatin1Char('\n'));
    if (m_leftOutSources.size() > shown)
        list += QStringLiteral("\n…");
    ReportError(LS_SOURCES_LEFT_OUT, {list});
    return !kept.isEmpty() || !options.itemsToDelete.isEmpty() || options.itemToRename >= 0;
}

bool FileArchive::getNestedFiles(const QString& path, QDir::Filters filters, QStringList& list)
{
    if (!QFileInfo(path).isDir())
        return true;
    QStringList pending{path};
    int appended = 0;
    while (!pending.isEmpty()) {
        const QString folder = pending.takeLast();
        bool listable = canList(folder);
        while (!listable && !isNetworkPath(folder)) {
            // The question always ends: retry asks again, skip leaves the
            // folder out, cancel stops before anything is written, and "as
            // administrator" lists the folder through the elevated server
            // (skip when there is none).
            if (isCanceled()) {
                m_result = E_ABORT;
                return false;
            }
            bool asAdministrator = UserActions::isChosenForAll(UA_AS_ADMIN);
            if (!asAdministrator && !UserActions::isChosenForAll(UA_SKIP)) {
                clearSingleAnswers();
                accessHandler(folder);
                if (isCanceled() || UserActions::isChosen(UA_CANCEL)) {
                    m_result = E_ABORT;
                    return false;
                }
                asAdministrator = UserActions::isChosen(UA_AS_ADMIN);
                if (!asAdministrator && !UserActions::isChosen(UA_SKIP)) {
                    if (UserActions::isChosen(UA_RETRY)) {
                        listable = canList(folder);
                        continue;
                    }
                    m_result = E_ABORT;
                    return false;
                }
            }
            if (asAdministrator) {
                bool answered = false;
                CSettings::setElevated(true);
                const QStringList listed = ElevatedAccess::getNestedFiles(folder, filters, &answered);
                CSettings::setElevated(false);
                if (answered) {
                    for (const QString& file : listed) {
                        list << file;
                        m_elevatedFiles.insert(file);
                    }
                    break;
                }
            }
            m_skippedFolders.insert(folder);
            break;
        }
        if (!listable)
            continue;

        QStringList children;
        listFolder(folder, filters.testFlag(QDir::Hidden), children, m_scannedFacts);
        for (const QString& childPath : qAsConst(children)) {
            list << childPath;
            if (S_ISDIR(m_scannedFacts.value(childPath).mode))
                pending << childPath;
            if (++appended % 300 == 0) {
                if (m_progress) {
                    m_progress->operation = AO_SCANNING;
                    m_progress->setCurrentFile(childPath);
                }
                if (isCanceled() || !pauseIfNeeded()) {
                    m_result = E_ABORT;
                    return false;
                }
            }
        }
    }
    return true;
}

// --- Writing through the engine -------------------------------------------------

bool FileArchive::updateArchive_7zip(CompressOptions& options, bool merge)
{
    m_archiveFileName = options.archivePath;
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->setScannedFacts(&m_scannedFacts);
    CMyComPtr<IOutArchive> outArchive;
    CMyComPtr<IInArchive> inArchive;
    unsigned int itemCount = 0;
    ZipFormat format = options.format;

    const QFileInfo existing(options.archivePath);
    const bool update = merge && existing.isFile() && existing.size() > 0;
    const bool prepared = update ? prepareArchiveForUpdate_7zip(callback, options, outArchive, inArchive, itemCount)
                                 : createNewArchive(options, outArchive, itemCount, callback);
    if (!prepared)
        return false;
    if (update)
        format = m_formatInfo.format;
    // An updated archive stays one file, as it was.
    const long long volumeSize = update ? -1 : options.volumeSize;

    CMyComPtr<OutStream> stream = createOutputFileStream(volumeSize);
    if (!stream) {
        if (!userCanceledUpdate())
            ReportError(LS_CANNOT_CREATE_FILE, {m_archiveFileName});
        m_result = E_FAIL;
        return false;
    }
    // The user knows the archive by its name, not by the one it is written
    // under until the swap.
    if (volumeSize <= 0)
        stream->setReportName(options.archivePath);
    if (!setArchiveOptionsBeforeOperationStart(outArchive, options, format)) {
        m_result = E_FAIL;
        return false;
    }
    m_result = outArchive->UpdateItems(static_cast<IOutStream*>(stream.get()), itemCount,
                                       static_cast<IArchiveUpdateCallback2*>(callback.get()));
    const bool closed = stream->Close(true);
    stream.Release();
    outArchive.Release();
    if (inArchive) {
        inArchive->Close();
        inArchive.Release();
    }
    // A source that could not be read completely fails the update as much
    // as the engine's own failure: the archive would hold it cut short.
    if (m_result == S_OK && (!closed || !m_ioFailures->isEmpty()))
        m_result = E_FAIL;
    if (m_result != S_OK) {
        removeOutput(m_archiveFileName, volumeSize);
        if (!userCanceledUpdate() && !reportIoFailures())
            ReportError(LS_CANNOT_WRITE_ARCHIVE, {options.archivePath});
        return false;
    }
    return true;
}

bool FileArchive::createNewArchive(CompressOptions& options, CMyComPtr<IOutArchive>& outArchive,
                                   unsigned int& itemCount, ArchiveUpdateCallback* callback)
{
    options.newFiles += options.files;
    if (options.volumeSize > 0 && isPathTaken(StreamBase::volumeName(m_archiveFileName, 1))) {
        ReportError(LS_MULTIVOLUME_UPDATE, {m_archiveFileName});
        return false;
    }
    // Whatever lies at the name (an empty file, or an archive that is
    // written anew) is replaced only by the finished archive.
    if (options.volumeSize <= 0 && isPathTaken(m_archiveFileName))
        m_archiveFileName = reserveTemporaryFile(m_archiveFileName);
    if (!InitGetProc() || GetIOutArchive(SupportedFormats[options.format].clsid, &outArchive) != 0) {
        ReportError(LS_FORMAT_NOT_SUPPORTED, {});
        return false;
    }
    itemCount = static_cast<unsigned int>(options.newFiles.size());
    callback->Init(options, {}, CMyComPtr<IInArchive>(), this);
    return true;
}

bool FileArchive::prepareArchiveForUpdate_7zip(ArchiveUpdateCallback* callback, CompressOptions& options,
                                               CMyComPtr<IOutArchive>& outArchive, CMyComPtr<IInArchive>& inArchive,
                                               unsigned int& itemCount)
{
    // Refused before the archive is opened, so that no password is asked
    // for nothing.
    if (isMultiVolumeArchive(options.archivePath)) {
        ReportError(LS_MULTIVOLUME_UPDATE, {options.archivePath});
        return false;
    }
    inArchive = openArchiveAskingAgain(options.archivePath);
    if (!inArchive)
        return false;
    if (inArchive.QueryInterface(IID_IOutArchive, outArchive) != S_OK || !outArchive) {
        ReportError(LS_CANNOT_CREATE_ARCHIVING_OBJECT, {});
        return false;
    }
    UInt32 timeType = kTimeWindows;
    outArchive->GetFileTimeType(&timeType);
    prepareArchiveForUpdate(options, itemCount, timeType);
    callback->Init(options, m_items, inArchive, this);
    return true;
}

QString FileArchive::getInArchiveFilePath(const QString& filePath, const CompressOptions& options) const
{
    // Exactly the name the update callback gives a new entry, so that a
    // source meets the entry it would otherwise duplicate.
    return comparableName(ArchiveUpdateCallback::entryNameForFile(filePath, options));
}

void FileArchive::prepareArchiveForUpdate(CompressOptions& options, unsigned int& itemCount, UInt32 timeType)
{
    // An archive that is not there yet is written at its name: there is
    // nothing to lose there.
    m_archiveFileName =
        isPathTaken(options.archivePath) ? reserveTemporaryFile(options.archivePath) : options.archivePath;
    options.newFiles += options.files;

    // Every source is matched against the entries, whether the request adds
    // to the archive or names it anew: a source of an existing entry's name
    // replaces it (by the update method) instead of lying beside it.
    QHash<QString, int> entryByName;
    entryByName.reserve(m_items.size());
    for (int i = m_items.size() - 1; i >= 0; --i)
        entryByName.insert(comparableName(m_items.at(i).name), i);
    const qint64 unit = timeUnitMs(timeType);
    for (int i = options.newFiles.size() - 1; i >= 0; --i) {
        const QString& source = options.newFiles.at(i);
        const auto found = entryByName.constFind(getInArchiveFilePath(source, options));
        if (found == entryByName.cend())
            continue;
        ArchiveItemInfo& entry = m_items[found.value()];
        if (options.updateMethod == UM_ADD_AND_REPLACE) {
            entry.needsUpdate = true;
        } else {
            // Compared at the precision the archive keeps times with: a
            // file is not newer than its own entry for the digits the
            // format dropped.
            const qint64 fileTime = QFileInfo(source).lastModified().toMSecsSinceEpoch();
            entry.needsUpdate = !entry.modified.isValid() ||
                                floorDiv(entry.modified.toMSecsSinceEpoch(), unit) < floorDiv(fileTime, unit);
        }
        entry.sourcePath = source;
        options.newFiles.removeAt(i);
    }

    if (!options.itemsToDelete.isEmpty()) {
        QSet<uint32_t> doomed;
        for (int index : qAsConst(options.itemsToDelete)) {
            if (index >= 0)
                doomed.insert(static_cast<uint32_t>(index));
        }
        for (int i = m_items.size() - 1; i >= 0; --i) {
            if (doomed.contains(m_items.at(i).index))
                m_items.removeAt(i);
        }
    }

    if (options.itemToRename >= 0) {
        for (ArchiveItemInfo& entry : m_items) {
            if (entry.index != static_cast<uint64_t>(options.itemToRename))
                continue;
            const QString oldName = entry.name;
            QStringList parts = oldName.split(QLatin1Char('/'));
            parts.last() = options.newItemName;
            const QString newName = parts.join(QLatin1Char('/'));
            entry.newName = newName;
            const QString oldPrefix = oldName + QLatin1Char('/');
            for (ArchiveItemInfo& below : m_items) {
                if (below.name.startsWith(oldPrefix))
                    below.newName = newName + below.name.mid(oldName.size());
            }
            break;
        }
    }

    // "Refresh" and "Synchronize" never add new files.
    if (options.updateMethod == UM_REFRESH || options.updateMethod == UM_SYNCHRONIZE)
        options.newFiles.clear();
    itemCount = static_cast<unsigned int>(m_items.size() + options.newFiles.size());
}

bool FileArchive::setArchiveOptionsBeforeOperationStart(const CMyComPtr<IOutArchive>& outArchive,
                                                        const CompressOptions& options, ZipFormat format)
{
    CMyComPtr<ISetProperties> setter;
    if (outArchive.QueryInterface(IID_ISetProperties, setter) != S_OK || !setter) {
        ReportError(LS_CANNOT_CREATE_ARCHIVING_OBJECT, {});
        return false;
    }
    std::vector<std::wstring> names;
    std::vector<PROPVARIANT> values;
    auto add = [&](const char* name) -> PROPVARIANT& {
        names.push_back(toWideString(QString::fromLatin1(name)));
        values.push_back(PROPVARIANT{});
        return values.back();
    };
    propSetUInt32(&add("x"), options.level);
    // tar and wim have no methods and refuse the property, even empty; xz
    // refuses every method but its own.
    if (formatTakesMethod(format))
        propSetString(&add("m"), methodName(format, options.method, options.level));
    propSetUInt32(&add("mt"), std::max(1u, std::thread::hardware_concurrency()));

    std::vector<const wchar_t*> namePointers;
    for (const std::wstring& name : names)
        namePointers.push_back(name.c_str());
    const HRESULT result = setter->SetProperties(namePointers.data(), values.data(), static_cast<UInt32>(values.size()));
    for (PROPVARIANT& value : values)
        VariantClear(&value);
    if (result != S_OK) {
        ReportError(LS_CANNOT_DETERMINE_PARAMETERS, {});
        return false;
    }
    if (options.useLargePages)
        SetUseLargePages();
    return true;
}

CMyComPtr<OutStream> FileArchive::createOutputFileStream(long long volumeSize)
{
    CMyComPtr<OutStream> stream(new OutStream(this, m_archiveFileName, true, volumeSize));
    bool autoElevated = false;
    while (!stream->canBeOpened()) {
        if (resolveAccessProblem(m_archiveFileName, autoElevated) != UA_RETRY)
            return CMyComPtr<OutStream>();
    }
    UserActions::resetSkip();
    return stream;
}

void FileArchive::removeOutput(const QString& path, long long volumeSize)
{
    if (volumeSize > 0) {
        for (int number = 1;; ++number) {
            const QString volume = StreamBase::volumeName(path, number);
            if (!isPathTaken(volume))
                break;
            deleteFileGeneric(volume, false);
        }
    }
    if (isPathTaken(path))
        deleteFileGeneric(path, false);
    if (path == m_temporaryFile)
        m_temporaryFile.clear();
}

QString FileArchive::reserveTemporaryFile(const QString& archive)
{
    // Made empty at once and exclusively: from then on the name is this
    // update's own. A leftover of a killed run, or anybody else's file, is
    // skipped like any taken name, never written over or removed.
    for (;;) {
        const QString candidate = getRenameFileName(archive, QStringLiteral("_tmp%1"), false);
        const int fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        const bool taken = fd < 0 && errno == EEXIST;
        if (fd >= 0)
            ::close(fd);
        // A name this process may not make is left to the output stream,
        // which asks about it (the elevated server may make it).
        if (!taken) {
            m_temporaryFile = candidate;
            return candidate;
        }
    }
}

void FileArchive::discardTemporaryFile()
{
    if (!m_temporaryFile.isEmpty())
        removeOutput(m_temporaryFile, -1);
}

bool FileArchive::renameTempFileToTheOriginalName(const CompressOptions& options, bool durable)
{
    const QString archive = options.archivePath;
    // A new archive written under its own name replaces nothing.
    if (m_archiveFileName == archive || !isPathTaken(m_archiveFileName)) {
        m_archiveFileName = archive;
        return true;
    }

    const QString temporary = m_archiveFileName;
    // The new archive is on the disk before it takes the archive's name, and
    // takes it by one rename, which replaces the old archive in one step: a
    // crash or a power cut at any moment leaves the old archive or the new
    // one at the name, never neither and never a torn one.
    QString reason;
    if (durable && !syncPath(temporary, false, &reason)) {
        discardTemporaryFile();
        ReportError(LS_CANNOT_WRITE_FILE_BECAUSE, {archive, reason});
        m_result = E_FAIL;
        return false;
    }
    if (!renameFile(temporary, archive)) {
        discardTemporaryFile();
        ReportError(LS_CANNOT_RENAME_FILE, {temporary, archive});
        m_result = E_FAIL;
        return false;
    }
    m_temporaryFile.clear();
    m_archiveFileName = archive;
    // The folder's new entry reaches the disk too.
    if (durable)
        syncPath(QFileInfo(archive).absolutePath(), true);
    return true;
}

// --- tar inside gzip, bzip2 or xz --------------------------------------------------

bool FileArchive::compress_Xz_Bzip2_GZip(CompressOptions& options)
{
    const QString archive = options.archivePath;
    if (isMultiVolumeArchive(archive)) {
        ReportError(LS_MULTIVOLUME_UPDATE, {archive});
        return false;
    }
    // The tar is made in a folder of its own under a new name beside the
    // archive, so that no existing file is changed or removed for it; the
    // folder goes when this returns, whatever happened.
    const QString folder = QFileInfo(archive).absolutePath();
    QTemporaryDir work(folder + QStringLiteral("/.quenvar-XXXXXX"));
    if (!work.isValid()) {
        ReportError(LS_CANNOT_CREATE_FOLDER, {folder});
        return false;
    }
    // A tar has no signature: the engine knows the intermediate by its
    // name only, so that name ends with ".tar" (g.tgz gives g.tar).
    QString tarName = fileNameForArchive(QFileInfo(archive).fileName());
    if (!tarName.endsWith(QLatin1String(".tar"), Qt::CaseInsensitive))
        tarName += QStringLiteral(".tar");
    const QString tarPath = work.path() + QLatin1Char('/') + tarName;

    // Adding to an existing compressed tar: the tar it holds is updated.
    const QFileInfo existing(archive);
    if (existing.isFile() && existing.size() > 0 && !decompressSingleStream(archive, tarPath))
        return false;

    CompressOptions tar = options;
    tar.archivePath = tarPath;
    tar.format = ZF_TAR;
    tar.level = 0;
    tar.method = 0;
    tar.useLargePages = false;
    tar.password.clear();
    tar.volumeSize = -1;
    tar.newFiles.clear();
    tar.itemsToDelete.clear();
    tar.itemToRename = -1;
    m_items.clear();
    if (!updateArchive_7zip(tar, true) || !renameTempFileToTheOriginalName(tar, false))
        return false;

    CompressOptions outer = options;
    outer.format = outerFormatOf(options.format);
    outer.files = QStringList{tarPath};
    outer.newFiles.clear();
    outer.baseDirectory = work.path();
    outer.sourceBaseDirectory.clear();
    outer.archiveFolder.clear();
    outer.addToExisting = false;
    outer.itemsToDelete.clear();
    outer.itemToRename = -1;
    m_items.clear();
    return updateArchive_7zip(outer, false) && renameTempFileToTheOriginalName(outer);
}
