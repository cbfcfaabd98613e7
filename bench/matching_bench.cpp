// Times matching the way the host calls it, the plain walk over every rule
// beside the rule index, in one run:
//   - event 16 over a room of 1,000 visitors with 10,000 and 100,000 mixed
//     rules, no visitor picked;
//   - the same with one visitor in ten picked by one rule, beside a bare
//     loop of as many redraw posts (Wine's PostMessage is a round trip to
//     its server and the floor of that case);
//   - event 64 (one new visitor) with 100,000 rules;
//   - building the index for 100,000 rules, and its memory;
//   - event 16 once more through torvo.jem's own export;
//   - the rule file replaced by another program while torvo.jem is loaded:
//     the first event after the module's look at the file (reading the new
//     list and building its index), beside loading the module with such a
//     list and its first event.
// The walk and the index run in this program from the module's own matching
// code (torvo_core); g_matchByPlainWalk switches between them.
//
// Usage: matching_bench [--rules 10000,100000] [--visitors 1000]
//                       [--new-user-rules 100000] [--seconds 1]
#include "matching/matching.h"
#include "matching/rule_index.h"
#include "bench/bench_support.h"
#include "contract/host_contract.h"
#include "host/stand_in_messages.h"
#include "host/stand_in_module.h"
#include "host/stand_in_room.h"
#include "host/whole_file.h"
#include "module/host_records.h"
#include "module/room_events.h"
#include "rules/ip_pattern.h"
#include "rules/rule_array.h"
#include "rules/rule_memo.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {


constexpr uint32_t PICKED_VISITOR_EVERY = 10;  // one visitor in ten

struct Options {
    std::vector<uint32_t> ruleCounts{10000, 100000};
    uint32_t visitors = 1000;
    uint32_t newUserRules = 100000;
    double seconds = 1.0;  // minimum measuring time per figure
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--rules") {
            if (!ParseRuleCounts(value, 1, options.ruleCounts)) return false;
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

uint32_t Address(const std::string& dotted) { return ConvertAddress(dotted.data(), dotted.size()); }

// Visitor k: nickname "visitor<k>", address 10.<k/250 % 256>.<k % 250>.<k*7 % 250 + 1>.
std::wstring VisitorNick(uint32_t k) { return L"visitor" + std::to_wstring(k); }
std::string VisitorIp(uint32_t k) {
    return "10." + std::to_string(k / 250 % 256) + "." + std::to_string(k % 250) + "." +
           std::to_string(k * 7 % 250 + 1);
}

void SetName(_RULE& rule, const std::wstring& name) {
    wcsncpy(reinterpret_cast<wchar_t*>(rule.name), name.c_str(), RULE_NAME_UNITS - 1);
}

// Search types 1, 2, 3 and 7 in turn, IP patterns prefix, exact and range in
// turn, all close to the visitors' names and addresses but picking no one.
// With `pickOneInTen`, visitor k for every tenth k is picked by exactly one
// rule (its own name), spread evenly over the list.
std::vector<_RULE> MakeRules(uint32_t count, uint32_t visitors, bool pickOneInTen) {
    static const int32_t searchTypes[] = {1, 2, 3, 7};
    std::vector<_RULE> rules(count);
    for (uint32_t i = 0; i < count; ++i) {
        _RULE& rule = rules[i];
        std::memset(&rule, 0, sizeof rule);
        rule.searchType = searchTypes[i % 4];
        rule.status = (i % 3 == 0) ? STATUS_NO_PRIVATE : STATUS_IGNORE;
        rule.nickColor = 0x000000FF + i;
        rule.textColor = 0x00FF0000 + i;
        SetName(rule, VisitorNick(visitors + i));
        switch (i % 3) {
            case 0: {  // prefix "10.<n>.250" that no visitor's address starts with
                const std::string prefix = "10." + std::to_string(i % 256) + ".250";
                std::memcpy(rule.ipPrefix, prefix.data(), prefix.size());
                break;
            }
            case 1:  // an exact address no visitor has
                rule.ipLow = Address("10.255.251.1");
                break;
            default:  // a narrow range just above all visitors
                rule.ipLow = Address("10.255.252.0") + i % 200;
                rule.ipHigh = rule.ipLow + 3;
                break;
        }
    }
    if (pickOneInTen) {
        const uint32_t picked = (visitors + PICKED_VISITOR_EVERY - 1) / PICKED_VISITOR_EVERY;
        for (uint32_t n = 0; n < picked && n < count; ++n) {
            _RULE& rule = rules[static_cast<uint64_t>(n) * count / picked];
            std::memset(rule.name, 0, sizeof rule.name);
            SetName(rule, VisitorNick(n * PICKED_VISITOR_EVERY));
            rule.searchType = SEARCH_NAME;
        }
    }
    return rules;
}

// Every second rule given a memo whose expiry has passed or is a day away,
// by a scrambled bit of the number: half the list expiring, a quarter
// expired, and about half of the picking rules among them.
std::vector<_RULE> HalfExpiring(std::vector<_RULE> rules) {
    const auto now = static_cast<int64_t>(std::time(nullptr));
    for (size_t i = 0; i < rules.size(); i += 2) {
        RuleMemo memo{};
        memo.added = now - 86400;
        const bool expired = (static_cast<uint32_t>(i) * 2654435761u >> 20) & 1;
        memo.expires = expired ? now - 60 : now + 86400;
        WriteRuleMemo(rules[i], memo);
    }
    return rules;
}

// The rules made the module's array in one block, as a load does.
void UseRules(const std::vector<_RULE>& rules) {
    FreeRules();
    auto* block = static_cast<_RULE*>(std::calloc(rules.size() + 1, sizeof(_RULE)));
    if (!block) return;
    if (!rules.empty()) std::memcpy(block, rules.data(), rules.size() * sizeof(_RULE));
    g_rules = block;
    g_ruleCount = static_cast<uint32_t>(rules.size());
    MarkRulesChanged();
}

// The room's visitors plus the spare entry just behind them for event 64;
// that one is picked by no rule, so event 64 tests the whole list.
void FillBenchRoom(StandInRoom& room, uint32_t visitors, HWND userList) {
    std::vector<_ROOM_USER> present;
    for (uint32_t k = 0; k < visitors; ++k) {
        present.push_back(MakeRoomEntry(VisitorNick(k), VisitorIp(k), 0x05));
    }
    const _ROOM_USER newcomer = MakeRoomEntry(L"newcomer", "172.16.0.1", 0x05);
    FillRoom(room, present, &newcomer, userList);
}

uint32_t DrainRedraws(HWND window) { return static_cast<uint32_t>(TakeRedraws(window).size()); }

struct Timing {
    double median;  // seconds
    uint32_t runs;
    uint32_t redraws;  // posted by the last run
};

// Runs `step` repeatedly for at least `seconds` (and 3 runs), draining the
// posted redraws after each run outside the timed part.
template <typename Step>
Timing Measure(Step step, HWND sink, double seconds) {
    std::vector<double> samples;
    uint32_t redraws = 0;
    double total = 0;
    while ((total < seconds || samples.size() < 3) && samples.size() < 100000) {
        const double start = Now();
        step();
        const double elapsed = Now() - start;
        samples.push_back(elapsed);
        total += elapsed;
        redraws = DrainRedraws(sink);
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], static_cast<uint32_t>(samples.size()), redraws};
}

// One event through the module's matching, by walk or by index. The index
// is built before timing (the first event after a change builds it). A
// sample of `repeat` calls gives short calls a time well above the clock's
// resolution; the median is per call.
Timing MeasureEvent(uint32_t event, StandInRoom& room, HWND sink, bool walk, double seconds,
                    uint32_t repeat = 1) {
    g_matchByPlainWalk = walk;
    MatchRoomVisitors(event, &room.room, 0);
    DrainRedraws(sink);
    Timing timing = Measure(
        [&] {
            for (uint32_t k = 0; k < repeat; ++k) MatchRoomVisitors(event, &room.room, 0);
        },
        sink, seconds);
    timing.median /= repeat;
    return timing;
}

Timing MeasurePosts(HWND sink, uint32_t posts, double seconds) {
    return Measure(
        [&] {
            for (uint32_t k = 0; k < posts; ++k) PostMessageA(sink, LVM_REDRAWITEMS, k, k);
        },
        sink, seconds);
}

bool WriteRuleFile(const std::vector<_RULE>& rules, const char* path = RULE_FILE_PATH) {
    return WriteWholeFile(path, rules.data(), rules.size() * sizeof(_RULE));
}

// Another program's version of the list, put in place in one step as the
// rule-list tool does.
bool ReplaceRuleFile(const std::vector<_RULE>& rules) {
    return WriteRuleFile(rules, "MODULES\\another.tdb") &&
           MoveFileExA("MODULES\\another.tdb", RULE_FILE_PATH, MOVEFILE_REPLACE_EXISTING);
}

// How long the first event takes after the rule file was replaced while the
// module is loaded (it reads the new list and builds its index), beside the
// module's load with such a list and its first event, and an event after.
bool MeasureReload(std::vector<_RULE> rules, StandInRoom& room, HWND sink) {
    if (!WriteRuleFile(rules)) return false;
    double start = Now();
    LoadedModule module;
    if (!LoadBuiltModule(module)) return false;
    module.setUserState(EVENT_ALL_USERS, &room.room, 0);
    const double loadAndFirst = Now() - start;
    DrainRedraws(sink);

    std::vector<double> afterChange;
    for (int change = 1; change <= 3; ++change) {
        rules.back().nickColor = static_cast<uint32_t>(change);  // another version, as long
        if (!ReplaceRuleFile(rules)) return false;
        Sleep(1100);  // the module looks at its file at most once a second
        start = Now();
        module.setUserState(EVENT_ALL_USERS, &room.room, 0);
        afterChange.push_back(Now() - start);
        DrainRedraws(sink);
    }
    std::sort(afterChange.begin(), afterChange.end());
    start = Now();
    module.setUserState(EVENT_ALL_USERS, &room.room, 0);
    const double plain = Now() - start;
    UnloadModule(module);
    std::printf("\nRule file of %zu rules replaced while torvo.jem is loaded, event 16 over %u "
                "visitors:\n", rules.size(), room.room.userCount);
    std::printf("  first event after the change %.1f ms (median of 3; reads the list, builds "
                "the index)\n", afterChange[1] * 1e3);
    std::printf("  loading torvo.jem with the list, and its first event %.1f ms\n",
                loadAndFirst * 1e3);
    std::printf("  an event after that %.3f ms\n", plain * 1e3);
    return true;
}

// Event 16 through the built torvo.jem, which reads `rules` from the rule file.
bool MeasureModuleExport(const std::vector<_RULE>& rules, StandInRoom& room, HWND sink,
                         double seconds, Timing* timing) {
    if (!WriteRuleFile(rules)) return false;
    LoadedModule module;
    if (!LoadBuiltModule(module)) return false;
    module.setUserState(EVENT_ALL_USERS, &room.room, 0);
    DrainRedraws(sink);
    *timing = Measure([&] { module.setUserState(EVENT_ALL_USERS, &room.room, 0); }, sink, seconds);
    UnloadModule(module);  // saves the rule file back; harmless here
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: matching_bench [--rules 10000,100000] [--visitors 1000]\n"
                     "                      [--new-user-rules 100000] [--seconds 1]\n");
        return 2;
    }
    PrintRunnerLine("Matching benchmark");

    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string folder = MakeScratchFolder("torvo-bench");
    HWND sink = CreateMessageSink();
    StandInRoom room;
    FillBenchRoom(room, options.visitors, sink);
    const double seconds = options.seconds;

    std::printf("\nEvent 16 over %u visitors, mixed rules, no visitor picked\n", options.visitors);
    std::printf("%8s %12s %12s %10s\n", "rules", "walk ms", "index ms", "walk/index");
    for (uint32_t count : options.ruleCounts) {
        UseRules(MakeRules(count, options.visitors, false));
        const Timing walk = MeasureEvent(EVENT_ALL_USERS, room, sink, true, seconds);
        const Timing index = MeasureEvent(EVENT_ALL_USERS, room, sink, false, seconds);
        std::printf("%8u %12.3f %12.4f %10.0f\n", count, walk.median * 1e3, index.median * 1e3,
                    walk.median / index.median);
    }

    for (bool expiring : {false, true}) {
        std::printf("\nEvent 16 over %u visitors, one visitor in %u picked by one rule%s\n",
                    options.visitors, PICKED_VISITOR_EVERY,
                    expiring ? ", half the rules expiring (a quarter expired)" : "");
        std::printf("%8s %12s %12s %10s %8s %12s %14s\n", "rules", "walk ms", "index ms",
                    "walk/index", "redraws", "posts ms", "index-posts ms");
        for (uint32_t count : options.ruleCounts) {
            const std::vector<_RULE> rules = MakeRules(count, options.visitors, true);
            UseRules(expiring ? HalfExpiring(rules) : rules);
            const Timing walk = MeasureEvent(EVENT_ALL_USERS, room, sink, true, seconds);
            const Timing index = MeasureEvent(EVENT_ALL_USERS, room, sink, false, seconds);
            const Timing posts = MeasurePosts(sink, index.redraws, seconds);
            std::printf("%8u %12.3f %12.4f %10.0f %8u %12.4f %14.4f\n", count, walk.median * 1e3,
                        index.median * 1e3, walk.median / index.median, index.redraws,
                        posts.median * 1e3, (index.median - posts.median) * 1e3);
            if (walk.redraws != index.redraws) {
                std::printf("  walk posted %u redraws, index %u\n", walk.redraws, index.redraws);
            }
        }
    }

    const std::vector<_RULE> newUserRules = MakeRules(options.newUserRules, options.visitors, false);
    UseRules(newUserRules);
    {
        const Timing walk = MeasureEvent(EVENT_NEW_USER, room, sink, true, seconds);
        const Timing index = MeasureEvent(EVENT_NEW_USER, room, sink, false, seconds, 1000);
        std::printf("\nEvent 64 (a new visitor no rule picks) with %u rules\n",
                    options.newUserRules);
        std::printf("  walk %.1f us, index %.3f us (median of calls in runs of 1,000), "
                    "walk/index %.0f\n", walk.median * 1e6,
                    index.median * 1e6, walk.median / index.median);
    }

    {
        RuleIndex index{};
        size_t bytes = 0;
        const Timing build = Measure(
            [&] {
                BuildRuleIndex(index, g_rules, g_ruleCount);
                bytes = index.bytes;
                FreeRuleIndex(index);
            },
            sink, seconds);
        const double arrayBytes = static_cast<double>(g_ruleCount) * sizeof(_RULE);
        std::printf("\nIndex for %u rules: built in %.2f ms (median of %u), %zu bytes, "
                    "%.1f%% of the rule array's %.0f bytes\n",
                    g_ruleCount, build.median * 1e3, build.runs, bytes,
                    100.0 * static_cast<double>(bytes) / arrayBytes, arrayBytes);
    }
    FreeRules();
    g_matchByPlainWalk = false;

    int status = 0;
    const uint32_t exportRules = options.ruleCounts.back();
    Timing module{};
    if (MeasureModuleExport(MakeRules(exportRules, options.visitors, false), room, sink, seconds,
                            &module)) {
        std::printf("\nEvent 16 through torvo.jem's export, %u rules, no visitor picked: "
                    "%.4f ms\n", exportRules, module.median * 1e3);
    } else {
        std::fprintf(stderr, "cannot load %s\n", ModulePath().c_str());
        status = 1;
    }

    if (status == 0 && !MeasureReload(MakeRules(exportRules, options.visitors, false), room, sink)) {
        std::fprintf(stderr, "cannot measure the reload through %s\n", ModulePath().c_str());
        status = 1;
    }

    DestroyWindow(sink);
    RemoveScratchFolder(folder, current, {"torvo.tdb", "another.tdb"});
    return status;
}
