#pragma once
// The base of the main window: title from the version information, the
// common menus and actions (File, Edit, View, Help), the View options with
// their persistence, the status bar with its progress display, and the tool
// bars built from the menus.
#include <string>
#include <vector>

#include <QMainWindow>

#include "framework/status_bar.h"

class QAction;
class QFrame;
class QMenu;
class QProgressBar;
class QTimer;
class QToolBar;

// The integer "tag" of an action or menu item (0 when never set). A negative
// tag keeps a top-level menu hidden when the menu bar is shown again.
int ActionTag(const QObject* action);
void SetActionTag(QObject* action, int tag);
// Splits a hint "short|long" into the tool tip and the status text of an action.
void SetActionHint(QAction* action, const QString& hint);
// Theme icon with a fallback from the style.
QIcon ThemeIcon(const QString& themeName, int standardPixmap = -1);

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // The settings file the View and tool-bar settings are read from and
    // written to: the program file with ".ini" unless overridden.
    virtual std::string SettingsFileName() const;

    // View options (each action's checked state mirrors its option).
    bool Fullscreen() const { return FullscreenOn; }
    bool HintsShown() const { return HintsOn; }
    bool MenuShown() const { return MenuOn; }
    bool ToolbarShown() const { return ToolbarOn; }
    bool StatusbarShown() const { return StatusbarOn; }
    // Full screen is refused with a warning while a child window is open.
    void SetFullscreen(bool on);
    void SetHints(bool on);
    void SetMenuShown(bool on);
    void SetToolbarShown(bool on);
    void SetStatusbarShown(bool on);

    // Progress display over status panel 0: -1 hides it, 0..100 shows it.
    void SetProgress(int percent);
    // fraction * 100 rounded half to even.
    void SetProgressFraction(double fraction);
    int Progress() const { return ProgressPosition; }
    QProgressBar* ProgressBar() const { return ProgressBarWidget; }

    TStatusPanelBar* StatusBar() const { return StatusPanels; }
    void SetStatusText(int panel, const QString& text);

    // Rebuilds the tool bars from the visible menus and their actions with images.
    void RebuildToolbars();
    QList<QToolBar*> Toolbars() const;
    // Shows or hides one tool bar by name (as its pop-up menu does).
    void SetToolbarVisible(const QString& name, bool visible);

    // Runs every action's update handler (also done on a timer and before menus open).
    virtual void UpdateActions() {}

    // Components, named as in the form.
    QMenu* File1 = nullptr;
    QMenu* Edit1 = nullptr;
    QMenu* View1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* FileExit = nullptr;
    QAction* EditCut = nullptr;
    QAction* EditCopy = nullptr;
    QAction* EditPaste = nullptr;
    QAction* EditFind = nullptr;
    QAction* ViewFullscreen = nullptr;
    QAction* ViewHints = nullptr;
    QAction* ViewMenu = nullptr;
    QAction* ViewToolbar = nullptr;
    QAction* ViewStatusbar = nullptr;
    QAction* HelpWebsite = nullptr;
    QAction* HelpUpdate = nullptr;
    QAction* HelpAbout = nullptr;
    QAction* Update1 = nullptr;  // menu item of HelpUpdate

protected:
    // Second creation step, after the derived window has set itself up far
    // enough for the virtual operations: reads and applies the View settings.
    void FrameworkCreate();
    // Writes the View and tool-bar settings (after the derived window's own).
    void FrameworkDestroy();
    // A multiple-document frame draws no extra lines around its client area.
    virtual bool IsMDIFrame() const { return false; }
    // Open child windows (full screen is refused while there are any).
    virtual int ChildWindowCount() const { return 0; }
    virtual void HelpAboutExecute();
    virtual void StatusBarMouseMove(int x, int y);
    virtual void StatusBarClick(int x, int y) {}
    virtual void StatusBarDoubleClick(int x, int y);
    // Creates an action owned by the window (name, caption, hint "short|long").
    QAction* MakeAction(const char* name, const QString& caption, const QString& hint,
                        const QKeySequence& shortcut = QKeySequence(), const QString& icon = QString(),
                        int standardPixmap = -1);
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    bool VersionPanelHover = false;
    QFrame* BevelStatus = nullptr;
    QFrame* MenuLine = nullptr;

private:
    void ApplyLines();
    std::vector<QToolBar*> BuiltToolbars;
    TStatusPanelBar* StatusPanels = nullptr;
    QProgressBar* ProgressBarWidget = nullptr;
    QTimer* UpdateTimer = nullptr;
    int ProgressPosition = -1;
    bool FullscreenOn = false;
    bool HintsOn = true;
    bool MenuOn = true;
    bool ToolbarOn = true;
    bool StatusbarOn = true;
    bool FrameworkSaved = false;
};
