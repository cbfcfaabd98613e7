#include "tool/rule_io.h"

#include "lists/rule_file_sense.h"
#include "rules/rule_file.h"
#include "tool/console_output.h"
#include "tool/output_file.h"

#include <cstdio>
#include <cstdlib>

int Cannot(const std::string& message) {
    WriteError("torvo-rules: " + message + "\n");
    return EXIT_CANNOT;
}

namespace {

constexpr size_t BAD_LINES_SHOWN = 100;

// The part record at the end of the file, for telling a text; empty when
// it cannot be read (the records alone are judged then).
std::string PartRecordOf(const std::string& path, uint32_t trailingBytes) {
    std::string tail;
    if (trailingBytes == 0) return tail;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return tail;
    tail.resize(trailingBytes);
    if (std::fseek(file, -static_cast<long>(trailingBytes), SEEK_END) != 0 ||
        std::fread(&tail[0], 1, trailingBytes, file) != trailingBytes) {
        tail.clear();
    }
    std::fclose(file);
    return tail;
}

int NotARuleFile(const std::string& path, const LoadedRules& loaded, const RuleFileSense& sense) {
    const size_t count = loaded.rules.size();
    std::string why;
    if (sense.readsAsText) {
        why = "it looks like a text list: use import (torvo-rules import " + path + " -o RULES.tdb)";
    } else {
        if (!sense.wholeRecords) {
            why = "its " + std::to_string(uint64_t{count} * RULE_SIZE + loaded.trailingBytes) +
                  " bytes are not a whole number of " + std::to_string(RULE_SIZE) + "-byte records (" +
                  std::to_string(loaded.trailingBytes) + " bytes left over)";
        }
        if (sense.mostlyImpossible) {
            why += std::string(why.empty() ? "" : "; ") + std::to_string(sense.impossibleRecords) + " of its " +
                   std::to_string(count) + " records hold a search type or status that no rule list holds";
        }
    }
    return Cannot(path + " is not a rule file: " + why + "; --force reads its whole records all the same");
}

}  // namespace

int ReadRuleFile(const std::string& path, bool force, LoadedRules* loaded, FileHeld held) {
    MappedRuleRecords mapped{};
    bool read = false;
    if (held == FileHeld::WhileUsed) {
        read = MapRuleRecords(RuleFilePath(path).c_str(), &mapped);
    } else {
        RuleFileContents contents;
        read = ReadRuleRecords(RuleFilePath(path).c_str(), &contents);
        if (read) mapped = {contents.records, contents.count, contents.trailingBytes, FileView{}};
    }
    if (!read) return Cannot("cannot read the rule file " + path + ": " + ReadFailureReason(path));
    loaded->rules.records = std::unique_ptr<_RULE, ReleaseRecords>(mapped.records, ReleaseRecords{mapped});
    loaded->rules.count = mapped.count;
    loaded->trailingBytes = mapped.trailingBytes;
    if (force) return EXIT_DONE;
    const std::string tail = PartRecordOf(path, loaded->trailingBytes);
    const RuleFileSense sense =
        SenseRuleFile(loaded->rules.data(), static_cast<uint32_t>(loaded->rules.size()),
                      reinterpret_cast<const unsigned char*>(tail.data()), static_cast<uint32_t>(tail.size()));
    return sense.isRuleFile ? EXIT_DONE : NotARuleFile(path, *loaded, sense);
}

bool ReadTextPieces(const std::string& path, TakePiece take, void* context) {
    std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<char> piece(TEXT_PIECE_BYTES);
    size_t got = 0;
    while ((got = std::fread(piece.data(), 1, piece.size(), file)) > 0) take(context, piece.data(), got);
    const bool failed = std::ferror(file) != 0;
    if (file != stdin) std::fclose(file);
    return !failed;
}

int CannotRead(const std::string& path) {
    return Cannot("cannot read " + path + ": " + ReadFailureReason(path));
}

bool OutputIsAnInput(const std::string& output, const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        if (input != "-" && SameFile(input, output)) {
            Cannot("the output " + output + " is the input " + input +
                   "; write to another file (nothing was written)");
            return true;
        }
    }
    return false;
}

int WriteText(const std::string& output, const std::string& text, const std::vector<std::string>& inputs) {
    if (output == "-") {
        WriteOut(text);
        return EXIT_DONE;
    }
    if (OutputIsAnInput(output, inputs)) return EXIT_CANNOT;
    const std::string target = WriteTargetOf(output);
    if (!ReplaceWithText(target, text)) {
        return Cannot("cannot write " + output + ": " + WriteFailureReason(target) + "; it is unchanged");
    }
    return EXIT_DONE;
}

int WriteRules(const std::string& output, bool allowEmpty, const _RULE* rules, size_t count,
               const std::vector<std::string>& inputs) {
    if (OutputIsAnInput(output, inputs)) return EXIT_CANNOT;
    const std::string target = WriteTargetOf(output);
    const std::string full = FullRuleFilePath(target);
    if (full.empty()) {
        return Cannot("cannot write the rule file " + output + ": its path is too long (at most " +
                      std::to_string(RULE_FILE_PATH_MOST) +
                      " bytes in UTF-8 as a full path); nothing was written");
    }
    uint64_t size = 0;
    if (count == 0 && !allowEmpty && ExistingFileSize(target, &size) && size > 0) {
        return Cannot("no rules to write, and " + output + " is not empty (" + std::to_string(size) +
                      " bytes): it is left as it is (--allow-empty writes an empty list)");
    }
    if (!WriteRuleRecords(full.c_str(), rules, static_cast<uint32_t>(count))) {
        return Cannot("cannot write the rule file " + output + ": " + WriteFailureReason(target) +
                      "; it is unchanged");
    }
    return EXIT_DONE;
}

std::string TrailingNote(const std::string& path, uint32_t trailingBytes) {
    return path + ": the last " + std::to_string(trailingBytes) +
           " bytes are not a whole rule and are ignored\n";
}

std::string NotCarriedOverNote(const std::string& path, uint32_t trailingBytes) {
    return path + ": the last " + std::to_string(trailingBytes) +
           " bytes are not a whole rule and are not carried over\n";
}

void ReportLines(const std::string& source, const std::vector<BadLine>& lines, const char* kind) {
    std::string text;
    for (size_t k = 0; k < lines.size() && k < BAD_LINES_SHOWN; ++k) {
        text += source + ":" + std::to_string(lines[k].number) + ": " + kind + lines[k].reason + "\n";
    }
    if (lines.size() > BAD_LINES_SHOWN) {
        text += source + ": and " + std::to_string(lines.size() - BAD_LINES_SHOWN) + " more\n";
    }
    WriteError(text);
}
