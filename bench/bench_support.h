// What both benchmark programs share: the clock, the line that says where
// the figures come from, a scratch folder shaped like a host's, and the
// built module loaded as the stand-in host loads it.
#pragma once

#include "host/stand_in_module.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Seconds on the performance counter.
double Now();

// Prints "<title>: runner R, CPU emulated in software|not emulated" from
// TORVO_RUNNER and TORVO_CPU, which tools/run.sh and the guest set, so that
// a figure is never read as the other kind.
void PrintRunnerLine(const char* title);

// A fresh temporary folder with MODULES inside, made current for the
// module's relative rule-file path. `tag` tells the programs' folders apart.
std::string MakeScratchFolder(const char* tag);
// Makes `previous` current again and removes the folder with the named
// files of its MODULES folder.
void RemoveScratchFolder(const std::string& folder, const std::string& previous,
                         std::initializer_list<const char*> moduleFiles);

// The built torvo.jem beside the benchmark, loaded with both exports; false,
// with the reason on the standard error, when it does not load whole.
bool LoadBuiltModule(LoadedModule& module);

// Reads a comma-separated list of rule counts ("10000,100000"), each at
// least `smallest`; false for anything else.
bool ParseRuleCounts(const char* text, uint32_t smallest, std::vector<uint32_t>& counts);
