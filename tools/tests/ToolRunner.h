#pragma once
// What the tool's tests share: waveform files written byte by byte as the
// window saves them, and the built zop5-tool run as a subprocess.
#include <array>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestEnvironment.h" // ReadBytes, WriteBytes
#include "waveform/WaveformRecord.h"

namespace zop::test {

struct WaveformText {
    std::string Description = "bench supply";
    std::string Date = "07/12/2026";
    std::string Time = "10:15:00";
    std::string TimeLabel = "1ms/div"; // Windows-1252 bytes
    std::string VoltsLabel = "0.1V/div";
    int ZeroRef = 127;
    SampleArray Samples {};
};

// The 104 CR LF lines of a waveform file.
std::string WaveformFileBytes(const WaveformText& waveform);

// Runs the built zop5-tool with `args`, COM1..COM4 mapped to "no device"
// unless `options` maps them.
ChildResult RunTool(const std::vector<std::string>& args, ChildOptions options = {});
std::string ToolPath();

// A pseudo-terminal pair; the other end's path stands for a serial device.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    const std::string& DevicePath() const { return m_path; }
    int Master() const { return m_master; }

private:
    int m_master = -1;
    std::string m_path;
};

// The fields of one line, split at tabs.
std::vector<std::string> SplitTabs(const std::string& line);
std::vector<std::string> Lines(const std::string& text);

} // namespace zop::test
