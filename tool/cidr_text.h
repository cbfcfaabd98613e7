// `export --cidr`: the address rules as A/n blocks. What the blocks need is
// taken from the records first, so that a long list's records are let go
// before its text, often as long as they are, is made.
#pragma once

#include "lists/address_set.h"
#include "rules/rule.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CidrRule {
    uint32_t intervalsEnd;  // its intervals end there in CidrList::intervals
    int32_t status;
    uint32_t nickColor;
    uint32_t textColor;
};

struct CidrList {
    std::vector<AddressInterval> intervals;
    std::vector<CidrRule> rules;  // those with addresses, in order
    size_t leftOut = 0;           // rules that test the nickname or have no address
};

CidrList GatherCidrList(const _RULE* rules, size_t count);

// The bytes CidrLines will write.
size_t CidrLinesSize(const CidrList& list, bool plain);

// Each block's line, "A/n" with status and colours or, `plain`, alone,
// appended to `text`; with `piece`, the text goes to standard output and
// is emptied each time it holds that many bytes.
void CidrLines(const CidrList& list, bool plain, size_t piece, std::string* text);
