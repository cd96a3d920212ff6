#pragma once

#include "engine/MyCom.h"

#include <QString>

class IFileArchiveCallbacksHandler;

// What the engine calls back while it opens an archive: further volumes, the
// archive's name and the password.
class CArchiveOpenCallback : public IArchiveOpenCallback,
                             public IArchiveOpenVolumeCallback,
                             public ICryptoGetTextPassword,
                             public CMyUnknownImp
{
public:
    CArchiveOpenCallback(IFileArchiveCallbacksHandler* archive, QString archivePath);

    HRESULT QueryInterface(REFIID iid, void** outObject) override;
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return releaseReference(); }

    HRESULT SetTotal(const UInt64* files, const UInt64* bytes) override;
    HRESULT SetCompleted(const UInt64* files, const UInt64* bytes) override;
    HRESULT CryptoGetTextPassword(BSTR* password) override;
    // Every property is answered with the archive's full path; the engine
    // derives the names of further volumes from it.
    HRESULT GetProperty(PROPID propID, PROPVARIANT* value) override;
    HRESULT GetStream(const wchar_t* name, IInStream** inStream) override;

private:
    IFileArchiveCallbacksHandler* m_archive;
    QString m_archivePath;
};
