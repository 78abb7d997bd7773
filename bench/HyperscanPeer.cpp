// The Hyperscan peer: the same phrase rules, each syllable an alternation of
// its forms, scanned over the same stripped lines, and the shared list's words
// as literals over the lines as they are. Built only where Hyperscan is
// installed.
#include <benchmark/benchmark.h>
#include <hs/hs.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FilterBenchmark.h"
#include "FilterFixtures.h"

namespace chatsieve::bench {
namespace {

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
    std::vector<std::string> lines;
    double compileSeconds = 0;
};

// Compiles `patterns` (regular expressions, or literals when `literal`), one
// match each at most, for `lines`.
std::unique_ptr<HyperscanPeer> Compile(const std::vector<std::string>& patterns, std::vector<int> levels,
                                       std::vector<std::string> lines, bool literal) {
    auto peer = std::make_unique<HyperscanPeer>();
    peer->levels = std::move(levels);
    peer->lines = std::move(lines);
    std::vector<const char*> expressions;
    std::vector<std::size_t> lengths;
    std::vector<unsigned> flags, ids;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        expressions.push_back(patterns[i].c_str());
        lengths.push_back(patterns[i].size());
        flags.push_back(HS_FLAG_SINGLEMATCH);
        ids.push_back(static_cast<unsigned>(i));
    }
    hs_compile_error_t* error = nullptr;
    const auto start = std::chrono::steady_clock::now();
    const hs_error_t result = literal ? hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(),
                                                             lengths.data(), static_cast<unsigned>(expressions.size()),
                                                             HS_MODE_BLOCK, nullptr, &peer->database, &error)
                                      : hs_compile_multi(expressions.data(), flags.data(), ids.data(),
                                                         static_cast<unsigned>(expressions.size()), HS_MODE_BLOCK,
                                                         nullptr, &peer->database, &error);
    if (result != HS_SUCCESS) {
        std::fprintf(stderr, "hyperscan: %s\n", error->message);
        std::abort();
    }
    peer->compileSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    hs_alloc_scratch(peer->database, &peer->scratch);
    return peer;
}

// Arguments: phrase rules; corpus: 0 the workload's own lines, 1 35-byte
// fortunes-zh lines.
HyperscanPeer& Peer(int phrases, int corpus) {
    static std::map<std::pair<int, int>, std::unique_ptr<HyperscanPeer>> peers;
    auto& peer = peers[{phrases, corpus}];
    if (peer) return *peer;
    const Workload& w = WorkloadOf(phrases);
    std::vector<std::string> patterns, stripped;
    std::vector<int> levels;
    for (const Phrase& phrase : w.phrases) {
        std::string pattern;
        for (int s : phrase.syllables) pattern += SyllablePattern(w.syllables[static_cast<std::size_t>(s)]);
        patterns.push_back(pattern);
        levels.push_back(phrase.level);
    }
    for (const std::string& line : corpus == 0 ? w.lines : FortuneLines(35)) stripped.push_back(Strip(w, line));
    peer = Compile(patterns, levels, stripped, false);
    return *peer;
}

// The list's words as literals over the lines as they are: what a user
// compares the filter with. (Its 23,359 phrases as syllable patterns, as the
// synthetic peer compiles them, did not compile in eight minutes and 1.8 GB.)
HyperscanPeer& LexiconPeer() {
    static std::unique_ptr<HyperscanPeer> peer;
    if (peer) return *peer;
    const CompiledWords& words = Lexicon();
    std::vector<int> levels;
    for (const tools::RuleSource& rule : words.rules.phrases) levels.push_back(rule.level);
    peer = Compile(words.words, levels, FortuneLines(69), true);
    return *peer;
}

int OnMatch(unsigned id, unsigned long long, unsigned long long, unsigned, void* context) {
    auto* found = static_cast<std::pair<const std::vector<int>*, int>*>(context);
    const int level = (*found->first)[id];
    if (level > found->second) found->second = level;
    return 0;
}

// The worst level of each line, as the filter reports it.
void ScanLines(benchmark::State& state, HyperscanPeer& peer) {
    std::size_t i = 0, bytes = 0, found = 0;
    for (auto _ : state) {
        const std::string& line = peer.lines[i++ % peer.lines.size()];
        std::pair<const std::vector<int>*, int> worst{&peer.levels, 0};
        hs_scan(peer.database, line.data(), static_cast<unsigned>(line.size()), 0, peer.scratch, OnMatch, &worst);
        found += worst.second != 0;
        bytes += line.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["flagged"] =
        benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()));
    state.counters["compile_s"] = peer.compileSeconds;
}

}  // namespace

// Arguments: phrase rules, corpus (see Peer).
void BM_Hyperscan(benchmark::State& state) {
    if (state.range(1) == 1 && FortuneLines(35).empty()) {
        state.SkipWithError("fortunes-zh is missing");
        return;
    }
    ScanLines(state, Peer(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
}

void BM_HyperscanLexicon(benchmark::State& state) {
    if (!Have(state, Lexicon(), FortuneLines(69))) return;
    ScanLines(state, LexiconPeer());
}

}  // namespace chatsieve::bench
