// The port component over scripted devices named "\\.\COM3" and "\\.\COM4".
#include "comm/ErrorCodes.h"
#include "comm/PortLayer.h"
#include "comm/PortTable.h"
#include "comm/TraceLog.h"
#include "comm/Triggers.h"
#include "comm/VkPort.h"
#include "comm/VskException.h"
#include "comm/tests/PtyDevice.h"
#include "comm/tests/ScriptedDevice.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zop {
namespace {

using test::ScriptedDevice;

void Pump()
{
    PumpMessages();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Records the events of a component in one list.
struct EventLog {
    std::vector<std::string> Events;
    void Attach(TVskCustomComPort& port)
    {
        port.OnTrigger = [this](TVskCustomComPort&, std::uint16_t msg, std::uint16_t handle, std::uint16_t data) {
            Events.push_back(
                "trigger " + std::to_string(msg) + " " + std::to_string(handle) + " " + std::to_string(data));
        };
        port.OnTriggerAvail = [this](TVskCustomComPort& cp, std::uint16_t count) {
            std::string bytes;
            for (std::uint16_t i = 0; i < count; ++i)
                bytes += cp.GetChar();
            Events.push_back("avail " + bytes);
        };
        port.OnTriggerData
            = [this](TVskCustomComPort&, std::uint16_t handle) { Events.push_back("data " + std::to_string(handle)); };
    }
};

class VkPortTest : public testing::Test {
protected:
    void SetUp() override { Configure(m_port); }
    static void Configure(TVskComPort& port)
    {
        port.SetDeviceLayer(dlOther);
        port.SetDeviceLayerInstaller(ScriptedDevice::Install);
        port.SetAutoOpen(false);
        port.SetComNumber(3);
        port.SetBaud(9600);
    }
    bool Feed(ScriptedDevice& device, const std::string& bytes)
    {
        device.Arrive(bytes);
        return device.Settle(Pump);
    }

    ScriptedDevice m_com3 { "\\\\.\\COM3" };
    ScriptedDevice m_com4 { "\\\\.\\COM4" };
    TVskComPort m_port;
};

TEST_F(VkPortTest, DefaultsOfEveryProperty)
{
    TVskComPort port;
    EXPECT_EQ(port.Tag(), 0);
    EXPECT_EQ(port.DeviceLayer(), dlWin32);
    EXPECT_EQ(port.ComNumber(), 0);
    EXPECT_EQ(port.Baud(), 19200);
    EXPECT_EQ(port.Parity(), pNone);
    EXPECT_EQ(port.DataBits(), 8);
    EXPECT_EQ(port.StopBits(), 1);
    EXPECT_EQ(port.InSize(), 4096);
    EXPECT_EQ(port.OutSize(), 4096);
    EXPECT_TRUE(port.AutoOpen());
    EXPECT_EQ(port.DispatcherMode(), dWin32);
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(port.DTR());
    EXPECT_TRUE(port.RTS());
    EXPECT_TRUE(port.HWFlowOptions().Empty());
    EXPECT_EQ(port.SWFlowOptions(), swfNone);
    EXPECT_EQ(port.XOnChar(), 17);
    EXPECT_EQ(port.XOffChar(), 19);
    EXPECT_EQ(port.BufferFull(), 0);
    EXPECT_EQ(port.BufferResume(), 0);
    EXPECT_EQ(port.Tracing(), tlOff);
    EXPECT_EQ(port.TraceSize(), 10000);
    EXPECT_EQ(port.TraceName(), "VSK.TRC");
    EXPECT_TRUE(port.TraceHex());
    EXPECT_EQ(port.Logging(), tlOff);
    EXPECT_EQ(port.LogSize(), 10000);
    EXPECT_EQ(port.LogName(), "VSK.LOG");
    EXPECT_TRUE(port.LogHex());
    EXPECT_TRUE(port.UseMSRShadow());
    EXPECT_TRUE(port.UseEventWord());
    EXPECT_EQ(port.TriggerLength(), 1);
    EXPECT_EQ(port.CommNotificationLevel(), 10);
    EXPECT_EQ(port.TapiMode(), tmAuto);
    EXPECT_FALSE(port.ConsumeOnRead());
    EXPECT_EQ(port.Handle(), 0);
    // Enumerations keep their order.
    EXPECT_EQ(dlOther, 4);
    EXPECT_EQ(pSpace, 4);
    EXPECT_EQ(dWin32, 4);
    EXPECT_EQ(hwfRequireCTS, 3);
    EXPECT_EQ(swfBoth, 3);
    EXPECT_EQ(tlPause, 5);
    EXPECT_EQ(tmOff, 3);
    EXPECT_EQ(THWFlowOptionSet({ hwfUseDTR, hwfRequireCTS }).Bits(), 9);
}

TEST_F(VkPortTest, OpeningTwiceOpensOnceAndClosingAClosedPortOnlyStores)
{
    m_port.SetOpen(false);
    EXPECT_FALSE(m_port.Open());
    EXPECT_EQ(m_com3.OpenCount(), 0);
    m_port.SetOpen(true);
    m_port.SetOpen(true);
    EXPECT_TRUE(m_port.Open());
    EXPECT_EQ(m_com3.OpenCount(), 1);
    const PortHandle handle = m_port.Handle();
    ASSERT_GE(handle, 1);
    EXPECT_EQ(ComPortTable[handle], &m_port);
    EXPECT_TRUE(IsMessageWindow(m_port.NotificationWindow()));
    m_port.SetOpen(false);
    EXPECT_FALSE(m_port.Open());
    EXPECT_EQ(m_port.Handle(), 0);
    EXPECT_EQ(ComPortTable[handle], nullptr);
    EXPECT_FALSE(m_com3.IsOpen());
}

TEST_F(VkPortTest, OpenFailuresRaiseTheirCodesAndLeaveThePortClosed)
{
    auto expectCode = [&](std::int32_t code) {
        try {
            m_port.SetOpen(true);
            ADD_FAILURE() << "no exception for " << code;
        } catch (const EVSKException& e) {
            EXPECT_EQ(e.ErrorCode, code);
        }
        EXPECT_FALSE(m_port.Open());
        EXPECT_EQ(m_port.Handle(), 0);
    };
    m_port.SetComNumber(0);
    expectCode(ErrNoPortSelected);
    m_port.SetComNumber(5); // no such device: -2 is reported as -2001
    expectCode(ErrBadId);
    m_port.SetComNumber(3);
    m_port.SetDeviceLayer(dlFossil);
    expectCode(ErrNullApi);
    m_port.SetDeviceLayer(dlOther);
    m_port.SetDeviceLayerInstaller(nullptr);
    expectCode(ErrNullApi);
    m_port.SetDeviceLayerInstaller(ScriptedDevice::Install);

    TVskComPort holder;
    Configure(holder);
    holder.SetOpen(true);
    expectCode(ErrAlreadyOpen); // held elsewhere: -5 is reported as -2008
    EXPECT_THROW(m_port.SetOpen(true), EOpenComm);
}

TEST_F(VkPortTest, TriggerEventsRunOnTheOwnerThreadWithTheirHandles)
{
    EventLog log;
    log.Attach(m_port);
    m_port.SetOpen(true);
    const std::uint16_t cr = m_port.AddDataTrigger("\r", false);
    ASSERT_TRUE(Feed(m_com3, "ab\r"));
    EXPECT_EQ(log.Events,
        (std::vector<std::string> { "trigger 32257 2 2", "avail ab", "trigger 32258 " + std::to_string(cr) + " 1",
            "data " + std::to_string(cr), "trigger 32257 1 1", "avail \r" }));
}

TEST_F(VkPortTest, CloseAndReopenKeepsTheDataTriggerAndItsHandle)
{
    EventLog log;
    log.Attach(m_port);
    m_port.OnTriggerAvail = nullptr;
    m_port.OnTrigger = nullptr;
    m_port.SetTriggerLength(0);
    m_port.SetOpen(true);
    m_port.AddDataTrigger("x", false);
    const std::uint16_t cr = m_port.AddDataTrigger("\r", false);
    EXPECT_EQ(m_port.FindDataTrigger("\r", false), cr);
    m_port.SetOpen(false);
    EXPECT_EQ(m_port.FindDataTrigger("\r", false), cr) << "kept while closed";
    EXPECT_EQ(m_port.FindDataTrigger("\r", true), 0);
    EXPECT_EQ(m_port.FindDataTrigger("\n", false), 0);
    m_port.SetOpen(true);
    EXPECT_EQ(m_port.FindDataTrigger("\r", false), cr);
    ASSERT_TRUE(Feed(m_com3, "1\r"));
    EXPECT_EQ(log.Events, (std::vector<std::string> { "data " + std::to_string(cr) }));
}

TEST_F(VkPortTest, ComNumberMovesAnOpenPortWithItsTriggers)
{
    EventLog log;
    log.Attach(m_port);
    m_port.OnTriggerAvail = nullptr;
    m_port.OnTrigger = nullptr;
    m_port.SetOpen(true);
    const std::uint16_t cr = m_port.AddDataTrigger("\r", false);
    m_port.SetComNumber(4);
    EXPECT_TRUE(m_port.Open());
    EXPECT_EQ(m_port.ComNumber(), 4);
    EXPECT_FALSE(m_com3.IsOpen());
    EXPECT_TRUE(m_com4.IsOpen());
    ASSERT_TRUE(Feed(m_com4, "\r"));
    EXPECT_EQ(log.Events, (std::vector<std::string> { "data " + std::to_string(cr) }));

    // Closed: the number is only stored.
    m_port.SetOpen(false);
    m_port.SetComNumber(3);
    EXPECT_FALSE(m_port.Open());
    EXPECT_FALSE(m_com3.IsOpen());
    EXPECT_EQ(m_port.FindDataTrigger("\r", false), cr);
}

TEST_F(VkPortTest, AFailedMoveLeavesThePortClosedWithItsTriggersKept)
{
    m_port.SetOpen(true);
    const std::uint16_t cr = m_port.AddDataTrigger("\r", false);
    EXPECT_THROW(m_port.SetComNumber(6), EBadId);
    EXPECT_FALSE(m_port.Open());
    EXPECT_EQ(m_port.ComNumber(), 6);
    m_port.SetComNumber(3);
    m_port.SetOpen(true);
    EXPECT_EQ(m_port.FindDataTrigger("\r", false), cr);
}

TEST_F(VkPortTest, FlowControlThresholdDefaults)
{
    m_port.SetHWFlowOptions({ hwfUseRTS });
    EXPECT_EQ(m_port.BufferFull(), 3686);
    EXPECT_EQ(m_port.BufferResume(), 409);

    TVskComPort software;
    software.SetSWFlowOptions(swfReceive);
    EXPECT_EQ(software.BufferFull(), 3072);
    EXPECT_EQ(software.BufferResume(), 1024);

    // The main window's values stay as they are.
    TVskComPort window;
    window.SetBufferFull(3686);
    window.SetBufferResume(409);
    window.SetSWFlowOptions(swfReceive);
    EXPECT_EQ(window.BufferFull(), 3686);
    EXPECT_EQ(window.BufferResume(), 409);

    // Too large values are scaled.
    TVskComPort scaled;
    scaled.SetBufferFull(5000);
    EXPECT_EQ(scaled.BufferFull(), 4500);
    scaled.SetBufferFull(2000);
    scaled.SetBufferResume(3000);
    EXPECT_EQ(scaled.BufferResume(), 200);
}

TEST_F(VkPortTest, SettingsReachTheOpenDevice)
{
    m_port.SetSWFlowOptions(swfReceive);
    m_port.SetBufferFull(3686);
    m_port.SetBufferResume(409);
    m_port.SetOpen(true);
    std::int32_t baud = 0;
    std::int16_t parity = -1, dataBits = 0, stopBits = 0;
    ASSERT_EQ(GetLine(m_port.Handle(), &baud, &parity, &dataBits, &stopBits), 0);
    EXPECT_EQ(baud, 9600);
    EXPECT_EQ(parity, 0);
    EXPECT_EQ(dataBits, 8);
    EXPECT_EQ(stopBits, 1);
    m_port.SetBaud(115200);
    m_port.SetParity(pEven);
    m_port.SetStopBits(2);
    ASSERT_EQ(GetLine(m_port.Handle(), &baud, &parity, &dataBits, &stopBits), 0);
    EXPECT_EQ(baud, 115200);
    EXPECT_EQ(parity, pEven);
    EXPECT_EQ(stopBits, 2);
    // Receive flow control with the main window's thresholds.
    const DeviceSettings settings = m_com3.Settings();
    EXPECT_TRUE(settings.Flags & DcbInX);
    EXPECT_EQ(settings.XoffLim, 4096 - 3686);
    EXPECT_EQ(settings.XonLim, 409);
    m_port.SetSWFlowOptions(swfNone);
    EXPECT_FALSE(m_com3.Settings().Flags & DcbInX);
}

TEST_F(VkPortTest, KeepingTheLineAdoptsAnOpenDeviceAndReadsItsSettingsBack)
{
    TVskComPort port;
    Configure(port);
    port.SetComNumber(0); // not needed: the device is open already
    port.SetBaud(19200);
    port.SetTapiMode(tmOn);
    port.SetKeepLineDevice(m_com3.Handle());
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_TRUE(m_com3.IsOpen()) << "attached";
    EXPECT_EQ(m_com3.OpenCount(), 0) << "never opened by name";
    EXPECT_EQ(port.Baud(), 9600) << "the device's line, not the property's";
    EXPECT_EQ(port.DataBits(), 8);
    port.SetOpen(false);
    EXPECT_FALSE(m_com3.IsOpen()) << "released";
}

TEST_F(VkPortTest, TraceAndLogSizesAreLimited)
{
    m_port.SetTraceSize(40000);
    EXPECT_EQ(m_port.TraceSize(), 32760);
    m_port.SetLogSize(65535);
    EXPECT_EQ(m_port.LogSize(), 65520);
    m_port.SetTraceName(std::string(300, 'n'));
    EXPECT_EQ(m_port.TraceName().size(), 255u);
}

TEST_F(VkPortTest, TracingStatesWhileClosedAndOpen)
{
    test::TempDir dir;
    m_port.SetTraceName(dir.File("port.trc"));
    m_port.SetTracing(tlPause);
    EXPECT_EQ(m_port.Tracing(), tlOff) << "closed: only off and on are stored";
    m_port.SetTracing(tlOn);
    EXPECT_EQ(m_port.Tracing(), tlOn);
    m_port.SetOpen(true);
    EXPECT_EQ(m_port.Tracing(), tlOn);
    m_port.SetTriggerLength(0);
    ASSERT_TRUE(Feed(m_com3, "AB"));
    EXPECT_EQ(m_port.GetChar(), 'A');
    m_port.SetTracing(tlPause);
    EXPECT_EQ(m_port.Tracing(), tlPause);
    EXPECT_EQ(m_port.GetChar(), 'B'); // not recorded while paused
    m_port.SetTracing(tlDump);
    EXPECT_EQ(m_port.Tracing(), tlOff);
    const std::string trace = ReadFile(dir.File("port.trc"));
    EXPECT_EQ(trace.rfind("Receive: ", 0), 0u) << trace;
    EXPECT_NE(trace.find('A'), std::string::npos) << trace;
    EXPECT_EQ(trace.find('B'), std::string::npos) << trace;
    m_port.SetTracing(tlClear);
    EXPECT_EQ(m_port.Tracing(), tlOff);
}

TEST_F(VkPortTest, ChangingTheTraceSizeRestartsAnActiveTrace)
{
    test::TempDir dir;
    m_port.SetTraceName(dir.File("size.trc"));
    m_port.SetTriggerLength(0);
    m_port.SetOpen(true);
    m_port.SetTracing(tlOn);
    ASSERT_TRUE(Feed(m_com3, "AB"));
    EXPECT_EQ(m_port.GetChar(), 'A');
    m_port.SetTraceSize(5);
    EXPECT_EQ(m_port.Tracing(), tlOn);
    EXPECT_EQ(m_port.GetChar(), 'B');
    m_port.SetTracing(tlDump);
    const std::string trace = ReadFile(dir.File("size.trc"));
    EXPECT_EQ(trace.find('A'), std::string::npos) << trace;
    EXPECT_NE(trace.find('B'), std::string::npos) << trace;

    // Paused: the trace is dropped and stays off.
    m_port.SetTracing(tlOn);
    m_port.SetTracing(tlPause);
    m_port.SetTraceSize(6);
    EXPECT_EQ(m_port.Tracing(), tlOff);
}

TEST_F(VkPortTest, ClosingWritesAnActiveLog)
{
    test::TempDir dir;
    m_port.SetLogName(dir.File("port.log"));
    m_port.SetLogging(tlOn);
    m_port.SetOpen(true);
    ASSERT_TRUE(Feed(m_com3, "z"));
    m_port.SetOpen(false);
    EXPECT_EQ(m_port.Logging(), tlOff);
    const std::string log = ReadFile(dir.File("port.log"));
    EXPECT_NE(log.find("readcom"), std::string::npos) << log;
}

TEST_F(VkPortTest, MessageForAHandleWithoutAComponentGoesToTheDefaultProcedure)
{
    int notified = 0;
    m_port.OnTrigger = [&](TVskCustomComPort&, std::uint16_t, std::uint16_t, std::uint16_t) { ++notified; };
    m_port.SetOpen(true);
    const WindowHandle window = m_port.NotificationWindow();
    std::intptr_t result = -1;
    const std::intptr_t noComponent = (77 << 16) | 1;
    EXPECT_EQ(SendMessageTimeout(
                  window, TriggerDataMsg, 2, noComponent, std::chrono::milliseconds(1000), HungPolicy::Wait, &result),
        SendResult::Handled);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(notified, 0);
    EXPECT_EQ(VskComWindowProc(0, TriggerDataMsg, 2, 0), 0);
    EXPECT_EQ(notified, 0);

    // A message for another component's handle raises that component's events.
    TVskComPort other;
    Configure(other);
    other.SetComNumber(4);
    int otherNotified = 0;
    other.OnTrigger = [&](TVskCustomComPort&, std::uint16_t, std::uint16_t, std::uint16_t) { ++otherNotified; };
    other.SetOpen(true);
    VskComWindowProc(window, TriggerDataMsg, 2, static_cast<std::intptr_t>(other.Handle()) << 16);
    EXPECT_EQ(otherNotified, 1);
    EXPECT_EQ(notified, 0);
}

TEST_F(VkPortTest, FailingHandlersAreSwallowedAndThePortStaysOpen)
{
    int data = 0;
    m_port.OnTriggerData = [&](TVskCustomComPort&, std::uint16_t) {
        ++data;
        throw std::runtime_error("handler failed");
    };
    m_port.SetTriggerLength(0);
    m_port.SetOpen(true);
    m_port.AddDataTrigger("\r", false);
    ASSERT_TRUE(Feed(m_com3, "\r\r"));
    EXPECT_EQ(data, 2);
    EXPECT_TRUE(m_port.Open());
}

TEST_F(VkPortTest, ClosingFromADataHandlerAndReopeningAtOnce)
{
    int data = 0;
    m_port.OnTriggerData = [&](TVskCustomComPort& cp, std::uint16_t) {
        ++data;
        auto& port = static_cast<TVskComPort&>(cp);
        port.SetOpen(false);
        port.SetOpen(true);
    };
    m_port.SetTriggerLength(0);
    m_port.SetOpen(true);
    const PortHandle first = m_port.Handle();
    m_port.AddDataTrigger("\r", false);
    m_com3.Arrive("\r\r");
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return Ports().InUse[first].load() == 0; }, Pump));
    EXPECT_EQ(data, 1) << "nothing more of the closed port is delivered";
    EXPECT_TRUE(m_port.Open());
    EXPECT_NE(m_port.Handle(), first);
    ASSERT_TRUE(Feed(m_com3, "\r"));
    EXPECT_EQ(data, 2) << "the reopened port has the trigger";
}

TEST_F(VkPortTest, AutoOpenOpensForOperationsThatNeedThePort)
{
    EXPECT_THROW(m_port.GetChar(), EBadHandle);
    m_port.SetAutoOpen(true);
    EXPECT_THROW(m_port.GetChar(), EVSKException) << "opened, but nothing waits";
    EXPECT_TRUE(m_port.Open());
    m_port.SetOpen(false);
    EXPECT_GE(m_port.AddDataTrigger("\r", false), 2);
    EXPECT_TRUE(m_port.Open());
}

TEST_F(VkPortTest, LoadingRecordsOpenAndTheAfterLoadingHookOpens)
{
    TVskComPort port;
    port.BeginLoading();
    Configure(port);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.Handle(), 0);
    EXPECT_FALSE(m_com3.IsOpen());
    port.Loaded();
    EXPECT_FALSE(port.Loading());
    EXPECT_NE(port.Handle(), 0);
    EXPECT_TRUE(m_com3.IsOpen());
}

void CountUser(void* data, TVskCustomComPort&, bool opening)
{
    static_cast<std::vector<std::string>*>(data)->push_back(opening ? "open" : "close");
}
void OtherUser(void* data, TVskCustomComPort&, bool opening)
{
    static_cast<std::vector<std::string>*>(data)->push_back(opening ? "other open" : "other close");
}

TEST_F(VkPortTest, PortUsersAreToldLastRegisteredFirst)
{
    std::vector<std::string> told;
    m_port.AddPortUser(CountUser, &told);
    m_port.AddPortUser(OtherUser, &told);
    m_port.OnPortOpen = [&](TVskCustomComPort&) { told.push_back("handler open"); };
    m_port.SetOpen(true);
    m_port.SetOpen(false);
    m_port.RemovePortUser(OtherUser, &told);
    m_port.SetOpen(true);
    m_port.RemovePortUser(CountUser, &told);
    m_port.SetOpen(false);
    EXPECT_EQ(told,
        (std::vector<std::string> {
            "other open", "open", "handler open", "other close", "close", "open", "handler open" }));
}

TEST_F(VkPortTest, AssignCopiesSettingsAndASnapshotOfTheTriggers)
{
    m_port.SetOpen(true);
    m_port.SetTriggerLength(5);
    m_port.SetXOnChar('a');
    const std::uint16_t cr = m_port.AddDataTrigger("\r", false);
    TVskComPort copy;
    copy.Assign(m_port);
    EXPECT_FALSE(copy.Open());
    EXPECT_EQ(copy.ComNumber(), 3);
    EXPECT_EQ(copy.TriggerLength(), 5);
    EXPECT_EQ(copy.XOnChar(), 'a');
    EXPECT_EQ(copy.FindDataTrigger("\r", false), cr);
    TComponent plain;
    EXPECT_THROW(copy.Assign(plain), Exception);
}

TEST_F(VkPortTest, DestroyingAnOpenComponentClosesItsPort)
{
    PortHandle handle = 0;
    {
        TVskComPort port;
        Configure(port);
        port.SetOpen(true);
        handle = port.Handle();
        EXPECT_EQ(ComPortTable[handle], &port);
    }
    EXPECT_EQ(ComPortTable[handle], nullptr);
    EXPECT_FALSE(m_com3.IsOpen());
    EXPECT_EQ(LookupPort(handle), nullptr);
}

// The component over pseudo-terminals mapped to COM1 and COM2, through the
// termios device layer as the window program uses it.
class VkPortPtyTest : public testing::Test {
protected:
    void SetUp() override
    {
        setenv("ZOP5_COM1", m_com1.Path().c_str(), 1);
        setenv("ZOP5_COM2", m_com2.Path().c_str(), 1);
        m_port.SetAutoOpen(false);
        m_port.SetBaud(9600);
        m_port.SetSWFlowOptions(swfReceive);
        m_port.SetBufferFull(3686);
        m_port.SetBufferResume(409);
        m_port.SetUseEventWord(false);
        m_port.SetTapiMode(tmNone);
        // As the instrument link does: printable bytes make the line.
        m_port.OnTriggerAvail = [this](TVskCustomComPort& cp, std::uint16_t count) {
            for (std::uint16_t i = 0; i < count; ++i) {
                const char c = cp.GetChar();
                if (static_cast<unsigned char>(c) >= 0x20)
                    m_line += c;
            }
        };
        m_port.OnTriggerData = [this](TVskCustomComPort&, std::uint16_t handle) {
            m_lines.push_back(std::to_string(handle) + ":" + m_line);
            m_line.clear();
        };
    }
    void TearDown() override
    {
        m_port.SetOpen(false);
        setenv("ZOP5_COM1", "", 1);
        setenv("ZOP5_COM2", "", 1);
    }
    bool WaitForLines(std::size_t count)
    {
        return ScriptedDevice::PumpUntil([&] { return m_lines.size() >= count; }, Pump);
    }

    test::PtyDevice m_com1;
    test::PtyDevice m_com2;
    TVskComPort m_port;
    std::string m_line;
    std::vector<std::string> m_lines;
};

TEST_F(VkPortPtyTest, LinesArriveAcrossCloseReopenAndAMove)
{
    m_port.SetComNumber(1);
    m_port.SetOpen(true);
    const std::string cr = std::to_string(m_port.AddDataTrigger("\r", false));
    ASSERT_TRUE(m_com1.Write("Range(254)= 0.8V\r"));
    ASSERT_TRUE(WaitForLines(1));
    EXPECT_EQ(m_lines.back(), cr + ":Range(254)= 0.8V");

    m_port.SetOpen(false);
    m_port.SetOpen(true);
    ASSERT_TRUE(m_com1.Write("Zero= 128\r"));
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(m_lines.back(), cr + ":Zero= 128");

    m_port.SetComNumber(2);
    ASSERT_TRUE(m_com2.Write("Sample(0)= 17\r"));
    ASSERT_TRUE(WaitForLines(3));
    EXPECT_EQ(m_lines.back(), cr + ":Sample(0)= 17");
    EXPECT_EQ(m_port.FindDataTrigger("\r", false), std::stoi(cr));
}

TEST_F(VkPortPtyTest, APortHeldByAnotherComponentCannotBeOpened)
{
    m_port.SetComNumber(1);
    m_port.SetOpen(true);
    TVskComPort other;
    other.SetAutoOpen(false);
    other.SetComNumber(1);
    EXPECT_THROW(other.SetOpen(true), EOpenComm);
    EXPECT_FALSE(other.Open());
    other.SetComNumber(3);
    setenv("ZOP5_COM3", "", 1);
    EXPECT_THROW(other.SetOpen(true), EBadId) << "no device behind COM3";
}

} // namespace
} // namespace zop
