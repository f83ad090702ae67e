// Two running copies of the program exchange a waveform through the system
// clipboard: the first opens a waveform file and copies it, the second pastes
// it. A copy also meets blocks that another program put on the clipboard.
// The tests run their own X server (Xvfb), drive the windows with xdotool
// through the menus, and compare screenshots of the windows.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "document/WaveformFile.h"
#include "output/WaveformBlock.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/XSession.h"
#include "waveform/ScaleTables.h"

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

// A saved waveform file for the copies to open.
std::string WriteSine(const test::TempDir& dir)
{
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
    return file;
}

bool Alive(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

// Another program on the desktop, offering `bytes` under "zop_WaveForm".
class ForeignOwner {
public:
    ForeignOwner(const test::TempDir& dir, const std::vector<uint8_t>& bytes)
    {
        const std::string data = dir.File("foreign.bin");
        const std::string ready = dir.File("foreign.ready");
        unlink(ready.c_str());
        std::ofstream(data, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        m_pid = Spawn({ ZOP5_CLIPBOARD_OWNER, WaveformFormatName, data, ready });
        m_ready = WaitFor([&] { return access(ready.c_str(), F_OK) == 0; }, 10s);
    }
    ~ForeignOwner() { StopProcess(m_pid); }
    ForeignOwner(const ForeignOwner&) = delete;
    ForeignOwner& operator=(const ForeignOwner&) = delete;
    bool Ready() const { return m_ready; }

private:
    pid_t m_pid = -1;
    bool m_ready = false;
};

// The program, a waveform file to open, and an X server of the test's own.
class ClipboardExchange : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
        ASSERT_TRUE(XToolsPresent()) << "Xvfb, xdotool and import are needed";
        file = WriteSine(dir);
        server.emplace();
        ASSERT_FALSE(server->Display().empty()) << "Xvfb did not start";
        server->Use();
    }

    const std::string program = ZOP5_PROGRAM;
    test::TempDir dir;
    std::string file;
    std::optional<XServer> server;
};

TEST_F(ClipboardExchange, TwoRunningCopiesExchangeAWaveform)
{
    RunningCopy first({ program, file });
    ASSERT_FALSE(first.Window().empty()) << "the first copy shows no window";
    RunningCopy second({ program });
    ASSERT_FALSE(second.Window().empty()) << "the second copy shows no window";
    EXPECT_EQ(first.Caption(), "Tracelet - wave.zop");
    EXPECT_EQ(second.Caption(), "Tracelet - [Untitled]");
    // No window manager: both open at the same place; set them side by side.
    ASSERT_TRUE(Shell("xdotool windowmove --sync " + second.Window() + " 600 0"));

    const auto before = CaptureSettled(second.Window(), dir.File("before.ppm"));
    const auto original = CaptureSettled(first.Window(), dir.File("first.ppm"));
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
    const auto after = CaptureSettled(second.Window(), dir.File("after.ppm"));
    const auto shown = CaptureSettled(first.Window(), dir.File("first-after.ppm"));
    ASSERT_TRUE(after && shown);
    // Fields, panels, tool bar and trace now look alike in both windows; the
    // focus frame and text cursor of the description field may differ.
    EXPECT_LT(Difference(*after, *shown), 0.02);
    EXPECT_EQ(first.Caption(), "Tracelet - wave.zop");
}

TEST_F(ClipboardExchange, BlocksFromAnotherProgramAreCheckedBeforeUse)
{
    ASSERT_EQ(access(ZOP5_CLIPBOARD_OWNER, X_OK), 0) << ZOP5_CLIPBOARD_OWNER;
    RunningCopy copy({ program, file });
    ASSERT_FALSE(copy.Window().empty()) << "the copy shows no window";
    const size_t windows = copy.VisibleWindows();
    // The file is read once the window is up.
    ASSERT_TRUE(WaitFor([&] { return copy.Caption() == "Tracelet - wave.zop"; }, 10s));
    const auto shown = CaptureSettled(copy.Window(), dir.File("shown.ppm"));
    ASSERT_TRUE(shown);

    BlockContent content;
    content.Samples.fill(30);
    content.TimeIndex = 5;
    content.VoltIndex = 3;
    content.Description = "from elsewhere";
    const WaveformBlock good = EncodeWaveformBlock(content);
    std::vector<std::vector<uint8_t>> hostile;
    hostile.emplace_back(good.begin(), good.begin() + 10); // far too short
    hostile.emplace_back(good.begin(), good.end());
    hostile.back()[384] = 99; // time index beyond the table
    hostile.emplace_back(good.begin(), good.end());
    std::fill(hostile.back().begin() + 416, hostile.back().end(), 'A'); // texts without end words
    for (size_t i = 0; i < hostile.size(); ++i) {
        SCOPED_TRACE("hostile block " + std::to_string(i));
        ForeignOwner owner(dir, hostile[i]);
        ASSERT_TRUE(owner.Ready()) << "the other program did not take the clipboard";
        EditMenu(copy, "p"); // Paste is enabled: the format is there
        ASSERT_TRUE(WaitFor([&] { return copy.VisibleWindows() == windows + 1; }, 5s))
            << "no \"Incorrect Clipboard contents\" box";
        Shell("xdotool key Return");
        ASSERT_TRUE(WaitFor([&] { return copy.VisibleWindows() == windows; }, 5s)) << "the box did not close";
        ASSERT_TRUE(Alive(copy.Pid()));
        EXPECT_EQ(copy.Caption(), "Tracelet - wave.zop");
        const auto after = CaptureSettled(copy.Window(), dir.File("after.ppm"));
        ASSERT_TRUE(after);
        // The trace picture, not the fields above it: where the focus went
        // when the box closed and whether Paste is enabled may differ.
        EXPECT_LT(Difference(*after, *shown, TracePictureTop), 0.002) << "the shown waveform changed";
    }

    // The refused pastes left the shown waveform unsaved: leaving asks first.
    Shell("xdotool windowfocus --sync " + copy.Window());
    Shell("xdotool key --clearmodifiers alt+f");
    WaitFor([&] { return copy.VisibleWindows() > windows; }, 5s);
    Shell("xdotool key x");
    EXPECT_TRUE(WaitFor([&] { return copy.VisibleWindows() == windows + 1 && Alive(copy.Pid()); }, 5s))
        << "Exit asked nothing";
    Shell("xdotool key Escape"); // Cancel: stay
    ASSERT_TRUE(WaitFor([&] { return copy.VisibleWindows() == windows; }, 5s));
    ASSERT_TRUE(Alive(copy.Pid()));

    // A well-formed block from another program is taken like one of ours.
    ForeignOwner owner(dir, std::vector<uint8_t>(good.begin(), good.end()));
    ASSERT_TRUE(owner.Ready());
    EditMenu(copy, "p");
    // The shown waveform is unsaved: answer the save question with No.
    ASSERT_TRUE(WaitFor([&] { return copy.VisibleWindows() == windows + 1; }, 5s));
    Shell("xdotool key n");
    EXPECT_TRUE(copy.WaitForCaption("Tracelet - [Untiteld]"));
}

} // namespace
} // namespace zop
