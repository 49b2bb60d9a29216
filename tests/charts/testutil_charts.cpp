#include "tests/charts/testutil_charts.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "charts/chart_window.h"
#include "core/values.h"
#include "util/paths.h"

std::string TChartEnv::Settings() const
{
    const std::string file = SettingsFile(true);
    if (!FileExists(file)) {
        ForceFolder(ExtractFilePath(file));
        std::ofstream(file) << "";
    }
    return file;
}

TChartRegistry::TChartRegistry()
{
    for (TTraining& a : Averages) ClearTraining(a);
}

TTraining& TChartRegistry::Add(const TTraining& t)
{
    Owned.push_back(std::make_unique<TTraining>(t));
    Owned.back()->ClientId = NextTrainingId();
    Sessions.push_back(Owned.back().get());
    ChildIndexes.push_back(-1);
    return *Sessions.back();
}

void TChartRegistry::AddExternal(TTraining* t, int childIndex)
{
    Sessions.push_back(t);
    ChildIndexes.push_back(childIndex);
}

int TChartRegistry::TrainingWindowIndex(int index) const
{
    return index >= 0 && index < TrainingCount() ? ChildIndexes[size_t(index)] : -1;
}

void TChartRegistry::Close(int index)
{
    if (index < 0 || index >= TrainingCount()) return;
    Sessions.erase(Sessions.begin() + index);
    ChildIndexes.erase(ChildIndexes.begin() + index);
    for (auto& w : Windows)
        if (w) w->RefreshAfterClose();
}

bool TChartRegistry::GetTraining(int index, TTraining& out) const
{
    const int n = TrainingCount();
    if (index >= 0 && index < n) {
        out = *Sessions[size_t(index)];
        return true;
    }
    if (index >= n && index < n + 4) {
        out = Averages[size_t(index - n)];
        return true;
    }
    return false;
}

TTraining* TChartRegistry::TrainingRef(int index)
{
    const int n = TrainingCount();
    if (index >= 0 && index < n) return Sessions[size_t(index)];
    if (index >= n && index < n + 4) return &Averages[size_t(index - n)];
    return nullptr;
}

int32_t TChartRegistry::TrainingIdAt(int index) const
{
    return index >= 0 && index < TrainingCount() ? Sessions[size_t(index)]->ClientId : -1;
}

void TChartRegistry::TrainingsChanged()
{
    ++Changed;
    for (auto& w : Windows)
        if (w) w->clbTrainingsClick();
}

void TChartRegistry::TrainingListChanged(bool added)
{
    for (auto& w : Windows)
        if (w) w->RebuildTrainings(added);
}

TAppearance TChartRegistry::Appearance() const
{
    TAppearance a;
    a.Font = QApplication::font();
    a.Font.setPointSize(9);
    a.TextColor = Qt::black;
    a.WindowColor = Qt::white;
    a.FaceColor = QColor(0xF0, 0xF0, 0xF0);
    return a;
}

std::string TChartRegistry::SettingsFileForReading() const { return SettingsFile(false); }
std::string TChartRegistry::SettingsFileForWriting() const { return SettingsFile(true); }

TTraining MakeSession(int n, const std::string& title, int32_t color)
{
    TTraining t;
    ClearTraining(t);
    t.Magic = kTrainingMagic;
    t.Header = DefaultHeader();
    t.Header.Title.SetText(title);
    t.Header.FileName.SetText("/tmp/" + title + ".stg");
    t.Header.ContentKind = ckRow;
    t.Header.FileType = ftSTG;
    t.Header.Active = 1;
    t.Header.SelectedStroke = n > 0 ? 1 : 0;
    t.Header.Color = color;
    t.Header.PenWidth = 1;
    t.Settings = DefaultSettings();
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.StrokeNumber = uint16_t(k);
        s.Power = 150.0f + float(k % 40);
        s.AveragePower = 160.0f;
        s.StrokeRate = 24.0f + float(k % 5);
        s.Time = 2.5f * float(k);
        s.StrokeLength = 130.0f + float(k % 20);
        s.Distance = 5.0f * float(k);
        s.Time500 = 110.0f + float(k % 7);
        s.Energy = 400.0f + float(k % 11);
        s.EnergySum = 0.4f * float(k);
        s.Pulse = 120.0f + float(k % 9);
        s.RecoverRatio = 1.5f;
        s.DriveTime = 0.8f;
        s.DistancePerStroke = 500.0f;
        TStgForceCurve& c = t.Curves[size_t(k)];
        c.StrokeNumber = int16_t(k);
        c.HasData = 1;
        const double peak = 400.0 + 5.0 * (k % 30);
        for (int i = 0; i < kCurveSamples; ++i) {
            const double x = i / 60.0;
            c.Samples[i] = i < 60 ? RoundToWord(peak * 4 * x * (1 - x)) : 0;
        }
        ApplyCurvePeak(s, c, t.Settings.Sprocket);
    }
    if (n > 0) ComputeTotals(t, n);
    UpdateAverageStroke(t);
    return t;
}
