// Times the rule file and the rule editor with long lists: loading and
// saving the file beside a plain copy of the same bytes, then opening the
// editor of the built torvo.jem, each command on a middle row, and closing
// it (which saves). The editor is driven with the window messages a user's
// clicks and keys send, on this thread, and every timed step includes
// pumping the queue until the editor has painted what changed.
//
// Usage: editor_bench [--rules 10000,100000] [--repeats 5]
#include "bench/bench_support.h"
#include "contract/host_contract.h"
#include "host/stand_in_messages.h"
#include "host/stand_in_module.h"
#include "host/whole_file.h"
#include "module/host_records.h"
#include "resources/resource_ids.h"
#include "rules/ip_pattern.h"
#include "rules/rule_array.h"
#include "rules/rule_file.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const char* COPY_PATH = "MODULES\\copy.tdb";
// How long the editor waits after an edit before it saves on its own.
constexpr DWORD EDITOR_IDLE_BEFORE_SAVING_MS = 3000;
constexpr int PASTED_LINES = 10000;

struct Options {
    std::vector<uint32_t> ruleCounts{10000, 100000};
    int repeats = 5;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--rules") {
            if (!ParseRuleCounts(value, 3, options.ruleCounts)) return false;
        } else if (name == "--repeats") {
            options.repeats = std::atoi(value);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.repeats > 0;
}

// --- Timing ------------------------------------------------------------------

struct Figure {
    double medianMs = 0;
    double minMs = 0;
    double maxMs = 0;
};

Figure Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2] * 1e3, samples.front() * 1e3, samples.back() * 1e3};
}

// Runs prepare (untimed) and step (timed) `repeats` times.
Figure Measure(int repeats, const std::function<void()>& prepare,
               const std::function<void()>& step) {
    std::vector<double> samples;
    for (int i = 0; i < repeats; ++i) {
        if (prepare) prepare();
        const double start = Now();
        step();
        samples.push_back(Now() - start);
    }
    return Summarise(samples);
}

void PrintFigure(const char* what, const Figure& figure) {
    std::printf("  %-34s %10.2f %10.2f %10.2f\n", what, figure.medianMs, figure.minMs,
                figure.maxMs);
}

// --- Files ---------------------------------------------------------------------

// Rules that look like an operator's: names, IP texts of every kind, all
// statuses and search types, and reserved bytes that must travel along.
std::vector<uint8_t> RuleFileBytes(uint32_t count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * RULE_SIZE);
    static const int32_t statuses[] = {STATUS_UNCHANGED, STATUS_ALLOW_ALL, STATUS_NO_PRIVATE,
                                       STATUS_IGNORE};
    static const int32_t searchTypes[] = {SEARCH_NAME, SEARCH_IP, SEARCH_NAME_AND_IP,
                                          SEARCH_NAME_OR_IP};
    for (uint32_t i = 0; i < count; ++i) {
        _RULE rule;
        std::memset(&rule, 0, sizeof rule);
        const std::wstring name = L"spammer " + std::to_wstring(i);
        wcsncpy(reinterpret_cast<wchar_t*>(rule.name), name.c_str(), RULE_NAME_UNITS - 1);
        rule.status = statuses[i % 4];
        rule.searchType = searchTypes[i / 4 % 4];
        rule.nickColor = 0x00010203 * (i % 80);
        rule.textColor = 0x00FFFFFF - i;
        const std::string ip = "10." + std::to_string(i / 65536 % 256) + "." +
                               std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        std::strncpy(rule.ipText, (i % 3 == 0 ? ip.substr(0, ip.rfind('.') + 1) + "*" : ip).c_str(),
                     RULE_IP_TEXT_BYTES - 1);
        ParseRuleIp(rule);
        std::memset(rule.reserved, static_cast<int>(i % 251), sizeof rule.reserved);
        std::memcpy(&bytes[static_cast<size_t>(i) * RULE_SIZE], &rule, RULE_SIZE);
    }
    return bytes;
}

std::vector<uint8_t> RuleFileNow() {
    std::vector<uint8_t> bytes;
    ReadWholeFile(RULE_FILE_PATH, bytes);
    return bytes;
}

// Copies over an existing copy, as the save replaces an existing file.
void CopyAndFlush(const char* from, const char* to) {
    CopyFileA(from, to, FALSE);
    HANDLE copy = CreateFileA(to, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FlushFileBuffers(copy);
    CloseHandle(copy);
}

double TimeOnce(const std::function<void()>& step) {
    const double start = Now();
    step();
    return Now() - start;
}

// Load and save through the rule store itself, against copies of the same
// file made by the system. The four take turns, so that they meet the same
// conditions of the machine and its disk.
bool BenchFile(uint32_t count, int repeats) {
    std::vector<double> copies, flushedCopies, loads, saves;
    const std::vector<uint8_t> before = RuleFileNow();
    CopyFileA(RULE_FILE_PATH, COPY_PATH, FALSE);
    for (int i = 0; i < repeats; ++i) {
        copies.push_back(TimeOnce([] { CopyFileA(RULE_FILE_PATH, COPY_PATH, FALSE); }));
        flushedCopies.push_back(TimeOnce([] { CopyAndFlush(RULE_FILE_PATH, COPY_PATH); }));
        FreeRules();
        loads.push_back(TimeOnce([] { LoadRules(RULE_FILE_PATH); }));
        if (g_ruleCount != count) {
            std::fprintf(stderr, "loaded %u rules, not %u\n", g_ruleCount, count);
            return false;
        }
        saves.push_back(TimeOnce([] { SaveRules(RULE_FILE_PATH); }));
    }
    // What Delete's own share of the rule array costs: the later records
    // move down one place.
    std::vector<double> removals;
    for (int i = 0; i < repeats; ++i) {
        removals.push_back(TimeOnce([] { RemoveRule(static_cast<int32_t>(g_ruleCount / 2)); }));
    }
    FreeRules();
    DeleteFileA(COPY_PATH);
    if (RuleFileNow() != before) {
        std::fprintf(stderr, "the saved file differs from the loaded one\n");
        return false;
    }
    std::printf("  %-34s %10s %10s %10s\n", "rule file", "median ms", "min ms", "max ms");
    PrintFigure("copy (CopyFile)", Summarise(copies));
    PrintFigure("copy + flush", Summarise(flushedCopies));
    PrintFigure("load (LoadRules)", Summarise(loads));
    PrintFigure("save (SaveRules, over the file)", Summarise(saves));
    PrintFigure("RemoveRule of a middle rule", Summarise(removals));
    std::printf("  load / copy %.2f, save / (copy + flush) %.2f (medians)\n",
                Summarise(loads).medianMs / Summarise(copies).medianMs,
                Summarise(saves).medianMs / Summarise(flushedCopies).medianMs);
    return true;
}

// --- Editor --------------------------------------------------------------------

struct EditorRun {
    LoadedModule module;
    HWND dialog = nullptr;
    _CFG_INFO config{};

    HWND List() const { return GetDlgItem(dialog, IDC_RULES); }
    int RowCount() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

    void Open() {
        module.setup(0, nullptr, &config);
        const std::vector<HWND> editors = EditorWindowsOfThread(GetCurrentThreadId());
        dialog = editors.empty() ? nullptr : editors.front();
        PumpMessages();
    }
    void Command(int id) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        PumpMessages();
    }
    void Close() {
        Command(IDCANCEL);
        dialog = nullptr;
    }
    void ShowRow(int row) {
        SendMessageA(List(), LVM_ENSUREVISIBLE, row, FALSE);
        PumpMessages();
    }
    // A mouse click on the row, which must be in view: the list selects it
    // and tells the dialog with NM_CLICK.
    void Click(int row) {
        RECT bounds{LVIR_BOUNDS, 0, 0, 0};
        SendMessageA(List(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
        const LPARAM point = MAKELPARAM(bounds.left + 30, (bounds.top + bounds.bottom) / 2);
        SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, point);
        SendMessageA(List(), WM_LBUTTONUP, 0, point);
        PumpMessages();
    }
    int SelectedRow() const {
        return static_cast<int>(SendMessageA(List(), LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    }
};

bool BenchEditor(uint32_t count, int repeats) {
    EditorRun editor;
    if (!LoadBuiltModule(editor.module)) return false;  // reads the rule file
    std::strcpy(editor.config.configFile, "C:\\nowhere\\host.ini");
    const int middle = static_cast<int>(count / 2);
    bool ok = true;

    std::printf("  %-34s %10s %10s %10s\n", "editor", "median ms", "min ms", "max ms");
    std::vector<double> opens, closes;
    for (int i = 0; ok && i < repeats; ++i) {
        double start = Now();
        editor.Open();
        opens.push_back(Now() - start);
        ok = editor.dialog && editor.RowCount() == static_cast<int>(count);
        if (!ok) break;
        start = Now();
        editor.Close();
        closes.push_back(Now() - start);
    }
    if (!ok) {
        std::fprintf(stderr, "the editor did not open with %u rows\n", count);
        UnloadModule(editor.module);
        return false;
    }
    PrintFigure("open (Torvo_Setup, first paint)", Summarise(opens));
    PrintFigure("close (saves)", Summarise(closes));

    // Commands, each on the middle row; the row count stays the same.
    editor.Open();
    const auto clickMiddle = [&] {
        editor.ShowRow(middle);
        editor.Click(middle);
    };
    const int commandRepeats = repeats * 3;
    PrintFigure("click on a middle row", Measure(commandRepeats, [&] {
                    editor.ShowRow(middle);
                    editor.Click(middle + 1);
                }, [&] { editor.Click(middle); }));
    ok = editor.SelectedRow() == middle;
    PrintFigure("Change", Measure(commandRepeats, clickMiddle, [&] { editor.Command(IDC_CHANGE); }));
    PrintFigure("Up", Measure(commandRepeats, clickMiddle, [&] { editor.Command(IDC_UP); }));
    PrintFigure("Down", Measure(commandRepeats, clickMiddle, [&] { editor.Command(IDC_DOWN); }));
    PrintFigure("Add", Measure(commandRepeats, clickMiddle, [&] { editor.Command(IDC_ADD); }));
    // Remove what Add appended, outside the timings.
    for (int i = 0; i < commandRepeats; ++i) {
        editor.ShowRow(editor.RowCount() - 1);
        editor.Click(editor.RowCount() - 1);
        editor.Command(IDC_DELETE);
    }
    PrintFigure("Delete",
                Measure(commandRepeats, clickMiddle, [&] { editor.Command(IDC_DELETE); }));
    ok = ok && editor.RowCount() == static_cast<int>(count) - commandRepeats;

    // A typed character no rule starts with: the search reads every rule.
    const HWND list = editor.List();
    PrintFigure("type to find (a key, no match)", Measure(commandRepeats, clickMiddle, [&] {
                    SendMessageW(list, WM_CHAR, L'\u042F', 1);
                    PumpMessages();
                }));
    ok = ok && editor.SelectedRow() == middle;
    PrintFigure("type to find (F3, no match)",
                Measure(commandRepeats, [] {}, [&] { PressKey(list, VK_F3); }));

    // 10,000 pasted addresses after the middle row, then taken back.
    std::wstring pasted;
    for (int i = 0; i < PASTED_LINES; ++i) {
        pasted += L"172.16." + std::to_wstring(i / 256) + L"." + std::to_wstring(i % 256) + L"\r\n";
    }
    const auto closeNotice = [] {
        if (HWND notice = FindWindowW(nullptr, SAVE_NOTICE_CAPTION)) DestroyWindow(notice);
    };
    std::vector<double> pastes, undos;
    for (int i = 0; ok && i < repeats; ++i) {
        clickMiddle();
        SetClipboardText(pasted);
        const int rowsBefore = editor.RowCount();
        pastes.push_back(TimeOnce([&] { PressKey(list, 'V', true); }));
        closeNotice();
        ok = editor.RowCount() == rowsBefore + PASTED_LINES;
        undos.push_back(TimeOnce([&] { PressKey(list, 'Z', true); }));
        ok = ok && editor.RowCount() == rowsBefore;
    }
    if (ok) {
        PrintFigure("paste of 10,000 address lines", Summarise(pastes));
        PrintFigure("undo of that paste", Summarise(undos));
    }

    // The save the editor makes once left alone a few seconds after an edit:
    // the stall of the host's thread is the timer message that writes it.
    std::vector<double> idleSaves;
    for (int i = 0; ok && i < 3; ++i) {
        editor.Command(IDC_ADD);
        Sleep(EDITOR_IDLE_BEFORE_SAVING_MS + 100);
        const size_t sizeBefore = RuleFileNow().size();
        idleSaves.push_back(TimeOnce([&] { SendMessageA(editor.dialog, WM_TIMER, 1, 0); }));
        ok = RuleFileNow().size() != sizeBefore;
    }
    if (ok) PrintFigure("save after an idle spell (timer)", Summarise(idleSaves));
    editor.Close();
    UnloadModule(editor.module);  // saves once more
    if (!ok) std::fprintf(stderr, "the commands did not act as expected\n");
    return ok;
}

// The first editor of a process also loads fonts and the rich edit's own
// parts, whatever the list; that opening is made once here, untimed, with no
// rules.
void WarmUpEditor() {
    WriteWholeFile(RULE_FILE_PATH, nullptr, 0);
    EditorRun editor;
    if (!LoadBuiltModule(editor.module)) return;
    editor.Open();
    if (editor.dialog) editor.Close();
    UnloadModule(editor.module);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: editor_bench [--rules 10000,100000] [--repeats 5]\n");
        return 2;
    }
    PrintRunnerLine("Editor and rule file benchmark");

    PrepareHostClasses();  // as the host does before it opens the editor

    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    const std::string folder = MakeScratchFolder("torvo-editor-bench");
    int status = 0;
    WarmUpEditor();
    for (uint32_t count : options.ruleCounts) {
        std::printf("\n%u rules (%u bytes)\n", count, count * static_cast<uint32_t>(RULE_SIZE));
        const std::vector<uint8_t> bytes = RuleFileBytes(count);
        if (!WriteWholeFile(RULE_FILE_PATH, bytes.data(), bytes.size()) ||
            !BenchFile(count, options.repeats) || !BenchEditor(count, options.repeats)) {
            status = 1;
            break;
        }
        std::fflush(stdout);
    }
    RemoveScratchFolder(folder, current, {"torvo.tdb", "torvo.tdb.saving", "copy.tdb"});
    return status;
}
