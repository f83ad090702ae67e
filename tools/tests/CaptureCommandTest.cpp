// zop5-tool capture, run as a user runs it, receiving from the simulator on a
// pseudo-terminal.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <regex>
#include <thread>
#include <unistd.h>

#include "tests/support/TestEnvironment.h"
#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

using Json = nlohmann::json;

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
    // `pace` "--full-speed", or "" for the pace of 9600 baud.
    std::unique_ptr<ChildProcess> StartSimulator(std::vector<std::string> extra = {}, std::string pace = "--full-speed")
    {
        std::vector<std::string> argv { ToolPath(), "simulate", "--pty", "--file", m_source, "--interval", "0.05",
            "--settle", "0.1", "--quiet", "--hold" };
        if (!pace.empty())
            argv.push_back(pace);
        argv.insert(argv.end(), extra.begin(), extra.end());
        auto simulator = std::make_unique<ChildProcess>(argv);
        const std::optional<std::string> path = simulator->ReadLine(10s);
        EXPECT_TRUE(path && path->starts_with("/dev/pts/")) << (path ? *path : "no path");
        m_device = path.value_or("");
        return simulator;
    }

    // The instrument's bytes for a waveform, as the simulator writes them.
    std::string InstrumentBytes(const WaveformText& waveform)
    {
        WriteBytes(m_source, WaveformFileBytes(waveform));
        const ChildResult sent = RunTool({ "simulate", "--device", "-", "--file", m_source, "--full-speed" });
        EXPECT_EQ(sent.ExitCode, 0) << sent.Err;
        return sent.Out;
    }
    static void Send(const PseudoTerminal& line, const std::string& bytes)
    {
        ASSERT_EQ(write(line.Master(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The first `lines` lines of the instrument's bytes.
    static std::string FirstLines(const std::string& bytes, int lines)
    {
        size_t end = 0;
        for (int line = 0; line < lines; ++line)
            end = bytes.find('\r', end) + 1;
        return bytes.substr(0, end);
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

TEST_F(Capture, ReconnectWaitsForTheDeviceAndGoesOnNumbering)
{
    const std::string link = m_dir.File("com1");
    const std::string folder = m_dir.File("captures");
    // The simulator sends without end: a transfer it sends while the port is
    // being reopened may be lost, as with the instrument.
    // Started before the instrument is there, the capture waits for it.
    ChildProcess capture({ ToolPath(), "capture", "--device", link, "--count", "4", "--reconnect", "--directory",
        folder, "--timeout", "60" });
    ASSERT_TRUE(capture.WaitForError("no such device (is the adapter plugged in?); waiting", 20s))
        << capture.Finish().Err;
    auto simulator = StartSimulator({ "--count", "0", "--link", link });
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(capture.ReadLine(20s)) << capture.Finish().Err;
    // The instrument goes away after two transfers and comes back on the
    // same link (another pseudo-terminal behind it).
    simulator->Signal(SIGTERM);
    EXPECT_FALSE(simulator->Finish(10s).TimedOut);
    ASSERT_TRUE(capture.WaitForError("went away after 2 of 4 transfers; waiting for it to come back", 20s))
        << capture.Finish().Err;
    simulator = StartSimulator({ "--count", "0", "--link", link });
    const ChildResult result = capture.Finish(60s);
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_NE(result.Err.find(link + " is back; listening on COM1 again"), std::string::npos) << result.Err;
    const std::vector<std::string> out = Lines(result.Out);
    ASSERT_EQ(out.size(), 2u) << result.Out;
    EXPECT_EQ(SplitTabs(out[1]).at(0), folder + "/zop5-0004.zop");
    EXPECT_EQ(FolderEntries(folder),
        (std::vector<std::string> { "zop5-0001.zop", "zop5-0002.zop", "zop5-0003.zop", "zop5-0004.zop" }));
    for (const std::string& name : FolderEntries(folder))
        EXPECT_EQ(WaveformBody(ReadBytes(folder + "/" + name)), WaveformBody(ReadBytes(m_source))) << name;
}

TEST_F(Capture, ATransferCutShortByTheDeviceGoingAwayIsDropped)
{
    WaveformText before;
    before.TimeLabel = "1ms/div";
    WaveformText after;
    after.TimeLabel = "0.2ms/div";
    after.Samples.fill(140);
    const std::string cut = InstrumentBytes(before);
    const std::string whole = InstrumentBytes(after);

    const std::string link = m_dir.File("com1");
    auto first = std::make_unique<PseudoTerminal>();
    fs::create_symlink(first->DevicePath(), link);
    ChildProcess capture(
        { ToolPath(), "capture", "--device", link, "--reconnect", "--directory", m_dir.Path(), "--timeout", "60" });
    ASSERT_TRUE(capture.WaitForError("listening on COM1", 20s)) << capture.Finish().Err;
    // The three header lines, then the line goes away.
    Send(*first, FirstLines(cut, 3));
    ASSERT_TRUE(capture.WaitForError("zero reference", 20s)) << capture.Finish().Err;
    first.reset();
    ASSERT_TRUE(capture.WaitForError("waiting for it to come back", 20s)) << capture.Finish().Err;
    PseudoTerminal second;
    fs::remove(link);
    fs::create_symlink(second.DevicePath(), link);
    ASSERT_TRUE(capture.WaitForError("is back", 20s)) << capture.Finish().Err;
    Send(second, whole);
    const ChildResult result = capture.Finish(30s);
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(WaveformBody(ReadBytes(m_dir.File("zop5-0001.zop"))), WaveformBody(WaveformFileBytes(after)));
}

TEST_F(Capture, ATransferCutInItsSamplesLendsNothingToTheNextOne)
{
    WaveformText cutOff;
    cutOff.TimeLabel = "1ms/div";
    cutOff.VoltsLabel = "2V/div";
    cutOff.ZeroRef = 30;
    cutOff.Samples.fill(60);
    WaveformText next;
    next.TimeLabel = "0.2ms/div";
    next.VoltsLabel = "0.2V/div";
    next.ZeroRef = 200;
    for (int i = 0; i < SampleCount; ++i)
        next.Samples[static_cast<size_t>(i)] = (i * 7 + 1) % 256;
    // Cut off in its samples, up to one short of the last: the next
    // transfer's headers arrive while its samples are being collected.
    for (const int cutAfter : { 3 + 40, 3 + 95 }) {
        const std::string cut = InstrumentBytes(cutOff);
        const std::string whole = InstrumentBytes(next);
        PseudoTerminal line;
        const std::string folder = m_dir.File("cut" + std::to_string(cutAfter));
        ChildProcess capture(
            { ToolPath(), "capture", "--device", line.DevicePath(), "--directory", folder, "--timeout", "30" });
        ASSERT_TRUE(capture.WaitForError("listening on COM1", 20s)) << capture.Finish().Err;
        Send(line, FirstLines(cut, cutAfter) + whole);
        const ChildResult result = capture.Finish(30s);
        ASSERT_EQ(result.ExitCode, 0) << result.Err;
        EXPECT_EQ(FolderEntries(folder), std::vector<std::string> { "zop5-0001.zop" });
        EXPECT_EQ(WaveformBody(ReadBytes(folder + "/zop5-0001.zop")), WaveformBody(WaveformFileBytes(next)))
            << "cut after " << cutAfter << " lines";
    }
}

TEST_F(Capture, AnInterruptDuringATransferLeavesOnlyWholeFiles)
{
    // At the line's own pace a transfer takes well over a second.
    const auto simulator = StartSimulator({ "--count", "0", "--interval", "0.1" }, "");
    const std::string folder = m_dir.File("captures");
    ChildProcess capture({ ToolPath(), "capture", "--device", m_device, "--count", "0", "--directory", folder });
    const std::optional<std::string> first = capture.ReadLine(30s);
    ASSERT_TRUE(first) << capture.Finish().Err;
    std::this_thread::sleep_for(600ms); // the next transfer is under way
    capture.Signal(SIGINT);
    const ChildResult result = capture.Finish(20s);
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_NE(result.Err.find("stopped by SIGINT after 1 transfer in "), std::string::npos) << result.Err;
    EXPECT_NE(result.Err.find("the transfer in progress was dropped"), std::string::npos) << result.Err;
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string> { "zop5-0001.zop" }) << "no partial file, no temporary";
    EXPECT_EQ(WaveformBody(ReadBytes(folder + "/zop5-0001.zop")), WaveformBody(ReadBytes(m_source)));

    // A capture with a count is cut short by the signal: a failure.
    ChildProcess counted({ ToolPath(), "capture", "--device", m_device, "--count", "5", "--directory", folder });
    ASSERT_TRUE(counted.WaitForError("listening on COM1", 20s)) << counted.Finish().Err;
    counted.Signal(SIGTERM);
    const ChildResult cut = counted.Finish(20s);
    EXPECT_EQ(cut.ExitCode, 1);
    EXPECT_NE(cut.Err.find("interrupted after 0 of 5 transfers"), std::string::npos) << cut.Err;
}

TEST_F(Capture, LogRowsAndJsonLinesCarryTheNumbersMeasureGives)
{
    // A waveform within the range, so every number is there.
    WaveformText unclipped;
    unclipped.VoltsLabel = "0.2V/div";
    unclipped.ZeroRef = 90;
    for (int i = 0; i < SampleCount; ++i)
        unclipped.Samples[static_cast<size_t>(i)] = 40 + (i * 37) % 150;
    WriteBytes(m_source, WaveformFileBytes(unclipped));
    const auto simulator = StartSimulator({ "--count", "2" });
    const std::string folder = m_dir.File("captures");
    const std::string log = m_dir.File("log.csv");
    const ChildResult result = RunTool({ "capture", "--device", m_device, "--count", "2", "--directory", folder,
        "--log", log, "--json", "--timeout", "30" });
    ASSERT_EQ(result.ExitCode, 0) << result.Err;

    const std::vector<std::string> rows = Lines(ReadBytes(log));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "time,file,time_div,volts_div,dc_volts,peak_to_peak_volts,rms_volts,db_value");
    const std::vector<std::string> json = Lines(result.Out);
    ASSERT_EQ(json.size(), 2u) << result.Out;
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const Json line = Json::parse(json[i]);
        const std::string file = line["file"].get<std::string>();
        const Json measured = Json::parse(RunTool({ "measure", "--json", file }).Out);
        for (const auto& item : measured.items()) {
            EXPECT_EQ(line.at(item.key()), item.value()) << item.key();
        }
        EXPECT_TRUE(std::regex_match(line["received"].get<std::string>(), iso)) << line["received"].get<std::string>();
        ASSERT_EQ(line["samples"].size(), size_t(SampleCount));
        const std::vector<std::string> body = WaveformBody(ReadBytes(file));
        for (int s = 0; s < SampleCount; ++s)
            EXPECT_EQ(
                std::to_string(static_cast<int>(line["samples"][size_t(s)].get<double>())), body.at(4 + size_t(s)));

        // The log's row: the same time, file, labels and numbers.
        const std::vector<std::string> cells = [&] {
            std::vector<std::string> split;
            size_t start = 0;
            for (size_t comma; (comma = rows[i + 1].find(',', start)) != std::string::npos; start = comma + 1)
                split.push_back(rows[i + 1].substr(start, comma - start));
            split.push_back(rows[i + 1].substr(start));
            return split;
        }();
        ASSERT_EQ(cells.size(), 8u) << rows[i + 1];
        EXPECT_FALSE(measured["dc_volts"].is_null());
        EXPECT_EQ(cells[0], line["received"].get<std::string>());
        EXPECT_EQ(cells[1], file);
        EXPECT_EQ(cells[2], measured["time_div"].get<std::string>());
        EXPECT_EQ(cells[3], measured["volts_div"].get<std::string>());
        const char* numbers[] = { "dc_volts", "peak_to_peak_volts", "rms_volts", "db_value" };
        for (size_t n = 0; n < 4; ++n) {
            if (measured[numbers[n]].is_null())
                EXPECT_EQ(cells[4 + n], "") << numbers[n];
            else
                EXPECT_EQ(std::stod(cells[4 + n]), measured[numbers[n]].get<double>()) << numbers[n];
        }
    }

    // A later capture continues the log under its one header; "-" writes
    // it to standard output instead of the measurement lines.
    const auto again = StartSimulator({ "--count", "1" });
    const ChildResult more
        = RunTool({ "capture", "--device", m_device, "--directory", folder, "--log", log, "--timeout", "30" });
    ASSERT_EQ(more.ExitCode, 0) << more.Err;
    EXPECT_EQ(Lines(ReadBytes(log)).size(), 4u);
    const auto third = StartSimulator({ "--count", "1" });
    const ChildResult toOut
        = RunTool({ "capture", "--device", m_device, "--directory", folder, "--log", "-", "--timeout", "30" });
    ASSERT_EQ(toOut.ExitCode, 0) << toOut.Err;
    const std::vector<std::string> outRows = Lines(toOut.Out);
    ASSERT_EQ(outRows.size(), 2u) << toOut.Out;
    EXPECT_EQ(outRows[0], rows[0]);
    EXPECT_NE(outRows[1].find(folder + "/zop5-0004.zop"), std::string::npos) << outRows[1];
}

TEST_F(Capture, RotateKeepsTheNewestFilesAndLeavesOthersAlone)
{
    const auto simulator = StartSimulator({ "--count", "0" });
    const std::string folder = m_dir.File("captures");
    fs::create_directories(folder);
    WriteBytes(folder + "/notes.txt", "mine");
    WriteBytes(folder + "/zop5-best.zop", "mine");
    const ChildResult result = RunTool({ "capture", "--device", m_device, "--count", "12", "--rotate", "5",
        "--directory", folder, "--timeout", "60" });
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(FolderEntries(folder),
        (std::vector<std::string> { "notes.txt", "zop5-0008.zop", "zop5-0009.zop", "zop5-0010.zop", "zop5-0011.zop",
            "zop5-0012.zop", "zop5-best.zop" }));
}

TEST_F(Capture, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>> {
             { "capture", "--port", "COM5" },
             { "capture", "--port", "LPT1" },
             { "capture", "--port", "COM1", "--device", "/dev/null" },
             { "capture", "--output", "a.zop", "--count", "2" },
             { "capture", "--output", "a.zop", "--directory", "." },
             { "capture", "--count", "-1" },
             { "capture", "--rotate", "0" },
             { "capture", "--output", "a.zop", "--rotate", "3" },
             { "capture", "--json", "--log", "-" },
             { "capture", "--log", "" },
             { "capture", "--timeout", "-1" },
             { "capture", "--timeout", "soon" },
             { "capture", "stray" },
         }) {
        const ChildResult result = RunTool(args);
        EXPECT_EQ(result.ExitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(result.Err, "");
    }
    EXPECT_EQ(RunTool({ "capture", "--help" }).ExitCode, 0);

    // An output that is not a waveform file is refused before anything is
    // received, and the waveform file of the same name stays as it was.
    const std::string existing = m_dir.File("x.zop");
    WriteBytes(existing, "precious");
    for (const char* name : { "x.txt", "x", "x.zop.txt", "x.zo" }) {
        const ChildResult result
            = RunTool({ "capture", "--device", "/dev/null", "--timeout", "1", "--output", m_dir.File(name) });
        EXPECT_EQ(result.ExitCode, 2) << name;
        EXPECT_NE(result.Err.find("--output must name a waveform file (.zop)"), std::string::npos) << result.Err;
        EXPECT_EQ(ReadBytes(existing), "precious") << name;
    }
}

} // namespace
} // namespace zop::test
