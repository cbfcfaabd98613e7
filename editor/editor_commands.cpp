// The editor's commands and the click in the rule list.
//
// The editor keeps no state of its own: the rule a command acts on is the
// list's selected row, read anew each time, and the colours being edited
// live only in the two sample controls. Row i of the list always shows
// rule i, so every command changes the array and the rows together.
#include "editor/editor_parts.h"
#include "editor/editor_state.h"

#include "resources/resource_ids.h"
#include "rules/ip_pattern.h"
#include "rules/rule_array.h"
#include "rules/text_field.h"

#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

constexpr LPARAM ALL_STATE_BITS = static_cast<LPARAM>(0xFFFFFFFF);

LRESULT SendToControl(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

void EnableControl(HWND dialog, int id, bool enabled) {
    EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

bool IsSelected(HWND dialog, int row) {
    return row >= 0 &&
           (SendToControl(dialog, IDC_RULES, LVM_GETITEMSTATE, static_cast<WPARAM>(row),
                          LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

int FocusedRow(HWND dialog) {
    return static_cast<int>(SendToControl(dialog, IDC_RULES, LVM_GETNEXTITEM,
                                          static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

// The selected row, or -1. The list's own search for it walks every row
// before it, so with one row selected (the list allows no more) the rows
// where a selection is found are asked first: the selection mark, which
// clicks, keys and the commands' own selections set, and the focused row.
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

// Row -1 applies the state to every row. A selected row also becomes the
// selection mark, where SelectedRow looks first.
void SetRowState(HWND dialog, int row, UINT state, UINT mask = 0) {
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

// The selected row loses every state bit; with none selected, every row
// does. Then only the focused row can hold any (no code sets the other
// bits), so clearing that one spares the list a visit to every row.
void ClearSelectedRowState(HWND dialog) {
    int row = SelectedRow(dialog);
    if (row == -1) row = FocusedRow(dialog);
    if (row != -1) SetRowState(dialog, row, 0);
}

void EnsureRowVisible(HWND dialog, int row) {
    SendToControl(dialog, IDC_RULES, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

CHARFORMATA SampleFormat(HWND dialog, int sampleId) {
    CHARFORMATA format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    SendToControl(dialog, sampleId, EM_GETCHARFORMAT, SCF_SELECTION,
                  reinterpret_cast<LPARAM>(&format));
    return format;
}

void SetSampleColour(HWND dialog, int sampleId, COLORREF colour) {
    CHARFORMATA format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = colour;  // dwEffects 0: never the automatic colour
    SendToControl(dialog, sampleId, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
}

LPARAM SelectedItemData(HWND dialog, int comboId) {
    const LRESULT item = SendToControl(dialog, comboId, CB_GETCURSEL);
    return SendToControl(dialog, comboId, CB_GETITEMDATA, static_cast<WPARAM>(item));
}

// Replaces the whole text of an edit control, through the given send call.
void ReplaceFieldText(HWND dialog, int id, SendMessageCall send, const void* text) {
    HWND field = GetDlgItem(dialog, id);
    SendMessageA(field, EM_SETSEL, 0, -1);
    send(field, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(field, EM_SETSEL, static_cast<WPARAM>(-1), 0);
}

// --- Click in the rule list -------------------------------------------------

void ShowSearchType(HWND dialog, int32_t searchType) {
    // Later tests override earlier ones; a value with none of the bits
    // leaves the list's choice as it was.
    int item = -1;
    if (searchType & SEARCH_NAME_BIT) item = 0;
    if (searchType & SEARCH_IP_BIT) item = 1;
    if ((searchType & SEARCH_NAME_AND_IP) == SEARCH_NAME_AND_IP) item = 2;
    if (searchType & SEARCH_EITHER_BIT) item = 3;
    if (item >= 0) SendToControl(dialog, IDC_SEARCH, CB_SETCURSEL, item);
}

void ShowStatus(HWND dialog, int32_t status) {
    int item = -1;
    if (status == STATUS_UNCHANGED) {
        item = 0;
    } else {
        if (status == STATUS_ALLOW_ALL) item = 1;
        if (status & STATUS_NO_PRIVATE_BIT) item = 2;
        if (status & STATUS_IGNORE_BIT) item = 3;
    }
    if (item >= 0) SendToControl(dialog, IDC_STATUS, CB_SETCURSEL, item);
}

// The host's character mode chose the call that carries the nickname. The
// ANSI call takes and gives text in the system's code page, so the name is
// converted on its way in and out; the wide call carries it as it is.
bool NameFieldTalksAnsi() { return g_sendMessage == SendMessageA; }

// A name in the system code page: at most two bytes a unit, and a terminator.
struct AnsiName {
    char bytes[2 * RULE_NAME_UNITS + 1];
};

AnsiName ToAnsiName(const char16_t (&name)[RULE_NAME_UNITS]) {
    AnsiName ansi{};
    WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(name),
                        static_cast<int>(FieldLength(name)), ansi.bytes, sizeof ansi.bytes - 1,
                        nullptr, nullptr);
    return ansi;
}

void LoadRuleIntoFields(HWND dialog, const _RULE& rule) {
    if (NameFieldTalksAnsi()) {
        ReplaceFieldText(dialog, IDC_NAME, g_sendMessage, ToAnsiName(rule.name).bytes);
    } else {
        // Bounded copy: a name from a file may fill its field without a
        // terminator.
        wchar_t name[RULE_NAME_UNITS + 1] = {};
        std::memcpy(name, rule.name, FieldLength(rule.name) * sizeof(wchar_t));
        ReplaceFieldText(dialog, IDC_NAME, g_sendMessage, name);
    }

    char ipText[RULE_IP_TEXT_BYTES + 1] = {};
    std::memcpy(ipText, rule.ipText, FieldLength(rule.ipText));
    ReplaceFieldText(dialog, IDC_IP, SendMessageA, ipText);

    ShowSearchType(dialog, rule.searchType);
    ShowStatus(dialog, rule.status);
    SetSampleColour(dialog, IDC_NICK_SAMPLE, rule.nickColor);
    SetSampleColour(dialog, IDC_TEXT_SAMPLE, rule.textColor);
}

void OnRuleListClick(HWND dialog) {
    const int row = SelectedRow(dialog);
    if (row == -1) {
        for (int id : {IDC_NICK_COLOR, IDC_TEXT_COLOR, IDC_CHANGE, IDC_DELETE, IDC_UP, IDC_DOWN}) {
            EnableControl(dialog, id, false);
        }
        return;  // the fields keep what they show
    }
    EnableControl(dialog, IDC_CHANGE, true);
    EnableControl(dialog, IDC_DELETE, true);
    if (g_ruleCount != 0) {
        EnableControl(dialog, IDC_NICK_COLOR, true);
        EnableControl(dialog, IDC_TEXT_COLOR, true);
        EnableControl(dialog, IDC_UP, false);
        EnableControl(dialog, IDC_DOWN, false);
    }
    if (row > 0) EnableControl(dialog, IDC_UP, true);
    if (static_cast<uint32_t>(row) < g_ruleCount - 1) EnableControl(dialog, IDC_DOWN, true);
    if (IsRuleIndex(row)) LoadRuleIntoFields(dialog, g_rules[row]);
}

// --- Reading the fields into a rule ------------------------------------------

// Copies the name field into `name`, never past its 64 units. The text is
// read whole into a buffer sized from the field's length, then cut to 63
// units and a terminator.
// Through the ANSI call the text is asked with WM_GETTEXT, which the system
// converts to its code page for an ANSI caller, and converted back:
// EM_GETSELTEXT, a rich edit message the system does not know, reaches the
// wide field unconverted and would give UTF-16 where bytes are expected.
// A name that code page cannot hold shows with stand-ins, and read back it
// would be another name: while the field still shows exactly what `name`
// held before (a clicked rule's name, as it was loaded), that name is kept.
void ReadNameField(HWND dialog, char16_t (&name)[RULE_NAME_UNITS]) {
    HWND field = GetDlgItem(dialog, IDC_NAME);
    const size_t units = static_cast<size_t>(GetWindowTextLengthW(field)) * 2 + RULE_NAME_UNITS;
    // The field's text, and behind it room for the text converted back.
    auto* buffer = static_cast<wchar_t*>(std::calloc(2 * (units + 1), sizeof(wchar_t)));
    if (!buffer) {
        std::memset(name, 0, sizeof name);
        return;
    }
    const wchar_t* text = buffer;
    bool keep = false;
    if (NameFieldTalksAnsi()) {
        const AnsiName shownBefore = ToAnsiName(name);
        auto* bytes = reinterpret_cast<char*>(buffer);
        g_sendMessage(field, WM_GETTEXT, units * sizeof(wchar_t), reinterpret_cast<LPARAM>(bytes));
        keep = std::strcmp(bytes, shownBefore.bytes) == 0;
        wchar_t* converted = buffer + units + 1;
        MultiByteToWideChar(CP_ACP, 0, bytes, -1, converted, static_cast<int>(units));
        text = converted;
    } else {
        SendMessageA(field, EM_SETSEL, 0, -1);
        g_sendMessage(field, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer));
        SendMessageA(field, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    }
    if (!keep) {
        std::memset(name, 0, sizeof name);
        std::memcpy(name, text, BoundedLength(text, RULE_NAME_UNITS - 1) * sizeof(wchar_t));
    }
    std::free(buffer);
}

void ReadFieldsIntoRule(HWND dialog, _RULE& rule) {
    ReadNameField(dialog, rule.name);
    GetDlgItemTextA(dialog, IDC_IP, rule.ipText, sizeof rule.ipText);
    ParseRuleIp(rule);
    rule.status = static_cast<int32_t>(SelectedItemData(dialog, IDC_STATUS));
    rule.nickColor = SampleFormat(dialog, IDC_NICK_SAMPLE).crTextColor;
    rule.textColor = SampleFormat(dialog, IDC_TEXT_SAMPLE).crTextColor;
    rule.searchType = static_cast<int32_t>(SelectedItemData(dialog, IDC_SEARCH));
}

// --- Another version of the list --------------------------------------------

}  // namespace

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

namespace {

// --- Commands -------------------------------------------------------------------

void AddRule(HWND dialog) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    // The selected rule's name, kept when the name field shows it as loaded.
    const int selected = SelectedRow(dialog);
    if (IsRuleIndex(selected)) std::memcpy(rule.name, g_rules[selected].name, sizeof rule.name);
    ReadFieldsIntoRule(dialog, rule);
    // Without memory the list stays as it was, and so do the rows.
    if (!AppendRule(rule)) return;
    const int count = static_cast<int>(g_ruleCount);

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
    ReplaceRule(row, changed);
}

void DeleteRule(HWND dialog) {
    const int row = SelectedRow(dialog);
    if (!IsRuleIndex(row)) return;
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
    if (header.code == static_cast<UINT>(NM_CLICK)) OnRuleListClick(dialog);
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
        default: break;
    }
    if (g_ruleArrayVersion != listBefore && g_rulesEdited) NoteListEdited();
}
