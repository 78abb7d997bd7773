// Loading another library at run time, and the debugger output, behind one
// seam. On Windows these are LoadLibraryA, GetProcAddress, FreeLibrary and
// OutputDebugStringA. On POSIX a library name "X.dll" loads the shared object
// "libX.so", looked for first in the folder of the library that holds this
// code, then along the dynamic loader's usual search path, and the debugger
// output is standard error.
#ifndef CHATSIEVE_PLATFORM_MODULE_H
#define CHATSIEVE_PLATFORM_MODULE_H

namespace chatsieve {

using ModuleHandle = void*;

// Loads the library `name` ("Packhold.dll"); null when it cannot be loaded.
ModuleHandle LoadModule(const char* name);
// The address of the export `name`, or null.
void* FindExport(ModuleHandle module, const char* name);
void UnloadModule(ModuleHandle module);
// Writes `text` to the debugger output as it stands, in one write.
void WriteDebugString(const char* text);

}  // namespace chatsieve

#endif
