#pragma once
// The layout text of a value area: the cells as tokens separated by single
// spaces, row by row from the top and within a row from the left; a token is
// the row's 0-based index, a point and the cell's id (-1 empty, -2 logo,
// otherwise an item id). Example: "0.1 0.6 1.2 1.-2".
#include <functional>
#include <string>
#include <vector>

// Rows of cell ids.
using TValueLayout = std::vector<std::vector<int>>;

// Highest number of rows a layout text may ask for; tokens for rows beyond it
// are skipped (a damaged settings file must not make thousands of rows).
constexpr int kMaxValueRows = 64;

// Reads a layout text. Reading stops at the first empty token (a leading or a
// doubled space); a token without a point or with a non-numeric part is
// skipped, as is one with a negative row index. An id the store does not know
// (known returns false) becomes -1; -1 and -2 are always kept.
TValueLayout ParseValueLayout(const std::string& text, const std::function<bool(int)>& known);

// The layout text of rows of cell ids.
std::string ValueLayoutText(const TValueLayout& rows);
