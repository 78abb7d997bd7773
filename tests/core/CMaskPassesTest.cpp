// Masking against its plain forms. Three ways of masking a line must agree:
//  - the filter as it is (the first check answers the first pass, passes
//    follow the deciding phrase along the line or check the last text with
//    the match cut out), and again with the passes following on every line,
//    however short;
//  - every pass a whole check of the line (UseMaskPasses off): the same
//    masked line and level, always;
//  - the old passes, each checked with the level just found as ceiling:
//    the same wherever no pass could see an expression above its ceiling,
//    that is wherever masking revealed nothing.
// On random rule sets built so that phrases repeat and '*' is mostly ignored,
// and on every short line over a small alphabet.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

#include "../support/RandomRules.h"
#include "../support/ShortLines.h"
#include "../support/TestEffort.h"
#include "../support/TestFilter.h"
#include "core/CMaskPasses.h"
#include "matchers/CPhraseRule.h"
#include "platform/MbText.h"

namespace chatsieve::test {
namespace {

struct Masked {
    int level = 0;
    std::string out;
    bool revealed = false;  // only for the old passes
};

class MaskPassesTest : public RuleTest {
protected:
    enum class Passes { kAsShipped, kFollowingEveryLine, kWholeChecks };
    static Masked Filter(TestFilter* filter, const std::string& line, unsigned outSize, int minLevel, Passes passes) {
        filter->UseMaskPasses(passes != Passes::kWholeChecks);
        filter->FollowOnShortLines(passes == Passes::kFollowingEveryLine);
        Masked m;
        m.out.assign(line.size() + 2, '#');
        m.level = filter->FilterText(line.c_str(), m.out.data(), outSize, minLevel);
        filter->UseMaskPasses(true);
        filter->FollowOnShortLines(false);
        return m;
    }

    // The passes as they were: a falling ceiling, each pass one whole check;
    // notes whether some pass's line held an expression above its ceiling.
    static Masked OldPasses(TestFilter* filter, const std::string& line, unsigned outSize, int minLevel) {
        Masked m;
        m.out.assign(line.size() + 2, '#');
        m.level = filter->CheckText(line.c_str(), 0);
        std::size_t n = line.size() + 1;
        if (outSize < n) n = outSize;
        BoundedCopy(m.out.data(), line.c_str(), n);
        m.out[n] = 0;
        int ceiling = minLevel > m.level ? minLevel : m.level;
        for (int pass = 0; pass < kMaxMaskPasses; ++pass) {
            if (filter->CheckText(m.out.c_str(), 0) > ceiling) m.revealed = true;
            ceiling = filter->CheckText(m.out.c_str(), ceiling);
            if (ceiling == 0 || ceiling < minLevel) break;
            // What is masked is reported, even where a cut copy shows more
            // than the line.
            if (ceiling > m.level) m.level = ceiling;
            for (int j = 0; j < filter->MatchLength(); ++j) {
                const std::size_t at = static_cast<std::size_t>(filter->MatchOffset() + j);
                if (at >= g_positionMap.Size()) continue;
                const std::size_t host = static_cast<std::size_t>(g_positionMap[at]);
                m.out[host] = '*';
                // A folded character: both its bytes.
                if (at < g_foldMarks.Size() && (g_foldMarks[at] & kFoldWide)) m.out[host + 1] = '*';
            }
        }
        return m;
    }

    void Compare(TestFilter* filter, const std::string& line, unsigned outSize, int minLevel) {
        const Masked plain = Filter(filter, line, outSize, minLevel, Passes::kWholeChecks);
        for (Passes passes : {Passes::kAsShipped, Passes::kFollowingEveryLine}) {
            const Masked fast = Filter(filter, line, outSize, minLevel, passes);
            ASSERT_EQ(plain.level, fast.level) << Hex(line) << " min " << minLevel << " size " << outSize;
            ASSERT_EQ(plain.out, fast.out) << Hex(line) << " min " << minLevel << " size " << outSize;
        }
        const Masked old = OldPasses(filter, line, outSize, minLevel);
        if (!old.revealed) {
            ASSERT_EQ(old.level, plain.level) << Hex(line);
            ASSERT_EQ(old.out, plain.out) << Hex(line);
        } else {
            ++m_revealed;
            // What is shown holds nothing worth masking, and the level
            // reported is at least that of the line itself.
            const int shown = filter->CheckText(plain.out.c_str(), 0);
            ASSERT_TRUE(shown == 0 || shown < minLevel) << Hex(line) << " shows " << Hex(plain.out);
            ASSERT_GE(plain.level, old.level) << Hex(line);
        }
        // Whatever is masked was found at minLevel or above, and the level
        // returned covers it: at least the worst the copy shows.
        const std::string copy = plain.out.c_str();
        const std::string shown = line.substr(0, copy.size());
        if (copy != shown) {
            const int worst = filter->CheckText(shown.c_str(), 0);
            ASSERT_GE(plain.level, minLevel > 1 ? minLevel : 1) << Hex(line) << " size " << outSize;
            if (worst >= minLevel) {
                ASSERT_GE(plain.level, worst) << Hex(line) << " size " << outSize;
            }
        }
        ++m_compared;
        m_masked += plain.out.compare(0, line.size(), line) != 0;
    }

    // Every line of up to six of `symbols`, whole, at two minimum levels;
    // the passes must have followed more than `followed` times.
    void CompareEveryShortLine(const RuleSet& rules, const std::vector<std::string>& symbols, unsigned followed) {
        TestFilter* filter = New<TestFilter>(rules);
        ASSERT_EQ(1, filter->Init());
        ForEachShortLine(symbols, Effort(6, 5), [&](const std::string& line) {
            for (int minLevel : {0, 3}) Compare(filter, line, static_cast<unsigned>(line.size() + 1), minLevel);
            return !HasFatalFailure();
        });
        EXPECT_GT(filter->FollowedPasses(), followed);
        filter->Uninit();
        Delete(filter);
    }

    int m_compared = 0, m_masked = 0, m_revealed = 0;
};

// Rule sets whose phrases recur in the lines: syllables of one or two
// letters, one code range each over a handful of characters.
class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    RuleSet Rules() {
        RuleSet rules;
        // '*' is ignored in most sets (masked bytes drop out of the stripped
        // text), kept in some, and with or without a second ignore-set.
        if (Pick(5))
            rules.skipSets.push_back({0x20, 0x20, 0x2A, 0x2A, 0x2E, 0x2E, -1, 0xA1, 0xA1, 0xA1});
        else
            rules.skipSets.push_back({0x20, 0x20, -1, 0xA1, 0xA1, 0xA1});
        if (Pick(4) == 0) rules.skipSets.push_back({0x2D, 0x2D, -1});
        m_syllables.clear();
        const int syllables = 2 + Pick(5);
        for (int i = 0; i < syllables; ++i) {
            SyllableRow row;
            row.romanised = std::string(1, "abcd"[Pick(4)]);
            if (Pick(2)) row.romanised += "abcd"[Pick(4)];
            const unsigned char lead = Pick(2) ? 0xB0 : 0xB1;
            const unsigned char low = static_cast<unsigned char>(0xA1 + Pick(4));
            row.codes = {lead, low, static_cast<unsigned char>(low + Pick(2))};
            if (Pick(4) == 0) {
                m_splits.push_back(std::string(1, "xyz"[Pick(3)]) + "xyz"[Pick(3)]);
                row.split = m_splits.back().c_str();
            }
            rules.syllables.push_back(row);
            m_syllables.push_back(row);
        }
        m_phrases.clear();
        for (int i = 1 + Pick(5); i > 0; --i) {
            LevelRow row{Pick(6), {}};
            std::vector<int> parts;
            for (int n = 1 + Pick(3); n > 0; --n) {
                parts.push_back(Pick(syllables));
                row.refs.push_back(200001 + parts.back());
            }
            rules.phrases.push_back(row);
            m_phrases.push_back(parts);
        }
        for (int i = Pick(3); i > 0; --i) {
            LevelRow row{1 + Pick(6), {}};
            for (int n = 1 + Pick(2); n > 0; --n)
                row.refs.push_back(Pick(2) ? 200001 + Pick(syllables)
                                           : 300001 + Pick(static_cast<int>(rules.phrases.size())));
            rules.combos.push_back(row);
        }
        // Written-mode sets: full-width letters fold to ASCII, and phrases
        // keep their edges clear of letters and digits around them.
        m_written = Pick(3) == 0;
        if (m_written) {
            rules.folds = {{0xA3, 0xE1, 0xE4, 'a'}, {0xA3, 0xC1, 0xC4, 'A'}};
            for (std::size_t i = 0; i < rules.phrases.size(); ++i) rules.phraseEdges.push_back(Pick(4));
        }
        for (int i = Pick(4) == 0 ? 1 + Pick(3) : 0; i > 0; --i) {
            AllowRow allow{Form(Pick(syllables)) + Form(Pick(syllables)), {}};
            if (Pick(3) == 0) allow.rules.push_back(300001 + Pick(static_cast<int>(rules.phrases.size())));
            rules.allow.push_back(allow);
        }
        return rules;
    }

    // One way of writing a syllable: its letters in either case, its split
    // form, or a character of its range.
    std::string Form(int syllable) {
        const SyllableRow& row = m_syllables[static_cast<std::size_t>(syllable)];
        const int way = Pick(row.split ? 4 : 3);
        if (way == 0) {
            std::string word;
            for (char c : row.romanised) {
                if (Pick(2)) c = static_cast<char>(c - 'a' + 'A');
                // A full-width letter, folded back to this one.
                if (m_written && Pick(3) == 0)
                    word += {'\xA3', static_cast<char>(0x80 + static_cast<unsigned char>(c))};
                else
                    word += c;
            }
            return word;
        }
        if (way == 3) return row.split;
        return std::string{static_cast<char>(row.codes[0]), static_cast<char>(row.codes[1] + Pick(2))};
    }

    std::string Line() {
        std::string line;
        const std::string fillers[] = {" ",        "*",        "-",    ".", "e", "\xA1\xA1",
                                       "\xB0\xA5", "\xB2\xA1", "\xA1", "a", "1", "\xA3\xE2"};
        for (int n = Pick(20); n > 0; --n) {
            if (Pick(3)) {
                // A phrase, now and then with a filler slipped in.
                const std::vector<int>& phrase =
                    m_phrases[static_cast<std::size_t>(Pick(static_cast<int>(m_phrases.size())))];
                for (int s : phrase) {
                    line += Form(s);
                    if (Pick(6) == 0) line += fillers[Pick(12)];
                }
            } else {
                line += fillers[Pick(12)];
            }
        }
        return line;
    }

private:
    std::mt19937 m_random;
    std::vector<SyllableRow> m_syllables;
    std::vector<std::vector<int>> m_phrases;
    std::deque<std::string> m_splits;
    bool m_written = false;

public:
    bool Written() const { return m_written; }
};

TEST_F(MaskPassesTest, AgreesWithWholeChecksOnRandomRuleSets) {
    unsigned long followed = 0, followedWritten = 0, cut = 0;
    for (unsigned seed = 1; seed <= Effort(400, 100); ++seed) {
        Generator random(seed);
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

}  // namespace
}  // namespace chatsieve::test
