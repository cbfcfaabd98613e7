// Replacing a file in one step, from the platform's file calls
// (file_access_*.cpp).
#include "rules/file_replace.h"

#include <cstring>

FileProblem StartReplacement(const char* target, Replacement* replacement) {
    replacement->target = target;
    replacement->waitsTaken = 0;
    const size_t targetLength = std::strlen(target);
    if (targetLength + sizeof REPLACEMENT_SUFFIX > sizeof replacement->temporary) {
        return FileProblem::PathTooLong;
    }
    std::memcpy(replacement->temporary, target, targetLength);
    std::memcpy(replacement->temporary + targetLength, REPLACEMENT_SUFFIX, sizeof REPLACEMENT_SUFFIX);
    return TryWhileHeld(*replacement, [&] { return CheckReplaceable(target); });
}

ReplacementOutcome FinishReplacement(Replacement& replacement, const void* bytes, size_t size,
                                     bool keepTemporary) {
    // Written beside the target first, so a failed write never leaves a
    // cut-off file in its place.
    FileProblem problem = WriteTemporary(replacement.temporary, bytes, size, replacement.target);
    if (problem != FileProblem::None) return {problem, false};
    problem = TryWhileHeld(replacement, [&] {
        return ReplaceWithTemporary(replacement.temporary, replacement.target);
    });
    if (problem == FileProblem::None) return {problem, false};
    if (!keepTemporary) RemoveFile(replacement.temporary);
    return {problem, keepTemporary};
}

FileProblem ReplaceFileContents(const char* path, const void* bytes, size_t size) {
    Replacement replacement;
    const FileProblem problem = StartReplacement(path, &replacement);
    if (problem != FileProblem::None) return problem;
    return FinishReplacement(replacement, bytes, size, false).problem;
}
