#include "util/guid.h"

#include <cstdio>
#include <cstring>
#include <random>

bool operator==(const TGuid& a, const TGuid& b) { return std::memcmp(&a, &b, sizeof(TGuid)) == 0; }

bool IsNullGuid(const TGuid& g)
{
    static const TGuid kNull{};
    return g == kNull;
}

TGuid NewGuid()
{
    TGuid g{};
    try {
        static thread_local std::mt19937_64 engine{std::random_device{}()};
        uint8_t bytes[16];
        for (int i = 0; i < 16; i += 8) {
            uint64_t v = engine();
            std::memcpy(bytes + i, &v, 8);
        }
        bytes[7] = uint8_t((bytes[7] & 0x0F) | 0x40);  // version 4 in Data3's high nibble
        bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80);  // variant
        std::memcpy(&g, bytes, 16);
    } catch (...) {
        g = TGuid{};
    }
    return g;
}

std::string GuidToString(const TGuid& g)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(g.D1), unsigned(g.D2),
                  unsigned(g.D3), g.D4[0], g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
    return buf;
}
