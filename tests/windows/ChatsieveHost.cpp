// A stand-in for a game client: loads the filter library by name at run time,
// the way a client does, and screens a corpus of chat lines through it. The
// same source is built for Windows (run under Wine) and natively, and the two
// outputs must be byte for byte the same.
//
//   ChatsieveHost CORPUS OUTPUT   screens every line of CORPUS (bytes, '\n'
//                                 separated, a trailing '\r' dropped) and
//                                 writes one line per corpus line to OUTPUT:
//                                 "level<TAB>masked from 1<TAB>masked from 5,
//                                 at most 7 bytes". Exits 0, or 1 on failure
//                                 (also when no line scored: the rules were
//                                 not exercised).
//   ChatsieveHost --create-only   exits 0 when CreateChatsieve made a filter,
//                                 2 when it returned 0 and left the pointer
//                                 alone, 1 otherwise.
//
// The working directory must hold Data/Scp/Chatsieve.res.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Chatsieve.h"

// ---- The only part that differs between systems: finding the factory. ----
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using CreateFn = decltype(&CreateChatsieve);

#if defined(_WIN32)
// Masking depends on the ANSI code page's lead bytes; in any other code page
// the comparison with the native build would fail for reasons that have
// nothing to do with the filter.
CreateFn LoadFactory() {
    const UINT codePage = GetACP();
    if (codePage != 936) {
        std::fprintf(stderr, "ANSI code page is %u, not 936 (under Wine, run with LC_ALL=zh_CN.GBK)\n", codePage);
        return nullptr;
    }
    HMODULE module = LoadLibraryA("Chatsieve.dll");
    if (!module) {
        std::fprintf(stderr, "LoadLibraryA(\"Chatsieve.dll\") failed: error %lu\n", GetLastError());
        return nullptr;
    }
    auto factory = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(module, "CreateChatsieve")));
    if (!factory) std::fprintf(stderr, "GetProcAddress(\"CreateChatsieve\") failed\n");
    return factory;
}
#else
CreateFn LoadFactory() {
    void* module = dlopen("libchatsieve.so", RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "dlopen(\"libchatsieve.so\") failed: %s\n", dlerror());
        return nullptr;
    }
    auto factory = reinterpret_cast<CreateFn>(dlsym(module, "CreateChatsieve"));
    if (!factory) std::fprintf(stderr, "dlsym(\"CreateChatsieve\") failed\n");
    return factory;
}
#endif
// ---- End of the system-specific part. ----

bool ReadLines(const char* path, std::vector<std::string>& lines) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    std::string all;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) all.append(chunk, got);
    std::fclose(file);
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        std::string line = all.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return true;
}

// Masks `text` into a buffer with a guard byte past the outSize + 1 bytes the
// interface may write; a filter that writes further fails the run.
bool Mask(IChatsieve* filter, const std::string& text, unsigned outSize, int minLevel, std::string& masked) {
    const char kGuard = '\x5A';
    std::vector<char> buffer(outSize + 2, kGuard);
    filter->FilterText(text.c_str(), buffer.data(), outSize, minLevel);
    if (buffer[outSize + 1] != kGuard) {
        std::fprintf(stderr, "FilterText wrote past outSize + 1 bytes\n");
        return false;
    }
    buffer[outSize + 1] = '\0';
    masked = buffer.data();
    return true;
}

int Screen(IChatsieve* filter, const char* corpusPath, const char* outputPath) {
    std::vector<std::string> lines;
    if (!ReadLines(corpusPath, lines)) {
        std::fprintf(stderr, "cannot read %s\n", corpusPath);
        return 1;
    }
    std::FILE* output = std::fopen(outputPath, "wb");
    if (!output) {
        std::fprintf(stderr, "cannot write %s\n", outputPath);
        return 1;
    }
    int scored = 0;
    bool ok = true;
    for (const std::string& line : lines) {
        const int level = filter->FilterText(line.c_str(), nullptr, 0, 1);
        std::string fromOne, fromFive;
        ok = ok && Mask(filter, line, static_cast<unsigned>(line.size()) + 1, 1, fromOne) &&
             Mask(filter, line, 7, 5, fromFive);
        std::fprintf(output, "%d\t%s\t%s\n", level, fromOne.c_str(), fromFive.c_str());
        scored += level > 0;
    }
    filter->Uninit();
    ok = std::fclose(output) == 0 && ok;
    if (!scored) {
        std::fprintf(stderr, "no line of %s scored: the rules were not loaded as expected\n", corpusPath);
        return 1;
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool createOnly = argc == 2 && std::strcmp(argv[1], "--create-only") == 0;
    if (!createOnly && argc != 3) {
        std::fprintf(stderr, "usage: ChatsieveHost CORPUS OUTPUT | ChatsieveHost --create-only\n");
        return 1;
    }
    CreateFn create = LoadFactory();
    if (!create) return 1;
    IChatsieve* const kUntouched = reinterpret_cast<IChatsieve*>(&argc);
    IChatsieve* filter = kUntouched;
    const int created = create(&filter);
    std::printf("CreateChatsieve returned %d\n", created);
    if (!created) {
        if (filter != kUntouched) {
            std::fprintf(stderr, "CreateChatsieve returned 0 but wrote the pointer\n");
            return 1;
        }
        return createOnly ? 2 : 1;
    }
    if (created != 1 || filter == kUntouched || !filter) {
        std::fprintf(stderr, "CreateChatsieve returned %d without a filter\n", created);
        return 1;
    }
    if (createOnly) {
        filter->Uninit();
        return 0;
    }
    return Screen(filter, argv[1], argv[2]);
}
