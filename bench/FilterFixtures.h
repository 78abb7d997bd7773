// What FilterBenchmark's families share: the synthetic workloads and their
// packages, the real word lists and texts, and the one filter a process holds
// at a time: the one loaded from the current folder.
#ifndef CHATSIEVE_BENCH_FILTERFIXTURES_H
#define CHATSIEVE_BENCH_FILTERFIXTURES_H

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <vector>

#include "RealList.h"
#include "Workload.h"
#include "host/CChatsieve.h"

namespace chatsieve::bench {

// The synthetic workload of `phrases` phrase rules, made once a process.
const Workload& WorkloadOf(int phrases);

// Writes the workload's package into a folder of its own and makes that the
// working directory, where the filter looks for it; returns the folder.
std::string UsePackage(int phrases, int allowed = 0);

// The filter loaded from `root`, created there unless it is the one already
// loaded (which is uninitialised first).
CChatsieve* FilterIn(const std::string& root);
// The filter of the workload of `phrases` phrase rules and `allowed` allowed
// expressions (UsePackage).
CChatsieve* Filter(int phrases, int allowed = 0);
// Uninitialises the loaded filter, if there is one.
void UnloadFilter();

// Heap bytes one filter created in the current folder holds, per rule.
double BytesPerRule(std::size_t rules);

// The real workloads, made once a process: the shared list's Chinese words
// and a selection of the jieba dictionary as phrase rules, and, in written
// mode, the shared list's files used as a team's lists and the same jieba
// words.
const CompiledWords& Lexicon();
const CompiledWords& Dictionary();
const CompiledWords& WrittenLists();
const CompiledWords& WrittenDictionary();
// Lines of fortunes-zh cut to `bytes` bytes, and 146-byte lines of the manual
// pages.
const std::vector<std::string>& FortuneLines(std::size_t bytes);
const std::vector<std::string>& ManualLines();

// Skips a benchmark whose data is missing; true when it can run.
bool Have(benchmark::State& state, const CompiledWords& words, const std::vector<std::string>& lines);

}  // namespace chatsieve::bench

#endif
