#include "compiler/CAuthoringTable.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "compiler/CCodePage936.h"
#include "compiler/Utf8.h"
#include "platform/AsciiText.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

namespace {

Diagnostic Error(const SourcePos& pos, std::string message) {
    return Diagnostic{Diagnostic::Severity::kError, pos, std::move(message), {}};
}

std::string JoinColumns(const std::vector<std::string>& columns) {
    std::string text;
    for (const std::string& column : columns) text += (text.empty() ? "" : "<TAB>") + column;
    return text;
}

bool IsBlankOrComment(const std::string& line) {
    for (char c : line) {
        if (c == ' ' || c == '\t') continue;
        return c == '#';
    }
    return true;
}

}  // namespace

const char* ForeignEncoding(const std::string& text) {
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))
        return "UTF-16";
    if (text.find('\0') != std::string::npos && text.size() >= 2 && (text[0] == '\0' || text[1] == '\0'))
        return "UTF-16";
    // Bytes above 0x7F inside well-formed UTF-8 sequences, and outside them.
    std::size_t inUtf8 = 0, outside = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::uint32_t cp = 0;
        const std::size_t at = pos;
        if (DecodeUtf8(text, &pos, &cp)) {
            inUtf8 += pos - at - (cp < 0x80 ? 1 : 0);
        } else {
            ++outside;
            ++pos;
        }
    }
    if (outside == 0 || inUtf8 >= outside) return nullptr;
    const CCodePage936& codePage = CCodePage936::Instance();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) continue;
        if (i + 1 == text.size() || codePage.Decode(b, static_cast<unsigned char>(text[i + 1])) < 0) return nullptr;
        ++i;
    }
    return "GBK";
}

RuleFileRead ReadRuleFile(const std::string& path, std::string* contents) {
    contents->clear();
    FileKind kind = FileKind::kMissing;
    unsigned long long size = 0;
    std::FILE* file = OpenRegularFile(path, &kind, &size);
    if (!file) {
        switch (kind) {
            case FileKind::kMissing:
                return {RuleFileRead::Result::kMissing, ""};
            case FileKind::kRegular:
                return {RuleFileRead::Result::kUnreadable, ""};
            case FileKind::kFolder:
                return {RuleFileRead::Result::kNotAFile, "a folder"};
            case FileKind::kNamedPipe:
                return {RuleFileRead::Result::kNotAFile, "a named pipe"};
            case FileKind::kDevice:
                return {RuleFileRead::Result::kNotAFile, "a device"};
            case FileKind::kSocket:
                return {RuleFileRead::Result::kNotAFile, "a socket"};
            case FileKind::kOther:
                break;
        }
        return {RuleFileRead::Result::kNotAFile, "a special file"};
    }
    RuleFileRead read;
    if (size > kMaxRuleFileBytes) read.result = RuleFileRead::Result::kTooLarge;
    // The size is checked while reading too: a file may grow meanwhile.
    char buffer[1 << 16];
    while (read.result == RuleFileRead::Result::kRead) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        if (n == 0) break;
        if (contents->size() + n > kMaxRuleFileBytes)
            read.result = RuleFileRead::Result::kTooLarge;
        else
            contents->append(buffer, n);
    }
    if (read.result == RuleFileRead::Result::kRead && std::ferror(file))
        read.result = RuleFileRead::Result::kUnreadable;
    std::fclose(file);
    if (read.result != RuleFileRead::Result::kRead) contents->clear();
    return read;
}

std::string MaxRuleFileSize() {
    return std::to_string(kMaxRuleFileBytes >> 20) + " MiB (" + std::to_string(kMaxRuleFileBytes) + " bytes)";
}

bool NextLine(const std::string& text, std::size_t* start, std::size_t* end) {
    if (*start >= text.size()) return false;
    *end = std::min(text.find_first_of("\r\n", *start), text.size());
    *start = *end;
    if (*start < text.size()) *start += text.compare(*start, 2, "\r\n") == 0 ? 2 : 1;
    return true;
}

int CountCharacters(const std::string& utf8, std::size_t end) {
    if (end > utf8.size()) end = utf8.size();
    int count = 0;
    for (std::size_t i = 0; i < end; ++i)
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0u) != 0x80u) ++count;
    return count;
}

CAuthoringTable::CAuthoringTable(std::string file, std::vector<std::string> columns, std::vector<std::string> optional)
    : m_file(std::move(file)), m_columns(std::move(columns)), m_optional(std::move(optional)) {
    m_headerPos = SourcePos{m_file, 1, 1};
}

void CAuthoringTable::SplitLine(const std::string& line, int lineNumber, std::vector<AuthoringField>* fields) const {
    fields->clear();
    ColumnCounter columns(line);
    std::size_t start = 0;
    while (true) {
        std::size_t end = line.find('\t', start);
        if (end == std::string::npos) end = line.size();
        std::size_t first = start;
        std::size_t last = end;
        while (first < last && line[first] == ' ') ++first;
        while (last > first && line[last - 1] == ' ') --last;
        fields->push_back(
            AuthoringField{line.substr(first, last - first), SourcePos{m_file, lineNumber, columns.Before(first) + 1}});
        if (end == line.size()) break;
        start = end + 1;
    }
}

bool CAuthoringTable::Parse(const std::string& contents, std::vector<Diagnostic>* diagnostics) {
    m_rows.clear();
    bool ok = true;
    const char* foreign = ForeignEncoding(contents);
    if (foreign) {
        diagnostics->push_back(
            Error(SourcePos{m_file, 1, 1}, std::string("the file is ") + foreign + ", not UTF-8; save it as UTF-8"));
        return false;
    }
    bool haveHeader = false;
    // The columns the header names: the required ones, then perhaps the
    // optional ones.
    std::vector<std::string> named = m_columns;
    std::vector<std::string> all = m_columns;
    all.insert(all.end(), m_optional.begin(), m_optional.end());
    std::size_t start = 0;
    // A byte order mark is what some editors put before UTF-8 text.
    if (contents.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
    int lineNumber = 0;
    std::vector<AuthoringField> fields;
    // For each column of the header, its place among all the columns.
    std::vector<std::size_t> slots;
    for (std::size_t first = start, end = 0; NextLine(contents, &start, &end); first = start) {
        ++lineNumber;
        const std::string line = contents.substr(first, end - first);

        std::size_t pos = 0;
        bool valid = true;
        while (pos < line.size()) {
            std::uint32_t cp = 0;
            if (!DecodeUtf8(line, &pos, &cp)) {
                diagnostics->push_back(Error(SourcePos{m_file, lineNumber, CountCharacters(line, pos) + 1},
                                             "the file is not valid UTF-8 here"));
                valid = false;
                break;
            }
            if (cp < 0x20 && cp != '\t') {
                diagnostics->push_back(Error(SourcePos{m_file, lineNumber, CountCharacters(line, pos)},
                                             "control character " + FormatCodePoint(cp) + " in the text"));
                valid = false;
                break;
            }
        }
        if (!valid) {
            ok = false;
            continue;
        }
        if (IsBlankOrComment(line)) continue;

        SplitLine(line, lineNumber, &fields);
        if (!haveHeader) {
            haveHeader = true;
            m_headerPos = SourcePos{m_file, lineNumber, 1};
            const auto names = [&fields](const std::vector<std::string>& columns) {
                bool same = fields.size() == columns.size();
                for (std::size_t i = 0; same && i < fields.size(); ++i) same = fields[i].text == columns[i];
                return same;
            };
            // The required columns, then any of the optional ones in their order.
            bool known = fields.size() >= m_columns.size() && fields.size() <= all.size();
            for (std::size_t i = 0; known && i < m_columns.size(); ++i) known = fields[i].text == m_columns[i];
            slots.clear();
            for (std::size_t i = 0; i < m_columns.size(); ++i) slots.push_back(i);
            std::size_t next = m_columns.size();
            for (std::size_t i = m_columns.size(); known && i < fields.size(); ++i) {
                while (next < all.size() && all[next] != fields[i].text) ++next;
                known = next < all.size();
                slots.push_back(next++);
            }
            if (!known || (m_optional.empty() && !names(m_columns))) {
                // A header typed with spaces (or turned into spaces by an
                // editor) names the right columns, only not tab-separated.
                std::string joined;
                for (const AuthoringField& field : fields)
                    for (char c : field.text + " ")
                        if (c != ' ' || (!joined.empty() && joined.back() != ' ')) joined += c;
                if (!joined.empty()) joined.pop_back();
                std::string wanted = JoinColumns(m_columns), wantedAll = JoinColumns(all);
                for (std::string* text : {&wanted, &wantedAll})
                    for (std::size_t at; (at = text->find("<TAB>")) != std::string::npos;) text->replace(at, 5, " ");
                if (joined == wanted || joined == wantedAll) {
                    diagnostics->push_back(Error(m_headerPos, "the columns must be separated by tabs, not spaces"));
                    return false;
                }
                std::string expected = "the header must be '" + JoinColumns(m_columns) + "'";
                if (m_optional.size() == 1) expected += ", or '" + JoinColumns(all) + "'";
                if (m_optional.size() > 1) expected += ", then any of '" + JoinColumns(m_optional) + "' in that order";
                diagnostics->push_back(Error(m_headerPos, expected));
                return false;
            }
            named.clear();
            for (std::size_t i = 0; i < fields.size(); ++i) named.push_back(fields[i].text);
            continue;
        }
        // Editors that turn tabs into spaces leave the whole row in its first
        // field; say so once instead of letting every column complain.
        const std::size_t spaces = line.find("  ");
        if (named.size() > 1 && line.find('\t') == std::string::npos && spaces != std::string::npos &&
            line.find_first_not_of(' ', spaces) != std::string::npos) {
            diagnostics->push_back(Error(SourcePos{m_file, lineNumber, CountCharacters(line, spaces) + 1},
                                         "fields are separated by tabs, not runs of spaces"));
            ok = false;
            continue;
        }
        if (fields.size() > named.size()) {
            diagnostics->push_back(Error(fields[named.size()].pos, "too many fields: the table has " +
                                                                       std::to_string(named.size()) + " columns (" +
                                                                       JoinColumns(named) + ")"));
            ok = false;
            continue;
        }
        const SourcePos endPos{m_file, lineNumber, CountCharacters(line) + 1};
        std::vector<AuthoringField> placed(all.size(), AuthoringField{std::string(), endPos});
        for (std::size_t i = 0; i < fields.size(); ++i) placed[slots[i]] = fields[i];
        m_rows.push_back(AuthoringRow{SourcePos{m_file, lineNumber, 1}, placed});
    }
    if (!haveHeader) {
        diagnostics->push_back(
            Error(SourcePos{m_file, 1, 1}, "the header line '" + JoinColumns(m_columns) + "' is missing"));
        return false;
    }
    return ok;
}

bool CAuthoringTable::Load(const std::string& path, std::vector<Diagnostic>* diagnostics) {
    std::string contents;
    const RuleFileRead read = ReadRuleFile(path, &contents);
    const SourcePos start{m_file, 1, 1};
    switch (read.result) {
        case RuleFileRead::Result::kRead:
            return Parse(contents, diagnostics);
        case RuleFileRead::Result::kMissing:
            diagnostics->push_back(Error(start, "cannot open the file"));
            break;
        case RuleFileRead::Result::kNotAFile:
            diagnostics->push_back(Error(start, "is " + read.kind + ", not a rule table file"));
            break;
        case RuleFileRead::Result::kTooLarge:
            diagnostics->push_back(
                Error(start, "holds more than " + MaxRuleFileSize() + ", the most a rule table may hold"));
            break;
        case RuleFileRead::Result::kUnreadable:
            diagnostics->push_back(Error(start, "cannot read the file"));
            break;
    }
    return false;
}

bool TidyTags(const AuthoringField& field, std::string* tags, std::vector<Diagnostic>* diagnostics) {
    const std::string& text = field.text;
    tags->clear();
    if (text.empty()) return true;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        std::size_t first = start, last = comma;
        while (first < last && text[first] == ' ') ++first;
        while (last > first && text[last - 1] == ' ') --last;
        SourcePos pos = field.pos;
        pos.column += CountCharacters(text, first);
        const std::string tag = text.substr(first, last - first);
        bool ok = !tag.empty() && IsAsciiLetter(tag[0]);
        for (char c : tag) ok = ok && (IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_' || c == '.');
        if (tag.empty()) {
            diagnostics->push_back(Error(pos, "an empty tag: separate tags with single commas"));
            tags->clear();
            return false;
        }
        if (!ok) {
            diagnostics->push_back(Error(
                pos, "the tag '" + tag + "' must start with a letter and hold only letters, digits, '-', '_' and '.'"));
            tags->clear();
            return false;
        }
        *tags += (tags->empty() ? "" : ",") + tag;
        start = comma + 1;
    }
    return true;
}

}  // namespace chatsieve::tools
