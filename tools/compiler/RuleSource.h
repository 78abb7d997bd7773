// The rule set as its authors write it: a folder of four UTF-8 tables
// (ignore.tsv, syllables.tsv, phrases.tsv, combos.tsv), parsed and resolved,
// with the place every item was written so that messages can point at it.
// Texts that reach the filter (pinyin, split forms) are held in code page
// 936; rule references are 0-based rows of the syllable and phrase tables.
#ifndef CHATSIEVE_TOOLS_COMPILER_RULESOURCE_H
#define CHATSIEVE_TOOLS_COMPILER_RULESOURCE_H

#include <string>
#include <unordered_map>
#include <vector>

#include "format/RulePackage.h"

namespace chatsieve::tools {

constexpr const char* kIgnoreFile = "ignore.tsv";
constexpr const char* kSyllablesFile = "syllables.tsv";
constexpr const char* kPhrasesFile = "phrases.tsv";
constexpr const char* kCombosFile = "combos.tsv";
// Optional: expressions the rules let through.
constexpr const char* kAllowFile = "allow.tsv";

struct SourcePos {
    std::string file;
    int line = 0;
    int column = 0;
};

struct Diagnostic {
    // A note tells what the compiler made of a rule (variants, readings); it
    // is neither an error nor a warning.
    enum class Severity { kError, kWarning, kNote };
    Severity severity = Severity::kError;
    SourcePos pos;
    std::string message;
    // What sort of finding this is, in a few words ("list entries left out"):
    // build and lint show the first few of each sort and count the rest. An
    // empty kind is always shown in full, and errors always are.
    std::string kind;

    // "file:line:column: message", with "warning: " or "note: " before a
    // warning's or a note's message.
    std::string Format() const;
};

bool HasErrors(const std::vector<Diagnostic>& diagnostics);

// Two-byte characters whose first byte is `lead` and second byte lies in low..high.
struct CodeRange {
    unsigned char lead = 0;
    unsigned char low = 0;
    unsigned char high = 0;
    SourcePos pos;
};

struct ByteRange {
    unsigned char low = 0;
    unsigned char high = 0;
    SourcePos pos;
};

struct IgnoreSetSource {
    SourcePos pos;
    std::vector<ByteRange> singles;
    std::vector<CodeRange> doubles;
};

struct SyllableSource {
    SourcePos pos;
    std::string pinyin;  // ASCII letters
    std::vector<CodeRange> ranges;
    bool hasSplit = false;
    std::string split;  // code page 936
    SourcePos splitPos;
};

// kWritten: a unit of a phrase in the written mode, an entry of
// RuleSetSource::written.
enum class PartKind { kSyllable, kPhrase, kWritten };

struct PartRef {
    PartKind kind = PartKind::kSyllable;
    int index = 0;  // 0-based row of its table (kWritten: of RuleSetSource::written)
    // Characters a syllable part matches beyond its syllable's ranges: the
    // written character's traditional or simplified counterparts, or the
    // character itself when it takes another syllable's reading. With them,
    // the part compiles to a syllable row of its own.
    std::vector<CodeRange> extra;
};

// How a character written in a rule was read.
struct CharacterChoice {
    // kTable: its syllable's; kUsage: its most used reading, which is not
    // its syllable's; kWord: the dictionary word's; kMarked: the author's.
    enum class Source { kTable, kWord, kMarked, kUsage };
    SourcePos pos;
    std::string character;  // UTF-8, as written
    std::string reading;    // the pinyin of the syllable it stands for
    Source source = Source::kTable;
    std::string word;      // kWord: the dictionary word that gave the reading (UTF-8)
    std::string others;    // kTable, kUsage: its other readings, space-separated, when it has several
    std::string variants;  // counterparts the part also matches (UTF-8)
    std::string leftOut;   // counterparts or the character itself that did not fit the syllable's ranges
};

// How a phrase's characters match: `sound` by their syllables, so every
// homophone too; `written` as the characters themselves (with their variants),
// their pinyin and split forms, and no other character of the same sound.
enum class MatchMode { kSound, kWritten };

// What one unit of a phrase in the written mode matches: a character as
// written (with its traditional, simplified forms), its pinyin in any case
// and its split form; or a Latin letter, digit or other single-byte character
// as itself. Each becomes one syllable row, shared by every rule that uses it.
struct WrittenSyllable {
    std::string romanised;  // code page 936: the pinyin, or the character itself
    std::vector<CodeRange> ranges;
    bool hasSplit = false;
    std::string split;  // code page 936
    int home = -1;      // the syllable of its reading; -1: none
};

// A phrase rule (parts are then syllables only) or a combination rule.
struct RuleSource {
    SourcePos pos;
    std::string id;  // empty: none
    int level = 0;
    SourcePos levelPos;
    std::string text;  // the expression or the parts as written (UTF-8)
    SourcePos textPos;
    std::vector<PartRef> parts;
    std::vector<CharacterChoice> choices;  // one per character written
    std::string tags;                      // "cheat,contact": the optional tags column, tidied
    MatchMode match = MatchMode::kSound;   // phrases only
    bool listed = false;                   // an entry of a word list (CWordLists)
    // A listed entry whose list wants English words that spell its pinyin
    // caught too (EnglishWords.h).
    bool catchesEnglish = false;
    // The row had errors; it is kept so that later rows keep their places,
    // but nothing is judged from it.
    bool broken = false;
};

// A rule an allowed expression is limited to.
struct RuleRefSource {
    bool isCombo = false;
    int index = 0;  // 0-based row of its table (kWritten: of RuleSetSource::written)
};

// An allowed expression: a text the rules it covers (all when `rules` is
// empty) do not see.
struct AllowSource {
    SourcePos pos;
    std::string text;  // as written (UTF-8)
    SourcePos textPos;
    std::string bytes;  // code page 936
    std::vector<RuleRefSource> rules;
    SourcePos rulesPos;
    std::string note;
    // The earlier expression (index in `allow`) this one repeats: left out of
    // the package; -1: none.
    int duplicateOf = -1;
    // Added by the compiler for English words that spell word-list entries'
    // pinyin (EnglishWords.h), not written in allow.tsv: its package row has
    // no line, and decompiling leaves it out.
    bool english = false;
};

struct RuleSetSource {
    bool logEnabled = false;
    std::vector<IgnoreSetSource> ignoreSets;
    std::vector<SyllableSource> syllables;
    // Lower-case pinyin -> its first row in `syllables`, for SyllableByName:
    // every syllable a rule writes is looked up by name.
    std::unordered_map<std::string, int> syllableRows;
    std::vector<RuleSource> phrases;
    std::vector<RuleSource> combos;
    std::vector<AllowSource> allow;
    // The units of the written-mode phrases, each once, in order of first use.
    std::vector<WrittenSyllable> written;
    // A unit's romanised form, ranges and split form -> its entry in `written`.
    std::unordered_map<std::string, int> writtenIndex;
    // Set by ReadWrittenPhrase: the package then holds the table that makes
    // the filter fold full-width letters and digits before the rules see a
    // line, so no rule needs rows of its own for them (see FoldsFullWidth).
    bool foldFullWidth = false;
};

inline bool FoldsFullWidth(const RuleSetSource& rules) { return rules.foldFullWidth; }

// "B0A1-B0AF", or "B0A1" for a single character.
std::string FormatCodeRange(const CodeRange& range);
// "20-2F", or "20".
std::string FormatByteRange(const ByteRange& range);
// "phrase 'wai-gua' (phrases.tsv:4)" or "phrase phrases.tsv:4".
std::string DescribeRule(const RuleSource& rule, const char* kind);
// ASCII letters in lower case, other bytes as they are: pinyin and names are
// compared without regard to letter case.
char LowerAscii(char c);
std::string LowerAscii(std::string text);

}  // namespace chatsieve::tools

#endif
