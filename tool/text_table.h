// A table for the terminal: columns padded to their widest cell (counted in
// characters, not bytes), " | " between them, a rule of dashes under the
// first row, and no padding after the last column. Made a row at a time, so
// that a long table is never held whole: every row widens the columns
// first, then each row's line is written.
#pragma once

#include <string>
#include <vector>

using TableRow = std::vector<std::string>;

// Widens `widths`, one for each column of the first row, to the row's cells.
void WidenColumns(const TableRow& row, std::vector<size_t>* widths);
// The row's line appended to `out`; under the first row, the rule of dashes.
void AppendTableLine(const TableRow& row, const std::vector<size_t>& widths, bool first, std::string* out);
