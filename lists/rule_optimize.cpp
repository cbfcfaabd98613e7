#include "lists/rule_optimize.h"

#include "lists/address_set.h"
#include "lists/interval_slots.h"
#include "lists/latest_picks.h"
#include "lists/memo_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>

namespace {

void WriteRange(_RULE& rule, const AddressInterval& addresses) {
    const std::string text = DottedAddress(addresses.low) + "-" + DottedAddress(addresses.high);
    std::memset(rule.ipText, 0, sizeof rule.ipText);
    std::memcpy(rule.ipText, text.data(), text.size());
    std::memset(rule.ipPrefix, 0, sizeof rule.ipPrefix);
    rule.ipLow = addresses.low;
    rule.ipHigh = addresses.high;
}

// Whether the intervals together hold every address of `target`.
bool HeldTogether(const std::vector<AddressInterval>& intervals, const AddressInterval& target) {
    const auto holds = [&](const AddressInterval& interval) { return Holds(interval, target); };
    // One that holds it alone, or only one: nothing to join.
    if (std::any_of(intervals.begin(), intervals.end(), holds)) return true;
    if (intervals.size() <= 1) return false;
    std::vector<AddressInterval> joined = intervals;
    NormaliseIntervals(joined);
    return std::any_of(joined.begin(), joined.end(), holds);
}

// When the rule was added, for joining: a rule without a time added counts
// as the newest, so a joined rule never looks older than any part of it.
int64_t AddedForJoining(const _RULE& rule) {
    RuleMemo memo;
    if (!ReadRuleMemo(rule, &memo) || memo.added == 0) return INT64_MAX;
    return memo.added;
}

// The newest time added among the rules whose addresses each kept rule now
// holds, looked up only for the rules that join or hold others: `prune
// --added-before` must never drop addresses that a newer rule brought.
struct NewestAdded {
    _RULE* rules;
    std::unordered_map<size_t, int64_t> newest;  // of the kept rules that took others in

    int64_t Of(size_t j) const {
        const auto found = newest.find(j);
        return found != newest.end() ? found->second : AddedForJoining(rules[j]);
    }
    void Take(size_t kept, size_t other) {
        const int64_t time = std::max(Of(kept), Of(other));
        newest[kept] = time;
    }
    // Written into each kept rule whose time changed (0: unknown).
    void WriteInto(size_t j) {
        const auto found = newest.find(j);
        if (found == newest.end() || found->second == AddedForJoining(rules[j])) return;
        RuleMemo memo;
        if (!ReadRuleMemo(rules[j], &memo)) return;  // no memo: already unknown
        memo.added = found->second == INT64_MAX ? 0 : found->second;
        WriteRuleMemo(rules[j], memo);
    }
};

// Numbers for keys, from 0 in the order they first appear; a key that is
// the one before, as a rule's effect mostly is its neighbour's, is not
// looked up.
template <typename Key>
struct FirstSeenNumbers {
    std::map<Key, uint32_t> numbers;
    Key last{};
    uint32_t lastNumber = UINT32_MAX;

    uint32_t Of(const Key& key) {
        if (lastNumber == UINT32_MAX || key != last) {
            last = key;
            lastNumber = numbers.emplace(key, static_cast<uint32_t>(numbers.size())).first->second;
        }
        return lastNumber;
    }
};

// Every low end and high end + 1 that the pick coverage is given: the
// address-only rules' intervals and the other rules' possible addresses.
std::vector<uint64_t> CoverageEnds(const _RULE* rules, const std::vector<uint8_t>& numeric) {
    std::vector<uint64_t> ends;
    ends.reserve(2 * numeric.size() + 2);  // and the two that Build adds: never grown by copying
    for (size_t j = 0; j < numeric.size(); ++j) {
        AddressInterval interval{};
        if (numeric[j] && IsNumericAddressRule(rules[j], &interval)) {
            ends.push_back(interval.low);
            ends.push_back(uint64_t{interval.high} + 1);
            continue;
        }
        for (const AddressInterval& possible : PossibleAddresses(rules[j])) {
            ends.push_back(possible.low);
            ends.push_back(uint64_t{possible.high} + 1);
        }
    }
    return ends;
}

AddressInterval Hull(const AddressInterval& a, const AddressInterval& b) {
    return {std::min(a.low, b.low), std::max(a.high, b.high)};
}

// One run over the list, in order. `coverage` holds where each rule's
// addresses now are (a rule that joined an earlier one, at that one's
// place), so later rules see the list as it has become. Only a kept rule
// that later follows a grown earlier one leaves its old place behind in
// `coverage`, where it still blocks; returns whether such a rule shares
// addresses with another effect's address rule after it, whose joining it
// may then have blocked for nothing: another run is needed.
bool OptimizeOnce(_RULE* rules, uint32_t* ruleCount, OptimizeCounts& counts) {
    const size_t count = *ruleCount;

    // What each rule does to a visitor it picks, and until when (rules that
    // expire at another time differ in effect once one has), and the
    // addresses it may pick at.
    FirstSeenNumbers<std::tuple<int32_t, uint32_t, uint32_t, int64_t>> effects;
    FirstSeenNumbers<std::pair<uint32_t, int32_t>> groups;
    std::vector<uint32_t> effectOf(count);
    std::vector<uint32_t> groupOf(count);
    std::vector<uint8_t> numeric(count);  // its interval read again where needed: one less table
    std::vector<uint64_t> starts;
    starts.reserve(count);
    // Whether rules of more than one effect may pick at some address: only
    // then can a rule of another effect block a join.
    uint32_t pickingEffect = UINT32_MAX;
    bool otherEffects = false;
    for (size_t j = 0; j < count; ++j) {
        const _RULE& rule = rules[j];
        effectOf[j] = effects.Of({rule.status, rule.nickColor, rule.textColor, RuleExpiry(rule)});
        AddressInterval interval{};
        numeric[j] = IsNumericAddressRule(rule, &interval);
        if (numeric[j]) {
            groupOf[j] = groups.Of({effectOf[j], rule.searchType});
            starts.push_back(SlotStart(groupOf[j], interval.low));
        } else if (PossibleAddresses(rule).empty()) {
            continue;
        }
        if (pickingEffect == UINT32_MAX) pickingEffect = effectOf[j];
        otherEffects = otherEffects || effectOf[j] != pickingEffect;
    }
    PickCoverage coverage;
    if (otherEffects) coverage.Build(CoverageEnds(rules, numeric), effectOf.data());

    // Address-only rules kept so far (numbered by position), by group: an
    // effect and a search type. A rule's addresses may join a kept rule of
    // its group after the latest rule of another effect that may pick a
    // visitor at one of them: the slot's mark is that latest rule for any
    // of the kept rule's addresses.
    SlotIndex kept;
    BuildSlotIndex(kept, std::move(starts), count);
    std::vector<uint8_t> stays(count, 1);
    std::vector<uint8_t> grown(count, 0);
    NewestAdded added{rules, {}};
    std::vector<PlacedAddresses> moved;  // kept rules that followed a grown one
    std::vector<uint32_t> touching;
    std::vector<AddressInterval> holding;
    for (size_t j = 0; j < count; ++j) {
        const auto position = static_cast<int32_t>(j);
        if (!numeric[j]) {
            if (!otherEffects) continue;  // no coverage to add its possible addresses to
            for (const AddressInterval& possible : PossibleAddresses(rules[j])) {
                coverage.Add(possible, position);
            }
            continue;
        }
        AddressInterval addresses{};
        IsNumericAddressRule(rules[j], &addresses);
        const uint32_t group = groupOf[j];
        const int32_t barrier = coverage.Query(addresses).LatestNot(effectOf[j]);

        TouchingSlots(kept, group, addresses, &touching, barrier);
        int32_t target = -1;
        holding.clear();
        for (uint32_t slot : touching) {
            holding.push_back(kept.addressesOf[slot]);
            if (target < 0 || static_cast<int32_t>(slot) < target) target = static_cast<int32_t>(slot);
        }
        if (target < 0) {
            InsertSlot(kept, static_cast<uint32_t>(j), group, addresses, barrier);
            coverage.Add(addresses, position);
            continue;
        }
        stays[j] = 0;
        if (HeldTogether(holding, addresses)) {
            for (uint32_t slot : touching) added.Take(slot, j);
            ++counts.dropped;
            continue;
        }
        // Join the earliest rule it may join; then every later kept rule
        // that touches the grown one and is blocked only before it (marked
        // below it) joins too.
        ++counts.joined;
        // The target stays in `kept` meanwhile: the touching slots sought
        // are numbered above it.
        AddressInterval joined = Hull(kept.addressesOf[target], addresses);
        int32_t joinedMark = std::max(kept.markOf[target], barrier);
        added.Take(static_cast<size_t>(target), j);
        coverage.Add(addresses, target);  // the same effect: the same group
        for (bool grew = true; grew;) {
            grew = false;
            TouchingSlots(kept, group, joined, &touching, target, target);
            for (uint32_t slot : touching) {
                // Only another effect's rule can have been blocked by it.
                if (otherEffects) moved.push_back({kept.addressesOf[slot], static_cast<int32_t>(slot), effectOf[slot]});
                coverage.Add(kept.addressesOf[slot], target);
                joined = Hull(joined, kept.addressesOf[slot]);
                joinedMark = std::max(joinedMark, kept.markOf[slot]);
                added.Take(static_cast<size_t>(target), slot);
                EraseSlot(kept, slot);
                stays[slot] = 0;
                ++counts.joined;
                grew = true;
            }
        }
        ChangeSlot(kept, static_cast<uint32_t>(target), joined, joinedMark);
        grown[target] = 1;
    }

    // Another effect's address rule after a rule that followed a grown one.
    bool again = false;
    if (!moved.empty()) {
        std::vector<PlacedAddresses> numericRules;
        for (size_t j = 0; j < count; ++j) {
            AddressInterval addresses{};
            if (numeric[j] && IsNumericAddressRule(rules[j], &addresses)) {
                numericRules.push_back({addresses, static_cast<int32_t>(j), effectOf[j]});
            }
        }
        again = LaterOtherEffectOverlaps(std::move(numericRules), std::move(moved));
    }

    size_t keptCount = 0;
    for (size_t j = 0; j < count; ++j) {
        if (!stays[j]) continue;
        if (grown[j]) WriteRange(rules[j], kept.addressesOf[j]);
        added.WriteInto(j);
        if (keptCount != j) rules[keptCount] = rules[j];
        ++keptCount;
    }
    *ruleCount = static_cast<uint32_t>(keptCount);
    return again;
}

}  // namespace

OptimizeCounts OptimizeRules(_RULE* rules, uint32_t* count) {
    OptimizeCounts counts{*count, 0, 0, 0};
    while (OptimizeOnce(rules, count, counts)) {
    }
    counts.after = *count;
    return counts;
}

OptimizeCounts OptimizeRules(std::vector<_RULE>& rules) {
    uint32_t count = static_cast<uint32_t>(rules.size());
    const OptimizeCounts counts = OptimizeRules(rules.data(), &count);
    rules.resize(count);
    return counts;
}
