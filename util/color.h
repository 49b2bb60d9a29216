#pragma once
#include <cstdint>

// Colours are 0x00BBGGRR; negative values (0x80000000 | index) are system
// colours that the palette resolves (15 = button face, 5 = window, 8 = window text ...).
using TColor = int32_t;

constexpr TColor SystemColor(int index) { return TColor(0x80000000u | uint32_t(index)); }
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);

constexpr int RedOf(TColor c) { return c & 0xFF; }
constexpr int GreenOf(TColor c) { return (c >> 8) & 0xFF; }
constexpr int BlueOf(TColor c) { return (c >> 16) & 0xFF; }
constexpr TColor RGBColor(int r, int g, int b) { return TColor(r | (g << 8) | (b << 16)); }

// The RGB value of a colour, system colours looked up in the palette.
TColor ResolveColor(TColor color);
// Sets the RGB value of a system colour (the windows load the real palette).
void SetSystemColor(int index, TColor rgb);
// Red, green and blue each replaced by 255 minus itself (system colours resolved first).
TColor InverseColor(TColor color);
