#include "framework/mdi.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "framework/window_util.h"

// ---- TMDIChild ----

TMDIChild::TMDIChild(QWidget* parent) : QWidget(parent)
{
    DesignedColor = palette().color(QPalette::Window);
    DesignedFont = font();
}

TMDIChild::~TMDIChild() = default;

namespace {

// Holds back the deferred deletion of a child's frame window while the child
// is busy (TMDIChild::Busy).
class TFrameKeeper : public QObject {
public:
    TFrameKeeper(TMDIChild* child, QObject* parent) : QObject(parent), Child(child) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::DeferredDelete && Child && Child->HoldDeletion()) return true;
        return QObject::eventFilter(watched, event);
    }
    QPointer<TMDIChild> Child;
};

// Deletes a widget when it is itself deleted with deleteLater: the deletion
// then runs only once the event posting it has returned.
class TDeferredWidgetDelete : public QObject {
public:
    explicit TDeferredWidgetDelete(QWidget* widget) : Widget(widget) {}
    ~TDeferredWidgetDelete() override { delete Widget.data(); }
    QPointer<QWidget> Widget;
};

}  // namespace

bool TMDIChild::HoldDeletion()
{
    if (!Busy()) return false;
    DeletionHeld = true;
    return true;
}

void TMDIChild::BusyEnded()
{
    if (!DeletionHeld) return;
    DeletionHeld = false;
    QWidget* frame = SubWindow();
    (new TDeferredWidgetDelete(frame ? frame : static_cast<QWidget*>(this)))->deleteLater();
}

QMdiSubWindow* TMDIChild::SubWindow() const { return qobject_cast<QMdiSubWindow*>(parentWidget()); }

TMDIMain* TMDIChild::Frame() const
{
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* frame = qobject_cast<TMDIMain*>(w)) return frame;
    return nullptr;
}

void TMDIChild::SetCaption(const QString& caption)
{
    setWindowTitle(caption);
    if (QMdiSubWindow* sub = SubWindow()) sub->setWindowTitle(caption);
}

namespace {

// The size a child window's frame gets when it is not maximised: large enough
// for every control of the child (its size hint), and two thirds of the
// frame's free area where that is more, never more than the area.
QSize UsableFrameSize(QMdiSubWindow* sub, TMDIMain* frame)
{
    QSize want = sub->sizeHint().expandedTo(sub->minimumSizeHint());
    QSize area = frame ? frame->FreeArea() : QSize();
    if (area.width() < 200 || area.height() < 150) area = QSize(1024, 700);
    want = want.expandedTo(QSize(area.width() * 2 / 3, area.height() * 2 / 3));
    return want.boundedTo(area);
}

}  // namespace

void TMDIChild::PlaceWindow(int mode, const TPlacement& bounds)
{
    QWidget* w = SubWindow() ? static_cast<QWidget*>(SubWindow()) : this;
    // A window that opens maximised, minimised or filling the frame restores
    // to a usable size, not to the small one it was made with.
    if (QMdiSubWindow* sub = SubWindow(); sub && !sub->isMaximized() && !sub->isMinimized()) {
        const bool ownBounds = mode == wpmStoredBounds && !bounds.IsMaximised() && !bounds.IsMinimised();
        if (!ownBounds) sub->resize(UsableFrameSize(sub, Frame()));
    }
    switch (mode) {
    case wpmStoredBounds: RestorePlacement(w, bounds); break;
    case wpmFillFrame:
        if (TMDIMain* frame = Frame()) frame->FillFrame(this);
        else w->show();
        break;
    default: w->showMaximized(); break;
    }
}

TPlacement TMDIChild::Placement() const
{
    const QWidget* w = SubWindow() ? static_cast<const QWidget*>(SubWindow()) : this;
    return SavePlacement(w);
}

bool TMDIChild::IsMinimised() const
{
    const QWidget* w = SubWindow() ? static_cast<const QWidget*>(SubWindow()) : this;
    return w->isMinimized();
}

void TMDIChild::ShowChild()
{
    if (TMDIMain* frame = Frame()) frame->ShowChild(this);
    else show();
}

void TMDIChild::SetAppearance(const TAppearance& appearance)
{
    setFont(appearance.Font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, appearance.FaceColor);
    pal.setColor(QPalette::Base, appearance.WindowColor);
    pal.setColor(QPalette::Text, appearance.TextColor);
    pal.setColor(QPalette::WindowText, appearance.TextColor);
    setPalette(pal);
    setAutoFillBackground(true);
}

bool TMDIChild::AskToClose()
{
    if (ClosingFlag || Closed || Agreed) return true;
    Agreed = CloseQuery();
    Refused = !Agreed;
    return Agreed;
}

void TMDIChild::closeEvent(QCloseEvent* event)
{
    if (Closed) {
        event->accept();
        return;
    }
    if (!ClosingFlag && !Agreed && !CloseQuery()) {
        Refused = true;
        event->ignore();
        return;
    }
    ClosingFlag = true;
    FormClose();
    Closed = true;
    event->accept();
    if (TMDIMain* frame = Frame()) frame->ChildClosed(this);
    // A child closed by itself (not through its frame) takes its frame with
    // it, so no empty frame stays behind in the client area. When the frame
    // is already on its way out, the queued call goes with it.
    if (QMdiSubWindow* sub = SubWindow()) QMetaObject::invokeMethod(sub, &QWidget::close, Qt::QueuedConnection);
}

// ---- TMDIClientArea ----

TMDIClientArea::TMDIClientArea(QWidget* parent) : QMdiArea(parent)
{
    setObjectName("MDIClient");
    setBackground(Qt::white);
}

void TMDIClientArea::SetWallpaper(const QPixmap& picture)
{
    Picture = picture;
    viewport()->update();
}

void TMDIClientArea::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), Qt::white);
    if (!Picture.isNull()) {
        int left = (viewport()->width() - Picture.width()) / 2;
        int top = (viewport()->height() - Picture.height()) / 2;
        p.drawPixmap(left, top, Picture);
    }
    (void)event;
}

// ---- TMDIMain ----

TMDIMain::TMDIMain(QWidget* parent) : TFormMain(parent)
{
    Client = new TMDIClientArea(this);
    setCentralWidget(Client);

    WindowMenu = new QMenu(tr("&Window"), this);
    WindowMenu->setObjectName("Window1");
    Window_Menu = WindowMenu->menuAction();
    Window_Menu->setObjectName("Window_Menu");
    auto* cascade = WindowMenu->addAction(tr("&Cascade"));
    cascade->setObjectName("WindowCascade");
    connect(cascade, &QAction::triggered, Client, &QMdiArea::cascadeSubWindows);
    auto* tile = WindowMenu->addAction(tr("&Tile"));
    tile->setObjectName("WindowTileHorizontal");
    connect(tile, &QAction::triggered, Client, &QMdiArea::tileSubWindows);
    auto* minimise = WindowMenu->addAction(tr("&Minimize All"));
    minimise->setObjectName("WindowMinimizeAll");
    connect(minimise, &QAction::triggered, this, [this] {
        for (QMdiSubWindow* s : Client->subWindowList()) s->showMinimized();
    });
    auto* arrange = WindowMenu->addAction(tr("&Arrange All"));
    arrange->setObjectName("WindowArrange");
    connect(arrange, &QAction::triggered, Client, &QMdiArea::tileSubWindows);
    auto* maximise = WindowMenu->addAction(tr("Ma&ximize"));
    maximise->setObjectName("WindowMaximize");
    connect(maximise, &QAction::triggered, this, [this] { WindowMaximizeExecute(); });
    menuBar()->insertAction(Help1->menuAction(), Window_Menu);

    RefreshTimer = new QTimer(this);
    RefreshTimer->setSingleShot(true);
    RefreshTimer->setInterval(500);
    connect(RefreshTimer, &QTimer::timeout, this, [this] { RefreshWindowPanels(); });
    connect(Client, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* sub) { ChildActivated(sub ? sub->widget() : nullptr); });

    StatusBar()->DrawPanel = [this](QPainter& p, int index, const QRect& r) { DrawSwitcherPanel(p, index, r); };
    connect(StatusBar(), &TStatusPanelBar::Resized, this, [this] {
        if (SwitcherOn) RefreshWindowPanels();
    });
    SetDesignedPanels();
}

TMDIMain::~TMDIMain()
{
    // The children are deleted after this object stops being a frame: no more notifications.
    RefreshTimer->stop();
    Client->disconnect(this);
    StatusBar()->disconnect(this);
    StatusBar()->DrawPanel = nullptr;
    SwitcherOn = false;
}

QMdiSubWindow* TMDIMain::AddChild(TMDIChild* child)
{
    QMdiSubWindow* sub = Client->addSubWindow(child);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->installEventFilter(new TFrameKeeper(child, sub));
    sub->setWindowTitle(child->windowTitle());
    connect(child, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
    // A window brought back from maximised or minimised lies inside the free
    // area (its restored place may have been chosen for a smaller window).
    connect(sub, &QMdiSubWindow::windowStateChanged, this, [this, sub](Qt::WindowStates from, Qt::WindowStates to) {
        const Qt::WindowStates shrunk = Qt::WindowMaximized | Qt::WindowMinimized;
        if (!(from & shrunk) || (to & shrunk)) return;
        QPointer<QMdiSubWindow> window(sub);
        QTimer::singleShot(0, this, [this, window] {
            if (window && !window->isMaximized() && !window->isMinimized()) KeepInside(window);
        });
    });
    connect(child, &QWidget::windowTitleChanged, this, [this] {
        if (SwitcherOn) RefreshWindowPanels();
    });
    return sub;
}

QList<QWidget*> TMDIMain::ChildList() const
{
    QList<QWidget*> list;
    for (QMdiSubWindow* s : Client->subWindowList(QMdiArea::CreationOrder))
        if (s->widget()) list << s->widget();
    return list;
}

QWidget* TMDIMain::ActiveChild() const
{
    QMdiSubWindow* s = Client->activeSubWindow();
    if (!s) s = Client->currentSubWindow();
    return s ? s->widget() : nullptr;
}

TMDIChild* TMDIMain::ActiveMDIChild() const { return qobject_cast<TMDIChild*>(ActiveChild()); }

int TMDIMain::ChildWindowCount() const { return MDIChildCount(); }

void TMDIMain::ShowChild(QWidget* child)
{
    if (!child) return;
    auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
    if (!sub) return;
    if (sub->isMinimized()) sub->showNormal();
    sub->show();
    Client->setActiveSubWindow(sub);
    RefreshWindowPanels();
}

void TMDIMain::KeepInside(QWidget* window)
{
    const QSize area = FreeArea();
    QRect g = window->geometry();
    if (area.isEmpty()) return;
    if (g.right() >= area.width()) g.moveLeft(std::max(0, area.width() - g.width()));
    if (g.bottom() >= area.height()) g.moveTop(std::max(0, area.height() - g.height()));
    if (g.left() < 0) g.moveLeft(0);
    if (g.top() < 0) g.moveTop(0);
    if (g.topLeft() != window->pos()) window->move(g.topLeft());
}

QSize TMDIMain::FreeArea() const
{
    // The client area is already what is left between the menu, tool and status bars.
    QSize s = Client->viewport()->size();
    return QSize(std::max(s.width(), 0), std::max(s.height(), 0));
}

void TMDIMain::FillFrame(QWidget* child)
{
    if (!child) return;
    QWidget* w =
        child->parentWidget() && qobject_cast<QMdiSubWindow*>(child->parentWidget()) ? child->parentWidget() : child;
    w->showNormal();
    QSize area = FreeArea();
    w->setGeometry(0, 0, area.width(), area.height());
}

void TMDIMain::MaximizeChildren(bool all)
{
    if (all) {
        for (QWidget* c : ChildList()) FillFrame(c);
    } else {
        FillFrame(ActiveChild());
    }
}

void TMDIMain::WindowMaximizeExecute() { MaximizeChildren(IsShiftDown()); }

void TMDIMain::SetDesignedPanels()
{
    DesignedPanels = StatusBar()->PanelCount();
    DesignedLastWidth = DesignedPanels > 0 ? StatusBar()->Panel(DesignedPanels - 1).Width : 0;
}

void TMDIMain::SetWindowPanels(bool on)
{
    SwitcherOn = on;
    RefreshWindowPanels();
}

void TMDIMain::RefreshWindowPanels()
{
    RefreshTimer->stop();
    TStatusPanelBar* bar = StatusBar();
    bar->RemovePanelsFrom(DesignedPanels);
    if (!SwitcherOn || DesignedPanels == 0) {
        bar->update();
        return;
    }
    QList<QWidget*> children = ChildList();
    int n = 0;
    QStringList captions;
    for (QWidget* c : children) {
        auto* child = qobject_cast<TMDIChild*>(c);
        if (!child) {
            ++n;
        } else if (!child->Closing()) {
            ++n;
            captions << child->windowTitle();
        }
    }
    if (n == 0) {
        bar->update();
        return;
    }
    int fixed = DesignedLastWidth;
    for (int i = 0; i < DesignedPanels - 1; ++i) fixed += bar->Panel(i).Width;
    int clientWidth = bar->contentsRect().width();
    int w = std::min((clientWidth - fixed) / n, 100);
    if (w < 0) w = 0;
    bar->Panel(DesignedPanels - 1).Width = clientWidth - n * w - fixed + DesignedLastWidth;
    captions.sort();
    QWidget* active = ActiveChild();
    QString activeCaption = active ? active->windowTitle() : QString();
    bool activeMarked = false;
    for (const QString& caption : captions) {
        TStatusPanel& panel = bar->AddPanel();
        panel.Width = w;
        panel.Text = caption;
        panel.OwnerDraw = true;
        if (!activeMarked && active && caption == activeCaption) {
            panel.Bevel = TPanelBevel::Lowered;
            activeMarked = true;
        } else {
            panel.Bevel = TPanelBevel::Raised;
        }
    }
    bar->update();
}

void TMDIMain::DrawSwitcherPanel(QPainter& p, int index, const QRect& r)
{
    if (index < DesignedPanels) return;
    const TStatusPanel& panel = StatusBar()->Panel(index);
    QFont f = StatusBar()->font();
    f.setBold(panel.Bevel == TPanelBevel::Lowered);
    p.setFont(f);
    QFontMetrics fm(f);
    QString text = FitPanelText(
        panel.Text, [&fm](const QString& s) { return fm.horizontalAdvance(s); }, panel.Width);
    p.setPen(StatusBar()->palette().color(QPalette::WindowText));
    p.drawText(QRect(r.left() + 2, r.top() + 1, r.width() - 2, r.height() - 1), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void TMDIMain::StatusBarMouseMove(int x, int y)
{
    TFormMain::StatusBarMouseMove(x, y);
    PanelUnderMouse = StatusBar()->PanelAt(x);
    if (PanelUnderMouse >= DesignedPanels && PanelUnderMouse >= 0)
        StatusBar()->setToolTip("Click to switch to window [" + StatusBar()->PanelText(PanelUnderMouse) + "]");
}

void TMDIMain::StatusBarClick(int x, int y)
{
    (void)y;
    int index = StatusBar()->PanelAt(x);
    if (index < DesignedPanels || index < 0) return;
    QString text = StatusBar()->PanelText(index);
    // The frame's child order: top of the stack (the active child) first.
    QList<QWidget*> order;
    QList<QMdiSubWindow*> stack = Client->subWindowList(QMdiArea::StackingOrder);
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        if ((*it)->widget()) order << (*it)->widget();
    QWidget* active = ActiveChild();
    if (active && order.removeAll(active) > 0) order.prepend(active);
    QWidget* first = nullptr;
    QWidget* second = nullptr;
    for (QWidget* w : order) {
        auto* child = qobject_cast<TMDIChild*>(w);
        if (!child || child->Closing() || child->windowTitle() != text) continue;
        if (!first) first = w;
        else if (!second) second = w;
    }
    QWidget* target = second ? second : first;
    if (!target) {
        int position = index - DesignedPanels;
        QList<QWidget*> all = ChildList();
        if (position >= 0 && position < all.size()) target = all[position];
    }
    if (target) ShowChild(target);
    RefreshWindowPanels();
}

void TMDIMain::ChildActivated(QWidget* child)
{
    (void)child;
    if (SwitcherOn) RefreshWindowPanels();
}

TMDIChild* TMDIMain::SessionWindow(int32_t sessionId) const
{
    for (QWidget* w : ChildList()) {
        auto* child = qobject_cast<TMDIChild*>(w);
        if (child && child->ChildKind() == chkTraining && !child->Closing() && child->SessionId() == sessionId)
            return child;
    }
    return nullptr;
}

void TMDIMain::ChildClosed(TMDIChild* child)
{
    (void)child;
    RefreshTimer->start();
}

void TMDIMain::resizeEvent(QResizeEvent* event)
{
    TFormMain::resizeEvent(event);
    if (SwitcherOn) RefreshWindowPanels();
}
