// The rule editor: a modeless dialog over the module's rule list.
#pragma once

#include <windows.h>

INT_PTR CALLBACK EditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Deletes the fonts, pens and brushes the editor's set-up created. Each
// is deleted once; a handle already deleted or never made is skipped.
void DeleteDrawingObjects();
