#include "valuearea/value_layout.h"

#include "util/text.h"

TValueLayout ParseValueLayout(const std::string& text, const std::function<bool(int)>& known)
{
    TValueLayout rows;
    std::string rest = text + " ";
    for (;;) {
        const size_t space = rest.find(' ');
        if (space == std::string::npos || space == 0) break;
        const std::string token = rest.substr(0, space);
        rest.erase(0, space + 1);
        const size_t point = token.find('.');
        if (point == std::string::npos) continue;
        int32_t r = 0, c = 0;
        if (!TryParseInt(token.substr(0, point), r) || !TryParseInt(token.substr(point + 1), c)) continue;
        if (r < 0 || r >= kMaxValueRows) continue;
        while (int(rows.size()) <= r) rows.emplace_back();
        if (c != -1 && c != -2 && !(known && known(c))) c = -1;
        rows[size_t(r)].push_back(c);
    }
    return rows;
}

std::string ValueLayoutText(const TValueLayout& rows)
{
    std::string text;
    for (size_t r = 0; r < rows.size(); ++r)
        for (int id : rows[r]) {
            if (!text.empty()) text += ' ';
            text += std::to_string(r) + "." + std::to_string(id);
        }
    return text;
}
