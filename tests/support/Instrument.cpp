#include "tests/support/Instrument.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace zop::test {

Instrument::Instrument()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const char* name = ptsname(m_master);
    if (!name)
        throw std::runtime_error("no pseudo-terminal name");
    m_path = name;
}

Instrument::Instrument(int comNumber)
    : Instrument()
{
    Map(comNumber, m_path);
    m_comNumber = comNumber;
}

Instrument::~Instrument()
{
    if (m_comNumber != 0)
        Map(m_comNumber, "");
    Vanish();
}

void Instrument::Map(int comNumber, const std::string& path)
{
    setenv(("ZOP5_COM" + std::to_string(comNumber)).c_str(), path.c_str(), 1);
}

bool Instrument::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (m_master < 0)
            return false;
        const ssize_t written = write(m_master, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN) {
            pollfd p { m_master, POLLOUT, 0 };
            poll(&p, 1, 100);
            continue;
        }
        return false;
    }
    return true;
}

void Instrument::Vanish()
{
    if (m_master >= 0)
        close(m_master);
    m_master = -1;
}

} // namespace zop::test
