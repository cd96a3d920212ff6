#pragma once

#include "engine/MyCom.h"
#include "fileops/utils.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

class IFileArchiveCallbacksHandler;
class IoFailureLog;

// Maps a stream position onto one file or onto a numbered series of volume
// files (name.001, name.002, ...), opens them lazily, goes through the
// elevated file server for files the user cannot reach directly, and can
// close files on a background thread so that an extraction does not wait for
// the flush of every file it writes.
//
// Every open, read, write and close is checked. A failure is never taken for
// the end of a file: the transfer fails, and the file's name with the
// system's reason goes to the operation's IoFailureLog (from the background
// closer too), which tells the user once the engine has stopped.
class StreamBase : public QObject
{
public:
    // checkVolumes: a read stream on "x.001" spans x.001, x.002, ...; a write
    // stream with a volume size above 0 writes path.001, path.002, ... of
    // that size each but the last. size is -1 for read streams.
    StreamBase(IFileArchiveCallbacksHandler* archive, QString path, bool checkVolumes, bool isInput, long long size);
    ~StreamBase() override;

    // Whether the stream's first file opens in the stream's direction.
    bool canBeOpened();
    // Closes the current file, on this thread or (immediately false) on a
    // background thread counted until the file is closed. False when closing
    // here failed (a write stream's data may not have reached the file).
    bool Close(bool immediately);
    // The name failures are reported under (the stream's file by default):
    // a file written under a hidden name is known to the user by its own.
    void setReportName(const QString& name) { m_reportName = name; }
    // An open, read, write or close of this stream failed (and was noted).
    bool hasFailed() const { return m_failed; }
    // A single-file stream takes over fd, open in its direction, as its file
    // (which is then not opened again, nor truncated when written).
    void adoptOpenFile(int fd);
    // The open file's descriptor; -1 when none is open here.
    int descriptor() const { return m_fd; }
    // The size of the file, or the sum of all existing volumes.
    long long GetTotalSize();
    // Returns when no background close is in progress; keeps the calling
    // thread's events moving meanwhile.
    static void waitForFlushFinished();
    static int flushesInProgress();
    bool isElevated() const;

    bool isMultiVolume() const { return m_isMultiVolume; }
    // The path, or for a volume series the name the numbers are appended to.
    QString fileName() const { return m_fileName; }
    long long volumeSize() const { return m_volumeSize; }
    long long position() const { return m_position; }
    // base + "." + the number with at least three digits.
    static QString volumeName(const QString& base, int number);

protected:
    // Opens the file or volume that holds the current position and seeks it
    // there; returns how many bytes may go before the end of that volume.
    long long setupFileToAccess();
    // Opens name; false (noted in the log) when it cannot be opened.
    bool openFile(const QString& name, int volume);
    HRESULT seekTo(Int64 offset, UInt32 origin, UInt64* newPosition);
    QString firstFileName() const;
    // -1 when the file does not exist.
    long long fileSize(const QString& path) const;
    bool closeFileNow();
    // The name the user knows the current file by.
    QString reportedName() const;
    void noteFailure(int kind, int errorNumber) const;

    long long m_volumeSize;
    long long m_position = 0;
    QString m_fileName;
    IFileArchiveCallbacksHandler* m_archive;
    // Bytes the elevated file server says are left; local reads leave it alone.
    int64_t m_remaining = 10000000000000000LL;
    // The open file or volume; -1 when none is open (or it failed to open).
    int m_fd = -1;
    QString m_reportName;
    std::shared_ptr<IoFailureLog> m_failures;
    long long m_fileOffset = 0;
    QString m_currentFileName;
    QSet<int> m_openedVolumes;
    int m_volumeIndex = -1;
    bool m_isInput;
    bool m_isMultiVolume = false;
    // The position lies past the last volume of a read stream: its end.
    bool m_pastLastVolume = false;
    mutable bool m_failed = false;
    bool m_checkVolumes;

    static std::atomic<int> m_startedFileFlushing;
};

// A seekable read stream over a file or a volume series.
class InStream : public IInStream,
                 public IStreamGetSize,
                 public StreamBase,
                 public IStreamGetProps,
                 public IStreamGetProps2,
                 public CMyUnknownImp
{
public:
    InStream(IFileArchiveCallbacksHandler* archive, QString path, bool checkVolumes);

    HRESULT QueryInterface(REFIID iid, void** outObject) override;
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }

    HRESULT Read(void* data, UInt32 size, UInt32* processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition) override;
    HRESULT GetSize(UInt64* size) override;
    HRESULT GetProps(UInt64* size, FILETIME* cTime, FILETIME* aTime, FILETIME* mTime, UInt32* attrib) override;
    HRESULT GetProps2(CStreamFileProps* props) override;

    // What the caller already knows of the file (the packing scan's look):
    // the engine's questions about it are answered from these.
    void setFacts(const FileFacts& facts) { m_facts = facts; }

private:
    QString currentName() const;
    // The handed-over facts, else the open file's, else the named file's.
    FileFacts currentFacts() const;

    FileFacts m_facts;
};

// A seekable write stream over a file or a volume series.
class OutStream : public IOutStream, public CMyUnknownImp, public StreamBase
{
public:
    OutStream(IFileArchiveCallbacksHandler* archive, QString path, bool checkVolumes, long long volumeSize);

    HRESULT QueryInterface(REFIID iid, void** outObject) override;
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }

    HRESULT Write(const void* data, UInt32 size, UInt32* processedSize) override;
    HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition) override;
    HRESULT SetSize(UInt64 newSize) override;
};
