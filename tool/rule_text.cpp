#include "tool/rule_text.h"

#include "rules/ip_pattern.h"
#include "rules/text_field.h"
#include "tool/rule_words.h"
#include "tool/text_codec.h"

#include <cstdio>
#include <cstring>

const char EXPORT_HEADER[] =
    "nickname\tsearch\tip\tstatus\tnick colour\ttext colour\tstored pattern\thidden bytes";

namespace {

constexpr size_t TABLE_COLUMNS = 8;
constexpr size_t TABLE_REQUIRED_COLUMNS = 6;
constexpr size_t PLAIN_COLUMNS = 4;
// What the editor's fields admit: the texts and their terminators fit.
constexpr size_t TYPED_NAME_UNITS = RULE_NAME_UNITS - 1;
constexpr size_t TYPED_IP_BYTES = RULE_IP_TEXT_BYTES - 1;

bool AllZero(const void* bytes, size_t count) {
    const auto* data = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i) {
        if (data[i] != 0) return false;
    }
    return true;
}

// Where the bytes behind a text field's terminator start, in bytes from the
// field's start (the field's size when it has no terminator).
template <typename Char, size_t Width>
size_t TailOffset(const Char (&field)[Width]) {
    const size_t length = FieldLength(field);
    return (length < Width ? length + 1 : Width) * sizeof(Char);
}

bool DerivedAsStored(const _RULE& rule) {
    _RULE derived = rule;
    ParseRuleIp(derived);
    return derived.ipLow == rule.ipLow && derived.ipHigh == rule.ipHigh &&
           std::memcmp(derived.ipPrefix, rule.ipPrefix, sizeof rule.ipPrefix) == 0;
}

std::string Hex32(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// "0x" and eight hexadecimal digits, as Hex32 writes them.
bool ParseHex32(const std::string& text, uint32_t* value) {
    std::string bytes;
    if (text.size() != 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X') ||
        !ParseHexBytes(text.substr(2), &bytes)) {
        return false;
    }
    *value = 0;
    for (char byte : bytes) *value = (*value << 8) | static_cast<uint8_t>(byte);
    return true;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> parts(1);
    for (char c : line) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    return parts;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool StartsWith(const std::string& text, const char* start) {
    return text.compare(0, std::strlen(start), start) == 0;
}

// A plain dotted address: four decimal parts of 0 to 255 without leading
// zeros (the module would read "010" as octal, and "10.1" as 10.0.0.1).
bool ReadStrictAddress(const std::string& text, uint32_t* address) {
    const std::vector<std::string> parts = Split(text, '.');
    if (parts.size() != 4) return false;
    uint32_t value = 0;
    for (const std::string& part : parts) {
        if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
        uint32_t number = 0;
        for (char c : part) {
            if (c < '0' || c > '9') return false;
            number = number * 10 + static_cast<uint32_t>(c - '0');
        }
        if (number > 255) return false;
        value = (value << 8) | number;
    }
    *address = value;
    return true;
}

std::string DottedAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(address >> 24),
                  static_cast<unsigned>((address >> 16) & 0xFF),
                  static_cast<unsigned>((address >> 8) & 0xFF), static_cast<unsigned>(address & 0xFF));
    return text;
}

// Turns a plain IP entry into the IP text to store, or says why not.
bool IpTextOfEntry(const std::string& entry, std::string* ipText, std::string* reason) {
    std::string text;
    for (char c : entry) {
        if (c != ' ') text.push_back(c);
    }
    if (text.empty()) {
        *reason = "no IP text";
        return false;
    }
    const size_t slash = text.find('/');
    const size_t star = text.find('*');
    const size_t dash = text.find('-');
    uint32_t low = 0;
    uint32_t high = 0;
    if (slash != std::string::npos) {
        const std::string bits = text.substr(slash + 1);
        if (!ReadStrictAddress(text.substr(0, slash), &low)) {
            *reason = "a CIDR block needs a four-part address before \"/\"";
            return false;
        }
        int32_t length = -1;
        if (bits.empty() || bits.size() > 2 || !ParseInt32(bits, &length) || length < 0 ||
            length > 32) {
            *reason = "a CIDR block's length after \"/\" must be 0 to 32";
            return false;
        }
        const uint32_t hostBits = length == 0 ? 0xFFFFFFFFu : (1u << (32 - length)) - 1;
        if (low & hostBits) {
            *reason = "address bits beyond the block's length are set (the block starts at " +
                      DottedAddress(low & ~hostBits) + ")";
            return false;
        }
        high = low | hostBits;
        if (high == 0) {
            *reason = "the block holds only 0.0.0.0, which matches no visitor";
            return false;
        }
        *ipText = DottedAddress(low) + "-" + DottedAddress(high);
    } else if (star != std::string::npos) {
        if (star != text.size() - 1) {
            *reason = "a prefix ends at its \"*\"; what follows would be ignored";
            return false;
        }
        const std::string prefix = text.substr(0, star);
        if (prefix.empty()) {
            *reason = "\"*\" alone is no prefix and matches no visitor";
            return false;
        }
        if (prefix.size() >= RULE_IP_PREFIX_BYTES) {
            *reason = "a prefix is at most 15 characters";
            return false;
        }
        if (prefix.find_first_not_of("0123456789.") != std::string::npos) {
            *reason = "a prefix holds only digits and dots";
            return false;
        }
        *ipText = text;
    } else if (dash != std::string::npos) {
        if (!ReadStrictAddress(text.substr(0, dash), &low) ||
            !ReadStrictAddress(text.substr(dash + 1), &high)) {
            *reason = "a range is two four-part addresses joined by \"-\"";
            return false;
        }
        if (low > high) {
            *reason = "the range's first address is above its last";
            return false;
        }
        if (high == 0) {
            *reason = "the range holds only 0.0.0.0, which matches no visitor";
            return false;
        }
        *ipText = DottedAddress(low) + "-" + DottedAddress(high);
    } else {
        if (!ReadStrictAddress(text, &low)) {
            *reason = "not an address: four decimal parts of 0 to 255, without leading zeros";
            return false;
        }
        if (low == 0) {
            *reason = "the address 0.0.0.0 matches no visitor";
            return false;
        }
        *ipText = DottedAddress(low);
    }
    return true;
}

bool LooksLikeIp(const std::string& entry) {
    const std::string text = Trimmed(entry);
    return !text.empty() && text.find_first_not_of("0123456789.*-/ ") == std::string::npos;
}

bool SetName(_RULE& rule, const std::u16string& name, size_t limit, std::string* reason) {
    if (name.size() > limit) {
        *reason = "the nickname is longer than " + std::to_string(limit) + " UTF-16 units";
        return false;
    }
    if (name.find(u'\0') != std::u16string::npos) {
        *reason = "the nickname holds a zero character";
        return false;
    }
    std::memcpy(rule.name, name.data(), name.size() * sizeof(char16_t));
    return true;
}

bool SetIpText(_RULE& rule, const std::string& ipText, size_t limit, std::string* reason) {
    if (ipText.size() > limit) {
        *reason = "the IP text is longer than " + std::to_string(limit) + " characters";
        return false;
    }
    if (ipText.find('\0') != std::string::npos) {
        *reason = "the IP text holds a zero byte";
        return false;
    }
    std::memcpy(rule.ipText, ipText.data(), ipText.size());
    return true;
}

bool ParseStoredPattern(const std::string& column, _RULE& rule, std::string* reason) {
    bool haveLow = false, haveHigh = false, havePrefix = false;
    for (const std::string& item : Split(column, ' ')) {
        if (item.empty()) continue;
        const size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : item.substr(equals + 1);
        std::string bytes;
        uint32_t number = 0;
        if ((key == "low" || key == "high") && ParseHex32(value, &number)) {
            (key == "low" ? rule.ipLow : rule.ipHigh) = number;
            (key == "low" ? haveLow : haveHigh) = true;
        } else if (key == "prefix" && ParseHexBytes(value, &bytes) &&
                   bytes.size() == RULE_IP_PREFIX_BYTES) {
            std::memcpy(rule.ipPrefix, bytes.data(), bytes.size());
            havePrefix = true;
        } else {
            *reason = "bad stored pattern \"" + item + "\"";
            return false;
        }
    }
    if (!haveLow || !haveHigh || !havePrefix) {
        *reason = "a stored pattern gives low=, high= and prefix=";
        return false;
    }
    return true;
}

template <typename Char, size_t Width>
bool SetTail(Char (&field)[Width], const std::string& bytes, const char* key, std::string* reason) {
    const size_t offset = TailOffset(field);
    const size_t size = sizeof field - offset;
    if (bytes.size() != size) {
        *reason = std::string(key) + " must be " + std::to_string(size) + " bytes here";
        return false;
    }
    std::memcpy(reinterpret_cast<uint8_t*>(field) + offset, bytes.data(), size);
    return true;
}

bool ParseHiddenBytes(const std::string& column, _RULE& rule, std::string* reason) {
    for (const std::string& item : Split(column, ' ')) {
        if (item.empty()) continue;
        const size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        std::string bytes;
        if (equals == std::string::npos || !ParseHexBytes(item.substr(equals + 1), &bytes)) {
            *reason = "hidden bytes are written key=HEX";
            return false;
        }
        if (key == "name-tail") {
            if (!SetTail(rule.name, bytes, "name-tail", reason)) return false;
        } else if (key == "ip-tail") {
            if (!SetTail(rule.ipText, bytes, "ip-tail", reason)) return false;
        } else if (key == "reserved" && bytes.size() == RULE_RESERVED_BYTES) {
            std::memcpy(rule.reserved, bytes.data(), bytes.size());
        } else {
            *reason = "unknown hidden bytes \"" + key + "\" (or reserved not 260 bytes)";
            return false;
        }
    }
    return true;
}

bool ParseTableLine(const std::string& line, _RULE* rule, std::string* reason) {
    std::vector<std::string> columns = Split(line, '\t');
    if (columns.size() < TABLE_REQUIRED_COLUMNS || columns.size() > TABLE_COLUMNS) {
        *reason = "expected " + std::to_string(TABLE_REQUIRED_COLUMNS) + " to " +
                  std::to_string(TABLE_COLUMNS) + " tab-separated columns, found " +
                  std::to_string(columns.size());
        return false;
    }
    columns.resize(TABLE_COLUMNS);
    std::memset(rule, 0, sizeof *rule);

    std::u16string name;
    std::string ipText;
    if (!UnescapeName(columns[0], &name, reason) || !SetName(*rule, name, RULE_NAME_UNITS, reason)) {
        return false;
    }
    if (!ParseSearch(columns[1], &rule->searchType)) {
        *reason = "unknown search type \"" + columns[1] + "\"";
        return false;
    }
    if (!UnescapeBytes(columns[2], &ipText, reason) ||
        !SetIpText(*rule, ipText, RULE_IP_TEXT_BYTES, reason)) {
        return false;
    }
    if (!ParseStatus(columns[3], &rule->status)) {
        *reason = "unknown status \"" + columns[3] + "\"";
        return false;
    }
    if (!ParseColour(columns[4], &rule->nickColor) || !ParseColour(columns[5], &rule->textColor)) {
        *reason = "a colour is written #RRGGBB";
        return false;
    }
    if (columns[6].empty()) {
        ParseRuleIp(*rule);
    } else if (!ParseStoredPattern(columns[6], *rule, reason)) {
        return false;
    }
    return ParseHiddenBytes(columns[7], *rule, reason);
}

bool ParsePlainLine(const std::string& line, _RULE* rule, std::string* reason) {
    const std::vector<std::string> columns = Split(line, '\t');
    if (columns.size() > PLAIN_COLUMNS) {
        *reason = "more than " + std::to_string(PLAIN_COLUMNS) +
                  " columns (entry, status, nickname colour, message colour)";
        return false;
    }
    std::memset(rule, 0, sizeof *rule);
    rule->status = PLAIN_DEFAULT_STATUS;
    rule->nickColor = PLAIN_DEFAULT_NICK_COLOR;
    rule->textColor = PLAIN_DEFAULT_TEXT_COLOR;

    const std::string& entry = columns[0];
    const bool forcedName = StartsWith(entry, "name:");
    const bool forcedIp = StartsWith(entry, "ip:");
    if (forcedIp || (!forcedName && LooksLikeIp(entry))) {
        std::string ipText;
        if (!IpTextOfEntry(entry.substr(forcedIp ? 3 : 0), &ipText, reason) ||
            !SetIpText(*rule, ipText, TYPED_IP_BYTES, reason)) {
            return false;
        }
        ParseRuleIp(*rule);
        rule->searchType = SEARCH_IP;
    } else {
        std::u16string name;
        if (!DecodeUtf8(entry.substr(forcedName ? 5 : 0), &name)) {
            *reason = "the nickname is not UTF-8 text";
            return false;
        }
        for (char16_t unit : name) {
            if (unit < 0x20 || unit == 0x7F) {
                *reason = "the nickname holds a control character";
                return false;
            }
        }
        if (name.empty()) {
            *reason = "empty nickname";
            return false;
        }
        if (!SetName(*rule, name, TYPED_NAME_UNITS, reason)) return false;
        rule->searchType = SEARCH_NAME;
    }
    if (columns.size() > 1 && !columns[1].empty() && !ParseStatus(columns[1], &rule->status)) {
        *reason = "unknown status \"" + columns[1] + "\"";
        return false;
    }
    for (size_t column = 2; column < columns.size(); ++column) {
        if (columns[column].empty()) continue;
        uint32_t* colour = column == 2 ? &rule->nickColor : &rule->textColor;
        if (!ParseColour(columns[column], colour)) {
            *reason = "a colour is written #RRGGBB, not \"" + columns[column] + "\"";
            return false;
        }
    }
    return true;
}

// UTF-16LE with its byte order mark becomes UTF-8; a UTF-8 mark is dropped.
std::string AsUtf8(const std::string& text) {
    if (text.size() >= 2 && static_cast<uint8_t>(text[0]) == 0xFF &&
        static_cast<uint8_t>(text[1]) == 0xFE) {
        std::u16string units;
        for (size_t i = 2; i + 1 < text.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<uint8_t>(text[i]) |
                                                  static_cast<uint8_t>(text[i + 1]) << 8));
        }
        return EncodeUtf8(units);
    }
    if (StartsWith(text, "\xEF\xBB\xBF")) return text.substr(3);
    return text;
}

}  // namespace

std::string ExportLine(const _RULE& rule) {
    std::string line = EscapeName(rule.name, FieldLength(rule.name));
    line += '\t' + SearchKeyword(rule.searchType);
    line += '\t' + EscapeBytes(rule.ipText, FieldLength(rule.ipText));
    line += '\t' + StatusKeyword(rule.status);
    line += '\t' + ColourText(rule.nickColor);
    line += '\t' + ColourText(rule.textColor);

    line += '\t';
    if (!DerivedAsStored(rule)) {
        line += "low=" + Hex32(rule.ipLow) + " high=" + Hex32(rule.ipHigh) +
                " prefix=" + HexBytes(rule.ipPrefix, sizeof rule.ipPrefix);
    }

    std::string hidden;
    auto addHidden = [&](const char* key, const uint8_t* bytes, size_t size) {
        if (AllZero(bytes, size)) return;
        if (!hidden.empty()) hidden += ' ';
        hidden += std::string(key) + "=" + HexBytes(bytes, size);
    };
    const size_t nameTail = TailOffset(rule.name);
    addHidden("name-tail", reinterpret_cast<const uint8_t*>(rule.name) + nameTail,
              sizeof rule.name - nameTail);
    const size_t ipTail = TailOffset(rule.ipText);
    addHidden("ip-tail", reinterpret_cast<const uint8_t*>(rule.ipText) + ipTail,
              sizeof rule.ipText - ipTail);
    addHidden("reserved", rule.reserved, sizeof rule.reserved);
    line += '\t' + hidden;
    return line;
}

ImportResult ImportText(const std::string& rawText) {
    ImportResult result;
    const std::string text = AsUtf8(rawText);
    std::vector<std::string> lines = Split(text, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the last line's end
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    // The header's first four columns are enough to know an exported table.
    const bool table = !lines.empty() && StartsWith(lines[0], "nickname\tsearch\tip\tstatus");

    for (size_t i = table ? 1 : 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (!table && line[0] == '#') continue;
        _RULE rule;
        std::string reason;
        const bool good = table ? ParseTableLine(line, &rule, &reason)
                                : ParsePlainLine(line, &rule, &reason);
        if (good) {
            result.rules.push_back(rule);
        } else {
            result.badLines.push_back({i + 1, reason});
        }
    }
    return result;
}
