// The rule file: the list's records, 460 bytes each, in list order, with no
// header. A trailing part record is ignored. The module reads and writes it
// through LoadRules and SaveRules (rule_array.h); the rule-list tool reads
// and writes whole files of records with the same code.
#pragma once

#include "rules/rule.h"

#include <cstdint>

// What a rule file held: `records` is a block from std::malloc (release it
// with std::free) with `count` whole records and room for `capacity`;
// `trailingBytes` is the size of the part record at the end, which no
// reader uses.
struct RuleFileContents {
    _RULE* records;
    uint32_t count;
    uint32_t capacity;
    uint32_t trailingBytes;
};

// 0, or -1 when the file cannot be opened (absent, held by another program
// for writing) or memory runs out; `contents` is then untouched.
int32_t ReadRuleRecords(const char* path, RuleFileContents* contents);

// Writes `count` records to a file beside `path` and puts it in place in one
// step. 0, or -1 with the previous file left as it was (no folder, a
// read-only file, a file another program holds open for writing).
int32_t WriteRuleRecords(const char* path, const _RULE* records, uint32_t count);
