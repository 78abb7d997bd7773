// Conversion between UTF-8 and code page 936: the places errors are reported
// at, and agreement of the table with the code page on every level-1
// character the syllable table covers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compiler/CCodePage936.h"
#include "compiler/Utf8.h"

namespace chatsieve::tools {
namespace {

const CCodePage936& Cp() { return CCodePage936::Instance(); }

TEST(CCodePage936, ConvertsUtf8AndTellsEachByteItsColumn) {
    std::string out;
    std::vector<int> columns;
    TextError error;
    ASSERT_TRUE(Cp().FromUtf8("外挂 a€", &out, &error, &columns));
    EXPECT_EQ(out, "\xCD\xE2\xB9\xD2 a\x80");
    EXPECT_EQ(columns, (std::vector<int>{1, 1, 2, 2, 3, 4, 5}));
    std::string back;
    ASSERT_TRUE(Cp().ToUtf8(out, &back, &error));
    EXPECT_EQ(back, "外挂 a€");
}

TEST(CCodePage936, ReportsWhatTheCodePageLacksWithItsColumn) {
    std::string out;
    TextError error;
    EXPECT_FALSE(Cp().FromUtf8("ab😀c", &out, &error));
    EXPECT_EQ(error.column, 3);
    EXPECT_EQ(error.byteOffset, 2u);
    EXPECT_EQ(error.message, "'😀' (U+1F600) is not in code page 936");
}

TEST(CCodePage936, RefusesMalformedUtf8) {
    // A cut sequence, an overlong slash, an encoded surrogate, a stray continuation byte.
    for (const std::string& text :
         {std::string("a\xE5\xA4"), std::string("a\xC0\xAF"), std::string("a\xED\xA0\x80"), std::string("a\x80")}) {
        std::string out;
        TextError error;
        EXPECT_FALSE(Cp().FromUtf8(text, &out, &error));
        EXPECT_EQ(error.column, 2);
        EXPECT_EQ(error.message.rfind("invalid UTF-8", 0), 0u) << error.message;
    }
}

TEST(CCodePage936, LossyConversionWritesWhatTheCodePageLacksAsAQuestionMark) {
    std::string out;
    std::vector<int> columns;
    TextError first;
    // U+00A0 and U+2027 are the usual strangers in ordinary Chinese text.
    EXPECT_EQ(Cp().FromUtf8Lossy("外\u00A0挂😀", &out, &columns, &first), 2);
    EXPECT_EQ(out, "\xCD\xE2?\xB9\xD2?");
    EXPECT_EQ(columns, (std::vector<int>{1, 1, 2, 3, 3, 4}));
    EXPECT_EQ(first.column, 2);
    EXPECT_EQ(first.byteOffset, 3u);
    EXPECT_EQ(first.message, "'\u00A0' (U+00A0) is not in code page 936");
    EXPECT_EQ(Cp().FromUtf8Lossy("外挂 a€", &out), 0);
    EXPECT_EQ(out, "\xCD\xE2\xB9\xD2 a\x80");
}

TEST(CCodePage936, LossyConversionReplacesEachMaximalSubpartOfBadUtf8Once) {
    const struct {
        std::string utf8;
        std::string cp936;
    } cases[] = {
        {"a\xE5\xA4", "a?"},           // a cut three-byte sequence is one subpart
        {"a\xE5\xA4z", "a?z"},         // ... also when something follows
        {"a\xC0\xAF", "a??"},          // overlong: no lead byte of any sequence
        {"a\xED\xA0\x80", "a???"},     // an encoded surrogate: ED A0 is no prefix
        {"\x80\x80", "??"},            // stray continuation bytes, one each
        {"\xF0\x9F\x98", "?"},         // a cut emoji
        {"\xF4\x90\x80\x80", "????"},  // above U+10FFFF
        {"\xFF\xB9", "??"},
    };
    for (const auto& c : cases) {
        std::string out;
        TextError first;
        EXPECT_GT(Cp().FromUtf8Lossy(c.utf8, &out, nullptr, &first), 0);
        EXPECT_EQ(out, c.cp936) << testing::PrintToString(c.utf8);
        EXPECT_EQ(first.message.rfind("invalid UTF-8", 0), 0u) << first.message;
    }
}

TEST(CCodePage936, LossyConversionAgreesWithTheStrictOneOnEveryTextItAccepts) {
    // Every character of a few code page rows and planes, strict and lossy.
    std::string utf8;
    for (std::uint32_t cp = 0x20; cp < 0x3000; cp += 7) AppendUtf8(&utf8, cp);
    for (std::uint32_t cp = 0x4E00; cp < 0xA000; cp += 13) AppendUtf8(&utf8, cp);
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t at = pos;
        std::uint32_t cp = 0;
        ASSERT_TRUE(DecodeUtf8(utf8, &pos, &cp));
        const std::string one = utf8.substr(at, pos - at);
        std::string strict, lossy;
        std::vector<int> strictColumns, lossyColumns;
        TextError error;
        const bool ok = Cp().FromUtf8(one, &strict, &error, &strictColumns);
        const int replaced = Cp().FromUtf8Lossy(one, &lossy, &lossyColumns);
        EXPECT_EQ(replaced, ok ? 0 : 1) << FormatCodePoint(cp);
        EXPECT_EQ(lossy, ok ? strict : "?") << FormatCodePoint(cp);
        if (ok) {
            EXPECT_EQ(lossyColumns, strictColumns);
        }
    }
}

TEST(CCodePage936, StrictDecodingStopsAtBytesThatAreNoCharacter) {
    std::string out;
    TextError error;
    EXPECT_FALSE(Cp().ToUtf8("ab\xCD", &out, &error));  // a lead byte cut off by the end
    EXPECT_EQ(error.column, 3);
    EXPECT_FALSE(Cp().ToUtf8("\xFF", &out, &error));
    // What the filter leaves after masking may start inside a character.
    EXPECT_EQ(Cp().ToUtf8Lenient("\xCD*\xB9\xD2"), "\xEF\xBF\xBD*挂");
    EXPECT_EQ(Cp().ToUtf8Lenient("x\xCD"), "x\xEF\xBF\xBD");
}

TEST(CCodePage936, EveryLevelOneCharacterComesBackAsItself) {
    for (int lead = 0xB0; lead <= 0xD7; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE && (lead << 8 | trail) <= 0xD7F9; ++trail) {
            const long cp = Cp().Decode(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
            ASSERT_GT(cp, 0x7F) << std::hex << (lead << 8 | trail);
            std::string bytes;
            ASSERT_TRUE(Cp().Encode(static_cast<std::uint32_t>(cp), &bytes));
            EXPECT_EQ(bytes, std::string({static_cast<char>(lead), static_cast<char>(trail)}));
        }
    }
}

}  // namespace
}  // namespace chatsieve::tools
