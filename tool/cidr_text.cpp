#include "tool/cidr_text.h"

#include "lists/rule_words.h"
#include "tool/console_output.h"

namespace {

size_t DigitsOf(uint32_t number) { return number >= 100 ? 3 : number >= 10 ? 2 : 1; }

size_t DottedLength(uint32_t address) {
    return 3 + DigitsOf(address >> 24) + DigitsOf((address >> 16) & 0xFF) + DigitsOf((address >> 8) & 0xFF) +
           DigitsOf(address & 0xFF);
}

// What follows each of a rule's blocks.
void ColumnsOf(const CidrRule& rule, bool plain, std::string* columns) {
    columns->clear();
    if (!plain) {
        columns->append("\t").append(StatusKeyword(rule.status)).append("\t");
        AppendColourText(rule.nickColor, columns);
        columns->append("\t");
        AppendColourText(rule.textColor, columns);
    }
    columns->append("\n");
}

// Calls `block(address, length)` for each block of each interval of `rule`.
template <typename Block>
void EachBlock(const CidrList& list, size_t rule, Block block) {
    const uint32_t from = rule == 0 ? 0 : list.rules[rule - 1].intervalsEnd;
    for (uint32_t at = from; at < list.rules[rule].intervalsEnd; ++at) {
        const uint64_t end = uint64_t{list.intervals[at].high} + 1;
        for (uint64_t address = list.intervals[at].low; address < end;) {
            const int length = CidrBlockLength(address, end);
            block(static_cast<uint32_t>(address), length);
            address += uint64_t{1} << (32 - length);
        }
    }
}

}  // namespace

CidrList GatherCidrList(const _RULE* rules, size_t count) {
    CidrList list;
    list.intervals.reserve(count);  // one a rule, but for prefixes
    for (size_t i = 0; i < count; ++i) {
        const _RULE& rule = rules[i];
        const size_t before = list.intervals.size();
        if (IsAddressOnly(rule.searchType)) AppendIpTestAddresses(rule, &list.intervals);
        if (list.intervals.size() == before) {
            ++list.leftOut;
            continue;
        }
        list.rules.push_back({static_cast<uint32_t>(list.intervals.size()), rule.status, rule.nickColor,
                              rule.textColor});
    }
    return list;
}

size_t CidrLinesSize(const CidrList& list, bool plain) {
    size_t size = 0;
    std::string columns;
    for (size_t rule = 0; rule < list.rules.size(); ++rule) {
        ColumnsOf(list.rules[rule], plain, &columns);
        EachBlock(list, rule, [&](uint32_t address, int length) {
            size += DottedLength(address) + 1 + (length >= 10 ? 2 : 1) + columns.size();
        });
    }
    return size;
}

void CidrLines(const CidrList& list, bool plain, size_t piece, std::string* text) {
    std::string columns;
    for (size_t rule = 0; rule < list.rules.size(); ++rule) {
        ColumnsOf(list.rules[rule], plain, &columns);
        EachBlock(list, rule, [&](uint32_t address, int length) {
            char line[24];
            size_t at = FormatDotted(address, line);
            line[at++] = '/';
            if (length >= 10) line[at++] = static_cast<char>('0' + length / 10);
            line[at++] = static_cast<char>('0' + length % 10);
            text->append(line, at).append(columns);
        });
        if (piece != 0 && text->size() >= piece) {
            WriteOut(*text);
            text->clear();
        }
    }
}
