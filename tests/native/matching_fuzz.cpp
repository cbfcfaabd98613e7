// libFuzzer target: the fuzz bytes choose a rule list and a room, and the
// rule index must give what the plain walk gives, with a full candidate
// buffer and with one so small that visitors fall back to the walk; or, by
// the first byte, an optimizer's list chosen from the same bytes must treat
// every visitor as the original list does. The lists are kept short: the
// comparisons cost rules times visitors, and many small cases find more
// than a few long ones.
#include "tests/native/match_comparison.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ChoiceSource source{data + 1, size - 1, 0, nullptr};
    if (data[0] % 2 == 0) {
        const TestCase test = MakeTestCase(source, 48, 16);
        for (uint32_t capacity : {4096u, 2u}) {
            const std::string difference = CompareIndexWithWalk(test, capacity);
            if (!difference.empty()) {
                std::fprintf(stderr, "index and walk differ (capacity %u): %s\n", capacity,
                             difference.c_str());
                std::abort();
            }
        }
        return 0;
    }
    const TestCase addresses = MakeOptimizeCase(source, 16, 16);
    const std::string difference = CompareOptimizedWithOriginal(addresses);
    if (!difference.empty()) {
        std::fprintf(stderr, "optimized list differs: %s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
