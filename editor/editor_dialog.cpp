// The editor's dialog procedure: hands each message to the function of the
// file that owns that concern.
#include "editor/editor.h"

#include "module/module_state.h"

INT_PTR CALLBACK EditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) CloseEditor(dialog);
            return 0;
        default:
            return 0;
    }
}
