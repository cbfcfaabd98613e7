#include "lists/rule_keys.h"

#include "lists/memo_text.h"

namespace {

bool SameIpPattern(const _RULE& a, const _RULE& b) {
    return a.ipLow == b.ipLow && a.ipHigh == b.ipHigh && SameText(a.ipPrefix, b.ipPrefix);
}

// Rules that stop picking at different times are compared apart: an
// earlier rule that expires first hides a later one only for a while, and
// two rules alike but for their expiry are no duplicates.
void AddExpiry(KeyHash& hash, const _RULE& rule) {
    const int64_t expires = RuleExpiry(rule);
    if (expires != MEMO_NEVER) hash.Add(&expires, sizeof expires);
}

}  // namespace

uint64_t ContentHash(const _RULE& rule) {
    KeyHash hash;
    hash.AddText(rule.name);
    hash.Add(static_cast<uint32_t>(rule.searchType));
    hash.Add(static_cast<uint32_t>(rule.status));
    hash.Add(rule.nickColor);
    hash.Add(rule.textColor);
    hash.AddText(rule.ipText);
    hash.AddIpPattern(rule);
    AddExpiry(hash, rule);
    return hash.value;
}

bool SameContent(const _RULE& a, const _RULE& b) {
    return a.searchType == b.searchType && a.status == b.status && a.nickColor == b.nickColor &&
           a.textColor == b.textColor && SameIpPattern(a, b) && SameText(a.name, b.name) &&
           SameText(a.ipText, b.ipText) && RuleExpiry(a) == RuleExpiry(b);
}

uint64_t TestHash(const _RULE& rule, bool withIp) {
    KeyHash hash;
    hash.Add(static_cast<uint32_t>(rule.searchType));
    if (TestsName(rule.searchType)) hash.AddText(rule.name);
    if (withIp && TestsIp(rule.searchType)) hash.AddIpPattern(rule);
    AddExpiry(hash, rule);
    return hash.value;
}

bool SameTest(const _RULE& a, const _RULE& b, bool withIp) {
    return a.searchType == b.searchType && (!TestsName(a.searchType) || SameText(a.name, b.name)) &&
           (!withIp || !TestsIp(a.searchType) || SameIpPattern(a, b)) &&
           RuleExpiry(a) == RuleExpiry(b);
}

std::vector<uint32_t> KeyNumbers(const std::vector<uint32_t>& first) {
    std::vector<uint32_t> numbers(first.size(), 0);
    uint32_t next = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        if (first[i] == UINT32_MAX) continue;
        numbers[i] = first[i] == i ? next++ : numbers[first[i]];
    }
    return numbers;
}
