// CAuthoringTable: one table of the authoring format read from a file: UTF-8,
// tab-separated, a header line naming the columns, '#' comment lines and
// blank lines. Each field keeps its place (line, and column counted in
// characters from 1), spaces around a field are dropped, and a row may leave
// out trailing empty fields. Reading never stops at the first bad line when
// others can still be checked; every problem becomes a Diagnostic.
#ifndef CHATSIEVE_TOOLS_COMPILER_CAUTHORINGTABLE_H
#define CHATSIEVE_TOOLS_COMPILER_CAUTHORINGTABLE_H

#include <string>
#include <vector>

#include "compiler/RuleSource.h"

namespace chatsieve::tools {

struct AuthoringField {
    std::string text;
    SourcePos pos;
};

struct AuthoringRow {
    SourcePos pos;
    std::vector<AuthoringField> fields;  // exactly one per column
};

class CAuthoringTable {
public:
    // `file` is the name messages use; `columns` the header the table must
    // have, which may go on with the `optional` columns. Rows always have a
    // field for every column of both lists (empty where the header lacks it).
    CAuthoringTable(std::string file, std::vector<std::string> columns, std::vector<std::string> optional = {});

    // Reads the table from `contents`; false when a diagnostic of severity
    // error was added.
    bool Parse(const std::string& contents, std::vector<Diagnostic>* diagnostics);
    // Reads the file at `path`; a missing or unreadable file is an error.
    bool Load(const std::string& path, std::vector<Diagnostic>* diagnostics);

    const std::vector<AuthoringRow>& Rows() const { return m_rows; }
    const std::string& File() const { return m_file; }
    // The place of the header line (line 1, column 1 when there is none).
    const SourcePos& HeaderPos() const { return m_headerPos; }

private:
    void SplitLine(const std::string& line, int lineNumber, std::vector<AuthoringField>* fields) const;

    std::string m_file;
    std::vector<std::string> m_columns;
    std::vector<std::string> m_optional;
    std::vector<AuthoringRow> m_rows;
    SourcePos m_headerPos;
};

// The most bytes a rule table or word list may hold. A file is read no
// further, so a file that never ends cannot hold up a build or use up memory.
constexpr std::size_t kMaxRuleFileBytes = 64u << 20;

// How reading a rule file went; `kind` names what the path is when it is no
// file ("a folder", "a named pipe", ...).
struct RuleFileRead {
    enum class Result { kRead, kMissing, kNotAFile, kTooLarge, kUnreadable };
    Result result = Result::kRead;
    std::string kind;
};

// Reads the whole regular file at `path` into `*contents`, without ever
// waiting on what the path names: folders, named pipes, devices and sockets
// are refused unread, and a file past kMaxRuleFileBytes is refused.
RuleFileRead ReadRuleFile(const std::string& path, std::string* contents);
// "64 MiB (67108864 bytes)".
std::string MaxRuleFileSize();

// The line of `text` that starts at `*start`: sets `*end` to where its text
// ends and moves `*start` past its line end, a line feed, a carriage return
// and a line feed, or a carriage return alone (as old editors end lines).
// False when `*start` is at the end of the text.
bool NextLine(const std::string& text, std::size_t* start, std::size_t* end);

// The number of characters in the UTF-8 text (bytes that are not
// continuation bytes).
int CountCharacters(const std::string& utf8, std::size_t end = std::string::npos);

// "UTF-16" or "GBK" when the whole text is plainly in one of them and not in
// UTF-8, so that such a file draws one message instead of one per line;
// nullptr otherwise. GBK only when every byte of the text reads as code page
// 936 and most of its bytes above 0x7F are no UTF-8: a UTF-8 file with a
// bad sequence in it is UTF-8, and that sequence gets its own message.
const char* ForeignEncoding(const std::string& text);

// The tags of a field ("cheat, contact" -> "cheat,contact"): words as ids are
// written, separated by commas. False, with an error, for an empty or
// misspelt tag.
bool TidyTags(const AuthoringField& field, std::string* tags, std::vector<Diagnostic>* diagnostics);

// The characters before byte offsets of one text, asked in rising order:
// counts only the bytes since the last offset asked, so walking a long line
// costs its length once, not once per character.
class ColumnCounter {
public:
    explicit ColumnCounter(const std::string& utf8) : m_text(utf8) {}
    int Before(std::size_t end) {
        if (end > m_text.size()) end = m_text.size();
        if (end > m_at) s_bytesRead += end - m_at;
        for (; m_at < end; ++m_at)
            if ((static_cast<unsigned char>(m_text[m_at]) & 0xC0u) != 0x80u) ++m_count;
        return m_count;
    }
    // Bytes every counter so far has read: tests bound a compile's by the
    // length of what it reads.
    static unsigned long long BytesRead() { return s_bytesRead; }

private:
    static inline unsigned long long s_bytesRead = 0;
    const std::string& m_text;
    std::size_t m_at = 0;
    int m_count = 0;
};

}  // namespace chatsieve::tools

#endif
