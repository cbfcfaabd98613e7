// `why`: which rules pick one visitor and what that visitor ends with, told
// by the module's own per-visitor loop and effect (MatchOneVisitor,
// ApplyRuleEffect), and the rules that nearly pick it, with the reason they
// do not.
#pragma once

#include "rules/rule.h"

#include <cstdint>
#include <string>

// `hasNick` / `hasIp` false: the visitor has no nickname / no IP text. The
// IP text is at most 15 bytes, the width of the host's field. `now` (seconds
// since 1970 UTC) is the time of the event told of: rules expired by then
// pick no one.
std::string ExplainVisitor(const _RULE* rules, uint32_t count, bool hasNick,
                           const std::u16string& nick, bool hasIp, const std::string& ip,
                           int64_t now);
