#include "analysis/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace zop {

namespace {

constexpr int N = SampleCount;
constexpr int Nyquist = N / 2;
constexpr int LastHarmonic = 5;
const double FloorRms = std::pow(10.0, SpectrumFloorDbv / 20.0);

// cos and sin of 2 pi m / N for m = 0..N-1, so that every twiddle factor of
// the transform is one of these exactly, whatever n x k.
struct Twiddles {
    Twiddles()
    {
        for (int m = 0; m < N; ++m) {
            const long double angle = 2.0L * std::numbers::pi_v<long double> * m / N;
            Cos[static_cast<size_t>(m)] = static_cast<double>(std::cos(angle));
            Sin[static_cast<size_t>(m)] = static_cast<double>(std::sin(angle));
        }
    }
    std::array<double, N> Cos {};
    std::array<double, N> Sin {};
};

const Twiddles& Table()
{
    static const Twiddles table;
    return table;
}

struct WindowShape {
    std::array<double, N> Weights {};
    double CoherentGain = 0; // sum of the weights
};

// The periodic Hann window (zero at sample 0, its period the 96 samples).
WindowShape MakeWindow(SpectrumWindow window)
{
    WindowShape shape;
    for (int n = 0; n < N; ++n) {
        const double weight = window == SpectrumWindow::Hann ? 0.5 - 0.5 * Table().Cos[static_cast<size_t>(n)] : 1.0;
        shape.Weights[static_cast<size_t>(n)] = weight;
        shape.CoherentGain += weight;
    }
    return shape;
}

double ToDbv(double rms)
{
    return 20.0 * std::log10(std::max(rms, FloorRms));
}

// RMS level of a tone at `position` bins (any real number), from the
// transform of the weighted samples evaluated at that frequency.
double RmsAt(const std::array<double, N>& weighted, double position, const WindowShape& shape)
{
    std::complex<double> sum;
    for (int n = 0; n < N; ++n) {
        const double angle = 2.0 * std::numbers::pi * position * n / N;
        sum += std::polar(weighted[static_cast<size_t>(n)], -angle);
    }
    return std::abs(sum) * std::numbers::sqrt2 / shape.CoherentGain;
}

} // namespace

std::optional<SpectrumWindow> ParseSpectrumWindow(std::string_view name)
{
    if (name == "hann")
        return SpectrumWindow::Hann;
    if (name == "rect")
        return SpectrumWindow::Rectangular;
    return std::nullopt;
}

WaveformSpectrum Spectrum(const VoltWaveform& waveform, SpectrumWindow window)
{
    WaveformSpectrum result;
    if (waveform.Clipped() || !std::isfinite(waveform.SampleSeconds) || !(waveform.SampleSeconds > 0))
        return result;
    for (double v : waveform.Volts)
        if (!std::isfinite(v))
            return result;

    const WindowShape shape = MakeWindow(window);
    const auto [low, high] = std::minmax_element(waveform.Volts.begin(), waveform.Volts.end());
    const bool flat = *low == *high;
    double sum = 0;
    for (double v : waveform.Volts)
        sum += v;
    const double mean = sum / N;
    std::array<double, N> weighted {};
    for (size_t n = 0; n < weighted.size(); ++n)
        weighted[n] = flat ? 0.0 : (waveform.Volts[n] - mean) * shape.Weights[n];

    // The direct transform: 49 bins of 96 products each.
    const Twiddles& table = Table();
    std::array<double, SpectrumBins> rms {};
    for (int k = 0; k < SpectrumBins; ++k) {
        std::complex<double> bin;
        for (int n = 0; n < N; ++n) {
            const auto m = static_cast<size_t>(n * k % N);
            bin += std::complex<double>(table.Cos[m], -table.Sin[m]) * weighted[static_cast<size_t>(n)];
        }
        // A tone's peak is twice its bin over the coherent gain, its RMS that
        // over sqrt 2; at 0 Hz and at the Nyquist frequency the bin holds the
        // whole amplitude, which is also its RMS.
        const double scale = (k == 0 || k == Nyquist) ? 1.0 : std::numbers::sqrt2;
        rms[static_cast<size_t>(k)] = std::abs(bin) * scale / shape.CoherentGain;
    }

    const double binHz = 1.0 / (N * waveform.SampleSeconds);
    std::array<SpectrumBin, SpectrumBins> bins {};
    for (size_t k = 0; k < bins.size(); ++k)
        bins[k] = { static_cast<double>(k) * binHz, ToDbv(rms[k]) };
    result.Bins = bins;
    if (flat)
        return result;

    size_t peak = 1;
    for (size_t k = 2; k <= Nyquist; ++k)
        if (rms[k] > rms[peak])
            peak = k;
    if (!(rms[peak] > FloorRms))
        return result;
    double offset = 0;
    if (peak >= 2 && peak + 1 < Nyquist) {
        const double a = bins[peak - 1].Dbv;
        const double b = bins[peak].Dbv;
        const double c = bins[peak + 1].Dbv;
        const double curvature = a - 2 * b + c;
        if (curvature < 0)
            offset = std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5);
    }
    const double fundamental = static_cast<double>(peak) + offset; // in bins
    result.DominantHz = fundamental * binHz;
    result.DominantDbv = ToDbv(RmsAt(weighted, fundamental, shape));

    // Each harmonic's level where it lies, between bins or not.
    if (2 * fundamental < Nyquist) {
        const double first = RmsAt(weighted, fundamental, shape);
        double harmonics = 0;
        for (int h = 2; h <= LastHarmonic && h * fundamental < Nyquist; ++h) {
            const double level = RmsAt(weighted, h * fundamental, shape);
            harmonics += level * level;
        }
        if (first > FloorRms)
            result.ThdPercent = 100.0 * std::sqrt(harmonics) / first;
    }
    return result;
}

} // namespace zop
