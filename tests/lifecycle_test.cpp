// Loading, opening and closing the editor, and unloading, through the built
// module as the host drives it.
#include "tests/support/torvo_test.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

BOOL CALLBACK CollectEditor(HWND window, LPARAM found) {
    char className[32] = {};
    char caption[32] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") == 0 && std::strcmp(caption, "Torvo") == 0) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

// Editor dialogs among this thread's top-level windows.
std::vector<HWND> EditorWindows() {
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectEditor, reinterpret_cast<LPARAM>(&found));
    return found;
}

_CFG_INFO MakeConfig(uint32_t charMode = 0) {
    _CFG_INFO config;
    std::memset(&config, 0, sizeof config);
    config.charMode = charMode;
    std::strcpy(config.configFile, "C:\\nowhere\\host.ini");
    return config;
}

// A name rule, an IP rule with a range that only a file can hold, and a
// rule whose reserved bytes carry data: what the module must keep intact.
std::vector<_RULE> CraftedRules() {
    _RULE byName = MakeRule(L"\u0412\u0430\u0441\u044f", SEARCH_NAME, STATUS_IGNORE,
                            0x000000FF, 0x0000FF00);
    _RULE byRange = MakeRule(L"", SEARCH_IP, STATUS_NO_PRIVATE, 0x00FF0000, 0x00123456);
    std::strcpy(byRange.ipText, "10.1.1.1-10.1.1.9");
    byRange.ipLow = Address("10.1.1.1");
    byRange.ipHigh = Address("10.1.1.9");
    for (size_t i = 0; i < sizeof byRange.reserved; ++i) {
        byRange.reserved[i] = static_cast<uint8_t>(i * 13 + 1);
    }
    std::memcpy(byRange.name + 1, L"leftover", 16);  // behind the terminator
    return {byName, byRange};
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override { PrepareHostClasses(); }
    void TearDown() override {
        UnloadModule(module);
        PumpMessages();
    }

    void Load() {
        module = LoadModule();
        ASSERT_NE(module.handle, nullptr);
    }

    // Opens (or focuses) the editor as the host does and returns the one
    // editor window that then exists.
    HWND Setup(uint32_t charMode = 0) {
        _CFG_INFO config = MakeConfig(charMode);
        EXPECT_EQ(module.setup(0, nullptr, &config), 0u);
        PumpMessages();
        const std::vector<HWND> editors = EditorWindows();
        EXPECT_EQ(editors.size(), 1u);
        return editors.empty() ? nullptr : editors.front();
    }

    LoadedModule module;
};

class LifecycleInFolder : public Lifecycle {
protected:
    ScratchFolder folder;
};

TEST_F(LifecycleInFolder, LoadReadsTheRuleFileAndUnloadWritesItBack) {
    const std::vector<_RULE> rules = CraftedRules();
    const std::vector<uint8_t> records = RuleBytes(rules);
    std::vector<uint8_t> file = records;
    file.resize(file.size() + 100, 0x77);  // a part record, dropped on the way
    WriteFileBytes(RULE_FILE, file);
    Load();
    ASSERT_TRUE(DeleteFileA(RULE_FILE));

    // The rules act on the room only if loading read them.
    HWND userList = CreateMessageSink();
    TestRoom room;
    FillRoom(room,
             {MakeVisitor(L"\u0412\u0430\u0441\u044f", "192.168.1.1", 0x05),
              MakeVisitor(L"other", "10.1.1.5", 0x07), MakeVisitor(L"third", "10.1.1.10", 0x01)},
             nullptr, userList);
    EXPECT_EQ(module.setUserState(16, &room.room, 0), 0u);
    EXPECT_EQ(room.users[0].state, 0x305u);
    EXPECT_EQ(room.users[0].nickColor, 0x000000FFu);
    EXPECT_EQ(room.users[0].textColor, 0x0000FF00u);
    EXPECT_EQ(room.users[1].state, 0x107u);
    EXPECT_EQ(room.users[1].nickColor, 0x00FF0000u);
    EXPECT_EQ(room.users[1].textColor, 0x00123456u);
    EXPECT_EQ(room.users[2].state, 0x01u);
    EXPECT_EQ(room.users[2].nickColor, 0x00ABCDEFu);
    EXPECT_EQ(TakeRedraws(userList).size(), 2u);
    DestroyWindow(userList);

    UnloadModule(module);
    EXPECT_EQ(ReadFileBytes(RULE_FILE), records);
}

TEST_F(LifecycleInFolder, UnloadWithoutEditorWritesTheFile) {
    Load();
    EXPECT_EQ(module.setUserState(0, nullptr, 0), 8272u);
    UnloadModule(module);
    ASSERT_TRUE(FileExists(RULE_FILE));
    EXPECT_TRUE(ReadFileBytes(RULE_FILE).empty());
}

TEST_F(Lifecycle, WithoutModulesFolderNothingBreaks) {
    ScratchFolder bare(false);
    Load();
    HWND editor = Setup();
    ASSERT_NE(editor, nullptr);
    SendMessageA(editor, WM_COMMAND, IDCANCEL, 0);
    PumpMessages();
    EXPECT_FALSE(IsWindow(editor));
    UnloadModule(module);
    EXPECT_FALSE(FileExists("MODULES"));
}

TEST_F(LifecycleInFolder, SecondSetupFocusesAndRestoresTheOpenEditor) {
    Load();
    HWND editor = Setup();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(IsWindowVisible(editor));

    // Something else of the host's takes the focus meanwhile.
    HWND other = CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 20, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SetFocus(other);
    PumpMessages();
    ASSERT_EQ(GetFocus(), other);

    EXPECT_EQ(Setup(), editor);
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == editor || IsChild(editor, focus));

    // A minimised editor comes back into sight as well as taking the focus.
    ShowWindow(editor, SW_MINIMIZE);
    PumpMessages();
    ASSERT_TRUE(IsIconic(editor));
    EXPECT_EQ(Setup(), editor);
    EXPECT_FALSE(IsIconic(editor));
    EXPECT_TRUE(IsWindowVisible(editor));
    focus = GetFocus();
    EXPECT_TRUE(focus == editor || IsChild(editor, focus));
    DestroyWindow(other);
}

TEST_F(LifecycleInFolder, ClosingSavesAndTheNextSetupMakesANewEditor) {
    WriteRuleFile(CraftedRules());
    const std::vector<uint8_t> records = ReadFileBytes(RULE_FILE);
    Load();

    HWND editor = Setup();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(DeleteFileA(RULE_FILE));
    SendMessageA(editor, WM_COMMAND, IDCANCEL, 0);
    PumpMessages();
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_TRUE(EditorWindows().empty());
    EXPECT_EQ(ReadFileBytes(RULE_FILE), records);

    // The close box closes it the same way.
    editor = Setup();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(DeleteFileA(RULE_FILE));
    SendMessageA(editor, WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(ReadFileBytes(RULE_FILE), records);

    // Opened and closed editors are not closed again at unload, but the
    // rules are saved once more.
    editor = Setup();
    ASSERT_NE(editor, nullptr);
    SendMessageA(editor, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(DeleteFileA(RULE_FILE));
    UnloadModule(module);
    EXPECT_EQ(ReadFileBytes(RULE_FILE), records);
}

TEST_F(LifecycleInFolder, UnloadWithTheEditorOpenClosesItAndSaves) {
    WriteRuleFile(CraftedRules());
    const std::vector<uint8_t> records = ReadFileBytes(RULE_FILE);
    Load();
    HWND editor = Setup();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(DeleteFileA(RULE_FILE));

    UnloadModule(module);
    PumpMessages();
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_TRUE(EditorWindows().empty());
    EXPECT_EQ(ReadFileBytes(RULE_FILE), records);
}

TEST_F(LifecycleInFolder, OverlongConfigFileIsCutNotOverrun) {
    Load();
    // 300 characters and a terminator, in a host record that goes on.
    std::vector<uint8_t> record(sizeof(_CFG_INFO) + 100, 0);
    auto* config = reinterpret_cast<_CFG_INFO*>(record.data());
    std::memset(config->configFile, 'c', 300);
    EXPECT_EQ(module.setup(0, nullptr, config), 0u);
    PumpMessages();
    const std::vector<HWND> editors = EditorWindows();
    ASSERT_EQ(editors.size(), 1u);
    SendMessageA(editors.front(), WM_COMMAND, IDCANCEL, 0);

    // A text that runs to the end of readable memory without a terminator.
    GuardedPage page;
    ASSERT_TRUE(page.ok());
    auto* cut = reinterpret_cast<_CFG_INFO*>(page.end() - sizeof(_CFG_INFO));
    std::memset(cut, 0, sizeof(_CFG_INFO));
    std::memset(cut->configFile, 'd', sizeof cut->configFile);
    EXPECT_EQ(module.setup(0, nullptr, cut), 0u);
    PumpMessages();
    EXPECT_EQ(EditorWindows().size(), 1u);

    UnloadModule(module);
    EXPECT_TRUE(FileExists(RULE_FILE));
}

}  // namespace
