#include "engine/streams.h"

#include "app/settings.h"
#include "engine/IFileArchiveCallbacksHandler.h"
#include "engine/IoFailureLog.h"
#include "fileops/ElevatedAccess.h"
#include "fileops/FileUtils.h"
#include "fileops/utils.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

#include <sys/stat.h>

std::atomic<int> StreamBase::m_startedFileFlushing{0};

namespace {
// Background closes; at exit the pool waits for those still running, so no
// flush is cut short.
QThreadPool* closerPool()
{
    static QThreadPool pool;
    return &pool;
}

// close(2) once: after EINTR the descriptor is gone on Linux, and a second
// call could close one that another thread has just been given.
int closeOnce(int fd)
{
    const int result = ::close(fd);
    return result != 0 && errno == EINTR ? 0 : result;
}
} // namespace

StreamBase::StreamBase(IFileArchiveCallbacksHandler* archive, QString path, bool checkVolumes, bool isInput,
                       long long size)
    : m_volumeSize(size)
    , m_fileName(std::move(path))
    , m_archive(archive)
    , m_failures(archive ? archive->ioFailureLog() : nullptr)
    , m_isInput(isInput)
    , m_checkVolumes(checkVolumes)
{
    if (!m_checkVolumes)
        return;
    if (m_isInput) {
        if (QFileInfo(m_fileName).suffix() == QLatin1String("001")) {
            // Every volume but the last has the size of the first.
            const long long firstVolume = fileSize(m_fileName);
            if (firstVolume > 0) {
                m_isMultiVolume = true;
                m_volumeSize = firstVolume;
                m_fileName.chop(4);
            }
        }
    } else if (m_volumeSize > 0) {
        m_isMultiVolume = true;
    }
}

StreamBase::~StreamBase()
{
    Close(false);
}

QString StreamBase::volumeName(const QString& base, int number)
{
    return base + QLatin1Char('.') + QString::number(number).rightJustified(3, QLatin1Char('0'));
}

QString StreamBase::firstFileName() const
{
    return m_isMultiVolume ? volumeName(m_fileName, 1) : m_fileName;
}

bool StreamBase::isElevated() const
{
    return CSettings::isElevated() || (m_archive && m_archive->isElevatedFile(m_fileName));
}

long long StreamBase::fileSize(const QString& path) const
{
    if (isElevated())
        return ElevatedAccess::size(path);
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

bool StreamBase::canBeOpened()
{
    const QString name = firstFileName();
    if (isElevated())
        return ElevatedAccess::canFileBeOpened(name, m_isInput);
    return canFileBeOpened(name, m_isInput);
}

long long StreamBase::GetTotalSize()
{
    if (!m_isMultiVolume)
        return std::max(0LL, fileSize(m_fileName));
    long long total = 0;
    for (int number = 1; number <= 10000; ++number) {
        const long long size = fileSize(volumeName(m_fileName, number));
        if (size < 0)
            break;
        total += size;
    }
    return total;
}

QString StreamBase::reportedName() const
{
    if (!m_reportName.isEmpty())
        return m_reportName;
    return m_currentFileName.isEmpty() ? firstFileName() : m_currentFileName;
}

void StreamBase::noteFailure(int kind, int errorNumber) const
{
    m_failed = true;
    if (m_failures)
        m_failures->noteSystemError(IoFailure::Kind(kind), reportedName(), errorNumber);
}

bool StreamBase::closeFileNow()
{
    if (m_fd < 0)
        return true;
    const bool closed = closeOnce(m_fd) == 0;
    const int error = errno;
    m_fd = -1;
    // A read-only file loses nothing when its closing fails.
    if (!closed && !m_isInput)
        noteFailure(IoFailure::Close, error);
    return closed || m_isInput;
}

void StreamBase::adoptOpenFile(int fd)
{
    closeFileNow();
    m_fd = fd;
    m_volumeIndex = 1;
    m_openedVolumes.insert(1);
    m_currentFileName = m_fileName;
}

bool StreamBase::openFile(const QString& name, int volume)
{
    closeFileNow();
    m_currentFileName = name;
    m_volumeIndex = volume;
    // The engine comes back to earlier volumes to finish their headers; only
    // the first opening of a volume may truncate it.
    const bool firstOpening = !m_openedVolumes.contains(volume);
    m_openedVolumes.insert(volume);
    if (isElevated())
        return true; // the elevated file server does the transfers
    const QByteArray local = QFile::encodeName(name);
    // Plain descriptors: no buffer of our own that could hide a failed write
    // until a flush nobody checks, and errno is the system's own reason.
    if (m_isInput)
        m_fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC);
    else
        m_fd = ::open(local.constData(), O_RDWR | O_CREAT | O_CLOEXEC | (firstOpening ? O_TRUNC : 0), 0666);
    m_pastLastVolume = m_fd < 0 && errno == ENOENT && m_isInput && m_isMultiVolume && volume > 1;
    if (m_fd < 0 && !m_pastLastVolume)
        noteFailure(IoFailure::Open, errno);
    return m_fd >= 0;
}

long long StreamBase::setupFileToAccess()
{
    long long limit = std::numeric_limits<long long>::max();
    if (!m_isMultiVolume) {
        if (m_volumeIndex != 1)
            openFile(m_fileName, 1);
        m_fileOffset = m_position;
    } else {
        const int volume = static_cast<int>(m_position / m_volumeSize + 1);
        if (volume != m_volumeIndex)
            openFile(volumeName(m_fileName, volume), volume);
        m_fileOffset = m_position % m_volumeSize;
        limit = volume * m_volumeSize - m_position;
    }
    return limit;
}

HRESULT StreamBase::seekTo(Int64 offset, UInt32 origin, UInt64* newPosition)
{
    long long base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = m_position;
        break;
    case STREAM_SEEK_END:
        base = GetTotalSize();
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    long long target = 0;
    if (__builtin_add_overflow(base, offset, &target))
        return E_INVALIDARG;
    // A position before the start would address volume 0 or a negative
    // file offset.
    if (target < 0)
        return HRESULT_WIN32_ERROR_NEGATIVE_SEEK;
    m_position = target;
    setupFileToAccess();
    if (newPosition)
        *newPosition = static_cast<UInt64>(m_position);
    return S_OK;
}

bool StreamBase::Close(bool immediately)
{
    m_volumeIndex = -1;
    if (m_fd < 0)
        return true;
    // Closing a file that was only read flushes nothing: handing it over
    // would cost more than it saves.
    if (immediately || m_isInput)
        return closeFileNow();
    const int fd = m_fd;
    m_fd = -1;
    // Counted before the hand-over, so that a waiter cannot miss it.
    ++m_startedFileFlushing;
    std::shared_ptr<IoFailureLog> failures = m_isInput ? nullptr : m_failures;
    const QString name = reportedName();
    closerPool()->start([fd, failures, name] {
        // A network file system reports data it could not store here.
        if (closeOnce(fd) != 0 && failures)
            failures->noteSystemError(IoFailure::Close, name, errno);
        --m_startedFileFlushing;
    });
    return true;
}

void StreamBase::waitForFlushFinished()
{
    while (m_startedFileFlushing.load() > 0) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
}

int StreamBase::flushesInProgress()
{
    return m_startedFileFlushing.load();
}

// --- InStream ---------------------------------------------------------------

InStream::InStream(IFileArchiveCallbacksHandler* archive, QString path, bool checkVolumes)
    : StreamBase(archive, std::move(path), checkVolumes, true, -1)
{
}

HRESULT InStream::QueryInterface(REFIID iid, void** outObject)
{
    return answerQueryInterface(iid, outObject,
                                {{IID_IUnknown, static_cast<IInStream*>(this)},
                                 {IID_IInStream, static_cast<IInStream*>(this)},
                                 {IID_IStreamGetSize, static_cast<IStreamGetSize*>(this)},
                                 {IID_IStreamGetProps, static_cast<IStreamGetProps*>(this)},
                                 {IID_IStreamGetProps2, static_cast<IStreamGetProps2*>(this)}});
}

HRESULT InStream::Read(void* data, UInt32 size, UInt32* processedSize)
{
    if (processedSize)
        *processedSize = 0;
    if (size == 0 || m_remaining < 1)
        return S_OK;
    char* destination = static_cast<char*>(data);
    long long left = size;
    UInt32 done = 0;
    while (left > 0) {
        const long long chunk = std::min(left, setupFileToAccess());
        long long count = -1;
        if (isElevated()) {
            count = ElevatedAccess::read(m_currentFileName, destination, m_fileOffset, chunk, &m_remaining);
            if (count < 0) {
                m_failed = true;
                if (m_failures)
                    m_failures->note(IoFailure::Read, reportedName(), elevatedServerFailureText());
                return E_FAIL;
            }
        } else {
            if (m_fd < 0 && m_pastLastVolume)
                break;
            if (m_fd < 0)
                return E_FAIL; // the open failed and was noted
            do {
                count = ::pread(m_fd, destination, size_t(chunk), m_fileOffset);
            } while (count < 0 && errno == EINTR);
            // Never the end of the file: the engine would take what came
            // so far for the whole file.
            if (count < 0) {
                noteFailure(IoFailure::Read, errno);
                return E_FAIL;
            }
        }
        if (count == 0)
            break;
        done += static_cast<UInt32>(count);
        m_position += count;
        left -= count;
        destination += count;
        if (processedSize)
            *processedSize = done;
        // Less than asked is the end of this file or volume: the engine asks
        // again when it wants more, and a further read here would be one
        // system call per file that only finds the end.
        if (m_remaining < 1 || count < chunk)
            break;
    }
    return S_OK;
}

HRESULT InStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition)
{
    return seekTo(offset, seekOrigin, newPosition);
}

HRESULT InStream::GetSize(UInt64* size)
{
    if (size)
        *size = static_cast<UInt64>(GetTotalSize());
    return S_OK;
}

QString InStream::currentName() const
{
    return m_volumeIndex != -1 ? m_currentFileName : firstFileName();
}

FileFacts InStream::currentFacts() const
{
    if (m_facts.known)
        return m_facts;
    FileFacts facts;
    const QString name = currentName();
    if (isElevated()) {
        // A file read through the elevated server has no mode to tell here.
        getFileTimes(name, &facts.creation, &facts.access, &facts.modification);
        facts.size = static_cast<uint64_t>(std::max(0LL, fileSize(name)));
        return facts;
    }
    if (m_fd < 0 || !fileFactsOf(m_fd, &facts))
        fileFactsAt(AT_FDCWD, QFile::encodeName(name).constData(), true, &facts);
    return facts;
}

HRESULT InStream::GetProps(UInt64* size, FILETIME* cTime, FILETIME* aTime, FILETIME* mTime, UInt32* attrib)
{
    const FileFacts facts = currentFacts();
    if (size)
        *size = facts.size;
    if (cTime)
        *cTime = fileTimeFromTicks(facts.creation);
    if (aTime)
        *aTime = fileTimeFromTicks(facts.access);
    if (mTime)
        *mTime = fileTimeFromTicks(facts.modification);
    // The engine takes these over the update callback's: the same answer.
    if (attrib)
        *attrib = facts.known ? attributesForUnixMode(facts.mode) : 0;
    return S_OK;
}

HRESULT InStream::GetProps2(CStreamFileProps* props)
{
    if (!props)
        return E_INVALIDARG;
    const FileFacts facts = currentFacts();
    props->Size = facts.size;
    props->VolID = 0;
    props->FileID_Low = 0;
    props->FileID_High = 0;
    props->NumLinks = 0;
    props->Attrib = facts.known ? attributesForUnixMode(facts.mode) : 0;
    props->CTime = fileTimeFromTicks(facts.creation);
    props->ATime = fileTimeFromTicks(facts.access);
    props->MTime = fileTimeFromTicks(facts.modification);
    return S_OK;
}

// --- OutStream --------------------------------------------------------------

OutStream::OutStream(IFileArchiveCallbacksHandler* archive, QString path, bool checkVolumes, long long volumeSize)
    : StreamBase(archive, std::move(path), checkVolumes, false, volumeSize)
{
}

HRESULT OutStream::QueryInterface(REFIID iid, void** outObject)
{
    return answerQueryInterface(iid, outObject,
                                {{IID_IUnknown, static_cast<IOutStream*>(this)},
                                 {IID_IOutStream, static_cast<IOutStream*>(this)}});
}

HRESULT OutStream::Write(const void* data, UInt32 size, UInt32* processedSize)
{
    if (processedSize)
        *processedSize = 0;
    if (size == 0)
        return S_OK;
    const char* source = static_cast<const char*>(data);
    long long left = size;
    UInt32 done = 0;
    while (left > 0) {
        const long long chunk = std::min(left, setupFileToAccess());
        long long count = -1;
        if (isElevated()) {
            count = ElevatedAccess::write(m_currentFileName, source, m_fileOffset, chunk);
            if (count <= 0) {
                m_failed = true;
                if (m_failures)
                    m_failures->note(IoFailure::Write, reportedName(), elevatedServerFailureText());
            }
        } else if (m_fd >= 0) {
            do {
                count = ::pwrite(m_fd, source, size_t(chunk), m_fileOffset);
            } while (count < 0 && errno == EINTR);
            // Nothing written counts as a failure too: trying again would
            // loop for ever.
            if (count <= 0)
                noteFailure(IoFailure::Write, count < 0 ? errno : ENOSPC);
        }
        if (count <= 0) {
            if (processedSize)
                *processedSize = done;
            return E_FAIL;
        }
        done += static_cast<UInt32>(count);
        m_position += count;
        left -= count;
        source += count;
    }
    if (processedSize)
        *processedSize = done;
    return S_OK;
}

HRESULT OutStream::Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition)
{
    return seekTo(offset, seekOrigin, newPosition);
}

HRESULT OutStream::SetSize(UInt64 /*newSize*/)
{
    return S_OK;
}
