// Module-wide state of the host interface. Everything here is zero at load
// and used only on the host's user-interface thread.
#pragma once

#include "module/host_records.h"

#include <windows.h>

using SendMessageCall = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

extern HINSTANCE g_hInstance;
extern HWND g_hEditor;                        // null while no editor is open
extern SendMessageCall g_sendMessage;         // carries the nickname text
extern char g_configPath[CONFIG_FILE_BYTES];  // host's INI file, for the editor

BOOL ModuleEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);
uint32_t OpenEditor(const _CFG_INFO& config);
// Destroys `editor` (may be null), saves the rules when they need saving
// (SaveRuleFile), deletes the drawing objects.
void CloseEditor(HWND editor);
