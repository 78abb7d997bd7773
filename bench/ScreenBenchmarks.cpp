// Screening lines: check throughput with and without an output buffer, with
// the rule index and trying every rule, with allowed expressions, against
// line length, and on the real word lists and texts.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FilterBenchmark.h"
#include "FilterFixtures.h"

namespace chatsieve::bench {
namespace {

void ScreenLines(benchmark::State& state, CChatsieve* filter, const std::vector<std::string>& lines, bool withOutput) {
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
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["flagged"] =
        benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()));
}

}  // namespace

// Arguments: output buffer (0/1). The shared list on 69-byte fortunes-zh lines.
void BM_Lexicon(benchmark::State& state) {
    const CompiledWords& words = Lexicon();
    if (!Have(state, words, FortuneLines(69))) return;
    ScreenLines(state, FilterIn(words.root), FortuneLines(69), state.range(0) != 0);
}

// Arguments: phrase rules, output buffer (0/1). The synthetic rules on
// 35-byte fortunes-zh lines.
void BM_SyntheticOnFortunes(benchmark::State& state) {
    if (FortuneLines(35).empty()) {
        state.SkipWithError("fortunes-zh is missing");
        return;
    }
    ScreenLines(state, Filter(static_cast<int>(state.range(0))), FortuneLines(35), state.range(1) != 0);
}

// Arguments: output buffer (0/1). The dictionary selection on 146-byte lines
// of the manual pages.
void BM_Dense(benchmark::State& state) {
    const CompiledWords& words = Dictionary();
    if (!Have(state, words, ManualLines())) return;
    ScreenLines(state, FilterIn(words.root), ManualLines(), state.range(0) != 0);
}

// Arguments: phrase rules, output buffer (0/1), rule index (0/1).
void BM_FilterText(benchmark::State& state) {
    const int phrases = static_cast<int>(state.range(0));
    const bool withOutput = state.range(1) != 0;
    CChatsieve* filter = Filter(phrases);
    filter->UseRuleIndex(state.range(2) != 0);
    ScreenLines(state, filter, WorkloadOf(phrases).lines, withOutput);
    filter->UseRuleIndex(true);
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

}  // namespace chatsieve::bench
