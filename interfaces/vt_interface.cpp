#include "interfaces/vt_interface.h"

#include <algorithm>
#include <cstdlib>

#include "interfaces/delay.h"
#include "interfaces/serial/usb_devices.h"
#include "util/paths.h"
#include "util/trace.h"
#include "util/version.h"
#include "util/virtual_env.h"

TVTInterface::TVTInterface()
{
    Weight = 85.0;
    Cog = 11;
    InterfaceType = 1;

    In.GetState = [this] { return State(); };
    In.OnProtocolError = [this] { Fire(OnProtocolError); };
    In.OnFirstValid = [this] {
        ValidSeen = true;
        if (State() == vtsOpening) SetState(vtsOpened);
    };
    In.OnWriteLog = [this] { WriteLog(); };
    In.OnRawData = [this](double wheel, int heartRaw, int heartCorrected) {
        if (OnRawData) OnRawData(this, wheel, heartRaw, heartCorrected);
    };
    In.OnFault = [](const std::string& text) { Trace(text); };
    In.CanContinue = [this] { return SourceType != 1 || Port().Active(); };

    TStrokeComputer& c = In.Computer;
    c.Clock = [] { return TickCount(); };
    c.IsOpen = [this] { return State() >= vtsOpening; };
    c.OnStartingStroke = [this] { Fire(OnStartingStroke); };
    c.OnForceData = [this](int puls, double length, double force, double deltaTime) {
        if (OnForceData) OnForceData(this, puls, length, force, deltaTime);
    };
    c.OnStrokeData = [this](const TStgStrokeData& data) {
        StrokeData = data;
        if (OnStrokeData) OnStrokeData(this, StrokeData);
    };
    c.OnStartingRecover = [this] { Fire(OnStartingRecover); };

    Player.OnEnd = [this] { Close(); };
    Player.OnError = [this](const std::string& message) { ShowError(message); };
    if (const char* step = std::getenv("CATCHLINE_DEMO_STEP_MS")) DemoStepMs = std::clamp(std::atoi(step), 0, 60000);
}

TVTInterface::~TVTInterface()
{
    try {
        Close();
    } catch (...) {
    }
}

void TVTInterface::SyncSettings()
{
    TStrokeSettings& s = In.Computer.Settings;
    s.Magnets = Magnets;
    s.Inertia = Inertia;
    s.Link = Link;
    s.Cog = Cog;
    s.Tension = Tension;
    s.ElastConst = ElastConst;
    s.Weight = Weight;
    s.BoatType = BoatType;
    s.StrokeTrigger = StrokeTrigger;
    s.ThresHold = ThresHold;
    s.RawHeartRate = RawHeartRate;
    In.Computer.DoCalculate = DoCalculate;
    In.ProtocolSet = ProtocolSet;
    In.StrictProtocol = StrictProtocol;
    Player.Fast = DemoFast;
}

void TVTInterface::SyncResults()
{
    DataSeen = DataSeen || In.DataSeen;
    ValidSeen = ValidSeen || In.ValidSeen;
    if (In.Protocol != vtpUnknown) Protocol = In.Protocol;
}

// ---- raw data log -------------------------------------------------------------

void TVTInterface::OpenLog()
{
    if (RawLogFile.empty()) return;
    if (Log.IsOpen()) CloseLog();
    const std::string error = Log.Open(RawLogFile, ProgramVersion());
    if (!error.empty()) {
        Log.Close();
        throw ETarnError(error);
    }
}

void TVTInterface::WriteLog()
{
    if (!Log.IsOpen()) return;
    const std::string error = Log.Write(In.CurrentInterval, In.HeartRaw);
    if (!error.empty()) {
        Log.Close();
        ShowError("Writelog : " + error);
    }
}

void TVTInterface::CloseLog() { Log.Close(); }

// ---- serial port ----------------------------------------------------------------

void TVTInterface::ComPortOpen()
{
    if (Source.empty()) throw ETarnError("No source selected");
    DataSeen = false;
    ValidSeen = false;
    In.Open();
    if (Port().Active()) Port().SetActive(false);
    FTestTimerFired = false;
    if (TestMode) StartTimer(3000, [this] { TestTimer(); });
    Port().SetCommPort(Source);
    Port().PurgeRxQueue();
    Port().SetActive(true);
    if (!Port().Active()) return;  // reported by the port (the interface has closed)
    Port().SetRTSState(UseRTS);
    Port().SetDTRState(UseDTR);
    if (TestMode) {
        while (!FTestTimerFired && !ValidSeen && State() >= vtsOpening) Delay(10);
        StopTimer();
    }
}

void TVTInterface::TestTimer()
{
    StopTimer();
    FTestTimerFired = true;
    Beep();
    if (ValidSeen) return;
    const std::string message = DataSeen ? "ComPort : No valid data" : "ComPort : No data";
    if (OnError) OnError(this, message);
    else throw ETarnError(message);
}

void TVTInterface::ComPortRxCluster()
{
    TInterface::ComPortRxCluster();
    if (FReceiving) {
        // A handler is pumping events inside the running call: leave this
        // cluster queued; the running call takes it when it is done.
        ++FSkippedClusters;
        return;
    }
    FReceiving = true;
    int clusters = 1;
    while (clusters-- > 0) {
        DataSeen = true;
        const std::string bytes = Port().ReadNextClusterAsString();
        if (bytes.empty()) continue;
        In.ProtocolSet = ProtocolSet;
        In.StrictProtocol = StrictProtocol;
        In.Computer.DoCalculate = DoCalculate;
        Guarded([&] { In.ReceiveBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); });
        SyncResults();
        clusters += FSkippedClusters;
        FSkippedClusters = 0;
        if (!Port().Active()) break;
    }
    FSkippedClusters = 0;
    FReceiving = false;
}

// ---- demo data ------------------------------------------------------------------

void TVTInterface::DemoOpen()
{
    DataSeen = false;
    ValidSeen = false;
    In.Open();
    SyncSettings();
    int firstMs = -1;
    std::string error;
    FDemoClock = TickCount();
    if (DemoFile.empty()) error = Player.OpenDefault(ProgramFolder() + ProgramFileName(), FDemoClock, &firstMs);
    else error = Player.OpenFile(DemoFile, FDemoClock, &firstMs);
    if (!error.empty()) {
        ShowError(error);
        return;
    }
    SyncResults();
    if (State() < vtsOpening) return;  // the recording was over at once
    if (firstMs >= 0) {
        Source = "DEMO";
        StartTimer(firstMs, [this] { DemoTimer(); });
    } else {
        StartTimer(1000, nullptr);
    }
}

void TVTInterface::DemoClose() { Player.Close(); }

bool TVTInterface::DemoRead()
{
    const bool ok = Player.Read();
    SyncResults();
    return ok;
}

void TVTInterface::DemoProcess() { Player.Process(); }

int64_t TVTInterface::FastDemoStepMs() const
{
    if (!DemoFast) return 0;
    // The tests' wait pace plays that many times as much per call; a pace
    // without a step of its own takes the quick 250 ms step.
    const int pace = WaitPace();
    if (DemoStepMs > 0) return int64_t(DemoStepMs) * pace;
    return pace > 1 ? int64_t(kQuickDemoStepMs) * pace : 0;
}

void TVTInterface::DemoTimer()
{
    DisableTimer();
    if (State() < vtsOpening || IsPausedState(State())) return;
    Player.Fast = DemoFast;
    In.Computer.DoCalculate = DoCalculate;
    // DemoFast paces against the real clock with a 1 ms timer, so each call
    // plays one sample (the next is due later than the clock). With a demo
    // step, playback runs on a clock of its own that moves that stretch of
    // the recording per call, events still processed between the calls.
    if (const int step = FastDemoStepMs()) FDemoClock += step;
    else FDemoClock = TickCount();
    const int next = Player.Timer(FDemoClock);
    SyncResults();
    if (next < 0 || State() < vtsOpening) return;
    if (IsPausedState(State())) return;  // a handler paused: Continue enables the timer
    EnableTimer(DemoFast || next <= 0 ? 1 : next);
}

// ---- operations -----------------------------------------------------------------

void TVTInterface::Prepare()
{
    TInterface::Prepare();
    OpenLog();
    SyncSettings();
    In.Prepare();
}

void TVTInterface::Pause()
{
    if (State() < vtsOpened || IsPausedState(State())) return;
    TInUse::TScope busy(InUse);
    Guarded([&] {
        ErrorShown = false;
        SetState(vtsPausing);
        if (SourceType == 2) DisableTimer();
        SetState(vtsPaused);
    });
}

void TVTInterface::Continue()
{
    if (State() != vtsPaused) return;
    TInUse::TScope busy(InUse);
    Guarded([&] {
        SetState(vtsContinueing);
        if (SourceType == 2) {
            if (!FastDemoStepMs()) FDemoClock = TickCount();
            Player.Continue(FDemoClock);
            EnableTimer();
        }
        SetState(vtsContinued);
        SetState(vtsOpened);
    });
}

void TVTInterface::Reset()
{
    if (State() != vtsOpened) return;
    Guarded([&] { In.Reset(); });
}

void TVTInterface::Close()
{
    if (State() == vtsClosing || State() == vtsClosed) return;
    TInUse::TScope busy(InUse);
    // Close may be called from a handler inside the stroke computation; the
    // computation sees the state drop (IsOpen) and ends that pulse itself.
    Guarded([&] {
        StopTimer();
        SetState(vtsClosing);
        CloseLog();
        if (SourceType == 1) ComPortClose();
        else DemoClose();
        In.Close();
        DataSeen = false;
        ValidSeen = false;
        SetState(vtsClosed);
    });
}

// ---- TVXInterface -----------------------------------------------------------------

TVXInterface::TVXInterface()
{
    InterfaceType = 2;
    // Both wired protocols of the VT3 machine's interface.
    ProtocolSet = {vtpVtw, vtpVT3W};
    GetPortList();
}

void TVXInterface::GetPortList()
{
    TInterface::GetPortList();
    if (VirtualEnvironmentFound()) return;
    PortList = AdapterPorts(kFtdiVendor, kFtdiProduct);
}

void TVXInterface::ComPortOpen()
{
    TVTInterface::ComPortOpen();
    Description = PortAdapter(Source, kFtdiVendor, kFtdiProduct);
}

void TVXInterface::ComPortClose()
{
    TInterface::ComPortClose();
    Description.clear();
}

// ---- TODInterface -----------------------------------------------------------------

TODInterface::TODInterface()
{
    InterfaceType = 5;
    ProtocolSet = {vtpOTDebug};
    In.TextLines = true;
    Port().SetBaudRate(115200);
    Port().SetDataBits(8);
    Port().SetParityType(0);
    Port().SetStopBits(0);
    Port().SetFlowControl(fcRtsControlEnable);
    UseRTS = false;
    UseDTR = false;
}

void TODInterface::ComPortOpen()
{
    TVTInterface::ComPortOpen();
    if (Port().Active()) Port().SendString("\r\n");
}
