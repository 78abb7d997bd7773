// A host that loads the filter by name and runs create, filter, Uninit cycles
// over the shipped rules, then unloads it: run under valgrind, nothing may be
// lost, rules of level 0 included.
//   CycleHost CYCLES (in a folder holding Data/Scp/Chatsieve.res)
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "Chatsieve.h"

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 10;
    void* library = dlopen("libchatsieve.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto create = reinterpret_cast<int (*)(IChatsieve**)>(dlsym(library, "CreateChatsieve"));
    const char* const lines[] = {"\xCD\xE2\xB9\xD2", "wai gua", "mai jin bi", "jia wei xin", "clean line", ""};
    int found = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        IChatsieve* filter = nullptr;
        if (!create(&filter)) return 3;
        char out[64];
        for (const char* line : lines) found += filter->FilterText(line, out, sizeof out - 1, 1) != 0;
        filter->Uninit();
    }
    // One filter left without Uninit: the library frees it when unloaded.
    IChatsieve* last = nullptr;
    if (!create(&last)) return 3;
    dlclose(library);
    std::printf("%d cycles, %d lines flagged\n", cycles, found);
    return found > 0 ? 0 : 4;
}
