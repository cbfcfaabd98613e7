#include "lists/text_import.h"

#include "lists/hidden_characters.h"
#include "lists/text_lines.h"
#include "lists/text_pieces.h"
#include "lists/rule_words.h"

#include <algorithm>
#include <cstring>

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

void TakeImportLine(void* import, const char* text, size_t length) {
    ImportLine(*static_cast<LineImport*>(import), text, length);
}

void CountLine(void* lines, const char*, size_t) { ++*static_cast<size_t*>(lines); }

// The text's first bytes (ENCODING_SAMPLE_BYTES, unless the text is
// shorter) tell its encoding, as they do for a text read whole: they are
// gathered with the rest of a UTF-16 text, else read as lines.
void StartText(PieceImport& import, const char* first, size_t size) {
    import.started = true;
    const auto startsWith = [&](const char* mark, size_t length) {
        return size >= length && std::memcmp(first, mark, length) == 0;
    };
    if (startsWith("\xFF\xFE", 2) || startsWith("\xFE\xFF", 2) ||
        LooksLikeUtf16(first, std::min(size, ENCODING_SAMPLE_BYTES))) {
        import.gathering = true;
        if (first != import.gathered.data()) import.gathered.assign(first, size);
        return;
    }
    const size_t mark = startsWith("\xEF\xBB\xBF", 3) ? 3 : 0;
    SplitPiece(import.split, first + mark, size - mark, TakeImportLine, &import.lines);
    std::string().swap(import.gathered);
}

}  // namespace

void AppendRule(void* rules, const _RULE& rule) { static_cast<std::vector<_RULE>*>(rules)->push_back(rule); }

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

ImportResult ImportText(const std::string& text, const PlainDefaults& defaults) {
    ImportResult result;
    // At most a rule a line: reserved once, the list never grows by copying
    // itself (which would hold a long list one and a half times over).
    LineCount count;
    CountLines(count, text.data(), text.size());
    result.rules.reserve(EndCount(count));
    PieceImport import;
    import.lines.defaults = defaults;
    import.lines.take = AppendRule;
    import.lines.context = &result.rules;
    ImportPiece(import, text.data(), text.size());
    EndPieces(import);
    result.badLines = std::move(import.lines.badLines);
    result.warnings = std::move(import.lines.warnings);
    return result;
}

void SplitPiece(LineSplit& split, const char* bytes, size_t size, TakeLine take, void* context) {
    size_t at = split.afterCr && size > 0 && bytes[0] == '\n' ? 1 : 0;
    if (size > 0) split.afterCr = false;
    size_t start = at;
    for (; at < size; ++at) {
        const char end = bytes[at];
        if (end != '\n' && end != '\r') continue;
        if (split.carried.empty()) {
            take(context, bytes + start, at - start);
        } else {
            split.carried.append(bytes + start, at - start);
            take(context, split.carried.data(), split.carried.size());
            split.carried.clear();
        }
        if (end == '\r') {
            if (at + 1 == size) split.afterCr = true;
            else if (bytes[at + 1] == '\n') ++at;
        }
        start = at + 1;
    }
    split.carried.append(bytes + start, size - start);
}

void EndSplit(LineSplit& split, TakeLine take, void* context) {
    if (!split.carried.empty()) take(context, split.carried.data(), split.carried.size());
    split.carried.clear();
}

void ImportPiece(PieceImport& import, const char* bytes, size_t size) {
    if (import.started) {
        if (import.gathering) import.gathered.append(bytes, size);
        else SplitPiece(import.split, bytes, size, TakeImportLine, &import.lines);
    } else if (import.gathered.empty() && size >= ENCODING_SAMPLE_BYTES) {
        StartText(import, bytes, size);  // a first piece long enough is read where it lies
    } else {
        import.gathered.append(bytes, size);
        if (import.gathered.size() >= ENCODING_SAMPLE_BYTES) {
            StartText(import, import.gathered.data(), import.gathered.size());
        }
    }
}

void EndPieces(PieceImport& import) {
    if (!import.started) StartText(import, import.gathered.data(), import.gathered.size());
    if (!import.gathering) {
        EndSplit(import.split, TakeImportLine, &import.lines);
        return;
    }
    std::vector<LineSpan> lines;
    std::string reason;
    if (!TextLines(&import.gathered, &lines, &reason)) {
        import.lines.badLines.push_back({1, reason});
    } else {
        for (const LineSpan& line : lines) {
            ImportLine(import.lines, import.gathered.data() + line.start, line.length);
        }
    }
    std::string().swap(import.gathered);
}

void CountLines(LineCount& count, const char* bytes, size_t size) {
    SplitPiece(count.split, bytes, size, CountLine, &count.lines);
}

size_t EndCount(LineCount& count) {
    EndSplit(count.split, CountLine, &count.lines);
    return count.lines;
}
