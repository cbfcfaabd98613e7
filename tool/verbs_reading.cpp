// The verbs that only read a rule file: show, export, check and why.
#include "rules/rule_memo.h"
#include "rules/rule_texts.h"
#include "rules/text_field.h"
#include "lists/export_lines.h"
#include "tool/cidr_text.h"
#include "tool/console_output.h"
#include "lists/memo_text.h"
#include "lists/rule_check.h"
#include "lists/rule_text.h"
#include "lists/text_codec.h"
#include "tool/text_table.h"
#include "tool/tool_verbs.h"
#include "lists/visitor_why.h"

#include <algorithm>
#include <iterator>

namespace {

// How much text a verb gathers before writing it to standard output, once
// it has let go of the records.
constexpr size_t OUTPUT_PIECE_BYTES = size_t{1} << 20;

// The records are let go, and the file with them, before a verb writes what
// it made of them: its text may go to a pager or a slow console, and a
// mapped file cannot be replaced meanwhile (the module could not save it).
// The count stays for the summary lines.
void ReleaseBeforeWriting(LoadedRules& loaded) { loaded.rules.records.reset(); }

std::string Utf8Of(const char16_t* text) { return EncodeUtf8(std::u16string(text)); }

// show's columns of a rule's memo: when added, when it expires (and that it
// has, by `now`), its note; empty without one.
std::vector<std::string> MemoCells(const _RULE& rule, int64_t now, Language language) {
    RuleMemo memo;
    if (!ReadRuleMemo(rule, &memo)) return {"", "", ""};
    std::string expires = memo.expires == MEMO_NEVER ? "" : UtcTimeText(memo.expires);
    if (RuleExpired(rule, now)) expires += language == Language::Russian ? " (истекло)" : " (expired)";
    return {memo.added == 0 ? "" : UtcTimeText(memo.added), expires,
            EscapeName(memo.note, std::min<size_t>(memo.noteLength, MEMO_NOTE_UNITS))};
}

// check's findings and a note on each rule expired by `now`, in rule order
// (the expiry first), the file's own findings (rule 0) still last.
std::vector<Finding> WithExpiredNotes(const std::vector<Finding>& findings, const RuleRecords& rules, int64_t now) {
    std::vector<Finding> notes;
    for (size_t j = 0; j < rules.size(); ++j) {
        if (!RuleExpired(rules[j], now)) continue;
        notes.push_back({static_cast<uint32_t>(j + 1),
                         "note: expired at " + UtcTimeText(RuleExpiry(rules[j])) +
                             ": it picks no one (prune --expired drops it)",
                         true});
    }
    if (notes.empty()) return findings;
    std::vector<Finding> all;
    all.reserve(findings.size() + notes.size());
    const auto place = [](const Finding& finding) { return finding.rule == 0 ? UINT64_MAX : finding.rule; };
    std::merge(notes.begin(), notes.end(), findings.begin(), findings.end(), std::back_inserter(all),
               [&](const Finding& a, const Finding& b) { return place(a) < place(b); });
    return all;
}


}  // namespace

int Show(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    // The table is longer than the records: written as it is made, from a
    // copy, so that the file is free while a pager shows it.
    if (const int status = ReadRuleFile(path, arguments.force, &loaded, FileHeld::Never)) return status;

    const Language language = arguments.language;
    TableRow header;
    if (language == Language::Russian) {
        // The nickname and IP columns are named as in the editor's list.
        header = {"№", Utf8Of(NAME_COLUMN_TEXT), "Тип поиска", Utf8Of(IP_COLUMN_TEXT), "Статус",
                  "Цвет ника", "Цвет реплик"};
    } else {
        header = {"#", "Nickname", "Search", "IP", "Status", "Nick colour", "Text colour"};
    }
    // The memo's columns only for a list that holds one.
    RuleMemo memo;
    const bool memos = std::any_of(loaded.rules.begin(), loaded.rules.end(),
                                   [&](const _RULE& rule) { return ReadRuleMemo(rule, &memo); });
    if (memos) {
        const std::vector<std::string> more = language == Language::Russian
                                                  ? std::vector<std::string>{"Добавлено", "Истекает", "Заметка"}
                                                  : std::vector<std::string>{"Added", "Expires", "Note"};
        header.insert(header.end(), more.begin(), more.end());
    }
    // The rows are made twice, for the widths and for the lines, rather
    // than held: a long list's table would take more memory than the list.
    TableRow row(header.size());
    const auto makeRow = [&](size_t i) {
        const _RULE& rule = loaded.rules[i];
        row[0] = std::to_string(i + 1);
        row[1] = EscapeName(rule.name, FieldLength(rule.name));
        row[2] = SearchWords(rule.searchType, language);
        row[3] = EscapeBytes(rule.ipText, FieldLength(rule.ipText));
        row[4] = StatusWords(rule.status, language);
        row[5] = ColourText(rule.nickColor);
        row[6] = ColourText(rule.textColor);
        if (!memos) return;
        std::vector<std::string> cells = MemoCells(rule, arguments.now, language);
        std::move(cells.begin(), cells.end(), row.begin() + 7);
    };
    std::vector<size_t> widths(header.size(), 0);
    WidenColumns(header, &widths);
    for (size_t i = 0; i < loaded.rules.size(); ++i) {
        makeRow(i);
        WidenColumns(row, &widths);
    }
    std::string text;
    AppendTableLine(header, widths, true, &text);
    for (size_t i = 0; i < loaded.rules.size(); ++i) {
        makeRow(i);
        AppendTableLine(row, widths, false, &text);
        if (text.size() >= OUTPUT_PIECE_BYTES) {
            WriteOut(text);
            text.clear();
        }
    }
    WriteOut(text);
    if (loaded.trailingBytes) WriteError(TrailingNote(path, loaded.trailingBytes));
    return EXIT_DONE;
}

int Export(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (const int status = ReadRuleFile(path, arguments.force, &loaded)) return status;
    const std::string output = arguments.haveOutput ? arguments.output : "-";
    std::string text;
    if (arguments.cidr) {
        // The address rules as A/n blocks, in a plain list that imports back;
        // or, `plain`, the blocks alone, one a line, for a firewall or another
        // tool. The records go before the blocks' text is made.
        const CidrList list = GatherCidrList(loaded.rules.data(), loaded.rules.size());
        ReleaseBeforeWriting(loaded);
        if (list.leftOut) {
            WriteError(path + ": " + std::to_string(list.leftOut) +
                       " rules that test the nickname or have no address are left out\n");
        }
        if (!arguments.plain) {
            text = "# address rules of " + path + " as A/n blocks: block, status, nickname and message colours\n";
        }
        // With the file let go, standard output may get the blocks a piece
        // at a time; a file gets them whole.
        const size_t piece = output == "-" ? OUTPUT_PIECE_BYTES : 0;
        if (piece == 0) text.reserve(text.size() + CidrLinesSize(list, arguments.plain));
        CidrLines(list, arguments.plain, piece, &text);
    } else {
        text = std::string(EXPORT_HEADER) + "\n";
        for (const _RULE& rule : loaded.rules) AppendExportLine(rule, &text);
        ReleaseBeforeWriting(loaded);
    }
    const int status = WriteText(output, text, {path});
    if (status == EXIT_DONE && loaded.trailingBytes) WriteError(TrailingNote(path, loaded.trailingBytes));
    return status;
}

int Check(const Arguments& arguments) {
    const std::string& path = arguments.files[0];
    LoadedRules loaded;
    if (const int status = ReadRuleFile(path, arguments.force, &loaded)) return status;
    const std::vector<Finding> findings = WithExpiredNotes(
        CheckRules(loaded.rules.data(), static_cast<uint32_t>(loaded.rules.size()), loaded.trailingBytes),
        loaded.rules, arguments.now);
    ReleaseBeforeWriting(loaded);
    // Written in pieces: a long list's findings are never held twice.
    std::string out;
    size_t problems = 0;
    for (const Finding& finding : findings) {
        out.append(path).append(": ");
        if (finding.rule) out.append("rule ").append(std::to_string(finding.rule)).append(": ");
        out.append(finding.text).append("\n");
        if (!finding.note) ++problems;
        if (out.size() >= OUTPUT_PIECE_BYTES) {
            WriteOut(out);
            out.clear();
        }
    }
    if (problems == 0) {
        out += path + ": " + std::to_string(loaded.rules.size()) + " rules, nothing to report" +
               (findings.empty() ? "" : " but the notes above") + "\n";
    }
    WriteOut(out);
    return problems == 0 ? EXIT_DONE : EXIT_REPORTED;
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
    if (const int status = ReadRuleFile(path, arguments.force, &loaded)) return status;
    const std::string explained =
        ExplainVisitor(loaded.rules.data(), static_cast<uint32_t>(loaded.rules.size()), nickText != "-", nick,
                       ip != "-", ip == "-" ? std::string() : ip, arguments.now);
    ReleaseBeforeWriting(loaded);
    WriteOut(explained);
    return EXIT_DONE;
}
