#include "logic/row_engine.h"

#include <cmath>
#include <cstring>

#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QTime>
#include <QTimer>

#include "core/catalogue.h"
#include "core/values.h"
#include "interfaces/delay.h"
#include "interfaces/ft_interface.h"
#include "interfaces/ot_interface.h"
#include "interfaces/rw_interface.h"
#include "interfaces/vt_interface.h"
#include "util/color.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/trace.h"
#include "util/version.h"

// ---- helpers ------------------------------------------------------------------------

namespace {

// Stroke parameter shown for each limit type (strokes, energy, distance, time, intervals).
int LimitParameter(int limitType)
{
    switch (limitType) {
    case 0: return 0;
    case 1: return 11;
    case 2: return 7;
    case 3: return 5;
    case 4: return 23;
    default: return -1;
    }
}

// The caption of a value that counts down to a limit of this type.
std::string RemainingCaption(int limitType)
{
    switch (limitType) {
    case 0: return "Strokes to go";
    case 1: return "Energy to go";
    case 2: return "Distance to go";
    case 3: return "Time to go";
    case 4: return "Intervals to go";
    default: return std::string();
    }
}

bool HasId(int i)
{
    const auto& params = StrokeParameters();
    return i >= 0 && i < int(params.size()) && params[size_t(i)].Id >= 0;
}

void ClearEvents(TInterface& i)
{
    i.OnStateChange = nullptr;
    i.OnClosing = i.OnClosed = i.OnOpening = i.OnOpened = nullptr;
    i.OnPaused = i.OnContinued = nullptr;
    i.OnError = nullptr;
    i.OnProtocolError = nullptr;
    i.OnStrokeData = nullptr;
    i.OnForceCurve = nullptr;
    i.OnStartingStroke = i.OnStartingRecover = nullptr;
    i.OnSearchNotFound = nullptr;
    i.OnStartingWorkout = nullptr;
    i.OnWorkoutStarted = nullptr;
    if (auto* vt = dynamic_cast<TVTInterface*>(&i)) {
        vt->OnRawData = nullptr;
        vt->OnForceData = nullptr;
    }
    if (auto* ot = dynamic_cast<TOTInterface*>(&i)) ot->OnWaiting = nullptr;
    if (auto* ft = dynamic_cast<TFTInterface*>(&i)) {
        ft->OnRowerData = nullptr;
        ft->OnStatusMessage = nullptr;
    }
}

void ClearEvents(THeartRateSource& h)
{
    h.OnHeartRate = nullptr;
    h.OnNote = h.OnProblem = h.OnFailed = nullptr;
}

// The host of an engine that was given up while a handler still ran: the
// rest of that handler shows nothing.
class TGoneHost : public TRowHost {
public:
    bool ChooseSource(std::string&, int&) override { return false; }
    void ShowMessageWindow(const std::string&) override {}
    void HideMessageWindow() override {}
    bool MessageWindowShown() override { return false; }
};

TRowHost& GoneHost()
{
    static TGoneHost host;
    return host;
}

// An interface that is no longer the engine's: deleted once its own code
// (which may be what dropped it) has returned.
void ReleaseInterface(std::unique_ptr<TInterface> iface)
{
    if (!iface) return;
    ClearEvents(*iface);
    ReleaseInUse(iface.release());
}

}  // namespace

// ---- engine -------------------------------------------------------------------------

// An interface event handler calling one of the engine's handlers, counted
// as a running handler of the engine.
template <class... A>
auto TRowEngine::Handler(void (TRowEngine::*member)(A...))
{
    return [this, member](A... args) {
        TInUse::TScope busy(InUse);
        (this->*member)(args...);
    };
}

namespace {
std::shared_ptr<TTraining> SessionRecord(TSessionStore& store, int32_t id)
{
    if (std::shared_ptr<TTraining> shared = store.Share(id)) return shared;
    auto own = std::make_shared<TTraining>();
    ClearTraining(*own);
    own->ClientId = id;
    return own;
}
}  // namespace

TRowEngine::TRowEngine(TSessionStore& store, int32_t sessionId, TRowHost& host, TProgramServices& program)
    : FStore(&store), FId(sessionId), FRecord(SessionRecord(store, sessionId)), FSession(*FRecord), FHost(&host),
      FProgram(program), FListener(std::make_unique<QObject>())
{
    ResetIntervalState(FIntervals);
    // A reset from anywhere (this engine's own, the training window's) restarts the recording.
    QObject::connect(&store, &TSessionStore::SessionReset, FListener.get(), [this](int32_t id) {
        if (id == FId) ResetRecording();
    });
    auto refresh = [this](int32_t id) {
        if (id == FId) RefreshSession();
    };
    QObject::connect(&store, &TSessionStore::HeaderChanged, FListener.get(), refresh);
    QObject::connect(&store, &TSessionStore::WorkoutChanged, FListener.get(), refresh);
    // Curves or strokes changed by someone else (a curve deleted in the force
    // curves window): the next average looks at every stroke again.
    auto others = [this](int32_t id) {
        if (id == FId && !FAnnouncing) FAverageOwn = false;
    };
    QObject::connect(&store, &TSessionStore::CurvesChanged, FListener.get(), others);
    QObject::connect(&store, &TSessionStore::SessionChanged, FListener.get(), others);
    // The session was closed: what is recorded from now on is nobody's, and
    // its journal ends.
    QObject::connect(&store, &TSessionStore::SessionRemoved, FListener.get(), [this](int32_t id) {
        if (id != FId) return;
        FSessionRemoved = true;
        DiscardJournal();
    });
}

TRowEngine::~TRowEngine()
{
    InUse.OnIdle = nullptr;
    FListener.reset();
    StopHeartRate();
    if (FInterface) {
        // Closing runs the closing handlers, which still find the engine intact.
        if (FInterface->State() != vtsClosed && FInterface->State() != vtsClosing) {
            try {
                FInterface->Close();
            } catch (...) {
            }
        }
        // The interface's own code may still run further up (the engine of a
        // window closed from a device event): it goes once that has returned.
        ReleaseInterface(std::move(FInterface));
    }
}

void TRowEngine::Release(TRowEngine* engine)
{
    if (!engine) return;
    if (engine->InUse.Busy()) {
        engine->Shutdown();
        engine->FHost = &GoneHost();
    }
    engine->InUse.Release([engine] { delete engine; });
}

double TRowEngine::CurrentTime() const { return Now ? Now() : NowDays(); }

std::string TRowEngine::TimeOfDay() const
{
    return QLocale().toString(QTime::currentTime(), QLocale::LongFormat).toStdString();
}

const std::string& TRowEngine::PanelText(int panel) const
{
    static const std::string empty;
    if (panel < 0 || panel >= int(FPanels.size())) return empty;
    return FPanels[size_t(panel)];
}

void TRowEngine::SetPanel(int panel, const std::string& text)
{
    if (panel < 0 || panel >= int(FPanels.size())) return;
    if (FPanels[size_t(panel)] == text) return;
    FPanels[size_t(panel)] = text;
    FHost->PanelsChanged();
}

void TRowEngine::ClearPanels()
{
    for (int p = rpCOM; p <= rpTime; ++p) FPanels[size_t(p)].clear();
    FHost->PanelsChanged();
}

void TRowEngine::SetButtonEnabled(bool enabled)
{
    if (FButtonEnabled == enabled) return;
    FButtonEnabled = enabled;
    FHost->ButtonChanged();
}

void TRowEngine::UpdateButtonCaption()
{
    std::string caption = "&Connect";
    if (FSession.RowStatus == rsRowing) caption = "&Pause";
    else if (FSession.RowStatus == rsPaused) caption = "&Continue";
    if (caption != FButtonCaption) {
        FButtonCaption = caption;
        FHost->ButtonChanged();
    }
}

// ---- the button ---------------------------------------------------------------------

void TRowEngine::BtnConnectClick()
{
    FHost->FocusButton();
    // A click that arrives while a connect waits, or while the interface's own
    // Open or Close runs further up on this thread, is ignored.
    if (FConnecting || FClickDepth > 0 || FShutdown) return;
    TInUse::TScope busy(InUse);
    ++FClickDepth;
    struct TDepth {
        int& d;
        ~TDepth() { --d; }
    } depth{FClickDepth};

    if (FInterface) {
        switch (FInterface->State()) {
        case vtsClosing:
            while (FInterface && FInterface->State() == vtsClosing && !FShutdown) Delay(100);
            if (FShutdown) return;
            DestroyInterface();
            break;
        case vtsOpening:
        case vtsOpened: {
            FInterface->Pause();
            // A window closed while asking has disconnected already.
            if (ConfirmYesNo("The system is paused. Do you want to disconnect?")) Disconnect();
            return;
        }
        case vtsPaused: FInterface->Continue(); return;
        default: DestroyInterface(); break;
        }
    }
    if (FShutdown) return;
    Connect();
}

void TRowEngine::ReadConnectSettings()
{
    StrictProtocol = true;
    RawHeartRate = false;
    const std::string file = FProgram.SettingsFileForReading();
    if (file.empty() || FileSizeOf(file) < 0) return;
    TProfileFile ini(file);
    StrictProtocol = ini.ReadBool("Connect", "StrictProtocol", true);
    RawHeartRate = ini.ReadBool("Connect", "RawHeartRate", false);
}

void TRowEngine::Connect()
{
    // 1. Ask before recorded data is lost.
    if (!IsUserOnly(FSession)) {
        std::function<bool()> save;
        if (FHost->CanSaveSession()) save = [this] { return FHost->SaveSession(); };
        if (!ConfirmReset(FSession, 1, save).Proceed) return;
        // The window closed while asking: nothing more is started.
        if (FShutdown) return;
    }
    // 2.
    ResetSession();
    // 3.
    ReadConnectSettings();
    // 4. The connect dialog.
    std::string source;
    int interfaceType = 0;
    if (!FHost->ChooseSource(source, interfaceType)) {
        FHost->HideMessageWindow();
        return;
    }
    if (FShutdown) return;
    {
        const std::optional<std::string> heart = FHost->HeartRateSource();
        if (heart) {
            FHeartSpec = Trim(*heart);
        } else {
            const std::string file = FProgram.SettingsFileForReading();
            FHeartSpec = file.empty() || FileSizeOf(file) < 0
                             ? std::string()
                             : Trim(TProfileFile(file).ReadString("Connect", "HeartSource", ""));
        }
    }
    // 5.
    const uint8_t sourceType = SameText(source, "DEMO") ? 2 : 1;
    SetButtonEnabled(false);
    // 6.
    FHost->ShowMessageWindow(Format("Connecting to %s ...", InterfaceTypeName(interfaceType).c_str()));
    // 7.
    FInterface = CreateConfiguredInterface(interfaceType);
    if (!FInterface) {
        FHost->HideMessageWindow();
        ShowPlainMessage("No source selected or veryfied.\rPlease use the [Test] button in the \"Connect\" dialogue.");
        SetButtonEnabled(true);
        FHost->FocusButton();
        return;
    }
    FConnectedType = interfaceType;
    FConnecting = true;
    struct TFlag {
        bool& f;
        ~TFlag() { f = false; }
    } connecting{FConnecting};
    // 8.
    FDataArrived = false;
    TInterface* iface = FInterface.get();
    const bool isOT = dynamic_cast<TOTInterface*>(iface) != nullptr;
    ++FClickDepth;
    iface->Open(sourceType, source);
    --FClickDepth;
    // The heart-rate strap starts with the rowing source (it takes a moment to
    // connect too), unless the rowing source failed already.
    if (FInterface.get() == iface && iface->State() >= vtsOpening) StartHeartRate();
    // 9. Wait for the first data (the OT interface waits inside Open).
    if (!isOT && FInterface.get() == iface && !FShutdown) {
        FHost->ShowMessageWindow("Waiting for interface ... (Press [Esc] to cancel)");
        // An interface that closed itself (an error while opening) sends no data.
        while (!FDataArrived && FHost->MessageWindowShown() && iface->State() != vtsClosed) {
            Delay(100);
            // Closed meanwhile, or the interface was dropped: iface may be gone.
            if (FShutdown || FInterface.get() != iface) break;
        }
    }
    // 10.
    if (FShutdown || FInterface.get() != iface) {
        FHost->HideMessageWindow();
        return;
    }
    if (!FDataArrived) {
        ++FClickDepth;
        iface->Close();
        --FClickDepth;
        DestroyInterface();
        FHost->HideMessageWindow();
        SetButtonEnabled(true);
        UpdateButtonCaption();
        FHost->FocusButton();
        return;
    }
    // 11.
    AttachDataHandlers(*iface);
    // 12.
    FHost->ShowMessageWindow("Waiting for action ... (Press [Esc] to cancel)");
    // 13.
    FProgram.CountRowingSession();
    // 14.
    FSession.Live = 1;
    FSession.Header.InterfaceType = uint8_t(interfaceType);
    if (FInterface) {
        FSession.Header.InterfaceDetail = uint8_t(FInterface->Protocol);
        FSession.Header.InterfaceText.SetText(FInterface->Description.substr(0, 255));
        FSession.Header.ContentKind = ckRow;
    }
}

void TRowEngine::Disconnect()
{
    if (!FInterface) return;
    TInUse::TScope busy(InUse);
    if (FInterface->State() != vtsClosed && FInterface->State() != vtsClosing) {
        ++FClickDepth;
        FInterface->Close();
        --FClickDepth;
    }
    DestroyInterface();
}

void TRowEngine::Shutdown()
{
    if (FShutdown) return;
    FShutdown = true;
    TInUse::TScope busy(InUse);
    StopHeartRate();
    FHost->HideMessageWindow();
    if (!FInterface) return;
    const TTarnState s = FInterface->State();
    if (s == vtsOpening || s == vtsOpened || IsPausedState(s)) FInterface->Close();
    DestroyInterface();
}

void TRowEngine::DestroyInterface()
{
    StopHeartRate();
    if (!FInterface) return;
    TInterface* iface = FInterface.get();
    if (iface->State() != vtsClosed && iface->State() != vtsClosing) {
        iface->Close();  // its closing handlers run now
        // Dropped by a handler meanwhile (the window closed).
        if (FInterface.get() != iface) return;
    }
    // Freed once no operation of it runs further up on this thread.
    ReleaseInterface(std::move(FInterface));
}

// ---- interface creation -----------------------------------------------------------

void TRowEngine::ApplyMachineSettings(TVTInterface& vt)
{
    const TTrainingSettings& s = FSession.Settings;
    vt.Inertia = Inertia / 1000000.0 + 0.1;
    vt.Weight = s.Weight;
    vt.BoatType = TTarnBoatType(s.BoatType >= 0 && s.BoatType < kTarnBoatTypeCount ? s.BoatType : 0);
    vt.Cog = s.Sprocket + 10;
    vt.StrokeTrigger = StrokeTrigger;
    vt.ThresHold = ThresHold;
    if (Tension != 0) vt.Tension = Tension;
    vt.Magnets = s.Ergometer == 1 ? 3 : 4;
}

std::unique_ptr<TInterface> TRowEngine::CreateConfiguredInterface(int interfaceType)
{
    if (interfaceType < 1 || interfaceType > kFtmsInterfaceType) return nullptr;
    std::unique_ptr<TInterface> iface = CreateInterface(interfaceType);
    if (!iface) return nullptr;
    TInterface& i = *iface;

    if (auto* vt = dynamic_cast<TVTInterface*>(&i)) {
        if (interfaceType != 5) ApplyMachineSettings(*vt);
        if (interfaceType == 1 || interfaceType == 2) {
            vt->DemoFast = DemoFast;
            if (DemoStepMs >= 0) vt->DemoStepMs = DemoStepMs;
            vt->StrictProtocol = StrictProtocol;
            vt->RawHeartRate = RawHeartRate;
        }
        if (interfaceType == 1) vt->ProtocolSet.Include(vtpVtw);
        if (!DemoFile.empty()) vt->DemoFile = DemoFile;
        vt->OnRawData = Handler(&TRowEngine::VTInterfaceRawData);
    }
    if (interfaceType == 4) i.ProtocolSet.Include(vtpBrax);
    FNoForce = false;
    if (auto* ft = dynamic_cast<TFTInterface*>(&i)) {
        FNoForce = true;
        ft->CaptureSpeed = CaptureSpeed;
        ft->Weight = FSession.Settings.Weight > 0 ? FSession.Settings.Weight : 80;
        ft->DemoFile = DemoFile;
        ft->OnRowerData = Handler(&TRowEngine::FTInterfaceRowerData);
        ft->OnStatusMessage = [this](TInterface*, const std::string& text) {
            TInUse::TScope busy(InUse);
            FHost->LogLine(Format("%s : %s", TimeOfDay().c_str(), text.c_str()));
        };
    }

    // The common set.
    i.OnStateChange = Handler(&TRowEngine::InterfaceStateChange);
    i.OnClosing = Handler(&TRowEngine::InterfaceClosing);
    i.OnClosed = Handler(&TRowEngine::InterfaceClosed);
    i.OnError = Handler(&TRowEngine::InterfaceError);
    i.OnOpening = Handler(&TRowEngine::InterfaceOpening);
    i.OnOpened = Handler(&TRowEngine::InterfaceOpened);
    i.OnPaused = Handler(&TRowEngine::InterfacePaused);
    i.OnContinued = Handler(&TRowEngine::InterfaceContinued);
    i.OnProtocolError = Handler(&TRowEngine::InterfaceProtocolError);

    if (auto* ot = dynamic_cast<TOTInterface*>(&i)) {
        ot->OnWaiting = Handler(&TRowEngine::OTInterfaceWaiting);
        ot->OnSearchNotFound = Handler(&TRowEngine::OTInterfaceNotFound);
        ot->OnStartingWorkout = [starting = Handler(&TRowEngine::OTInterfaceStartingWorkout)](TInterface* s, TStgIni&) {
            starting(s);
        };
        ot->OnWorkoutStarted = Handler(&TRowEngine::OTInterfaceWorkoutStarted);
    }
    return iface;
}

void TRowEngine::AttachDataHandlers(TInterface& i)
{
    if (auto* vt = dynamic_cast<TVTInterface*>(&i)) {
        vt->OnForceData = Handler(&TRowEngine::VTInterfaceForceData);
        vt->OnStartingStroke = Handler(&TRowEngine::VTInterfaceStartingStroke);
        vt->OnStartingRecover = Handler(&TRowEngine::VTInterfaceStartingRecover);
        vt->OnStrokeData = Handler(&TRowEngine::InterfaceStrokeData);
        vt->DoCalculate = true;
    } else if (dynamic_cast<TOTInterface*>(&i)) {
        i.OnForceCurve = Handler(&TRowEngine::InterfaceForceCurve);
        i.OnStrokeData = Handler(&TRowEngine::InterfaceStrokeData);
    } else if (auto* ft = dynamic_cast<TFTInterface*>(&i)) {
        ft->OnStrokeData = Handler(&TRowEngine::InterfaceStrokeData);
        ft->SetDoCalculate(true);
    }
}

// ---- session ------------------------------------------------------------------------

void TRowEngine::ResetSession()
{
    if (FStore && FStore->Contains(FId)) {
        FStore->ResetSession(FId);  // comes back as SessionReset: ResetRecording
        return;
    }
    ResetTraining(FSession);
    ResetRecording();
}

void TRowEngine::ResetRecording()
{
    // The recorded data is gone: so is its journal.
    DiscardJournal();
    ResetIntervalState(FIntervals);
    FFinished = false;
    FStrokeIndex = 0;
    FForceIndex = 0;
    FDataCount = 0;
    FRawCount = 0;
    FProtocolErrors = 0;
    FRowClock = 0;
    FShownSecond = -1;
    FCurveBuffer = TStgForceCurve{};
    FAverage.Clear();
    FDrivePositions.fill(0);
    FDriveForces.fill(0);
    FHost->SessionReset();
    FHost->ClearValues();
    PushLimitValues();
}

void TRowEngine::RefreshSession()
{
    if (FSession.ClientId == 0) return;
    // A system colour is inverted as the colour it stands for.
    const int32_t c = FSession.Header.Color;
    FNewCurveColor = c;
    FOldCurveColor = InverseColor(c);
    if (FInterface) {
        FInterface->Weight = FSession.Settings.Weight;
        FInterface->BoatType =
            TTarnBoatType(FSession.Settings.BoatType >= 0 && FSession.Settings.BoatType < kTarnBoatTypeCount
                              ? FSession.Settings.BoatType
                              : 0);
        FInterface->Cog = FSession.Settings.Sprocket + 10;
    } else {
        PushLimitValues();
    }
    FHost->SessionRefreshed();
    FHost->PanelsChanged();
}

void TRowEngine::PushLimitValues()
{
    FHost->ClearValues();
    const TTrainingSettings& s = FSession.Settings;
    const int limitParam = LimitParameter(s.LimitType);
    double x = 0;
    switch (s.LimitType) {
    case 0: x = s.LimitStrokes; break;
    case 1: x = s.LimitEnergy; break;
    case 2: x = s.LimitDistance; break;
    case 3: x = s.LimitTime / 86400.0; break;
    case 4: x = s.LimitIntervals; break;
    default: break;
    }
    if (x < 0) x = 0;
    const int count = int(StrokeParameters().size());
    for (int i = 0; i < count; ++i) {
        if (!HasId(i)) continue;
        FHost->SetValue(i, false, i == limitParam ? x : 0.0);
    }
    // The value of the limit's parameter counts down to the limit: its cell
    // says so.
    const bool counting = LimitValue(s) > 0;
    for (int type = 0; type <= 4; ++type)
        FHost->SetValueCaption(LimitParameter(type),
                               counting && type == s.LimitType ? RemainingCaption(type) : std::string());
    FHost->RefreshValues();
}

void TRowEngine::PushLiveValues()
{
    if (FStrokeIndex <= 0 || FStrokeIndex >= int(FSession.Strokes.size())) return;
    const TStgStrokeData& s = FSession.Strokes[size_t(FStrokeIndex)];
    const TTrainingSettings& set = FSession.Settings;
    const int32_t L = LimitValue(set);
    const int limitParam = LimitParameter(set.LimitType);
    const int count = int(StrokeParameters().size());
    for (int i = 0; i < count; ++i) {
        if (!HasId(i)) continue;
        if (i == 5) {
            // The Time value is the rowing clock (the stroke's time, or the
            // time left to a time limit), as the Time panel shows it.
            FHost->SetValue(i, true, RowClockValue());
            continue;
        }
        double v = StrokeValue(s, i, set);
        if (L > 0) {
            if (i == limitParam) {
                const double limit = set.LimitType == 3 ? set.LimitTime / 86400.0 : double(L);
                // Intervals to go: those whose work period is not yet done.
                v = set.LimitType == 4 ? limit - FSession.IntervalCount() : limit - v;
            }
            if (!(v >= 0)) v = 0;
        }
        FHost->SetValue(i, true, v);
    }
}

// ---- state events -------------------------------------------------------------------

void TRowEngine::InterfaceStateChange(TInterface* sender, TTarnState, TTarnState newState)
{
    FHost->LogLine(Format("%s : %s %s @ %s", TimeOfDay().c_str(), TarnStateName(newState).c_str(),
                          sender ? sender->TypeName().c_str() : "", sender ? sender->SourceName().c_str() : ""));
}

void TRowEngine::InterfaceOpening(TInterface* sender)
{
    SetPanel(rpTime, "Opening ...");
    FHost->ShowMessageWindow(Format("Searching for %s on %s (press [Esc] to cancel) ...",
                                    sender ? sender->TypeName().c_str() : "", sender ? sender->Source.c_str() : ""));
}

void TRowEngine::InterfaceOpened(TInterface* sender)
{
    SetButtonEnabled(true);
    SetPanel(rpCOM, sender ? sender->Source.substr(0, 6) : std::string());
    // The rowing clock (0:00:00 at the first opening, where it stopped when
    // the interface opens again after a pause).
    ShowRowClock(true);
    FClockStart = CurrentTime();
    FSession.RowStatus = rsRowing;
    UpdateButtonCaption();
    // The interface reports "opened" again when it continues after a pause:
    // the connection's rowing time still runs from its first opening.
    if (FRowingStart <= 0) FRowingStart = CurrentTime();
    FHost->FocusButton();
}

void TRowEngine::InterfacePaused(TInterface*)
{
    if (FHeart) FHeart->SetPaused(true);
    SetButtonEnabled(true);
    FSession.RowStatus = rsPaused;
    UpdateButtonCaption();
    FHost->FocusButton();
}

void TRowEngine::InterfaceContinued(TInterface*)
{
    if (FHeart) FHeart->SetPaused(false);
    SetButtonEnabled(true);
    // The rowing clock goes on where it stopped.
    ShowRowClock(true);
    FClockStart = CurrentTime();
    FSession.RowStatus = rsRowing;
    UpdateButtonCaption();
    FHost->FocusButton();
}

void TRowEngine::InterfaceClosing(TInterface*)
{
    // Every stroke received so far stays; the arrays are trimmed to their use.
    CloseRecording(FSession, FStrokeIndex, FRawCount, FFinished);
    JournalClosed();
    if (FStore) Announce([this] { FStore->NotifySessionChanged(FId); });
}

void TRowEngine::ShowRowClock(bool force)
{
    const int64_t second = int64_t(std::floor(FRowClock));
    if (!force && second == FShownSecond) return;
    FShownSecond = second;
    SetPanel(rpTime, FormatDateTime("h:nn:ss", double(second) / 86400.0));
    if (!HasId(5)) return;
    FHost->SetValue(5, false, RowClockValue());
    if (!force) FHost->RefreshValues();
}

double TRowEngine::RowClockValue() const
{
    const double v = std::floor(FRowClock) / 86400.0;
    const TTrainingSettings& s = FSession.Settings;
    if (s.LimitType == 3 && s.LimitTime > 0) return std::max(0.0, s.LimitTime / 86400.0 - v);
    return v;
}

void TRowEngine::CountRowingTime()
{
    const double now = CurrentTime();
    if (FRowingStart > 0 && now > FRowingStart) FProgram.AddRowingTime(now - FRowingStart);
    FRowingStart = 0;
}

void TRowEngine::InterfaceClosed(TInterface*)
{
    StopHeartRate();
    SetButtonEnabled(true);
    FSession.RowStatus = rsFinished;
    ClearPanels();
    UpdateButtonCaption();
    FHost->FocusButton();
    CountRowingTime();
    FHost->SaveSettings();
    if (!FFinished && FSession.Totals.Distance > 0) FHost->ShowResults(FSession);
    FHost->FocusButton();
}

void TRowEngine::InterfaceError(TInterface*, const std::string& text)
{
    FHost->HideMessageWindow();
    FHost->LogLine(Format("%s : * Error - %s *", TimeOfDay().c_str(), text.c_str()));
    SetButtonEnabled(true);
    SetPanel(rpTime, "");
    ShowErrorBox(text);
    UpdateButtonCaption();
    FHost->FocusButton();
}

std::string TRowEngine::ProtocolMessageText(const TTarnProtocolSet& protocols, bool fromTest)
{
    std::string names;
    for (int p = 0; p < kTarnProtocolCount; ++p) {
        if (!protocols.Contains(TTarnProtocol(p))) continue;
        if (!names.empty()) names += " or ";
        names += TarnProtocolName(p);
    }
    const std::string hint = fromTest ? "" : "Please use the [Test] button in the \"Connect\" dialogue first.\r\r";
    return "Incorrect interface protocol.\r\r" + VersionString("FileDescription") +
           " expected data using the following protocol : " + names + ".\r\r" + hint +
           "For support questions or information on upgrade options, please \rcontact your local "
           "agent/reseller, visit " +
           VersionString("Website") + " \ror send an e-mail to " + VersionString("Email") + ".";
}

void TRowEngine::ShowProtocolMessage(const TInterface& iface, bool fromTest)
{
    ShowErrorBox(ProtocolMessageText(iface.ProtocolSet, fromTest));
}

void TRowEngine::InterfaceProtocolError(TInterface* sender)
{
    ++FProtocolErrors;
    bool tolerated;
    if (FDataCount == 0) tolerated = FProtocolErrors < 10;
    else tolerated = double(FProtocolErrors) / double(FDataCount) < 0.1;
    if (tolerated) return;
    if (!sender) return;
    TTarnProtocolSet protocols = sender->ProtocolSet;
    sender->Close();
    // Closed with its window meanwhile: nobody to tell.
    if (FShutdown) return;
    Beep();
    ShowErrorBox(ProtocolMessageText(protocols, false));
}

// ---- data events --------------------------------------------------------------------

void TRowEngine::VTInterfaceRawData(TInterface* sender, double wheel, int heartRaw, int heartCorrected)
{
    if (FFinished) return;
    FDataArrived = true;
    auto* vt = dynamic_cast<TVTInterface*>(sender);
    // The clock runs with the pulses the stroke computation counts.
    if (vt && vt->DoCalculate && wheel > 0 && wheel < 3600) FRowClock += wheel;
    ShowRowClock(false);
    if (!vt || !vt->DoCalculate) return;
    if (FDataCount == 0) FHost->HideMessageWindow();
    if (!vt->Input().Computer.AllValid() && HasId(12)) FHost->SetValue(12, true, FHeart ? FHeartBpm : heartCorrected);
    ++FDataCount;
    ++FRawCount;
    if (FRawCount > int(FSession.RawSamples.size()) - 1) FSession.RawSamples.resize(size_t(FRawCount) + 10000);
    TRawSample& r = FSession.RawSamples[size_t(FRawCount)];
    const double ticks = std::trunc(wheel * kTicksPerSecond);
    r.Value = ticks < 65535 && ticks >= 0 ? int16_t(uint16_t(ticks)) : int16_t(-1);
    r.Flag = uint8_t(heartRaw & 0xFF);
    SetPanel(rpTurn, vt->ActivityText());
}

void TRowEngine::VTInterfaceForceData(TInterface*, int puls, double length, double force, double)
{
    if (FFinished) return;
    double f = force;
    if (!(f >= 0)) f = 0;
    else if (puls < 10 && FSession.Strokes.size() <= 1 && f > 1000) f = 0;
    FHost->ForceSample(puls, length, f);
    if (puls >= 1 && puls <= 80) {
        FDrivePositions[size_t(puls)] = length;
        FDriveForces[size_t(puls)] = f;
        const double rounded = std::nearbyint(f);
        FCurveBuffer.Samples[puls - 1] = uint16_t(std::min(rounded, 65535.0));
        FForceIndex = puls;
    }
}

void TRowEngine::VTInterfaceStartingStroke(TInterface*)
{
    if (FFinished) return;
    SetPanel(rpSR, "D");
    FHost->DriveStarted();
    FCurveBuffer = TStgForceCurve{};
}

void TRowEngine::VTInterfaceStartingRecover(TInterface*)
{
    if (FFinished) return;
    if (FForceIndex > 0 && FForceIndex <= 80)
        for (int k = FForceIndex; k <= 80; ++k) FDriveForces[size_t(k)] = 0;
    SetPanel(rpSR, "R");
    FHost->RecoveryStarted();
    if (FStore) Announce([this] { FStore->NotifyCurvesChanged(FId); });
}

void TRowEngine::InterfaceStrokeData(TInterface* sender, const TStgStrokeData& received)
{
    if (FFinished) return;
    TStgStrokeData rec = received;  // the interface's record may change under the handlers below
    TTraining& S = FSession;
    // While a heart-rate source is paired, its heart rate is the pulse: 0
    // (none) when it has stopped delivering, never the interface's own value.
    if (FHeart) {
        CheckHeartRate();
        rec.Pulse = float(FHeartBpm);
        rec.WorkPerPulse = SafeDivide(FHeartBpm, rec.Power);
    }
    // 1.
    const int k = rec.StrokeNumber;
    if (k < 0) return;  // not a stroke number
    FStrokeIndex = k;
    if (k >= S.StrokeCount()) SetStrokeCount(S, k + 100);
    // 2.
    if (rec.Power == 0) FCurveBuffer = TStgForceCurve{};
    // 3.
    S.Strokes[size_t(k)] = rec;
    if (S.Strokes[size_t(k)].StrokeNumber == 0) S.Strokes[size_t(k)].StrokeNumber = uint16_t(k);
    // 4.
    FCurveBuffer.StrokeNumber = int16_t(S.Strokes[size_t(k)].StrokeNumber);
    // A machine that measures no force stores no force curve.
    FCurveBuffer.HasData = rec.Power == 0 || FNoForce ? 0 : 1;
    S.Curves[size_t(k)] = FCurveBuffer;
    // 5.
    S.Header.SelectedStroke = k;
    ApplyCurvePeak(S.Strokes[size_t(k)], S.Curves[size_t(k)], S.Settings.Sprocket);
    UpdateAverage(k);
    // 6.
    bool intervalClosed = false;
    if (k >= 1 && S.Settings.LimitType == 4) {
        const int before = S.IntervalCount();
        CutIntervals(FIntervals, S, k);
        intervalClosed = S.IntervalCount() > before;
    }
    // A stroke after a save changes the session again: closing it asks.
    if (FStore && FStore->Contains(FId)) FStore->SetModified(FId);
    else S.Header.Modified = 1;
    // 7.
    const bool finished = k >= 1 && FinishAtLimit(S, k, FIntervals.Finished);
    // On disk before anything else can happen.
    JournalStroke(k, finished ? jsFinished : 0);
    if (finished) {
        FFinished = true;
        if (sender) sender->Close();
    }
    // 8. The stroke sets the rowing clock (never back, so it shows no
    // second twice); the Time value shows the clock like the Time panel.
    if (rec.Time > FRowClock) FRowClock = rec.Time;
    ShowRowClock(true);
    PushLiveValues();
    FHost->RefreshValues();
    FHost->StrokeStored(k);
    FHost->PanelsChanged();
    // 9.
    if (FFinished) SetStrokeCount(S, k);
    // 10.
    if (FStore) {
        FStore->NotifyStrokeAppended(FId, k);
        if (FFinished || intervalClosed) Announce([this] { FStore->NotifySessionChanged(FId); });
    }
    // A window closed meanwhile shows no results.
    if (FFinished && !FShutdown) FHost->ShowResults(S);
    // 11.
    FHost->FocusButton();
}

void TRowEngine::UpdateAverage(int k)
{
    FAverage.Update(FSession, FAverageOwn ? k : 2);
    FAverageOwn = true;
}

void TRowEngine::Announce(const std::function<void()>& notify)
{
    const bool was = FAnnouncing;
    FAnnouncing = true;
    notify();
    FAnnouncing = was;
}

void TRowEngine::InterfaceForceCurve(TInterface*, const TStgForceCurve& curve)
{
    if (FFinished) return;
    if (FDataCount == 0) FHost->HideMessageWindow();
    ++FDataCount;
    TTraining& S = FSession;
    if (FStrokeIndex < 0 || FStrokeIndex >= int(S.Curves.size())) return;
    TStgForceCurve& target = S.Curves[size_t(FStrokeIndex)];
    std::copy(std::begin(curve.Samples), std::end(curve.Samples), std::begin(target.Samples));
    FHost->ForceCurveStored(FStrokeIndex);
    if (FStrokeIndex < int(S.Strokes.size())) {
        ApplyCurvePeak(S.Strokes[size_t(FStrokeIndex)], target, S.Settings.Sprocket);
        UpdateAverage(FStrokeIndex);
        JournalStroke(FStrokeIndex, 0);
    }
}

// ---- journal ------------------------------------------------------------------------

void TRowEngine::JournalStroke(int k, uint8_t stateFlags)
{
    if (FJournalFailed || FSessionRemoved || k < 1) return;
    if (!FJournal) {
        const std::string folder = FHost->RecordingJournalFolder();
        if (folder.empty()) return;
        auto journal = std::make_unique<TJournalWriter>();
        if (!journal->Create(folder, FSession)) {
            FJournalFailed = true;
            FHost->JournalFailed(Format("%s : * The recording journal cannot be written in \"%s\": %s *",
                                        TimeOfDay().c_str(), folder.c_str(), std::strerror(journal->LastError())));
            return;
        }
        FSession.JournalFile = journal->Path();
        FJournal = std::move(journal);
    }
    if (!FJournal->Record(FSession, k, FRawCount, stateFlags)) {
        // The strokes on disk so far stay there; the session itself records on.
        FJournalFailed = true;
        FHost->JournalFailed(Format("%s : * The recording journal \"%s\" cannot be written: %s *", TimeOfDay().c_str(),
                                    FJournal->Path().c_str(), std::strerror(FJournal->LastError())));
        FJournal.reset();
    }
}

void TRowEngine::JournalClosed()
{
    if (!FJournal) return;
    FJournal->Record(FSession, 0, FRawCount, uint8_t(jsClosed | (FFinished ? jsFinished : 0)));
    // The file stays until the session is saved or discarded.
    FJournal.reset();
}

void TRowEngine::DiscardJournal()
{
    if (FJournal) {
        FJournal->End(jeDiscarded);
        FJournal.reset();
    }
    EndSessionJournal(FSession, jeDiscarded);
    FJournalFailed = false;
}

void TRowEngine::OTInterfaceWaiting(TInterface*, bool& cancel)
{
    if (!FHost->MessageWindowShown() || FShutdown) cancel = true;
}

void TRowEngine::OTInterfaceNotFound(TInterface*)
{
    FHost->HideMessageWindow();
    ShowErrorBox("No response from the OTM");
    UpdateButtonCaption();
    FHost->FocusButton();
}

void TRowEngine::OTInterfaceStartingWorkout(TInterface*)
{
    FHost->ShowMessageWindow("Waiting for data : Start rowing (or press [Esc] to cancel)");
}

void TRowEngine::OTInterfaceWorkoutStarted(TInterface*) { FDataArrived = true; }

void TRowEngine::FTInterfaceRowerData(TInterface* sender, const TRowerData&)
{
    if (FFinished) return;
    FDataArrived = true;
    auto* ft = dynamic_cast<TFTInterface*>(sender);
    if (!ft || !ft->DoCalculate()) return;
    // The clock runs with the session time the machine's records count.
    if (ft->Strokes().SessionTime() > FRowClock) FRowClock = ft->Strokes().SessionTime();
    ShowRowClock(false);
    if (FDataCount == 0) FHost->HideMessageWindow();
    ++FDataCount;
    // Between strokes the pulse cell follows the strap or the machine.
    if (HasId(12)) {
        const int pulse = FHeart ? FHeartBpm : ft->Strokes().HeartRate();
        if (pulse > 0) FHost->SetValue(12, false, pulse);
    }
    SetPanel(rpTurn, ft->Strokes().Paused() ? "" : "*");
}

// ---- heart rate -----------------------------------------------------------------------

THeartSourceOptions TRowEngine::HeartRateOptions() const
{
    THeartSourceOptions o;
    const std::string file = FProgram.SettingsFileForReading();
    if (file.empty() || FileSizeOf(file) < 0) return o;
    TProfileFile ini(file);
    o.AntNetworkKey = ini.ReadString("HeartRate", "AntNetworkKey", "");
    o.AntLibrary = ini.ReadString("HeartRate", "AntLibrary", o.AntLibrary);
    o.AntReceiver = ini.ReadInteger("HeartRate", "AntReceiver", 0);
    return o;
}

double TRowEngine::HeartClock() const { return FHeartClock ? double(FHeartClock->elapsed()) : 0.0; }

void TRowEngine::StartHeartRate()
{
    StopHeartRate();
    if (FHeartSpec.empty()) return;
    THeartSourceOptions o = HeartRateOptions();
    o.CaptureSpeed = CaptureSpeed;
    o.DemoFile = DemoFile;
    o.Weight = FSession.Settings.Weight > 0 ? FSession.Settings.Weight : 80;
    std::string error;
    FHeart = CreateHeartRateSource(FHeartSpec, o, error);
    FHeartBpm = 0;
    FHeartDelivered = false;
    FHeartLostTold = false;
    if (!FHeart) {
        HeartRateLost(error);
        return;
    }
    if (!FHeartClock) FHeartClock = std::make_unique<QElapsedTimer>();
    FHeartClock->start();
    FHeartAt = 0;
    THeartRateSource* h = FHeart.get();
    h->OnHeartRate = [this](int bpm) {
        TInUse::TScope busy(InUse);
        HeartRateReceived(bpm);
    };
    h->OnNote = [this](const std::string& text) {
        TInUse::TScope busy(InUse);
        FHost->LogLine(Format("%s : %s", TimeOfDay().c_str(), text.c_str()));
    };
    h->OnProblem = [this](const std::string& text) {
        TInUse::TScope busy(InUse);
        FHost->LogLine(Format("%s : * %s *", TimeOfDay().c_str(), text.c_str()));
        FHost->HeartRateMessage(text);
    };
    h->OnFailed = [this](const std::string& text) {
        TInUse::TScope busy(InUse);
        HeartRateLost(text);
    };
    if (!FHeartTimer) {
        FHeartTimer = std::make_unique<QTimer>();
        FHeartTimer->setInterval(1000);
        // The connection goes with the timer, which goes with the engine.
        QObject::connect(FHeartTimer.get(), &QTimer::timeout, [this] {
            TInUse::TScope busy(InUse);
            CheckHeartRate();
        });
    }
    FHeartTimer->start();
    FHost->LogLine(Format("%s : Heart rate from %s", TimeOfDay().c_str(), h->Name().c_str()));
    h->Start();
}

void TRowEngine::StopHeartRate()
{
    if (FHeartTimer) FHeartTimer->stop();
    if (!FHeart) return;
    ClearEvents(*FHeart);
    FHeart->Stop();
    // Freed from the event loop: this may run inside one of its own events.
    DestroyFromEventLoop([heart = std::shared_ptr<THeartRateSource>(std::move(FHeart))] {});
}

void TRowEngine::HeartRateReceived(int bpm)
{
    if (!FHeart || FFinished) return;
    if (FHeartBpm == 0 && FHeartDelivered)
        FHost->LogLine(Format("%s : Heart rate back (%d bpm)", TimeOfDay().c_str(), bpm));
    FHeartDelivered = true;
    FHeartBpm = bpm;
    FHeartAt = HeartClock();
    if (HasId(12)) FHost->SetValue(12, false, bpm);
}

void TRowEngine::CheckHeartRate()
{
    if (!FHeart) return;
    if (FHeartBpm == 0) {
        // A source that never delivered is reported once it had time to connect.
        if (!FHeartDelivered && !FHeartLostTold && HeartClock() > 3.0 * HeartRateTimeout)
            HeartRateLost(Format("No heart rate from %s yet: the pulse shows \"\u2013\" until one comes.",
                                 FHeart->Name().c_str()));
        return;
    }
    if (HeartClock() - FHeartAt <= HeartRateTimeout) return;
    HeartRateLost(Format("No heart rate from %s for %d s: the pulse shows \"\u2013\" until it comes back.",
                         FHeart->Name().c_str(), HeartRateTimeout / 1000));
}

void TRowEngine::HeartRateLost(const std::string& why)
{
    FHeartBpm = 0;
    if (HasId(12)) FHost->SetValue(12, false, 0);
    FHost->LogLine(Format("%s : * %s *", TimeOfDay().c_str(), why.c_str()));
    // The rower is told once; later losses go to the log only.
    if (FHeartLostTold) return;
    FHeartLostTold = true;
    FHost->HeartRateMessage(why);
}
namespace {
bool gDemoRealPace = false;
}  // namespace

void SetDemoRealPace(bool on) { gDemoRealPace = on; }
bool DemoRealPace() { return gDemoRealPace; }
