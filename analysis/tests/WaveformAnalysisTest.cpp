#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "analysis/WaveformAnalysis.h"
#include "analysis/tests/GeneratedSignal.h"

namespace zop {
namespace {

using testing::FromReadings;
using testing::Generate;
using testing::Signal;

double PeriodsShown(const testing::Generated& g)
{
    return SampleCount * g.Volts.SampleSeconds * g.Settings.Frequency;
}

void ExpectNothingMeasurableOfThePeriod(const WaveformAnalysis& a)
{
    EXPECT_FALSE(a.FrequencyHz);
    EXPECT_FALSE(a.PeriodSeconds);
    EXPECT_FALSE(a.DutyCycle);
    EXPECT_FALSE(a.PositiveWidthSeconds);
    EXPECT_FALSE(a.NegativeWidthSeconds);
}

// Frequencies across the time bases, each on the fastest time base that
// shows two periods or more, at several amplitudes, offsets and phases.
TEST(Analyze, SineFrequencyWithinOnePercentWhenTwoPeriodsFit)
{
    struct Case {
        double Frequency, Amplitude, Offset, Phase;
    };
    const Case cases[] = {
        { 1000, 1.0, 0.0, 0 },
        { 50, 0.3, 0.1, 90 },
        { 60, 5.0, -2.0, 45 },
        { 440, 0.02, 0.0, 200 },
        { 1234, 2.0, 0.5, 10 },
        { 7700, 0.8, 0.0, 300 },
        { 33e3, 12.0, 0.0, 123 },
        { 210e3, 0.15, 0.0, 0 },
        { 0.7, 1.5, 0.0, 33 },
        { 2.5e6, 1.0, 0.0, 270 },
    };
    for (const Case& c : cases) {
        SignalSettings settings = Signal(SignalShape::Sine, c.Frequency, c.Amplitude, c.Offset);
        settings.PhaseDegrees = c.Phase;
        const auto g = Generate(settings);
        ASSERT_GE(PeriodsShown(g), 2.0) << c.Frequency;
        const WaveformAnalysis a = Analyze(g.Volts);
        ASSERT_TRUE(a.FrequencyHz) << c.Frequency;
        EXPECT_NEAR(*a.FrequencyHz, c.Frequency, 0.01 * c.Frequency) << c.Frequency;
        ASSERT_TRUE(a.PeriodSeconds);
        EXPECT_DOUBLE_EQ(*a.PeriodSeconds * *a.FrequencyHz, 1.0);
        ASSERT_TRUE(a.DutyCycle);
        EXPECT_NEAR(*a.DutyCycle, 0.5, g.Volts.SampleSeconds / g.PeriodSeconds()) << c.Frequency;
        EXPECT_NEAR(*a.PositiveWidthSeconds + *a.NegativeWidthSeconds, *a.PeriodSeconds, 1e-12 * *a.PeriodSeconds);
    }
}

// The RMS of the 96 samples about their mean: a sine's amplitude / sqrt 2
// within 2% once the screen holds four periods or a whole number of them.
TEST(Analyze, SineAcRmsWithinTwoPercentOfAmplitudeOverRootTwo)
{
    struct Case {
        double Frequency, Amplitude, Offset;
        int32_t TimeIndex;
    };
    const Case cases[] = {
        { 1000, 1.0, 0.0, 8 }, // 4.8 periods
        { 1000, 1.0, 1.0, 8 }, // the offset is not part of the AC RMS
        { 1000, 0.01, -0.005, 8 }, { 2500, 3.0, 0.0, 7 }, // 4.8 periods
        { 625, 0.5, 0.2, 8 }, // exactly 3 periods
        { 208.3333333333333, 7.0, -5.0, 10 }, // exactly 4 periods
        { 52.083333333333333, 0.2, 0.0, 13 }, // exactly 10 periods
    };
    for (const Case& c : cases) {
        SignalSettings settings = Signal(SignalShape::Sine, c.Frequency, c.Amplitude, c.Offset);
        settings.TimeIndex = c.TimeIndex;
        const auto g = Generate(settings);
        const WaveformAnalysis a = Analyze(g.Volts);
        const double expected = c.Amplitude / std::numbers::sqrt2;
        ASSERT_TRUE(a.AcRmsVolts) << c.Frequency;
        EXPECT_NEAR(*a.AcRmsVolts, expected, 0.02 * expected) << c.Frequency << " " << c.Amplitude;
        ASSERT_TRUE(a.MinVolts && a.MaxVolts && a.MeanVolts);
        EXPECT_NEAR(*a.MinVolts, c.Offset - c.Amplitude, 0.03 * c.Amplitude);
        EXPECT_NEAR(*a.MaxVolts, c.Offset + c.Amplitude, 0.03 * c.Amplitude);
        EXPECT_LE(*a.MinVolts, *a.MeanVolts);
        EXPECT_LE(*a.MeanVolts, *a.MaxVolts);
        // Over whole periods the mean is the offset.
        if (std::abs(PeriodsShown(g) - std::round(PeriodsShown(g))) < 1e-9) {
            EXPECT_NEAR(*a.MeanVolts, c.Offset, 0.02 * c.Amplitude) << c.Frequency;
        }
    }
}

// A square's duty within one sample of 50% and its period within one sample
// (its crossings fall halfway between two samples); its edges are steps
// between two samples, which the interpolation between 10% and 90% reads as
// 0.8 samples.
TEST(Analyze, SquareDutyWithinOneSampleOfHalf)
{
    struct Case {
        double Frequency, Amplitude, Offset, Phase;
    };
    const Case cases[] = {
        { 1000, 1.0, 0.0, 0 },
        { 333, 2.0, 1.0, 77 },
        { 52.083333333333333, 0.4, 0.0, 180 },
        { 18e3, 10.0, 0.0, 10 },
        { 3.3, 0.05, -0.02, 250 },
    };
    for (const Case& c : cases) {
        SignalSettings settings = Signal(SignalShape::Square, c.Frequency, c.Amplitude, c.Offset);
        settings.PhaseDegrees = c.Phase;
        const auto g = Generate(settings);
        const WaveformAnalysis a = Analyze(g.Volts);
        ASSERT_TRUE(a.DutyCycle) << c.Frequency;
        const double oneSample = g.Volts.SampleSeconds / g.PeriodSeconds();
        EXPECT_NEAR(*a.DutyCycle, 0.5, oneSample) << c.Frequency;
        ASSERT_TRUE(a.PeriodSeconds);
        EXPECT_NEAR(*a.PeriodSeconds, g.PeriodSeconds(), g.Volts.SampleSeconds) << c.Frequency;
        EXPECT_NEAR(*a.PositiveWidthSeconds, g.PeriodSeconds() / 2, g.Volts.SampleSeconds) << c.Frequency;
        ASSERT_TRUE(a.RiseSeconds && a.FallSeconds) << c.Frequency;
        EXPECT_NEAR(*a.RiseSeconds, 0.8 * g.Volts.SampleSeconds, 1e-9 * g.Volts.SampleSeconds);
        EXPECT_NEAR(*a.FallSeconds, 0.8 * g.Volts.SampleSeconds, 1e-9 * g.Volts.SampleSeconds);
    }
}

// A triangle rises from -A to +A in half a period: 10% to 90% takes 0.4 of it.
TEST(Analyze, TriangleRiseAndFallWithinOneSampleOfTheGenerators)
{
    struct Case {
        double Frequency, Amplitude, Phase;
        std::optional<int32_t> TimeIndex;
    };
    const Case cases[] = {
        { 1000, 1.0, 0, {} },
        { 1000, 1.0, 130, 9 },
        { 420, 3.0, 45, {} },
        { 12.5e3, 0.1, 300, {} },
        { 80, 20.0, 200, 13 },
        { 260e3, 0.5, 90, {} },
    };
    for (const Case& c : cases) {
        SignalSettings settings = Signal(SignalShape::Triangle, c.Frequency, c.Amplitude);
        settings.PhaseDegrees = c.Phase;
        settings.TimeIndex = c.TimeIndex;
        const auto g = Generate(settings);
        const WaveformAnalysis a = Analyze(g.Volts);
        const double edge = 0.4 * g.PeriodSeconds();
        ASSERT_TRUE(a.RiseSeconds && a.FallSeconds) << c.Frequency;
        EXPECT_NEAR(*a.RiseSeconds, edge, g.Volts.SampleSeconds) << c.Frequency << " " << c.Phase;
        EXPECT_NEAR(*a.FallSeconds, edge, g.Volts.SampleSeconds) << c.Frequency << " " << c.Phase;
    }
}

// Four whole periods of each shape on the screen.
TEST(Analyze, CrestFactorOfEachShape)
{
    struct Case {
        SignalShape Shape;
        double Expected;
    };
    const Case cases[] = {
        { SignalShape::Sine, std::numbers::sqrt2 },
        { SignalShape::Square, 1.0 },
        { SignalShape::Triangle, std::sqrt(3.0) },
    };
    for (const Case& c : cases) {
        SignalSettings settings = Signal(c.Shape, 208.3333333333333, 2.0, 0.5);
        settings.TimeIndex = 10;
        const WaveformAnalysis a = Analyze(Generate(settings).Volts);
        ASSERT_TRUE(a.CrestFactor);
        EXPECT_NEAR(*a.CrestFactor, c.Expected, 0.03 * c.Expected) << static_cast<int>(c.Shape);
    }
}

// Random readings have crossings, but no period: the whole periods between
// them do not agree.
TEST(Analyze, NoiseHasNoFrequency)
{
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const auto g = Generate(Signal(SignalShape::Noise, 1000, 1.0), seed);
        const WaveformAnalysis a = Analyze(g.Volts);
        ExpectNothingMeasurableOfThePeriod(a);
        ASSERT_TRUE(a.AcRmsVolts);
        EXPECT_NEAR(*a.AcRmsVolts, 1.0 / std::sqrt(3.0), 0.1) << seed;
    }
}

TEST(Analyze, FlatLineHasLevelsButNoFrequencyEdgesOrCrestFactor)
{
    for (const int32_t reading : { 1, 100, 127, 254 }) {
        SampleArray samples;
        samples.fill(reading);
        const WaveformAnalysis a = Analyze(FromReadings(samples));
        const double volts = (reading - 127) * 0.031496;
        ASSERT_TRUE(a.MinVolts && a.MaxVolts && a.MeanVolts && a.AcRmsVolts);
        EXPECT_DOUBLE_EQ(*a.MinVolts, volts);
        EXPECT_DOUBLE_EQ(*a.MaxVolts, volts);
        EXPECT_DOUBLE_EQ(*a.MeanVolts, volts);
        EXPECT_EQ(*a.AcRmsVolts, 0.0);
        ExpectNothingMeasurableOfThePeriod(a);
        EXPECT_FALSE(a.RiseSeconds);
        EXPECT_FALSE(a.FallSeconds);
        EXPECT_FALSE(a.CrestFactor);
    }
}

// What an off-scale reading hides: the extreme it lies beyond, the mean, the
// RMS and crest factor, and everything measured against a share of the span;
// the frequency only where a crossing is interpolated from it.
TEST(Analyze, ClippingHidesWhatItNeeds)
{
    struct Case {
        const char* Name;
        SignalSettings Settings;
        bool MinShown, MaxShown, FrequencyShown;
    };
    const auto clipped = [](SignalShape shape, double amplitude, double offset) {
        SignalSettings settings = Signal(shape, 1000, amplitude, offset);
        settings.VoltIndex = 7; // +-1.6 V around the zero reference
        return settings;
    };
    const Case cases[] = {
        { "sine over the top", clipped(SignalShape::Sine, 1.0, 1.0), true, false, true },
        { "sine under the bottom", clipped(SignalShape::Sine, 1.0, -1.0), false, true, true },
        { "sine over both ends", clipped(SignalShape::Sine, 3.0, 0.0), false, false, true },
        { "square over both ends", clipped(SignalShape::Square, 3.0, 0.0), false, false, false },
        { "square over the top", clipped(SignalShape::Square, 1.0, 1.0), true, false, false },
    };
    for (const Case& c : cases) {
        const auto g = Generate(c.Settings);
        ASSERT_TRUE(g.Volts.Clipped()) << c.Name;
        const WaveformAnalysis a = Analyze(g.Volts);
        EXPECT_EQ(a.MinVolts.has_value(), c.MinShown) << c.Name;
        EXPECT_EQ(a.MaxVolts.has_value(), c.MaxShown) << c.Name;
        EXPECT_EQ(a.FrequencyHz.has_value(), c.FrequencyShown) << c.Name;
        EXPECT_EQ(a.PeriodSeconds.has_value(), c.FrequencyShown) << c.Name;
        if (a.FrequencyHz) {
            EXPECT_NEAR(*a.FrequencyHz, 1000, 10) << c.Name;
        }
        EXPECT_FALSE(a.MeanVolts) << c.Name;
        EXPECT_FALSE(a.AcRmsVolts) << c.Name;
        EXPECT_FALSE(a.CrestFactor) << c.Name;
        EXPECT_FALSE(a.DutyCycle) << c.Name;
        EXPECT_FALSE(a.PositiveWidthSeconds) << c.Name;
        EXPECT_FALSE(a.RiseSeconds) << c.Name;
        EXPECT_FALSE(a.FallSeconds) << c.Name;
    }
}

// Readings built by hand: 0.1 ms a sample, 1 V/div.
TEST(Analyze, PeriodNeedsTwoCrossingsOfOneDirectionAndAgreeingPeriods)
{
    const auto square = [](std::initializer_list<int> runs) {
        SampleArray samples;
        size_t i = 0;
        bool high = false;
        for (int run : runs) {
            for (int k = 0; k < run && i < samples.size(); ++k)
                samples[i++] = high ? 200 : 50;
            high = !high;
        }
        while (i < samples.size())
            samples[i++] = high ? 200 : 50;
        return samples;
    };
    struct Case {
        const char* Name;
        SampleArray Samples;
        std::optional<double> PeriodSamples;
    };
    const Case cases[] = {
        { "one step up", square({ 40 }), {} },
        { "one pulse", square({ 30, 20 }), {} },
        { "rise, fall, rise: one whole period", square({ 30, 20, 20 }), 40.0 },
        { "periods 20, 20, 20, 21, 22: within 10%", square({ 5, 10, 10, 10, 10, 11, 11 }), 20.6 },
        { "periods 20 and 30 disagree", square({ 5, 10, 10, 15, 15, 15 }), {} },
    };
    for (const Case& c : cases) {
        const WaveformAnalysis a = Analyze(FromReadings(c.Samples));
        ASSERT_EQ(a.PeriodSeconds.has_value(), c.PeriodSamples.has_value()) << c.Name;
        if (c.PeriodSamples) {
            EXPECT_NEAR(*a.PeriodSeconds, *c.PeriodSamples * 0.1e-3, 1e-12) << c.Name;
        }
    }
}

// Small ripple around the level does not count as crossings.
TEST(Analyze, HysteresisIgnoresRippleAtTheLevel)
{
    SampleArray samples;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double ripple = (i % 2 == 0 ? 4 : -4); // 8 of 200 counts of span: inside the band
        samples[i] = static_cast<int32_t>(std::lround(127 + 100 * std::sin(2 * std::numbers::pi * i / 24.0) + ripple));
    }
    const WaveformAnalysis a = Analyze(FromReadings(samples));
    ASSERT_TRUE(a.PeriodSeconds);
    EXPECT_NEAR(*a.PeriodSeconds, 24 * 0.1e-3, 0.01 * 24 * 0.1e-3);
    EXPECT_NEAR(*a.DutyCycle, 0.5, 1.0 / 24);
}

TEST(Analyze, NonFiniteInputGivesNothing)
{
    SampleArray samples;
    samples.fill(100);
    VoltWaveform nan = FromReadings(samples);
    nan.Volts[5] = std::nan("");
    VoltWaveform zeroInterval = FromReadings(samples);
    zeroInterval.SampleSeconds = 0;
    for (const VoltWaveform& w : { nan, zeroInterval }) {
        const WaveformAnalysis a = Analyze(w);
        EXPECT_FALSE(
            a.MinVolts || a.MaxVolts || a.MeanVolts || a.AcRmsVolts || a.FrequencyHz || a.RiseSeconds || a.CrestFactor);
    }
}

} // namespace
} // namespace zop
