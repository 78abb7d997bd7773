// Creation time, check throughput (with and without an output buffer, with the
// rule index and trying every rule) and, where Hyperscan is installed, the same
// phrase rules scanned by Hyperscan over the same stripped lines. Beside the
// synthetic rule sets: the shared sensitive-word list's Chinese words and a
// selection of the jieba dictionary, compiled as phrase rules, screening lines
// cut from fortunes-zh and from the zh_CN manual pages.
//
//   cmake --preset bench && cmake --build --preset bench && build/bench/bin/FilterBenchmark
//
// With --instructions it prints instead the instructions a line costs, per
// rule set size, for the check alone and with an output buffer:
//
//   valgrind --tool=callgrind --dump-instr=no build/bench/bin/FilterBenchmark --instructions
//
// (--instructions=10000: that rule set alone; --instructions=real: the word
// lists, the synthetic rules on fortunes-zh lines and the dense text alone;
// --instructions=fortunes, =lexicon, =dense, =list or =written-dense: one of
// those; list and written-dense are the shared list's files used as lists
// and the jieba words, both in written mode).
//
// The families are in files of their own (FilterBenchmark.h); they are
// registered here, in one list, so that the order they run in does not
// hang on the order the files are linked in.
#include "FilterBenchmark.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

namespace chatsieve::bench {

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
BENCHMARK(BM_CreateLexicon)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Lexicon)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SyntheticOnFortunes)->ArgsProduct({{1000, 10000}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Dense)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
#if defined(CHATSIEVE_HAVE_HYPERSCAN)
// Last: compiling its databases takes far more memory than the filter.
BENCHMARK(BM_Hyperscan)->ArgsProduct({{1000, 10000}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HyperscanLexicon)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace chatsieve::bench

int main(int argc, char** argv) {
    // --instructions, or --instructions=N for the rule set of N phrases alone.
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--instructions", 14) != 0) continue;
        for (const char* part : {"real", "fortunes", "lexicon", "dense", "list", "written-dense"})
            if (argv[i][14] == '=' && std::strcmp(argv[i] + 15, part) == 0) return chatsieve::bench::RealReport(part);
        if (argv[i][14] == '=') return chatsieve::bench::InstructionReport({std::atoi(argv[i] + 15)});
        const int synthetic = chatsieve::bench::InstructionReport({1000, 10000, 50000, 100000});
        return synthetic != 0 ? synthetic : chatsieve::bench::RealReport("real");
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
