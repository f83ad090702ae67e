#pragma once
// A sigrok session file (.sr): a zip archive holding "version" (2), the
// "metadata" key file (sample rate, one analog channel) and the channel's
// samples as little-endian 32-bit floats in volts, which sigrok-cli and its
// viewers open.
#include <cstdint>
#include <optional>
#include <string>

#include "analysis/VoltWaveform.h"

namespace zop {

// The sample rate the session records: 1 / sample interval, or nothing when
// that is not a whole number of hertz from 1 Hz (a session holds no other).
std::optional<uint64_t> SessionSampleRate(const VoltWaveform& waveform);

// The archive's bytes. An off-scale sample holds the voltage of the range's
// end it lies beyond. Throws std::runtime_error when the sample rate cannot be
// recorded.
std::string SigrokSessionBytes(const VoltWaveform& waveform);

} // namespace zop
