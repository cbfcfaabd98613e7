// The tool's care for the files it writes: never over its own input, through
// a link to the link's target, keeping the replaced file's permissions, in
// one step; and the system's reason when a file cannot be read or written.
#pragma once

#include <cstdint>
#include <string>

// Whether two paths name one existing file, also through links or other
// names of it.
bool SameFile(const std::string& first, const std::string& second);

// The file a write to `path` should replace: a link's final target, so that
// the link stays a link. `path` itself when it is no link.
std::string WriteTargetOf(const std::string& path);

// `path` as the rule file code takes it, in UTF-8: on Windows the tool's
// paths come in the system's ANSI code page.
std::string RuleFilePath(const std::string& path);

// Size of an existing file; false when there is none (or it is no file).
bool ExistingFileSize(const std::string& path, uint64_t* size);

// The permissions of the file at `path`, to give its replacement.
struct KeptMode {
    bool known;
    uint32_t mode;
};
KeptMode ModeOf(const std::string& path);
void RestoreMode(const std::string& path, KeptMode mode);

// `text` into `path` in one step: written beside it, made durable, then
// moved over it; the previous file stays whole when anything fails.
bool ReplaceWithText(const std::string& path, const std::string& text);

// In words, why the file cannot be read or written: "no such file", "no such
// folder", "it is a folder", "permission denied", "read-only", "held open by
// another program", or the system's own message.
std::string ReadFailureReason(const std::string& path);
std::string WriteFailureReason(const std::string& path);
