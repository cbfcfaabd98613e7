// torvo-rules.exe under Windows: run as a program on rule files that the
// editor and the module wrote, with its output read back; CIDR blocks it
// imports are matched by the loaded module as the ranges they stand for.
#include "tests/support/torvo_test.h"

#include "resource_ids.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::string ToolPath() {
    const std::string module = ModulePath();
    return module.substr(0, module.find_last_of('\\') + 1) + "torvo-rules.exe";
}

// Runs torvo-rules.exe with `arguments` in the current folder, detached from
// any console; its output goes to files of its own run. `meanwhile` runs
// while it does, with its process.
ToolRun RunTool(const std::string& arguments,
                const std::function<void(HANDLE process)>& meanwhile = nullptr) {
    static int runs = 0;
    const std::string outName = "tool-" + std::to_string(++runs) + ".out";
    const std::string errName = "tool-" + std::to_string(runs) + ".err";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    EXPECT_NE(err, INVALID_HANDLE_VALUE);
    PROCESS_INFORMATION process{};
    ToolRun run;
    if (StartWithOutputs(ToolPath(), arguments, out, err, DETACHED_PROCESS, &process)) {
        if (meanwhile) meanwhile(process.hProcess);
        run.exitCode = WaitForExit(process);
    } else {
        ADD_FAILURE() << "cannot start " << ToolPath() << ": " << GetLastError();
    }
    CloseHandle(out);
    CloseHandle(err);
    const std::vector<uint8_t> outBytes = ReadFileBytes(outName);
    const std::vector<uint8_t> errBytes = ReadFileBytes(errName);
    run.out.assign(outBytes.begin(), outBytes.end());
    run.err.assign(errBytes.begin(), errBytes.end());
    return run;
}

class RulesToolOnWindows : public ::testing::Test {
protected:
    void TearDown() override {
        if (dialog && IsWindow(dialog)) Command(IDCANCEL);
        UnloadModule(module);
    }

    void OpenEditor() {
        module = LoadModule();
        ASSERT_NE(module.handle, nullptr);
        PrepareHostClasses();
        dialog = ::OpenEditor(module, folder.path() + "\\absent.ini");
        ASSERT_NE(dialog, nullptr);
    }

    void Command(int id) { PressEditorControl(dialog, id); }

    // What a mouse click on a row sends.
    void Click(int row) { ClickRuleRow(dialog, row); }

    void Fill(const wchar_t* name, const char* ip, int searchItem, int statusItem) {
        SetWindowTextW(GetDlgItem(dialog, IDC_NAME), name);
        SetWindowTextA(GetDlgItem(dialog, IDC_IP), ip);
        SendMessageA(GetDlgItem(dialog, IDC_SEARCH), CB_SETCURSEL, searchItem, 0);
        SendMessageA(GetDlgItem(dialog, IDC_STATUS), CB_SETCURSEL, statusItem, 0);
        PumpMessages();
    }

    void CloseEditor() {
        Command(IDCANCEL);
        dialog = nullptr;
    }

    ScratchFolder folder;
    LoadedModule module;
    HWND dialog = nullptr;
};

bool AnyNonZero(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i]) return true;
    }
    return false;
}

TEST_F(RulesToolOnWindows, ExportAndImportGiveBackAFileTheEditorWrote) {
    WriteRuleFile({});
    OpenEditor();
    Fill(L"\u0414\u043b\u0438\u043d\u043d\u044b\u0439 \u043d\u0438\u043a \u0441\u043f\u0430\u043c\u0435\u0440\u0430",
         "10.0.0.1-10.0.0.200", 3, 3);
    Command(IDC_ADD);
    Fill(L"Moderator", "192.168.*", 2, 2);
    Command(IDC_ADD);
    Fill(L"Guest", "", 0, 1);
    Command(IDC_ADD);
    // Change writes a shorter name and IP text over the longer ones, leaving
    // the old ends behind the terminators, which the file keeps.
    Click(0);
    Fill(L"\u0421\u043f\u0430\u043c", "10.0.0.7", 1, 3);
    Command(IDC_CHANGE);
    CloseEditor();
    UnloadModule(module);

    const std::vector<uint8_t> written = ReadFileBytes(RULE_FILE);
    ASSERT_EQ(written.size(), 3 * RULE_SIZE);
    const _RULE* first = reinterpret_cast<const _RULE*>(written.data());
    ASSERT_TRUE(AnyNonZero(reinterpret_cast<const uint8_t*>(first->ipText) + 9, 23))
        << "the editor left no old IP text behind: the test would prove less";

    ToolRun run = RunTool("export MODULES\\torvo.tdb -o rules.txt");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    run = RunTool("import rules.txt -o back.tdb");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ReadFileBytes("back.tdb"), written);

    // The exported text is UTF-8 with "\n" line ends, as on every system.
    const std::vector<uint8_t> text = ReadFileBytes("rules.txt");
    const std::string exported(text.begin(), text.end());
    EXPECT_NE(exported.find("\xD0\xA1\xD0\xBF\xD0\xB0\xD0\xBC\tip\t10.0.0.7\tignore"), std::string::npos)
        << exported;
    EXPECT_EQ(exported.find('\r'), std::string::npos);
}

TEST_F(RulesToolOnWindows, ImportedCidrBlocksAreMatchedByTheModuleAndKeptByTheEditor) {
    WriteFileBytes("blocks.txt", [] {
        const std::string list =
            "198.51.100.0/24\tignore\t#C00000\t#808080\n"
            "203.0.113.16/28\tno-private\t#0000FF\t#000000\n";
        return std::vector<uint8_t>(list.begin(), list.end());
    }());
    ToolRun run = RunTool("import blocks.txt -o MODULES\\torvo.tdb");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const std::vector<uint8_t> imported = ReadFileBytes(RULE_FILE);

    module = LoadModule();
    ASSERT_NE(module.setUserState, nullptr);
    HWND sink = CreateMessageSink();
    const char* addresses[] = {"198.51.100.0", "198.51.100.255", "198.51.99.255", "198.51.101.0",
                               "203.0.113.16", "203.0.113.31",   "203.0.113.15", "203.0.113.32",
                               "198.51.100.77"};
    std::vector<_ROOM_USER> visitors;
    for (const char* address : addresses) visitors.push_back(MakeVisitor(L"visitor", address, 0x05));
    StandInRoom room;
    FillRoom(room, visitors, nullptr, sink);
    EXPECT_EQ(module.setUserState(16, &room.room, 0), 0u);
    const uint32_t expectedState[] = {0x305, 0x305, 0x05, 0x05, 0x105, 0x105, 0x05, 0x05, 0x305};
    const COLORREF expectedNick[] = {0x0000C0, 0x0000C0, 0x00ABCDEF, 0x00ABCDEF, 0xFF0000,
                                     0xFF0000, 0x00ABCDEF, 0x00ABCDEF, 0x0000C0};
    for (size_t i = 0; i < std::size(addresses); ++i) {
        SCOPED_TRACE(addresses[i]);
        EXPECT_EQ(room.users[i].state, expectedState[i]);
        EXPECT_EQ(room.users[i].nickColor, expectedNick[i]);
    }
    TakeRedraws(sink);
    DestroyWindow(sink);
    UnloadModule(module);

    // The editor shows the range text and keeps it through Change.
    OpenEditor();
    Click(0);
    char shown[64] = {};
    GetWindowTextA(GetDlgItem(dialog, IDC_IP), shown, sizeof shown);
    EXPECT_STREQ(shown, "198.51.100.0-198.51.100.255");
    Command(IDC_CHANGE);
    CloseEditor();
    UnloadModule(module);
    EXPECT_EQ(ReadFileBytes(RULE_FILE), imported);
}

TEST_F(RulesToolOnWindows, ShowWritesUtf8ToAFileAndReportsProblemsByStatus) {
    WriteRuleFile({MakeRule(L"\u0413\u043e\u0441\u0442\u044c", SEARCH_NAME, STATUS_ALLOW_ALL),
                   MakeRule(L"", 0)});
    ToolRun run = RunTool("show MODULES\\torvo.tdb");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.out.find("\xD0\x93\xD0\xBE\xD1\x81\xD1\x82\xD1\x8C"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\xD1\x80\xD0\xB0\xD0\xB7\xD1\x80\xD0\xB5\xD1\x88\xD0\xB5\xD0\xBD\xD0\xBE"),
              std::string::npos);  // "разрешено"
    EXPECT_EQ(run.out.find('\r'), std::string::npos);

    // Each start costs seconds where the CPU is emulated: the reports and
    // usage errors themselves are checked by the native tests, a problem
    // report below, and here only the system's refusal of a missing file.
    EXPECT_EQ(RunTool("check MODULES\\absent.tdb").exitCode, 2u);
}

// In a console window the tool writes characters, not bytes: Cyrillic shows
// as Cyrillic whatever the console's code page, here an OEM one in which
// UTF-8 bytes would show as other letters.
TEST_F(RulesToolOnWindows, ShowInAConsoleWritesCharacters) {
    WriteRuleFile({MakeRule(L"\u0413\u043e\u0441\u0442\u044c", SEARCH_NAME, STATUS_ALLOW_ALL)});
    // A console of the test's own, whatever Wine gave the program at start.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();
    SetConsoleOutputCP(866);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);

    PROCESS_INFORMATION process{};
    ASSERT_TRUE(StartWithOutputs(ToolPath(), "show MODULES\\torvo.tdb", screen, screen, 0, &process));
    const DWORD exitCode = WaitForExit(process);
    EXPECT_EQ(exitCode, 0u);

    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
    std::wstring shown(static_cast<size_t>(info.dwSize.X) * (info.dwCursorPosition.Y + 1), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, &shown[0], static_cast<DWORD>(shown.size()), COORD{0, 0}, &read);
    shown.resize(read);
    CloseHandle(screen);
    FreeConsole();
    EXPECT_NE(shown.find(L"\u0413\u043e\u0441\u0442\u044c"), std::wstring::npos);
    EXPECT_NE(shown.find(L"\u0440\u0430\u0437\u0440\u0435\u0448\u0435\u043d\u043e"), std::wstring::npos);
}

// A file held elsewhere all the time an import tries is left as it was; a
// text that export writes over a file held for a moment waits, as the
// module's saves do, and is written once the file is let go.
TEST_F(RulesToolOnWindows, WritesWaitForABriefHoldAndLeaveAReadOnlyOrHeldFileAlone) {
    WriteFileBytes("list.txt", {'G', 'u', 'e', 's', 't', '\n'});
    WriteRuleFile({MakeRule(L"old", SEARCH_NAME)});
    const std::vector<uint8_t> previous = ReadFileBytes(RULE_FILE);

    ASSERT_TRUE(SetFileAttributesA(RULE_FILE, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(RunTool("import list.txt -o MODULES\\torvo.tdb").exitCode, 2u);
    ASSERT_TRUE(SetFileAttributesA(RULE_FILE, FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(ReadFileBytes(RULE_FILE), previous);

    HANDLE held = CreateFileA(RULE_FILE, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunTool("import list.txt -o MODULES\\torvo.tdb").exitCode, 2u);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(RULE_FILE), previous);
    EXPECT_FALSE(FileExists("MODULES\\torvo.tdb.saving"));

    EXPECT_EQ(RunTool("import list.txt -o MODULES\\torvo.tdb").exitCode, 0u);
    EXPECT_EQ(ReadRuleFile().size(), 1u);

    // Held with shared reading and writing, the file passes the check and
    // stops the final move: once the text stands beside it, the export has
    // met the hold, which ends 300 ms later.
    WriteFileBytes("held.txt", {'o', 'l', 'd'});
    HeldFile brief("held.txt", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(brief.ok());
    const ToolRun run = RunTool("export MODULES\\torvo.tdb -o held.txt", [&](HANDLE process) {
        while (!FileExists("held.txt.saving") && WaitForSingleObject(process, 1) == WAIT_TIMEOUT) {
        }
        Sleep(300);
        brief.Release();
    });
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const std::vector<uint8_t> text = ReadFileBytes("held.txt");
    EXPECT_NE(std::string(text.begin(), text.end()).find("Guest\tname\t"), std::string::npos);
    EXPECT_FALSE(FileExists("held.txt.saving"));
}

// Through the Windows program: a bad address line is refused with its
// reason, an output that is the input is refused, and why explains a visitor
// whose Cyrillic nickname comes from the command line.
TEST_F(RulesToolOnWindows, RefusesBadLinesAndItsOwnInputAndExplainsAVisitor) {
    const std::string list =
        "10.0.0.0/8\tno-private\n"
        "10.1.2.3 # a note\n"
        "1.2.3.4:6667\n"
        "\xD0\x93\xD0\xBE\xD1\x81\xD1\x82\xD1\x8C\tallow-all\n";  // "Гость"
    WriteFileBytes("list.txt", std::vector<uint8_t>(list.begin(), list.end()));
    ToolRun run = RunTool("import list.txt -o MODULES\\torvo.tdb");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("list.txt:3: a port is not part of an address"), std::string::npos) << run.err;
    EXPECT_FALSE(FileExists(RULE_FILE));
    run = RunTool("import list.txt -o MODULES\\torvo.tdb --skip-bad");
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(ReadRuleFile().size(), 3u);
    const std::vector<uint8_t> written = ReadFileBytes(RULE_FILE);

    run = RunTool("export MODULES\\torvo.tdb -o MODULES\\torvo.tdb");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.err.find("is the input"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(RULE_FILE), written);

    // The nickname as the console would pass it: in the ANSI code page.
    char nick[32] = {};
    WideCharToMultiByte(CP_ACP, 0, L"\u0413\u043e\u0441\u0442\u044c", -1, nick, sizeof nick, nullptr, nullptr);
    run = RunTool(std::string("why MODULES\\torvo.tdb ") + nick + " 10.1.2.3");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.out.find("3 rules pick this visitor"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 3: name \"\xD0\x93\xD0\xBE\xD1\x81\xD1\x82\xD1\x8C\" -> allow-all"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 1 decides: no-private"), std::string::npos) << run.out;

    run = RunTool("check MODULES\\torvo.tdb");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.out.find("rule 2: its addresses all lie inside those of rule 1"), std::string::npos) << run.out;
}

// TORVO_NOW for the tool's runs while it lives.
struct ToolClock {
    explicit ToolClock(const char* seconds) { Set(seconds); }
    ~ToolClock() { SetEnvironmentVariableA("TORVO_NOW", nullptr); }
    void Set(const char* seconds) { SetEnvironmentVariableA("TORVO_NOW", seconds); }
};

// Temporary rules through the Windows program: a Cyrillic note from the
// command line in the ANSI code page, the time from TORVO_NOW, the memo in
// the exported table, and prune once the rule has expired.
TEST_F(RulesToolOnWindows, ImportsTemporaryRulesAndPrunesThemOnceExpired) {
    WriteFileBytes("list.txt", {'G', 'u', 'e', 's', 't', '\n'});
    ToolClock clock("1798761600");  // 2027-01-01T00:00:00Z
    char note[32] = {};
    WideCharToMultiByte(CP_ACP, 0, L"\u0436\u0430\u043b\u043e\u0431\u0430", -1, note, sizeof note, nullptr,
                        nullptr);  // "жалоба"
    ToolRun run = RunTool(std::string("import list.txt -o MODULES\\torvo.tdb --expires 7d --note ") + note);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    run = RunTool("export MODULES\\torvo.tdb");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.out.find("Guest\tname\t\tignore\t#0000FF\t#000000\t\t\t2027-01-01T00:00:00Z\t2027-01-08T00:00:00Z\t"
                           "\xD0\xB6\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB1\xD0\xB0\n"),
              std::string::npos) << run.out;

    clock.Set("1799366400");  // the expiry
    run = RunTool("prune MODULES\\torvo.tdb -o pruned.tdb --expired");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_NE(run.out.find("dropped 1 of 1 rules, 1 expired by 2027-01-08T00:00:00Z; wrote 0 rules to pruned.tdb"),
              std::string::npos) << run.out;
    EXPECT_TRUE(FileExists("pruned.tdb"));
    EXPECT_EQ(ReadFileBytes("pruned.tdb").size(), 0u);
}

}  // namespace
