// The Russian words the editor shows for a rule's search type and status,
// and its list's column headers, as UTF-16. One table, so that every place
// that names these values in Russian says the same words; UTF-16 because the
// editor gives them to the controls through the wide messages, which no
// system code page can spoil. Portable: char16_t, so it builds natively too.
#pragma once

#include "rules/rule.h"

#include <cstdint>

struct RuleValueText {
    int32_t value;
    const char16_t* text;
};

// In the order of the editor's choice lists: an item's index is its place here.
constexpr RuleValueText SEARCH_TYPE_TEXTS[] = {
    {SEARCH_NAME, u"Совпадение имени"},
    {SEARCH_IP, u"Совпадение IP"},
    {SEARCH_NAME_AND_IP, u"Совпадение имени и IP"},
    {SEARCH_NAME_OR_IP, u"Совпадение имени или IP"},
};

constexpr RuleValueText STATUS_TEXTS[] = {
    {STATUS_UNCHANGED, u"не меняется"},
    {STATUS_ALLOW_ALL, u"разрешено все"},
    {STATUS_NO_PRIVATE, u"приват запрещен"},
    {STATUS_IGNORE, u"игнорирование"},
};

constexpr char16_t NAME_COLUMN_TEXT[] = u"Имя";
constexpr char16_t IP_COLUMN_TEXT[] = u"IP";
