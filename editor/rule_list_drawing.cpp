// Painting of the owner-drawn rule list: row i shows rule i as it is at the
// moment of painting, the nickname coloured by the rule's status. The
// drawing objects it paints with are made and deleted here too.
#include "editor/rule_list_drawing.h"

#include "editor/editor_parts.h"
#include "editor/rule_expiry.h"
#include "resources/resource_ids.h"
#include "rules/rule_array.h"
#include "rules/rule_memo.h"
#include "rules/text_field.h"

#include <commctrl.h>

namespace {

constexpr UINT HIGHLIGHTED_ROW_STATES = ODS_SELECTED | ODS_FOCUS | ODS_DEFAULT;

constexpr int TEXT_INSET = 2;     // clipping starts this far into a column
constexpr int NICK_INDENT = 17;   // the nickname starts this far right of the row
constexpr int EMBOSS_OFFSET = 1;  // the light copy lies one pixel right and down

int ColumnWidth(HWND list, int column) {
    return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, column, 0));
}

void PaintBackground(const DRAWITEMSTRUCT& item) {
    const bool highlighted = (item.itemState & HIGHLIGHTED_ROW_STATES) != 0;
    SelectObject(item.hDC, highlighted ? g_drawing.highlightPen : g_drawing.menuPen);
    SelectObject(item.hDC, highlighted ? g_drawing.highlightBrush : g_drawing.menuBrush);
    const RECT& row = item.rcItem;
    Rectangle(item.hDC, row.left, row.top, row.right, row.bottom);
}

// Unchanged (-1) is dimmed; "ignored" is embossed: a light copy first, the
// dimmed nickname over it. An expired rule is only grey, whatever its status.
void PaintNickname(const DRAWITEMSTRUCT& item, const _RULE& rule, const RECT& clip, bool expired) {
    const HDC dc = item.hDC;
    const int left = item.rcItem.left + NICK_INDENT;
    const int top = item.rcItem.top;
    const UINT length = static_cast<UINT>(FieldLength(rule.name));
    const auto* name = reinterpret_cast<const wchar_t*>(rule.name);  // UTF-16 on Windows

    if (expired) {
        SetTextColor(dc, g_drawing.expiredColour);
    } else if (rule.status == STATUS_UNCHANGED) {
        SetTextColor(dc, g_drawing.shadowColour);
    } else {
        SetTextColor(dc, (rule.status & STATUS_NO_PRIVATE_BIT) ? g_drawing.listAmColour : g_drawing.textColour);
        if (rule.status & STATUS_IGNORE_BIT) {
            SetTextColor(dc, g_drawing.lightColour);
            ExtTextOutW(dc, left + EMBOSS_OFFSET, top + EMBOSS_OFFSET, ETO_CLIPPED, &clip,
                        name, length, nullptr);
            SetTextColor(dc, g_drawing.shadowColour);
        }
    }
    ExtTextOutW(dc, left, top, ETO_CLIPPED, &clip, name, length, nullptr);
}

// An expired rule stays in the list, both its texts in the system's grey.
void PaintRuleTexts(HWND list, const DRAWITEMSTRUCT& item, const _RULE& rule, bool expired) {
    const int nameWidth = ColumnWidth(list, 0);
    const RECT nameClip{item.rcItem.left + TEXT_INSET, item.rcItem.top, nameWidth,
                        item.rcItem.bottom};
    PaintNickname(item, rule, nameClip, expired);

    // Column 1 is placed from the list's client origin, not from the row.
    const int ipWidth = ColumnWidth(list, 1);
    const RECT ipClip{nameWidth + TEXT_INSET, item.rcItem.top, nameWidth + ipWidth - 1,
                      item.rcItem.bottom};
    SetTextColor(item.hDC, expired ? g_drawing.expiredColour : g_drawing.textColour);
    ExtTextOutA(item.hDC, nameWidth + TEXT_INSET, item.rcItem.top, ETO_CLIPPED, &ipClip,
                rule.ipText, static_cast<UINT>(FieldLength(rule.ipText)), nullptr);
}

}  // namespace

DrawingObjects g_drawing{};

void CreateRowDrawingObjects(COLORREF highlight) {
    g_drawing.textColour = GetSysColor(COLOR_WINDOWTEXT);
    g_drawing.lightColour = GetSysColor(COLOR_BTNHIGHLIGHT);
    g_drawing.shadowColour = GetSysColor(COLOR_BTNSHADOW);
    g_drawing.expiredColour = GetSysColor(COLOR_GRAYTEXT);

    const COLORREF menu = GetSysColor(COLOR_MENU);
    g_drawing.menuPen = CreatePen(PS_SOLID, 1, menu);
    g_drawing.highlightPen = CreatePen(PS_SOLID, 1, highlight);
    g_drawing.menuBrush = CreateSolidBrush(menu);
    g_drawing.highlightBrush = CreateSolidBrush(highlight);
}

namespace {

template <typename Handle>
void DeleteOnce(Handle& object) {
    if (object) DeleteObject(object);
    object = nullptr;  // forgotten, so a later close does not delete it again
}

}  // namespace

void DeleteDrawingObjects() {
    DeleteOnce(g_drawing.listFont);
    DeleteOnce(g_drawing.highlightPen);
    DeleteOnce(g_drawing.menuPen);
    DeleteOnce(g_drawing.highlightBrush);
    DeleteOnce(g_drawing.menuBrush);
    DeleteOnce(g_drawing.cyrillicDialogFont);
}

// The DC is left as the list gave it: its pen, brush, text colour and
// background mode are saved first and put back after the row.
bool DrawRuleRow(HWND dialog, const DRAWITEMSTRUCT& item) {
    const HWND list = GetDlgItem(dialog, IDC_RULES);
    if (item.CtlID != IDC_RULES || item.hwndItem != list) return false;
    const int saved = SaveDC(item.hDC);
    PaintBackground(item);
    // A row without a rule behind it stays blank.
    if (item.itemID < g_ruleCount) {
        // The texts lie on the row's fill, not on boxes of the DC's background.
        SetBkMode(item.hDC, TRANSPARENT);
        const _RULE& rule = g_rules[item.itemID];
        PaintRuleTexts(list, item, rule, RuleExpired(rule, EditorNow()));
    }
    RestoreDC(item.hDC, saved);
    return true;
}
