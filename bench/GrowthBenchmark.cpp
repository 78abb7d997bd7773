// How the worst rule sets and lines grow: a check of lines from 1 KiB to
// 16 MiB against the patterns that once cost more than linear time, masking
// a line made of nothing but banned expressions under the shipped rules, and
// creation from 1,000 to 100,000 rules of several shapes. A separate program
// from FilterBenchmark, since the process holds one filter at a time.
//
//   cmake --preset bench && cmake --build --preset bench --target GrowthBenchmark
//   build/bench/bin/GrowthBenchmark
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Chatsieve.h"
#include "Workload.h"
#include "format/RulePackage.h"

namespace chatsieve::bench {
namespace {

using packhold::Cell;
using packhold::CellType;

packhold::Package EmptyPackage() {
    packhold::Package package;
    package.tables.resize(kRequiredTables);
    package.tables[kIgnoreTable].columns = {{kCodeColumn, CellType::kIntArray}, {kLogColumn, CellType::kInt}};
    package.tables[kIgnoreTable].rows.push_back({Cell::IntArray({0x20, 0x2F, -1, 0xA1, 0xA1, 0xFE}), Cell::Int(0)});
    package.tables[kSyllableTable].columns = {
        {kPinyinColumn, CellType::kText}, {kCodeColumn, CellType::kBytes}, {kSplitColumn, CellType::kText}};
    for (const RuleTable t : {kPhraseTable, kComboTable})
        package.tables[t].columns = {{kLevelColumn, CellType::kInt}, {kRefsColumn, CellType::kIntArray}};
    return package;
}

void AddSyllable(packhold::Package& package, const std::string& pinyin, std::vector<unsigned char> codes,
                 const char* split = nullptr) {
    package.tables[kSyllableTable].rows.push_back(
        {Cell::Text(pinyin), Cell::Bytes(codes), split ? Cell::Text(split) : Cell()});
}

std::string NumberedPinyin(int i) {
    return {'q', static_cast<char>('a' + i % 26), static_cast<char>('a' + i / 26 % 26),
            static_cast<char>('a' + i / 676 % 26)};
}

// Syllable i of a made-up set: a four-letter pinyin and a character of its own.
void AddNumberedSyllable(packhold::Package& package, int i) {
    const std::string pinyin = NumberedPinyin(i);
    const unsigned char lead = static_cast<unsigned char>(0x81 + i / 190 % 126);
    const unsigned char trail = static_cast<unsigned char>(0x40 + i % 190);
    AddSyllable(package, pinyin, {lead, trail, trail});
}

// Writes `package` into a folder named `name` and makes it the working
// directory, where the filter looks for its rules.
void UsePackage(const std::string& name, const packhold::Package& package) {
    const auto folder = std::filesystem::temp_directory_path() / ("chatsieve-growth-" + name);
    const auto file = folder / "Data" / "Scp" / "Chatsieve.res";
    std::vector<unsigned char> bytes;
    std::string error;
    std::filesystem::create_directories(file.parent_path());
    if (!packhold::EncodePackage(package, packhold::kDefaultKey, &bytes, &error) ||
        !packhold::WriteFileAtomically(file.string(), bytes, &error)) {
        std::fprintf(stderr, "cannot write the package: %s\n", error.c_str());
        std::abort();
    }
    std::filesystem::current_path(folder);
}

// 10,000 phrases "wai gua X", X a different syllable each.
packhold::Package SharedStart() {
    packhold::Package package = EmptyPackage();
    AddSyllable(package, "wai", {0xCD, 0xE2, 0xE2});
    AddSyllable(package, "gua", {0xB9, 0xD2, 0xD2});
    for (int i = 0; i < 10000; ++i) {
        AddNumberedSyllable(package, i);
        package.tables[kPhraseTable].rows.push_back(
            {Cell::Int(1 + i % 63), Cell::IntArray({200001, 200002, 200003 + i})});
    }
    return package;
}

// A syllable occurring twice at every place (its split form is its pinyin)
// and phrases of 1 to 31 of it before another syllable.
packhold::Package RepeatedOccurrences() {
    packhold::Package package = EmptyPackage();
    AddSyllable(package, "ba", {0xB0, 0xCB, 0xCB}, "ba");
    AddSyllable(package, "zu", {0xD7, 0xE3, 0xE3});
    for (int k = 2; k <= 32; ++k) {
        std::vector<int> refs(static_cast<std::size_t>(k - 1), 200001);
        refs.push_back(200002);
        package.tables[kPhraseTable].rows.push_back({Cell::Int(5), Cell::IntArray(refs)});
    }
    return package;
}

// In a line of 中文 (D6D0 CEC4) repeated, the bytes across each character
// boundary read as other characters, D0CE and C4D6. 100 syllables have the
// first of them, 100 the second, and a phrase pairs each with each: 10,000
// phrases whose syllables follow one another only inside characters, where no
// search looks. A rule set that lints clean: polyphonic characters are common.
packhold::Package InsideCharacters() {
    packhold::Package package = EmptyPackage();
    for (int i = 0; i < 200; ++i)
        AddSyllable(
            package, NumberedPinyin(i),
            i < 100 ? std::vector<unsigned char>{0xD0, 0xCE, 0xCE} : std::vector<unsigned char>{0xC4, 0xD6, 0xD6});
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j)
            package.tables[kPhraseTable].rows.push_back(
                {Cell::Int(1 + (i * 100 + j) % 63), Cell::IntArray({200001 + i, 200101 + j})});
    return package;
}

void AddAllowTable(packhold::Package& package) {
    package.tables.resize(5);
    package.tables[kAllowTable].columns = {{kAllowColumn, CellType::kText}, {kAllowRulesColumn, CellType::kIntArray}};
}

// 家里 (jia li) caught by a phrase, and allowed 100,000 times over.
packhold::Package AllowCopies() {
    packhold::Package package = EmptyPackage();
    AddSyllable(package, "jia", {0xBC, 0xD2, 0xD2});
    AddSyllable(package, "li", {0xC0, 0xEF, 0xEF});
    package.tables[kPhraseTable].rows.push_back({Cell::Int(20), Cell::IntArray({200001, 200002})});
    AddAllowTable(package);
    for (int i = 0; i < 100000; ++i)
        package.tables[kAllowTable].rows.push_back({Cell::Text("\xBC\xD2\xC0\xEF"), Cell()});
    return package;
}

// a, aa, aaa, ... 1,024 of them allowed; a phrase of a then b.
packhold::Package AllowChain() {
    packhold::Package package = EmptyPackage();
    AddSyllable(package, "a", {0xB0, 0xA1, 0xA1});
    AddSyllable(package, "b", {0xB0, 0xA2, 0xA2});
    package.tables[kPhraseTable].rows.push_back({Cell::Int(20), Cell::IntArray({200001, 200002})});
    AddAllowTable(package);
    for (int i = 1; i <= 1024; ++i)
        package.tables[kAllowTable].rows.push_back({Cell::Text(std::string(static_cast<std::size_t>(i), 'a')), Cell()});
    return package;
}

// The 10,000 phrases of SharedStart, and guawai allowed for the first alone:
// every line of waigua holds it.
packhold::Package LimitedAllow() {
    packhold::Package package = SharedStart();
    AddAllowTable(package);
    package.tables[kAllowTable].rows.push_back({Cell::Text("guawai"), Cell::IntArray({300001})});
    return package;
}

IChatsieve* g_filter = nullptr;
std::string g_loadedName;

// `make` null: the shipped rule package, which the build puts under the
// programs' folder.
IChatsieve* Load(const std::string& name, packhold::Package (*make)()) {
    if (g_loadedName == name) return g_filter;
    if (g_filter) g_filter->Uninit();
    g_filter = nullptr;
    if (make)
        UsePackage(name, make());
    else
        std::filesystem::current_path(CHATSIEVE_SHIPPED_ROOT);
    if (!CreateChatsieve(&g_filter)) std::abort();
    g_loadedName = name;
    return g_filter;
}

void CheckLine(benchmark::State& state, IChatsieve* filter, const std::string& unit) {
    std::string line;
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    while (line.size() < size) line += unit;
    line.resize(size);
    for (auto _ : state) benchmark::DoNotOptimize(filter->FilterText(line.c_str(), nullptr, 0, 1));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// Every match of a line of 外挂 is masked: one pass per match, each costing
// what the previous mask changed rather than a whole check.
void BM_MaskShipped(benchmark::State& state) {
    IChatsieve* filter = Load("shipped", nullptr);
    std::string line;
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    while (line.size() < size) line += "\xCD\xE2\xB9\xD2";
    line.resize(size);
    std::string out(size + 2, '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(filter->FilterText(line.c_str(), &out[0], static_cast<unsigned>(size + 1), 1));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The shapes that once took a whole check per pass: an allowed expression
// in the line (买好装备 before 外挂 repeated), a part of an earlier
// combination next to each match (垃圾加), a combination deciding (加我微信).
void MaskShippedLine(benchmark::State& state, const std::string& head, const std::string& unit) {
    IChatsieve* filter = Load("shipped", nullptr);
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    std::string line = head;
    while (line.size() < size) line += unit;
    line.resize(size);
    std::string out(size + 2, '\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(filter->FilterText(line.c_str(), &out[0], static_cast<unsigned>(size + 1), 1));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_MaskAllowed(benchmark::State& state) {
    MaskShippedLine(state, "\xC2\xF2\xBA\xC3\xD7\xB0\xB1\xB8", "\xCD\xE2\xB9\xD2");
}
void BM_MaskNextToPart(benchmark::State& state) { MaskShippedLine(state, "", "\xC0\xAC\xBB\xF8\xBC\xD3"); }
void BM_MaskCombination(benchmark::State& state) { MaskShippedLine(state, "", "\xBC\xD3\xCE\xD2\xCE\xA2\xD0\xC5"); }

void BM_AllowCopies(benchmark::State& state) {
    CheckLine(state, Load("allow-copies", AllowCopies), "\xBC\xD2\xC0\xEF");
}
void BM_AllowChain(benchmark::State& state) { CheckLine(state, Load("allow-chain", AllowChain), "a"); }
void BM_LimitedAllow(benchmark::State& state) { CheckLine(state, Load("limited-allow", LimitedAllow), "waigua"); }

void BM_SharedStart(benchmark::State& state) { CheckLine(state, Load("shared-start", SharedStart), "waigua"); }

void BM_RepeatedOccurrences(benchmark::State& state) { CheckLine(state, Load("repeated", RepeatedOccurrences), "ba"); }

void BM_InsideCharacters(benchmark::State& state) {
    CheckLine(state, Load("inside-characters", InsideCharacters), "\xD6\xD0\xCE\xC4");
}

// Creation shapes. Argument: rules.
enum class Shape { kWorkload, kLevel100, kMiddleCombos, kManySyllables, kAllowCopies };

packhold::Package CreationPackage(Shape shape, int rules) {
    // The benchmark workload: `rules` phrases and one combination per 20.
    if (shape == Shape::kWorkload) return MakePackage(MakeWorkload(CHATSIEVE_SYLLABLE_TABLE, rules, 1, 2026));
    if (shape == Shape::kAllowCopies) {
        packhold::Package package = AllowCopies();
        package.tables[kAllowTable].rows.resize(static_cast<std::size_t>(rules));
        return package;
    }
    packhold::Package package = EmptyPackage();
    const int syllables = shape == Shape::kManySyllables ? 20000 : 400;
    for (int i = 0; i < syllables; ++i) AddNumberedSyllable(package, i);
    const int phrases = shape == Shape::kMiddleCombos ? rules / 2 : rules;
    for (int i = 0; i < phrases; ++i) {
        const int level = shape == Shape::kLevel100 ? 100 : 1 + i % 63;
        package.tables[kPhraseTable].rows.push_back(
            {Cell::Int(level), Cell::IntArray({200001 + i % syllables, 200001 + (i / syllables + i) % syllables})});
    }
    if (shape == Shape::kMiddleCombos)
        for (int i = 0; i < rules - phrases; ++i)
            package.tables[kComboTable].rows.push_back(
                {Cell::Int(1 + i % 63), Cell::IntArray({200001 + i % syllables, 300001 + phrases / 2})});
    return package;
}

void BM_CreateGrowth(benchmark::State& state, Shape shape) {
    if (g_filter) g_filter->Uninit();
    g_filter = nullptr;
    g_loadedName.clear();
    const int rules = static_cast<int>(state.range(0));
    UsePackage("create", CreationPackage(shape, rules));
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
    state.counters["per_rule"] = benchmark::Counter(
        static_cast<double>(rules), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_MaskShipped)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskAllowed)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskNextToPart)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskCombination)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllowCopies)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllowChain)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LimitedAllow)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SharedStart)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepeatedOccurrences)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsideCharacters)->RangeMultiplier(4)->Range(1 << 10, 16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CreateGrowth, workload, Shape::kWorkload)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Arg(95000)
    ->Unit(benchmark::kMillisecond);
// The made-up shapes, from 1,000 to 100,000 rows.
void CreationSizes(benchmark::internal::Benchmark* b) {
    b->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
}
BENCHMARK_CAPTURE(BM_CreateGrowth, level100, Shape::kLevel100)->Apply(CreationSizes);
BENCHMARK_CAPTURE(BM_CreateGrowth, middle_combos, Shape::kMiddleCombos)->Apply(CreationSizes);
BENCHMARK_CAPTURE(BM_CreateGrowth, syllables20k, Shape::kManySyllables)->Apply(CreationSizes);
BENCHMARK_CAPTURE(BM_CreateGrowth, allow_copies, Shape::kAllowCopies)->Apply(CreationSizes);

}  // namespace
}  // namespace chatsieve::bench

BENCHMARK_MAIN();
