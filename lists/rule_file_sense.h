// Whether a file's bytes are a rule file at all: whole 460-byte records
// whose search types and statuses are values a rule list holds. A text list
// or any other file given where a rule file belongs reads as records of
// nonsense; this tells the two apart before a verb prints or writes them.
#pragma once

#include "rules/rule.h"

#include <cstdint>

// A value the editor writes (1, 2, 3, 7) or one made only of the three bits
// that matching reads (0 to 7). Any other value has a bit that nothing
// writes and nothing reads: a text's characters, random bytes.
constexpr bool IsPossibleSearchType(int32_t searchType) { return searchType >= 0 && searchType <= 7; }

// STATUS_UNCHANGED, or bits of the module's status byte only (8 to 15: the
// editor's 0, 256 and 768 among them). The host's own low byte, which
// matching never writes and the editor never sets, or a higher bit means
// the four bytes were never a status.
constexpr bool IsPossibleStatus(int32_t status) {
    return status == STATUS_UNCHANGED || (status & ~int32_t{0xFF00}) == 0;
}

constexpr bool IsPossibleRecord(const _RULE& rule) {
    return IsPossibleSearchType(rule.searchType) && IsPossibleStatus(rule.status);
}

struct RuleFileSense {
    bool wholeRecords;           // no part record at the end
    uint32_t impossibleRecords;  // records failing IsPossibleRecord
    bool mostlyImpossible;       // more than half of the records
    bool readsAsText;            // the bytes look like a text file
    bool isRuleFile;             // whole records, not mostly impossible
};

// Judges `count` records followed by `trailingBytes` bytes at `trailing`
// (the part record, when there is one). A file the module wrote always is
// a rule file: whole records of possible values; a few damaged records do
// not make it none. An empty file is an empty list.
RuleFileSense SenseRuleFile(const _RULE* records, uint32_t count, const unsigned char* trailing,
                            uint32_t trailingBytes);
