#include "viewer/Capture.h"

#include "document/WaveformFile.h"
#include "tools/WaveformImport.h"
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

namespace {

bool HasExtension(const std::string& path, std::string_view extension)
{
    return path.size() > extension.size()
        && EqualsIgnoreAsciiCase(std::string_view(path).substr(path.size() - extension.size()), extension);
}

// Our JSON and CSV exports, read back by the tool's importers into what a
// waveform file holds, and then through the waveform file's own reader, so
// every capture passes the same checks.
bool ReadExported(const std::string& path, IncomingImage& incoming)
{
    constexpr size_t Limit = size_t { 16 } << 20; // far above any export of 96 samples
    try {
        const std::string bytes = ReadExportedFile(path, Limit);
        const WaveformFileContents contents
            = HasExtension(path, ".json") ? ReadWaveformJson(bytes) : ReadSampleTable(bytes, {});
        return ReadWaveformData(FormatWaveformFile(contents), incoming);
    } catch (const std::exception&) {
        return false; // not a file of ours, or not readable: refused like a bad .zop
    }
}

} // namespace

std::optional<Capture> CaptureFromFile(const std::string& path)
{
    IncomingImage incoming;
    const bool exported = HasExtension(path, ".json") || HasExtension(path, ".csv");
    if (!(exported ? ReadExported(path, incoming) : LoadWaveformFile(path, incoming)))
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
