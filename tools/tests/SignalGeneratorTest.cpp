#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "tools/SignalGenerator.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

double PeriodsShown(int32_t timeIndex, double frequency)
{
    return SampleCount * SampleSeconds(timeIndex) * frequency;
}

TEST(SignalGenerator, TheTimeBaseIsTheFastestThatShowsTwoPeriods)
{
    EXPECT_EQ(FitTimeBase(1000.0), 8); // 50us/Sample: 4.8 periods; 20us/Sample would show 1.92
    for (const double frequency : { 0.11, 1.0, 3.0, 50.0, 60.0, 440.0, 1e3, 12.5e3, 100e3, 1e6 }) {
        const int32_t index = FitTimeBase(frequency);
        EXPECT_GE(PeriodsShown(index, frequency), 2.0) << frequency;
        if (index > 1) {
            EXPECT_LT(PeriodsShown(index - 1, frequency), 2.0) << frequency;
        }
    }
    EXPECT_EQ(FitTimeBase(0.001), 22); // too slow for any time base
    EXPECT_EQ(FitTimeBase(50e6), 1);
    // The sample period across the prefix change at rows 6 and 7.
    EXPECT_DOUBLE_EQ(SampleSeconds(6), 10e-6);
    EXPECT_DOUBLE_EQ(SampleSeconds(7), 20e-6);
    EXPECT_DOUBLE_EQ(SampleSeconds(16), 20e-3);
}

TEST(SignalGenerator, TheRangeIsTheMostSensitiveThatKeepsTheSignalOnScreen)
{
    const auto fits = [](int32_t index, double amplitude, double offset, int32_t zeroRef) {
        const double perCount = VoltsPerCountX1(index);
        return (offset + amplitude) / perCount <= 254 - zeroRef && (amplitude - offset) / perCount <= zeroRef - 1;
    };
    for (const int32_t zeroRef : { 20, 127, 230 }) {
        for (const double amplitude : { 0.001, 0.02, 0.3, 1.0, 2.5, 9.0, 40.0 }) {
            for (const double offset : { 0.0, 0.5, -3.0 }) {
                const int32_t index = FitRange(amplitude, offset, zeroRef);
                EXPECT_TRUE(index == SensitivityRows || fits(index, amplitude, offset, zeroRef))
                    << amplitude << " " << offset;
                if (index > 1) {
                    EXPECT_FALSE(fits(index - 1, amplitude, offset, zeroRef)) << amplitude << " " << offset;
                }
            }
        }
    }
    EXPECT_EQ(FitRange(1.0, 0.0, 127), 7); // 3.2 V full scale: +-1.6 V
    EXPECT_EQ(FitRange(1000.0, 0.0, 127), 12);
    EXPECT_NEAR(VoltsPerCountX1(1), 0.15748e-3, 1e-12);
    EXPECT_NEAR(VoltsPerCountX1(8), 0.031496, 1e-12);
}

TEST(SignalGenerator, ShapesAreSampledAndQuantisedAroundTheZeroReference)
{
    std::mt19937 random(1);
    SignalSettings sine;
    sine.TimeIndex = 8; // 50 us per sample: a 1 kHz period is 20 samples
    sine.VoltIndex = 8; // 0.031496 V per count
    sine.PhaseDegrees = 90;
    const InstrumentWaveform peak = GenerateWaveform(sine, random);
    EXPECT_EQ(peak.TimeIndex, 8);
    EXPECT_EQ(peak.VoltIndex, 8);
    EXPECT_EQ(peak.Samples[0], 127 + 32); // 1 V / 0.031496 V = 31.75 counts
    EXPECT_EQ(peak.Samples[10], 127 - 32);
    EXPECT_EQ(peak.Samples[20], peak.Samples[0]);

    SignalSettings square = sine;
    square.Shape = SignalShape::Square;
    square.PhaseDegrees = 0;
    square.Offset = 0.5;
    const InstrumentWaveform levels = GenerateWaveform(square, random);
    EXPECT_EQ(
        std::set<int32_t>(levels.Samples.begin(), levels.Samples.end()), (std::set<int32_t> { 127 - 16, 127 + 48 }));
    EXPECT_EQ(levels.Samples[0], 127 + 48);
    EXPECT_EQ(levels.Samples[10], 127 - 16);

    SignalSettings triangle = sine;
    triangle.Shape = SignalShape::Triangle;
    triangle.PhaseDegrees = 0;
    const InstrumentWaveform ramp = GenerateWaveform(triangle, random);
    EXPECT_EQ(ramp.Samples[0], 127 - 32);
    EXPECT_EQ(ramp.Samples[5], 127);
    EXPECT_EQ(ramp.Samples[10], 127 + 32);

    // Beyond the converter's ends the off-scale markers 0 and 255 are sent.
    SignalSettings loud = sine;
    loud.Amplitude = 100;
    const InstrumentWaveform clipped = GenerateWaveform(loud, random);
    EXPECT_EQ(*std::max_element(clipped.Samples.begin(), clipped.Samples.end()), 255);
    EXPECT_EQ(*std::min_element(clipped.Samples.begin(), clipped.Samples.end()), 0);
}

TEST(SignalGenerator, NoiseStaysWithinItsAmplitudeAndFollowsItsSeed)
{
    SignalSettings noise;
    noise.Shape = SignalShape::Noise;
    noise.Amplitude = 0.5;
    noise.TimeIndex = 3;
    noise.VoltIndex = 8;
    std::mt19937 first(42);
    std::mt19937 second(42);
    const InstrumentWaveform a = GenerateWaveform(noise, first);
    EXPECT_EQ(a.Samples, GenerateWaveform(noise, second).Samples);
    EXPECT_NE(a.Samples, GenerateWaveform(noise, first).Samples);
    for (const int32_t sample : a.Samples)
        EXPECT_LE(std::abs(sample - 127), 16);
    EXPECT_GT(std::set<int32_t>(a.Samples.begin(), a.Samples.end()).size(), 10u);
}

TEST(SignalGenerator, SettingsTheInstrumentCannotShowAreRefused)
{
    std::mt19937 random(1);
    SignalSettings settings;
    settings.ZeroRef = 0;
    EXPECT_THROW(GenerateWaveform(settings, random), std::invalid_argument);
    settings.ZeroRef = 127;
    settings.Frequency = 0;
    EXPECT_THROW(GenerateWaveform(settings, random), std::invalid_argument);
    settings.Frequency = 1000;
    settings.Amplitude = -1;
    EXPECT_THROW(GenerateWaveform(settings, random), std::invalid_argument);
    settings.Amplitude = 1;
    settings.TimeIndex = 23;
    EXPECT_THROW(GenerateWaveform(settings, random), std::invalid_argument);
}

TEST(SignalGenerator, CommandLineSettings)
{
    EXPECT_EQ(ParseTimeBaseArgument("7"), 7);
    EXPECT_EQ(ParseTimeBaseArgument("0.5ms/div"), 8);
    EXPECT_EQ(ParseTimeBaseArgument("10\xC2\xB5s/div"), 3); // typed as UTF-8
    EXPECT_EQ(ParseTimeBaseArgument("10us/div"), 3);
    EXPECT_EQ(ParseTimeBaseArgument("20S/DIV"), 22);
    EXPECT_EQ(ParseTimeBaseArgument("50us/Sample"), 8);
    EXPECT_EQ(ParseTimeBaseArgument("  1us/Sample"), 3);
    for (const std::string_view bad : { "0", "23", "", "1us", "3 ", "10ms/sample" })
        EXPECT_FALSE(ParseTimeBaseArgument(bad).has_value()) << bad;

    EXPECT_EQ(ParseRangeArgument("12"), 12);
    EXPECT_EQ(ParseRangeArgument("0.1V/div"), 5);
    EXPECT_EQ(ParseRangeArgument("1V/div"), 8); // the x1 row of a label in both columns
    EXPECT_EQ(ParseRangeArgument("0.5V/div"), 4); // only in the x10 column
    EXPECT_EQ(ParseRangeArgument("Range(254)= 0.8V"), 5);
    EXPECT_EQ(ParseRangeArgument("Full scale (254)= 800mV"), 5);
    for (const std::string_view bad : { "0", "13", "3V/div", "" })
        EXPECT_FALSE(ParseRangeArgument(bad).has_value()) << bad;

    EXPECT_EQ(ParseQuantity("1500"), 1500.0);
    EXPECT_EQ(ParseQuantity("1.5k"), 1500.0);
    EXPECT_EQ(ParseQuantity("2M"), 2e6);
    EXPECT_EQ(ParseQuantity("500m"), 0.5);
    EXPECT_DOUBLE_EQ(*ParseQuantity("20u"), 20e-6);
    EXPECT_EQ(ParseQuantity("-0.25"), -0.25);
    for (const std::string_view bad : { "", "k", "abc", "1x", "inf", "nan", "1 k" })
        EXPECT_FALSE(ParseQuantity(bad).has_value()) << bad;
}

} // namespace
} // namespace zop
