#include "compiler/CRuleCompiler.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "compiler/AllowTable.h"
#include "compiler/CCodePage936.h"
#include "compiler/CWordLists.h"
#include "compiler/CharacterReading.h"
#include "compiler/EmbeddedText.h"
#include "compiler/EnglishWords.h"
#include "compiler/PackageRows.h"
#include "compiler/Utf8.h"
#include "compiler/WrittenPhrase.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

namespace {

using packhold::Cell;
using packhold::CellType;

bool IsAllLetters(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!IsAsciiLetter(c)) return false;
    return true;
}

// `digits` hexadecimal digits, either case; -1 otherwise.
int ParseHex(const std::string& text, std::size_t digits) {
    if (text.size() != digits) return -1;
    int value = 0;
    for (char c : text) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

// Splits "X" or "X-Y" into its two ends (X twice for a single value).
void SplitRange(const std::string& text, std::string* first, std::string* last) {
    const std::size_t dash = text.find('-');
    *first = text.substr(0, dash);
    *last = dash == std::string::npos ? *first : text.substr(dash + 1);
}

struct Token {
    std::string text;
    SourcePos pos;
};

// The space-separated words of a field, with their places.
std::vector<Token> SplitWords(const AuthoringField& field) {
    std::vector<Token> words;
    ColumnCounter columns(field.text);
    std::size_t i = 0;
    while (i < field.text.size()) {
        if (field.text[i] == ' ') {
            ++i;
            continue;
        }
        const std::size_t end = std::min(field.text.find(' ', i), field.text.size());
        SourcePos pos = field.pos;
        pos.column += columns.Before(i);
        words.push_back(Token{field.text.substr(i, end - i), pos});
        i = end;
    }
    return words;
}

// The syllables written in `text` from `from` on, as a phrase is read: a
// run of letters is one, a reading in parentheses belongs to its character,
// any other character is one, and spaces and apostrophes separate.
std::size_t CountSyllablesWritten(const std::string& text, std::size_t from) {
    std::size_t count = 0;
    for (std::size_t i = from; i < text.size();) {
        const char c = text[i];
        if (c == ' ' || c == '\'') {
            ++i;
        } else if (IsAsciiLetter(c)) {
            while (i < text.size() && IsAsciiLetter(text[i])) ++i;
            ++count;
        } else if (c == '(') {
            const std::size_t close = text.find(')', i);
            i = close == std::string::npos ? text.size() : close + 1;
        } else {
            std::uint32_t cp = 0;
            const std::size_t before = i;
            DecodeUtf8(text, &i, &cp);
            if (i == before) ++i;
            ++count;
        }
    }
    return count;
}

Cell OptionalText(const std::string& text) { return text.empty() ? Cell() : Cell::Text(text); }

std::string ToCp936(const std::string& utf8) {
    std::string out;
    TextError ignored;
    CCodePage936::Instance().FromUtf8(utf8, &out, &ignored);
    return out;
}

// Edits (insert, delete, replace, swap neighbours) between a and b: enough to
// tell a typo such as "glod" from a different word.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = LowerAscii(a[i - 1]) == LowerAscii(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && LowerAscii(a[i - 1]) == LowerAscii(b[j - 2]) &&
                LowerAscii(a[i - 2]) == LowerAscii(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// "; did you mean 'gold'?" when one phrase id or syllable is a single edit
// away from `word`, else nothing.
std::string Suggestion(const std::string& word, const RuleSetSource& rules) {
    std::vector<std::string> names;
    for (const RuleSource& phrase : rules.phrases)
        if (!phrase.id.empty()) names.push_back(phrase.id);
    for (const SyllableSource& syllable : rules.syllables) names.push_back(syllable.pinyin);
    for (const std::string& name : names)
        if (word.size() > 2 && EditDistance(word, name) == 1) return "; did you mean '" + name + "'?";
    return "";
}

// Where each rule was written and its tags, after the columns the filter
// reads: the file's name without its folder, so that the same rules built
// from anywhere give the same package, and decompiling can put every rule
// back on its line. A rule's variant rows carry its place too.
void AddSourceColumns(const std::vector<RuleRow>& rows, packhold::Table* table) {
    table->columns.insert(
        table->columns.end(),
        {{kFileColumn, CellType::kText}, {kLineColumn, CellType::kInt}, {kTagsColumn, CellType::kText}});
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const RuleSource& rule = *rows[r].rule;
        const std::string& path = rule.pos.file;
        const std::size_t slash = path.find_last_of("/\\");
        std::vector<Cell>& row = table->rows[r];
        row.push_back(Cell::Text(slash == std::string::npos ? path : path.substr(slash + 1)));
        row.push_back(Cell::Int(rule.pos.line));
        row.push_back(OptionalText(rule.tags));
    }
}

// Only in a package with written-mode phrases: each phrase's mode for the
// tools ("written"; no cell for sound) and, for the filter, whether a letter
// or digit may stand directly before (bit 1) or after (bit 2) its match.
void AddWrittenColumns(const RuleSetSource& rules, const std::vector<RuleRow>& rows, packhold::Table* table) {
    table->columns.insert(table->columns.end(), {{kMatchColumn, CellType::kText}, {kEdgeColumn, CellType::kInt}});
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const RuleSource& rule = *rows[r].rule;
        const int edges = EdgeFlags(rule, rules);
        std::vector<Cell>& row = table->rows[r];
        row.push_back(rule.match == MatchMode::kWritten ? Cell::Text(kWrittenMode) : Cell());
        row.push_back(edges ? Cell::Int(edges) : Cell());
    }
}

// Only when some word list catches English words (lists.tsv's english
// column): "catch" on the rows of its entries, so that decompiling gives the
// column back; the filter does not read it.
void AddEnglishColumn(const std::vector<RuleRow>& rows, packhold::Table* table) {
    if (std::none_of(rows.begin(), rows.end(), [](const RuleRow& row) { return row.rule->catchesEnglish; })) return;
    table->columns.push_back({kEnglishColumn, CellType::kText});
    for (std::size_t r = 0; r < rows.size(); ++r)
        table->rows[r].push_back(rows[r].rule->catchesEnglish ? Cell::Text(kEnglishCatch) : Cell());
}

// The sixth table, after the allowed expressions (an empty table stands in
// for them when there are none): character ranges the filter folds to one
// byte each before the rules see a line. Full-width digits and letters
// become ASCII, so a rule's pinyin and Latin letters catch them without rows
// of their own.
void AddFoldTable(packhold::Package* package) {
    if (package->tables.size() == kAllowTable) {
        packhold::Table allow;
        allow.columns = AllowTableColumns();
        package->tables.push_back(std::move(allow));
    }
    packhold::Table fold;
    fold.columns = {{kFoldColumn, CellType::kBytes}, {kFoldToColumn, CellType::kInt}};
    const unsigned char ranges[3][3] = {{0xA3, 0xB0, 0xB9}, {0xA3, 0xC1, 0xDA}, {0xA3, 0xE1, 0xFA}};
    for (const auto& range : ranges)
        fold.rows.push_back({Cell::Bytes({range[0], range[1], range[2]}), Cell::Int(range[1] - 0x80)});
    package->tables.push_back(std::move(fold));
}

// A reading written right after a character, as in 行(hang): moves `*next`
// past it and sets the character's forced reading. No parenthesis there is
// no reading; a malformed one is an error.
bool ReadMark(const AuthoringField& field, std::size_t* next, WrittenCharacter* written,
              std::vector<Diagnostic>* diagnostics) {
    const std::string& text = field.text;
    if (*next >= text.size() || text[*next] != '(') return true;
    const std::size_t close = text.find(')', *next);
    const std::string reading = close == std::string::npos ? "" : text.substr(*next + 1, close - *next - 1);
    written->markPos = field.pos;
    written->markPos.column += CountCharacters(text, *next);
    if (!IsAllLetters(reading)) {
        diagnostics->push_back(Diagnostic{Diagnostic::Severity::kError,
                                          written->markPos,
                                          "a reading follows its character in parentheses, as in 行(hang)",
                                          {}});
        *next = close == std::string::npos ? text.size() : close + 1;
        return false;
    }
    written->marked = reading;
    *next = close + 1;
    return true;
}

}  // namespace

std::string ShippedTableName(const char* name) { return std::string(name) + " (shipped)"; }

namespace {

// The name messages give a table: the folder's, or the shipped one's when
// the folder leaves the table out.
// True when the folder leaves the table out and the shipped one stands in;
// a folder that does not exist at all is a mistake, not a small folder.
bool UsesShipped(const std::string& folder, const char* name) {
    std::error_code ec;
    return !std::filesystem::exists(JoinPath(folder, name), ec) &&
           std::filesystem::is_directory(folder.empty() ? "." : folder, ec);
}

std::string TablePath(const std::string& folder, const char* name) {
    return UsesShipped(folder, name) ? ShippedTableName(name) : JoinPath(folder, name);
}

bool LoadOrShipped(CAuthoringTable* table, const std::string& folder, const char* name, const EmbeddedText& shipped,
                   std::vector<Diagnostic>* diagnostics) {
    if (UsesShipped(folder, name)) return table->Parse(shipped.Text(), diagnostics);
    return table->Load(JoinPath(folder, name), diagnostics);
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

void CRuleCompiler::AddError(const SourcePos& pos, std::string message) {
    m_diagnostics->push_back(Diagnostic{Diagnostic::Severity::kError, pos, std::move(message), {}});
}

bool CRuleCompiler::Read(const std::string& folder, RuleSetSource* rules, std::vector<Diagnostic>* diagnostics) {
    m_diagnostics = diagnostics;
    m_ids.clear();
    *rules = RuleSetSource();
    const std::size_t before = diagnostics->size();
    // A table file given in place of its folder would otherwise draw one
    // "cannot open" per table, each under a path inside the file.
    std::error_code ec;
    if (!folder.empty() && std::filesystem::exists(folder, ec) && !std::filesystem::is_directory(folder, ec)) {
        AddError(SourcePos{folder, 1, 1},
                 "is a file; a rule folder is expected (the folder that holds " + std::string(kPhrasesFile) + ")");
        return false;
    }
    CAuthoringTable ignore(TablePath(folder, kIgnoreFile), {"kind", "value"});
    CAuthoringTable syllables(TablePath(folder, kSyllablesFile), {"pinyin", "ranges", "split"});
    CAuthoringTable phrases(JoinPath(folder, kPhrasesFile), {"id", "level", "phrase"}, {"tags", "match"});
    CAuthoringTable combos(JoinPath(folder, kCombosFile), {"id", "level", "parts"}, {"tags"});
    // Every table is read even after a bad one, so one run reports as much as
    // it can; a rule is not resolved against a syllable table that failed.
    const bool ignoreRead = LoadOrShipped(&ignore, folder, kIgnoreFile, ShippedIgnore(), diagnostics);
    const bool syllablesRead = LoadOrShipped(&syllables, folder, kSyllablesFile, ShippedSyllables(), diagnostics);
    // A folder of word lists needs no phrases.tsv of its own; combinations
    // are optional, as allowed expressions are: a folder without combos.tsv
    // builds as with an empty one.
    const bool hasLists = std::filesystem::exists(JoinPath(folder, kListsFile), ec);
    const bool phrasesRead = (hasLists && !std::filesystem::exists(JoinPath(folder, kPhrasesFile), ec)) ||
                             phrases.Load(JoinPath(folder, kPhrasesFile), diagnostics);
    const bool combosRead = UsesShipped(folder, kCombosFile) || combos.Load(JoinPath(folder, kCombosFile), diagnostics);
    if (ignoreRead) ReadIgnore(ignore, rules);
    if (syllablesRead) ReadSyllables(syllables, rules);
    const bool syllablesOk = syllablesRead && diagnostics->size() == before;
    if (syllablesOk && phrasesRead) ReadPhrases(phrases, rules);
    CWordLists lists;
    const std::size_t room = kMaxReferencedRows - std::min<std::size_t>(rules->phrases.size(), kMaxReferencedRows);
    if (syllablesOk && phrasesRead && lists.Read(folder, room, diagnostics)) ReadWordLists(lists, rules);
    if (syllablesOk && phrasesRead && rules->phrases.empty() && !HasErrors(*diagnostics))
        AddError(lists.Present() ? lists.TablePos() : phrases.HeaderPos(),
                 "no phrase rules: the filter refuses a rule set without one");
    if (syllablesOk && phrasesRead && combosRead) ReadCombos(combos, rules);
    if (!HasErrors(*diagnostics)) CheckRowCounts(*rules);
    if (!HasErrors(*diagnostics)) ReadAllowTable(folder, rules, diagnostics);
    if (!HasErrors(*diagnostics)) AllowEnglishReadings(rules);
    FoldDuplicateAllowed(rules);
    if (!HasErrors(*diagnostics)) CheckPackageLimits(*rules);
    return !HasErrors(*diagnostics);
}

void CRuleCompiler::CheckPackageLimits(const RuleSetSource& rules) {
    // The rows are counted as they will be written, variant and full-width
    // rows included: a table the rules fit in can still grow past what a
    // reference names once each rule has its two or three rows, and the
    // filter then refuses the whole package. The first rule to cross a limit
    // is the one named.
    // Added syllable rows are made in order of first use, so the first rule
    // that needs a row past the limit is the one that needs the first such
    // row, whose reference would read as phrase row 0 (naming nothing).
    const PackageRows rows = LayOutRows(rules);
    const std::string most = std::to_string(kMaxReferencedRows);
    const std::int32_t firstPast = EncodeRuleRef(kSyllableKind, kMaxReferencedRows);
    for (int t = 0; t < 2; ++t) {
        for (const RuleRow& row : t == 0 ? rows.phrases : rows.combos) {
            bool past = false;
            for (const std::int32_t ref : row.refs) past = past || ref == firstPast;
            if (!past) continue;
            AddError(row.rule->pos, DescribeRule(*row.rule, t == 0 ? "phrase" : "combination") +
                                        " needs a syllable row past the " + most +
                                        " that can be referred to: with the rows made for variants and "
                                        "full-width pinyin the syllable table holds " +
                                        std::to_string(rows.syllables.size()) + " rows");
            return;
        }
    }
    // An allowed expression names a combination by its rows, as kind 4.
    for (const AllowSource& allow : rules.allow) {
        for (const RuleRefSource& ref : allow.rules) {
            if (!ref.isCombo) continue;
            const std::vector<int>& comboRows = rows.comboRows[static_cast<std::size_t>(ref.index)];
            if (comboRows.back() < kMaxReferencedRows) continue;
            const RuleSource& combo = rules.combos[static_cast<std::size_t>(ref.index)];
            AddError(allow.rulesPos, DescribeRule(combo, "combination") + " compiles to rows " +
                                         std::to_string(comboRows.front() + 1) + " to " +
                                         std::to_string(comboRows.back() + 1) + ", past the " + most +
                                         " an allowed expression can refer to");
            return;
        }
    }
}

void CRuleCompiler::CheckRowCounts(const RuleSetSource& rules) {
    // Rules are referred to by row: every phrase needs its main row at least
    // (lint warns when full-width rows no longer fit).
    if (rules.phrases.size() > static_cast<std::size_t>(kMaxReferencedRows))
        AddError(rules.phrases[static_cast<std::size_t>(kMaxReferencedRows)].pos,
                 "a rule set holds at most " + std::to_string(kMaxReferencedRows) +
                     " phrases, the most that can be referred to");
}

void CRuleCompiler::ReadIgnore(const CAuthoringTable& table, RuleSetSource* rules) {
    const AuthoringRow* logRow = nullptr;
    for (const AuthoringRow& row : table.Rows()) {
        const std::string& kind = row.fields[0].text;
        const AuthoringField& value = row.fields[1];
        if (kind == "log") {
            if (logRow) {
                AddError(row.fields[0].pos,
                         "the log switch is already set on line " + std::to_string(logRow->pos.line));
            } else if (value.text == "on" || value.text == "off") {
                rules->logEnabled = value.text == "on";
                logRow = &row;
            } else {
                AddError(value.pos, "the log switch is 'on' or 'off'");
            }
            continue;
        }
        if (kind == "set") {
            if (!value.text.empty()) AddError(value.pos, "'set' starts a new ignore-set and takes no value");
            rules->ignoreSets.push_back(IgnoreSetSource{row.pos, {}, {}});
            continue;
        }
        if (kind != "single" && kind != "double") {
            AddError(row.fields[0].pos, "unknown kind '" + kind + "': use log, set, single or double");
            continue;
        }
        if (rules->ignoreSets.empty()) rules->ignoreSets.push_back(IgnoreSetSource{row.pos, {}, {}});
        IgnoreSetSource& set = rules->ignoreSets.back();
        std::string first, last;
        SplitRange(value.text, &first, &last);
        if (kind == "single") {
            const int low = ParseHex(first, 2);
            const int high = ParseHex(last, 2);
            if (low < 0 || high < 0) {
                AddError(value.pos,
                         "'" + value.text +
                             "' is not a byte range: write two hex digits, or two such joined by '-' (20-2F)");
                continue;
            }
            if (low > high) {
                AddError(value.pos, "the range '" + value.text + "' runs backwards");
                continue;
            }
            set.singles.push_back(
                ByteRange{static_cast<unsigned char>(low), static_cast<unsigned char>(high), value.pos});
        } else {
            const int low = ParseHex(first, 4);
            const int high = ParseHex(last, 4);
            if (low < 0 || high < 0) {
                AddError(
                    value.pos,
                    "'" + value.text +
                        "' is not a character range: write four hex digits, or two such joined by '-' (A1A1-A1FE)");
                continue;
            }
            if (low >> 8 != high >> 8) {
                AddError(value.pos,
                         "the range '" + value.text + "' spans two first bytes; write one range per first byte");
                continue;
            }
            if (!CCodePage936::IsLead(static_cast<unsigned char>(low >> 8))) {
                AddError(value.pos, "the range '" + value.text + "' must start with a lead byte, 81 to FE");
                continue;
            }
            if (low > high) {
                AddError(value.pos, "the range '" + value.text + "' runs backwards");
                continue;
            }
            set.doubles.push_back(CodeRange{static_cast<unsigned char>(low >> 8),
                                            static_cast<unsigned char>(low & 0xFF),
                                            static_cast<unsigned char>(high & 0xFF), value.pos});
        }
        const std::size_t values = set.singles.size() * 2 + 1 + set.doubles.size() * 3;
        if (values > static_cast<std::size_t>(kMaxIgnoreValues)) {
            AddError(value.pos, "this range takes the ignore-set past the " + std::to_string(kMaxIgnoreValues) +
                                    " values the filter reads (2 a single-byte range, 3 a character range, 1 between); "
                                    "start another with 'set'");
            if (kind == "single")
                set.singles.pop_back();
            else
                set.doubles.pop_back();
        }
    }
    if (rules->ignoreSets.empty())
        AddError(table.HeaderPos(), "no ignore-set: the filter refuses a rule set without one");
}

void CRuleCompiler::ReadSyllables(const CAuthoringTable& table, RuleSetSource* rules) {
    for (const AuthoringRow& row : table.Rows()) {
        const AuthoringField& pinyin = row.fields[0];
        const AuthoringField& ranges = row.fields[1];
        const AuthoringField& split = row.fields[2];
        SyllableSource syllable;
        syllable.pos = row.pos;
        bool ok = true;
        if (pinyin.text.empty()) {
            AddError(pinyin.pos, "a syllable needs its pinyin");
            ok = false;
        } else if (!IsAllLetters(pinyin.text)) {
            AddError(pinyin.pos, "the pinyin '" + pinyin.text + "' must be ASCII letters only");
            ok = false;
        } else {
            const int other = SyllableByName(pinyin.text, *rules);
            if (other >= 0) {
                AddError(pinyin.pos, "the syllable '" + pinyin.text + "' is already defined on line " +
                                         std::to_string(rules->syllables[static_cast<std::size_t>(other)].pos.line));
                ok = false;
            }
        }
        syllable.pinyin = pinyin.text;

        const std::vector<Token> words = SplitWords(ranges);
        if (words.empty()) {
            AddError(ranges.pos, "a syllable needs one to three code ranges");
            ok = false;
        }
        for (const Token& word : words) {
            if (syllable.ranges.size() == static_cast<std::size_t>(kMaxSyllableRanges)) {
                AddError(word.pos, "a syllable holds at most 3 code ranges (the filter reads 9 code bytes)");
                ok = false;
                break;
            }
            std::string first, last;
            SplitRange(word.text, &first, &last);
            const int low = ParseHex(first, 4);
            const int high = ParseHex(last, 4);
            if (low < 0 || high < 0) {
                AddError(word.pos,
                         "'" + word.text +
                             "' is not a code range: write four hex digits, or two such joined by '-' (B0A1-B0AF)");
                ok = false;
                continue;
            }
            if (low >> 8 != high >> 8) {
                AddError(word.pos,
                         "the range '" + word.text + "' spans two first bytes; write one range per first byte");
                ok = false;
                continue;
            }
            if (!CCodePage936::IsLead(static_cast<unsigned char>(low >> 8)) || (low & 0xFF) < 0x40 ||
                (high & 0xFF) < 0x40 || (low & 0xFF) == 0xFF || (high & 0xFF) == 0xFF) {
                AddError(word.pos,
                         "the range '" + word.text +
                             "' holds no two-byte characters: the first byte is 81 to FE, the second 40 to FE");
                ok = false;
                continue;
            }
            if (low > high) {
                AddError(word.pos, "the range '" + word.text + "' runs backwards");
                ok = false;
                continue;
            }
            syllable.ranges.push_back(CodeRange{static_cast<unsigned char>(low >> 8),
                                                static_cast<unsigned char>(low & 0xFF),
                                                static_cast<unsigned char>(high & 0xFF), word.pos});
        }

        syllable.splitPos = split.pos;
        if (!split.text.empty()) {
            TextError error;
            if (!CCodePage936::Instance().FromUtf8(split.text, &syllable.split, &error)) {
                SourcePos pos = split.pos;
                pos.column += error.column - 1;
                AddError(pos, "split form: " + error.message);
                ok = false;
            }
            syllable.hasSplit = true;
        }
        if (ok) {
            rules->syllableRows.emplace(LowerAscii(syllable.pinyin), static_cast<int>(rules->syllables.size()));
            rules->syllables.push_back(syllable);
        }
    }
    if (rules->syllables.empty() && !HasErrors(*m_diagnostics))
        AddError(table.HeaderPos(), "no syllables: the filter refuses a rule set without them");
    if (rules->syllables.size() > static_cast<std::size_t>(kMaxReferencedRows))
        AddError(rules->syllables[kMaxReferencedRows].pos,
                 "more than " + std::to_string(kMaxReferencedRows) + " syllables cannot be referred to");
}

bool CRuleCompiler::ReadLevel(const AuthoringField& field, RuleSource* rule) {
    rule->levelPos = field.pos;
    const std::string& text = field.text;
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    bool ok = i < text.size() && text.size() <= 11;
    for (; ok && i < text.size(); ++i) ok = text[i] >= '0' && text[i] <= '9';
    const long long value = ok ? std::strtoll(text.c_str(), nullptr, 10) : 0;
    if (!ok || value < INT_MIN || value > INT_MAX) {
        AddError(field.pos, text.empty() ? "a rule needs its level" : "the level '" + text + "' is not a whole number");
        return false;
    }
    rule->level = static_cast<int>(value);
    if (rule->level < 0) {
        AddError(field.pos, "the level " + text + " is below 0: the filter refuses the whole rule set over it");
        return false;
    }
    return true;
}

bool CRuleCompiler::ReadTags(const AuthoringField& field, RuleSource* rule) {
    return TidyTags(field, &rule->tags, m_diagnostics);
}

bool CRuleCompiler::ReadId(const AuthoringField& field, bool isPhrase, const RuleSetSource& rules, RuleSource* rule) {
    const std::string& id = field.text;
    if (id.empty()) return true;
    bool ok = IsAsciiLetter(id[0]);
    for (char c : id) ok = ok && (IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_' || c == '.');
    if (!ok) {
        AddError(field.pos,
                 "the id '" + id + "' must start with a letter and hold only letters, digits, '-', '_' and '.'");
        return false;
    }
    const auto seen = m_ids.find(id);
    if (seen != m_ids.end()) {
        AddError(field.pos, "the id '" + id + "' is already used at " + seen->second.file + ":" +
                                std::to_string(seen->second.line));
        return false;
    }
    // A combination part names a phrase by id or a syllable by pinyin, so the
    // two must never be mistaken for each other.
    if (isPhrase && SyllableByName(id, rules) >= 0) {
        AddError(field.pos, "the id '" + id + "' is also a syllable's pinyin; a combination could not tell them apart");
        return false;
    }
    m_ids.emplace(id, field.pos);
    rule->id = id;
    return true;
}

bool CRuleCompiler::ReadExpression(RuleSetSource* rules, RuleSource* phrase, bool rowOk) {
    if (phrase->match == MatchMode::kWritten) return ReadWrittenPhrase(rules, phrase, m_diagnostics) && rowOk;
    const CCodePage936& codePage = CCodePage936::Instance();
    const AuthoringField text{phrase->text, phrase->textPos};
    // The checks of the whole expression wait for a row without other errors.
    bool ok = rowOk;

    // Words are separated by spaces or apostrophes (xi'an); a run of
    // letters is one pinyin word, and each other character stands for a
    // syllable. Characters are read together up to the next pinyin word,
    // so that a word dictionary can give them their readings.
    std::vector<WrittenCharacter> run;
    const auto readRun = [&] {
        if (!run.empty() && !ReadCharacters(run, *rules, &phrase->parts, &phrase->choices, m_diagnostics)) ok = false;
        run.clear();
    };
    ColumnCounter columns(text.text);
    std::size_t i = 0;
    std::size_t written = 0;  // syllables written so far, read or waiting in `run`
    while (i < text.text.size()) {
        const char c = text.text[i];
        // Past the longest phrase the rest is only counted for the
        // message, so an endless line is refused as quickly as it is read.
        if (written > static_cast<std::size_t>(kMaxPhraseRefs)) {
            written += CountSyllablesWritten(text.text, i);
            break;
        }
        SourcePos pos = text.pos;
        pos.column += columns.Before(i);
        if (c == ' ' || c == '\'') {
            ++i;
            continue;
        }
        if (IsAsciiLetter(c)) {
            readRun();
            std::size_t end = i;
            while (end < text.text.size() && IsAsciiLetter(text.text[end])) ++end;
            const std::string word = text.text.substr(i, end - i);
            const int syllable = SyllableByName(word, *rules);
            if (syllable < 0) {
                AddError(pos, "unknown syllable '" + word + "'");
                ok = false;
            } else {
                phrase->parts.push_back(PartRef{PartKind::kSyllable, syllable, {}});
            }
            ++written;
            i = end;
            continue;
        }
        std::size_t next = i;
        std::uint32_t cp = 0;
        DecodeUtf8(text.text, &next, &cp);
        const std::string shown = text.text.substr(i, next - i);
        std::string bytes;
        WrittenCharacter character{pos, cp, "", pos};
        if (!ReadMark(text, &next, &character, m_diagnostics)) {
            ok = false;
        } else if (!codePage.Encode(cp, &bytes)) {
            AddError(pos, "'" + shown + "' (" + FormatCodePoint(cp) + ") is not in code page 936");
            ok = false;
        } else if (bytes.size() != 2) {
            AddError(pos, "'" + shown + "' cannot stand in a phrase: write each syllable as a character or its pinyin");
            ok = false;
        } else {
            run.push_back(character);
        }
        ++written;
        i = next;
    }
    if (written > static_cast<std::size_t>(kMaxPhraseRefs)) run.clear();
    readRun();
    if (written > static_cast<std::size_t>(kMaxPhraseRefs)) {
        AddError(text.pos, "a phrase holds at most " + std::to_string(kMaxPhraseRefs) + " syllables; this one has " +
                               std::to_string(written));
        phrase->parts.clear();
        ok = false;
    }
    if (ok && phrase->parts.empty()) {
        AddError(text.pos, "a phrase needs its expression, in characters or pinyin");
        ok = false;
    }
    return ok;
}

void CRuleCompiler::ReadPhrases(const CAuthoringTable& table, RuleSetSource* rules) {
    for (const AuthoringRow& row : table.Rows()) {
        RuleSource phrase;
        phrase.pos = row.pos;
        bool ok = ReadId(row.fields[0], true, *rules, &phrase);
        ok = ReadLevel(row.fields[1], &phrase) && ok;
        ok = ReadTags(row.fields[3], &phrase) && ok;
        phrase.text = row.fields[2].text;
        phrase.textPos = row.fields[2].pos;
        const AuthoringField& match = row.fields[4];
        if (match.text == "written") {
            phrase.match = MatchMode::kWritten;
        } else if (!match.text.empty() && match.text != "sound") {
            AddError(match.pos, "unknown matching mode '" + match.text + "': use sound or written");
            ok = false;
        }
        ok = ReadExpression(rules, &phrase, ok);
        // Even a bad row takes its place, so that later rows keep their numbers
        // in messages and combinations do not report its id as unknown.
        phrase.broken = !ok;
        rules->phrases.push_back(phrase);
    }
    if (rules->phrases.size() > static_cast<std::size_t>(kMaxReferencedRows))
        AddError(rules->phrases[kMaxReferencedRows].pos,
                 "more than " + std::to_string(kMaxReferencedRows) + " phrase rules cannot be referred to");
}

void CRuleCompiler::ReadWordLists(const CWordLists& lists, RuleSetSource* rules) {
    if (!lists.Present()) return;
    std::size_t skipped = 0;
    std::vector<Diagnostic>* const all = m_diagnostics;
    for (const WordListEntry& entry : lists.Entries()) {
        RuleSource phrase;
        phrase.pos = SourcePos{entry.pos.file, entry.pos.line, 1};
        phrase.level = entry.level;
        phrase.levelPos = lists.Files()[static_cast<std::size_t>(entry.file)].pos;
        phrase.text = entry.text;
        phrase.textPos = entry.pos;
        phrase.tags = entry.tags;
        phrase.match = entry.match;
        phrase.listed = true;
        phrase.catchesEnglish = lists.Files()[static_cast<std::size_t>(entry.file)].catchesEnglish;
        // An entry that cannot be expressed is left out with the reason the
        // phrase would have been refused for, and the rest of the list builds.
        std::vector<Diagnostic> reasons;
        const int length = CountCharacters(entry.text);
        if (length > kMaxListEntryCharacters) {
            reasons.push_back(Diagnostic{Diagnostic::Severity::kError,
                                         entry.pos,
                                         "the entry is " + std::to_string(length) +
                                             " characters long; a phrase holds at most " +
                                             std::to_string(kMaxPhraseRefs) + " syllables",
                                         {}});
        } else {
            m_diagnostics = &reasons;
            ReadExpression(rules, &phrase, true);
            m_diagnostics = all;
        }
        const auto error = std::find_if(reasons.begin(), reasons.end(),
                                        [](const Diagnostic& d) { return d.severity == Diagnostic::Severity::kError; });
        if (error == reasons.end()) {
            all->insert(all->end(), reasons.begin(), reasons.end());
            rules->phrases.push_back(phrase);
            continue;
        }
        ++skipped;
        all->push_back(Diagnostic{Diagnostic::Severity::kWarning, error->pos,
                                  error->message + "; the entry is left out", "list entries left out"});
    }
    const std::size_t taken = lists.Entries().size() - skipped;
    all->push_back(Diagnostic{Diagnostic::Severity::kNote,
                              lists.TablePos(),
                              "the lists give " + std::to_string(taken) + " entr" + (taken == 1 ? "y" : "ies") + "; " +
                                  std::to_string(lists.Folded()) + " repeated lines folded, " +
                                  std::to_string(skipped) + " entries left out",
                              {}});
}

void CRuleCompiler::ReadCombos(const CAuthoringTable& table, RuleSetSource* rules) {
    const CCodePage936& codePage = CCodePage936::Instance();
    // A part names a phrase by id; the first phrase of an id wins, as ids are
    // unique once checked.
    std::unordered_map<std::string, int> phraseIds;
    for (std::size_t p = 0; p < rules->phrases.size(); ++p)
        if (!rules->phrases[p].id.empty()) phraseIds.emplace(rules->phrases[p].id, static_cast<int>(p));
    std::unordered_map<std::string, int> helpers;  // a word written as a part -> the phrase made of it
    for (const AuthoringRow& row : table.Rows()) {
        RuleSource combo;
        combo.pos = row.pos;
        bool ok = ReadId(row.fields[0], false, *rules, &combo);
        ok = ReadLevel(row.fields[1], &combo) && ok;
        ok = ReadTags(row.fields[3], &combo) && ok;
        const AuthoringField& text = row.fields[2];
        combo.text = text.text;
        combo.textPos = text.pos;
        for (const Token& word : SplitWords(text)) {
            const auto found = phraseIds.find(word.text);
            const int phrase = found == phraseIds.end() ? -1 : found->second;
            if (phrase >= 0) {
                combo.parts.push_back(PartRef{PartKind::kPhrase, phrase, {}});
                continue;
            }
            if (IsAllLetters(word.text)) {
                const int syllable = SyllableByName(word.text, *rules);
                if (syllable >= 0) {
                    combo.parts.push_back(PartRef{PartKind::kSyllable, syllable, {}});
                    continue;
                }
            }
            std::size_t end = 0;
            std::uint32_t cp = 0;
            std::string bytes;
            const bool decoded = DecodeUtf8(word.text, &end, &cp);
            // One character, perhaps with its reading: 行 or 行(hang).
            const bool oneCharacter =
                decoded && (end == word.text.size() ||
                            (word.text[end] == '(' && word.text.find(')', end) + 1 == word.text.size()));
            if (!oneCharacter && !IsAllLetters(word.text)) {
                // A word of several characters (下载) is a phrase of level 0
                // that only combinations use; the compiler makes it, once for
                // each word, after the phrases of the table.
                const auto made = helpers.find(word.text);
                if (made != helpers.end()) {
                    combo.parts.push_back(PartRef{PartKind::kPhrase, made->second, {}});
                    continue;
                }
                RuleSource helper;
                helper.pos = word.pos;
                helper.text = word.text;
                helper.textPos = word.pos;
                if (!ReadExpression(rules, &helper, true)) {
                    ok = false;
                    continue;
                }
                const int index = static_cast<int>(rules->phrases.size());
                helpers.emplace(word.text, index);
                rules->phrases.push_back(helper);
                combo.parts.push_back(PartRef{PartKind::kPhrase, index, {}});
                continue;
            }
            if (decoded && codePage.Encode(cp, &bytes) && bytes.size() == 2 &&
                (end == word.text.size() || word.text[end] == '(')) {
                WrittenCharacter written{word.pos, cp, "", word.pos};
                const AuthoringField field{word.text, word.pos};
                if (!ReadMark(field, &end, &written, m_diagnostics) || end != word.text.size() ||
                    !ReadCharacters({written}, *rules, &combo.parts, &combo.choices, m_diagnostics)) {
                    if (end != word.text.size())
                        AddError(word.pos, "'" + word.text + "': a part is one character, maybe with its reading");
                    ok = false;
                }
                continue;
            }
            AddError(word.pos, "unknown part '" + word.text +
                                   "': a part is a phrase id, a syllable's pinyin, a character or a word" +
                                   Suggestion(word.text, *rules));
            ok = false;
        }
        if (ok && combo.parts.empty()) {
            AddError(text.pos, "a combination needs its parts");
            ok = false;
        }
        if (ok && combo.parts.size() > static_cast<std::size_t>(kMaxComboRefs)) {
            AddError(text.pos, "a combination holds at most " + std::to_string(kMaxComboRefs) +
                                   " parts; this one has " + std::to_string(combo.parts.size()));
            ok = false;
        }
        combo.broken = !ok;
        rules->combos.push_back(combo);
    }
}

packhold::Package CRuleCompiler::MakePackage(const RuleSetSource& rules) {
    packhold::Package package;
    package.tables.resize(kRequiredTables);
    packhold::Table& ignore = package.tables[kIgnoreTable];
    ignore.columns = {{kCodeColumn, CellType::kIntArray}, {kLogColumn, CellType::kInt}};
    for (const IgnoreSetSource& set : rules.ignoreSets) {
        std::vector<std::int32_t> values;
        for (const ByteRange& range : set.singles) values.insert(values.end(), {range.low, range.high});
        values.push_back(-1);
        for (const CodeRange& range : set.doubles) values.insert(values.end(), {range.lead, range.low, range.high});
        ignore.rows.push_back({Cell::IntArray(values), Cell::Int(rules.logEnabled ? 1 : 0)});
    }

    const PackageRows rows = LayOutRows(rules);
    packhold::Table& syllables = package.tables[kSyllableTable];
    syllables.columns = {{kPinyinColumn, CellType::kText},
                         {kCodeColumn, CellType::kBytes},
                         {kSplitColumn, CellType::kText},
                         {kVariantColumn, CellType::kInt}};
    for (const SyllableRow& syllable : rows.syllables) {
        std::vector<unsigned char> codes;
        for (const CodeRange& range : syllable.ranges) codes.insert(codes.end(), {range.lead, range.low, range.high});
        syllables.rows.push_back(
            {Cell::Text(syllable.pinyin), Cell::Bytes(codes), syllable.hasSplit ? Cell::Text(syllable.split) : Cell(),
             syllable.derivedFrom < 0 && !syllable.written ? Cell() : Cell::Int(syllable.derivedFrom + 1)});
    }

    for (const RuleTable t : {kPhraseTable, kComboTable}) {
        packhold::Table& table = package.tables[t];
        table.columns = {{kLevelColumn, CellType::kInt},
                         {kRefsColumn, CellType::kIntArray},
                         {kIdColumn, CellType::kText},
                         {kTextColumn, CellType::kText},
                         {kVariantColumn, CellType::kInt}};
        for (const RuleRow& row : t == kPhraseTable ? rows.phrases : rows.combos) {
            const RuleSource& rule = *row.rule;
            table.rows.push_back({Cell::Int(rule.level), Cell::IntArray(row.refs), OptionalText(rule.id),
                                  OptionalText(ToCp936(rule.text)),
                                  row.mainRow < 0 ? Cell() : Cell::Int(row.mainRow + 1)});
        }
        AddSourceColumns(t == kPhraseTable ? rows.phrases : rows.combos, &table);
    }
    if (FoldsFullWidth(rules)) AddWrittenColumns(rules, rows.phrases, &package.tables[kPhraseTable]);
    AddEnglishColumn(rows.phrases, &package.tables[kPhraseTable]);
    AddAllowTable(rules, rows, &package);
    if (FoldsFullWidth(rules)) AddFoldTable(&package);
    return package;
}

bool CRuleCompiler::Build(const std::string& folder, const std::string& output, std::vector<Diagnostic>* diagnostics) {
    RuleSetSource rules;
    return Read(folder, &rules, diagnostics) && Write(rules, output, diagnostics);
}

bool CRuleCompiler::Write(const RuleSetSource& rules, const std::string& output, std::vector<Diagnostic>* diagnostics) {
    std::vector<unsigned char> bytes;
    std::string error;
    if (!packhold::EncodePackage(MakePackage(rules), kRulePackageKey, &bytes, &error) ||
        !packhold::WriteFileAtomically(output, bytes, &error)) {
        diagnostics->push_back(Diagnostic{Diagnostic::Severity::kError, SourcePos{output, 1, 1}, error, {}});
        return false;
    }
    return true;
}

}  // namespace chatsieve::tools
