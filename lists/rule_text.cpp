#include "lists/rule_text.h"

#include "rules/ip_pattern.h"
#include "rules/text_field.h"
#include "lists/list_entry.h"
#include "lists/memo_text.h"
#include "lists/reason_language.h"
#include "lists/plain_list.h"
#include "lists/rule_words.h"
#include "lists/text_codec.h"
#include "lists/text_pieces.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

const char EXPORT_HEADER[] =
    "nickname\tsearch\tip\tstatus\tnick colour\ttext colour\tstored pattern\thidden bytes\tadded\texpires\tnote";

ReasonLanguage g_reasonLanguage = ReasonLanguage::English;

namespace {

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
    return text.size() == 10 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
           ReadHexDigits(text, 2, 8, value);
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
            *reason = InLanguage("bad stored pattern \"", "неверный сохранённый шаблон \"") + item + "\"";
            return false;
        }
    }
    if (!haveLow || !haveHigh || !havePrefix) {
        *reason = InLanguage("a stored pattern gives low=, high= and prefix=",
                             "сохранённый шаблон задаёт low=, high= и prefix=");
        return false;
    }
    return true;
}

template <typename Char, size_t Width>
bool SetTail(Char (&field)[Width], const std::string& bytes, const char* key, std::string* reason) {
    const size_t offset = TailOffset(field);
    const size_t size = sizeof field - offset;
    if (bytes.size() != size) {
        // The Russian puts the number last: no plural to agree with it.
        *reason = InLanguage("", "длина ") + std::string(key) +
                  InLanguage(" must be ", " здесь должна быть в байтах: ") + std::to_string(size) +
                  InLanguage(" bytes here", "");
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
            *reason = InLanguage("hidden bytes are written key=HEX", "скрытые байты пишутся так: key=HEX");
            return false;
        }
        if (key == "name-tail") {
            if (!SetTail(rule.name, bytes, "name-tail", reason)) return false;
        } else if (key == "ip-tail") {
            if (!SetTail(rule.ipText, bytes, "ip-tail", reason)) return false;
        } else if (key == "reserved" && bytes.size() == RULE_RESERVED_BYTES) {
            std::memcpy(rule.reserved, bytes.data(), bytes.size());
        } else {
            *reason = InLanguage("unknown hidden bytes \"", "неизвестные скрытые байты \"") + key +
                      InLanguage("\" (or reserved not 260 bytes)", "\" (или в reserved не 260 байт)");
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
        *reason = InLanguage("ip column: ", "столбец ip: ") + *reason +
                  InLanguage(" (lines written by export carry a stored pattern instead)",
                             " (в строках, записанных экспортом, вместо этого есть сохранённый шаблон)");
        return false;
    }
    return true;
}

}  // namespace

bool ParseTableLine(const std::string& line, _RULE* rule, std::string* reason, std::string* warning) {
    std::vector<std::string> columns = Split(line, '\t');
    if (columns.size() < TABLE_REQUIRED_COLUMNS || columns.size() > TABLE_COLUMNS) {
        *reason = InLanguage("expected ", "нужно от ") + std::to_string(TABLE_REQUIRED_COLUMNS) +
                  InLanguage(" to ", " до ") + std::to_string(TABLE_COLUMNS) +
                  InLanguage(" tab-separated columns, found ", " столбцов, разделённых табуляцией, а найдено: ") +
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
        *reason = InLanguage("unknown search type \"", "неизвестный тип поиска \"") + columns[1] + "\"";
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
        *reason = InLanguage("unknown status \"", "неизвестный статус \"") + columns[3] + "\"";
        return false;
    }
    if (!ParseColour(columns[4], &rule->nickColor) || !ParseColour(columns[5], &rule->textColor)) {
        *reason = InLanguage("a colour is written #RRGGBB", "цвет пишется #RRGGBB");
        return false;
    }
    if (columns[6].empty()) {
        ParseRuleIp(*rule);
    } else if (!ParseStoredPattern(columns[6], *rule, reason)) {
        return false;
    }
    return ParseHiddenBytes(columns[7], *rule, reason) &&
           ParseMemoColumns(columns[8], columns[9], columns[10], *rule, reason);
}

bool ParseAddressTableLine(const char* text, size_t length, _RULE* rule) {
    std::string columns[TABLE_REQUIRED_COLUMNS];
    size_t count = 0;
    for (size_t start = 0;; ++count) {
        if (count == TABLE_COLUMNS) return false;
        const void* tab = std::memchr(text + start, '\t', length - start);
        const size_t end = tab ? static_cast<size_t>(static_cast<const char*>(tab) - text) : length;
        // The colours are the last columns that may hold anything.
        if (count >= TABLE_REQUIRED_COLUMNS && end > start) return false;
        if (count < TABLE_REQUIRED_COLUMNS) columns[count].assign(text + start, end - start);
        if (!tab) break;
        start = end + 1;
    }
    if (count + 1 < TABLE_REQUIRED_COLUMNS || !columns[0].empty() || columns[1] != "ip") return false;
    std::memset(rule, 0, sizeof *rule);
    if (!StatusOfKeyword(columns[3], &rule->status) || !ReadAddressEntry(columns[2].data(), columns[2].size(), rule) ||
        columns[4].size() != 7 || !ParseColour(columns[4], &rule->nickColor) || columns[5].size() != 7 ||
        !ParseColour(columns[5], &rule->textColor)) {
        return false;
    }
    rule->searchType = SEARCH_IP;
    return true;
}

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
    // A memo that its columns give back needs no reserved=HEX.
    std::string added, expires, note;
    if (!MemoColumns(rule, &added, &expires, &note)) addHidden("reserved", rule.reserved, sizeof rule.reserved);
    line += '\t' + hidden + '\t' + added + '\t' + expires + '\t' + note;
    return line;
}
