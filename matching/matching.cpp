// Runs on the host's user-interface thread for every visitor event, so it
// allocates nothing and converts each visitor's address once per call.
#include "matching/matching.h"

#include "rules/ip_pattern.h"
#include "rules/rule_array.h"
#include "rules/text_field.h"

#include <commctrl.h>

#include <cstring>

namespace {

constexpr uint32_t HOST_STATE_BITS = 0xFF;  // the host's own part of `state`

// What matching needs of one visitor, read once from the host's entry.
struct Visitor {
    const _ROOM_USER* entry;
    size_t nickLength;
    size_t ipLength;
    bool addressKnown;  // converted lazily: most rules never ask
    uint32_t address;
};

uint32_t VisitorAddress(Visitor& visitor) {
    if (!visitor.addressKnown) {
        visitor.address = ConvertAddress(visitor.entry->ip, visitor.ipLength);
        visitor.addressKnown = true;
    }
    return visitor.address;
}

bool NameMatches(const _RULE& rule, const Visitor& visitor) {
    // Exact UTF-16 comparison including the terminator, each side bounded by
    // its own field.
    const size_t ruleLength = FieldLength(rule.name);
    return ruleLength == visitor.nickLength &&
           std::memcmp(rule.name, visitor.entry->nick, ruleLength * sizeof(wchar_t)) == 0;
}

bool IpMatches(const _RULE& rule, Visitor& visitor) {
    if (visitor.ipLength == 0) return false;
    const size_t prefixLength = FieldLength(rule.ipPrefix);
    if (prefixLength > 0 && prefixLength <= visitor.ipLength &&
        std::memcmp(rule.ipPrefix, visitor.entry->ip, prefixLength) == 0) {
        return true;
    }
    if (rule.ipHigh != 0) {
        const uint32_t address = VisitorAddress(visitor);
        if (rule.ipLow <= address && address <= rule.ipHigh) return true;
    }
    return rule.ipLow != 0 && VisitorAddress(visitor) == rule.ipLow;
}

bool RulePicks(const _RULE& rule, Visitor& visitor) {
    const int32_t search = rule.searchType;
    bool nameResult = (search & SEARCH_NAME_BIT) && NameMatches(rule, visitor);
    bool ipResult = (search & SEARCH_IP_BIT) && IpMatches(rule, visitor);
    if (search == SEARCH_NAME_AND_IP) return nameResult && ipResult;
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

    uint32_t first = 0;
    bool everyRule = false;
    switch (event) {
        case EVENT_ALL_USERS: everyRule = true; break;
        case EVENT_NEW_USER: break;
        case EVENT_ONE_USER: break;
        default: return 0;
    }
    if (!room || !room->users) return 0;

    uint32_t end = 0;
    if (event == EVENT_ALL_USERS) {
        first = 0;
        end = room->userCount;
    } else {
        first = event == EVENT_NEW_USER ? room->userCount : index;
        end = first + 1;  // wraps to 0 for the last index: nothing then
    }

    for (uint32_t i = first; i < end; ++i) {
        _ROOM_USER& entry = room->users[i];
        Visitor visitor{&entry, FieldLength(entry.nick), FieldLength(entry.ip), false, 0};
        for (uint32_t j = 0; j < g_ruleCount; ++j) {
            if (!RulePicks(g_rules[j], visitor)) continue;
            ApplyRule(g_rules[j], entry, room->hwndUserList, i);
            if (!everyRule) break;
        }
    }
    return 0;
}
