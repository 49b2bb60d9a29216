#include "interfaces/devices/heart_rate.h"

#include <cctype>

bool DecodeHeartRateMeasurement(const uint8_t* data, size_t size, THeartRateMeasurement& out, std::string& error)
{
    out = THeartRateMeasurement();
    if (size < 1) {
        error = "empty heart-rate measurement";
        return false;
    }
    const uint8_t flags = data[0];
    const bool wide = flags & 0x01;
    size_t at = 1;
    if (size < at + (wide ? 2 : 1)) {
        error = "heart-rate measurement too short for its heart rate";
        return false;
    }
    out.Bpm = wide ? uint16_t(data[at] | data[at + 1] << 8) : data[at];
    at += wide ? 2 : 1;
    out.ContactSupported = flags & 0x04;
    out.ContactDetected = out.ContactSupported && (flags & 0x02);
    if (flags & 0x08) {
        if (size < at + 2) {
            error = "heart-rate measurement too short for its energy field";
            return false;
        }
        out.HasEnergy = true;
        out.EnergyKJ = uint16_t(data[at] | data[at + 1] << 8);
        at += 2;
    }
    if (flags & 0x10) {
        if ((size - at) % 2 != 0) {
            error = "heart-rate measurement with a cut RR interval";
            return false;
        }
        for (; at + 1 < size; at += 2) out.RrIntervals.push_back(uint16_t(data[at] | data[at + 1] << 8));
    }
    error.clear();
    return true;
}

std::vector<uint8_t> EncodeHeartRateMeasurement(const THeartRateMeasurement& m, bool wide)
{
    wide = wide || m.Bpm > 255;
    uint8_t flags = wide ? 0x01 : 0x00;
    if (m.ContactSupported) flags |= 0x04;
    if (m.ContactSupported && m.ContactDetected) flags |= 0x02;
    if (m.HasEnergy) flags |= 0x08;
    if (!m.RrIntervals.empty()) flags |= 0x10;
    std::vector<uint8_t> out{flags, uint8_t(m.Bpm)};
    if (wide) out.push_back(uint8_t(m.Bpm >> 8));
    if (m.HasEnergy) {
        out.push_back(uint8_t(m.EnergyKJ));
        out.push_back(uint8_t(m.EnergyKJ >> 8));
    }
    for (uint16_t rr : m.RrIntervals) {
        out.push_back(uint8_t(rr));
        out.push_back(uint8_t(rr >> 8));
    }
    return out;
}

bool DecodeBatteryLevel(const uint8_t* data, size_t size, int& percent)
{
    if (size < 1 || data[0] > 100) return false;
    percent = data[0];
    return true;
}

TAntHeartPage DecodeAntHeartPage(const uint8_t payload[8])
{
    TAntHeartPage p;
    p.Page = payload[0] & 0x7F;
    p.Toggle = payload[0] & 0x80;
    p.BeatTime = uint16_t(payload[4] | payload[5] << 8);
    p.BeatCount = payload[6];
    p.Bpm = payload[7];
    return p;
}

void EncodeAntHeartPage(const TAntHeartPage& page, uint8_t payload[8])
{
    payload[0] = uint8_t((page.Page & 0x7F) | (page.Toggle ? 0x80 : 0));
    payload[1] = 0xFF;
    payload[2] = 0xFF;
    payload[3] = 0xFF;
    payload[4] = uint8_t(page.BeatTime);
    payload[5] = uint8_t(page.BeatTime >> 8);
    payload[6] = page.BeatCount;
    payload[7] = page.Bpm;
}

bool TAntHeartTracker::Add(const TAntHeartPage& page)
{
    const bool fresh = !FStarted || page.BeatCount != FBeatCount || page.Bpm != FBpm;
    FStarted = true;
    FBeatCount = page.BeatCount;
    FBpm = page.Bpm;
    return fresh;
}

bool ParseAntNetworkKey(const std::string& text, uint8_t key[8])
{
    std::string digits;
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '-' || c == ':' || c == '\t') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() != 16) return false;
    for (int b = 0; b < 8; ++b) key[b] = uint8_t(std::stoi(digits.substr(size_t(b) * 2, 2), nullptr, 16));
    return true;
}
