#include "interfaces/interface.h"

#include <QTimer>
#include <cerrno>
#include <cstring>

#include "interfaces/delay.h"
#include "util/dialogs.h"
#include "util/text.h"
#include "util/trace.h"

namespace {

std::string HexText(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) out += Format("%02X ", c);
    return out;
}

}  // namespace

TInterface::TInterface() : FPort(std::make_unique<TSerialPortNG>())
{
    TSerialPortNG& p = *FPort;
    p.SetCommPort("COM1");
    p.SetBaudRate(9600);
    p.SetDataBits(8);
    p.SetParityType(0);
    p.SetStopBits(0);
    p.ErrorNoise = 0;
    p.SetClusterSize(4);

    p.OnRxClusterEvent = [this](TSerialPortNG*) {
        TInUse::TScope busy(InUse);
        ComPortRxCluster();
    };
    p.OnProcessError = [this](TSerialPortNG*, unsigned place, unsigned code, const std::string& msg, uint8_t) {
        TInUse::TScope busy(InUse);
        ComPortProcessError(place, code, msg);
    };
    p.OnTxQueueEmptyEvent = [this](TSerialPortNG*) { TraceEvent("TxQueueEmptyEvent", false); };
    p.OnWriteDone = [this](TSerialPortNG*) { TraceEvent("WriteDone", false); };
    p.OnBreakEvent = [this](TSerialPortNG*) { TraceEvent("BreakEvent", false); };
    p.OnCTSEvent = [this](TSerialPortNG*) { TraceEvent("CTSEvent", false); };
    p.OnDSREvent = [this](TSerialPortNG*) { TraceEvent("DSREvent", false); };
    p.OnLineErrorEvent = [this](TSerialPortNG*) { TraceEvent("LineErrorEvent", false); };
    p.OnRingEvent = [this](TSerialPortNG*) { TraceEvent("RingEvent", false); };
    p.OnRIEvent = [this](TSerialPortNG*) { TraceEvent("RIEvent", false); };
    p.OnRLSDEvent = [this](TSerialPortNG*) { TraceEvent("RLSDEvent", false); };
    p.OnRxCharEvent = [this](TSerialPortNG*) { TraceEvent("RxChar", true); };
    p.OnRxEventCharEvent = [this](TSerialPortNG*) { TraceEvent("RxEventCharEvent", false); };

    TInterface::GetPortList();
}

TInterface::~TInterface()
{
    if (FTimer) {
        FTimer->stop();
        delete FTimer;
        FTimer = nullptr;
    }
    if (FPort->Active()) {
        FPort->SetActive(false);
        Delay(100);
    }
}

bool TInterface::IsActive() { return SourceType == 1 && FPort->Active(); }

void TInterface::GetPortList() { PortList = CommPortList(); }

void TInterface::TraceEvent(const char* name, bool withData)
{
    if (!TraceSerial) return;
    std::string text;
    if (withData) {
        FPort->PeekFlag = true;
        text = HexText(FPort->ReadNextClusterAsString());
        FPort->PeekFlag = false;
    }
    Trace(std::string(name) + " : " + text);
}

void TInterface::ComPortRxCluster()
{
    if (!TraceSerial) return;
    FPort->PeekFlag = true;
    const std::string bytes = FPort->ReadNextClusterAsString();
    FPort->PeekFlag = false;
    Trace("RxCluster : " + HexText(bytes));
}

std::string TInterface::SerialErrorText(const std::string& message, unsigned code, unsigned place)
{
    std::string text =
        Format("ComPort : %s (Error %u %s - %u)", message.c_str(), code, code ? std::strerror(int(code)) : "", place);
    if (code == EACCES || code == EBUSY) text += "\rPlease check the port and interface cable.";
    if (code == EACCES)
        text +=
            "\rTo use serial ports your account must be a member of the \"dialout\" group "
            "(sudo usermod -a -G dialout $USER, then log in again).";
    return text;
}

void TInterface::ComPortProcessError(unsigned place, unsigned code, const std::string& msg)
{
    ShowError(SerialErrorText(msg, code, place));
}

void TInterface::ComPortClose()
{
    SetState(vtsClosing);
    do {
        Delay(100);
        FPort->PurgeRxQueue();
        FPort->PurgeTxQueue();
        FPort->SetActive(false);
        Delay(100);
    } while (FPort->Active());
    SetState(vtsClosed);
}

void TInterface::Open(uint8_t sourceType, const std::string& source)
{
    if (FState != vtsClosing && FState != vtsClosed) return;
    TInUse::TScope busy(InUse);
    Guarded([&] {
        ErrorShown = false;
        RxBuffer.clear();
        SourceType = sourceType;
        Source = source;
        Prepare();
        SetState(vtsOpening);
        if (sourceType == 1) ComPortOpen();
        else if (sourceType == 2) DemoOpen();
        else throw ETarnError("No device selected");
    });
}

void TInterface::Test(uint8_t sourceType, const std::string& source)
{
    TestMode = true;
    Open(sourceType, source);
    TestMode = false;
}

std::string TInterface::SourceName() const
{
    if (SourceType == 1) return Source;
    if (SourceType == 2) return "Demodata";
    return "";
}

void TInterface::ShowError(const std::string& message)
{
    if (ErrorShown) return;
    ErrorShown = true;
    Trace("TInterface.ShowError - FOnError " + message);
    TInUse::TScope busy(InUse);
    if (OnError) OnError(this, message);
    else ShowErrorBox(message);
    try {
        Close();
    } catch (const std::exception& e) {
        Trace(std::string("TInterface.ShowError - Close failed: ") + e.what());
    }
}

void TInterface::StartTimer(int ms, std::function<void()> handler)
{
    StopTimer();
    FTimer = new QTimer();
    FTimer->setTimerType(Qt::PreciseTimer);
    FTimer->setInterval(Paced(ms));
    FTimerHandler = std::move(handler);
    // The connection goes with the timer, which goes with the interface.
    QObject::connect(FTimer, &QTimer::timeout, [this] {
        // A copy: the handler may stop the timer (and so drop its own function).
        auto handler = FTimerHandler;
        if (!handler) return;
        TInUse::TScope busy(InUse);
        ++FTimerDepth;
        Guarded(handler);
        --FTimerDepth;
    });
    FTimer->start();
}

void TInterface::StopTimer()
{
    if (!FTimer) return;
    FTimer->stop();
    FTimerHandler = nullptr;
    // The timer may be the one whose handler is running: delete it later.
    QTimer* old = FTimer;
    FTimer = nullptr;
    QObject::disconnect(old, nullptr, nullptr, nullptr);
    if (FTimerDepth > 0) old->deleteLater();
    else delete old;
}

bool TInterface::TimerRunning() const { return FTimer && FTimer->isActive(); }

void TInterface::DisableTimer()
{
    if (FTimer) FTimer->stop();
}

void TInterface::EnableTimer(int ms)
{
    if (!FTimer) return;
    if (ms >= 0) FTimer->setInterval(Paced(ms));
    FTimer->start();
}

void TInterface::SetState(TTarnState newState)
{
    if (newState == FState) return;
    const TTarnState old = FState;
    Trace("State " + Source + " " + TarnStateName(old) + " -> " + TarnStateName(newState) + " (" + TypeName() + ")");
    FState = newState;
    TInUse::TScope busy(InUse);
    if (OnStateChange) OnStateChange(this, old, newState);
    FireStateEvent(newState);
}

void TInterface::FireStateEvent(TTarnState state)
{
    switch (state) {
    case vtsClosing: Fire(OnClosing); break;
    case vtsClosed: Fire(OnClosed); break;
    case vtsOpening: Fire(OnOpening); break;
    case vtsOpened: Fire(OnOpened); break;
    case vtsSearching: Fire(OnSearching); break;
    case vtsSearchFound: Fire(OnSearchFound); break;
    case vtsSearchNotFound: Fire(OnSearchNotFound); break;
    case vtsSearchCanceled: Fire(OnSearchCanceled); break;
    case vtsVerifying: Fire(OnVerifying); break;
    case vtsVerified: Fire(OnVerified); break;
    case vtsAccepting: Fire(OnAccepting); break;
    case vtsAccepted: Fire(OnAccepted); break;
    case vtsStartingWorkout:
        if (OnStartingWorkout) OnStartingWorkout(this, Ini);
        break;
    case vtsWorkoutStarted: Fire(OnWorkoutStarted); break;
    case vtsCancelingWorkout: Fire(OnCancelingWorkout); break;
    case vtsWorkoutCanceled: Fire(OnWorkoutCanceled); break;
    case vtsFinishingWorkout: Fire(OnFinishingWorkout); break;
    case vtsWorkoutFinished:
        if (OnWorkoutFinished) OnWorkoutFinished(this, Workout);
        break;
    case vtsStartingStroke: Fire(OnStartingStroke); break;
    case vtsStrokeFinished: Fire(OnStrokeFinished); break;
    case vtsStartingRecover: Fire(OnStartingRecover); break;
    case vtsRecoverFinished: Fire(OnRecoverFinished); break;
    case vtsPausing: Fire(OnPausing); break;
    case vtsPaused: Fire(OnPaused); break;
    case vtsContinueing: Fire(OnContinueing); break;
    case vtsContinued: Fire(OnContinued); break;
    }
}

// ---- T__Interface -----------------------------------------------------------

T__Interface::T__Interface() { InterfaceType = 0; }

// ---- TBXInterface -----------------------------------------------------------

TBXInterface::TBXInterface()
{
    InterfaceType = 4;
    ProtocolSet = {vtpBrax};
}

TBXInterface::~TBXInterface()
{
    try {
        Close();
    } catch (...) {
    }
}

void TBXInterface::ComPortOpen()
{
    ComPortClose();
    Source.clear();
    StopTimer();
}

void TBXInterface::ComPortRxCluster()
{
    TInterface::ComPortRxCluster();
    RxBuffer += Port().ReadNextClusterAsString();
}

void TBXInterface::DemoOpen()
{
    if (OnError) OnError(this, "Demo data not supported yet");
}

void TBXInterface::Close()
{
    if (State() == vtsClosing || State() == vtsClosed) return;
    TInUse::TScope busy(InUse);
    Guarded([&] {
        SetState(vtsClosing);
        StopTimer();
        CloseLog();
        if (SourceType == 1) ComPortClose();
        else DemoClose();
        ValidSeen = false;
        SetState(vtsClosed);
    });
}
