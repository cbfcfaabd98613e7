// The verbs that write a rule file: import, merge and optimize. The command
// line has made sure each has an output (-o) that is no pipe.
#include "tool/console_output.h"
#include "lists/rule_check.h"
#include "lists/rule_optimize.h"
#include "lists/rule_text.h"
#include "tool/tool_verbs.h"

#include <unordered_set>

namespace {

std::string OptimizeSummary(const OptimizeCounts& counts) {
    return "optimized " + std::to_string(counts.before) + " rules to " + std::to_string(counts.after) +
           " (" + std::to_string(counts.joined) + " joined into earlier rules, " +
           std::to_string(counts.dropped) + " already held by earlier rules)\n";
}

}  // namespace

int Import(const Arguments& arguments) {
    const std::string& source = arguments.files[0];
    if (OutputIsAnInput(arguments.output, {source})) return EXIT_CANNOT;
    std::string text;
    if (!ReadWholeText(source, &text)) return CannotRead(source);
    ImportResult result = ImportText(text);
    std::string().swap(text);  // let go before the list is optimized and written
    ReportLines(source, result.badLines, "");
    ReportLines(source, result.warnings, "warning: ");
    if (!result.badLines.empty() && !arguments.skipBad) {
        WriteError("torvo-rules: " + std::to_string(result.badLines.size()) +
                   " bad lines; nothing written (--skip-bad writes the good ones)\n");
        return EXIT_REPORTED;
    }
    std::string optimized;
    if (arguments.optimize) optimized = OptimizeSummary(OptimizeRules(result.rules));
    const int status = WriteRules(arguments.output, arguments.allowEmpty, result.rules.data(), result.rules.size(),
                                  {source});
    if (status != EXIT_DONE) return status;
    WriteOut(optimized + "wrote " + std::to_string(result.rules.size()) + " rules to " + arguments.output + "\n");
    return result.badLines.empty() ? EXIT_DONE : EXIT_REPORTED;
}

int Merge(const Arguments& arguments) {
    LoadedRules first;
    LoadedRules second;
    if (const int status = ReadRuleFile(arguments.files[0], arguments.force, &first)) return status;
    if (const int status = ReadRuleFile(arguments.files[1], arguments.force, &second)) return status;
    std::unordered_set<std::string> inFirst;
    for (const _RULE& rule : first.rules) inFirst.insert(DuplicateKey(rule));
    std::vector<_RULE> merged(first.rules.begin(), first.rules.end());
    for (const _RULE& rule : second.rules) {
        if (!inFirst.count(DuplicateKey(rule))) merged.push_back(rule);
    }
    // The merged list replaces a file that it starts with, so -o may name A
    // or B: both are read whole before anything is written.
    const int status = WriteRules(arguments.output, arguments.allowEmpty, merged.data(), merged.size(), {});
    if (status != EXIT_DONE) return status;
    if (first.trailingBytes) WriteError(NotCarriedOverNote(arguments.files[0], first.trailingBytes));
    if (second.trailingBytes) WriteError(NotCarriedOverNote(arguments.files[1], second.trailingBytes));
    const size_t added = merged.size() - first.rules.size();
    WriteOut("wrote " + std::to_string(merged.size()) + " rules to " + arguments.output + ": " +
             std::to_string(first.rules.size()) + " from " + arguments.files[0] + ", " +
             std::to_string(added) + " of " + std::to_string(second.rules.size()) + " from " +
             arguments.files[1] + "\n");
    return EXIT_DONE;
}

int Optimize(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (const int status = ReadRuleFile(path, arguments.force, &loaded)) return status;
    // Optimized where the records were read: the list only shrinks.
    const OptimizeCounts counts = OptimizeRules(loaded.rules.records.get(), &loaded.rules.count);
    const int status = WriteRules(arguments.output, arguments.allowEmpty, loaded.rules.data(),
                                  loaded.rules.size(), {path});
    if (status != EXIT_DONE) return status;
    if (loaded.trailingBytes) WriteError(NotCarriedOverNote(path, loaded.trailingBytes));
    WriteOut(OptimizeSummary(counts) + "wrote " + std::to_string(loaded.rules.size()) + " rules to " +
             arguments.output + "\n");
    return EXIT_DONE;
}
