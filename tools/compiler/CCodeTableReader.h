// CCodeTableReader: the two tables of a rule folder that say which bytes
// stand for what, ignore.tsv (the ignore-sets and the log switch) and
// syllables.tsv (each syllable's pinyin, code ranges and split form), read
// into a RuleSetSource with an error for everything the filter's loader
// would refuse. The rules are read after them and resolve against them.
#ifndef CHATSIEVE_TOOLS_COMPILER_CCODETABLEREADER_H
#define CHATSIEVE_TOOLS_COMPILER_CCODETABLEREADER_H

#include <string>
#include <vector>

#include "compiler/CAuthoringTable.h"
#include "compiler/RuleSource.h"

namespace chatsieve::tools {

class CCodeTableReader {
public:
    // Errors are appended to `diagnostics`, which must outlive the reader.
    explicit CCodeTableReader(std::vector<Diagnostic>* diagnostics) : m_diagnostics(diagnostics) {}

    void ReadIgnore(const CAuthoringTable& table, RuleSetSource* rules);
    // Also indexes each syllable by its lower-case pinyin (syllableRows).
    void ReadSyllables(const CAuthoringTable& table, RuleSetSource* rules);

private:
    void AddError(const SourcePos& pos, std::string message);

    std::vector<Diagnostic>* m_diagnostics;
};

}  // namespace chatsieve::tools

#endif
