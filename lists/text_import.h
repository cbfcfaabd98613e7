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
// The TakeRule that appends to the std::vector<_RULE> `rules`.
void AppendRule(void* rules, const _RULE& rule);

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

// The lines of a text that comes in pieces: the line a piece's end cuts is
// carried to the next piece, and a CR LF that falls between two pieces is
// one line end. Lines end at LF, CR LF or a CR alone, as TextLines has them.
using TakeLine = void (*)(void* context, const char* text, size_t length);
struct LineSplit {
    std::string carried;
    bool afterCr = false;  // the last piece ended with CR: a LF starting the next is its end
};
void SplitPiece(LineSplit& split, const char* bytes, size_t size, TakeLine take, void* context);
// After the last piece: the line that no line end closed, if any.
void EndSplit(LineSplit& split, TakeLine take, void* context);

// A text read a piece at a time. UTF-8 lines are read as the pieces come;
// a UTF-16 text (by its byte order mark, or by the NUL bytes of its first
// bytes, as TextLines judges them) is gathered and read whole at the end.
struct PieceImport {
    LineImport lines;
    LineSplit split;
    std::string gathered;  // the first bytes, until they tell the encoding; all of a UTF-16 text
    bool started = false;
    bool gathering = false;
};

void ImportPiece(PieceImport& import, const char* bytes, size_t size);
// After the last piece: reads what is left.
void EndPieces(PieceImport& import);

// How many lines ImportPiece would read from these pieces (a UTF-16 text
// aside), for holding the rules in one block.
struct LineCount {
    LineSplit split;
    size_t lines = 0;
};
void CountLines(LineCount& count, const char* bytes, size_t size);
size_t EndCount(LineCount& count);
