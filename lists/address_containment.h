// `check`'s comparison of rules' addresses with earlier rules' of the same
// kind: wholly inside one of them, or partly overlapping one with another
// status. Intervals sorted and swept with a Fenwick tree over high ends, so
// half a million ranges take a second or two.
#pragma once

#include "lists/interval_slots.h"
#include "rules/rule.h"

#include <cstdint>
#include <vector>

// For each rule with addresses: the earliest earlier rule of its group whose
// intervals wholly contain its addresses (`container`), else the earliest
// earlier one that overlaps them with another status (`overlap`); UINT32_MAX
// for none. `groups`: per rule, rules of one kind of test share a number.
// Returns whether two intervals of one group share an address at all: when
// none do (a list of separate ranges), no rule's addresses lie inside
// others' of its group, nor of any finer grouping.
bool FindHiddenAndOverlapping(const _RULE* rules, const RuleIntervals& addresses,
                              const std::vector<uint32_t>& groups, std::vector<uint32_t>* container,
                              std::vector<uint32_t>* overlap);
