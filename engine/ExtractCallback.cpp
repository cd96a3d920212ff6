#include "engine/ExtractCallback.h"

#include "app/settings.h"
#include "engine/EngineErrors.h"
#include "engine/ExtractConflictHandler.h"
#include "engine/filearchive.h"
#include "engine/streams.h"
#include "engine/zipapi.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A link's target is a path; anything longer is not one.
constexpr int kMaxLinkTarget = 4096;
constexpr UInt64 kCloseInBackgroundFrom = 1024 * 1024;

// A free hidden name beside path for the data until it checked out.
QString partFileName(const QString& path)
{
    const QString stem = hiddenPartStem(path, QStringLiteral(".qvpart"));
    QString candidate = stem;
    for (int n = 1; isPathTaken(candidate); ++n)
        candidate = stem + QString::number(n);
    return candidate;
}

} // namespace

// Collects a link entry's data: the link's target.
class LinkTargetStream : public ISequentialOutStream, public CMyUnknownImp
{
public:
    HRESULT QueryInterface(REFIID iid, void** outObject) override
    {
        return answerQueryInterface(iid, outObject,
                                    {{IID_IUnknown, static_cast<ISequentialOutStream*>(this)},
                                     {IID_ISequentialOutStream, static_cast<ISequentialOutStream*>(this)}});
    }
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }

    HRESULT Write(const void* data, UInt32 size, UInt32* processedSize) override
    {
        if (processedSize)
            *processedSize = 0;
        if (m_data.size() + static_cast<qint64>(size) > kMaxLinkTarget)
            return E_FAIL;
        m_data.append(static_cast<const char*>(data), static_cast<int>(size));
        if (processedSize)
            *processedSize = size;
        return S_OK;
    }

    QByteArray data() const { return m_data; }

private:
    QByteArray m_data;
};

ExtractCallback::~ExtractCallback()
{
    releaseStreams();
    discardPartialFile();
}

void ExtractCallback::Init(IInArchive* archive, const ExtractOptions& options, const QList<ArchiveItemInfo>& entries,
                           FileArchive* operation)
{
    m_options = options;
    m_operation = operation;
    m_archive = archive;
    m_defaultName = entries.isEmpty() ? QString() : entries.first().name;

    const QString target = ExtractPathGuard::targetFor(options, entries);
    m_targetDirectory = target;
    m_guard.setRoot(target);
    m_umask = currentUmask();
}

HRESULT ExtractCallback::QueryInterface(REFIID iid, void** outObject)
{
    return answerQueryInterface(iid, outObject,
                                {{IID_IUnknown, static_cast<IArchiveExtractCallback*>(this)},
                                 {IID_IArchiveExtractCallback, static_cast<IArchiveExtractCallback*>(this)},
                                 {IID_ICompressProgressInfo, static_cast<ICompressProgressInfo*>(this)},
                                 {IID_ICryptoGetTextPassword, static_cast<ICryptoGetTextPassword*>(this)}});
}

HRESULT ExtractCallback::SetTotal(UInt64 total)
{
    return m_operation ? m_operation->SetTotal(total) : S_OK;
}

HRESULT ExtractCallback::SetCompleted(const UInt64* completeValue)
{
    return m_operation ? m_operation->SetCompleted(completeValue) : S_OK;
}

HRESULT ExtractCallback::SetRatioInfo(const UInt64* inSize, const UInt64* /*outSize*/)
{
    return m_operation ? m_operation->SetRatioInfo(inSize) : S_OK;
}

HRESULT ExtractCallback::PrepareOperation(Int32 /*askExtractMode*/)
{
    return S_OK;
}

HRESULT ExtractCallback::CryptoGetTextPassword(BSTR* password)
{
    if (!m_operation)
        return S_FALSE;
    const HRESULT result = m_operation->CryptoGetTextPassword(password);
    if (result == S_FALSE && m_outStream)
        m_outStream->Close(false);
    return result;
}

void ExtractCallback::resetEntry()
{
    m_entryPath.clear();
    m_fullPath.clear();
    m_partPath.clear();
    m_writesInPlace = false;
    m_timesSet = false;
    m_times = Times();
    m_attributes = 0;
    m_attributesDefined = false;
    m_posixMode = 0;
    m_posixModeDefined = false;
    m_size = 0;
    m_sizeDefined = false;
    m_isDir = false;
    m_encrypted = false;
    m_isLink = false;
    m_linkTarget.clear();
    m_hardLinkTarget.clear();
    m_infoRead = false;
}

bool ExtractCallback::getCurrentFileInfo(UInt32 index)
{
    {
        CPropVariant path;
        m_archive->GetProperty(index, kpidPath, &path);
        if (path.vt == VT_EMPTY) {
            m_entryPath = m_defaultName;
        } else if (path.vt == VT_BSTR) {
            m_entryPath = fromEngineString(path.bstrVal);
        } else {
            if (m_operation)
                m_operation->ReportError(LS_UNPACKER_INTERNAL_ERROR, {QStringLiteral("CArchiveExtractCallback::GetStream 1")});
            return false;
        }
    }
    {
        CPropVariant attributes;
        m_archive->GetProperty(index, kpidAttrib, &attributes);
        if (attributes.vt == VT_EMPTY) {
            m_attributes = 0;
        } else if (attributes.vt == VT_UI4) {
            m_attributes = attributes.ulVal;
            m_attributesDefined = true;
        } else {
            if (m_operation)
                m_operation->ReportError(LS_UNPACKER_INTERNAL_ERROR, {QStringLiteral("CArchiveExtractCallback::GetStream 2")});
            return false;
        }
    }
    {
        CPropVariant isDir;
        m_archive->GetProperty(index, kpidIsDir, &isDir);
        m_isDir = isDir.vt == VT_BOOL && isDir.boolVal != VARIANT_FALSE;
    }
    m_infoRead = true;
    auto readTime = [this, index](PROPID id, uint64_t* ticks) {
        CPropVariant time;
        m_archive->GetProperty(index, id, &time);
        if (time.vt == VT_FILETIME)
            *ticks = ticksFromFileTime(time.filetime);
    };
    readTime(kpidMTime, &m_times.modification);
    if (!m_times.modification)
        m_times.modification = m_defaultModificationTime;
    readTime(kpidCTime, &m_times.creation);
    readTime(kpidATime, &m_times.access);
    {
        CPropVariant size;
        m_archive->GetProperty(index, kpidSize, &size);
        if (size.vt == VT_UI8) {
            m_size = size.uhVal;
            m_sizeDefined = true;
        } else if (size.vt == VT_UI4) {
            m_size = size.ulVal;
            m_sizeDefined = true;
        }
    }
    {
        CPropVariant encrypted;
        m_archive->GetProperty(index, kpidEncrypted, &encrypted);
        m_encrypted = encrypted.vt == VT_BOOL && encrypted.boolVal != VARIANT_FALSE;
    }
    {
        CPropVariant posix;
        m_archive->GetProperty(index, kpidPosixAttrib, &posix);
        if (posix.vt == VT_UI4) {
            m_posixMode = posix.ulVal;
            m_posixModeDefined = true;
        } else if (m_attributesDefined && (m_attributes & kAttributeUnixExtension)) {
            m_posixMode = m_attributes >> 16;
            m_posixModeDefined = true;
        }
    }
    {
        CPropVariant link;
        m_archive->GetProperty(index, kpidSymLink, &link);
        if (link.vt == VT_BSTR)
            m_linkTarget = fromEngineString(link.bstrVal);
    }
    m_isLink = !m_isDir && (!m_linkTarget.isEmpty() || (m_posixModeDefined && S_ISLNK(m_posixMode)));
    if (!m_isDir && !m_isLink) {
        CPropVariant hardLink;
        m_archive->GetProperty(index, kpidHardLink, &hardLink);
        if (hardLink.vt == VT_BSTR)
            m_hardLinkTarget = fromEngineString(hardLink.bstrVal);
    }
    return true;
}

HRESULT ExtractCallback::GetStream(UInt32 index, ISequentialOutStream** outStream, Int32 askExtractMode)
{
    if (!outStream)
        return E_INVALIDARG;
    *outStream = nullptr;
    releaseStreams();
    discardPartialFile();
    resetEntry();
    // The engine goes on after S_FALSE from here (it takes it for "no
    // stream"); only E_ABORT ends the extraction.
    if (m_operation && m_operation->isCanceled())
        return E_ABORT;
    m_askMode = askExtractMode;
    if (askExtractMode == kExtractModeSkip)
        return S_OK;
    if (!getCurrentFileInfo(index))
        return S_FALSE;
    // After a decoding error the engine goes through the rest of a solid
    // block in test mode: those entries fail too and must be named.
    if (askExtractMode != kExtractModeExtract)
        return S_OK;
    CSettings::setElevated(false);
    UserActions::resetAfterSingleAction();

    QString full;
    const ExtractPathGuard::Verdict verdict = m_guard.resolve(ExtractPathGuard::relativeOutputPath(m_options, m_entryPath), &full);
    // A folder whose name is all cut away (the extracted subfolder itself)
    // is the target, which is there.
    if (verdict == ExtractPathGuard::Root && m_isDir)
        return S_OK;
    if (verdict != ExtractPathGuard::Inside) {
        m_failures = true;
        if (m_operation)
            m_operation->noteEntryProblem(LS_UNSAFE_ENTRY_NAMES, m_entryPath);
        return S_OK;
    }

    if (m_isDir) {
        // A folder where this extraction put a file or a link would lead
        // the folder's times out through the link.
        if (m_guard.isNonFolder(full)) {
            m_failures = true;
            if (m_operation)
                m_operation->noteEntryProblem(LS_UNSAFE_ENTRY_NAMES, m_entryPath);
            return S_OK;
        }
        const HRESULT made = createFolder(full);
        if (made == ExtractConflictHandler::kGoOn)
            m_fullPath = full;
        return made == ExtractConflictHandler::kGoOn ? S_OK : made;
    }

    m_guard.noteNonFolder(full);
    // The usual case: nothing has the entry's name yet. The file is made
    // there at once, exclusively (never through a link, never over a file
    // that appeared meanwhile), and is this extraction's own until the
    // entry checks out: a failed entry takes it away again. Only a name that
    // is taken goes the long way, with its question and a hidden part file.
    if (!m_isLink && m_hardLinkTarget.isEmpty() && !isElevationInForce()) {
        const int fd = createExclusively(full);
        if (fd >= 0) {
            m_fullPath = full;
            m_partPath = full;
            m_writesInPlace = true;
            return handOutStream(fd, outStream);
        }
    }

    QString path = full;
    QDateTime entryTime;
    if (m_times.modification)
        entryTime = FileTimeToQDateTime(m_times.modification);
    const int conflict = ExtractConflictHandler::handleFileExists(m_operation, path, entryTime);
    if (conflict == E_ABORT)
        return E_ABORT;
    if (conflict == ExtractConflictHandler::kSkip)
        return S_OK;
    m_guard.noteNonFolder(path);
    m_fullPath = path;

    if (m_isLink) {
        CMyComPtr<LinkTargetStream> stream(new LinkTargetStream);
        m_linkStream = stream;
        m_linkStreamRef = static_cast<ISequentialOutStream*>(stream.get());
        *outStream = static_cast<ISequentialOutStream*>(stream.Detach());
        return S_OK;
    }

    m_partPath = partFileName(path);
    CMyComPtr<OutStream> stream(new OutStream(m_operation, m_partPath, false, -1));
    // Making the file at once proves it can be written and keeps it for the
    // engine (which may write nothing to an empty entry); only when that
    // fails does the slower test with its questions run.
    if (!makeParentFolder(path) || !createFileGeneric(m_partPath)) {
        const int opened = openOutStream(*stream, path);
        if (opened != ExtractConflictHandler::kGoOn || !createFileGeneric(m_partPath)) {
            m_partPath.clear();
            m_fullPath.clear();
            return opened == ExtractConflictHandler::kGoOn ? S_OK : opened;
        }
    }
    // Nobody else reads the data while it is written: a private key stored
    // with 0600 must never lie there readable by all, not even for a moment.
    if (!isElevationInForce())
        ::chmod(QFile::encodeName(m_partPath).constData(), S_IRUSR | S_IWUSR);
    return handOutStream(stream, outStream);
}

int ExtractCallback::createExclusively(const QString& path)
{
    const QByteArray local = QFile::encodeName(path);
    // Made with the entry's own mode (the umask applied), never wider: a
    // private key stored with 0600 is never readable by others, not even
    // while it is written. The descriptor writes whatever the mode says.
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    const mode_t mode = entryMode();
    int fd = ::open(local.constData(), flags, mode);
    // The folder is made once, by the first file that goes into it.
    if (fd < 0 && errno == ENOENT && makeParentFolder(path))
        fd = ::open(local.constData(), flags, mode);
    return fd;
}

HRESULT ExtractCallback::handOutStream(int fd, ISequentialOutStream** outStream)
{
    CMyComPtr<OutStream> stream(new OutStream(m_operation, m_partPath, false, -1));
    stream->adoptOpenFile(fd);
    return handOutStream(stream, outStream);
}

HRESULT ExtractCallback::handOutStream(const CMyComPtr<OutStream>& stream, ISequentialOutStream** outStream)
{
    stream->setReportName(m_fullPath);
    if (m_sizeDefined && m_size == 0 && m_operation)
        m_operation->addEmptyFileExtracted(m_fullPath);
    m_outStream = stream;
    m_outStreamRef = static_cast<IOutStream*>(stream.get());
    CMyComPtr<OutStream> handed = stream;
    *outStream = static_cast<IOutStream*>(handed.Detach());
    return S_OK;
}

namespace {

// The folder and those of its parents that do not exist yet.
QStringList missingFolders(QString path)
{
    QStringList missing;
    while (!path.isEmpty() && !isPathTaken(path)) {
        missing << path;
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            break;
        path.truncate(slash);
    }
    return missing;
}

} // namespace

bool ExtractCallback::makeParentFolder(const QString& path)
{
    const QString parent = path.left(path.lastIndexOf(QLatin1Char('/')));
    if (m_madeFolders.contains(parent))
        return true;
    const QStringList missing = missingFolders(parent);
    if (!QDir().mkpath(parent))
        return false;
    m_madeFolders.insert(parent);
    for (const QString& folder : missing)
        m_createdFolders.insert(folder);
    return true;
}

HRESULT ExtractCallback::createFolder(const QString& path)
{
    if (m_madeFolders.contains(path) || QFileInfo(path).isDir())
        return ExtractConflictHandler::kGoOn;
    const QStringList missing = missingFolders(path);
    bool autoElevated = false;
    for (;;) {
        if (createFolderGeneric(path)) {
            m_madeFolders.insert(path);
            for (const QString& folder : missing)
                m_createdFolders.insert(folder);
            return ExtractConflictHandler::kGoOn;
        }
        if (!m_operation)
            return S_OK;
        // Skip for all leaves the folder out and goes on with the next
        // entry; only Cancel ends the extraction.
        if (UserActions::isChosenForAll(UA_SKIP)) {
            m_operation->ReportError(LS_CANNOT_CREATE_FOLDER, {path});
            return S_OK;
        }
        switch (m_operation->resolveAccessProblem(path, autoElevated)) {
        case UA_RETRY:
            break;
        case UA_SKIP:
            return S_OK;
        default:
            return E_ABORT;
        }
    }
}

int ExtractCallback::openOutStream(StreamBase& stream, const QString& path)
{
    bool autoElevated = false;
    for (;;) {
        if (stream.canBeOpened())
            return ExtractConflictHandler::kGoOn;
        if (!m_operation)
            return S_OK;
        switch (m_operation->resolveAccessProblem(path, autoElevated)) {
        case UA_RETRY:
            break;
        case UA_SKIP:
            return S_OK;
        default:
            return E_ABORT;
        }
    }
}

void ExtractCallback::releaseStreams()
{
    m_outStream = nullptr;
    m_outStreamRef.Release();
    m_linkStream = nullptr;
    m_linkStreamRef.Release();
}

void ExtractCallback::discardPartialFile()
{
    if (m_partPath.isEmpty())
        return;
    if (isPathTaken(m_partPath))
        deleteFileGeneric(m_partPath, false);
    m_partPath.clear();
}

HRESULT ExtractCallback::SetOperationResult(Int32 result)
{
    const QByteArray linkData = m_linkStream ? m_linkStream->data() : QByteArray();
    // A large file is closed in the background, where its flush does not
    // hold up the next entry; a small one costs less to close here than to
    // hand over.
    bool written = !m_outStream || !m_outStream->hasFailed();
    // A file made under its own name gets its times through the descriptor
    // it was written with, after the last write: no second lookup of the
    // name, which might no longer be this file's.
    if (written && m_writesInPlace && result == kOpResultOK && m_outStream && m_outStream->descriptor() >= 0) {
        setFileTimesTicks(m_outStream->descriptor(), m_times.access, m_times.modification);
        m_timesSet = true;
    }
    if (written && m_outStream && m_sizeDefined && m_size < kCloseInBackgroundFrom)
        written = m_outStream->Close(true);
    releaseStreams();
    // The file could not be written (the operation names it with the
    // system's reason): no damage of the archive, and nothing of it stays.
    if (!written) {
        discardPartialFile();
        m_failures = true;
        return S_OK;
    }
    if (result != kOpResultOK) {
        discardPartialFile();
        if (m_askMode == kExtractModeSkip || !m_infoRead)
            return S_OK;
        return failEntry(result);
    }
    if (!m_infoRead || m_fullPath.isEmpty())
        return S_OK;
    if (m_operation)
        m_operation->setWrongPassword(false);
    if (m_isDir) {
        const bool created = m_createdFolders.contains(m_fullPath);
        m_folderTimes.append({m_fullPath, m_times, created ? int(entryMode()) : -1});
        return S_OK;
    }
    if (m_isLink) {
        if (m_linkTarget.isEmpty())
            m_linkTarget = QFile::decodeName(linkData);
        createLink();
        return S_OK;
    }
    return finishFile();
}

HRESULT ExtractCallback::failEntry(Int32 result)
{
    if (!m_operation)
        return S_OK;
    const bool passwordProblem = result == kOpResultWrongPassword || result == kOpResultDataError ||
                                 (result == kOpResultCRCError && m_encrypted);
    if (m_operation->isPasswordUsed() && passwordProblem) {
        // The whole extraction runs again with a new password; this one ends
        // here (after S_FALSE the engine would go on).
        m_operation->setWrongPassword(true);
        return E_ABORT;
    }
    m_operation->setWrongPassword(false);
    // A cancelled password request already says why.
    if (!m_operation->passwordCanceled()) {
        m_failures = true;
        if (result == kOpResultUnsupportedMethod)
            m_operation->noteEntryProblem(LS_UNSUPPORTED_METHOD, m_entryPath);
        else
            m_operation->noteEntryProblem(LS_DAMAGED_ENTRIES,
                                          QStringLiteral("%1 (%2)").arg(m_entryPath, operationResultText(result)));
    }
    return S_OK;
}

HRESULT ExtractCallback::finishFile()
{
    // A file made under its own name is there already, with its mode.
    if (!m_writesInPlace) {
        const HRESULT moved = moveIntoPlace();
        if (moved != ExtractConflictHandler::kGoOn)
            return moved;
    }
    m_partPath.clear();
    m_extractedEntries.insert(QDir::cleanPath(m_entryPath), m_fullPath);
    if (!m_timesSet)
        setFileTimesTicks(m_fullPath, m_times.access, m_times.modification);
    if (m_operation)
        m_operation->addFileExtracted(m_fullPath);
    return S_OK;
}

HRESULT ExtractCallback::moveIntoPlace()
{
    bool autoElevated = false;
    // rename(2) takes the place of a file or a link in one step and never
    // writes through a link.
    auto rename = [this] {
        if (isElevationInForce())
            return renameFileGeneric(m_partPath, m_fullPath);
        return ::rename(QFile::encodeName(m_partPath).constData(), QFile::encodeName(m_fullPath).constData()) == 0;
    };
    if (!m_hardLinkTarget.isEmpty() && !isElevationInForce())
        takeHardLinkData();
    // The mode is right before the name is there.
    if (!isElevationInForce())
        ::chmod(QFile::encodeName(m_partPath).constData(), entryMode());
    while (!rename()) {
        const E_UserAction answer =
            m_operation ? m_operation->resolveAccessProblem(m_fullPath, autoElevated) : UA_SKIP;
        if (answer == UA_RETRY)
            continue;
        discardPartialFile();
        return answer == UA_SKIP ? S_OK : E_ABORT;
    }
    return ExtractConflictHandler::kGoOn;
}

// A hard link entry carries no data of its own: it shares its target's,
// which this extraction wrote before (the target always comes first).
void ExtractCallback::takeHardLinkData()
{
    const QString target = m_extractedEntries.value(QDir::cleanPath(m_hardLinkTarget));
    if (target.isEmpty()) {
        qDebug().noquote() << "the target of the hard link" << m_entryPath << "was not extracted:" << m_hardLinkTarget;
        return;
    }
    const QByteArray part = QFile::encodeName(m_partPath);
    ::unlink(part.constData());
    // A file system without hard links gets a copy.
    if (::link(QFile::encodeName(target).constData(), part.constData()) != 0 && !QFile::copy(target, m_partPath))
        createFileGeneric(m_partPath);
}

bool ExtractCallback::createLink()
{
    const QFileInfo existing(m_fullPath);
    if (existing.isDir() && !existing.isSymLink()) {
        m_failures = true;
        if (m_operation)
            m_operation->ReportError(LS_CANNOT_CREATE_FILE, {m_fullPath});
        return false;
    }
    QDir().mkpath(existing.path());
    // Replacing was agreed to when the path was taken; the link is new.
    if (isPathTaken(m_fullPath))
        QFile::remove(m_fullPath);
    const QByteArray target = QFile::encodeName(m_linkTarget);
    if (target.isEmpty() || ::symlink(target.constData(), QFile::encodeName(m_fullPath).constData()) != 0) {
        m_failures = true;
        if (m_operation)
            m_operation->ReportError(LS_CANNOT_CREATE_FILE, {m_fullPath});
        return false;
    }
    setFileTimesTicks(m_fullPath, m_times.access, m_times.modification);
    if (m_operation)
        m_operation->addFileExtracted(m_fullPath);
    return true;
}

mode_t ExtractCallback::entryMode() const
{
    return extractedMode(m_posixModeDefined, m_posixMode, m_isDir, m_umask);
}

void ExtractCallback::finish()
{
    releaseStreams();
    discardPartialFile();
    // Deepest first: a folder that loses its search bit would hide what lies
    // below it.
    std::stable_sort(m_folderTimes.begin(), m_folderTimes.end(), [](const FolderTimes& a, const FolderTimes& b) {
        return a.path.count(QLatin1Char('/')) > b.path.count(QLatin1Char('/'));
    });
    for (const FolderTimes& folder : qAsConst(m_folderTimes)) {
        setFileTimesTicks(folder.path, folder.times.access, folder.times.modification);
        if (folder.mode >= 0 && !isElevationInForce())
            ::chmod(QFile::encodeName(folder.path).constData(), mode_t(folder.mode));
    }
    m_folderTimes.clear();
}
