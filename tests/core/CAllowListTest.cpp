// Allowed expressions: what the automaton finds, what a check and the masking
// then see, and the whole path against a plain reference that searches for
// every expression at every character and tries every rule on its own view.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "../support/ShortLines.h"
#include "../support/TestFilter.h"
#include "core/CAllowList.h"
#include "platform/CodePage.h"

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

class AllowTest : public RuleTest {
protected:
    void TearDown() override {
        if (m_filter) {
            m_filter->Uninit();
            Delete(m_filter);
            m_filter = nullptr;
        }
        RuleTest::TearDown();
    }
    TestFilter* Create(RuleSet rules) {
        m_filter = New<TestFilter>(std::move(rules));
        EXPECT_EQ(1, m_filter->Init());
        return m_filter;
    }
    std::string Mask(const std::string& line, int* level = nullptr) {
        std::string out(line.size() + 2, '#');
        const int result = m_filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(line.size() + 1), 1);
        if (level) *level = result;
        return out.c_str();
    }
    TestFilter* m_filter = nullptr;
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
    // Overlapping occurrences are both hidden.
    EXPECT_EQ(std::string("x") + b + b + b + b + "a", text);
    ASSERT_EQ(2u, list.Hits().Size());

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
