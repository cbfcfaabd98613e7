#include "tool/text_table.h"

#include "lists/text_codec.h"

#include <algorithm>

void WidenColumns(const TableRow& row, std::vector<size_t>* widths) {
    for (size_t c = 0; c < row.size() && c < widths->size(); ++c) {
        (*widths)[c] = std::max((*widths)[c], DisplayWidth(row[c]));
    }
}

void AppendTableLine(const TableRow& row, const std::vector<size_t>& widths, bool first, std::string* out) {
    for (size_t c = 0; c < row.size(); ++c) {
        if (c > 0) out->append(" | ");
        out->append(row[c]);
        if (c + 1 == row.size()) break;
        const size_t shown = DisplayWidth(row[c]);
        if (shown < widths[c]) out->append(widths[c] - shown, ' ');
    }
    out->push_back('\n');
    if (!first) return;
    for (size_t c = 0; c < widths.size(); ++c) {
        if (c > 0) out->append("-+-");
        out->append(widths[c], '-');
    }
    out->push_back('\n');
}
