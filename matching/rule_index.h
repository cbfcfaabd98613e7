// An index over the rule array that gives, for one visitor, the few rules
// that could pick it, in list order, so that an event costs the same with
// 100 rules or 100,000. Plain code without Windows.
//
// A rule picks only through a true name test or a true IP test, so each rule
// that can pick at all is filed under the keys of a test that its pick needs
// (searchType values: 1 name bit, 2 IP bit, 4 either bit; the predicates are
// rules/rule.h's PicksByNameAlone, PicksByNameAndIp and PicksByIpAlone):
//   - its exact name (hash of the UTF-16 units) when a true name alone can
//     pick (searchType 1, or the either bit with the name bit), or when both
//     results must be true (name and IP bits without the either bit; 3 is
//     one of these);
//   - its IP keys when a true IP test alone can pick (searchType 2, or the
//     either bit with the IP bit): the prefix text, the exact address ipLow,
//     and the range ipLow..ipHigh. A range's ipLow is filed as an exact
//     address too, because the exact sub-test runs after a failed range.
// Other rules never pick and are not filed: those without a test bit (0, 4,
// 8, 12), and those with one test bit, no either bit and a value other than
// exactly 1 or 2 (9, 10). Candidates are only candidates: the literal
// RulePicks decides each of them.
#pragma once

#include "matching/rule_pick.h"

#include <cstddef>
#include <cstdint>

// Rules under one key: `count` rule numbers from `start` in the pool, in
// ascending order. An empty slot has count 0.
struct RuleKeySlot {
    uint32_t key;
    uint32_t start;
    uint32_t count;
};

// Most probes are for keys that no rule has: a bit per hash value in
// `filter` answers those with one read, before the slots are searched.
struct RuleKeyTable {
    RuleKeySlot* slots;  // open addressing, a power of two of them
    uint32_t mask;
    uint32_t* filter;    // a power of two of bits, 16 or more per key
    uint32_t filterShift;
};

// Ranges ordered by low end; maxHigh[m] holds the highest high end of the
// slice whose middle is m (an interval tree laid out in the sorted array).
struct RuleRanges {
    uint32_t* low;
    uint32_t* high;
    uint32_t* maxHigh;
    uint32_t* rule;
    uint32_t count;
};

struct RuleIndex {
    bool built;
    RuleKeyTable names;
    RuleKeyTable prefixes;
    RuleKeyTable addresses;
    RuleRanges ranges;
    uint32_t prefixLengths;  // bit n set: some prefix is n bytes long
    uint32_t addressRules;   // filed under an exact address or a range
    uint32_t* pool;          // rule numbers of all slots
    size_t bytes;            // memory held by the index
};

// Builds the index for `count` rules. False when memory cannot be had; the
// index is then empty and matching walks the list.
bool BuildRuleIndex(RuleIndex& index, const _RULE* rules, uint32_t count);
void FreeRuleIndex(RuleIndex& index);

constexpr uint32_t CANDIDATES_OVERFLOW = 0xFFFFFFFFu;

// Writes into `candidates` the rules that could pick the visitor, ascending
// and each once. Returns their number, or CANDIDATES_OVERFLOW when more than
// `capacity` were found (the caller then walks the list for this visitor).
uint32_t CollectCandidates(const RuleIndex& index, MatchVisitor& visitor, uint32_t* candidates,
                           uint32_t capacity);

// The rules that pick one visitor, one after another in list order: through
// the candidates of the index, or by the plain walk when `index` is null or
// not built, or when the candidates did not fit `buffer`.
struct PickScan {
    const _RULE* rules;
    uint32_t count;
    const uint32_t* candidates;  // null: walk
    uint32_t candidateCount;
    uint32_t position;           // next candidate, or next rule of the walk
};

void StartPickScan(PickScan& scan, const RuleIndex* index, const _RULE* rules, uint32_t count,
                   MatchVisitor& visitor, uint32_t* buffer, uint32_t capacity);
// The next picking rule's number; false when there is none.
bool NextPick(PickScan& scan, MatchVisitor& visitor, uint32_t* rule);
