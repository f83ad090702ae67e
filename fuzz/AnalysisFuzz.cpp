// The waveform analysis and spectrum fed arbitrary readings and labels:
//   bytes 0..95  the readings (missing ones read 0)
//   byte 96      the zero reference
//   byte 97      bit 0: the rectangular window instead of Hann
//   the rest     the time/div label, a line feed, the volts/div label
// Labels resolve as a file's do; one that resolves to nothing gives no
// waveform. Whatever the input, every value is either "not measurable" or a
// finite number in its range, and off-scale readings hide what they must.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "analysis/Spectrum.h"
#include "analysis/WaveformAnalysis.h"
#include "fuzz/FuzzCheck.h"
#include "waveform/ScaleTables.h"

namespace {

using namespace zop;

bool FiniteOrAbsent(const Measured& value)
{
    return !value || std::isfinite(*value);
}

void CheckAnalysis(const VoltWaveform& waveform, const WaveformAnalysis& a)
{
    for (const Measured* value :
        { &a.MinVolts, &a.MaxVolts, &a.MeanVolts, &a.AcRmsVolts, &a.FrequencyHz, &a.PeriodSeconds, &a.DutyCycle,
            &a.PositiveWidthSeconds, &a.NegativeWidthSeconds, &a.RiseSeconds, &a.FallSeconds, &a.CrestFactor })
        FUZZ_CHECK(FiniteOrAbsent(*value));
    if (a.MinVolts && a.MaxVolts)
        FUZZ_CHECK(*a.MinVolts <= *a.MaxVolts);
    if (a.MeanVolts) {
        FUZZ_CHECK(a.MinVolts && a.MaxVolts);
        FUZZ_CHECK(*a.MinVolts <= *a.MeanVolts && *a.MeanVolts <= *a.MaxVolts);
    }
    FUZZ_CHECK(a.MeanVolts.has_value() == a.AcRmsVolts.has_value());
    FUZZ_CHECK(!a.AcRmsVolts || *a.AcRmsVolts >= 0);
    FUZZ_CHECK(!a.CrestFactor || *a.CrestFactor >= 1 - 1e-9);
    FUZZ_CHECK(a.FrequencyHz.has_value() == a.PeriodSeconds.has_value());
    if (a.FrequencyHz) {
        FUZZ_CHECK(*a.FrequencyHz > 0 && *a.PeriodSeconds > 0);
        FUZZ_CHECK(std::abs(*a.FrequencyHz * *a.PeriodSeconds - 1) < 1e-9);
        // A whole period spans at least one sample step and fits on the screen.
        FUZZ_CHECK(*a.PeriodSeconds <= (SampleCount - 1) * waveform.SampleSeconds * (1 + 1e-9));
    }
    if (a.DutyCycle) {
        FUZZ_CHECK(a.PeriodSeconds && a.PositiveWidthSeconds && a.NegativeWidthSeconds);
        FUZZ_CHECK(*a.DutyCycle >= 0 && *a.DutyCycle <= 1);
        FUZZ_CHECK(*a.PositiveWidthSeconds >= 0 && *a.NegativeWidthSeconds >= 0);
    }
    for (const Measured* edge : { &a.RiseSeconds, &a.FallSeconds })
        FUZZ_CHECK(!*edge || (**edge > 0 && **edge <= (SampleCount - 1) * waveform.SampleSeconds * (1 + 1e-9)));

    const bool below = std::any_of(
        waveform.Readings.begin(), waveform.Readings.end(), [](Reading r) { return r == Reading::AtOrBelowBottom; });
    const bool above = std::any_of(
        waveform.Readings.begin(), waveform.Readings.end(), [](Reading r) { return r == Reading::AtOrAboveTop; });
    FUZZ_CHECK(a.MinVolts.has_value() == !below);
    FUZZ_CHECK(a.MaxVolts.has_value() == !above);
    if (below || above)
        FUZZ_CHECK(!a.MeanVolts && !a.DutyCycle && !a.RiseSeconds && !a.FallSeconds && !a.CrestFactor);
    const bool flat
        = std::all_of(waveform.Volts.begin(), waveform.Volts.end(), [&](double v) { return v == waveform.Volts[0]; });
    if (flat)
        FUZZ_CHECK(!a.FrequencyHz && !a.RiseSeconds && !a.CrestFactor);
}

void CheckSpectrum(const VoltWaveform& waveform, const WaveformSpectrum& s)
{
    FUZZ_CHECK(s.Bins.has_value() == !waveform.Clipped());
    const double nyquist = 1 / (2 * waveform.SampleSeconds);
    if (s.Bins) {
        double previous = -1;
        for (const SpectrumBin& bin : *s.Bins) {
            FUZZ_CHECK(std::isfinite(bin.Hz) && std::isfinite(bin.Dbv));
            FUZZ_CHECK(bin.Hz > previous && bin.Dbv >= SpectrumFloorDbv);
            previous = bin.Hz;
        }
        FUZZ_CHECK(std::abs(s.Bins->back().Hz - nyquist) <= 1e-9 * nyquist);
    } else {
        FUZZ_CHECK(!s.DominantHz && !s.ThdPercent);
    }
    FUZZ_CHECK(s.DominantHz.has_value() == s.DominantDbv.has_value());
    if (s.DominantHz) {
        FUZZ_CHECK(std::isfinite(*s.DominantHz) && std::isfinite(*s.DominantDbv));
        FUZZ_CHECK(*s.DominantHz > 0 && *s.DominantHz <= nyquist * (1 + 1e-9));
        FUZZ_CHECK(*s.DominantDbv >= SpectrumFloorDbv);
    }
    if (s.ThdPercent) {
        FUZZ_CHECK(s.DominantHz);
        FUZZ_CHECK(std::isfinite(*s.ThdPercent) && *s.ThdPercent >= 0);
    }
}

int FuzzAnalysis(const uint8_t* data, size_t size)
{
    SampleArray samples {};
    for (size_t i = 0; i < samples.size() && i < size; ++i)
        samples[i] = data[i];
    const int32_t zeroRef = size > SampleCount ? data[SampleCount] : 127;
    const uint8_t options = size > SampleCount + 1 ? data[SampleCount + 1] : 0;
    std::string_view labels;
    if (size > SampleCount + 2)
        labels = std::string_view(reinterpret_cast<const char*>(data) + SampleCount + 2, size - SampleCount - 2);
    const size_t split = labels.find('\n');
    const std::string_view timeLabel = labels.substr(0, split);
    const std::string_view voltsLabel = split == std::string_view::npos ? std::string_view() : labels.substr(split + 1);
    const auto time = FindTimeIndex(timeLabel);
    const auto volts = FindVoltIndex(voltsLabel);

    const auto waveform = WaveformInVolts(
        samples, zeroRef, volts ? volts->Index : 0, volts ? volts->ProbeFactor : 1, time ? time->Index : 0);
    FUZZ_CHECK(waveform.has_value() == (time && volts));
    if (!waveform)
        return 0;
    FUZZ_CHECK(std::isfinite(waveform->SampleSeconds) && waveform->SampleSeconds > 0);
    CheckAnalysis(*waveform, Analyze(*waveform));
    CheckSpectrum(*waveform, Spectrum(*waveform, options & 1 ? SpectrumWindow::Rectangular : SpectrumWindow::Hann));
    return 0;
}

} // namespace

FUZZ_TARGET("analysis", FuzzAnalysis)
