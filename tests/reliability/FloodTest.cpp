// The instrument's line floods the port with bytes and never a carriage
// return, at full speed for 30 seconds (ZOP5_FLOOD_SECONDS to change): the
// window keeps handling its events, memory stays bounded, and once the line
// ends a clean transfer is received as usual.
#include <QAction>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

#include "tests/reliability/Instrument.h"
#include "tests/reliability/LinkedWindow.h"
#include "waveform/InstrumentLines.h"

namespace zop {
namespace {

using namespace std::chrono;

TEST(FloodTest, ThirtySecondsWithoutALineEnd)
{
    if (!test::SoakRunsEnabled())
        GTEST_SKIP() << "set ZOP5_SOAK=1 to run";
    const char* configured = std::getenv("ZOP5_FLOOD_SECONDS");
    const int floodSeconds = configured ? std::max(1, std::atoi(configured)) : 30;

    test::Instrument instrument;
    test::MapPorts(instrument.DevicePath());
    test::LinkedWindow window;
    ASSERT_TRUE(window.Form().Action(Cmd::Com1Item)->isChecked()) << testing::PrintToString(window.Ui().Messages);

    std::atomic<bool> stop { false };
    std::atomic<bool> done { false };
    std::atomic<long long> sent { 0 };
    // The window's thread never writes to the line itself: a write that waits
    // for room would keep it from taking the bytes that make room.
    std::thread flood([&] {
        std::string chunk;
        for (int i = 0; i < 4096; ++i)
            chunk += static_cast<char>(0x20 + i % 95); // printable, never a line end or flow control
        while (!stop && instrument.Send(chunk))
            sent += static_cast<long long>(chunk.size());
        instrument.Send("\r"); // the overlong line ends
        done = true;
    });

    // A timer on the window's thread: the longest gap between its ticks shows
    // whether events are still handled.
    QTimer tick;
    auto lastTick = steady_clock::now();
    double longestGapMs = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = steady_clock::now();
        longestGapMs = std::max(longestGapMs, duration<double, std::milli>(now - lastTick).count());
        lastTick = now;
    });
    tick.start(10);

    long peakGrowth = 0;
    size_t longestLine = 0;
    test::ProcessFigures settled;
    for (int second = 0; second < floodSeconds; ++second) {
        window.RunFor(seconds(1));
        longestLine = std::max(longestLine, window.Model().Transfer().LineBuffer.size());
        const test::ProcessFigures now = test::CurrentFigures();
        if (second == std::min(4, floodSeconds - 1))
            settled = now;
        else if (second > 4)
            peakGrowth = std::max(peakGrowth, now.ResidentBytes - settled.ResidentBytes);
    }
    stop = true;
    EXPECT_TRUE(window.RunUntil([&] { return done.load(); }, seconds(10)));
    window.RunFor(milliseconds(100));
    flood.join();
    tick.stop();

    std::printf("flood: %lld bytes in %d s (%.0f bytes/s); longest event gap %.1f ms; longest line held %zu bytes; "
                "resident growth after 5 s %ld bytes\n",
        sent.load(), floodSeconds, static_cast<double>(sent.load()) / floodSeconds, longestGapMs, longestLine,
        peakGrowth);
    EXPECT_GT(sent.load(), 9600LL * floodSeconds / 10) << "the flood did not reach the port";
    EXPECT_LT(longestGapMs, 500.0) << "the window stopped handling events";
    EXPECT_LE(longestLine, LineBufferLimit);
    if (!test::UnderSanitizer()) {
        EXPECT_LT(peakGrowth, 4L << 20);
    }
    EXPECT_TRUE(window.Ui().Messages.empty()) << testing::PrintToString(window.Ui().Messages);

    // The overlong line was dropped at its end; the next transfer arrives whole.
    InstrumentWaveform waveform;
    for (int i = 0; i < SampleCount; ++i)
        waveform.Samples[static_cast<size_t>(i)] = 255 - i;
    const int before = window.Redraws();
    ASSERT_TRUE(instrument.Send(EncodeTransfer(waveform, LineForm::A, LineEnding::Cr)));
    ASSERT_TRUE(window.RunUntil([&] { return window.Redraws() > before; }));
    EXPECT_EQ(window.Form().Record().Samples, waveform.Samples);
}

} // namespace
} // namespace zop
