#pragma once
#include <string>
#include <vector>

// The text side of the grids' copy and column-width helpers; the windows hand
// in what their grid shows and put the result on the clipboard.

struct TGridText {
    std::vector<std::vector<std::string>> Cells;  // [row][column], row 0 and column 0 are headers
    std::vector<int> ColumnWidths;                // width of every column; 0 or less = hidden
};

enum TCopyMode { cmAll = 1, cmData = 2, cmRow = 3 };

// Mode 1: every row and column; 2: rows and columns from 1 on; 3: the current
// row from column 1 on. Hidden columns are skipped; cells are trimmed, their
// line breaks replaced by "; ", separated by tabs, each row ends with "\r\n".
std::string CopyGridText(const TGridText& grid, int mode, int currentRow);
// One cell as the copy writes it.
std::string CleanCellText(const std::string& cell);

// Widths of columns 1..last, each followed by one space.
std::string ColumnWidthsText(const std::vector<int>& widths);
// Space-separated integers into the widths of columns 1, 2, ...; an empty or
// unreadable item leaves its column unchanged.
void ApplyColumnWidths(std::vector<int>& widths, const std::string& text);
