// CWordLists: the word lists of a rule folder. lists.tsv (columns file,
// level, match and the optional tags and english) names list files beside it; a list file
// holds one expression a line, as moderation teams publish them: UTF-8 with
// or without a byte order mark, LF, CR LF or lone CR line ends, blank lines
// skipped and spaces around an entry dropped. A list may be a link to a file
// in the rule folder.
//
// Entries that repeat, within a file or across files, fold into one: the
// highest level wins (the first line written at that level is the entry's
// place), and the tags of every repeat are merged (in sorted order once a
// repeat adds one). Letters fold in any case,
// as the filter matches them. An empty match column means `written`, which
// catches a list's words as written without their homophones.
//
// Errors (the lists are then not used at all): a list.tsv row that names no
// plain file beside it, a file named twice, a level outside 0..63, an unknown
// mode, a list that is no regular file (a folder, a named pipe, a device), a
// link leading outside the rule folder, past kMaxRuleFileBytes, unreadable,
// in UTF-16 or GBK, or holding NUL bytes or invalid UTF-8, and more entries
// than a package can refer to.
#ifndef CHATSIEVE_TOOLS_COMPILER_CWORDLISTS_H
#define CHATSIEVE_TOOLS_COMPILER_CWORDLISTS_H

#include <string>
#include <unordered_map>
#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

constexpr const char* kListsFile = "lists.tsv";

// One list file as lists.tsv names it.
struct WordListFile {
    SourcePos pos;     // its row of lists.tsv
    std::string name;  // as written, a file beside lists.tsv
    int level = 0;
    MatchMode match = MatchMode::kWritten;
    std::string tags;  // tidied, as RuleSource::tags
    // The optional english column: `catch` keeps English words that spell an
    // entry's pinyin caught; empty or `pass` lets them through (EnglishWords.h).
    bool catchesEnglish = false;
};

// One distinct entry, at the place it keeps.
struct WordListEntry {
    std::string text;  // UTF-8, spaces around it dropped
    SourcePos pos;     // list file, line, column of its first character
    int level = 0;
    MatchMode match = MatchMode::kWritten;
    std::string tags;
    int file = 0;  // index into Files()
};

class CWordLists {
public:
    // Reads `folder`/lists.tsv and every list it names. A folder without
    // lists.tsv has no lists: true, and nothing is read. `room` is how many
    // phrases the package can still refer to. False when an error was added.
    bool Read(const std::string& folder, std::size_t room, std::vector<Diagnostic>* diagnostics);

    bool Present() const { return m_present; }
    const SourcePos& TablePos() const { return m_tablePos; }
    const std::vector<WordListFile>& Files() const { return m_files; }
    // Distinct entries, in lists.tsv's order of files and then by line.
    const std::vector<WordListEntry>& Entries() const { return m_entries; }
    // Lines that repeated an entry already read.
    std::size_t Folded() const { return m_folded; }

private:
    bool ReadTable(const std::string& folder, std::vector<Diagnostic>* diagnostics);
    bool ReadList(const std::string& folder, int file, std::vector<Diagnostic>* diagnostics);
    void AddEntry(const std::string& text, const SourcePos& pos, int file);

    bool m_present = false;
    SourcePos m_tablePos;
    std::vector<WordListFile> m_files;
    std::vector<WordListEntry> m_entries;
    std::size_t m_folded = 0;
    // ListEntryKey -> index into m_entries.
    std::unordered_map<std::string, std::size_t> m_keys;
};

// The key entries fold by: ASCII letters in lower case.
std::string ListEntryKey(const std::string& text);

}  // namespace chatsieve::tools

#endif
