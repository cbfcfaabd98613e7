// The host's visitor events: applies the rule list to the visitors of a room
// when the host reports them, and has the changed rows redrawn.
#pragma once

#include "contract/host_contract.h"
#include "module/host_records.h"

#include <cstdint>

// Answers HANDLED_EVENTS to EVENT_QUERY and 0 to everything else.
uint32_t MatchRoomVisitors(uint32_t event, _ROOM* room, uint32_t index);
