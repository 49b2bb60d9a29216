#include "tests/charts/testutil_charts.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QHeaderView>
#include <QListWidget>
#include <QTableView>

#include <algorithm>

#include "charts/chart_window.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/values.h"
#include "tests/support/child.h"
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
    QObject::connect(&Store, &TSessionStore::HeaderChanged, [this](int32_t) { ++Changed; });
}

TTraining& TChartRegistry::Add(const TTraining& t) { return Store.Add(t); }

void TChartRegistry::Close(int index)
{
    if (index >= 0 && index < Store.Count()) Store.Remove(Store.IdAt(index));
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

// Every entry of the session list shows its label whole between the check
// box and the swatch with the line sample (the label's room starts at 18 and
// ends 34 pixels before the list's right edge).
void ExpectListEntriesWhole(TfrmChart* w)
{
    QListWidget* list = w->clbTrainings;
    const QFontMetrics metrics(list->font());
    for (int i = 0; i < list->count(); ++i) {
        const std::string label = w->EntryLook(i).Label;
        const QRect r = list->visualItemRect(list->item(i));
        EXPECT_LE(18 + metrics.horizontalAdvance(QString::fromStdString(label)) + 34,
                  std::min(r.width(), list->viewport()->width()))
            << label;
    }
}

// Grid headers fit their columns; column 0's labels fit beside the 10-pixel
// line-sample strip.
void ExpectGridWhole(TfrmChart* w, int skipColumn)
{
    QTableView* g = Child<QTableView>(w, "sgdData");
    const QFontMetrics header(g->horizontalHeader()->font());
    for (int c = 1; c < g->model()->columnCount(); ++c) {
        if (c == skipColumn || g->isColumnHidden(c)) continue;
        const QString text = g->model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_LE(header.horizontalAdvance(text), g->columnWidth(c)) << text.toStdString();
    }
    const QFontMetrics cells(g->font());
    for (int r = 0; r < g->model()->rowCount(); ++r) {
        const QString label = g->model()->index(r, 0).data().toString();
        EXPECT_LE(2 + cells.horizontalAdvance(label) + 11, g->columnWidth(0)) << label.toStdString();
    }
}
