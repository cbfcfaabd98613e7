// A rule list's bytes as lines of UTF-8 text: the encodings and line ends
// that operators' editors save.
#pragma once

#include <string>
#include <vector>

// The text's lines, without their ends. UTF-8 (a byte order mark at the
// start is dropped), or UTF-16 little- or big-endian with its byte order
// mark, which becomes UTF-8. A line ends at LF, CR LF or a CR alone (old Mac
// editors). False, with the reason, for UTF-16 without a byte order mark
// (NUL bytes at every other position), which could only be guessed.
bool TextLines(const std::string& bytes, std::vector<std::string>* lines, std::string* reason);
