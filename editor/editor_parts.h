// The editor's message handlers, one file each: set-up (editor_setup.cpp),
// row painting (rule_list_drawing.cpp), the commands and list clicks
// (editor_commands.cpp), and the saves besides the close (editor_saving.cpp).
// The rows (rule_rows.h) and the fields (rule_fields.h) serve them all.
#pragma once

#include "rules/rule.h"

#include <windows.h>

INT_PTR CALLBACK EditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// WM_INITDIALOG: settings, drawing objects, columns, choice lists, rows.
void SetUpEditor(HWND dialog);
// Labels and buttons showing other than their template texts get those
// texts through the wide call (editor/template_controls.cpp).
void ShowTemplateTextsWhole(HWND dialog);
// The IP field remade so that it scrolls, and takes every text a rule holds.
void LetIpFieldScroll(HWND dialog);
// A Cyrillic variant of the dialog's font where the dialog's is not.
void GiveTextsACyrillicFont(HWND dialog);

// WM_DRAWITEM: paints the row of rule item.itemID when the rule list asks;
// false, leaving the message to the dialog manager, for any other control.
bool DrawRuleRow(HWND dialog, const DRAWITEMSTRUCT& item);

// WM_NOTIFY: a click in the rule list loads the clicked rule. Returns the
// dialog procedure's result.
INT_PTR OnRuleListNotify(HWND dialog, int controlId, const NMHDR& header);
// WM_COMMAND: buttons, the IP field filter, and the rule list's menu and
// keys (Copy, Paste, Undo).
void OnEditorCommand(HWND dialog, WORD controlId, WORD notification);

// The editor's one timer, started when it opens: saves the list once the
// operator has left it alone for a few seconds after an edit, and looks at
// the rule file for another program's version.
void StartListTimer(HWND dialog);
// A command changed the list: its save waits for a quiet spell.
void NoteListEdited();
// WM_TIMER.
void OnListTimer(HWND dialog, UINT_PTR timer);
// WM_ENDSESSION: Windows ends the session (`ending`), and with it the
// process, unloading nothing; the list is saved now.
void OnEndSession(bool ending);
// The save when the editor closes; a failure is told to the operator.
void SaveAtClose();
