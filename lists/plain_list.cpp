#include "lists/plain_list.h"

#include "rules/ip_pattern.h"
#include "rules/rule_memo.h"
#include "lists/address_set.h"
#include "lists/hidden_characters.h"
#include "lists/list_entry.h"
#include "lists/reason_language.h"
#include "lists/rule_words.h"
#include "lists/text_codec.h"
#include "lists/text_pieces.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr size_t PLAIN_COLUMNS = 4;

bool IsDigitOrDot(char c) { return (c >= '0' && c <= '9') || c == '.'; }

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

// One warning for the invisible characters removed at one place.
void NoteRemoved(const std::vector<char32_t>& removed, const std::string& where,
                 std::vector<std::string>* warnings) {
    if (removed.empty()) return;
    std::vector<char32_t> distinct;
    for (char32_t code : removed) {
        if (std::find(distinct.begin(), distinct.end(), code) == distinct.end()) distinct.push_back(code);
    }
    std::string names;
    for (char32_t code : distinct) names += (names.empty() ? "" : ", ") + CodePointName(code);
    std::string note = InLanguage("removed ", "удалено: ") + names + " " + where;
    if (std::find(distinct.begin(), distinct.end(), BYTE_ORDER_MARK) != distinct.end()) {
        note += InLanguage(" (a byte order mark inside a text is where another file was joined to it)",
                           " (метка порядка байтов внутри текста стоит там, где к нему присоединили другой файл)");
    }
    warnings->push_back(note);
}

// The first control or invisible character of a nickname; false for none.
bool HiddenInNickname(const std::u16string& name, char32_t* code) {
    const std::string utf8 = EncodeUtf8(name);
    const size_t at = FindHidden(utf8);
    if (at == std::string::npos) return false;
    *code = CodePointAt(utf8, at).value;
    return true;
}

// A nickname that an operator may have meant as an address or host: one
// that looks like a host name ("evil.example.com", "localhost") or holds a
// dotted address ("host 1.2.3.4").
std::string NicknameLooksLikeAddress(const std::string& entry) {
    const std::string text = Trimmed(entry);
    if (LooksLikeHostName(text)) {
        return "\"" + text + InLanguage("\" looks like a host name", "\" похоже на имя хоста");
    }
    for (size_t at = 0; at < text.size(); ++at) {
        if (!IsDigitOrDot(text[at]) || (at > 0 && IsDigitOrDot(text[at - 1]))) continue;
        size_t end = at;
        while (end < text.size() && IsDigitOrDot(text[end])) ++end;
        uint32_t address = 0;
        if (ReadStrictAddress(text.substr(at, end - at), &address)) {
            return InLanguage("\"", "в \"") + text + InLanguage("\" holds the address ", "\" есть адрес ") +
                   text.substr(at, end - at);
        }
    }
    return "";
}

// "/n" of a CIDR block ending the text: its addresses, when the address is
// the block's first and the block holds more than 0.0.0.0.
bool ReadBlockLength(const char* at, const char* end, uint32_t low, uint32_t* high) {
    if (end - at < 1 || end - at > 2 || !IsDigit(at[0]) || (end - at == 2 && (at[0] == '0' || !IsDigit(at[1])))) {
        return false;
    }
    const int length = end - at == 1 ? at[0] - '0' : (at[0] - '0') * 10 + (at[1] - '0');
    if (length > 32) return false;
    const uint32_t hostBits = length == 0 ? 0xFFFFFFFFu : (1u << (32 - length)) - 1;
    if ((low & hostBits) != 0 || (low | hostBits) == 0) return false;
    *high = low | hostBits;
    return true;
}

}  // namespace

bool ReadAddressEntry(const char* text, size_t length, _RULE* rule) {
    const char* end = text + length;
    uint32_t low = 0;
    uint32_t high = 0;
    const size_t first = ReadStrictAddressAt(text, length, &low);
    if (first == 0) return false;
    const char* at = text + first;
    const bool range = at != end;
    if (!range) {
        if (low == 0) return false;
    } else if (*at == '-') {
        ++at;
        const size_t last = ReadStrictAddressAt(at, static_cast<size_t>(end - at), &high);
        if (last == 0 || at + last != end || low > high || high == 0) return false;
    } else if (*at != '/' || !ReadBlockLength(at + 1, end, low, &high)) {
        return false;
    }
    // Half of all addresses or more is warned about.
    if (range && high - low >= 0x7FFFFFFFu) return false;
    std::memset(rule->ipText, 0, sizeof rule->ipText);
    std::memset(rule->ipPrefix, 0, sizeof rule->ipPrefix);
    size_t written = FormatDotted(low, rule->ipText);
    rule->ipLow = low;
    rule->ipHigh = 0;
    if (range) {
        rule->ipText[written++] = '-';
        FormatDotted(high, rule->ipText + written);
        rule->ipHigh = high;
    }
    return true;
}

bool ParseAddressLine(const char* text, size_t length, const PlainDefaults& defaults, _RULE* rule) {
    std::memset(rule, 0, sizeof *rule);
    const void* tab = std::memchr(text, '\t', length);
    const size_t entry = tab ? static_cast<size_t>(static_cast<const char*>(tab) - text) : length;
    if (!ReadAddressEntry(text, entry, rule)) return false;
    rule->status = defaults.status;
    if (tab) {
        // A status column: one of the four words alone.
        if (!StatusOfKeyword(std::string(text + entry + 1, length - entry - 1), &rule->status)) return false;
    }
    rule->nickColor = defaults.nickColor;
    rule->textColor = defaults.textColor;
    rule->searchType = SEARCH_IP;
    if (defaults.memo) WriteRuleMemo(*rule, *defaults.memo);
    return true;
}

std::string PlainLineText(const std::string& line, std::vector<std::string>* warnings) {
    // Invisible characters are not ASCII.
    if (std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return WithoutComment(line);
    }
    std::vector<char32_t> removed;
    const std::string started = WithoutInvisibleEdge(line, true, &removed);
    NoteRemoved(removed, InLanguage("at the line's start", "в начале строки"), warnings);
    const std::vector<std::string> columns = Split(WithoutComment(started), '\t');
    std::string text;
    for (size_t column = 0; column < columns.size(); ++column) {
        removed.clear();
        std::string kept = WithoutInvisibleEdge(columns[column], true, &removed);
        // What follows "name:" is the nickname exactly, to its last character.
        if (column > 0 || !StartsWith(Trimmed(kept), "name:")) kept = WithoutInvisibleEdge(kept, false, &removed);
        NoteRemoved(removed,
                    column == 0 ? std::string(InLanguage("around the entry", "вокруг записи"))
                                : InLanguage("around column ", "вокруг столбца ") + std::to_string(column + 1),
                    warnings);
        text += (column == 0 ? "" : "\t") + kept;
    }
    return text;
}

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

bool ParsePlainLine(const std::string& line, const PlainDefaults& defaults, _RULE* rule,
                    std::string* reason, std::string* warning) {
    std::vector<std::string> columns = Split(line, '\t');
    if (columns.size() > PLAIN_COLUMNS) {
        *reason = InLanguage("more than ", "больше ") + std::to_string(PLAIN_COLUMNS) +
                  InLanguage(" columns (entry, status, nickname colour, message colour)",
                             " столбцов (запись, статус, цвет ника, цвет сообщения)");
        return false;
    }
    for (size_t column = 1; column < columns.size(); ++column) columns[column] = Trimmed(columns[column]);
    std::memset(rule, 0, sizeof *rule);
    rule->status = defaults.status;
    rule->nickColor = defaults.nickColor;
    rule->textColor = defaults.textColor;

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
            *reason = InLanguage("the nickname is not UTF-8 text", "ник записан не в UTF-8");
            return false;
        }
        char32_t hidden = 0;
        const bool holdsHidden = HiddenInNickname(name, &hidden);
        if (holdsHidden && IsControl(hidden)) {
            *reason = InLanguage("the nickname holds a control character, ", "в нике есть управляющий символ: ") +
                      CodePointName(hidden);
            return false;
        }
        if (name.empty()) {
            *reason = InLanguage("empty nickname", "пустой ник");
            return false;
        }
        if (!SetName(*rule, name, TYPED_NAME_UNITS, reason)) return false;
        rule->searchType = SEARCH_NAME;
        // An invisible character is kept only when "name:" asks for the
        // nickname exactly (a look-alike of another nickname).
        if (holdsHidden) {
            const std::string what = InLanguage("the nickname holds ", "в нике есть ") + CodePointName(hidden) +
                                     InLanguage(", which a text does not show", ", которого не видно в тексте");
            if (!forcedName) {
                *reason = what + InLanguage(" (\"name:\" in front keeps it exactly)",
                                            " (с \"name:\" в начале ник сохранится как есть)");
                return false;
            }
            *warning = what;
        }
        const std::string lookalike = forcedName ? "" : NicknameLooksLikeAddress(entry);
        if (!lookalike.empty()) {
            *warning = lookalike +
                       InLanguage("; it is taken as a nickname (rules hold IPv4 addresses only; \"name:",
                                  "; принято как ник (правила содержат только адреса IPv4; \"name:") +
                       Trimmed(entry) + InLanguage("\" says it is a nickname)", "\" прямо говорит, что это ник)");
        }
    }
    if (columns.size() > 1 && !columns[1].empty() && !ParsePlainStatus(columns[1], &rule->status)) {
        *reason = InLanguage("unknown status \"", "неизвестный статус \"") + columns[1] +
                  InLanguage("\" (unchanged, allow-all, no-private, ignore, the editor's words, or -1, 0, 256, 768)",
                             "\" (unchanged, allow-all, no-private, ignore, слова редактора или -1, 0, 256, 768)");
        return false;
    }
    for (size_t column = 2; column < columns.size(); ++column) {
        if (columns[column].empty()) continue;
        uint32_t* colour = column == 2 ? &rule->nickColor : &rule->textColor;
        if (!ParseColour(columns[column], colour)) {
            *reason = InLanguage("a colour is written #RRGGBB, not \"", "цвет пишется #RRGGBB, а не \"") +
                      columns[column] + "\"";
            return false;
        }
    }
    // A plain line's rule has no reserved bytes: the memo always fits.
    if (defaults.memo) WriteRuleMemo(*rule, *defaults.memo);
    return true;
}
