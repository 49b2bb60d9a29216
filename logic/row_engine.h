#pragma once
// TRowEngine: the recording engine of the row window. It owns the one device
// interface of a row session, runs the connect / pause / continue / disconnect
// button, records raw samples, force samples, strokes and force curves into
// a session of the session store, cuts intervals, stops at the session limit,
// keeps the usage statistics and pushes each stroke's values to the value store.
//
// The engine announces what it writes through the store (strokes appended,
// curves and totals changed, resets), so the training and chart windows follow
// the recording by listening to the store. It listens too: a reset of its
// session from elsewhere (the training window) restarts the recording, and a
// change of the session's header or workout refreshes it.
//
// Everything that needs a window goes through TRowHost: the row window
// implements it, the command-line tool has a console host, tests have their
// own. Settings and statistics come from the program services handed in. The
// engine itself uses no widgets; questions and error boxes go through the
// dialog service (util/dialogs.h), waits through Delay (interfaces/delay.h).
//
// All calls run on the user-interface thread. The connect waits pump events,
// so handlers and user input run inside BtnConnectClick. Whatever runs there
// may close the window: the engine counts its running handlers (InUse), and
// its owner gives it up through Release (TRowEnginePtr does), which keeps it
// until the handler that waits has returned.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>

#include "core/intervals.h"
#include "core/records.h"
#include "core/values.h"
#include "files/journal.h"
#include "interfaces/heart_source.h"
#include "interfaces/in_use.h"
#include "interfaces/interface.h"
#include "logic/program_services.h"
#include "logic/session_store.h"

class QElapsedTimer;
class QTimer;
class TVTInterface;
struct TRowerData;

// Status bar panels the engine fills (indexes as on the status bar).
enum TRowPanel : int { rpCOM = 1, rpTurn = 2, rpSR = 3, rpAnimation = 4, rpTime = 5 };

class TRowHost {
public:
    virtual ~TRowHost() = default;

    // Connect dialog: shows it modally; false when cancelled. On OK, source is
    // the selected source ("" when none) and interfaceType the stored type.
    virtual bool ChooseSource(std::string& source, int& interfaceType) = 0;

    // Message window (progress texts of a connect; Esc hides it).
    virtual void ShowMessageWindow(const std::string& text) = 0;
    virtual void HideMessageWindow() = 0;
    virtual bool MessageWindowShown() = 0;

    // One line of the log page (already carries its time of day).
    virtual void LogLine(const std::string& /*line*/) {}

    // Value store of the row window (stroke parameter index 0..41).
    virtual void ClearValues() {}
    virtual void SetValue(int /*parameter*/, bool /*live*/, double /*value*/) {}
    virtual void RefreshValues() {}
    // The caption of a value's cell ("" = the parameter's own name).
    virtual void SetValueCaption(int /*parameter*/, const std::string& /*caption*/) {}

    // Display notifications.
    virtual void ButtonChanged() {}  // ButtonCaption / ButtonEnabled changed
    virtual void FocusButton() {}
    virtual void PanelsChanged() {}  // a panel text changed; repaint the status bar
    virtual void SessionReset() {}   // rebuild the left and right charts
    // RefreshSession ran: caption, curve colours, pens (OldCurveColor / NewCurveColor).
    virtual void SessionRefreshed() {}
    // Drive starts: clear both live curve series.
    virtual void DriveStarted() {}
    // Recovery starts: clear the previous-curve series, rebuild the reference curves.
    virtual void RecoveryStarted() {}
    // A force sample arrived (f already cleaned). Called before the sample is
    // stored, so DrivePositions / DriveForces still hold the previous drive at
    // puls .. 80 (the part not yet overtaken).
    virtual void ForceSample(int /*puls*/, double /*length*/, double /*force*/) {}
    // An OT force curve was stored at StrokeIndex(): redraw both live curves.
    virtual void ForceCurveStored(int /*strokeIndex*/) {}
    // Stroke k was stored (values pushed): rebuild the right chart, repaint the status bar.
    virtual void StrokeStored(int /*k*/) {}

    // Results window: shows the session's totals, averages and maxima modally.
    virtual void ShowResults(const TTraining& /*session*/) {}
    // Saves the row window's settings to the program settings file.
    virtual void SaveSettings() {}
    // The session can be saved as the user saves it (File > Save); SaveSession
    // does so and tells whether it was written.
    virtual bool CanSaveSession() { return false; }
    virtual bool SaveSession() { return false; }

    // Folder of the recording journals; "" records without a journal (the
    // default). The row window and the command-line tool journal every
    // recording in the user data folder.
    virtual std::string RecordingJournalFolder() { return {}; }
    // The journal cannot be written (the disk is full, say): the recording
    // goes on without it. By default a line of the log page.
    virtual void JournalFailed(const std::string& text) { LogLine(text); }

    // The heart-rate source paired with the rowing source (see
    // interfaces/heart_source.h), asked after the connect dialog closed;
    // nothing (the default) takes "HeartSource" of section "Connect" of the
    // program settings. The ANT+ settings come from section "HeartRate":
    // "AntNetworkKey", "AntLibrary" (libant.so), "AntReceiver" (0).
    virtual std::optional<std::string> HeartRateSource() { return std::nullopt; }
    // Tells the rower about the heart rate once (a strap that stopped, sends
    // nonsense, could not be started). The text also goes to the log.
    virtual void HeartRateMessage(const std::string& /*text*/) {}
};

class TRowEngine {
public:
    // Records into the session sessionId of store. A session that is not in
    // the store gets an empty record of the engine's own, which nobody else sees.
    TRowEngine(TSessionStore& store, int32_t sessionId, TRowHost& host, TProgramServices& program);
    ~TRowEngine();
    TRowEngine(const TRowEngine&) = delete;
    TRowEngine& operator=(const TRowEngine&) = delete;

    // Gives an engine up (its window goes): deleted now, or, when one of its
    // handlers runs further up (the window closed from a question or a wait
    // of that handler), shut down at once, cut off from its host and deleted
    // once the handler has returned to the event loop.
    static void Release(TRowEngine* engine);
    struct TRelease {
        void operator()(TRowEngine* engine) const { Release(engine); }
    };

    // The engine's handlers running on the stack; OnIdle tells when the last
    // one has returned.
    TInUse InUse;

    // Tuning values (loaded with the window's settings), applied at every connect.
    int Inertia = 8800;
    int StrokeTrigger = 0;
    int Tension = 0;
    int ThresHold = 5;
    bool DemoFast = true;
    // Demo step of the VT interface (TVTInterface::DemoStepMs); -1 keeps its own.
    int DemoStepMs = -1;
    // Connect settings, read from section "Connect" at each connect.
    bool StrictProtocol = true;
    bool RawHeartRate = false;
    // Demo recording file for demo data ("" = the program's own).
    std::string DemoFile;
    // Pace of captures (rowing machines and straps): 1 = as recorded, 0 = at once.
    double CaptureSpeed = 1.0;
    // A heart rate older than this is no longer the rower's (ms).
    int HeartRateTimeout = 5000;

    // The session being recorded and its id.
    int32_t SessionId() const { return FId; }
    TTraining& Session() { return FSession; }
    const TTraining& Session() const { return FSession; }

    // Entry points.
    void BtnConnectClick();
    // Empties the session through the store; the store's reset announcement
    // restarts the recording (ResetRecording).
    void ResetSession();
    void RefreshSession();
    // Caption of the button ("&Connect", "&Pause", "&Continue") and its state.
    const std::string& ButtonCaption() const { return FButtonCaption; }
    bool ButtonEnabled() const { return FButtonEnabled; }
    void UpdateButtonCaption();
    // Disconnects without a question (Ctrl+C of the command-line tool, a
    // pulled device): closes and drops the interface; the session keeps every
    // stroke with totals from the last one.
    void Disconnect();
    // The window closes: closes an open interface and drops it. A connect
    // waiting in BtnConnectClick stops after its wait. Safe to call twice.
    void Shutdown();
    bool ShuttingDown() const { return FShutdown; }

    // Value pushing (also run after resets and by RefreshSession).
    void PushLimitValues();
    void PushLiveValues();

    // The incorrect-protocol message; fromTest leaves out the hint to use [Test].
    static std::string ProtocolMessageText(const TTarnProtocolSet& protocols, bool fromTest);
    static void ShowProtocolMessage(const TInterface& iface, bool fromTest);

    // Interface event handlers (attached by the connect).
    void InterfaceStateChange(TInterface* sender, TTarnState oldState, TTarnState newState);
    void InterfaceOpening(TInterface* sender);
    void InterfaceOpened(TInterface* sender);
    void InterfacePaused(TInterface* sender);
    void InterfaceContinued(TInterface* sender);
    void InterfaceClosing(TInterface* sender);
    void InterfaceClosed(TInterface* sender);
    void InterfaceError(TInterface* sender, const std::string& text);
    void InterfaceProtocolError(TInterface* sender);
    void VTInterfaceRawData(TInterface* sender, double wheel, int heartRaw, int heartCorrected);
    void VTInterfaceForceData(TInterface* sender, int puls, double length, double force, double deltaTime);
    void VTInterfaceStartingStroke(TInterface* sender);
    void VTInterfaceStartingRecover(TInterface* sender);
    void InterfaceStrokeData(TInterface* sender, const TStgStrokeData& stroke);
    void InterfaceForceCurve(TInterface* sender, const TStgForceCurve& curve);
    void OTInterfaceWaiting(TInterface* sender, bool& cancel);
    void OTInterfaceNotFound(TInterface* sender);
    void OTInterfaceStartingWorkout(TInterface* sender);
    void OTInterfaceWorkoutStarted(TInterface* sender);
    void FTInterfaceRowerData(TInterface* sender, const TRowerData& record);

    // Heart rate (the paired source's, while it delivers).
    void HeartRateReceived(int bpm);
    // Checks whether the source still delivers (run every second while one runs).
    void CheckHeartRate();
    THeartRateSource* HeartSource() const { return FHeart.get(); }
    // The heart rate taken as the pulse now; 0 when there is none.
    int HeartRate() const { return FHeartBpm; }

    // Engine state (read by the display and by tests).
    TInterface* Interface() const { return FInterface.get(); }
    int32_t StrokeIndex() const { return FStrokeIndex; }
    int32_t ForceIndex() const { return FForceIndex; }
    const TIntervalState& IntervalState() const { return FIntervals; }
    bool Finished() const { return FFinished; }
    uint32_t DataCount() const { return FDataCount; }
    int32_t RawCount() const { return FRawCount; }
    uint32_t ProtocolErrors() const { return FProtocolErrors; }
    const TStgForceCurve& CurveBuffer() const { return FCurveBuffer; }
    // Index 1..80 (0 unused).
    const std::array<double, 81>& DrivePositions() const { return FDrivePositions; }
    const std::array<double, 81>& DriveForces() const { return FDriveForces; }
    bool DataArrived() const { return FDataArrived; }
    double ClockStart() const { return FClockStart; }
    // The rowing clock in seconds: the recording's own time, as the strokes'
    // Time counts it, advanced by every pulse between two strokes. The Time
    // panel and the Time value show it; a pause does not restart it.
    double RowClock() const { return FRowClock; }
    double RowingStart() const { return FRowingStart; }
    int32_t OldCurveColor() const { return FOldCurveColor; }
    int32_t NewCurveColor() const { return FNewCurveColor; }
    // Status panel texts (rpCOM, rpTurn, rpSR, rpTime; rpAnimation is drawn).
    const std::string& PanelText(int panel) const;
    // The interface type of the last connect (0 before one).
    int ConnectedType() const { return FConnectedType; }
    // False while the interface is a machine that measures no force (no force curves).
    bool MeasuresForce() const { return !FNoForce; }
    // True while a connect runs its waits inside BtnConnectClick.
    bool Connecting() const { return FConnecting; }

    // Creates the interface of a type with the settings and the first set of
    // events of the connect table; nullptr for an unknown type.
    std::unique_ptr<TInterface> CreateConfiguredInterface(int interfaceType);
    // Attaches the data handlers (second set) and sets DoCalculate.
    void AttachDataHandlers(TInterface& iface);

    // Clock for the elapsed time and rowing time (day count); tests may replace it.
    double (*Now)() = nullptr;

    // The journal of the recording in progress (nullptr before its first
    // stroke, after it closed, and without a journal folder).
    const TJournalWriter* Journal() const { return FJournal.get(); }

private:
    template <class... A>
    auto Handler(void (TRowEngine::*member)(A...));
    void Connect();
    void DestroyInterface();
    // Recording state back to its start: counters, interval cutter, curve
    // buffer, drive arrays, charts and values (the record itself is reset).
    void ResetRecording();
    void SetButtonEnabled(bool enabled);
    void SetPanel(int panel, const std::string& text);
    void ClearPanels();
    void ApplyMachineSettings(TVTInterface& vt);
    void ReadConnectSettings();
    double CurrentTime() const;
    std::string TimeOfDay() const;
    void CountRowingTime();
    void StartHeartRate();
    void StopHeartRate();
    void HeartRateLost(const std::string& why);
    // The ANT+ settings of the program settings file.
    THeartSourceOptions HeartRateOptions() const;
    double HeartClock() const;
    // Shows the rowing clock in the Time panel and the Time value when it
    // has passed a whole second since it was last shown (always when forced).
    void ShowRowClock(bool force);
    // The Time value of the rowing clock (day fraction, whole seconds; the
    // time left with a time limit).
    double RowClockValue() const;
    // The journal: stroke k (and what changed with it) goes to disk; the
    // recording closed; the recorded data is thrown away by a reset.
    void JournalStroke(int k, uint8_t stateFlags);
    // The session average after stroke k was written.
    void UpdateAverage(int k);
    // Runs one of this engine's own announcements to the store.
    void Announce(const std::function<void()>& notify);
    void JournalClosed();
    void DiscardJournal();

    QPointer<TSessionStore> FStore;
    int32_t FId;
    std::shared_ptr<TTraining> FRecord;  // shared with the store: it outlives the session's removal
    TTraining& FSession;
    TRowHost* FHost;  // a host that does nothing once the engine was given up
    TProgramServices& FProgram;
    std::unique_ptr<QObject> FListener;  // context of the store connections
    std::unique_ptr<TInterface> FInterface;
    int32_t FStrokeIndex = 0;
    int32_t FForceIndex = 0;
    TIntervalState FIntervals;
    bool FFinished = false;
    uint32_t FDataCount = 0;
    int32_t FRawCount = 0;
    uint32_t FProtocolErrors = 0;
    TStgForceCurve FCurveBuffer{};
    TAverageStrokeCache FAverage;  // slot 0 of the session, kept stroke by stroke
    // Nobody else changed the session's strokes since the last average: it
    // looks only at the strokes written since. Others' changes are announced.
    bool FAverageOwn = false;
    bool FAnnouncing = false;  // this engine's own announcement is under way
    std::array<double, 81> FDrivePositions{};
    std::array<double, 81> FDriveForces{};
    bool FDataArrived = false;
    double FClockStart = 0;
    double FRowClock = 0;
    int64_t FShownSecond = -1;
    double FRowingStart = 0;
    int32_t FOldCurveColor = 0x0000FF;
    int32_t FNewCurveColor = 0xFF0000;
    std::string FButtonCaption = "&Connect";
    bool FButtonEnabled = true;
    std::array<std::string, 6> FPanels;
    int FConnectedType = 0;
    bool FNoForce = false;  // the interface measures no force (no force curves)
    std::string FHeartSpec;
    std::unique_ptr<THeartRateSource> FHeart;
    std::unique_ptr<QTimer> FHeartTimer;
    std::unique_ptr<QElapsedTimer> FHeartClock;
    int FHeartBpm = 0;
    double FHeartAt = 0;  // ms of FHeartClock at the last value
    bool FHeartDelivered = false;
    bool FHeartLostTold = false;
    bool FConnecting = false;
    bool FShutdown = false;
    int FClickDepth = 0;
    std::unique_ptr<TJournalWriter> FJournal;
    bool FJournalFailed = false;   // reported once; the recording goes on without it
    bool FSessionRemoved = false;  // the store closed the session: nothing more is journaled
};

// An engine owned by a window, given up through TRowEngine::Release.
using TRowEnginePtr = std::unique_ptr<TRowEngine, TRowEngine::TRelease>;
template <class... A>
TRowEnginePtr MakeRowEngine(A&&... args)
{
    return TRowEnginePtr(new TRowEngine(std::forward<A>(args)...));
}

// The demo plays at a rower's real pace in every row window of this run,
// whatever the stored "DemoFast" setting says (which keeps its meaning).
void SetDemoRealPace(bool on);
bool DemoRealPace();
