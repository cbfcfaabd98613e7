// The rule file: the list's records, 460 bytes each, in list order, with no
// header. A trailing part record is ignored. The module reads and writes it
// through OpenRuleFile and SaveRuleFile below (LoadRules and SaveRules act
// on any path); the rule-list tool reads and writes whole
// files of records with the same code.
#pragma once

#include "rules/file_access.h"
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

// Writes `count` records to a file beside `path` and puts it in place in one
// step, waiting about a second for a file another program holds. False
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

// Beside the rule file: the partly written new list while a save runs, the
// previous file kept when a save replaces a version the module never read
// (".bak", then ".bak2" up to ".bak9"), and a partly written list that a
// cut-off save left while the rule file itself was missing or unreadable
// (".interrupted", numbered the same way).
constexpr char RULE_FILE_SAVING_SUFFIX[] = ".saving";
constexpr char RULE_FILE_BACKUP_SUFFIX[] = ".bak";
constexpr char RULE_FILE_INTERRUPTED_SUFFIX[] = ".interrupted";

// The longest path Windows' ANSI file calls take, with its terminator.
constexpr size_t RULE_PATH_BYTES = 260;

// The file the module's list comes from and goes back to.
struct RuleFileState {
    char path[RULE_PATH_BYTES];  // absolute, fixed at load; empty before
    bool unread;                 // it exists, but the last load could not take it whole
    FileStamp known;             // the file as the module last read or wrote it
};
extern RuleFileState g_ruleFile;

// Resolves `path` against the current folder once, keeps it for every later
// load and save, and loads the list from it. An absent file is a list of no
// rules. False when the file exists but could not be read whole: the list
// stays as it was and the file is marked unread.
bool OpenRuleFile(const char* path);
// Loads the file again when the last load failed and the list has not been
// edited since, so a file that was only busy arrives.
void RetryRuleFileLoad();
// Brings the file up to date with the list, when that is needed: an edited
// list is written (keeping beside it a file the module never read or that
// another program changed since), an unedited one only when there is no
// file. True when the file now holds the list or was rightly left alone.
bool SaveRuleFile();
