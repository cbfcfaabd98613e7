// A plain rule list's lines, as operators write them by hand: an entry (a
// nickname or an IP pattern), then optional tab-separated status, nickname
// colour and message colour, and comments.
#pragma once

#include "rules/rule.h"

#include <cstdint>
#include <string>
#include <vector>

// Defaults of a plain list's optional columns: the editor's first colours.
constexpr int32_t PLAIN_DEFAULT_STATUS = STATUS_IGNORE;
constexpr uint32_t PLAIN_DEFAULT_NICK_COLOR = 0x00FF0000;
constexpr uint32_t PLAIN_DEFAULT_TEXT_COLOR = 0x00000000;

struct RuleMemo;

// What a line without its optional columns gets: the defaults above for the
// tool, what the editor's fields hold for a paste; and the memo (when, and
// how long, and why) every rule of a plain line gets, none when null.
struct PlainDefaults {
    int32_t status;
    uint32_t nickColor;
    uint32_t textColor;
    const RuleMemo* memo = nullptr;
};
constexpr PlainDefaults PLAIN_DEFAULTS = {PLAIN_DEFAULT_STATUS, PLAIN_DEFAULT_NICK_COLOR,
                                          PLAIN_DEFAULT_TEXT_COLOR};

// The line without its comment: "#" or ";" at the start of the line or after
// a blank or tab starts one, except the "#" that starts a colour column and
// anything in a "name:" entry.
std::string WithoutComment(const std::string& line);

// A line as ParsePlainLine reads it: invisible characters (a byte order mark
// where files were joined, no-break and zero-width spaces, other format
// characters) removed at the line's start and around its columns (not after
// a "name:" entry, which is taken exactly), each place named in `warnings`,
// and the comment cut off.
std::string PlainLineText(const std::string& line, std::vector<std::string>* warnings);

// One line into `rule`; false with the reason for a bad line. `warning`
// gets what is allowed but seldom meant.
bool ParsePlainLine(const std::string& line, const PlainDefaults& defaults, _RULE* rule,
                    std::string* reason, std::string* warning);

// A line that is nothing but an address, a range or a CIDR block written as
// address lists write them ("198.51.100.7", "198.51.100.0-198.51.100.99",
// "198.51.100.0/24": four parts of 0 to 255 without leading zeros), and
// perhaps a tab and one of the four status words (ignore, ...), read
// into `rule` as ParsePlainLine reads it, without the checks that only
// other lines need. False for every other line, and for one that
// ParsePlainLine refuses or warns about: ParsePlainLine reads those.
bool ParseAddressLine(const char* text, size_t length, const PlainDefaults& defaults, _RULE* rule);
// Its entry alone into `rule`'s IP text, prefix, ipLow and ipHigh.
bool ReadAddressEntry(const char* text, size_t length, _RULE* rule);
