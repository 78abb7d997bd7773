// A filter whose LoadRules fills the lists from a rule set given in code, the
// way the package loader fills them from the tables: the core is tested
// without a package.
#ifndef CHATSIEVE_TESTS_TESTFILTER_H
#define CHATSIEVE_TESTS_TESTFILTER_H

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "RuleFixture.h"
#include "core/CChatsieve.h"

namespace chatsieve::test {

struct SyllableRow {
    std::string romanised;
    std::vector<unsigned char> codes;
    const char* split = nullptr;
};

struct LevelRow {
    int level;
    std::vector<int> refs;
};

struct RuleSet {
    std::vector<std::vector<int>> skipSets;
    int logEnabled = 0;
    std::vector<SyllableRow> syllables;
    std::vector<LevelRow> phrases;
    std::vector<LevelRow> combos;
    enum class End { kSucceed, kFail, kThrow } end = End::kSucceed;
};

class TestFilter : public CChatsieve {
public:
    explicit TestFilter(RuleSet rules) : m_ruleSet(std::move(rules)) {}

    int LoadRules() override {
        for (const auto& values : m_ruleSet.skipSets) {
            CSkipSet* set = New<CSkipSet>();
            if (!set->Init(values.data(), static_cast<int>(values.size()))) return set->Destroy(), 0;
            m_skipSets.PushBack(set);
        }
        m_logEnabled = m_ruleSet.logEnabled;
        for (const auto& row : m_ruleSet.syllables) {
            CSyllable* syllable = New<CSyllable>();
            if (!syllable->Init(row.romanised.c_str(), row.codes.data(), static_cast<int>(row.codes.size()), row.split))
                return syllable->Destroy(), 0;
            g_syllables.PushBack(syllable);
        }
        if (!AddRules<CPhraseRule>(m_ruleSet.phrases, g_phrases) || !AddRules<CComboRule>(m_ruleSet.combos, g_combos))
            return 0;
        if (m_ruleSet.end == RuleSet::End::kThrow) throw std::runtime_error("package library failure");
        return m_ruleSet.end == RuleSet::End::kSucceed;
    }

    unsigned LogCount() const { return m_logCount; }
    const char* LogSlot(unsigned i) const { return m_logLines[i]; }
    const char* WorkBuffer() const { return m_workBuf; }

private:
    template <class Rule>
    int AddRules(const std::vector<LevelRow>& rows, CMatcherList& list) {
        for (const auto& row : rows) {
            Rule* rule = New<Rule>();
            if (!rule->Init(row.refs.data(), static_cast<int>(row.refs.size()), row.level)) return rule->Destroy(), 0;
            if (row.level > m_highestLevel) m_highestLevel = row.level;
            list.PushBack(rule);
        }
        return 1;
    }

    RuleSet m_ruleSet;
};

// Syllable references of the standard rule set below.
enum : int { kRefWai = 200001, kRefGua, kRefNi, kRefHao, kRefFa, kRefLun, kRefGong, kRefA };

// ASCII spaces and punctuation, full-width punctuation (A1xx and A3A1-A3AF).
inline std::vector<int> StandardSkipSet() {
    return {0x20, 0x2F, 0x3A, 0x40, 0x5B, 0x60, 0x7B, 0x7E, -1, 0xA1, 0xA1, 0xFE, 0xA3, 0xA1, 0xAF};
}

inline std::vector<SyllableRow> StandardSyllables() {
    return {
        {"wai", {0xCD, 0xE2, 0xE2}},       {"gua", {0xB9, 0xD2, 0xD2}}, {"ni", {0xC4, 0xE3, 0xE3}},
        {"hao", {0xBA, 0xC3, 0xC3}},       {"fa", {0xB7, 0xA2, 0xA2}},  {"lun", {0xC2, 0xD6, 0xD6}},
        {"gong", {0xB9, 0xA6, 0xA6}, "\xB9\xA4\xC1\xA6"}, {"a", {0xB0, 0xA1, 0xA2}},
    };
}

// Changes the working directory to a new empty folder for the object's life.
class ScopedTempDir {
public:
    ScopedTempDir() : m_old(std::filesystem::current_path()) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                ("chatsieve-" + std::string(info->test_suite_name()) + "-" + info->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        std::filesystem::current_path(m_dir);
    }
    ~ScopedTempDir() {
        std::filesystem::current_path(m_old);
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::filesystem::path& Path() const { return m_dir; }

private:
    std::filesystem::path m_old;
    std::filesystem::path m_dir;
};

}  // namespace chatsieve::test

#endif
