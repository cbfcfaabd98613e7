// The operator's edits since the list was last read from or written to its
// file, kept so that they can be made again on top of another version of
// the file (the rule-list tool's import, a restore, another host's save)
// that arrived meanwhile. The rule array's operations record them.
#pragma once

#include "rules/rule.h"
#include "rules/rule_file.h"

#include <cstdint>

// Insert puts `result` after `acted` (at the start when the edit has no
// `acted`): a pasted rule, or a deleted one put back.
enum class RuleEditKind : uint8_t { Add, Change, Delete, MoveUp, MoveDown, Insert };

struct RuleEdit {
    RuleEditKind kind;
    _RULE acted;   // the rule as the command found it (Change, Delete, the moves)
    _RULE result;  // the rule Add appended or Insert put in, or what Change made of `acted`
    bool hasActed;
};

// Records one edit; `acted` or `result` may be null where the kind has none.
void RecordRuleEdit(RuleEditKind kind, const _RULE* acted, const _RULE* result);
// The list was read or written: no edit is pending any more.
void ForgetRuleEdits();
// False once an edit could not be recorded (no memory): the edits can then
// not be made again, and another version can only be kept aside.
bool RuleEditsComplete();

// Makes the recorded edits, in order, on `list` (another version of the
// file): Add appends; Change, Delete, the moves and Insert act on the first
// rule with the same 460 bytes as the one the command acted on (an Insert
// after the one an Insert just before it put in, for a pasted run). A
// Delete or a move whose rule is gone is already done; an Insert whose
// rule is gone goes at the end; a Change whose rule is gone is
// lost and reported in `lost`. False, with `list` untouched, without memory.
bool ReplayRuleEdits(RuleFileContents& list, LostChanges& lost);
