#include "lists/visitor_why.h"

#include "matching/matching.h"
#include "matching/rule_pick.h"
#include "rules/ip_pattern.h"
#include "rules/rule_memo.h"
#include "rules/text_field.h"
#include "lists/address_set.h"
#include "lists/memo_text.h"
#include "lists/rule_words.h"
#include "lists/text_codec.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t NEAR_MISSES_SHOWN = 20;
constexpr uint32_t NEAR_RANGE_DISTANCE = 65536;  // "just outside" a range

char16_t FoldCase(char16_t unit) {
    if (unit >= u'A' && unit <= u'Z') return static_cast<char16_t>(unit + 32);
    if (unit >= 0x0410 && unit <= 0x042F) return static_cast<char16_t>(unit + 32);  // А-Я
    if (unit >= 0x0400 && unit <= 0x040F) return static_cast<char16_t>(unit + 80);  // Ё, Ђ...
    return unit;
}

// The rule's nickname and the visitor's differ only in the case of letters.
bool SameButForCase(const _RULE& rule, const char16_t* nick) {
    const size_t length = FieldLength(rule.name);
    for (size_t k = 0; k < length; ++k) {
        if (nick[k] == 0 || FoldCase(rule.name[k]) != FoldCase(nick[k])) return false;
    }
    return nick[length] == 0;
}

std::string Describe(const _RULE& rule) {
    std::string text = SearchKeyword(rule.searchType);
    if (TestsName(rule.searchType)) {
        text += " \"" + EscapeName(rule.name, FieldLength(rule.name)) + "\"";
    }
    if (TestsIp(rule.searchType)) {
        text += " " + EscapeBytes(rule.ipText, FieldLength(rule.ipText));
    }
    return text;
}

std::string Effect(const _RULE& rule) {
    return StatusKeyword(rule.status) + ", nickname " + ColourText(rule.nickColor) + ", messages " +
           ColourText(rule.textColor);
}

// Why the IP test fails although it nearly succeeds; empty when it is not near.
std::string NearIpMiss(const _RULE& rule, MatchVisitor& visitor) {
    const size_t prefixLength = FieldLength(rule.ipPrefix);
    if (prefixLength > 0) {
        size_t same = 0;
        while (same < prefixLength && visitor.ip[same] == rule.ipPrefix[same]) ++same;
        const char* dot = static_cast<const char*>(std::memchr(rule.ipPrefix, '.', prefixLength));
        if (dot && same > static_cast<size_t>(dot - rule.ipPrefix)) {
            return "the prefix \"" + EscapeBytes(rule.ipPrefix, prefixLength) +
                   "\" differs from the IP text at character " + std::to_string(same + 1);
        }
    }
    const uint32_t address = VisitorAddress(visitor);
    if (address == ADDRESS_NONE) return "";
    if (rule.ipHigh != 0 && rule.ipLow <= rule.ipHigh) {
        if (address < rule.ipLow && rule.ipLow - address <= NEAR_RANGE_DISTANCE) {
            return "outside the range " + DottedAddress(rule.ipLow) + "-" + DottedAddress(rule.ipHigh) +
                   " (" + std::to_string(rule.ipLow - address) + " below its first address)";
        }
        if (address > rule.ipHigh && address - rule.ipHigh <= NEAR_RANGE_DISTANCE) {
            return "outside the range " + DottedAddress(rule.ipLow) + "-" + DottedAddress(rule.ipHigh) +
                   " (" + std::to_string(address - rule.ipHigh) + " above its last address)";
        }
    } else if (rule.ipLow != 0 && (rule.ipLow >> 8) == (address >> 8)) {
        return "the rule's address is " + DottedAddress(rule.ipLow);
    }
    return "";
}

// Why a rule that does not pick the visitor nearly does; empty when it does not.
std::string NearMiss(const _RULE& rule, MatchVisitor& visitor, bool hasNick, bool hasIp) {
    const int32_t search = rule.searchType;
    const bool testsName = TestsName(search);
    const bool testsIp = TestsIp(search);
    const bool nameEqual = testsName && NameMatches(rule, visitor.nick);
    const bool ipEqual = testsIp && IpMatches(rule, visitor);
    const std::string caseOnly =
        testsName && !nameEqual && SameButForCase(rule, visitor.nick) ? "the nickname differs only in case" : "";
    const std::string ipNear = testsIp && !ipEqual && hasIp ? NearIpMiss(rule, visitor) : "";
    if (search == SEARCH_NAME_AND_IP) {
        if (nameEqual && !ipEqual) {
            return "a name-and-IP rule: the nickname matches, but " +
                   (!hasIp ? std::string("the visitor has no IP")
                           : ipNear.empty() ? std::string("the IP does not") : "the IP does not: " + ipNear);
        }
        if (ipEqual && !nameEqual) {
            return "a name-and-IP rule: the IP matches, but " +
                   (!hasNick ? std::string("the visitor has no nickname")
                             : caseOnly.empty() ? std::string("the nickname does not") : caseOnly);
        }
        return "";
    }
    if (!caseOnly.empty()) return caseOnly;
    return ipNear;
}

constexpr uint32_t NO_RULE = UINT32_MAX;

// A room report on the visitor as the module makes it: the picking rules in
// list order, the entry's state and colours as ApplyRuleEffect leaves them,
// and the last pick that set the status (NO_RULE: none did).
struct RoomReport {
    std::vector<uint32_t> picks;
    uint32_t state = 0;
    uint32_t nickColor = 0;
    uint32_t textColor = 0;
    uint32_t statusRule = NO_RULE;
};

void RecordPick(void* context, const _RULE& rule, uint32_t ruleNumber) {
    RoomReport& report = *static_cast<RoomReport*>(context);
    report.picks.push_back(ruleNumber);
    if (SetsStatus(rule.status)) report.statusRule = ruleNumber;
    ApplyRuleEffect(rule, report.state, report.nickColor, report.textColor);
}

// The rules expired by `now` that would pick the visitor without their
// expiry, in list order: each run alone, its memo removed.
std::vector<uint32_t> ExpiredPicks(const _RULE* rules, uint32_t count, const char16_t* nick, const char* ip,
                                   int64_t now) {
    std::vector<uint32_t> expired;
    for (uint32_t j = 0; j < count; ++j) {
        if (!RuleExpired(rules[j], now)) continue;
        _RULE permanent = rules[j];
        RemoveRuleMemo(permanent);
        RoomReport report;
        MatchOneVisitor(RuleListView{&permanent, 1, nullptr, nullptr, 0, now}, nick, ip, true, RecordPick, &report);
        if (!report.picks.empty()) expired.push_back(j);
    }
    return expired;
}

}  // namespace

std::string ExplainVisitor(const _RULE* rules, uint32_t count, bool hasNick,
                           const std::u16string& nick, bool hasIp, const std::string& ip,
                           int64_t now) {
    std::vector<char16_t> nickField(NICK_UNITS + 1, 0);
    std::memcpy(nickField.data(), nick.data(),
                std::min(nick.size(), NICK_UNITS - 1) * sizeof(char16_t));
    char ipField[USER_IP_BYTES] = {};
    std::memcpy(ipField, ip.data(), std::min(ip.size(), USER_IP_BYTES - 1));

    std::string out = "visitor: ";
    out += hasNick ? "nickname \"" + EncodeUtf8(nick) + "\"" : std::string("no nickname");
    out += hasIp ? ", IP " + ip : std::string(", no IP");
    if (hasIp) {
        MatchVisitor probe = MakeMatchVisitor(nickField.data(), ipField);
        const uint32_t address = VisitorAddress(probe);
        if (address == ADDRESS_NONE && ip != "255.255.255.255") {
            out += " (no address: compared as 255.255.255.255)";
        } else if (DottedAddress(address) != ip) {
            out += " (read as " + DottedAddress(address) + ")";
        }
    }
    out += "\n";

    // The module's own loop and effect: every pick in list order, as a room
    // report applies them; an arrival applies the first only.
    RoomReport report;
    const RuleListView list{rules, count, nullptr, nullptr, 0, now};
    MatchOneVisitor(list, nickField.data(), ipField, true, RecordPick, &report);
    const std::vector<uint32_t>& picks = report.picks;

    const std::vector<uint32_t> expired = ExpiredPicks(rules, count, nickField.data(), ipField, now);

    std::vector<std::pair<uint32_t, std::string>> nearMisses;
    size_t nextPick = 0, nextExpired = 0;
    for (uint32_t j = 0; j < count; ++j) {
        if (nextPick < picks.size() && picks[nextPick] == j) {
            ++nextPick;
            continue;
        }
        if (nextExpired < expired.size() && expired[nextExpired] == j) {
            ++nextExpired;
            continue;
        }
        MatchVisitor visitor = MakeMatchVisitor(nickField.data(), ipField);
        std::string reason = NearMiss(rules[j], visitor, hasNick, hasIp);
        if (!reason.empty()) nearMisses.emplace_back(j, reason);
    }
    if (picks.empty()) {
        out += "no rule picks this visitor: arrivals and room reports leave it as the host has it\n";
    } else {
        out += std::to_string(picks.size()) + (picks.size() == 1 ? " rule picks" : " rules pick") +
               " this visitor, in list order:\n";
        for (uint32_t j : picks) {
            out += "  rule " + std::to_string(j + 1) + ": " + Describe(rules[j]) + " -> " + Effect(rules[j]) + "\n";
        }
        const _RULE& first = rules[picks.front()];
        out += "on arrival (and when checked alone) rule " + std::to_string(picks.front() + 1) +
               " decides: " + Effect(first) + "\n";
        const uint32_t last = picks.back();
        out += "a room report applies all " + std::to_string(picks.size()) + " in order and leaves: status ";
        out += report.statusRule == NO_RULE ? std::string("as the host has it")
                                            : StatusKeyword(rules[report.statusRule].status) + " (rule " +
                                                  std::to_string(report.statusRule + 1) + ")";
        out += ", nickname " + ColourText(report.nickColor) + " and messages " +
               ColourText(report.textColor) + " (rule " + std::to_string(last + 1) + ")\n";
    }
    if (!expired.empty()) {
        out += "rules that would pick this visitor but have expired (they pick no one at " + UtcTimeText(now) +
               "):\n";
        for (uint32_t j : expired) {
            out += "  rule " + std::to_string(j + 1) + ": " + Describe(rules[j]) + " -> " + Effect(rules[j]) +
                   ": expired at " + UtcTimeText(RuleExpiry(rules[j])) + "\n";
        }
    }
    if (!nearMisses.empty()) {
        out += "rules that nearly pick this visitor:\n";
        for (size_t k = 0; k < nearMisses.size() && k < NEAR_MISSES_SHOWN; ++k) {
            const uint32_t j = nearMisses[k].first;
            out += "  rule " + std::to_string(j + 1) + ": " + Describe(rules[j]) + ": " + nearMisses[k].second + "\n";
        }
        if (nearMisses.size() > NEAR_MISSES_SHOWN) {
            out += "  and " + std::to_string(nearMisses.size() - NEAR_MISSES_SHOWN) + " more\n";
        }
    }
    return out;
}
