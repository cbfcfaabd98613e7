#include "lists/text_codec.h"

#include "rules/hex_digit.h"
#include "lists/hidden_characters.h"
#include "lists/reason_language.h"

#include <cstdint>

namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(char32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void AppendUtf16(char32_t code, std::u16string* out) {
    if (code < 0x10000) {
        out->push_back(static_cast<char16_t>(code));
    } else {
        code -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    }
}

// Walks UTF-16 units as code points; an unpaired surrogate comes out alone
// with `paired` false.
template <typename Visit>
void ForEachCodePoint(const char16_t* units, size_t count, Visit visit) {
    for (size_t i = 0; i < count; ++i) {
        const char32_t unit = units[i];
        if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            visit(0x10000 + ((unit - 0xD800) << 10) + (char32_t{units[i + 1]} - 0xDC00), true);
            ++i;
        } else {
            visit(unit, !IsHighSurrogate(unit) && !IsLowSurrogate(unit));
        }
    }
}

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

}  // namespace

bool ReadHexDigits(const std::string& text, size_t at, size_t digits, uint32_t* value) {
    if (at > text.size() || digits > text.size() - at) return false;
    *value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int digit = HexDigitValue(text[at + i]);
        if (digit < 0) return false;
        *value = *value * 16 + static_cast<uint32_t>(digit);
    }
    return true;
}

bool DecodeUtf8(const std::string& utf8, std::u16string* units) {
    units->clear();
    for (size_t at = 0; at < utf8.size();) {
        const CodePoint point = CodePointAt(utf8, at);
        if (!point.wellFormed) return false;
        AppendUtf16(point.value, units);
        at += point.length;
    }
    return true;
}

std::string EncodeUtf8(const std::u16string& units) {
    std::string out;
    ForEachCodePoint(units.data(), units.size(), [&](char32_t code, bool paired) {
        AppendUtf8(paired ? code : REPLACEMENT, &out);
    });
    return out;
}

std::string EscapeName(const char16_t* units, size_t count) {
    std::string out;
    ForEachCodePoint(units, count, [&](char32_t code, bool paired) {
        if (code == '\\') {
            out += "\\\\";
        } else if (code == '\t') {
            out += "\\t";
        } else if (code == '\n') {
            out += "\\n";
        } else if (code == '\r') {
            out += "\\r";
        } else if (!paired || IsControl(code) || IsInvisible(code)) {
            // Shown by its units, so that nothing in the text is invisible.
            std::u16string codeUnits;
            AppendUtf16(code, &codeUnits);
            for (char32_t unit : codeUnits) {
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4) out.push_back(HEX_DIGITS[(unit >> shift) & 0xF]);
            }
        } else {
            AppendUtf8(code, &out);
        }
    });
    return out;
}

bool UnescapeName(const std::string& text, std::u16string* units, std::string* reason) {
    units->clear();
    std::string plain;  // UTF-8 run between escapes
    auto flush = [&]() {
        std::u16string decoded;
        if (!DecodeUtf8(plain, &decoded)) return false;
        *units += decoded;
        plain.clear();
        return true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            plain.push_back(text[i]);
            continue;
        }
        if (!flush()) {
            *reason = InLanguage("the nickname is not UTF-8 text", "ник записан не в UTF-8");
            return false;
        }
        const char kind = i + 1 < text.size() ? text[i + 1] : '\0';
        uint32_t value = 0;
        if (kind == '\\') {
            units->push_back(u'\\');
        } else if (kind == 't') {
            units->push_back(u'\t');
        } else if (kind == 'n') {
            units->push_back(u'\n');
        } else if (kind == 'r') {
            units->push_back(u'\r');
        } else if (kind == 'u' && ReadHexDigits(text, i + 2, 4, &value)) {
            units->push_back(static_cast<char16_t>(value));
            i += 4;
        } else {
            *reason = InLanguage("unknown escape in the nickname (a backslash is written \\\\)",
                                 "неизвестная экранирующая последовательность в нике "
                                 "(обратная косая черта пишется \\\\)");
            return false;
        }
        ++i;
    }
    if (!flush()) {
        *reason = InLanguage("the nickname is not UTF-8 text", "ник записан не в UTF-8");
        return false;
    }
    return true;
}

std::string EscapeBytes(const char* bytes, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<uint8_t>(bytes[i]);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(static_cast<char>(byte));
        } else {
            out += "\\x";
            out.push_back(HEX_DIGITS[byte >> 4]);
            out.push_back(HEX_DIGITS[byte & 0xF]);
        }
    }
    return out;
}

bool UnescapeBytes(const std::string& text, std::string* bytes, std::string* reason) {
    bytes->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if (byte != '\\') {
            if (byte < 0x20 || byte >= 0x7F) {
                *reason = InLanguage("the IP text holds a character other than printable ASCII",
                                     "в тексте IP есть символ, который не является "
                                     "печатным символом ASCII");
                return false;
            }
            bytes->push_back(text[i]);
            continue;
        }
        uint32_t value = 0;
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            bytes->push_back('\\');
            ++i;
        } else if (i + 1 < text.size() && text[i + 1] == 'x' && ReadHexDigits(text, i + 2, 2, &value)) {
            bytes->push_back(static_cast<char>(value));
            i += 3;
        } else {
            *reason = InLanguage("unknown escape in the IP text",
                                 "неизвестная экранирующая последовательность в тексте IP");
            return false;
        }
    }
    return true;
}

std::string HexBytes(const void* bytes, size_t count) {
    const auto* data = static_cast<const uint8_t*>(bytes);
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        out.push_back(HEX_DIGITS[data[i] >> 4]);
        out.push_back(HEX_DIGITS[data[i] & 0xF]);
    }
    return out;
}

bool ParseHexBytes(const std::string& hex, std::string* bytes) {
    bytes->clear();
    if (hex.size() % 2 != 0) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        uint32_t value = 0;
        if (!ReadHexDigits(hex, i, 2, &value)) return false;
        bytes->push_back(static_cast<char>(value));
    }
    return true;
}

size_t DisplayWidth(const std::string& utf8) {
    size_t width = 0;
    for (unsigned char byte : utf8) width += (byte & 0xC0) != 0x80;
    return width;
}
