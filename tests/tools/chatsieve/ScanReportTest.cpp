// scan's HTML report: one self-contained page, its order and contents for
// big rule sets, the rules it describes, and the allow rows it suggests (read
// back by the compiler's own reader); opened in headless chromium when there
// is one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "PackholdWriter.h"
#include "RuleFolder.h"
#include "RuleTools.h"
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
