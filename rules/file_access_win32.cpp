// Rule file access through the Windows file calls.
#ifdef _WIN32

#include "rules/file_access.h"

#include <windows.h>

#include <cstdint>

namespace {

HANDLE AsHandle(ReadableFile file) { return reinterpret_cast<HANDLE>(file.handle); }

uint64_t Join(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

uint64_t WriteTime(const FILETIME& time) { return Join(time.dwHighDateTime, time.dwLowDateTime); }

// What a backup client, a scanner or a sync client holding the file makes
// the file calls answer.
bool HeldElsewhere(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

bool Absent(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

OpenOutcome OpenExistingForReading(const char* path, ReadableFile* file) {
    HANDLE opened = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
    *stamp = FileStamp{true, Join(info.nFileSizeHigh, info.nFileSizeLow),
                       WriteTime(info.ftLastWriteTime)};
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

FileStamp StampOfPath(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        return FileStamp{!Absent(GetLastError()), 0, 0};
    }
    return FileStamp{true, Join(data.nFileSizeHigh, data.nFileSizeLow),
                     WriteTime(data.ftLastWriteTime)};
}

bool ResolveFullPath(const char* path, char* full, size_t size) {
    const DWORD length = GetFullPathNameA(path, static_cast<DWORD>(size), full, nullptr);
    return length > 0 && length < size;
}

FileStep CheckReplaceable(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Absent: created by the move. Anything else is left to the write.
        return HeldElsewhere(GetLastError()) ? FileStep::Busy : FileStep::Done;
    }
    // Checked here because Wine would let the move replace a read-only file.
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return FileStep::Failed;
    // Opening the target for writing, as an in-place save would, tells us
    // whether someone else holds it without shared writing.
    HANDLE probe = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return HeldElsewhere(GetLastError()) ? FileStep::Busy : FileStep::Failed;
    }
    CloseHandle(probe);
    return FileStep::Done;
}

FileStep CopyToNewFile(const char* from, const char* to) {
    if (CopyFileA(from, to, TRUE)) return FileStep::Done;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return FileStep::Failed;
    // A copy cut off part-way (a locked range) may have left its start.
    DeleteFileA(to);
    return HeldElsewhere(error) ? FileStep::Busy : FileStep::Failed;
}

bool RenameToNewName(const char* from, const char* to) { return MoveFileA(from, to) != FALSE; }

bool WriteTemporary(const char* temporary, const void* data, size_t size) {
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool complete =
        size == 0 || (WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) &&
                      written == size);
    const bool durable = complete && FlushFileBuffers(file);
    CloseHandle(file);
    if (!durable) DeleteFileA(temporary);
    return durable;
}

FileStep ReplaceWithTemporary(const char* temporary, const char* target) {
    if (MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return FileStep::Done;
    }
    return HeldElsewhere(GetLastError()) ? FileStep::Busy : FileStep::Failed;
}

void RemoveFile(const char* path) { DeleteFileA(path); }

void PauseMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

#endif  // _WIN32
