// The host's visitor events: applies the rule list to the visitors of a room
// when the host reports them, and has the changed rows redrawn.
#pragma once

#include "module/host_records.h"

#include <cstdint>

constexpr uint32_t EVENT_QUERY = 0;
constexpr uint32_t EVENT_ALL_USERS = 16;
constexpr uint32_t EVENT_NEW_USER = 64;
constexpr uint32_t EVENT_ONE_USER = 8192;
constexpr uint32_t HANDLED_EVENTS = EVENT_ALL_USERS | EVENT_NEW_USER | EVENT_ONE_USER;

// Answers HANDLED_EVENTS to EVENT_QUERY and 0 to everything else.
uint32_t MatchRoomVisitors(uint32_t event, _ROOM* room, uint32_t index);
