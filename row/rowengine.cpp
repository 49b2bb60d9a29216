#include "row/rowengine.h"

#include <cmath>
#include <cstring>

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <QTimer>

#include "core/catalogue.h"
#include "core/values.h"
#include "interfaces/delay.h"
#include "interfaces/otinterface.h"
#include "interfaces/rwinterface.h"
#include "interfaces/vtinterface.h"
#include "shell/framework/registry.h"
#include "util/datetime.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/trace.h"
#include "util/version.h"

// ---- host defaults ----------------------------------------------------------------

void TRowHost::CountRowingSession()
{
    if (auto* r = MainRegistry()) r->CountRowingSession();
}

void TRowHost::AddRowingTime(double days)
{
    if (auto* r = MainRegistry()) r->AddRowingTime(days);
}

std::string TRowHost::SettingsFile()
{
    if (auto* r = MainRegistry()) return r->SettingsFileForReading();
    return ::SettingsFile(false);
}

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
}

// Counts the interface events running in the engine; the counter outlives the
// engine, so an event whose handler destroyed the engine still unwinds it.
struct TDepthGuard {
    explicit TDepthGuard(std::shared_ptr<int> depth) : Depth(std::move(depth)) { ++*Depth; }
    ~TDepthGuard() { --*Depth; }
    std::shared_ptr<int> Depth;
};

// Interfaces handed over for deletion once the code running further up on
// this thread (their own, among it) has returned to the event loop.
class TInterfaceHolder : public QObject {
public:
    explicit TInterfaceHolder(std::vector<std::unique_ptr<TInterface>> list) : List(std::move(list)) {}
    std::vector<std::unique_ptr<TInterface>> List;
};

}  // namespace

// ---- engine -------------------------------------------------------------------------

// An interface event handler calling one of the engine's handlers; the event
// depth counts it while it runs.
template <class... A>
auto TRowEngine::Handler(void (TRowEngine::*member)(A...))
{
    return [this, member, depth = FEventDepth](A... args) {
        TDepthGuard guard(depth);
        (this->*member)(args...);
    };
}

TRowEngine::TRowEngine(TTraining& session, TRowHost& host) : FSession(session), FHost(host)
{
    ResetIntervalState(FIntervals);
}

TRowEngine::~TRowEngine()
{
    *FAlive = false;
    std::vector<std::unique_ptr<TInterface>> gone = std::move(FRetired);
    if (FInterface) {
        // Closing runs the closing handlers, which still find the engine intact.
        if (FInterface->State() != vtsClosed && FInterface->State() != vtsClosing) {
            try {
                FInterface->Close();
            } catch (...) {
            }
        }
        gone.push_back(std::move(FInterface));
    }
    for (auto& i : gone)
        if (i) ClearEvents(*i);
    // Destroyed from inside an interface event (the window closed from the
    // modal results window at the limit, say) or while the interface's Open or
    // Close runs: the interface's own code is still running further up, so it
    // is deleted once that code has returned to the event loop.
    if ((*FEventDepth > 0 || FClickDepth > 0) && QCoreApplication::instance() && !gone.empty())
        (new TInterfaceHolder(std::move(gone)))->deleteLater();
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
    FHost.PanelsChanged();
}

void TRowEngine::ClearPanels()
{
    for (int p = rpCOM; p <= rpTime; ++p) FPanels[size_t(p)].clear();
    FHost.PanelsChanged();
}

void TRowEngine::SetButtonEnabled(bool enabled)
{
    if (FButtonEnabled == enabled) return;
    FButtonEnabled = enabled;
    FHost.ButtonChanged();
}

void TRowEngine::UpdateButtonCaption()
{
    std::string caption = "&Connect";
    if (FSession.RowStatus == rsRowing) caption = "&Pause";
    else if (FSession.RowStatus == rsPaused) caption = "&Continue";
    if (caption != FButtonCaption) {
        FButtonCaption = caption;
        FHost.ButtonChanged();
    }
}

// ---- the button ---------------------------------------------------------------------

void TRowEngine::BtnConnectClick()
{
    FHost.FocusButton();
    // A click that arrives while a connect waits, or while the interface's own
    // Open or Close runs further up on this thread, is ignored.
    if (FConnecting || FClickDepth > 0 || FShutdown) return;
    ++FClickDepth;
    struct TDepth {
        int& d;
        ~TDepth() { --d; }
    } depth{FClickDepth};
    auto alive = FAlive;

    if (FInterface) {
        switch (FInterface->State()) {
        case vtsClosing:
            while (FInterface && FInterface->State() == vtsClosing) {
                Delay(100);
                if (!*alive || FShutdown) return;
            }
            DestroyInterface();
            break;
        case vtsOpening:
        case vtsOpened: {
            FInterface->Pause();
            if (!*alive) return;
            if (ConfirmYesNo("The system is paused. Do you want to disconnect?")) {
                if (!*alive) return;
                Disconnect();
            }
            return;
        }
        case vtsPaused:
            FInterface->Continue();
            return;
        default:
            DestroyInterface();
            break;
        }
    }
    if (!*alive || FShutdown) return;
    Connect();
}

void TRowEngine::ReadConnectSettings()
{
    StrictProtocol = true;
    RawHeartRate = false;
    const std::string file = FHost.SettingsFile();
    if (file.empty() || FileSizeOf(file) < 0) return;
    TProfileFile ini(file);
    StrictProtocol = ini.ReadBool("Connect", "StrictProtocol", true);
    RawHeartRate = ini.ReadBool("Connect", "RawHeartRate", false);
}

void TRowEngine::Connect()
{
    auto alive = FAlive;
    // 1. Ask before recorded data is lost.
    if (!IsUserOnly(FSession)) {
        if (!ConfirmReset(FSession, 1).Proceed) return;
        if (!*alive) return;
    }
    // 2.
    ResetSession();
    // 3.
    ReadConnectSettings();
    // 4. The connect dialog.
    std::string source;
    int interfaceType = 0;
    if (!FHost.ChooseSource(source, interfaceType)) {
        if (*alive) FHost.HideMessageWindow();
        return;
    }
    if (!*alive || FShutdown) return;
    // 5.
    const uint8_t sourceType = SameText(source, "DEMO") ? 2 : 1;
    SetButtonEnabled(false);
    // 6.
    FHost.ShowMessageWindow(Format("Connecting to %s ...", InterfaceTypeName(interfaceType).c_str()));
    // 7.
    FInterface = CreateConfiguredInterface(interfaceType);
    if (!FInterface) {
        FHost.HideMessageWindow();
        Dialogs().MessageBox(TMsgKind::Information,
                             "No source selected or veryfied.\rPlease use the [Test] button in the \"Connect\" dialogue.",
                             mbOK, TMsgResult::OK);
        if (!*alive) return;
        SetButtonEnabled(true);
        FHost.FocusButton();
        return;
    }
    FConnectedType = interfaceType;
    FConnecting = true;
    struct TFlag {
        bool& f;
        std::shared_ptr<bool> alive;
        ~TFlag()
        {
            if (*alive) f = false;
        }
    } connecting{FConnecting, alive};
    // 8.
    FDataArrived = false;
    TInterface* iface = FInterface.get();
    const bool isOT = dynamic_cast<TOTInterface*>(iface) != nullptr;
    ++FClickDepth;
    iface->Open(sourceType, source);
    --FClickDepth;
    if (!*alive) return;
    // 9. Wait for the first data (the OT interface waits inside Open).
    if (!isOT && FInterface.get() == iface && !FShutdown) {
        FHost.ShowMessageWindow("Waiting for interface ... (Press [Esc] to cancel)");
        // An interface that closed itself (an error while opening) sends no data.
        while (!FDataArrived && FHost.MessageWindowShown() && iface->State() != vtsClosed) {
            Delay(100);
            if (!*alive) return;
            if (FShutdown || FInterface.get() != iface) break;
        }
    }
    // 10.
    if (FShutdown || FInterface.get() != iface) {
        FHost.HideMessageWindow();
        return;
    }
    if (!FDataArrived) {
        ++FClickDepth;
        iface->Close();
        --FClickDepth;
        if (!*alive) return;
        DestroyInterface();
        FHost.HideMessageWindow();
        SetButtonEnabled(true);
        UpdateButtonCaption();
        FHost.FocusButton();
        return;
    }
    // 11.
    AttachDataHandlers(*iface);
    // 12.
    FHost.ShowMessageWindow("Waiting for action ... (Press [Esc] to cancel)");
    // 13.
    FHost.CountRowingSession();
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
    auto alive = FAlive;
    if (FInterface->State() != vtsClosed && FInterface->State() != vtsClosing) {
        ++FClickDepth;
        FInterface->Close();
        --FClickDepth;
        if (!*alive) return;
    }
    DestroyInterface();
}

void TRowEngine::Shutdown()
{
    if (FShutdown) return;
    FShutdown = true;
    FHost.HideMessageWindow();
    if (!FInterface) return;
    auto alive = FAlive;
    const TTarnState s = FInterface->State();
    if (s == vtsOpening || s == vtsOpened || IsPausedState(s)) {
        FInterface->Close();
        if (!*alive) return;
    }
    DestroyInterface();
}

void TRowEngine::DestroyInterface()
{
    if (!FInterface) return;
    auto alive = FAlive;
    TInterface* iface = FInterface.get();
    if (iface->State() != vtsClosed && iface->State() != vtsClosing) {
        iface->Close();  // its closing handlers run now
        if (!*alive) return;
        if (FInterface.get() != iface) return;
    }
    ClearEvents(*iface);
    FRetired.push_back(std::move(FInterface));
    // Freed once no operation of an interface runs further up on this thread.
    QTimer::singleShot(0, [this, alive] {
        if (*alive) SweepRetired();
    });
}

void TRowEngine::SweepRetired()
{
    if (FRetired.empty()) return;
    if (FClickDepth > 0) {
        QTimer::singleShot(50, [this, alive = FAlive] {
            if (*alive) SweepRetired();
        });
        return;
    }
    FRetired.clear();
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
    if (interfaceType < 1 || interfaceType > 6) return nullptr;
    std::unique_ptr<TInterface> iface = CreateInterface(interfaceType);
    if (!iface) return nullptr;
    TInterface& i = *iface;

    if (auto* vt = dynamic_cast<TVTInterface*>(&i)) {
        if (interfaceType != 5) ApplyMachineSettings(*vt);
        if (interfaceType == 1 || interfaceType == 2) {
            vt->DemoFast = DemoFast;
            vt->StrictProtocol = StrictProtocol;
            vt->RawHeartRate = RawHeartRate;
        }
        if (interfaceType == 1) vt->ProtocolSet.Include(vtpVtw);
        if (!DemoFile.empty()) vt->DemoFile = DemoFile;
        vt->OnRawData = Handler(&TRowEngine::VTInterfaceRawData);
    }
    if (interfaceType == 4) i.ProtocolSet.Include(vtpBrax);

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
        ot->OnStartingWorkout = [starting = Handler(&TRowEngine::OTInterfaceStartingWorkout)](
                                    TInterface* s, TStgIni&) { starting(s); };
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
    }
}

// ---- session ------------------------------------------------------------------------

void TRowEngine::ResetSession()
{
    DiscardJournal();
    ResetIntervalState(FIntervals);
    FFinished = false;
    FStrokeIndex = 0;
    FForceIndex = 0;
    FDataCount = 0;
    FRawCount = 0;
    FProtocolErrors = 0;
    FCurveBuffer = TStgForceCurve{};
    FAverage.Clear();
    ResetTraining(FSession);
    FHost.RefreshTraining(TTrainingRefresh::All);
    FHost.TrainingListChanged();
    FDrivePositions.fill(0);
    FDriveForces.fill(0);
    FHost.SessionReset();
    FHost.ClearValues();
    PushLimitValues();
}

void TRowEngine::RefreshSession()
{
    if (FSession.ClientId == 0) return;
    const int32_t c = FSession.Header.Color;
    if (c >= 0) {
        FNewCurveColor = c;
        FOldCurveColor = (255 - (c & 0xFF)) | ((255 - ((c >> 8) & 0xFF)) << 8) | ((255 - ((c >> 16) & 0xFF)) << 16);
    } else {
        FNewCurveColor = c;
        FOldCurveColor = c;
    }
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
    FHost.SessionRefreshed();
    FHost.PanelsChanged();
}

void TRowEngine::PushLimitValues()
{
    FHost.ClearValues();
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
        FHost.SetValue(i, false, i == limitParam ? x : 0.0);
    }
    FHost.RefreshValues();
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
        double v = StrokeValue(s, i, set);
        if (L > 0) {
            if (i == limitParam) {
                const double limit = set.LimitType == 3 ? set.LimitTime / 86400.0 : double(L);
                v = limit - v;
            }
            if (!(v >= 0)) v = 0;
        }
        FHost.SetValue(i, true, v);
    }
}

// ---- state events -------------------------------------------------------------------

void TRowEngine::InterfaceStateChange(TInterface* sender, TTarnState, TTarnState newState)
{
    FHost.LogLine(Format("%s : %s %s @ %s", TimeOfDay().c_str(), TarnStateName(newState).c_str(),
                         sender ? sender->TypeName().c_str() : "", sender ? sender->SourceName().c_str() : ""));
}

void TRowEngine::InterfaceOpening(TInterface* sender)
{
    SetPanel(rpTime, "Opening ...");
    FHost.ShowMessageWindow(Format("Searching for %s on %s (press [Esc] to cancel) ...",
                                   sender ? sender->TypeName().c_str() : "", sender ? sender->Source.c_str() : ""));
}

void TRowEngine::InterfaceOpened(TInterface* sender)
{
    SetButtonEnabled(true);
    SetPanel(rpCOM, sender ? sender->Source.substr(0, 6) : std::string());
    SetPanel(rpTime, "");
    FClockStart = CurrentTime();
    FSession.RowStatus = rsRowing;
    UpdateButtonCaption();
    // The interface reports "opened" again when it continues after a pause:
    // the connection's rowing time still runs from its first opening.
    if (FRowingStart <= 0) FRowingStart = CurrentTime();
    FHost.FocusButton();
}

void TRowEngine::InterfacePaused(TInterface*)
{
    SetButtonEnabled(true);
    FSession.RowStatus = rsPaused;
    UpdateButtonCaption();
    FHost.FocusButton();
}

void TRowEngine::InterfaceContinued(TInterface*)
{
    SetButtonEnabled(true);
    SetPanel(rpTime, "");
    FClockStart = CurrentTime();
    FSession.RowStatus = rsRowing;
    UpdateButtonCaption();
    FHost.FocusButton();
}

void TRowEngine::InterfaceClosing(TInterface*)
{
    // Every stroke received so far stays; the arrays are trimmed to their use.
    CloseRecording(FSession, FStrokeIndex, FRawCount, FFinished);
    JournalClosed();
    FHost.RefreshTraining(TTrainingRefresh::All);
}

void TRowEngine::CountRowingTime()
{
    const double now = CurrentTime();
    if (FRowingStart > 0 && now > FRowingStart) FHost.AddRowingTime(now - FRowingStart);
    FRowingStart = 0;
}

void TRowEngine::InterfaceClosed(TInterface*)
{
    auto alive = FAlive;
    SetButtonEnabled(true);
    FSession.RowStatus = rsFinished;
    ClearPanels();
    UpdateButtonCaption();
    FHost.FocusButton();
    CountRowingTime();
    FHost.SaveSettings();
    if (!*alive) return;
    if (!FFinished && FSession.Totals.Distance > 0) {
        FHost.ShowResults(FSession);
        if (!*alive) return;
    }
    FHost.FocusButton();
}

void TRowEngine::InterfaceError(TInterface*, const std::string& text)
{
    auto alive = FAlive;
    FHost.HideMessageWindow();
    FHost.LogLine(Format("%s : * Error - %s *", TimeOfDay().c_str(), text.c_str()));
    SetButtonEnabled(true);
    SetPanel(rpTime, "");
    ShowErrorBox(text);
    if (!*alive) return;
    UpdateButtonCaption();
    FHost.FocusButton();
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
    auto alive = FAlive;
    TTarnProtocolSet protocols = sender->ProtocolSet;
    sender->Close();
    if (!*alive) return;
    Beep();
    ShowErrorBox(ProtocolMessageText(protocols, false));
}

// ---- data events --------------------------------------------------------------------

void TRowEngine::VTInterfaceRawData(TInterface* sender, double wheel, int heartRaw, int heartCorrected)
{
    if (FFinished) return;
    const double elapsed = CurrentTime() - FClockStart;
    SetPanel(rpTime, FormatDateTime("h:nn:ss", elapsed < 0 ? 0 : elapsed));
    FDataArrived = true;
    auto* vt = dynamic_cast<TVTInterface*>(sender);
    if (!vt || !vt->DoCalculate) return;
    if (FDataCount == 0) FHost.HideMessageWindow();
    if (!vt->Input().Computer.AllValid() && HasId(12)) FHost.SetValue(12, true, heartCorrected);
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
    FHost.ForceSample(puls, length, f);
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
    FHost.DriveStarted();
    FCurveBuffer = TStgForceCurve{};
}

void TRowEngine::VTInterfaceStartingRecover(TInterface*)
{
    if (FFinished) return;
    if (FForceIndex > 0 && FForceIndex <= 80)
        for (int k = FForceIndex; k <= 80; ++k) FDriveForces[size_t(k)] = 0;
    SetPanel(rpSR, "R");
    FHost.RecoveryStarted();
    FHost.RefreshTraining(TTrainingRefresh::ForceCurves);
    FHost.TrainingListChanged();
}

void TRowEngine::InterfaceStrokeData(TInterface* sender, const TStgStrokeData& received)
{
    if (FFinished) return;
    auto alive = FAlive;
    const TStgStrokeData rec = received;  // the interface's record may change under the handlers below
    TTraining& S = FSession;
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
    FCurveBuffer.HasData = rec.Power == 0 ? 0 : 1;
    S.Curves[size_t(k)] = FCurveBuffer;
    // 5.
    S.Header.SelectedStroke = k;
    ApplyCurvePeak(S.Strokes[size_t(k)], S.Curves[size_t(k)], S.Settings.Sprocket);
    FAverage.Update(S);
    // 6.
    bool intervalClosed = false;
    if (k >= 1 && S.Settings.LimitType == 4) {
        const int before = S.IntervalCount();
        CutIntervals(FIntervals, S, k);
        intervalClosed = S.IntervalCount() > before;
    }
    // A stroke after a save changes the session again: closing it asks.
    S.Header.Modified = 1;
    // 7.
    const bool finished = k >= 1 && FinishAtLimit(S, k, FIntervals.Finished);
    // On disk before anything else can happen.
    JournalStroke(k, finished ? jsFinished : 0);
    if (finished) {
        FFinished = true;
        if (sender) {
            sender->Close();
            if (!*alive) return;
        }
    }
    // 8.
    PushLiveValues();
    FHost.RefreshValues();
    FHost.StrokeStored(k);
    FHost.PanelsChanged();
    // 9.
    if (FFinished) SetStrokeCount(S, k);
    // 10.
    if (FFinished) {
        FHost.RefreshTraining(TTrainingRefresh::All);
        FHost.ShowResults(S);
        if (!*alive) return;
    } else if (intervalClosed) {
        FHost.RefreshTraining(TTrainingRefresh::All);
    } else {
        FHost.RefreshTraining(TTrainingRefresh::StrokeData);
    }
    // 11.
    FHost.FocusButton();
}

void TRowEngine::InterfaceForceCurve(TInterface*, const TStgForceCurve& curve)
{
    if (FFinished) return;
    if (FDataCount == 0) FHost.HideMessageWindow();
    ++FDataCount;
    TTraining& S = FSession;
    if (FStrokeIndex < 0 || FStrokeIndex >= int(S.Curves.size())) return;
    TStgForceCurve& target = S.Curves[size_t(FStrokeIndex)];
    std::copy(std::begin(curve.Samples), std::end(curve.Samples), std::begin(target.Samples));
    FHost.ForceCurveStored(FStrokeIndex);
    if (FStrokeIndex < int(S.Strokes.size())) {
        ApplyCurvePeak(S.Strokes[size_t(FStrokeIndex)], target, S.Settings.Sprocket);
        FAverage.Update(S);
        JournalStroke(FStrokeIndex, 0);
    }
}

// ---- journal ------------------------------------------------------------------------

void TRowEngine::JournalStroke(int k, uint8_t stateFlags)
{
    if (FJournalFailed || k < 1) return;
    if (!FJournal) {
        const std::string folder = FHost.RecordingJournalFolder();
        if (folder.empty()) return;
        auto journal = std::make_unique<TJournalWriter>();
        if (!journal->Create(folder, FSession)) {
            FJournalFailed = true;
            FHost.JournalFailed(Format("%s : * The recording journal cannot be written in \"%s\": %s *",
                                       TimeOfDay().c_str(), folder.c_str(), std::strerror(journal->LastError())));
            return;
        }
        FSession.JournalFile = journal->Path();
        FJournal = std::move(journal);
    }
    if (!FJournal->Record(FSession, k, FRawCount, stateFlags)) {
        // The strokes on disk so far stay there; the session itself records on.
        FJournalFailed = true;
        FHost.JournalFailed(Format("%s : * The recording journal \"%s\" cannot be written: %s *", TimeOfDay().c_str(),
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
    if (!FHost.MessageWindowShown() || FShutdown) cancel = true;
}

void TRowEngine::OTInterfaceNotFound(TInterface*)
{
    auto alive = FAlive;
    FHost.HideMessageWindow();
    ShowErrorBox("No response from the OTM");
    if (!*alive) return;
    UpdateButtonCaption();
    FHost.FocusButton();
}

void TRowEngine::OTInterfaceStartingWorkout(TInterface*)
{
    FHost.ShowMessageWindow("Waiting for data : Start rowing (or press [Esc] to cancel)");
}

void TRowEngine::OTInterfaceWorkoutStarted(TInterface*) { FDataArrived = true; }
