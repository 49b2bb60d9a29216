#include "util/color.h"

#include <algorithm>
#include <cmath>

namespace {
// Classic default system colours, indexed like the platform's colour indices.
TColor gSystem[31] = {
    RGBColor(212, 208, 200), RGBColor(58, 110, 165),  RGBColor(10, 36, 106),   RGBColor(128, 128, 128),
    RGBColor(212, 208, 200), RGBColor(255, 255, 255), RGBColor(0, 0, 0),       RGBColor(0, 0, 0),
    RGBColor(0, 0, 0),       RGBColor(255, 255, 255), RGBColor(212, 208, 200), RGBColor(212, 208, 200),
    RGBColor(128, 128, 128), RGBColor(10, 36, 106),   RGBColor(255, 255, 255), RGBColor(212, 208, 200),
    RGBColor(128, 128, 128), RGBColor(128, 128, 128), RGBColor(0, 0, 0),       RGBColor(212, 208, 200),
    RGBColor(255, 255, 255), RGBColor(64, 64, 64),    RGBColor(212, 208, 200), RGBColor(0, 0, 0),
    RGBColor(255, 255, 225), RGBColor(0, 0, 0),       RGBColor(0, 0, 128),     RGBColor(166, 202, 240),
    RGBColor(192, 192, 192), RGBColor(51, 153, 255),  RGBColor(240, 240, 240)};
}  // namespace

TColor ResolveColor(TColor color)
{
    if (color < 0) {
        int index = int(uint32_t(color) & 0xFF);
        return index < 31 ? gSystem[index] : 0;
    }
    return color & 0xFFFFFF;
}

void SetSystemColor(int index, TColor rgb)
{
    if (index >= 0 && index < 31) gSystem[index] = rgb & 0xFFFFFF;
}

TColor InverseColor(TColor color)
{
    TColor c = ResolveColor(color);
    return RGBColor(255 - RedOf(c), 255 - GreenOf(c), 255 - BlueOf(c));
}

namespace {

double Linear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(TColor c)
{
    return 0.2126 * Linear(RedOf(c)) + 0.7152 * Linear(GreenOf(c)) + 0.0722 * Linear(BlueOf(c));
}

// Enough for a thin line to be seen at once.
constexpr double kReadableContrast = 2.2;
// Below this, two lines are taken for the same.
constexpr double kDistinctDifference = 150;

}  // namespace

double ContrastRatio(TColor a, TColor b)
{
    const double la = Luminance(ResolveColor(a)), lb = Luminance(ResolveColor(b));
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

double ColorDifference(TColor a, TColor b)
{
    a = ResolveColor(a);
    b = ResolveColor(b);
    const double rMean = (RedOf(a) + RedOf(b)) / 2.0;
    const double dr = RedOf(a) - RedOf(b), dg = GreenOf(a) - GreenOf(b), db = BlueOf(a) - BlueOf(b);
    return std::sqrt((2 + rMean / 256) * dr * dr + 4 * dg * dg + (2 + (255 - rMean) / 256) * db * db);
}

TColor ReadableColor(TColor color, TColor background)
{
    TColor c = ResolveColor(color);
    const TColor bg = ResolveColor(background);
    const bool lightBackground = Luminance(bg) > 0.18;
    // Towards black on a light background, towards white on a dark one, in
    // steps, so the colour keeps as much of its hue as it can.
    for (int step = 0; step < 20 && ContrastRatio(c, bg) < kReadableContrast; ++step) {
        auto move = [lightBackground](int v) { return lightBackground ? v * 85 / 100 : v + (255 - v) * 15 / 100; };
        c = RGBColor(move(RedOf(c)), move(GreenOf(c)), move(BlueOf(c)));
    }
    return c;
}

TColor DistinctColor(TColor color, const TColor* taken, int count, TColor background)
{
    auto apart = [&](TColor c) {
        for (int i = 0; i < count; ++i)
            if (ColorDifference(ReadableColor(c, background), ReadableColor(taken[i], background)) <
                kDistinctDifference)
                return false;
        return true;
    };
    if (apart(color)) return ResolveColor(color);
    // Purple, teal, orange, brown, magenta, dark grey, olive, navy, maroon, dark green.
    static const TColor kSpare[] = {0x800080, 0x808000, 0x0080FF, 0x004080, 0xFF00FF,
                                    0x404040, 0x008080, 0x800000, 0x000080, 0x008000};
    for (TColor c : kSpare)
        if (apart(c)) return c;
    return ResolveColor(color);
}
