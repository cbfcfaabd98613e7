#include "lists/interval_slots.h"

#include <algorithm>
#include <cstdint>

namespace {

size_t StartOf(const SlotIndex& index, uint32_t group, uint32_t low) {
    return static_cast<size_t>(
        std::lower_bound(index.starts.begin(), index.starts.end(), SlotStart(group, low)) -
        index.starts.begin());
}

// The right child of the node spanning starts [from, to], split at
// `middle`: a node's left child follows it, the right one the left's subtree.
inline size_t RightChild(size_t node, size_t from, size_t middle) { return node + 2 * (middle - from + 1); }

// Puts a start's summary in its leaf and recomputes the nodes above it,
// noted on the way down (halving spans: at most 33 of them).
void SetLeaf(SlotIndex& index, size_t start, const SlotSummary& summary) {
    struct Step {
        size_t node, left, right;
    };
    Step path[64];
    size_t depth = 0, node = 0, from = 0, to = index.leaves - 1;
    while (from != to) {
        const size_t middle = (from + to) / 2;
        const Step step{node, node + 1, RightChild(node, from, middle)};
        path[depth++] = step;
        if (start <= middle) {
            node = step.left;
            to = middle;
        } else {
            node = step.right;
            from = middle + 1;
        }
    }
    index.nodes[node] = summary;
    while (depth > 0) {
        const Step& step = path[--depth];
        const SlotSummary& left = index.nodes[step.left];
        const SlotSummary& right = index.nodes[step.right];
        const SlotSummary joined{std::max(left.highest, right.highest), std::max(left.latest, right.latest),
                                 std::min(left.lowestMark, right.lowestMark)};
        SlotSummary& above = index.nodes[step.node];
        // A node left as it was leaves every node above it as it was.
        if (joined.highest == above.highest && joined.latest == above.latest &&
            joined.lowestMark == above.lowestMark) {
            break;
        }
        above = joined;
    }
}

// Recomputes a start's summary and the tree's above it.
void UpdateStart(SlotIndex& index, size_t start) {
    SlotSummary summary;
    for (int32_t slot = index.first[start]; slot >= 0; slot = index.next[slot]) {
        summary.highest = std::max(summary.highest, index.addressesOf[slot].high);
        summary.latest = std::max(summary.latest, slot);
        summary.lowestMark = std::min(summary.lowestMark, index.markOf[slot]);
    }
    SetLeaf(index, start, summary);
}

// What TouchingSlots looks for.
struct Wanted {
    size_t from;  // starts [from, to]
    size_t to;
    int64_t highAtLeast;
    int32_t after;
    int32_t markBelow;
};

void Collect(const SlotIndex& index, size_t node, size_t nodeFrom, size_t nodeTo, const Wanted& wanted,
             std::vector<uint32_t>* found) {
    const SlotSummary& summary = index.nodes[node];
    if (nodeTo < wanted.from || wanted.to < nodeFrom || int64_t{summary.highest} < wanted.highAtLeast ||
        summary.latest <= wanted.after || summary.lowestMark >= wanted.markBelow) {
        return;
    }
    if (nodeFrom == nodeTo) {
        for (int32_t slot = index.first[nodeFrom]; slot >= 0; slot = index.next[slot]) {
            if (index.addressesOf[slot].high >= wanted.highAtLeast && slot > wanted.after &&
                index.markOf[slot] < wanted.markBelow) {
                found->push_back(static_cast<uint32_t>(slot));
            }
        }
        return;
    }
    const size_t middle = (nodeFrom + nodeTo) / 2;
    Collect(index, node + 1, nodeFrom, middle, wanted, found);
    Collect(index, RightChild(node, nodeFrom, middle), middle + 1, nodeTo, wanted, found);
}

}  // namespace

bool Touch(const AddressInterval& a, const AddressInterval& b) {
    return uint64_t{a.low} <= uint64_t{b.high} + 1 && uint64_t{b.low} <= uint64_t{a.high} + 1;
}

bool Holds(const AddressInterval& outer, const AddressInterval& inner) {
    return outer.low <= inner.low && inner.high <= outer.high;
}

void BuildSlotIndex(SlotIndex& index, std::vector<uint64_t> starts, size_t slots) {
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    index.starts = std::move(starts);
    index.leaves = std::max<size_t>(index.starts.size(), 1);
    index.nodes.assign(2 * index.leaves - 1, SlotSummary{});
    index.first.assign(index.starts.size(), -1);
    index.next.assign(slots, -1);
    index.previous.assign(slots, -1);
    index.groupOf.assign(slots, 0);
    index.addressesOf.assign(slots, AddressInterval{});
    index.markOf.assign(slots, 0);
}

void InsertSlot(SlotIndex& index, uint32_t slot, uint32_t group, const AddressInterval& addresses,
                int32_t mark) {
    const size_t start = StartOf(index, group, addresses.low);
    index.groupOf[slot] = group;
    index.addressesOf[slot] = addresses;
    index.markOf[slot] = mark;
    index.previous[slot] = -1;
    index.next[slot] = index.first[start];
    if (index.first[start] >= 0) index.previous[index.first[start]] = static_cast<int32_t>(slot);
    index.first[start] = static_cast<int32_t>(slot);
    UpdateStart(index, start);
}

void EraseSlot(SlotIndex& index, uint32_t slot) {
    const size_t start = StartOf(index, index.groupOf[slot], index.addressesOf[slot].low);
    if (index.previous[slot] >= 0) {
        index.next[index.previous[slot]] = index.next[slot];
    } else {
        index.first[start] = index.next[slot];
    }
    if (index.next[slot] >= 0) index.previous[index.next[slot]] = index.previous[slot];
    UpdateStart(index, start);
}

void ChangeSlot(SlotIndex& index, uint32_t slot, const AddressInterval& addresses, int32_t mark) {
    const uint32_t group = index.groupOf[slot];
    if (addresses.low != index.addressesOf[slot].low) {
        EraseSlot(index, slot);
        InsertSlot(index, slot, group, addresses, mark);
        return;
    }
    index.addressesOf[slot] = addresses;
    index.markOf[slot] = mark;
    UpdateStart(index, StartOf(index, group, addresses.low));
}

void TouchingSlots(const SlotIndex& index, uint32_t group, const AddressInterval& addresses,
                   std::vector<uint32_t>* found, int32_t after, int32_t markBelow) {
    found->clear();
    const uint32_t lowAtMost = addresses.high == 0xFFFFFFFFu ? addresses.high : addresses.high + 1;
    const size_t from = StartOf(index, group, 0);
    const size_t to = static_cast<size_t>(std::upper_bound(index.starts.begin(), index.starts.end(),
                                                           SlotStart(group, lowAtMost)) -
                                          index.starts.begin());
    if (from >= to) return;
    Collect(index, 0, 0, index.leaves - 1, {from, to - 1, int64_t{addresses.low} - 1, after, markBelow}, found);
}

namespace {

// Addresses first held by `owner`, in its group.
struct Piece {
    uint32_t group;
    uint32_t low;
    uint32_t high;
    uint32_t owner;
};

// One rule's intervals, for a range-for.
struct IntervalSpan {
    const AddressInterval* from;
    const AddressInterval* to;
    const AddressInterval* begin() const { return from; }
    const AddressInterval* end() const { return to; }
    bool empty() const { return from == to; }
};

IntervalSpan IntervalsOf(const RuleIntervals& addresses, size_t rule) {
    return {addresses.intervals.data() + addresses.first[rule], addresses.intervals.data() + addresses.first[rule + 1]};
}

bool PieceBefore(const Piece& a, const Piece& b) {
    return a.group != b.group ? a.group < b.group : a.low < b.low;
}

// The distinct owners of the pieces that hold `addresses`, walking them in
// address order until more than `limit` are found; with no limit, every
// piece's owner, repeats included.
void OwnersOf(const std::vector<Piece>& pieces, uint32_t group, const AddressInterval& addresses,
              size_t limit, std::vector<uint32_t>* owners) {
    auto at = std::upper_bound(pieces.begin(), pieces.end(), Piece{group, addresses.low, 0, 0}, PieceBefore);
    if (at != pieces.begin()) --at;
    for (; at != pieces.end() && at->group == group && at->low <= addresses.high; ++at) {
        if (at->high < addresses.low) continue;
        const bool seen = limit != SIZE_MAX &&
                          std::find(owners->begin(), owners->end(), at->owner) != owners->end();
        if (seen) continue;
        owners->push_back(at->owner);
        if (owners->size() > limit) return;
    }
}

}  // namespace

void FindCoveringRules(const RuleIntervals& addresses, const std::vector<uint32_t>& groups, size_t named,
                       std::vector<uint32_t>* covering, std::vector<uint32_t>* counts) {
    const size_t count = groups.size();
    std::vector<uint64_t> starts;
    starts.reserve(addresses.intervals.size());
    for (size_t rule = 0; rule < count; ++rule) {
        for (uint32_t at = addresses.first[rule]; at < addresses.first[rule + 1]; ++at) {
            starts.push_back(SlotStart(groups[rule], addresses.intervals[at].low));
        }
    }
    // The union of each group's rules so far, as slots that never touch.
    SlotIndex held;
    const size_t slotCount = starts.size();
    BuildSlotIndex(held, std::move(starts), slotCount);
    uint32_t slots = 0;
    std::vector<Piece> pieces;
    std::vector<bool> covered(count, false);
    std::vector<uint32_t> found;
    for (size_t rule = 0; rule < count; ++rule) {
        const uint32_t group = groups[rule];
        // A rule's own intervals never touch one another, so each can be
        // tested just before it joins the union.
        bool all = !IntervalsOf(addresses, rule).empty();
        for (const AddressInterval& interval : IntervalsOf(addresses, rule)) {
            TouchingSlots(held, group, interval, &found);
            const bool alreadyHeld = std::any_of(found.begin(), found.end(), [&](uint32_t slot) {
                return Holds(held.addressesOf[slot], interval);
            });
            all = all && alreadyHeld;
            if (alreadyHeld) continue;  // the union stays as it is
            std::sort(found.begin(), found.end(), [&](uint32_t a, uint32_t b) {
                return held.addressesOf[a].low < held.addressesOf[b].low;
            });
            // The addresses no earlier rule holds become this rule's pieces.
            // The first slot it touches takes in the others and the rule.
            AddressInterval joined = interval;
            uint64_t at = interval.low;
            for (uint32_t slot : found) {
                const AddressInterval& other = held.addressesOf[slot];
                if (other.low > at && at <= interval.high) {
                    pieces.push_back({group, static_cast<uint32_t>(at),
                                      std::min(other.low - 1, interval.high), static_cast<uint32_t>(rule)});
                }
                at = std::max<uint64_t>(at, uint64_t{other.high} + 1);
                joined.low = std::min(joined.low, other.low);
                joined.high = std::max(joined.high, other.high);
                if (slot != found.front()) EraseSlot(held, slot);
            }
            if (at <= interval.high) {
                pieces.push_back({group, static_cast<uint32_t>(at), interval.high, static_cast<uint32_t>(rule)});
            }
            if (found.empty()) {
                InsertSlot(held, slots++, group, joined);
            } else {
                ChangeSlot(held, found.front(), joined, 0);
            }
        }
        covered[rule] = all;
    }
    std::sort(pieces.begin(), pieces.end(), PieceBefore);
    covering->clear();
    counts->assign(count, 0);
    for (size_t rule = 0; rule < count; ++rule) {
        if (!covered[rule]) continue;
        std::vector<uint32_t> owners;
        for (const AddressInterval& interval : IntervalsOf(addresses, rule)) {
            OwnersOf(pieces, groups[rule], interval, named, &owners);
        }
        if (owners.size() > named) {
            // Many: count them all.
            for (const AddressInterval& interval : IntervalsOf(addresses, rule)) {
                OwnersOf(pieces, groups[rule], interval, SIZE_MAX, &owners);
            }
            std::sort(owners.begin(), owners.end());
            owners.erase(std::unique(owners.begin(), owners.end()), owners.end());
            (*counts)[rule] = static_cast<uint32_t>(owners.size());
            owners.resize(named);
        } else {
            std::sort(owners.begin(), owners.end());
            (*counts)[rule] = static_cast<uint32_t>(owners.size());
        }
        covering->insert(covering->end(), owners.begin(), owners.end());
    }
}
