#pragma once
// The analysis tests' signal source: the simulator's generator, sampled and
// quantised as the instrument would, turned into volts as the analysis reads
// them.
#include <gtest/gtest.h>

#include <random>

#include "analysis/VoltWaveform.h"
#include "tools/SignalGenerator.h"

namespace zop::testing {

struct Generated {
    InstrumentWaveform Raw;
    VoltWaveform Volts;
    double PeriodSeconds() const { return 1.0 / Settings.Frequency; }
    SignalSettings Settings;
};

inline Generated Generate(const SignalSettings& settings, unsigned seed = 1)
{
    std::mt19937 random(seed);
    Generated generated;
    generated.Settings = settings;
    generated.Raw = GenerateWaveform(settings, random);
    const auto volts = WaveformInVolts(
        generated.Raw.Samples, generated.Raw.ZeroRef, generated.Raw.VoltIndex, 1, generated.Raw.TimeIndex);
    EXPECT_TRUE(volts.has_value());
    if (volts)
        generated.Volts = *volts;
    return generated;
}

inline SignalSettings Signal(SignalShape shape, double frequency, double amplitude, double offset = 0.0)
{
    SignalSettings settings;
    settings.Shape = shape;
    settings.Frequency = frequency;
    settings.Amplitude = amplitude;
    settings.Offset = offset;
    return settings;
}

// A waveform of raw readings at 1 ms/div (0.1 ms a sample), 1 V/div, zero
// reference 127, x1 probe.
inline VoltWaveform FromReadings(const SampleArray& readings)
{
    return *WaveformInVolts(readings, 127, 8, 1, 9);
}

} // namespace zop::testing
