#include "tests/native/match_comparison.h"

#include "matching/matching.h"
#include "matching/rule_index.h"
#include "rules/ip_pattern.h"
#include "rules/rule_memo.h"
#include "lists/address_runs.h"
#include "lists/address_set.h"
#include "lists/rule_optimize.h"

#include <cstring>
#include <sstream>

uint32_t Choose(ChoiceSource& source, uint32_t bound) {
    if (bound <= 1) return 0;
    if (source.generator) return (*source.generator)() % bound;
    uint32_t value = 0;
    for (uint32_t span = bound - 1; span != 0; span >>= 8) {
        const uint8_t byte = source.used < source.size ? source.bytes[source.used++] : 0;
        value = (value << 8) | byte;
    }
    return value % bound;
}

namespace {

bool OneIn(ChoiceSource& source, uint32_t n) { return Choose(source, n) == 0; }

// Names and addresses that visitors and rules share, so that names, prefixes,
// exact addresses and ranges meet often; a few odd ones besides.
const std::u16string NAMES[] = {
    u"", u"a", u"b", u"ab", u"Ab", u"aB", u"bob", u"Bob", u"\u0416\u0443\u043a",
    u"\xD800", u"visitor", u"visitor1", u"visitor10"};

const char* const ADDRESSES[] = {
    "10.0.0.1",  "10.0.0.12",  "10.0.1.1",       "10.0.0.255", "10.1.0.1", "10.10.0.1",
    "1.2.3.4",   "192.168.0.1", "255.255.255.255", "0.0.0.0",    "0.0.0.1",  "10.0.0.1 x",
    "012.0.0.1", "0x0a.0.0.1",  "10.1",           "167772161",  "bad",      "10.0.0.1.",
    "1111111111111111"};  // the last one fills its field without a terminator

constexpr size_t NAME_COUNT = sizeof NAMES / sizeof NAMES[0];
constexpr size_t ADDRESS_COUNT = sizeof ADDRESSES / sizeof ADDRESSES[0];

template <typename Unit, size_t Width>
void FillLeftovers(ChoiceSource& source, Unit (&field)[Width], size_t from) {
    for (size_t k = from; k < Width; ++k) field[k] = static_cast<Unit>(Choose(source, 3) + '0');
}

// A name: one of the shared ones, or one filling `width` units, with
// leftovers behind the terminator now and then.
template <size_t Width>
void ChooseName(ChoiceSource& source, char16_t (&field)[Width]) {
    std::memset(field, 0, sizeof field);
    size_t length = 0;
    switch (Choose(source, 8)) {
        case 0:  // 63, 64 or 65 units of one letter: around the rule field's width
            length = std::min<size_t>(Width, RULE_NAME_UNITS - 1 + Choose(source, 3));
            for (size_t k = 0; k < length; ++k) field[k] = u'n';
            break;
        default: {
            const std::u16string& name = NAMES[Choose(source, NAME_COUNT)];
            length = name.size();
            std::memcpy(field, name.data(), length * sizeof(char16_t));
        }
    }
    if (length + 1 < Width && OneIn(source, 4)) FillLeftovers(source, field, length + 1);
}

uint32_t ChooseAddressNumber(ChoiceSource& source) {
    switch (Choose(source, 6)) {
        case 0: return 0;
        case 1: return 0xFFFFFFFFu;
        case 2: return Choose(source, 0xFFFFFFFFu);
        default: {
            const char* text = ADDRESSES[Choose(source, ADDRESS_COUNT)];
            const uint32_t address = ConvertAddress(text, std::strlen(text));
            return address + Choose(source, 5) - 2;  // on it, or just beside it
        }
    }
}

int32_t ChooseSearchType(ChoiceSource& source) {
    static const int32_t odd[] = {-1, -2, -3, -4, -5, -8, 16, 17, 19, 23, 0x7FFFFFFF,
                                  INT32_MIN, INT32_MIN + 3, INT32_MIN + 7, 0x101, 0x103};
    if (OneIn(source, 5)) return odd[Choose(source, sizeof odd / sizeof odd[0])];
    return static_cast<int32_t>(Choose(source, 16));
}

_RULE ChooseRule(ChoiceSource& source) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    ChooseName(source, rule.name);
    static const int32_t statuses[] = {STATUS_UNCHANGED, STATUS_ALLOW_ALL, STATUS_NO_PRIVATE,
                                       STATUS_IGNORE, 0x12345, -2};
    rule.status = statuses[Choose(source, 6)];
    rule.nickColor = Choose(source, 0x1000000);
    rule.textColor = Choose(source, 0x1000000);
    rule.searchType = ChooseSearchType(source);

    const uint32_t pattern = Choose(source, 8);
    if (pattern & 1) {  // a prefix of some address text, 1 to 16 bytes
        const char* text = ADDRESSES[Choose(source, ADDRESS_COUNT)];
        const size_t length = 1 + Choose(source, std::min<uint32_t>(16, std::strlen(text)));
        std::memcpy(rule.ipPrefix, text, std::min<size_t>(length, std::strlen(text)));
        if (length < RULE_IP_PREFIX_BYTES && OneIn(source, 4)) {
            FillLeftovers(source, rule.ipPrefix, length + 1);
        }
    }
    if (pattern & 2) rule.ipLow = ChooseAddressNumber(source);
    if (pattern & 4) {  // a range: usually upward, sometimes inverted or wide
        if (OneIn(source, 4)) {
            rule.ipHigh = ChooseAddressNumber(source);
        } else {
            const uint32_t widths[] = {0, 1, 255, 65535, 0x00FFFFFF};
            const uint32_t width = widths[Choose(source, 5)];
            rule.ipHigh = rule.ipLow > 0xFFFFFFFFu - width ? 0xFFFFFFFFu : rule.ipLow + width;
        }
    }
    return rule;
}

TestVisitor ChooseVisitor(ChoiceSource& source) {
    TestVisitor visitor;
    std::memset(&visitor, 0, sizeof visitor);
    ChooseName(source, visitor.nick);
    if (OneIn(source, 50)) {  // a nickname filling the host's whole field
        for (char16_t& unit : visitor.nick) unit = u'n';
    }
    if (!OneIn(source, 8)) {
        const char* text = ADDRESSES[Choose(source, ADDRESS_COUNT)];
        std::memcpy(visitor.ip, text, std::min<size_t>(std::strlen(text), USER_IP_BYTES));
    }
    visitor.state = Choose(source, 0x10000);
    visitor.nickColor = 0x00ABCDEF;
    visitor.textColor = 0x00123456;
    return visitor;
}

// What one event leaves: every redraw posted (row and the rule behind it)
// and the visitors' entries.
struct EventResult {
    std::vector<std::pair<uint32_t, uint32_t>> redraws;
    std::vector<TestVisitor> visitors;
};

// The visitor being matched, and where its redraws are recorded.
struct EventRow {
    TestVisitor& entry;
    uint32_t row;
    EventResult& result;
};

void ApplyToEventRow(void* context, const _RULE& rule, uint32_t ruleNumber) {
    EventRow& row = *static_cast<EventRow*>(context);
    ApplyRuleEffect(rule, row.entry.state, row.entry.nickColor, row.entry.textColor);
    row.result.redraws.emplace_back(row.row, ruleNumber);
}

// Each visitor through the module's own per-visitor loop, as an event of the
// host runs it.
EventResult RunEvent(const TestCase& test, const RuleIndex* index, bool firstPickOnly,
                     uint32_t* buffer, uint32_t capacity) {
    EventResult result{{}, test.visitors};
    const RuleListView list{test.rules.data(), static_cast<uint32_t>(test.rules.size()), index,
                            buffer, capacity, test.now};
    for (uint32_t i = 0; i < result.visitors.size(); ++i) {
        EventRow row{result.visitors[i], i, result};
        MatchOneVisitor(list, row.entry.nick, row.entry.ip, !firstPickOnly, ApplyToEventRow, &row);
    }
    return result;
}

std::string Difference(const EventResult& walk, const EventResult& indexed) {
    std::ostringstream out;
    if (walk.redraws != indexed.redraws) {
        size_t at = 0;
        while (at < walk.redraws.size() && at < indexed.redraws.size() &&
               walk.redraws[at] == indexed.redraws[at]) {
            ++at;
        }
        auto shown = [&](const EventResult& result) {
            std::ostringstream text;
            if (at < result.redraws.size()) {
                text << "row " << result.redraws[at].first << " by rule "
                     << result.redraws[at].second;
            } else {
                text << "nothing";
            }
            return text.str();
        };
        out << "redraw " << at << " differs: walk " << shown(walk) << ", index "
            << shown(indexed);
        return out.str();
    }
    for (size_t i = 0; i < walk.visitors.size(); ++i) {
        const TestVisitor& a = walk.visitors[i];
        const TestVisitor& b = indexed.visitors[i];
        if (a.state != b.state || a.nickColor != b.nickColor || a.textColor != b.textColor) {
            out << "visitor " << i << " differs";
            return out.str();
        }
    }
    return {};
}

}  // namespace

namespace {

// Expiries a few seconds either side of the event's time; reserved bytes
// with the block's signature but not its checksum, which are no memo.
void AddExpiries(ChoiceSource& source, TestCase& test) {
    constexpr int64_t AROUND = 1800000000;
    test.now = OneIn(source, 4) ? 0 : AROUND + Choose(source, 7) - 3;
    for (_RULE& rule : test.rules) {
        if (OneIn(source, 3)) {
            RuleMemo memo{};
            memo.added = AROUND - 86400;
            memo.expires = OneIn(source, 5) ? MEMO_NEVER : AROUND + Choose(source, 7) - 3;
            WriteRuleMemo(rule, memo);
            if (OneIn(source, 6)) rule.reserved[100 + Choose(source, 150)] ^= 1;
        }
    }
}

}  // namespace

TestCase MakeTestCase(ChoiceSource& source, uint32_t maxRules, uint32_t maxVisitors) {
    TestCase test;
    const uint32_t rules = Choose(source, maxRules + 1);
    for (uint32_t j = 0; j < rules; ++j) {
        // Now and then a copy of an earlier rule: duplicate names and patterns.
        if (j > 0 && OneIn(source, 6)) {
            _RULE copy = test.rules[Choose(source, j)];
            copy.searchType = ChooseSearchType(source);
            test.rules.push_back(copy);
        } else {
            test.rules.push_back(ChooseRule(source));
        }
    }
    const uint32_t visitors = Choose(source, maxVisitors + 1);
    for (uint32_t i = 0; i < visitors; ++i) test.visitors.push_back(ChooseVisitor(source));
    AddExpiries(source, test);
    return test;
}

std::string CompareIndexWithWalk(const TestCase& test, uint32_t capacity, uint32_t* overflowed,
                                 uint32_t* picks) {
    RuleIndex index{};
    if (!BuildRuleIndex(index, test.rules.data(), static_cast<uint32_t>(test.rules.size()))) {
        return "index not built";
    }
    std::vector<uint32_t> buffer(capacity + 1);
    // The reference for expiry: the same list without clock, its expired
    // rules made to pick no one (search type 0).
    TestCase unexpired = test;
    unexpired.now = 0;
    for (_RULE& rule : unexpired.rules) {
        if (RuleExpired(rule, test.now)) rule.searchType = 0;
    }
    std::string difference;
    for (bool firstPickOnly : {false, true}) {
        const EventResult walk = RunEvent(test, nullptr, firstPickOnly, buffer.data(), capacity);
        const EventResult indexed = RunEvent(test, &index, firstPickOnly, buffer.data(), capacity);
        const EventResult reference =
            RunEvent(unexpired, nullptr, firstPickOnly, buffer.data(), capacity);
        if (picks && !firstPickOnly) *picks += static_cast<uint32_t>(walk.redraws.size());
        difference = Difference(walk, indexed);
        if (difference.empty()) difference = Difference(reference, walk);
        if (!difference.empty()) {
            difference = (firstPickOnly ? "first pick only: " : "every pick: ") + difference;
            break;
        }
    }
    if (overflowed) {
        for (const TestVisitor& entry : test.visitors) {
            MatchVisitor visitor = MakeMatchVisitor(entry.nick, entry.ip);
            if (CollectCandidates(index, visitor, buffer.data(), capacity) == CANDIDATES_OVERFLOW) {
                ++*overflowed;
            }
        }
    }
    FreeRuleIndex(index);
    return difference;
}

namespace {

// An address-only rule over 10.0.0.0 to 10.0.0.63 (and now and then the top
// of the address space), with one of a few effects.
_RULE ChooseAddressRule(ChoiceSource& source) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    static const int32_t statuses[] = {STATUS_IGNORE, STATUS_IGNORE, STATUS_ALLOW_ALL, STATUS_UNCHANGED};
    rule.status = statuses[Choose(source, 4)];
    rule.nickColor = OneIn(source, 6) ? 0x00FF00 : 0x0000FF;
    rule.textColor = 0;
    // Mostly 2; now and then another value whose IP test alone decides.
    static const int32_t otherAddressOnly[] = {SEARCH_IP | SEARCH_EITHER_BIT, 14, INT32_MIN | 6};
    rule.searchType = OneIn(source, 8) ? otherAddressOnly[Choose(source, 3)] : SEARCH_IP;
    const uint32_t base = OneIn(source, 10) ? 0xFFFFFFC0u : 0x0A000000u;
    const uint32_t low = base + Choose(source, 64);
    const uint32_t width = OneIn(source, 3) ? 0 : Choose(source, 16);
    const uint32_t high = low + width > base + 63 ? base + 63 : low + width;
    if (width == 0 && !OneIn(source, 4)) {
        rule.ipLow = low;  // an exact address
    } else {
        rule.ipLow = low;
        rule.ipHigh = high;
    }
    if (OneIn(source, 20)) std::swap(rule.ipLow, rule.ipHigh);  // inverted: exact low only
    // Mostly a range's text as an import writes it; now and then its first
    // address alone, as an older editor left it.
    const bool rangeText = rule.ipHigh != 0 && rule.ipLow <= rule.ipHigh && low % 5 != 0;
    const std::string text = DottedAddress(rule.ipLow) + (rangeText ? "-" + DottedAddress(rule.ipHigh) : "");
    std::memcpy(rule.ipText, text.data(), text.size());
    return rule;
}

void AddVisitorAt(TestCase& test, ChoiceSource& source, const char* ip) {
    TestVisitor visitor;
    std::memset(&visitor, 0, sizeof visitor);
    const std::u16string& name = NAMES[Choose(source, NAME_COUNT)];
    std::memcpy(visitor.nick, name.data(), name.size() * sizeof(char16_t));
    std::memcpy(visitor.ip, ip, std::min<size_t>(std::strlen(ip), USER_IP_BYTES));
    visitor.state = Choose(source, 0x10000);
    visitor.nickColor = 0x00ABCDEF;
    visitor.textColor = 0x00123456;
    test.visitors.push_back(visitor);
}

}  // namespace

TestCase MakeOptimizeCase(ChoiceSource& source, uint32_t maxRules, uint32_t maxVisitors) {
    TestCase test;
    const uint32_t rules = Choose(source, maxRules + 1);
    for (uint32_t j = 0; j < rules; ++j) {
        if (OneIn(source, 24)) {
            test.rules.push_back(ChooseRule(source));  // any other kind
        } else if (OneIn(source, 24)) {
            // A prefix that also picks texts inet_addr reads otherwise: "10.1"
            // is 10.0.0.1 to the range tests, "012." is 10.x.x.x.
            static const char* const prefixes[] = {"10.1", "10.0.0.", "012.", "0x0a.", "10.0.0.1", "1", "10.0.0.6"};
            _RULE rule = ChooseAddressRule(source);
            rule.ipLow = rule.ipHigh = 0;
            const char* prefix = prefixes[Choose(source, sizeof prefixes / sizeof prefixes[0])];
            std::memcpy(rule.ipPrefix, prefix, std::strlen(prefix));
            test.rules.push_back(rule);
        } else if (j > 0 && OneIn(source, 10)) {
            test.rules.push_back(test.rules[Choose(source, j)]);
        } else {
            test.rules.push_back(ChooseAddressRule(source));
        }
    }
    for (const _RULE& rule : test.rules) {
        for (uint32_t address : {rule.ipLow, rule.ipHigh}) {
            for (uint32_t beside : {address - 1, address, address + 1}) {
                if (test.visitors.size() < maxVisitors) {
                    AddVisitorAt(test, source, DottedAddress(beside).c_str());
                }
            }
        }
    }
    // Every odd address text and eight more visitors for a seeded list; from
    // fuzz bytes, a few of them, chosen by the bytes: each visitor costs a
    // walk over the list per event, and the fuzzer gains more from many
    // short cases than from a few long ones.
    const bool seeded = source.generator != nullptr;
    for (const char* text : ADDRESSES) {
        if (seeded || Choose(source, 4) == 3) AddVisitorAt(test, source, text);
    }
    for (uint32_t i = 0; i < (seeded ? 8u : 2u); ++i) test.visitors.push_back(ChooseVisitor(source));
    return test;
}

namespace {

// Empty when both lists leave every visitor of `test` with the same state
// and colours, and redrawn (at least once) in both; else what differed.
std::string CompareEffects(const TestCase& test, const TestCase& optimized, const char* how) {
    std::vector<uint32_t> buffer(2);
    for (bool firstPickOnly : {true, false}) {
        const EventResult before = RunEvent(test, nullptr, firstPickOnly, buffer.data(), 1);
        const EventResult after = RunEvent(optimized, nullptr, firstPickOnly, buffer.data(), 1);
        const std::string event = firstPickOnly ? "arrival: " : "room report: ";
        for (size_t i = 0; i < test.visitors.size(); ++i) {
            const TestVisitor& a = before.visitors[i];
            const TestVisitor& b = after.visitors[i];
            auto redrawn = [i](const EventResult& result) {
                for (const auto& redraw : result.redraws) {
                    if (redraw.first == i) return true;
                }
                return false;
            };
            if (a.state != b.state || a.nickColor != b.nickColor || a.textColor != b.textColor ||
                redrawn(before) != redrawn(after)) {
                std::ostringstream out;
                out << event << "visitor " << i << " (IP \"" << std::string(a.ip, strnlen(a.ip, USER_IP_BYTES))
                    << "\") ends differently after " << how << " " << test.rules.size() << " rules to "
                    << optimized.rules.size();
                return out.str();
            }
        }
    }
    return {};
}

// Empty when optimizing `rules` again changes nothing.
std::string CompareSecondRun(const std::vector<_RULE>& rules, size_t before, const char* how) {
    std::vector<_RULE> again = rules;
    const OptimizeCounts secondRun = OptimizeRules(again);
    if (secondRun.after != secondRun.before || again.size() != rules.size() ||
        (!again.empty() && std::memcmp(again.data(), rules.data(), again.size() * sizeof(_RULE)) != 0)) {
        std::ostringstream out;
        out << how << " " << before << " rules gave " << rules.size() << ", and optimizing those again gave "
            << again.size() << " or other rules";
        return out.str();
    }
    return {};
}

// The list joined as an import joins it while reading (address_runs.h),
// then optimized.
std::string CompareJoinedAsRead(const TestCase& test) {
    TestCase joined{{}, test.visitors};
    AddressRuns runs;
    runs.out = &joined.rules;
    for (const _RULE& rule : test.rules) TakeIntoRuns(runs, rule);
    EndRuns(runs);
    const OptimizeCounts counts = OptimizeRules(joined.rules);
    if (runs.taken != test.rules.size() ||
        runs.taken - counts.after != runs.joined + runs.dropped + counts.joined + counts.dropped) {
        return "the counts of joining as read do not add up";
    }
    const std::string second = CompareSecondRun(joined.rules, test.rules.size(), "joining as read");
    return second.empty() ? CompareEffects(test, joined, "joining as read") : second;
}

}  // namespace

std::string CompareOptimizedWithOriginal(const TestCase& test, uint32_t* removed) {
    TestCase optimized{test.rules, test.visitors};
    const OptimizeCounts counts = OptimizeRules(optimized.rules);
    if (removed) *removed += counts.joined + counts.dropped;
    if (counts.after != optimized.rules.size() || counts.before != test.rules.size() ||
        counts.before - counts.after != counts.joined + counts.dropped) {
        return "the counts do not add up";
    }
    std::string difference = CompareSecondRun(optimized.rules, test.rules.size(), "optimizing");
    if (difference.empty()) difference = CompareEffects(test, optimized, "optimizing");
    return difference.empty() ? CompareJoinedAsRead(test) : difference;
}
