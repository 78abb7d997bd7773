// Handing the masking passes from one decider to the next: the runs that
// tell where a later rule may still match, and the passes that rely on them
// against whole checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../support/MaskingComparison.h"
#include "run/CLaterRules.h"

namespace chatsieve::test {
namespace {

class LaterRulesTest : public MaskingComparison {
protected:
    // Rules of two syllables each, every syllable one character: the
    // shortest run of each is 4 bytes.
    TestFilter* TwoCharacterRules(int count) {
        RuleSet rules;
        rules.skipSets = {{0x20, 0x20, 0x2A, 0x2A, -1, 0xA1, 0xA1, 0xA1}};
        for (int i = 0; i < 2 * count; ++i) {
            const unsigned char low = static_cast<unsigned char>(0xA1 + i % 90);
            rules.syllables.push_back(
                {std::string("x") + static_cast<char>('a' + i % 26) + static_cast<char>('a' + i / 26),
                 {static_cast<unsigned char>(0xB0 + i / 90), low, low}});
        }
        for (int i = 0; i < count; ++i) rules.phrases.push_back({3, {200001 + 2 * i, 200002 + 2 * i}});
        TestFilter* filter = New<TestFilter>(rules);
        EXPECT_EQ(1, filter->Init());
        return filter;
    }
    // Begins `later` on runs given as (end, rule ordinal) pairs.
    static bool BeginWith(CLaterRules& later, const CRuleIndex& index, std::initializer_list<std::pair<int, int>> ends,
                          int decider) {
        later.Prepare(index, 64);
        TArray<CLaterRules::Run> runs;
        for (const auto& [end, rule] : ends)
            if (!runs.PushBack({end, index.RuleNode(rule)})) return false;
        return later.Begin(runs, decider);
    }
    // The two characters of rule i above.
    static std::string Word(int i) {
        std::string word;
        for (int s : {2 * i, 2 * i + 1}) word += {static_cast<char>(0xB0 + s / 90), static_cast<char>(0xA1 + s % 90)};
        return word;
    }
};

TEST_F(LaterRulesTest, ARunEndsWhenACutTakesAByteOfItsShortestSpan) {
    TestFilter* filter = TwoCharacterRules(3);
    const CRuleIndex& index = filter->Index();
    CLaterRules later;
    // Rule 1 ends at 10 (bytes [6, 10) at least); rule 2 at 20.
    ASSERT_TRUE(BeginWith(later, index, {{10, 1}, {20, 2}}, 0));
    later.Cut(10, 16);  // right after rule 1's run
    later.Cut(2, 6);    // right before it
    EXPECT_EQ(1, later.Live(1));
    EXPECT_EQ(10, later.FirstEnd(1));
    later.Cut(9, 10);
    EXPECT_EQ(0, later.Live(1));
    EXPECT_EQ(INT_MAX, later.FirstEnd(1));
    EXPECT_EQ(1, later.Live(2));

    // A run found across cuts spans the bytes they took; any other of its
    // bytes cut ends it.
    const CLaterRules::Span across{0, 18, index.RuleNode(1)};
    ASSERT_TRUE(later.Add(&across, 1, 0));
    EXPECT_EQ(1, later.Live(1));
    EXPECT_EQ(18, later.FirstEnd(1));
    later.Cut(0, 1);
    EXPECT_EQ(0, later.Live(1));
    filter->Uninit();
    Delete(filter);
}

TEST_F(LaterRulesTest, TheNextRuleIsTheFirstInCheckingOrderWithAWholeRun) {
    TestFilter* filter = TwoCharacterRules(6);
    const CRuleIndex& index = filter->Index();
    CLaterRules later;
    ASSERT_TRUE(BeginWith(later, index, {{40, 5}, {8, 2}, {30, 1}}, 1));
    EXPECT_EQ(2, later.NextAfter(1));
    later.Cut(4, 8);
    EXPECT_EQ(5, later.NextAfter(1));
    // A cut gives rule 2 a run again: it comes before rule 5 once more.
    const CLaterRules::Span again{20, 26, index.RuleNode(2)};
    ASSERT_TRUE(later.Add(&again, 1, 1));
    EXPECT_EQ(2, later.NextAfter(1));
    EXPECT_EQ(5, later.NextAfter(2));
    later.Cut(36, 40);
    EXPECT_EQ(INT_MAX, later.NextAfter(2));
    filter->Uninit();
    Delete(filter);
}

// Rules that read the same syllables share their runs.
TEST_F(LaterRulesTest, RulesReadingTheSameSyllablesShareTheirRuns) {
    RuleSet rules;
    rules.skipSets = {{0x20, 0x20, 0x2A, 0x2A, -1}};
    rules.syllables = {{"a", {0xB0, 0xA1, 0xA1}}, {"b", {0xB0, 0xA2, 0xA2}}};
    rules.phrases = {{5, {200001, 200002}}, {4, {200002}}, {3, {200001, 200002}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    const CRuleIndex& index = filter->Index();
    ASSERT_EQ(index.RuleNode(0), index.RuleNode(2));
    CLaterRules later;
    ASSERT_TRUE(BeginWith(later, index, {{12, 0}}, 0));
    EXPECT_EQ(2, later.NextAfter(0));
    EXPECT_EQ(1, later.Live(0));
    // Written in letters, the two syllables take two bytes: [10, 12).
    later.Cut(8, 10);
    EXPECT_EQ(1, later.Live(2));
    later.Cut(11, 12);
    EXPECT_EQ(0, later.Live(2));
    EXPECT_EQ(INT_MAX, later.NextAfter(0));
    filter->Uninit();
    Delete(filter);
}

// A line of distinct expressions, each its own decider: after the first
// check, every pass hands over to the next rule without a whole check.
TEST_F(LaterRulesTest, DistinctExpressionsAreMaskedWithoutWholeChecks) {
    constexpr int kRules = 40;
    TestFilter* filter = TwoCharacterRules(kRules);
    std::vector<int> order(kRules);
    for (int i = 0; i < kRules; ++i) order[static_cast<std::size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::string line;
    for (int i : order) line += Word(i) + " ";
    Compare(filter, line, static_cast<unsigned>(line.size() + 1), 0);
    const unsigned long followed = filter->FollowedPasses();
    const unsigned long cut = filter->CutChecks();
    std::string masked(line.size() + 1, '#');
    filter->FilterText(line.c_str(), masked.data(), static_cast<unsigned>(masked.size()), 0);
    EXPECT_EQ(std::string::npos, std::string(masked.c_str()).find_first_not_of("* "));
    // One check, then a followed pass for each further expression and one
    // that finds nothing left.
    EXPECT_EQ(static_cast<unsigned long>(kRules), filter->FollowedPasses() - followed);
    EXPECT_EQ(cut, filter->CutChecks());
    filter->Uninit();
    Delete(filter);
}

// Cutting "bx" out of "abx" puts the letter a, where a search fails and
// steps two bytes on, right before two-byte characters: the search now reads
// them out of step, where the later rule finds its syllables.
TEST_F(LaterRulesTest, ACutThatPutsSearchesOutOfStepIsFollowedThere) {
    RuleSet rules;
    rules.skipSets = {{0x20, 0x20, 0x2A, 0x2A, -1}};
    rules.syllables = {{"a", {0xA1, 0xB0, 0xB0}}, {"bx", {0xB0, 0xA2, 0xA2}}};
    rules.phrases = {{5, {200002}}, {3, {200001, 200001}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    std::string line = "abx";
    for (int i = 0; i < 60; ++i) line += "\xB0\xA1";
    Compare(filter, line, static_cast<unsigned>(line.size() + 1), 0);
    filter->Uninit();
    Delete(filter);
}

TEST_F(LaterRulesTest, AgreesWithWholeChecksOnLongLinesOfRandomRuleSets) {
    unsigned long followed = 0;
    for (unsigned seed = 1; seed <= Effort(200, 50); ++seed) {
        Generator random(seed + 1000);
        SCOPED_TRACE(seed);
        TestFilter* filter = New<TestFilter>(random.Rules());
        if (filter->Init()) {
            for (int i = 0; i < 8 && !HasFatalFailure(); ++i) {
                const std::string line = random.Line(150);
                Compare(filter, line, static_cast<unsigned>(line.size() + 1), random.Pick(4));
            }
            followed += filter->FollowedPasses();
            filter->Uninit();
        }
        Delete(filter);
        TearDown();
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(followed, static_cast<unsigned long>(m_compared) * 4);
}

}  // namespace
}  // namespace chatsieve::test
