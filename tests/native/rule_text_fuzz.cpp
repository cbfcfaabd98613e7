// libFuzzer target for the reader of operators' rule lists, the code that
// takes pasted and downloaded text. By the first byte, the rest is either:
//   - a text (a plain list or an exported table): whatever rules it gives
//     must export and import back to the same records, with no bad line,
//     and its reasons and warnings hold no raw control character;
//   - a rule file's bytes: its whole records must export and import back
//     to the same bytes, hidden ones included; for one first byte in four,
//     the bytes (padded to one record when shorter) first get a valid memo
//     in each record, its times and note units read from the record's first
//     bytes, which the table then carries in its columns.
// Either way the quick export lines (lists/export_lines.h) must be the same.
// A text must also read the same a few bytes at a time, and each line the
// quick address reader takes must be the full reader's rule.
// Inputs are kept short (make fuzz bounds them): the reader is line by line,
// and many short texts find more than a few long ones.
#include "rules/rule.h"
#include "rules/rule_memo.h"
#include "lists/export_lines.h"
#include "lists/plain_list.h"
#include "lists/rule_text.h"
#include "lists/text_import.h"
#include "lists/text_lines.h"
#include "lists/text_pieces.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Also: the tool's quick export lines are ExportLine's, byte for byte.
std::string ExportedTable(const std::vector<_RULE>& rules) {
    std::string text = std::string(EXPORT_HEADER) + "\n";
    for (const _RULE& rule : rules) {
        const std::string line = ExportLine(rule) + "\n";
        std::string quick;
        AppendExportLine(rule, &quick);
        if (quick != line) {
            std::fprintf(stderr, "quick export line \"%s\" instead of \"%s\"\n", quick.c_str(), line.c_str());
            std::abort();
        }
        text += line;
    }
    return text;
}

[[noreturn]] void Fail(const char* what, const std::vector<_RULE>& rules, const ImportResult& back) {
    std::fprintf(stderr, "%s: %zu rules exported, %zu imported back, %zu bad lines\n", what,
                 rules.size(), back.rules.size(), back.badLines.size());
    for (const BadLine& bad : back.badLines) {
        std::fprintf(stderr, "  line %zu: %s\n", bad.number, bad.reason.c_str());
    }
    std::abort();
}

// The rules exported and read back must be the same records, byte for byte.
void ExpectRoundTrip(const char* what, const std::vector<_RULE>& rules) {
    const ImportResult back = ImportText(ExportedTable(rules));
    if (!back.badLines.empty() || back.rules.size() != rules.size()) Fail(what, rules, back);
    for (size_t i = 0; i < rules.size(); ++i) {
        if (std::memcmp(&rules[i], &back.rules[i], sizeof(_RULE)) != 0) Fail(what, rules, back);
    }
}

// Reasons and warnings show unprintable characters by code point, never raw.
void ExpectPrintable(const std::vector<BadLine>& reports) {
    for (const BadLine& report : reports) {
        for (char c : report.reason) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                std::fprintf(stderr, "line %zu: a raw control character in \"%s\"\n", report.number,
                             report.reason.c_str());
                std::abort();
            }
        }
    }
}

// A valid memo for the record, its fields read from the record's first
// bytes (random reserved bytes almost never are a block, and short inputs
// reach no further).
void GiveMemo(_RULE& rule) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&rule);
    RuleMemo memo{};
    std::memcpy(&memo.added, bytes, 8);
    std::memcpy(&memo.expires, bytes + 8, 8);
    memo.noteLength = static_cast<uint16_t>(bytes[16] % (MEMO_NOTE_UNITS + 1));
    std::memcpy(memo.note, bytes + 17, sizeof memo.note);
    std::memset(rule.reserved, 0, sizeof rule.reserved);
    WriteRuleMemo(rule, memo);
}

bool SameReports(const std::vector<BadLine>& a, const std::vector<BadLine>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const BadLine& x, const BadLine& y) {
        return x.number == y.number && x.reason == y.reason;
    });
}

// The text read `pieceBytes` at a time reads as it does whole.
void ExpectSameInPieces(const std::string& text, size_t pieceBytes, const ImportResult& whole) {
    std::vector<_RULE> rules;
    PieceImport import;
    import.lines.take = AppendRule;
    import.lines.context = &rules;
    for (size_t at = 0; at < text.size(); at += pieceBytes) {
        ImportPiece(import, text.data() + at, std::min(pieceBytes, text.size() - at));
    }
    EndPieces(import);
    if (rules.size() != whole.rules.size() ||
        (!rules.empty() && std::memcmp(rules.data(), whole.rules.data(), rules.size() * sizeof(_RULE)) != 0) ||
        !SameReports(import.lines.badLines, whole.badLines) || !SameReports(import.lines.warnings, whole.warnings)) {
        std::fprintf(stderr, "read %zu bytes at a time: %zu rules, %zu bad lines; whole: %zu rules, %zu bad lines\n",
                     pieceBytes, rules.size(), import.lines.badLines.size(), whole.rules.size(),
                     whole.badLines.size());
        std::abort();
    }
}

// A line a quick address reader takes (of a plain list or of the table) is
// read by the full reader as the same rule, without a warning.
void ExpectQuickAsFull(const std::string& text) {
    for (const std::string& line : Split(text, '\n')) {
        _RULE quick, full;
        std::vector<std::string> notes;
        std::string reason, warning;
        bool same = false;
        if (ParseAddressTableLine(line.data(), line.size(), &quick)) {
            same = ParseTableLine(line, &full, &reason, &warning);
        } else if (ParseAddressLine(line.data(), line.size(), PLAIN_DEFAULTS, &quick)) {
            same = ParsePlainLine(PlainLineText(line, &notes), PLAIN_DEFAULTS, &full, &reason, &warning);
        } else {
            continue;
        }
        if (!same ||
            !notes.empty() || !warning.empty() || std::memcmp(&quick, &full, sizeof quick) != 0) {
            std::fprintf(stderr, "\"%s\": the quick reader differs (%s%s)\n", line.c_str(), reason.c_str(),
                         warning.c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;
    if (data[0] % 2 == 0) {
        const std::string text(bytes, length);
        const ImportResult read = ImportText(text);
        ExpectSameInPieces(text, 1 + data[0] / 2 % 8, read);
        // Past the bytes that tell the encoding, lines are read as the pieces come.
        const std::string padded = std::string(ENCODING_SAMPLE_BYTES, '\n') + text;
        ExpectSameInPieces(padded, 1 + data[0] / 2 % 8, ImportText(padded));
        ExpectQuickAsFull(text);
        ExpectRoundTrip("text, import, export, import", read.rules);
        ExpectPrintable(read.badLines);
        ExpectPrintable(read.warnings);
    } else {
        const bool memos = data[0] % 4 == 3;
        std::vector<_RULE> records(memos ? std::max<size_t>(1, length / sizeof(_RULE)) : length / sizeof(_RULE));
        if (!records.empty()) {
            std::memset(records.data(), 0, records.size() * sizeof(_RULE));
            std::memcpy(records.data(), bytes, std::min(length, records.size() * sizeof(_RULE)));
        }
        if (memos) {
            for (_RULE& record : records) GiveMemo(record);
        }
        ExpectRoundTrip("rule file, export, import", records);
    }
    return 0;
}
