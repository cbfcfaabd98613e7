// A room as the chat host keeps it: one _ROOM record and a contiguous array
// of visitors, the first userCount of them in the room. The entry just
// behind the counted ones is the spare one that an arrival (event 64) names.
#pragma once

#include "module/host_records.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct StandInRoom {
    _ROOM room{};
    std::vector<_ROOM_USER> users;  // room.users points here
};

// One visitor entry, its nickname and address cut to their fields.
_ROOM_USER MakeRoomEntry(const std::wstring& nick, const std::string& ip, uint32_t state,
                         COLORREF nickColor = 0, COLORREF textColor = 0);

// Points the room's record at its array and counts the first `counted`
// entries, its visitor list being `userList`; every other byte of the
// record is `fill` (a host byte the module must leave as it is).
void PlaceRoom(StandInRoom& room, uint32_t counted, HWND userList, uint8_t fill = 0);

// The room of the `counted` visitors and the spare entry behind them:
// `spare`, or an empty entry when null.
void FillRoom(StandInRoom& room, const std::vector<_ROOM_USER>& counted,
              const _ROOM_USER* spare, HWND userList);
