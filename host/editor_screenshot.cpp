// Opens the rule editor of torvo.jem the way the chat host does, with one
// sample rule of each status, and saves a picture of the dialog as a 24-bit
// BMP. Usage: editor_screenshot OUTPUT.bmp [torvo.jem]
// Works in a temporary folder with its own MODULES\torvo.tdb; without a
// settings file the editor shows its default appearance. Under Xvfb without a
// window manager, run it on a Wine desktop so that the caption is drawn:
//   wine explorer /desktop=shot,800x450 editor_screenshot.exe editor.bmp
#include "module/host_records.h"
#include "resources/resource_ids.h"
#include "rules/rule.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using SetupFn = unsigned long(__cdecl*)(unsigned long, void*, _CFG_INFO*);
constexpr const char* SETUP_SYMBOL = "@Torvo_Setup$qulpvp9_CFG_INFO";

_RULE SampleRule(const wchar_t* name, const char* ip, int32_t status, int32_t searchType) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    wcsncpy(rule.name, name, RULE_NAME_UNITS - 1);
    strncpy(rule.ipText, ip, RULE_IP_TEXT_BYTES - 1);
    rule.status = status;
    rule.searchType = searchType;
    rule.nickColor = 0x000000C0;
    rule.textColor = 0x00000000;
    return rule;
}

bool WriteSampleRules(const std::string& path) {
    const _RULE rules[] = {
        // "Гость": a guest left as the host sets him
        SampleRule(L"\x0413\x043E\x0441\x0442\x044C", "192.168.*", STATUS_UNCHANGED, SEARCH_IP),
        // "Алиса"
        SampleRule(L"\x0410\x043B\x0438\x0441\x0430", "", STATUS_ALLOW_ALL, SEARCH_NAME),
        SampleRule(L"Boris", "10.0.0.1-10.0.0.50", STATUS_NO_PRIVATE, SEARCH_NAME_OR_IP),
        SampleRule(L"Spammer", "85.12.34.56", STATUS_IGNORE, SEARCH_NAME_AND_IP),
        SampleRule(L"Moderator", "172.16.*", STATUS_ALLOW_ALL, SEARCH_NAME_AND_IP),
    };
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(file, rules, sizeof rules, &written, nullptr);
    CloseHandle(file);
    return written == sizeof rules;
}

void PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

bool SaveWindowPicture(HWND window, const char* path) {
    RECT frame;
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int stride = (width * 3 + 3) & ~3;

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as a BMP file stores it
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(stride * height);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return false;
    HGDIOBJ previous = SelectObject(memory, bitmap);
    // Wine's WM_PRINT leaves out the child controls and the frame, so the
    // picture is taken from the screen, where the dialog lies on top.
    const bool printed =
        BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY) != FALSE;
    ReleaseDC(nullptr, screen);
    GdiFlush();

    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
    fileHeader.bfSize = fileHeader.bfOffBits + header.biSizeImage;
    bool saved = false;
    if (FILE* out = std::fopen(path, "wb")) {
        saved = std::fwrite(&fileHeader, sizeof fileHeader, 1, out) == 1 &&
                std::fwrite(&header, sizeof header, 1, out) == 1 &&
                std::fwrite(bits, header.biSizeImage, 1, out) == 1;
        saved = std::fclose(out) == 0 && saved;
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return printed && saved;
}

// A dialog box of the default class with the editor's caption.
HWND FindEditor() { return FindWindowA(MAKEINTATOM(32770), "Torvo"); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: editor_screenshot OUTPUT.bmp [torvo.jem]\n");
        return 2;
    }
    char fullOutput[MAX_PATH] = {};
    GetFullPathNameA(argv[1], MAX_PATH, fullOutput, nullptr);
    std::string modulePath;
    if (argc > 2) {
        char fullModule[MAX_PATH] = {};
        GetFullPathNameA(argv[2], MAX_PATH, fullModule, nullptr);
        modulePath = fullModule;
    } else {
        char exe[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        modulePath = exe;
        modulePath = modulePath.substr(0, modulePath.find_last_of('\\') + 1) + "torvo.jem";
    }

    // The module reads and writes MODULES\torvo.tdb in the current folder.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "torvo-screenshot";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\MODULES").c_str(), nullptr);
    SetCurrentDirectoryA(folder.c_str());
    if (!WriteSampleRules("MODULES\\torvo.tdb")) {
        std::fprintf(stderr, "cannot write the sample rules in %s\n", folder.c_str());
        return 1;
    }

    // What the host does before it opens the editor.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    LoadLibraryA("riched20.dll");

    HMODULE module = LoadLibraryA(modulePath.c_str());
    if (!module) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", modulePath.c_str(), GetLastError());
        return 1;
    }
    auto setup = reinterpret_cast<SetupFn>(
        reinterpret_cast<void*>(GetProcAddress(module, SETUP_SYMBOL)));
    if (!setup) {
        std::fprintf(stderr, "%s has no export %s\n", modulePath.c_str(), SETUP_SYMBOL);
        return 1;
    }
    _CFG_INFO config;
    std::memset(&config, 0, sizeof config);
    std::snprintf(config.configFile, sizeof config.configFile, "%s\\no-settings.ini",
                  folder.c_str());
    setup(0, nullptr, &config);

    HWND editor = FindEditor();
    if (!editor) {
        std::fprintf(stderr, "the editor did not open\n");
        return 1;
    }
    PumpFor(1000);
    const bool saved = SaveWindowPicture(editor, fullOutput);
    SendMessageA(editor, WM_COMMAND, IDCANCEL, 0);
    FreeLibrary(module);
    DeleteFileA("MODULES\\torvo.tdb");
    RemoveDirectoryA((folder + "\\MODULES").c_str());
    SetCurrentDirectoryA(temp);
    RemoveDirectoryA(folder.c_str());
    if (!saved) {
        std::fprintf(stderr, "cannot save the picture to %s\n", fullOutput);
        return 1;
    }
    std::printf("saved %s\n", fullOutput);
    return 0;
}
