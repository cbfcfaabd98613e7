#include "lists/rule_check.h"

#include "rules/ip_pattern.h"
#include "lists/address_set.h"
#include "rules/text_field.h"
#include "lists/rule_words.h"
#include "lists/text_codec.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

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

// Which visitors a rule picks: its search type and the parts it tests.
std::string TestKey(const _RULE& rule) {
    std::string key;
    AppendBytes(&key, &rule.searchType, sizeof rule.searchType);
    if (TestsName(rule.searchType)) AppendText(&key, rule.name);
    if (TestsIp(rule.searchType)) AppendIpPattern(&key, rule);
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
    const std::string effect = either ? "its nickname test picks only visitors without a nickname"
                                      : "the rule picks only visitors without a nickname";
    if (TestsName(rule.searchType) && FieldLength(rule.name) == 0) {
        reasons.push_back("the nickname test has an empty nickname: " + effect);
    }
    if (TestsIp(rule.searchType)) {
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

// ---- address containment and overlap ----------------------------------------

// One address interval of a rule's IP test, in the group of rules with the
// same kind of test (search type, and nickname when it is tested).
struct GroupInterval {
    uint32_t group;
    uint32_t low;
    uint32_t high;
    uint32_t rule;  // 0-based
};

// The earliest rules seen, the second one with another status than the first.
struct EarliestTwo {
    uint32_t first = UINT32_MAX;
    int32_t firstStatus = 0;
    uint32_t other = UINT32_MAX;
    int32_t otherStatus = 0;

    void Add(uint32_t rule, int32_t status) {
        if (rule < first) {
            // The old first is then the earliest with another status.
            if (first != UINT32_MAX && firstStatus != status) {
                other = first;
                otherStatus = firstStatus;
            }
            first = rule;
            firstStatus = status;
        } else if (rule > first && status != firstStatus && rule < other) {
            other = rule;
            otherStatus = status;
        }
    }
    void Add(const EarliestTwo& more) {
        if (more.first != UINT32_MAX) Add(more.first, more.firstStatus);
        if (more.other != UINT32_MAX) Add(more.other, more.otherStatus);
    }
    // The earliest rule with a status other than `status`.
    uint32_t EarliestNot(int32_t status) const { return firstStatus != status ? first : other; }
};

// Earliest rules among intervals whose high end is at or above a value: a
// Fenwick tree over the group's high ends, counted from the top.
struct HighEndTree {
    std::vector<uint32_t> highs;  // sorted, distinct
    std::vector<EarliestTwo> nodes;

    void Reset(std::vector<uint32_t> sortedHighs) {
        highs = std::move(sortedHighs);
        nodes.assign(highs.size() + 1, EarliestTwo{});
    }
    // Position counted from the largest high end, 1-based.
    size_t FromTop(uint32_t high) const {
        const size_t at = static_cast<size_t>(std::lower_bound(highs.begin(), highs.end(), high) - highs.begin());
        return highs.size() - at;
    }
    void Insert(uint32_t high, uint32_t rule, int32_t status) {
        for (size_t i = FromTop(high); i < nodes.size(); i += i & (~i + 1)) nodes[i].Add(rule, status);
    }
    // Intervals whose high end is at least `high`.
    EarliestTwo AtOrAbove(uint32_t high) const {
        EarliestTwo best;
        if (highs.empty() || high > highs.back()) return best;
        for (size_t i = FromTop(high); i > 0; i -= i & (~i + 1)) best.Add(nodes[i]);
        return best;
    }
};

std::string KindKey(const _RULE& rule) {
    std::string key;
    AppendBytes(&key, &rule.searchType, sizeof rule.searchType);
    if (TestsName(rule.searchType)) AppendText(&key, rule.name);
    return key;
}

// For each rule to look at: the earliest earlier rule of its group whose
// intervals wholly contain its addresses (`container`), else the earliest
// earlier one that overlaps them with another status (`overlap`).
void FindHiddenAndOverlapping(const _RULE* rules, uint32_t count, const std::vector<bool>& lookAt,
                              std::vector<uint32_t>* container, std::vector<uint32_t>* overlap) {
    std::unordered_map<std::string, uint32_t> groups;
    std::vector<GroupInterval> intervals;
    std::vector<GroupInterval> hulls;  // one per rule looked at
    for (uint32_t i = 0; i < count; ++i) {
        if (!lookAt[i]) continue;
        const std::vector<AddressInterval> addresses = IpTestAddresses(rules[i]);
        if (addresses.empty()) continue;
        const uint32_t group =
            groups.emplace(KindKey(rules[i]), static_cast<uint32_t>(groups.size())).first->second;
        for (const AddressInterval& interval : addresses) {
            intervals.push_back({group, interval.low, interval.high, i});
        }
        hulls.push_back({group, addresses.front().low, addresses.back().high, i});
    }
    container->assign(count, UINT32_MAX);
    overlap->assign(count, UINT32_MAX);
    auto byGroupAndLow = [](const GroupInterval& a, const GroupInterval& b) {
        return a.group != b.group ? a.group < b.group : a.low < b.low;
    };
    std::sort(intervals.begin(), intervals.end(), byGroupAndLow);

    // Containment: intervals with low <= a and high >= b, for each hull [a, b].
    std::sort(hulls.begin(), hulls.end(), byGroupAndLow);
    // Overlap: intervals with low <= b and high >= a, for each interval [a, b].
    std::vector<GroupInterval> byHigh = intervals;
    std::sort(byHigh.begin(), byHigh.end(), [](const GroupInterval& a, const GroupInterval& b) {
        return a.group != b.group ? a.group < b.group : a.high < b.high;
    });

    HighEndTree tree;
    size_t groupStart = 0;
    size_t hullAt = 0;
    size_t byHighAt = 0;
    while (groupStart < intervals.size()) {
        const uint32_t group = intervals[groupStart].group;
        size_t groupEnd = groupStart;
        std::vector<uint32_t> highs;
        while (groupEnd < intervals.size() && intervals[groupEnd].group == group) {
            highs.push_back(intervals[groupEnd++].high);
        }
        std::sort(highs.begin(), highs.end());
        highs.erase(std::unique(highs.begin(), highs.end()), highs.end());

        tree.Reset(highs);
        size_t next = groupStart;
        for (; hullAt < hulls.size() && hulls[hullAt].group == group; ++hullAt) {
            const GroupInterval& hull = hulls[hullAt];
            for (; next < groupEnd && intervals[next].low <= hull.low; ++next) {
                tree.Insert(intervals[next].high, intervals[next].rule, 0);
            }
            const uint32_t earliest = tree.AtOrAbove(hull.high).first;
            if (earliest < hull.rule) (*container)[hull.rule] = earliest;
        }

        tree.Reset(highs);
        next = groupStart;
        for (; byHighAt < byHigh.size() && byHigh[byHighAt].group == group; ++byHighAt) {
            const GroupInterval& query = byHigh[byHighAt];
            for (; next < groupEnd && intervals[next].low <= query.high; ++next) {
                tree.Insert(intervals[next].high, intervals[next].rule, rules[intervals[next].rule].status);
            }
            const uint32_t earliest = tree.AtOrAbove(query.low).EarliestNot(rules[query.rule].status);
            if (earliest < query.rule) {
                uint32_t& found = (*overlap)[query.rule];
                found = std::min(found, earliest);
            }
        }
        groupStart = groupEnd;
    }
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
    // Rules whose addresses are compared with earlier ones: those with an IP
    // test not already reported as duplicates, hidden by the same test, or
    // picking no one.
    std::vector<bool> compareAddresses(count, false);
    for (uint32_t i = 0; i < count; ++i) {
        const _RULE& rule = rules[i];
        const uint32_t number = i + 1;
        const std::vector<std::string> reasons = NeverPicks(rule);
        for (const std::string& reason : reasons) findings.push_back({number, reason, false});

        const auto duplicate = firstWithContent.emplace(DuplicateKey(rule), number);
        if (!duplicate.second) {
            findings.push_back({number, "exact duplicate of rule " +
                                            std::to_string(duplicate.first->second), false});
            continue;
        }
        const auto sameTest = firstWithTest.emplace(TestKey(rule), number);
        // A rule that never picks anyone is reported once, above.
        const bool picksNoOne = !CanPick(rule.searchType);
        if (!sameTest.second && !picksNoOne && reasons.empty()) {
            findings.push_back(
                {number, "rule " + std::to_string(sameTest.first->second) +
                             " has the same test and comes first, so this rule is never applied "
                             "to arriving visitors (only when the whole room is reported)", false});
            continue;
        }
        compareAddresses[i] = TestsIp(rule.searchType) && reasons.empty() && !picksNoOne;
    }

    std::vector<uint32_t> container, overlap;
    FindHiddenAndOverlapping(rules, count, compareAddresses, &container, &overlap);
    for (uint32_t i = 0; i < count; ++i) {
        if (container[i] != UINT32_MAX) {
            const std::string earlier = std::to_string(container[i] + 1);
            findings.push_back({i + 1, "its addresses all lie inside those of rule " + earlier +
                                           " (the same search type), which comes first: it is never "
                                           "applied to arriving visitors (a room report applies it "
                                           "after rule " + earlier + ")", false});
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
