#include "files/rowcsv_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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
const char* const kColumnNames[cColumns] = {
    "TimeStamp (sec)",      "Horizontal (meters)",     "Cadence (stokes/min)",  "HRCur (bpm)",
    "Stroke500mPace (sec/500m)", "Power (watts)",      "DriveLength (meters)",  "StrokeDistance (meters)",
    "DriveTime (ms)",       "StrokeRecoveryTime (ms)", "AverageDriveForce (lbs)", "PeakDriveForce (lbs)",
    "lapIdx",               "ElapsedTime (sec)",       "AverageDriveForce (N)", "PeakDriveForce (N)",
    "DragFactor",           "ForceCurve (N)"};

std::string Field(float value, bool missing) { return missing ? std::string() : ShortestText(value); }

// --- reading ---------------------------------------------------------------

// Splits the text into records of fields (RFC 4180: quoted fields may hold
// commas, doubled quotes and line ends). Returns false with the line of an
// unterminated quote.
bool SplitCsv(const char* text, size_t size, std::vector<std::vector<std::string>>& records,
              std::vector<size_t>& lines, size_t& badLine)
{
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, inQuotes = false, any = false;
    size_t line = 1, recordLine = 1;
    auto endField = [&] {
        record.push_back(field);
        field.clear();
        quoted = false;
    };
    auto endRecord = [&] {
        endField();
        // Blank lines are no records.
        if (!(record.size() == 1 && record[0].empty() && !any)) {
            records.push_back(std::move(record));
            lines.push_back(recordLine);
        }
        record.clear();
        any = false;
    };
    for (size_t i = 0; i < size; ++i) {
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
    if (inQuotes) {
        badLine = recordLine;
        return false;
    }
    if (!record.empty() || !field.empty() || any) endRecord();
    return true;
}

std::string Trimmed(const std::string& s) { return Trim(s); }

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
    std::vector<std::vector<std::string>> records;
    std::vector<size_t> lines;
    size_t badLine = 0;
    size_t skip = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;  // byte order mark
    if (!SplitCsv(reinterpret_cast<const char*>(data) + skip, size - skip, records, lines, badLine)) {
        error = Format("Line %zu: a quoted field is not closed.", badLine);
        return false;
    }
    if (records.empty()) {
        error = "The file is empty.";
        return false;
    }
    int column[cColumns];
    std::fill(std::begin(column), std::end(column), -1);
    for (size_t i = 0; i < records[0].size(); ++i) {
        const std::string name = Trimmed(records[0][i]);
        for (int c = 0; c < cColumns; ++c)
            if (column[c] < 0 && (SameText(name, kColumnNames[c]) ||
                                  (c == cCadence && SameText(name, "Cadence (strokes/min)"))))
                column[c] = int(i);
    }
    if (column[cTimeStamp] < 0 && column[cElapsed] < 0) {
        error = "This is not a RowingData CSV file: its first line names no \"TimeStamp (sec)\" or "
                "\"ElapsedTime (sec)\" column.";
        return false;
    }
    const size_t n = records.size() - 1;
    if (n == 0) {
        error = "The file holds no strokes.";
        return false;
    }
    if (n > 65535) {
        error = Format("The file holds %zu strokes; a session holds at most 65535.", n);
        return false;
    }

    // Reads column c of record r; missing (empty or absent) gives false,
    // text that is no number fails the read.
    bool bad = false;
    auto value = [&](size_t r, int c, double& v) -> bool {
        if (bad || column[c] < 0 || size_t(column[c]) >= records[r].size()) return false;
        const std::string& text = records[r][size_t(column[c])];
        if (Trimmed(text).empty()) return false;
        if (ParseNumber(text, v)) return true;
        bad = true;
        error = Format("Line %zu: \"%s\" in column \"%s\" is not a number.", lines[r], Trimmed(text).substr(0, 40).c_str(),
                       kColumnNames[c]);
        return false;
    };

    t.Header = ForeignHeader(info, ftCSV, ckTraining);
    t.Settings = DefaultSettings();
    SetStrokeCount(t, int(n));
    double firstStamp = 0, firstElapsed = 0;
    bool haveStamp = false;
    double previousTime = 0, previousDistance = 0, energySum = 0;
    int firstLap = -1;
    bool severalLaps = false;
    std::vector<int> laps(n + 1, 0);
    for (size_t r = 1; r <= n; ++r) {
        const int k = int(r);
        TStgStrokeData& s = t.Strokes[r];
        TStgForceCurve& c = t.Curves[r];
        double stamp = 0, elapsed = 0, v = 0;
        const bool hasStamp = value(r, cTimeStamp, stamp);
        const bool hasElapsed = value(r, cElapsed, elapsed);
        if (hasStamp && !haveStamp) {
            haveStamp = true;
            firstStamp = stamp;
            firstElapsed = hasElapsed ? elapsed : 0;
        }
        const double time = hasElapsed ? elapsed : hasStamp ? stamp - firstStamp + firstElapsed : previousTime;
        s.StrokeNumber = uint16_t(k);
        s.Time = float(time);
        const double distance = value(r, cHorizontal, v) ? v : previousDistance;
        s.Distance = float(distance);
        if (value(r, cCadence, v)) s.StrokeRate = float(v);
        if (value(r, cHeartRate, v)) s.Pulse = float(v);
        if (value(r, cPace, v)) s.Time500 = float(v);
        if (value(r, cPower, v)) s.Power = float(v);
        double driveLength = 0;
        if (value(r, cDriveLength, driveLength)) s.StrokeLength = float(driveLength * 100);
        s.DistancePerStroke = float((value(r, cStrokeDistance, v) ? v : distance - previousDistance) * 100);
        if (value(r, cDriveTime, v)) s.DriveTime = float(v / 1000);
        if (value(r, cRecoveryTime, v)) s.RecoverRatio = SafeDivide(s.DriveTime, v / 1000);
        double averageForce = 0;
        const bool hasForce = value(r, cAverageForce, averageForce) ||
                              (value(r, cAverageForceLbs, averageForce) && (averageForce *= kNewtonsPerPound, true));
        if (value(r, cPeakForce, v) || (value(r, cPeakForceLbs, v) && (v *= kNewtonsPerPound, true)))
            s.PeakForce = float(v);
        if (value(r, cDragFactor, v)) s.KValue = float(v / 100);
        if (value(r, cLapIndex, v)) {
            laps[r] = int(std::clamp(v, 0.0, 65534.0));
            if (firstLap < 0) firstLap = laps[r];
            else if (laps[r] != firstLap) severalLaps = true;
        }
        if (bad) return false;
        // The work of the stroke: its average force along the drive, else
        // its power over its time.
        const double energy =
            hasForce && driveLength > 0 ? averageForce * driveLength : double(s.Power) * std::max(0.0, time - previousTime);
        s.Energy = float(energy);
        energySum += energy;
        s.EnergySum = float(energySum / 1000);
        s.AveragePower = SafeDivide(time, energySum);
        s.WorkPerPulse = SafeDivide(s.Pulse, s.Power);

        if (column[cCurve] >= 0 && size_t(column[cCurve]) < records[r].size()) {
            const std::vector<std::string> samples = SplitString(records[r][size_t(column[cCurve])], ',');
            if (!(samples.size() == 1 && Trimmed(samples[0]).empty())) {
                for (size_t i = 0; i < samples.size() && i < size_t(kCurveSamples); ++i) {
                    if (!ParseNumber(samples[i], v)) {
                        error = Format("Line %zu: the force curve holds \"%s\", which is not a number.", lines[r],
                                       Trimmed(samples[i]).substr(0, 40).c_str());
                        return false;
                    }
                    c.Samples[i] = RoundToWord(v);
                    if (c.Samples[i] > 0) c.HasData = 1;
                }
                if (c.HasData) ApplyCurvePeak(s, c, t.Settings.Sprocket);
            }
        }
        previousTime = time;
        previousDistance = distance;
    }
    if (severalLaps)
        for (size_t r = 1; r <= n; ++r) t.Strokes[r].IntervalNumber = uint16_t(laps[r] + 1);
    if (haveStamp) t.Header.DateTime = UnixToLocalDays(firstStamp - firstElapsed);
    UpdateAverageStroke(t);
    ComputeTotals(t, int(n));
    return true;
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
