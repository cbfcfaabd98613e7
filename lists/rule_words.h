// Words for a rule's search type, status and colours: short keywords for the
// exported text, phrases for the table that `show` prints (English, or the
// editor's own Russian choice-list texts), and the reading of all of them.
#pragma once

#include <cstdint>
#include <string>

enum class Language { Russian, English };

// Exported keyword ("name", "ignore", ...), or the number for other values.
std::string SearchKeyword(int32_t searchType);
std::string StatusKeyword(int32_t status);
// One of the four statuses an operator sets by its keyword, exactly as
// StatusKeyword writes it (the quick readers of long lists).
bool StatusOfKeyword(const std::string& text, int32_t* status);
// Shown words, or the number for other values.
std::string SearchWords(int32_t searchType, Language language);
std::string StatusWords(int32_t status, Language language);

// Accept a keyword, an English or Russian phrase (ASCII letters in any case)
// or a decimal number.
bool ParseSearch(const std::string& text, int32_t* searchType);
bool ParseStatus(const std::string& text, int32_t* status);

// A COLORREF (0x00BBGGRR) as "#RRGGBB"; one with a non-zero top byte, which
// only a damaged file holds, as "0x" and its eight digits.
std::string ColourText(uint32_t colorref);
void AppendColourText(uint32_t colorref, std::string* text);
// Reads both forms back.
bool ParseColour(const std::string& text, uint32_t* colorref);

// A decimal 32-bit number, "-" allowed; nothing else around it.
bool ParseInt32(const std::string& text, int32_t* value);
