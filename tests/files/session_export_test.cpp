// Sessions exported as FIT, TCX and RowingData CSV files, and FIT and CSV
// files imported: round trips, the laps of interval workouts, the formats'
// rules, and damaged files refused with a reason.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>

#include "core/intervals.h"
#include "files/fit_file.h"
#include "files/fit_protocol.h"
#include "files/rowcsv_file.h"
#include "files/session_export.h"
#include "files/session_laps.h"
#include "files/tcx_file.h"
#include "files/training_io.h"
#include "tests/support/scripted_dialogs.h"
#include "testutil_files.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/text.h"

namespace {

const TFileInfo kInfo{"/rowed/elsewhere.fit", 45500.25, 0};

TTraining ImportFit(const std::vector<uint8_t>& bytes, std::string* error = nullptr)
{
    TTraining t;
    ClearTraining(t);
    std::string reason;
    const bool ok = ParseFitFile(kInfo, bytes.data(), bytes.size(), t, reason);
    if (error) *error = ok ? std::string() : reason;
    else EXPECT_TRUE(ok) << reason;
    return t;
}

TTraining ImportCsv(const std::string& text, std::string* error = nullptr)
{
    TTraining t;
    ClearTraining(t);
    std::string reason;
    const bool ok = ParseRowingCsv(kInfo, reinterpret_cast<const uint8_t*>(text.data()), text.size(), t, reason);
    if (error) *error = ok ? std::string() : reason;
    else EXPECT_TRUE(ok) << reason;
    return t;
}

// What FIT keeps of a stroke: distance in cm, power in watts, rate in 128ths,
// heart rate in beats, speed in mm/s; the developer fields as float32.
const TStrokeTolerance kFitPrecision{0.005, 0.5, 1.0 / 256, 0.5, 0.0005, 0.5, 2e-6};
// The CSV writes every stored float in full; lengths and times are converted.
const TStrokeTolerance kCsvPrecision{0, 0, 0, 0, 1e-9, 1e-3, 2e-6};

std::string Line(const std::string& text, size_t index)
{
    const std::vector<std::string> lines = SplitString(text, '\n');
    return index < lines.size() ? lines[index] : std::string();
}

// Fields of a CSV line, quotes respected.
std::vector<std::string> CsvFields(const std::string& line)
{
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        else if (c == ',' && !quoted) out.emplace_back();
        else out.back() += c;
    }
    return out;
}

}  // namespace

TEST(SessionLaps, IntervalWorkoutCutWhereTheCutterCutIt)
{
    // Work 6 strokes, rest 3: the cutter completes interval 1 at stroke 6,
    // rests over strokes 7..8 and starts interval 2 at stroke 9 (the stroke
    // that reaches the rest's end).
    const TTraining t = RowedSession(30, true, 6, 3);
    const std::vector<TLapSummary> laps = SessionLaps(t);
    ASSERT_GE(laps.size(), 6u);
    EXPECT_EQ(laps[0].First, 1);
    EXPECT_EQ(laps[0].Last, 6);
    EXPECT_FALSE(laps[0].Rest);
    EXPECT_TRUE(laps[1].Rest);
    EXPECT_EQ(laps[1].Interval, 1);
    int expected = 1;
    for (size_t i = 0; i < laps.size(); ++i) {
        EXPECT_EQ(laps[i].First, expected) << "laps cover every stroke once";
        expected = laps[i].Last + 1;
        EXPECT_EQ(laps[i].StartTime, i ? laps[i - 1].EndTime : 0.0);
        if (!laps[i].Rest && laps[i].Interval <= t.IntervalCount()) {
            // A work lap is the interval the cutter wrote: its strokes, time and distance.
            const TTrainingInterval& iv = t.Intervals[size_t(laps[i].Interval - 1)];
            EXPECT_EQ(laps[i].Strokes, iv.Stroke.StrokeNumber) << "interval " << laps[i].Interval;
            EXPECT_FLOAT_EQ(float(laps[i].Duration()), iv.Stroke.Time);
            EXPECT_FLOAT_EQ(float(laps[i].Distance), iv.Stroke.Distance);
            EXPECT_NEAR(laps[i].AvgPower, iv.Stroke.AveragePower, 0.01);
        }
    }
    EXPECT_EQ(expected, 31);

    // Without an interval workout the session is one lap.
    const TTraining plain = RowedSession(12);
    ASSERT_EQ(SessionLaps(plain).size(), 1u);
    EXPECT_EQ(SessionLaps(plain)[0].Strokes, 12);
    EXPECT_NEAR(SessionLaps(plain)[0].AvgHeartRate, 128, 10);
}

TEST(FitExport, RoundTripKeepsTheStrokes)
{
    for (const TTraining& t : {RowedSession(40, true, 8, 4), RowedSession(25, false), RowedSession(1)}) {
        SCOPED_TRACE(t.StrokeCount());
        const TTraining back = ImportFit(FitFileBytes(t));
        ExpectSameStrokes(t, back, kFitPrecision);
        EXPECT_NEAR(back.Header.DateTime, t.Header.DateTime, 1.0 / kSecondsPerDay);
        EXPECT_EQ(back.Header.OriginalType, ftFIT);
        EXPECT_EQ(back.Header.OriginalKind, ckTraining);
        EXPECT_EQ(back.Header.Title.Text(), "elsewhere");
        EXPECT_NEAR(back.Totals.Time, t.Totals.Time, 0.001);
        EXPECT_NEAR(back.Totals.Distance, t.Totals.Distance, 0.01);
        EXPECT_NEAR(back.Totals.Energy, t.Totals.Energy, 0.001);
        // The average slot is recomputed from the curves read back.
        EXPECT_EQ(0, std::memcmp(back.Curves[0].Samples, t.Curves[0].Samples, sizeof t.Curves[0].Samples));
    }
}

TEST(FitExport, CurveSpacingAndMissingCurvesSurvive)
{
    TTraining t = RowedSession(5);
    t.Settings.Ergometer = 2;  // 4.5 cm between samples
    t.Curves[3].HasData = 0;
    std::memset(t.Curves[3].Samples, 0, sizeof t.Curves[3].Samples);
    const TTraining back = ImportFit(FitFileBytes(t));
    EXPECT_EQ(SampleSpacing(back.Settings), 4.5);
    EXPECT_EQ(back.Curves[3].HasData, 0);
    EXPECT_EQ(back.Curves[4].HasData, 1);
    t.Settings.Ergometer = 0;
    t.Settings.Sprocket = 0;
    EXPECT_EQ(SampleSpacing(ImportFit(FitFileBytes(t)).Settings), 2.0);
}

TEST(FitExport, FileLayout)
{
    const TTraining t = RowedSession(20, true, 6, 3);
    const std::vector<uint8_t> bytes = FitFileBytes(t);
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(bytes[0], 14);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[8]), 4), ".FIT");
    EXPECT_EQ(bytes[12] | (bytes[13] << 8), fit::Crc16(0, bytes.data(), 12));
    EXPECT_EQ(fit::Crc16(0, bytes.data(), bytes.size()), 0) << "the file CRC closes the file";

    std::map<uint16_t, int> count;
    std::vector<std::pair<double, double>> laps;  // intensity, cycles
    double sport = -1, subSport = -1, sessionCycles = -1, firstCadence = -1, firstFraction = -1;
    std::vector<double> eventTypes;
    std::string error;
    ASSERT_TRUE(fit::Read(
        bytes.data(), bytes.size(),
        [&](const fit::TMessage& m, const fit::TDevInfo&) {
            ++count[m.Global];
            if (m.Global == fit::gmSession) {
                sport = m.Number(5);
                subSport = m.Number(6);
                sessionCycles = m.Number(10);
            } else if (m.Global == fit::gmLap) {
                laps.push_back({m.Number(23), m.Number(10)});
            } else if (m.Global == fit::gmEvent) {
                eventTypes.push_back(m.Number(1));
            } else if (m.Global == fit::gmRecord && firstCadence < 0 && m.Number(19) == 2) {
                firstCadence = m.Number(4);
                firstFraction = m.Number(53);
            }
        },
        error))
        << error;
    EXPECT_EQ(count[fit::gmFileId], 1);
    EXPECT_EQ(count[fit::gmDeveloperDataId], 1);
    EXPECT_EQ(count[fit::gmFieldDescription], 10);
    EXPECT_EQ(count[fit::gmRecord], 20);
    EXPECT_EQ(count[fit::gmActivity], 1);
    EXPECT_EQ(eventTypes, (std::vector<double>{0, 4}));  // timer start, stop all
    EXPECT_EQ(sport, 15);
    EXPECT_EQ(subSport, 14);
    EXPECT_EQ(sessionCycles, 20);
    // Work, rest, work, rest, ... with every stroke in one lap.
    ASSERT_EQ(laps.size(), SessionLaps(t).size());
    double cycles = 0;
    for (size_t i = 0; i < laps.size(); ++i) {
        EXPECT_EQ(laps[i].first, SessionLaps(t)[i].Rest ? 1 : 0);
        cycles += laps[i].second;
    }
    EXPECT_EQ(cycles, 20);
    // Cadence is the whole strokes per minute, the fraction in 128ths: the
    // two together are the rate (whole part never rounded up).
    const double rate = t.Strokes[2].StrokeRate;
    EXPECT_EQ(firstCadence, std::floor(rate));
    EXPECT_NEAR(firstCadence + firstFraction / 128, rate, 1.0 / 256);
}

TEST(FitImport, DamagedFilesAreRefusedWithAReason)
{
    const std::vector<uint8_t> good = FitFileBytes(RowedSession(10));
    std::string error;

    std::vector<uint8_t> bad = good;
    bad[bad.size() / 2] ^= 0x40;
    ImportFit(bad, &error);
    EXPECT_EQ(error, "The FIT file's CRC is wrong: the file is damaged.");

    bad = good;
    bad[5] ^= 1;  // data size, under the header CRC
    ImportFit(bad, &error);
    EXPECT_NE(error.find("header's CRC"), std::string::npos) << error;

    bad.assign(good.begin(), good.begin() + long(good.size() / 2));
    ImportFit(bad, &error);
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;

    bad = good;
    std::memcpy(&bad[8], ".ZIP", 4);
    ImportFit(bad, &error);
    EXPECT_NE(error.find("not a FIT file"), std::string::npos) << error;

    ImportFit(std::vector<uint8_t>(good.begin(), good.begin() + 7), &error);
    EXPECT_NE(error.find("too short"), std::string::npos) << error;

    // A data message of a local type nobody defined, in an intact file.
    fit::TWriter w;
    w.Begin(3);
    w.End();
    ImportFit(w.Finish(), &error);
    EXPECT_NE(error.find("undefined type 3"), std::string::npos) << error;

    // An intact file without records.
    fit::TWriter empty;
    empty.Define(0, fit::gmFileId, {{0, 1, fit::btEnum}});
    empty.Begin(0);
    empty.U8(4);
    empty.End();
    ImportFit(empty.Finish(), &error);
    EXPECT_NE(error.find("no records"), std::string::npos) << error;
}

TEST(FitImport, OtherProducersPerStrokeAndPerSecond)
{
    const uint32_t start = 1000000000;
    // Unknown messages, a developer field nobody described and big-endian
    // definitions are read past; compressed timestamps are followed.
    fit::TWriter w;
    w.Define(1, 0xFF00, {{0, 4, fit::btUint32}});
    w.Begin(1);
    w.U32(7);
    w.End();
    w.Define(2, fit::gmRecord,
             {{fit::kTimestampField, 4, fit::btUint32},
              {5, 4, fit::btUint32},
              {4, 1, fit::btUint8},
              {7, 2, fit::btUint16},
              {19, 4, fit::btUint32},
              {3, 1, fit::btUint8}},
             {{0, 4, 9}});
    for (int k = 1; k <= 12; ++k) {
        w.Begin(2);
        w.U32(start + uint32_t(k * 3));
        w.U32(uint32_t(k * 1100));  // 11 m a stroke
        w.U8(20);
        w.U16(uint16_t(150 + k));
        w.U32(uint32_t(k));
        w.U8(uint8_t(130 + k));
        w.U32(0xDEADBEEF);
        w.End();
    }
    TTraining t = ImportFit(w.Finish());
    ASSERT_EQ(t.StrokeCount(), 12);
    EXPECT_EQ(t.Strokes[12].Distance, 132.0f);
    EXPECT_EQ(t.Strokes[12].Time, 33.0f);  // from the first record: it starts 3 s in
    EXPECT_EQ(t.Strokes[5].Power, 155.0f);
    EXPECT_EQ(t.Strokes[5].Pulse, 135.0f);
    EXPECT_EQ(t.Strokes[5].DistancePerStroke, 1100.0f);
    EXPECT_EQ(t.Strokes[5].StrokeRate, 20.0f);
    EXPECT_FLOAT_EQ(t.Strokes[5].Energy, 155.0f * 3);  // power over the stroke's time
    EXPECT_EQ(t.Header.Note.Text(), "FIT file. Manufacturer=-1, Product=-1");

    // One record a second with a cadence of 30 and no stroke count: a stroke
    // every two seconds, counted from the cadence.
    fit::TWriter s;
    s.Define(0, fit::gmRecord, {{fit::kTimestampField, 4, fit::btUint32}, {4, 1, fit::btUint8}, {6, 2, fit::btUint16}});
    s.Begin(0);
    s.U32(start);
    s.U8(30);
    s.U16(4000);
    s.End();
    for (int i = 1; i <= 120; ++i) {
        s.Begin(0);
        s.U32(start + uint32_t(i));
        s.U8(30);
        s.U16(4000);
        s.End();
    }
    t = ImportFit(s.Finish());
    EXPECT_EQ(t.StrokeCount(), 60);
    EXPECT_EQ(t.Strokes[10].Time, 20.0f);
    EXPECT_FLOAT_EQ(t.Strokes[10].Distance, 80.0f);  // 4 m/s integrated: no distance field
    EXPECT_FLOAT_EQ(t.Strokes[10].Time500, 125.0f);

    // The same with the stroke count of a per-second file: strokes where it rises.
    fit::TWriter c;
    c.Define(0, fit::gmRecord, {{fit::kTimestampField, 4, fit::btUint32}, {19, 4, fit::btUint32}});
    for (int i = 0; i <= 30; ++i) {
        c.Begin(0);
        c.U32(start + uint32_t(i));
        c.U32(uint32_t(i / 3));
        c.End();
    }
    EXPECT_EQ(ImportFit(c.Finish()).StrokeCount(), 10);
}

TEST(FitImport, OpenedLikeTheOtherImports)
{
    TTempDir dir;
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    const TTraining t = RowedSession(8);
    ASSERT_TRUE(ExportTraining(dir / "row.fit", t));
    EXPECT_EQ(FileTypeOf(dir / "row.FIT"), ftFIT);
    TTraining back;
    ASSERT_TRUE(OpenTraining(dir / "row.fit", back, true));
    EXPECT_EQ(back.StrokeCount(), 8);
    EXPECT_EQ(back.Header.OriginalFileName.Text(), dir / "row.fit");
    TTrainingHeader header{};
    uint32_t version = 0;
    ASSERT_TRUE(OpenTrainingHeader(dir / "row.fit", header, version, true));
    EXPECT_EQ(header.OriginalType, ftFIT);

    // A damaged file: the message says what is wrong, the session stays empty.
    auto bytes = FileBytes(dir / "row.fit");
    bytes[40] ^= 0xFF;
    PutFileBytes(dir / "bad.fit", bytes);
    EXPECT_FALSE(OpenTraining(dir / "bad.fit", back, true));
    EXPECT_TRUE(IsEmptyTraining(back));
    EXPECT_EQ(dialogs.LastText(),
              "Error reading file \"" + dir / "bad.fit" + "\"\rThe FIT file's CRC is wrong: the file is damaged.");
}

TEST(RowingCsv, HeaderAndValues)
{
    TTraining t = RowedSession(3, true, 0);
    t.Strokes[2].Pulse = 0;    // no heart rate
    t.Strokes[2].Time500 = 0;  // no pace
    const std::string csv = RowingCsvText(t);
    // The standard's columns, byte for byte (its "stokes" included), then ours.
    EXPECT_EQ(Line(csv, 0),
              "TimeStamp (sec), Horizontal (meters), Cadence (stokes/min), HRCur (bpm), Stroke500mPace (sec/500m), "
              "Power (watts), DriveLength (meters), StrokeDistance (meters), DriveTime (ms), StrokeRecoveryTime (ms), "
              "AverageDriveForce (lbs), PeakDriveForce (lbs), lapIdx, ElapsedTime (sec), AverageDriveForce (N), "
              "PeakDriveForce (N), DragFactor, ForceCurve (N)");
    const std::vector<std::string> first = CsvFields(Line(csv, 1));
    ASSERT_EQ(first.size(), 18u);
    const double start = DaysToUnix(t.Header.DateTime) + 0.25;
    EXPECT_EQ(first[0], DecimalText(start + double(t.Strokes[1].Time), 3));
    EXPECT_NE(first[0].find('.'), std::string::npos);
    EXPECT_EQ(first[5], ShortestText(t.Strokes[1].Power));
    EXPECT_EQ(first[12], "0");
    EXPECT_EQ(SplitString(first[17], ',').size(), size_t(kCurveSamples));
    const std::vector<std::string> second = CsvFields(Line(csv, 2));
    EXPECT_EQ(second[3], "") << "no heart rate is an empty field";
    EXPECT_EQ(second[4], "") << "no pace is an empty field, never 0";
    EXPECT_NEAR(std::stod(second[11]) * 4.4482216152605, t.Strokes[2].PeakForce, 1e-3);

    // A locale with a decimal comma changes nothing.
    const char* previous = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (previous) {
        EXPECT_EQ(RowingCsvText(t), csv);
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(RowingCsv, RoundTripKeepsTheStrokes)
{
    for (const TTraining& t : {RowedSession(40, true, 8, 4), RowedSession(25, false), RowedSession(1)}) {
        SCOPED_TRACE(t.StrokeCount());
        const TTraining back = ImportCsv(RowingCsvText(t));
        ExpectSameStrokes(t, back, kCsvPrecision);
        EXPECT_NEAR(back.Header.DateTime, t.Header.DateTime, 0.002 / kSecondsPerDay);
        EXPECT_EQ(back.Header.OriginalType, ftCSV);
    }
}

TEST(RowingCsv, OtherProgramsFiles)
{
    // An index column, columns in another order and more of them, CR LF line
    // ends, pounds only, laps by index: read by name.
    const std::string csv =
        "index, ElapsedTime (sec), Horizontal (meters), Cadence (stokes/min), Power (watts), Speed (m/sec), "
        "AverageDriveForce (lbs), DriveLength (meters), lapIdx, TimeStamp (sec)\r\n"
        "0,2.5,10,24,200,4,100,1.4,0,1700000002.5\r\n"
        "\r\n"
        "1,5.0,20.5,24.5,210,4.1,110,1.5,1,1700000005\r\n";
    const TTraining t = ImportCsv(csv);
    ASSERT_EQ(t.StrokeCount(), 2);
    EXPECT_EQ(t.Strokes[2].Time, 5.0f);
    EXPECT_EQ(t.Strokes[2].Distance, 20.5f);
    EXPECT_EQ(t.Strokes[2].DistancePerStroke, 1050.0f);
    EXPECT_FLOAT_EQ(t.Strokes[2].Energy, float(110 * 4.4482216152605 * 1.5));
    EXPECT_EQ(t.Strokes[1].IntervalNumber, 1);
    EXPECT_EQ(t.Strokes[2].IntervalNumber, 2);
    EXPECT_NEAR(t.Header.DateTime, UnixToLocalDays(1700000000), 1e-9);
}

TEST(RowingCsv, MalformedFilesAreRefusedWithAReason)
{
    std::string error;
    ImportCsv("Stroke,Power (W)\n1,200\n", &error);
    EXPECT_NE(error.find("not a RowingData CSV file"), std::string::npos) << error;
    ImportCsv("TimeStamp (sec), Power (watts)\n1,200\n2,fast\n", &error);
    EXPECT_EQ(error, "Line 3: \"fast\" in column \"Power (watts)\" is not a number.");
    ImportCsv("TimeStamp (sec), ForceCurve (N)\n1,\"1,2,3\n", &error);
    EXPECT_EQ(error, "Line 2: a quoted field is not closed.");
    ImportCsv("TimeStamp (sec), ForceCurve (N)\n1,\"1,x,3\"\n", &error);
    EXPECT_NE(error.find("force curve"), std::string::npos) << error;
    ImportCsv("TimeStamp (sec)\n", &error);
    EXPECT_EQ(error, "The file holds no strokes.");
    ImportCsv("", &error);
    EXPECT_EQ(error, "The file is empty.");
    std::string many = "ElapsedTime (sec)\n";
    for (int i = 0; i < 65536; ++i) many += "1\n";
    ImportCsv(many, &error);
    EXPECT_NE(error.find("at most 65535"), std::string::npos) << error;
}

namespace {

// A small reader of the XML the TCX export writes: elements with their
// children, text and attributes (no comments, no CDATA).
struct TNode {
    std::string Name;
    std::map<std::string, std::string> Attributes;
    std::string Text;
    std::vector<TNode> Children;
    std::vector<std::string> ChildNames() const
    {
        std::vector<std::string> n;
        for (const TNode& c : Children) n.push_back(c.Name);
        return n;
    }
};

TNode ParseXml(const std::string& x)
{
    TNode root;
    std::vector<TNode*> stack{&root};
    size_t i = 0;
    while ((i = x.find('<', i)) != std::string::npos) {
        const size_t close = x.find('>', i);
        std::string tag = x.substr(i + 1, close - i - 1);
        const size_t textStart = close + 1;
        i = close + 1;
        if (tag[0] == '?') continue;
        if (tag[0] == '/') {
            stack.pop_back();
            continue;
        }
        const bool selfClosing = tag.back() == '/';
        if (selfClosing) tag.pop_back();
        TNode node;
        const size_t space = tag.find_first_of(" \n");
        node.Name = tag.substr(0, space);
        for (size_t a = space; a != std::string::npos && a < tag.size();) {
            const size_t eq = tag.find("=\"", a);
            if (eq == std::string::npos) break;
            const size_t end = tag.find('"', eq + 2);
            node.Attributes[Trim(tag.substr(a, eq - a))] = tag.substr(eq + 2, end - eq - 2);
            a = end + 1;
        }
        node.Text = x.substr(textStart, x.find('<', textStart) - textStart);
        stack.back()->Children.push_back(node);
        if (!selfClosing) stack.push_back(&stack.back()->Children.back());
    }
    return root.Children.empty() ? TNode{} : root.Children[0];
}

// The children of node follow the sequence of the schema: each element in
// order, required ones (true) present, none repeated but the repeatable.
void ExpectSequence(const TNode& node, const std::vector<std::pair<std::string, bool>>& sequence,
                    const std::vector<std::string>& repeatable = {})
{
    size_t at = 0;
    std::vector<bool> seen(sequence.size(), false);
    for (const std::string& name : node.ChildNames()) {
        while (at < sequence.size() && sequence[at].first != name) ++at;
        ASSERT_LT(at, sequence.size()) << "<" << name << "> out of order or unknown in <" << node.Name << ">";
        const bool again = seen[at];
        EXPECT_TRUE(!again || std::count(repeatable.begin(), repeatable.end(), name)) << name << " repeated";
        seen[at] = true;
    }
    for (size_t s = 0; s < sequence.size(); ++s)
        EXPECT_TRUE(!sequence[s].second || seen[s]) << "<" << sequence[s].first << "> missing in <" << node.Name << ">";
}

const TNode& Child(const TNode& node, const std::string& name)
{
    static const TNode none;
    for (const TNode& c : node.Children)
        if (c.Name == name) return c;
    return none;
}

}  // namespace

TEST(TcxExport, ElementsInTheOrderOfTheSchema)
{
    for (const TTraining& t : {RowedSession(20, true, 6, 3), RowedSession(3, false)}) {
        const TNode db = ParseXml(TcxFileText(t));
        ASSERT_EQ(db.Name, "TrainingCenterDatabase");
        EXPECT_EQ(db.Attributes.at("xmlns"), "http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2");
        ExpectSequence(db, {{"Folders", false},
                            {"Activities", false},
                            {"Workouts", false},
                            {"Courses", false},
                            {"Author", false},
                            {"Extensions", false}});
        const TNode& activity = Child(Child(db, "Activities"), "Activity");
        EXPECT_EQ(activity.Attributes.at("Sport"), "Other");
        ExpectSequence(activity,
                       {{"Id", true},
                        {"Lap", true},
                        {"Notes", false},
                        {"Training", false},
                        {"Creator", false},
                        {"Extensions", false}},
                       {"Lap"});
        EXPECT_EQ(Child(activity, "Notes").Text, "Indoor rowing: Morning row");
        const TNode& creator = Child(activity, "Creator");
        EXPECT_EQ(creator.Attributes.at("xsi:type"), "Device_t");
        ExpectSequence(creator, {{"Name", true}, {"UnitId", true}, {"ProductID", true}, {"Version", true}});
        EXPECT_EQ(Child(creator, "Name").Text, "Catchline");
        const TNode& author = Child(db, "Author");
        ExpectSequence(author, {{"Name", true}, {"Build", true}, {"LangID", true}, {"PartNumber", true}});
        ExpectSequence(Child(Child(author, "Build"), "Version"),
                       {{"VersionMajor", true}, {"VersionMinor", true}, {"BuildMajor", false}, {"BuildMinor", false}});

        const std::vector<TLapSummary> laps = SessionLaps(t);
        size_t lapIndex = 0, points = 0;
        for (const TNode& lap : activity.Children) {
            if (lap.Name != "Lap") continue;
            ASSERT_LT(lapIndex, laps.size());
            ExpectSequence(lap,
                           {{"TotalTimeSeconds", true},
                            {"DistanceMeters", true},
                            {"MaximumSpeed", false},
                            {"Calories", true},
                            {"AverageHeartRateBpm", false},
                            {"MaximumHeartRateBpm", false},
                            {"Intensity", true},
                            {"Cadence", false},
                            {"TriggerMethod", true},
                            {"Track", false},
                            {"Notes", false},
                            {"Extensions", false}},
                           {"Track"});
            EXPECT_EQ(Child(lap, "Intensity").Text, laps[lapIndex].Rest ? "Resting" : "Active");
            const TNode& lx = Child(Child(lap, "Extensions"), "ns3:LX");
            ExpectSequence(lx, {{"ns3:AvgSpeed", false},
                                {"ns3:MaxBikeCadence", false},
                                {"ns3:AvgRunCadence", false},
                                {"ns3:MaxRunCadence", false},
                                {"ns3:Steps", false},
                                {"ns3:AvgWatts", false},
                                {"ns3:MaxWatts", false}});
            EXPECT_EQ(Child(lx, "ns3:Steps").Text, std::to_string(laps[lapIndex].Strokes));
            for (const TNode& point : Child(lap, "Track").Children) {
                ++points;
                ExpectSequence(point, {{"Time", true},
                                       {"Position", false},
                                       {"AltitudeMeters", false},
                                       {"DistanceMeters", false},
                                       {"HeartRateBpm", false},
                                       {"Cadence", false},
                                       {"SensorState", false},
                                       {"Extensions", false}});
                EXPECT_EQ(Child(point, "HeartRateBpm").Name.empty(), t.Strokes[1].Pulse == 0);
                ExpectSequence(Child(Child(point, "Extensions"), "ns3:TPX"),
                               {{"ns3:Speed", false}, {"ns3:RunCadence", false}, {"ns3:Watts", false}});
            }
            ++lapIndex;
        }
        EXPECT_EQ(lapIndex, laps.size());
        EXPECT_EQ(points, size_t(t.StrokeCount()));
    }
}

TEST(SessionExport, ChoosesByExtensionAndNeverHalfWrites)
{
    TTempDir dir;
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    const TTraining t = RowedSession(6);
    // The file menu's export carries the time in the rower's heart-rate zones.
    const THeartZones zones = RowerHeartZones();
    for (const char* name : {"a.fit", "b.TCX", "c.csv"}) {
        ASSERT_TRUE(ExportTraining(dir / name, t)) << dialogs.LastText();
        EXPECT_EQ(FileBytes(dir / name), ExportBytes(t, ExportFormatOf(name), &zones));
    }
    EXPECT_FALSE(ExportTraining(dir / "d.gpx", t));
    EXPECT_NE(dialogs.LastText().find("Extension \".gpx\" not supported for export."), std::string::npos);

    // Nothing to export: refused, and a file already there stays as it was.
    PutFileBytes(dir / "old.fit", {1, 2, 3});
    TTraining empty = RowedSession(0);
    EXPECT_FALSE(ExportTraining(dir / "old.fit", empty));
    EXPECT_EQ(dialogs.LastText(), "The training session has no strokes to export.");
    EXPECT_EQ(FileBytes(dir / "old.fit"), (std::vector<uint8_t>{1, 2, 3}));

    // The dialog: a name typed without an export extension gets the chosen filter's.
    TFileDialogResult answer;
    answer.Accepted = true;
    answer.FileNames = {dir / "dialog"};
    answer.FilterIndex = 2;
    dialogs.FileAnswers.push_back(answer);
    std::string path;
    ASSERT_TRUE(ExportTrainingAs(t, dir.Path(), path));
    EXPECT_EQ(path, dir / "dialog.tcx");
    EXPECT_EQ(dialogs.FileRequests.back().Title, "Export to FIT / TCX / CSV");
    EXPECT_EQ(dialogs.FileRequests.back().Filter, kSessionExportFilter);
    EXPECT_FALSE(ExportTrainingAs(t, dir.Path(), path)) << "cancelled";
    EXPECT_EQ(path, "");
}
