#include "rules/rule_array.h"

#include <cstdlib>
#include <cstring>

_RULE* g_rules = nullptr;
uint32_t g_ruleCount = 0;

int32_t AppendRule(const _RULE& rule) {
    // Every addition copies the list into a block of exactly count + 1 records.
    auto* grown = static_cast<_RULE*>(std::calloc(g_ruleCount + 1, sizeof(_RULE)));
    if (!grown) return -1;
    if (g_ruleCount > 0) std::memcpy(grown, g_rules, g_ruleCount * sizeof(_RULE));
    grown[g_ruleCount] = rule;
    std::free(g_rules);
    g_rules = grown;
    ++g_ruleCount;
    MarkRulesChanged();
    return 0;
}

void RemoveRule(int32_t index) {
    if (index < 0 || static_cast<uint32_t>(index) >= g_ruleCount) return;
    --g_ruleCount;
    MarkRulesChanged();
    // The block keeps its size; the slot past the new count is not significant.
    std::memmove(&g_rules[index], &g_rules[index + 1],
                 (g_ruleCount - static_cast<uint32_t>(index)) * sizeof(_RULE));
}

void SwapRules(int32_t first) {
    if (first < 0 || static_cast<uint32_t>(first) + 1 >= g_ruleCount) return;
    _RULE held = g_rules[first];
    g_rules[first] = g_rules[first + 1];
    g_rules[first + 1] = held;
    MarkRulesChanged();
}

void FreeRules() {
    std::free(g_rules);
    g_rules = nullptr;
    g_ruleCount = 0;
    MarkRulesChanged();
}

void ReplaceRule(int32_t index, const _RULE& rule) {
    if (index < 0 || static_cast<uint32_t>(index) >= g_ruleCount) return;
    g_rules[index] = rule;
    MarkRulesChanged();
}

uint32_t g_ruleArrayVersion = 0;

void MarkRulesChanged() { ++g_ruleArrayVersion; }
