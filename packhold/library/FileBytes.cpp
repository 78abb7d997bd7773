#include "library/FileBytes.h"

#include <cstdio>
#include <cstring>

#include "format/Allocate.h"

namespace packhold {

namespace {

// Closes the file on every way out.
class CFileCloser {
public:
    explicit CFileCloser(std::FILE* file) : m_file(file) {}
    ~CFileCloser() {
        if (m_file) std::fclose(m_file);
    }
    CFileCloser(const CFileCloser&) = delete;
    CFileCloser& operator=(const CFileCloser&) = delete;

private:
    std::FILE* m_file;
};

std::FILE* OpenForReading(const char* path) {
#if defined(_WIN32)
    // Windows takes both separators itself.
    return std::fopen(path, "rb");
#else
    // POSIX-only: a '\' in a path names a file whose name holds a backslash,
    // which no package is ever given; callers mean a folder separator.
    const std::size_t length = std::strlen(path);
    char* local = AllocateArray<char>(length + 1);
    if (!local) return nullptr;
    for (std::size_t i = 0; i <= length; ++i) local[i] = path[i] == '\\' ? '/' : path[i];
    std::FILE* file = std::fopen(local, "rb");
    FreeArray(local);
    return file;
#endif
}

}  // namespace

bool ReadFileBytes(const char* path, std::size_t maxSize, unsigned char** data, std::size_t* size) {
    if (!path || !data || !size) return false;
    std::FILE* file = OpenForReading(path);
    if (!file) return false;
    CFileCloser closer(file);
    if (std::fseek(file, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(file);
    if (end <= 0 || static_cast<unsigned long>(end) > maxSize) return false;
    if (std::fseek(file, 0, SEEK_SET) != 0) return false;
    const std::size_t length = static_cast<std::size_t>(end);
    unsigned char* bytes = AllocateRawArray<unsigned char>(length);
    if (!bytes) return false;
    // The file must hold exactly what its size promised: a file that shrinks
    // or grows while it is read is refused rather than read in part.
    if (std::fread(bytes, 1, length, file) != length || std::fgetc(file) != EOF) {
        FreeArray(bytes);
        return false;
    }
    *data = bytes;
    *size = length;
    return true;
}

}  // namespace packhold
