// The rule package a rule set compiles to: the rows PackageRows lays out,
// written as the tables and columns of format/RulePackage.h. Beside the
// columns the filter reads, each rule row carries its id, its text as
// written, the row it repeats (variant), where it was written and its tags;
// packages with written-mode phrases carry each phrase's mode and edges and
// the fold table. The same rule set always gives the same package.
#ifndef CHATSIEVE_TOOLS_COMPILER_PACKAGETABLES_H
#define CHATSIEVE_TOOLS_COMPILER_PACKAGETABLES_H

#include "PackholdWriter.h"
#include "compiler/RuleSource.h"

namespace chatsieve::tools {

// The package of a rule set that the compiler read without errors.
packhold::Package MakeRulePackage(const RuleSetSource& rules);

}  // namespace chatsieve::tools

#endif
