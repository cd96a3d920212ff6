// The own ".qv" container's side of FileArchive: listing, extracting,
// creating and updating. Questions go out through FileArchive's signals;
// progress, pause and cancel pass through its ArchiveProgress block.
#include "engine/filearchive.h"

#include "BuiltInZipApi/zip.h"
#include "engine/ArchiveUpdateCallback.h"
#include "engine/EngineErrors.h"
#include "engine/ExtractConflictHandler.h"
#include "engine/streams.h"
#include "fileops/FileUtils.h"
#include "fileops/PasswordCache.h"
#include "fileops/utils.h"

#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <algorithm>
#include <memory>

static_assert(ExtractConflictHandler::kGoOn == ZIP_ANSWER_PROCEED && ExtractConflictHandler::kSkip == ZIP_ANSWER_SKIP &&
                  static_cast<int>(E_ABORT) == ZIP_ANSWER_ABORT,
              "the container's conflict check answers as the shared handler does");

namespace {

struct ZipCloser
{
    void operator()(zip_t* zip) const { zip_close(zip); }
};
// An archive opened for reading, closed however a step ends. Written
// archives are closed by hand: their closing can fail.
using ReadArchive = std::unique_ptr<zip_t, ZipCloser>;

constexpr qint64 kReadChunk = 1000000;
// The time kind the engine calls MS-DOS: two-second steps, as ".qv" keeps them.
constexpr UInt32 kDosTimeKind = 2;

// The open entry's name as listed: without a folder's trailing "/" and
// without the leading "/" of names stored in absolute path mode.
QString listedName(zip_t* zip, bool* isDir)
{
    const wchar_t* stored = zip_entry_name(zip);
    QString name = stored ? QString::fromWCharArray(stored) : QString();
    *isDir = zip_entry_isdir(zip) == 1 || name.endsWith(QLatin1Char('/'));
    if (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    if (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return name;
}

QString storedName(zip_t* zip)
{
    const wchar_t* stored = zip_entry_name(zip);
    return stored ? QString::fromWCharArray(stored) : QString();
}

// The disk's failure (a file and the system's reason) when the container
// layer met one, else the message of the container's own failure.
void reportContainerFailure(FileArchive* operation, LangStringID ownId, const QStringList& ownArgs,
                            const QString& failedFile, const QString& reason, bool reading)
{
    if (failedFile.isEmpty())
        operation->ReportError(ownId, ownArgs);
    else
        operation->ReportError(reading ? LS_CANNOT_READ_FILE_BECAUSE : LS_CANNOT_WRITE_FILE_BECAUSE,
                               {operation->shownName(failedFile), reason});
}

uint64_t unixToTicks(qint64 seconds)
{
    return kFileTimeUnixEpochTicks + uint64_t(std::max<qint64>(seconds, 0)) * 10000000ULL;
}

// Regular files only: a folder's size is its directory block.
qint64 sizeOfFiles(const QStringList& paths)
{
    qint64 total = 0;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile())
            total += info.size();
    }
    return total;
}

} // namespace

// --- Listing ------------------------------------------------------------------

bool FileArchive::openArchive_qv(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        const QString reason = unreadableFileReason(path);
        if (reason.isEmpty())
            ReportError(LS_CANNOT_OPEN_ARCHIVE_BECAUSE, {path, archiveErrorText(kArchiveErrorIsNotArc)});
        else
            ReportError(LS_CANNOT_OPEN_FILE_BECAUSE, {path, reason});
        return false;
    }
    m_items.clear();
    m_archiveFileName = path;
    m_formatInfo = SupportedFormats[ZF_QV];
    // An empty file holds no entries yet; it can be added to.
    if (info.size() == 0)
        return true;
    QString failedFile;
    QString reason;
    ReadArchive zip(zip_open(path, 0, 'r', -1, QString(), &failedFile, &reason));
    if (!zip) {
        reportContainerFailure(this, LS_CANNOT_OPEN_ARCHIVE_BECAUSE, {path, archiveErrorText(kArchiveErrorIsNotArc)},
                               failedFile, reason, true);
        return false;
    }
    const int count = zip_total_entries(zip.get());
    m_items.reserve(count);
    for (int i = 0; i < count; ++i) {
        // An entry whose record cannot be used is left out here; extracting
        // it names it as damaged.
        if (zip_entry_openbyindex(zip.get(), i) != 0)
            continue;
        ArchiveItemInfo item;
        item.name = listedName(zip.get(), &item.isDir);
        item.size = zip_entry_size(zip.get());
        item.modified = UnixTimeToQDateTime(uint32_t(zip_entry_time(zip.get())));
        item.index = uint32_t(i);
        zip_entry_close(zip.get());
        if (item.name.isEmpty())
            continue;
        item.isHidden = item.name.at(item.name.lastIndexOf(QLatin1Char('/')) + 1) == QLatin1Char('.');
        m_items.append(item);
    }
    return true;
}

// --- Extraction -----------------------------------------------------------------

int FileArchive::qvConflictCheck(FileArchive* operation, QString& path, const QDateTime& entryTime)
{
    const int answer = ExtractConflictHandler::handleFileExists(operation, path, entryTime);
    if (operation && answer == ExtractConflictHandler::kGoOn)
        operation->m_extractedPath = path;
    return answer;
}

QString FileArchive::currentTargetPath_custom(const ExtractOptions& options, zip_t* zip) const
{
    bool isDir = false;
    const QString name = listedName(zip, &isDir);
    QString full;
    switch (m_extractGuard.resolve(ExtractPathGuard::relativeOutputPath(options, name), &full)) {
    case ExtractPathGuard::Inside:
        // A folder where this extraction put a file would lead through it.
        return isDir && m_extractGuard.isNonFolder(full) ? QString() : full;
    case ExtractPathGuard::Root:
        // Only a folder may be the target itself (the extracted subfolder).
        return isDir ? full : QString();
    default:
        return QString();
    }
}

bool FileArchive::handlePassword_custom(zip_t* zip, bool useCache)
{
    if (!zip_entry_encrypted(zip) || !m_password.isEmpty())
        return true;
    QString password;
    bool canceled = false;
    getPass(password, canceled, useCache);
    if (canceled) {
        m_password.clear();
        return false;
    }
    zip_set_password(zip, password);
    return true;
}

uint64_t FileArchive::getTotalSizeToExtract(zip_t* zip, const QList<int>& indexes)
{
    uint64_t total = 0;
    for (int index : indexes) {
        if (zip_entry_openbyindex(zip, index) != 0)
            continue;
        total += zip_entry_size(zip);
        zip_entry_close(zip);
    }
    m_totalSizeToExtract = total;
    return total;
}

void FileArchive::extractArchive_custom(const ExtractOptions& options)
{
    const QString archive = options.archivePath;
    const QFileInfo info(archive);
    if (!openArchive_qv(archive)) {
        m_result = E_FAIL;
        return;
    }
    if (info.size() == 0)
        return;
    const QDateTime created = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
    m_archiveCreationTime = created.toSecsSinceEpoch();

    QString failedFile;
    QString reason;
    ReadArchive zip(zip_open(archive, 0, 'r', -1, m_password, &failedFile, &reason));
    if (!zip) {
        reportContainerFailure(this, LS_CANNOT_OPEN_ARCHIVE_BECAUSE, {archive, archiveErrorText(kArchiveErrorIsNotArc)},
                               failedFile, reason, true);
        m_result = E_FAIL;
        return;
    }
    const int count = zip_total_entries(zip.get());
    QList<int> indexes;
    for (int index : options.itemIndexes) {
        if (index >= 0 && index < count)
            indexes << index;
    }
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (options.itemIndexes.isEmpty()) {
        for (int i = 0; i < count; ++i)
            indexes << i;
    }
    getTotalSizeToExtract(zip.get(), indexes);
    if (m_progress) {
        m_progress->operation = AO_EXTRACTING;
        m_progress->total = m_totalSizeToExtract;
        m_progress->completed = 0;
    }
    m_extractGuard.setRoot(ExtractPathGuard::targetFor(options, m_items));
    zip_set_conflict_check(&FileArchive::qvConflictCheck);

    struct FolderTime
    {
        QString path;
        qint64 time;
    };
    QVector<FolderTime> folders;
    // After a refused password the cache cannot help: the user is asked.
    bool askUser = false;
    // Entries of one folder follow each other: its chain is made once.
    QString madeFolder;
    for (int k = 0; k < indexes.size() && !isCanceled(); ++k) {
        const int index = indexes.at(k);
        if (!askUser)
            UserActions::resetAfterSingleAction();
        if (zip_entry_openbyindex(zip.get(), index) != 0) {
            noteEntryProblem(LS_DAMAGED_ENTRIES, QStringLiteral("#%1").arg(index));
            continue;
        }
        const QString name = storedName(zip.get());
        bool isDir = false;
        listedName(zip.get(), &isDir);
        const QString destination = currentTargetPath_custom(options, zip.get());
        if (destination.isEmpty()) {
            noteEntryProblem(LS_UNSAFE_ENTRY_NAMES, name);
            zip_entry_close(zip.get());
            continue;
        }
        if (isDir) {
            if (QDir().mkpath(destination))
                folders.append({destination, zip_entry_time(zip.get())});
            else
                noteEntryProblem(LS_CANNOT_WRITE_ENTRIES, name);
            zip_entry_close(zip.get());
            continue;
        }
        m_extractGuard.noteNonFolder(destination);
        const QFileInfo existing(destination);
        if (existing.isDir() && !existing.isSymLink()) {
            noteEntryProblem(LS_CANNOT_WRITE_ENTRIES, name);
            zip_entry_close(zip.get());
            continue;
        }
        if (QFileInfo(destination).path() != madeFolder)
            madeFolder = makeDirectoryForFile(destination);
        if (!handlePassword_custom(zip.get(), !askUser)) {
            m_passwordCanceled = true;
            break;
        }
        m_extractedPath = destination;
        if (m_progress)
            m_progress->setCurrentFile(name);
        const int result = zip_entry_fread(zip.get(), destination, this, m_progress);
        const ZipError error = zip_last_error(zip.get());
        const QString failedFile = zip_last_failed_file(zip.get());
        const QString failureReason = zip_last_failure_reason(zip.get());
        const bool encrypted = zip_entry_encrypted(zip.get());
        zip_entry_close(zip.get());
        askUser = false;
        if (result == 0) {
            m_extractGuard.noteNonFolder(m_extractedPath);
            addFileExtracted(m_extractedPath);
            if (encrypted)
                setPasswordInTheCache(archive, m_password);
        } else if (result == ZIP_ANSWER_ABORT || (result == -1 && error == ZIP_ECANCELED)) {
            m_result = E_ABORT;
            break;
        } else if (result == -1 && encrypted && error == ZIP_EDATA) {
            // Taken for a wrong password: forgotten, and the same entry asks
            // for another. Only the user can end this, by cancelling.
            m_password.clear();
            zip_set_password(zip.get(), QString());
            askUser = true;
            --k;
        } else if (result != ZIP_ANSWER_SKIP && !failedFile.isEmpty()) {
            // The disk failed, not the archive: the file and the reason.
            noteIoFailure(error == ZIP_EREAD ? IoFailure::Read : IoFailure::Write, failedFile, failureReason);
        } else if (result != ZIP_ANSWER_SKIP) {
            noteEntryProblem(error == ZIP_EWRITE ? LS_CANNOT_WRITE_ENTRIES : LS_DAMAGED_ENTRIES, name);
        }
    }
    zip.reset();
    // Deepest last in the archive, so set last to first: filling a folder
    // changes its time.
    const uint64_t access = unixToTicks(m_archiveCreationTime);
    for (int i = folders.size() - 1; i >= 0; --i)
        setFileTimesTicks(folders.at(i).path, access, unixToTicks(folders.at(i).time));
    if (m_result == 0 && isCanceled())
        m_result = E_ABORT;
}

// --- Creating and updating --------------------------------------------------------

void FileArchive::updateArchive_custom(CompressOptions& options)
{
    const QString archive = options.archivePath;
    // Every size below 0 means one file; 0 and sizes past the format's field
    // cannot be split by (the volume routing divides by the size).
    if (options.volumeSize < 0)
        options.volumeSize = -1;
    if (!zip_is_valid_volume_size(options.volumeSize)) {
        ReportError(LS_INVALID_VOLUME_SIZE, {QString::number(options.volumeSize)});
        m_result = E_INVALIDARG;
        return;
    }
    const QFileInfo existing(archive);
    const bool exists = existing.exists() || existing.isSymLink();
    // The archive is written anew beside itself as one file: split archives
    // cannot be updated, and an existing archive cannot become one.
    if (isMultiVolumeArchive(archive) ||
        (options.volumeSize > 0 && (exists || QFileInfo::exists(StreamBase::volumeName(archive, 1))))) {
        ReportError(LS_MULTIVOLUME_UPDATE, {archive});
        m_result = E_FAIL;
        return;
    }
    m_items.clear();
    if (exists && !openArchive_qv(archive)) {
        m_result = E_FAIL;
        return;
    }
    unsigned int itemCount = 0;
    prepareArchiveForUpdate(options, itemCount, kDosTimeKind);
    m_sourcePasswords.clear();
    for (const QString& candidate : {getPasswordFromCache(archive), options.password}) {
        if (!candidate.isEmpty() && !m_sourcePasswords.contains(candidate))
            m_sourcePasswords << candidate;
    }
    if (!zip_updateArchive(options, m_items, this) && m_result == 0)
        m_result = isCanceled() ? E_ABORT : E_FAIL;
}

bool FileArchive::nextSourcePassword(QString& password)
{
    if (!m_sourcePasswords.isEmpty()) {
        password = m_sourcePasswords.takeFirst();
        return true;
    }
    bool canceled = false;
    getPass(password, canceled, false);
    if (canceled) {
        m_passwordCanceled = true;
        return false;
    }
    return true;
}

bool zip_updateArchive(CompressOptions options, QList<ArchiveItemInfo> items, FileArchive* operation)
{
    operation->m_totalSizeProcessed = 0;
    const QString target =
        zip_copyItemsThatDidntChange(options.archivePath, operation->m_archiveFileName, items, operation);
    if (target.isEmpty())
        return false;
    for (const ArchiveItemInfo& item : qAsConst(items)) {
        if (item.needsUpdate)
            options.newFiles << item.sourcePath;
    }
    // A new archive is made even when nothing is left to put in it.
    if (options.newFiles.isEmpty() && QFileInfo::exists(target))
        return true;
    if (zip_addFilesFromDisk(target, options, operation))
        return true;
    operation->removeOutput(target, options.volumeSize);
    return false;
}

QString zip_copyItemsThatDidntChange(const QString& archivePath, const QString& target,
                                     const QList<ArchiveItemInfo>& items, FileArchive* operation)
{
    if (!QFileInfo::exists(archivePath))
        return archivePath;
    QList<const ArchiveItemInfo*> kept;
    for (const ArchiveItemInfo& item : items) {
        if (!item.needsUpdate)
            kept << &item;
    }
    ReadArchive source;
    QString failedFile;
    QString reason;
    if (!kept.isEmpty()) {
        source.reset(zip_open(archivePath, 0, 'r', -1, QString(), &failedFile, &reason));
        if (!source) {
            reportContainerFailure(operation, LS_CANNOT_OPEN_ARCHIVE_BECAUSE,
                                   {archivePath, archiveErrorText(kArchiveErrorIsNotArc)}, failedFile, reason, true);
            return QString();
        }
    }
    zip_t* copy = zip_open(target, 6, 'w', -1, QString(), &failedFile, &reason);
    if (!copy) {
        reportContainerFailure(operation, LS_CANNOT_CREATE_FILE, {target}, failedFile, reason, false);
        return QString();
    }
    ArchiveProgress* progress = operation->archiveProgress();
    bool copied = true;
    for (const ArchiveItemInfo* item : qAsConst(kept)) {
        if (progress) {
            progress->operation = AO_COMPRESSING;
            progress->setCurrentFile(item->name);
        }
        if (!operation->pauseIfNeeded() || operation->isCanceled()) {
            copied = false;
            break;
        }
        // Scrambled data that moves needs the archive's password: asked
        // for until it is right or the user cancels. A failed copy leaves
        // the target as it was, so the same entry is simply tried again.
        for (;;) {
            copied = mz_zip_writer_add_from_zip_reader(copy, source.get(), int(item->index), item->newName, item->isDir);
            const ZipError error = zip_last_error(copy);
            if (copied || (error != ZIP_EPASSWORD && error != ZIP_EDATA))
                break;
            QString password;
            if (!operation->nextSourcePassword(password))
                break;
            zip_set_password(source.get(), password);
        }
        if (!copied) {
            if (!operation->userCanceledUpdate())
                reportContainerFailure(operation, LS_CANNOT_WRITE_ARCHIVE, {archivePath}, zip_last_failed_file(copy),
                                       zip_last_failure_reason(copy), zip_last_error(copy) == ZIP_EREAD);
            break;
        }
    }
    if (zip_close(copy, &failedFile, &reason) != 0 && copied) {
        reportContainerFailure(operation, LS_CANNOT_WRITE_ARCHIVE, {archivePath}, failedFile, reason, false);
        copied = false;
    }
    if (!copied) {
        operation->removeOutput(target, -1);
        return QString();
    }
    return target;
}

bool zip_addFilesFromDisk(const QString& target, const CompressOptions& options, FileArchive* operation)
{
    if (ArchiveProgress* progress = operation->archiveProgress()) {
        progress->operation = AO_COMPRESSING;
        progress->total = uint64_t(sizeOfFiles(options.newFiles));
        progress->completed = 0;
    }
    const bool append = QFileInfo::exists(target);
    // Whatever level was asked for, entries are deflated at 6.
    QString failedFile;
    QString reason;
    zip_t* zip = zip_open(target, 6, append ? 'a' : 'w', append ? -1 : options.volumeSize, options.password,
                          &failedFile, &reason);
    if (!zip) {
        reportContainerFailure(operation, LS_CANNOT_CREATE_FILE, {target}, failedFile, reason, append);
        return false;
    }
    bool written = true;
    for (const QString& file : options.newFiles) {
        QString path = file;
        if (QFileInfo(path).isDir() && !path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        if (!writeFileToZipArchive(zip, path, options, operation)) {
            written = false;
            break;
        }
    }
    if (zip_close(zip, &failedFile, &reason) != 0 && written) {
        reportContainerFailure(operation, LS_CANNOT_WRITE_ARCHIVE, {options.archivePath}, failedFile, reason, false);
        written = false;
    }
    return written;
}

bool writeFileToZipArchive(zip_t* zip, const QString& path, const CompressOptions& options, FileArchive* operation)
{
    const bool isDir = path.endsWith(QLatin1Char('/'));
    const QString diskPath = isDir ? path.left(path.size() - 1) : path;
    // The name the engine's update would give it, so that a later update
    // finds the entry it replaces.
    QString name = ArchiveUpdateCallback::entryNameForFile(diskPath, options);
    if (isDir)
        name += QLatin1Char('/');

    QFile file(diskPath);
    if (!isDir) {
        // A file that cannot be read is asked about, never stored empty.
        bool autoElevated = false;
        while (!file.open(QIODevice::ReadOnly)) {
            const E_UserAction answer = operation->resolveAccessProblem(diskPath, autoElevated);
            if (answer == UA_SKIP)
                return true;
            if (answer != UA_RETRY) {
                operation->m_result = E_ABORT;
                return false;
            }
        }
    }
    auto writeFailed = [&] {
        reportContainerFailure(operation, LS_CANNOT_WRITE_ARCHIVE, {options.archivePath}, zip_last_failed_file(zip),
                               zip_last_failure_reason(zip), false);
        return false;
    };
    const std::wstring wide = name.toStdWString();
    if (zip_entry_open_last_access(zip, wide.c_str(), QFileInfo(diskPath).lastModified().toSecsSinceEpoch()) != 0)
        return writeFailed();
    ArchiveProgress* progress = operation->archiveProgress();
    if (!isDir) {
        QByteArray buffer(int(std::min(std::max(file.size(), qint64(1)), kReadChunk)), Qt::Uninitialized);
        for (;;) {
            const qint64 count = file.read(buffer.data(), buffer.size());
            if (count == 0)
                break;
            // Never the end of the file: the entry would hold it cut short.
            if (count < 0) {
                operation->ReportError(LS_CANNOT_READ_FILE_BECAUSE, {diskPath, file.errorString()});
                return false;
            }
            if (zip_entry_write(zip, buffer.constData(), size_t(count)) != 0)
                return writeFailed();
            operation->m_totalSizeProcessed += count;
            if (progress) {
                progress->operation = AO_COMPRESSING;
                progress->completed = uint64_t(operation->m_totalSizeProcessed);
                progress->setCurrentFile(diskPath);
                progress->compressedSize = uint64_t(zip_getArchiveSize(zip));
            }
            if (!operation->pauseIfNeeded() || operation->isCanceled()) {
                operation->m_result = E_ABORT;
                return false;
            }
        }
    }
    if (zip_entry_close(zip) != 0)
        return writeFailed();
    return true;
}
