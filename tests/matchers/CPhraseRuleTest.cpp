#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "../support/RuleFixture.h"
#include "matchers/CPhraseRule.h"

namespace chatsieve::test {
namespace {

class CPhraseRuleTest : public RuleTest {
protected:
    void SetUp() override {
        wai = AddSyllable("wai", {0xCD, 0xE2, 0xE2});
        gua = AddSyllable("gua", {0xB9, 0xD2, 0xD2});
        a = AddSyllable("a", {0xB0, 0xA1, 0xA2});
    }
    // Matches `text` and returns "offset/length/level", or "-" for no match.
    std::string Run(CPhraseRule* rule, std::string text) {
        Outputs out;
        if (!RunMatch(rule, text, out)) return "-";
        return std::to_string(out.offset) + "/" + std::to_string(out.length) + "/" + std::to_string(out.level);
    }
    int wai = 0, gua = 0, a = 0;
};

TEST_F(CPhraseRuleTest, SyllablesMustBeAdjacentInAnyForm) {
    CPhraseRule* rule = MakePhrase({wai, gua}, 5);
    EXPECT_EQ("0/4/5", Run(rule, std::string(kWai) + kGua));
    EXPECT_EQ("1/4/5", Run(rule, std::string("x") + kWai + kGua));
    EXPECT_EQ("0/5/5", Run(rule, std::string(kWai) + "GUA"));
    EXPECT_EQ("2/5/5", Run(rule, std::string("..WAI") + kGua));
    EXPECT_EQ("0/6/5", Run(rule, "waigua"));
    EXPECT_EQ("-", Run(rule, std::string(kWai) + "x" + kGua));
    EXPECT_EQ("-", Run(rule, std::string(kGua) + kWai));
    EXPECT_EQ("-", Run(rule, ""));
    rule->Destroy();
}

TEST_F(CPhraseRuleTest, OneSyllablePhraseReportsItsLeftmostOccurrence) {
    CPhraseRule* rule = MakePhrase({gua}, 2);
    EXPECT_EQ("3/2/2", Run(rule, std::string("abc") + kGua + kGua));
    EXPECT_EQ(2, rule->GetLevel());
    rule->Destroy();
}

TEST_F(CPhraseRuleTest, LaterOccurrenceIsFoundAfterAFailedChain) {
    CPhraseRule* rule = MakePhrase({wai, gua}, 1);
    EXPECT_EQ("4/4/1", Run(rule, std::string(kWai) + kWai + kWai + kGua));
    rule->Destroy();
}

TEST_F(CPhraseRuleTest, SearchStepsTwoBytesWhateverTheOccurrenceWidth) {
    CPhraseRule* rule = MakePhrase({a, gua}, 1);
    // "a" at 0 fails; the next scan starts at byte 2 and so misses "a" at 1.
    EXPECT_EQ("-", Run(rule, std::string("aa") + kGua));
    // With the occurrence at 2 bytes from a failed one, it is found.
    EXPECT_EQ("2/3/1", Run(rule, std::string("axa") + kGua));
    // After a long romanised form the next scan starts inside it.
    CPhraseRule* waiA = MakePhrase({wai, a}, 1);
    EXPECT_EQ("-", Run(waiA, "waiwax"));
    rule->Destroy();
    waiA->Destroy();
}

TEST_F(CPhraseRuleTest, ReservedArgumentChangesNothing) {
    CPhraseRule* rule = MakePhrase({wai, gua}, 3);
    std::string text = std::string("..") + kWai + kGua;
    Outputs first, second;
    EXPECT_EQ(1, rule->Match(text.data(), 0, &first.offset, &first.length, &first.level));
    EXPECT_EQ(1, rule->Match(text.data(), 12345, &second.offset, &second.length, &second.level));
    EXPECT_EQ(first.offset, second.offset);
    EXPECT_EQ(first.length, second.length);
    rule->Destroy();
}

// A rule made with room for its references is one allocation; set up with
// more references than that room, it takes a block of its own (and gives it
// back), and matches the same either way.
TEST_F(CPhraseRuleTest, RoomBehindTheRuleHoldsItsReferences) {
    const int refs[] = {wai, gua};
    ASSERT_NE(nullptr, g_syllables.At(0));  // the list's own position array, taken now
    const long before = LiveAllocationCount();
    CPhraseRule* roomy = CPhraseRule::NewWithRoom(2);
    ASSERT_NE(roomy, nullptr);
    ASSERT_EQ(1, roomy->Init(refs, 2, 5));
    EXPECT_EQ(before + 1, LiveAllocationCount());
    CPhraseRule* tight = CPhraseRule::NewWithRoom(1);
    ASSERT_NE(tight, nullptr);
    FailAllocationsAfter(0);
    EXPECT_EQ(0, tight->Init(refs, 2, 5));  // the block it needs cannot be had
    ResetAllocationFailures();
    ASSERT_EQ(1, tight->Init(refs, 2, 5));
    EXPECT_EQ(before + 3, LiveAllocationCount());
    for (CPhraseRule* rule : {roomy, tight}) {
        EXPECT_EQ("0/4/5", Run(rule, std::string(kWai) + kGua));
        ASSERT_EQ(2u, rule->Syllables().Size());
        EXPECT_EQ(g_syllables.At(static_cast<std::size_t>(DecodeRuleRef(gua).index)), rule->Syllables()[1]);
        EXPECT_EQ(DecodeRuleRef(gua).index, rule->Refs()[1].index);
        rule->Destroy();
    }
    EXPECT_EQ(before, LiveAllocationCount());
}

TEST_F(CPhraseRuleTest, InitRefusesBadArgumentsAndReferences) {
    const int phraseRef = 3 * 100000 + 1;
    const std::vector<std::vector<int>> badRefs = {
        {2 * 100000},           // position 0
        {2 * 100000 + 4},       // past the last syllable
        {phraseRef},            // a phrase inside a phrase
        {1 * 100000 + 1},       // kind 1
        {-(2 * 100000 + 1)},    // kind -2
        {wai, 2 * 100000 + 9},  // the bad one after a good one
        {INT_MIN},              // below every kind, as far as it goes
        {INT_MAX},              // above every kind
        {3 * 100000},           // one past the highest syllable reference
    };
    AddPhrase({wai}, 1);
    for (const auto& refs : badRefs) {
        CPhraseRule* rule = New<CPhraseRule>();
        EXPECT_EQ(0, rule->Init(refs.data(), static_cast<int>(refs.size()), 1));
        EXPECT_EQ(0, rule->GetLevel());
        rule->Destroy();
    }
    CPhraseRule* rule = New<CPhraseRule>();
    EXPECT_EQ(0, rule->Init(&wai, 0, 1));
    EXPECT_EQ(0, rule->Init(&wai, 1, -1));
    EXPECT_EQ(0, rule->Init(nullptr, 1, 1));
    EXPECT_EQ(1, rule->Init(&wai, 1, 0));  // level 0 serves combination rules
    rule->Destroy();
}

}  // namespace
}  // namespace chatsieve::test
