// Speed of zop5-tool's headless commands over 1000 waveform files: in
// process (the work itself) and as the program a user runs (start-up
// included). Figures are files per second of wall-clock time
// (items_per_second); every written file is flushed to the disk before it
// replaces the old one, which dominates the export figures.
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tools/CommandLineWindow.h"
#include "tools/MeasurementLine.h"
#include "tools/WaveformExport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int FileCount = 1000;

// 1000 waveform files of different shapes, written once per run.
struct Corpus {
    Corpus()
    {
        char pattern[] = "/tmp/zop5-bench-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("mkdtemp failed");
        Folder = pattern;
        const char* timeLabels[] = { "1ms/div", "2\xB5s/div", "0.5s/div", "20ms/div" };
        const char* voltLabels[] = { "0.1V/div", "5mV/div", "2V/div", "20V/div" };
        for (int f = 0; f < FileCount; ++f) {
            std::string text = "Zop5 V1.0\r\nbench file " + std::to_string(f) + "\r\n07/12/2026\r\n10:15:00\r\n"
                + timeLabels[f % 4] + "\r\n" + voltLabels[(f / 4) % 4] + "\r\n127\r\n\r\n";
            for (int i = 0; i < zop::SampleCount; ++i) {
                const int value = 127 + static_cast<int>((20 + f % 110) * std::sin(i * (1 + f % 7) / 15.0));
                text += std::to_string(std::clamp(value, 0, 255)) + "\r\n";
            }
            const std::string path = Folder + "/wave" + std::to_string(f) + ".zop";
            std::ofstream(path, std::ios::binary) << text;
            Files.push_back(path);
        }
        fs::create_directory(Folder + "/out");
    }
    ~Corpus()
    {
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }
    std::string Folder;
    std::vector<std::string> Files;
};

Corpus& Files()
{
    static Corpus corpus;
    return corpus;
}

// Runs the program with its output thrown away (its errors kept in
// `errors`); returns its exit status, -1 when it died.
int RunQuietly(const std::vector<std::string>& args, const std::string& errors = "/dev/null")
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void MeasureInProcess(benchmark::State& state)
{
    const Corpus& corpus = Files();
    zop::LineOptions options;
    options.Cursors = true;
    for (auto _ : state) {
        for (const std::string& path : corpus.Files) {
            zop::CommandLineWindow window;
            if (!window.Open(path))
                state.SkipWithError("a bench file was refused");
            window.PlaceCursors(10, 30);
            benchmark::DoNotOptimize(zop::MeasurementLine(window.Model, path, options));
        }
    }
    state.SetItemsProcessed(state.iterations() * FileCount);
}
BENCHMARK(MeasureInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// One run of `zop5-tool measure` over all 1000 files.
void MeasureCommand(benchmark::State& state)
{
    const Corpus& corpus = Files();
    std::vector<std::string> args { ZOP5_TOOL_PATH, "measure", "--cursors", "10,30" };
    args.insert(args.end(), corpus.Files.begin(), corpus.Files.end());
    for (auto _ : state)
        if (RunQuietly(args) != 0)
            state.SkipWithError("zop5-tool measure failed");
    state.SetItemsProcessed(state.iterations() * FileCount);
}
BENCHMARK(MeasureCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

const char* const Extensions[] = { ".csv", ".wmf", ".bmp", ".png", ".svg", ".pdf" };

void ExportInProcess(benchmark::State& state)
{
    const Corpus& corpus = Files();
    const std::string extension = Extensions[state.range(0)];
    state.SetLabel(extension);
    zop::ExportRequest request;
    request.Format = *zop::ExportFormatOf(extension);
    request.Cursors = zop::CursorColumns { 10, 30 };
    request.Output = corpus.Folder + "/out/sheet" + extension;
    const std::unique_ptr<zop::ExportSurfaces> surfaces
        = zop::NeedsSurfaces(request.Format) ? zop::MakeExportSurfaces() : nullptr;
    for (auto _ : state) {
        for (const std::string& path : corpus.Files) {
            request.Input = path;
            if (!zop::ExportWaveform(request, surfaces.get()).empty())
                state.SkipWithError("a bench file was refused");
        }
    }
    state.SetItemsProcessed(state.iterations() * FileCount);
}
BENCHMARK(ExportInProcess)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// 1000 runs of `zop5-tool export`, one per file, as a shell loop would.
void ExportCommand(benchmark::State& state)
{
    const Corpus& corpus = Files();
    const std::string extension = Extensions[state.range(0)];
    state.SetLabel(extension);
    const std::string out = corpus.Folder + "/out/command" + extension;
    const std::string errors = corpus.Folder + "/out/errors.txt";
    for (auto _ : state)
        for (const std::string& path : corpus.Files)
            if (const int status = RunQuietly({ ZOP5_TOOL_PATH, "export", "--cursors", "10,30", path, out }, errors);
                status != 0) {
                std::ifstream in(errors);
                const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                state.SkipWithError(
                    ("zop5-tool export " + path + " failed with " + std::to_string(status) + ": " + text).c_str());
                return;
            }
    state.SetItemsProcessed(state.iterations() * FileCount);
}
BENCHMARK(ExportCommand)->Arg(0)->Arg(2)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
