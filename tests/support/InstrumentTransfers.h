#pragma once
// Waveforms as the instrument sends them, for the link's tests: samples that
// climb from `first` by `step`, wrapping at 256.
#include <cstdint>
#include <string>

#include "waveform/InstrumentLines.h"

namespace zop::test {

inline InstrumentWaveform RampWaveform(
    int32_t first, int32_t step = 1, int32_t timeIndex = 3, int32_t voltIndex = 5, int32_t zeroRef = 120)
{
    InstrumentWaveform waveform;
    waveform.TimeIndex = timeIndex;
    waveform.VoltIndex = voltIndex;
    waveform.ZeroRef = zeroRef;
    for (int32_t i = 0; i < SampleCount; ++i)
        waveform.Samples[static_cast<size_t>(i)] = (first + step * i) % 256;
    return waveform;
}

// The lines of a whole transfer of RampWaveform(first).
inline std::string RampTransfer(int32_t first, LineForm form = LineForm::A, LineEnding ending = LineEnding::CrLf)
{
    return EncodeTransfer(RampWaveform(first), form, ending);
}

} // namespace zop::test
