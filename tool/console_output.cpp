#include "tool/console_output.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>

// The C runtime's own split of the wide command line, the one argv came
// from, so both agree on quotes and backslashes. Declared here: the headers
// keep it internal. Taking it from the runtime keeps the tool free of
// shell32, whose loading costs each start of the tool noticeable time.
struct RuntimeStartInfo {
    int newMode;
};
extern "C" int __cdecl __wgetmainargs(int* count, wchar_t*** arguments, wchar_t*** environment,
                                      int expandWildcards, RuntimeStartInfo* startInfo);

namespace {

bool WriteToConsole(DWORD which, const std::string& utf8) {
    HANDLE stream = GetStdHandle(which);
    DWORD mode = 0;
    if (stream == INVALID_HANDLE_VALUE || !GetConsoleMode(stream, &mode)) return false;
    if (utf8.empty()) return true;
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                          nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], units);
    // In pieces: older consoles refuse one very long write. A piece never
    // ends between the two halves of a surrogate pair.
    constexpr size_t PIECE_UNITS = 8192;
    for (size_t start = 0; start < wide.size();) {
        size_t length = std::min(PIECE_UNITS, wide.size() - start);
        const wchar_t last = wide[start + length - 1];
        if (start + length < wide.size() && last >= 0xD800 && last <= 0xDBFF) --length;
        DWORD written = 0;
        if (!WriteConsoleW(stream, wide.data() + start, static_cast<DWORD>(length), &written, nullptr)) {
            return start > 0;  // a console that took nothing gets the bytes instead
        }
        start += length;
    }
    return true;
}

}  // namespace

void PrepareOutput() {
    // Bytes out as written: no "\r\n" for "\n", and the same file on every system.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
}

void WriteOut(const std::string& utf8) {
    std::fflush(stdout);
    if (!WriteToConsole(STD_OUTPUT_HANDLE, utf8)) std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

std::string Utf8Argument(char** argv, int index) {
    int count = 0;
    wchar_t** wide = nullptr;
    wchar_t** environment = nullptr;
    RuntimeStartInfo startInfo{0};
    if (__wgetmainargs(&count, &wide, &environment, 0, &startInfo) < 0 || !wide || index >= count) {
        return argv[index];
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[index], -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, wide[index], -1, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

void WriteError(const std::string& utf8) {
    std::fflush(stdout);
    if (!WriteToConsole(STD_ERROR_HANDLE, utf8)) std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

#else

void PrepareOutput() {}

std::string Utf8Argument(char** argv, int index) { return argv[index]; }

void WriteOut(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }

void WriteError(const std::string& utf8) {
    std::fflush(stdout);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

#endif
