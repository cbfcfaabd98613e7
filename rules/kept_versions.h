// The versions of a rule file kept beside it (rule_file.h names their
// kinds): their names "<file>.<stamp>[_NN].<kind>", which sort by time, a
// census of one kind in a folder, and dropping the oldest beyond
// KEPT_VERSIONS. Paths are UTF-8, as everywhere in the rule file code.
#pragma once

#include "rules/file_access.h"

#include <cstdint>

using PathText = char[RULE_PATH_BYTES];

// `first` and `second` joined into `joined`; false when they do not fit.
bool Joined(const char* first, const char* second, PathText& joined);
// The name in `path`: what follows its last separator.
const char* NameOf(const char* path);
// The folder of `path` with its separator at the end ("" for a bare name),
// so that a name appended to it is a path.
void FolderOf(const char* path, PathText& folder);

// "<folder><file>.<stamp>[_NN].<kind>", stamped with the local time now:
// the first such name not taken; false when none fits. The same beside
// the file at `path`.
bool FreeKeptName(const char* folder, const char* file, const char* kind, PathText& name);
bool FreeKeptNameBeside(const char* path, const char* kind, PathText& name);
// Whether `name` is "<file>.<stamp>[_NN].<kind>".
bool IsKeptName(const char* name, const char* file, const char* kind);

// The kept versions of one kind in one folder: how many, and the oldest
// name (the least, as the names sort by time).
struct KeptCensus {
    const char* file;
    const char* kind;
    const char* skipped;  // a name not to count, or null
    uint32_t count;
    char oldest[RULE_PATH_BYTES];
};
KeptCensus TakeCensus(const char* folder, const char* file, const char* kind, const char* skipped);

// Drops the oldest versions of `kind` of `file` kept in `folder` until
// KEPT_VERSIONS remain; of `kind` kept beside `path`.
void DropOldestKept(const char* folder, const char* file, const char* kind);
void DropOldestKeptBeside(const char* path, const char* kind);
