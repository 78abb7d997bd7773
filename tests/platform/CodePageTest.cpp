// The built-in code page 936 against the system's own conversion tables: the
// lead bytes and the two-byte upper-case mapping must be what a Windows
// process in code page 936 sees.
#include <gtest/gtest.h>
#include <iconv.h>

#include <clocale>
#include <cwctype>
#include <map>

#include "platform/CodePage.h"

namespace chatsieve {
namespace {

// Decodes one code page 936 character to a code point; 0 when undefined.
unsigned Decode(iconv_t cd, unsigned char lead, unsigned char trail) {
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    char32_t out[2] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t inLeft = 2, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return 0;
    return outLeft == sizeof out - sizeof(char32_t) ? static_cast<unsigned>(out[0]) : 0;
}

TEST(CodePage, LeadBytesAre81ToFE) {
    for (int b = 0; b < 256; ++b) EXPECT_EQ(b >= 0x81 && b <= 0xFE, IsLeadByte(static_cast<unsigned char>(b))) << b;
}

TEST(CodePage, UpperCaseMatchesUnicodeWithinTheCodePage) {
    ASSERT_NE(nullptr, std::setlocale(LC_CTYPE, "C.UTF-8"));
    iconv_t cd = iconv_open("UTF-32LE", "CP936");
    ASSERT_NE(reinterpret_cast<iconv_t>(-1), cd);
    std::map<unsigned, unsigned> codeOf;  // code point -> two-byte code
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail)
            if (unsigned cp = Decode(cd, static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)))
                codeOf.emplace(cp, lead << 8 | trail);
    int mapped = 0;
    for (const auto& [cp, code] : codeOf) {
        unsigned upper = static_cast<unsigned>(std::towupper(static_cast<wint_t>(cp)));
        auto it = codeOf.find(upper);
        unsigned expected = upper != cp && it != codeOf.end() ? it->second : code;
        EXPECT_EQ(expected, ToUpperDoubleByte(code)) << std::hex << code;
        mapped += expected != code;
    }
    iconv_close(cd);
    EXPECT_EQ(93, mapped);
}

}  // namespace
}  // namespace chatsieve
