#pragma once

#include "app/CCompressOptions.h"
#include "engine/MyCom.h"
#include "fileops/utils.h"

#include <QHash>
#include <QList>
#include <QString>

class IFileArchiveCallbacksHandler;

// What the engine calls back while it writes an archive: the items of the new
// archive with their properties and data, progress and the password.
//
// The engine addresses the items as 0 ... N-1 with N = the kept entries of
// the existing archive followed by the options' newFiles.
class ArchiveUpdateCallback : public IArchiveUpdateCallback2,
                              public ICompressProgressInfo,
                              public ICryptoGetTextPassword2,
                              public CMyUnknownImp
{
public:
    ArchiveUpdateCallback() = default;

    // Copies all four; operation may be null (progress then succeeds and no
    // password is given).
    void Init(CompressOptions options, QList<ArchiveItemInfo> entries, CMyComPtr<IInArchive> existing,
              IFileArchiveCallbacksHandler* operation);

    HRESULT QueryInterface(REFIID iid, void** outObject) override;
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }

    HRESULT SetTotal(UInt64 total) override;
    HRESULT SetCompleted(const UInt64* completeValue) override;
    HRESULT GetUpdateItemInfo(UInt32 index, Int32* newData, Int32* newProps, UInt32* indexInArchive) override;
    HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT* value) override;
    HRESULT GetStream(UInt32 index, ISequentialInStream** inStream) override;
    HRESULT SetOperationResult(Int32 operationResult) override;
    HRESULT GetVolumeSize(UInt32 index, UInt64* size) override;
    HRESULT GetVolumeStream(UInt32 index, ISequentialOutStream** volumeStream) override;
    HRESULT SetRatioInfo(const UInt64* inSize, const UInt64* outSize) override;
    HRESULT CryptoGetTextPassword2(Int32* passwordIsDefined, BSTR* password) override;

    // N: kept entries plus new files.
    UInt32 itemCount() const;
    // What the scan of the sources saw of the files below the chosen
    // folders, by path; kept by the caller for the whole update. A file
    // found there is not looked at again.
    void setScannedFacts(const QHash<QString, FileFacts>* facts) { m_scanned = facts; }
    // The file on disk that supplies item index.
    QString getFullFilePathByIndex(UInt32 index) const;
    // The name inside the archive of a file on disk, by the options.
    static QString entryNameForFile(const QString& path, const CompressOptions& options);

private:
    HRESULT answerFromDisk(UInt32 index, PROPID propID, PROPVARIANT* value);
    // The scanning step of the progress; false when the operation must stop.
    bool reportScanning(UInt32 index, const QString& path);

    // What the disk says of one item's file. The engine asks an item's
    // properties one after another; one look at the disk (or the scan's)
    // answers them all.
    const FileFacts& diskInfo(UInt32 index, const QString& path);

    CompressOptions m_options;
    QList<ArchiveItemInfo> m_entries;
    CMyComPtr<IInArchive> m_existing;
    IFileArchiveCallbacksHandler* m_operation = nullptr;
    const QHash<QString, FileFacts>* m_scanned = nullptr;
    UInt32 m_diskInfoIndex = 0xFFFFFFFFu;
    FileFacts m_diskInfo;
};
