#pragma once

#include <cstdint>
#include <cstring>

// 16 bytes laid out as the engine expects: one 32-bit, two 16-bit and eight
// 8-bit fields, little-endian. Identifiers are compared as raw bytes.
struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

inline bool operator==(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b)
{
    return !(a == b);
}

// {23170F69-40C1-278A-1000-000110xx0000}: the engine's archive format handlers.
constexpr GUID makeFormatClassId(uint8_t formatByte)
{
    return GUID{0x23170F69u, 0x40C1u, 0x278Au, {0x10, 0x00, 0x00, 0x01, 0x10, formatByte, 0x00, 0x00}};
}

// {23170F69-40C1-278A-0000-00GG00II0000}: the engine's interfaces.
constexpr GUID makeInterfaceId(uint8_t group, uint8_t number)
{
    return GUID{0x23170F69u, 0x40C1u, 0x278Au, {0x00, 0x00, 0x00, group, 0x00, number, 0x00, 0x00}};
}

constexpr GUID CLSID_CFormatZip = makeFormatClassId(0x01);
constexpr GUID CLSID_CFormatBZip2 = makeFormatClassId(0x02);
constexpr GUID CLSID_CFormatRar4 = makeFormatClassId(0x03);
constexpr GUID CLSID_CFormat7z = makeFormatClassId(0x07);
constexpr GUID CLSID_CFormatXz = makeFormatClassId(0x0C);
constexpr GUID CLSID_CFormatRar5 = makeFormatClassId(0xCC);
constexpr GUID CLSID_CFormatWim = makeFormatClassId(0xE6);
constexpr GUID CLSID_CFormatTar = makeFormatClassId(0xEE);
constexpr GUID CLSID_CFormatGZip = makeFormatClassId(0xEF);
