#include "lists/export_lines.h"

#include "lists/address_set.h"
#include "lists/rule_text.h"
#include "lists/rule_words.h"
#include "lists/text_codec.h"
#include "rules/text_field.h"

#include <cstring>

namespace {

bool AllZero(const void* bytes, size_t count) {
    static const unsigned char zeros[RULE_RESERVED_BYTES] = {};
    return count <= sizeof zeros && std::memcmp(bytes, zeros, count) == 0;
}

// Bytes behind a text field's terminator, or none when it has no terminator.
template <typename Char, size_t Width>
bool TailIsZero(const Char (&field)[Width]) {
    const size_t length = FieldLength(field);
    return length == Width || AllZero(field + length + 1, (Width - length - 1) * sizeof(Char));
}

// The IP text is the plain text of the stored fields: "A.B.C.D-E.F.G.H" for
// a range, "A.B.C.D" for an address, nothing for neither, with no prefix.
// The table's checks then give the text back and ParseRuleIp the fields, so
// the line needs no stored pattern.
bool IpTextIsStoredPlainly(const _RULE& rule, size_t ipLength) {
    if (!AllZero(rule.ipPrefix, sizeof rule.ipPrefix)) return false;
    char plain[32];
    size_t length = 0;
    if (rule.ipHigh != 0) {
        if (rule.ipLow > rule.ipHigh) return false;
        length = FormatDotted(rule.ipLow, plain);
        plain[length++] = '-';
        length += FormatDotted(rule.ipHigh, plain + length);
    } else if (rule.ipLow != 0) {
        length = FormatDotted(rule.ipLow, plain);
    }
    return length == ipLength && std::memcmp(plain, rule.ipText, length) == 0;
}

}  // namespace

void AppendExportLine(const _RULE& rule, std::string* text) {
    const size_t ipLength = FieldLength(rule.ipText);
    if (!IpTextIsStoredPlainly(rule, ipLength) || !TailIsZero(rule.name) || !TailIsZero(rule.ipText) ||
        !AllZero(rule.reserved, sizeof rule.reserved)) {
        text->append(ExportLine(rule)).push_back('\n');
        return;
    }
    if (rule.name[0] != 0) text->append(EscapeName(rule.name, FieldLength(rule.name)));
    text->push_back('\t');
    text->append(SearchKeyword(rule.searchType)).push_back('\t');
    text->append(rule.ipText, ipLength).push_back('\t');  // digits, dots and a dash: nothing to escape
    text->append(StatusKeyword(rule.status)).push_back('\t');
    AppendColourText(rule.nickColor, text);
    text->push_back('\t');
    AppendColourText(rule.textColor, text);
    text->append("\t\t\t\t\t\n");  // no stored pattern, hidden bytes or memo
}
