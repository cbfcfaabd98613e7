// Whether one rule picks one visitor, and the plain walk over the rule list
// in list order. Plain code without Windows: the module and the native
// tests compile the same source.
#pragma once

#include "contract/host_contract.h"
#include "rules/rule.h"

#include <cstddef>
#include <cstdint>

// One visitor during one event. The address is converted on first need and
// then reused for every rule.
struct MatchVisitor {
    const char16_t* nick;  // NICK_UNITS UTF-16 units
    const char* ip;        // USER_IP_BYTES bytes of dotted text
    bool addressKnown;
    uint32_t address;
};

MatchVisitor MakeMatchVisitor(const char16_t* nick, const char* ip);

// The visitor's address as the IP sub-tests compare it (ADDRESS_NONE for
// text that is no address).
uint32_t VisitorAddress(MatchVisitor& visitor);

bool NameMatches(const _RULE& rule, const char16_t* nick);
bool IpMatches(const _RULE& rule, MatchVisitor& visitor);
bool RulePicks(const _RULE& rule, MatchVisitor& visitor);

// The first rule at or after `from` that picks the visitor, or `count`.
uint32_t NextPickingRuleByWalk(const _RULE* rules, uint32_t count, uint32_t from,
                               MatchVisitor& visitor);

// What a picking rule writes into the visitor's entry: status bits 8 to 31
// (unless the rule leaves the status unchanged) and both colours.
void ApplyRuleEffect(const _RULE& rule, uint32_t& state, uint32_t& nickColor,
                     uint32_t& textColor);
