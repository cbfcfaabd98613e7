// A plain rule list's lines, as operators write them by hand: an entry (a
// nickname or an IP pattern), then optional tab-separated status, nickname
// colour and message colour, and comments.
#pragma once

#include "rules/rule.h"

#include <string>

// The line without its comment: "#" or ";" at the start of the line or after
// a blank or tab starts one, except the "#" that starts a colour column and
// anything in a "name:" entry.
std::string WithoutComment(const std::string& line);

// One line into `rule`; false with the reason for a bad line. `warning`
// gets what is allowed but seldom meant.
bool ParsePlainLine(const std::string& line, _RULE* rule, std::string* reason, std::string* warning);
