// The operator's last commands, kept so that Ctrl+Z can take them back one
// by one: each step holds what undoing it needs, never a copy of the list.
#pragma once

#include "rules/rule.h"

#include <windows.h>

#include <cstdint>

void RememberAdd(uint32_t index);
void RememberChange(uint32_t index, const _RULE& before);
void RememberDelete(uint32_t index, const _RULE& deleted);
// The rule moved from `from` to the next or previous place, `to`.
void RememberMove(uint32_t from, uint32_t to);
void RememberPaste(uint32_t index, uint32_t count);
// The list was replaced (another program's version, a new opening): the
// steps no longer say where their rules are.
void ForgetEditHistory();
bool CanUndo();
// Takes back the last step through the rule array's operations, so the
// rule file follows as after any command; the rows follow and the row of
// the rule it put back (or the one before) is selected.
void UndoLastEdit(HWND dialog);
