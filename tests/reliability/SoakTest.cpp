// A thousand transfers through the real window at full speed, each answered
// No to the save question: every one is applied, memory stops growing after
// warm-up, no thread or descriptor is left behind. Prints the transfers per
// second and the time from the last byte on the line to the redrawn trace.
#include <QAction>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

#include "tests/reliability/Instrument.h"
#include "tests/reliability/LinkedWindow.h"
#include "waveform/InstrumentLines.h"

namespace zop {
namespace {

using namespace std::chrono;

InstrumentWaveform WaveformNumber(int n)
{
    InstrumentWaveform waveform;
    waveform.TimeIndex = n % 22 + 1;
    waveform.VoltIndex = n % 12 + 1;
    waveform.ZeroRef = (n * 37) % 256;
    for (int i = 0; i < SampleCount; ++i)
        waveform.Samples[static_cast<size_t>(i)] = (i * 7 + n * 13) % 256;
    return waveform;
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t index
        = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
    return values[index];
}

TEST(SoakTest, AThousandTransfersThroughTheWindow)
{
    if (!test::SoakRunsEnabled())
        GTEST_SKIP() << "set ZOP5_SOAK=1 to run";
    constexpr int Transfers = 1000;
    constexpr int WarmUp = 100;

    test::Instrument instrument;
    test::MapPorts(instrument.DevicePath());
    test::LinkedWindow window;
    ASSERT_TRUE(window.Form().Action(Cmd::Com1Item)->isChecked()) << testing::PrintToString(window.Ui().Messages);

    std::vector<double> latencies;
    test::ProcessFigures settled;
    const auto start = steady_clock::now();
    auto measuredStart = start;
    for (int n = 0; n < Transfers; ++n) {
        const InstrumentWaveform waveform = WaveformNumber(n);
        const LineForm form = n % 2 ? LineForm::B : LineForm::A;
        const LineEnding ending = n % 3 ? LineEnding::Cr : LineEnding::CrLf;
        const int before = window.Redraws();
        ASSERT_TRUE(instrument.Send(EncodeTransfer(waveform, form, ending)));
        const auto lastByte = steady_clock::now();
        ASSERT_TRUE(window.RunUntil([&] { return window.Redraws() > before; }))
            << "transfer " << n << " was not applied; messages " << testing::PrintToString(window.Ui().Messages);
        latencies.push_back(duration<double, std::milli>(window.LastRedraw() - lastByte).count());

        const WaveformRecord& record = window.Form().Record();
        ASSERT_EQ(record.Samples, waveform.Samples) << "transfer " << n;
        ASSERT_EQ(record.TimeIndex, waveform.TimeIndex) << "transfer " << n;
        ASSERT_EQ(record.VoltIndex, waveform.VoltIndex) << "transfer " << n;
        ASSERT_EQ(record.ZeroRef, waveform.ZeroRef) << "transfer " << n;
        ASSERT_EQ(window.Redraws(), before + 1) << "transfer " << n;
        if (n + 1 == WarmUp) {
            window.RunFor(milliseconds(50)); // let the reopened port's threads settle
            settled = test::CurrentFigures();
            measuredStart = steady_clock::now();
        }
    }
    const double seconds = duration<double>(steady_clock::now() - measuredStart).count();
    window.RunFor(milliseconds(50));
    const test::ProcessFigures end = test::CurrentFigures();

    EXPECT_TRUE(window.Ui().Messages.empty()) << testing::PrintToString(window.Ui().Messages);
    EXPECT_GE(window.Ui().Questions, Transfers - 1); // each new waveform asks about the unsaved one
    EXPECT_EQ(end.Threads, settled.Threads);
    EXPECT_EQ(end.Descriptors, settled.Descriptors);
    if (!test::UnderSanitizer()) {
        EXPECT_LT(end.ResidentBytes - settled.ResidentBytes, 1L << 20);
        EXPECT_LT(end.HeapBytes - settled.HeapBytes, 1L << 20);
    }
    const double median = Percentile(latencies, 0.5);
    const double p99 = Percentile(latencies, 0.99);
    std::printf("soak: %d transfers, %.1f transfers/s after warm-up; last byte to redrawn trace: median %.2f ms, "
                "p99 %.2f ms; resident %+ld bytes, heap %+ld bytes, threads %d -> %d, descriptors %d -> %d\n",
        Transfers, (Transfers - WarmUp) / seconds, median, p99, end.ResidentBytes - settled.ResidentBytes,
        end.HeapBytes - settled.HeapBytes, settled.Threads, end.Threads, settled.Descriptors, end.Descriptors);
    testing::Test::RecordProperty("TransfersPerSecond", std::to_string((Transfers - WarmUp) / seconds));
    testing::Test::RecordProperty("LatencyMedianMs", std::to_string(median));
    testing::Test::RecordProperty("LatencyP99Ms", std::to_string(p99));

    // Closing with the port open leaves no thread behind.
    window.Close();
    EXPECT_LT(test::CurrentFigures().Threads, settled.Threads);
}

} // namespace
} // namespace zop
