// The rule file: the records of the list, 460 bytes each, in list order,
// with no header. A trailing part record is ignored. The platform's own file
// calls are in file_access_*.cpp.
#include "rules/rule_file.h"

#include "rules/file_access.h"
#include "rules/rule_array.h"

#include <cstdlib>
#include <cstring>

namespace {

// The longest path Windows' ANSI file calls take, with its terminator.
constexpr size_t PATH_LIMIT = 260;
constexpr char TEMPORARY_SUFFIX[] = ".saving";

}  // namespace

int32_t ReadRuleRecords(const char* path, RuleFileContents* contents) {
    ReadableFile file;
    if (!OpenExistingForReading(path, &file)) return -1;

    const uint32_t size = ReadableFileSize(file);
    const uint32_t count = size / RULE_SIZE;
    // Room for additions comes first (pages never written cost nothing);
    // without memory for it, the exact size.
    uint32_t capacity = RoomyCapacity(count);
    auto* loaded = static_cast<_RULE*>(std::malloc(size_t{capacity} * sizeof(_RULE)));
    if (!loaded && count > 0) {
        capacity = count;
        loaded = static_cast<_RULE*>(std::malloc(size_t{capacity} * sizeof(_RULE)));
    }
    if (!loaded) {
        CloseReadable(file);
        return -1;
    }
    const size_t bytesRead = count > 0 ? ReadFromStart(file, loaded, size_t{count} * RULE_SIZE) : 0;
    CloseReadable(file);

    contents->records = loaded;
    contents->count = static_cast<uint32_t>(bytesRead / RULE_SIZE);  // only whole records read
    contents->capacity = capacity;
    contents->trailingBytes = size % RULE_SIZE;
    return 0;
}

int32_t LoadRules(const char* path) {
    // Read before letting go of the current list, so a failure keeps it.
    RuleFileContents contents;
    if (ReadRuleRecords(path, &contents) != 0) return -1;
    FreeRules();
    g_rules = contents.records;
    g_ruleCount = contents.count;
    g_ruleCapacity = contents.capacity;
    MarkRulesChanged();
    return 0;
}

int32_t WriteRuleRecords(const char* path, const _RULE* records, uint32_t count) {
    // The list goes to a file beside the target first and replaces it in one
    // step, so a failed write never leaves the operator with a cut-off list.
    char temporary[PATH_LIMIT];
    const size_t pathLength = std::strlen(path);
    if (pathLength + sizeof TEMPORARY_SUFFIX > sizeof temporary) return -1;
    std::memcpy(temporary, path, pathLength);
    std::memcpy(temporary + pathLength, TEMPORARY_SUFFIX, sizeof TEMPORARY_SUFFIX);

    if (!TargetIsReplaceable(path)) return -1;
    if (!WriteAndReplace(temporary, path, records, size_t{count} * RULE_SIZE)) return -1;
    return 0;
}

int32_t SaveRules(const char* path) { return WriteRuleRecords(path, g_rules, g_ruleCount); }
