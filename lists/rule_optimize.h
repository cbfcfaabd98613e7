// `optimize`: a shorter rule list that treats every visitor as the list did.
// Address-only rules (search type 2 or 6, a range or an exact address, no
// prefix) with the same status, colours and search type are joined when
// their ranges touch or overlap, and dropped when an earlier one of them
// already holds all their addresses; every other rule stays, in its place.
//
// A rule's addresses may move up the list, into an earlier rule of the same
// effect, only when no rule in between with another effect could pick a
// visitor at any of those addresses. Then an arriving visitor still gets its
// first picking rule's effect, and a room report still leaves the last
// picking rule's colours and the last status set: the picks in between all
// have the same effect before and after.
#pragma once

#include "rules/rule.h"

#include <cstdint>
#include <vector>

struct OptimizeCounts {
    uint32_t before;
    uint32_t after;
    uint32_t joined;   // rules whose addresses went into an earlier rule
    uint32_t dropped;  // rules an earlier rule already held
};

// Optimizes `rules` in place (the list only shrinks).
OptimizeCounts OptimizeRules(std::vector<_RULE>& rules);
