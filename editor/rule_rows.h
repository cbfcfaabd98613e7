// The rule list's rows and the editor's controls, as every command uses
// them. Row i of the list always shows rule i; the selected row is read
// anew from the list each time, never kept.
#pragma once

#include "rules/rule.h"

#include <windows.h>

#include <cstdint>

LRESULT SendToControl(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
void EnableControl(HWND dialog, int id, bool enabled);

// The selected row, or -1.
int SelectedRow(HWND dialog);
bool IsRuleIndex(int row);
// Row -1 applies the state to every row. A selected row also becomes the
// selection mark, where SelectedRow looks first.
void SetRowState(HWND dialog, int row, UINT state, UINT mask = 0);
// The selected row loses every state bit (every row, when none is selected).
void ClearSelectedRowState(HWND dialog);
void EnsureRowVisible(HWND dialog, int row);
// Only `row` selected and focused, and scrolled into view; -1 selects none.
void SelectOnlyRow(HWND dialog, int row);

// Column 0 takes the list's client width less column 1.
void FitNameColumn(HWND dialog);
// Adds or removes rows at the end of the rule list until it has one per
// rule (rows carry nothing: row i stands for rule i).
void MatchRowsToRules(HWND list);
// The rule on the selected row, taken before the list may be replaced, so
// that the selection can stay on that rule.
struct SelectedRule {
    bool held;
    _RULE rule;
};
SelectedRule SelectedRuleOf(HWND dialog);
// The rows after the list was replaced by another version of the file: one
// per rule, repainted. The row of the rule selected before is selected
// again; when the new list lacks it nothing is, so that no command acts on
// another rule than the one the operator chose. The fields keep what the
// operator typed.
void ShowRulesAgain(HWND dialog, const SelectedRule& before);
