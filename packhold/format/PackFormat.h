// The package format's constants and the small helpers that both the reader
// and the writer need, so the two cannot drift apart: little-endian loads and
// stores, the checksum, the key tag and the column-name rule. The layout is
// described byte by byte in docs/package-format.md; the numbers here are the
// ones that document refers to.
//
// Nothing here allocates or throws.
#ifndef PACKHOLD_FORMAT_PACKFORMAT_H
#define PACKHOLD_FORMAT_PACKFORMAT_H

#include <cstddef>
#include <cstdint>

#include "Packhold.h"

namespace packhold {
namespace format {

constexpr unsigned char kMagic[4] = {'P', 'K', 'H', 'D'};
constexpr std::uint16_t kFormatVersion = 1;
constexpr std::uint32_t kHeaderBytes = 32;
constexpr std::uint32_t kDirectoryEntryBytes = 8;
constexpr std::uint32_t kTableHeadBytes = 8;

// Header field offsets.
constexpr std::size_t kOffMagic = 0;
constexpr std::size_t kOffVersion = 4;
constexpr std::size_t kOffHeaderBytes = 6;
constexpr std::size_t kOffChecksum = 8;
constexpr std::size_t kOffFileBytes = 12;
constexpr std::size_t kOffFlags = 16;
constexpr std::size_t kOffKeyTag = 20;
constexpr std::size_t kOffTableCount = 28;
// The checksum covers every byte after its own field.
constexpr std::size_t kChecksumStart = 12;

// Header flags. Bits other than these make a package unreadable, so a later
// format can add meaning without an old reader misreading it.
constexpr std::uint32_t kFlagTableSet = 1;
constexpr std::uint32_t kKnownFlags = kFlagTableSet;

// Limits. A reader refuses a package past any of them, and the writer never
// produces one.
constexpr std::uint32_t kMaxFileBytes = 64u * 1024u * 1024u;
constexpr std::uint32_t kMaxColumns = 1024;
constexpr std::uint32_t kMaxNameBytes = 255;
constexpr std::uint32_t kMaxArrayInts = static_cast<std::uint32_t>(kMaxCellBytes) / 4;
constexpr std::uint32_t kMaxByteCells = static_cast<std::uint32_t>(kMaxCellBytes);

// Cell type codes as stored in a column definition.
constexpr unsigned char kTypeInt = 1;
constexpr unsigned char kTypeIntArray = 2;
constexpr unsigned char kTypeText = 3;
constexpr unsigned char kTypeBytes = 4;

inline std::uint16_t LoadU16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t LoadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t LoadI32(const unsigned char* p) {
    // Two's complement by definition of the format; the conversion is exact.
    std::uint32_t u = LoadU32(p);
    return u <= 0x7FFFFFFFu ? static_cast<std::int32_t>(u) : -static_cast<std::int32_t>(~u) - 1;
}
inline std::uint64_t LoadU64(const unsigned char* p) {
    return static_cast<std::uint64_t>(LoadU32(p)) | (static_cast<std::uint64_t>(LoadU32(p + 4)) << 32);
}
inline void StoreU16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void StoreU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void StoreU64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// CRC-32 as in zlib and PNG (reflected polynomial 0xEDB88320, initial value
// and final xor 0xFFFFFFFF). Pass the previous result as `crc` to continue.
std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0);

// What a package stores instead of its key: a 64-bit FNV-1a hash of a fixed
// domain text followed by the key's bytes. It tells a wrong key from the
// right one without keeping the key in clear; it is not a secret.
std::uint64_t KeyTag(const char* key, std::size_t length);

// A column name is 1 to kMaxNameBytes bytes of printable ASCII other than
// space and ':', so that it can stand in a TSV header as `name:type`.
bool IsValidColumnName(const unsigned char* name, std::size_t length);

}  // namespace format
}  // namespace packhold

#endif
