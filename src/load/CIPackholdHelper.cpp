#include "load/CIPackholdHelper.h"

namespace chatsieve {

namespace {

void ReportFailure(const char* message) {
    WriteDebugString(message);
    WriteDebugString("\r\n");
}

}  // namespace

CIPackholdHelper::CIPackholdHelper(const char* libraryName)
    : m_pPackhold(nullptr), m_hModule(nullptr), m_libraryName(libraryName) {}

CIPackholdHelper::~CIPackholdHelper() { Release(); }

IPackhold* CIPackholdHelper::Create(int argument) {
    Release();
    try {
        m_hModule = LoadModule(m_libraryName);
        if (!m_hModule) throw "Can not load Packhold.dll";
        auto factory = reinterpret_cast<CreatePackholdFn>(FindExport(m_hModule, "CreatePackhold"));
        if (!factory) throw "Can not GetProcAddress('CreatePackhold')";
        if (!factory(packhold::kInterfaceVersion, argument, &m_pPackhold)) throw "CreatePackhold() error";
        return m_pPackhold;
    } catch (const char* message) {
        // Our own messages, and any text the package library raises.
        ReportFailure(message ? message : "");
    } catch (...) {
        WriteDebugString("CIPackholdHelper::Create() : catch error\r\n");
    }
    return nullptr;
}

void CIPackholdHelper::Release() {
    if (m_pPackhold) {
        IPackhold* root = m_pPackhold;
        m_pPackhold = nullptr;
        // Release also runs while an exception from the package library
        // passes; a second one must not end the process.
        try {
            root->Release();
        } catch (...) {
        }
    }
    if (m_hModule) {
        UnloadModule(m_hModule);
        m_hModule = nullptr;
    }
}

}  // namespace chatsieve
