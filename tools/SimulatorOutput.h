#pragma once
// Where the instrument simulator writes, and how fast: a pseudo-terminal it
// creates (the program opens the other end as its serial port) or a serial
// device given by path, fed at the serial line's own pace or at full speed.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zop {

class SimulatorOutput {
public:
    // A new pseudo-terminal whose other end is set to raw 8N1 at `baud`
    // (the setting only tells the reader; a pseudo-terminal does not pace).
    static SimulatorOutput CreatePseudoTerminal(int baud);
    // An existing device or file by path; a terminal is set to raw 8N1 at `baud`.
    // "-" is standard output. Throws std::system_error.
    static SimulatorOutput OpenDevice(const std::string& path, int baud);

    SimulatorOutput(SimulatorOutput&& other) noexcept;
    SimulatorOutput& operator=(SimulatorOutput&&) = delete;
    SimulatorOutput(const SimulatorOutput&) = delete;
    ~SimulatorOutput();

    int WriteFd() const { return m_fd; }
    // The descriptor the reader's XON/XOFF bytes arrive on, or -1.
    int FlowFd() const { return m_flowFd; }
    // The path the reader opens: the pseudo-terminal's other end, or the device.
    const std::string& Path() const { return m_path; }
    bool IsPseudoTerminal() const { return m_pseudoTerminal; }
    // A pseudo-terminal reports a hang-up while nobody has its other end open.
    bool ReaderPresent() const;
    // Closing a pseudo-terminal discards what its reader has not read yet:
    // waits until the reader has taken every byte, or `limit` has passed.
    void WaitUntilTaken(std::chrono::milliseconds limit) const;

private:
    SimulatorOutput(int fd, int flowFd, std::string path, bool pseudoTerminal, bool owned);

    int m_fd;
    int m_flowFd;
    std::string m_path;
    bool m_pseudoTerminal;
    bool m_owned;
};

// The time a byte takes on the line: a start bit, 8 data bits, a stop bit.
std::chrono::nanoseconds BytePeriod(int baud);

class PaceClock {
public:
    virtual ~PaceClock() = default;
    virtual std::chrono::steady_clock::time_point Now() = 0;
    virtual void SleepUntil(std::chrono::steady_clock::time_point when) = 0;
};

class SystemPaceClock : public PaceClock {
public:
    std::chrono::steady_clock::time_point Now() override;
    void SleepUntil(std::chrono::steady_clock::time_point when) override;
};

constexpr char XonByte = 0x11;
constexpr char XoffByte = 0x13;

// Writes `bytes` to `fd`, byte k at start + k * bytePeriod (a zero period
// writes as fast as the reader takes them). While the reader has sent XOFF
// on `flowFd` (-1: none) nothing is written until its XON; the pace then
// starts afresh. Returns the number of bytes written, fewer when `stop`
// answered true. Throws std::system_error when the write fails.
size_t SendBytes(int fd, int flowFd, std::string_view bytes, std::chrono::nanoseconds bytePeriod, PaceClock& clock,
    const std::function<bool()>& stop);

} // namespace zop
