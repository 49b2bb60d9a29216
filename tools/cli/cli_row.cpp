// catchline-cli row: rows a session without a window. The same engine as the
// row window connects the source (the built-in demo recording by default),
// prints one line per stroke with the bottom value area's parameters, stops at
// the limit, at the end of the data, on an interface error or on Ctrl+C, prints
// the results, the 500 m splits and the time in the heart-rate zones, and
// saves the session. --type 7 rows a Bluetooth FTMS machine (an address, or
// capture:FILE), --heart pairs a heart-rate source with any rowing source.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/cli/commands.h"
#include "util/text.h"

#ifdef HAVE_CATCHLINE_LOGIC
#include <QCoreApplication>

#include "core/catalogue.h"
#include "core/records.h"
#include "core/splits.h"
#include "core/values.h"
#include "core/zones.h"
#include "files/journal.h"
#include "files/training_io.h"
#include "interfaces/delay.h"
#include "logic/row_engine.h"
#include "logic/session_store.h"
#include "logic/training_logic.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

// The bottom value area's default parameters: Power, Stroke length, Distance,
// Stroke rate, Avg. power, Pulse, Est. 500m time, Time.
const int kLineParameters[] = {1, 6, 7, 3, 2, 12, 9, 5};

// --fast plays captures this many times faster than recorded.
constexpr double kFastCaptureSpeed = 60.0;

class TConsoleRowHost : public TRowHost {
public:
    std::string Source = "DEMO";
    int Type = 1;
    std::string Heart;
    std::vector<double> Values = std::vector<double>(64, 0.0);
    bool Shown = false;
    std::string LastMessage;
    int Lines = 0;
    bool Quiet = false;

    bool ChooseSource(std::string& source, int& interfaceType) override
    {
        source = Source;
        interfaceType = Type;
        return true;
    }
    void ShowMessageWindow(const std::string& text) override
    {
        Shown = true;
        if (text != LastMessage) std::fprintf(stderr, "%s\n", text.c_str());
        LastMessage = text;
    }
    void HideMessageWindow() override { Shown = false; }
    bool MessageWindowShown() override { return Shown && !gInterrupted; }
    void LogLine(const std::string& line) override
    {
        if (std::getenv("CATCHLINE_TRACE")) std::fprintf(stderr, "%s\n", line.c_str());
    }
    void ClearValues() override { std::fill(Values.begin(), Values.end(), 0.0); }
    void SetValue(int parameter, bool, double value) override
    {
        if (parameter >= 0 && parameter < int(Values.size())) Values[size_t(parameter)] = value;
    }
    void StrokeStored(int k) override
    {
        if (Quiet) return;
        if (Lines % 20 == 0) {
            std::string head = Format("%6s", "Stroke");
            for (int p : kLineParameters) head += Format(" %12s", ParameterShortName(p).c_str());
            std::printf("%s\n", head.c_str());
        }
        ++Lines;
        std::string line = Format("%6d", k);
        for (int p : kLineParameters)
            line += Format(" %12s", FormatValue(ParameterFormat(p), Values[size_t(p)]).c_str());
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    // Every stroke goes to the journal as the row window's do.
    std::string RecordingJournalFolder() override { return JournalFolder(true); }
    void JournalFailed(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    std::optional<std::string> HeartRateSource() override { return Heart; }
    void HeartRateMessage(const std::string& text) override { std::fprintf(stderr, "Heart rate: %s\n", text.c_str()); }
};

bool ParseLimit(const std::string& text, TTrainingSettings& s, std::string& error)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        error = "limit must be KIND:VALUE";
        return false;
    }
    const std::string kind = text.substr(0, colon);
    double value = 0;
    if (!TryParseDecimal(text.substr(colon + 1), value) || value < 0 || value > 2147483647.0) {
        error = "limit value is not a non-negative number: " + text.substr(colon + 1);
        return false;
    }
    const int32_t v = int32_t(value + 0.5);
    if (SameText(kind, "strokes")) s.LimitType = 0, s.LimitStrokes = v;
    else if (SameText(kind, "energy")) s.LimitType = 1, s.LimitEnergy = v;
    else if (SameText(kind, "distance")) s.LimitType = 2, s.LimitDistance = v;
    else if (SameText(kind, "time")) s.LimitType = 3, s.LimitTime = v;
    else {
        error = "unknown limit kind: " + kind + " (strokes, energy, distance or time)";
        return false;
    }
    return true;
}

bool ParseIntervals(const std::string& text, TTrainingSettings& s, std::string& error)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const auto p = text.find(':', start);
        parts.push_back(text.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    if (parts.size() != 4) {
        error = "intervals must be COUNT:BY:WORK:REST";
        return false;
    }
    int32_t count = 0, work = 0, rest = 0;
    if (!TryParseInt(parts[0], count) || count < 0 || !TryParseInt(parts[2], work) || work < 0 ||
        !TryParseInt(parts[3], rest) || rest < 0) {
        error = "intervals: COUNT, WORK and REST must be non-negative whole numbers";
        return false;
    }
    const char* const names[] = {"strokes", "energy", "distance", "time"};
    int by = -1;
    for (int i = 0; i < 4; ++i)
        if (SameText(parts[1], names[i])) by = i;
    if (by < 0) {
        error = "intervals: BY must be strokes, energy, distance or time";
        return false;
    }
    s.LimitType = 4;
    s.LimitIntervals = count;
    s.IntervalBy = by;
    SetWorkPeriodFor(s, by, work);
    SetRestPeriodFor(s, by, rest);
    return true;
}

void PrintResults(const TTraining& t)
{
    const TResultsTexts r = ResultsTexts(t);
    std::printf("\nResults%s%s\n", r.Caption.empty() ? "" : " - ", r.Caption.c_str());
    std::printf("Totals:   distance %s  time %s  energy %s  strokes %s\n", r.Totals.Distance.c_str(),
                r.Totals.Time.c_str(), r.Totals.Energy.c_str(), r.Totals.Strokes.c_str());
    std::printf("Averages: power %s  500m %s  stroke rate %s  drive/recover %s\n", r.Totals.Power.c_str(),
                r.Totals.Time500.c_str(), r.Totals.StrokeRate.c_str(), r.Totals.DRRatio.c_str());
    std::printf("Maxima:   power %s  500m %s  stroke rate %s  drive/recover %s\n", r.MaxPower.c_str(),
                r.Max500m.c_str(), r.MaxStrokeRate.c_str(), r.MaxDriveRecover.c_str());
}

// The 500 m splits and, when the session has a pulse, the time in each heart-rate zone.
void PrintSplitsAndZones(const TTraining& t, const THeartZones& zones)
{
    const auto splits = ComputeSplits(t, sptDistance, 500);
    if (!splits.empty()) {
        // Rows start with "#" so that they never read as stroke lines.
        std::printf("\n%-14s %9s %9s %8s %8s %7s %7s %6s\n", "Splits (500 m)", "Distance", "Time", "500m", "Power",
                    "Rate", "Strokes", "Pulse");
        for (const TSplit& s : splits)
            std::printf("  #%-11d %9s %9s %8s %8s %7s %7d %6s\n", s.Number, Trim(SplitValueText(s, 3)).c_str(),
                        Trim(SplitValueText(s, 5)).c_str(), Trim(SplitValueText(s, 10)).c_str(),
                        Trim(SplitValueText(s, 6)).c_str(), Trim(SplitValueText(s, 7)).c_str(), s.Strokes,
                        s.Pulse > 0 ? Trim(SplitValueText(s, 15)).c_str() : "-");
    }
    const TZoneTimes z = ComputeZoneTimes(t, zones);
    if (!z.HasHeartRate()) return;
    std::printf("\nHeart-rate zones (maximum %d):\n", zones.MaxHeartRate);
    for (int i = 0; i < 5; ++i)
        std::printf("  %-18s %s\n", ZoneCaption(zones, i).c_str(),
                    FormatValue("Th:nn:ss", z.Seconds[size_t(i)] / 86400).c_str());
    std::printf("  %-18s %s\n", "Below zone 1", FormatValue("Th:nn:ss", z.Below / 86400).c_str());
    if (z.NoHeartRate > 0)
        std::printf("  %-18s %s\n", "No heart rate", FormatValue("Th:nn:ss", z.NoHeartRate / 86400).c_str());
}

}  // namespace

int CmdRow(const std::vector<std::string>& args)
{
    TConsoleRowHost host;
    std::string userFile, outFile;
    bool fast = false;
    TTraining session;
    NewTraining(session);
    TTrainingSettings limits = session.Settings;
    bool haveLimit = false, haveIntervals = false;
    int maxHeart = 0;
    std::string error;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--fast") fast = true;
        else if (a == "--quiet") host.Quiet = true;
        else if (a == "--source") {
            if (!value(v)) break;
            host.Source = v;
        } else if (a == "--type") {
            if (!value(v)) break;
            int32_t t = 0;
            if (!TryParseInt(v, t) || t < 1 || t > kFtmsInterfaceType) {
                error = "--type must be an interface type 1..7";
                break;
            }
            host.Type = t;
        } else if (a == "--heart") {
            if (!value(v)) break;
            if (!IsHeartRateSource(v)) {
                error = "--heart must be a strap's Bluetooth address, capture:FILE, ant, ant:NUMBER or DEMO: " + v;
                break;
            }
            host.Heart = v;
        } else if (a == "--max-heart") {
            if (!value(v)) break;
            int32_t m = 0;
            if (!TryParseInt(v, m) || m < 100 || m > 240) {
                error = "--max-heart must be a heart rate from 100 to 240";
                break;
            }
            maxHeart = m;
        } else if (a == "--user") {
            if (!value(userFile)) break;
        } else if (a == "--out") {
            if (!value(outFile)) break;
        } else if (a == "--limit") {
            if (!value(v) || !ParseLimit(v, limits, error)) break;
            haveLimit = true;
        } else if (a == "--intervals") {
            if (!value(v) || !ParseIntervals(v, limits, error)) break;
            haveLimit = true;
            haveIntervals = true;
        } else {
            error = "unknown argument: " + a;
            break;
        }
    }
    // Only a training file holds a rowed session: refuse anything else before
    // rowing rather than failing to save afterwards.
    if (error.empty() && !outFile.empty() &&
        (outFile.size() < 4 || !SameText(outFile.substr(outFile.size() - 4), ".stg")))
        error = "--out must name a training file (.stg): " + outFile;
    if (!error.empty()) {
        std::fprintf(stderr, "row: %s\n", error.c_str());
        return 2;
    }
    if (!userFile.empty()) {
        TTraining user;
        if (!OpenTraining(userFile, user, true) || !IsUserOnly(user) || !IsEmptyTraining(user)) {
            std::fprintf(stderr, "row: File \"%s\" is not a valid User file.\n", userFile.c_str());
            return 1;
        }
        session = user;
    }
    // The limit given on the command line replaces the user file's; the
    // interval periods only when --intervals gives them.
    if (haveLimit) {
        TTrainingSettings& set = session.Settings;
        set.LimitType = limits.LimitType;
        switch (limits.LimitType) {
        case 0: set.LimitStrokes = limits.LimitStrokes; break;
        case 1: set.LimitEnergy = limits.LimitEnergy; break;
        case 2: set.LimitDistance = limits.LimitDistance; break;
        case 3: set.LimitTime = limits.LimitTime; break;
        default: break;
        }
        if (haveIntervals) {
            set.LimitIntervals = limits.LimitIntervals;
            set.IntervalBy = limits.IntervalBy;
            SetWorkPeriodFor(set, limits.IntervalBy, WorkPeriodFor(limits, limits.IntervalBy));
            SetRestPeriodFor(set, limits.IntervalBy, RestPeriodFor(limits, limits.IntervalBy));
        }
    }
    if (session.ClientId == 0) session.ClientId = 101;
    session.Header.FileType = ftSTG;
    session.Header.ContentKind = ckRow;

    // A developer's knob (the tests use it): CATCHLINE_WAIT_PACE=N runs the
    // interfaces' fixed waits N times as fast and, with --fast, plays N times
    // as much of the demo per step. Real-time playback is not affected.
    if (const char* pace = std::getenv("CATCHLINE_WAIT_PACE")) {
        int32_t n = 1;
        if (TryParseInt(pace, n) && n >= 1 && n <= 100) SetWaitPace(n);
    }

    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "catchline-cli";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    BuildCatalogues();
    gInterrupted = 0;
    // Ctrl+C, and a polite kill or a closed terminal, end the row as a
    // disconnect does: every stroke so far is kept and saved.
    auto previous = std::signal(SIGINT, OnInterrupt);
    auto previousTerm = std::signal(SIGTERM, OnInterrupt);
    auto previousHup = std::signal(SIGHUP, OnInterrupt);
    // A reader that goes away (| head) must not end the tool before it has
    // saved and printed where; the tool ends with this command anyway.
    std::signal(SIGPIPE, SIG_IGN);

    bool dataArrived = false;
    uint32_t protocolErrors = 0;
    {
        // The session is recorded in a store of its own; statistics belong to
        // the program's settings, the tool counts them nowhere.
        TSessionStore store;
        TStandaloneServices program;
        const int32_t id = session.ClientId;
        store.Add(session, id);
        TRowEngine engine(store, id, host, program);
        engine.DemoFast = fast;
        // Captures fast, but in step: a strap's capture must keep pace with
        // the machine's so each stroke gets the heart rate of its time.
        engine.CaptureSpeed = fast ? kFastCaptureSpeed : 1.0;
        // --fast plays the recording as fast as the machine allows.
        if (fast) engine.DemoStepMs = 250;
        // The tool answers no questions: the reset question is not asked for
        // its fresh session, the rest are errors printed by the console service.
        engine.BtnConnectClick();
        while (engine.Interface() && engine.Interface()->State() != vtsClosed) {
            if (gInterrupted) {
                std::fprintf(stderr, "Interrupted: disconnecting.\n");
                engine.Disconnect();
                break;
            }
            Delay(50);
        }
        dataArrived = engine.DataArrived();
        protocolErrors = engine.ProtocolErrors();
        engine.Shutdown();
        session = engine.Session();
    }
    std::signal(SIGINT, previous);
    std::signal(SIGTERM, previousTerm);
    std::signal(SIGHUP, previousHup);

    // Nothing recorded (a wrong port, a silent or unplugged device, garbage
    // from the start, Ctrl+C before the first stroke): no file is written, so
    // a session already at --out stays as it was, and the exit says so.
    if (session.StrokeCount() == 0) {
        std::string why;
        if (protocolErrors > 0) why = "the data from " + host.Source + " was not in the interface's protocol";
        else if (!dataArrived) why = "no data came from " + host.Source;
        else if (gInterrupted) why = "interrupted before the first stroke";
        else why = "no stroke was rowed";
        std::fprintf(stderr, "row: nothing recorded: %s; no file written\n", why.c_str());
        return 1;
    }
    PrintResults(session);
    THeartZones zones;
    {
        const std::string settings = TStandaloneServices().SettingsFileForReading();
        if (!settings.empty() && FileSizeOf(settings) >= 0) zones = ReadHeartZones(TProfileFile(settings));
    }
    if (maxHeart > 0) zones.MaxHeartRate = maxHeart;
    PrintSplitsAndZones(session, zones);
    std::fflush(stdout);
    session.Header.Modified = 1;
    session.Header.FileType = ftSTG;
    std::string path = outFile;
    if (path.empty()) {
        const std::string folder = UserDataFolder(true);
        for (int n = 1; n < 100000; ++n) {
            std::string candidate = Format("%sRow%05d.stg", folder.c_str(), n);
            if (FileSizeOf(candidate) < 0 && NonRegularFileError(candidate) == 0) {
                path = candidate;
                break;
            }
        }
    }
    const std::string tried = path;
    if (!path.empty() && SaveTraining(path, "", session)) {
        EndSessionJournal(session, jeSaved);
        std::printf("Saved %d strokes to %s\n", session.StrokeCount(), path.c_str());
        return 0;
    }
    // The save failed (a full disk, a read-only or missing folder): the
    // strokes go where they can be saved, and the exit still tells of the
    // failure.
    const int strokes = session.StrokeCount();
    const std::string saved = SaveToFallback(session, tried, false);
    if (!saved.empty()) {
        EndSessionJournal(session, jeSaved);
        std::printf("Saved %d strokes to %s\n", strokes, saved.c_str());
    } else if (!session.JournalFile.empty()) {
        std::fprintf(stderr, "row: its strokes are kept in %s (catchline-cli recover)\n", session.JournalFile.c_str());
    }
    return 1;
}

#else

int CmdRow(const std::vector<std::string>&)
{
    std::fprintf(stderr, "row: this build has no rowing engine\n");
    return 1;
}

#endif
