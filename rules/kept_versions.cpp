#include "rules/kept_versions.h"

#include "rules/rule_file.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t NAMES_PER_SECOND = 99;

void CountKept(void* context, const char* name) {
    auto& census = *static_cast<KeptCensus*>(context);
    if (!IsKeptName(name, census.file, census.kind)) return;
    if (census.skipped && std::strcmp(name, census.skipped) == 0) return;
    if (census.count == 0 || std::strcmp(name, census.oldest) < 0) {
        std::snprintf(census.oldest, sizeof census.oldest, "%s", name);
    }
    ++census.count;
}

}  // namespace

bool Joined(const char* first, const char* second, PathText& joined) {
    const size_t firstLength = std::strlen(first);
    const size_t secondLength = std::strlen(second);
    if (firstLength + secondLength >= sizeof joined) return false;
    std::memmove(joined, first, firstLength);
    std::memcpy(joined + firstLength, second, secondLength + 1);
    return true;
}

const char* NameOf(const char* path) {
    const char* name = path;
    for (const char* at = path; *at; ++at) {
        if (*at == '\\' || *at == '/') name = at + 1;
    }
    return name;
}

void FolderOf(const char* path, PathText& folder) {
    const size_t length = static_cast<size_t>(NameOf(path) - path);
    std::memcpy(folder, path, length);
    folder[length] = '\0';
}

bool FreeKeptName(const char* folder, const char* file, const char* kind, PathText& name) {
    const CalendarTime now = LocalTimeNow();
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d-%02d-%02d", now.year, now.month,
                  now.day, now.hour, now.minute, now.second);
    for (uint32_t number = 1; number <= NAMES_PER_SECOND; ++number) {
        char counter[8] = "";
        if (number > 1) std::snprintf(counter, sizeof counter, "_%02u", number);
        const int length =
            std::snprintf(name, sizeof name, "%s%s.%s%s.%s", folder, file, stamp, counter, kind);
        if (length < 0 || static_cast<size_t>(length) >= sizeof name) return false;
        if (!StampOfPath(name).exists) return true;
    }
    return false;
}

bool FreeKeptNameBeside(const char* path, const char* kind, PathText& name) {
    PathText folder;
    FolderOf(path, folder);
    return FreeKeptName(folder, NameOf(path), kind, name);
}

bool IsKeptName(const char* name, const char* file, const char* kind) {
    const size_t fileLength = std::strlen(file);
    if (std::strncmp(name, file, fileLength) != 0 || name[fileLength] != '.') return false;
    const char* stamp = name + fileLength + 1;
    constexpr char PATTERN[] = "9999-99-99_99-99-99";
    for (size_t i = 0; i < KEPT_STAMP_CHARS; ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (PATTERN[i] == '9' ? !digit : stamp[i] != PATTERN[i]) return false;
    }
    const char* rest = stamp + KEPT_STAMP_CHARS;
    if (rest[0] == '_' && rest[1] >= '0' && rest[1] <= '9' && rest[2] >= '0' && rest[2] <= '9') {
        rest += KEPT_NUMBER_CHARS;
    }
    return rest[0] == '.' && std::strcmp(rest + 1, kind) == 0;
}

KeptCensus TakeCensus(const char* folder, const char* file, const char* kind, const char* skipped) {
    KeptCensus census{file, kind, skipped, 0, ""};
    VisitNamesStartingWith(folder, file, CountKept, &census);
    return census;
}

void DropOldestKept(const char* folder, const char* file, const char* kind) {
    for (uint32_t round = 0; round < 1000; ++round) {
        const KeptCensus census = TakeCensus(folder, file, kind, nullptr);
        if (census.count <= KEPT_VERSIONS) return;
        PathText oldest;
        if (!Joined(folder, census.oldest, oldest)) return;
        RemoveFile(oldest);
        if (StampOfPath(oldest).exists) return;  // cannot be removed: leave the rest
    }
}

void DropOldestKeptBeside(const char* path, const char* kind) {
    PathText folder;
    FolderOf(path, folder);
    DropOldestKept(folder, NameOf(path), kind);
}
