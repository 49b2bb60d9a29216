#pragma once
// Heart-rate data from chest straps, over Bluetooth LE and ANT+.
//
// Bluetooth LE: the Heart Rate Measurement characteristic (0x2A37 of the
// Heart Rate service 0x180D). Its first byte holds the flags that say which
// fields follow, in this order:
//   bit 0  heart rate as uint16 (else uint8)
//   bit 1  sensor contact detected (meaningful only with bit 2)
//   bit 2  sensor contact supported
//   bit 3  energy expended present (uint16, kJ)
//   bit 4  RR intervals present (uint16 each, 1/1024 s, up to the end)
// The RR intervals begin after the heart rate and the energy field, so with
// a 16-bit heart rate they start one byte later than with an 8-bit one.
// Battery Level (0x2A19 of the Battery service 0x180F) is one byte, 0..100 %.
//
// ANT+: heart-rate monitors (device type 120) broadcast 8-byte data pages.
// Every page carries in bytes 4..7 the last beat's event time (1/1024 s,
// little-endian), a beat count (0..255, wrapping) and the computed heart
// rate (0 = invalid); byte 0 is the page number (bits 0..6) with a toggle
// bit (bit 7) that flips every four messages.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Characteristics and services by their 16-bit numbers.
constexpr uint16_t kHeartRateService = 0x180D;
constexpr uint16_t kHeartRateMeasurement = 0x2A37;
constexpr uint16_t kBatteryService = 0x180F;
constexpr uint16_t kBatteryLevel = 0x2A19;

struct THeartRateMeasurement {
    uint16_t Bpm = 0;
    bool ContactSupported = false;
    bool ContactDetected = false;
    bool HasEnergy = false;
    uint16_t EnergyKJ = 0;
    std::vector<uint16_t> RrIntervals;  // 1/1024 s
};

// Decodes one notification. False with a reason for a packet that is too
// short for the fields its flags announce, or whose RR part has an odd byte.
bool DecodeHeartRateMeasurement(const uint8_t* data, size_t size, THeartRateMeasurement& out, std::string& error);
// The notification a strap would send (16-bit heart rate when bpm > 255 or
// wide is set).
std::vector<uint8_t> EncodeHeartRateMeasurement(const THeartRateMeasurement& m, bool wide = false);

// Battery level 0..100; false for an empty packet or a value above 100.
bool DecodeBatteryLevel(const uint8_t* data, size_t size, int& percent);

// A heart rate a person can have while rowing. Straps send 0 when they lose
// contact, and some send 255 (or other nonsense) while they settle.
constexpr int kLowestHeartRate = 25;
constexpr int kHighestHeartRate = 240;
inline bool PlausibleHeartRate(int bpm) { return bpm >= kLowestHeartRate && bpm <= kHighestHeartRate; }

// ---- ANT+ ---------------------------------------------------------------------------

constexpr uint8_t kAntHeartDeviceType = 120;
constexpr uint16_t kAntHeartPeriod = 8070;  // 1/32768 s: 4.06 messages per second
constexpr uint8_t kAntPlusFrequency = 57;   // 2457 MHz

struct TAntHeartPage {
    uint8_t Page = 0;
    bool Toggle = false;
    uint16_t BeatTime = 0;  // 1/1024 s
    uint8_t BeatCount = 0;
    uint8_t Bpm = 0;  // 0 = invalid
};

TAntHeartPage DecodeAntHeartPage(const uint8_t payload[8]);
void EncodeAntHeartPage(const TAntHeartPage& page, uint8_t payload[8]);

// Follows the pages of one monitor: a heart rate is taken when the beat count
// moves on (a new beat) or the computed value changes; pages that repeat the
// last beat only show the monitor is still there.
class TAntHeartTracker {
public:
    // True when the page brings a heart rate to report (in Bpm).
    bool Add(const TAntHeartPage& page);
    int Bpm() const { return FBpm; }
    void Reset() { *this = TAntHeartTracker(); }

private:
    bool FStarted = false;
    uint8_t FBeatCount = 0;
    int FBpm = 0;
};

// The ANT+ network key, 8 bytes, from its 16 hex digits (blanks, "-", ":" and
// a "0x" prefix are allowed). False for anything else.
bool ParseAntNetworkKey(const std::string& text, uint8_t key[8]);
