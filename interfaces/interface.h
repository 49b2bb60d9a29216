#pragma once
// TInterface: the common base of every device interface. One state machine
// (TTarnState), opening by source type, error reporting once per open, the
// serial event plumbing and one timer. Subclasses supply the device protocol.
//
// Events are std::function members (empty ones are skipped). They run on the
// user-interface thread; a handler may pause, continue or close the interface
// (the operations tolerate re-entry). The interface's operations, its timer
// and its port events count as running in InUse, and an owner gives an
// interface up with ReleaseInUse: from a handler, or from inside a wait of the
// interface, it is deleted once the interface's own code has returned.
//
// Interface types: 0 T__Interface, 1 TVTInterface, 2 TVXInterface, 3
// TOTInterface, 4 TBXInterface, 5 TODInterface, 6 TRWInterface, 7
// TFTInterface (Bluetooth FTMS rowing machines).
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/records.h"
#include "interfaces/devices/tarn_types.h"
#include "interfaces/in_use.h"
#include "interfaces/serial/serial_port.h"

class QTimer;

// The exception raised inside interfaces; its message is what ShowError reports.
class ETarnError : public std::runtime_error {
public:
    explicit ETarnError(const std::string& message) : std::runtime_error(message) {}
};

class TInterface {
public:
    using TNotifyEvent = std::function<void(TInterface* Sender)>;
    using TTarnStateChangeEvent = std::function<void(TInterface* Sender, TTarnState OldState, TTarnState NewState)>;
    using TTarnStartingWorkoutEvent = std::function<void(TInterface* Sender, TStgIni& Ini)>;
    using TTarnWorkoutFinishedEvent = std::function<void(TInterface* Sender, TStgWorkout& Workout)>;
    using TTarnStrokeDataEvent = std::function<void(TInterface* Sender, TStgStrokeData& Data)>;
    using TTarnForceCurveEvent = std::function<void(TInterface* Sender, TStgForceCurve& Data)>;
    using TTarnErrorEvent = std::function<void(TInterface* Sender, const std::string& Error)>;

    TInterface();
    virtual ~TInterface();
    TInterface(const TInterface&) = delete;
    TInterface& operator=(const TInterface&) = delete;

    // The interface's own code running on the stack.
    TInUse InUse;

    // Published properties.
    TTarnBoatType BoatType = vtb1x;
    double Weight = 85.0;
    int32_t Cog = 11;
    TTarnProtocolSet ProtocolSet;
    TTarnProtocol Protocol = vtpUnknown;

    // Further state.
    TTarnState State() const { return FState; }
    uint8_t SourceType = 0;  // 1 serial port or radio device, 2 demo data
    std::string Source;
    uint8_t InterfaceType = 0;
    bool TestMode = false;
    bool ErrorShown = false;
    bool DataSeen = false;
    bool ValidSeen = false;
    std::string RxBuffer;
    std::vector<std::string> PortList;
    std::string Description;
    bool UseRTS = true;
    bool UseDTR = true;
    bool TraceSerial = false;
    std::string RawLogFile;

    // Records handed out by reference with the events.
    TStgStrokeData StrokeData{};
    TStgForceCurve ForceCurve{};
    TStgIni Ini{};
    TStgWorkout Workout{};

    TSerialPortNG& Port() { return *FPort; }

    // Virtual operations.
    virtual void OpenLog() = 0;
    virtual void WriteLog() = 0;
    virtual void CloseLog() = 0;
    virtual bool IsActive();
    virtual void ComPortOpen() = 0;
    virtual void ComPortClose();
    virtual void GetPortList();
    virtual void ComPortRxCluster();
    virtual void DemoOpen() = 0;
    virtual void DemoClose() = 0;
    virtual bool DemoRead() = 0;
    virtual void DemoProcess() = 0;
    virtual void DemoTimer() = 0;
    virtual void Close() = 0;
    virtual void Prepare() {}
    virtual void Pause() {}
    virtual void Continue() {}
    virtual void Reset() {}

    // Operations.
    void Open(uint8_t sourceType, const std::string& source);
    void Test(uint8_t sourceType, const std::string& source);
    std::string SourceName() const;
    void ShowError(const std::string& message);
    // The single timer: StartTimer replaces a running one.
    void StartTimer(int ms, std::function<void()> handler);
    void StopTimer();
    bool TimerRunning() const;
    void SetState(TTarnState newState);
    // Name of this interface's type ("VT Interface" ...).
    std::string TypeName() const { return InterfaceTypeName(InterfaceType); }

    // Events.
    TTarnStateChangeEvent OnStateChange;
    TNotifyEvent OnClosing, OnClosed, OnOpening, OnOpened, OnSearching, OnSearchFound, OnSearchNotFound,
        OnSearchCanceled, OnVerifying, OnVerified, OnAccepting, OnAccepted, OnWorkoutStarted, OnCancelingWorkout,
        OnWorkoutCanceled, OnFinishingWorkout, OnStartingStroke, OnStrokeFinished, OnStartingRecover, OnRecoverFinished,
        OnPausing, OnPaused, OnContinueing, OnContinued;
    TTarnStartingWorkoutEvent OnStartingWorkout;
    TTarnWorkoutFinishedEvent OnWorkoutFinished;
    TTarnStrokeDataEvent OnStrokeData;
    TTarnForceCurveEvent OnForceCurve;
    TTarnErrorEvent OnError;
    TNotifyEvent OnProtocolError;

    // The text of a serial error report ("ComPort : ..."), as ShowError gets it.
    static std::string SerialErrorText(const std::string& message, unsigned code, unsigned place);

protected:
    // Runs an operation and reports an ETarnError (or any other exception) through ShowError.
    template <class F>
    void Guarded(F&& f);
    // Pauses or resumes the timer without dropping its handler.
    void DisableTimer();
    void EnableTimer(int ms = -1);
    void Fire(const TNotifyEvent& event)
    {
        if (event) event(this);
    }

private:
    void FireStateEvent(TTarnState state);
    void ComPortProcessError(unsigned place, unsigned code, const std::string& msg);
    void TraceEvent(const char* name, bool withData);

    TTarnState FState = vtsClosed;
    std::unique_ptr<TSerialPortNG> FPort;
    QTimer* FTimer = nullptr;
    std::function<void()> FTimerHandler;
    int FTimerDepth = 0;  // timer handlers running (a timer is not deleted inside its own handler)
};

template <class F>
void TInterface::Guarded(F&& f)
{
    try {
        f();
    } catch (const ETarnError& e) {
        ShowError(e.what());
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

// Interface type 0: does nothing (the connect dialog's marker of a running
// test; the row window reads the plain port list through one).
class T__Interface : public TInterface {
public:
    T__Interface();
    void OpenLog() override {}
    void WriteLog() override {}
    void CloseLog() override {}
    void ComPortOpen() override {}
    void DemoOpen() override {}
    void DemoClose() override {}
    bool DemoRead() override { return false; }
    void DemoProcess() override {}
    void DemoTimer() override {}
    void Close() override {}
};

// Interface type 4: the Brax slot. It never opens a port and never produces data.
class TBXInterface : public TInterface {
public:
    TBXInterface();
    ~TBXInterface() override;
    void OpenLog() override {}
    void WriteLog() override {}
    void CloseLog() override {}
    void ComPortOpen() override;
    void ComPortRxCluster() override;
    void DemoOpen() override;
    void DemoClose() override {}
    bool DemoRead() override { return false; }
    void DemoProcess() override {}
    void DemoTimer() override {}
    void Close() override;
};

// Creates the interface of a type number (0..7); nullptr for other numbers.
std::unique_ptr<TInterface> CreateInterface(int interfaceType);
