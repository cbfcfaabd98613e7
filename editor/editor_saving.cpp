// When the editor writes the list, besides its closing: after the operator
// has left it alone for a few seconds with unsaved edits, and when Windows
// ends the session (it then ends the process without unloading any module).
// A failed save is told to the operator.
#include "editor/editor_parts.h"

#include "editor/save_notice.h"
#include "rules/rule_array.h"
#include "rules/rule_file.h"

namespace {

// One timer on the editor's window, the whole time it is open.
constexpr UINT_PTR LIST_TIMER = 1;
constexpr UINT LIST_TIMER_MS = 1000;
// Edits are saved once no command has come for this long, so a burst of
// commands is saved once, after it.
constexpr DWORD IDLE_BEFORE_SAVING_MS = 3000;

DWORD g_lastEditTick = 0;
bool g_idleSaveDue = false;
// Told of a failed save since the last one that succeeded: a save that
// keeps failing in the background is told once, the close always.
bool g_failureTold = false;

void SaveTellingTheOperator(HWND owner, bool alwaysTell) {
    SaveFailure failure;
    switch (SaveRuleFile(SaveAudience::Operator, &failure)) {
        case SaveResult::Failed:
            if (alwaysTell || !g_failureTold) TellSaveFailed(owner, failure);
            g_failureTold = true;
            break;
        case SaveResult::Saved:
            g_failureTold = false;
            break;
        case SaveResult::NothingToSave:
            break;
    }
}

}  // namespace

void StartListTimer(HWND dialog) {
    g_idleSaveDue = false;
    SetTimer(dialog, LIST_TIMER, LIST_TIMER_MS, nullptr);
}

void NoteListEdited() {
    g_lastEditTick = GetTickCount();
    g_idleSaveDue = true;
}

void OnListTimer(HWND dialog, UINT_PTR timer) {
    if (timer != LIST_TIMER || !g_idleSaveDue) return;
    if (GetTickCount() - g_lastEditTick < IDLE_BEFORE_SAVING_MS) return;
    // Tried once per quiet spell: a save that fails waits for the next edit
    // or the close, rather than being tried again every second.
    g_idleSaveDue = false;
    if (g_rulesEdited) SaveTellingTheOperator(dialog, false);
}

void OnEndSession(bool ending) {
    // No window may be shown now: a failure leaves a copy that the editor's
    // next opening reports.
    if (ending) SaveRuleFile(SaveAudience::Nobody, nullptr);
}

void SaveAtClose() {
    g_idleSaveDue = false;
    SaveTellingTheOperator(nullptr, true);
}
