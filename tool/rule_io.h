// How torvo-rules reads and writes for every verb: rule files through the
// module's own rule-file code, texts a piece at a time, outputs never over an input,
// and one wording for each failure.
#pragma once

#include "rules/rule.h"
#include "rules/rule_file.h"
#include "lists/rule_text.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int EXIT_DONE = 0;
constexpr int EXIT_REPORTED = 1;
constexpr int EXIT_CANNOT = 2;

// "torvo-rules: " and the message on standard error; EXIT_CANNOT.
int Cannot(const std::string& message);

// The records as the rule-file code gave them, held where it put them: a
// copy-on-write view of the file (what a verb writes there stays in this
// process, and costs memory only for the pages written), or a block read
// where the file could not be mapped. `records.reset()` lets either go.
struct ReleaseRecords {
    MappedRuleRecords source{};
    void operator()(_RULE*) const { ReleaseRuleRecords(source); }
};
struct RuleRecords {
    std::unique_ptr<_RULE, ReleaseRecords> records;
    uint32_t count = 0;

    const _RULE* data() const { return records.get(); }
    size_t size() const { return count; }
    const _RULE* begin() const { return records.get(); }
    const _RULE* end() const { return records.get() + count; }
    const _RULE& operator[](size_t index) const { return records.get()[index]; }
};

// The whole records of a rule file, and how many bytes follow the last one.
struct LoadedRules {
    RuleRecords rules;
    uint32_t trailingBytes = 0;
};

// The rule file at `path`: EXIT_DONE with its records. EXIT_CANNOT, after
// saying why, when it cannot be read or is no rule file (a part record at
// the end, records mostly of impossible values: lists/rule_file_sense.h),
// with the hint to import it when it reads as text. `force` takes the whole
// records of any file that can be read. The file is held (others may read
// it, not replace it) while the records are used; or, `Never`, only while
// they are copied, for a verb that writes as it goes, perhaps into a pager.
enum class FileHeld { WhileUsed, Never };
int ReadRuleFile(const std::string& path, bool force, LoadedRules* loaded, FileHeld held = FileHeld::WhileUsed);

// A text file, or standard input for "-", a piece at a time (a megabyte,
// less at the end) into `take`; false when it cannot be read, and then
// CannotRead says why and gives EXIT_CANNOT.
constexpr size_t TEXT_PIECE_BYTES = size_t{1} << 20;
using TakePiece = void (*)(void* context, const char* bytes, size_t size);
bool ReadTextPieces(const std::string& path, TakePiece take, void* context);
int CannotRead(const std::string& path);

// True, after saying so, when `output` is one of `inputs` (also through a
// link or another name of the file): writing it would destroy what is read.
bool OutputIsAnInput(const std::string& output, const std::vector<std::string>& inputs);

// Text to standard output ("-") or into a file in one step.
int WriteText(const std::string& output, const std::string& text, const std::vector<std::string>& inputs);

// Rules into the rule file `output` as the module writes it (rule_file.h),
// through a link to its target, in a path that leaves room for the names
// the module keeps beside it. An empty list is
// not written over a file that holds something unless `allowEmpty`.
int WriteRules(const std::string& output, bool allowEmpty, const _RULE* rules, size_t count,
               const std::vector<std::string>& inputs);

// A note on bytes after the last whole record, which are ignored (when
// reading) or not carried over (when writing a list made from the file).
std::string TrailingNote(const std::string& path, uint32_t trailingBytes);
std::string NotCarriedOverNote(const std::string& path, uint32_t trailingBytes);

// "SOURCE:LINE: KIND REASON" for the first hundred lines, then how many more.
void ReportLines(const std::string& source, const std::vector<BadLine>& lines, const char* kind);
