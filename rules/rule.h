// One black/white list rule. The record is also the rule file's record,
// written byte for byte, so its layout is fixed to the byte.
// Fixed-width types only: the same record is read by Windows and by native
// builds, where wchar_t is 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t RULE_SIZE = 460;
constexpr size_t RULE_NAME_UNITS = 64;
constexpr size_t RULE_IP_PREFIX_BYTES = 16;
constexpr size_t RULE_IP_TEXT_BYTES = 32;
constexpr size_t RULE_RESERVED_BYTES = 260;

// status bits: private messages forbidden, the visitor ignored. Bits 0-7
// are the host's own and never written into a visitor (HOST_STATE_BITS).
constexpr int32_t STATUS_NO_PRIVATE_BIT = 0x100;
constexpr int32_t STATUS_IGNORE_BIT = 0x200;

// The status values the editor offers; -1 leaves a visitor's status as it is.
constexpr int32_t STATUS_UNCHANGED = -1;
constexpr int32_t STATUS_ALLOW_ALL = 0;
constexpr int32_t STATUS_NO_PRIVATE = STATUS_NO_PRIVATE_BIT;                     // 256
constexpr int32_t STATUS_IGNORE = STATUS_NO_PRIVATE_BIT | STATUS_IGNORE_BIT;    // 768
static_assert(STATUS_NO_PRIVATE == 256 && STATUS_IGNORE == 768, "the rule file's values");

// searchType bits: compare the name, compare the IP, either test suffices.
constexpr int32_t SEARCH_NAME_BIT = 1;
constexpr int32_t SEARCH_IP_BIT = 2;
constexpr int32_t SEARCH_EITHER_BIT = 4;

constexpr int32_t SEARCH_NAME = 1;
constexpr int32_t SEARCH_IP = 2;
constexpr int32_t SEARCH_NAME_AND_IP = 3;
constexpr int32_t SEARCH_NAME_OR_IP = 7;

// What a search type asks of a visitor, for every value a file can hold, as
// RulePicks (matching/rule_pick.cpp) reads it: a test runs only with its
// bit; 1 and 2 are decided by their one test; the either bit lets one true
// result pick; any other value picks only when both results are true.
constexpr bool TestsName(int32_t searchType) { return (searchType & SEARCH_NAME_BIT) != 0; }
constexpr bool TestsIp(int32_t searchType) { return (searchType & SEARCH_IP_BIT) != 0; }
constexpr bool HasEitherBit(int32_t searchType) { return (searchType & SEARCH_EITHER_BIT) != 0; }

// A true name result picks whatever the IP test gives: 1, or the name bit
// with the either bit (7, 5, ...).
constexpr bool PicksByNameAlone(int32_t searchType) {
    return searchType == SEARCH_NAME || (HasEitherBit(searchType) && TestsName(searchType));
}
// A true IP result picks whatever the name test gives: 2, or the IP bit with
// the either bit (7, 6, ...).
constexpr bool PicksByIpAlone(int32_t searchType) {
    return searchType == SEARCH_IP || (HasEitherBit(searchType) && TestsIp(searchType));
}
// A pick needs both results true: both test bits, no either bit (3, 11, ...).
constexpr bool PicksByNameAndIp(int32_t searchType) {
    return !HasEitherBit(searchType) && TestsName(searchType) && TestsIp(searchType);
}
// The rule picks at all. Never: no test bit (0, 4, 8, ...), or one test bit
// without the either bit in a value other than 1 or 2 (9, 10, ...).
constexpr bool CanPick(int32_t searchType) {
    return PicksByNameAlone(searchType) || PicksByIpAlone(searchType) || PicksByNameAndIp(searchType);
}
// The IP test alone decides: the rule picks exactly the visitors whose IP
// test succeeds, whatever their nickname (2, 6, 14, ...).
constexpr bool IsAddressOnly(int32_t searchType) {
    return PicksByIpAlone(searchType) && !TestsName(searchType);
}

// A rule's status replaces the visitor's, unless it is STATUS_UNCHANGED.
constexpr bool SetsStatus(int32_t status) { return status != STATUS_UNCHANGED; }

struct _RULE {
    char16_t name[RULE_NAME_UNITS];          // UTF-16 nickname
    int32_t status;                          // STATUS_* or other status bits
    uint32_t nickColor;                      // 0x00BBGGRR
    uint32_t textColor;
    uint32_t ipLow;                          // exact address / range start, 0 none
    uint32_t ipHigh;                         // inclusive range end, 0 none
    char ipPrefix[RULE_IP_PREFIX_BYTES];     // text before the first '*'
    char ipText[RULE_IP_TEXT_BYTES];         // what the operator typed
    uint8_t reserved[RULE_RESERVED_BYTES];   // carried along untouched
    int32_t searchType;                      // SEARCH_* bits
};

static_assert(sizeof(char16_t) == 2, "rule names are UTF-16 code units");
static_assert(offsetof(_RULE, name) == 0);
static_assert(offsetof(_RULE, status) == 128);
static_assert(offsetof(_RULE, nickColor) == 132);
static_assert(offsetof(_RULE, textColor) == 136);
static_assert(offsetof(_RULE, ipLow) == 140);
static_assert(offsetof(_RULE, ipHigh) == 144);
static_assert(offsetof(_RULE, ipPrefix) == 148);
static_assert(offsetof(_RULE, ipText) == 164);
static_assert(offsetof(_RULE, reserved) == 196);
static_assert(offsetof(_RULE, searchType) == 456);
static_assert(sizeof(_RULE) == RULE_SIZE, "rule file record size");
