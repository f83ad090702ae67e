// zop5-tool capture, run as a user runs it, receiving from the simulator on a
// pseudo-terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "tests/support/TestEnvironment.h"
#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Lines 5..104 of a waveform file: labels, zero reference, the empty line
// and the samples; everything but the description, date and time.
std::vector<std::string> WaveformBody(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        lines.push_back(bytes.substr(start, end - start));
        start = end == std::string::npos ? bytes.size() : end + 2;
    }
    EXPECT_EQ(lines.size(), 104u);
    return std::vector<std::string>(lines.begin() + std::min<size_t>(4, lines.size()), lines.end());
}

std::vector<std::string> FileLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        lines.push_back(bytes.substr(start, end - start));
        start = end == std::string::npos ? bytes.size() : end + 2;
    }
    return lines;
}

class Capture : public testing::Test {
protected:
    Capture()
    {
        WaveformText source;
        source.TimeLabel = "0.2ms/div";
        source.VoltsLabel = "0.2V/div";
        source.ZeroRef = 90;
        for (int i = 0; i < SampleCount; ++i)
            source.Samples[static_cast<size_t>(i)] = (i * 37 + 11) % 256;
        source.Samples[3] = 0; // the instrument's off-scale markers pass too
        source.Samples[4] = 255;
        m_source = m_dir.File("source.zop");
        WriteBytes(m_source, WaveformFileBytes(source));
    }

    // The simulator on a pseudo-terminal of its own, sending the source file.
    // It holds its end open after the last transfer (a closed end takes the
    // bytes not yet read with it) until the test ends it.
    std::unique_ptr<ChildProcess> StartSimulator(std::vector<std::string> extra = {})
    {
        std::vector<std::string> argv { ToolPath(), "simulate", "--pty", "--file", m_source, "--full-speed",
            "--interval", "0.05", "--settle", "0.1", "--quiet", "--hold" };
        argv.insert(argv.end(), extra.begin(), extra.end());
        auto simulator = std::make_unique<ChildProcess>(argv);
        const std::optional<std::string> path = simulator->ReadLine(10s);
        EXPECT_TRUE(path && path->starts_with("/dev/pts/")) << (path ? *path : "no path");
        m_device = path.value_or("");
        return simulator;
    }

    TempDir m_dir;
    std::string m_source;
    std::string m_device;
};

TEST_F(Capture, TransfersBecomeFilesIdenticalInSamplesAndLabels)
{
    const auto simulator = StartSimulator({ "--count", "2" });
    const std::string folder = m_dir.File("captures");
    const ChildResult result = RunTool({ "capture", "--device", m_device, "--count", "2", "--directory", folder,
        "--description", "bench \xC2\xB5 supply", "--timeout", "30" });
    ASSERT_EQ(result.ExitCode, 0) << result.Err;

    const std::string sourceBytes = ReadBytes(m_source);
    for (const char* name : { "zop5-0001.zop", "zop5-0002.zop" }) {
        const std::string path = folder + "/" + name;
        ASSERT_TRUE(fs::exists(path)) << name;
        const std::string bytes = ReadBytes(path);
        EXPECT_EQ(WaveformBody(bytes), WaveformBody(sourceBytes)) << name;
        const std::vector<std::string> lines = FileLines(bytes);
        EXPECT_EQ(lines.at(0), "Zop5 V1.0");
        EXPECT_EQ(lines.at(1), "bench \xB5 supply") << "the description, in the file's code page";
        EXPECT_FALSE(lines.at(2).empty()) << "date of reception";
        EXPECT_FALSE(lines.at(3).empty()) << "time of reception";
    }
    // One measurement line per file, named by the file.
    const std::vector<std::string> out = Lines(result.Out);
    ASSERT_EQ(out.size(), 2u) << result.Out;
    EXPECT_EQ(SplitTabs(out[0]).at(0), folder + "/zop5-0001.zop");
    EXPECT_EQ(SplitTabs(out[0]).at(1), "0.2ms/div");
    EXPECT_EQ(SplitTabs(out[0]).at(3), "...Vdc") << "the off-scale markers came through";
    // Progress on standard error.
    for (const char* step :
        { "listening on COM1", "time base 0.2ms/div", "range 0.2V/div", "zero reference 90", "samples 96/96" })
        EXPECT_NE(result.Err.find(step), std::string::npos) << step << " in\n" << result.Err;
}

TEST_F(Capture, OtherLineFormAndExistingFilesInTheDirectoryAreKept)
{
    const auto simulator = StartSimulator({ "--form", "B", "--line-end", "crlf" });
    const std::string folder = m_dir.Path();
    WriteBytes(folder + "/zop5-0001.zop", "kept");
    const ChildResult result = RunTool({ "capture", "--device", m_device, "--directory", folder, "--timeout", "30" });
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(ReadBytes(folder + "/zop5-0001.zop"), "kept");
    EXPECT_EQ(WaveformBody(ReadBytes(folder + "/zop5-0002.zop")), WaveformBody(ReadBytes(m_source)));
}

TEST_F(Capture, OutputFileAndTheWindowsPortChoice)
{
    const auto simulator = StartSimulator();
    const std::string out = m_dir.File("one.zop");
    WriteBytes(out, "old contents");
    // No port named: the first that opens, as the window chooses.
    ChildOptions options;
    options.Environment["ZOP5_COM3"] = m_device;
    const ChildResult result = RunTool({ "capture", "--output", out, "--timeout", "30" }, options);
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_NE(result.Err.find("listening on COM3 (" + m_device + ")"), std::string::npos) << result.Err;
    EXPECT_EQ(WaveformBody(ReadBytes(out)), WaveformBody(ReadBytes(m_source)));
}

TEST_F(Capture, SilenceTimesOutAndPortsThatDoNotOpenFail)
{
    PseudoTerminal silent;
    const ChildResult quiet
        = RunTool({ "capture", "--device", silent.DevicePath(), "--timeout", "0.3", "--directory", m_dir.Path() });
    EXPECT_EQ(quiet.ExitCode, 1);
    EXPECT_NE(quiet.Err.find("timed out after 0 of 1 transfers"), std::string::npos) << quiet.Err;
    EXPECT_FALSE(fs::exists(m_dir.File("zop5-0001.zop")));

    const ChildResult missing = RunTool({ "capture", "--device", m_dir.File("no-such-tty"), "--timeout", "5" });
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_NE(missing.Err.find("Unable to open Com1!"), std::string::npos) << missing.Err;
    EXPECT_NE(missing.Err.find("no such device"), std::string::npos) << missing.Err;

    const ChildResult unmapped = RunTool({ "capture", "--port", "com2", "--timeout", "5" });
    EXPECT_EQ(unmapped.ExitCode, 1);
    EXPECT_NE(unmapped.Err.find("Unable to open Com2!"), std::string::npos) << unmapped.Err;
    EXPECT_NE(unmapped.Err.find("no device"), std::string::npos) << unmapped.Err;

    const ChildResult none = RunTool({ "capture", "--timeout", "5" });
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_NE(none.Err.find("No free communication port available!"), std::string::npos) << none.Err;
}

TEST_F(Capture, DeviceThatGoesAwayIsAPortFailure)
{
    const auto simulator = StartSimulator({ "--count", "1" });
    ChildProcess capture({ ToolPath(), "capture", "--device", m_device, "--count", "2", "--directory", m_dir.Path(),
        "--timeout", "30" });
    // The first transfer arrives; then the simulator ends and takes its
    // pseudo-terminal with it.
    const std::optional<std::string> first = capture.ReadLine(20s);
    ASSERT_TRUE(first) << capture.Finish().Err;
    EXPECT_EQ(SplitTabs(*first).at(0), m_dir.File("zop5-0001.zop"));
    simulator->Signal(SIGTERM);
    EXPECT_EQ(simulator->Finish(10s).TimedOut, false);
    const ChildResult result = capture.Finish(20s);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_NE(result.Err.find("went away after 1 of 2 transfers"), std::string::npos) << result.Err;
}

TEST_F(Capture, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>> {
             { "capture", "--port", "COM5" },
             { "capture", "--port", "LPT1" },
             { "capture", "--port", "COM1", "--device", "/dev/null" },
             { "capture", "--output", "a.zop", "--count", "2" },
             { "capture", "--output", "a.zop", "--directory", "." },
             { "capture", "--count", "0" },
             { "capture", "--timeout", "-1" },
             { "capture", "--timeout", "soon" },
             { "capture", "stray" },
         }) {
        const ChildResult result = RunTool(args);
        EXPECT_EQ(result.ExitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(result.Err, "");
    }
    EXPECT_EQ(RunTool({ "capture", "--help" }).ExitCode, 0);
}

} // namespace
} // namespace zop::test
