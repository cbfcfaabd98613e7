// A table for the terminal: columns padded to their widest cell (counted in
// characters, not bytes), " | " between them, a rule of dashes under the
// first row, and no padding after the last column.
#pragma once

#include <string>
#include <vector>

using TableRow = std::vector<std::string>;

std::string TableText(const std::vector<TableRow>& rows);
