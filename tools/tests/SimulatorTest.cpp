#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "document/WaveformFile.h"
#include "link/TransferState.h"
#include "tests/support/TestEnvironment.h"
#include "tools/SimulatorOutput.h"

namespace zop {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Time moves only when the sender sleeps; every sleep is recorded.
class FakeClock : public PaceClock {
public:
    Clock::time_point Now() override { return m_now; }
    void SleepUntil(Clock::time_point when) override
    {
        Sleeps.push_back(when - Start);
        if (when > m_now)
            m_now = when;
        if (OnSleep)
            OnSleep();
    }
    const Clock::time_point Start = Clock::time_point(1h);
    std::vector<Clock::duration> Sleeps;
    std::function<void()> OnSleep;

private:
    Clock::time_point m_now = Start;
};

struct Pipe {
    Pipe()
    {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_NONBLOCK), 0);
        Read = fds[0];
        Write = fds[1];
    }
    ~Pipe()
    {
        close(Read);
        close(Write);
    }
    std::string Drain() const
    {
        std::string text;
        char buffer[4096];
        ssize_t count;
        while ((count = read(Read, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(count));
        return text;
    }
    int Read;
    int Write;
};

const std::function<bool()> Never = [] { return false; };

TEST(SimulatorPace, EachByteLeavesAtItsOwnTimeOnTheLine)
{
    EXPECT_EQ(BytePeriod(9600), 1041666ns); // 10 bits per byte
    EXPECT_EQ(BytePeriod(115200), 86805ns);

    Pipe line;
    FakeClock clock;
    EXPECT_EQ(SendBytes(line.Write, -1, "abcd", BytePeriod(9600), clock, Never), 4u);
    EXPECT_EQ(line.Drain(), "abcd");
    ASSERT_EQ(clock.Sleeps.size(), 4u);
    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ(clock.Sleeps[k], BytePeriod(9600) * static_cast<int>(k));

    FakeClock fast;
    EXPECT_EQ(SendBytes(line.Write, -1, std::string(5000, 'x'), 0ns, fast, Never), 5000u);
    EXPECT_TRUE(fast.Sleeps.empty());
    EXPECT_EQ(line.Drain().size(), 5000u);
}

TEST(SimulatorPace, XoffPausesUntilXonAndThePaceStartsAfresh)
{
    Pipe line;
    Pipe flow;
    FakeClock clock;
    // The reader asks for a pause while the second byte is due, and lets
    // the sender go on after three 10 ms pause steps.
    clock.OnSleep = [&] {
        if (clock.Sleeps.size() == 2) {
            ASSERT_EQ(write(flow.Write, "\x13", 1), 1);
        }
        if (clock.Sleeps.size() == 5) {
            ASSERT_EQ(write(flow.Write, "\x11", 1), 1);
        }
    };
    EXPECT_EQ(SendBytes(line.Write, flow.Read, "abcd", 1ms, clock, Never), 4u);
    EXPECT_EQ(line.Drain(), "abcd");
    const std::vector<Clock::duration> expected = { 0ms, 1ms, 11ms, 21ms, 31ms, 31ms, 32ms };
    EXPECT_EQ(clock.Sleeps, expected);
}

TEST(SimulatorPace, AStopEndsTheTransferEarly)
{
    Pipe line;
    FakeClock clock;
    int left = 3;
    EXPECT_EQ(SendBytes(line.Write, -1, "abcdef", 1ms, clock, [&] { return left-- <= 0; }), 3u);
    EXPECT_EQ(line.Drain(), "abc");
}

// The real zop5-tool, built beside this test's folder.
std::string Tool()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "zop5-tool").string();
}

int ExitCode(const std::string& command)
{
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads from `fd` until `lines` carriage returns have arrived (or 10 s pass).
std::string ReadTransfer(int fd, int lines)
{
    std::string bytes;
    const auto deadline = Clock::now() + 10s;
    while (std::count(bytes.begin(), bytes.end(), '\r') < lines && Clock::now() < deadline) {
        pollfd wait { fd, POLLIN, 0 };
        if (poll(&wait, 1, 100) > 0) {
            char buffer[512];
            const ssize_t count = read(fd, buffer, sizeof buffer);
            if (count > 0)
                bytes.append(buffer, static_cast<size_t>(count));
        }
    }
    return bytes;
}

TransferState Receive(const std::string& bytes)
{
    TransferState state;
    state.DataTriggerHandle = 2;
    for (const char c : bytes) {
        state.ReceiveByte(static_cast<uint8_t>(c));
        if (c == '\r')
            state.HandleLineEnd(2, 1);
    }
    return state;
}

TEST(SimulateCommand, SendsATransferOnAPseudoTerminalItCreates)
{
    test::TempDir dir;
    const std::string link = dir.File("com1");
    const std::string command = Tool() + " simulate --pty --link " + link
        + " --full-speed --settle 0 --quiet --signal square --frequency 50"
          " --amplitude 2 --time-base 0.5s/div --form B --line-end crlf";
    FILE* tool = popen(command.c_str(), "r");
    ASSERT_NE(tool, nullptr);
    char path[256] = {};
    ASSERT_NE(std::fgets(path, sizeof path, tool), nullptr);
    std::string slave = path;
    slave.pop_back(); // the line end
    EXPECT_EQ(std::filesystem::read_symlink(link), slave);

    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const std::string bytes = ReadTransfer(fd, 99);
    close(fd);
    EXPECT_EQ(pclose(tool), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))); // removed at exit

    EXPECT_EQ(bytes.substr(0, 12), "50ms/Sample\r"); // form B, CR LF
    EXPECT_EQ(bytes.substr(12, 1), "\n");
    const TransferState received = Receive(bytes);
    EXPECT_TRUE(received.AllFlagsSet());
    EXPECT_EQ(received.PendingTimeIndex, 17);
    EXPECT_EQ(received.PendingVoltIndex, 8); // 8 V full scale holds +-2 V, 3.2 V does not
    EXPECT_EQ(received.PendingZeroRef, 127);
}

TEST(SimulateCommand, WritesToAnExistingDevice)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    const std::string command = Tool() + " simulate --device " + slave
        + " --full-speed --quiet --time-base 3 --range 5 --zero-ref 42 --count 2 --interval 0";
    ASSERT_EQ(ExitCode(command), 0);
    const std::string bytes = ReadTransfer(master, 198);
    close(master);
    EXPECT_EQ(bytes.substr(0, 13), "  1us/Sample\r");
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 198);
    EXPECT_EQ(bytes.find('\n'), std::string::npos);
    const TransferState received = Receive(bytes);
    EXPECT_EQ(received.PendingTimeIndex, 3);
    EXPECT_EQ(received.PendingVoltIndex, 5);
    EXPECT_EQ(received.PendingZeroRef, 42);
}

TEST(SimulateCommand, SendsTheWaveformOfAFile)
{
    test::TempDir dir;
    WaveformFileContents contents;
    contents.TimeLabel = "0.2ms/div";
    contents.VoltsLabel = "10V/div"; // x10 column: row 8
    contents.ZeroRef = 60;
    for (int i = 0; i < SampleCount; ++i)
        contents.Samples[static_cast<size_t>(i)] = (i * 37) % 256;
    const std::string path = dir.File("saved.ZOP");
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const std::string bytes = FormatWaveformFile(contents);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    ASSERT_EQ(ExitCode(Tool() + " simulate --full-speed --quiet --device " + slave + " --file " + path), 0);
    const TransferState received = Receive(ReadTransfer(master, 99));
    close(master);
    EXPECT_TRUE(received.AllFlagsSet());
    EXPECT_EQ(received.PendingTimeIndex, 7);
    EXPECT_EQ(received.PendingVoltIndex, 8);
    EXPECT_EQ(received.PendingZeroRef, 60);
    EXPECT_EQ(received.PendingSamples, contents.Samples);

    EXPECT_EQ(ExitCode(Tool() + " simulate --full-speed --device - --file " + dir.File("missing.zop")), 1);
    EXPECT_EQ(ExitCode(Tool() + " simulate --file " + path + " --signal noise"), 2);
}

TEST(SimulateCommand, HelpUsageAndFailures)
{
    FILE* help = popen((Tool() + " simulate --help").c_str(), "r");
    ASSERT_NE(help, nullptr);
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, help))
        text += buffer;
    EXPECT_EQ(pclose(help), 0);
    for (const char* option : { "--pty", "--link", "--device", "--signal", "--frequency", "--amplitude", "--offset",
             "--time-base", "--range", "--form", "--line-end", "--baud", "--full-speed", "--count", "--interval" })
        EXPECT_NE(text.find(option), std::string::npos) << option;

    EXPECT_EQ(ExitCode(Tool() + " --help"), 0);
    EXPECT_EQ(ExitCode(Tool()), 2);
    EXPECT_EQ(ExitCode(Tool() + " nonsense"), 2);
    EXPECT_EQ(ExitCode(Tool() + " simulate --signal sawtooth"), 2);
    EXPECT_EQ(ExitCode(Tool() + " simulate --frequency 0"), 2);
    EXPECT_EQ(ExitCode(Tool() + " simulate --range 13"), 2);
    EXPECT_EQ(ExitCode(Tool() + " simulate --device /dev/null --link /tmp/x"), 2);
    EXPECT_EQ(ExitCode(Tool() + " simulate --bogus"), 2);

    // A missing device is a failure, never a new file.
    test::TempDir dir;
    EXPECT_EQ(ExitCode(Tool() + " simulate --device " + dir.File("ttyUSB9") + " --full-speed"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("ttyUSB9")));
    // An existing file at the link path is left alone.
    FILE* existing = std::fopen(dir.File("taken").c_str(), "w");
    std::fclose(existing);
    EXPECT_EQ(ExitCode(Tool() + " simulate --link " + dir.File("taken")), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("taken")));
}

} // namespace
} // namespace zop
