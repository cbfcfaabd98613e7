// The verbs of torvo-rules and what each is given: the parsed command line.
// torvo_rules.cpp parses it and runs the verb that VERBS names; the verbs
// live in verbs_reading.cpp (show, export, check, why) and verbs_writing.cpp
// (import, merge, optimize, prune).
#pragma once

#include "tool/rule_io.h"
#include "lists/rule_words.h"

#include <cstdint>
#include <string>
#include <vector>

struct Arguments {
    std::vector<std::string> files;      // the operands, as typed
    std::vector<std::string> filesUtf8;  // the same in UTF-8 (for a nickname)
    std::string output;                  // -o
    bool haveOutput = false;
    bool skipBad = false;
    bool optimize = false;
    bool allowEmpty = false;
    bool cidr = false;
    bool plain = false;  // with cidr: the blocks alone
    bool force = false;  // read a file that is no rule file as records
    Language language = Language::Russian;
    // import: the memo of every plain line's rule, as typed (checked there)
    std::string expires;
    bool haveExpires = false;
    std::string note;  // in UTF-8
    bool haveNote = false;
    // prune: what to drop
    bool expired = false;
    std::string addedBefore;
    bool haveAddedBefore = false;
    // The time of this run in seconds since 1970 UTC: the clock, read once,
    // or TORVO_NOW when set (for tests).
    int64_t now = 0;
};

int Show(const Arguments& arguments);
int Export(const Arguments& arguments);
int Check(const Arguments& arguments);
int Why(const Arguments& arguments);
int Import(const Arguments& arguments);
int Merge(const Arguments& arguments);
int Optimize(const Arguments& arguments);
int Prune(const Arguments& arguments);

// The usage text on standard error after `message`; EXIT_CANNOT.
int UsageError(const std::string& message);
