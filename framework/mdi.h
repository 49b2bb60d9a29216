#pragma once
// The multiple-document frame (TMDIMain) and the base of its child windows
// (TMDIChild): the free client area, filling the frame with a child, the
// wallpaper behind the children and the window switcher in the status bar.
//
// A child is created by its owner, added with TMDIMain::AddChild (which wraps
// it in a frame window that is deleted when the child closes), and only then
// placed (LoadSettings / PlaceWindow need the frame window).
#include <cstdint>
#include <string>

#include <QMdiArea>
#include <QPixmap>

#include "framework/form_main.h"
#include "framework/registry.h"
#include "framework/window_util.h"

class QMdiSubWindow;
class TMDIMain;
struct TTraining;

// What a child window is, for the main window's action rules.
enum TChildKind : int { chkOther, chkTraining, chkRow, chkStrokeData, chkForceCurves };

class TMDIChild : public QWidget {
    Q_OBJECT
public:
    explicit TMDIChild(QWidget* parent = nullptr);
    ~TMDIChild() override;

    virtual TChildKind ChildKind() const { return chkOther; }

    // Set when the window closes; a closing window no longer counts as open.
    bool Closing() const { return ClosingFlag; }
    void SetClosing(bool closing) { ClosingFlag = closing; }
    // The user kept the window open when asked (reset before closing them all,
    // so that each window is asked once).
    bool CloseRefused() const { return Refused; }
    void ResetCloseRefused() { Refused = false; }
    // Asks the window's closing question now, ahead of closing it (the frame
    // asks every window before it closes any). A window that agreed closes
    // later without asking again; false: the user keeps it open.
    bool AskToClose();
    // Forgets an answer of AskToClose (closing was cancelled elsewhere).
    void ForgetCloseAnswer() { Agreed = false; }

    // The frame window around this child, nullptr until added to a frame.
    QMdiSubWindow* SubWindow() const;
    TMDIMain* Frame() const;
    TMainRegistry* Registry() const { return MainRegistry(); }

    // Caption shown by the frame window and the window switcher.
    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& caption);

    // Places the frame window: mode 1 the given bounds by the placement rule
    // (four -1 maximise, four 0 minimise), 2 fill the frame, 3 maximised.
    void PlaceWindow(int mode, const TPlacement& bounds);
    // The frame window's bounds by the placement rule.
    TPlacement Placement() const;
    bool IsMinimised() const;
    // Shows and activates this child.
    void ShowChild();

    // Appearance from the main window; the child keeps its designed colour
    // and font for derived windows that want them.
    virtual void SetAppearance(const TAppearance& appearance);
    QColor DesignedColor;
    QFont DesignedFont;

    // Session shown by a training window (nullptr for other windows) and the
    // id of the session a window holds or records (0 for none).
    virtual TTraining* Training() { return nullptr; }
    virtual int32_t SessionId() const { return 0; }
    virtual void RefreshAll() {}
    // Reads the window's section of the settings file and places it.
    virtual void LoadSettings(const std::string& settingsFile, int mode) {}

    // The main window's File and Edit actions on the active child.
    virtual bool CanSave() const { return false; }  // unsaved changes to save
    virtual bool CanSaveAs() const { return false; }
    virtual void FileSave() {}
    virtual void FileSaveAs() {}
    // Saves the session the window holds as File > Save does (the training
    // window that holds it); false when nothing was saved.
    virtual bool SaveHeldSession() { return false; }
    virtual bool IsChartWindow() const { return false; }
    // Copies the chart picture to the clipboard and, when save, into a bitmap file.
    virtual void ChartPicture(bool save) {}

    // True while the window's own code waits in a nested event loop further
    // up the stack (a question, a connect). A deletion of its frame asked for
    // meanwhile (the window closed from inside that loop) is held back until
    // the window calls BusyEnded, so that code returns to a whole window.
    virtual bool Busy() const { return false; }
    // Holds the deletion of the frame window while Busy (set up by the frame).
    bool HoldDeletion();

protected:
    // The code that kept the window busy has returned: a held deletion of
    // its frame goes ahead from the event loop.
    void BusyEnded();
    // Asked before the window closes (not when it is already closing); false keeps it open.
    virtual bool CloseQuery() { return true; }
    // The window closes: save settings, tell the main window. The closing flag is set before.
    virtual void FormClose() {}
    void closeEvent(QCloseEvent* event) override;

private:
    bool ClosingFlag = false;
    bool Closed = false;  // closed once: a later close (its frame following) does nothing more
    bool Refused = false;
    bool Agreed = false;  // AskToClose was answered yes
    bool DeletionHeld = false;
};

// The client area of the frame: white, with the wallpaper centred.
class TMDIClientArea : public QMdiArea {
    Q_OBJECT
public:
    explicit TMDIClientArea(QWidget* parent = nullptr);
    void SetWallpaper(const QPixmap& picture);
    const QPixmap& Wallpaper() const { return Picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap Picture;
};

class TMDIMain : public TFormMain {
    Q_OBJECT
public:
    explicit TMDIMain(QWidget* parent = nullptr);
    ~TMDIMain() override;

    TMDIClientArea* MDIClient() const { return Client; }

    // Adds a child; returns its frame window (deleted when the child closes).
    QMdiSubWindow* AddChild(TMDIChild* child);
    // The frame's child list (the widgets inside the frame windows), in the
    // order the children were added; includes closing children still present.
    QList<QWidget*> ChildList() const;
    int MDIChildCount() const { return int(ChildList().size()); }
    QWidget* ActiveChild() const;
    TMDIChild* ActiveMDIChild() const;
    // Shows a child, restores it when minimised, and activates it.
    void ShowChild(QWidget* child);
    // The open (not closing) training window holding a session id; nullptr when none.
    TMDIChild* SessionWindow(int32_t sessionId) const;

    // Size a child gets when it fills the frame.
    QSize FreeArea() const;
    // Moves a child window (its frame) back into the free area where it sticks out.
    void KeepInside(QWidget* window);
    // The child gets normal state, position 0,0 and the free area's size.
    void FillFrame(QWidget* child);
    // With Shift held every child fills the frame, otherwise the active one.
    void WindowMaximizeExecute();
    void MaximizeChildren(bool all);

    // Window switcher in the status bar.
    void SetWindowPanels(bool on);
    bool WindowPanels() const { return SwitcherOn; }
    void RefreshWindowPanels();
    int DesignedPanelCount() const { return DesignedPanels; }
    // Counts the designed panels (call after the derived window has added its own).
    void SetDesignedPanels();
    // A child closed: refresh the panels 500 ms later.
    void ChildClosed(TMDIChild* child);
    void SetWallpaper(const QPixmap& picture) { Client->SetWallpaper(picture); }

    QAction* Window_Menu = nullptr;  // "&Window" menu item
    QMenu* WindowMenu = nullptr;

protected:
    bool IsMDIFrame() const override { return true; }
    int ChildWindowCount() const override;
    void StatusBarMouseMove(int x, int y) override;
    void StatusBarClick(int x, int y) override;
    void resizeEvent(QResizeEvent* event) override;
    virtual void ChildActivated(QWidget* child);

private:
    void DrawSwitcherPanel(QPainter& painter, int index, const QRect& rect);
    TMDIClientArea* Client = nullptr;
    QTimer* RefreshTimer = nullptr;
    bool SwitcherOn = false;
    int DesignedPanels = 0;
    int DesignedLastWidth = 0;
    int PanelUnderMouse = -1;
};
