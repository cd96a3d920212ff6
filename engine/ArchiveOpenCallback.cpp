#include "engine/ArchiveOpenCallback.h"

#include "engine/IFileArchiveCallbacksHandler.h"
#include "engine/streams.h"
#include "engine/zipapi.h"

CArchiveOpenCallback::CArchiveOpenCallback(IFileArchiveCallbacksHandler* archive, QString archivePath)
    : m_archive(archive)
    , m_archivePath(std::move(archivePath))
{
}

HRESULT CArchiveOpenCallback::QueryInterface(REFIID iid, void** outObject)
{
    return answerQueryInterface(iid, outObject,
                                {{IID_IUnknown, static_cast<IArchiveOpenCallback*>(this)},
                                 {IID_ICryptoGetTextPassword, static_cast<ICryptoGetTextPassword*>(this)},
                                 {IID_IArchiveOpenVolumeCallback, static_cast<IArchiveOpenVolumeCallback*>(this)}});
}

HRESULT CArchiveOpenCallback::SetTotal(const UInt64* /*files*/, const UInt64* /*bytes*/)
{
    return S_OK;
}

HRESULT CArchiveOpenCallback::SetCompleted(const UInt64* /*files*/, const UInt64* /*bytes*/)
{
    return S_OK;
}

HRESULT CArchiveOpenCallback::CryptoGetTextPassword(BSTR* password)
{
    // Without an operation nobody can be asked: no password.
    if (!m_archive)
        return S_FALSE;
    return m_archive->CryptoGetTextPassword(password);
}

HRESULT CArchiveOpenCallback::GetProperty(PROPID /*propID*/, PROPVARIANT* value)
{
    if (!value)
        return E_INVALIDARG;
    PropVarEm_Set_Str(value, toWideString(m_archivePath).c_str());
    return S_OK;
}

HRESULT CArchiveOpenCallback::GetStream(const wchar_t* name, IInStream** inStream)
{
    if (!inStream)
        return E_INVALIDARG;
    *inStream = nullptr;
    const QString path = fromWideString(name);
    CMyComPtr<InStream> stream(new InStream(m_archive, path, false));
    if (!stream->canBeOpened()) {
        // A missing or unreadable volume reaches the user; the engine goes on
        // or fails by its own rules.
        if (m_archive)
            m_archive->ReportError(LS_CANNOT_OPEN_FILE, {path});
        return S_FALSE;
    }
    *inStream = static_cast<IInStream*>(stream.Detach());
    return S_OK;
}
