// The editor opened by the loaded module over a rule file a test writes,
// driven as a user's clicks and keystrokes drive it, and checked by what
// the user sees and by what the rule file holds after closing.
#pragma once

#include "tests/support/torvo_test.h"

#include "resource_ids.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <richedit.h>

#include <cstring>
#include <string>
#include <vector>

class EditorCommands : public ::testing::Test {
protected:
    // Writes `rules` as the rule file, loads the module and opens the editor,
    // with the host's settings file holding `settings` (INI lines of
    // section Main) or, without them, with no settings file.
    void Open(const std::vector<_RULE>& rules, uint32_t charMode = 0,
              const std::string& settings = "") {
        WriteRuleFile(rules);
        module = LoadModule();
        ASSERT_NE(module.handle, nullptr);
        PrepareHostClasses();
        std::string config = folder.path() + "\\absent.ini";
        if (!settings.empty()) {
            config = folder.path() + "\\host.ini";
            const std::string text = "[Main]\r\n" + settings;
            WriteFileBytes(config, std::vector<uint8_t>(text.begin(), text.end()));
        }
        dialog = OpenEditor(module, config, charMode);
        ASSERT_NE(dialog, nullptr);
    }

    void TearDown() override {
        if (dialog && IsWindow(dialog)) Command(IDCANCEL);
        UnloadModule(module);
    }

    HWND Control(int id) { return GetDlgItem(dialog, id); }
    LRESULT List(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageA(Control(IDC_RULES), message, wParam, lParam);
    }

    void Command(int id, WORD code = BN_CLICKED) { PressEditorControl(dialog, id, code); }

    // A key pressed with the rule list focused, with Ctrl and Shift held or
    // not as asked; then typed characters, as the keyboard sends them.
    void Key(WPARAM key, bool control = false, bool shift = false) {
        PressKey(Control(IDC_RULES), key, control, shift);
    }
    void Type(const std::wstring& text) {
        for (wchar_t c : text) SendMessageW(Control(IDC_RULES), WM_CHAR, c, 1);
        PumpMessages();
    }
    // What the module told the operator in its notice (closing it), or "".
    std::wstring TakeNotice() {
        const HWND notice = SaveNoticeOfThisThread();
        if (!notice) return L"";
        const std::wstring text = NoticeText(notice);
        CloseNotice(notice);
        return text;
    }

    // What a mouse click on a row (or on the empty part, row -1) sends.
    void Click(int row) { ClickRuleRow(dialog, row); }

    bool Enabled(int id) { return IsWindowEnabled(Control(id)) != FALSE; }
    int RowCount() { return static_cast<int>(List(LVM_GETITEMCOUNT)); }
    int SelectedRow() { return static_cast<int>(List(LVM_GETNEXTITEM, -1, LVNI_SELECTED)); }
    int SelectedRowCount() { return static_cast<int>(List(LVM_GETSELECTEDCOUNT)); }

    std::wstring Name() {
        wchar_t text[128] = {};
        GetWindowTextW(Control(IDC_NAME), text, 128);
        return text;
    }
    void SetName(const wchar_t* text) { SetWindowTextW(Control(IDC_NAME), text); }
    std::string Ip() {
        char text[64] = {};
        GetWindowTextA(Control(IDC_IP), text, sizeof text);
        return text;
    }
    void SetIp(const char* text) {
        SetWindowTextA(Control(IDC_IP), text);
        PumpMessages();
    }
    void TypeIp(const char* keys) {
        for (const char* key = keys; *key; ++key) {
            SendMessageA(Control(IDC_IP), WM_CHAR, static_cast<unsigned char>(*key), 1);
        }
        PumpMessages();
    }
    int ComboSelection(int id) { return static_cast<int>(SendMessageA(Control(id), CB_GETCURSEL, 0, 0)); }
    void Choose(int id, int item) { SendMessageA(Control(id), CB_SETCURSEL, item, 0); }
    COLORREF SampleColour(int id) {
        CHARFORMATA format{};
        format.cbSize = sizeof format;
        format.dwMask = CFM_COLOR;
        SendMessageA(Control(id), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return format.crTextColor;
    }
    void SetSampleColourTo(int id, COLORREF colour) {
        CHARFORMATA format{};
        format.cbSize = sizeof format;
        format.dwMask = CFM_COLOR;
        format.crTextColor = colour;
        SendMessageA(Control(id), EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    }

    // Closes the editor as the user does and returns what it saved.
    std::vector<_RULE> CloseAndReadFile() {
        Command(IDCANCEL);
        EXPECT_FALSE(IsWindow(dialog));
        dialog = nullptr;
        return ReadRuleFile();
    }

    ScratchFolder folder;
    LoadedModule module;
    HWND dialog = nullptr;
};

inline _RULE Rule(const wchar_t* name, const char* ipText = "", int32_t search = SEARCH_NAME,
           int32_t status = STATUS_IGNORE) {
    _RULE rule = MakeRule(name, search, status);
    std::strncpy(rule.ipText, ipText, sizeof rule.ipText - 1);
    return rule;
}

inline std::vector<std::wstring> Names(const std::vector<_RULE>& rules) {
    std::vector<std::wstring> names;
    for (const _RULE& rule : rules) names.emplace_back(WideName(rule));
    return names;
}
