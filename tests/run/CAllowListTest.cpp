// Allowed expressions: what the automaton finds, what a check and the masking
// then see, and the whole path against a plain reference that searches for
// every expression at every character and tries every rule on its own view.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>

#include "../support/ShortLines.h"
#include "../support/TestEffort.h"
#include "../support/TestFilter.h"
#include "platform/CodePage.h"
#include "run/CAllowList.h"

namespace chatsieve::test {
namespace {

const std::string kWaiGua = std::string(kWai) + kGua;
const std::string kNiHao = std::string(kNi) + kHao;

// wai gua (level 5, row 1), ni hao (level 2, row 2); a combination of wai and
// hao (level 7, row 1).
RuleSet AllowRules(std::vector<AllowRow> allow) {
    RuleSet rules;
    rules.skipSets = {StandardSkipSet()};
    rules.syllables = StandardSyllables();
    rules.phrases = {{5, {kRefWai, kRefGua}}, {2, {kRefNi, kRefHao}}};
    rules.combos = {{7, {kRefWai, kRefHao}}};
    rules.allow = std::move(allow);
    return rules;
}

class AllowTest : public FilterTestBase {
protected:
    std::string Mask(const std::string& line, int* level = nullptr) {
        std::string out(line.size() + 2, '#');
        const int result = m_filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size() + 1), 1);
        if (level) *level = result;
        return out.c_str();
    }
};

TEST_F(AllowTest, FindsEveryOccurrenceOnCharacterStartsInAnyLetterCase) {
    CAllowList list;
    ASSERT_TRUE(list.Add("gua", nullptr, 0));
    ASSERT_TRUE(list.Add("uaw", nullptr, 0));
    ASSERT_TRUE(list.Add("\xB0\xA1", nullptr, 0));
    CMatcherList none;
    ASSERT_TRUE(list.Build(none, none));
    const char b = static_cast<char>(list.BreakByte());

    char text[] = "xGUAwa";
    EXPECT_EQ(0, list.Hide(text));
    // Overlapping occurrences are both hidden, as one run.
    EXPECT_EQ(std::string("x") + b + b + b + b + "a", text);
    ASSERT_EQ(1u, list.Hits().Size());
    EXPECT_EQ(1, list.Hits()[0].offset);
    EXPECT_EQ(4, list.Hits()[0].length);
    list.RecordEveryHit(true);
    char again[] = "xGUAwa";
    EXPECT_EQ(0, list.Hide(again));
    EXPECT_EQ(text, std::string(again));
    ASSERT_EQ(2u, list.Hits().Size());  // each for the tools
    list.RecordEveryHit(false);

    // B0A1 read from the middle of A1B0 A1..: the second byte of a character
    // never starts an occurrence.
    char inside[] = "\xA1\xB0\xA1\xA1";
    EXPECT_EQ(0, list.Hide(inside));
    EXPECT_STREQ("\xA1\xB0\xA1\xA1", inside);
    char whole[] = "a\xB0\xA1";
    list.Hide(whole);
    EXPECT_EQ(std::string("a") + b + b, whole);
}

TEST_F(AllowTest, RefusesEntriesTheFilterCouldNotFind) {
    CAllowList list;
    EXPECT_FALSE(list.Add("", nullptr, 0));
    EXPECT_FALSE(list.Add(nullptr, nullptr, 0));
    EXPECT_FALSE(list.Add("ab\xB0", nullptr, 0));  // ends in half a character
    EXPECT_TRUE(list.Empty());
}

TEST_F(AllowTest, TheBreakIsNoByteOfAnySyllableForm) {
    RuleSet rules = AllowRules({{kWaiGua, {}}});
    rules.syllables[0].split = "\x01\x02z";
    Create(rules);
    EXPECT_EQ(3, m_filter->AllowList().BreakByte());
}

TEST_F(AllowTest, HidesTheExpressionFromEveryRuleAndFromMasking) {
    Create(AllowRules({{kWaiGua, {}}}));
    int level = 0;
    EXPECT_EQ(kWaiGua, Mask(kWaiGua, &level));
    EXPECT_EQ(0, level);
    // Fillers between its characters do not make it another text.
    const std::string spaced = std::string(kWai) + " , " + kGua;
    EXPECT_EQ(spaced, Mask(spaced, &level));
    EXPECT_EQ(0, level);
    // Only the occurrence is hidden: the same syllables written otherwise are caught.
    EXPECT_EQ("x *** ***", Mask("x wai gua", &level));
    EXPECT_EQ(5, level);
    EXPECT_EQ(kWaiGua + " *** ***", Mask(kWaiGua + " wai gua", &level));
    EXPECT_EQ(5, level);
}

TEST_F(AllowTest, NoRuleMatchesAcrossItsEdge) {
    // "hao" of the allowed text cannot complete ni hao before it, nor the
    // combination of wai and hao.
    Create(AllowRules({{std::string(kHao) + "x", {}}}));
    int level = 0;
    const std::string line = std::string("wai ") + kNi + kHao + "x";
    EXPECT_EQ(line, Mask(line, &level));
    EXPECT_EQ(0, level);
    EXPECT_EQ(line + " ***", Mask(line + " hao", &level));
    EXPECT_EQ(7, level);
}

TEST_F(AllowTest, AnEntryLimitedToRulesHidesFromThoseAlone) {
    // wai gua allowed for the combination only: the phrase still sees it.
    Create(AllowRules({{kWaiGua, {400001}}, {kNiHao, {300002}}}));
    EXPECT_EQ(5, m_filter->CheckText((kWaiGua + "hao").c_str(), 0));
    // ni hao is hidden from its own phrase, but the combination still sees hao.
    EXPECT_EQ(7, m_filter->CheckText(("wai" + kNiHao).c_str(), 0));
    EXPECT_EQ(0, m_filter->CheckText(kNiHao.c_str(), 0));
    int level = 0;
    EXPECT_EQ(kNiHao + " ** ***", Mask(kNiHao + " ni hao", &level));
    EXPECT_EQ(2, level);
}

TEST_F(AllowTest, AnEntryNamesItsRulesInAnyOrderBeforeItIsBuilt) {
    // The loader asks which rules an entry covers before the list is built,
    // and rows name rules in whatever order their addresses fall.
    CMatcher* const rules[] = {reinterpret_cast<CMatcher*>(0x3000), reinterpret_cast<CMatcher*>(0x1000),
                               reinterpret_cast<CMatcher*>(0x2000)};
    CAllowList list;
    ASSERT_TRUE(list.Add("gua", rules, 3));
    for (CMatcher* rule : rules) EXPECT_TRUE(list.Covers(0, rule)) << rule;
    EXPECT_FALSE(list.Covers(0, reinterpret_cast<CMatcher*>(0x1800)));
    list.Reset();
}

TEST_F(AllowTest, AnExpressionThatStripsToNothingHidesNothing) {
    Create(AllowRules({{" , ", {}}}));
    EXPECT_EQ(5, m_filter->CheckText(("wai , " + std::string(kGua)).c_str(), 0));
}

TEST_F(AllowTest, FailsTheFilterWhenItCannotBeBuilt) {
    for (long n = 0; n < 300; ++n) {
        TestFilter* filter = New<TestFilter>(AllowRules({{kWaiGua, {}}, {"nihao", {300001}}}));
        FailAllocationsAfter(n);
        const int created = filter->Init();
        ResetAllocationFailures();
        // A filter either has its allowed expressions or is not made.
        if (created) {
            EXPECT_EQ(0, filter->CheckText(kWaiGua.c_str(), 0)) << n;
        }
        filter->Uninit();
        Delete(filter);
        TearDown();
    }
}

// Written twice, an expression is one: it covers the rules of both copies,
// and an occurrence is one hit however many copies there are.
TEST_F(AllowTest, CopiesOfAnExpressionAreOneExpression) {
    const std::string line = kWaiGua + "hao";
    Create(AllowRules({{kWaiGua, {300001}}, {kWaiGua, {400001}}}));
    EXPECT_EQ(0, m_filter->CheckText(line.c_str(), 0));  // hidden from the phrase and the combination
    ASSERT_EQ(1u, m_filter->AllowList().Hits().Size());
    TearDown();
    Create(AllowRules({{kWaiGua, {400001}}}));
    EXPECT_EQ(5, m_filter->CheckText(line.c_str(), 0));
    TearDown();

    // Thousands of copies, some for every rule: one hit per occurrence.
    std::vector<AllowRow> copies;
    for (int i = 0; i < 20000; ++i) copies.push_back({kWaiGua, i % 3 ? std::vector<int>{300001} : std::vector<int>{}});
    Create(AllowRules(copies));
    std::string repeated;
    for (int i = 0; i < 1000; ++i) repeated += kWaiGua + " x ";
    EXPECT_EQ(0, m_filter->CheckText((repeated + "hao").c_str(), 0));
    EXPECT_EQ(1000u, m_filter->AllowList().Hits().Size());
    EXPECT_TRUE(m_filter->AllowList().CoversAll(0));
}

// a, aa, aaa, ...: on a line of a, every byte ends an occurrence of each
// entry not longer than the text before it. Hiding needs only the longest.
TEST_F(AllowTest, OverlappingExpressionsCostOneHitPerByte) {
    const int entries = static_cast<int>(Effort(1024, 256));
    CAllowList list;
    for (int i = 1; i <= entries; ++i)
        ASSERT_TRUE(list.Add(std::string(static_cast<std::size_t>(i), 'a').c_str(), nullptr, 0));
    CMatcherList none;
    ASSERT_TRUE(list.Build(none, none));
    std::string line(Effort(64 * 1024, 16 * 1024), 'A');
    EXPECT_EQ(0, list.Hide(line.data()));
    ASSERT_EQ(1u, list.Hits().Size());  // one run of them all
    EXPECT_EQ(static_cast<int>(line.size()), list.Hits()[0].length);
    EXPECT_EQ(std::string(line.size(), static_cast<char>(list.BreakByte())), line);
    // Listing every occurrence is for the tools, on short lines.
    list.RecordEveryHit(true);
    std::string few(5, 'a');
    EXPECT_EQ(0, list.Hide(few.data()));
    EXPECT_EQ(15u, list.Hits().Size());
    list.Reset();
}

// Entries limited to some rules count where they reach beyond what an entry
// for every rule hides at the same byte; shorter ones hide nothing more.
TEST_F(AllowTest, LimitedEntriesInsideAnOccurrenceForEveryRuleAddNothing) {
    Create(AllowRules({{"gua", {}}, {"ua", {300001}}, {"wai" + std::string("gua"), {300002}}}));
    EXPECT_EQ(0, m_filter->CheckText("waigua", 0));
    const TArray<CAllowList::Hit>& hits = m_filter->AllowList().Hits();
    ASSERT_EQ(2u, hits.Size());  // gua for every rule, waigua for ni hao; not ua
    EXPECT_STREQ("gua", m_filter->AllowList().Text(hits[0].entry));
    EXPECT_STREQ("waigua", m_filter->AllowList().Text(hits[1].entry));
}

// When the occurrences cannot be recorded, the rules see the line as if
// nothing were allowed: what the allowed expression hid is caught, and what
// it never touched is caught as ever. Never "nothing found".
TEST_F(AllowTest, FailsClosedWhenMemoryRunsOut) {
    // wai gua hidden from every rule, ni hao from its own phrase: the
    // combination of wai and hao finds no wai.
    Create(AllowRules({{kWaiGua, {}}, {kNiHao, {300002}}}));
    std::string allowed;
    for (int i = 0; i < 2000; ++i) allowed += kWaiGua + kNiHao;
    const std::string caught = allowed + "wai gua";
    const std::string plain = std::string(caught.size() + 16, 'x') + "waigua";
    ASSERT_EQ(0, m_filter->CheckText(allowed.c_str(), 0));
    m_filter->UseAllowList(false);
    ASSERT_EQ(7, m_filter->CheckText(allowed.c_str(), 0));
    m_filter->UseAllowList(true);
    ASSERT_EQ(7, m_filter->CheckText(caught.c_str(), 0));
    int closed = 0;
    for (long n = 0; n < 60; ++n) {
        TearDown();
        Create(AllowRules({{kWaiGua, {}}, {kNiHao, {300002}}}));
        // The buffers a check keeps grow first, on a line as long, with
        // nothing allowed in it.
        ASSERT_EQ(5, m_filter->CheckText(plain.c_str(), 0));
        FailAllocationsAfter(n);
        const int hidden = m_filter->CheckText(allowed.c_str(), 0);
        const int untouched = m_filter->CheckText(caught.c_str(), 0);
        ResetAllocationFailures();
        EXPECT_TRUE(hidden == 0 || hidden == 7) << n;
        EXPECT_EQ(7, untouched) << n;
        closed += hidden == 7;
    }
    EXPECT_GT(closed, 0);  // some failures did land in the allowed expressions
}

// An entry limited to some rules gives those rules a view of their own; the
// other rules still go through the index, so a line costs the few rules that
// can match it, not every rule.
TEST_F(AllowTest, AnEntryLimitedToRulesKeepsTheIndex) {
    RuleSet rules = AllowRules({{kNiHao, {300002}}});
    // Hundreds of phrases that never occur in the line.
    for (int a = 0; a < 8; ++a)
        for (int b = 0; b < 8; ++b)
            for (int c = 0; c < 6; ++c)
                if (a != b)
                    rules.phrases.push_back({1 + (a + b + c) % 9, {kRefFa, 200001 + a, 200001 + b, kRefLun + c % 2}});
    const int ruleCount = static_cast<int>(rules.phrases.size() + rules.combos.size());
    Create(rules);
    const std::string line = kNiHao + " x " + kWaiGua + " hao";
    for (bool index : {true, false}) {
        m_filter->UseRuleIndex(index);
        const unsigned long long before = m_filter->AllowList().RulesTried();
        EXPECT_EQ(7, m_filter->CheckText(line.c_str(), 0));
        EXPECT_EQ(0, m_filter->CheckText(kNiHao.c_str(), 0));
        const unsigned long long tried = m_filter->AllowList().RulesTried() - before;
        if (index)
            EXPECT_LE(tried, 4u);  // the combination; ni hao on its view; wai gua, not reached
        else
            EXPECT_GE(tried, static_cast<unsigned long long>(ruleCount));
    }
}

// The reference: every entry looked for at every character start of the
// stripped line, letters folded; each rule tried on its own view.
class Reference {
public:
    explicit Reference(TestFilter* filter, const std::vector<AllowRow>& allow) : m_filter(filter), m_allow(allow) {}

    int Check(const std::string& line, int ceiling, int* offset, int* length) {
        m_filter->UseAllowList(false);
        m_filter->CheckText(line.c_str(), ceiling);
        m_filter->UseAllowList(true);
        const char* work = m_filter->WorkBuffer();
        std::string stripped = work ? work : "";
        // A line of fillers alone is never offered to the rules.
        if (line.find_first_not_of(' ') == std::string::npos) return 0;
        if (ceiling == 0) ceiling = m_filter->HighestLevel() + 1;
        if (stripped.empty()) return 0;
        std::vector<bool> starts(stripped.size(), false);
        for (std::size_t i = 0; i < stripped.size(); i += IsLeadByte(static_cast<unsigned char>(stripped[i])) ? 2 : 1)
            starts[i] = true;
        std::vector<std::pair<std::size_t, std::size_t>> hits;  // (offset, entry)
        for (std::size_t i = 0; i < stripped.size(); ++i) {
            if (!starts[i]) continue;
            for (std::size_t e = 0; e < m_allow.size(); ++e)
                if (FoldedAt(stripped, i, m_allow[e].text)) hits.push_back({i, e});
        }
        const char b = static_cast<char>(m_filter->AllowList().BreakByte());
        std::string base = stripped;
        for (auto& hit : hits)
            if (m_allow[hit.second].rules.empty())
                base.replace(hit.first, m_allow[hit.second].text.size(), m_allow[hit.second].text.size(), b);
        int level = 0;
        for (const CMatcherList::Node* node = m_filter->Rules().First(); node; node = node->next) {
            std::string view = base;
            for (auto& hit : hits)
                if (Names(m_allow[hit.second], node->matcher))
                    view.replace(hit.first, m_allow[hit.second].text.size(), m_allow[hit.second].text.size(), b);
            if (node->matcher->Match(view.data(), 0, offset, length, &level) == 1 && level <= ceiling) return level;
        }
        return 0;
    }

private:
    static bool FoldedAt(const std::string& text, std::size_t at, const std::string& entry) {
        if (at + entry.size() > text.size()) return false;
        for (std::size_t k = 0; k < entry.size();) {
            const bool two = IsLeadByte(static_cast<unsigned char>(entry[k]));
            if (two) {
                if (text.compare(at + k, 2, entry, k, 2) != 0) return false;
                k += 2;
                continue;
            }
            if (std::tolower(static_cast<unsigned char>(text[at + k])) !=
                std::tolower(static_cast<unsigned char>(entry[k])))
                return false;
            ++k;
        }
        return true;
    }
    // The rules of AllowRules have a level each: phrase rows 5 and 2, the combination 7.
    static bool Names(const AllowRow& row, CMatcher* rule) {
        for (int ref : row.rules)
            if (rule->GetLevel() == (ref == 300001 ? 5 : ref == 300002 ? 2 : 7)) return true;
        return false;
    }

    TestFilter* m_filter;
    const std::vector<AllowRow>& m_allow;
};

TEST_F(AllowTest, AgreesWithThePlainReferenceOnRandomRuleSets) {
    const std::vector<std::string> tokens = {"a", "A", "g", "G", "h", "H", "i",  "I",  "n",  "N", "o",
                                             "O", "u", "U", "w", "W", " ", kWai, kGua, kHao, kNi, "\xB0\xA1"};
    int compared = 0, allowed = 0;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
        auto word = [&](int most) {
            std::string w;
            for (int i = pick(most + 1); i > 0; --i)
                w += tokens[static_cast<std::size_t>(pick(static_cast<int>(tokens.size())))];
            return w;
        };
        RuleSet rules = AllowRules({});
        for (int i = 1 + pick(5); i > 0; --i) {
            AllowRow row;
            do row.text = word(4);
            while (row.text.empty() || row.text.find(' ') != std::string::npos);
            // Copies of an earlier entry, and entries that overlap it.
            if (!rules.allow.empty() && pick(3) == 0) {
                const std::string& earlier =
                    rules.allow[static_cast<std::size_t>(pick(static_cast<int>(rules.allow.size())))].text;
                row.text = pick(2) ? earlier : earlier + row.text;
            }
            if (pick(3) == 0) row.rules.push_back(pick(2) ? 300001 + pick(2) : 400001);
            rules.allow.push_back(row);
        }
        Create(rules);
        Reference reference(m_filter, rules.allow);
        for (int i = 0; i < 80; ++i) {
            std::string line;
            for (int n = pick(6); n > 0; --n) line += word(3);
            for (bool index : {true, false}) {
                m_filter->UseRuleIndex(index);
                const int ceiling = pick(4) ? 0 : 1 + pick(7);
                int offset = 0, length = 0;
                const int expected = reference.Check(line, ceiling, &offset, &length);
                std::string entries;
                for (auto& row : rules.allow)
                    entries += "[" + row.text + (row.rules.empty() ? "" : ":" + std::to_string(row.rules[0])) + "]";
                ASSERT_EQ(expected, m_filter->CheckText(line.c_str(), ceiling))
                    << seed << " " << line << " " << entries << " c" << ceiling;
                if (expected) {
                    ASSERT_EQ(offset, m_filter->MatchOffset()) << seed << " " << line;
                    ASSERT_EQ(length, m_filter->MatchLength()) << seed << " " << line;
                }
                ++compared;
                allowed += !m_filter->AllowList().Hits().Empty();
            }
        }
        TearDown();
    }
    EXPECT_GT(allowed, compared / 10);  // the expressions do occur
}

// Hide takes its steps through a direct-mapped memo of (node, symbol)
// steps: a few hundred expressions over a few letters make more steps than
// it holds, and a memo made small has steps share its slots all the time.
// What is hidden must still be every occurrence a plain search finds.
TEST_F(AllowTest, ManyExpressionsHideWhatAPlainSearchFinds) {
    const std::string letters = "aAgGiInNoOuUwWhH";
    for (unsigned seed = 1; seed <= Effort(12, 3); ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
        auto word = [&](std::size_t from, std::size_t to) {
            std::string w;
            for (std::size_t i = from + pick(to - from + 1); i > 0; --i) w += letters[pick(letters.size())];
            return w;
        };
        std::vector<AllowRow> allow;
        for (int i = 0; i < 400; ++i) allow.push_back({word(2, 7), {}});
        Create(AllowRules(allow));
        if (seed % 2 == 0) {
            ASSERT_TRUE(m_filter->AllowList().SetMemoBits(seed % 4 == 0 ? 1 : 3));
        }
        const char breakByte = static_cast<char>(m_filter->AllowList().BreakByte());
        for (int n = 0; n < 20; ++n) {
            const std::string line = word(200, 300);
            m_filter->CheckText(line.c_str(), 0);
            std::string expected = line;
            for (std::size_t at = 0; at < line.size(); ++at)
                for (const AllowRow& row : allow)
                    if (at + row.text.size() <= line.size() &&
                        std::equal(row.text.begin(), row.text.end(), line.begin() + static_cast<std::ptrdiff_t>(at),
                                   [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
                        std::fill(expected.begin() + static_cast<std::ptrdiff_t>(at),
                                  expected.begin() + static_cast<std::ptrdiff_t>(at + row.text.size()), breakByte);
            ASSERT_STREQ(expected.c_str(), m_filter->WorkBuffer()) << "seed " << seed << " line " << line;
        }
        TearDown();
    }
}

TEST_F(AllowTest, ExpressionsThatNeverOccurChangeNothing) {
    // Masking and levels, with and without the table, on every short line.
    Create(AllowRules({{"\xB0\xA1\xB0\xA1", {}}, {"q", {300001}}}));
    ForEachShortLine("wagunhio \xCD\xE2\xB9\xD2\xBA\xC3", 4, [&](const std::string& line) {
        std::string masked[2];
        int levels[2];
        for (int way = 0; way < 2; ++way) {
            m_filter->UseAllowList(way == 1);
            masked[way] = Mask(line, &levels[way]);
        }
        EXPECT_EQ(levels[0], levels[1]) << line;
        EXPECT_EQ(masked[0], masked[1]) << line;
        return levels[0] == levels[1] && masked[0] == masked[1];
    });
}

}  // namespace
}  // namespace chatsieve::test
