// torvo-rules: the rule list of torvo.jem for operators, from the command
// line. It reads and writes rule files with the module's own rule-file code.
//   show FILE            the rules as a table
//   export FILE          the rules as tab-separated text
//   import TEXT -o FILE  a rule file from such a text or a plain list
//   check FILE           rules that cannot work as meant
//   merge A B -o C       A's rules, then those of B not already in A
// Exit status: 0 done, 1 something reported (findings, bad lines), 2 bad
// usage or a file that cannot be read or written.
#include "rules/rule_file.h"
#include "rules/text_field.h"
#include "tool/console_output.h"
#include "tool/rule_check.h"
#include "tool/rule_text.h"
#include "tool/rule_words.h"
#include "tool/text_codec.h"
#include "version.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_REPORTED = 1;
constexpr int EXIT_CANNOT = 2;

constexpr char USAGE[] =
    "torvo-rules " TORVO_VERSION_TEXT ": the rule list of the Torvo module (MODULES\\torvo.tdb)\n"
    "\n"
    "  torvo-rules show FILE [--lang ru|en]   the rules as a table\n"
    "  torvo-rules export FILE [-o TEXT]      the rules as tab-separated text\n"
    "  torvo-rules import TEXT -o FILE [--skip-bad]\n"
    "                                         a rule file from an exported text or a plain\n"
    "                                         list (nicknames, 10.0.*, 10.0.0.1,\n"
    "                                         10.0.0.1-10.0.0.9, 198.51.100.0/24)\n"
    "  torvo-rules check FILE                 rules that never pick anyone, duplicates,\n"
    "                                         rules hidden by earlier ones\n"
    "  torvo-rules merge A B -o C             A's rules, then B's rules not already in A\n"
    "\n"
    "TEXT \"-\" is standard input or output. Rules are numbered from 1, in list order.\n"
    "Exit status: 0 done, 1 findings or bad lines reported, 2 bad usage or a file\n"
    "that cannot be read or written.\n";

struct Arguments {
    std::vector<std::string> files;
    std::string output;  // -o
    bool haveOutput = false;
    bool skipBad = false;
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
    if (ReadRuleRecords(path.c_str(), &contents) != 0) return false;
    loaded->rules.assign(contents.records, contents.records + contents.count);
    loaded->trailingBytes = contents.trailingBytes;
    std::free(contents.records);
    return true;
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

bool WriteWholeText(const std::string& path, const std::string& text) {
    if (path == "-") {
        WriteOut(text);
        return true;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

std::string Padded(const std::string& text, size_t width) {
    const size_t shown = DisplayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

std::string TrailingNote(const std::string& path, uint32_t trailingBytes) {
    return path + ": the last " + std::to_string(trailingBytes) +
           " bytes are not a whole rule and are ignored\n";
}

int Show(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (!LoadRuleFile(path, &loaded)) return Cannot("cannot read the rule file " + path);

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
    if (!LoadRuleFile(path, &loaded)) return Cannot("cannot read the rule file " + path);
    std::string text = std::string(EXPORT_HEADER) + "\n";
    for (const _RULE& rule : loaded.rules) text += ExportLine(rule) + "\n";
    const std::string output = arguments.haveOutput ? arguments.output : "-";
    if (!WriteWholeText(output, text)) return Cannot("cannot write " + output);
    if (loaded.trailingBytes) WriteError(TrailingNote(path, loaded.trailingBytes));
    return EXIT_DONE;
}

int Import(const Arguments& arguments) {
    const std::string& source = arguments.files[0];
    if (!arguments.haveOutput || arguments.output == "-") {
        return UsageError("import needs -o and the rule file to write");
    }
    std::string text;
    if (!ReadWholeText(source, &text)) return Cannot("cannot read " + source);
    const ImportResult result = ImportText(text);
    for (const BadLine& bad : result.badLines) {
        WriteError(source + ":" + std::to_string(bad.number) + ": " + bad.reason + "\n");
    }
    if (!result.badLines.empty() && !arguments.skipBad) {
        WriteError("torvo-rules: " + std::to_string(result.badLines.size()) +
                   " bad lines; nothing written (--skip-bad writes the good ones)\n");
        return EXIT_REPORTED;
    }
    const auto count = static_cast<uint32_t>(result.rules.size());
    if (WriteRuleRecords(arguments.output.c_str(), result.rules.data(), count) != 0) {
        return Cannot("cannot write the rule file " + arguments.output +
                      " (no such folder, read-only, or held by another program); it is unchanged");
    }
    WriteOut("wrote " + std::to_string(count) + " rules to " + arguments.output + "\n");
    return result.badLines.empty() ? EXIT_DONE : EXIT_REPORTED;
}

int Check(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (!LoadRuleFile(path, &loaded)) return Cannot("cannot read the rule file " + path);
    const std::vector<Finding> findings =
        CheckRules(loaded.rules.data(), static_cast<uint32_t>(loaded.rules.size()),
                   loaded.trailingBytes);
    std::string out;
    for (const Finding& finding : findings) {
        out += path + ": ";
        if (finding.rule) out += "rule " + std::to_string(finding.rule) + ": ";
        out += finding.text + "\n";
    }
    if (findings.empty()) {
        out = path + ": " + std::to_string(loaded.rules.size()) + " rules, nothing to report\n";
    }
    WriteOut(out);
    return findings.empty() ? EXIT_DONE : EXIT_REPORTED;
}

int Merge(const Arguments& arguments) {
    if (!arguments.haveOutput || arguments.output == "-") {
        return UsageError("merge needs -o and the rule file to write");
    }
    LoadedRules first;
    LoadedRules second;
    if (!LoadRuleFile(arguments.files[0], &first)) {
        return Cannot("cannot read the rule file " + arguments.files[0]);
    }
    if (!LoadRuleFile(arguments.files[1], &second)) {
        return Cannot("cannot read the rule file " + arguments.files[1]);
    }
    std::unordered_set<std::string> inFirst;
    for (const _RULE& rule : first.rules) inFirst.insert(DuplicateKey(rule));
    std::vector<_RULE> merged = first.rules;
    for (const _RULE& rule : second.rules) {
        if (!inFirst.count(DuplicateKey(rule))) merged.push_back(rule);
    }
    const auto count = static_cast<uint32_t>(merged.size());
    if (WriteRuleRecords(arguments.output.c_str(), merged.data(), count) != 0) {
        return Cannot("cannot write the rule file " + arguments.output +
                      " (no such folder, read-only, or held by another program); it is unchanged");
    }
    const size_t added = merged.size() - first.rules.size();
    WriteOut("wrote " + std::to_string(count) + " rules to " + arguments.output + ": " +
             std::to_string(first.rules.size()) + " from " + arguments.files[0] + ", " +
             std::to_string(added) + " of " + std::to_string(second.rules.size()) + " from " +
             arguments.files[1] + "\n");
    return EXIT_DONE;
}

struct Verb {
    const char* name;
    size_t files;
    int (*run)(const Arguments&);
};

const Verb VERBS[] = {
    {"show", 1, Show}, {"export", 1, Export}, {"import", 1, Import},
    {"check", 1, Check}, {"merge", 2, Merge},
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
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-o") {
            if (i + 1 >= argc || arguments.haveOutput) return UsageError("-o needs one file name");
            arguments.output = argv[++i];
            arguments.haveOutput = true;
        } else if (argument == "--skip-bad" && verb->run == Import) {
            arguments.skipBad = true;
        } else if (argument == "--lang" && verb->run == Show && i + 1 < argc) {
            const std::string language = argv[++i];
            if (language != "ru" && language != "en") return UsageError("--lang is ru or en");
            arguments.language = language == "en" ? Language::English : Language::Russian;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("unknown option \"" + argument + "\" for " + verbName);
        } else {
            arguments.files.push_back(argument);
        }
    }
    if (arguments.files.size() != verb->files) {
        return UsageError(verbName + " takes " + std::to_string(verb->files) +
                          (verb->files == 1 ? " file" : " files"));
    }
    if (arguments.haveOutput && (verb->run == Show || verb->run == Check)) {
        return UsageError(verbName + " takes no -o");
    }
    return verb->run(arguments);
}
