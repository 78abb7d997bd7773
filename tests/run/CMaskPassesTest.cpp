// The passes that follow a decider along a line, against whole checks
// (support/MaskingComparison.h), on random rule sets and every short line,
// and what following costs.
#include <gtest/gtest.h>

#include <string>

#include "../support/MaskingComparison.h"
#include "matchers/CPhraseRule.h"
#include "platform/MbText.h"
#include "run/CMaskPasses.h"
#include "run/CRuleIndex.h"

namespace chatsieve::test {
namespace {

class MaskPassesTest : public MaskingComparison {};

TEST_F(MaskPassesTest, AgreesWithWholeChecksOnRandomRuleSets) {
    unsigned long followed = 0, followedWritten = 0, cut = 0;
    for (unsigned seed = 1; seed <= Effort(400, 100); ++seed) {
        Generator random(seed);
        SCOPED_TRACE(seed);
        TestFilter* filter = New<TestFilter>(random.Rules());
        if (filter->Init()) {
            for (int i = 0; i < 40; ++i) {
                const std::string line = random.Line();
                const unsigned sizes[] = {static_cast<unsigned>(line.size() + 1),
                                          static_cast<unsigned>(random.Pick(static_cast<int>(line.size()) + 1))};
                Compare(filter, line, sizes[random.Pick(4) == 0], random.Pick(4));
                if (HasFatalFailure()) break;
            }
            followed += filter->FollowedPasses();
            if (random.Written()) followedWritten += filter->FollowedPasses();
            cut += filter->CutChecks();
            filter->Uninit();
        }
        Delete(filter);
        TearDown();
        if (HasFatalFailure()) return;
    }
    // The comparison means something: lines are masked, many passes follow
    // a phrase, written-mode sets among them, and some lines reveal.
    EXPECT_GT(m_masked, m_compared / 3);
    EXPECT_GT(followed, static_cast<unsigned long>(m_compared));
    EXPECT_GT(followedWritten, followed / 10);
    EXPECT_GT(cut, static_cast<unsigned long>(m_compared / 4));
    EXPECT_GT(m_revealed, 0);
}

TEST_F(MaskPassesTest, AgreesWithWholeChecksOnEveryShortLine) {
    RuleSet rules;
    rules.skipSets = {{0x20, 0x20, 0x2A, 0x2A, -1, 0xA1, 0xA1, 0xA1}};
    rules.syllables = {
        {"a", {0xB0, 0xA1, 0xA1}}, {"b", {0xB0, 0xA2, 0xA2}}, {"ab", {0xB1, 0xA1, 0xA1}}, {"c", {0xB1, 0xA2, 0xA2}}};
    // Repeats, overlaps, a one-syllable phrase and one above another.
    rules.phrases = {{3, {200001, 200002}}, {2, {200003}}, {5, {200001, 200001, 200002}}, {1, {200002, 200001}}};
    rules.combos = {{4, {200004, 300004}}};
    CompareEveryShortLine(rules, {"a", "b", " ", "*", "\xB0\xA1", "\xB0\xA2", "\xB1\xA1", "\xB0", "c"},
                          Effort(10000, 2000));
}

// Written mode: full-width letters fold to one byte, and the phrases' edges
// keep them clear of letters and digits unless fillers stood between. A cut
// leaves fillers where the match was, so what follows it is no longer run on
// from the letter before.
TEST_F(MaskPassesTest, AgreesWithWholeChecksOnEveryShortWrittenLine) {
    RuleSet rules;
    rules.skipSets = {{0x20, 0x20, 0x2A, 0x2A, -1, 0xA1, 0xA1, 0xA1}};
    rules.syllables = {{"a", {0xB0, 0xA1, 0xA1}}, {"b", {0xB0, 0xA2, 0xA2}}, {"c", {0xB1, 0xA1, 0xA1}}};
    rules.phrases = {{3, {200001, 200002}}, {2, {200002}}, {5, {200003, 200001}}, {1, {200002, 200001}}};
    rules.phraseEdges = {CPhraseRule::kEdgeStart | CPhraseRule::kEdgeEnd, CPhraseRule::kEdgeStart,
                         CPhraseRule::kEdgeEnd, 0};
    rules.folds = {{0xA3, 0xE1, 0xE3, 'a'}};
    CompareEveryShortLine(rules, {"a", "b", "c", "1", " ", "*", "\xB0\xA1", "\xB0\xA2", "\xA3\xE1"},
                          Effort(10000, 2000));
}

// Allowed expressions around the matches, and parts of an earlier
// combination next to them: the passes follow there too, and must agree.
TEST_F(MaskPassesTest, AgreesWithWholeChecksNearAllowedExpressionsAndCombinationParts) {
    RuleSet rules;
    rules.skipSets = {{0x20, 0x20, 0x2A, 0x2A, -1, 0xA1, 0xA1, 0xA1}};
    rules.syllables = {
        {"a", {0xB0, 0xA1, 0xA1}}, {"b", {0xB0, 0xA2, 0xA2}}, {"c", {0xB1, 0xA1, 0xA1}}, {"d", {0xB1, 0xA2, 0xA2}}};
    rules.phrases = {{3, {200001, 200002}}, {1, {200002}}};
    // Above the phrases: c and d together, and c with the phrase "b".
    rules.combos = {{5, {200003, 200004}}, {4, {200003, 300002}}};
    rules.allow = {{"ca", {}}, {"bab", {}}, {"dd", {300002}}};
    CompareEveryShortLine(rules, {"a", "b", "c", "d", " ", "*", "\xB0\xA1", "\xB0"}, Effort(10000, 1500));
}

// Three shapes of line that once took a whole check per pass: an allowed
// expression anywhere in the line, and a part of an earlier combination next
// to each match. Counted: the passes answered without one.
TEST_F(MaskPassesTest, AllowedExpressionsAndCombinationPartsKeepThePassesFollowing) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{60, {kRefWai, kRefGua}}};
    // ni with hao (never in the line) outranks wai gua.
    rules.combos = {{70, {kRefNi, kRefHao}}};
    rules.allow = {{"falun", {}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    const std::string waigua = "\xCD\xE2\xB9\xD2";
    for (const std::string& next : {std::string(), std::string("ni")}) {
        std::string line = "falun ";
        while (line.size() < 1200 * (4 + next.size())) line += waigua + next;
        std::string out(line.size() + 1, '#');
        const unsigned long before = filter->FollowedPasses();
        EXPECT_EQ(60, filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size()), 1));
        // 1,000 passes: the first check, then a few whole checks at most.
        EXPECT_GE(filter->FollowedPasses() - before, 995u) << next;
        EXPECT_EQ(0u, out.find("falun ****")) << next;
        Compare(filter, line.substr(0, 4000), 4001, 1);
        // With hao at the end, the combination decides first.
        Compare(filter, line.substr(0, 400) + "hao", 4001, 1);
    }
    filter->Uninit();
    Delete(filter);
}

// A combination decides each pass: its last part's span is masked, and the
// passes follow that phrase while the other parts stay where they were.
TEST_F(MaskPassesTest, ACombinationDecidingKeepsThePassesFollowing) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    // ni hao and wai gua are parts only; together they are level 20.
    rules.phrases = {{0, {kRefNi, kRefHao}}, {0, {kRefWai, kRefGua}}, {5, {kRefFa, kRefLun}}};
    rules.combos = {{20, {300001, 300002}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    const std::string unit = std::string(kNi) + kHao + "\xCD\xE2\xB9\xD2";
    std::string line;
    while (line.size() < 1200 * unit.size()) line += unit;
    std::string out(line.size() + 1, '#');
    EXPECT_EQ(20, filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size()), 1));
    // 1,000 passes: the first check, one whole check after the first cut (ni
    // hao's search read up to it), then the passes follow.
    EXPECT_GE(filter->FollowedPasses(), 995u);
    EXPECT_EQ(std::string(kNi) + kHao + "****" + kNi + kHao + "****", out.substr(0, 16));
    Compare(filter, line.substr(0, 4000), 4001, 1);
    Compare(filter, line.substr(0, 400) + "falun", 4001, 1);
    Compare(filter, "falun" + line.substr(0, 400), 4001, 1);
    filter->Uninit();
    Delete(filter);

    // Of two syllables, the last is followed: every hao after the first ni.
    rules.phrases = {{5, {kRefFa, kRefLun}}};
    rules.combos = {{20, {kRefNi, kRefHao}}};
    filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    line.clear();
    while (line.size() < 1200 * 4) line += std::string(kNi) + kHao;
    out.assign(line.size() + 1, '#');
    EXPECT_EQ(20, filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size()), 1));
    EXPECT_GE(filter->FollowedPasses(), 995u);
    EXPECT_EQ(std::string(kNi) + "**" + kNi + "**", out.substr(0, 8));
    Compare(filter, line.substr(0, 400) + "wai", 4001, 1);
    Compare(filter, "hao" + line.substr(0, 400), 4001, 1);
    filter->Uninit();
    Delete(filter);
}

// Masking QQ between "wai" and "gua" turns it into filler: what is left
// reads "waigua", worse than QQ, and is masked and reported too.
TEST_F(MaskPassesTest, AnExpressionMaskingRevealsIsMaskedAndReported) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.syllables.push_back({"kou", {0xBF, 0xDB, 0xDB}});
    rules.phrases = {{60, {kRefWai, kRefGua}}, {20, {200009, 200009}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    const std::string line = "wai\xBF\xDB\xBF\xDBgua";
    char out[32];
    EXPECT_EQ(20, filter->FilterText(line.c_str(), nullptr, 0, 1));  // no masking, nothing revealed
    EXPECT_EQ(60, filter->FilterText(line.c_str(), out, sizeof out - 1, 1));
    EXPECT_STREQ("**********", out);
    // Asked to mask only from level 30 up, QQ stays and reveals nothing.
    EXPECT_EQ(20, filter->FilterText(line.c_str(), out, sizeof out - 1, 30));
    EXPECT_EQ(line, out);
    // Where nothing is revealed, each occurrence still takes its own pass.
    EXPECT_EQ(60, filter->FilterText("wai gua, \xBF\xDB\xBF\xDB waigua", out, sizeof out - 1, 1));
    EXPECT_STREQ("*** ***, **** ******", out);
    filter->Uninit();
    Delete(filter);
}

// A phrase search that fails after a one-byte first syllable resumes two
// bytes on, inside a two-byte character when one follows. Cutting a match out
// can put such a character right after that syllable: the search then reads
// the rest of the line out of step, and finds what it never could before.
TEST_F(MaskPassesTest, ASearchPutOutOfStepByACutIsSeen) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    // "a" is also the character read across 中|文 (D0CE), "qq" the one across
    // 文|中 (C4D6); "zh" is 中 (D6D0).
    rules.syllables = {{"a", {0xD0, 0xCE, 0xCE}}, {"qq", {0xC4, 0xD6, 0xD6}}, {"zh", {0xD6, 0xD0, 0xD0}}};
    rules.phrases = {{60, {200001, 200002}}, {50, {200003}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    std::string line = "azh";
    for (int i = 0; i < 40; ++i) line += "\xB0\xA1";
    line += "\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4";
    EXPECT_EQ(50, filter->FilterText(line.c_str(), nullptr, 0, 1));
    Compare(filter, line, static_cast<unsigned>(line.size() + 1), 1);
    EXPECT_EQ(60, Filter(filter, line, static_cast<unsigned>(line.size() + 1), 1, Passes::kAsShipped).level);
    filter->Uninit();
    Delete(filter);
}

// A copy cut short can end in something the whole line does not show: an
// allowed expression cut in half no longer hides what it held.
TEST_F(MaskPassesTest, ACutCopyIsScreenedAsShown) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{40, {kRefFa, kRefLun}}, {10, {kRefNi}}};
    rules.allow = {{"falungong", {}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    char out[32];
    EXPECT_EQ(10, filter->FilterText("ni falungong", out, sizeof out - 1, 1));
    EXPECT_STREQ("** falungong", out);
    EXPECT_EQ(40, filter->FilterText("ni falungong", out, 8, 1));
    EXPECT_STREQ("** *****", out);
    filter->Uninit();
    Delete(filter);
}

// The cut copy shows 卖号's homophone, which the whole line's allowed
// expression hid: what is masked there is reported, whatever minLevel is.
TEST_F(MaskPassesTest, WhatACutCopyMasksIsReported) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.syllables.push_back({"mai", {0xC2, 0xF1, 0xF6}});
    rules.phrases = {{40, {kRefA + 1, kRefHao}}};
    const std::string line = "\xC2\xF2\xBA\xC3\xD7\xB0\xB1\xB8";  // 买好装备
    rules.allow = {{line, {}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    char out[16];
    EXPECT_EQ(0, filter->FilterText(line.c_str(), out, sizeof out - 1, 40));
    EXPECT_EQ(line, out);
    for (int minLevel : {0, 1, 40}) {
        EXPECT_EQ(40, filter->FilterText(line.c_str(), out, 5, minLevel)) << minLevel;
        EXPECT_STREQ("****", out);
    }
    EXPECT_EQ(0, filter->FilterText(line.c_str(), out, 5, 41));
    EXPECT_STREQ("\xC2\xF2\xBA\xC3", out);
    filter->Uninit();
    Delete(filter);
}

// Each pass used to check the whole line again: a mebibyte of one
// expression took about 40 s with the shipped rules.
TEST_F(MaskPassesTest, RepeatedExpressionsCostAboutOneCheck) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{60, {kRefWai, kRefGua}}, {20, {kRefNi, kRefHao}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    std::string line;
    while (line.size() + 9 <= Effort(1u << 20, 1u << 18)) line += "\xCD\xE2\xB9\xD2";
    line += "nihao";
    std::string out(line.size() + 1, '#');
    EXPECT_EQ(60, filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size()), 1));
    // Counted, not timed: every pass after the first check followed the
    // decider from the last mask instead of checking the whole line again.
    EXPECT_EQ(999u, filter->FollowedPasses());
    // The first thousand are masked, as ever; the rest stay.
    EXPECT_EQ(std::string(4000, '*') + "\xCD\xE2\xB9\xD2", out.substr(0, 4004));
    filter->Uninit();
    Delete(filter);
}

TEST_F(MaskPassesTest, ReachCoversEveryFormOfEverySyllable) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{5, {kRefA, kRefGong, kRefWai}}};
    TestFilter* filter = New<TestFilter>(rules);
    ASSERT_EQ(1, filter->Init());
    // "a" reads a character (2), "gong" its split form (4), "wai" 3.
    EXPECT_EQ(9, CMaskPasses::Reach(static_cast<CPhraseRule*>(filter->Rules().First()->matcher)));
    filter->Uninit();
    Delete(filter);
}

// The margin taken from the index's phrases and their syllable ids is the
// one the rules themselves give, on random sets with combinations and
// written-mode edges.
TEST_F(MaskPassesTest, MarginFromTheIndexIsTheRulesOwn) {
    const unsigned seeds = Effort(200, 50);
    unsigned reaching = 0;  // sets with a rule that reads more than a character
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        Generator random(seed);
        SCOPED_TRACE(seed);
        TestFilter* filter = New<TestFilter>(random.Rules());
        if (filter->Init()) {
            ASSERT_TRUE(filter->Index().Ready());
            CMaskPasses fromIndex, fromRules;
            const CRuleIndex unbuilt;
            fromIndex.Prepare(filter->Rules(), filter->SkipSets(), filter->AllowList(), filter->Index());
            fromRules.Prepare(filter->Rules(), filter->SkipSets(), filter->AllowList(), unbuilt);
            EXPECT_EQ(fromRules.Margin(), fromIndex.Margin());
            if (fromIndex.Margin() > 4) ++reaching;
            filter->Uninit();
        }
        Delete(filter);
    }
    EXPECT_GT(reaching, seeds / 2);
}

}  // namespace
}  // namespace chatsieve::test
