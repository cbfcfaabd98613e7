#include "lists/rule_file_sense.h"

#include <cstddef>

namespace {

// The file's start is enough to tell a text: a rule record holds zero bytes
// within its first few hundred (the colours' top bytes, a short name's
// UTF-16 high bytes, the status of every editor-made rule).
constexpr size_t TEXT_SAMPLE_BYTES = 4096;
// A text may hold a stray control character; one in this many bytes at most.
constexpr size_t TEXT_CONTROL_SHARE = 64;

// The file's bytes from its start: the records', then the part record's.
struct FileBytes {
    const unsigned char* records;
    size_t recordBytes;
    const unsigned char* trailing;
    size_t trailingBytes;

    size_t size() const { return recordBytes + trailingBytes; }
    unsigned char operator[](size_t at) const {
        return at < recordBytes ? records[at] : trailing[at - recordBytes];
    }
};

bool IsTextControl(unsigned char byte) {
    const bool lineOrTab = byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
    return (byte < 0x20 && !lineOrTab) || byte == 0x7F;
}

// UTF-8 or a one-byte code page: no zero byte, hardly a control character.
bool ReadsAsByteText(const FileBytes& bytes, size_t sample) {
    size_t controls = 0;
    for (size_t at = 0; at < sample; ++at) {
        if (bytes[at] == 0) return false;
        if (IsTextControl(bytes[at])) ++controls;
    }
    return controls * TEXT_CONTROL_SHARE <= sample;
}

// UTF-16 with its byte order mark, or little-endian without one whose units
// are nearly all printable ASCII and line ends (a record's zeros are not).
bool ReadsAsUtf16Text(const FileBytes& bytes, size_t sample) {
    if (sample < 2) return false;
    const unsigned first = bytes[0], second = bytes[1];
    if ((first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF)) return true;
    size_t units = 0, textUnits = 0;
    for (size_t at = 0; at + 1 < sample; at += 2, ++units) {
        const unsigned char low = bytes[at];
        if (bytes[at + 1] == 0 && low != 0 && !IsTextControl(low) && low < 0x80) ++textUnits;
    }
    return units >= 4 && textUnits * 10 >= units * 9;
}

}  // namespace

RuleFileSense SenseRuleFile(const _RULE* records, uint32_t count, const unsigned char* trailing,
                            uint32_t trailingBytes) {
    RuleFileSense sense{};
    sense.wholeRecords = trailingBytes == 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (!IsPossibleRecord(records[k])) ++sense.impossibleRecords;
    }
    sense.mostlyImpossible = uint64_t{sense.impossibleRecords} * 2 > count;
    const FileBytes bytes{reinterpret_cast<const unsigned char*>(records), size_t{count} * RULE_SIZE,
                          trailing, trailing ? trailingBytes : 0};
    const size_t sample = bytes.size() < TEXT_SAMPLE_BYTES ? bytes.size() : TEXT_SAMPLE_BYTES;
    sense.readsAsText = sample > 0 && (ReadsAsByteText(bytes, sample) || ReadsAsUtf16Text(bytes, sample));
    sense.isRuleFile = sense.wholeRecords && !sense.mostlyImpossible;
    return sense;
}
