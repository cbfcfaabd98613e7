// The rule file: the records of the list, 460 bytes each, in list order,
// with no header. A trailing part record is ignored. Reading a whole file is
// in rule_file_reading.cpp, the versions kept beside the file in
// kept_versions.cpp, the platform's own file calls in file_access_*.cpp.
#include "rules/rule_file.h"

#include "rules/rule_array.h"
#include "rules/kept_versions.h"
#include "rules/rule_edits.h"

#include <cstdlib>
#include <cstring>

RuleFileState g_ruleFile = {};

namespace {

// Puts `contents` in force as the list read from the file.
void TakeList(const RuleFileContents& contents) {
    FreeRules();
    g_rules = contents.records;
    g_ruleCount = contents.count;
    g_ruleCapacity = contents.capacity;
    MarkRulesChanged();
    g_rulesEdited = false;
}

// Puts `contents` in force as another version with the operator's edits
// made on it: still edited, with the same edits pending, as they are what
// distinguishes it from that version.
void TakeMergedList(const RuleFileContents& contents) {
    std::free(g_rules);
    g_rules = contents.records;
    g_ruleCount = contents.count;
    g_ruleCapacity = contents.capacity;
    MarkRulesChanged();
    g_rulesEdited = true;
}

struct SaveOptions {
    bool keepPrevious;  // copy the file now in place aside first
    bool keepLeftover;  // a ".saving" already there may be the only copy of a list
    bool keepTemporary;  // a complete ".saving" that could not be put in place stays
};

struct WriteOutcome {
    FileProblem problem;
    bool temporaryLeft;  // the complete new list is still in ".saving"
};

WriteOutcome WriteList(const char* path, const _RULE* records, uint32_t count,
                       SaveOptions options, FileStamp* written, PathText* keptVersion) {
    // The list replaces the file in one step (file_replace.h), so a failed
    // write never leaves the operator with a cut-off list. The version it
    // replaces is copied aside in between, sharing the waits.
    Replacement replacement;
    FileProblem problem = StartReplacement(path, &replacement);
    if (problem != FileProblem::None) return {problem, false};
    const char* temporary = replacement.temporary;

    PathText kept = "";
    if (options.keepPrevious && StampOfPath(path).exists) {
        if (!FreeKeptNameBeside(path, KEPT_BACKUP, kept)) return {FileProblem::Other, false};
        problem = TryWhileHeld(replacement, [&] { return CopyToNewFile(path, kept); });
        if (problem != FileProblem::None) return {problem, false};
    }
    // Before anything is lost, the copy goes again: the file it copies is
    // still in place.
    const auto giveUp = [&](FileProblem why, bool temporaryLeft) {
        if (kept[0]) RemoveFile(kept);
        return WriteOutcome{why, temporaryLeft};
    };
    if (options.keepLeftover && StampOfPath(temporary).exists) {
        PathText leftover;
        if (!FreeKeptNameBeside(path, KEPT_INTERRUPTED, leftover) ||
            !RenameToNewName(temporary, leftover)) {
            return giveUp(FileProblem::Other, false);
        }
        DropOldestKeptBeside(path, KEPT_INTERRUPTED);
    }
    const ReplacementOutcome outcome = FinishReplacement(
        replacement, records, size_t{count} * RULE_SIZE, options.keepTemporary);
    if (outcome.problem != FileProblem::None) {
        return giveUp(outcome.problem, outcome.temporaryLeft);
    }
    if (kept[0]) DropOldestKeptBeside(path, KEPT_BACKUP);
    if (written) *written = StampOfPath(path);
    if (keptVersion) std::memcpy(*keptVersion, kept, sizeof kept);
    return {FileProblem::None, false};
}

bool LoadBoundFile() {
    RuleFileContents contents;
    FileStamp stamp;
    switch (ReadRuleFileWhole(g_ruleFile.path, &contents, &stamp)) {
        case RuleFileRead::Read:
            TakeList(contents);
            g_ruleFile.known = stamp;
            break;
        case RuleFileRead::Absent:
            // No file: the list (empty at load) stands as a list of no rules.
            g_ruleFile.known = FileStamp{};
            break;
        case RuleFileRead::Failed:
            g_ruleFile.unread = true;
            return false;
    }
    g_ruleFile.unread = false;
    return true;
}

// The list as it is now, into `copy`: by moving a complete ".saving" that
// could not be put in place, or by writing it out.
bool KeepListAs(const char* copy, bool temporaryLeft, const char* temporary) {
    if (!temporaryLeft &&
        WriteTemporary(temporary, g_rules, size_t{g_ruleCount} * RULE_SIZE, nullptr) !=
            FileProblem::None) {
        return false;
    }
    if (ReplaceWithTemporary(temporary, copy) == FileProblem::None) return true;
    RemoveFile(temporary);
    return false;
}

// Keeps the list that could not be saved: beside the rule file when its
// folder takes it, else in the user's recovery folder. This session keeps
// one such copy, rewritten at each failure; its kind says whether the
// operator was told of it.
void KeepUnsavedList(SaveAudience audience, bool temporaryLeft, SaveReport* report) {
    const char* kind = audience == SaveAudience::Operator ? KEPT_RECOVERY : KEPT_UNSAVED;
    const char* file = NameOf(g_ruleFile.path);
    PathText folder;
    FolderOf(g_ruleFile.path, folder);
    PathText ownFolder;
    FolderOf(g_ruleFile.recoveryCopy, ownFolder);
    // This session's copy of the same kind beside the file is rewritten in
    // place, so a path the operator was told stays true.
    const bool rewriteOwn = g_ruleFile.recoveryCopy[0] && std::strcmp(ownFolder, folder) == 0 &&
                            IsKeptName(NameOf(g_ruleFile.recoveryCopy), file, kind);
    PathText copy;
    PathText temporary;
    bool kept = false;
    if (Joined(g_ruleFile.path, REPLACEMENT_SUFFIX, temporary)) {
        if (rewriteOwn) {
            std::memcpy(copy, g_ruleFile.recoveryCopy, sizeof copy);
            kept = KeepListAs(copy, temporaryLeft, temporary);
        } else {
            kept = FreeKeptName(folder, file, kind, copy) &&
                   KeepListAs(copy, temporaryLeft, temporary);
        }
    }
    if (!kept) {
        if (temporaryLeft) RemoveFile(temporary);
        kept = UserRecoveryFolder(folder, sizeof folder, true) &&
               FreeKeptName(folder, file, kind, copy) &&
               WriteTemporary(copy, g_rules, size_t{g_ruleCount} * RULE_SIZE, nullptr) ==
                   FileProblem::None;
    }
    if (!kept) copy[0] = '\0';
    if (kept && g_ruleFile.recoveryCopy[0] && std::strcmp(copy, g_ruleFile.recoveryCopy) != 0) {
        RemoveFile(g_ruleFile.recoveryCopy);  // an older state of the same list
    }
    if (kept) {
        std::memcpy(g_ruleFile.recoveryCopy, copy, sizeof copy);
        DropOldestKept(folder, file, kind);
    }
    if (report) std::memcpy(report->recoveryCopy, copy, sizeof copy);
}

// Whether the file on disk, stamped `onDisk`, is not what the list was last
// read from or written to: another program's version, or a file the last
// load could not read.
bool IsAnotherVersion(const FileStamp& onDisk) {
    return onDisk.exists && (g_ruleFile.unread || !SameStamp(onDisk, g_ruleFile.known));
}

// Another program's version of the file (or the file a load could not
// read) with the operator's edits made on it becomes the list. False when
// it cannot be read whole or the edits cannot be made again: the list then
// replaces it as it is, keeping it beside.
bool MergeOtherVersion(SaveReport* report) {
    if (!RuleEditsComplete()) return false;
    RuleFileContents other;
    FileStamp stamp;
    if (ReadRuleFileWhole(g_ruleFile.path, &other, &stamp) != RuleFileRead::Read) return false;
    LostChanges lost;
    if (!ReplayRuleEdits(other, lost)) {
        std::free(other.records);
        return false;
    }
    TakeMergedList(other);
    g_ruleFile.known = stamp;
    g_ruleFile.unread = false;
    g_ruleFile.keepKnownVersion = lost.count > 0;
    if (report) {
        report->listReplaced = true;
        report->lost = lost;
    }
    return true;
}

// The first unreported copy in `folder`, not this session's own, renamed.
bool TakeUnreportedIn(const char* folder, PathText& reported) {
    const char* file = NameOf(g_ruleFile.path);
    const char* own = g_ruleFile.recoveryCopy[0] ? NameOf(g_ruleFile.recoveryCopy) : nullptr;
    const KeptCensus census = TakeCensus(folder, file, KEPT_UNSAVED, own);
    PathText unsaved;
    if (census.count == 0 || !Joined(folder, census.oldest, unsaved)) return false;
    // The same name with the other kind: ".unsaved" becomes ".recovery".
    const size_t stem = std::strlen(unsaved) - (sizeof KEPT_UNSAVED - 1);
    if (stem + sizeof KEPT_RECOVERY > sizeof reported) return false;
    std::memcpy(reported, unsaved, stem);
    std::memcpy(reported + stem, KEPT_RECOVERY, sizeof KEPT_RECOVERY);
    if (!RenameToNewName(unsaved, reported)) return false;
    DropOldestKept(folder, file, KEPT_RECOVERY);
    return true;
}

}  // namespace

bool LoadRules(const char* path) {
    // Read before letting go of the current list, so a failure keeps it.
    RuleFileContents contents;
    FileStamp stamp;
    if (ReadRuleFileWhole(path, &contents, &stamp) != RuleFileRead::Read) return false;
    TakeList(contents);
    return true;
}

bool WriteRuleRecords(const char* path, const _RULE* records, uint32_t count) {
    const bool absent = !StampOfPath(path).exists;
    return WriteList(path, records, count, SaveOptions{false, absent, false}, nullptr, nullptr)
               .problem == FileProblem::None;
}

bool SaveRules(const char* path) {
    if (!WriteRuleRecords(path, g_rules, g_ruleCount)) return false;
    g_rulesEdited = false;
    ForgetRuleEdits();
    return true;
}

bool OpenRuleFile(const char* path) {
    // Once, at load: the host's file dialogs may move the current folder
    // later, and the list belongs to the folder it came from. A path too
    // long for the names kept beside it is not taken: it could be read but
    // never saved.
    g_ruleFile.path[0] = '\0';
    PathText full;
    if (!ResolveFullPath(path, full, sizeof full)) return false;
    if (std::strlen(full) > RULE_FILE_PATH_MOST) return false;
    std::memcpy(g_ruleFile.path, full, sizeof full);
    return LoadBoundFile();
}

bool RuleFileLookDue(uint32_t nowMs) {
    return g_ruleFile.path[0] != '\0' &&
           (!g_ruleFile.looked || nowMs - g_ruleFile.lastLookMs >= RULE_FILE_LOOK_INTERVAL_MS);
}

FileLook LookAtRuleFile(uint32_t nowMs, bool now) {
    if (g_ruleFile.path[0] == '\0') return FileLook::Unchanged;
    if (!now && !RuleFileLookDue(nowMs)) return FileLook::Unchanged;
    g_ruleFile.looked = true;
    g_ruleFile.lastLookMs = nowMs;
    // A file that vanished leaves the list in force; the next save puts it back.
    if (!IsAnotherVersion(StampOfPath(g_ruleFile.path))) return FileLook::Unchanged;
    if (g_rulesEdited) return FileLook::ChangedUnderEdits;
    return LoadBoundFile() ? FileLook::Reloaded : FileLook::Unchanged;
}

SaveResult SaveRuleFile(SaveAudience audience, SaveReport* report) {
    if (report) *report = SaveReport{};
    if (g_ruleFile.path[0] == '\0') return SaveResult::NothingToSave;
    FileStamp onDisk = StampOfPath(g_ruleFile.path);
    // Unedited, the list is what the file held (or less, when it could not
    // be read); another program may have put a newer list there since.
    if (onDisk.exists && !g_rulesEdited) return SaveResult::NothingToSave;
    if (IsAnotherVersion(onDisk) && MergeOtherVersion(report)) onDisk = g_ruleFile.known;
    SaveOptions options;
    options.keepPrevious =
        IsAnotherVersion(onDisk) || (onDisk.exists && g_ruleFile.keepKnownVersion);
    options.keepLeftover = !onDisk.exists || g_ruleFile.unread;
    options.keepTemporary = true;
    FileStamp written;
    PathText keptVersion = "";
    const WriteOutcome outcome =
        WriteList(g_ruleFile.path, g_rules, g_ruleCount, options, &written, &keptVersion);
    if (outcome.problem != FileProblem::None) {
        if (report) report->problem = outcome.problem;
        KeepUnsavedList(audience, outcome.temporaryLeft, report);
        return SaveResult::Failed;
    }
    if (report) std::memcpy(report->keptVersion, keptVersion, sizeof keptVersion);
    g_ruleFile.known = written;
    g_ruleFile.unread = false;
    g_ruleFile.keepKnownVersion = false;
    g_rulesEdited = false;
    ForgetRuleEdits();
    // The list is in its file now: this session's copy of it is outdated.
    if (g_ruleFile.recoveryCopy[0]) {
        RemoveFile(g_ruleFile.recoveryCopy);
        g_ruleFile.recoveryCopy[0] = '\0';
    }
    return SaveResult::Saved;
}

bool TakeUnreportedRecoveryCopy(char (&reported)[RULE_PATH_BYTES]) {
    if (g_ruleFile.path[0] == '\0') return false;
    PathText folder;
    FolderOf(g_ruleFile.path, folder);
    if (TakeUnreportedIn(folder, reported)) return true;
    return UserRecoveryFolder(folder, sizeof folder, false) &&
           TakeUnreportedIn(folder, reported);
}
