// The optional allow table of a rule folder (allow.tsv: allow, rules, note)
// and the fifth package table it becomes (with a "line" column saying where
// each expression was written). An allowed expression is written in
// characters as innocent text holds it; `rules` names, by id, the phrases and
// combinations it is limited to (none: every rule). A folder without the file,
// or with no rows in it, gives a package of four tables, byte for byte what it
// was before allowed expressions existed.
#ifndef CHATSIEVE_TOOLS_COMPILER_ALLOWTABLE_H
#define CHATSIEVE_TOOLS_COMPILER_ALLOWTABLE_H

#include <string>
#include <vector>

#include "PackholdWriter.h"
#include "compiler/PackageRows.h"
#include "compiler/RuleSource.h"

namespace chatsieve::tools {

// Decompiling puts rows back on their lines with blank lines between them,
// but never more blank lines than this at once: a damaged line number must
// not make a folder huge.
constexpr int kMaxLineGap = 100000;

// Reads `folder`/allow.tsv, if there is one, into rules->allow, resolving rule
// ids against the phrases and combinations already read.
void ReadAllowTable(const std::string& folder, RuleSetSource* rules, std::vector<Diagnostic>* diagnostics);

// `text` (code page 936) without the characters any ignore-set strips, as
// the filter strips a line and, at Init, every allowed expression.
std::string StripLikeALine(const std::string& text, const RuleSetSource& rules);

// Marks each expression that repeats an earlier one, the same bytes once
// stripped and limited to the same rules, as a duplicate of it: only the
// first is written to the package.
void FoldDuplicateAllowed(RuleSetSource* rules);

// The fifth table's columns as the compiler writes them: the two the filter
// reads, the note, and the line each expression was written on.
std::vector<packhold::Column> AllowTableColumns();

// Appends the fifth table when the rule set has allowed expressions; a rule
// named is referred to by every row it compiled to.
void AddAllowTable(const RuleSetSource& rules, const PackageRows& rows, packhold::Package* package);

// The allow.tsv text of a package's fifth table, empty when it has none the
// filter would read. Rules are named by `phraseIds` and `comboIds`; a
// reference to a row that repeats a rule (`repeats`, phrase rows then combination
// rows, true for such a row) names nothing more. False, with `*error`, for a
// table the filter would refuse.
bool DecompileAllowTable(const packhold::Package& package, const std::vector<std::string>& phraseIds,
                         const std::vector<std::string>& comboIds, const std::vector<bool> (&repeats)[2],
                         std::string* text, std::vector<std::string>* notes, std::string* error);

}  // namespace chatsieve::tools

#endif
