#include "tool/text_table.h"

#include "lists/text_codec.h"

#include <algorithm>

namespace {

std::string Padded(const std::string& text, size_t width) {
    const size_t shown = DisplayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

}  // namespace

std::string TableText(const std::vector<TableRow>& rows) {
    if (rows.empty()) return {};
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const TableRow& row : rows) {
        for (size_t c = 0; c < row.size() && c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    std::string out;
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string line;
        for (size_t c = 0; c < rows[r].size(); ++c) {
            if (c > 0) line += " | ";
            line += c + 1 < rows[r].size() ? Padded(rows[r][c], widths[c]) : rows[r][c];
        }
        out += line + "\n";
        if (r == 0) {
            std::string underline;
            for (size_t c = 0; c < widths.size(); ++c) {
                if (c > 0) underline += "-+-";
                underline += std::string(widths[c], '-');
            }
            out += underline + "\n";
        }
    }
    return out;
}
