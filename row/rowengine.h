#pragma once
// TRowEngine: the recording engine of the row window. It owns the one device
// interface of a row session, runs the connect / pause / continue / disconnect
// button, records raw samples, force samples, strokes and force curves into
// the session it is given, cuts intervals, stops at the session limit, keeps
// the usage statistics and pushes each stroke's values to the value store.
//
// Everything that needs a window goes through TRowHost: the row window
// implements it, the command-line tool has a console host, tests have their
// own. The engine itself uses no widgets; questions and error boxes go through
// the dialog service (util/dialogs.h), waits through Delay (interfaces/delay.h).
//
// All calls run on the user-interface thread. The connect waits pump events,
// so handlers and user input run inside BtnConnectClick.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/intervals.h"
#include "core/records.h"
#include "core/values.h"
#include "files/journal.h"
#include "interfaces/interface.h"

class TVTInterface;

// Which grids of the training window holding the session are refreshed.
enum class TTrainingRefresh { All, StrokeData, ForceCurves };

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

    // Training window holding the session.
    virtual void RefreshTraining(TTrainingRefresh /*what*/) {}
    // Main window notifications.
    virtual void TrainingListChanged() {}
    // Results window: shows the session's totals, averages and maxima modally.
    virtual void ShowResults(const TTraining& /*session*/) {}
    // Saves the row window's settings to the program settings file.
    virtual void SaveSettings() {}

    // Usage statistics; by default through MainRegistry() when one exists.
    virtual void CountRowingSession();
    virtual void AddRowingTime(double days);
    // The settings file the connect settings are read from; by default the
    // main registry's reading path, else the utility library's SettingsFile().
    virtual std::string SettingsFile();

    // Folder of the recording journals; "" records without a journal (the
    // default). The row window and the command-line tool journal every
    // recording in the user data folder.
    virtual std::string RecordingJournalFolder() { return {}; }
    // The journal cannot be written (the disk is full, say): the recording
    // goes on without it. By default a line of the log page.
    virtual void JournalFailed(const std::string& text) { LogLine(text); }
};

class TRowEngine {
public:
    TRowEngine(TTraining& session, TRowHost& host);
    ~TRowEngine();
    TRowEngine(const TRowEngine&) = delete;
    TRowEngine& operator=(const TRowEngine&) = delete;

    // Tuning values (loaded with the window's settings), applied at every connect.
    int Inertia = 8800;
    int StrokeTrigger = 0;
    int Tension = 0;
    int ThresHold = 5;
    bool DemoFast = true;
    // Connect settings, read from section "Connect" at each connect.
    bool StrictProtocol = true;
    bool RawHeartRate = false;
    // Demo recording file for demo data ("" = the program's own).
    std::string DemoFile;

    // The session being recorded.
    TTraining& Session() { return FSession; }
    const TTraining& Session() const { return FSession; }

    // Entry points.
    void BtnConnectClick();
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
    double RowingStart() const { return FRowingStart; }
    int32_t OldCurveColor() const { return FOldCurveColor; }
    int32_t NewCurveColor() const { return FNewCurveColor; }
    // Status panel texts (rpCOM, rpTurn, rpSR, rpTime; rpAnimation is drawn).
    const std::string& PanelText(int panel) const;
    // The interface type of the last connect (0 before one).
    int ConnectedType() const { return FConnectedType; }
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
    void SweepRetired();
    void SetButtonEnabled(bool enabled);
    void SetPanel(int panel, const std::string& text);
    void ClearPanels();
    void ApplyMachineSettings(TVTInterface& vt);
    void ReadConnectSettings();
    double CurrentTime() const;
    std::string TimeOfDay() const;
    void CountRowingTime();
    // The journal: stroke k (and what changed with it) goes to disk; the
    // recording closed; the recorded data is thrown away by a reset.
    void JournalStroke(int k, uint8_t stateFlags);
    void JournalClosed();
    void DiscardJournal();

    TTraining& FSession;
    TRowHost& FHost;
    std::unique_ptr<TInterface> FInterface;
    std::vector<std::unique_ptr<TInterface>> FRetired;  // dropped interfaces, freed outside their handlers
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    std::shared_ptr<int> FEventDepth = std::make_shared<int>(0);  // interface events running
    int32_t FStrokeIndex = 0;
    int32_t FForceIndex = 0;
    TIntervalState FIntervals;
    bool FFinished = false;
    uint32_t FDataCount = 0;
    int32_t FRawCount = 0;
    uint32_t FProtocolErrors = 0;
    TStgForceCurve FCurveBuffer{};
    TAverageStrokeCache FAverage;  // slot 0 of the session, kept stroke by stroke
    std::array<double, 81> FDrivePositions{};
    std::array<double, 81> FDriveForces{};
    bool FDataArrived = false;
    double FClockStart = 0;
    double FRowingStart = 0;
    int32_t FOldCurveColor = 0x0000FF;
    int32_t FNewCurveColor = 0xFF0000;
    std::string FButtonCaption = "&Connect";
    bool FButtonEnabled = true;
    std::array<std::string, 6> FPanels;
    int FConnectedType = 0;
    bool FConnecting = false;
    bool FShutdown = false;
    int FClickDepth = 0;
    std::unique_ptr<TJournalWriter> FJournal;
    bool FJournalFailed = false;  // reported once; the recording goes on without it
};
