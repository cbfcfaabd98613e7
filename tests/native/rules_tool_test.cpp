// torvo-rules run as a program on crafted files: every verb, its exit
// status, what it prints and the rule files it writes, read back byte by
// byte. Random and cut-off files must never crash it.
#include "rules/ip_pattern.h"
#include "rules/rule.h"
#include "rules/file_access.h"
#include "rules/rule_file.h"
#include "rules/rule_memo.h"

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

// The rule with a memo, as the module writes it.
_RULE WithMemo(_RULE rule, int64_t added, int64_t expires, const std::u16string& note) {
    RuleMemo memo{};
    memo.added = added;
    memo.expires = expires;
    memo.noteLength = static_cast<uint16_t>(std::min(note.size(), MEMO_NOTE_UNITS));
    std::memcpy(memo.note, note.data(), memo.noteLength * sizeof(char16_t));
    EXPECT_TRUE(WriteRuleMemo(rule, memo));
    return rule;
}

RuleMemo MemoOf(const _RULE& rule) {
    RuleMemo memo{};
    EXPECT_TRUE(ReadRuleMemo(rule, &memo));
    return memo;
}

std::u16string NoteOf(const RuleMemo& memo) { return std::u16string(memo.note, memo.noteLength); }

// UTF-16 as UTF-8, for the command line.
std::string EncodeForTest(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Repeated(const std::u16string& text, size_t times) {
    std::u16string out;
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

// The block's CRC-32 (as in zip), for a valid block that WriteRuleMemo
// would not write: bytes no field holds.
void SealBlock(_RULE& rule) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < MEMO_CHECKED_BYTES; ++i) {
        crc ^= rule.reserved[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    crc = ~crc;
    for (size_t i = 0; i < 4; ++i) rule.reserved[MEMO_CHECKED_BYTES + i] = static_cast<uint8_t>(crc >> (8 * i));
}

// Times of the tests that set TORVO_NOW.
constexpr int64_t NEW_YEAR_2027 = 1798761600;  // 2027-01-01T00:00:00Z
constexpr int64_t DAY = 86400;

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
        std::vector<std::string> environment;
        for (char** variable = environ; *variable; ++variable) {
            if (std::strncmp(*variable, "TORVO_NOW=", 10) != 0) environment.push_back(*variable);
        }
        if (!now.empty()) environment.push_back("TORVO_NOW=" + now);
        std::vector<char*> envp;
        for (std::string& variable : environment) envp.push_back(&variable[0]);
        envp.push_back(nullptr);
        ToolRun run;
        pid_t child = 0;
        if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
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
    std::string now;  // TORVO_NOW of the runs; empty: the clock
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

// Operators' real lists: range files, blocklists with notes, netsets with
// comments, typing slips. Each address attempt is an address or a bad line
// with its reason, never a nickname; nothing is written while a line is bad.
TEST_F(RulesTool, AddressAttemptsAreAddressesOrBadLinesWithTheirReason) {
    const struct {
        const char* line;
        const char* reason;  // part of the message; nullptr: a good line
    } plain[] = {
        {"16777216,16777471,AU", "a comma is not part of an address"},
        {"1.2.3.0/24 ; SBL123", nullptr},
        {"1.2.3.4 # note", nullptr},
        {"  # an indented comment", nullptr},
        {"; a comment", nullptr},
        {"2001:db8::/32", "IPv6 addresses are not supported"},
        {"1.2.3.4:6667", "a port is not part of an address"},
        {"5.6.7.8 ignore", "spaces inside an address"},
        {"10.0.0.1 5", "spaces inside an address"},
        {"1.2.3\xC2\xA0.4", "a no-break space inside an address"},
        {"*.ru", "a pattern cannot start with \"*\""},
        {"ip:evil.example.com", "a host name is not an address"},
        {"300.*", "no address starts with \"300.\""},
        {"010.*", "no address starts with"},
        {"12345", "not an address"},
        {"203.0.113.9\t12345", "unknown status \"12345\""},
        {"name:1.2.3.4 #1", nullptr},
        {"Bob\tignore\t#FF0000 ; red", nullptr},
    };
    std::string list;
    for (const auto& entry : plain) list += std::string(entry.line) + "\n";
    WriteFile(Path("out.tdb"), RuleBytes({MakeRule(u"keep me", SEARCH_NAME)}));
    const std::string before = ReadFile(Path("out.tdb"));
    ToolRun run;
    Imported(list, &run);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFile(Path("out.tdb")), before) << "nothing is written while a line is bad";
    for (size_t i = 0; i < std::size(plain); ++i) {
        const std::string at = Path("list.txt") + ":" + std::to_string(i + 1) + ": ";
        if (plain[i].reason) {
            EXPECT_EQ(Count(run.err, at + plain[i].reason), 1u) << plain[i].line << "\n" << run.err;
        } else {
            EXPECT_EQ(Count(run.err, at), 0u) << plain[i].line << "\n" << run.err;
        }
    }

    // The good lines, their comments cut off.
    const std::vector<_RULE> rules = Imported(list, &run, "out.tdb", {"--skip-bad"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(rules.size(), 4u) << run.err;
    EXPECT_EQ(IpTextOf(rules[0]), "1.2.3.0-1.2.3.255");
    EXPECT_EQ(IpTextOf(rules[1]), "1.2.3.4");
    EXPECT_EQ(NameOf(rules[2]), u"1.2.3.4 #1");
    EXPECT_EQ(NameOf(rules[3]), u"Bob");
    EXPECT_EQ(rules[3].nickColor, 0x000000FFu);

    // Allowed, but said: every address, and a prefix compared as text.
    Imported("0.0.0.0/0\n1*\n10.0.*\nevil.example.com\n", &run);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Count(run.err, "list.txt:1: warning: \"0.0.0.0/0\" picks every visitor"), 1u) << run.err;
    EXPECT_EQ(Count(run.err, "list.txt:2: warning: the prefix \"1*\" is compared as text: its part 1 may be 1, 10-19, 100-199"), 1u) << run.err;
    EXPECT_EQ(Count(run.err, "list.txt:3: "), 0u) << run.err;
    EXPECT_EQ(Count(run.err, "list.txt:4: warning: \"evil.example.com\" looks like a host name"), 1u) << run.err;

    // An edited exported table gets the same checks in its ip column; a line
    // with its stored pattern is taken as it is.
    const std::string header = "nickname\tsearch\tip\tstatus\tnick colour\ttext colour\tstored pattern\thidden bytes\n";
    Imported(header +
                 "\tip\t010.0.0.1\tignore\t#FF0000\t#000000\t\t\n"          // 2 octal to the module
                 "\tip\t10.1\tignore\t#FF0000\t#000000\t\t\n"               // 3 shorthand
                 "\tip\t1.2.3.4 # note\tignore\t#FF0000\t#000000\t\t\n"     // 4
                 "\tip\t198.51.100.0/24\tignore\t#FF0000\t#000000\t\t\n"    // 5 a block: its range
                 "\tip\t10.*.5\tignore\t#FF0000\t#000000\tlow=0x00000000 high=0x00000000 "
                 "prefix=31302E00000000000000000000000000\t\n",             // 6 as stored
             &run);
    EXPECT_EQ(run.status, 1);
    for (int bad : {2, 3, 4}) {
        EXPECT_EQ(Count(run.err, Path("list.txt") + ":" + std::to_string(bad) + ": ip column: "), 1u)
            << "line " << bad << "\n" << run.err;
    }
    const std::vector<_RULE> table = Imported(header + "\tip\t198.51.100.0/24\tignore\t#FF0000\t#000000\t\t\n"
                                                       "\tip\t10.*.5\tignore\t#FF0000\t#000000\tlow=0x00000000 "
                                                       "high=0x00000000 prefix=31302E00000000000000000000000000\t\n",
                                              &run);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].ipLow, 0xC6336400u);
    EXPECT_EQ(table[0].ipHigh, 0xC63364FFu);
    EXPECT_EQ(IpTextOf(table[1]), "10.*.5");
    EXPECT_STREQ(table[1].ipPrefix, "10.");

    // The editor admits texts that the checks refuse: export keeps them with
    // their stored pattern, so that they come back as they were.
    const std::string typed = RuleBytes({MakeRule(u"", SEARCH_IP, "010.0.0.1"), MakeRule(u"", SEARCH_IP, "10.*.5"),
                                         MakeRule(u"", SEARCH_IP, "10.0.0.1")});
    WriteFile(Path("typed.tdb"), typed);
    ASSERT_EQ(Tool({"export", Path("typed.tdb"), "-o", Path("typed.txt")}).status, 0);
    const std::vector<std::string> lines = Lines(ReadFile(Path("typed.txt")));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[1].find("low="), std::string::npos) << lines[1];
    EXPECT_EQ(lines[3].find("low="), std::string::npos) << lines[3];
    ASSERT_EQ(Tool({"import", Path("typed.txt"), "-o", Path("back.tdb")}).status, 0);
    EXPECT_EQ(ReadFile(Path("back.tdb")), typed);
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

// No output is ever written over an input, an empty list never replaces one
// that holds rules by accident, and a replaced file stays what it was: a
// link stays a link, its permissions stay. Failures say the system's reason.
TEST_F(RulesTool, OutputsNeverDestroyInputsOrListsAndSayWhyTheyFail) {
    const std::string rules = RuleBytes({MakeRule(u"one", SEARCH_NAME), MakeRule(u"", SEARCH_IP, "10.0.*")});
    WriteFile(Path("r.tdb"), rules);
    WriteFile(Path("list.txt"), "Гость\n");
    ASSERT_EQ(symlink("r.tdb", Path("r-link.tdb").c_str()), 0);
    ASSERT_EQ(symlink("list.txt", Path("list-link.txt").c_str()), 0);
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"export", Path("r.tdb"), "-o", Path("r.tdb")},
             {"export", Path("r.tdb"), "-o", Path("r-link.tdb")},
             {"import", Path("list.txt"), "-o", Path("list.txt")},
             {"import", Path("list-link.txt"), "-o", Path("list.txt")},
             {"optimize", Path("r-link.tdb"), "-o", Path("r.tdb")}}) {
        const ToolRun run = Tool(arguments);
        EXPECT_EQ(run.status, 2) << arguments[0] << " " << arguments[3];
        EXPECT_NE(run.err.find("is the input"), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadFile(Path("r.tdb")), rules);
    EXPECT_EQ(ReadFile(Path("list.txt")), "Гость\n");

    // An empty text, or one with every line bad, leaves a list with rules alone.
    ToolRun run = Tool({"import", "-", "-o", Path("r-link.tdb")}, "");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--allow-empty"), std::string::npos) << run.err;
    run = Tool({"import", "-", "-o", Path("r.tdb"), "--skip-bad"}, "10.0.0.1 5\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(ReadFile(Path("r.tdb")), rules);
    run = Tool({"import", "-", "-o", Path("empty.tdb")}, "# nothing yet\n");
    EXPECT_EQ(run.status, 0) << run.err;  // no list there to lose
    EXPECT_TRUE(Exists(Path("empty.tdb")));

    // Written through the link, in one step, with the file's permissions.
    ASSERT_EQ(chmod(Path("r.tdb").c_str(), 0640), 0);
    run = Tool({"import", Path("list.txt"), "-o", Path("r-link.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat status;
    ASSERT_EQ(lstat(Path("r-link.tdb").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(stat(Path("r.tdb").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_EQ(RulesOf(ReadFile(Path("r.tdb"))).size(), 1u);
    run = Tool({"import", "-", "-o", Path("r-link.tdb"), "--allow-empty"}, "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("r.tdb")), "");

    WriteFile(Path("r.tdb"), rules);
    WriteFile(Path("old.txt"), "old text");
    ASSERT_EQ(chmod(Path("old.txt").c_str(), 0600), 0);
    ASSERT_EQ(symlink("old.txt", Path("text-link.txt").c_str()), 0);
    run = Tool({"export", Path("r.tdb"), "-o", Path("text-link.txt")});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(lstat(Path("text-link.txt").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(stat(Path("old.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(Lines(ReadFile(Path("old.txt"))).size(), 3u);
    EXPECT_FALSE(Exists(Path("old.txt.saving")));

    // The longest path the module takes for a rule file (in folders deep
    // enough for it, each name short enough for the names kept beside it)
    // is written; one byte more is refused before anything is made.
    std::string deep = folder;
    while (deep.size() + 1 + 100 + 1 + 100 < RULE_FILE_PATH_MOST) {
        deep += "/" + std::string(100, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    const std::string longest = deep + "/" + std::string(RULE_FILE_PATH_MOST - deep.size() - 1, 'x');
    run = Tool({"import", Path("list.txt"), "-o", longest});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(RulesOf(ReadFile(longest)).size(), 1u);

    // The system's reason, and the path's length when it is the reason.
    mkdir(Path("folder").c_str(), 0755);
    const struct {
        std::vector<std::string> arguments;
        const char* reason;
    } failures[] = {
        {{"show", Path("missing.tdb")}, "no such file"},
        {{"check", Path("folder")}, "it is a folder"},
        {{"import", Path("missing.txt"), "-o", Path("x.tdb")}, "no such file"},
        {{"import", Path("list.txt"), "-o", Path("no-folder/x.tdb")}, "no such folder"},
        {{"import", Path("list.txt"), "-o", Path("folder")}, "it is a folder"},
        {{"export", Path("r.tdb"), "-o", Path("no-folder/x.txt")}, "no such folder"},
        {{"import", Path("list.txt"), "-o", longest + "x"}, "its path is too long"},
    };
    for (const auto& failure : failures) {
        run = Tool(failure.arguments);
        EXPECT_EQ(run.status, 2) << failure.arguments[0];
        EXPECT_NE(run.err.find(failure.reason), std::string::npos) << run.err;
    }

    // merge, made to read a file with a part record at its end, says that
    // the part is not carried over.
    WriteFile(Path("b.tdb"), RuleBytes({MakeRule(u"two", SEARCH_NAME)}) + "tail");
    run = Tool({"merge", Path("r.tdb"), Path("b.tdb"), "-o", Path("m.tdb"), "--force"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(Path("b.tdb") + ": the last 4 bytes are not a whole rule and are not carried over"),
              std::string::npos) << run.err;
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
    // Memos: one its columns carry; a valid block with a byte no field
    // holds; one with nothing in it; times outside the years 1 to 9999 and
    // a note of escapes, a lone surrogate and a zero unit.
    rules.push_back(WithMemo(MakeRule(u"temp", SEARCH_NAME), NEW_YEAR_2027, NEW_YEAR_2027 + 7 * DAY, u"жалоба №12"));
    _RULE stray = WithMemo(MakeRule(u"", SEARCH_IP, "10.0.0.1"), 1, 2, u"x");
    stray.reserved[200] = 7;
    SealBlock(stray);
    rules.push_back(stray);
    rules.push_back(WithMemo(MakeRule(u"empty", SEARCH_NAME), 0, 0, u""));
    rules.push_back(WithMemo(MakeRule(u"far", SEARCH_NAME), INT64_MIN, INT64_MAX,
                             std::u16string(u"tab\there \\ \xD800 \0 end", 18)));
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

    // The text is readable: one line a rule, eleven columns, plain words.
    const std::vector<std::string> lines = Lines(ReadFile(Path("rules.txt")));
    ASSERT_EQ(lines.size(), UnusualRules().size() + 1);
    EXPECT_EQ(lines[0], "nickname\tsearch\tip\tstatus\tnick colour\ttext colour\tstored pattern\thidden bytes"
                        "\tadded\texpires\tnote");
    EXPECT_EQ(lines[1].rfind("Модератор\tname-or-ip\t10.0.0.1-10.0.0.9\tunchanged\t#FF0000\t#0000FF\t\t", 0), 0u)
        << lines[1];
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(Count(lines[i], "\t"), 10u) << lines[i];
    // A memo in its columns, not in reserved=; any other block as its bytes.
    const size_t memos = lines.size() - 4;
    EXPECT_EQ(lines[memos], "temp\tname\t\tignore\t#FF0000\t#0000FF\t\t\t2027-01-01T00:00:00Z\t"
                            "2027-01-08T00:00:00Z\tжалоба №12");
    EXPECT_EQ(Count(lines[memos + 1], "\treserved="), 1u) << lines[memos + 1];
    EXPECT_EQ(lines[memos + 1].substr(lines[memos + 1].size() - 3), "\t\t\t");
    EXPECT_EQ(Count(lines[memos + 2], "\treserved=5476"), 1u) << lines[memos + 2];  // "Tv", empty block
    EXPECT_EQ(lines[memos + 3], "far\tname\t\tignore\t#FF0000\t#0000FF\t\t\t-9223372036854775808\t"
                                "9223372036854775807\ttab\\there \\\\ \\uD800 \\u0000 end");

    // Each line alone, as the editor copies a rule, imports to its record.
    const std::vector<_RULE> records = UnusualRules();
    for (size_t i = 1; i < lines.size(); ++i) {
        WriteFile(Path("one.txt"), lines[i] + "\n");
        run = Tool({"import", Path("one.txt"), "-o", Path("one.tdb")});
        ASSERT_EQ(run.status, 0) << lines[i] << "\n" << run.err;
        EXPECT_EQ(ReadFile(Path("one.tdb")), RuleBytes({records[i - 1]})) << lines[i];
    }
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
        ToolRun run = Tool({"export", "--force", Path("random.tdb"), "-o", Path("random.txt")});
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
    EXPECT_EQ(run.out.find("Added"), std::string::npos) << "no memo, no memo columns";
}

// A text list given where a rule file belongs is refused by every verb that
// reads one, with the hint to import it; --force reads its bytes as records.
TEST_F(RulesTool, ATextListIsNoRuleFileUnlessForced) {
    std::string whole;  // exactly two records' worth of lines
    while (whole.size() < 2 * RULE_SIZE - 20) whole += "198.51.100." + std::to_string(whole.size() % 250) + "\n";
    whole += std::string(2 * RULE_SIZE - 1 - whole.size(), '#') + "\n";
    ASSERT_EQ(whole.size(), 2 * RULE_SIZE);
    for (const std::string& text : {whole, std::string("Спамер\n198.51.100.0/24\tno-private\n")}) {
        WriteFile(Path("list.txt"), text);
        const std::string hint = Path("list.txt") + " is not a rule file: it looks like a text list: use import";
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"show", Path("list.txt")},
              {"export", Path("list.txt"), "--cidr"},
              {"check", Path("list.txt")},
              {"why", Path("list.txt"), "Bob", "10.0.0.1"},
              {"optimize", Path("list.txt"), "-o", Path("o.tdb")},
              {"merge", Path("r.tdb"), Path("list.txt"), "-o", Path("m.tdb")}}) {
            WriteFile(Path("r.tdb"), RuleBytes({MakeRule(u"x", SEARCH_NAME)}));
            const ToolRun run = Tool(arguments);
            EXPECT_EQ(run.status, 2) << arguments[0] << " " << text.size();
            EXPECT_EQ(run.out, "") << arguments[0];
            EXPECT_EQ(run.err.rfind("torvo-rules: " + hint, 0), 0u) << run.err;
            EXPECT_NE(run.err.find("; --force reads its whole records"), std::string::npos) << run.err;
        }
        EXPECT_FALSE(Exists(Path("o.tdb")));
        EXPECT_FALSE(Exists(Path("m.tdb")));

        const ToolRun run = Tool({"show", Path("list.txt"), "--force", "--lang", "en"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Lines(run.out).size(), 2 + text.size() / RULE_SIZE) << run.out;
        EXPECT_EQ(Count(run.err, "bytes are not a whole rule and are ignored"), text.size() % RULE_SIZE ? 1u : 0u);
    }
    // What it gets wrong is said too, for a file that is not text.
    WriteFile(Path("r.tdb"), RuleBytes({MakeRule(u"x", SEARCH_NAME)}) + "tail");
    ToolRun run = Tool({"check", Path("r.tdb")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("its 464 bytes are not a whole number of 460-byte records (4 bytes left over)"),
              std::string::npos) << run.err;
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
        MakeRule(u"", SEARCH_IP | 8, "10.0.0.0-10.0.0.99"),          // 13 IP bit alone, not 2: no pick
        MakeRule(u"", SEARCH_IP | 8, "10.0.0.5"),                    // 14 the same, not hidden by 13
    };
    std::string file = RuleBytes(rules);
    WriteFile(Path("r.tdb"), file);
    ToolRun run = Tool({"check", Path("r.tdb")});
    EXPECT_EQ(run.status, 1);
    auto reported = [&](int rule) {
        return Count(run.out, Path("r.tdb") + ": rule " + std::to_string(rule) + ": ");
    };
    for (int rule : {2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14}) EXPECT_EQ(reported(rule), 1u) << "rule " << rule << "\n" << run.out;
    for (int rule : {1, 10, 11}) EXPECT_EQ(reported(rule), 0u) << "rule " << rule << "\n" << run.out;
    EXPECT_NE(run.out.find("rule 7: exact duplicate of rule 1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 8: rule 1 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 12: rule 11 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("inverted"), std::string::npos);
    EXPECT_NE(run.out.find("rule 14: search type 10 tests only the IP, yet "), std::string::npos) << run.out;

    // A clean list reports nothing; a trailing part record is a finding.
    WriteFile(Path("clean.tdb"), RuleBytes({rules[0], rules[9], rules[10]}));
    run = Tool({"check", Path("clean.tdb")});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Lines(run.out).size(), 1u);
    WriteFile(Path("clean.tdb"), RuleBytes({rules[0]}) + std::string(100, 'x'));
    run = Tool({"check", Path("clean.tdb"), "--force"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("100 bytes"), std::string::npos) << run.out;
}

// Prefixes, ranges and exact addresses compared as address intervals: a
// rule whose addresses all lie inside an earlier rule's of the same search
// type is never applied to arriving visitors; a partial overlap with
// another status is a note.
TEST_F(RulesTool, CheckReportsAddressesHiddenByEarlierRules) {
    std::string list =
        "224.0.0.0/4\n"                  // 1
        "224.0.0.0/8\n"                  // 2 inside 1
        "239.0.0.0/8\tallow-all\n"       // 3 inside 1, whatever its status
        "10.0.0.0/8\n"                   // 4
        "10.1.0.0/16\n"                  // 5 inside 4
        "10.1.2.3\n"                     // 6 inside 4
        "10.2.*\n"                       // 7 a prefix inside 4
        "9.255.255.0-10.0.0.5\tallow-all\n"  // 8 overlaps 4: a note
        "172.16.*\n"                     // 9
        "172.16.5.0-172.16.5.9\n"        // 10 inside the prefix
        "name:Bob\n"                     // 11
        "1*\n";                          // 12 a text prefix: 1.x, 10-19.x, 100-199.x: not inside 4
    WriteFile(Path("list.txt"), list);
    ASSERT_EQ(Tool({"import", Path("list.txt"), "-o", Path("r.tdb")}).status, 0);
    ToolRun run = Tool({"check", Path("r.tdb")});
    EXPECT_EQ(run.status, 1);
    auto reported = [&](int rule, const std::string& text) {
        return Count(run.out, Path("r.tdb") + ": rule " + std::to_string(rule) + ": " + text);
    };
    for (const auto& [rule, container] : std::vector<std::pair<int, int>>{{2, 1}, {3, 1}, {5, 4}, {6, 4}, {7, 4}, {10, 9}}) {
        EXPECT_EQ(reported(rule, "its addresses all lie inside those of rule " + std::to_string(container) + " "), 1u)
            << rule << "\n" << run.out;
    }
    EXPECT_EQ(reported(8, "note: its addresses partly overlap those of rule 4"), 1u) << run.out;
    EXPECT_EQ(reported(12, "note: its addresses partly overlap those of rule 8"), 1u) << run.out;
    for (int rule : {1, 4, 9, 11}) EXPECT_EQ(reported(rule, ""), 0u) << rule << "\n" << run.out;

    // Only notes: nothing wrong, exit 0.
    WriteFile(Path("list.txt"), "10.0.0.0/8\n9.255.255.0-10.0.0.5\tallow-all\n");
    ASSERT_EQ(Tool({"import", Path("list.txt"), "-o", Path("r.tdb")}).status, 0);
    run = Tool({"check", Path("r.tdb")});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Count(run.out, "note: "), 1u) << run.out;

    // A range list merged with its own block form: every block is hidden.
    std::string ranges, blocks;
    for (uint32_t n = 0; n < 3000; ++n) {
        const std::string start = "10." + std::to_string(n / 256) + "." + std::to_string(n % 256);
        ranges += start + ".0-" + start + ".255\n";
        blocks += start + ".0/25\n" + start + ".128/25\n";
    }
    WriteFile(Path("list.txt"), ranges + blocks);
    ASSERT_EQ(Tool({"import", Path("list.txt"), "-o", Path("r.tdb")}).status, 0);
    run = Tool({"check", Path("r.tdb")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Count(run.out, ": its addresses all lie inside those of rule "), 6000u);
    EXPECT_EQ(Count(run.out, "rule 3001: its addresses all lie inside those of rule 1 "), 1u);
}

// why: the picking rules in list order, what an arrival and a room report
// leave, and the rules that nearly pick the visitor with the reason.
TEST_F(RulesTool, WhyTellsWhichRulesPickAVisitorAndWhichNearlyDo) {
    WriteFile(Path("r.tdb"),
              RuleBytes({MakeRule(u"bob", SEARCH_NAME),                                           // 1 case
                         MakeRule(u"", SEARCH_IP, "10.0.0.0-10.0.0.255", STATUS_NO_PRIVATE, 0x11),  // 2 picks
                         MakeRule(u"Bob", SEARCH_NAME_AND_IP, "192.0.2.1"),                       // 3 one side
                         MakeRule(u"", SEARCH_IP, "10.0.1.*"),                                    // 4 prefix
                         MakeRule(u"", SEARCH_IP, "10.0.1.0-10.0.1.9"),                           // 5 outside
                         MakeRule(u"Bob", SEARCH_NAME, "", STATUS_UNCHANGED, 0x22, 0x33),         // 6 picks
                         MakeRule(u"Alice", SEARCH_NAME)}));                                      // 7 far
    ToolRun run = Tool({"why", Path("r.tdb"), "Bob", "10.0.0.7"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("2 rules pick this visitor, in list order:\n  rule 2: ip 10.0.0.0-10.0.0.255 -> no-private"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  rule 6: name \"Bob\" -> unchanged"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("on arrival (and when checked alone) rule 2 decides: no-private, nickname #110000"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("leaves: status no-private (rule 2), nickname #220000 and messages #330000 (rule 6)"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 1: name \"bob\": the nickname differs only in case"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 3: name-and-ip \"Bob\" 192.0.2.1: a name-and-IP rule: the nickname matches, but the IP does not"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 4: ip 10.0.1.*: the prefix \"10.0.1.\" differs from the IP text at character 6"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rule 5: ip 10.0.1.0-10.0.1.9: outside the range 10.0.1.0-10.0.1.9 (249 below its first address)"),
              std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("rule 7"), std::string::npos) << run.out;

    run = Tool({"why", Path("r.tdb"), "-", "-"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("no rule picks this visitor"), std::string::npos) << run.out;
    // "--" lets a nickname start with "-".
    run = Tool({"why", Path("r.tdb"), "--", "-=Bob=-", "192.0.2.1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("the IP matches, but the nickname does not"), std::string::npos) << run.out;
}

// optimize and import --optimize shorten a list (that every visitor gets the
// same from it is the differential test's); export --cidr writes address
// rules as the fewest blocks, a plain list that imports back.
TEST_F(RulesTool, OptimizeShortensAListAndExportWritesBlocks) {
    WriteFile(Path("list.txt"),
              "10.0.0.0-10.0.0.99\n10.0.0.100-10.0.0.199\n10.0.0.50\nBob\tallow-all\n10.0.0.200-10.0.0.255\n");
    ToolRun run = Tool({"import", "--optimize", Path("list.txt"), "-o", Path("r.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("optimized 5 rules to 3 (1 joined into earlier rules, 1 already held by earlier rules)"),
              std::string::npos) << run.out;
    std::vector<_RULE> rules = RulesOf(ReadFile(Path("r.tdb")));
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(IpTextOf(rules[0]), "10.0.0.0-10.0.0.199");
    EXPECT_EQ(rules[0].ipHigh, 0x0A0000C7u);
    EXPECT_EQ(IpTextOf(rules[2]), "10.0.0.200-10.0.0.255");  // not past Bob, who may be anywhere

    run = Tool({"import", Path("list.txt"), "-o", Path("plain.tdb")});
    const std::string plain = ReadFile(Path("plain.tdb"));
    run = Tool({"optimize", Path("plain.tdb"), "-o", Path("o.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("o.tdb")), ReadFile(Path("r.tdb")));
    EXPECT_EQ(ReadFile(Path("plain.tdb")), plain);  // joined where it was read, not in the file

    WriteFile(Path("c.tdb"), RuleBytes({MakeRule(u"", SEARCH_IP, "10.0.0.1-10.0.0.6", STATUS_NO_PRIVATE),
                                        MakeRule(u"x", SEARCH_NAME), MakeRule(u"", SEARCH_IP, "10.1.*"),
                                        MakeRule(u"", SEARCH_IP, "192.0.2.1")}));
    run = Tool({"export", "--cidr", Path("c.tdb"), "-o", Path("blocks.txt")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("1 rules that test the nickname or have no address are left out"), std::string::npos);
    std::vector<std::string> lines = Lines(ReadFile(Path("blocks.txt")));
    ASSERT_EQ(lines.size(), 7u);
    const char* expected[] = {"10.0.0.1/32\tno-private", "10.0.0.2/31\tno-private", "10.0.0.4/31\tno-private",
                              "10.0.0.6/32\tno-private", "10.1.0.0/16\tignore", "192.0.2.1/32\tignore"};
    for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(lines[i + 1].rfind(expected[i], 0), 0u) << lines[i + 1];
    run = Tool({"import", Path("blocks.txt"), "-o", Path("back.tdb")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(RulesOf(ReadFile(Path("back.tdb"))).size(), 6u);
}

// export --cidr --plain: the blocks alone, one a line, for a firewall, ipset
// or iprange; nothing on standard output but them.
TEST_F(RulesTool, ExportCidrPlainWritesTheBlocksAlone) {
    WriteFile(Path("c.tdb"), RuleBytes({MakeRule(u"", SEARCH_IP, "10.0.0.1-10.0.0.6", STATUS_NO_PRIVATE),
                                        MakeRule(u"x", SEARCH_NAME), MakeRule(u"", SEARCH_IP, "10.1.*"),
                                        MakeRule(u"", SEARCH_IP, "0.0.0.0-0.0.0.3", STATUS_ALLOW_ALL),
                                        MakeRule(u"", SEARCH_IP, "192.0.2.1")}));
    const std::string blocks =
        "10.0.0.1/32\n10.0.0.2/31\n10.0.0.4/31\n10.0.0.6/32\n10.1.0.0/16\n0.0.0.0/30\n192.0.2.1/32\n";
    ToolRun run = Tool({"export", Path("c.tdb"), "--cidr", "--plain"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, blocks);
    EXPECT_EQ(run.err, Path("c.tdb") + ": 1 rules that test the nickname or have no address are left out\n");
    run = Tool({"export", "--plain", "--cidr", Path("c.tdb"), "-o", Path("blocks.txt")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("blocks.txt")), blocks);
    run = Tool({"export", Path("c.tdb"), "--plain"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("torvo-rules: --plain goes with --cidr\n", 0), 0u) << run.err;
}

// ---- temporary rules -------------------------------------------------------

// import --expires and --note give each plain line's rule a memo: added now,
// the expiry from a duration or a UTC date; show lists them; a bad value is
// refused before anything is read or written.
TEST_F(RulesTool, ImportGivesPlainLinesTheTimeAddedAnExpiryAndANote) {
    now = std::to_string(NEW_YEAR_2027);
    const struct {
        const char* when;
        int64_t expires;
    } good[] = {
        {"90s", NEW_YEAR_2027 + 90},
        {"30m", NEW_YEAR_2027 + 30 * 60},
        {"12h", NEW_YEAR_2027 + 12 * 3600},
        {"7d", NEW_YEAR_2027 + 7 * DAY},
        {"2027-01-31", NEW_YEAR_2027 + 30 * DAY},
        {"2027-01-31T18:00", NEW_YEAR_2027 + 30 * DAY + 18 * 3600},
        {"2028-02-29T23:59:59Z", NEW_YEAR_2027 + 425 * DAY - 1},
    };
    const std::u16string note = u"жалоба №12, спам в общем канале";
    for (const auto& c : good) {
        ToolRun run;
        const std::vector<_RULE> rules = Imported("Bob\n10.0.0.0/8\tno-private\n", &run, "out.tdb",
                                                  {"--expires", c.when, "--note", EncodeForTest(note)});
        ASSERT_EQ(run.status, 0) << c.when << "\n" << run.err;
        ASSERT_EQ(rules.size(), 2u);
        for (const _RULE& rule : rules) {
            const RuleMemo memo = MemoOf(rule);
            EXPECT_EQ(memo.added, NEW_YEAR_2027) << c.when;
            EXPECT_EQ(memo.expires, c.expires) << c.when;
            EXPECT_EQ(NoteOf(memo), note);
        }
    }

    ToolRun run = Tool({"show", Path("out.tdb"), "--lang", "en"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    EXPECT_NE(lines[0].find("| Text colour | Added                | Expires              | Note"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[2].find("| 2027-01-01T00:00:00Z | 2028-02-29T23:59:59Z | " + EncodeForTest(note)),
              std::string::npos) << lines[2];
    now = std::to_string(NEW_YEAR_2027 + 425 * DAY - 1);  // at the expiry
    run = Tool({"show", Path("out.tdb")});
    EXPECT_NE(run.out.find("| Добавлено            | Истекает                       | Заметка"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("| 2028-02-29T23:59:59Z (истекло) | "), std::string::npos) << run.out;
    now = std::to_string(NEW_YEAR_2027);

    // A note alone: added now, never expires. A table's lines keep their own.
    ToolRun noteRun;
    std::vector<_RULE> rules = Imported("Bob\n", &noteRun, "note.tdb", {"--note", "x"});
    ASSERT_EQ(rules.size(), 1u) << noteRun.err;
    EXPECT_EQ(MemoOf(rules[0]).expires, MEMO_NEVER);
    EXPECT_EQ(MemoOf(rules[0]).added, NEW_YEAR_2027);
    WriteFile(Path("plain.tdb"), RuleBytes({MakeRule(u"Bob", SEARCH_NAME)}));
    ASSERT_EQ(Tool({"export", Path("plain.tdb"), "-o", Path("table.txt")}).status, 0);
    ASSERT_EQ(Tool({"import", Path("table.txt"), "-o", Path("back.tdb"), "--expires", "7d"}).status, 0);
    EXPECT_EQ(ReadFile(Path("back.tdb")), ReadFile(Path("plain.tdb")));

    const struct {
        std::vector<std::string> options;
        const char* reason;
    } bad[] = {
        {{"--expires", "7"}, "--expires 7 needs a unit: 7s, 7m, 7h or 7d"},
        {{"--expires", "7w"}, "--expires 7w is neither a duration from now"},
        {{"--expires", "-5m"}, "--expires -5m is neither a duration from now"},
        {{"--expires", "0d"}, "--expires 0d: a duration is more than zero"},
        {{"--expires", "99999999999d"}, "--expires 99999999999d reaches past the year 9999"},
        {{"--expires", "2026-12-31T23:59:59"}, "--expires 2026-12-31T23:59:59 is already past (now is 2027-01-01T00:00:00Z)"},
        {{"--expires", "2027-01-01"}, "--expires 2027-01-01 is already past"},
        {{"--expires", "2027-02-29"}, "--expires 2027-02-29 is not a valid UTC date (2027-01-31, 2027-01-31T18:00, optionally :SS and Z)"},
        {{"--expires", "2027-03-01T24:00"}, "--expires 2027-03-01T24:00 is not a valid UTC date"},
        {{"--expires", "7d", "--expires", "8d"}, "--expires needs one value"},
        {{"--note", std::string(81, 'n')}, "--note: the note is longer than 80 UTF-16 units (it has 81)"},
        {{"--note", "bad \xC3\x28"}, "--note: the note is not UTF-8 text"},
        {{"--note"}, "--note needs one value"},
    };
    WriteFile(Path("list.txt"), "Bob\n");
    for (const auto& c : bad) {
        std::vector<std::string> arguments = {"import", Path("list.txt"), "-o", Path("refused.tdb")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        run = Tool(arguments);
        EXPECT_EQ(run.status, 2) << c.reason;
        EXPECT_EQ(run.err.rfind(std::string("torvo-rules: ") + c.reason, 0), 0u) << run.err;
        EXPECT_FALSE(Exists(Path("refused.tdb")));
    }
    // 80 units exactly, also as 40 pairs of surrogates; 41 pairs are too many.
    for (const auto& [text, fits] : {std::pair(std::u16string(80, u'ж'), true),
                                     std::pair(Repeated(u"\U0001F600", 40), true),
                                     std::pair(Repeated(u"\U0001F600", 41), false)}) {
        run = Tool({"import", Path("list.txt"), "-o", Path("long.tdb"), "--note", EncodeForTest(text)});
        EXPECT_EQ(run.status, fits ? 0 : 2) << run.err;
        if (fits) {
            EXPECT_EQ(NoteOf(MemoOf(RulesOf(ReadFile(Path("long.tdb")))[0])), text);
        }
    }
    now = "soon";
    run = Tool({"import", Path("list.txt"), "-o", Path("refused.tdb"), "--expires", "7d"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("torvo-rules: TORVO_NOW is a whole number of seconds since 1970, not \"soon\"", 0), 0u);
}

// prune drops the rules expired by now (an expiry at now included), and
// those added before a date; a rule with no time added is never old.
TEST_F(RulesTool, PruneDropsExpiredAndOldRulesAndSaysHowMany) {
    now = std::to_string(NEW_YEAR_2027);
    const int64_t june = NEW_YEAR_2027 - 214 * DAY;  // 2026-06-01
    _RULE foreign = MakeRule(u"foreign", SEARCH_NAME);
    std::memset(foreign.reserved, 0x5A, sizeof foreign.reserved);
    const std::vector<_RULE> rules = {
        MakeRule(u"permanent", SEARCH_NAME),                                                    // 1
        WithMemo(MakeRule(u"", SEARCH_IP, "10.0.0.1"), june, NEW_YEAR_2027 - 1, u"expired"),     // 2
        WithMemo(MakeRule(u"", SEARCH_IP, "10.0.0.2"), NEW_YEAR_2027 - 17 * DAY, NEW_YEAR_2027, u""),  // 3 at now
        WithMemo(MakeRule(u"", SEARCH_IP, "10.0.0.3"), june, NEW_YEAR_2027 + DAY, u"old"),      // 4
        WithMemo(MakeRule(u"noted", SEARCH_NAME), 0, 0, u"no time added"),                      // 5
        WithMemo(MakeRule(u"recent", SEARCH_NAME), NEW_YEAR_2027 - 12 * DAY, 0, u""),           // 6
        foreign,                                                                                // 7
    };
    WriteFile(Path("r.tdb"), RuleBytes(rules));
    const struct {
        std::vector<std::string> options;
        std::vector<size_t> kept;  // 1-based
        std::string said;
    } cases[] = {
        {{"--expired"}, {1, 4, 5, 6, 7}, "dropped 2 of 7 rules, 2 expired by 2027-01-01T00:00:00Z; wrote 5 rules to "},
        {{"--added-before", "2026-12-01"}, {1, 3, 5, 6, 7},
         "dropped 2 of 7 rules, 2 added before 2026-12-01T00:00:00Z; wrote 5 rules to "},
        {{"--added-before", "2026-12-16T00:00:01Z", "--expired"}, {1, 5, 6, 7},
         "dropped 3 of 7 rules, 2 expired by 2027-01-01T00:00:00Z, 1 added before 2026-12-16T00:00:01Z (and not "
         "expired); wrote 4 rules to "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"prune", Path("r.tdb"), "-o", Path("p.tdb")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ToolRun run = Tool(arguments);
        ASSERT_EQ(run.status, 0) << c.said << "\n" << run.err;
        EXPECT_EQ(run.out, c.said + Path("p.tdb") + "\n");
        std::vector<_RULE> kept;
        for (size_t rule : c.kept) kept.push_back(rules[rule - 1]);
        EXPECT_EQ(ReadFile(Path("p.tdb")), RuleBytes(kept)) << c.said;
    }
    // A second earlier, rule 3 still picks.
    now = std::to_string(NEW_YEAR_2027 - 1);
    ASSERT_EQ(Tool({"prune", Path("r.tdb"), "-o", Path("p.tdb"), "--expired"}).status, 0);
    EXPECT_EQ(RulesOf(ReadFile(Path("p.tdb"))).size(), 6u);

    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"prune", Path("r.tdb"), "-o", Path("q.tdb")},
             {"prune", Path("r.tdb"), "-o", Path("q.tdb"), "--added-before", "last week"},
             {"prune", Path("r.tdb"), "-o", Path("q.tdb"), "--added-before"},
             {"prune", Path("r.tdb"), "--expired"},
             {"prune", Path("r.tdb"), "-o", Path("r.tdb"), "--expired"},
             {"show", Path("r.tdb"), "--expired"},
             {"export", Path("r.tdb"), "--note", "x"}}) {
        const ToolRun run = Tool(arguments);
        EXPECT_EQ(run.status, 2) << arguments.back() << "\n" << run.err;
    }
    EXPECT_FALSE(Exists(Path("q.tdb")));
    EXPECT_EQ(ReadFile(Path("r.tdb")), RuleBytes(rules));
}

// check notes an expired rule without counting it a problem; why tells of a
// rule that would pick the visitor but has expired, and when it did.
TEST_F(RulesTool, CheckAndWhyTellOfExpiredRules) {
    const int64_t expiry = NEW_YEAR_2027 - DAY;  // 2026-12-31T00:00:00Z
    WriteFile(Path("r.tdb"),
              RuleBytes({WithMemo(MakeRule(u"Bob", SEARCH_NAME), expiry - 7 * DAY, expiry, u"flood"),
                         MakeRule(u"", SEARCH_IP, "10.0.0.0-10.0.0.255", STATUS_NO_PRIVATE),
                         WithMemo(MakeRule(u"Alice", SEARCH_NAME), 0, NEW_YEAR_2027 + DAY, u"")}));
    now = std::to_string(NEW_YEAR_2027);
    ToolRun run = Tool({"check", Path("r.tdb")});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out, Path("r.tdb") + ": rule 1: note: expired at 2026-12-31T00:00:00Z: it picks no one "
                                       "(prune --expired drops it)\n" +
                           Path("r.tdb") + ": 3 rules, nothing to report but the notes above\n");

    run = Tool({"why", Path("r.tdb"), "Bob", "10.0.0.7"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("1 rule picks this visitor, in list order:\n  rule 2: ip"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rules that would pick this visitor but have expired (they pick no one at "
                           "2027-01-01T00:00:00Z):\n  rule 1: name \"Bob\" -> ignore, nickname #FF0000, messages "
                           "#0000FF: expired at 2026-12-31T00:00:00Z\n"),
              std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("rule 3"), std::string::npos) << run.out;

    // The day before, it picks.
    now = std::to_string(expiry - DAY);
    run = Tool({"why", Path("r.tdb"), "Bob", "10.0.0.7"});
    EXPECT_NE(run.out.find("2 rules pick this visitor, in list order:\n  rule 1: name \"Bob\""), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("expired"), std::string::npos) << run.out;
    run = Tool({"check", Path("r.tdb")});
    EXPECT_EQ(Count(run.out, "note: "), 0u) << run.out;
}

// Rules that stop picking at different times do not stand in for each
// other: optimize joins and drops only among rules of the same expiry, and
// merge keeps B's rule that A holds only until sooner.
TEST_F(RulesTool, OptimizeAndMergeKeepRulesThatOutlastOthers) {
    now = std::to_string(NEW_YEAR_2027);
    ToolRun run = Tool({"import", "-", "-o", Path("week.tdb"), "--optimize", "--expires", "7d"},
                       "10.0.0.0-10.0.0.99\n10.0.0.100-10.0.0.199\n10.0.0.50\n");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<_RULE> rules = RulesOf(ReadFile(Path("week.tdb")));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(IpTextOf(rules[0]), "10.0.0.0-10.0.0.199");
    EXPECT_EQ(MemoOf(rules[0]).expires, NEW_YEAR_2027 + 7 * DAY);

    const _RULE week = WithMemo(MakeRule(u"", SEARCH_IP, "10.0.0.0-10.0.0.255"), 0, NEW_YEAR_2027 + 7 * DAY, u"");
    const _RULE always = MakeRule(u"", SEARCH_IP, "10.0.0.10-10.0.0.20");
    const _RULE alsoWeek = WithMemo(MakeRule(u"", SEARCH_IP, "10.0.0.30-10.0.0.40"), 0, NEW_YEAR_2027 + 7 * DAY, u"");
    WriteFile(Path("mixed.tdb"), RuleBytes({week, always, alsoWeek}));
    run = Tool({"optimize", Path("mixed.tdb"), "-o", Path("o.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("o.tdb")), RuleBytes({week, always})) << run.out;

    const _RULE bobWeek = WithMemo(MakeRule(u"Bob", SEARCH_NAME), 0, NEW_YEAR_2027 + 7 * DAY, u"");
    const _RULE bobDay = WithMemo(MakeRule(u"Bob", SEARCH_NAME), 0, NEW_YEAR_2027 + DAY, u"");
    const _RULE bob = MakeRule(u"Bob", SEARCH_NAME);
    WriteFile(Path("a.tdb"), RuleBytes({bobWeek}));
    WriteFile(Path("b.tdb"), RuleBytes({bobDay, bob, bobWeek}));
    run = Tool({"merge", Path("a.tdb"), Path("b.tdb"), "-o", Path("m.tdb")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("m.tdb")), RuleBytes({bobWeek, bob}));
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

    ToolRun run = Tool({"merge", Path("a.tdb"), Path("b.tdb"), "-o", Path("c.tdb"), "--force"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(Path("c.tdb")), RuleBytes({a1, a2, b1, a1Changed, b3}));
    EXPECT_EQ(ReadFile(Path("a.tdb")), aBefore);

    // Into one of its own inputs.
    run = Tool({"merge", Path("a.tdb"), Path("b.tdb"), "-o", Path("a.tdb"), "--force"});
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
        {"show", Path("r.tdb"), "--lang"},
        {"why", Path("r.tdb"), "Bob"},
        {"why", Path("r.tdb"), "Bob", "1234567890.123456"},
        {"export", Path("r.tdb"), "--optimize"},
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
    const ToolRun help = Tool({"--help"});
    EXPECT_EQ(help.status, 0);
    // The plain list's defaults, as import gives them to a bare entry.
    EXPECT_NE(help.out.find("left out: status ignore, nickname colour #0000FF, message colour #000000.\n"),
              std::string::npos) << help.out;
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
        // Unless made to read it, a verb reads the file or refuses it, all
        // through one reader; made to, every verb reads it.
        for (const bool force : {false, true}) {
            for (std::vector<std::string> arguments :
                 {std::vector<std::string>{"show", Path("r.tdb")},
                  {"merge", Path("r.tdb"), Path("r.tdb"), "-o", Path("m.tdb"), "--allow-empty"},
                  {"show", Path("r.tdb"), "--lang", "en"},
                  {"export", Path("r.tdb")},
                  {"export", Path("r.tdb"), "--cidr"},
                  {"check", Path("r.tdb")},
                  {"why", Path("r.tdb"), "Bob", "10.0.0.1"},
                  {"optimize", Path("r.tdb"), "-o", Path("o.tdb"), "--allow-empty"},
                  {"import", Path("r.tdb"), "-o", Path("i.tdb"), "--allow-empty"}}) {
                if (!force && arguments[0] != "show" && arguments[0] != "merge") continue;
                if (force && arguments[0] != "import") arguments.push_back("--force");
                const ToolRun run = Tool(arguments);
                EXPECT_EQ(run.signal, 0) << arguments[0] << " crashed";
                const bool refused = run.status == 2 && Count(run.err, " is not a rule file: ") == 1;
                EXPECT_TRUE(run.status == 0 || run.status == 1 || (refused && !force))
                    << arguments[0] << (force ? " --force: " : ": ") << run.status << "\n" << run.err;
            }
        }
    }
}

// A rule file cut short by another program while the tool reads it through
// a view ends the tool with its message instead of a bus error.
TEST_F(RulesTool, AFileCutShortWhileReadEndsWithAMessage) {
    WriteFile(Path("r.tdb"), RuleBytes(std::vector<_RULE>(100, UnusualRules()[0])));
    EXPECT_EXIT(
        {
            EndCleanlyWhenAViewIsCutShort("the file was cut short\n", 2);
            MappedRuleRecords mapped{};
            if (!MapRuleRecords(Path("r.tdb").c_str(), &mapped) || truncate(Path("r.tdb").c_str(), 0) != 0) {
                std::exit(3);
            }
            const volatile char* last = reinterpret_cast<const volatile char*>(&mapped.records[99]);
            std::exit(*last == 0 ? 0 : 1);
        },
        testing::ExitedWithCode(2), "the file was cut short");
}

}  // namespace
