// The rule list's keys and its menu. With the list focused: Delete,
// Ctrl+Up and Ctrl+Down act as their buttons would; Ctrl+C copies the
// selected rule, Ctrl+V pastes, Ctrl+Z undoes; F3 and typed text find a
// rule; Shift+F10 and the menu key open the menu a right click opens.
#pragma once

#include <windows.h>

// Routes the list's keys here (at the editor's set-up).
void HandleRuleListKeys(HWND dialog);
// WM_CONTEXTMENU from the rule list: the menu at `screen` (-1, -1 from the
// keyboard: at the selected row).
void ShowRuleListMenu(HWND dialog, HWND from, POINT screen);
