// The editing fields: the only edit buffer. A click copies a rule into
// them; Add and Change copy them back into a rule.
#include "editor/rule_fields.h"

#include "editor/editor_state.h"
#include "editor/rule_rows.h"
#include "resources/resource_ids.h"
#include "rules/ip_pattern.h"
#include "rules/rule_array.h"
#include "rules/text_field.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

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

}  // namespace

CHARFORMATA SampleFormat(HWND dialog, int sampleId) {
    CHARFORMATA format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    SendToControl(dialog, sampleId, EM_GETCHARFORMAT, SCF_SELECTION,
                  reinterpret_cast<LPARAM>(&format));
    return format;
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

void ReadFieldsIntoRule(HWND dialog, _RULE& rule) {
    ReadNameField(dialog, rule.name);
    GetDlgItemTextA(dialog, IDC_IP, rule.ipText, sizeof rule.ipText);
    ParseRuleIp(rule);
    rule.status = static_cast<int32_t>(SelectedItemData(dialog, IDC_STATUS));
    rule.nickColor = SampleFormat(dialog, IDC_NICK_SAMPLE).crTextColor;
    rule.textColor = SampleFormat(dialog, IDC_TEXT_SAMPLE).crTextColor;
    rule.searchType = static_cast<int32_t>(SelectedItemData(dialog, IDC_SEARCH));
}

PlainDefaults FieldDefaults(HWND dialog) {
    PlainDefaults defaults{};
    defaults.status = static_cast<int32_t>(SelectedItemData(dialog, IDC_STATUS));
    defaults.nickColor = SampleFormat(dialog, IDC_NICK_SAMPLE).crTextColor;
    defaults.textColor = SampleFormat(dialog, IDC_TEXT_SAMPLE).crTextColor;
    return defaults;
}

void ShowSelectedRule(HWND dialog) {
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
