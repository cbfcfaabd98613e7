// The rule editor as it opens through the module's Torvo_Setup: appearance
// settings from the host's INI file (defaults, limits, odd values), the
// controls' first state, one row per rule, and the owner-drawn rows captured
// into a bitmap. Opening the editor is slow in the test guest, so tests that
// only look share one opening.
#include "tests/support/torvo_test.h"

#include "resource_ids.h"
#include "rules/rule_memo.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <richedit.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// The texts of the columns and choice lists, read back through the wide
// calls: the same on a system of any code page.
const wchar_t NAME_COLUMN[] = L"\u0418\u043c\u044f";  // "Имя"
const wchar_t* const SEARCH_TEXTS[] = {
    L"\u0421\u043e\u0432\u043f\u0430\u0434\u0435\u043d\u0438\u0435 \u0438\u043c\u0435\u043d\u0438",  // "Совпадение имени"
    L"\u0421\u043e\u0432\u043f\u0430\u0434\u0435\u043d\u0438\u0435 IP",  // "Совпадение IP"
    // "Совпадение имени и IP"
    L"\u0421\u043e\u0432\u043f\u0430\u0434\u0435\u043d\u0438\u0435 \u0438\u043c\u0435\u043d\u0438 \u0438 IP",
    // "Совпадение имени или IP"
    L"\u0421\u043e\u0432\u043f\u0430\u0434\u0435\u043d\u0438\u0435 \u0438\u043c\u0435\u043d\u0438 \u0438\u043b\u0438 IP",
};
const wchar_t* const STATUS_TEXTS[] = {
    L"\u043d\u0435 \u043c\u0435\u043d\u044f\u0435\u0442\u0441\u044f",                  // "не меняется"
    L"\u0440\u0430\u0437\u0440\u0435\u0448\u0435\u043d\u043e \u0432\u0441\u0435",    // "разрешено все"
    L"\u043f\u0440\u0438\u0432\u0430\u0442 \u0437\u0430\u043f\u0440\u0435\u0449\u0435\u043d",  // "приват запрещен"
    L"\u0438\u0433\u043d\u043e\u0440\u0438\u0440\u043e\u0432\u0430\u043d\u0438\u0435",  // "игнорирование"
};
// The dialog's labels and button texts, in the template's order.
const wchar_t* const TEMPLATE_TEXTS[] = {
    L"\u0418\u043c\u044f",                                      // "Имя"
    L"IP \u0430\u0434\u0440\u0435\u0441",                     // "IP адрес"
    L"\u0422\u0438\u043f \u043f\u043e\u0438\u0441\u043a\u0430",  // "Тип поиска"
    L"\u0421\u0442\u0430\u0442\u0443\u0441",                 // "Статус"
    L"\u0417\u0432\u0443\u043a",                               // "Звук"
    L"\u0426\u0432\u0435\u0442 \u043d\u0438\u043a\u0430",  // "Цвет ника"
    L"\u0426\u0432\u0435\u0442 \u0440\u0435\u043f\u043b\u0438\u043a",  // "Цвет реплик"
    L"\u0414\u043e\u0431\u0430\u0432\u0438\u0442\u044c",   // "Добавить"
    L"\u0418\u0437\u043c\u0435\u043d\u0438\u0442\u044c",   // "Изменить"
    L"\u0423\u0434\u0430\u043b\u0438\u0442\u044c",          // "Удалить"
    // "Переместить вверх", "Переместить вниз"
    L"\u041f\u0435\u0440\u0435\u043c\u0435\u0441\u0442\u0438\u0442\u044c \u0432\u0432\u0435\u0440\u0445",
    L"\u041f\u0435\u0440\u0435\u043c\u0435\u0441\u0442\u0438\u0442\u044c \u0432\u043d\u0438\u0437",
};

constexpr DWORD OWNER_DRAWN_LIST_STYLE = 0x5000040D;

// Distinctive row colours, and their INI lines.
constexpr COLORREF LIST_HI = RGB(0xF0, 0xA0, 0x30);
constexpr COLORREF LIST_AM = RGB(0x20, 0xB0, 0x40);
const char PAINT_SETTINGS[] = "Color.ListHI=0030A0F0\r\nColor.ListAM=0040B020\r\n";
constexpr int ENOUGH_PIXELS = 5;  // glyph stems in the exact text colour

// A nickname with many upright strokes, so that its colour shows unblended.
_RULE PaintRule(int32_t status, const char* ip = "") {
    _RULE rule = MakeRule(L"HHHHMMMMHHHH", SEARCH_NAME, status);
    strncpy(rule.ipText, ip, RULE_IP_TEXT_BYTES - 1);
    return rule;
}

// A rule whose memo says it expired a minute ago.
_RULE ExpiredRule(int32_t status) {
    _RULE rule = PaintRule(status);
    RuleMemo memo{};
    memo.expires = static_cast<int64_t>(std::time(nullptr)) - 60;
    WriteRuleMemo(rule, memo);
    return rule;
}

std::vector<_RULE> SomeRules(int count) {
    return std::vector<_RULE>(static_cast<size_t>(count), PaintRule(STATUS_ALLOW_ALL, "10.0.0.1"));
}

std::wstring ComboText(HWND combo, int index) {
    const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length < 0) return L"<none>";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

std::wstring ColumnText(HWND list, int column) {
    wchar_t text[64] = {};
    LVCOLUMNW query{};
    query.mask = LVCF_TEXT;
    query.pszText = text;
    query.cchTextMax = 64;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&query));
    return text;
}

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// A window's client area as a 32-bit top-down bitmap.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB

    COLORREF At(int x, int y) const {
        const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int Count(const RECT& area, COLORREF colour) const {
        int count = 0;
        for (LONG y = std::max<LONG>(area.top, 0); y < std::min<LONG>(area.bottom, height); ++y) {
            for (LONG x = std::max<LONG>(area.left, 0); x < std::min<LONG>(area.right, width); ++x) {
                if (At(x, y) == colour) ++count;
            }
        }
        return count;
    }
    int CountOther(const RECT& area, COLORREF background) const {
        const RECT inside{std::max<LONG>(area.left, 0), std::max<LONG>(area.top, 0),
                          std::min<LONG>(area.right, width), std::min<LONG>(area.bottom, height)};
        const LONG size = (inside.right - inside.left) * (inside.bottom - inside.top);
        return static_cast<int>(size) - Count(inside, background);
    }
};

// What the list paints for WM_PRINTCLIENT, owner-drawn rows included.
Picture CaptureClient(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    Picture picture;
    picture.width = client.right;
    picture.height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                 PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    const auto* first = static_cast<const uint32_t*>(bits);
    picture.pixels.assign(first, first + picture.width * picture.height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return picture;
}

// The module loaded over a rule file in a scratch folder, the editor it
// opens, and ways to look at that editor.
class EditorSession {
public:
    ~EditorSession() {
        if (dialog) Close();
        UnloadModule(module);
    }

    void Load(const std::vector<_RULE>& rules) {
        WriteRuleFile(rules);
        PrepareHostClasses();
        module = LoadModule();
        ASSERT_NE(module.setup, nullptr);
    }

    // INI lines of section "Main", written before the editor opens.
    void WriteSettings(const std::string& lines) {
        const std::string text = "[Main]\r\n" + lines;
        WriteFileBytes(SettingsPath(), std::vector<uint8_t>(text.begin(), text.end()));
    }
    std::string SettingsPath() const { return folder.path() + "\\host.ini"; }

    void Open(const std::string& configPath) {
        dialog = OpenEditor(module, configPath);
        ASSERT_NE(dialog, nullptr);
    }
    void OpenWithSettings(const std::string& lines) {
        WriteSettings(lines);
        Open(SettingsPath());
    }
    void OpenWithoutSettings() { Open(folder.path() + "\\missing.ini"); }

    void Close() {
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        dialog = nullptr;
    }

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    HWND List() const { return Item(IDC_RULES); }

    LOGFONTA ListFont() const {
        LOGFONTA font{};
        const auto handle = reinterpret_cast<HFONT>(SendMessageA(List(), WM_GETFONT, 0, 0));
        EXPECT_NE(handle, nullptr);
        EXPECT_EQ(GetObjectA(handle, sizeof font, &font), static_cast<int>(sizeof font));
        return font;
    }

    // The character format of a rich edit's whole text.
    template <typename Format>
    Format CharFormat(int id) const {
        Format format;
        std::memset(&format, 0, sizeof format);
        format.cbSize = sizeof format;
        SendMessageW(Item(id), EM_SETSEL, 0, -1);
        SendMessageW(Item(id), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        SendMessageW(Item(id), EM_SETSEL, 0, 0);
        return format;
    }
    CHARFORMATW Format(int id) const { return CharFormat<CHARFORMATW>(id); }

    // The rich edit answers a new background with the old one; put it back.
    COLORREF SampleBackground(int id) const {
        const auto old = static_cast<COLORREF>(SendMessageA(Item(id), EM_SETBKGNDCOLOR, 0, 0));
        SendMessageA(Item(id), EM_SETBKGNDCOLOR, 0, old);
        return old;
    }

    int ColumnWidth(int column) const {
        return static_cast<int>(SendMessageA(List(), LVM_GETCOLUMNWIDTH, column, 0));
    }
    int SelectedRow() const {
        return static_cast<int>(SendMessageA(List(), LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    }
    int RowCount() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }
    void ExpectColumnsFillTheList() const {
        RECT client;
        GetClientRect(List(), &client);
        EXPECT_EQ(ColumnWidth(1), 200);
        EXPECT_EQ(ColumnWidth(0) + ColumnWidth(1), client.right);
    }

    RECT Row(int index) const {
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        SendMessageA(List(), LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&row));
        return row;
    }
    // Where the row's nickname may be drawn: from L + 2 to the end of column 0.
    RECT NicknameArea(int index) const {
        const RECT row = Row(index);
        return RECT{row.left + 2, row.top, ColumnWidth(0), row.bottom};
    }
    // Beyond both texts, near the row's right end.
    COLORREF BackgroundOf(const Picture& picture, int index) const {
        const RECT row = Row(index);
        return picture.At(row.right - 4, (row.top + row.bottom) / 2);
    }
    // Only `index` selected, no row focused.
    void Select(int index) const { SetOnlyState(index, LVIS_SELECTED); }
    // Only `index` focused, no row selected.
    void FocusOnly(int index) const { SetOnlyState(index, LVIS_FOCUSED); }
    void SetOnlyState(int index, UINT state) const {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(List(), LVM_SETITEMSTATE, -1, reinterpret_cast<LPARAM>(&item));
        item.state = state;
        SendMessageA(List(), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
    }

    ScratchFolder folder;  // first: made current before the module loads
    LoadedModule module;
    HWND dialog = nullptr;
};

// A fresh module and folder for each test.
class Editor : public ::testing::Test, protected EditorSession {};

// One opening shared by the tests of a suite, which only look (or put back
// what they change).
template <typename Suite>
class SharedEditor : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        delete session;
        session = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(session && session->dialog) << "the editor did not open"; }
    static EditorSession* session;
};
template <typename Suite>
EditorSession* SharedEditor<Suite>::session = nullptr;

// ---------------------------------------------------------------------------
// Without a settings file, over three rules

class EditorDefaults : public SharedEditor<EditorDefaults> {
protected:
    static void SetUpTestSuite() {
        session = new EditorSession;
        session->Load({PaintRule(STATUS_NO_PRIVATE), PaintRule(0), PaintRule(0)});
        session->OpenWithoutSettings();
    }
    const EditorSession& editor = *session;
};

TEST_F(EditorDefaults, ListFontIsArial16Russian) {
    const LOGFONTA font = editor.ListFont();
    EXPECT_EQ(font.lfHeight, 16);
    EXPECT_EQ(font.lfWidth, 0);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
    EXPECT_EQ(font.lfCharSet, RUSSIAN_CHARSET);
    EXPECT_EQ(font.lfOutPrecision, OUT_TT_PRECIS);
    EXPECT_EQ(font.lfClipPrecision, CLIP_DEFAULT_PRECIS);
    EXPECT_EQ(font.lfQuality, PROOF_QUALITY);
    EXPECT_EQ(font.lfPitchAndFamily, 0);
    EXPECT_STREQ(font.lfFaceName, "Arial");
}

TEST_F(EditorDefaults, SamplesAndNameFieldUseTimesNewRomanAt11Points) {
    const CHARFORMATW nick = editor.Format(IDC_NICK_SAMPLE);
    const CHARFORMATW text = editor.Format(IDC_TEXT_SAMPLE);
    const CHARFORMATW name = editor.Format(IDC_NAME);
    for (const CHARFORMATW* format : {&nick, &text, &name}) {
        EXPECT_STREQ(format->szFaceName, L"Times New Roman");
        EXPECT_EQ(format->bCharSet, RUSSIAN_CHARSET);
        EXPECT_EQ(format->bPitchAndFamily, 0);
        EXPECT_EQ(format->yHeight, 220);
        EXPECT_EQ(format->dwEffects & (CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT), 0u);
    }
    EXPECT_EQ(nick.crTextColor, 0x00FF0000u);
    EXPECT_EQ(text.crTextColor, 0x00000000u);
    EXPECT_EQ(nick.dwEffects & CFE_AUTOCOLOR, 0u);
    EXPECT_EQ(text.dwEffects & CFE_AUTOCOLOR, 0u);
    EXPECT_EQ(editor.SampleBackground(IDC_NICK_SAMPLE), 0x00C0C0C0u);
    EXPECT_EQ(editor.SampleBackground(IDC_TEXT_SAMPLE), 0x00C0C0C0u);
    EXPECT_EQ(WindowText(editor.Item(IDC_NICK_SAMPLE)), L"NICKNAME");
    EXPECT_EQ(WindowText(editor.Item(IDC_TEXT_SAMPLE)), L"MESSAGE");
    EXPECT_EQ(SendMessageA(editor.Item(IDC_NAME), EM_GETLIMITTEXT, 0, 0), 63);
}

TEST_F(EditorDefaults, TextsKeepAnAutomaticBackground) {
    // Nothing beyond the CHARFORMAT attributes is set, so no text gets a
    // background colour of its own (a zero one would be black).
    for (int id : {IDC_NAME, IDC_NICK_SAMPLE, IDC_TEXT_SAMPLE}) {
        SCOPED_TRACE(id);
        const CHARFORMAT2W format = editor.CharFormat<CHARFORMAT2W>(id);
        EXPECT_TRUE(!(format.dwMask & CFM_BACKCOLOR) || (format.dwEffects & CFE_AUTOBACKCOLOR))
            << std::hex << format.dwMask << " " << format.dwEffects << " " << format.crBackColor;
        EXPECT_TRUE(!(format.dwMask & CFM_WEIGHT) || format.wWeight == FW_NORMAL)
            << format.wWeight;
    }
}

TEST_F(EditorDefaults, ChoiceListsHoldTheirTextsAndItemData) {
    const HWND search = editor.Item(IDC_SEARCH);
    ASSERT_EQ(SendMessageA(search, CB_GETCOUNT, 0, 0), 4);
    const LRESULT searchData[] = {SEARCH_NAME, SEARCH_IP, SEARCH_NAME_AND_IP, SEARCH_NAME_OR_IP};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ComboText(search, i), SEARCH_TEXTS[i]) << i;
        EXPECT_EQ(SendMessageA(search, CB_GETITEMDATA, i, 0), searchData[i]) << i;
    }
    EXPECT_EQ(SendMessageA(search, CB_GETCURSEL, 0, 0), 0);

    const HWND status = editor.Item(IDC_STATUS);
    ASSERT_EQ(SendMessageA(status, CB_GETCOUNT, 0, 0), 4);
    const LRESULT statusData[] = {STATUS_UNCHANGED, STATUS_ALLOW_ALL, STATUS_NO_PRIVATE,
                                  STATUS_IGNORE};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ComboText(status, i), STATUS_TEXTS[i]) << i;
        EXPECT_EQ(SendMessageA(status, CB_GETITEMDATA, i, 0), statusData[i]) << i;
    }
    EXPECT_EQ(SendMessageA(status, CB_GETCURSEL, 0, 0), 0);
}

TEST_F(EditorDefaults, SoundListAndItsLabelStayDisabledAndEmpty) {
    const HWND sound = editor.Item(IDC_SOUND);
    EXPECT_FALSE(IsWindowEnabled(sound));
    EXPECT_EQ(SendMessageA(sound, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(sound, CB_GETCURSEL, 0, 0), CB_ERR);
    const HWND label = GetWindow(sound, GW_HWNDPREV);
    EXPECT_FALSE(IsWindowEnabled(label));
    EXPECT_EQ(WindowText(label), L"\x0417\x0432\x0443\x043A");  // "Звук"
}

TEST_F(EditorDefaults, ListIsOwnerDrawnWithTwoColumnsFillingIt) {
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(editor.List(), GWL_STYLE)),
              OWNER_DRAWN_LIST_STYLE);
    EXPECT_EQ(ColumnText(editor.List(), 0), NAME_COLUMN);
    EXPECT_EQ(ColumnText(editor.List(), 1), L"IP");
    editor.ExpectColumnsFillTheList();
    // The template's border is gone from the frame too: the client area is
    // what the window's present styles leave of it.
    RECT window, client, frame{0, 0, 0, 0};
    GetWindowRect(editor.List(), &window);
    GetClientRect(editor.List(), &client);
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(editor.List(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(editor.List(), GWL_EXSTYLE)));
    EXPECT_EQ(client.right, window.right - window.left - (frame.right - frame.left));
    EXPECT_EQ(client.bottom, window.bottom - window.top - (frame.bottom - frame.top));
    const COLORREF menu = GetSysColor(COLOR_MENU);
    EXPECT_EQ(static_cast<COLORREF>(SendMessageA(editor.List(), LVM_GETBKCOLOR, 0, 0)), menu);
    EXPECT_EQ(static_cast<COLORREF>(SendMessageA(editor.List(), LVM_GETTEXTBKCOLOR, 0, 0)), menu);
}

TEST_F(EditorDefaults, OneRowPerRuleWithOnlyRowZeroSelected) {
    EXPECT_EQ(editor.RowCount(), 3);
    EXPECT_EQ(editor.SelectedRow(), 0);
    EXPECT_EQ(SendMessageA(editor.List(), LVM_GETSELECTEDCOUNT, 0, 0), 1);
    // Every other state bit, the focus included, is clear.
    EXPECT_EQ(SendMessageA(editor.List(), LVM_GETITEMSTATE, 0, ~0u), LVIS_SELECTED);
    EXPECT_EQ(SendMessageA(editor.List(), LVM_GETITEMSTATE, 1, ~0u), 0);
}

TEST_F(EditorDefaults, FieldsEmptyAndOnlyAddAndColourButtonsEnabled) {
    EXPECT_EQ(GetWindowTextLengthW(editor.Item(IDC_NAME)), 0);
    EXPECT_EQ(GetWindowTextLengthW(editor.Item(IDC_IP)), 0);
    for (int id : {IDC_ADD, IDC_NICK_COLOR, IDC_TEXT_COLOR}) {
        EXPECT_TRUE(IsWindowEnabled(editor.Item(id))) << id;
    }
    for (int id : {IDC_CHANGE, IDC_DELETE, IDC_UP, IDC_DOWN}) {
        EXPECT_FALSE(IsWindowEnabled(editor.Item(id))) << id;
    }
}

TEST_F(EditorDefaults, RowsUseLightGreyHighlightAndBlueF0ForNoPrivate) {
    const Picture picture = CaptureClient(editor.List());
    EXPECT_EQ(editor.BackgroundOf(picture, 0), RGB(0xD0, 0xD0, 0xD0));
    EXPECT_EQ(editor.BackgroundOf(picture, 1), GetSysColor(COLOR_MENU));
    EXPECT_GE(picture.Count(editor.NicknameArea(0), RGB(0, 0, 0xF0)), ENOUGH_PIXELS);
}

TEST_F(EditorDefaults, HasASmallIcon) {
    EXPECT_NE(SendMessageA(editor.dialog, WM_GETICON, ICON_SMALL, 0), 0);
}

// Every label and button shows its Russian text, and every control that uses
// the dialog's font draws Cyrillic letters with it, whatever the system's
// code page.
TEST_F(EditorDefaults, LabelsAndButtonsShowTheirRussianTextsInACyrillicFont) {
    std::vector<std::wstring> shown;
    for (HWND child = GetWindow(editor.dialog, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        GetClassNameA(child, className, sizeof className);
        const bool labelOrButton =
            lstrcmpiA(className, "Static") == 0 || lstrcmpiA(className, "Button") == 0;
        if (labelOrButton) shown.push_back(WindowText(child));
        if (!labelOrButton && lstrcmpiA(className, "ComboBox") != 0) continue;
        const HDC dc = GetDC(child);
        const HGDIOBJ previous =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
        EXPECT_EQ(GetTextCharset(dc), RUSSIAN_CHARSET) << className << " " << GetDlgCtrlID(child);
        SelectObject(dc, previous);
        ReleaseDC(child, dc);
    }
    EXPECT_EQ(shown, std::vector<std::wstring>(std::begin(TEMPLATE_TEXTS), std::end(TEMPLATE_TEXTS)));
}

// Every program here runs in the Russian locale, code page 1251; a second
// run of some of them sets a Western locale and says which code page it
// expects, so that they cannot pass in the wrong one.
TEST(CodePage, IsTheOneThisRunIsFor) {
    const char* expected = std::getenv("TORVO_EXPECTED_CODE_PAGE");
    EXPECT_EQ(GetACP(), expected ? static_cast<UINT>(std::atoi(expected)) : 1251u);
}

// ---------------------------------------------------------------------------
// Openings of their own

TEST_F(Editor, SmallIconIsSharedAcrossOpenings) {
    Load({});
    OpenWithoutSettings();
    const auto icon = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
    ASSERT_NE(icon, nullptr);
    Close();
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info)) << "the icon went with the editor";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    OpenWithoutSettings();
    // Loaded shared, so each opening gets the same icon and none piles up.
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0)), icon);
}

TEST_F(Editor, NoRulesGiveNoRowsAndStillAFittedColumn) {
    Load({});
    OpenWithoutSettings();
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(SelectedRow(), -1);
    ExpectColumnsFillTheList();
}

TEST_F(Editor, ColumnsFillTheListBesideAVerticalScrollBar) {
    Load(SomeRules(40));
    OpenWithoutSettings();
    EXPECT_EQ(RowCount(), 40);
    EXPECT_TRUE(GetWindowLongA(List(), GWL_STYLE) & WS_VSCROLL);
    ExpectColumnsFillTheList();
}

// Each settings file is read at the next opening; every key that a file
// lacks, or holds a value for that cannot be read, has a definite result.
TEST_F(Editor, SettingsFromTheHostsFile) {
    const std::string longFace = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::string cutFace = longFace.substr(0, 31);
    const std::wstring cutFaceW(cutFace.begin(), cutFace.end());
    const struct {
        std::string fontList;  // values; empty: the key is left out
        LONG height;
        BYTE listCharset, listPitch;
        std::string listFace;
        std::string fontText;
        BYTE textCharset, textPitch;
        std::wstring textFace;
        std::string userName, userTalk, chat;
        COLORREF nickColour, textColour, background;
    } cases[] = {
        {"10,0,34,Tahoma", 12, 0, 34, "Tahoma",  // held at 12
         "Arial", 0, 0, L"Times New Roman",      // no comma
         "00a0B0c0", "00010203", "123456789", 0x00A0B0C0, 0x00010203, 0x12345678},
        {"0,204,0,Arial", 12, 204, 0, "Arial",
         "204,0,", 204, 0, L"",
         // unreadable: the message colour follows the nickname's
         "00A0B0C0", "zz", "zz", 0x00A0B0C0, 0x00A0B0C0, 0x00C0C0C0},
        {"16,204,0,", 16, 204, 0, "",  // the font mapper picks the face
         "0,34,Courier New", 0, 34, L"Courier New",
         // an empty value is not the default: nothing to read, so black
         "<empty>", "00112233", "", 0, 0x00112233, 0x00C0C0C0},
        {"24,x,1,Verdana", 20, 204, 0, "Verdana",  // unreadable numbers: defaults
         "x,y,Arial", 0, 0, L"Arial",              // unreadable numbers: 0
         "", "", "", 0x00FF0000, 0, 0x00C0C0C0},
        {"-12,0,0," + longFace, 20, 0, 0, cutFace,  // negative counts as large
         "460,290,Arial", 204, 34, L"Arial",        // low 8 bits
         "", "", "", 0x00FF0000, 0, 0x00C0C0C0},
        {"18", 18, 204, 0, "",  // no comma, no face
         "204,0,\xD0\xA8\xD1\x80\xD0\xB8\xD1\x84\xD1\x82", 204, 0,  // UTF-8
         L"\x0428\x0440\x0438\x0444\x0442",                          // "Шрифт"
         "", "", "", 0x00FF0000, 0, 0x00C0C0C0},
        {"abc,def,ghi,Times,  Courier", 16, 204, 0, "  Courier",  // after the last comma
         "204,0," + longFace, 204, 0, cutFaceW,
         "", "", "", 0x00FF0000, 0, 0x00C0C0C0},
        // Only the first 511 characters count: the commas before ",Tahoma" and
        // ",Arial" lie beyond them.
        {"15,0,0," + std::string(580, 'x') + ",Tahoma", 15, 0, 0, std::string(31, 'x'),
         "0,0," + std::string(580, 'y') + ",Arial", 0, 0, std::wstring(31, L'y'),
         std::string(600, '7'), "", "00112233" + std::string(600, '0'), 0x77777777, 0,
         0x00112233},
    };
    Load({});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fontList.substr(0, 40) + " | " + c.fontText.substr(0, 40));
        std::string lines;
        const auto line = [&lines](const char* key, const std::string& value) {
            if (!value.empty()) lines += key + ("=" + (value == "<empty>" ? "" : value)) + "\r\n";
        };
        line("Font.List", c.fontList);
        line("Font.Text", c.fontText);
        line("Color.UserName", c.userName);
        line("Color.UserTalk", c.userTalk);
        line("Color.Chat", c.chat);
        OpenWithSettings(lines);

        const LOGFONTA font = ListFont();
        EXPECT_EQ(font.lfHeight, c.height);
        EXPECT_EQ(font.lfCharSet, c.listCharset);
        EXPECT_EQ(font.lfPitchAndFamily, c.listPitch);
        EXPECT_EQ(std::string(font.lfFaceName), c.listFace);

        for (int id : {IDC_NAME, IDC_NICK_SAMPLE, IDC_TEXT_SAMPLE}) {
            SCOPED_TRACE(id);
            const CHARFORMATW format = Format(id);
            EXPECT_EQ(std::wstring(format.szFaceName), c.textFace);
            EXPECT_EQ(format.bCharSet, c.textCharset);
            EXPECT_EQ(format.bPitchAndFamily, c.textPitch);
            EXPECT_EQ(format.yHeight, 220);
        }
        EXPECT_EQ(Format(IDC_NICK_SAMPLE).crTextColor, c.nickColour);
        EXPECT_EQ(Format(IDC_TEXT_SAMPLE).crTextColor, c.textColour);
        EXPECT_EQ(SampleBackground(IDC_NICK_SAMPLE), c.background);
        EXPECT_EQ(SampleBackground(IDC_TEXT_SAMPLE), c.background);
        Close();
    }
}

// ---------------------------------------------------------------------------
// Row painting, captured with WM_PRINTCLIENT

class EditorPainting : public SharedEditor<EditorPainting> {
protected:
    static void SetUpTestSuite() {
        session = new EditorSession;
        session->Load({PaintRule(STATUS_UNCHANGED), PaintRule(STATUS_ALLOW_ALL),
                       PaintRule(STATUS_NO_PRIVATE), PaintRule(STATUS_IGNORE), PaintRule(STATUS_IGNORE_BIT),
                       PaintRule(0x1000), PaintRule(0), ExpiredRule(STATUS_NO_PRIVATE)});
        session->OpenWithSettings(PAINT_SETTINGS);
    }
    const EditorSession& editor = *session;
    static constexpr int PLAIN_ROW = 6;
};

TEST_F(EditorPainting, SelectedRowHasTheListHIFillOthersTheMenuColour) {
    const COLORREF menu = GetSysColor(COLOR_MENU);
    editor.Select(0);
    Picture picture = CaptureClient(editor.List());
    EXPECT_EQ(editor.BackgroundOf(picture, 0), LIST_HI);
    EXPECT_EQ(editor.BackgroundOf(picture, 1), menu);
    EXPECT_EQ(editor.BackgroundOf(picture, 2), menu);


    editor.Select(2);
    picture = CaptureClient(editor.List());
    EXPECT_EQ(editor.BackgroundOf(picture, 0), menu);
    EXPECT_EQ(editor.BackgroundOf(picture, 2), LIST_HI);
}

// A row is painted into the DC the list hands over and leaves it as it was;
// a paint request from another control is not the rule list's to answer.
TEST_F(EditorPainting, RowPaintingLeavesTheDcAsItWasAndServesOnlyTheRuleList) {
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 20);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ firstBitmap = SelectObject(dc, bitmap);
    const HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    const HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    const HGDIOBJ firstPen = SelectObject(dc, pen);
    const HGDIOBJ firstBrush = SelectObject(dc, brush);
    SetBkMode(dc, OPAQUE);
    const COLORREF dcBackground = RGB(10, 20, 30);
    SetBkColor(dc, dcBackground);
    SetTextColor(dc, RGB(7, 8, 9));

    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_LISTVIEW;
    item.CtlID = IDC_RULES;
    item.itemID = 3;  // ignored: the embossed copy, every colour change
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = ODS_SELECTED;
    item.hwndItem = editor.List();
    item.hDC = dc;
    item.rcItem = RECT{0, 0, 400, 20};
    PatBlt(dc, 0, 0, 400, 20, WHITENESS);
    SendMessageW(editor.dialog, WM_DRAWITEM, IDC_RULES, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(GetPixel(dc, 390, 10), LIST_HI);  // painted
    // The texts lie on the row's fill, without boxes of the DC's background.
    int boxPixels = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 400; ++x) boxPixels += GetPixel(dc, x, y) == dcBackground;
    }
    EXPECT_EQ(boxPixels, 0);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetBkColor(dc), dcBackground);
    EXPECT_EQ(GetTextColor(dc), RGB(7, 8, 9));

    PatBlt(dc, 0, 0, 400, 20, WHITENESS);
    for (int id : {IDC_SEARCH, IDC_STATUS}) {
        item.CtlType = ODT_COMBOBOX;
        item.CtlID = id;
        item.itemID = 0;
        item.hwndItem = editor.Item(id);
        SendMessageW(editor.dialog, WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&item));
    }
    item.CtlID = IDC_RULES;  // the list's identifier, but another window
    item.hwndItem = editor.Item(IDC_SEARCH);
    SendMessageW(editor.dialog, WM_DRAWITEM, IDC_RULES, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(GetPixel(dc, 390, 10), RGB(255, 255, 255));

    SelectObject(dc, firstPen);
    SelectObject(dc, firstBrush);
    SelectObject(dc, firstBitmap);
    DeleteObject(pen);
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(EditorPainting, FocusedRowIsHighlightedToo) {
    SetFocus(editor.List());
    ASSERT_EQ(GetFocus(), editor.List());
    editor.FocusOnly(3);
    const Picture picture = CaptureClient(editor.List());
    EXPECT_EQ(editor.BackgroundOf(picture, 3), LIST_HI);
    EXPECT_EQ(editor.BackgroundOf(picture, 0), GetSysColor(COLOR_MENU));
    SetFocus(nullptr);
    editor.Select(0);
}

TEST_F(EditorPainting, NicknameColourFollowsTheStatus) {
    editor.Select(PLAIN_ROW);  // the others lie on the menu colour
    const Picture picture = CaptureClient(editor.List());
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    const struct {
        int row;
        COLORREF drawn;
        std::vector<COLORREF> absent;
    } cases[] = {
        {0, shadow, {text, LIST_AM}},  // -1: dimmed, though bits 8 and 9 are set
        {1, text, {shadow, LIST_AM}},
        {2, LIST_AM, {text, shadow}},
        {3, shadow, {text, LIST_AM}},
        {4, shadow, {text, LIST_AM}},
        {5, text, {shadow, LIST_AM}},  // bits other than 8 and 9
        {7, GetSysColor(COLOR_GRAYTEXT), {text, LIST_AM}},  // expired: grey, whatever its status
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        const RECT area = editor.NicknameArea(c.row);
        EXPECT_GE(picture.Count(area, c.drawn), ENOUGH_PIXELS);
        for (COLORREF absent : c.absent) EXPECT_EQ(picture.Count(area, absent), 0) << absent;
    }
}

TEST_F(EditorPainting, IgnoredRulesGetALightCopyUnderTheNickname) {
    // The light copy shows only on a fill other than the light menu colour and
    // where the list leaves the text background transparent: the list draws
    // a selected row's texts on its own colour, so the row here is focused
    // but not selected.
    SetFocus(editor.List());
    ASSERT_EQ(GetFocus(), editor.List());
    SendMessageA(editor.List(), LVM_SETTEXTBKCOLOR, 0, CLR_NONE);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const struct {
        int row;
        bool embossed;
    } cases[] = {{3, true}, {4, true}, {0, false}, {2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        editor.FocusOnly(c.row);
        const Picture picture = CaptureClient(editor.List());
        ASSERT_EQ(editor.BackgroundOf(picture, c.row), LIST_HI);
        const RECT area = editor.NicknameArea(c.row);
        if (c.embossed) {
            EXPECT_GE(picture.Count(area, light), ENOUGH_PIXELS);
            EXPECT_GE(picture.Count(area, shadow), ENOUGH_PIXELS);
        } else {
            EXPECT_EQ(picture.Count(area, light), 0);
        }
    }
    SendMessageA(editor.List(), LVM_SETTEXTBKCOLOR, 0, GetSysColor(COLOR_MENU));
    SetFocus(nullptr);
    editor.Select(0);
}

TEST_F(Editor, TextsAreClippedToTheirColumns) {
    _RULE longName = PaintRule(STATUS_NO_PRIVATE, "255.255.255.255-255.255.255.255");
    wcsncpy(WideName(longName), std::wstring(63, L'W').c_str(), RULE_NAME_UNITS - 1);
    Load({longName, PaintRule(0)});
    OpenWithSettings(PAINT_SETTINGS);
    Select(1);
    SendMessageA(List(), LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(60, 0));
    const int nameWidth = ColumnWidth(0);
    const int ipEnd = nameWidth + ColumnWidth(1) - 1;
    const Picture picture = CaptureClient(List());
    const RECT row = Row(0);
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);

    EXPECT_GE(picture.Count(RECT{row.left, row.top, nameWidth, row.bottom}, LIST_AM),
              ENOUGH_PIXELS);
    EXPECT_EQ(picture.Count(RECT{nameWidth, row.top, row.right, row.bottom}, LIST_AM), 0);
    EXPECT_GE(picture.Count(RECT{nameWidth + 2, row.top, ipEnd, row.bottom}, text), ENOUGH_PIXELS);
    EXPECT_EQ(picture.Count(RECT{ipEnd, row.top, row.right, row.bottom}, text), 0);
    EXPECT_EQ(picture.Count(RECT{row.left, row.top, nameWidth + 2, row.bottom}, text), 0);
}

TEST_F(Editor, RowWithoutARuleShowsOnlyItsBackground) {
    Load({PaintRule(0, "10.0.0.1"), PaintRule(0, "10.0.0.2")});
    OpenWithSettings(PAINT_SETTINGS);
    LVITEMA extra{};  // a row the list holds beyond the rules
    extra.iItem = 2;
    ASSERT_EQ(SendMessageA(List(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&extra)), 2);
    const Picture picture = CaptureClient(List());
    const COLORREF menu = GetSysColor(COLOR_MENU);
    EXPECT_GT(picture.CountOther(Row(1), menu), 0);  // a rule's row has text
    EXPECT_EQ(picture.CountOther(Row(2), menu), 0);
}

TEST_F(Editor, UnreadableRowColours) {
    Load({PaintRule(STATUS_NO_PRIVATE), PaintRule(0)});
    // ListHI falls back to its default; ListAM keeps what it was, which is
    // black before any opening could read it.
    OpenWithSettings("Color.ListAM=zz\r\nColor.ListHI=nothex\r\n");
    Picture picture = CaptureClient(List());
    EXPECT_EQ(BackgroundOf(picture, 0), RGB(0xD0, 0xD0, 0xD0));
    Select(1);
    EXPECT_GE(CaptureClient(List()).Count(NicknameArea(0), RGB(0, 0, 0)), ENOUGH_PIXELS);
    Close();

    OpenWithSettings(PAINT_SETTINGS);
    Close();
    OpenWithSettings("Color.ListAM=zz\r\n");
    Select(1);
    EXPECT_GE(CaptureClient(List()).Count(NicknameArea(0), LIST_AM), ENOUGH_PIXELS);
}

}  // namespace
