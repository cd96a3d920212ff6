#pragma once

// The engine's COM-style interfaces, declared for the layout of the installed
// library (it reports interface type 0 through GetModuleProp): IUnknown has
// exactly QueryInterface, AddRef and Release and no virtual destructor, so
// each interface's own operations start at slot 3. The order of the
// operations below is the order of the engine's tables and must not change.

#include "engine/EngineTypes.h"

// The interface type this program is built for, as GetModuleProp(0) reports it.
constexpr uint32_t kEngineInterfaceType = 0;

constexpr GUID IID_IUnknown = {0x00000000u, 0x0000u, 0x0000u, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID IID_IProgress = makeInterfaceId(0x00, 0x05);
constexpr GUID IID_ISequentialInStream = makeInterfaceId(0x03, 0x01);
constexpr GUID IID_ISequentialOutStream = makeInterfaceId(0x03, 0x02);
constexpr GUID IID_IInStream = makeInterfaceId(0x03, 0x03);
constexpr GUID IID_IOutStream = makeInterfaceId(0x03, 0x04);
constexpr GUID IID_IStreamGetSize = makeInterfaceId(0x03, 0x06);
constexpr GUID IID_IStreamGetProps = makeInterfaceId(0x03, 0x08);
constexpr GUID IID_IStreamGetProps2 = makeInterfaceId(0x03, 0x09);
constexpr GUID IID_ICompressProgressInfo = makeInterfaceId(0x04, 0x04);
constexpr GUID IID_ICryptoGetTextPassword = makeInterfaceId(0x05, 0x10);
constexpr GUID IID_ICryptoGetTextPassword2 = makeInterfaceId(0x05, 0x11);
constexpr GUID IID_ISetProperties = makeInterfaceId(0x06, 0x03);
constexpr GUID IID_IArchiveOpenCallback = makeInterfaceId(0x06, 0x10);
constexpr GUID IID_IArchiveExtractCallback = makeInterfaceId(0x06, 0x20);
constexpr GUID IID_IArchiveOpenVolumeCallback = makeInterfaceId(0x06, 0x30);
constexpr GUID IID_IInArchive = makeInterfaceId(0x06, 0x60);
constexpr GUID IID_IArchiveUpdateCallback = makeInterfaceId(0x06, 0x80);
constexpr GUID IID_IArchiveUpdateCallback2 = makeInterfaceId(0x06, 0x82);
constexpr GUID IID_IOutArchive = makeInterfaceId(0x06, 0xA0);

// The destructor is protected and not virtual: the engine's objects have no
// destructor slot, and nobody deletes an object through an interface pointer
// (objects delete themselves in Release).
struct IUnknown
{
    virtual HRESULT QueryInterface(REFIID iid, void** outObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct ISequentialInStream : public IUnknown
{
    virtual HRESULT Read(void* data, UInt32 size, UInt32* processedSize) = 0;

protected:
    ~ISequentialInStream() = default;
};

struct ISequentialOutStream : public IUnknown
{
    virtual HRESULT Write(const void* data, UInt32 size, UInt32* processedSize) = 0;

protected:
    ~ISequentialOutStream() = default;
};

// Seek origins.
enum : UInt32 { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };

struct IInStream : public ISequentialInStream
{
    virtual HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition) = 0;

protected:
    ~IInStream() = default;
};

struct IOutStream : public ISequentialOutStream
{
    virtual HRESULT Seek(Int64 offset, UInt32 seekOrigin, UInt64* newPosition) = 0;
    virtual HRESULT SetSize(UInt64 newSize) = 0;

protected:
    ~IOutStream() = default;
};

struct IStreamGetSize : public IUnknown
{
    virtual HRESULT GetSize(UInt64* size) = 0;

protected:
    ~IStreamGetSize() = default;
};

struct IStreamGetProps : public IUnknown
{
    virtual HRESULT GetProps(UInt64* size, FILETIME* cTime, FILETIME* aTime, FILETIME* mTime, UInt32* attrib) = 0;

protected:
    ~IStreamGetProps() = default;
};

struct CStreamFileProps
{
    UInt64 Size;
    UInt64 VolID;
    UInt64 FileID_Low;
    UInt64 FileID_High;
    UInt32 NumLinks;
    UInt32 Attrib;
    FILETIME CTime;
    FILETIME ATime;
    FILETIME MTime;
};
static_assert(sizeof(CStreamFileProps) == 64, "CStreamFileProps layout");

struct IStreamGetProps2 : public IUnknown
{
    virtual HRESULT GetProps2(CStreamFileProps* props) = 0;

protected:
    ~IStreamGetProps2() = default;
};

struct IProgress : public IUnknown
{
    virtual HRESULT SetTotal(UInt64 total) = 0;
    virtual HRESULT SetCompleted(const UInt64* completeValue) = 0;

protected:
    ~IProgress() = default;
};

struct ICompressProgressInfo : public IUnknown
{
    virtual HRESULT SetRatioInfo(const UInt64* inSize, const UInt64* outSize) = 0;

protected:
    ~ICompressProgressInfo() = default;
};

struct ICryptoGetTextPassword : public IUnknown
{
    virtual HRESULT CryptoGetTextPassword(BSTR* password) = 0;

protected:
    ~ICryptoGetTextPassword() = default;
};

struct ICryptoGetTextPassword2 : public IUnknown
{
    virtual HRESULT CryptoGetTextPassword2(Int32* passwordIsDefined, BSTR* password) = 0;

protected:
    ~ICryptoGetTextPassword2() = default;
};

struct ISetProperties : public IUnknown
{
    virtual HRESULT SetProperties(const wchar_t* const* names, const PROPVARIANT* values, UInt32 numProps) = 0;

protected:
    ~ISetProperties() = default;
};

struct IArchiveOpenCallback : public IUnknown
{
    virtual HRESULT SetTotal(const UInt64* files, const UInt64* bytes) = 0;
    virtual HRESULT SetCompleted(const UInt64* files, const UInt64* bytes) = 0;

protected:
    ~IArchiveOpenCallback() = default;
};

// Extraction: what GetStream is asked for.
enum : Int32 { kExtractModeExtract = 0, kExtractModeTest = 1, kExtractModeSkip = 2 };

// The engine's per-item operation results.
enum : Int32 {
    kOpResultOK = 0,
    kOpResultUnsupportedMethod = 1,
    kOpResultDataError = 2,
    kOpResultCRCError = 3,
    kOpResultUnavailable = 4,
    kOpResultUnexpectedEnd = 5,
    kOpResultDataAfterEnd = 6,
    kOpResultIsNotArc = 7,
    kOpResultHeadersError = 8,
    kOpResultWrongPassword = 9
};

struct IArchiveExtractCallback : public IProgress
{
    virtual HRESULT GetStream(UInt32 index, ISequentialOutStream** outStream, Int32 askExtractMode) = 0;
    virtual HRESULT PrepareOperation(Int32 askExtractMode) = 0;
    virtual HRESULT SetOperationResult(Int32 opRes) = 0;

protected:
    ~IArchiveExtractCallback() = default;
};

struct IArchiveOpenVolumeCallback : public IUnknown
{
    virtual HRESULT GetProperty(PROPID propID, PROPVARIANT* value) = 0;
    virtual HRESULT GetStream(const wchar_t* name, IInStream** inStream) = 0;

protected:
    ~IArchiveOpenVolumeCallback() = default;
};

struct IInArchive : public IUnknown
{
    virtual HRESULT Open(IInStream* stream, const UInt64* maxCheckStartPosition, IArchiveOpenCallback* openCallback) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT GetNumberOfItems(UInt32* numItems) = 0;
    virtual HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT* value) = 0;
    virtual HRESULT Extract(const UInt32* indices, UInt32 numItems, Int32 testMode,
                            IArchiveExtractCallback* extractCallback) = 0;
    virtual HRESULT GetArchiveProperty(PROPID propID, PROPVARIANT* value) = 0;
    virtual HRESULT GetNumberOfProperties(UInt32* numProps) = 0;
    virtual HRESULT GetPropertyInfo(UInt32 index, BSTR* name, PROPID* propID, VARTYPE* varType) = 0;
    virtual HRESULT GetNumberOfArchiveProperties(UInt32* numProps) = 0;
    virtual HRESULT GetArchivePropertyInfo(UInt32 index, BSTR* name, PROPID* propID, VARTYPE* varType) = 0;

protected:
    ~IInArchive() = default;
};

struct IArchiveUpdateCallback : public IProgress
{
    virtual HRESULT GetUpdateItemInfo(UInt32 index, Int32* newData, Int32* newProps, UInt32* indexInArchive) = 0;
    virtual HRESULT GetProperty(UInt32 index, PROPID propID, PROPVARIANT* value) = 0;
    virtual HRESULT GetStream(UInt32 index, ISequentialInStream** inStream) = 0;
    virtual HRESULT SetOperationResult(Int32 operationResult) = 0;

protected:
    ~IArchiveUpdateCallback() = default;
};

struct IArchiveUpdateCallback2 : public IArchiveUpdateCallback
{
    virtual HRESULT GetVolumeSize(UInt32 index, UInt64* size) = 0;
    virtual HRESULT GetVolumeStream(UInt32 index, ISequentialOutStream** volumeStream) = 0;

protected:
    ~IArchiveUpdateCallback2() = default;
};

struct IOutArchive : public IUnknown
{
    virtual HRESULT UpdateItems(ISequentialOutStream* outStream, UInt32 numItems,
                                IArchiveUpdateCallback* updateCallback) = 0;
    virtual HRESULT GetFileTimeType(UInt32* type) = 0;

protected:
    ~IOutArchive() = default;
};

// The engine's exported entry points.
typedef HRESULT (*CreateObjectFunc)(const GUID* classId, const GUID* interfaceId, void** outObject);
typedef HRESULT (*SetLargePageModeFunc)();
typedef HRESULT (*GetModulePropFunc)(PROPID propId, PROPVARIANT* value);

// GetModuleProp's property numbers.
enum : PROPID { kModulePropInterfaceType = 0, kModulePropVersion = 1 };
