#include "util/color.h"

namespace {
// Classic default system colours, indexed like the platform's colour indices.
TColor gSystem[31] = {
    RGBColor(212, 208, 200), RGBColor(58, 110, 165), RGBColor(10, 36, 106),  RGBColor(128, 128, 128),
    RGBColor(212, 208, 200), RGBColor(255, 255, 255), RGBColor(0, 0, 0),     RGBColor(0, 0, 0),
    RGBColor(0, 0, 0),       RGBColor(255, 255, 255), RGBColor(212, 208, 200), RGBColor(212, 208, 200),
    RGBColor(128, 128, 128), RGBColor(10, 36, 106),  RGBColor(255, 255, 255), RGBColor(212, 208, 200),
    RGBColor(128, 128, 128), RGBColor(128, 128, 128), RGBColor(0, 0, 0),     RGBColor(212, 208, 200),
    RGBColor(255, 255, 255), RGBColor(64, 64, 64),   RGBColor(212, 208, 200), RGBColor(0, 0, 0),
    RGBColor(255, 255, 225), RGBColor(0, 0, 0),      RGBColor(0, 0, 128),    RGBColor(166, 202, 240),
    RGBColor(192, 192, 192), RGBColor(51, 153, 255), RGBColor(240, 240, 240)};
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
