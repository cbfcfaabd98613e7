// A rule list's bytes as lines of UTF-8 text: the encodings and line ends
// that operators' editors save.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Where one line lies in the text, without its end.
struct LineSpan {
    size_t start;
    size_t length;
};

// Makes `text` UTF-8 in place and finds its lines. UTF-8 (a byte order mark
// at the start is dropped), or UTF-16 little- or big-endian with its byte
// order mark, which becomes UTF-8. A line ends at LF, CR LF or a CR alone
// (old Mac editors). The lines are places in the one text, not copies of it:
// a long list is held once while it is read. False, with the reason, for
// UTF-16 without a byte order mark (NUL bytes at every other position),
// which could only be guessed: judged on the text's first
// ENCODING_SAMPLE_BYTES, so that a text read a piece at a time is judged
// the same.
constexpr size_t ENCODING_SAMPLE_BYTES = 4096;
bool TextLines(std::string* text, std::vector<LineSpan>* lines, std::string* reason);

// Whether bytes that start without a byte order mark look like UTF-16 of
// mostly ASCII text (NUL bytes at every other position): a text that could
// only be guessed, which TextLines refuses.
bool LooksLikeUtf16(const char* bytes, size_t size);
