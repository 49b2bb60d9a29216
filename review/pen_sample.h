#pragma once
// The small shapes of the training window's "Chart" group: the session's
// colour, its pen width and its line style.
#include <QWidget>

#include <cstdint>

class TPenSample : public QWidget {
    Q_OBJECT
public:
    enum TKind { Fill, Bar, Line };
    explicit TPenSample(TKind kind, QWidget* parent = nullptr);

    // colour 0x00BBGGRR (system colours resolved), width in pixels, style 0
    // solid, 1 dash, 2 dot, 3 dash dot, 4 dash dot dot.
    void SetPen(int32_t color, int width, int style);
    int32_t PenColor() const { return Color; }
    int PenWidth() const { return Width; }
    int PenStyle() const { return Style; }

    QSize sizeHint() const override { return QSize(40, 20); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TKind Kind;
    int32_t Color = 0;
    int Width = 1;
    int Style = 0;
};
