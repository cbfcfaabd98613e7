// Module-wide state of the host interface. Everything here is zero at load
// and used only on the host's user-interface thread.
#pragma once

#include <windows.h>

extern HINSTANCE g_hInstance;

BOOL ModuleEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);
