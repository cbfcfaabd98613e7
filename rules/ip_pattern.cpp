// Derivation of a rule's IP pattern from the text the operator typed:
//   "10.0.*"              prefix "10.0." (compared as text)
//   "10.0.0.1-10.0.0.9"   inclusive range
//   "192.168.0.1"         exact address
#include "rules/ip_pattern.h"

#include "rules/rule_array.h"
#include "rules/text_field.h"

#include <winsock2.h>

#include <cstring>

uint32_t ConvertAddress(const char* text, size_t length) {
    char terminated[RULE_IP_TEXT_BYTES + 1] = {};
    if (length > RULE_IP_TEXT_BYTES) length = RULE_IP_TEXT_BYTES;
    std::memcpy(terminated, text, length);
    return ntohl(inet_addr(terminated));
}

namespace {

// A range end must be a plain four-part address: "10.0.0" or "1" would be
// read by inet_addr as shorthand and give surprising bounds, and a second
// "-" means the text is not "A-B" at all.
bool IsFourPartAddress(const char* text, size_t length, uint32_t* address) {
    int parts = 1;
    size_t partLength = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '-') return false;
        if (text[i] != '.') {
            ++partLength;
            continue;
        }
        if (partLength == 0) return false;
        ++parts;
        partLength = 0;
    }
    if (parts != 4 || partLength == 0) return false;
    *address = ConvertAddress(text, length);
    if (*address != ADDRESS_NONE) return true;
    constexpr char broadcast[] = "255.255.255.255";  // inet_addr's one ambiguous answer
    return length == sizeof broadcast - 1 && std::memcmp(text, broadcast, length) == 0;
}

void ParseRange(_RULE& rule, size_t textLength, size_t dash) {
    uint32_t low = 0;
    uint32_t high = 0;
    const char* text = rule.ipText;
    if (!IsFourPartAddress(text, dash, &low)) return;
    if (!IsFourPartAddress(text + dash + 1, textLength - dash - 1, &high)) return;
    if (low > high) return;
    rule.ipLow = low;
    rule.ipHigh = high;
}

}  // namespace

void ParseRuleIp(_RULE& rule) {
    std::memset(rule.ipPrefix, 0, sizeof rule.ipPrefix);
    rule.ipLow = 0;
    rule.ipHigh = 0;

    const size_t length = FieldLength(rule.ipText);
    const char* text = rule.ipText;

    if (const void* star = std::memchr(text, '*', length)) {
        const size_t prefixLength = static_cast<const char*>(star) - text;
        // No IPv4 prefix is longer than 15 characters; a longer one is no prefix.
        if (prefixLength < sizeof rule.ipPrefix) std::memcpy(rule.ipPrefix, text, prefixLength);
        return;
    }
    if (const void* dash = std::memchr(text, '-', length)) {
        ParseRange(rule, length, static_cast<const char*>(dash) - text);
        return;
    }
    // An empty text means "no address", although inet_addr rejects it.
    if (length > 0) rule.ipLow = ConvertAddress(text, length);
}
