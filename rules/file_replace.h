// Replacing a file in one step, the one way every file here is written over
// (the module's rule file, the tool's rule files and texts). The target is
// checked; the new contents go to "<target>.saving" beside it, with the
// target's permissions on POSIX (on Windows with a new file's attributes),
// and are made durable; that file then moves over the target in one step,
// and on POSIX the folder is synced so the new name survives a crash. A
// failure leaves the target as it was. While another program holds the
// target (FileProblem::Held, nothing else), a step is tried again after a
// short wait, about a second in all for one replacement.
#pragma once

#include "rules/file_access.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

// The temporary file beside the target is named the target's name and this.
constexpr char REPLACEMENT_SUFFIX[] = ".saving";

// Waits between tries at a file another program holds: about a second in
// all, enough for a scanner or sync client that opens a fresh file briefly.
constexpr uint32_t BUSY_WAITS_MS[] = {10, 20, 40, 80, 150, 250, 450};

// `bytes` in place of the file at `path` (UTF-8), or a new file there.
FileProblem ReplaceFileContents(const char* path, const void* bytes, size_t size);

// The same in two halves, for a caller with steps of its own in between
// (the rule file copies aside the version it replaces): one replacement
// under way, with the waits taken so far, which every step shares.
struct Replacement {
    const char* target;
    char temporary[RULE_PATH_BYTES];
    size_t waitsTaken;
};

// Names the temporary file and checks that `target` may be replaced.
FileProblem StartReplacement(const char* target, Replacement* replacement);

// Tries `step` (a callable giving a FileProblem) until it is done or fails
// for good, waiting while another program holds the file.
template <typename Step>
FileProblem TryWhileHeld(Replacement& replacement, Step step) {
    for (;;) {
        const FileProblem problem = step();
        if (problem != FileProblem::Held || replacement.waitsTaken == std::size(BUSY_WAITS_MS)) {
            return problem;
        }
        PauseMilliseconds(BUSY_WAITS_MS[replacement.waitsTaken++]);
    }
}

struct ReplacementOutcome {
    FileProblem problem;
    bool temporaryLeft;  // the complete new contents are still in the temporary file
};

// Writes the temporary file and moves it over the target. When the move
// fails, the complete temporary file stays if `keepTemporary` is set (the
// caller then owns it); otherwise no temporary file is left.
ReplacementOutcome FinishReplacement(Replacement& replacement, const void* bytes, size_t size,
                                     bool keepTemporary);
