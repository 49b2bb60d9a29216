#include "charts/force_curves_window.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QEvent>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/catalogue.h"
#include "core/series.h"
#include "core/values.h"
#include "files/file_names.h"
#include "files/stroke_file.h"
#include "framework/window_util.h"
#include "logic/session_store.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

namespace {

QToolButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* hint)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(QString::fromUtf8(caption));
    const QString h = QString::fromUtf8(hint);
    const int bar = int(h.indexOf('|'));
    b->setToolTip(bar >= 0 ? h.left(bar) : h);
    b->setStatusTip(bar >= 0 ? h.mid(bar + 1) : h);
    return b;
}

// The text with only digits and "-" kept, read as a number (nullopt-like -1 flag).
bool ReadDigits(const QString& text, int& value)
{
    QString kept;
    for (QChar c : text)
        if (c.isDigit() || c == '-') kept += c;
    bool ok = false;
    value = kept.toInt(&ok);
    return ok;
}

}  // namespace

// ---------------------------------------------------------------- TUpDown

TUpDown::TUpDown(int min, int max, int increment, int position, QWidget* parent)
    : QWidget(parent), Min(min), Max(max), Increment(increment), Pos(std::clamp(position, min, max))
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    btnUp = new QToolButton(this);
    btnUp->setArrowType(Qt::UpArrow);
    btnDown = new QToolButton(this);
    btnDown->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {btnUp, btnDown}) {
        b->setFixedSize(16, 11);
        l->addWidget(b);
    }
    connect(btnUp, &QToolButton::clicked, this, [this] { SetPosition(Pos + Increment); });
    connect(btnDown, &QToolButton::clicked, this, [this] { SetPosition(Pos - Increment); });
    setFixedSize(16, 22);
}

void TUpDown::SetPosition(int position)
{
    position = std::clamp(position, Min, Max);
    if (position == Pos) return;
    Pos = position;
    emit PositionChanged(Pos);
}

// ---------------------------------------------------------------- window

TfrmForceCurves::TfrmForceCurves(TSessionStore& store, QWidget* parent) : TfrmChart(store, parent)
{
    setObjectName("frmForceCurves");
    SetCaption("Force Curves");
    SectionName = "ForceCurves";
    MinTrainingsWidth = 230;
    pnlTrainings->setMinimumWidth(MinTrainingsWidth);
    ChartView->setToolTip("Force curves chart");
    Axes->Bottom.Title = "Strokelength (cm)";
    Axes->Bottom.Scale = TAxisScale{false, false, 0, 176, 10};
    Axes->Left.Title = "Force (N)";
    Axes->Left.Scale = TAxisScale{false, false, 0, 780, 77};
    Axes->Right.Visible = false;
    Axes->Right.Title.clear();

    QStringList headers{QString()};
    const auto& map = StrokeIdMap();
    for (size_t id = 0; id < map.size(); ++id) {
        const int p = map[id];
        headers << (StrokeParameters()[size_t(p)].Id == int(id) ? QString::fromStdString(StrokeShortCaption(p))
                                                                : QString());
    }
    DataModel->SetHeaders(headers);
    SetupDataGrid();

    BuildFixedControls();
    BuildBrowseControls();
    lblNoForceCurve = new QLabel(ChartView);
    lblNoForceCurve->setObjectName("lblNoForceCurve");
    lblNoForceCurve->setWordWrap(true);
    lblNoForceCurve->setAlignment(Qt::AlignCenter);
    lblNoForceCurve->setStyleSheet(
        "QLabel { background: rgba(255, 255, 225, 230); border: 1px solid gray; padding: 6px; }");
    lblNoForceCurve->hide();
    cbxSquare = new QCheckBox("Square", pnlChart);
    cbxSquare->setObjectName("cbxSquare");
    cbxSquareWidget = cbxSquare;
    connect(cbxSquare, &QCheckBox::toggled, this, [this](bool on) { SetSquareChart(on); });
    cbxSquare->setChecked(true);
    SetSquareChart(true);

    tmrPlay = new QTimer(this);
    tmrPlay->setObjectName("tmrPlay");
    const int rate = ChartRegistry() ? ChartRegistry()->PlayRate() : 120;
    tmrPlay->setInterval(60000 / std::max(1, rate));
    connect(tmrPlay, &QTimer::timeout, this, [this] { tmrPlayTimer(); });

    ResetAverageRecords();
    DrawChart();
}

TfrmForceCurves::~TfrmForceCurves() { tmrPlay->stop(); }

void TfrmForceCurves::BuildFixedControls()
{
    cbxForce = new QCheckBox("Fixed force", pnlTraining3);
    cbxForce->setObjectName("cbxForce");
    cbxForce->setToolTip("Fixed peakforce");
    edtForce = new QLineEdit("550", pnlTraining3);
    edtForce->setObjectName("edtForce");
    udnForce = new TUpDown(0, 999, 10, 550, pnlTraining3);
    udnForce->setObjectName("udnForce");
    cbxLength = new QCheckBox("Fixed length", pnlTraining3);
    cbxLength->setObjectName("cbxLength");
    cbxLength->setToolTip("Fixed stroke length");
    edtLength = new QLineEdit("150", pnlTraining3);
    edtLength->setObjectName("edtLength");
    udnLength = new TUpDown(0, 176, 2, 150, pnlTraining3);
    udnLength->setObjectName("udnLength");
    for (QLineEdit* e : {edtForce, edtLength}) e->setFixedWidth(40);
    edtForce->setEnabled(false);
    udnForce->setEnabled(false);
    edtLength->setEnabled(false);
    udnLength->setEnabled(false);
    connect(cbxForce, &QCheckBox::toggled, this, [this](bool on) {
        edtForce->setEnabled(on);
        udnForce->setEnabled(on);
        DrawChart();
        DrawGrid();
    });
    connect(cbxLength, &QCheckBox::toggled, this, [this](bool on) {
        edtLength->setEnabled(on);
        udnLength->setEnabled(on);
        DrawChart();
        DrawGrid();
    });
    for (auto [edit, updown] : {std::pair{edtForce, udnForce}, std::pair{edtLength, udnLength}}) {
        QLineEdit* e = edit;
        TUpDown* u = updown;
        connect(u, &TUpDown::PositionChanged, this, [this, e](int pos) {
            if (e->text() != QString::number(pos)) e->setText(QString::number(pos));
            DrawChart();
            DrawGrid();
        });
        connect(e, &QLineEdit::textEdited, this, [this, e, u](const QString&) { EditChanged(e, u); });
    }
    pnlTraining3->installEventFilter(this);
    LayoutFixed();
}

void TfrmForceCurves::EditChanged(QLineEdit* edit, TUpDown* updown)
{
    int value = 0;
    if (ReadDigits(edit->text(), value)) updown->SetPosition(value);
    const QString shown = QString::number(updown->Position());
    if (edit->text() != shown) edit->setText(shown);
}

void TfrmForceCurves::BuildBrowseControls()
{
    auto* l4 = new QVBoxLayout(pnlTraining4);
    l4->setContentsMargins(0, 0, 0, 0);
    l4->setSpacing(1);
    pnlBrowseCurves = new QWidget(pnlTraining4);
    pnlBrowseCurves->setObjectName("pnlBrowseCurves");
    rbtBrowseCurves = new QRadioButton("Browse curves", pnlBrowseCurves);
    rbtBrowseCurves->setObjectName("rbtBrowseCurves");
    rbtBrowseCurves->setAutoExclusive(false);
    cbxShowAll = new QCheckBox("All", pnlBrowseCurves);
    cbxShowAll->setObjectName("cbxShowAll");
    cbxShowAll->hide();
    btbFirst = MakeButton(pnlBrowseCurves, "btbFirst", "|<", "First|Show first curve of current training");
    btbPrevious = MakeButton(pnlBrowseCurves, "btbPrevious", "<", "Previous|Show previous curve of current training");
    metCurve = new QLineEdit(pnlBrowseCurves);
    metCurve->setObjectName("metCurve");
    metCurve->setMaxLength(3);
    metCurve->setToolTip("Curve number");
    btbNext = MakeButton(pnlBrowseCurves, "btbNext", ">", "Next|Show next curve of current training");
    btbLast = MakeButton(pnlBrowseCurves, "btbLast", ">|", "Last|Show last curve of current training");
    btbDelete = MakeButton(pnlBrowseCurves, "btbDelete", "Del", "Delete|Delete current curve");
    btbPlay = MakeButton(pnlBrowseCurves, "btbPlay", "", "Play|Play animation");
    sbrCurves = new QScrollBar(Qt::Horizontal, pnlBrowseCurves);
    sbrCurves->setObjectName("sbrCurves");
    sbrCurves->setRange(0, 0);
    SetPlayBitmap(false);
    l4->addWidget(pnlBrowseCurves);

    pnlBrowseAverage = new QWidget(pnlTraining4);
    pnlBrowseAverage->setObjectName("pnlBrowseAverage");
    auto* la = new QVBoxLayout(pnlBrowseAverage);
    la->setContentsMargins(8, 2, 2, 2);
    rbtBrowseAverage = new QRadioButton("Session average", pnlBrowseAverage);
    rbtBrowseAverage->setObjectName("rbtBrowseAverage");
    rbtBrowseAverage->setAutoExclusive(false);
    la->addWidget(rbtBrowseAverage);
    l4->addWidget(pnlBrowseAverage);

    pnlBrowseIntervals = new QWidget(pnlTraining4);
    pnlBrowseIntervals->setObjectName("pnlBrowseIntervals");
    auto* li = new QVBoxLayout(pnlBrowseIntervals);
    rbtBrowseIntervals = new QRadioButton("Browse intervals", pnlBrowseIntervals);
    rbtBrowseIntervals->setObjectName("rbtBrowseIntervals");
    sbrIntervals = new QScrollBar(Qt::Horizontal, pnlBrowseIntervals);
    sbrIntervals->setObjectName("sbrIntervals");
    li->addWidget(rbtBrowseIntervals);
    li->addWidget(sbrIntervals);
    pnlBrowseIntervals->hide();
    l4->addWidget(pnlBrowseIntervals);

    connect(rbtBrowseCurves, &QRadioButton::clicked, this, [this] { Browse(baBrowseCurves, IsShiftDown()); });
    connect(rbtBrowseAverage, &QRadioButton::clicked, this, [this] { Browse(baBrowseAverage, IsShiftDown()); });
    connect(btbFirst, &QToolButton::clicked, this, [this] { btbFirstClick(); });
    connect(btbPrevious, &QToolButton::clicked, this, [this] { btbPreviousClick(); });
    connect(btbNext, &QToolButton::clicked, this, [this] { btbNextClick(); });
    connect(btbLast, &QToolButton::clicked, this, [this] { btbLastClick(); });
    connect(btbDelete, &QToolButton::clicked, this, [this] { btbDeleteClick(); });
    connect(btbPlay, &QToolButton::clicked, this, [this] { btbPlayClick(); });
    connect(metCurve, &QLineEdit::editingFinished, this, [this] { metCurveExit(); });
    connect(sbrCurves, &QScrollBar::valueChanged, this, [this](int v) {
        if (!InClick) sbrCurvesChange(v);
    });
    pnlBrowseCurves->installEventFilter(this);
    LayoutBrowse();
}

void TfrmForceCurves::LayoutFixed()
{
    const int w = pnlTraining3->width();
    const bool wide = w >= 300;
    const int half = wide ? w / 2 : w;
    pnlTraining3->setFixedHeight(wide ? 34 : 62);
    auto place = [&](QCheckBox* box, QLineEdit* edit, TUpDown* ud, int left, int top) {
        box->adjustSize();
        box->move(left + 8, top + 4);
        const int editLeft = left + std::max(100, std::min(half - 70, 130));
        edit->setGeometry(editLeft, top + 2, 40, 22);
        ud->move(editLeft + 41, top + 2);
    };
    place(cbxForce, edtForce, udnForce, 0, 4);
    if (wide) place(cbxLength, edtLength, udnLength, half, 4);
    else place(cbxLength, edtLength, udnLength, 0, 32);
}

void TfrmForceCurves::LayoutBrowse()
{
    const int w = pnlBrowseCurves->width();
    const bool radio = !rbtBrowseCurves->isHidden();
    const int boxWidth = 36;
    const int left = 8;
    if (w < 400 || radio) {
        pnlBrowseCurves->setFixedHeight(radio ? 90 : 65);
        const int top = radio ? 26 : 2;
        rbtBrowseCurves->move(8, 4);
        rbtBrowseCurves->adjustSize();
        const int bw = std::max(16, (w - left - boxWidth - 8) / 5);
        int x = left;
        btbFirst->setGeometry(x, top, bw, 24);
        x += bw;
        btbPrevious->setGeometry(x, top, bw, 24);
        x += bw;
        metCurve->setGeometry(x, top, boxWidth, 24);
        x += boxWidth;
        btbNext->setGeometry(x, top, bw, 24);
        x += bw;
        btbLast->setGeometry(x, top, bw, 24);
        btbDelete->setGeometry(w - 6 - bw, top, bw, 24);
        btbPlay->setGeometry(w - 6 - bw, top + 28, bw, 24);
        sbrCurves->setGeometry(left, top + 30, std::max(10, x + bw - left), 18);
    } else {
        pnlBrowseCurves->setFixedHeight(40);
        const int bw = std::max(16, w / 10);
        int x = left;
        for (QWidget* b : std::initializer_list<QWidget*>{btbFirst, btbPrevious}) {
            b->setGeometry(x, 8, bw, 24);
            x += bw;
        }
        metCurve->setGeometry(x, 8, boxWidth, 24);
        x += boxWidth;
        for (QWidget* b : std::initializer_list<QWidget*>{btbNext, btbLast}) {
            b->setGeometry(x, 8, bw, 24);
            x += bw;
        }
        btbPlay->setGeometry(w - 12 - 2 * bw, 8, bw, 24);
        btbDelete->setGeometry(w - 6 - bw, 8, bw, 24);
        sbrCurves->setGeometry(x + 4, 12, std::max(10, w - 18 - 2 * bw - x - 8), 18);
    }
}

bool TfrmForceCurves::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == pnlTraining3) LayoutFixed();
        if (watched == pnlBrowseCurves) LayoutBrowse();
    }
    return TfrmChart::eventFilter(watched, event);
}

void TfrmForceCurves::SetPlayBitmap(bool playing)
{
    btbPlay->setProperty("Bitmap", playing ? "VCR_STOP" : "VCR_PLAY");
    btbPlay->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
}

// ---------------------------------------------------------------- records

void TfrmForceCurves::ResetAverageRecords()
{
    for (int k = 1; k <= kAverageRecords; ++k) SetupAverageRecord(Sessions.Average(k - 1), k);
}

TTraining* TfrmForceCurves::EntryRecord(int entry)
{
    if (entry < 0 || entry >= Sessions.Count() + kAverageRecords) return nullptr;
    return Sessions.At(entry);
}

TListEntryLook TfrmForceCurves::EntryLook(int entry)
{
    if (entry < Sessions.Count()) return TfrmChart::EntryLook(entry);
    TListEntryLook look;
    TTraining* t = EntryRecord(entry);
    if (!t) return look;
    look.Valid = true;
    look.Label = t->Header.Title.Text();
    look.Pen = PenOf(*t);
    return look;
}

std::vector<const TTraining*> TfrmForceCurves::OpenSessions()
{
    std::vector<const TTraining*> list;
    for (int i = 0; i < Sessions.Count(); ++i)
        if (const TTraining* t = Sessions.At(i)) list.push_back(t);
    return list;
}

void TfrmForceCurves::RebuildTrainings(bool added)
{
    const int selected = SelectedEntry();
    TfrmChart::RebuildTrainings(added);
    Updating = true;
    for (int k = 0; k < kAverageRecords; ++k) {
        TTraining* avg = &Sessions.Average(k);
        auto* item = new QListWidgetItem(avg ? QString::fromStdString(avg->Header.Title.Text()) : QString());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(avg && avg->Header.Active ? Qt::Checked : Qt::Unchecked);
        clbTrainings->addItem(item);
    }
    Updating = false;
    FitTrainingsList();
    SyncChecks();
    const int now = added ? SelectedEntry() : selected;
    if (now >= 0 && now < ListCount()) SelectEntry(now);
    else if (ListCount() > 0) SelectEntry(0);
    clbTrainingsClick();
}

void TfrmForceCurves::RefreshAfterClose()
{
    RebuildTrainings(false);
    if (Sessions.Count() == 0) {
        StopPlay();
        if (!Closing()) {
            if (QMdiSubWindow* sub = SubWindow()) sub->close();
            else close();
        }
        return;
    }
    clbTrainingsClick();
}

// ---------------------------------------------------------------- list click

void TfrmForceCurves::EnableBrowse()
{
    const int entry = SelectedEntry();
    TTraining* s = EntryRecord(entry);
    const bool average = entry >= Sessions.Count();
    InClick = true;
    if (!s) {
        for (QWidget* w : std::initializer_list<QWidget*>{rbtBrowseCurves, rbtBrowseAverage, btbFirst, btbPrevious,
                                                          btbNext, btbLast, btbDelete, metCurve, sbrCurves, btbPlay})
            w->setEnabled(false);
        sbrCurves->setRange(0, 0);
        InClick = false;
        return;
    }
    const bool active = s->Header.Active != 0;
    const int n = s->StrokeCount();
    const int k = s->Header.SelectedStroke;
    rbtBrowseCurves->setEnabled(active && !average);
    rbtBrowseAverage->setEnabled(active && (average || k > 1 || n != k));
    if (s->Header.CurveSource == 0) {
        rbtBrowseCurves->setChecked(true);
        rbtBrowseAverage->setChecked(false);
        btbFirst->setEnabled(active && k > 1);
        btbPrevious->setEnabled(active && k > 1);
        btbNext->setEnabled(active && k > 0 && k < n);
        btbLast->setEnabled(active && k > 0 && k < n);
        btbDelete->setEnabled(active && k > 0 && n > 1);
        if (!metCurve->hasFocus() || metCurve->text() != QString::number(k)) metCurve->setText(QString::number(k));
        const bool curveBox = btbFirst->isEnabled() || btbNext->isEnabled();
        metCurve->setEnabled(curveBox);
        const int lo = k == 0 ? 0 : 1;
        if (k < lo || k > n) sbrCurves->setRange(0, 0);
        sbrCurves->setRange(lo, std::max(lo, n));
        sbrCurves->setValue(k);
        sbrCurves->setEnabled(curveBox);
        btbPlay->setEnabled(curveBox);
    } else {
        rbtBrowseCurves->setChecked(false);
        rbtBrowseAverage->setChecked(s->Header.CurveSource == 1);
        for (QWidget* w : std::initializer_list<QWidget*>{btbFirst, btbPrevious, btbNext, btbLast, btbDelete, metCurve,
                                                          sbrCurves, btbPlay})
            w->setEnabled(false);
    }
    InClick = false;
}

void TfrmForceCurves::clbTrainingsClick()
{
    TfrmChart::clbTrainingsClick();
    if (ListCount() != Sessions.Count() + kAverageRecords) return;
    SyncChecks();
    EnableBrowse();
    SetPlayBitmap(Playing());
    DrawChart();
    DrawGrid();
}

// ---------------------------------------------------------------- browsing

void TfrmForceCurves::Browse(TBrowseAction action, bool all, int number)
{
    StopPlay();
    std::vector<TTraining*> targets;
    if (all) {
        for (int i = 0; i < Sessions.Count(); ++i)
            if (TTraining* t = Sessions.At(i)) targets.push_back(t);
    } else if (TTraining* t = EntryRecord(SelectedEntry())) {
        targets.push_back(t);
    }
    for (TTraining* t : targets) {
        // The header is a packed record: the field is copied out and back
        // rather than referenced.
        int32_t k = t->Header.SelectedStroke;
        switch (action) {
        case baBrowseCurves: t->Header.CurveSource = 0; break;
        case baBrowseAverage: t->Header.CurveSource = 1; break;
        case baFirst: k = FirstCurve(*t); break;
        case baPrevious: k = PreviousCurve(*t); break;
        case baNext: k = NextCurve(*t); break;
        case baLast: k = LastCurve(*t); break;
        case baNumber:
        case baScroll: k = CurveAt(*t, number); break;
        }
        t->Header.SelectedStroke = k;
    }
    clbTrainingsClick();
}

void TfrmForceCurves::btbFirstClick() { Browse(baFirst, IsShiftDown()); }
void TfrmForceCurves::btbPreviousClick() { Browse(baPrevious, IsShiftDown()); }
void TfrmForceCurves::btbNextClick() { Browse(baNext, IsShiftDown()); }
void TfrmForceCurves::btbLastClick() { Browse(baLast, IsShiftDown()); }

void TfrmForceCurves::metCurveExit()
{
    const int m = ParseCurveNumber(metCurve->text().toStdString());
    if (m < 0) {
        // An empty or unreadable box shows the current curve again.
        StopPlay();
        clbTrainingsClick();
        return;
    }
    Browse(baNumber, IsShiftDown(), m);
}

void TfrmForceCurves::sbrCurvesChange(int position) { Browse(baScroll, IsShiftDown(), position); }

void TfrmForceCurves::btbDeleteClick()
{
    StopPlay();
    const int entry = SelectedEntry();
    TTraining* t = EntryRecord(entry);
    if (!t || !t->Header.Active) return;
    if (DeleteShownCurve(*t)) {
        // The training window's force-curve page follows the store.
        if (entry < Sessions.Count()) Sessions.NotifyCurvesChanged(Sessions.IdAt(entry));
    }
    clbTrainingsClick();
}

bool TfrmForceCurves::Playing() const { return tmrPlay && tmrPlay->isActive(); }

void TfrmForceCurves::StopPlay()
{
    if (Playing()) {
        tmrPlay->stop();
        SetPlayBitmap(false);
    }
}

void TfrmForceCurves::btbPlayClick()
{
    if (Playing()) tmrPlay->stop();
    else tmrPlay->start();
    SetPlayBitmap(Playing());
}

void TfrmForceCurves::tmrPlayTimer()
{
    TTraining* t = EntryRecord(SelectedEntry());
    if (!t || t->Header.SelectedStroke >= t->StrokeCount()) tmrPlay->stop();
    else t->Header.SelectedStroke = NextCurve(*t);
    clbTrainingsClick();
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- chart and grid

TCurveNormalisation TfrmForceCurves::Normalisation() const
{
    TCurveNormalisation n;
    n.FixedForce = cbxForce->isChecked();
    n.Force = udnForce->Position();
    n.FixedLength = cbxLength->isChecked();
    n.Length = udnLength->Position();
    return n;
}

void TfrmForceCurves::SetFixedForce(bool on, int force)
{
    udnForce->SetPosition(force);
    edtForce->setText(QString::number(udnForce->Position()));
    cbxForce->setChecked(on);
}

void TfrmForceCurves::SetFixedLength(bool on, int length)
{
    udnLength->SetPosition(length);
    edtLength->setText(QString::number(udnLength->Position()));
    cbxLength->setChecked(on);
}

void TfrmForceCurves::DrawChart()
{
    if (!udnForce) return;
    const TCurveNormalisation norm = Normalisation();
    TForceCurveOptions o;
    o.Relative = norm.FixedForce;
    o.FixedForce = norm.Force;
    o.FixedLength = norm.Length;
    o.UseFixedLength = norm.FixedLength;
    TChartData data;
    const int n = Sessions.Count();
    for (int i = 0; i < n; ++i) {
        if (TTraining* t = Sessions.At(i)) {
            o.AllCurves = t->ShowAllCurves != 0;
            BuildForceCurveSeries(data, *t, o);
        }
    }
    o.AllCurves = false;
    const std::vector<const TTraining*> sessions = OpenSessions();
    for (int k = kAverageRecords; k >= 1; --k) {
        TTraining* avg = &Sessions.Average(k - 1);
        ComputeAverageCurve(*avg, k, sessions);
        BuildForceCurveSeries(data, *avg, o);
    }
    Axes->Render(data, false);
    // A session from a machine that measures no force says so instead of an empty chart.
    std::string note;
    for (int i = 0; i < n; ++i) {
        const TTraining* t = Sessions.At(i);
        if (!t || !t->Header.Active) continue;
        const std::string s = NoForceCurveNote(*t);
        if (!s.empty()) note += (note.empty() ? "" : "\n") + s;
    }
    lblNoForceCurve->setText(QString::fromStdString(note));
    lblNoForceCurve->setVisible(!note.empty());
    if (!note.empty()) {
        const int width = std::max(120, ChartView->width() - 80);
        lblNoForceCurve->setFixedWidth(width);
        lblNoForceCurve->adjustSize();
        lblNoForceCurve->move((ChartView->width() - width) / 2,
                              std::max(0, ChartView->height() / 2 - lblNoForceCurve->height()));
        lblNoForceCurve->raise();
    }
}

void TfrmForceCurves::DrawGrid()
{
    if (!udnForce) return;
    const int columns = DataModel->columnCount();
    std::vector<TChartGridRow> rows = BaseGridRows(columns);
    std::vector<const TTraining*> records;
    for (int i = 0; i < Sessions.Count(); ++i)
        if (TTraining* t = Sessions.At(i); t && t->Header.Active) records.push_back(t);
    for (int k = 0; k < kAverageRecords; ++k) {
        TTraining* avg = &Sessions.Average(k);
        if (!avg->Header.Active) continue;
        TChartGridRow row;
        row.Cells.assign(size_t(columns), std::string());
        row.Cells[0] = avg->Header.Title.Text();
        row.HasPen = true;
        row.Pen = PenOf(*avg);
        rows.push_back(std::move(row));
        records.push_back(avg);
    }
    const TCurveNormalisation norm = Normalisation();
    const auto& map = StrokeIdMap();
    for (size_t r = 0; r < rows.size() && r < records.size(); ++r) {
        const TTraining& t = *records[r];
        TStgStrokeData s;
        TStgForceCurve c;
        ShownStroke(t, s, c);
        auto& cells = rows[r].Cells;
        if (!norm.FixedForce && !norm.FixedLength) {
            for (size_t id = 0; id < map.size() && id + 1 < cells.size(); ++id) {
                const int p = map[id];
                if (StrokeParameters()[size_t(p)].Id == int(id)) cells[id + 1] = StrokeValueText(s, p, t.Settings);
            }
        }
        const TCurveValuesRow v = NormalisedValues(s, norm);
        const std::pair<int, float> five[] = {{spStrokeLength, v.StrokeLength},
                                              {spEnergy, v.Energy},
                                              {spPeakForce, v.PeakForce},
                                              {spPeakForcePosition, v.PeakForcePosition},
                                              {spPeakForceRelative, v.PeakForceRelative}};
        for (auto [p, value] : five) {
            const size_t col = size_t(StrokeParameters()[size_t(p)].Id + 1);
            if (col > 0 && col < cells.size()) cells[col] = FormatValue(ParameterFormat(p), value);
        }
    }
    DataModel->SetRows(std::move(rows));
}

// ---------------------------------------------------------------- picture, settings, appearance

void TfrmForceCurves::PrepareForPicture()
{
    pnlTraining1->setFixedHeight(1);
    lblInfo->setText(QString());
    const QFontInfo info(lblInfo->font());
    const int h = int(std::lround(std::abs(info.pixelSize()) * 1.5));
    QString text;
    int height = 1;
    if (cbxForce->isChecked()) {
        height = h;
        text = QString::fromStdString(Format("Fixed force : %d N", udnForce->Position()));
    }
    if (cbxLength->isChecked()) {
        height += h;
        if (!text.isEmpty()) text += "\n";
        text += QString::fromStdString(Format("Fixed length : %d cm", udnLength->Position()));
    }
    lblInfo->setText(text);
    lblInfo->setVisible(!text.isEmpty());
    pnlTraining1->setFixedHeight(height);
}

void TfrmForceCurves::SetAppearance(const TAppearance& appearance)
{
    TfrmChart::SetAppearance(appearance);
    LayoutFixed();
    LayoutBrowse();
}

void TfrmForceCurves::LoadSettings(const std::string& settingsFile, int placement)
{
    TfrmChart::LoadSettings(settingsFile, placement);
    bool fixedForce = false, fixedLength = false, square = true;
    int force = 550, length = 150;
    if (!SectionName.empty() && !settingsFile.empty() && FileExists(settingsFile)) {
        TProfileFile ini(settingsFile);
        fixedForce = ini.ReadBool(SectionName, "FixedForce", fixedForce);
        force = ini.ReadInteger(SectionName, "Force", force);
        fixedLength = ini.ReadBool(SectionName, "FixedLength", fixedLength);
        length = ini.ReadInteger(SectionName, "Length", length);
        square = ini.ReadBool(SectionName, "Square", square);
    }
    SetFixedForce(fixedForce, force);
    SetFixedLength(fixedLength, length);
    cbxSquare->setChecked(square);
    SetSquareChart(square);
}

void TfrmForceCurves::SaveSettings(const std::string& settingsFile)
{
    TfrmChart::SaveSettings(settingsFile);
    if (SectionName.empty() || settingsFile.empty() || !IsWritable(settingsFile)) return;
    TProfileFile ini(settingsFile);
    ini.WriteBool(SectionName, "FixedForce", cbxForce->isChecked());
    ini.WriteInteger(SectionName, "Force", udnForce->Position());
    ini.WriteBool(SectionName, "FixedLength", cbxLength->isChecked());
    ini.WriteInteger(SectionName, "Length", udnLength->Position());
    ini.WriteBool(SectionName, "Square", SquareChart());
    ini.UpdateFile();
}

// ---------------------------------------------------------------- export

bool TfrmForceCurves::ExportStrokeFile()
{
    const int entry = SelectedEntry();
    TTraining* r = EntryRecord(entry);
    if (!r || !EntryChecked(entry)) {
        ShowInformationBox("Please select an active curve to export");
        return false;
    }
    TMainRegistry* reg = ChartRegistry();
    TFileDialogRequest request;
    request.Save = true;
    request.DefaultExt = "str";
    request.Filter = "Stroke files (*.str)|*.str|All files (*.*)|*.*";
    request.Title = "Export stroke file";
    request.InitialDir = reg ? reg->LastDir() : std::string();
    request.FileName = ChangeFileExt(ExtractFileName(DefaultFileName(*r)), "");
    const TFileDialogResult result = Dialogs().FileDialog(request);
    if (!result.Accepted || result.FileName().empty()) return false;
    const TTraining t = ExportTraining(*r, Normalisation());
    return WriteStrokeFile(result.FileName(), t);
}

// ---------------------------------------------------------------- creation

TfrmForceCurves* CreateForceCurvesWindow(TMDIMain* frame, TSessionStore& store, const std::string& settingsFile)
{
    auto* w = new TfrmForceCurves(store);
    if (frame) frame->AddChild(w);
    TMainRegistry* reg = ChartRegistry();
    w->LoadSettings(settingsFile, reg ? reg->WindowPlacement() : wpmMaximised);
    if (reg) w->SetAppearance(reg->Appearance());
    w->RebuildTrainings(true);
    return w;
}
