// Finding a rule by typing, with the rule list focused: letters and digits
// typed within about a second of each other form one text, and the next
// rule whose nickname (in any case) or IP text starts with it is selected
// and loaded into the fields as a click loads it.
#pragma once

#include <windows.h>

// A character typed in the list at tick `now`. False when it is not taken
// as part of a text to find (a space with no text under way, a control
// character), so that the list handles it.
bool FindTypedCharacter(HWND dialog, wchar_t typed, DWORD now);
// The selection moved by other means (a click, a navigation key): the next
// character starts a new text.
void EndTypedText();
// F3: the next rule, after the selected one, that starts with the last text.
void FindNextTypedMatch(HWND dialog);
