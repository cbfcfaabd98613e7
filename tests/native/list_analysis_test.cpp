// The rule-list library's analysis in process: `optimize` reaches its fixed
// point in one run and merges one effect's addresses to their fewest ranges;
// `check` finds rules whose addresses earlier rules hold together.
#include "lists/address_set.h"
#include "lists/rule_check.h"
#include "lists/rule_optimize.h"
#include "rules/rule.h"
#include "rules/rule_memo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

_RULE AddressRule(uint32_t low, uint32_t high, int32_t status = STATUS_IGNORE, int32_t searchType = SEARCH_IP) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    rule.status = status;
    rule.nickColor = 0x0000FF;
    rule.searchType = searchType;
    rule.ipLow = low;
    rule.ipHigh = low == high ? 0 : high;
    const std::string text = DottedAddress(low) + (low == high ? "" : "-" + DottedAddress(high));
    std::memcpy(rule.ipText, text.data(), text.size());
    return rule;
}

_RULE NicknameRule(char16_t letter, int32_t status) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    rule.name[0] = letter;
    rule.status = status;
    rule.searchType = SEARCH_NAME;
    return rule;
}

_RULE WithMemo(_RULE rule, int64_t added, int64_t expires) {
    RuleMemo memo{};
    memo.added = added;
    memo.expires = expires;
    WriteRuleMemo(rule, memo);
    return rule;
}

std::vector<AddressInterval> AddressesOf(const std::vector<_RULE>& rules) {
    std::vector<AddressInterval> addresses;
    for (const _RULE& rule : rules) {
        AddressInterval interval{};
        if (IsNumericAddressRule(rule, &interval)) addresses.push_back(interval);
    }
    NormaliseIntervals(addresses);
    return addresses;
}

// Optimizes the list, then its result again: the second run changes nothing.
std::vector<_RULE> OptimizedOnceAndAgain(std::vector<_RULE> rules) {
    OptimizeRules(rules);
    std::vector<_RULE> again = rules;
    const OptimizeCounts counts = OptimizeRules(again);
    EXPECT_EQ(counts.after, counts.before);
    EXPECT_TRUE(again.size() == rules.size() &&
                (rules.empty() || std::memcmp(again.data(), rules.data(), rules.size() * sizeof(_RULE)) == 0))
        << rules.size() << " rules became " << again.size() << " or changed on the second run";
    return rules;
}

constexpr uint32_t A = 0x01000000;  // 1.0.0.0

TEST(Optimize, OneRunReachesTheFewestRulesTheseListsAllow) {
    const _RULE blocker = AddressRule(A + 256, A + 256, STATUS_ALLOW_ALL);
    struct Case {
        const char* what;
        std::vector<_RULE> rules;
        size_t after;
    };
    const Case cases[] = {
        {"three /24s, the gap filled last",
         {AddressRule(A, A + 255), AddressRule(A + 512, A + 767), AddressRule(A + 256, A + 511)}, 1},
        {"a chain filled from the far end",
         {AddressRule(A, A + 9), AddressRule(A + 20, A + 29), AddressRule(A + 40, A + 49),
          AddressRule(A + 30, A + 39), AddressRule(A + 10, A + 19)}, 1},
        {"another status in the gap blocks the gap's filling",
         {AddressRule(A, A + 255), blocker, AddressRule(A + 256, A + 511)}, 3},
        {"another status elsewhere blocks nothing",
         {AddressRule(A, A + 255), AddressRule(A + 1024, A + 1024, STATUS_ALLOW_ALL), AddressRule(A + 256, A + 511)}, 2},
        {"held by two earlier rules together",
         {AddressRule(A, A + 9), AddressRule(A + 15, A + 15, STATUS_ALLOW_ALL), AddressRule(A + 10, A + 19),
          AddressRule(A + 5, A + 14)}, 3},
        {"a later kept rule follows the grown earlier one past another status elsewhere",
         {AddressRule(A, A + 9), AddressRule(A + 50, A + 50, STATUS_ALLOW_ALL), AddressRule(A + 20, A + 29),
          AddressRule(A + 10, A + 19)}, 2},
        {"a later kept rule stays behind another status on its own addresses",
         {AddressRule(A, A + 9), AddressRule(A + 25, A + 25, STATUS_ALLOW_ALL), AddressRule(A + 20, A + 29),
          AddressRule(A + 10, A + 19)}, 3},
        {"a nickname rule blocks every address",
         {AddressRule(A, A + 9), NicknameRule(u'x', STATUS_ALLOW_ALL), AddressRule(A + 10, A + 19)}, 3},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(OptimizedOnceAndAgain(test.rules).size(), test.after) << test.what;
    }
}

// Random lists over a small stretch of addresses so that ranges touch, nest
// and overlap; effects, search types and nickname rules between them.
TEST(Optimize, GeneratedListsReachTheirFixedPointInOneRun) {
    std::mt19937 generator(28);
    const int32_t statuses[] = {STATUS_IGNORE, STATUS_ALLOW_ALL, STATUS_NO_PRIVATE};
    for (int list = 0; list < 400; ++list) {
        const uint32_t effects = 1 + list % 3;
        const bool oneKind = list % 4 == 0;
        std::vector<_RULE> rules;
        const size_t count = 1 + generator() % (list % 10 == 0 ? 3000 : 80);
        const uint32_t stretch = static_cast<uint32_t>(count) * 8;
        for (size_t i = 0; i < count; ++i) {
            if (!oneKind && generator() % 30 == 0) {
                rules.push_back(NicknameRule(u'a' + generator() % 3, statuses[generator() % effects]));
                continue;
            }
            const uint32_t low = A + generator() % stretch;
            const uint32_t high = low + (generator() % 4 == 0 ? 0 : generator() % 24);
            const int32_t searchType = !oneKind && generator() % 10 == 0 ? SEARCH_IP | SEARCH_EITHER_BIT : SEARCH_IP;
            rules.push_back(AddressRule(low, high, statuses[oneKind ? 0 : generator() % effects], searchType));
        }
        const std::vector<_RULE> optimized = OptimizedOnceAndAgain(rules);
        if (oneKind) {
            // One effect and search type: one rule per separate range of the union.
            EXPECT_EQ(optimized.size(), AddressesOf(rules).size()) << "list " << list;
            const std::vector<AddressInterval> before = AddressesOf(rules), after = AddressesOf(optimized);
            EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin(), after.end(),
                                   [](const AddressInterval& a, const AddressInterval& b) {
                                       return a.low == b.low && a.high == b.high;
                                   }))
                << "list " << list;
        }
        if (HasFailure()) return;
    }
}

std::string Named(std::vector<uint32_t> numbers) {
    std::sort(numbers.begin(), numbers.end());
    if (numbers.size() > 5) return std::to_string(numbers.size()) + " earlier rules";
    std::string text = "rules ";
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) text += i + 1 == numbers.size() ? " and " : ", ";
        text += std::to_string(numbers[i]);
    }
    return text;
}

TEST(Check, NamesTheEarlierRulesThatHoldAllOfARulesAddressesTogether) {
    const std::vector<_RULE> rules = {AddressRule(0x0C000000, 0x0C0000FF), AddressRule(0x0C000100, 0x0C0001FF),
                                      AddressRule(0x0C000000, 0x0C0001FF)};
    const std::vector<Finding> findings = CheckRules(rules.data(), 3, 0);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].rule, 3u);
    EXPECT_NE(findings[0].text.find("inside those of rules 1 and 2 together"), std::string::npos)
        << findings[0].text;
}

// A joined rule is as new as the newest rule it took in, so that pruning by
// the time added never drops addresses a newer rule brought; a rule without
// a time added makes the joined one's unknown.
TEST(Optimize, JoinedRulesKeepTheNewestTimeAdded) {
    auto added = [](const _RULE& rule, int64_t when) { return WithMemo(rule, when, MEMO_NEVER); };
    const struct {
        std::vector<_RULE> rules;
        int64_t added;  // of the one rule left
    } cases[] = {
        {{added(AddressRule(A, A + 255), 1000), added(AddressRule(A + 256, A + 511), 2000)}, 2000},
        {{added(AddressRule(A, A + 511), 3000), added(AddressRule(A + 256, A + 300), 2000)}, 3000},
        {{added(AddressRule(A, A + 511), 1000), AddressRule(A + 10, A + 20)}, 0},
    };
    for (const auto& c : cases) {
        const std::vector<_RULE> optimized = OptimizedOnceAndAgain(c.rules);
        ASSERT_EQ(optimized.size(), 1u);
        RuleMemo memo{};
        ASSERT_TRUE(ReadRuleMemo(optimized[0], &memo));
        EXPECT_EQ(memo.added, c.added);
    }
}

// An earlier rule hides a later one only while it lasts: rules that expire
// at different times are neither duplicates nor hidden by one another.
TEST(Check, RulesThatExpireApartHideNothingOfEachOther) {
    auto expiring = [](const _RULE& rule, int64_t expires) { return WithMemo(rule, 0, expires); };
    const _RULE block = AddressRule(0x0C000000, 0x0C0000FF);
    const std::vector<_RULE> rules = {expiring(block, 1900000000), block,
                                      AddressRule(0x0C000010, 0x0C000020),
                                      expiring(block, 1900000000)};
    const std::vector<Finding> findings = CheckRules(rules.data(), 4, 0);
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].rule, 3u);  // inside rule 2, which never expires
    EXPECT_NE(findings[0].text.find("inside those of rule 2 "), std::string::npos) << findings[0].text;
    EXPECT_EQ(findings[1].rule, 4u);
    EXPECT_EQ(findings[1].text, "exact duplicate of rule 1");
}

// Blocks one after another, some never listed; the listed ones shuffled;
// then rules over runs of listed blocks (held together by exactly those),
// over runs with an unlisted block (not held) and over runs with another
// status (not held by rules of its effect).
TEST(Check, FindsEveryRuleHeldByEarlierOnesTogetherOnAGeneratedList) {
    std::mt19937 generator(12);
    std::vector<uint32_t> cuts;
    for (uint32_t at = 0x0A000000; cuts.size() < 4001; at += 1 + generator() % 300) cuts.push_back(at);
    std::vector<bool> listed(cuts.size() - 1);
    std::vector<uint32_t> order;
    for (size_t block = 0; block < listed.size(); ++block) {
        listed[block] = generator() % 8 != 0;
        if (listed[block]) order.push_back(static_cast<uint32_t>(block));
    }
    std::shuffle(order.begin(), order.end(), generator);
    std::vector<_RULE> rules;
    std::vector<uint32_t> numberOf(listed.size());
    for (uint32_t block : order) {
        rules.push_back(AddressRule(cuts[block], cuts[block + 1] - 1));
        numberOf[block] = static_cast<uint32_t>(rules.size());
    }
    std::vector<std::pair<uint32_t, std::string>> expected;  // rule number, the rules named
    size_t held = 0, notHeld = 0;
    for (size_t first = 0; first + 12 < listed.size(); first += 12) {
        const size_t length = 2 + generator() % 9;
        const bool allListed = std::all_of(listed.begin() + first, listed.begin() + first + length,
                                           [](bool b) { return b; });
        const bool otherStatus = generator() % 5 == 0;
        rules.push_back(AddressRule(cuts[first], cuts[first + length] - 1, otherStatus ? STATUS_ALLOW_ALL : STATUS_IGNORE));
        if (allListed && !otherStatus) {
            std::vector<uint32_t> numbers;
            for (size_t block = first; block < first + length; ++block) numbers.push_back(numberOf[block]);
            expected.emplace_back(static_cast<uint32_t>(rules.size()), Named(numbers));
            ++held;
        } else {
            ++notHeld;
        }
    }
    ASSERT_GT(held, 100u);
    ASSERT_GT(notHeld, 100u);
    std::vector<std::pair<uint32_t, std::string>> found;
    for (const Finding& finding : CheckRules(rules.data(), static_cast<uint32_t>(rules.size()), 0)) {
        if (finding.note) continue;
        const size_t from = finding.text.find("inside those of ");
        const size_t to = finding.text.find(" together");
        ASSERT_TRUE(from != std::string::npos && to != std::string::npos) << finding.text;
        found.emplace_back(finding.rule, finding.text.substr(from + 16, to - from - 16));
    }
    EXPECT_EQ(found, expected);
}

}  // namespace
