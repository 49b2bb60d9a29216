#pragma once
// Helpers of the interface tests: a Qt core application, waits that keep
// events flowing, and real pseudo-terminals standing in for devices.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "interfaces/devices/tarn_types.h"

// While alive, the fixed waits of the interfaces and dialogs (port tests,
// searches, time-outs, message delays, fast demo playback) run pace times as
// fast; what a test checks of their order and outcome stays the same.
class TWaitPace {
public:
    explicit TWaitPace(int pace);
    ~TWaitPace();
    TWaitPace(const TWaitPace&) = delete;
    TWaitPace& operator=(const TWaitPace&) = delete;
};

// Creates the QCoreApplication once.
void EnsureApp();
// Processes events until pred() holds or ms passed; returns pred().
bool WaitFor(const std::function<bool()>& pred, int ms = 3000);
// Processes events for ms milliseconds.
void Pump(int ms);

// The master side of a pseudo-terminal; SlavePath() is the "port".
class TPty {
public:
    TPty();
    ~TPty();
    const std::string& SlavePath() const { return Path; }
    bool Write(const std::string& bytes);
    bool Write(const std::vector<unsigned char>& bytes);
    // What the program sent to the device so far (non-blocking read).
    std::string ReadAvailable();
    // Closes the master side: the "cable" is pulled.
    void CloseMaster();
    int MasterFd() const { return Master; }

private:
    int Master = -1;
    std::string Path;
};

// How many file descriptors of this process are open on path (a port left
// open by a closed window shows here).
int OpenDescriptors(const std::string& path);

// Collects trace lines while alive.
class TTraceCollector {
public:
    TTraceCollector();
    ~TTraceCollector();
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& part) const;
};

// A synthetic rowing run as pulse intervals in ticks of 1/614000 s: per
// stroke a drive that speeds the flywheel up (15 ms -> 10 ms per pulse over
// 0.8 s) and a recovery that lets it run down again (1.6 s).
std::vector<uint16_t> RowingTicks(int strokes);
// The frames of a pulse list for a protocol, every frame with the heart rate.
std::string VTFrames(const std::vector<uint16_t>& ticks, TTarnProtocol protocol, int heart = 120);
// Writes a raw data file ("MIL " header) with the pulses; returns its path.
std::string WriteRawFile(const std::string& name, const std::vector<uint16_t>& ticks, uint8_t heart = 120);
// A fresh temporary folder for one test (removed at exit of the process).
std::string TempFolder();
