#include <gtest/gtest.h>

#include "waveform/Cp1252.h"

namespace zop {
namespace {

TEST(Cp1252, EveryByteRoundTripsThroughUtf8)
{
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << "byte " << b;
    }
}

TEST(Cp1252, HighControlsAreTheWindowsCharactersNotLatin1)
{
    EXPECT_EQ(Cp1252ToUnicode(0x80), U'\u20AC');
    EXPECT_EQ(Cp1252ToUnicode(0x99), U'\u2122');
    EXPECT_EQ(Cp1252ToUnicode(0x9F), U'\u0178');
    EXPECT_EQ(Cp1252ToUnicode(0xB5), U'\u00B5');
    EXPECT_EQ(UnicodeToCp1252(U'\u20AC'), 0x80);
    EXPECT_EQ(UnicodeToCp1252(U'\u0178'), 0x9F);
    EXPECT_EQ(UnicodeToCp1252(U'\u4E2D'), -1);
}

TEST(Cp1252, MicroSignLabelsConvertBothWays)
{
    EXPECT_EQ(Cp1252ToUtf8("2\xB5s/div"), "2\xC2\xB5s/div");
    EXPECT_EQ(Utf8ToCp1252("2\xC2\xB5s/div"), "2\xB5s/div");
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
}

TEST(Cp1252, UnmappableAndMalformedUtf8BecomeTheReplacement)
{
    EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD"
                           "b"),
        "a?b"); // CJK character
    EXPECT_EQ(Utf8ToCp1252("a\xF0\x9F\x98\x80"
                           "b"),
        "a?b"); // emoji
    EXPECT_EQ(Utf8ToCp1252("a\xC0\xAF"
                           "b",
                  '_'),
        "a_b"); // overlong '/'
    EXPECT_EQ(Utf8ToCp1252("a\xED\xA0\x80"
                           "b"),
        "a?b"); // surrogate
    EXPECT_EQ(Utf8ToCp1252("ab\xE2\x82"), "ab?"); // cut short
    EXPECT_EQ(Utf8ToCp1252("\xFF"), "?");
}

TEST(Cp1252, UpperCaseFoldsAsciiLettersOnly)
{
    EXPECT_EQ(UpperAscii("2\xB5s/div"), "2\xB5S/DIV");
    EXPECT_EQ(UpperAscii("\xE9t\xE9"), "\xE9T\xE9"); // accented letters stay
    EXPECT_TRUE(EqualsIgnoreAsciiCase("Tracelet", "TRACELET"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("Tracelet", "Tracelet "));
}

} // namespace
} // namespace zop
