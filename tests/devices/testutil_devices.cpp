#include "testutil_devices.h"

#include <algorithm>
#include <cmath>

std::array<uint8_t, 4> TestFrame(uint32_t ticks, int heartPeriod, bool vt3w)
{
    const uint32_t c = ticks >= 0x7FFF ? 0x7FFF : 0x7FFF - ticks;
    const int p = std::clamp(heartPeriod, 0, 2047);
    const uint8_t hi = uint8_t(p >> 4), lo = uint8_t(p & 15);
    const uint8_t r0 = uint8_t(~hi & 0x7F);
    uint8_t r1 = uint8_t(0x80 | ((~lo & 0x0F) << 3) | ((c >> 14) & 1));
    const uint8_t r2 = uint8_t(0x80 | ((c >> 7) & 0x7F));
    const uint8_t r3 = uint8_t(0x80 | (c & 0x7F));
    auto bit = [](uint8_t v, int n) { return (v >> n) & 1; };
    int c1, c2;
    if (vt3w) {
        c1 = bit(r3, 0) ^ bit(r3, 1);
        c2 = 1 - (bit(r3, 3) ^ bit(r3, 2));
    } else {
        c1 = bit(r3, 0) ^ bit(r3, 2);
        c2 = bit(r3, 3) ^ bit(r3, 1);
    }
    r1 = uint8_t(r1 | c1 << 1 | c2 << 2);
    return {ReverseBits(r0), ReverseBits(r1), ReverseBits(r2), ReverseBits(r3)};
}

std::vector<double> StrokeTrain(int strokes, int drive, int recovery, double slow, double fast)
{
    std::vector<double> out;
    const double down = std::pow(fast / slow, 1.0 / drive);
    const double up = std::pow(slow / fast, 1.0 / recovery);
    double dt = slow;
    for (int s = 0; s < strokes; ++s) {
        for (int i = 0; i < drive; ++i) out.push_back(dt *= down);
        for (int i = 0; i < recovery; ++i) out.push_back(dt *= up);
    }
    return out;
}

void TEventLog::Attach(TStrokeComputer& c)
{
    c.OnStartingStroke = [this] { Order += 'S'; };
    c.OnStartingRecover = [this] { Order += 'R'; };
    c.OnForceData = [this](int puls, double, double force, double) {
        Order += 'F';
        Forces.push_back(force);
        Puls.push_back(puls);
    };
    c.OnStrokeData = [this](const TStgStrokeData& s) {
        Order += 'D';
        Strokes.push_back(s);
    };
}
