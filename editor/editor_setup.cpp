// Set-up of the editor each time it opens.
#include "editor/editor_parts.h"

void SetUpEditor(HWND /*dialog*/) {}

void FitNameColumn(HWND /*dialog*/) {}
