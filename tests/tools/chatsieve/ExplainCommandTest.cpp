// What the command says about rules: where each was written and its tags,
// every pass of masking, why a line of level 0 was not caught, and lint's
// warnings next to its errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "PackholdWriter.h"
#include "RuleFolder.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Builds `rules` into ROOT/Data/Scp/Chatsieve.res; --root ROOT then uses it.
void BuildInto(const RuleFolder& rules, const std::string& root) {
    const Result built = Chatsieve("build " + Quoted(rules.Path()) + " -o " + root + "/Data/Scp/Chatsieve.res");
    ASSERT_EQ(built.status, 0) << built.err;
}

// ---- where rules were written, and their tags

TEST(ChatsieveExplain, NamesRulesByTheirPlaceAndReportsTags) {
    ScopedTempDir dir;
    RuleFolder rules(
        {{"phrases.tsv",
          "id\tlevel\tphrase\ttags\n# no id: named by its place\n\t6\t外挂\tcheat, tool\n"
          "server\t5\tsi fu\ngold\t0\t金 bi\nwechat\t0\t微信\tcontact\n"},
         {"combos.tsv", "id\tlevel\tparts\ttags\ngold-sale\t4\tmai gold\tgold-selling\n\t3\t加 wechat\n"}});
    BuildInto(rules, "root");
    const Result text = Chatsieve("filter --root root --explain", "外挂\n加微信\n");
    EXPECT_EQ(text.out,
              "6\t****\n"
              "  rule: phrase phrases.tsv:3, level 6: 外挂\n"
              "  matched: columns 1-2 \"外挂\" (CD E2 B9 D2)\n"
              "  phrase phrases.tsv:3, columns 1-2: 外 = wai (character), 挂 = gua (character)\n"
              "3\t加****\n"
              "  rule: combination combos.tsv:3, level 3: 加 wechat\n"
              "  matched: columns 2-3 \"微信\" (CE A2 D0 C5)\n"
              "  syllable jia, columns 1-1: 加 = jia (character)\n"
              "  phrase wechat, columns 2-3: 微 = wei (character), 信 = xin (character)\n");
    const Result json = Chatsieve("filter --root root --explain --json", "外挂\nmai金币\n");
    EXPECT_NE(json.out.find("\"rule\":{\"kind\":\"phrase\",\"id\":null,\"row\":1,\"source\":\"phrases.tsv:3\","
                            "\"tags\":[\"cheat\",\"tool\"],\"level\":6"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"rule\":{\"kind\":\"combination\",\"id\":\"gold-sale\",\"row\":1,\"source\":"
                            "\"combos.tsv:2\",\"tags\":[\"gold-selling\"],\"level\":4"),
              std::string::npos)
        << json.out;
}

// A package built before rules carried their places still explains (by row)
// and decompiles into rules that build it again, but for the places.
TEST(ChatsieveExplain, APackageWithoutPlacesShowsWhatItCan) {
    ScopedTempDir dir;
    RuleFolder rules;
    BuildInto(rules, "new");
    std::vector<unsigned char> bytes;
    packhold::Package package;
    std::string error;
    ASSERT_TRUE(packhold::ReadWholeFile("new/Data/Scp/Chatsieve.res", &bytes, &error)) << error;
    ASSERT_TRUE(packhold::DecodePackage(bytes.data(), bytes.size(), packhold::kDefaultKey, &package, &error));
    for (std::size_t t = 2; t < 4; ++t) {
        package.tables[t].columns.resize(5);  // up to the variant column
        for (auto& row : package.tables[t].rows) row.resize(5);
    }
    std::filesystem::create_directories("old/Data/Scp");
    ASSERT_TRUE(packhold::EncodePackage(package, packhold::kDefaultKey, &bytes, &error));
    ASSERT_TRUE(packhold::WriteFileAtomically("old/Data/Scp/Chatsieve.res", bytes, &error));
    EXPECT_EQ(Chatsieve("filter --root old --explain", "外挂\n").out,
              "6\t****\n"
              "  rule: phrase cheat, level 6: 外挂\n"
              "  matched: columns 1-2 \"外挂\" (CD E2 B9 D2)\n"
              "  phrase cheat, columns 1-2: 外 = wai (character), 挂 = gua (character)\n");
    const Result decompiled = Chatsieve("decompile old/Data/Scp/Chatsieve.res -o again");
    EXPECT_EQ(decompiled.status, 0) << decompiled.err;
    EXPECT_NE(decompiled.err.find("names no rules' files and lines"), std::string::npos) << decompiled.err;
}

// ---- every pass of masking

TEST(ChatsieveExplain, ListsEveryPassOfMaskingWithItsRule) {
    ScopedTempDir dir;
    // '*' is an ignored character in the shipped rules, so masking 外挂
    // joins 买 and 好, which another rule then masks.
    const Result run = Chatsieve("filter --explain", "买外挂好\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "60\t********\n"
              "  rule: phrase cheat (phrases.tsv:9), level 60: 外挂\n"
              "  matched: columns 2-3 \"外挂\" (CD E2 B9 D2)\n"
              "  phrase cheat, columns 2-3: 外 = wai (character), 挂 = gua (character)\n"
              "  masked in 2 passes:\n"
              "    1: columns 2-3 \"外挂\", phrase cheat (phrases.tsv:9), level 60\n"
              "    2: columns 1-4 \"买****好\", phrase sell-account-short (phrases.tsv:14), level 40\n");
    const Result json = Chatsieve("filter --explain --json", "wai扣扣gua\n");
    EXPECT_NE(json.out.find("\"passes\":[{\"columns\":[4,5],\"text\":\"扣扣\",\"kind\":\"phrase\",\"id\":\"qq\","
                            "\"source\":\"phrases.tsv:18\",\"level\":20},{\"columns\":[1,8],\"text\":"
                            "\"wai****gua\",\"kind\":\"phrase\",\"id\":\"cheat\",\"source\":\"phrases.tsv:9\","
                            "\"level\":60}]"),
              std::string::npos)
        << json.out;
}

// The passes are told from whole checks while the filter takes shortcuts;
// the command says so on standard error whenever the two disagree. Random
// short lines of pieces the shipped rules are made of, fillers and stars.
TEST(ChatsieveExplain, ThePassesListedGiveTheFiltersMaskedCopy) {
    ScopedTempDir dir;
    const std::vector<std::string> pieces = {"买",  "卖", "外", "挂", "好", "号", "扣", "wai", "gua", "mai",
                                             "hao", "*",  " ",  "，", "私", "服", "金", "币",  "加",  "微信"};
    std::mt19937 random(13);
    std::string lines;
    for (int n = 0; n < 1500; ++n) {
        const int length = 1 + static_cast<int>(random() % 9);
        for (int i = 0; i < length; ++i) lines += pieces[random() % pieces.size()];
        lines += "\n";
    }
    const Result plain = Chatsieve("filter", lines);
    const Result explained = Chatsieve("filter --explain", lines);
    EXPECT_EQ(explained.status, 0);
    EXPECT_EQ(explained.err, "");
    std::string levels;
    for (std::size_t at = 0; at < explained.out.size();) {
        const std::size_t end = explained.out.find('\n', at) + 1;
        if (explained.out[at] != ' ') levels += explained.out.substr(at, end - at);
        at = end;
    }
    EXPECT_EQ(levels, plain.out);
    EXPECT_NE(explained.out.find("masked in 2 passes"), std::string::npos);
}

// The filter's copy of a line drops a lead byte the line ends in; the
// passes replayed from whole checks must start from that copy too.
TEST(ChatsieveExplain, ALoneLeadByteAtTheEndIsNoDisagreement) {
    ScopedTempDir dir;
    for (const char* line : {"\xCD\xE2\xB9\xD2\xCD\n", "\xC2\xF2\xCD\xE2\xB9\xD2\xBA\xC3\xB9\n"}) {
        const Result run = Chatsieve("filter --encoding gbk --explain", line);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "") << line;
        EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
                  Chatsieve("filter --encoding gbk", line).out.substr(0, run.out.find('\n')));
    }
}

// One name for each written form, in --explain and in scan alike: full-width
// pinyin (held where split forms are) is not a split form, a traditional
// counterpart is not a homophone.
TEST(ChatsieveExplain, NamesWrittenFormsAsScanCountsThem) {
    ScopedTempDir dir;
    const std::string lines = "ＷＡＩ ＧＵＡ\nｗａｉｇｕａ\n外ＧＵＡ\n外掛\n外褂\n十买金币\n";
    const Result run = Chatsieve("filter --explain", lines);
    std::string forms;
    for (std::size_t at = run.out.find("  phrase "); at != std::string::npos; at = run.out.find("  phrase ", at + 1))
        forms += run.out.substr(run.out.find(':', at) + 1, run.out.find('\n', at) - run.out.find(':', at) - 1) + "\n";
    EXPECT_EQ(forms,
              " ＷＡＩ = wai (full-width pinyin), ＧＵＡ = gua (full-width pinyin)\n"
              " ｗａｉ = wai (full-width pinyin), ｇｕａ = gua (full-width pinyin)\n"
              " 外 = wai (character), ＧＵＡ = gua (full-width pinyin)\n"
              " 外 = wai (character), 掛 = gua (variant character)\n"
              " 外 = wai (character), 褂 = gua (homophone character)\n"
              " 金 = jin (character), 币 = bi (character)\n");
    EXPECT_NE(run.out.find("  syllable mai, columns 1-2: 十买 = mai (split form)\n"), std::string::npos) << run.out;
    WriteFileText("chat.log", lines);
    const Result scan = Chatsieve("scan chat.log");
    EXPECT_NE(scan.out.find("phrase cheat, level 60: 5 lines; character 3, variant character 1, homophone character 1, "
                            "full-width pinyin 3, across fillers 1\n"),
              std::string::npos)
        << scan.out;
    EXPECT_NE(scan.out.find("chat.log:1: ＷＡＩ ＧＵＡ  [full-width pinyin, across fillers]"), std::string::npos)
        << scan.out;
    EXPECT_NE(scan.out.find("chat.log:4: 外掛  [character, variant character]"), std::string::npos) << scan.out;
}

// ---- why a line of level 0 was not caught

TEST(ChatsieveWhyNot, NamesATraditionalCharacterAndItsSimplifiedForm) {
    ScopedTempDir dir;
    // Written in pinyin, the rule takes no variants: 掛 stays outside it. The
    // test folder's syllables hold neither 便 nor 宜.
    RuleFolder rules(
        {{"phrases.tsv", "id\tlevel\tphrase\ncheat\t60\twai gua\n"}, {"combos.tsv", "id\tlevel\tparts\n"}});
    BuildInto(rules, "root");
    const Result run = Chatsieve("filter --root root --why-not", "外掛便宜\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "0\t外掛便宜\n"
              "  why not: \"掛\", column 2: in no syllable's ranges; its simplified form 挂 is gua\n"
              "  why not: \"便\", column 3: in no syllable's ranges\n"
              "  why not: \"宜\", column 4: in no syllable's ranges\n"
              "  near: phrase cheat (phrases.tsv:2), level 60: wai gua\n"
              "    syllable 1 wai matched at column 1: 外\n"
              "    syllable 2 gua failed at column 2: 掛 is in no syllable's ranges; its simplified form 挂 is gua\n");
    const Result json = Chatsieve("filter --root root --why-not --json", "外掛\n");
    EXPECT_EQ(json.out,
              "{\"file\":\"-\",\"line\":1,\"level\":0,\"text\":\"外掛\",\"masked\":\"外掛\",\"whyNot\":{"
              "\"characters\":[{\"columns\":[2,2],\"text\":\"掛\",\"note\":\"in no syllable's ranges; its "
              "simplified form 挂 is gua\"}],\"near\":[{\"kind\":\"phrase\",\"id\":\"cheat\",\"source\":"
              "\"phrases.tsv:2\",\"level\":60,\"text\":\"wai gua\",\"steps\":[{\"index\":1,\"syllable\":\"wai\","
              "\"matched\":true,\"byte\":0,\"column\":1,\"text\":\"外\"},{\"index\":2,\"syllable\":\"gua\","
              "\"matched\":false,\"byte\":2,\"column\":2,\"text\":\"掛\",\"reason\":\"掛 is in no syllable's ranges; "
              "its simplified form 挂 is "
              "gua\"}]}]}}\n");
    // The shipped rules, built with variants, catch it.
    EXPECT_EQ(Chatsieve("filter", "外掛便宜\n").out, "60\t****便宜\n");
}

// Each way a written syllable escapes: full-width letters (mixed case, which
// the compiler's full-width rows leave out), a filler the
// ignore-sets keep, a character of another syllable, another word, the end
// of the line; and a combination with one part of two. A line with a level
// gets nothing more, and a line no rule comes near says so.
TEST(ChatsieveWhyNot, SaysWhereEachSyllableFailedAndWhy) {
    ScopedTempDir dir;
    RuleFolder rules;
    BuildInto(rules, "root");
    const Result run =
        Chatsieve("filter --root root --why-not", "Ｗａｉ ＧＵＡ\nwai1gua\n外金\n外si\n外挂\nhello\n卖金\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "0\tＷａｉ ＧＵＡ\n"
              "  why not: \"ＷａｉＧＵＡ\", columns 1-7: full-width letters; pinyin is matched in ASCII letters only\n"
              "  near: phrase cheat (phrases.tsv:2), level 6: 外挂\n"
              "    syllable 1 wai failed at column 1: Ｗａｉ is wai in full-width letters; pinyin is matched in ASCII "
              "letters only\n"
              "    syllable 2 gua failed at column 5: ＧＵＡ is gua in full-width letters; pinyin is matched in ASCII "
              "letters only\n"
              "0\twai1gua\n"
              "  why not: \"1\", column 4: not stripped by the ignore-sets, so it keeps the syllables around it apart\n"
              "  near: phrase cheat (phrases.tsv:2), level 6: 外挂\n"
              "    syllable 1 wai matched at column 1: wai\n"
              "    syllable 2 gua failed at column 4: '1' is not stripped by the ignore-sets, and stands between "
              "syllables; gua follows it: gua\n"
              "0\t外金\n"
              "  near: phrase cheat (phrases.tsv:2), level 6: 外挂\n"
              "    syllable 1 wai matched at column 1: 外\n"
              "    syllable 2 gua failed at column 2: 金 is jin, not gua (gua is written 刮 瓜 剐 寡 挂...)\n"
              "0\t外si\n"
              "  near: phrase cheat (phrases.tsv:2), level 6: 外挂\n"
              "    syllable 1 wai matched at column 1: 外\n"
              "    syllable 2 gua failed at column 2: 'si' is not gua\n"
              "  near: phrase server (phrases.tsv:3), level 5: si fu\n"
              "    syllable 1 si matched at column 2: si\n"
              "    syllable 2 fu failed: the line ends\n"
              "6\t****\n"
              "0\thello\n"
              "  why not: no rule comes near\n"
              "0\t卖金\n"
              "  near: combination gold-sale (combos.tsv:2), level 4: mai gold\n"
              "    part 1 mai found at column 1\n"
              "    part 2 gold missing: syllable 1 jin matched at column 2: 金; syllable 2 bi failed: the line "
              "ends\n");
}

// An allowed expression that hides a match is the answer itself.
TEST(ChatsieveWhyNot, NamesTheAllowedExpressionThatLetAMatchThrough) {
    ScopedTempDir dir;
    EXPECT_EQ(Chatsieve("filter --why-not", "我刚买好装备了\n").out,
              "0\t我刚买好装备了\n"
              "  allowed: columns 3-6 \"买好装备\" is \"买好装备\" (allow.tsv:5)\n"
              "  without them: level 40, phrase sell-account-short (phrases.tsv:14): 卖号, columns 3-4\n");
    // JSON gives every record asked for, the empty why-not too: a program
    // reading it decides what is reason enough.
    EXPECT_EQ(Chatsieve("filter --why-not --json", "我刚买好装备了\n").out,
              "{\"file\":\"-\",\"line\":1,\"level\":0,\"text\":\"我刚买好装备了\",\"masked\":\"我刚买好装备了\","
              "\"allowed\":{\"expressions\":[{\"text\":\"买好装备\",\"row\":1,\"source\":\"allow.tsv:5\","
              "\"columns\":[3,6],\"matched\":\"买好装备\"}],\"levelWithout\":40,\"ruleWithout\":{\"kind\":\"phrase\","
              "\"id\":\"sell-account-short\",\"row\":14,\"source\":\"phrases.tsv:14\",\"level\":40,\"columns\":[3,4]}},"
              "\"whyNot\":{\"characters\":[],\"near\":[]}}\n");
}

TEST(ChatsieveWhyNot, NamesOnlyTheNearestFewRules) {
    ScopedTempDir dir;
    const Result run = Chatsieve("filter --why-not", "外买私金加微扣\n");
    const auto count = [&run](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = 0; (at = run.out.find(what, at)) != std::string::npos; ++at) ++n;
        return n;
    };
    EXPECT_EQ(count("\n  near: phrase "), 3u) << run.out;
    EXPECT_EQ(count("\n  near: combination "), 2u) << run.out;
}

// ---- lint and build: warnings alongside errors

TEST(ChatsieveLint, ShowsWarningsAlongsideErrors) {
    ScopedTempDir dir;
    RuleFolder rules(
        {{"phrases.tsv", "id\tlevel\tphrase\ncheat\t70\t外挂\nbad\t6\tzzz\ngold\t0\t金币(bi)\nwechat\t0\t微信\n"}});
    const std::string warning = rules.Path() +
                                "/phrases.tsv:2:7: warning: the level 70 is above 63, the highest level "
                                "rule data uses: the filter tries this rule before every rule of level 63 or "
                                "below, and FilterText returns 70 to the host for a line it decides, which a host "
                                "built for 0 to 63 may not expect\n";
    const std::string error = rules.Path() + "/phrases.tsv:3:7: unknown syllable 'zzz'\n";
    const Result lint = Chatsieve("lint " + Quoted(rules.Path()));
    EXPECT_EQ(lint.status, 1);
    EXPECT_EQ(lint.out, error + warning + rules.Path() + ": 1 error, 1 warning\n");
    const Result build = Chatsieve("build " + Quoted(rules.Path()) + " -o out.res");
    EXPECT_EQ(build.status, 1);
    EXPECT_EQ(build.err, error + warning);
    EXPECT_EQ(build.out, rules.Path() + ": 1 error, 1 warning; nothing written\n");
    EXPECT_FALSE(std::filesystem::exists("out.res"));
}

}  // namespace
}  // namespace chatsieve::test
