// FilterText on arbitrary bytes, with arbitrary outSize and minLevel, against
// the rule set shipped with the build. The output buffer is exactly as large
// as the interface requires, so a write past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "Chatsieve.h"
#include "FuzzSupport.h"

namespace {
IChatsieve* g_filter = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** argv) {
    // The shipped package lies beside the fuzzer, under Data/Scp.
    std::filesystem::current_path(std::filesystem::absolute((*argv)[0]).parent_path());
    chatsieve::fuzz::HoldPackageLibrary();
    if (!CreateChatsieve(&g_filter)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::uint32_t outSize;
    std::memcpy(&outSize, data, 4);
    // Small sizes most of the time, the largest now and then.
    if (outSize & 0x80000000u)
        outSize = 0xFFFFFFFFu;
    else
        outSize %= 300;
    const int minLevel = static_cast<int>(static_cast<std::int8_t>(data[4])) % 70;
    const std::string line = chatsieve::fuzz::Line(data + 5, size - 5);

    const int level = g_filter->FilterText(line.c_str(), nullptr, 0, minLevel);
    std::size_t n = line.size() + 1;
    if (outSize < n) n = outSize;
    // Not zero-filled: a buffer left unwritten or unterminated must show.
    std::vector<char> out(n + 1, '#');
    const int masked = g_filter->FilterText(line.c_str(), out.data(), outSize, minLevel);
    // Masking never lowers the result; it raises it only by what masking
    // itself revealed. Rejected arguments answer 0.
    if (masked < level || masked > 63 || (minLevel < 0 && masked != 0) || level < 0) std::abort();
    if (out[n] != 0) std::abort();
    return 0;
}
