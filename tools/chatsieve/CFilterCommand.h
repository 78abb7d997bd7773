// CFilterCommand: "chatsieve filter". Screens lines from files or standard
// input with the filter and prints, for each, its level and masked copy in
// the encoding it came in; --explain adds the deciding rule, the bytes it
// matched and the written form of each syllable, and the allowed expressions
// that let a match through with what would decide without them; --json prints
// one object a line instead; --why-not says what keeps a line of level 0
// from matching and which rules came closest. The command finds these and
// hands them to a printer (FilterPrinter.h), which writes them as text or
// JSON. UTF-8 input is converted to code page 936 for the filter and back; a
// character the code page lacks becomes '?' as in a client's own conversion,
// noted with its line and column (--strict refuses the line).
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_CFILTERCOMMAND_H
#define CHATSIEVE_TOOLS_CHATSIEVE_CFILTERCOMMAND_H

#include <memory>
#include <string>
#include <vector>

#include "CScreener.h"
#include "Commands.h"
#include "FilterPrinter.h"
#include "compiler/CCodePage936.h"

namespace chatsieve::tools {

class CFilterCommand {
public:
    int Run(const Arguments& args);

private:
    // False when the command is to stop, with `*status` its exit status.
    bool ParseArguments(const Arguments& args, int* status);
    int ScreenAll();
    // Screens one line and prints what was found; false when it could not
    // be screened.
    bool ScreenLine(const std::string& raw, const std::string& name, int lineNumber);
    void NoteReplacements(const std::string& name, int lineNumber, const TextError& first, int count) const;

    std::string m_root;
    std::string m_package;
    int m_minLevel = 1;
    bool m_utf8 = true;
    bool m_explain = false;
    bool m_json = false;
    bool m_strict = false;
    bool m_whyNot = false;
    std::vector<std::string> m_files;
    CScreener m_screener;
    std::unique_ptr<IFilterPrinter> m_printer;  // text or JSON
};

}  // namespace chatsieve::tools

#endif
