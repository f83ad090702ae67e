// A saved waveform file opened from the File menu, named on the command line
// and dropped from outside the program, each in a running copy on an X server
// of the test's own, then the windows compared: they must show the same
// waveform.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <unistd.h>

#include "document/WaveformFile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/XSession.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

using namespace std::chrono_literals;
using namespace test;

// Presses the mouse on the drag source and releases it over (x, y),
// moving in steps so that the drop target sees the drag arrive.
void DragTo(const RunningCopy& source, int x, int y)
{
    Shell("xdotool mousemove --window " + source.Window() + " 50 50 mousedown 1");
    std::this_thread::sleep_for(300ms);
    for (int step = 1; step <= 6; ++step) {
        Shell("xdotool mousemove " + std::to_string(x + 20 * (6 - step)) + " " + std::to_string(y));
        std::this_thread::sleep_for(150ms);
    }
    std::this_thread::sleep_for(300ms);
    Shell("xdotool mouseup 1");
}

// A saved waveform: a sine with the x10 probe, texts in every field.
void WriteSine(const std::string& path)
{
    FormState form;
    WaveformRecord record;
    DocumentFlags flags;
    for (size_t i = 0; i < SampleCount; ++i)
        record.Samples[i] = 127 + static_cast<int32_t>(std::lround(100 * std::sin(static_cast<double>(i) / 5)));
    record.TimeIndex = 10;
    record.VoltIndex = 8;
    form.ShowProbe(10);
    form.Description.SetText("Saved, then opened and dropped");
    form.DateField.SetText("07-12-2026");
    form.TimeField.SetText("10:00:00");
    form.SettingsPanel[0] = std::string(TimeLabel(10));
    form.SettingsPanel[1] = std::string(VoltsLabel(8, 10)); // "10V/div": x10 only
    WriteWaveformFile(path, form, record, flags);
}

TEST(OpenAndDrop, AFileOpenedFromTheMenuAndOneDroppedShowTheSame)
{
    const std::string program = ZOP5_PROGRAM;
    const std::string dragSource = ZOP5_DRAG_SOURCE;
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_TRUE(XToolsPresent()) << "Xvfb, xdotool and import are needed";

    test::TempDir dir;
    const std::string file = dir.File("saved.zop");
    WriteSine(file);
    const std::string other = dir.File("other.zop");
    WriteSine(other);

    XServer server;
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    server.Use();

    RunningCopy opened({ program });
    ASSERT_FALSE(opened.Window().empty()) << "no window";
    Shell("xdotool windowfocus --sync " + opened.Window());
    Shell("xdotool key --clearmodifiers ctrl+o");
    const bool dialogShown
        = WaitFor([] { return Shell("xdotool search --onlyvisible --name 'Opens a waveform file'"); }, 10s);
    ASSERT_TRUE(dialogShown) << "the open dialog did not come up";
    std::this_thread::sleep_for(300ms);
    Shell("xdotool type --delay 10 '" + file + "'");
    Shell("xdotool key Return");
    ASSERT_TRUE(opened.WaitForCaption("Tracelet - saved.zop")) << opened.Caption();

    RunningCopy dropped({ program });
    ASSERT_FALSE(dropped.Window().empty());
    // No window manager: windows open at the same place; set them apart.
    ASSERT_TRUE(Shell("xdotool windowmove --sync " + dropped.Window() + " 600 0"));
    const auto empty = Capture(dropped.Window(), dir.File("empty.ppm"));

    // Two files at once are refused.
    RunningCopy both({ dragSource, "100", "600", file, other });
    ASSERT_FALSE(both.Window().empty());
    DragTo(both, 790, 200);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(dropped.Caption(), "Tracelet - [Untitled]");

    RunningCopy one({ dragSource, "300", "600", file });
    ASSERT_FALSE(one.Window().empty());
    DragTo(one, 790, 200);
    ASSERT_TRUE(dropped.WaitForCaption("Tracelet - saved.zop")) << dropped.Caption();

    Shell("xdotool windowfocus --sync " + opened.Window());
    const auto viaMenu = CaptureSettled(opened.Window(), dir.File("menu.ppm"));
    const auto viaDrop = CaptureSettled(dropped.Window(), dir.File("drop.ppm"));
    ASSERT_TRUE(empty && viaMenu && viaDrop);
    EXPECT_GT(Difference(*empty, *viaDrop), 0.03) << "the dropped file changed nothing on the screen";
    // Trace, fields, panels and the x10 probe button alike; focus frames and
    // the text cursor may differ.
    EXPECT_LT(Difference(*viaMenu, *viaDrop), 0.02);
}

// A file name is the system's bytes: one that is not valid UTF-8 opens when
// named on the command line and when dropped, showing what the same file
// under a plain name shows.
TEST(OpenAndDrop, AFileNameThatIsNotUtf8OpensAtStartAndWhenDropped)
{
    const std::string program = ZOP5_PROGRAM;
    const std::string dragSource = ZOP5_DRAG_SOURCE;
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_TRUE(XToolsPresent()) << "Xvfb, xdotool and import are needed";

    test::TempDir dir;
    const std::string plain = dir.File("plain.zop");
    WriteSine(plain);
    const std::string odd = dir.File("n\xff\xfe.zop");
    WriteSine(odd);
    const auto opened = [](const RunningCopy& copy) {
        return WaitFor(
            [&] { return copy.Caption().starts_with("Tracelet - n") && copy.Caption().ends_with(".zop"); }, 10s);
    };

    XServer server;
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    server.Use();

    RunningCopy reference({ program, plain });
    ASSERT_FALSE(reference.Window().empty()) << "no window";
    ASSERT_TRUE(reference.WaitForCaption("Tracelet - plain.zop")) << reference.Caption();

    RunningCopy started({ program, odd });
    ASSERT_FALSE(started.Window().empty()) << "no window";
    ASSERT_TRUE(Shell("xdotool windowmove --sync " + started.Window() + " 600 0"));
    ASSERT_TRUE(opened(started)) << started.Caption();

    RunningCopy dropped({ program });
    ASSERT_FALSE(dropped.Window().empty()) << "no window";
    ASSERT_TRUE(Shell("xdotool windowmove --sync " + dropped.Window() + " 0 450"));
    RunningCopy source({ dragSource, "700", "600", odd });
    ASSERT_FALSE(source.Window().empty());
    DragTo(source, 190, 650);
    ASSERT_TRUE(opened(dropped)) << dropped.Caption();

    const auto shown = CaptureSettled(reference.Window(), dir.File("plain.ppm"));
    const auto atStart = CaptureSettled(started.Window(), dir.File("start.ppm"));
    const auto afterDrop = CaptureSettled(dropped.Window(), dir.File("drop.ppm"));
    ASSERT_TRUE(shown && atStart && afterDrop);
    EXPECT_LT(Difference(*shown, *atStart), 0.02);
    EXPECT_LT(Difference(*shown, *afterDrop), 0.02);
}

} // namespace
} // namespace zop
