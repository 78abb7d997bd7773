// The benchmark families FilterBenchmark registers, each in a file of its
// own, and the instruction reports it prints instead with --instructions.
#ifndef CHATSIEVE_BENCH_FILTERBENCHMARK_H
#define CHATSIEVE_BENCH_FILTERBENCHMARK_H

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace chatsieve::bench {

// Creation (CreateBenchmarks.cpp).
void BM_Create(benchmark::State& state);
void BM_CreateLexicon(benchmark::State& state);

// Screening lines (ScreenBenchmarks.cpp).
void BM_Lexicon(benchmark::State& state);
void BM_SyntheticOnFortunes(benchmark::State& state);
void BM_Dense(benchmark::State& state);
void BM_FilterText(benchmark::State& state);
void BM_AllowedExpressions(benchmark::State& state);
void BM_LineLength(benchmark::State& state);

#if defined(CHATSIEVE_HAVE_HYPERSCAN)
// The same rules scanned by Hyperscan (HyperscanPeer.cpp).
void BM_Hyperscan(benchmark::State& state);
void BM_HyperscanLexicon(benchmark::State& state);
#endif

// Instructions a line costs (InstructionReport.cpp): the synthetic rule sets
// of `sizes` phrase rules, and the real workloads, `part` being "real" for
// all of them or "fortunes", "lexicon", "dense", "list" or "written-dense".
int InstructionReport(const std::vector<int>& sizes);
int RealReport(const std::string& part);

}  // namespace chatsieve::bench

#endif
