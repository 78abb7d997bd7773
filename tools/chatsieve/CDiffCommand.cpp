// diff: screens the same logs with two rule packages and reports the lines
// whose level or masked copy changed, grouped by the rule that decided them.
// One filter lives in a process, so each package is screened by its own
// process (scan --lines); the two run side by side and are read in step.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "CArgumentParser.h"
#include "CLineSource.h"
#include "Commands.h"
#include "compiler/CCodePage936.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

namespace {

const char kDiffHelp[] =
    "usage: chatsieve diff [--encoding utf-8|gbk] OLD.res NEW.res LOG...\n"
    "\n"
    "Screens every line of the LOGs with both rule packages and prints the lines\n"
    "whose level or masked copy changed, grouped by the rule that decided them\n"
    "(under NEW.res, or under OLD.res when NEW.res finds nothing), with counts:\n"
    "\n"
    "  RULE: N lines\n"
    "    FILE:LINE: OLD-LEVEL -> NEW-LEVEL: \"OLD-MASKED\" -> \"NEW-MASKED\"\n"
    "\n"
    "A LOG of '-' is standard input (once). Lines are read as scan reads them: a\n"
    "UTF-8 log that reads as GBK is refused, and only the first 1048576 bytes of a\n"
    "longer line are compared.\n"
    "\n"
    "Exit status: 0 compared (whether or not lines changed), 1 a package or log\n"
    "could not be read, 2 wrong usage.\n";

struct Screened {
    int level = 0;
    std::string rule;
    std::string masked;  // code page 936
};

bool ReadRecord(std::FILE* in, Screened* out) {
    std::string record;
    int c = 0;
    while ((c = std::getc(in)) != EOF && c != '\n') record.push_back(static_cast<char>(c));
    if (c == EOF && record.empty()) return false;
    const std::size_t tab = record.find('\t');
    const std::size_t tab2 = tab == std::string::npos ? tab : record.find('\t', tab + 1);
    if (tab2 == std::string::npos) return false;
    out->level = std::atoi(record.c_str());
    out->rule = record.substr(tab + 1, tab2 - tab - 1);
    out->masked = record.substr(tab2 + 1);
    return true;
}

// Standard input copied to `path`, so that both packages' workers, and the
// naming of lines, read the same bytes.
bool SaveStandardInput(const std::filesystem::path& path) {
    std::FILE* out = std::fopen(path.string().c_str(), "wb");
    if (!out) return false;
    char buffer[65536];
    std::size_t n = 0;
    bool ok = true;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) ok = std::fwrite(buffer, 1, n, out) == n && ok;
    ok = !std::ferror(stdin) && ok;
    return std::fclose(out) == 0 && ok;
}

}  // namespace

int RunDiff(const Arguments& args) {
    namespace fs = std::filesystem;
    std::vector<std::string> positional;
    bool utf8 = true;
    const char* const encodingWanted = "--encoding is utf-8 or gbk";
    int status = kExitOk;
    if (!CArgumentParser("diff", kDiffHelp)
             .HelpOnlyAsOption()
             .Option({"--encoding"}, encodingWanted,
                     [&utf8, encodingWanted](const std::string& value) {
                         if (value != "utf-8" && value != "utf8" && value != "gbk" && value != "cp936")
                             return std::string(encodingWanted);
                         utf8 = value == "utf-8" || value == "utf8";
                         return std::string();
                     })
             .Positionals(&positional)
             .Parse(args, &status))
        return status;
    if (positional.size() < 3) return UsageError("diff", "give OLD.res, NEW.res and one or more logs");
    const std::vector<std::string> names(positional.begin() + 2, positional.end());
    if (std::count(names.begin(), names.end(), "-") > 1) return UsageError("diff", "give standard input ('-') once");
    for (int i = 0; i < 2; ++i) {
        std::error_code ec;
        if (!fs::is_regular_file(positional[static_cast<std::size_t>(i)], ec)) {
            std::fprintf(stderr, "chatsieve diff: %s: no such rule package\n",
                         positional[static_cast<std::size_t>(i)].c_str());
            return kExitFailure;
        }
    }

    std::error_code ec;
    const fs::path stage =
        fs::temp_directory_path(ec) /
        ("chatsieve-diff-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    // The logs as the workers read them: standard input is read once, here.
    std::vector<std::string> logs = names;
    for (std::string& log : logs) {
        if (log != "-") continue;
        log = (stage / "standard-input").string();
        if (!fs::create_directories(stage, ec) || !SaveStandardInput(log)) {
            std::fprintf(stderr, "chatsieve diff: cannot keep standard input in %s\n", log.c_str());
            fs::remove_all(stage, ec);
            return kExitFailure;
        }
    }
    // Each worker stages its package itself, and names the user's file in
    // its messages.
    const auto command = [&](const std::string& package) {
        std::string line = QuoteArgument(ExecutableFolder() + "/chatsieve") + " scan --lines --encoding " +
                           (utf8 ? "utf-8" : "gbk") + " --package " + QuoteArgument(package);
        for (const std::string& log : logs) line += " " + QuoteArgument(log);
        return line;
    };
    std::FILE* oldRun = StartCommand(command(positional[0]));
    std::FILE* newRun = StartCommand(command(positional[1]));

    // Changed lines by the rule that decided them, in the order first seen.
    std::map<std::string, std::vector<std::string>> changes;
    std::vector<std::string> order;
    long long lines = 0, changed = 0;
    const CCodePage936& cp = CCodePage936::Instance();
    if (oldRun && newRun) {
        std::size_t logIndex = 0;
        CLineSource source;  // only to name each line's file and number
        bool open = source.Open(logs[0], utf8);
        source.SetMaxLength(kMaxScreenedLine);
        std::string raw;
        Screened before, after;
        while (ReadRecord(oldRun, &before)) {
            if (!ReadRecord(newRun, &after)) {
                status = kExitFailure;
                break;
            }
            while (open && !source.Next(&raw) && ++logIndex < logs.size()) {
                open = source.Open(logs[logIndex], utf8);
                source.SetMaxLength(kMaxScreenedLine);
            }
            ++lines;
            if (before.level == after.level && before.masked == after.masked) continue;
            ++changed;
            const std::string rule = after.level > 0 ? after.rule : before.rule;
            if (!changes.count(rule)) order.push_back(rule);
            std::string where =
                logIndex < logs.size() ? names[logIndex] + ":" + std::to_string(source.LineNumber()) : "?";
            changes[rule].push_back(where + ": " + std::to_string(before.level) +
                                    (before.level > 0 && before.rule != rule ? " (" + before.rule + ")" : "") + " -> " +
                                    std::to_string(after.level) + ": \"" + cp.ToUtf8Lenient(before.masked) +
                                    "\" -> \"" + cp.ToUtf8Lenient(after.masked) + "\"");
        }
        if (ReadRecord(newRun, &after)) status = kExitFailure;
    } else {
        status = kExitFailure;
    }
    if (oldRun && WaitCommand(oldRun) != 0) status = kExitFailure;
    if (newRun && WaitCommand(newRun) != 0) status = kExitFailure;
    fs::remove_all(stage, ec);
    if (status != kExitOk) {
        std::fprintf(stderr, "chatsieve diff: the logs could not be screened with both packages\n");
        return status;
    }
    std::string out;
    for (const std::string& rule : order) {
        out += (rule.empty() ? std::string("no rule") : rule) + ": " + std::to_string(changes[rule].size()) +
               (changes[rule].size() == 1 ? " line\n" : " lines\n");
        for (const std::string& line : changes[rule]) out += "  " + line + "\n";
    }
    out += std::to_string(changed) + " of " + std::to_string(lines) + " lines changed\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kExitOk;
}

}  // namespace chatsieve::tools
