// Dotted IPv4 text to a host-order number, as the rules and the matcher
// compare addresses, and a rule's IP pattern derived from its text. Plain
// code without Windows: native builds compile it too.
#pragma once

#include "rules/rule.h"

#include <cstddef>
#include <cstdint>

constexpr uint32_t ADDRESS_NONE = 0xFFFFFFFFu;  // what inet_addr gives for bad text

// One dotted part of an address text, read from at most `length` bytes the
// way inet_addr reads it (strtoul with base 0): "0x" starts hexadecimal, a
// leading "0" octal, anything else decimal; a number too large for 32 bits
// reads as 0xFFFFFFFF. Returns the bytes read, which end at the first byte
// that is no digit of the base; 0 when the text does not start with a
// decimal digit or is "0x" without a hexadecimal digit.
size_t ReadAddressPart(const char* text, size_t length, uint32_t* value);

// Converts at most `length` bytes of `text` (no terminator needed) exactly
// as ntohl(inet_addr(text)) does. The empty text gives ADDRESS_NONE, like
// any other text inet_addr rejects.
uint32_t ConvertAddress(const char* text, size_t length);

// What an IP text stands for, decided in this order: a text holding "*" is
// a prefix (the text before its first "*"); else one holding "-" a range
// (the ends on either side of its first "-"); else a non-empty text one
// exact address.
enum class IpTextKind { Empty, Prefix, Range, Exact };

struct IpTextShape {
    IpTextKind kind;
    size_t split;  // Prefix: where the "*" stands; Range: where the "-" stands
};

IpTextShape ClassifyIpText(const char* text, size_t length);

// Derives ipPrefix, ipLow and ipHigh from ipText.
void ParseRuleIp(_RULE& rule);
