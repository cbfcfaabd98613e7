// Joining address rules as a list is read, before its rules are held: a
// country list of half a million blocks becomes a few thousand rules
// without ever holding the blocks' records.
//
// A run is a stretch of address-only rules next to each other that are
// alike in every byte but their addresses (a plain list's lines with the
// same columns, as an import makes them). No rule of another effect lies
// between them, so they may join freely, as optimize joins them: the run
// becomes the union of its addresses, each separate range one rule at the
// place of the first rule it took in, written as a range when it took in
// more than one. Only rules that their addresses make again byte for byte
// join; every other rule goes on as it is and ends the run. The list this
// gives treats every visitor as the whole list would; optimizing it then
// joins what lies across runs.
#pragma once

#include "rules/rule.h"

#include <cstdint>
#include <vector>

struct RunPiece {
    uint32_t low;
    uint32_t high;
    uint32_t first;  // the run's first rule in it, counted from the run's start
    uint32_t shape;  // how its rule writes its addresses (address_runs.cpp)
};

// The run's pieces in address order, in blocks of a few hundred so that a
// join moves little: a run of half a million blocks holds 16 bytes a piece.
struct RunPieces {
    std::vector<std::vector<RunPiece>> blocks;
};

struct AddressRuns {
    std::vector<_RULE>* out;  // the rules that stay, in list order
    _RULE pattern;            // the current run's first rule
    bool inRun = false;
    uint32_t runLength = 0;
    RunPieces pieces;
    uint32_t taken = 0;    // rules taken in all
    uint32_t joined = 0;   // rules that joined another in their run
    uint32_t dropped = 0;  // rules that their run already held
};

void TakeIntoRuns(AddressRuns& runs, const _RULE& rule);
// After the last rule: the last run's rules.
void EndRuns(AddressRuns& runs);
