// Small helpers shared by the fuzz targets.
#ifndef CHATSIEVE_FUZZ_SUPPORT_H
#define CHATSIEVE_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Module.h"

namespace chatsieve::fuzz {

// The filter loads and unloads the package library on every creation. An
// instrumented library that is unloaded leaves libFuzzer's coverage counters
// dangling, so the fuzzers keep one reference for the whole run.
inline void HoldPackageLibrary() {
    static ModuleHandle held = LoadModule("Packhold.dll");
    (void)held;
}

// The input as a line: everything up to its first zero byte.
inline std::string Line(const std::uint8_t* data, std::size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    return line.substr(0, line.find('\0'));
}

}  // namespace chatsieve::fuzz

#endif
