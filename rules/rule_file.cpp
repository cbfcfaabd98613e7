// The rule file: the records of the list, 460 bytes each, in list order,
// with no header. A trailing part record is ignored. The platform's own file
// calls are in file_access_*.cpp.
#include "rules/rule_file.h"

#include "rules/rule_array.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

RuleFileState g_ruleFile = {};

namespace {

// Waits between tries at a file another program holds: about a second in
// all, enough for a scanner or sync client that opens a fresh file briefly.
constexpr uint32_t BUSY_WAITS_MS[] = {10, 20, 40, 80, 150, 250, 450};
// Kept versions take the first free name of ".bak", ".bak2" ... ".bak9".
constexpr uint32_t KEPT_NAMES = 9;

enum class ReadOutcome { Read, Absent, Failed };

ReadOutcome ReadWholeFile(const char* path, RuleFileContents* contents, FileStamp* stamp) {
    ReadableFile file;
    switch (OpenExistingForReading(path, &file)) {
        case OpenOutcome::Opened: break;
        case OpenOutcome::Absent: return ReadOutcome::Absent;
        case OpenOutcome::Refused: return ReadOutcome::Failed;
    }
    FileStamp opened;
    if (!ReadableFileStamp(file, &opened) || opened.size > 0xFFFFFFFFu) {
        CloseReadable(file);
        return ReadOutcome::Failed;
    }
    const auto size = static_cast<uint32_t>(opened.size);
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
        return ReadOutcome::Failed;
    }
    const size_t wanted = size_t{count} * RULE_SIZE;
    const size_t bytesRead = count > 0 ? ReadFromStart(file, loaded, wanted) : 0;
    CloseReadable(file);
    // A read cut off part-way (a locked range, a dropped share) is no list:
    // taking the records read so far would later replace the file with them.
    if (bytesRead != wanted) {
        std::free(loaded);
        return ReadOutcome::Failed;
    }
    contents->records = loaded;
    contents->count = count;
    contents->capacity = capacity;
    contents->trailingBytes = size % RULE_SIZE;
    *stamp = opened;
    return ReadOutcome::Read;
}

void TakeList(const RuleFileContents& contents) {
    FreeRules();
    g_rules = contents.records;
    g_ruleCount = contents.count;
    g_ruleCapacity = contents.capacity;
    MarkRulesChanged();
    g_rulesEdited = false;
}

// `path` with `suffix` and, from the second on, a number: "x.bak", "x.bak2".
bool NameBeside(const char* path, const char* suffix, uint32_t number,
                char (&name)[RULE_PATH_BYTES]) {
    const size_t pathLength = std::strlen(path);
    const size_t suffixLength = std::strlen(suffix);
    const size_t numberLength = number > 1 ? 1 : 0;
    if (pathLength + suffixLength + numberLength >= sizeof name) return false;
    std::memcpy(name, path, pathLength);
    std::memcpy(name + pathLength, suffix, suffixLength);
    if (numberLength) name[pathLength + suffixLength] = static_cast<char>('0' + number);
    name[pathLength + suffixLength + numberLength] = '\0';
    return true;
}

// Tries `step` until it is done or fails for good, waiting while another
// program holds the file; the waits are shared by every step of one save.
struct BusyWaits {
    size_t taken = 0;
};

template <typename Step>
bool TryWhileBusy(BusyWaits& waits, Step step) {
    for (;;) {
        const FileStep outcome = step();
        if (outcome != FileStep::Busy) return outcome == FileStep::Done;
        if (waits.taken == std::size(BUSY_WAITS_MS)) return false;
        PauseMilliseconds(BUSY_WAITS_MS[waits.taken++]);
    }
}

// Copies the file at `path` to the first free name beside it; `kept` names it.
bool KeepCopy(const char* path, BusyWaits& waits, char (&kept)[RULE_PATH_BYTES]) {
    for (uint32_t number = 1; number <= KEPT_NAMES; ++number) {
        if (!NameBeside(path, RULE_FILE_BACKUP_SUFFIX, number, kept)) return false;
        if (StampOfPath(kept).exists) continue;
        return TryWhileBusy(waits, [&] { return CopyToNewFile(path, kept); });
    }
    return false;
}

// Moves `leftover` to the first free name beside `path`.
bool KeepRenamed(const char* path, const char* leftover) {
    char kept[RULE_PATH_BYTES];
    for (uint32_t number = 1; number <= KEPT_NAMES; ++number) {
        if (!NameBeside(path, RULE_FILE_INTERRUPTED_SUFFIX, number, kept)) return false;
        if (StampOfPath(kept).exists) continue;
        return RenameToNewName(leftover, kept);
    }
    return false;
}

struct SaveOptions {
    bool keepPrevious;  // copy the file now in place aside first
    bool keepLeftover;  // a ".saving" already there may be the only copy of a list
};

bool WriteList(const char* path, const _RULE* records, uint32_t count, SaveOptions options,
               FileStamp* written) {
    // The list goes to a file beside the target first and replaces it in one
    // step, so a failed write never leaves the operator with a cut-off list.
    char temporary[RULE_PATH_BYTES];
    if (!NameBeside(path, RULE_FILE_SAVING_SUFFIX, 1, temporary)) return false;

    BusyWaits waits;
    if (!TryWhileBusy(waits, [&] { return CheckReplaceable(path); })) return false;
    char kept[RULE_PATH_BYTES] = "";
    if (options.keepPrevious && StampOfPath(path).exists && !KeepCopy(path, waits, kept)) {
        return false;
    }
    const auto giveUp = [&] {
        if (kept[0]) RemoveFile(kept);  // the file it copies is still in place
        return false;
    };
    if (options.keepLeftover && StampOfPath(temporary).exists && !KeepRenamed(path, temporary)) {
        return giveUp();
    }
    if (!WriteTemporary(temporary, records, size_t{count} * RULE_SIZE)) return giveUp();
    if (!TryWhileBusy(waits, [&] { return ReplaceWithTemporary(temporary, path); })) {
        RemoveFile(temporary);
        return giveUp();
    }
    if (written) *written = StampOfPath(path);
    return true;
}

bool LoadBoundFile() {
    RuleFileContents contents;
    FileStamp stamp;
    switch (ReadWholeFile(g_ruleFile.path, &contents, &stamp)) {
        case ReadOutcome::Read:
            TakeList(contents);
            g_ruleFile.known = stamp;
            break;
        case ReadOutcome::Absent:
            // No file: the list (empty at load) stands as a list of no rules.
            g_ruleFile.known = FileStamp{false, 0, 0};
            break;
        case ReadOutcome::Failed:
            g_ruleFile.unread = true;
            return false;
    }
    g_ruleFile.unread = false;
    return true;
}

}  // namespace

bool ReadRuleRecords(const char* path, RuleFileContents* contents) {
    FileStamp stamp;
    return ReadWholeFile(path, contents, &stamp) == ReadOutcome::Read;
}

bool LoadRules(const char* path) {
    // Read before letting go of the current list, so a failure keeps it.
    RuleFileContents contents;
    FileStamp stamp;
    if (ReadWholeFile(path, &contents, &stamp) != ReadOutcome::Read) return false;
    TakeList(contents);
    return true;
}

bool WriteRuleRecords(const char* path, const _RULE* records, uint32_t count) {
    const bool absent = !StampOfPath(path).exists;
    return WriteList(path, records, count, SaveOptions{false, absent}, nullptr);
}

bool SaveRules(const char* path) {
    if (!WriteRuleRecords(path, g_rules, g_ruleCount)) return false;
    g_rulesEdited = false;
    return true;
}

bool OpenRuleFile(const char* path) {
    // Once, at load: the host's file dialogs may move the current folder
    // later, and the list belongs to the folder it came from.
    if (!ResolveFullPath(path, g_ruleFile.path, sizeof g_ruleFile.path)) {
        const size_t length = std::strlen(path);
        if (length >= sizeof g_ruleFile.path) return false;
        std::memcpy(g_ruleFile.path, path, length + 1);
    }
    return LoadBoundFile();
}

void RetryRuleFileLoad() {
    if (g_ruleFile.unread && !g_rulesEdited) LoadBoundFile();
}

bool SaveRuleFile() {
    if (g_ruleFile.path[0] == '\0') return false;
    RetryRuleFileLoad();
    const FileStamp onDisk = StampOfPath(g_ruleFile.path);
    // Unedited, the list is what the file held (or less, when it could not
    // be read); another program may have put a newer list there since.
    if (onDisk.exists && !g_rulesEdited) return true;
    SaveOptions options;
    options.keepPrevious =
        onDisk.exists && (g_ruleFile.unread || !SameStamp(onDisk, g_ruleFile.known));
    options.keepLeftover = !onDisk.exists || g_ruleFile.unread;
    FileStamp written;
    if (!WriteList(g_ruleFile.path, g_rules, g_ruleCount, options, &written)) return false;
    g_ruleFile.known = written;
    g_ruleFile.unread = false;
    g_rulesEdited = false;
    return true;
}
