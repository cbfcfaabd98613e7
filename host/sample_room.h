// The demo's built-in data: a small rule list that uses every status and
// every search type, and a room whose visitors meet those rules.
#pragma once

#include "host/visitor_file.h"
#include "rules/rule.h"

#include <vector>

std::vector<_RULE> SampleRules();
// Writes SampleRules() as a rule file; false when the file cannot be written.
bool WriteSampleRules(const char* path);

std::vector<HostVisitor> SampleVisitors();
// How many of SampleVisitors() are already in the room when it is reported.
constexpr size_t SAMPLE_PRESENT_VISITORS = 4;
