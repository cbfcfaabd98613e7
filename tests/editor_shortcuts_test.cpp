// What an operator reaches for first: finding a rule by typing, the keys and
// the menu of the rule list, rules copied and pasted as text, list files
// dropped on the editor, and undo. Driven through the loaded module's real
// dialog and checked by the rows, the fields, the notice and the saved file.
#include "tests/support/editor_fixture.h"

#include "rules/ip_pattern.h"
#include "rules/rule_memo.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// Rule i is "user<i>" at 10.<i/256>.<i%256>.1, but for three named ones.
std::vector<_RULE> ManyRules(int count) {
    std::vector<_RULE> rules;
    for (int i = 0; i < count; ++i) {
        char ip[32];
        std::snprintf(ip, sizeof ip, "10.%d.%d.1", i / 256 % 256, i % 256);
        rules.push_back(Rule((L"user" + std::to_wstring(i)).c_str(), ip, SEARCH_NAME_OR_IP));
    }
    wcscpy(WideName(rules[3]), L"admiral");
    wcscpy(WideName(rules[7000]), L"\u0412\u0430\u0441\u044f");
    wcscpy(WideName(rules[15000]), L"Admin");
    return rules;
}

TEST_F(EditorCommands, TypedTextSelectsAndLoadsTheNextMatchingRule) {
    const std::vector<_RULE> rules = ManyRules(20000);
    Open(rules);
    const struct {
        int from;            // the row clicked first (ends any typed text)
        const wchar_t* typed;
        int f3;              // F3 presses after typing
        int found;
    } cases[] = {
        {0, L"ADM", 0, 3},                          // any case, after the selected row
        {0, L"adm", 1, 15000},                      // F3: the next match
        {0, L"adm", 2, 3},                          // ... wrapping round
        {16000, L"\u0432\u0430\u0441", 0, 7000},    // Cyrillic, from the end round to the start
        {0, L"user1", 0, 1},                        // a growing text stays on its match
        {0, L"10.7.4", 0, 7 * 256 + 4},             // the IP text
        {5, L"zzz", 0, 5},                          // no match: the selection stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " typing " << Utf8(c.typed));
        Click(c.from);
        Type(c.typed);
        for (int i = 0; i < c.f3; ++i) Key(VK_F3);
        ASSERT_EQ(SelectedRow(), c.found);
        EXPECT_EQ(Name(), WideName(rules[c.found]));  // loaded as a click loads it
        EXPECT_EQ(Ip(), rules[c.found].ipText);
        EXPECT_EQ(Enabled(IDC_UP), c.found > 0);
    }
}

TEST_F(EditorCommands, KeysActAsTheirButtonsOnlyWhereTheButtonWould) {
    const struct {
        int row;
        WPARAM key;
        bool control;
        std::vector<std::wstring> after;
        int selected;
    } cases[] = {
        {1, VK_DELETE, false, {L"a", L"c"}, 1},
        {-1, VK_DELETE, false, {L"a", L"b", L"c"}, -1},
        {1, VK_UP, true, {L"b", L"a", L"c"}, 0},
        {0, VK_UP, true, {L"a", L"b", L"c"}, 0},
        {1, VK_DOWN, true, {L"a", L"c", L"b"}, 2},
        {2, VK_DOWN, true, {L"a", L"b", L"c"}, 2},
        {1, VK_DELETE, true, {L"a", L"b", L"c"}, 1},  // Ctrl+Del is no command
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " key " << c.key);
        Open({Rule(L"a"), Rule(L"b"), Rule(L"c")});
        Click(c.row);
        Key(c.key, c.control);
        EXPECT_EQ(SelectedRow(), c.selected);
        EXPECT_EQ(Names(CloseAndReadFile()), c.after);
        UnloadModule(module);
    }
}

// The menu is modal: a thread timer fires inside its loop, reads which
// items are enabled and closes it.
struct MenuLook {
    bool seen = false;
    std::vector<int> enabled;
};
MenuLook g_menuLook;
constexpr int kMenuCommands[] = {IDC_DELETE, IDC_UP, IDC_DOWN, IDM_COPY, IDM_PASTE, IDM_UNDO,
                                 IDM_EXPIRES_WEEK};

BOOL CALLBACK FindMenuWindow(HWND window, LPARAM found) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32768") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void CALLBACK LookAtMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND window = nullptr;
    EnumWindows(FindMenuWindow, reinterpret_cast<LPARAM>(&window));
    if (!window) return;
    KillTimer(nullptr, timer);
    const auto menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
    g_menuLook.seen = true;
    for (int command : kMenuCommands) {
        if (!(GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED)) {
            g_menuLook.enabled.push_back(command);
        }
    }
    EndMenu();
}

TEST_F(EditorCommands, MenuOffersTheCommandsThatCanAct) {
    _RULE foreign = Rule(L"c");
    foreign.reserved[5] = 1;
    Open({Rule(L"a"), Rule(L"b"), foreign});
    const struct {
        const char* what;
        int click;          // -2: no click
        WPARAM firstKey;    // 0: none
        const wchar_t* clipboard;  // null: emptied
        WPARAM menuKey;     // 0: a right click on the list, as it reports one
        bool shift;
        std::vector<int> enabled;
    } cases[] = {
        {"first row, nothing to paste or undo", 0, 0, nullptr, VK_APPS, false,
         {IDC_DELETE, IDC_DOWN, IDM_COPY, IDM_EXPIRES_WEEK}},
        {"after a Delete, with text to paste", -2, VK_DELETE, L"x", VK_F10, true,
         {IDC_DELETE, IDC_DOWN, IDM_COPY, IDM_PASTE, IDM_UNDO, IDM_EXPIRES_WEEK}},
        {"no row selected", -1, 0, L"x", VK_APPS, false, {IDM_PASTE, IDM_UNDO}},
        {"a right click on the last row", 1, 0, L"x", 0, false,
         {IDC_DELETE, IDC_UP, IDM_COPY, IDM_PASTE, IDM_UNDO}},  // its reserved bytes are another program's
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.click != -2) Click(c.click);
        if (c.firstKey) Key(c.firstKey);
        if (c.clipboard) {
            SetClipboardText(c.clipboard);
        } else if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
        g_menuLook = {};
        SetTimer(nullptr, 0, 50, LookAtMenu);
        if (c.menuKey) {
            Key(c.menuKey, false, c.shift);
        } else {
            SendMessageW(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Control(IDC_RULES)),
                         MAKELPARAM(100, 100));
        }
        ASSERT_TRUE(g_menuLook.seen);
        EXPECT_EQ(g_menuLook.enabled, c.enabled);
    }
}

TEST_F(EditorCommands, CopiedRulePastesBackByteForByte) {
    _RULE odd = Rule(L"\u0412\u0430\u0441\u044f\tx", "10.0.*", SEARCH_NAME_AND_IP, 512);
    odd.nickColor = 0x00123456;
    odd.reserved[7] = 0x5A;  // bytes other programs keep there travel too
    Open({odd, Rule(L"b")});
    Click(0);
    Key('C', true);
    const std::wstring copied = ClipboardText();
    EXPECT_EQ(copied.find(L"\r\n"), copied.size() - 2) << "one line";

    Key('V', true);
    EXPECT_EQ(TakeNotice(), L"Добавлено правил: 1.");
    EXPECT_EQ(SelectedRow(), 1);
    EXPECT_EQ(RuleBytes(CloseAndReadFile()), RuleBytes({odd, odd, Rule(L"b")}));
}

TEST_F(EditorCommands, PastedListsAreAddedWholeOrNotAtAll) {
    const struct {
        const wchar_t* text;
        const wchar_t* told;  // the notice's start
        std::vector<_RULE> added;
    } cases[] = {
        {L"1.2.3.4\r\n10.0.0.256\r\nBob\r\n",
         L"Правила не добавлены: в тексте есть ошибки (строк с ошибками: 1).\r\n\r\n"
         L"строка 2: не адрес: нужны четыре десятичные части от 0 до 255 без ведущих нулей\r\n",
         {}},
        {L"# addresses from a report\n192.0.2.7\nname:Mallory\n", L"Добавлено правил: 2.",
         {Rule(L"", "192.0.2.7", SEARCH_IP, STATUS_NO_PRIVATE), Rule(L"Mallory", "", SEARCH_NAME, STATUS_NO_PRIVATE)}},
        {L"Carol\tallow-all\t#00FF00\n", L"Добавлено правил: 1.",
         {Rule(L"Carol", "", SEARCH_NAME, STATUS_ALLOW_ALL)}},
        {L"\n# nothing but comments\n", L"В тексте нет правил", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.text));
        Open({Rule(L"a"), Rule(L"b")});
        // What a line without its own columns takes: the fields' status and colours.
        Click(0);
        Choose(IDC_STATUS, 2);
        SetSampleColourTo(IDC_NICK_SAMPLE, 0x00010203);
        SetSampleColourTo(IDC_TEXT_SAMPLE, 0x00040506);
        ASSERT_TRUE(SetClipboardText(c.text));
        Key('V', true);
        EXPECT_EQ(TakeNotice().rfind(c.told, 0), 0u);

        std::vector<_RULE> expected = {Rule(L"a")};
        for (_RULE rule : c.added) {
            ParseRuleIp(rule);
            const bool ownColours = rule.status == STATUS_ALLOW_ALL;
            rule.nickColor = ownColours ? 0x0000FF00 : 0x00010203;
            rule.textColor = 0x00040506;
            expected.push_back(rule);
        }
        expected.push_back(Rule(L"b"));
        EXPECT_EQ(RuleBytes(CloseAndReadFile()), RuleBytes(expected));
        UnloadModule(module);
    }
}

TEST_F(EditorCommands, DroppedListFileIsReadAsAPaste) {
    Open({Rule(L"a")});
    Click(-1);
    // A name outside most code pages: the drop's names are wide.
    const std::wstring path = Wide(folder.path()) + L"\\\u0441\u043f\u0438\u0441\u043e\u043a.txt";
    const std::string list = "\xEF\xBB\xBF" "198.51.100.0/24\r\nTrudy\r\n";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, list.data(), static_cast<DWORD>(list.size()), &written, nullptr);
    CloseHandle(file);
    DropFilesOn(dialog, {path});
    EXPECT_EQ(TakeNotice(), L"Добавлено правил: 2.");
    const std::vector<_RULE> saved = CloseAndReadFile();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_STREQ(saved[1].ipText, "198.51.100.0-198.51.100.255");
    EXPECT_EQ(std::wstring(WideName(saved[2])), L"Trudy");
}

struct TipSearch {
    HWND dialog, list, tips;
};

BOOL CALLBACK FindRuleTips(HWND window, LPARAM found) {
    auto& search = *reinterpret_cast<TipSearch*>(found);
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = search.dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(search.list);
    if (!SendMessageW(window, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool))) return TRUE;
    search.tips = window;
    return FALSE;
}

// The tooltip the editor shows over a row, as the mouse moving there makes it.
std::wstring TipOverRow(HWND dialog, int row) {
    const HWND list = GetDlgItem(dialog, IDC_RULES);
    RECT bounds{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(bounds.left + 30, (bounds.top + bounds.bottom) / 2));
    TipSearch search{dialog, list, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindRuleTips, reinterpret_cast<LPARAM>(&search));
    if (!search.tips) return L"<no tooltip>";
    wchar_t text[512] = {};
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = text;
    SendMessageW(search.tips, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
    return text;
}

TEST_F(EditorCommands, ExpiryFromTheMenuShowsOverTheRowIsSavedAndUndone) {
    _RULE noted = Rule(L"noted");
    RuleMemo memo{};
    memo.added = 1796000000;
    const std::u16string note = u"\u0441\u043f\u0430\u043c";
    memo.noteLength = static_cast<uint16_t>(note.size());
    note.copy(memo.note, note.size());
    WriteRuleMemo(noted, memo);
    _RULE foreign = Rule(L"foreign");
    foreign.reserved[5] = 1;
    Open({noted, foreign, Rule(L"plain")});
    EXPECT_EQ(TipOverRow(dialog, 2), L"");  // nothing remembered, nothing shown
    EXPECT_NE(TipOverRow(dialog, 0).find(L"\r\nБессрочно\r\nЗаметка: \u0441\u043f\u0430\u043c"),
              std::wstring::npos);

    Click(0);
    const auto now = static_cast<int64_t>(std::time(nullptr));
    Command(IDM_EXPIRES_WEEK);
    EXPECT_NE(TipOverRow(dialog, 1), L"<no tooltip>");  // the mouse moves off the row and back
    const std::wstring tip = TipOverRow(dialog, 0);
    EXPECT_NE(tip.find(L"Истекает: "), std::wstring::npos) << Utf8(tip);
    EXPECT_NE(tip.find(L"(осталось 7 д 0 ч)"), std::wstring::npos) << Utf8(tip);
    Command(IDM_EXPIRES_HOUR);
    Key('Z', true);  // back to the week
    Click(1);
    Command(IDM_EXPIRES_WEEK);  // another program's reserved bytes: left alone

    const std::vector<_RULE> saved = CloseAndReadFile();
    ASSERT_EQ(saved.size(), 3u);
    RuleMemo kept{};
    ASSERT_TRUE(ReadRuleMemo(saved[0], &kept));
    EXPECT_EQ(kept.added, memo.added);
    EXPECT_LE(std::llabs(kept.expires - (now + 7 * 86400)), 5);
    EXPECT_EQ(kept.noteLength, note.size());
    EXPECT_EQ(RuleBytes({saved[1], saved[2]}), RuleBytes({foreign, Rule(L"plain")}));
}

}  // namespace
