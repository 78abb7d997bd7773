// test: runs the cases of rule test files. A case is a line of chat, the
// level it must get (exactly, or a bound such as >=40) and, optionally, the
// masked copy it must give; a failing case is printed with the rule that
// decided the line.
#include <cstdlib>

#include "CArgumentParser.h"
#include "CLineSource.h"
#include "CScreener.h"
#include "Commands.h"
#include "ScanTally.h"
#include "compiler/CCodePage936.h"
#include "compiler/Utf8.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

namespace {

const char kTestHelp[] =
    "usage: chatsieve test [--root DIR | --package FILE] CASES...\n"
    "\n"
    "Screens the cases of each CASES file and prints every case that fails as\n"
    "FILE:LINE: expected ..., got ... (the deciding rule), then a summary line\n"
    "naming the rule package the cases ran against.\n"
    "A cases file is UTF-8 and tab-separated, one case a line:\n"
    "\n"
    "  LINE<TAB>LEVEL[<TAB>MASKED]\n"
    "\n"
    "LEVEL is the level the line must get (0: none), or a bound: >=N, >N, <=N,\n"
    "<N. MASKED, when given, is the copy it must give with every expression of\n"
    "level 1 or more masked. The filter masks bytes of code page 936, so MASKED\n"
    "has one '*' per byte: two for each Chinese character, one for each ASCII\n"
    "character ('卖私服' masked whole is '******', '卖' kept is '卖****').\n"
    "Empty lines and lines starting with '#' are skipped. Characters code page\n"
    "936 lacks are screened as '?', as a client sends them; a line holding a\n"
    "NUL byte is refused, as the filter would end the line there.\n"
    "\n"
    "  --package FILE  use the rule package FILE, such as one just built\n"
    "  --root DIR      the folder holding Data/Scp/Chatsieve.res (default: the\n"
    "                  rule set shipped beside this program)\n"
    "\n"
    "Exit status: 0 every case passed, 1 a case failed, a cases file is malformed\n"
    "or unreadable, or the rules could not be loaded; 2 wrong usage.\n";

struct Case {
    std::string line;   // UTF-8
    std::string bound;  // "", ">=", ">", "<=", "<"
    int level = 0;
    bool hasMasked = false;
    std::string masked;  // UTF-8
};

// The 1-based character column of byte `at` of a UTF-8 text.
int ColumnOf(const std::string& text, std::size_t at) {
    int column = 1;
    for (std::size_t i = 0; i < at && i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;
    return column;
}

// Parses one case; false with the byte offset of the fault and a message.
bool ParseCase(const std::string& text, Case* out, std::size_t* at, std::string* message) {
    for (std::size_t pos = 0; pos < text.size();) {
        std::uint32_t cp = 0;
        const std::size_t start = pos;
        if (!DecodeUtf8(text, &pos, &cp)) {
            *at = start;
            *message = "invalid UTF-8";
            return false;
        }
    }
    const std::size_t tab = text.find('\t');
    if (tab == std::string::npos) {
        *at = text.size();
        *message = "expected a tab and the level after the line";
        return false;
    }
    out->line = text.substr(0, tab);
    const std::size_t nul = out->line.find('\0');
    if (nul != std::string::npos) {
        *at = nul;
        *message = "a NUL byte, which would end the line for the filter";
        return false;
    }
    const std::size_t levelStart = tab + 1;
    const std::size_t tab2 = text.find('\t', levelStart);
    const std::string level =
        text.substr(levelStart, tab2 == std::string::npos ? std::string::npos : tab2 - levelStart);
    std::size_t digits = 0;
    for (const char* bound : {">=", "<=", ">", "<", "="}) {
        if (level.compare(0, std::char_traits<char>::length(bound), bound) == 0) {
            out->bound = bound == std::string("=") ? "" : bound;
            digits = std::char_traits<char>::length(bound);
            break;
        }
    }
    const std::string number = level.substr(digits);
    if (number.empty() || number.size() > 4 || number.find_first_not_of("0123456789") != std::string::npos) {
        *at = levelStart;
        *message = "the level '" + level + "' is not a number or a bound such as >=40";
        return false;
    }
    out->level = std::atoi(number.c_str());
    if (tab2 != std::string::npos) {
        out->hasMasked = true;
        out->masked = text.substr(tab2 + 1);
        const std::size_t tab3 = out->masked.find('\t');
        if (tab3 != std::string::npos) {
            *at = tab2 + 1 + tab3;
            *message = "too many fields: a case is LINE, LEVEL and an optional MASKED";
            return false;
        }
    }
    return true;
}

bool Meets(const Case& c, int level) {
    if (c.bound == ">=") return level >= c.level;
    if (c.bound == ">") return level > c.level;
    if (c.bound == "<=") return level <= c.level;
    if (c.bound == "<") return level < c.level;
    return level == c.level;
}

}  // namespace

int RunTest(const Arguments& args) {
    std::string root, package;
    std::vector<std::string> files;
    int status = kExitOk;
    if (!CArgumentParser("test", kTestHelp)
             .HelpOnlyAsOption()
             .Option({"--root"}, "--root needs a folder", &root)
             .Option({"--package"}, "--package needs a rule package", &package)
             .Positionals(&files)
             .Parse(args, &status))
        return status;
    if (files.empty()) return UsageError("test", "give one or more cases files");
    if (!root.empty() && !package.empty()) return UsageError("test", "give --root or --package, not both");
    if (root.empty()) root = ExecutableFolder().empty() ? "." : ExecutableFolder();
    CScreener screener;
    std::string error;
    if (!(package.empty() ? screener.Open(root, &error) : screener.OpenPackage(package, &error))) {
        std::fprintf(stderr, "chatsieve test: %s\n", error.c_str());
        return kExitFailure;
    }
    const CCodePage936& cp = CCodePage936::Instance();
    int cases = 0, failed = 0;
    bool malformed = false;
    for (const std::string& file : files) {
        CLineSource source;
        if (!source.Open(file, true)) {
            std::fprintf(stderr, "chatsieve test: cannot open %s\n", file.c_str());
            malformed = true;
            continue;
        }
        std::string text;
        while (source.Next(&text)) {
            if (text.empty() || text[0] == '#') continue;
            Case c;
            std::size_t at = 0;
            std::string message;
            if (!ParseCase(text, &c, &at, &message)) {
                std::fprintf(stderr, "%s:%d:%d: %s\n", file.c_str(), source.LineNumber(), ColumnOf(text, at),
                             message.c_str());
                malformed = true;
                continue;
            }
            ++cases;
            std::string line, masked;
            TextError first;
            ToFilterText(c.line, true, &line, &first);
            const int level = screener.Screen(line, 1, &masked);
            const std::string shown = cp.ToUtf8Lenient(masked);
            const bool levelOk = Meets(c, level), maskOk = !c.hasMasked || shown == c.masked;
            if (levelOk && maskOk) continue;
            ++failed;
            Explanation explanation;
            const std::string rule =
                level > 0 && screener.Explain(line, &explanation) ? RuleName(explanation) : "no rule";
            std::string report = file + ":" + std::to_string(source.LineNumber()) + ": ";
            if (!levelOk)
                report += "expected level " + c.bound + std::to_string(c.level) + ", got " + std::to_string(level);
            else
                report += "expected \"" + c.masked + "\", got \"" + shown + "\" (level " + std::to_string(level) +
                          "; one '*' per code page 936 byte)";
            report += " (" + rule + "): " + c.line + "\n";
            std::fwrite(report.data(), 1, report.size(), stdout);
        }
        if (source.ReadsAsGbk()) {
            std::fprintf(stderr, "%s:%d:1: the file is GBK, not UTF-8; save it as UTF-8\n", file.c_str(),
                         source.LineNumber());
            malformed = true;
        }
        if (!source.Good()) {
            std::fprintf(stderr, "chatsieve test: cannot read %s\n", file.c_str());
            malformed = true;
        }
    }
    if (failed)
        std::printf("%d of %d cases failed with %s\n", failed, cases, screener.PackagePath().c_str());
    else
        std::printf("%d cases passed with %s\n", cases, screener.PackagePath().c_str());
    return failed || malformed ? kExitFailure : kExitOk;
}

}  // namespace chatsieve::tools
