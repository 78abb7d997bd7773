// The filter object through the host's interface: checking, masking, the
// player-words log and the object's lifetime.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../support/TestFilter.h"
#include "host/CChatsieve.h"

namespace chatsieve::test {
namespace {

const std::string kWaiGua = std::string(kWai) + kGua;
const std::string kFaLunGong = std::string(kFa) + "\xC2\xD6" + "\xB9\xA6";

RuleSet StandardRules() {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{5, {kRefWai, kRefGua}}, {9, {kRefFa, kRefLun, kRefGong}}, {2, {kRefNi, kRefHao}}};
    return rules;
}

class FilterTest : public FilterTestBase {
protected:
    // FilterText with an output buffer of outSize + 1 bytes, as hosts must give.
    std::string Mask(const std::string& line, int minLevel = 1, unsigned outSize = 256, int* level = nullptr) {
        std::string out(outSize + 1, '#');
        int result = m_filter->FilterText(line.c_str(), out.data(), outSize, minLevel);
        if (level) *level = result;
        return out.c_str();
    }
};

TEST_F(FilterTest, RejectedArgumentsAreNotCheckedOrLogged) {
    RuleSet rules = StandardRules();
    rules.logEnabled = 1;
    Create(rules);
    char out[8] = "keep";
    EXPECT_EQ(0, m_filter->FilterText(nullptr, out, 7, 1));
    EXPECT_STREQ("keep", out);
    // A refused level still leaves `out` a terminated, unmasked copy, so a
    // host that shows it never shows stale bytes.
    EXPECT_EQ(0, m_filter->FilterText(kWaiGua.c_str(), out, 7, -1));
    EXPECT_STREQ(kWaiGua.substr(0, 7).c_str(), out);
    EXPECT_EQ(0u, m_filter->LogCount());
    EXPECT_EQ(5, m_filter->FilterText(kWaiGua.c_str(), nullptr, 0, 0));  // minLevel 0 is accepted
    EXPECT_EQ(1u, m_filter->LogCount());
}

TEST_F(FilterTest, CleanLineIsCopiedUnchanged) {
    Create(StandardRules());
    int level = -1;
    EXPECT_EQ("hello, world", Mask("hello, world", 1, 256, &level));
    EXPECT_EQ(0, level);
}

TEST_F(FilterTest, MasksOnlyTheExpressionsOwnBytes) {
    Create(StandardRules());
    int level = 0;
    // Filler between the characters stays; each byte of a two-byte character
    // becomes its own '*'.
    EXPECT_EQ("buy ** , ** now", Mask(std::string("buy ") + kWai + " , " + kGua + " now", 1, 256, &level));
    EXPECT_EQ(5, level);
    EXPECT_EQ("****", Mask(kWaiGua));
    EXPECT_EQ("x******y", Mask("xWaiGUAy"));
    EXPECT_EQ("** **" + std::string(kComma) + "****", Mask(std::string(kWai) + " " + kGua + kComma + kWaiGua));
}

TEST_F(FilterTest, EveryOccurrenceIsMaskedFromTheHighestLevelDown) {
    Create(StandardRules());
    int level = 0;
    EXPECT_EQ("****-****-" + std::string("******") + "-waigu",
              Mask(kWaiGua + "-" + kWaiGua + "-" + kFaLunGong + "-waigu", 1, 256, &level));
    EXPECT_EQ(9, level);
    // Only levels at or above minLevel are masked; the result is the worst level.
    EXPECT_EQ(kWaiGua + "-" + "******", Mask(kWaiGua + "-" + kFaLunGong, 6, 256, &level));
    EXPECT_EQ(9, level);
    EXPECT_EQ(kWaiGua, Mask(kWaiGua, 6, 256, &level));
    EXPECT_EQ(5, level);
}

TEST_F(FilterTest, OutputSizeLimitsTheCopyButNotTheResult) {
    Create(StandardRules());
    int level = 0;
    EXPECT_EQ("", Mask(kWaiGua, 1, 0, &level));
    EXPECT_EQ(5, level);
    // The expression lies beyond the copied part: found, nothing masked.
    EXPECT_EQ("abc", Mask("abc" + kWaiGua, 1, 3, &level));
    EXPECT_EQ(5, level);
    // A two-byte character is never split: one byte fewer is copied.
    EXPECT_EQ("abc" + std::string(kWai), Mask("abc" + kWaiGua, 1, 6, &level));
    EXPECT_EQ("abc" + std::string(kWai), Mask("abc" + kWaiGua, 1, 5, &level));
    // Exactly the line and its terminator, then one more zero byte.
    std::string out(9, '#');
    EXPECT_EQ(0, m_filter->FilterText("abc", out.data(), 4, 1));
    EXPECT_EQ(std::string("abc\0\0####", 9), out);
}

TEST_F(FilterTest, HostTextIsNeverChanged) {
    Create(StandardRules());
    const std::string line = std::string("a ") + kWai + " " + kGua;
    std::string copy = line;
    char out[64];
    m_filter->FilterText(copy.c_str(), out, 63, 1);
    EXPECT_EQ(line, copy);
}

TEST_F(FilterTest, LoneLeadByteAtTheEndIsNeverMatched) {
    RuleSet rules = StandardRules();
    rules.syllables.push_back({"zz", {0xB0, 0x00, 0xFF}});
    rules.phrases.push_back({7, {kRefWai, 200009}});
    Create(rules);
    EXPECT_EQ(0, m_filter->CheckText((std::string(kWai) + "\xB0").c_str(), 0));
    EXPECT_EQ(7, m_filter->CheckText((std::string(kWai) + "\xB0\x41").c_str(), 0));
}

class CheckTextTest : public FilterTest {};

TEST_F(CheckTextTest, CeilingPassesOverHigherRules) {
    Create(StandardRules());
    const std::string line = kWaiGua + kFaLunGong + kNi + kHao;
    EXPECT_EQ(9, m_filter->CheckText(line.c_str(), 0));
    EXPECT_EQ(4, m_filter->MatchOffset());
    EXPECT_EQ(6, m_filter->MatchLength());
    EXPECT_EQ(5, m_filter->CheckText(line.c_str(), 8));
    EXPECT_EQ(0, m_filter->MatchOffset());
    EXPECT_EQ(2, m_filter->CheckText(line.c_str(), 4));
    EXPECT_EQ(0, m_filter->CheckText(line.c_str(), 1));
    EXPECT_EQ(0, m_filter->MatchLength());
    EXPECT_EQ(0, m_filter->CheckText(line.c_str(), -1));
}

TEST_F(CheckTextTest, NothingToTestReturnsZero) {
    Create(StandardRules());
    EXPECT_EQ(0, m_filter->CheckText(nullptr, 0));
    EXPECT_EQ(0, m_filter->MatchLength());
    EXPECT_EQ(0, m_filter->CheckText("", 0));
    EXPECT_EQ(0, m_filter->CheckText(" ,, \xA1\xA1", 0));
}

TEST_F(CheckTextTest, EqualLevelsAreDecidedByLoadOrder) {
    RuleSet rules = StandardRules();
    rules.phrases = {{3, {kRefNi}}, {3, {kRefHao}}};
    Create(rules);
    EXPECT_EQ(3, m_filter->CheckText((std::string(kHao) + kNi).c_str(), 0));
    EXPECT_EQ(2, m_filter->MatchOffset());  // ni, loaded first, decides
}

TEST_F(CheckTextTest, LinesUpToTheReservedSizeAllocateNothing) {
    RuleSet rules = StandardRules();
    // Two sets: the position map and the composed map trade buffers.
    rules.skipSets = {StandardSkipSet(), {0x2E, 0x2E, -1}};
    Create(rules);
    // The index's own scratch grows on first use and falls back to trying
    // every rule when it cannot.
    m_filter->UseRuleIndex(false);
    const std::string longest = std::string(kReservedLineBytes - kWaiGua.size(), 'x') + kWaiGua;
    const unsigned long before = AllocationCount();
    EXPECT_EQ(5, m_filter->CheckText(kWaiGua.c_str(), 0));
    EXPECT_EQ(0, m_filter->CheckText("a b. c d", 0));
    EXPECT_EQ(5, m_filter->CheckText(longest.c_str(), 0));
    EXPECT_EQ(5, m_filter->CheckText(kWaiGua.c_str(), 0));
    EXPECT_EQ(before, AllocationCount());
    // A longer line grows the buffers, once.
    const std::string longer = "y" + longest;
    EXPECT_EQ(5, m_filter->CheckText(longer.c_str(), 0));
    const unsigned long grown = AllocationCount();
    EXPECT_GT(grown, before);
    EXPECT_EQ(5, m_filter->CheckText(longer.c_str(), 0));
    EXPECT_EQ(grown, AllocationCount());
}

TEST_F(CheckTextTest, AGrowthThatFailsKeepsTheBuffers) {
    Create(StandardRules());
    const std::string huge = std::string(2 * kReservedLineBytes, 'x') + kWaiGua;
    FailAllocationsAfter(0);
    EXPECT_EQ(0, m_filter->CheckText(huge.c_str(), 0));
    EXPECT_TRUE(m_filter->CheckFailed());
    EXPECT_EQ(0, m_filter->MatchLength());
    // Still no memory, but lines that fit are checked as ever.
    EXPECT_EQ(5, m_filter->CheckText(kWaiGua.c_str(), 0));
    EXPECT_FALSE(m_filter->CheckFailed());
    ResetAllocationFailures();
    EXPECT_EQ(5, m_filter->CheckText(huge.c_str(), 0));
    EXPECT_FALSE(m_filter->CheckFailed());
}

TEST_F(FilterTest, ALineThatCannotBeCheckedFailsClosed) {
    RuleSet rules = StandardRules();
    rules.logEnabled = 1;
    Create(rules);
    // Past the reserved buffers, and clean: only the check's memory is short.
    const std::string huge = std::string(2 * kReservedLineBytes, 'x') + " clean";
    const unsigned size = static_cast<unsigned>(huge.size());
    int level = 0;
    FailAllocationsAfter(1);  // the log's copy, then nothing
    EXPECT_EQ(std::string(huge.size(), '*'), Mask(huge, 1, size, &level));
    EXPECT_EQ(9, level);  // the highest level the rules hold
    EXPECT_STREQ(huge.c_str(), m_filter->LogSlot(0));
    EXPECT_EQ(9, m_filter->FilterText(huge.c_str(), nullptr, 0, 1));
    // Within the copy as it is cut.
    EXPECT_EQ("*****", Mask(huge, 1, 5));
    // No rule reaches the level asked for: nothing could be masked anyway.
    EXPECT_EQ(huge, Mask(huge, 10, size, &level));
    EXPECT_EQ(9, level);
    // Lines that fit the buffers are checked and masked as ever.
    EXPECT_EQ("a****b", Mask("a" + kWaiGua + "b", 1, 256, &level));
    EXPECT_EQ(5, level);
    ResetAllocationFailures();
    EXPECT_EQ(huge, Mask(huge, 1, size, &level));
    EXPECT_EQ(0, level);
}

// A filter whose masking checks run out of memory from the `failAt`-th
// check of a FilterText call on.
class PassFailingFilter : public TestFilter {
public:
    using TestFilter::TestFilter;
    int CheckText(const char* text, int ceiling) override {
        const int level = TestFilter::CheckText(text, ceiling);
        if (++m_checks < failAt) return level;
        m_checkFailed = true;
        m_matchLength = 0;
        return 0;
    }
    int failAt = 0;
    int m_checks = 0;
};

TEST_F(FilterTest, AMaskingPassThatCannotCheckFailsClosed) {
    auto* filter = New<PassFailingFilter>(StandardRules());
    m_filter = filter;
    ASSERT_EQ(1, m_filter->Init());
    m_filter->UseMaskPasses(false);  // every pass a whole check
    const std::string line = kWaiGua + " " + kWaiGua + " " + kNi + kHao;
    for (int failAt : {2, 3}) {
        filter->failAt = failAt;
        filter->m_checks = 0;
        int level = 0;
        EXPECT_EQ(std::string(line.size(), '*'), Mask(line, 1, 256, &level)) << failAt;
        EXPECT_EQ(9, level);
    }
    filter->failAt = 100;
    filter->m_checks = 0;
    EXPECT_EQ("**** **** ****", Mask(line));
}

TEST_F(FilterTest, SeveralIgnoreSetsMaskTheHostsBytes) {
    RuleSet rules = StandardRules();
    // Spaces first, then full-width punctuation, then dots: each set strips
    // what the one before left.
    rules.skipSets = {{0x20, 0x20, -1}, {-1, 0xA3, 0xA1, 0xAF}, {0x2E, 0x2E, -1}};
    Create(rules);
    const std::string line = std::string("a. ") + kWai + " " + kComma + ".." + kGua + " b";
    EXPECT_EQ(std::string("a. ** ") + kComma + "..** b", Mask(line));
}

TEST_F(FilterTest, WithoutIgnoreSetsEveryByteMapsToItself) {
    RuleSet rules = StandardRules();
    rules.skipSets.clear();
    Create(rules);
    Mask("a b c d e f g h " + kWaiGua);  // leaves a long map behind
    EXPECT_EQ("x****", Mask("x" + kWaiGua));
    EXPECT_EQ(std::string(kWai) + " " + kGua, Mask(std::string(kWai) + " " + kGua));
}

TEST_F(FilterTest, UninitThenFilterFindsNothing) {
    Create(StandardRules());
    m_filter->Uninit();
    EXPECT_TRUE(g_syllables.Empty());
    EXPECT_EQ(0u, m_filter->Rules().Count());
    int level = -1;
    EXPECT_EQ(kWaiGua, Mask(kWaiGua, 1, 256, &level));
    EXPECT_EQ(0, level);
    m_filter->Uninit();
}

TEST_F(FilterTest, NewFilterAfterUninitBehavesLikeTheFirst) {
    for (int round = 0; round < 3; ++round) {
        Create(StandardRules());
        EXPECT_EQ("x****", Mask("x" + kWaiGua));
        m_filter->Uninit();
        Delete(m_filter);
        m_filter = nullptr;
        EXPECT_TRUE(g_syllables.Empty() && g_phrases.Empty() && g_combos.Empty() && g_positionMap.Empty());
    }
}

TEST_F(FilterTest, FailedCreationLeavesNothingBehind) {
    for (auto end : {RuleSet::End::kFail, RuleSet::End::kThrow}) {
        RuleSet rules = StandardRules();
        rules.combos = {{4, {kRefWai, 300001}}};
        rules.end = end;
        TestFilter* filter = New<TestFilter>(rules);
        EXPECT_EQ(0, filter->Init());
        EXPECT_TRUE(filter->SkipSets().Empty());
        EXPECT_TRUE(g_syllables.Empty() && g_phrases.Empty() && g_combos.Empty());
        Delete(filter);
    }
    // The next creation resolves its references against its own syllables.
    Create(StandardRules());
    EXPECT_EQ("****", Mask(kWaiGua));
}

class OrderTest : public FilterTest {};

TEST_F(OrderTest, HighestLevelFirstPhrasesBeforeCombos) {
    RuleSet rules = StandardRules();
    rules.phrases = {{2, {kRefWai}}, {5, {kRefGua}}, {0, {kRefNi, kRefHao}}};
    rules.combos = {{2, {kRefFa}}, {5, {kRefLun}}, {3, {300003, kRefA}}};
    Create(rules);
    std::string levels;
    for (auto* node = m_filter->Rules().First(); node; node = node->next)
        levels += std::to_string(node->matcher->GetLevel());
    EXPECT_EQ("55322", levels);
    const CMatcherList& rulesList = m_filter->Rules();
    EXPECT_EQ(g_syllables.At(1), static_cast<CPhraseRule*>(rulesList.At(0))->Syllables()[0]);  // P2
    EXPECT_NE(nullptr, dynamic_cast<CComboRule*>(rulesList.At(1)));                            // C2
    // The level-0 phrase is in no list yet still serves its combination rule.
    EXPECT_EQ(3, m_filter->CheckText((std::string(kNi) + kHao + "a").c_str(), 0));
}

TEST_F(OrderTest, NoRulesOrOnlyLevelZero) {
    RuleSet rules = StandardRules();
    rules.phrases = {{0, {kRefWai}}};
    Create(rules);
    EXPECT_EQ(0, m_filter->HighestLevel());
    EXPECT_TRUE(m_filter->Rules().Empty());
    EXPECT_EQ(0, m_filter->CheckText(kWai, 0));
}

TEST_F(OrderTest, LevelsAbove63AreCheckedFirstHighestFirst) {
    RuleSet rules = StandardRules();
    rules.phrases = {{70, {kRefWai}}, {63, {kRefGua}}, {1000, {kRefNi}}, {70, {kRefHao}}, {64, {kRefFa}}};
    Create(rules);
    std::string levels;
    for (auto* node = m_filter->Rules().First(); node; node = node->next)
        levels += std::to_string(node->matcher->GetLevel()) + " ";
    EXPECT_EQ("1000 70 70 64 63 ", levels);
    int level = 0;
    EXPECT_EQ("****-**", Mask(std::string(kWai) + kHao + "-" + kGua, 1, 256, &level));
    EXPECT_EQ(70, level);
}

TEST_F(OrderTest, OutOfRangeLevelLeavesTheListAsGathered) {
    Create(StandardRules());
    CMatcherList list;  // levels 2, 5, 9
    for (auto* node = m_filter->Rules().Last(); node; node = node->prev) list.PushBack(node->matcher);
    m_filter->OrderByLevel(list, 3);  // the level-5 and level-9 rules are above it
    std::string levels;
    for (auto* node = list.First(); node; node = node->next) levels += std::to_string(node->matcher->GetLevel());
    EXPECT_EQ("259", levels);
}

class LogTest : public FilterTest {
protected:
    std::string ReadLog() {
        std::ifstream in(kLogFileName, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    ScopedTempDir m_dir;
};

TEST_F(LogTest, FlushesAll1024LinesInCallOrder) {
    RuleSet rules = StandardRules();
    rules.logEnabled = 1;
    Create(rules);
    std::string expected;
    for (int i = 0; i < 1023; ++i) {
        const std::string line = "line " + std::to_string(i) + (i == 7 ? "\nsecond" : "");
        m_filter->FilterText(line.c_str(), nullptr, 0, 1);
        expected += line + "\n";
    }
    EXPECT_FALSE(std::filesystem::exists(kLogFileName));
    m_filter->FilterText(kWaiGua.c_str(), nullptr, 0, 1);  // logged before it is checked or masked
    expected += kWaiGua + "\n";
    EXPECT_EQ(expected, ReadLog());
    EXPECT_EQ(0u, m_filter->LogCount());
    m_filter->FilterText("next", nullptr, 0, 1);
    EXPECT_STREQ("next", m_filter->LogSlot(0));
}

// Huge lines are written out once their bytes pass the limit, long before the
// slots fill; the file still holds every line in call order.
TEST_F(LogTest, HugeLinesAreFlushedEarlyInOrder) {
    RuleSet rules = StandardRules();
    rules.logEnabled = 1;
    Create(rules);
    const std::string huge(kLogByteLimit / 3, 'x');
    std::string expected;
    for (int i = 0; i < 7; ++i) {
        const std::string line = std::to_string(i) + huge;
        m_filter->FilterText(line.c_str(), nullptr, 0, 1);
        expected += line + "\n";
        EXPECT_LT(m_filter->LogCount(), 3u) << "line " << i;
    }
    m_filter->FilterText("short", nullptr, 0, 1);
    expected += "short\n";
    m_filter->Uninit();
    EXPECT_EQ(expected, ReadLog());
}

TEST_F(LogTest, UnopenableFileDropsTheFullLog) {
    RuleSet rules = StandardRules();
    rules.logEnabled = 1;
    Create(rules);
    std::filesystem::create_directory(kLogFileName);  // cannot be opened as a file
    for (int i = 0; i < 1024; ++i) m_filter->FilterText("x", nullptr, 0, 1);
    EXPECT_EQ(0u, m_filter->LogCount());
    EXPECT_EQ(nullptr, m_filter->LogSlot(0));
    m_filter->FilterText("after", nullptr, 0, 1);
    EXPECT_STREQ("after", m_filter->LogSlot(0));
    m_filter->Uninit();  // cannot write either: the line stays stored
    EXPECT_STREQ("after", m_filter->LogSlot(0));
    std::filesystem::remove(kLogFileName);
    m_filter->Uninit();
    EXPECT_EQ("after\n", ReadLog());
}

TEST_F(LogTest, UninitWritesTheRestAndLaterLinesTakeTheFollowingSlots) {
    RuleSet rules = StandardRules();
    rules.logEnabled = 1;
    Create(rules);
    m_filter->FilterText("one", nullptr, 0, 1);
    m_filter->FilterText("two", nullptr, 0, 1);
    m_filter->Uninit();
    EXPECT_EQ("one\ntwo\n", ReadLog());
    m_filter->FilterText("three", nullptr, 0, 1);
    EXPECT_EQ(3u, m_filter->LogCount());
    EXPECT_STREQ("three", m_filter->LogSlot(2));
    m_filter->Uninit();
    EXPECT_EQ("one\ntwo\nthree\n", ReadLog());
    // The next full flush comes 1021 lines later.
    for (int i = 0; i < 1021; ++i) m_filter->FilterText("z", nullptr, 0, 1);
    EXPECT_EQ(0u, m_filter->LogCount());
}

TEST_F(LogTest, SwitchOnCreatesTheFileEvenWhenEmpty) {
    RuleSet rules = StandardRules();
    rules.logEnabled = 1;
    Create(rules);
    m_filter->Uninit();
    EXPECT_TRUE(std::filesystem::exists(kLogFileName));
    EXPECT_EQ("", ReadLog());
}

TEST_F(LogTest, SwitchOffStoresNothingAndTouchesNoFile) {
    Create(StandardRules());
    m_filter->FilterText("hello", nullptr, 0, 1);
    EXPECT_EQ(0u, m_filter->LogCount());
    m_filter->Uninit();
    EXPECT_FALSE(std::filesystem::exists(kLogFileName));
}

TEST_F(LogTest, LogCopyFailureLeavesAnEmptySlot) {
    RuleSet rules = StandardRules();
    rules.logEnabled = 1;
    Create(rules);
    FailAllocationsAfter(0);
    m_filter->FilterText("lost", nullptr, 0, 1);
    ResetAllocationFailures();
    m_filter->FilterText("kept", nullptr, 0, 1);
    EXPECT_EQ(2u, m_filter->LogCount());
    m_filter->Uninit();
    EXPECT_EQ("kept\n", ReadLog());
}

}  // namespace
}  // namespace chatsieve::test
