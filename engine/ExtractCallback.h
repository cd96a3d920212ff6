#pragma once

#include "app/CCompressOptions.h"
#include "engine/ExtractPathGuard.h"
#include "engine/MyCom.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>

#include <sys/types.h>

class FileArchive;
class OutStream;
class StreamBase;
class LinkTargetStream;

// What the engine calls back while it extracts: where each entry goes, when
// it is done, and the password.
//
// An entry whose name is free is written under that name, made exclusively
// by this extraction; one that replaces a file is written beside it under a
// hidden temporary name and moved into place only when the engine reports it
// whole. A damaged entry, a wrong password or a cancel thus never leaves a
// half-written file (its file is removed again) nor destroys the file it was
// to replace. Links stored in the archive become links; what lies below them
// is never written through them.
class ExtractCallback : public IArchiveExtractCallback,
                        public ICompressProgressInfo,
                        public ICryptoGetTextPassword,
                        public CMyUnknownImp
{
public:
    ExtractCallback() = default;
    ~ExtractCallback() override;

    void Init(IInArchive* archive, const ExtractOptions& options, const QList<ArchiveItemInfo>& entries,
              FileArchive* operation);

    HRESULT QueryInterface(REFIID iid, void** outObject) override;
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }

    HRESULT SetTotal(UInt64 total) override;
    HRESULT SetCompleted(const UInt64* completeValue) override;
    HRESULT GetStream(UInt32 index, ISequentialOutStream** outStream, Int32 askExtractMode) override;
    HRESULT PrepareOperation(Int32 askExtractMode) override;
    HRESULT SetOperationResult(Int32 result) override;
    HRESULT SetRatioInfo(const UInt64* inSize, const UInt64* outSize) override;
    HRESULT CryptoGetTextPassword(BSTR* password) override;

    // The time an entry that stores none gets (0: the time it is written).
    void setDefaultModificationTime(uint64_t ticks) { m_defaultModificationTime = ticks; }
    // Call once Extract has returned: gives the folders their times (their
    // contents would have changed them) and drops a file the engine left
    // unfinished.
    void finish();
    // Some entry was not extracted for a reason other than the user's choice.
    bool hadFailures() const { return m_failures; }
    // The folder the entries go below, ending with "/".
    QString targetDirectory() const { return m_targetDirectory; }

private:
    struct Times
    {
        uint64_t creation = 0;
        uint64_t access = 0;
        uint64_t modification = 0;
    };
    struct FolderTimes
    {
        QString path;
        Times times;
        // The mode it gets at the end (it must stay writable until then);
        // -1 for a folder that was there before: it stays as it is.
        int mode = -1;
    };

    bool getCurrentFileInfo(UInt32 index);
    HRESULT createFolder(const QString& path);
    // The folder that holds path exists (made now when needed).
    bool makeParentFolder(const QString& path);
    int openOutStream(StreamBase& stream, const QString& path);
    // Creates path for writing when nothing has that name (making its
    // folder when missing); -1 otherwise, errno telling why.
    int createExclusively(const QString& path);
    // Hands the engine a stream on fd, or on stream, for the entry.
    HRESULT handOutStream(int fd, ISequentialOutStream** outStream);
    HRESULT handOutStream(const CMyComPtr<OutStream>& stream, ISequentialOutStream** outStream);
    HRESULT finishFile();
    // The part file takes the entry's name; kGoOn, or what to return.
    HRESULT moveIntoPlace();
    HRESULT failEntry(Int32 result);
    bool createLink();
    void releaseStreams();
    void discardPartialFile();
    void resetEntry();
    void takeHardLinkData();
    // The permission bits the current entry gets.
    mode_t entryMode() const;

    ExtractOptions m_options;
    QString m_targetDirectory;
    CMyComPtr<IInArchive> m_archive;
    FileArchive* m_operation = nullptr;
    QString m_defaultName;
    ExtractPathGuard m_guard;

    // The current entry.
    QString m_entryPath;
    QString m_fullPath;
    // The file the entry's data goes to, made by this extraction: a hidden
    // part file beside the entry's name, or (m_writesInPlace) the name itself
    // when nothing had it. It goes again when the entry fails.
    QString m_partPath;
    bool m_writesInPlace = false;
    bool m_timesSet = false;
    Times m_times;
    UInt32 m_attributes = 0;
    bool m_attributesDefined = false;
    uint32_t m_posixMode = 0;
    bool m_posixModeDefined = false;
    UInt64 m_size = 0;
    bool m_sizeDefined = false;
    bool m_isDir = false;
    bool m_encrypted = false;
    bool m_isLink = false;
    QString m_linkTarget;
    QString m_hardLinkTarget;
    // Entry names of the files written so far, to where they were written.
    QHash<QString, QString> m_extractedEntries;
    bool m_infoRead = false;
    Int32 m_askMode = kExtractModeExtract;

    OutStream* m_outStream = nullptr;
    CMyComPtr<ISequentialOutStream> m_outStreamRef;
    LinkTargetStream* m_linkStream = nullptr;
    CMyComPtr<ISequentialOutStream> m_linkStreamRef;

    QList<FolderTimes> m_folderTimes;
    // Folders known to exist below the target.
    QSet<QString> m_madeFolders;
    // The folders among them that this extraction created.
    QSet<QString> m_createdFolders;
    uint64_t m_defaultModificationTime = 0;
    unsigned int m_umask = 022;
    bool m_failures = false;
};
