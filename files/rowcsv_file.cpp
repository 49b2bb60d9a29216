#include "files/rowcsv_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "core/values.h"
#include "files/session_laps.h"
#include "util/paths.h"
#include "util/text.h"

const char* const kRowingCsvHeader =
    "TimeStamp (sec), Horizontal (meters), Cadence (stokes/min), HRCur (bpm), Stroke500mPace (sec/500m), "
    "Power (watts), DriveLength (meters), StrokeDistance (meters), DriveTime (ms), StrokeRecoveryTime (ms), "
    "AverageDriveForce (lbs), PeakDriveForce (lbs), lapIdx, ElapsedTime (sec), "
    "AverageDriveForce (N), PeakDriveForce (N), DragFactor, ForceCurve (N)";

namespace {

constexpr double kNewtonsPerPound = 4.4482216152605;
constexpr size_t kMaxFields = 4096;

enum TColumn {
    cTimeStamp,
    cHorizontal,
    cCadence,
    cHeartRate,
    cPace,
    cPower,
    cDriveLength,
    cStrokeDistance,
    cDriveTime,
    cRecoveryTime,
    cAverageForceLbs,
    cPeakForceLbs,
    cLapIndex,
    cElapsed,
    cAverageForce,
    cPeakForce,
    cDragFactor,
    cCurve,
    cColumns
};

// Column names as they stand in the header, without their leading blank;
// other spellings of the same column that files in the wild use follow.
const char* const kColumnNames[cColumns] = {"TimeStamp (sec)",
                                            "Horizontal (meters)",
                                            "Cadence (stokes/min)",
                                            "HRCur (bpm)",
                                            "Stroke500mPace (sec/500m)",
                                            "Power (watts)",
                                            "DriveLength (meters)",
                                            "StrokeDistance (meters)",
                                            "DriveTime (ms)",
                                            "StrokeRecoveryTime (ms)",
                                            "AverageDriveForce (lbs)",
                                            "PeakDriveForce (lbs)",
                                            "lapIdx",
                                            "ElapsedTime (sec)",
                                            "AverageDriveForce (N)",
                                            "PeakDriveForce (N)",
                                            "DragFactor",
                                            "ForceCurve (N)"};

std::string Field(float value, bool missing) { return missing ? std::string() : ShortestText(value); }

// --- reading ---------------------------------------------------------------

// Splits the text into records of fields (RFC 4180: quoted fields may hold
// commas, doubled quotes and line ends) and hands each record with the line
// it starts on to onRecord, which returns false to stop. Only one record is
// held at a time. Returns false with the line of an unterminated quote.
bool SplitCsv(const char* text, size_t size,
              const std::function<bool(const std::vector<std::string>&, size_t)>& onRecord, size_t& badLine)
{
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, inQuotes = false, any = false, stopped = false;
    size_t line = 1, recordLine = 1;
    auto endField = [&] {
        // Columns past the last one a file could sensibly have are dropped,
        // so a line of nothing but commas cannot make the record huge.
        if (record.size() < kMaxFields) record.push_back(field);
        field.clear();
        quoted = false;
    };
    auto endRecord = [&] {
        endField();
        // Blank lines are no records.
        if (!(record.size() == 1 && record[0].empty() && !any)) stopped = !onRecord(record, recordLine);
        record.clear();
        any = false;
    };
    for (size_t i = 0; i < size && !stopped; ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < size && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                if (c == '\n') ++line;
                field += c;
            }
            continue;
        }
        if (c == '"' && !quoted && std::all_of(field.begin(), field.end(), [](char x) { return x == ' '; })) {
            field.clear();
            inQuotes = quoted = any = true;
        } else if (c == ',') {
            endField();
            any = true;
        } else if (c == '\r' && i + 1 < size && text[i + 1] == '\n') {
            continue;
        } else if (c == '\n' || c == '\r') {
            endRecord();
            ++line;
            recordLine = line;
        } else {
            field += c;
            if (c != ' ') any = true;
        }
    }
    if (stopped) return true;
    if (inQuotes) {
        badLine = recordLine;
        return false;
    }
    if (!record.empty() || !field.empty() || any) endRecord();
    return true;
}

std::string Trimmed(const std::string& s) { return Trim(s); }

// Reads the records of a file one by one into strokes.
class TCsvReader {
public:
    explicit TCsvReader(std::string& error) : Error(error) { std::fill(std::begin(Column), std::end(Column), -1); }

    // Returns false to stop (Error then says why).
    bool Record(const std::vector<std::string>& fields, size_t line)
    {
        if (!HaveHeader) {
            HaveHeader = true;
            for (size_t i = 0; i < fields.size(); ++i) {
                const std::string name = Trimmed(fields[i]);
                for (int c = 0; c < cColumns; ++c)
                    if (Column[c] < 0 &&
                        (SameText(name, kColumnNames[c]) || (c == cCadence && SameText(name, "Cadence (strokes/min)"))))
                        Column[c] = int(i);
            }
            if (Column[cTimeStamp] < 0 && Column[cElapsed] < 0) {
                Error =
                    "This is not a RowingData CSV file: its first line names no \"TimeStamp (sec)\" or "
                    "\"ElapsedTime (sec)\" column.";
                return false;
            }
            return true;
        }
        if (Strokes.size() >= 65535) {
            Error = "The file holds more than 65535 strokes; a session holds at most 65535.";
            return false;
        }
        return Stroke(fields, line);
    }

    bool Finish(const TFileInfo& info, TTraining& t)
    {
        if (!HaveHeader) {
            Error = "The file is empty.";
            return false;
        }
        if (Strokes.empty()) {
            Error = "The file holds no strokes.";
            return false;
        }
        t.Header = ForeignHeader(info, ftCSV, ckTraining);
        t.Settings = DefaultSettings();
        const int n = int(Strokes.size());
        SetStrokeCount(t, n);
        for (int k = 1; k <= n; ++k) {
            t.Strokes[size_t(k)] = Strokes[size_t(k - 1)];
            t.Curves[size_t(k)] = Curves[size_t(k - 1)];
            t.Curves[size_t(k)].StrokeNumber = int16_t(k);
            if (t.Curves[size_t(k)].HasData)
                ApplyCurvePeak(t.Strokes[size_t(k)], t.Curves[size_t(k)], t.Settings.Sprocket);
            if (SeveralLaps) t.Strokes[size_t(k)].IntervalNumber = uint16_t(Laps[size_t(k - 1)] + 1);
        }
        if (HaveStamp) t.Header.DateTime = UnixToLocalDays(FirstStamp - FirstElapsed);
        UpdateAverageStroke(t);
        ComputeTotals(t, n);
        return true;
    }

private:
    std::string& Error;
    int Column[cColumns];
    bool HaveHeader = false;
    std::vector<TStgStrokeData> Strokes;
    std::vector<TStgForceCurve> Curves;
    std::vector<int> Laps;
    double FirstStamp = 0, FirstElapsed = 0;
    bool HaveStamp = false;
    double PreviousTime = 0, PreviousDistance = 0, EnergySum = 0;
    int FirstLap = -1;
    bool SeveralLaps = false;

    // Reads column c; missing (empty or absent) gives false, text that is no
    // number fails the read (bad is set).
    bool Value(const std::vector<std::string>& fields, size_t line, int c, double& v, bool& bad)
    {
        if (bad || Column[c] < 0 || size_t(Column[c]) >= fields.size()) return false;
        const std::string& text = fields[size_t(Column[c])];
        if (Trimmed(text).empty()) return false;
        if (ParseNumber(text, v)) return true;
        bad = true;
        Error = Format("Line %zu: \"%s\" in column \"%s\" is not a number.", line, Trimmed(text).substr(0, 40).c_str(),
                       kColumnNames[c]);
        return false;
    }

    bool Stroke(const std::vector<std::string>& f, size_t line)
    {
        TStgStrokeData s{};
        TStgForceCurve c{};
        bool bad = false;
        double stamp = 0, elapsed = 0, v = 0;
        const bool hasStamp = Value(f, line, cTimeStamp, stamp, bad);
        const bool hasElapsed = Value(f, line, cElapsed, elapsed, bad);
        if (hasStamp && !HaveStamp) {
            HaveStamp = true;
            FirstStamp = stamp;
            FirstElapsed = hasElapsed ? elapsed : 0;
        }
        const double time = hasElapsed ? elapsed : hasStamp ? stamp - FirstStamp + FirstElapsed : PreviousTime;
        s.StrokeNumber = uint16_t(Strokes.size() + 1);
        s.Time = float(time);
        const double distance = Value(f, line, cHorizontal, v, bad) ? v : PreviousDistance;
        s.Distance = float(distance);
        if (Value(f, line, cCadence, v, bad)) s.StrokeRate = float(v);
        if (Value(f, line, cHeartRate, v, bad)) s.Pulse = float(v);
        if (Value(f, line, cPace, v, bad)) s.Time500 = float(v);
        if (Value(f, line, cPower, v, bad)) s.Power = float(v);
        double driveLength = 0;
        if (Value(f, line, cDriveLength, driveLength, bad)) s.StrokeLength = float(driveLength * 100);
        s.DistancePerStroke = float((Value(f, line, cStrokeDistance, v, bad) ? v : distance - PreviousDistance) * 100);
        if (Value(f, line, cDriveTime, v, bad)) s.DriveTime = float(v / 1000);
        if (Value(f, line, cRecoveryTime, v, bad)) s.RecoverRatio = SafeDivide(s.DriveTime, v / 1000);
        double averageForce = 0;
        bool hasForce = Value(f, line, cAverageForce, averageForce, bad);
        if (!hasForce && Value(f, line, cAverageForceLbs, averageForce, bad)) {
            averageForce *= kNewtonsPerPound;
            hasForce = true;
        }
        if (Value(f, line, cPeakForce, v, bad)) s.PeakForce = float(v);
        else if (Value(f, line, cPeakForceLbs, v, bad)) s.PeakForce = float(v * kNewtonsPerPound);
        if (Value(f, line, cDragFactor, v, bad)) s.KValue = float(v / 100);
        int lap = 0;
        if (Value(f, line, cLapIndex, v, bad)) {
            lap = int(std::clamp(v, 0.0, 65534.0));
            if (FirstLap < 0) FirstLap = lap;
            else if (lap != FirstLap) SeveralLaps = true;
        }
        if (bad) return false;
        // The work of the stroke: its average force along the drive, else
        // its power over its time.
        const double energy = hasForce && driveLength > 0 ? averageForce * driveLength
                                                          : double(s.Power) * std::max(0.0, time - PreviousTime);
        s.Energy = float(energy);
        EnergySum += energy;
        s.EnergySum = float(EnergySum / 1000);
        s.AveragePower = SafeDivide(time, EnergySum);
        s.WorkPerPulse = SafeDivide(s.Pulse, s.Power);

        if (Column[cCurve] >= 0 && size_t(Column[cCurve]) < f.size() && !Trimmed(f[size_t(Column[cCurve])]).empty()) {
            const std::vector<std::string> samples = SplitString(f[size_t(Column[cCurve])], ',');
            for (size_t i = 0; i < samples.size() && i < size_t(kCurveSamples); ++i) {
                if (!ParseNumber(samples[i], v)) {
                    Error = Format("Line %zu: the force curve holds \"%s\", which is not a number.", line,
                                   Trimmed(samples[i]).substr(0, 40).c_str());
                    return false;
                }
                c.Samples[i] = RoundToWord(v);
                if (c.Samples[i] > 0) c.HasData = 1;
            }
        }
        Strokes.push_back(s);
        Curves.push_back(c);
        Laps.push_back(lap);
        PreviousTime = time;
        PreviousDistance = distance;
        return true;
    }
};

}  // namespace

std::string RowingCsvText(const TTraining& t)
{
    const int n = ExportedStrokes(t);
    const double start = ExportStartUnix(t);
    // Each stroke carries the index of its interval; the rest after a work
    // period shares the work's index, as interval rowing counts them.
    std::vector<int> lapIndex(size_t(n) + 1, 0);
    for (const TLapSummary& lap : SessionLaps(t))
        for (int k = lap.First; k <= lap.Last; ++k) lapIndex[size_t(k)] = std::max(0, lap.Interval - 1);

    std::string out;
    out.reserve(size_t(n) * 520 + 512);
    out += kRowingCsvHeader;
    out += '\n';
    for (int k = 1; k <= n; ++k) {
        const TStgStrokeData& s = t.Strokes[size_t(k)];
        const TStgForceCurve& c = t.Curves[size_t(k)];
        const float driveLength = s.StrokeLength / 100;
        const bool hasLength = driveLength > 0;
        const float averageForce = hasLength ? float(double(s.Energy) / driveLength) : 0.0f;
        const bool hasDrive = s.DriveTime > 0;
        out += DecimalText(start + double(s.Time), 3);
        out += ',';
        out += ShortestText(s.Distance);
        out += ',';
        out += ShortestText(s.StrokeRate);
        out += ',';
        out += Field(s.Pulse, !(s.Pulse > 0));
        out += ',';
        out += Field(s.Time500, !(s.Time500 > 0));
        out += ',';
        out += ShortestText(s.Power);
        out += ',';
        out += Field(driveLength, !hasLength);
        out += ',';
        out += ShortestText(s.DistancePerStroke / 100);
        out += ',';
        out += Field(s.DriveTime * 1000, !hasDrive);
        out += ',';
        out += Field(float(double(s.DriveTime) * s.RecoverRatio * 1000), !hasDrive);
        out += ',';
        out += Field(float(averageForce / kNewtonsPerPound), !hasLength);
        out += ',';
        out += Field(float(s.PeakForce / kNewtonsPerPound), !(s.PeakForce > 0));
        out += ',';
        out += std::to_string(lapIndex[size_t(k)]);
        out += ',';
        out += ShortestText(s.Time);
        out += ',';
        out += Field(averageForce, !hasLength);
        out += ',';
        out += Field(s.PeakForce, !(s.PeakForce > 0));
        out += ',';
        out += Field(float(double(s.KValue) * 100), !(s.KValue > 0));
        out += ',';
        if (c.HasData) {
            out += '"';
            for (int i = 0; i < kCurveSamples; ++i) {
                if (i) out += ',';
                out += std::to_string(c.Samples[i]);
            }
            out += '"';
        }
        out += '\n';
    }
    return out;
}

bool ParseRowingCsv(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t, std::string& error)
{
    error.clear();
    TCsvReader reader(error);
    size_t badLine = 0;
    const size_t skip = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;  // byte order mark
    const bool split = SplitCsv(
        reinterpret_cast<const char*>(data) + skip, size - skip,
        [&](const std::vector<std::string>& fields, size_t line) { return reader.Record(fields, line); }, badLine);
    if (!split) {
        error = Format("Line %zu: a quoted field is not closed.", badLine);
        return false;
    }
    if (!error.empty()) return false;
    return reader.Finish(info, t);
}

bool ReadRowingCsv(const std::string& path, TTraining& t, std::string& error)
{
    std::vector<uint8_t> data;
    int err = 0;
    if (!ReadWholeFile(path, data, err)) {
        error = std::strerror(err);
        return false;
    }
    return ParseRowingCsv(FileInfoOf(path), data.data(), data.size(), t, error);
}
