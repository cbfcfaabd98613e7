#include "lists/address_set.h"

#include "rules/ip_pattern.h"
#include "rules/text_field.h"
#include "lists/text_pieces.h"

#include <algorithm>

namespace {

constexpr AddressInterval EVERY_ADDRESS{0, 0xFFFFFFFFu};

// The addresses whose leading `fixed` bytes are `bytes` and whose next byte
// is in [first, last].
AddressInterval BytesInterval(const uint32_t* bytes, int fixed, uint32_t first, uint32_t last) {
    uint32_t base = 0;
    for (int i = 0; i < fixed; ++i) base |= bytes[i] << (24 - 8 * i);
    const int shift = 24 - 8 * fixed;
    const uint32_t rest = shift == 0 ? 0 : (1u << shift) - 1;
    return {base | (first << shift), base | (last << shift) | rest};
}

// One whole part as inet_addr reads it (ReadAddressPart), 0 to 255; false
// for anything else.
bool ReadPartValue(const std::string& part, uint32_t* value) {
    uint32_t number = 0;
    if (part.empty() || ReadAddressPart(part.data(), part.size(), &number) != part.size() ||
        number > 255) {
        return false;
    }
    *value = number;
    return true;
}

}  // namespace

void NormaliseIntervals(std::vector<AddressInterval>& intervals) {
    std::sort(intervals.begin(), intervals.end(),
              [](const AddressInterval& a, const AddressInterval& b) { return a.low < b.low; });
    std::vector<AddressInterval> joined;
    for (const AddressInterval& next : intervals) {
        if (!joined.empty() && (joined.back().high == 0xFFFFFFFFu || next.low <= joined.back().high + 1)) {
            joined.back().high = std::max(joined.back().high, next.high);
        } else {
            joined.push_back(next);
        }
    }
    intervals.swap(joined);
}

std::vector<AddressInterval> PrefixAddresses(const char* prefix, size_t length) {
    std::vector<AddressInterval> result;
    uint32_t bytes[4] = {};
    int complete = 0;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && prefix[i] != '.') {
            if (!IsDigit(prefix[i])) return result;
            continue;
        }
        if (i == length) break;
        // A whole part: plain decimal, 0 to 255, with a fourth dot no text has.
        const std::string part(prefix + start, i - start);
        if (complete == 3 || part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) {
            return result;
        }
        bytes[complete] = static_cast<uint32_t>(std::stoul(part));
        if (bytes[complete] > 255) return result;
        ++complete;
        start = i + 1;
    }
    const std::string tail(prefix + start, length - start);
    if (tail.empty()) {
        if (complete == 0) return {EVERY_ADDRESS};
        result.push_back(BytesInterval(bytes, complete, 0, 255));
        return result;
    }
    // The next part's values whose text starts with the tail.
    for (uint32_t value = 0; value <= 255; ++value) {
        const std::string text = std::to_string(value);
        if (text.compare(0, tail.size(), tail) != 0) continue;
        if (!result.empty() && result.back().high + 1 == BytesInterval(bytes, complete, value, value).low) {
            result.back().high = BytesInterval(bytes, complete, value, value).high;
        } else {
            result.push_back(BytesInterval(bytes, complete, value, value));
        }
    }
    return result;
}

void AppendIpTestAddresses(const _RULE& rule, std::vector<AddressInterval>* to) {
    const bool range = rule.ipHigh != 0 && rule.ipLow <= rule.ipHigh;
    if (rule.ipPrefix[0] == 0) {
        // No prefix: the range holds the exact address, so one interval at
        // most, and nothing allocated for it.
        if (range) to->push_back({rule.ipLow, rule.ipHigh});
        else if (rule.ipLow != 0) to->push_back({rule.ipLow, rule.ipLow});
        return;
    }
    std::vector<AddressInterval> result = PrefixAddresses(rule.ipPrefix, FieldLength(rule.ipPrefix));
    if (range) result.push_back({rule.ipLow, rule.ipHigh});
    if (rule.ipLow != 0) result.push_back({rule.ipLow, rule.ipLow});
    NormaliseIntervals(result);
    to->insert(to->end(), result.begin(), result.end());
}

std::vector<AddressInterval> IpTestAddresses(const _RULE& rule) {
    std::vector<AddressInterval> result;
    AppendIpTestAddresses(rule, &result);
    return result;
}

std::vector<AddressInterval> PossibleAddresses(const _RULE& rule) {
    // Picked by the nickname alone: any address at all.
    if (PicksByNameAlone(rule.searchType)) return {EVERY_ADDRESS};
    // Otherwise a pick needs the IP test to succeed.
    if (!TestsIp(rule.searchType)) return {};
    std::vector<AddressInterval> result;
    if (rule.ipHigh != 0 && rule.ipLow <= rule.ipHigh) result.push_back({rule.ipLow, rule.ipHigh});
    if (rule.ipLow != 0) result.push_back({rule.ipLow, rule.ipLow});
    const size_t prefixLength = FieldLength(rule.ipPrefix);
    if (prefixLength > 0) {
        // A visitor text that starts with whole parts "A.B." reads as A.B.x.x
        // or as no address (all ones); any other prefix could be anything.
        const std::string prefix(rule.ipPrefix, prefixLength);
        uint32_t bytes[4] = {};
        int complete = 0;
        bool known = prefix.back() == '.';
        size_t start = 0;
        for (size_t i = 0; known && i < prefix.size(); ++i) {
            if (prefix[i] != '.') continue;
            if (complete == 3) {
                known = false;  // a fifth part: inet_addr gives no address
                break;
            }
            uint32_t value = 0;
            if (!ReadPartValue(prefix.substr(start, i - start), &value)) {
                known = false;
                break;
            }
            bytes[complete++] = value;
            start = i + 1;
        }
        if (!known) return {EVERY_ADDRESS};
        result.push_back(BytesInterval(bytes, complete, 0, 255));
        result.push_back({0xFFFFFFFFu, 0xFFFFFFFFu});
    }
    NormaliseIntervals(result);
    return result;
}

bool IsNumericAddressRule(const _RULE& rule, AddressInterval* interval) {
    if (!IsAddressOnly(rule.searchType)) return false;
    if (rule.ipPrefix[0] != 0) return false;
    if (rule.ipHigh != 0 && rule.ipLow <= rule.ipHigh) {
        *interval = {rule.ipLow, rule.ipHigh};
        return true;
    }
    if (rule.ipLow == 0) return false;
    *interval = {rule.ipLow, rule.ipLow};
    return true;
}

int CidrBlockLength(uint64_t at, uint64_t end) {
    int length = 32;
    while (length > 0) {
        const uint64_t size = uint64_t{1} << (32 - (length - 1));
        if ((at & (size - 1)) != 0 || at + size > end) break;
        --length;
    }
    return length;
}

std::vector<std::pair<uint32_t, int>> CidrBlocks(uint32_t low, uint32_t high) {
    std::vector<std::pair<uint32_t, int>> blocks;
    const uint64_t end = uint64_t{high} + 1;
    for (uint64_t at = low; at < end;) {
        const int length = CidrBlockLength(at, end);
        blocks.emplace_back(static_cast<uint32_t>(at), length);
        at += uint64_t{1} << (32 - length);
    }
    return blocks;
}

size_t FormatDotted(uint32_t address, char* out) {
    size_t at = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (address >> shift) & 0xFF;
        if (part >= 100) out[at++] = static_cast<char>('0' + part / 100);
        if (part >= 10) out[at++] = static_cast<char>('0' + part / 10 % 10);
        out[at++] = static_cast<char>('0' + part % 10);
        if (shift > 0) out[at++] = '.';
    }
    return at;
}

std::string DottedAddress(uint32_t address) {
    char text[16];
    return std::string(text, FormatDotted(address, text));
}
