// The module's rule editor, opened as the host opens it: for real use, or
// for a picture of it.
#include "host/host_parts.h"

#include "host/window_picture.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

// ---- The editor ---------------------------------------------------------

// The module creates the editor without an owner and does not hand its
// handle back: it is our thread's top-level dialog captioned "Torvo".
HWND FindEditor(const HostRoom& room) {
    const std::vector<HWND> editors = EditorWindowsOfThread(GetCurrentThreadId());
    if (!editors.empty()) return editors.front();
    HWND foreground = GetForegroundWindow();
    if (foreground && foreground != room.window &&
        GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId()) {
        return foreground;
    }
    return nullptr;
}

bool MakeConfigInfo(const Options& options, _CFG_INFO& config) {
    std::memset(&config, 0, sizeof config);
    config.charMode = options.ansi ? CHAR_MODE_ANSI : CHAR_MODE_WIDE;
    const std::string file = options.configFile.empty() ? DEFAULT_CONFIG_FILE : options.configFile;
    // The module reads it with the profile functions, which take a bare
    // name to be in the Windows folder: always name it in full.
    const DWORD length = GetFullPathNameA(file.c_str(), CONFIG_FILE_BYTES, config.configFile,
                                          nullptr);
    if (length == 0 || length >= CONFIG_FILE_BYTES) {
        PrintError("configuration file path does not fit " + std::to_string(CONFIG_FILE_BYTES) +
                   " bytes: " + file);
        return false;
    }
    return true;
}

// The host's message loop while the editor is open, so Tab, Esc and Enter
// work in it. Ends when the editor window is gone.
void RunEditorLoop(HWND editor, bool ansi) {
    MSG message;
    while (IsWindow(editor)) {
        const BOOL got = ansi ? GetMessageA(&message, nullptr, 0, 0)
                              : GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got == -1) return;
        if (ansi ? IsDialogMessageA(editor, &message) : IsDialogMessageW(editor, &message)) {
            continue;
        }
        TranslateMessage(&message);
        if (ansi) {
            DispatchMessageA(&message);
        } else {
            DispatchMessageW(&message);
        }
    }
}

bool SaveEditorPicture(HWND editor, const std::string& path) {
    SetForegroundWindow(editor);
    RedrawWindow(editor, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessagesFor(PAINT_SETTLE_MS);
    const Picture picture = CaptureWindow(editor);
    if (!WritePicture(path.c_str(), picture)) {
        PrintError("could not save a picture of the editor to " + path);
        return false;
    }
    Print("Saved a picture of the editor (" + std::to_string(picture.width) + "x" +
          std::to_string(picture.height) + ") to " + path + "\n");
    return true;
}

int UseEditor(const HostModule& module, const Options& options, HostRoom& room) {
    static _CFG_INFO config;  // the host's record outlives the editor
    if (!MakeConfigInfo(options, config)) return EXIT_USAGE;
    module.loaded.setup(0, nullptr, &config);
    // No pumping before the dialog loop below: a key already waiting must
    // reach the editor through IsDialogMessage.
    HWND editor = FindEditor(room);
    if (!editor) {
        PrintError("Torvo_Setup opened no editor window");
        return EXIT_WINDOWS_FAILED;
    }
    Print(std::string("\nOpened the editor (configuration file ") + config.configFile +
          ", character mode " + std::to_string(config.charMode) + ")\n");
    std::fflush(stdout);

    int result = EXIT_OK;
    if (!options.screenshotFile.empty()) {
        if (!SaveEditorPicture(editor, options.screenshotFile)) result = EXIT_WINDOWS_FAILED;
        SendMessageW(editor, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PumpMessages();
        if (IsWindow(editor)) {
            PrintError("the editor did not close on IDCANCEL; unloading the module closes it");
            return EXIT_WINDOWS_FAILED;
        }
    } else {
        Print("Close the editor to report the room again.\n");
        std::fflush(stdout);
        RunEditorLoop(editor, options.ansi);
    }
    ReportRoomAgain(module, room);
    PrintTable("After the editor closed: the room as first made, reported again (event 16)",
               room);
    return result;
}
