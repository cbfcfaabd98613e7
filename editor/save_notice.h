// What the operator is told, in Russian, when the rule list cannot reach its
// file: a save that failed now, or a list an earlier session could not save.
// The notice is a small window of its own, not a modal message box: the
// module runs no message loop inside the host's thread, so visitor events,
// the host's own messages and even the module's unload arrive as usual
// while it is shown.
#pragma once

#include "rules/rule_file.h"

#include <windows.h>

// Which file, why, that the edits are still in memory, and where the copy
// of the list is. `owner` (the editor, or null) keeps the notice in front.
void TellSaveFailed(HWND owner, const SaveFailure& failure);

// Reports, once, each copy an earlier session's unload left of a list it
// could not save (and renames it to a recovery copy, so it is not reported
// again). Nothing when there is none.
void TellOfEarlierRecoveryCopies(HWND owner);

// Closes the notice, if one is shown (at unload).
void DismissSaveNotice();
