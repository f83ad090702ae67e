// Speed of the viewer: a redraw of ten overlaid captures at 1600 x 1000, and
// the time from starting zop5-view to the first frame of its plot.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "viewer/PlotRenderer.h"

extern char** environ;

namespace {

using namespace zop::viewer;

std::vector<Capture> TenCaptures()
{
    std::vector<Capture> captures;
    for (int n = 0; n < 10; ++n) {
        zop::SampleArray samples {};
        for (int i = 0; i < zop::SampleCount; ++i)
            samples[size_t(i)] = 127 + int(std::lround((60 + 5 * n) * std::sin(2 * M_PI * (2 + n * 0.3) * i / 96.0)));
        captures.push_back(MakeCapture(samples, 127, 9 + n % 3, 5 + n % 2, 1, "capture" + std::to_string(n)));
    }
    return captures;
}

void RedrawTenOverlaid(benchmark::State& state)
{
    const double ratio = double(state.range(0));
    const std::vector<Capture> captures = TenCaptures();
    std::vector<const Capture*> shown;
    PlotScene scene;
    for (size_t n = 0; n < captures.size(); ++n) {
        shown.push_back(&captures[n]);
        scene.Traces.push_back({ &captures[n], CaptureColour(n, Theme::Light), CaptureLineStyle(n), 1.0, {} });
    }
    scene.Window = HomeWindow(shown);
    scene.CursorA = CursorPoint { 1e-3, 0.1 };
    scene.CursorB = CursorPoint { 4e-3, -0.1 };
    const QSizeF size(1600, 1000);
    QImage image(QSize(int(size.width() * ratio), int(size.height() * ratio)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    const QFont font = QGuiApplication::font();
    for (auto _ : state) {
        QPainter painter(&image);
        RenderPlot(painter, size, font, scene);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(RedrawTenOverlaid)->Arg(1)->Arg(2)->ArgName("pixel_ratio")->Unit(benchmark::kMillisecond);

// Two capture files for the program to open.
std::vector<std::string> CaptureFiles()
{
    std::vector<std::string> paths;
    for (int n = 0; n < 2; ++n) {
        const std::string path = "/tmp/zop5-view-bench-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".zop";
        std::ofstream file(path, std::ios::binary);
        file << "Zop5 V1.0\r\nbench\r\n\r\n\r\n1ms/div\r\n0.1V/div\r\n127\r\n\r\n";
        for (int i = 0; i < zop::SampleCount; ++i)
            file << 127 + int(std::lround(90 * std::sin(2 * M_PI * (3 + n) * i / 96.0))) << "\r\n";
        paths.push_back(path);
    }
    return paths;
}

void StartToFirstFrame(benchmark::State& state)
{
    const std::vector<std::string> files = CaptureFiles();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (auto _ : state) {
        int out[2];
        if (pipe(out) != 0) {
            state.SkipWithError("no pipe");
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args { ZOP5_VIEW_PATH, "--exit-after-first-frame" };
        args.insert(args.end(), files.begin(), files.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, ZOP5_VIEW_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;
        char c;
        while (spawned == 0 && read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        const auto end = std::chrono::steady_clock::now();
        close(out[0]);
        int status = 0;
        if (spawned == 0)
            waitpid(pid, &status, 0);
        if (line != "first frame") {
            state.SkipWithError("zop5-view painted no frame");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    for (const std::string& file : files)
        std::remove(file.c_str());
}
BENCHMARK(StartToFirstFrame)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
