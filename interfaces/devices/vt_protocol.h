#pragma once
// The measuring interface's data: frames, pulses and their bookkeeping.
//
// Frame functions (over byte buffers, no state):
//   RecognizeFrame     which protocol of a set starts at the front of a buffer,
//                      and how long the frame is (4 bytes, or a text line up to LF)
//   DecodeBinaryFrame  4-byte frame -> heart period, HeartRaw (30..240), pulse
//                      counter, interval in s (1.0 s and NoPulse for 0x7FFF)
//   DecodeTextLine     Oartec slider debug line -> interval ("!S," / "!R," lines)
//   SerialPulseCount   how many pulses a serial interval is split into (1..4)
//   DemoPulseCount     the same for demo samples (1..4, see below)
//
// TMagnetDiagnostics: per magnet position the last interval change and its
// class (smaller / equal / greater), with the pattern and statistics texts the
// connect dialog shows. ActivityIndicator: the turning "|/-\" character.
//
// TVTPulseInput: the receive state of a VT-family interface and the road of
// one pulse into the stroke computation, shared by the serial receive handler
// (ReceiveBytes), demo playback (ProcessDemoSample, see demo_data.h) and the
// wireless interface (ProcessWheelWord). For every pulse it runs, in order:
// OnWriteLog (raw data log), the validity ring, the magnet diagnostics,
// OnRawData, TStrokeComputer::Compute. The Qt interface owns one, forwards its
// hooks to its own events and keeps State through GetState.
//
// Hooks (std::function, empty ones are skipped):
//   GetState        the owner's state; empty = the State member
//   OnProtocolError a byte was dropped because no frame starts there (not for
//                   text lines)
//   OnFirstValid    the first valid frame since Open (owner: ValidSeen is set
//                   already; move vtsOpening -> vtsOpened)
//   OnWriteLog      before each pulse (raw data log: CurrentInterval, HeartRaw)
//   OnRawData       each pulse: wheel interval s, HeartRaw, HeartCorrected
//                   (truncated, the value after the previous pulse)
//   OnFault         an anomaly that was bounded instead of followed (a sample
//                   that would split into more than 4 pulses, an over-long
//                   text line); the text says what happened
//   CanContinue     checked between frames (the port is still open); empty = true
//
// Pausing: while the owner's state is vtsClosing, vtsPausing or vtsPaused no
// byte, frame or pulse reaches the computation, also when a handler pauses in
// the middle of a cluster or of a split interval (the rest is dropped). The
// first frame after input was dropped (and after Open / Close) is not split
// against the interval from before the gap: the flywheel ran on meanwhile, and
// splitting a coast-down's longer interval into equal parts would make every
// later frame look split too.
//
// Bounds: the receive buffer never holds more than one incomplete frame plus
// the bytes of the current call (bytes that start no frame are dropped one at
// a time), a text line longer than kMaxTextLine bytes without LF is dropped,
// and no interval is split into more than 4 pulses.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/devices/stroke_computer.h"
#include "interfaces/devices/tarn_types.h"

// Frame recognition. Length > 0: a frame of Protocol starts at the front.
// Length 0: no frame of the set starts there (drop one byte). Length -1: a
// text line may start there but its LF has not arrived yet.
struct TFrameMatch {
    int Length = 0;
    TTarnProtocol Protocol = vtpUnknown;
};
constexpr size_t kMaxTextLine = 256;
// opening: the interface is vtsOpening (only the slider's banner line counts).
TFrameMatch RecognizeFrame(const uint8_t* data, size_t size, TTarnProtocolSet set, bool strict, bool opening);
// Sync and check bits of the three binary protocols (b = 4 bytes).
bool IsVtwFrame(const uint8_t* b);
bool IsVT3WFrame(const uint8_t* b);
bool IsDosFrame(const uint8_t* b, bool strict);
// Text line (without or with its LF) that counts as a frame.
bool IsTextFrame(std::string_view line, bool opening);

uint8_t ReverseBits(uint8_t b);
// Seconds rounded to the nearest microsecond.
double RoundToMicrosecond(double seconds);

struct TBinaryFrame {
    int HeartPeriod = 0;   // P
    int HeartRaw = 30;     // trunc(72000 / P) clamped to 30..240
    int Counter = 0;       // pulse counter C
    double Interval = 0;   // s
    bool NoPulse = false;  // C = 0x7FFF
};
TBinaryFrame DecodeBinaryFrame(const uint8_t* b);

// A text line's interval: "!S," / "!R," lines read characters 4..7 as a decimal
// number (0 when not a number) times 8.64e-6 s and return true; other lines
// return false and leave the interval alone.
bool DecodeTextLine(std::string_view line, double& interval);

// Serial splitting: 1 with the no-pulse flag, else round(current / previous),
// and 1 when that is outside 1..4.
int SerialPulseCount(double current, double previous, bool noPulse);
// Demo splitting: 1 unless both intervals are measurable, else
// round(current / previous), at least 1. A count above 4 (an interval tiny next
// to the one before, or a corrupt sample) is not followed: the sample is taken
// as one pulse and *bounded is set.
int DemoPulseCount(double current, double previous, bool* bounded);

// "|/-\|/-\" at position counter mod 8, "-" doubled as "--".
std::string ActivityIndicator(uint32_t counter);

class TMagnetDiagnostics {
public:
    void Reset(int magnets);
    // One pulse (before PreviousInterval takes the current interval).
    void Update(double current, double previous);
    int Position() const { return Pos; }
    int Magnets() const { return int(Classes.size()); }
    TTarnMagnet Class(int position) const;
    int Count(int position, TTarnMagnet cls) const;
    // "<position> " + one of ".-O+" per magnet position.
    std::string Pattern() const;
    // Percentage of each position's most frequent class, "%3.0f" each, blank-separated.
    std::string Statistics() const;

private:
    int Pos = -1;
    std::vector<double> Changes;
    std::vector<TTarnMagnet> Classes;
    std::vector<uint32_t> Counters;  // 3 per position: smaller, equal, greater
};

class TVTPulseInput {
public:
    TVTPulseInput();

    TStrokeComputer Computer;
    TMagnetDiagnostics Magnets;

    TTarnProtocolSet ProtocolSet;
    TTarnProtocol Protocol = vtpUnknown;
    bool StrictProtocol = true;
    bool TextLines = false;  // Oartec slider: whole lines, no protocol errors

    double CurrentInterval = 0;
    double PreviousInterval = 0;
    int HeartRaw = 0;
    bool NoPulse = false;
    bool DataSeen = false;
    bool ValidSeen = false;
    TTarnState State = vtsOpened;  // used when GetState is empty

    std::function<TTarnState()> GetState;
    std::function<void()> OnProtocolError;
    std::function<void()> OnFirstValid;
    std::function<void()> OnWriteLog;
    std::function<void(double wheel, int heartRaw, int heartCorrected)> OnRawData;
    std::function<void(const std::string& text)> OnFault;
    std::function<bool()> CanContinue;

    // Counters for diagnostics.
    uint64_t ProtocolErrors = 0;
    uint64_t Frames = 0;
    uint64_t Pulses = 0;
    uint64_t Faults = 0;

    TTarnState CurrentState() const { return GetState ? GetState() : State; }

    // Open: clears DataSeen, ValidSeen and the receive buffer.
    void Open();
    // Prepare: computation constants from Computer.Settings, then Reset.
    void Prepare();
    // Reset: the stroke computation and the magnet diagnostics.
    void Reset();
    // Close: clears the computation's phase, DataSeen, ValidSeen, the validity
    // ring and the receive buffer.
    void Close();

    // Receive handler for one cluster of bytes. Sets DataSeen; ignores fewer
    // than 4 bytes before the first valid frame; drops the bytes while closing,
    // pausing or paused; otherwise appends them and handles every complete frame.
    void ReceiveBytes(const uint8_t* data, size_t size);
    size_t Buffered() const { return Rx.size() - RxStart; }

    // One demo sample (CurrentInterval / HeartRaw set by the demo reader).
    void ProcessDemoSample();
    // One wheel word of the wireless interface (0x7FFF = no pulse).
    void ProcessWheelWord(uint16_t word);
    // One pulse with CurrentInterval: log, validity, magnets, raw data, compute.
    void HandlePulse(bool interpolated);

    // True while input is dropped: the state is vtsClosing, vtsPausing or vtsPaused.
    bool Dropping() const;

    // Diagnostic texts.
    std::string Activity() const { return ActivityIndicator(Computer.CallCounter()); }

private:
    void Fault(const std::string& text);
    void HandleFrame(const uint8_t* frame, int length, TTarnProtocol protocol);
    // Between the pulses of a split interval: a handler paused, or closed an open interface.
    bool Interrupted(bool wasOpen) const;
    bool AfterGap = true;  // input was dropped (or the interface opened) since the last frame
    std::vector<uint8_t> Rx;
    size_t RxStart = 0;
    bool InReceive = false;
};
