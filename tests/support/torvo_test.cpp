#include "tests/support/torvo_test.h"

#include "resources/resource_ids.h"

#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// A read past a field faults. Every test program reports such a fault and
// ends at once with a failure, rather than leaving it to Wine's debugger.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* fault) {
    const EXCEPTION_RECORD& record = *fault->ExceptionRecord;
    std::fprintf(stderr, "FATAL: exception 0x%08lx at %p (address %p)\n",
                 static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress,
                 record.NumberParameters > 1 ? reinterpret_cast<void*>(record.ExceptionInformation[1])
                                             : nullptr);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}
const LPTOP_LEVEL_EXCEPTION_FILTER previousFaultFilter = SetUnhandledExceptionFilter(ReportFault);

}  // namespace

LoadedModule LoadModule() { return LoadModuleFrom(ModulePath()); }

bool CopyModuleTo(const std::string& path) {
    return CopyFileA(ModulePath().c_str(), path.c_str(), FALSE) != FALSE;
}

LoadedModule LoadModuleFrom(const std::string& path) {
    // The module's colour dialog library and the half dozen it brings stay
    // loaded between the many loads of a test program, as they do in a host
    // that has them anyway; otherwise every load loads them all again, which
    // costs seconds per program where the CPU is emulated.
    static const HMODULE dialogLibrary = LoadLibraryA("comdlg32.dll");
    (void)dialogLibrary;
    LoadedModule module;
    std::string error;
    if (!LoadModuleFile(path, module, error)) ADD_FAILURE() << error;
    return module;
}

BOOL CallModuleEntry(const LoadedModule& module, DWORD reason, void* reserved) {
    auto* base = reinterpret_cast<uint8_t*>(module.handle);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    using Entry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
    const auto entry = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(base + headers->OptionalHeader.AddressOfEntryPoint));
    return entry(module.handle, reason, reserved);
}

bool StartWithOutputs(const std::string& program, const std::string& arguments, HANDLE output,
                      HANDLE error, DWORD creationFlags, PROCESS_INFORMATION* process) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = output;
    startup.hStdError = error;
    std::string commandLine = "\"" + program + "\" " + arguments;
    return CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, creationFlags,
                          nullptr, nullptr, &startup, process) != FALSE;
}

DWORD WaitForExit(PROCESS_INFORMATION& process) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

bool StartHost(HostProcess& host, const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&host.output, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(host.output, HANDLE_FLAG_INHERIT, 0);
    const bool started = StartWithOutputs(FileBesideProgram("torvo_host.exe"), arguments, writeEnd,
                                          writeEnd, 0, &host.info);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(host.output);
        return false;
    }
    host.reader = std::thread([&host] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(host.output, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            host.text.append(buffer, read);
            if (!host.editorOpen && host.text.find("Opened the editor") != std::string::npos) {
                host.editorOpen = true;
            }
        }
    });
    return true;
}

DWORD FinishHost(HostProcess& host) {
    constexpr DWORD HOST_TIMEOUT_MS = 120000;
    if (WaitForSingleObject(host.info.hProcess, HOST_TIMEOUT_MS) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the host did not finish; output so far:\n" << host.text;
        TerminateProcess(host.info.hProcess, 99);
        WaitForSingleObject(host.info.hProcess, INFINITE);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(host.info.hProcess, &exitCode);
    host.reader.join();
    CloseHandle(host.output);
    CloseHandle(host.info.hProcess);
    CloseHandle(host.info.hThread);
    return exitCode;
}

void PressEditorControl(HWND editor, int id, WORD code) {
    SendMessageA(editor, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(editor, id)));
    PumpMessages();
}

void ClickRuleRow(HWND editor, int row) {
    HWND list = GetDlgItem(editor, IDC_RULES);
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (row >= 0) {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }
    NMITEMACTIVATE click{};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = IDC_RULES;
    click.hdr.code = NM_CLICK;
    click.iItem = row;
    SendMessageA(editor, WM_NOTIFY, IDC_RULES, reinterpret_cast<LPARAM>(&click));
    PumpMessages();
}

void AddRuleInEditor(HWND editor, const wchar_t* name) {
    SetWindowTextW(GetDlgItem(editor, IDC_NAME), name);
    PressEditorControl(editor, IDC_ADD);
}

void ChangeRuleInEditor(HWND editor, int row, const wchar_t* name, const char* ip,
                        int searchItem) {
    ClickRuleRow(editor, row);
    SetWindowTextW(GetDlgItem(editor, IDC_NAME), name);
    SetWindowTextA(GetDlgItem(editor, IDC_IP), ip);
    SendMessageA(GetDlgItem(editor, IDC_SEARCH), CB_SETCURSEL, searchItem, 0);
    PumpMessages();
    PressEditorControl(editor, IDC_CHANGE);
}

void CancelEditor(HWND editor) {
    SendMessageA(editor, WM_COMMAND, IDCANCEL, 0);
    PumpMessages();
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (const HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(block));
        GlobalUnlock(block);
    }
    CloseClipboard();
    return text;
}

void DropFilesOn(HWND window, const std::vector<std::wstring>& paths) {
    std::wstring names;
    for (const std::wstring& path : paths) names += path + L'\0';
    names += L'\0';
    const HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::memcpy(files + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(drop);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    PumpMessages();
}

bool FocusIsWithin(HWND window) {
    const HWND focus = GetFocus();
    return focus == window || IsChild(window, focus);
}

std::vector<HWND> EditorWindowsOfThisThread() { return EditorWindowsOfThread(GetCurrentThreadId()); }

namespace {

BOOL CALLBACK FindNotice(HWND window, LPARAM found) {
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (std::wcscmp(caption, SAVE_NOTICE_CAPTION) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

HWND SaveNoticeOfThisThread() {
    HWND notice = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindNotice, reinterpret_cast<LPARAM>(&notice));
    return notice;
}

std::wstring NoticeText(HWND notice) {
    const HWND text = GetDlgItem(notice, IDC_NOTICE_TEXT);
    std::wstring shown(static_cast<size_t>(GetWindowTextLengthW(text)) + 1, L'\0');
    shown.resize(static_cast<size_t>(GetWindowTextW(text, &shown[0], static_cast<int>(shown.size()))));
    return shown;
}

void CloseNotice(HWND notice) {
    SendMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(notice, IDOK)));
    PumpMessages();
}

HWND OpenEditor(const LoadedModule& module, const std::string& configPath, uint32_t charMode) {
    _CFG_INFO config;
    std::memset(&config, 0, sizeof config);
    config.charMode = charMode;
    std::strncpy(config.configFile, configPath.c_str(), sizeof config.configFile - 1);
    EXPECT_EQ(module.setup(0, nullptr, &config), 0u);
    // Among this thread's windows only: test programs run side by side on
    // one desktop, and another program's editor must never be taken.
    const std::vector<HWND> editors = EditorWindowsOfThisThread();
    PumpMessages();
    return editors.empty() ? nullptr : editors.front();
}

void RemoveTree(const std::wstring& folder) {
    // The long form reaches folders of any depth and name.
    const std::wstring longFolder = folder.compare(0, 4, L"\\\\?\\") == 0 ? folder
                                                                          : L"\\\\?\\" + folder;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((longFolder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = longFolder + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(longFolder.c_str());
}

std::wstring Wide(const std::string& utf8) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], units);
    wide.pop_back();
    return wide;
}

std::string Utf8(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    utf8.pop_back();
    return utf8;
}

ScratchFolder::ScratchFolder(bool withModulesFolder) {
    static unsigned counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    previous_ = current;
    path_ = std::string(temp) + "torvo-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    RemoveTree(Wide(path_));
    CreateDirectoryA(path_.c_str(), nullptr);
    if (withModulesFolder) CreateDirectoryA((path_ + "\\MODULES").c_str(), nullptr);
    SetCurrentDirectoryA(path_.c_str());
}

ScratchFolder::~ScratchFolder() {
    SetCurrentDirectoryA(previous_.c_str());
    RemoveTree(Wide(path_));
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(WriteWholeFile(path, bytes.data(), bytes.size())) << path << ": " << GetLastError();
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> KeptFiles(const std::string& folder, const std::string& kind) {
    std::vector<std::string> kept;
    for (const std::string& name : FolderNames(folder)) {
        const std::string stem = "torvo.tdb.";
        // "torvo.tdb." then "YYYY-MM-DD_HH-MM-SS", maybe "_NN", then ".<kind>"
        const size_t stamp = stem.size() + 19;
        if (name.compare(0, stem.size(), stem) != 0 || name.size() < stamp + 1 + kind.size()) continue;
        if (name.compare(name.size() - kind.size() - 1, std::string::npos, "." + kind) != 0) continue;
        if (name[stem.size() + 4] != '-' || name[stem.size() + 10] != '_') continue;
        kept.push_back(name);  // the names sort by time
    }
    return kept;
}

HeldFile::HeldFile(const std::string& path, DWORD share)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
    EXPECT_TRUE(ok()) << path << ": " << GetLastError();
}

HeldFile::~HeldFile() { Release(); }

bool HeldFile::Lock(DWORD offset, DWORD length) {
    return LockFile(handle_, offset, 0, length, 0) != FALSE;
}

DWORD WINAPI HeldFile::CloseAfterPause(void* held) {
    auto* self = static_cast<HeldFile*>(held);
    Sleep(self->pause_);
    CloseHandle(self->handle_);
    return 0;
}

void HeldFile::ReleaseAfter(DWORD milliseconds) {
    pause_ = milliseconds;
    releaser_ = CreateThread(nullptr, 0, CloseAfterPause, this, 0, nullptr);
    EXPECT_NE(releaser_, nullptr);
}

void HeldFile::Release() {
    if (releaser_) {
        WaitForSingleObject(releaser_, INFINITE);
        CloseHandle(releaser_);
        releaser_ = nullptr;
    } else if (ok()) {
        CloseHandle(handle_);
    }
    handle_ = INVALID_HANDLE_VALUE;
}

_RULE MakeRule(const wchar_t* name, int32_t searchType, int32_t status, COLORREF nickColor,
               COLORREF textColor) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    wcsncpy(reinterpret_cast<wchar_t*>(rule.name), name, RULE_NAME_UNITS - 1);
    rule.searchType = searchType;
    rule.status = status;
    rule.nickColor = nickColor;
    rule.textColor = textColor;
    return rule;
}

std::vector<uint8_t> RuleBytes(const std::vector<_RULE>& rules) {
    std::vector<uint8_t> bytes(rules.size() * RULE_SIZE);
    if (!rules.empty()) std::memcpy(bytes.data(), rules.data(), bytes.size());
    return bytes;
}

void WriteRuleFile(const std::vector<_RULE>& rules) { WriteFileBytes(RULE_FILE, RuleBytes(rules)); }

std::vector<_RULE> ReadRuleFile() {
    const std::vector<uint8_t> bytes = ReadFileBytes(RULE_FILE);
    std::vector<_RULE> rules(bytes.size() / RULE_SIZE);
    if (!rules.empty()) std::memcpy(rules.data(), bytes.data(), rules.size() * RULE_SIZE);
    return rules;
}

uint32_t Address(const char* dotted) { return ntohl(inet_addr(dotted)); }

_ROOM_USER MakeVisitor(const wchar_t* nick, const char* ip, uint32_t state) {
    return MakeRoomEntry(nick, ip, state, 0x00ABCDEF, 0x00123456);
}

GuardedPage::GuardedPage() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    pageSize_ = info.dwPageSize;
    base_ = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, 2 * pageSize_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD previous = 0;
    if (base_ && !VirtualProtect(base_ + pageSize_, pageSize_, PAGE_NOACCESS, &previous)) {
        VirtualFree(base_, 0, MEM_RELEASE);
        base_ = nullptr;
    }
}

void GuardedPage::SetGuard(bool guarded) {
    DWORD previous = 0;
    VirtualProtect(base_ + pageSize_, pageSize_, guarded ? PAGE_NOACCESS : PAGE_READWRITE, &previous);
}

GuardedPage::~GuardedPage() {
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
}
