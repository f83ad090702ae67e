#include <gtest/gtest.h>

#include <cmath>

#include "display/FormatGeneral3.h"
#include "display/Measurements.h"

namespace zop {
namespace {

WaveformRecord Record(int32_t level, int32_t zeroRef, int32_t voltIndex)
{
    WaveformRecord record;
    record.Samples.fill(level);
    record.ZeroRef = zeroRef;
    record.VoltIndex = voltIndex;
    record.TimeIndex = 9;
    return record;
}

TEST(Measurements, FlatTraceOnTheZeroReference)
{
    WaveformRecord record = Record(127, 127, 5);
    DocumentFlags flags;
    const MeasurementTexts t = Measure(record, flags, 1, '.');
    EXPECT_EQ(t.Dc, "0mVdc");
    EXPECT_EQ(t.PeakToPeak, "0mVpp");
    EXPECT_EQ(t.Rms, "0mVrms");
    EXPECT_EQ(t.Db, "... dB"); // no logarithm of zero
    EXPECT_FALSE(flags.Clipped);
    EXPECT_EQ(record.DcLevel, 0);
    EXPECT_EQ(record.PeakToPeak, 0);
}

TEST(Measurements, OneOffScaleSampleGivesNoNumbersInTheProbesUnit)
{
    for (int32_t volt = 1; volt <= 5; ++volt) {
        for (int32_t marker : { 0, 255 }) {
            WaveformRecord record = Record(100, 127, volt);
            record.Samples[40] = marker;
            record.DcLevel = 77;
            DocumentFlags flags;
            const MeasurementTexts t = Measure(record, flags, 1, '.');
            EXPECT_TRUE(flags.Clipped);
            EXPECT_EQ(t.Dc, "...mVdc");
            EXPECT_EQ(t.PeakToPeak, "...mVpp");
            EXPECT_EQ(t.Rms, "...mVrms");
            EXPECT_EQ(t.Db, "... dB");
            EXPECT_EQ(record.DcLevel, 77); // not written when clipped
        }
    }
    WaveformRecord record = Record(100, 127, 3);
    record.Samples[95] = 255; // the very last sample counts too
    DocumentFlags flags;
    const MeasurementTexts t = Measure(record, flags, 10, '.');
    EXPECT_EQ(t.Dc, "...Vdc");
    EXPECT_EQ(t.PeakToPeak, "...Vpp");
    EXPECT_EQ(t.Rms, "...Vrms");
    EXPECT_EQ(t.Db, "... dB");
}

TEST(Measurements, ClippedIsClearedByTheNextCleanWaveform)
{
    WaveformRecord record = Record(100, 127, 5);
    DocumentFlags flags;
    flags.Clipped = true;
    Measure(record, flags, 1, '.');
    EXPECT_FALSE(flags.Clipped);
}

TEST(Measurements, LargeDcLevelInScientificNotation)
{
    WaveformRecord record = Record(254, 0, 12);
    DocumentFlags flags;
    const MeasurementTexts t = Measure(record, flags, 10, '.');
    EXPECT_EQ(record.DcLevel, 254);
    EXPECT_EQ(t.Dc, "1.6E3Vdc"); // 254 x 6.29921 = 1599.99934 V
}

TEST(Measurements, DcUsesTheIntegerMeanAndCanBeNegative)
{
    WaveformRecord record = Record(126, 127, 5);
    record.Samples[0] = 140; // sum 126*96 + 14: the mean stays 126
    DocumentFlags flags;
    const MeasurementTexts t = Measure(record, flags, 1, '.');
    EXPECT_EQ(record.DcLevel, -1);
    EXPECT_EQ(t.Dc, "-3.15mVdc");
    EXPECT_EQ(record.PeakToPeak, 14);
    EXPECT_EQ(t.PeakToPeak, "44.1mVpp"); // 14 x 3.1496
}

TEST(Measurements, RmsOfASquareWaveAndItsDecibels)
{
    // Alternating 100 and 150 around the mean 125: every deviation is 25
    // counts, so the RMS is 25 counts.
    WaveformRecord record = Record(0, 127, 8);
    for (int i = 0; i < SampleCount; ++i)
        record.Samples[i] = i % 2 ? 150 : 100;
    DocumentFlags flags;
    const MeasurementTexts t = Measure(record, flags, 1, '.');
    EXPECT_NEAR(static_cast<double>(record.RmsValue), 25 * 0.031496, 1e-12);
    EXPECT_EQ(t.Rms, "0.787Vrms");
    EXPECT_NEAR(static_cast<double>(record.DbValue), 20 * std::log10(25 * 0.031496 / 0.775), 1e-9);
    EXPECT_EQ(t.Db, "0.138 dB");
    // In millivolts the reference is 775 mV: the same level reads the same.
    record.VoltIndex = 5;
    const MeasurementTexts m = Measure(record, flags, 1, '.');
    EXPECT_EQ(m.Rms, "78.7mVrms");
    EXPECT_EQ(m.Db, "-19.9 dB");
    EXPECT_EQ(Measure(record, flags, 1, ',').Rms, "78,7mVrms");
}

TEST(Measurements, RmsIsAboutTheIntegerMeanWithIntegerVariance)
{
    // One sample 3 counts above 95 others: mean 100 (integer), squares sum
    // 9, variance 9 div 96 = 0: the RMS is exactly 0.
    WaveformRecord record = Record(100, 127, 5);
    record.Samples[7] = 103;
    DocumentFlags flags;
    const MeasurementTexts t = Measure(record, flags, 1, '.');
    EXPECT_EQ(record.RmsValue, 0);
    EXPECT_EQ(t.Rms, "0mVrms");
    EXPECT_EQ(t.Db, "... dB");
    EXPECT_EQ(t.PeakToPeak, "9.45mVpp"); // 3 x 3.1496
}

TEST(Measurements, OneVoltRmsIsTwoPointTwoOneDecibels)
{
    EXPECT_EQ(FormatGeneral3(Decibels(1, ""), '.'), "2.21");
    EXPECT_EQ(FormatGeneral3(Decibels(1000, "m"), '.'), "2.21");
}

CursorPositions Crosses(int col1, int32_t y1, int col2, int32_t y2)
{
    return CursorPositions { 4 * col1 + 2, y1, 4 * col2 + 2, y2 };
}

CursorReadoutTexts Read(const CursorPositions& c, int32_t timeIndex, int32_t voltIndex = 5, int32_t probe = 1)
{
    WaveformRecord record = Record(100, 127, voltIndex);
    record.TimeIndex = timeIndex;
    return ReadCursors(c, record, probe, '.');
}

TEST(CursorReadout, TimeDifferenceAndFrequencyInEveryUnit)
{
    CursorReadoutTexts t = Read(Crosses(10, 100, 30, 100), 9);
    EXPECT_EQ(t.TimeDifference, "dt=2ms");
    EXPECT_EQ(t.Frequency, "f=500Hz");
    t = Read(Crosses(0, 100, 1, 100), 1);
    EXPECT_EQ(t.TimeDifference, "dt=0.2\xB5s");
    EXPECT_EQ(t.Frequency, "f=5MHz");
    t = Read(Crosses(0, 100, 95, 100), 22);
    EXPECT_EQ(t.TimeDifference, "dt=190s");
    EXPECT_EQ(t.Frequency, "f=5.26mHz");
    t = Read(Crosses(10, 100, 0, 100), 6); // right to left: 10 steps of 10 us
    EXPECT_EQ(t.TimeDifference, "dt=100\xB5s");
    EXPECT_EQ(t.Frequency, "f=10kHz");
    t = Read(Crosses(0, 100, 3, 100), 18); // 0.3 s
    EXPECT_EQ(t.Frequency, "f=3.33Hz");
    t = Read(Crosses(0, 100, 1, 100), 21); // exactly 1 s gives 1 Hz, not 1000 mHz
    EXPECT_EQ(t.Frequency, "f=1Hz");
    // 16 steps of 20 us: 3125 Hz, whose scaled 3.125 lies a hair below the
    // half in binary and still rounds up.
    t = Read(Crosses(0, 100, 16, 100), 7);
    EXPECT_EQ(t.TimeDifference, "dt=0.32ms");
    EXPECT_EQ(t.Frequency, "f=3.13kHz");
}

TEST(CursorReadout, BothCrossesInOneColumnGiveNoFrequency)
{
    const CursorReadoutTexts t = Read(Crosses(17, 100, 17, 120), 9);
    EXPECT_EQ(t.TimeDifference, "dt=0ms");
    EXPECT_EQ(t.Frequency, "f=...Hz");
}

TEST(CursorReadout, VoltageDifferenceFollowsTheProbe)
{
    // Samples 100 and 150 sit on rows 155 and 105: 50 counts.
    EXPECT_EQ(Read(Crosses(1, 155, 2, 105), 9, 5, 1).VoltDifference, "dV=157mV");
    EXPECT_EQ(Read(Crosses(1, 155, 2, 105), 9, 5, 10).VoltDifference, "dV=1.57V");
    EXPECT_EQ(Read(Crosses(1, 105, 2, 155), 9, 3, 10).VoltDifference, "dV=0.315V");
    EXPECT_EQ(Read(Crosses(1, 120, 2, 120), 9).VoltDifference, "dV=0mV");
}

TEST(CursorReadout, CrossOnAnOffScaleSampleGivesNoVoltage)
{
    EXPECT_EQ(Read(Crosses(1, 0, 2, 105), 9).VoltDifference, "dV=...mV"); // sample 255
    EXPECT_EQ(Read(Crosses(1, 105, 2, 255), 9).VoltDifference, "dV=...mV"); // sample 0
    EXPECT_EQ(Read(Crosses(1, 105, 2, 255), 9, 8).VoltDifference, "dV=...V");
    EXPECT_EQ(Read(Crosses(1, 1, 2, 254), 9, 8).VoltDifference, "dV=7.97V"); // 253 counts
}

TEST(CursorReadout, UnplacedCrossesLeaveTheirPanelsEmpty)
{
    CursorReadoutTexts t = Read(CursorPositions {}, 9);
    EXPECT_EQ(t.VoltDifference, "");
    EXPECT_EQ(t.TimeDifference, "");
    EXPECT_EQ(t.Frequency, "");
    t = Read(CursorPositions { 42, -1, 82, 100 }, 9);
    EXPECT_EQ(t.VoltDifference, "");
    EXPECT_EQ(t.TimeDifference, "dt=1ms");
    t = Read(CursorPositions { 42, 100, -1, 120 }, 9);
    EXPECT_EQ(t.VoltDifference, "dV=63mV");
    EXPECT_EQ(t.TimeDifference, "");
    EXPECT_EQ(t.Frequency, "");
}

} // namespace
} // namespace zop
