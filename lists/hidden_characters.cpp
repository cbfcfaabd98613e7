#include "lists/hidden_characters.h"

#include "lists/reason_language.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

struct CodeRange {
    char32_t first;
    char32_t last;
};

// Unicode's format characters (general category Cf), the spaces other than
// U+0020 (Zs) and the line and paragraph separators (Zl, Zp).
constexpr CodeRange INVISIBLE[] = {
    {0x00A0, 0x00A0},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},
    {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},
    {0x1680, 0x1680},   {0x180E, 0x180E},   {0x2000, 0x200F},   {0x2028, 0x202F},
    {0x205F, 0x2064},   {0x2066, 0x206F},   {0x3000, 0x3000},   {0xFEFF, 0xFEFF},
    {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F},
    {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

struct NamedCode {
    char32_t code;
    const char* name;
};

constexpr NamedCode NAMES[] = {
    {0x0000, "NUL"},
    {0x0009, "tab"},
    {0x000D, "carriage return"},
    {0x00A0, "no-break space"},
    {0x00AD, "soft hyphen"},
    {0x200B, "zero width space"},
    {0x200C, "zero width non-joiner"},
    {0x200D, "zero width joiner"},
    {0x200E, "left-to-right mark"},
    {0x200F, "right-to-left mark"},
    {0x2028, "line separator"},
    {0x2029, "paragraph separator"},
    {0x202F, "narrow no-break space"},
    {0x2060, "word joiner"},
    {0x3000, "ideographic space"},
    {0xFEFF, "byte order mark"},
};

bool IsSurrogate(char32_t code) { return code >= 0xD800 && code <= 0xDFFF; }

std::string UPlus(char32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
    return text;
}

}  // namespace

CodePoint CodePointAt(const std::string& text, size_t at) {
    const auto lead = static_cast<uint8_t>(text[at]);
    const CodePoint bad{lead, 1, false};
    size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if (lead < 0x80) return {lead, 1, true};
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        smallest = 0x10000;
    } else {
        return bad;
    }
    if (length > text.size() - at) return bad;
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[at + k]);
        if ((next & 0xC0) != 0x80) return bad;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || IsSurrogate(code)) return bad;
    return {code, length, true};
}

bool IsControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code < 0xA0); }

bool IsInvisible(char32_t code) {
    for (const CodeRange& range : INVISIBLE) {
        if (code >= range.first && code <= range.last) return true;
    }
    return false;
}

std::string CodePointName(char32_t code) {
    for (const NamedCode& named : NAMES) {
        if (named.code == code) return UPlus(code) + " (" + named.name + ")";
    }
    if (IsControl(code)) {
        return UPlus(code) + InLanguage(" (a control character)", " (управляющий символ)");
    }
    if (code >= 0x2000 && code <= 0x200A) return UPlus(code) + InLanguage(" (a space)", " (пробел)");
    if (IsInvisible(code)) {
        return UPlus(code) + InLanguage(" (an invisible character)", " (невидимый символ)");
    }
    return UPlus(code);
}

size_t FindHidden(const std::string& text, size_t from) {
    for (size_t at = from; at < text.size();) {
        const auto byte = static_cast<uint8_t>(text[at]);
        if (byte < 0x80) {  // ASCII, the most of every list
            if (byte < 0x20 || byte == 0x7F) return at;
            ++at;
            continue;
        }
        const CodePoint point = CodePointAt(text, at);
        if (!point.wellFormed || IsControl(point.value) || IsInvisible(point.value)) return at;
        at += point.length;
    }
    return std::string::npos;
}

std::string Shown(const std::string& text) {
    std::string shown;
    for (size_t at = 0; at < text.size();) {
        const CodePoint point = CodePointAt(text, at);
        if (!point.wellFormed) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "<0x%02X>", static_cast<unsigned>(point.value));
            shown += byte;
        } else if (IsControl(point.value) || IsInvisible(point.value)) {
            shown += "<" + UPlus(point.value) + ">";
        } else {
            shown.append(text, at, point.length);
        }
        at += point.length;
    }
    return shown;
}

std::string WithoutInvisibleEdge(const std::string& text, bool atStart, std::vector<char32_t>* removed) {
    // Invisible characters are not ASCII: a run of blanks and tabs that ends
    // at an ASCII character (or is all of the text) holds none.
    size_t blanks = 0;
    while (blanks < text.size() && (text[atStart ? blanks : text.size() - 1 - blanks] == ' ' ||
                                    text[atStart ? blanks : text.size() - 1 - blanks] == '\t')) {
        ++blanks;
    }
    if (blanks == text.size() || static_cast<uint8_t>(text[atStart ? blanks : text.size() - 1 - blanks]) < 0x80) {
        return text;
    }
    // The code points in order, then the edge's run from the chosen end.
    std::vector<CodePoint> points;
    for (size_t at = 0; at < text.size(); at += points.back().length) points.push_back(CodePointAt(text, at));
    auto edge = [](const CodePoint& point) {
        return point.wellFormed && (point.value == ' ' || point.value == '\t' || IsInvisible(point.value));
    };
    size_t run = 0;
    while (run < points.size() && edge(atStart ? points[run] : points[points.size() - 1 - run])) ++run;
    std::string kept;
    std::vector<char32_t> dropped;
    size_t at = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const bool inRun = atStart ? i < run : i >= points.size() - run;
        if (inRun && IsInvisible(points[i].value)) {
            dropped.push_back(points[i].value);
        } else {
            kept.append(text, at, points[i].length);
        }
        at += points[i].length;
    }
    removed->insert(removed->end(), dropped.begin(), dropped.end());
    return dropped.empty() ? text : kept;
}

bool FoldFullWidth(const std::string& text, std::string* folded) {
    folded->clear();
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; })) return false;
    bool any = false;
    for (size_t at = 0; at < text.size();) {
        const CodePoint point = CodePointAt(text, at);
        if (point.wellFormed && point.value >= 0xFF01 && point.value <= 0xFF5E) {
            folded->push_back(static_cast<char>(point.value - 0xFF01 + 0x21));
            any = true;
        } else if (point.wellFormed && point.value == 0x3002) {  // the ideographic full stop
            folded->push_back('.');
            any = true;
        } else {
            folded->append(text, at, point.length);
        }
        at += point.length;
    }
    return any;
}
