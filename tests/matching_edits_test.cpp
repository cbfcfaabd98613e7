// Matching after the rule list changed: every edit made in the editor, and a
// new rule file at the next load, must be seen by the very next event, with
// matching having run before the edit (so whatever it keeps about the list
// was made for the old one).
#include "tests/support/torvo_test.h"

#include "resource_ids.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Editor choice-list positions.
constexpr int SEARCH_ITEM_NAME = 0;
constexpr int SEARCH_ITEM_IP = 1;

_RULE NameRule(const wchar_t* name, COLORREF nickColor) {
    return MakeRule(name, SEARCH_NAME, STATUS_IGNORE, nickColor, 0x00010101);
}

_RULE PrefixRule(const char* ipText, COLORREF nickColor) {
    _RULE rule = MakeRule(L"", SEARCH_IP, STATUS_IGNORE, nickColor, 0x00020202);
    std::strncpy(rule.ipText, ipText, sizeof rule.ipText - 1);
    const char* star = std::strchr(ipText, '*');
    std::memcpy(rule.ipPrefix, ipText, star ? star - ipText : 0);
    return rule;
}

class MatchingAfterEdits : public ::testing::Test {
protected:
    void SetUp() override {
        sink = CreateMessageSink();
        ASSERT_NE(sink, nullptr);
    }
    void TearDown() override {
        if (dialog && IsWindow(dialog)) Command(IDCANCEL);
        UnloadModule(module);
        DestroyWindow(sink);
    }

    void Load(const std::vector<_RULE>& rules) {
        WriteRuleFile(rules);
        module = LoadModule();
        ASSERT_NE(module.setUserState, nullptr);
    }

    void OpenEditorOn(const std::vector<_RULE>& rules) {
        Load(rules);
        PrepareHostClasses();
        dialog = OpenEditor(module, folder.path() + "\\absent.ini");
        ASSERT_NE(dialog, nullptr);
    }

    HWND Control(int id) { return GetDlgItem(dialog, id); }
    void Command(int id) { PressEditorControl(dialog, id); }
    // What a mouse click on a row sends.
    void Click(int row) { ClickRuleRow(dialog, row); }
    void FillFields(const wchar_t* name, const char* ip, int searchItem) {
        SetWindowTextW(Control(IDC_NAME), name);
        SetWindowTextA(Control(IDC_IP), ip);
        SendMessageA(Control(IDC_SEARCH), CB_SETCURSEL, searchItem, 0);
        PumpMessages();
    }
    void Change(int row, const wchar_t* name, const char* ip, int searchItem) {
        ChangeRuleInEditor(dialog, row, name, ip, searchItem);
    }

    // Event 16 over a fresh room of `nicks` (addresses from `ips`): one
    // character per visitor, '0' when untouched, else the number of redraws.
    std::string Picked(const std::vector<const wchar_t*>& nicks,
                       const std::vector<const char*>& ips) {
        std::vector<_ROOM_USER> visitors;
        for (size_t i = 0; i < nicks.size(); ++i) visitors.push_back(MakeVisitor(nicks[i], ips[i]));
        StandInRoom room;
        FillRoom(room, visitors, nullptr, sink);
        TakeRedraws(sink);
        EXPECT_EQ(module.setUserState(EVENT_ALL_USERS, &room.room, 0), 0u);
        std::string rows(visitors.size(), '0');
        for (const auto& redraw : TakeRedraws(sink)) {
            if (redraw.first < rows.size()) rows[redraw.first] += 1;
        }
        return rows;
    }

    // Event 8192 for one visitor: the nickname colour of the first picking
    // rule, or the host's colour when none picks.
    COLORREF FirstPickColour(const wchar_t* nick, const char* ip) {
        StandInRoom room;
        FillRoom(room, {MakeVisitor(nick, ip)}, nullptr, sink);
        EXPECT_EQ(module.setUserState(EVENT_ONE_USER, &room.room, 0), 0u);
        TakeRedraws(sink);
        return room.users[0].nickColor;
    }

    ScratchFolder folder;
    LoadedModule module;
    HWND dialog = nullptr;
    HWND sink = nullptr;
};

const std::vector<const wchar_t*> NICKS = {L"alice", L"bob", L"carol"};
const std::vector<const char*> IPS = {"10.0.0.1", "10.0.0.2", "192.168.1.3"};
constexpr COLORREF HOST_COLOUR = 0x00ABCDEF;  // MakeVisitor's

TEST_F(MatchingAfterEdits, AddedRulesPickAtTheNextEvent) {
    OpenEditorOn({NameRule(L"alice", 0x11)});
    EXPECT_EQ(Picked(NICKS, IPS), "100");

    Click(-1);
    FillFields(L"bob", "", SEARCH_ITEM_NAME);
    Command(IDC_ADD);
    EXPECT_EQ(Picked(NICKS, IPS), "110");

    FillFields(L"", "192.168.*", SEARCH_ITEM_IP);
    Command(IDC_ADD);
    EXPECT_EQ(Picked(NICKS, IPS), "111");
}

TEST_F(MatchingAfterEdits, DeletedRulesNoLongerPick) {
    OpenEditorOn({NameRule(L"alice", 0x11), NameRule(L"bob", 0x22), PrefixRule("10.*", 0x33)});
    EXPECT_EQ(Picked(NICKS, IPS), "220");

    Click(2);
    Command(IDC_DELETE);
    EXPECT_EQ(Picked(NICKS, IPS), "110");

    Click(0);
    Command(IDC_DELETE);
    EXPECT_EQ(Picked(NICKS, IPS), "010");
    EXPECT_EQ(FirstPickColour(L"bob", ""), 0x22u);

    Click(0);
    Command(IDC_DELETE);
    EXPECT_EQ(Picked(NICKS, IPS), "000");
}

// Reordering keeps the same rules in the same block: only their order tells
// which one decides under events 64 and 8192, and which colour is last under 16.
TEST_F(MatchingAfterEdits, MovedRulesDecideInTheirNewOrder) {
    OpenEditorOn({NameRule(L"bob", 0x22), PrefixRule("10.0.*", 0x33), NameRule(L"carol", 0x44)});
    EXPECT_EQ(FirstPickColour(L"bob", "10.0.0.2"), 0x22u);

    Click(0);
    Command(IDC_DOWN);
    EXPECT_EQ(FirstPickColour(L"bob", "10.0.0.2"), 0x33u);

    Click(1);
    Command(IDC_UP);
    EXPECT_EQ(FirstPickColour(L"bob", "10.0.0.2"), 0x22u);

    Click(1);
    Command(IDC_DOWN);  // prefix rule last
    EXPECT_EQ(FirstPickColour(L"bob", "10.0.0.2"), 0x22u);
    EXPECT_EQ(FirstPickColour(L"carol", "10.0.0.3"), 0x44u);
    Click(2);
    Command(IDC_UP);
    Click(1);
    Command(IDC_UP);  // prefix rule first
    EXPECT_EQ(FirstPickColour(L"carol", "10.0.0.3"), 0x33u);
}

// Change rewrites a rule where it stands: same block, same count.
TEST_F(MatchingAfterEdits, ChangedRulesPickByTheirNewFields) {
    OpenEditorOn({NameRule(L"alice", 0x11), PrefixRule("10.*", 0x33)});
    EXPECT_EQ(Picked(NICKS, IPS), "210");

    Change(0, L"carol", "", SEARCH_ITEM_NAME);
    EXPECT_EQ(Picked(NICKS, IPS), "111");

    Change(1, L"", "10.0.0.2", SEARCH_ITEM_IP);  // prefix becomes an exact address
    EXPECT_EQ(Picked(NICKS, IPS), "011");

    Change(1, L"", "10.0.0.1-10.0.0.9", SEARCH_ITEM_IP);  // and then a range
    EXPECT_EQ(Picked(NICKS, IPS), "111");
    EXPECT_EQ(FirstPickColour(L"dave", "10.0.0.9"), 0x33u);  // the colour the rule kept
    EXPECT_EQ(FirstPickColour(L"dave", "10.0.0.10"), HOST_COLOUR);
}

TEST_F(MatchingAfterEdits, ANewRuleFileIsSeenAfterTheNextLoad) {
    Load({NameRule(L"alice", 0x11)});
    EXPECT_EQ(Picked(NICKS, IPS), "100");
    UnloadModule(module);

    Load({NameRule(L"carol", 0x44), PrefixRule("10.0.0.2*", 0x22)});
    EXPECT_EQ(Picked(NICKS, IPS), "011");
}

// Many rules, so that matching has more than a handful to choose from; each
// edit must still be seen at once.
TEST_F(MatchingAfterEdits, EditsAmongManyRules) {
    std::vector<_RULE> rules;
    for (int k = 0; k < 3000; ++k) {
        const std::wstring name = L"someone" + std::to_wstring(k);
        rules.push_back(NameRule(name.c_str(), 0x100 + k));
    }
    rules.push_back(NameRule(L"bob", 0x22));
    OpenEditorOn(rules);
    EXPECT_EQ(Picked(NICKS, IPS), "010");

    Change(3000, L"alice", "", SEARCH_ITEM_NAME);
    EXPECT_EQ(Picked(NICKS, IPS), "100");

    Click(3000);
    for (int k = 0; k < 5; ++k) Command(IDC_UP);
    Change(0, L"alice", "", SEARCH_ITEM_NAME);  // an earlier rule for alice, keeping its colour
    EXPECT_EQ(Picked(NICKS, IPS), "200");
    EXPECT_EQ(FirstPickColour(L"alice", ""), 0x100u);

    Click(0);
    Command(IDC_DELETE);
    EXPECT_EQ(FirstPickColour(L"alice", ""), 0x22u);
}

}  // namespace
