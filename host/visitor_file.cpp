#include "host/visitor_file.h"

#include "host/whole_file.h"
#include "module/host_records.h"

#include <windows.h>

namespace {

constexpr size_t MAX_NICK_UNITS = NICK_UNITS - 1;    // room for the terminator
constexpr size_t MAX_IP_BYTES = USER_IP_BYTES - 1;   // likewise
constexpr DWORD MAX_FILE_BYTES = 64u * 1024 * 1024;  // a room, not a disk image

bool IsBlank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

// Strict UTF-8 to UTF-16; false on malformed input.
bool WideFromUtf8(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                          static_cast<int>(text.size()), nullptr, 0);
    if (units <= 0) return false;
    wide.resize(units);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        &wide[0], units);
    return true;
}

// Empty when the line makes a visitor, else the reason it does not.
std::string ParseVisitorLine(const std::string& line, HostVisitor& visitor) {
    if (line.find('\0') != std::string::npos) return "contains a zero byte";
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) return "no tab between nickname and IP";
    const std::string nickText = line.substr(0, tab);
    const std::string ipText = line.substr(tab + 1);
    if (ipText.find('\t') != std::string::npos) return "more than one tab";
    if (!WideFromUtf8(nickText, visitor.nick)) return "nickname is not valid UTF-8";
    if (visitor.nick.size() > MAX_NICK_UNITS) {
        return "nickname has " + std::to_string(visitor.nick.size()) +
               " UTF-16 units, the host's record holds " + std::to_string(MAX_NICK_UNITS);
    }
    if (ipText.size() > MAX_IP_BYTES) {
        return "IP text has " + std::to_string(ipText.size()) + " bytes, the host's record holds " +
               std::to_string(MAX_IP_BYTES);
    }
    visitor.ip = ipText;
    visitor.state = 0;
    return {};
}

}  // namespace

VisitorList ParseVisitorText(const std::string& text) {
    VisitorList list;
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int lineNumber = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (IsBlank(line) || line[0] == '#') continue;

        HostVisitor visitor;
        const std::string problem = ParseVisitorLine(line, visitor);
        if (problem.empty()) {
            list.visitors.push_back(visitor);
        } else {
            list.problems.push_back({lineNumber, problem});
        }
    }
    return list;
}

bool ReadVisitorFile(const std::string& path, VisitorList& list) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, MAX_FILE_BYTES)) return false;
    list = ParseVisitorText(std::string(bytes.begin(), bytes.end()));
    return true;
}
