#pragma once
#include <cstdint>
#include <string>

#pragma pack(push, 1)
// A GUID in the Windows memory layout (Data1..Data3 little-endian).
struct TGuid {
    uint32_t D1;
    uint16_t D2;
    uint16_t D3;
    uint8_t D4[8];
};
#pragma pack(pop)
static_assert(sizeof(TGuid) == 16);

bool operator==(const TGuid& a, const TGuid& b);
inline bool operator!=(const TGuid& a, const TGuid& b) { return !(a == b); }

// A new random (version 4) GUID; the all-zero GUID when no randomness is available.
TGuid NewGuid();
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string GuidToString(const TGuid& g);
bool IsNullGuid(const TGuid& g);
