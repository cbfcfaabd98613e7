// What a rule remembers besides what it picks: when it was added, when it
// stops picking, and the operator's note. It lives in the record's reserved
// bytes as a block behind a signature, a format version and a checksum, so
// reserved bytes that another program put there are never read as one:
// without a valid block a rule has no memo and is permanent, and its bytes
// stay exactly as they were.
//
// The block, at the start of `reserved` (integers little-endian):
//   0    4  signature "TvMm"
//   4    2  format version, 1
//   6    2  note length in UTF-16 units, 0 to MEMO_NOTE_UNITS
//   8    8  added: seconds since 1970-01-01 UTC, signed; 0 unknown
//  16    8  expires: seconds since 1970-01-01 UTC, signed; 0 never
//  24  160  note: UTF-16 units, the rest zero
// 184   72  zero
// 256    4  CRC-32 (as in zip) of bytes 0 to 255
#pragma once

#include "rules/rule.h"

#include <cstddef>
#include <cstdint>

constexpr size_t MEMO_NOTE_UNITS = 80;
constexpr uint16_t MEMO_FORMAT_VERSION = 1;
constexpr size_t MEMO_SIGNATURE_BYTES = 4;
constexpr size_t MEMO_CHECKED_BYTES = 256;
constexpr size_t MEMO_NOTE_OFFSET = 24;
static_assert(MEMO_NOTE_OFFSET + 2 * MEMO_NOTE_UNITS <= MEMO_CHECKED_BYTES);
static_assert(MEMO_CHECKED_BYTES + 4 == RULE_RESERVED_BYTES, "the block fills the reserved bytes");

// A time of 0 says "unknown" for `added` and "never" for `expires`.
constexpr int64_t MEMO_NEVER = 0;

struct RuleMemo {
    int64_t added;
    int64_t expires;
    uint16_t noteLength;
    char16_t note[MEMO_NOTE_UNITS];
};

// True, filling `memo`, when the rule's reserved bytes hold a valid block.
bool ReadRuleMemo(const _RULE& rule, RuleMemo* memo);
// Whether a memo can be written without losing anything: the reserved bytes
// are all zero or hold a valid block.
bool CanHoldMemo(const _RULE& rule);
// Writes `memo` as the rule's block (a note longer than MEMO_NOTE_UNITS is
// cut). False, with the rule unchanged, when it cannot hold one.
bool WriteRuleMemo(_RULE& rule, const RuleMemo& memo);
// Clears the block back to zero bytes; a rule without one is left as it is.
void RemoveRuleMemo(_RULE& rule);

// Whether the rule's block gives an expiry at or before `now` (seconds since
// 1970 UTC): such a rule picks no one. A rule without a block never expires.
// Cheap unless the answer is yes: only a past expiry has the whole block
// checked.
bool RuleExpired(const _RULE& rule, int64_t now);
// The expiry the reserved bytes would give if they held a block, unchecked
// (0 without the signature): for finding, among many rules, the few that
// RuleExpired must decide.
int64_t UncheckedExpiry(const _RULE& rule);
