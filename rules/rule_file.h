// The rule file: the list's records, 460 bytes each, in list order, with no
// header. A trailing part record is ignored. The module reads and writes it
// through OpenRuleFile and SaveRuleFile below (LoadRules and SaveRules act
// on any path); the rule-list tool reads and writes whole files of records
// with the same code. Paths are UTF-8 (file_access.h).
#pragma once

#include "rules/file_access.h"
#include "rules/file_replace.h"
#include "rules/rule.h"

#include <cstddef>
#include <cstdint>

// What a rule file held: `records` is a block from std::malloc (release it
// with std::free) with `count` whole records and room for `capacity`;
// `trailingBytes` is the size of the part record at the end, which no
// reader uses.
struct RuleFileContents {
    _RULE* records;
    uint32_t count;
    uint32_t capacity;
    uint32_t trailingBytes;
};

// False when the file cannot be opened (absent, held by another program for
// writing), read to its end, or held in memory; `contents` is then
// untouched. A file is never taken in part.
bool ReadRuleRecords(const char* path, RuleFileContents* contents);

enum class RuleFileRead { Read, Absent, Failed };
// The same, telling an absent file from one that cannot be read, and with
// the stamp of the version read (the module's loads compare it later).
RuleFileRead ReadRuleFileWhole(const char* path, RuleFileContents* contents, FileStamp* stamp);

// A rule file's whole records for a reader that adds none: a copy-on-write
// view of the file (file_access.h) where the system can map it, so that
// nothing is copied and only the records written to cost memory; the
// records read as ReadRuleRecords reads them where it cannot. What is
// written to them never reaches the file either way. The file is opened as
// ReadRuleRecords opens it, and a view keeps it so (others may read it, not
// write it) until the release.
struct MappedRuleRecords {
    _RULE* records;  // null when the file holds no whole record
    uint32_t count;
    uint32_t trailingBytes;
    FileView view;  // `bytes` null when the records are a block from std::malloc
};
// False, with `mapped` untouched, when ReadRuleRecords would fail. A file
// of no whole records (an empty one) gives none and keeps nothing.
bool MapRuleRecords(const char* path, MappedRuleRecords* mapped);
// Unmaps the view, or frees the block.
void ReleaseRuleRecords(const MappedRuleRecords& mapped);

// Writes `count` records to a file beside `path` and puts it in place in one
// step (file_replace.h), waiting about a second for a file another program
// holds. False
// with the previous file left as it was (no folder, a read-only file, a file
// held open or locked elsewhere all that time).
bool WriteRuleRecords(const char* path, const _RULE* records, uint32_t count);

// Reads the whole file at `path` into the rule array (rule_array.h). False
// when it is absent or cannot be read whole, and the array is left as it was.
bool LoadRules(const char* path);
// Writes the rule array to `path` whatever it holds. False on failure, with
// the previous file left as it was. The module saves through SaveRuleFile
// below, which decides whether to.
bool SaveRules(const char* path);

// Files kept beside the rule file, each "torvo.tdb.<date>_<time>.<kind>"
// (a number after the time when two fall in one second), so that the newest
// sorts last; the newest KEPT_VERSIONS of each kind stay:
//   bak          another program's version, copied aside before a save
//                replaced it
//   interrupted  a partly written list that a cut-off save left while the
//                rule file itself was missing or unreadable
//   recovery     a list that could not be saved, the operator told of it
//   unsaved      the same, left at unload or exit where nobody could be
//                told; the editor's next opening reports it and renames it
//                to a recovery copy
// While a save runs, the new list is written to "torvo.tdb.saving"
// (REPLACEMENT_SUFFIX).
constexpr char KEPT_BACKUP[] = "bak";
constexpr char KEPT_INTERRUPTED[] = "interrupted";
constexpr char KEPT_RECOVERY[] = "recovery";
constexpr char KEPT_UNSAVED[] = "unsaved";
constexpr uint32_t KEPT_VERSIONS = 10;
// "YYYY-MM-DD_HH-MM-SS", and "_NN" for the second and later name of one second.
constexpr size_t KEPT_STAMP_CHARS = 19;
constexpr size_t KEPT_NUMBER_CHARS = 3;
static_assert(sizeof KEPT_INTERRUPTED >= sizeof KEPT_RECOVERY &&
                  sizeof KEPT_INTERRUPTED >= sizeof KEPT_UNSAVED &&
                  sizeof KEPT_INTERRUPTED >= sizeof KEPT_BACKUP,
              "the longest kept name is an interrupted one");
// What the longest name kept beside a file adds to its path, with room for
// a ".saving" beside that name.
constexpr size_t LONGEST_KEPT_SUFFIX = 1 + KEPT_STAMP_CHARS + KEPT_NUMBER_CHARS + 1 +
                                       sizeof KEPT_INTERRUPTED + sizeof REPLACEMENT_SUFFIX;
// The longest path a rule file may have, in UTF-8 bytes without the
// terminator, so that every name kept beside it fits RULE_PATH_BYTES. On
// Windows such a path is reached through its long form (file_access.h).
constexpr size_t RULE_FILE_PATH_MOST = RULE_PATH_BYTES - 1 - LONGEST_KEPT_SUFFIX;

// The file the module's list comes from and goes back to.
struct RuleFileState {
    char path[RULE_PATH_BYTES];  // absolute, fixed at load; empty before
    bool unread;                 // it exists, but the last load could not take it whole
    FileStamp known;             // the file as the module last read or wrote it
    // This session's copy of a list that could not be saved; empty if none.
    // A later failure rewrites it, a successful save removes it.
    char recoveryCopy[RULE_PATH_BYTES];
    // The version `known` stamps is to be kept beside as a backup when the
    // list replaces it: an edit could not be made on it.
    bool keepKnownVersion;
    bool looked;          // LookAtRuleFile ran, at lastLookMs
    uint32_t lastLookMs;
};
extern RuleFileState g_ruleFile;

// Resolves `path` against the current folder once, keeps it for every later
// load and save, and loads the list from it. An absent file is a list of no
// rules. False when the file exists but could not be read whole (the list
// stays as it was and the file is marked unread), or when the path is too
// long to keep.
bool OpenRuleFile(const char* path);
// How often the file is looked at for another program's version, at most.
constexpr uint32_t RULE_FILE_LOOK_INTERVAL_MS = 1000;

enum class FileLook {
    Unchanged,     // also: not looked at, as the last look was too recent
    Reloaded,      // the list in force is now the file's
    ChangedUnderEdits,  // another version is there, and the list is edited:
                        // the next save makes the edits again on top of it
};

// Compares the file's stamp (size, write time, identity) with what the list
// was last read from or written to, at most once per look interval of
// `nowMs` (a millisecond clock) unless `now` is set. An unedited list takes
// another version whole, and a file whose load failed once it can be read;
// a file that cannot be read whole, or that vanished, changes nothing and
// is looked at again at the next look.
FileLook LookAtRuleFile(uint32_t nowMs, bool now);
// Whether LookAtRuleFile(nowMs, false) would look: a look interval has passed.
bool RuleFileLookDue(uint32_t nowMs);

enum class SaveResult { Saved, NothingToSave, Failed };

// Who hears of a failed save: the operator, through the editor, at once; or
// nobody (unload, process exit, the end of the Windows session), and then
// the copy is left for the editor's next opening to report.
enum class SaveAudience { Operator, Nobody };

// The operator's Changes a save could not make on another program's version.
constexpr uint32_t LOST_CHANGES_SHOWN = 5;
struct LostChanges {
    uint32_t count;
    _RULE rules[LOST_CHANGES_SHOWN];  // the first of them, as the operator changed the rule
};

// What a save did besides writing: whether another program's version came
// in under the edits, what of them could not be made on it and where that
// version was kept; and for a failed save, why, and where the list went
// instead (empty when no copy could be written anywhere).
struct SaveReport {
    bool listReplaced;
    LostChanges lost;
    char keptVersion[RULE_PATH_BYTES];
    FileProblem problem;
    char recoveryCopy[RULE_PATH_BYTES];
};

// Brings the file up to date with the list, when that is needed: an edited
// list is written, an unedited one only when there is no file. When another
// program changed the file since the list was read or written (or the file
// could not be read then), its version is read and the operator's edits are
// made again on top of it (rule_edits.h), which becomes the list; the other
// version is kept beside as a backup only when an edit could not be made
// on it, or when it cannot be read. When the write fails the list stays
// edited in memory and a copy of it is kept: beside the file, or in the
// user's own recovery folder when that folder refuses it. `report` may be
// null.
SaveResult SaveRuleFile(SaveAudience audience, SaveReport* report);

// Renames one recovery copy that nobody was told of (an earlier session's
// "unsaved" copy, beside the rule file or in the user's recovery folder) to
// a "recovery" copy and gives its new path. False when none is left.
bool TakeUnreportedRecoveryCopy(char (&reported)[RULE_PATH_BYTES]);
