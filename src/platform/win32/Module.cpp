#include "platform/Module.h"

#include <windows.h>

namespace chatsieve {

ModuleHandle LoadModule(const char* name) { return LoadLibraryA(name); }

void* FindExport(ModuleHandle module, const char* name) {
    return module ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name)) : nullptr;
}

void UnloadModule(ModuleHandle module) {
    if (module) FreeLibrary(static_cast<HMODULE>(module));
}

void WriteDebugString(const char* text) {
    if (text) OutputDebugStringA(text);
}

}  // namespace chatsieve
