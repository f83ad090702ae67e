#pragma once
// What a user asks of a waveform beyond the window's four measurements:
// extremes, mean, AC RMS, frequency and period, duty cycle and pulse widths,
// rise and fall times, crest factor. Every value is optional: empty means
// "not measurable", never a made-up number.
#include <optional>

#include "analysis/VoltWaveform.h"

namespace zop {

using Measured = std::optional<double>;

struct WaveformAnalysis {
    Measured MinVolts; // needs no reading at or below the bottom
    Measured MaxVolts; // needs no reading at or above the top
    Measured MeanVolts; // needs every reading
    Measured AcRmsVolts; // RMS about the mean; needs every reading
    Measured FrequencyHz; // 1 / PeriodSeconds
    Measured PeriodSeconds; // mean of the whole periods
    Measured DutyCycle; // 0..1: share of the whole periods above the level
    Measured PositiveWidthSeconds; // DutyCycle x PeriodSeconds
    Measured NegativeWidthSeconds; // the rest of the period
    Measured RiseSeconds; // 10% to 90% of the span, mean over the rising edges
    Measured FallSeconds; // 90% to 10% of the span, mean over the falling edges
    Measured CrestFactor; // largest distance from the mean / AC RMS
};

// Crossings are those of the level halfway between the minimum and maximum,
// with a hysteresis band of 10% of the span centred on it (a crossing counts
// once the signal has gone from below the band to above it, or back), their
// times interpolated linearly between the two samples around the level.
// The period is the mean of the whole periods between crossings of one
// direction (both directions pooled); it and everything derived from it need
// two crossings of one direction, whole periods that agree within 10% of their
// mean, and no off-scale reading beside a crossing. Duty cycle, widths, rise
// and fall times need both extremes (no off-scale reading at all), since the
// levels they use are fractions of the span. An edge counts for the rise or
// fall time only when the waveform holds both its 10% and its 90% points
// between the neighbouring crossings.
// A waveform with a non-finite voltage or interval gives nothing measurable.
WaveformAnalysis Analyze(const VoltWaveform& waveform);

} // namespace zop
