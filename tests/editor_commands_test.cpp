// The editor's commands, driven through the real dialog of the loaded module
// with the messages a user's clicks and keystrokes send, and checked by what
// the user sees and by what the rule file holds after closing.
#include "tests/support/editor_fixture.h"

#include "resource_ids.h"
#include "rules/ip_pattern.h"
#include "rules/rule_memo.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <richedit.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kMoveButtons[] = {IDC_UP, IDC_DOWN};

TEST_F(EditorCommands, ClicksSetTheButtonsForTheRowsPosition) {
    Open({Rule(L"a"), Rule(L"b"), Rule(L"c")});
    EXPECT_FALSE(Enabled(IDC_CHANGE));
    EXPECT_FALSE(Enabled(IDC_UP));

    Click(0);
    for (int id : {IDC_NICK_COLOR, IDC_TEXT_COLOR, IDC_CHANGE, IDC_DELETE, IDC_DOWN}) {
        EXPECT_TRUE(Enabled(id)) << id;
    }
    EXPECT_FALSE(Enabled(IDC_UP));

    Click(1);
    for (int id : kMoveButtons) EXPECT_TRUE(Enabled(id)) << id;

    Click(2);
    EXPECT_TRUE(Enabled(IDC_UP));
    EXPECT_FALSE(Enabled(IDC_DOWN));

    Click(-1);
    for (int id : {IDC_NICK_COLOR, IDC_TEXT_COLOR, IDC_CHANGE, IDC_DELETE, IDC_UP, IDC_DOWN}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    EXPECT_TRUE(Enabled(IDC_ADD));
}

TEST_F(EditorCommands, ClickOnTheOnlyRuleAllowsNoMove) {
    Open({Rule(L"solo")});
    Click(0);
    EXPECT_TRUE(Enabled(IDC_DELETE));
    for (int id : kMoveButtons) EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(EditorCommands, ClickLoadsTheRuleIntoTheFields) {
    _RULE first = Rule(L"\u0412\u0430\u0441\u044f", "10.0.*", SEARCH_NAME_AND_IP, STATUS_NO_PRIVATE);
    first.nickColor = 0x00112233;
    first.textColor = 0x00445566;
    Open({first, Rule(L"second", "192.168.0.1", SEARCH_NAME_OR_IP, STATUS_UNCHANGED)});

    Click(0);
    EXPECT_EQ(Name(), L"\u0412\u0430\u0441\u044f");
    EXPECT_EQ(Ip(), "10.0.*");
    EXPECT_EQ(ComboSelection(IDC_SEARCH), 2);
    EXPECT_EQ(ComboSelection(IDC_STATUS), 2);
    EXPECT_EQ(SampleColour(IDC_NICK_SAMPLE), 0x00112233u);
    EXPECT_EQ(SampleColour(IDC_TEXT_SAMPLE), 0x00445566u);

    Click(1);
    EXPECT_EQ(Name(), L"second");  // replaced, not appended
    EXPECT_EQ(Ip(), "192.168.0.1");
    EXPECT_EQ(ComboSelection(IDC_SEARCH), 3);
    EXPECT_EQ(ComboSelection(IDC_STATUS), 0);
}

TEST_F(EditorCommands, UnusualValuesLeaveOrShareAChoice) {
    // search type, status -> expected search item, status item (-1: unchanged from before)
    struct Case { int32_t search, status; int searchItem, statusItem; };
    const Case cases[] = {
        {SEARCH_NAME, STATUS_ALLOW_ALL, 0, 1},
        {0, 1, 0, 1},            // neither value selects anything: previous stays
        {SEARCH_IP, 512, 1, 3},  // 512 shows like "ignored"
        {0, STATUS_IGNORE, 1, 3},
        {5, STATUS_NO_PRIVATE, 3, 2},
    };
    std::vector<_RULE> rules;
    for (const Case& c : cases) rules.push_back(Rule(L"r", "", c.search, c.status));
    Open(rules);
    for (size_t i = 0; i < rules.size(); ++i) {
        SCOPED_TRACE(i);
        Click(static_cast<int>(i));
        EXPECT_EQ(ComboSelection(IDC_SEARCH), cases[i].searchItem);
        EXPECT_EQ(ComboSelection(IDC_STATUS), cases[i].statusItem);
    }
}

TEST_F(EditorCommands, AddWithEmptyFieldsAppendsAnEmptyRuleAndSelectsIt) {
    Open({});
    Command(IDC_ADD);
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(SelectedRow(), 0);

    const std::vector<_RULE> saved = CloseAndReadFile();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].name[0], 0);
    EXPECT_EQ(saved[0].ipText[0], 0);
    EXPECT_EQ(saved[0].ipLow, 0u);
    EXPECT_EQ(saved[0].status, STATUS_UNCHANGED);  // the status list's first choice
    EXPECT_EQ(saved[0].searchType, SEARCH_NAME);
    EXPECT_EQ(saved[0].nickColor, 0x00FF0000u);  // the samples' colours
    EXPECT_EQ(saved[0].textColor, 0x00000000u);
    // The reserved bytes hold the memo of when the rule was added, nothing else.
    RuleMemo memo{};
    ASSERT_TRUE(ReadRuleMemo(saved[0], &memo));
    EXPECT_LE(std::llabs(memo.added - static_cast<int64_t>(std::time(nullptr))), 60);
    EXPECT_EQ(memo.expires, MEMO_NEVER);
    EXPECT_EQ(memo.noteLength, 0u);
}

TEST_F(EditorCommands, AddTakesEveryFieldAndSelectsOnlyTheNewRow) {
    Open({Rule(L"a"), Rule(L"b")});
    Click(-1);
    SetName(L"spammer");
    SetIp("10.0.0.1-10.0.0.9");
    Choose(IDC_SEARCH, 2);
    Choose(IDC_STATUS, 3);
    Command(IDC_ADD);
    EXPECT_EQ(RowCount(), 3);
    EXPECT_EQ(SelectedRow(), 2);
    EXPECT_EQ(SelectedRowCount(), 1);

    const std::vector<_RULE> saved = CloseAndReadFile();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_STREQ(WideName(saved[2]), L"spammer");
    EXPECT_STREQ(saved[2].ipText, "10.0.0.1-10.0.0.9");
    EXPECT_EQ(saved[2].ipLow, Address("10.0.0.1"));
    EXPECT_EQ(saved[2].ipHigh, Address("10.0.0.9"));
    EXPECT_EQ(saved[2].searchType, SEARCH_NAME_AND_IP);
    EXPECT_EQ(saved[2].status, STATUS_IGNORE);
}

TEST_F(EditorCommands, ChangeRewritesTheSelectedRuleInPlace) {
    _RULE prefix = Rule(L"net", "10.0.0.*", SEARCH_IP);
    std::strcpy(prefix.ipPrefix, "10.0.0.");
    std::memset(prefix.reserved, 0x5A, sizeof prefix.reserved);
    Open({Rule(L"first"), prefix});
    Click(1);
    SetIp("10.0.0.5");
    Command(IDC_CHANGE);
    EXPECT_EQ(RowCount(), 2);

    const std::vector<_RULE> saved = CloseAndReadFile();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_STREQ(WideName(saved[0]), L"first");
    EXPECT_STREQ(WideName(saved[1]), L"net");
    EXPECT_STREQ(saved[1].ipText, "10.0.0.5");
    EXPECT_EQ(saved[1].ipPrefix[0], 0);
    EXPECT_EQ(saved[1].ipLow, Address("10.0.0.5"));
    EXPECT_EQ(saved[1].reserved[259], 0x5A);  // what Change does not own stays
}

TEST_F(EditorCommands, ChangeAndDeleteWithoutASelectedRowDoNothing) {
    Open({Rule(L"a"), Rule(L"b")});
    Click(-1);
    SetName(L"other");
    Command(IDC_CHANGE);
    Command(IDC_DELETE);
    Command(IDC_UP);
    Command(IDC_DOWN);
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(Names(CloseAndReadFile()), (std::vector<std::wstring>{L"a", L"b"}));
}

TEST_F(EditorCommands, DeleteSelectsTheRowThatTookItsPlace) {
    Open({Rule(L"a"), Rule(L"b"), Rule(L"c")});
    Click(1);
    Command(IDC_DELETE);
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(SelectedRow(), 1);

    Click(1);
    Command(IDC_DELETE);  // the last row: the new last row is selected
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(SelectedRow(), 0);

    Click(0);
    Command(IDC_DELETE);
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(SelectedRow(), -1);
    EXPECT_TRUE(CloseAndReadFile().empty());
    EXPECT_EQ(ReadFileBytes(RULE_FILE).size(), 0u);
}

TEST_F(EditorCommands, MovesStopAtTheEndsAndKeepTheRuleSelected) {
    Open({Rule(L"a"), Rule(L"b"), Rule(L"c")});
    Click(1);
    Command(IDC_UP);
    EXPECT_EQ(SelectedRow(), 0);
    EXPECT_EQ(SelectedRowCount(), 1);
    EXPECT_TRUE(Enabled(IDC_UP));  // refreshed only by clicks
    Command(IDC_UP);               // already first: nothing
    EXPECT_EQ(SelectedRow(), 0);

    Click(1);
    Command(IDC_DOWN);
    EXPECT_EQ(SelectedRow(), 2);
    Command(IDC_DOWN);  // already last: nothing
    EXPECT_EQ(SelectedRow(), 2);
    EXPECT_EQ(RowCount(), 3);
    EXPECT_EQ(Names(CloseAndReadFile()), (std::vector<std::wstring>{L"b", L"c", L"a"}));
}

TEST_F(EditorCommands, IpFieldKeepsOnlyAddressCharacters) {
    Open({});
    TypeIp("1 2.a3-4*");
    EXPECT_EQ(Ip(), "12.3-4*");

    SetIp("");
    SendMessageA(Control(IDC_IP), EM_REPLACESEL, TRUE,
                 reinterpret_cast<LPARAM>("10.0.0.1 - 10.0.0.9"));
    PumpMessages();
    EXPECT_EQ(Ip(), "10.0.0.1-10.0.0.9");

    SetIp("192.168.*");
    EXPECT_EQ(Ip(), "192.168.*");
    SetIp("\xC0\xE1\xE2 5");  // Cyrillic letters in the ANSI code page
    EXPECT_EQ(Ip(), "5");
}

// The colour dialog is modal: a thread timer fires inside its message loop,
// sets the colour fields and presses a button.
struct ColourDialogScript {
    bool accept = true;
    COLORREF colour = 0;
    bool pressed = false;
};
ColourDialogScript g_colourScript;

BOOL CALLBACK FindColourDialog(HWND window, LPARAM found) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    char caption[16] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") == 0 && std::strcmp(caption, "Torvo") != 0 &&
        IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK DriveColourDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND chooser = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindColourDialog, reinterpret_cast<LPARAM>(&chooser));
    if (!chooser) return;
    KillTimer(nullptr, timer);
    if (g_colourScript.accept) {
        constexpr int kRed = 706, kGreen = 707, kBlue = 708;  // the dialog's own edit fields
        SetDlgItemInt(chooser, kRed, GetRValue(g_colourScript.colour), FALSE);
        SetDlgItemInt(chooser, kGreen, GetGValue(g_colourScript.colour), FALSE);
        SetDlgItemInt(chooser, kBlue, GetBValue(g_colourScript.colour), FALSE);
    }
    g_colourScript.pressed = true;
    const int button = g_colourScript.accept ? IDOK : IDCANCEL;
    SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(chooser, button)));
}

TEST_F(EditorCommands, ColourDialogSetsTheSampleOrLeavesItOnCancel) {
    Open({Rule(L"a")});
    const COLORREF before = SampleColour(IDC_NICK_SAMPLE);

    g_colourScript = {false, 0, false};
    SetTimer(nullptr, 0, 100, DriveColourDialog);
    Command(IDC_NICK_COLOR);
    ASSERT_TRUE(g_colourScript.pressed);
    EXPECT_EQ(SampleColour(IDC_NICK_SAMPLE), before);

    g_colourScript = {true, RGB(0x12, 0x34, 0x56), false};
    SetTimer(nullptr, 0, 100, DriveColourDialog);
    Command(IDC_TEXT_COLOR);
    ASSERT_TRUE(g_colourScript.pressed);
    EXPECT_EQ(SampleColour(IDC_TEXT_SAMPLE), RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(SampleColour(IDC_NICK_SAMPLE), before);

    // Picking a colour changes no rule until Add or Change.
    const std::vector<_RULE> saved = CloseAndReadFile();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].textColor, Rule(L"a").textColor);
}

TEST_F(EditorCommands, NamesTravelWholeInBothDirections) {
    _RULE full = Rule(L"");
    for (size_t i = 0; i < RULE_NAME_UNITS; ++i) full.name[i] = L'\u0416';  // no terminator
    Open({Rule(L"\u0416\u0443\u043a \u0436\u0443\u043a"), full});
    Click(0);
    SetName(L"\u0416\u0443\u043a\u0438");
    Command(IDC_CHANGE);
    Click(1);  // a name filling its whole field is read no further
    Command(IDC_CHANGE);

    const std::vector<_RULE> saved = CloseAndReadFile();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_STREQ(WideName(saved[0]), L"\u0416\u0443\u043a\u0438");
    const std::wstring cut(WideName(saved[1]), wcsnlen(WideName(saved[1]), RULE_NAME_UNITS));
    EXPECT_LT(cut.size(), RULE_NAME_UNITS);  // terminated inside the field
    EXPECT_EQ(cut, std::wstring(cut.size(), L'\u0416'));
}

// Whether the system's ANSI code page holds every character of `name`.
bool CodePageHolds(const std::wstring& name) {
    BOOL usedDefault = FALSE;
    char bytes[256] = {};
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, bytes, sizeof bytes,
                        nullptr, &usedDefault);
    return !usedDefault;
}

// The host's character mode picks the call that carries the name: the wide
// call passes the UTF-16 name as it is, the ANSI call passes it converted
// to the system code page and back. Either way a name shows whole and a
// Change stores it unchanged; a name the code page cannot hold shows with
// stand-ins through the ANSI call, and Change keeps the rule's own name.
TEST_F(EditorCommands, EveryCharacterModeShowsNamesWholeAndStoresThemUnchanged) {
    const std::vector<_RULE> rules = {
        Rule(L"user00001"), Rule(L"\u0412\u0430\u0441\u044f \u041f\u0443\u043f\u043a\u0438\u043d"),
        Rule(L"\u540d\u5b57 \u03a9"),  // Chinese and Greek: in no single-byte code page
        Rule(L"typed over")};
    const std::wstring typed = L"\u0416\u0443\u043a-7";  // "Жук-7"
    for (uint32_t mode : {0u, 1u, 2u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(mode);
        const bool ansi = mode == 1;
        Open(rules, mode);
        for (int row = 0; row < 3; ++row) {
            SCOPED_TRACE(row);
            Click(row);
            const std::wstring name = WideName(rules[row]);
            if (!ansi || CodePageHolds(name)) {
                EXPECT_EQ(Name(), name);
            } else {
                EXPECT_NE(Name(), name);  // the stand-ins are what the host can show
                EXPECT_EQ(Name().size(), name.size());
            }
            Command(IDC_CHANGE);
        }
        Click(3);
        SetName(typed.c_str());
        Command(IDC_CHANGE);

        const std::vector<_RULE> saved = CloseAndReadFile();
        ASSERT_EQ(saved.size(), rules.size());
        EXPECT_EQ(RuleBytes({saved[0], saved[1], saved[2]}),
                  RuleBytes({rules[0], rules[1], rules[2]}));
        if (!ansi || CodePageHolds(typed)) {
            EXPECT_EQ(std::wstring(WideName(saved[3])), typed);
        }
        UnloadModule(module);
    }
}

// The longest IP texts show whole in the field, with the template's font and
// with a much wider one, and Change stores them back byte for byte; the field
// takes no more than a rule can hold.
TEST_F(EditorCommands, LongestIpTextsShowWholeAndComeBackWhole) {
    std::vector<_RULE> rules;
    const std::vector<std::string> texts = {"255.255.255.255-255.255.255.255", "255.255.255.*",
                                            "100.100.100.100-199.199.199.199"};
    for (const std::string& text : texts) {
        _RULE rule = Rule(L"net", text.c_str(), SEARCH_IP, STATUS_NO_PRIVATE);
        ParseRuleIp(rule);
        rules.push_back(rule);
    }
    Open(rules, 0, "Font.List=20,204,0,Arial\r\n");  // the largest list font
    const HFONT wide = CreateFontA(-24, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   FIXED_PITCH, "Courier New");
    ASSERT_NE(wide, nullptr);
    for (bool wideFont : {false, true}) {
        SCOPED_TRACE(wideFont);
        if (wideFont) SendMessageA(Control(IDC_IP), WM_SETFONT, reinterpret_cast<WPARAM>(wide), TRUE);
        for (size_t row = 0; row < texts.size(); ++row) {
            Click(static_cast<int>(row));
            EXPECT_EQ(Ip(), texts[row]);
            Command(IDC_CHANGE);
        }
    }
    SendMessageA(Control(IDC_IP), WM_SETFONT, 0, FALSE);
    DeleteObject(wide);

    SetIp("");
    TypeIp(std::string(40, '1').c_str());
    EXPECT_EQ(Ip(), std::string(RULE_IP_TEXT_BYTES - 1, '1'));
    EXPECT_EQ(RuleBytes(CloseAndReadFile()), RuleBytes(rules));
}

// A few hundred random commands, pastes and undos against a plain model of
// the list; each undo brings back the model as it was before the command.
TEST_F(EditorCommands, RandomCommandsKeepRowsAndRulesInStep) {
    std::vector<_RULE> model = {Rule(L"r0"), Rule(L"r1")};
    Open(model);
    // Hidden, the editor handles every command the same but paints nothing:
    // repainting after each of 300 commands would be most of this test's
    // time. What the rows show is checked by the painting tests.
    ShowWindow(dialog, SW_HIDE);
    std::mt19937 random(20261208);
    int clicked = SelectedRow();  // the model's idea of the selected row
    std::vector<std::vector<_RULE>> before;  // the model before each command that changed it
    for (int step = 0; step < 300; ++step) {
        SCOPED_TRACE(step);
        const int count = static_cast<int>(model.size());
        const std::vector<_RULE> previous = model;
        const unsigned command = random() % 8;
        switch (command) {
            case 0: {
                clicked = count ? static_cast<int>(random() % (count + 1)) - 1 : -1;
                Click(clicked);
                break;
            }
            case 1: {
                const std::wstring name = L"n" + std::to_wstring(step);
                SetName(name.c_str());
                Choose(IDC_STATUS, static_cast<int>(random() % 4));
                Command(IDC_ADD);
                _RULE added = Rule(name.c_str(), "", SEARCH_NAME, 0);
                const int32_t statuses[] = {STATUS_UNCHANGED, STATUS_ALLOW_ALL, STATUS_NO_PRIVATE,
                                            STATUS_IGNORE};
                added.status = statuses[ComboSelection(IDC_STATUS)];
                model.push_back(added);
                clicked = static_cast<int>(model.size()) - 1;
                break;
            }
            case 2: {
                Command(IDC_DELETE);
                if (clicked >= 0) {
                    model.erase(model.begin() + clicked);
                    if (clicked >= static_cast<int>(model.size())) clicked = static_cast<int>(model.size()) - 1;
                }
                break;
            }
            case 3: {
                Command(IDC_UP);
                if (clicked > 0) {
                    std::swap(model[clicked], model[clicked - 1]);
                    --clicked;
                }
                break;
            }
            case 4: {
                Command(IDC_DOWN);
                if (clicked >= 0 && clicked + 1 < count) {
                    std::swap(model[clicked], model[clicked + 1]);
                    ++clicked;
                }
                break;
            }
            case 5: {
                const std::wstring name = L"c" + std::to_wstring(step);
                SetName(name.c_str());
                Command(IDC_CHANGE);
                if (clicked >= 0) wcscpy(WideName(model[clicked]), name.c_str());
                break;
            }
            case 6: {
                const std::wstring name = L"p" + std::to_wstring(step);
                SetClipboardText(name + L"\r\nq" + std::to_wstring(step));
                Key('V', true);
                TakeNotice();
                const int at = clicked >= 0 ? clicked + 1 : count;
                model.insert(model.begin() + at, {Rule(name.c_str()), Rule((L"q" + std::to_wstring(step)).c_str())});
                clicked = at;
                break;
            }
            case 7: {
                Key('Z', true);
                if (!before.empty()) {
                    model = before.back();
                    before.pop_back();
                }
                clicked = SelectedRow();  // wherever undo left the selection
                break;
            }
        }
        if (Names(model) != Names(previous) && command != 7) before.push_back(previous);
        if (before.size() > 100) before.erase(before.begin());  // as deep as the editor's
        ASSERT_EQ(RowCount(), static_cast<int>(model.size()));
        ASSERT_EQ(SelectedRow(), clicked);
    }
    const std::vector<_RULE> saved = CloseAndReadFile();
    EXPECT_EQ(Names(saved), Names(model));
}

}  // namespace
