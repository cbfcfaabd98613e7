// A stand-in for the chat host: loads MODULES\torvo.jem from the working
// folder as the chat host does, reports one room of visitors to it, and
// prints what the module did to each visitor. It can open the module's rule
// editor, for real use or for a screenshot, and report the room again after.
#include "host/sample_room.h"
#include "host/visitor_file.h"
#include "host/window_picture.h"
#include "contract/host_contract.h"
#include "module/host_records.h"

#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char MODULE_FILE[] = "MODULES\\torvo.jem";
constexpr const char* RULE_FILE = RULE_FILE_PATH;
constexpr wchar_t EDITOR_CAPTION[] = L"Torvo";
constexpr char DEFAULT_CONFIG_FILE[] = "torvo_host.ini";
constexpr uint32_t CHAR_MODE_WIDE = 0;
constexpr uint8_t HOST_GUARD_BYTE = 0xA5;     // fills the room bytes the module must not touch
constexpr size_t NICK_DISPLAY_CHARS = 24;
constexpr DWORD PAINT_SETTLE_MS = 400;        // lets Wine's X11 side catch up before a capture

constexpr int EXIT_OK = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_NO_MODULE = 2;
constexpr int EXIT_HOST_BYTES_CHANGED = 3;
constexpr int EXIT_WINDOWS_FAILED = 4;
constexpr int EXIT_NO_FILE = 5;

struct Options {
    bool help = false;
    std::string visitorFile;  // empty: the built-in sample room
    long present = -1;        // visitors in the room before arrivals; -1: default
    long recheckRow = 0;      // 1-based row for event 8192; 0: none
    bool editor = false;
    bool ansi = false;
    std::string configFile;
    std::string screenshotFile;
    std::string sampleRulesFile;
};

struct LoadedModule {
    HMODULE handle = nullptr;
    SetUserStateFn setUserState = nullptr;
    SetupFn setup = nullptr;
    unsigned long handledEvents = 0;
};

// One room as the host keeps it. `record` and `users` are what the module
// sees; `original` is each entry as the host made it, before any event.
struct HostRoom {
    _ROOM* record = nullptr;
    std::vector<_ROOM_USER> users;
    std::vector<_ROOM_USER> original;
    std::vector<std::string> events;  // per visitor: the events that named it
    HWND window = nullptr;            // hidden frame of the visitor list
    HWND list = nullptr;              // hwndUserList
};

// Row redraws the module posted to the visitor list, counted as they arrive.
WNDPROC g_listViewProc = nullptr;
std::vector<int> g_rowRedraws;
int g_strayRedraws = 0;  // rows past the list's end, or first > last

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void PrintError(const std::string& text) {
    std::fflush(stdout);
    const std::string line = "torvo_host: " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// Wine passes our bytes through to a pipe unchanged, so everything is UTF-8.
std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes,
                        nullptr, nullptr);
    return utf8;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*lX", digits, static_cast<unsigned long>(value));
    return text;
}

const char USAGE[] =
    "Usage: torvo_host [options]\n"
    "Loads MODULES\\torvo.jem from the working folder, reports a room of visitors to it\n"
    "and prints what it did. At exit the module saves MODULES\\torvo.tdb if the rules\n"
    "were edited or the file is missing.\n"
    "  --visitors FILE     visitors from FILE (UTF-8, \"nickname<TAB>ip\" a line; blank\n"
    "                      lines and lines starting with # are skipped); default: a\n"
    "                      built-in sample room\n"
    "  --present N         the first N visitors are in the room when it is reported\n"
    "                      (event 16); the rest arrive one by one (event 64). Default:\n"
    "                      4 for the sample room, half of the visitors of a file\n"
    "  --recheck ROW       then re-check the visitor of table row ROW (event 8192)\n"
    "  --editor            open the module's rule editor; when it closes, report the\n"
    "                      room again as it was at the start (event 16)\n"
    "  --config FILE       configuration file named to the editor (default:\n"
    "                      torvo_host.ini in the working folder, if any)\n"
    "  --ansi              tell the module the host talks ANSI (character mode 1)\n"
    "  --screenshot FILE   open the editor, save a picture of it (PNG when FILE ends\n"
    "                      in .png, else BMP) and close it\n"
    "  --write-sample-rules FILE   write the sample rule list to FILE and stop\n";

bool ParseNumber(const char* text, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return *text && end && *end == '\0';
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        auto value = [&]() -> const char* { return argv[++i]; };
        if (option == "--help") {
            options.help = true;
        } else if (option == "--editor") {
            options.editor = true;
        } else if (option == "--ansi") {
            options.ansi = true;
        } else if (option == "--visitors" && hasValue) {
            options.visitorFile = value();
        } else if (option == "--config" && hasValue) {
            options.configFile = value();
        } else if (option == "--screenshot" && hasValue) {
            options.screenshotFile = value();
        } else if (option == "--write-sample-rules" && hasValue) {
            options.sampleRulesFile = value();
        } else if (option == "--present" && hasValue) {
            if (!ParseNumber(value(), options.present) || options.present < 0) {
                error = "--present needs a number of visitors";
                return false;
            }
        } else if (option == "--recheck" && hasValue) {
            if (!ParseNumber(value(), options.recheckRow) || options.recheckRow < 1) {
                error = "--recheck needs a table row, 1 or more";
                return false;
            }
        } else {
            error = "unknown option or missing value: " + option;
            return false;
        }
    }
    return true;
}

// ---- The module ---------------------------------------------------------

bool LoadTorvo(LoadedModule& module) {
    char fullPath[MAX_PATH] = {};
    GetFullPathNameA(MODULE_FILE, MAX_PATH, fullPath, nullptr);
    if (GetFileAttributesA(MODULE_FILE) == INVALID_FILE_ATTRIBUTES) {
        PrintError(std::string("no module: ") + MODULE_FILE + " is missing (looked for " +
                   fullPath + ")");
        return false;
    }
    module.handle = LoadLibraryA(fullPath);
    if (!module.handle) {
        PrintError(std::string("cannot load ") + fullPath + " (error " +
                   std::to_string(GetLastError()) + ")");
        return false;
    }
    module.setUserState = reinterpret_cast<SetUserStateFn>(
        reinterpret_cast<void*>(GetProcAddress(module.handle, SET_USER_STATE_SYMBOL)));
    module.setup = reinterpret_cast<SetupFn>(
        reinterpret_cast<void*>(GetProcAddress(module.handle, SETUP_SYMBOL)));
    std::string missing;
    if (!module.setUserState) missing += std::string(" ") + SET_USER_STATE_SYMBOL;
    if (!module.setup) missing += std::string(" ") + SETUP_SYMBOL;
    if (!missing.empty()) {
        PrintError(std::string(MODULE_FILE) + " lacks the export(s)" + missing);
        FreeLibrary(module.handle);
        module.handle = nullptr;
        return false;
    }
    return true;
}

std::string ModuleString(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Utf8(std::wstring(text, length)) : "(none)";
}

bool Handles(const LoadedModule& module, unsigned long event) {
    return (module.handledEvents & event) == event;
}

void PrintModuleHeader(const LoadedModule& module) {
    Print("Module " + std::string(MODULE_FILE) + ": " + ModuleString(module.handle, 1) + " " +
          ModuleString(module.handle, 2) + "\n");
    const struct { unsigned long event; const char* words; } events[] = {
        {EVENT_ALL_USERS, "16 (whole room)"},
        {EVENT_NEW_USER, "64 (arrival)"},
        {EVENT_ONE_USER, "8192 (one visitor)"},
    };
    std::string taken, notTaken;
    for (const auto& known : events) {
        std::string& list = Handles(module, known.event) ? taken : notTaken;
        list += (list.empty() ? "" : ", ") + std::string(known.words);
    }
    Print("Event query (0) answered " + std::to_string(module.handledEvents) + ": takes " +
          (taken.empty() ? "none" : taken) +
          (notTaken.empty() ? "" : "; not delivered: " + notTaken) + "\n");
}

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

// ---- The table ----------------------------------------------------------

std::string StatusWords(uint32_t state) {
    switch (state & ~HOST_STATE_BITS) {
        case 0x000: return "everything allowed";
        case 0x100: return "private messages forbidden";
        case 0x300: return "ignored";
        default: return "other status " + Hex(state & ~HOST_STATE_BITS, 3);
    }
}

std::string HostBitsWords(uint32_t before, uint32_t after) {
    const uint32_t was = before & HOST_STATE_BITS;
    const uint32_t now = after & HOST_STATE_BITS;
    if (was == now) return Hex(now, 2) + " unchanged";
    return Hex(was, 2) + " -> " + Hex(now, 2) + " CHANGED";
}

size_t DisplayWidth(const std::string& utf8) {
    size_t width = 0;
    for (unsigned char byte : utf8) width += (byte & 0xC0) != 0x80;
    return width;
}

std::string NickCell(const wchar_t (&nick)[NICK_UNITS]) {
    size_t length = 0;
    while (length < NICK_UNITS && nick[length]) ++length;
    if (length == 0) return "(empty)";
    if (length <= NICK_DISPLAY_CHARS) return Utf8(std::wstring(nick, length));
    size_t cut = NICK_DISPLAY_CHARS - 1;
    if (nick[cut - 1] >= 0xD800 && nick[cut - 1] <= 0xDBFF) --cut;  // keep pairs whole
    return Utf8(std::wstring(nick, cut)) + "\xE2\x80\xA6";
}

std::string IpCell(const char (&ip)[USER_IP_BYTES]) {
    size_t length = 0;
    while (length < USER_IP_BYTES && ip[length]) ++length;
    return length ? std::string(ip, length) : "(none)";
}

void PrintTable(const std::string& title, const HostRoom& room) {
    std::vector<std::vector<std::string>> rows = {{"Row", "Nickname", "IP", "Events",
                                                   "Status before", "Status after", "Host bits",
                                                   "Nick colour", "Text colour", "Redraws"}};
    for (size_t i = 0; i < room.users.size(); ++i) {
        const _ROOM_USER& now = room.users[i];
        const _ROOM_USER& before = room.original[i];
        rows.push_back({std::to_string(i + 1), NickCell(now.nick), IpCell(now.ip),
                        room.events[i].empty() ? "-" : room.events[i], StatusWords(before.state),
                        StatusWords(now.state), HostBitsWords(before.state, now.state),
                        Hex(now.nickColor, 8), Hex(now.textColor, 8),
                        std::to_string(g_rowRedraws[i])});
    }
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
    std::string text = "\n" + title + "\n";
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const std::string& cell = rows[r][c];
            const bool last = c + 1 == rows[r].size();
            text += cell;
            if (!last) text += std::string(widths[c] - DisplayWidth(cell), ' ') + " | ";
        }
        text += "\n";
        if (r == 0) {
            for (size_t c = 0; c < widths.size(); ++c) {
                text += std::string(widths[c], '-') + (c + 1 < widths.size() ? "-+-" : "");
            }
            text += "\n";
        }
    }
    if (room.users.empty()) text += "(no visitors)\n";
    if (g_strayRedraws) {
        text += "Redraws for rows the list does not have: " + std::to_string(g_strayRedraws) + "\n";
    }
    Print(text);
    std::fflush(stdout);
}

// ---- The editor ---------------------------------------------------------

BOOL CALLBACK FindEditorCallback(HWND window, LPARAM found) {
    wchar_t caption[16] = {};
    GetWindowTextW(window, caption, 16);
    if (std::wcscmp(caption, EDITOR_CAPTION) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The module creates the editor without an owner and does not hand its
// handle back: it is our thread's top-level window captioned "Torvo".
HWND FindEditor(const HostRoom& room) {
    HWND editor = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindEditorCallback, reinterpret_cast<LPARAM>(&editor));
    if (editor) return editor;
    HWND foreground = GetForegroundWindow();
    if (foreground && foreground != room.window &&
        GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId()) {
        return foreground;
    }
    return nullptr;
}

bool MakeConfigInfo(const Options& options, _CFG_INFO& config) {
    std::memset(&config, 0, sizeof config);
    config.charMode = options.ansi ? CHAR_MODE_ANSI : CHAR_MODE_WIDE;
    const std::string file = options.configFile.empty() ? DEFAULT_CONFIG_FILE : options.configFile;
    // The module reads it with the profile functions, which take a bare
    // name to be in the Windows folder: always name it in full.
    const DWORD length = GetFullPathNameA(file.c_str(), CONFIG_FILE_BYTES, config.configFile,
                                          nullptr);
    if (length == 0 || length >= CONFIG_FILE_BYTES) {
        PrintError("configuration file path does not fit " + std::to_string(CONFIG_FILE_BYTES) +
                   " bytes: " + file);
        return false;
    }
    return true;
}

// The host's message loop while the editor is open, so Tab, Esc and Enter
// work in it. Ends when the editor window is gone.
void RunEditorLoop(HWND editor, bool ansi) {
    MSG message;
    while (IsWindow(editor)) {
        const BOOL got = ansi ? GetMessageA(&message, nullptr, 0, 0)
                              : GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got == -1) return;
        if (ansi ? IsDialogMessageA(editor, &message) : IsDialogMessageW(editor, &message)) {
            continue;
        }
        TranslateMessage(&message);
        if (ansi) {
            DispatchMessageA(&message);
        } else {
            DispatchMessageW(&message);
        }
    }
}

bool SaveEditorPicture(HWND editor, const std::string& path) {
    SetForegroundWindow(editor);
    RedrawWindow(editor, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(PAINT_SETTLE_MS);
    const Picture picture = CaptureWindow(editor);
    if (!WritePicture(path.c_str(), picture)) {
        PrintError("could not save a picture of the editor to " + path);
        return false;
    }
    Print("Saved a picture of the editor (" + std::to_string(picture.width) + "x" +
          std::to_string(picture.height) + ") to " + path + "\n");
    return true;
}

int UseEditor(const LoadedModule& module, const Options& options, HostRoom& room) {
    static _CFG_INFO config;  // the host's record outlives the editor
    if (!MakeConfigInfo(options, config)) return EXIT_USAGE;
    module.setup(0, nullptr, &config);
    // No pumping before the dialog loop below: a key already waiting must
    // reach the editor through IsDialogMessage.
    HWND editor = FindEditor(room);
    if (!editor) {
        PrintError("Torvo_Setup opened no editor window");
        return EXIT_WINDOWS_FAILED;
    }
    Print(std::string("\nOpened the editor (configuration file ") + config.configFile +
          ", character mode " + std::to_string(config.charMode) + ")\n");
    std::fflush(stdout);

    int result = EXIT_OK;
    if (!options.screenshotFile.empty()) {
        if (!SaveEditorPicture(editor, options.screenshotFile)) result = EXIT_WINDOWS_FAILED;
        SendMessageW(editor, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PumpMessages();
        if (IsWindow(editor)) {
            PrintError("the editor did not close on IDCANCEL; unloading the module closes it");
            return EXIT_WINDOWS_FAILED;
        }
    } else {
        Print("Close the editor to report the room again.\n");
        std::fflush(stdout);
        RunEditorLoop(editor, options.ansi);
    }
    ReportRoomAgain(module, room);
    PrintTable("After the editor closed: the room as first made, reported again (event 16)",
               room);
    return result;
}

// ---- Main ---------------------------------------------------------------

bool LoadVisitors(const Options& options, std::vector<HostVisitor>& visitors, size_t& present) {
    if (options.visitorFile.empty()) {
        visitors = SampleVisitors();
        present = SAMPLE_PRESENT_VISITORS;
    } else {
        std::string text;
        if (!ReadWholeFile(options.visitorFile.c_str(), text)) {
            PrintError("cannot read the visitor file " + options.visitorFile);
            return false;
        }
        VisitorList list = ParseVisitorText(text);
        for (const VisitorFileProblem& problem : list.problems) {
            PrintError(options.visitorFile + ":" + std::to_string(problem.line) + ": " +
                       problem.reason + "; line skipped");
        }
        visitors = std::move(list.visitors);
        present = (visitors.size() + 1) / 2;
    }
    if (options.present >= 0) present = std::min(static_cast<size_t>(options.present), visitors.size());
    return true;
}

std::string RuleFileSummary() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(RULE_FILE, GetFileExInfoStandard, &data)) {
        return std::string(RULE_FILE) + " does not exist";
    }
    const DWORD size = data.nFileSizeLow;
    return std::string(RULE_FILE) + " holds " + std::to_string(size / RULE_SIZE) + " rule(s), " +
           std::to_string(size) + " bytes";
}

int RunHost(const Options& options) {
    std::vector<HostVisitor> visitors;
    size_t present = 0;
    if (!LoadVisitors(options, visitors, present)) return EXIT_NO_FILE;
    if (options.recheckRow > static_cast<long>(visitors.size())) {
        PrintError("--recheck " + std::to_string(options.recheckRow) + ": the room has " +
                   std::to_string(visitors.size()) + " visitor(s)");
        return EXIT_USAGE;
    }

    // The chat host makes these classes available; the editor relies on it.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    LoadLibraryA("riched20.dll");

    LoadedModule module;
    if (!LoadTorvo(module)) return EXIT_NO_MODULE;
    module.handledEvents = module.setUserState(EVENT_QUERY, nullptr, 0);
    PrintModuleHeader(module);

    HostRoom room;
    if (!BuildRoom(room, visitors)) {
        PrintError("cannot create the room's visitor list window");
        FreeLibrary(module.handle);
        return EXIT_WINDOWS_FAILED;
    }
    ReportRoom(module, room, present);
    if (options.recheckRow > 0) Recheck(module, room, static_cast<size_t>(options.recheckRow - 1));
    PrintTable("Room: " + std::to_string(present) + " visitor(s) present (event 16), " +
                   std::to_string(visitors.size() - present) + " arriving (event 64)" +
                   (options.recheckRow > 0 && Handles(module, EVENT_ONE_USER)
                        ? ", row " + std::to_string(options.recheckRow) + " re-checked (event 8192)"
                        : ""),
               room);

    int result = EXIT_OK;
    if (options.editor || !options.screenshotFile.empty()) result = UseEditor(module, options, room);

    const std::vector<std::string> changed = HostBytesChanged(room);
    for (const std::string& what : changed) PrintError("the module changed " + what);
    if (!changed.empty() && result == EXIT_OK) result = EXIT_HOST_BYTES_CHANGED;

    // Unloading makes the module save its rule file.
    FreeLibrary(module.handle);
    Print("\nUnloaded the module: " + RuleFileSummary() + "\n");
    DestroyWindow(room.window);
    std::free(room.record);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    // Line ends as "\n" alone, whether the output goes to a Windows pipe or
    // through Wine to a Unix terminal.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        PrintError(error);
        std::fwrite(USAGE, 1, sizeof USAGE - 1, stderr);
        return EXIT_USAGE;
    }
    if (options.help) {
        Print(USAGE);
        return EXIT_OK;
    }
    if (!options.sampleRulesFile.empty()) {
        if (!WriteSampleRules(options.sampleRulesFile.c_str())) {
            PrintError("cannot write " + options.sampleRulesFile);
            return EXIT_NO_FILE;
        }
        Print("Wrote " + std::to_string(SampleRules().size()) + " sample rules to " +
              options.sampleRulesFile + "\n");
        return EXIT_OK;
    }
    const int result = RunHost(options);
    std::fflush(stdout);
    return result;
}
