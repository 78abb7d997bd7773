// Lint: each warning where the filter's way of matching guarantees the
// problem, and silence where it does not.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "RuleFolder.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/CRuleLinter.h"

namespace chatsieve::tools {
namespace {

// What reading and linting the base set with `files` replaced reports, as
// "file:line:column: message" with the folder left out; `readable` says
// whether the folder reads without errors.
std::vector<std::string> Messages(const std::map<std::string, std::string>& files, bool readable) {
    test::RuleFolder folder(files);
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    EXPECT_EQ(readable, CRuleCompiler().Read(folder.Path(), &rules, &diagnostics));
    CRuleLinter().Check(rules, &diagnostics);
    std::vector<std::string> messages;
    for (const Diagnostic& d : diagnostics) {
        std::string text = d.Format();
        const std::string prefix = folder.Path() + "/";
        for (std::size_t at; (at = text.find(prefix)) != std::string::npos;) text.erase(at, prefix.size());
        messages.push_back(text);
    }
    return messages;
}

std::vector<std::string> Lint(const std::map<std::string, std::string>& files) { return Messages(files, true); }

const char kPartsOfCombos[] = "gold\t0\t金币(bi)\nwechat\t0\t微信\n";

std::string Phrases(const std::string& rows) { return "id\tlevel\tphrase\n" + rows + kPartsOfCombos; }

TEST(CRuleLinter, TheBaseSetAndTheShippedRulesAreClean) {
    EXPECT_TRUE(Lint({}).empty());
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(CRuleCompiler().Read(SHIPPED_RULES, &rules, &diagnostics));
    CRuleLinter().Check(rules, &diagnostics);
    for (const Diagnostic& d : diagnostics) ADD_FAILURE() << d.Format();
}

TEST(CRuleLinter, LevelsThatAreNeverTriedOrOutOfRange) {
    EXPECT_EQ(
        Lint({{"phrases.tsv", Phrases("cheat\t64\t外挂\nidle\t0\tsi fu\n")},
              {"combos.tsv", "id\tlevel\tparts\n\t0\tmai gold\n\t3\t加 wechat\n"}}),
        (std::vector<std::string>{
            "phrases.tsv:2:7: warning: the level 64 is above 63, the highest level rule data uses: the filter tries "
            "this rule before every rule of level 63 or below, and FilterText returns 64 to the host for a line it "
            "decides, which a host built for 0 to 63 may not expect",
            "phrases.tsv:3:6: warning: a phrase of level 0 is never tried on its own, and no combination uses this one",
            "combos.tsv:2:2: warning: a combination of level 0 is never tried"}));
}

TEST(CRuleLinter, DuplicatesWhateverTheirWriting) {
    EXPECT_EQ(Lint({{"phrases.tsv", Phrases("cheat\t6\t外挂\nagain\t6\t外 掛\n")}}),
              (std::vector<std::string>{"phrases.tsv:3:1: warning: duplicate of phrase 'cheat' (phrases.tsv:2): never "
                                        "the rule that decides a line's level"}));
    EXPECT_EQ(Lint({{"phrases.tsv", Phrases("cheat\t6\twai gua\nagain\t6\tWAI Gua\n")}}),
              (std::vector<std::string>{"phrases.tsv:3:1: warning: duplicate of phrase 'cheat' (phrases.tsv:2): never "
                                        "the rule that decides a line's level"}));
}

TEST(CRuleLinter, AVariantMakesARuleCatchMore) {
    // 外挂 also catches 外掛, which "wai gua" does not: tried first, it
    // shadows "wai gua"; tried second, it still decides 外掛.
    EXPECT_EQ(Lint({{"phrases.tsv", Phrases("cheat\t6\t外挂\nagain\t6\twai gua\n")}}),
              (std::vector<std::string>{"phrases.tsv:3:1: warning: never the rule that decides a line's level: "
                                        "phrase 'cheat' (phrases.tsv:2), level 6, is tried first and matches "
                                        "wherever this one does"}));
    EXPECT_TRUE(Lint({{"phrases.tsv", Phrases("cheat\t6\twai gua\nagain\t6\t外挂\n")}}).empty());
}

TEST(CRuleLinter, ARuleShadowedByOneTriedBeforeIt) {
    // "wai" alone, level 6, is tried before "wai gua" of level 5 and matches
    // wherever it does.
    EXPECT_EQ(Lint({{"phrases.tsv", Phrases("short\t6\twai\nlong\t5\twai gua\n")}}),
              (std::vector<std::string>{"phrases.tsv:3:1: warning: never the rule that decides a line's level: "
                                        "phrase 'short' (phrases.tsv:2), level 6, is tried first and matches "
                                        "wherever this one does"}));
    // The other way round both can decide: the longer one is tried first.
    EXPECT_TRUE(Lint({{"phrases.tsv", Phrases("short\t5\twai\nlong\t6\twai gua\n")}}).empty());
    // Of equal level the phrase is tried first: a combination needing more parts never decides.
    EXPECT_EQ(Lint({{"combos.tsv", "id\tlevel\tparts\na\t4\tmai gold\nb\t4\tgold jia mai\n\t3\t加 wechat\n"}}),
              (std::vector<std::string>{"combos.tsv:3:1: warning: never the rule that decides a line's level: "
                                        "combination 'a' (combos.tsv:2), level 4, is tried first and matches "
                                        "wherever this one does"}));
    // A phrase that starts a combination's phrase part shadows the combination.
    EXPECT_EQ(Lint({{"phrases.tsv", Phrases("j\t4\tjin\n")},
                    {"combos.tsv", "id\tlevel\tparts\nc\t4\tmai gold\n\t3\t加 wechat\n"}}),
              (std::vector<std::string>{"combos.tsv:2:1: warning: never the rule that decides a line's level: "
                                        "phrase 'j' (phrases.tsv:2), level 4, is tried first and matches "
                                        "wherever this one does"}));
    // A run further in is found too where both searches stand only on
    // characters and nothing before it can start the earlier phrase.
    EXPECT_EQ(Lint({{"phrases.tsv", Phrases("tail\t6\tgua\nlong\t5\twai gua\n")}}),
              (std::vector<std::string>{"phrases.tsv:3:1: warning: never the rule that decides a line's level: it "
                                        "holds phrase 'tail' (phrases.tsv:2), level 6, which is tried first and "
                                        "matches wherever this one does"}));
    EXPECT_TRUE(Lint({{"phrases.tsv", Phrases("tail\t4\tgua\nlong\t5\twai gua\n")}}).empty());
}

// Where the search for the earlier phrase may step past the run it holds,
// nothing is said: a first syllable with a one-byte form (its step of two
// bytes can land inside a character), or one whose pinyin can start on the
// last letter of the syllable before it.
TEST(CRuleLinter, APhraseHeldFurtherInOnlyWhereTheSearchMustReachIt) {
    const std::string syllables =
        test::ReadFileText(std::string(TOOLS_TEST_DATA) + "/base/syllables.tsv") + "a\tB0A1-B0A2\t\nib\tCEF7-CEF9\t\n";
    EXPECT_EQ(Lint({{"syllables.tsv", syllables}, {"phrases.tsv", Phrases("x\t6\ta bi\ny\t5\twai a bi\n")}}),
              (std::vector<std::string>{"phrases.tsv:2:5: warning: starts with the syllable 'a', which can match a "
                                        "single byte (its pinyin); after a failed attempt the search moves on two "
                                        "bytes and can step past the phrase or into the middle of a character"}));
    // wai ends in i, and ib starts with it: "waiib" holds an ib right after wa.
    EXPECT_TRUE(
        Lint({{"syllables.tsv", syllables}, {"phrases.tsv", Phrases("x\t6\tib gua\ny\t5\twai ib gua\n")}}).empty());
}

TEST(CRuleLinter, PhrasesStartingWithAOneByteForm) {
    const std::string syllables =
        test::ReadFileText(std::string(TOOLS_TEST_DATA) + "/base/syllables.tsv") + "a\tB0A1-B0A2\t\nxi\tCEF7-CEF9\t\n";
    const std::vector<std::string> messages =
        Lint({{"syllables.tsv", syllables}, {"phrases.tsv", Phrases("x\t2\ta wai\ny\t2\txi bi\nz\t2\tbi a\n")}});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("phrases.tsv:2:5: warning: starts with the syllable 'a', which can match a single byte "
                                "(its pinyin)",
                                0),
              0u)
        << messages[0];
}

TEST(CRuleLinter, OverlappingSyllables) {
    const std::string syllables =
        test::ReadFileText(std::string(TOOLS_TEST_DATA) + "/base/syllables.tsv") + "waai\tCDE2-CDE5\t\n";
    EXPECT_EQ(Lint({{"syllables.tsv", syllables}}),
              (std::vector<std::string>{"syllables.tsv:15:6: warning: overlaps the range CDE1-CDE2 of 'wai' (line 4); "
                                        "phrases written with those characters resolve to 'wai'"}));
}

TEST(CRuleLinter, IgnoreSetsThatStripWhatRulesNeed) {
    EXPECT_EQ(Lint({{"ignore.tsv", "kind\tvalue\nsingle\t61-7A\nsingle\t80-FF\ndouble\tCDE2\nset\n"}}),
              (std::vector<std::string>{
                  "ignore.tsv:2:8: warning: strips letters of the pinyin 'wai', which then never matches",
                  "ignore.tsv:3:8: warning: bytes 81 to FE start two-byte characters and are never stripped as "
                  "single bytes",
                  "ignore.tsv:4:8: warning: strips characters that the syllable 'wai' is written with, so rules "
                  "never see them",
                  "ignore.tsv:5:1: warning: this ignore-set has no ranges and strips nothing"}));
}

TEST(CRuleLinter, IgnoreRangesOfUpperCaseLettersStripPinyinToo) {
    // Lines are matched in any case, so stripping 'W' breaks "WAI GUA".
    EXPECT_EQ(Lint({{"ignore.tsv", "kind\tvalue\nsingle\t41-5A\nsingle\t57\nsingle\t5B-60\n"}}),
              (std::vector<std::string>{
                  "ignore.tsv:2:8: warning: strips letters of the pinyin 'wai', which then never matches",
                  "ignore.tsv:3:8: warning: strips letters of the pinyin 'wai', which then never matches"}));
}

// An allowed expression warns when it hides nothing from the rules it covers
// (judged by their syllables' written forms, after stripping) and when it
// lies inside a covered phrase's expression, which then never catches itself
// as written; scoping changes what it covers.
TEST(CRuleLinter, AllowedExpressionsThatHideNothingOrAWrittenPhrase) {
    const std::vector<std::string> warnings = Lint({{"allow.tsv",
                                                     "allow\trules\tnote\n"
                                                     "挂\t\tone character of the phrase\n"
                                                     "你好\t\tgreeting\n"
                                                     "家里\t\thome\n"
                                                     "家里\tgold-sale\tonly for gold\n"
                                                     "你 g u a\t\tpinyin across fillers\n"
                                                     "外挂游戏\t\tnames the game: 外挂 is caught elsewhere\n"}});
    ASSERT_EQ(warnings.size(), 5u) << ::testing::PrintToString(warnings);
    EXPECT_NE(warnings[0].find("allow.tsv:2:1: warning: lies inside the expression of phrase 'cheat'"),
              std::string::npos)
        << warnings[0];
    EXPECT_NE(warnings[1].find("allow.tsv:3:1: warning: no syllable of the rules it covers"), std::string::npos)
        << warnings[1];
    // 家里 for gold-sale alone adds nothing to 家里 for every rule.
    EXPECT_NE(warnings[2].find("allow.tsv:5:1: warning: holds the allowed expression '家里' (line 4)"),
              std::string::npos)
        << warnings[2];
    EXPECT_NE(warnings[3].find("allow.tsv:5:1: warning: no syllable of the rules it covers"), std::string::npos)
        << warnings[3];
    EXPECT_NE(warnings[4].find("allow.tsv:7:1: warning: holds the allowed expression '挂' (line 2)"), std::string::npos)
        << warnings[4];
}

// Expressions that cover every rule are looked up from the phrases' side:
// each phrase that holds one is named, in table order, whether the phrase is
// written in characters or pinyin (any letter case), and an expression met
// twice in one phrase is named once.
TEST(CRuleLinter, AnExpressionInsideSeveralPhrasesNamesEach) {
    const std::vector<std::string> warnings =
        Lint({{"phrases.tsv", Phrases("cheat\t6\t外挂\ntwice\t7\t挂外挂\nloud\t5\tGUA wai\nserver\t5\tsi fu\n")},
              {"allow.tsv", "allow\trules\tnote\n挂\t\t\nuaw\t\t\n挂\tserver\t\n"}});
    EXPECT_EQ(warnings,
              (std::vector<std::string>{
                  "allow.tsv:2:1: warning: lies inside the expression of phrase 'cheat' (phrases.tsv:2), which then "
                  "never catches it written as it stands",
                  "allow.tsv:2:1: warning: lies inside the expression of phrase 'twice' (phrases.tsv:3), which then "
                  "never catches it written as it stands",
                  "allow.tsv:3:1: warning: lies inside the expression of phrase 'loud' (phrases.tsv:4), which then "
                  "never catches it written as it stands",
                  "allow.tsv:4:1: warning: holds the allowed expression '挂' (line 2), which covers every rule this "
                  "one does: their hits overlap wherever this one is found",
                  "allow.tsv:4:1: warning: no syllable of the rules it covers is written in it, so it lets nothing "
                  "through"}));
}

// Repeated expressions are built once and named; one that holds another of
// the same or wider cover is named with it; a limited expression does not
// count inside one that covers every rule.
TEST(CRuleLinter, RepeatedAndOverlappingAllowedExpressions) {
    const std::vector<std::string> warnings = Lint({{"allow.tsv",
                                                     "allow\trules\tnote\n"
                                                     "外挂套\t\t\n"
                                                     "外 挂套\t\tthe same once the space is stripped\n"
                                                     "外挂套\tcheat\tlimited, so not the same\n"
                                                     "外挂套餐\t\t\n"
                                                     "家里\tcheat\t\n"
                                                     "我家里\t\t\n"
                                                     "外挂套\tcheat cheat\tthe same rule twice\n"}});
    EXPECT_EQ(warnings,
              (std::vector<std::string>{
                  "allow.tsv:3:1: warning: duplicate of the allowed expression on line 2 (the same once stripped, "
                  "for the same rules); only that one is built",
                  "allow.tsv:4:1: warning: holds the allowed expression '外挂套' (line 2), which covers every rule "
                  "this one does: their hits overlap wherever this one is found",
                  "allow.tsv:5:1: warning: holds the allowed expression '外挂套' (line 2), which covers every rule "
                  "this one does: their hits overlap wherever this one is found",
                  "allow.tsv:6:1: warning: no syllable of the rules it covers is written in it, so it lets nothing "
                  "through",
                  "allow.tsv:8:1: warning: duplicate of the allowed expression on line 4 (the same once stripped, "
                  "for the same rules); only that one is built"}));
}

// A form may run into the expression from before it: "w" then an allowed
// "ai" still breaks "wai", so the entry is not dead.
TEST(CRuleLinter, AFormRunningIntoAnAllowedExpressionCounts) {
    EXPECT_TRUE(Lint({{"allow.tsv", "allow\trules\tnote\nai\t\t\n"}}).empty());
}

// Readings: a character with several readings warns when neither a word
// nor a mark chose for it; notes (lint's Explain) say what each rule was
// made into.
std::vector<std::string> OnShipped(const std::string& phrases, bool notes) {
    test::RuleFolder folder({{"phrases.tsv", "id\tlevel\tphrase\n" + phrases}, {"combos.tsv", "id\tlevel\tparts\n"}});
    std::filesystem::remove(folder / "syllables.tsv");
    std::filesystem::remove(folder / "ignore.tsv");
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    EXPECT_TRUE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics));
    if (notes)
        CRuleLinter().Explain(rules, &diagnostics);
    else
        CRuleLinter().Check(rules, &diagnostics);
    std::vector<std::string> messages;
    for (const Diagnostic& d : diagnostics) messages.push_back(d.Format().substr(folder.Path().size() + 1));
    return messages;
}

TEST(CRuleLinter, AReadingThatWasOnlyGuessed) {
    EXPECT_EQ(OnShipped("walk\t5\t行\n", false),
              (std::vector<std::string>{"phrases.tsv:2:8: warning: '行' has several readings and is read as 'xing' "
                                        "only because its syllable holds it (it also reads hang); write 行(xing) to "
                                        "keep that reading or 行(hang) for another"}));
    // A word, or a mark, decides.
    EXPECT_TRUE(OnShipped("bank\t5\t银行\nwalk\t5\t行(xing)\nrow\t5\t行(hang)\n", false).empty());
}

TEST(CRuleLinter, NotesSayWhatARuleWasMadeInto) {
    EXPECT_EQ(OnShipped("bank\t5\t银行卡\nwalk\t5\t行(xing)\ncheat\t5\t外挂\nplain\t5\twai gua\n", true),
              (std::vector<std::string>{
                  "phrases.tsv:2:8: note: reads yin hang ka (dictionary: 银行卡); also 銀 for 银; 2 rows",
                  "phrases.tsv:3:8: note: reads xing (marked: 行); 2 rows",
                  "phrases.tsv:4:9: note: also 掛 for 挂; 3 rows"}));
}

TEST(CRuleLinter, AVariantWithoutRoomInTheSyllableRow) {
    std::string syllables = test::ReadFileText(std::filesystem::path(TOOLS_TEST_DATA) / "base/syllables.tsv");
    syllables.replace(syllables.find("gua\tB9CE-B9D3"), 13, "gua\tB9CE B9CF B9D0-B9D3");
    EXPECT_EQ(Lint({{"syllables.tsv", syllables}}),
              (std::vector<std::string>{"phrases.tsv:2:10: warning: no room for 掛 beside the code ranges of 'gua' "
                                        "(a syllable row holds three), so the rule misses it"}));
}

// Errors do not hide the warnings: rows that read cleanly are still judged,
// and nothing is judged from a row with errors or a rule that names one (a
// row whose level failed would otherwise look like a level-0 rule, and a
// phrase missing a syllable like a shorter one that shadows others).
TEST(CRuleLinter, WarningsComeWithErrorsButNeverFromBrokenRows) {
    const std::vector<std::string> messages =
        Messages({{"phrases.tsv", Phrases("cheat\t6\t外挂\nagain\t6\twai gua\nbroken\tx\twai\n"
                                          "short\t9\twai zzz\nhalf\t0\t外 qqq\n")},
                  {"combos.tsv", "id\tlevel\tparts\nuses-half\t4\thalf gold\n\t3\t加 wechat\n"}},
                 false);
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "phrases.tsv:4:8: the level 'x' is not a whole number",
                            "phrases.tsv:5:13: unknown syllable 'zzz'", "phrases.tsv:6:10: unknown syllable 'qqq'",
                            "phrases.tsv:3:1: warning: never the rule that decides a line's level: phrase 'cheat' "
                            "(phrases.tsv:2), level 6, is tried first and matches wherever this one does"}));
}

// The complaint as it came: a phrase of the same level holding an earlier
// one, both written in characters, one of them traditional.
TEST(CRuleLinter, ALongerPhraseHoldingAnEarlierOneOfTheSameLevel) {
    const std::string phrases = "private-server\t50\t私服\nlegend-server\t50\t傳奇私服\n";
    std::vector<std::string> shadowed;
    for (const std::string& message : OnShipped(phrases, false))
        if (message.find("never the rule") != std::string::npos) shadowed.push_back(message);
    ASSERT_EQ(shadowed.size(), 1u) << ::testing::PrintToString(shadowed);
    EXPECT_EQ(shadowed[0].rfind("phrases.tsv:3:1: warning: never the rule that decides a line's level: it holds phrase "
                                "'private-server' (",
                                0),
              0u)
        << shadowed[0];
    for (const std::string& message : OnShipped("private-server\t40\t私服\nlegend-server\t50\t傳奇私服\n", false))
        EXPECT_EQ(message.find("never the rule"), std::string::npos) << message;
}

}  // namespace
}  // namespace chatsieve::tools
