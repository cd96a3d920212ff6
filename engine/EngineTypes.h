#pragma once

// The plain types, result codes and value layouts shared with the 7-Zip
// engine library. Everything here must match the library byte for byte:
// the engine reads and writes these structures directly.

#include "engine/Guid.h"

#include <cstddef>
#include <cstdint>

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef uint32_t UInt32;
typedef int32_t Int32;
typedef unsigned long long UInt64;
typedef long long Int64;
typedef uint32_t PROPID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef uint32_t DWORD;
typedef const GUID& REFIID;

// The engine's wide character is the platform wchar_t: one UTF-32 code point.
static_assert(sizeof(wchar_t) == 4, "the engine's strings are made of 32-bit characters");
typedef wchar_t OLECHAR;
// A malloc'ed block: a 32-bit byte length, then the characters, then a zero
// character; the pointer addresses the first character.
typedef OLECHAR* BSTR;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// A seek origin other than start, current and end.
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
// A seek to a position before the start of the stream.
constexpr HRESULT HRESULT_WIN32_ERROR_NEGATIVE_SEEK = static_cast<HRESULT>(0x80070083u);

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Property value type tags.
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_FILETIME = 64
};

// The engine's item property numbering (the ones this program asks or answers).
enum EnginePropId : PROPID {
    kpidNoProperty = 0,
    kpidPath = 3,
    kpidName = 4,
    kpidExtension = 5,
    kpidIsDir = 6,
    kpidSize = 7,
    kpidPackSize = 8,
    kpidAttrib = 9,
    kpidCTime = 10,
    kpidATime = 11,
    kpidMTime = 12,
    kpidSolid = 13,
    kpidEncrypted = 15,
    kpidIsAnti = 21,
    kpidPosixAttrib = 53,
    kpidSymLink = 54,
    // Archive property: what the handler found wrong with the archive.
    kpidErrorFlags = 71,
    kpidHardLink = 90
};

// Item attributes (kpidAttrib): Windows bits, and the Unix mode in the high
// 16 bits when kAttributeUnixExtension is set.
constexpr UInt32 kAttributeReadOnly = 0x01;
constexpr UInt32 kAttributeDirectory = 0x10;
constexpr UInt32 kAttributeArchive = 0x20;
constexpr UInt32 kAttributeUnixExtension = 0x8000;

// The attributes the engine's own tool stores for a file of this Unix mode:
// the Windows bits that follow from it, and the mode itself. 7z, zip (as host
// Unix) and wim keep a mode only this way.
inline UInt32 attributesForUnixMode(uint32_t mode)
{
    UInt32 attributes = (mode & 0170000u) == 0040000u ? kAttributeDirectory : kAttributeArchive;
    if ((mode & 0222u) == 0)
        attributes |= kAttributeReadOnly;
    return attributes | kAttributeUnixExtension | ((mode & 0xFFFFu) << 16);
}

// 100-nanosecond intervals since 1601-01-01 UTC, low half first.
typedef struct _FILETIME
{
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
} FILETIME;

inline FILETIME fileTimeFromTicks(uint64_t ticks)
{
    return FILETIME{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}
inline uint64_t ticksFromFileTime(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// 16 bytes: tag, three reserved words (the engine keeps the precision of file
// times in them; the program leaves them 0), then the 8-byte value.
typedef struct tagPROPVARIANT
{
    VARTYPE vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        int8_t cVal;
        uint8_t bVal;
        int16_t iVal;
        uint16_t uiVal;
        int32_t lVal;
        uint32_t ulVal;
        int32_t intVal;
        uint32_t uintVal;
        int64_t hVal;
        uint64_t uhVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        FILETIME filetime;
        BSTR bstrVal;
    };
} PROPVARIANT;

typedef PROPVARIANT VARIANTARG;

static_assert(sizeof(GUID) == 16, "GUID layout");
static_assert(sizeof(FILETIME) == 8, "FILETIME layout");
static_assert(sizeof(PROPVARIANT) == 16, "PROPVARIANT layout");
static_assert(offsetof(PROPVARIANT, uhVal) == 8, "PROPVARIANT value offset");

// The program's own copies of the engine's string and value helpers. The
// engine library exports functions of the same names; ours are hidden so that
// neither side binds to the other's copies.
#define QUENVAR_ENGINE_COMPAT extern "C" __attribute__((visibility("hidden")))

QUENVAR_ENGINE_COMPAT BSTR SysAllocStringLen(const OLECHAR* source, UInt32 length);
QUENVAR_ENGINE_COMPAT BSTR SysAllocString(const OLECHAR* source);
QUENVAR_ENGINE_COMPAT BSTR SysAllocStringByteLen(const char* source, UInt32 length);
QUENVAR_ENGINE_COMPAT void SysFreeString(BSTR string);
QUENVAR_ENGINE_COMPAT UInt32 SysStringByteLen(BSTR string);
QUENVAR_ENGINE_COMPAT UInt32 SysStringLen(BSTR string);
QUENVAR_ENGINE_COMPAT HRESULT VariantClear(VARIANTARG* value);
QUENVAR_ENGINE_COMPAT HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source);
QUENVAR_ENGINE_COMPAT int32_t CompareFileTime(const FILETIME* a, const FILETIME* b);
QUENVAR_ENGINE_COMPAT DWORD GetLastError();

// Sets value, which must be empty (as the engine hands values over), to an
// engine-string copy of s; null s gives an empty string. Out of memory: the
// value becomes the error tag holding E_OUTOFMEMORY, which is also returned.
__attribute__((visibility("hidden"))) HRESULT PropVarEm_Set_Str(PROPVARIANT* value, const wchar_t* s);
// The same for UTF-8 text.
__attribute__((visibility("hidden"))) HRESULT PropVarEm_Set_Str(PROPVARIANT* value, const char* s);

// Small setters for values handed to the engine. Each clears the old value.
void propSetBool(PROPVARIANT* value, bool flag);
void propSetUInt32(PROPVARIANT* value, uint32_t number);
void propSetUInt64(PROPVARIANT* value, uint64_t number);
void propSetFileTime(PROPVARIANT* value, uint64_t ticks);

// A property value that clears itself (frees its string) when it goes.
class CPropVariant : public tagPROPVARIANT
{
public:
    CPropVariant()
    {
        vt = VT_EMPTY;
        wReserved1 = wReserved2 = wReserved3 = 0;
        uhVal = 0;
    }
    ~CPropVariant() { VariantClear(this); }
    CPropVariant(const CPropVariant&) = delete;
    CPropVariant& operator=(const CPropVariant&) = delete;
    void clear() { VariantClear(this); }
};
