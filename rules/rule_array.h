// The module's ordered rule list: one heap block of _RULE records. Index 0
// is matched first and shown on the editor's first row. The module owns the
// block; LoadRules (rule_file.h) replaces it, and AppendRule moves it to a block half as
// large again when it is full, so the block keeps spare records.
#pragma once

#include "rules/roomy_capacity.h"
#include "rules/rule.h"

#include <cstdint>

extern _RULE* g_rules;
extern uint32_t g_ruleCount;
extern uint32_t g_ruleCapacity;  // records the block holds, at least g_ruleCount

// Adds a copy of `rule` at the end. False (array unchanged) without memory.
bool AppendRule(const _RULE& rule);
// Puts copies of `count` rules before rule `index` (at the end when `index`
// is the count). False (array unchanged) without memory or out of range.
bool InsertRules(uint32_t index, const _RULE* rules, uint32_t count);
// Out-of-range indexes (such as -1, no selected row) change nothing.
void RemoveRule(int32_t index);
// Removes rules `index` to `index + count - 1`; a run that does not lie
// wholly in the list changes nothing.
void RemoveRules(uint32_t index, uint32_t count);
// Exchanges rules `first` and `first + 1`; out of range changes nothing.
// `moved` says which of the two the operator moved (rule_edits.h records
// it): rule `first` down, or rule `first + 1` up.
enum class MovedRule { FirstDown, SecondUp };
void SwapRules(int32_t first, MovedRule moved = MovedRule::FirstDown);
void FreeRules();

// Overwrites rule `index` with `rule`; out of range changes nothing.
void ReplaceRule(int32_t index, const _RULE& rule);

// Every change to the array or its records goes through MarkRulesChanged,
// which moves g_ruleArrayVersion on; matching rebuilds its index when the
// version differs from the one it was built for.
extern uint32_t g_ruleArrayVersion;
void MarkRulesChanged();

// Whether the operator changed the list since it was last read from or
// written to a file: set by the operations above that change rules (a call
// that changes nothing leaves it), cleared by a successful load or save and
// by FreeRules. Only an edited list replaces a rule file that exists. The
// operations also record each edit (rule_edits.h), and FreeRules forgets them.
extern bool g_rulesEdited;
