// CPackhold: the root object that CreatePackhold hands out. It opens packages
// and keeps a list of the ones still open, so that Release frees a file its
// caller forgot to close instead of leaking it. Release frees the root object
// itself; nothing obtained from it may be used afterwards.
#ifndef PACKHOLD_LIBRARY_CPACKHOLD_H
#define PACKHOLD_LIBRARY_CPACKHOLD_H

#include "Packhold.h"
#include "format/Allocate.h"

namespace packhold {

class CPackholdFile;

class CPackhold final : public IPackhold {
public:
    // A new root object, or null when memory is exhausted.
    static CPackhold* Create();

    // `reserved` is not read (callers pass 0). `key` is NUL-terminated.
    IPackholdFile* OpenFile(const char* path, int reserved, const char* key) noexcept override;
    void Release() noexcept override;

    // Called by a file's Close: takes it off the list of open files.
    void Forget(CPackholdFile* file);

private:
    CPackhold() = default;
    ~CPackhold() = default;
    template <class T, class... Args>
    friend T* New(Args&&... args);

    CPackholdFile* m_openFiles = nullptr;
};

}  // namespace packhold

#endif
