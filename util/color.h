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

// Colours for drawing: a line stays visible on its background, and a colour
// can be kept apart from colours already in use. Stored colours never change;
// these only choose what is drawn.
// WCAG contrast ratio of two colours (1 = equal luminance, 21 = black on white).
double ContrastRatio(TColor a, TColor b);
// Difference between two colours as the eye sees it (0 = equal, about 765 at most).
double ColorDifference(TColor a, TColor b);
// color, darkened on a light background (lightened on a dark one) until it
// stands out from it.
TColor ReadableColor(TColor color, TColor background);
// color when it differs from every colour taken; else the first of a set of
// well distinct colours that does (and is readable on the background).
TColor DistinctColor(TColor color, const TColor* taken, int count, TColor background);
