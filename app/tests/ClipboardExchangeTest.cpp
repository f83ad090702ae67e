// Two running copies of the program exchange a waveform through the system
// clipboard: the first opens a waveform file and copies it, the second pastes
// it. The test runs its own X server (Xvfb), drives the windows with xdotool
// through the Edit menu, and compares screenshots of both windows.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <unistd.h>

#include "display/ScaleTables.h"
#include "document/WaveformFile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/XSession.h"

namespace zop {
namespace {

using namespace std::chrono_literals;
using namespace test;

// Opens the Edit menu (which also refreshes Paste) and, once its popup
// window shows, picks an item.
void EditMenu(const RunningCopy& copy, const std::string& keys)
{
    Shell("xdotool windowfocus --sync " + copy.Window());
    const size_t windows = copy.VisibleWindows();
    Shell("xdotool key --clearmodifiers alt+e");
    WaitFor([&] { return copy.VisibleWindows() > windows; }, 5s);
    Shell("xdotool key " + keys);
}

TEST(ClipboardExchange, TwoRunningCopiesExchangeAWaveform)
{
    const std::string program = ZOP5_PROGRAM;
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_TRUE(XToolsPresent()) << "Xvfb, xdotool and import are needed";

    test::TempDir dir;
    FormState form;
    WaveformRecord record;
    DocumentFlags flags;
    for (size_t i = 0; i < SampleCount; ++i)
        record.Samples[i] = 127 + static_cast<int32_t>(std::lround(90 * std::sin(static_cast<double>(i) / 6)));
    record.TimeIndex = 7;
    record.VoltIndex = 4;
    form.Description.SetText("Exchanged sine");
    form.DateField.SetText("07-12-2026");
    form.TimeField.SetText("09:00:00");
    form.SettingsPanel[0] = std::string(TimeLabel(7));
    form.SettingsPanel[1] = std::string(VoltsLabel(4, 1));
    const std::string file = dir.File("wave.zop");
    WriteWaveformFile(file, form, record, flags);

    XServer server;
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    server.Use();

    RunningCopy first({ program, file });
    ASSERT_FALSE(first.Window().empty()) << "the first copy shows no window";
    RunningCopy second({ program });
    ASSERT_FALSE(second.Window().empty()) << "the second copy shows no window";
    EXPECT_EQ(first.Caption(), "Tracelet - wave.zop");
    EXPECT_EQ(second.Caption(), "Tracelet - [Untitled]");
    // No window manager: both open at the same place; set them side by side.
    ASSERT_TRUE(Shell("xdotool windowmove --sync " + second.Window() + " 600 0"));

    const auto before = Capture(second.Window(), dir.File("before.ppm"));
    const auto original = Capture(first.Window(), dir.File("first.ppm"));
    ASSERT_TRUE(before && original);
    EXPECT_GT(Difference(*before, *original), 0.03) << "the empty window already looks like the shown one";

    // A measurement cross placed in the first copy travels with the waveform.
    Shell("xdotool windowfocus --sync " + first.Window());
    Shell("xdotool mousemove --window " + first.Window() + " 150 150 click 1");
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto crossed = Capture(first.Window(), dir.File("crossed.ppm"));
            return crossed && Difference(*crossed, *original) > 0.0005;
        },
        5s))
        << "no cross appeared";

    EditMenu(first, "Down Return"); // Cut is the first item, Copy the second
    // Paste is enabled once the second copy sees the block; retry while the
    // first copy is still placing it.
    const bool pasted = WaitFor(
        [&] {
            EditMenu(second, "p");
            if (WaitFor([&] { return second.Caption() == "Tracelet - [Untiteld]"; }, 1500ms))
                return true;
            Shell("xdotool key Escape");
            return false;
        },
        15s);
    ASSERT_TRUE(pasted) << "the second copy did not paste";

    Shell("xdotool windowfocus --sync " + first.Window());
    const auto after = Capture(second.Window(), dir.File("after.ppm"));
    const auto shown = Capture(first.Window(), dir.File("first-after.ppm"));
    ASSERT_TRUE(after && shown);
    // Fields, panels, tool bar and trace now look alike in both windows; the
    // focus frame and text cursor of the description field may differ.
    EXPECT_LT(Difference(*after, *shown), 0.02);
    EXPECT_EQ(first.Caption(), "Tracelet - wave.zop");
}

} // namespace
} // namespace zop
