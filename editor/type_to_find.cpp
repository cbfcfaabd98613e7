// Type to find. Rows carry no text, so the list's own search finds nothing;
// this one reads the rules. A case-folding table of every UTF-16 unit, made
// at the first search, keeps a keystroke over 100,000 rules to one pass of
// unit comparisons.
#include "editor/type_to_find.h"

#include "editor/rule_fields.h"
#include "editor/rule_rows.h"
#include "rules/rule_array.h"
#include "rules/text_field.h"

#include <array>
#include <cstdint>

namespace {

// Keys typed further apart than this start a new text, as in Explorer.
constexpr DWORD TYPING_PAUSE_MS = 1000;
constexpr size_t TYPED_UNITS = RULE_NAME_UNITS;

std::array<char16_t, TYPED_UNITS> g_typed;
size_t g_typedLength = 0;
DWORD g_lastTypedTick = 0;

std::array<char16_t, 0x10000> g_lowerCase;
bool g_lowerCaseMade = false;

char16_t Lower(char16_t unit) {
    if (!g_lowerCaseMade) {
        for (size_t i = 0; i < g_lowerCase.size(); ++i) g_lowerCase[i] = static_cast<char16_t>(i);
        // Surrogates stay as they are; the system lowers the rest in one call.
        CharLowerBuffW(reinterpret_cast<wchar_t*>(g_lowerCase.data()), 0xD800);
        CharLowerBuffW(reinterpret_cast<wchar_t*>(g_lowerCase.data() + 0xE000), 0x2000);
        g_lowerCaseMade = true;
    }
    return g_lowerCase[unit];
}

bool NameStartsWith(const _RULE& rule, const char16_t* text, size_t length) {
    if (length > RULE_NAME_UNITS) return false;
    for (size_t i = 0; i < length; ++i) {
        if (rule.name[i] == 0 || Lower(rule.name[i]) != text[i]) return false;
    }
    return true;
}

bool IpStartsWith(const _RULE& rule, const char16_t* text, size_t length) {
    if (length > RULE_IP_TEXT_BYTES) return false;
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(rule.ipText[i]);
        if (byte == 0 || byte != text[i]) return false;
    }
    return true;
}

// The first rule from `start` on, wrapping round, that starts with the
// typed text (already lowered); -1 when none does.
int FindFrom(uint32_t start) {
    const uint32_t count = g_ruleCount;
    for (uint32_t seen = 0; seen < count; ++seen) {
        const uint32_t i = (start + seen) % count;
        if (NameStartsWith(g_rules[i], g_typed.data(), g_typedLength) ||
            IpStartsWith(g_rules[i], g_typed.data(), g_typedLength)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Selects rule `row` and loads it, as a click on its row does.
void ShowFound(HWND dialog, int row) {
    if (row < 0) return;
    SelectOnlyRow(dialog, row);
    ShowSelectedRule(dialog);
}

// The search starts after the selected row for a new text, at it while the
// text grows (so that "ab" stays on the "abc" that "a" found).
void Find(HWND dialog, bool fromNext) {
    if (g_typedLength == 0 || g_ruleCount == 0) return;
    const int selected = SelectedRow(dialog);
    const uint32_t start = !IsRuleIndex(selected) ? 0
                           : static_cast<uint32_t>(selected) + (fromNext ? 1 : 0);
    ShowFound(dialog, FindFrom(start % g_ruleCount));
}

}  // namespace

bool FindTypedCharacter(HWND dialog, wchar_t typed, DWORD now) {
    const bool continuing = g_typedLength > 0 && now - g_lastTypedTick <= TYPING_PAUSE_MS;
    if (typed < 0x20 || typed == 0x7F || (typed == L' ' && !continuing)) return false;
    if (!continuing) g_typedLength = 0;
    if (g_typedLength < TYPED_UNITS) g_typed[g_typedLength++] = Lower(static_cast<char16_t>(typed));
    Find(dialog, g_typedLength == 1);
    // The pause counts from the end of this key's work: keys that waited in
    // the queue while a slow machine showed the rule still make one text.
    g_lastTypedTick = GetTickCount();
    return true;
}

void EndTypedText() { g_lastTypedTick = GetTickCount() - TYPING_PAUSE_MS - 1; }

void FindNextTypedMatch(HWND dialog) { Find(dialog, true); }
