#include "review/results_window.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "core/catalogue.h"
#include "framework/registry.h"
#include "framework/window_util.h"
#include "logic/training_logic.h"
#include "review/grid_models.h"
#include "review/review_controls.h"
#include "review/zone_box.h"
#include "util/grid.h"
#include "util/paths.h"
#include "util/profile.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const char* const kSplitKeys[3] = {"SplitStrokes", "SplitDistance", "SplitTime"};

}  // namespace

TfrmResults::TfrmResults(QWidget* parent) : TFormDialog(parent)
{
    setObjectName("frmResults");
    setWindowTitle("Results");
    ClearTraining(Session);
    auto* layout = new QVBoxLayout(ClientArea());
    auto* groups = new QHBoxLayout;
    layout->addLayout(groups);

    auto* area = ClientArea();
    gbxTotals = MakeNamedGroup(area, "gbxTotals", "Totals");
    AddValueRows(gbxTotals, {{"lblDistance", &lblDistance, "edtDistance", &edtDistance},
                             {"lblTime", &lblTime, "edtTime", &edtTime},
                             {"lblEnergy", &lblEnergy, "edtEnergy", &edtEnergy},
                             {"lblStrokes", &lblStrokes, "edtStrokes", &edtStrokes}});
    gbxAverages = MakeNamedGroup(area, "gbxAverages", "Averages");
    AddValueRows(gbxAverages, {{"lblAvgPower", &lblAvgPower, "edtAvgPower", &edtAvgPower},
                               {"lblAvg500m", &lblAvg500m, "edtAvg500m", &edtAvg500m},
                               {"lblAvgStrokerate", &lblAvgStrokerate, "edtAvgStrokerate", &edtAvgStrokerate},
                               {"lblAvgDriveRecover", &lblAvgDriveRecover, "edtAvgDriveRecover", &edtAvgDriveRecover}});
    gbxMaxima = MakeNamedGroup(area, "gbxMaxima", "Maxima");
    AddValueRows(gbxMaxima, {{"lblMaxPower", &lblMaxPower, "edtMaxPower", &edtMaxPower},
                             {"lblMax500m", &lblMax500m, "edtMax500m", &edtMax500m},
                             {"lblMaxStrokerate", &lblMaxStrokerate, "edtMaxStrokerate", &edtMaxStrokerate},
                             {"lblMaxDriveRecover", &lblMaxDriveRecover, "edtMaxDriveRecover", &edtMaxDriveRecover}});

    gbxZones = new TZoneBox(false, area);
    gbxZones->setVisible(false);

    auto* column = new QVBoxLayout;
    column->addWidget(gbxTotals);
    column->addWidget(gbxAverages);
    column->addWidget(gbxMaxima);
    column->addWidget(gbxZones);
    groups->addLayout(column);

    IntervalModel = new TIntervalModel(this);
    IntervalModel->SetTraining(&Session);
    SplitsModel = new TSplitsModel(this);

    gbxIntervals = MakeNamedGroup(area, "gbxIntervals", "Intervals");
    sgdIntervals = MakeDataGrid(gbxIntervals, "sgdIntervals", IntervalModel);
    (new QVBoxLayout(gbxIntervals))->addWidget(sgdIntervals);

    gbxSplits = MakeNamedGroup(area, "gbxSplits", "Splits");
    auto* s = new QVBoxLayout(gbxSplits);
    QHBoxLayout* splitRow = MakeSplitControls(gbxSplits, rbtStrokes, rbtDistance, rbtTime, cmbSplits);
    s->addLayout(splitRow);
    sgdSplits = MakeDataGrid(gbxSplits, "sgdSplits", SplitsModel);
    s->addWidget(sgdSplits);

    auto* hidden = new QVBoxLayout;
    hidden->addWidget(gbxIntervals);
    hidden->addWidget(gbxSplits);
    groups->addLayout(hidden);
    // The intervals and splits are not offered.
    gbxIntervals->setVisible(false);
    gbxSplits->setVisible(false);

    // Only OK closes the window; it takes Cancel's place.
    btbCancel->setVisible(false);

    connect(rbtStrokes, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetSplitType(0);
    });
    connect(rbtDistance, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetSplitType(1);
    });
    connect(rbtTime, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetSplitType(2);
    });
    connect(cmbSplits, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!Filling && i >= 0) SplitPositions[CurrentSplitType] = i;
    });

    TCopyActions copy = MakeCopyActions(this, [this](int mode) { CopyDataExecute(mode); });
    CopyDataAll = copy.All;
    CopyDataData = copy.Data;
    CopyDataRow = copy.Row;
    pmnGrid = copy.Menu;
    for (QTableView* g : {sgdIntervals, sgdSplits}) {
        connect(g, &QWidget::customContextMenuRequested, this, [this, g](const QPoint& p) {
            MenuGrid = g;
            pmnGrid->popup(g->viewport()->mapToGlobal(p));
        });
    }
    SetCaptions();
    adjustSize();
}

TfrmResults::~TfrmResults() = default;

void TfrmResults::ShowResults(const TTraining& training)
{
    Session = training;
    IntervalModel->SetTraining(&Session);
    TResultsTexts r = ResultsTexts(Session);
    setWindowTitle(Q(r.Caption));
    edtDistance->setText(Q(r.Totals.Distance));
    edtTime->setText(Q(r.Totals.Time));
    edtEnergy->setText(Q(r.Totals.Energy));
    edtStrokes->setText(Q(r.Totals.Strokes));
    edtAvgPower->setText(Q(r.Totals.Power));
    edtAvg500m->setText(Q(r.Totals.Time500));
    edtAvgStrokerate->setText(Q(r.Totals.StrokeRate));
    edtAvgDriveRecover->setText(Q(r.Totals.DRRatio));
    edtMaxPower->setText(Q(r.MaxPower));
    edtMax500m->setText(Q(r.Max500m));
    edtMaxStrokerate->setText(Q(r.MaxStrokeRate));
    edtMaxDriveRecover->setText(Q(r.MaxDriveRecover));
    sgdIntervals->setColumnWidth(0, 30);
    gbxZones->LoadZones();
    gbxZones->ShowSession(Session);
    gbxZones->setVisible(ComputeZoneTimes(Session, gbxZones->Zones()).HasHeartRate());
    FitToContent();
}

void TfrmResults::SetCaptions()
{
    lblDistance->setText(Q(TotalParameterShortName(0)));
    lblTime->setText(Q(TotalParameterShortName(1)));
    lblEnergy->setText(Q(TotalParameterShortName(2)));
    lblStrokes->setText(Q(TotalParameterShortName(4)));
    lblAvgPower->setText(Q(TotalParameterShortName(3)));
    lblAvg500m->setText(Q(TotalParameterShortName(5)));
    lblAvgStrokerate->setText(Q(TotalParameterShortName(6)));
    lblMaxPower->setText(Q(ParameterShortName(spPower)));
    lblMax500m->setText(Q(ParameterShortName(spTime500)));
    lblMaxStrokerate->setText(Q(ParameterShortName(spStrokeRate)));
    lblAvgDriveRecover->setText(Q(ParameterShortName(spRecoverRatio)));
    lblMaxDriveRecover->setText(Q(ParameterShortName(spRecoverRatio)));
}

void TfrmResults::FitToContent()
{
    // Every figure shows whole, and the caption is not cut by the title bar
    // (its buttons and icon take about 150 px).
    FitReadOnlyFields(this);
    setMinimumWidth(0);
    adjustSize();
    const int titleWidth = QFontMetrics(QApplication::font()).horizontalAdvance(windowTitle()) + 150;
    setMinimumWidth(std::min(titleWidth, 900));
    if (width() < minimumWidth()) resize(minimumWidth(), height());
}

void TfrmResults::showEvent(QShowEvent* event)
{
    SetCaptions();
    LoadResultsSettings();
    FitToContent();
    TFormDialog::showEvent(event);
}

void TfrmResults::done(int result)
{
    SaveResultsSettings();
    QDialog::done(result);
}

void TfrmResults::SetAppearance(const QFont& font, const QColor& textColor, const QColor& windowColor,
                                const QColor& faceColor)
{
    TFormDialog::SetAppearance(font, textColor, windowColor, DesignedColor);
    for (QTableView* g : {sgdIntervals, sgdSplits}) {
        QPalette p = g->palette();
        p.setColor(QPalette::Base, windowColor);
        p.setColor(QPalette::Text, textColor);
        g->setPalette(p);
    }
}

void TfrmResults::LoadResultsSettings()
{
    std::string intColumns, splitColumns;
    int splitType = 0;
    std::string file = SettingsFile(false);
    if (!file.empty()) {
        TProfileFile ini(file);
        intColumns = ini.ReadString("Results", "IntColumns", "");
        splitColumns = ini.ReadString("Results", "SplitColumns", "");
        splitType = ini.ReadInteger("Results", "SplitType", 0);
        for (int i = 0; i < 3; ++i) SplitPositions[i] = ini.ReadInteger("Results", kSplitKeys[i], 0);
        SplitCustom = ini.ReadInteger("Results", "SplitCustom", 100);
        SplitFactor = ini.ReadInteger("Results", "SplitFactor", 4);
    }
    ApplyColumnWidthsTo(sgdIntervals, intColumns);
    sgdSplits->setColumnWidth(0, 30);
    ApplyColumnWidthsTo(sgdSplits, splitColumns);
    if (splitType < 0 || splitType > 2) splitType = 0;
    SetSplitType(splitType);
}

void TfrmResults::SaveResultsSettings()
{
    std::string file = SettingsFile(true);
    if (file.empty() || !IsWritable(file)) return;
    TProfileFile ini(file);
    ini.WriteString("Results", "IntColumns", ColumnWidthsOf(sgdIntervals));
    ini.WriteString("Results", "SplitColumns", ColumnWidthsOf(sgdSplits));
    ini.WriteInteger("Results", "SplitType", CurrentSplitType);
    for (int i = 0; i < 3; ++i) ini.WriteInteger("Results", kSplitKeys[i], SplitPositions[i]);
    ini.WriteInteger("Results", "SplitCustom", SplitCustom);
    ini.WriteInteger("Results", "SplitFactor", SplitFactor);
    ini.UpdateFile();
}

int TfrmResults::SplitPosition(int splitType) const
{
    return splitType >= 0 && splitType < 3 ? SplitPositions[splitType] : 0;
}

void TfrmResults::SetSplitType(int splitType)
{
    if (splitType < 0 || splitType > 2) return;
    CurrentSplitType = splitType;
    QRadioButton* b = splitType == 0 ? rbtStrokes : splitType == 1 ? rbtDistance : rbtTime;
    if (!b->isChecked()) b->setChecked(true);  // runs this again through toggled
    FillPresets();
}

void TfrmResults::FillPresets()
{
    Filling = true;
    cmbSplits->clear();
    for (const std::string& p : SplitPresets(CurrentSplitType)) cmbSplits->addItem(Q(p));
    cmbSplits->setCurrentIndex(SplitPresetIndex(CurrentSplitType, SplitPositions[CurrentSplitType]));
    Filling = false;
}

void TfrmResults::CopyDataExecute(int mode)
{
    QTableView* g = MenuGrid ? MenuGrid : sgdIntervals;
    if (sgdSplits->hasFocus()) g = sgdSplits;
    if (sgdIntervals->hasFocus()) g = sgdIntervals;
    CopyGrid(g, mode);
}

// ---------------------------------------------------------------- the shared window

namespace {
QPointer<TfrmResults> GivenResults;  // set by the main window
QPointer<TfrmResults> OwnResults;    // made here when no main window gave one
}  // namespace

void SetResultsWindow(TfrmResults* window) { GivenResults = window; }

TfrmResults& ResultsWindow()
{
    if (GivenResults) return *GivenResults;
    // The main window makes its results window as a direct child.
    if (auto* main = dynamic_cast<QObject*>(MainRegistry())) {
        if (auto* r = main->findChild<TfrmResults*>(QString(), Qt::FindDirectChildrenOnly)) {
            GivenResults = r;
            return *r;
        }
    }
    if (!OwnResults) OwnResults = new TfrmResults(nullptr);
    return *OwnResults;
}

void FreeResultsWindow() { delete OwnResults.data(); }

int ShowResultsModal(const TTraining& training)
{
    TfrmResults& shared = ResultsWindow();
    if (shared.isVisible()) {
        // Already open (a session reached its limit while the user reads
        // the results of another): a window of its own for this one, as a
        // modal window cannot be shown modally again.
        TfrmResults extra(shared.parentWidget());
        extra.ShowResults(training);
        return extra.exec();
    }
    shared.ShowResults(training);
    return shared.exec();
}
