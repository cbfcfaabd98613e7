// The built library as the host sees it before calling anything: its export
// directory, string table, icons and editor dialog template.
#include "tests/support/torvo_test.h"

#include "resource_ids.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class ModuleResources : public ::testing::Test {
protected:
    void SetUp() override { module = LoadModule(); ASSERT_NE(module.handle, nullptr); }
    void TearDown() override { UnloadModule(module); }

    const uint8_t* Resource(LPCSTR type, int id, DWORD* size = nullptr) {
        HRSRC found = FindResourceA(module.handle, MAKEINTRESOURCEA(id), type);
        if (!found) return nullptr;
        if (size) *size = SizeofResource(module.handle, found);
        return static_cast<const uint8_t*>(LockResource(LoadResource(module.handle, found)));
    }

    ScratchFolder folder;
    LoadedModule module;
};

const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE module) {
    auto* base = reinterpret_cast<const uint8_t*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
    return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + rva);
}

TEST_F(ModuleResources, ExportsExactlyTheTwoEntryPointsByNameAndOrdinal) {
    auto* base = reinterpret_cast<const char*>(module.handle);
    const IMAGE_EXPORT_DIRECTORY* exports = ExportDirectory(module.handle);
    EXPECT_STREQ(base + exports->Name, "torvo.jem");
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 2u);
    EXPECT_EQ(exports->NumberOfNames, 2u);

    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module.handle, MAKEINTRESOURCEA(1))),
              reinterpret_cast<void*>(module.setUserState));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module.handle, MAKEINTRESOURCEA(2))),
              reinterpret_cast<void*>(module.setup));
}

TEST_F(ModuleResources, ImportsOnlySystemLibraries) {
    auto* base = reinterpret_cast<const uint8_t*>(module.handle);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    const std::string allowed =
        " kernel32.dll user32.dll gdi32.dll comdlg32.dll wsock32.dll msvcrt.dll advapi32.dll ";
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + rva); entry->Name;
         ++entry) {
        std::string name = reinterpret_cast<const char*>(base + entry->Name);
        for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        EXPECT_NE(allowed.find(" " + name + " "), std::string::npos) << name;
    }
}

TEST_F(ModuleResources, AnswersTheEventQueryWithoutARoom) {
    EXPECT_EQ(module.setUserState(0, nullptr, 0), 8272u);
    EXPECT_EQ(module.setUserState(0, nullptr, 12345), 8272u);
}

std::wstring LoadText(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

TEST_F(ModuleResources, StringTableHoldsTheHostTexts) {
    EXPECT_EQ(LoadText(module.handle, IDS_NAME), L"\u00abTorvo\u00bb");
    EXPECT_EQ(LoadText(module.handle, IDS_VERSION), L"0.80");
    EXPECT_EQ(LoadText(module.handle, IDS_ENTRY_COUNT), L"2");
    EXPECT_EQ(LoadText(module.handle, IDS_ENTRY_SET_USER_STATE),
              L"1,2,\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430 "
              L"\u0441\u0442\u0430\u0442\u0443\u0441\u0430 "
              L"\u043f\u043e\u043b\u044c\u0437\u043e\u0432\u0430\u0442\u0435\u043b\u044f");
    EXPECT_EQ(LoadText(module.handle, IDS_ENTRY_SETUP), L"2,16,Torvo");

    const std::wstring description = LoadText(module.handle, IDS_DESCRIPTION);
    const std::wstring opening =
        L"\u0410\u0432\u0442\u043e\u043c\u0430\u0442\u0438\u0447\u0435\u0441\u043a\u0430\u044f "
        L"\u0443\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430 "
        L"\u043f\u0430\u0440\u0430\u043c\u0435\u0442\u0440\u043e\u0432 "
        L"\u043f\u043e\u0441\u0435\u0442\u0438\u0442\u0435\u043b\u0435\u0439 "
        L"(\u0447\u0451\u0440\u043d\u044b\u0439/\u0431\u0435\u043b\u044b\u0439 "
        L"\u0441\u043f\u0438\u0441\u043e\u043a).\n\n"
        L"\u041f\u043e\u0434\u0434\u0435\u0440\u0436\u043a\u0430, "
        L"\u043e\u0431\u043d\u043e\u0432\u043b\u0435\u043d\u0438\u0435 \u0438 "
        L"\u0441\u043f\u0440\u0430\u0432\u043a\u0430:\n";
    ASSERT_EQ(description.compare(0, opening.size(), opening), 0);
    // Then one line per address: a blank, the address, a line feed.
    std::wstring rest = description.substr(opening.size());
    int lines = 0;
    while (!rest.empty()) {
        const size_t end = rest.find(L'\n');
        ASSERT_NE(end, std::wstring::npos);
        EXPECT_EQ(rest[0], L' ');
        EXPECT_GT(end, 1u);
        rest = rest.substr(end + 1);
        ++lines;
    }
    EXPECT_EQ(lines, 2);
}

TEST_F(ModuleResources, StringTableIsRussianAndOtherResourcesNeutral) {
    EXPECT_NE(FindResourceExA(module.handle, RT_STRING, MAKEINTRESOURCEA(IDS_NAME / 16 + 1),
                              MAKELANGID(LANG_RUSSIAN, SUBLANG_NEUTRAL)),
              nullptr);
    EXPECT_NE(FindResourceExA(module.handle, RT_DIALOG, MAKEINTRESOURCEA(IDD_EDITOR),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
              nullptr);
    EXPECT_NE(FindResourceExA(module.handle, RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_EDITOR),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
              nullptr);
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ModuleResources, BothIconGroupsHoldOneSmall16ColourImage) {
    for (int group : {IDI_MODULE, IDI_EDITOR}) {
        SCOPED_TRACE(group);
        const uint8_t* data = Resource(RT_GROUP_ICON, group);
        ASSERT_NE(data, nullptr);
        const WORD* header = reinterpret_cast<const WORD*>(data);
        EXPECT_EQ(header[1], 1);  // icon, not cursor
        ASSERT_EQ(header[2], 1);  // one image
        IconGroupEntry entry;
        std::memcpy(&entry, data + 6, sizeof entry);
        EXPECT_EQ(entry.width, 16);
        EXPECT_EQ(entry.height, 16);
        EXPECT_EQ(entry.colorCount, 16);
        HICON icon = static_cast<HICON>(
            LoadImageA(module.handle, MAKEINTRESOURCEA(group), IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(icon, nullptr);
        if (icon) DestroyIcon(icon);
    }
}

// One control of the editor template as the template must store it.
struct ExpectedControl {
    int id;
    WORD classOrdinal;     // 0 when the class is stored by name
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    short x, y, cx, cy;
};

const ExpectedControl kControls[] = {
    {IDC_RULES, 0, L"SysListView32", L"", 0x50810005, 2, 2, 420, 116},
    {-1, 0x82, L"Static", L"\u0418\u043c\u044f", 0x50000002, 2, 125, 40, 9},
    {IDC_NAME, 0, L"RichEdit20W", L"", 0x50890080, 46, 122, 290, 14},
    {-1, 0x82, L"Static", L"IP \u0430\u0434\u0440\u0435\u0441", 0x50000002, 2, 139, 40, 9},
    {IDC_IP, 0x81, L"Edit", L"", 0x50810000, 45, 138, 116, 12},
    {-1, 0x82, L"Static", L"\u0422\u0438\u043f \u043f\u043e\u0438\u0441\u043a\u0430", 0x50000002,
     163, 141, 40, 9},
    {IDC_SEARCH, 0x85, L"ComboBox", L"", 0x50010203, 206, 138, 130, 100},
    {-1, 0x82, L"Static", L"\u0421\u0442\u0430\u0442\u0443\u0441", 0x50000002, 7, 172, 34, 9},
    {IDC_STATUS, 0x85, L"ComboBox", L"", 0x50210A03, 45, 170, 116, 50},
    {-1, 0x82, L"Static", L"\u0417\u0432\u0443\u043a", 0x58000002, 7, 188, 34, 9},
    {IDC_SOUND, 0x85, L"ComboBox", L"", 0x58210A03, 45, 186, 116, 50},
    {IDC_NICK_COLOR, 0x80, L"Button", L"\u0426\u0432\u0435\u0442 \u043d\u0438\u043a\u0430",
     0x50010300, 166, 170, 64, 14},
    {IDC_NICK_SAMPLE, 0, L"RichEdit20A", L"NICKNAME", 0x50800801, 232, 170, 104, 14},
    {IDC_TEXT_COLOR, 0x80, L"Button",
     L"\u0426\u0432\u0435\u0442 \u0440\u0435\u043f\u043b\u0438\u043a", 0x50010300, 165, 186, 64,
     14},
    {IDC_TEXT_SAMPLE, 0, L"RichEdit20A", L"MESSAGE", 0x50800801, 232, 186, 104, 14},
    {IDC_ADD, 0x80, L"Button", L"\u0414\u043e\u0431\u0430\u0432\u0438\u0442\u044c", 0x50010300,
     342, 122, 80, 14},
    {IDC_CHANGE, 0x80, L"Button", L"\u0418\u0437\u043c\u0435\u043d\u0438\u0442\u044c",
     0x58010300, 342, 137, 80, 14},
    {IDC_DELETE, 0x80, L"Button", L"\u0423\u0434\u0430\u043b\u0438\u0442\u044c", 0x58010300, 342,
     152, 80, 14},
    {IDC_UP, 0x80, L"Button",
     L"\u041f\u0435\u0440\u0435\u043c\u0435\u0441\u0442\u0438\u0442\u044c \u0432\u0432\u0435\u0440\u0445",
     0x58010300, 342, 170, 80, 14},
    {IDC_DOWN, 0x80, L"Button",
     L"\u041f\u0435\u0440\u0435\u043c\u0435\u0441\u0442\u0438\u0442\u044c \u0432\u043d\u0438\u0437",
     0x58010300, 342, 186, 80, 14},
};

// Reads a DLGTEMPLATEEX field that is an ordinal (0xFFFF, value) or a string.
const WORD* ReadSzOrOrdinal(const WORD* p, WORD* ordinal, std::wstring* text) {
    *ordinal = 0;
    text->clear();
    if (*p == 0xFFFF) {
        *ordinal = p[1];
        return p + 2;
    }
    while (*p) text->push_back(static_cast<wchar_t>(*p++));
    return p + 1;
}

const WORD* AlignDword(const WORD* p, const uint8_t* base) {
    const size_t offset = reinterpret_cast<const uint8_t*>(p) - base;
    return reinterpret_cast<const WORD*>(base + ((offset + 3) & ~size_t(3)));
}

TEST_F(ModuleResources, DialogTemplateIsStoredExactly) {
    DWORD size = 0;
    const uint8_t* base = Resource(RT_DIALOG, IDD_EDITOR, &size);
    ASSERT_NE(base, nullptr);
    const WORD* p = reinterpret_cast<const WORD*>(base);
    EXPECT_EQ(p[0], 1);       // version
    EXPECT_EQ(p[1], 0xFFFF);  // extended template
    DWORD helpId, exStyle, style;
    std::memcpy(&helpId, p + 2, 4);
    std::memcpy(&exStyle, p + 4, 4);
    std::memcpy(&style, p + 6, 4);
    EXPECT_EQ(helpId, 0u);
    EXPECT_EQ(exStyle, 0x1u);
    EXPECT_EQ(style, 0x90CA08C4u);
    EXPECT_EQ(p[8], 20);  // controls
    EXPECT_EQ(static_cast<short>(p[9]), 0);
    EXPECT_EQ(static_cast<short>(p[10]), 0);
    EXPECT_EQ(p[11], 424);
    EXPECT_EQ(p[12], 202);
    p += 13;
    WORD ordinal;
    std::wstring text;
    p = ReadSzOrOrdinal(p, &ordinal, &text);  // menu
    EXPECT_EQ(ordinal, 0);
    EXPECT_TRUE(text.empty());
    p = ReadSzOrOrdinal(p, &ordinal, &text);  // class
    EXPECT_EQ(ordinal, 0);
    EXPECT_TRUE(text.empty());
    p = ReadSzOrOrdinal(p, &ordinal, &text);  // caption
    EXPECT_EQ(text, L"Torvo");
    EXPECT_EQ(p[0], 8);  // points
    EXPECT_EQ(p[1], 0);  // weight
    EXPECT_EQ(p[2] & 0xFF, 0);       // italic
    EXPECT_EQ(p[2] >> 8, 1);         // DEFAULT_CHARSET
    p = ReadSzOrOrdinal(p + 3, &ordinal, &text);
    EXPECT_EQ(text, L"MS Sans Serif");

    for (const ExpectedControl& expected : kControls) {
        SCOPED_TRACE(expected.id);
        p = AlignDword(p, base);
        DWORD itemHelp, itemExStyle, itemStyle, itemId;
        std::memcpy(&itemHelp, p, 4);
        std::memcpy(&itemExStyle, p + 2, 4);
        std::memcpy(&itemStyle, p + 4, 4);
        EXPECT_EQ(itemHelp, 0u);
        EXPECT_EQ(itemExStyle, 0u);
        EXPECT_EQ(itemStyle, expected.style);
        EXPECT_EQ(static_cast<short>(p[6]), expected.x);
        EXPECT_EQ(static_cast<short>(p[7]), expected.y);
        EXPECT_EQ(static_cast<short>(p[8]), expected.cx);
        EXPECT_EQ(static_cast<short>(p[9]), expected.cy);
        std::memcpy(&itemId, p + 10, 4);
        EXPECT_EQ(static_cast<int>(itemId), expected.id);
        p = ReadSzOrOrdinal(p + 12, &ordinal, &text);
        if (expected.classOrdinal) {
            EXPECT_EQ(ordinal, expected.classOrdinal);
        } else {
            EXPECT_EQ(text, expected.className);
        }
        p = ReadSzOrOrdinal(p, &ordinal, &text);
        EXPECT_EQ(text, expected.text);
        EXPECT_EQ(*p, 0);  // no creation data
        ++p;
    }
    EXPECT_LE(reinterpret_cast<const uint8_t*>(p), base + size);
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

TEST_F(ModuleResources, DialogTemplateCreatesEveryControl) {
    PrepareHostClasses();
    HWND dialog = CreateDialogParamA(module.handle, MAKEINTRESOURCEA(IDD_EDITOR), nullptr,
                                     PlainDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    EXPECT_TRUE(IsWindowVisible(dialog));
    wchar_t caption[32] = {};
    GetWindowTextW(dialog, caption, 32);
    EXPECT_STREQ(caption, L"Torvo");

    int index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ASSERT_LT(index, 20);
        const ExpectedControl& expected = kControls[index++];
        SCOPED_TRACE(expected.id);
        EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), expected.id);
        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        EXPECT_EQ(lstrcmpiW(className, expected.className), 0) << className;
        if (expected.classOrdinal) {  // rich edit text needs its own messages
            wchar_t text[64] = {};
            GetWindowTextW(child, text, 64);
            EXPECT_STREQ(text, expected.text);
        }
        // Controls redraw their own borders and scroll bars, so only these
        // bits survive creation unchanged; the template test checks the rest.
        constexpr DWORD kept = WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP;
        EXPECT_EQ(GetWindowLongA(child, GWL_STYLE) & kept, expected.style & kept);
        EXPECT_EQ(IsWindowEnabled(child) != FALSE, (expected.style & WS_DISABLED) == 0);
    }
    EXPECT_EQ(index, 20);
    DestroyWindow(dialog);
}

}  // namespace
