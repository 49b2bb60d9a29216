#include "framework/form_main.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

#include "framework/window_util.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/version.h"

int ActionTag(const QObject* action)
{
    if (!action) return 0;
    QVariant v = action->property("tag");
    return v.isValid() ? v.toInt() : 0;
}

void SetActionTag(QObject* action, int tag)
{
    if (action) action->setProperty("tag", tag);
}

void SetActionHint(QAction* action, const QString& hint)
{
    int bar = int(hint.indexOf('|'));
    QString shortHint = bar >= 0 ? hint.left(bar) : hint;
    QString longHint = bar >= 0 ? hint.mid(bar + 1) : hint;
    action->setToolTip(shortHint);
    action->setStatusTip(longHint);
}

QIcon ThemeIcon(const QString& themeName, int standardPixmap)
{
    QIcon fallback;
    if (standardPixmap >= 0 && QApplication::style())
        fallback = QApplication::style()->standardIcon(QStyle::StandardPixmap(standardPixmap));
    if (themeName.isEmpty()) return fallback;
    return QIcon::fromTheme(themeName, fallback);
}

namespace {

// The focused text control, if any.
QWidget* FocusedTextControl()
{
    QWidget* w = QApplication::focusWidget();
    if (!w) return nullptr;
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) return w;
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->isEditable() ? combo->lineEdit() : nullptr;
    return nullptr;
}

QString ToolbarName(const QString& caption)
{
    QString name;
    for (QChar c : caption)
        if (c.isLetterOrNumber() || c == ' ' || c == '-') name += c;
    return name;
}

}  // namespace

QAction* TFormMain::MakeAction(const char* name, const QString& caption, const QString& hint,
                               const QKeySequence& shortcut, const QString& icon, int standardPixmap)
{
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    SetActionHint(a, hint);
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    if (!icon.isEmpty() || standardPixmap >= 0) a->setIcon(ThemeIcon(icon, standardPixmap));
    addAction(a);  // shortcuts work while the menu is hidden
    return a;
}

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    menuBar()->setObjectName("MainMenu");

    FileExit = MakeAction("FileExit", tr("&Exit"), tr("Exit|Exits this program"), QKeySequence(), "application-exit",
                          QStyle::SP_DialogCloseButton);
    EditCut = MakeAction("EditCut", tr("Cu&t"), tr("Cut|Cuts the selection and puts it on the Clipboard"),
                         QKeySequence("Ctrl+X"), "edit-cut");
    EditCopy = MakeAction("EditCopy", tr("&Copy"), tr("Copy|Copies the selection and puts it on the Clipboard"),
                          QKeySequence("Ctrl+C"), "edit-copy");
    EditPaste = MakeAction("EditPaste", tr("&Paste"), tr("Paste|Inserts Clipboard contents"), QKeySequence("Ctrl+V"),
                           "edit-paste");
    EditFind = MakeAction("EditFind", tr("&Find ..."), tr("Find|Finds text"), QKeySequence("Ctrl+F"), "edit-find");
    ViewFullscreen = MakeAction("ViewFullscreen", tr("&Full screen"), tr("Full screen|Sets window to full screen"),
                                QKeySequence(), "view-fullscreen");
    ViewHints = MakeAction("ViewHints", tr("&Hints"), tr("View hints|Shows or hides hints"));
    ViewMenu = MakeAction("ViewMenu", tr("&Menu"), tr("View menu|Shows or hides the menu"), QKeySequence("Ctrl+M"));
    ViewToolbar = MakeAction("ViewToolbar", tr("&Tool bar"), tr("View tool bar|Shows or hides the tool bar"));
    ViewStatusbar = MakeAction("ViewStatusbar", tr("&Status bar"), tr("View status bar|Shows or hides the status bar"));
    HelpWebsite =
        MakeAction("HelpWebsite", tr("&Website"), tr("Website|Visits website"), QKeySequence(), "internet-web-browser");
    HelpUpdate = MakeAction("HelpUpdate", tr("&Update ..."),
                            tr("Check for update|Checks the Internet for an updated version of this software"));
    HelpAbout = MakeAction("HelpAbout", tr("&About ..."), tr("About|Shows About dialog"), QKeySequence("F1"),
                           "help-about", QStyle::SP_MessageBoxInformation);
    Update1 = HelpUpdate;
    for (QAction* a : {ViewFullscreen, ViewHints, ViewMenu, ViewToolbar, ViewStatusbar}) a->setCheckable(true);

    File1 = menuBar()->addMenu(tr("&File"));
    File1->setObjectName("File1");
    File1->addAction(FileExit);
    Edit1 = menuBar()->addMenu(tr("&Edit"));
    Edit1->setObjectName("Edit1");
    Edit1->addAction(EditCut);
    Edit1->addAction(EditCopy);
    Edit1->addAction(EditPaste);
    Edit1->addSeparator()->setObjectName("EditN1");
    Edit1->addAction(EditFind);
    View1 = menuBar()->addMenu(tr("&View"));
    View1->setObjectName("View1");
    View1->addAction(ViewFullscreen);
    View1->addAction(ViewHints);
    View1->addSeparator()->setObjectName("ViewN1");
    View1->addAction(ViewMenu);
    View1->addAction(ViewToolbar);
    View1->addAction(ViewStatusbar);
    Help1 = menuBar()->addMenu(tr("&Help"));
    Help1->setObjectName("Help1");
    Help1->addAction(HelpWebsite);
    Help1->addAction(HelpUpdate);
    Help1->addSeparator()->setObjectName("HelpN1");
    Help1->addAction(HelpAbout);

    connect(FileExit, &QAction::triggered, this, &QWidget::close);
    connect(EditCut, &QAction::triggered, this, [] {
        if (QWidget* w = FocusedTextControl()) QMetaObject::invokeMethod(w, "cut");
    });
    connect(EditCopy, &QAction::triggered, this, [] {
        if (QWidget* w = FocusedTextControl()) QMetaObject::invokeMethod(w, "copy");
    });
    connect(EditPaste, &QAction::triggered, this, [] {
        if (QWidget* w = FocusedTextControl()) QMetaObject::invokeMethod(w, "paste");
    });
    EditFind->setEnabled(false);    // no control registers itself as a find target
    HelpUpdate->setEnabled(false);  // no update address is set
    connect(ViewFullscreen, &QAction::triggered, this, [this] { SetFullscreen(!FullscreenOn); });
    connect(ViewHints, &QAction::triggered, this, [this] { SetHints(!HintsOn); });
    connect(ViewMenu, &QAction::triggered, this, [this] { SetMenuShown(!MenuOn); });
    connect(ViewToolbar, &QAction::triggered, this, [this] { SetToolbarShown(!ToolbarOn); });
    connect(ViewStatusbar, &QAction::triggered, this, [this] { SetStatusbarShown(!StatusbarOn); });
    connect(HelpWebsite, &QAction::triggered, this,
            [] { OpenWithShell("http://" + VersionString("Website"), "open", "", "", 1); });
    connect(HelpAbout, &QAction::triggered, this, [this] { HelpAboutExecute(); });

    StatusPanels = new TStatusPanelBar(this);
    StatusPanels->setObjectName("StatusBar");
    setStatusBar(StatusPanels);
    TStatusPanel& p0 = StatusPanels->AddPanel();
    p0.Width = 75;
    p0.Alignment = Qt::AlignHCenter;
    p0.Text = "(version)";
    StatusPanels->AddPanel().Width = 4;
    StatusPanels->AddPanel().Width = 50;
    connect(StatusPanels, &TStatusPanelBar::PanelMouseMove, this, [this](int x, int y) { StatusBarMouseMove(x, y); });
    connect(StatusPanels, &TStatusPanelBar::PanelClick, this, [this](int x, int y) { StatusBarClick(x, y); });
    connect(StatusPanels, &TStatusPanelBar::PanelDoubleClick, this,
            [this](int x, int y) { StatusBarDoubleClick(x, y); });

    ProgressBarWidget = new QProgressBar(StatusPanels);
    ProgressBarWidget->setObjectName("ProgressBar");
    ProgressBarWidget->setRange(0, 100);
    ProgressBarWidget->setTextVisible(false);
    ProgressBarWidget->hide();

    BevelStatus = new QFrame(this);
    BevelStatus->setObjectName("BevelStatus");
    BevelStatus->setFrameShape(QFrame::HLine);
    BevelStatus->hide();
    MenuLine = new QFrame(this);
    MenuLine->setObjectName("MenuLine");
    MenuLine->setFrameShape(QFrame::HLine);
    MenuLine->hide();

    UpdateTimer = new QTimer(this);
    UpdateTimer->setInterval(250);
    connect(UpdateTimer, &QTimer::timeout, this, [this] { UpdateActions(); });
    UpdateTimer->start();
    for (QMenu* m : {File1, Edit1, View1, Help1}) connect(m, &QMenu::aboutToShow, this, [this] { UpdateActions(); });

    qApp->installEventFilter(this);
}

TFormMain::~TFormMain()
{
    if (qApp) qApp->removeEventFilter(this);
    UpdateTimer->stop();
    StatusPanels->disconnect(this);
}

std::string TFormMain::SettingsFileName() const { return ProgramFolder() + ProgramFileName() + ".ini"; }

void TFormMain::FrameworkCreate()
{
    std::string title = VersionString("FileDescription");
    setWindowTitle(QString::fromStdString(title));
    QString product = QString::fromStdString(ProductTitle());
    // The version panel is 75 pixels wide, or as wide as its text needs.
    StatusPanels->Panel(0).Width = std::max(75, StatusPanels->fontMetrics().horizontalAdvance(product) + 10);
    StatusPanels->SetPanelText(0, product);
    HelpWebsite->setVisible(!VersionString("Website").empty());

    bool full = false, hints = true, menu = true, toolbar = true, status = true;
    std::string file = SettingsFileName();
    if (!file.empty()) {
        TProfileFile ini(file);
        full = ini.ReadBool("View", "Fullscreen", false);
        hints = ini.ReadBool("View", "Hints", true);
        menu = ini.ReadBool("View", "Menu", true);
        toolbar = ini.ReadBool("View", "Toolbar", true);
        status = ini.ReadBool("View", "Statusbar", true);
    }
    RebuildToolbars();
    if (full) SetFullscreen(true);
    SetHints(hints);
    SetMenuShown(menu);
    SetToolbarShown(toolbar);
    SetStatusbarShown(status);
    ProgressPosition = -1;
}

void TFormMain::FrameworkDestroy()
{
    if (FrameworkSaved) return;
    FrameworkSaved = true;
    std::string file = SettingsFileName();
    if (!file.empty() && IsWritable(file)) {
        TProfileFile ini(file);
        ini.WriteBool("View", "Fullscreen", FullscreenOn);
        ini.WriteBool("View", "Hints", HintsOn);
        ini.WriteBool("View", "Menu", MenuOn);
        ini.WriteBool("View", "Toolbar", ToolbarOn);
        ini.WriteBool("View", "Statusbar", StatusbarOn);
        ini.UpdateFile();
    }
    // Tool-bar positions: the settings file, or the program folder's file when none exists yet.
    std::string barFile = file.empty() ? ProgramFolder() + ProgramFileName() + ".ini" : file;
    if (!BuiltToolbars.empty() && IsWritable(barFile)) {
        TProfileFile ini(barFile);
        for (QToolBar* bar : BuiltToolbars) {
            bool shown = bar->property("shown").toBool();
            ini.WriteString("Toolbars", bar->objectName().toStdString(),
                            Format("%d %d %d", bar->x(), bar->y(), shown ? 1 : 0));
        }
        ini.UpdateFile();
    }
}

void TFormMain::SetFullscreen(bool on)
{
    if (on != FullscreenOn && ChildWindowCount() > 0) {
        ShowWarningBox("Please close all windows before switching from/to full screen");
        ViewFullscreen->setChecked(FullscreenOn);
        return;
    }
    FullscreenOn = on;
    ViewFullscreen->setChecked(on);
    bool visible = isVisible();
    setWindowFlag(Qt::FramelessWindowHint, on);
    if (on) setWindowState(Qt::WindowMaximized);
    else setWindowState(Qt::WindowNoState);
    if (visible) show();
}

void TFormMain::SetHints(bool on)
{
    HintsOn = on;
    ViewHints->setChecked(on);
}

void TFormMain::SetMenuShown(bool on)
{
    MenuOn = on;
    ViewMenu->setChecked(on);
    for (QAction* item : menuBar()->actions()) {
        // A negative tag keeps an item hidden for good.
        item->setVisible(on && ActionTag(item) >= 0 && (!item->menu() || ActionTag(item->menu()) >= 0));
    }
    menuBar()->setVisible(on);
    ApplyLines();
}

void TFormMain::SetToolbarShown(bool on)
{
    ToolbarOn = on;
    ViewToolbar->setChecked(on);
    for (QToolBar* bar : BuiltToolbars) bar->setVisible(on && bar->property("shown").toBool());
    ApplyLines();
}

void TFormMain::SetStatusbarShown(bool on)
{
    StatusbarOn = on;
    ViewStatusbar->setChecked(on);
    StatusPanels->setVisible(on);
    ApplyLines();
}

void TFormMain::ApplyLines()
{
    MenuLine->setVisible(MenuOn && !ToolbarOn && !IsMDIFrame());
    BevelStatus->setVisible(!IsMDIFrame() && StatusbarOn);
}

void TFormMain::SetProgress(int p)
{
    if (p == ProgressPosition) return;
    if (p < 0) p = -1;
    if (p > 100) p = 100;
    ProgressPosition = p;
    if (p < 0) {
        StatusPanels->Panel(0).OwnerDraw = false;
        ProgressBarWidget->hide();
        StatusPanels->update();
        return;
    }
    StatusPanels->Panel(0).OwnerDraw = true;
    ProgressBarWidget->setGeometry(1, 1, StatusPanels->Panel(0).Width + 3, StatusPanels->height() - 1);
    ProgressBarWidget->setValue(p);
    ProgressBarWidget->show();
    ProgressBarWidget->repaint();
}

void TFormMain::SetProgressFraction(double fraction)
{
    double percent = fraction * 100.0;
    SetProgress(int(std::nearbyint(percent)));  // the default rounding mode rounds half to even
}

void TFormMain::SetStatusText(int panel, const QString& text) { StatusPanels->SetPanelText(panel, text); }

QList<QToolBar*> TFormMain::Toolbars() const
{
    QList<QToolBar*> list;
    for (QToolBar* b : BuiltToolbars) list << b;
    return list;
}

void TFormMain::RebuildToolbars()
{
    for (QToolBar* bar : BuiltToolbars) {
        removeToolBar(bar);
        delete bar;
    }
    BuiltToolbars.clear();
    std::unique_ptr<TProfileFile> ini;
    std::string file = SettingsFileName();
    if (!file.empty()) ini = std::make_unique<TProfileFile>(file);
    // Where each bar was (top, left); a bar without a stored place keeps its
    // default one, after the placed bars of the first row, in menu order.
    struct TPlaced {
        QToolBar* Bar;
        int Top, Left;
    };
    std::vector<TPlaced> placed;
    for (QAction* top : menuBar()->actions()) {
        QMenu* menu = top->menu();
        if (!menu || ActionTag(top) < 0 || ActionTag(menu) < 0) continue;
        if (!top->isVisible() && MenuOn) continue;
        bool any = false;
        for (QAction* a : menu->actions())
            if (!a->isSeparator() && !a->menu() && a->isVisible() && !a->icon().isNull()) any = true;
        if (!any) continue;
        QString name = ToolbarName(top->text());
        auto* bar = new QToolBar(name, this);
        bar->setObjectName(name);
        bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        bar->setIconSize(QSize(16, 16));
        bool separatorPending = false;
        int buttons = 0;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) {
                separatorPending = buttons > 0;
                continue;
            }
            if (a->menu() || !a->isVisible() || a->icon().isNull()) continue;
            if (separatorPending) {
                auto* spacer = new QWidget(bar);
                spacer->setFixedWidth(10);
                bar->addWidget(spacer);
                separatorPending = false;
            }
            bar->addAction(a);
            ++buttons;
        }
        bool shown = true;
        TPlaced place{bar, 0, 1000000 + int(placed.size())};
        if (ini && ini->ValueExists("Toolbars", name.toStdString())) {
            std::vector<std::string> parts =
                SplitString(Trim(ini->ReadString("Toolbars", name.toStdString(), "")), ' ');
            int32_t v = 1, left = 0, topPos = 0;
            if (parts.size() >= 3 && TryParseInt(parts[2], v)) shown = v != 0;
            if (parts.size() >= 2 && TryParseInt(parts[0], left) && TryParseInt(parts[1], topPos)) {
                place.Left = std::max(0, left);
                place.Top = std::max(0, topPos);
            }
        }
        bar->setProperty("shown", shown);
        connect(bar->toggleViewAction(), &QAction::triggered, bar,
                [bar](bool checked) { bar->setProperty("shown", checked); });
        placed.push_back(place);
        BuiltToolbars.push_back(bar);
    }
    // The bars go back to their rows, left to right; a bar more than half a
    // bar's height lower starts a new row.
    std::stable_sort(placed.begin(), placed.end(), [](const TPlaced& a, const TPlaced& b) {
        return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
    });
    int rowTop = placed.empty() ? 0 : placed.front().Top;
    for (const TPlaced& p : placed) {
        if (p.Top - rowTop >= 12) {
            addToolBarBreak(Qt::TopToolBarArea);
            rowTop = p.Top;
        }
        addToolBar(Qt::TopToolBarArea, p.Bar);
        p.Bar->setVisible(ToolbarOn && p.Bar->property("shown").toBool());
    }
}

void TFormMain::SetToolbarVisible(const QString& name, bool visible)
{
    for (QToolBar* bar : BuiltToolbars)
        if (bar->objectName() == name) {
            bar->setProperty("shown", visible);
            bar->setVisible(ToolbarOn && visible);
        }
}

void TFormMain::HelpAboutExecute() { ShowVersionBox(""); }

void TFormMain::StatusBarMouseMove(int x, int y)
{
    (void)y;
    if (x > 0 && x < StatusPanels->Panel(0).Width) {
        StatusPanels->setToolTip(tr("Shows version information"));
        VersionPanelHover = true;
    } else {
        StatusPanels->setToolTip(QString());
        VersionPanelHover = false;
    }
}

void TFormMain::StatusBarDoubleClick(int x, int y)
{
    (void)x;
    (void)y;
    if (VersionPanelHover) ShowVersionBox("");
}

bool TFormMain::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        // Every hint goes to status panel 2.
        SetStatusText(2, static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (!HintsOn && event->type() == QEvent::ToolTip) return true;
    return QMainWindow::eventFilter(watched, event);
}
