// Times the module's matching through its real export, the way the host
// calls it: event 16 over a full room for several rule-list sizes, and
// event 64 (one new visitor) against a long list.
//
// Usage: matching_bench [--rules 100,1000,10000] [--visitors 1000]
//                       [--new-user-rules 10000] [--seconds 1]
#include "module/host_records.h"
#include "rules/rule.h"

#include <windows.h>
#include <winsock2.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using SetUserStateFn = unsigned long(__cdecl*)(unsigned long, _ROOM*, unsigned long);

constexpr unsigned long ALL_USERS = 16;
constexpr unsigned long NEW_USER = 64;
constexpr uint32_t PICKING_RULE_EVERY = 50;  // one rule in 50 picks a visitor

struct Options {
    std::vector<uint32_t> ruleCounts{100, 1000, 10000};
    uint32_t visitors = 1000;
    uint32_t newUserRules = 10000;
    double seconds = 1.0;  // minimum measuring time per figure
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--rules") {
            options.ruleCounts.clear();
            for (const char* p = value; *p;) {
                char* end = nullptr;
                const unsigned long count = std::strtoul(p, &end, 10);
                if (end == p) return false;
                options.ruleCounts.push_back(static_cast<uint32_t>(count));
                p = *end == ',' ? end + 1 : end;
            }
        } else if (name == "--visitors") {
            options.visitors = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        } else if (name == "--new-user-rules") {
            options.newUserRules = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        } else if (name == "--seconds") {
            options.seconds = std::atof(value);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.visitors > 0;
}

uint32_t Address(const char* dotted) { return ntohl(inet_addr(dotted)); }

// Visitor k: nickname "visitor<k>", address 10.<k/250 % 256>.<k % 250>.<k*7 % 250 + 1>.
std::wstring VisitorNick(uint32_t k) { return L"visitor" + std::to_wstring(k); }
std::string VisitorIp(uint32_t k) {
    return "10." + std::to_string(k / 250 % 256) + "." + std::to_string(k % 250) + "." +
           std::to_string(k * 7 % 250 + 1);
}

void SetName(_RULE& rule, const std::wstring& name) {
    wcsncpy(reinterpret_cast<wchar_t*>(rule.name), name.c_str(), RULE_NAME_UNITS - 1);
}
void SetPrefix(_RULE& rule, const std::string& prefix) {
    strncpy(rule.ipPrefix, prefix.c_str(), RULE_IP_PREFIX_BYTES - 1);
}

// Search types 1, 2, 3 and 7 in turn, IP patterns prefix, exact and range in
// turn. Rule i with i % 50 == 0 picks visitor i / 50; the others resemble
// the visitors closely enough that every comparison does some work, but pick
// no one. So a run posts a few redraws, far below a queue's 10,000 limit.
std::vector<_RULE> MakeRules(uint32_t count, uint32_t visitors) {
    static const int32_t searchTypes[] = {1, 2, 3, 7};
    std::vector<_RULE> rules(count);
    for (uint32_t i = 0; i < count; ++i) {
        _RULE& rule = rules[i];
        std::memset(&rule, 0, sizeof rule);
        rule.searchType = searchTypes[i % 4];
        rule.status = (i % 3 == 0) ? STATUS_NO_PRIVATE : STATUS_IGNORE;
        rule.nickColor = 0x000000FF + i;
        rule.textColor = 0x00FF0000 + i;

        const bool picks = i % PICKING_RULE_EVERY == 0 && i / PICKING_RULE_EVERY < visitors;
        const uint32_t target = i / PICKING_RULE_EVERY;
        SetName(rule, picks ? VisitorNick(target) : VisitorNick(visitors + i));
        switch (i % 3) {
            case 0:  // prefix: a visitor's whole text, or "10.<n>.250" that no one has
                SetPrefix(rule, picks ? VisitorIp(target)
                                      : "10." + std::to_string(i % 256) + ".250");
                break;
            case 1:  // exact: a visitor's own address, or one no visitor has
                rule.ipLow = Address(picks ? VisitorIp(target).c_str() : "10.255.251.1");
                break;
            default: {  // range: around a visitor, or just above all of them
                const uint32_t base = picks ? Address(VisitorIp(target).c_str())
                                            : Address("10.255.252.0") + i % 200;
                rule.ipLow = base;
                rule.ipHigh = base + (picks ? 0 : 3);
                break;
            }
        }
    }
    return rules;
}

bool WriteRuleFile(const std::vector<_RULE>& rules) {
    HANDLE file = CreateFileA("MODULES\\torvo.tdb", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD size = static_cast<DWORD>(rules.size() * sizeof(_RULE));
    DWORD written = 0;
    const BOOL ok = size == 0 || WriteFile(file, rules.data(), size, &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

std::string ModulePath() {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    return path.substr(0, path.find_last_of('\\') + 1) + "torvo.jem";
}

// The list of `count` rules written to MODULES\torvo.tdb, then the module
// loaded, which reads it.
HMODULE LoadWithRules(uint32_t count, uint32_t visitors, SetUserStateFn* setUserState) {
    if (!WriteRuleFile(MakeRules(count, visitors))) return nullptr;
    HMODULE module = LoadLibraryA(ModulePath().c_str());
    if (!module) return nullptr;
    *setUserState = reinterpret_cast<SetUserStateFn>(reinterpret_cast<void*>(
        GetProcAddress(module, "@Torvo_SetUserState$qulp5_ROOMul")));
    if (!*setUserState) {
        FreeLibrary(module);
        return nullptr;
    }
    return module;
}

// The room's visitors plus the entry just behind them for event 64. That one
// is picked by no rule, so event 64 tests the whole list.
struct Room {
    _ROOM room;
    std::vector<_ROOM_USER> users;
};

void FillRoom(Room& room, uint32_t visitors, HWND userList) {
    room.users.assign(visitors + 1, _ROOM_USER{});
    for (uint32_t k = 0; k <= visitors; ++k) {
        _ROOM_USER& user = room.users[k];
        const std::wstring nick = k < visitors ? VisitorNick(k) : L"newcomer";
        const std::string ip = k < visitors ? VisitorIp(k) : "172.16.0.1";
        wcsncpy(user.nick, nick.c_str(), NICK_UNITS - 1);
        strncpy(user.ip, ip.c_str(), USER_IP_BYTES - 1);
        user.state = 0x05;
    }
    std::memset(&room.room, 0, sizeof room.room);
    room.room.hwndUserList = userList;
    room.room.users = room.users.data();
    room.room.userCount = visitors;
}

uint32_t DrainRedraws(HWND window) {
    uint32_t count = 0;
    MSG message;
    while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
        if (message.message == LVM_REDRAWITEMS) ++count;
    }
    return count;
}

struct Timing {
    double medianSeconds;
    double minSeconds;
    uint32_t runs;
    uint32_t redrawsPerRun;
};

// Calls the event repeatedly for at least `seconds` (and 5 runs), draining
// the posted redraws after each call outside the timed part.
Timing Measure(SetUserStateFn setUserState, unsigned long event, Room& room, HWND sink,
               double seconds) {
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> samples;
    uint32_t redraws = 0;
    double total = 0;
    while ((total < seconds || samples.size() < 5) && samples.size() < 100000) {
        QueryPerformanceCounter(&start);
        setUserState(event, &room.room, 0);
        QueryPerformanceCounter(&stop);
        const double elapsed =
            static_cast<double>(stop.QuadPart - start.QuadPart) / frequency.QuadPart;
        samples.push_back(elapsed);
        total += elapsed;
        redraws = DrainRedraws(sink);
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front(), static_cast<uint32_t>(samples.size()),
            redraws};
}

// A temporary folder with MODULES inside, made current for the module's
// relative rule-file path.
std::string MakeScratchFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        std::string(temp) + "torvo-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\MODULES").c_str(), nullptr);
    SetCurrentDirectoryA(folder.c_str());
    return folder;
}

void RemoveScratchFolder(const std::string& folder, const std::string& previous) {
    SetCurrentDirectoryA(previous.c_str());
    DeleteFileA((folder + "\\MODULES\\torvo.tdb").c_str());
    RemoveDirectoryA((folder + "\\MODULES").c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: matching_bench [--rules 100,1000,10000] [--visitors 1000]\n"
                     "                      [--new-user-rules 10000] [--seconds 1]\n");
        return 2;
    }
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string folder = MakeScratchFolder();
    HWND sink = CreateWindowExA(0, "STATIC", "bench", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    Room room;
    FillRoom(room, options.visitors, sink);
    int status = 0;

    std::printf("Event 16 over a room of %u visitors (one rule in %u picks a visitor)\n",
                options.visitors, PICKING_RULE_EVERY);
    std::printf("%8s %12s %12s %14s %8s %10s\n", "rules", "median ms", "min ms", "ns per pair",
                "runs", "redraws");
    for (uint32_t count : options.ruleCounts) {
        SetUserStateFn setUserState = nullptr;
        HMODULE module = LoadWithRules(count, options.visitors, &setUserState);
        if (!module) {
            std::fprintf(stderr, "cannot load %s with %u rules\n", ModulePath().c_str(), count);
            status = 1;
            break;
        }
        const Timing t = Measure(setUserState, ALL_USERS, room, sink, options.seconds);
        const double pairs = static_cast<double>(count) * options.visitors;
        std::printf("%8u %12.3f %12.3f %14.2f %8u %10u\n", count, t.medianSeconds * 1e3,
                    t.minSeconds * 1e3, pairs > 0 ? t.medianSeconds * 1e9 / pairs : 0.0, t.runs,
                    t.redrawsPerRun);
        FreeLibrary(module);  // saves the rule file back; harmless here
    }

    if (status == 0) {
        SetUserStateFn setUserState = nullptr;
        HMODULE module = LoadWithRules(options.newUserRules, options.visitors, &setUserState);
        if (!module) {
            std::fprintf(stderr, "cannot load %s\n", ModulePath().c_str());
            status = 1;
        } else {
            const Timing t = Measure(setUserState, NEW_USER, room, sink, options.seconds);
            std::printf("\nEvent 64 (new visitor, no rule picks it) with %u rules:\n",
                        options.newUserRules);
            std::printf("  median %.1f us, min %.1f us, %.2f ns per rule, %u runs, %u redraws\n",
                        t.medianSeconds * 1e6, t.minSeconds * 1e6,
                        options.newUserRules ? t.medianSeconds * 1e9 / options.newUserRules : 0.0,
                        t.runs, t.redrawsPerRun);
            FreeLibrary(module);
        }
    }

    DestroyWindow(sink);
    RemoveScratchFolder(folder, current);
    return status;
}
