#include "charts/stroke_data_window.h"

#include <QAbstractItemView>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QStandardItemModel>

#include "core/catalogue.h"
#include "core/series.h"
#include "core/values.h"
#include "files/file_names.h"
#include "logic/session_store.h"
#include "util/paths.h"
#include "util/profile.h"

namespace {

QCheckBox* MakeBox(QWidget* parent, const char* name, const char* caption, const char* hint)
{
    auto* b = new QCheckBox(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    if (hint) b->setToolTip(QString::fromUtf8(hint));
    return b;
}

QComboBox* MakeParameterList(QWidget* parent, const char* name, const char* hint)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setToolTip(QString::fromUtf8(hint));
    const auto& map = StrokeIdMap();
    for (size_t id = 0; id < map.size(); ++id) {
        const int p = map[id];
        const bool carried = StrokeParameters()[size_t(p)].Id == int(id);
        c->addItem(carried ? QString::fromStdString(ParameterShortName(p)) : QString());
        if (!carried) {
            // An id no parameter carries cannot be chosen.
            if (auto* m = qobject_cast<QStandardItemModel*>(c->model())) m->item(int(id))->setEnabled(false);
        }
    }
    c->setMaxVisibleItems(int(map.size()));
    return c;
}

std::string AxisCaption(const char* letter, int position)
{
    return std::string(letter) + "  " + (position >= 0 ? StrokeLongCaption(position) : std::string());
}

}  // namespace

TfrmStrokeData::TfrmStrokeData(TSessionStore& store, QWidget* parent) : TfrmChart(store, parent)
{
    setObjectName("frmStrokeData");
    SetCaption("Stroke Data");
    SectionName = "StrokeData";
    SetSquareChart(false);
    ChartView->setToolTip("Stroke data chart");

    QStringList headers{QString()};
    const auto& map = TotalIdMap();
    for (size_t id = 0; id < map.size(); ++id) headers << QString::fromStdString(TotalCaption(map[id]));
    DataModel->SetHeaders(headers);
    SetupDataGrid();

    QPalette cream = pnlTraining4->palette();
    cream.setColor(QPalette::Window, QColor(0xFF, 0xFB, 0xF0));
    pnlTraining4->setPalette(cream);
    pnlTraining4->setAutoFillBackground(true);
    auto* g = new QGridLayout(pnlTraining4);
    g->setContentsMargins(4, 4, 4, 4);
    lblX = new QLabel("X axis", pnlTraining4);
    lblX->setObjectName("lblX");
    cmbX = MakeParameterList(pnlTraining4, "cmbX", "X axis values");
    cbxY = MakeBox(pnlTraining4, "cbxY", "Y axis", "Show Y axis");
    cmbY = MakeParameterList(pnlTraining4, "cmbY", "Y axis values");
    cbxZ = MakeBox(pnlTraining4, "cbxZ", "Z axis", "Show Z axis");
    cmbZ = MakeParameterList(pnlTraining4, "cmbZ", "Z axis values");
    cbxYMarks = MakeBox(pnlTraining4, "cbxYMarks", "Marks", nullptr);
    cbxYAverage = MakeBox(pnlTraining4, "cbxYAverage", "Averages", nullptr);
    cbxZMarks = MakeBox(pnlTraining4, "cbxZMarks", "Marks", nullptr);
    cbxZAverage = MakeBox(pnlTraining4, "cbxZAverage", "Averages", nullptr);
    for (QCheckBox* b : {cbxYMarks, cbxYAverage, cbxZMarks, cbxZAverage}) b->hide();
    g->addWidget(lblX, 0, 0);
    g->addWidget(cmbX, 0, 1);
    g->addWidget(cbxY, 1, 0);
    g->addWidget(cmbY, 1, 1);
    g->addWidget(cbxZ, 2, 0);
    g->addWidget(cmbZ, 2, 1);
    // The lists are as wide as the panel less 80 pixels: 4 + 68 + 4 on their
    // left (margin, label column, spacing), 4 on their right.
    g->setHorizontalSpacing(4);
    g->setColumnMinimumWidth(0, 68);
    g->setColumnStretch(1, 1);
    cbxY->setChecked(true);
    cbxZ->setChecked(true);
    SelectParameter(cmbX, 0);
    SelectParameter(cmbY, 1);
    SelectParameter(cmbZ, 12);

    for (QComboBox* c : {cmbX, cmbY, cmbZ})
        connect(c, &QComboBox::currentIndexChanged, this, [this](int) {
            if (!Loading) DrawChart();
        });
    for (QCheckBox* b : {cbxY, cbxZ})
        connect(b, &QCheckBox::toggled, this, [this](bool) {
            if (!Loading) DrawChart();
        });
    DrawChart();
}

int TfrmStrokeData::SelectedParameter(const QComboBox* list) const
{
    const int id = list->currentIndex();
    const auto& map = StrokeIdMap();
    if (id < 0 || id >= int(map.size())) return -1;
    const int p = map[size_t(id)];
    return StrokeParameters()[size_t(p)].Id == id ? p : -1;
}

void TfrmStrokeData::SelectParameter(QComboBox* list, int position)
{
    int item = -1;
    if (position >= 0 && position < int(StrokeParameters().size())) {
        const int id = StrokeParameters()[size_t(position)].Id;
        if (id >= 0 && id < list->count()) item = id;
    }
    list->setCurrentIndex(item);
}

std::string TfrmStrokeData::TrainingLabel(int index)
{
    TTraining* t = Sessions.At(index);
    return t ? TrainingDescription(t->Header, NameStyleOption(), false) : std::string();
}

void TfrmStrokeData::RebuildTrainings(bool added)
{
    // The base rebuild ends with the list-click handling, which redraws.
    TfrmChart::RebuildTrainings(added);
}

void TfrmStrokeData::clbTrainingsClick()
{
    TfrmChart::clbTrainingsClick();
    DrawChart();
}

void TfrmStrokeData::DrawChart()
{
    const bool showY = cbxY->isChecked(), showZ = cbxZ->isChecked();
    SetZAxisMarker(showZ);
    const int x = SelectedParameter(cmbX), y = SelectedParameter(cmbY), z = SelectedParameter(cmbZ);
    TChartData data;
    bool first = true;
    const int n = Sessions.Count();
    if (x >= 0) {
        for (int i = 0; i < n; ++i) {
            TTraining* t = Sessions.At(i);
            if (!t || !t->Header.Active) continue;
            TStrokeSeriesOptions o;
            o.XParam = x;
            o.MarkSelected = false;
            o.Sliding = false;
            o.ResetAxes = first;
            o.InverseRight = showZ && CrossMarkerOption();
            o.RightVisible = showZ && z >= 0;
            o.LeftVisible = showY && y >= 0;
            o.RightParam = z;
            o.LeftParam = y;
            BuildStrokeSeries(data, *t, o);
            first = false;
        }
    }
    Axes->Bottom.Title = QString::fromStdString(AxisCaption("X", x));
    Axes->Left.Title = QString::fromStdString(AxisCaption("Y", y));
    Axes->Right.Title = QString::fromStdString(AxisCaption("Z", z));
    Axes->Left.Visible = true;
    Axes->Right.Visible = showZ;
    Axes->Render(data, true);
    cmbY->setEnabled(showY);
    cmbZ->setEnabled(showZ);
    for (QCheckBox* b : {cbxYMarks, cbxYAverage, cbxZMarks, cbxZAverage}) b->hide();
    DrawGrid();
}

void TfrmStrokeData::DrawGrid()
{
    const int columns = DataModel->columnCount();
    std::vector<TChartGridRow> rows = BaseGridRows(columns);
    const auto& map = TotalIdMap();
    size_t r = 0;
    const int n = Sessions.Count();
    for (int i = 0; i < n && r < rows.size(); ++i) {
        TTraining* t = Sessions.At(i);
        if (!t || !t->Header.Active) continue;
        for (size_t id = 0; id < map.size() && id + 1 < rows[r].Cells.size(); ++id)
            rows[r].Cells[id + 1] = TotalValueText(*t, map[id]);
        ++r;
    }
    DataModel->SetRows(std::move(rows));
}

void TfrmStrokeData::PrepareForPicture()
{
    pnlTraining1->setFixedHeight(1);
    lblInfo->setText(QString());
}

void TfrmStrokeData::SetAppearance(const TAppearance& appearance)
{
    TfrmChart::SetAppearance(appearance);
    for (QComboBox* c : {cmbX, cmbY, cmbZ}) {
        QPalette p = c->palette();
        p.setColor(QPalette::Base, appearance.WindowColor);
        p.setColor(QPalette::Text, appearance.TextColor);
        c->setPalette(p);
    }
    DrawChart();
}

void TfrmStrokeData::LoadSettings(const std::string& settingsFile, int placement)
{
    TfrmChart::LoadSettings(settingsFile, placement);
    if (SectionName.empty()) return;
    int x = 0, y = 1, z = 12;
    bool showY = true, showZ = true;
    if (!settingsFile.empty() && FileExists(settingsFile)) {
        TProfileFile ini(settingsFile);
        x = ini.ReadInteger(SectionName, "X", x);
        showY = ini.ReadBool(SectionName, "ShowY", showY);
        y = ini.ReadInteger(SectionName, "Y", y);
        showZ = ini.ReadBool(SectionName, "ShowZ", showZ);
        z = ini.ReadInteger(SectionName, "Z", z);
    }
    Loading = true;
    SelectParameter(cmbX, x);
    SelectParameter(cmbY, y);
    SelectParameter(cmbZ, z);
    cbxY->setChecked(showY);
    cbxZ->setChecked(showZ);
    for (QCheckBox* b : {cbxYMarks, cbxYAverage, cbxZMarks, cbxZAverage}) b->setChecked(false);
    Loading = false;
    DrawChart();
}

void TfrmStrokeData::SaveSettings(const std::string& settingsFile)
{
    TfrmChart::SaveSettings(settingsFile);
    if (SectionName.empty() || settingsFile.empty() || !IsWritable(settingsFile)) return;
    TProfileFile ini(settingsFile);
    const std::string& s = SectionName;
    ini.WriteInteger(s, "X", SelectedParameter(cmbX));
    ini.WriteBool(s, "ShowY", cbxY->isChecked());
    ini.WriteInteger(s, "Y", SelectedParameter(cmbY));
    ini.WriteBool(s, "AverageY", cbxYAverage->isChecked());
    ini.WriteBool(s, "MarksY", cbxYMarks->isChecked());
    ini.WriteBool(s, "ShowZ", cbxZ->isChecked());
    ini.WriteInteger(s, "Z", SelectedParameter(cmbZ));
    ini.WriteBool(s, "AverageZ", cbxZAverage->isChecked());
    ini.WriteBool(s, "MarksZ", cbxZMarks->isChecked());
    ini.UpdateFile();
}

TfrmStrokeData* CreateStrokeDataWindow(TMDIMain* frame, TSessionStore& store, const std::string& settingsFile)
{
    auto* w = new TfrmStrokeData(store);
    if (frame) frame->AddChild(w);
    TMainRegistry* reg = ChartRegistry();
    w->LoadSettings(settingsFile, reg ? reg->WindowPlacement() : wpmMaximised);
    if (reg) w->SetAppearance(reg->Appearance());
    w->RebuildTrainings(true);
    return w;
}
