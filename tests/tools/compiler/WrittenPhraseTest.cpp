// The rule compiler's written mode: each character as written, Latin letters
// and digits as themselves, units shared between rules, and a written phrase
// read with work proportional to its length.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ReadRuleFolder.h"
#include "RuleFolder.h"
#include "compiler/CAuthoringTable.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/WrittenPhrase.h"

namespace chatsieve::tools {
namespace {

using packhold::Cell;
using test::ReadOk;
using test::ReadOnShipped;
using test::RuleFolder;

RuleSetSource ReadWrittenOnShipped(const std::string& phrases) {
    RuleFolder folder({{"phrases.tsv", "id\tlevel\tphrase\tmatch\n" + phrases}, {"combos.tsv", "id\tlevel\tparts\n"}});
    std::filesystem::remove(folder / "syllables.tsv");
    std::filesystem::remove(folder / "ignore.tsv");
    return ReadOk(folder);
}

// "wai CDE2 夕卜" for each unit of a written phrase (split form in code page 936 bytes).
std::string Units(const RuleSetSource& rules, const RuleSource& rule) {
    std::string text;
    for (const PartRef& part : rule.parts) {
        EXPECT_EQ(part.kind, PartKind::kWritten);
        const WrittenSyllable& unit = rules.written[static_cast<std::size_t>(part.index)];
        text += (text.empty() ? "" : " | ") + unit.romanised;
        for (const CodeRange& r : unit.ranges) text += " " + FormatCodeRange(r);
        if (unit.hasSplit) text += " split";
    }
    return text;
}

TEST(CRuleCompiler, AWrittenCharacterMatchesItselfItsFormsAndItsPinyinOnly) {
    const RuleSetSource rules = ReadWrittenOnShipped(
        "cheat\t60\t外挂\twritten\n"
        "bow\t30\t弩\twritten\n"   // outside GB2312 level 1: its main reading
        "hair\t30\t髮\twritten\n"  // traditional: its simplified form and the other traditional one
        "loser\t20\t屌(diao)丝\twritten\n"
        "sound\t10\t外挂\n");
    EXPECT_EQ(Units(rules, rules.phrases[0]), "wai CDE2 split | gua B9D2 92EC split");
    EXPECT_EQ(Units(rules, rules.phrases[1]), "nu E5F3");
    EXPECT_EQ(Units(rules, rules.phrases[2]), "fa F38C B7A2 B06C");
    EXPECT_EQ(Units(rules, rules.phrases[3]), "diao 8CC5 | si CBBF BD7A");
    EXPECT_EQ(rules.phrases[4].match, MatchMode::kSound);
    EXPECT_EQ(rules.phrases[4].parts[0].kind, PartKind::kSyllable);
    EXPECT_TRUE(FoldsFullWidth(rules));
}

TEST(CRuleCompiler, WrittenLettersAndDigitsAreLiteralsAndFillersAreStripped) {
    const RuleSetSource rules = ReadWrittenOnShipped(
        "av\t40\tAV\twritten\n"
        "age\t30\t18禁\twritten\n"
        "wide\t30\tＡｖ\twritten\n"      // full width: the same letters
        "url\t30\tw.x-Y.com\twritten\n"  // '.' and '-' are fillers of the shipped ignore-sets
        "amp\t30\tA&B\twritten\n");      // '&' is too (20-2F), ':' is not
    EXPECT_EQ(Units(rules, rules.phrases[0]), "a A3C1 A3E1 | v A3D6 A3F6");
    EXPECT_EQ(Units(rules, rules.phrases[1]), "1 A3B1 | 8 A3B8 | jin BDFB");
    // Units are made once: the same letters share them.
    EXPECT_EQ(rules.phrases[2].parts[0].index, rules.phrases[0].parts[0].index);
    EXPECT_EQ(rules.phrases[2].parts[1].index, rules.phrases[0].parts[1].index);
    EXPECT_EQ(rules.phrases[3].parts.size(), 6u);
    EXPECT_EQ(rules.phrases[4].parts.size(), 2u);
    EXPECT_EQ(EdgeFlags(rules.phrases[0], rules), 3);
    EXPECT_EQ(EdgeFlags(rules.phrases[1], rules), 3);
    // The base set's ignore-sets keep ':', which then matches itself.
    RuleFolder base(
        {{"phrases.tsv", "id\tlevel\tphrase\tmatch\nc\t30\tA:B\twritten\n"}, {"combos.tsv", "id\tlevel\tparts\n"}});
    const RuleSetSource colon = ReadOk(base);
    EXPECT_EQ(Units(colon, colon.phrases[0]), "a A3C1 A3E1 | : A3BA | b A3C2 A3E2");
    EXPECT_EQ(EdgeFlags(colon.phrases[0], colon), 3);
}

TEST(CRuleCompiler, WrittenRulesTakeOneRowEachAndTheFoldTable) {
    const RuleSetSource rules =
        ReadWrittenOnShipped("cheat\t60\t外挂\twritten\nsound\t10\t外挂\nav\t40\tAV\twritten\n");
    const packhold::Package package = CRuleCompiler::MakePackage(rules);
    ASSERT_EQ(package.tables.size(), 6u);
    // Every rule is one row: the filter folds full-width letters itself.
    ASSERT_EQ(package.tables[2].rows.size(), 3u);
    const packhold::Table& phrases = package.tables[2];
    EXPECT_EQ(phrases.columns[phrases.columns.size() - 2].name, "match");
    EXPECT_EQ(phrases.columns.back().name, "edge");
    EXPECT_EQ(phrases.rows[0][phrases.columns.size() - 2].TextValue(), "written");
    EXPECT_FALSE(phrases.rows[1][phrases.columns.size() - 2].IsPresent());
    // Every written rule keeps its edges; the sound one has none.
    EXPECT_EQ(phrases.rows[0].back().IntValue(), 3);
    EXPECT_FALSE(phrases.rows[1].back().IsPresent());
    // No syllable row spells pinyin in full-width letters.
    for (const std::vector<Cell>& row : package.tables[1].rows)
        EXPECT_TRUE(!row[2].IsPresent() || row[2].TextValue()[0] != '\xA3') << row[0].TextValue();
    // No allowed expressions: an empty table keeps the fold table sixth.
    EXPECT_TRUE(package.tables[4].rows.empty());
    const packhold::Table& fold = package.tables[5];
    ASSERT_EQ(fold.rows.size(), 3u);
    EXPECT_EQ(fold.rows[1][0].BytesValue(), (std::vector<unsigned char>{0xA3, 0xC1, 0xDA}));
    EXPECT_EQ(fold.rows[1][1].IntValue(), 'A');
}

TEST(CRuleCompiler, AFolderWithoutWrittenRulesBuildsAsBefore) {
    // The match column alone, all sound, changes nothing.
    const RuleSetSource plain = ReadOnShipped("cheat\t60\t外挂\n");
    const RuleSetSource marked = ReadWrittenOnShipped("cheat\t60\t外挂\tsound\n");
    std::vector<unsigned char> a, b;
    std::string error;
    ASSERT_TRUE(packhold::EncodePackage(CRuleCompiler::MakePackage(plain), packhold::kDefaultKey, &a, &error));
    ASSERT_TRUE(packhold::EncodePackage(CRuleCompiler::MakePackage(marked), packhold::kDefaultKey, &b, &error));
    EXPECT_EQ(a, b);
    EXPECT_FALSE(FoldsFullWidth(marked));
}

TEST(CRuleCompiler, AWrittenPhraseCountsItsColumnsInOneWalk) {
    // Columns counted from the phrase's start for every character made a
    // phrase of 320,000 characters take 27 s: the work grew with the square
    // of its length. Counted as the text is walked, each byte is read once
    // for the phrase's field and once for each character's place.
    std::string phrase;
    const char* const cycle[] = {"外", "挂", "私", "服", "作", "弊", "a", "1"};
    for (std::size_t i = 0; i < 320000; ++i) phrase += cycle[i % 8];
    const RuleFolder folder({{"phrases.tsv", "id\tlevel\tphrase\ttags\tmatch\n\t1\t" + phrase + "\t\twritten\n"}});
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    const unsigned long long before = ColumnCounter::BytesRead();
    EXPECT_FALSE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics));
    const unsigned long long read = ColumnCounter::BytesRead() - before;
    RecordProperty("column_bytes_read", std::to_string(read));
    EXPECT_LE(read, 4 * phrase.size()) << read << " bytes read for columns of a " << phrase.size() << "-byte phrase";
}

}  // namespace
}  // namespace chatsieve::tools
