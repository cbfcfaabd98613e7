#include "lists/latest_picks.h"

#include <algorithm>

namespace {

inline size_t PieceOf(const PickCoverage& coverage, uint64_t address) {
    if (address > 0xFFFFFFFFu) return coverage.cuts.size();
    return static_cast<size_t>(std::upper_bound(coverage.cuts.begin(), coverage.cuts.end(),
                                                static_cast<uint32_t>(address)) -
                               coverage.cuts.begin()) - 1;
}

// The right child of `node` spanning [from, to], split at `middle`.
inline size_t RightChild(size_t node, size_t from, size_t middle) { return node + 2 * (middle - from + 1); }

void AddOver(PickCoverage& coverage, size_t node, size_t from, size_t to, size_t low, size_t high,
             int32_t position) {
    if (high < from || to < low) return;
    if (low <= from && to <= high) {
        if (from != to) coverage.tag[node - from].Add(position, coverage.effects);
        coverage.any[node].Add(position, coverage.effects);
        return;
    }
    const size_t middle = (from + to) / 2;
    const size_t left = node + 1, right = RightChild(node, from, middle);
    AddOver(coverage, left, from, middle, low, high, position);
    AddOver(coverage, right, middle + 1, to, low, high, position);
    coverage.any[node] = coverage.tag[node - from];
    coverage.any[node].Add(coverage.any[left], coverage.effects);
    coverage.any[node].Add(coverage.any[right], coverage.effects);
}

LatestPositions QueryOver(const PickCoverage& coverage, size_t node, size_t from, size_t to, size_t low,
                          size_t high) {
    if (high < from || to < low) return {};
    if (low <= from && to <= high) return coverage.any[node];
    const size_t middle = (from + to) / 2;
    LatestPositions found = coverage.tag[node - from];  // partly covered: no leaf
    found.Add(QueryOver(coverage, node + 1, from, middle, low, high), coverage.effects);
    found.Add(QueryOver(coverage, RightChild(node, from, middle), middle + 1, to, low, high), coverage.effects);
    return found;
}

}  // namespace

void PickCoverage::Build(std::vector<uint64_t> ends, const uint32_t* positionEffects) {
    ends.push_back(0);
    ends.push_back(uint64_t{1} << 32);
    std::sort(ends.begin(), ends.end());
    ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
    cuts.assign(ends.begin(), ends.end() - 1);  // all but 2^32, in four bytes each
    std::vector<uint64_t>().swap(ends);
    pieces = cuts.size();
    effects = positionEffects;
    tag.assign(pieces - 1, LatestPositions{});
    any.assign(2 * pieces - 1, LatestPositions{});
}

void PickCoverage::Add(const AddressInterval& interval, int32_t position) {
    if (pieces == 0) return;
    AddOver(*this, 0, 0, pieces - 1, PieceOf(*this, interval.low), PieceOf(*this, uint64_t{interval.high} + 1) - 1,
            position);
}

LatestTwo PickCoverage::Query(const AddressInterval& interval) const {
    if (pieces == 0) return {};
    const LatestPositions found = QueryOver(*this, 0, 0, pieces - 1, PieceOf(*this, interval.low),
                                            PieceOf(*this, uint64_t{interval.high} + 1) - 1);
    LatestTwo latest;
    latest.Add(found.other, found.other >= 0 ? effects[found.other] : 0);
    latest.Add(found.first, found.first >= 0 ? effects[found.first] : 0);
    return latest;
}

bool LaterOtherEffectOverlaps(std::vector<PlacedAddresses> rules, std::vector<PlacedAddresses> moved) {
    std::sort(rules.begin(), rules.end(), [](const PlacedAddresses& a, const PlacedAddresses& b) {
        return a.addresses.low < b.addresses.low;
    });
    std::sort(moved.begin(), moved.end(), [](const PlacedAddresses& a, const PlacedAddresses& b) {
        return a.addresses.high < b.addresses.high;
    });
    std::vector<uint32_t> highs;
    highs.reserve(rules.size());
    for (const PlacedAddresses& rule : rules) highs.push_back(rule.addresses.high);
    std::sort(highs.begin(), highs.end());
    highs.erase(std::unique(highs.begin(), highs.end()), highs.end());
    // Node i sums rules whose high end is among the i highest, counted from the top.
    auto fromTop = [&highs](uint32_t high) {
        return highs.size() - static_cast<size_t>(std::lower_bound(highs.begin(), highs.end(), high) - highs.begin());
    };
    std::vector<LatestTwo> nodes(highs.size() + 1);
    size_t added = 0;
    for (const PlacedAddresses& query : moved) {
        // Rules that start at or before the moved addresses end...
        for (; added < rules.size() && rules[added].addresses.low <= query.addresses.high; ++added) {
            for (size_t i = fromTop(rules[added].addresses.high); i < nodes.size(); i += i & (~i + 1)) {
                nodes[i].Add(rules[added].position, rules[added].effect);
            }
        }
        // ...and end at or after they start.
        LatestTwo latest;
        for (size_t i = fromTop(query.addresses.low); i > 0; i -= i & (~i + 1)) latest.Add(nodes[i]);
        if (latest.LatestNot(query.effect) > query.position) return true;
    }
    return false;
}
