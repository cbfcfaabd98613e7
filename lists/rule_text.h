// The rule list as text: the exported table (one rule a line, every field
// that matters, so that importing it gives back the same records byte for
// byte) and the plain lists operators write by hand.
#pragma once

#include "lists/plain_list.h"
#include "rules/rule.h"

#include <cstdint>
#include <string>
#include <vector>

// The exported table's first line; its columns, tab-separated:
//   nickname      escaped UTF-8 (\\ \t \n \r \uXXXX)
//   search        name, ip, name-and-ip, name-or-ip, or the number
//   ip            the IP text as typed (\\ and \xHH for other bytes)
//   status        unchanged, allow-all, no-private, ignore, or the number
//   nick colour   #RRGGBB
//   text colour   #RRGGBB
//   stored pattern  empty when ipPrefix, ipLow and ipHigh are what the IP
//                 text gives; else "low=0x... high=0x... prefix=HEX"
//   hidden bytes  "name-tail=HEX ip-tail=HEX reserved=HEX": the bytes behind
//                 the texts' terminators and the reserved bytes, each given
//                 only when not all zero; reserved= not for a memo that the
//                 next three columns give back byte for byte
//   added         the memo's times (rules/rule_memo.h), UTC as
//   expires       YYYY-MM-DDTHH:MM:SSZ, empty for 0 (lists/memo_text.h)
//   note          the memo's note, escaped as the nickname
// Lines of older exports, with eight columns, read as before.
extern const char EXPORT_HEADER[];
constexpr size_t TABLE_COLUMNS = 11;
constexpr size_t TABLE_REQUIRED_COLUMNS = 6;  // older exports: eight

std::string ExportLine(const _RULE& rule);
// One line of the table into `rule`; false with the reason for a bad line.
bool ParseTableLine(const std::string& line, _RULE* rule, std::string* reason, std::string* warning);
// The table line of an address rule as export writes a country list's:
// no nickname, search "ip", an address, range or block that
// ParseAddressLine takes, one of the four statuses, #RRGGBB colours and
// nothing more. Read as ParseTableLine reads it, without the checks that
// only other lines need; false for every other line.
bool ParseAddressTableLine(const char* text, size_t length, _RULE* rule);

struct BadLine {
    size_t number;  // 1-based, counting every line of the text
    std::string reason;
};

struct ImportResult {
    std::vector<_RULE> rules;
    std::vector<BadLine> badLines;
    // Good lines whose rule is seldom meant, and lines that invisible
    // characters were removed from.
    std::vector<BadLine> warnings;
};

// Reads an exported table (recognised by its header line) or a plain list:
// one entry a line, then optional tab-separated status, nickname colour and
// message colour. An entry is a nickname or an IP pattern, never a guess:
// one that starts with a digit and holds ".", ":", "/", "," or a blank, or
// holds ":" at all, or only address characters, or starts with "*", or is a
// host name, is an IP pattern ("10.0.*", "10.0.0.1", "10.0.0.1-10.0.0.9",
// "198.51.100.0/24", the last stored as the equivalent range) or a bad line
// with its reason; anything else is a nickname taken exactly. "name:" or
// "ip:" in front says which. In a plain list "#" and ";" start a comment at
// the start of a line and after a blank or tab (not the "#" of a colour,
// nor inside a "name:" entry); blank lines are skipped. The table's ip
// column gets the same checks, except on lines that carry a stored pattern,
// which are taken as they are. The text is UTF-8 (a byte order mark at its
// start is dropped) or UTF-16 with its byte order mark; lines end at LF, CR
// LF or CR. In a plain list, invisible characters around an entry or column
// (a byte order mark where files were joined, no-break and zero-width
// spaces, other format characters) are removed with a warning, and refused
// inside an entry (kept, with a warning, in a "name:" entry). Reasons and
// warnings show unprintable characters as <U+XXXX>.
// A line of the table's shape without the header (a rule the editor copied)
// is read as a table line. The text is read where it lies, as one piece of
// lists/text_import.h, which also reads a long file a piece at a time
// (a UTF-16 text is copied to be made UTF-8). Plain lines without their
// optional columns take `defaults`.
ImportResult ImportText(const std::string& text, const PlainDefaults& defaults = PLAIN_DEFAULTS);
