#include "tests/support/testutil_logic.h"

#include <fstream>
#include <iterator>

#include "core/values.h"

void AppendStroke(TTraining& t)
{
    const int k = t.StrokeCount() + 1;
    SetStrokeCount(t, k);
    TStgStrokeData& s = t.Strokes[size_t(k)];
    s.StrokeNumber = uint16_t(k);
    s.Power = 150.0f + float(k % 40);
    s.AveragePower = 160.0f;
    s.StrokeRate = 24.0f + float(k % 5);
    s.Time = 2.5f * float(k);
    s.StrokeLength = 140.0f;
    s.Distance = 5.0f * float(k);
    s.Time500 = 110.0f + float(k % 7);
    s.Energy = 400.0f;
    s.EnergySum = 0.4f * float(k);
    s.Pulse = 120.0f;
    s.RecoverRatio = 1.5f + 0.01f * float(k % 10);
    s.DriveTime = 0.8f;
    s.DistancePerStroke = 500.0f;
    TStgForceCurve& c = t.Curves[size_t(k)];
    c.HasData = 1;
    for (int i = 0; i < kCurveSamples; ++i) c.Samples[i] = uint16_t(i < 60 ? (i * (60 - i)) / 2 : 0);
    ApplyCurvePeak(s, c, t.Settings.Sprocket);
}

TTraining MakeRowedSession(int n)
{
    TTraining t;
    ClearTraining(t);
    t.Magic = kTrainingMagic;
    t.Header = DefaultHeader();
    t.Header.Title.SetText("Morning row");
    t.Header.Name.SetText("Eva");
    t.Header.ContentKind = ckRow;
    t.Header.FileType = ftSTG;
    t.Settings = DefaultSettings();
    for (int k = 0; k < n; ++k) AppendStroke(t);
    if (n > 0) ComputeTotals(t, n);
    UpdateAverageStroke(t);
    return t;
}

std::string TestDataFile(const std::string& relative) { return std::string(CATCHLINE_TEST_DATA) + "/" + relative; }

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteTextFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}
