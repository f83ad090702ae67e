#include "tools/tests/ToolRunner.h"

#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace zop::test {

std::string WaveformFileBytes(const WaveformText& waveform)
{
    std::string bytes = "Zop5 V1.0\r\n" + waveform.Description + "\r\n" + waveform.Date + "\r\n" + waveform.Time
        + "\r\n" + waveform.TimeLabel + "\r\n" + waveform.VoltsLabel + "\r\n" + std::to_string(waveform.ZeroRef)
        + "\r\n\r\n";
    for (int32_t sample : waveform.Samples)
        bytes += std::to_string(sample) + "\r\n";
    return bytes;
}

std::string ToolPath()
{
    return ZOP5_TOOL_PATH;
}

ChildResult RunTool(const std::vector<std::string>& args, ChildOptions options)
{
    for (int n = 1; n <= 4; ++n)
        options.Environment.try_emplace("ZOP5_COM" + std::to_string(n), "");
    std::vector<std::string> argv { ToolPath() };
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, options);
}

PseudoTerminal::PseudoTerminal()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    m_path = ptsname(m_master);
}

PseudoTerminal::~PseudoTerminal()
{
    close(m_master);
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace zop::test
