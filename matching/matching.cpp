// Runs on the host's user-interface thread for every visitor event, so it
// allocates nothing (apart from rebuilding the index once after the rule
// list changed) and converts each visitor's address at most once per call.
// Which rules pick a visitor is decided by the portable rule_pick and
// rule_index code; this part reads the host's records and posts redraws.
#include "matching/matching.h"

#include "matching/rule_index.h"
#include "matching/rule_pick.h"
#include "rules/rule_array.h"

#include <commctrl.h>

bool g_matchByPlainWalk = false;

namespace {

static_assert(NICK_UNITS == VISITOR_NICK_UNITS && USER_IP_BYTES == VISITOR_IP_BYTES,
              "the portable matcher reads the host's field widths");
static_assert(sizeof(wchar_t) == sizeof(char16_t), "nicknames are UTF-16 code units");

RuleIndex g_ruleIndex{};
bool g_ruleIndexTried = false;     // built, or failed, for g_ruleIndexVersion
uint32_t g_ruleIndexVersion = 0;

// Candidates of one visitor; more than this many and the visitor is matched
// by walking the list.
constexpr uint32_t CANDIDATE_CAPACITY = 4096;
uint32_t g_candidates[CANDIDATE_CAPACITY];

// The index describing the current array, rebuilt at most once per change;
// null when memory for it could not be had.
const RuleIndex* CurrentRuleIndex() {
    if (!g_ruleIndexTried || g_ruleIndexVersion != g_ruleArrayVersion) {
        BuildRuleIndex(g_ruleIndex, g_rules, g_ruleCount);
        g_ruleIndexTried = true;
        g_ruleIndexVersion = g_ruleArrayVersion;
    }
    return g_ruleIndex.built ? &g_ruleIndex : nullptr;
}

void ApplyRule(const _RULE& rule, _ROOM_USER& entry, HWND userList, uint32_t row) {
    uint32_t nickColor = entry.nickColor;
    uint32_t textColor = entry.textColor;
    ApplyRuleEffect(rule, entry.state, nickColor, textColor);
    entry.nickColor = nickColor;
    entry.textColor = textColor;
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
    if (first >= end) return 0;
    const bool everyPickingRule = event == EVENT_ALL_USERS;
    const RuleIndex* ruleIndex = g_matchByPlainWalk ? nullptr : CurrentRuleIndex();

    for (uint32_t i = first; i < end; ++i) {
        _ROOM_USER& entry = room->users[i];
        MatchVisitor visitor =
            MakeMatchVisitor(reinterpret_cast<const char16_t*>(entry.nick), entry.ip);
        PickScan scan;
        StartPickScan(scan, ruleIndex, g_rules, g_ruleCount, visitor, g_candidates,
                      CANDIDATE_CAPACITY);
        uint32_t rule = 0;
        while (NextPick(scan, visitor, &rule)) {
            ApplyRule(g_rules[rule], entry, room->hwndUserList, i);
            if (!everyPickingRule) break;
        }
    }
    return 0;
}

void FreeMatchingIndex() {
    FreeRuleIndex(g_ruleIndex);
    g_ruleIndexTried = false;
}

size_t MatchingIndexBytes() { return g_ruleIndex.bytes; }
