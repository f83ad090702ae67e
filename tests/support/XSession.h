#pragma once
// Tests that drive running copies of the window program on an X server of
// their own (Xvfb), with xdotool and ImageMagick's import.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zop::test {

// Starts a program found on PATH (or by path), with this process's
// environment and the "NAME=value" entries given; -1 when it cannot start.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment = {});
// SIGTERM, then SIGKILL after five seconds; reaps the process.
void StopProcess(pid_t pid);
// Runs a shell command; its standard output without trailing blanks.
std::string Output(const std::string& command);
// Runs a shell command quietly; true when it succeeded.
bool Shell(const std::string& command);

// Polls `ready` every 100 ms until it holds or `limit` passes.
template <class Predicate> bool WaitFor(Predicate ready, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// Whether Xvfb, xdotool and import are installed.
bool XToolsPresent();

// An X server of the test's own; its display number comes back on a pipe.
class XServer {
public:
    // `screen` is the size and depth of its screen.
    explicit XServer(const std::string& screen = "1280x1024x24");
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    // ":N", or empty when the server did not start.
    const std::string& Display() const { return m_display; }
    // Points this process (and the programs it starts) at the server, with
    // Qt's X11 platform.
    void Use() const;

private:
    pid_t m_pid = -1;
    std::string m_display;
};

struct Screenshot {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb;
};

// The window's picture, through a PPM file at `path`.
std::optional<Screenshot> Capture(const std::string& window, const std::string& path);
// The window's picture once it has stopped changing: two captures 200 ms
// apart are alike (a window still painting, or still loading what it shows,
// is waited for up to `limit`); nullopt when it cannot be captured.
std::optional<Screenshot> CaptureSettled(
    const std::string& window, const std::string& path, std::chrono::milliseconds limit = std::chrono::seconds(5));
// The share of differing pixels from row `firstRow` down, leaving out the
// last 40 rows (the status lines, whose first panel shows menu hints). 1 when
// the sizes differ.
double Difference(const Screenshot& a, const Screenshot& b, int firstRow = 0);
// The first row of the trace picture in a captured main window (below the
// menu bar, the tool bar and the three fields).
constexpr int TracePictureTop = 80;

// A program started on the X server, with its first visible window. Its COM1
// is a pseudo-terminal of its own, so the window program finds a port (an
// instrument that sends nothing) and starts without a message.
class RunningCopy {
public:
    explicit RunningCopy(const std::vector<std::string>& args);
    ~RunningCopy();
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;

    pid_t Pid() const { return m_pid; }
    // Empty when no window showed within 20 seconds.
    const std::string& Window() const { return m_window; }
    std::string Caption() const;
    bool WaitForCaption(const std::string& caption) const;
    // How many windows of the program are visible (menus and dialogs count).
    size_t VisibleWindows() const;

private:
    std::string m_linePath;
    int m_line;
    pid_t m_pid;
    std::string m_window;
};

} // namespace zop::test
