// The editor's dialog procedure: a short switch that hands each message to
// the function of the file that owns that concern.
#include "editor/editor.h"

#include "editor/editor_parts.h"

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
            OnEditorCommand(dialog, LOWORD(wParam), HIWORD(wParam));
            return 0;
        default:
            return 0;
    }
}
