// The rule compiler on arbitrary ignore, phrase and combination tables (the
// input split at its first two NUL bytes; the syllable table is the shipped
// one), with the linter over whatever it read. Whatever it accepts must be a
// package the filter loads: the compiler promises to refuse everything the
// loader would.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Chatsieve.h"
#include "FuzzSupport.h"
#include "compiler/CRuleCompiler.h"
#include "compiler/CRuleLinter.h"

namespace {

std::filesystem::path g_folder;

void Write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    chatsieve::fuzz::HoldPackageLibrary();
    g_folder = std::filesystem::absolute((*argv)[0]).parent_path() / "fuzz-rules";
    std::filesystem::create_directories(g_folder / "Data" / "Scp");
    std::filesystem::copy_file(CHATSIEVE_SHIPPED_SYLLABLES, g_folder / "syllables.tsv",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::current_path(g_folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[3];
    for (int i = 0, at = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? input.find('\0', static_cast<std::size_t>(at)) : std::string::npos;
        parts[i] = input.substr(static_cast<std::size_t>(at),
                                end == std::string::npos ? std::string::npos : end - static_cast<std::size_t>(at));
        if (end == std::string::npos) break;
        at = static_cast<int>(end) + 1;
    }
    Write(g_folder / "ignore.tsv", parts[0]);
    Write(g_folder / "phrases.tsv", parts[1]);
    Write(g_folder / "combos.tsv", parts[2]);

    // As `chatsieve build` does: the linter also runs over what was read
    // when there were errors, and must cope with the rows that had them.
    chatsieve::tools::RuleSetSource rules;
    std::vector<chatsieve::tools::Diagnostic> diagnostics;
    const bool read = chatsieve::tools::CRuleCompiler().Read(g_folder.string(), &rules, &diagnostics);
    chatsieve::tools::CRuleLinter().Check(rules, &diagnostics);
    if (!read || !chatsieve::tools::CRuleCompiler::Write(rules, (g_folder / "Data" / "Scp" / "Chatsieve.res").string(),
                                                         &diagnostics))
        return 0;
    IChatsieve* filter = nullptr;
    if (!CreateChatsieve(&filter)) std::abort();  // accepted, yet refused by the loader
    char out[64];
    filter->FilterText("wai gua \xCD\xE2\xB9\xD2 mai jin bi", out, sizeof out - 1, 1);
    filter->Uninit();
    return 0;
}
