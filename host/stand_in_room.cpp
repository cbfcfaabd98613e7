#include "host/stand_in_room.h"

#include <algorithm>
#include <cstring>

_ROOM_USER MakeRoomEntry(const std::wstring& nick, const std::string& ip, uint32_t state,
                         COLORREF nickColor, COLORREF textColor) {
    _ROOM_USER entry;
    std::memset(&entry, 0, sizeof entry);
    // Each text ends at its first zero or at its field's last unit, which
    // stays the terminator.
    const size_t nickUnits = std::min(nick.find(L'\0'), std::min(nick.size(), NICK_UNITS - 1));
    std::memcpy(entry.nick, nick.data(), nickUnits * sizeof(wchar_t));
    const size_t ipBytes = std::min(ip.find('\0'), std::min(ip.size(), USER_IP_BYTES - 1));
    std::memcpy(entry.ip, ip.data(), ipBytes);
    entry.state = state;
    entry.nickColor = nickColor;
    entry.textColor = textColor;
    return entry;
}

void PlaceRoom(StandInRoom& room, uint32_t counted, HWND userList, uint8_t fill) {
    std::memset(&room.room, fill, sizeof room.room);
    room.room.hwndUserList = userList;
    room.room.users = room.users.empty() ? nullptr : room.users.data();
    room.room.userCount = counted;
}

void FillRoom(StandInRoom& room, const std::vector<_ROOM_USER>& counted,
              const _ROOM_USER* spare, HWND userList) {
    room.users = counted;
    room.users.push_back(spare ? *spare : MakeRoomEntry(L"", "", 0));
    PlaceRoom(room, static_cast<uint32_t>(counted.size()), userList);
}
