// chatsieve test end to end: cases files against the shipped rules or a
// package named on the command line, each failing case with the rule that
// decided it, and malformed cases named by line and column.
#include <gtest/gtest.h>

#include <string>

#include "RuleTools.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

TEST(ChatsieveTest, PrintsEachFailingCaseWithTheDecidingRule) {
    ScopedTempDir dir;
    WriteFileText("cases.tsv",
                  "# comment\n"
                  "\n"
                  "外挂\t60\t****\n"
                  "外挂\t>=40\n"
                  "大家好\t0\n"
                  "代练\t>=40\n"          // 30: fails
                  "外挂吗\t60\t外挂吗\n"  // masks: fails
                  "私服\t<=50\n"
                  "卖金币\t<40\n");  // a combination at 40: fails
    const Result run = Chatsieve("test cases.tsv");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "cases.tsv:6: expected level >=40, got 30 (phrase boost): 代练\n"
              "cases.tsv:7: expected \"外挂吗\", got \"****吗\" (level 60; one '*' per code page 936 byte) (phrase "
              "cheat): 外挂吗\n"
              "cases.tsv:9: expected level <40, got 40 (combination gold-trade): 卖金币\n"
              "3 of 7 cases failed with " +
                  Shipped() + "\n");
    WriteFileText("good.tsv", "外挂\t60\n好\t0\n");
    const Result good = Chatsieve("test good.tsv");
    EXPECT_EQ(good.status, 0) << good.out;
    EXPECT_EQ(good.out, "2 cases passed with " + Shipped() + "\n");
}

TEST(ChatsieveTest, NamesTheLineAndColumnOfAMalformedCase) {
    ScopedTempDir dir;
    WriteFileText("cases.tsv",
                  "外挂\t60\n"
                  "外挂\n"                   // no level
                  "外挂\tsixty\n"            // not a number
                  "外挂\t=>60\n"             // not a bound
                  "外挂\t60\t****\textra\n"  // too many fields
                  "\xFF\t0\n");              // not UTF-8
    const Result run = Chatsieve("test cases.tsv");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "cases.tsv:2:3: expected a tab and the level after the line\n"
              "cases.tsv:3:4: the level 'sixty' is not a number or a bound such as >=40\n"
              "cases.tsv:4:4: the level '=>60' is not a number or a bound such as >=40\n"
              "cases.tsv:5:11: too many fields: a case is LINE, LEVEL and an optional MASKED\n"
              "cases.tsv:6:1: invalid UTF-8\n");
    EXPECT_EQ(run.out, "1 cases passed with " + Shipped() + "\n");
    EXPECT_EQ(Chatsieve("test").status, 2);
    EXPECT_EQ(Chatsieve("test missing.tsv").status, 1);
}

// A package just built, named on the command line: the summary says which
// rules ran, so the shipped ones cannot pass for it.
TEST(ChatsieveTest, RunsTheCasesAgainstTheNamedPackage) {
    ScopedTempDir dir;
    BuildShipped("new.res", "bot\t60\t脚本\n");
    WriteFileText("cases.tsv", "用脚本挂机\t60\t用****挂机\n");
    const Result shipped = Chatsieve("test cases.tsv");
    EXPECT_EQ(shipped.status, 1);
    EXPECT_EQ(shipped.out.substr(shipped.out.rfind("1 of 1")), "1 of 1 cases failed with " + Shipped() + "\n");
    const Result built = Chatsieve("test --package new.res cases.tsv");
    EXPECT_EQ(built.status, 0) << built.out << built.err;
    EXPECT_EQ(built.out, "1 cases passed with new.res\n");
    EXPECT_EQ(Chatsieve("test --package new.res --root . cases.tsv").status, 2);
    const Result missing = Chatsieve("test --package none.res cases.tsv");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "chatsieve test: none.res: no such rule package\n");
}

// The filter would see a line only up to a NUL byte, so the case is refused
// rather than screened cut short.
TEST(ChatsieveTest, RefusesACaseWhoseLineHoldsANulByte) {
    ScopedTempDir dir;
    const char kCases[] = "好\0外挂\t0\n外挂\t60\n";
    WriteFileText("cases.tsv", std::string(kCases, sizeof kCases - 1));
    const Result run = Chatsieve("test cases.tsv");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cases.tsv:1:2: a NUL byte, which would end the line for the filter\n");
    EXPECT_EQ(run.out, "1 cases passed with " + Shipped() + "\n");
}

// Cases are UTF-8; a cases file saved as GBK is named once, not screened as
// lines of '?'.
TEST(ChatsieveTest, RefusesACasesFileSavedAsGbk) {
    ScopedTempDir dir;
    WriteFileText("cases.tsv", "# cases\n\xCD\xE2\xB9\xD2\t60\n\xB4\xF3\xBC\xD2\t0\n");
    const Result run = Chatsieve("test cases.tsv");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cases.tsv:2:1: the file is GBK, not UTF-8; save it as UTF-8\n");
}

}  // namespace
}  // namespace chatsieve::test
