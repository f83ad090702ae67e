// Speed of the waveform analysis and spectrum: each on its own, and over 1000
// waveform files read from the disk as a batch run over captures would
// (read, resolve the labels, convert to volts, analyse, transform). Figures
// are waveforms per second (items_per_second).
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/Spectrum.h"
#include "analysis/WaveformAnalysis.h"
#include "document/WaveformFile.h"
#include "tools/SignalGenerator.h"
#include "waveform/ScaleTables.h"

namespace {

namespace fs = std::filesystem;
constexpr int FileCount = 1000;

// The simulator's four shapes at frequencies and amplitudes that vary from
// file to file, each on the time base and range the simulator picks for it.
zop::InstrumentWaveform Waveform(int index, std::mt19937& random)
{
    zop::SignalSettings settings;
    settings.Shape = static_cast<zop::SignalShape>(index % 4);
    settings.Frequency = 10.0 * (1 + index % 997);
    settings.Amplitude = 0.05 * (1 + index % 50);
    settings.PhaseDegrees = index % 360;
    return zop::GenerateWaveform(settings, random);
}

struct Captures {
    Captures()
    {
        char pattern[] = "/tmp/zop5-analysis-bench-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("mkdtemp failed");
        Folder = pattern;
        std::mt19937 random(7);
        for (int f = 0; f < FileCount; ++f) {
            const zop::InstrumentWaveform waveform = Waveform(f, random);
            zop::WaveformFileContents contents;
            contents.Description = "capture " + std::to_string(f);
            contents.Date = "07/12/2026";
            contents.Time = "16:45:00";
            contents.TimeLabel = zop::TimeLabel(waveform.TimeIndex);
            contents.VoltsLabel = zop::VoltsLabel(waveform.VoltIndex, 1);
            contents.ZeroRef = waveform.ZeroRef;
            contents.Samples = waveform.Samples;
            const std::string path = Folder + "/capture" + std::to_string(f) + ".zop";
            std::ofstream(path, std::ios::binary) << zop::FormatWaveformFile(contents);
            Files.push_back(path);
            Volts.push_back(
                *zop::WaveformInVolts(waveform.Samples, waveform.ZeroRef, waveform.VoltIndex, 1, waveform.TimeIndex));
        }
    }
    ~Captures()
    {
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }
    std::string Folder;
    std::vector<std::string> Files;
    std::vector<zop::VoltWaveform> Volts;
};

const Captures& Corpus()
{
    static const Captures captures;
    return captures;
}

void AnalyzeOnly(benchmark::State& state)
{
    const Captures& corpus = Corpus();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zop::Analyze(corpus.Volts[i]));
        i = (i + 1) % corpus.Volts.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(AnalyzeOnly)->Unit(benchmark::kMicrosecond);

void SpectrumOnly(benchmark::State& state)
{
    const Captures& corpus = Corpus();
    const auto window = static_cast<zop::SpectrumWindow>(state.range(0));
    state.SetLabel(window == zop::SpectrumWindow::Hann ? "hann" : "rect");
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zop::Spectrum(corpus.Volts[i], window));
        i = (i + 1) % corpus.Volts.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SpectrumOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// 1000 files from the disk: read, labels resolved, volts, analysis, spectrum.
void AnalyzeFiles(benchmark::State& state)
{
    const Captures& corpus = Corpus();
    for (auto _ : state) {
        for (const std::string& path : corpus.Files) {
            zop::IncomingImage image;
            if (!zop::LoadWaveformFile(path, image)) {
                state.SkipWithError("a bench file was refused");
                return;
            }
            const auto volts = zop::WaveformInVolts(
                image.Samples, image.ZeroRef, image.VoltIndex, image.ProbeFactor, image.TimeIndex);
            benchmark::DoNotOptimize(zop::Analyze(*volts));
            benchmark::DoNotOptimize(zop::Spectrum(*volts));
        }
    }
    state.SetItemsProcessed(state.iterations() * FileCount);
}
BENCHMARK(AnalyzeFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
