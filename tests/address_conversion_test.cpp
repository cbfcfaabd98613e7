// The portable address conversion against the real thing: for many texts,
// ConvertAddress must give exactly what ntohl(inet_addr(text)) gives in this
// Windows (here Wine's wsock32), accepted or rejected alike.
#include "rules/ip_pattern.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Texts fit the rule's IP field with its terminator.
constexpr size_t LONGEST_TEXT = 31;

struct Mismatch {
    std::string text;
    uint32_t expected;
    uint32_t actual;
};

class AddressConversion : public ::testing::Test {
protected:
    void Check(const std::string& text) {
        if (text.size() > LONGEST_TEXT || text.find('\0') != std::string::npos) return;
        ++checked;
        const uint32_t expected = ntohl(inet_addr(text.c_str()));
        const uint32_t actual = ConvertAddress(text.data(), text.size());
        if (expected == actual) {
            if (expected != ADDRESS_NONE) ++accepted;
            return;
        }
        if (mismatches.size() < 20) mismatches.push_back({text, expected, actual});
        ++failed;
    }

    void TearDown() override {
        for (const Mismatch& m : mismatches) {
            std::string shown;
            for (unsigned char c : m.text) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, c < 32 || c > 126 ? "\\x%02X" : "%c", c);
                shown += escaped;
            }
            ADD_FAILURE() << "\"" << shown << "\": inet_addr 0x" << std::hex << m.expected
                          << ", ConvertAddress 0x" << m.actual;
        }
        EXPECT_EQ(failed, 0u) << "of " << checked << " texts";
    }

    uint32_t checked = 0;
    uint32_t accepted = 0;
    uint32_t failed = 0;
    std::vector<Mismatch> mismatches;
};

// Parts that sit on the edges of each notation and of each byte count.
const std::vector<std::string> PART_EDGES = {
    "", "0", "00", "000", "1", "7", "8", "9", "08", "09", "010", "077", "0377", "0400",
    "255", "256", "65535", "65536", "16777215", "16777216", "4294967295", "4294967296",
    "99999999999999999999", "0x", "0X", "0x0", "0xff", "0XFF", "0x100", "0xffff", "0x10000",
    "0xffffff", "0x1000000", "0xffffffff", "0x100000000", "0xg", "0x1g", "00x1", "1a", "a",
    "1e2", "-1", "+1", " 1", "1 ", "0xFfFf", "037777777777", "040000000000"};

const std::vector<std::string> TEXT_ENDS = {
    "", " ", "\t", "\n", "\r", "\v", "\f", " x", " 1.2", "x", ".", "..", "-", "*", ":80", "\xA0",
    "\x85", "\x1F", "/24"};

TEST_F(AddressConversion, PartsOnTheEdgesOfEveryNotationAndCount) {
    for (const std::string& part : PART_EDGES) {
        for (const std::string& end : TEXT_ENDS) {
            Check(part + end);
            Check("1." + part + end);
            Check("1.2." + part + end);
            Check("1.2.3." + part + end);
            Check(part + ".2.3.4" + end);
            Check("1." + part + ".3.4" + end);
            Check("1.2.3.4." + part + end);
        }
    }
    EXPECT_GT(accepted, 500u);  // the texts cover accepted addresses too
}

TEST_F(AddressConversion, EveryByteInEveryPlaceOfAnAddress) {
    const std::string base = "10.20.30.40";
    for (int byte = 1; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        Check(std::string(1, c));
        for (size_t at = 0; at <= base.size(); ++at) {
            std::string inserted = base;
            inserted.insert(at, 1, c);
            Check(inserted);
            if (at < base.size()) {
                std::string replaced = base;
                replaced[at] = c;
                Check(replaced);
            }
        }
    }
}

// Texts drawn from the characters an address parser looks at.
TEST_F(AddressConversion, RandomTexts) {
    std::mt19937 random(20261208);
    const std::string alphabet = "0123456789....xXaAfFgG  \t-+*:";
    for (int n = 0; n < 200000; ++n) {
        const size_t length = random() % (LONGEST_TEXT + 1);
        std::string text;
        for (size_t k = 0; k < length; ++k) {
            if (random() % 16 == 0) {
                text += static_cast<char>(1 + random() % 255);
            } else {
                text += alphabet[random() % alphabet.size()];
            }
        }
        Check(text);
    }
}

// Well-formed addresses in every notation mix, with random values.
TEST_F(AddressConversion, RandomAddressesInMixedNotations) {
    std::mt19937 random(8122026);
    auto numberText = [&](uint64_t value) {
        char text[32];
        switch (random() % 3) {
            case 0: std::snprintf(text, sizeof text, "%llu", (unsigned long long)value); break;
            case 1: std::snprintf(text, sizeof text, "0%llo", (unsigned long long)value); break;
            default:
                std::snprintf(text, sizeof text, random() % 2 ? "0x%llx" : "0X%llX",
                              (unsigned long long)value);
        }
        return std::string(text);
    };
    for (int n = 0; n < 100000; ++n) {
        const size_t parts = 1 + random() % 4;
        std::string text;
        for (size_t k = 0; k < parts; ++k) {
            // Mostly in range for their place, sometimes just over it.
            const uint64_t limit = k + 1 < parts ? 256 : (1ull << (8 * (5 - parts)));
            uint64_t value = random() % (limit + 2);
            if (random() % 8 == 0) value = (uint64_t(random()) << 32) | random();
            if (k > 0) text += '.';
            text += numberText(value);
        }
        Check(text);
    }
    EXPECT_GT(accepted, 50000u);
}

TEST(AddressConversionBounds, ReadsNoFurtherThanTheGivenLength) {
    // "1.2.3.4" followed by more digits that lie outside the given length.
    const char text[] = "1.2.3.45";
    EXPECT_EQ(ConvertAddress(text, 7), ntohl(inet_addr("1.2.3.4")));
    EXPECT_EQ(ConvertAddress(text, 0), ntohl(inet_addr("")));
}

}  // namespace
