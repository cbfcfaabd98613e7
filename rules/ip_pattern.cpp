// Derivation of a rule's IP pattern from the text the operator typed:
//   "10.0.*"              prefix "10.0." (compared as text)
//   "10.0.0.1-10.0.0.9"   inclusive range
//   "192.168.0.1"         exact address
#include "rules/ip_pattern.h"

#include "rules/hex_digit.h"
#include "rules/text_field.h"

#include <cstring>

namespace {

constexpr uint64_t PART_MAX = 0xFFFFFFFFu;  // a 32-bit unsigned long saturates here

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// White space of the C locale; it ends an address text like its terminator.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int DigitValue(char c, int base) {
    const int value = HexDigitValue(c);
    return value < base ? value : -1;
}

}  // namespace

size_t ReadAddressPart(const char* text, size_t length, uint32_t* value) {
    if (length == 0 || !IsDecimalDigit(text[0])) return 0;
    size_t used = 0;
    uint32_t base = 10;
    if (text[0] == '0') {
        base = 8;
        if (length > 1 && (text[1] == 'x' || text[1] == 'X')) {
            base = 16;
            used = 2;
        }
    }
    const size_t firstDigit = used;
    uint32_t number = 0;
    bool saturated = false;
    for (; used < length; ++used) {
        const int digit = DigitValue(text[used], static_cast<int>(base));
        if (digit < 0) break;
        if (number < 0x10000000u) {  // number * 16 + 15 still fits
            number = number * base + static_cast<uint32_t>(digit);
        } else {
            const uint64_t wide = uint64_t{number} * base + static_cast<uint32_t>(digit);
            if (wide > PART_MAX) saturated = true;
            else number = static_cast<uint32_t>(wide);
        }
    }
    *value = saturated ? static_cast<uint32_t>(PART_MAX) : number;
    // "0x" without a hexadecimal digit reads nothing at all.
    return used == firstDigit && base == 16 ? 0 : used;
}

// The dotted-address conversion of Windows Sockets, as Wine's inet_addr does
// it, followed by the change to host byte order: one to four parts separated
// by dots, each starting with a decimal digit; the last part filling the
// bytes the earlier ones left. Checked against the real inet_addr: white
// space after a part ends the text and whatever follows it is ignored, the
// text " " alone gives 0, "0x" without a digit is rejected, and a part too
// large for 32 bits reads as 0xFFFFFFFF.
uint32_t ConvertAddress(const char* text, size_t length) {
    if (length > RULE_IP_TEXT_BYTES) length = RULE_IP_TEXT_BYTES;
    length = BoundedLength(text, length);
    if (length == 1 && text[0] == ' ') return 0;  // inet_addr's one special text

    uint32_t parts[4] = {};
    size_t position = 0;
    size_t lastPart = 4;
    for (size_t i = 0; i < 4; ++i) {
        if (position >= length || !IsDecimalDigit(text[position])) return ADDRESS_NONE;
        position += ReadAddressPart(text + position, length - position, &parts[i]);
        if (position == length || IsSpace(text[position])) {
            lastPart = i;
            break;
        }
        if (text[position] != '.') return ADDRESS_NONE;
        ++position;
    }
    if (lastPart == 4) return ADDRESS_NONE;

    // The last part holds all the bytes after the earlier parts.
    const uint32_t last = parts[lastPart];
    switch (lastPart) {
        case 0:
            parts[0] = last >> 24;
            parts[1] = (last >> 16) & 0xFF;
            parts[2] = (last >> 8) & 0xFF;
            parts[3] = last & 0xFF;
            break;
        case 1:
            if (last > 0xFFFFFF) return ADDRESS_NONE;
            parts[1] = last >> 16;
            parts[2] = (last >> 8) & 0xFF;
            parts[3] = last & 0xFF;
            break;
        case 2:
            if (last > 0xFFFF) return ADDRESS_NONE;
            parts[2] = last >> 8;
            parts[3] = last & 0xFF;
            break;
        default:
            break;
    }
    uint32_t address = 0;
    for (uint32_t part : parts) {
        if (part > 0xFF) return ADDRESS_NONE;
        address = (address << 8) | part;
    }
    return address;
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

IpTextShape ClassifyIpText(const char* text, size_t length) {
    if (const void* star = std::memchr(text, '*', length)) {
        return {IpTextKind::Prefix, static_cast<size_t>(static_cast<const char*>(star) - text)};
    }
    if (const void* dash = std::memchr(text, '-', length)) {
        return {IpTextKind::Range, static_cast<size_t>(static_cast<const char*>(dash) - text)};
    }
    return {length > 0 ? IpTextKind::Exact : IpTextKind::Empty, length};
}

void ParseRuleIp(_RULE& rule) {
    std::memset(rule.ipPrefix, 0, sizeof rule.ipPrefix);
    rule.ipLow = 0;
    rule.ipHigh = 0;

    const size_t length = FieldLength(rule.ipText);
    const char* text = rule.ipText;
    const IpTextShape shape = ClassifyIpText(text, length);
    switch (shape.kind) {
        case IpTextKind::Prefix:
            // No IPv4 prefix is longer than 15 characters; a longer one is no prefix.
            if (shape.split < sizeof rule.ipPrefix) std::memcpy(rule.ipPrefix, text, shape.split);
            break;
        case IpTextKind::Range:
            ParseRange(rule, length, shape.split);
            break;
        case IpTextKind::Exact:
            rule.ipLow = ConvertAddress(text, length);
            break;
        case IpTextKind::Empty:
            // An empty text means "no address", although inet_addr rejects it.
            break;
    }
}
