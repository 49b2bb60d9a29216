#pragma once
// A status bar of fixed-width panels (text panels with a bevel, and
// owner-drawn panels), as the main window and the window switcher use it.
// The last panel's width is whatever its Width says; panels that do not fit
// are clipped at the right edge.
#include <functional>
#include <vector>

#include <QStatusBar>
#include <QString>

enum class TPanelBevel { None, Lowered, Raised };

struct TStatusPanel {
    int Width = 50;
    QString Text;
    TPanelBevel Bevel = TPanelBevel::Lowered;
    bool OwnerDraw = false;
    Qt::Alignment Alignment = Qt::AlignLeft;
};

class TStatusPanelBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusPanelBar(QWidget* parent = nullptr);

    int PanelCount() const { return int(Panels.size()); }
    TStatusPanel& Panel(int index) { return Panels.at(size_t(index)); }
    const TStatusPanel& Panel(int index) const { return Panels.at(size_t(index)); }
    TStatusPanel& AddPanel();
    // Removes every panel from index on.
    void RemovePanelsFrom(int index);
    // Sets a panel's text and repaints (no-op for a missing panel).
    void SetPanelText(int index, const QString& text);
    QString PanelText(int index) const;
    // Panel under x, -1 when none.
    int PanelAt(int x) const;
    QRect PanelRect(int index) const;
    // Repaints at once (the status text is meant to be seen before a long step).
    void RepaintNow();

    // Owner-drawn panels are painted by this function when set.
    std::function<void(QPainter&, int index, const QRect&)> DrawPanel;

signals:
    void PanelMouseMove(int x, int y);
    void PanelClick(int x, int y);
    void PanelDoubleClick(int x, int y);
    void Resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<TStatusPanel> Panels;
};

// The text a switcher panel shows: while it is wider than width - 7, the
// character before a trailing "..." is deleted ("..." appended the first
// time), until it fits or is at most 3 characters long.
QString FitPanelText(const QString& text, const std::function<int(const QString&)>& measure, int width);
