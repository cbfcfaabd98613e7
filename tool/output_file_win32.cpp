// The tool's file policy through the Windows ANSI file calls: its paths
// come in the system's ANSI code page, as the console passes them.
#ifdef _WIN32

#include "tool/output_file.h"

#include "rules/file_replace.h"

#include <windows.h>

#include <string>

namespace {

std::string SystemMessage(DWORD error) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(error) : message;
}

std::string ReasonOfError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return "no such file";
        case ERROR_PATH_NOT_FOUND: return "no such folder";
        case ERROR_ACCESS_DENIED: return "permission denied";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return "held open by another program";
        default: return SystemMessage(error);
    }
}

}  // namespace

std::string RuleFilePath(const std::string& path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (units <= 0) return path;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], units);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return path;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    utf8.pop_back();  // the terminator
    return utf8;
}

// Windows links are rare in a host's folder; a path is written as it is.
std::string WriteTargetOf(const std::string& path) { return path; }

std::string ReadFailureReason(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ReasonOfError(GetLastError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION ? "held open for writing by another program"
                                                : ReasonOfError(error);
    }
    CloseHandle(file);
    return "it cannot be read";
}

std::string WriteFailureReason(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
        if (attributes & FILE_ATTRIBUTE_READONLY) return "the file is read-only";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return ReasonOfError(GetLastError());
        CloseHandle(file);
    }
    const DWORD folder = GetFileAttributesA(FolderOf(path).c_str());
    if (folder == INVALID_FILE_ATTRIBUTES) return "no such folder";
    if (!(folder & FILE_ATTRIBUTE_DIRECTORY)) return "a part of the path is not a folder";
    const std::string probe = path + REPLACEMENT_SUFFIX;
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ReasonOfError(GetLastError());
    CloseHandle(file);
    return "the file could not be replaced (held open by another program?)";
}

#endif  // _WIN32
