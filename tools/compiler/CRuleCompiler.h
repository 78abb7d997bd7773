// CRuleCompiler: turns a folder in the authoring format into the rule package
// the filter loads. Reading resolves every name: a phrase written in
// characters takes, for each character, the syllable whose code ranges hold
// it (the first such syllable in table order), a pinyin word the syllable of
// that name in any letter case, and a combination part a phrase id, a
// syllable's pinyin or a single character. Everything the filter's loader
// would refuse is an error with its place, and no package is made then.
//
// The package holds the four tables in the loader's order with its columns,
// plus "id" and "text" columns in the rule tables that the filter ignores and
// that let the tools name rules and give back the rules as they were written,
// and "file", "line" and "tags" columns: where each rule was written (the
// file's name within the folder) and its tags, for the tools to report.
// The same folder always gives the same package bytes.
#ifndef CHATSIEVE_TOOLS_COMPILER_CRULECOMPILER_H
#define CHATSIEVE_TOOLS_COMPILER_CRULECOMPILER_H

#include <string>
#include <unordered_map>
#include <vector>

#include "PackholdWriter.h"
#include "compiler/CAuthoringTable.h"
#include "compiler/RuleSource.h"

namespace chatsieve::tools {

class CWordLists;

// A list entry longer than this is left out unread: no phrase can hold it.
constexpr int kMaxListEntryCharacters = 256;

class CRuleCompiler {
public:
    // Reads the four tables of `folder` and its word lists (CWordLists); messages name the files as
    // `folder`/NAME. False when any error was found.
    bool Read(const std::string& folder, RuleSetSource* rules, std::vector<Diagnostic>* diagnostics);

    // The package of a rule set that Read accepted (MakeRulePackage).
    static packhold::Package MakePackage(const RuleSetSource& rules);

    // Read, then encode with the filter's key and write atomically to `output`.
    // On any error nothing is written and an existing file is left as it was.
    bool Build(const std::string& folder, const std::string& output, std::vector<Diagnostic>* diagnostics);
    // Encodes a rule set that Read accepted and writes it atomically to `output`.
    static bool Write(const RuleSetSource& rules, const std::string& output, std::vector<Diagnostic>* diagnostics);

private:
    void ReadPhrases(const CAuthoringTable& table, RuleSetSource* rules);
    // The expression of `phrase` (text, textPos, match) into its parts; false
    // with errors when it cannot be expressed. `rowOk`: the row's other
    // fields read well (checks of the whole expression wait for that).
    bool ReadExpression(RuleSetSource* rules, RuleSource* phrase, bool rowOk);
    // Each entry of the lists becomes a phrase after those of phrases.tsv.
    void ReadWordLists(const CWordLists& lists, RuleSetSource* rules);
    void ReadCombos(const CAuthoringTable& table, RuleSetSource* rules);
    void CheckRowCounts(const RuleSetSource& rules);
    // The loader's limits on the rows as written, once every rule has its
    // variant and full-width rows.
    void CheckPackageLimits(const RuleSetSource& rules);

    bool ReadLevel(const AuthoringField& field, RuleSource* rule);
    // The optional tags: words as ids are written, separated by commas.
    bool ReadTags(const AuthoringField& field, RuleSource* rule);
    bool ReadId(const AuthoringField& field, bool isPhrase, const RuleSetSource& rules, RuleSource* rule);
    void AddError(const SourcePos& pos, std::string message);

    std::vector<Diagnostic>* m_diagnostics = nullptr;
    // Ids of rules already read, both tables, with where they were written.
    std::unordered_map<std::string, SourcePos> m_ids;
};

// "syllables.tsv (shipped)": how messages name a shipped table that a rule
// folder left out and that was used in its place.
std::string ShippedTableName(const char* name);

// Joins a folder and a file name with '/', which every system the tools run
// on accepts.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace chatsieve::tools

#endif
