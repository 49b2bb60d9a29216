// Exports read back by an independent decoder (gpsbabel reads FIT and TCX,
// xmllint validates TCX against the format's schema written out in
// tests/data/tcx), the demo session rowed and exported with
// catchline-cli, read back by catchline-cli dump, and bad input on the
// command line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <regex>

#include "files/session_export.h"
#include "files/session_laps.h"
#include "files/training_io.h"
#include "testutil_files.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/text.h"

#ifndef CATCHLINE_CLI
#define CATCHLINE_CLI ""
#endif

namespace {

std::string Quote(const std::string& s) { return "'" + ReplaceAll(s, "'", "'\\''") + "'"; }

std::string Slurp(const std::string& path)
{
    auto b = FileBytes(path);
    return std::string(b.begin(), b.end());
}

struct TRun {
    int Code = -1;
    std::string Out, Err;
};

TRun Shell(const std::string& command, const TTempDir& dir)
{
    const std::string cmd = command + " >" + Quote(dir / ".out") + " 2>" + Quote(dir / ".err");
    const int status = std::system(cmd.c_str());
    TRun r;
    r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.Out = Slurp(dir / ".out");
    r.Err = Slurp(dir / ".err");
    return r;
}

TRun Cli(const std::vector<std::string>& args, const TTempDir& dir)
{
    std::string cmd = Quote(CATCHLINE_CLI);
    for (const auto& a : args) cmd += " " + Quote(a);
    return Shell(cmd, dir);
}

bool Installed(const char* program)
{
    return std::system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0;
}

// One point as gpsbabel reads it: its time (UTC) and the values it knows.
struct TPoint {
    double Time = 0;
    std::string HeartRate, Cadence, Power;
};

// The track points gpsbabel reads from a file, through its universal CSV.
std::vector<TPoint> GpsbabelPoints(const std::string& format, const std::string& path, const TTempDir& dir)
{
    const TRun r = Shell("gpsbabel -t -i " + format + " -f " + Quote(path) + " -o unicsv,utc=0 -F -", dir);
    EXPECT_EQ(r.Code, 0) << r.Err;
    std::vector<std::string> lines = SplitString(ReplaceAll(r.Out, "\r", ""), '\n');
    std::vector<TPoint> points;
    if (lines.empty()) return points;
    const std::vector<std::string> names = SplitString(lines[0], ',');
    auto column = [&](const char* name) {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return int(i);
        return -1;
    };
    const int date = column("Date"), time = column("Time"), heart = column("Heartrate"), cadence = column("Cadence"),
              power = column("Power");
    EXPECT_GE(date, 0) << lines[0];
    for (size_t l = 1; l < lines.size(); ++l) {
        if (lines[l].empty()) continue;
        const std::vector<std::string> f = SplitString(lines[l], ',');
        TPoint p;
        std::tm tm{};
        double seconds = 0;
        if (date >= 0 && time >= 0 && size_t(std::max(date, time)) < f.size()) {
            std::sscanf(f[size_t(date)].c_str(), "%d/%d/%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday);
            std::sscanf(f[size_t(time)].c_str(), "%d:%d:%lf", &tm.tm_hour, &tm.tm_min, &seconds);
            tm.tm_year -= 1900;
            tm.tm_mon -= 1;
            p.Time = double(timegm(&tm)) + seconds;
        }
        auto at = [&](int c) { return c >= 0 && size_t(c) < f.size() ? f[size_t(c)] : std::string(); };
        p.HeartRate = at(heart);
        p.Cadence = at(cadence);
        p.Power = at(power);
        points.push_back(p);
    }
    return points;
}

// gpsbabel keeps only track points with a position, which an indoor row has
// not: a position is put into each (nothing else changes) before it reads.
std::string WithPositions(const std::string& tcx)
{
    return std::regex_replace(tcx, std::regex("(<Time>[^<]*</Time>)"),
                              "$1<Position><LatitudeDegrees>0.5</LatitudeDegrees>"
                              "<LongitudeDegrees>0.5</LongitudeDegrees></Position>");
}

// gpsbabel reads the FIT and the TCX export of t: one point per stroke with
// its time, heart rate, cadence and power.
void ExpectGpsbabelReads(const TTraining& t, const std::string& fit, const std::string& tcx, const TTempDir& dir)
{
    const double start = SessionStartUnix(t);
    const int n = t.StrokeCount();
    const std::vector<TPoint> fromFit = GpsbabelPoints("garmin_fit,allpoints=1", fit, dir);
    PutFileBytes(dir / "positions.tcx", [&] {
        const std::string s = WithPositions(Slurp(tcx));
        return std::vector<uint8_t>(s.begin(), s.end());
    }());
    const std::vector<TPoint> fromTcx = GpsbabelPoints("gtrnctr", dir / "positions.tcx", dir);
    ASSERT_EQ(int(fromFit.size()), n);
    ASSERT_EQ(int(fromTcx.size()), n);
    for (int k = 1; k <= n; ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        const TPoint& f = fromFit[size_t(k - 1)];
        const TPoint& x = fromTcx[size_t(k - 1)];
        // FIT keeps whole seconds, TCX milliseconds.
        EXPECT_EQ(f.Time, std::nearbyint(start + double(s.Time))) << "FIT time of stroke " << k;
        EXPECT_NEAR(x.Time, start + double(s.Time), 0.0011) << "TCX time of stroke " << k;
        // gpsbabel leaves a value of 0 empty.
        auto shown = [](long v) { return v > 0 ? std::to_string(v) : std::string(); };
        auto watts = [](const std::string& text) { return text.empty() ? 0L : std::lround(std::stod(text)); };
        EXPECT_EQ(f.HeartRate, shown(std::lround(s.Pulse))) << "FIT heart rate of stroke " << k;
        EXPECT_EQ(x.HeartRate, shown(std::lround(s.Pulse))) << "TCX heart rate of stroke " << k;
        // FIT's cadence is the whole strokes (the fraction has a field of its
        // own that gpsbabel does not read); TCX's is rounded.
        EXPECT_EQ(f.Cadence, shown(long(std::floor(s.StrokeRate * 128 + 0.5) / 128))) << k;
        EXPECT_EQ(x.Cadence, shown(std::lround(s.StrokeRate))) << k;
        EXPECT_EQ(watts(f.Power), std::lround(s.Power)) << "FIT power of stroke " << k;
        EXPECT_EQ(watts(x.Power), std::lround(s.Power)) << "TCX power of stroke " << k;
    }
}

// xmllint's verdict on a TCX file against the TCX v2 schema and its activity
// extension (never from the network).
TRun ValidateTcx(const std::string& path, const TTempDir& dir)
{
    return Shell(
        "xmllint --nonet --noout --schema " + Quote(DataFile("tcx/TrainingCenterDatabasev2.xsd")) + " " + Quote(path),
        dir);
}

void ExpectSchemaValid(const std::string& path, const TTempDir& dir)
{
    const TRun lint = ValidateTcx(path, dir);
    EXPECT_EQ(lint.Code, 0) << lint.Err;
}

class ExportCli : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (std::string(CATCHLINE_CLI).empty()) return;
        // The demo recording rowed as an interval workout: 4 intervals of 20
        // strokes with 8 strokes rest (it ends when the third completes).
        Demo = new TTempDir;
        const TRun r = Cli(
            {"row", "--source", "DEMO", "--fast", "--intervals", "4:strokes:20:8", "--out", *Demo / "demo.stg"}, *Demo);
        ASSERT_EQ(r.Code, 0) << r.Err;
    }
    static void TearDownTestSuite()
    {
        delete Demo;
        Demo = nullptr;
    }
    void SetUp() override
    {
        if (std::string(CATCHLINE_CLI).empty()) GTEST_SKIP() << "catchline-cli is not built";
        ASSERT_TRUE(Installed("gpsbabel")) << "gpsbabel is not installed (scripts/deps.sh installs it)";
        ASSERT_TRUE(Installed("xmllint")) << "xmllint is not installed (scripts/deps.sh installs it)";
    }

    static TTempDir* Demo;
    TTempDir Dir;
};

TTempDir* ExportCli::Demo = nullptr;

nlohmann::json Dump(const std::string& path, const TTempDir& dir)
{
    const TRun r = Cli({"dump", path}, dir);
    EXPECT_EQ(r.Code, 0) << r.Err;
    return r.Code == 0 ? nlohmann::json::parse(r.Out) : nlohmann::json::object();
}

}  // namespace

TEST_F(ExportCli, DemoSessionReadBackByGpsbabelAndByOurImport)
{
    const std::string demo = *Demo / "demo.stg";
    TTraining t;
    ASSERT_TRUE(OpenTraining(demo, t, false));
    ASSERT_GT(t.StrokeCount(), 60);
    ASSERT_GE(SessionLaps(t).size(), 5u) << "work, rest, work, rest, work";
    for (const char* name : {"demo.fit", "demo.tcx", "demo.csv"}) {
        const TRun r = Cli({"export", demo, Dir / name}, Dir);
        ASSERT_EQ(r.Code, 0) << name << ": " << r.Err;
    }
    ExpectGpsbabelReads(t, Dir / "demo.fit", Dir / "demo.tcx", Dir);
    ExpectSchemaValid(Dir / "demo.tcx", Dir);

    // dump reads the imported kinds: the strokes, their intervals and curves.
    const nlohmann::json original = Dump(demo, Dir);
    for (const char* name : {"demo.fit", "demo.csv"}) {
        SCOPED_TRACE(name);
        const nlohmann::json back = Dump(Dir / name, Dir);
        ASSERT_EQ(back["Strokes"].size(), original["Strokes"].size());
        for (size_t k = 1; k < back["Strokes"].size(); ++k) {
            EXPECT_EQ(back["Strokes"][k]["Time"], original["Strokes"][k]["Time"]) << k;
            EXPECT_EQ(back["Strokes"][k]["IntervalNumber"], original["Strokes"][k]["IntervalNumber"]) << k;
            EXPECT_EQ(back["Curves"][k], original["Curves"][k]) << k;
        }
    }
}

TEST_F(ExportCli, HandMadeSessionsReadBackByGpsbabel)
{
    TConsoleDialogs dialogs;
    TDialogScope scope(dialogs);
    TTraining withGap = RowedSession(12);
    withGap.Strokes[5].Pulse = 0;  // the strap lost contact for a stroke
    int i = 0;
    for (const TTraining& t : {RowedSession(30, true, 6, 3), RowedSession(10, false), RowedSession(1), withGap}) {
        SCOPED_TRACE(++i);
        ASSERT_TRUE(ExportTraining(Dir / "hand.fit", t));
        ASSERT_TRUE(ExportTraining(Dir / "hand.tcx", t));
        ExpectGpsbabelReads(t, Dir / "hand.fit", Dir / "hand.tcx", Dir);
        ExpectSchemaValid(Dir / "hand.tcx", Dir);
    }
}

TEST_F(ExportCli, SchemaRefusesWhatTheFormatForbids)
{
    // The validation above is worth something only if the schema catches
    // the faults a writer makes: elements out of order, a sport the format
    // does not know, a heart rate of 0, a stroke count past its range.
    TConsoleDialogs dialogs;
    TDialogScope scope(dialogs);
    ASSERT_TRUE(ExportTraining(Dir / "good.tcx", RowedSession(4, true, 2, 1)));
    const std::string good = Slurp(Dir / "good.tcx");
    ASSERT_EQ(ValidateTcx(Dir / "good.tcx", Dir).Code, 0);
    const std::vector<std::pair<std::string, std::string>> faults = {
        {R"(</DistanceMeters>\n(\s*)<HeartRateBpm><Value>(\d+)</Value></HeartRateBpm>)",
         R"(</DistanceMeters>
$1<Cadence>20</Cadence><HeartRateBpm><Value>$2</Value></HeartRateBpm>)"},
        {R"(Sport="Other")", R"(Sport="Rowing")"},
        {R"(<HeartRateBpm><Value>\d+</Value>)", "<HeartRateBpm><Value>0</Value>"},
        {R"(<ns3:Steps>\d+</ns3:Steps>)", "<ns3:Steps>70000</ns3:Steps>"},
        {R"((<ns3:Speed>[^<]*</ns3:Speed>)(\s*)(<ns3:Watts>[^<]*</ns3:Watts>))", "$3$2$1"},
    };
    for (const auto& [pattern, replacement] : faults) {
        SCOPED_TRACE(pattern);
        const std::string bad =
            std::regex_replace(good, std::regex(pattern), replacement, std::regex_constants::format_first_only);
        ASSERT_NE(bad, good);
        PutFileBytes(Dir / "bad.tcx", std::vector<uint8_t>(bad.begin(), bad.end()));
        EXPECT_NE(ValidateTcx(Dir / "bad.tcx", Dir).Code, 0);
    }
}

TEST_F(ExportCli, GridAndBadInput)
{
    const std::string sample = DataFile("training/sample.stg");
    // --grid keeps the stroke data grid; a .csv without it is RowingData.
    TRun r = Cli({"export", "--grid", sample, Dir / "grid.csv"}, Dir);
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(Slurp(Dir / "grid.csv").substr(0, 16), "Stroke,Power (W)");
    r = Cli({"export", sample, Dir / "rowing.csv"}, Dir);
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(Slurp(Dir / "rowing.csv").substr(0, 16), "TimeStamp (sec),");

    r = Cli({"export", sample, Dir / "out.gpx"}, Dir);
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Err.find("FIT (.fit), TCX (.tcx) or RowingData CSV (.csv)"), std::string::npos) << r.Err;
    EXPECT_FALSE(FileExists(Dir / "out.gpx"));

    r = Cli({"export", DataFile("training/user_only.stg"), Dir / "empty.fit"}, Dir);
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("no strokes to export"), std::string::npos) << r.Err;
    EXPECT_FALSE(FileExists(Dir / "empty.fit"));

    // Damaged imports: exit 1 with what is wrong.
    ASSERT_EQ(Cli({"export", sample, Dir / "bad.fit"}, Dir).Code, 0);
    auto bytes = FileBytes(Dir / "bad.fit");
    bytes.resize(bytes.size() - 100);
    PutFileBytes(Dir / "bad.fit", bytes);
    r = Cli({"dump", Dir / "bad.fit"}, Dir);
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("The FIT file is truncated"), std::string::npos) << r.Err;
    r = Cli({"dump", Dir / "grid.csv"}, Dir);
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("not a RowingData CSV file"), std::string::npos) << r.Err;
}
