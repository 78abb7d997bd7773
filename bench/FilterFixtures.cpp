// The shared workloads and the one loaded filter (FilterFixtures.h).
#include "FilterFixtures.h"

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "Chatsieve.h"

namespace chatsieve::bench {
namespace {

// Lines of each synthetic workload and of each cut of fortunes-zh, and of
// the manual pages.
constexpr int kLines = 2000;
constexpr std::size_t kDenseLines = 300;

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

}  // namespace

const Workload& WorkloadOf(int phrases) {
    static std::map<int, Workload> cache;
    auto it = cache.find(phrases);
    if (it == cache.end())
        it = cache.emplace(phrases, MakeWorkload(CHATSIEVE_SYLLABLE_TABLE, phrases, kLines, 2026)).first;
    return it->second;
}

std::string UsePackage(int phrases, int allowed) {
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

CChatsieve* FilterIn(const std::string& root) {
    if (g_loaded.root != root) {
        g_loaded.Unload();
        std::filesystem::current_path(root);
        if (!CreateChatsieve(&g_loaded.filter)) std::abort();
        g_loaded.root = root;
    }
    return static_cast<CChatsieve*>(g_loaded.filter);
}

CChatsieve* Filter(int phrases, int allowed) {
    const std::string root = UsePackage(phrases, allowed);
    return FilterIn(root);
}

void UnloadFilter() { g_loaded.Unload(); }

double BytesPerRule(std::size_t rules) {
    const std::size_t before = HeapBytes();
    IChatsieve* filter = nullptr;
    if (!CreateChatsieve(&filter)) return 0;
    const std::size_t held = HeapBytes() - before;
    filter->Uninit();
    return static_cast<double>(held) / static_cast<double>(rules);
}

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

bool Have(benchmark::State& state, const CompiledWords& words, const std::vector<std::string>& lines) {
    if (words.root.empty() || lines.empty()) {
        state.SkipWithError("the word list, the dictionary or the text is missing");
        return false;
    }
    return true;
}

}  // namespace chatsieve::bench
