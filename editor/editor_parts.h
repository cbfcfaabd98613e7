// The editor's message handlers, one file each: set-up (editor_setup.cpp),
// row painting (rule_list_drawing.cpp), and the commands and list clicks
// (editor_commands.cpp).
#pragma once

#include <windows.h>

// WM_INITDIALOG: settings, drawing objects, columns, choice lists, rows.
void SetUpEditor(HWND dialog);
// Column 0 takes the list's client width less column 1.
void FitNameColumn(HWND dialog);

// WM_DRAWITEM: paints the row of rule item.itemID.
void DrawRuleRow(HWND dialog, const DRAWITEMSTRUCT& item);

// WM_NOTIFY: a click in the rule list loads the clicked rule. Returns the
// dialog procedure's result.
INT_PTR OnRuleListNotify(HWND dialog, int controlId, const NMHDR& header);
// WM_COMMAND: buttons, the IP field filter and closing.
void OnEditorCommand(HWND dialog, WORD controlId, WORD notification);
