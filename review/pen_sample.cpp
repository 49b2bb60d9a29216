#include "review/pen_sample.h"

#include <QPainter>

#include <algorithm>

#include "util/color.h"

TPenSample::TPenSample(TKind kind, QWidget* parent) : QWidget(parent), Kind(kind) {}

void TPenSample::SetPen(int32_t color, int width, int style)
{
    if (color == Color && width == Width && style == Style) return;
    Color = color;
    Width = width;
    Style = style;
    update();
}

void TPenSample::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const TColor rgb = ResolveColor(Color);
    const QColor c(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
    const QRect r = rect().adjusted(2, 2, -2, -2);
    const int width = std::clamp(Width, 1, std::max(1, r.height()));
    switch (Kind) {
    case Fill: p.fillRect(r, c); break;
    case Bar: {
        QRect bar(r.left(), r.center().y() - width / 2, r.width(), width);
        p.fillRect(bar, c);
        break;
    }
    case Line: {
        static const Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                               Qt::DashDotDotLine};
        QPen pen(c, width, Style >= 0 && Style <= 4 ? kStyles[Style] : Qt::SolidLine);
        p.setPen(pen);
        p.drawLine(r.left(), r.center().y(), r.right(), r.center().y());
        break;
    }
    }
}
