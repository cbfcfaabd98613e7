#include "tool/output_file.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char TEMPORARY_SUFFIX[] = ".saving";

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    return path.substr(0, slash);
}

}  // namespace

#ifdef _WIN32
#include <windows.h>

namespace {

bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return known;
}

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

bool SameFile(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    if (!FileIdentity(first, &a) || !FileIdentity(second, &b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

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

bool ExistingFileSize(const std::string& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

// File attributes other than read-only come back with the move; nothing to keep.
KeptMode ModeOf(const std::string&) { return {false, 0}; }
void RestoreMode(const std::string&, KeptMode) {}

bool ReplaceWithText(const std::string& path, const std::string& text) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    // Checked here because Wine would let the move replace a read-only file.
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    const std::string temporary = path + TEMPORARY_SUFFIX;
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool complete = text.empty() || (WriteFile(file, text.data(), static_cast<DWORD>(text.size()),
                                                     &written, nullptr) &&
                                           written == text.size());
    const bool durable = complete && FlushFileBuffers(file);
    CloseHandle(file);
    if (!durable || !MoveFileExA(temporary.c_str(), path.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

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
    const std::string probe = path + TEMPORARY_SUFFIX;
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ReasonOfError(GetLastError());
    CloseHandle(file);
    return "the file could not be replaced (held open by another program?)";
}

#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int descriptor, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t written = write(descriptor, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

std::string ReasonOfErrno(int error) {
    switch (error) {
        case ENOENT: return "no such file or folder";
        case EACCES:
        case EPERM: return "permission denied";
        case EISDIR: return "it is a folder";
        case ENOTDIR: return "a part of the path is not a folder";
        case ENAMETOOLONG: return "the path is too long";
        default: return std::strerror(error);
    }
}

}  // namespace

std::string RuleFilePath(const std::string& path) { return path; }

bool SameFile(const std::string& first, const std::string& second) {
    struct stat a, b;
    if (stat(first.c_str(), &a) != 0 || stat(second.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string WriteTargetOf(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat status;
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
        std::string target(static_cast<size_t>(status.st_size > 0 ? status.st_size : 4096) + 1, '\0');
        const ssize_t length = readlink(current.c_str(), &target[0], target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) return current;
        target.resize(static_cast<size_t>(length));
        current = target[0] == '/' ? target : FolderOf(current) + "/" + target;
    }
    return current;
}

bool ExistingFileSize(const std::string& path, uint64_t* size) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    *size = static_cast<uint64_t>(status.st_size);
    return true;
}

KeptMode ModeOf(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return {false, 0};
    return {true, static_cast<uint32_t>(status.st_mode & 07777)};
}

void RestoreMode(const std::string& path, KeptMode mode) {
    if (mode.known) chmod(path.c_str(), static_cast<mode_t>(mode.mode));
}

bool ReplaceWithText(const std::string& path, const std::string& text) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 &&
        (!S_ISREG(status.st_mode) || (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)) {
        return false;  // a folder, or a read-only file: left alone
    }
    const KeptMode mode = ModeOf(path);
    const std::string temporary = path + TEMPORARY_SUFFIX;
    const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) return false;
    bool good = WriteAll(descriptor, text.data(), text.size()) && fsync(descriptor) == 0;
    if (good && mode.known) fchmod(descriptor, static_cast<mode_t>(mode.mode));
    good = close(descriptor) == 0 && good;
    if (!good || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string ReadFailureReason(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? "no such file" : ReasonOfErrno(errno);
    }
    if (S_ISDIR(status.st_mode)) return "it is a folder";
    if (!S_ISREG(status.st_mode)) return "it is not a plain file";
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return ReasonOfErrno(errno);
    close(descriptor);
    return "it cannot be read";
}

std::string WriteFailureReason(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return "it is a folder";
        if (!S_ISREG(status.st_mode)) return "it is not a plain file";
        if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return "the file is read-only";
    } else if (errno != ENOENT) {
        return ReasonOfErrno(errno);
    }
    const std::string folder = FolderOf(path);
    if (stat(folder.c_str(), &status) != 0) return errno == ENOENT ? "no such folder" : ReasonOfErrno(errno);
    if (!S_ISDIR(status.st_mode)) return "a part of the path is not a folder";
    if (access(folder.c_str(), W_OK) != 0) return "no permission to write in its folder";
    return "the system refused the write (the disk may be full)";
}

#endif
