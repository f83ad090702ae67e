#pragma once
// Captures the viewer tests share: a sine on chosen scales, and a file.
#include <cmath>
#include <string>

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

} // namespace zop::viewer::test
