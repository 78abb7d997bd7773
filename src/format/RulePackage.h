// The rule package: what the compiler writes, the filter's loader reads and
// the tools read back, in one place. A package is a table set in the package
// library's container; its tables come in a fixed order and each cell is
// found by its column's name. The filter reads the columns marked so; the
// others are the tools' (where a rule was written, its id and tags), and the
// filter never asks for them. Changing a name, a limit or the order here
// changes the format: packages already shipped are read with these values.
#ifndef CHATSIEVE_FORMAT_RULEPACKAGE_H
#define CHATSIEVE_FORMAT_RULEPACKAGE_H

namespace chatsieve {

// Where the filter opens its rules, relative to the host's working directory,
// written as the host's system writes it, and the key the package is sealed with.
constexpr const char* kRulePackagePath = "Data\\Scp\\Chatsieve.res";
constexpr const char* kRulePackageKey = "wxyz";

// The tables in package order. References resolve against the lists as the
// loader has filled them so far, so the order is part of the format. The
// first four are always there. The allowed expressions are there when the
// rules have any (its first row then has an expression), or empty when only
// the fold table follows; the fold table only in packages with written-mode
// phrases.
enum RuleTable : int {
    kIgnoreTable = 0,
    kSyllableTable = 1,
    kPhraseTable = 2,
    kComboTable = 3,
    kAllowTable = 4,
    kFoldTable = 5,
};
constexpr int kRequiredTables = 4;

// ---- columns

// Ignore-sets (the filter reads both): the values, single-byte ranges as low,
// high pairs, then -1, then two-byte ranges as lead, low, high triples; and
// the player-words log switch, the same in every row.
constexpr const char* kCodeColumn = "code";
constexpr const char* kLogColumn = "iscopy";

// Syllables (the filter reads the first three): the pinyin, the code ranges
// as lead, low, high triples in kCodeColumn, and the split form.
constexpr const char* kPinyinColumn = "pinyin";
constexpr const char* kSplitColumn = "divide";
// Syllable and rule rows the compiler added beside a row of the source
// (variants, full-width pinyin): the 1-based row they were made from.
constexpr const char* kVariantColumn = "variant";

// Phrases and combinations (the filter reads the level, the references and,
// in packages with a fold table, the edges).
constexpr const char* kLevelColumn = "level";
constexpr const char* kRefsColumn = "hzlist";
// Whether a letter or digit may not stand directly before (bit 1) or after
// (bit 2) a phrase's match.
constexpr const char* kEdgeColumn = "edge";
constexpr const char* kIdColumn = "id";
constexpr const char* kTextColumn = "text";  // the rule as written, code page 936
// Where the rule was written: the file's name without its folder, and its line.
constexpr const char* kFileColumn = "file";
constexpr const char* kLineColumn = "line";  // also in the allowed expressions' table
constexpr const char* kTagsColumn = "tags";
// A phrase's matching mode, in packages with written-mode phrases:
// kWrittenMode, or no cell for the sound mode.
constexpr const char* kMatchColumn = "match";
constexpr const char* kWrittenMode = "written";
// kEnglishCatch on the rows of word-list entries whose list catches English
// words that spell their pinyin.
constexpr const char* kEnglishColumn = "english";
constexpr const char* kEnglishCatch = "catch";

// Allowed expressions (the filter reads the first two): the expression, the
// references of the rules it is limited to (none: all of them), a note for
// people, and kLineColumn.
constexpr const char* kAllowColumn = "allow";
constexpr const char* kAllowRulesColumn = "rules";
constexpr const char* kNoteColumn = "note";

// Characters the filter folds before the rules see a line (the filter reads
// both): a lead, low, high range, and the byte its first character becomes.
constexpr const char* kFoldColumn = "fold";
constexpr const char* kFoldToColumn = "to";

// ---- limits: the loader refuses the whole package beyond them

constexpr int kMaxIgnoreValues = 256;
constexpr int kMaxSyllableRanges = 3;
constexpr int kMaxSyllableCodeBytes = 3 * kMaxSyllableRanges;
constexpr int kMaxPhraseRefs = 32;
constexpr int kMaxComboRefs = 16;
// Bytes of an allowed expression (the package library's largest cell).
constexpr unsigned kMaxAllowBytes = 1024;

// ---- references

// A RuleRef names a row of a table that the loader has already read:
// kind * kRuleRefBase + 1-based row. Phrases and combinations refer to
// syllables (kind 2) and combinations to phrases (kind 3); allowed
// expressions name the phrases and combinations (kind 4) they are limited to.
constexpr int kRuleRefBase = 100000;
constexpr int kSyllableKind = 2;
constexpr int kPhraseKind = 3;
constexpr int kComboKind = 4;
// The most rows of a table that a reference can name.
constexpr int kMaxReferencedRows = kRuleRefBase - 1;

// A decoded RuleRef, as phrase and combination rules keep it.
struct RefEntry {
    int index;  // 0-based row, = position in the process-wide list of its kind
    int kind;   // kSyllableKind, kPhraseKind or kComboKind
};

// Both parts by truncating division, so a multiple of kRuleRefBase decodes to
// index -1 and names nothing, and a negative value to a negative kind.
inline RefEntry DecodeRuleRef(int value) { return RefEntry{value % kRuleRefBase - 1, value / kRuleRefBase}; }
constexpr int EncodeRuleRef(int kind, int row) { return kind * kRuleRefBase + row + 1; }

// ---- checking order

// The filter tries its rules from the highest level down and stops at the
// first that matches, so a line gets the highest level that any rule gives
// it. Rules of one level keep the order they were loaded in: the phrases,
// then the combinations, each in table order. A rule of level 0 is never
// tried on its own (a combination may still use a phrase of level 0). Rule
// data uses levels up to kMaxUsualLevel; higher ones are tried before them.
// load/LevelOrder.h puts rules in this order.
constexpr int kMaxUsualLevel = 63;
constexpr bool IsTriedLevel(int level) { return level > 0; }
constexpr bool TriedBefore(int level, int other) { return level > other; }

}  // namespace chatsieve

#endif
