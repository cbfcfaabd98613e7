// The editor's module-wide state. Everything here is zero at load and used
// only on the host's user-interface thread.
#pragma once

#include "contract/host_contract.h"

#include <windows.h>

using SendMessageCall = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

extern HINSTANCE g_hEditorInstance;   // the module: dialog template and icons
extern HWND g_hEditor;                // null while no editor is open
extern SendMessageCall g_sendMessage; // carries the nickname text
extern char g_configPath[CONFIG_FILE_BYTES];  // host's INI file, for the settings
