// Helpers shared by the test programs: the built module loaded the way the
// host loads it, scratch folders with a MODULES subfolder, rule files built
// byte by byte, and host records. The host's own part (the module loaded,
// the room, the redraws, the message pump, whole files) is the stand-in
// host's library, included here for every test.
#pragma once

#include "contract/host_contract.h"
#include "host/stand_in_messages.h"
#include "host/stand_in_module.h"
#include "host/stand_in_room.h"
#include "host/whole_file.h"
#include "module/host_records.h"
#include "rules/rule.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// The built torvo.jem loaded (LoadModuleFile), a failure of the test
// when it does not load whole.
LoadedModule LoadModule();
// The same from another file: a copy of torvo.jem put elsewhere (CopyModuleTo).
LoadedModule LoadModuleFrom(const std::string& path);
bool CopyModuleTo(const std::string& path);
// Calls the module's entry point directly, as the loader would with this
// notification and reserved pointer (non-null: the process is ending).
BOOL CallModuleEntry(const LoadedModule& module, DWORD reason, void* reserved);

// The editor dialogs among this thread's top-level windows
// (EditorWindowsOfThread for another thread's, a started host's).
std::vector<HWND> EditorWindowsOfThisThread();

// The notice the module shows when the list cannot be saved, among this
// thread's windows (null if none); its text; and its button pressed.
HWND SaveNoticeOfThisThread();
std::wstring NoticeText(HWND notice);
void CloseNotice(HWND notice);

// Calls Torvo_Setup as the host does, with a _CFG_INFO naming `configPath`
// and `charMode`, and returns the editor dialog it shows (null if none).
HWND OpenEditor(const LoadedModule& module, const std::string& configPath,
                uint32_t charMode = 0);

// Starts `program` with `arguments`, its standard output and error going to
// the given inheritable handles and no standard input. False when it cannot
// start; otherwise the caller closes process's handles.
bool StartWithOutputs(const std::string& program, const std::string& arguments, HANDLE output,
                      HANDLE error, DWORD creationFlags, PROCESS_INFORMATION* process);
// Waits for a started program to end, closes its handles and gives its exit
// status.
DWORD WaitForExit(PROCESS_INFORMATION& process);

// The stand-in host (torvo_host.exe) started in the current folder, its
// standard output and error read through one pipe by a thread of ours until
// it ends.
struct HostProcess {
    PROCESS_INFORMATION info{};
    HANDLE output = nullptr;
    std::thread reader;
    std::string text;
    // Set by the reader once the host says the editor is open: its set-up
    // has then run to the end.
    std::atomic<bool> editorOpen{false};
};
bool StartHost(HostProcess& host, const std::string& arguments);
// Waits for the host to end (ending it after a time-out, a failure) and
// returns its exit code; its output is then complete.
DWORD FinishHost(HostProcess& host);

// Sends the editor what pressing button `id` sends (or another
// notification `code` of that control), then pumps the queue.
void PressEditorControl(HWND editor, int id, WORD code = BN_CLICKED);
// What a mouse click on rule row `row` sends: the list's selection and
// focus moved to that row (none for -1, a click beside the rows), then the
// click notification. Pumps the queue afterwards.
void ClickRuleRow(HWND editor, int row);
// Types `name` into the nickname field and presses Add, as the operator
// does: the edit that makes the list differ from its file.
void AddRuleInEditor(HWND editor, const wchar_t* name);
// Clicks rule row `row`, types `name` and `ip` into their fields, chooses
// search item `searchItem` and presses Change, pumping the queue between.
void ChangeRuleInEditor(HWND editor, int row, const wchar_t* name, const char* ip,
                        int searchItem);
// What the keyboard's Esc sends the editor (IDCANCEL with no control), then
// pumps the queue.
void CancelEditor(HWND editor);
// The clipboard's Unicode text, read as another program reads it.
std::wstring ClipboardText();
// What dropping `paths` from Explorer sends `window`: WM_DROPFILES with a
// drop handle of their wide names, which the receiver frees.
void DropFilesOn(HWND window, const std::vector<std::wstring>& paths);

// Whether the keyboard focus is on `window` or one of its controls.
bool FocusIsWithin(HWND window);

// A fresh temporary folder, made current, with MODULES inside unless asked
// otherwise. Restores the previous current folder and removes the folder.
class ScratchFolder {
public:
    explicit ScratchFolder(bool withModulesFolder = true);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

constexpr const char* RULE_FILE = RULE_FILE_PATH;

// UTF-8 text as UTF-16, and back.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// Removes `folder` and everything in it, whatever its names and depth.
void RemoveTree(const std::wstring& folder);

bool FileExists(const std::string& path);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// The names in `folder`, without "." and "..", sorted.
std::vector<std::string> FolderNames(const std::string& folder);
// The files kept beside torvo.tdb in `folder` of one kind ("bak",
// "recovery", ...), named "torvo.tdb.<date>_<time>.<kind>": oldest first.
std::vector<std::string> KeptFiles(const std::string& folder, const std::string& kind);

// A file held open by "another program" (a backup client, a virus scanner,
// a sync client): read access with the given sharing, and optionally a
// locked byte range. Let go by Release, by a thread after a pause
// (ReleaseAfter), or at the end of its scope.
class HeldFile {
public:
    HeldFile(const std::string& path, DWORD share);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Lock(DWORD offset, DWORD length);
    // Another thread closes the file `milliseconds` from now; this one goes on.
    void ReleaseAfter(DWORD milliseconds);
    // Closes the file now, or waits for the thread of ReleaseAfter to.
    void Release();

private:
    static DWORD WINAPI CloseAfterPause(void* held);
    HANDLE handle_;
    HANDLE releaser_ = nullptr;
    DWORD pause_ = 0;
};

// A rule with the given fields; derived IP fields are left for the caller.
// A rule's UTF-16 name as Windows' wide text, for the wide string calls.
inline wchar_t* WideName(_RULE& rule) { return reinterpret_cast<wchar_t*>(rule.name); }
inline const wchar_t* WideName(const _RULE& rule) {
    return reinterpret_cast<const wchar_t*>(rule.name);
}

_RULE MakeRule(const wchar_t* name, int32_t searchType, int32_t status = STATUS_IGNORE,
               COLORREF nickColor = 0x000000FF, COLORREF textColor = 0x00FF0000);
std::vector<uint8_t> RuleBytes(const std::vector<_RULE>& rules);
void WriteRuleFile(const std::vector<_RULE>& rules);
std::vector<_RULE> ReadRuleFile();

// Host-order address of dotted text (no error handling: test data only).
uint32_t Address(const char* dotted);

// A visitor entry in the colours a test's host gives: 0x00ABCDEF for the
// nickname, 0x00123456 for the text. The room that holds it, its spare entry
// and the row redraws are the stand-in host's (FillRoom, TakeRedraws).
_ROOM_USER MakeVisitor(const wchar_t* nick, const char* ip, uint32_t state = 0);

// Two pages of which the second is inaccessible: a record placed so that a
// field ends at end() makes any read or write past that field fault.
class GuardedPage {
public:
    GuardedPage();
    ~GuardedPage();
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;
    bool ok() const { return base_ != nullptr; }
    uint8_t* end() const { return base_ + pageSize_; }
    // Makes the second page inaccessible (the start state) or readable again.
    void SetGuard(bool guarded);

private:
    uint8_t* base_ = nullptr;
    size_t pageSize_ = 0;
};
