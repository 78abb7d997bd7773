// The scan report as one self-contained HTML page: no scripts, nothing
// fetched, charts as inline SVG, every text from logs and rules escaped.
// Its sections, in order: a summary; the rule package screened with; charts
// of flagged lines per level, the top rules and hits by written form; the
// likely false positives, with allow.tsv rows that would let them through,
// ready to paste; every rule that decided lines, with its expression, tags
// and mode; a roll-up of lines by tag and level; the rules that never
// fired; and sample lines of each rule. Samples show what the rule matched
// marked.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_SCANREPORT_H
#define CHATSIEVE_TOOLS_CHATSIEVE_SCANREPORT_H

#include <string>
#include <vector>

#include "ScanPackage.h"
#include "ScanTally.h"

namespace chatsieve::tools {

// The page for `tally`, a scan of `logs` with `package`.
std::string ScanReportHtml(const CScanTally& tally, const PackageSummary& package,
                           const std::vector<std::string>& logs);

// The allow.tsv text (header included) suggested for the tally's likely
// false positives: one row an expression, limited to the rules it was
// caught by when they all have ids, the rules and line counts in its note.
std::string SuggestedAllowRows(const CScanTally& tally, const PackageSummary& package);

// "phrase phrases.tsv:390 诱奸" for a rule without an id, whose name alone
// tells a reader nothing, its expression cut after `characters`; the name
// for any other.
std::string Label(const PackageSummary& package, const std::string& name, int characters);

}  // namespace chatsieve::tools

#endif
