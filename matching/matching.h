// The module's rule list as visitor events match against it: the rule index
// kept up to date with the list, and the buffer for one visitor's
// candidates. Plain code without Windows.
#pragma once

#include "matching/rule_index.h"
#include "rules/rule.h"

#include <cstddef>
#include <cstdint>

// The rules one event matches against: the list, its index (null: walk the
// list), room for one visitor's candidates, and the time of the event
// (seconds since 1970 UTC), read once: a rule whose memo (rules/rule_memo.h)
// expires at or before it picks no one.
struct RuleListView {
    const _RULE* rules;
    uint32_t count;
    const RuleIndex* index;
    uint32_t* candidates;
    uint32_t capacity;
    int64_t now;
};

// Applies one picking rule (number `rule` of the list) to the visitor's
// entry: the caller's part, as only the caller knows where the entry lies.
using ApplyPickedRule = void (*)(void* context, const _RULE& rule, uint32_t ruleNumber);

// The per-visitor loop of every event: finds the rules of `list` that pick
// one visitor, in list order, and has `apply` apply the first only or
// (`everyPick`, a room report) every one. Reads NICK_UNITS units of
// `nick` and USER_IP_BYTES bytes of `ip`, nothing else of the entry.
// Allocates nothing.
void MatchOneVisitor(const RuleListView& list, const char16_t* nick, const char* ip,
                     bool everyPick, ApplyPickedRule apply, void* context);

// The module's rule list as an event at `now` sees it. Rebuilds the index
// once after the list changed (never because a rule expired); the index is
// null while g_matchByPlainWalk is set or when memory for it could not be had.
RuleListView CurrentRuleList(int64_t now);

// Releases the rule index (at unload); the next event builds it anew.
void FreeMatchingIndex();

// Set, matching walks every rule for every visitor instead of using the
// index: the reference that measurements compare the index against.
extern bool g_matchByPlainWalk;

// Bytes held by the rule index as last built (0 when none).
size_t MatchingIndexBytes();
