#include <gtest/gtest.h>

#include "display/FormatGeneral3.h"

namespace zop {
namespace {

std::string F(long double x)
{
    return FormatGeneral3(x, '.');
}

TEST(FormatGeneral3, DocumentedExamples)
{
    EXPECT_EQ(F(157.48L), "157");
    EXPECT_EQ(F(1.5748L), "1.57");
    EXPECT_EQ(F(0.015748L), "0.0157");
    EXPECT_EQ(F(1600), "1.6E3");
    EXPECT_EQ(F(999.7L), "1E3");
    EXPECT_EQ(F(0.00005L), "5E-5");
    EXPECT_EQ(F(12), "12");
    EXPECT_EQ(F(0), "0");
}

TEST(FormatGeneral3, HalvesRoundAwayFromZeroAcrossTheNotationBoundaries)
{
    EXPECT_EQ(F(999.5L), "1E3"); // rounds up into scientific notation
    EXPECT_EQ(F(999.4L), "999");
    EXPECT_EQ(F(0.00099995L), "0.001"); // rounds up into fixed notation
    EXPECT_EQ(F(0.00099949L), "0.000999"); // still fixed: 0.0001 <= v < 1000
    EXPECT_EQ(F(0.0001L), "0.0001"); // smallest fixed value
    EXPECT_EQ(F(0.000099949L), "9.99E-5");
    EXPECT_EQ(F(2.345L), "2.35");
    EXPECT_EQ(F(1.005L), "1.01");
    EXPECT_EQ(F(9.995L), "10");
    EXPECT_EQ(F(99.95L), "100");
    EXPECT_EQ(F(1599.99934L), "1.6E3");
    EXPECT_EQ(F(1234567), "1.23E6");
    EXPECT_EQ(F(1e-20L), "1E-20");
}

TEST(FormatGeneral3, NegativeValuesAreTheMagnitudeWithAMinus)
{
    EXPECT_EQ(F(-1.5748L), "-1.57");
    EXPECT_EQ(F(-999.5L), "-1E3");
    EXPECT_EQ(F(-0.00099995L), "-0.001");
    EXPECT_EQ(F(-0.00005L), "-5E-5");
    EXPECT_EQ(F(-400.5L), "-401");
}

TEST(FormatGeneral3, FixedNotationKeepsOnlySignificantDigits)
{
    EXPECT_EQ(F(100), "100");
    EXPECT_EQ(F(120.4L), "120");
    EXPECT_EQ(F(10.04L), "10");
    EXPECT_EQ(F(1.2L), "1.2");
    EXPECT_EQ(F(0.5L), "0.5");
    EXPECT_EQ(F(0.2L), "0.2"); // 0.2 is not exact in binary
    EXPECT_EQ(F(0.1L * 3), "0.3");
    EXPECT_EQ(F(0.0102L), "0.0102");
}

TEST(FormatGeneral3, UsesTheGivenOrConfiguredDecimalSeparator)
{
    EXPECT_EQ(FormatGeneral3(1.5748L, ','), "1,57");
    EXPECT_EQ(FormatGeneral3(0.00005L, ','), "5E-5");
    EXPECT_EQ(FormatGeneral3(1250, ','), "1,25E3");
    EXPECT_EQ(DecimalSeparator(), '.');
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatGeneral3(0.0157L), "0,0157");
    SetDecimalSeparator('.');
    EXPECT_EQ(FormatGeneral3(0.0157L), "0.0157");
}

} // namespace
} // namespace zop
