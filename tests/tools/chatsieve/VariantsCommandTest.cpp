// Variants, readings and full-width pinyin end to end: a small rule folder
// on the shipped syllables, built, linted, screened and decompiled by the
// built program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RuleFolder.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

namespace fs = std::filesystem;

// A folder of phrases alone: the shipped syllables and ignore-sets stand in
// for the tables it leaves out.
void WritePhrases(const std::string& folder, const std::string& rows) {
    fs::create_directories(folder);
    WriteFileText(fs::path(folder) / "phrases.tsv", "id\tlevel\tphrase\n" + rows);
    WriteFileText(fs::path(folder) / "combos.tsv", "id\tlevel\tparts\nbank-sale\t30\t卖 bank\n");
}

TEST(ChatsieveVariants, AWordGivesItsCharactersTheirReadings) {
    ScopedTempDir dir;
    WritePhrases("rules", "bank\t20\t银行卡\n");
    const Result built = Chatsieve("build rules -o out/Chatsieve.res");
    ASSERT_EQ(built.status, 0) << built.err;
    const Result run = Chatsieve("filter --package out/Chatsieve.res",
                                 "yin hang ka\n银行卡\n銀行卡\n银航卡\nＹＩＮ ＨＡＮＧ ＫＡ\n因星卡\n卖银行卡\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "20\t*** **** **\n"
              "20\t******\n"
              "20\t******\n"
              "20\t******\n"  // a homophone of hang, as any rule catches
              "20\t****** ******** ****\n"
              "0\t因星卡\n"       // xing, not the reading 银行卡 has
              "30\t卖******\n");  // a combination masks its phrase part
}

TEST(ChatsieveVariants, LintNotesWhatRulesBecameAndWarnsAboutGuesses) {
    ScopedTempDir dir;
    WritePhrases("rules", "bank\t20\t银行卡\nline\t20\t行(hang)业\nwalk\t20\t行\n");
    const Result lint = Chatsieve("lint rules");
    EXPECT_EQ(lint.status, 0);
    EXPECT_EQ(lint.out,
              "rules/phrases.tsv:4:9: warning: '行' has several readings and is read as 'xing' only because its "
              "syllable holds it (it also reads hang); write 行(xing) to keep that reading or 行(hang) for another\n"
              "rules/phrases.tsv:2:9: note: reads yin hang ka (dictionary: 银行卡); also 銀 for 银; 2 rows\n"
              // The marked reading and the word agree.
              "rules/phrases.tsv:3:9: note: reads hang ye (dictionary: 行业; marked: 行); also 業 for 业; 2 rows\n"
              "rules/combos.tsv:2:14: note: also 賣 for 卖; 3 rows\n"  // mai has a split form
              "rules: 0 errors, 1 warning\n");
}

TEST(ChatsieveVariants, DecompilingGivesTheRulesAsWrittenBack) {
    ScopedTempDir dir;
    WritePhrases("rules", "bank\t20\t银行卡\nline\t20\t行(hang)业\ncheat\t60\t外掛\n");
    ASSERT_EQ(Chatsieve("build rules -o first.res").status, 0);
    const Result decompiled = Chatsieve("decompile first.res -o again");
    EXPECT_EQ(decompiled.status, 0) << decompiled.err;
    EXPECT_NE(ReadFileText("again/phrases.tsv").find("line\t20\t行(hang)业\n"), std::string::npos);
    ASSERT_EQ(Chatsieve("build again -o second.res").status, 0);
    EXPECT_EQ(ReadFileText("first.res"), ReadFileText("second.res"));
}

// Outside any dictionary word a character of several readings takes the one
// most used, not the one its syllable's ranges file it under (了 sits among
// liao's characters), in both modes; a rebuild from the decompiled folder
// keeps it.
TEST(ChatsieveVariants, ACharacterOutsideAWordTakesItsMostUsedReading) {
    ScopedTempDir dir;
    WritePhrases("rules", "bank\t20\t银行卡\nend\t20\t了他\n");
    const Result lint = Chatsieve("lint rules");
    EXPECT_NE(lint.out.find("rules/phrases.tsv:3:8: warning: '了' has several readings and is read as 'le', the most "
                            "used (it also reads liao); write 了(le) to keep that reading or 了(liao) for another\n"),
              std::string::npos)
        << lint.out;
    ASSERT_EQ(Chatsieve("build rules -o sound.res").status, 0);
    EXPECT_EQ(Chatsieve("filter --package sound.res", "le ta\nliao ta\n乐他\n了他\n").out,
              "20\t** **\n0\tliao ta\n20\t****\n20\t****\n");
    ASSERT_EQ(Chatsieve("decompile sound.res -o again").status, 0);
    ASSERT_EQ(Chatsieve("build again -o again.res").status, 0);
    EXPECT_EQ(ReadFileText("sound.res"), ReadFileText("again.res"));

    fs::create_directories("written");
    WriteFileText("written/lists.tsv", "file\tlevel\tmatch\nwords.txt\t5\twritten\n");
    WriteFileText("written/words.txt", "了他\n");
    ASSERT_EQ(Chatsieve("build written -o written.res").status, 0);
    EXPECT_EQ(Chatsieve("filter --package written.res", "le ta\nliao ta\n乐他\n了他\n").out,
              "5\t** **\n0\tliao ta\n0\t乐他\n5\t****\n");
    ASSERT_EQ(Chatsieve("decompile written.res -o written-again").status, 0);
    ASSERT_EQ(Chatsieve("build written-again -o written-again.res").status, 0);
    EXPECT_EQ(ReadFileText("written.res"), ReadFileText("written-again.res"));
}

}  // namespace
}  // namespace chatsieve::test
