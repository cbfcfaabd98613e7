// GDI objects and colours of the rule list. Created by each opening of the
// editor, used when rows are painted, deleted by DeleteDrawingObjects.
#pragma once

#include <windows.h>

extern HFONT g_hListFont;
extern HPEN g_hPenHi;
extern HPEN g_hPenMenu;
extern HBRUSH g_hBrushHi;
extern HBRUSH g_hBrushMenu;
// The dialog's font with the Cyrillic character set, made only where the
// dialog's own font is not Cyrillic; null otherwise.
extern HFONT g_hCyrillicDialogFont;

extern COLORREF g_clrText;
extern COLORREF g_clrListAM;
extern COLORREF g_clrHighlight;
extern COLORREF g_clrShadow;
