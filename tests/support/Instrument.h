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
    // Also maps COM`comNumber` (ZOP5_COMn) to the terminal while the
    // instrument lives; afterwards that port has no device.
    explicit Instrument(int comNumber);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Maps COM`comNumber` to `path` (empty: no device).
    static void Map(int comNumber, const std::string& path);

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
    int m_comNumber = 0; // the port mapped to it, 0 for none
};

} // namespace zop::test
