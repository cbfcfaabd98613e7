#include "matching/rule_pick.h"

#include "rules/ip_pattern.h"
#include "rules/text_field.h"

MatchVisitor MakeMatchVisitor(const char16_t* nick, const char* ip) {
    return MatchVisitor{nick, ip, false, 0};
}

uint32_t VisitorAddress(MatchVisitor& visitor) {
    if (!visitor.addressKnown) {
        visitor.address = ConvertAddress(visitor.ip, BoundedLength(visitor.ip, USER_IP_BYTES));
        visitor.addressKnown = true;
    }
    return visitor.address;
}

static_assert(RULE_NAME_UNITS < NICK_UNITS, "the name test reads nick[RULE_NAME_UNITS]");

// Exact, case-sensitive UTF-16 comparison up to and including the terminator.
// A rule name filling its whole field ends there, so the nickname must end
// at the same place; no read goes past either field.
bool NameMatches(const _RULE& rule, const char16_t* nick) {
    for (size_t k = 0; k < RULE_NAME_UNITS; ++k) {
        if (rule.name[k] != nick[k]) return false;
        if (rule.name[k] == 0) return true;
    }
    return nick[RULE_NAME_UNITS] == 0;
}

static_assert(RULE_IP_PREFIX_BYTES == USER_IP_BYTES, "prefix and visitor IP have one width");

namespace {

// The visitor's IP text begins with the rule's non-empty prefix. A visitor
// text shorter than the prefix fails at its terminator.
bool PrefixMatches(const char (&prefix)[RULE_IP_PREFIX_BYTES], const char* ip) {
    if (prefix[0] == 0) return false;
    for (size_t k = 0; k < RULE_IP_PREFIX_BYTES; ++k) {
        if (prefix[k] == 0) return true;
        if (prefix[k] != ip[k]) return false;
    }
    return true;
}

}  // namespace

// Prefix, then range, then exact address; the first that succeeds decides.
bool IpMatches(const _RULE& rule, MatchVisitor& visitor) {
    if (visitor.ip[0] == 0) return false;
    if (PrefixMatches(rule.ipPrefix, visitor.ip)) return true;
    if (rule.ipHigh != 0) {
        const uint32_t address = VisitorAddress(visitor);
        if (rule.ipLow <= address && address <= rule.ipHigh) return true;
    }
    return rule.ipLow != 0 && VisitorAddress(visitor) == rule.ipLow;
}

bool RulePicks(const _RULE& rule, MatchVisitor& visitor) {
    const int32_t search = rule.searchType;
    bool nameResult = TestsName(search) && NameMatches(rule, visitor.nick);
    // Both tests are needed only with 3; skip the IP test when the name already failed.
    if (search == SEARCH_NAME_AND_IP) return nameResult && IpMatches(rule, visitor);
    bool ipResult = TestsIp(search) && IpMatches(rule, visitor);
    // A rule that asks for one test only is decided by that test.
    if (search == SEARCH_NAME) ipResult = true;
    if (search == SEARCH_IP) nameResult = true;
    if (HasEitherBit(search)) {
        if (nameResult) ipResult = true;
        if (ipResult) nameResult = true;
    }
    return nameResult && ipResult;
}

uint32_t NextPickingRuleByWalk(const _RULE* rules, uint32_t count, uint32_t from,
                               MatchVisitor& visitor) {
    for (uint32_t j = from; j < count; ++j) {
        if (RulePicks(rules[j], visitor)) return j;
    }
    return count;
}

void ApplyRuleEffect(const _RULE& rule, uint32_t& state, uint32_t& nickColor,
                     uint32_t& textColor) {
    if (SetsStatus(rule.status)) {
        // Bits 0-7 stay the host's even if a rule file carries some there.
        state = (state & HOST_STATE_BITS) | (static_cast<uint32_t>(rule.status) & ~HOST_STATE_BITS);
    }
    nickColor = rule.nickColor;
    textColor = rule.textColor;
}
