// Undo: the last commands in a ring of steps, the oldest dropped first.
// Every command keeps row i equal to rule i, so undoing one only has to
// know the places it acted on.
#include "editor/edit_history.h"

#include "editor/rule_rows.h"
#include "resources/resource_ids.h"
#include "rules/rule_array.h"

#include <array>

namespace {

enum class StepKind : uint8_t { Add, Change, Delete, Move, Paste };

struct UndoStep {
    StepKind kind;
    uint32_t index;  // the rule added, changed or deleted; the first pasted; where a move ended
    uint32_t other;  // a move's start, a paste's count
    _RULE rule;      // the rule before its Change, or the deleted rule
};

constexpr size_t UNDO_STEPS = 100;

std::array<UndoStep, UNDO_STEPS> g_steps;
size_t g_stepCount = 0;  // steps that can be taken back, the newest at g_next - 1
size_t g_next = 0;

void Remember(StepKind kind, uint32_t index, uint32_t other, const _RULE* rule) {
    UndoStep& step = g_steps[g_next];
    step.kind = kind;
    step.index = index;
    step.other = other;
    if (rule) step.rule = *rule;
    g_next = (g_next + 1) % UNDO_STEPS;
    if (g_stepCount < UNDO_STEPS) ++g_stepCount;
}

// Undoes `step` on the array; the row to select after it, or -1.
int TakeBack(const UndoStep& step) {
    const auto count = g_ruleCount;
    switch (step.kind) {
        case StepKind::Add:
            if (step.index >= count) return -1;
            RemoveRule(static_cast<int32_t>(step.index));
            return static_cast<int>(step.index) - 1;
        case StepKind::Change:
            if (step.index >= count) return -1;
            ReplaceRule(static_cast<int32_t>(step.index), step.rule);
            return static_cast<int>(step.index);
        case StepKind::Delete:
            if (step.index > count || !InsertRules(step.index, &step.rule, 1)) return -1;
            return static_cast<int>(step.index);
        case StepKind::Move: {
            const uint32_t upper = step.index < step.other ? step.index : step.other;
            if (upper + 1 >= count) return -1;
            SwapRules(static_cast<int32_t>(upper),
                      step.index < step.other ? MovedRule::FirstDown : MovedRule::SecondUp);
            return static_cast<int>(step.other);
        }
        case StepKind::Paste:
            if (step.index + uint64_t{step.other} > count) return -1;
            RemoveRules(step.index, step.other);
            return static_cast<int>(step.index) - 1;
    }
    return -1;
}

}  // namespace

void RememberAdd(uint32_t index) { Remember(StepKind::Add, index, 0, nullptr); }
void RememberChange(uint32_t index, const _RULE& before) {
    Remember(StepKind::Change, index, 0, &before);
}
void RememberDelete(uint32_t index, const _RULE& deleted) {
    Remember(StepKind::Delete, index, 0, &deleted);
}
void RememberMove(uint32_t from, uint32_t to) { Remember(StepKind::Move, to, from, nullptr); }
void RememberPaste(uint32_t index, uint32_t count) {
    Remember(StepKind::Paste, index, count, nullptr);
}

void ForgetEditHistory() {
    g_stepCount = 0;
    g_next = 0;
}

bool CanUndo() { return g_stepCount > 0; }

void UndoLastEdit(HWND dialog) {
    if (g_stepCount == 0) return;
    g_next = (g_next + UNDO_STEPS - 1) % UNDO_STEPS;
    --g_stepCount;
    const UndoStep& step = g_steps[g_next];
    int select = TakeBack(step);
    if (select < 0 && g_ruleCount > 0 && step.kind != StepKind::Move) select = 0;

    ClearSelectedRowState(dialog);
    const HWND list = GetDlgItem(dialog, IDC_RULES);
    MatchRowsToRules(list);
    SelectOnlyRow(dialog, select);
    InvalidateRect(list, nullptr, TRUE);
    FitNameColumn(dialog);
}
