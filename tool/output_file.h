// The tool's care for the files it writes: never over its own input, through
// a link to the link's target, and the system's reason when a file cannot be
// read or written. The writing itself is the rule file code's one way to
// replace a file (rules/file_replace.h). output_file.cpp holds what is the
// same everywhere, output_file_win32.cpp and output_file_posix.cpp the rest.
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

// `path` made absolute, in UTF-8 as RuleFilePath gives it; empty when that
// is too long for a rule file, which needs room for the names the module
// keeps beside it (RULE_FILE_PATH_MOST).
std::string FullRuleFilePath(const std::string& path);

// Size of an existing file; false when there is none (or it is no file).
bool ExistingFileSize(const std::string& path, uint64_t* size);

// `text` in place of the file at `path`, in one step and keeping its
// permissions; the previous file stays whole when anything fails.
bool ReplaceWithText(const std::string& path, const std::string& text);

// In words, why the file cannot be read or written: "no such file", "no such
// folder", "it is a folder", "permission denied", "read-only", "held open by
// another program", or the system's own message.
std::string ReadFailureReason(const std::string& path);
std::string WriteFailureReason(const std::string& path);

// The folder part of `path`: "." for a bare name.
std::string FolderOf(const std::string& path);
