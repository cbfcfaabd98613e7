// `optimize`: a shorter rule list that treats every visitor as the list did.
// Address-only rules (search type 2 or 6, a range or an exact address, no
// prefix) with the same status, colours and search type are joined when
// their ranges touch or overlap, and dropped when earlier ones of them
// already hold all their addresses; every other rule stays, in its place.
//
// A rule's addresses may move up the list, into an earlier rule of the same
// effect, only when no rule in between with another effect could pick a
// visitor at any of those addresses. Then an arriving visitor still gets its
// first picking rule's effect, and a room report still leaves the last
// picking rule's colours and the last status set: the picks in between all
// have the same effect before and after.
//
// Joins are made transitively (a rule that fills the gap between two kept
// rules joins the first, and the second follows when nothing blocks it),
// and a rule that earlier rules of its effect hold together is dropped, so
// the result is a fixed point: optimizing it again changes nothing. A run
// over the list is repeated only when a kept rule that followed a grown one
// shares addresses with a later rule of another effect, whose joining it
// may have blocked from its old place. A list of address-only rules of one
// effect and search type ends as many rules as the union of their addresses
// has separate ranges.
#pragma once

#include "rules/rule.h"

#include <cstdint>
#include <vector>

struct OptimizeCounts {
    uint32_t before;
    uint32_t after;
    uint32_t joined;   // rules whose addresses went into an earlier rule
    uint32_t dropped;  // rules that earlier rules already held
};

// Optimizes `rules` in place (the list only shrinks).
OptimizeCounts OptimizeRules(std::vector<_RULE>& rules);
// The same on `*count` records where they are; `*count` becomes the new length.
OptimizeCounts OptimizeRules(_RULE* rules, uint32_t* count);
