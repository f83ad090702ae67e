#include "analysis/VoltWaveform.h"

#include <algorithm>

#include "waveform/ScaleTables.h"

namespace zop {

namespace {

constexpr int32_t BottomMarker = 0;
constexpr int32_t TopMarker = 255;

} // namespace

bool VoltWaveform::Clipped() const
{
    return std::any_of(Readings.begin(), Readings.end(), [](Reading r) { return r != Reading::InRange; });
}

std::optional<VoltWaveform> WaveformInVolts(
    const SampleArray& samples, int32_t zeroRef, int32_t voltIndex, int32_t probeFactor, int32_t timeIndex)
{
    if (!ValidTimeIndex(timeIndex) || !ValidVoltIndex(voltIndex) || !ValidProbeFactor(probeFactor))
        return std::nullopt;
    const VoltScale scale = VoltsPerCount(voltIndex, probeFactor);
    const long double voltsPerCount = scale.VoltsPerCount * (scale.Prefix == "m" ? 1e-3L : 1.0L);
    const TimeBaseRow& row = TimeRow(timeIndex);

    VoltWaveform waveform;
    waveform.SampleSeconds = static_cast<double>(StepsToTime(1, timeIndex) / row.PrefixDivisor);
    for (size_t i = 0; i < samples.size(); ++i) {
        const int32_t reading = std::clamp(samples[i], BottomMarker, TopMarker);
        waveform.Readings[i] = reading == BottomMarker ? Reading::AtOrBelowBottom
            : reading == TopMarker                     ? Reading::AtOrAboveTop
                                                       : Reading::InRange;
        waveform.Volts[i] = static_cast<double>((static_cast<long double>(reading) - zeroRef) * voltsPerCount);
    }
    return waveform;
}

} // namespace zop
