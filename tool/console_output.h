// Text output of the rule-list tool. All text is UTF-8 inside the tool. On
// Windows a stream that is a console gets it as UTF-16 through
// WriteConsoleW, so Cyrillic shows whatever the console's code page; a file
// or pipe, and every stream elsewhere, gets the UTF-8 bytes unchanged, with
// "\n" line ends.
#pragma once

#include <string>

void PrepareOutput();
void WriteOut(const std::string& utf8);
void WriteError(const std::string& utf8);

// Command-line argument `index` in UTF-8. On Windows `argv` holds the ANSI
// code page's bytes, which cannot hold every nickname; the wide command line
// can.
std::string Utf8Argument(char** argv, int index);
