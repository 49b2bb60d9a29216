#include "util/grid.h"

#include "util/text.h"

std::string CleanCellText(const std::string& cell)
{
    std::string t = Trim(cell);
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        char c = t[i];
        if (c == '\r' || c == '\n') {
            // "\r\n" and "\n\r" are one break.
            if (i + 1 < t.size() && (t[i + 1] == '\r' || t[i + 1] == '\n') && t[i + 1] != c) ++i;
            out += "; ";
        } else {
            out += c;
        }
    }
    return out;
}

std::string CopyGridText(const TGridText& grid, int mode, int currentRow)
{
    std::string out;
    size_t rows = grid.Cells.size();
    size_t firstRow = mode == cmAll ? 0 : 1;
    size_t lastRow = rows;
    size_t firstCol = mode == cmAll ? 0 : 1;
    if (mode == cmRow) {
        if (currentRow < 0 || size_t(currentRow) >= rows) return out;
        firstRow = size_t(currentRow);
        lastRow = firstRow + 1;
    }
    for (size_t r = firstRow; r < lastRow; ++r) {
        const auto& row = grid.Cells[r];
        bool first = true;
        for (size_t c = firstCol; c < row.size(); ++c) {
            if (c < grid.ColumnWidths.size() && grid.ColumnWidths[c] <= 0) continue;
            if (!first) out += '\t';
            out += CleanCellText(row[c]);
            first = false;
        }
        out += "\r\n";
    }
    return out;
}

std::string ColumnWidthsText(const std::vector<int>& widths)
{
    std::string out;
    for (size_t c = 1; c < widths.size(); ++c) out += std::to_string(widths[c]) + " ";
    return out;
}

void ApplyColumnWidths(std::vector<int>& widths, const std::string& text)
{
    auto items = SplitString(text, ' ');
    for (size_t i = 0; i < items.size() && i + 1 < widths.size(); ++i) {
        int32_t v;
        if (TryParseInt(items[i], v)) widths[i + 1] = v;
    }
}
