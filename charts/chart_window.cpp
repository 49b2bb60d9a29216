#include "charts/chart_window.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QDateTime>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "files/file_errors.h"
#include "files/file_names.h"
#include "framework/chart_dialogs.h"
#include "framework/window_util.h"
#include "logic/session_store.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/version.h"

TMainRegistry* ChartRegistry() { return MainRegistry(); }

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QAction* MakeAction(QObject* parent, const char* name, const char* caption, const char* hint, int tag = 0)
{
    auto* a = new QAction(QString::fromUtf8(caption), parent);
    a->setObjectName(name);
    a->setStatusTip(QString::fromUtf8(hint));
    a->setToolTip(QString::fromUtf8(hint));
    if (tag) a->setData(tag);
    return a;
}

// Splits "Short|Long" hints: the short part is the tool tip.
void SetHint(QWidget* w, const char* hint)
{
    const QString h = QString::fromUtf8(hint);
    const int bar = int(h.indexOf('|'));
    w->setToolTip(bar >= 0 ? h.left(bar) : h);
    w->setStatusTip(bar >= 0 ? h.mid(bar + 1) : h);
}

}  // namespace

TfrmChart::TfrmChart(TSessionStore& store, QWidget* parent) : TMDIChild(parent), Sessions(store)
{
    setObjectName("frmChart");
    setMinimumSize(250, 250);
    BuildControls();
    ListenToStore();
}

void TfrmChart::ListenToStore()
{
    // Each reaction runs through the virtual operations, so a derived window's own list handling applies.
    connect(&Sessions, &TSessionStore::SessionAdded, this, [this](int32_t) {
        if (!Closing()) RebuildTrainings(true);
    });
    connect(&Sessions, &TSessionStore::SessionRemoved, this, [this](int32_t) {
        if (!Closing()) RefreshAfterClose();
    });
    for (auto signal : {&TSessionStore::SessionReset, &TSessionStore::CurvesChanged})
        connect(&Sessions, signal, this, [this](int32_t) {
            if (!Closing()) RebuildTrainings(false);
        });
    for (auto signal : {&TSessionStore::HeaderChanged, &TSessionStore::WorkoutChanged})
        connect(&Sessions, signal, this, [this](int32_t) {
            if (!Closing()) clbTrainingsClick();
        });
}

int TfrmChart::NameStyleOption() { return ChartRegistry() ? ChartRegistry()->NameStyle() : 4; }

bool TfrmChart::CrossMarkerOption() { return ChartRegistry() ? ChartRegistry()->CrossMarker() : true; }

int32_t TfrmChart::EntryId(int entry) const
{
    if (entry < 0) return 0;
    if (entry < Sessions.Count()) return Sessions.IdAt(entry);
    if (entry < Sessions.Count() + TSessionStore::kAverageRecords) return -(entry - Sessions.Count() + 1);
    return 0;
}

TfrmChart::~TfrmChart() { delete Axes; }

void TfrmChart::BuildControls()
{
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    splData = new QSplitter(Qt::Vertical, this);
    splData->setObjectName("splData");
    splData->setChildrenCollapsible(false);
    SetHint(splData, "Resize bottom area|Left-click and drag to resize bottom area");
    root->addWidget(splData, 1);

    pnlTop = new QWidget(splData);
    pnlTop->setObjectName("pnlTop");
    pnlTop->setMinimumHeight(150);
    auto* topLayout = new QHBoxLayout(pnlTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    splTrainings = new QSplitter(Qt::Horizontal, pnlTop);
    splTrainings->setObjectName("splTrainings");
    splTrainings->setChildrenCollapsible(false);
    SetHint(splTrainings, "Resize chart|Left-click and drag to resize chart");
    topLayout->addWidget(splTrainings);

    pnlChart = new QWidget(splTrainings);
    pnlChart->setObjectName("pnlChart");
    pnlChart->setMinimumWidth(100);
    pnlChart->installEventFilter(this);
    Chart = new QChart;
    Chart->setMargins(QMargins(5, 5, 5, 5));
    Chart->legend()->hide();
    Chart->setTitle(QString());
    Chart->setBackgroundRoundness(0);
    Chart->setAnimationOptions(QChart::NoAnimation);
    Chart->setPlotAreaBackgroundVisible(false);
    ChartView = new QChartView(Chart, pnlChart);
    ChartView->setObjectName("chtChart");
    ChartView->setRubberBand(QChartView::RectangleRubberBand);
    ChartView->setFrameShape(QFrame::NoFrame);
    // A right click undoes the zoom (the view itself would only zoom out by half).
    ChartView->viewport()->installEventFilter(this);
    Axes = new TChartRenderer(Chart);
    Axes->TitleFont = QFont("Arial");
    Axes->TitleFont.setPixelSize(13);
    Axes->Bottom.DateTimeFormat = Axes->Left.DateTimeFormat = Axes->Right.DateTimeFormat = "mm:ss";

    pnlTrainings = new QWidget(splTrainings);
    pnlTrainings->setObjectName("pnlTrainings");
    pnlTrainings->setMinimumWidth(MinTrainingsWidth);
    auto* tl = new QVBoxLayout(pnlTrainings);
    tl->setContentsMargins(0, 0, 0, 0);
    tl->setSpacing(1);
    pnlList = new QWidget(pnlTrainings);
    pnlList->setObjectName("pnlList");
    auto* ll = new QVBoxLayout(pnlList);
    ll->setContentsMargins(0, 0, 0, 0);
    ll->setSpacing(0);
    pnlTitle = new QLabel("Training sessions", pnlList);
    pnlTitle->setObjectName("pnlTitle");
    pnlTitle->setAlignment(Qt::AlignCenter);
    pnlTitle->setFrameShape(QFrame::Panel);
    pnlTitle->setFrameShadow(QFrame::Raised);
    ll->addWidget(pnlTitle);
    clbTrainings = new QListWidget(pnlList);
    clbTrainings->setObjectName("clbTrainings");
    SetHint(clbTrainings, "Training sessions list|Check training session to activate");
    clbTrainings->setSelectionMode(QAbstractItemView::SingleSelection);
    clbTrainings->setUniformItemSizes(true);
    clbTrainings->setContextMenuPolicy(Qt::CustomContextMenu);
    clbTrainings->setItemDelegate(
        new TTrainingListDelegate([this](int entry) { return EntryLook(entry); }, clbTrainings));
    ll->addWidget(clbTrainings, 1);
    tl->addWidget(pnlList, 1);
    pnlTraining1 = new QWidget(pnlTrainings);
    pnlTraining1->setObjectName("pnlTraining1");
    auto* l1 = new QVBoxLayout(pnlTraining1);
    l1->setContentsMargins(2, 0, 2, 0);
    lblInfo = new QLabel(pnlTraining1);
    lblInfo->setObjectName("lblInfo");
    l1->addWidget(lblInfo);
    pnlTraining1->hide();
    tl->addWidget(pnlTraining1);
    pnlTraining2 = new QWidget(pnlTrainings);
    pnlTraining2->setObjectName("pnlTraining2");
    tl->addWidget(pnlTraining2);
    pnlTraining3 = new QWidget(pnlTrainings);
    pnlTraining3->setObjectName("pnlTraining3");
    tl->addWidget(pnlTraining3);
    pnlTraining4 = new QWidget(pnlTrainings);
    pnlTraining4->setObjectName("pnlTraining4");
    tl->addWidget(pnlTraining4);
    splTrainings->addWidget(pnlChart);
    splTrainings->addWidget(pnlTrainings);
    splTrainings->setStretchFactor(0, 1);
    splTrainings->setStretchFactor(1, 0);

    pnlData = new QWidget(splData);
    pnlData->setObjectName("pnlData");
    auto* dl = new QVBoxLayout(pnlData);
    dl->setContentsMargins(0, 0, 0, 0);
    DataModel = new TChartGridModel(this);
    sgdData = new QTableView(pnlData);
    sgdData->setObjectName("sgdData");
    SetHint(sgdData, "Data");
    sgdData->setModel(DataModel);
    sgdData->setItemDelegate(new TChartGridDelegate(DataModel, sgdData));
    sgdData->verticalHeader()->hide();
    sgdData->setContextMenuPolicy(Qt::CustomContextMenu);
    sgdData->setSelectionMode(QAbstractItemView::SingleSelection);
    sgdData->setWordWrap(false);
    // New rows may bring a longer label.
    connect(DataModel, &QAbstractItemModel::dataChanged, this, [this] { FitLabelColumn(); });
    dl->addWidget(sgdData);
    splData->addWidget(pnlTop);
    splData->addWidget(pnlData);
    splData->setStretchFactor(0, 1);
    splData->setStretchFactor(1, 0);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->hide();
    root->addWidget(StatusBar);

    // Pop-up menus.
    pmnTrainings = new QMenu(this);
    pmnTrainings->setObjectName("pmnTrainings");
    TrainingActive = MakeAction(this, "TrainingActive", "&Active", "Mark training session 'Active'");
    TrainingActive->setCheckable(true);
    ChartOptions = MakeAction(this, "ChartOptions", "&Chart options...", "Set chart options");
    OpenTraining = MakeAction(this, "OpenTraining", "&Open training", "Open training window");
    OpenTraining->setVisible(true);
    pmnTrainings->addAction(TrainingActive);
    pmnTrainings->addAction(ChartOptions);
    pmnTrainings->setDefaultAction(ChartOptions);
    pmnTrainings->addAction(OpenTraining);
    connect(TrainingActive, &QAction::triggered, this, [this] { TrainingActiveExecute(); });
    connect(ChartOptions, &QAction::triggered, this, [this] { ChartOptionsExecute(); });
    connect(OpenTraining, &QAction::triggered, this, [this] { OpenTrainingExecute(); });
    connect(clbTrainings, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const int entry = SelectedEntry();
        TrainingActive->setEnabled(entry >= 0);
        TrainingActive->setChecked(entry >= 0 && EntryChecked(entry));
        ChartOptions->setEnabled(entry >= 0);
        OpenTraining->setEnabled(entry >= 0 && entry < Sessions.Count());
        pmnTrainings->popup(clbTrainings->viewport()->mapToGlobal(pos));
    });

    pmnCopyData = new QMenu(this);
    pmnCopyData->setObjectName("pmnCopyData");
    SelectDataColumns = MakeAction(this, "SelectDataColumns", "&Select columns ...", "Select columns");
    CopyDataAll = MakeAction(this, "CopyDataAll", "Copy &All", "Copy data + headers to the clipboard", cmAll);
    CopyDataData =
        MakeAction(this, "CopyDataData", "Copy &Data", "Copy data only to the clipboard (no headers)", cmData);
    CopyDataRow = MakeAction(this, "CopyDataRow", "Copy &Row", "Copy current row to the clipboard", cmRow);
    pmnCopyData->addAction(SelectDataColumns);
    pmnCopyData->addSeparator();
    pmnCopyData->addAction(CopyDataAll);
    pmnCopyData->addAction(CopyDataData);
    pmnCopyData->addAction(CopyDataRow);
    connect(SelectDataColumns, &QAction::triggered, this, [this] { SelectDataColumnsExecute(); });
    for (QAction* a : {CopyDataAll, CopyDataData, CopyDataRow})
        connect(a, &QAction::triggered, this, [this, a] { CopyDataExecute(a->data().toInt()); });
    connect(sgdData, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        MenuFromGrid = true;
        sgdData->setFocus();
        pmnCopyData->exec(sgdData->viewport()->mapToGlobal(pos));
        MenuFromGrid = false;
    });

    // Session list events.
    connect(clbTrainings, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!Updating) ListItemChanged(clbTrainings->row(item));
    });
    // A mouse click changes the current row and then reports the click: both
    // are handled by one list-click run.
    connect(clbTrainings, &QListWidget::itemClicked, this, [this](QListWidgetItem*) { RequestListClick(); });
    connect(clbTrainings, &QListWidget::currentRowChanged, this, [this](int) {
        if (!Updating) RequestListClick();
    });
    connect(clbTrainings, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { ChartOptionsExecute(); });

    connect(splData, &QSplitter::splitterMoved, this, [this](int, int) {
        const QList<int> sizes = splData->sizes();
        if (sizes.size() < 2) return;
        const int h = sizes[1];
        if (h < 100 || h > height() - 225) {
            if (LastDataSizes.size() == 2) splData->setSizes(LastDataSizes);
            return;
        }
        LastDataSizes = sizes;
        DataHeight = h;
        clbTrainings->viewport()->update();
    });
    connect(splTrainings, &QSplitter::splitterMoved, this, [this](int, int) {
        const QList<int> sizes = splTrainings->sizes();
        if (sizes.size() < 2) return;
        const int w = sizes[1];
        if (w < 160 || w > width() - 225) {
            if (LastTrainingSizes.size() == 2) splTrainings->setSizes(LastTrainingSizes);
            return;
        }
        LastTrainingSizes = sizes;
        TrainingsWidth = w;
    });

    // Creation look.
    const QColor back = ChartRegistry() ? ChartRegistry()->DialogColor() : palette().color(QPalette::Window);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, back);
    setPalette(pal);
    setAutoFillBackground(true);
    Chart->setBackgroundBrush(back);
    Chart->setBackgroundPen(Qt::NoPen);
    Axes->ApplyLook();
    SetupDataGrid();
    ApplyVisibility();
}

// ---------------------------------------------------------------- list

int TfrmChart::ListCount() const { return clbTrainings->count(); }

int TfrmChart::SelectedEntry() const
{
    QListWidgetItem* item = clbTrainings->currentItem();
    if (!item || !item->isSelected()) return -1;
    return clbTrainings->row(item);
}

void TfrmChart::SelectEntry(int entry)
{
    const bool was = Updating;
    Updating = true;
    if (entry < 0 || entry >= clbTrainings->count()) {
        clbTrainings->clearSelection();
        clbTrainings->setCurrentRow(-1);
    } else {
        clbTrainings->setCurrentRow(entry, QItemSelectionModel::ClearAndSelect);
    }
    Updating = was;
}

bool TfrmChart::EntryChecked(int entry) const
{
    QListWidgetItem* item = clbTrainings->item(entry);
    return item && item->checkState() == Qt::Checked;
}

void TfrmChart::SetEntryChecked(int entry, bool checked)
{
    QListWidgetItem* item = clbTrainings->item(entry);
    if (!item) return;
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);  // itemChanged does the rest
}

TTraining* TfrmChart::EntryRecord(int entry)
{
    if (entry < 0 || entry >= Sessions.Count()) return nullptr;
    return Sessions.At(entry);
}

TLinePen TfrmChart::PenOf(const TTraining& t) const
{
    return TLinePen{t.Header.Color, int(t.Header.PenStyle), int(t.Header.PenWidth)};
}

TListEntryLook TfrmChart::EntryLook(int entry)
{
    TListEntryLook look;
    if (entry < 0 || entry >= Sessions.Count()) return look;
    TTraining* t = Sessions.At(entry);
    if (!t) return look;
    look.Valid = true;
    look.Label = TrainingLabel(entry);
    look.Pen = PenOf(*t);
    look.Cross = ZMarker && CrossMarkerOption();
    return look;
}

void TfrmChart::ListItemChanged(int entry)
{
    TTraining* t = EntryRecord(entry);
    if (!t) return;
    t->Header.Active = EntryChecked(entry) ? 1 : 0;
    // Every chart window runs its list-click handling on the store's announcement, this one included.
    Sessions.NotifyHeaderChanged(EntryId(entry));
}

void TfrmChart::RequestListClick()
{
    if (ClickPending) return;
    ClickPending = true;
    QTimer::singleShot(0, this, [this] {
        ClickPending = false;
        clbTrainingsClick();
    });
}

void TfrmChart::SyncChecks()
{
    const bool was = Updating;
    Updating = true;
    for (int i = 0; i < clbTrainings->count(); ++i) {
        TTraining* t = EntryRecord(i);
        if (!t) continue;
        const Qt::CheckState state = t->Header.Active ? Qt::Checked : Qt::Unchecked;
        if (clbTrainings->item(i)->checkState() != state) clbTrainings->item(i)->setCheckState(state);
    }
    Updating = was;
}

void TfrmChart::RebuildTrainings(bool added)
{
    const int selected = SelectedEntry();
    Updating = true;
    clbTrainings->clear();
    const int n = Sessions.Count();
    for (int i = 0; i < n; ++i) {
        TTraining* t = Sessions.At(i);
        auto* item = new QListWidgetItem(t ? Q(t->Header.Title.Text()) : QString());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(t && t->Header.Active ? Qt::Checked : Qt::Unchecked);
        clbTrainings->addItem(item);
    }
    Updating = false;
    FitTrainingsList();
    if (added) {
        SelectEntry(1);
        clbTrainingsClick();
        SelectEntry(0);
    } else if (selected >= 0 && selected < clbTrainings->count()) {
        SelectEntry(selected);
    }
    clbTrainingsClick();
}

void TfrmChart::clbTrainingsClick()
{
    if (clbTrainings->count() == Sessions.Count()) SyncChecks();
    clbTrainings->viewport()->update();
}

void TfrmChart::RefreshAfterClose()
{
    RebuildTrainings(false);
    if (clbTrainings->count() > 0) clbTrainingsClick();
    else if (!Closing()) {
        if (QMdiSubWindow* sub = SubWindow()) sub->close();
        else close();
    }
}

void TfrmChart::TrainingActiveExecute()
{
    const int entry = SelectedEntry();
    if (entry < 0) return;
    SetEntryChecked(entry, !EntryChecked(entry));
}

void TfrmChart::MarkTrainingChanged(int index)
{
    // Only open sessions carry a changed mark (the average records are not saved).
    if (index >= 0 && index < Sessions.Count()) Sessions.SetModified(Sessions.IdAt(index), true);
}

void TfrmChart::ChartOptionsExecute()
{
    const int entry = SelectedEntry();
    TTraining* t = EntryRecord(entry);
    if (!t) return;
    EditChartOptions(*t);
    MarkTrainingChanged(entry);
    Sessions.NotifyHeaderChanged(EntryId(entry));
}

void TfrmChart::OpenTrainingExecute()
{
    const int entry = SelectedEntry();
    if (entry < 0 || entry >= Sessions.Count() || !Frame()) return;
    if (TMDIChild* w = Frame()->SessionWindow(Sessions.IdAt(entry))) w->ShowChild();
}

// ---------------------------------------------------------------- grid

void TfrmChart::SetupDataGrid()
{
    const QFont f = sgdData->font();
    sgdData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    sgdData->verticalHeader()->setDefaultSectionSize(FontRowHeight(f, 2.0));
    sgdData->horizontalHeader()->setFixedHeight(FontRowHeight(f, 2.5));
    sgdData->setColumnWidth(0, 120);
    FitLabelColumn();
    FitColumnsToHeaders(sgdData);
    auto* d = static_cast<TTrainingListDelegate*>(clbTrainings->itemDelegate());
    d->ItemHeight = FontRowHeight(clbTrainings->font(), 2.0);
    d->SwatchColor = Chart->backgroundBrush().color();
    clbTrainings->doItemsLayout();
    FitTrainingsList();
}

void TfrmChart::FitLabelColumn()
{
    // The label starts 2 pixels in and ends before the 10-pixel line-sample strip.
    const QFontMetrics metrics(sgdData->font());
    int widest = 0;
    for (int r = 0; r < DataModel->rowCount(); ++r)
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(DataModel->Cell(r, 0))));
    const int width = std::max(120, widest + 2 + 11 + 4);
    if (sgdData->columnWidth(0) != width) sgdData->setColumnWidth(0, width);
}

int TfrmChart::TrainingsWidthNeeded() const
{
    // An entry: the label from x = 18, then 34 pixels of swatch and line sample.
    const QFontMetrics metrics(clbTrainings->font());
    int widest = 0;
    for (int i = 0; i < clbTrainings->count(); ++i) {
        const TListEntryLook look = const_cast<TfrmChart*>(this)->EntryLook(i);
        if (look.Valid) widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(look.Label)));
    }
    const int frame = 2 * clbTrainings->frameWidth();
    const int scrollBar =
        clbTrainings->verticalScrollBar()->isVisible() ? clbTrainings->verticalScrollBar()->width() : 0;
    const int panelMargins = pnlTrainings->width() - clbTrainings->width();
    return widest + 18 + 34 + 4 + frame + scrollBar + std::max(0, panelMargins);
}

void TfrmChart::FitTrainingsList()
{
    if (!TrainingsShown || !pnlTrainings->isVisible()) return;
    const int needed = TrainingsWidthNeeded();
    const int have = pnlTrainings->width();
    if (have >= needed) return;
    // The chart keeps its room (the splitter's own limit: client width - 225).
    const int width = std::min(needed, this->width() - 225);
    if (width > have) MoveTrainingsSplitter(std::max(width, 160));
}

std::string TfrmChart::TrainingLabel(int index)
{
    TTraining* t = Sessions.At(index);
    if (!t) return std::string();
    const std::string name = TrainingDescription(t->Header, NameStyleOption(), false);
    const int n = t->StrokeCount();
    switch (t->Header.CurveSource) {
    case 0:
        if (t->Header.SelectedStroke == 1 && n == 1) return name;
        return Format("%s (%d/%d)", name.c_str(), int(t->Header.SelectedStroke), n);
    case 1: return Format("%s [A] (%d)", name.c_str(), n);
    case 2: return Format("%s [Int %d]", name.c_str(), int(t->Header.CurveInterval) + 1);
    default: return name;
    }
}

std::vector<TChartGridRow> TfrmChart::BaseGridRows(int columns)
{
    std::vector<TChartGridRow> rows;
    const int n = Sessions.Count();
    for (int i = 0; i < n; ++i) {
        TTraining* t = Sessions.At(i);
        if (!t || !t->Header.Active) continue;
        TChartGridRow row;
        row.Cells.assign(size_t(std::max(columns, 1)), std::string());
        row.Cells[0] = TrainingLabel(i);
        row.HasPen = true;
        row.Pen = PenOf(*t);
        rows.push_back(std::move(row));
    }
    return rows;
}

void TfrmChart::CopyDataExecute(int mode)
{
    if (QApplication::focusWidget() != sgdData && !MenuFromGrid) return;
    CopyGrid(sgdData, mode);
}

void TfrmChart::SelectDataColumnsExecute()
{
    if (QApplication::focusWidget() != sgdData && !MenuFromGrid) return;
    SelectColumns(sgdData);
}

// ---------------------------------------------------------------- appearance and layout

void TfrmChart::SetAppearance(const TAppearance& a)
{
    Look = a;
    HaveLook = true;
    setFont(a.Font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, a.FaceColor);
    pal.setColor(QPalette::WindowText, a.TextColor);
    setPalette(pal);
    for (QAbstractScrollArea* w :
         {static_cast<QAbstractScrollArea*>(clbTrainings), static_cast<QAbstractScrollArea*>(sgdData)}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Base, a.WindowColor);
        p.setColor(QPalette::Text, a.TextColor);
        w->setPalette(p);
        w->setFont(a.Font);
    }
    Axes->LabelFont = a.Font;
    Axes->TitleFont = a.Font;
    Axes->LineColor = a.TextColor;
    Axes->TitleColor = a.TextColor;
    Axes->ApplyLook();
    for (QAbstractAxis* axis : Chart->axes()) axis->setLabelsColor(a.TextColor);
    SetupDataGrid();
    update();
}

void TfrmChart::SetZAxisMarker(bool on)
{
    if (ZMarker == on) return;
    ZMarker = on;
    clbTrainings->viewport()->update();
}

void TfrmChart::SetSquareChart(bool on)
{
    Square = on;
    LayoutChart();
}

void TfrmChart::LayoutChart()
{
    const QRect r = pnlChart->rect();
    QRect g = r;
    if (Square) {
        const int side = std::min(r.width(), r.height());
        g = QRect(r.left() + (r.width() - side) / 2, r.top() + (r.height() - side) / 2, side, side);
    }
    ChartView->setGeometry(g);
    if (cbxSquareWidget) {
        cbxSquareWidget->adjustSize();
        cbxSquareWidget->move(g.left() + 8, g.bottom() + 1 - 8 - cbxSquareWidget->height());
        cbxSquareWidget->raise();
    }
}

bool TfrmChart::MoveDataSplitter(int newHeight)
{
    if (newHeight < 100 || newHeight > height() - 225) return false;
    const QList<int> sizes = splData->sizes();
    const int total = sizes.size() == 2 ? sizes[0] + sizes[1] : height();
    splData->setSizes({total - newHeight, newHeight});
    LastDataSizes = splData->sizes();
    DataHeight = LastDataSizes.size() == 2 ? LastDataSizes[1] : newHeight;
    clbTrainings->viewport()->update();
    RestackBottom();
    return true;
}

bool TfrmChart::MoveTrainingsSplitter(int newWidth)
{
    if (newWidth < 160 || newWidth > width() - 225) return false;
    const QList<int> sizes = splTrainings->sizes();
    const int total = sizes.size() == 2 ? sizes[0] + sizes[1] : width();
    splTrainings->setSizes({total - newWidth, newWidth});
    LastTrainingSizes = splTrainings->sizes();
    TrainingsWidth = LastTrainingSizes.size() == 2 ? LastTrainingSizes[1] : newWidth;
    return true;
}

void TfrmChart::ApplyVisibility()
{
    pnlData->setVisible(DataShown);
    pnlTrainings->setVisible(TrainingsShown);
    pnlTrainings->setMinimumWidth(MinTrainingsWidth);
    if (DataShown) {
        const int total = std::max(height(), DataHeight + 150);
        splData->setSizes({total - DataHeight, DataHeight});
        LastDataSizes = splData->sizes();
    }
    if (TrainingsShown) {
        const int w = std::max(TrainingsWidth, MinTrainingsWidth);
        const int total = std::max(width(), w + 100);
        splTrainings->setSizes({total - w, w});
        LastTrainingSizes = splTrainings->sizes();
    }
    RestackBottom();
    FitTrainingsList();
}

void TfrmChart::RestackBottom()
{
    // The layout keeps splitter, data area and status bar at the bottom edge.
    if (layout()) layout()->activate();
    LayoutChart();
}

void TfrmChart::showEvent(QShowEvent* event)
{
    TMDIChild::showEvent(event);
    ApplyVisibility();
    SelectEntry(-1);
    RestackBottom();
}

void TfrmChart::resizeEvent(QResizeEvent* event)
{
    TMDIChild::resizeEvent(event);
    RestackBottom();
    // More room may let a cut list entry show whole.
    FitTrainingsList();
}

bool TfrmChart::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pnlChart && event->type() == QEvent::Resize) LayoutChart();
    if (ChartView && watched == ChartView->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        if (event->type() == QEvent::MouseButtonRelease) Chart->zoomReset();
        return true;
    }
    return TMDIChild::eventFilter(watched, event);
}

// ---------------------------------------------------------------- settings

void TfrmChart::LoadSettings(const std::string& settingsFile, int placement)
{
    if (!SectionName.empty() && !settingsFile.empty() && FileExists(settingsFile)) {
        TProfileFile ini(settingsFile);
        const std::string& s = SectionName;
        StoredBounds.Left = ini.ReadInteger(s, "Left", StoredBounds.Left);
        StoredBounds.Top = ini.ReadInteger(s, "Top", StoredBounds.Top);
        StoredBounds.Width = ini.ReadInteger(s, "Width", StoredBounds.Width);
        StoredBounds.Height = ini.ReadInteger(s, "Height", StoredBounds.Height);
        ColumnsText = ini.ReadString(s, "Columns", ColumnsText);
        DataShown = ini.ReadBool(s, "Data", DataShown);
        if (DataShown) DataHeight = ini.ReadInteger(s, "DataHeight", DataHeight);
        TrainingsShown = ini.ReadBool(s, "Trainings", TrainingsShown);
        if (TrainingsShown) TrainingsWidth = ini.ReadInteger(s, "TrainingsWidth", TrainingsWidth);
    }
    if (placement >= wpmStoredBounds && placement <= wpmMaximised) PlaceWindow(placement, StoredBounds);
    ApplyColumnWidthsTo(sgdData, ColumnsText);
    ApplyVisibility();
}

void TfrmChart::SaveSettings(const std::string& settingsFile)
{
    if (SectionName.empty()) return;
    ColumnsText = ColumnWidthsOf(sgdData);
    StoredBounds = Placement();
    if (settingsFile.empty() || !IsWritable(settingsFile)) return;
    TProfileFile ini(settingsFile);
    const std::string& s = SectionName;
    ini.EraseSection(s);
    ini.WriteInteger(s, "Left", StoredBounds.Left);
    ini.WriteInteger(s, "Top", StoredBounds.Top);
    ini.WriteInteger(s, "Width", StoredBounds.Width);
    ini.WriteInteger(s, "Height", StoredBounds.Height);
    ini.WriteString(s, "Columns", ColumnsText);
    ini.WriteBool(s, "Data", DataShown);
    if (DataShown) ini.WriteInteger(s, "DataHeight", pnlData->isVisible() ? pnlData->height() : DataHeight);
    ini.WriteBool(s, "Trainings", TrainingsShown);
    if (TrainingsShown)
        ini.WriteInteger(s, "TrainingsWidth", pnlTrainings->isVisible() ? pnlTrainings->width() : TrainingsWidth);
    ini.UpdateFile();
}

bool TfrmChart::CloseQuery()
{
    if (TMainRegistry* reg = ChartRegistry()) SaveSettings(reg->SettingsFileForWriting());
    return true;
}

void TfrmChart::FormClose() { emit WindowClosed(); }

// ---------------------------------------------------------------- picture

std::string TfrmChart::PictureCaption()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    const std::string when =
        (locale.toString(now.date(), QLocale::ShortFormat) + " " + locale.toString(now.time(), QLocale::LongFormat))
            .toStdString();
    const std::string product = VersionString("ProductName") + " " + VersionString("FileVersion");
    return Format("%s (%s)", product.c_str(), when.c_str());
}

QImage TfrmChart::TakePicture()
{
    PrepareForPicture();
    // Black on white for the picture.
    const TAppearance before =
        HaveLook ? Look
                 : TAppearance{font(), palette().color(QPalette::WindowText), sgdData->palette().color(QPalette::Base),
                               palette().color(QPalette::Window)};
    const bool hadLook = HaveLook;
    const QColor chartBack = Chart->backgroundBrush().color();
    const bool shown[4] = {pnlTraining1->isVisibleTo(this), pnlTraining2->isVisibleTo(this),
                           pnlTraining3->isVisibleTo(this), pnlTraining4->isVisibleTo(this)};
    const int selected = SelectedEntry();
    SetAppearance(TAppearance{before.Font, Qt::black, Qt::white, Qt::white});
    Chart->setBackgroundBrush(Qt::white);
    pnlTraining1->show();
    pnlTraining2->hide();
    pnlTraining3->hide();
    pnlTraining4->hide();
    SelectEntry(-1);
    if (layout()) layout()->activate();
    pnlTrainings->layout()->activate();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QImage image = grab().toImage().convertToFormat(QImage::Format_RGB32);

    // Back to the window's own look.
    SetAppearance(before);
    HaveLook = hadLook;
    Chart->setBackgroundBrush(chartBack);
    pnlTraining1->setVisible(shown[0]);
    pnlTraining2->setVisible(shown[1]);
    pnlTraining3->setVisible(shown[2]);
    pnlTraining4->setVisible(shown[3]);
    SelectEntry(selected);

    // 16 colours, a frame line on the right and bottom edges and the product line.
    QList<QRgb> table;
    for (int32_t c : ColorGridColors()) table.append(ToQColor(c).rgb());
    if (image.isNull()) image = QImage(1, 1, QImage::Format_RGB32);
    image = image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither)
                .convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(image.width() - 1, 0, image.width() - 1, image.height() - 1);
        p.drawLine(0, image.height() - 1, image.width() - 1, image.height() - 1);
        QFont f = font();
        f.setStyleStrategy(QFont::NoAntialias);
        p.setFont(f);
        p.drawText(QRect(2, 1, image.width() - 4, image.height() - 2), Qt::AlignLeft | Qt::AlignTop,
                   Q(PictureCaption()));
    }
    return image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither);
}

void TfrmChart::ChartPicture(bool save)
{
    const QImage image = TakePicture();
    std::string fileName;
    TTraining* t = EntryRecord(SelectedEntry());
    if (t) fileName = ChangeFileExt(DefaultFileName(*t), "");
    else fileName = ChangeFileExt(ProgramFileName(), "");
    QApplication::clipboard()->setImage(image);
    if (!save) return;
    TMainRegistry* reg = ChartRegistry();
    TFileDialogRequest request;
    request.Save = true;
    request.DefaultExt = "bmp";
    request.Filter = "Windows bitmap files (*.bmp)|*.bmp|All files (*.*)|*.*";
    request.Title = "Save chart as file";
    request.InitialDir = reg ? reg->LastDir() : std::string();
    request.FileName = fileName;
    const TFileDialogResult result = Dialogs().FileDialog(request);
    if (!result.Accepted || result.FileName().empty()) return;
    const std::string path = result.FileName();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "BMP")) {
        ShowFileError(path, "The picture could not be converted to a bitmap", 0);
        return;
    }
    int code = 0;
    if (!WriteFileAtomically(path, bytes.constData(), size_t(bytes.size()), code)) {
        ShowFileErrorCode(path, code);
        return;
    }
    if (reg) reg->SetLastDir(ExtractFilePath(path));
}
