// Set-up of the editor each time it opens: appearance settings from the
// host's INI file, the drawing objects of the rule list, the fields, the
// columns, the two choice lists and one row per rule.
#include "editor/editor_parts.h"
#include "editor/editor_state.h"

#include "editor/edit_history.h"
#include "editor/list_keys.h"
#include "editor/rule_expiry.h"
#include "editor/rule_list_drawing.h"
#include "editor/rule_rows.h"
#include "editor/rule_transfer.h"
#include "resources/resource_ids.h"
#include "rules/rule_array.h"
#include "rules/rule_texts.h"
#include "rules/text_field.h"

#include <commctrl.h>
#include <richedit.h>

#include <cstdio>
#include <cstring>

namespace {

static_assert(sizeof(CHARFORMATW) == 92, "the wide CHARFORMAT, not CHARFORMAT2");

constexpr const char* SETTINGS_SECTION = "Main";
constexpr DWORD SETTING_BYTES = 512;
constexpr size_t FACE_UNITS = LF_FACESIZE;  // 32 with the terminator

constexpr const char* FONT_LIST_KEY = "Font.List";
constexpr const char* FONT_LIST_DEFAULT = "16,204,0,Arial";
constexpr int FONT_LIST_DEFAULT_HEIGHT = 16;
constexpr int FONT_LIST_DEFAULT_CHARSET = RUSSIAN_CHARSET;
constexpr int FONT_LIST_DEFAULT_PITCH = 0;
constexpr unsigned LIST_FONT_MIN_HEIGHT = 12;
constexpr unsigned LIST_FONT_MAX_HEIGHT = 20;

constexpr const char* COLOR_LIST_AM_KEY = "Color.ListAM";
constexpr const char* COLOR_LIST_AM_DEFAULT = "00F00000";
constexpr const char* COLOR_LIST_HI_KEY = "Color.ListHI";
constexpr const char* COLOR_LIST_HI_DEFAULT = "00D0D0D0";
constexpr COLORREF COLOR_LIST_HI_DEFAULT_VALUE = 0x00D0D0D0;
constexpr const char* FONT_TEXT_KEY = "Font.Text";
constexpr const char* FONT_TEXT_DEFAULT = "204,0,Times New Roman";
constexpr const char* FONT_TEXT_FACE_WITHOUT_COMMA = "Times New Roman";
constexpr const char* COLOR_USER_NAME_KEY = "Color.UserName";
constexpr const char* COLOR_USER_NAME_DEFAULT = "00FF0000";
constexpr const char* COLOR_USER_TALK_KEY = "Color.UserTalk";
constexpr const char* COLOR_USER_TALK_DEFAULT = "00000000";
constexpr const char* COLOR_CHAT_KEY = "Color.Chat";
constexpr const char* COLOR_CHAT_DEFAULT = "00C0C0C0";
constexpr COLORREF COLOR_CHAT_DEFAULT_VALUE = 0x00C0C0C0;

constexpr DWORD RULE_LIST_STYLE =
    WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDRAWFIXED;
static_assert(RULE_LIST_STYLE == 0x5000040D);

// Every attribute the record holds, and no more: a rich edit may take the
// further mask bits as CHARFORMAT2 attributes with the record's zero bytes
// behind them (Wine does, and paints the text on a black background).
constexpr DWORD SAMPLE_FORMAT_MASK = CFM_ALL;
constexpr DWORD NAME_FIELD_FORMAT_MASK = CFM_ALL & ~CFM_COLOR;  // colour left as it is
static_assert(SAMPLE_FORMAT_MASK == 0xF800003F);
constexpr LONG FIELD_FONT_TWIPS = 220;  // 11 points
constexpr WPARAM NAME_UNDO_STEPS = 2;
constexpr WPARAM NAME_MAX_CHARS = RULE_NAME_UNITS - 1;  // the name and its terminator fit

constexpr int COLUMN_START_WIDTH = 200;
constexpr int SMALL_ICON_SIZE = 16;

struct Setting {
    char value[SETTING_BYTES];
};

// A missing key or file gives the default; an empty value stays empty.
Setting ReadSetting(const char* key, const char* fallback) {
    Setting setting;
    GetPrivateProfileStringA(SETTINGS_SECTION, key, fallback, setting.value, SETTING_BYTES,
                             g_configPath);
    return setting;
}

// A colour of up to eight hex digits; `colour` keeps its value when none
// can be read.
void ParseColour(const char* text, COLORREF& colour) {
    unsigned int parsed = 0;
    if (std::sscanf(text, "%08X", &parsed) == 1) colour = parsed;
}

// The face name is the text after the last comma.
const char* FaceAfterLastComma(const char* value) {
    const char* comma = std::strrchr(value, ',');
    return comma ? comma + 1 : nullptr;
}

HFONT CreateListFont() {
    const Setting setting = ReadSetting(FONT_LIST_KEY, FONT_LIST_DEFAULT);
    // A number that cannot be read keeps the default's.
    int height = FONT_LIST_DEFAULT_HEIGHT;
    int charset = FONT_LIST_DEFAULT_CHARSET;
    int pitchAndFamily = FONT_LIST_DEFAULT_PITCH;
    std::sscanf(setting.value, "%d,%d,%d,", &height, &charset, &pitchAndFamily);

    // Without a comma there is no face name; a longer one is cut to fit.
    char face[FACE_UNITS] = {};
    if (const char* source = FaceAfterLastComma(setting.value)) {
        std::strncpy(face, source, FACE_UNITS - 1);
    }

    // Compared unsigned, so a negative height counts as too large.
    unsigned limitedHeight = static_cast<unsigned>(height);
    if (limitedHeight < LIST_FONT_MIN_HEIGHT) limitedHeight = LIST_FONT_MIN_HEIGHT;
    if (limitedHeight > LIST_FONT_MAX_HEIGHT) limitedHeight = LIST_FONT_MAX_HEIGHT;

    return CreateFontA(static_cast<int>(limitedHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       static_cast<DWORD>(charset), OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                       PROOF_QUALITY, static_cast<DWORD>(pitchAndFamily), face);
}

// The rows' colours from the settings, and their pens and brushes.
void CreateRowObjects() {
    // Unreadable: the previous opening's colour stays.
    ParseColour(ReadSetting(COLOR_LIST_AM_KEY, COLOR_LIST_AM_DEFAULT).value,
                g_drawing.listAmColour);
    COLORREF highlight = COLOR_LIST_HI_DEFAULT_VALUE;
    ParseColour(ReadSetting(COLOR_LIST_HI_KEY, COLOR_LIST_HI_DEFAULT).value, highlight);
    CreateRowDrawingObjects(highlight);
}

// Character set, pitch and face of Font.Text, 11 points, no effects.
CHARFORMATW FieldCharFormat() {
    CHARFORMATW format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = NAME_FIELD_FORMAT_MASK;
    format.yHeight = FIELD_FONT_TWIPS;

    const Setting setting = ReadSetting(FONT_TEXT_KEY, FONT_TEXT_DEFAULT);
    int charset = 0;
    int pitchAndFamily = 0;
    std::sscanf(setting.value, "%d,%d,", &charset, &pitchAndFamily);
    format.bCharSet = static_cast<BYTE>(charset);
    format.bPitchAndFamily = static_cast<BYTE>(pitchAndFamily);

    const char* source = FaceAfterLastComma(setting.value);
    if (!source) source = FONT_TEXT_FACE_WITHOUT_COMMA;
    // Converted in full, then cut to what szFaceName holds with its terminator.
    wchar_t face[SETTING_BYTES] = {};
    MultiByteToWideChar(CP_UTF8, 0, source, -1, face, SETTING_BYTES);
    face[SETTING_BYTES - 1] = L'\0';
    size_t length = BoundedLength(face, FACE_UNITS - 1);
    if (length == FACE_UNITS - 1 && IS_HIGH_SURROGATE(face[length - 1])) --length;
    std::memcpy(format.szFaceName, face, length * sizeof(wchar_t));
    format.szFaceName[length] = L'\0';
    return format;
}

void SetUpNameField(HWND dialog, CHARFORMATW& format) {
    const HWND name = GetDlgItem(dialog, IDC_NAME);
    SendMessageA(name, EM_SETTEXTMODE, TM_PLAINTEXT, 0);  // while the field is empty
    SendMessageA(name, EM_SETUNDOLIMIT, NAME_UNDO_STEPS, 0);
    SendMessageA(name, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SendMessageA(name, EM_LIMITTEXT, NAME_MAX_CHARS, 0);
    // Exactly this option: no automatic font switching.
    SendMessageA(name, EM_SETLANGOPTIONS, 0, IMF_AUTOFONTSIZEADJUST);
}

void SetUpColourSamples(HWND dialog, CHARFORMATW& format) {
    format.dwMask = SAMPLE_FORMAT_MASK;
    // Unreadable: black for the nickname, the nickname's colour for messages.
    ParseColour(ReadSetting(COLOR_USER_NAME_KEY, COLOR_USER_NAME_DEFAULT).value,
                format.crTextColor);
    SendMessageA(GetDlgItem(dialog, IDC_NICK_SAMPLE), EM_SETCHARFORMAT, SCF_ALL,
                 reinterpret_cast<LPARAM>(&format));
    ParseColour(ReadSetting(COLOR_USER_TALK_KEY, COLOR_USER_TALK_DEFAULT).value,
                format.crTextColor);
    SendMessageA(GetDlgItem(dialog, IDC_TEXT_SAMPLE), EM_SETCHARFORMAT, SCF_ALL,
                 reinterpret_cast<LPARAM>(&format));

    COLORREF background = COLOR_CHAT_DEFAULT_VALUE;
    ParseColour(ReadSetting(COLOR_CHAT_KEY, COLOR_CHAT_DEFAULT).value, background);
    SendMessageA(GetDlgItem(dialog, IDC_NICK_SAMPLE), EM_SETBKGNDCOLOR, 0, background);
    SendMessageA(GetDlgItem(dialog, IDC_TEXT_SAMPLE), EM_SETBKGNDCOLOR, 0, background);
}

// Column headers and choice-list items go in as UTF-16 through the wide
// messages: ANSI text would be read in the system's code page, and on any
// system but a Cyrillic one the Russian words would come out as other letters.
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

void InsertColumn(HWND list, int position, const char16_t* text) {
    LVCOLUMNW column;
    std::memset(&column, 0, sizeof column);
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = COLUMN_START_WIDTH;
    column.pszText = const_cast<wchar_t*>(Wide(text));
    SendMessageW(list, LVM_INSERTCOLUMNW, position, reinterpret_cast<LPARAM>(&column));
}

template <size_t Count>
void FillChoices(HWND combo, const RuleValueText (&items)[Count]) {
    for (size_t i = 0; i < Count; ++i) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(items[i].text)));
        SendMessageA(combo, CB_SETITEMDATA, i, items[i].value);  // unsorted: index = place
    }
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

// Row 0 ends up selected, with every other state bit, the focus included,
// cleared, and is the selection mark, where the commands look for the
// selected row first.
void InsertRuleRows(HWND list) {
    if (g_ruleCount == 0) return;
    MatchRowsToRules(list);
    LVITEMA row;
    std::memset(&row, 0, sizeof row);
    row.stateMask = ~0u;
    row.state = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&row));
    SendMessageA(list, LVM_SETSELECTIONMARK, 0, 0);
}

}  // namespace

void SetUpEditor(HWND dialog) {
    const HWND list = GetDlgItem(dialog, IDC_RULES);

    ShowTemplateTextsWhole(dialog);
    LetIpFieldScroll(dialog);
    GiveTextsACyrillicFont(dialog);

    g_drawing.listFont = CreateListFont();
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(g_drawing.listFont), 0);
    // Owner-drawn rows, selection shown without focus; no border, no tab stop.
    SetWindowLongA(list, GWL_STYLE, RULE_LIST_STYLE);
    // The border's going changes the frame: Windows recomputes it, and the
    // client area, only when told.
    SetWindowPos(list, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    CreateRowObjects();

    CHARFORMATW format = FieldCharFormat();
    SetUpNameField(dialog, format);
    SetUpColourSamples(dialog, format);

    InsertColumn(list, 0, NAME_COLUMN_TEXT);
    InsertColumn(list, 1, IP_COLUMN_TEXT);
    const COLORREF menu = GetSysColor(COLOR_MENU);
    SendMessageA(list, LVM_SETBKCOLOR, 0, menu);
    SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, menu);

    // Shared, so the icon is never leaked however often the editor opens.
    const HANDLE icon = LoadImageA(g_hEditorInstance, MAKEINTRESOURCEA(IDI_EDITOR), IMAGE_ICON,
                                   SMALL_ICON_SIZE, SMALL_ICON_SIZE, LR_DEFAULTCOLOR | LR_SHARED);
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    FillChoices(GetDlgItem(dialog, IDC_SEARCH), SEARCH_TYPE_TEXTS);
    FillChoices(GetDlgItem(dialog, IDC_STATUS), STATUS_TEXTS);

    InsertRuleRows(list);
    FitNameColumn(dialog);

    ForgetEditHistory();
    HandleRuleListKeys(dialog);
    AcceptDroppedFiles(dialog);
    CreateRuleTips(dialog);
}
