// The Windows code page layer, run in a process whose ANSI code page is 936:
// what it reads from the system must be what the native build has built in,
// or the two builds would screen the same line differently.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/CodePage.h"

namespace chatsieve {
namespace {

// The two-byte characters of code page 936 with a two-byte upper case, and
// the distance to it: small Roman numerals, full-width Latin, Greek, Cyrillic.
unsigned ExpectedUpper(unsigned ch) {
    if (ch >= 0xA2A1 && ch <= 0xA2AA) return ch + 0x50;
    if (ch >= 0xA3E1 && ch <= 0xA3FA) return ch - 0x20;
    if (ch >= 0xA6C1 && ch <= 0xA6D8) return ch - 0x20;
    if (ch >= 0xA7D1 && ch <= 0xA7F1) return ch - 0x30;
    return ch;
}

TEST(Win32CodePage, RunsInCodePage936) { ASSERT_EQ(936u, GetACP()); }

TEST(Win32CodePage, LeadBytesAre81ToFE) {
    ASSERT_EQ(936u, GetACP());
    for (int b = 0; b < 256; ++b) EXPECT_EQ(b >= 0x81 && b <= 0xFE, IsLeadByte(static_cast<unsigned char>(b))) << b;
}

TEST(Win32CodePage, UpperCaseAgreesWithTheNativeBuild) {
    ASSERT_EQ(936u, GetACP());
    int mapped = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            const unsigned ch = lead << 8 | trail;
            EXPECT_EQ(ExpectedUpper(ch), ToUpperDoubleByte(ch)) << std::hex << ch;
            mapped += ToUpperDoubleByte(ch) != ch;
        }
    }
    EXPECT_EQ(93, mapped);
}

TEST(Win32CodePage, CodesOutsideTheTwoByteRangeAreKept) {
    EXPECT_EQ(0x41u, ToUpperDoubleByte(0x41));
    EXPECT_EQ(0x10000u, ToUpperDoubleByte(0x10000));
    // A lead byte with a terminator as its second byte is no character.
    EXPECT_EQ(0xA300u, ToUpperDoubleByte(0xA300));
}

}  // namespace
}  // namespace chatsieve
