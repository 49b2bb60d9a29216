#include "testutil_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>

#include "core/intervals.h"
#include "core/values.h"
#include "util/date_time.h"

namespace fs = std::filesystem;

TTempDir::TTempDir()
{
    std::string templ = (fs::temp_directory_path() / "catchline-files-XXXXXX").string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    Folder = std::string(buf.data()) + "/";
}

TTempDir::~TTempDir()
{
    std::error_code ec;
    // Make everything removable again (tests may make folders read-only).
    for (auto it = fs::recursive_directory_iterator(Folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(Folder, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(Folder, ec);
}

std::vector<std::string> TTempDir::Entries() const
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string DataFile(const std::string& relative) { return std::string(CATCHLINE_TEST_DATA) + "/" + relative; }

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void PutFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void SetImageVersion(std::vector<uint8_t>& image, uint32_t v)
{
    for (int i = 0; i < 4; ++i) image[4 + size_t(i)] = uint8_t(v >> (8 * i));
}

TTraining MakeSession(int n, int rawSamples)
{
    TTraining t;
    ClearTraining(t);
    t.Header = DefaultHeader();
    t.Header.FileType = ftSTG;
    t.Header.ContentKind = ckTraining;
    t.Settings = DefaultSettings();
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.Power = 200.0f + float(k % 17);
        s.StrokeRate = 24.5f;
        s.Time = 2.5f * float(k);
        s.Distance = 10.25f * float(k);
        s.EnergySum = 0.5f * float(k);
        s.StrokeLength = 140;
        s.DriveTime = 0.8f;
        s.RecoverRatio = 1.5f;
        s.DistancePerStroke = 1025;
        TStgForceCurve& c = t.Curves[size_t(k)];
        for (int i = 0; i < 60; ++i) c.Samples[i] = uint16_t(10 * i + k % 7);
        c.HasData = 1;
    }
    SetIntervalCount(t, 1);
    t.Intervals[0].AveragePower = 210;
    t.Intervals[0].Stroke.StrokeNumber = uint16_t(n);
    t.RawSamples.assign(size_t(rawSamples) + 1, TRawSample{});
    for (int i = 1; i <= rawSamples; ++i) t.RawSamples[size_t(i)] = TRawSample{int16_t(i * 7), uint8_t(i)};
    t.Totals = TTrainingTotals{10.25f * float(n), 2.5f * float(n), 0.5f * float(n), 200};
    UpdateAverageStroke(t);
    return t;
}

TTraining RowedSession(int n, bool withHeart, int workPeriod, int restPeriod)
{
    TTraining t;
    ClearTraining(t);
    t.Header = DefaultHeader();
    t.Header.Title.SetText("Morning row");
    t.Header.DateTime = EncodeDate(2024, 5, 1) + EncodeTime(7, 30, 15, 250);
    t.Settings = DefaultSettings();
    if (workPeriod > 0) {
        t.Settings.LimitType = 4;
        t.Settings.LimitIntervals = 99;
        t.Settings.IntervalBy = 0;
        SetWorkPeriodFor(t.Settings, 0, workPeriod);
        SetRestPeriodFor(t.Settings, 0, restPeriod);
    }
    SetStrokeCount(t, n);
    TIntervalState state;
    double time = 0, distance = 0, energy = 0;
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        TStgForceCurve& c = t.Curves[size_t(k)];
        const double rate = 22.0 + (k % 9) * 0.37;
        const double strokeTime = 60.0 / rate;
        const double speed = 3.9 + (k % 5) * 0.061;
        time += strokeTime;
        distance += speed * strokeTime;
        s.Power = float(2.8 * speed * speed * speed);
        s.Energy = float(s.Power * strokeTime);
        energy += s.Energy;
        s.StrokeRate = float(k == 1 ? 0.0 : rate);
        s.Time = float(time);
        s.Distance = float(distance);
        s.DistancePerStroke = float(speed * strokeTime * 100);
        s.Time500 = float(500 / speed);
        s.EnergySum = float(energy / 1000);
        s.AveragePower = float(energy / time);
        s.StrokeLength = float(138 + (k % 7) * 1.3);
        s.DriveTime = float(0.78 + (k % 4) * 0.011);
        s.RecoverRatio = float(strokeTime / s.DriveTime - 1);
        s.KValue = float(1.05 + (k % 3) * 0.01);
        s.Pulse = withHeart ? float(118 + k % 23) : 0.0f;
        s.WorkPerPulse = withHeart ? s.Power / s.Pulse : 0.0f;
        for (int i = 0; i < 64; ++i) c.Samples[i] = uint16_t(500.0 * std::sin(3.14159 * (i + 0.5) / 64) + k % 11);
        c.HasData = 1;
        ApplyCurvePeak(s, c, t.Settings.Sprocket);
        if (workPeriod > 0) CutIntervals(state, t, k);
    }
    UpdateAverageStroke(t);
    ComputeTotals(t, n);
    return t;
}

namespace {
void ExpectNear(double a, double b, double abs, double rel, const char* what, int k)
{
    EXPECT_NEAR(a, b, abs + rel * std::max(std::fabs(a), std::fabs(b))) << what << " of stroke " << k;
}
}  // namespace

void ExpectSameStrokes(const TTraining& a, const TTraining& b, const TStrokeTolerance& tol)
{
    ASSERT_EQ(a.StrokeCount(), b.StrokeCount());
    const double r = tol.Relative;
    for (int k = 1; k <= a.StrokeCount(); ++k) {
        const TStgStrokeData& x = a.Strokes[size_t(k)];
        const TStgStrokeData& y = b.Strokes[size_t(k)];
        EXPECT_EQ(y.StrokeNumber, k);
        EXPECT_EQ(x.Time, y.Time) << "time of stroke " << k;
        ExpectNear(x.Distance, y.Distance, tol.Distance, 0, "distance", k);
        ExpectNear(x.Power, y.Power, tol.Power, 0, "power", k);
        ExpectNear(x.StrokeRate, y.StrokeRate, tol.Rate, 0, "stroke rate", k);
        ExpectNear(x.Pulse, y.Pulse, tol.Pulse, 0, "heart rate", k);
        const double sx = x.Time500 > 0 ? 500 / x.Time500 : 0, sy = y.Time500 > 0 ? 500 / y.Time500 : 0;
        ExpectNear(sx, sy, tol.Speed, 0, "speed", k);
        ExpectNear(x.DistancePerStroke, y.DistancePerStroke, tol.DistancePerStroke, 0, "distance per stroke", k);
        ExpectNear(x.StrokeLength, y.StrokeLength, 0, r, "stroke length", k);
        ExpectNear(x.DriveTime, y.DriveTime, 0, r, "drive time", k);
        ExpectNear(x.RecoverRatio, y.RecoverRatio, 0, r, "recover ratio", k);
        ExpectNear(x.KValue, y.KValue, 0, r, "K value", k);
        ExpectNear(x.Energy, y.Energy, 0, r, "energy", k);
        ExpectNear(x.EnergySum, y.EnergySum, 0, r, "energy sum", k);
        ExpectNear(x.PeakForce, y.PeakForce, 0, r, "peak force", k);
        EXPECT_EQ(x.PeakForcePosition, y.PeakForcePosition) << k;
        EXPECT_EQ(x.IntervalNumber, y.IntervalNumber) << "interval of stroke " << k;
        const TStgForceCurve& cx = a.Curves[size_t(k)];
        const TStgForceCurve& cy = b.Curves[size_t(k)];
        EXPECT_EQ(cx.HasData, cy.HasData) << k;
        EXPECT_EQ(0, std::memcmp(cx.Samples, cy.Samples, sizeof cx.Samples)) << "curve of stroke " << k;
    }
}
