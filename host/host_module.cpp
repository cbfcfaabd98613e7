// MODULES\torvo.jem loaded as the chat host loads it, and its header line.
#include "host/host_parts.h"

#include <windows.h>

#include <string>

// ---- The module ---------------------------------------------------------

bool LoadTorvo(HostModule& module) {
    std::string error;
    if (!LoadModuleFile(MODULE_FILE, module.loaded, error)) {
        PrintError(error);
        return false;
    }
    module.handledEvents = module.loaded.setUserState(EVENT_QUERY, nullptr, 0);
    return true;
}

std::string ModuleString(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Utf8(std::wstring(text, length)) : "(none)";
}

bool Handles(const HostModule& module, unsigned long event) {
    return (module.handledEvents & event) == event;
}

void PrintModuleHeader(const HostModule& module) {
    const HMODULE handle = module.loaded.handle;
    Print("Module " + std::string(MODULE_FILE) + ": " + ModuleString(handle, 1) + " " +
          ModuleString(handle, 2) + "\n");
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
