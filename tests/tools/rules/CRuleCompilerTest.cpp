// The rule compiler: every bad input of data/bad with the exact message it
// must give, how names resolve, the tables it makes, and that a failed build
// writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "RuleFolder.h"
#include "TempDir.h"
#include "rules/CRuleCompiler.h"

namespace chatsieve::tools {
namespace {

using packhold::Cell;
using test::ReadFileText;
using test::RuleFolder;

std::string Messages(const std::vector<Diagnostic>& diagnostics) {
    std::string text;
    for (const Diagnostic& d : diagnostics) text += d.Format() + "\n";
    return text;
}

RuleSetSource ReadOk(const RuleFolder& folder) {
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    EXPECT_TRUE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics)) << Messages(diagnostics);
    return rules;
}

std::vector<std::int32_t> Refs(const packhold::Package& package, int table, std::size_t row) {
    return package.tables[static_cast<std::size_t>(table)].rows[row][1].IntArrayValue();
}

// ---- bad inputs: data/bad/NAME.FILE.tsv replaces FILE.tsv of the base set
// and must give exactly the messages of data/bad/NAME.expected.

struct BadInput {
    std::string name;
    std::string file;
};

// Names the case in test listings and failures; without it they show the
// struct's raw bytes.
void PrintTo(const BadInput& input, std::ostream* out) { *out << input.name << " (" << input.file << ")"; }

std::vector<BadInput> BadInputs() {
    std::vector<BadInput> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(TOOLS_TEST_DATA "/bad")) {
        const std::string stem = entry.path().stem().string();  // NAME.FILE
        if (entry.path().extension() != ".tsv") continue;
        const std::size_t dot = stem.find('.');
        inputs.push_back(BadInput{stem.substr(0, dot), stem.substr(dot + 1) + ".tsv"});
    }
    std::sort(inputs.begin(), inputs.end(), [](const BadInput& a, const BadInput& b) { return a.name < b.name; });
    return inputs;
}

class CRuleCompilerBadInput : public testing::TestWithParam<BadInput> {};

TEST_P(CRuleCompilerBadInput, FailsWithItsMessagesAndWritesNothing) {
    const BadInput& input = GetParam();
    const std::string data = std::string(TOOLS_TEST_DATA "/bad/") + input.name;
    const std::string expected = ReadFileText(data + ".expected");
    ASSERT_FALSE(expected.empty()) << "missing " << data << ".expected";
    RuleFolder folder({{input.file, ReadFileText(data + "." + input.file)}});
    // Messages name the files as the folder was given; from inside it, bare.
    test::ScopedTempDir unused;
    std::filesystem::current_path(folder.Path());
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Build("", "out.res", &diagnostics));
    EXPECT_EQ(Messages(diagnostics), expected);
    EXPECT_FALSE(std::filesystem::exists("out.res"));
}

INSTANTIATE_TEST_SUITE_P(Files, CRuleCompilerBadInput, testing::ValuesIn(BadInputs()),
                         [](const testing::TestParamInfo<BadInput>& param) {
                             std::string name = param.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// ---- what a good folder becomes

TEST(CRuleCompiler, MakesTheFourTablesTheFilterReads) {
    RuleFolder folder;
    const packhold::Package package = CRuleCompiler::MakePackage(ReadOk(folder));
    ASSERT_EQ(package.tables.size(), 4u);
    EXPECT_EQ(package.tables[0].rows[0][0], Cell::IntArray({0x20, 0x2F, -1, 0xA1, 0xA1, 0xFE}));
    EXPECT_EQ(package.tables[0].rows[0][1], Cell::Int(0));

    const packhold::Table& syllables = package.tables[1];
    ASSERT_EQ(syllables.rows.size(), 11u);
    const std::vector<Cell>& fu = syllables.rows[3];  // fu	B7F2-B7FE B8A1-B8C0	月艮
    EXPECT_EQ(fu[0], Cell::Text("fu"));
    EXPECT_EQ(fu[1], Cell::Bytes({0xB7, 0xF2, 0xFE, 0xB8, 0xA1, 0xC0}));
    EXPECT_EQ(fu[2], Cell::Text("\xD4\xC2\xF4\xDE"));
    EXPECT_FALSE(syllables.rows[5][2].IsPresent());  // jin has no split form

    // Rows are numbered from 1 in references: syllables 200000 + n, phrases 300000 + n.
    EXPECT_EQ(Refs(package, 2, 0), (std::vector<std::int32_t>{200001, 200002}));  // 外挂
    EXPECT_EQ(Refs(package, 2, 1), (std::vector<std::int32_t>{200003, 200004}));  // si fu
    EXPECT_EQ(Refs(package, 2, 2), (std::vector<std::int32_t>{200006, 200007}));  // 金 bi
    EXPECT_EQ(Refs(package, 3, 0), (std::vector<std::int32_t>{200005, 300003}));  // mai gold
    EXPECT_EQ(Refs(package, 3, 1), (std::vector<std::int32_t>{200008, 300004}));  // 加 wechat
    EXPECT_EQ(package.tables[2].rows[0][0], Cell::Int(6));
    EXPECT_EQ(package.tables[2].rows[0][2], Cell::Text("cheat"));
    EXPECT_EQ(package.tables[2].rows[0][3], Cell::Text("\xCD\xE2\xB9\xD2"));
    EXPECT_FALSE(package.tables[3].rows[1][2].IsPresent());  // a combination without an id
}

// After the filter's columns, each rule says where it was written (the
// file's name alone, so the place does not depend on the folder) and its
// tags, tidied; a header without the tags column still reads.
TEST(CRuleCompiler, RulesCarryTheirFileLineAndTags) {
    RuleFolder folder({{"phrases.tsv",
                        "# banned\nid\tlevel\tphrase\ttags\n\ncheat\t6\t外挂\t cheat , tool\n"
                        "server\t5\tsi fu\ngold\t0\t金 bi\nwechat\t0\t微信\tcontact\n"}});
    const packhold::Package package = CRuleCompiler::MakePackage(ReadOk(folder));
    const packhold::Table& phrases = package.tables[2];
    ASSERT_EQ(phrases.columns.size(), 7u);
    EXPECT_EQ(phrases.columns[4].name, "file");
    EXPECT_EQ(phrases.columns[5].name, "line");
    EXPECT_EQ(phrases.columns[6].name, "tags");
    EXPECT_EQ(phrases.rows[0][4], Cell::Text("phrases.tsv"));
    EXPECT_EQ(phrases.rows[0][5], Cell::Int(4));
    EXPECT_EQ(phrases.rows[0][6], Cell::Text("cheat,tool"));
    EXPECT_EQ(phrases.rows[1][5], Cell::Int(5));
    EXPECT_FALSE(phrases.rows[1][6].IsPresent());
    EXPECT_EQ(phrases.rows[3][6], Cell::Text("contact"));
    const packhold::Table& combos = package.tables[3];
    EXPECT_EQ(combos.rows[1][4], Cell::Text("combos.tsv"));
    EXPECT_EQ(combos.rows[1][5], Cell::Int(3));
}

TEST(CRuleCompiler, ResolvesEveryWayOfWritingASyllable) {
    RuleFolder folder({{"phrases.tsv",
                        "id\tlevel\tphrase\n"
                        "a\t1\t外挂\n"
                        "b\t1\tWAI Gua\n"
                        "c\t1\t外 gua\n"
                        "d\t1\twai挂\n"
                        "e\t1\twai'gua\n"
                        "f\t1\t 歪 瓜 \n"  // homophones: other characters of the same syllables
                        "gold\t0\t金币\nwechat\t0\t微信\n"}});
    const packhold::Package package = CRuleCompiler::MakePackage(ReadOk(folder));
    for (std::size_t row = 0; row < 6; ++row)
        EXPECT_EQ(Refs(package, 2, row), (std::vector<std::int32_t>{200001, 200002})) << "row " << row;
}

TEST(CRuleCompiler, CombinationPartsAreIdsPinyinOrCharacters) {
    RuleFolder folder({{"combos.tsv", "id\tlevel\tparts\nx\t2\tgold 卖 MAI wechat\n"}});
    const packhold::Package package = CRuleCompiler::MakePackage(ReadOk(folder));
    EXPECT_EQ(Refs(package, 3, 0), (std::vector<std::int32_t>{300003, 200005, 200005, 300004}));
}

TEST(CRuleCompiler, ReadsCommentsBlankLinesLineEndsAndShortRows) {
    RuleFolder folder(
        {{"ignore.tsv",
          "\xEF\xBB\xBF# comment\r\n\r\nkind\tvalue\r\n  # indented comment\r\nsingle\t 20-2F \r\nset\nlog\ton"},
         {"combos.tsv", "id\tlevel\tparts\n"}});
    const RuleSetSource rules = ReadOk(folder);
    ASSERT_EQ(rules.ignoreSets.size(), 2u);  // the second, started by 'set', is empty
    EXPECT_EQ(rules.ignoreSets[0].singles.size(), 1u);
    EXPECT_TRUE(rules.logEnabled);
    EXPECT_TRUE(rules.combos.empty());
    const packhold::Package package = CRuleCompiler::MakePackage(rules);
    EXPECT_EQ(package.tables[0].rows[1][0], Cell::IntArray({-1}));
    EXPECT_EQ(package.tables[0].rows[1][1], Cell::Int(1));
}

TEST(CRuleCompiler, MissingFilesAreNamed) {
    test::ScopedTempDir dir;
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Build("nowhere", "out.res", &diagnostics));
    EXPECT_EQ(Messages(diagnostics),
              "nowhere/ignore.tsv:1:1: cannot open the file\nnowhere/syllables.tsv:1:1: cannot open the file\n"
              "nowhere/phrases.tsv:1:1: cannot open the file\nnowhere/combos.tsv:1:1: cannot open the file\n");
}

TEST(CRuleCompiler, AFolderInPlaceOfATableIsNamedAsSuch) {
    test::ScopedTempDir dir;
    std::filesystem::create_directories("rules/phrases.tsv");
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Build("rules", "out.res", &diagnostics));
    EXPECT_NE(Messages(diagnostics).find("rules/phrases.tsv:1:1: is a folder, not a rule table file\n"),
              std::string::npos)
        << Messages(diagnostics);
}

TEST(CRuleCompiler, BuildsTheSameBytesEveryTimeAndKeepsTheOldPackageOnError) {
    test::ScopedTempDir dir;
    RuleFolder folder;
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(CRuleCompiler().Build(folder.Path(), "one.res", &diagnostics)) << Messages(diagnostics);
    ASSERT_TRUE(CRuleCompiler().Build(folder.Path(), "two.res", &diagnostics));
    const std::string built = ReadFileText("one.res");
    EXPECT_FALSE(built.empty());
    EXPECT_EQ(built, ReadFileText("two.res"));

    test::WriteFileText(folder / "phrases.tsv", "id\tlevel\tphrase\ncheat\t6\twaii\n");
    EXPECT_FALSE(CRuleCompiler().Build(folder.Path(), "one.res", &diagnostics));
    EXPECT_EQ(ReadFileText("one.res"), built);
}

}  // namespace
}  // namespace chatsieve::tools
