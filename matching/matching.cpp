// Runs on the host's user-interface thread for every visitor event, so it
// allocates nothing apart from rebuilding the index once after the rule
// list changed.
#include "matching/matching.h"

#include "matching/rule_pick.h"
#include "rules/rule_array.h"
#include "rules/rule_memo.h"

bool g_matchByPlainWalk = false;

namespace {

RuleIndex g_ruleIndex{};
bool g_ruleIndexTried = false;     // built, or failed, for g_ruleIndexVersion
uint32_t g_ruleIndexVersion = 0;

// Candidates of one visitor; more than this many and the visitor is matched
// by walking the list.
constexpr uint32_t CANDIDATE_CAPACITY = 4096;
uint32_t g_candidates[CANDIDATE_CAPACITY];

// The index describing the current array, rebuilt at most once per change;
// null when memory for it could not be had.
const RuleIndex* CurrentRuleIndex() {
    if (!g_ruleIndexTried || g_ruleIndexVersion != g_ruleArrayVersion) {
        BuildRuleIndex(g_ruleIndex, g_rules, g_ruleCount);
        g_ruleIndexTried = true;
        g_ruleIndexVersion = g_ruleArrayVersion;
    }
    return g_ruleIndex.built ? &g_ruleIndex : nullptr;
}

}  // namespace

void MatchOneVisitor(const RuleListView& list, const char16_t* nick, const char* ip,
                     bool everyPick, ApplyPickedRule apply, void* context) {
    MatchVisitor visitor = MakeMatchVisitor(nick, ip);
    PickScan scan;
    StartPickScan(scan, list.index, list.rules, list.count, visitor, list.candidates,
                  list.capacity);
    uint32_t rule = 0;
    while (NextPick(scan, visitor, &rule)) {
        // Checked only for a pick: a rule without a memo costs four bytes.
        if (RuleExpired(list.rules[rule], list.now)) continue;
        apply(context, list.rules[rule], rule);
        if (!everyPick) break;
    }
}

RuleListView CurrentRuleList(int64_t now) {
    const RuleIndex* ruleIndex = g_matchByPlainWalk ? nullptr : CurrentRuleIndex();
    return RuleListView{g_rules, g_ruleCount, ruleIndex, g_candidates, CANDIDATE_CAPACITY, now};
}

void FreeMatchingIndex() {
    FreeRuleIndex(g_ruleIndex);
    g_ruleIndexTried = false;
}

size_t MatchingIndexBytes() { return g_ruleIndex.bytes; }
