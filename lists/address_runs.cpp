#include "lists/address_runs.h"

#include "lists/address_set.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr size_t BLOCK_PIECES = 256;

// How a piece's rule writes its addresses: as the entry reader stored a
// lone rule's (an exact address, or a range), or, grown, as a range.
constexpr uint32_t SHAPE_EXACT = 0;
constexpr uint32_t SHAPE_RANGE = 1;
constexpr uint32_t SHAPE_GROWN = 2;

// The addresses' fields lie together, from ipLow to the end of ipText:
// rules alike in every other byte are of one run.
constexpr size_t ADDRESSES_START = offsetof(_RULE, ipLow);
constexpr size_t ADDRESSES_END = offsetof(_RULE, ipText) + RULE_IP_TEXT_BYTES;
static_assert(offsetof(_RULE, ipHigh) > ADDRESSES_START && offsetof(_RULE, ipPrefix) > ADDRESSES_START &&
                  offsetof(_RULE, ipText) > ADDRESSES_START && offsetof(_RULE, reserved) == ADDRESSES_END,
              "the address fields lie together");

bool AlikeButAddresses(const _RULE& a, const _RULE& b) {
    const auto* first = reinterpret_cast<const unsigned char*>(&a);
    const auto* second = reinterpret_cast<const unsigned char*>(&b);
    return std::memcmp(first, second, ADDRESSES_START) == 0 &&
           std::memcmp(first + ADDRESSES_END, second + ADDRESSES_END, sizeof(_RULE) - ADDRESSES_END) == 0;
}

// The address fields of `rule` for these addresses in this shape; the
// text's length.
size_t WriteAddresses(_RULE& rule, uint32_t low, uint32_t high, uint32_t shape) {
    std::memset(reinterpret_cast<unsigned char*>(&rule) + ADDRESSES_START, 0, ADDRESSES_END - ADDRESSES_START);
    size_t length = FormatDotted(low, rule.ipText);
    rule.ipLow = low;
    if (shape != SHAPE_EXACT) {
        rule.ipText[length++] = '-';
        length += FormatDotted(high, rule.ipText + length);
        rule.ipHigh = high;
    }
    return length;
}

_RULE RuleOfPiece(const _RULE& pattern, const RunPiece& piece) {
    _RULE rule = pattern;
    WriteAddresses(rule, piece.low, piece.high, piece.shape);
    return rule;
}

// Whether `rule`'s address fields are what its addresses make again, and
// in which shape.
bool MadeAgain(const _RULE& rule, const AddressInterval& addresses, uint32_t* shape) {
    for (const uint32_t tried : {SHAPE_EXACT, SHAPE_RANGE}) {
        if (tried == SHAPE_EXACT && addresses.low != addresses.high) continue;
        _RULE made;
        WriteAddresses(made, addresses.low, addresses.high, tried);
        const auto* wanted = reinterpret_cast<const unsigned char*>(&made) + ADDRESSES_START;
        if (std::memcmp(wanted, reinterpret_cast<const unsigned char*>(&rule) + ADDRESSES_START,
                        ADDRESSES_END - ADDRESSES_START) == 0) {
            *shape = tried;
            return true;
        }
    }
    return false;
}

// The run's next rule: a piece of its own, dropped when one piece already
// holds it, or joined with every piece it overlaps or touches. Pieces stay
// apart and untouching, so those it touches follow each other in order.
void AddToRun(AddressRuns& runs, const AddressInterval& addresses, uint32_t shape) {
    auto& blocks = runs.pieces.blocks;
    const uint64_t low = addresses.low;
    const uint64_t high = addresses.high;
    // The first piece that ends no more than one address before `low`.
    const auto endsBefore = [low](const RunPiece& piece) { return uint64_t{piece.high} + 1 < low; };
    const size_t b = static_cast<size_t>(
        std::partition_point(blocks.begin(), blocks.end(),
                             [&](const std::vector<RunPiece>& block) { return endsBefore(block.back()); }) -
        blocks.begin());
    size_t i = 0;
    if (b < blocks.size()) {
        i = static_cast<size_t>(std::partition_point(blocks[b].begin(), blocks[b].end(), endsBefore) -
                                blocks[b].begin());
    }
    RunPiece merged{addresses.low, addresses.high, runs.runLength, shape};
    size_t touching = 0;
    for (size_t cb = b, ci = i; cb < blocks.size();) {
        if (ci == blocks[cb].size()) {
            ++cb;
            ci = 0;
            continue;
        }
        const RunPiece& piece = blocks[cb][ci++];
        if (piece.low > high + 1) break;
        if (piece.low <= low && piece.high >= high) {
            ++runs.dropped;
            return;
        }
        merged.low = std::min(merged.low, piece.low);
        merged.high = std::max(merged.high, piece.high);
        merged.first = std::min(merged.first, piece.first);
        merged.shape = SHAPE_GROWN;
        ++touching;
    }
    runs.joined += static_cast<uint32_t>(touching);
    bool emptied = false;
    for (size_t left = touching, eb = b, ei = i; left > 0; ++eb, ei = 0) {
        std::vector<RunPiece>& block = blocks[eb];
        const size_t here = std::min(left, block.size() - ei);
        block.erase(block.begin() + static_cast<std::ptrdiff_t>(ei),
                    block.begin() + static_cast<std::ptrdiff_t>(ei + here));
        emptied |= block.empty();
        left -= here;
    }
    if (blocks.empty()) blocks.emplace_back();
    const size_t into = std::min(b, blocks.size() - 1);
    std::vector<RunPiece>& block = blocks[into];
    block.insert(into == b ? block.begin() + static_cast<std::ptrdiff_t>(i) : block.end(), merged);
    if (block.size() > 2 * BLOCK_PIECES) {
        std::vector<RunPiece> upper(block.begin() + BLOCK_PIECES, block.end());
        block.resize(BLOCK_PIECES);
        blocks.insert(blocks.begin() + static_cast<std::ptrdiff_t>(into) + 1, std::move(upper));
    }
    if (emptied) {
        blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                    [](const std::vector<RunPiece>& each) { return each.empty(); }),
                     blocks.end());
    }
}

}  // namespace

void TakeIntoRuns(AddressRuns& runs, const _RULE& rule) {
    ++runs.taken;
    AddressInterval addresses{};
    uint32_t shape = SHAPE_EXACT;
    if (!IsNumericAddressRule(rule, &addresses) || !MadeAgain(rule, addresses, &shape)) {
        EndRuns(runs);
        runs.out->push_back(rule);
        return;
    }
    if (runs.inRun && !AlikeButAddresses(rule, runs.pattern)) EndRuns(runs);
    if (!runs.inRun) {
        runs.inRun = true;
        runs.pattern = rule;
        runs.runLength = 0;
    }
    AddToRun(runs, addresses, shape);
    ++runs.runLength;
}

void EndRuns(AddressRuns& runs) {
    if (!runs.inRun) return;
    runs.inRun = false;
    std::vector<RunPiece> pieces;
    for (const std::vector<RunPiece>& block : runs.pieces.blocks) {
        pieces.insert(pieces.end(), block.begin(), block.end());
    }
    runs.pieces.blocks = {};
    std::sort(pieces.begin(), pieces.end(), [](const RunPiece& a, const RunPiece& b) { return a.first < b.first; });
    for (const RunPiece& piece : pieces) {
        runs.out->push_back(RuleOfPiece(runs.pattern, piece));
    }
}
