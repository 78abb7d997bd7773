// build, lint and decompile: the rule compiler's commands.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "CArgumentParser.h"
#include "Commands.h"
#include "NoiseAudit.h"
#include "PackholdWriter.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/CRuleDecompiler.h"
#include "compiler/CRuleLinter.h"
#include "format/RulePackage.h"

namespace chatsieve::tools {

namespace {

const char kBuildHelp[] =
    "usage: chatsieve build SRC -o OUT.res [--verbose]\n"
    "\n"
    "Compiles the rule folder SRC (ignore.tsv, syllables.tsv, phrases.tsv,\n"
    "combos.tsv; see docs/rules.md) into the rule package OUT.res; a folder that\n"
    "leaves out ignore.tsv or syllables.tsv gets the shipped ones, and one that\n"
    "leaves out combos.tsv (or allow.tsv) has none of them; one with word\n"
    "lists (lists.tsv) needs no phrases.tsv. Every mistake\n"
    "is reported as FILE:LINE:COLUMN: message, and then nothing is written; an\n"
    "existing OUT.res is replaced only by a complete new package. The warnings of\n"
    "lint are shown too, alongside any errors: the first few of each kind and a\n"
    "count of the rest, or every one with --verbose.\n"
    "\n"
    "Exit status: 0 written, 1 errors in the rules or OUT.res not writable, 2 wrong usage.\n";

const char kLintHelp[] =
    "usage: chatsieve lint SRC [--corpus FILE] [--strict] [--verbose]\n"
    "\n"
    "Checks the rule folder SRC like build, writing nothing, and also warns about\n"
    "what compiles but cannot work as meant: levels above 63, rules never tried\n"
    "or never deciding a line's level (duplicates, rules another one shadows;\n"
    "between word-list entries only a note),\n"
    "phrases that start with a one-byte form, overlapping syllables, ignore-sets\n"
    "that strip syllable characters, characters whose reading was only guessed,\n"
    "word-list entries of one character, one letter or up to four digits.\n"
    "With --corpus FILE, a UTF-8 text known to be innocent, it also names the\n"
    "20 rules that decide the most of its lines, with their counts.\n"
    "Notes say which readings and variants each rule took and how many package\n"
    "rows it became; they are not warnings. Findings go to standard output;\n"
    "warnings are given even when there are errors, for the rows that read\n"
    "without any. Errors are shown in full; of the warnings and notes of each\n"
    "kind the first few and a count of the rest, or every one with --verbose.\n"
    "\n"
    "Exit status: 0 no errors (warnings and notes do not count), 1 errors,\n"
    "2 wrong usage, 3 warnings with --strict.\n";

const char kDecompileHelp[] =
    "usage: chatsieve decompile FILE.res -o DIR\n"
    "\n"
    "Writes the rule package FILE.res as a rule folder DIR, which must be empty or\n"
    "not exist yet. For a package that build made, building DIR gives FILE.res\n"
    "again byte for byte; the command checks this and says when it does not hold.\n"
    "\n"
    "Exit status: 0 written and exact, 1 unreadable package or DIR not writable,\n"
    "2 wrong usage, 3 written but building it gives another package.\n";

// SRC -o OUT (in any order), and --verbose when `verbose` takes it; false
// with `*status` when the command is to stop.
bool InputAndOutput(const char* command, const char* help, const Arguments& args, std::string* input,
                    std::string* output, int* status, bool* verbose = nullptr) {
    CArgumentParser parser(command, help);
    if (verbose) parser.Flag({"--verbose"}, verbose);
    parser.Option({"-o", "--output"}, "-o needs a value", output, CArgumentParser::Value::kNextOrJoined)
        .Positional([input](const std::string& arg) {
            if (!input->empty()) return std::string("one input only");
            *input = arg;
            return std::string();
        });
    if (!parser.Parse(args, status)) return false;
    if (input->empty() || output->empty()) {
        *status = UsageError(command, input->empty() ? "the input is missing" : "-o OUTPUT is missing");
        return false;
    }
    return true;
}

void Print(const std::vector<Diagnostic>& diagnostics, std::FILE* stream) {
    for (const Diagnostic& d : diagnostics) std::fprintf(stream, "%s\n", d.Format().c_str());
}

// A list of 65,000 entries drew tens of thousands of warnings of a handful of
// kinds, more than anyone reads. So errors are printed in full, and of each
// kind of warning or note (in order of first appearance) the first few and a
// count of the rest; a finding without a kind is its own group.
void PrintGrouped(const std::vector<Diagnostic>& diagnostics, std::FILE* stream) {
    constexpr std::size_t kShown = 3;
    std::vector<std::vector<const Diagnostic*>> groups;
    std::map<std::pair<Diagnostic::Severity, std::string>, std::size_t> groupOf;
    for (const Diagnostic& d : diagnostics) {
        if (d.severity == Diagnostic::Severity::kError) {
            std::fprintf(stream, "%s\n", d.Format().c_str());
            continue;
        }
        const auto found = groupOf.emplace(std::make_pair(d.severity, d.kind), groups.size());
        if (found.second || d.kind.empty()) {
            found.first->second = groups.size();
            groups.emplace_back();
        }
        groups[found.first->second].push_back(&d);
    }
    for (const std::vector<const Diagnostic*>& group : groups) {
        // Saying "1 more" takes the line the one would.
        const std::size_t shown = group.size() <= kShown + 1 ? group.size() : kShown;
        for (std::size_t i = 0; i < shown; ++i) std::fprintf(stream, "%s\n", group[i]->Format().c_str());
        if (shown == group.size()) continue;
        std::fprintf(stream, "%s: %zu more %s (%zu in all); --verbose lists them all\n",
                     group[0]->severity == Diagnostic::Severity::kWarning ? "warning" : "note", group.size() - shown,
                     group[0]->kind.c_str(), group.size());
    }
}

std::string Counted(std::size_t n, const char* noun) { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); }

// "SRC: 2 errors, 1 warning": the last line of lint and build, so that a clean
// run says so instead of printing nothing.
std::string Summary(const std::string& folder, const std::vector<Diagnostic>& diagnostics) {
    std::size_t errors = 0, warnings = 0;
    for (const Diagnostic& d : diagnostics) {
        errors += d.severity == Diagnostic::Severity::kError;
        warnings += d.severity == Diagnostic::Severity::kWarning;
    }
    return folder + ": " + Counted(errors, "error") + ", " + Counted(warnings, "warning");
}

}  // namespace

int RunBuild(const Arguments& args) {
    std::string input, output;
    int status = kExitOk;
    bool verbose = false;
    if (!InputAndOutput("build", kBuildHelp, args, &input, &output, &status, &verbose)) return status;
    // The package's folder is made here, so that a first build into a fresh
    // tree needs no mkdir.
    const std::filesystem::path parent = std::filesystem::path(output).parent_path();
    std::error_code ec;
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    // The linter's warnings come with the errors, so one run shows all there
    // is to mend.
    std::vector<Diagnostic> diagnostics;
    RuleSetSource rules;
    const bool read = CRuleCompiler().Read(input, &rules, &diagnostics);
    CRuleLinter().Check(rules, &diagnostics);
    const bool built = read && CRuleCompiler::Write(rules, output, &diagnostics);
    verbose ? Print(diagnostics, stderr) : PrintGrouped(diagnostics, stderr);
    std::fprintf(stdout, "%s; %s\n", Summary(input, diagnostics).c_str(),
                 built ? ("wrote " + output).c_str() : "nothing written");
    return built ? kExitOk : kExitFailure;
}

int RunLint(const Arguments& args) {
    std::string folder, corpus;
    bool strict = false, verbose = false;
    const char* const misuse = "one rule folder only, and no options but --corpus, --strict and --verbose";
    int status = kExitOk;
    const bool parsed = CArgumentParser("lint", kLintHelp)
                            .Flag({"--strict"}, &strict)
                            .Flag({"--verbose"}, &verbose)
                            .Option({"--corpus"}, "--corpus needs a file of innocent text", &corpus,
                                    CArgumentParser::Value::kNextOrJoined)
                            .UnknownOption(misuse)
                            .Positional([&folder, misuse](const std::string& arg) {
                                if (!folder.empty()) return std::string(misuse);
                                folder = arg;
                                return std::string();
                            })
                            .Parse(args, &status);
    if (!parsed) return status;
    if (folder.empty()) return UsageError("lint", "the rule folder is missing");
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    const bool read = CRuleCompiler().Read(folder, &rules, &diagnostics);
    CRuleLinter().Check(rules, &diagnostics, true);
    if (read) CRuleLinter().Explain(rules, &diagnostics);
    std::string error;
    if (read && !corpus.empty() && !AuditCorpus(rules, corpus, &diagnostics, &error)) {
        std::fprintf(stderr, "chatsieve lint: %s\n", error.c_str());
        return kExitFailure;
    }
    verbose ? Print(diagnostics, stdout) : PrintGrouped(diagnostics, stdout);
    std::fprintf(stdout, "%s\n", Summary(folder, diagnostics).c_str());
    if (!read) return kExitFailure;
    // Warnings fail only on request, so that lint can gate a team's CI on a
    // list used as it stands.
    const bool warned = std::any_of(diagnostics.begin(), diagnostics.end(),
                                    [](const Diagnostic& d) { return d.severity == Diagnostic::Severity::kWarning; });
    return strict && warned ? kExitWarnings : kExitOk;
}

int RunDecompile(const Arguments& args) {
    std::string input, output;
    int status = kExitOk;
    if (!InputAndOutput("decompile", kDecompileHelp, args, &input, &output, &status)) return status;
    std::vector<unsigned char> bytes;
    packhold::Package package;
    std::string error;
    if (!packhold::ReadWholeFile(input, &bytes, &error) ||
        !packhold::DecodePackage(bytes.data(), bytes.size(), kRulePackageKey, &package, &error)) {
        std::fprintf(stderr, "chatsieve decompile: %s: %s\n", input.c_str(), error.c_str());
        return kExitFailure;
    }
    AuthoringFiles files;
    std::vector<std::string> notes;
    if (!CRuleDecompiler().Decompile(package, &files, &notes, &error) ||
        !CRuleDecompiler::WriteFolder(output, files, &error)) {
        std::fprintf(stderr, "chatsieve decompile: %s: %s\n", input.c_str(), error.c_str());
        return kExitFailure;
    }
    for (const std::string& note : notes) std::fprintf(stderr, "chatsieve decompile: note: %s\n", note.c_str());

    // The promise is that building the folder gives the package back; check it.
    RuleSetSource rules;
    std::vector<Diagnostic> diagnostics;
    if (!CRuleCompiler().Read(output, &rules, &diagnostics)) {
        Print(diagnostics, stderr);
        std::fprintf(stderr, "chatsieve decompile: warning: the rules written to %s do not build\n", output.c_str());
        return kExitWarnings;
    }
    const packhold::Package rebuilt = CRuleCompiler::MakePackage(rules);
    if (!(rebuilt == package) && CRuleDecompiler::WithoutSourceColumns(rebuilt, package) == package) {
        std::fprintf(stderr,
                     "chatsieve decompile: note: %s names no rules' files and lines; building %s adds them, and "
                     "changes nothing else\n",
                     input.c_str(), output.c_str());
        return kExitOk;
    }
    if (!(rebuilt == package)) {
        std::fprintf(stderr, "chatsieve decompile: warning: building %s gives a package other than %s\n",
                     output.c_str(), input.c_str());
        return kExitWarnings;
    }
    return kExitOk;
}

}  // namespace chatsieve::tools
