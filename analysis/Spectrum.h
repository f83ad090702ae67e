#pragma once
// The spectrum of a waveform: a 96-point DFT of the waveform with its mean
// removed, under a Hann (default) or rectangular window, as the RMS amplitude
// of each bin in dBV, bins 0..48 spaced 1 / (96 x sample interval) apart; the
// dominant frequency refined between bins, and the total harmonic distortion
// of harmonics 2 to 5.
#include <array>
#include <optional>
#include <string_view>

#include "analysis/VoltWaveform.h"

namespace zop {

enum class SpectrumWindow { Hann, Rectangular };

// "hann" or "rect".
std::optional<SpectrumWindow> ParseSpectrumWindow(std::string_view name);

constexpr int SpectrumBins = SampleCount / 2 + 1; // 0 Hz .. the Nyquist frequency
// The level of a bin without amplitude: dBV of 0.1 nV, far below what eight
// bits resolve, so every level is a finite number.
constexpr double SpectrumFloorDbv = -200.0;

struct SpectrumBin {
    double Hz = 0;
    double Dbv = SpectrumFloorDbv; // RMS amplitude in dB relative to 1 V
};

struct WaveformSpectrum {
    // Empty when the waveform is clipped (an off-scale reading has no value)
    // or its interval or a voltage is not a finite number.
    std::optional<std::array<SpectrumBin, SpectrumBins>> Bins;
    std::optional<double> DominantHz; // nothing for a flat line
    std::optional<double> DominantDbv;
    // 100 x RMS of harmonics 2..5 below the Nyquist frequency / RMS of the
    // fundamental; nothing when not even the second harmonic lies below the
    // Nyquist frequency.
    std::optional<double> ThdPercent;
};

// The dominant bin is the strongest of bins 1..48; between bins 2 and 47 its
// frequency is refined by a parabola through the dB levels of the peak and its
// two neighbours. The dominant level and each harmonic's level are the
// transform of the windowed samples evaluated at that frequency (h x the
// dominant one), so they do not depend on where a tone falls between bins.
WaveformSpectrum Spectrum(const VoltWaveform& waveform, SpectrumWindow window = SpectrumWindow::Hann);

} // namespace zop
