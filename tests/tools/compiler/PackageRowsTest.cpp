// The rows a rule set compiles to: an allowed expression naming every row of
// its rules, repeated expressions built once, and the rows references reach,
// past which phrases lose their full-width rows and rows are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ReadRuleFolder.h"
#include "RuleFolder.h"
#include "TempDir.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/CRuleLinter.h"
#include "compiler/PackageRows.h"

namespace chatsieve::tools {
namespace {

using packhold::Cell;
using test::Messages;
using test::ReadOk;
using test::RuleFolder;

TEST(CRuleCompiler, AnAllowedExpressionNamesEveryRowOfItsRules) {
    RuleFolder folder({{"allow.tsv", "allow\trules\tnote\n外挂套\tcheat gold-sale\t\n"}});
    const packhold::Package package = CRuleCompiler::MakePackage(ReadOk(folder));
    ASSERT_EQ(package.tables.size(), 5u);
    EXPECT_EQ(package.tables[4].rows[0][1], Cell::IntArray({300001, 300002, 300003, 400001, 400002, 400003}));
}

TEST(CRuleCompiler, RepeatedAllowedExpressionsAreBuiltOnce) {
    const std::string once = "allow\trules\tnote\n外挂套\t\t\n家里\tcheat\t\n";
    const packhold::Package kept = CRuleCompiler::MakePackage(ReadOk(RuleFolder({{"allow.tsv", once}})));
    const packhold::Package folded = CRuleCompiler::MakePackage(
        ReadOk(RuleFolder({{"allow.tsv", once + "外 挂套\t\tagain\n家里\tcheat cheat\t\n"}})));
    ASSERT_EQ(folded.tables.size(), 5u);
    ASSERT_EQ(folded.tables[4].rows.size(), 2u);
    for (std::size_t row = 0; row < 2; ++row)
        for (std::size_t column = 0; column < 3; ++column)
            EXPECT_EQ(folded.tables[4].rows[row][column], kept.tables[4].rows[row][column]);
    // Not the same rules: kept.
    const packhold::Package limited =
        CRuleCompiler::MakePackage(ReadOk(RuleFolder({{"allow.tsv", once + "外挂套\tcheat\t\n"}})));
    EXPECT_EQ(limited.tables[4].rows.size(), 3u);
}

TEST(CRuleCompiler, RowsReferredToStayWithinReach) {
    // wai gua has split forms, so each phrase is three rows: 33,333 of them
    // fill the 99,999 rows a reference reaches. In a larger set the phrases
    // past the room keep their main row only, and lint says where that
    // starts; a 100,000th phrase cannot be referred to at all.
    std::string phrases = "id\tlevel\tphrase\ngold\t0\t金 bi\nwechat\t0\t微信\n";
    for (int i = 0; i < 33331; ++i) phrases += "\t1\twai gua\n";
    const RuleSetSource fits = ReadOk(RuleFolder({{"phrases.tsv", phrases}}));
    EXPECT_EQ(PhrasesWithFullWidthRows(fits), fits.phrases.size());
    for (int i = 33331; i < 60000; ++i) phrases += "\t1\twai gua\n";
    const RuleSetSource full = ReadOk(RuleFolder({{"phrases.tsv", phrases}}));
    const std::size_t fit = PhrasesWithFullWidthRows(full);
    ASSERT_LT(fit, full.phrases.size());
    const packhold::Package package = CRuleCompiler::MakePackage(full);
    EXPECT_LE(package.tables[2].rows.size(), 99999u);
    EXPECT_GE(package.tables[2].rows.size(), 99998u);  // a rule's rows after its first are one or two
    const std::vector<Cell>& last = package.tables[2].rows.back();
    EXPECT_FALSE(last[4].IsPresent());  // the last phrase is a main row, not a variant row
    std::vector<Diagnostic> warnings;
    CRuleLinter().Check(full, &warnings);
    const auto roomless = std::find_if(warnings.begin(), warnings.end(), [](const Diagnostic& d) {
        return d.message.find("no room for full-width rows") != std::string::npos;
    });
    ASSERT_NE(roomless, warnings.end());
    EXPECT_EQ(roomless->pos.line, static_cast<int>(fit) + 2);  // below the header

    for (int i = 60000; i < 99997; ++i) phrases += "\t1\twai gua\n";
    RuleFolder over({{"phrases.tsv", phrases + "\t1\twai gua\n"}});
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Read(over.Path(), &rules, &diagnostics));
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].pos.line, 100001);
}

// `count` syllables with split forms, each used once, 32 to a phrase: every
// one then gives two full-width syllable rows beside its own.
RuleFolder::Files SyllablesUsedOnce(int count) {
    std::string syllables = "pinyin\tranges\tsplit\n", phrases = "id\tlevel\tphrase\n";
    for (int i = 0; i < count; ++i) {
        std::string name;
        for (int n = i, k = 0; k < 4; ++k, n /= 26) name += static_cast<char>('a' + n % 26);
        syllables += name + "\tB0A1\t夕卜\n";
        phrases += (i % 32 == 0 ? (i ? "\n\t1\t" : "\t1\t") : " ") + name;
    }
    return {{"syllables.tsv", syllables}, {"phrases.tsv", phrases + "\n"}, {"combos.tsv", "id\tlevel\tparts\n"}};
}

TEST(CRuleCompiler, RefusesSyllableRowsPastReachOnceFullWidthRowsAreMade) {
    // 33,333 syllables make 99,999 rows, the most a reference names.
    const RuleSetSource fits = ReadOk(RuleFolder(SyllablesUsedOnce(33333)));
    EXPECT_EQ(LayOutRows(fits).syllables.size(), 99999u);

    test::ScopedTempDir dir;
    RuleFolder over(SyllablesUsedOnce(33334));
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Build(over.Path(), "out.res", &diagnostics));
    ASSERT_EQ(diagnostics.size(), 1u) << Messages(diagnostics);
    // The last phrase holds the syllable whose rows cross the limit.
    EXPECT_EQ(diagnostics[0].pos.line, 2 + 33333 / 32);
    EXPECT_NE(diagnostics[0].message.find("needs a syllable row past the 99999"), std::string::npos)
        << diagnostics[0].message;
    EXPECT_FALSE(std::filesystem::exists("out.res"));
}

TEST(CRuleCompiler, RefusesAnAllowedExpressionNamingACombinationRowPastReach) {
    // 外 挂 each has a split form, so every combination is three rows: the
    // 33,333rd ends on row 99,999, the 33,334th starts past it.
    std::string combos = "id\tlevel\tparts\n";
    for (int i = 1; i <= 33334; ++i) combos += "c" + std::to_string(i) + "\t1\t外 挂\n";
    RuleFolder at({{"combos.tsv", combos}, {"allow.tsv", "allow\trules\tnote\n外挂套\tc33333\t\n"}});
    ReadOk(at);
    RuleFolder over({{"combos.tsv", combos}, {"allow.tsv", "allow\trules\tnote\n外挂套\tc33334\t\n"}});
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Read(over.Path(), &rules, &diagnostics));
    ASSERT_EQ(diagnostics.size(), 1u) << Messages(diagnostics);
    EXPECT_EQ(diagnostics[0].pos.line, 2);
    EXPECT_NE(diagnostics[0].message.find("combination 'c33334'"), std::string::npos) << diagnostics[0].message;
}

}  // namespace
}  // namespace chatsieve::tools
