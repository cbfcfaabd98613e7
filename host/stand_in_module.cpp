#include "host/stand_in_module.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

std::string FileBesideProgram(const std::string& name) {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string path = program;
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

std::string ModulePath() { return FileBesideProgram("torvo.jem"); }

bool LoadModuleFile(const std::string& path, LoadedModule& module, std::string& error) {
    module = LoadedModule{};
    char fullPath[MAX_PATH] = {};
    GetFullPathNameA(path.c_str(), MAX_PATH, fullPath, nullptr);
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        error = "no module: " + path + " is missing (looked for " + fullPath + ")";
        return false;
    }
    module.handle = LoadLibraryA(fullPath);
    if (!module.handle) {
        error = std::string("cannot load ") + fullPath + " (error " +
                std::to_string(GetLastError()) + ")";
        return false;
    }
    module.setUserState = reinterpret_cast<SetUserStateFn>(
        reinterpret_cast<void*>(GetProcAddress(module.handle, SET_USER_STATE_SYMBOL)));
    module.setup = reinterpret_cast<SetupFn>(
        reinterpret_cast<void*>(GetProcAddress(module.handle, SETUP_SYMBOL)));
    std::string missing;
    if (!module.setUserState) missing += std::string(" ") + SET_USER_STATE_SYMBOL;
    if (!module.setup) missing += std::string(" ") + SETUP_SYMBOL;
    if (!missing.empty()) {
        error = path + " lacks the export(s)" + missing;
        UnloadModule(module);
        return false;
    }
    return true;
}

void UnloadModule(LoadedModule& module) {
    if (module.handle) FreeLibrary(module.handle);
    module = LoadedModule{};
}

void PrepareHostClasses() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    static const HMODULE richEdit = LoadLibraryA("riched20.dll");
    (void)richEdit;
}

namespace {

BOOL CALLBACK CollectEditor(HWND window, LPARAM found) {
    char className[16] = {};
    char caption[16] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") == 0 && std::strcmp(caption, "Torvo") == 0) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> EditorWindowsOfThread(DWORD threadId) {
    std::vector<HWND> found;
    EnumThreadWindows(threadId, CollectEditor, reinterpret_cast<LPARAM>(&found));
    return found;
}
