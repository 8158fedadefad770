#include "app/BusTable.h"

#include <algorithm>

namespace {

// Characters, not bytes: continuation bytes of UTF-8 do not count.
size_t width(const std::string& text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::string alignedTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], width(row[i]));
    }
    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (size_t i = 0; i < cells.size(); ++i) {
            text += cells[i];
            if (i + 1 < cells.size()) text.append(widths[i] - width(cells[i]) + 2, ' ');
        }
        out += text + '\n';
    };
    for (size_t r = 0; r < rows.size(); ++r) {
        line(rows[r]);
        if (r == 0) {
            std::vector<std::string> rule;
            for (size_t w : widths) rule.emplace_back(w, '-');
            line(rule);
        }
    }
    return out;
}
