// Decompiling: the build-decompile-build round trip gives the same bytes, a
// package from elsewhere comes back as rules that behave the same, and
// packages the filter would refuse are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "RuleFolder.h"
#include "TempDir.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/CRuleDecompiler.h"

namespace chatsieve::tools {
namespace {

using packhold::Cell;
using packhold::CellType;

std::vector<unsigned char> Encode(const packhold::Package& package) {
    std::vector<unsigned char> bytes;
    std::string error;
    EXPECT_TRUE(packhold::EncodePackage(package, packhold::kDefaultKey, &bytes, &error)) << error;
    return bytes;
}

packhold::Package Compile(const std::string& folder) {
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    const bool read = CRuleCompiler().Read(folder, &rules, &diagnostics);
    std::string messages;
    for (const Diagnostic& d : diagnostics) messages += d.Format() + "\n";
    EXPECT_TRUE(read) << messages;
    return CRuleCompiler::MakePackage(rules);
}

// Decodes the bytes as a reader would, decompiles them into `folder` and builds that again.
std::vector<unsigned char> RoundTrip(const std::vector<unsigned char>& bytes, const std::string& folder,
                                     std::vector<std::string>* notes) {
    packhold::Package decoded;
    std::string error;
    EXPECT_TRUE(packhold::DecodePackage(bytes.data(), bytes.size(), packhold::kDefaultKey, &decoded, &error)) << error;
    AuthoringFiles files;
    EXPECT_TRUE(CRuleDecompiler().Decompile(decoded, &files, notes, &error)) << error;
    EXPECT_TRUE(CRuleDecompiler::WriteFolder(folder, files, &error)) << error;
    return Encode(Compile(folder));
}

TEST(CRuleDecompiler, TheShippedRulesComeBackByteForByte) {
    test::ScopedTempDir dir;
    const std::vector<unsigned char> built = Encode(Compile(SHIPPED_RULES));
    std::vector<std::string> notes;
    EXPECT_EQ(RoundTrip(built, "again", &notes), built);
    EXPECT_TRUE(notes.empty());
}

TEST(CRuleDecompiler, EveryFeatureOfTheFormatComesBack) {
    test::ScopedTempDir dir;
    // Several ignore-sets with the log on, single values, a syllable without
    // split form, rules without ids, pinyin in any case, combination parts of
    // every kind.
    test::RuleFolder folder(
        {{"ignore.tsv", "kind\tvalue\nlog\ton\nsingle\t20\ndouble\tA1A1-A1FE\nset\t\ndouble\tA3A1\nset\t\n"},
         {"phrases.tsv", "id\tlevel\tphrase\n\t70\tWAI挂\nserver\t5\tsi'fu\ngold\t0\t金 bi\nwechat\t0\t微信\n"},
         {"combos.tsv", "id\tlevel\tparts\n\t4\tmai gold 加 WO\nc2\t0\twechat\n"}});
    const std::vector<unsigned char> built = Encode(Compile(folder.Path()));
    std::vector<std::string> notes;
    EXPECT_EQ(RoundTrip(built, "again", &notes), built);
    EXPECT_TRUE(notes.empty());
}

// A word written as a combination part comes back as written, and the
// phrase the compiler made of it stays out of phrases.tsv.
TEST(CRuleDecompiler, AWordAsACombinationPartComesBackAsWritten) {
    test::ScopedTempDir dir;
    test::RuleFolder folder({{"combos.tsv", "id\tlevel\tparts\nx\t4\tmai 外挂\ny\t3\t外挂 加\n\t3\t加 wechat\n"}});
    const std::vector<unsigned char> built = Encode(Compile(folder.Path()));
    std::vector<std::string> notes;
    EXPECT_EQ(RoundTrip(built, "again", &notes), built);
    EXPECT_TRUE(notes.empty()) << ::testing::PrintToString(notes);
    EXPECT_EQ(test::ReadFileText("again/phrases.tsv"), test::ReadFileText(folder / "phrases.tsv"));
    const std::string combos = test::ReadFileText("again/combos.tsv");
    EXPECT_EQ(combos.substr(combos.find("id\t")), "id\tlevel\tparts\nx\t4\tmai 外挂\ny\t3\t外挂 加\n\t3\t加 wechat\n");
}

// Every rule goes back on the line it came from, so the places that the
// package (and so the filter's explanations) names are right in the
// decompiled folder too; a rule on line 2 leaves no room for the banner.
TEST(CRuleDecompiler, RulesGoBackOnTheirLinesWithTheirTags) {
    test::ScopedTempDir dir;
    test::RuleFolder folder(
        {{"phrases.tsv",
          "id\tlevel\tphrase\ttags\ncheat\t6\t外挂\tcheat,tool\n# servers\n\n\nserver\t5\tsi fu\n"
          "gold\t0\t金 bi\nwechat\t0\t微信\n"},
         {"combos.tsv", "id\tlevel\tparts\ttags\n#\n#\n#\n#\n\t4\tmai gold\tgold-selling\n\t3\t加 wechat\n"}});
    const std::vector<unsigned char> built = Encode(Compile(folder.Path()));
    std::vector<std::string> notes;
    EXPECT_EQ(RoundTrip(built, "again", &notes), built);
    EXPECT_TRUE(notes.empty());
    const std::string phrases = test::ReadFileText("again/phrases.tsv");
    EXPECT_EQ(phrases.substr(0, phrases.find("server")), "id\tlevel\tphrase\ttags\ncheat\t6\t外挂\tcheat,tool\n\n\n\n");
    const std::string combos = test::ReadFileText("again/combos.tsv");
    EXPECT_EQ(combos.substr(combos.find("id\t")),
              "id\tlevel\tparts\ttags\n\n\n\n\t4\tmai gold\tgold-selling\n\t3\t加 wechat\n");
}

// A damaged line number does not fill the folder with blank lines.
TEST(CRuleDecompiler, AHugeLineNumberAddsNoBlankLines) {
    test::RuleFolder folder;
    packhold::Package package = Compile(folder.Path());
    package.tables[2].rows[1][6] = Cell::Int(2000000000);  // the line column
    AuthoringFiles files;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(CRuleDecompiler().Decompile(package, &files, &notes, &error)) << error;
    EXPECT_LT(files.phrases.size(), 400u);
}

// A package built before rules carried their places comes back with them;
// nothing else changes.
TEST(CRuleDecompiler, APackageWithoutPlacesComesBackWithThem) {
    test::ScopedTempDir dir;
    test::RuleFolder folder;
    packhold::Package older = Compile(folder.Path());
    for (int t = 2; t < 4; ++t) {
        packhold::Table& table = older.tables[static_cast<std::size_t>(t)];
        table.columns.resize(5);  // up to the variant column
        for (auto& row : table.rows) row.resize(5);
    }
    std::vector<std::string> notes;
    const std::vector<unsigned char> again = RoundTrip(Encode(older), "again", &notes);
    EXPECT_TRUE(notes.empty());
    packhold::Package rebuilt;
    std::string error;
    ASSERT_TRUE(packhold::DecodePackage(again.data(), again.size(), packhold::kDefaultKey, &rebuilt, &error));
    EXPECT_FALSE(rebuilt == older);
    EXPECT_TRUE(CRuleDecompiler::WithoutSourceColumns(rebuilt, older) == older);
    EXPECT_EQ(rebuilt.tables[2].rows[0][6], Cell::Int(3));  // below the banner and the header
}

// A compiled package cut down to what the filter reads of the rules as
// written: the syllable table's own rows and the first row of each rule,
// references mapped onto them, no id, text or variant columns.
packhold::Package FirstRows(packhold::Package package) {
    const auto added = [](const std::vector<Cell>& row) { return row.size() > 4 && row[4].IsPresent(); };
    const auto addedSyllable = [](const std::vector<Cell>& row) { return row.size() > 3 && row[3].IsPresent(); };
    std::vector<std::int32_t> phraseRow;  // package row -> row among the phrases kept
    std::int32_t kept = -1;
    for (const auto& row : package.tables[2].rows) {
        if (!added(row)) ++kept;
        phraseRow.push_back(kept);
    }
    packhold::Table& syllables = package.tables[1];
    std::vector<std::int32_t> syllableRow;  // package row -> the row it was made from
    for (std::size_t r = 0; r < syllables.rows.size(); ++r)
        syllableRow.push_back(addedSyllable(syllables.rows[r]) ? syllables.rows[r][3].IntValue() - 1
                                                               : static_cast<std::int32_t>(r));
    syllables.rows.erase(std::remove_if(syllables.rows.begin(), syllables.rows.end(), addedSyllable),
                         syllables.rows.end());
    syllables.columns.resize(3);
    for (auto& row : syllables.rows) row.resize(3);
    for (int t = 2; t < 4; ++t) {
        packhold::Table& table = package.tables[static_cast<std::size_t>(t)];
        table.rows.erase(std::remove_if(table.rows.begin(), table.rows.end(), added), table.rows.end());
        for (auto& row : table.rows) {
            std::vector<std::int32_t> refs = row[1].IntArrayValue();
            for (std::int32_t& ref : refs) {
                const std::size_t index = static_cast<std::size_t>(ref % 100000 - 1);
                ref = ref / 100000 == 2 ? 200001 + syllableRow[index] : 300001 + phraseRow[index];
            }
            row = {row[0], Cell::IntArray(refs)};
        }
        table.columns.resize(2);
    }
    return package;
}

// A package made by other means: one row per rule, no names.
packhold::Package ForeignPackage() {
    test::RuleFolder folder;
    return FirstRows(Compile(folder.Path()));
}

TEST(CRuleDecompiler, APackageWithoutNamesComesBackAsRulesThatMatchTheSame) {
    test::ScopedTempDir dir;
    const packhold::Package foreign = ForeignPackage();
    std::vector<std::string> notes;
    const std::vector<unsigned char> again = RoundTrip(Encode(foreign), "again", &notes);
    packhold::Package rebuilt;
    std::string error;
    ASSERT_TRUE(packhold::DecodePackage(again.data(), again.size(), packhold::kDefaultKey, &rebuilt, &error));
    // Building adds its rows for full-width pinyin again; the rules as written
    // are those of the package.
    rebuilt = FirstRows(rebuilt);
    EXPECT_TRUE(rebuilt.tables[0] == foreign.tables[0]);
    EXPECT_TRUE(rebuilt.tables[1] == foreign.tables[1]);
    for (std::size_t t = 2; t < 4; ++t) {
        ASSERT_EQ(rebuilt.tables[t].rows.size(), foreign.tables[t].rows.size());
        for (std::size_t r = 0; r < foreign.tables[t].rows.size(); ++r) {
            EXPECT_EQ(rebuilt.tables[t].rows[r][0], foreign.tables[t].rows[r][0]);  // level
            EXPECT_EQ(rebuilt.tables[t].rows[r][1], foreign.tables[t].rows[r][1]);  // references
        }
    }
    // The combinations name phrases 3 and 4, which had no id to be named by.
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "phrases.tsv row 3: given the id 'phrase3' so that a combination can name it",
                         "phrases.tsv row 4: given the id 'phrase4' so that a combination can name it"}));
}

TEST(CRuleDecompiler, RefusesWhatTheFilterWouldRefuse) {
    std::vector<std::string> notes;
    AuthoringFiles files;
    std::string error;

    packhold::Package threeTables = ForeignPackage();
    threeTables.tables.pop_back();
    EXPECT_FALSE(CRuleDecompiler().Decompile(threeTables, &files, &notes, &error));

    packhold::Package badRef = ForeignPackage();
    badRef.tables[2].rows[0][1] = Cell::IntArray({200001, 300001});  // a phrase in a phrase
    EXPECT_FALSE(CRuleDecompiler().Decompile(badRef, &files, &notes, &error));
    EXPECT_EQ(error, "phrases.tsv row 1: the reference 300001 names nothing");

    packhold::Package pastTheEnd = ForeignPackage();
    pastTheEnd.tables[3].rows[0][1] = Cell::IntArray({200012});
    EXPECT_FALSE(CRuleDecompiler().Decompile(pastTheEnd, &files, &notes, &error));

    packhold::Package badIgnore = ForeignPackage();
    badIgnore.tables[0].rows[0][0] = Cell::IntArray({0x20, -1, 0xA1});
    EXPECT_FALSE(CRuleDecompiler().Decompile(badIgnore, &files, &notes, &error));
    EXPECT_EQ(error, "ignore.tsv row 1: the filter would refuse this ignore-set");

    // Three ranges are nine bytes; the loader refuses a row with more, even
    // when the extra bytes make no whole range.
    packhold::Package tooManyCodes = ForeignPackage();
    std::vector<unsigned char> codes = tooManyCodes.tables[kSyllableTable].rows[0][1].BytesValue();
    codes.resize(kMaxSyllableCodeBytes, 0xB0);
    tooManyCodes.tables[kSyllableTable].rows[0][1] = Cell::Bytes(codes);
    EXPECT_TRUE(CRuleDecompiler().Decompile(tooManyCodes, &files, &notes, &error)) << error;
    codes.push_back(0xB0);
    tooManyCodes.tables[kSyllableTable].rows[0][1] = Cell::Bytes(codes);
    EXPECT_FALSE(CRuleDecompiler().Decompile(tooManyCodes, &files, &notes, &error));
    EXPECT_EQ(error, "syllables.tsv row 1: the filter would refuse this syllable");
}

TEST(CRuleDecompiler, WritesOnlyIntoAnEmptyOrNewFolder) {
    test::ScopedTempDir dir;
    std::filesystem::create_directories("full");
    test::WriteFileText("full/keep.txt", "mine");
    std::string error;
    EXPECT_FALSE(CRuleDecompiler::WriteFolder("full", AuthoringFiles(), &error));
    EXPECT_EQ(error, "full exists and is not an empty folder");
    EXPECT_TRUE(std::filesystem::exists("full/keep.txt"));
    std::filesystem::create_directories("empty");
    EXPECT_TRUE(CRuleDecompiler::WriteFolder("empty", AuthoringFiles(), &error)) << error;
    EXPECT_TRUE(CRuleDecompiler::WriteFolder("new/deeper", AuthoringFiles(), &error)) << error;
    EXPECT_TRUE(std::filesystem::exists("new/deeper/combos.tsv"));
}

}  // namespace
}  // namespace chatsieve::tools
