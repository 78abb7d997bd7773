// The rule index against the plain check, which tries every rule in turn: on
// random rule sets and lines, and on every short line over a small alphabet,
// both must report the same level, offset and length and mask the same bytes.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "../support/CompareChecks.h"
#include "../support/RandomRules.h"
#include "../support/ShortLines.h"
#include "../support/TestEffort.h"
#include "../support/TestFilter.h"
#include "matchers/CComboRule.h"
#include "platform/CodePage.h"
#include "run/CRuleIndex.h"

namespace chatsieve::test {
namespace {

class RuleIndexTest : public RuleTest {
protected:
    void Compare(TestFilter* filter, const std::string& line, int ceiling) {
        const int level = CompareWithEveryRule(filter, line, ceiling);
        if (HasFailure()) return;
        ++m_compared;
        m_matched += level != 0;
    }
    int m_compared = 0, m_matched = 0;
};

TEST_F(RuleIndexTest, AgreesWithTryingEveryRuleOnRandomRuleSets) {
    for (unsigned seed = 1; seed <= Effort(300, 30); ++seed) {
        Differential random(seed);
        TestFilter* filter = New<TestFilter>(random.Rules());
        if (filter->Init()) {
            for (int i = 0; i < 60; ++i) Compare(filter, random.Line(), random.Pick(8));
            filter->Uninit();
        }
        Delete(filter);
        TearDown();
        if (HasFailure()) return;
    }
    EXPECT_GT(m_matched, m_compared / 10);  // the rule sets do match things
}

TEST_F(RuleIndexTest, AgreesOnEveryShortLine) {
    Differential random(7);
    TestFilter* filter = New<TestFilter>(random.Rules());
    ASSERT_EQ(1, filter->Init());
    ForEachShortLine("aW \xB0\xB7\xA1\xA2", 4, [&](const std::string& line) {
        Compare(filter, line, 0);
        return !HasFailure();
    });
    filter->Uninit();
    Delete(filter);
}

// On text of whole two-byte characters no search resumes inside a character,
// so every rule the index proposes matches: a rule set whose syllables meet
// only across character boundaries costs no search per false candidate.
TEST_F(RuleIndexTest, EveryCandidateMatchesOnTextOfTwoByteCharacters) {
    const std::string leads = "\xB0\xB1\xB7\xC1", trails = "\xA1\xA2\xA3\xA5\xB0\xB7\xC1";
    int candidates = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        Differential random(seed);
        TestFilter* filter = New<TestFilter>(random.Rules());
        if (filter->Init()) {
            for (int i = 0; i < 60; ++i) {
                std::string line;
                for (int n = 1 + random.Pick(16); n > 0; --n) {
                    line += leads[static_cast<std::size_t>(random.Pick(static_cast<int>(leads.size())))];
                    line += trails[static_cast<std::size_t>(random.Pick(static_cast<int>(trails.size())))];
                }
                filter->CheckText(line.c_str(), INT_MAX);
                std::string stripped = filter->WorkBuffer();
                const TArray<int>& found = filter->Index().Candidates();
                for (std::size_t c = 0; c < found.Size(); ++c) {
                    int offset = 0, length = 0, level = 0;
                    CMatcher* rule = filter->Index().Rule(found[c]);
                    EXPECT_EQ(1, rule->Match(stripped.data(), 0, &offset, &length, &level)) << Hex(line);
                    ++candidates;
                }
            }
            filter->Uninit();
        }
        Delete(filter);
        TearDown();
        if (HasFailure()) return;
    }
    EXPECT_GT(candidates, 1000);
}

TEST_F(RuleIndexTest, FallsBackWhenItCannotBeBuilt) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{5, {kRefWai, kRefGua}}};
    for (long n = 0; n < 400; ++n) {
        TestFilter* filter = New<TestFilter>(rules);
        FailAllocationsAfter(n);
        const int created = filter->Init();
        ResetAllocationFailures();
        if (created) {
            EXPECT_EQ(5, filter->CheckText("x wai gua", 0)) << n;
        }
        filter->Uninit();
        Delete(filter);
        TearDown();
    }
}

// Rules are known by address: each rule gives its place in checking order,
// a phrase that only serves a combination (level 0) and anything else none,
// and the phrase a combination names is the rule itself, not a copy.
TEST_F(RuleIndexTest, OrdinalsFollowCheckingOrder) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{5, {kRefWai, kRefGua}}, {0, {kRefNi, kRefHao}}, {7, {kRefFa, kRefLun}}};
    rules.combos = {{9, {300001, kRefGong}}, {6, {300002, kRefWai}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_TRUE(filter->Init());
    int expected = 0;
    for (const CMatcherList::Node* node = filter->Rules().First(); node; node = node->next)
        EXPECT_EQ(expected++, filter->Index().Ordinal(node->matcher));
    EXPECT_EQ(4, expected);
    for (const CMatcherList::Node* node = g_syllables.First(); node; node = node->next)
        EXPECT_EQ(-1, filter->Index().Ordinal(node->matcher));
    const CMatcher* dormant = nullptr;  // the level-0 phrase, a part of the second combination
    const CComboRule* second = As<CComboRule>(filter->Index().Rule(2));
    ASSERT_NE(second, nullptr);
    for (const CMatcherList::Node* part = second->Parts().First(); part; part = part->next)
        if (part->matcher->GetLevel() == 0) dormant = part->matcher;
    ASSERT_NE(dormant, nullptr);
    EXPECT_EQ(-1, filter->Index().Ordinal(dormant));
    EXPECT_EQ(9, filter->CheckText("wai gua gong", 0));
    EXPECT_EQ(7, filter->CheckText("fa lun", 0));
    EXPECT_EQ(6, filter->CheckText("ni hao wai", 0));
    EXPECT_EQ(5, filter->CheckText("wai gua", 0));
    filter->Uninit();
    Delete(filter);
}

// A check tries its first few candidates picked out one at a time and sorts
// the rest: a decider far down the checking order, past rules the ceiling
// skips, must still be the first that can decide.
TEST_F(RuleIndexTest, DecidesInCheckingOrderFarDownTheCandidates) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    int level = 1;
    for (int first : {kRefWai, kRefGua, kRefNi, kRefHao})
        for (int second : {kRefWai, kRefGua, kRefNi, kRefHao}) rules.phrases.push_back({level++, {first, second}});
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    // Every ordered pair of the four syllables follows one another here.
    const std::string line = "wai wai gua gua ni ni hao hao wai ni gua hao ni wai hao gua wai";
    for (int ceiling = 1; ceiling <= 16; ++ceiling) {
        EXPECT_EQ(ceiling, filter->CheckText(line.c_str(), ceiling));
        Compare(filter, line, ceiling);
    }
    EXPECT_EQ(16, m_matched);
    filter->Uninit();
    Delete(filter);
}

// A syllable whose split form equals its romanised form occurs twice at each
// place; following each occurrence separately doubled the work per syllable.
TEST_F(RuleIndexTest, RepeatedOccurrencesDoNotMultiplyTheWork) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = {{"ba", {0xB0, 0xCB, 0xCB}, "ba"}, {"zu", {0xD7, 0xE3, 0xE3}}};
    LevelRow phrase{5, std::vector<int>(31, 200001)};
    phrase.refs.push_back(200002);
    rules.phrases = {phrase};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    std::string line;
    for (int i = 0; i < 40; ++i) line += "ba";
    // Counted, not timed: each place meets each of the 32 trie nodes at most
    // once, whatever the number of ways to get there.
    const unsigned long long before = filter->Index().Steps();
    EXPECT_EQ(0, filter->CheckText(line.c_str(), 0));
    EXPECT_LE(filter->Index().Steps() - before, 32u * 2u * line.size());
    filter->Uninit();
    Delete(filter);
}

// Phrases that share their first syllables were each followed from every place
// those occur: 10,000 of them on 4 KiB of their shared start took 24 s.
TEST_F(RuleIndexTest, PhrasesSharingAStartAreFollowedOnce) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = {{"wai", {0xCD, 0xE2, 0xE2}}, {"gua", {0xB9, 0xD2, 0xD2}}};
    // Syllables that never occur in the line: a letter pair each, and a
    // character of their own.
    for (int i = 0; i < 10000; ++i) {
        const std::string romanised = {'q', static_cast<char>('a' + i % 26), static_cast<char>('a' + i / 26 % 26),
                                       static_cast<char>('a' + i / 676)};
        const unsigned char lead = static_cast<unsigned char>(0xD8 + i / 94);
        const unsigned char trail = static_cast<unsigned char>(0xA1 + i % 94);
        rules.syllables.push_back({romanised, {lead, trail, trail}});
        rules.phrases.push_back({1 + i % 63, {200001, 200002, 200003 + i}});
    }
    rules.phrases.push_back({1, {200001, 200002, 200001, 200002, 200002}});
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    std::string line;
    while (line.size() < 4096) line += "waigua";
    // Counted, not timed: a few trie nodes a place, not one per phrase.
    const unsigned long long before = filter->Index().Steps();
    EXPECT_EQ(0, filter->CheckText(line.c_str(), 0));
    EXPECT_LE(filter->Index().Steps() - before, 8u * line.size());
    line += "gua";
    EXPECT_EQ(1, filter->CheckText(line.c_str(), 0));
    EXPECT_EQ(static_cast<int>(line.size()) - 15, filter->MatchOffset());
    filter->Uninit();
    Delete(filter);
}

}  // namespace
}  // namespace chatsieve::test
