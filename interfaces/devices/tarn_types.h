#pragma once
// Types shared by every device interface, the row window and the training files.
//
//   TTarnState        interface state machine (ordinals as stored and traced)
//   TTarnProtocol     frame protocol; the ordinal is stored as a session's interface detail
//   TTarnProtocolSet  set of protocols as a 16-bit mask, bit n for ordinal n
//   TTarnBoatType     boat of the speed model of the stroke computation
//   TTarnMagnet       class of a magnet's interval change (magnet diagnostics)
//   TarnStateName     trace name of a state ("Closing", "Opened" ...)
//   TarnProtocolName  short name of a protocol ("VTW", "Mira/DOS" ...)
//   InterfaceTypeName name of interface type 0..7 ("VT Interface" ...)
//
// Constants of the measuring interface:
//   kTicksPerSecond         614000 counter ticks per second
//   kLongestInterval        0.0533664 s: a pulse interval at or above it is not
//                           measurable (the flywheel is slow or stands still)
#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/records.h"  // interface type numbers (kFtmsInterfaceType)

enum TTarnState : uint8_t {
    vtsClosing,
    vtsClosed,
    vtsOpening,
    vtsOpened,
    vtsSearching,
    vtsSearchFound,
    vtsSearchNotFound,
    vtsSearchCanceled,
    vtsVerifying,
    vtsVerified,
    vtsAccepting,
    vtsAccepted,
    vtsStartingWorkout,
    vtsWorkoutStarted,
    vtsCancelingWorkout,
    vtsWorkoutCanceled,
    vtsFinishingWorkout,
    vtsWorkoutFinished,
    vtsStartingStroke,
    vtsStrokeFinished,
    vtsStartingRecover,
    vtsRecoverFinished,
    vtsPausing,
    vtsPaused,
    vtsContinueing,
    vtsContinued
};
constexpr int kTarnStateCount = vtsContinued + 1;

enum TTarnProtocol : uint8_t {
    vtpUnknown,
    vtpDOS,
    vtpVtw,
    vtpVT3W,
    vtpBrax,
    vtpOTM,
    vtpOTDebug,
    vtpV17Test,
    vtpVT3WI,
    vtpFTMS  // Bluetooth Fitness Machine Service (rower data)
};
constexpr int kTarnProtocolCount = vtpFTMS + 1;

struct TTarnProtocolSet {
    uint16_t Mask = 0;

    TTarnProtocolSet() = default;
    TTarnProtocolSet(std::initializer_list<TTarnProtocol> list)
    {
        for (auto p : list) Include(p);
    }
    bool Contains(TTarnProtocol p) const { return (Mask >> p) & 1u; }
    void Include(TTarnProtocol p) { Mask = uint16_t(Mask | (1u << p)); }
    void Exclude(TTarnProtocol p) { Mask = uint16_t(Mask & ~(1u << p)); }
    bool Empty() const { return Mask == 0; }
    bool operator==(const TTarnProtocolSet&) const = default;
};

enum TTarnBoatType : uint8_t { vtb1x, vtb2cd, vtb2cs, vtb2x, vtb4cd, vtb4cs, vtb4x, vtb8cd };
constexpr int kTarnBoatTypeCount = vtb8cd + 1;

enum TTarnMagnet : uint8_t { vtmInit, vtmSmaller, vtmEqual, vtmGreater };

// "Closing" ... "Continued"; "" outside the range.
std::string TarnStateName(int state);
// "Unknown", "Mira/DOS", "VTW", "VT3W", "Brax", "OTM", "OTDebug", "V17Test", "VT3WI", "FTMS"; "" outside.
std::string TarnProtocolName(int protocol);
// "Unknown", "VT Interface", "VT3 Interface", "OTM", "Brax", "OartecDebug",
// "VT3 Wireless Interface", "FTMS Rowing Machine"; "" outside 0..7.
std::string InterfaceTypeName(int type);

// True for the states in which the interface counts as open (at least vtsOpening).
inline bool IsOpenState(TTarnState s) { return s >= vtsOpening; }
// True while pausing or paused.
inline bool IsPausedState(TTarnState s) { return s == vtsPausing || s == vtsPaused; }

constexpr double kTicksPerSecond = 614000.0;
constexpr double kLongestInterval = 0.0533664;
