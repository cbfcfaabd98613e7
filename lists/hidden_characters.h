// Characters a text does not show as themselves: control characters, and
// the invisible ones that copied and joined texts carry (byte order marks,
// no-break and other Unicode spaces, zero-width and other format
// characters). The lists' reader removes or refuses them and names them by
// code point, never printing them raw.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One code point of UTF-8 text at `at` and its length in bytes; a byte that
// starts no well-formed sequence comes back alone with `wellFormed` false.
struct CodePoint {
    char32_t value;
    size_t length;
    bool wellFormed;
};
CodePoint CodePointAt(const std::string& text, size_t at);

// C0 and C1 control characters and DEL.
bool IsControl(char32_t code);
// Shown as a blank or as nothing: Unicode spaces other than the ASCII blank,
// format characters (Unicode Cf: zero-width spaces and joiners, direction
// marks, the byte order mark, soft hyphens, ...) and the line and paragraph
// separators.
bool IsInvisible(char32_t code);
constexpr char32_t BYTE_ORDER_MARK = 0xFEFF;
constexpr char32_t NO_BREAK_SPACE = 0x00A0;
constexpr char32_t NARROW_NO_BREAK_SPACE = 0x202F;

// "U+200B (zero width space)".
std::string CodePointName(char32_t code);

// Where the first control or invisible character (or a byte that is not
// UTF-8) is, from `from`; npos for none.
size_t FindHidden(const std::string& text, size_t from = 0);

// The text with control and invisible characters as <U+XXXX> and bytes that
// are not UTF-8 as <0xHH>; everything else, letters of any script included,
// as it is.
std::string Shown(const std::string& text);

// Invisible characters removed from the run of them and of blanks and tabs
// at the text's start (`atStart`) or end; blanks and tabs stay. Each one
// removed is added to `removed`.
std::string WithoutInvisibleEdge(const std::string& text, bool atStart, std::vector<char32_t>* removed);

// The full-width forms of ASCII characters ("１", "．", "／") as ASCII; false
// when the text holds none.
bool FoldFullWidth(const std::string& text, std::string* folded);
