#include "comm/tests/PtyPair.h"

#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace zop::test {

PtyPair::PtyPair()
{
    int slave = -1;
    char name[256] = {};
    if (openpty(&m_master, &slave, name, nullptr, nullptr) < 0)
        throw std::runtime_error("openpty failed");
    m_slavePath = name;
    // Raw on the master side too, so that test bytes pass unchanged.
    termios tio {};
    tcgetattr(m_master, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_master, TCSANOW, &tio);
    // The slave stays reachable by its path while the master is open.
    close(slave);
}

PtyPair::~PtyPair()
{
    CloseMaster();
    if (m_mapped)
        setenv(("ZOP5_COM" + std::to_string(m_mapped)).c_str(), "", 1);
}

void PtyPair::MapAs(int comNumber)
{
    m_mapped = comNumber;
    setenv(("ZOP5_COM" + std::to_string(comNumber)).c_str(), m_slavePath.c_str(), 1);
}

void PtyPair::Send(const std::string& bytes) const
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw std::runtime_error("write to the pseudo-terminal failed");
        done += static_cast<std::size_t>(n);
    }
}

std::string PtyPair::Receive(std::size_t count, int timeoutMs) const
{
    std::string out;
    while (out.size() < count) {
        pollfd p { m_master, POLLIN, 0 };
        if (poll(&p, 1, timeoutMs) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = read(m_master, buffer, std::min(sizeof buffer, count - out.size()));
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

void PtyPair::CloseMaster()
{
    if (m_master >= 0)
        close(m_master);
    m_master = -1;
}

int OpenDescriptorCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

} // namespace zop::test
