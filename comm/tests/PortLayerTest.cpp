// The port layer over the scripted device layer: slots, open and close
// paths, the input ring, line settings and flow control.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/Allocation.h"
#include "comm/ErrorCodes.h"
#include "comm/PortLayer.h"
#include "comm/PortTable.h"
#include "comm/tests/FakeDevice.h"

namespace zop {
namespace {

using test::FakeDevice;
using test::FillInputRing;

class PortLayer : public ::testing::Test {
protected:
    PortHandle OpenFake(std::int32_t baud = 9600, std::uint16_t inSize = 4096, std::uint16_t outSize = 4096)
    {
        PortHandle port = 0;
        EXPECT_EQ(OpenPort(&port, 4, "\\\\.\\COM1", baud, 0, 8, 1, inSize, outSize), 0);
        m_open.push_back(port);
        return port;
    }

    // Moves everything the fake device holds into the ring.
    void Receive(PortHandle port, const std::string& bytes)
    {
        m_layer.Arrive(bytes);
        FillInputRing(*LookupPort(port));
    }

    std::string Take(PortHandle port, int count)
    {
        std::string out;
        for (int i = 0; i < count; ++i) {
            std::uint8_t byte = 0;
            EXPECT_EQ(GetChar(port, &byte), 0) << "byte " << i;
            out += static_cast<char>(byte);
        }
        return out;
    }

    void TearDown() override
    {
        FailAllocationAfter(-1);
        for (PortHandle port : m_open)
            ClosePort(port);
    }

    test::FakeDeviceLayer m_layer;
    std::vector<PortHandle> m_open;
};

int PortsInUse()
{
    int count = 0;
    for (int port = 1; port <= MaxPorts; ++port)
        count += Ports().InUse[port].load() != 0;
    return count;
}

TEST_F(PortLayer, OpenClaimsTheLowestFreeSlotAndCloseFreesIt)
{
    const PortHandle first = OpenFake();
    const PortHandle second = OpenFake();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(FakeDevice().LastName, "\\\\.\\COM1");
    EXPECT_EQ(ClosePort(first), 0);
    EXPECT_EQ(ClosePort(first), ErrBadHandle);
    EXPECT_EQ(FakeDevice().CloseCount, 1);
    EXPECT_EQ(OpenFake(), first);
}

TEST_F(PortLayer, FiftyPortsThenNoMoreHandles)
{
    for (int i = 0; i < MaxPorts; ++i)
        EXPECT_EQ(OpenFake(), i + 1);
    PortHandle port = 0;
    EXPECT_EQ(OpenPort(&port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), ErrNoHandles);
    EXPECT_EQ(FakeDevice().OpenCount, MaxPorts);
    EXPECT_EQ(ClosePort(17), 0);
    EXPECT_EQ(OpenPort(&port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), 0);
    EXPECT_EQ(port, 17);
}

TEST_F(PortLayer, InvalidHandlesAreRefusedBeforeAnythingIsTouched)
{
    std::uint8_t byte = 0;
    for (PortHandle bad : { PortHandle(0), PortHandle(51), PortHandle(3), PortHandle(65535) }) {
        EXPECT_EQ(ClosePort(bad), ErrBadHandle) << bad;
        EXPECT_EQ(GetChar(bad, &byte), ErrBadHandle) << bad;
        EXPECT_EQ(PeekCharAt(bad, &byte, 1), ErrBadHandle) << bad;
        EXPECT_EQ(SetLine(bad, 9600, 0, 8, 1), ErrBadHandle) << bad;
        EXPECT_EQ(SetDTR(bad, true), ErrBadHandle) << bad;
        EXPECT_EQ(SetHWFlow(bad, 10, 5, 1), ErrBadHandle) << bad;
        EXPECT_EQ(SetPortOptions(bad, 2), ErrBadHandle) << bad;
        EXPECT_EQ(GetLineError(bad), ErrBadHandle) << bad;
        // The queries answer 0 instead.
        EXPECT_EQ(InBuffUsed(bad), 0) << bad;
        EXPECT_EQ(OutBuffUsed(bad), 0) << bad;
        EXPECT_EQ(OutBuffFree(bad), 0) << bad;
        EXPECT_EQ(GetModemStatus(bad, 0xFF), 0) << bad;
        EXPECT_EQ(CheckLineBreak(bad), 0) << bad;
    }
}

TEST_F(PortLayer, FailedDeviceOpenGivesTheNegatedSystemErrorAndFreesTheSlot)
{
    FakeDevice().FailOpen = true;
    PortHandle port = 0;
    EXPECT_EQ(OpenPort(&port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), -2);
    EXPECT_EQ(PortsInUse(), 0);
    FakeDevice().OpenError = 5;
    EXPECT_EQ(OpenPort(&port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), -5);
    EXPECT_EQ(PortsInUse(), 0);
}

TEST_F(PortLayer, EveryLaterOpenFailureClosesTheDeviceAndFreesTheSlot)
{
    PortHandle port = 0;
    FakeDevice().FailSetup = true;
    EXPECT_EQ(OpenPort(&port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), -87);
    EXPECT_EQ(m_layer.Open(), 0);
    EXPECT_EQ(PortsInUse(), 0);

    FakeDevice().FailSetup = false;
    FakeDevice().FailSetState = true;
    EXPECT_EQ(OpenPort(&port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), ErrNotSupported);
    EXPECT_EQ(m_layer.Open(), 0);
    EXPECT_EQ(PortsInUse(), 0);

    // Memory runs out at each allocation of the open in turn: the record,
    // the input ring, the output ring.
    FakeDevice().FailSetState = false;
    for (int allowed = 0; allowed < 3; ++allowed) {
        FailAllocationAfter(allowed);
        EXPECT_EQ(OpenPort(&port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), ErrOutOfMemory) << allowed;
        EXPECT_EQ(m_layer.Open(), 0) << allowed;
        EXPECT_EQ(PortsInUse(), 0) << allowed;
    }
    FailAllocationAfter(-1);
    EXPECT_EQ(OpenFake(), 1);
}

TEST_F(PortLayer, OpenOnASuppliedHandleAttachesAndReleasesIt)
{
    FakeDevice().Settings.BaudRate = 1200;
    PortHandle port = 0;
    ASSERT_EQ(OpenPortOnHandle(&port, 4, "", 9600, 0, 8, 1, 4096, 4096, test::FakeHandle), 0);
    EXPECT_EQ(FakeDevice().AttachCount, 1);
    EXPECT_EQ(FakeDevice().OpenCount, 0);
    std::int32_t baud = 0;
    EXPECT_EQ(GetLine(port, &baud, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(baud, 1200) << "line settings are not applied over a supplied handle";
    EXPECT_EQ(ClosePort(port), 0);
    EXPECT_EQ(FakeDevice().ReleaseCount, 1);
    EXPECT_EQ(FakeDevice().CloseCount, 0);
}

TEST_F(PortLayer, CloseFlushesTheOutputBeforeClosingTheDevice)
{
    const PortHandle port = OpenFake();
    FakeDevice().Flushes.clear();
    ClosePort(port);
    ASSERT_EQ(FakeDevice().Flushes.size(), 1u);
    EXPECT_EQ(FakeDevice().Flushes[0], FlushOutput);
}

TEST_F(PortLayer, ClosingDuringADeliveryClosesTheDeviceAndLeavesTheRecordToTheDispatcher)
{
    const PortHandle port = OpenFake();
    PortRecord* record = LookupPort(port);
    record->Delivering = true;
    EXPECT_EQ(ClosePort(port), 0);
    EXPECT_EQ(FakeDevice().CloseCount, 1) << "the device closes at once";
    EXPECT_TRUE(record->ClosePending.load());
    EXPECT_EQ(PortsInUse(), 1) << "the slot stays taken until the delivery returns";
    std::uint8_t byte = 0;
    EXPECT_EQ(GetChar(port, &byte), ErrBadHandle) << "a closing port takes no more calls";
    EXPECT_EQ(ClosePort(port), ErrBadHandle);
    PortHandle other = 0;
    EXPECT_EQ(OpenPort(&other, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), 0);
    EXPECT_NE(other, port);
    m_open.push_back(other);
    // What the dispatcher thread does when the delivery returns.
    {
        std::lock_guard lock(record->Lock);
        record->Delivering = false;
    }
    ASSERT_TRUE(record->ClosePending.load());
    ReleasePort(port);
    EXPECT_EQ(PortsInUse(), 1);
    EXPECT_EQ(FakeDevice().CloseCount, 1) << "the device is not closed twice";
}

TEST_F(PortLayer, BytesComeOutInOrderAcrossTheRingEnd)
{
    const PortHandle port = OpenFake();
    std::string sent;
    std::string taken;
    // 10000 bytes in batches of 700 that are taken as they come.
    for (int batch = 0; batch < 15; ++batch) {
        std::string bytes;
        for (int i = 0; i < 700 && sent.size() + bytes.size() < 10000; ++i)
            bytes += static_cast<char>((sent.size() + bytes.size()) * 7 % 251);
        sent += bytes;
        Receive(port, bytes);
        EXPECT_EQ(InBuffUsed(port), static_cast<std::int32_t>(bytes.size()));
        std::uint8_t peeked = 0;
        if (!bytes.empty()) {
            ASSERT_EQ(PeekCharAt(port, &peeked, static_cast<std::uint16_t>(bytes.size())), 0);
            EXPECT_EQ(peeked, static_cast<std::uint8_t>(bytes.back()));
        }
        taken += Take(port, static_cast<int>(bytes.size()));
    }
    EXPECT_EQ(sent.size(), 10000u);
    EXPECT_EQ(taken, sent);
    EXPECT_EQ(InBuffUsed(port), 0);
}

TEST_F(PortLayer, AFullRingReportsAllBytesAndLeavesTheRestInTheDevice)
{
    const PortHandle port = OpenFake();
    std::string bytes;
    for (int i = 0; i < 9000; ++i)
        bytes += static_cast<char>('a' + i % 26);
    m_layer.Arrive(bytes);
    PortRecord& record = *LookupPort(port);
    EXPECT_EQ(FillInputRing(record), 8192);
    EXPECT_EQ(InBuffUsed(port), 8192);
    EXPECT_TRUE(record.InRing.Full());
    EXPECT_EQ(FillInputRing(record), 0);
    EXPECT_EQ(FakeDevice().Incoming.size(), 9000u - 8192u);
    // Taking bytes makes room; the ring then fills across its end.
    EXPECT_EQ(Take(port, 100), bytes.substr(0, 100));
    EXPECT_FALSE(record.InRing.Full());
    EXPECT_EQ(FillInputRing(record), 100);
    EXPECT_EQ(InBuffUsed(port), 8192);
    EXPECT_EQ(Take(port, 8192), bytes.substr(100, 8192));
    EXPECT_EQ(FillInputRing(record), 708);
    EXPECT_EQ(Take(port, 708), bytes.substr(8292));
}

TEST_F(PortLayer, ReadsReachingTheRingEndContinueAtItsStart)
{
    const PortHandle port = OpenFake();
    PortRecord& record = *LookupPort(port);
    Receive(port, std::string(8000, 'x'));
    Take(port, 8000);
    m_layer.Arrive("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                   "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                   "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(FillInputRing(record), 216);
    EXPECT_EQ(record.InRing.Head(), (8000 + 216) % 8192);
    EXPECT_EQ(Take(port, 36), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

// A read asks for the whole contiguous room and takes what the device holds
// by then, also bytes stored after the count was taken; the second read, at
// the ring's start, only when the count asks for more than the first gave.
TEST_F(PortLayer, AReadTakesWhatTheDeviceHoldsByThen)
{
    struct Case {
        const char* Name;
        int HeadAt; // bytes passed through the ring before
        std::string Counted; // in the device when its queue is counted
        std::string Late; // stored just after
        std::int32_t Moved;
    };
    const Case cases[] = {
        { "late bytes come along", 0, "ab", "c\r", 4 },
        { "nothing counted reads nothing", 0, "", "late", 0 },
        { "the first read ends at the ring's end", 8190, "x", "yz", 2 },
        { "the second read takes the late bytes too", 8190, "xyz", "12", 5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FakeDevice().Incoming.clear();
        const PortHandle port = OpenFake();
        PortRecord& record = *LookupPort(port);
        Receive(port, std::string(c.HeadAt, '-'));
        Take(port, c.HeadAt);
        m_layer.Arrive(c.Counted);
        FakeDevice().ArriveAfterCount = c.Late;
        EXPECT_EQ(FillInputRing(record), c.Moved);
        const std::string all = c.Counted + c.Late;
        EXPECT_EQ(Take(port, c.Moved), all.substr(0, c.Moved));
        EXPECT_EQ(FakeDevice().Incoming.size(), all.size() - c.Moved);
        ASSERT_EQ(ClosePort(port), 0);
    }
}

TEST_F(PortLayer, PeekAndGetOnTooFewBytes)
{
    const PortHandle port = OpenFake();
    std::uint8_t byte = 0x55;
    EXPECT_EQ(GetChar(port, &byte), ErrBufferIsEmpty);
    EXPECT_EQ(byte, 0x55);
    Receive(port, "AB");
    EXPECT_EQ(PeekCharAt(port, &byte, 3), ErrBufferIsEmpty);
    EXPECT_EQ(PeekCharAt(port, &byte, 0), ErrBadArgument);
    EXPECT_EQ(PeekCharAt(port, &byte, 2), 0);
    EXPECT_EQ(byte, 'B');
    EXPECT_EQ(InBuffUsed(port), 2) << "peeking consumes nothing";
}

TEST_F(PortLayer, ReadAheadTakesBytesWithoutConsumingThem)
{
    const PortHandle port = OpenFake();
    Receive(port, "XYZ");
    PortRecord& record = *LookupPort(port);
    EXPECT_EQ(ClearPortOptions(port, OptionConsumeOnRead), 0);
    record.ReadAhead = 1;
    EXPECT_EQ(Take(port, 2), "XY");
    EXPECT_EQ(InBuffUsed(port), 1);
    EXPECT_EQ(record.InRing.Tail(), 0) << "read-ahead bytes stay in the ring until the delivery ends";
    std::uint8_t byte = 0;
    EXPECT_EQ(GetChar(port, &byte), 0);
    EXPECT_EQ(GetChar(port, &byte), ErrBufferIsEmpty);
    EXPECT_EQ(record.ReadAheadCount, 3) << "a failed read-ahead is undone";
    // With consume-on-read, reads consume even during a delivery.
    record.ReadAheadCount = 0;
    EXPECT_EQ(SetPortOptions(port, OptionConsumeOnRead), 0);
    EXPECT_EQ(Take(port, 1), "X");
    EXPECT_EQ(record.InRing.Tail(), 1);
}

TEST_F(PortLayer, SetLineAndGetLine)
{
    const PortHandle port = OpenFake();
    EXPECT_EQ(FakeDevice().Settings.BaudRate, 9600u);
    EXPECT_EQ(FakeDevice().Settings.StopBits, OneStopBit);
    EXPECT_EQ(SetLine(port, 115200, 2, 7, 2), 0);
    std::int32_t baud = 0;
    std::int16_t parity = 0, dataBits = 0, stopBits = 0;
    EXPECT_EQ(GetLine(port, &baud, &parity, &dataBits, &stopBits), 0);
    EXPECT_EQ(baud, 115200);
    EXPECT_EQ(parity, 2);
    EXPECT_EQ(dataBits, 7);
    EXPECT_EQ(stopBits, 2);
    // Leave values keep what is set; stop bits 0 counts as 1, above 3 as 2.
    EXPECT_EQ(SetLine(port, LeaveBaud, LeaveParity, LeaveDataBits, 0), 0);
    EXPECT_EQ(GetLine(port, &baud, &parity, &dataBits, &stopBits), 0);
    EXPECT_EQ(baud, 115200);
    EXPECT_EQ(parity, 2);
    EXPECT_EQ(stopBits, 1);
    EXPECT_EQ(SetLine(port, LeaveBaud, LeaveParity, LeaveDataBits, 7), 0);
    EXPECT_EQ(FakeDevice().Settings.StopBits, TwoStopBits);
    FakeDevice().FailSetState = true;
    EXPECT_EQ(SetLine(port, 300, 0, 8, 1), ErrNotSupported);
}

TEST_F(PortLayer, CodedBaudRatesOfOlderDriversReadBackAsRates)
{
    const PortHandle port = OpenFake();
    const std::pair<std::uint32_t, std::int32_t> cases[] = { { 0xFEFF, 115200 }, { 0xFF10, 110 }, { 0xFF16, 9600 },
        { 0xFF1B, 38400 }, { 0xFF27, 256000 }, { 0xFF19, 0xFF19 }, { 57600, 57600 } };
    for (const auto& [coded, rate] : cases) {
        FakeDevice().Settings.BaudRate = coded;
        std::int32_t baud = 0;
        EXPECT_EQ(GetLine(port, &baud, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(baud, rate) << std::hex << coded;
    }
}

TEST_F(PortLayer, HardwareFlowControl)
{
    const PortHandle port = OpenFake(9600, 4096);
    EXPECT_EQ(SetHWFlow(port, 409, 3686, HwFlowUseRts), ErrBadArgument) << "resume above full";
    EXPECT_EQ(SetHWFlow(port, 4097, 409, HwFlowUseRts), ErrBadArgument) << "full above InSize";
    EXPECT_EQ(SetHWFlow(port, 3686, 409, HwFlowUseRts | HwFlowRequireCts), 0);
    const DeviceSettings& s = FakeDevice().Settings;
    EXPECT_EQ(s.Flags & DcbRtsControlMask, DcbRtsControlHandshake);
    EXPECT_EQ(s.Flags & DcbDtrControlMask, 0u);
    EXPECT_TRUE(s.Flags & DcbOutxCtsFlow);
    EXPECT_FALSE(s.Flags & DcbOutxDsrFlow);
    EXPECT_EQ(s.XoffLim, 4096 - 3686);
    EXPECT_EQ(s.XonLim, 409);
    EXPECT_EQ(ClearHWFlow(port), 0);
    EXPECT_FALSE(FakeDevice().Settings.Flags & DcbOutxCtsFlow);
    EXPECT_NE(FakeDevice().Settings.Flags & DcbRtsControlMask, DcbRtsControlHandshake);
}

TEST_F(PortLayer, SoftwareFlowControlAndFlowCharacters)
{
    const PortHandle port = OpenFake(9600, 4096);
    EXPECT_EQ(SetSWFlow(port, 3686, 409, SwFlowReceive), 0);
    const DeviceSettings& s = FakeDevice().Settings;
    EXPECT_TRUE(s.Flags & DcbInX);
    EXPECT_FALSE(s.Flags & DcbOutX);
    EXPECT_EQ(s.XonChar, 0x11);
    EXPECT_EQ(s.XoffChar, 0x13);
    EXPECT_EQ(s.XoffLim, 410);
    EXPECT_EQ(s.XonLim, 409);
    EXPECT_EQ(SetSWFlow(port, 100, 200, SwFlowTransmit), ErrBadArgument);
    EXPECT_EQ(SetFlowChars(port, 'Q', 'S'), 0);
    EXPECT_EQ(FakeDevice().Settings.XonChar, 'Q');
    EXPECT_EQ(ClearSWFlow(port), 0);
    EXPECT_FALSE(FakeDevice().Settings.Flags & (DcbInX | DcbOutX));
}

TEST_F(PortLayer, LinesHeldLowStayOutOfHandshake)
{
    const PortHandle port = OpenFake();
    EXPECT_EQ(SetDTR(port, false), 0);
    EXPECT_EQ(FakeDevice().Escapes.back(), EscClrDtr);
    EXPECT_EQ(SetRTS(port, false), 0);
    EXPECT_EQ(FakeDevice().Escapes.back(), EscClrRts);
    EXPECT_EQ(SetHWFlow(port, 100, 10, HwFlowUseDtr | HwFlowUseRts), 0);
    EXPECT_EQ(FakeDevice().Settings.Flags & (DcbDtrControlMask | DcbRtsControlMask), 0u);
    EXPECT_EQ(SetRTS(port, true), 0);
    EXPECT_EQ(SetHWFlow(port, 100, 10, HwFlowUseRts), 0);
    EXPECT_EQ(FakeDevice().Settings.Flags & DcbRtsControlMask, DcbRtsControlHandshake);
}

TEST_F(PortLayer, ModemStatusKeepsOnlyTheAskedDeltas)
{
    const PortHandle port = OpenFake();
    PortRecord& record = *LookupPort(port);
    FakeDevice().ModemLines = ModemCts | ModemDcd;
    record.ModemStatus = 0x09; // delta CTS and delta DCD seen by the dispatcher
    record.RingTrailingEdgePending = true;
    EXPECT_EQ(GetModemStatus(port, 0x01), 0x90 | 0x09 | 0x04);
    EXPECT_EQ(GetModemStatus(port, 0xFF), 0x90 | 0x01) << "only the kept delta remains";
    EXPECT_EQ(GetModemStatus(port, 0xF0), 0x90 | 0x01);
    EXPECT_EQ(GetModemStatus(port, 0xF0), 0x90);
}

TEST_F(PortLayer, LineErrorsAccumulateAndAreReportedInOrder)
{
    const PortHandle port = OpenFake();
    FakeDevice().PendingErrors = LineErrFraming | LineErrOverrun | LineErrBreak;
    EXPECT_EQ(GetLineError(port), 2);
    EXPECT_EQ(GetLineError(port), 9) << "the four low bits were cleared together";
    EXPECT_EQ(CheckLineBreak(port), 1);
    EXPECT_EQ(CheckLineBreak(port), 0);
    EXPECT_EQ(GetLineError(port), 0);
    FakeDevice().PendingErrors = LineErrParity;
    EXPECT_EQ(GetLineError(port), 3);
}

TEST_F(PortLayer, QueueSizesReachTheDevice)
{
    const PortHandle port = OpenFake(9600, 1024, 512);
    EXPECT_EQ(SetupQueues(port, 2048, 512), 0);
    EXPECT_EQ(SetHWFlow(port, 2000, 10, HwFlowUseRts), 0) << "thresholds follow the new InSize";
    FakeDevice().FailSetup = true;
    EXPECT_EQ(SetupQueues(port, 100, 100), ErrBadArgument);
    EXPECT_EQ(OutBuffFree(port), 512);
}

TEST_F(PortLayer, ElapsedTicksCountFromOpen)
{
    const PortHandle port = OpenFake();
    EXPECT_LT(ElapsedTicks(port), 60000u);
    EXPECT_EQ(ElapsedTicks(0), 0u);
}

TEST_F(PortLayer, NullLayerOpenFailsWithItsOwnCode)
{
    InstallNullLayer();
    PortHandle port = 0;
    EXPECT_EQ(OpenPort(&port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), ErrNullApi);
    EXPECT_EQ(PortsInUse(), 0);
}

} // namespace
} // namespace zop
