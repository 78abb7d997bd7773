#include "compiler/CRuleCompiler.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "compiler/AllowTable.h"
#include "compiler/AuthoringText.h"
#include "compiler/CCodePage936.h"
#include "compiler/CCodeTableReader.h"
#include "compiler/CWordLists.h"
#include "compiler/CharacterReading.h"
#include "compiler/EmbeddedText.h"
#include "compiler/EnglishWords.h"
#include "compiler/PackageRows.h"
#include "compiler/PackageTables.h"
#include "compiler/Utf8.h"
#include "compiler/WrittenPhrase.h"
#include "format/RulePackage.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

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
    CCodeTableReader codeTables(diagnostics);
    if (ignoreRead) codeTables.ReadIgnore(ignore, rules);
    if (syllablesRead) codeTables.ReadSyllables(syllables, rules);
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

packhold::Package CRuleCompiler::MakePackage(const RuleSetSource& rules) { return MakeRulePackage(rules); }

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