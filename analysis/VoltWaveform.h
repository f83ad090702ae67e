#pragma once
// A waveform in physical units: the 96 readings turned into volts (zero
// reference, volts per count of the range and the probe factor applied) and
// the time between two samples in seconds, as the cursor readout counts it.
// Off-scale readings (0 and 255) carry no voltage; they keep the voltage of
// the range's end they lie beyond and are marked, so each measurement can
// tell whether the clipping hides what it needs.
#include <array>
#include <cstdint>
#include <optional>

#include "waveform/WaveformRecord.h"

namespace zop {

enum class Reading : uint8_t {
    InRange,
    AtOrBelowBottom, // the reading 0: the signal was at or below the bottom
    AtOrAboveTop, // the reading 255: the signal was at or above the top
};

struct VoltWaveform {
    std::array<double, SampleCount> Volts {};
    std::array<Reading, SampleCount> Readings {};
    double SampleSeconds = 0; // time between two samples, positive

    bool Clipped() const;
    bool ClippedAt(int32_t index) const { return Readings[static_cast<size_t>(index)] != Reading::InRange; }
};

// The waveform of raw readings at a time-base row (1..22) and a range row
// (1..12) under a probe factor (1 or 10); nothing when a row or the factor
// does not exist. Readings outside 0..255 count as off-scale.
std::optional<VoltWaveform> WaveformInVolts(
    const SampleArray& samples, int32_t zeroRef, int32_t voltIndex, int32_t probeFactor, int32_t timeIndex);

} // namespace zop
