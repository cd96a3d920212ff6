#pragma once

#include "app/CCompressOptions.h"
#include "engine/ArchiveProgress.h"
#include "engine/EngineTypes.h"

#include <QString>
#include <QStringList>

#include <memory>

class IoFailureLog;

// How the engine's callbacks and the file streams reach the archive operation
// that runs them (FileArchive). They hold a pointer to this interface only,
// never to the operation itself.
//
// Strings handed out for the engine (passwords) are engine strings allocated
// with SysAllocString; the engine frees them.
class IFileArchiveCallbacksHandler
{
public:
    // Password for creating an archive.
    virtual HRESULT CryptoGetTextPassword2(int* passwordIsDefined, wchar_t** password) = 0;
    // Password for reading an archive.
    virtual HRESULT CryptoGetTextPassword(wchar_t** password) = 0;
    virtual HRESULT SetRatioInfo(const unsigned long long* inSize) = 0;
    virtual HRESULT SetTotal(unsigned long long total) = 0;
    virtual HRESULT SetCompleted(const unsigned long long* completed) = 0;
    // Reports a translated message; "%1", "%2" are filled from args in order.
    virtual void ReportError(LangStringID id, QStringList args) = 0;
    virtual void SetFileIndex(unsigned int index) = 0;
    // Asks the user what to do about a file that cannot be accessed; the
    // answer is left in UserActions.
    virtual void accessHandler(QString path) = 0;
    virtual void progressHandler(E_ArchiveOperation operation, CProgressInfo* info, bool* cancel) = 0;

    // What the callbacks and streams need of the running operation beyond the
    // operations above.

    // The progress block shared with the progress dialog; null when no
    // dialog drives the operation.
    virtual ArchiveProgress* archiveProgress() = 0;
    // Waits while the user has paused the operation; false when it was
    // cancelled meanwhile (the caller must stop).
    virtual bool pauseIfNeeded() = 0;
    // The user cancelled the operation.
    virtual bool isCanceled() = 0;
    // The file can be reached only through the elevated file server.
    virtual bool isElevatedFile(const QString& path) = 0;
    // Where the streams note the failures of their files (may be null).
    virtual std::shared_ptr<IoFailureLog> ioFailureLog() = 0;

protected:
    ~IFileArchiveCallbacksHandler() = default;
};
