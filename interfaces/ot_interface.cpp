#include "interfaces/ot_interface.h"

#include <sys/stat.h>

#include <algorithm>

#include "interfaces/delay.h"
#include "interfaces/serial/usb_devices.h"
#include "util/dialogs.h"
#include "util/text.h"
#include "util/trace.h"
#include "util/virtual_env.h"

namespace {

std::string JoinPorts(const std::vector<std::string>& list)
{
    std::string out;
    for (const auto& p : list) {
        if (!out.empty()) out += ",";
        out += p;
    }
    return out;
}

bool IsDeviceFile(const std::string& path)
{
    struct stat st {};
    return path.find('/') != std::string::npos && stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

TOTInterface::TOTInterface()
{
    InterfaceType = 3;
    ProtocolSet = {vtpOTM};
    SourceType = 1;
    Port().SetCommPort("COM1");
    Port().SetBaudRate(115200);
    Port().SetDataBits(8);
    Port().SetParityType(0);
    Port().SetStopBits(0);
    Port().SetClusterSize(7);
    FSearch.Trace = [](const std::string& line) { Trace(line); };
    GetPortList();
}

TOTInterface::~TOTInterface()
{
    try {
        Close();
    } catch (...) {
    }
}

void TOTInterface::GetPortList()
{
    TInterface::GetPortList();
    if (VirtualEnvironmentFound()) return;
    const auto ports = AdapterPorts(kSiliconLabsVendor, kOtmProduct);
    if (!ports.empty()) PortList = ports;
}

void TOTInterface::Send(uint8_t type)
{
    const auto frame = OTCommandFrame(type);
    Port().SendData(frame.data(), frame.size());
}

void TOTInterface::ComPortRxCluster()
{
    TInterface::ComPortRxCluster();
    const std::string bytes = Port().ReadNextClusterAsString();
    if (bytes.empty()) return;
    FSearch.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (TraceEnabled()) {
        const auto& buf = FSearch.Buffer();
        std::string text = Format("ComPortRxCluster : Buffer = (%d) ", int(buf.size()));
        const bool binary = std::any_of(
            buf.begin(), buf.end(), [](uint8_t c) { return !(c == 9 || c == 10 || c == 13 || (c >= 32 && c <= 126)); });
        if (binary)
            for (uint8_t c : buf) text += c == 0 ? std::string("0 ") : Format("%02X ", c);
        text.append(buf.begin(), buf.end());
        for (size_t i = 0; i < text.size(); i += 250) Trace(text.substr(i, 250));
    }
    ProcessBuffer();
}

void TOTInterface::ProcessBuffer()
{
    // A frame handler may pump events (closing the port does): the running
    // call goes on with the bytes that arrive meanwhile.
    if (FProcessing) return;
    // An accepted frame that the waiting start-up has not taken yet stays.
    if (FSearch.Kind != otfNone && State() != vtsWorkoutStarted) return;
    FProcessing = true;
    for (;;) {
        const bool progress = FSearch.CheckForFrame();
        if (FSearch.Kind != otfNone) {
            // Outside a workout the waiting start-up takes the frame; the rest
            // of the buffer waits until it expects the next frames.
            if (State() != vtsWorkoutStarted) break;
            Guarded([&] { HandleWorkoutFrame(); });
        }
        if (!progress || State() == vtsClosed) break;
    }
    FProcessing = false;
}

void TOTInterface::HandleWorkoutFrame()
{
    const uint8_t* f = FSearch.Frame.data();
    switch (FSearch.Kind) {
    case otfStrokeFinished: {
        FillOTStroke(f, FEnergy, StrokeData, ForceCurve);
        if (OnStrokeData) OnStrokeData(this, StrokeData);
        SmoothOTCurve(ForceCurve, Smoothing);
        if (OnForceCurve) OnForceCurve(this, ForceCurve);
        break;
    }
    case otfWorkoutFinished:
        FillOTWorkout(f, Workout);
        SetState(vtsWorkoutFinished);
        ComPortClose();
        break;
    case otfWorkoutCanceled:
        SetState(vtsWorkoutCanceled);
        ComPortClose();
        break;
    default: break;
    }
    FSearch.Kind = otfNone;
}

bool TOTInterface::WaitForFrame(int timeoutMs, int stepMs, int sendEvery, bool& cancelled)
{
    FTimedOut = false;
    StartTimer(timeoutMs, [this] {
        FTimedOut = true;
        StopTimer();
    });
    // Frames that arrived before this wait began.
    ProcessBuffer();
    for (int step = 0; FSearch.Kind == otfNone && !cancelled && !FTimedOut; ++step) {
        if (sendEvery > 0 && step % sendEvery == 0) Send(1);
        if (OnWaiting) OnWaiting(this, cancelled);
        if (cancelled || FSearch.Kind != otfNone) break;
        Delay(stepMs);
        if (State() == vtsClosing || State() == vtsClosed || !Port().Active()) {
            StopTimer();
            return false;
        }
    }
    StopTimer();
    return true;
}

void TOTInterface::ComPortOpen()
{
    if (Port().Active()) ComPortClose();
    Trace("ComPortOpen : Portlist and [used] " + JoinPorts(PortList) + " [" + Source + "]");
    Trace("ComPortConnect : Portlist and [used] " + JoinPorts(PortList) + " [" + Source + "]");
    // A listed port, or a device the user named (a pseudo-terminal, a port the
    // system does not list), is tried alone; otherwise every listed port.
    std::vector<std::string> ports;
    const bool listed = std::find(PortList.begin(), PortList.end(), Source) != PortList.end();
    const bool all = !listed && !IsDeviceFile(Source);
    if (all) ports = PortList;
    else ports = {Source};

    bool cancelled = false;
    bool found = false;
    for (const auto& port : ports) {
        ComPortClose();
        FSearch.Clear();
        FSearch.Expected = OTMask(OTM_ALIVE);
        Port().SetCommPort(port);
        Port().PurgeRxQueue();
        SetState(vtsSearching);
        Port().SetActive(true);
        if (!Port().Active()) {
            if (ErrorShown) return;  // reported (and closed)
            continue;
        }
        if (!WaitForFrame(SearchTimeout, 50, 40, cancelled)) return;
        if (FSearch.Kind == otfAlive) {
            found = true;
            Source = port;
            break;
        }
        if (cancelled || !all) break;
    }
    if (!found) {
        ComPortClose();
        SetState(cancelled ? vtsSearchCanceled : vtsSearchNotFound);
        return;
    }
    SetState(vtsSearchFound);
    SetState(vtsVerifying);
    Identification.assign(FSearch.Frame.begin() + 4, FSearch.Frame.end() - 3);
    ValidSeen = true;
    DataSeen = true;
    SetState(vtsVerified);
    SetState(vtsAccepting);
    FSearch.Kind = otfNone;
    FSearch.Expected = OTMask(OTM_STARTWORKOUT) | OTMask(OTM_WORKOUTCANCELED);
    Send(2);

    SetState(vtsStartingWorkout);
    if (!WaitForFrame(WorkoutTimeout, 10, 0, cancelled)) return;
    if (FSearch.Kind == otfStartWorkout) {
        FillOTIni(FSearch.Frame.data(), Ini);
        Protocol = vtpOTM;
        SetState(vtsWorkoutStarted);
        FSearch.Kind = otfNone;
        FSearch.Expected = OTMask(OTM_STROKEFINISHED) | OTMask(OTM_WORKOUTFINISHED) | OTMask(OTM_WORKOUTCANCELED);
        // Strokes that came in with the start frame.
        ProcessBuffer();
    } else if (FSearch.Kind == otfWorkoutCanceled) {
        ComPortClose();
        ShowInformationBox("Workout canceled");
    } else {
        ComPortClose();
        ShowInformationBox("Waiting for workout canceled");
    }
}

void TOTInterface::ComPortClose()
{
    if (Port().Active()) Send(3);
    TInterface::ComPortClose();
}

void TOTInterface::DemoOpen()
{
    if (OnError) OnError(this, "Demo data not supported yet");
}

void TOTInterface::Close()
{
    if (State() == vtsClosing || State() == vtsClosed) return;
    TInUse::TScope busy(InUse);
    Guarded([&] {
        SetState(vtsClosing);
        StopTimer();
        ComPortClose();
        ValidSeen = false;
        SetState(vtsClosed);
    });
}
