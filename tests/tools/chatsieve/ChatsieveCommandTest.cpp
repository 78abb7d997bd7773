// The chatsieve command end to end: the built program run on files and on
// standard input, its output and exit status compared with what they must be.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "RuleFolder.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

TEST(ChatsieveFilter, ScreensTheSampleLinesWithTheShippedRules) {
    ScopedTempDir dir;
    const Result run = Chatsieve(std::string("filter ") + Quoted(SAMPLE_LINES));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, ReadFileText(TOOLS_TEST_DATA "/cli/chat-lines.expected"));
    EXPECT_EQ(run.err, "");
}

TEST(ChatsieveFilter, ExplainsTheDecidingRuleAndTheFormsItMatched) {
    ScopedTempDir dir;
    const Result run = Chatsieve("filter --explain", "有人要外 GUA吗\n十买金币\n大家好\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "60\t有人要** ***吗\n"
              "  rule: phrase cheat (phrases.tsv:9), level 60: 外挂\n"
              "  matched: columns 4-8 \"外 GUA\" (CD E2 20 47 55 41)\n"
              "  phrase cheat, columns 4-8: 外 = wai (character), GUA = gua (pinyin)\n"
              "40\t十买****\n"
              "  rule: combination gold-trade (combos.tsv:6), level 40: 卖 gold\n"
              "  matched: columns 3-4 \"金币\" (BD F0 B1 D2)\n"
              "  syllable mai, columns 1-2: 十买 = mai (split form)\n"
              "  phrase gold, columns 3-4: 金 = jin (character), 币 = bi (character)\n"
              "0\t大家好\n");
}

TEST(ChatsieveFilter, PrintsOneJsonObjectALine) {
    ScopedTempDir dir;
    EXPECT_EQ(Chatsieve("filter --json", "外挂\n\"ok\"\n").out,
              "{\"file\":\"-\",\"line\":1,\"level\":60,\"text\":\"外挂\",\"masked\":\"****\"}\n"
              "{\"file\":\"-\",\"line\":2,\"level\":0,\"text\":\"\\\"ok\\\"\",\"masked\":\"\\\"ok\\\"\"}\n");
    EXPECT_EQ(Chatsieve("filter --json --explain", "si 月艮\n").out,
              "{\"file\":\"-\",\"line\":1,\"level\":50,\"text\":\"si 月艮\",\"masked\":\"** ****\",\"rule\":{"
              "\"kind\":\"phrase\",\"id\":\"private-server\",\"row\":8,\"source\":\"phrases.tsv:12\",\"tags\":[],"
              "\"level\":50,\"text\":\"私服\"},"
              "\"match\":{\"columns\":[1,5],\"text\":\"si 月艮\",\"bytes\":\"736920D4C2F4DE\"},\"parts\":[{\"kind\":"
              "\"phrase\",\"name\":\"private-server\",\"columns\":[1,5],\"syllables\":[{\"syllable\":\"si\","
              "\"form\":\"pinyin\",\"text\":\"si\",\"bytes\":\"7369\"},{\"syllable\":\"fu\",\"form\":"
              "\"split form\",\"text\":\"月艮\",\"bytes\":\"D4C2F4DE\"}]}],\"passes\":[{\"columns\":[1,5],"
              "\"text\":\"si 月艮\",\"kind\":\"phrase\",\"id\":\"private-server\",\"source\":"
              "\"phrases.tsv:12\",\"level\":50}]}\n");
}

TEST(ChatsieveFilter, ScreensCharactersTheCodePageLacksAsAClientWritesThem) {
    ScopedTempDir dir;
    // A client converting to its code page writes '?' for what it lacks, so
    // the rest of the line is screened; each replacement is noted.
    const Result run = Chatsieve("filter", "外挂\nok 😀 外\u00A0挂 \u2027\n私\xFF服\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "60\t****\n60\tok ? **?** ?\n50\t**?**\n");
    EXPECT_EQ(run.err,
              "-:2:4: '😀' (U+1F600) is not in code page 936, screened as '?' (and 2 more in the line)\n"
              "-:3:2: invalid UTF-8 (byte 0xFF), screened as '?'\n");
}

TEST(ChatsieveFilter, StrictRefusesLinesTheCodePageCannotHoldAndScreensTheRest) {
    ScopedTempDir dir;
    const Result run = Chatsieve("filter --strict", "外挂\nok 😀 外挂\n私服\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "60\t****\n50\t****\n");
    EXPECT_EQ(run.err, "-:2:4: '😀' (U+1F600) is not in code page 936\n");
    const Result json = Chatsieve("filter --json --strict", "a\xFF\n");
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "{\"file\":\"-\",\"line\":1,\"column\":2,\"error\":\"invalid UTF-8 (byte 0xFF)\"}\n");
}

TEST(ChatsieveFilter, ReadsLinesAsAClientWouldHandThem) {
    ScopedTempDir dir;
    // A byte order mark and CR LF ends are not part of the lines; a NUL byte
    // would cut the line short for the filter, so that line is refused at its
    // column, with or without the columns --explain keeps.
    const std::string input = std::string("\xEF\xBB\xBF外挂\r\nok\r\n外") + '\0' + "挂\n私服";
    for (const char* args : {"filter", "filter --explain", "filter --encoding gbk"}) {
        const bool gbk = std::string(args).find("gbk") != std::string::npos;
        const Result run = Chatsieve(args, gbk ? std::string("\xCD\xE2") + '\0' + "\xB9\xD2\n" : input);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_EQ(run.err, gbk ? "-:1:2: a NUL byte, which would end the line for the filter\n"
                               : "-:3:2: a NUL byte, which would end the line for the filter\n")
            << args;
        if (!gbk) {
            EXPECT_EQ(run.out.rfind("60\t****\n", 0), 0u) << args;
            EXPECT_NE(run.out.find("\n0\tok\n"), std::string::npos) << args;
            EXPECT_NE(run.out.find("\n50\t****\n"), std::string::npos) << args;
        }
    }
}

TEST(ChatsieveFilter, MasksEveryExpressionOfALongLine) {
    ScopedTempDir dir;
    // 1,200 expressions in one line: the filter masks the first 1,000, one
    // pass each, and the line comes back whole.
    std::string line;
    for (int i = 0; i < 1200; ++i) line += "外挂";
    const Result run = Chatsieve("filter", line + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "60\t" + std::string(4000, '*') + line.substr(6000) + "\n");
}

TEST(ChatsieveFilter, PassesCodePage936ThroughUnchanged) {
    ScopedTempDir dir;
    // 外 挂 in code page 936, CRLF line ends.
    const Result run = Chatsieve("filter --encoding gbk", "\xCD\xE2 \xB9\xD2\r\nabc\r\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "60\t** **\n0\tabc\n");
}

TEST(ChatsieveFilter, MasksOnlyFromTheMinimumLevel) {
    ScopedTempDir dir;
    EXPECT_EQ(Chatsieve("filter --min-level 50", "代练\n私服\n").out, "30\t代练\n50\t****\n");
}

TEST(ChatsieveFilter, UsesTheRulesUnderRoot) {
    ScopedTempDir dir;
    RuleFolder rules;
    std::filesystem::create_directories("root/Data/Scp");
    ASSERT_EQ(Chatsieve("build " + Quoted(rules.Path()) + " -o root/Data/Scp/Chatsieve.res").status, 0);
    // The base set has 外挂 at level 6, and no 代练.
    EXPECT_EQ(Chatsieve("filter --root root", "外挂 代练\n").out, "6\t**** 代练\n");
    const Result missing = Chatsieve("filter --root nowhere", "x\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Chatsieve.res"), std::string::npos) << missing.err;
}

TEST(ChatsieveFilter, UsesAPackageNamedDirectly) {
    ScopedTempDir dir;
    RuleFolder rules;
    ASSERT_EQ(Chatsieve("build " + Quoted(rules.Path()) + " -o base.res").status, 0);
    EXPECT_EQ(Chatsieve("filter --package base.res", "外挂 代练\n").out, "6\t**** 代练\n");
    const Result missing = Chatsieve("filter --package nowhere.res", "x\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nowhere.res"), std::string::npos) << missing.err;
}

TEST(ChatsieveCommand, WrongUsageExitsWithTwo) {
    ScopedTempDir dir;
    for (const char* args : {"", "frobnicate", "filter --min-level -3", "filter --encoding latin1", "filter --bogus",
                             "build rules", "build -o out.res", "lint", "decompile x.res"}) {
        const Result run = Chatsieve(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err, "") << args;
    }
    for (const char* args : {"--help", "build --help", "lint --help", "decompile --help", "filter --help"}) {
        const Result run = Chatsieve(args);
        EXPECT_EQ(run.status, 0) << args;
        EXPECT_NE(run.out.find("usage: chatsieve"), std::string::npos) << args;
        EXPECT_NE(run.out.find("Exit status"), std::string::npos) << args;
    }
}

// Each command's own words for a wrong command line: scripts and teams'
// notes quote them, so they stay as they are whatever reads the arguments.
// A missing value, an unknown option, --name=VALUE where only a separate
// value is taken, a positional too many, and what must come together.
TEST(ChatsieveCommand, EachCommandNamesWhatIsWrongWithItsArguments) {
    ScopedTempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"build", "build: the input is missing"},
        {"build rules", "build: -o OUTPUT is missing"},
        {"build rules -o", "build: -o needs a value"},
        {"build rules --output", "build: -o needs a value"},
        {"build rules -o=out.res", "build: unknown option '-o=out.res'"},
        {"build rules more -o out.res", "build: one input only"},
        {"build rules -o out.res --bogus", "build: unknown option '--bogus'"},
        {"decompile x.res -o out --verbose", "decompile: unknown option '--verbose'"},
        {"decompile x.res y.res -o out", "decompile: one input only"},
        {"lint", "lint: the rule folder is missing"},
        {"lint rules --corpus", "lint: --corpus needs a file of innocent text"},
        {"lint rules more", "lint: one rule folder only, and no options but --corpus, --strict and --verbose"},
        {"lint --bogus rules", "lint: one rule folder only, and no options but --corpus, --strict and --verbose"},
        {"filter --root", "filter: --root needs a folder"},
        {"filter --package", "filter: --package needs a rule package"},
        {"filter --min-level", "filter: --min-level needs a level of 0 or more"},
        {"filter --min-level=x", "filter: --min-level needs a level of 0 or more"},
        {"filter --min-level 1000001", "filter: --min-level needs a level of 0 or more"},
        {"filter --encoding", "filter: --encoding is utf-8 or gbk"},
        {"filter --explain=1", "filter: unknown option '--explain=1'"},
        {"test", "test: give one or more cases files"},
        {"test --root", "test: --root needs a folder"},
        {"test cases.tsv --package", "test: --package needs a rule package"},
        {"test --root=. cases.tsv", "test: unknown option '--root=.'"},
        {"diff a.res b.res", "diff: give OLD.res, NEW.res and one or more logs"},
        {"diff --encoding latin1 a.res b.res c.log", "diff: --encoding is utf-8 or gbk"},
        {"diff --encoding", "diff: --encoding is utf-8 or gbk"},
        {"diff --encoding=gbk a.res b.res c.log", "diff: unknown option '--encoding=gbk'"},
        {"scan", "scan: give one or more logs"},
        {"scan --root . --package x.res a.log", "scan: give --root or --package, not both"},
        {"scan --max-line 15 a.log", "scan: --max-line needs a number of bytes from 16 to 1073741824"},
        {"scan --max-line=100 a.log", "scan: unknown option '--max-line=100'"},
        {"scan --encoding GBK a.log", "scan: --encoding is utf-8 or gbk"},
        {"scan -j 0 a.log", "scan: --jobs needs a number from 1 to 256"},
        {"scan --jobs 257 a.log", "scan: --jobs needs a number from 1 to 256"},
        {"scan --report", "scan: --report needs a file"},
        {"scan --worker-range 0", "scan: --worker-range needs START END"},
    };
    for (const auto& [args, message] : cases) {
        const Result run = Chatsieve(args);
        const std::string command = args.substr(0, args.find(' '));
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.err, "chatsieve " + message + "\n(see 'chatsieve " + command + " --help')\n") << args;
        EXPECT_EQ(run.out, "") << args;
    }
}

// Most commands take --help anywhere, even where a value is due; test and
// diff only where an option could stand, so there it can be a value.
TEST(ChatsieveCommand, GivesEachCommandsHelpWhereItTakesIt) {
    ScopedTempDir dir;
    for (const char* args :
         {"build -o --help", "build --bogus --help", "lint --corpus -h", "decompile a b -h", "filter --root --help",
          "scan --report --help", "test cases.tsv --help", "diff -h --bogus"}) {
        const Result run = Chatsieve(args);
        EXPECT_EQ(run.status, 0) << args;
        EXPECT_EQ(run.out.rfind("usage: chatsieve ", 0), 0U) << args;
        EXPECT_EQ(run.err, "") << args;
    }
    EXPECT_EQ(Chatsieve("test --bogus --help").err,
              "chatsieve test: unknown option '--bogus'\n"
              "(see 'chatsieve test --help')\n");
    EXPECT_EQ(Chatsieve("diff --encoding --help").err,
              "chatsieve diff: --encoding is utf-8 or gbk\n"
              "(see 'chatsieve diff --help')\n");
    // "--help" names the folder here, and the command then wants its cases.
    EXPECT_EQ(Chatsieve("test --root --help").err,
              "chatsieve test: give one or more cases files\n"
              "(see 'chatsieve test --help')\n");
}

// The list of commands is made from the same table that runs them.
TEST(ChatsieveCommand, ListsEveryCommandItRuns) {
    ScopedTempDir dir;
    const Result help = Chatsieve("--help");
    ASSERT_EQ(help.status, 0);
    for (const char* command : {"build", "lint", "decompile", "filter", "test", "diff", "scan"}) {
        EXPECT_NE(help.out.find("\n  " + std::string(command) + " "), std::string::npos) << command;
        const Result run = Chatsieve(std::string(command) + " --help");
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.out.rfind("usage: chatsieve " + std::string(command) + " ", 0), 0U) << command;
    }
    const Result unknown = Chatsieve("frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "chatsieve: unknown command 'frobnicate'\n\n" + help.out);
    const Result bare = Chatsieve("");
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.err, help.out);
}

TEST(ChatsieveCommand, BuildReportsErrorsAndWritesNothing) {
    ScopedTempDir dir;
    RuleFolder rules({{"phrases.tsv", "id\tlevel\tphrase\ncheat\t6\twai guaa\n"}});
    const Result run = Chatsieve("build " + Quoted(rules.Path()) + " -o out.res");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, rules.Path() + "/phrases.tsv:2:13: unknown syllable 'guaa'\n" + rules.Path() +
                           "/combos.tsv:2:17: unknown part 'gold': a part is a phrase id, a syllable's pinyin, a "
                           "character or a word\n" +
                           rules.Path() +
                           "/combos.tsv:3:6: unknown part 'wechat': a part is a phrase id, a syllable's pinyin, a "
                           "character or a word\n");
    EXPECT_FALSE(std::filesystem::exists("out.res"));
    EXPECT_EQ(run.out, rules.Path() + ": 3 errors, 0 warnings; nothing written\n");
}

TEST(ChatsieveCommand, BuildMakesTheOutputFolder) {
    ScopedTempDir dir;
    RuleFolder rules;
    const Result run = Chatsieve("build " + Quoted(rules.Path()) + " -o fresh/Data/Scp/Chatsieve.res");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists("fresh/Data/Scp/Chatsieve.res"));
    EXPECT_EQ(run.out, rules.Path() + ": 0 errors, 0 warnings; wrote fresh/Data/Scp/Chatsieve.res\n");
}

TEST(ChatsieveCommand, BuildDecompileBuildGivesTheSameBytes) {
    ScopedTempDir dir;
    ASSERT_EQ(Chatsieve(std::string("build ") + Quoted(SHIPPED_RULES) + " -o first.res").status, 0);
    const Result decompiled = Chatsieve("decompile first.res -o folder");
    EXPECT_EQ(decompiled.status, 0) << decompiled.err;
    ASSERT_EQ(Chatsieve("build folder -o second.res").status, 0);
    EXPECT_EQ(ReadFileText("first.res"), ReadFileText("second.res"));
    EXPECT_EQ(Chatsieve("decompile first.res -o folder").status, 1);  // not empty any more
    EXPECT_EQ(Chatsieve("decompile stdin.txt -o other").status, 1);   // not a package
}

// Warnings fail lint only with --strict, so a team's CI can run it on a list
// used as it stands.
TEST(ChatsieveCommand, LintFailsOnWarningsOnlyWhenStrict) {
    ScopedTempDir dir;
    const Result clean = Chatsieve(std::string("lint ") + Quoted(SHIPPED_RULES));
    EXPECT_EQ(clean.status, 0) << clean.out;
    // Notes on what rules were made into are no warnings.
    EXPECT_NE(clean.out.find("/phrases.tsv:9:10: note: also 掛 for 挂; 3 rows\n"), std::string::npos) << clean.out;
    EXPECT_TRUE(clean.out.size() > 30 && clean.out.substr(clean.out.rfind('\n', clean.out.size() - 2) + 1) ==
                                             std::string(SHIPPED_RULES) + ": 0 errors, 0 warnings\n")
        << clean.out;
    RuleFolder rules({{"phrases.tsv", "id\tlevel\tphrase\ncheat\t70\twai gua\ngold\t0\t金劲\nwechat\t0\t微信\n"}});
    const Result warned = Chatsieve("lint " + Quoted(rules.Path()));
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(Chatsieve("lint --strict " + Quoted(rules.Path())).status, 3);
    EXPECT_EQ(Chatsieve("lint --strict " + Quoted(SHIPPED_RULES)).status, 0);
    EXPECT_EQ(warned.out, rules.Path() +
                              "/phrases.tsv:3:9: warning: '劲' has several readings and is read as 'jin' only "
                              "because its syllable holds it (it also reads jing); write 劲(jin) to keep that "
                              "reading or 劲(jing) for another\n" +
                              rules.Path() +
                              "/phrases.tsv:2:7: warning: the level 70 is above 63, the highest level rule "
                              "data uses: the filter tries this rule before every rule of level 63 or below, and "
                              "FilterText returns 70 to the host for a line it decides, which a host built for 0 "
                              "to 63 may not expect\n" +
                              rules.Path() + "/phrases.tsv:3:8: note: also 勁 for 劲; 2 rows\n" + rules.Path() +
                              ": 0 errors, 2 warnings\n");
    RuleFolder broken({{"phrases.tsv", "id\tlevel\tphrase\n"}});
    EXPECT_EQ(Chatsieve("lint " + Quoted(broken.Path())).status, 1);
}

}  // namespace
}  // namespace chatsieve::test
