#include "CFilterCommand.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CArgumentParser.h"
#include "CLineSource.h"
#include "compiler/CCodePage936.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

int RunFilter(const Arguments& args) { return CFilterCommand().Run(args); }

namespace {

const char kMinLevelWanted[] = "--min-level needs a level of 0 or more";
const char kEncodingWanted[] = "--encoding is utf-8 or gbk";

const char kFilterHelp[] =
    "usage: chatsieve filter [--root DIR | --package FILE] [--min-level N] [--encoding gbk|utf-8]\n"
    "                        [--explain] [--why-not] [--json] [--strict] [FILE...]\n"
    "\n"
    "Screens each line of the FILEs (standard input without any, or for '-') and\n"
    "prints LEVEL<TAB>MASKED: the worst level in the line (0: nothing found) and\n"
    "the line with every banned expression of level N or more replaced by '*'.\n"
    "\n"
    "  --package FILE    use the rule package FILE instead of one under --root\n"
    "  --root DIR        the folder holding Data/Scp/Chatsieve.res (default: the\n"
    "                    rule set shipped beside this program)\n"
    "  --min-level N     mask expressions of level N and above (default 1)\n"
    "  --encoding E      input and output encoding: utf-8 (default) or gbk (code\n"
    "                    page 936, passed to the filter unchanged); a file that\n"
    "                    reads as GBK is refused without --encoding gbk\n"
    "  --explain         after each line with a level, name the rule that decided,\n"
    "                    the bytes it matched and how each syllable was written,\n"
    "                    and when masking took several passes, each pass's span\n"
    "                    and rule; after a line where allowed expressions let a\n"
    "                    match through, name them and what decides without them\n"
    "  --why-not         after each line of level 0, name what in it keeps rules\n"
    "                    from matching (characters in no syllable's ranges,\n"
    "                    full-width letters, fillers not stripped) and the rules\n"
    "                    closest to matching, with where each syllable matched or\n"
    "                    failed and why\n"
    "  --json            one JSON object a line (always UTF-8)\n"
    "\n"
    "  --strict          refuse UTF-8 lines that code page 936 cannot hold\n"
    "\n"
    "A character of a UTF-8 line that code page 936 lacks, and each invalid UTF-8\n"
    "sequence, is screened as '?', as a client's conversion to its code page\n"
    "writes it, and noted on standard error as FILE:LINE:COLUMN: message. With\n"
    "--strict such a line is not screened: it is reported the same way (with\n"
    "--json also as an object with an \"error\"), and the exit status is 1.\n"
    "\n"
    "Exit status: 0 every line screened, 1 a line or file could not be screened or\n"
    "the rules could not be loaded, 2 wrong usage.\n";

}  // namespace

bool CFilterCommand::ParseArguments(const Arguments& args, int* status) {
    using Value = CArgumentParser::Value;
    return CArgumentParser("filter", kFilterHelp)
        .Option({"--root"}, "--root needs a folder", &m_root, Value::kNextOrJoined)
        .Option({"--package"}, "--package needs a rule package", &m_package, Value::kNextOrJoined)
        .Option(
            {"--min-level"}, kMinLevelWanted,
            [this](const std::string& value) {
                char* end = nullptr;
                const long level = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end || level < 0 || level > 1000000) return std::string(kMinLevelWanted);
                m_minLevel = static_cast<int>(level);
                return std::string();
            },
            Value::kNextOrJoined)
        .Option(
            {"--encoding"}, kEncodingWanted,
            [this](const std::string& value) {
                if (value == "utf-8" || value == "utf8" || value == "UTF-8")
                    m_utf8 = true;
                else if (value == "gbk" || value == "GBK" || value == "cp936")
                    m_utf8 = false;
                else
                    return std::string(kEncodingWanted);
                return std::string();
            },
            Value::kNextOrJoined)
        .Flag({"--explain"}, &m_explain)
        .Flag({"--why-not"}, &m_whyNot)
        .Flag({"--json"}, &m_json)
        .Flag({"--strict"}, &m_strict)
        .Positionals(&m_files)
        .Parse(args, status);
}

int CFilterCommand::Run(const Arguments& args) {
    int status = kExitOk;
    if (!ParseArguments(args, &status)) return status;
    m_printer = m_json ? MakeJsonPrinter() : MakeTextPrinter(m_utf8);
    if (m_root.empty()) {
        m_root = ExecutableFolder();
        if (m_root.empty()) m_root = ".";
    }
    std::string error;
    if (!(m_package.empty() ? m_screener.Open(m_root, &error) : m_screener.OpenPackage(m_package, &error))) {
        std::fprintf(stderr, "chatsieve filter: %s\n", error.c_str());
        return kExitFailure;
    }
    return ScreenAll();
}

int CFilterCommand::ScreenAll() {
    if (m_files.empty()) m_files.push_back("-");
    bool ok = true;
    std::string line;
    for (const std::string& file : m_files) {
        CLineSource source;
        if (!source.Open(file, m_utf8)) {
            std::fprintf(stderr, "chatsieve filter: cannot open %s\n", file.c_str());
            ok = false;
            continue;
        }
        while (source.Next(&line)) {
            ok = ScreenLine(line, file, source.LineNumber()) && ok;
            std::fflush(stdout);
        }
        if (source.ReadsAsGbk()) {
            std::fprintf(stderr,
                         "%s:%d: the line reads as GBK (code page 936), not UTF-8; give --encoding gbk to screen "
                         "this file\n",
                         file.c_str(), source.LineNumber());
            ok = false;
        }
        if (!source.Good()) {
            std::fprintf(stderr, "chatsieve filter: cannot read %s\n", file.c_str());
            ok = false;
        }
    }
    return ok ? kExitOk : kExitFailure;
}

void CFilterCommand::NoteReplacements(const std::string& name, int lineNumber, const TextError& first,
                                      int count) const {
    std::fprintf(stderr, "%s:%d:%d: %s, screened as '?'", name.c_str(), lineNumber, first.column,
                 first.message.c_str());
    if (count > 1) std::fprintf(stderr, " (and %d more in the line)", count - 1);
    std::fputc('\n', stderr);
}

bool CFilterCommand::ScreenLine(const std::string& raw, const std::string& name, int lineNumber) {
    std::string line;
    // A column per byte costs four times the line: only what is shown of a
    // match needs them, so a plain screen of a huge line goes without.
    std::vector<int> columns;
    std::vector<int>* const wanted = m_explain || m_whyNot || m_json ? &columns : nullptr;
    TextError error;
    bool converted = true;
    if (m_utf8 && m_strict) {
        converted = CCodePage936::Instance().FromUtf8(raw, &line, &error, wanted);
    } else {
        TextError first;
        const int replaced = ToFilterText(raw, m_utf8, &line, &first, wanted);
        if (replaced > 0) NoteReplacements(name, lineNumber, first, replaced);
    }
    const std::size_t nul = converted ? line.find('\0') : std::string::npos;
    if (nul != std::string::npos) {
        if (!wanted) ToFilterText(raw, m_utf8, &line, nullptr, &columns);
        converted = false;
        error.column = columns[nul];
        error.message = "a NUL byte, which would end the line for the filter";
    }
    if (!converted) {
        const std::string where = name + ":" + std::to_string(lineNumber) + ":" + std::to_string(error.column);
        std::fprintf(stderr, "%s: %s\n", where.c_str(), error.message.c_str());
        m_printer->Refused(name, lineNumber, error);
        return false;
    }

    std::string masked;
    const int level = m_screener.Screen(line, m_minLevel, &masked);
    Explanation explanation;
    const bool explained = m_explain && level > 0 && m_screener.Explain(line, &explanation);
    std::vector<MaskPass> passes;
    if (explained) {
        std::string again;
        m_screener.ExplainMasking(line, m_minLevel, &passes, &again);
        // The passes are told from whole checks; the filter's own masking
        // must come to the same bytes, or the list would mislead.
        if (again != masked) {
            std::fprintf(stderr, "%s:%d: the masking passes listed do not give the filter's masked copy\n",
                         name.c_str(), lineNumber);
            passes.clear();
        }
    }
    AllowedExplanation allowed;
    const bool allowedSomething = (m_explain || (m_whyNot && level == 0)) && m_screener.ExplainAllowed(line, &allowed);
    WhyNotReport whyNot;
    const bool askedWhyNot = m_whyNot && level == 0 && m_screener.WhyNot(line, &whyNot);
    m_printer->Begin(name, lineNumber, line, columns, level, masked);
    if (explained) {
        m_printer->Rule(explanation);
        m_printer->Passes(passes);
    }
    if (allowedSomething) m_printer->Allowed(allowed);
    if (askedWhyNot) m_printer->WhyNot(whyNot);
    m_printer->End();
    return true;
}

}  // namespace chatsieve::tools
