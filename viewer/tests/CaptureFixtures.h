#pragma once
// Captures the viewer tests share: a sine on chosen scales, and a file.
#include <cmath>
#include <string>

#include "document/SafeFile.h"
#include "document/WaveformFile.h"
#include "viewer/Capture.h"

namespace zop::viewer::test {

// A sine of `periods` periods over the 96 samples, `amplitude` counts about `zero`.
inline Capture SineCapture(int timeIndex = 9, int voltIndex = 5, int probe = 1, double periods = 3, int amplitude = 100,
    int zero = 127, std::string name = "sine.zop")
{
    SampleArray samples {};
    for (int i = 0; i < SampleCount; ++i)
        samples[static_cast<size_t>(i)]
            = zero + static_cast<int>(std::lround(amplitude * std::sin(2 * M_PI * periods * i / SampleCount)));
    return MakeCapture(samples, zero, timeIndex, voltIndex, probe, std::move(name));
}

// Writes a capture of 1 ms/div and 0.1 V/div as a .zop file, as the capture
// tool writes its files (complete under its name, or not there).
inline void WriteCaptureFile(const std::string& path, const Capture& capture, const std::string& description = "sine")
{
    WaveformFileContents contents;
    contents.Description = description;
    contents.Date = "07/12/2026";
    contents.Time = "17:00:00";
    contents.TimeLabel = "1ms/div";
    contents.VoltsLabel = "0.1V/div";
    contents.ZeroRef = capture.ZeroRef;
    contents.Samples = capture.Samples;
    WriteFileReplacing(path, FormatWaveformFile(contents));
}

} // namespace zop::viewer::test
