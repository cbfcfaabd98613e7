// Pieces of a line of text as the rule lists are read: columns, trimming,
// and ASCII letters and digits.
#pragma once

#include <string>
#include <vector>

// The parts between `separator`s; one empty part for an empty line.
std::vector<std::string> Split(const std::string& line, char separator);
// Blanks and tabs at both ends removed.
std::string Trimmed(const std::string& text);
bool StartsWith(const std::string& text, const char* start);
bool IsLetter(char c);
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
