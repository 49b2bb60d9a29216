#pragma once
// The VT interface family: the product's measuring interface on a serial port
// (TVTInterface, type 1), its USB variant in the VT3 machine (TVXInterface,
// type 2) and the Oartec slider's debug output (TODInterface, type 5). The
// frames, pulses and the stroke computation are the device layer's
// (TVTPulseInput, TStrokeComputer); demo playback and the raw data log too
// (TDemoPlayer, TRawLogWriter). This layer adds the port, the state machine,
// the timer and the events.
#include <memory>

#include "interfaces/devices/demo_data.h"
#include "interfaces/devices/vt_protocol.h"
#include "interfaces/interface.h"

class TVTInterface : public TInterface {
public:
    using TVTForceDataEvent =
        std::function<void(TInterface* Sender, int Puls, double Length, double Force, double DeltaTime)>;
    using TVTRawDataEvent = std::function<void(TInterface* Sender, double Wheel, int HeartRaw, int HeartCorrected)>;

    TVTInterface();
    ~TVTInterface() override;

    // Published properties.
    bool DoCalculate = false;
    // Demo data without real-time pacing: one sample per 1 ms timer call,
    // about eleven times real time.
    bool DemoFast = false;
    // With DemoFast, the recording time (ms) each timer call plays instead,
    // as fast as the machine allows; 0 = one sample per call. Starts from the
    // environment's CATCHLINE_DEMO_STEP_MS (tests row long demos with it).
    int DemoStepMs = 0;
    double ElastConst = 10.7;
    double Inertia = 0.1088;
    double Link = 0.008;
    int Magnets = 4;
    double Tension = 21.0;
    int StrokeTrigger = 0;
    int ThresHold = 0;
    bool StrictProtocol = true;
    bool RawHeartRate = false;
    TVTForceDataEvent OnForceData;
    TVTRawDataEvent OnRawData;
    // The base's BoatType under its published name.
    TTarnBoatType Boattype() const { return BoatType; }
    void SetBoattype(TTarnBoatType boat) { BoatType = boat; }

    // Demo data: a recording file to play instead of the program's ".dat"
    // file or the built-in recording ("" = those).
    std::string DemoFile;

    // Receive state, diagnostics and the computation.
    TVTPulseInput& Input() { return In; }
    const TVTPulseInput& Input() const { return In; }
    double CurrentInterval() const { return In.CurrentInterval; }
    double PreviousInterval() const { return In.PreviousInterval; }
    int HeartRaw() const { return In.HeartRaw; }
    double HeartCorrected() const { return In.Computer.HeartCorrected(); }
    std::string ActivityText() const { return In.Activity(); }
    std::string MagnetPattern() const { return In.Magnets.Pattern(); }
    std::string MagnetStatistics() const { return In.Magnets.Statistics(); }

    // Virtual operations.
    void OpenLog() override;
    void WriteLog() override;
    void CloseLog() override;
    void ComPortOpen() override;
    void ComPortRxCluster() override;
    void DemoOpen() override;
    void DemoClose() override;
    bool DemoRead() override;
    void DemoProcess() override;
    void DemoTimer() override;
    void Close() override;
    void Prepare() override;
    void Pause() override;
    void Continue() override;
    void Reset() override;

protected:
    // Copies the published properties into the device layer's settings.
    void SyncSettings();
    // Takes the receive results (flags, protocol) back from the device layer.
    void SyncResults();
    void TestTimer();

    TVTPulseInput In;
    TDemoPlayer Player{In};
    TRawLogWriter Log;
    bool FReceiving = false;   // the receive handler is running
    int FSkippedClusters = 0;  // cluster events that arrived while it ran
    bool FTestTimerFired = false;
    int64_t FDemoClock = 0;  // the time demo playback is paced against (ms)
    static constexpr int kQuickDemoStepMs = 250;
    // Recording time each fast demo call plays on the demo's own clock;
    // 0 = paced against the real clock, one sample per call.
    int64_t FastDemoStepMs() const;
};

// Type 2: the VT3 machine's interface behind its FTDI USB serial adapter.
class TVXInterface : public TVTInterface {
public:
    TVXInterface();
    void GetPortList() override;
    void ComPortOpen() override;
    void ComPortClose() override;
};

// Type 5: the Oartec slider's debug lines at 115200 baud.
class TODInterface : public TVTInterface {
public:
    TODInterface();
    void ComPortOpen() override;
};
