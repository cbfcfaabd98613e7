// The rule store on its own: IP pattern derivation, the array operations and
// the rule file, called directly from torvo_core.
#include "rules/ip_pattern.h"
#include "rules/rule_array.h"
#include "rules/rule_edits.h"
#include "rules/rule_file.h"
#include "tests/support/torvo_test.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

_RULE ZeroRule() {
    _RULE rule;
    std::memset(&rule, 0, sizeof rule);
    return rule;
}

// A record as one left behind by earlier edits: every byte set, texts with
// leftovers behind their terminators.
_RULE UsedRule() {
    _RULE rule;
    std::memset(&rule, 0xA5, sizeof rule);
    wcscpy(WideName(rule), L"\u0412\u0430\u0441\u044f");
    rule.ipLow = 0x01020304;
    rule.ipHigh = 0x0A0B0C0D;
    std::memcpy(rule.ipPrefix, "1.2.3.4.5.6.7.8", 16);
    return rule;
}

// Stores `text` into ipText with its terminator when it fits; the rest of
// the field keeps leftovers ("*" and "-" there must not count).
void SetIpText(_RULE& rule, const char* text) {
    std::memset(rule.ipText, '*', sizeof rule.ipText);
    rule.ipText[sizeof rule.ipText - 1] = '-';
    const size_t length = std::strlen(text);
    std::memcpy(rule.ipText, text, length);
    if (length < sizeof rule.ipText) rule.ipText[length] = '\0';
}

std::string PrefixField(const _RULE& rule) {
    return std::string(rule.ipPrefix, sizeof rule.ipPrefix);
}

std::string ZeroPadded(const char* prefix) {
    std::string field(prefix);
    field.resize(RULE_IP_PREFIX_BYTES, '\0');
    return field;
}

struct IpCase {
    const char* text;
    const char* prefix;
    uint32_t low;
    uint32_t high;
};

const IpCase IP_CASES[] = {
    {"10.0.*", "10.0.", 0, 0},
    {"*", "", 0, 0},
    {"10.*.5", "10.", 0, 0},
    {"10.*-20", "10.", 0, 0},
    {"10.0.0.1-10.0.0.9", "", 0x0A000001, 0x0A000009},
    {"192.168.0.1", "", 0xC0A80001, 0},
    {"", "", 0, 0},
    {"300.1.1.1", "", 0xFFFFFFFF, 0},
    // Ranges: both ends full four-part addresses, low end first.
    {"10.0.0.9-10.0.0.1", "", 0, 0},
    {"10.0.0-10.0.1", "", 0, 0},
    {"1-2", "", 0, 0},
    {"10.0.0.5-10.0.0.5", "", 0x0A000005, 0x0A000005},
    {"9.255.255.255-10.0.0.0", "", 0x09FFFFFF, 0x0A000000},
    {"255.255.255.254-255.255.255.255", "", 0xFFFFFFFE, 0xFFFFFFFF},
    {"10.0.0.1-300.0.0.1", "", 0, 0},
    {"10.0.0.1-", "", 0, 0},
    {"-10.0.0.1", "", 0, 0},
    {"-", "", 0, 0},
    {"10.0.0.1--10.0.0.9", "", 0, 0},
    {"10.0.0.1-10.0.0.5-10.0.0.9", "", 0, 0},
    {"10.0.0.-10.0.0.9", "", 0, 0},
    {"10..0.1-10.0.0.9", "", 0, 0},
    {"10.0.0.1-10.0.0.9.", "", 0, 0},
    // Prefixes: 15 characters fit the field, 16 are no IPv4 prefix.
    {"123.123.123.123*", "123.123.123.123", 0, 0},
    {"1234.123.123.123*", "", 0, 0},
    {"0123456789012345678901234567890*", "", 0, 0},
    {"1-2*", "1-2", 0, 0},
};

void ExpectDerived(const _RULE& before, const _RULE& after, const IpCase& expected) {
    SCOPED_TRACE(std::string("ipText \"") + expected.text + "\"");
    EXPECT_EQ(PrefixField(after), ZeroPadded(expected.prefix));
    EXPECT_EQ(after.ipLow, expected.low);
    EXPECT_EQ(after.ipHigh, expected.high);
    // Nothing but the three derived fields may change, ipText included.
    _RULE others = after;
    std::memcpy(others.ipPrefix, before.ipPrefix, sizeof others.ipPrefix);
    others.ipLow = before.ipLow;
    others.ipHigh = before.ipHigh;
    EXPECT_EQ(std::memcmp(&others, &before, sizeof others), 0);
}

TEST(ParseRuleIp, DerivesThePatternOnAFreshRecord) {
    for (const IpCase& c : IP_CASES) {
        _RULE rule = ZeroRule();
        std::memcpy(rule.ipText, c.text, std::strlen(c.text));
        const _RULE before = rule;
        ParseRuleIp(rule);
        ExpectDerived(before, rule, c);
    }
}

TEST(ParseRuleIp, DerivesThePatternOnAReusedRecord) {
    for (const IpCase& c : IP_CASES) {
        _RULE rule = UsedRule();
        SetIpText(rule, c.text);
        const _RULE before = rule;
        ParseRuleIp(rule);
        ExpectDerived(before, rule, c);
    }
}

TEST(ParseRuleIp, ChangingTheTextLeavesNothingOfTheEarlierPattern) {
    const IpCase steps[] = {
        {"10.0.*", "10.0.", 0, 0},
        {"192.168.0.1", "", 0xC0A80001, 0},
        {"10.0.0.1-10.0.0.9", "", 0x0A000001, 0x0A000009},
        {"172.16.*", "172.16.", 0, 0},
        {"10.0.0.1-10.0.0.9", "", 0x0A000001, 0x0A000009},
        {"192.168.0.2", "", 0xC0A80002, 0},
        {"1-2", "", 0, 0},
        {"192.168.0.1", "", 0xC0A80001, 0},
        {"*", "", 0, 0},
        {"10.0.0.1-10.0.0.9", "", 0x0A000001, 0x0A000009},
        {"", "", 0, 0},
    };
    _RULE rule = ZeroRule();
    for (const IpCase& step : steps) {
        SetIpText(rule, step.text);
        const _RULE before = rule;
        ParseRuleIp(rule);
        ExpectDerived(before, rule, step);
    }
}

TEST(ParseRuleIp, ReadsNoFurtherThanAnUnterminatedText) {
    GuardedPage page;
    ASSERT_TRUE(page.ok());
    // The record is cut where ipText ends: the guard page starts there.
    auto* rule = reinterpret_cast<_RULE*>(page.end() - offsetof(_RULE, reserved));
    const IpCase cases[] = {
        {"0100.100.100.100-100.100.100.200", "", 0x40646464, 0x646464C8},
        {"10.0.0.1.10.0.0.1.10.0.0.1.10.00", "", 0xFFFFFFFF, 0},
        {"10.0.*AAAAAAAAAAAAAAAAAAAAAAAAAA", "10.0.", 0, 0},
        {"0123456789012345678901234567890*", "", 0, 0},
        {"10.0.0.1-10.0.0.9-1.1.1.1-2.2.2.", "", 0, 0},
    };
    for (const IpCase& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(std::strlen(c.text), RULE_IP_TEXT_BYTES);
        std::memset(rule, 0x5A, offsetof(_RULE, reserved));
        std::memcpy(rule->ipText, c.text, RULE_IP_TEXT_BYTES);
        ParseRuleIp(*rule);
        EXPECT_EQ(PrefixField(*rule), ZeroPadded(c.prefix));
        EXPECT_EQ(rule->ipLow, c.low);
        EXPECT_EQ(rule->ipHigh, c.high);
        EXPECT_EQ(std::memcmp(rule->ipText, c.text, RULE_IP_TEXT_BYTES), 0);
    }
}

// Each test starts and ends with an empty array.
class RuleStore : public ::testing::Test {
protected:
    void SetUp() override { FreeRules(); }
    void TearDown() override { FreeRules(); }

    static _RULE Numbered(int n) {
        const std::wstring name = L"rule " + std::to_wstring(n);
        _RULE rule = MakeRule(name.c_str(), SEARCH_NAME_OR_IP, STATUS_NO_PRIVATE, 0x00010000u * n,
                              0x00000100u * n);
        std::memset(rule.reserved, n, sizeof rule.reserved);
        return rule;
    }

    static void Fill(int count) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(AppendRule(Numbered(i)));
    }

    // The array as a list of rule numbers, compared whole record by record.
    static void ExpectRules(const std::vector<int>& numbers) {
        ASSERT_EQ(g_ruleCount, numbers.size());
        for (size_t i = 0; i < numbers.size(); ++i) {
            const _RULE expected = Numbered(numbers[i]);
            EXPECT_EQ(std::memcmp(&g_rules[i], &expected, RULE_SIZE), 0) << "index " << i;
        }
    }

    static std::vector<uint8_t> ArrayBytes() {
        std::vector<uint8_t> bytes(g_ruleCount * RULE_SIZE);
        if (!bytes.empty()) std::memcpy(bytes.data(), g_rules, bytes.size());
        return bytes;
    }
};

TEST_F(RuleStore, AppendKeepsListOrderAndWholeRecords) {
    EXPECT_EQ(g_ruleCount, 0u);
    Fill(3);
    ExpectRules({0, 1, 2});
}

TEST_F(RuleStore, RemoveOutsideTheListChangesNothing) {
    RemoveRule(0);
    RemoveRule(-1);
    EXPECT_EQ(g_ruleCount, 0u);

    Fill(3);
    for (int32_t index : {-1, 3, 4, INT_MAX, INT_MIN}) {
        RemoveRule(index);
        ExpectRules({0, 1, 2});
    }
}

TEST_F(RuleStore, RemoveMovesLaterRulesDown) {
    Fill(5);
    RemoveRule(1);
    ExpectRules({0, 2, 3, 4});
    RemoveRule(3);  // the last one: nothing to move
    ExpectRules({0, 2, 3});
    RemoveRule(0);
    ExpectRules({2, 3});
}

TEST_F(RuleStore, RemovingTheOnlyRuleThenAppendingAgain) {
    Fill(1);
    RemoveRule(0);
    EXPECT_EQ(g_ruleCount, 0u);
    EXPECT_NE(g_rules, nullptr);  // the block stays until the next addition
    RemoveRule(0);
    SwapRules(0);
    EXPECT_EQ(g_ruleCount, 0u);

    ASSERT_TRUE(AppendRule(Numbered(7)));
    ExpectRules({7});
    ASSERT_TRUE(AppendRule(Numbered(8)));
    ExpectRules({7, 8});
}

// Additions keep spare records: a long list moves to a new block only a
// few times, and removals leave room that the next additions use.
TEST_F(RuleStore, AdditionsMoveTheBlockRarely) {
    constexpr int count = 5000;
    std::vector<const _RULE*> blocks;
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(AppendRule(Numbered(i)));
        if (blocks.empty() || blocks.back() != g_rules) blocks.push_back(g_rules);
        ASSERT_GE(g_ruleCapacity, g_ruleCount);
    }
    EXPECT_LE(blocks.size(), 25u);  // growing by one record would move it 5000 times
    std::vector<int> numbers;
    for (int i = 0; i < count; ++i) numbers.push_back(i);
    ExpectRules(numbers);

    const _RULE* block = g_rules;
    RemoveRule(count - 1);
    RemoveRule(0);
    ASSERT_TRUE(AppendRule(Numbered(count)));
    EXPECT_EQ(g_rules, block);
    numbers.erase(numbers.begin());
    numbers.back() = count;
    ExpectRules(numbers);
}

TEST_F(RuleStore, SwapAtAndPastTheEndsChangesNothing) {
    SwapRules(0);
    SwapRules(-1);
    EXPECT_EQ(g_ruleCount, 0u);

    Fill(1);
    SwapRules(0);
    SwapRules(-1);
    ExpectRules({0});

    FreeRules();
    Fill(4);
    for (int32_t first : {-1, 3, 4, INT_MAX, INT_MIN}) {
        SwapRules(first);
        ExpectRules({0, 1, 2, 3});
    }
}

TEST_F(RuleStore, SwapExchangesNeighbours) {
    Fill(4);
    SwapRules(0);
    ExpectRules({1, 0, 2, 3});
    SwapRules(2);  // the last two
    ExpectRules({1, 0, 3, 2});
    SwapRules(1);
    ExpectRules({1, 3, 0, 2});
}

// Only changes the editor makes count as edits: calls that change nothing,
// loads, saves and releasing the list leave the list unedited.
TEST_F(RuleStore, OnlyRealChangesMarkTheListEdited) {
    ScratchFolder folder;
    const struct {
        const char* what;
        void (*operation)();
        bool edited;
    } steps[] = {
        {"append", [] { AppendRule(Numbered(0)); }, true},
        {"save", [] { SaveRules(RULE_FILE); }, false},
        {"remove outside", [] { RemoveRule(1); }, false},
        {"swap past the end", [] { SwapRules(0); }, false},
        {"replace outside", [] { ReplaceRule(-1, Numbered(1)); }, false},
        {"replace", [] { ReplaceRule(0, Numbered(1)); }, true},
        {"load", [] { LoadRules(RULE_FILE); }, false},
        {"append again", [] { AppendRule(Numbered(2)); }, true},
        {"failed load", [] { LoadRules("MODULES\\absent.tdb"); }, true},
        {"swap", [] { g_rulesEdited = false; SwapRules(0); }, true},
        {"free", [] { FreeRules(); }, false},
        {"remove", [] { Fill(1); g_rulesEdited = false; RemoveRule(0); }, true},
    };
    for (const auto& step : steps) {
        step.operation();
        EXPECT_EQ(g_rulesEdited, step.edited) << step.what;
    }
}

// The operator's edits made again on another version of the file: by the
// bytes of the rule each command acted on, not by its place.
TEST_F(RuleStore, EditsAreMadeAgainOnAnotherVersion) {
    // Rule n of these lists is Numbered(n); 9 is what Change makes.
    const struct {
        const char* what;
        void (*edit)();
        std::vector<int> other;
        std::vector<int> expected;
        uint32_t lost;
    } cases[] = {
        {"add", [] { AppendRule(Numbered(9)); }, {5, 0}, {5, 0, 9}, 0},
        {"change, found elsewhere", [] { ReplaceRule(1, Numbered(9)); }, {1, 5, 2}, {9, 5, 2}, 0},
        {"change, gone", [] { ReplaceRule(1, Numbered(9)); }, {0, 2}, {0, 2}, 1},
        {"delete, gone already", [] { RemoveRule(1); }, {0, 2, 5}, {0, 2, 5}, 0},
        {"delete the first of twins", [] { RemoveRule(2); }, {2, 5, 2}, {5, 2}, 0},
        {"move up", [] { SwapRules(1, MovedRule::SecondUp); }, {5, 0, 2}, {5, 2, 0}, 0},
        {"move down", [] { SwapRules(0); }, {0, 5, 1}, {5, 0, 1}, 0},
        {"move at the end", [] { SwapRules(1); }, {5, 1}, {5, 1}, 0},
        {"paste after a rule",
         [] {
             const _RULE pasted[] = {Numbered(7), Numbered(8)};
             InsertRules(1, pasted, 2);
         },
         {5, 0, 2}, {5, 0, 7, 8, 2}, 0},
        {"paste at the start, and after a rule that is gone",
         [] {
             const _RULE first = Numbered(7);
             const _RULE afterTheLast = Numbered(8);
             InsertRules(0, &first, 1);
             InsertRules(3, &afterTheLast, 1);
         },
         {5}, {7, 5, 8}, 0},
        {"undo of a paste", [] { RemoveRules(0, 2); }, {1, 0, 5}, {5}, 0},
        {"change, then delete the changed",
         [] {
             ReplaceRule(0, Numbered(9));
             RemoveRule(0);
         },
         {5, 0}, {5}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FreeRules();
        Fill(3);
        ForgetRuleEdits();  // the list as read: 0, 1, 2
        c.edit();
        RuleFileContents other{};
        other.capacity = static_cast<uint32_t>(c.other.size());
        other.records = static_cast<_RULE*>(std::malloc(other.capacity * sizeof(_RULE)));
        for (int n : c.other) other.records[other.count++] = Numbered(n);
        LostChanges lost{};
        ASSERT_TRUE(ReplayRuleEdits(other, lost));
        EXPECT_EQ(lost.count, c.lost);
        ASSERT_EQ(other.count, c.expected.size());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const _RULE expected = Numbered(c.expected[i]);
            EXPECT_EQ(std::memcmp(&other.records[i], &expected, RULE_SIZE), 0) << "index " << i;
        }
        std::free(other.records);
    }
}

// Rule files built byte by byte in a scratch folder.
class RuleFile : public RuleStore {
protected:
    // Records as a file may hold them: reserved bytes, a range, texts
    // without terminators and leftovers behind terminators.
    static std::vector<uint8_t> CraftedRecords(int count) {
        std::vector<uint8_t> bytes(count * RULE_SIZE);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
        for (int n = 0; n < count; ++n) {
            _RULE rule;
            std::memcpy(&rule, &bytes[n * RULE_SIZE], RULE_SIZE);
            rule.ipLow = 0x0A000001;
            rule.ipHigh = 0x0A0000FF;
            std::memcpy(rule.ipText, "10.0.0.1-10.0.0.255\0-*-*-*-*-*-*", 32);
            std::memcpy(&bytes[n * RULE_SIZE], &rule, RULE_SIZE);
        }
        return bytes;
    }

    static std::vector<std::string> ModulesFolderNames() { return FolderNames("MODULES"); }

    const std::vector<std::string> onlyRuleFile{"torvo.tdb"};
    ScratchFolder folder;
};

TEST_F(RuleFile, LoadTakesWholeRecordsOnly) {
    const std::vector<uint8_t> records = CraftedRecords(3);
    const struct {
        size_t fileSize;
        uint32_t count;
    } cases[] = {{0, 0}, {1, 0}, {459, 0}, {460, 1}, {919, 1}, {1000, 2}, {1380, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileSize);
        Fill(2);  // replaced by the load
        WriteFileBytes(RULE_FILE, std::vector<uint8_t>(records.begin(), records.begin() + c.fileSize));
        ASSERT_TRUE(LoadRules(RULE_FILE));
        ASSERT_EQ(g_ruleCount, c.count);
        EXPECT_EQ(ArrayBytes(), std::vector<uint8_t>(records.begin(),
                                                     records.begin() + c.count * RULE_SIZE));
        FreeRules();
    }
}

// A list read from the file takes its first additions without moving, and a
// file of several megabytes arrives whole.
TEST_F(RuleFile, LoadedListsGrowAndArriveWhole) {
    const std::vector<uint8_t> records = CraftedRecords(9000);
    WriteFileBytes(RULE_FILE, records);
    ASSERT_TRUE(LoadRules(RULE_FILE));
    ASSERT_EQ(g_ruleCount, 9000u);
    EXPECT_EQ(ArrayBytes(), records);

    const _RULE* block = g_rules;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(AppendRule(Numbered(i)));
    ASSERT_EQ(g_ruleCount, 9003u);
    EXPECT_EQ(g_rules, block);  // loaded with room to spare: not copied again
    const std::vector<uint8_t> grown = ArrayBytes();
    EXPECT_EQ(std::vector<uint8_t>(grown.begin(), grown.begin() + records.size()), records);
    for (int i = 0; i < 3; ++i) {
        const _RULE expected = Numbered(i);
        EXPECT_EQ(std::memcmp(&g_rules[9000 + i], &expected, RULE_SIZE), 0) << i;
    }
}

TEST_F(RuleFile, LoadThatCannotOpenKeepsTheList) {
    Fill(2);
    EXPECT_FALSE(LoadRules(RULE_FILE));  // no file
    ExpectRules({0, 1});

    WriteFileBytes(RULE_FILE, CraftedRecords(1));
    for (DWORD access : {DWORD{GENERIC_WRITE}, DWORD{GENERIC_READ}}) {
        // Held elsewhere for writing, or without shared reading.
        HANDLE held = CreateFileA(RULE_FILE, access, access == GENERIC_WRITE ? FILE_SHARE_READ : 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(LoadRules(RULE_FILE));
        CloseHandle(held);
        ExpectRules({0, 1});
    }
}

// A read that delivers less than the size the file reports (a locked range,
// a dropped network share) gives no list at all, never the part read. A
// Linux system file seen through Wine's Z: drive reads that way.
TEST_F(RuleFile, AReadThatStopsShortIsNoList) {
    const std::string path = "Z:\\sys\\devices\\system\\cpu\\online";
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        data.nFileSizeLow < RULE_SIZE || ReadFileBytes(path).size() >= data.nFileSizeLow) {
        GTEST_SKIP() << path << " does not read short here";
    }
    Fill(2);
    EXPECT_FALSE(LoadRules(path.c_str()));
    ExpectRules({0, 1});
    RuleFileContents contents{};
    EXPECT_FALSE(ReadRuleRecords(path.c_str(), &contents));
    EXPECT_EQ(contents.records, nullptr);
}

// Records taken as a view of the file: records written there stay in the
// process, and while the view lasts others may read the file but not
// write it. An empty file gives no records.
TEST_F(RuleFile, AMappedRecordWrittenToNeverReachesTheFile) {
    std::vector<uint8_t> file = CraftedRecords(3);
    file.resize(file.size() + 80, 0xEE);
    WriteFileBytes(RULE_FILE, file);
    MappedRuleRecords mapped{};
    ASSERT_TRUE(MapRuleRecords(RULE_FILE, &mapped));
    ASSERT_NE(mapped.view.bytes, nullptr);
    ASSERT_EQ(mapped.count, 3u);
    EXPECT_EQ(mapped.trailingBytes, 80u);
    EXPECT_EQ(std::memcmp(mapped.records, file.data(), 3 * RULE_SIZE), 0);
    mapped.records[1] = Numbered(7);
    const _RULE seven = Numbered(7);
    EXPECT_EQ(std::memcmp(&mapped.records[1], &seven, RULE_SIZE), 0);
    EXPECT_EQ(ReadFileBytes(RULE_FILE), file);
    HANDLE writer = CreateFileA(RULE_FILE, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    ReleaseRuleRecords(mapped);
    EXPECT_EQ(ReadFileBytes(RULE_FILE), file);
    writer = CreateFileA(RULE_FILE, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);

    WriteFileBytes(RULE_FILE, {});
    mapped = MappedRuleRecords{};
    ASSERT_TRUE(MapRuleRecords(RULE_FILE, &mapped));
    EXPECT_EQ(mapped.records, nullptr);
    EXPECT_EQ(mapped.count, 0u);
    ReleaseRuleRecords(mapped);
}

TEST_F(RuleFile, RoundTripKeepsEveryByte) {
    const std::vector<uint8_t> records = CraftedRecords(3);
    std::vector<uint8_t> file = records;
    file.resize(file.size() + 80, 0xEE);  // a trailing part record is dropped
    WriteFileBytes(RULE_FILE, file);
    ASSERT_TRUE(LoadRules(RULE_FILE));
    ASSERT_EQ(DeleteFileA(RULE_FILE), TRUE);

    ASSERT_TRUE(SaveRules(RULE_FILE));
    EXPECT_EQ(ReadFileBytes(RULE_FILE), records);

    // And over the previous file, after edits.
    RemoveRule(1);
    ASSERT_TRUE(AppendRule(Numbered(4)));
    ASSERT_TRUE(SaveRules(RULE_FILE));
    std::vector<uint8_t> expected(records.begin(), records.begin() + RULE_SIZE);
    expected.insert(expected.end(), records.begin() + 2 * RULE_SIZE, records.end());
    const std::vector<uint8_t> added = RuleBytes({Numbered(4)});
    expected.insert(expected.end(), added.begin(), added.end());
    EXPECT_EQ(ReadFileBytes(RULE_FILE), expected);
    EXPECT_EQ(ModulesFolderNames(), onlyRuleFile);
}

TEST_F(RuleFile, SaveWithNoRulesLeavesAnEmptyFile) {
    ASSERT_TRUE(SaveRules(RULE_FILE));  // creates it
    ASSERT_TRUE(FileExists(RULE_FILE));
    EXPECT_TRUE(ReadFileBytes(RULE_FILE).empty());

    WriteFileBytes(RULE_FILE, CraftedRecords(2));
    ASSERT_TRUE(SaveRules(RULE_FILE));  // truncates it
    EXPECT_TRUE(ReadFileBytes(RULE_FILE).empty());

    Fill(1);
    RemoveRule(0);
    ASSERT_TRUE(SaveRules(RULE_FILE));
    EXPECT_TRUE(ReadFileBytes(RULE_FILE).empty());
    EXPECT_EQ(ModulesFolderNames(), onlyRuleFile);
}

TEST_F(RuleFile, FailedSaveLeavesThePreviousFileAlone) {
    const std::vector<uint8_t> previous = CraftedRecords(2);
    Fill(3);

    {
        SCOPED_TRACE("read-only rule file");
        WriteFileBytes(RULE_FILE, previous);
        ASSERT_TRUE(SetFileAttributesA(RULE_FILE, FILE_ATTRIBUTE_READONLY));
        EXPECT_FALSE(SaveRules(RULE_FILE));
        EXPECT_EQ(ReadFileBytes(RULE_FILE), previous);
        EXPECT_EQ(ModulesFolderNames(), onlyRuleFile);
        ASSERT_TRUE(SetFileAttributesA(RULE_FILE, FILE_ATTRIBUTE_NORMAL));
    }
    const struct {
        const char* what;
        DWORD access;
        DWORD share;
    } holders[] = {
        {"held by a reader that forbids writing", GENERIC_READ, FILE_SHARE_READ},
        {"held exclusively", GENERIC_READ | GENERIC_WRITE, 0},
        {"held by a writer", GENERIC_WRITE, FILE_SHARE_READ},
    };
    for (const auto& holder : holders) {
        SCOPED_TRACE(holder.what);
        WriteFileBytes(RULE_FILE, previous);
        HANDLE held = CreateFileA(RULE_FILE, holder.access, holder.share, nullptr, OPEN_EXISTING,
                                  0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(SaveRules(RULE_FILE));
        CloseHandle(held);
        EXPECT_EQ(ReadFileBytes(RULE_FILE), previous);
        EXPECT_EQ(ModulesFolderNames(), onlyRuleFile);
    }
    // Once free again, the rules still in memory are written.
    ASSERT_TRUE(SaveRules(RULE_FILE));
    ExpectRules({0, 1, 2});
    EXPECT_EQ(ReadFileBytes(RULE_FILE), ArrayBytes());
}

TEST_F(RuleStore, SaveWithoutModulesFolderFails) {
    ScratchFolder bare(false);
    Fill(1);
    EXPECT_FALSE(SaveRules(RULE_FILE));
    EXPECT_FALSE(FileExists("MODULES"));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    int entries = 0;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") ++entries;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(entries, 0);
    ExpectRules({0});
}

}  // namespace
