// A host with little memory: loads the filter by name, creates it on the
// shipped rules and screens one 16 MiB line of 'a' holding 私服 (level 50)
// in the middle, with an output buffer. Run under `ulimit -v 120000` the
// check cannot get its position map and must fail closed; with memory to
// spare it finds 50. Either way the level is above 0.
//   LowMemoryHost (in a folder holding Data/Scp/Chatsieve.res)
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Chatsieve.h"

int main() {
    void* library = dlopen("libchatsieve.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto create = reinterpret_cast<int (*)(IChatsieve**)>(dlsym(library, "CreateChatsieve"));
    IChatsieve* filter = nullptr;
    if (!create || !create(&filter)) return 3;
    const std::size_t size = 16u << 20;
    char* line = static_cast<char*>(std::malloc(size + 1));
    char* out = static_cast<char*>(std::malloc(size + 2));
    if (!line || !out) return 4;
    std::memset(line, 'a', size);
    std::memcpy(line + size / 2, "\xCB\xBD\xB7\xFE", 4);
    line[size] = 0;
    const int level = filter->FilterText(line, out, static_cast<unsigned>(size + 1), 1);
    std::size_t stars = 0;
    for (std::size_t i = 0; i < size; ++i) stars += out[i] == '*';
    std::printf("level %d, %zu of %zu bytes masked\n", level, stars, size);
    filter->Uninit();
    return level > 0 ? 0 : 1;
}
