// The check automaton and its walker against the rules themselves. Checks
// stay exact only if every rule that matches a text is among the candidates
// the walk finds, so that is asserted on its own, beside checks through the
// automaton equalling checks that try every rule: on random rule sets, on
// every short line, when walks hand their lines back, and for the shapes the
// automaton leaves to the index's own walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "../support/CompareChecks.h"
#include "../support/RandomRules.h"
#include "../support/ShortLines.h"
#include "../support/TestEffort.h"
#include "../support/TestFilter.h"
#include "run/CRuleIndex.h"

namespace chatsieve::test {
namespace {

class CheckAutomatonTest : public RuleTest {
protected:
    // Checks `line` through the automaton and by trying every rule, and
    // looks for every rule that matches the stripped text among the
    // automaton's candidates.
    void Compare(TestFilter* filter, const std::string& line, int ceiling) {
        const int level = CompareWithEveryRule(filter, line, ceiling);
        if (HasFailure()) return;
        ExpectCandidatesCover(filter, line);
        m_matched += level != 0;
        ++m_compared;
    }

    void ExpectCandidatesCover(TestFilter* filter, const std::string& line) {
        filter->CheckText(line.c_str(), INT_MAX);
        std::string stripped = filter->WorkBuffer();
        ASSERT_TRUE(filter->Index().FindAll(stripped.data()));
        const TArray<int>& found = filter->Index().Candidates();
        for (const CMatcherList::Node* node = filter->Rules().First(); node; node = node->next) {
            int offset = 0, length = 0, level = 0;
            std::string text = stripped;
            if (node->matcher->Match(text.data(), 0, &offset, &length, &level) != 1) continue;
            const int ordinal = filter->Index().Ordinal(node->matcher);
            ASSERT_NE(found.Data() + found.Size(), std::find(found.Data(), found.Data() + found.Size(), ordinal))
                << "rule " << ordinal << " matches " << Hex(stripped) << " but is no candidate";
        }
    }

    int m_compared = 0, m_matched = 0;
};

TEST_F(CheckAutomatonTest, FindsEveryRuleThatMatchesOnRandomRuleSets) {
    for (unsigned seed = 1; seed <= Effort(300, 30); ++seed) {
        Differential random(seed, true);
        TestFilter* filter = New<TestFilter>(random.Rules());
        if (filter->Init()) {
            EXPECT_TRUE(filter->Index().Automaton().Ready()) << "seed " << seed;
            for (int i = 0; i < 60; ++i) Compare(filter, random.Line(), random.Pick(8));
            filter->Uninit();
        }
        Delete(filter);
        TearDown();
        if (HasFailure()) return;
    }
    EXPECT_GT(m_matched, m_compared / 10);
}

// Written-mode edges refuse a match that runs on from a letter or digit, or
// into one, unless fillers stood between them in the line; the walk leaves
// out only what the edges refuse.
TEST_F(CheckAutomatonTest, FindsEveryRuleThatMatchesWithWrittenEdges) {
    for (unsigned seed = 1; seed <= Effort(200, 20); ++seed) {
        Differential random(seed, true);
        RuleSet rules = random.Rules();
        for (std::size_t i = 0; i < rules.phrases.size(); ++i) rules.phraseEdges.push_back(random.Pick(4));
        rules.folds = {{0xA3, 0xC1, 0xDA, 'A'}};
        TestFilter* filter = New<TestFilter>(rules);
        if (filter->Init()) {
            EXPECT_TRUE(filter->Index().Automaton().Ready()) << "seed " << seed;
            for (int i = 0; i < 60; ++i) {
                std::string line = random.Line();
                if (random.Pick(3) == 0) line += "\xA3\xC1" + random.Line();
                Compare(filter, line, random.Pick(8));
            }
            filter->Uninit();
        }
        Delete(filter);
        TearDown();
        if (HasFailure()) return;
    }
    EXPECT_GT(m_matched, m_compared / 10);
}

TEST_F(CheckAutomatonTest, FindsEveryRuleThatMatchesOnEveryShortLine) {
    for (unsigned seed : {3u, 11u}) {
        Differential random(seed, true);
        TestFilter* filter = New<TestFilter>(random.Rules());
        ASSERT_EQ(1, filter->Init());
        ASSERT_TRUE(filter->Index().Automaton().Ready());
        ForEachShortLine("aW \xB0\xB7\xA1\xA2", 4, [&](const std::string& line) {
            Compare(filter, line, 0);
            return !HasFailure();
        });
        filter->Uninit();
        Delete(filter);
        TearDown();
    }
}

// Past its memo's cap or its live set's bound a walk hands the line to the
// index's own walk, mid-line too; the results stay those of every rule.
TEST_F(CheckAutomatonTest, HandsLinesBackPastItsBounds) {
    for (const auto& bounds : {std::make_pair(std::size_t{1}, CAutomatonWalk::kLiveSet),
                               std::make_pair(CAutomatonWalk::kMemoBytes, std::size_t{1}),
                               std::make_pair(std::size_t{4096}, std::size_t{3})}) {
        unsigned long handedBack = 0;
        for (unsigned seed = 1; seed <= Effort(60, 10); ++seed) {
            Differential random(seed, true);
            TestFilter* filter = New<TestFilter>(random.Rules());
            if (filter->Init()) {
                filter->Index().Walker().SetBounds(bounds.first, bounds.second);
                for (int i = 0; i < 40; ++i) Compare(filter, random.Line(), random.Pick(8));
                handedBack += filter->Index().Walker().HandedBack();
                filter->Uninit();
            }
            Delete(filter);
            TearDown();
            if (HasFailure()) return;
        }
        EXPECT_GT(handedBack, 0u) << bounds.first << " " << bounds.second;
    }
}

// Forms that match everywhere and code ranges that start inside a character
// (neither of which the compiler writes) stay with the index's walk.
TEST_F(CheckAutomatonTest, LeavesShapesItCannotHoldToTheIndex) {
    RuleSet empty;
    empty.skipSets = {StandardSkipSet()};
    empty.syllables = {{"", {0xB0, 0xA1, 0xA1}}, {"gua", {0xB9, 0xD2, 0xD2}}};
    empty.phrases = {{5, {200001, 200002}}};
    RuleSet ascii = empty;
    ascii.syllables = {{"wai", {0x61, 0x62, 0x62}}, {"gua", {0xB9, 0xD2, 0xD2}}};
    for (const RuleSet& rules : {empty, ascii}) {
        TestFilter* filter = New<TestFilter>(rules);
        ASSERT_EQ(1, filter->Init());
        EXPECT_FALSE(filter->Index().Automaton().Ready());
        EXPECT_TRUE(filter->Index().Ready());
        for (const char* line : {"x gua", "ab gua", "wai\xB9\xD2", "\xB0\xA1 gua"}) Compare(filter, line, 0);
        filter->Uninit();
        Delete(filter);
        TearDown();
    }
}

// Once its steps are kept, a line costs one step a character: 47 rows that
// read the same way are one position, not 47.
TEST_F(CheckAutomatonTest, KeptStepsCostOneStepACharacter) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    for (int i = 0; i < 47; ++i) {
        const unsigned char trail = static_cast<unsigned char>(0xA1 + i);
        rules.syllables.push_back({"shi", {0xCA, trail, trail}});
        rules.phrases.push_back({1 + i, {200001 + i, 200001 + (i + 1) % 47}});
    }
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    ASSERT_TRUE(filter->Index().Automaton().Ready());
    std::string line;
    while (line.size() < 600) line += "shi shi ok \xCA\xA1";
    EXPECT_EQ(47, filter->CheckText(line.c_str(), 0));
    const unsigned long long before = filter->Index().Steps();
    EXPECT_EQ(47, filter->CheckText(line.c_str(), 0));
    EXPECT_LE(filter->Index().Steps() - before, line.size());
    Compare(filter, line, 0);
    filter->Uninit();
    Delete(filter);
}

}  // namespace
}  // namespace chatsieve::test
