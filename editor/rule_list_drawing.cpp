// Painting of the owner-drawn rule list.
#include "editor/editor_parts.h"

void DrawRuleRow(HWND /*dialog*/, const DRAWITEMSTRUCT& /*item*/) {}
