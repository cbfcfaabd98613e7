// The editor over a long rule list, through the built module and the real
// dialog: the rows it opens with, the selection, edits at the end and in
// the middle made with mouse clicks on the list, and the file it saves.
// Timings belong to the benchmark; this checks that the long list's paths
// give exactly what a short list gives.
#include "tests/support/torvo_test.h"

#include "resource_ids.h"
#include "rules/rule_memo.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kRules = 20000;

// Rule i as the file holds it: a numbered name, an IP text of one of three
// kinds with its derived fields, all four statuses and search types, and
// reserved bytes that only the file can carry.
_RULE FileRule(int i) {
    static const int32_t statuses[] = {STATUS_UNCHANGED, STATUS_ALLOW_ALL, STATUS_NO_PRIVATE,
                                       STATUS_IGNORE};
    static const int32_t searches[] = {SEARCH_NAME, SEARCH_IP, SEARCH_NAME_AND_IP,
                                       SEARCH_NAME_OR_IP};
    const std::wstring name = L"\u0440\u0443\u043b\u044c " + std::to_wstring(i);
    _RULE rule = MakeRule(name.c_str(), searches[i / 4 % 4], statuses[i % 4],
                          0x00010203u * (i % 50), 0x00FFFFFFu - i);
    const std::string ip = "10." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
    if (i % 2) {
        std::strcpy(rule.ipText, (ip + ".*").c_str());
        std::strcpy(rule.ipPrefix, (ip + ".").c_str());
    } else {
        std::strcpy(rule.ipText, (ip + ".7").c_str());
        rule.ipLow = Address(rule.ipText);
    }
    for (size_t b = 0; b < sizeof rule.reserved; ++b) {
        rule.reserved[b] = static_cast<uint8_t>(i * 31 + b);
    }
    return rule;
}

class LargeList : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < kRules; ++i) model.push_back(FileRule(i));
        WriteRuleFile(model);
        module = LoadModule();
        ASSERT_NE(module.handle, nullptr);
        PrepareHostClasses();
        dialog = OpenEditor(module, folder.path() + "\\absent.ini");
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        if (dialog && IsWindow(dialog)) Command(IDCANCEL);
        UnloadModule(module);
    }

    HWND List() const { return GetDlgItem(dialog, IDC_RULES); }
    LRESULT ToList(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(List(), message, wParam, lParam);
    }
    int RowCount() const { return static_cast<int>(ToList(LVM_GETITEMCOUNT)); }
    int SelectedRow() const { return static_cast<int>(ToList(LVM_GETNEXTITEM, -1, LVNI_SELECTED)); }
    int SelectedCount() const { return static_cast<int>(ToList(LVM_GETSELECTEDCOUNT)); }
    UINT RowState(int row) const { return static_cast<UINT>(ToList(LVM_GETITEMSTATE, row, ~0u)); }
    int TopRow() const { return static_cast<int>(ToList(LVM_GETTOPINDEX)); }
    bool RowInView(int row) const {
        const int top = TopRow();
        return row >= top && row < top + static_cast<int>(ToList(LVM_GETCOUNTPERPAGE));
    }
    int ColumnWidth(int column) const {
        return static_cast<int>(ToList(LVM_GETCOLUMNWIDTH, column));
    }
    std::wstring NameField() const {
        wchar_t text[128] = {};
        GetWindowTextW(GetDlgItem(dialog, IDC_NAME), text, 128);
        return text;
    }

    void Command(int id) { PressEditorControl(dialog, id); }
    // A mouse click on the row: scrolled into view first, as the user would.
    void ClickRow(int row) {
        ToList(LVM_ENSUREVISIBLE, row, FALSE);
        PumpMessages();
        RECT bounds{LVIR_BOUNDS, 0, 0, 0};
        ASSERT_TRUE(ToList(LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds)));
        const LPARAM point = MAKELPARAM(bounds.left + 30, (bounds.top + bounds.bottom) / 2);
        ToList(WM_LBUTTONDOWN, MK_LBUTTON, point);
        ToList(WM_LBUTTONUP, 0, point);
        PumpMessages();
        ASSERT_EQ(SelectedRow(), row);
    }

    std::vector<uint8_t> CloseAndReadFile() {
        Command(IDCANCEL);
        EXPECT_FALSE(IsWindow(dialog));
        dialog = nullptr;
        return ReadFileBytes(RULE_FILE);
    }

    ScratchFolder folder;
    LoadedModule module;
    HWND dialog = nullptr;
    std::vector<_RULE> model;  // what the file must hold after closing
};

// One opening for both: filling 20,000 rows is most of this program's time
// where the CPU is emulated. An unedited close leaves any list's file alone
// (the lifecycle tests); this one closes after the edits.
TEST_F(LargeList, OpensWithOneRowPerRuleThenEditsAtTheEndAndInTheMiddleReachTheFile) {
    EXPECT_EQ(RowCount(), kRules);
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_EQ(RowState(0), static_cast<UINT>(LVIS_SELECTED));  // no focus, nothing else
    for (int row : {1, kRules / 2, kRules - 1}) EXPECT_EQ(RowState(row), 0u) << row;
    EXPECT_EQ(TopRow(), 0);

    // The columns fill the list beside its scroll bar, as with a short list.
    RECT client;
    GetClientRect(List(), &client);
    EXPECT_TRUE(GetWindowLongA(List(), GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(ColumnWidth(1), 200);
    EXPECT_EQ(ColumnWidth(0) + ColumnWidth(1), client.right);

    // The scroll bar spans every row.
    SCROLLINFO scroll{};
    scroll.cbSize = sizeof scroll;
    scroll.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    ASSERT_TRUE(GetScrollInfo(List(), SB_VERT, &scroll));
    EXPECT_EQ(scroll.nPos, 0);
    EXPECT_EQ(scroll.nMax - scroll.nMin + 1, kRules);

    const int last = kRules - 1;
    ClickRow(last);
    EXPECT_EQ(NameField(), std::wstring(WideName(model[last])));
    SetWindowTextW(GetDlgItem(dialog, IDC_NAME), L"changed at the end");
    Command(IDC_CHANGE);
    wcscpy(WideName(model[last]), L"changed at the end");
    Command(IDC_DOWN);  // already last: nothing moves
    EXPECT_EQ(SelectedRow(), last);
    Command(IDC_UP);
    std::swap(model[last], model[last - 1]);
    EXPECT_EQ(SelectedRow(), last - 1);
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_TRUE(RowInView(last - 1));

    const int middle = kRules / 2;
    ClickRow(middle);
    EXPECT_EQ(NameField(), std::wstring(WideName(model[middle])));
    Command(IDC_DOWN);
    std::swap(model[middle], model[middle + 1]);
    EXPECT_EQ(SelectedRow(), middle + 1);
    Command(IDC_DELETE);  // the moved rule, selected without a click
    model.erase(model.begin() + middle + 1);
    EXPECT_EQ(RowCount(), kRules - 1);
    EXPECT_EQ(SelectedRow(), middle + 1);  // the row that took its place
    EXPECT_EQ(SelectedCount(), 1);

    // Two additions in a row: each selects only the new last row and shows it.
    ClickRow(middle);
    SetWindowTextW(GetDlgItem(dialog, IDC_NAME), L"added");
    for (int i = 0; i < 2; ++i) {
        Command(IDC_ADD);
        _RULE added = MakeRule(L"added", SEARCH_NAME_AND_IP, model[middle].status,
                               model[middle].nickColor, model[middle].textColor);
        std::strcpy(added.ipText, model[middle].ipText);
        std::strcpy(added.ipPrefix, model[middle].ipPrefix);
        added.ipLow = model[middle].ipLow;
        added.searchType = model[middle].searchType;
        model.push_back(added);
        EXPECT_EQ(RowCount(), static_cast<int>(model.size()));
        EXPECT_EQ(SelectedRow(), RowCount() - 1);
        EXPECT_EQ(SelectedCount(), 1);
        EXPECT_TRUE(RowInView(RowCount() - 1));
    }
    EXPECT_EQ(RowState(middle), 0u);

    // Deleting the last row selects the new last one; deleting with nothing
    // selected does nothing.
    Command(IDC_DELETE);
    model.pop_back();
    EXPECT_EQ(SelectedRow(), RowCount() - 1);
    LVITEMA none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ToList(LVM_SETITEMSTATE, RowCount() - 1, reinterpret_cast<LPARAM>(&none));
    Command(IDC_DELETE);
    EXPECT_EQ(RowCount(), static_cast<int>(model.size()));

    // Add with a focused row but none selected: every row loses its state,
    // the focus included, and only the new row is selected.
    LVITEMA focus{};
    focus.stateMask = LVIS_FOCUSED;
    focus.state = LVIS_FOCUSED;
    ToList(LVM_SETITEMSTATE, middle - 3, reinterpret_cast<LPARAM>(&focus));
    ASSERT_EQ(RowState(middle - 3), static_cast<UINT>(LVIS_FOCUSED));
    Command(IDC_ADD);
    model.push_back(model.back());
    EXPECT_EQ(RowState(middle - 3), 0u);
    EXPECT_EQ(RowState(RowCount() - 1), static_cast<UINT>(LVIS_SELECTED));
    EXPECT_EQ(SelectedCount(), 1);

    const std::vector<uint8_t> saved = CloseAndReadFile();
    ASSERT_EQ(saved.size(), model.size() * RULE_SIZE);
    // Add stamps each rule it adds with the time: those memos, and only
    // they, are not the model's.
    for (size_t i = 0; i < model.size(); ++i) {
        _RULE kept;
        std::memcpy(&kept, &saved[i * RULE_SIZE], RULE_SIZE);
        RuleMemo memo{};
        if (!ReadRuleMemo(kept, &memo) || ReadRuleMemo(model[i], &memo)) continue;
        EXPECT_LE(std::llabs(memo.added - static_cast<int64_t>(std::time(nullptr))), 60) << i;
        std::memcpy(model[i].reserved, kept.reserved, RULE_RESERVED_BYTES);
    }
    const std::vector<uint8_t> expected = RuleBytes(model);
    for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(std::memcmp(&saved[i * RULE_SIZE], &expected[i * RULE_SIZE], RULE_SIZE), 0)
            << "rule " << i;
    }
}

}  // namespace
