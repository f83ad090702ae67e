#include <gtest/gtest.h>

#include "waveform/ScaleTables.h"

namespace zop {
namespace {

TEST(ScaleTables, LabelsByIndexAndProbe)
{
    EXPECT_EQ(TimeLabel(1), "2\xB5s/div");
    EXPECT_EQ(TimeLabel(22), "20s/div");
    EXPECT_EQ(VoltsLabel(1, 1), "5mV/div");
    EXPECT_EQ(VoltsLabel(1, 10), "50mV/div");
    EXPECT_EQ(VoltsLabel(12, 10), "200V/div");
    EXPECT_THROW(VoltsLabel(0, 1), std::out_of_range); // no row before the first waveform
    EXPECT_THROW(TimeLabel(23), std::out_of_range);
}

TEST(ScaleTables, X10LabelIsAlwaysTenTimesX1AndRangeLabelsAre16Long)
{
    for (const SensitivityRow& row : SensitivityTable) {
        EXPECT_EQ(row.RangeLabel.size(), 16u) << row.RangeLabel;
        EXPECT_NEAR(static_cast<double>(row.VoltsPerCountX10 / row.VoltsPerCountX1)
                * (row.VoltPrefixX10 == row.VoltPrefixX1 ? 1 : (row.VoltPrefixX1 == "m" ? 1000 : 0.001)),
            10.0, 0.01)
            << row.VoltDivLabelX1;
    }
    for (const TimeBaseRow& row : TimeBaseTable)
        EXPECT_EQ(row.SampleLabelPadded.size(), 12u) << row.SampleLabel;
}

TEST(ScaleTables, VoltsPerCountIsTheListedConstantNotRecomputed)
{
    EXPECT_EQ(VoltsPerCount(1, 1).VoltsPerCount, 0.15748L);
    EXPECT_EQ(VoltsPerCount(7, 1).VoltsPerCount, 0.012598L);
    EXPECT_EQ(VoltsPerCount(7, 10).VoltsPerCount, 0.125984L);
    // Row 3: x10 is volts with no prefix, x1 millivolts.
    EXPECT_EQ(VoltsPerCount(3, 10).VoltsPerCount, 0.0062992L);
    EXPECT_EQ(VoltsPerCount(3, 10).Prefix, "");
    EXPECT_EQ(VoltsPerCount(3, 1).VoltsPerCount, 0.62992L);
    EXPECT_EQ(VoltsPerCount(3, 1).Prefix, "m");
    EXPECT_EQ(CountsToVolts(254, 12, 10), 254 * 6.29921L);
}

TEST(ScaleTables, FindTimeIndexIgnoresAsciiCaseOnly)
{
    ASSERT_TRUE(FindTimeIndex("20S/DIV"));
    EXPECT_EQ(FindTimeIndex("20S/DIV")->Index, 22);
    EXPECT_EQ(FindTimeIndex("2\xB5S/DIV")->Index, 1); // kept in capitals, micro sign unchanged
    EXPECT_EQ(FindTimeIndex("0.5ms/div")->Index, 8);
    EXPECT_FALSE(FindTimeIndex("20s/div "));
    EXPECT_FALSE(FindTimeIndex("2us/div"));
    EXPECT_FALSE(FindTimeIndex(""));
}

TEST(ScaleTables, FindVoltIndexPrefersTheX1Column)
{
    auto m = FindVoltIndex("0.2v/div"); // row 6 in x1, row 3 in x10
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Index, 6);
    EXPECT_EQ(m->ProbeFactor, 1);
    m = FindVoltIndex("1V/div");
    EXPECT_EQ(m->Index, 8);
    EXPECT_EQ(m->ProbeFactor, 1);
    m = FindVoltIndex("0.5V/div"); // only in the x10 column
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Index, 4);
    EXPECT_EQ(m->ProbeFactor, 10);
    m = FindVoltIndex("200V/DIV");
    EXPECT_EQ(m->Index, 12);
    EXPECT_EQ(m->ProbeFactor, 10);
    for (const char* shared : { "50mV/div", "0.1V/div", "0.2V/div", "1V/div", "2V/div", "4V/div", "20V/div" })
        EXPECT_EQ(FindVoltIndex(shared)->ProbeFactor, 1) << shared;
    EXPECT_FALSE(FindVoltIndex("3V/div"));
    EXPECT_FALSE(FindVoltIndex("1V/div "));
}

TEST(ScaleTables, TimeAndFrequencyConversions)
{
    EXPECT_EQ(StepsToTime(20, 9), 20 * 0.1L); // 2 ms
    EXPECT_EQ(TimeToFrequency(2.0L, 9), 500.0L);
    EXPECT_EQ(TimeRow(6).TimePrefix, "\xB5");
    EXPECT_EQ(TimeRow(7).TimePrefix, "m");
    EXPECT_EQ(TimeRow(16).PrefixDivisor, 1);
}

} // namespace
} // namespace zop
