#include "framework/status_bar.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

TStatusPanelBar::TStatusPanelBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    setMouseTracking(true);
    setMinimumHeight(fontMetrics().height() + 8);
}

TStatusPanel& TStatusPanelBar::AddPanel()
{
    Panels.emplace_back();
    update();
    return Panels.back();
}

void TStatusPanelBar::RemovePanelsFrom(int index)
{
    if (index < 0) index = 0;
    if (size_t(index) < Panels.size()) Panels.resize(size_t(index));
    update();
}

void TStatusPanelBar::SetPanelText(int index, const QString& text)
{
    if (index < 0 || index >= PanelCount()) return;
    if (Panels[size_t(index)].Text == text) return;
    Panels[size_t(index)].Text = text;
    update(PanelRect(index));
}

QString TStatusPanelBar::PanelText(int index) const
{
    if (index < 0 || index >= PanelCount()) return QString();
    return Panels[size_t(index)].Text;
}

QRect TStatusPanelBar::PanelRect(int index) const
{
    int x = 0;
    for (int i = 0; i < index && i < PanelCount(); ++i) x += Panels[size_t(i)].Width;
    int w = (index >= 0 && index < PanelCount()) ? Panels[size_t(index)].Width : 0;
    return QRect(x, 0, std::max(w, 0), height());
}

int TStatusPanelBar::PanelAt(int x) const
{
    int left = 0;
    for (int i = 0; i < PanelCount(); ++i) {
        int w = Panels[size_t(i)].Width;
        if (x >= left && x < left + w) return i;
        left += w;
    }
    return -1;
}

void TStatusPanelBar::RepaintNow() { repaint(); }

void TStatusPanelBar::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(event->rect(), palette().color(QPalette::Window));
    for (int i = 0; i < PanelCount(); ++i) {
        const TStatusPanel& panel = Panels[size_t(i)];
        QRect r = PanelRect(i).adjusted(1, 1, -1, -1);
        if (r.width() <= 0) continue;
        // A panel outside the part to repaint (one panel changed) is left as it is.
        if (!event->region().intersects(PanelRect(i))) continue;
        if (panel.Bevel != TPanelBevel::None) {
            QColor dark = palette().color(QPalette::Mid);
            QColor light = palette().color(QPalette::Light);
            bool lowered = panel.Bevel == TPanelBevel::Lowered;
            p.setPen(lowered ? dark : light);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(lowered ? light : dark);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
        }
        if (panel.OwnerDraw) {
            if (DrawPanel) {
                p.save();
                p.setClipRect(r);
                DrawPanel(p, i, r);
                p.restore();
            }
            continue;
        }
        p.setPen(palette().color(QPalette::WindowText));
        p.setClipRect(r);
        p.drawText(r.adjusted(2, 0, -2, 0), int(panel.Alignment | Qt::AlignVCenter), panel.Text);
        p.setClipping(false);
    }
}

void TStatusPanelBar::mouseMoveEvent(QMouseEvent* event)
{
    emit PanelMouseMove(int(event->position().x()), int(event->position().y()));
    QStatusBar::mouseMoveEvent(event);
}

void TStatusPanelBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit PanelClick(int(event->position().x()), int(event->position().y()));
    QStatusBar::mouseReleaseEvent(event);
}

void TStatusPanelBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    emit PanelDoubleClick(int(event->position().x()), int(event->position().y()));
    QStatusBar::mouseDoubleClickEvent(event);
}

void TStatusPanelBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    emit Resized();
}

QString FitPanelText(const QString& text, const std::function<int(const QString&)>& measure, int width)
{
    QString s = text;
    bool dotted = false;
    while (measure(s) > width - 7 && s.length() > 3) {
        if (!dotted) {
            s += "...";
            dotted = true;
        }
        // Delete the character just before the "...".
        s.remove(s.length() - 4, 1);
    }
    return s;
}
