// Expiries in the editor. The memo's times are UTC; the operator reads them
// in the system's local time.
#include "editor/rule_expiry.h"

#include "editor/edit_history.h"
#include "editor/editor_state.h"
#include "editor/rule_rows.h"
#include "resources/resource_ids.h"
#include "rules/rule_array.h"
#include "rules/rule_memo.h"

#include <commctrl.h>

#include <cstring>
#include <ctime>
#include <new>
#include <string>

namespace {

constexpr int64_t HOUR_SECONDS = 3600;
constexpr int64_t DAY_SECONDS = 24 * HOUR_SECONDS;
constexpr int TIP_WIDTH = 420;  // pixels; longer notes wrap
// Seconds from 1601, where Windows' file times start, to 1970.
constexpr int64_t FILE_TIME_EPOCH_SECONDS = 11644473600LL;

HWND g_tips = nullptr;
int g_tipRow = -1;
int64_t g_lastExpiryLook = 0;

std::wstring Padded(unsigned value, size_t width) {
    std::wstring text = std::to_wstring(value);
    return std::wstring(text.size() < width ? width - text.size() : 0, L'0') + text;
}

// "16.12.2026 15:20" in local time.
std::wstring LocalTimeText(int64_t seconds) {
    if (seconds < -FILE_TIME_EPOCH_SECONDS || seconds > INT64_MAX / 10000000 - FILE_TIME_EPOCH_SECONDS) {
        return L"?";
    }
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<uint64_t>(seconds + FILE_TIME_EPOCH_SECONDS) * 10000000ULL;
    const FILETIME utcFile{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return L"?";
    }
    return Padded(local.wDay, 2) + L"." + Padded(local.wMonth, 2) + L"." +
           Padded(local.wYear, 4) + L" " + Padded(local.wHour, 2) + L":" + Padded(local.wMinute, 2);
}

// "6 д 23 ч", "5 ч 10 мин", "3 мин".
std::wstring TimeLeftText(int64_t seconds) {
    const int64_t minutes = (seconds + 59) / 60;
    const int64_t days = minutes / (24 * 60);
    const int64_t hours = minutes / 60 % 24;
    if (days > 0) return std::to_wstring(days) + L" д " + std::to_wstring(hours) + L" ч";
    if (hours > 0) return std::to_wstring(hours) + L" ч " + std::to_wstring(minutes % 60) + L" мин";
    return std::to_wstring(minutes) + L" мин";
}

// What a row's tooltip says: nothing for a rule without a memo.
std::wstring TipText(const _RULE& rule, int64_t now) {
    RuleMemo memo;
    if (!ReadRuleMemo(rule, &memo)) return L"";
    std::wstring text;
    if (memo.added != MEMO_NEVER) text += L"Добавлено: " + LocalTimeText(memo.added) + L"\r\n";
    if (memo.expires == MEMO_NEVER) {
        text += L"Бессрочно";
    } else if (memo.expires <= now) {
        text += L"Срок истёк: " + LocalTimeText(memo.expires);
    } else {
        text += L"Истекает: " + LocalTimeText(memo.expires) + L" (осталось " +
                TimeLeftText(memo.expires - now) + L")";
    }
    if (memo.noteLength > 0) {
        text += L"\r\nЗаметка: " +
                std::wstring(reinterpret_cast<const wchar_t*>(memo.note), memo.noteLength);
    }
    return text;
}

TOOLINFOW ListTool(HWND dialog) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the control
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, IDC_RULES));
    return tool;
}

void SetTipText(HWND dialog, const std::wstring& text) {
    TOOLINFOW tool = ListTool(dialog);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(g_tips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

int64_t ExpirySeconds(WORD command) {
    switch (command) {
        case IDM_EXPIRES_HOUR: return HOUR_SECONDS;
        case IDM_EXPIRES_DAY: return DAY_SECONDS;
        case IDM_EXPIRES_WEEK: return 7 * DAY_SECONDS;
        case IDM_EXPIRES_MONTH: return 30 * DAY_SECONDS;
        default: return 0;
    }
}

}  // namespace

int64_t EditorNow() { return static_cast<int64_t>(std::time(nullptr)); }

void StampAdded(_RULE& rule) {
    RuleMemo memo{};
    memo.added = EditorNow();
    WriteRuleMemo(rule, memo);
}

bool SelectedRuleCanExpire(HWND dialog) {
    const int row = SelectedRow(dialog);
    return IsRuleIndex(row) && CanHoldMemo(g_rules[row]);
}

void SetSelectedRuleExpiry(HWND dialog, WORD command) {
    const int row = SelectedRow(dialog);
    if (!IsRuleIndex(row)) return;
    _RULE rule = g_rules[row];
    RuleMemo memo{};
    ReadRuleMemo(rule, &memo);  // none: the time added is unknown
    const int64_t seconds = ExpirySeconds(command);
    memo.expires = seconds ? EditorNow() + seconds : MEMO_NEVER;
    if (!WriteRuleMemo(rule, memo)) return;
    if (std::memcmp(&rule, &g_rules[row], sizeof rule) == 0) return;
    RememberChange(static_cast<uint32_t>(row), g_rules[row]);
    ReplaceRule(row, rule);
    SendToControl(dialog, IDC_RULES, LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
    g_tipRow = -1;  // its tooltip is made anew
}

void CreateRuleTips(HWND dialog) {
    g_tipRow = -1;
    g_lastExpiryLook = EditorNow();
    g_tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, g_hEditorInstance, nullptr);
    if (!g_tips) return;  // the host made no tooltip class: rows go without tips
    TOOLINFOW tool = ListTool(dialog);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(g_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(g_tips, TTM_SETMAXTIPWIDTH, 0, TIP_WIDTH);
}

void ShowTipOfRowAt(HWND dialog, POINT client) {
    if (!g_tips) return;
    LVHITTESTINFO hit{};
    hit.pt = client;
    const int row = static_cast<int>(
        SendToControl(dialog, IDC_RULES, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row == g_tipRow) return;
    g_tipRow = row;
    try {
        SetTipText(dialog, IsRuleIndex(row) ? TipText(g_rules[row], EditorNow()) : std::wstring());
    } catch (const std::bad_alloc&) {
        SetTipText(dialog, std::wstring());  // no tip rather than an exception in the host's loop
    }
}

void RepaintRowsThatExpired(HWND dialog) {
    const int64_t now = EditorNow();
    const int64_t since = g_lastExpiryLook;
    if (now <= since) return;
    g_lastExpiryLook = now;
    for (uint32_t i = 0; i < g_ruleCount; ++i) {
        const int64_t expires = UncheckedExpiry(g_rules[i]);
        if (expires > since && expires <= now && RuleExpired(g_rules[i], now)) {
            InvalidateRect(GetDlgItem(dialog, IDC_RULES), nullptr, FALSE);
            g_tipRow = -1;
            return;
        }
    }
}
