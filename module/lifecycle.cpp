// Load and unload.
#include "module/module_state.h"

#include "contract/host_contract.h"
#include "editor/editor.h"
#include "matching/matching.h"
#include "rules/rule_array.h"
#include "rules/rule_file.h"

#include <cwchar>

HINSTANCE g_hInstance = nullptr;

namespace {

// The module's own file with its name replaced by the rule file's, in
// UTF-8 into `path`; false when it does not fit.
bool RuleFileBesideModule(HINSTANCE instance, char (&path)[RULE_PATH_BYTES]) {
    static wchar_t own[RULE_PATH_BYTES];  // loading runs once, on one thread
    const DWORD length = GetModuleFileNameW(instance, own, RULE_PATH_BYTES);
    if (length == 0 || length >= RULE_PATH_BYTES - 16) return false;
    wchar_t* slash = std::wcsrchr(own, L'\\');
    if (!slash) return false;
    wchar_t* name = slash + 1;
    for (const char* ascii = RULE_FILE_NAME; *ascii; ++ascii) *name++ = static_cast<wchar_t>(*ascii);
    *name = L'\0';
    return WideCharToMultiByte(CP_UTF8, 0, own, -1, path, RULE_PATH_BYTES, nullptr, nullptr) > 0;
}

// The list lies in MODULES below the host's current folder, where the host
// keeps its modules. A host started with another current folder (a
// shortcut's "Start in", a scheduled task, the Run key) has no MODULES
// there; the list beside the module's own file is used instead.
void OpenTheRuleFile(HINSTANCE instance) {
    static char besideModule[RULE_PATH_BYTES];
    if (!IsFolder(RULE_FILE_FOLDER) && RuleFileBesideModule(instance, besideModule)) {
        OpenRuleFile(besideModule);
        return;
    }
    OpenRuleFile(RULE_FILE_PATH);
}

}  // namespace

BOOL ModuleEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            g_hInstance = instance;
            // The path is fixed here; without a file the list starts empty.
            OpenTheRuleFile(instance);
            break;
        case DLL_PROCESS_DETACH:
            // The save comes first: window and drawing work under the loader
            // lock may hang or fail, and must not cost the operator's edits.
            // Nobody can be told of a failure now: the list is kept as a
            // copy that the editor's next opening reports.
            SaveRuleFile(SaveAudience::Nobody, nullptr);
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
