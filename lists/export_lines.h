// The exported table's lines (rule_text.h) written straight into one text,
// for a long list: a rule whose IP text is what its stored range or address
// gives, written plainly, and that has no hidden bytes is written here
// without a line of its own and without checking its IP text again; any
// other rule's line is ExportLine's.
#pragma once

#include "rules/rule.h"

#include <string>

// ExportLine(rule) and "\n", appended to `text`.
void AppendExportLine(const _RULE& rule, std::string* text);
