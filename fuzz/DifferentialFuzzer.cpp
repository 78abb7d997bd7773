// The rule index against trying every rule in turn, on rule sets and lines
// made from the input: the same level, the same offset and length behind it,
// and the same masked line; and the masked line again with the masking
// passes following the decider and handing over to later rules on every
// line, however short.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Chatsieve.h"
#include "FuzzPackage.h"
#include "FuzzSupport.h"
#include "host/CChatsieve.h"

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    const auto folder = std::filesystem::absolute((*argv)[0]).parent_path() / "fuzz-differential";
    std::filesystem::create_directories(folder);
    chatsieve::fuzz::HoldPackageLibrary();
    std::filesystem::current_path(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    if (!chatsieve::fuzz::WritePackage(chatsieve::fuzz::MakePackage(in, true))) return 0;
    IChatsieve* created = nullptr;
    if (!CreateChatsieve(&created)) return 0;
    auto* filter = static_cast<chatsieve::CChatsieve*>(created);
    while (in.remaining_bytes() > 0) {
        const std::string line = in.ConsumeRandomLengthString(80);
        const int ceiling = in.ConsumeIntegralInRange(0, 70);
        int level[2], offset[2], length[2], reported[3];
        std::string masked[3];
        for (int way = 0; way < 3; ++way) {
            filter->UseRuleIndex(way != 0);
            filter->FollowOnShortLines(way == 2);
            if (way < 2) {
                level[way] = filter->CheckText(line.c_str(), ceiling);
                offset[way] = filter->MatchOffset();
                length[way] = filter->MatchLength();
            }
            masked[way].assign(line.size() + 2, '#');
            reported[way] =
                filter->FilterText(line.c_str(), masked[way].data(), static_cast<unsigned>(line.size() + 1), 1);
        }
        filter->FollowOnShortLines(false);
        if (level[0] != level[1]) std::abort();
        if (level[0] && (offset[0] != offset[1] || length[0] != length[1])) std::abort();
        for (int way = 1; way < 3; ++way)
            if (reported[way] != reported[0] || masked[way] != masked[0]) std::abort();
    }
    created->Uninit();
    return 0;
}
