// Load, editor opening and closing, and unload.
#include "module/module_state.h"

#include "editor/editor.h"
#include "matching/matching.h"
#include "rules/rule_array.h"
#include "rules/text_field.h"
#include "resources/resource_ids.h"

#include <cstring>

HINSTANCE g_hInstance = nullptr;
HWND g_hEditor = nullptr;
SendMessageCall g_sendMessage = nullptr;
char g_configPath[CONFIG_FILE_BYTES] = {};

BOOL ModuleEntry(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            g_hInstance = instance;
            LoadRules(RULE_FILE_PATH);  // without a file the list starts empty
            break;
        case DLL_PROCESS_DETACH:
            // Saves at every unload, editor open or not.
            CloseEditor(g_hEditor);
            FreeRules();
            FreeMatchingIndex();
            break;
        default:
            break;
    }
    return TRUE;  // never make the host's load fail
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return ModuleEntry(instance, reason, reserved);
}

uint32_t OpenEditor(const _CFG_INFO& config) {
    // A path that does not fit is cut, never overflowed.
    const size_t pathLength = BoundedLength(config.configFile, sizeof g_configPath - 1);
    std::memcpy(g_configPath, config.configFile, pathLength);
    g_configPath[pathLength] = '\0';
    g_sendMessage = config.charMode == CHAR_MODE_ANSI ? SendMessageA : SendMessageW;

    if (g_hEditor) {
        // A minimised editor would take the focus and stay out of sight.
        if (IsIconic(g_hEditor)) ShowWindow(g_hEditor, SW_RESTORE);
        SetFocus(g_hEditor);
        return 0;
    }
    g_hEditor = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_EDITOR), nullptr,
                                   EditorDialogProc, 0);
    return 0;
}

void CloseEditor(HWND editor) {
    g_hEditor = nullptr;
    if (editor) DestroyWindow(editor);
    SaveRules(RULE_FILE_PATH);
    // After the window is gone, so the list no longer uses them.
    DeleteDrawingObjects();
}
