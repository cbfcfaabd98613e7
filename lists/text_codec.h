// Text conversions of the rule-list tool: UTF-8 and UTF-16 nicknames, and
// the escaped form in which exported texts keep every unit and byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Strict UTF-8 to UTF-16: false for bytes that are not well-formed UTF-8
// (overlong forms, surrogates, values above U+10FFFF, cut sequences).
bool DecodeUtf8(const std::string& utf8, std::u16string* units);

// UTF-16 to UTF-8; a unit that is half of no pair becomes U+FFFD.
std::string EncodeUtf8(const std::u16string& units);

// A nickname as text: backslash, tab, line feed and carriage return as \\ \t
// \n \r, other control characters, invisible characters (hidden_characters.h)
// and unpaired surrogates as \uXXXX (a pair of them above U+FFFF), the rest
// as UTF-8. UnescapeName reverses it; false (with the reason) for a bad escape.
std::string EscapeName(const char16_t* units, size_t count);
bool UnescapeName(const std::string& text, std::u16string* units, std::string* reason);

// A single-byte text (an IP text): printable ASCII as is, a backslash as \\,
// every other byte as \xHH. UnescapeBytes reverses it.
std::string EscapeBytes(const char* bytes, size_t count);
bool UnescapeBytes(const std::string& text, std::string* bytes, std::string* reason);

// `digits` hexadecimal digits (either case) of `text` from `at` as a number;
// false when the text ends sooner or holds another character there. The
// tool's one reader of hexadecimal text: the escapes, the colours, the
// stored patterns and hidden bytes all go through it.
bool ReadHexDigits(const std::string& text, size_t at, size_t digits, uint32_t* value);

// Bytes as upper-case hexadecimal digits, and back (false for odd lengths or
// other characters).
std::string HexBytes(const void* bytes, size_t count);
bool ParseHexBytes(const std::string& hex, std::string* bytes);

// Characters shown on a terminal: code points, not bytes.
size_t DisplayWidth(const std::string& utf8);
