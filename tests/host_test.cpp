// The stand-in chat host: its visitor-file parser, and whole runs of the
// built torvo_host.exe in a scratch folder holding torvo.jem and the sample
// rules, read back through its output.
#include "host/visitor_file.h"
#include "tests/support/torvo_test.h"

#include "resources/resource_ids.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- Visitor files ------------------------------------------------------

TEST(VisitorFile, KeepsGoodLinesInOrderAndSkipsBlankAndCommentLines) {
    const std::string text =
        "\xEF\xBB\xBF"                     // byte order mark
        "# regulars\r\n"
        "\xD0\x93\xD0\xBE\xD1\x81\xD1\x82\xD1\x8C\t192.168.1.20\r\n"  // Гость
        "\r\n"
        "   \t  \n"
        "Carol\t\n"                        // no address known
        "\t10.0.0.1\n"                     // empty nickname
        "  # indented is not a comment\t1.2.3.4\n"
        "Bob\t10.0.3.3";                   // no final line end
    const VisitorList list = ParseVisitorText(text);
    EXPECT_TRUE(list.problems.empty());
    ASSERT_EQ(list.visitors.size(), 5u);
    EXPECT_EQ(list.visitors[0].nick, L"\u0413\u043e\u0441\u0442\u044c");
    EXPECT_EQ(list.visitors[0].ip, "192.168.1.20");
    EXPECT_EQ(list.visitors[1].nick, L"Carol");
    EXPECT_EQ(list.visitors[1].ip, "");
    EXPECT_EQ(list.visitors[2].nick, L"");
    EXPECT_EQ(list.visitors[2].ip, "10.0.0.1");
    EXPECT_EQ(list.visitors[3].nick, L"  # indented is not a comment");
    EXPECT_EQ(list.visitors[4].nick, L"Bob");
    EXPECT_EQ(list.visitors[4].ip, "10.0.3.3");
    for (const HostVisitor& visitor : list.visitors) EXPECT_EQ(visitor.state, 0u);
}

TEST(VisitorFile, ReportsEachBadLineByNumberAndKeepsTheRest) {
    const std::string longestNick(NICK_UNITS - 1, 'x');
    const std::string text = "# header\n"                                  // 1
                             "first\t1.2.3.4\n"                            // 2
                             "no tab here\n"                               // 3
                             "\n"                                          // 4
                             + longestNick + "x\t1.1.1.1\n"                // 5: one unit too many
                             + longestNick + "\t1.1.1.2\n"                 // 6
                             "wide\t1234567890123456\n"                    // 7: 16 bytes
                             "fits\t123456789012345\n"                     // 8: 15 bytes
                             "bad\xFF utf8\t1.1.1.3\n"                     // 9
                             "three\tcolumns\there\n"                      // 10
                             "last\t9.9.9.9\n";                            // 11
    const VisitorList list = ParseVisitorText(text);

    ASSERT_EQ(list.problems.size(), 5u);
    const int badLines[] = {3, 5, 7, 9, 10};
    for (size_t i = 0; i < list.problems.size(); ++i) {
        EXPECT_EQ(list.problems[i].line, badLines[i]) << list.problems[i].reason;
        EXPECT_FALSE(list.problems[i].reason.empty());
    }
    EXPECT_NE(list.problems[0].reason.find("tab"), std::string::npos);
    EXPECT_NE(list.problems[1].reason.find("nickname"), std::string::npos);
    EXPECT_NE(list.problems[2].reason.find("IP"), std::string::npos);

    ASSERT_EQ(list.visitors.size(), 4u);
    EXPECT_EQ(list.visitors[0].nick, L"first");
    EXPECT_EQ(list.visitors[1].nick.size(), NICK_UNITS - 1);
    EXPECT_EQ(list.visitors[1].ip, "1.1.1.2");
    EXPECT_EQ(list.visitors[2].ip, "123456789012345");
    EXPECT_EQ(list.visitors[3].nick, L"last");
}

TEST(VisitorFile, MeasuresNicknamesInUtf16UnitsAndRejectsZeroBytes) {
    const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units
    const std::string fits = std::string(NICK_UNITS - 3, 'a') + emoji;
    const std::string tooLong = std::string(NICK_UNITS - 2, 'a') + emoji;
    const std::string text = fits + "\t1.1.1.1\n" + tooLong + "\t1.1.1.1\n" +
                             std::string("nul\0name\t1.1.1.1\n", 17) +
                             std::string("ip\t1.1\0.1.1\n", 12);
    const VisitorList list = ParseVisitorText(text);
    ASSERT_EQ(list.visitors.size(), 1u);
    EXPECT_EQ(list.visitors[0].nick.size(), NICK_UNITS - 1);
    ASSERT_EQ(list.problems.size(), 3u);
    EXPECT_EQ(list.problems[0].line, 2);
    EXPECT_EQ(list.problems[1].line, 3);
    EXPECT_EQ(list.problems[2].line, 4);
}

// ---- Running the host ---------------------------------------------------

struct HostRun {
    DWORD exitCode = 0;
    std::string output;
};

HostRun RunHost(const std::string& arguments) {
    HostProcess host;
    if (!StartHost(host, arguments)) {
        ADD_FAILURE() << "cannot start the host: " << GetLastError();
        return {};
    }
    const DWORD exitCode = FinishHost(host);
    return {exitCode, host.text};
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The data rows of every table the host printed, in order, split into cells.
std::vector<std::vector<std::string>> TableRows(const std::string& output) {
    std::vector<std::vector<std::string>> rows;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> cells;
        size_t cellStart = 0;
        for (size_t bar; (bar = line.find('|', cellStart)) != std::string::npos; cellStart = bar + 1) {
            cells.push_back(Trim(line.substr(cellStart, bar - cellStart)));
        }
        cells.push_back(Trim(line.substr(cellStart)));
        if (cells.size() < 10 || cells[0].empty() ||
            cells[0].find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        rows.push_back(cells);
    }
    return rows;
}

// What a row must show: the sample rules applied to a visitor.
struct ExpectedRow {
    const char* nick;  // UTF-8
    const char* ip;
    const char* events;
    const char* statusBefore;
    const char* statusAfter;
    const char* nickColour;
    const char* textColour;
    const char* redraws;
};

constexpr char ALLOWED[] = "everything allowed";
constexpr char NO_PRIVATE[] = "private messages forbidden";
constexpr char IGNORED[] = "ignored";
constexpr char SPAMMER[] = "\xD0\xA1\xD0\xBF\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x80";  // Спамер
constexpr char MODERATOR[] =
    "\xD0\x9C\xD0\xBE\xD0\xB4\xD0\xB5\xD1\x80\xD0\xB0\xD1\x82\xD0\xBE\xD1\x80";  // Модератор
constexpr char GUEST[] = "\xD0\x93\xD0\xBE\xD1\x81\xD1\x82\xD1\x8C";            // Гость
constexpr char GUEST_LOWER[] = "\xD0\xB3\xD0\xBE\xD1\x81\xD1\x82\xD1\x8C";      // гость

// The sample rules, in list order:
//   Спамер by name: ignored, 0x000000C0 / 0x00808080
//   IP prefix 10.0.: private messages forbidden, 0x00C08000 / 0x00604000
//   Гость and exactly 192.168.1.20: everything allowed, 0x00008000 / 0x00004000
//   Модератор or 172.16.0.0 to 172.16.255.255: status unchanged, 0x00FF0000 / 0x00800000
// Rows 1-4 are present when the room is reported (every picking rule
// applies, the last one's colours stay), rows 5-9 arrive (the first picking
// rule alone).
void ExpectRows(const std::vector<std::vector<std::string>>& rows, size_t first,
                const std::vector<ExpectedRow>& expected) {
    ASSERT_GE(rows.size(), first + expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::vector<std::string>& row = rows[first + i];
        const ExpectedRow& want = expected[i];
        SCOPED_TRACE("row " + row[0] + " " + row[1]);
        EXPECT_EQ(row[0], std::to_string(i + 1));
        EXPECT_EQ(row[1], want.nick);
        EXPECT_EQ(row[2], want.ip);
        EXPECT_EQ(row[3], want.events);
        EXPECT_EQ(row[4], want.statusBefore);
        EXPECT_EQ(row[5], want.statusAfter);
        EXPECT_NE(row[6].find("unchanged"), std::string::npos) << row[6];
        EXPECT_EQ(row[7], want.nickColour);
        EXPECT_EQ(row[8], want.textColour);
        EXPECT_EQ(row[9], want.redraws);
    }
}

// The whole sample room reported at once, every visitor as first made.
const std::vector<ExpectedRow> ROOM_REPORTED_AGAIN = {
    {SPAMMER, "203.0.113.5", "16", ALLOWED, IGNORED, "0x000000C0", "0x00808080", "1"},
    // prefix then name: the prefix rule's status, the name rule's colours
    {MODERATOR, "10.0.0.7", "16", ALLOWED, NO_PRIVATE, "0x00FF0000", "0x00800000", "2"},
    {GUEST, "192.168.1.20", "16", NO_PRIVATE, ALLOWED, "0x00008000", "0x00004000", "1"},
    {GUEST_LOWER, "192.168.1.20", "16", NO_PRIVATE, NO_PRIVATE, "0x00000000", "0x00000000", "0"},
    {"Alice", "172.16.4.2", "16", ALLOWED, ALLOWED, "0x00FF0000", "0x00800000", "1"},
    {"Bob", "10.0.3.3", "16", ALLOWED, NO_PRIVATE, "0x00C08000", "0x00604000", "1"},
    {MODERATOR, "10.0.0.8", "16", ALLOWED, NO_PRIVATE, "0x00FF0000", "0x00800000", "2"},
    {"Carol", "(none)", "16", ALLOWED, ALLOWED, "0x00000000", "0x00000000", "0"},
    {"Dave", "172.17.0.1", "16", ALLOWED, ALLOWED, "0x00000000", "0x00000000", "0"},
};

class HostRuns : public ::testing::Test {
protected:
    // The host writes its sample rules once for every case: each start of a
    // Windows program costs seconds on an emulated CPU.
    static void SetUpTestSuite() {
        ScratchFolder first;
        if (!CopyFileA(ModulePath().c_str(), "MODULES\\torvo.jem", FALSE)) return;
        const HostRun written = RunHost("--write-sample-rules MODULES\\torvo.tdb");
        if (written.exitCode == 0) sampleFile = ReadFileBytes(RULE_FILE);
    }

    void SetUp() override {
        ASSERT_EQ(sampleFile.size(), 4 * RULE_SIZE) << "the host wrote no sample rules";
        ASSERT_TRUE(CopyFileA(ModulePath().c_str(), "MODULES\\torvo.jem", FALSE));
        WriteFileBytes(RULE_FILE, sampleFile);
    }

    void ExpectRuleFileUnchanged() { EXPECT_TRUE(ReadFileBytes(RULE_FILE) == sampleFile); }

    ScratchFolder folder;
    static std::vector<uint8_t> sampleFile;
};
std::vector<uint8_t> HostRuns::sampleFile;

TEST_F(HostRuns, SampleRulesUseEveryStatusSearchTypeAndIpPattern) {
    const std::vector<_RULE> rules = ReadRuleFile();
    ASSERT_EQ(rules.size(), 4u);
    std::vector<int32_t> statuses, searchTypes;
    bool prefix = false, exact = false, range = false;
    for (const _RULE& rule : rules) {
        statuses.push_back(rule.status);
        searchTypes.push_back(rule.searchType);
        const std::string text(rule.ipText, strnlen(rule.ipText, sizeof rule.ipText));
        const std::string ipPrefix(rule.ipPrefix, strnlen(rule.ipPrefix, sizeof rule.ipPrefix));
        if (!ipPrefix.empty()) {
            prefix = true;
            EXPECT_EQ(text.substr(0, text.find('*')), ipPrefix);
            EXPECT_EQ(rule.ipLow, 0u);
            EXPECT_EQ(rule.ipHigh, 0u);
        } else if (rule.ipHigh != 0) {
            range = true;
            EXPECT_EQ(text, "172.16.0.0-172.16.255.255");
            EXPECT_EQ(rule.ipLow, Address("172.16.0.0"));
            EXPECT_EQ(rule.ipHigh, Address("172.16.255.255"));
        } else if (rule.ipLow != 0) {
            exact = true;
            EXPECT_EQ(rule.ipLow, Address(text.c_str()));
        }
        for (uint8_t byte : rule.reserved) ASSERT_EQ(byte, 0);
    }
    std::sort(statuses.begin(), statuses.end());
    std::sort(searchTypes.begin(), searchTypes.end());
    EXPECT_EQ(statuses, (std::vector<int32_t>{STATUS_UNCHANGED, STATUS_ALLOW_ALL,
                                              STATUS_NO_PRIVATE, STATUS_IGNORE}));
    EXPECT_EQ(searchTypes, (std::vector<int32_t>{SEARCH_NAME, SEARCH_IP, SEARCH_NAME_AND_IP,
                                                 SEARCH_NAME_OR_IP}));
    EXPECT_TRUE(prefix);
    EXPECT_TRUE(exact);
    EXPECT_TRUE(range);
}

// One start of the host for the table, the editor's picture and the room
// reported again after the editor closed.
TEST_F(HostRuns, TableAndEditorPictureShowWhatTheSampleRulesGiveAndTheRuleFileSurvives) {
    const HostRun run = RunHost("--recheck 1 --screenshot editor.png");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("answered 8272"), std::string::npos) << run.output;
    const auto rows = TableRows(run.output);
    ASSERT_EQ(rows.size(), 18u) << run.output;
    ExpectRows(rows, 0, {
        // re-checked: the name rule once more, a second redraw
        {SPAMMER, "203.0.113.5", "16, 8192", ALLOWED, IGNORED, "0x000000C0", "0x00808080", "2"},
        {MODERATOR, "10.0.0.7", "16", ALLOWED, NO_PRIVATE, "0x00FF0000", "0x00800000", "2"},
        {GUEST, "192.168.1.20", "16", NO_PRIVATE, ALLOWED, "0x00008000", "0x00004000", "1"},
        {GUEST_LOWER, "192.168.1.20", "16", NO_PRIVATE, NO_PRIVATE, "0x00000000", "0x00000000", "0"},
        {"Alice", "172.16.4.2", "64", ALLOWED, ALLOWED, "0x00FF0000", "0x00800000", "1"},
        {"Bob", "10.0.3.3", "64", ALLOWED, NO_PRIVATE, "0x00C08000", "0x00604000", "1"},
        // arriving: the prefix rule alone, though the name rule would pick too
        {MODERATOR, "10.0.0.8", "64", ALLOWED, NO_PRIVATE, "0x00C08000", "0x00604000", "1"},
        {"Carol", "(none)", "64", ALLOWED, ALLOWED, "0x00000000", "0x00000000", "0"},
        {"Dave", "172.17.0.1", "64", ALLOWED, ALLOWED, "0x00000000", "0x00000000", "0"},
    });
    ExpectRows(rows, 9, ROOM_REPORTED_AGAIN);
    EXPECT_EQ(run.output.find("Redraws for rows"), std::string::npos);
    EXPECT_NE(run.output.find("holds 4 rule(s)"), std::string::npos) << run.output;

    const std::vector<uint8_t> png = ReadFileBytes("editor.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16), 0);
    const uint32_t width = png[16] << 24 | png[17] << 16 | png[18] << 8 | png[19];
    const uint32_t height = png[20] << 24 | png[21] << 16 | png[22] << 8 | png[23];
    EXPECT_GT(width, 300u);
    EXPECT_GT(height, 200u);
    // Uncompressed pixel data: three bytes a pixel and one a row, at least.
    EXPECT_GT(png.size(), width * height * 3 + height);
    ExpectRuleFileUnchanged();
}

BOOL CALLBACK FindTorvoWindow(HWND window, LPARAM search) {
    auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(search);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char caption[16] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (process != found->first || std::strcmp(caption, "Torvo") != 0) return TRUE;
    found->second = window;
    return FALSE;
}

TEST_F(HostRuns, EscClosesTheEditorThroughTheHostsDialogLoop) {
    HostProcess host;
    ASSERT_TRUE(StartHost(host, "--editor"));
    std::pair<DWORD, HWND> search{host.info.dwProcessId, nullptr};
    for (int attempt = 0; attempt < 600 && !search.second; ++attempt) {
        if (WaitForSingleObject(host.info.hProcess, 100) == WAIT_OBJECT_0) break;
        EnumWindows(FindTorvoWindow, reinterpret_cast<LPARAM>(&search));
    }
    EXPECT_NE(search.second, nullptr) << "no editor window appeared";
    // Esc reaches the editor only if the host's loop hands keys to the
    // dialog manager.
    if (search.second) PostMessageA(search.second, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    const DWORD exitCode = FinishHost(host);
    EXPECT_EQ(exitCode, 0u) << host.text;
    const auto rows = TableRows(host.text);
    ASSERT_EQ(rows.size(), 18u) << host.text;
    ExpectRows(rows, 9, ROOM_REPORTED_AGAIN);
    ExpectRuleFileUnchanged();
}

// The editor as the host with --ansi opened it, driven from this process
// with the messages a user's clicks send.
// The window is looked for once the host has said it opened the editor: a
// window found earlier may still be in its set-up, without its rows.
HWND WaitForEditor(HostProcess& host) {
    std::pair<DWORD, HWND> search{host.info.dwProcessId, nullptr};
    for (int attempt = 0; attempt < 600 && !search.second; ++attempt) {
        if (WaitForSingleObject(host.info.hProcess, 100) == WAIT_OBJECT_0) break;
        if (host.editorOpen) EnumWindows(FindTorvoWindow, reinterpret_cast<LPARAM>(&search));
    }
    return search.second;
}

// A mouse click in the middle of rule row `row`, posted to the host's queue
// as the mouse would: the button's release already waits there when the list
// handles the press, so its drag tracking ends at once whatever other
// programs on the desktop do. The row's place is asked through a record in
// the host's own memory, where the list writes it.
void ClickRowOfOtherProcess(HANDLE process, HWND editor, int row) {
    HWND list = GetDlgItem(editor, IDC_RULES);
    void* remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    RECT rect{LVIR_BOUNDS, 0, 0, 0};
    WriteProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ASSERT_GT(rect.bottom, rect.top);
    const LPARAM point = MAKELPARAM(40, (rect.top + rect.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(list, WM_LBUTTONUP, 0, point);
}

std::wstring ControlText(HWND control) {
    wchar_t text[128] = {};
    SendMessageW(control, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text));
    return text;
}

// A host that talks ANSI to the name field (character mode 1) shows Latin
// and Cyrillic nicknames whole and gets them back whole, so Change leaves
// their rules byte for byte as they were; a nickname the code page cannot
// hold shows with stand-ins and Change keeps it as stored.
TEST_F(HostRuns, AnsiHostShowsNamesWholeAndChangeKeepsThem) {
    const std::vector<std::wstring> names = {
        L"user00001", L"\u0412\u0430\u0441\u044f \u041f\u0443\u043f\u043a\u0438\u043d",
        L"\u540d\u5b57 \u03a9"};  // Chinese and Greek: not in code page 1251
    std::vector<_RULE> rules;
    for (const std::wstring& name : names) rules.push_back(MakeRule(name.c_str(), SEARCH_NAME));
    WriteRuleFile(rules);
    const std::vector<uint8_t> written = ReadFileBytes(RULE_FILE);

    HostProcess host;
    ASSERT_TRUE(StartHost(host, "--ansi --editor"));
    const HWND editor = WaitForEditor(host);
    EXPECT_NE(editor, nullptr) << "no editor window appeared";
    if (editor) {
        // Row 0 is selected when the editor opens, and Wine's list does not
        // always report a click on the row already selected: it comes second.
        for (int row : {1, 0, 2}) {
            SCOPED_TRACE(row);
            const HWND nameField = GetDlgItem(editor, IDC_NAME);
            const std::wstring before = ControlText(nameField);
            // Each row's name differs from the one before it: the host has
            // handled the click once the field shows another text.
            ClickRowOfOtherProcess(host.info.hProcess, editor, row);
            std::wstring shown = before;
            for (int wait = 0; wait < 500 && shown == before; ++wait) {
                Sleep(10);
                shown = ControlText(nameField);
            }
            if (row < 2) {
                EXPECT_EQ(shown, names[row]);
            } else {
                EXPECT_EQ(shown, L"?? ?");
            }
            SendMessageW(editor, WM_COMMAND, MAKEWPARAM(IDC_CHANGE, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(editor, IDC_CHANGE)));
        }
        PostMessageA(editor, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }
    EXPECT_EQ(FinishHost(host), 0u) << host.text;
    EXPECT_NE(host.text.find("character mode 1"), std::string::npos) << host.text;
    EXPECT_TRUE(ReadFileBytes(RULE_FILE) == written);
}

TEST_F(HostRuns, VisitorFileBadLinesAreReportedAndTheRestTakePart) {
    const std::string text = std::string(SPAMMER) + "\t203.0.113.9\nno tab here\nBob\t10.0.9.9\n";
    WriteFileBytes("visitors.txt", std::vector<uint8_t>(text.begin(), text.end()));
    const HostRun run = RunHost("--visitors visitors.txt --present 1");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("visitors.txt:2: no tab"), std::string::npos) << run.output;
    const auto rows = TableRows(run.output);
    ExpectRows(rows, 0, {
        {SPAMMER, "203.0.113.9", "16", ALLOWED, IGNORED, "0x000000C0", "0x00808080", "1"},
        {"Bob", "10.0.9.9", "64", ALLOWED, NO_PRIVATE, "0x00C08000", "0x00604000", "1"},
    });
    EXPECT_EQ(rows.size(), 2u);
}

TEST_F(HostRuns, MissingModuleOrExportIsNamedAndFails) {
    const std::vector<uint8_t> module = ReadFileBytes("MODULES\\torvo.jem");
    ASSERT_TRUE(DeleteFileA("MODULES\\torvo.jem"));
    HostRun run = RunHost("");
    EXPECT_NE(run.exitCode, 0u);
    EXPECT_NE(run.output.find("MODULES\\torvo.jem"), std::string::npos) << run.output;
    EXPECT_TRUE(TableRows(run.output).empty());

    // The same library with its setup export renamed; the export names stay
    // in sorted order, so the other one is still found.
    std::vector<uint8_t> renamed = module;
    const std::string symbol = SETUP_SYMBOL;
    int patched = 0;
    for (size_t at = 0; at + symbol.size() <= renamed.size(); ++at) {
        if (std::memcmp(&renamed[at], symbol.data(), symbol.size()) == 0) {
            renamed[at + 8] = 'x';  // "@Torvo_Sxtup..."
            ++patched;
        }
    }
    ASSERT_GT(patched, 0);
    WriteFileBytes("MODULES\\torvo.jem", renamed);
    run = RunHost("");
    EXPECT_NE(run.exitCode, 0u);
    EXPECT_NE(run.output.find(SETUP_SYMBOL), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find(SET_USER_STATE_SYMBOL), std::string::npos) << run.output;
    EXPECT_TRUE(TableRows(run.output).empty());
}

}  // namespace
