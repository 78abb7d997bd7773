// chatsieve diff end to end: the lines of logs whose level or masking two
// packages disagree on, grouped by the rule that decides them.
#include <gtest/gtest.h>

#include <string>

#include "RuleTools.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

TEST(ChatsieveDiff, ListsExactlyTheLinesOneAddedRuleChanges) {
    ScopedTempDir dir;
    BuildShipped("old.res");
    BuildShipped("new.res", "bot\t60\t脚本\n");
    WriteFileText("a.log", "大家好\n用脚本挂机\n外挂\njiao ben 外挂\n");
    WriteFileText("b.log", "JIAO BEN\r\n脚\n\xFF 脚本\n");
    const Result run = Chatsieve("diff old.res new.res a.log b.log");
    EXPECT_EQ(run.status, 0) << run.err;
    // "jiao ben 外挂" keeps its level and is masked more: it changes too,
    // under the rule that decides it.
    EXPECT_EQ(run.out,
              "phrase bot: 3 lines\n"
              "  a.log:2: 0 -> 60: \"用脚本挂机\" -> \"用****挂机\"\n"
              "  b.log:1: 0 -> 60: \"JIAO BEN\" -> \"**** ***\"\n"
              "  b.log:3: 0 -> 60: \"? 脚本\" -> \"? ****\"\n"
              "phrase cheat: 1 line\n"
              "  a.log:4: 60 -> 60: \"jiao ben ****\" -> \"**** *** ****\"\n"
              "4 of 7 lines changed\n");
}

TEST(ChatsieveDiff, ReportsNothingForTheSamePackageAndFailsOnAMissingOne) {
    ScopedTempDir dir;
    BuildShipped("one.res");
    WriteFileText("a.log", "外挂\n大家好\n");
    const Result same = Chatsieve("diff one.res one.res a.log");
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(same.out, "0 of 2 lines changed\n");
    EXPECT_EQ(Chatsieve("diff one.res none.res a.log").status, 1);
    EXPECT_EQ(Chatsieve("diff one.res one.res").status, 2);
}

// Standard input is read once and both packages screen the same lines.
TEST(ChatsieveDiff, ReadsStandardInputOnce) {
    ScopedTempDir dir;
    BuildShipped("old.res");
    BuildShipped("new.res", "bot\t60\t脚本\n");
    std::string log;
    for (int i = 0; i < 3000; ++i) log += i % 1000 == 7 ? "用脚本挂机\n" : "大家好 " + std::to_string(i) + "\n";
    WriteFileText("a.log", "脚本\n");
    const Result run = Chatsieve("diff old.res new.res a.log -", log);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "phrase bot: 4 lines\n"
              "  a.log:1: 0 -> 60: \"脚本\" -> \"****\"\n"
              "  -:8: 0 -> 60: \"用脚本挂机\" -> \"用****挂机\"\n"
              "  -:1008: 0 -> 60: \"用脚本挂机\" -> \"用****挂机\"\n"
              "  -:2008: 0 -> 60: \"用脚本挂机\" -> \"用****挂机\"\n"
              "4 of 3001 lines changed\n");
    EXPECT_EQ(Chatsieve("diff old.res new.res - -").status, 2);
}

// Each package is staged for its worker; what goes wrong is said of the file
// the user named.
TEST(ChatsieveDiff, NamesTheDamagedPackageAsGiven) {
    ScopedTempDir dir;
    BuildShipped("good.res");
    WriteFileText("bad.res", ReadFileText("good.res").substr(0, 100));
    WriteFileText("a.log", "外挂\n");
    const Result run = Chatsieve("diff good.res bad.res a.log");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.find("chatsieve scan: bad.res: "), 0u) << run.err;
    EXPECT_EQ(run.err.find("Chatsieve.res"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("chatsieve-"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace chatsieve::test
