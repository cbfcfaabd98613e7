// Rules that expire, as the editor sets and shows them: the time a rule was
// added, stamped by Add; the Срок submenu's expiries; a tooltip over a row
// with what its memo holds; and the rows of rules that expired while the
// editor was open, painted again in grey.
#pragma once

#include "rules/rule.h"

#include <windows.h>

#include <cstdint>

// The editor's clock: seconds since 1970 UTC.
int64_t EditorNow();

// Add: the new rule remembers when it was added.
void StampAdded(_RULE& rule);

// Whether the selected rule can take an expiry: its reserved bytes hold a
// memo or nothing (another program's bytes there are never overwritten).
bool SelectedRuleCanExpire(HWND dialog);
// IDM_EXPIRES_*: the selected rule's expiry, set as an edit that is saved
// and can be undone.
void SetSelectedRuleExpiry(HWND dialog, WORD command);

// The tooltip over the rule list (at the editor's set-up), and the row under
// the mouse at `client`, a point of the list's client area.
void CreateRuleTips(HWND dialog);
void ShowTipOfRowAt(HWND dialog, POINT client);

// On the editor's timer: repaints the list when a rule expired since the
// last call.
void RepaintRowsThatExpired(HWND dialog);
