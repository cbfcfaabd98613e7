#include "bench/bench_support.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

double Now() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

namespace {

const char* EnvironmentText(const char* name, const char* absent) {
    const char* value = std::getenv(name);
    return value && *value ? value : absent;
}

}  // namespace

void PrintRunnerLine(const char* title) {
    const bool emulated = std::strcmp(EnvironmentText("TORVO_CPU", ""), "emulated") == 0;
    std::printf("%s: runner %s, CPU %s\n", title, EnvironmentText("TORVO_RUNNER", "unknown"),
                emulated ? "emulated in software" : "not emulated");
}

std::string MakeScratchFolder(const char* tag) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        std::string(temp) + tag + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\MODULES").c_str(), nullptr);
    SetCurrentDirectoryA(folder.c_str());
    return folder;
}

void RemoveScratchFolder(const std::string& folder, const std::string& previous,
                         std::initializer_list<const char*> moduleFiles) {
    SetCurrentDirectoryA(previous.c_str());
    for (const char* name : moduleFiles) DeleteFileA((folder + "\\MODULES\\" + name).c_str());
    RemoveDirectoryA((folder + "\\MODULES").c_str());
    RemoveDirectoryA(folder.c_str());
}

bool LoadBuiltModule(LoadedModule& module) {
    std::string error;
    if (LoadModuleFile(ModulePath(), module, error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

bool ParseRuleCounts(const char* text, uint32_t smallest, std::vector<uint32_t>& counts) {
    counts.clear();
    for (const char* p = text; *p;) {
        char* end = nullptr;
        const unsigned long count = std::strtoul(p, &end, 10);
        if (end == p || count < smallest) return false;
        counts.push_back(static_cast<uint32_t>(count));
        p = *end == ',' ? end + 1 : end;
    }
    return !counts.empty();
}
