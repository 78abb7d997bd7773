// CFilterCommand: "chatsieve filter". Screens lines from files or standard
// input with the filter and prints, for each, its level and masked copy in
// the encoding it came in; --explain adds the deciding rule, the bytes it
// matched and the written form of each syllable, and the allowed expressions
// that let a match through with what would decide without them; --json prints
// one object a line instead; --why-not says what keeps a line of level 0
// from matching and which rules came closest. UTF-8 input is converted to code page 936 for the filter and
// back; a character the code page lacks becomes '?' as in a client's own
// conversion, noted with its line and column (--strict refuses the line).
#ifndef CHATSIEVE_TOOLS_CHATSIEVE_CFILTERCOMMAND_H
#define CHATSIEVE_TOOLS_CHATSIEVE_CFILTERCOMMAND_H

#include <cstdio>
#include <string>
#include <vector>

#include "CScreener.h"
#include "Commands.h"
#include "compiler/CCodePage936.h"

namespace chatsieve::tools {

class CFilterCommand {
public:
    int Run(const Arguments& args);

private:
    int ParseArguments(const Arguments& args);
    int ScreenAll();
    // Screens every line of `stream`; false when a line could not be screened.
    bool ScreenLine(const std::string& raw, const std::string& name, int lineNumber);
    void PrintExplanation(const Explanation& explanation, const std::string& line, const std::vector<int>& columns);
    std::string JsonExplanation(const Explanation& explanation, const std::string& line,
                                const std::vector<int>& columns) const;
    // What keeps a line of level 0 from matching, and the nearest rules.
    void PrintWhyNot(const WhyNotReport& report, const std::vector<int>& columns);
    std::string JsonWhyNot(const WhyNotReport& report, const std::vector<int>& columns) const;
    std::string JsonSteps(const std::vector<WhyNotStep>& steps, const std::vector<int>& columns) const;
    // Every span masking replaced, with the rule behind each pass.
    void PrintPasses(const std::vector<MaskPass>& passes, const std::vector<int>& columns);
    std::string JsonPasses(const std::vector<MaskPass>& passes, const std::vector<int>& columns) const;
    void NoteReplacements(const std::string& name, int lineNumber, const TextError& first, int count) const;
    // The allowed expressions that changed what decides a line.
    void PrintAllowed(const AllowedExplanation& allowed, const std::string& line, const std::vector<int>& columns);
    std::string JsonAllowed(const AllowedExplanation& allowed, const std::string& line,
                            const std::vector<int>& columns) const;
    // A text of the line's code page in the output encoding (UTF-8 for JSON).
    std::string Shown(const std::string& cp936, bool forJson) const;

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
};

}  // namespace chatsieve::tools

#endif
