// Rule file access through the Windows file calls.
#ifdef _WIN32

#include "rules/file_access.h"

#include <windows.h>

#include <cstdint>

namespace {

HANDLE AsHandle(ReadableFile file) { return reinterpret_cast<HANDLE>(file.handle); }

}  // namespace

bool OpenExistingForReading(const char* path, ReadableFile* file) {
    HANDLE opened = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    file->handle = reinterpret_cast<intptr_t>(opened);
    return true;
}

uint32_t ReadableFileSize(ReadableFile file) {
    DWORD high = 0;
    const DWORD size = GetFileSize(AsHandle(file), &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return high != 0 ? 0xFFFFFFFFu : size;
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

bool TargetIsReplaceable(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // absent: created by the move
    // Checked here because Wine would let the move replace a read-only file.
    if (attributes & FILE_ATTRIBUTE_READONLY) return false;
    // Opening the target for writing, as an in-place save would, tells us
    // whether someone else holds it without shared writing.
    HANDLE probe = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    return true;
}

bool WriteAndReplace(const char* temporary, const char* target, const void* data, size_t size) {
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool complete =
        size == 0 || (WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) &&
                      written == size);
    const bool durable = complete && FlushFileBuffers(file);
    CloseHandle(file);

    if (!durable ||
        !MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary);
        return false;
    }
    return true;
}

#endif  // _WIN32
