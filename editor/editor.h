// The rule editor: a modeless dialog over the module's rule list. The module
// opens it for the host's set-up call and closes it at unload.
#pragma once

#include <windows.h>

#include <cstddef>

// Opens the editor, or brings the open one forward. `instance` holds the
// dialog template and icons; `configFile` (at most `configFileBytes` bytes,
// zero-terminated within them or cut) is the host's INI file the editor
// reads its settings from; `ansiNameField` says the host talks ANSI to the
// nickname field.
void OpenEditor(HINSTANCE instance, const char* configFile, size_t configFileBytes,
                bool ansiNameField);

// Destroys `editor` (may be null), saves the rules when they need saving
// (SaveRuleFile), telling the operator when that fails, and deletes the
// drawing objects.
void CloseEditor(HWND editor);

// At unload, after the rules were saved: destroys an open editor and any
// notice, and deletes the drawing objects.
void DismissEditorAtUnload();

// Looks at the rule file, when a look is due (at most once a second): an
// unedited list takes another program's version (the tool's import, a
// restore, another host's save), and an open editor shows it.
void FollowRuleFile();
