#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "analysis/Spectrum.h"
#include "analysis/WaveformAnalysis.h"
#include "analysis/tests/GeneratedSignal.h"

namespace zop {
namespace {

using testing::FromReadings;
using testing::Generate;
using testing::Signal;

double Dbv(double rmsVolts)
{
    return 20 * std::log10(rmsVolts);
}

double RmsOf(const SpectrumBin& bin)
{
    return std::pow(10.0, bin.Dbv / 20);
}

// An ideal square's harmonics 3 and 5 against its fundamental.
const double IdealSquareThd = 100 * std::sqrt(1.0 / 9 + 1.0 / 25);

TEST(Spectrum, BinsRunFromZeroToNyquistAtOneOverTheScreensDuration)
{
    for (const int32_t timeIndex : { 1, 7, 9, 22 }) {
        SignalSettings settings = Signal(SignalShape::Sine, 1000, 1.0);
        settings.TimeIndex = timeIndex;
        const auto g = Generate(settings);
        const WaveformSpectrum s = Spectrum(g.Volts);
        ASSERT_TRUE(s.Bins);
        const double spacing = 1 / (96 * g.Volts.SampleSeconds);
        for (size_t k = 0; k < s.Bins->size(); ++k)
            EXPECT_NEAR((*s.Bins)[k].Hz, k * spacing, 1e-9 * spacing) << timeIndex;
        EXPECT_NEAR(s.Bins->back().Hz, 1 / (2 * g.Volts.SampleSeconds), 1e-9 * spacing);
    }
}

// A sine on the generator's time base: its frequency within a tenth of a bin
// and its level within 0.2 dB of amplitude / sqrt 2; THD below 5%. The
// rectangular window leaks unless the screen holds whole periods.
TEST(Spectrum, SineDominantFrequencyLevelAndLowThd)
{
    struct Case {
        double Frequency, Amplitude, Offset, Phase;
        SpectrumWindow Window;
    };
    const Case cases[] = {
        { 1000, 1.0, 0.0, 0, SpectrumWindow::Hann }, // 4.8 periods
        { 440, 0.02, 0.01, 30, SpectrumWindow::Hann }, // 2.1 periods
        { 50, 0.5, 0.0, 37, SpectrumWindow::Hann }, // 2.4 periods
        { 7700, 0.8, 0.0, 300, SpectrumWindow::Hann }, { 33e3, 12.0, 0.0, 123, SpectrumWindow::Hann },
        { 1234, 2.0, -1.0, 10, SpectrumWindow::Hann },
        { 625, 0.5, 0.0, 80, SpectrumWindow::Rectangular }, // 3 whole periods: no leakage
        { 208.3333333333333, 7.0, 0.0, 5, SpectrumWindow::Rectangular }, // 4 whole periods
    };
    for (const Case& c : cases) {
        SignalSettings settings = Signal(SignalShape::Sine, c.Frequency, c.Amplitude, c.Offset);
        settings.PhaseDegrees = c.Phase;
        const auto g = Generate(settings);
        const WaveformSpectrum s = Spectrum(g.Volts, c.Window);
        const double bin = 1 / (96 * g.Volts.SampleSeconds);
        ASSERT_TRUE(s.DominantHz && s.DominantDbv && s.ThdPercent) << c.Frequency;
        EXPECT_NEAR(*s.DominantHz, c.Frequency, 0.1 * bin) << c.Frequency;
        EXPECT_NEAR(*s.DominantDbv, Dbv(c.Amplitude / std::numbers::sqrt2), 0.2) << c.Frequency;
        EXPECT_LT(*s.ThdPercent, 5.0) << c.Frequency;
    }
}

TEST(Spectrum, SquareThdNearAnIdealSquaresFirstHarmonics)
{
    struct Case {
        double Frequency;
        SpectrumWindow Window;
    };
    const Case cases[] = {
        { 1000, SpectrumWindow::Hann }, // 4.8 periods of 20 samples
        { 1234, SpectrumWindow::Hann }, // 2.4 periods
        { 60, SpectrumWindow::Hann },
        { 208.3333333333333, SpectrumWindow::Rectangular }, // 4 periods of 24 samples
        { 208.3333333333333, SpectrumWindow::Hann },
    };
    for (const Case& c : cases) {
        const auto g = Generate(Signal(SignalShape::Square, c.Frequency, 1.0));
        const WaveformSpectrum s = Spectrum(g.Volts, c.Window);
        const double bin = 1 / (96 * g.Volts.SampleSeconds);
        ASSERT_TRUE(s.DominantHz && s.DominantDbv && s.ThdPercent) << c.Frequency;
        EXPECT_NEAR(*s.DominantHz, c.Frequency, 0.1 * bin) << c.Frequency;
        // The fundamental of a square is 4 / pi times its amplitude.
        EXPECT_NEAR(*s.DominantDbv, Dbv(4 / std::numbers::pi / std::numbers::sqrt2), 0.2) << c.Frequency;
        EXPECT_NEAR(*s.ThdPercent, IdealSquareThd, 3.0) << c.Frequency;
    }
}

// With the rectangular window the bins hold the waveform's whole AC power:
// the sum of their squared RMS levels is the AC RMS squared, to rounding.
TEST(Spectrum, RectangularBinsHoldTheAcPower)
{
    for (unsigned seed = 1; seed <= 5; ++seed) {
        const auto g = Generate(Signal(SignalShape::Noise, 1000, 1.0), seed);
        const WaveformSpectrum s = Spectrum(g.Volts, SpectrumWindow::Rectangular);
        const WaveformAnalysis a = Analyze(g.Volts);
        ASSERT_TRUE(s.Bins && a.AcRmsVolts);
        double power = 0;
        for (const SpectrumBin& bin : *s.Bins)
            power += RmsOf(bin) * RmsOf(bin);
        EXPECT_NEAR(power, *a.AcRmsVolts * *a.AcRmsVolts, 1e-12) << seed;
        EXPECT_LE((*s.Bins)[0].Dbv, -200 + 1e-9); // the mean is removed
    }
}

TEST(Spectrum, FlatClippedAndFastWaveforms)
{
    SampleArray flat;
    flat.fill(180);
    const WaveformSpectrum line = Spectrum(FromReadings(flat));
    ASSERT_TRUE(line.Bins);
    for (const SpectrumBin& bin : *line.Bins)
        EXPECT_EQ(bin.Dbv, SpectrumFloorDbv);
    EXPECT_FALSE(line.DominantHz);
    EXPECT_FALSE(line.DominantDbv);
    EXPECT_FALSE(line.ThdPercent);

    SignalSettings over = Signal(SignalShape::Sine, 1000, 3.0);
    over.VoltIndex = 7;
    const WaveformSpectrum clipped = Spectrum(Generate(over).Volts);
    EXPECT_FALSE(clipped.Bins);
    EXPECT_FALSE(clipped.DominantHz);
    EXPECT_FALSE(clipped.ThdPercent);

    // 30 periods on the screen: the second harmonic lies beyond the Nyquist
    // frequency, so there is a dominant frequency but no THD.
    SignalSettings fast = Signal(SignalShape::Sine, 3125, 1.0);
    fast.TimeIndex = 9;
    const WaveformSpectrum high = Spectrum(Generate(fast).Volts);
    ASSERT_TRUE(high.DominantHz);
    EXPECT_NEAR(*high.DominantHz, 3125, 0.01 * 3125);
    EXPECT_FALSE(high.ThdPercent);
}

TEST(Spectrum, WindowNames)
{
    EXPECT_EQ(ParseSpectrumWindow("hann"), SpectrumWindow::Hann);
    EXPECT_EQ(ParseSpectrumWindow("rect"), SpectrumWindow::Rectangular);
    EXPECT_FALSE(ParseSpectrumWindow("Hann"));
    EXPECT_FALSE(ParseSpectrumWindow(""));
}

} // namespace
} // namespace zop
