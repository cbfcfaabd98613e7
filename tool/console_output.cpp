#include "tool/console_output.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>

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
    DWORD written = 0;
    return WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
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

void WriteError(const std::string& utf8) {
    std::fflush(stdout);
    if (!WriteToConsole(STD_ERROR_HANDLE, utf8)) std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

#else

void PrepareOutput() {}

void WriteOut(const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }

void WriteError(const std::string& utf8) {
    std::fflush(stdout);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

#endif
