#include "format/PackFormat.h"

namespace packhold {
namespace format {

namespace {

// Eight tables, so the checksum takes eight bytes a step: entries[k][b] is
// the remainder of byte b followed by k zero bytes.
struct CrcTable {
    std::uint32_t entries[8][256];
    constexpr CrcTable() : entries() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k)
                entries[k][i] = (entries[k - 1][i] >> 8) ^ entries[0][entries[k - 1][i] & 0xFFu];
    }
};

constexpr CrcTable kCrcTable;

// Changing this text changes every key tag, so it is part of the format.
constexpr char kKeyDomain[] = "Packhold key tag v1";

}  // namespace

std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc) {
    crc = ~crc;
    const auto& t = kCrcTable.entries;
    std::size_t i = 0;
    const auto word = [data](std::size_t at) {
        return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
               static_cast<std::uint32_t>(data[at + 2]) << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
    };
    for (; i + 8 <= size; i += 8) {
        crc ^= word(i);
        const std::uint32_t high = word(i + 4);
        crc = t[7][crc & 0xFFu] ^ t[6][(crc >> 8) & 0xFFu] ^ t[5][(crc >> 16) & 0xFFu] ^ t[4][crc >> 24] ^
              t[3][high & 0xFFu] ^ t[2][(high >> 8) & 0xFFu] ^ t[1][(high >> 16) & 0xFFu] ^ t[0][high >> 24];
    }
    for (; i < size; ++i) crc = t[0][(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

std::uint64_t KeyTag(const char* key, std::size_t length) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    const std::uint64_t prime = 0x100000001B3ull;
    // The domain's terminating NUL is hashed too, so no key can be confused
    // with a longer domain text.
    for (std::size_t i = 0; i < sizeof kKeyDomain; ++i) {
        hash ^= static_cast<unsigned char>(kKeyDomain[i]);
        hash *= prime;
    }
    for (std::size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(key[i]);
        hash *= prime;
    }
    return hash;
}

bool IsValidColumnName(const unsigned char* name, std::size_t length) {
    if (length == 0 || length > kMaxNameBytes) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (name[i] <= 0x20 || name[i] >= 0x7F || name[i] == ':') return false;
    }
    return true;
}

}  // namespace format
}  // namespace packhold
