// The stand-in chat host program's parts, one file each: its options and
// output (host_options.cpp), the module's header line (host_module.cpp), the
// room's events and what they changed (host_room.cpp), the table it prints
// (host_table.cpp), the editor (host_editor.cpp), and the run
// (torvo_host.cpp). Loading the module, the room's record, the redraw count,
// the visitor file and the message pump are the stand-in library's
// (stand_in_*.h, visitor_file.h), which the tests and benchmarks share.
#pragma once

#include "contract/host_contract.h"
#include "host/stand_in_messages.h"
#include "host/stand_in_module.h"
#include "host/stand_in_room.h"
#include "host/visitor_file.h"
#include "module/host_records.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr char MODULE_FILE[] = "MODULES\\torvo.jem";
constexpr const char* RULE_FILE = RULE_FILE_PATH;
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

// The loaded module and its answer to the event query (0).
struct HostModule {
    LoadedModule loaded;
    unsigned long handledEvents = 0;
};

// One room as the host keeps it. `seen` is what the module sees: the record
// and every visitor's entry, the next to arrive just behind the counted
// ones; `original` is each entry as the host made it, before any event.
struct HostRoom {
    StandInRoom seen;
    std::vector<_ROOM_USER> original;
    std::vector<std::string> events;  // per visitor: the events that named it
    HWND window = nullptr;            // hidden frame of the visitor list
    HWND list = nullptr;              // hwndUserList
    RedrawCount redraws;              // the row redraws the module posted to it
};

// ---- Options and output (host_options.cpp) --------------------------------
void Print(const std::string& text);
void PrintError(const std::string& text);
std::string Utf8(const std::wstring& text);
std::string Hex(uint32_t value, int digits);
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

// ---- The module (host_module.cpp) -----------------------------------------
bool LoadTorvo(HostModule& module);
bool Handles(const HostModule& module, unsigned long event);
void PrintModuleHeader(const HostModule& module);

// ---- The room (host_room.cpp) ---------------------------------------------
bool BuildRoom(HostRoom& room, const std::vector<HostVisitor>& visitors);
void ReportRoom(const HostModule& module, HostRoom& room, size_t present);
void Recheck(const HostModule& module, HostRoom& room, size_t index);
void ReportRoomAgain(const HostModule& module, HostRoom& room);
std::vector<std::string> HostBytesChanged(const HostRoom& room);

// ---- The table (host_table.cpp) -------------------------------------------
void PrintTable(const std::string& title, const HostRoom& room);

// ---- The editor (host_editor.cpp) -----------------------------------------
int UseEditor(const HostModule& module, const Options& options, HostRoom& room);

