// Dotted IPv4 text to a host-order number, as the rules and the matcher
// compare addresses.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t ADDRESS_NONE = 0xFFFFFFFFu;  // what inet_addr gives for bad text

// Converts `length` bytes of `text` (no terminator needed). The empty text
// gives ADDRESS_NONE, like any other text inet_addr rejects.
uint32_t ConvertAddress(const char* text, size_t length);
