// Two adjacent bytes of a line read with one load. A table over every pair
// is indexed by BytePairIndex, which gives what such a load gives on this
// machine, so the table reads the same whatever the byte order.
#ifndef CHATSIEVE_PLATFORM_BYTEPAIR_H
#define CHATSIEVE_PLATFORM_BYTEPAIR_H

#include <cstdint>
#include <cstring>

namespace chatsieve {

inline unsigned LoadBytePair(const unsigned char* at) {
    std::uint16_t pair;
    std::memcpy(&pair, at, 2);
    return pair;
}

inline unsigned BytePairIndex(unsigned char first, unsigned char second) {
    const unsigned char bytes[2] = {first, second};
    return LoadBytePair(bytes);
}

}  // namespace chatsieve

#endif
