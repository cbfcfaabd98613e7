// The room: its record and visitor list window, the events reported to the
// module, and the row redraws the module posts, counted as they arrive.
#include "host/host_parts.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

WNDPROC g_listViewProc = nullptr;
std::vector<int> g_rowRedraws;
int g_strayRedraws = 0;

// ---- The room -----------------------------------------------------------

LRESULT CALLBACK CountingListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LVM_REDRAWITEMS) {
        const LRESULT rows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        const WPARAM first = wParam;
        const WPARAM last = static_cast<WPARAM>(lParam);
        if (first > last || last >= static_cast<WPARAM>(rows) || last >= g_rowRedraws.size()) {
            ++g_strayRedraws;
        } else {
            for (WPARAM row = first; row <= last; ++row) ++g_rowRedraws[row];
        }
    }
    return CallWindowProcW(g_listViewProc, list, message, wParam, lParam);
}

// Delivers what the module posted: the row redraws among them.
void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        PumpMessages();
        Sleep(20);
    } while (GetTickCount() - start < milliseconds);
}

_ROOM_USER MakeEntry(const HostVisitor& visitor) {
    _ROOM_USER entry;
    std::memset(&entry, 0, sizeof entry);
    // The parser has kept both texts within the fields; cut anyway.
    const size_t nickUnits = std::min(visitor.nick.size(), NICK_UNITS - 1);
    std::memcpy(entry.nick, visitor.nick.data(), nickUnits * sizeof(wchar_t));
    const size_t ipBytes = std::min(visitor.ip.size(), USER_IP_BYTES - 1);
    std::memcpy(entry.ip, visitor.ip.data(), ipBytes);
    entry.state = visitor.state;
    return entry;  // host colours start black
}

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
    g_listViewProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        room.list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingListProc)));
    return true;
}

void AddListRow(const HostRoom& room, size_t index) {
    const _ROOM_USER& entry = room.users[index];
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

bool BuildRoom(HostRoom& room, const std::vector<HostVisitor>& visitors) {
    if (!CreateRoomWindows(room)) return false;
    room.record = static_cast<_ROOM*>(std::malloc(sizeof(_ROOM)));
    if (!room.record) return false;
    std::memset(room.record, HOST_GUARD_BYTE, sizeof(_ROOM));
    for (const HostVisitor& visitor : visitors) room.users.push_back(MakeEntry(visitor));
    room.original = room.users;
    room.events.assign(room.users.size(), {});
    g_rowRedraws.assign(room.users.size(), 0);
    room.record->hwndUserList = room.list;
    room.record->users = room.users.empty() ? nullptr : room.users.data();
    room.record->userCount = 0;
    return true;
}

void NoteEvent(HostRoom& room, size_t index, unsigned long event) {
    std::string& events = room.events[index];
    events += (events.empty() ? "" : ", ") + std::to_string(event);
}

void Deliver(const LoadedModule& module, HostRoom& room, unsigned long event,
             unsigned long index) {
    module.setUserState(event, room.record, index);
    PumpMessages();
}

// The room is reported with its first `present` visitors, then the others
// arrive one by one: each gets a list row and the entry just after the
// counted ones, the module hears of it, then it is counted.
void ReportRoom(const LoadedModule& module, HostRoom& room, size_t present) {
    for (size_t i = 0; i < present; ++i) AddListRow(room, i);
    room.record->userCount = static_cast<uint32_t>(present);
    if (Handles(module, EVENT_ALL_USERS)) {
        for (size_t i = 0; i < present; ++i) NoteEvent(room, i, EVENT_ALL_USERS);
        Deliver(module, room, EVENT_ALL_USERS, 0);
    }
    for (size_t i = present; i < room.users.size(); ++i) {
        AddListRow(room, i);
        if (Handles(module, EVENT_NEW_USER)) {
            NoteEvent(room, i, EVENT_NEW_USER);
            Deliver(module, room, EVENT_NEW_USER, 0);
        }
        room.record->userCount = static_cast<uint32_t>(i + 1);
    }
}

void Recheck(const LoadedModule& module, HostRoom& room, size_t index) {
    if (!Handles(module, EVENT_ONE_USER)) return;
    NoteEvent(room, index, EVENT_ONE_USER);
    Deliver(module, room, EVENT_ONE_USER, static_cast<unsigned long>(index));
}

// The whole room reported anew, every visitor as the host first made it.
void ReportRoomAgain(const LoadedModule& module, HostRoom& room) {
    for (size_t i = 0; i < room.users.size(); ++i) {
        room.users[i].state = room.original[i].state;
        room.users[i].nickColor = room.original[i].nickColor;
        room.users[i].textColor = room.original[i].textColor;
        room.events[i].clear();
        g_rowRedraws[i] = 0;
    }
    g_strayRedraws = 0;
    if (!Handles(module, EVENT_ALL_USERS)) return;
    for (size_t i = 0; i < room.users.size(); ++i) NoteEvent(room, i, EVENT_ALL_USERS);
    Deliver(module, room, EVENT_ALL_USERS, 0);
}

// Bytes of the host's records that belong to the host alone; empty when
// the module left them all as they were.
std::vector<std::string> HostBytesChanged(const HostRoom& room) {
    std::vector<std::string> changes;
    const _ROOM& record = *room.record;
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
    if (record.userCount != room.users.size()) changes.push_back("the room's userCount");
    for (size_t i = 0; i < room.users.size(); ++i) {
        const _ROOM_USER& now = room.users[i];
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
