// The rule list's keys and menu. The list is subclassed as a Unicode
// window, so typed text arrives as UTF-16 whatever the host's code page;
// the keys it does not take go on to the list as before.
#include "editor/list_keys.h"

#include "editor/edit_history.h"
#include "editor/editor_parts.h"
#include "editor/rule_expiry.h"
#include "editor/rule_rows.h"
#include "editor/rule_transfer.h"
#include "editor/type_to_find.h"
#include "resources/resource_ids.h"
#include "rules/rule_array.h"

#include <commctrl.h>

namespace {

WNDPROC g_listProc = nullptr;

bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// The command a key gives, or 0. Each acts only where its button or menu
// item would.
WORD CommandOfKey(WPARAM key) {
    const bool control = KeyDown(VK_CONTROL);
    const bool shift = KeyDown(VK_SHIFT);
    if (key == VK_DELETE && !control && !shift) return IDC_DELETE;
    if (key == VK_UP && control) return IDC_UP;
    if (key == VK_DOWN && control) return IDC_DOWN;
    if ((key == 'C' && control) || (key == VK_INSERT && control)) return IDM_COPY;
    if ((key == 'V' && control) || (key == VK_INSERT && shift)) return IDM_PASTE;
    if (key == 'Z' && control) return IDM_UNDO;
    return 0;
}

bool MovesTheSelection(WPARAM key) {
    switch (key) {
        case VK_UP: case VK_DOWN: case VK_LEFT: case VK_RIGHT:
        case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT: case VK_ESCAPE:
            return true;
        default:
            return false;
    }
}

bool OpensMenu(WPARAM key) { return key == VK_APPS || (key == VK_F10 && KeyDown(VK_SHIFT)); }

bool CommandCanAct(HWND dialog, WORD command) {
    const int row = SelectedRow(dialog);
    switch (command) {
        case IDC_DELETE:
        case IDM_COPY: return IsRuleIndex(row);
        case IDC_UP: return IsRuleIndex(row) && row > 0;
        case IDC_DOWN: return IsRuleIndex(row) && IsRuleIndex(row + 1);
        case IDM_PASTE: return ClipboardHoldsText();
        case IDM_UNDO: return CanUndo();
        case IDM_EXPIRES_HOUR:
        case IDM_EXPIRES_DAY:
        case IDM_EXPIRES_WEEK:
        case IDM_EXPIRES_MONTH:
        case IDM_EXPIRES_NEVER: return SelectedRuleCanExpire(dialog);
        default: return false;
    }
}

void RunCommand(HWND dialog, WORD command) {
    if (CommandCanAct(dialog, command)) OnEditorCommand(dialog, command, 0);
}

LRESULT CALLBACK RuleListKeysProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND dialog = GetParent(list);
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (OpensMenu(wParam)) {
                ShowRuleListMenu(dialog, list, POINT{-1, -1});
                return 0;
            }
            if (message == WM_KEYDOWN && wParam == VK_F3) {
                FindNextTypedMatch(dialog);
                return 0;
            }
            if (const WORD command = message == WM_KEYDOWN ? CommandOfKey(wParam) : 0) {
                RunCommand(dialog, command);
                return 0;
            }
            if (MovesTheSelection(wParam)) EndTypedText();
            break;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // The system would open the menu a second time from these.
            if (OpensMenu(wParam)) return 0;
            break;
        case WM_MOUSEMOVE:
            ShowTipOfRowAt(dialog, POINT{static_cast<short>(LOWORD(lParam)),
                                         static_cast<short>(HIWORD(lParam))});
            break;
        case WM_CHAR:
            if (FindTypedCharacter(dialog, static_cast<wchar_t>(wParam), GetTickCount())) return 0;
            break;
        default:
            break;
    }
    return CallWindowProcW(g_listProc, list, message, wParam, lParam);
}

// Where the keyboard's menu opens: below the selected row, else at the
// list's corner.
POINT KeyboardMenuPoint(HWND dialog, HWND list) {
    POINT at{0, 0};
    const int row = SelectedRow(dialog);
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    if (IsRuleIndex(row) &&
        SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect))) {
        at = {rect.left + 16, rect.bottom};
    }
    ClientToScreen(list, &at);
    return at;
}

struct MenuItem {
    WORD command;
    const wchar_t* text;  // null: a separator
};

// Each item enabled when its command can act.
void AppendItems(HWND dialog, HMENU menu, const MenuItem* items, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!items[i].text) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const UINT state = CommandCanAct(dialog, items[i].command) ? MF_ENABLED : MF_GRAYED;
        AppendMenuW(menu, MF_STRING | state, items[i].command, items[i].text);
    }
}

}  // namespace

void HandleRuleListKeys(HWND dialog) {
    const HWND list = GetDlgItem(dialog, IDC_RULES);
    g_listProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RuleListKeysProc)));
}

void ShowRuleListMenu(HWND dialog, HWND from, POINT screen) {
    const HWND list = GetDlgItem(dialog, IDC_RULES);
    if (from != list) return;
    if (screen.x == -1 && screen.y == -1) screen = KeyboardMenuPoint(dialog, list);
    const HMENU menu = CreatePopupMenu();
    if (!menu) return;
    const MenuItem expiries[] = {
        {IDM_EXPIRES_HOUR, L"1 час"},       {IDM_EXPIRES_DAY, L"1 день"},
        {IDM_EXPIRES_WEEK, L"7 дней"},      {IDM_EXPIRES_MONTH, L"30 дней"},
        {IDM_EXPIRES_NEVER, L"бессрочно"},
    };
    const MenuItem items[] = {
        {IDC_DELETE, L"Удалить\tDel"},
        {IDC_UP, L"Переместить вверх\tCtrl+Up"},
        {IDC_DOWN, L"Переместить вниз\tCtrl+Down"},
        {0, nullptr},
        {IDM_COPY, L"Копировать\tCtrl+C"},
        {IDM_PASTE, L"Вставить\tCtrl+V"},
        {0, nullptr},
        {IDM_UNDO, L"Отменить\tCtrl+Z"},
    };
    AppendItems(dialog, menu, items, sizeof items / sizeof items[0]);
    const HMENU expiryMenu = CreatePopupMenu();
    if (expiryMenu) {
        AppendItems(dialog, expiryMenu, expiries, sizeof expiries / sizeof expiries[0]);
        const UINT state = SelectedRuleCanExpire(dialog) ? MF_ENABLED : MF_GRAYED;
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_POPUP | state, reinterpret_cast<UINT_PTR>(expiryMenu), L"Срок");
    }
    const auto chosen = static_cast<WORD>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x, screen.y, 0, dialog, nullptr));
    DestroyMenu(menu);
    if (chosen) RunCommand(dialog, chosen);
}
