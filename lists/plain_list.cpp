#include "lists/plain_list.h"

#include "rules/ip_pattern.h"
#include "lists/list_entry.h"
#include "lists/rule_words.h"
#include "lists/text_codec.h"
#include "lists/text_pieces.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t PLAIN_COLUMNS = 4;

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

}  // namespace

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
