// What the tool's file policy does the same on every system.
#include "tool/output_file.h"

#include "rules/file_replace.h"
#include "rules/rule_file.h"

#include <cstring>

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    return path.substr(0, slash);
}

// Through the rule file code's file calls, which also reach paths longer
// than the ANSI calls do.
bool SameFile(const std::string& first, const std::string& second) {
    const FileStamp a = StampOfPath(RuleFilePath(first).c_str());
    const FileStamp b = StampOfPath(RuleFilePath(second).c_str());
    return a.exists && b.exists && a.identityKnown && b.identityKnown && a.volume == b.volume &&
           a.fileNumber == b.fileNumber;
}

bool ExistingFileSize(const std::string& path, uint64_t* size) {
    const std::string utf8 = RuleFilePath(path);
    const FileStamp stamp = StampOfPath(utf8.c_str());
    if (!stamp.exists || IsFolder(utf8.c_str())) return false;
    *size = stamp.size;
    return true;
}

std::string FullRuleFilePath(const std::string& path) {
    char full[RULE_PATH_BYTES];
    if (!ResolveFullPath(RuleFilePath(path).c_str(), full, sizeof full) ||
        std::strlen(full) > RULE_FILE_PATH_MOST) {
        return std::string();
    }
    return full;
}

bool ReplaceWithText(const std::string& path, const std::string& text) {
    return ReplaceFileContents(RuleFilePath(path).c_str(), text.data(), text.size()) ==
           FileProblem::None;
}
