#include "matching/rule_index.h"

#include "rules/text_field.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// --- Keys ---------------------------------------------------------------------

constexpr uint32_t FNV_OFFSET = 2166136261u;
constexpr uint32_t FNV_PRIME = 16777619u;

uint32_t MixBits(uint32_t value) {
    value ^= value >> 16;
    value *= 0x7FEB352Du;
    value ^= value >> 15;
    value *= 0x846CA68Bu;
    value ^= value >> 16;
    return value;
}

uint32_t AddUnit(uint32_t hash, uint32_t unit) { return (hash ^ unit) * FNV_PRIME; }

// The length goes into the key, so "10." and "10.1" never share one.
uint32_t FinishKey(uint32_t hash, size_t length) {
    return MixBits(hash ^ static_cast<uint32_t>(length));
}

uint32_t NameKey(const char16_t* units, size_t length) {
    uint32_t hash = FNV_OFFSET;
    for (size_t k = 0; k < length; ++k) hash = AddUnit(hash, units[k]);
    return FinishKey(hash, length);
}

uint32_t PrefixKey(const char* bytes, size_t length) {
    uint32_t hash = FNV_OFFSET;
    for (size_t k = 0; k < length; ++k) hash = AddUnit(hash, static_cast<uint8_t>(bytes[k]));
    return FinishKey(hash, length);
}

// --- Building ------------------------------------------------------------------------

template <typename T>
T* AllocateArray(size_t count, size_t& bytes) {
    if (count == 0) count = 1;
    bytes += count * sizeof(T);
    return static_cast<T*>(std::calloc(count, sizeof(T)));
}

// (key, rule) in one number.
uint64_t KeyedRule(uint32_t key, uint32_t rule) { return (uint64_t{key} << 32) | rule; }

// At most half full: a search for an absent key then ends after a few slots.
uint32_t SlotCountFor(uint32_t keys) {
    uint32_t slots = 16;
    while (slots < 2 * keys) slots <<= 1;
    return slots;
}

constexpr uint32_t FILTER_BITS_PER_KEY = 16;  // about one absent key in 16 passes

// The filter's bit for a key: the top bits of a product independent of the
// slot's hash.
uint32_t FilterBit(const RuleKeyTable& table, uint32_t key) {
    return (key * 0x9E3779B1u) >> table.filterShift;
}

bool FilterHas(const RuleKeyTable& table, uint32_t key) {
    const uint32_t bit = FilterBit(table, key);
    return (table.filter[bit / 32] >> (bit % 32)) & 1;
}

// Files (key, rule) pairs, given in list order, into `table` and their rule
// numbers into the pool: one pass counts the rules of each key, one gives
// each key its place in the pool, one fills the places, so each key's rules
// stay in list order without sorting.
bool FillKeyTable(RuleKeyTable& table, const uint64_t* pairs, uint32_t pairCount, uint32_t* pool,
                  uint32_t& poolUsed, size_t& bytes) {
    // Sized for the pairs, which are at least as many as the keys.
    const uint32_t slotCount = SlotCountFor(pairCount);
    table.slots = AllocateArray<RuleKeySlot>(slotCount, bytes);
    uint32_t filterBits = 32;
    table.filterShift = 27;
    while (filterBits < FILTER_BITS_PER_KEY * pairCount) {
        filterBits <<= 1;
        --table.filterShift;
    }
    table.filter = AllocateArray<uint32_t>(filterBits / 32, bytes);
    size_t scratch = 0;
    uint32_t* slotOfPair = AllocateArray<uint32_t>(pairCount, scratch);
    if (!table.slots || !table.filter || !slotOfPair) {
        std::free(slotOfPair);
        return false;
    }
    table.mask = slotCount - 1;

    for (uint32_t p = 0; p < pairCount; ++p) {
        const uint32_t key = static_cast<uint32_t>(pairs[p] >> 32);
        uint32_t slot = MixBits(key) & table.mask;
        while (table.slots[slot].count != 0 && table.slots[slot].key != key) {
            slot = (slot + 1) & table.mask;
        }
        table.slots[slot].key = key;
        ++table.slots[slot].count;
        slotOfPair[p] = slot;
        const uint32_t bit = FilterBit(table, key);
        table.filter[bit / 32] |= 1u << (bit % 32);
    }
    for (uint32_t slot = 0; slot < slotCount; ++slot) {
        table.slots[slot].start = poolUsed;
        poolUsed += table.slots[slot].count;
        table.slots[slot].count = 0;  // counts again while filling
    }
    for (uint32_t p = 0; p < pairCount; ++p) {
        RuleKeySlot& slot = table.slots[slotOfPair[p]];
        pool[slot.start + slot.count++] = static_cast<uint32_t>(pairs[p]);
    }
    std::free(slotOfPair);
    return true;
}

// maxHigh of the slice [first, end) goes to its middle, recursively.
uint32_t FillMaxHigh(RuleRanges& ranges, uint32_t first, uint32_t end) {
    if (first >= end) return 0;
    const uint32_t middle = first + (end - first) / 2;
    uint32_t highest = ranges.high[middle];
    highest = std::max(highest, FillMaxHigh(ranges, first, middle));
    highest = std::max(highest, FillMaxHigh(ranges, middle + 1, end));
    ranges.maxHigh[middle] = highest;
    return highest;
}

struct RangeEntry {
    uint32_t low;
    uint32_t high;
    uint32_t rule;
};

bool FillRanges(RuleRanges& ranges, RangeEntry* entries, uint32_t count, size_t& bytes) {
    std::sort(entries, entries + count, [](const RangeEntry& a, const RangeEntry& b) {
        return a.low != b.low ? a.low < b.low : a.rule < b.rule;
    });
    ranges.low = AllocateArray<uint32_t>(count, bytes);
    ranges.high = AllocateArray<uint32_t>(count, bytes);
    ranges.maxHigh = AllocateArray<uint32_t>(count, bytes);
    ranges.rule = AllocateArray<uint32_t>(count, bytes);
    if (!ranges.low || !ranges.high || !ranges.maxHigh || !ranges.rule) return false;
    for (uint32_t k = 0; k < count; ++k) {
        ranges.low[k] = entries[k].low;
        ranges.high[k] = entries[k].high;
        ranges.rule[k] = entries[k].rule;
    }
    ranges.count = count;
    FillMaxHigh(ranges, 0, count);
    return true;
}

// Temporary lists of one build; freed at its end.
struct BuildLists {
    uint64_t* names;
    uint64_t* prefixes;
    uint64_t* addresses;
    RangeEntry* ranges;
};

void FreeBuildLists(BuildLists& lists) {
    std::free(lists.names);
    std::free(lists.prefixes);
    std::free(lists.addresses);
    std::free(lists.ranges);
}

bool FillIndex(RuleIndex& index, const _RULE* rules, uint32_t count, BuildLists& lists) {
    size_t scratch = 0;
    lists.names = AllocateArray<uint64_t>(count, scratch);
    lists.prefixes = AllocateArray<uint64_t>(count, scratch);
    lists.addresses = AllocateArray<uint64_t>(count, scratch);
    lists.ranges = AllocateArray<RangeEntry>(count, scratch);
    if (!lists.names || !lists.prefixes || !lists.addresses || !lists.ranges) return false;

    uint32_t names = 0, prefixes = 0, addresses = 0, ranges = 0;
    // The fields read lie on three cache lines of each 460-byte record; asking
    // for them a few records ahead keeps the build from waiting on memory.
    constexpr uint32_t PREFETCH_AHEAD = 8;
    for (uint32_t j = 0; j < count; ++j) {
        if (j + PREFETCH_AHEAD < count) {
            const _RULE& ahead = rules[j + PREFETCH_AHEAD];
            __builtin_prefetch(ahead.name);
            __builtin_prefetch(&ahead.ipLow);
            __builtin_prefetch(&ahead.searchType);
        }
        const _RULE& rule = rules[j];
        const int32_t search = rule.searchType;
        if (PicksByNameAlone(search) || PicksByNameAndIp(search)) {
            lists.names[names++] = KeyedRule(NameKey(rule.name, FieldLength(rule.name)), j);
        }
        if (!PicksByIpAlone(search)) continue;
        if (const size_t length = FieldLength(rule.ipPrefix)) {
            lists.prefixes[prefixes++] = KeyedRule(PrefixKey(rule.ipPrefix, length), j);
            index.prefixLengths |= 1u << length;
        }
        if (rule.ipLow != 0) lists.addresses[addresses++] = KeyedRule(rule.ipLow, j);
        // An inverted range holds no address: only its exact sub-test can succeed.
        if (rule.ipHigh != 0 && rule.ipLow <= rule.ipHigh) {
            lists.ranges[ranges++] = RangeEntry{rule.ipLow, rule.ipHigh, j};
        }
    }

    index.addressRules = addresses + ranges;
    index.pool = AllocateArray<uint32_t>(names + prefixes + addresses, index.bytes);
    if (!index.pool) return false;
    uint32_t poolUsed = 0;
    return FillKeyTable(index.names, lists.names, names, index.pool, poolUsed, index.bytes) &&
           FillKeyTable(index.prefixes, lists.prefixes, prefixes, index.pool, poolUsed,
                        index.bytes) &&
           FillKeyTable(index.addresses, lists.addresses, addresses, index.pool, poolUsed,
                        index.bytes) &&
           FillRanges(index.ranges, lists.ranges, ranges, index.bytes);
}

// --- Looking up ----------------------------------------------------------------------

// Appends to the candidates; false when they no longer fit.
struct CandidateList {
    uint32_t* rules;
    uint32_t count;
    uint32_t capacity;
};

bool AddSlot(CandidateList& list, const RuleIndex& index, const RuleKeyTable& table,
             uint32_t key) {
    if (!FilterHas(table, key)) return true;
    uint32_t slot = MixBits(key) & table.mask;
    for (; table.slots[slot].count != 0; slot = (slot + 1) & table.mask) {
        const RuleKeySlot& found = table.slots[slot];
        if (found.key != key) continue;
        if (found.count > list.capacity - list.count) return false;
        std::memcpy(list.rules + list.count, index.pool + found.start,
                    found.count * sizeof(uint32_t));
        list.count += found.count;
        return true;
    }
    return true;
}

// Every range holding `address`: a slice is skipped when no range in it
// reaches up to the address, and the right half when its lows are above it.
bool AddRanges(CandidateList& list, const RuleRanges& ranges, uint32_t first, uint32_t end,
               uint32_t address) {
    while (first < end) {
        const uint32_t middle = first + (end - first) / 2;
        if (ranges.maxHigh[middle] < address) return true;
        if (!AddRanges(list, ranges, first, middle, address)) return false;
        if (ranges.low[middle] > address) return true;
        if (ranges.high[middle] >= address) {
            if (list.count == list.capacity) return false;
            list.rules[list.count++] = ranges.rule[middle];
        }
        first = middle + 1;
    }
    return true;
}

// A nickname longer than a rule name's field matches no rule name.
constexpr size_t NO_NAME_KEY = RULE_NAME_UNITS + 1;

size_t NickLengthForNames(const char16_t* nick) {
    const size_t length = BoundedLength(nick, RULE_NAME_UNITS + 1);
    return length <= RULE_NAME_UNITS ? length : NO_NAME_KEY;
}

bool AddIpCandidates(CandidateList& list, const RuleIndex& index, MatchVisitor& visitor) {
    // Prefixes: one probe for each prefix length in use, the key built as the
    // text is read; a prefix never holds a zero byte.
    const uint32_t lengths = index.prefixLengths;
    uint32_t hash = FNV_OFFSET;
    for (size_t n = 1; n <= USER_IP_BYTES && (lengths >> n) != 0; ++n) {
        const uint8_t byte = static_cast<uint8_t>(visitor.ip[n - 1]);
        if (byte == 0) break;
        hash = AddUnit(hash, byte);
        if ((lengths >> n) & 1) {
            if (!AddSlot(list, index, index.prefixes, FinishKey(hash, n))) return false;
        }
    }
    if (index.addressRules == 0) return true;  // no conversion needed
    const uint32_t address = VisitorAddress(visitor);
    if (!AddSlot(list, index, index.addresses, address)) return false;
    const RuleRanges& ranges = index.ranges;
    // Below every low end or above every high end: no range to look into.
    if (ranges.count == 0 || address < ranges.low[0] ||
        address > ranges.maxHigh[ranges.count / 2]) {
        return true;
    }
    return AddRanges(list, ranges, 0, ranges.count, address);
}

}  // namespace

bool BuildRuleIndex(RuleIndex& index, const _RULE* rules, uint32_t count) {
    FreeRuleIndex(index);
    BuildLists lists{};
    const bool filled = FillIndex(index, rules, count, lists);
    FreeBuildLists(lists);
    if (!filled) {
        FreeRuleIndex(index);
        return false;
    }
    index.built = true;
    return true;
}

void FreeRuleIndex(RuleIndex& index) {
    for (RuleKeyTable* table : {&index.names, &index.prefixes, &index.addresses}) {
        std::free(table->slots);
        std::free(table->filter);
    }
    std::free(index.ranges.low);
    std::free(index.ranges.high);
    std::free(index.ranges.maxHigh);
    std::free(index.ranges.rule);
    std::free(index.pool);
    index = RuleIndex{};
}

uint32_t CollectCandidates(const RuleIndex& index, MatchVisitor& visitor, uint32_t* candidates,
                           uint32_t capacity) {
    CandidateList list{candidates, 0, capacity};
    const size_t nickLength = NickLengthForNames(visitor.nick);
    if (nickLength != NO_NAME_KEY &&
        !AddSlot(list, index, index.names, NameKey(visitor.nick, nickLength))) {
        return CANDIDATES_OVERFLOW;
    }
    // An empty IP text fails every IP test.
    if (visitor.ip[0] != 0 && !AddIpCandidates(list, index, visitor)) return CANDIDATES_OVERFLOW;

    // One rule can come from several keys; the list order decides.
    std::sort(candidates, candidates + list.count);
    return static_cast<uint32_t>(std::unique(candidates, candidates + list.count) - candidates);
}

void StartPickScan(PickScan& scan, const RuleIndex* index, const _RULE* rules, uint32_t count,
                   MatchVisitor& visitor, uint32_t* buffer, uint32_t capacity) {
    scan = PickScan{rules, count, nullptr, 0, 0};
    if (!index || !index->built) return;
    const uint32_t found = CollectCandidates(*index, visitor, buffer, capacity);
    if (found == CANDIDATES_OVERFLOW) return;
    scan.candidates = buffer;
    scan.candidateCount = found;
}

bool NextPick(PickScan& scan, MatchVisitor& visitor, uint32_t* rule) {
    if (!scan.candidates) {
        const uint32_t next = NextPickingRuleByWalk(scan.rules, scan.count, scan.position, visitor);
        if (next >= scan.count) {
            scan.position = scan.count;
            return false;
        }
        scan.position = next + 1;
        *rule = next;
        return true;
    }
    while (scan.position < scan.candidateCount) {
        const uint32_t candidate = scan.candidates[scan.position++];
        if (RulePicks(scan.rules[candidate], visitor)) {
            *rule = candidate;
            return true;
        }
    }
    return false;
}
