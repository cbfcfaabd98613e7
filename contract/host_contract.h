// What the chat host and this module agree on, as names and numbers only:
// the exported entry points and their types, the visitor events, the host's
// part of a visitor's status word, the widths of the host's fields, and
// where the rule file lies. No Windows header: the portable code, the
// module, the stand-in host, the tests and the benchmarks all read it. The
// host's records themselves are in module/host_records.h.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Entry points (module/torvo.def exports them under these names) -------

struct _ROOM;
struct _CFG_INFO;

#if defined(_WIN32)
#define HOST_CALL __cdecl
#else
#define HOST_CALL
#endif

// Torvo_SetUserState(event, room, index): answers event queries and matches
// the room's visitors.
using SetUserStateFn = unsigned long(HOST_CALL*)(unsigned long, _ROOM*, unsigned long);
// Torvo_Setup(unused, unused, configuration): opens the rule editor.
using SetupFn = unsigned long(HOST_CALL*)(unsigned long, void*, _CFG_INFO*);

constexpr const char* SET_USER_STATE_SYMBOL = "@Torvo_SetUserState$qulp5_ROOMul";
constexpr const char* SETUP_SYMBOL = "@Torvo_Setup$qulpvp9_CFG_INFO";

// ---- Visitor events ---------------------------------------------------------

constexpr uint32_t EVENT_QUERY = 0;         // which events the module takes
constexpr uint32_t EVENT_ALL_USERS = 16;    // the whole room: every picking rule
constexpr uint32_t EVENT_NEW_USER = 64;     // one arrival, users[userCount]
constexpr uint32_t EVENT_ONE_USER = 8192;   // one visitor, users[index]
constexpr uint32_t HANDLED_EVENTS = EVENT_ALL_USERS | EVENT_NEW_USER | EVENT_ONE_USER;

// ---- A visitor's status word ------------------------------------------------

constexpr uint32_t HOST_STATE_BITS = 0xFF;  // bits 0-7: the host's own, never written

// ---- Field widths -----------------------------------------------------------

constexpr size_t NICK_UNITS = 1088;         // UTF-16 units in front of the IP field
constexpr size_t USER_IP_BYTES = 16;        // dotted IPv4 text
constexpr size_t CONFIG_FILE_BYTES = 260;   // the host's INI file path

constexpr uint32_t CHAR_MODE_ANSI = 1;      // the host talks ANSI to the nickname field

// ---- The rule file ----------------------------------------------------------

// Against the host's current folder at load, where the host keeps its
// modules; without that folder, the list lies beside the module's own file.
constexpr const char* RULE_FILE_FOLDER = "MODULES";
constexpr const char* RULE_FILE_NAME = "torvo.tdb";
constexpr const char* RULE_FILE_PATH = "MODULES\\torvo.tdb";
