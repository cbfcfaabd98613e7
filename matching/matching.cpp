// Runs on the host's user-interface thread for every visitor event, so it
// allocates nothing and converts each visitor's address at most once per call.
#include "matching/matching.h"

#include "rules/ip_pattern.h"
#include "rules/rule_array.h"
#include "rules/text_field.h"

#include <commctrl.h>

namespace {

constexpr uint32_t HOST_STATE_BITS = 0xFF;  // the host's own part of `state`

// One visitor entry during a call; its address is converted on first need.
struct Visitor {
    const _ROOM_USER* entry;
    bool addressKnown;
    uint32_t address;
};

uint32_t VisitorAddress(Visitor& visitor) {
    if (!visitor.addressKnown) {
        visitor.address = ConvertAddress(visitor.entry->ip, FieldLength(visitor.entry->ip));
        visitor.addressKnown = true;
    }
    return visitor.address;
}

static_assert(RULE_NAME_UNITS < NICK_UNITS, "the name test reads nick[RULE_NAME_UNITS]");

// Exact, case-sensitive UTF-16 comparison up to and including the terminator.
// A rule name filling its whole field ends there, so the nickname must end
// at the same place; no read goes past either field.
bool NameMatches(const _RULE& rule, const wchar_t* nick) {
    for (size_t k = 0; k < RULE_NAME_UNITS; ++k) {
        if (rule.name[k] != nick[k]) return false;
        if (rule.name[k] == 0) return true;
    }
    return nick[RULE_NAME_UNITS] == 0;
}

static_assert(RULE_IP_PREFIX_BYTES == USER_IP_BYTES, "prefix and visitor IP have one width");

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

// Prefix, then range, then exact address; the first that succeeds decides.
bool IpMatches(const _RULE& rule, Visitor& visitor) {
    if (visitor.entry->ip[0] == 0) return false;
    if (PrefixMatches(rule.ipPrefix, visitor.entry->ip)) return true;
    if (rule.ipHigh != 0) {
        const uint32_t address = VisitorAddress(visitor);
        if (rule.ipLow <= address && address <= rule.ipHigh) return true;
    }
    return rule.ipLow != 0 && VisitorAddress(visitor) == rule.ipLow;
}

bool RulePicks(const _RULE& rule, Visitor& visitor) {
    const int32_t search = rule.searchType;
    bool nameResult = (search & SEARCH_NAME_BIT) && NameMatches(rule, visitor.entry->nick);
    // Both tests are needed only with 3; skip the IP test when the name already failed.
    if (search == SEARCH_NAME_AND_IP) return nameResult && IpMatches(rule, visitor);
    bool ipResult = (search & SEARCH_IP_BIT) && IpMatches(rule, visitor);
    // A rule that asks for one test only is decided by that test.
    if (search == SEARCH_NAME) ipResult = true;
    if (search == SEARCH_IP) nameResult = true;
    if (search & SEARCH_EITHER_BIT) {
        if (nameResult) ipResult = true;
        if (ipResult) nameResult = true;
    }
    return nameResult && ipResult;
}

void ApplyRule(const _RULE& rule, _ROOM_USER& entry, HWND userList, uint32_t row) {
    if (rule.status != STATUS_UNCHANGED) {
        // Bits 0-7 stay the host's even if a rule file carries some there.
        entry.state = (entry.state & HOST_STATE_BITS) |
                      (static_cast<uint32_t>(rule.status) & ~HOST_STATE_BITS);
    }
    entry.nickColor = rule.nickColor;
    entry.textColor = rule.textColor;
    PostMessageA(userList, LVM_REDRAWITEMS, row, row);
}

}  // namespace

uint32_t MatchRoomVisitors(uint32_t event, _ROOM* room, uint32_t index) {
    if (event == EVENT_QUERY) return HANDLED_EVENTS;
    if (event != EVENT_ALL_USERS && event != EVENT_NEW_USER && event != EVENT_ONE_USER) return 0;
    // A host that passes no room or no visitors gets nothing done, not a crash.
    if (!room || !room->users) return 0;

    // Unsigned bounds: first + 1 wraps to 0 for the last index, and then
    // nothing is processed.
    uint32_t first = 0;
    uint32_t end = room->userCount;
    if (event != EVENT_ALL_USERS) {
        first = event == EVENT_NEW_USER ? room->userCount : index;
        end = first + 1;
    }
    const bool everyPickingRule = event == EVENT_ALL_USERS;

    for (uint32_t i = first; i < end; ++i) {
        _ROOM_USER& entry = room->users[i];
        Visitor visitor{&entry, false, 0};
        for (uint32_t j = 0; j < g_ruleCount; ++j) {
            if (!RulePicks(g_rules[j], visitor)) continue;
            ApplyRule(g_rules[j], entry, room->hwndUserList, i);
            if (!everyPickingRule) break;
        }
    }
    return 0;
}
