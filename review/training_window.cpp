#include "review/training_window.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTextCursor>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <cmath>

#include "core/catalogue.h"
#include "core/splits.h"
#include "files/file_names.h"
#include "files/journal.h"
#include "files/training_io.h"
#include "framework/chart_dialogs.h"
#include "framework/window_util.h"
#include "logic/session_store.h"
#include "logic/training_logic.h"
#include "review/grid_models.h"
#include "review/pen_sample.h"
#include "review/results_window.h"
#include "review/review_controls.h"
#include "review/zone_box.h"
#include "util/color.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/grid.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

namespace {

constexpr int kMaxTextLength = 250;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Sets a label's text only when it differs (no repaint otherwise).
void SetText(QLabel* l, const std::string& text)
{
    QString q = Q(text);
    if (l->text() != q) l->setText(q);
}

void SetEditText(QLineEdit* e, const std::string& text)
{
    QString q = Q(text);
    if (e->text() != q) e->setText(q);
}

void SetComboText(QComboBox* c, const std::string& text)
{
    QString q = Q(text);
    if (c->currentText() != q) c->setEditText(q);
}

QComboBox* MakeList(QWidget* parent, const char* name, const std::vector<std::string>& items, size_t first = 0)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    for (size_t i = first; i < items.size(); ++i) c->addItem(Q(items[i]));
    return c;
}

QComboBox* MakeTextCombo(QWidget* parent, const char* name)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->lineEdit()->setMaxLength(kMaxTextLength);
    return c;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

// Red, green and blue each replaced by 255 minus itself.
int32_t InverseOf(int32_t color)
{
    const TColor c = ResolveColor(color);
    return RGBColor(255 - RedOf(c), 255 - GreenOf(c), 255 - BlueOf(c));
}

bool EditAllowed() { return !MainRegistry() || MainRegistry()->EditAllowed(); }

// The store's record of the session; a window made for a session the store
// does not hold adds an empty one under that id.
std::shared_ptr<TTraining> HeldRecord(TSessionStore& store, int32_t id)
{
    if (std::shared_ptr<TTraining> record = store.Share(id)) return record;
    TTraining empty;
    ClearTraining(empty);
    store.Add(empty, id);
    return store.Share(id);
}

}  // namespace

TfrmTraining::TfrmTraining(TSessionStore& store, int32_t sessionId, QWidget* parent)
    : TMDIChild(parent), Sessions(store), Id(sessionId), FRecord(HeldRecord(store, sessionId)), Session(*FRecord)
{
    setObjectName("frmTraining");
    setAttribute(Qt::WA_DeleteOnClose, false);
    Session.ClientId = sessionId;
    if (Session.Strokes.empty() || Session.Curves.empty()) SetStrokeCount(Session, std::max(0, Session.StrokeCount()));
    BuildControls();
    FillComboLists();
    pgcTraining->setCurrentWidget(tshWorkout);
    StrokeModel->SetTraining(&Session);
    CurveModel->SetTraining(&Session);
    IntervalModel->SetTraining(&Session);
    setWindowTitle(Q(Session.Header.Title.Text()));
    ListenToStore();
    // Filled before it is first shown: a field that gets and loses the focus
    // while the window opens holds the session's value, not an empty text.
    RefreshAll();
}

TfrmTraining::~TfrmTraining() = default;

void TfrmTraining::ListenToStore()
{
    // Changes made elsewhere: the row engine's recording, resets, the chart
    // windows' header and curve edits, saves.
    auto mine = [this](int32_t id) { return id == Id && !Announcing && !Closing(); };
    connect(&Sessions, &TSessionStore::StrokeAppended, this, [this, mine](int32_t id, int) {
        if (mine(id)) RefreshStrokeData();
    });
    connect(&Sessions, &TSessionStore::CurvesChanged, this, [this, mine](int32_t id) {
        if (mine(id)) RefreshForceCurves();
    });
    for (auto signal : {&TSessionStore::SessionReset, &TSessionStore::SessionChanged, &TSessionStore::WorkoutChanged})
        connect(&Sessions, signal, this, [this, mine](int32_t id) {
            if (mine(id)) RefreshAll();
        });
    connect(&Sessions, &TSessionStore::HeaderChanged, this, [this, mine](int32_t id) {
        if (mine(id)) RefreshGeneral();
    });
    connect(&Sessions, &TSessionStore::ModifiedChanged, this, [this, mine](int32_t id, bool) {
        if (mine(id)) RefreshGeneral();
    });
    connect(&Sessions, &TSessionStore::Saved, this, [this, mine](int32_t id, const QString&) {
        if (mine(id)) RefreshAll();
    });
    // The row window recording this session closed: the session closes with it.
    connect(&Sessions, &TSessionStore::CloseRequested, this, [this](int32_t id) {
        if (id != Id || Closing()) return;
        // While the program closes, a window the user kept open in this round stays.
        if (MainRegistry() && MainRegistry()->MainClosing() && CloseRefused()) return;
        if (QMdiSubWindow* sub = SubWindow()) sub->close();
        else close();
    });
}

template <class F>
void TfrmTraining::Announce(F&& announce)
{
    const bool was = Announcing;
    Announcing = true;
    announce();
    Announcing = was;
}

// ---------------------------------------------------------------- construction

void TfrmTraining::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    pgcTraining = new QTabWidget(this);
    pgcTraining->setObjectName("pgcTraining");
    layout->addWidget(pgcTraining);

    StrokeModel = new TStrokeDataModel(this);
    CurveModel = new TForceCurveModel(this);
    IntervalModel = new TIntervalModel(this);
    SplitsModel = new TSplitsModel(this);

    tshGeneral = BuildGeneralPage();
    tshWorkout = BuildWorkoutPage();
    tshSplits = BuildSplitsPage();

    tshStrokeData = new QWidget;
    tshStrokeData->setObjectName("tshStrokeData");
    sgdStrokeData = MakeDataGrid(tshStrokeData, "sgdStrokeData", StrokeModel, 0);
    (new QVBoxLayout(tshStrokeData))->addWidget(sgdStrokeData);

    tshForceCurves = new QWidget;
    tshForceCurves->setObjectName("tshForceCurves");
    sgdForceCurves = MakeDataGrid(tshForceCurves, "sgdForceCurves", CurveModel, 30);
    (new QVBoxLayout(tshForceCurves))->addWidget(sgdForceCurves);

    tshLog = new QWidget;
    tshLog->setObjectName("tshLog");
    memLog = new QPlainTextEdit(tshLog);
    memLog->setObjectName("memLog");
    memLog->setReadOnly(true);
    (new QVBoxLayout(tshLog))->addWidget(memLog);

    pgcTraining->addTab(tshGeneral, "&General");
    pgcTraining->addTab(tshWorkout, "W&orkout");
    pgcTraining->addTab(tshSplits, "Spl&its");
    pgcTraining->addTab(tshStrokeData, "&Stroke data");
    pgcTraining->addTab(tshForceCurves, "&Force curves");
    pgcTraining->addTab(tshLog, "&Log");
    connect(pgcTraining, &QTabWidget::currentChanged, this, [this] {
        if (pgcTraining->currentWidget() == tshSplits) RefreshSplits();
    });

    // The grids' pop-up menu.
    TCopyActions copy = MakeCopyActions(this, [this](int mode) { CopyDataExecute(mode); });
    CopyDataAll = copy.All;
    CopyDataData = copy.Data;
    CopyDataRow = copy.Row;
    pmnGrid = copy.Menu;
    SelectColumns = new QAction("&Select columns", this);
    SelectColumns->setObjectName("SelectColumns");
    connect(SelectColumns, &QAction::triggered, this, [this] { SelectColumnsExecute(); });
    pmnGrid->addSeparator();
    pmnGrid->addAction(SelectColumns);
    for (QTableView* g : {sgdIntervals, sgdSplits, sgdStrokeData, sgdForceCurves}) {
        connect(g, &QWidget::customContextMenuRequested, this, [this, g](const QPoint& p) { GridMenu(g, p); });
        g->installEventFilter(this);
    }
}

QWidget* TfrmTraining::BuildGeneralPage()
{
    auto* page = new QWidget;
    page->setObjectName("tshGeneral");
    auto* grid = new QGridLayout(page);

    gbxRecording = MakeNamedGroup(page, "gbxRecording", "&Recording");
    auto* rec = new QFormLayout(gbxRecording);
    edtTitle = MakeEdit(gbxRecording, "edtTitle");
    edtTitle->setMaxLength(kMaxTextLength);
    cmbName = MakeTextCombo(gbxRecording, "cmbName");
    cmbDescription = MakeTextCombo(gbxRecording, "cmbDescription");
    dtpDate = new QDateEdit(gbxRecording);
    dtpDate->setObjectName("dtpDate");
    dtpDate->setCalendarPopup(true);
    dtpDate->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    dtpTime = new QTimeEdit(gbxRecording);
    dtpTime->setObjectName("dtpTime");
    dtpTime->setDisplayFormat("HH:mm:ss");
    auto* dateTime = new QHBoxLayout;
    dateTime->addWidget(dtpDate);
    dateTime->addWidget(dtpTime);
    cmbType = MakeTextCombo(gbxRecording, "cmbType");
    cmbEvent = MakeTextCombo(gbxRecording, "cmbEvent");
    lblInterface = new QLabel(gbxRecording);
    lblInterface->setObjectName("lblInterface");
    rec->addRow("Title", edtTitle);
    rec->addRow("Name", cmbName);
    rec->addRow("Description", cmbDescription);
    rec->addRow("Date / Time", dateTime);
    rec->addRow("Type", cmbType);
    rec->addRow("Event", cmbEvent);
    rec->addRow(lblInterface);

    gbxNote = MakeNamedGroup(page, "gbxNote", "&Note");
    memNote = new QPlainTextEdit(gbxNote);
    memNote->setObjectName("memNote");
    (new QVBoxLayout(gbxNote))->addWidget(memNote);

    gbxTraining = MakeNamedGroup(page, "gbxTraining", "Training");
    AddLabelRows(gbxTraining, {{"lblTFile", &lblTFile, "File"},
                               {"lblTDateTime", &lblTDateTime, "Date / Time"},
                               {"lblTSize", &lblTSize, "Size"},
                               {"lblTType", &lblTType, "Type"}});

    gbxClient = MakeNamedGroup(page, "gbxClient", "Client");
    AddLabelRows(gbxClient, {{"lblAddress", &lblAddress, "Address"}, {"lblIDStatus", &lblIDStatus, "ID / Status"}});

    gbxChart = MakeNamedGroup(page, "gbxChart", "Chart");
    auto* ch = new QHBoxLayout(gbxChart);
    shpColor = new TPenSample(TPenSample::Fill, gbxChart);
    shpColor->setObjectName("shpColor");
    shpWidth = new TPenSample(TPenSample::Bar, gbxChart);
    shpWidth->setObjectName("shpWidth");
    shpStyle = new TPenSample(TPenSample::Line, gbxChart);
    shpStyle->setObjectName("shpStyle");
    shpInverse = new TPenSample(TPenSample::Line, gbxChart);
    shpInverse->setObjectName("shpInverse");
    btnOptions = new QPushButton("&Options...", gbxChart);
    btnOptions->setObjectName("btnOptions");
    for (auto* s : {shpColor, shpWidth, shpStyle, shpInverse}) ch->addWidget(s);
    ch->addWidget(btnOptions);

    grid->addWidget(gbxRecording, 0, 0, 2, 1);
    grid->addWidget(gbxTraining, 0, 1);
    grid->addWidget(gbxClient, 1, 1);
    grid->addWidget(gbxNote, 2, 0);
    grid->addWidget(gbxChart, 2, 1);

    connect(edtTitle, &QLineEdit::textChanged, this, [this] { TextFieldChanged(edtTitle); });
    for (QComboBox* c : {cmbName, cmbDescription, cmbType, cmbEvent}) {
        connect(c, &QComboBox::editTextChanged, this, [this, c] { TextFieldChanged(c); });
        c->lineEdit()->installEventFilter(this);
        c->installEventFilter(this);
    }
    connect(memNote, &QPlainTextEdit::textChanged, this, [this] { TextFieldChanged(memNote); });
    connect(dtpDate, &QDateEdit::dateChanged, this, [this] { DateChanged(); });
    connect(dtpTime, &QTimeEdit::timeChanged, this, [this] { TimeChanged(); });
    connect(btnOptions, &QPushButton::clicked, this, [this] { btnOptionsClick(); });
    return page;
}

QWidget* TfrmTraining::BuildWorkoutPage()
{
    auto* page = new QWidget;
    page->setObjectName("tshWorkout");
    auto* grid = new QGridLayout(page);

    gbxUser = MakeNamedGroup(page, "gbxUser", "&User");
    auto* u = new QFormLayout(gbxUser);
    edtWeight = MakeEdit(gbxUser, "edtWeight");
    cmbGender = MakeList(gbxUser, "cmbGender", GenderNames(), 1);
    cmbBoat = MakeList(gbxUser, "cmbBoat", BoatNames(), 1);
    cmbSprocket = MakeList(gbxUser, "cmbSprocket", SprocketNames(), 1);
    cmbErgometer = MakeList(gbxUser, "cmbErgometer", ErgometerNames(), 1);
    cmbSessionLimit = MakeList(gbxUser, "cmbSessionLimit", LimitTypeNames());
    edtLimitValue = MakeEdit(gbxUser, "edtLimitValue");
    cmbIntervalBy = MakeList(gbxUser, "cmbIntervalBy", IntervalByNames());
    edtWorkPeriod = MakeEdit(gbxUser, "edtWorkPeriod");
    edtRestPeriod = MakeEdit(gbxUser, "edtRestPeriod");
    edtStartValue = MakeEdit(gbxUser, "edtStartValue");
    edtStepValue = MakeEdit(gbxUser, "edtStepValue");
    edtRestValue = MakeEdit(gbxUser, "edtRestValue");
    cmbDisplay = MakeList(gbxUser, "cmbDisplay", DisplayNames());
    btnReset = new QPushButton("&Reset", gbxUser);
    btnReset->setObjectName("btnReset");
    auto label = [this](const char* name, const char* text) {
        auto* l = new QLabel(text, gbxUser);
        l->setObjectName(name);
        return l;
    };
    lblIntervalBy = label("lblIntervalBy", "Interval by");
    lblWorkPeriod = label("lblWorkPeriod", "Workperiod");
    lblRestPeriod = label("lblRestPeriod", "Restperiod");
    lblStartValue = label("lblStartValue", "Startvalue");
    lblStepValue = label("lblStepValue", "Stepvalue");
    lblRestValue = label("lblRestValue", "Restvalue");
    lblDisplay = label("lblDisplay", "Display");
    u->addRow("Weight", edtWeight);
    u->addRow("Gender", cmbGender);
    u->addRow("Boat", cmbBoat);
    u->addRow("Sprocket", cmbSprocket);
    u->addRow("Ergometer", cmbErgometer);
    u->addRow("Session limit", cmbSessionLimit);
    u->addRow("Limit value", edtLimitValue);
    u->addRow(lblIntervalBy, cmbIntervalBy);
    u->addRow(lblWorkPeriod, edtWorkPeriod);
    u->addRow(lblRestPeriod, edtRestPeriod);
    u->addRow(lblStartValue, edtStartValue);
    u->addRow(lblStepValue, edtStepValue);
    u->addRow(lblRestValue, edtRestValue);
    u->addRow(lblDisplay, cmbDisplay);
    u->addRow(btnReset);
    // Start, step and rest value and the display are not offered.
    for (QWidget* w : std::initializer_list<QWidget*>{edtStartValue, edtStepValue, edtRestValue, cmbDisplay,
                                                      lblStartValue, lblStepValue, lblRestValue, lblDisplay})
        w->setVisible(false);

    const std::pair<QLineEdit*, int> edits[] = {{edtWeight, wetWeight},         {edtLimitValue, wetLimitValue},
                                                {edtWorkPeriod, wetWorkPeriod}, {edtRestPeriod, wetRestPeriod},
                                                {edtStartValue, wetStartValue}, {edtStepValue, wetStepValue},
                                                {edtRestValue, wetRestValue}};
    for (auto [e, tag] : edits) {
        e->setProperty("Tag", tag);
        e->installEventFilter(this);
        connect(e, &QLineEdit::textChanged, this, [this, e = e] { WorkoutChange(e); });
        connect(e, &QLineEdit::returnPressed, this, [this, e = e] { WorkoutExit(e); });
    }
    const std::pair<QComboBox*, int> combos[] = {{cmbGender, wctGender},
                                                 {cmbBoat, wctBoat},
                                                 {cmbSprocket, wctSprocket},
                                                 {cmbErgometer, wctErgometer},
                                                 {cmbSessionLimit, wctSessionLimit},
                                                 {cmbIntervalBy, wctIntervalBy},
                                                 {cmbDisplay, wctDisplay}};
    for (auto [c, tag] : combos) {
        c->setProperty("Tag", tag);
        c->installEventFilter(this);
        connect(c, &QComboBox::currentIndexChanged, this, [this, c = c] { WorkoutChange(c); });
    }
    connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });

    gbxTotals = MakeNamedGroup(page, "gbxTotals", "Totals");
    AddLabelRows(gbxTotals, {{"lblDistance", &lblDistance, Q(TotalParameterShortName(0))},
                             {"lblTime", &lblTime, Q(TotalParameterShortName(1))},
                             {"lblEnergy", &lblEnergy, Q(TotalParameterShortName(2))},
                             {"lblStrokes", &lblStrokes, Q(TotalParameterShortName(4))}});

    gbxAverages = MakeNamedGroup(page, "gbxAverages", "Averages");
    AddLabelRows(gbxAverages, {{"lblPower", &lblPower, Q(TotalParameterShortName(3))},
                               {"lbl500m", &lbl500m, Q(TotalParameterShortName(5))},
                               {"lblStrokerate", &lblStrokerate, Q(TotalParameterShortName(6))},
                               {"lblDRRatio", &lblDRRatio, Q(ParameterShortName(spRecoverRatio))}});
    for (QLabel* l : {lblDistance, lblTime, lblEnergy, lblStrokes, lblPower, lbl500m, lblStrokerate, lblDRRatio}) {
        l->setCursor(Qt::PointingHandCursor);
        l->setToolTip("Click to show the results");
        l->installEventFilter(this);
    }

    gbxOriginal = MakeNamedGroup(page, "gbxOriginal", "Original file");
    AddLabelRows(gbxOriginal, {{"lblOFile", &lblOFile, "File"},
                               {"lblODateTime", &lblODateTime, "Date / Time"},
                               {"lblOSize", &lblOSize, "Size"},
                               {"lblOType", &lblOType, "Type"}});

    gbxIntervals = MakeNamedGroup(page, "gbxIntervals", "Intervals");
    sgdIntervals = MakeDataGrid(gbxIntervals, "sgdIntervals", IntervalModel, 0);
    (new QVBoxLayout(gbxIntervals))->addWidget(sgdIntervals);
    gbxIntervals->setMinimumHeight(90);

    grid->addWidget(gbxUser, 0, 0, 3, 1);
    grid->addWidget(gbxTotals, 0, 1);
    grid->addWidget(gbxAverages, 1, 1);
    grid->addWidget(gbxOriginal, 2, 1);
    grid->addWidget(gbxIntervals, 3, 0, 1, 2);
    grid->setRowStretch(3, 1);
    return page;
}

QWidget* TfrmTraining::BuildSplitsPage()
{
    auto* page = new QWidget;
    page->setObjectName("tshSplits");
    auto* v = new QVBoxLayout(page);
    QHBoxLayout* splitRow = MakeSplitControls(page, rbtStrokes, rbtDistance, rbtTime, cmbSplits);
    edtFactor = MakeEdit(page, "edtFactor");
    splitRow->addWidget(edtFactor);
    splitRow->addStretch();
    v->addLayout(splitRow);
    SplitsBody = new QBoxLayout(QBoxLayout::LeftToRight);
    sgdSplits = MakeDataGrid(page, "sgdSplits", SplitsModel, 0);
    SplitsBody->addWidget(sgdSplits, 1);
    gbxZones = new TZoneBox(true, page);
    SplitsBody->addWidget(gbxZones, 0, Qt::AlignTop);
    v->addLayout(SplitsBody, 1);
    page->installEventFilter(this);
    // 500 m splits unless the rower picks others.
    auto choose = [this](int type) {
        FillingSplits = true;
        cmbSplits->clear();
        for (const std::string& p : SplitPresets(type)) cmbSplits->addItem(QString::fromStdString(p));
        cmbSplits->setCurrentIndex(type == sptDistance ? 3 : SplitPresetIndex(type, -1));
        FillingSplits = false;
        RefreshSplits();
    };
    connect(rbtStrokes, &QRadioButton::toggled, this, [choose](bool on) {
        if (on) choose(sptStrokes);
    });
    connect(rbtDistance, &QRadioButton::toggled, this, [choose](bool on) {
        if (on) choose(sptDistance);
    });
    connect(rbtTime, &QRadioButton::toggled, this, [choose](bool on) {
        if (on) choose(sptTime);
    });
    connect(cmbSplits, &QComboBox::currentIndexChanged, this, [this](int) {
        if (!FillingSplits) RefreshSplits();
    });
    gbxZones->OnZonesChanged = [this] { RefreshSplits(); };
    rbtDistance->setChecked(true);
    return page;
}

int TfrmTraining::SplitType() const
{
    if (rbtStrokes && rbtStrokes->isChecked()) return sptStrokes;
    if (rbtTime && rbtTime->isChecked()) return sptTime;
    return sptDistance;
}

double TfrmTraining::SplitSize() const
{
    const auto& sizes = SplitPresetSizes(SplitType());
    const int i = cmbSplits ? cmbSplits->currentIndex() : -1;
    return i >= 0 && i < int(sizes.size()) ? sizes[size_t(i)] : 0.0;
}

void TfrmTraining::RefreshSplits()
{
    if (!SplitsModel || !gbxZones) return;
    SplitsModel->SetSplits(ComputeSplits(Session, TSplitType(SplitType()), SplitSize()));
    sgdSplits->setColumnWidth(0, 30);
    gbxZones->ShowSession(Session);
}

void TfrmTraining::ArrangeSplitsPage(int pageWidth)
{
    // The splits grid has many columns: on a narrow page the zones go below
    // it, so the grid keeps the page's width; on a wide one they stand beside.
    const bool beside = pageWidth >= 3 * gbxZones->sizeHint().width();
    SplitsBody->setDirection(beside ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    SplitsBody->setAlignment(gbxZones, beside ? Qt::AlignTop : Qt::AlignLeft);
}

void TfrmTraining::FillComboLists()
{
    std::string file = SettingsFile(false);
    if (file.empty()) return;
    TProfileFile ini(file);
    const std::pair<QComboBox*, const char*> lists[] = {
        {cmbName, "Name"}, {cmbDescription, "Description"}, {cmbType, "Type"}, {cmbEvent, "Event"}};
    Refreshing = true;
    for (auto [c, section] : lists) {
        for (const std::string& v : ReadRememberedList(ini, section)) c->addItem(Q(v));
        c->setCurrentIndex(-1);
    }
    Refreshing = false;
}

std::vector<std::string> TfrmTraining::RememberedEntries(const std::string& section) const
{
    QComboBox* c = section == "Name"          ? cmbName
                   : section == "Description" ? cmbDescription
                   : section == "Type"        ? cmbType
                   : section == "Event"       ? cmbEvent
                                              : nullptr;
    std::vector<std::string> items;
    if (!c) return items;
    for (int i = 0; i < c->count(); ++i) items.push_back(S(c->itemText(i)));
    return items;
}

// ---------------------------------------------------------------- refresh

void TfrmTraining::RefreshGeneral()
{
    const bool wasRefreshing = Refreshing;
    Refreshing = true;
    const TTrainingHeader& h = Session.Header;
    TFileGroupTexts f = TrainingFileTexts(h);
    SetText(lblTFile, f.File);
    SetText(lblTDateTime, f.DateTime);
    SetText(lblTSize, f.Size);
    SetText(lblTType, f.Type);

    const std::string title = h.Title.Text();
    if (windowTitle() != Q(title)) setWindowTitle(Q(title));
    SetEditText(edtTitle, title);
    SetComboText(cmbName, h.Name.Text());
    SetComboText(cmbDescription, h.Description.Text());
    SetComboText(cmbType, h.TrainingType.Text());
    SetComboText(cmbEvent, h.Event.Text());
    int y, m, d, hh, nn, ss, ms;
    DecodeDate(h.DateTime, y, m, d);
    DecodeTime(h.DateTime, hh, nn, ss, ms);
    QDate date(y, m, d);
    if (date.isValid() && dtpDate->date() != date) dtpDate->setDate(date);
    QTime time(hh, nn, ss);
    if (time.isValid() && dtpTime->time() != time) dtpTime->setTime(time);
    const QString note = Q(h.Note.Text());
    if (memNote->toPlainText() != note) memNote->setPlainText(note);
    const bool edit = EditAllowed();
    for (QWidget* w : std::initializer_list<QWidget*>{edtTitle, cmbName, cmbDescription, dtpDate, dtpTime, cmbType,
                                                      cmbEvent, memNote})
        w->setEnabled(edit);

    SetText(lblInterface, InterfaceLabelText(Session));
    RefreshChartShapes();
    SetText(lblAddress, ClientAddressText(Session));
    SetText(lblIDStatus, ClientIdStatusText(Session));

    const bool modified = h.Modified == 1;
    for (QGroupBox* g : {gbxTraining, gbxRecording, gbxNote, gbxChart, gbxClient, gbxOriginal, gbxUser, gbxTotals,
                         gbxAverages, gbxIntervals}) {
        QString caption = Q(ModifiedCaption(S(g->property("BaseCaption").toString()), modified));
        if (g->title() != caption) g->setTitle(caption);
    }
    btnOptions->setEnabled(!MainRegistry() || MainRegistry()->ChartOptionsAllowed());
    Refreshing = wasRefreshing;
}

void TfrmTraining::RefreshChartShapes()
{
    const TTrainingHeader& h = Session.Header;
    shpColor->SetPen(h.Color, 1, 0);
    shpWidth->SetPen(h.Color, h.PenWidth, 0);
    shpStyle->SetPen(h.Color, 1, h.PenStyle);
    if (!MainRegistry() || MainRegistry()->CrossMarker()) shpInverse->SetPen(InverseOf(h.Color), h.PenWidth, 0);
    else shpInverse->SetPen(h.Color, 1, 0);
}

void TfrmTraining::RefreshOriginalFile()
{
    TFileGroupTexts o = OriginalFileTexts(Session.Header);
    SetText(lblOFile, o.File);
    SetText(lblODateTime, o.DateTime);
    SetText(lblOSize, o.Size);
    SetText(lblOType, o.Type);
}

void TfrmTraining::ApplyEnabling()
{
    TTrainingEnabling e = TrainingEnabling(Session, EditAllowed());
    btnReset->setEnabled(e.ResetEnabled);
    for (QWidget* w : std::initializer_list<QWidget*>{
             edtWeight, cmbGender, cmbBoat, cmbSprocket, cmbErgometer, cmbSessionLimit, edtLimitValue, cmbIntervalBy,
             edtWorkPeriod, edtRestPeriod, edtStartValue, edtStepValue, edtRestValue, cmbDisplay})
        w->setEnabled(e.WorkoutEnabled);
    for (QWidget* w : std::initializer_list<QWidget*>{cmbIntervalBy, edtWorkPeriod, edtRestPeriod, lblIntervalBy,
                                                      lblWorkPeriod, lblRestPeriod})
        w->setVisible(e.IntervalsVisible);
}

void TfrmTraining::RefreshWorkoutFields()
{
    const bool wasRefreshing = Refreshing;
    Refreshing = true;
    const TTrainingSettings& s = Session.Settings;
    for (QLineEdit* e :
         {edtWeight, edtLimitValue, edtWorkPeriod, edtRestPeriod, edtStartValue, edtStepValue, edtRestValue})
        SetEditText(e, WorkoutEditText(s, TagOf(e)));
    for (QComboBox* c : {cmbGender, cmbBoat, cmbSprocket, cmbErgometer, cmbSessionLimit, cmbIntervalBy, cmbDisplay}) {
        int i = WorkoutComboIndex(s, TagOf(c));
        if (i < 0 || i >= c->count()) i = -1;
        if (c->currentIndex() != i) c->setCurrentIndex(i);
    }
    Refreshing = wasRefreshing;
}

void TfrmTraining::RefreshTotals()
{
    TTotalsTexts t = TotalsTexts(Session);
    SetText(lblDistance, t.Distance);
    SetText(lblTime, t.Time);
    SetText(lblEnergy, t.Energy);
    SetText(lblStrokes, t.Strokes);
    SetText(lblPower, t.Power);
    SetText(lbl500m, t.Time500);
    SetText(lblStrokerate, t.StrokeRate);
    SetText(lblDRRatio, t.DRRatio);
}

void TfrmTraining::RefreshAll()
{
    RefreshGeneral();
    RefreshOriginalFile();
    ApplyEnabling();
    RefreshWorkoutFields();
    RefreshTotals();
    RefreshIntervals();
    // Values of every stroke may depend on what changed (the limit values
    // behind the remaining and projected columns, the sample spacing).
    StrokeModel->RefreshAllRows();
    CurveModel->RefreshHeaders();
    CurveModel->RefreshAllRows();
    RefreshSplits();
}

void TfrmTraining::RefreshIntervals()
{
    gbxIntervals->setVisible(Session.Settings.LimitType == kLimitTypeIntervals);
    IntervalModel->RefreshAllRows();
}

void TfrmTraining::RefreshStrokeData()
{
    StrokeModel->Refresh();
    // While a row runs the splits follow the strokes when they are in view.
    if (pgcTraining->currentWidget() == tshSplits) RefreshSplits();
    // The first stroke makes the session one that can be reset and whose
    // workout is fixed.
    ApplyEnabling();
}

void TfrmTraining::RefreshForceCurves()
{
    CurveModel->RefreshHeaders();
    CurveModel->Refresh();
}

// ---------------------------------------------------------------- settings

void TfrmTraining::LoadSettings(const std::string& settingsFile, int mode)
{
    if (!settingsFile.empty() && FileExists(settingsFile)) {
        TProfileFile ini(settingsFile);
        Bounds.Left = ini.ReadInteger("Training", "Left", Bounds.Left);
        Bounds.Top = ini.ReadInteger("Training", "Top", Bounds.Top);
        Bounds.Width = ini.ReadInteger("Training", "Width", Bounds.Width);
        Bounds.Height = ini.ReadInteger("Training", "Height", Bounds.Height);
        IntColumns = ini.ReadString("Training", "IntColumns", IntColumns);
    }
    if (mode >= wpmStoredBounds && mode <= wpmMaximised) PlaceWindow(mode, Bounds);
    ApplyColumnWidthsTo(sgdIntervals, IntColumns);
}

void TfrmTraining::SaveSettings()
{
    Bounds = Placement();
    IntColumns = ColumnWidthsOf(sgdIntervals);
    std::string file = SettingsFile(true);
    if (file.empty() || !IsWritable(file)) return;
    TProfileFile ini(file);
    ini.WriteInteger("Training", "Left", Bounds.Left);
    ini.WriteInteger("Training", "Top", Bounds.Top);
    ini.WriteInteger("Training", "Width", Bounds.Width);
    ini.WriteInteger("Training", "Height", Bounds.Height);
    ini.WriteString("Training", "IntColumns", IntColumns);
    WriteRememberedList(ini, "Name", RememberedEntries("Name"));
    WriteRememberedList(ini, "Description", RememberedEntries("Description"));
    WriteRememberedList(ini, "Type", RememberedEntries("Type"));
    WriteRememberedList(ini, "Event", RememberedEntries("Event"));
    ini.UpdateFile();
}

void TfrmTraining::SetAppearance(const TAppearance& appearance)
{
    TMDIChild::SetAppearance(appearance);
    for (QTableView* g : {sgdIntervals, sgdSplits, sgdStrokeData, sgdForceCurves}) {
        const int w0 = g->columnWidth(0);
        g->setFont(appearance.Font);
        SetupGridView(g, g == sgdForceCurves ? 30 : 0);
        g->setColumnWidth(0, w0 > 0 ? w0 : 30);
    }
}

// ---------------------------------------------------------------- saving

bool TfrmTraining::SaveAs(const std::string& path)
{
    std::string target = path;
    TMainRegistry* reg = MainRegistry();
    const std::string lastFolder = reg ? reg->LastDir() : std::string();
    TWriteResult result = TWriteResult::Failed;
    bool ok = false;
    // A save that cannot be written where asked (a full disk, a read-only
    // folder) is offered a place where it can be.
    Announce([&] { ok = Sessions.Save(Id, target, lastFolder, &result, true); });
    if (ok) {
        if (reg) {
            reg->AddRecentFile(target);
            reg->CountFileSaved();
            reg->SetLastDir(ExtractFilePath(DefaultFileName(Session)));
        }
    } else if (result == TWriteResult::NothingToDo) {
        ShowErrorBox(NothingSavedText(Session.Header.Title.Text(), path));
    }
    RefreshAll();
    return ok;
}

void TfrmTraining::FileSave() { SaveAs(DefaultFileName(Session)); }

void TfrmTraining::FileSaveAs() { SaveAs(std::string()); }

// ---------------------------------------------------------------- editing

void TfrmTraining::SetModified()
{
    Announce([this] { Sessions.SetModified(Id, true); });
}

int TfrmTraining::TagOf(QWidget* control) const { return control ? control->property("Tag").toInt() : 0; }

bool TfrmTraining::IsWorkoutControl(QWidget* w) const
{
    return w && w->property("Tag").isValid() && w->parentWidget() == gbxUser;
}

void TfrmTraining::TakeFocusAway()
{
    // Focus goes to the page control so that the refused control cannot be typed into.
    pgcTraining->setFocus(Qt::OtherFocusReason);
}

void TfrmTraining::AfterConfirmedReset(bool refresh)
{
    // The row engine recording the session starts over, the chart windows
    // rebuild; the recording's journal goes with the data the user threw away.
    Announce([this] { Sessions.NotifyReset(Id); });
    if (refresh) RefreshAll();
}

bool TfrmTraining::SaveSession() { return SaveAs(DefaultFileName(Session)); }

void TfrmTraining::WorkoutEnter(QWidget* control)
{
    if (!IsWorkoutControl(control) || Applying) return;
    TConfirmResult r = ConfirmReset(Session, 0, [this] { return SaveSession(); });
    if (!r.Proceed) {
        if (qobject_cast<QComboBox*>(control)) SkipLeave = control;
        if (control->hasFocus()) TakeFocusAway();
        return;
    }
    if (r.WasReset) AfterConfirmedReset(true);
}

void TfrmTraining::WorkoutChange(QWidget* control)
{
    if (Refreshing || Applying || !IsWorkoutControl(control)) return;
    if (auto* e = qobject_cast<QLineEdit*>(control); e && e->text().isEmpty()) return;
    // A save offered by the question refreshes the controls: the value the
    // user chose is put back before it is applied.
    auto* edit = qobject_cast<QLineEdit*>(control);
    auto* combo = qobject_cast<QComboBox*>(control);
    const QString chosenText = edit ? edit->text() : QString();
    const int chosenIndex = combo ? combo->currentIndex() : -1;
    TConfirmResult r = ConfirmReset(Session, 0, [&] {
        const bool saved = SaveSession();
        const bool wasRefreshing = Refreshing;
        Refreshing = true;
        if (edit) edit->setText(chosenText);
        if (combo) combo->setCurrentIndex(chosenIndex);
        Refreshing = wasRefreshing;
        return saved;
    });
    if (!r.Proceed) {
        // The session keeps its value, so the control shows it again.
        RestoreWorkoutControl(control);
        return;
    }
    if (r.WasReset) {
        // The new value is applied first so that the refresh does not
        // replace what the user typed.
        AfterConfirmedReset(false);
        ApplyWorkoutValue(control);
        RefreshAll();
        return;
    }
    ApplyWorkoutValue(control);
}

void TfrmTraining::WorkoutExit(QWidget* control)
{
    if (!IsWorkoutControl(control) || Applying) return;
    if (SkipLeave == control) {
        SkipLeave = nullptr;
        return;
    }
    ApplyWorkoutValue(control);
}

void TfrmTraining::RestoreWorkoutControl(QWidget* control)
{
    const bool wasRefreshing = Refreshing;
    Refreshing = true;
    if (auto* e = qobject_cast<QLineEdit*>(control)) e->setText(Q(WorkoutEditText(Session.Settings, TagOf(e))));
    else if (auto* c = qobject_cast<QComboBox*>(control))
        c->setCurrentIndex(WorkoutComboIndex(Session.Settings, TagOf(c)));
    Refreshing = wasRefreshing;
}

void TfrmTraining::ApplyWorkoutValue(QWidget* control)
{
    if (Applying) return;
    Applying = true;
    TWorkoutApplyResult r;
    const bool isCombo = qobject_cast<QComboBox*>(control) != nullptr;
    if (auto* e = qobject_cast<QLineEdit*>(control)) r = ApplyWorkoutEdit(Session.Settings, TagOf(e), S(e->text()));
    else if (auto* c = qobject_cast<QComboBox*>(control))
        r = ApplyWorkoutCombo(Session.Settings, TagOf(c), c->currentIndex());
    if (!r.Accepted) {
        ShowErrorBox(r.Error);
        Applying = false;
        return;
    }
    if (r.Changed) {
        SetModified();
        Announce([this] { Sessions.NotifyWorkoutChanged(Id); });
    }
    if (isCombo) RefreshAll();
    else RefreshGeneral();
    Applying = false;
}

void TfrmTraining::TextFieldChanged(QWidget* control)
{
    if (Refreshing) return;
    TTrainingHeader& h = Session.Header;
    TShortString<255>* field = nullptr;
    QString text;
    if (control == edtTitle) {
        field = &h.Title;
        text = edtTitle->text();
    } else if (control == memNote) {
        field = &h.Note;
        text = memNote->toPlainText();
        if (text.size() > kMaxTextLength) {
            // The note holds as much as the other text fields.
            text.truncate(kMaxTextLength);
            const bool wasRefreshing = Refreshing;
            Refreshing = true;
            memNote->setPlainText(text);
            memNote->moveCursor(QTextCursor::End);
            Refreshing = wasRefreshing;
        }
    } else if (auto* c = qobject_cast<QComboBox*>(control)) {
        text = c->currentText();
        field = c == cmbName          ? &h.Name
                : c == cmbDescription ? &h.Description
                : c == cmbType        ? &h.TrainingType
                                      : &h.Event;
    }
    if (!field) return;
    std::string value = S(text.left(255));
    if (field->Text() == value) return;
    field->SetText(value);
    SetModified();
    RefreshGeneral();
    Announce([this] { Sessions.NotifyHeaderChanged(Id); });
}

void TfrmTraining::DateChanged()
{
    if (Refreshing) return;
    QDate d = dtpDate->date();
    double days = EncodeDate(d.year(), d.month(), d.day());
    // A damaged stored value keeps no time of day.
    double old = std::isfinite(Session.Header.DateTime) ? Session.Header.DateTime : 0.0;
    double oldDay = std::trunc(old);
    if (days == oldDay) return;
    Session.Header.DateTime = days + (old - oldDay);
    SetModified();
    RefreshGeneral();
    Announce([this] { Sessions.NotifyHeaderChanged(Id); });
}

void TfrmTraining::TimeChanged()
{
    if (Refreshing) return;
    QTime t = dtpTime->time();
    // A damaged stored value keeps no day.
    double old = std::isfinite(Session.Header.DateTime) ? Session.Header.DateTime : 0.0;
    double day = std::trunc(old);
    double fraction = EncodeTime(t.hour(), t.minute(), t.second(), 0);
    int hh, nn, ss, ms;
    DecodeTime(old, hh, nn, ss, ms);
    if (hh == t.hour() && nn == t.minute() && ss == t.second()) return;
    Session.Header.DateTime = day + fraction;
    SetModified();
    RefreshGeneral();
    Announce([this] { Sessions.NotifyHeaderChanged(Id); });
}

void TfrmTraining::RememberComboText(QComboBox* combo)
{
    const QString text = combo->currentText();
    if (text.isEmpty() || combo->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive) >= 0) return;
    const bool wasRefreshing = Refreshing;
    Refreshing = true;
    combo->addItem(text);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
    Refreshing = wasRefreshing;
}

void TfrmTraining::btnResetClick()
{
    TConfirmResult r = ConfirmReset(Session, 2, [this] { return SaveSession(); });
    if (!r.Proceed) return;
    // The store empties the session and tells the row engine recording it
    // and the chart windows; the session stays a user profile.
    Announce([this] { Sessions.ResetSession(Id); });
    Session.Header.ContentKind = ckUser;
    RefreshAll();
}

void TfrmTraining::btnOptionsClick()
{
    EditChartOptions(Session);
    SetModified();
    Announce([this] { Sessions.NotifyHeaderChanged(Id); });
    RefreshGeneral();
}

void TfrmTraining::TotalsClick() { ShowResultsModal(Session); }

// ---------------------------------------------------------------- grids

QTableView* TfrmTraining::ActiveGrid() const
{
    for (QTableView* g : {sgdIntervals, sgdSplits, sgdStrokeData, sgdForceCurves})
        if (g->hasFocus()) return g;
    if (LastGrid) return LastGrid;
    QWidget* page = pgcTraining->currentWidget();
    if (page == tshStrokeData) return sgdStrokeData;
    if (page == tshForceCurves) return sgdForceCurves;
    if (page == tshSplits) return sgdSplits;
    return sgdIntervals;
}

void TfrmTraining::CopyDataExecute(int mode)
{
    if (QTableView* g = ActiveGrid()) CopyGrid(g, mode);
}

void TfrmTraining::SelectColumnsExecute()
{
    QTableView* g = ActiveGrid();
    if (g) ::SelectColumns(g);
}

void TfrmTraining::GridMenu(QTableView* grid, const QPoint& pos)
{
    LastGrid = grid;
    pmnGrid->popup(grid->viewport()->mapToGlobal(pos));
}

// ---------------------------------------------------------------- events

bool TfrmTraining::eventFilter(QObject* watched, QEvent* event)
{
    auto* w = qobject_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::Resize:
        if (w && w->objectName() == "tshSplits") ArrangeSplitsPage(w->width());
        break;
    case QEvent::FocusIn: {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Focus that comes back after a dialog or a pop-up is no new entry.
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
        if (auto* g = qobject_cast<QTableView*>(w)) LastGrid = g;
        if (IsWorkoutControl(w)) WorkoutEnter(w);
        break;
    }
    case QEvent::FocusOut: {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
        if (IsWorkoutControl(w)) WorkoutExit(w);
        for (QComboBox* c : {cmbName, cmbDescription, cmbType, cmbEvent})
            if (w == c || w == c->lineEdit()) RememberComboText(c);
        break;
    }
    case QEvent::MouseButtonRelease:
        for (QLabel* l : {lblDistance, lblTime, lblEnergy, lblStrokes, lblPower, lbl500m, lblStrokerate, lblDRRatio})
            if (w == l) {
                TotalsClick();
                return true;
            }
        break;
    default: break;
    }
    return TMDIChild::eventFilter(watched, event);
}

void TfrmTraining::showEvent(QShowEvent* event)
{
    TMDIChild::showEvent(event);
    ApplyEnabling();
}

bool TfrmTraining::CloseQuery()
{
    if (Session.Header.Modified != 1) return true;
    if (HasUnsavedStrokes(Session)) {
        // Recorded strokes would be lost: offer to save them.
        std::string text = Format(
            "Training session \"%s\" is modified and its recorded strokes are not saved.\r"
            "Save it before closing?",
            Session.Header.Title.Text().c_str());
        switch (Dialogs().MessageBox(TMsgKind::Confirmation, text, mbSaveDiscardCancel, TMsgResult::Save)) {
        case TMsgResult::Save: return SaveSession();
        case TMsgResult::Discard: return true;
        default: return false;
        }
    }
    std::string text =
        Format("Training session \"%s\" is modified. Close anyway? %s", Session.Header.Title.Text().c_str(), "");
    return Dialogs().MessageBox(TMsgKind::Confirmation, text, mbOKCancel, TMsgResult::Cancel) == TMsgResult::OK;
}

void TfrmTraining::FormClose()
{
    Session.RowStatus = rsDisconnected;
    SaveSettings();
    // The session closes with its window: the row window recording it and
    // the chart windows follow the store.
    Sessions.Remove(Id);
}
