#include "tests/support/XSession.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zop::test {

using namespace std::chrono_literals;

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : extraEnvironment)
        envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::any_of(extraEnvironment.begin(), extraEnvironment.end(), [&](const std::string& x) {
            return entry.substr(0, entry.find('=') + 1) == std::string_view(x).substr(0, x.find('=') + 1);
        });
        if (!replaced)
            envp.push_back(*e);
    }
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    return pid;
}

void StopProcess(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
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

bool XToolsPresent()
{
    return Shell("command -v Xvfb") && Shell("command -v xdotool") && Shell("command -v import");
}

XServer::XServer(const std::string& screen)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    m_pid = Spawn(
        { "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp", "-noreset" });
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

XServer::~XServer()
{
    StopProcess(m_pid);
}

void XServer::Use() const
{
    setenv("DISPLAY", m_display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
}

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

std::optional<Screenshot> CaptureSettled(
    const std::string& window, const std::string& path, std::chrono::milliseconds limit)
{
    std::optional<Screenshot> last = Capture(window, path);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (last && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(200ms);
        std::optional<Screenshot> next = Capture(window, path);
        if (!next)
            return std::nullopt;
        const bool settled = next->Width == last->Width && next->Height == last->Height && next->Rgb == last->Rgb;
        last = std::move(next);
        if (settled)
            break;
    }
    return last;
}

double Difference(const Screenshot& a, const Screenshot& b, int firstRow)
{
    if (a.Width != b.Width || a.Height != b.Height)
        return 1.0;
    const int first = std::clamp(firstRow, 0, a.Height);
    const int rows = std::max(a.Height - 40, first) - first;
    if (rows == 0 || a.Width == 0)
        return 0.0;
    int differing = 0;
    for (int y = first; y < first + rows; ++y)
        for (int x = 0; x < a.Width; ++x) {
            const size_t i = static_cast<size_t>((y * a.Width + x) * 3);
            differing += a.Rgb[i] != b.Rgb[i] || a.Rgb[i + 1] != b.Rgb[i + 1] || a.Rgb[i + 2] != b.Rgb[i + 2];
        }
    return static_cast<double>(differing) / (rows * a.Width);
}

namespace {

// A pseudo-terminal whose other end stands in for an attached instrument
// that sends nothing; -1 when none could be made.
int OpenInstrumentLine(std::string& devicePath)
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return -1;
    close(slave);
    devicePath = name;
    return master;
}

} // namespace

RunningCopy::RunningCopy(const std::vector<std::string>& args)
    : m_line(OpenInstrumentLine(m_linePath))
    , m_pid(Spawn(args, { "ZOP5_COM1=" + m_linePath }))
{
    WaitFor(
        [&] {
            m_window = Output("xdotool search --onlyvisible --pid " + std::to_string(m_pid) + " | head -1");
            return !m_window.empty();
        },
        20s);
}

RunningCopy::~RunningCopy()
{
    StopProcess(m_pid);
    if (m_line >= 0)
        close(m_line);
}

std::string RunningCopy::Caption() const
{
    return Output("xdotool getwindowname " + m_window);
}

bool RunningCopy::WaitForCaption(const std::string& caption) const
{
    return WaitFor([&] { return Caption() == caption; }, 10s);
}

size_t RunningCopy::VisibleWindows() const
{
    const std::string list = Output("xdotool search --onlyvisible --pid " + std::to_string(m_pid));
    return list.empty() ? 0 : static_cast<size_t>(std::count(list.begin(), list.end(), '\n')) + 1;
}

} // namespace zop::test
