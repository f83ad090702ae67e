#include <gtest/gtest.h>

#include "platform/Cp1252Qt.h"

namespace zop {
namespace {

TEST(Cp1252Qt, EveryByteRoundTripsThroughQString)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(FromQString(ToQString(all)), all);
}

TEST(Cp1252Qt, WindowsCharactersAndTheMicroSign)
{
    EXPECT_EQ(ToQString("\x80"), QString(QChar(0x20AC)));
    EXPECT_EQ(ToQString("2\xB5s/div"), QString::fromUtf8("2\xC2\xB5s/div"));
    EXPECT_EQ(FromQString(QString::fromUtf8("\xE2\x80\x9Cq\xE2\x80\x9D")), "\x93q\x94");
}

TEST(Cp1252Qt, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(FromQString(QString::fromUtf8("a\xE4\xB8\xAD"
                                            "b")),
        "a?b");
    // A character outside the basic plane is one '?', not two.
    EXPECT_EQ(FromQString(QString::fromUtf8("a\xF0\x9F\x98\x80"
                                            "b")),
        "a?b");
}

} // namespace
} // namespace zop
