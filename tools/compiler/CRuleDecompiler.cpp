#include "compiler/CRuleDecompiler.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "compiler/AllowTable.h"
#include "compiler/CCodePage936.h"
#include "compiler/CWordLists.h"
#include "compiler/RuleSource.h"
#include "format/RulePackage.h"

namespace chatsieve::tools {

namespace {

using packhold::Cell;
using packhold::CellType;

constexpr const char* kBanner = "# Decompiled by chatsieve decompile; see docs/rules.md for the format.\n";

// The index of column `name` of type `type`, or -1.
int FindColumn(const packhold::Table& table, const char* name, CellType type) {
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].name == name && table.columns[i].type == type) return static_cast<int>(i);
    return -1;
}

const Cell& CellOf(const std::vector<Cell>& row, int column) {
    static const Cell kNone;
    return column < 0 ? kNone : row[static_cast<std::size_t>(column)];
}

std::string Hex2(int value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string Range(int low, int high, int digits) {
    const auto one = [digits](int v) { return digits == 2 ? Hex2(v) : Hex2(v >> 8) + Hex2(v); };
    return low == high ? one(low) : one(low) + "-" + one(high);
}

std::string Where(int table, std::size_t row) {
    static const char* const kNames[] = {kIgnoreFile, kSyllablesFile, kPhrasesFile, kCombosFile};
    return std::string(kNames[table]) + " row " + std::to_string(row + 1);
}

}  // namespace

std::string CRuleDecompiler::Text(const std::string& cp936, const std::string& where) {
    std::string utf8;
    TextError error;
    if (!CCodePage936::Instance().ToUtf8(cp936, &utf8, &error)) {
        m_notes->push_back(where + ": a text that is not code page 936 was written with U+FFFD");
        utf8 = CCodePage936::Instance().ToUtf8Lenient(cp936);
    }
    for (char& c : utf8) {
        if (c == '\t' || c == '\n' || c == '\r') {
            m_notes->push_back(where + ": a tab or line break in a text was written as a space");
            c = ' ';
        }
    }
    return utf8;
}

bool CRuleDecompiler::Decompile(const packhold::Package& package, AuthoringFiles* files,
                                std::vector<std::string>* notes, std::string* error) {
    m_notes = notes;
    *files = AuthoringFiles();
    if (!package.hasTableSet || package.tables.size() < kRequiredTables) {
        *error = "the package does not hold the four rule tables";
        return false;
    }
    const packhold::Table& ignore = package.tables[kIgnoreTable];
    const packhold::Table& syllables = package.tables[kSyllableTable];
    const packhold::Table& phrases = package.tables[kPhraseTable];
    const packhold::Table& combos = package.tables[kComboTable];
    const int codeColumn = FindColumn(ignore, kCodeColumn, CellType::kIntArray);
    const int logColumn = FindColumn(ignore, kLogColumn, CellType::kInt);
    const int pinyinColumn = FindColumn(syllables, kPinyinColumn, CellType::kText);
    const int bytesColumn = FindColumn(syllables, kCodeColumn, CellType::kBytes);
    const int splitColumn = FindColumn(syllables, kSplitColumn, CellType::kText);
    // Rows the compiler added for variants and full-width pinyin: it makes
    // them again from the rules, so they are not written back.
    const int addedColumn = FindColumn(syllables, kVariantColumn, CellType::kInt);
    if (codeColumn < 0 || logColumn < 0 || pinyinColumn < 0 || bytesColumn < 0) {
        *error = "the package's first two tables lack the columns the filter reads";
        return false;
    }

    // Ignore-sets: the log switch is the last row's, as the filter reads it.
    std::string text = kBanner;
    text += "kind\tvalue\n";
    int log = 0;
    for (std::size_t r = 0; r < ignore.rows.size(); ++r) {
        const Cell& logCell = CellOf(ignore.rows[r], logColumn);
        if (logCell.IsPresent() && r + 1 < ignore.rows.size() &&
            (logCell.IntValue() != 0) != (CellOf(ignore.rows.back(), logColumn).IntValue() != 0))
            notes->push_back(Where(kIgnoreTable, r) +
                             ": its log switch differs from the last row's, which is the one kept");
        log = logCell.IntValue();
    }
    if (log != 0 && log != 1)
        notes->push_back("ignore.tsv: the log switch " + std::to_string(log) + " is written as 'on'");
    text += log ? "log\ton\n" : "log\toff\n";
    for (std::size_t r = 0; r < ignore.rows.size(); ++r) {
        const std::vector<std::int32_t>& values = CellOf(ignore.rows[r], codeColumn).IntArrayValue();
        std::size_t separator = 0;
        while (separator < values.size() && values[separator] != -1) ++separator;
        if (separator == values.size() || separator % 2 != 0 || (values.size() - separator - 1) % 3 != 0) {
            *error = Where(kIgnoreTable, r) + ": the filter would refuse this ignore-set";
            return false;
        }
        if (ignore.rows.size() > 1) text += "set\t\n";
        for (std::int32_t v : values)
            if (v != -1 && (v < 0 || v > 255)) {
                notes->push_back(Where(kIgnoreTable, r) + ": the value " + std::to_string(v) +
                                 " is written as its low byte");
                break;
            }
        for (std::size_t i = 0; i < separator; i += 2)
            text += "single\t" + Range(values[i] & 0xFF, values[i + 1] & 0xFF, 2) + "\n";
        for (std::size_t i = separator + 1; i < values.size(); i += 3) {
            const int lead = (values[i] & 0xFF) << 8;
            text += "double\t" + Range(lead | (values[i + 1] & 0xFF), lead | (values[i + 2] & 0xFF), 4) + "\n";
        }
    }
    files->ignore = text;

    text = kBanner;
    text += "pinyin\tranges\tsplit\n";
    std::vector<std::string> names;
    for (std::size_t r = 0; r < syllables.rows.size(); ++r) {
        const std::vector<Cell>& row = syllables.rows[r];
        const std::vector<unsigned char>& codes = CellOf(row, bytesColumn).BytesValue();
        if (!CellOf(row, pinyinColumn).IsPresent() || codes.size() < 3 ||
            codes.size() > static_cast<std::size_t>(kMaxSyllableCodeBytes)) {
            *error = Where(kSyllableTable, r) + ": the filter would refuse this syllable";
            return false;
        }
        if (codes.size() % 3 != 0)
            notes->push_back(Where(kSyllableTable, r) + ": code bytes after the last whole range are dropped");
        names.push_back(Text(CellOf(row, pinyinColumn).TextValue(), Where(kSyllableTable, r)));
        if (CellOf(row, addedColumn).IsPresent()) continue;
        text += names.back() + "\t";
        for (std::size_t i = 0; i + 3 <= codes.size(); i += 3)
            text += (i ? " " : "") + Range(codes[i] << 8 | codes[i + 1], codes[i] << 8 | codes[i + 2], 4);
        const Cell& split = CellOf(row, splitColumn);
        if (split.IsPresent() && split.TextValue().empty())
            notes->push_back(Where(kSyllableTable, r) + ": an empty split form is dropped");
        text += "\t" + (split.IsPresent() ? Text(split.TextValue(), Where(kSyllableTable, r)) : std::string()) + "\n";
    }
    files->syllables = text;

    // Rules. Combination parts name phrases by id, so a phrase that a
    // combination uses and that has none is given one first.
    const int levelColumns[2] = {FindColumn(phrases, kLevelColumn, CellType::kInt),
                                 FindColumn(combos, kLevelColumn, CellType::kInt)};
    const int refColumns[2] = {FindColumn(phrases, kRefsColumn, CellType::kIntArray),
                               FindColumn(combos, kRefsColumn, CellType::kIntArray)};
    const int idColumns[2] = {FindColumn(phrases, kIdColumn, CellType::kText),
                              FindColumn(combos, kIdColumn, CellType::kText)};
    const int textColumns[2] = {FindColumn(phrases, kTextColumn, CellType::kText),
                                FindColumn(combos, kTextColumn, CellType::kText)};
    const int repeatColumns[2] = {FindColumn(phrases, kVariantColumn, CellType::kInt),
                                  FindColumn(combos, kVariantColumn, CellType::kInt)};
    std::vector<bool> repeats[2];
    for (int t = 0; t < 2; ++t)
        for (const std::vector<Cell>& row : (t == 0 ? phrases : combos).rows)
            repeats[t].push_back(CellOf(row, repeatColumns[t]).IsPresent());
    // A phrase the compiler made of a word written as a combination part
    // says it was written in combos.tsv; the word goes back with the
    // combination's parts, as written, and the phrase stays out of
    // phrases.tsv.
    const int fileColumn = FindColumn(phrases, kFileColumn, CellType::kText);
    const int combosTextColumn = FindColumn(combos, kTextColumn, CellType::kText);
    std::vector<bool> madeOfWord;
    for (const std::vector<Cell>& row : phrases.rows)
        madeOfWord.push_back(combosTextColumn >= 0 && CellOf(row, fileColumn).IsPresent() &&
                             CellOf(row, fileColumn).TextValue() == kCombosFile);
    if (levelColumns[0] < 0 || levelColumns[1] < 0 || refColumns[0] < 0 || refColumns[1] < 0) {
        *error = "the package's rule tables lack the columns the filter reads";
        return false;
    }
    std::vector<std::string> phraseIds;
    for (std::size_t r = 0; r < phrases.rows.size(); ++r)
        phraseIds.push_back(Text(CellOf(phrases.rows[r], idColumns[0]).TextValue(), Where(kPhraseTable, r)));
    for (int t = 0; t < 2; ++t) {
        const packhold::Table& table = t == 0 ? phrases : combos;
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const std::vector<Cell>& row = table.rows[r];
            const std::vector<std::int32_t>& refs = CellOf(row, refColumns[t]).IntArrayValue();
            if (!CellOf(row, levelColumns[t]).IsPresent() || CellOf(row, levelColumns[t]).IntValue() < 0 ||
                refs.empty() || refs.size() > static_cast<std::size_t>(t == 0 ? kMaxPhraseRefs : kMaxComboRefs)) {
                *error = Where(kPhraseTable + t, r) + ": the filter would refuse this rule";
                return false;
            }
            for (std::int32_t ref : refs) {
                const RefEntry named = DecodeRuleRef(ref);
                const int kind = named.kind;
                const int index = named.index;
                const std::size_t count = kind == kSyllableKind ? syllables.rows.size() : phrases.rows.size();
                if ((kind != kSyllableKind && (t == 0 || kind != kPhraseKind)) || index < 0 ||
                    static_cast<std::size_t>(index) >= count) {
                    *error = Where(kPhraseTable + t, r) + ": the reference " + std::to_string(ref) + " names nothing";
                    return false;
                }
                if (kind == kPhraseKind && phraseIds[static_cast<std::size_t>(index)].empty() &&
                    !madeOfWord[static_cast<std::size_t>(index)]) {
                    std::string id = "phrase" + std::to_string(index + 1);
                    for (int n = 2; std::find(phraseIds.begin(), phraseIds.end(), id) != phraseIds.end(); ++n)
                        id = "phrase" + std::to_string(index + 1) + "-" + std::to_string(n);
                    phraseIds[static_cast<std::size_t>(index)] = id;
                    notes->push_back(Where(kPhraseTable, static_cast<std::size_t>(index)) + ": given the id '" + id +
                                     "' so that a combination can name it");
                }
            }
        }
    }
    for (int t = 0; t < 2; ++t) {
        const packhold::Table& table = t == 0 ? phrases : combos;
        const int lineColumn = FindColumn(table, kLineColumn, CellType::kInt);
        const int tagsColumn = FindColumn(table, kTagsColumn, CellType::kText);
        bool tagged = false;
        for (const std::vector<Cell>& row : table.rows) tagged = tagged || CellOf(row, tagsColumn).IsPresent();
        // Each rule goes back on the line it was written on, so that the
        // places the package names are places in the folder, and building it
        // gives the same lines again; the banner gives way to a rule on line 2.
        // Word-list entries go back into their lists, below; phrases made of
        // a combination's words, with the combination.
        const auto listed = [&](const std::vector<Cell>& row) {
            if (t != 0) return false;
            const Cell& file = CellOf(row, fileColumn);
            return file.IsPresent() && file.TextValue() != kPhrasesFile && file.TextValue() != kCombosFile;
        };
        std::size_t first = 0;
        while (first < table.rows.size() && (listed(table.rows[first]) || (t == 0 && madeOfWord[first]))) ++first;
        const int firstLine = first == table.rows.size() ? 0 : CellOf(table.rows[first], lineColumn).IntValue();
        text = firstLine == 2 ? "" : kBanner;
        text += t == 0 ? "id\tlevel\tphrase" : "id\tlevel\tparts";
        // Packages with written-mode rules say each phrase's mode.
        const int matchColumn = t == 0 ? FindColumn(table, kMatchColumn, CellType::kText) : -1;
        text += tagged ? "\ttags" : "";
        text += matchColumn >= 0 ? "\tmatch\n" : "\n";
        int nextLine = firstLine == 2 ? 2 : 3;
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            // A rule's variant rows stand on its own line.
            if (repeats[t][r] || (t == 0 && madeOfWord[r]) || listed(table.rows[r])) continue;
            const int line = CellOf(table.rows[r], lineColumn).IntValue();
            if (line > nextLine && line - nextLine <= kMaxLineGap) {
                text.append(static_cast<std::size_t>(line - nextLine), '\n');
                nextLine = line;
            }
            ++nextLine;
            const std::vector<Cell>& row = table.rows[r];
            std::string words;
            const Cell& written = CellOf(row, textColumns[t]);
            if (written.IsPresent()) {
                words = Text(written.TextValue(), Where(kPhraseTable + t, r));
            } else {
                for (std::int32_t ref : CellOf(row, refColumns[t]).IntArrayValue()) {
                    const RefEntry named = DecodeRuleRef(ref);
                    const std::size_t index = static_cast<std::size_t>(named.index);
                    words +=
                        (words.empty() ? "" : " ") + (named.kind == kSyllableKind ? names[index] : phraseIds[index]);
                }
            }
            const std::string id =
                t == 0 ? phraseIds[r] : Text(CellOf(row, idColumns[1]).TextValue(), Where(kComboTable, r));
            text += id + "\t" + std::to_string(CellOf(row, levelColumns[t]).IntValue()) + "\t" + words;
            const Cell& tags = CellOf(row, tagsColumn);
            const Cell& match = CellOf(row, matchColumn);
            if (tags.IsPresent()) text += "\t" + Text(tags.TextValue(), Where(kPhraseTable + t, r));
            if (match.IsPresent()) text += (tagged && !tags.IsPresent() ? "\t\t" : "\t") + match.TextValue();
            text += "\n";
        }
        (t == 0 ? files->phrases : files->combos) = text;
    }
    DecompileLists(phrases, repeats[0], files);
    std::vector<std::string> comboIds;
    for (std::size_t r = 0; r < combos.rows.size(); ++r)
        comboIds.push_back(Text(CellOf(combos.rows[r], idColumns[1]).TextValue(), Where(kComboTable, r)));
    return DecompileAllowTable(package, phraseIds, comboIds, repeats, &files->allow, notes, error);
}

void CRuleDecompiler::DecompileLists(const packhold::Table& phrases, const std::vector<bool>& repeats,
                                     AuthoringFiles* files) {
    const int fileColumn = FindColumn(phrases, kFileColumn, CellType::kText);
    const int lineColumn = FindColumn(phrases, kLineColumn, CellType::kInt);
    const int levelColumn = FindColumn(phrases, kLevelColumn, CellType::kInt);
    const int textColumn = FindColumn(phrases, kTextColumn, CellType::kText);
    const int tagsColumn = FindColumn(phrases, kTagsColumn, CellType::kText);
    const int matchColumn = FindColumn(phrases, kMatchColumn, CellType::kText);
    const int englishColumn = FindColumn(phrases, kEnglishColumn, CellType::kText);
    struct Entry {
        std::vector<std::string> tags;
        int line = 0;
        std::string text;
    };
    struct List {
        std::string name;
        int level = 0;
        std::string match;
        std::vector<Entry> entries;
        bool catchesEnglish = false;
    };
    std::vector<List> lists;
    const auto splitTags = [](const std::string& text) {
        std::vector<std::string> tags;
        for (std::size_t start = 0; !text.empty() && start <= text.size();) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            tags.push_back(text.substr(start, comma - start));
            start = comma + 1;
        }
        return tags;
    };
    const auto joinTags = [](const std::vector<std::string>& tags) {
        std::string text;
        for (const std::string& tag : tags) text += (text.empty() ? "" : ",") + tag;
        return text;
    };
    for (std::size_t r = 0; r < phrases.rows.size(); ++r) {
        const std::vector<Cell>& row = phrases.rows[r];
        const Cell& file = CellOf(row, fileColumn);
        // Phrases made of a combination's words go back with the combination.
        if (repeats[r] || !file.IsPresent() || file.TextValue() == kPhrasesFile || file.TextValue() == kCombosFile)
            continue;
        const std::string name = Text(file.TextValue(), Where(kPhraseTable, r));
        // The name becomes a file in the folder: nothing but a plain name
        // beside the tables may be written.
        const bool table = name == kIgnoreFile || name == kSyllablesFile || name == kCombosFile || name == kAllowFile ||
                           name == kListsFile;
        if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos || table) {
            m_notes->push_back(Where(kPhraseTable, r) + ": the list name '" + name +
                               "' is not a plain file name; the entry is dropped");
            continue;
        }
        const int level = CellOf(row, levelColumn).IntValue();
        const std::string match = CellOf(row, matchColumn).IsPresent() ? "written" : "sound";
        auto list = std::find_if(lists.begin(), lists.end(), [&](const List& l) { return l.name == name; });
        if (list == lists.end()) {
            lists.push_back(List{name, level, match, {}});
            list = lists.end() - 1;
        }
        list->catchesEnglish = list->catchesEnglish || CellOf(row, englishColumn).IsPresent();
        if (list->level != level || list->match != match)
            m_notes->push_back(Where(kPhraseTable, r) + ": an entry of " + name +
                               " with another level or mode than the list's is written with the list's");
        list->entries.push_back(Entry{splitTags(Text(CellOf(row, tagsColumn).TextValue(), Where(kPhraseTable, r))),
                                      CellOf(row, lineColumn).IntValue(),
                                      Text(CellOf(row, textColumn).TextValue(), Where(kPhraseTable, r))});
    }
    if (lists.empty()) return;
    const bool english = std::any_of(lists.begin(), lists.end(), [](const List& l) { return l.catchesEnglish; });
    files->lists = english ? "file\tlevel\tmatch\ttags\tenglish\n" : "file\tlevel\tmatch\ttags\n";
    // Tags an entry took from repeats in other lists come back through a
    // repeat of it in a list of level 0 with just those tags, after the
    // others: it never takes the entry's place, and folding merges its tags.
    std::vector<std::pair<std::string, std::string>> extraLists;  // tags, entries
    for (const List& list : lists) {
        // The list's own tags: those of its entry with the fewest, in their
        // order, as far as every entry has them.
        const auto fewest =
            std::min_element(list.entries.begin(), list.entries.end(),
                             [](const Entry& a, const Entry& b) { return a.tags.size() < b.tags.size(); });
        std::vector<std::string> common;
        for (const std::string& tag : fewest->tags) {
            bool everywhere = true;
            for (const Entry& entry : list.entries)
                everywhere = everywhere && std::find(entry.tags.begin(), entry.tags.end(), tag) != entry.tags.end();
            if (everywhere) common.push_back(tag);
        }
        std::string text;
        int nextLine = 1;
        for (const Entry& entry : list.entries) {
            // Each entry goes back on its line; list files have no comments,
            // so blank lines keep the places.
            if (entry.line > nextLine && entry.line - nextLine <= kMaxLineGap) {
                text.append(static_cast<std::size_t>(entry.line - nextLine), '\n');
                nextLine = entry.line;
            }
            ++nextLine;
            text += entry.text + "\n";
            std::vector<std::string> extra;
            for (const std::string& tag : entry.tags)
                if (std::find(common.begin(), common.end(), tag) == common.end()) extra.push_back(tag);
            if (extra.empty()) continue;
            const std::string key = joinTags(extra);
            auto found =
                std::find_if(extraLists.begin(), extraLists.end(), [&](const auto& l) { return l.first == key; });
            if (found == extraLists.end()) found = extraLists.insert(extraLists.end(), {key, ""});
            found->second += entry.text + "\n";
        }
        files->lists += list.name + "\t" + std::to_string(list.level) + "\t" + list.match + "\t" + joinTags(common) +
                        (list.catchesEnglish ? "\tcatch\n" : "\n");
        files->listFiles.emplace_back(list.name, text);
    }
    for (std::size_t i = 0; i < extraLists.size(); ++i) {
        std::string name = "more-tags-" + std::to_string(i + 1) + ".txt";
        while (std::any_of(lists.begin(), lists.end(), [&](const List& l) { return l.name == name; }))
            name = "more-" + name;
        files->lists += name + "\t0\twritten\t" + extraLists[i].first + "\n";
        files->listFiles.emplace_back(name, extraLists[i].second);
    }
}

packhold::Package CRuleDecompiler::WithoutSourceColumns(const packhold::Package& rebuilt,
                                                        const packhold::Package& original) {
    packhold::Package result = rebuilt;
    for (std::size_t t = kPhraseTable; t <= kAllowTable && t < result.tables.size() && t < original.tables.size();
         ++t) {
        packhold::Table& table = result.tables[t];
        for (const char* name : {kTagsColumn, kLineColumn, kFileColumn}) {
            const int column = FindColumn(table, name, name == kLineColumn ? CellType::kInt : CellType::kText);
            if (column < 0 ||
                FindColumn(original.tables[t], name, table.columns[static_cast<std::size_t>(column)].type) >= 0)
                continue;
            table.columns.erase(table.columns.begin() + column);
            for (std::vector<Cell>& row : table.rows)
                if (static_cast<std::size_t>(column) < row.size()) row.erase(row.begin() + column);
        }
    }
    return result;
}

bool CRuleDecompiler::WriteFolder(const std::string& folder, const AuthoringFiles& files, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir(folder);
    if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec))) {
        *error = folder + " exists and is not an empty folder";
        return false;
    }
    fs::create_directories(dir, ec);
    if (ec) {
        *error = "cannot create " + folder + ": " + ec.message();
        return false;
    }
    const std::pair<const char*, const std::string*> outputs[] = {{kIgnoreFile, &files.ignore},
                                                                  {kSyllablesFile, &files.syllables},
                                                                  {kPhrasesFile, &files.phrases},
                                                                  {kCombosFile, &files.combos},
                                                                  {kAllowFile, &files.allow}};
    std::vector<std::pair<std::string, const std::string*>> all(std::begin(outputs), std::end(outputs));
    if (!files.lists.empty()) all.emplace_back(kListsFile, &files.lists);
    for (const auto& list : files.listFiles) all.emplace_back(list.first, &list.second);
    for (const auto& output : all) {
        if (output.second == &files.allow && files.allow.empty()) continue;
        const fs::path path = dir / output.first;
        std::ofstream out(path, std::ios::binary);
        out << *output.second;
        out.close();
        if (!out) {
            *error = "cannot write " + path.string();
            return false;
        }
    }
    return true;
}

}  // namespace chatsieve::tools
