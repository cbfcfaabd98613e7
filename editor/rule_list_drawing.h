// The rule list's drawing objects: its fonts, pens, brushes and colours,
// held in one record. Each opening of the editor makes them, the row
// drawing (rule_list_drawing.cpp) uses them, and the editor's closing or
// the module's unload deletes them.
#pragma once

#include <windows.h>

struct DrawingObjects {
    HFONT listFont;            // the rows' font, from the settings
    // The dialog's font with the Cyrillic character set, made only where the
    // dialog's own font is not Cyrillic; null otherwise.
    HFONT cyrillicDialogFont;
    HPEN menuPen;              // row background, plain and highlighted
    HPEN highlightPen;
    HBRUSH menuBrush;
    HBRUSH highlightBrush;
    COLORREF textColour;       // nicknames and IP texts
    COLORREF listAmColour;     // nicknames of rules that forbid private messages
    COLORREF lightColour;      // the light copy of an embossed nickname
    COLORREF shadowColour;     // unchanged and embossed nicknames
    COLORREF expiredColour;    // both texts of a rule whose time ran out
};

extern DrawingObjects g_drawing;

// Reads the system's colours and makes the row pens and brushes: the menu
// colour for plain rows, `highlight` for highlighted ones.
void CreateRowDrawingObjects(COLORREF highlight);

// Deletes the fonts, pens and brushes. Each is deleted once; a handle
// already deleted or never made is skipped.
void DeleteDrawingObjects();
