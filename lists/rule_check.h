// What `check` finds in a rule list: rules that can never pick anyone, exact
// duplicates, rules that earlier rules hide from arriving visitors (the
// same test, addresses wholly inside an earlier rule's, or inside those of
// several earlier rules of the same search type, status and colours
// together), a part record at the end of the file; and, as notes, address rules that partly overlap an
// earlier one with another status. Address tests are compared as intervals,
// sorted and swept, so half a million ranges take a second or two.
#pragma once

#include "rules/rule.h"

#include <cstdint>
#include <string>
#include <vector>

struct Finding {
    uint32_t rule;  // 1-based list position; 0 for the file as a whole
    std::string text;
    bool note;  // information only: the list works, maybe not as meant
};

std::vector<Finding> CheckRules(const _RULE* rules, uint32_t count, uint32_t trailingBytes);

// Everything of a rule that matching, the editor or the list shows: two
// rules with equal keys are exact duplicates. Bytes behind the texts'
// terminators and the reserved bytes do not count.
std::string DuplicateKey(const _RULE& rule);
