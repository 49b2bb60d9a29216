#pragma once
// The Oartec OTM's binary frames (both directions), little-endian:
//   0 iHeader 0xFFFF | 2 iSize | 3 iType | 4 payload (iSize - 1) | 3+iSize iCRC | 4+iSize iFooter 0xFEFE
// A frame is iSize + 6 bytes. Frames the program sends carry the XOR of the
// bytes from iType to the end of the payload; frames received are checked
// against the XOR from iSize to the end of the payload.
//
//   TOTFrameSearch  the receive buffer and the frame search: finds a header,
//                   waits for the whole frame, checks type, size, check byte
//                   and footer, and accepts a frame whose type is expected
//   OTCommandFrame  the 7-byte frames sent (1 search, 2 accept, 3 close)
//   OTDeviceFrame   a frame as the device sends it (simulator, tests)
//   FillOTIni / FillOTStroke / FillOTWorkout   payloads -> records
//   SmoothOTCurve   two- or three-point smoothing of a force curve
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/records.h"

enum TOTFrameType : uint8_t {
    OTM_ALIVE = 129,
    OTM_STARTWORKOUT = 130,
    OTM_STROKEFINISHED = 131,
    OTM_WORKOUTFINISHED = 132,
    OTM_WORKOUTCANCELED = 133,
};

// Kind of an accepted frame: 0 none, 1 ALIVE ... 5 WORKOUTCANCELED (type - 128).
enum TOTFrameKind : int {
    otfNone = 0,
    otfAlive,
    otfStartWorkout,
    otfStrokeFinished,
    otfWorkoutFinished,
    otfWorkoutCanceled
};

// Expected-frame mask bit of a frame type (bit k = type 128 + k).
constexpr uint32_t OTMask(TOTFrameType type) { return 1u << (type - 128); }

// The iSize a received frame type must carry; 0 for unknown types.
int OTFrameSize(uint8_t type);
// "OTM_ALIVE" ...; "" for unknown types.
const char* OTFrameName(uint8_t type);

// Largest frame: iSize 255 -> 261 bytes.
constexpr size_t kOTMaxFrame = 261;

class TOTFrameSearch {
public:
    uint32_t Expected = 0;                          // mask of accepted frame types
    TOTFrameKind Kind = otfNone;                    // the frame accepted by the last search
    std::vector<uint8_t> Frame;                     // its bytes
    std::function<void(const std::string&)> Trace;  // diagnostic lines (optional)

    // Counters for diagnostics.
    uint64_t Accepted = 0, Rejected = 0, Dropped = 0;

    void Append(const uint8_t* data, size_t size);
    void Clear();
    const std::vector<uint8_t>& Buffer() const { return Buf; }

    // One step of the search: handles at most one frame. Returns true when it
    // consumed bytes (a frame, accepted or not, or garbage before a header), so
    // the caller can run it again; false when it needs more data.
    bool CheckForFrame();

private:
    bool ValidMember(const char* frame, const char* member, long received, long expected);
    std::vector<uint8_t> Buf;
};

// Check byte of a received frame (XOR of iSize .. end of payload).
uint8_t OTReceivedCRC(const uint8_t* frame);
// The 7-byte frame the program sends for type 1, 2 or 3.
std::vector<uint8_t> OTCommandFrame(uint8_t type);
// A frame with the device's check byte (as received by the program).
std::vector<uint8_t> OTDeviceFrame(uint8_t type, const std::vector<uint8_t>& payload);

// Workout settings from an OTM_STARTWORKOUT frame (15 bytes).
void FillOTIni(const uint8_t* frame, TStgIni& ini);
// Stroke record and force curve from an OTM_STROKEFINISHED frame (93 bytes);
// energy is the accumulator of the stroke energies (single precision).
void FillOTStroke(const uint8_t* frame, float& energy, TStgStrokeData& stroke, TStgForceCurve& curve);
// Totals from an OTM_WORKOUTFINISHED frame (23 bytes).
void FillOTWorkout(const uint8_t* frame, TStgWorkout& workout);
// Smoothing 1: two-point, 2: three-point, always from the unsmoothed values.
void SmoothOTCurve(TStgForceCurve& curve, int smoothing);

// The device side: takes the command frames (types 1, 2, 3) out of the bytes
// received from the program, in order; other bytes are dropped. The buffer
// keeps an incomplete frame for the next call.
std::vector<uint8_t> TakeOTCommands(std::vector<uint8_t>& buffer);

// Payload builders for the simulator (values as the device encodes them).
struct TOTStrokeValues {
    uint16_t StrokeNumber = 0, PowerX10 = 0, StrokeRate = 0, TimeX10 = 0, StrokeLength = 0, Distance = 0, Energy = 0,
             HeartRate = 0, A = 0, B = 0, Drag = 0, Interval = 0, DistancePerStroke = 0;
    uint8_t Curve[60] = {};
};
std::vector<uint8_t> OTStrokePayload(const TOTStrokeValues& v);
std::vector<uint8_t> OTStartWorkoutPayload(uint8_t limitType, uint16_t limit, uint8_t intervalBy, uint16_t work,
                                           uint16_t rest);
std::vector<uint8_t> OTWorkoutFinishedPayload(uint32_t energyJ, uint32_t distanceX10, uint32_t timeX10);
