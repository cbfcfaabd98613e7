// Reading a rule text (rule_text.h says what it may hold) line by line,
// each good line's rule handed on as soon as it is read: the whole text at
// once (ImportText), or a long file a piece at a time, so that neither the
// text nor its rules need to be held whole.
#pragma once

#include "lists/plain_list.h"
#include "lists/rule_text.h"
#include "rules/rule.h"

#include <cstddef>
#include <string>
#include <vector>

// Where each good line's rule goes, in line order.
using TakeRule = void (*)(void* context, const _RULE& rule);

struct LineImport {
    PlainDefaults defaults = PLAIN_DEFAULTS;
    TakeRule take = nullptr;
    void* context = nullptr;
    size_t lineNumber = 0;  // lines read so far
    bool table = false;     // the text started with the table's header
    std::vector<BadLine> badLines;
    std::vector<BadLine> warnings;
};

// Reads the text's next line, without its end.
void ImportLine(LineImport& import, const char* text, size_t length);

// A text read a piece at a time. UTF-8 lines are read as the pieces come;
// a UTF-16 text (by its byte order mark, or by the NUL bytes of its first
// bytes, as TextLines judges them) is gathered and read whole at the end.
struct PieceImport {
    LineImport lines;
    std::string carried;  // the last piece's unfinished line; all of a UTF-16 text
    bool started = false;
    bool gathering = false;
    bool afterCr = false;  // the last piece ended with CR: a LF starting this one is its end
};

void ImportPiece(PieceImport& import, const char* bytes, size_t size);
// After the last piece: reads what is left.
void EndPieces(PieceImport& import);

// How many lines ImportPiece would read from these pieces, for holding the
// rules in one block: counted with the same line ends.
struct LineCount {
    size_t lines = 0;
    bool inLine = false;
    bool afterCr = false;
};
void CountLines(LineCount& count, const char* bytes, size_t size);
inline size_t CountedLines(const LineCount& count) { return count.lines + (count.inLine ? 1 : 0); }
