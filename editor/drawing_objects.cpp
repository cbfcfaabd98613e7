#include "editor/drawing_objects.h"

#include "editor/editor.h"

HFONT g_hListFont = nullptr;
HPEN g_hPenHi = nullptr;
HPEN g_hPenMenu = nullptr;
HBRUSH g_hBrushHi = nullptr;
HBRUSH g_hBrushMenu = nullptr;
HFONT g_hCyrillicDialogFont = nullptr;

COLORREF g_clrText = 0;
COLORREF g_clrListAM = 0;
COLORREF g_clrHighlight = 0;
COLORREF g_clrShadow = 0;

namespace {

template <typename Handle>
void DeleteOnce(Handle& object) {
    if (object) DeleteObject(object);
    object = nullptr;  // forgotten, so a later close does not delete it again
}

}  // namespace

void DeleteDrawingObjects() {
    DeleteOnce(g_hListFont);
    DeleteOnce(g_hPenHi);
    DeleteOnce(g_hPenMenu);
    DeleteOnce(g_hBrushHi);
    DeleteOnce(g_hBrushMenu);
    DeleteOnce(g_hCyrillicDialogFont);
}
