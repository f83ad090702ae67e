#pragma once
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace zop::test {

// A pseudo-terminal pair: the port opens the slave by its path, the test
// writes the instrument's side into the master.
class PtyDevice {
public:
    PtyDevice()
    {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        m_path = name;
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyDevice()
    {
        CloseMaster();
        close(m_slave);
    }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;
    const std::string& Path() const { return m_path; }
    int Master() const { return m_master; }
    // The instrument's side goes away (an unplugged adapter).
    void CloseMaster()
    {
        if (m_master >= 0)
            close(m_master);
        m_master = -1;
    }
    // Writes all bytes (false when the terminal would not take them).
    bool Write(const std::string& bytes) const
    {
        std::size_t done = 0;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (done < bytes.size() && std::chrono::steady_clock::now() < limit) {
            const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                std::this_thread::yield();
        }
        return done == bytes.size();
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

} // namespace zop::test
