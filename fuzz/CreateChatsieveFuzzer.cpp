// CreateChatsieve on arbitrary rule tables, then FilterText on a few lines
// and Uninit. The input is read as a description of the four tables and packed
// with the package writer, so that structurally valid packages reach the
// loader instead of every input dying at the package's integrity check.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Chatsieve.h"
#include "FuzzPackage.h"
#include "FuzzSupport.h"
#include "PackholdWriter.h"
#include "matchers/ProcessLists.h"

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    // The package library lies beside the fuzzer; work in a folder of our own.
    const auto folder = std::filesystem::absolute((*argv)[0]).parent_path() / "fuzz-create";
    std::filesystem::create_directories(folder / "Data" / "Scp");
    chatsieve::fuzz::HoldPackageLibrary();
    std::filesystem::current_path(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    packhold::Package package = chatsieve::fuzz::MakePackage(in, false);
    if (!chatsieve::fuzz::WritePackage(package)) return 0;

    IChatsieve* filter = nullptr;
    if (!CreateChatsieve(&filter)) {
        // A failed creation leaves nothing behind for the next one.
        if (!chatsieve::g_syllables.Empty() || !chatsieve::g_phrases.Empty() || !chatsieve::g_combos.Empty())
            std::abort();
        return 0;
    }
    char out[128];
    for (int i = 0; i < 3; ++i) {
        const std::string line = in.ConsumeRandomLengthString(100);
        const int level = filter->FilterText(line.c_str(), out, sizeof out - 1, in.ConsumeIntegralInRange(0, 3));
        if (level < 0) std::abort();
    }
    filter->Uninit();
    if (!chatsieve::g_syllables.Empty() || !chatsieve::g_positionMap.Empty()) std::abort();
    return 0;
}
