// The reader of operators' rule lists on the texts that copying, joining and
// old editors make, and on the shapes of address operators write that are
// none of the accepted ones: nothing invisible becomes a rule, no address
// attempt becomes a nickname without a word, and each reason says what is
// wrong, with unprintable characters shown by code point.
#include "rules/rule.h"
#include "lists/rule_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

enum class Says { Nothing, BadLine, Warning };

struct ReadingCase {
    std::string text;
    Says says;
    size_t line;       // of the bad line or warning
    const char* what;  // part of its reason or warning
    size_t rules;
    size_t nicknames;  // of those rules, nickname rules
    size_t reports;    // bad lines and warnings in all
};

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes;
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

const std::vector<ReadingCase>& Cases() {
    static const std::vector<ReadingCase> cases = {
        // Invisible characters: removed where they only surround an entry,
        // refused inside one.
        {"1.2.3.4\n\xEF\xBB\xBF" "5.6.7.8\n", Says::Warning, 2, "removed U+FEFF (byte order mark) at the line's start", 2, 0, 1},
        {"\xEF\xBB\xBF# one file\n\xEF\xBB\xBF# another\n1.2.3.4\n", Says::Warning, 2, "U+FEFF (byte order mark)", 1, 0, 1},
        {"\xC2\xA0" "1.2.3.4\n", Says::Warning, 1, "removed U+00A0 (no-break space) at the line's start", 1, 0, 1},
        {"\xE2\x80\x8B" "1.2.3.4\n", Says::Warning, 1, "removed U+200B (zero width space)", 1, 0, 1},
        {"1.2.3.4\xE2\x80\xAF\tignore\n", Says::Warning, 1, "U+202F (narrow no-break space) around the entry", 1, 0, 1},
        {"Bob\xE2\x80\x8F\n", Says::Warning, 1, "U+200F (right-to-left mark) around the entry", 1, 1, 1},
        {"1.2.3\xC2\xA0.4\n", Says::BadLine, 1, "a no-break space inside an address (U+00A0", 0, 0, 1},
        {"1.2\xC2\xAD.3.4\n", Says::BadLine, 1, "an invisible character inside an address, U+00AD (soft hyphen)", 0, 0, 1},
        {"Bo\xE2\x81\xA0" "b\n", Says::BadLine, 1, "the nickname holds U+2060 (word joiner), which a text does not show", 0, 0, 1},
        {"Bo\xF3\xA0\x81\x81" "b\n", Says::BadLine, 1, "U+E0041", 0, 0, 1},
        {"name:Bo\xE2\x80\x8D" "b\n", Says::Warning, 1, "the nickname holds U+200D (zero width joiner)", 1, 1, 1},
        // Address attempts in other characters, and host names.
        {"\xEF\xBC\x91.2.3.4\n", Says::BadLine, 1, "full-width characters are not part of an address: write 1.2.3.4", 0, 0, 1},
        {"+1.2.3.4\n", Says::BadLine, 1, "a \"+\" sign is not part of an address: write 1.2.3.4", 0, 0, 1},
        {"example.com/24\n", Says::BadLine, 1, "a host name with a block length is not an address block", 0, 0, 1},
        {"localhost\n", Says::Warning, 1, "\"localhost\" looks like a host name; it is taken as a nickname", 1, 1, 1},
        {"Example.COM.\n", Says::Warning, 1, "looks like a host name", 1, 1, 1},
        {"evil.example.com\n", Says::Warning, 1, "looks like a host name", 1, 1, 1},
        {"host 1.2.3.4\n", Says::Warning, 1, "\"host 1.2.3.4\" holds the address 1.2.3.4", 1, 1, 1},
        {"name:localhost\n", Says::Nothing, 0, "", 1, 1, 0},
        // Shapes that are no accepted one.
        {"1.2.3.0/24:80\n", Says::BadLine, 1, "a port is not part of an address block or range: write 1.2.3.0/24 alone", 0, 0, 1},
        {"1.2.3.4:6667\n", Says::BadLine, 1, "a port is not part of an address: write 1.2.3.4 alone", 0, 0, 1},
        {"2001:db8::/32\n", Says::BadLine, 1, "IPv6 addresses are not supported", 0, 0, 1},
        {"1.2.3.0/24-1.2.4.0/24\n", Says::BadLine, 1, "a range of blocks is not one entry: write the range 1.2.3.0-1.2.4.255", 0, 0, 1},
        {"1.2.3.0/24 - 1.2.4.5\n", Says::BadLine, 1, "FIRST-LAST and a block ADDRESS/LENGTH, not both", 0, 0, 1},
        {"1.2.3.0/255.255.255.0\n", Says::BadLine, 1, "a netmask after \"/\" is written as the block's length: 1.2.3.0/24", 0, 0, 1},
        {"1.2.3.0/255.0.255.0\n", Says::BadLine, 1, "\"255.0.255.0\" is not a netmask", 0, 0, 1},
        // Encodings, line ends and unprintable characters.
        {Utf16(u"1.2.3.4\nBob\n", false), Says::BadLine, 1, "UTF-16 text without a byte order mark", 0, 0, 1},
        {Utf16(u"1.2.3.4\r\nBob\r\n", true), Says::BadLine, 1, "save it as UTF-8, or as UTF-16 with a byte order mark", 0, 0, 1},
        {Utf16(u"\uFEFF1.2.3.4\r\nГость\r\n", true), Says::Nothing, 0, "", 2, 1, 0},
        {"1.2.3.\0\n"s, Says::BadLine, 1, "a control character inside an address, U+0000 (NUL)", 0, 0, 1},
        {"Bo\0b\n"s, Says::BadLine, 1, "the nickname holds a control character, U+0000 (NUL)", 0, 0, 1},
        {"Bo\xC2\x85" "b\n", Says::BadLine, 1, "control character, U+0085", 0, 0, 1},
        {"1.2.3.\xFF\n", Says::BadLine, 1, "a byte that is not UTF-8 text inside an address, <0xFF>", 0, 0, 1},
        {"1.2.3.4\r5.6.7.8\r+9.9.9.9\rBob", Says::BadLine, 3, "sign", 3, 1, 1},
        {"1.2.3.4\r\n5.6.7.8\n\r\nBob\r", Says::Nothing, 0, "", 3, 1, 0},
    };
    return cases;
}

TEST(ListReading, EachTextGivesItsRulesAndSaysWhatIsWrong) {
    for (const ReadingCase& input : Cases()) {
        SCOPED_TRACE(input.text);
        const ImportResult read = ImportText(input.text);
        EXPECT_EQ(read.rules.size(), input.rules);
        size_t nicknames = 0;
        for (const _RULE& rule : read.rules) nicknames += rule.searchType == SEARCH_NAME;
        EXPECT_EQ(nicknames, input.nicknames);
        EXPECT_EQ(read.badLines.size() + read.warnings.size(), input.reports);

        const std::vector<BadLine>& said = input.says == Says::BadLine ? read.badLines : read.warnings;
        size_t found = 0;
        for (const BadLine& report : said) {
            found += report.number == input.line && report.reason.find(input.what) != std::string::npos;
        }
        if (input.says != Says::Nothing) {
            EXPECT_EQ(found, 1u);
        }

        // Nothing unprintable is printed raw.
        for (const std::vector<BadLine>* reports : {&read.badLines, &read.warnings}) {
            for (const BadLine& report : *reports) {
                for (char c : report.reason) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << report.reason;
            }
        }
    }
}

// A nickname kept with an invisible character is exported with it escaped,
// so that the table shows it, and comes back the same.
TEST(ListReading, InvisibleCharactersOfNicknamesAreExportedEscaped) {
    const ImportResult read = ImportText("name:Bo\xE2\x80\x8D" "b\nname:x\xF3\xA0\x81\x81\n");
    ASSERT_EQ(read.rules.size(), 2u);
    const std::string joiner = ExportLine(read.rules[0]);
    EXPECT_EQ(joiner.substr(0, joiner.find('\t')), "Bo\\u200Db");
    const std::string tag = ExportLine(read.rules[1]);
    EXPECT_EQ(tag.substr(0, tag.find('\t')), "x\\uDB40\\uDC41");

    const ImportResult back = ImportText(std::string(EXPORT_HEADER) + "\n" + joiner + "\n" + tag + "\n");
    ASSERT_EQ(back.rules.size(), 2u);
    EXPECT_EQ(std::memcmp(&back.rules[0], &read.rules[0], sizeof(_RULE)), 0);
    EXPECT_EQ(std::memcmp(&back.rules[1], &read.rules[1], sizeof(_RULE)), 0);
}

}  // namespace
