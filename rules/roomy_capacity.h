// How many records a block of rules gets: the rule array and the edits made
// again on another version of the file both size their blocks with it.
#pragma once

#include "rules/rule.h"

#include <cstdint>

// Records to allocate for a list of `count`: half as many again (at least
// 16), so that the additions that follow do not move the block at once and
// n additions copy O(n) records in all. Capped where the block's bytes
// still fit 32 bits.
constexpr uint32_t RoomyCapacity(uint32_t count) {
    constexpr uint32_t FIRST_CAPACITY = 16;
    constexpr uint32_t LIMIT = UINT32_MAX / RULE_SIZE;
    if (count < FIRST_CAPACITY) return FIRST_CAPACITY;
    return count > LIMIT - count / 2 ? LIMIT : count + count / 2;
}
