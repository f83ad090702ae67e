#pragma once
// The analysis and spectrum of a waveform as zop5-tool prints them: text
// columns in SI units ("-" when not measurable), JSON members (null when not
// measurable) and CSV cells (empty when not measurable).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/Spectrum.h"
#include "analysis/WaveformAnalysis.h"

namespace zop {

// The extended values in their column order: min, max, mean, AC RMS,
// frequency, period, duty cycle, positive and negative width, rise, fall,
// crest factor. Texts are UTF-8 ("1.25kHz", "48.6%", "-").
std::vector<std::string> AnalysisColumns(const WaveformAnalysis& analysis);

// `"min_volts":..,"max_volts":..,...` without braces.
std::string AnalysisJsonMembers(const WaveformAnalysis& analysis);

// `"window":"hann","dominant_frequency_hz":..,"dominant_dbv":..,"thd_percent":..`
// and, with `bins`, `,"bins":[[hz,dbv],...]` (an empty list when the spectrum
// is not measurable).
enum class SpectrumBinsShown { No, Yes };
std::string SpectrumJsonMembers(const WaveformSpectrum& spectrum, SpectrumWindow window, SpectrumBinsShown bins);

// A number with an SI prefix and its unit, four significant digits: "1.25kHz",
// "-250mV", "2\u00B5s"; "-" when absent.
std::string EngineeringText(std::optional<double> value, const std::string& unit);

// Plain decimal for CSV cells, empty when absent.
std::string CsvNumber(std::optional<double> value);
// A CSV cell holding `text`, quoted when it holds a comma, quote or line end.
std::string CsvField(std::string_view text);

} // namespace zop
