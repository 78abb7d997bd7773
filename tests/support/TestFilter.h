// A filter whose LoadRules fills the lists from a rule set given in code, the
// way the package loader fills them from the tables: the core is tested
// without a package.
#ifndef CHATSIEVE_TESTS_TESTFILTER_H
#define CHATSIEVE_TESTS_TESTFILTER_H

#include <stdexcept>
#include <string>
#include <vector>

#include "RuleFixture.h"
#include "RuleSet.h"
#include "TempDir.h"
#include "host/CChatsieve.h"

namespace chatsieve::test {

class TestFilter : public CChatsieve {
public:
    explicit TestFilter(RuleSet rules) : m_ruleSet(std::move(rules)) {}

    int LoadRules() override {
        for (const auto& values : m_ruleSet.skipSets) {
            CSkipSet* set = New<CSkipSet>();
            if (!set) return 0;
            if (!set->Init(values.data(), static_cast<int>(values.size())) || !m_skipSets.PushBack(set))
                return set->Destroy(), 0;
        }
        m_logEnabled = m_ruleSet.logEnabled;
        for (const auto& row : m_ruleSet.syllables) {
            CSyllable* syllable = New<CSyllable>();
            if (!syllable) return 0;
            if (!syllable->Init(row.romanised.c_str(), row.codes.data(), static_cast<int>(row.codes.size()),
                                row.split) ||
                !g_syllables.PushBack(syllable))
                return syllable->Destroy(), 0;
        }
        if (!AddRules<CPhraseRule>(m_ruleSet.phrases, g_phrases) || !AddRules<CComboRule>(m_ruleSet.combos, g_combos))
            return 0;
        for (const auto& row : m_ruleSet.allow) {
            std::vector<CMatcher*> rules;
            for (int ref : row.rules) {
                const RefEntry entry = DecodeRuleRef(ref);
                rules.push_back((entry.kind == 3 ? g_phrases : g_combos).At(static_cast<unsigned>(entry.index)));
            }
            if (!m_allow.Add(row.text.c_str(), rules.data(), static_cast<int>(rules.size()))) return 0;
        }
        for (const auto& fold : m_ruleSet.folds)
            if (!m_fold.Add(static_cast<unsigned char>(fold[0]), static_cast<unsigned char>(fold[1]),
                            static_cast<unsigned char>(fold[2]), fold[3]))
                return 0;
        std::size_t row = 0;
        for (CMatcherList::Node* node = g_phrases.First(); node && row < m_ruleSet.phraseEdges.size();
             node = node->next)
            static_cast<CPhraseRule*>(node->matcher)->SetEdges(m_ruleSet.phraseEdges[row++]);
        if (m_ruleSet.end == RuleSet::End::kThrow) throw std::runtime_error("package library failure");
        return m_ruleSet.end == RuleSet::End::kSucceed;
    }

    unsigned LogCount() const { return m_logCount; }
    const char* LogSlot(unsigned i) const { return m_logLines[i]; }
    const char* WorkBuffer() const { return m_workBuf; }
    const CRuleIndex& Index() const { return m_index; }
    CRuleIndex& Index() { return m_index; }

private:
    template <class Rule>
    int AddRules(const std::vector<LevelRow>& rows, CMatcherList& list) {
        for (const auto& row : rows) {
            Rule* rule = New<Rule>();
            if (!rule) return 0;
            if (!rule->Init(row.refs.data(), static_cast<int>(row.refs.size()), row.level) || !list.PushBack(rule))
                return rule->Destroy(), 0;
            if (row.level > m_highestLevel) m_highestLevel = row.level;
        }
        return 1;
    }

    RuleSet m_ruleSet;
};

// A test that makes one TestFilter and shuts it down after.
class FilterTestBase : public RuleTest {
protected:
    void TearDown() override {
        if (m_filter) {
            m_filter->Uninit();
            Delete(m_filter);
            m_filter = nullptr;
        }
        RuleTest::TearDown();
    }
    // The filter of `rules`, initialised (a failure is reported).
    TestFilter* Create(RuleSet rules) {
        m_filter = New<TestFilter>(std::move(rules));
        EXPECT_EQ(1, m_filter->Init());
        return m_filter;
    }
    TestFilter* m_filter = nullptr;
};

}  // namespace chatsieve::test

#endif
