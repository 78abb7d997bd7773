// The instructions a line costs, for the check alone and with an output
// buffer, over all of a corpus's lines and over 90 % clean ones, per
// synthetic rule set and for the real workloads (--instructions).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Chatsieve.h"
#include "FilterBenchmark.h"
#include "FilterFixtures.h"
#include "InstructionCount.h"
#include "compiler/CRuleCompiler.h"
#include "format/RulePackage.h"

namespace chatsieve::bench {
namespace {

// Instructions per line over one pass of a corpus, after a pass that warms the
// buffers up (a check's first line allocates).
long long PerLine(InstructionCount& counter, CChatsieve* filter, const std::vector<std::string>& lines, bool withOutput,
                  const std::string& label) {
    if (lines.empty()) return -1;
    std::vector<char> out(4096);
    auto pass = [&] {
        for (const std::string& line : lines)
            benchmark::DoNotOptimize(filter->FilterText(line.c_str(), withOutput ? out.data() : nullptr,
                                                        static_cast<unsigned>(out.size() - 1), 1));
    };
    pass();
    counter.Start();
    pass();
    const long long total = counter.Stop(label);
    return total < 0 ? -1 : total / static_cast<long long>(lines.size());
}

// The corpus as 90 % clean lines: its clean lines, and its flagged lines
// as one in ten.
std::vector<std::string> NinetyPercentClean(CChatsieve* filter, const std::vector<std::string>& lines) {
    std::vector<std::string> clean, flagged, mixed;
    for (const std::string& line : lines)
        (filter->FilterText(line.c_str(), nullptr, 0, 1) ? flagged : clean).push_back(line);
    for (std::size_t c = 0, f = 0; c < clean.size(); ++c) {
        mixed.push_back(clean[c]);
        if (c % 9 == 8 && f < flagged.size()) mixed.push_back(flagged[f++]);
    }
    return mixed;
}

// Instructions of one creation in the current folder, after one that warms
// the process-wide lists up.
long long CreationInstructions(InstructionCount& counter, const std::string& label) {
    IChatsieve* filter = nullptr;
    if (!CreateChatsieve(&filter)) return -1;
    filter->Uninit();
    counter.Start();
    const bool created = CreateChatsieve(&filter);
    const long long total = counter.Stop(label);
    if (created) filter->Uninit();
    return created ? total : -1;
}

void PrintRatio(const char* name, long long check, long long masked, double bytes) {
    std::printf("%-34s %12lld %12lld %8.2f %10.1f %10.1f\n", name, check, masked,
                check > 0 ? static_cast<double>(masked) / static_cast<double>(check) : 0.0,
                static_cast<double>(check) / bytes, static_cast<double>(masked) / bytes);
}

double MeanBytes(const std::vector<std::string>& lines) {
    std::size_t bytes = 0;
    for (const std::string& line : lines) bytes += line.size();
    return lines.empty() ? 1.0 : static_cast<double>(bytes) / static_cast<double>(lines.size());
}

double FlaggedShare(CChatsieve* filter, const std::vector<std::string>& lines) {
    std::size_t flagged = 0;
    for (const std::string& line : lines) flagged += filter->FilterText(line.c_str(), nullptr, 0, 1) != 0;
    return lines.empty() ? 0.0 : 100.0 * static_cast<double>(flagged) / static_cast<double>(lines.size());
}

// The rule set of `words` on `lines`: creation, memory, and check and masking
// per line, over all lines and over 90 % clean ones.
void ReportWords(InstructionCount& counter, const char* name, const CompiledWords& words,
                 const std::vector<std::string>& lines) {
    if (words.root.empty() || lines.empty()) {
        std::printf("%s: the word list, the dictionary or the text is missing\n", name);
        return;
    }
    UnloadFilter();
    std::filesystem::current_path(words.root);
    const long long create = CreationInstructions(counter, std::string("create ") + name);
    const double perRule = BytesPerRule(words.rules.phrases.size());
    CChatsieve* filter = FilterIn(words.root);
    std::printf("%s: %zu words offered, %zu accepted; creation %lld instructions; %.0f bytes held a rule\n", name,
                words.offered, words.rules.phrases.size(), create, perRule);
    const packhold::Package package = tools::CRuleCompiler::MakePackage(words.rules);
    std::printf("  package rows: %zu syllables, %zu phrases\n", package.tables[kSyllableTable].rows.size(),
                package.tables[kPhraseTable].rows.size());
    std::printf("  %zu lines of %.1f bytes, %.1f%% flagged\n", lines.size(), MeanBytes(lines),
                FlaggedShare(filter, lines));
    std::fflush(stdout);
    const long long check = PerLine(counter, filter, lines, false, std::string("check ") + name);
    const long long masked = PerLine(counter, filter, lines, true, std::string("masked ") + name);
    PrintRatio("  all lines", check, masked, MeanBytes(lines));
    std::fflush(stdout);
    const std::vector<std::string> mixed = NinetyPercentClean(filter, lines);
    if (mixed.empty()) return;  // every line flagged
    const long long mixedCheck = PerLine(counter, filter, mixed, false, std::string("check 90% clean ") + name);
    const long long mixedMasked = PerLine(counter, filter, mixed, true, std::string("masked 90% clean ") + name);
    PrintRatio("  90% clean", mixedCheck, mixedMasked, MeanBytes(mixed));
    std::fflush(stdout);
}

}  // namespace

int InstructionReport(const std::vector<int>& sizes) {
    InstructionCount counter;
    std::printf("instructions counted by: %s\n", counter.Source());
    std::printf("%8s %8s %10s %12s %12s %8s %12s %12s %8s\n", "rules", "flagged", "bytes/line", "check/line",
                "masked/line", "ratio", "90%clean chk", "90%clean msk", "ratio");
    for (int phrases : sizes) {
        CChatsieve* filter = Filter(phrases);
        const std::vector<std::string>& lines = WorkloadOf(phrases).lines;
        std::size_t bytes = 0, flagged = 0;
        for (const std::string& line : lines) {
            bytes += line.size();
            flagged += filter->FilterText(line.c_str(), nullptr, 0, 1) != 0;
        }
        const std::string size = std::to_string(phrases);
        const long long check = PerLine(counter, filter, lines, false, "check " + size);
        const long long masked = PerLine(counter, filter, lines, true, "masked " + size);
        const std::vector<std::string> mixed = NinetyPercentClean(filter, lines);
        const long long mixedCheck = PerLine(counter, filter, mixed, false, "check 90% clean " + size);
        const long long mixedMasked = PerLine(counter, filter, mixed, true, "masked 90% clean " + size);
        std::printf("%8d %7.1f%% %10.1f %12lld %12lld %8.2f %12lld %12lld %8.2f\n", phrases,
                    100.0 * static_cast<double>(flagged) / static_cast<double>(lines.size()),
                    static_cast<double>(bytes) / static_cast<double>(lines.size()), check, masked,
                    check > 0 ? static_cast<double>(masked) / static_cast<double>(check) : 0.0, mixedCheck, mixedMasked,
                    mixedCheck > 0 ? static_cast<double>(mixedMasked) / static_cast<double>(mixedCheck) : 0.0);
        std::fflush(stdout);
    }
    UnloadFilter();
    return 0;
}

int RealReport(const std::string& part) {
    const bool all = part == "real";
    InstructionCount counter;
    std::printf("instructions counted by: %s\n", counter.Source());
    std::printf("%-34s %12s %12s %8s %10s %10s\n", "", "check/line", "masked/line", "ratio", "check/B", "masked/B");
    for (int phrases : {1000, 10000}) {
        if (!all && part != "fortunes") break;
        const std::vector<std::string>& lines = FortuneLines(35);
        if (lines.empty()) break;
        CChatsieve* filter = Filter(phrases);
        const std::string size = std::to_string(phrases);
        std::printf("synthetic %d on fortunes-zh: %zu lines of %.1f bytes, %.1f%% flagged\n", phrases, lines.size(),
                    MeanBytes(lines), FlaggedShare(filter, lines));
        const long long check = PerLine(counter, filter, lines, false, "check fortunes " + size);
        const long long masked = PerLine(counter, filter, lines, true, "masked fortunes " + size);
        PrintRatio("  all lines", check, masked, MeanBytes(lines));
        const std::vector<std::string> mixed = NinetyPercentClean(filter, lines);
        const long long mixedCheck = PerLine(counter, filter, mixed, false, "check fortunes 90% clean " + size);
        const long long mixedMasked = PerLine(counter, filter, mixed, true, "masked fortunes 90% clean " + size);
        PrintRatio("  90% clean", mixedCheck, mixedMasked, MeanBytes(mixed));
        std::fflush(stdout);
    }
    if (all || part == "lexicon") ReportWords(counter, "lexicon", Lexicon(), FortuneLines(69));
    if (all || part == "dense") ReportWords(counter, "dense", Dictionary(), ManualLines());
    if (all || part == "list") ReportWords(counter, "list", WrittenLists(), FortuneLines(60));
    if (all || part == "written-dense") ReportWords(counter, "written-dense", WrittenDictionary(), ManualLines());
    UnloadFilter();
    return 0;
}

}  // namespace chatsieve::bench
