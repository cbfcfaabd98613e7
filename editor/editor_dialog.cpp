// Opening and closing the editor, and its dialog procedure: a short switch
// that hands each message to the function of the file that owns that concern.
#include "editor/editor.h"

#include "editor/editor_parts.h"
#include "editor/editor_state.h"
#include "editor/list_keys.h"
#include "editor/rule_transfer.h"
#include "editor/rule_list_drawing.h"
#include "editor/save_notice.h"
#include "resources/resource_ids.h"
#include "rules/rule_file.h"
#include "rules/text_field.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

HINSTANCE g_hEditorInstance = nullptr;
HWND g_hEditor = nullptr;
SendMessageCall g_sendMessage = nullptr;
char g_configPath[CONFIG_FILE_BYTES] = {};

namespace {

void DismissEditor(HWND editor) {
    g_hEditor = nullptr;
    if (editor) DestroyWindow(editor);
}

}  // namespace

void OpenEditor(HINSTANCE instance, const char* configFile, size_t configFileBytes,
                bool ansiNameField) {
    g_hEditorInstance = instance;
    // A path that does not fit is cut, never overflowed.
    const size_t pathLength =
        BoundedLength(configFile, std::min(configFileBytes, sizeof g_configPath - 1));
    std::memcpy(g_configPath, configFile, pathLength);
    g_configPath[pathLength] = '\0';
    g_sendMessage = ansiNameField ? SendMessageA : SendMessageW;

    if (g_hEditor) {
        // A minimised editor would take the focus and stay out of sight.
        if (IsIconic(g_hEditor)) ShowWindow(g_hEditor, SW_RESTORE);
        SetFocus(g_hEditor);
        return;
    }
    // Another program's version, or a file that was busy at load, arrives
    // now, before the rows are made.
    LookAtRuleFile(GetTickCount(), true);
    g_hEditor = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_EDITOR), nullptr,
                                   EditorDialogProc, 0);
    if (!g_hEditor) return;
    StartListTimer(g_hEditor);
    TellOfEarlierRecoveryCopies(g_hEditor);
}

void CloseEditor(HWND editor) {
    DismissEditor(editor);
    SaveAtClose();
    // After the window is gone, so the list no longer uses them.
    DeleteDrawingObjects();
}

void DismissEditorAtUnload() {
    DismissEditor(g_hEditor);
    DismissSaveNotice();
    DeleteDrawingObjects();
}

INT_PTR CALLBACK EditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetUpEditor(dialog);
            return 0;  // no initial focus of the dialog manager's choosing
        case WM_DRAWITEM:
            return DrawRuleRow(dialog, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? 1 : 0;
        case WM_NOTIFY:
            return OnRuleListNotify(dialog, static_cast<int>(wParam),
                                    *reinterpret_cast<const NMHDR*>(lParam));
        case WM_COMMAND:
            // The close box and Esc come as IDCANCEL.
            if (LOWORD(wParam) == IDCANCEL) {
                CloseEditor(dialog);
            } else {
                OnEditorCommand(dialog, LOWORD(wParam), HIWORD(wParam));
            }
            return 0;
        case WM_TIMER:
            OnListTimer(dialog, static_cast<UINT_PTR>(wParam));
            return 0;
        case WM_CONTEXTMENU:
            ShowRuleListMenu(dialog, reinterpret_cast<HWND>(wParam),
                             POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_DROPFILES:
            PasteDroppedFiles(dialog, reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_ENDSESSION:
            OnEndSession(wParam != FALSE);
            return 0;
        default:
            return 0;
    }
}
