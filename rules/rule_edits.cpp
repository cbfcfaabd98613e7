#include "rules/rule_edits.h"

#include "rules/roomy_capacity.h"

#include <cstdlib>
#include <cstring>

namespace {

RuleEdit* g_edits = nullptr;
uint32_t g_editCount = 0;
uint32_t g_editCapacity = 0;
bool g_editsComplete = true;

bool SameRule(const _RULE& a, const _RULE& b) { return std::memcmp(&a, &b, RULE_SIZE) == 0; }

// The index of the first rule of `list` equal to `rule`, or -1.
int64_t Find(const RuleFileContents& list, const _RULE& rule) {
    for (uint32_t i = 0; i < list.count; ++i) {
        if (SameRule(list.records[i], rule)) return i;
    }
    return -1;
}

void Exchange(_RULE* records, uint64_t first) {
    const _RULE held = records[first];
    records[first] = records[first + 1];
    records[first + 1] = held;
}

// Room for `rule` was made beforehand.
void InsertAt(RuleFileContents& list, uint64_t place, const _RULE& rule) {
    std::memmove(&list.records[place + 1], &list.records[place],
                 size_t(list.count - place) * sizeof(_RULE));
    list.records[place] = rule;
    ++list.count;
}

}  // namespace

void RecordRuleEdit(RuleEditKind kind, const _RULE* acted, const _RULE* result) {
    if (!g_editsComplete) return;
    if (g_editCount == g_editCapacity) {
        const uint32_t capacity = g_editCapacity < 16 ? 16 : g_editCapacity + g_editCapacity / 2;
        auto* grown = static_cast<RuleEdit*>(std::realloc(g_edits, size_t{capacity} * sizeof(RuleEdit)));
        if (!grown) {
            g_editsComplete = false;
            return;
        }
        g_edits = grown;
        g_editCapacity = capacity;
    }
    RuleEdit& edit = g_edits[g_editCount++];
    std::memset(&edit, 0, sizeof edit);
    edit.kind = kind;
    edit.hasActed = acted != nullptr;
    if (acted) edit.acted = *acted;
    if (result) edit.result = *result;
}

void ForgetRuleEdits() {
    std::free(g_edits);
    g_edits = nullptr;
    g_editCount = 0;
    g_editCapacity = 0;
    g_editsComplete = true;
}

bool RuleEditsComplete() { return g_editsComplete; }

bool ReplayRuleEdits(RuleFileContents& list, LostChanges& lost) {
    lost.count = 0;
    // Room for every Add and Insert up front, so that a failure leaves
    // `list` as it was.
    uint32_t adds = 0;
    for (uint32_t e = 0; e < g_editCount; ++e) {
        adds += g_edits[e].kind == RuleEditKind::Add || g_edits[e].kind == RuleEditKind::Insert;
    }
    if (list.count + uint64_t{adds} > list.capacity) {
        const uint64_t capacity = RoomyCapacity(list.count + adds);
        if (capacity < list.count + uint64_t{adds}) return false;
        auto* grown = static_cast<_RULE*>(std::malloc(capacity * sizeof(_RULE)));
        if (!grown) return false;
        if (list.count > 0) std::memcpy(grown, list.records, size_t{list.count} * sizeof(_RULE));
        std::free(list.records);
        list.records = grown;
        list.capacity = static_cast<uint32_t>(capacity);
    }
    const RuleEdit* lastInsert = nullptr;
    uint64_t lastInsertPlace = 0;
    for (uint32_t e = 0; e < g_editCount; ++e) {
        const RuleEdit& edit = g_edits[e];
        if (edit.kind != RuleEditKind::Insert) lastInsert = nullptr;
        if (edit.kind == RuleEditKind::Add) {
            list.records[list.count++] = edit.result;
            continue;
        }
        if (edit.kind == RuleEditKind::Insert && lastInsert &&
            SameRule(edit.acted, lastInsert->result)) {
            // The next rule of a pasted run: right after the one before it.
            InsertAt(list, ++lastInsertPlace, edit.result);
            lastInsert = &edit;
            continue;
        }
        const int64_t at = edit.hasActed ? Find(list, edit.acted) : -1;
        switch (edit.kind) {
            case RuleEditKind::Insert: {
                // After its rule, at the start, or at the end when its rule is gone.
                lastInsertPlace = at >= 0 ? static_cast<uint64_t>(at) + 1
                                  : edit.hasActed ? list.count : 0;
                InsertAt(list, lastInsertPlace, edit.result);
                lastInsert = &edit;
                break;
            }
            case RuleEditKind::Change:
                if (at >= 0) {
                    list.records[at] = edit.result;
                } else {
                    if (lost.count < LOST_CHANGES_SHOWN) lost.rules[lost.count] = edit.result;
                    ++lost.count;
                }
                break;
            case RuleEditKind::Delete:
                if (at >= 0) {
                    std::memmove(&list.records[at], &list.records[at + 1],
                                 size_t(list.count - at - 1) * sizeof(_RULE));
                    --list.count;
                }
                break;
            case RuleEditKind::MoveUp:
                if (at > 0) Exchange(list.records, static_cast<uint64_t>(at - 1));
                break;
            case RuleEditKind::MoveDown:
                if (at >= 0 && static_cast<uint64_t>(at) + 1 < list.count) {
                    Exchange(list.records, static_cast<uint64_t>(at));
                }
                break;
            case RuleEditKind::Add:
                break;
        }
    }
    return true;
}
