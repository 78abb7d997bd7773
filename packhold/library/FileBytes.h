// Reading a package file whole. The path arrives as the caller wrote it, with
// '\' or '/' between folders (programs written for Windows pass
// "Data\Scp\Chatsieve.res"); on POSIX each '\' is taken as '/'.
#ifndef PACKHOLD_LIBRARY_FILEBYTES_H
#define PACKHOLD_LIBRARY_FILEBYTES_H

#include <cstddef>

namespace packhold {

// Reads the file at `path` into a new array (free with FreeArray) of
// `*size` bytes. False, with nothing allocated, when the file cannot be
// opened or read, is empty, or is larger than `maxSize`.
bool ReadFileBytes(const char* path, std::size_t maxSize, unsigned char** data, std::size_t* size);

}  // namespace packhold

#endif
