#pragma once

// A small stand-in for the running archive operation, and helpers that drive
// the real engine through the program's streams and callbacks.

#include "engine/ArchiveOpenCallback.h"
#include "engine/ArchiveUpdateCallback.h"
#include "engine/IFileArchiveCallbacksHandler.h"
#include "engine/IoFailureLog.h"
#include "engine/streams.h"
#include "engine/zipapi.h"

#include <QCoreApplication>
#include <QSet>
#include <QThread>

// Answers as an operation without a password, that records the errors it is
// given and can be paused, cancelled or told which files are elevated.
class TestOperation final : public IFileArchiveCallbacksHandler
{
public:
    HRESULT CryptoGetTextPassword2(int* passwordIsDefined, wchar_t**) override
    {
        *passwordIsDefined = 0;
        return S_OK;
    }
    HRESULT CryptoGetTextPassword(wchar_t**) override { return S_FALSE; }
    HRESULT SetRatioInfo(const unsigned long long*) override
    {
        return progress.canceled ? E_ABORT : S_OK;
    }
    HRESULT SetTotal(unsigned long long) override { return progress.canceled ? E_FAIL : S_OK; }
    HRESULT SetCompleted(const unsigned long long*) override
    {
        return progress.canceled ? E_FAIL : S_OK;
    }
    void ReportError(LangStringID id, QStringList args) override { errors.append({id, args}); }
    void SetFileIndex(unsigned int) override { }
    void accessHandler(QString) override { }
    void progressHandler(E_ArchiveOperation, CProgressInfo*, bool*) override { }
    ArchiveProgress* archiveProgress() override { return withProgress ? &progress : nullptr; }
    bool pauseIfNeeded() override
    {
        while (progress.paused) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
            if (progress.canceled)
                return false;
        }
        return true;
    }
    bool isCanceled() override { return progress.canceled; }
    bool isElevatedFile(const QString& path) override { return elevated.contains(path); }
    std::shared_ptr<IoFailureLog> ioFailureLog() override { return failures; }

    ArchiveProgress progress;
    std::shared_ptr<IoFailureLog> failures = std::make_shared<IoFailureLog>();
    bool withProgress = true;
    QSet<QString> elevated;
    QList<QPair<LangStringID, QStringList>> errors;
};

// 1 when object answers iid with an object (released again), 0 for a clean
// refusal (E_NOINTERFACE and a null pointer), -1 for anything else.
inline int answersInterface(IUnknown* object, const GUID& iid)
{
    void* answer = reinterpret_cast<void*>(0x1);
    const HRESULT result = object->QueryInterface(iid, &answer);
    if (result == S_OK && answer) {
        static_cast<IUnknown*>(answer)->Release();
        return 1;
    }
    return result == E_NOINTERFACE && !answer ? 0 : -1;
}

// One item as the engine lists it.
struct ListedItem
{
    QString path;
    bool isDir = false;
    quint64 size = 0;
};

inline ListedItem readItem(IInArchive* archive, UInt32 index)
{
    ListedItem item;
    CPropVariant path;
    CPropVariant isDir;
    CPropVariant size;
    archive->GetProperty(index, kpidPath, &path);
    archive->GetProperty(index, kpidIsDir, &isDir);
    archive->GetProperty(index, kpidSize, &size);
    item.path = path.vt == VT_BSTR ? fromEngineString(path.bstrVal) : QString();
    item.isDir = isDir.vt == VT_BOOL && isDir.boolVal != 0;
    item.size = size.vt == VT_UI8 ? size.uhVal : 0;
    return item;
}

// Opens path with the format handler clsid through an InStream (volume
// checking on) and a CArchiveOpenCallback. The open archive is left in
// *archive when that is given.
inline HRESULT openArchive(const QString& path, const GUID& clsid,
                           IFileArchiveCallbacksHandler* operation, CMyComPtr<IInArchive>* archive,
                           bool checkVolumes = true)
{
    CMyComPtr<IInArchive> handler;
    if (GetIInArchive(clsid, &handler) != 0)
        return E_NOTIMPL;
    CMyComPtr<InStream> stream(new InStream(operation, path, checkVolumes));
    CMyComPtr<CArchiveOpenCallback> callback(new CArchiveOpenCallback(operation, path));
    const UInt64 maxCheckStart = 1 << 23;
    const HRESULT result = handler->Open(static_cast<IInStream*>(stream.get()), &maxCheckStart,
                                         static_cast<IArchiveOpenCallback*>(callback.get()));
    if (result == S_OK && archive)
        *archive = handler;
    return result;
}

inline HRESULT listArchive(const QString& path, const GUID& clsid,
                           IFileArchiveCallbacksHandler* operation, QList<ListedItem>* items,
                           bool checkVolumes = true)
{
    CMyComPtr<IInArchive> archive;
    const HRESULT result = openArchive(path, clsid, operation, &archive, checkVolumes);
    if (result != S_OK)
        return result;
    UInt32 count = 0;
    archive->GetNumberOfItems(&count);
    for (UInt32 i = 0; i < count; ++i)
        items->append(readItem(archive, i));
    archive->Close();
    return S_OK;
}

// Writes a new archive of options.newFiles to archivePath through an OutStream
// and an ArchiveUpdateCallback, with the engine's default settings.
inline HRESULT writeNewArchive(const GUID& clsid, const QString& archivePath,
                               const CompressOptions& options,
                               IFileArchiveCallbacksHandler* operation)
{
    CMyComPtr<IOutArchive> archive;
    if (GetIOutArchive(clsid, &archive) != 0)
        return E_NOTIMPL;
    CMyComPtr<ArchiveUpdateCallback> callback(new ArchiveUpdateCallback);
    callback->Init(options, {}, CMyComPtr<IInArchive>(), operation);
    CMyComPtr<OutStream> stream(new OutStream(operation, archivePath, true, -1));
    const HRESULT result =
        archive->UpdateItems(static_cast<IOutStream*>(stream.get()), callback->itemCount(),
                             static_cast<IArchiveUpdateCallback2*>(callback.get()));
    stream->Close(true);
    return result;
}
