// Load, editor opening and closing, and unload.
#include "module/module_state.h"

#include "editor/editor.h"
#include "matching/matching.h"
#include "rules/rule_array.h"
#include "rules/rule_file.h"
#include "rules/text_field.h"
#include "resources/resource_ids.h"

#include <cstring>

HINSTANCE g_hInstance = nullptr;
HWND g_hEditor = nullptr;
SendMessageCall g_sendMessage = nullptr;
char g_configPath[CONFIG_FILE_BYTES] = {};

namespace {

void DismissEditor(HWND editor) {
    g_hEditor = nullptr;
    if (editor) DestroyWindow(editor);
}

}  // namespace

BOOL ModuleEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            g_hInstance = instance;
            // The path is fixed here, against the host's current folder at
            // load; without a file the list starts empty.
            OpenRuleFile(RULE_FILE_PATH);
            break;
        case DLL_PROCESS_DETACH:
            // The save comes first: window and drawing work under the loader
            // lock may hang or fail, and must not cost the operator's edits.
            SaveRuleFile();
            // The process is ending: its windows, objects and memory go with it.
            if (reserved) break;
            DismissEditor(g_hEditor);
            DeleteDrawingObjects();
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
    // A file that was busy at load arrives now, before the rows are made.
    RetryRuleFileLoad();
    g_hEditor = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_EDITOR), nullptr,
                                   EditorDialogProc, 0);
    return 0;
}

void CloseEditor(HWND editor) {
    DismissEditor(editor);
    SaveRuleFile();
    // After the window is gone, so the list no longer uses them.
    DeleteDrawingObjects();
}
