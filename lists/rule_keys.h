// Keys of rules compared field by field, never built as strings: what
// `check` groups rules by (exact duplicates, the same test, the same kind of
// test). A 64-bit FNV-1a hash of what a key holds sorts the rules, and only
// rules of equal hashes are compared, so a long list costs a few 4- and
// 8-byte numbers a rule.
#pragma once

#include "rules/rule.h"
#include "rules/text_field.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

// A 64-bit FNV-1a hash, fed the fields a key holds.
struct KeyHash {
    uint64_t value = 14695981039346656037ull;

    void Add(const void* bytes, size_t size) {
        const auto* data = static_cast<const unsigned char*>(bytes);
        for (size_t i = 0; i < size; ++i) value = (value ^ data[i]) * 1099511628211ull;
    }
    void Add(uint32_t number) { Add(&number, sizeof number); }
    template <typename Char, size_t Width>
    void AddText(const Char (&field)[Width]) {
        const size_t length = FieldLength(field);
        Add(static_cast<uint32_t>(length));
        Add(field, length * sizeof(Char));
    }
    void AddIpPattern(const _RULE& rule) {
        AddText(rule.ipPrefix);
        Add(rule.ipLow);
        Add(rule.ipHigh);
    }
};

template <typename Char, size_t Width>
bool SameText(const Char (&a)[Width], const Char (&b)[Width]) {
    const size_t length = FieldLength(a);
    return length == FieldLength(b) && std::memcmp(a, b, length * sizeof(Char)) == 0;
}

// What DuplicateKey (rule_check.h) holds: everything of a rule that
// matching, the editor or the list shows.
uint64_t ContentHash(const _RULE& rule);
bool SameContent(const _RULE& a, const _RULE& b);

// Which visitors a rule picks: its search type and the parts it tests. The
// kind of test is the same without the IP pattern (`withIp` false).
uint64_t TestHash(const _RULE& rule, bool withIp);
bool SameTest(const _RULE& a, const _RULE& b, bool withIp);

// For each rule that `included` takes, the first rule (0-based, maybe itself)
// whose key is the same; UINT32_MAX for the others. Sorted by hash and then
// position, so within a run of equal hashes the first of each key comes
// first; distinct keys in one run are rare and kept apart.
template <typename Included, typename Hash, typename Same>
std::vector<uint32_t> FirstWithSameKey(uint32_t count, Included included, Hash hash, Same same) {
    std::vector<std::pair<uint64_t, uint32_t>> order;
    order.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (included(i)) order.emplace_back(hash(i), i);
    }
    std::sort(order.begin(), order.end());
    std::vector<uint32_t> first(count, UINT32_MAX);
    std::vector<uint32_t> keys;  // the first rule of each key in the run
    for (size_t at = 0; at < order.size();) {
        keys.clear();
        size_t end = at;
        for (; end < order.size() && order[end].first == order[at].first; ++end) {
            const uint32_t rule = order[end].second;
            uint32_t found = rule;
            for (uint32_t earlier : keys) {
                if (same(earlier, rule)) {
                    found = earlier;
                    break;
                }
            }
            if (found == rule) keys.push_back(rule);
            first[rule] = found;
        }
        at = end;
    }
    return first;
}

// Numbers from 0 for the distinct keys, in the order of their first rules
// (as FirstWithSameKey gives them); 0 for rules not taken.
std::vector<uint32_t> KeyNumbers(const std::vector<uint32_t>& first);
