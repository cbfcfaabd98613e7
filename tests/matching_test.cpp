// Visitor matching through the loaded module's Torvo_SetUserState: rule
// files crafted before loading, rooms built at the host's offsets, and the
// row redraws read back from a real window's queue.
#include "tests/support/torvo_test.h"

#include "rules/rule_memo.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr COLORREF HOST_NICK_COLOR = 0x00ABCDEF;  // what MakeVisitor gives
constexpr COLORREF HOST_TEXT_COLOR = 0x00123456;

using Redraws = std::vector<std::pair<WPARAM, LPARAM>>;

// Copies up to the field's width; a text of exactly 16 bytes stays unterminated.
void SetPrefix(_RULE& rule, const char* prefix) {
    std::memset(rule.ipPrefix, 0, sizeof rule.ipPrefix);
    std::memcpy(rule.ipPrefix, prefix, strnlen(prefix, sizeof rule.ipPrefix));
}

_RULE IpRule(const char* prefix, uint32_t low, uint32_t high, int32_t searchType = SEARCH_IP) {
    _RULE rule = MakeRule(L"", searchType);
    SetPrefix(rule, prefix);
    rule.ipLow = low;
    rule.ipHigh = high;
    return rule;
}

_ROOM_USER Visitor(const char* ip) {
    _ROOM_USER user = MakeVisitor(L"visitor", "");
    // Up to the field's width, so a text of 16 bytes stays unterminated.
    std::memcpy(user.ip, ip, strnlen(ip, sizeof user.ip));
    return user;
}

bool Untouched(const _ROOM_USER& user, uint32_t state = 0) {
    return user.state == state && user.nickColor == HOST_NICK_COLOR &&
           user.textColor == HOST_TEXT_COLOR;
}

class Matching : public ::testing::Test {
protected:
    void SetUp() override {
        sink = CreateMessageSink();
        ASSERT_NE(sink, nullptr);
    }
    void TearDown() override {
        UnloadModule(module);
        DestroyWindow(sink);
    }

    // The module reads the rule file when it is loaded, so the file comes first.
    void LoadWithRules(const std::vector<_RULE>& rules) {
        UnloadModule(module);
        WriteRuleFile(rules);
        module = LoadModule();
    }

    unsigned long Send(unsigned long event, _ROOM* room, unsigned long index = 0) {
        if (!module.setUserState) {
            ADD_FAILURE() << "module not loaded";
            return 0xDEADBEEF;
        }
        return module.setUserState(event, room, index);
    }

    // Runs event 16 over `visitors` with `rules` and gives one character per
    // row: '1' when the row was redrawn once, '0' when not at all. A redrawn
    // row must carry the colours of some rule, an untouched one the host's.
    std::string Picked(const std::vector<_RULE>& rules, const std::vector<_ROOM_USER>& visitors) {
        LoadWithRules(rules);
        StandInRoom room;
        FillRoom(room, visitors, nullptr, sink);
        EXPECT_EQ(Send(EVENT_ALL_USERS, &room.room), 0u);
        std::string rows(visitors.size(), '0');
        for (const auto& redraw : TakeRedraws(sink)) {
            EXPECT_EQ(redraw.first, static_cast<WPARAM>(redraw.second));
            if (redraw.first < rows.size()) rows[redraw.first] += 1;
        }
        for (size_t i = 0; i < visitors.size(); ++i) {
            if (rows[i] == '0') EXPECT_TRUE(Untouched(room.users[i], visitors[i].state)) << i;
            else EXPECT_NE(room.users[i].nickColor, HOST_NICK_COLOR) << i;
        }
        return rows;
    }
    std::string Picked(const _RULE& rule, const std::vector<_ROOM_USER>& visitors) {
        return Picked(std::vector<_RULE>{rule}, visitors);
    }

    ScratchFolder folder;
    HWND sink = nullptr;
    LoadedModule module;
};

// ---- Which entries an event selects ----------------------------------------

TEST_F(Matching, QueryAnswersHandledEventsAndTouchesNothing) {
    LoadWithRules({MakeRule(L"a", SEARCH_NAME)});
    EXPECT_EQ(Send(EVENT_QUERY, nullptr, 0), 8272u);
    EXPECT_EQ(Send(EVENT_QUERY, nullptr, 0xFFFFFFFF), 8272u);

    StandInRoom room;
    const _ROOM_USER visitor = MakeVisitor(L"a", "10.0.0.1");
    FillRoom(room, {visitor, visitor}, &visitor, sink);
    EXPECT_EQ(Send(EVENT_QUERY, &room.room, 1), 8272u);
    for (const _ROOM_USER& user : room.users) EXPECT_TRUE(Untouched(user));
    EXPECT_TRUE(TakeRedraws(sink).empty());
}

TEST_F(Matching, CodesOtherThanTheThreeSelectNothing) {
    LoadWithRules({MakeRule(L"a", SEARCH_NAME)});
    StandInRoom room;
    const _ROOM_USER visitor = MakeVisitor(L"a", "10.0.0.1");
    FillRoom(room, {visitor, visitor}, &visitor, sink);
    // Combinations of handled codes are not handled: codes are compared whole.
    for (unsigned long event : {80ul, 8208ul, 8256ul, 8272ul, 1ul, 8ul, 32ul, 128ul, 4096ul,
                                16384ul, 0x10010ul, 0xFFFFFFFFul}) {
        EXPECT_EQ(Send(event, &room.room, 0), 0u) << event;
        // The room is not even looked at.
        EXPECT_EQ(Send(event, nullptr, 0), 0u) << event;
    }
    for (const _ROOM_USER& user : room.users) EXPECT_TRUE(Untouched(user));
    EXPECT_TRUE(TakeRedraws(sink).empty());
}

TEST_F(Matching, EmptyRuleListChangesNothing) {
    LoadWithRules({});
    StandInRoom room;
    const _ROOM_USER visitor = MakeVisitor(L"", "", 0x1A5);
    FillRoom(room, {visitor, visitor}, &visitor, sink);
    EXPECT_EQ(Send(EVENT_ALL_USERS, &room.room), 0u);
    EXPECT_EQ(Send(EVENT_NEW_USER, &room.room), 0u);
    EXPECT_EQ(Send(EVENT_ONE_USER, &room.room, 1), 0u);
    for (const _ROOM_USER& user : room.users) EXPECT_TRUE(Untouched(user, 0x1A5));
    EXPECT_TRUE(TakeRedraws(sink).empty());
}

TEST_F(Matching, AllUsersVisitsEveryCountedEntryInOrderButNotTheOneBehind) {
    LoadWithRules({MakeRule(L"a", SEARCH_NAME)});
    StandInRoom room;
    const _ROOM_USER a = MakeVisitor(L"a", "");
    const _ROOM_USER b = MakeVisitor(L"b", "");
    FillRoom(room, {a, b, a, a}, &a, sink);
    EXPECT_EQ(Send(EVENT_ALL_USERS, &room.room, 1), 0u);  // index plays no part
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{0, 0}, {2, 2}, {3, 3}}));
    EXPECT_EQ(room.users[0].state, 768u);
    EXPECT_TRUE(Untouched(room.users[1]));
    EXPECT_EQ(room.users[3].nickColor, 0x000000FFu);
    EXPECT_EQ(room.users[3].textColor, 0x00FF0000u);
    EXPECT_TRUE(Untouched(room.users[4]));  // behind the count

    room.room.userCount = 0;
    room.users[4] = a;
    EXPECT_EQ(Send(EVENT_ALL_USERS, &room.room), 0u);
    EXPECT_TRUE(TakeRedraws(sink).empty());
    EXPECT_TRUE(Untouched(room.users[4]));
}

TEST_F(Matching, NewUserTakesTheEntryAtUserCountAndIgnoresIndex) {
    LoadWithRules({MakeRule(L"a", SEARCH_NAME)});
    StandInRoom room;
    const _ROOM_USER a = MakeVisitor(L"a", "");
    FillRoom(room, {a, a}, &a, sink);
    for (unsigned long index : {0ul, 1ul, 7ul}) {
        room.users[2] = a;
        EXPECT_EQ(Send(EVENT_NEW_USER, &room.room, index), 0u);
        EXPECT_EQ(TakeRedraws(sink), (Redraws{{2, 2}})) << index;
        EXPECT_EQ(room.users[2].state, 768u);
    }
    EXPECT_TRUE(Untouched(room.users[0]));
    EXPECT_TRUE(Untouched(room.users[1]));
}

TEST_F(Matching, OneUserTakesTheEntryAtIndexEvenPastTheCount) {
    LoadWithRules({MakeRule(L"a", SEARCH_NAME)});
    StandInRoom room;
    const _ROOM_USER a = MakeVisitor(L"a", "");
    FillRoom(room, {a, a, a}, &a, sink);
    EXPECT_EQ(Send(EVENT_ONE_USER, &room.room, 1), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{1, 1}}));
    EXPECT_EQ(room.users[1].state, 768u);
    EXPECT_TRUE(Untouched(room.users[0]));
    EXPECT_TRUE(Untouched(room.users[2]));
    EXPECT_TRUE(Untouched(room.users[3]));

    // The index is the host's word; it is not checked against userCount.
    EXPECT_EQ(Send(EVENT_ONE_USER, &room.room, 3), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{3, 3}}));
    EXPECT_EQ(room.users[3].state, 768u);
}

TEST_F(Matching, LastIndexWrapsToAnEmptySelection) {
    LoadWithRules({MakeRule(L"a", SEARCH_NAME)});
    // users points at the second entry, so index 0xFFFFFFFF would wrap
    // around to the first one if it were processed.
    StandInRoom room;
    const _ROOM_USER a = MakeVisitor(L"a", "");
    FillRoom(room, {a, a}, &a, sink);
    room.room.users = &room.users[1];

    EXPECT_EQ(Send(EVENT_ONE_USER, &room.room, 0xFFFFFFFF), 0u);
    room.room.userCount = 0xFFFFFFFF;
    EXPECT_EQ(Send(EVENT_NEW_USER, &room.room, 0), 0u);

    EXPECT_TRUE(TakeRedraws(sink).empty());
    for (const _ROOM_USER& user : room.users) EXPECT_TRUE(Untouched(user));
}

TEST_F(Matching, HandledEventsWithoutRoomOrVisitorsDoNothing) {
    LoadWithRules({MakeRule(L"", SEARCH_NAME)});
    for (unsigned long event : {EVENT_ALL_USERS, EVENT_NEW_USER, EVENT_ONE_USER}) {
        EXPECT_EQ(Send(event, nullptr, 0), 0u) << event;
    }
    StandInRoom room;
    FillRoom(room, {MakeVisitor(L"", "")}, nullptr, sink);
    room.room.users = nullptr;
    room.room.userCount = 5;
    for (unsigned long event : {EVENT_ALL_USERS, EVENT_NEW_USER, EVENT_ONE_USER}) {
        EXPECT_EQ(Send(event, &room.room, 2), 0u) << event;
    }
    EXPECT_TRUE(TakeRedraws(sink).empty());
}

// ---- Which rules apply, and what they write ---------------------------------

TEST_F(Matching, AllUsersAppliesEveryPickingRuleTheOthersOnlyTheFirst) {
    const _RULE missing = MakeRule(L"b", SEARCH_NAME, STATUS_IGNORE, 0x111111, 0x222222);
    const _RULE first = MakeRule(L"a", SEARCH_NAME, STATUS_NO_PRIVATE, 0x333333, 0x444444);
    _RULE second = IpRule("10.", 0, 0);
    second.status = STATUS_UNCHANGED;
    second.nickColor = 0x555555;
    second.textColor = 0x666666;
    LoadWithRules({missing, first, missing, second, missing});

    StandInRoom room;
    const _ROOM_USER a = MakeVisitor(L"a", "10.0.0.1", 0x05);
    FillRoom(room, {MakeVisitor(L"z", ""), a}, &a, sink);

    EXPECT_EQ(Send(EVENT_ALL_USERS, &room.room), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{1, 1}, {1, 1}}));
    EXPECT_EQ(room.users[1].state, 0x105u);  // the second keeps the first's status
    EXPECT_EQ(room.users[1].nickColor, 0x555555u);
    EXPECT_EQ(room.users[1].textColor, 0x666666u);
    EXPECT_TRUE(Untouched(room.users[0]));

    EXPECT_EQ(Send(EVENT_NEW_USER, &room.room), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{2, 2}}));
    EXPECT_EQ(room.users[2].state, 0x105u);
    EXPECT_EQ(room.users[2].nickColor, 0x333333u);
    EXPECT_EQ(room.users[2].textColor, 0x444444u);

    room.users[1] = a;
    EXPECT_EQ(Send(EVENT_ONE_USER, &room.room, 1), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{1, 1}}));
    EXPECT_EQ(room.users[1].nickColor, 0x333333u);
}

// A rule whose memo's time has run out picks no one from the next event on,
// in room reports and single re-checks alike, and without the list changing;
// reserved bytes that only look like a memo never expire a rule.
TEST_F(Matching, ExpiredRulesPickNoOneFromTheNextEventOn) {
    const auto now = static_cast<int64_t>(std::time(nullptr));
    auto expiring = [](const wchar_t* name, int64_t expires) {
        _RULE rule = MakeRule(name, SEARCH_NAME);
        RuleMemo memo{};
        memo.expires = expires;
        WriteRuleMemo(rule, memo);
        return rule;
    };
    _RULE lookalike = expiring(L"f", 1);
    lookalike.reserved[200] = 1;  // the checksum no longer fits
    LoadWithRules({expiring(L"gone", now - 10), expiring(L"soon", now + 2),
                   expiring(L"never", MEMO_NEVER), lookalike});
    StandInRoom room;
    FillRoom(room, {MakeVisitor(L"gone", ""), MakeVisitor(L"soon", ""), MakeVisitor(L"never", ""),
                    MakeVisitor(L"f", "")}, nullptr, sink);

    EXPECT_EQ(Send(EVENT_ALL_USERS, &room.room), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{1, 1}, {2, 2}, {3, 3}}));
    while (std::time(nullptr) < now + 2) Sleep(50);
    EXPECT_EQ(Send(EVENT_ALL_USERS, &room.room), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{2, 2}, {3, 3}}));
    EXPECT_EQ(Send(EVENT_ONE_USER, &room.room, 1), 0u);
    EXPECT_TRUE(TakeRedraws(sink).empty());
}

TEST_F(Matching, StatusReplacesBitsEightUpAndKeepsTheHostsLowByte) {
    struct Case {
        int32_t status;
        uint32_t state;
    };
    const Case cases[] = {
        {STATUS_ALLOW_ALL, 0xA5},
        {STATUS_NO_PRIVATE, 0x1A5},
        {STATUS_IGNORE, 0x3A5},
        {STATUS_UNCHANGED, 0x1A5},
        // Only a rule file can hold these: bits 0-7 stay the host's anyway.
        {0x2FF, 0x2A5},
        {0x0000005A, 0xA5},
        {0x12345642, 0x123456A5},
        {-2, 0xFFFFFFA5},
        {static_cast<int32_t>(0x80000000), 0x800000A5},
    };
    for (const Case& c : cases) {
        LoadWithRules({MakeRule(L"a", SEARCH_NAME, c.status, 0x0000FF00, 0x00FF00FF)});
        StandInRoom room;
        FillRoom(room, {MakeVisitor(L"a", "", 0x1A5)}, nullptr, sink);
        EXPECT_EQ(Send(EVENT_ALL_USERS, &room.room), 0u);
        EXPECT_EQ(room.users[0].state, c.state) << std::hex << c.status;
        // Colours and the redraw come with every match, unchanged status included.
        EXPECT_EQ(room.users[0].nickColor, 0x0000FF00u) << std::hex << c.status;
        EXPECT_EQ(room.users[0].textColor, 0x00FF00FFu) << std::hex << c.status;
        EXPECT_EQ(TakeRedraws(sink), (Redraws{{0, 0}})) << std::hex << c.status;
    }
}

// ---- The name test ----------------------------------------------------------

TEST_F(Matching, NameTestIsExactAndCaseSensitive) {
    const std::vector<_ROOM_USER> visitors = {
        MakeVisitor(L"Alice", ""),       MakeVisitor(L"alice", ""),
        MakeVisitor(L"ALICE", ""),       MakeVisitor(L"Alice ", ""),
        MakeVisitor(L" Alice", ""),      MakeVisitor(L"Alic", ""),
        MakeVisitor(L"Alicee", ""),      MakeVisitor(L"", ""),
        MakeVisitor(L"\u0410lice", ""),  // Cyrillic capital A
    };
    EXPECT_EQ(Picked(MakeRule(L"Alice", SEARCH_NAME), visitors), "100000000");
    EXPECT_EQ(Picked(MakeRule(L"", SEARCH_NAME), visitors), "000000010");

    const std::vector<_ROOM_USER> cyrillic = {MakeVisitor(L"\u0418\u0432\u0430\u043d", ""),
                                              MakeVisitor(L"\u0438\u0432\u0430\u043d", "")};
    EXPECT_EQ(Picked(MakeRule(L"\u0418\u0432\u0430\u043d", SEARCH_NAME), cyrillic), "10");
}

TEST_F(Matching, RuleNameFillingItsFieldEndsAtTheFieldsEnd) {
    // A rule file may hold 64 units with no terminator: the name is those 64.
    _RULE rule = MakeRule(L"", SEARCH_NAME);
    for (char16_t& unit : rule.name) unit = L'n';
    const std::wstring exact(64, L'n');
    EXPECT_EQ(Picked(rule, {MakeVisitor(exact.c_str(), ""), MakeVisitor((exact + L"n").c_str(), ""),
                            MakeVisitor(exact.substr(1).c_str(), "")}),
              "100");
}

// ---- The IP test ------------------------------------------------------------

TEST_F(Matching, EmptyVisitorIpFailsTheIpTest) {
    // The empty text must not count as an address: inet_addr rejects it with
    // the all-ones value, which these rules would otherwise pick.
    const std::vector<_ROOM_USER> bob = {MakeVisitor(L"Bob", "")};
    _RULE allOnes = IpRule("", 0xFFFFFFFF, 0);
    EXPECT_EQ(Picked(allOnes, bob), "0");
    EXPECT_EQ(Picked(IpRule("", 1, 0xFFFFFFFF), bob), "0");
    EXPECT_EQ(Picked(IpRule("", 0, 0xFFFFFFFF), bob), "0");

    _RULE both = IpRule("", 0xFFFFFFFF, 0, SEARCH_NAME_AND_IP);
    wcscpy(WideName(both), L"Bob");
    EXPECT_EQ(Picked(both, bob), "0");

    _RULE either = IpRule("", 0xFFFFFFFF, 0, SEARCH_NAME_OR_IP);
    wcscpy(WideName(either), L"Bob");
    EXPECT_EQ(Picked(either, bob), "1");  // by the name alone
    wcscpy(WideName(either), L"Rob");
    EXPECT_EQ(Picked(either, bob), "0");
}

TEST_F(Matching, PrefixIsComparedAsText) {
    const std::vector<_ROOM_USER> visitors = {
        Visitor("10.1.2.3"), Visitor("10.12.0.1"), Visitor("10.100.0.1"), Visitor("10.1"),
        Visitor("10.2.1.1"), Visitor("10."),       Visitor("110.1.1.1"),  Visitor("1.10.1.1"),
    };
    EXPECT_EQ(Picked(IpRule("10.1", 0, 0), visitors), "11110000");
    EXPECT_EQ(Picked(IpRule("10.1.", 0, 0), visitors), "10000000");

    // A prefix that fills its 16 bytes without a terminator is all 16.
    const std::vector<_ROOM_USER> longIps = {Visitor("1.1.1.1.1.1.1.11"), Visitor("1.1.1.1.1.1.1.1"),
                                              Visitor("1.1.1.1.1.1.1.12")};
    _RULE full = IpRule("1.1.1.1.1.1.1.11", 0, 0);
    ASSERT_NE(full.ipPrefix[15], 0);
    EXPECT_EQ(Picked(full, longIps), "100");
}

TEST_F(Matching, RangeFromTheRuleFileIsInclusiveAndUnsigned) {
    const std::vector<_ROOM_USER> visitors = {
        Visitor("10.0.0.0"), Visitor("10.0.0.255"), Visitor("10.0.0.128"),
        Visitor("10.0.1.0"), Visitor("9.255.255.255"),
    };
    EXPECT_EQ(Picked(IpRule("", Address("10.0.0.0"), Address("10.0.0.255")), visitors), "11100");

    // Addresses from 128.0.0.0 up are above every lower one.
    const std::vector<_ROOM_USER> wide = {Visitor("100.0.0.0"), Visitor("127.255.255.255"),
                                          Visitor("128.0.0.0"), Visitor("200.0.0.0"),
                                          Visitor("200.0.0.1"), Visitor("99.255.255.255")};
    EXPECT_EQ(Picked(IpRule("", Address("100.0.0.0"), Address("200.0.0.0")), wide), "111100");
    EXPECT_EQ(Picked(IpRule("", Address("128.0.0.0"), Address("255.255.255.254")), wide), "001110");

    // Text inet_addr rejects is the all-ones address, like 255.255.255.255.
    const std::vector<_ROOM_USER> top = {Visitor("255.255.255.255"), Visitor("300.1.1.1"),
                                         Visitor("abc"), Visitor("255.255.255.254")};
    EXPECT_EQ(Picked(IpRule("", Address("255.255.255.255"), 0xFFFFFFFF), top), "1110");
}

TEST_F(Matching, LaterSubTestsRunAfterEarlierOnesFail) {
    const std::vector<_ROOM_USER> visitors = {Visitor("10.0.0.50"), Visitor("10.0.0.20"),
                                              Visitor("10.0.0.7"), Visitor("192.1.1.1")};
    // An inverted range from a file never holds; the exact address still counts.
    EXPECT_EQ(Picked(IpRule("", Address("10.0.0.50"), Address("10.0.0.10")), visitors), "1000");
    // A failed prefix leaves the range and the exact address to decide.
    EXPECT_EQ(Picked(IpRule("172.", Address("10.0.0.0"), Address("10.0.0.30")), visitors), "0110");
    EXPECT_EQ(Picked(IpRule("172.", Address("10.0.0.7"), 0), visitors), "0010");
    // The prefix picks one visitor, the exact address behind an inverted range another.
    EXPECT_EQ(Picked(IpRule("192.", Address("10.0.0.50"), Address("10.0.0.1")), visitors), "1001");
}

TEST_F(Matching, ExactAddressUsesTheDottedConversion) {
    // inet_addr reads shorthand, octal and hexadecimal parts.
    const std::vector<_ROOM_USER> visitors = {Visitor("10.0.0.1"), Visitor("10.1"),
                                              Visitor("0x0A.0.0.1"), Visitor("012.0.0.1"),
                                              Visitor("10.0.0.10"), Visitor("10.0.0")};
    EXPECT_EQ(Picked(IpRule("", Address("10.0.0.1"), 0), visitors), "111100");
}

TEST_F(Matching, RuleWithoutIpPatternNeverPassesTheIpTest) {
    const std::vector<_ROOM_USER> visitors = {Visitor("0.0.0.0"), Visitor("10.0.0.1"),
                                              Visitor("abc"), Visitor("255.255.255.255")};
    EXPECT_EQ(Picked(IpRule("", 0, 0), visitors), "0000");
}

// ---- searchType -------------------------------------------------------------

TEST_F(Matching, SearchTypeCombinesTheTwoTests) {
    // Rows: both tests pass, name only, IP only, neither.
    const std::vector<_ROOM_USER> visitors = {
        MakeVisitor(L"Target", "10.0.0.1"), MakeVisitor(L"Target", "10.0.0.2"),
        MakeVisitor(L"Other", "10.0.0.1"), MakeVisitor(L"Other", "10.0.0.2")};
    struct Case {
        int32_t searchType;
        const char* picked;
    };
    const Case cases[] = {
        {0, "0000"},  {1, "1100"},  {2, "1010"},  {3, "1000"},  {4, "0000"},
        {5, "1100"},  {6, "1010"},  {7, "1110"},  {8, "0000"},
        // Above 7: without bit 2 a test not made counts as failed.
        {9, "0000"},  {10, "0000"}, {11, "1000"}, {12, "0000"}, {13, "1100"},
        {14, "1010"}, {15, "1110"}, {-1, "1110"}, {0x103, "1000"},
    };
    for (const Case& c : cases) {
        _RULE rule = IpRule("", Address("10.0.0.1"), 0, c.searchType);
        wcscpy(WideName(rule), L"Target");
        EXPECT_EQ(Picked(rule, visitors), c.picked) << "searchType " << c.searchType;
    }
}

// ---- Reads stay inside the visitor's fields ---------------------------------

// Two pages, the second one inaccessible; the visitor entry sits so that its
// ip field ends exactly at the boundary. Its nick fills the whole field and
// its ip all 16 bytes, neither terminated, so any read past either field
// faults. The ip text is digits to its last byte, so that even the address
// conversion reads all of it: octal 1, the address 0.0.0.1. The entry's
// state and colours lie in the guarded page.
constexpr char GUARDED_IP[] = "0000000000000001";
static_assert(sizeof GUARDED_IP == USER_IP_BYTES + 1);

struct GuardedVisitor {
    GuardedVisitor() {
        if (!page.ok()) return;
        entry = reinterpret_cast<_ROOM_USER*>(page.end() - offsetof(_ROOM_USER, state));
        for (wchar_t& unit : entry->nick) unit = L'n';
        std::memcpy(entry->ip, GUARDED_IP, USER_IP_BYTES);
    }
    GuardedPage page;
    _ROOM_USER* entry = nullptr;
};

TEST_F(Matching, ReadsStopAtTheEndOfTheVisitorsNickAndIp) {
    GuardedVisitor guarded;
    ASSERT_NE(guarded.entry, nullptr);

    // Rules that read each field to its last unit and do not pick: a picked
    // visitor would be written into the guarded page.
    _RULE longName = MakeRule(L"", SEARCH_NAME);
    for (char16_t& unit : longName.name) unit = L'n';
    const std::wstring shorterName(63, L'n');
    const _RULE shortName = MakeRule(shorterName.c_str(), SEARCH_NAME);
    const _RULE nearPrefix = IpRule("0000000000000002", 0, 0);
    const _RULE range = IpRule("", 2, 3);  // both convert the whole text
    const _RULE exact = IpRule("", 5, 0);
    _RULE either = IpRule("0000000000000000", 5, 0, SEARCH_NAME_OR_IP);
    for (char16_t& unit : either.name) unit = L'n';
    _RULE allBits = IpRule("0000000000000002", 2, 3, -1);
    wcscpy(WideName(allBits), shorterName.c_str());
    LoadWithRules({longName, shortName, nearPrefix, range, exact, either, allBits});

    _ROOM room{};
    room.hwndUserList = sink;
    room.users = guarded.entry;
    room.userCount = 1;
    EXPECT_EQ(Send(EVENT_ALL_USERS, &room), 0u);
    EXPECT_EQ(Send(EVENT_ONE_USER, &room, 0), 0u);
    room.userCount = 0;
    EXPECT_EQ(Send(EVENT_NEW_USER, &room), 0u);
    EXPECT_TRUE(TakeRedraws(sink).empty());

    // The same record, readable again, is picked by the whole 16-byte text,
    // and by the address it converts to.
    guarded.page.SetGuard(false);
    LoadWithRules({nearPrefix, range, IpRule(GUARDED_IP, 0, 0)});
    EXPECT_EQ(Send(EVENT_NEW_USER, &room), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{0, 0}}));
    EXPECT_EQ(guarded.entry->state, 768u);

    LoadWithRules({nearPrefix, range, IpRule("", 1, 0)});
    guarded.entry->state = 0;
    EXPECT_EQ(Send(EVENT_NEW_USER, &room), 0u);
    EXPECT_EQ(TakeRedraws(sink), (Redraws{{0, 0}}));
    EXPECT_EQ(guarded.entry->state, 768u);
}

}  // namespace
