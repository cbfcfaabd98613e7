// The chat host's own records, as far as this module touches them. The host
// allocates and owns them; the module only reads and writes the fields below
// during a call and never keeps a pointer past it. Padding arrays stand for
// host bytes the module must not touch.
#pragma once

#include "contract/host_contract.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// One visitor; the host keeps them in a contiguous array.
struct _ROOM_USER {
    wchar_t nick[NICK_UNITS];  // zero-terminated inside the field
    char ip[USER_IP_BYTES];    // dotted IPv4 text, empty when ip[0] == 0
    uint32_t state;            // HOST_STATE_BITS belong to the host
    COLORREF nickColor;
    COLORREF textColor;
};

static_assert(sizeof(wchar_t) == 2, "nicknames are UTF-16");
static_assert(offsetof(_ROOM_USER, nick) == 0);
static_assert(offsetof(_ROOM_USER, ip) == 2176);
static_assert(offsetof(_ROOM_USER, state) == 2192);
static_assert(offsetof(_ROOM_USER, nickColor) == 2196);
static_assert(offsetof(_ROOM_USER, textColor) == 2200);
static_assert(sizeof(_ROOM_USER) == 2204, "host array stride");

// One chat room. The host's record goes on past userCount; we never need it.
struct _ROOM {
    uint8_t hostBytesBeforeList[9352];
    HWND hwndUserList;  // list view whose row i shows users[i]
    uint8_t hostBytesBeforeUsers[12];
    _ROOM_USER* users;
    uint32_t userCount;
};

static_assert(offsetof(_ROOM, hwndUserList) == 9352);
static_assert(offsetof(_ROOM, users) == 9368);
static_assert(offsetof(_ROOM, userCount) == 9372);

// The host's configuration record.
struct _CFG_INFO {
    uint8_t hostBytesBeforeMode[16];
    uint32_t charMode;  // 1: the host talks ANSI to our nickname field
    uint8_t hostBytesBeforePath[476];
    char configFile[CONFIG_FILE_BYTES];  // INI file path, zero-terminated
};

static_assert(offsetof(_CFG_INFO, charMode) == 16);
static_assert(offsetof(_CFG_INFO, configFile) == 496);
