#pragma once
// The instrument's end of a pseudo-terminal: the program opens the terminal
// side as its serial port, the test writes the instrument's bytes into the
// master side and can make the instrument vanish by closing it.
#include <string>
#include <string_view>

namespace zop::test {

class Instrument {
public:
    Instrument();
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // The device path the program opens ("/dev/pts/N").
    const std::string& DevicePath() const { return m_path; }
    // Writes every byte, waiting while the terminal's buffer is full; false
    // once the instrument has vanished or the program's side is gone.
    bool Send(std::string_view bytes);
    // Closes the master side: the program's port sees the device vanish.
    void Vanish();
    bool Present() const { return m_master >= 0; }
    int MasterDescriptor() const { return m_master; }

private:
    int m_master = -1;
    std::string m_path;
};

// The calling process's figures the soak and flood tests watch.
struct ProcessFigures {
    long ResidentBytes = 0;
    long HeapBytes = 0; // bytes the allocator has handed out
    int Threads = 0;
    int Descriptors = 0;
};
ProcessFigures CurrentFigures();

// True when the program runs under a sanitizer, whose allocator keeps freed
// memory aside: memory figures then say nothing.
bool UnderSanitizer();

// Long runs skip themselves unless ZOP5_SOAK=1 is set.
bool SoakRunsEnabled();

} // namespace zop::test
