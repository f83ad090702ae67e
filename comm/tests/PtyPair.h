#pragma once
// A pseudo-terminal for tests: the test holds the master side, the code under
// test opens the slave side by its path (optionally as COMn through
// ZOP5_COMn).
#include <string>

namespace zop::test {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }
    // Maps ZOP5_COMn to this terminal for the life of the object.
    void MapAs(int comNumber);

    void Send(const std::string& bytes) const;
    // Reads what the device side wrote, waiting up to timeoutMs for `count` bytes.
    std::string Receive(std::size_t count, int timeoutMs = 2000) const;
    void CloseMaster();

private:
    int m_master = -1;
    std::string m_slavePath;
    int m_mapped = 0;
};

// Open file descriptors of this process.
int OpenDescriptorCount();

} // namespace zop::test
