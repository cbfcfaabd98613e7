// The editor's commands and the rule list's notifications.
//
// The editor keeps no state of its own: the rule a command acts on is the
// list's selected row, read anew each time, and the colours being edited
// live only in the two sample controls. Row i of the list always shows
// rule i, so every command changes the array and the rows together.
#include "editor/editor_parts.h"

#include "editor/edit_history.h"
#include "editor/rule_expiry.h"
#include "editor/rule_fields.h"
#include "editor/rule_rows.h"
#include "editor/rule_transfer.h"
#include "editor/type_to_find.h"
#include "resources/resource_ids.h"
#include "rules/rule_array.h"
#include "rules/text_field.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

namespace {

void AddRule(HWND dialog) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    // The selected rule's name, kept when the name field shows it as loaded.
    const int selected = SelectedRow(dialog);
    if (IsRuleIndex(selected)) std::memcpy(rule.name, g_rules[selected].name, sizeof rule.name);
    ReadFieldsIntoRule(dialog, rule);
    StampAdded(rule);
    // Without memory the list stays as it was, and so do the rows.
    if (!AppendRule(rule)) return;
    const int count = static_cast<int>(g_ruleCount);
    RememberAdd(g_ruleCount - 1);

    ClearSelectedRowState(dialog);
    LVITEMA row{};
    row.iItem = count;  // past the last row: appended
    SendToControl(dialog, IDC_RULES, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row));
    EnsureRowVisible(dialog, count - 1);
    SetRowState(dialog, count - 1, LVIS_SELECTED);
    FitNameColumn(dialog);
}

void ChangeRule(HWND dialog) {
    const int row = SelectedRow(dialog);
    if (!IsRuleIndex(row)) return;
    // The row shows the change the next time the list paints it.
    _RULE changed = g_rules[row];
    ReadFieldsIntoRule(dialog, changed);
    if (std::memcmp(&changed, &g_rules[row], sizeof changed) == 0) return;
    RememberChange(static_cast<uint32_t>(row), g_rules[row]);
    ReplaceRule(row, changed);
}

void DeleteRule(HWND dialog) {
    const int row = SelectedRow(dialog);
    if (!IsRuleIndex(row)) return;
    RememberDelete(static_cast<uint32_t>(row), g_rules[row]);
    RemoveRule(row);
    const int count = static_cast<int>(g_ruleCount);
    SendToControl(dialog, IDC_RULES, LVM_DELETEITEM, static_cast<WPARAM>(row));
    ClearSelectedRowState(dialog);
    // The row that took the deleted one's place, or the new last row.
    SetRowState(dialog, row < count ? row : count - 1, LVIS_SELECTED);
    FitNameColumn(dialog);
}

// Moves the selected rule one place; the buttons' enabled states are only
// refreshed by clicks, so the ends are checked here.
void MoveRule(HWND dialog, int step) {
    const int row = SelectedRow(dialog);
    const int target = row + step;
    if (!IsRuleIndex(row) || !IsRuleIndex(target)) return;
    SwapRules(step < 0 ? target : row, step < 0 ? MovedRule::SecondUp : MovedRule::FirstDown);
    RememberMove(static_cast<uint32_t>(row), static_cast<uint32_t>(target));
    SetRowState(dialog, row, 0, LVIF_STATE);
    SetRowState(dialog, target, LVIS_SELECTED, LVIF_STATE);
    EnsureRowVisible(dialog, target);
}

void PickSampleColour(HWND dialog, int sampleId) {
    CHARFORMATA format = SampleFormat(dialog, sampleId);

    // Custom colours last for this one dialog only.
    COLORREF customColours[16];
    for (COLORREF& slot : customColours) slot = RGB(255, 255, 255);
    CHOOSECOLORA chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = dialog;
    chooser.rgbResult = format.crTextColor;
    chooser.lpCustColors = customColours;
    chooser.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorA(&chooser)) return;  // cancelled

    format.crTextColor = chooser.rgbResult;  // the rest as the sample gave it
    SendToControl(dialog, sampleId, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
}

bool IsAddressCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '-' || c == '.';
}

// Removes every character an address cannot hold. Each deletion updates the
// field again, so this runs nested inside its own WM_CLEAR; the outer run
// then finds the text clean and stops.
void FilterIpField(HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_IP);
    char text[RULE_IP_TEXT_BYTES] = {};
    for (size_t pass = 0; pass < sizeof text; ++pass) {
        SendMessageA(field, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        const size_t length = BoundedLength(text, sizeof text);
        size_t position = 0;
        while (position < length && IsAddressCharacter(text[position])) ++position;
        if (position == length) return;
        SendMessageA(field, EM_SETSEL, position, position + 1);
        SendMessageA(field, WM_CLEAR, 0, 0);
    }
}

}  // namespace

INT_PTR OnRuleListNotify(HWND dialog, int controlId, const NMHDR& header) {
    if (controlId != IDC_RULES) return 0;
    if (header.code == static_cast<UINT>(NM_CLICK)) {
        EndTypedText();
        ShowSelectedRule(dialog);
    }
    // When the list goes with the dialog it would report each of its rows
    // gone, one notification per row that nothing here listens to; TRUE
    // declines them.
    if (header.code == static_cast<UINT>(LVN_DELETEALLITEMS)) {
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    return 0;
}

void OnEditorCommand(HWND dialog, WORD controlId, WORD notification) {
    const uint32_t listBefore = g_ruleArrayVersion;
    switch (controlId) {
        case IDC_IP:
            if (notification == EN_UPDATE) FilterIpField(dialog);
            break;
        case IDC_NICK_COLOR: PickSampleColour(dialog, IDC_NICK_SAMPLE); break;
        case IDC_TEXT_COLOR: PickSampleColour(dialog, IDC_TEXT_SAMPLE); break;
        case IDC_ADD: AddRule(dialog); break;
        case IDC_CHANGE: ChangeRule(dialog); break;
        case IDC_DELETE: DeleteRule(dialog); break;
        case IDC_UP: MoveRule(dialog, -1); break;
        case IDC_DOWN: MoveRule(dialog, +1); break;
        case IDM_COPY: CopySelectedRule(dialog); break;
        case IDM_PASTE: PasteRules(dialog); break;
        case IDM_UNDO: UndoLastEdit(dialog); break;
        case IDM_EXPIRES_HOUR:
        case IDM_EXPIRES_DAY:
        case IDM_EXPIRES_WEEK:
        case IDM_EXPIRES_MONTH:
        case IDM_EXPIRES_NEVER: SetSelectedRuleExpiry(dialog, controlId); break;
        default: break;
    }
    if (g_ruleArrayVersion != listBefore && g_rulesEdited) NoteListEdited();
}
