#include "row/row_window.h"

#include <QAction>
#include <QActionGroup>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/catalogue.h"
#include "core/series.h"
#include "core/values.h"
#include "logic/session_store.h"
#include "row/message_window.h"
#include "row/row_chart.h"
#if __has_include("row/connect_dialog.h")
#include "row/connect_dialog.h"
#define CATCHLINE_HAVE_CONNECT_DIALOG 1
#endif
#include "framework/status_bar.h"
#include "logic/value_data.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "valuearea/value_area.h"

namespace {

const char* const kSection = "Row";
const char* const kBottomDefault = "0.1 0.6 0.7 0.3 1.2 1.12 1.9 1.5";
const char* const kRightDefault = "0.0 1.5 2.7 3.11";
const char* const kAreaHint = "(right-click for options)";
constexpr int kPanelWidths[6] = {90, 50, 30, 30, 0, 100};

QString Q(const std::string& s) { return QString::fromStdString(s); }

void SetHint(QAction* a, const QString& hint)
{
    // "Short|Long": the short part is the tool tip, the long part the status text.
    const int bar = hint.indexOf('|');
    a->setToolTip(bar >= 0 ? hint.left(bar) : hint);
    a->setStatusTip(bar >= 0 ? hint.mid(bar + 1) : hint);
}

std::string ProgramSettingsForReading() { return ProgramServices().SettingsFileForReading(); }

std::string ProgramSettingsForWriting() { return ProgramServices().SettingsFileForWriting(); }

}  // namespace

// ---- creation -------------------------------------------------------------------------

TfrmRow::TfrmRow(TSessionStore& store, int32_t sessionId, QWidget* parent)
    : TMDIChild(parent), Sessions(store), FSessionId(sessionId)
{
    setObjectName("frmRow");
    setAttribute(Qt::WA_DeleteOnClose, false);
    // The engine follows resets and changes of its session in the store itself.
    FEngine = MakeRowEngine(store, sessionId, *this, ProgramServices());
    // Closed from inside a question or a wait of the engine, the window stays
    // until that handler has returned (Busy); then its frame goes.
    FEngine->InUse.OnIdle = [this] { BusyEnded(); };
    SetCaption("Row");
    if (TMainRegistry* r = MainRegistry()) DesignedColor = r->DialogColor();
    BuildControls();
    BuildMenus();
    // The session closed (its training window closed): the row window goes too,
    // unless the program is closing every window anyway.
    connect(&store, &TSessionStore::SessionRemoved, this, [this](int32_t id) {
        if (MainRegistry() && MainRegistry()->MainClosing()) return;
        CloseForSession(id);
    });
    FEngine->UpdateButtonCaption();
    ButtonChanged();
}

TfrmRow::~TfrmRow()
{
    Destroying = true;
    if (FEngine) FEngine->InUse.OnIdle = nullptr;
    if (FEngine) FEngine->Shutdown();
    DestroyAreas();
    FLeft.reset();
    FRight.reset();
    FEngine.reset();
}

void TfrmRow::BuildControls()
{
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);

    pgcRow = new QTabWidget(this);
    pgcRow->setObjectName("pgcRow");
    pgcRow->tabBar()->hide();  // the pages are switched from the status bar
    pgcRow->setDocumentMode(true);
    lblHeartNote = new QLabel(this);
    lblHeartNote->setObjectName("lblHeartNote");
    lblHeartNote->setWordWrap(true);
    lblHeartNote->setStyleSheet("QLabel { background: #fff4c2; color: black; padding: 4px; }");
    lblHeartNote->hide();
    main->addWidget(lblHeartNote);
    main->addWidget(pgcRow, 1);

    tshLog = new QWidget;
    tshLog->setObjectName("tshLog");
    auto* logLayout = new QVBoxLayout(tshLog);
    logLayout->setContentsMargins(0, 0, 0, 0);
    memLog = new QPlainTextEdit(tshLog);
    memLog->setObjectName("memLog");
    memLog->setReadOnly(true);
    memLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    memLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont courier("Courier New");
    courier.setStyleHint(QFont::Monospace);
    memLog->setFont(courier);
    logLayout->addWidget(memLog);
    pgcRow->addTab(tshLog, "Log");

    tshAction = new QWidget;
    tshAction->setObjectName("tshAction");
    pgcRow->addTab(tshAction, "Action");
    // The third page of the layout has no function and is never shown.
    tshText = new QWidget(this);
    tshText->setObjectName("tshText");
    tshText->hide();

    auto* actionLayout = new QVBoxLayout(tshAction);
    actionLayout->setContentsMargins(0, 0, 0, 0);
    splBottom = new QSplitter(Qt::Vertical, tshAction);
    splBottom->setObjectName("splBottom");
    splBottom->setToolTip("Vertical splitter");
    splBottom->setStatusTip("Vertical splitter (drag to resize)");
    splBottom->setChildrenCollapsible(false);
    splBottom->setHandleWidth(4);
    actionLayout->addWidget(splBottom);

    pnlTop = new QWidget;
    pnlTop->setObjectName("pnlTop");
    auto* topLayout = new QHBoxLayout(pnlTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    splRight = new QSplitter(Qt::Horizontal, pnlTop);
    splRight->setObjectName("splRight");
    splRight->setToolTip("Horizontal splitter");
    splRight->setStatusTip("Horizontal splitter (drag to resize)");
    splRight->setChildrenCollapsible(false);
    splRight->setHandleWidth(4);
    topLayout->addWidget(splRight);
    splBottom->addWidget(pnlTop);
    splBottom->setStretchFactor(0, 1);

    pnlCharts = new QWidget;
    pnlCharts->setObjectName("pnlCharts");
    auto* chartsLayout = new QHBoxLayout(pnlCharts);
    chartsLayout->setContentsMargins(4, 4, 4, 4);
    chartsLayout->setSpacing(0);
    pnlChartLeft = new QWidget(pnlCharts);
    pnlChartLeft->setObjectName("pnlChartLeft");
    pnlChartLeft->setMinimumSize(100, 100);
    pnlChartLeft->installEventFilter(this);
    lblNoForceCurve = new QLabel("The rowing machine sends no force curve.", pnlChartLeft);
    lblNoForceCurve->setObjectName("lblNoForceCurve");
    lblNoForceCurve->setWordWrap(true);
    lblNoForceCurve->setAlignment(Qt::AlignCenter);
    lblNoForceCurve->setStyleSheet(
        "QLabel { background: rgba(255, 255, 225, 230); color: black; border: 1px solid gray; padding: 6px; }");
    lblNoForceCurve->hide();
    pnlChartRight = new QWidget(pnlCharts);
    pnlChartRight->setObjectName("pnlChartRight");
    pnlChartRight->setMinimumSize(100, 100);
    auto* rightLayout = new QVBoxLayout(pnlChartRight);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    chartsLayout->addWidget(pnlChartLeft, 1);
    chartsLayout->addWidget(pnlChartRight, 1);
    pnlCharts->installEventFilter(this);
    splRight->addWidget(pnlCharts);
    // The way to start, over the charts of a window that has not rowed yet.
    auto* hint = new QLabel(pnlCharts);
    hint->setObjectName("lblStartHint");
    hint->setText(
        "To start rowing, click [Connect] at the bottom left of this window.\n"
        "No rowing machine at hand? Choose DEMO as the source, click [Test], then [OK].");
    hint->setAlignment(Qt::AlignCenter);
    hint->setWordWrap(true);
    QFont hintFont = hint->font();
    hintFont.setPointSizeF(hintFont.pointSizeF() * 1.5);
    hintFont.setBold(true);
    hint->setFont(hintFont);
    // A note box of its own, so that the text does not run into the charts' axis titles.
    hint->setStyleSheet(
        "QLabel { background: rgba(255, 255, 225, 240); color: black; border: 1px solid gray; padding: 10px; }");
    hint->setAttribute(Qt::WA_TransparentForMouseEvents);
    hint->hide();
    // The chart menus belong to the panels, so they stay when a chart is
    // emptied; the charts pass a right click on to their panel.
    pnlChartLeft->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pnlChartLeft, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popLeft->exec(pnlChartLeft->mapToGlobal(pos)); });
    pnlChartRight->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pnlChartRight, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popRight->exec(pnlChartRight->mapToGlobal(pos)); });
    splRight->setStretchFactor(0, 1);

    connect(splRight, &QSplitter::splitterMoved, this, [this](int, int) {
        if (!FRightArea) return;
        const int width = splRight->sizes().value(0);
        if (width == AcceptedChartWidth) return;
        if (!SetChartPanelWidth(width) && AcceptedChartWidth > 0) SetChartPanelWidth(AcceptedChartWidth);
    });
    connect(splBottom, &QSplitter::splitterMoved, this, [this](int, int) {
        if (!FBottomArea) return;
        const int height = splBottom->sizes().value(1);
        if (height == AcceptedBottomHeight) return;
        if (!SetBottomAreaHeight(height) && AcceptedBottomHeight > 0) SetBottomAreaHeight(AcceptedBottomHeight);
    });

    StatusBar = new TStatusPanelBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setSizeGripEnabled(false);
    for (int i = 0; i < 6; ++i) {
        TStatusPanel& p = StatusBar->AddPanel();
        p.Width = kPanelWidths[i];
        p.OwnerDraw = i > 0;
        p.Alignment = Qt::AlignCenter;
    }
    StatusBar->DrawPanel = [this](QPainter& painter, int index, const QRect& rect) { DrawPanel(painter, index, rect); };
    connect(StatusBar, &TStatusPanelBar::Resized, this, [this] {
        LayoutStatusPanels();
        PlaceButton();
    });
    connect(StatusBar, &TStatusPanelBar::PanelClick, this, [this](int x, int) {
        if (btnConnect && btnConnect->geometry().contains(x, btnConnect->y() + 1)) return;
        pgcRow->setCurrentWidget(pgcRow->currentWidget() == tshAction ? tshLog : tshAction);
    });
    main->addWidget(StatusBar);

    btnConnect = new QPushButton("&Connect", StatusBar);
    btnConnect->setObjectName("btnConnect");
    connect(btnConnect, &QPushButton::clicked, this, [this] { FEngine->BtnConnectClick(); });
    PlaceButton();

    tmrUpdateAreas = new QTimer(this);
    tmrUpdateAreas->setObjectName("tmrUpdateAreas");
    tmrUpdateAreas->setInterval(1000);
    connect(tmrUpdateAreas, &QTimer::timeout, this, [this] {
        if (FValues) FValues->RefreshValues();
    });
    tmrUpdateAreas->start();
    tmrLiveCurve = new QTimer(this);
    tmrLiveCurve->setObjectName("tmrLiveCurve");
    tmrLiveCurve->setSingleShot(true);
    connect(tmrLiveCurve, &QTimer::timeout, this, [this] { ResumeLeftChartPainting(false); });
    tmrTurn = new QTimer(this);
    tmrTurn->setObjectName("tmrTurn");
    tmrTurn->setSingleShot(true);
    connect(tmrTurn, &QTimer::timeout, this, [this] {
        FTurnPainted.start();
        StatusBar->update(StatusBar->PanelRect(rpTurn));
    });

    pgcRow->setCurrentWidget(tshAction);
    QPalette pal = palette();
    if (DesignedColor.isValid()) pal.setColor(QPalette::Window, DesignedColor);
    setPalette(pal);
    setAutoFillBackground(true);
}

void TfrmRow::BuildMenus()
{
    popLeft = new QMenu(this);
    popLeft->setObjectName("popLeft");
    auto* leftGroup = new QActionGroup(popLeft);
    actLeftEmpty = popLeft->addAction("&Empty");
    actLeftEmpty->setObjectName("actLeftEmpty");
    SetHint(actLeftEmpty, "Empty|Don't show force curve(s)");
    actLeftEmpty->setData(-1);
    popLeft->addSeparator();
    actLeftForce = popLeft->addAction("&Force curve");
    actLeftForce->setObjectName("actLeftForce");
    SetHint(actLeftForce, "Force curve|Show current force curve");
    actLeftForce->setData(0);
    for (QAction* a : {actLeftEmpty, actLeftForce}) {
        a->setCheckable(true);
        leftGroup->addAction(a);
    }
    actLeftReference = popLeft->addAction("&Reference curve");
    actLeftReference->setObjectName("actLeftReference");
    SetHint(actLeftReference, "Reference curve|Show reference curve(s)");
    actLeftReference->setData(-10);
    actLeftPrevious = popLeft->addAction("&Previous curve");
    actLeftPrevious->setObjectName("actLeftPrevious");
    SetHint(actLeftPrevious, "Previous curve|Show previous force curve in inverse colour");
    actLeftPrevious->setData(-11);
    for (QAction* a : {actLeftReference, actLeftPrevious}) a->setCheckable(true);
    // Qt toggles the check mark before triggered(); the handlers read it.
    connect(actLeftEmpty, &QAction::triggered, this, [this] { LeftMenuClick(actLeftEmpty, -1); });
    connect(actLeftForce, &QAction::triggered, this, [this] { LeftMenuClick(actLeftForce, 0); });
    connect(actLeftReference, &QAction::triggered, this, [this] { LeftMenuClick(actLeftReference, -10); });
    connect(actLeftPrevious, &QAction::triggered, this, [this] { LeftMenuClick(actLeftPrevious, -11); });
    connect(popLeft, &QMenu::aboutToShow, this, [this] { CheckLeftMenu(); });

    popRight = new QMenu(this);
    popRight->setObjectName("popRight");
    auto* rightGroup = new QActionGroup(popRight);
    actRightEmpty = popRight->addAction("&Empty");
    actRightEmpty->setObjectName("actRightEmpty");
    actRightEmpty->setData(-1);
    actRightStrokeData = popRight->addAction("&Stroke data");
    actRightStrokeData->setObjectName("actRightStrokeData");
    actRightStrokeData->setData(-2);
    for (QAction* a : {actRightEmpty, actRightStrokeData}) {
        a->setCheckable(true);
        rightGroup->addAction(a);
        const int tag = a->data().toInt();
        connect(a, &QAction::triggered, this, [this, tag] {
            RightIndex = tag;
            RebuildRightChart();
        });
    }
    actVideo = popRight->addAction("&Video");
    actVideo->setObjectName("actVideo");
    actVideo->setData(-3);
    actVideo->setVisible(false);
    popRight->addSeparator();
    mnuX = popRight->addMenu("&X-Axis");
    mnuX->setObjectName("mnuX");
    mnuY = popRight->addMenu("&Y-Axis");
    mnuY->setObjectName("mnuY");
    mnuZ = popRight->addMenu("&Z-Axis");
    mnuZ->setObjectName("mnuZ");
    QMenu* menus[3] = {mnuX, mnuY, mnuZ};
    for (int axis = 0; axis < 3; ++axis) {
        auto* group = new QActionGroup(menus[axis]);
        auto addItem = [&](const QString& caption, const QString& hint, int tag) {
            QAction* a = menus[axis]->addAction(caption);
            a->setToolTip(hint);
            a->setStatusTip(hint);
            a->setData(tag);
            a->setCheckable(true);
            group->addAction(a);
            connect(a, &QAction::triggered, this, [this, axis, tag] { RightAxisChoice(axis, tag); });
        };
        if (axis > 0) addItem("Empty", "Empty", -1);
        for (int32_t position : StrokeIdMap())
            addItem(Q(ParameterShortName(position)), Q(StrokeLongCaption(position)), position);
    }
    connect(popRight, &QMenu::aboutToShow, this, [this] { CheckRightMenu(); });
}

void TfrmRow::LeftMenuClick(QAction* action, int tag)
{
    switch (tag) {
    case -1: LeftIndex = -1; break;
    case 0: LeftIndex = 0; break;
    case -10:
        LeftIndex = 0;
        LeftReference = action->isChecked();
        break;
    case -11:
        LeftIndex = 0;
        LeftPrevious = action->isChecked();
        break;
    default: break;
    }
    RebuildLeftChart();
}

void TfrmRow::CheckLeftMenu()
{
    actLeftEmpty->setChecked(LeftIndex == -1);
    actLeftForce->setChecked(LeftIndex == 0);
    actLeftReference->setChecked(LeftReference);
    actLeftPrevious->setChecked(LeftPrevious);
}

void TfrmRow::RightAxisChoice(int axis, int tag)
{
    if (axis == 0) RightX = tag;
    if (axis == 1) RightY = tag;
    if (axis == 2) RightZ = tag;
    RightIndex = -2;
    RebuildRightChart();
}

void TfrmRow::CheckRightMenu()
{
    for (QAction* a : {actRightEmpty, actRightStrokeData}) a->setChecked(a->data().toInt() == RightIndex);
    const int values[3] = {RightX, RightY, RightZ};
    QMenu* menus[3] = {mnuX, mnuY, mnuZ};
    for (int axis = 0; axis < 3; ++axis)
        for (QAction* a : menus[axis]->actions())
            if (a->isCheckable() && a->data().toInt() == values[axis]) {
                a->setChecked(true);
                break;  // the slot without a parameter repeats position 0: check its first item
            }
}

TfrmRow* CreateRowWindow(TMDIMain* frame, TSessionStore& store, int32_t sessionId)
{
    auto* row = new TfrmRow(store, sessionId);
    if (frame) frame->AddChild(row);
    TMainRegistry* registry = MainRegistry();
    row->LoadSettings(ProgramSettingsForReading(), registry ? registry->WindowPlacement() : int(wpmStoredBounds));
    if (registry) row->SetAppearance(registry->Appearance());
    row->ShowChild();
    return row;
}

// ---- settings ---------------------------------------------------------------------------

void TfrmRow::LoadSettings(const std::string& settingsFile, int mode)
{
    if (SameText(ExpandFileName(settingsFile), ExpandFileName(ProgramSettingsForReading()))) {
        LeftChart = true;
        RightChart = true;
        RightValues = false;
        WidthRightValues = 300;
        BottomValues = true;
        HeightBottomValues = 200;
        LeftIndex = 0;
        LeftReference = true;
        LeftPrevious = true;
        RightIndex = -2;
        RightX = 0;
        RightY = 1;
        RightZ = 12;
    }
    TRowEngine& e = *FEngine;
    e.Inertia = 8800;
    e.StrokeTrigger = 0;
    e.Tension = 0;
    e.ThresHold = 5;
    e.DemoFast = true;
    if (FileExists(settingsFile)) {
        TProfileFile ini(settingsFile);
        Bounds.Left = ini.ReadInteger(kSection, "Left", Bounds.Left);
        Bounds.Top = ini.ReadInteger(kSection, "Top", Bounds.Top);
        Bounds.Width = ini.ReadInteger(kSection, "Width", Bounds.Width);
        Bounds.Height = ini.ReadInteger(kSection, "Height", Bounds.Height);
        LeftChart = ini.ReadBool(kSection, "LeftChart", LeftChart);
        RightChart = ini.ReadBool(kSection, "RightChart", RightChart);
        RightValues = ini.ReadBool(kSection, "RightValues", RightValues);
        if (RightValues) WidthRightValues = ini.ReadInteger(kSection, "WidthRightValues", WidthRightValues);
        BottomValues = ini.ReadBool(kSection, "BottomValues", BottomValues);
        if (BottomValues) HeightBottomValues = ini.ReadInteger(kSection, "HeightBottomValues", HeightBottomValues);
        LeftIndex = ini.ReadInteger(kSection, "LeftIndex", LeftIndex);
        LeftReference = ini.ReadBool(kSection, "LeftReference", LeftReference);
        LeftPrevious = ini.ReadBool(kSection, "LeftPrevious", LeftPrevious);
        RightIndex = ini.ReadInteger(kSection, "RightIndex", RightIndex);
        RightX = ini.ReadInteger(kSection, "RightX", RightX);
        RightY = ini.ReadInteger(kSection, "RightY", RightY);
        RightZ = ini.ReadInteger(kSection, "RightZ", RightZ);
        e.Inertia = ini.ReadInteger(kSection, "Inertia", e.Inertia);
        e.StrokeTrigger = ini.ReadInteger(kSection, "StrokeTrigger", e.StrokeTrigger);
        e.Tension = ini.ReadInteger(kSection, "Tension", e.Tension);
        e.ThresHold = ini.ReadInteger(kSection, "ThresHold", e.ThresHold);
        e.DemoFast = ini.ReadBool(kSection, "DemoFast", e.DemoFast);
    }
    if (DemoRealPace()) e.DemoFast = false;
    // Parameters outside the catalogue would index nothing: back to the defaults.
    if (RightX < 0 || RightX >= kStrokeParameterCount) RightX = 0;
    if (RightY < -1 || RightY >= kStrokeParameterCount) RightY = 1;
    if (RightZ < -1 || RightZ >= kStrokeParameterCount) RightZ = 12;
    if (LeftIndex != 0) LeftIndex = LeftIndex < 0 ? -1 : 0;
    if (RightIndex != -2) RightIndex = -1;
    if (SubWindow()) PlaceWindow(mode, Bounds);
    RebuildLeftChart();
    RebuildRightChart();
    ApplyLayout();
    for (TValueArea* a : {FBottomArea, FRightArea})
        if (a) a->LoadItems(settingsFile);
}

void TfrmRow::SaveSettings(const std::string& settingsFile)
{
    if (SubWindow()) Bounds = Placement();
    if (!settingsFile.empty() && IsWritable(settingsFile)) {
        TProfileFile ini(settingsFile);
        ini.WriteInteger(kSection, "Left", Bounds.Left);
        ini.WriteInteger(kSection, "Top", Bounds.Top);
        ini.WriteInteger(kSection, "Width", Bounds.Width);
        ini.WriteInteger(kSection, "Height", Bounds.Height);
        ini.WriteBool(kSection, "LeftChart", LeftChart);
        ini.WriteBool(kSection, "RightChart", RightChart);
        ini.WriteBool(kSection, "RightValues", RightValues);
        if (RightValues) {
            const int width =
                FRightArea && pnlCharts->isVisible() ? tshAction->width() - ChartPanelWidth() : WidthRightValues;
            ini.WriteInteger(kSection, "WidthRightValues", width);
        }
        ini.WriteBool(kSection, "BottomValues", BottomValues);
        if (BottomValues)
            ini.WriteInteger(kSection, "HeightBottomValues", FBottomArea ? BottomAreaHeight() : HeightBottomValues);
        ini.WriteInteger(kSection, "LeftIndex", LeftIndex);
        ini.WriteBool(kSection, "LeftReference", LeftReference);
        ini.WriteBool(kSection, "LeftPrevious", LeftPrevious);
        ini.WriteInteger(kSection, "RightIndex", RightIndex);
        ini.WriteInteger(kSection, "RightX", RightX);
        ini.WriteInteger(kSection, "RightY", RightY);
        ini.WriteInteger(kSection, "RightZ", RightZ);
        ini.UpdateFile();
    }
    for (TValueArea* a : {FBottomArea, FRightArea})
        if (a) a->SaveItems(settingsFile);
}

void TfrmRow::SaveSettings() { SaveSettings(ProgramSettingsForWriting()); }

// ---- layout ---------------------------------------------------------------------------

void TfrmRow::CreateValueStore()
{
    if (FValues) return;
    FValues = std::make_unique<TValueData>();
    for (int32_t position : StrokeIdMap())
        FValues->AddItem(position, ParameterShortName(position), StrokeLongCaption(position),
                         ParameterFormat(position));
    FValues->SetLogo(":/catchline/logo.svg");  // the program's picture resources
    FValues->SetLogoPosition(lpProportional);
    FValues->SetLogoMode(lmOpaque);
    for (const auto& [parameter, caption] : FValueCaptions) FValues->SetCaption(parameter, caption);
    // Without a heart-rate signal there is no pulse (nor work per beat).
    FValues->SetNoneWhenZero(spPulse, true);
    FValues->SetNoneWhenZero(spWorkPerPulse, true);
    FValues->Clear();
    // The store starts empty: show what the engine shows now.
    if (FEngine->StrokeIndex() > 0) FEngine->PushLiveValues();
    else FEngine->PushLimitValues();
}

TValueArea* TfrmRow::CreateArea(const std::string& section, const std::string& defaults)
{
    CreateValueStore();
    auto* area = new TValueArea;
    area->setObjectName(Q(section));
    area->IniSection = section;
    area->DefaultItems = defaults;
    area->setToolTip(kAreaHint);
    area->SetData(FValues.get());
    if (HaveLook) area->UpdateAppearance(Look.Font, Look.TextColor, Look.WindowColor, Look.FaceColor);
    area->LoadItems(ProgramSettingsForReading());
    return area;
}

void TfrmRow::DestroyAreas()
{
    delete FRightArea;
    FRightArea = nullptr;
    delete FBottomArea;
    FBottomArea = nullptr;
    FValues.reset();
}

void TfrmRow::ApplyLayout()
{
    // (The main window's layout actions are hidden here; the switches stand.)
    pnlChartLeft->setVisible(LeftChart);
    const bool chartsShown = LeftChart || RightChart;
    pnlCharts->setVisible(chartsShown);
    pnlChartRight->setVisible(RightChart);
    auto* chartsLayout = static_cast<QHBoxLayout*>(pnlCharts->layout());
    chartsLayout->setStretchFactor(pnlChartLeft, RightChart ? 0 : 1);

    if (RightValues) {
        if (!FRightArea) {
            FRightArea = CreateArea("RowRight", kRightDefault);
            FRightArea->setMinimumWidth(1);
            splRight->addWidget(FRightArea);
            splRight->setStretchFactor(1, 0);
        }
    } else if (FRightArea) {
        delete FRightArea;
        FRightArea = nullptr;
    }
    pnlTop->setVisible(chartsShown || FRightArea);

    if (BottomValues) {
        if (!FBottomArea) {
            FBottomArea = CreateArea("RowBottom", kBottomDefault);
            FBottomArea->setMinimumHeight(1);
            splBottom->addWidget(FBottomArea);
            splBottom->setStretchFactor(1, 0);
        }
    } else if (FBottomArea) {
        delete FBottomArea;
        FBottomArea = nullptr;
    }
    if (!FRightArea && !FBottomArea) FValues.reset();
    ApplySplitterSizes();
    SquareLeftChart();
    RebuildLeftChart();
    RebuildRightChart();
}

void TfrmRow::ApplySplitterSizes()
{
    if (FRightArea) {
        const int total = std::max(splRight->width(), tshAction->width());
        const int chart = std::max(1, total - WidthRightValues);
        splRight->setSizes({chart, std::max(1, total - chart)});
        AcceptedChartWidth = splRight->sizes().value(0);
    }
    if (FBottomArea) {
        const int total = std::max(splBottom->height(), tshAction->height());
        const int bottom = pnlTop->isVisibleTo(this) ? HeightBottomValues : total;
        splBottom->setSizes({std::max(1, total - bottom), std::max(1, bottom)});
        AcceptedBottomHeight = splBottom->sizes().value(1);
    }
}

int TfrmRow::ChartPanelWidth() const { return pnlCharts->width(); }

int TfrmRow::BottomAreaHeight() const { return FBottomArea ? FBottomArea->height() : 0; }

bool TfrmRow::RightSplitterShown() const
{
    return FRightArea && pnlCharts->isVisibleTo(this) && splRight->count() > 1 &&
           splRight->handle(1)->isVisibleTo(this);
}

bool TfrmRow::BottomSplitterShown() const
{
    return FBottomArea && pnlTop->isVisibleTo(this) && splBottom->count() > 1 &&
           splBottom->handle(1)->isVisibleTo(this);
}

bool TfrmRow::SetChartPanelWidth(int width)
{
    if (!FRightArea) return false;
    if (width < 140 || width > this->width() - 225) return false;
    const QList<int> sizes = splRight->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    QSignalBlocker block(splRight);
    splRight->setSizes({width, std::max(1, total - width)});
    AcceptedChartWidth = splRight->sizes().value(0);
    WidthRightValues = std::max(1, tshAction->width() - AcceptedChartWidth);
    return true;
}

bool TfrmRow::SetBottomAreaHeight(int height)
{
    if (!FBottomArea) return false;
    if (height < 100 || height > this->height() - 225) return false;
    const QList<int> sizes = splBottom->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    QSignalBlocker block(splBottom);
    splBottom->setSizes({std::max(1, total - height), height});
    AcceptedBottomHeight = splBottom->sizes().value(1);
    HeightBottomValues = AcceptedBottomHeight;
    return true;
}

void TfrmRow::SquareLeftChart()
{
    if (!pnlChartLeft) return;
    const bool fills = !RightChart;
    if (!fills) {
        const QRect area = pnlCharts->contentsRect();
        int side = area.height() - 8;
        side = std::min(side, area.width() - 8 - 100);  // the right chart keeps its minimum
        pnlChartLeft->setFixedWidth(std::max(100, side));
    } else {
        pnlChartLeft->setMinimumWidth(100);
        pnlChartLeft->setMaximumWidth(QWIDGETSIZE_MAX);
    }
    if (FLeft) {
        const int side = std::min(pnlChartLeft->width(), pnlChartLeft->height());
        FLeft->View()->setGeometry((pnlChartLeft->width() - side) / 2, (pnlChartLeft->height() - side) / 2, side, side);
    }
}

bool TfrmRow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && (watched == pnlChartLeft || watched == pnlCharts)) {
        SquareLeftChart();
        PlaceNoForceNote();
    }
    if (event->type() == QEvent::Resize && watched == pnlCharts)
        if (auto* hint = pnlCharts->findChild<QLabel*>("lblStartHint", Qt::FindDirectChildrenOnly))
            PlaceStartHint(hint);
    return TMDIChild::eventFilter(watched, event);
}

// ---- charts ---------------------------------------------------------------------------

void TfrmRow::ApplyChartLook(TRowChart& chart)
{
    const QFont font = HaveLook ? Look.Font : this->font();
    const QColor text = HaveLook && Look.TextColor.isValid() ? Look.TextColor : QColor(Qt::black);
    const QColor back = HaveLook && Look.FaceColor.isValid() ? Look.FaceColor : palette().color(QPalette::Window);
    chart.SetLook(font, text, back);
}

void TfrmRow::RebuildLeftChart()
{
    CheckLeftMenu();
    if (LeftIndex < 0) {
        FOld = FNew = nullptr;
        FLeft.reset();
        return;
    }
    if (!FLeft) {
        FLeft = std::make_unique<TRowChart>(pnlChartLeft);
        FLeft->View()->setObjectName("chtLeft");
        FLeft->SetFixedAxis(0, 0, 176, 10);
        FLeft->SetAxisTitle(0, "Strokelength (cm)");
        FLeft->SetFixedAxis(1, 0, 780, 77);
        FLeft->SetAxisTitle(1, "Force (N)");
        FLeft->SetAxisVisible(2, false);
        FOld = FLeft->AddLiveLine(ToQColor(0x0000FF));
        FNew = FLeft->AddLiveLine(ToQColor(0xFF0000));
        ApplyChartLook(*FLeft);
        FLeft->View()->setContextMenuPolicy(Qt::NoContextMenu);
        FLeft->View()->show();
        SquareLeftChart();
        SessionRefreshed();  // the session's colours and pens
    }
    const TTraining& session = Session();
    if (session.Header.SelectedStroke == 0) {
        FOld->clear();
        FNew->clear();
    }
    TChartData data;
    if (LeftReference) {
        // The other open sessions and the average records, read in place (this
        // runs at every recovery).
        const int last = Sessions.Count() + TSessionStore::kAverageRecords - 1;
        for (int i = 0; i <= last; ++i) {
            if (Sessions.IdAt(i) == session.ClientId) continue;
            if (const TTraining* other = Sessions.At(i)) BuildForceCurveSeries(data, *other, TForceCurveOptions{});
        }
    }
    FLeft->Render(data, false);
}

void TfrmRow::RebuildRightChart()
{
    CheckRightMenu();
    if (RightIndex != -2) {
        FRight.reset();
        return;
    }
    if (!FRight) {
        FRight = std::make_unique<TRowChart>(pnlChartRight);
        FRight->View()->setObjectName("chtRight");
        // The rower's chosen window of a stroke parameter widens to hold every stroke.
        FRight->Renderer().WidenToData = true;
        // Its lines grow by a point a stroke: drawn by the renderer's own item.
        FRight->Renderer().OwnLines = true;
        pnlChartRight->layout()->addWidget(FRight->View());
        ApplyChartLook(*FRight);
        FRight->View()->setContextMenuPolicy(Qt::NoContextMenu);
        FRight->View()->show();
    }
    QString x = "X", y = "Y", z = "Z";
    const TTraining& session = Session();
    if (session.ClientId > 0) {
        FRightSeries.Rebuild(session, RightOptions());
        FRight->Render(FRightSeries.Data(), true);  // replaces every series
        x = "X  " + Q(StrokeLongCaption(RightX));
        if (RightY >= 0) y = "Y  " + Q(StrokeLongCaption(RightY));
        if (RightZ >= 0) z = "Z  " + Q(StrokeLongCaption(RightZ));
    } else {
        FRight->ClearData();
    }
    FRight->SetAxisTitle(0, x);
    FRight->SetAxisTitle(1, y);
    FRight->SetAxisTitle(2, z);
}

TStrokeSeriesOptions TfrmRow::RightOptions() const
{
    TStrokeSeriesOptions o;
    o.XParam = RightX;
    o.Sliding = true;
    o.ResetAxes = true;
    o.InverseRight = MainRegistry() ? MainRegistry()->CrossMarker() : false;
    o.RightVisible = RightZ >= 0;
    o.LeftVisible = RightY >= 0;
    o.RightParam = RightZ;
    o.LeftParam = RightY;
    return o;
}

void TfrmRow::PlotOldCurve(int fromPuls)
{
    const auto& positions = FEngine->DrivePositions();
    const auto& forces = FEngine->DriveForces();
    QList<QPointF> points;
    for (int k = fromPuls; k <= 80; ++k)
        if (positions[size_t(k)] > 0) points.append(QPointF(positions[size_t(k)], forces[size_t(k)]));
    FOld->replace(points);
}

// ---- appearance -----------------------------------------------------------------------

void TfrmRow::SetAppearance(const TAppearance& appearance)
{
    Look = appearance;
    HaveLook = true;
    setFont(appearance.Font);
    QPalette pal = palette();
    if (appearance.FaceColor.isValid()) pal.setColor(QPalette::Window, appearance.FaceColor);
    setPalette(pal);
    QPalette logPal = memLog->palette();
    if (appearance.WindowColor.isValid()) logPal.setColor(QPalette::Base, appearance.WindowColor);
    if (appearance.TextColor.isValid()) logPal.setColor(QPalette::Text, appearance.TextColor);
    memLog->setPalette(logPal);
    if (FLeft) ApplyChartLook(*FLeft);
    if (FRight) ApplyChartLook(*FRight);
    for (TValueArea* a : {FBottomArea, FRightArea})
        if (a) a->UpdateAppearance(appearance.Font, appearance.TextColor, appearance.WindowColor, appearance.FaceColor);
    btnConnect->setFont(appearance.Font);
    QPalette buttonPal = btnConnect->palette();
    buttonPal.setColor(QPalette::ButtonText, Qt::black);
    btnConnect->setPalette(buttonPal);
    PlaceButton();
    RebuildRightChart();
    update();
    FocusButton();
}

// ---- status bar -----------------------------------------------------------------------

void TfrmRow::PlaceButton()
{
    if (!btnConnect || !StatusBar) return;
    btnConnect->setGeometry(0, 2, StatusBar->Panel(0).Width, std::max(1, StatusBar->height() - 2));
}

void TfrmRow::LayoutStatusPanels()
{
    int others = 0;
    for (int i : {0, 1, 2, 3, 5}) others += StatusBar->Panel(i).Width;
    StatusBar->Panel(4).Width = std::max(0, StatusBar->contentsRect().width() - others);
}

TfrmRow::TRuler TfrmRow::LimitRuler(const QRect& panel) const
{
    TRuler ruler;
    const TTraining& s = FEngine->Session();
    const int32_t L = LimitValue(s.Settings);
    if (L <= 0) return ruler;
    double p = 0;
    const int k = FEngine->StrokeIndex();
    if (k > 0 && k < s.StrokeCount()) p = LimitProgressValue(s.Strokes[size_t(k)], s.Settings);
    if (p > L || FEngine->Finished()) p = L;
    if (!(p >= 0)) p = 0;
    const int left = panel.left();
    const int right = panel.left() + panel.width();
    const int top = panel.top();
    const int bottom = panel.top() + panel.height();
    const int step = L > 9 ? L / 10 : 1;
    const int n = L / step + 1;
    const double W = right - left - 7;
    const double e = SafeDivide(double(L) + step, W);
    const double T = step * e;
    for (int i = 1; i <= n; ++i) {
        ruler.Ticks.push_back(left + 3 + int(std::lround(i * T)));
        ruler.Labels.push_back(i > 1 && i < n ? QString::number(qint64(i - 1) * step) : QString());
    }
    const int x1 = left + 3 + int(std::lround(p * e + 0.1 * T));
    const int x2 = left + 3 + int(std::lround(p * e + T));
    ruler.Marker = QRect(QPoint(x1, top + 4), QPoint(x2, bottom - 10));
    ruler.Drawn = true;
    return ruler;
}

void TfrmRow::DrawPanel(QPainter& painter, int index, const QRect& rect)
{
    const TTraining& s = FEngine->Session();
    if (s.ClientId == 0) return;
    const QColor window = HaveLook && Look.WindowColor.isValid() ? Look.WindowColor : palette().color(QPalette::Base);
    const QColor text = HaveLook && Look.TextColor.isValid() ? Look.TextColor : palette().color(QPalette::WindowText);
    painter.save();
    painter.setFont(font());
    QColor fill = window;
    if (index == rpSR && s.Settings.LimitType == 4)
        fill = FEngine->IntervalState().InRest ? ToQColor(0x0000FF) : ToQColor(0x008000);
    painter.fillRect(rect, fill);
    painter.setPen(text);
    if (index != rpAnimation) {
        painter.drawText(rect, Qt::AlignCenter, Q(FEngine->PanelText(index)));
    } else {
        const TRuler ruler = LimitRuler(rect);
        if (ruler.Drawn) {
            const int bottom = rect.top() + rect.height();
            const int n = int(ruler.Ticks.size());
            QPen thick(text, 2);
            QPen thin(text, 1);
            const QFontMetrics fm(font());
            for (int i = 0; i < n; ++i) {
                const int x = ruler.Ticks[size_t(i)];
                painter.setPen(thick);
                painter.drawLine(x, bottom - 6, x, bottom - 4);
                if (i + 1 < n) {
                    const int next = ruler.Ticks[size_t(i + 1)];
                    painter.setPen(thin);
                    painter.drawLine(x, bottom - 4, next, bottom - 4);
                    painter.setPen(thick);
                    painter.drawLine(next, bottom - 4, next, bottom - 6);
                }
            }
            const QColor markerColor = ToQColor(s.Header.Color);
            painter.setPen(Qt::NoPen);
            painter.setBrush(markerColor);
            painter.drawEllipse(ruler.Marker);
            painter.setBrush(palette().color(QPalette::Window));
            // The labels go over the marker, in a colour that stands out on
            // it where they cross it.
            QPainterPath inMarker;
            inMarker.addEllipse(QRectF(ruler.Marker));
            const QColor onMarker = markerColor.lightness() < 128 ? Qt::white : Qt::black;
            for (int i = 0; i < n; ++i) {
                const QString& label = ruler.Labels[size_t(i)];
                if (label.isEmpty()) continue;
                const int w = fm.horizontalAdvance(label);
                const QPoint at(ruler.Ticks[size_t(i)] - w / 2, rect.top() + 4 + fm.ascent());
                painter.setPen(thin);
                painter.drawText(at, label);
                if (!QRect(at.x(), rect.top() + 4, w, fm.height()).intersects(ruler.Marker)) continue;
                painter.save();
                painter.setClipPath(inMarker);
                painter.setPen(onMarker);
                painter.drawText(at, label);
                painter.restore();
            }
        }
    }
    painter.restore();
}

// ---- window events --------------------------------------------------------------------

void TfrmRow::showEvent(QShowEvent* event)
{
    TMDIChild::showEvent(event);
    static const char* const kHooked = "rowActivationHooked";
    if (QMdiSubWindow* sub = SubWindow(); sub && sub->mdiArea() && !property(kHooked).toBool()) {
        setProperty(kHooked, true);
        connect(sub->mdiArea(), &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
            if (w && w == SubWindow()) ActivatedByFrame();
        });
    }
    ApplySplitterSizes();
    FEngine->RefreshSession();
    FocusButton();
}

void TfrmRow::ActivatedByFrame()
{
    HideMessageWindow();
    if (FValues) FValues->Refresh();
    FocusButton();
}

void TfrmRow::resizeEvent(QResizeEvent* event)
{
    TMDIChild::resizeEvent(event);
    if (FValues) FValues->Refresh();
    PlaceButton();
    FocusButton();
}

void TfrmRow::changeEvent(QEvent* event) { TMDIChild::changeEvent(event); }

bool TfrmRow::CloseQuery() { return true; }

namespace {
// The training window that holds a session: the one that saves it.
TMDIChild* TrainingWindowOf(TMDIMain* frame, int32_t sessionId)
{
    if (!frame) return nullptr;
    for (QWidget* w : frame->ChildList())
        if (auto* t = qobject_cast<TMDIChild*>(w); t && t->ChildKind() == chkTraining && t->SessionId() == sessionId)
            return t;
    return nullptr;
}
}  // namespace

bool TfrmRow::CanSaveSession() { return TrainingWindowOf(Frame(), FSessionId) != nullptr; }

bool TfrmRow::SaveSession()
{
    TMDIChild* training = TrainingWindowOf(Frame(), FSessionId);
    return training && training->SaveHeldSession();
}

void TfrmRow::FormClose()
{
    static const char* const kClosing = "rowClosing";
    if (property(kClosing).toBool()) return;
    setProperty(kClosing, true);
    // A connect dialog open over the window goes with it.
    if (FChoosing) FChoosing->reject();
    FEngine->Shutdown();
    SaveSettings();
    const int32_t id = Session().ClientId;
    tmrUpdateAreas->stop();
    // The training window holding the session closes with the row window (it
    // may ask its own question).
    Sessions.RequestClose(id);
}

void TfrmRow::CloseForSession(int32_t sessionId)
{
    if (sessionId == Session().ClientId && !Closing()) close();
}

// ---- host -----------------------------------------------------------------------------

bool TfrmRow::ChooseSource(std::string& source, int& interfaceType)
{
    if (SourceChooser) return SourceChooser(source, interfaceType);
#ifdef CATCHLINE_HAVE_CONNECT_DIALOG
    // Modal, with the row window's font and colours.
    TfrmConnect dialog(this);
    dialog.setFont(font());
    dialog.setPalette(palette());
    FChoosing = &dialog;
    const int answer = dialog.exec();
    FChoosing = nullptr;
    if (answer != QDialog::Accepted || Closing()) return false;
    source = dialog.Source();
    interfaceType = dialog.InterfaceType();
    ChosenHeartSource = dialog.HeartSource();
    HeartChosen = true;
    return true;
#else
    return false;
#endif
}

void TfrmRow::ShowMessageWindow(const std::string& text) { ::ShowMessageWindow(text); }
void TfrmRow::HideMessageWindow() { ::HideMessageWindow(); }
bool TfrmRow::MessageWindowShown() { return ::MessageWindowShown(); }

void TfrmRow::LogLine(const std::string& line) { memLog->appendPlainText(Q(line)); }

std::string TfrmRow::RecordingJournalFolder() { return JournalFolder(true); }

void TfrmRow::ClearValues()
{
    if (FValues) FValues->Clear();
}

void TfrmRow::SetValue(int parameter, bool live, double value)
{
    if (FValues) FValues->SetValue(parameter, live, value);
}

void TfrmRow::RefreshValues()
{
    // A stroke or a clock tick: only the cells whose text changed repaint.
    if (FValues) FValues->RefreshValues();
}

void TfrmRow::SetValueCaption(int parameter, const std::string& caption)
{
    FValueCaptions[parameter] = caption;
    if (FValues) FValues->SetCaption(parameter, caption);
}

void TfrmRow::ButtonChanged()
{
    if (!btnConnect) return;
    btnConnect->setText(Q(FEngine->ButtonCaption()));
    btnConnect->setEnabled(FEngine->ButtonEnabled());
    // The start hint shows until the first connect of a session without strokes.
    if (auto* hint = pnlCharts ? pnlCharts->findChild<QLabel*>("lblStartHint", Qt::FindDirectChildrenOnly) : nullptr) {
        const bool idle = !FEngine->Interface() && FEngine->Session().StrokeCount() == 0;
        PlaceStartHint(hint);
        hint->setVisible(idle);
        if (idle) hint->raise();
    }
}

void TfrmRow::PlaceStartHint(QLabel* hint)
{
    // A band across the charts' room, as high as its text needs, centred.
    const QRect room = pnlCharts->rect().adjusted(20, 20, -20, -20);
    const int width = room.width();
    const int height = std::min(room.height(), hint->heightForWidth(width));
    hint->setGeometry(
        QRect(0, 0, width, std::max(height, 0)).translated(room.center() - QPoint(width / 2, height / 2)));
}

void TfrmRow::FocusButton()
{
    if (btnConnect && btnConnect->isVisible() && btnConnect->isEnabled()) btnConnect->setFocus();
}

void TfrmRow::PanelsChanged()
{
    // Only the panels whose text changed repaint.
    for (int i = rpCOM; i <= rpTime; ++i) {
        const QString text = Q(FEngine->PanelText(i));
        TStatusPanel& panel = StatusBar->Panel(i);
        if (panel.Text == text) continue;
        panel.Text = text;
        if (i == rpTurn) RepaintTurnPanel();
        else StatusBar->update(StatusBar->PanelRect(i));
    }
}

void TfrmRow::RepaintTurnPanel()
{
    if (tmrTurn->isActive()) return;  // the sign shown then is the newest
    const qint64 since = FTurnPainted.isValid() ? FTurnPainted.elapsed() : kTurnRepaintMs;
    if (since >= kTurnRepaintMs) {
        FTurnPainted.start();
        StatusBar->update(StatusBar->PanelRect(rpTurn));
    } else {
        tmrTurn->start(int(kTurnRepaintMs - since));
    }
}

void TfrmRow::PlaceNoForceNote()
{
    if (!lblNoForceCurve || !lblNoForceCurve->isVisible()) return;
    const int width = std::max(100, pnlChartLeft->width() - 40);
    lblNoForceCurve->setFixedWidth(width);
    lblNoForceCurve->adjustSize();
    lblNoForceCurve->move((pnlChartLeft->width() - width) / 2,
                          (pnlChartLeft->height() - lblNoForceCurve->height()) / 2);
    lblNoForceCurve->raise();
}

std::optional<std::string> TfrmRow::HeartRateSource()
{
    if (HeartChosen) return ChosenHeartSource;
    return std::nullopt;
}

void TfrmRow::HeartRateMessage(const std::string& text)
{
    lblHeartNote->setText("Heart rate: " + Q(text));
    lblHeartNote->show();
}

void TfrmRow::SessionReset()
{
    lblHeartNote->hide();
    lblNoForceCurve->hide();
    if (FOld) FOld->clear();
    if (FNew) FNew->clear();
    RebuildLeftChart();
    RebuildRightChart();
}

void TfrmRow::SessionRefreshed()
{
    const TTraining& s = Session();
    if (s.ClientId != 0) SetCaption("Row " + Q(s.Header.Title.Text()));
    if (FOld && FNew && s.ClientId != 0) {
        const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine};
        const Qt::PenStyle style = s.Header.PenStyle < 5 ? styles[s.Header.PenStyle] : Qt::SolidLine;
        const int width = std::max(1, int(s.Header.PenWidth));
        // Both curves stand out from the chart, and from each other (a grey
        // session's inverse is grey too).
        const TColor back = FromQColor(FLeft->Chart()->backgroundBrush().color());
        const TColor current = ReadableColor(FEngine->NewCurveColor(), back);
        const TColor previous = ReadableColor(DistinctColor(FEngine->OldCurveColor(), &current, 1, back), back);
        QPen oldPen(ToQColor(previous), width, style);
        QPen newPen(ToQColor(current), width, style);
        FOld->setPen(oldPen);
        FNew->setPen(newPen);
    }
    StatusBar->update();
}

void TfrmRow::DriveStarted()
{
    if (FOld) FOld->clear();
    if (FNew) FNew->clear();
}

void TfrmRow::RecoveryStarted()
{
    if (FOld) FOld->clear();
    if (FLeft) RebuildLeftChart();
    ResumeLeftChartPainting(true);
}

void TfrmRow::ResumeLeftChartPainting(bool wholePlot)
{
    tmrLiveCurve->stop();
    if (!FLeft) return;
    QChartView* view = FLeft->View();
    QRectF changed;
    for (TLiveLine* line : {FOld, FNew})
        if (line) changed |= line->mapRectToScene(line->TakeChanged());
    if (view->viewportUpdateMode() == QGraphicsView::NoViewportUpdate) {
        // Only the live curves changed during a drive: the part of the plot
        // they changed is painted. At the recovery the chart was drawn
        // anew: the plot. The axes and their labels stay as they are.
        view->setViewportUpdateMode(QGraphicsView::ViewportUpdateMode(FLeftUpdateMode));
        if (wholePlot) changed = FLeft->Chart()->plotArea().adjusted(-4, -4, 4, 4);
        if (!changed.isEmpty())
            view->viewport()->update(view->mapFromScene(changed).boundingRect().adjusted(-1, -1, 1, 1));
    }
    FLiveCurvePainted.start();
}

void TfrmRow::ForceSample(int puls, double length, double force)
{
    if (!FLeft) return;
    QChartView* view = FLeft->View();
    const bool painting = view->viewportUpdateMode() != QGraphicsView::NoViewportUpdate;
    if (painting && FLiveCurvePainted.isValid() && FLiveCurvePainted.elapsed() < LiveCurveRepaintMs) {
        // Painted a moment ago: this sample and those after it are shown together.
        FLeftUpdateMode = int(view->viewportUpdateMode());
        view->setViewportUpdateMode(QGraphicsView::NoViewportUpdate);
        tmrLiveCurve->start(int(LiveCurveRepaintMs - FLiveCurvePainted.elapsed()));
    } else if (painting) {
        FLiveCurvePainted.start();
    }
    if (LeftPrevious && puls >= 1 && puls <= 80) PlotOldCurve(puls);
    else FOld->clear();
    FNew->append(length, force);
}

void TfrmRow::ForceCurveStored(int strokeIndex)
{
    if (!FLeft) return;
    const TTraining& s = Session();
    auto plot = [&](TLiveLine* series, int k) {
        QList<QPointF> points;
        if (k >= 1 && k < int(s.Curves.size()))
            for (int i = 1; i <= 80; ++i) points.append(QPointF(4.5 * i, s.Curves[size_t(k)].Samples[i - 1]));
        series->replace(points);
    };
    FOld->clear();
    if (LeftPrevious && strokeIndex > 1) plot(FOld, strokeIndex - 1);
    plot(FNew, strokeIndex);
}

void TfrmRow::StrokeStored(int k)
{
    if (!FEngine->MeasuresForce() && !lblNoForceCurve->isVisible() && LeftIndex >= 0) {
        lblNoForceCurve->show();
        PlaceNoForceNote();
    }
    // A stored stroke only adds to the right chart's series.
    const TTraining& session = Session();
    if (FRight && RightIndex == -2 && session.ClientId > 0) {
        FRightSeries.StrokeStored(session, RightOptions(), k);
        FRight->Render(FRightSeries.Data(), true, &FRightSeries.Unchanged());
    } else {
        RebuildRightChart();
    }
    // The limit ruler moves on; an interval's rest colours the stroke panel.
    StatusBar->update(StatusBar->PanelRect(rpAnimation));
    StatusBar->update(StatusBar->PanelRect(rpSR));
}

void TfrmRow::ShowResults(const TTraining& session)
{
    if (ResultsShower) ResultsShower(session);
}
