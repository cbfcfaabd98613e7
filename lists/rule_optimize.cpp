#include "lists/rule_optimize.h"

#include "lists/address_set.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>

namespace {

// The latest two rules seen, the second with another effect than the first.
struct LatestTwo {
    int32_t first = -1;
    uint32_t firstEffect = 0;
    int32_t other = -1;
    uint32_t otherEffect = 0;

    void Add(int32_t position, uint32_t effect) {
        if (position < 0) return;
        if (position > first) {
            if (first >= 0 && firstEffect != effect) {
                other = first;
                otherEffect = firstEffect;
            }
            first = position;
            firstEffect = effect;
        } else if (position < first && effect != firstEffect && position > other) {
            other = position;
            otherEffect = effect;
        }
    }
    void Add(const LatestTwo& more) {
        Add(more.other, more.otherEffect);
        Add(more.first, more.firstEffect);
    }
    // The latest rule with an effect other than `effect`, or -1.
    int32_t LatestNot(uint32_t effect) const { return firstEffect != effect ? first : other; }
};

// For every address, the latest rules that may pick a visitor there: a
// segment tree over the address pieces that the rules' ends cut, whose
// nodes keep what was added over their whole span (`tag`) and over any part
// of it (`any`).
struct PickCoverage {
    std::vector<uint64_t> cuts;  // piece k is [cuts[k], cuts[k + 1])
    size_t pieces = 0;
    std::vector<LatestTwo> tag;
    std::vector<LatestTwo> any;

    void Build(std::vector<uint64_t> ends) {
        ends.push_back(0);
        ends.push_back(uint64_t{1} << 32);
        std::sort(ends.begin(), ends.end());
        ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
        cuts = std::move(ends);
        pieces = cuts.size() - 1;
        size_t size = 1;
        while (size < pieces) size *= 2;
        tag.assign(2 * size, LatestTwo{});
        any.assign(2 * size, LatestTwo{});
        pieces = size;
    }
    size_t PieceOf(uint64_t address) const {
        return static_cast<size_t>(std::upper_bound(cuts.begin(), cuts.end(), address) - cuts.begin()) - 1;
    }
    void Add(size_t node, size_t from, size_t to, size_t low, size_t high, int32_t position,
             uint32_t effect) {
        if (high < from || to < low) return;
        if (low <= from && to <= high) {
            tag[node].Add(position, effect);
            any[node].Add(position, effect);
            return;
        }
        const size_t middle = (from + to) / 2;
        Add(2 * node, from, middle, low, high, position, effect);
        Add(2 * node + 1, middle + 1, to, low, high, position, effect);
        any[node] = tag[node];
        any[node].Add(any[2 * node]);
        any[node].Add(any[2 * node + 1]);
    }
    LatestTwo Query(size_t node, size_t from, size_t to, size_t low, size_t high) const {
        if (high < from || to < low) return {};
        if (low <= from && to <= high) return any[node];
        const size_t middle = (from + to) / 2;
        LatestTwo found = tag[node];
        found.Add(Query(2 * node, from, middle, low, high));
        found.Add(Query(2 * node + 1, middle + 1, to, low, high));
        return found;
    }
    void Add(const AddressInterval& interval, int32_t position, uint32_t effect) {
        Add(1, 0, pieces - 1, PieceOf(interval.low), PieceOf(uint64_t{interval.high} + 1) - 1,
            position, effect);
    }
    LatestTwo Query(const AddressInterval& interval) const {
        return Query(1, 0, pieces - 1, PieceOf(interval.low), PieceOf(uint64_t{interval.high} + 1) - 1);
    }
};

// An address-only rule kept in the list, perhaps grown by later ones.
struct Slot {
    int32_t position;  // in the original list
    uint32_t kept;     // in the optimized list
    AddressInterval addresses;
    bool grown;
};

constexpr int SLOTS_LOOKED_AT = 16;  // neighbours tried per rule: enough for real lists

bool Touch(const AddressInterval& a, const AddressInterval& b) {
    return uint64_t{a.low} <= uint64_t{b.high} + 1 && uint64_t{b.low} <= uint64_t{a.high} + 1;
}

bool Holds(const AddressInterval& outer, const AddressInterval& inner) {
    return outer.low <= inner.low && inner.high <= outer.high;
}

void WriteRange(_RULE& rule, const AddressInterval& addresses) {
    const std::string text = DottedAddress(addresses.low) + "-" + DottedAddress(addresses.high);
    std::memset(rule.ipText, 0, sizeof rule.ipText);
    std::memcpy(rule.ipText, text.data(), text.size());
    std::memset(rule.ipPrefix, 0, sizeof rule.ipPrefix);
    rule.ipLow = addresses.low;
    rule.ipHigh = addresses.high;
}

}  // namespace

OptimizeCounts OptimizeRules(std::vector<_RULE>& rules) {
    OptimizeCounts counts{static_cast<uint32_t>(rules.size()), 0, 0, 0};
    const size_t count = rules.size();

    // What each rule does to a visitor it picks, and the addresses it may pick at.
    std::map<std::tuple<int32_t, uint32_t, uint32_t>, uint32_t> effects;
    std::vector<uint32_t> effectOf(count);
    std::vector<uint8_t> numeric(count);
    std::vector<AddressInterval> numericAddresses(count);
    std::vector<uint64_t> ends;
    for (size_t j = 0; j < count; ++j) {
        const _RULE& rule = rules[j];
        effectOf[j] = effects.emplace(std::make_tuple(rule.status, rule.nickColor, rule.textColor),
                                      static_cast<uint32_t>(effects.size()))
                          .first->second;
        AddressInterval interval{};
        numeric[j] = IsNumericAddressRule(rule, &interval);
        if (numeric[j]) {
            numericAddresses[j] = interval;
            ends.push_back(interval.low);
            ends.push_back(uint64_t{interval.high} + 1);
        } else {
            for (const AddressInterval& possible : PossibleAddresses(rule)) {
                ends.push_back(possible.low);
                ends.push_back(uint64_t{possible.high} + 1);
            }
        }
    }
    PickCoverage coverage;
    coverage.Build(std::move(ends));

    // Address-only rules that may still take more, by what they do and their low end.
    std::vector<Slot> slots;
    std::map<std::pair<uint32_t, int32_t>, std::set<std::pair<uint32_t, uint32_t>>> open;
    uint32_t kept = 0;
    for (size_t j = 0; j < count; ++j) {
        const auto position = static_cast<int32_t>(j);
        if (!numeric[j]) {
            for (const AddressInterval& possible : PossibleAddresses(rules[j])) {
                coverage.Add(possible, position, effectOf[j]);
            }
            if (kept != j) rules[kept] = rules[j];
            ++kept;
            continue;
        }
        const AddressInterval addresses = numericAddresses[j];
        const uint32_t effect = effectOf[j];
        // The latest rule with another effect that may pick a visitor here:
        // these addresses may move up to a rule after it, not past it.
        const int32_t barrier = coverage.Query(addresses).LatestNot(effect);
        auto& sameEffect = open[{effect, rules[j].searchType}];

        Slot* holder = nullptr;
        Slot* neighbour = nullptr;
        auto at = sameEffect.upper_bound({addresses.high == 0xFFFFFFFFu ? addresses.high : addresses.high + 1,
                                          UINT32_MAX});
        for (int looked = 0; looked < SLOTS_LOOKED_AT && at != sameEffect.begin(); ++looked) {
            --at;
            Slot& slot = slots[at->second];
            if (slot.position <= barrier || !Touch(slot.addresses, addresses)) continue;
            if (Holds(slot.addresses, addresses)) {
                holder = &slot;
                break;
            }
            if (!neighbour) neighbour = &slot;
        }
        if (holder) {
            ++counts.dropped;
            continue;
        }
        if (neighbour) {
            sameEffect.erase({neighbour->addresses.low, static_cast<uint32_t>(neighbour - slots.data())});
            neighbour->addresses.low = std::min(neighbour->addresses.low, addresses.low);
            neighbour->addresses.high = std::max(neighbour->addresses.high, addresses.high);
            neighbour->grown = true;
            sameEffect.insert({neighbour->addresses.low, static_cast<uint32_t>(neighbour - slots.data())});
            coverage.Add(addresses, neighbour->position, effect);
            ++counts.joined;
            continue;
        }
        slots.push_back({position, kept, addresses, false});
        sameEffect.insert({addresses.low, static_cast<uint32_t>(slots.size() - 1)});
        coverage.Add(addresses, position, effect);
        if (kept != j) rules[kept] = rules[j];
        ++kept;
    }
    for (const Slot& slot : slots) {
        if (slot.grown) WriteRange(rules[slot.kept], slot.addresses);
    }
    rules.resize(kept);
    counts.after = kept;
    return counts;
}
