// chatsieve scan end to end: its summary of a log, the same from one process
// and from workers, the package it names, lines cut at the longest screened,
// and GBK logs refused when given as UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "RuleTools.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

TEST(ChatsieveScan, CountsRulesAndWrittenFormsAndListsLikelyFalsePositivesFirst) {
    ScopedTempDir dir;
    WriteFileText("chat.log", kLog);
    const Result run = Chatsieve("scan chat.log");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "rules: " + Shipped() +
                  "\n"
                  "8 lines (120 bytes) in 1 file; 7 with a level; 3 characters in 2 lines screened as '?'\n"
                  "lines per level: 0: 1 30: 1 40: 1 50: 1 60: 4\n"
                  "\n"
                  "likely false positives (through a homophone character, inside a longer ASCII word or an "
                  "English word read as pinyin): 2\n"
                  "  phrase cheat, level 60: 2 lines\n"
                  "    chat.log:3: 有人要外褂吗  [character, homophone character]\n"
                  "    chat.log:4: swaiguar  [pinyin, inside a longer ASCII word]\n"
                  "\n"
                  "rules by lines decided:\n"
                  "  phrase cheat, level 60: 4 lines; character 2, homophone character 1, pinyin 2, across fillers 1, "
                  "inside a longer ASCII word 1\n"
                  "    chat.log:2: 有人要外挂吗  [character]\n"
                  "    chat.log:5: 有人要 wai gua  [pinyin, across fillers]\n"
                  "  combination gold-trade, level 40: 1 line; character 1, split form 1\n"
                  "    chat.log:6: 十买金币 便宜  [character, split form]\n"
                  "  phrase boost, level 30: 1 line; character 1\n"
                  "    chat.log:8: ?? 代练  [character]\n"
                  "  phrase private-server, level 50: 1 line; character 1\n"
                  "    chat.log:7: ok ? 私服  [character]\n"
                  "\n"
                  "hits by written form: character 5, variant character 0, homophone character 1, pinyin 2, full-width "
                  "pinyin 0, split form 1, across fillers 1, "
                  "inside a longer ASCII word 1, an English word 0\n");
}

TEST(ChatsieveScan, WorkersGiveTheSameReportAsOneProcess) {
    ScopedTempDir dir;
    // Long enough that every worker's range starts inside a line.
    std::string log;
    for (int i = 0; i < 400; ++i) log += std::string(kLog) + "line " + std::to_string(i) + " 外 挂\n";
    WriteFileText("chat.log", log);
    WriteFileText("small.log", "外挂\n");
    const Result one = Chatsieve("scan chat.log small.log --report one.html");
    ASSERT_EQ(one.status, 0) << one.err;
    const std::string page = ReadFileText("one.html");
    for (const char* jobs : {"2", "3", "7"}) {
        const Result many = Chatsieve(std::string("scan --jobs ") + jobs + " chat.log small.log --report many.html");
        EXPECT_EQ(many.status, 0) << many.err;
        EXPECT_EQ(many.out, one.out) << jobs;
        // Marked spans and suggested rows come back from the workers too.
        EXPECT_EQ(ReadFileText("many.html"), page) << jobs;
    }
    EXPECT_NE(page.find("<mark>"), std::string::npos);
    EXPECT_NE(page.find("<pre id=\"allow-rows\">"), std::string::npos);
    EXPECT_NE(one.out.find("3,601 lines"), std::string::npos) << one.out;
}

// Workers send their tallies back as tab-separated records; a log's name
// may hold a tab or a line end, and the samples must still name it.
TEST(ChatsieveScan, WorkersKeepFileNamesWithTabsAndLineEnds) {
    ScopedTempDir dir;
    std::string log;
    for (int i = 0; i < 200; ++i) log += std::string(kLog);
    for (const std::string name : {"tab\there.log", "new\nline.log", "back\\slash.log"}) {
        WriteFileText(name, log);
        const std::string quoted = "'" + name + "'";
        const Result one = Chatsieve("scan " + quoted);
        ASSERT_EQ(one.status, 0) << one.err;
        EXPECT_NE(one.out.find(name + ":3: 有人要外褂吗"), std::string::npos) << one.out;
        const Result two = Chatsieve("scan --jobs 2 " + quoted);
        EXPECT_EQ(two.status, 0) << two.err;
        EXPECT_EQ(two.out, one.out) << name;
    }
}

TEST(ChatsieveScan, UsesAndNamesTheRulePackageGiven) {
    ScopedTempDir dir;
    BuildShipped("new.res", "bot\t60\t脚本\n");
    WriteFileText("chat.log", "用脚本挂机\n");
    for (const char* jobs : {"1", "2"}) {
        const Result run = Chatsieve(std::string("scan --jobs ") + jobs + " --package new.res chat.log");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.substr(0, run.out.find('\n', run.out.find('\n') + 1)),
                  "rules: new.res\n1 lines (16 bytes) in 1 file; 1 with a level");
    }
    EXPECT_EQ(Chatsieve("scan chat.log").out.find("rules: " + Shipped() + "\n1 lines (16 bytes) in 1 file; 0 with"),
              0u);
    EXPECT_EQ(Chatsieve("scan --package none.res chat.log").status, 1);
}

// A line longer than the longest screened is cut between characters and
// counted, so one huge line cannot take memory many times its size.
TEST(ChatsieveScan, CutsLinesLongerThanTheLongestScreened) {
    ScopedTempDir dir;
    // 13 bytes, then 外挂: a cut at 17 bytes keeps 外 (bytes 13-15) and
    // drops the first byte of 挂.
    WriteFileText("chat.log", "0123456789abc外挂\n外挂\n");
    const Result run = Chatsieve("scan --max-line 17 chat.log");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("2 lines (27 bytes) in 1 file; 1 with a level; 1 line too long, screened in part\n"),
              std::string::npos)
        << run.out;
    // In code page 936 a lead byte whose partner was cut off goes too.
    WriteFileText("gbk.log", "0123456789abcd\xCD\xE2\xB9\xD2\n");
    const Result gbk = Chatsieve("scan --encoding gbk --max-line 17 gbk.log");
    EXPECT_NE(gbk.out.find("1 lines (19 bytes) in 1 file; 0 with a level; 1 line too long"), std::string::npos)
        << gbk.out;
    const Result whole = Chatsieve("scan --encoding gbk --max-line 18 gbk.log");
    EXPECT_NE(whole.out.find("1 lines (19 bytes) in 1 file; 1 with a level\n"), std::string::npos) << whole.out;
    EXPECT_EQ(Chatsieve("scan --max-line 1 chat.log").status, 2);
}

// A GBK log read as UTF-8 would come out level 0 with every character a
// '?': it is refused, naming the option that reads it.
TEST(ChatsieveScan, RefusesAGbkLogGivenAsUtf8) {
    ScopedTempDir dir;
    WriteFileText("gbk.log", "hello\n\xCD\xE2\xB9\xD2\xC2\xF0\n\xB4\xF3\xBC\xD2\xBA\xC3\n");
    const Result scan = Chatsieve("scan gbk.log");
    EXPECT_EQ(scan.status, 1);
    EXPECT_NE(scan.err.find("gbk.log reads as GBK (code page 936), not UTF-8; give --encoding gbk"), std::string::npos)
        << scan.err;
    const Result filter = Chatsieve("filter gbk.log");
    EXPECT_EQ(filter.status, 1);
    EXPECT_EQ(filter.out, "0\thello\n");
    EXPECT_EQ(filter.err,
              "gbk.log:2: the line reads as GBK (code page 936), not UTF-8; give --encoding gbk to screen this "
              "file\n");
    EXPECT_EQ(Chatsieve("filter --encoding gbk gbk.log").out,
              "0\thello\n60\t****\xC2\xF0\n0\t\xB4\xF3\xBC\xD2\xBA\xC3\n");
    EXPECT_EQ(Chatsieve("scan --encoding gbk gbk.log").status, 0);
    // A UTF-8 log with a stray byte is still screened, the byte as '?'.
    WriteFileText("utf8.log", "外挂\n\xCD\xE2\n");
    EXPECT_EQ(Chatsieve("filter utf8.log").out, "60\t****\n0\t??\n");
}

}  // namespace
}  // namespace chatsieve::test
