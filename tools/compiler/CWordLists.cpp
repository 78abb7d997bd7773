#include "compiler/CWordLists.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "compiler/CAuthoringTable.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/Utf8.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

namespace {

// Bad lines of one list reported before the rest of it is passed over: a
// binary file would otherwise give one message a line.
constexpr int kMaxBadLinesShown = 10;

Diagnostic Error(const SourcePos& pos, std::string message) {
    return Diagnostic{Diagnostic::Severity::kError, pos, std::move(message), {}};
}

// Tags of both, each once: `kept` as it is when `more` adds nothing, else
// in sorted order, so that the same tags merged in any order are one text.
std::string MergeTags(const std::string& kept, const std::string& more) {
    std::set<std::string> tags;
    for (const std::string* text : {&kept, &more}) {
        for (std::size_t start = 0; !text->empty() && start <= text->size();) {
            const std::size_t comma = std::min(text->find(',', start), text->size());
            tags.insert(text->substr(start, comma - start));
            start = comma + 1;
        }
    }
    std::string merged;
    for (const std::string& tag : tags) merged += (merged.empty() ? "" : ",") + tag;
    const std::size_t keptCount =
        kept.empty() ? 0 : static_cast<std::size_t>(std::count(kept.begin(), kept.end(), ',')) + 1;
    return tags.size() == keptCount ? kept : merged;
}

// Whether the resolved path `file` lies inside the resolved folder `folder`.
bool IsWithin(const std::string& folder, const std::string& file) {
    if (folder.empty() || file.size() <= folder.size() || file.compare(0, folder.size(), folder) != 0) return false;
    const char last = folder.back(), next = file[folder.size()];
    return last == '/' || last == '\\' || next == '/' || next == '\\';
}

}  // namespace

std::string ListEntryKey(const std::string& text) { return LowerAscii(text); }

bool CWordLists::Read(const std::string& folder, std::size_t room, std::vector<Diagnostic>* diagnostics) {
    *this = CWordLists();
    std::error_code ec;
    if (!std::filesystem::exists(JoinPath(folder, kListsFile), ec)) return true;
    m_present = true;
    if (!ReadTable(folder, diagnostics)) return false;
    bool ok = true;
    for (std::size_t f = 0; f < m_files.size(); ++f) ok = ReadList(folder, static_cast<int>(f), diagnostics) && ok;
    if (!ok) return false;
    // The kept places are where the highest levels were written; put the
    // entries back in the order the lists give them.
    std::stable_sort(m_entries.begin(), m_entries.end(), [](const WordListEntry& a, const WordListEntry& b) {
        return a.file != b.file ? a.file < b.file : a.pos.line < b.pos.line;
    });
    if (m_entries.size() > room) {
        diagnostics->push_back(Error(m_tablePos, "the lists hold " + std::to_string(m_entries.size()) +
                                                     " distinct entries, past the package's limit of " +
                                                     std::to_string(kMaxReferencedRows) + " phrases; " +
                                                     std::to_string(room) + " entries fit beside phrases.tsv"));
        return false;
    }
    return true;
}

bool CWordLists::ReadTable(const std::string& folder, std::vector<Diagnostic>* diagnostics) {
    CAuthoringTable table(JoinPath(folder, kListsFile), {"file", "level", "match"}, {"tags", "english"});
    if (!table.Load(JoinPath(folder, kListsFile), diagnostics)) return false;
    m_tablePos = table.HeaderPos();
    bool ok = true;
    std::set<std::string> named;
    for (const AuthoringRow& row : table.Rows()) {
        WordListFile file;
        file.pos = row.pos;
        const AuthoringField& name = row.fields[0];
        const AuthoringField& level = row.fields[1];
        const AuthoringField& match = row.fields[2];
        bool rowOk = true;
        file.name = name.text;
        // A list lives beside lists.tsv, so that the name the package keeps
        // (without the folder) leads back to it.
        if (name.text.empty() || name.text == "." || name.text == ".." ||
            name.text.find_first_of("/\\") != std::string::npos) {
            diagnostics->push_back(Error(name.pos, name.text.empty() ? "a row needs the name of its list file"
                                                                     : "'" + name.text +
                                                                           "' is not a file name: a list lives "
                                                                           "beside lists.tsv"));
            rowOk = false;
        } else if (!named.insert(ListEntryKey(name.text)).second) {
            diagnostics->push_back(Error(name.pos, "the list '" + name.text + "' is already named above"));
            rowOk = false;
        }
        bool digits = !level.text.empty() && level.text.size() <= 2;
        for (char c : level.text) digits = digits && c >= '0' && c <= '9';
        file.level = digits ? std::stoi(level.text) : -1;
        if (file.level < 0 || file.level > kMaxUsualLevel) {
            diagnostics->push_back(Error(
                level.pos, level.text.empty() ? "a list needs its level, 0 to 63"
                                              : "the level '" + level.text + "' is not a whole number from 0 to 63"));
            rowOk = false;
        }
        if (match.text == "sound") {
            file.match = MatchMode::kSound;
        } else if (!match.text.empty() && match.text != "written") {
            diagnostics->push_back(
                Error(match.pos, "unknown matching mode '" + match.text + "': use sound or written"));
            rowOk = false;
        }
        rowOk = TidyTags(row.fields[3], &file.tags, diagnostics) && rowOk;
        const AuthoringField& english = row.fields[4];
        if (english.text == "catch") {
            file.catchesEnglish = true;
        } else if (!english.text.empty() && english.text != "pass") {
            diagnostics->push_back(Error(english.pos, "unknown value '" + english.text +
                                                          "' for english: use pass (let English words through) "
                                                          "or catch"));
            rowOk = false;
        }
        if (rowOk) m_files.push_back(file);
        ok = ok && rowOk;
    }
    return ok;
}

bool CWordLists::ReadList(const std::string& folder, int file, std::vector<Diagnostic>* diagnostics) {
    const WordListFile& list = m_files[static_cast<std::size_t>(file)];
    const std::string path = JoinPath(folder, list.name);
    const SourcePos named{path, 1, 1};
    const auto refuse = [&](const std::string& message) {
        diagnostics->push_back(Error(list.pos, message));
        return false;
    };
    // A link may lead anywhere; what it leads to must lie in the rule folder,
    // as a list named with ../ must.
    const std::string resolved = ResolvedPath(path);
    if (resolved.empty()) return refuse("there is no list " + list.name + " beside lists.tsv");
    if (!IsWithin(ResolvedPath(folder.empty() ? "." : folder), resolved))
        return refuse("the list " + list.name + " is a link that leads outside the rule folder: a list lives beside " +
                      kListsFile);
    std::string text;
    const RuleFileRead read = ReadRuleFile(path, &text);
    switch (read.result) {
        case RuleFileRead::Result::kRead:
            break;
        case RuleFileRead::Result::kMissing:
            return refuse("there is no list " + list.name + " beside lists.tsv");
        case RuleFileRead::Result::kNotAFile:
            return refuse("the list " + list.name + " is " + read.kind + ", not a file");
        case RuleFileRead::Result::kTooLarge:
            return refuse("the list " + list.name + " holds more than " + MaxRuleFileSize() +
                          ", the most a list may hold");
        case RuleFileRead::Result::kUnreadable:
            return refuse("cannot read the list " + list.name);
    }
    if (const char* foreign = ForeignEncoding(text)) {
        diagnostics->push_back(Error(named, std::string("the list is ") + foreign + ", not UTF-8; save it as UTF-8"));
        return false;
    }
    std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int bad = 0;
    std::size_t first = start, last = 0;
    for (int line = 1; bad < kMaxBadLinesShown && NextLine(text, &start, &last); ++line, first = start) {
        std::size_t pos = first;
        bool valid = true;
        while (valid && pos < last) {
            std::uint32_t cp = 0;
            const std::size_t at = pos;
            if (!DecodeUtf8(text, &pos, &cp) || pos > last) {
                diagnostics->push_back(Error(SourcePos{path, line, CountCharacters(text.substr(first, at - first)) + 1},
                                             "the list is not valid UTF-8 here"));
                valid = false;
            } else if (cp == 0) {
                diagnostics->push_back(Error(SourcePos{path, line, CountCharacters(text.substr(first, at - first)) + 1},
                                             "a NUL byte: a list is text, one entry a line"));
                valid = false;
            }
        }
        if (!valid) {
            ++bad;
            continue;
        }
        std::size_t entry = first, end = last;
        while (entry < end && (text[entry] == ' ' || text[entry] == '\t')) ++entry;
        while (end > entry && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
        if (entry == end) continue;
        const int column = CountCharacters(text.substr(first, entry - first)) + 1;
        AddEntry(text.substr(entry, end - entry), SourcePos{path, line, column}, file);
    }
    return bad == 0;
}

void CWordLists::AddEntry(const std::string& text, const SourcePos& pos, int file) {
    const WordListFile& list = m_files[static_cast<std::size_t>(file)];
    const auto found = m_keys.find(ListEntryKey(text));
    if (found == m_keys.end()) {
        m_keys.emplace(ListEntryKey(text), m_entries.size());
        m_entries.push_back(WordListEntry{text, pos, list.level, list.match, list.tags, file});
        return;
    }
    ++m_folded;
    WordListEntry& kept = m_entries[found->second];
    kept.tags = MergeTags(kept.tags, list.tags);
    if (list.level > kept.level) {
        const std::string tags = kept.tags;
        kept = WordListEntry{text, pos, list.level, list.match, tags, file};
    }
}

}  // namespace chatsieve::tools
