#pragma once
// The line the tool prints for a measured waveform: the six texts of the
// settings line, tab-separated, optionally the file name first and the three
// cursor texts after; or the same as one JSON object with the numbers behind
// the texts. Texts are converted from Windows-1252 to UTF-8.
#include <optional>
#include <string>

#include "analysis/VoltWaveform.h"
#include "window/WindowModel.h"

namespace zop {

enum class LineFormat { Tabs, Json };

struct LineOptions {
    LineFormat Format = LineFormat::Tabs;
    bool Names = false; // the file name first (always present in JSON)
    bool Cursors = false; // append the cursor readout
    bool Extended = false; // append the analysis: min, max, mean, AC RMS, frequency, ...
};

// The numbers behind the DC, peak-to-peak, RMS and dB texts of the shown
// waveform at the probe in effect, in volts and decibels; absent where the
// window shows no number (a clipped waveform, dB of a flat line).
struct MeasuredNumbers {
    std::optional<long double> DcVolts;
    std::optional<long double> PeakToPeakVolts;
    std::optional<long double> RmsVolts;
    std::optional<long double> Db;
};
MeasuredNumbers MeasuredNumbersOf(const WindowModel& window);

// `window` shows the waveform; `name` is the file name as given (UTF-8).
std::string MeasurementLine(const WindowModel& window, const std::string& name, const LineOptions& options);

// The JSON members of the line after the file's texts and labels, without
// braces: the four measurement texts, probe, clipped, the numbers, and the
// cursor and analysis members the options ask for.
std::string MeasurementJsonMembers(const WindowModel& window, const LineOptions& options);

// The shown waveform in volts at the probe in effect; nothing before a
// waveform is shown.
std::optional<VoltWaveform> ShownInVolts(const WindowModel& window);

} // namespace zop
