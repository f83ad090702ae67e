// Speed of the trace redraw on the window's picture and of the measurements.
#include <QGuiApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>

#include "display/TraceView.h"
#include "platform/ImageTracePicture.h"

namespace {

struct Scene {
    Scene()
    {
        for (int i = 0; i < zop::SampleCount; ++i)
            record.Samples[static_cast<size_t>(i)] = 128 + static_cast<int>(110 * std::sin(i / 5.0));
        record.VoltIndex = 5;
        record.TimeIndex = 9;
        cursors = { 42, 100, 202, 60 };
        form.SetWaveformShown(true);
    }
    QImage graticule = zop::MakeGraticulePicture();
    QImage image = graticule.copy();
    zop::ImageTracePicture picture { image, graticule };
    zop::FormState form;
    zop::WaveformRecord record;
    zop::DocumentFlags flags;
    zop::CursorPositions cursors;
    zop::TraceView view { form, record, flags, cursors, picture };
};

void RedrawTrace(benchmark::State& state)
{
    Scene scene;
    scene.form.ShowViewMode(static_cast<zop::TraceMode>(state.range(0)));
    for (auto _ : state) {
        scene.view.RedrawTrace();
        benchmark::DoNotOptimize(scene.image.constBits());
    }
}
BENCHMARK(RedrawTrace)->Arg(0)->Arg(1)->Arg(2)->ArgName("mode")->Unit(benchmark::kMicrosecond);

void DragStep(benchmark::State& state)
{
    Scene scene;
    scene.view.RedrawTrace();
    scene.view.Image1MouseDown(zop::MouseButton::Left, zop::ssLeft, 40, 0);
    int x = 40;
    for (auto _ : state) {
        x = x >= 380 ? 40 : x + 4;
        scene.view.Image1MouseMove(zop::ssLeft, x, 0);
    }
}
BENCHMARK(DragStep)->Unit(benchmark::kMicrosecond);

void UpdateMeasurements(benchmark::State& state)
{
    Scene scene;
    for (auto _ : state) {
        scene.view.UpdateMeasurements();
        benchmark::DoNotOptimize(scene.form.SettingsPanel[zop::DbPanel].data());
    }
}
BENCHMARK(UpdateMeasurements)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
