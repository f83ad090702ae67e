#include "viewer/Capture.h"

#include "document/WaveformFile.h"
#include "waveform/Cp1252.h"
#include "waveform/ScaleTables.h"

namespace zop::viewer {

namespace {

double PrefixScale(std::string_view prefix)
{
    if (prefix == "m")
        return 1e-3;
    return 1;
}

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

double Capture::VoltsPerCount() const
{
    const VoltScale scale = zop::VoltsPerCount(VoltIndex, ProbeFactor);
    return static_cast<double>(scale.VoltsPerCount) * PrefixScale(scale.Prefix);
}

std::optional<Capture> CaptureFromFile(const std::string& path)
{
    IncomingImage incoming;
    if (!LoadWaveformFile(path, incoming))
        return std::nullopt;
    Capture capture = MakeCapture(incoming.Samples, incoming.ZeroRef, incoming.TimeIndex, incoming.VoltIndex,
        incoming.ProbeFactor, BaseName(path));
    capture.Path = path;
    capture.Description = Cp1252ToUtf8(incoming.Description);
    capture.Date = Cp1252ToUtf8(incoming.Date);
    capture.Time = Cp1252ToUtf8(incoming.Time);
    capture.TimeLabel = Cp1252ToUtf8(incoming.TimeLabel); // as written, its letter case kept
    return capture;
}

Capture MakeCapture(const SampleArray& samples, int32_t zeroRef, int32_t timeIndex, int32_t voltIndex,
    int32_t probeFactor, std::string name)
{
    Capture capture;
    capture.Name = std::move(name);
    capture.Samples = samples;
    capture.ZeroRef = zeroRef;
    capture.TimeIndex = timeIndex;
    capture.VoltIndex = voltIndex;
    capture.ProbeFactor = probeFactor;
    capture.TimeLabel = Cp1252ToUtf8(TimeLabel(timeIndex));
    capture.VoltsLabel = Cp1252ToUtf8(VoltsLabel(voltIndex, probeFactor));
    capture.Waveform = WaveformInVolts(samples, zeroRef, voltIndex, probeFactor, timeIndex).value();
    return capture;
}

} // namespace zop::viewer
