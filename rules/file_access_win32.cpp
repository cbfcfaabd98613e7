// Rule file access through the Windows wide file calls. Paths arrive as
// UTF-8 and are widened here, so a folder that the system's ANSI code page
// cannot spell (a Cyrillic user name on a Western Windows) opens as it is.
#ifdef _WIN32

#include "rules/file_access.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

HANDLE AsHandle(ReadableFile file) { return reinterpret_cast<HANDLE>(file.handle); }

uint64_t Join(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

uint64_t WriteTime(const FILETIME& time) { return Join(time.dwHighDateTime, time.dwLowDateTime); }

bool Absent(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

constexpr DWORD ERROR_DELETE_IS_PENDING = 303;  // ERROR_DELETE_PENDING, absent from older headers

// What the file calls' errors mean for a save. Access denied is read as the
// user's missing rights here; the steps where it means a held file (the
// final move, under a folder just written to) say so themselves.
FileProblem ProblemOf(DWORD error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
        case ERROR_DELETE_IS_PENDING:
            return FileProblem::Held;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_NETWORK_ACCESS_DENIED:
            return FileProblem::NoRights;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileProblem::DiskFull;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return FileProblem::NoFolder;
        case ERROR_FILENAME_EXCED_RANGE:
            return FileProblem::PathTooLong;
        default:
            return FileProblem::Other;
    }
}

FileProblem LastProblem() { return ProblemOf(GetLastError()); }

// Paths this long or longer go to the file calls in their "\\?\" form: the
// plain form stops at 260 units for files and 248 for folders.
constexpr size_t PLAIN_PATH_LIMIT = MAX_PATH - 12;
constexpr wchar_t LONG_PREFIX[] = L"\\\\?\\";
constexpr wchar_t LONG_UNC_PREFIX[] = L"\\\\?\\UNC\\";
constexpr size_t PREFIX_UNITS = sizeof LONG_UNC_PREFIX / sizeof(wchar_t) - 1;

// A UTF-8 path in the form the wide file calls take. `text` is empty when
// the path is not UTF-8 or does not fit.
struct WidePath {
    wchar_t text[PREFIX_UNITS + RULE_PATH_BYTES];
};

bool IsDrivePath(const wchar_t* path) {
    return path[0] != 0 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

bool IsUncPath(const wchar_t* path) {
    return path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.';
}

// Puts `prefix` in front of the `length` units at `body`, which lie inside
// `path.text` far enough in.
void StartWith(WidePath& path, const wchar_t* prefix, const wchar_t* body, size_t length) {
    const size_t prefixLength = std::wcslen(prefix);
    std::memmove(path.text + prefixLength, body, (length + 1) * sizeof(wchar_t));
    std::memcpy(path.text, prefix, prefixLength * sizeof(wchar_t));
}

WidePath Widen(const char* path) {
    WidePath wide;
    wchar_t* body = wide.text + PREFIX_UNITS;
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, body,
                                          static_cast<int>(RULE_PATH_BYTES));
    if (units <= 0) {
        wide.text[0] = 0;
        return wide;
    }
    size_t length = static_cast<size_t>(units) - 1;
    if (length >= PLAIN_PATH_LIMIT && !IsDrivePath(body) && !IsUncPath(body) && body[0] != L'\\') {
        // A relative path that is long: made absolute, so it can take the
        // long form. The full form goes into the buffer's start, then moves.
        const DWORD full = GetFullPathNameW(body, static_cast<DWORD>(RULE_PATH_BYTES), wide.text,
                                            nullptr);
        if (full == 0 || full >= RULE_PATH_BYTES) {
            wide.text[0] = 0;
            return wide;
        }
        length = full;
        std::memmove(body, wide.text, (length + 1) * sizeof(wchar_t));
    }
    if (length >= PLAIN_PATH_LIMIT && IsDrivePath(body)) {
        for (size_t i = 0; i < length; ++i) {
            if (body[i] == L'/') body[i] = L'\\';  // the long form takes no other separator
        }
        StartWith(wide, LONG_PREFIX, body, length);
    } else if (length >= PLAIN_PATH_LIMIT && IsUncPath(body)) {
        StartWith(wide, LONG_UNC_PREFIX, body + 2, length - 2);
    } else {
        StartWith(wide, L"", body, length);
    }
    return wide;
}

// UTF-16 text back to UTF-8 in `out` of `size` bytes; false when it does
// not fit.
bool Narrow(const wchar_t* text, char* out, size_t size) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, static_cast<int>(size),
                                          nullptr, nullptr);
    return bytes > 0;
}

// The folder part of a wide path, without its last separator.
void FolderOf(const wchar_t* path, WidePath& folder) {
    std::wcscpy(folder.text, path);
    wchar_t* slash = std::wcsrchr(folder.text, L'\\');
    if (slash) *slash = 0;
}

// Access denied when opening an existing, writable-looking file: its folder
// refusing new files means the user lacks the rights; otherwise the file
// is being deleted or replaced, or held in a way that denies, and may come
// free.
FileProblem AccessDeniedOnFile(const wchar_t* path) {
    WidePath probe;
    FolderOf(path, probe);
    wchar_t name[40] = L"\\torvo-probe-";
    wchar_t* digit = name + std::wcslen(name);
    DWORD id = GetCurrentProcessId();
    do {
        *digit++ = static_cast<wchar_t>(L'0' + id % 10);  // backwards: it need only be unique
        id /= 10;
    } while (id != 0);
    std::wcscpy(digit, L".tmp");
    if (std::wcslen(probe.text) + std::wcslen(name) >= sizeof probe.text / sizeof(wchar_t)) {
        return FileProblem::NoRights;
    }
    std::wcscat(probe.text, name);
    HANDLE file = CreateFileW(probe.text, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const FileProblem problem = LastProblem();
        return problem == FileProblem::Held ? FileProblem::Held : FileProblem::NoRights;
    }
    CloseHandle(file);
    return FileProblem::Held;
}

FileStamp StampOfInformation(const BY_HANDLE_FILE_INFORMATION& info) {
    return FileStamp{true,
                     Join(info.nFileSizeHigh, info.nFileSizeLow),
                     WriteTime(info.ftLastWriteTime),
                     true,
                     info.dwVolumeSerialNumber,
                     Join(info.nFileIndexHigh, info.nFileIndexLow)};
}

}  // namespace

OpenOutcome OpenExistingForReading(const char* path, ReadableFile* file) {
    const WidePath wide = Widen(path);
    HANDLE opened = CreateFileW(wide.text, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return Absent(GetLastError()) ? OpenOutcome::Absent : OpenOutcome::Refused;
    }
    file->handle = reinterpret_cast<intptr_t>(opened);
    return OpenOutcome::Opened;
}

bool ReadableFileStamp(ReadableFile file, FileStamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(AsHandle(file), &info)) return false;
    *stamp = StampOfInformation(info);
    return true;
}

size_t ReadFromStart(ReadableFile file, void* buffer, size_t size) {
    // A piece at a time, each piece's fresh pages first claimed with one
    // write apiece: faulting them in inside the read costs half again as
    // much under Wine.
    constexpr size_t PIECE_BYTES = 1 << 20;
    constexpr size_t PAGE_BYTES = 4096;
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < size) {
        const size_t piece = size - total < PIECE_BYTES ? size - total : PIECE_BYTES;
        volatile uint8_t* pages = bytes + total;
        for (size_t offset = 0; offset < piece; offset += PAGE_BYTES) pages[offset] = 0;
        DWORD pieceRead = 0;
        if (!ReadFile(AsHandle(file), bytes + total, static_cast<DWORD>(piece), &pieceRead, nullptr) ||
            pieceRead == 0) {
            break;
        }
        total += pieceRead;
    }
    return total;
}

void CloseReadable(ReadableFile file) { CloseHandle(AsHandle(file)); }

bool MapCopyOnWrite(ReadableFile file, uint64_t size, FileView* view) {
    if (size == 0 || size > SIZE_MAX) return false;
    HANDLE mapping = CreateFileMappingW(AsHandle(file), nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
    if (!mapping) return false;
    // The view keeps the mapping alive; its own handle of the file keeps the
    // file's sharing (read, not write) as long as it lasts.
    void* bytes = MapViewOfFile(mapping, FILE_MAP_COPY, 0, 0, static_cast<SIZE_T>(size));
    CloseHandle(mapping);
    HANDLE held = nullptr;
    if (!bytes || !DuplicateHandle(GetCurrentProcess(), AsHandle(file), GetCurrentProcess(), &held, 0,
                                   FALSE, DUPLICATE_SAME_ACCESS)) {
        if (bytes) UnmapViewOfFile(bytes);
        return false;
    }
    *view = FileView{bytes, static_cast<size_t>(size), reinterpret_cast<intptr_t>(held)};
    return true;
}

void UnmapView(const FileView& view) {
    UnmapViewOfFile(view.bytes);
    CloseHandle(reinterpret_cast<HANDLE>(view.file));
}

// Windows refuses to cut a file short while a view of it lives.
void EndCleanlyWhenAViewIsCutShort(const char*, int) {}

FileStamp StampOfPath(const char* path) {
    const WidePath wide = Widen(path);
    // Opened for its attributes only, which no other program's sharing
    // forbids; the identity needs an open file.
    HANDLE file = CreateFileW(wide.text, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        const bool known = GetFileInformationByHandle(file, &info) != FALSE;
        CloseHandle(file);
        if (known) return StampOfInformation(info);
    } else if (Absent(GetLastError())) {
        return FileStamp{};
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide.text, GetFileExInfoStandard, &data)) {
        FileStamp stamp{};
        stamp.exists = !Absent(GetLastError());
        return stamp;
    }
    return FileStamp{true, Join(data.nFileSizeHigh, data.nFileSizeLow),
                     WriteTime(data.ftLastWriteTime), false, 0, 0};
}

bool IsFolder(const char* path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).text);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ResolveFullPath(const char* path, char* full, size_t size) {
    const WidePath wide = Widen(path);
    if (!wide.text[0]) return false;
    static wchar_t resolved[RULE_PATH_BYTES];  // the host's one thread only
    const DWORD length = GetFullPathNameW(wide.text, RULE_PATH_BYTES, resolved, nullptr);
    return length > 0 && length < RULE_PATH_BYTES && Narrow(resolved, full, size);
}

FileProblem CheckReplaceable(const char* path) {
    const WidePath wide = Widen(path);
    if (!wide.text[0]) return FileProblem::PathTooLong;
    const DWORD attributes = GetFileAttributesW(wide.text);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Absent: created by the move. Anything else is left to the write.
        return LastProblem() == FileProblem::Held ? FileProblem::Held : FileProblem::None;
    }
    // Checked here because Wine would let the move replace a read-only file.
    if (attributes & FILE_ATTRIBUTE_READONLY) return FileProblem::ReadOnly;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileProblem::Other;
    // Opening the target for writing, as an in-place save would, tells us
    // whether someone else holds it without shared writing.
    HANDLE probe = CreateFileW(wide.text, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_ACCESS_DENIED ? AccessDeniedOnFile(wide.text) : ProblemOf(error);
    }
    CloseHandle(probe);
    return FileProblem::None;
}

FileProblem CopyToNewFile(const char* from, const char* to) {
    const WidePath wideTo = Widen(to);
    if (CopyFileW(Widen(from).text, wideTo.text, TRUE)) return FileProblem::None;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return FileProblem::Other;
    // A copy cut off part-way (a locked range, a full disk) may have left its start.
    DeleteFileW(wideTo.text);
    return ProblemOf(error);
}

bool RenameToNewName(const char* from, const char* to) {
    return MoveFileW(Widen(from).text, Widen(to).text) != FALSE;
}

FileProblem WriteTemporary(const char* temporary, const void* data, size_t size, const char*) {
    const WidePath wide = Widen(temporary);
    if (!wide.text[0]) return FileProblem::PathTooLong;
    HANDLE file = CreateFileW(wide.text, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastProblem();
    FileProblem problem = FileProblem::None;
    DWORD written = 0;
    if (size > 0 && !WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr)) {
        problem = LastProblem();
    } else if (written != size) {
        problem = FileProblem::DiskFull;  // a short write without an error
    } else if (!FlushFileBuffers(file)) {
        problem = LastProblem();
    }
    if (!CloseHandle(file) && problem == FileProblem::None) problem = LastProblem();
    if (problem != FileProblem::None) DeleteFileW(wide.text);
    return problem;
}

FileProblem ReplaceWithTemporary(const char* temporary, const char* target) {
    if (MoveFileExW(Widen(temporary).text, Widen(target).text,
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return FileProblem::None;
    }
    // The temporary file was just written in the same folder and the target
    // was checked writable: access denied is another program's open handle.
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED ? FileProblem::Held : ProblemOf(error);
}

void RemoveFile(const char* path) { DeleteFileW(Widen(path).text); }

void PauseMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

void VisitNamesStartingWith(const char* folder, const char* prefix, VisitName visit,
                            void* context) {
    char pattern[RULE_PATH_BYTES];
    const int length = std::snprintf(pattern, sizeof pattern, "%s%s*", folder, prefix);
    if (length < 0 || static_cast<size_t>(length) >= sizeof pattern) return;
    const size_t prefixLength = std::strlen(prefix);

    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Widen(pattern).text, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        char name[MAX_PATH * 3];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            Narrow(found.cFileName, name, sizeof name) &&
            std::strncmp(name, prefix, prefixLength) == 0) {
            visit(context, name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

CalendarTime LocalTimeNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return CalendarTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool UserRecoveryFolder(char* folder, size_t size, bool make) {
    wchar_t path[MAX_PATH + 16];
    const DWORD room = MAX_PATH;
    DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", path, room);
    if (length == 0 || length >= room) length = GetEnvironmentVariableW(L"APPDATA", path, room);
    if (length == 0 || length >= room) length = GetTempPathW(room, path);
    if (length == 0 || length >= room) return false;
    if (path[length - 1] == L'\\') path[--length] = 0;
    std::wcscpy(path + length, L"\\Torvo");
    if (!make) {
        const DWORD attributes = GetFileAttributesW(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return false;
        }
    } else if (!CreateDirectoryW(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    std::wcscat(path, L"\\");
    return Narrow(path, folder, size);
}

#endif  // _WIN32
