// The editing fields: a rule shown in them, and read back from them.
#pragma once

#include "lists/plain_list.h"
#include "rules/rule.h"

#include <windows.h>
#include <richedit.h>

// What a click on a rule's row shows: its name, IP text, search type,
// status and both colours.
void LoadRuleIntoFields(HWND dialog, const _RULE& rule);
// The fields into `rule` (Add and Change); its IP pattern is derived anew.
// `rule.name` is kept while the name field still shows it as it was loaded.
void ReadFieldsIntoRule(HWND dialog, _RULE& rule);
// The status and colours the fields hold: what a pasted line without its
// own columns takes, as Add would.
PlainDefaults FieldDefaults(HWND dialog);

// A colour sample's format: its colour is the one being edited.
CHARFORMATA SampleFormat(HWND dialog, int sampleId);

// What a click on a row does: the buttons set for the selected row's
// place, and its rule loaded into the fields (none selected: the buttons
// that need a row disabled, the fields left as they are).
void ShowSelectedRule(HWND dialog);
