// Load and unload.
#include "module/module_state.h"

#include "contract/host_contract.h"
#include "editor/editor.h"
#include "matching/matching.h"
#include "rules/rule_array.h"
#include "rules/rule_file.h"

HINSTANCE g_hInstance = nullptr;

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
            DismissEditorAtUnload();
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
