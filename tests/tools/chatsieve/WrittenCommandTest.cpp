// The written mode end to end: a rule folder with written phrases beside a
// sound one, built, screened, explained and decompiled by the built program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RuleFolder.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

namespace fs = std::filesystem;

void WriteRules(const std::string& folder) {
    fs::create_directories(folder);
    WriteFileText(fs::path(folder) / "phrases.tsv",
                  "id\tlevel\tphrase\tmatch\n"
                  "cheat\t50\t外挂\twritten\n"
                  "av\t40\tAV\twritten\n"
                  "age\t30\t18禁\twritten\n"
                  "bow\t30\t弩\twritten\n"
                  "sell\t20\t卖号\n");
    WriteFileText(fs::path(folder) / "combos.tsv", "id\tlevel\tparts\n");
}

TEST(ChatsieveWritten, CatchesEveryWrittenFormAndNoHomophone) {
    ScopedTempDir dir;
    WriteRules("rules");
    const Result built = Chatsieve("build rules -o out.res");
    ASSERT_EQ(built.status, 0) << built.err;
    const Result run = Chatsieve("filter --package out.res",
                                 "外挂\n"
                                 "外掛\n"           // traditional
                                 "ＷＡＩＧＵＡ\n"   // full width, upper case
                                 "ｗａｉ ｇｕａ\n"  // full width, lower case, with a filler
                                 "wai gua\n"
                                 "WaiGua\n"
                                 "夕卜扌圭\n"  // split forms
                                 "外gua\n"     // mixed per syllable
                                 "外-_-挂\n"   // fillers
                                 "歪瓜\n"      // a homophone: not in the written mode
                                 "java\n"
                                 "看AV\n"
                                 "watch ＡＶ now\n"
                                 "18禁\n"
                                 "118禁\n"
                                 "弩\n"
                                 "买好\n");  // sound mode: a homophone of 卖号
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "50\t****\n"
              "50\t****\n"
              "50\t************\n"
              "50\t****** ******\n"
              "50\t*** ***\n"
              "50\t******\n"
              "50\t********\n"
              "50\t*****\n"
              "50\t**-_-**\n"
              "0\t歪瓜\n"
              "0\tjava\n"
              "40\t看**\n"
              "40\twatch **** now\n"
              "30\t****\n"
              "0\t118禁\n"
              "30\t**\n"
              "20\t****\n");
}

TEST(ChatsieveWritten, ExplainNamesTheRulesPlaceAndMode) {
    ScopedTempDir dir;
    WriteRules("rules");
    ASSERT_EQ(Chatsieve("build rules -o out.res").status, 0);
    const Result run = Chatsieve("filter --package out.res --explain", "ＡＶ\n买好\n");
    EXPECT_NE(run.out.find("  rule: phrase av (phrases.tsv:3), level 40, written: AV\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  matched: columns 1-2 \"ＡＶ\" (A3 C1 A3 D6)\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  rule: phrase sell (phrases.tsv:6), level 20, sound: 卖号\n"), std::string::npos)
        << run.out;
    // The rules see folded letters; the explanation names what was written.
    const Result wide = Chatsieve("filter --package out.res --explain", "ＷＡＩＧＵＡ\n");
    EXPECT_NE(wide.out.find("ＷＡＩ = wai (full-width pinyin), ＧＵＡ = gua (full-width pinyin)"), std::string::npos)
        << wide.out;
    const Result json = Chatsieve("filter --package out.res --json --explain", "ＡＶ\n");
    EXPECT_NE(json.out.find("\"source\":\"phrases.tsv:3\",\"tags\":[],\"match\":\"written\""), std::string::npos)
        << json.out;
}

TEST(ChatsieveWritten, DecompilingGivesTheModesBack) {
    ScopedTempDir dir;
    WriteRules("rules");
    ASSERT_EQ(Chatsieve("build rules -o first.res").status, 0);
    const Result decompiled = Chatsieve("decompile first.res -o again");
    EXPECT_EQ(decompiled.status, 0) << decompiled.err;
    EXPECT_NE(ReadFileText("again/phrases.tsv").find("cheat\t50\t外挂\twritten\n"), std::string::npos)
        << ReadFileText("again/phrases.tsv");
    ASSERT_EQ(Chatsieve("build again -o second.res").status, 0);
    EXPECT_EQ(ReadFileText("first.res"), ReadFileText("second.res"));
}

TEST(ChatsieveWritten, AnAllowedExpressionInFullWidthIsFoundInAFoldedLine) {
    ScopedTempDir dir;
    WriteRules("rules");
    WriteFileText("rules/allow.tsv", "allow\trules\tnote\nＡＶ机\t\ta machine, not AV\n");
    const Result built = Chatsieve("build rules -o out.res");
    ASSERT_EQ(built.status, 0) << built.err;
    const Result run = Chatsieve("filter --package out.res", "AV机\nＡＶ机\n看AV\n");
    EXPECT_EQ(run.out, "0\tAV机\n0\tＡＶ机\n40\t看**\n");
}

}  // namespace
}  // namespace chatsieve::test
