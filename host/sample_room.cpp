#include "host/sample_room.h"

#include "host/whole_file.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr uint32_t Dotted(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a << 24 | b << 16 | c << 8 | d;
}

template <size_t Width>
void CopyText(char (&field)[Width], const char* text) {
    std::strncpy(field, text, Width - 1);
}

_RULE Rule(const wchar_t* name, const char* ipText, int32_t searchType, int32_t status,
           COLORREF nickColor, COLORREF textColor) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    wcsncpy(reinterpret_cast<wchar_t*>(rule.name), name, RULE_NAME_UNITS - 1);
    CopyText(rule.ipText, ipText);
    rule.searchType = searchType;
    rule.status = status;
    rule.nickColor = nickColor;
    rule.textColor = textColor;
    return rule;
}

}  // namespace

std::vector<_RULE> SampleRules() {
    // Name only: a spammer is ignored.
    _RULE spammer = Rule(L"Спамер", "", SEARCH_NAME, STATUS_IGNORE, 0x000000C0, 0x00808080);
    // IP prefix: one network may not send private messages.
    _RULE network = Rule(L"", "10.0.*", SEARCH_IP, STATUS_NO_PRIVATE, 0x00C08000, 0x00604000);
    CopyText(network.ipPrefix, "10.0.");
    // Name and exact address: the known guest gets everything back.
    _RULE guest = Rule(L"Гость", "192.168.1.20", SEARCH_NAME_AND_IP, STATUS_ALLOW_ALL,
                       0x00008000, 0x00004000);
    guest.ipLow = Dotted(192, 168, 1, 20);
    // Name or address range: colours only, the status stays the host's.
    _RULE staff = Rule(L"Модератор", "172.16.0.0-172.16.255.255", SEARCH_NAME_OR_IP,
                       STATUS_UNCHANGED, 0x00FF0000, 0x00800000);
    staff.ipLow = Dotted(172, 16, 0, 0);
    staff.ipHigh = Dotted(172, 16, 255, 255);
    return {spammer, network, guest, staff};
}

bool WriteSampleRules(const char* path) {
    const std::vector<_RULE> rules = SampleRules();
    return WriteWholeFile(path, rules.data(), rules.size() * RULE_SIZE);
}

std::vector<HostVisitor> SampleVisitors() {
    // Low status bits belong to the host; some visitors carry a few so the
    // table shows that matching keeps them.
    return {
        // In the room when it is reported (event 16: every picking rule).
        {L"Спамер", "203.0.113.5", 0x001},
        {L"Модератор", "10.0.0.7", 0x004},   // picked by the prefix and by the name
        {L"Гость", "192.168.1.20", 0x102},
        {L"гость", "192.168.1.20", 0x100},   // names compare case-sensitively
        // Arriving one by one (event 64: the first picking rule only).
        {L"Alice", "172.16.4.2", 0x000},
        {L"Bob", "10.0.3.3", 0x000},
        {L"Модератор", "10.0.0.8", 0x000},
        {L"Carol", "", 0x000},               // no address known
        {L"Dave", "172.17.0.1", 0x000},      // just past the range
    };
}
