// What the operator is told, in Russian, when the rule list cannot reach its
// file: a save that failed now, or a list an earlier session could not save.
// The notice is a small window of its own, not a modal message box: the
// module runs no message loop inside the host's thread, so visitor events,
// the host's own messages and even the module's unload arrive as usual
// while it is shown.
#pragma once

#include "rules/rule_file.h"

#include <windows.h>

// What the operator must hear of a save, if anything: that another
// program's version came in and which of the operator's Changes could not be
// made on it (and where that version was kept); and, for a failed save,
// which file, why, that the edits are still in memory and where the copy of
// the list is. `owner` (the editor, or null) keeps the notice in front.
// `failed` says whether to tell of the failure.
void TellAboutSave(HWND owner, const SaveReport& report, bool failed);

// Reports, once, each copy an earlier session's unload left of a list it
// could not save (and renames it to a recovery copy, so it is not reported
// again). Nothing when there is none.
void TellOfEarlierRecoveryCopies(HWND owner);

// The same notice for other news the operator must read (what a paste or a
// dropped file added, or why it added nothing): `text` as it stands.
void TellOperator(HWND owner, const char16_t* text);

// Closes the notice, if one is shown (at unload).
void DismissSaveNotice();
