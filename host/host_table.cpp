// The table of what the module did to each visitor.
#include "host/host_parts.h"

#include <algorithm>
#include <cstring>
#include <string>

// ---- The table ----------------------------------------------------------

std::string StatusWords(uint32_t state) {
    switch (state & ~HOST_STATE_BITS) {
        case 0x000: return "everything allowed";
        case 0x100: return "private messages forbidden";
        case 0x300: return "ignored";
        default: return "other status " + Hex(state & ~HOST_STATE_BITS, 3);
    }
}

std::string HostBitsWords(uint32_t before, uint32_t after) {
    const uint32_t was = before & HOST_STATE_BITS;
    const uint32_t now = after & HOST_STATE_BITS;
    if (was == now) return Hex(now, 2) + " unchanged";
    return Hex(was, 2) + " -> " + Hex(now, 2) + " CHANGED";
}

size_t DisplayWidth(const std::string& utf8) {
    size_t width = 0;
    for (unsigned char byte : utf8) width += (byte & 0xC0) != 0x80;
    return width;
}

std::string NickCell(const wchar_t (&nick)[NICK_UNITS]) {
    size_t length = 0;
    while (length < NICK_UNITS && nick[length]) ++length;
    if (length == 0) return "(empty)";
    if (length <= NICK_DISPLAY_CHARS) return Utf8(std::wstring(nick, length));
    size_t cut = NICK_DISPLAY_CHARS - 1;
    if (nick[cut - 1] >= 0xD800 && nick[cut - 1] <= 0xDBFF) --cut;  // keep pairs whole
    return Utf8(std::wstring(nick, cut)) + "\xE2\x80\xA6";
}

std::string IpCell(const char (&ip)[USER_IP_BYTES]) {
    size_t length = 0;
    while (length < USER_IP_BYTES && ip[length]) ++length;
    return length ? std::string(ip, length) : "(none)";
}

void PrintTable(const std::string& title, const HostRoom& room) {
    std::vector<std::vector<std::string>> rows = {{"Row", "Nickname", "IP", "Events",
                                                   "Status before", "Status after", "Host bits",
                                                   "Nick colour", "Text colour", "Redraws"}};
    const std::vector<_ROOM_USER>& users = room.seen.users;
    for (size_t i = 0; i < users.size(); ++i) {
        const _ROOM_USER& now = users[i];
        const _ROOM_USER& before = room.original[i];
        rows.push_back({std::to_string(i + 1), NickCell(now.nick), IpCell(now.ip),
                        room.events[i].empty() ? "-" : room.events[i], StatusWords(before.state),
                        StatusWords(now.state), HostBitsWords(before.state, now.state),
                        Hex(now.nickColor, 8), Hex(now.textColor, 8),
                        std::to_string(room.redraws.rows[i])});
    }
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
    std::string text = "\n" + title + "\n";
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const std::string& cell = rows[r][c];
            const bool last = c + 1 == rows[r].size();
            text += cell;
            if (!last) text += std::string(widths[c] - DisplayWidth(cell), ' ') + " | ";
        }
        text += "\n";
        if (r == 0) {
            for (size_t c = 0; c < widths.size(); ++c) {
                text += std::string(widths[c], '-') + (c + 1 < widths.size() ? "-+-" : "");
            }
            text += "\n";
        }
    }
    if (users.empty()) text += "(no visitors)\n";
    if (room.redraws.stray) {
        text += "Redraws for rows the list does not have: " + std::to_string(room.redraws.stray) +
                "\n";
    }
    Print(text);
    std::fflush(stdout);
}
