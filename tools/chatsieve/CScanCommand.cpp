// scan: screens chat logs and reports, per rule, the lines it decided and the
// written forms that matched; --jobs splits each log into byte ranges that
// worker processes (this program again) screen, since one filter lives in a
// process. Also the line-by-line mode that diff runs on each package.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "CArgumentParser.h"
#include "CLineSource.h"
#include "CScreener.h"
#include "Commands.h"
#include "ScanPackage.h"
#include "ScanReport.h"
#include "ScanTally.h"
#include "compiler/CCodePage936.h"
#include "system/ToolPlatform.h"

namespace chatsieve::tools {

namespace {

const char kScanHelp[] =
    "usage: chatsieve scan [--root DIR | --package FILE] [--encoding utf-8|gbk]\n"
    "                      [--jobs N] [--max-line BYTES] [--report FILE.html] LOG...\n"
    "\n"
    "Screens every line of the LOGs ('-' for standard input) and reports, per rule,\n"
    "how many lines it decided, sample lines, and the written forms that matched:\n"
    "character, variant character, homophone character, pinyin, full-width\n"
    "pinyin, split form, across fillers, inside a longer ASCII word, an English\n"
    "word (filter --explain names them the same). Lines decided through a\n"
    "homophone character, inside a longer ASCII word or through an English word\n"
    "read as pinyin are the likely false positives and come first. Logs are read\n"
    "a line at a time; characters code page 936 lacks are screened as '?' and\n"
    "counted.\n"
    "The first line of the report names the rule package used.\n"
    "\n"
    "  --package FILE    use the rule package FILE instead of one under --root\n"
    "  --root DIR        the folder holding Data/Scp/Chatsieve.res (default: the\n"
    "                    rule set shipped beside this program)\n"
    "  --encoding E      the logs' encoding: utf-8 (default) or gbk; a log that\n"
    "                    reads as GBK is refused without --encoding gbk\n"
    "  --jobs N          screen with N worker processes (default 1)\n"
    "  --max-line BYTES  screen only the first BYTES of a longer line, so memory\n"
    "                    stays bounded (default 1048576)\n"
    "  --report FILE     also write the report as one self-contained HTML page\n"
    "\n"
    "A progress bar goes to standard error when it is a terminal.\n"
    "\n"
    "Exit status: 0 done, 1 a log could not be read or the rules not loaded,\n"
    "2 wrong usage.\n";

struct ScanOptions {
    std::string root;
    std::string package;
    bool utf8 = true;
    int jobs = 1;
    long long maxLine = kMaxScreenedLine;
    std::string report;
    bool lines = false;         // one record a line, for diff
    long long rangeStart = -1;  // a worker's byte range of its one log
    long long rangeEnd = -1;
    std::vector<std::string> logs;
};

// False when the command is to stop, with `*status` its exit status.
bool ParseScanArguments(const Arguments& args, ScanOptions* options, int* status) {
    const char* const maxLineWanted = "--max-line needs a number of bytes from 16 to 1073741824";
    const char* const encodingWanted = "--encoding is utf-8 or gbk";
    const char* const jobsWanted = "--jobs needs a number from 1 to 256";
    const bool parsed = CArgumentParser("scan", kScanHelp)
                            .Option({"--root"}, "--root needs a folder", &options->root)
                            .Option({"--package"}, "--package needs a rule package", &options->package)
                            .Option({"--max-line"}, maxLineWanted,
                                    [options, maxLineWanted](const std::string& value) {
                                        char* end = nullptr;
                                        const long long bytes = std::strtoll(value.c_str(), &end, 10);
                                        if (value.empty() || *end || bytes < 16 || bytes > (1LL << 30))
                                            return std::string(maxLineWanted);
                                        options->maxLine = bytes;
                                        return std::string();
                                    })
                            .Option({"--encoding"}, encodingWanted,
                                    [options, encodingWanted](const std::string& value) {
                                        if (value != "utf-8" && value != "utf8" && value != "gbk" && value != "cp936")
                                            return std::string(encodingWanted);
                                        options->utf8 = value == "utf-8" || value == "utf8";
                                        return std::string();
                                    })
                            .Option({"--jobs", "-j"}, jobsWanted,
                                    [options, jobsWanted](const std::string& value) {
                                        char* end = nullptr;
                                        const long jobs = std::strtol(value.c_str(), &end, 10);
                                        if (value.empty() || *end || jobs < 1 || jobs > 256)
                                            return std::string(jobsWanted);
                                        options->jobs = static_cast<int>(jobs);
                                        return std::string();
                                    })
                            .Option({"--report"}, "--report needs a file", &options->report)
                            .Flag({"--lines"}, &options->lines)
                            .Pair("--worker-range", "--worker-range needs START END",
                                  [options](const std::string& start, const std::string& end) {
                                      options->rangeStart = std::atoll(start.c_str());
                                      options->rangeEnd = std::atoll(end.c_str());
                                      return std::string();
                                  })
                            .Positionals(&options->logs)
                            .Parse(args, status);
    if (!parsed) return false;
    if (options->logs.empty()) {
        *status = UsageError("scan", "give one or more logs");
        return false;
    }
    if (!options->package.empty() && !options->root.empty()) {
        *status = UsageError("scan", "give --root or --package, not both");
        return false;
    }
    if (options->root.empty() && options->package.empty())
        options->root = ExecutableFolder().empty() ? "." : ExecutableFolder();
    return true;
}

class CProgress {
public:
    explicit CProgress(long long total) : m_total(total), m_shown(IsTerminal(stderr)) {}
    ~CProgress() {
        if (m_shown && m_drawn) std::fputs("\r\x1B[K", stderr);
    }
    void Update(long long done) {
        if (!m_shown) return;
        const auto now = std::chrono::steady_clock::now();
        if (m_drawn && now - m_last < std::chrono::milliseconds(200)) return;
        m_last = now;
        m_drawn = true;
        if (m_total <= 0) {
            std::fprintf(stderr, "\r%lld MB screened", done >> 20);
        } else {
            const int width = 40;
            const int filled = static_cast<int>(done * width / m_total);
            std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled,
                         "========================================", width - filled, "",
                         static_cast<int>(done * 100 / m_total));
        }
        std::fflush(stderr);
    }

private:
    long long m_total;
    bool m_shown;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last;
};

// Screens the lines of one log (or its byte range) into `tally`, or prints
// one record a line when `lines` is set. False when it could not be read.
bool ScanLog(CScreener& screener, const ScanOptions& options, const std::string& log, long long start, long long end,
             CScanTally* tally, CProgress* progress, long long doneBefore) {
    CLineSource source;
    if (!source.Open(log, options.utf8, start, end)) {
        std::fprintf(stderr, "chatsieve scan: cannot open %s\n", log.c_str());
        return false;
    }
    source.SetMaxLength(static_cast<std::size_t>(options.maxLine));
    std::string raw, text, masked;
    long long sinceUpdate = 0;
    while (source.Next(&raw)) {
        TextError first;
        const int replaced = ToFilterText(raw, options.utf8, &text, &first);
        if (source.Cut()) tally->AddCut();
        const int level = screener.Screen(text, 1, &masked);
        Explanation explanation;
        const bool explained = level > 0 && screener.Explain(text, &explanation);
        const std::string rule = explained ? RuleName(explanation) : level > 0 ? "unknown rule" : "";
        if (options.lines) {
            std::printf("%d\t%s\t%s\n", level, rule.c_str(), masked.c_str());
            continue;
        }
        tally->AddLine(level, replaced);
        if (level > 0) {
            const unsigned forms = explained ? WrittenForms(explanation, text) : 0;
            tally->AddDecision(rule, level, forms, MakeSample(log, source.LineNumber(), text, explanation, forms));
            if (IsSuspicious(forms))
                for (const std::string& suspect : SuspectExpressions(explanation, text))
                    tally->AddSuspect(rule, CCodePage936::Instance().ToUtf8Lenient(suspect));
        }
        if (++sinceUpdate == 4096 && progress) {
            progress->Update(doneBefore + source.BytesRead());
            sinceUpdate = 0;
        }
    }
    if (!options.lines) tally->AddBytes(source.BytesRead());
    if (source.ReadsAsGbk()) {
        // A worker's line numbers count from its range, so name the file only.
        std::fprintf(stderr,
                     "chatsieve scan: %s reads as GBK (code page 936), not UTF-8; give --encoding gbk to screen it\n",
                     log.c_str());
        return false;
    }
    if (!source.Good()) {
        std::fprintf(stderr, "chatsieve scan: cannot read %s\n", log.c_str());
        return false;
    }
    return true;
}

// The rules of this run, as a worker is told them.
std::string RulesArguments(const ScanOptions& options) {
    return options.package.empty() ? "--root " + QuoteArgument(options.root)
                                   : "--package " + QuoteArgument(options.package);
}

std::string WorkerCommand(const ScanOptions& options, const std::string& log, long long start, long long end) {
    return QuoteArgument(ExecutableFolder() + "/chatsieve") + " scan " + RulesArguments(options) + " --encoding " +
           (options.utf8 ? "utf-8" : "gbk") + " --max-line " + std::to_string(options.maxLine) + " --worker-range " +
           std::to_string(start) + " " + std::to_string(end) + " " + QuoteArgument(log);
}

// Screens one log with `jobs` workers, each on a byte range; their tallies
// come back in order, so sample line numbers can be made whole.
bool ScanLogInParts(const ScanOptions& options, const std::string& log, long long size, CScanTally* tally) {
    const long long linesBefore = tally->Lines();
    std::vector<std::FILE*> workers;
    for (int i = 0; i < options.jobs; ++i) {
        const long long start = size * i / options.jobs, end = size * (i + 1) / options.jobs;
        std::FILE* worker = StartCommand(WorkerCommand(options, log, start, end));
        if (!worker) std::fprintf(stderr, "chatsieve scan: cannot start a worker for %s\n", log.c_str());
        workers.push_back(worker);
    }
    bool ok = true;
    for (std::FILE* worker : workers) {
        if (!worker) {
            ok = false;
            continue;
        }
        if (!tally->Read(worker, tally->Lines() - linesBefore)) ok = false;
        if (WaitCommand(worker) != 0) ok = false;
    }
    if (!ok) std::fprintf(stderr, "chatsieve scan: a worker failed on %s\n", log.c_str());
    return ok;
}

}  // namespace

int RunScan(const Arguments& args) {
    ScanOptions options;
    int status = kExitOk;
    if (!ParseScanArguments(args, &options, &status)) return status;

    const std::string rules = options.package.empty() ? RulePackageUnder(options.root).string() : options.package;
    // The report and the summary name rules by what the package says of
    // them; read before the logs, so that a package it cannot read fails the
    // scan at once, not after it.
    PackageSummary package;
    if (!options.lines && options.rangeStart < 0) {
        std::string error;
        if (!SummarizePackage(rules, &package, &error)) {
            std::fprintf(stderr, "chatsieve scan: %s\n", error.c_str());
            return kExitFailure;
        }
    }

    CScanTally tally;
    bool ok = true;
    if (options.jobs > 1 && !options.lines && options.rangeStart < 0) {
        for (const std::string& log : options.logs) {
            const long long size = FileSize(log);
            tally.AddFile();
            if (size < 0) {
                std::fprintf(stderr, "chatsieve scan: cannot split %s among workers: its size is unknown\n",
                             log.c_str());
                ok = false;
                continue;
            }
            ok = ScanLogInParts(options, log, size, &tally) && ok;
        }
    } else {
        CScreener screener;
        std::string error;
        if (!(options.package.empty() ? screener.Open(options.root, &error)
                                      : screener.OpenPackage(options.package, &error))) {
            std::fprintf(stderr, "chatsieve scan: %s\n", error.c_str());
            return kExitFailure;
        }
        if (options.rangeStart >= 0) {
            ok = ScanLog(screener, options, options.logs[0], options.rangeStart, options.rangeEnd, &tally, nullptr, 0);
            tally.Write(stdout);
            return ok ? kExitOk : kExitFailure;
        }
        long long total = 0;
        for (const std::string& log : options.logs) total += std::max(0LL, FileSize(log));
        CProgress progress(options.lines ? 0 : total);
        long long done = 0;
        for (const std::string& log : options.logs) {
            tally.AddFile();
            ok = ScanLog(screener, options, log, 0, -1, &tally, options.lines ? nullptr : &progress, done) && ok;
            done += std::max(0LL, FileSize(log));
        }
        if (options.lines) return ok ? kExitOk : kExitFailure;
    }
    std::printf("rules: %s\n", rules.c_str());
    tally.PrintText(stdout, [&package](const std::string& rule) { return Label(package, rule, 40); });
    if (!options.report.empty()) {
        const std::string page = ScanReportHtml(tally, package, options.logs);
        std::FILE* out = std::fopen(options.report.c_str(), "wb");
        if (!out || std::fwrite(page.data(), 1, page.size(), out) != page.size() || std::fclose(out) != 0) {
            std::fprintf(stderr, "chatsieve scan: cannot write %s\n", options.report.c_str());
            return kExitFailure;
        }
    }
    return ok ? kExitOk : kExitFailure;
}

}  // namespace chatsieve::tools
