// Loading, opening and closing the editor, and unloading, through the built
// module as the host drives it.
#include "tests/support/torvo_test.h"

#include "resource_ids.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

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

std::vector<_RULE> NumberedRules(int count) {
    std::vector<_RULE> rules;
    for (int i = 0; i < count; ++i) {
        rules.push_back(MakeRule((L"rule " + std::to_wstring(i)).c_str(), SEARCH_NAME));
        std::memset(rules.back().reserved, i, sizeof rules.back().reserved);
    }
    return rules;
}

int RowCount(HWND editor) {
    return static_cast<int>(SendDlgItemMessageA(editor, IDC_RULES, LVM_GETITEMCOUNT, 0, 0));
}

// The file holds the records of `before` and then one rule named `added`.
void ExpectAddedTo(const std::vector<uint8_t>& before, const wchar_t* added) {
    const std::vector<uint8_t> file = ReadFileBytes(RULE_FILE);
    ASSERT_EQ(file.size(), before.size() + RULE_SIZE);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), file.begin()));
    _RULE last;
    std::memcpy(&last, &file[before.size()], RULE_SIZE);
    EXPECT_EQ(std::wstring(WideName(last)), added);
}

const std::vector<std::string> ONLY_RULE_FILE{"torvo.tdb"};
const std::vector<std::string> RULE_FILE_AND_BACKUP{"torvo.tdb", "torvo.tdb.bak"};

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
        const std::vector<HWND> editors = EditorWindowsOfThisThread();
        EXPECT_EQ(editors.size(), 1u);
        return editors.empty() ? nullptr : editors.front();
    }

    void Close(HWND editor) {
        CancelEditor(editor);
        EXPECT_FALSE(IsWindow(editor));
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
    Close(editor);
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
    EXPECT_TRUE(FocusIsWithin(editor));

    // A minimised editor comes back into sight as well as taking the focus.
    ShowWindow(editor, SW_MINIMIZE);
    PumpMessages();
    ASSERT_TRUE(IsIconic(editor));
    EXPECT_EQ(Setup(), editor);
    EXPECT_FALSE(IsIconic(editor));
    EXPECT_TRUE(IsWindowVisible(editor));
    EXPECT_TRUE(FocusIsWithin(editor));
    DestroyWindow(other);
}

TEST_F(LifecycleInFolder, ClosingSavesAndTheNextSetupMakesANewEditor) {
    WriteRuleFile(CraftedRules());
    const std::vector<uint8_t> records = ReadFileBytes(RULE_FILE);
    Load();

    HWND editor = Setup();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(DeleteFileA(RULE_FILE));
    Close(editor);
    EXPECT_TRUE(EditorWindowsOfThisThread().empty());
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
    EXPECT_TRUE(EditorWindowsOfThisThread().empty());
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
    const std::vector<HWND> editors = EditorWindowsOfThisThread();
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
    EXPECT_EQ(EditorWindowsOfThisThread().size(), 1u);

    UnloadModule(module);
    EXPECT_TRUE(FileExists(RULE_FILE));
}

// A file that another program held when the module loaded is never
// replaced by the empty or cut list that load produced: unedited it is left
// alone, it arrives when the editor opens after it was let go, and an edit
// made while it was still unread replaces it only after keeping it beside.
// (Wine lets reads through a range that LockFile locked, so there the locked
// file loads whole; on Windows its load fails and is tried again.)
TEST_F(Lifecycle, AFileThatCouldNotBeReadAtLoadIsNeverLost) {
    enum class Hold { WithoutSharing, LockedPastFirstMegabyte };
    enum class Then { Unload, OpenEditorOnceFree, EditWhileUnread };
    const struct {
        Hold hold;
        Then then;
    } cases[] = {
        {Hold::WithoutSharing, Then::Unload},
        {Hold::WithoutSharing, Then::OpenEditorOnceFree},
        {Hold::WithoutSharing, Then::EditWhileUnread},
        {Hold::LockedPastFirstMegabyte, Then::Unload},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "hold " << static_cast<int>(c.hold) << ", then "
                                        << static_cast<int>(c.then));
        ScratchFolder scratch;
        constexpr int count = 3000;  // 1.38 MB
        WriteRuleFile(NumberedRules(count));
        const std::vector<uint8_t> original = ReadFileBytes(RULE_FILE);
        HeldFile held(RULE_FILE, c.hold == Hold::WithoutSharing ? 0 : FILE_SHARE_READ);
        constexpr DWORD megabyte = 1 << 20;
        if (c.hold == Hold::LockedPastFirstMegabyte) {
            ASSERT_TRUE(held.Lock(megabyte, static_cast<DWORD>(original.size()) - megabyte));
        }
        Load();
        switch (c.then) {
            case Then::Unload:
                held.Release();
                break;
            case Then::OpenEditorOnceFree: {
                held.Release();
                HWND editor = Setup();
                EXPECT_EQ(RowCount(editor), count);
                Close(editor);
                break;
            }
            case Then::EditWhileUnread: {
                HWND editor = Setup();
                EXPECT_EQ(RowCount(editor), 0);
                held.Release();
                AddRuleInEditor(editor, L"added");
                Close(editor);
                ExpectAddedTo({}, L"added");
                EXPECT_EQ(ReadFileBytes("MODULES\\torvo.tdb.bak"), original);
                break;
            }
        }
        UnloadModule(module);
        if (c.then == Then::EditWhileUnread) {
            ExpectAddedTo({}, L"added");
            EXPECT_EQ(FolderNames("MODULES"), RULE_FILE_AND_BACKUP);
        } else {
            EXPECT_EQ(ReadFileBytes(RULE_FILE), original);
            EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
        }
    }
}

// Another program (the rule-list tool, a restore from backup) put a new list
// in place while the module was loaded: unedited, the module leaves it; with
// an edit, the module's list replaces it and the other version is kept.
TEST_F(Lifecycle, AFileReplacedWhileLoadedIsKept) {
    for (bool edit : {false, true}) {
        SCOPED_TRACE(edit ? "edited" : "unedited");
        ScratchFolder scratch;
        WriteRuleFile(NumberedRules(10));
        const std::vector<uint8_t> loaded = ReadFileBytes(RULE_FILE);
        Load();
        WriteRuleFile(NumberedRules(20));
        const std::vector<uint8_t> other = ReadFileBytes(RULE_FILE);
        HWND editor = Setup();
        EXPECT_EQ(RowCount(editor), 10);
        if (edit) AddRuleInEditor(editor, L"added");
        Close(editor);
        UnloadModule(module);
        if (edit) {
            ExpectAddedTo(loaded, L"added");
            EXPECT_EQ(ReadFileBytes("MODULES\\torvo.tdb.bak"), other);
            EXPECT_EQ(FolderNames("MODULES"), RULE_FILE_AND_BACKUP);
        } else {
            EXPECT_EQ(ReadFileBytes(RULE_FILE), other);
            EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
        }
    }
}

// A scanner or sync client holding the file when the editor closes after an
// edit: a hold that ends within about a second delays the save; a longer one
// makes it fail with the old file intact and no temporary file, and the edit
// waits in memory for the unload. Without sharing, the check before writing
// meets the hold; with shared reading and writing, the final replace does.
TEST_F(Lifecycle, ASaveWaitsBrieflyForABusyFile) {
    for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
        for (bool releasedSoon : {true, false}) {
            SCOPED_TRACE(testing::Message() << "share " << share
                                            << (releasedSoon ? ", let go after 300 ms"
                                                             : ", held throughout"));
            ScratchFolder scratch;
            WriteRuleFile(NumberedRules(2));
            const std::vector<uint8_t> original = ReadFileBytes(RULE_FILE);
            Load();
            HWND editor = Setup();
            AddRuleInEditor(editor, L"added");
            HeldFile held(RULE_FILE, share);
            if (releasedSoon) held.ReleaseAfter(300);
            Close(editor);
            held.Release();
            if (releasedSoon) {
                ExpectAddedTo(original, L"added");
            } else {
                EXPECT_EQ(ReadFileBytes(RULE_FILE), original);
            }
            EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
            UnloadModule(module);
            ExpectAddedTo(original, L"added");
            EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
        }
    }
}

// The host's file dialogs move the current folder: the list still goes back
// to the file it came from.
TEST_F(LifecycleInFolder, SavesGoToTheFolderTheListCameFrom) {
    WriteRuleFile(NumberedRules(2));
    const std::vector<uint8_t> original = ReadFileBytes(RULE_FILE);
    Load();
    ScratchFolder elsewhere;  // current from here on, with its own MODULES
    ASSERT_NE(elsewhere.path(), folder.path());
    HWND editor = Setup();
    EXPECT_EQ(RowCount(editor), 2);
    AddRuleInEditor(editor, L"added");
    Close(editor);
    EXPECT_TRUE(FolderNames("MODULES").empty());
    UnloadModule(module);
    EXPECT_TRUE(FolderNames("MODULES").empty());
    ASSERT_TRUE(SetCurrentDirectoryA(folder.path().c_str()));
    ExpectAddedTo(original, L"added");
    EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
}

// At process exit the loader calls the entry point with a non-null reserved
// pointer: the module saves and touches no window or drawing object.
TEST_F(LifecycleInFolder, ProcessExitOnlySaves) {
    WriteRuleFile(NumberedRules(2));
    const std::vector<uint8_t> original = ReadFileBytes(RULE_FILE);
    Load();
    HWND editor = Setup();
    AddRuleInEditor(editor, L"added");
    const auto listFont =
        reinterpret_cast<HGDIOBJ>(SendDlgItemMessageA(editor, IDC_RULES, WM_GETFONT, 0, 0));
    ASSERT_EQ(GetObjectType(listFont), static_cast<DWORD>(OBJ_FONT));

    int processEnding = 1;
    CallModuleEntry(module, DLL_PROCESS_DETACH, &processEnding);
    ExpectAddedTo(original, L"added");
    EXPECT_TRUE(IsWindow(editor));
    EXPECT_EQ(GetObjectType(listFont), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(RowCount(editor), 3);
    // The process goes on here: the window, whose procedure is in the
    // library, must go before the library does.
    DestroyWindow(editor);
}

// A temporary file left by a save that was cut off, with no rule file
// beside it, may hold the only copy of a list: kept, not written over.
TEST_F(LifecycleInFolder, ALeftoverTemporaryFileIsKept) {
    const std::vector<uint8_t> leftover = RuleBytes(CraftedRules());
    WriteFileBytes("MODULES\\torvo.tdb.saving", leftover);
    Load();
    EXPECT_EQ(FolderNames("MODULES"), std::vector<std::string>{"torvo.tdb.saving"});
    UnloadModule(module);
    EXPECT_TRUE(ReadFileBytes(RULE_FILE).empty());
    EXPECT_EQ(ReadFileBytes("MODULES\\torvo.tdb.interrupted"), leftover);
    EXPECT_EQ(FolderNames("MODULES"),
              (std::vector<std::string>{"torvo.tdb", "torvo.tdb.interrupted"}));
}

}  // namespace
