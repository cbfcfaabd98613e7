// The rule file: the records of the list, 460 bytes each, in list order,
// with no header. A trailing part record is ignored.
#include "rules/rule_array.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

int32_t LoadRules(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;

    const DWORD size = GetFileSize(file, nullptr);
    const DWORD count = size == INVALID_FILE_SIZE ? 0 : size / RULE_SIZE;
    // Allocate before letting go of the current list, so a failure keeps it.
    // Room for additions comes first; pages never written cost nothing.
    uint32_t capacity = RoomyCapacity(count);
    auto* loaded = static_cast<_RULE*>(std::malloc(capacity * sizeof(_RULE)));
    if (!loaded && count > 0) {
        capacity = count;
        loaded = static_cast<_RULE*>(std::malloc(capacity * sizeof(_RULE)));
    }
    if (!loaded) {
        CloseHandle(file);
        return -1;
    }
    // Read straight into the block, a piece at a time. Each piece's fresh
    // pages are first claimed with one write apiece: faulting them in inside
    // the read costs half again as much under Wine.
    constexpr DWORD PIECE_BYTES = 1 << 20;
    constexpr DWORD PAGE_BYTES = 4096;
    auto* bytes = reinterpret_cast<uint8_t*>(loaded);
    const DWORD wanted = count * RULE_SIZE;
    DWORD bytesRead = 0;
    while (bytesRead < wanted) {
        const DWORD piece = wanted - bytesRead < PIECE_BYTES ? wanted - bytesRead : PIECE_BYTES;
        volatile uint8_t* pages = bytes + bytesRead;
        for (DWORD offset = 0; offset < piece; offset += PAGE_BYTES) pages[offset] = 0;
        DWORD pieceRead = 0;
        if (!ReadFile(file, bytes + bytesRead, piece, &pieceRead, nullptr) || pieceRead == 0) break;
        bytesRead += pieceRead;
    }
    CloseHandle(file);

    FreeRules();
    g_rules = loaded;
    g_ruleCapacity = capacity;
    g_ruleCount = bytesRead / RULE_SIZE;  // only whole records actually read
    return 0;
}

namespace {

// Opening the target for writing, as the old in-place save did, tells us
// whether someone else holds it without shared writing.
bool TargetIsWritable(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // absent: created by the move
    // Checked here because Wine would let the move replace a read-only file.
    if (attributes & FILE_ATTRIBUTE_READONLY) return false;
    HANDLE probe = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    return true;
}

bool WriteAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    if (size == 0) return true;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

int32_t SaveRules(const char* path) {
    // The list goes to a file beside the target first and replaces it in one
    // step, so a failed write never leaves the operator with a cut-off list.
    constexpr char suffix[] = ".saving";
    char temporary[MAX_PATH];
    const size_t pathLength = std::strlen(path);
    if (pathLength + sizeof suffix > sizeof temporary) return -1;
    std::memcpy(temporary, path, pathLength);
    std::memcpy(temporary + pathLength, suffix, sizeof suffix);

    if (!TargetIsWritable(path)) return -1;
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    const bool written = WriteAll(file, g_rules, g_ruleCount * RULE_SIZE) && FlushFileBuffers(file);
    CloseHandle(file);

    if (!written || !MoveFileExA(temporary, path,
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary);
        return -1;
    }
    return 0;
}
