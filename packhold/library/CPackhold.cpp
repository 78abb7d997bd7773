#include "library/CPackhold.h"

#include "format/Allocate.h"
#include "library/CPackholdFile.h"

namespace packhold {

CPackhold* CPackhold::Create() { return New<CPackhold>(); }

IPackholdFile* CPackhold::OpenFile(const char* path, int /*reserved*/, const char* key) noexcept {
    CPackholdFile* file = CPackholdFile::Open(this, path, key);
    if (!file) return nullptr;
    file->m_nextOpen = m_openFiles;
    if (m_openFiles) m_openFiles->m_prevOpen = file;
    m_openFiles = file;
    return file;
}

void CPackhold::Forget(CPackholdFile* file) {
    if (file->m_prevOpen)
        file->m_prevOpen->m_nextOpen = file->m_nextOpen;
    else
        m_openFiles = file->m_nextOpen;
    if (file->m_nextOpen) file->m_nextOpen->m_prevOpen = file->m_prevOpen;
    file->m_prevOpen = file->m_nextOpen = nullptr;
}

void CPackhold::Release() noexcept {
    while (m_openFiles) m_openFiles->Close();
    delete this;
}

}  // namespace packhold
