// Loading, opening and closing the editor, and unloading, through the built
// module as the host drives it.
#include "tests/support/torvo_test.h"

#include "resource_ids.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// The file (the rule file unless given) holds the records of `before` and
// then one rule named `added`.
void ExpectAddedTo(const std::vector<uint8_t>& before, const wchar_t* added,
                   const std::vector<uint8_t>& file = ReadFileBytes(RULE_FILE)) {
    ASSERT_EQ(file.size(), before.size() + RULE_SIZE);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), file.begin()));
    _RULE last;
    std::memcpy(&last, &file[before.size()], RULE_SIZE);
    EXPECT_EQ(std::wstring(WideName(last)), added);
}

const std::vector<std::string> ONLY_RULE_FILE{"torvo.tdb"};

// The one file of `kind` kept beside the rule file, read whole (empty and a
// failure when there is not exactly one).
std::vector<uint8_t> OnlyKept(const char* kind) {
    const std::vector<std::string> kept = KeptFiles("MODULES", kind);
    EXPECT_EQ(kept.size(), 1u) << kind;
    return kept.size() == 1 ? ReadFileBytes("MODULES\\" + kept[0]) : std::vector<uint8_t>{};
}

std::wstring CurrentFolderW() {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

// Set by the test guest, whose CPU is emulated in software.
bool CpuIsEmulated() {
    const char* cpu = std::getenv("TORVO_CPU");
    return cpu && std::strcmp(cpu, "emulated") == 0;
}

// The module looks at its rule file for another program's version at most
// once a second: waiting this long lets the next event look.
constexpr DWORD AFTER_A_LOOK_MS = 1200;

// Another program's version of the rule file, put in place in one step as
// the rule-list tool does; with `writeTime`, written at that moment.
void ReplaceRuleFile(const std::vector<_RULE>& rules, const FILETIME* writeTime = nullptr) {
    WriteFileBytes("MODULES\\another.tmp", RuleBytes(rules));
    if (writeTime) {
        HANDLE file = CreateFileA("MODULES\\another.tmp", FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, writeTime));
        CloseHandle(file);
    }
    ASSERT_TRUE(MoveFileExA("MODULES\\another.tmp", RULE_FILE, MOVEFILE_REPLACE_EXISTING));
}

// Whether rules in force pick a visitor `nick` at 10.0.0.1 when the room is
// reported; NumberedRules' rule n picks "rule n".
bool PickedAtAnEvent(const LoadedModule& module, const wchar_t* nick) {
    HWND userList = CreateMessageSink();
    StandInRoom room;
    FillRoom(room, {MakeVisitor(nick, "10.0.0.1")}, nullptr, userList);
    module.setUserState(EVENT_ALL_USERS, &room.room, 0);
    DestroyWindow(userList);
    return (room.users[0].state & ~HOST_STATE_BITS) == static_cast<uint32_t>(STATUS_IGNORE);
}

bool FirstNumberedRuleIsInForce(const LoadedModule& module) {
    return PickedAtAnEvent(module, L"rule 0");
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
        const std::vector<HWND> editors = EditorWindowsOfThisThread();
        EXPECT_EQ(editors.size(), 1u);
        return editors.empty() ? nullptr : editors.front();
    }

    void Close(HWND editor) {
        CancelEditor(editor);
        EXPECT_FALSE(IsWindow(editor));
    }

    // The module loaded again after an unload that left an unsaved copy in
    // `copyFolder`: the first opening of the editor tells of it (and makes
    // it a recovery copy); with `openAgain`, the next opening tells nothing.
    void ExpectTheNextSessionToTellOnce(const std::string& copyFolder, bool openAgain);

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
    StandInRoom room;
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

// A host started with another current folder (a shortcut's "Start in", a
// scheduled task) has no MODULES there: the list beside the module's own
// file is used, and nothing is made in the current folder.
TEST_F(Lifecycle, WithoutModulesHereTheModulesOwnFolderIsUsed) {
    ScratchFolder bare(false);
    ASSERT_TRUE(CreateDirectoryA("host", nullptr));
    ASSERT_TRUE(CreateDirectoryA("host\\MODULES", nullptr));
    ASSERT_TRUE(CopyModuleTo("host\\MODULES\\torvo.jem"));
    WriteFileBytes("host\\MODULES\\torvo.tdb", RuleBytes(NumberedRules(2)));
    const std::vector<uint8_t> original = ReadFileBytes("host\\MODULES\\torvo.tdb");

    module = LoadModuleFrom(bare.path() + "\\host\\MODULES\\torvo.jem");
    ASSERT_NE(module.handle, nullptr);
    EXPECT_TRUE(FirstNumberedRuleIsInForce(module));
    HWND editor = Setup();
    EXPECT_EQ(RowCount(editor), 2);
    AddRuleInEditor(editor, L"added");
    Close(editor);
    UnloadModule(module);
    ASSERT_TRUE(SetCurrentDirectoryA("host"));
    ExpectAddedTo(original, L"added");
    ASSERT_TRUE(SetCurrentDirectoryA(".."));
    EXPECT_EQ(FolderNames("."), std::vector<std::string>{"host"});
}

// Where the module finds itself in the host folder `host` (wide, absolute)
// made with MODULES and two rules: rules in force at load, an edit saved.
void ExpectTheListKeptIn(const std::wstring& host, LoadedModule& module) {
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + host).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + host + L"\\MODULES").c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryW(host.c_str()));
    WriteRuleFile(NumberedRules(2));
    const std::vector<uint8_t> original = ReadFileBytes(RULE_FILE);
    ASSERT_EQ(original.size(), 2 * RULE_SIZE);

    module = LoadModule();
    EXPECT_TRUE(FirstNumberedRuleIsInForce(module));
    HWND editor = OpenEditor(module, "C:\\nowhere\\host.ini");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(RowCount(editor), 2);
    AddRuleInEditor(editor, L"added");
    CancelEditor(editor);
    EXPECT_EQ(SaveNoticeOfThisThread(), nullptr);
    ExpectAddedTo(original, L"added");
    UnloadModule(module);
    EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
}

// Host folders that the system's ANSI code page cannot spell: this program
// runs under code pages 1251 and 1252.
TEST_F(Lifecycle, AHostFolderOfAnyNameKeepsItsList) {
    const wchar_t* names[] = {
        L"\u041e\u043f\u0435\u0440\u0430\u0442\u043e\u0440",  // Оператор
        L"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1",                // Ελλάδα
        L"\u804a\u5929\u5ba4",                                   // 聊天室
    };
    for (const wchar_t* name : names) {
        SCOPED_TRACE(Utf8(name));
        ScratchFolder scratch(false);
        ExpectTheListKeptIn(CurrentFolderW() + L"\\" + name, module);
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.path().c_str()));
    }
}

// A host folder at the deepest a host can run from: the rule file's path is
// 259 characters, and the names kept beside it longer still.
TEST_F(Lifecycle, AHostFolderAtTheDeepestKeepsItsList) {
    ScratchFolder scratch(false);
    const size_t hostLength = MAX_PATH - 1 - std::wcslen(L"\\MODULES\\torvo.tdb");
    std::wstring host = CurrentFolderW() + L"\\deep";
    // Folders of up to 200 characters until the host folder has that length.
    while (host.size() < hostLength) {
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + host).c_str(), nullptr));
        const size_t room = hostLength - host.size() - 1;
        host += L"\\" + std::wstring(room < 200 ? room : 200, L'd');
    }
    ASSERT_EQ(host.size(), hostLength);
    ExpectTheListKeptIn(host, module);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path().c_str()));
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
// alone, it comes into force at the first visitor event a look after it was
// let go (no editor needed) or when the editor opens, and an edit made while
// it was still unread lands on top of it.
// (Wine lets reads through a range that LockFile locked, so there the locked
// file loads whole; on Windows its load fails and is tried again.)
TEST_F(Lifecycle, AFileThatCouldNotBeReadAtLoadIsNeverLost) {
    enum class Hold { WithoutSharing, LockedPastFirstMegabyte };
    enum class Then { Unload, VisitorEventOnceFree, OpenEditorOnceFree, EditWhileUnread };
    const struct {
        Hold hold;
        Then then;
    } cases[] = {
        {Hold::WithoutSharing, Then::Unload},
        {Hold::WithoutSharing, Then::VisitorEventOnceFree},
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
            case Then::VisitorEventOnceFree:
                EXPECT_FALSE(FirstNumberedRuleIsInForce(module));
                held.Release();
                Sleep(AFTER_A_LOOK_MS);
                EXPECT_TRUE(FirstNumberedRuleIsInForce(module));
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
                ExpectAddedTo(original, L"added");
                break;
            }
        }
        UnloadModule(module);
        if (c.then == Then::EditWhileUnread) {
            ExpectAddedTo(original, L"added");
            EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
        } else {
            EXPECT_EQ(ReadFileBytes(RULE_FILE), original);
            EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
        }
    }
}

// Another program (the rule-list tool, a restore, another host) puts a new
// list in place while the module is loaded. The first visitor event a look
// after it picks visitors by it, and the open editor shows it, keeping what
// the operator typed and the selection on the same rule; with the editor
// open and no events, its own timer takes it in. A version that cannot be
// read whole yet changes nothing until it can. An Add then lands on top of
// the new list, with no backup.
TEST_F(LifecycleInFolder, AnotherVersionComesIntoForceAndEditsLandOnIt) {
    WriteRuleFile(NumberedRules(10));
    Load();
    HWND editor = Setup();
    ClickRuleRow(editor, 5);
    SetWindowTextW(GetDlgItem(editor, IDC_NAME), L"typed");
    const auto selectedRow = [&] {
        return SendDlgItemMessageA(editor, IDC_RULES, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                   LVNI_SELECTED);
    };
    const auto picked = [&](const wchar_t* nick) { return PickedAtAnEvent(module, nick); };

    std::vector<_RULE> reversed = NumberedRules(20);
    std::reverse(reversed.begin(), reversed.end());
    ReplaceRuleFile(reversed);
    {
        HeldFile held(RULE_FILE, 0);
        Sleep(AFTER_A_LOOK_MS);
        EXPECT_FALSE(picked(L"rule 15"));
        EXPECT_TRUE(picked(L"rule 5"));
        EXPECT_EQ(RowCount(editor), 10);
    }
    Sleep(AFTER_A_LOOK_MS);
    EXPECT_TRUE(picked(L"rule 15"));
    EXPECT_EQ(RowCount(editor), 20);
    EXPECT_EQ(selectedRow(), 14);  // "rule 5", where the new list has it
    wchar_t typed[16] = {};
    GetWindowTextW(GetDlgItem(editor, IDC_NAME), typed, 16);
    EXPECT_STREQ(typed, L"typed");

    ReplaceRuleFile(NumberedRules(30));
    for (DWORD waited = 0; waited < 3 * AFTER_A_LOOK_MS && RowCount(editor) != 30; waited += 50) {
        PumpMessagesFor(50);
    }
    EXPECT_EQ(RowCount(editor), 30);
    EXPECT_EQ(selectedRow(), 5);

    AddRuleInEditor(editor, L"added");
    Close(editor);
    EXPECT_EQ(SaveNoticeOfThisThread(), nullptr);
    ExpectAddedTo(RuleBytes(NumberedRules(30)), L"added");
    EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
}

// Two hosts on one folder (here two copies of the module, each with its own
// list, loaded into one process over one rule file) taking turns for a dozen
// edits, twice with both editors open at once: every edit is in the shared
// file, in the order the edits were made, and no backup is made.
TEST_F(LifecycleInFolder, TwoHostsTakingTurnsKeepEveryEdit) {
    ASSERT_TRUE(CopyModuleTo("MODULES\\first.jem"));
    ASSERT_TRUE(CopyModuleTo("MODULES\\second.jem"));
    LoadedModule hosts[2] = {LoadModuleFrom(folder.path() + "\\MODULES\\first.jem"),
                             LoadModuleFrom(folder.path() + "\\MODULES\\second.jem")};
    ASSERT_NE(hosts[0].handle, nullptr);
    ASSERT_NE(hosts[1].handle, nullptr);
    ASSERT_NE(hosts[0].handle, hosts[1].handle);
    const auto open = [](const LoadedModule& host) {
        const std::vector<HWND> before = EditorWindowsOfThisThread();
        _CFG_INFO config = MakeConfig();
        host.setup(0, nullptr, &config);
        PumpMessages();
        for (HWND editor : EditorWindowsOfThisThread()) {
            if (std::find(before.begin(), before.end(), editor) == before.end()) return editor;
        }
        return HWND{};
    };
    std::vector<std::wstring> made;
    const auto add = [&](HWND editor) {
        made.push_back(L"edit " + std::to_wstring(made.size() + 1));
        AddRuleInEditor(editor, made.back().c_str());
    };
    for (int turn = 0; turn < 10; ++turn) {
        HWND editor = open(hosts[turn % 2]);
        ASSERT_NE(editor, nullptr);
        if (turn % 5 == 4) {
            // The other host's editor is open too, and saves after this one.
            HWND other = open(hosts[(turn + 1) % 2]);
            ASSERT_NE(other, nullptr);
            add(editor);
            add(other);
            Close(editor);
            Close(other);
        } else {
            add(editor);
            Close(editor);
        }
    }
    EXPECT_EQ(SaveNoticeOfThisThread(), nullptr);
    for (LoadedModule& host : hosts) UnloadModule(host);
    std::vector<std::wstring> saved;
    for (const _RULE& rule : ReadRuleFile()) saved.push_back(WideName(rule));
    EXPECT_EQ(saved, made);
    EXPECT_TRUE(KeptFiles("MODULES", "bak").empty());
}

// A scanner, backup or sync client holding the file when the editor closes
// after an edit: a hold that ends within about a second delays the save. A
// longer one makes it fail with the old file intact; the operator is told,
// and the complete new list is kept as a recovery copy rather than deleted.
// The edit waits in memory for the unload, which saves it once the file is
// free (and drops the copy), or keeps it as a copy for the next session
// when the file is still held. Without sharing, the check before writing
// meets the hold; with shared reading and writing, the final replace does.
TEST_F(Lifecycle, ASaveWaitsBrieflyForABusyFileAndKeepsWhatItCannotWrite) {
    enum class Hold { BriefAtClose, ThroughClose, ThroughUnload };
    constexpr DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const struct {
        DWORD share;
        Hold hold;
    } cases[] = {{0, Hold::BriefAtClose},
                 {shared, Hold::BriefAtClose},
                 {0, Hold::ThroughClose},
                 {shared, Hold::ThroughUnload}};  // the complete new list becomes the copy
    for (const auto& c : cases) {
        const DWORD share = c.share;
        const Hold hold = c.hold;
        SCOPED_TRACE(testing::Message() << "share " << share << ", hold "
                                        << static_cast<int>(hold));
        ScratchFolder scratch;
        WriteRuleFile(NumberedRules(2));
        const std::vector<uint8_t> original = ReadFileBytes(RULE_FILE);
        Load();
        HWND editor = Setup();
        AddRuleInEditor(editor, L"added");
        HeldFile held(RULE_FILE, share);
        if (hold == Hold::BriefAtClose) held.ReleaseAfter(300);
        Close(editor);
        if (hold == Hold::BriefAtClose) {
            held.Release();
            ExpectAddedTo(original, L"added");
            EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
            EXPECT_EQ(SaveNoticeOfThisThread(), nullptr);
            UnloadModule(module);
            continue;
        }
        const std::vector<uint8_t> recovery = OnlyKept("recovery");
        ExpectAddedTo(original, L"added", recovery);
        HWND notice = SaveNoticeOfThisThread();
        ASSERT_NE(notice, nullptr);
        const std::wstring told = NoticeText(notice);
        EXPECT_NE(told.find(L"\u0437\u0430\u043d\u044f\u0442"), std::wstring::npos)  // занят
            << Utf8(told);
        EXPECT_NE(told.find(Wide(KeptFiles("MODULES", "recovery")[0])), std::wstring::npos);
        CloseNotice(notice);
        EXPECT_EQ(SaveNoticeOfThisThread(), nullptr);

        if (hold == Hold::ThroughClose) {
            held.Release();
            EXPECT_EQ(ReadFileBytes(RULE_FILE), original);
            UnloadModule(module);
            ExpectAddedTo(original, L"added");
            EXPECT_EQ(FolderNames("MODULES"), ONLY_RULE_FILE);
            continue;
        }
        UnloadModule(module);
        held.Release();
        EXPECT_EQ(ReadFileBytes(RULE_FILE), original);
        EXPECT_TRUE(KeptFiles("MODULES", "recovery").empty());
        EXPECT_EQ(OnlyKept("unsaved"), recovery);
        EXPECT_EQ(FolderNames("MODULES").size(), 2u);
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
    EXPECT_EQ(OnlyKept("interrupted"), leftover);
    EXPECT_EQ(FolderNames("MODULES").size(), 2u);
}

// An operator's Change whose rule another program's version no longer has
// cannot be made on it: the other version is kept beside as a backup, what
// can be made is (an Add), and the operator is told which Change did not
// apply and where the other version is. Kept versions never block a save:
// they are named by date and time, the newest ten stay and the oldest go.
// The other version here is as long as the file and written at the same
// moment (coarse timestamps on FAT or a network share), told apart by its
// identity alone.
TEST_F(LifecycleInFolder, ALostChangeIsToldAndTheOtherVersionKept) {
    WriteRuleFile(NumberedRules(10));
    std::vector<std::string> earlier;
    for (int day = 1; day <= 11; ++day) {
        char name[64];
        std::snprintf(name, sizeof name, "torvo.tdb.2020-01-%02d_00-00-00.bak", day);
        earlier.push_back(name);
        WriteFileBytes(std::string("MODULES\\") + name, {static_cast<uint8_t>(day)});
    }
    Load();
    HWND editor = Setup();
    ChangeRuleInEditor(editor, 0, L"changed", "", 0);
    AddRuleInEditor(editor, L"added");

    std::vector<_RULE> theirs = NumberedRules(10);
    for (_RULE& rule : theirs) rule.name[0] = u'R';
    WIN32_FILE_ATTRIBUTE_DATA ours{}, replaced{};
    ASSERT_TRUE(GetFileAttributesExA(RULE_FILE, GetFileExInfoStandard, &ours));
    ReplaceRuleFile(theirs, &ours.ftLastWriteTime);
    ASSERT_TRUE(GetFileAttributesExA(RULE_FILE, GetFileExInfoStandard, &replaced));
    ASSERT_EQ(CompareFileTime(&ours.ftLastWriteTime, &replaced.ftLastWriteTime), 0);
    ASSERT_EQ(ours.nFileSizeLow, replaced.nFileSizeLow);

    Close(editor);
    ExpectAddedTo(RuleBytes(theirs), L"added");
    const std::vector<std::string> kept = KeptFiles("MODULES", "bak");
    ASSERT_EQ(kept.size(), 10u);
    EXPECT_EQ(kept.front(), earlier[2]);  // the two oldest went
    EXPECT_EQ(ReadFileBytes("MODULES\\" + kept.back()), RuleBytes(theirs));
    HWND notice = SaveNoticeOfThisThread();
    ASSERT_NE(notice, nullptr);
    const std::wstring told = NoticeText(notice);
    EXPECT_NE(told.find(L"\u00abchanged\u00bb"), std::wstring::npos) << Utf8(told);
    EXPECT_EQ(told.find(L"added"), std::wstring::npos) << Utf8(told);
    EXPECT_NE(told.find(Wide(kept.back())), std::wstring::npos) << Utf8(told);
    CloseNotice(notice);
}

// A save the system refuses (a read-only file, a full disk, a folder the
// user may not write to) fails at once, without the second of waiting meant
// for a busy file. The operator is told why, and a copy of the list with
// the edit is kept: beside the file where its folder takes it, else in the
// user's own folder. The unload's save fails too and leaves its copy for
// the next session, whose first opening of the editor reports it, once.
TEST_F(Lifecycle, ARefusedSaveIsToldAtOnceAndTheEditKept) {
    const char* volumesVariable = std::getenv("TORVO_TEST_VOLUMES");
    ASSERT_NE(volumesVariable, nullptr) << "run by ctest, which mounts the test volumes";
    std::string volumes = std::string("Z:") + volumesVariable;
    std::replace(volumes.begin(), volumes.end(), '/', '\\');
    ScratchFolder appData(false);  // the user's local application data
    ASSERT_TRUE(SetEnvironmentVariableA("LOCALAPPDATA", appData.path().c_str()));
    const std::string userFolder = appData.path() + "\\Torvo";

    enum class Refusal { ReadOnlyFile, FullDisk, ReadOnlyVolume };
    const struct {
        Refusal refusal;
        const wchar_t* reason;
        bool keptBeside;
        bool nextSession;  // the copy left at unload reported by the next one
    } cases[] = {
        {Refusal::ReadOnlyFile, L"\u0442\u043e\u043b\u044c\u043a\u043e \u0434\u043b\u044f", true, true},
        {Refusal::FullDisk, L"\u043d\u0435\u0442 \u043c\u0435\u0441\u0442\u0430", false, true},
        {Refusal::ReadOnlyVolume, L"\u043d\u0435\u0442 \u043f\u0440\u0430\u0432", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.refusal));
        ScratchFolder scratch;
        std::string host = scratch.path();
        if (c.refusal == Refusal::FullDisk) host = volumes + "\\full\\host";
        if (c.refusal == Refusal::ReadOnlyVolume) host = volumes + "\\readonly";
        if (c.refusal == Refusal::FullDisk) {
            ASSERT_TRUE(CreateDirectoryA(host.c_str(), nullptr));
            ASSERT_TRUE(CreateDirectoryA((host + "\\MODULES").c_str(), nullptr));
        }
        ASSERT_TRUE(SetCurrentDirectoryA(host.c_str()));
        if (c.refusal != Refusal::ReadOnlyVolume) WriteRuleFile(NumberedRules(2));
        const std::vector<uint8_t> original = ReadFileBytes(RULE_FILE);
        if (c.refusal == Refusal::ReadOnlyFile) {
            ASSERT_TRUE(SetFileAttributesA(RULE_FILE, FILE_ATTRIBUTE_READONLY));
        }
        if (c.refusal == Refusal::FullDisk) {
            HANDLE filler = CreateFileA("filler", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                        nullptr);
            const std::vector<uint8_t> page(4096, 0xF1);
            DWORD written = 0;
            while (WriteFile(filler, page.data(), page.size(), &written, nullptr) &&
                   written == page.size()) {
            }
            CloseHandle(filler);
        }
        const std::string copyFolder = c.keptBeside ? "MODULES" : userFolder;

        Load();
        HWND editor = Setup();
        AddRuleInEditor(editor, L"added");
        const DWORD closing = GetTickCount();
        Close(editor);
        // A busy file is waited for a second in all. Where the CPU is
        // emulated the close alone takes that long; there the reason told
        // below shows that the refusal was not taken for a busy file.
        if (!CpuIsEmulated()) {
            EXPECT_LT(GetTickCount() - closing, 1000u) << "waited as if the file were busy";
        }
        EXPECT_EQ(ReadFileBytes(RULE_FILE), original);
        const std::vector<std::string> copies = KeptFiles(copyFolder, "recovery");
        ASSERT_EQ(copies.size(), 1u);
        const std::string copy = copyFolder + "\\" + copies[0];
        ExpectAddedTo(original, L"added", ReadFileBytes(copy));
        HWND notice = SaveNoticeOfThisThread();
        ASSERT_NE(notice, nullptr);
        std::wstring told = NoticeText(notice);
        EXPECT_NE(told.find(c.reason), std::wstring::npos) << Utf8(told);
        EXPECT_NE(told.find(Wide(copies[0])), std::wstring::npos) << Utf8(told);
        CloseNotice(notice);

        // The unload cannot tell anyone: its copy is left for the next session.
        UnloadModule(module);
        EXPECT_TRUE(KeptFiles(copyFolder, "recovery").empty());
        const std::vector<std::string> unsaved = KeptFiles(copyFolder, "unsaved");
        ASSERT_EQ(unsaved.size(), 1u);
        ExpectAddedTo(original, L"added", ReadFileBytes(copyFolder + "\\" + unsaved[0]));

        if (c.nextSession) {
            ExpectTheNextSessionToTellOnce(copyFolder, c.refusal == Refusal::ReadOnlyFile);
        }
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.path().c_str()));
        if (c.refusal == Refusal::FullDisk) RemoveTree(Wide(host));
        RemoveTree(Wide(userFolder));
    }
}

void Lifecycle::ExpectTheNextSessionToTellOnce(const std::string& copyFolder, bool openAgain) {
    Load();
    EXPECT_EQ(SaveNoticeOfThisThread(), nullptr);
    HWND editor = Setup();
    HWND notice = SaveNoticeOfThisThread();
    ASSERT_NE(notice, nullptr);
    const std::wstring told = NoticeText(notice);
    const std::vector<std::string> reported = KeptFiles(copyFolder, "recovery");
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_TRUE(KeptFiles(copyFolder, "unsaved").empty());
    EXPECT_NE(told.find(Wide(reported[0])), std::wstring::npos) << Utf8(told);
    CloseNotice(notice);
    Close(editor);
    if (openAgain) {
        editor = Setup();  // said once
        EXPECT_EQ(SaveNoticeOfThisThread(), nullptr);
        Close(editor);
    }
    UnloadModule(module);
    EXPECT_EQ(SaveNoticeOfThisThread(), nullptr);
}

BOOL CALLBACK TellSessionEnds(HWND window, LPARAM) {
    SendMessageW(window, WM_QUERYENDSESSION, 0, 0);
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    return TRUE;
}

// Windows ends the process without unloading any module when the session
// ends (after telling each window), and so does a host that crashes or is
// ended from the Task Manager: an edit reaches the file once the editor has
// been left alone for a few seconds, and at once when Windows says it is
// ending the session. Driven in a started host, which is then ended.
TEST_F(LifecycleInFolder, EditsReachTheFileBeforeTheProcessIsEnded) {
    ASSERT_TRUE(CopyModuleTo("MODULES\\torvo.jem"));
    WriteRuleFile(NumberedRules(2));
    const std::vector<uint8_t> original = ReadFileBytes(RULE_FILE);
    HostProcess host;
    ASSERT_TRUE(StartHost(host, "--editor"));
    for (int wait = 0; wait < 1200 && !host.editorOpen; ++wait) Sleep(100);
    const std::vector<HWND> editors = EditorWindowsOfThread(host.info.dwThreadId);
    if (editors.size() == 1) {
        HWND editor = editors.front();
        const auto add = [&](const wchar_t* name) {
            SendMessageW(GetDlgItem(editor, IDC_NAME), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>(name));
            SendMessageW(editor, WM_COMMAND, MAKEWPARAM(IDC_ADD, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(editor, IDC_ADD)));
        };
        add(L"left alone");
        for (int wait = 0; wait < 300 && ReadFileBytes(RULE_FILE).size() == original.size(); ++wait) {
            Sleep(100);
        }
        ExpectAddedTo(original, L"left alone");
        const std::vector<uint8_t> afterIdle = ReadFileBytes(RULE_FILE);
        add(L"at session end");
        EnumThreadWindows(host.info.dwThreadId, TellSessionEnds, 0);
        TerminateProcess(host.info.hProcess, 1);
        FinishHost(host);
        ExpectAddedTo(afterIdle, L"at session end");
    } else {
        TerminateProcess(host.info.hProcess, 1);
        FinishHost(host);
        FAIL() << "the host showed " << editors.size() << " editors; it said:\n" << host.text;
    }
}

}  // namespace
