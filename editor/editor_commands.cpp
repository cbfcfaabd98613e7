// The editor's commands and the click in the rule list.
#include "editor/editor_parts.h"

#include "module/module_state.h"

void OnRuleListNotify(HWND /*dialog*/, int /*controlId*/, const NMHDR& /*header*/) {}

void OnEditorCommand(HWND dialog, WORD controlId, WORD /*notification*/) {
    if (controlId == IDCANCEL) CloseEditor(dialog);
}
