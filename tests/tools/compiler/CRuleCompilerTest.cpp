// The rule compiler: every bad input of data/bad with the exact message it
// must give, how names resolve, the tables it makes, and that a failed build
// writes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "RuleFolder.h"
#include "TempDir.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/CRuleLinter.h"
#include "compiler/PackageRows.h"
#include "compiler/WrittenPhrase.h"

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

// ---- readings and variants

// A folder of phrases (and no combinations) on the shipped syllables and
// ignore-sets, which stand in for the files it leaves out.
RuleSetSource ReadOnShipped(const std::string& phrases) {
    RuleFolder folder({{"phrases.tsv", "id\tlevel\tphrase\n" + phrases}, {"combos.tsv", "id\tlevel\tparts\n"}});
    std::filesystem::remove(folder / "syllables.tsv");
    std::filesystem::remove(folder / "ignore.tsv");
    return ReadOk(folder);
}

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

// ---- the written mode: each character as written, Latin letters and digits
// as themselves, units shared between rules.

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

TEST(CRuleCompiler, ASoundCharacterBeyondTheSyllablesTakesItsMainReading) {
    // 弩 (E5F3) is in no shipped syllable; it reads nu and catches itself there.
    const RuleSetSource rules = ReadOnShipped("bow\t30\t弩\n");
    EXPECT_EQ(PinyinOf(rules, rules.phrases[0]), "nu");
    EXPECT_EQ(Extra(rules.phrases[0].parts[0]), "E5F3");
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

TEST(CRuleCompiler, AWrittenPhraseIsReadInTimeProportionalToItsLength) {
    // Columns counted from the phrase's start for every character made a
    // phrase of 320,000 characters take 27 s, one of 80,000 2.3 s. A phrase
    // 8 times as long takes about 8 times as long read in linear time and 64
    // times read in quadratic time; the fastest of five reads of each,
    // taken in turn, is compared against a bound between the two, so a busy
    // machine does not decide.
    const auto phraseFolder = [](std::size_t characters) {
        const char* const cycle[] = {"外", "挂", "私", "服", "作", "弊", "a", "1"};
        std::string phrase;
        for (std::size_t i = 0; i < characters; ++i) phrase += cycle[i % 8];
        return RuleFolder({{"phrases.tsv", "id\tlevel\tphrase\ttags\tmatch\n\t1\t" + phrase + "\t\twritten\n"}});
    };
    const RuleFolder shortFolder = phraseFolder(40000), longFolder = phraseFolder(320000);
    const auto seconds = [](const RuleFolder& folder) {
        RuleSetSource rules;
        std::vector<Diagnostic> diagnostics;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double shorter = 1e9, longer = 1e9;
    for (int run = 0; run < 5; ++run) {
        shorter = std::min(shorter, seconds(shortFolder));
        longer = std::min(longer, seconds(longFolder));
    }
    RecordProperty("seconds_40000", std::to_string(shorter));
    RecordProperty("seconds_320000", std::to_string(longer));
    EXPECT_LT(longer, 24 * shorter) << shorter << " s for 40,000 characters, " << longer << " s for 320,000";
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
