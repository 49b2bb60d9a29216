#include "shell/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>

#include "core/catalogue.h"
#include "core/series.h"
#include "files/file_names.h"
#include "files/journal.h"
#include "files/session_export.h"
#include "files/training_io.h"
#include "framework/chart_dialogs.h"
#include "framework/window_util.h"
#include "shell/file_types.h"
#include "shell/splash.h"
#include "shell/start_timing.h"
#include "shell/window_factory.h"
#include "util/date_time.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"
#include "util/trace.h"
#include "util/version.h"

namespace {
const char* const kCreditText = "Catchline - training software for indoor rowers";
}

TfrmMain::TfrmMain(const std::vector<std::string>& args, QWidget* parent)
    : TMDIMain(parent), Windows(ProgramWindows()), Arguments(args)
{
    setObjectName("frmMain");
    InitShellResources();
    BuildMenus();
    // The credit panel 3 belongs to the designed panels.
    TStatusPanel& credit = StatusBar()->AddPanel();
    credit.Width = 50;
    credit.Bevel = TPanelBevel::Lowered;
    SetDesignedPanels();

    FrameworkCreate();
    SetWindowPanels(false);
    if (windowState() == Qt::WindowNoState) resize(800, 600);
    setAcceptDrops(true);
    if (Blocker.Start(VersionString("ProductName"), "Training session display"))
        SetStatusText(2, QString::fromStdString(Blocker.StatusText()));
    StartTimeValue = NowDays();
    LoadProgramSettings();
    ++Settings.Statistics.TimesStarted;
    if (HandleFileTypeOptions()) return;
    RebuildRecentMenu();
    HideActions();
    AddHelpDocuments();
    tmrReclame = new QTimer(this);
    tmrReclame->setObjectName("tmrReclame");
    tmrReclame->setInterval(60000);
    tmrReclame->setSingleShot(true);
    connect(tmrReclame, &QTimer::timeout, this, &TfrmMain::ReclameTimer);
    tmrReclame->start();
    QPixmap wallpaper = ResourcePicture("BACKGROUND");
    if (wallpaper.isNull()) wallpaper = ResourcePicture("SPLASH");
    SetWallpaper(wallpaper);
    RebuildToolbars();
    connect(StatusBar(), &TStatusPanelBar::Resized, this, &TfrmMain::StatusBarResize);
    StatusBarResize();

    // The shared dialogs, created once.
    SetSharedDialogParent(this);
    ChartOptionsDialog();
    SelectColumnsDialog();
    NewRowDialog = Windows.NewRowDialog(this);
    ResultsDialog = Windows.ResultsWindow(this);
    ListenToStore();
    SetMainRegistry(this);
}

TfrmMain::~TfrmMain()
{
    SaveAll();
    // The child windows are views of the store: they go before it does.
    for (QMdiSubWindow* sub : MDIClient()->subWindowList()) delete sub;
    if (MainRegistry() == this) SetMainRegistry(nullptr);
    FreeSplash();
}

void TfrmMain::ListenToStore()
{
    auto actions = [this](int32_t) { UpdateActions(); };
    connect(&Sessions, &TSessionStore::SessionAdded, this, actions);
    connect(&Sessions, &TSessionStore::SessionRemoved, this, actions);
    connect(&Sessions, &TSessionStore::CloseRequested, this, actions);
    connect(&Sessions, &TSessionStore::ModifiedChanged, this, [this](int32_t, bool) { UpdateActions(); });
    // Captions in the window switcher.
    auto panels = [this](int32_t) { RefreshWindowPanels(); };
    connect(&Sessions, &TSessionStore::HeaderChanged, this, panels);
    connect(&Sessions, &TSessionStore::WorkoutChanged, this, panels);
}

void TfrmMain::SaveAll()
{
    if (Saved || ExitAfterCreate) return;
    Saved = true;
    SaveProgramSettings();
    FrameworkDestroy();
    // The View settings may have added a section after the normalisation.
    std::string file = SettingsFile(true);
    if (!file.empty()) NormaliseProfileFile(file);
}

// ---------------------------------------------------------------- menus

void TfrmMain::BuildMenus()
{
    FileNew = MakeAction("FileNew", tr("&New ..."), tr("New|Creates a new training session"), QKeySequence("Ctrl+N"),
                         "document-new", QStyle::SP_FileIcon);
    FileOpen = MakeAction("FileOpen", tr("&Open ..."), tr("Open|Opens a training, stroke or user file"),
                          QKeySequence("Ctrl+O"), "document-open", QStyle::SP_DialogOpenButton);
    FileClose = MakeAction("FileClose", tr("&Close"), tr("Close|Closes the active window"), QKeySequence(),
                           "window-close", QStyle::SP_TitleBarCloseButton);
    FileSave = MakeAction("FileSave", tr("&Save"), tr("Save|Saves the training session"), QKeySequence("Ctrl+S"),
                          "document-save", QStyle::SP_DialogSaveButton);
    FileSaveAs = MakeAction("FileSaveAs", tr("Save &As ..."), tr("Save As|Saves the training session under a new name"),
                            QKeySequence("Ctrl+Alt+S"), "document-save-as", QStyle::SP_DriveFDIcon);
    FileExport = MakeAction("FileExport", tr("&Export to FIT / TCX / CSV ..."),
                            tr("Export|Exports the training session as a FIT, TCX or RowingData CSV file for other "
                               "training programs"),
                            QKeySequence("Ctrl+E"), "document-send");
    FileSaveChart = MakeAction("FileSaveChart", tr("Sa&ve Chart ..."), tr("Save Chart|Saves the chart as a picture"),
                               QKeySequence(), "image-x-generic");
    EditCopyChart = MakeAction("EditCopyChart", tr("C&opy Chart"), tr("Copy Chart|Copies the chart to the Clipboard"));
    ViewRow = MakeAction("ViewRow", tr("&Row ..."), tr("Row|Opens the row window"), QKeySequence("Ctrl+R"),
                         "media-playback-start", QStyle::SP_MediaPlay);
    ViewTraining =
        MakeAction("ViewTraining", tr("Trainin&g ..."), tr("Training|Shows the training session being rowed"),
                   QKeySequence("Ctrl+T"), "x-office-document", QStyle::SP_FileDialogDetailedView);
    AnalyseStrokeData = MakeAction("AnalyseStrokeData", tr("Stroke &Data ..."),
                                   tr("Stroke data|Compares stroke data of the open sessions"), QKeySequence(),
                                   "office-chart-line", QStyle::SP_FileDialogContentsView);
    AnalyseForceCurves = MakeAction("AnalyseForceCurves", tr("&Force Curves ..."),
                                    tr("Force curves|Compares force curves of the open sessions"), QKeySequence(),
                                    "office-chart-area", QStyle::SP_FileDialogInfoView);

    FileStart = MakeAction("FileStart", tr("&Start ..."), tr("Start|Start"));
    FileBrowse = MakeAction("FileBrowse", tr("&Browse ..."), tr("Browse|Browse"));
    FileDatabase = MakeAction("FileDatabase", tr("&Database ..."), tr("Database|Database"));
    FileCalendar = MakeAction("FileCalendar", tr("Ca&lendar ..."), tr("Calendar|Calendar"));
    FileSaveDesktop = MakeAction("FileSaveDesktop", tr("Save &Desktop"), tr("Save desktop|Save desktop"));
    AnalyseSummary = MakeAction("AnalyseSummary", tr("&Summary ..."), tr("Summary|Summary"));
    AnalyseIntervals = MakeAction("AnalyseIntervals", tr("&Intervals ..."), tr("Intervals|Intervals"));
    AnalyseSession = MakeAction("AnalyseSession", tr("S&ession ..."), tr("Session|Session"));
    AnalyseRace = MakeAction("AnalyseRace", tr("R&ace ..."), tr("Race|Race"));
    ViewClients = MakeAction("ViewClients", tr("&Clients ..."), tr("Clients|Clients"));
    ViewSynchronise = MakeAction("ViewSynchronise", tr("S&ynchronise ..."), tr("Synchronise|Synchronise"));
    ViewUsers = MakeAction("ViewUsers", tr("&Users ..."), tr("Users|Users"));
    ViewOptions = MakeAction("ViewOptions", tr("&Options ..."), tr("Options|Options"));
    HelpWelcome = MakeAction("HelpWelcome", tr("&Welcome ..."), tr("Welcome|Welcome"));

    // File menu: New, Open, ..., Close, Save, Save As, Save Chart, recent files, Exit.
    QAction* exit = FileExit;
    File1->removeAction(exit);
    File1->addAction(FileNew);
    File1->addAction(FileOpen);
    File1->addAction(FileStart);
    File1->addAction(FileBrowse);
    File1->addAction(FileDatabase);
    File1->addAction(FileCalendar);
    File1->addSeparator()->setObjectName("N2");
    File1->addAction(FileClose);
    File1->addAction(FileSave);
    File1->addAction(FileSaveAs);
    File1->addAction(FileExport);
    File1->addAction(FileSaveDesktop);
    File1->addAction(FileSaveChart);
    N3 = File1->addSeparator();
    N3->setObjectName("N3");
    File1->addAction(exit);

    Edit1->addSeparator()->setObjectName("EditN2");
    Edit1->addAction(EditCopyChart);

    // View menu: row and training first, then the View options, then the hidden features.
    ViewToolbar->setText(tr("&Toolbar"));
    QAction* first = View1->actions().isEmpty() ? nullptr : View1->actions().first();
    View1->insertAction(first, ViewRow);
    View1->insertAction(first, ViewTraining);
    N7 = View1->insertSeparator(first);
    N7->setObjectName("N7");
    View1->addAction(ViewClients);
    View1->addAction(ViewSynchronise);
    View1->addAction(ViewUsers);
    View1->addAction(ViewOptions);
    N1 = View1->addSeparator();
    N1->setObjectName("N1");
    LayoutMenu = new QMenu(tr("&Layout"), this);
    LayoutMenu->setObjectName("Layout1");
    for (const char* name : {"LayoutLeftChart", "LayoutRightChart", "LayoutRightValues", "LayoutBottomValues"}) {
        QAction* a = LayoutMenu->addAction(name);
        a->setObjectName(name);
        a->setCheckable(true);
    }
    Layout_Menu = LayoutMenu->menuAction();
    Layout_Menu->setObjectName("Layout_Menu");
    View1->addAction(Layout_Menu);

    Analyse1 = new QMenu(tr("&Analyse"), this);
    Analyse1->setObjectName("Analyse1");
    Analyse1->addAction(AnalyseStrokeData);
    Analyse1->addAction(AnalyseForceCurves);
    Analyse1->addAction(AnalyseSummary);
    Analyse1->addAction(AnalyseIntervals);
    Analyse1->addAction(AnalyseSession);
    Analyse1->addAction(AnalyseRace);
    menuBar()->insertMenu(Window_Menu, Analyse1);
    connect(Analyse1, &QMenu::aboutToShow, this, [this] { UpdateActions(); });

    QAction* helpFirst = Help1->actions().isEmpty() ? nullptr : Help1->actions().first();
    Help1->insertAction(helpFirst, HelpWelcome);

    connect(FileNew, &QAction::triggered, this, [this] {
        NewTrainingWindow(SettingsFile(false));
        RefreshWindowPanels();
    });
    connect(FileOpen, &QAction::triggered, this, &TfrmMain::FileOpenExecute);
    connect(FileClose, &QAction::triggered, this, [this] {
        if (QMdiSubWindow* s = MDIClient()->activeSubWindow()) s->close();
    });
    connect(FileSave, &QAction::triggered, this, [this] {
        if (TMDIChild* c = SaveTarget(); c && c->CanSave()) c->FileSave();
    });
    connect(FileSaveAs, &QAction::triggered, this, [this] {
        if (TMDIChild* c = SaveTarget(); c && c->CanSaveAs()) c->FileSaveAs();
    });
    connect(FileExport, &QAction::triggered, this, [this] {
        TMDIChild* target = SaveTarget();
        TTraining* session = target && !target->Closing() ? target->Training() : nullptr;
        std::string path;
        if (session && ExportTrainingAs(*session, Settings.LastDir, path)) Settings.LastDir = ExtractFilePath(path);
    });
    connect(FileSaveChart, &QAction::triggered, this, [this] {
        if (TMDIChild* c = ActiveMDIChild(); c && c->IsChartWindow()) c->ChartPicture(true);
    });
    connect(EditCopyChart, &QAction::triggered, this, [this] {
        if (TMDIChild* c = ActiveMDIChild(); c && c->IsChartWindow()) c->ChartPicture(false);
    });
    connect(ViewRow, &QAction::triggered, this, [this] { OpenRowWindow(SettingsFile(false), ""); });
    connect(ViewTraining, &QAction::triggered, this, &TfrmMain::ViewTrainingExecute);
    connect(AnalyseStrokeData, &QAction::triggered, this, [this] { ShowStrokeDataWindow(SettingsFile(false)); });
    connect(AnalyseForceCurves, &QAction::triggered, this, [this] { ShowForceCurvesWindow(SettingsFile(false)); });
}

void TfrmMain::HideActions()
{
    for (QAction* a : {FileStart, FileBrowse, FileDatabase, FileCalendar, FileSaveDesktop, AnalyseSummary,
                       AnalyseIntervals, AnalyseSession, AnalyseRace, ViewClients, ViewSynchronise, ViewUsers,
                       ViewOptions, Layout_Menu, HelpWelcome}) {
        a->setVisible(false);
        a->setEnabled(false);
    }
    Update1->setVisible(false);
    // The Window menu stays hidden, also when the menu bar is shown again.
    SetActionTag(Window_Menu, -1);
    Window_Menu->setVisible(false);
    N1->setVisible(false);
    N7->setVisible(true);
}

void TfrmMain::AddHelpDocuments()
{
    struct Doc {
        char Letter;
        const char* Caption;
        const char* Hint;
        int Tag;
    };
    const Doc docs[] = {{'f', "&Flyer", "Opens the promo flyer", 3},
                        {'q', "&Quick Start Guide", "Opens the Quick Start Guide", 2},
                        {'m', "&Manual", "Opens the manual", 1}};
    QAction* before = Help1->actions().isEmpty() ? nullptr : Help1->actions().first();
    for (const Doc& d : docs) {
        if (!FileExists(HelpDocumentPath(d.Letter))) continue;
        auto* a = new QAction(tr(d.Caption), this);
        a->setObjectName(QString("HelpPDF%1").arg(d.Tag));
        a->setStatusTip(tr(d.Hint));
        a->setToolTip(tr(d.Hint));
        a->setIcon(ThemeIcon("application-pdf", QStyle::SP_FileIcon));
        SetActionTag(a, d.Tag);
        int tag = d.Tag;
        connect(a, &QAction::triggered, this, [this, tag] { HelpPDFExecute(tag); });
        Help1->insertAction(before, a);
        HelpDocumentActions << a;
    }
    if (!HelpDocumentActions.isEmpty()) Help1->insertSeparator(before);
}

void TfrmMain::HelpPDFExecute(int tag)
{
    char letter = tag == 3 ? 'f' : tag == 2 ? 'q' : 'm';
    OpenWithShell(HelpDocumentPath(letter), "open", "", "", 3);
}

void TfrmMain::RebuildRecentMenu()
{
    for (QAction* a : RecentItems) {
        File1->removeAction(a);
        a->deleteLater();
    }
    RecentItems.clear();
    if (RecentSeparator) {
        File1->removeAction(RecentSeparator);
        RecentSeparator->deleteLater();
        RecentSeparator = nullptr;
    }
    QList<QAction*> items = File1->actions();
    int n3 = int(items.indexOf(N3));
    QAction* next = n3 >= 0 && n3 + 1 < items.size() ? items[n3 + 1] : nullptr;
    QFontMetrics fm(font());
    for (size_t i = 0; i < Settings.Recent.size(); ++i) {
        const std::string path = Settings.Recent[i];
        std::string shown = ShortenPath(
            path, [&fm](const std::string& s) { return fm.horizontalAdvance(QString::fromStdString(s)); }, 200);
        QString caption = QString::fromStdString(Format("&%d %s", int(i + 1), shown.c_str()));
        auto* a = new QAction(caption, this);
        a->setObjectName(QString("Recent%1").arg(i + 1));
        QString hint = QString::fromStdString(Format("Open file \"%s\"", path.c_str()));
        a->setStatusTip(hint);
        a->setToolTip(hint);
        connect(a, &QAction::triggered, this, [this, path] { OpenFile(path); });
        File1->insertAction(next, a);
        RecentItems << a;
    }
    if (!RecentItems.isEmpty() && next) {
        RecentSeparator = new QAction(this);
        RecentSeparator->setSeparator(true);
        File1->insertAction(next, RecentSeparator);
    }
}

QList<QAction*> TfrmMain::RecentActions() const { return RecentItems; }

void TfrmMain::AddRecentFile(const std::string& path)
{
    AddRecentEntry(Settings.Recent, path);
    RebuildRecentMenu();
}

void TfrmMain::RemoveRecentFile(const std::string& path)
{
    RemoveRecentEntry(Settings.Recent, path);
    RebuildRecentMenu();
}

void TfrmMain::UpdateActions()
{
    int n = TrainingCount();
    FileNew->setEnabled(n < kMaxTrainings);
    FileOpen->setEnabled(n < kMaxTrainings);
    TMDIChild* child = ActiveMDIChild();
    TMDIChild* target = SaveTarget();
    FileClose->setEnabled(ActiveChild() != nullptr);
    FileSave->setEnabled(target && !target->Closing() && target->CanSave());
    FileSaveAs->setEnabled(target && !target->Closing() && target->CanSaveAs());
    FileExport->setEnabled(target && !target->Closing() && target->Training() && CanExport(*target->Training()));
    bool chart = child && child->IsChartWindow();
    FileSaveChart->setEnabled(chart);
    EditCopyChart->setEnabled(chart);
    ViewTraining->setEnabled(RowWindow() != nullptr);
    AnalyseStrokeData->setEnabled(n > 0);
    AnalyseForceCurves->setEnabled(n > 0);
}

// ---------------------------------------------------------------- settings

std::string TfrmMain::SettingsFileName() const { return SettingsFile(false); }
std::string TfrmMain::SettingsFileForReading() const { return SettingsFile(false); }
std::string TfrmMain::SettingsFileForWriting() const { return SettingsFile(true); }

void TfrmMain::LoadProgramSettings()
{
    std::string file = SettingsFile(false);
    std::string lastDir = UserDataFolder(false);
    if (file.empty()) {
        Settings = TProgramSettings();
        Settings.LastDir = lastDir;
    } else {
        TProfileFile ini(file);
        ReadProgramSettings(ini, Settings, lastDir);
        LoadStrokeScaling(ini, "StrokeData");
    }
    SetDataRange(Settings.DataRange);
    // The window bounds rule, applied without showing the window yet.
    TPlacement p{Settings.Left, Settings.Top, Settings.Width, Settings.Height};
    if (p.IsMaximised()) {
        setWindowState(Qt::WindowMaximized);
    } else if (p.IsMinimised()) {
        setWindowState(Qt::WindowMinimized);
    } else {
        setWindowState(Qt::WindowNoState);
        setGeometry(p.Left, p.Top, std::max(p.Width, 100), std::max(p.Height, 100));
    }
    // Keyboard shortcuts.
    HelpAbout->setShortcut(QKeySequence("F1"));
    FileOpen->setShortcut(QKeySequence("Ctrl+O"));
    FileSaveAs->setShortcut(QKeySequence("Ctrl+Alt+S"));
    ViewTraining->setShortcut(QKeySequence("Ctrl+T"));
    AnalyseStrokeData->setShortcut(QKeySequence());
    AnalyseForceCurves->setShortcut(QKeySequence());
}

void TfrmMain::SaveProgramSettings()
{
    TPlacement p = SavePlacement(this);
    if (windowState() & Qt::WindowMaximized) p = TPlacement{-1, -1, -1, -1};
    if (windowState() & Qt::WindowMinimized) p = TPlacement{0, 0, 0, 0};
    Settings.Left = p.Left;
    Settings.Top = p.Top;
    Settings.Width = p.Width;
    Settings.Height = p.Height;
    std::string file = SettingsFile(true);
    if (file.empty() || !IsWritable(file)) return;
    {
        TProfileFile ini(file);
        WriteProgramSettings(ini, Settings, StartTimeValue, NowDays());
        ini.UpdateFile();
        SaveStrokeScaling(ini, "StrokeData");
        ini.UpdateFile();
    }
    NormaliseProfileFile(file);
}

// ---------------------------------------------------------------- start-up

bool TfrmMain::HandleFileTypeOptions()
{
    TFileTypeOption option = FileTypeOptionOf(Arguments);
    if (option == TFileTypeOption::None) return false;
    switch (option) {
    case TFileTypeOption::Register:
        // The registration selection: all five types.
        RegisterFileTypes(true, true, true, true, true);
        break;
    case TFileTypeOption::RegisterAll: RegisterFileTypes(true, true, true, true, true); break;
    case TFileTypeOption::Unregister: RegisterFileTypes(false, false, false, false, false); break;
    default: break;
    }
    ReadmeStep();
    ExitAfterCreate = true;
    ExitCodeValue = 0;
    return true;
}

void TfrmMain::showEvent(QShowEvent* event)
{
    TMDIMain::showEvent(event);
    ApplyAppearance();
    if (FirstShowPending) {
        FirstShowPending = false;
        QTimer::singleShot(0, this, [this] { FirstShow(); });
    }
}

void TfrmMain::FirstShow()
{
    if (FirstShowRan) return;
    FirstShowRan = true;
    FirstShowPending = false;
    if (SettingsFile(true).empty()) {
        std::string text =
            "There was an error saving program settings to file\r\"" + SettingsFile(false) + "\".\r" +
            Format("Please consider running %s with Adminstrative", VersionString("FileDescription").c_str()) +
            "\rrights, change the access rights to this file or\rinstall the software in a different "
            "folder.";
        ShowWarningBox(text);
    }
    MoveOlderFiles();
    // A rower who finds the recording that was lost looks at it first.
    const int recovered = OfferRecoveries();
    if (Arguments.empty() && recovered > 0) {
        // No splash and no new row over it.
    } else if (Arguments.empty() && StartTiming::QuitWhenDone()) {
        // Timed start only: no splash to wait for.
    } else if (Arguments.empty()) {
        CreateSplash(0);
        SplashWindow->SplashCloseTime();
        SplashWindow->SetParamText(QString());
        SplashWindow->exec();
        ViewRow->trigger();
        FreeSplash();
    } else {
        CreateSplash(int(Arguments.size()));
        SplashWindow->show();
        for (const std::string& a : Arguments) {
            QElapsedTimer took;
            took.start();
            ProcessParameter(a);
            if (StartTiming::Enabled()) {
                QApplication::processEvents();  // until the windows it opened are painted
                StartTiming::ReportSpan("\"" + a + "\"", double(took.nsecsElapsed()) / 1e6);
            }
        }
        FreeSplash();
    }
    RefreshWindowPanels();
    StartTiming::QuitOnceShown();
}

int TfrmMain::OfferRecoveries()
{
    int recovered = 0;
    for (const TJournalInfo& info : FindJournals(JournalFolder(false))) {
        // Another copy is still recording into it, or the session was saved
        // or discarded and only the file stayed behind.
        if (info.InUse || !info.Report.Readable || info.Report.Ended || info.Report.Strokes == 0) continue;
        const TMsgResult answer = Dialogs().CaptionedBox(
            TMsgKind::Confirmation, RecoverQuestionText(info), mbYesNoCancel, TMsgResult::Yes,
            {{TMsgResult::Yes, "&Recover"}, {TMsgResult::No, "&Discard"}, {TMsgResult::Cancel, "&Later"}});
        if (answer == TMsgResult::No) {
            EndJournal(info.Path, jeDiscarded);
            continue;
        }
        if (answer != TMsgResult::Yes) continue;
        if (TooManyTrainings()) break;  // the others are offered at the next start
        TTraining t;
        TJournalReport report;
        if (!RecoverJournalFile(info.Path, t, report)) {
            ShowErrorBox(
                Format("The recording in \"%s\" cannot be recovered: %s", info.Path.c_str(), report.Problem.c_str()));
            continue;
        }
        // Parts a later version wrote stay for it: that journal is not ended by a save.
        if (report.NewerVersion) t.JournalFile.clear();
        if (!CreateTrainingWindow(t, Sessions.NextId(), SettingsFile(false))) continue;
        ++recovered;
    }
    if (recovered > 0) RefreshWindowPanels();
    return recovered;
}

void TfrmMain::ProcessParameter(const std::string& argument)
{
    TParamAction action = ClassifyParameter(argument);
    std::string settings = SettingsFile(false);
    Trace("Parameter \"" + argument + "\"");
    if (!action.Step.empty()) SplashStep(action.Step);
    switch (action.Kind) {
    case TParamKind::Ignore: break;
    case TParamKind::Bad: ShowErrorBox(BadParameterText(argument)); break;
    case TParamKind::Help: ShowInformationBox(HelpBoxText()); break;
    case TParamKind::StrokeData: ShowStrokeDataWindow(settings); break;
    case TParamKind::ForceCurves: ShowForceCurvesWindow(settings); break;
    case TParamKind::NewTraining: NewTrainingWindow(settings); break;
    case TParamKind::Row: OpenRowWindow(settings, ""); break;
    case TParamKind::RowWithFile: OpenRowWindow(settings, action.Value); break;
    case TParamKind::File: OpenFile(argument); break;
    }
}

void TfrmMain::ProcessRemoteParameters(const std::string& text)
{
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    std::vector<std::string> lines = ForwardedLines(text);
    Trace(Format("Command line from a second start: %d argument(s)", int(lines.size())));
    CreateSplash(int(lines.size()));
    SplashWindow->show();
    for (const std::string& line : lines) ProcessParameter(line);
    FreeSplash();
    RefreshWindowPanels();
}

void TfrmMain::CreateSplash(int steps)
{
    FreeSplash();
    SplashWindow = new TfrmSplash(steps, DialogColor(), Appearance().Font, this);
    SplashWindow->setModal(false);
}

void TfrmMain::SplashStep(const std::string& text)
{
    if (SplashWindow) SplashWindow->SplashStep(QString::fromStdString(text));
}

void TfrmMain::FreeSplash()
{
    if (SplashWindow) delete SplashWindow.data();
}

// ---------------------------------------------------------------- sessions

QList<TMDIChild*> TfrmMain::TrainingWindows() const
{
    QList<TMDIChild*> list;
    for (int32_t id : Sessions.Ids())
        if (TMDIChild* w = SessionWindow(id)) list << w;
    return list;
}

TMDIChild* TfrmMain::RowWindow() const
{
    for (QWidget* w : ChildList())
        if (auto* row = qobject_cast<TMDIChild*>(w); row && row->ChildKind() == chkRow && !row->Closing()) return row;
    return nullptr;
}

QList<TMDIChild*> TfrmMain::ChartWindows() const
{
    QList<TMDIChild*> list;
    for (QWidget* w : ChildList())
        if (auto* chart = qobject_cast<TMDIChild*>(w); chart && chart->IsChartWindow() && !chart->Closing())
            list << chart;
    return list;
}

TMDIChild* TfrmMain::SaveTarget() const
{
    TMDIChild* child = ActiveMDIChild();
    if (child && child->ChildKind() == chkRow) return SessionWindow(child->SessionId());
    return child;
}

void TfrmMain::ShowFilling(TMDIChild* child)
{
    QMdiSubWindow* sub = child->SubWindow();
    bool minimised = sub && sub->isMinimized();
    ShowChild(child);
    if (minimised) FillFrame(child);
}

void TfrmMain::ViewTrainingExecute()
{
    if (TMDIChild* row = RowWindow())
        if (TMDIChild* training = SessionWindow(row->SessionId())) ShowFilling(training);
}

TAppearance TfrmMain::Appearance() const
{
    TAppearance a;
    a.Font = QApplication::font();
    QPalette pal = QApplication::palette();
    a.TextColor = pal.color(QPalette::WindowText);
    a.WindowColor = pal.color(QPalette::Base);
    a.FaceColor = pal.color(QPalette::Button);
    return a;
}

QColor TfrmMain::DialogColor() const { return ToQColor(Settings.Dialog); }

void TfrmMain::ApplyAppearance()
{
    TAppearance a = Appearance();
    setFont(a.Font);
    ChartOptionsDialog().SetAppearance(a.Font, a.TextColor, a.WindowColor, a.FaceColor);
    SelectColumnsDialog().SetAppearance(a.Font, a.TextColor, a.WindowColor, a.FaceColor);
    NewRowDialog->SetAppearance(a.Font, a.TextColor, a.WindowColor, a.FaceColor);
    ResultsDialog->SetAppearance(a.Font, a.TextColor, a.WindowColor, a.FaceColor);
    for (QWidget* w : ChildList())
        if (auto* child = qobject_cast<TMDIChild*>(w)) child->SetAppearance(a);
    MDIClient()->viewport()->update();
}

// ---------------------------------------------------------------- files and windows

TMDIChild* TfrmMain::CreateTrainingWindow(const TTraining& record, int32_t id, const std::string& settingsFile)
{
    Sessions.Add(record, id);
    TMDIChild* w = Windows.TrainingWindow(Sessions, id);
    QMdiSubWindow* sub = AddChild(w);
    w->LoadSettings(settingsFile, WindowPlacement());
    if (!sub->isVisible()) sub->show();
    w->SetAppearance(Appearance());
    w->RefreshAll();
    MDIClient()->setActiveSubWindow(sub);
    return w;
}

void TfrmMain::OpenFile(const std::string& fileName)
{
    if (TooManyTrainings()) return;
    OpenTrainingFile(SettingsFile(false), fileName);
}

void TfrmMain::OpenTrainingFile(const std::string& settingsFile, const std::string& fileName)
{
    if (TooManyTrainings()) return;
    std::string path = ExpandFileName(fileName);
    if (!FileExists(path)) {
        ShowErrorBox(Format("File \"%s\" not found.", path.c_str()));
        SetStatusText(2, QString());
        RemoveRecentFile(path);
        return;
    }
    SetStatusText(2, QString::fromStdString(Format("Opening file \"%s\" ...", path.c_str())));
    StatusBar()->RepaintNow();
    if (FileTypeOf(path) == 0) {
        ShowErrorBox(Format("Extension \"%s\" not supported.", ExtractFileExt(path).c_str()));
        SetStatusText(2, QString());
        return;
    }
    TTraining t;
    bool ok = OpenTraining(path, t, true, [this](double fraction) {
        if (fraction < 0) SetProgress(-1);
        else SetProgressFraction(fraction);
    });
    SetProgress(-1);
    if (!ok) return;
    if (t.Header.ContentKind != ckTraining) {
        t.Header.Active = t.Strokes.size() > 1 ? 1 : 0;
        t.Header.SelectedStroke = 1;
    }
    if (!CreateTrainingWindow(t, Sessions.NextId(), settingsFile)) return;
    ++Settings.Statistics.FilesOpened;
    Settings.LastDir = ExtractFilePath(path);
    AddRecentFile(path);
    SetStatusText(2, QString());
    RefreshWindowPanels();
}

void TfrmMain::NewTrainingWindow(const std::string& settingsFile)
{
    if (TooManyTrainings()) return;
    std::vector<std::string> titles;
    for (int i = 0; i < Sessions.Count(); ++i) titles.push_back(Sessions.At(i)->Header.Title.Text());
    int n = AnyoneNumber(titles);
    int32_t id = Sessions.NextId();
    TTraining t;
    NewTraining(t);
    if (n > 0) t.Header.Title.SetText(NumberedTitle(t.Header.Title.Text(), n));
    if (!CreateTrainingWindow(t, id, settingsFile)) return;
    RefreshWindowPanels();
}

bool TfrmMain::OpenRowWindow(const std::string& settingsFile, const std::string& userFile)
{
    if (RowWindowGuard) return false;
    if (TMDIChild* row = RowWindow()) {
        ShowFilling(row);
        return false;
    }
    if (!userFile.empty() && ExtractFileName(userFile) != "?" && !FileExists(userFile)) {
        ShowErrorBox(Format("File \"%s\" not found", userFile.c_str()));
        RemoveRecentFile(userFile);
        return false;
    }
    if (!userFile.empty() && TooManyTrainings()) return false;
    if (!userFile.empty()) NewRowDialog->LoadUserFile(userFile);

    // An empty user session in the active window may take the row.
    TMDIChild* training = nullptr;
    if (TMDIChild* active = ActiveMDIChild(); active && active->ChildKind() == chkTraining && !active->Closing() &&
                                              IsUserOnly(*active->Training()) && IsEmptyTraining(*active->Training()) &&
                                              ConfirmYesNo("Use current User file to record a training session?"))
        training = active;
    if (!training) {
        if (TooManyTrainings()) return false;
        TTraining record;
        if (!NewRowDialog->Ask(record)) return false;
        RowWindowGuard = true;
        const int32_t id = Sessions.NextId();
        Sessions.Add(record, id);
        training = Windows.TrainingWindow(Sessions, id);
        QMdiSubWindow* sub = AddChild(training);
        sub->showMinimized();
    }
    training->Training()->Header.ContentKind = ckUser;
    training->RefreshAll();
    training->LoadSettings(settingsFile, WindowPlacement());
    training->SetAppearance(Appearance());

    RowWindowGuard = true;
    Windows.RowWindow(this, Sessions, training->SessionId());
    RowWindowGuard = false;
    UpdateActions();
    RefreshWindowPanels();
    return true;
}

bool TfrmMain::ShowExistingChart(TChildKind kind)
{
    for (TMDIChild* chart : ChartWindows())
        if (chart->ChildKind() == kind) {
            // Brought back from minimised, it fills the frame; with Shift held
            // every child does.
            QMdiSubWindow* sub = chart->SubWindow();
            const bool minimised = sub && sub->isMinimized();
            ShowChild(chart);
            if (minimised) MaximizeChildren(IsShiftDown());
            return true;
        }
    return false;
}

void TfrmMain::ShowNewChart(TMDIChild* chart)
{
    if (chart) ShowChild(chart);
    RefreshWindowPanels();
}

void TfrmMain::ShowStrokeDataWindow(const std::string& settingsFile)
{
    if (!ShowExistingChart(chkStrokeData)) ShowNewChart(Windows.StrokeDataWindow(this, Sessions, settingsFile));
}

void TfrmMain::ShowForceCurvesWindow(const std::string& settingsFile)
{
    if (!ShowExistingChart(chkForceCurves)) ShowNewChart(Windows.ForceCurvesWindow(this, Sessions, settingsFile));
}

void TfrmMain::FileOpenExecute()
{
    if (TooManyTrainings()) return;
    TDialogFilter filter = DialogFilter(dkOpenKinds, true, true);
    TFileDialogRequest request;
    request.Title = "Open file";
    request.MultiSelect = true;
    request.Filter = filter.Filter;
    request.FilterIndex = filter.DefaultIndex;
    request.InitialDir = Settings.LastDir;
    TFileDialogResult result = Dialogs().FileDialog(request);
    if (result.Accepted)
        for (const std::string& f : result.FileNames) OpenFile(f);
    RefreshWindowPanels();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event)
{
    std::vector<std::string> files;
    Trace(Format("Dropped %d item(s)", int(event->mimeData()->urls().size())));
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    for (const std::string& f : files) OpenFile(f);
}

void TfrmMain::HelpAboutExecute()
{
    TfrmAbout about(DialogColor(), this);
    about.Fill(Appearance().Font, Settings.Statistics, StartTimeValue, NowDays());
    about.exec();
}

void TfrmMain::ReclameTimer()
{
    tmrReclame->stop();
    SetWindowPanels(true);
    StatusBarResize();
}

void TfrmMain::StatusBarResize()
{
    TStatusPanelBar* bar = StatusBar();
    if (bar->PanelCount() < 4) return;
    TStatusPanel& credit = bar->Panel(3);
    if (tmrReclame && tmrReclame->isActive()) {
        credit.Text = kCreditText;
        credit.Bevel = TPanelBevel::Lowered;
        int textWidth = QFontMetrics(bar->font()).horizontalAdvance(credit.Text);
        credit.Width = textWidth + bar->height();
        bar->Panel(2).Width =
            std::max(bar->width() - bar->Panel(0).Width - bar->Panel(1).Width - (textWidth + bar->height()) - 10, 0);
    } else {
        credit.Text.clear();
        credit.Bevel = TPanelBevel::None;
    }
    bar->update();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    ClosingFlag = true;
    bool ok = Dialogs().MessageBox(
                  TMsgKind::Confirmation,
                  Format("This will exit %s. Are you sure? %s", VersionString("FileDescription").c_str(), ""),
                  mbOKCancel, TMsgResult::OK) == TMsgResult::OK;
    if (ok) {
        // Every window is asked before any closes, so that a Cancel leaves
        // the whole workspace as it was; each is asked once.
        QList<QPointer<TMDIChild>> children;
        for (QWidget* w : ChildList())
            if (auto* child = qobject_cast<TMDIChild*>(w)) {
                child->ResetCloseRefused();
                child->ForgetCloseAnswer();
                children << child;
            }
        for (const QPointer<TMDIChild>& child : children) {
            if (child && !child->AskToClose()) {
                ok = false;
                break;
            }
        }
        if (!ok)
            for (const QPointer<TMDIChild>& child : children)
                if (child) child->ForgetCloseAnswer();
    }
    if (ok) {
        QList<QPointer<QMdiSubWindow>> subs;
        for (QMdiSubWindow* sub : MDIClient()->subWindowList()) subs << sub;
        for (const QPointer<QMdiSubWindow>& sub : subs) {
            if (!sub) continue;
            auto* child = qobject_cast<TMDIChild*>(sub->widget());
            if (child && (child->CloseRefused() || child->Closing())) continue;
            sub->close();
        }
        for (QWidget* w : ChildList()) {
            auto* child = qobject_cast<TMDIChild*>(w);
            if (!child || !child->Closing()) ok = false;  // a child refused to close
        }
    }
    ClosingFlag = ok;
    if (!ok) {
        event->ignore();
        return;
    }
    FreeSplash();
    SetWallpaper(QPixmap());
    event->accept();
}
