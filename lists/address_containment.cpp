#include "lists/address_containment.h"

#include <algorithm>

namespace {

// One address interval of a rule's IP test, in the group of rules with the
// same kind of test (search type, and nickname when it is tested).
struct GroupInterval {
    uint32_t group;
    uint32_t low;
    uint32_t high;
    uint32_t rule;  // 0-based
};

// The earliest rules seen, the second one with another status than the first.
struct EarliestTwo {
    uint32_t first = UINT32_MAX;
    int32_t firstStatus = 0;
    uint32_t other = UINT32_MAX;
    int32_t otherStatus = 0;

    void Add(uint32_t rule, int32_t status) {
        if (rule < first) {
            // The old first is then the earliest with another status.
            if (first != UINT32_MAX && firstStatus != status) {
                other = first;
                otherStatus = firstStatus;
            }
            first = rule;
            firstStatus = status;
        } else if (rule > first && status != firstStatus && rule < other) {
            other = rule;
            otherStatus = status;
        }
    }
    void Add(const EarliestTwo& more) {
        if (more.first != UINT32_MAX) Add(more.first, more.firstStatus);
        if (more.other != UINT32_MAX) Add(more.other, more.otherStatus);
    }
    // The earliest rule with a status other than `status`.
    uint32_t EarliestNot(int32_t status) const { return firstStatus != status ? first : other; }
};

// Earliest rules among intervals whose high end is at or above a value: a
// Fenwick tree over the group's high ends, counted from the top.
struct HighEndTree {
    std::vector<uint32_t> highs;  // sorted, distinct
    std::vector<EarliestTwo> nodes;

    void Reset(std::vector<uint32_t> sortedHighs) {
        highs = std::move(sortedHighs);
        nodes.assign(highs.size() + 1, EarliestTwo{});
    }
    // Position counted from the largest high end, 1-based.
    size_t FromTop(uint32_t high) const {
        const size_t at = static_cast<size_t>(std::lower_bound(highs.begin(), highs.end(), high) - highs.begin());
        return highs.size() - at;
    }
    void Insert(uint32_t high, uint32_t rule, int32_t status) {
        for (size_t i = FromTop(high); i < nodes.size(); i += i & (~i + 1)) nodes[i].Add(rule, status);
    }
    // Intervals whose high end is at least `high`.
    EarliestTwo AtOrAbove(uint32_t high) const {
        EarliestTwo best;
        if (highs.empty() || high > highs.back()) return best;
        for (size_t i = FromTop(high); i > 0; i -= i & (~i + 1)) best.Add(nodes[i]);
        return best;
    }
};

}  // namespace

bool FindHiddenAndOverlapping(const _RULE* rules, const RuleIntervals& addresses,
                              const std::vector<uint32_t>& groups, std::vector<uint32_t>* container,
                              std::vector<uint32_t>* overlap) {
    const uint32_t count = static_cast<uint32_t>(groups.size());
    std::vector<GroupInterval> intervals;
    std::vector<GroupInterval> hulls;  // one per rule with addresses
    intervals.reserve(addresses.intervals.size());
    // A list whose rules have one interval each has its hulls in `intervals`.
    bool oneEach = true;
    for (uint32_t i = 0; i < count; ++i) {
        oneEach = oneEach && addresses.first[i + 1] - addresses.first[i] <= 1;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t first = addresses.first[i], end = addresses.first[i + 1];
        if (first == end) continue;
        for (uint32_t at = first; at < end; ++at) {
            intervals.push_back({groups[i], addresses.intervals[at].low, addresses.intervals[at].high, i});
        }
        if (!oneEach) {
            hulls.push_back({groups[i], addresses.intervals[first].low, addresses.intervals[end - 1].high, i});
        }
    }
    container->assign(count, UINT32_MAX);
    overlap->assign(count, UINT32_MAX);
    auto byGroupAndLow = [](const GroupInterval& a, const GroupInterval& b) {
        return a.group != b.group ? a.group < b.group : a.low < b.low;
    };
    std::sort(intervals.begin(), intervals.end(), byGroupAndLow);

    // Containment: intervals with low <= a and high >= b, for each hull [a, b].
    std::sort(hulls.begin(), hulls.end(), byGroupAndLow);
    const std::vector<GroupInterval>& hullsByLow = oneEach ? intervals : hulls;  // the same, sorted alike

    bool shared = false;
    HighEndTree tree;
    size_t groupStart = 0;
    size_t hullAt = 0;
    while (groupStart < intervals.size()) {
        const uint32_t group = intervals[groupStart].group;
        // The group's end, and whether any of its intervals shares an
        // address with one before it: without, nothing is found in it.
        size_t groupEnd = groupStart + 1;
        bool apart = true;
        for (uint32_t highest = intervals[groupStart].high;
             groupEnd < intervals.size() && intervals[groupEnd].group == group; ++groupEnd) {
            apart = apart && intervals[groupEnd].low > highest;
            highest = std::max(highest, intervals[groupEnd].high);
        }
        const size_t hullsStart = hullAt;
        while (hullAt < hullsByLow.size() && hullsByLow[hullAt].group == group) ++hullAt;
        if (apart) {
            groupStart = groupEnd;
            continue;
        }
        shared = true;
        std::vector<uint32_t> highs;
        highs.reserve(groupEnd - groupStart);
        for (size_t at = groupStart; at < groupEnd; ++at) highs.push_back(intervals[at].high);
        std::sort(highs.begin(), highs.end());
        highs.erase(std::unique(highs.begin(), highs.end()), highs.end());

        tree.Reset(highs);
        size_t next = groupStart;
        for (size_t at = hullsStart; at < hullAt; ++at) {
            const GroupInterval& hull = hullsByLow[at];
            for (; next < groupEnd && intervals[next].low <= hull.low; ++next) {
                tree.Insert(intervals[next].high, intervals[next].rule, 0);
            }
            const uint32_t earliest = tree.AtOrAbove(hull.high).first;
            if (earliest < hull.rule) (*container)[hull.rule] = earliest;
        }

        // Overlap: intervals with low <= b and high >= a, for each interval
        // [a, b] of the group, taken by high end.
        std::vector<GroupInterval> byHigh(intervals.begin() + groupStart, intervals.begin() + groupEnd);
        std::sort(byHigh.begin(), byHigh.end(),
                  [](const GroupInterval& a, const GroupInterval& b) { return a.high < b.high; });
        tree.Reset(std::move(highs));
        next = groupStart;
        for (const GroupInterval& query : byHigh) {
            for (; next < groupEnd && intervals[next].low <= query.high; ++next) {
                tree.Insert(intervals[next].high, intervals[next].rule, rules[intervals[next].rule].status);
            }
            const uint32_t earliest = tree.AtOrAbove(query.low).EarliestNot(rules[query.rule].status);
            if (earliest < query.rule) {
                uint32_t& found = (*overlap)[query.rule];
                found = std::min(found, earliest);
            }
        }
        groupStart = groupEnd;
    }
    return shared;
}

