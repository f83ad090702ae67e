#include "tools/SimulatorOutput.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace zop {

namespace {

constexpr std::chrono::milliseconds PauseStep { 10 };

[[noreturn]] void ThrowErrno(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

speed_t SpeedOf(int baud)
{
    switch (baud) {
    case 300:
        return B300;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

// Raw bytes, 8 data bits, no parity, one stop bit, no flow control of our own.
void SetRawLine(int fd, int baud, const std::string& path)
{
    termios settings {};
    if (tcgetattr(fd, &settings) != 0)
        ThrowErrno("cannot read the line settings of " + path);
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    cfsetispeed(&settings, SpeedOf(baud));
    cfsetospeed(&settings, SpeedOf(baud));
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        ThrowErrno("cannot set the line settings of " + path);
}

void SetNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        ThrowErrno("cannot make the output non-blocking");
}

// Reads what the reader sent; XOFF pauses, XON resumes, the last one counts.
void UpdateFlow(int flowFd, bool& paused)
{
    if (flowFd < 0)
        return;
    char input[256];
    for (;;) {
        const ssize_t count = read(flowFd, input, sizeof input);
        if (count <= 0)
            return; // nothing waiting, or no reader (a hang-up is not our failure)
        for (ssize_t i = 0; i < count; ++i) {
            if (input[i] == XoffByte)
                paused = true;
            else if (input[i] == XonByte)
                paused = false;
        }
    }
}

// Writes at least one byte of `bytes`, waiting while the reader's queue is full.
size_t WriteSome(int fd, std::string_view bytes, const std::function<bool()>& stop)
{
    for (;;) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written > 0)
            return static_cast<size_t>(written);
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            ThrowErrno("cannot write to the serial line");
        if (stop())
            return 0;
        pollfd wait { fd, POLLOUT, 0 };
        poll(&wait, 1, 100);
    }
}

} // namespace

SimulatorOutput::SimulatorOutput(int fd, int flowFd, std::string path, bool pseudoTerminal, bool owned)
    : m_fd(fd)
    , m_flowFd(flowFd)
    , m_path(std::move(path))
    , m_pseudoTerminal(pseudoTerminal)
    , m_owned(owned)
{
}

SimulatorOutput::SimulatorOutput(SimulatorOutput&& other) noexcept
    : m_fd(other.m_fd)
    , m_flowFd(other.m_flowFd)
    , m_path(std::move(other.m_path))
    , m_pseudoTerminal(other.m_pseudoTerminal)
    , m_owned(other.m_owned)
{
    other.m_fd = -1;
    other.m_owned = false;
}

SimulatorOutput::~SimulatorOutput()
{
    if (m_owned && m_fd >= 0)
        close(m_fd);
}

SimulatorOutput SimulatorOutput::CreatePseudoTerminal(int baud)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        ThrowErrno("cannot create a pseudo-terminal");
    SimulatorOutput output(master, master, {}, true, true);
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0)
        ThrowErrno("cannot prepare the pseudo-terminal");
    output.m_path = name;
    // Open the other end once to make it raw: no echo, no line editing, no
    // translation of carriage returns. The setting stays with the terminal.
    const int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0)
        ThrowErrno(std::string("cannot open ") + name);
    try {
        SetRawLine(slave, baud, name);
    } catch (...) {
        close(slave);
        throw;
    }
    close(slave);
    SetNonBlocking(master);
    return output;
}

SimulatorOutput SimulatorOutput::OpenDevice(const std::string& path, int baud)
{
    if (path == "-")
        return SimulatorOutput(STDOUT_FILENO, -1, path, false, false);
    // Only what exists: a missing device must not turn into a new file.
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT)
        fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        ThrowErrno("cannot open " + path);
    const bool terminal = isatty(fd) == 1;
    SimulatorOutput output(fd, terminal ? fd : -1, path, false, true);
    if (terminal)
        SetRawLine(fd, baud, path);
    return output;
}

bool SimulatorOutput::ReaderPresent() const
{
    if (!m_pseudoTerminal)
        return true;
    pollfd state { m_fd, 0, 0 };
    if (poll(&state, 1, 0) < 0)
        return false;
    return (state.revents & POLLHUP) == 0;
}

void SimulatorOutput::WaitUntilTaken(std::chrono::milliseconds limit) const
{
    if (!m_pseudoTerminal)
        return;
    const auto end = std::chrono::steady_clock::now() + limit;
    // Looking at the reader's queue needs a descriptor of its end; opening it
    // takes nothing away from the reader.
    const int peer = open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (peer < 0) {
        std::this_thread::sleep_until(end); // held exclusively: give it time
        return;
    }
    // Written bytes reach the reader's queue a moment later, so an empty
    // queue counts only when it stays empty for a while.
    constexpr auto Quiet = std::chrono::milliseconds(100);
    auto emptySince = std::chrono::steady_clock::now();
    int waiting = 0;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end || ioctl(peer, FIONREAD, &waiting) != 0)
            break;
        if (waiting > 0)
            emptySince = now;
        else if (now - emptySince >= Quiet)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    close(peer);
}

std::chrono::nanoseconds BytePeriod(int baud)
{
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

std::chrono::steady_clock::time_point SystemPaceClock::Now()
{
    return std::chrono::steady_clock::now();
}

void SystemPaceClock::SleepUntil(std::chrono::steady_clock::time_point when)
{
    std::this_thread::sleep_until(when);
}

size_t SendBytes(int fd, int flowFd, std::string_view bytes, std::chrono::nanoseconds bytePeriod, PaceClock& clock,
    const std::function<bool()>& stop)
{
    bool paused = false;
    size_t sent = 0;
    auto start = clock.Now();
    size_t paceBase = 0; // the byte that is due at `start`
    while (sent < bytes.size()) {
        if (stop())
            return sent;
        UpdateFlow(flowFd, paused);
        if (paused) {
            clock.SleepUntil(clock.Now() + PauseStep);
            UpdateFlow(flowFd, paused);
            if (!paused) {
                start = clock.Now();
                paceBase = sent;
            }
            continue;
        }
        std::string_view chunk = bytes.substr(sent);
        if (bytePeriod.count() > 0) {
            clock.SleepUntil(start + bytePeriod * static_cast<int64_t>(sent - paceBase));
            chunk = chunk.substr(0, 1);
        }
        sent += WriteSome(fd, chunk, stop);
    }
    return sent;
}

} // namespace zop
