// torvo-rules run as a program on crafted files: every verb, its exit
// status, what it prints and the rule files it writes, read back byte by
// byte. Random and cut-off files must never crash it.
#include "rules/ip_pattern.h"
#include "rules/rule.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ToolRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    int signal = 0;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

std::string RuleBytes(const std::vector<_RULE>& rules) {
    return std::string(reinterpret_cast<const char*>(rules.data()), rules.size() * RULE_SIZE);
}

std::vector<_RULE> RulesOf(const std::string& bytes) {
    std::vector<_RULE> rules(bytes.size() / RULE_SIZE);
    if (!rules.empty()) std::memcpy(rules.data(), bytes.data(), rules.size() * RULE_SIZE);
    return rules;
}

_RULE MakeRule(const std::u16string& name, int32_t searchType, const char* ipText = "",
               int32_t status = STATUS_IGNORE, uint32_t nickColor = 0x000000FF,
               uint32_t textColor = 0x00FF0000) {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    std::memcpy(rule.name, name.data(), std::min(name.size(), RULE_NAME_UNITS) * 2);
    std::memcpy(rule.ipText, ipText, strnlen(ipText, RULE_IP_TEXT_BYTES));
    ParseRuleIp(rule);
    rule.searchType = searchType;
    rule.status = status;
    rule.nickColor = nickColor;
    rule.textColor = textColor;
    return rule;
}

std::u16string NameOf(const _RULE& rule) {
    std::u16string name;
    for (size_t i = 0; i < RULE_NAME_UNITS && rule.name[i]; ++i) name.push_back(rule.name[i]);
    return name;
}

std::string IpTextOf(const _RULE& rule) {
    return std::string(rule.ipText, strnlen(rule.ipText, RULE_IP_TEXT_BYTES));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) lines.push_back(line);
    return lines;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Each test works in a folder of its own, removed afterwards.
class RulesTool : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/torvo-rules-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        const std::string command = "rm -rf '" + folder + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::string Path(const std::string& name) const { return folder + "/" + name; }

    // Runs the program with `arguments`, standard input from `input`.
    ToolRun Tool(const std::vector<std::string>& arguments, const std::string& input = "") {
        const std::string in = Path(".in"), out = Path(".out"), err = Path(".err");
        WriteFile(in, input);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> all = {TORVO_RULES_PROGRAM};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) argv.push_back(&argument[0]);
        argv.push_back(nullptr);
        ToolRun run;
        pid_t child = 0;
        if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return run;
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        return run;
    }

    // Imports `text` into `file`; the rules written, or none.
    std::vector<_RULE> Imported(const std::string& text, ToolRun* run, const std::string& file = "out.tdb",
                                std::vector<std::string> extra = {}) {
        WriteFile(Path("list.txt"), text);
        std::vector<std::string> arguments = {"import", Path("list.txt"), "-o", Path(file)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        *run = Tool(arguments);
        return RulesOf(ReadFile(Path(file)));
    }

    std::string folder;
};

// ---- import of plain lists ------------------------------------------------

TEST_F(RulesTool, ImportTakesEachKindOfEntry) {
    ToolRun run;
    const std::vector<_RULE> rules = Imported(
        "# spammers from the other room\n"
        "Спамер\n"
        "203.0.113.5\tignore\t#FF0000\t#808080\n"
        "10.0.*\tno-private\n"
        "\n"
        "172.16.0.1 - 172.16.0.9\tразрешено все\n"
        "198.51.100.0/24\n"
        "name:12345\tunchanged\t\t#00FF00\n"
        "ip:192.0.2.1\r\n",
        &run);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(rules.size(), 7u);

    EXPECT_EQ(NameOf(rules[0]), u"Спамер");
    EXPECT_EQ(rules[0].searchType, SEARCH_NAME);
    EXPECT_EQ(rules[0].status, STATUS_IGNORE);  // the default
    EXPECT_EQ(rules[0].nickColor, 0x00FF0000u);  // the editor's first colours
    EXPECT_EQ(rules[0].textColor, 0u);

    EXPECT_EQ(IpTextOf(rules[1]), "203.0.113.5");
    EXPECT_EQ(rules[1].searchType, SEARCH_IP);
    EXPECT_EQ(rules[1].ipLow, 0xCB007105u);
    EXPECT_EQ(rules[1].nickColor, 0x000000FFu);  // #RRGGBB is stored as 0x00BBGGRR
    EXPECT_EQ(rules[1].textColor, 0x00808080u);

    EXPECT_EQ(IpTextOf(rules[2]), "10.0.*");
    EXPECT_STREQ(rules[2].ipPrefix, "10.0.");
    EXPECT_EQ(rules[2].status, STATUS_NO_PRIVATE);

    EXPECT_EQ(IpTextOf(rules[3]), "172.16.0.1-172.16.0.9");  // blanks dropped, as the editor does
    EXPECT_EQ(rules[3].ipLow, 0xAC100001u);
    EXPECT_EQ(rules[3].ipHigh, 0xAC100009u);
    EXPECT_EQ(rules[3].status, STATUS_ALLOW_ALL);

    EXPECT_EQ(IpTextOf(rules[4]), "198.51.100.0-198.51.100.255");
    EXPECT_EQ(NameOf(rules[5]), u"12345");
    EXPECT_EQ(rules[5].searchType, SEARCH_NAME);
    EXPECT_EQ(rules[5].status, STATUS_UNCHANGED);
    EXPECT_EQ(rules[5].textColor, 0x0000FF00u);
    EXPECT_EQ(IpTextOf(rules[6]), "192.0.2.1");

    // Every IP rule's stored pattern is what the module derives from its text.
    for (const _RULE& rule : rules) {
        _RULE derived = rule;
        ParseRuleIp(derived);
        EXPECT_EQ(std::memcmp(&derived, &rule, RULE_SIZE), 0) << IpTextOf(rule);
    }
}

TEST_F(RulesTool, CidrBlocksBecomeTheEquivalentRangeText) {
    const struct {
        const char* block;
        const char* text;
        uint32_t low, high;
    } cases[] = {
        {"198.51.100.0/24", "198.51.100.0-198.51.100.255", 0xC6336400, 0xC63364FF},
        {"10.0.0.0/8", "10.0.0.0-10.255.255.255", 0x0A000000, 0x0AFFFFFF},
        {"192.0.2.7/32", "192.0.2.7-192.0.2.7", 0xC0000207, 0xC0000207},
        {"203.0.113.128/25", "203.0.113.128-203.0.113.255", 0xCB007180, 0xCB0071FF},
        {"0.0.0.0/0", "0.0.0.0-255.255.255.255", 0, 0xFFFFFFFF},
        {"128.0.0.0/1", "128.0.0.0-255.255.255.255", 0x80000000, 0xFFFFFFFF},
    };
    std::string list;
    for (const auto& c : cases) list += std::string(c.block) + "\n";
    ToolRun run;
    const std::vector<_RULE> rules = Imported(list, &run);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(rules.size(), std::size(cases));
    for (size_t i = 0; i < rules.size(); ++i) {
        SCOPED_TRACE(cases[i].block);
        EXPECT_EQ(IpTextOf(rules[i]), cases[i].text);
        EXPECT_EQ(rules[i].ipLow, cases[i].low);
        EXPECT_EQ(rules[i].ipHigh, cases[i].high);
        EXPECT_EQ(rules[i].ipPrefix[0], '\0');
    }
}

TEST_F(RulesTool, BadLinesAreReportedByNumberAndNothingIsWritten) {
    const std::string list =
        "good.example.nick\n"          // 1
        "198.51.100.7/24\n"            // 2 host bits set
        "10.0.0.1/33\n"                // 3
        "10.0.0.9-10.0.0.1\n"          // 4 inverted
        "10.0.0.010\n"                 // 5 octal to the module
        "10.1\n"                       // 6 shorthand
        "*\n"                          // 7
        "10.*.5\n"                     // 8 text after the star
        "0.0.0.0\n"                    // 9
        "203.0.113.5\tbanned\n"        // 10 unknown status
        "203.0.113.6\tignore\tred\n"   // 11 bad colour
        "a\tb\tc\td\te\n"              // 12 too many columns
        "\xC3\x28\n"                   // 13 not UTF-8
        "1234567890.1234567890.12345.*\n"  // 14 prefix too long
        "ЭтоОченьДлинныйНикКоторыйНеПомещаетсяВШестьдесятТриЕдиницыUTF16ТочноНет\n"  // 15
        "203.0.113.7\n";               // 16
    WriteFile(Path("out.tdb"), RuleBytes({MakeRule(u"keep me", SEARCH_NAME)}));
    const std::string before = ReadFile(Path("out.tdb"));
    ToolRun run;
    Imported(list, &run);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFile(Path("out.tdb")), before);  // nothing written

    const std::string prefix = Path("list.txt") + ":";
    for (int bad = 2; bad <= 15; ++bad) {
        EXPECT_EQ(Count(run.err, prefix + std::to_string(bad) + ": "), 1u) << "line " << bad << "\n" << run.err;
    }
    EXPECT_EQ(Count(run.err, prefix + "1: ") - Count(run.err, prefix + "1: warning: "), 0u);
    EXPECT_EQ(Count(run.err, prefix + "16: "), 0u);
    EXPECT_NE(run.err.find("198.51.100.0"), std::string::npos) << "names the block's start";

    // With --skip-bad the good lines are written, and the bad still reported.
    std::remove(Path("out.tdb").c_str());
    const std::vector<_RULE> rules = Imported(list, &run, "out.tdb", {"--skip-bad"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(NameOf(rules[0]), u"good.example.nick");
    EXPECT_EQ(IpTextOf(rules[1]), "203.0.113.7");
}

TEST_F(RulesTool, ImportReadsUtf16AndByteOrderMarksAndStandardInput) {
    const std::u16string text = u"\uFEFFГость\r\n10.0.0.1\r\n";
    std::string utf16;
    for (char16_t unit : text) {
        utf16.push_back(static_cast<char>(unit & 0xFF));
        utf16.push_back(static_cast<char>(unit >> 8));
    }
    ToolRun run;
    std::vector<_RULE> rules = Imported(utf16, &run);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(NameOf(rules[0]), u"Гость");
    EXPECT_EQ(IpTextOf(rules[1]), "10.0.0.1");

    rules = Imported("\xEF\xBB\xBFГость\n", &run);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(NameOf(rules[0]), u"Гость");

    run = Tool({"import", "-", "-o", Path("piped.tdb")}, "Гость\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(RulesOf(ReadFile(Path("piped.tdb"))).size(), 1u);
}

TEST_F(RulesTool, ImportThatCannotWriteLeavesTheTargetAlone) {
    WriteFile(Path("list.txt"), "Гость\n");
    ToolRun run = Tool({"import", Path("list.txt"), "-o", Path("no-such-folder/out.tdb")});
    EXPECT_EQ(run.status, 2);

    const std::string previous = RuleBytes({MakeRule(u"old", SEARCH_NAME)});
    WriteFile(Path("locked.tdb"), previous);
    ASSERT_EQ(chmod(Path("locked.tdb").c_str(), 0444), 0);
    run = Tool({"import", Path("list.txt"), "-o", Path("locked.tdb")});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(ReadFile(Path("locked.tdb")), previous);
    ASSERT_EQ(chmod(Path("locked.tdb").c_str(), 0644), 0);

    // A good write leaves no temporary file behind.
    run = Tool({"import", Path("list.txt"), "-o", Path("locked.tdb")});
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(Exists(Path("locked.tdb.saving")));
    EXPECT_EQ(RulesOf(ReadFile(Path("locked.tdb"))).size(), 1u);
}

// ---- export and import back -----------------------------------------------

// Records as files may hold them: what the editor writes, and what only a
// damaged or foreign file holds.
std::vector<_RULE> UnusualRules() {
    std::vector<_RULE> rules;
    rules.push_back(MakeRule(u"Модератор", SEARCH_NAME_OR_IP, "10.0.0.1-10.0.0.9", STATUS_UNCHANGED));
    rules.push_back(MakeRule(u"back\\slash\ttab\nline\rret", SEARCH_NAME));
    rules.push_back(MakeRule(u"pair \U0001F600 lone \xD800 x \xDC00", SEARCH_NAME_AND_IP, "10.0.*"));
    // 64 units: no terminator inside the field.
    rules.push_back(MakeRule(std::u16string(64, u'Ж'), SEARCH_NAME));
    // A shorter name written over a longer one, as the editor's Change does.
    _RULE changed = MakeRule(u"a much longer old nickname", SEARCH_NAME, "192.168.100.200");
    std::memcpy(changed.name, u"new", 8);
    std::memcpy(changed.ipText, "10.0.0.1\0", 9);
    ParseRuleIp(changed);
    rules.push_back(changed);
    // A range stored before ranges were derived: bounds 0 with a range text.
    _RULE oldRange = MakeRule(u"", SEARCH_IP, "10.0.0.1-10.0.0.9");
    oldRange.ipLow = oldRange.ipHigh = 0;
    rules.push_back(oldRange);
    // Bounds that no text gives, and a prefix that is not the text's.
    _RULE foreign = MakeRule(u"x", SEARCH_IP, "1.2.3.4");
    foreign.ipHigh = 0x0A0000FF;
    std::memcpy(foreign.ipPrefix, "0123456789ABCDEF", 16);
    rules.push_back(foreign);
    // An unterminated IP text with bytes the editor never admits.
    _RULE bytes = MakeRule(u"", 0x12345678, "", static_cast<int32_t>(0x80000001), 0xFF123456, 0x01000000);
    std::memcpy(bytes.ipText, "\x01\\\x7F\xFF" "0123456789012345678901234567", 32);
    ParseRuleIp(bytes);
    std::memset(bytes.reserved, 0x5A, sizeof bytes.reserved);
    rules.push_back(bytes);
    return rules;
}

TEST_F(RulesTool, ExportThenImportGivesBackTheSameFile) {
    const std::string original = RuleBytes(UnusualRules());
    WriteFile(Path("original.tdb"), original);
    ToolRun run = Tool({"export", Path("original.tdb"), "-o", Path("rules.txt")});
    ASSERT_EQ(run.status, 0) << run.err;
    run = Tool({"import", Path("rules.txt"), "-o", Path("back.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("back.tdb")), original);

    // The text is readable: one line a rule, eight columns, plain words.
    const std::vector<std::string> lines = Lines(ReadFile(Path("rules.txt")));
    ASSERT_EQ(lines.size(), UnusualRules().size() + 1);
    EXPECT_EQ(Count(lines[0], "\t"), 7u);
    EXPECT_EQ(lines[1].rfind("Модератор\tname-or-ip\t10.0.0.1-10.0.0.9\tunchanged\t#FF0000\t#0000FF\t\t", 0), 0u)
        << lines[1];
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(Count(lines[i], "\t"), 7u) << lines[i];
}

TEST_F(RulesTool, RandomRecordsSurviveExportAndImport) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 20; ++round) {
        std::string original(RULE_SIZE * (1 + round % 5), '\0');
        for (char& byte : original) byte = static_cast<char>(random());
        // Some records with short texts, so that tails behind terminators occur.
        if (round % 2) {
            original[2 * (round % 60)] = 0;
            original[2 * (round % 60) + 1] = 0;
            original[164 + round % 30] = 0;
        }
        WriteFile(Path("random.tdb"), original);
        ToolRun run = Tool({"export", Path("random.tdb"), "-o", Path("random.txt")});
        ASSERT_EQ(run.status, 0) << run.err;
        run = Tool({"import", Path("random.txt"), "-o", Path("back.tdb")});
        ASSERT_EQ(run.status, 0) << "round " << round << "\n" << run.err;
        ASSERT_EQ(ReadFile(Path("back.tdb")), original) << "round " << round;
    }
}

// ---- show ------------------------------------------------------------------

TEST_F(RulesTool, ShowPrintsOneRowPerRuleInWords) {
    WriteFile(Path("r.tdb"), RuleBytes({MakeRule(u"Гость", SEARCH_NAME_AND_IP, "192.168.1.20", STATUS_ALLOW_ALL,
                                                 0x00008000, 0x00004000),
                                        MakeRule(u"", SEARCH_IP, "10.0.*", STATUS_NO_PRIVATE),
                                        MakeRule(u"odd", 9, "", 1234)}));
    ToolRun run = Tool({"show", Path("r.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 5u) << run.out;  // header, rule, three rows
    EXPECT_NE(lines[2].find("Гость"), std::string::npos);
    EXPECT_NE(lines[2].find("Совпадение имени и IP"), std::string::npos);
    EXPECT_NE(lines[2].find("разрешено все"), std::string::npos);
    EXPECT_NE(lines[2].find("#008000"), std::string::npos);
    EXPECT_NE(lines[3].find("приват запрещен"), std::string::npos);
    EXPECT_NE(lines[4].find(" 9 "), std::string::npos);  // other values as numbers
    EXPECT_NE(lines[4].find("1234"), std::string::npos);
    // Columns line up: every row has its separators at the same characters.
    auto bars = [](const std::string& line) {
        std::vector<size_t> at;
        size_t characters = 0;
        for (unsigned char byte : line) {
            if ((byte & 0xC0) == 0x80) continue;
            if (byte == '|') at.push_back(characters);
            ++characters;
        }
        return at;
    };
    for (size_t i = 2; i < lines.size(); ++i) EXPECT_EQ(bars(lines[i]), bars(lines[0])) << lines[i];

    run = Tool({"show", Path("r.tdb"), "--lang", "en"});
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("name and IP"), std::string::npos);
    EXPECT_NE(run.out.find("private messages forbidden"), std::string::npos);
}

// ---- check -----------------------------------------------------------------

TEST_F(RulesTool, CheckReportsRulesThatCannotWorkAsMeant) {
    _RULE inverted = MakeRule(u"", SEARCH_IP, "10.0.0.9-10.0.0.1");
    _RULE storedInverted = MakeRule(u"", SEARCH_IP, "");
    storedInverted.ipLow = 0x0A000009;
    storedInverted.ipHigh = 0x0A000001;
    const std::vector<_RULE> rules = {
        MakeRule(u"Спамер", SEARCH_NAME),                           // 1 fine
        MakeRule(u"nobody", 0),                                     // 2 no test
        MakeRule(u"", SEARCH_NAME),                                 // 3 empty name
        MakeRule(u"", SEARCH_IP, ""),                               // 4 no pattern
        inverted,                                                   // 5 inverted text
        storedInverted,                                             // 6 inverted bounds
        MakeRule(u"Спамер", SEARCH_NAME),                           // 7 duplicate of 1
        MakeRule(u"Спамер", SEARCH_NAME, "", STATUS_ALLOW_ALL),      // 8 hidden by 1
        MakeRule(u"", SEARCH_IP, "300.1.1.1"),                      // 9 not an address
        MakeRule(u"Спамер", SEARCH_NAME_AND_IP, "10.0.0.1"),        // 10 fine: another test
        MakeRule(u"", SEARCH_IP, "10.0.0.1-10.0.0.9"),              // 11 fine
        MakeRule(u"", SEARCH_IP, "10.0.0.1-10.0.0.9", STATUS_UNCHANGED),  // 12 hidden by 11
    };
    std::string file = RuleBytes(rules);
    WriteFile(Path("r.tdb"), file);
    ToolRun run = Tool({"check", Path("r.tdb")});
    EXPECT_EQ(run.status, 1);
    auto reported = [&](int rule) {
        return Count(run.out, Path("r.tdb") + ": rule " + std::to_string(rule) + ": ");
    };
    for (int rule : {2, 3, 4, 5, 6, 7, 8, 9, 12}) EXPECT_EQ(reported(rule), 1u) << "rule " << rule << "\n" << run.out;
    for (int rule : {1, 10, 11}) EXPECT_EQ(reported(rule), 0u) << "rule " << rule << "\n" << run.out;
    EXPECT_NE(run.out.find("rule 7: exact duplicate of rule 1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 8: rule 1 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 12: rule 11 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("inverted"), std::string::npos);

    // A clean list reports nothing; a trailing part record is a finding.
    WriteFile(Path("clean.tdb"), RuleBytes({rules[0], rules[9], rules[10]}));
    run = Tool({"check", Path("clean.tdb")});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Lines(run.out).size(), 1u);
    WriteFile(Path("clean.tdb"), RuleBytes({rules[0]}) + std::string(100, 'x'));
    run = Tool({"check", Path("clean.tdb")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("100 bytes"), std::string::npos) << run.out;
}

// ---- merge -----------------------------------------------------------------

TEST_F(RulesTool, MergeAppendsTheSecondListsNewRulesInOrder) {
    const _RULE a1 = MakeRule(u"one", SEARCH_NAME), a2 = MakeRule(u"", SEARCH_IP, "10.0.*");
    const _RULE b1 = MakeRule(u"two", SEARCH_NAME), b3 = MakeRule(u"", SEARCH_IP, "10.0.0.1-10.0.0.9");
    _RULE a2Again = a2;
    std::memset(a2Again.reserved, 1, 10);  // bytes no reader uses: still the same rule
    const _RULE a1Changed = MakeRule(u"one", SEARCH_NAME, "", STATUS_ALLOW_ALL);  // differs: kept
    WriteFile(Path("a.tdb"), RuleBytes({a1, a2}));
    WriteFile(Path("b.tdb"), RuleBytes({b1, a2Again, a1Changed, b3, a1}) + "tail");
    const std::string aBefore = ReadFile(Path("a.tdb"));

    ToolRun run = Tool({"merge", Path("a.tdb"), Path("b.tdb"), "-o", Path("c.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("c.tdb")), RuleBytes({a1, a2, b1, a1Changed, b3}));
    EXPECT_EQ(ReadFile(Path("a.tdb")), aBefore);

    // Into one of its own inputs.
    run = Tool({"merge", Path("a.tdb"), Path("b.tdb"), "-o", Path("a.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("a.tdb")), RuleBytes({a1, a2, b1, a1Changed, b3}));

    run = Tool({"merge", Path("a.tdb"), Path("missing.tdb"), "-o", Path("d.tdb")});
    EXPECT_EQ(run.status, 2);
    EXPECT_FALSE(Exists(Path("d.tdb")));
}

// ---- usage, unreadable and damaged input -----------------------------------

TEST_F(RulesTool, BadUsageAndUnreadableInputExitWithTwo) {
    WriteFile(Path("r.tdb"), RuleBytes({MakeRule(u"x", SEARCH_NAME)}));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", Path("r.tdb")},
        {"show"},
        {"show", Path("r.tdb"), Path("r.tdb")},
        {"show", Path("r.tdb"), "--lang", "de"},
        {"show", Path("r.tdb"), "-o", Path("x")},
        {"import", Path("r.tdb")},
        {"merge", Path("r.tdb"), "-o", Path("x")},
        {"check", Path("r.tdb"), "--bogus"},
        {"show", Path("missing.tdb")},
        {"export", Path("missing.tdb")},
        {"check", folder},
        {"import", Path("missing.txt"), "-o", Path("x.tdb")},
    };
    for (const auto& arguments : cases) {
        std::string shown;
        for (const auto& argument : arguments) shown += argument + " ";
        const ToolRun run = Tool(arguments);
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_FALSE(run.err.empty()) << shown;
    }
    EXPECT_FALSE(Exists(Path("x.tdb")));
    EXPECT_EQ(Tool({"--help"}).status, 0);
}

TEST_F(RulesTool, RandomAndCutOffFilesNeverCrashAnyVerb) {
    std::mt19937 random(460);
    std::string whole = RuleBytes(UnusualRules());
    for (int round = 0; round < 24; ++round) {
        std::string bytes;
        if (round % 2) {
            bytes = whole.substr(0, random() % (whole.size() + 1));  // cut anywhere
        } else {
            bytes.resize(random() % (4 * RULE_SIZE));
            for (char& byte : bytes) byte = static_cast<char>(random());
        }
        WriteFile(Path("r.tdb"), bytes);
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << bytes.size() << " bytes");
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"show", Path("r.tdb")},
              {"show", Path("r.tdb"), "--lang", "en"},
              {"export", Path("r.tdb")},
              {"check", Path("r.tdb")},
              {"merge", Path("r.tdb"), Path("r.tdb"), "-o", Path("m.tdb")},
              {"import", Path("r.tdb"), "-o", Path("i.tdb")}}) {
            const ToolRun run = Tool(arguments);
            EXPECT_EQ(run.signal, 0) << arguments[0] << " crashed";
            EXPECT_TRUE(run.status == 0 || run.status == 1) << arguments[0] << ": " << run.status;
        }
    }
}

}  // namespace
