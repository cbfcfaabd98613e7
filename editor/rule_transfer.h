// Rules in and out of the editor as text: the selected rule copied as one
// line of the rule-list tool's table, and lists pasted or dropped as files,
// read by the same strict reader as the tool's import.
#pragma once

#include <windows.h>
#include <shellapi.h>

// Ctrl+C: the selected rule on the clipboard, as Unicode text.
void CopySelectedRule(HWND dialog);
// Whether the clipboard holds text to paste.
bool ClipboardHoldsText();
// Ctrl+V: the clipboard's text read as a rule list. Every line good: its
// rules go after the selected row (at the end with none selected), and the
// operator is told how many; any bad line: nothing is added, and the
// operator is told which lines and why.
void PasteRules(HWND dialog);
// Lets files be dropped onto the editor (at its set-up).
void AcceptDroppedFiles(HWND dialog);
// WM_DROPFILES: each dropped file read as a paste, all of them as one.
void PasteDroppedFiles(HWND dialog, HDROP drop);
