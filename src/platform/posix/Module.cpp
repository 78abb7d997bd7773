#include "platform/Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace chatsieve {

namespace {

// "Packhold.dll" -> "libPackhold.so"; other names are kept.
std::string SharedObjectName(const char* name) {
    std::string base = name;
    const std::size_t n = base.size();
    if (n > 4 && (base.compare(n - 4, 4, ".dll") == 0 || base.compare(n - 4, 4, ".DLL") == 0))
        return "lib" + base.substr(0, n - 4) + ".so";
    return base;
}

// The folder of the library (or program) that holds this code, with a
// trailing '/', or empty when it cannot be told.
std::string OwnFolder() {
    Dl_info info;
    if (!dladdr(reinterpret_cast<void*>(&LoadModule), &info) || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    if (path.empty() || path[0] != '/') {
        // A program started by a relative path is named that way, which no
        // longer holds once the working directory changes; ask the kernel.
        char self[4096];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length > 0) path.assign(self, static_cast<std::size_t>(length));
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

ModuleHandle LoadModule(const char* name) {
    if (!name) return nullptr;
    try {
        const std::string file = SharedObjectName(name);
        if (file.find('/') == std::string::npos) {
            const std::string folder = OwnFolder();
            if (!folder.empty())
                if (void* handle = dlopen((folder + file).c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
        }
        return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    } catch (...) {  // out of memory while building the path
        return nullptr;
    }
}

void* FindExport(ModuleHandle module, const char* name) { return module ? dlsym(module, name) : nullptr; }

void UnloadModule(ModuleHandle module) {
    if (module) dlclose(module);
}

void WriteDebugString(const char* text) {
    if (!text) return;
    const std::size_t length = std::strlen(text);
    if (length) {
        ssize_t ignored = write(STDERR_FILENO, text, length);
        (void)ignored;
    }
}

}  // namespace chatsieve
