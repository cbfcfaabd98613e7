// The rule index against the plain walk, natively: thousands of random rule
// lists against random rooms must give the same statuses, colours and
// redraw rows in the same order, whichever way the candidates are found.
#include "matching/rule_index.h"
#include "rules/rule_array.h"
#include "rules/rule_memo.h"
#include "tests/native/match_comparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint32_t FULL_CAPACITY = 4096;  // as the module's candidate buffer

struct Totals {
    uint32_t picks = 0;
    uint32_t overflowed = 0;
};

// Runs `cases` random cases from `seed`; stops at the first difference.
Totals CompareRandomCases(uint32_t seed, uint32_t cases, uint32_t maxRules, uint32_t maxVisitors,
                          uint32_t capacity) {
    std::mt19937 generator(seed);
    ChoiceSource source{nullptr, 0, 0, &generator};
    Totals totals;
    for (uint32_t n = 0; n < cases; ++n) {
        const TestCase test = MakeTestCase(source, maxRules, maxVisitors);
        const std::string difference =
            CompareIndexWithWalk(test, capacity, &totals.overflowed, &totals.picks);
        if (!difference.empty()) {
            ADD_FAILURE() << "seed " << seed << ", case " << n << " (" << test.rules.size()
                          << " rules, " << test.visitors.size() << " visitors): " << difference;
            break;
        }
    }
    return totals;
}

TEST(IndexAgainstWalk, ShortListsAndSmallRooms) {
    const Totals totals = CompareRandomCases(1, 5000, 40, 12, FULL_CAPACITY);
    EXPECT_GT(totals.picks, 5000u);  // the cases do pick visitors
    EXPECT_EQ(totals.overflowed, 0u);
}

TEST(IndexAgainstWalk, LongListsWithManyKeysSharingValues) {
    const Totals totals = CompareRandomCases(2, 300, 2000, 40, FULL_CAPACITY);
    EXPECT_GT(totals.picks, 10000u);
    EXPECT_EQ(totals.overflowed, 0u);
}

// Candidates that do not fit the buffer send the visitor to the walk, with
// the same outcome.
TEST(IndexAgainstWalk, CandidateOverflowFallsBackToTheWalk) {
    const Totals totals = CompareRandomCases(3, 2000, 60, 12, 3);
    EXPECT_GT(totals.overflowed, 100u);
}

TEST(IndexAgainstWalk, EverySearchTypeOnItsOwn) {
    std::mt19937 generator(4);
    ChoiceSource source{nullptr, 0, 0, &generator};
    for (int32_t searchType = -9; searchType <= 40; ++searchType) {
        for (int n = 0; n < 200; ++n) {
            TestCase test = MakeTestCase(source, 30, 10);
            for (_RULE& rule : test.rules) rule.searchType = searchType;
            const std::string difference = CompareIndexWithWalk(test, FULL_CAPACITY);
            ASSERT_TRUE(difference.empty()) << "searchType " << searchType << ": " << difference;
        }
    }
}

// The search-type predicates that the index and the tool rely on say what
// RulePicks does with each value: a rule on name "a" and address 10.0.0.1
// against the four visitors with and without that name and address.
TEST(SearchTypePredicates, SayWhatRulePicksDoes) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    rule.name[0] = u'a';
    rule.ipLow = 0x0A000001u;
    const char16_t nameA[NICK_UNITS] = {u'a'};
    const char16_t nameB[NICK_UNITS] = {u'b'};
    const char ipSame[USER_IP_BYTES] = "10.0.0.1";
    const char ipOther[USER_IP_BYTES] = "10.0.0.2";
    std::vector<int32_t> values = {INT32_MIN, INT32_MIN + 1, INT32_MIN + 2, INT32_MIN + 6, INT32_MAX,
                                   0x101, 0x102, 0x103, 0x106};
    for (int32_t value = -17; value <= 40; ++value) values.push_back(value);
    for (const int32_t searchType : values) {
        rule.searchType = searchType;
        auto picks = [&rule](const char16_t* nick, const char* ip) {
            MatchVisitor visitor = MakeMatchVisitor(nick, ip);
            return RulePicks(rule, visitor);
        };
        const bool both = picks(nameA, ipSame), nameOnly = picks(nameA, ipOther);
        const bool ipOnly = picks(nameB, ipSame), neither = picks(nameB, ipOther);
        EXPECT_FALSE(neither) << searchType;
        EXPECT_EQ(PicksByNameAlone(searchType), nameOnly) << searchType;
        EXPECT_EQ(PicksByIpAlone(searchType), ipOnly) << searchType;
        EXPECT_EQ(CanPick(searchType), both) << searchType;
        EXPECT_EQ(PicksByNameAndIp(searchType), both && !nameOnly && !ipOnly) << searchType;
        EXPECT_EQ(IsAddressOnly(searchType), both && ipOnly && !nameOnly) << searchType;
    }
}

TEST(IndexAgainstWalk, EmptyListPicksNoOne) {
    std::mt19937 generator(5);
    ChoiceSource source{nullptr, 0, 0, &generator};
    TestCase test = MakeTestCase(source, 0, 20);
    uint32_t picks = 0;
    EXPECT_EQ(CompareIndexWithWalk(test, FULL_CAPACITY, nullptr, &picks), "");
    EXPECT_EQ(picks, 0u);
}

// The optimized list treats every visitor as the original did, at arrival
// and in room reports, while it joins and drops a good share of the rules.
TEST(OptimizedAgainstOriginal, RandomAddressListsWithRulesOfEveryKindBetween) {
    std::mt19937 generator(6);
    ChoiceSource source{nullptr, 0, 0, &generator};
    uint32_t removed = 0;
    uint32_t total = 0;
    for (uint32_t n = 0; n < 1500; ++n) {
        const TestCase test = MakeOptimizeCase(source, 1 + n % 60, 300);
        total += static_cast<uint32_t>(test.rules.size());
        const std::string difference = CompareOptimizedWithOriginal(test, &removed);
        ASSERT_EQ(difference, "") << "case " << n;
    }
    EXPECT_GT(removed, total / 10) << "the optimizer joins and drops rules";
}

// Matching rebuilds its index when the array's version moved, so every
// operation that changes the array must move it.
TEST(RuleArrayChanges, EveryOperationThatChangesTheArrayMarksIt) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    auto marks = [](auto operation) {
        const uint32_t before = g_ruleArrayVersion;
        operation();
        return g_ruleArrayVersion != before;
    };
    EXPECT_TRUE(marks([&] { AppendRule(rule); }));
    EXPECT_TRUE(marks([&] { AppendRule(rule); }));
    EXPECT_TRUE(marks([&] { SwapRules(0); }));
    EXPECT_TRUE(marks([&] { ReplaceRule(1, rule); }));
    EXPECT_TRUE(marks([&] { RemoveRule(0); }));
    EXPECT_TRUE(marks([&] { InsertRules(0, &rule, 1); }));
    EXPECT_TRUE(marks([&] { RemoveRules(0, 1); }));
    EXPECT_TRUE(marks([&] { FreeRules(); }));
    EXPECT_EQ(g_ruleCount, 0u);
}

// A rule's memo in its reserved bytes: written and read back, its bytes as
// another program would check them (the checksum is zip's CRC-32), and only
// ever written over zero bytes or a memo.
TEST(RuleMemos, RoundTripInTheDocumentedBytes) {
    const std::u16string note = u"\u0421\u043f\u0430\u043c, 7 \u0434\u043d\u0435\u0439";
    RuleMemo memo{};
    memo.added = 1796000000;
    memo.expires = 1796604800;
    memo.noteLength = static_cast<uint16_t>(note.size());
    note.copy(memo.note, note.size());
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    ASSERT_TRUE(WriteRuleMemo(rule, memo));
    EXPECT_EQ(std::memcmp(rule.reserved, "TvMm\x01\x00\x0C\x00", 8), 0);
    const uint8_t crc[] = {0x14, 0xD0, 0x47, 0x87};  // 0x8747D014, little-endian
    EXPECT_EQ(std::memcmp(rule.reserved + 256, crc, 4), 0);
    RuleMemo back{};
    ASSERT_TRUE(ReadRuleMemo(rule, &back));
    EXPECT_EQ(std::memcmp(&back, &memo, sizeof memo), 0);
    EXPECT_FALSE(RuleExpired(rule, memo.expires - 1));
    EXPECT_TRUE(RuleExpired(rule, memo.expires));

    _RULE foreign = rule;
    foreign.reserved[200] = 7;  // another program's byte: no memo, never overwritten
    const _RULE before = foreign;
    EXPECT_FALSE(ReadRuleMemo(foreign, &back));
    EXPECT_FALSE(RuleExpired(foreign, INT64_MAX));
    EXPECT_FALSE(WriteRuleMemo(foreign, memo));
    RemoveRuleMemo(foreign);
    EXPECT_EQ(std::memcmp(&foreign, &before, sizeof foreign), 0);
    RemoveRuleMemo(rule);
    EXPECT_FALSE(ReadRuleMemo(rule, &back));
    EXPECT_TRUE(std::all_of(rule.reserved, rule.reserved + RULE_RESERVED_BYTES,
                            [](uint8_t byte) { return byte == 0; }));
}

TEST(RuleMemos, OtherReservedBytesAreNeverAMemo) {
    std::mt19937 random(20261209);
    _RULE valid;
    std::memset(&valid, 0, sizeof valid);
    RuleMemo memo{};
    memo.expires = 1;
    ASSERT_TRUE(WriteRuleMemo(valid, memo));
    RuleMemo read{};
    // Every one-bit change of a memo, and random bytes behind its signature.
    for (size_t bit = 0; bit < 8 * RULE_RESERVED_BYTES; ++bit) {
        _RULE changed = valid;
        changed.reserved[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        ASSERT_FALSE(ReadRuleMemo(changed, &read)) << "bit " << bit;
    }
    for (int n = 0; n < 100000; ++n) {
        _RULE rule = valid;
        for (size_t i = 8; i < RULE_RESERVED_BYTES; ++i) rule.reserved[i] = static_cast<uint8_t>(random());
        ASSERT_FALSE(ReadRuleMemo(rule, &read) || RuleExpired(rule, INT64_MAX)) << n;
    }
}

}  // namespace
