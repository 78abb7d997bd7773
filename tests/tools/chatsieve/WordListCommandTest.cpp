// Word lists through the command: build's summary, lint's noise audit with
// and without innocent text, the findings of a long list grouped by kind, and
// filter --explain naming an entry's line.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RuleFolder.h"
#include "RunChatsieve.h"
#include "TempDir.h"

namespace chatsieve::test {
namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

RuleFolder::Files ListFolder(const std::string& words) {
    return {{"lists.tsv", "file\tlevel\tmatch\nwords.txt\t5\twritten\n"}, {"words.txt", words}};
}

TEST(ChatsieveWordLists, ExplainNamesTheEntrysLine) {
    ScopedTempDir dir;
    RuleFolder rules(ListFolder("私服\n\n代练\n"));
    const Result built = Chatsieve("build " + Quoted(rules.Path()) + " -o root/Data/Scp/Chatsieve.res");
    ASSERT_EQ(built.status, 0) << built.err;
    EXPECT_NE(built.err.find("lists.tsv:1:1: note: the lists give 2 entries; 0 repeated lines folded, 0 entries "
                             "left out"),
              std::string::npos)
        << built.err;
    const Result explained = Chatsieve("filter --root root --explain", "找代练\n");
    EXPECT_NE(explained.out.find("rule: phrase words.txt:3, level 5, written: 代练"), std::string::npos)
        << explained.out;
    const Result json = Chatsieve("filter --root root --explain --json", "找代练\n");
    EXPECT_NE(json.out.find("\"source\":\"words.txt:3\""), std::string::npos) << json.out;
}

TEST(ChatsieveWordLists, LintWarnsAboutNoisyEntriesAndNamesTheNoisiestOnACorpus) {
    ScopedTempDir dir;
    RuleFolder rules(ListFolder("私服\n系\nb\n64\n13751893776\n系统\n"));
    const std::string words = rules.Path() + "/words.txt";
    const Result lint = Chatsieve("lint " + Quoted(rules.Path()));
    EXPECT_EQ(lint.status, 0);
    EXPECT_NE(lint.out.find(words + ":2:1: warning: the entry '系' is a single character"), std::string::npos)
        << lint.out;
    EXPECT_NE(lint.out.find(words + ":3:1: warning: the entry 'b' is a single letter or digit"), std::string::npos);
    EXPECT_NE(lint.out.find(words + ":4:1: warning: the entry '64' is a short run of digits"), std::string::npos);
    // A phone number is what a list means to ban, and 系统 is a word (which
    // 系 shadows).
    EXPECT_EQ(lint.out.find(words + ":5:"), std::string::npos) << lint.out;
    EXPECT_EQ(lint.out.find(words + ":6:1: warning: the entry"), std::string::npos) << lint.out;

    // On innocent text: the rules that decided most lines, with counts, and
    // the share flagged; 私服 decides none of these.
    WriteFileText("innocent.txt", "系统更新\n关系很好\n今天天气好\n\n系统\n");
    const Result audit = Chatsieve("lint " + Quoted(rules.Path()) + " --corpus innocent.txt");
    EXPECT_EQ(audit.status, 0);
    EXPECT_NE(audit.out.find(words + ":2:1: warning: '系' decides 3 of the 4 innocent lines of innocent.txt (75.0%)"),
              std::string::npos)
        << audit.out;
    EXPECT_NE(audit.out.find("innocent.txt:1:1: note: 3 of 4 lines flagged (75.0%)"), std::string::npos);
    EXPECT_EQ(audit.out.find("'私服' decides"), std::string::npos);

    const Result missing = Chatsieve("lint " + Quoted(rules.Path()) + " --corpus nowhere.txt");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nowhere.txt: cannot read the corpus"), std::string::npos) << missing.err;
}

// A list used as it stands draws thousands of findings of a few kinds: each
// kind shows its first three places and counts the rest, unless --verbose.
// One entry shadowing another is only a note in lint, and build leaves it out.
TEST(ChatsieveWordLists, FindingsAreGroupedByKindAndShadowedEntriesAreOnlyNoted) {
    ScopedTempDir dir;
    RuleFolder rules(ListFolder("甲\n乙\n丙\n丁\n戊\n私服\n私服外挂\n"));
    const std::string words = rules.Path() + "/words.txt";
    const Result lint = Chatsieve("lint " + Quoted(rules.Path()));
    EXPECT_EQ(lint.status, 0) << lint.out;
    for (const char* line : {":1:1: warning: the entry '甲'", ":2:1: warning: the entry '乙'",
                             ":3:1: warning: the entry '丙'", ":7:1: note: never the rule that decides"})
        EXPECT_NE(lint.out.find(words + line), std::string::npos) << line << "\n" << lint.out;
    EXPECT_EQ(lint.out.find(words + ":4:1: warning"), std::string::npos) << lint.out;
    EXPECT_NE(lint.out.find("\nwarning: 2 more word-list entries found in much innocent text (5 in all); "
                            "--verbose lists them all\n"),
              std::string::npos)
        << lint.out;
    EXPECT_NE(lint.out.find(rules.Path() + ": 0 errors, 5 warnings\n"), std::string::npos) << lint.out;

    const Result verbose = Chatsieve("lint --verbose " + Quoted(rules.Path()));
    EXPECT_NE(verbose.out.find(words + ":5:1: warning: the entry '戊'"), std::string::npos) << verbose.out;
    EXPECT_EQ(verbose.out.find("more word-list entries"), std::string::npos) << verbose.out;
    EXPECT_EQ(Chatsieve("lint --strict " + Quoted(rules.Path())).status, 3);

    const Result built = Chatsieve("build " + Quoted(rules.Path()) + " -o out.res");
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_NE(built.err.find("warning: 2 more word-list entries"), std::string::npos) << built.err;
    EXPECT_EQ(built.err.find("never the rule"), std::string::npos) << built.err;
    EXPECT_NE(Chatsieve("build --verbose " + Quoted(rules.Path()) + " -o out.res").err.find(words + ":5:1: warning"),
              std::string::npos);
}

// An English word that spells an entry's pinyin is let through for that entry
// alone, in any letter case; the entry's characters, and other entries
// reading through the same letters, still catch. Fillers are stripped before
// allowed expressions are looked for, so the word spelt out with fillers
// between its syllables (ma.de) is let through as well. The english
// column's `catch` keeps every reading (scan then counts such lines as likely
// false positives), and decompiling gives back a folder that builds the same
// bytes, the column included.
TEST(ChatsieveWordLists, EnglishWordsThatSpellAnEntrysPinyinAreLetThrough) {
    ScopedTempDir dir;
    RuleFolder rules(ListFolder("马的\n李克\n李克强\n"));
    ASSERT_EQ(Chatsieve("build " + Quoted(rules.Path()) + " -o root/Data/Scp/Chatsieve.res").status, 0);
    EXPECT_EQ(
        Chatsieve("filter --root root", "Made in China\nLike the netinst image\n马的\nma.de\nlikeqiang\nli ke\n").out,
        "0\tMade in China\n0\tLike the netinst image\n5\t****\n0\tma.de\n5\t*********\n0\tli ke\n");
    const Result explained = Chatsieve("filter --root root --explain", "made\n");
    EXPECT_NE(explained.out.find("\"made\" is \"made\" (an English word, let through for the list entries it spells)"),
              std::string::npos)
        << explained.out;

    ASSERT_EQ(Chatsieve("decompile root/Data/Scp/Chatsieve.res -o back").status, 0);
    EXPECT_FALSE(std::filesystem::exists("back/allow.tsv"));

    RuleFolder catching({{"lists.tsv", "file\tlevel\tmatch\ttags\tenglish\nwords.txt\t5\twritten\t\tcatch\n"},
                         {"words.txt", "马的\n"}});
    ASSERT_EQ(Chatsieve("build " + Quoted(catching.Path()) + " -o caught/Data/Scp/Chatsieve.res").status, 0);
    EXPECT_EQ(Chatsieve("filter --root caught", "Made in China\n").out, "5\t**** in China\n");
    ASSERT_EQ(Chatsieve("decompile caught/Data/Scp/Chatsieve.res -o caught-back").status, 0);
    EXPECT_EQ(ReadFileText("caught-back/lists.tsv"),
              "file\tlevel\tmatch\ttags\tenglish\nwords.txt\t5\twritten\t\tcatch\n");
    // lint notes which entries an English word spells, and on a corpus names
    // those that English text caught; scan counts such lines among the likely
    // false positives (naming a rule without an id with its expression).
    EXPECT_NE(Chatsieve("lint " + Quoted(rules.Path()))
                  .out.find(rules.Path() + "/words.txt:1:1: note: reads 'made', an English word, "
                                           "which is let through for this entry\n"),
              std::string::npos);
    WriteFileText("innocent.txt", "Made in China\n");
    const Result audit = Chatsieve("lint " + Quoted(catching.Path()) + " --corpus innocent.txt");
    EXPECT_NE(audit.out.find("words.txt:1:1: warning: '马的' decides 1 innocent lines of innocent.txt through an "
                             "English word read as its pinyin\n"),
              std::string::npos)
        << audit.out;
    WriteFileText("chat.log", "Made in China\n马的\n");
    const Result scanned = Chatsieve("scan --root caught chat.log");
    EXPECT_NE(scanned.out.find("English word read as pinyin): 1\n  phrase words.txt:1 马的, level 5: 1 line\n"
                               "    chat.log:1: Made in China  [pinyin, an English word]\n"),
              std::string::npos)
        << scanned.out;

    RuleFolder unknown({{"lists.tsv", "file\tlevel\tmatch\ttags\tenglish\nwords.txt\t5\twritten\t\tmaybe\n"},
                        {"words.txt", "马的\n"}});
    const Result refused = Chatsieve("build " + Quoted(unknown.Path()) + " -o refused.res");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("lists.tsv:2:22: unknown value 'maybe' for english"), std::string::npos) << refused.err;
}

// A homophone that a written entry turns down is named as one, with the way
// to catch it, rather than as another syllable of the same pinyin.
TEST(ChatsieveWordLists, WhyNotSaysAWrittenEntryTakesNoHomophones) {
    ScopedTempDir dir;
    RuleFolder::Files files = ListFolder("当兵\n");
    files["syllables.tsv"] = ReadFileText(std::string(SHIPPED_RULES) + "/syllables.tsv");  // 冰 is bing there
    RuleFolder rules(files);
    ASSERT_EQ(Chatsieve("build " + Quoted(rules.Path()) + " -o root/Data/Scp/Chatsieve.res").status, 0);
    const Result why = Chatsieve("filter --root root --why-not", "当冰\n");
    EXPECT_NE(why.out.find("syllable 2 bing failed at column 2: 冰 is bing too, but a written rule takes only the "
                           "characters it writes (兵), no homophones; a sound rule would catch it\n"),
              std::string::npos)
        << why.out;
}

}  // namespace
}  // namespace chatsieve::test
