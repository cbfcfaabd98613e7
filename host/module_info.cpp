// Loads torvo.jem as the chat host does and prints what the host reads from
// it: its name, version and description, and its answer to the event query.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

using SetUserStateFn = unsigned long(__cdecl*)(unsigned long, void*, unsigned long);

// Wine hands our bytes to the terminal as they are, so print UTF-8.
void PrintWide(const wchar_t* text, int length) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], bytes, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

void PrintString(HMODULE module, const char* label, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    std::printf("%-12s ", label);
    PrintWide(text, length);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = argc > 1 ? argv[1] : exe;
    if (argc <= 1) path = path.substr(0, path.find_last_of('\\') + 1) + "torvo.jem";

    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    auto setUserState = reinterpret_cast<SetUserStateFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "@Torvo_SetUserState$qulp5_ROOMul")));
    if (!setUserState) {
        std::fprintf(stderr, "%s has no export @Torvo_SetUserState$qulp5_ROOMul\n", path.c_str());
        return 1;
    }
    PrintString(module, "name:", 1);
    PrintString(module, "version:", 2);
    PrintString(module, "description:", 3);
    std::printf("%-12s %lu\n", "events:", setUserState(0, nullptr, 0));
    FreeLibrary(module);
    return 0;
}
