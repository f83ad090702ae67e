// The termios layer on pseudo-terminals, through the port layer and on its
// own; the null layer; where port names lead.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <fstream>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "comm/DevicePath.h"
#include "comm/ErrorCodes.h"
#include "comm/IniFile.h"
#include "comm/PortLayer.h"
#include "comm/PortTable.h"
#include "comm/PosixLayer.h"
#include "comm/SyncEvent.h"
#include "comm/tests/PtyPair.h"
#include "tests/support/TestEnvironment.h"

namespace zop {
namespace {

using test::PtyPair;

class TermiosPort : public ::testing::Test {
protected:
    void SetUp() override { InstallPosixLayer(); }
    void TearDown() override
    {
        for (PortHandle port : m_open)
            ClosePort(port);
        InstallNullLayer();
    }
    std::int32_t Open(const char* name, PortHandle& port, std::int32_t baud = 9600)
    {
        const std::int32_t result = OpenPort(&port, 4, name, baud, 0, 8, 1, 4096, 4096);
        if (result == 0)
            m_open.push_back(port);
        return result;
    }
    // Waits until the port's dispatcher has moved `count` bytes into the ring
    // (it is the ring's only writer).
    void ReceiveInto(PortHandle port, int count)
    {
        for (int tries = 0; tries < 5000 && InBuffUsed(port) < count; ++tries)
            usleep(1000);
    }
    std::vector<PortHandle> m_open;
};

TEST_F(TermiosPort, OpensAComPortMappedToAPseudoTerminalAndReceives)
{
    PtyPair pty;
    pty.MapAs(1);
    PortHandle port = 0;
    ASSERT_EQ(Open("\\\\.\\COM1", port), 0);
    std::int32_t baud = 0;
    std::int16_t parity = -1, dataBits = 0, stopBits = 0;
    EXPECT_EQ(GetLine(port, &baud, &parity, &dataBits, &stopBits), 0);
    EXPECT_EQ(baud, 9600);
    EXPECT_EQ(parity, 0);
    EXPECT_EQ(dataBits, 8);
    EXPECT_EQ(stopBits, 1);

    pty.Send(std::string("Range(254)= 0.8V\r\n\x00\xFF", 20));
    ReceiveInto(port, 20);
    ASSERT_EQ(InBuffUsed(port), 20);
    std::string got;
    std::uint8_t byte = 0;
    while (GetChar(port, &byte) == 0)
        got += static_cast<char>(byte);
    EXPECT_EQ(got, std::string("Range(254)= 0.8V\r\n\x00\xFF", 20)) << "raw mode: no translation of CR, LF or NUL";
}

TEST_F(TermiosPort, LineSettingsReachTheTerminal)
{
    PtyPair pty;
    PortHandle port = 0;
    ASSERT_EQ(Open(pty.SlavePath().c_str(), port), 0);
    std::int32_t baud = 0;
    std::int16_t parity = 0, dataBits = 0, stopBits = 0;
    EXPECT_EQ(SetLine(port, 115200, LeaveParity, LeaveDataBits, LeaveStopBits), 0);
    EXPECT_EQ(GetLine(port, &baud, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(baud, 115200);
    EXPECT_EQ(SetLine(port, LeaveBaud, 0, 8, 2), 0);
    EXPECT_EQ(GetLine(port, &baud, &parity, &dataBits, &stopBits), 0);
    EXPECT_EQ(parity, 0);
    EXPECT_EQ(dataBits, 8);
    EXPECT_EQ(stopBits, 2);
    // The terminal itself carries the settings.
    termios tio {};
    ASSERT_EQ(tcgetattr(LookupPort(port)->Device.load(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
    // A pseudo-terminal always carries eight bits without parity: asking for
    // anything else is refused, not reported as done.
    EXPECT_EQ(SetLine(port, LeaveBaud, 2, 7, 1), ErrNotSupported);
    EXPECT_EQ(GetLine(port, &baud, &parity, &dataBits, &stopBits), 0);
    EXPECT_EQ(parity, 0);
    EXPECT_EQ(dataBits, 8);
    EXPECT_EQ(stopBits, 2);
    // Rates and sizes the terminal interface does not have are refused.
    EXPECT_EQ(SetLine(port, 14400, LeaveParity, LeaveDataBits, LeaveStopBits), ErrNotSupported);
    EXPECT_EQ(SetLine(port, LeaveBaud, LeaveParity, 4, LeaveStopBits), ErrNotSupported);
    EXPECT_EQ(GetLine(port, &baud, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(baud, 115200);
}

TEST_F(TermiosPort, FlowControlReachesTheTerminal)
{
    PtyPair pty;
    PortHandle port = 0;
    ASSERT_EQ(Open(pty.SlavePath().c_str(), port), 0);
    const int fd = LookupPort(port)->Device.load();
    termios tio {};
    EXPECT_EQ(SetSWFlow(port, 3686, 409, SwFlowReceive), 0);
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_TRUE(tio.c_iflag & IXOFF);
    EXPECT_FALSE(tio.c_iflag & IXON);
    EXPECT_EQ(tio.c_cc[VSTART], 0x11);
    EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
    EXPECT_EQ(SetHWFlow(port, 3686, 409, HwFlowUseRts | HwFlowRequireCts), 0);
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    EXPECT_EQ(ClearHWFlow(port), 0);
    EXPECT_EQ(ClearSWFlow(port), 0);
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
}

TEST_F(TermiosPort, TheOutputRingTakesExactlyItsFreeRoom)
{
    PtyPair pty;
    PortHandle port = 0;
    ASSERT_EQ(OpenPort(&port, 4, pty.SlavePath().c_str(), 9600, 0, 8, 1, 4096, 64), 0);
    m_open.push_back(port);
    PortRecord& record = *LookupPort(port);
    // Output suspended as by a received XOFF: nothing leaves the ring.
    record.Procs.EscapeFunction(record.Device, EscSetXoff);
    const std::string bytes(64, 'w');
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    EXPECT_EQ(PutBlock(port, data, 60), 60);
    EXPECT_EQ(OutBuffUsed(port), 60);
    EXPECT_EQ(OutBuffFree(port), 4);
    EXPECT_EQ(PutBlock(port, data, 5), ErrBadArgument) << "more than the free room is refused, not overwritten";
    EXPECT_EQ(PutBlock(port, data, 4), 4);
    EXPECT_TRUE(record.OutRing.Full());
    EXPECT_EQ(OutBuffUsed(port), 64);
    EXPECT_EQ(OutBuffFree(port), 0);
    EXPECT_EQ(PutBlock(port, data, 1), ErrBadArgument);
    // Purging the output empties the ring; purging the input leaves it alone.
    EXPECT_EQ(FlushPort(port, FlushOutput), 0);
    EXPECT_EQ(OutBuffUsed(port), 0);
    EXPECT_EQ(PutBlock(port, data, 10), 10);
    EXPECT_EQ(FlushPort(port, FlushInput), 0);
    EXPECT_EQ(OutBuffUsed(port), 10);
    EXPECT_EQ(FlushPort(port, FlushOutput), 0);
    record.Procs.EscapeFunction(record.Device, EscSetXon);
}

TEST_F(TermiosPort, APortWhoseDeviceVanishedIdlesAndStillCloses)
{
    auto pty = std::make_unique<PtyPair>();
    PortHandle port = 0;
    ASSERT_EQ(OpenPort(&port, 4, pty->SlavePath().c_str(), 9600, 0, 8, 1, 4096, 4096), 0);
    pty->Send("last");
    ReceiveInto(port, 4);
    EXPECT_FALSE(PortDeviceLost(port));
    pty.reset(); // the other end goes away
    rusage before {};
    getrusage(RUSAGE_SELF, &before);
    usleep(200000);
    rusage after {};
    getrusage(RUSAGE_SELF, &after);
    const auto cpuMs = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000.0 + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000.0;
    };
    EXPECT_LT(cpuMs(after) - cpuMs(before), 100.0) << "nothing spins on the vanished device";
    EXPECT_EQ(InBuffUsed(port), 4) << "what arrived before stays readable";
    for (int i = 0; i < 500 && !PortDeviceLost(port); ++i)
        usleep(10000);
    EXPECT_TRUE(PortDeviceLost(port)) << "the port tells its device is gone";
    EXPECT_EQ(ClosePort(port), 0);
    EXPECT_FALSE(PortDeviceLost(port));
}

TEST_F(TermiosPort, APortOverAHandleOpenedElsewhereReceivesAndReleasesIt)
{
    PtyPair pty;
    const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios raw {};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    PortHandle port = 0;
    ASSERT_EQ(OpenPortOnHandle(&port, 4, "", 9600, 0, 8, 1, 4096, 4096, fd), 0);
    EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK) << "reads through the layer never wait";
    pty.Send("on handle");
    ReceiveInto(port, 9);
    EXPECT_EQ(InBuffUsed(port), 9);
    EXPECT_EQ(ClosePort(port), 0);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "releasing the port closes the handle";
}

TEST_F(TermiosPort, PseudoTerminalsHaveNoModemLinesAndDoNotFail)
{
    PtyPair pty;
    PortHandle port = 0;
    ASSERT_EQ(Open(pty.SlavePath().c_str(), port), 0);
    EXPECT_EQ(GetModemStatus(port, 0xFF), 0);
    EXPECT_EQ(SetDTR(port, false), 0);
    EXPECT_EQ(SetRTS(port, true), 0);
    EXPECT_EQ(GetLineError(port), 0);
    EXPECT_EQ(CheckLineBreak(port), 0);
}

TEST_F(TermiosPort, MissingDevicesGiveFileNotFound)
{
    PortHandle port = 0;
    EXPECT_EQ(Open("\\\\.\\COM2", port), -2) << "a port mapped to nothing";
    EXPECT_EQ(Open("/dev/zop5-no-such-device", port), -2);
    EXPECT_EQ(Open("/nonexistent-folder/tty", port), -2);
    const std::string notATerminal = test::ConfigHome() + "/plain-file";
    std::ofstream(notATerminal) << "x";
    EXPECT_EQ(Open(notATerminal.c_str(), port), -2) << "a file that is not a terminal is no serial device";
    for (int slot = 1; slot <= MaxPorts; ++slot)
        EXPECT_EQ(Ports().InUse[slot].load(), 0u);
}

TEST_F(TermiosPort, APortHeldElsewhereIsAccessDenied)
{
    PtyPair pty;
    PortHandle first = 0;
    PortHandle second = 0;
    ASSERT_EQ(Open(pty.SlavePath().c_str(), first), 0);
    EXPECT_EQ(Open(pty.SlavePath().c_str(), second), -5);
    // Another program holding the device (here: our own descriptor with a lock).
    PtyPair other;
    const int holder = open(other.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Open(other.SlavePath().c_str(), second), -5);
    close(holder);
    EXPECT_EQ(Open(other.SlavePath().c_str(), second), 0);
    // Closing releases the device at once.
    EXPECT_EQ(ClosePort(first), 0);
    m_open.erase(m_open.begin());
    EXPECT_EQ(Open(pty.SlavePath().c_str(), first), 0);
}

TEST_F(TermiosPort, ClosingGivesTheTerminalBackToOthers)
{
    // The far end of this terminal stays open throughout, as a modem server's
    // or a simulator's does, so the terminal outlives our use of it.
    PtyPair pty;
    const int farEnd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(farEnd, 0);
    int exclusive = -1;
    PortHandle port = 0;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(Open(pty.SlavePath().c_str(), port), 0) << round;
        ASSERT_EQ(ioctl(farEnd, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1) << "other programs are kept out while the port is ours";
        ASSERT_EQ(ClosePort(port), 0);
        m_open.clear();
        ASSERT_EQ(ioctl(farEnd, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << "without admin rights nobody could open it again";
    }
    close(farEnd);
}

TEST_F(TermiosPort, ThousandOpenCloseCyclesLeakNoDescriptors)
{
    PtyPair pty;
    pty.MapAs(3);
    PortHandle port = 0;
    ASSERT_EQ(OpenPort(&port, 4, "COM3", 9600, 0, 8, 1, 4096, 4096), 0);
    ASSERT_EQ(ClosePort(port), 0);
    const int before = test::OpenDescriptorCount();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_EQ(OpenPort(&port, 4, "COM3", 9600, 0, 8, 1, 4096, 4096), 0) << cycle;
        ASSERT_EQ(port, 1);
        ASSERT_EQ(ClosePort(port), 0);
        PortHandle missing = 0;
        ASSERT_EQ(OpenPort(&missing, 4, "COM4", 9600, 0, 8, 1, 4096, 4096), -2);
    }
    EXPECT_EQ(test::OpenDescriptorCount(), before);
}

TEST_F(TermiosPort, FiftyTerminalsFillTheTable)
{
    std::vector<std::unique_ptr<PtyPair>> ptys;
    for (int i = 0; i < MaxPorts + 1; ++i)
        ptys.push_back(std::make_unique<PtyPair>());
    for (int i = 0; i < MaxPorts; ++i) {
        PortHandle port = 0;
        ASSERT_EQ(Open(ptys[i]->SlavePath().c_str(), port), 0);
        EXPECT_EQ(port, i + 1);
    }
    PortHandle port = 0;
    EXPECT_EQ(Open(ptys[MaxPorts]->SlavePath().c_str(), port), ErrNoHandles);
    // The refused open did not touch the device: it can still be opened elsewhere.
    const int fd = open(ptys[MaxPorts]->SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

class TermiosDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_device = m_procs.OpenDevice(m_pty.SlavePath().c_str(), 4096, 4096);
        ASSERT_GE(m_device, 0);
    }
    void TearDown() override
    {
        if (m_device >= 0)
            m_procs.CloseDevice(m_device);
    }
    PtyPair m_pty;
    DeviceProcs m_procs = PosixDeviceProcs();
    DeviceWaitProcs m_wait = PosixWaitProcs();
    DeviceHandle m_device = -1;
};

TEST_F(TermiosDevice, FailedOpensLeaveTheSystemErrorForTheCaller)
{
    SetLastDeviceError(0);
    EXPECT_EQ(m_procs.OpenDevice("/dev/zop5-missing", 10, 10), -1);
    EXPECT_EQ(LastDeviceError(), 2);
    EXPECT_EQ(m_procs.OpenDevice(m_pty.SlavePath().c_str(), 10, 10), -1) << "held by this test's device";
    EXPECT_EQ(LastDeviceError(), 5);
}

TEST_F(TermiosDevice, ReadsReturnAtOnceWithWhatIsThere)
{
    std::uint8_t buffer[64] = {};
    EXPECT_EQ(m_procs.ReadDevice(m_device, buffer, sizeof buffer), 0);
    m_pty.Send("abc");
    std::uint32_t event = 0;
    m_procs.SetEventMask(m_device, EvRxChar);
    ASSERT_EQ(m_wait.WaitDeviceEvent(m_device, &event), 0);
    EXPECT_EQ(event, EvRxChar);
    EXPECT_EQ(m_procs.ReadDevice(m_device, buffer, sizeof buffer), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
    EXPECT_EQ(m_procs.ReadDevice(-7, buffer, 1), ErrDeviceNotOpen);
}

TEST_F(TermiosDevice, ChangingTheMaskEndsAWait)
{
    m_procs.SetEventMask(m_device, DeviceEventMask);
    std::atomic<std::int32_t> result { 99 };
    std::uint32_t event = 1234;
    std::thread waiter([&] { result = m_wait.WaitDeviceEvent(m_device, &event); });
    usleep(20000);
    EXPECT_EQ(result.load(), 99) << "nothing happened on the line yet";
    m_procs.SetEventMask(m_device, 0);
    waiter.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(event, 0u);
}

TEST_F(TermiosDevice, AVanishedDeviceIsReportedNotSpunOn)
{
    m_procs.SetEventMask(m_device, DeviceEventMask);
    m_pty.CloseMaster();
    std::uint32_t event = 0;
    EXPECT_LT(m_wait.WaitDeviceEvent(m_device, &event), 0);
    std::uint8_t buffer[8];
    EXPECT_EQ(m_procs.ReadDevice(m_device, buffer, sizeof buffer), 0);
    EXPECT_LT(m_wait.WaitDeviceEvent(m_device, &event), 0) << "the second wait fails at once too";
}

TEST_F(TermiosDevice, ClosingEndsAWaitInAnotherThread)
{
    m_procs.SetEventMask(m_device, DeviceEventMask);
    std::atomic<std::int32_t> result { 99 };
    std::uint32_t event = 0;
    std::thread waiter([&] { result = m_wait.WaitDeviceEvent(m_device, &event); });
    usleep(20000);
    EXPECT_EQ(m_procs.CloseDevice(m_device), 0);
    waiter.join();
    EXPECT_LT(result.load(), 0);
    EXPECT_EQ(m_procs.CloseDevice(m_device), -1) << "the handle is no longer known";
    m_device = -1;
}

TEST_F(TermiosDevice, TheWaitForReceivedBytesSeesBytesItsWakeSignalAndAVanishedEnd)
{
    // The event thread meanwhile waits without the received-byte event: the
    // bytes are the dispatcher's to see, and must not end that wait.
    m_procs.SetEventMask(m_device, DeviceEventMask & ~EvRxChar);
    std::atomic<std::int32_t> eventResult { 99 };
    std::uint32_t event = 1234;
    std::thread eventThread([&] { eventResult = m_wait.WaitDeviceEvent(m_device, &event); });

    struct Case {
        const char* Name;
        std::string Arrives;
        bool Signalled;
        std::int32_t Expected;
    };
    const Case cases[] = {
        { "nothing: the time-out", "", false, 0 },
        { "bytes", "ab", false, ReceivedBytesWait },
        { "the wake signal", "", true, WakeSignalled },
        { "both", "c", true, ReceivedBytesWait | WakeSignalled },
    };
    SyncEvent wake;
    ASSERT_TRUE(wake.Create(EventReset::Auto));
    std::uint8_t buffer[16];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!c.Arrives.empty())
            m_pty.Send(c.Arrives);
        if (c.Signalled)
            wake.Set();
        EXPECT_EQ(m_wait.WaitReceived(m_device, &wake, c.Arrives.empty() ? 30 : 2000), c.Expected);
        EXPECT_EQ(wake.IsSet(), c.Signalled) << "the signal is left for the caller";
        wake.Reset();
        if (!c.Arrives.empty()) {
            usleep(10000);
            EXPECT_EQ(m_procs.ReadDevice(m_device, buffer, sizeof buffer), static_cast<std::int32_t>(c.Arrives.size()));
        }
    }
    EXPECT_EQ(eventResult.load(), 99) << "received bytes did not end the event wait";

    m_pty.CloseMaster();
    EXPECT_LT(m_wait.WaitReceived(m_device, &wake, 2000), 0);
    EXPECT_LT(m_wait.WaitReceived(m_device, &wake, 2000), 0) << "the second wait fails at once too";
    eventThread.join();
    EXPECT_LT(eventResult.load(), 0) << "the event thread learns that the device has gone";
    EXPECT_LT(m_wait.WaitReceived(-7, &wake, 0), 0);
}

TEST(TermiosDeviceClose, TheTerminalIsFreeAtOnceThoughAnotherThreadIsStillInsideACall)
{
    PtyPair pty;
    // The far end stays open, so the terminal outlives each use of it.
    const int farEnd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(farEnd, 0);
    const DeviceProcs procs = PosixDeviceProcs();
    const DeviceWaitProcs wait = PosixWaitProcs();
    const DeviceHandle first = procs.OpenDevice(pty.SlavePath().c_str(), 4096, 4096);
    ASSERT_GE(first, 0);
    // Output held back, as by a received XOFF: the next write waits inside
    // the layer.
    ASSERT_EQ(procs.EscapeFunction(first, EscSetXoff), 0);
    const std::vector<std::uint8_t> block(1, 'x');
    std::atomic<std::int32_t> written { 99 };
    std::thread writer([&] { written = wait.WriteOutput(first, block.data(), 1, nullptr, 400); });
    usleep(50000);
    EXPECT_EQ(written.load(), 99) << "the writer waits for room";

    EXPECT_EQ(procs.CloseDevice(first), 0);
    const DeviceHandle second = procs.OpenDevice(pty.SlavePath().c_str(), 4096, 4096);
    EXPECT_GE(second, 0) << "a closed device is free to be opened again at once";
    writer.join();
    EXPECT_LE(written.load(), 0);
    int exclusive = -1;
    ASSERT_EQ(ioctl(farEnd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, second >= 0 ? 1 : 0) << "the late end of the first use leaves the second one's mode alone";
    if (second >= 0) {
        const std::uint8_t byte = 'y';
        EXPECT_EQ(wait.WriteOutput(second, &byte, 1, nullptr, 0), 1) << "the output held back by the first use goes on";
        EXPECT_EQ(procs.CloseDevice(second), 0);
    }
    close(farEnd);
}

TEST_F(TermiosDevice, WritesArriveInOrderAndCanBeCancelled)
{
    const std::string text = "Tracelet\r";
    EXPECT_EQ(m_wait.WriteOutput(m_device, reinterpret_cast<const std::uint8_t*>(text.data()),
                  static_cast<std::int32_t>(text.size()), nullptr, 1000),
        static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(m_pty.Receive(text.size()), text);
    SyncEvent cancel;
    ASSERT_TRUE(cancel.Create(EventReset::Auto));
    cancel.Set();
    EXPECT_EQ(m_wait.WriteOutput(m_device, reinterpret_cast<const std::uint8_t*>("x"), 1, &cancel, 1000), 0);
    EXPECT_TRUE(cancel.IsSet()) << "the cancel signal is left for the writer";
    EXPECT_EQ(m_procs.TransmitChar(m_device, 'Z'), 0);
    EXPECT_EQ(m_pty.Receive(1), "Z");
}

TEST_F(TermiosDevice, PurgeDropsWaitingInput)
{
    m_pty.Send("stale");
    usleep(10000);
    EXPECT_EQ(m_procs.FlushDevice(m_device, FlushInput), 0);
    std::uint8_t buffer[16];
    EXPECT_EQ(m_procs.ReadDevice(m_device, buffer, sizeof buffer), 0);
    EXPECT_EQ(m_procs.FlushDevice(-5, FlushInput), 6);
}

TEST_F(TermiosDevice, OperationsNeedOnlyTheDevice)
{
    DeviceStatus status;
    m_pty.Send("abc");
    usleep(10000);
    EXPECT_EQ(m_procs.GetDeviceError(m_device, &status), 0);
    EXPECT_EQ(status.InQueue, 3u);
    EXPECT_EQ(status.OutQueue, 0u) << "the output ring is the port's";
    EXPECT_EQ(m_procs.GetDeviceError(-5, &status), ErrDeviceNotOpen);
    EXPECT_EQ(m_procs.WriteDevice(m_device, reinterpret_cast<const std::uint8_t*>("a"), 1), 1);
    EXPECT_EQ(m_pty.Receive(1), "a");
    EXPECT_EQ(m_procs.WriteDevice(-5, reinterpret_cast<const std::uint8_t*>("a"), 1), ErrDeviceNotOpen);
    EXPECT_EQ(m_procs.UngetChar(m_device, 'a'), ErrNotSupported);
    EXPECT_TRUE(m_procs.SetupDevice(m_device, 100, 100));
    EXPECT_FALSE(m_procs.SetupDevice(-3, 100, 100));
}

TEST(TermiosSettings, RecordAndTerminalSettingsCarryTheSameLine)
{
    struct Case {
        std::uint8_t Parity;
        tcflag_t Flags;
    };
    const Case cases[]
        = { { 0, 0 }, { 1, PARENB | PARODD }, { 2, PARENB }, { 3, PARENB | PARODD | CMSPAR }, { 4, PARENB | CMSPAR } };
    for (const Case& c : cases) {
        DeviceSettings s;
        s.BaudRate = 19200;
        s.ByteSize = 7;
        s.Parity = c.Parity;
        s.StopBits = TwoStopBits;
        s.Flags = DcbBinary | DcbOutX | DcbInX | DcbOutxCtsFlow | DcbRtsControlHandshake;
        s.XonChar = 'q';
        s.XoffChar = 's';
        s.XonLim = 99;
        termios tio {};
        ASSERT_TRUE(SettingsToTermios(s, tio));
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.Flags) << int(c.Parity);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
        EXPECT_TRUE(tio.c_cflag & CSTOPB);
        EXPECT_TRUE(tio.c_cflag & CRTSCTS);
        EXPECT_TRUE(tio.c_iflag & IXON);
        EXPECT_TRUE(tio.c_iflag & IXOFF);
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
        EXPECT_FALSE(tio.c_oflag & OPOST);
        const DeviceSettings back = SettingsFromTermios(tio, s);
        EXPECT_EQ(back.BaudRate, 19200u);
        EXPECT_EQ(back.Parity, c.Parity);
        EXPECT_EQ(back.ByteSize, 7);
        EXPECT_EQ(back.StopBits, TwoStopBits);
        EXPECT_EQ(back.Flags, s.Flags);
        EXPECT_EQ(back.XonChar, 'q');
        EXPECT_EQ(back.XonLim, 99) << "what termios cannot hold comes from the shadow";
    }
    // Out of reach of termios: unknown rates, sizes, one and a half stop bits
    // beyond five data bits.
    DeviceSettings bad;
    bad.BaudRate = 14400;
    bad.ByteSize = 8;
    termios tio {};
    EXPECT_FALSE(SettingsToTermios(bad, tio));
    bad.BaudRate = 9600;
    bad.ByteSize = 4;
    EXPECT_FALSE(SettingsToTermios(bad, tio));
    bad.ByteSize = 8;
    bad.StopBits = One5StopBits;
    EXPECT_FALSE(SettingsToTermios(bad, tio));
    bad.ByteSize = 5;
    EXPECT_TRUE(SettingsToTermios(bad, tio));
    EXPECT_EQ(SettingsFromTermios(tio, bad).StopBits, One5StopBits);
}

TEST(TermiosSettings, BuildDCBParsesModeStrings)
{
    const DeviceProcs procs = PosixDeviceProcs();
    DeviceSettings s;
    ASSERT_EQ(procs.BuildDCB("COM1: 9600,n,8,1", &s), 0);
    EXPECT_EQ(s.BaudRate, 9600u);
    EXPECT_EQ(s.Parity, 0);
    EXPECT_EQ(s.ByteSize, 8);
    EXPECT_EQ(s.StopBits, OneStopBit);
    ASSERT_EQ(procs.BuildDCB("115200,M,7,2", &s), 0);
    EXPECT_EQ(s.Parity, 3);
    EXPECT_EQ(s.StopBits, TwoStopBits);
    EXPECT_EQ(procs.BuildDCB("9600,x", &s), -1);
    EXPECT_EQ(procs.BuildDCB("fast", &s), -1);
    EXPECT_EQ(procs.BuildDCB("9600,n,9", &s), -1);
    EXPECT_EQ(s.BaudRate, 115200u) << "a refused definition leaves the record alone";
    // A rate is digits only; signs and numbers past 32 bits never wrap round
    // to a rate the text did not give.
    EXPECT_EQ(procs.BuildDCB("-4294957696", &s), -1);
    EXPECT_EQ(procs.BuildDCB("4294976896,n,8,1", &s), -1);
    EXPECT_EQ(procs.BuildDCB("+9600", &s), -1);
    EXPECT_EQ(procs.BuildDCB("00000000009600", &s), -1);
    EXPECT_EQ(s.BaudRate, 115200u);
    ASSERT_EQ(procs.BuildDCB("0009600", &s), 0);
    EXPECT_EQ(s.BaudRate, 9600u);
}

TEST(TermiosSettings, ErrnoBecomesTheNumbersTheUpperLayersExpect)
{
    EXPECT_EQ(TranslateErrno(ENOENT), 2);
    EXPECT_EQ(TranslateErrno(ENXIO), 2);
    EXPECT_EQ(TranslateErrno(ENOTDIR), 3);
    EXPECT_EQ(TranslateErrno(EMFILE), 4);
    EXPECT_EQ(TranslateErrno(EACCES), 5);
    EXPECT_EQ(TranslateErrno(EBUSY), 5);
    EXPECT_EQ(TranslateErrno(ENOMEM), 8);
    EXPECT_EQ(TranslateErrno(ENOSPC), 101);
}

TEST(NullLayer, AnswersNoDeviceLayerExceptWhereItMustNot)
{
    const DeviceProcs procs = NullDeviceProcs();
    const DeviceWaitProcs wait = NullWaitProcs();
    DeviceSettings s;
    s.BaudRate = 4800;
    DeviceStatus status;
    std::uint8_t byte = 0;
    std::uint32_t word = 0;
    EXPECT_EQ(procs.BuildDCB("9600", &s), ErrNullApi);
    EXPECT_EQ(procs.ClearBreak(1), ErrNullApi);
    EXPECT_EQ(procs.CloseDevice(1), ErrNullApi);
    EXPECT_EQ(procs.EscapeFunction(1, EscSetDtr), ErrNullApi);
    EXPECT_EQ(procs.FlushDevice(1, FlushInput), ErrNullApi);
    EXPECT_EQ(procs.GetDeviceError(1, &status), ErrNullApi);
    EXPECT_EQ(procs.GetEventMask(1, 0xFF), ErrNullApi);
    EXPECT_EQ(procs.OpenDevice("COM1", 10, 10), ErrNullApi);
    EXPECT_EQ(procs.ReadDevice(1, &byte, 1), ErrNullApi);
    EXPECT_EQ(procs.SetBreak(1), ErrNullApi);
    EXPECT_EQ(procs.SetEventMask(1, 1), ErrNullApi);
    EXPECT_EQ(procs.SetDeviceState(1, &s), ErrNullApi);
    EXPECT_EQ(procs.TransmitChar(1, 'a'), ErrNullApi);
    EXPECT_EQ(procs.UngetChar(1, 'a'), ErrNullApi);
    EXPECT_EQ(procs.WriteDevice(1, &byte, 1), ErrNullApi);
    EXPECT_EQ(wait.WaitDeviceEvent(1, &word), ErrNullApi);
    EXPECT_EQ(procs.GetDeviceState(1, &s), 0);
    EXPECT_EQ(s.BaudRate, 4800u) << "the record is left untouched";
    procs.EnableNotification(1, 1);
    procs.AttachHandle(1, true);
    EXPECT_FALSE(procs.SetupDevice(1, 10, 10));
}

class PortNames : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("ZOP5_COM3"); }
    void TearDown() override
    {
        setenv("ZOP5_COM3", "", 1);
        std::remove(PortConfigPath().c_str());
    }
    void WriteConfig(const std::string& text) { std::ofstream(PortConfigPath(), std::ios::binary) << text; }
};

TEST_F(PortNames, TheEnvironmentComesFirst)
{
    EXPECT_EQ(ResolveDevicePath("COM1"), "") << "the test environment maps COM1 to no device";
    setenv("ZOP5_COM3", "/dev/pts/77", 1);
    WriteConfig("[Ports]\nCOM3=/dev/ttyACM0\n");
    EXPECT_EQ(ResolveDevicePath("\\\\.\\COM3"), "/dev/pts/77");
    EXPECT_EQ(ResolveDevicePath("com3"), "/dev/pts/77");
}

TEST_F(PortNames, ThenTheConfigurationFileThenTheDefaults)
{
    EXPECT_EQ(PortConfigPath(), test::ConfigHome() + "/Tracelet ZOP5.ini");
    EXPECT_EQ(ResolveDevicePath("\\\\.\\COM3"), "/dev/ttyS0");
    WriteConfig("[Configuration]\nViewMode=Bar\n\n[Ports]\r\nCOM3=\"/dev/serial/by-id/usb-x y\"\r\nCOM4=\n");
    EXPECT_EQ(ResolveDevicePath("\\\\.\\COM3"), "/dev/serial/by-id/usb-x y");
    WriteConfig("[Ports]\nCOM3=\n");
    EXPECT_EQ(ResolveDevicePath("COM3"), "") << "an empty value means no device";
    EXPECT_EQ(ResolveDevicePath("COM12"), "") << "no default beyond COM4";
    EXPECT_EQ(ResolveDevicePath("/dev/pts/3"), "/dev/pts/3") << "other names are paths already";
    EXPECT_EQ(ResolveDevicePath("COMX"), "COMX");
}

TEST(IniFile, ReadsGroupsKeysAndQuotedValues)
{
    const IniFile ini = IniFile::Parse("; comment\nTop=1\n[Ports]\n  COM1 = /dev/ttyUSB9  \nCOM2=/dev/a;b ; note\n"
                                       "[Other]\nCOM1=\"a\\\"b\\\\c\"\nbroken line\n");
    EXPECT_EQ(ini.Value("Ports", "COM1"), "/dev/ttyUSB9");
    EXPECT_EQ(ini.Value("ports", "com1"), "/dev/ttyUSB9");
    EXPECT_EQ(ini.Value("Other", "COM1"), "a\"b\\c");
    EXPECT_EQ(ini.Value("", "Top"), "1");
    EXPECT_EQ(ini.Value("Ports", "COM2"), "/dev/a;b") << "a comment after the value is no part of it";
    EXPECT_FALSE(ini.Value("Ports", "COM3").has_value());
    EXPECT_FALSE(IniFile::Load("/nonexistent/file.ini").Value("Ports", "COM1").has_value());
}

TEST(IniFile, AValueWrittenIsReadBackAsItWasGivenAndTheRestIsKept)
{
    const std::string text = "; mine\r\n[Configuration]\r\nViewMode=Dot\r\n[Ports]\r\nCOM1=/dev/old\r\n";
    for (const std::string value :
        { "", "/dev/serial/by-id/usb-A_B-if00", "/dev/a b", "/dev/a;b", " lead", "q\"uote\\slash", "a,b", "=", "#x" }) {
        SCOPED_TRACE(value);
        const std::string written = IniFile::WithValue(text, "ports", "COM1", value);
        EXPECT_EQ(IniFile::Parse(written).Value("Ports", "COM1"), value);
        EXPECT_EQ(IniFile::Parse(written).Value("Configuration", "ViewMode"), "Dot");
        EXPECT_TRUE(written.starts_with("; mine\r\n[Configuration]\r\n")) << written;
        EXPECT_EQ(written.find("/dev/old"), std::string::npos);
    }
    EXPECT_EQ(IniFile::WithValue("", "Ports", "COM2", "/dev/x"), "[Ports]\nCOM2=/dev/x\n");
}

} // namespace
} // namespace zop
