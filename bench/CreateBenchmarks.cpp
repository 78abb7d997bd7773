// Creation: the time a filter takes to load each synthetic rule set and the
// shared list, and the memory it then holds.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Chatsieve.h"
#include "FilterBenchmark.h"
#include "FilterFixtures.h"

namespace chatsieve::bench {
namespace {

// The process's resident memory, from /proc (0 where there is none).
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Times creating the filter of the current folder, shutting each down untimed.
void TimeCreation(benchmark::State& state) {
    for (auto _ : state) {
        IChatsieve* filter = nullptr;
        if (!CreateChatsieve(&filter)) {
            state.SkipWithError("CreateChatsieve failed");
            break;
        }
        state.PauseTiming();
        filter->Uninit();
        state.ResumeTiming();
    }
}

}  // namespace

void BM_Create(benchmark::State& state) {
    const int phrases = static_cast<int>(state.range(0));
    UnloadFilter();
    UsePackage(phrases);
    TimeCreation(state);
    // What one loaded filter holds: resident memory with it, less without.
    const long before = ResidentKiB();
    IChatsieve* filter = nullptr;
    if (!CreateChatsieve(&filter)) return;
    state.counters["filter_MiB"] = static_cast<double>(ResidentKiB() - before) / 1024.0;
    filter->Uninit();
    state.counters["bytes_per_rule"] = BytesPerRule(static_cast<std::size_t>(phrases + phrases / 20));
}

// Creation of the shared list's rule set.
void BM_CreateLexicon(benchmark::State& state) {
    const CompiledWords& words = Lexicon();
    if (!Have(state, words, {""})) return;
    UnloadFilter();
    std::filesystem::current_path(words.root);
    TimeCreation(state);
    state.counters["rules"] = static_cast<double>(words.words.size());
    state.counters["bytes_per_rule"] = BytesPerRule(words.words.size());
}

}  // namespace chatsieve::bench
