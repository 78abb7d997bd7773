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
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
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
#include "RealList.h"
#include "Workload.h"
#include "compiler/CRuleCompiler.h"
#include "core/CChatsieve.h"
#include "format/RulePackage.h"

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
// working directory, where the filter looks for it; returns the folder.
std::string UsePackage(int phrases, int allowed = 0) {
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
    return folder.string();
}

// The process's resident memory, from /proc (0 where there is none).
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Bytes the process holds from malloc (small blocks and mapped ones). The
// filter allocates through malloc behind its allocation seam, so the growth
// across a creation is what one loaded filter keeps, tables, matchers and
// allocator overhead included.
std::size_t HeapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// One filter at a time per process: the one loaded from the current folder.
struct Loaded {
    std::string root;
    IChatsieve* filter = nullptr;

    void Unload() {
        if (filter) filter->Uninit();
        filter = nullptr;
        root.clear();
    }
};
Loaded g_loaded;

CChatsieve* FilterIn(const std::string& root) {
    if (g_loaded.root != root) {
        g_loaded.Unload();
        std::filesystem::current_path(root);
        if (!CreateChatsieve(&g_loaded.filter)) std::abort();
        g_loaded.root = root;
    }
    return static_cast<CChatsieve*>(g_loaded.filter);
}

CChatsieve* Filter(int phrases, int allowed = 0) {
    const std::string root = UsePackage(phrases, allowed);
    return FilterIn(root);
}

// Heap bytes one filter created in the current folder holds, per rule.
double BytesPerRule(std::size_t rules) {
    const std::size_t before = HeapBytes();
    IChatsieve* filter = nullptr;
    if (!CreateChatsieve(&filter)) return 0;
    const std::size_t held = HeapBytes() - before;
    filter->Uninit();
    return static_cast<double>(held) / static_cast<double>(rules);
}

// The real workloads, made once a process.
constexpr std::size_t kDenseLines = 300;

const CompiledWords& Lexicon() {
    static const CompiledWords words = CompileWords(ChineseWords(CHATSIEVE_LEXICON), CHATSIEVE_BENCH_DATA "/lexicon");
    return words;
}

const CompiledWords& Dictionary() {
    static const CompiledWords words = CompileWords(
        DictionarySelection("/usr/lib/python3/dist-packages/jieba/dict.txt", 10000), CHATSIEVE_BENCH_DATA "/jieba");
    return words;
}

// The shared list's files as a team's lists, and the same jieba words as
// Dictionary(), both in written mode.
const CompiledWords& WrittenLists() {
    static const CompiledWords words = CompileLists(CHATSIEVE_LEXICON, CHATSIEVE_BENCH_DATA "/lists");
    return words;
}

const CompiledWords& WrittenDictionary() {
    static const CompiledWords words =
        CompileWords(DictionarySelection("/usr/lib/python3/dist-packages/jieba/dict.txt", 10000),
                     CHATSIEVE_BENCH_DATA "/jieba-written", true);
    return words;
}

const std::vector<std::string>& FortuneLines(std::size_t bytes) {
    static std::map<std::size_t, std::vector<std::string>> cache;
    auto it = cache.find(bytes);
    if (it == cache.end()) it = cache.emplace(bytes, CutLines(FortunesText(), bytes, kLines)).first;
    return it->second;
}

const std::vector<std::string>& ManualLines() {
    static const std::vector<std::string> lines = CutLines(ManualText(), 146, kDenseLines);
    return lines;
}

// Skips a benchmark whose data is missing; true when it can run.
bool Have(benchmark::State& state, const CompiledWords& words, const std::vector<std::string>& lines) {
    if (words.root.empty() || lines.empty()) {
        state.SkipWithError("the word list, the dictionary or the text is missing");
        return false;
    }
    return true;
}

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
    state.counters["bytes_per_rule"] = BytesPerRule(static_cast<std::size_t>(phrases + phrases / 20));
}

// Creation of the shared list's rule set.
void BM_CreateLexicon(benchmark::State& state) {
    const CompiledWords& words = Lexicon();
    if (!Have(state, words, {""})) return;
    g_loaded.Unload();
    std::filesystem::current_path(words.root);
    for (auto _ : state) {
        IChatsieve* filter = nullptr;
        if (!CreateChatsieve(&filter)) state.SkipWithError("CreateChatsieve failed");
        state.PauseTiming();
        filter->Uninit();
        state.ResumeTiming();
    }
    state.counters["rules"] = static_cast<double>(words.words.size());
    state.counters["bytes_per_rule"] = BytesPerRule(words.words.size());
}

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
BENCHMARK(BM_CreateLexicon)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Lexicon)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SyntheticOnFortunes)->ArgsProduct({{1000, 10000}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Dense)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
#if defined(CHATSIEVE_HAVE_HYPERSCAN)
// Last: compiling its databases takes far more memory than the filter.
BENCHMARK(BM_Hyperscan)->ArgsProduct({{1000, 10000}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HyperscanLexicon)->Unit(benchmark::kMicrosecond);
#endif

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
    g_loaded.Unload();
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

// `part`: "real" for all, or "fortunes", "lexicon", "dense", "list" or
// "written-dense" alone.
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
    g_loaded.Unload();
    return 0;
}

}  // namespace
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
