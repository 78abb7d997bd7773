// CIPackholdHelper: owns the loaded package library and its root object for
// one loading run. Construct, Create, use the root object and what it hands
// out, then Release (or let the destructor do it). The root object is always
// given back before the library is unloaded. Create writes its failures to the
// debugger output and returns null; nothing is thrown out of it.
#ifndef CHATSIEVE_LOAD_CIPACKHOLDHELPER_H
#define CHATSIEVE_LOAD_CIPACKHOLDHELPER_H

#include "Packhold.h"
#include "platform/Module.h"

namespace chatsieve {

constexpr const char* kPackholdLibrary = "Packhold.dll";

class CIPackholdHelper {
public:
    // `libraryName` is the package library's file name; tests load stand-ins.
    explicit CIPackholdHelper(const char* libraryName = kPackholdLibrary);
    ~CIPackholdHelper();
    CIPackholdHelper(const CIPackholdHelper&) = delete;
    CIPackholdHelper& operator=(const CIPackholdHelper&) = delete;

    // Loads the library and asks its factory for the root object, handing it
    // `argument`. Gives back what the object held first. The result is owned
    // by this object; null on failure.
    IPackhold* Create(int argument);
    // Gives back the root object, then unloads the library. Safe to repeat.
    void Release();

    ModuleHandle Module() const { return m_hModule; }

private:
    IPackhold* m_pPackhold;
    ModuleHandle m_hModule;
    const char* m_libraryName;
};

}  // namespace chatsieve

#endif
