#include "interfaces/devices/vt_encoder.h"

#include <algorithm>
#include <cmath>

#include "interfaces/devices/vt_protocol.h"
#include "util/text.h"

const char* const kODBanner = "OARTEC Slider OSM V1.0\r\n";

namespace {
inline uint8_t Bit(uint8_t v, int n) { return (v >> n) & 1u; }
}  // namespace

std::array<uint8_t, 4> EncodeVTFrame(TTarnProtocol protocol, uint32_t ticks, int heartRate)
{
    // Pulse counter: the interval counts down from 0x7FFF.
    const uint32_t t = std::min<uint32_t>(ticks, 0x7FFF);
    const uint32_t counter = 0x7FFF - t;
    // Heart period in units of 1/1200 s: rate = 72000 / period.
    int period = heartRate > 0 ? int(std::lround(72000.0 / heartRate)) : 0;
    period = std::clamp(period, 0, 127 * 16 + 15);
    const uint8_t hi = uint8_t(period >> 4), lo = uint8_t(period & 15);

    // The bytes with their bit order reversed (r0..r3), as the decoder sees them.
    uint8_t r0 = uint8_t(~hi & 0x7F);           // bit 7 (sync of byte 0) = 0
    uint8_t r1 = uint8_t((~(lo << 3)) & 0xF8);  // bits 3..7; bit 7 (sync) = 1
    r1 = uint8_t(r1 | ((counter >> 14) & 1));
    uint8_t r2 = uint8_t(0x80 | ((counter >> 7) & 0x7F));
    uint8_t r3 = uint8_t(0x80 | (counter & 0x7F));
    // Check bits: byte 1 bits 6 and 5 are r1 bits 1 and 2; byte 3 bit k is r3 bit 7 - k.
    uint8_t c6 = 0, c5 = 0;
    if (protocol == vtpVT3W) {
        c6 = Bit(r3, 0) ^ Bit(r3, 1);
        c5 = uint8_t(1 - (Bit(r3, 3) ^ Bit(r3, 2)));
    } else {
        c6 = Bit(r3, 0) ^ Bit(r3, 2);
        c5 = Bit(r3, 3) ^ Bit(r3, 1);
    }
    r1 = uint8_t(r1 | (c6 << 1) | (c5 << 2));
    return {ReverseBits(r0), ReverseBits(r1), ReverseBits(r2), ReverseBits(r3)};
}

std::string EncodeODLine(double intervalSeconds, bool drive)
{
    long units = std::lround(intervalSeconds / 8.64e-6);
    units = std::clamp(units, 0L, 9999L);
    return Format("%s%04ld,0\r\n", drive ? "!S," : "!R,", units);
}
