// The language of the reasons and warnings that reading a rule list gives:
// English for the tool and its tests, Russian for the operators' editor.
#pragma once

#include <cstdint>

enum class ReasonLanguage : uint8_t { English, Russian };

// Module-wide, English at start; the editor sets it before it reads a list.
extern ReasonLanguage g_reasonLanguage;

// The text of the current language; both are UTF-8 literals.
inline const char* InLanguage(const char* english, const char* russian) {
    return g_reasonLanguage == ReasonLanguage::Russian ? russian : english;
}
