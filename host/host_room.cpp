// The room: its visitor list window, the events reported to the module, and
// what the module changed of the host's bytes.
#include "host/host_parts.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

// ---- The room -----------------------------------------------------------

bool CreateRoomWindows(HostRoom& room) {
    WNDCLASSW frameClass{};
    frameClass.lpfnWndProc = DefWindowProcW;
    frameClass.hInstance = GetModuleHandleW(nullptr);
    frameClass.lpszClassName = L"TorvoHostRoom";
    RegisterClassW(&frameClass);
    room.window = CreateWindowExW(0, frameClass.lpszClassName, L"Room", WS_OVERLAPPEDWINDOW, 0, 0,
                                  480, 320, nullptr, nullptr, frameClass.hInstance, nullptr);
    if (!room.window) return false;
    room.list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0,
                                460, 280, room.window, nullptr, frameClass.hInstance, nullptr);
    if (!room.list) return false;
    const wchar_t* titles[] = {L"Nickname", L"IP"};
    for (int column = 0; column < 2; ++column) {
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_WIDTH;
        header.cx = 200;
        header.pszText = const_cast<wchar_t*>(titles[column]);
        SendMessageW(room.list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
    }
    return CountRedraws(room.list, room.redraws);
}

void AddListRow(const HostRoom& room, size_t index) {
    const _ROOM_USER& entry = room.seen.users[index];
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(index);
    item.pszText = const_cast<wchar_t*>(entry.nick);
    SendMessageW(room.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    wchar_t ip[USER_IP_BYTES] = {};
    for (size_t i = 0; i < USER_IP_BYTES - 1 && entry.ip[i]; ++i) {
        ip[i] = static_cast<unsigned char>(entry.ip[i]);
    }
    item.iSubItem = 1;
    item.pszText = ip;
    SendMessageW(room.list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
}

// Every visitor gets an entry (host colours start black), none counted yet.
bool BuildRoom(HostRoom& room, const std::vector<HostVisitor>& visitors) {
    if (!CreateRoomWindows(room)) return false;
    for (const HostVisitor& visitor : visitors) {
        room.seen.users.push_back(MakeRoomEntry(visitor.nick, visitor.ip, visitor.state));
    }
    PlaceRoom(room.seen, 0, room.list, HOST_GUARD_BYTE);
    room.original = room.seen.users;
    room.events.assign(room.seen.users.size(), {});
    room.redraws.rows.assign(room.seen.users.size(), 0);
    return true;
}

void NoteEvent(HostRoom& room, size_t index, unsigned long event) {
    std::string& events = room.events[index];
    events += (events.empty() ? "" : ", ") + std::to_string(event);
}

void Deliver(const HostModule& module, HostRoom& room, unsigned long event,
             unsigned long index) {
    module.loaded.setUserState(event, &room.seen.room, index);
    PumpMessages();
}

// The room is reported with its first `present` visitors, then the others
// arrive one by one: each gets a list row and the entry just after the
// counted ones, the module hears of it, then it is counted.
void ReportRoom(const HostModule& module, HostRoom& room, size_t present) {
    _ROOM& record = room.seen.room;
    for (size_t i = 0; i < present; ++i) AddListRow(room, i);
    record.userCount = static_cast<uint32_t>(present);
    if (Handles(module, EVENT_ALL_USERS)) {
        for (size_t i = 0; i < present; ++i) NoteEvent(room, i, EVENT_ALL_USERS);
        Deliver(module, room, EVENT_ALL_USERS, 0);
    }
    for (size_t i = present; i < room.seen.users.size(); ++i) {
        AddListRow(room, i);
        if (Handles(module, EVENT_NEW_USER)) {
            NoteEvent(room, i, EVENT_NEW_USER);
            Deliver(module, room, EVENT_NEW_USER, 0);
        }
        record.userCount = static_cast<uint32_t>(i + 1);
    }
}

void Recheck(const HostModule& module, HostRoom& room, size_t index) {
    if (!Handles(module, EVENT_ONE_USER)) return;
    NoteEvent(room, index, EVENT_ONE_USER);
    Deliver(module, room, EVENT_ONE_USER, static_cast<unsigned long>(index));
}

// The whole room reported anew, every visitor as the host first made it.
void ReportRoomAgain(const HostModule& module, HostRoom& room) {
    std::vector<_ROOM_USER>& users = room.seen.users;
    for (size_t i = 0; i < users.size(); ++i) {
        users[i].state = room.original[i].state;
        users[i].nickColor = room.original[i].nickColor;
        users[i].textColor = room.original[i].textColor;
        room.events[i].clear();
        room.redraws.rows[i] = 0;
    }
    room.redraws.stray = 0;
    if (!Handles(module, EVENT_ALL_USERS)) return;
    for (size_t i = 0; i < users.size(); ++i) NoteEvent(room, i, EVENT_ALL_USERS);
    Deliver(module, room, EVENT_ALL_USERS, 0);
}

// Bytes of the host's records that belong to the host alone; empty when
// the module left them all as they were.
std::vector<std::string> HostBytesChanged(const HostRoom& room) {
    std::vector<std::string> changes;
    const _ROOM& record = room.seen.room;
    const std::vector<_ROOM_USER>& users = room.seen.users;
    auto guarded = [](const uint8_t* bytes, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            if (bytes[i] != HOST_GUARD_BYTE) return false;
        }
        return true;
    };
    if (!guarded(record.hostBytesBeforeList, sizeof record.hostBytesBeforeList) ||
        !guarded(record.hostBytesBeforeUsers, sizeof record.hostBytesBeforeUsers)) {
        changes.push_back("room bytes outside hwndUserList, users and userCount");
    }
    if (record.hwndUserList != room.list) changes.push_back("the room's hwndUserList");
    if (record.userCount != users.size()) changes.push_back("the room's userCount");
    for (size_t i = 0; i < users.size(); ++i) {
        const _ROOM_USER& now = users[i];
        const _ROOM_USER& before = room.original[i];
        if (std::memcmp(now.nick, before.nick, sizeof now.nick) != 0) {
            changes.push_back("nickname of row " + std::to_string(i + 1));
        }
        if (std::memcmp(now.ip, before.ip, sizeof now.ip) != 0) {
            changes.push_back("IP of row " + std::to_string(i + 1));
        }
    }
    return changes;
}
