// Creation time, check throughput (with and without an output buffer, with the
// rule index and trying every rule) and, where Hyperscan is installed, the same
// phrase rules scanned by Hyperscan over the same stripped lines.
//
//   cmake --preset bench && cmake --build --preset bench && build/bench/bin/FilterBenchmark
//
// With --instructions it prints instead the instructions a line costs, per
// rule set size, for the check alone and with an output buffer:
//
//   valgrind --tool=callgrind --dump-instr=no build/bench/bin/FilterBenchmark --instructions
//
// (--instructions=10000: that rule set alone).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "Chatsieve.h"
#include "InstructionCount.h"
#include "Workload.h"
#include "core/CChatsieve.h"

#if defined(CHATSIEVE_HAVE_HYPERSCAN)
#include <hs/hs.h>
#endif

namespace chatsieve::bench {
namespace {

constexpr int kLines = 2000;

const Workload& WorkloadOf(int phrases) {
    static std::map<int, Workload> cache;
    auto it = cache.find(phrases);
    if (it == cache.end())
        it = cache.emplace(phrases, MakeWorkload(CHATSIEVE_SYLLABLE_TABLE, phrases, kLines, 2026)).first;
    return it->second;
}

// Writes the workload's package into a folder of its own and makes that the
// working directory, where the filter looks for it.
void UsePackage(int phrases, int allowed = 0) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("chatsieve-bench-" + std::to_string(phrases) + "-" + std::to_string(allowed));
    const auto file = folder / "Data" / "Scp" / "Chatsieve.res";
    if (!std::filesystem::exists(file)) {
        std::vector<unsigned char> bytes;
        std::string error;
        std::filesystem::create_directories(file.parent_path());
        if (!packhold::EncodePackage(MakePackage(WorkloadOf(phrases), allowed), packhold::kDefaultKey, &bytes,
                                     &error) ||
            !packhold::WriteFileAtomically(file.string(), bytes, &error)) {
            std::fprintf(stderr, "cannot write the package: %s\n", error.c_str());
            std::abort();
        }
    }
    std::filesystem::current_path(folder);
}

// The process's resident memory, from /proc (0 where there is none).
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// One filter at a time per process: the one loaded for the current size.
struct Loaded {
    int phrases = 0;
    int allowed = 0;
    IChatsieve* filter = nullptr;

    void Unload() {
        if (filter) filter->Uninit();
        filter = nullptr;
        phrases = 0;
        allowed = 0;
    }
};
Loaded g_loaded;

CChatsieve* Filter(int phrases, int allowed = 0) {
    if (g_loaded.phrases != phrases || g_loaded.allowed != allowed) {
        g_loaded.Unload();
        UsePackage(phrases, allowed);
        if (!CreateChatsieve(&g_loaded.filter)) std::abort();
        g_loaded.phrases = phrases;
        g_loaded.allowed = allowed;
    }
    return static_cast<CChatsieve*>(g_loaded.filter);
}

void BM_Create(benchmark::State& state) {
    const int phrases = static_cast<int>(state.range(0));
    g_loaded.Unload();
    UsePackage(phrases);
    for (auto _ : state) {
        IChatsieve* filter = nullptr;
        if (!CreateChatsieve(&filter)) state.SkipWithError("CreateChatsieve failed");
        state.PauseTiming();
        filter->Uninit();
        state.ResumeTiming();
    }
    // What one loaded filter holds: resident memory with it, less without.
    const long before = ResidentKiB();
    IChatsieve* filter = nullptr;
    CreateChatsieve(&filter);
    state.counters["filter_MiB"] = static_cast<double>(ResidentKiB() - before) / 1024.0;
    filter->Uninit();
}

// Arguments: phrase rules, output buffer (0/1), rule index (0/1).
void BM_FilterText(benchmark::State& state) {
    const int phrases = static_cast<int>(state.range(0));
    const bool withOutput = state.range(1) != 0;
    CChatsieve* filter = Filter(phrases);
    filter->UseRuleIndex(state.range(2) != 0);
    const std::vector<std::string>& lines = WorkloadOf(phrases).lines;
    std::vector<char> out(4096);
    std::size_t i = 0, bytes = 0, found = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ % lines.size()];
        const int level = filter->FilterText(line.c_str(), withOutput ? out.data() : nullptr,
                                             static_cast<unsigned>(out.size() - 1), 1);
        benchmark::DoNotOptimize(level);
        found += level != 0;
        bytes += line.size();
    }
    filter->UseRuleIndex(true);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["flagged"] =
        benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()));
}

// Arguments: phrase rules, allowed expressions. With an output buffer, as a
// client screens; the allowed expressions are random characters of the
// syllable table, so some occur in the lines.
void BM_AllowedExpressions(benchmark::State& state) {
    const int phrases = static_cast<int>(state.range(0));
    CChatsieve* filter = Filter(phrases, static_cast<int>(state.range(1)));
    const std::vector<std::string>& lines = WorkloadOf(phrases).lines;
    std::vector<char> out(4096);
    std::size_t i = 0, found = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ % lines.size()];
        const int level = filter->FilterText(line.c_str(), out.data(), static_cast<unsigned>(out.size() - 1), 1);
        benchmark::DoNotOptimize(level);
        found += level != 0;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["flagged"] =
        benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()));
}

// Cost against line length: one line of each length made of clean characters.
void BM_LineLength(benchmark::State& state) {
    CChatsieve* filter = Filter(10000);
    std::string line;
    const std::vector<std::string>& lines = WorkloadOf(10000).lines;
    for (std::size_t i = 0; line.size() < static_cast<std::size_t>(state.range(0)); ++i) line += lines[i];
    line.resize(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(filter->FilterText(line.c_str(), nullptr, 0, 1));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

#if defined(CHATSIEVE_HAVE_HYPERSCAN)
std::string HexByte(unsigned char b) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", b);
    return text;
}

// Each syllable an alternation of its forms: its pinyin in any case, or a
// character of one of its code ranges.
std::string SyllablePattern(const Syllable& s) {
    std::string pattern = "(?:(?i:" + s.pinyin + ")";
    for (std::size_t r = 0; r + 2 < s.codes.size(); r += 3)
        pattern += "|" + HexByte(s.codes[r]) + "[" + HexByte(s.codes[r + 1]) + "-" + HexByte(s.codes[r + 2]) + "]";
    return pattern + ")";
}

struct HyperscanPeer {
    hs_database_t* database = nullptr;
    hs_scratch_t* scratch = nullptr;
    std::vector<int> levels;
    std::vector<std::string> stripped;
};

HyperscanPeer& Peer(int phrases) {
    static std::map<int, std::unique_ptr<HyperscanPeer>> peers;
    auto& peer = peers[phrases];
    if (peer) return *peer;
    peer = std::make_unique<HyperscanPeer>();
    const Workload& w = WorkloadOf(phrases);
    std::vector<std::string> patterns;
    std::vector<const char*> expressions;
    std::vector<unsigned> flags, ids;
    for (std::size_t i = 0; i < w.phrases.size(); ++i) {
        std::string pattern;
        for (int s : w.phrases[i].syllables) pattern += SyllablePattern(w.syllables[static_cast<std::size_t>(s)]);
        patterns.push_back(pattern);
        peer->levels.push_back(w.phrases[i].level);
    }
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        expressions.push_back(patterns[i].c_str());
        flags.push_back(HS_FLAG_SINGLEMATCH);
        ids.push_back(static_cast<unsigned>(i));
    }
    hs_compile_error_t* error = nullptr;
    if (hs_compile_multi(expressions.data(), flags.data(), ids.data(), static_cast<unsigned>(expressions.size()),
                         HS_MODE_BLOCK, nullptr, &peer->database, &error) != HS_SUCCESS) {
        std::fprintf(stderr, "hyperscan: %s\n", error->message);
        std::abort();
    }
    hs_alloc_scratch(peer->database, &peer->scratch);
    for (const std::string& line : w.lines) peer->stripped.push_back(Strip(w, line));
    return *peer;
}

int OnMatch(unsigned id, unsigned long long, unsigned long long, unsigned, void* context) {
    auto* found = static_cast<std::pair<const std::vector<int>*, int>*>(context);
    const int level = (*found->first)[id];
    if (level > found->second) found->second = level;
    return 0;
}

// The worst level of each stripped line, as the filter reports it.
void BM_Hyperscan(benchmark::State& state) {
    HyperscanPeer& peer = Peer(static_cast<int>(state.range(0)));
    std::size_t i = 0, bytes = 0, found = 0;
    for (auto _ : state) {
        const std::string& line = peer.stripped[i++ % peer.stripped.size()];
        std::pair<const std::vector<int>*, int> worst{&peer.levels, 0};
        hs_scan(peer.database, line.data(), static_cast<unsigned>(line.size()), 0, peer.scratch, OnMatch, &worst);
        found += worst.second != 0;
        bytes += line.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["flagged"] =
        benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()));
}
#endif

BENCHMARK(BM_Create)->Arg(1000)->Arg(10000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FilterText)
    ->ArgsProduct({{1000, 10000, 50000, 100000}, {0, 1}, {1}})
    ->Args({1000, 0, 0})
    ->Args({10000, 0, 0})
    ->Args({50000, 0, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AllowedExpressions)
    ->Args({10000, 0})
    ->Args({10000, 1000})
    ->Args({10000, 10000})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineLength)->RangeMultiplier(4)->Range(16, 4096)->Unit(benchmark::kMicrosecond);
#if defined(CHATSIEVE_HAVE_HYPERSCAN)
// Last: compiling its databases takes far more memory than the filter.
BENCHMARK(BM_Hyperscan)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
#endif

// Instructions per line over one pass of a corpus, after a pass that warms the
// buffers up (a check's first line allocates).
long long PerLine(InstructionCount& counter, CChatsieve* filter, const std::vector<std::string>& lines, bool withOutput,
                  const std::string& label) {
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
    g_loaded.Unload();
    return 0;
}

}  // namespace
}  // namespace chatsieve::bench

int main(int argc, char** argv) {
    // --instructions, or --instructions=N for the rule set of N phrases alone.
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--instructions", 14) != 0) continue;
        if (argv[i][14] == '=') return chatsieve::bench::InstructionReport({std::atoi(argv[i] + 15)});
        return chatsieve::bench::InstructionReport({1000, 10000, 50000, 100000});
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
