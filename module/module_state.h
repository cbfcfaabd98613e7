// Module-wide state of the host interface. Everything here is zero at load
// and used only on the host's user-interface thread.
#pragma once

#include <windows.h>

extern HINSTANCE g_hInstance;

BOOL ModuleEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);

// At the start of a visitor event: another program's version of the rule
// file (the tool's import, a restore, another host's save) is in force from
// the first event after a look at the file, which comes at most once a second.
void FollowRuleFile();
