#include "engine/zipapi.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QLibrary>

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// The engine library; never unloaded once it is in use.
QLibrary zipLib;
// Non-null means the engine is usable.
CreateObjectFunc createObjectProc = nullptr;
SetLargePageModeFunc setLargePageModeProc = nullptr;
QString g_libraryPathForTests;
// Why the last load failed, for the About dialog.
QString g_loadFailure;
QString g_loadedPath;

// Calling into an engine whose objects are laid out differently crashes at
// the first call, so an engine that does not say which layout it has is not
// used either.
bool engineLayoutMatches(QLibrary& library, QString* reason)
{
    const auto getModuleProp = reinterpret_cast<GetModulePropFunc>(library.resolve("GetModuleProp"));
    if (!getModuleProp) {
        *reason = QStringLiteral("it does not report its interface layout (no GetModuleProp)");
        return false;
    }
    CPropVariant value;
    const HRESULT result = getModuleProp(kModulePropInterfaceType, &value);
    if (result != S_OK || value.vt != VT_UI4) {
        *reason = QStringLiteral("it does not report its interface type (result 0x%1, value type %2)")
                      .arg(static_cast<uint32_t>(result), 8, 16, QLatin1Char('0'))
                      .arg(value.vt);
        return false;
    }
    if (value.ulVal != kEngineInterfaceType) {
        *reason = QStringLiteral("its interface type is %1, this program is built for interface type %2")
                      .arg(value.ulVal)
                      .arg(kEngineInterfaceType);
        return false;
    }
    return true;
}

QString engineVersion(QLibrary& library)
{
    const auto getModuleProp = reinterpret_cast<GetModulePropFunc>(library.resolve("GetModuleProp"));
    CPropVariant value;
    if (!getModuleProp || getModuleProp(kModulePropVersion, &value) != S_OK || value.vt != VT_UI4)
        return QStringLiteral("(unknown version)");
    return QStringLiteral("%1.%2").arg(value.ulVal >> 16).arg(value.ulVal & 0xFFFF, 2, 10, QLatin1Char('0'));
}

BSTR allocateEngineString(UInt32 byteLength, size_t blockSize)
{
    void* block = std::malloc(sizeof(UInt32) + blockSize);
    if (!block)
        return nullptr;
    *static_cast<UInt32*>(block) = byteLength;
    return reinterpret_cast<BSTR>(static_cast<char*>(block) + sizeof(UInt32));
}

} // namespace

// --- Loader ----------------------------------------------------------------

QString chooseEngineLibrary(const QStringList& candidates, const QString& fallback)
{
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return fallback;
}

QString engineLibraryPath()
{
    return chooseEngineLibrary({QStringLiteral("/usr/lib/p7zip/7z.so"), QStringLiteral("/usr/lib64/p7zip/7z.so")},
                               QCoreApplication::applicationDirPath() + QStringLiteral("/7z.so"));
}

void setEngineLibraryPathForTests(const QString& path)
{
    g_libraryPathForTests = path;
    createObjectProc = nullptr;
    setLargePageModeProc = nullptr;
}

bool InitGetProc()
{
    if (createObjectProc)
        return true;

    const QString path = g_libraryPathForTests.isEmpty() ? engineLibraryPath() : g_libraryPathForTests;
    g_loadedPath = path;
    zipLib.setFileName(path);
    if (!zipLib.load()) {
        g_loadFailure = zipLib.errorString();
        qDebug().noquote() << "Engine library" << path << "not loaded:" << g_loadFailure;
        return false;
    }
    const auto create = reinterpret_cast<CreateObjectFunc>(zipLib.resolve("CreateObject"));
    if (!create) {
        g_loadFailure = QStringLiteral("it has no CreateObject");
        qDebug().noquote() << "Engine library" << path << "not loaded:" << g_loadFailure;
        zipLib.unload();
        return false;
    }
    QString reason;
    if (!engineLayoutMatches(zipLib, &reason)) {
        g_loadFailure = reason;
        qDebug().noquote() << "Engine library" << path << "not loaded:" << reason;
        zipLib.unload();
        return false;
    }
    g_loadFailure.clear();
    setLargePageModeProc = reinterpret_cast<SetLargePageModeFunc>(zipLib.resolve("SetLargePageMode"));
    createObjectProc = create;
    qDebug().noquote() << "Engine library" << path << "loaded, version" << engineVersion(zipLib);
    return true;
}

EngineStatus engineStatus()
{
    EngineStatus status;
    status.loaded = InitGetProc();
    status.path = g_loadedPath;
    if (status.loaded)
        status.version = engineVersion(zipLib);
    else
        status.failure = g_loadFailure;
    return status;
}

namespace {
template <class T>
int createHandler(const GUID& clsid, const GUID& iid, CMyComPtr<T>* out)
{
    if (!out || !InitGetProc())
        return 1;
    T* object = nullptr;
    const HRESULT result = createObjectProc(&clsid, &iid, reinterpret_cast<void**>(&object));
    if (result != S_OK || !object)
        return 1;
    // The engine's object already carries the reference the pointer keeps.
    out->Attach(object);
    return 0;
}
} // namespace

int GetIInArchive(GUID clsid, CMyComPtr<IInArchive>* out)
{
    return createHandler(clsid, IID_IInArchive, out);
}

int GetIOutArchive(GUID clsid, CMyComPtr<IOutArchive>* out)
{
    return createHandler(clsid, IID_IOutArchive, out);
}

void SetUseLargePages()
{
    if (InitGetProc() && setLargePageModeProc)
        setLargePageModeProc();
}

// --- Compatibility functions ------------------------------------------------

BSTR SysAllocStringLen(const OLECHAR* source, UInt32 length)
{
    if (length > 0x3FFFFFFCu)
        return nullptr;
    const size_t characters = length;
    BSTR text = allocateEngineString(static_cast<UInt32>(characters * sizeof(OLECHAR)),
                                     (characters + 1) * sizeof(OLECHAR));
    if (!text)
        return nullptr;
    if (source)
        std::memcpy(text, source, characters * sizeof(OLECHAR));
    else
        std::memset(text, 0, characters * sizeof(OLECHAR));
    text[characters] = 0;
    return text;
}

BSTR SysAllocString(const OLECHAR* source)
{
    if (!source)
        return nullptr;
    const size_t length = std::wcslen(source);
    if (length > 0x3FFFFFFCu)
        return nullptr;
    return SysAllocStringLen(source, static_cast<UInt32>(length));
}

BSTR SysAllocStringByteLen(const char* source, UInt32 length)
{
    if (length > 0xFFFFFFF2u)
        return nullptr;
    // Room for a zero character after the bytes, rounded up to whole characters.
    const size_t size = (static_cast<size_t>(length) + sizeof(OLECHAR) + sizeof(OLECHAR) - 1) & ~(sizeof(OLECHAR) - 1);
    BSTR text = allocateEngineString(length, size);
    if (!text)
        return nullptr;
    char* bytes = reinterpret_cast<char*>(text);
    size_t filled = 0;
    if (source) {
        std::memcpy(bytes, source, length);
        filled = length;
    }
    std::memset(bytes + filled, 0, size - filled);
    return text;
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<char*>(text) - sizeof(UInt32));
}

UInt32 SysStringByteLen(BSTR text)
{
    if (!text)
        return 0;
    UInt32 length;
    std::memcpy(&length, reinterpret_cast<const char*>(text) - sizeof(UInt32), sizeof(length));
    return length;
}

UInt32 SysStringLen(BSTR text)
{
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

HRESULT VariantClear(VARIANTARG* value)
{
    if (!value)
        return E_INVALIDARG;
    if (value->vt == VT_BSTR)
        SysFreeString(value->bstrVal);
    value->vt = VT_EMPTY;
    value->uhVal = 0;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source)
{
    if (!destination || !source)
        return E_INVALIDARG;
    // Clearing the destination first would free the very string to be copied.
    if (destination == source)
        return S_OK;
    VariantClear(destination);
    if (source->vt == VT_BSTR) {
        BSTR copy = SysAllocStringByteLen(reinterpret_cast<const char*>(source->bstrVal),
                                          SysStringByteLen(source->bstrVal));
        if (!copy)
            return E_OUTOFMEMORY;
        std::memcpy(destination, source, sizeof(VARIANTARG));
        destination->bstrVal = copy;
        return S_OK;
    }
    std::memcpy(destination, source, sizeof(VARIANTARG));
    return S_OK;
}

int32_t CompareFileTime(const FILETIME* a, const FILETIME* b)
{
    if (a->dwHighDateTime != b->dwHighDateTime)
        return a->dwHighDateTime < b->dwHighDateTime ? -1 : 1;
    if (a->dwLowDateTime != b->dwLowDateTime)
        return a->dwLowDateTime < b->dwLowDateTime ? -1 : 1;
    return 0;
}

DWORD GetLastError()
{
    return 0;
}

namespace {
// The value is expected to be empty (as the engine hands it over).
HRESULT setStringOrError(PROPVARIANT* value, BSTR text)
{
    if (!text) {
        value->vt = VT_ERROR;
        value->scode = E_OUTOFMEMORY;
        return E_OUTOFMEMORY;
    }
    value->vt = VT_BSTR;
    value->bstrVal = text;
    return S_OK;
}
} // namespace

HRESULT PropVarEm_Set_Str(PROPVARIANT* value, const wchar_t* s)
{
    return setStringOrError(value, SysAllocString(s ? s : L""));
}

HRESULT PropVarEm_Set_Str(PROPVARIANT* value, const char* s)
{
    return setStringOrError(value, allocEngineString(QString::fromUtf8(s ? s : "")));
}

void propSetBool(PROPVARIANT* value, bool flag)
{
    VariantClear(value);
    value->vt = VT_BOOL;
    value->boolVal = flag ? 1 : 0;
}

void propSetUInt32(PROPVARIANT* value, uint32_t number)
{
    VariantClear(value);
    value->vt = VT_UI4;
    value->ulVal = number;
}

void propSetUInt64(PROPVARIANT* value, uint64_t number)
{
    VariantClear(value);
    value->vt = VT_UI8;
    value->uhVal = number;
}

void propSetFileTime(PROPVARIANT* value, uint64_t ticks)
{
    VariantClear(value);
    value->vt = VT_FILETIME;
    value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
    value->filetime = fileTimeFromTicks(ticks);
}

// --- Strings ---------------------------------------------------------------

std::wstring toWideString(const QString& text)
{
    // The engine keeps UTF-16 code units in its 32-bit characters (it hands
    // out a character beyond the BMP as two surrogates and writes 7z and WIM
    // names two bytes per character), so a surrogate pair goes over as two
    // characters; a whole code point would lose its upper bits in those
    // formats.
    std::wstring wide;
    wide.reserve(static_cast<size_t>(text.size()));
    for (const QChar unit : text)
        wide.push_back(static_cast<wchar_t>(unit.unicode()));
    return wide;
}

QString fromWideString(const wchar_t* text, size_t length)
{
    QString result;
    if (!text)
        return result;
    result.reserve(static_cast<int>(length));
    for (size_t i = 0; i < length; ++i) {
        const uint32_t code = static_cast<uint32_t>(text[i]);
        if (code > 0x10FFFFu) {
            result.append(QChar(QChar::ReplacementCharacter));
        } else if (QChar::requiresSurrogates(code)) {
            result.append(QChar(QChar::highSurrogate(code)));
            result.append(QChar(QChar::lowSurrogate(code)));
        } else {
            result.append(QChar(static_cast<ushort>(code)));
        }
    }
    return result;
}

QString fromWideString(const wchar_t* text)
{
    return text ? fromWideString(text, std::wcslen(text)) : QString();
}

BSTR allocEngineString(const QString& text)
{
    const std::wstring wide = toWideString(text);
    if (wide.size() > 0x3FFFFFFCu)
        return nullptr;
    return SysAllocStringLen(wide.data(), static_cast<UInt32>(wide.size()));
}

QString fromEngineString(BSTR text)
{
    return text ? fromWideString(text, SysStringLen(text)) : QString();
}

HRESULT propSetString(PROPVARIANT* value, const QString& text)
{
    VariantClear(value);
    return setStringOrError(value, allocEngineString(text));
}
