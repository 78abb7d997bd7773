#include "format/PackFormat.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>
#define PACKHOLD_CRC_FOLDING 1
#endif

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

#if PACKHOLD_CRC_FOLDING

// A whole package is checksummed on every open, so where the processor
// multiplies without carries the bulk of it is folded 16 bytes at a time
// (carry-less multiplication by x^n mod P moves a remainder n bits on), and
// only the last few bytes go through the tables. The constants are the
// remainders x^(128+64) and x^128, x^96 and x^64, bit-reflected like the
// checksum, then P and floor(x^64 / P) for the final reduction; for long
// runs, x^(512+64) and x^512 move four remainders on 64 bytes at once, four
// multiplications that do not wait for one another.
bool CanFold() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) && (edx & bit_SSE2);
}

#if defined(__i386__)
// 32-bit callers (Windows ones above all) may leave the stack aligned to 4
// bytes only; the vectors kept on it need 16.
#define PACKHOLD_FOLD_ATTRIBUTES __attribute__((target("pclmul,sse2"), force_align_arg_pointer))
#else
#define PACKHOLD_FOLD_ATTRIBUTES __attribute__((target("pclmul,sse2")))
#endif

// The 16-byte block `block` of `data`.
PACKHOLD_FOLD_ATTRIBUTES inline __m128i LoadBlock(const unsigned char* data, std::size_t block) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * block));
}

// `x` moved on by the distance `by` stands for, with `next` added.
PACKHOLD_FOLD_ATTRIBUTES inline __m128i FoldInto(__m128i x, __m128i by, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, by, 0x00), _mm_clmulepi64_si128(x, by, 0x11)), next);
}

// The running remainder (not inverted) over `blocks` 16-byte blocks of `data`
// (at least one), continuing from `crc`.
PACKHOLD_FOLD_ATTRIBUTES std::uint32_t FoldBlocks(const unsigned char* data, std::size_t blocks, std::uint32_t crc) {
    const __m128i fold64 = _mm_set_epi64x(0x01C6E41596ll, 0x0154442BD4ll);
    const __m128i fold16 = _mm_set_epi64x(0x00CCAA009Ell, 0x01751997D0ll);
    const __m128i fold4 = _mm_set_epi64x(0, 0x0163CD6124ll);
    const __m128i barrett = _mm_set_epi64x(0x01F7011641ll, 0x01DB710641ll);
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    __m128i x = _mm_xor_si128(LoadBlock(data, 0), _mm_cvtsi32_si128(static_cast<int>(crc)));
    std::size_t b = 1;
    if (blocks >= 8) {
        __m128i x1 = LoadBlock(data, 1), x2 = LoadBlock(data, 2), x3 = LoadBlock(data, 3);
        for (b = 4; b + 4 <= blocks; b += 4) {
            x = FoldInto(x, fold64, LoadBlock(data, b));
            x1 = FoldInto(x1, fold64, LoadBlock(data, b + 1));
            x2 = FoldInto(x2, fold64, LoadBlock(data, b + 2));
            x3 = FoldInto(x3, fold64, LoadBlock(data, b + 3));
        }
        x = FoldInto(FoldInto(FoldInto(x, fold16, x1), fold16, x2), fold16, x3);
    }
    for (; b < blocks; ++b) x = FoldInto(x, fold16, LoadBlock(data, b));
    // 128 bits to 96 (the low half moved on by 64), to 64, then to 32.
    x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(fold16, x, 0x01));
    x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, low32), fold4, 0x00));
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10), low32);
    x = _mm_xor_si128(x, _mm_clmulepi64_si128(t, barrett, 0x00));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x, 4)));
}

const bool kCanFold = CanFold();

#endif

}  // namespace

std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc) {
    crc = ~crc;
    const auto& t = kCrcTable.entries;
    std::size_t i = 0;
#if PACKHOLD_CRC_FOLDING
    // Short texts gain nothing from the set-up.
    if (size >= 64 && kCanFold) {
        crc = FoldBlocks(data, size / 16, crc);
        i = size / 16 * 16;
    }
#endif
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
