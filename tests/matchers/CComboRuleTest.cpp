#include <gtest/gtest.h>

#include <string>

#include "../support/RuleFixture.h"
#include "matchers/CComboRule.h"

namespace chatsieve::test {
namespace {

class CComboRuleTest : public RuleTest {
protected:
    void SetUp() override {
        wai = AddSyllable("wai", {0xCD, 0xE2, 0xE2});
        gua = AddSyllable("gua", {0xB9, 0xD2, 0xD2});
        ni = AddSyllable("ni", {0xC4, 0xE3, 0xE3});
        hao = AddSyllable("hao", {0xBA, 0xC3, 0xC3});
    }
    std::string Run(CComboRule* rule, std::string text) {
        Outputs out;
        if (!RunMatch(rule, text, out)) return "-";
        return std::to_string(out.offset) + "/" + std::to_string(out.length) + "/" + std::to_string(out.level);
    }
    int wai = 0, gua = 0, ni = 0, hao = 0;
};

TEST_F(CComboRuleTest, PartsMatchAnywhereInAnyOrder) {
    CComboRule* rule = MakeCombo({wai, gua}, 4);
    EXPECT_EQ("0/2/4", Run(rule, std::string(kGua) + kWai));
    EXPECT_EQ("10/2/4", Run(rule, std::string(kWai) + "........" + kGua));
    EXPECT_EQ("-", Run(rule, std::string(kWai) + kWai));
    rule->Destroy();
}

TEST_F(CComboRuleTest, HighestLevelPartReportsTheSpan) {
    // A syllable part and a phrase part: the phrase (level 1 > 0) is asked
    // last, so its occurrence is reported even though the syllable comes first.
    const int niHao = AddPhrase({ni, hao}, 1);
    CComboRule* rule = MakeCombo({niHao, wai}, 7);
    EXPECT_EQ("4/4/7", Run(rule, std::string(kWai) + ".." + kNi + kHao));
    rule->Destroy();
}

TEST_F(CComboRuleTest, PartsAreAskedFromLowestLevelUp) {
    const int high = AddPhrase({wai}, 3);
    const int low = AddPhrase({gua}, 1);
    CComboRule* rule = MakeCombo({high, low}, 2);
    // Level 1 first, level 3 last: the reported span is that of "wai".
    EXPECT_EQ("2/2/2", Run(rule, std::string(kGua) + kWai));
    int order = 0;
    for (CMatcherList::Node* n = rule->Parts().First(); n; n = n->next) order = order * 10 + n->matcher->GetLevel();
    EXPECT_EQ(13, order);
    rule->Destroy();
}

TEST_F(CComboRuleTest, EqualLevelsKeepReferenceOrder) {
    CComboRule* rule = MakeCombo({gua, wai}, 2);
    EXPECT_EQ("0/2/2", Run(rule, std::string(kWai) + kGua));  // wai referred to last
    CComboRule* reversed = MakeCombo({wai, gua}, 2);
    EXPECT_EQ("2/2/2", Run(reversed, std::string(kWai) + kGua));
    rule->Destroy();
    reversed->Destroy();
}

TEST_F(CComboRuleTest, OnePartAndLevelZeroPhraseParts) {
    const int dormant = AddPhrase({wai, gua}, 0);
    CComboRule* rule = MakeCombo({dormant}, 9);
    EXPECT_EQ("1/4/9", Run(rule, std::string(".") + kWai + kGua));
    EXPECT_EQ("-", Run(rule, std::string(kWai)));
    rule->Destroy();
}

TEST_F(CComboRuleTest, InitRefusesBadArgumentsAndReferences) {
    AddPhrase({wai}, 1);
    for (const std::vector<int>& refs : std::vector<std::vector<int>>{
             {1 * 100000 + 1}, {4 * 100000 + 1}, {3 * 100000 + 2}, {3 * 100000}, {wai, 2 * 100000 + 5}}) {
        CComboRule* rule = New<CComboRule>();
        EXPECT_EQ(0, rule->Init(refs.data(), static_cast<int>(refs.size()), 1));
        rule->Destroy();
    }
    CComboRule* rule = New<CComboRule>();
    EXPECT_EQ(0, rule->Init(&wai, 0, 1));
    EXPECT_EQ(0, rule->Init(&wai, 1, -2));
    rule->Destroy();
    rule = MakeCombo({wai, wai}, 0);  // a part referred to twice stands twice
    EXPECT_EQ(2u, rule->Parts().Count());
    rule->Destroy();
}

}  // namespace
}  // namespace chatsieve::test
