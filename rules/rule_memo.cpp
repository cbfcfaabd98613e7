#include "rules/rule_memo.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t SIGNATURE[MEMO_SIGNATURE_BYTES] = {'T', 'v', 'M', 'm'};
constexpr size_t VERSION_OFFSET = 4;
constexpr size_t NOTE_LENGTH_OFFSET = 6;
constexpr size_t ADDED_OFFSET = 8;
constexpr size_t EXPIRES_OFFSET = 16;
constexpr size_t CHECKSUM_OFFSET = MEMO_CHECKED_BYTES;

uint64_t ReadLittle(const uint8_t* bytes, size_t count) {
    uint64_t value = 0;
    for (size_t i = count; i-- > 0;) value = value << 8 | bytes[i];
    return value;
}

void WriteLittle(uint8_t* bytes, uint64_t value, size_t count) {
    for (size_t i = 0; i < count; ++i, value >>= 8) bytes[i] = static_cast<uint8_t>(value);
}

// CRC-32 of zip and PNG (reflected, polynomial 0xEDB88320), a nibble at a time.
uint32_t Crc32(const uint8_t* bytes, size_t size) {
    static constexpr uint32_t NIBBLE[16] = {
        0x00000000, 0x1DB71064, 0x3B6E20C8, 0x26D930AC, 0x76DC4190, 0x6B6B51F4,
        0x4DB26158, 0x5005713C, 0xEDB88320, 0xF00F9344, 0xD6D6A3E8, 0xCB61B38C,
        0x9B64C2B0, 0x86D3D2D4, 0xA00AE278, 0xBDBDF21C};
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        crc = (crc >> 4) ^ NIBBLE[crc & 15];
        crc = (crc >> 4) ^ NIBBLE[crc & 15];
    }
    return ~crc;
}

bool HoldsBlock(const uint8_t* block) {
    return std::memcmp(block, SIGNATURE, sizeof SIGNATURE) == 0 &&
           ReadLittle(block + VERSION_OFFSET, 2) == MEMO_FORMAT_VERSION &&
           ReadLittle(block + NOTE_LENGTH_OFFSET, 2) <= MEMO_NOTE_UNITS &&
           ReadLittle(block + CHECKSUM_OFFSET, 4) == Crc32(block, MEMO_CHECKED_BYTES);
}

bool AllZero(const uint8_t* bytes, size_t size) {
    return std::all_of(bytes, bytes + size, [](uint8_t byte) { return byte == 0; });
}

}  // namespace

bool ReadRuleMemo(const _RULE& rule, RuleMemo* memo) {
    const uint8_t* block = rule.reserved;
    if (!HoldsBlock(block)) return false;
    std::memset(memo, 0, sizeof *memo);
    memo->added = static_cast<int64_t>(ReadLittle(block + ADDED_OFFSET, 8));
    memo->expires = static_cast<int64_t>(ReadLittle(block + EXPIRES_OFFSET, 8));
    memo->noteLength = static_cast<uint16_t>(ReadLittle(block + NOTE_LENGTH_OFFSET, 2));
    for (size_t i = 0; i < memo->noteLength; ++i) {
        memo->note[i] = static_cast<char16_t>(ReadLittle(block + MEMO_NOTE_OFFSET + 2 * i, 2));
    }
    return true;
}

bool CanHoldMemo(const _RULE& rule) {
    return AllZero(rule.reserved, sizeof rule.reserved) || HoldsBlock(rule.reserved);
}

bool WriteRuleMemo(_RULE& rule, const RuleMemo& memo) {
    if (!CanHoldMemo(rule)) return false;
    uint8_t block[RULE_RESERVED_BYTES] = {};
    std::memcpy(block, SIGNATURE, sizeof SIGNATURE);
    WriteLittle(block + VERSION_OFFSET, MEMO_FORMAT_VERSION, 2);
    const size_t noteLength = std::min<size_t>(memo.noteLength, MEMO_NOTE_UNITS);
    WriteLittle(block + NOTE_LENGTH_OFFSET, noteLength, 2);
    WriteLittle(block + ADDED_OFFSET, static_cast<uint64_t>(memo.added), 8);
    WriteLittle(block + EXPIRES_OFFSET, static_cast<uint64_t>(memo.expires), 8);
    for (size_t i = 0; i < noteLength; ++i) {
        WriteLittle(block + MEMO_NOTE_OFFSET + 2 * i, memo.note[i], 2);
    }
    WriteLittle(block + CHECKSUM_OFFSET, Crc32(block, MEMO_CHECKED_BYTES), 4);
    std::memcpy(rule.reserved, block, sizeof block);
    return true;
}

void RemoveRuleMemo(_RULE& rule) {
    if (HoldsBlock(rule.reserved)) std::memset(rule.reserved, 0, sizeof rule.reserved);
}

bool RuleExpired(const _RULE& rule, int64_t now) {
    const int64_t expires = UncheckedExpiry(rule);
    return expires != MEMO_NEVER && expires <= now && HoldsBlock(rule.reserved);
}

int64_t UncheckedExpiry(const _RULE& rule) {
    if (std::memcmp(rule.reserved, SIGNATURE, sizeof SIGNATURE) != 0) return MEMO_NEVER;
    return static_cast<int64_t>(ReadLittle(rule.reserved + EXPIRES_OFFSET, 8));
}
