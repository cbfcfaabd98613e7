// The address sweep that `optimize` joins rules with and `check` finds
// covered rules with: address intervals kept in groups (rules that act
// alike), found by the addresses they touch, in O(log n) per interval found.
#pragma once

#include "lists/address_set.h"

#include <cstdint>
#include <vector>

// What a node of the slot index keeps of the slots below it: the highest
// high end, the highest slot number (-1 if none: then the high end means
// nothing) and the lowest mark. Together, so that a node is read at once.
struct SlotSummary {
    uint32_t highest = 0;
    int32_t latest = -1;
    int32_t lowestMark = INT32_MAX;
};

// Intervals ("slots") numbered by the caller, each in a group and with a
// mark (`optimize`: the latest rule that blocks its moving up). A slot may
// start only at a low end given to BuildSlotIndex for its group.
struct SlotIndex {
    std::vector<uint64_t> starts;  // sorted distinct SlotStart(group, low)
    size_t leaves = 0;
    // A tree over the starts: 2 * leaves - 1 nodes, a node's left child
    // beside it.
    std::vector<SlotSummary> nodes;
    std::vector<int32_t> first;    // per start: its first slot, or -1
    std::vector<int32_t> next;     // per slot: the next slot at its start, or -1
    std::vector<int32_t> previous;
    std::vector<uint32_t> groupOf;
    std::vector<AddressInterval> addressesOf;
    std::vector<int32_t> markOf;
};

// A group and a low end in one number, which sorts by the group first.
inline uint64_t SlotStart(uint32_t group, uint32_t low) { return uint64_t{group} << 32 | low; }

void BuildSlotIndex(SlotIndex& index, std::vector<uint64_t> starts, size_t slots);
void InsertSlot(SlotIndex& index, uint32_t slot, uint32_t group, const AddressInterval& addresses,
                int32_t mark = 0);
void EraseSlot(SlotIndex& index, uint32_t slot);
// Gives a slot in the index other addresses and mark, in its group: in
// place while its low end stays, else erased and inserted again.
void ChangeSlot(SlotIndex& index, uint32_t slot, const AddressInterval& addresses, int32_t mark);

// Every slot of the group whose addresses overlap or touch `addresses`,
// numbered above `after` and marked below `markBelow`.
void TouchingSlots(const SlotIndex& index, uint32_t group, const AddressInterval& addresses,
                   std::vector<uint32_t>* found, int32_t after = -1, int32_t markBelow = INT32_MAX);

bool Touch(const AddressInterval& a, const AddressInterval& b);
bool Holds(const AddressInterval& outer, const AddressInterval& inner);

// Rules' address intervals, flat: rule r's are intervals[first[r]] up to
// but not including intervals[first[r + 1]].
struct RuleIntervals {
    std::vector<AddressInterval> intervals;
    std::vector<uint32_t> first;  // one more than there are rules
};

// For each rule with addresses: the earlier rules of its group
// (`groups[rule]`) that together hold all its addresses, each address
// counted to the first rule that held it; empty when they do not hold all
// of them. `counts[rule]` says how many there are in all; `covering` lists
// the first of them in order, at most `named` a rule, rule after rule (one
// list, not one a rule: a long list has few such rules).
void FindCoveringRules(const RuleIntervals& addresses, const std::vector<uint32_t>& groups, size_t named,
                       std::vector<uint32_t>* covering, std::vector<uint32_t>* counts);
