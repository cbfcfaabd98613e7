#include "rules/rule_array.h"

#include "rules/rule_edits.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

_RULE* g_rules = nullptr;
uint32_t g_ruleCount = 0;
uint32_t g_ruleCapacity = 0;

namespace {

void MarkRulesEdited() {
    MarkRulesChanged();
    g_rulesEdited = true;
}

// Room for `more` rules past the count. A new block rather than realloc:
// without memory the list stays whole.
bool MakeRoomFor(uint32_t more) {
    const uint64_t needed = uint64_t{g_ruleCount} + more;
    if (needed <= g_ruleCapacity) return true;
    if (needed > UINT32_MAX / RULE_SIZE) return false;
    const uint32_t capacity = RoomyCapacity(static_cast<uint32_t>(needed));
    if (capacity < needed) return false;
    auto* grown = static_cast<_RULE*>(std::malloc(size_t{capacity} * sizeof(_RULE)));
    if (!grown) return false;
    if (g_ruleCount > 0) std::memcpy(grown, g_rules, g_ruleCount * sizeof(_RULE));
    std::free(g_rules);
    g_rules = grown;
    g_ruleCapacity = capacity;
    return true;
}

}  // namespace

bool AppendRule(const _RULE& rule) {
    if (!MakeRoomFor(1)) return false;
    g_rules[g_ruleCount] = rule;
    ++g_ruleCount;
    MarkRulesEdited();
    RecordRuleEdit(RuleEditKind::Add, nullptr, &rule);
    return true;
}

void RemoveRule(int32_t index) {
    if (index >= 0) RemoveRules(static_cast<uint32_t>(index), 1);
}

bool InsertRules(uint32_t index, const _RULE* rules, uint32_t count) {
    if (index > g_ruleCount || count == 0 || !MakeRoomFor(count)) return false;
    std::memmove(&g_rules[index + count], &g_rules[index], (g_ruleCount - index) * sizeof(_RULE));
    std::memcpy(&g_rules[index], rules, size_t{count} * sizeof(_RULE));
    g_ruleCount += count;
    MarkRulesEdited();
    for (uint32_t i = index; i < index + count; ++i) {
        RecordRuleEdit(RuleEditKind::Insert, i > 0 ? &g_rules[i - 1] : nullptr, &g_rules[i]);
    }
    return true;
}

void RemoveRules(uint32_t index, uint32_t count) {
    if (count == 0 || index >= g_ruleCount || count > g_ruleCount - index) return;
    for (uint32_t i = index; i < index + count; ++i) {
        RecordRuleEdit(RuleEditKind::Delete, &g_rules[i], nullptr);
    }
    // The block keeps its size; the slots past the new count are not significant.
    std::memmove(&g_rules[index], &g_rules[index + count],
                 (g_ruleCount - index - count) * sizeof(_RULE));
    g_ruleCount -= count;
    MarkRulesEdited();
}

void SwapRules(int32_t first, MovedRule moved) {
    if (first < 0 || static_cast<uint32_t>(first) + 1 >= g_ruleCount) return;
    if (moved == MovedRule::FirstDown) {
        RecordRuleEdit(RuleEditKind::MoveDown, &g_rules[first], nullptr);
    } else {
        RecordRuleEdit(RuleEditKind::MoveUp, &g_rules[first + 1], nullptr);
    }
    _RULE held = g_rules[first];
    g_rules[first] = g_rules[first + 1];
    g_rules[first + 1] = held;
    MarkRulesEdited();
}

void FreeRules() {
    std::free(g_rules);
    g_rules = nullptr;
    g_ruleCount = 0;
    MarkRulesChanged();
    g_rulesEdited = false;
    g_ruleCapacity = 0;
    ForgetRuleEdits();
}

void ReplaceRule(int32_t index, const _RULE& rule) {
    if (index < 0 || static_cast<uint32_t>(index) >= g_ruleCount) return;
    RecordRuleEdit(RuleEditKind::Change, &g_rules[index], &rule);
    g_rules[index] = rule;
    MarkRulesEdited();
}

uint32_t g_ruleArrayVersion = 0;
bool g_rulesEdited = false;

void MarkRulesChanged() { ++g_ruleArrayVersion; }
