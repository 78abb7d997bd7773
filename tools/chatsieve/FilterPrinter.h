// How "chatsieve filter" writes what it found in each line: as text, a
// LEVEL<TAB>MASKED line with indented notes under it, or as one JSON object a
// line. The command tells a printer a line's records in one order (the line,
// its deciding rule, the masking passes, the allowed expressions, why it
// went through); each printer says how a record reads and which it leaves
// out, and writes the line's output to standard output at End.
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_FILTERPRINTER_H
#define CHATSIEVE_TOOLS_CHATSIEVE_FILTERPRINTER_H

#include <memory>
#include <string>
#include <vector>

#include "CScreener.h"
#include "CWhyNot.h"
#include "compiler/CCodePage936.h"

namespace chatsieve::tools {

class IFilterPrinter {
public:
    virtual ~IFilterPrinter() = default;

    // A line that was not screened, whose reason is already on standard error.
    virtual void Refused(const std::string& file, int number, const TextError& error) = 0;

    // Starts a screened line. `text` is the line in code page 936 and
    // `columns` the 1-based character column of each of its bytes (needed
    // only for the records after this one); both must outlive End.
    virtual void Begin(const std::string& file, int number, const std::string& text, const std::vector<int>& columns,
                       int level, const std::string& masked) = 0;
    // The rule that decided the line, the span it matched and its parts.
    virtual void Rule(const Explanation& explanation) = 0;
    // Every span masking replaced, with the rule behind each pass.
    virtual void Passes(const std::vector<MaskPass>& passes) = 0;
    // The allowed expressions that changed what decides the line.
    virtual void Allowed(const AllowedExplanation& allowed) = 0;
    // What keeps a line of level 0 from matching, and the nearest rules.
    virtual void WhyNot(const WhyNotReport& report) = 0;
    virtual void End() = 0;
};

// `utf8`: the line came as UTF-8 and goes out so; otherwise its code page
// 936 bytes are written as they are.
std::unique_ptr<IFilterPrinter> MakeTextPrinter(bool utf8);
// JSON is always UTF-8.
std::unique_ptr<IFilterPrinter> MakeJsonPrinter();

// What both printers show alike.
namespace printed {

// "CDE2B9D2": the bytes of a span, as --explain and JSON give them.
std::string Hex(const std::string& bytes);
// The column of byte `at`, or 0 outside the line.
int ColumnAt(const std::vector<int>& columns, int at);
// Bytes start to end of `line`; empty when the span is not in it.
std::string Slice(const std::string& line, int start, int end);
// "allow.tsv:7", "allow.tsv row 1" for a package that does not say, or what
// an English word let through is.
std::string AllowedPlace(const AllowedMatch& match);

}  // namespace printed

}  // namespace chatsieve::tools

#endif
