#include "tool/rule_check.h"

#include "rules/ip_pattern.h"
#include "rules/text_field.h"
#include "tool/rule_words.h"
#include "tool/text_codec.h"

#include <cstring>
#include <unordered_map>

namespace {

bool TestsName(const _RULE& rule) { return (rule.searchType & SEARCH_NAME_BIT) != 0; }
bool TestsIp(const _RULE& rule) { return (rule.searchType & SEARCH_IP_BIT) != 0; }

void AppendBytes(std::string* key, const void* bytes, size_t size) {
    key->append(static_cast<const char*>(bytes), size);
}

template <typename Char, size_t Width>
void AppendText(std::string* key, const Char (&field)[Width]) {
    const uint32_t length = static_cast<uint32_t>(FieldLength(field));
    AppendBytes(key, &length, sizeof length);
    AppendBytes(key, field, length * sizeof(Char));
}

// The IP pattern matching compares: the prefix text and both bounds.
void AppendIpPattern(std::string* key, const _RULE& rule) {
    AppendText(key, rule.ipPrefix);
    AppendBytes(key, &rule.ipLow, sizeof rule.ipLow);
    AppendBytes(key, &rule.ipHigh, sizeof rule.ipHigh);
}

// Which visitors a rule picks: its search type and the parts it tests.
std::string TestKey(const _RULE& rule) {
    std::string key;
    AppendBytes(&key, &rule.searchType, sizeof rule.searchType);
    if (TestsName(rule)) AppendText(&key, rule.name);
    if (TestsIp(rule)) AppendIpPattern(&key, rule);
    return key;
}

bool HasIpPattern(const _RULE& rule) {
    return FieldLength(rule.ipPrefix) > 0 || rule.ipLow != 0 || rule.ipHigh != 0;
}

// A stored address of all ones with no range: what an IP text that is no
// address gives. Only the text "255.255.255.255" means it.
bool IsFailedAddress(const _RULE& rule) {
    if (rule.ipLow != ADDRESS_NONE || rule.ipHigh != 0 || FieldLength(rule.ipPrefix) > 0) {
        return false;
    }
    constexpr char broadcast[] = "255.255.255.255";
    return FieldLength(rule.ipText) != sizeof broadcast - 1 ||
           std::memcmp(rule.ipText, broadcast, sizeof broadcast - 1) != 0;
}

// The IP text's two ends when it is written as a range with low above high.
bool TextIsInvertedRange(const _RULE& rule) {
    const size_t length = FieldLength(rule.ipText);
    const char* text = rule.ipText;
    if (std::memchr(text, '*', length)) return false;
    const char* dash = static_cast<const char*>(std::memchr(text, '-', length));
    if (!dash) return false;
    const size_t lowLength = static_cast<size_t>(dash - text);
    const uint32_t low = ConvertAddress(text, lowLength);
    const uint32_t high = ConvertAddress(dash + 1, length - lowLength - 1);
    return low != ADDRESS_NONE && high != ADDRESS_NONE && low > high;
}

std::string IpTextShown(const _RULE& rule) {
    return "\"" + EscapeBytes(rule.ipText, FieldLength(rule.ipText)) + "\"";
}

// Reasons why a rule, or the half of it that a search type 7 rule tests,
// picks no one.
std::vector<std::string> NeverPicks(const _RULE& rule) {
    std::vector<std::string> reasons;
    if (!TestsName(rule) && !TestsIp(rule)) {
        reasons.push_back("search type " + std::to_string(rule.searchType) +
                          " tests neither the nickname nor the IP: the rule never picks anyone");
        return reasons;
    }
    const bool either = (rule.searchType & SEARCH_EITHER_BIT) != 0 && TestsName(rule) && TestsIp(rule);
    const std::string effect = either ? "its nickname test picks only visitors without a nickname"
                                      : "the rule picks only visitors without a nickname";
    if (TestsName(rule) && FieldLength(rule.name) == 0) {
        reasons.push_back("the nickname test has an empty nickname: " + effect);
    }
    if (TestsIp(rule)) {
        const std::string ipEffect = either ? "its IP test never succeeds" : "the rule never picks anyone";
        if (rule.ipHigh != 0 && rule.ipLow > rule.ipHigh) {
            reasons.push_back("the stored range is inverted (its first address is above its last): " +
                              std::string(either ? "its range test never succeeds"
                                                 : "the range test never succeeds"));
        } else if (TextIsInvertedRange(rule)) {
            reasons.push_back("the IP text " + IpTextShown(rule) +
                              " is an inverted range and gives no pattern: " + ipEffect);
        } else if (!HasIpPattern(rule)) {
            reasons.push_back("the IP test has no usable pattern (IP text " + IpTextShown(rule) +
                              "): " + ipEffect);
        } else if (IsFailedAddress(rule)) {
            reasons.push_back("the IP text " + IpTextShown(rule) +
                              " is not an address: " + ipEffect);
        }
    }
    return reasons;
}

}  // namespace

std::string DuplicateKey(const _RULE& rule) {
    std::string key;
    AppendText(&key, rule.name);
    AppendBytes(&key, &rule.searchType, sizeof rule.searchType);
    AppendBytes(&key, &rule.status, sizeof rule.status);
    AppendBytes(&key, &rule.nickColor, sizeof rule.nickColor);
    AppendBytes(&key, &rule.textColor, sizeof rule.textColor);
    AppendText(&key, rule.ipText);
    AppendIpPattern(&key, rule);
    return key;
}

std::vector<Finding> CheckRules(const _RULE* rules, uint32_t count, uint32_t trailingBytes) {
    std::vector<Finding> findings;
    std::unordered_map<std::string, uint32_t> firstWithContent;
    std::unordered_map<std::string, uint32_t> firstWithTest;
    for (uint32_t i = 0; i < count; ++i) {
        const _RULE& rule = rules[i];
        const uint32_t number = i + 1;
        const std::vector<std::string> reasons = NeverPicks(rule);
        for (const std::string& reason : reasons) findings.push_back({number, reason});

        const auto duplicate = firstWithContent.emplace(DuplicateKey(rule), number);
        if (!duplicate.second) {
            findings.push_back({number, "exact duplicate of rule " +
                                            std::to_string(duplicate.first->second)});
            continue;
        }
        const auto sameTest = firstWithTest.emplace(TestKey(rule), number);
        // A rule that never picks anyone is reported once, above.
        const bool picksNoOne = !TestsName(rule) && !TestsIp(rule);
        if (!sameTest.second && !picksNoOne && reasons.empty()) {
            findings.push_back(
                {number, "rule " + std::to_string(sameTest.first->second) +
                             " has the same test and comes first, so this rule is never applied "
                             "to arriving visitors (only when the whole room is reported)"});
        }
    }
    if (trailingBytes > 0) {
        findings.push_back({0, "the file ends in " + std::to_string(trailingBytes) +
                                   " bytes that are not a whole 460-byte rule; they are ignored"});
    }
    return findings;
}
