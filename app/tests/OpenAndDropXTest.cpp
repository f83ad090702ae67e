// A saved waveform file opened from the File menu and dropped from outside
// the program, each in a running copy on an X server of the test's own, then
// both windows compared: they must show the same waveform.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "display/ScaleTables.h"
#include "document/WaveformFile.h"
#include "tests/support/TestEnvironment.h"

extern char** environ;

namespace zop {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

void Stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + 5s;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(20ms);
    }
}

std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

template <class Predicate> bool WaitFor(Predicate ready, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!ready()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

// An X server of the test's own; its display number comes back on a pipe.
class XServer {
public:
    XServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = Spawn({ "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten",
            "tcp", "-noreset" });
        close(fds[1]);
        std::string number;
        pollfd p { fds[0], POLLIN, 0 };
        while (m_pid > 0 && poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number.push_back(c);
        }
        close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~XServer() { Stop(m_pid); }
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

struct Screenshot {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb;
};

std::optional<Screenshot> Capture(const std::string& window, const std::string& path)
{
    if (!Shell("import -window " + window + " -depth 8 '" + path + "'"))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    Screenshot shot;
    int maxValue = 0;
    in >> magic >> shot.Width >> shot.Height >> maxValue;
    in.get();
    if (magic != "P6" || maxValue != 255)
        return std::nullopt;
    shot.Rgb.resize(static_cast<size_t>(shot.Width * shot.Height * 3));
    in.read(reinterpret_cast<char*>(shot.Rgb.data()), static_cast<std::streamsize>(shot.Rgb.size()));
    return shot;
}

// The share of differing pixels above the status lines (the first panel of
// the lower one shows menu hints).
double Difference(const Screenshot& a, const Screenshot& b)
{
    if (a.Width != b.Width || a.Height != b.Height)
        return 1.0;
    const int rows = a.Height - 40;
    int differing = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < a.Width; ++x) {
            const size_t i = static_cast<size_t>((y * a.Width + x) * 3);
            differing += a.Rgb[i] != b.Rgb[i] || a.Rgb[i + 1] != b.Rgb[i + 1] || a.Rgb[i + 2] != b.Rgb[i + 2];
        }
    return static_cast<double>(differing) / (rows * a.Width);
}

std::string FindWindow(pid_t pid)
{
    std::string window;
    WaitFor(
        [&] {
            window = Output("xdotool search --onlyvisible --pid " + std::to_string(pid) + " | head -1");
            return !window.empty();
        },
        20s);
    return window;
}

class RunningCopy {
public:
    explicit RunningCopy(const std::vector<std::string>& args)
        : m_pid(Spawn(args))
        , m_window(FindWindow(m_pid))
    {
    }
    ~RunningCopy() { Stop(m_pid); }
    const std::string& Window() const { return m_window; }
    std::string Caption() const { return Output("xdotool getwindowname " + m_window); }
    bool WaitForCaption(const std::string& caption) const
    {
        return WaitFor([&] { return Caption() == caption; }, 10s);
    }

private:
    pid_t m_pid;
    std::string m_window;
};

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

TEST(OpenAndDrop, AFileOpenedFromTheMenuAndOneDroppedShowTheSame)
{
    const std::string program = ZOP5_PROGRAM;
    const std::string dragSource = ZOP5_DRAG_SOURCE;
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    for (const char* tool : { "Xvfb", "xdotool", "import" })
        ASSERT_TRUE(Shell(std::string("command -v ") + tool)) << tool << " is needed";

    test::TempDir dir;
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
    const std::string file = dir.File("saved.zop");
    WriteWaveformFile(file, form, record, flags);
    const std::string other = dir.File("other.zop");
    WriteWaveformFile(other, form, record, flags);

    XServer server;
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);

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
    const auto viaMenu = Capture(opened.Window(), dir.File("menu.ppm"));
    const auto viaDrop = Capture(dropped.Window(), dir.File("drop.ppm"));
    ASSERT_TRUE(empty && viaMenu && viaDrop);
    EXPECT_GT(Difference(*empty, *viaDrop), 0.03) << "the dropped file changed nothing on the screen";
    // Trace, fields, panels and the x10 probe button alike; focus frames and
    // the text cursor may differ.
    EXPECT_LT(Difference(*viaMenu, *viaDrop), 0.02);
}

} // namespace
} // namespace zop
