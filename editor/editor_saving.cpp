// The editor and the rule file while it is open, besides its closing: the
// list is saved once the operator has left it alone for a few seconds after
// an edit, and when Windows ends the session (it then ends the process
// without unloading any module); another program's version of the file is
// taken in, or merged under the operator's edits, within about a second.
// What the operator must hear of a save is told.
#include "editor/editor.h"
#include "editor/editor_parts.h"

#include "editor/edit_history.h"
#include "editor/editor_state.h"
#include "editor/rule_expiry.h"
#include "editor/rule_rows.h"
#include "editor/save_notice.h"
#include "rules/rule_array.h"
#include "rules/rule_file.h"

namespace {

// One timer on the editor's window, the whole time it is open.
constexpr UINT_PTR LIST_TIMER = 1;
constexpr UINT LIST_TIMER_MS = RULE_FILE_LOOK_INTERVAL_MS;
// Edits are saved once no command has come for this long, so a burst of
// commands is saved once, after it.
constexpr DWORD IDLE_BEFORE_SAVING_MS = 3000;

DWORD g_lastEditTick = 0;
bool g_idleSaveDue = false;
// A save in the background failed since the last edit: it is not tried
// again every second, but after the next edit or at the close.
bool g_backgroundSaveFailed = false;
// Told of a failed save since the last one that succeeded: a save that
// keeps failing in the background is told once, the close always.
bool g_failureTold = false;

// The rows of another version of the list; the undo steps' places belong
// to the list it replaced.
void ShowAnotherVersion(HWND dialog, const SelectedRule& before) {
    ShowRulesAgain(dialog, before);
    ForgetEditHistory();
}

// `dialog` is null at the close, when there are no rows left to show.
void SaveTellingTheOperator(HWND dialog, bool closing) {
    static SaveReport report;  // large; the host's one thread only
    const SelectedRule before = SelectedRuleOf(dialog);
    const SaveResult result = SaveRuleFile(SaveAudience::Operator, &report);
    const bool failed = result == SaveResult::Failed;
    if (report.listReplaced && dialog) ShowAnotherVersion(dialog, before);
    TellAboutSave(dialog, report, failed && (closing || !g_failureTold));
    if (failed) g_failureTold = true;
    if (result == SaveResult::Saved) g_failureTold = false;
    g_backgroundSaveFailed = failed && !closing;
}

// Looks at the rule file when a look is due; a list replaced by another
// version shows in the editor (`dialog`, may be null) with the selection
// kept on the rule the operator chose.
FileLook LookKeepingTheSelection(HWND dialog, DWORD now) {
    if (!RuleFileLookDue(now)) return FileLook::Unchanged;  // all that most events cost
    const SelectedRule before = SelectedRuleOf(dialog);
    const FileLook look = LookAtRuleFile(now, true);
    if (look == FileLook::Reloaded && dialog) ShowAnotherVersion(dialog, before);
    return look;
}

}  // namespace

void StartListTimer(HWND dialog) {
    g_idleSaveDue = false;
    SetTimer(dialog, LIST_TIMER, LIST_TIMER_MS, nullptr);
}

void NoteListEdited() {
    g_lastEditTick = GetTickCount();
    g_idleSaveDue = true;
    g_backgroundSaveFailed = false;
}

void OnListTimer(HWND dialog, UINT_PTR timer) {
    if (timer != LIST_TIMER) return;
    RepaintRowsThatExpired(dialog);
    if (LookKeepingTheSelection(dialog, GetTickCount()) == FileLook::ChangedUnderEdits) {
        // Another version under the operator's edits: merged and saved now.
        if (!g_backgroundSaveFailed) SaveTellingTheOperator(dialog, false);
        return;
    }
    if (!g_idleSaveDue || GetTickCount() - g_lastEditTick < IDLE_BEFORE_SAVING_MS) return;
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

void FollowRuleFile() { LookKeepingTheSelection(g_hEditor, GetTickCount()); }
