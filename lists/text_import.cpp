#include "lists/text_import.h"

#include "lists/hidden_characters.h"
#include "lists/text_lines.h"
#include "lists/text_pieces.h"
#include "lists/rule_words.h"

#include <algorithm>

namespace {

// A line of the exported table's shape in a text without its header (a
// rule copied from the editor, or one line of an export): six to eleven
// columns, the second a search type, which no plain list's line has.
bool LooksLikeTableLine(const std::string& line) {
    const size_t columns = static_cast<size_t>(std::count(line.begin(), line.end(), '\t')) + 1;
    if (columns < TABLE_REQUIRED_COLUMNS || columns > TABLE_COLUMNS) return false;
    const size_t start = line.find('\t') + 1;
    int32_t searchType = 0;
    return ParseSearch(line.substr(start, line.find('\t', start) - start), &searchType);
}

// Reasons and warnings quote what the text holds: unprintable characters
// in them are shown by code point.
void Report(std::vector<BadLine>* to, size_t number, const std::string& what) {
    to->push_back({number, Shown(what)});
}

void PushRule(void* context, const _RULE& rule) { static_cast<std::vector<_RULE>*>(context)->push_back(rule); }

// The text's first bytes (ENCODING_SAMPLE_BYTES, unless the text is
// shorter) tell its encoding, as they do for a text read whole.
void StartText(PieceImport& import) {
    import.started = true;
    const std::string& first = import.carried;
    if (StartsWith(first, "\xFF\xFE") || StartsWith(first, "\xFE\xFF") ||
        LooksLikeUtf16(first.data(), std::min(first.size(), ENCODING_SAMPLE_BYTES))) {
        import.gathering = true;
    } else if (StartsWith(first, "\xEF\xBB\xBF")) {
        import.carried.erase(0, 3);
    }
}

void ReadLines(PieceImport& import, const char* bytes, size_t size) {
    size_t at = import.afterCr && size > 0 && bytes[0] == '\n' ? 1 : 0;
    if (size > 0) import.afterCr = false;
    size_t start = at;
    for (; at < size; ++at) {
        const char end = bytes[at];
        if (end != '\n' && end != '\r') continue;
        if (import.carried.empty()) {
            ImportLine(import.lines, bytes + start, at - start);
        } else {
            import.carried.append(bytes + start, at - start);
            ImportLine(import.lines, import.carried.data(), import.carried.size());
            import.carried.clear();
        }
        if (end == '\r') {
            if (at + 1 == size) import.afterCr = true;
            else if (bytes[at + 1] == '\n') ++at;
        }
        start = at + 1;
    }
    import.carried.append(bytes + start, size - start);
}

// The text's first bytes, gathered to tell the encoding, read as lines.
void StartAndReadLines(PieceImport& import) {
    StartText(import);
    if (import.gathering) return;
    std::string first;
    first.swap(import.carried);
    ReadLines(import, first.data(), first.size());
}

}  // namespace

void ImportLine(LineImport& import, const char* bytes, size_t length) {
    const size_t number = ++import.lineNumber;
    _RULE rule;
    // Most lines of a long list are addresses alone.
    if (import.table ? ParseAddressTableLine(bytes, length, &rule)
                     : ParseAddressLine(bytes, length, import.defaults, &rule)) {
        import.take(import.context, rule);
        return;
    }
    const std::string text(bytes, length);
    // The header's first four columns are enough to know an exported table.
    if (number == 1 && StartsWith(text, "nickname\tsearch\tip\tstatus")) {
        import.table = true;
        return;
    }
    std::vector<std::string> notes;
    const bool tableLine = import.table || LooksLikeTableLine(text);
    const std::string line = tableLine ? text : PlainLineText(text, &notes);
    for (const std::string& note : notes) Report(&import.warnings, number, note);
    if (line.find_first_not_of(" \t") == std::string::npos) return;
    std::string reason;
    std::string warning;
    const bool good = tableLine ? ParseTableLine(line, &rule, &reason, &warning)
                                : ParsePlainLine(line, import.defaults, &rule, &reason, &warning);
    if (!good) {
        Report(&import.badLines, number, reason);
        return;
    }
    import.take(import.context, rule);
    if (!warning.empty()) Report(&import.warnings, number, warning);
}

ImportResult ImportText(std::string text, const PlainDefaults& defaults) {
    ImportResult result;
    std::vector<LineSpan> lines;
    std::string textReason;
    if (!TextLines(&text, &lines, &textReason)) {
        result.badLines.push_back({1, textReason});
        return result;
    }
    // At most a rule a line: reserved once, the list never grows by copying
    // itself (which would hold a long list one and a half times over).
    result.rules.reserve(lines.size());
    LineImport import;
    import.defaults = defaults;
    import.take = PushRule;
    import.context = &result.rules;
    for (const LineSpan& line : lines) ImportLine(import, text.data() + line.start, line.length);
    result.badLines = std::move(import.badLines);
    result.warnings = std::move(import.warnings);
    return result;
}

void ImportPiece(PieceImport& import, const char* bytes, size_t size) {
    if (import.gathering) {
        import.carried.append(bytes, size);
    } else if (import.started) {
        ReadLines(import, bytes, size);
    } else {
        import.carried.append(bytes, size);
        if (import.carried.size() >= ENCODING_SAMPLE_BYTES) StartAndReadLines(import);
    }
}

void EndPieces(PieceImport& import) {
    if (!import.started) StartAndReadLines(import);
    if (!import.gathering) {
        if (!import.carried.empty()) ImportLine(import.lines, import.carried.data(), import.carried.size());
        import.carried.clear();
        return;
    }
    std::vector<LineSpan> lines;
    std::string reason;
    if (!TextLines(&import.carried, &lines, &reason)) {
        import.lines.badLines.push_back({1, reason});
    } else {
        for (const LineSpan& line : lines) {
            ImportLine(import.lines, import.carried.data() + line.start, line.length);
        }
    }
    import.carried.clear();
}

void CountLines(LineCount& count, const char* bytes, size_t size) {
    size_t at = count.afterCr && size > 0 && bytes[0] == '\n' ? 1 : 0;
    if (size > 0) count.afterCr = false;
    for (; at < size; ++at) {
        const char end = bytes[at];
        if (end != '\n' && end != '\r') {
            count.inLine = true;
            continue;
        }
        ++count.lines;
        count.inLine = false;
        if (end == '\r') {
            if (at + 1 == size) count.afterCr = true;
            else if (bytes[at + 1] == '\n') ++at;
        }
    }
}
