#include "engine/ArchiveUpdateCallback.h"

#include "engine/IFileArchiveCallbacksHandler.h"
#include "engine/IoFailureLog.h"
#include "engine/streams.h"
#include "engine/zipapi.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void ArchiveUpdateCallback::Init(CompressOptions options, QList<ArchiveItemInfo> entries,
                                 CMyComPtr<IInArchive> existing, IFileArchiveCallbacksHandler* operation)
{
    m_options = std::move(options);
    m_entries = std::move(entries);
    m_existing = existing;
    m_operation = operation;
    m_diskInfoIndex = 0xFFFFFFFFu;
    m_diskInfo = FileFacts();
}

HRESULT ArchiveUpdateCallback::QueryInterface(REFIID iid, void** outObject)
{
    return answerQueryInterface(iid, outObject,
                                {{IID_IUnknown, static_cast<IArchiveUpdateCallback2*>(this)},
                                 {IID_IArchiveUpdateCallback2, static_cast<IArchiveUpdateCallback2*>(this)},
                                 {IID_ICryptoGetTextPassword2, static_cast<ICryptoGetTextPassword2*>(this)},
                                 {IID_ICompressProgressInfo, static_cast<ICompressProgressInfo*>(this)}});
}

UInt32 ArchiveUpdateCallback::itemCount() const
{
    return static_cast<UInt32>(m_entries.size() + m_options.newFiles.size());
}

QString ArchiveUpdateCallback::getFullFilePathByIndex(UInt32 index) const
{
    const UInt32 existing = static_cast<UInt32>(m_entries.size());
    if (index < existing)
        return m_entries.at(static_cast<int>(index)).sourcePath;
    if (index < itemCount())
        return m_options.newFiles.at(static_cast<int>(index - existing));
    return QString();
}

QString ArchiveUpdateCallback::entryNameForFile(const QString& path, const CompressOptions& options)
{
    if (options.baseDirectory.isEmpty())
        return QFileInfo(path).absoluteFilePath();
    if (!options.addToExisting)
        return QDir(options.baseDirectory).relativeFilePath(QFileInfo(path).absoluteFilePath());
    const QString& base = options.sourceBaseDirectory.isEmpty() ? options.baseDirectory : options.sourceBaseDirectory;
    QString rest = path.mid(base.size());
    if (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    if (options.archiveFolder.isEmpty())
        return rest;
    return options.archiveFolder + QLatin1Char('/') + rest;
}

HRESULT ArchiveUpdateCallback::SetTotal(UInt64 total)
{
    return m_operation ? m_operation->SetTotal(total) : S_OK;
}

HRESULT ArchiveUpdateCallback::SetCompleted(const UInt64* completeValue)
{
    return m_operation ? m_operation->SetCompleted(completeValue) : S_OK;
}

HRESULT ArchiveUpdateCallback::SetRatioInfo(const UInt64* /*inSize*/, const UInt64* outSize)
{
    return m_operation ? m_operation->SetRatioInfo(outSize) : S_OK;
}

HRESULT ArchiveUpdateCallback::CryptoGetTextPassword2(Int32* passwordIsDefined, BSTR* password)
{
    // Without an operation nobody can give a password: the archive is written
    // without one. Failing the question would make the engine end the update.
    if (!m_operation) {
        if (passwordIsDefined)
            *passwordIsDefined = 0;
        if (password)
            *password = nullptr;
        return S_OK;
    }
    return m_operation->CryptoGetTextPassword2(passwordIsDefined, password);
}

HRESULT ArchiveUpdateCallback::GetUpdateItemInfo(UInt32 index, Int32* newData, Int32* newProps,
                                                 UInt32* indexInArchive)
{
    if (index >= itemCount())
        return E_INVALIDARG;
    const UInt32 existing = static_cast<UInt32>(m_entries.size());
    if (index < existing && !m_entries.at(static_cast<int>(index)).needsUpdate) {
        const ArchiveItemInfo& entry = m_entries.at(static_cast<int>(index));
        if (newData)
            *newData = 0;
        if (newProps)
            *newProps = entry.newName.isEmpty() ? 0 : 1;
        if (indexInArchive)
            *indexInArchive = entry.index;
        return S_OK;
    }
    if (newData)
        *newData = 1;
    if (newProps)
        *newProps = 1;
    // A replaced entry names its own item of the old archive. Its position in
    // the kept list differs from that index once earlier entries were
    // dropped, and the engine would then lose an entry of the result.
    if (indexInArchive)
        *indexInArchive = index < existing ? m_entries.at(static_cast<int>(index)).index : 0xFFFFFFFFu;
    return S_OK;
}

HRESULT ArchiveUpdateCallback::GetProperty(UInt32 index, PROPID propID, PROPVARIANT* value)
{
    if (!value || index >= itemCount())
        return E_INVALIDARG;
    if (index < static_cast<UInt32>(m_entries.size())) {
        const ArchiveItemInfo& entry = m_entries.at(static_cast<int>(index));
        if (!entry.newName.isEmpty()) {
            // A renamed entry keeps everything but its path.
            if (propID == kpidPath)
                propSetString(value, entry.newName);
            else if (m_existing)
                m_existing->GetProperty(entry.index, propID, value);
            return S_OK;
        }
    }
    if (propID == kpidIsAnti) {
        propSetBool(value, false);
        return S_OK;
    }
    return answerFromDisk(index, propID, value);
}

const FileFacts& ArchiveUpdateCallback::diskInfo(UInt32 index, const QString& path)
{
    if (m_diskInfoIndex == index)
        return m_diskInfo;
    m_diskInfoIndex = index;
    const auto scanned = m_scanned ? m_scanned->constFind(path) : QHash<QString, FileFacts>::const_iterator();
    // A chosen file or folder itself was not scanned: it may be a link,
    // which counts as what it points to.
    if (!m_scanned || scanned == m_scanned->constEnd())
        fileFactsAt(AT_FDCWD, QFile::encodeName(path).constData(), true, &m_diskInfo);
    else
        m_diskInfo = scanned.value();
    return m_diskInfo;
}

HRESULT ArchiveUpdateCallback::answerFromDisk(UInt32 index, PROPID propID, PROPVARIANT* value)
{
    const QString path = getFullFilePathByIndex(index);
    switch (propID) {
    case kpidPath:
        propSetString(value, entryNameForFile(path, m_options));
        return reportScanning(index, path) ? S_OK : E_FAIL;
    case kpidIsDir:
        propSetBool(value, S_ISDIR(diskInfo(index, path).mode));
        break;
    case kpidSize:
        propSetUInt64(value, diskInfo(index, path).size);
        break;
    case kpidAttrib:
        propSetUInt32(value, diskInfo(index, path).known ? attributesForUnixMode(diskInfo(index, path).mode) : 0);
        break;
    case kpidPosixAttrib:
        // Without it tar gives every entry the mode 0777.
        if (diskInfo(index, path).known)
            propSetUInt32(value, diskInfo(index, path).mode);
        break;
    case kpidCTime:
        propSetFileTime(value, diskInfo(index, path).creation);
        break;
    case kpidATime:
        propSetFileTime(value, diskInfo(index, path).access);
        break;
    case kpidMTime:
        propSetFileTime(value, diskInfo(index, path).modification);
        break;
    default:
        break;
    }
    return S_OK;
}

bool ArchiveUpdateCallback::reportScanning(UInt32 index, const QString& path)
{
    if (index % 300 == 0 || !m_operation)
        return true;
    if (ArchiveProgress* progress = m_operation->archiveProgress()) {
        progress->operation = AO_SCANNING;
        progress->setCurrentFile(path);
    }
    return !m_operation->isCanceled() && m_operation->pauseIfNeeded();
}

HRESULT ArchiveUpdateCallback::GetStream(UInt32 index, ISequentialInStream** inStream)
{
    if (!inStream)
        return E_INVALIDARG;
    *inStream = nullptr;
    if (index >= itemCount()) {
        if (m_operation)
            m_operation->ReportError(LS_UNPACKER_INTERNAL_ERROR,
                                     {QStringLiteral("CFileArchive::CArchiveUpdateCallback::GetStream")});
        return S_FALSE;
    }
    const QString path = getFullFilePathByIndex(index);
    if (m_operation) {
        if (ArchiveProgress* progress = m_operation->archiveProgress())
            progress->setCurrentFile(path);
    }
    // A folder has no data. Some handlers (tar) ask anyway and would leave
    // the folder out on S_FALSE.
    const FileFacts& facts = diskInfo(index, path);
    if (S_ISDIR(facts.mode))
        return S_OK;
    CMyComPtr<InStream> stream(new InStream(m_operation, path, false));
    stream->setFacts(facts);
    // A local file is opened here, once: the open that reads it answers
    // whether it can be read.
    if (stream->isElevated()) {
        if (!stream->canBeOpened())
            return S_FALSE;
    } else {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            // The file was readable when the sources were looked at. Left
            // out now, it would take its old entry with it: the update fails
            // and says why.
            if (m_operation)
                m_operation->ioFailureLog()->noteSystemError(IoFailure::Open, path, error);
            return S_FALSE;
        }
        stream->adoptOpenFile(fd);
    }
    if (m_operation)
        m_operation->SetFileIndex(index);
    *inStream = static_cast<IInStream*>(stream.Detach());
    return S_OK;
}

HRESULT ArchiveUpdateCallback::SetOperationResult(Int32 /*operationResult*/)
{
    return S_OK;
}

// Volumes are cut by the output stream itself.
HRESULT ArchiveUpdateCallback::GetVolumeSize(UInt32 /*index*/, UInt64* /*size*/)
{
    return S_OK;
}

HRESULT ArchiveUpdateCallback::GetVolumeStream(UInt32 /*index*/, ISequentialOutStream** volumeStream)
{
    if (volumeStream)
        *volumeStream = nullptr;
    return S_OK;
}
