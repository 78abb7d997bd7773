// How the compiler reads a rule's characters: the reading a word or a mark
// gives a character of several readings, and the variants that join its
// syllable row while they fit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ReadRuleFolder.h"
#include "RuleFolder.h"
#include "compiler/CRuleCompiler.h"

namespace chatsieve::tools {
namespace {

using test::ReadFileText;
using test::ReadOk;
using test::ReadOnShipped;
using test::RuleFolder;

std::string PinyinOf(const RuleSetSource& rules, const RuleSource& rule) {
    std::string text;
    for (const PartRef& part : rule.parts)
        text += (text.empty() ? "" : " ") + rules.syllables[static_cast<std::size_t>(part.index)].pinyin;
    return text;
}

std::string Extra(const PartRef& part) {
    std::string text;
    for (const CodeRange& range : part.extra) text += (text.empty() ? "" : " ") + FormatCodeRange(range);
    return text;
}

TEST(CRuleCompiler, ACharacterTakesTheReadingOfItsWordOrTheMarkedOne) {
    const RuleSetSource rules = ReadOnShipped(
        "bank\t10\t银行卡\n"
        "walk\t10\t行走\n"
        "alone\t10\t行\n"
        "marked\t10\t行(hang)\n"
        "kept\t10\t行(XING)\n"
        "mixed\t10\tyin 行(hang) ka\n"
        "forced\t10\t银行(xing)\n");
    const std::vector<std::string> expected = {"yin hang ka", "xing zou",    "xing",    "hang",
                                               "xing",        "yin hang ka", "yin xing"};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(PinyinOf(rules, rules.phrases[i]), expected[i]) << rules.phrases[i].text;

    // 行 (D0D0) read as hang goes into hang's row, so 银行卡 itself is still caught.
    const RuleSource& bank = rules.phrases[0];
    EXPECT_EQ(Extra(bank.parts[1]), "D0D0");
    EXPECT_EQ(Extra(bank.parts[0]), "E379");  // and 银 brings 銀 along
    ASSERT_EQ(bank.choices.size(), 3u);
    EXPECT_EQ(bank.choices[1].source, CharacterChoice::Source::kWord);
    EXPECT_EQ(bank.choices[1].word, "银行卡");
    EXPECT_EQ(bank.choices[1].variants, "");
    EXPECT_EQ(bank.choices[0].variants, "銀");

    // Alone, 行 keeps its syllable's reading, recorded as a guess.
    EXPECT_EQ(rules.phrases[2].choices[0].source, CharacterChoice::Source::kTable);
    EXPECT_EQ(rules.phrases[2].choices[0].others, "hang");
    EXPECT_EQ(Extra(rules.phrases[2].parts[0]), "");
    EXPECT_EQ(rules.phrases[3].choices[0].source, CharacterChoice::Source::kMarked);
    EXPECT_EQ(Extra(rules.phrases[3].parts[0]), "D0D0");
    EXPECT_EQ(Extra(rules.phrases[4].parts[0]), "");  // its own syllable: nothing to add
}

TEST(CRuleCompiler, VariantsJoinTheSyllableRowWhileTheyFit) {
    // 发 has two traditional forms, 發 (B06C) and 髮 (F38C), neither in a
    // syllable; 干's 乾 is a character of its own (qian) and stays out.
    const RuleSetSource rules = ReadOnShipped("x1\t1\t发\nx2\t1\t干\nx3\t1\t髮\n");
    EXPECT_EQ(Extra(rules.phrases[0].parts[0]), "B06C F38C");
    EXPECT_EQ(rules.phrases[0].choices[0].variants, "發髮");
    EXPECT_EQ(PinyinOf(rules, rules.phrases[1]), "gan");
    EXPECT_EQ(rules.phrases[1].choices[0].variants, "幹榦");
    // Written in a traditional form: the simplified form's syllable, with the
    // written character first.
    EXPECT_EQ(PinyinOf(rules, rules.phrases[2]), "fa");
    EXPECT_EQ(Extra(rules.phrases[2].parts[0]), "F38C B06C");

    // A syllable row holds three ranges: with gua's split in three, 掛 has no room.
    std::string syllables = ReadFileText(std::filesystem::path(TOOLS_TEST_DATA) / "base/syllables.tsv");
    syllables.replace(syllables.find("gua\tB9CE-B9D3"), 13, "gua\tB9CE B9CF B9D0-B9D3");
    RuleFolder crowded({{"syllables.tsv", syllables}});
    const RuleSetSource tight = ReadOk(crowded);
    EXPECT_TRUE(tight.phrases[0].parts[1].extra.empty());
    EXPECT_EQ(tight.phrases[0].choices[1].leftOut, "掛");
}

TEST(CRuleCompiler, ASoundCharacterBeyondTheSyllablesTakesItsMainReading) {
    // 弩 (E5F3) is in no shipped syllable; it reads nu and catches itself there.
    const RuleSetSource rules = ReadOnShipped("bow\t30\t弩\n");
    EXPECT_EQ(PinyinOf(rules, rules.phrases[0]), "nu");
    EXPECT_EQ(Extra(rules.phrases[0].parts[0]), "E5F3");
}

}  // namespace
}  // namespace chatsieve::tools
