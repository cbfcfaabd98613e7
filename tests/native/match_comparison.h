// Random rule lists and rooms, and the comparison of the rule index with the
// plain walk over them. Shared by the native differential test and the
// fuzz target; the choices come from a seeded generator or from fuzz bytes.
#pragma once

#include "matching/rule_pick.h"
#include "rules/rule.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Where the random choices come from: fuzz bytes while they last (then
// zeros), or a seeded generator.
struct ChoiceSource {
    const uint8_t* bytes;
    size_t size;
    size_t used;
    std::mt19937* generator;
};

uint32_t Choose(ChoiceSource& source, uint32_t bound);  // 0 to bound - 1

// One visitor entry as the host lays out its nickname and IP fields.
struct TestVisitor {
    char16_t nick[NICK_UNITS];
    char ip[USER_IP_BYTES];
    uint32_t state;
    uint32_t nickColor;
    uint32_t textColor;
};

struct TestCase {
    std::vector<_RULE> rules;
    std::vector<TestVisitor> visitors;
    int64_t now = 0;  // the event's time; 0: before any expiry
};

// Rules of every searchType 0 to 15 and odd values, prefixes of every
// length, exact addresses, ranges overlapping and inverted, duplicate and
// full-width names, texts with leftovers behind their terminators; visitors
// drawn from the same names and addresses, so that picks are frequent. Some
// rules carry a memo expiring a few seconds around the event's time, some
// reserved bytes that only look like one.
TestCase MakeTestCase(ChoiceSource& source, uint32_t maxRules, uint32_t maxVisitors);

// Lists for the optimizer: mostly address-only ranges and exact addresses
// over a small stretch of addresses, with a few effects, so that they touch,
// nest and overlap; between them rules of every other kind (nicknames,
// prefixes, odd search types) that block or allow their joining. Visitors
// stand at every rule's range ends and just beside them, and at odd texts.
TestCase MakeOptimizeCase(ChoiceSource& source, uint32_t maxRules, uint32_t maxVisitors);

// Optimizes a copy of the case's list and runs the arrival and room events
// over both lists by the plain walk. Empty when optimizing the result again
// changes nothing and every visitor ends with the same state and colours
// and is redrawn (at least once) in both, and the same for the list joined
// as an import joins it while reading, then optimized; else what differed. `removed` adds the rules the optimizer joined or dropped.
std::string CompareOptimizedWithOriginal(const TestCase& test, uint32_t* removed = nullptr);

// Runs the three events over the case with the index (candidates limited to
// `capacity`) and with the plain walk. Empty when both give the same
// states, colours and redraw rows in the same order; else what differed.
// `overflowed`, when given, counts visitors whose candidates did not fit;
// `picks` counts the redraws of the walk under the every-pick event.
std::string CompareIndexWithWalk(const TestCase& test, uint32_t capacity,
                                 uint32_t* overflowed = nullptr, uint32_t* picks = nullptr);
