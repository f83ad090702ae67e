// Two running copies of the program exchange a waveform through the system
// clipboard: the first opens a waveform file and copies it, the second pastes
// it. The test runs its own X server (Xvfb), drives the windows with xdotool
// through the Edit menu, and compares screenshots of both windows.
#include <gtest/gtest.h>

#include <algorithm>
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

// Polls `ready` until it holds or `limit` passes.
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

// An X server of our own; its display number comes back on a pipe.
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

// The share of differing pixels in the rows above the status lines (whose
// first panel shows menu hints).
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

class RunningCopy {
public:
    RunningCopy(const std::string& program, const std::vector<std::string>& arguments)
    {
        std::vector<std::string> args { program };
        args.insert(args.end(), arguments.begin(), arguments.end());
        m_pid = Spawn(args);
        WaitFor(
            [&] {
                m_window = Output("xdotool search --onlyvisible --pid " + std::to_string(m_pid) + " | head -1");
                return !m_window.empty();
            },
            20s);
    }
    ~RunningCopy() { Stop(m_pid); }
    const std::string& Window() const { return m_window; }
    std::string Caption() const { return Output("xdotool getwindowname " + m_window); }
    // Opens the Edit menu (which also refreshes Paste) and, once its popup
    // window shows, picks an item.
    void EditMenu(const std::string& keys) const
    {
        Shell("xdotool windowfocus --sync " + m_window);
        const size_t windows = VisibleWindows();
        Shell("xdotool key --clearmodifiers alt+e");
        WaitFor([&] { return VisibleWindows() > windows; }, 5s);
        Shell("xdotool key " + keys);
    }

private:
    size_t VisibleWindows() const
    {
        const std::string list = Output("xdotool search --onlyvisible --pid " + std::to_string(m_pid));
        return list.empty() ? 0 : static_cast<size_t>(std::count(list.begin(), list.end(), '\n')) + 1;
    }

    pid_t m_pid = -1;
    std::string m_window;
};

TEST(ClipboardExchange, TwoRunningCopiesExchangeAWaveform)
{
    const std::string program = ZOP5_PROGRAM;
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    for (const char* tool : { "Xvfb", "xdotool", "import" })
        ASSERT_TRUE(Shell(std::string("command -v ") + tool)) << tool << " is needed";

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
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);

    RunningCopy first(program, { file });
    ASSERT_FALSE(first.Window().empty()) << "the first copy shows no window";
    RunningCopy second(program, {});
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

    first.EditMenu("Down Return"); // Cut is the first item, Copy the second
    // Paste is enabled once the second copy sees the block; retry while the
    // first copy is still placing it.
    const bool pasted = WaitFor(
        [&] {
            second.EditMenu("p");
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
