// Builds rule objects for tests the way the loader does (New, Init, list) and
// tears the process-wide state down again after each test.
#ifndef CHATSIEVE_TESTS_RULEFIXTURE_H
#define CHATSIEVE_TESTS_RULEFIXTURE_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "matchers/CComboRule.h"
#include "matchers/CPhraseRule.h"
#include "matchers/CSkipSet.h"
#include "matchers/CSyllable.h"
#include "matchers/ProcessLists.h"
#include "platform/Memory.h"

namespace chatsieve::test {

// Code page 936 bytes of a few characters used throughout the tests.
inline const char* const kWai = "\xCD\xE2";    // wai
inline const char* const kGua = "\xB9\xD2";    // gua
inline const char* const kFa = "\xB7\xA2";     // fa (B7A0-B7A5 in the sample syllable)
inline const char* const kNi = "\xC4\xE3";     // ni
inline const char* const kHao = "\xBA\xC3";    // hao
inline const char* const kComma = "\xA3\xAC";  // full-width comma

// Appends a syllable to g_syllables and returns its RuleRef.
inline int AddSyllable(const char* romanised, std::vector<unsigned char> codes, const char* split = nullptr) {
    CSyllable* syllable = New<CSyllable>();
    EXPECT_EQ(1, syllable->Init(romanised, codes.data(), static_cast<int>(codes.size()), split));
    g_syllables.PushBack(syllable);
    return 2 * 100000 + static_cast<int>(g_syllables.Count());
}

inline CPhraseRule* MakePhrase(std::vector<int> refs, int level) {
    CPhraseRule* rule = New<CPhraseRule>();
    EXPECT_EQ(1, rule->Init(refs.data(), static_cast<int>(refs.size()), level));
    return rule;
}

// Appends a phrase rule to g_phrases and returns its RuleRef.
inline int AddPhrase(std::vector<int> refs, int level) {
    g_phrases.PushBack(MakePhrase(std::move(refs), level));
    return 3 * 100000 + static_cast<int>(g_phrases.Count());
}

inline CComboRule* MakeCombo(std::vector<int> refs, int level) {
    CComboRule* rule = New<CComboRule>();
    EXPECT_EQ(1, rule->Init(refs.data(), static_cast<int>(refs.size()), level));
    return rule;
}

inline CSkipSet* MakeSkipSet(std::vector<int> values) {
    CSkipSet* set = New<CSkipSet>();
    EXPECT_EQ(1, set->Init(values.data(), static_cast<int>(values.size())));
    return set;
}

inline void DestroyList(CMatcherList& list) { DestroyMatchers(list); }

// The matchers' outputs, preset to a value no matcher writes.
struct Outputs {
    int offset = -77;
    int length = -77;
    int level = -77;
};

inline int RunMatch(CMatcher* matcher, std::string& text, Outputs& out) {
    return matcher->Match(text.data(), 0, &out.offset, &out.length, &out.level);
}

// Leaves the process-wide containers as the library finds them at load.
class RuleTest : public ::testing::Test {
protected:
    void TearDown() override {
        DestroyList(g_combos);
        DestroyList(g_phrases);
        DestroyList(g_syllables);
        g_positionMap.Reset();
        ResetAllocationFailures();
    }
};

}  // namespace chatsieve::test

#endif
