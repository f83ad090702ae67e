#include <gtest/gtest.h>

#include "analysis/VoltWaveform.h"

namespace zop {
namespace {

SampleArray Filled(int32_t value)
{
    SampleArray samples;
    samples.fill(value);
    return samples;
}

// Volts per count come from the probe's column with its prefix applied; the
// interval is the cursor readout's step across the prefix changes.
TEST(WaveformInVolts, AppliesZeroReferenceRangeProbeAndTimeBase)
{
    struct Case {
        int32_t Reading, ZeroRef, VoltIndex, Probe, TimeIndex;
        double Volts, Seconds;
    };
    const Case cases[] = {
        { 177, 127, 5, 1, 9, 50 * 3.1496e-3, 0.1e-3 }, // millivolt column
        { 177, 127, 5, 10, 9, 50 * 0.031496, 0.1e-3 }, // same row, x10: ten times
        { 77, 127, 3, 10, 6, -50 * 0.0062992, 10e-6 }, // x10 row 3 is in volts
        { 254, 0, 12, 10, 7, 254 * 6.29921, 20e-6 }, // prefix changes between rows 6 and 7
        { 1, 254, 1, 1, 16, -253 * 0.15748e-3, 20e-3 },
        { 127, 127, 8, 1, 22, 0.0, 2.0 },
    };
    for (const Case& c : cases) {
        const auto waveform = WaveformInVolts(Filled(c.Reading), c.ZeroRef, c.VoltIndex, c.Probe, c.TimeIndex);
        ASSERT_TRUE(waveform);
        EXPECT_NEAR(waveform->Volts[40], c.Volts, 1e-12 * (1 + std::abs(c.Volts))) << c.Reading << " " << c.VoltIndex;
        EXPECT_DOUBLE_EQ(waveform->SampleSeconds, c.Seconds) << c.TimeIndex;
        EXPECT_FALSE(waveform->Clipped());
    }
}

TEST(WaveformInVolts, MarksOffScaleReadingsAndKeepsTheBoundTheyLieBeyond)
{
    SampleArray samples = Filled(100);
    samples[3] = 0;
    samples[7] = 255;
    samples[9] = -4; // only a corrupt source sends these; they count as off-scale
    samples[11] = 300;
    const auto waveform = WaveformInVolts(samples, 127, 8, 1, 9);
    ASSERT_TRUE(waveform);
    EXPECT_TRUE(waveform->Clipped());
    EXPECT_EQ(waveform->Readings[3], Reading::AtOrBelowBottom);
    EXPECT_EQ(waveform->Readings[9], Reading::AtOrBelowBottom);
    EXPECT_EQ(waveform->Readings[7], Reading::AtOrAboveTop);
    EXPECT_EQ(waveform->Readings[11], Reading::AtOrAboveTop);
    EXPECT_EQ(waveform->Readings[4], Reading::InRange);
    EXPECT_NEAR(waveform->Volts[3], -127 * 0.031496, 1e-12);
    EXPECT_NEAR(waveform->Volts[11], 128 * 0.031496, 1e-12);
}

TEST(WaveformInVolts, RefusesRowsAndProbesThatDoNotExist)
{
    const SampleArray samples = Filled(127);
    EXPECT_FALSE(WaveformInVolts(samples, 127, 0, 1, 9)); // no waveform yet
    EXPECT_FALSE(WaveformInVolts(samples, 127, 13, 1, 9));
    EXPECT_FALSE(WaveformInVolts(samples, 127, 5, 1, 0));
    EXPECT_FALSE(WaveformInVolts(samples, 127, 5, 1, 23));
    EXPECT_FALSE(WaveformInVolts(samples, 127, 5, 2, 9));
}

} // namespace
} // namespace zop
