// Word lists: how list files are read and folded, what their entries become
// in the package, and the errors that stop a build.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RuleFolder.h"
#include "TempDir.h"
#include "compiler/CAuthoringTable.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/CRuleDecompiler.h"
#include "compiler/CWordLists.h"

namespace chatsieve::tools {
namespace {

using packhold::Cell;
using test::RuleFolder;

constexpr const char* kHeader = "file\tlevel\tmatch\ttags\n";

std::string Messages(const std::vector<Diagnostic>& diagnostics, Diagnostic::Severity severity) {
    std::string text;
    for (const Diagnostic& d : diagnostics)
        if (d.severity == severity) text += d.Format() + "\n";
    return text;
}

// The column of `name` in a table, or -1.
int Column(const packhold::Table& table, const std::string& name) {
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].name == name) return static_cast<int>(i);
    return -1;
}

TEST(CWordLists, ReadsListsAsPublishedAndFoldsRepeats) {
    // A byte order mark, CR LF, blank lines, spaces and tabs around entries;
    // repeats in one file, across files and in another letter case.
    RuleFolder folder({{"lists.tsv", std::string(kHeader) + "a.txt\t3\twritten\tspam\nb.txt\t7\tsound\tcheat,spam\n"},
                       {"a.txt", "\xEF\xBB\xBF外挂\r\n\r\n  私服 \r\n外挂\r\nQQ\r\n代练"},
                       {"b.txt", "\tqq\n私服\n"}});
    CWordLists lists;
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(lists.Read(folder.Path(), 100, &diagnostics)) << Messages(diagnostics, Diagnostic::Severity::kError);
    ASSERT_EQ(lists.Entries().size(), 4u);
    EXPECT_EQ(lists.Folded(), 3u);
    const std::vector<WordListEntry>& e = lists.Entries();
    // 外挂 stays where it was first written, at a.txt's level and mode.
    EXPECT_EQ(e[0].text, "外挂");
    EXPECT_EQ(e[0].pos.line, 1);
    EXPECT_EQ(e[0].level, 3);
    EXPECT_EQ(e[0].match, MatchMode::kWritten);
    EXPECT_EQ(e[0].tags, "spam");
    // 代练 is a.txt's own; the entries b.txt repeats at a higher level move
    // there, with its level, its mode and both files' tags.
    EXPECT_EQ(e[1].text, "代练");
    EXPECT_EQ(e[1].pos.line, 6);
    EXPECT_EQ(e[2].text, "qq");
    EXPECT_EQ(e[2].pos.column, 2);
    EXPECT_EQ(e[2].level, 7);
    EXPECT_EQ(e[2].match, MatchMode::kSound);
    EXPECT_EQ(e[2].tags, "cheat,spam");
    EXPECT_EQ(e[3].text, "私服");
    EXPECT_EQ(e[3].pos.file, (folder / "b.txt").string());
    EXPECT_EQ(e[3].pos.line, 2);
}

TEST(CWordLists, LoneCarriageReturnsEndLinesAndLinksInsideTheFolderAreFollowed) {
    // Old editors end lines with CR alone; a list may be a link to another
    // file of the folder, in a folder of its own or not.
    RuleFolder folder(
        {{"lists.tsv", std::string(kHeader) + "mac.txt\t3\t\nlinked.txt\t4\t\n"}, {"mac.txt", "外挂\r\r  私服\r代练"}});
    std::filesystem::create_directories(folder / "shared");
    test::WriteFileText(folder / "shared" / "words.txt", "代购\n");
    std::filesystem::create_symlink("shared/words.txt", folder / "linked.txt");
    CWordLists lists;
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(lists.Read(folder.Path(), 100, &diagnostics)) << Messages(diagnostics, Diagnostic::Severity::kError);
    ASSERT_EQ(lists.Entries().size(), 4u);
    const std::vector<WordListEntry>& e = lists.Entries();
    EXPECT_EQ(e[0].text, "外挂");
    EXPECT_EQ(e[1].text, "私服");
    EXPECT_EQ(e[1].pos.line, 3);
    EXPECT_EQ(e[1].pos.column, 3);
    EXPECT_EQ(e[2].text, "代练");
    EXPECT_EQ(e[2].pos.line, 4);
    EXPECT_EQ(e[3].text, "代购");
    EXPECT_EQ(e[3].level, 4);
}

TEST(CWordLists, CallsAFileGbkOnlyWhenItIsGbkThroughout) {
    // 外挂 in code page 936, and a line of it in UTF-8 that is not GBK.
    EXPECT_STREQ("GBK", ForeignEncoding("\xCD\xE2\xB9\xD2\n\xCB\xBD\xB7\xFE\n"));
    EXPECT_EQ(nullptr, ForeignEncoding("外挂\n私服\n"));
    // UTF-8 with one overlong sequence, which code page 936 could read.
    EXPECT_EQ(nullptr, ForeignEncoding("外挂\n\xC0\xAF\n"));
    // Bytes no code page 936 character has (0x80 as a lead byte).
    EXPECT_EQ(nullptr, ForeignEncoding("\xCD\xE2\x80\x40"));
}

TEST(CWordLists, FolderWithoutListsHasNone) {
    RuleFolder folder;
    CWordLists lists;
    std::vector<Diagnostic> diagnostics;
    EXPECT_TRUE(lists.Read(folder.Path(), 100, &diagnostics));
    EXPECT_FALSE(lists.Present());
    EXPECT_TRUE(diagnostics.empty());
}

TEST(CWordLists, RefusesAFolderInPlaceOfAList) {
    RuleFolder folder({{"lists.tsv", std::string(kHeader) + "words\t5\t\n"}});
    std::filesystem::create_directory(folder / "words");
    CWordLists lists;
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(lists.Read(folder.Path(), 100, &diagnostics));
    EXPECT_EQ(Messages(diagnostics, Diagnostic::Severity::kError),
              (folder / "lists.tsv").string() + ":2:1: the list words is a folder, not a file\n");
}

TEST(CWordLists, SaysHowManyEntriesFitPastThePackagesLimit) {
    // More distinct entries than rows a package can refer to: an error, and
    // the compiler writes nothing.
    std::string words;
    for (int i = 0; i < kMaxReferencedRows; ++i) words += "w" + std::to_string(i) + "\n";
    RuleFolder folder({{"lists.tsv", std::string(kHeader) + "words.txt\t5\t\n"}, {"words.txt", words}});
    std::vector<Diagnostic> diagnostics;
    EXPECT_FALSE(CRuleCompiler().Build(folder.Path(), (folder / "out.res").string(), &diagnostics));
    EXPECT_EQ(Messages(diagnostics, Diagnostic::Severity::kError),
              (folder / "lists.tsv").string() +
                  ":1:1: the lists hold 99999 distinct entries, past the package's limit of 99999 phrases; 99995 "
                  "entries fit beside phrases.tsv\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "out.res"));
}

TEST(CWordLists, EntriesBecomePhrasesAtTheirPlaces) {
    // The base set's four phrases come first; an entry that cannot be
    // expressed is left out with the reason, and the rest builds.
    const std::string longEntry(300, 'a');
    RuleFolder folder({{"lists.tsv", std::string(kHeader) + "words.txt\t6\tsound\tcheat\n"},
                       {"words.txt", "私服\n外挂ⅻ\nxyzzy\n" + longEntry + "\n外 挂\n"}});
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics))
        << Messages(diagnostics, Diagnostic::Severity::kError);
    const std::string words = (folder / "words.txt").string();
    EXPECT_EQ(Messages(diagnostics, Diagnostic::Severity::kWarning),
              words + ":2:3: warning: 'ⅻ' (U+217B) is not in code page 936; the entry is left out\n" + words +
                  ":3:1: warning: unknown syllable 'xyzzy'; the entry is left out\n" + words +
                  ":4:1: warning: the entry is 300 characters long; a phrase holds at most 32 syllables; the entry "
                  "is left out\n");
    EXPECT_EQ(Messages(diagnostics, Diagnostic::Severity::kNote),
              (folder / "lists.tsv").string() +
                  ":1:1: note: the lists give 2 entries; 0 repeated lines folded, 3 entries left out\n");
    ASSERT_EQ(rules.phrases.size(), 6u);
    EXPECT_EQ(rules.phrases[4].text, "私服");
    EXPECT_EQ(rules.phrases[4].level, 6);
    EXPECT_EQ(rules.phrases[4].tags, "cheat");
    EXPECT_EQ(rules.phrases[5].pos.line, 5);

    // The package names each entry's list and line for --explain and --json.
    const packhold::Package package = CRuleCompiler::MakePackage(rules);
    const packhold::Table& phrases = package.tables[2];
    const int file = Column(phrases, "file");
    const int line = Column(phrases, "line");
    ASSERT_GE(file, 0);
    bool found = false;
    for (const std::vector<Cell>& row : phrases.rows)
        found = found || (row[static_cast<std::size_t>(file)] == Cell::Text("words.txt") &&
                          row[static_cast<std::size_t>(line)] == Cell::Int(5));
    EXPECT_TRUE(found);
}

TEST(CWordLists, ListsNeedNoPhraseOrCombinationTable) {
    RuleFolder folder({{"lists.tsv", std::string(kHeader) + "words.txt\t5\t\n"}, {"words.txt", "外挂\n"}});
    std::filesystem::remove(folder / "phrases.tsv");
    std::filesystem::remove(folder / "combos.tsv");
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics))
        << Messages(diagnostics, Diagnostic::Severity::kError);
    ASSERT_EQ(rules.phrases.size(), 1u);
    EXPECT_EQ(rules.phrases[0].match, MatchMode::kWritten);

    // Lists that give nothing leave the rule set without phrases.
    test::WriteFileText(folder / "words.txt", "\n  \n");
    diagnostics.clear();
    EXPECT_FALSE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics));
    EXPECT_EQ(Messages(diagnostics, Diagnostic::Severity::kError),
              (folder / "lists.tsv").string() + ":1:1: no phrase rules: the filter refuses a rule set without one\n");
}

}  // namespace
}  // namespace chatsieve::tools

namespace chatsieve::tools {
namespace {

TEST(CWordLists, DecompileGivesTheListsBack) {
    // Two lists in both modes, with a repeat that moves an entry to the list
    // of the higher level and merges its tags, and a gap of blank lines:
    // decompiling the package and building the result gives it again.
    RuleFolder folder({{"lists.tsv", std::string(kHeader) + "a.txt\t3\twritten\tspam\nb.txt\t7\tsound\tcheat\n"},
                       {"a.txt", "外挂\n\n\n私服\n"},
                       {"b.txt", "外挂\n微信\n"}});
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics));
    const packhold::Package package = CRuleCompiler::MakePackage(rules);
    AuthoringFiles files;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(CRuleDecompiler().Decompile(package, &files, &notes, &error)) << error;
    // 外挂's tag from a.txt comes back through a repeat that never wins.
    EXPECT_EQ(files.lists,
              "file\tlevel\tmatch\ttags\na.txt\t3\twritten\tspam\nb.txt\t7\tsound\tcheat\n"
              "more-tags-1.txt\t0\twritten\tspam\n");
    ASSERT_EQ(files.listFiles.size(), 3u);
    EXPECT_EQ(files.listFiles[0].second, "\n\n\n私服\n");
    EXPECT_EQ(files.listFiles[1].second, "外挂\n微信\n");
    EXPECT_EQ(files.listFiles[2].second, "外挂\n");

    test::ScopedTempDir unused;
    ASSERT_TRUE(CRuleDecompiler::WriteFolder("back", files, &error)) << error;
    RuleSetSource again;
    ASSERT_TRUE(CRuleCompiler().Read("back", &again, &diagnostics));
    EXPECT_TRUE(CRuleCompiler::MakePackage(again) == package);
}

TEST(CWordLists, DecompileWritesNoListOutsideTheFolder) {
    RuleFolder folder({{"lists.tsv", std::string(kHeader) + "a.txt\t3\tsound\n"}, {"a.txt", "私服\n"}});
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    ASSERT_TRUE(CRuleCompiler().Read(folder.Path(), &rules, &diagnostics));
    packhold::Package package = CRuleCompiler::MakePackage(rules);
    packhold::Table& phrases = package.tables[2];
    for (const char* name : {"../a.txt", "ignore.tsv"}) {
        for (std::vector<Cell>& row : phrases.rows)
            if (row[static_cast<std::size_t>(Column(phrases, "file"))] != Cell::Text("phrases.tsv"))
                row[static_cast<std::size_t>(Column(phrases, "file"))] = Cell::Text(name);
        AuthoringFiles files;
        std::vector<std::string> notes;
        std::string error;
        ASSERT_TRUE(CRuleDecompiler().Decompile(package, &files, &notes, &error)) << error;
        EXPECT_TRUE(files.listFiles.empty()) << name;
        ASSERT_FALSE(notes.empty());
        EXPECT_NE(notes[0].find("not a plain file name"), std::string::npos);
    }
}

}  // namespace
}  // namespace chatsieve::tools
