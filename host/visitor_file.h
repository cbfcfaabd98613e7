// Visitor files of the stand-in host: UTF-8 text, one visitor a line as
// "nickname<TAB>ip". Blank lines and lines starting with '#' are skipped; a
// line that would not fit the host's visitor record is reported and skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HostVisitor {
    std::wstring nick;  // fits _ROOM_USER::nick with its terminator
    std::string ip;     // fits _ROOM_USER::ip with its terminator; may be empty
    uint32_t state;     // the host's status word before the module sees the visitor
};

struct VisitorFileProblem {
    int line;            // 1-based, counting every line of the file
    std::string reason;  // what is wrong, in words
};

struct VisitorList {
    std::vector<HostVisitor> visitors;
    std::vector<VisitorFileProblem> problems;
};

// Parses the whole text of a visitor file (a leading UTF-8 byte order mark
// and CRLF line ends are accepted).
VisitorList ParseVisitorText(const std::string& text);

// Reads and parses the visitor file `path`; false when it cannot be read.
bool ReadVisitorFile(const std::string& path, VisitorList& list);
