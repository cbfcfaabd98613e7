// A rule's memo (rules/rule_memo.h) as text: UTC times, durations, the
// note, and the exported table's columns added, expires and note.
#pragma once

#include "rules/rule.h"
#include "rules/rule_memo.h"

#include <cstdint>
#include <string>

// Seconds since 1970 UTC as "YYYY-MM-DDTHH:MM:SSZ"; a time outside the years
// 1 to 9999, which only a foreign or damaged block holds, as its number of
// seconds, so that every value comes back.
std::string UtcTimeText(int64_t seconds);
// The latest time UtcTimeText writes as a date: 9999-12-31T23:59:59Z.
constexpr int64_t LATEST_DATE_SECONDS = 253402300799;

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS", each optionally
// ending in "Z": the time in seconds since 1970 UTC. False for anything
// else, a date that does not exist included.
bool ParseUtcTime(const std::string& text, int64_t* seconds);

// A positive number and its unit, "90s", "30m", "12h", "7d" (m is minutes,
// as for sleep): the seconds. False for anything else, or more than a
// 64-bit count of seconds holds.
bool ParseDuration(const std::string& text, int64_t* seconds);

// UTF-8 text as the memo's note; false with the reason when it is not UTF-8
// or longer than MEMO_NOTE_UNITS UTF-16 units.
bool SetMemoNote(const std::string& utf8, RuleMemo* memo, std::string* reason);

// The rule's expiry from its memo; MEMO_NEVER without one.
int64_t RuleExpiry(const _RULE& rule);

// The table's three columns for the rule: times as UtcTimeText writes them
// (empty for 0), the note escaped as a nickname. True when the reserved
// bytes hold a valid block that these columns give back byte for byte, so
// that the line needs no reserved=HEX; false, with the columns empty, for
// any other reserved bytes (none, foreign ones, or a block with nothing in
// it).
bool MemoColumns(const _RULE& rule, std::string* added, std::string* expires, std::string* note);

// The columns back into the rule's block; nothing when all three are empty.
// A time is also read as a number of seconds. False with the reason for a
// bad column, or when the reserved bytes already hold something (reserved=
// and the columns both given).
bool ParseMemoColumns(const std::string& added, const std::string& expires, const std::string& note,
                      _RULE& rule, std::string* reason);
