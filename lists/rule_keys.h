// Keys of rules compared field by field, never built as strings: what
// `check` groups rules by (exact duplicates, the same test, the same kind of
// test). Rules are sorted by a 32-bit hash of what the key holds, beside
// their position in one 8-byte number, and only rules of equal hashes are
// compared, so a long list costs a few numbers a rule.
#pragma once

#include "rules/rule.h"
#include "rules/text_field.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

// A hash of the fields a key holds, eight bytes at a time.
struct KeyHash {
    uint64_t value = 0x243F6A8885A308D3ull;

    void Mix(uint64_t word) {
        value = (value ^ word) * 0x9E3779B97F4A7C15ull;
        value ^= value >> 29;
    }
    void Add(const void* bytes, size_t size) {
        const auto* data = static_cast<const unsigned char*>(bytes);
        for (; size >= 8; data += 8, size -= 8) {
            uint64_t word;
            std::memcpy(&word, data, sizeof word);
            Mix(word);
        }
        uint64_t last = 0;
        for (size_t i = 0; i < size; ++i) last = last << 8 | data[i];
        Mix(last);
    }
    void Add(uint32_t number) { Mix(number); }
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
// matching, the editor or the list shows; and its expiry, which check keeps
// apart. The same tests and kinds of test below hold the expiry too.
uint64_t ContentHash(const _RULE& rule);
bool SameContent(const _RULE& a, const _RULE& b);

// Which visitors a rule picks: its search type and the parts it tests. The
// kind of test is the same without the IP pattern (`withIp` false).
uint64_t TestHash(const _RULE& rule, bool withIp);
bool SameTest(const _RULE& a, const _RULE& b, bool withIp);

// A rule's place in the sorting: its key's hash (the top half), then its
// position.
inline uint64_t OrderKey(uint64_t hash, uint32_t position) {
    return (hash & 0xFFFFFFFF00000000ull) | position;
}

// Sorts OrderKeys given in position order by their hashes, keeping that
// order among equal ones: three stable passes of 11 bits over the hash.
inline void SortByHash(std::vector<uint64_t>& order) {
    std::vector<uint64_t> moved(order.size());
    for (int shift = 32; shift < 64; shift += 11) {
        size_t counts[2049] = {};
        for (uint64_t key : order) ++counts[((key >> shift) & 2047) + 1];
        for (size_t digit = 1; digit <= 2048; ++digit) counts[digit] += counts[digit - 1];
        for (uint64_t key : order) moved[counts[(key >> shift) & 2047]++] = key;
        order.swap(moved);
    }
}

// For each rule of `order` (OrderKey of each rule taken, in position order;
// it is sorted here and let go), the first rule (0-based, maybe itself)
// whose key is the same; UINT32_MAX for the others. Within a run of equal
// hashes the first of each key comes first; distinct keys in one run are
// rare and kept apart.
template <typename Same>
std::vector<uint32_t> FirstWithSameKey(uint32_t count, std::vector<uint64_t> order, Same same) {
    // Rules of one kind often share it all: then the order stays as it is.
    if (!std::is_sorted(order.begin(), order.end())) SortByHash(order);
    std::vector<uint32_t> first(count, UINT32_MAX);
    std::vector<uint32_t> keys;  // the first rule of each key in the run
    for (size_t at = 0; at < order.size();) {
        keys.clear();
        size_t end = at;
        for (; end < order.size() && order[end] >> 32 == order[at] >> 32; ++end) {
            const auto rule = static_cast<uint32_t>(order[end]);
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
