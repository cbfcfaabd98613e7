// The reader of operators' rule lists on the texts that copying, joining and
// old editors make, and on the shapes of address operators write that are
// none of the accepted ones: nothing invisible becomes a rule, no address
// attempt becomes a nickname without a word, and each reason says what is
// wrong, with unprintable characters shown by code point.
#include "rules/rule.h"
#include "lists/reason_language.h"
#include "lists/plain_list.h"
#include "lists/rule_text.h"
#include "lists/text_import.h"
#include "lists/text_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <utility>
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

std::vector<std::string> LinesOf(std::string text) {
    std::vector<LineSpan> spans;
    std::string reason;
    TextLines(&text, &spans, &reason);
    std::vector<std::string> lines;
    for (const LineSpan& span : spans) lines.push_back(text.substr(span.start, span.length));
    return lines;
}

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
        {"1.2.3.4\r\n\r\n+5.6.7.8\r\n", Says::BadLine, 3, "sign", 1, 0, 1},
        // Address lines as long lists write them, and the nearly so.
        {"1.2.3.4\n1.2.3.0/24\n1.2.3.4-1.2.3.9\n255.255.255.255\n0.0.0.0/2\n1.2.3.5\tallow-all\n1.2.3.6\tIgnore\n"
         "1.2.3.7\tignore \n", Says::Nothing, 0, "", 8, 0, 0},
        {"1.2.3.4\n01.2.3.4\n", Says::BadLine, 2, "without leading zeros", 1, 0, 1},
        {"1.2.3.0/24\n1.2.3.0/33\n", Says::BadLine, 2, "must be 0 to 32", 1, 0, 1},
        {"1.2.3.0/24\n1.2.3.5/24\n", Says::BadLine, 2, "the block starts at 1.2.3.0", 1, 0, 1},
        {"1.2.3.0/24\n1.2.3.5-1.2.3.4\n", Says::BadLine, 2, "first address is above its last", 1, 0, 1},
        {"1.2.3.0/24\n0.0.0.0\n", Says::BadLine, 2, "matches no visitor", 1, 0, 1},
        {"1.2.3.0/24\n0.0.0.0/0\n", Says::Warning, 2, "picks every visitor", 2, 0, 1},
        {"1.2.3.0/24\n128.0.0.0/1\n", Says::Warning, 2, "half of all addresses", 2, 0, 1},
        {"1.2.3.0/24\n1.2.3.256\n1.2.3.4 \n", Says::BadLine, 2, "0 to 255", 2, 0, 1},
        {std::string(EXPORT_HEADER) + "\n\tip\t1.2.3.0-1.2.3.255\tignore\t#0000FF\t#000000\t\t\t\t\t\n"
             "\tip\t1.2.3.4\tallow-all\t#00ff00\t#000000\n\tip\t1.2.3.4\t768\t#00FF00\t#000000\t\t\t\t\tnote\n"
             "\tip\t01.2.3.4\tignore\t#0000FF\t#000000\n",
         Says::BadLine, 5, "without leading zeros", 3, 0, 1},
    };
    return cases;
}

// Beyond Cases(), a line for each other reason and warning the reader gives:
// a plain list, and an edited exported table.
const std::vector<std::string>& OtherReasons() {
    static const std::string tail = "\tignore\t#FF0000\t#000000\t";
    static const std::string stored = "low=0x01020304 high=0x01020304 prefix=" + std::string(32, '0');
    static const std::vector<std::string> texts = {
        "ip:\n5.6.7.8 ignore\n*.ru\nip:evil.example.com\n1.2.3.x\n1.2.3/24\n10.0.0.1/33\n198.51.100.7/24\n"
        "0.0.0.0/32\n10.*.5\n*\n1234567890.1234567890.12345.*\n1-2*\n300.*\n1*\n1.2.3.1*\n1.2.3.4-1.2.3\n"
        "10.0.0.9-10.0.0.1\n0.0.0.0-0.0.0.0\n10.1\n0.0.0.0\n0.0.0.0/0\n0.0.0.0/1\n16777216,16777471,AU\n"
        "abc:xyz\nab:cd\n\xEF\xBC\x91.2.3\n+1.2.3\na\tb\tc\td\te\n\xC3\x28\nname:\n203.0.113.5\tbanned\n"
        "203.0.113.6\tignore\tred\n1.2.3.4\t\xC2\xA0" "ignore\n1.2.3\xE2\x80\x83.4\n1.2.3.4\xC2\xA0\n"
        "ЭтоОченьДлинныйНикКоторыйНеПомещаетсяВШестьдесятТриЕдиницыUTF16ТочноНет\n",
        std::string(EXPORT_HEADER) + "\nBo\\qb\tname\t" + tail + "\n\xC3\x28\tname\t" + tail +
            "\nBo\\u0000b\tname\t" + tail + "\n\tip\t1.2.3.\x01" + tail + "\n\tip\t1.2.3.4\\q" + tail +
            "\n\tip\t1.2.3.4\\x00" + tail + stored + "\n\tip\t" + std::string(40, '1') + tail + stored +
            "\n\tip\t10.1" + tail + "\na\tb\tc\nx\tbogus\t" + tail + "\nx\tname\t\tbogus\t#FF0000\t#000000\t\t" +
            "\nx\tname\t\tignore\tred\t#000000\t\t\nx\tname\t" + tail + "low=zz\nx\tname\t" + tail +
            "low=0x00000000\nx\tname\t" + tail + "\tname-tail=00\nx\tname\t" + tail + "\tbogus\nx\tname\t" +
            tail + "\tother=00\n" +
            // The memo's columns: a time, an escape, a note too long, the block given twice.
            "x\tname\t" + tail + "\t\tyesterday\nx\tname\t" + tail + "\t\t\t\tbad\\q\nx\tname\t" + tail +
            "\t\t\t\t" + std::string(81, 'n') + "\nx\tname\t" + tail + "\treserved=" + std::string(520, '1') +
            "\t2027-01-01T00:00:00Z\n",
    };
    return texts;
}

// The reasons in Russian for one test, and English again however it ends.
struct InRussian {
    InRussian() { g_reasonLanguage = ReasonLanguage::Russian; }
    ~InRussian() { g_reasonLanguage = ReasonLanguage::English; }
};

bool HoldsCyrillic(const std::string& text) {
    // U+0400 to U+04FF: lead bytes 0xD0 to 0xD3.
    for (size_t at = 0; at + 1 < text.size(); ++at) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead >= 0xD0 && lead <= 0xD3 && (static_cast<unsigned char>(text[at + 1]) & 0xC0) == 0x80) return true;
    }
    return false;
}

// Two English words of three letters or more in a row, once the quoted
// texts of the entry and the code points' standard names ("U+00A0
// (no-break space)") are cut out: a piece left untranslated.
bool HoldsEnglishWords(const std::string& text) {
    std::string rest;
    for (size_t at = 0; at < text.size();) {
        size_t end = at;
        if (text[at] == '"') {
            end = text.find('"', at + 1);
        } else if (text.compare(at, 2, "U+") == 0) {
            const size_t name = text.find_first_not_of("0123456789ABCDEF", at + 2);
            if (name != std::string::npos && text.compare(name, 2, " (") == 0) end = text.find(')', name);
        }
        if (end == at || end == std::string::npos) {
            rest.push_back(text[at++]);
        } else {
            at = end + 1;
        }
    }
    size_t words = 0;  // of three letters or more, in a row
    for (size_t at = 0; at < rest.size();) {
        size_t end = at;
        while (end < rest.size() && std::isalpha(static_cast<unsigned char>(rest[end]))) ++end;
        words = end - at >= 3 ? words + 1 : 0;
        if (words == 2) return true;
        if (end == rest.size() || rest[end] != ' ') words = 0;
        at = end + 1;
    }
    return false;
}

// The text as a long file is read, `pieceBytes` at a time.
ImportResult ImportInPieces(const std::string& text, size_t pieceBytes) {
    ImportResult result;
    PieceImport import;
    import.lines.take = AppendRule;
    import.lines.context = &result.rules;
    for (size_t at = 0; at < text.size(); at += pieceBytes) {
        ImportPiece(import, text.data() + at, std::min(pieceBytes, text.size() - at));
    }
    EndPieces(import);
    result.badLines = import.lines.badLines;
    result.warnings = import.lines.warnings;
    return result;
}

std::string Reports(const ImportResult& read) {
    std::string all;
    for (const auto* reports : {&read.badLines, &read.warnings}) {
        for (const BadLine& report : *reports) all += std::to_string(report.number) + ": " + report.reason + "\n";
    }
    return all;
}

TEST(ListReading, EachTextGivesItsRulesAndSaysWhatIsWrong) {
    for (const ReadingCase& input : Cases()) {
        SCOPED_TRACE(input.text);
        const ImportResult read = ImportText(input.text);
        // Read a piece at a time, as a long file is, it reads the same,
        // whichever line ends and byte order marks the pieces cut; also
        // after the first bytes that tell the encoding, where lines are
        // read as the pieces come.
        const std::string padded = std::string(ENCODING_SAMPLE_BYTES, '\n') + input.text;
        for (const std::string* text : {&input.text, &padded}) {
            const ImportResult whole = text == &padded ? ImportText(padded) : read;
            for (size_t pieceBytes : {1, 2, 5, 4096}) {
                const ImportResult pieces = ImportInPieces(*text, pieceBytes);
                EXPECT_EQ(Reports(pieces), Reports(whole)) << pieceBytes << " bytes at a time";
                ASSERT_EQ(pieces.rules.size(), whole.rules.size()) << pieceBytes << " bytes at a time";
                if (whole.rules.empty()) continue;
                EXPECT_EQ(std::memcmp(pieces.rules.data(), whole.rules.data(), whole.rules.size() * sizeof(_RULE)),
                          0);
            }
        }
        // A line a quick address reader takes is the full reader's rule.
        for (const std::string& text : LinesOf(input.text)) {
            _RULE quick, full;
            std::string reason, warning;
            if (ParseAddressTableLine(text.data(), text.size(), &quick)) {
                ASSERT_TRUE(ParseTableLine(text, &full, &reason, &warning)) << text;
            } else if (ParseAddressLine(text.data(), text.size(), PLAIN_DEFAULTS, &quick)) {
                ASSERT_TRUE(ParsePlainLine(text, PLAIN_DEFAULTS, &full, &reason, &warning)) << text;
            } else {
                continue;
            }
            EXPECT_EQ(warning, "") << text;
            EXPECT_EQ(std::memcmp(&quick, &full, sizeof quick), 0) << text;
        }
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

TEST(ListReading, EveryReasonAndWarningHasItsRussianText) {
    ASSERT_EQ(g_reasonLanguage, ReasonLanguage::English);
    EXPECT_TRUE(HoldsEnglishWords(ImportText("1.2.3.4:6667\n").badLines.at(0).reason));  // the check sees English
    std::vector<std::string> texts = OtherReasons();
    for (const ReadingCase& input : Cases()) texts.push_back(input.text);
    size_t checked = 0;
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const ImportResult english = ImportText(text);
        ImportResult russian;
        {
            InRussian inRussian;
            russian = ImportText(text);
        }
        EXPECT_EQ(russian.rules.size(), english.rules.size());
        for (const auto& [inEnglish, inRussian] : {std::pair(&english.badLines, &russian.badLines),
                                                   std::pair(&english.warnings, &russian.warnings)}) {
            ASSERT_EQ(inRussian->size(), inEnglish->size());
            for (size_t i = 0; i < inRussian->size(); ++i) {
                const std::string& said = (*inRussian)[i].reason;
                EXPECT_EQ((*inRussian)[i].number, (*inEnglish)[i].number);
                EXPECT_NE(said, (*inEnglish)[i].reason);
                EXPECT_TRUE(HoldsCyrillic(said)) << said;
                EXPECT_FALSE(HoldsEnglishWords(said)) << said;
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 90u);  // every line of OtherReasons() and every report of Cases()

    InRussian inRussian;
    EXPECT_EQ(ImportText("1.2.3.4:6667\n").badLines.at(0).reason,
              "порт не входит в адрес: напишите 1.2.3.4 без порта");
    EXPECT_EQ(ImportText("1.2.3.0/255.255.255.0\n").badLines.at(0).reason,
              "маска после \"/\" пишется как длина блока: 1.2.3.0/24");
    EXPECT_EQ(ImportText("1*\n").warnings.at(0).reason,
              "префикс \"1*\" сравнивается как текст: часть 1 адреса может быть 1, 10-19, 100-199 "
              "(ровно эту часть задаёт \"1.*\")");
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
