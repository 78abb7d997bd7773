// The rule tools end to end: test on cases files, diff of two packages over
// logs, scan and its HTML report (opened in headless chromium when there is
// one; its suggested allow rows are read by the compiler's own reader). Each runs the built program with the shipped
// rules beside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "PackholdWriter.h"
#include "RuleFolder.h"
#include "RunChatsieve.h"
#include "TempDir.h"
#include "compiler/AllowTable.h"
#include "compiler/CRuleCompiler.h"

namespace chatsieve::test {
namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The package the command uses without --root or --package.
std::string Shipped() {
    return (std::filesystem::path(CHATSIEVE_EXE).parent_path() / "Data" / "Scp" / "Chatsieve.res").string();
}

// The shipped rules with `extra` appended to phrases.tsv, built into `out`.
void BuildShipped(const std::string& out, const std::string& extra = "") {
    namespace fs = std::filesystem;
    fs::create_directories("src-" + out);
    for (const char* table : {"ignore.tsv", "syllables.tsv", "phrases.tsv", "combos.tsv"})
        fs::copy_file(fs::path(SHIPPED_RULES) / table, fs::path("src-" + out) / table,
                      fs::copy_options::overwrite_existing);
    WriteFileText("src-" + out + "/phrases.tsv", ReadFileText("src-" + out + "/phrases.tsv") + extra);
    const Result built = Chatsieve("build src-" + out + " -o " + out);
    ASSERT_EQ(built.status, 0) << built.err;
}

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

const char kLog[] =
    "大家好\n"
    "有人要外挂吗\n"
    "有人要外褂吗\n"    // a homophone of 挂
    "swaiguar\n"        // inside a longer word
    "有人要 wai gua\n"  // pinyin across a filler
    "十买金币 便宜\n"   // a split form
    "ok 😀 私服\n"       // a character code page 936 lacks
    "\xFF\xFE 代练\n";  // not UTF-8

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

// The rows of the report's suggested allow.tsv, as a browser shows them.
std::string SuggestedAllowRows(const std::string& page) {
    const std::string open = "<pre id=\"allow-rows\">";
    const std::size_t start = page.find(open), end = page.find("</pre>", start);
    if (start == std::string::npos || end == std::string::npos) return "";
    std::string rows = page.substr(start + open.size(), end - start - open.size());
    for (const auto& [escaped, text] : {std::pair<std::string, std::string>{"&lt;", "<"},
                                        {"&gt;", ">"},
                                        {"&quot;", "\""},
                                        {"&#39;", "'"},
                                        {"&amp;", "&"}})
        for (std::size_t at = rows.find(escaped); at != std::string::npos; at = rows.find(escaped, at + 1))
            rows.replace(at, escaped.size(), text);
    return rows;
}

// The rule folder `folder` read without its allow.tsv, then `rows` read as
// its allow.tsv by the compiler's own reader.
std::vector<tools::AllowSource> ReadAsAllowTable(const std::string& folder, const std::string& rows,
                                                 std::vector<tools::Diagnostic>* diagnostics) {
    tools::RuleSetSource rules;
    std::filesystem::remove(folder + "/allow.tsv");
    EXPECT_TRUE(tools::CRuleCompiler().Read(folder, &rules, diagnostics));
    WriteFileText(folder + "/allow.tsv", rows);
    tools::ReadAllowTable(folder, &rules, diagnostics);
    return rules.allow;
}

// Whether a rule's heading in the samples table has no sample under it.
bool HasEmptySampleHeading(const std::string& page) {
    const std::size_t start = page.find("id=\"samples\"");
    const std::string samples = page.substr(start, page.find("</table>", start) - start);
    const std::string heading = "<tr><th colspan=\"3\">";
    for (std::size_t at = samples.find(heading); at != std::string::npos; at = samples.find(heading, at + 1)) {
        const std::size_t next = samples.find('\n', at) + 1;
        if (samples.compare(next, 8, "<tr><td ") != 0) return true;
    }
    return false;
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

TEST(ChatsieveScan, WritesOneSelfContainedReport) {
    ScopedTempDir dir;
    // 拉机 is caught by trash (垃圾) through homophones alone, so its one
    // sample is a likely false positive.
    WriteFileText("chat.log", std::string(kLog) + "拉机\n");
    const Result run = Chatsieve("scan chat.log --report report.html");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string page = ReadFileText("report.html");
    EXPECT_EQ(Count(page, "<svg "), 3u);
    EXPECT_EQ(Count(page, "<script"), 0u);
    EXPECT_EQ(Count(page, "src="), 0u);
    // Links lead only within the page (its table of contents) or to the
    // list of unfired rules it holds.
    EXPECT_EQ(Count(page, "href="), Count(page, "href=\"#") + Count(page, "href=\"data:"));
    EXPECT_EQ(Count(page, "http"), 3u);  // only the SVG namespace
    EXPECT_EQ(Count(page, "<tr class=\"suspect\">"), 2u);
    EXPECT_LT(page.find("id=\"suspects\""), page.find("id=\"rules\""));
    // Chinese text shows on machines without Chinese fonts for sans-serif.
    EXPECT_NE(page.find("<html lang=\"zh-CN\">"), std::string::npos);
    for (const char* font : {"\"Microsoft YaHei\"", "\"PingFang SC\"", "\"Noto Sans CJK SC\""})
        EXPECT_NE(page.find(font), std::string::npos) << font;
    // The span each rule matched is marked, a combination's parts apart.
    for (const char* marked :
         {"有人要<mark>外褂</mark>吗", "s<mark>waigua</mark>r", "有人要 <mark>wai gua</mark>",
          "<mark>十买</mark><mark>金币</mark> 便宜", "ok ? <mark>私服</mark>", "<mark>拉机</mark>"})
        EXPECT_NE(page.find(marked), std::string::npos) << marked;
    EXPECT_EQ(Count(page, "<mark>"), 9u);
    EXPECT_FALSE(HasEmptySampleHeading(page));
    EXPECT_EQ(page.find("<tr><th colspan=\"3\">phrase trash"), std::string::npos);
    // Flagged lines are drawn on their own scale.
    EXPECT_NE(page.find("Lines without a level (1) are left out"), std::string::npos);
    EXPECT_EQ(page.find(">level 0<"), std::string::npos);
    EXPECT_EQ(Chatsieve("scan chat.log --report nowhere/report.html").status, 1);
}

// The page of a big list stays short to read: a table of contents, samples
// before the long tables, no empty table of false positives, and the rules
// that never fired as a count, a list to download and a folded table.
TEST(ChatsieveScan, ReportOfManyRulesPutsSamplesFirstAndFoldsTheUnfired) {
    ScopedTempDir dir;
    WriteFileText("chat.log", "有人要外挂吗\n今天天气好\n");
    ASSERT_EQ(Chatsieve("scan chat.log --report report.html").status, 0);
    const std::string page = ReadFileText("report.html");
    for (const char* id :
         {"rule-package", "charts", "false-positives", "sample-lines", "all-rules", "by-tag", "never-fired"}) {
        EXPECT_NE(page.find(std::string("<a href=\"#") + id + "\">"), std::string::npos) << id;
        EXPECT_NE(page.find(std::string(" id=\"") + id + "\""), std::string::npos) << id;
    }
    EXPECT_EQ(page.find("href=\"#allow\""), std::string::npos);
    EXPECT_EQ(page.find("id=\"suspects\""), std::string::npos);
    EXPECT_NE(page.find("read as pinyin: none.</p>"), std::string::npos);
    EXPECT_LT(page.find("id=\"samples\""), page.find("id=\"rules\""));
    EXPECT_LT(page.find("id=\"rules\""), page.find("id=\"unfired\""));
    EXPECT_LT(page.find("<details>"), page.find("id=\"unfired\""));
    // Every unfired rule is in the file to download, a header first.
    EXPECT_NE(page.find("<a download=\"never-fired.tsv\" href=\"data:text/tab-separated-values;charset=utf-8;base64,"
                        "cnVsZQlleHByZXNzaW9uCXRhZ3MJbW9kZQls"),
              std::string::npos);
    EXPECT_EQ(Count(page, "href="), Count(page, "href=\"#") + 1);
}

TEST(ChatsieveScan, SuggestsAllowRowsThatLetTheLikelyFalsePositivesThrough) {
    ScopedTempDir dir;
    // Rows are written as the rules saw the lines, fillers stripped, so
    // 外褂 and 外 褂 need one row; pinyin running on into letters is
    // allowed as the whole word, and in one row whatever its letter case.
    WriteFileText("chat.log", std::string(kLog) + "拉机\n看外 褂子\nwai guaa\nSWAIGUAR\n");
    ASSERT_EQ(Chatsieve("scan chat.log --report report.html").status, 0);
    const std::string rows = SuggestedAllowRows(ReadFileText("report.html"));
    EXPECT_EQ(rows.substr(0, rows.find('\n') + 1), "allow\trules\tnote\n");
    EXPECT_NE(rows.find("\n外褂\tcheat\tlikely false positive of phrase cheat 外挂 (2 lines)\n"), std::string::npos)
        << rows;
    EXPECT_NE(rows.find("\nswaiguar\tcheat\tlikely false positive of phrase cheat 外挂 (2 lines)\n"), std::string::npos)
        << rows;
    EXPECT_EQ(rows.find("SWAIGUAR"), std::string::npos) << rows;
    EXPECT_NE(rows.find("\nwaiguaa\tcheat\t"), std::string::npos) << rows;
    EXPECT_NE(rows.find("\n拉机\ttrash\t"), std::string::npos) << rows;

    namespace fs = std::filesystem;
    fs::create_directories("rules");
    for (const char* table : {"ignore.tsv", "syllables.tsv", "phrases.tsv", "combos.tsv"})
        fs::copy_file(fs::path(SHIPPED_RULES) / table, fs::path("rules") / table);
    std::vector<tools::Diagnostic> diagnostics;
    const std::vector<tools::AllowSource> allow = ReadAsAllowTable("rules", rows, &diagnostics);
    for (const tools::Diagnostic& diagnostic : diagnostics) ADD_FAILURE() << diagnostic.Format();
    ASSERT_EQ(allow.size(), 4u);
    for (const tools::AllowSource& row : allow) EXPECT_EQ(row.rules.size(), 1u) << row.text;

    // Built in, they take those lines out and leave the rest as they were.
    ASSERT_EQ(Chatsieve("build rules -o root/Data/Scp/Chatsieve.res").status, 0);
    const Result again = Chatsieve("scan --root root chat.log");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("likely false positives (through a homophone character, inside a longer ASCII "
                             "word or an English word read as pinyin): 0\n"),
              std::string::npos)
        << again.out;
    EXPECT_NE(again.out.find("lines per level: 0: 7 30: 1 40: 1 50: 1 60: 2\n"), std::string::npos) << again.out;
}

TEST(ChatsieveScan, ReportDescribesThePackageAndEveryRule) {
    ScopedTempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories("rules");
    WriteFileText("rules/phrases.tsv",
                  "id\tlevel\tphrase\ttags\n"
                  "cheat\t60\t外挂\tcheat, tool\n"
                  "\t50\t私服\tserver\n"
                  "\t30\t代练\n"
                  "gold\t0\t金币\n");
    WriteFileText("rules/combos.tsv", "id\tlevel\tparts\ngold-trade\t40\t卖 gold\n");
    ASSERT_EQ(Chatsieve("build rules -o root/Data/Scp/Chatsieve.res").status, 0);
    WriteFileText("chat.log", "外挂\n私服 私服\n四服\n卖金币 <b>&\"'\n大家好\n");
    const Result run = Chatsieve("scan --root root chat.log --report report.html");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string page = ReadFileText("report.html");

    const std::string package = ReadFileText("root/Data/Scp/Chatsieve.res");
    ASSERT_GT(package.size(), 12u);
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%02X%02X%02X%02X", static_cast<unsigned char>(package[11]),
                  static_cast<unsigned char>(package[10]), static_cast<unsigned char>(package[9]),
                  static_cast<unsigned char>(package[8]));
    EXPECT_NE(page.find("<td>root/Data/Scp/Chatsieve.res</td>"), std::string::npos);
    EXPECT_NE(page.find(std::string("<td>") + checksum + "</td>"), std::string::npos) << checksum;
    std::string size = std::to_string(package.size());
    for (std::size_t at = size.size(); at > 3; at -= 3) size.insert(at - 3, ",");
    EXPECT_NE(page.find("<td>" + size + " bytes</td>"), std::string::npos) << size;
    EXPECT_NE(page.find("<td>4 phrases, 1 combination (1 of level 0, never tried on their own); 0 allowed "
                        "expressions</td>"),
              std::string::npos);
    EXPECT_NE(page.find(" UTC</td>"), std::string::npos);

    // A rule without an id is shown with its expression, tags and mode.
    EXPECT_NE(page.find("<tr><td class=\"rule\">phrase phrases.tsv:3</td><td>私服</td><td>server</td><td>sound</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<span class=\"rule\">phrase phrases.tsv:3</span>, level 50: 2 lines: 私服 · tags server · "
                        "mode sound"),
              std::string::npos);
    // Of the rules tried alone, only 代练 never fired.
    const std::size_t unfired = page.find("id=\"unfired\"");
    const std::string never = page.substr(unfired, page.find("</table>", unfired) - unfired);
    EXPECT_EQ(Count(never, "<tr><td class=\"rule\">"), 1u) << never;
    EXPECT_NE(never.find("<tr><td class=\"rule\">phrase phrases.tsv:4</td><td>代练</td><td></td><td>sound</td>"),
              std::string::npos);
    // Lines by tag and level (40, 50, 60): a rule counts under each tag.
    for (const char* row : {"<tr><td>server</td><td class=\"num\">1 of 1</td><td class=\"num\"></td>"
                            "<td class=\"num\">2</td><td class=\"num\"></td><td class=\"num\">2</td></tr>",
                            "<tr><td>cheat</td><td class=\"num\">1 of 1</td><td class=\"num\"></td>"
                            "<td class=\"num\"></td><td class=\"num\">1</td><td class=\"num\">1</td></tr>",
                            "<tr><td>tool</td><td class=\"num\">1 of 1</td>",
                            "<tr><td>(no tags)</td><td class=\"num\">1 of 2</td><td class=\"num\">1</td>"})
        EXPECT_NE(page.find(row), std::string::npos) << row;
    // What the log holds is escaped like the rest.
    EXPECT_NE(page.find(" &lt;b&gt;&amp;&quot;&#39;</td>"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);

    // A rule without an id cannot be named, so its row covers every rule.
    const std::string rows = SuggestedAllowRows(page);
    EXPECT_NE(rows.find("\n四服\t\t"), std::string::npos) << rows;
    std::vector<tools::Diagnostic> diagnostics;
    const std::vector<tools::AllowSource> allow = ReadAsAllowTable("rules", rows, &diagnostics);
    for (const tools::Diagnostic& diagnostic : diagnostics) ADD_FAILURE() << diagnostic.Format();
    ASSERT_EQ(allow.size(), 1u);
    EXPECT_EQ(allow[0].text, "四服");
    EXPECT_TRUE(allow[0].rules.empty());
}

// A package whose rules say how they match shows each rule's mode; one
// that does not matches every rule by sound.
TEST(ChatsieveScan, ReportTakesEachRulesModeFromThePackage) {
    ScopedTempDir dir;
    std::filesystem::create_directories("rules");
    WriteFileText("rules/phrases.tsv", "id\tlevel\tphrase\ncheat\t60\t外挂\nserver\t50\t私服\n");
    WriteFileText("rules/combos.tsv", "id\tlevel\tparts\n");
    ASSERT_EQ(Chatsieve("build rules -o root/Data/Scp/Chatsieve.res").status, 0);
    const std::string path = "root/Data/Scp/Chatsieve.res";
    const std::string bytes = ReadFileText(path);
    packhold::Package package;
    std::string error;
    ASSERT_TRUE(packhold::DecodePackage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                        packhold::kDefaultKey, &package, &error))
        << error;
    packhold::Table& phrases = package.tables[2];
    std::size_t idColumn = 0;
    while (phrases.columns[idColumn].name != "id") ++idColumn;
    phrases.columns.push_back({"match", packhold::CellType::kText});
    for (auto& row : phrases.rows)
        row.push_back(row[idColumn].TextValue() == "server" ? packhold::Cell::Text("written") : packhold::Cell());
    std::vector<unsigned char> encoded;
    ASSERT_TRUE(packhold::EncodePackage(package, packhold::kDefaultKey, &encoded, &error)) << error;
    WriteFileText(path, std::string(encoded.begin(), encoded.end()));

    WriteFileText("chat.log", "外挂\n私服\n");
    ASSERT_EQ(Chatsieve("scan --root root chat.log --report report.html").status, 0);
    const std::string page = ReadFileText("report.html");
    EXPECT_NE(page.find("<tr><td class=\"rule\">phrase server</td><td>私服</td><td></td><td>written</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><td class=\"rule\">phrase cheat</td><td>外挂</td><td></td><td>sound</td>"),
              std::string::npos);
}

TEST(ChatsieveScan, ReportShowsItsChartsInABrowser) {
    if (std::string(CHROMIUM).empty()) GTEST_SKIP() << "chromium is not installed";
    ScopedTempDir dir;
    WriteFileText("chat.log", kLog);
    ASSERT_EQ(Chatsieve("scan chat.log --report report.html").status, 0);
    const std::string browser =
        std::string("'") + CHROMIUM + "' --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir=profile ";
    const std::string url = "file://" + (std::filesystem::current_path() / "report.html").string();
    ASSERT_EQ(std::system((browser + "--dump-dom '" + url + "' >dom.html 2>/dev/null").c_str()), 0);
    const std::string dom = ReadFileText("dom.html");
    EXPECT_EQ(Count(dom, "<svg "), 3u);
    EXPECT_EQ(Count(dom, "class=\"bar\""), Count(ReadFileText("report.html"), "class=\"bar\""));
    EXPECT_NE(dom.find("Flagged lines per level"), std::string::npos);
    EXPECT_NE(dom.find("Hits by written form"), std::string::npos);
    // As the browser parsed it: the language, the fonts, the marked spans
    // and the rows to paste.
    EXPECT_NE(dom.find("<html lang=\"zh-CN\">"), std::string::npos);
    EXPECT_NE(dom.find("font-family:\"Microsoft YaHei\""), std::string::npos);
    EXPECT_NE(dom.find("\"Noto Sans CJK SC\""), std::string::npos);
    EXPECT_NE(dom.find("有人要<mark>外褂</mark>吗"), std::string::npos);
    EXPECT_EQ(Count(dom, "<mark>"), Count(ReadFileText("report.html"), "<mark>"));
    const std::string rows = SuggestedAllowRows(dom);
    EXPECT_EQ(rows.substr(0, rows.find('\n') + 1), "allow\trules\tnote\n");
    EXPECT_NE(rows.find("\n外褂\tcheat\t"), std::string::npos) << rows;
    ASSERT_EQ(
        std::system((browser + "--window-size=1000,1400 --screenshot=shot.png '" + url + "' >/dev/null 2>&1").c_str()),
        0);
    EXPECT_GT(std::filesystem::file_size("shot.png"), 10000u);
}

}  // namespace
}  // namespace chatsieve::test
