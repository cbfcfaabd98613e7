// Loading MODULES\torvo.jem as the chat host does, and its header line.
#include "host/host_parts.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// ---- The module ---------------------------------------------------------

bool LoadTorvo(LoadedModule& module) {
    char fullPath[MAX_PATH] = {};
    GetFullPathNameA(MODULE_FILE, MAX_PATH, fullPath, nullptr);
    if (GetFileAttributesA(MODULE_FILE) == INVALID_FILE_ATTRIBUTES) {
        PrintError(std::string("no module: ") + MODULE_FILE + " is missing (looked for " +
                   fullPath + ")");
        return false;
    }
    module.handle = LoadLibraryA(fullPath);
    if (!module.handle) {
        PrintError(std::string("cannot load ") + fullPath + " (error " +
                   std::to_string(GetLastError()) + ")");
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
        PrintError(std::string(MODULE_FILE) + " lacks the export(s)" + missing);
        FreeLibrary(module.handle);
        module.handle = nullptr;
        return false;
    }
    return true;
}

std::string ModuleString(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Utf8(std::wstring(text, length)) : "(none)";
}

bool Handles(const LoadedModule& module, unsigned long event) {
    return (module.handledEvents & event) == event;
}

void PrintModuleHeader(const LoadedModule& module) {
    Print("Module " + std::string(MODULE_FILE) + ": " + ModuleString(module.handle, 1) + " " +
          ModuleString(module.handle, 2) + "\n");
    const struct { unsigned long event; const char* words; } events[] = {
        {EVENT_ALL_USERS, "16 (whole room)"},
        {EVENT_NEW_USER, "64 (arrival)"},
        {EVENT_ONE_USER, "8192 (one visitor)"},
    };
    std::string taken, notTaken;
    for (const auto& known : events) {
        std::string& list = Handles(module, known.event) ? taken : notTaken;
        list += (list.empty() ? "" : ", ") + std::string(known.words);
    }
    Print("Event query (0) answered " + std::to_string(module.handledEvents) + ": takes " +
          (taken.empty() ? "none" : taken) +
          (notTaken.empty() ? "" : "; not delivered: " + notTaken) + "\n");
}
