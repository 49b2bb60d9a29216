#pragma once
// Heart-rate sources that pair with any rowing interface: a chest strap over
// Bluetooth LE (by its address, or a capture of one), an ANT+ strap through
// the ANT library loaded at run time, or the demo strap (the built-in
// recording's rower). The row engine takes a source's heart rate as the
// session's pulse while it delivers.
//
// Source texts (as the connect dialog stores them and catchline-cli takes them):
//   ""                         none
//   "AA:BB:CC:DD:EE:FF"        a Bluetooth strap ("BLE:" in front is allowed)
//   "capture:FILE"             a capture of a strap's notifications
//   "ant", "ant:N"             an ANT+ strap (any, or the one with device number N)
//   "DEMO"                     the demo strap
//
// Only plausible heart rates are handed on (25..240 bpm). Nonsense values (0
// or 255 bpm), a strap without skin contact and unreadable packets are
// dropped, and each kind is told once per start through OnProblem. Events
// run on the user-interface thread; a handler may stop the source but must
// not destroy it.
#include <functional>
#include <memory>
#include <set>
#include <string>

struct THeartSourceOptions {
    double CaptureSpeed = 1.0;  // captures and the demo strap: 1 = as recorded, 0 = at once
    std::string AntLibrary = "libant.so";
    std::string AntNetworkKey;  // the ANT+ network key, 16 hex digits, from the settings
    int AntReceiver = 0;        // USB device number of the ANT receiver
    std::string DemoFile;       // raw data recording behind the demo strap ("" = built-in)
    double Weight = 80;
};

class THeartRateSource {
public:
    virtual ~THeartRateSource() = default;
    virtual void Start() = 0;
    // No event follows.
    virtual void Stop() = 0;
    // A capture or the demo strap stops playing while the row is paused.
    virtual void SetPaused(bool /*paused*/) {}
    const std::string& Name() const { return FName; }
    // The strap's battery level (0..100), -1 while unknown.
    int Battery() const { return FBattery; }

    std::function<void(int bpm)> OnHeartRate;
    std::function<void(const std::string& text)> OnNote;     // connected, battery, reconnecting
    std::function<void(const std::string& text)> OnProblem;  // a kind of trouble, told once
    std::function<void(const std::string& text)> OnFailed;   // gave up: no more values

protected:
    void Note(const std::string& text);
    // Tells a problem of a kind once per start.
    void Problem(const std::string& kind, const std::string& text);
    void Failed(const std::string& text);
    void Value(int bpm);
    void SetBattery(int percent);
    void ClearProblems() { FToldProblems.clear(); }

    std::string FName;
    int FBattery = -1;

private:
    std::set<std::string> FToldProblems;
};

// nullptr with a reason for a text that is none of the forms above.
std::unique_ptr<THeartRateSource> CreateHeartRateSource(const std::string& source, const THeartSourceOptions& options,
                                                        std::string& error);
// True for a text CreateHeartRateSource accepts ("" is no source and false).
bool IsHeartRateSource(const std::string& source);
// True while an ANT+ heart-rate source holds the ANT receiver.
bool AntHeartSourceRunning();
