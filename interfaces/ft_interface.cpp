#include "interfaces/ft_interface.h"

#include <map>
#include <mutex>

#include "interfaces/delay.h"
#include "interfaces/devices/capture.h"
#include "interfaces/devices/demo_data.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/trace.h"

namespace {

// The demo machine's capture for a recording and weight, made once.
std::string DemoCapture(const std::string& file, double weight, std::string& error)
{
    static std::mutex lock;
    static std::map<std::pair<std::string, long>, std::string> made;
    const auto key = std::make_pair(file, long(weight * 10));
    std::lock_guard<std::mutex> guard(lock);
    auto it = made.find(key);
    if (it != made.end()) return it->second;
    std::vector<uint8_t> bytes;
    if (file.empty()) {
        bytes = BuiltInDemoData();
    } else {
        int code = 0;
        if (!ReadWholeFile(file, bytes, code)) {
            error = "Cannot read \"" + file + "\"";
            return "";
        }
    }
    const auto strokes = RecordingStrokes(bytes, weight, error);
    if (!error.empty()) return "";
    return made[key] = MakeFtmsCapture(strokes, "Demo rowing machine");
}

}  // namespace

TFTInterface::TFTInterface()
{
    InterfaceType = kFtmsInterfaceType;
    ProtocolSet = {vtpFTMS};
    SourceType = 1;
    GetPortList();
}

TFTInterface::~TFTInterface()
{
    try {
        Close();
    } catch (...) {
    }
    DropTransport();
}

// Bluetooth machines are found by a scan (the connect dialog's), not in a port list.
void TFTInterface::GetPortList() { PortList.clear(); }

void TFTInterface::Prepare()
{
    FAssembler.Reset();
    FMaker.Reset();
    FMaker.SetRecording(false);
    FMalformed = 0;
    FLastMalformed.clear();
    FTestTimerFired = false;
    FHeld = false;
    DataSeen = false;
    ValidSeen = false;
}

void TFTInterface::Status(const std::string& text)
{
    Trace("FTMS " + Source + ": " + text);
    if (OnStatusMessage) OnStatusMessage(this, text);
}

void TFTInterface::DropTransport()
{
    if (!FTransport) return;
    FTransport->Close();
    FTransport->OnConnected = nullptr;
    FTransport->OnNotification = nullptr;
    FTransport->OnStatus = FTransport->OnLost = FTransport->OnFailed = nullptr;
    FTransport->OnEnd = nullptr;
    // The transport may be running the event that closed the interface.
    ReleaseInUse(FTransport.release());
}

void TFTInterface::Start(std::unique_ptr<TBleTransport> transport)
{
    FTransport = std::move(transport);
    TBleTransport& t = *FTransport;
    Description = t.Description();
    // The transport's events run the interface's code.
    t.OnNotification = [this](uint16_t c, const std::vector<uint8_t>& b, double s) {
        TInUse::TScope busy(InUse);
        Notification(c, b, s);
    };
    t.OnStatus = [this](const std::string& text) {
        TInUse::TScope busy(InUse);
        Status(text);
    };
    t.OnLost = [this](const std::string& text) {
        TInUse::TScope busy(InUse);
        Status(text);
    };
    t.OnFailed = [this](const std::string& text) {
        TInUse::TScope busy(InUse);
        ShowError(text);
    };
    // A capture that ended: the session ends as at the end of demo data.
    t.OnEnd = [this] {
        TInUse::TScope busy(InUse);
        Status("End of the recording.");
        Close();
    };
    if (TestMode)
        StartTimer(5000, [this] {
            StopTimer();
            FTestTimerFired = true;
            if (ValidSeen) return;
            const std::string message = Format("No rower data from %s", Description.c_str());
            if (OnError) OnError(this, message);
            else throw ETarnError(message);
        });
    t.Open();
    WaitForTest();
}

void TFTInterface::WaitForTest()
{
    if (!TestMode) return;
    while (!FTestTimerFired && !ValidSeen && State() >= vtsOpening) Delay(10);
    StopTimer();
}

void TFTInterface::ComPortOpen()
{
    if (Source.empty()) throw ETarnError("No source selected");
    std::string error;
    auto transport = CreateBleTransport(Source, kRowerDataCharacteristic, CaptureSpeed, error);
    if (!transport) throw ETarnError(error);
    Start(std::move(transport));
}

void TFTInterface::DemoOpen()
{
    std::string error;
    const std::string capture = DemoCapture(DemoFile, Weight > 0 ? Weight : 80, error);
    if (!error.empty()) throw ETarnError(error);
    Start(CreateCaptureTransport(capture, "Demo rowing machine", kRowerDataCharacteristic, CaptureSpeed));
}

void TFTInterface::ComPortClose() { DropTransport(); }

void TFTInterface::DemoClose() { DropTransport(); }

void TFTInterface::Notification(uint16_t characteristic, const std::vector<uint8_t>& bytes, double seconds)
{
    if (State() < vtsOpening) return;
    DataSeen = true;
    if (characteristic != kRowerDataCharacteristic) return;
    TRowerData part;
    std::string error;
    if (!DecodeRowerData(bytes.data(), bytes.size(), part, error)) {
        ++FMalformed;
        FLastMalformed = error;
        Trace("FTMS " + Source + ": " + error);
        Fire(OnProtocolError);
        return;
    }
    ValidSeen = true;
    Protocol = vtpFTMS;
    if (State() == vtsOpening) {
        SetState(vtsOpened);
        if (State() < vtsOpening) return;
    }
    if (!FAssembler.Add(part)) return;
    const TRowerData record = FAssembler.Record();
    FMaker.SetRecording(FDoCalculate && State() == vtsOpened);
    if (!FDoCalculate && !TestMode && FTransport && FTransport->IsCapture() && !FHeld) {
        FHeld = true;
        FTransport->SetPaused(true);
    }
    if (OnRowerData) OnRowerData(this, record);
    if (State() < vtsOpening) return;
    if (!FMaker.Add(record, seconds)) return;
    StrokeData = FMaker.Stroke();
    if (OnStrokeData) OnStrokeData(this, StrokeData);
}

void TFTInterface::SetDoCalculate(bool on)
{
    FDoCalculate = on;
    if (on && FHeld) {
        FHeld = false;
        if (FTransport && !IsPausedState(State())) FTransport->SetPaused(false);
    }
}

void TFTInterface::Pause()
{
    if (State() < vtsOpened || IsPausedState(State())) return;
    TInUse::TScope busy(InUse);
    Guarded([&] {
        ErrorShown = false;
        SetState(vtsPausing);
        FMaker.SetRecording(false);
        if (FTransport) FTransport->SetPaused(true);
        SetState(vtsPaused);
    });
}

void TFTInterface::Continue()
{
    if (State() != vtsPaused) return;
    TInUse::TScope busy(InUse);
    Guarded([&] {
        SetState(vtsContinueing);
        if (FTransport && !FHeld) FTransport->SetPaused(false);
        SetState(vtsContinued);
        SetState(vtsOpened);
    });
}

void TFTInterface::Reset()
{
    if (State() != vtsOpened) return;
    FMaker.Reset();
}

void TFTInterface::Close()
{
    if (State() == vtsClosing || State() == vtsClosed) return;
    TInUse::TScope busy(InUse);
    Guarded([&] {
        StopTimer();
        SetState(vtsClosing);
        DropTransport();
        FAssembler.Reset();
        DataSeen = false;
        ValidSeen = false;
        SetState(vtsClosed);
    });
}
