#include "lists/rule_check.h"

#include "rules/ip_pattern.h"
#include "lists/address_containment.h"
#include "lists/address_set.h"
#include "lists/interval_slots.h"
#include "lists/rule_keys.h"
#include "rules/text_field.h"
#include "lists/rule_words.h"
#include "lists/text_codec.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

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
    // The plain text of a stored range that is not inverted: nothing to read.
    if (rule.ipHigh != 0 && rule.ipLow <= rule.ipHigh && length >= 15) {
        char plain[32];
        size_t at = FormatDotted(rule.ipLow, plain);
        plain[at++] = '-';
        at += FormatDotted(rule.ipHigh, plain + at);
        if (at == length && std::memcmp(plain, text, length) == 0) return false;
    }
    const IpTextShape shape = ClassifyIpText(text, length);
    if (shape.kind != IpTextKind::Range) return false;
    const uint32_t low = ConvertAddress(text, shape.split);
    const uint32_t high = ConvertAddress(text + shape.split + 1, length - shape.split - 1);
    return low != ADDRESS_NONE && high != ADDRESS_NONE && low > high;
}

std::string IpTextShown(const _RULE& rule) {
    return "\"" + EscapeBytes(rule.ipText, FieldLength(rule.ipText)) + "\"";
}

// Reasons why a rule, or the half of it that a search type 7 rule tests,
// picks no one.
std::vector<std::string> NeverPicks(const _RULE& rule) {
    std::vector<std::string> reasons;
    const int32_t search = rule.searchType;
    if (!CanPick(search)) {
        const std::string type = "search type " + std::to_string(search);
        if (!TestsName(search) && !TestsIp(search)) {
            reasons.push_back(type + " tests neither the nickname nor the IP: the rule never picks anyone");
        } else {
            reasons.push_back(type + (TestsName(search) ? " tests only the nickname" : " tests only the IP") +
                              ", yet a value other than 1 or 2 without the either bit (4) needs both tests "
                              "to succeed: the rule never picks anyone");
        }
        return reasons;
    }
    const bool either = PicksByNameAlone(rule.searchType) && PicksByIpAlone(rule.searchType);
    // Texts, not strings: most rules get no reason, and nothing is made for them.
    const char* effect = either ? "its nickname test picks only visitors without a nickname"
                                : "the rule picks only visitors without a nickname";
    if (TestsName(rule.searchType) && FieldLength(rule.name) == 0) {
        reasons.push_back(std::string("the nickname test has an empty nickname: ") + effect);
    }
    if (TestsIp(rule.searchType)) {
        const char* ipEffect = either ? "its IP test never succeeds" : "the rule never picks anyone";
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

// Rules named in a finding; more than that are counted.
constexpr size_t RULES_NAMED = 5;

// "rules 3 and 7", "rules 3, 7 and 9", or "12 earlier rules".
std::string EarlierRules(const std::vector<uint32_t>& rules, uint32_t count) {
    if (count > rules.size()) return std::to_string(count) + " earlier rules";
    std::string text = "rules ";
    for (size_t i = 0; i < rules.size(); ++i) {
        if (i > 0) text += i + 1 == rules.size() ? " and " : ", ";
        text += std::to_string(rules[i] + 1);
    }
    return text;
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
    // Rules whose addresses are compared with earlier ones: those with an IP
    // test not already reported as duplicates, hidden by the same test, or
    // picking no one.
    std::vector<bool> compareAddresses(count, false);
    uint32_t compared = 0;
    {  // the first rules of each key are let go before the address tables grow
    std::vector<uint64_t> contents, tests;
    contents.reserve(count);
    tests.reserve(count);
    // One pass over the records for both keys and for whether NeverPicks
    // has reasons for a rule: the findings below read again only those.
    std::vector<uint8_t> neverPicks(count);
    for (uint32_t i = 0; i < count; ++i) {
        contents.push_back(OrderKey(ContentHash(rules[i]), i));
        tests.push_back(OrderKey(TestHash(rules[i], true), i));
        neverPicks[i] = !NeverPicks(rules[i]).empty();
    }
    const std::vector<uint32_t> firstWithContent = FirstWithSameKey(
        count, std::move(contents), [&](uint32_t a, uint32_t b) { return SameContent(rules[a], rules[b]); });
    // The first rule of a test is never an exact duplicate: its original
    // would come earlier with the same test.
    const std::vector<uint32_t> firstWithTest = FirstWithSameKey(
        count, std::move(tests), [&](uint32_t a, uint32_t b) { return SameTest(rules[a], rules[b], true); });
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t number = i + 1;
        if (neverPicks[i]) {
            for (const std::string& reason : NeverPicks(rules[i])) findings.push_back({number, reason, false});
        }
        if (firstWithContent[i] != i) {
            findings.push_back({number, "exact duplicate of rule " + std::to_string(firstWithContent[i] + 1), false});
            continue;
        }
        // A rule that never picks anyone is reported once, above.
        if (neverPicks[i]) continue;
        if (firstWithTest[i] != i) {
            findings.push_back(
                {number, "rule " + std::to_string(firstWithTest[i] + 1) +
                             " has the same test and comes first, so this rule is never applied "
                             "to arriving visitors (only when the whole room is reported)", false});
            continue;
        }
        compareAddresses[i] = TestsIp(rules[i].searchType);
        compared += compareAddresses[i] ? 1 : 0;
    }
    }

    // The compared rules' addresses, grouped by kind of test, and by kind
    // of test and effect (the same kinds, the same status and colours);
    // groups numbered in the order they first appear.
    RuleIntervals addresses;
    addresses.intervals.reserve(compared);  // one each, but for prefixes
    addresses.first.reserve(size_t{count} + 1);
    addresses.first.push_back(0);
    std::vector<uint64_t> kindOrder, kindAndEffectOrder;
    kindOrder.reserve(compared);
    kindAndEffectOrder.reserve(compared);
    for (uint32_t i = 0; i < count; ++i) {
        if (compareAddresses[i]) {
            const _RULE& rule = rules[i];
            AppendIpTestAddresses(rule, &addresses.intervals);
            KeyHash hash;
            hash.value = TestHash(rule, false);
            kindOrder.push_back(OrderKey(hash.value, i));
            hash.Add(static_cast<uint32_t>(rule.status));
            hash.Add(rule.nickColor);
            hash.Add(rule.textColor);
            kindAndEffectOrder.push_back(OrderKey(hash.value, i));
        }
        addresses.first.push_back(static_cast<uint32_t>(addresses.intervals.size()));
    }
    const std::vector<uint32_t> kinds = KeyNumbers(FirstWithSameKey(
        count, std::move(kindOrder), [&](uint32_t a, uint32_t b) { return SameTest(rules[a], rules[b], false); }));
    const std::vector<uint32_t> kindsAndEffects =
        KeyNumbers(FirstWithSameKey(count, std::move(kindAndEffectOrder), [&](uint32_t a, uint32_t b) {
            return kinds[a] == kinds[b] && rules[a].status == rules[b].status &&
                   rules[a].nickColor == rules[b].nickColor && rules[a].textColor == rules[b].textColor;
        }));
    std::vector<uint32_t> container, overlap;
    const bool shared = FindHiddenAndOverlapping(rules, addresses, kinds, &container, &overlap);
    // Addresses that no two rules of a kind share are held by no others.
    std::vector<uint32_t> coveringList, coveringCounts;
    if (shared) {
        FindCoveringRules(addresses, kindsAndEffects, RULES_NAMED, &coveringList, &coveringCounts);
    } else {
        coveringCounts.assign(count, 0);
    }
    size_t listed = 0;  // where rule i's covering rules start in coveringList
    for (uint32_t i = 0; i < count; ++i) {
        const size_t named = std::min<size_t>(coveringCounts[i], RULES_NAMED);
        const std::vector<uint32_t> covering(coveringList.begin() + listed, coveringList.begin() + listed + named);
        listed += named;
        if (container[i] != UINT32_MAX || coveringCounts[i] == 1) {
            const uint32_t holder = container[i] != UINT32_MAX ? container[i] : covering[0];
            const std::string earlier = std::to_string(holder + 1);
            findings.push_back({i + 1, "its addresses all lie inside those of rule " + earlier +
                                           " (the same search type), which comes first: it is never "
                                           "applied to arriving visitors (a room report applies it "
                                           "after rule " + earlier + ")", false});
        } else if (coveringCounts[i] > 1) {
            findings.push_back({i + 1, "its addresses all lie inside those of " +
                                           EarlierRules(covering, coveringCounts[i]) +
                                           " together (the same search type, status and colours): it is "
                                           "never applied to arriving visitors (a room report applies it "
                                           "after them)", false});
        } else if (overlap[i] != UINT32_MAX) {
            const std::string earlier = std::to_string(overlap[i] + 1);
            findings.push_back({i + 1, "note: its addresses partly overlap those of rule " + earlier +
                                           ", which comes first with another status: an arriving "
                                           "visitor in the overlap gets rule " + earlier + "'s", true});
        }
    }
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.rule < b.rule; });
    if (trailingBytes > 0) {
        findings.push_back({0, "the file ends in " + std::to_string(trailingBytes) +
                                   " bytes that are not a whole 460-byte rule; they are ignored", false});
    }
    return findings;
}
