#include "tool/rule_text.h"

#include "rules/ip_pattern.h"
#include "rules/text_field.h"
#include "tool/address_set.h"
#include "tool/rule_words.h"
#include "tool/text_codec.h"

#include <algorithm>
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

bool IpTextPassesChecks(const _RULE& rule);

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

// Blanks and tabs at both ends removed.
std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool StartsWith(const std::string& text, const char* start) {
    return text.compare(0, std::strlen(start), start) == 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A plain dotted address: four decimal parts of 0 to 255 without leading
// zeros (the module would read "010" as octal, and "10.1" as 10.0.0.1).
bool ReadStrictAddress(const std::string& text, uint32_t* address) {
    uint32_t value = 0;
    int parts = 0;
    size_t at = 0;
    while (parts < 4) {
        size_t digits = 0;
        uint32_t number = 0;
        while (at < text.size() && IsDigit(text[at]) && digits < 4) {
            number = number * 10 + static_cast<uint32_t>(text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || number > 255 || (digits > 1 && text[at - digits] == '0')) return false;
        value = (value << 8) | number;
        ++parts;
        if (parts < 4) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
    }
    if (at != text.size()) return false;
    *address = value;
    return true;
}

// Blank characters other than the ASCII ones: no-break and other Unicode
// spaces, which a text shows like a blank.
size_t UnicodeSpaceAt(const std::string& text, size_t at) {
    if (static_cast<unsigned char>(text[at]) < 0x80) return 0;
    static const char* const spaces[] = {"\xC2\xA0", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
                                         "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
                                         "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
                                         "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\x8B",
                                         "\xE2\x80\xAF", "\xE3\x80\x80", "\xEF\xBB\xBF"};
    for (const char* space : spaces) {
        if (text.compare(at, std::strlen(space), space) == 0) return std::strlen(space);
    }
    return 0;
}

bool HoldsBlank(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' || text[i] == '\t' || UnicodeSpaceAt(text, i)) return true;
    }
    return false;
}

// Lower-case labels joined by dots, the last one of letters: "evil.example.com".
bool LooksLikeHostName(const std::string& text) {
    const std::vector<std::string> labels = Split(text, '.');
    if (labels.size() < 2) return false;
    for (const std::string& label : labels) {
        if (label.empty()) return false;
        for (char c : label) {
            if (!(c >= 'a' && c <= 'z') && !IsDigit(c) && c != '-') return false;
        }
    }
    const std::string& last = labels.back();
    return last.size() >= 2 && std::all_of(last.begin(), last.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// Whether a plain list's entry is an attempt at an address rather than a
// nickname: it starts with a digit and holds ".", ":", "/", "," or a blank;
// or holds ":" at all; or holds only address characters; or starts with "*".
// Such an entry is an address or a bad line, never a nickname: a nickname
// like that is written with "name:".
bool IsAddressAttempt(const std::string& entry) {
    const std::string text = Trimmed(entry);
    if (text.empty()) return false;
    if (text.find(':') != std::string::npos) return true;
    if (IsDigit(text[0]) && (text.find_first_of("./, ") != std::string::npos || HoldsBlank(text))) {
        return true;
    }
    if (text.find_first_not_of("0123456789.*-/") == std::string::npos) return true;
    return text[0] == '*';
}

// "1, 10-19, 100-199": the values of one address part in a prefix warning.
std::string PartValues(const std::vector<AddressInterval>& intervals, int shift) {
    std::string shown;
    for (const AddressInterval& interval : intervals) {
        const uint32_t first = (interval.low >> shift) & 0xFF;
        const uint32_t last = (interval.high >> shift) & 0xFF;
        if (!shown.empty()) shown += ", ";
        shown += std::to_string(first);
        if (last != first) shown += "-" + std::to_string(last);
    }
    return shown;
}

// Checks an IP pattern as a plain list or the table's ip column writes it,
// and gives the IP text to store, or says why not. `warning` gets what is
// allowed but seldom meant.
bool IpTextOfEntry(const std::string& entry, std::string* ipText, std::string* reason,
                   std::string* warning) {
    std::string text = Trimmed(entry);
    const bool hasLetters = std::any_of(text.begin(), text.end(), IsLetter);
    const std::string nicknameHint =
        hasLetters ? " (a nickname that looks like this is written \"name:" + text + "\")" : "";
    if (text.empty()) {
        *reason = "no IP text";
        return false;
    }
    if (text.find(':') != std::string::npos) {
        const size_t colons = static_cast<size_t>(std::count(text.begin(), text.end(), ':'));
        const size_t colon = text.find(':');
        uint32_t address = 0;
        if (colons == 1 && ReadStrictAddress(Trimmed(text.substr(0, colon)), &address)) {
            *reason = "a port is not part of an address: write " + DottedAddress(address) + " alone";
        } else if (colons >= 2 || text.find_first_not_of("0123456789abcdefABCDEF:./") == std::string::npos) {
            *reason = "IPv6 addresses are not supported (only IPv4: four numbers 0 to 255)" + nicknameHint;
        } else {
            *reason = "\":\" is not part of an address" + nicknameHint;
        }
        return false;
    }
    if (text.find(',') != std::string::npos) {
        *reason = "a comma is not part of an address: a range is written FIRST-LAST, one a line";
        return false;
    }
    // Blanks around the "-" of a range are dropped, as the editor drops them.
    std::string joined;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') {
            const size_t before = text.find_last_not_of(' ', i);
            const size_t after = text.find_first_not_of(' ', i);
            if ((before != std::string::npos && text[before] == '-') ||
                (after != std::string::npos && text[after] == '-')) {
                continue;
            }
        }
        joined.push_back(text[i]);
    }
    text = joined;
    for (size_t i = 0; i < text.size(); ++i) {
        if (UnicodeSpaceAt(text, i) == 2 && text[i] == '\xC2') {
            *reason = "a no-break space inside an address";
            return false;
        }
        if (text[i] == ' ' || text[i] == '\t' || UnicodeSpaceAt(text, i)) {
            *reason = "spaces inside an address (columns are separated by tabs)" + nicknameHint;
            return false;
        }
    }
    if (text[0] == '*' && text.size() > 1) {
        *reason = "a pattern cannot start with \"*\": a prefix is written like 10.0.* (host names are not supported)";
        return false;
    }
    if (hasLetters && LooksLikeHostName(text)) {
        *reason = "a host name is not an address: rules hold IPv4 addresses only" + nicknameHint;
        return false;
    }
    const size_t other = text.find_first_not_of("0123456789.*-/");
    if (other != std::string::npos) {
        const bool ascii = static_cast<unsigned char>(text[other]) < 0x80;
        *reason = "not an address: " +
                  (ascii ? "\"" + text.substr(other, 1) + "\" is not part of an address"
                         : std::string("a character that is not part of an address")) +
                  nicknameHint;
        return false;
    }
    const size_t slash = text.find('/');
    const IpTextShape shape = ClassifyIpText(text.data(), text.size());
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
    } else if (shape.kind == IpTextKind::Prefix) {
        const size_t star = shape.split;
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
        const std::vector<AddressInterval> picked = PrefixAddresses(prefix.data(), prefix.size());
        if (picked.empty()) {
            *reason = "no address starts with \"" + prefix +
                      "\": parts are 0 to 255 without leading zeros, at most four";
            return false;
        }
        if (prefix.back() != '.') {
            const size_t dots = static_cast<size_t>(std::count(prefix.begin(), prefix.end(), '.'));
            const int shift = 24 - 8 * static_cast<int>(dots);
            *warning = "the prefix \"" + text + "\" is compared as text: its part " +
                       std::to_string(dots + 1) + " may be " + PartValues(picked, shift);
            if (dots < 3) *warning += " (\"" + prefix + ".*\" is that part exactly)";
        }
        *ipText = text;
    } else if (shape.kind == IpTextKind::Range) {
        const size_t dash = shape.split;
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
    const bool range = slash != std::string::npos || shape.kind == IpTextKind::Range;
    if (range && high - low >= 0x7FFFFFFFu) {
        *warning = "\"" + text + "\" picks " +
                   (high - low == 0xFFFFFFFFu ? std::string("every visitor that has an address")
                                              : std::string("half of all addresses or more"));
    }
    return true;
}

// Whether the table's checks give back the rule's own IP text, so that its
// line needs no stored pattern.
bool IpTextPassesChecks(const _RULE& rule) {
    const std::string text(rule.ipText, FieldLength(rule.ipText));
    if (text.empty()) return true;
    std::string stored, reason, warning;
    return IpTextOfEntry(text, &stored, &reason, &warning) && stored == text;
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

// The table's ip column without stored fields is checked as a plain list's
// entry: what it gives is stored (a CIDR block as its range).
bool CheckedTableIpText(const std::string& ipText, std::string* stored, std::string* reason,
                        std::string* warning) {
    if (ipText.empty()) {
        stored->clear();
        return true;
    }
    if (!IpTextOfEntry(ipText, stored, reason, warning)) {
        *reason = "ip column: " + *reason + " (lines written by export carry a stored pattern instead)";
        return false;
    }
    return true;
}

bool ParseTableLine(const std::string& line, _RULE* rule, std::string* reason, std::string* warning) {
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
    if (!UnescapeBytes(columns[2], &ipText, reason)) return false;
    // A line with its stored fields is taken as it is, so that a file's
    // export imports back to the same bytes; an edited line is checked.
    if (columns[6].empty()) {
        std::string stored;
        if (!CheckedTableIpText(ipText, &stored, reason, warning)) return false;
        ipText = stored;
    }
    if (!SetIpText(*rule, ipText, RULE_IP_TEXT_BYTES, reason)) return false;
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

// A plain list's line without its comment: "#" or ";" at the start of the
// line or after a blank or tab starts one, except the "#" that starts a
// colour column and anything in a "name:" entry.
std::string WithoutComment(const std::string& line) {
    const bool named = StartsWith(Trimmed(line), "name:");
    size_t column = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            ++column;
            continue;
        }
        if (c != '#' && c != ';') continue;
        if (i > 0 && line[i - 1] != ' ' && line[i - 1] != '\t') continue;
        if (column == 0 && named) continue;
        if (column >= 2 && c == '#' && i > 0 && line[i - 1] == '\t') continue;  // a colour
        std::string kept = line.substr(0, i);
        while (!kept.empty() && (kept.back() == ' ' || kept.back() == '\t')) kept.pop_back();
        return kept;
    }
    return line;
}

// A plain list's status: a word, or one of the four values the editor offers.
bool ParsePlainStatus(const std::string& text, int32_t* status) {
    int32_t value = 0;
    if (!ParseStatus(text, &value)) return false;
    if (value != STATUS_UNCHANGED && value != STATUS_ALLOW_ALL && value != STATUS_NO_PRIVATE &&
        value != STATUS_IGNORE) {
        return false;
    }
    *status = value;
    return true;
}

bool ParsePlainLine(const std::string& line, _RULE* rule, std::string* reason, std::string* warning) {
    std::vector<std::string> columns = Split(line, '\t');
    if (columns.size() > PLAIN_COLUMNS) {
        *reason = "more than " + std::to_string(PLAIN_COLUMNS) +
                  " columns (entry, status, nickname colour, message colour)";
        return false;
    }
    for (size_t column = 1; column < columns.size(); ++column) columns[column] = Trimmed(columns[column]);
    std::memset(rule, 0, sizeof *rule);
    rule->status = PLAIN_DEFAULT_STATUS;
    rule->nickColor = PLAIN_DEFAULT_NICK_COLOR;
    rule->textColor = PLAIN_DEFAULT_TEXT_COLOR;

    const std::string& entry = columns[0];
    const bool forcedName = StartsWith(entry, "name:");
    const bool forcedIp = StartsWith(entry, "ip:");
    if (forcedIp || (!forcedName && IsAddressAttempt(entry))) {
        std::string ipText;
        if (!IpTextOfEntry(entry.substr(forcedIp ? 3 : 0), &ipText, reason, warning) ||
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
        if (!forcedName && LooksLikeHostName(Trimmed(entry))) {
            *warning = "\"" + entry + "\" looks like a host name; it is taken as a nickname (rules hold " +
                       "IPv4 addresses only; \"name:" + entry + "\" says it is a nickname)";
        }
    }
    if (columns.size() > 1 && !columns[1].empty() && !ParsePlainStatus(columns[1], &rule->status)) {
        *reason = "unknown status \"" + columns[1] +
                  "\" (unchanged, allow-all, no-private, ignore, the editor's words, or -1, 0, 256, 768)";
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
    if (!DerivedAsStored(rule) || !IpTextPassesChecks(rule)) {
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
        const std::string line = table ? lines[i] : WithoutComment(lines[i]);
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        _RULE rule;
        std::string reason;
        std::string warning;
        const bool good = table ? ParseTableLine(line, &rule, &reason, &warning)
                                : ParsePlainLine(line, &rule, &reason, &warning);
        if (good) {
            result.rules.push_back(rule);
            if (!warning.empty()) result.warnings.push_back({i + 1, warning});
        } else {
            result.badLines.push_back({i + 1, reason});
        }
    }
    return result;
}
