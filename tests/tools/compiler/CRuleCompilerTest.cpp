// The rule compiler: every bad input of data/bad with the exact message it
// must give, how names resolve, the tables it makes, how it reads its files,
// and that a failed build writes nothing. How characters read, the written
// mode and the rows within reach have tests of their own
// (CharacterReadingTest, WrittenPhraseTest, PackageRowsTest).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "ReadRuleFolder.h"
#include "RuleFolder.h"
#include "TempDir.h"
#include "compiler/CRuleCompiler.h"

namespace chatsieve::tools {
namespace {

using packhold::Cell;
using test::Messages;
using test::ReadFileText;
using test::ReadOk;
using test::ReadOnShipped;
using test::RuleFolder;

std::vector<std::int32_t> Refs(const packhold::Package& package, int table, std::size_t row) {
    return package.tables[static_cast<std::size_t>(table)].rows[row][1].IntArrayValue();
}

// ---- bad inputs: data/bad/NAME.expected holds the messages the case must
// give; every other file data/bad/NAME.FILE goes into a copy of the base set
// as FILE (replacing the base set's FILE.tsv), except that
//  - NAME.FILE.fifo makes FILE a named pipe;
//  - NAME.FILE.symlink makes FILE a link to the target the file holds
//    (@DATA@ standing for the test data folder);
//  - NAME.FILE.sparse makes FILE a file of as many zero bytes as it says,
//    without writing them.

struct BadInput {
    std::string name;
};

// Names the case in test listings and failures; without it they show the
// struct's raw bytes.
void PrintTo(const BadInput& input, std::ostream* out) { *out << input.name; }

std::vector<BadInput> BadInputs() {
    std::vector<BadInput> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(TOOLS_TEST_DATA "/bad"))
        if (entry.path().extension() == ".expected") inputs.push_back(BadInput{entry.path().stem().string()});
    std::sort(inputs.begin(), inputs.end(), [](const BadInput& a, const BadInput& b) { return a.name < b.name; });
    return inputs;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Makes FILE of the case's file `source` (data/bad/NAME.FILE[.KIND]) in `folder`.
void PlaceFile(const std::filesystem::path& source, const std::string& file, const RuleFolder& folder) {
    const std::filesystem::path made = folder / file;
    std::filesystem::remove(made);
    const std::string contents = ReadFileText(source);
    if (source.extension() == ".fifo") {
        ASSERT_EQ(0, mkfifo(made.c_str(), 0600)) << made;
    } else if (source.extension() == ".symlink") {
        std::string target = contents.substr(0, contents.find('\n'));
        const std::size_t data = target.find("@DATA@");
        if (data != std::string::npos) target.replace(data, 6, TOOLS_TEST_DATA);
        std::filesystem::create_symlink(target, made);
    } else if (source.extension() == ".sparse") {
        std::ofstream(made, std::ios::binary).close();
        std::filesystem::resize_file(made, std::stoull(contents));
    } else {
        test::WriteFileText(made, contents);
    }
}

class CRuleCompilerBadInput : public testing::TestWithParam<BadInput> {};

TEST_P(CRuleCompilerBadInput, FailsWithItsMessagesAndWritesNothing) {
    const BadInput& input = GetParam();
    const std::string data = std::string(TOOLS_TEST_DATA "/bad/") + input.name;
    const std::string expected = ReadFileText(data + ".expected");
    ASSERT_FALSE(expected.empty()) << "empty " << data << ".expected";
    RuleFolder folder;
    const std::string prefix = input.name + ".";
    for (const auto& entry : std::filesystem::directory_iterator(TOOLS_TEST_DATA "/bad")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0 || entry.path().extension() == ".expected") continue;
        std::string file = name.substr(prefix.size());
        for (const char* kind : {".fifo", ".symlink", ".sparse"})
            if (EndsWith(file, kind)) file.resize(file.size() - std::strlen(kind));
        PlaceFile(entry.path(), file, folder);
    }
    // Messages name the files as the folder was given; from inside it, bare.
    test::ScopedTempDir unused;
    std::filesystem::current_path(folder.Path());
    test::WriteFileText("out.res", "the old package");
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Build("", "out.res", &diagnostics));
    EXPECT_EQ(Messages(diagnostics), expected);
    EXPECT_EQ("the old package", ReadFileText("out.res"));
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

    // The table's own syllables come first, as written; the rows the rules
    // need for variants and full-width pinyin follow.
    const packhold::Table& syllables = package.tables[1];
    ASSERT_EQ(syllables.rows.size(), 32u);
    const std::vector<Cell>& fu = syllables.rows[3];  // fu	B7F2-B7FE B8A1-B8C0	月艮
    EXPECT_EQ(fu[0], Cell::Text("fu"));
    EXPECT_EQ(fu[1], Cell::Bytes({0xB7, 0xF2, 0xFE, 0xB8, 0xA1, 0xC0}));
    EXPECT_EQ(fu[2], Cell::Text("\xD4\xC2\xF4\xDE"));
    EXPECT_FALSE(fu[3].IsPresent());
    EXPECT_FALSE(syllables.rows[5][2].IsPresent());  // jin has no split form

    // Rows are numbered from 1 in references: syllables 200000 + n, phrases
    // 300000 + n. 外挂: wai's own row, and gua's with 掛 (92EC) beside its
    // characters, marked as made from row 2.
    EXPECT_EQ(Refs(package, 2, 0), (std::vector<std::int32_t>{200001, 200012}));
    EXPECT_EQ(syllables.rows[11][0], Cell::Text("gua"));
    EXPECT_EQ(syllables.rows[11][1], Cell::Bytes({0xB9, 0xCE, 0xD3, 0x92, 0xEC, 0xEC}));
    EXPECT_EQ(syllables.rows[11][2], Cell::Text("\xDE\xD0\xB9\xE7"));  // 扌圭
    EXPECT_EQ(syllables.rows[11][3], Cell::Int(2));
    // Then the same in full-width upper case (ＷＡＩ ＧＵＡ) and lower case.
    EXPECT_EQ(Refs(package, 2, 1), (std::vector<std::int32_t>{200013, 200014}));
    EXPECT_EQ(syllables.rows[12][2], Cell::Text("\xA3\xD7\xA3\xC1\xA3\xC9"));
    EXPECT_EQ(syllables.rows[13][1], syllables.rows[11][1]);
    EXPECT_EQ(Refs(package, 2, 2), (std::vector<std::int32_t>{200015, 200016}));
    EXPECT_EQ(syllables.rows[14][2], Cell::Text("\xA3\xF7\xA3\xE1\xA3\xE9"));
    for (std::size_t row = 0; row < 3; ++row) {
        EXPECT_EQ(package.tables[2].rows[row][0], Cell::Int(6));
        EXPECT_EQ(package.tables[2].rows[row][2], Cell::Text("cheat"));
        EXPECT_EQ(package.tables[2].rows[row][3], Cell::Text("\xCD\xE2\xB9\xD2"));
        EXPECT_EQ(package.tables[2].rows[row][4], row == 0 ? Cell() : Cell::Int(1));  // repeats row 1
    }
    // 金 bi: no split forms, so upper case takes their place in the first row.
    EXPECT_EQ(Refs(package, 2, 6), (std::vector<std::int32_t>{200021, 200022}));
    EXPECT_EQ(syllables.rows[20][2], Cell::Text("\xA3\xCA\xA3\xC9\xA3\xCE"));  // ＪＩＮ
    ASSERT_EQ(package.tables[2].rows.size(), 11u);                             // 3 + 3 + 2 + 3

    // A combination's rows name the rows of the same kind of its phrases;
    // gold has no row of upper case of its own, its first row serves.
    EXPECT_EQ(Refs(package, 3, 0), (std::vector<std::int32_t>{200005, 300007}));  // mai gold
    EXPECT_EQ(Refs(package, 3, 1), (std::vector<std::int32_t>{200029, 300007}));
    EXPECT_EQ(Refs(package, 3, 2), (std::vector<std::int32_t>{200030, 300008}));
    EXPECT_EQ(Refs(package, 3, 3), (std::vector<std::int32_t>{200031, 300009}));  // 加 wechat
    EXPECT_FALSE(package.tables[3].rows[3][2].IsPresent());                       // a combination without an id
}

std::vector<int> Syllables(const RuleSource& rule) {
    std::vector<int> rows;
    for (const PartRef& part : rule.parts)
        rows.push_back(part.kind == PartKind::kSyllable ? part.index : -1 - part.index);
    return rows;
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
    ASSERT_EQ(phrases.columns.size(), 8u);
    EXPECT_EQ(phrases.columns[5].name, "file");
    EXPECT_EQ(phrases.columns[6].name, "line");
    EXPECT_EQ(phrases.columns[7].name, "tags");
    // Every row of a rule, its variant rows too, names the rule's place.
    std::size_t cheatRows = 0;
    for (const std::vector<Cell>& row : phrases.rows) {
        if (row[6] != Cell::Int(4)) continue;
        ++cheatRows;
        EXPECT_EQ(row[5], Cell::Text("phrases.tsv"));
        EXPECT_EQ(row[7], Cell::Text("cheat,tool"));
    }
    EXPECT_GT(cheatRows, 1u);
    const auto rowOf = [](const packhold::Table& table, const std::string& id) {
        for (const std::vector<Cell>& row : table.rows)
            if (row[2] == Cell::Text(id)) return row;
        return std::vector<Cell>{};
    };
    const std::vector<Cell> server = rowOf(phrases, "server");
    ASSERT_EQ(server.size(), 8u);
    EXPECT_EQ(server[6], Cell::Int(5));
    EXPECT_FALSE(server[7].IsPresent());
    EXPECT_EQ(rowOf(phrases, "wechat")[7], Cell::Text("contact"));
    const packhold::Table& combos = package.tables[3];
    const std::vector<Cell>& lastCombo = combos.rows.back();
    EXPECT_EQ(lastCombo[5], Cell::Text("combos.tsv"));
    EXPECT_EQ(lastCombo[6], Cell::Int(3));
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
                        "g\t1\t外掛\n"     // a traditional form no syllable holds: its simplified one's
                        "gold\t0\t金币\nwechat\t0\t微信\n"}});
    const RuleSetSource rules = ReadOk(folder);
    for (std::size_t row = 0; row < 7; ++row)
        EXPECT_EQ(Syllables(rules.phrases[row]), (std::vector<int>{0, 1})) << "row " << row;
    // Only a written 挂 or 掛 brings the other along.
    for (std::size_t row = 0; row < 7; ++row)
        EXPECT_EQ(rules.phrases[row].parts[1].extra.size(), row == 0 || row == 3 || row == 6 ? 1u : 0u)
            << "row " << row;
}

TEST(CRuleCompiler, CombinationPartsAreIdsPinyinOrCharacters) {
    RuleFolder folder({{"combos.tsv", "id\tlevel\tparts\nx\t2\tgold 卖 MAI wechat\n"}});
    const RuleSetSource rules = ReadOk(folder);
    EXPECT_EQ(Syllables(rules.combos[0]), (std::vector<int>{-3, 4, 4, -4}));
    // 卖 brings 賣 (D9 75) along; the pinyin does not.
    ASSERT_EQ(rules.combos[0].parts[1].extra.size(), 1u);
    EXPECT_EQ(FormatCodeRange(rules.combos[0].parts[1].extra[0]), "D975");
    EXPECT_TRUE(rules.combos[0].parts[2].extra.empty());
}

// A word as a part becomes a phrase of level 0 after the table's phrases,
// made once however many combinations name it, with its variant and
// full-width rows; a folder that names no word is built as before.
TEST(CRuleCompiler, AWordAsAPartBecomesAPhraseOfLevelZero) {
    const RuleSetSource rules =
        ReadOk(RuleFolder({{"combos.tsv", "id\tlevel\tparts\nx\t4\tmai 外挂\ny\t3\t外挂 微信金\n"}}));
    ASSERT_EQ(rules.phrases.size(), 6u);  // the base set's four, then 外挂 and 微信金
    const RuleSource& made = rules.phrases[4];
    EXPECT_EQ(made.level, 0);
    EXPECT_EQ(made.text, "外挂");
    EXPECT_EQ(made.pos.file, rules.combos[0].pos.file);
    EXPECT_EQ(made.parts.size(), 2u);
    EXPECT_EQ(rules.phrases[5].parts.size(), 3u);
    ASSERT_EQ(rules.combos[0].parts.size(), 2u);
    EXPECT_EQ(rules.combos[0].parts[1].kind, PartKind::kPhrase);
    EXPECT_EQ(rules.combos[0].parts[1].index, 4);
    EXPECT_EQ(rules.combos[1].parts[0].index, 4);
    EXPECT_EQ(rules.combos[1].parts[1].index, 5);
    // Matched as the phrase 外挂 would be: the combination's rows name the
    // made phrase's rows of the same kind.
    const packhold::Package package = CRuleCompiler::MakePackage(rules);
    const std::vector<std::int32_t> first = Refs(package, 3, 0);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(package.tables[2].rows[static_cast<std::size_t>(first[1] - 300001)][3], Cell::Text("\xCD\xE2\xB9\xD2"));
}

TEST(CRuleCompiler, ShippedTablesStandInForOnesAFolderLeavesOut) {
    const RuleSetSource rules = ReadOnShipped("cheat\t60\t外挂\n");
    EXPECT_EQ(rules.syllables.size(), 396u);
    EXPECT_EQ(rules.syllables[0].pos.file, "syllables.tsv (shipped)");
    EXPECT_FALSE(rules.ignoreSets.empty());
    // A folder's own table wins: the base set's holds 11 syllables.
    RuleFolder own;
    EXPECT_EQ(ReadOk(own).syllables.size(), 11u);
}

// ---- reading the files

TEST(CRuleCompiler, RefusesAnOverlongPhraseOrRowWithoutWalkingItOncePerCharacter) {
    // Columns counted from the line start for every character made these
    // take hours; they are refused as they are read.
    std::string phrase;
    for (int i = 0; i < 1000000; ++i) phrase += "外";
    phrase += " wai(x)gua";
    RuleFolder longPhrase(
        {{"phrases.tsv", "id\tlevel\tphrase\n\t1\t" + phrase + "\n"}, {"combos.tsv", "id\tlevel\tparts\n"}});
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Read(longPhrase.Path(), &rules, &diagnostics));
    EXPECT_EQ(Messages(diagnostics),
              longPhrase.Path() + "/phrases.tsv:2:4: a phrase holds at most 32 syllables; this one has 1000002\n");

    RuleFolder manyFields({{"phrases.tsv", "id\tlevel\tphrase\n\t1\t外挂" + std::string(1000000, '\t') + "\n"}});
    diagnostics.clear();
    EXPECT_FALSE(CRuleCompiler().Read(manyFields.Path(), &rules, &diagnostics));
    EXPECT_EQ(Messages(diagnostics), manyFields.Path() +
                                         "/phrases.tsv:2:7: too many fields: the table has 3 columns "
                                         "(id<TAB>level<TAB>phrase)\n");
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

TEST(CRuleCompiler, ATableFileGivenForItsFolderSaysAFolderIsExpected) {
    RuleFolder folder;
    std::vector<Diagnostic> diagnostics;
    const std::string file = (folder / "phrases.tsv").string();
    EXPECT_FALSE(CRuleCompiler().Build(file, (folder / "out.res").string(), &diagnostics));
    EXPECT_EQ(Messages(diagnostics),
              file + ":1:1: is a file; a rule folder is expected (the folder that holds phrases.tsv)\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "out.res"));
}

TEST(CRuleCompiler, AFolderWithoutCombinationsBuildsAsOneWithAnEmptyTable) {
    test::ScopedTempDir dir;
    RuleFolder folder({{"combos.tsv", "id\tlevel\tparts\n"}});
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(CRuleCompiler().Build(folder.Path(), "empty.res", &diagnostics)) << Messages(diagnostics);
    std::filesystem::remove(folder / "combos.tsv");
    ASSERT_TRUE(CRuleCompiler().Build(folder.Path(), "none.res", &diagnostics)) << Messages(diagnostics);
    EXPECT_EQ(ReadFileText("none.res"), ReadFileText("empty.res"));
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
