#pragma once
// Waveforms as the instrument would capture them: a sine, square, triangle or
// noise signal given in volts and hertz, sampled 96 times at one of the
// instrument's time bases and quantised to 8-bit readings at one of its
// ranges (x1 probe: the instrument knows nothing of the probe).
#include <cstdint>
#include <optional>
#include <random>
#include <string_view>

#include "waveform/InstrumentLines.h"

namespace zop {

enum class SignalShape { Sine, Square, Triangle, Noise };

std::optional<SignalShape> ParseSignalShape(std::string_view name);

struct SignalSettings {
    SignalShape Shape = SignalShape::Sine;
    double Frequency = 1000.0; // hertz
    double Amplitude = 1.0; // volts, peak
    double Offset = 0.0; // volts
    double PhaseDegrees = 0.0; // where the first sample falls in the period
    int32_t ZeroRef = 127; // the reading for 0 V
    std::optional<int32_t> TimeIndex; // chosen by FitTimeBase when empty
    std::optional<int32_t> VoltIndex; // chosen by FitRange when empty
};

// Seconds between two samples at a time-base row.
double SampleSeconds(int32_t timeIndex);
// Volts of one count at a range row, x1 probe.
double VoltsPerCountX1(int32_t voltIndex);

// The fastest time base whose 96 samples show at least two periods; the
// slowest when even that shows less.
int32_t FitTimeBase(double frequency);
// The most sensitive range that keeps offset +- amplitude on the screen
// (readings 1..254 around the zero reference); the least sensitive when none
// does.
int32_t FitRange(double amplitude, double offset, int32_t zeroRef);

// Throws std::invalid_argument for settings the instrument cannot show (a
// zero reference outside 1..254, a frequency that is not positive, a negative
// amplitude, an index outside its table).
InstrumentWaveform GenerateWaveform(const SignalSettings& settings, std::mt19937& random);

// Settings typed on a command line (UTF-8). A time base is its row number
// 1..22, its time/div label ("0.5ms/div", "10µs/div" or "10us/div") or
// the instrument's sample period ("50us/Sample"); a range is its row number
// 1..12, a volts/div label of either probe column ("0.1V/div", "1V/div":
// the row it names) or the instrument's range text ("Range(254)= 0.8V").
std::optional<int32_t> ParseTimeBaseArgument(std::string_view text);
std::optional<int32_t> ParseRangeArgument(std::string_view text);
// A number with an optional SI suffix: "1500", "1.5k", "2M", "500m", "20u".
std::optional<double> ParseQuantity(std::string_view text);

} // namespace zop
