#pragma once
// One capture as the viewer holds it: the waveform of a .zop file with its
// texts in UTF-8 and its scales in seconds and volts (the probe applied).
#include <optional>
#include <string>

#include "analysis/VoltWaveform.h"
#include "waveform/WaveformRecord.h"

namespace zop::viewer {

struct Capture {
    std::string Path; // the file it came from
    std::string Name; // the file name without its folder
    std::string Description; // UTF-8
    std::string Date;
    std::string Time;
    std::string TimeLabel; // "1ms/div"
    std::string VoltsLabel; // "0.1V/div"
    SampleArray Samples {};
    int32_t ZeroRef = 127;
    int32_t VoltIndex = 1;
    int32_t TimeIndex = 1;
    int32_t ProbeFactor = 1;
    // The samples in volts and the time between two of them.
    VoltWaveform Waveform;

    // Seconds between two samples.
    double SampleInterval() const { return Waveform.SampleSeconds; }
    // Volts of one count.
    double VoltsPerCount() const;
    // Ten samples to a division; 254 counts to eight divisions.
    double SecondsPerDivision() const { return 10 * SampleInterval(); }
    double VoltsPerDivision() const { return VoltsPerCount() * 254.0 / 8.0; }
    // The time of sample i from the first one, and its level from the zero reference.
    double SampleTime(int i) const { return i * SampleInterval(); }
    double SampleVolts(int i) const { return Waveform.Volts[static_cast<size_t>(i)]; }
};

// A capture from a .zop file as the window's reader takes it, or from our
// JSON or CSV export (by the name's extension, in any letter case); nullopt
// when the file is refused.
std::optional<Capture> CaptureFromFile(const std::string& path);

// A capture of the given samples and settings (for files made elsewhere and
// tests); the rows and the probe factor must exist.
Capture MakeCapture(const SampleArray& samples, int32_t zeroRef, int32_t timeIndex, int32_t voltIndex,
    int32_t probeFactor, std::string name = {});

} // namespace zop::viewer
