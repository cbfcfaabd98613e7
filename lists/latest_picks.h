// Which rules may pick a visitor at which addresses, for `optimize`: over
// any stretch of addresses, the latest rule and the latest one with another
// effect.
#pragma once

#include "lists/address_set.h"

#include <cstdint>
#include <vector>

// The latest two rules seen, the second with another effect than the first.
struct LatestTwo {
    int32_t first = -1;
    uint32_t firstEffect = 0;
    int32_t other = -1;
    uint32_t otherEffect = 0;

    // Defined here: the trees below call them for every node they pass.
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

// LatestTwo as positions alone, each position's effect looked up in
// `effects`: half the size, for the many nodes of the tree below.
struct LatestPositions {
    int32_t first = -1;
    int32_t other = -1;

    void Add(int32_t position, const uint32_t* effects) {
        if (position < 0) return;
        if (position > first) {
            if (first >= 0 && effects[first] != effects[position]) other = first;
            first = position;
        } else if (position < first && effects[position] != effects[first] && position > other) {
            other = position;
        }
    }
    void Add(const LatestPositions& more, const uint32_t* effects) {
        Add(more.other, effects);
        Add(more.first, effects);
    }
};

// For every address, the latest rules added that may pick a visitor there:
// a segment tree over the address pieces that the given ends cut, whose
// nodes keep what was added over their whole span (`tag`) and over any part
// of it (`any`). A node's left child follows it, its right child follows
// the left one's subtree: 2 * pieces - 1 nodes in all. A leaf's two are
// the same, so `tag` has the others alone: the node spanning pieces
// [from, to] is tag[node - from], as `from` leaves come before it.
struct PickCoverage {
    std::vector<uint32_t> cuts;  // piece k is [cuts[k], cuts[k + 1]), the last up to 2^32
    size_t pieces = 0;
    const uint32_t* effects = nullptr;  // each position's effect
    std::vector<LatestPositions> tag;
    std::vector<LatestPositions> any;

    // `ends`: every low end and high end + 1 that Add or Query will be given.
    // `positionEffects`: what the rule at each position does, as LatestTwo's
    // effects; it must outlive the coverage.
    // A coverage never built holds nothing: Add does nothing and Query
    // finds no rule, as for a list where no other effect could block.
    void Build(std::vector<uint64_t> ends, const uint32_t* positionEffects);
    void Add(const AddressInterval& interval, int32_t position);
    LatestTwo Query(const AddressInterval& interval) const;
};

// A rule's addresses at its place in the list, with what it does.
struct PlacedAddresses {
    AddressInterval addresses;
    int32_t position;
    uint32_t effect;
};

// Whether a rule of `rules` with another effect than a `moved` one comes
// after it and shares some of its addresses. Sorted and swept with a
// Fenwick tree over the rules' high ends.
bool LaterOtherEffectOverlaps(std::vector<PlacedAddresses> rules, std::vector<PlacedAddresses> moved);
