// The rule list's rows: which one is selected, and row states set without
// visits to every row of a long list.
#include "editor/rule_rows.h"

#include "resources/resource_ids.h"
#include "rules/rule_array.h"

#include <commctrl.h>

#include <cstring>

namespace {

constexpr LPARAM ALL_STATE_BITS = static_cast<LPARAM>(0xFFFFFFFF);

bool IsSelected(HWND dialog, int row) {
    return row >= 0 &&
           (SendToControl(dialog, IDC_RULES, LVM_GETITEMSTATE, static_cast<WPARAM>(row),
                          LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

int FocusedRow(HWND dialog) {
    return static_cast<int>(SendToControl(dialog, IDC_RULES, LVM_GETNEXTITEM,
                                          static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

}  // namespace

LRESULT SendToControl(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

void EnableControl(HWND dialog, int id, bool enabled) {
    EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

// The list's own search for the selected row walks every row before it, so
// with one row selected (the list allows no more) the rows where a
// selection is found are asked first: the selection mark, which clicks,
// keys and the commands' own selections set, and the focused row.
int SelectedRow(HWND dialog) {
    const LRESULT selectedCount = SendToControl(dialog, IDC_RULES, LVM_GETSELECTEDCOUNT);
    if (selectedCount == 0) return -1;
    if (selectedCount == 1) {
        const int mark = static_cast<int>(SendToControl(dialog, IDC_RULES, LVM_GETSELECTIONMARK));
        if (IsSelected(dialog, mark)) return mark;
        const int focused = FocusedRow(dialog);
        if (IsSelected(dialog, focused)) return focused;
    }
    return static_cast<int>(SendToControl(dialog, IDC_RULES, LVM_GETNEXTITEM,
                                          static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool IsRuleIndex(int row) { return row >= 0 && static_cast<uint32_t>(row) < g_ruleCount; }

void SetRowState(HWND dialog, int row, UINT state, UINT mask) {
    LVITEMA item{};
    item.mask = mask;
    item.state = state;
    item.stateMask = static_cast<UINT>(ALL_STATE_BITS);
    SendToControl(dialog, IDC_RULES, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                  reinterpret_cast<LPARAM>(&item));
    if (row >= 0 && (state & LVIS_SELECTED)) {
        SendToControl(dialog, IDC_RULES, LVM_SETSELECTIONMARK, 0, row);
    }
}

// With none selected only the focused row can hold a state (no code sets
// the other bits), so clearing that one spares the list a visit to every row.
void ClearSelectedRowState(HWND dialog) {
    int row = SelectedRow(dialog);
    if (row == -1) row = FocusedRow(dialog);
    if (row != -1) SetRowState(dialog, row, 0);
}

void EnsureRowVisible(HWND dialog, int row) {
    SendToControl(dialog, IDC_RULES, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void SelectOnlyRow(HWND dialog, int row) {
    ClearSelectedRowState(dialog);
    if (row < 0) return;
    SetRowState(dialog, row, LVIS_SELECTED | LVIS_FOCUSED, LVIF_STATE);
    EnsureRowVisible(dialog, row);
}

// The rows are added and removed with the list's redrawing off: inserted
// one by one into a list that repaints, they cost time growing with the
// square of their number.
void MatchRowsToRules(HWND list) {
    const auto wanted = static_cast<int>(g_ruleCount);
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    if (rows == wanted) return;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    if (wanted == 0) {
        SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    } else if (rows > wanted) {
        while (rows > wanted) SendMessageA(list, LVM_DELETEITEM, --rows, 0);
    } else {
        SendMessageA(list, LVM_SETITEMCOUNT, wanted, 0);  // room for every row at once
        LVITEMA row;
        std::memset(&row, 0, sizeof row);
        row.stateMask = ~0u;
        for (; rows < wanted; ++rows) {
            row.iItem = rows;
            SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row));
        }
    }
    // Brings the scroll bar up to date and repaints the list once.
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
}

void FitNameColumn(HWND dialog) {
    const HWND list = GetDlgItem(dialog, IDC_RULES);
    RECT client;
    GetClientRect(list, &client);
    const int ipWidth = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0));
    const int nameWidth = client.right - ipWidth;
    // Set only when it changes: setting the same width still repaints the
    // header and the list, a few milliseconds after every Add and Delete.
    if (SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0) == nameWidth) return;
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(nameWidth, 0));
}

SelectedRule SelectedRuleOf(HWND dialog) {
    SelectedRule selected{};
    const int row = dialog ? SelectedRow(dialog) : -1;
    if (IsRuleIndex(row)) {
        selected.held = true;
        selected.rule = g_rules[row];
    }
    return selected;
}

void ShowRulesAgain(HWND dialog, const SelectedRule& before) {
    ClearSelectedRowState(dialog);
    const HWND list = GetDlgItem(dialog, IDC_RULES);
    MatchRowsToRules(list);
    for (uint32_t i = 0; before.held && i < g_ruleCount; ++i) {
        if (std::memcmp(&g_rules[i], &before.rule, sizeof before.rule) == 0) {
            SetRowState(dialog, static_cast<int>(i), LVIS_SELECTED);
            break;
        }
    }
    InvalidateRect(list, nullptr, TRUE);
    FitNameColumn(dialog);
}
