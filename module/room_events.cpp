// Reads the host's room record for each visitor event and posts the redraws
// of changed rows. Which rules pick a visitor is decided by the portable
// matching code; this part only reads and writes the host's records.
#include "module/room_events.h"

#include "matching/matching.h"
#include "matching/rule_pick.h"

#include <commctrl.h>

#include <ctime>

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "nicknames are UTF-16 code units");

// One visitor's entry and its row in the host's list.
struct RoomRow {
    _ROOM_USER& entry;
    HWND userList;
    uint32_t row;
};

// Writes the rule's effect into the entry (only a picked visitor's state and
// colours are touched) and has the row redrawn.
void ApplyToRoomRow(void* context, const _RULE& rule, uint32_t) {
    RoomRow& row = *static_cast<RoomRow*>(context);
    uint32_t nickColor = row.entry.nickColor;
    uint32_t textColor = row.entry.textColor;
    ApplyRuleEffect(rule, row.entry.state, nickColor, textColor);
    row.entry.nickColor = nickColor;
    row.entry.textColor = textColor;
    PostMessageA(row.userList, LVM_REDRAWITEMS, row.row, row.row);
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
    // One reading of the clock for the whole event.
    const RuleListView list = CurrentRuleList(static_cast<int64_t>(std::time(nullptr)));

    for (uint32_t i = first; i < end; ++i) {
        RoomRow row{room->users[i], room->hwndUserList, i};
        MatchOneVisitor(list, reinterpret_cast<const char16_t*>(row.entry.nick), row.entry.ip,
                        everyPickingRule, ApplyToRoomRow, &row);
    }
    return 0;
}
