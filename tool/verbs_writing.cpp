// The verbs that write a rule file: import, merge, optimize and prune. The
// command line has made sure each has an output (-o) that is no pipe.
#include "rules/rule_memo.h"
#include "tool/console_output.h"
#include "lists/memo_text.h"
#include "lists/rule_check.h"
#include "lists/rule_optimize.h"
#include "lists/address_runs.h"
#include "lists/rule_text.h"
#include "lists/text_import.h"
#include "tool/tool_verbs.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace {

std::string OptimizeSummary(const OptimizeCounts& counts) {
    return "optimized " + std::to_string(counts.before) + " rules to " + std::to_string(counts.after) +
           " (" + std::to_string(counts.joined) + " joined into earlier rules, " +
           std::to_string(counts.dropped) + " already held by earlier rules)\n";
}

const char DATE_FORMS[] = "a UTC date (2027-01-31, 2027-01-31T18:00, optionally :SS and Z)";

// --expires: a duration from now or a UTC time, later than now. False,
// after the usage error, for anything else.
bool ExpiryOfOption(const std::string& text, int64_t now, int64_t* expires, int* status) {
    int64_t seconds = 0;
    std::string problem;
    if (ParseDuration(text, &seconds)) {
        // No sum past the last date: a negative TORVO_NOW cannot overflow it.
        if (seconds > LATEST_DATE_SECONDS - std::max<int64_t>(now, 0)) problem = " reaches past the year 9999";
        *expires = problem.empty() ? now + seconds : 0;
    } else if (ParseUtcTime(text, expires)) {
        if (*expires <= now) problem = " is already past (now is " + UtcTimeText(now) + ")";
    } else if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        problem = " needs a unit: " + text + "s, " + text + "m, " + text + "h or " + text + "d";
    } else if (text.size() > 1 && text.find_first_not_of("0123456789") == text.size() - 1 &&
               std::string("smhd").find(text.back()) != std::string::npos) {
        problem = text.find_first_not_of('0') == text.size() - 1 ? ": a duration is more than zero"
                                                                 : " reaches past the year 9999";
    } else if (text.size() >= 5 && text.find_first_not_of("0123456789") == 4 && text[4] == '-') {
        problem = " is not a valid " + std::string(DATE_FORMS).substr(2);
    } else {
        problem = " is neither a duration from now (90s, 30m, 12h, 7d: seconds, minutes, hours, days) nor " +
                  std::string(DATE_FORMS);
    }
    if (problem.empty()) return true;
    *status = UsageError("--expires " + text + problem);
    return false;
}

// The memo that import's options give every plain line's rule; false, after
// the usage error, for a bad value.
bool MemoOfOptions(const Arguments& arguments, RuleMemo* memo, int* status) {
    *memo = RuleMemo{};
    memo->added = arguments.now;
    if (arguments.haveExpires && !ExpiryOfOption(arguments.expires, arguments.now, &memo->expires, status)) {
        return false;
    }
    std::string reason;
    if (arguments.haveNote && !SetMemoNote(arguments.note, memo, &reason)) {
        *status = UsageError("--note: " + reason);
        return false;
    }
    return true;
}

void AppendPiece(void* text, const char* bytes, size_t size) { static_cast<std::string*>(text)->append(bytes, size); }
void CountPiece(void* count, const char* bytes, size_t size) { CountLines(*static_cast<LineCount*>(count), bytes, size); }
void ImportPieceInto(void* import, const char* bytes, size_t size) {
    ImportPiece(*static_cast<PieceImport*>(import), bytes, size);
}
void TakeRuleIntoRuns(void* runs, const _RULE& rule) { TakeIntoRuns(*static_cast<AddressRuns*>(runs), rule); }

// How long a rule picks: a rule without an expiry outlasts every other.
int64_t PicksUntil(const _RULE& rule) {
    const int64_t expires = RuleExpiry(rule);
    return expires == MEMO_NEVER ? INT64_MAX : expires;
}

}  // namespace

int Import(const Arguments& arguments) {
    const std::string& source = arguments.files[0];
    if (OutputIsAnInput(arguments.output, {source})) return EXIT_CANNOT;
    RuleMemo memo;
    PlainDefaults defaults = PLAIN_DEFAULTS;
    if (arguments.haveExpires || arguments.haveNote) {
        int status = EXIT_CANNOT;
        if (!MemoOfOptions(arguments, &memo, &status)) return status;
        defaults.memo = &memo;
    }
    // The lines are counted first, so that the rules are held in one block
    // reserved once (pages never filled cost nothing). Standard input can
    // be read only once: it is held whole meanwhile.
    std::string input;
    LineCount count;
    const bool fromInput = source == "-";
    const bool read = fromInput ? ReadTextPieces(source, AppendPiece, &input)
                                : ReadTextPieces(source, CountPiece, &count);
    if (!read) return CannotRead(source);
    if (fromInput) CountLines(count, input.data(), input.size());
    std::vector<_RULE> rules;
    rules.reserve(EndCount(count));

    // With --optimize, address rules join as they are read (address_runs.h):
    // a list of blocks is never held block by block.
    AddressRuns runs;
    runs.out = &rules;
    PieceImport import;
    import.lines.defaults = defaults;
    import.lines.take = arguments.optimize ? TakeRuleIntoRuns : AppendRule;
    import.lines.context = arguments.optimize ? static_cast<void*>(&runs) : &rules;
    if (fromInput) {
        // In the same pieces as a file: the reader's first piece is copied.
        for (size_t at = 0; at < input.size(); at += TEXT_PIECE_BYTES) {
            ImportPiece(import, input.data() + at, std::min(TEXT_PIECE_BYTES, input.size() - at));
        }
        std::string().swap(input);
    } else if (!ReadTextPieces(source, ImportPieceInto, &import)) {
        return CannotRead(source);
    }
    EndPieces(import);
    EndRuns(runs);
    ReportLines(source, import.lines.badLines, "");
    ReportLines(source, import.lines.warnings, "warning: ");
    const size_t badLines = import.lines.badLines.size();
    if (badLines > 0 && !arguments.skipBad) {
        WriteError("torvo-rules: " + std::to_string(badLines) +
                   " bad lines; nothing written (--skip-bad writes the good ones)\n");
        return EXIT_REPORTED;
    }
    std::string optimized;
    if (arguments.optimize) {
        OptimizeCounts counts = OptimizeRules(rules);
        counts.before = runs.taken;
        counts.joined += runs.joined;
        counts.dropped += runs.dropped;
        optimized = OptimizeSummary(counts);
    }
    const int status = WriteRules(arguments.output, arguments.allowEmpty, rules.data(), rules.size(), {source});
    if (status != EXIT_DONE) return status;
    WriteOut(optimized + "wrote " + std::to_string(rules.size()) + " rules to " + arguments.output + "\n");
    return badLines == 0 ? EXIT_DONE : EXIT_REPORTED;
}

int Merge(const Arguments& arguments) {
    LoadedRules first;
    LoadedRules second;
    if (const int status = ReadRuleFile(arguments.files[0], arguments.force, &first)) return status;
    if (const int status = ReadRuleFile(arguments.files[1], arguments.force, &second)) return status;
    // A rule of B is already in A when A has it for at least as long: one
    // that A holds only until sooner is kept, to pick after A's expires.
    std::unordered_map<std::string, int64_t> inFirst;
    for (const _RULE& rule : first.rules) {
        int64_t& until = inFirst.emplace(DuplicateKey(rule), INT64_MIN).first->second;
        until = std::max(until, PicksUntil(rule));
    }
    std::vector<_RULE> merged(first.rules.begin(), first.rules.end());
    for (const _RULE& rule : second.rules) {
        const auto found = inFirst.find(DuplicateKey(rule));
        if (found == inFirst.end() || found->second < PicksUntil(rule)) merged.push_back(rule);
    }
    // The merged list replaces a file that it starts with, so -o may name A
    // or B: both are let go (and so closed) before anything is written.
    const size_t fromFirst = first.rules.size(), ofSecond = second.rules.size();
    first.rules.records.reset();
    second.rules.records.reset();
    const int status = WriteRules(arguments.output, arguments.allowEmpty, merged.data(), merged.size(), {});
    if (status != EXIT_DONE) return status;
    if (first.trailingBytes) WriteError(NotCarriedOverNote(arguments.files[0], first.trailingBytes));
    if (second.trailingBytes) WriteError(NotCarriedOverNote(arguments.files[1], second.trailingBytes));
    WriteOut("wrote " + std::to_string(merged.size()) + " rules to " + arguments.output + ": " +
             std::to_string(fromFirst) + " from " + arguments.files[0] + ", " +
             std::to_string(merged.size() - fromFirst) + " of " + std::to_string(ofSecond) + " from " +
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

int Prune(const Arguments& arguments) {
    if (!arguments.expired && !arguments.haveAddedBefore) {
        return UsageError("prune needs --expired, --added-before DATE or both");
    }
    int64_t before = 0;
    if (arguments.haveAddedBefore && !ParseUtcTime(arguments.addedBefore, &before)) {
        return UsageError("--added-before " + arguments.addedBefore + " is not " + DATE_FORMS);
    }
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (const int status = ReadRuleFile(path, arguments.force, &loaded)) return status;
    // Pruned where the records were read: the list only shrinks.
    _RULE* rules = loaded.rules.records.get();
    uint32_t kept = 0, expired = 0, old = 0;
    for (uint32_t j = 0; j < loaded.rules.count; ++j) {
        RuleMemo memo;
        const bool hasMemo = ReadRuleMemo(rules[j], &memo);
        if (arguments.expired && RuleExpired(rules[j], arguments.now)) {
            ++expired;
        } else if (arguments.haveAddedBefore && hasMemo && memo.added != 0 && memo.added < before) {
            ++old;  // a rule with no time added is kept: nothing says it is old
        } else {
            if (kept != j) rules[kept] = rules[j];
            ++kept;
        }
    }
    loaded.rules.count = kept;
    const int status = WriteRules(arguments.output, arguments.allowEmpty, rules, kept, {path});
    if (status != EXIT_DONE) return status;
    if (loaded.trailingBytes) WriteError(NotCarriedOverNote(path, loaded.trailingBytes));
    std::string said = "dropped " + std::to_string(expired + old) + " of " + std::to_string(kept + expired + old) +
                       " rules";
    if (arguments.expired) said += ", " + std::to_string(expired) + " expired by " + UtcTimeText(arguments.now);
    if (arguments.haveAddedBefore) {
        said += ", " + std::to_string(old) + " added before " + UtcTimeText(before);
        if (arguments.expired) said += " (and not expired)";
    }
    WriteOut(said + "; wrote " + std::to_string(kept) + " rules to " + arguments.output + "\n");
    return EXIT_DONE;
}
