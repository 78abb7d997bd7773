// The package's checksum is part of the format, and long texts take another
// way through it than short ones: both pitted against one byte at a time.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "format/PackFormat.h"

namespace {

// The checksum is part of the format: the standard check value, and every
// length and split of a text gives what one byte at a time gives.
TEST(PackholdChecksum, MatchesTheStandardCrc32) {
    const unsigned char digits[] = "123456789";
    EXPECT_EQ(0xCBF43926u, packhold::format::Crc32(digits, 9));
    unsigned char bytes[37];
    for (unsigned i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
    for (std::size_t length = 0; length <= sizeof bytes; ++length) {
        std::uint32_t bytewise = 0;
        for (std::size_t i = 0; i < length; ++i) bytewise = packhold::format::Crc32(bytes + i, 1, bytewise);
        EXPECT_EQ(bytewise, packhold::format::Crc32(bytes, length)) << length;
    }
}

// Long texts take another way through the checksum than short ones (16
// bytes at a time where the processor allows): every length and start of
// one, and a text continued in pieces, give what one byte at a time gives.
TEST(PackholdChecksum, LongTextsMatchTheBytewiseChecksum) {
    std::vector<unsigned char> bytes(1200);
    std::uint32_t state = 12345;
    for (unsigned char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    std::vector<std::uint32_t> bytewise(bytes.size() + 1);  // over bytes 3 .. 3 + n
    for (std::size_t n = 0; n + 3 < bytes.size(); ++n)
        bytewise[n + 1] = packhold::format::Crc32(&bytes[3 + n], 1, bytewise[n]);
    for (std::size_t length : {63, 64, 65, 79, 80, 81, 127, 128, 129, 1000, 1196})
        for (std::size_t start = 0; start < 4; ++start) {
            std::uint32_t expected = 0;
            for (std::size_t i = 0; i < length; ++i) expected = packhold::format::Crc32(&bytes[start + i], 1, expected);
            EXPECT_EQ(expected, packhold::format::Crc32(&bytes[start], length)) << length << " from " << start;
        }
    for (std::size_t split : {1, 15, 64, 100, 700}) {
        const std::uint32_t head = packhold::format::Crc32(&bytes[3], split);
        EXPECT_EQ(bytewise[1196], packhold::format::Crc32(&bytes[3 + split], 1196 - split, head)) << split;
    }
}

}  // namespace
