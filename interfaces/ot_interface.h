#pragma once
// TOTInterface (type 3): the Oartec OTM monitor behind its Silicon Labs USB
// serial adapter at 115200 baud. It finds the monitor, waits until a workout
// is started on it, and turns its stroke frames into stroke records and force
// curves; the frames are the device layer's (ot_frames.h).
#include "interfaces/devices/ot_frames.h"
#include "interfaces/interface.h"

class TOTInterface : public TInterface {
public:
    using TOTWaitingEvent = std::function<void(TInterface* Sender, bool& Cancel)>;

    TOTInterface();
    ~TOTInterface() override;

    int Smoothing = 0;  // 0 none, 1 two-point, 2 three-point
    TOTWaitingEvent OnWaiting;

    // Waiting times (ms): per port searched, for the workout start.
    int SearchTimeout = 10000;
    int WorkoutTimeout = 30000;

    // The monitor's identification (the OTM_ALIVE payload), kept uninterpreted.
    std::vector<uint8_t> Identification;
    const TOTFrameSearch& Search() const { return FSearch; }
    float EnergyAccumulator() const { return FEnergy; }

    void OpenLog() override {}
    void WriteLog() override {}
    void CloseLog() override {}
    void ComPortOpen() override;
    void ComPortClose() override;
    void GetPortList() override;
    void ComPortRxCluster() override;
    void DemoOpen() override;
    void DemoClose() override {}
    bool DemoRead() override { return false; }
    void DemoProcess() override {}
    void DemoTimer() override {}
    void Close() override;

private:
    // Waits (pumping events) for an accepted frame, OnWaiting's cancel or the
    // time-out; sendEvery > 0 sends the search frame on every sendEvery-th step.
    // Returns false when the interface was closed meanwhile.
    bool WaitForFrame(int timeoutMs, int stepMs, int sendEvery, bool& cancelled);
    void ProcessBuffer();
    void HandleWorkoutFrame();
    void Send(uint8_t type);

    TOTFrameSearch FSearch;
    float FEnergy = 0;
    bool FTimedOut = false;
    bool FProcessing = false;
};
