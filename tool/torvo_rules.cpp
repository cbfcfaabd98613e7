// torvo-rules: the rule list of torvo.jem for operators, from the command
// line. It reads and writes rule files with the module's own rule-file code.
//   show FILE            the rules as a table
//   export FILE          the rules as tab-separated text, or as CIDR blocks
//   import TEXT -o FILE  a rule file from such a text or a plain list
//   check FILE           rules that cannot work as meant, or hide others
//   merge A B -o C       A's rules, then those of B not already in A
//   optimize FILE -o OUT the same list with address rules joined
//   why FILE NICK IP     which rules pick one visitor, and why others do not
// Exit status: 0 done, 1 something reported (findings, bad lines), 2 bad
// usage or a file that cannot be read or written.
#include "rules/rule_file.h"
#include "rules/text_field.h"
#include "tool/address_set.h"
#include "tool/console_output.h"
#include "tool/output_file.h"
#include "tool/rule_check.h"
#include "tool/rule_optimize.h"
#include "tool/rule_text.h"
#include "tool/rule_words.h"
#include "tool/text_codec.h"
#include "tool/visitor_why.h"
#include "version.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_REPORTED = 1;
constexpr int EXIT_CANNOT = 2;

// The rule file is first written beside itself, under its name and
// ".saving", in a path of at most 259 characters.
constexpr size_t RULE_FILE_PATH_LIMIT = 259 - 7;
constexpr size_t BAD_LINES_SHOWN = 100;

constexpr char USAGE[] =
    "torvo-rules " TORVO_VERSION_TEXT ": the rule list of the Torvo module (MODULES\\torvo.tdb)\n"
    "\n"
    "  torvo-rules show FILE [--lang ru|en]   the rules as a table\n"
    "  torvo-rules export FILE [-o TEXT] [--cidr]\n"
    "                                         the rules as tab-separated text; with --cidr\n"
    "                                         the address rules as A/n blocks\n"
    "  torvo-rules import TEXT -o FILE [--skip-bad] [--optimize] [--allow-empty]\n"
    "                                         a rule file from an exported text or a plain\n"
    "                                         list (nicknames, 10.0.*, 10.0.0.1,\n"
    "                                         10.0.0.1-10.0.0.9, 198.51.100.0/24)\n"
    "  torvo-rules check FILE                 rules that never pick anyone, duplicates,\n"
    "                                         rules hidden by earlier ones, overlaps\n"
    "  torvo-rules merge A B -o C [--allow-empty]\n"
    "                                         A's rules, then B's rules not already in A\n"
    "  torvo-rules optimize FILE -o OUT [--allow-empty]\n"
    "                                         address rules joined and dropped where every\n"
    "                                         visitor still gets the same\n"
    "  torvo-rules why FILE NICK IP           which rules pick this visitor and which nearly\n"
    "                                         do (NICK or IP \"-\": the visitor has none)\n"
    "\n"
    "TEXT \"-\" is standard input or output. Rules are numbered from 1, in list order.\n"
    "\"--\" ends the options: what follows is taken as file names and values.\n"
    "An output is never one of the inputs, and an empty list is not written over a\n"
    "file that holds rules unless --allow-empty is given.\n"
    "Exit status: 0 done, 1 findings or bad lines reported, 2 bad usage or a file\n"
    "that cannot be read or written.\n";

struct Arguments {
    std::vector<std::string> files;
    std::vector<std::string> filesUtf8;  // the same as typed, in UTF-8 (for a nickname)
    std::string output;  // -o
    bool haveOutput = false;
    bool skipBad = false;
    bool optimize = false;
    bool allowEmpty = false;
    bool cidr = false;
    Language language = Language::Russian;
};

int UsageError(const std::string& message) {
    WriteError("torvo-rules: " + message + "\n\n" + USAGE);
    return EXIT_CANNOT;
}

int Cannot(const std::string& message) {
    WriteError("torvo-rules: " + message + "\n");
    return EXIT_CANNOT;
}

// The rules of a rule file, released with the value.
struct LoadedRules {
    std::vector<_RULE> rules;
    uint32_t trailingBytes = 0;
};

bool LoadRuleFile(const std::string& path, LoadedRules* loaded) {
    RuleFileContents contents;
    if (!ReadRuleRecords(RuleFilePath(path).c_str(), &contents)) return false;
    loaded->rules.assign(contents.records, contents.records + contents.count);
    loaded->trailingBytes = contents.trailingBytes;
    std::free(contents.records);
    return true;
}

int CannotRead(const std::string& what, const std::string& path) {
    return Cannot("cannot read " + what + path + ": " + ReadFailureReason(path));
}

bool ReadWholeText(const std::string& path, std::string* text) {
    std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    if (file != stdin) std::fclose(file);
    return !failed;
}

// Refuses an output that is one of the inputs: writing it would destroy
// what is being read (also through a link or another name of the file).
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

// Text to a file in one step, or to standard output.
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

// Rules to a rule file, as the module writes it: beside the file, then in
// its place in one step; through a link to its target, keeping the replaced
// file's permissions.
int WriteRules(const Arguments& arguments, const std::vector<_RULE>& rules,
               const std::vector<std::string>& inputs) {
    const std::string& output = arguments.output;
    if (OutputIsAnInput(output, inputs)) return EXIT_CANNOT;
    const std::string target = WriteTargetOf(output);
    if (target.size() > RULE_FILE_PATH_LIMIT) {
        return Cannot("cannot write the rule file " + output + ": its path is too long (" +
                      std::to_string(target.size()) + " characters; at most " +
                      std::to_string(RULE_FILE_PATH_LIMIT) + "); nothing was written");
    }
    uint64_t size = 0;
    if (rules.empty() && !arguments.allowEmpty && ExistingFileSize(target, &size) && size > 0) {
        return Cannot("no rules to write, and " + output + " is not empty (" + std::to_string(size) +
                      " bytes): it is left as it is (--allow-empty writes an empty list)");
    }
    const KeptMode mode = ModeOf(target);
    if (!WriteRuleRecords(RuleFilePath(target).c_str(), rules.data(),
                          static_cast<uint32_t>(rules.size()))) {
        return Cannot("cannot write the rule file " + output + ": " + WriteFailureReason(target) +
                      "; it is unchanged");
    }
    RestoreMode(target, mode);
    return EXIT_DONE;
}

std::string Padded(const std::string& text, size_t width) {
    const size_t shown = DisplayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

std::string TrailingNote(const std::string& path, uint32_t trailingBytes) {
    return path + ": the last " + std::to_string(trailingBytes) +
           " bytes are not a whole rule and are ignored\n";
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

std::string OptimizeSummary(const OptimizeCounts& counts) {
    return "optimized " + std::to_string(counts.before) + " rules to " + std::to_string(counts.after) +
           " (" + std::to_string(counts.joined) + " joined into earlier rules, " +
           std::to_string(counts.dropped) + " already held by earlier rules)\n";
}

int Show(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (!LoadRuleFile(path, &loaded)) return CannotRead("the rule file ", path);

    const bool russian = arguments.language == Language::Russian;
    std::vector<std::vector<std::string>> rows;
    if (russian) {
        rows.push_back({"№", "Имя", "Тип поиска", "IP", "Статус", "Цвет ника", "Цвет реплик"});
    } else {
        rows.push_back({"#", "Nickname", "Search", "IP", "Status", "Nick colour", "Text colour"});
    }
    for (size_t i = 0; i < loaded.rules.size(); ++i) {
        const _RULE& rule = loaded.rules[i];
        rows.push_back({std::to_string(i + 1), EscapeName(rule.name, FieldLength(rule.name)),
                        SearchWords(rule.searchType, arguments.language),
                        EscapeBytes(rule.ipText, FieldLength(rule.ipText)),
                        StatusWords(rule.status, arguments.language), ColourText(rule.nickColor),
                        ColourText(rule.textColor)});
    }
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    std::string out;
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string line;
        for (size_t c = 0; c < rows[r].size(); ++c) {
            if (c > 0) line += " | ";
            line += c + 1 < rows[r].size() ? Padded(rows[r][c], widths[c]) : rows[r][c];
        }
        out += line + "\n";
        if (r == 0) {
            std::string rule;
            for (size_t c = 0; c < widths.size(); ++c) {
                if (c > 0) rule += "-+-";
                rule += std::string(widths[c], '-');
            }
            out += rule + "\n";
        }
    }
    WriteOut(out);
    if (loaded.trailingBytes) WriteError(TrailingNote(path, loaded.trailingBytes));
    return EXIT_DONE;
}

int Export(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (!LoadRuleFile(path, &loaded)) return CannotRead("the rule file ", path);
    std::string text;
    if (arguments.cidr) {
        // Address rules as blocks, in a plain list that imports back.
        text = "# address rules of " + path + " as A/n blocks: block, status, nickname and message colours\n";
        size_t leftOut = 0;
        for (const _RULE& rule : loaded.rules) {
            const bool addressOnly = IsAddressOnly(rule.searchType);
            const std::vector<AddressInterval> addresses = addressOnly ? IpTestAddresses(rule) : std::vector<AddressInterval>{};
            if (addresses.empty()) {
                ++leftOut;
                continue;
            }
            const std::string columns = "\t" + StatusKeyword(rule.status) + "\t" + ColourText(rule.nickColor) +
                                        "\t" + ColourText(rule.textColor) + "\n";
            for (const AddressInterval& interval : addresses) {
                for (const auto& block : CidrBlocks(interval.low, interval.high)) {
                    text += DottedAddress(block.first) + "/" + std::to_string(block.second) + columns;
                }
            }
        }
        if (leftOut) {
            WriteError(path + ": " + std::to_string(leftOut) +
                       " rules that test the nickname or have no address are left out\n");
        }
    } else {
        text = std::string(EXPORT_HEADER) + "\n";
        for (const _RULE& rule : loaded.rules) text += ExportLine(rule) + "\n";
    }
    const int status = WriteText(arguments.haveOutput ? arguments.output : "-", text, {path});
    if (status == EXIT_DONE && loaded.trailingBytes) WriteError(TrailingNote(path, loaded.trailingBytes));
    return status;
}

int Import(const Arguments& arguments) {
    const std::string& source = arguments.files[0];
    if (!arguments.haveOutput || arguments.output == "-") {
        return UsageError("import needs -o and the rule file to write");
    }
    if (OutputIsAnInput(arguments.output, {source})) return EXIT_CANNOT;
    std::string text;
    if (!ReadWholeText(source, &text)) return CannotRead("", source);
    ImportResult result = ImportText(text);
    ReportLines(source, result.badLines, "");
    ReportLines(source, result.warnings, "warning: ");
    if (!result.badLines.empty() && !arguments.skipBad) {
        WriteError("torvo-rules: " + std::to_string(result.badLines.size()) +
                   " bad lines; nothing written (--skip-bad writes the good ones)\n");
        return EXIT_REPORTED;
    }
    std::string optimized;
    if (arguments.optimize) optimized = OptimizeSummary(OptimizeRules(result.rules));
    const int status = WriteRules(arguments, result.rules, {source});
    if (status != EXIT_DONE) return status;
    WriteOut(optimized + "wrote " + std::to_string(result.rules.size()) + " rules to " + arguments.output + "\n");
    return result.badLines.empty() ? EXIT_DONE : EXIT_REPORTED;
}

int Check(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (!LoadRuleFile(path, &loaded)) return CannotRead("the rule file ", path);
    const std::vector<Finding> findings =
        CheckRules(loaded.rules.data(), static_cast<uint32_t>(loaded.rules.size()),
                   loaded.trailingBytes);
    std::string out;
    size_t problems = 0;
    for (const Finding& finding : findings) {
        out += path + ": ";
        if (finding.rule) out += "rule " + std::to_string(finding.rule) + ": ";
        out += finding.text + "\n";
        if (!finding.note) ++problems;
    }
    if (problems == 0) {
        out += path + ": " + std::to_string(loaded.rules.size()) + " rules, nothing to report" +
               (findings.empty() ? "" : " but the notes above") + "\n";
    }
    WriteOut(out);
    return problems == 0 ? EXIT_DONE : EXIT_REPORTED;
}

int Merge(const Arguments& arguments) {
    if (!arguments.haveOutput || arguments.output == "-") {
        return UsageError("merge needs -o and the rule file to write");
    }
    LoadedRules first;
    LoadedRules second;
    if (!LoadRuleFile(arguments.files[0], &first)) return CannotRead("the rule file ", arguments.files[0]);
    if (!LoadRuleFile(arguments.files[1], &second)) return CannotRead("the rule file ", arguments.files[1]);
    std::unordered_set<std::string> inFirst;
    for (const _RULE& rule : first.rules) inFirst.insert(DuplicateKey(rule));
    std::vector<_RULE> merged = first.rules;
    for (const _RULE& rule : second.rules) {
        if (!inFirst.count(DuplicateKey(rule))) merged.push_back(rule);
    }
    // The merged list replaces a file that it starts with, so -o may name A
    // or B: both are read whole before anything is written.
    const int status = WriteRules(arguments, merged, {});
    if (status != EXIT_DONE) return status;
    for (size_t k = 0; k < 2; ++k) {
        const uint32_t trailing = k == 0 ? first.trailingBytes : second.trailingBytes;
        if (trailing) {
            WriteError(arguments.files[k] + ": the last " + std::to_string(trailing) +
                       " bytes are not a whole rule and are not carried over\n");
        }
    }
    const size_t added = merged.size() - first.rules.size();
    WriteOut("wrote " + std::to_string(merged.size()) + " rules to " + arguments.output + ": " +
             std::to_string(first.rules.size()) + " from " + arguments.files[0] + ", " +
             std::to_string(added) + " of " + std::to_string(second.rules.size()) + " from " +
             arguments.files[1] + "\n");
    return EXIT_DONE;
}

int Optimize(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    if (!arguments.haveOutput || arguments.output == "-") {
        return UsageError("optimize needs -o and the rule file to write");
    }
    LoadedRules loaded;
    if (!LoadRuleFile(path, &loaded)) return CannotRead("the rule file ", path);
    const OptimizeCounts counts = OptimizeRules(loaded.rules);
    const int status = WriteRules(arguments, loaded.rules, {path});
    if (status != EXIT_DONE) return status;
    if (loaded.trailingBytes) {
        WriteError(path + ": the last " + std::to_string(loaded.trailingBytes) +
                   " bytes are not a whole rule and are not carried over\n");
    }
    WriteOut(OptimizeSummary(counts) + "wrote " + std::to_string(loaded.rules.size()) + " rules to " +
             arguments.output + "\n");
    return EXIT_DONE;
}

int Why(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    const std::string& nickText = arguments.filesUtf8[1];
    const std::string& ip = arguments.files[2];
    std::u16string nick;
    if (nickText != "-" && !DecodeUtf8(nickText, &nick)) return UsageError("NICK is not UTF-8 text");
    if (ip != "-" && ip.size() >= 16) {
        return UsageError("IP is at most 15 characters, as the host's field holds it");
    }
    LoadedRules loaded;
    if (!LoadRuleFile(path, &loaded)) return CannotRead("the rule file ", path);
    WriteOut(ExplainVisitor(loaded.rules.data(), static_cast<uint32_t>(loaded.rules.size()),
                            nickText != "-", nick, ip != "-", ip == "-" ? std::string() : ip));
    return EXIT_DONE;
}

enum Option : unsigned { OPTION_OUTPUT = 1, OPTION_LANG = 2, OPTION_SKIP_BAD = 4, OPTION_OPTIMIZE = 8,
                         OPTION_ALLOW_EMPTY = 16, OPTION_CIDR = 32 };

struct Verb {
    const char* name;
    size_t files;
    int (*run)(const Arguments&);
    unsigned options;
};

const Verb VERBS[] = {
    {"show", 1, Show, OPTION_LANG},
    {"export", 1, Export, OPTION_OUTPUT | OPTION_CIDR},
    {"import", 1, Import, OPTION_OUTPUT | OPTION_SKIP_BAD | OPTION_OPTIMIZE | OPTION_ALLOW_EMPTY},
    {"check", 1, Check, 0},
    {"merge", 2, Merge, OPTION_OUTPUT | OPTION_ALLOW_EMPTY},
    {"optimize", 1, Optimize, OPTION_OUTPUT | OPTION_ALLOW_EMPTY},
    {"why", 3, Why, 0},
};

}  // namespace

int main(int argc, char** argv) {
    PrepareOutput();
    if (argc < 2) return UsageError("no verb given");
    const std::string verbName = argv[1];
    if (verbName == "--help" || verbName == "-h" || verbName == "help") {
        WriteOut(USAGE);
        return EXIT_DONE;
    }
    if (verbName == "--version") {
        WriteOut("torvo-rules " TORVO_VERSION_TEXT "\n");
        return EXIT_DONE;
    }
    const Verb* verb = nullptr;
    for (const Verb& candidate : VERBS) {
        if (verbName == candidate.name) verb = &candidate;
    }
    if (!verb) return UsageError("unknown verb \"" + verbName + "\"");

    Arguments arguments;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto allowed = [&](unsigned option) { return (verb->options & option) != 0; };
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            arguments.files.push_back(argument);
            arguments.filesUtf8.push_back(Utf8Argument(argv, i));
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-o" && allowed(OPTION_OUTPUT)) {
            if (i + 1 >= argc || arguments.haveOutput) return UsageError("-o needs one file name");
            arguments.output = argv[++i];
            arguments.haveOutput = true;
        } else if (argument == "--lang" && allowed(OPTION_LANG)) {
            if (i + 1 >= argc) return UsageError("--lang needs a value: ru or en");
            const std::string language = argv[++i];
            if (language != "ru" && language != "en") return UsageError("--lang is ru or en");
            arguments.language = language == "en" ? Language::English : Language::Russian;
        } else if (argument == "--skip-bad" && allowed(OPTION_SKIP_BAD)) {
            arguments.skipBad = true;
        } else if (argument == "--optimize" && allowed(OPTION_OPTIMIZE)) {
            arguments.optimize = true;
        } else if (argument == "--allow-empty" && allowed(OPTION_ALLOW_EMPTY)) {
            arguments.allowEmpty = true;
        } else if (argument == "--cidr" && allowed(OPTION_CIDR)) {
            arguments.cidr = true;
        } else if (argument == "-o") {
            return UsageError(verbName + " takes no -o");
        } else {
            return UsageError("unknown option \"" + argument + "\" for " + verbName);
        }
    }
    if (arguments.files.size() != verb->files) {
        return UsageError(verbName + " takes " + std::to_string(verb->files) +
                          (verb->files == 1 ? " file" : verb->run == Why ? " arguments: FILE NICK IP" : " files"));
    }
    return verb->run(arguments);
}
