// The dispatcher and its triggers. The trigger cases run twice: over a real
// pseudo-terminal and over the scripted device; cases that need to script
// the device (modem lines, a vanishing device, a read that hangs) run over the
// scripted device only. No case sleeps: the test waits until the dispatcher
// has read and handled everything that was sent.
#include "comm/Clock.h"
#include "comm/Dispatcher.h"
#include "comm/ErrorCodes.h"
#include "comm/MessageWindow.h"
#include "comm/PortLayer.h"
#include "comm/PortTable.h"
#include "comm/Triggers.h"
#include "comm/PosixLayer.h"
#include "comm/tests/PtyDevice.h"
#include "comm/tests/ScriptedDevice.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zop {
namespace {

using test::PtyDevice;
using test::ScriptedDevice;

struct Message {
    std::uint32_t Msg = 0;
    std::uint16_t WParam = 0;
    std::uint16_t Port = 0;
    std::uint16_t Low = 0;
    bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& m)
{
    const char* name = m.Msg == TriggerAvailMsg ? "Avail"
        : m.Msg == TriggerDataMsg               ? "Data"
        : m.Msg == TriggerTimerMsg              ? "Timer"
        : m.Msg == TriggerStatusMsg             ? "Status"
                                                : "?";
    return out << name << "(" << m.WParam << ", port " << m.Port << ", " << m.Low << ")";
}

// A receiver window on the test thread that records what it is sent and
// can act on each message (take bytes, close the port, ...).
class Receiver {
public:
    Receiver()
        : m_window(CreateMessageWindow([this](WindowHandle, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
            const Message m { msg, static_cast<std::uint16_t>(wp), static_cast<std::uint16_t>(lp >> 16),
                static_cast<std::uint16_t>(lp & 0xFFFF) };
            Messages.push_back(m);
            if (Action)
                Action(m);
            return std::intptr_t { 0 };
        }))
    {
    }
    ~Receiver() { DestroyMessageWindow(m_window); }
    WindowHandle Window() const { return m_window; }

    std::vector<Message> Messages;
    std::function<void(const Message&)> Action;

private:
    WindowHandle m_window;
};

void Pump()
{
    PumpMessages();
}

std::string Take(PortHandle port, int count)
{
    std::string taken;
    std::uint8_t byte = 0;
    for (int i = 0; i < count && GetChar(port, &byte) == 0; ++i)
        taken += static_cast<char>(byte);
    return taken;
}

// Entries of a folder: /proc/self/task holds this process's threads,
// /proc/self/fd its open descriptors.
int CountEntries(const char* folder)
{
    int count = 0;
    if (DIR* dir = opendir(folder)) {
        while (const dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

int CountThreads()
{
    return CountEntries("/proc/self/task");
}

// Over a pseudo-terminal, the receiving window's thread reads the bytes
// itself (PtyWindowReads) or leaves the reading to the dispatcher thread
// (Pty); the messages are the same.
enum class DeviceKind { Pty, PtyWindowReads, Scripted };

std::string KindName(const testing::TestParamInfo<DeviceKind>& info)
{
    return info.param == DeviceKind::Pty           ? "Pty"
        : info.param == DeviceKind::PtyWindowReads ? "PtyWindowReads"
                                                   : "Scripted";
}

class TriggerCaseTest : public testing::TestWithParam<DeviceKind> {
protected:
    TriggerCaseTest()
    {
        AllowWindowReads(GetParam() != DeviceKind::Pty);
        if (GetParam() != DeviceKind::Scripted) {
            InstallPosixLayer();
            m_pty.emplace();
            m_path = m_pty->Path();
        } else {
            m_scripted.emplace();
            m_path = m_scripted->Name();
        }
    }
    ~TriggerCaseTest() override
    {
        InstallNullLayer();
        AllowWindowReads(true);
    }
    void SetUp() override
    {
        OpenAndListen();
        // Read ahead as the component does: bytes taken during a trigger
        // message are consumed when the delivery ends.
        ASSERT_EQ(ClearPortOptions(m_port, OptionConsumeOnRead), 0);
    }
    void TearDown() override
    {
        if (m_port != 0 && LookupPort(m_port))
            ClosePort(m_port);
    }
    void OpenAndListen()
    {
        ASSERT_EQ(OpenPort(&m_port, 4, m_path.c_str(), 9600, 0, 8, 1, 4096, 4096), 0);
        ASSERT_EQ(RegisterTriggerHandler(m_port, m_receiver.Window(), nullptr, false), 0);
        m_fed = 0;
        if (GetParam() == DeviceKind::PtyWindowReads) {
            ASSERT_TRUE(WindowReads());
        }
    }
    // Waits until the receiving window's thread reads for itself.
    bool WindowReads()
    {
        return ScriptedDevice::PumpUntil(
            [&] {
                DispatcherProgress progress;
                return GetDispatcherProgress(m_port, &progress) && progress.WindowReads;
            },
            Pump);
    }
    std::uint16_t Trigger(const std::string& pattern, bool ignoreCase = false)
    {
        const std::int32_t handle = AddDataTrigger(m_port, reinterpret_cast<const std::uint8_t*>(pattern.data()),
            ignoreCase, static_cast<std::uint16_t>(pattern.size()));
        EXPECT_GE(handle, 2);
        return static_cast<std::uint16_t>(handle);
    }
    // Sends bytes and waits until the dispatcher has read them and finished
    // handling the event that brought them.
    void Feed(const std::string& bytes)
    {
        Send(bytes);
        ASSERT_TRUE(Settled());
    }
    void Send(const std::string& bytes)
    {
        m_fed += bytes.size();
        if (m_pty)
            ASSERT_TRUE(m_pty->Write(bytes));
        else
            m_scripted->Arrive(bytes);
    }
    bool Settled()
    {
        return ScriptedDevice::PumpUntil(
            [&] {
                DispatcherProgress progress;
                return GetDispatcherProgress(m_port, &progress) && progress.BytesRead == m_fed && !progress.Busy;
            },
            Pump);
    }
    // Takes exactly the announced bytes of every TriggerAvailMsg.
    void TakeAnnounced()
    {
        m_receiver.Action = [this](const Message& m) {
            if (m.Msg == TriggerAvailMsg)
                m_taken += Take(m_port, m.WParam);
        };
    }
    Message Avail(std::uint16_t count) const { return { TriggerAvailMsg, count, m_port, 0 }; }
    Message Data(std::uint16_t handle, std::uint16_t length = 1) const
    {
        return { TriggerDataMsg, handle, m_port, length };
    }

    std::optional<PtyDevice> m_pty;
    std::optional<ScriptedDevice> m_scripted;
    std::string m_path;
    Receiver m_receiver;
    PortHandle m_port = 0;
    std::uint64_t m_fed = 0;
    std::string m_taken;
};

INSTANTIATE_TEST_SUITE_P(Devices, TriggerCaseTest,
    testing::Values(DeviceKind::Pty, DeviceKind::PtyWindowReads, DeviceKind::Scripted), KindName);

// Cases that script the device itself.
class DispatcherTest : public TriggerCaseTest {
protected:
    ScriptedDevice& m_device = *m_scripted;
};

INSTANTIATE_TEST_SUITE_P(Devices, DispatcherTest, testing::Values(DeviceKind::Scripted), KindName);

TEST_P(TriggerCaseTest, OneByteTriggerFiresOnceForEveryOccurrenceWithLengthOne)
{
    const std::uint16_t cr = Trigger("\r");
    Feed("12\r3\r\r");
    Feed("\r");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr), Data(cr), Data(cr), Data(cr) }));
}

TEST_P(TriggerCaseTest, AnnouncedBytesTakenLetTheDataTriggerFollowAtOnce)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    const std::uint16_t cr = Trigger("\r");
    TakeAnnounced();
    Feed("ab\r");
    // The terminator itself is announced after its trigger.
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(2), Data(cr), Avail(1) }));
    EXPECT_EQ(m_taken, "ab\r");
    EXPECT_EQ(InBuffUsed(m_port), 0);
}

TEST_P(TriggerCaseTest, DataTriggerWaitsForTheNextEventWhenFewerBytesWereTaken)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    const std::uint16_t cr = Trigger("\r");
    m_receiver.Action = [this](const Message& m) {
        if (m.Msg == TriggerAvailMsg && m_receiver.Messages.size() == 1)
            m_taken += Take(m_port, 1);
    };
    Feed("ab\r");
    EXPECT_EQ(InBuffUsed(m_port), 2); // the taken byte was consumed when the delivery ended
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(2) }));

    TakeAnnounced();
    Feed("c");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(2), Data(cr), Avail(3) }));
    EXPECT_EQ(m_taken, "ab\rc");
}

TEST_P(TriggerCaseTest, OneAvailabilityMessagePerBatchWithoutAMatch)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    Trigger("\r");
    Feed("abc");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(3) }));
    // A device event without new bytes announces nothing again.
    if (m_scripted) {
        m_scripted->RaiseEvent(EvRxChar);
        ASSERT_TRUE(m_scripted->Settle(Pump));
        EXPECT_EQ(m_receiver.Messages.size(), 1u);
    }
    Feed("de");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(3), Avail(5) }));
}

TEST_P(TriggerCaseTest, ThresholdBelowTheWaitingBytesHoldsTheAnnouncementBack)
{
    ASSERT_EQ(SetTriggerLength(m_port, 4), 0);
    Feed("abc");
    EXPECT_TRUE(m_receiver.Messages.empty());
    Feed("d");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(4) }));
}

TEST_P(TriggerCaseTest, ThresholdZeroSendsNoAvailabilityButDataStillFires)
{
    const std::uint16_t cr = Trigger("\r");
    Feed("abc\rdef\rgh");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr), Data(cr) }));
    EXPECT_EQ(InBuffUsed(m_port), 10);
}

TEST_P(TriggerCaseTest, PatternLengthsAndSlotLimits)
{
    const std::string longest(21, 'x');
    const std::string tooLong(22, 'x');
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(tooLong.data());
    EXPECT_EQ(AddDataTrigger(m_port, bytes, false, 22), ErrTriggerTooLong);
    const std::uint16_t first = Trigger(longest);
    EXPECT_EQ(first, 2);
    for (int i = 2; i <= 20; ++i)
        EXPECT_EQ(Trigger("t" + std::to_string(i)), i + 1);
    EXPECT_EQ(AddDataTrigger(m_port, bytes, false, 1), ErrNoMoreTriggers);
    EXPECT_EQ(AddDataTrigger(m_port, bytes, false, 22), ErrTriggerTooLong);
    EXPECT_EQ(AddDataTrigger(51, bytes, false, 1), ErrBadHandle);
    Feed(longest);
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(first, 21) }));
}

TEST_P(TriggerCaseTest, ZeroLengthTriggerGetsAHandleNeverFiresAndLeavesItsSlotFree)
{
    const std::int32_t empty = AddDataTrigger(m_port, nullptr, false, 0);
    EXPECT_EQ(empty, 2);
    const std::uint16_t cr = Trigger("\r");
    EXPECT_EQ(cr, 3);
    TriggerSnapshot tables;
    ASSERT_EQ(SaveTriggers(m_port, &tables), 0);
    EXPECT_EQ(tables.Data[1].TriggerHandle, cr) << "the empty trigger's slot was reused";
    Feed(std::string("\0\r", 2));
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr) }));
}

TEST_P(TriggerCaseTest, IgnoreCaseMatchesBothCasesCaseSensitiveOnlyItsOwn)
{
    const std::uint16_t folded = Trigger("ok", true);
    const std::uint16_t exact = Trigger("ok");
    Feed("OK ok oK");
    EXPECT_EQ(m_receiver.Messages,
        (std::vector<Message> { Data(folded, 2), Data(folded, 2), Data(exact, 2), Data(folded, 2) }));
}

TEST_P(TriggerCaseTest, OverlappingPatternFiresTwiceOnThreeBytes)
{
    const std::uint16_t aa = Trigger("aa");
    Feed("aaa");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(aa, 2), Data(aa, 2) }));
}

TEST_P(TriggerCaseTest, MatchesSpanningDeviceEvents)
{
    const std::uint16_t end = Trigger("END");
    Feed("xxE");
    Feed("N");
    EXPECT_TRUE(m_receiver.Messages.empty());
    Feed("Dyy");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(end, 3) }));
}

TEST_P(TriggerCaseTest, AByteHeldForAnAnnouncementIsNotOfferedTwice)
{
    // Both triggers see the terminator once: the two-byte pattern must not
    // complete on a single terminator while the scan waits for the receiver.
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    const std::uint16_t cr = Trigger("\r");
    Trigger("\r\r");
    TakeAnnounced();
    Feed("ab\r");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(2), Data(cr), Avail(1) }));
}

TEST_P(TriggerCaseTest, ClosingInsideADataHandlerEndsDeliveryAndFreesTheSlot)
{
    const std::uint16_t cr = Trigger("\r");
    std::int32_t closeResult = -1;
    std::int32_t readAfterClose = 0;
    std::int32_t reopenResult = -1;
    PortHandle reopened = 0;
    m_receiver.Action = [&](const Message& m) {
        if (m.Msg != TriggerDataMsg)
            return;
        closeResult = ClosePort(m_port);
        std::uint8_t waiting = 0;
        readAfterClose = GetChar(m_port, &waiting); // bytes wait, but the port is closing
        // The device is free at once, though the slot is still closing.
        reopenResult = OpenPort(&reopened, 4, m_path.c_str(), 9600, 0, 8, 1, 4096, 4096);
    };
    const PortHandle closed = m_port;
    Send("a\rb\rc\r");
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return Ports().InUse[closed].load() == 0; }, Pump));
    EXPECT_EQ(closeResult, 0);
    EXPECT_EQ(readAfterClose, ErrBadHandle);
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr) }));
    EXPECT_EQ(reopenResult, 0);
    EXPECT_NE(reopened, closed);
    EXPECT_EQ(LookupPort(closed), nullptr);
    std::uint8_t byte = 0;
    EXPECT_EQ(GetChar(closed, &byte), ErrBadHandle);
    ASSERT_EQ(ClosePort(reopened), 0);
    m_port = 0;
}

TEST_P(TriggerCaseTest, ReceiversNewestFirstWithPassOnAndRemoval)
{
    Receiver older;
    Receiver newer;
    ASSERT_EQ(RegisterTriggerHandler(m_port, older.Window(), nullptr, true), 0);
    ASSERT_EQ(RegisterTriggerHandler(m_port, newer.Window(), nullptr, false), 0);
    const std::uint16_t cr = Trigger("\r");
    Feed("\r");
    EXPECT_EQ(newer.Messages.size(), 1u);
    EXPECT_TRUE(older.Messages.empty()) << "the newest receiver does not pass on";

    ASSERT_EQ(DeregisterTriggerHandler(m_port, newer.Window(), nullptr), 0);
    Feed("\r");
    EXPECT_EQ(newer.Messages.size(), 1u);
    EXPECT_EQ(older.Messages, (std::vector<Message> { Data(cr) }));
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr) })) << "the older receiver passes on";
    EXPECT_EQ(DeregisterTriggerHandler(0, older.Window(), nullptr), ErrBadHandle);
}

TEST_P(TriggerCaseTest, AHandleHandedOutAgainDuringItsMessageStopsThatMessage)
{
    Receiver newer;
    ASSERT_EQ(RegisterTriggerHandler(m_port, newer.Window(), nullptr, true), 0);
    const std::uint16_t cr = Trigger("\r");
    std::int32_t again = 0;
    newer.Action = [&](const Message& m) {
        if (m.Msg != TriggerDataMsg || again != 0)
            return;
        // The trigger goes and its handle is given to a new trigger while
        // its message is still on its way.
        const TriggerSnapshot empty {};
        RestoreTriggers(m_port, &empty);
        const std::uint8_t x = 'x';
        again = AddDataTrigger(m_port, &x, false, 1);
    };
    Feed("\r");
    EXPECT_EQ(again, cr);
    EXPECT_EQ(newer.Messages, (std::vector<Message> { Data(cr) }));
    EXPECT_TRUE(m_receiver.Messages.empty()) << "the older receiver must not get a message about the new trigger";
    Feed("x");
    EXPECT_EQ(newer.Messages.size(), 2u);
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr) }));
}

TEST_P(TriggerCaseTest, AReceiverRemovingItselfDuringADeliveryIsUnlinkedAfterIt)
{
    Receiver leaving;
    ASSERT_EQ(RegisterTriggerHandler(m_port, leaving.Window(), nullptr, true), 0);
    const std::uint16_t cr = Trigger("\r");
    leaving.Action = [&](const Message&) { DeregisterTriggerHandler(m_port, leaving.Window(), nullptr); };
    Feed("\r");
    Feed("\r");
    EXPECT_EQ(leaving.Messages, (std::vector<Message> { Data(cr) }));
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr), Data(cr) }));
}

std::atomic<int> g_procedureCalls { 0 };
std::atomic<WindowHandle> g_procedureWindow { 1 };
void CountingProcedure(WindowHandle window, std::uint32_t, std::uint32_t, std::int32_t)
{
    g_procedureWindow = window;
    ++g_procedureCalls;
}

TEST_P(TriggerCaseTest, ProcedureReceiversAreCalledOnTheDispatcherThread)
{
    g_procedureCalls = 0;
    ASSERT_EQ(RegisterTriggerHandler(m_port, 0, CountingProcedure, true), 0);
    Trigger("\r");
    Feed("\r\r");
    EXPECT_EQ(g_procedureCalls, 2);
    EXPECT_EQ(g_procedureWindow, 0u);
    EXPECT_EQ(m_receiver.Messages.size(), 2u);
    ASSERT_EQ(DeregisterTriggerHandler(m_port, 0, CountingProcedure), 0);
    Feed("\r");
    EXPECT_EQ(g_procedureCalls, 2);
    EXPECT_EQ(m_receiver.Messages.size(), 3u);
}

std::atomic<int> g_offThreadCalls { 0 };
std::thread::id g_testThread;
void OffThreadProcedure(WindowHandle, std::uint32_t, std::uint32_t, std::int32_t)
{
    if (std::this_thread::get_id() != g_testThread)
        ++g_offThreadCalls;
}

TEST_P(TriggerCaseTest, AProcedureReceiverAddedDuringAWindowsMessageRunsOnTheDispatcherThread)
{
    // The window's thread handles the line ends one after the other; a
    // procedure receiver it adds on the way must still be called by the
    // dispatcher thread, never on the window's thread.
    g_offThreadCalls = 0;
    g_testThread = std::this_thread::get_id();
    Trigger("\r");
    m_receiver.Action = [this](const Message&) {
        if (m_receiver.Messages.size() == 1)
            RegisterTriggerHandler(m_port, 0, OffThreadProcedure, true);
    };
    Feed("\r\r\r");
    EXPECT_EQ(m_receiver.Messages.size(), 3u);
    EXPECT_EQ(g_offThreadCalls, 2);
    ASSERT_EQ(DeregisterTriggerHandler(m_port, 0, OffThreadProcedure), 0);
}

TEST_P(TriggerCaseTest, ReadAheadIsPerReceiverAndConsumedAfterAllHaveSeenTheBytes)
{
    Receiver second;
    ASSERT_EQ(RegisterTriggerHandler(m_port, second.Window(), nullptr, true), 0);
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    std::string seenBySecond;
    std::string seenByFirst;
    std::int32_t usedInside = -1;
    second.Action = [&](const Message& m) {
        if (m.Msg == TriggerAvailMsg)
            seenBySecond += Take(m_port, 2);
    };
    m_receiver.Action = [&](const Message& m) {
        if (m.Msg == TriggerAvailMsg) {
            seenByFirst += Take(m_port, 3);
            usedInside = InBuffUsed(m_port);
        }
    };
    Feed("xyz");
    EXPECT_EQ(seenBySecond, "xy");
    EXPECT_EQ(seenByFirst, "xyz");
    EXPECT_EQ(usedInside, 0);
    EXPECT_EQ(InBuffUsed(m_port), 0) << "the largest read-ahead was consumed";
}

TEST_P(TriggerCaseTest, ConsumeOnReadMakesAnAnnouncementEndTheChecks)
{
    ASSERT_EQ(SetPortOptions(m_port, OptionConsumeOnRead), 0);
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    const std::uint16_t cr = Trigger("\r");
    TakeAnnounced();
    Feed("ab\r");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(2) }));
    EXPECT_EQ(InBuffUsed(m_port), 1);
    Feed("c");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(2), Data(cr), Avail(2) }));
}

TEST_P(TriggerCaseTest, SavedTriggersCarryTheirHandlesToAReopenedPort)
{
    ASSERT_EQ(SetTriggerLength(m_port, 7), 0);
    Trigger("x");
    const std::uint16_t cr = Trigger("\r");
    TriggerSnapshot snapshot;
    ASSERT_EQ(SaveTriggers(m_port, &snapshot), 0);
    EXPECT_EQ(snapshot.AvailThreshold, 7);
    ASSERT_EQ(ClosePort(m_port), 0);
    EXPECT_EQ(SaveTriggers(m_port, &snapshot), ErrBadHandle);

    OpenAndListen();
    TriggerSnapshot cleared;
    ASSERT_EQ(SaveTriggers(m_port, &cleared), 0);
    EXPECT_EQ(cleared.AvailThreshold, 0);
    EXPECT_EQ(cleared.Data[2].Length, 0) << "open starts with empty tables";
    ASSERT_EQ(RestoreTriggers(m_port, &snapshot), 0);
    ASSERT_EQ(SetTriggerLength(m_port, 0), 0);
    Feed("\r");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr) }));
}

TEST_P(TriggerCaseTest, RestoredTriggersStartMatchingAfresh)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    const std::uint16_t cr = Trigger("\r");
    const std::uint16_t arb = Trigger("a\rb");
    TriggerSnapshot snapshot;
    // Taken while an announcement holds the terminator's trigger matched
    // and "a\rb" two bytes into a match.
    m_receiver.Action = [&](const Message& m) {
        if (m.Msg == TriggerAvailMsg)
            SaveTriggers(m_port, &snapshot);
    };
    Send("xa\r");
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return !m_receiver.Messages.empty(); }, Pump));
    EXPECT_EQ(m_receiver.Messages.front(), Avail(2));
    ASSERT_EQ(ClosePort(m_port), 0);
    OpenAndListen();
    ASSERT_EQ(RestoreTriggers(m_port, &snapshot), 0);
    ASSERT_EQ(SetTriggerLength(m_port, 0), 0);
    m_receiver.Messages.clear();
    m_receiver.Action = nullptr;
    Feed("b");
    EXPECT_TRUE(m_receiver.Messages.empty());
    Feed("a\rb");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr), Data(arb, 3) }));
}

TEST_P(DispatcherTest, FullRingLeavesBytesInTheDeviceUntilTheReceiversTakeSome)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    Send(std::string(9000, 'q'));
    ASSERT_TRUE(m_device.Settle(Pump));
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(8192) }));
    EXPECT_EQ(InBuffUsed(m_port), 8192);
    EXPECT_EQ(m_device.Waiting(), 808u);

    // Taking bytes outside a delivery makes room; the idle check reads on.
    EXPECT_EQ(Take(m_port, 100), std::string(100, 'q'));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return m_receiver.Messages.size() == 2; }, Pump));
    EXPECT_EQ(m_receiver.Messages.back(), Avail(8192));
    EXPECT_EQ(m_device.Waiting(), 708u);
}

// A batch that finds the ring empty comes in one read, wherever the last
// one left off: the ring starts again at its beginning.
TEST_P(DispatcherTest, ABatchIntoAnEmptyRingComesInOneRead)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    TakeAnnounced();
    std::string sent;
    for (const std::size_t size : { 8000u, 400u, 7999u, 8192u, 1u, 8192u }) {
        std::string batch;
        for (std::size_t i = 0; i < size; ++i)
            batch += static_cast<char>('a' + (sent.size() + i) % 23);
        sent += batch;
        const std::uint64_t reads = m_device.Reads();
        Feed(batch);
        EXPECT_EQ(m_device.Reads() - reads, 1u) << size << " bytes";
    }
    EXPECT_EQ(m_taken, sent);
}

TEST_P(DispatcherTest, AThresholdSetWhileTheRingIsFullAnnouncesTheWaitingBytes)
{
    // No threshold yet: the ring fills and nothing is announced.
    Send(std::string(9000, 'q'));
    ASSERT_TRUE(m_device.Settle(Pump));
    EXPECT_TRUE(m_receiver.Messages.empty());
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    TakeAnnounced();
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return m_taken.size() == 9000; }, Pump));
    EXPECT_EQ(m_receiver.Messages.front(), Avail(8192));
}

TEST_P(TriggerCaseTest, BlocksAreTakenLikeSingleBytesAcrossTheRingEnd)
{
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += static_cast<char>('A' + i % 26);
    std::vector<std::uint8_t> buffer(8192);
    auto takeBlock = [&](std::int32_t count) {
        const std::int32_t got = GetBlock(m_port, buffer.data(), count);
        return got < 0 ? std::string() : std::string(buffer.begin(), buffer.begin() + got);
    };
    Feed(text.substr(0, 6000));
    EXPECT_EQ(takeBlock(4000), text.substr(0, 4000));
    EXPECT_EQ(InBuffUsed(m_port), 2000);
    Feed(text.substr(6000));
    EXPECT_EQ(takeBlock(8192), text.substr(4000, 6000)) << "across the ring's end";
    EXPECT_EQ(GetBlock(m_port, buffer.data(), 1), ErrBufferIsEmpty);
    EXPECT_EQ(GetBlock(m_port, buffer.data(), 0), 0);
    EXPECT_EQ(GetBlock(m_port, nullptr, 1), ErrBadArgument);
    EXPECT_EQ(GetBlock(0, buffer.data(), 1), ErrBadHandle);

    // During a trigger message blocks are read ahead like single bytes.
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    std::string seen;
    std::int32_t left = -1;
    m_receiver.Action = [&](const Message& m) {
        if (m.Msg != TriggerAvailMsg)
            return;
        seen += takeBlock(2);
        std::uint8_t byte = 0;
        if (GetChar(m_port, &byte) == 0)
            seen += static_cast<char>(byte);
        seen += takeBlock(100);
        left = InBuffUsed(m_port);
    };
    Feed("xyzw");
    EXPECT_EQ(seen, "xyzw");
    EXPECT_EQ(left, 0);
    EXPECT_EQ(InBuffUsed(m_port), 0) << "consumed when the delivery ended";
}

// Byte by byte during a trigger message: across the ring's end, around
// blocks, and after the handler flushed the ring (the flushed bytes are gone
// and the ring stays sound when the delivery ends).
TEST_P(TriggerCaseTest, SingleBytesDuringADeliveryFollowTheRing)
{
    struct Case {
        const char* Name;
        std::size_t TailAt; // bytes passed through the ring before
        std::string Arriving;
        std::function<std::string(PortHandle)> Handler;
        std::string Seen;
        std::string Next; // what a later delivery reads
    };
    const std::string wrapping = std::string(150, 'w') + "x";
    const std::vector<Case> cases = {
        { "across the ring's end", InputRingSize - 100, wrapping, [&](PortHandle port) { return Take(port, 200); },
            wrapping, "n" },
        { "around blocks", 0, "abcdef",
            [&](PortHandle port) {
                std::uint8_t block[2] = {};
                std::string seen = Take(port, 1);
                if (GetBlock(port, block, 2) == 2)
                    seen += std::string(block, block + 2);
                return seen + Take(port, 10);
            },
            "abcdef", "n" },
        { "after a flush", 0, "abc",
            [&](PortHandle port) {
                std::string seen = Take(port, 1);
                EXPECT_EQ(FlushPort(port, FlushInput), 0);
                std::uint8_t byte = 0;
                EXPECT_EQ(GetChar(port, &byte), ErrBufferIsEmpty) << "a flushed byte";
                return seen + Take(port, 10);
            },
            "a", "n" },
    };
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        m_receiver.Action = nullptr;
        for (std::size_t passed = 0; passed < c.TailAt; passed += 1000) {
            const std::size_t count = std::min<std::size_t>(1000, c.TailAt - passed);
            Feed(std::string(count, '-'));
            ASSERT_EQ(Take(m_port, static_cast<int>(count)), std::string(count, '-'));
        }
        std::string seen;
        m_receiver.Action = [&](const Message& m) {
            if (m.Msg == TriggerAvailMsg)
                seen += c.Handler(m_port);
        };
        Feed(c.Arriving);
        EXPECT_EQ(seen, c.Seen);
        EXPECT_EQ(InBuffUsed(m_port), 0);
        seen.clear();
        m_receiver.Action = [&](const Message& m) {
            if (m.Msg == TriggerAvailMsg)
                seen += Take(m_port, 10);
        };
        Feed(c.Next);
        EXPECT_EQ(seen, c.Next);
        EXPECT_EQ(InBuffUsed(m_port), 0);
    }
}

TEST_P(TriggerCaseTest, RingWrapsAndTriggersStillSeeEveryByte)
{
    const std::uint16_t cr = Trigger("\r");
    int lines = 0;
    m_receiver.Action = [&](const Message& m) {
        if (m.Msg == TriggerDataMsg)
            ++lines;
    };
    const std::string line = std::string(99, 'L') + "\r";
    for (int i = 0; i < 30; ++i) {
        Feed(line + line + line);
        Take(m_port, 300);
    }
    EXPECT_EQ(lines, 90);
    EXPECT_EQ(m_receiver.Messages.back(), Data(cr));
    EXPECT_EQ(InBuffUsed(m_port), 0);
}

// A receiver window owned by a thread of its own, which pumps its messages
// as a window program's thread does and takes exactly the announced bytes.
class ThreadReceiver {
public:
    explicit ThreadReceiver(PortHandle port)
        : m_port(port)
        , m_thread([this] { Run(); })
    {
        while (m_window == 0)
            std::this_thread::yield();
    }
    ~ThreadReceiver()
    {
        m_stop = true;
        m_thread.join();
    }
    WindowHandle Window() const { return m_window; }
    std::vector<Message> Messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::string Taken() const
    {
        std::lock_guard lock(m_mutex);
        return m_taken;
    }
    std::thread::id Thread() const { return m_thread.get_id(); }
    bool AllOnItsThread() const { return m_allOnItsThread; }

private:
    void Run()
    {
        const WindowHandle window
            = CreateMessageWindow([this](WindowHandle, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
                  std::lock_guard lock(m_mutex);
                  m_allOnItsThread = m_allOnItsThread && std::this_thread::get_id() == m_thread.get_id();
                  m_messages.push_back({ msg, static_cast<std::uint16_t>(wp), static_cast<std::uint16_t>(lp >> 16),
                      static_cast<std::uint16_t>(lp & 0xFFFF) });
                  if (msg == TriggerAvailMsg)
                      m_taken += Take(m_port, static_cast<int>(wp));
                  return std::intptr_t { 0 };
              });
        m_window = window;
        while (!m_stop) {
            WaitForMessages(std::chrono::milliseconds(5));
            PumpMessages();
        }
        DestroyMessageWindow(window);
    }

    PortHandle m_port;
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
    std::string m_taken;
    bool m_allOnItsThread = true;
    std::atomic<WindowHandle> m_window { 0 };
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

TEST_P(DispatcherTest, AReceiverOnAnotherThreadGetsEveryMessageOfABatchInOrder)
{
    ASSERT_EQ(DeregisterTriggerHandler(m_port, m_receiver.Window(), nullptr), 0);
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    const std::uint16_t cr = Trigger("\r");
    ThreadReceiver receiver(m_port);
    ASSERT_EQ(RegisterTriggerHandler(m_port, receiver.Window(), nullptr, false), 0);

    // Lines of 0 to 99 bytes and an unfinished one, in one device event.
    std::string stream;
    std::vector<Message> expected;
    for (int i = 0; i < 150; ++i) {
        const int length = i * 37 % 100;
        stream += std::string(static_cast<std::size_t>(length), static_cast<char>('a' + i % 26)) + "\r";
        // Each announcement also carries the previous line's terminator,
        // which nobody took.
        const int announced = length + (i > 0 ? 1 : 0);
        if (announced > 0)
            expected.push_back(Avail(static_cast<std::uint16_t>(announced)));
        expected.push_back(Data(cr));
    }
    stream += "tail";
    expected.push_back(Avail(5));
    Feed(stream);
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return receiver.Taken().size() == stream.size(); }, Pump));
    EXPECT_EQ(receiver.Messages(), expected);
    EXPECT_EQ(receiver.Taken(), stream);
    EXPECT_TRUE(receiver.AllOnItsThread());
    EXPECT_EQ(InBuffUsed(m_port), 0);
    ASSERT_EQ(DeregisterTriggerHandler(m_port, receiver.Window(), nullptr), 0);
}

TEST_P(DispatcherTest, AMessageItsReceiverDidNotTakeInTimeIsNeverDeliveredLate)
{
    ManualClock clock;
    ScopedProcessClock useClock(clock);
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    const std::uint16_t cr = Trigger("\r");
    TakeAnnounced();
    // The test thread owns the receiver and does not pump for 1000 ms.
    Send("ab\r");
    ASSERT_TRUE(WaitForMessages(std::chrono::milliseconds(60000)));
    clock.Advance(std::chrono::milliseconds(1000));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([] { return !MessagesWaiting(); }, [] {}));
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(m_receiver.Messages.empty()) << "the announcement of \"ab\" was withdrawn";
    // It was not taken: the next event delivers the line end, then announces
    // every waiting byte.
    Feed("c");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr), Avail(4) }));
    EXPECT_EQ(m_taken, "ab\rc");
}

TEST_P(DispatcherTest, AReceiverThatThrowsDoesNotHoldBackTheMessagesAfterIt)
{
    const std::uint16_t cr = Trigger("\r");
    m_receiver.Action = [this](const Message&) {
        if (m_receiver.Messages.size() == 1)
            throw std::runtime_error("receiver failed");
    };
    int failures = 0;
    Send("a\rb\r");
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return m_receiver.Messages.size() == 2; },
        [&] {
            try {
                PumpMessages();
            } catch (const std::runtime_error&) {
                ++failures;
            }
        }));
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr), Data(cr) }));
    ASSERT_TRUE(Settled());
    Feed("\r");
    EXPECT_EQ(m_receiver.Messages.size(), 3u);
}

TEST_P(DispatcherTest, StatusTriggerFiresOnceOnAModemLineChange)
{
    TriggerSnapshot tables;
    ASSERT_EQ(SaveTriggers(m_port, &tables), 0);
    // A status trigger on CTS (reference 0, mask 0x10), armed by hand.
    tables.Handles[5] = { 1, TriggerKindStatus };
    tables.Status[1] = { 5, 1, 1, 0x1000 };
    ASSERT_EQ(RestoreTriggers(m_port, &tables), 0);
    EXPECT_EQ(GetStatusTriggerKind(m_port, 5), 1);
    EXPECT_EQ(GetStatusTriggerKind(m_port, 4), 0);

    m_device.SetModemLines(ModemCts);
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return !m_receiver.Messages.empty(); }, Pump));
    EXPECT_EQ(m_receiver.Messages.front(), (Message { TriggerStatusMsg, 5, m_port, 0 }));
    EXPECT_EQ(GetModemStatus(m_port, 0) & 0x11, 0x11) << "CTS with its delta";
    m_device.SetModemLines(0);
    ASSERT_TRUE(m_device.Settle(Pump));
    m_device.SetModemLines(ModemCts);
    ASSERT_TRUE(m_device.Settle(Pump));
    EXPECT_EQ(m_receiver.Messages.size(), 1u) << "a fired trigger is disarmed";
}

TEST_P(DispatcherTest, TimerTriggerFiresWhenItsTimeHasCome)
{
    ManualClock clock;
    ScopedProcessClock useClock(clock);
    const std::uint32_t now = (clock.TickCount() & 0x7FFFFFFF) / 55;
    TriggerSnapshot tables;
    ASSERT_EQ(SaveTriggers(m_port, &tables), 0);
    tables.Handles[9] = { 1, TriggerKindTimer };
    tables.Timers[1] = { 9, now, now + 10, 1 };
    ASSERT_EQ(RestoreTriggers(m_port, &tables), 0);
    m_device.RaiseEvent(EvRxChar); // an idle check follows any event within 50 ms
    ASSERT_TRUE(m_device.Settle(Pump));
    EXPECT_TRUE(m_receiver.Messages.empty());
    clock.Advance(std::chrono::milliseconds(55 * 11));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return !m_receiver.Messages.empty(); }, Pump));
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { { TriggerTimerMsg, 9, m_port, 0 } }));
    // The dispatcher must be gone before its clock.
    EXPECT_EQ(ClosePort(m_port), 0);
    m_port = 0;
}

TEST_P(DispatcherTest, OutputThreadWritesQueuedBytesInOrder)
{
    const std::string text = "hello, instrument";
    ASSERT_EQ(
        PutBlock(m_port, reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::int32_t>(text.size())),
        static_cast<std::int32_t>(text.size()));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return m_device.Written() == text; }, Pump));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return OutBuffUsed(m_port) == 0; }, Pump));
}

TEST_P(DispatcherTest, VanishedDeviceIsNeverWaitedOnAgain)
{
    const std::uint16_t cr = Trigger("\r");
    Feed("\r");
    const std::uint64_t waits = m_device.Waits();
    m_device.Vanish();
    // A spinning event thread would start thousands of waits meanwhile.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    ScriptedDevice::PumpUntil([&] { return std::chrono::steady_clock::now() > until; }, Pump);
    EXPECT_LE(m_device.Waits(), waits + 1);
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr) }));
    EXPECT_EQ(ClosePort(m_port), 0);
    EXPECT_EQ(LookupPort(m_port), nullptr);
    m_port = 0;
}

// Cases over a pseudo-terminal, whose received bytes the dispatcher thread
// waits for and reads itself.
class PtyDispatcherTest : public TriggerCaseTest {
protected:
    // Processor time the whole process uses while the test thread sleeps:
    // a thread that spins on a readable or hung-up descriptor uses most of it.
    static std::chrono::nanoseconds BusyTimeWhileAsleep(std::chrono::milliseconds sleep)
    {
        const auto cpu = [] {
            timespec now {};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
            return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
        };
        const auto before = cpu();
        std::this_thread::sleep_for(sleep);
        return cpu() - before;
    }
    static constexpr std::chrono::milliseconds Sleep { 300 };
    static constexpr std::chrono::milliseconds SpinLimit { 100 };
    // Waits, without pumping, until the dispatcher has read every byte sent.
    bool ReadWithoutPumping()
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        DispatcherProgress progress;
        while (GetDispatcherProgress(m_port, &progress) && progress.BytesRead < m_fed) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return progress.BytesRead == m_fed;
    }
};

INSTANTIATE_TEST_SUITE_P(Devices, PtyDispatcherTest, testing::Values(DeviceKind::Pty), KindName);

// Bytes that arrive while the receiver handles the first announcement: the
// dispatcher thread reads them meanwhile, beside the receiver's thread, and
// they join the batch being delivered, in byte order; a terminator held back
// by bytes not taken follows at once, as it would on the next device event.
TEST_P(PtyDispatcherTest, BytesArrivingWhileTheReceiverHandlesAMessageFollowInOrder)
{
    struct Case {
        const char* Name;
        std::string First;
        std::string During;
        int TakeFirst; // bytes the first announcement's handler takes; -1: all announced
        std::vector<std::pair<char, std::uint16_t>> Expected; // 'A' Avail(n), 'D' Data of the terminator
    };
    const Case cases[] = {
        { "lines arrive", "a\r", "bc\rd\r", -1,
            { { 'A', 1 }, { 'D', 0 }, { 'A', 3 }, { 'D', 0 }, { 'A', 2 }, { 'D', 0 }, { 'A', 1 } } },
        { "a line is completed", "a", "b\r", -1, { { 'A', 1 }, { 'A', 1 }, { 'D', 0 }, { 'A', 1 } } },
        { "announced bytes not all taken", "ab\r", "c\r", 1,
            { { 'A', 2 }, { 'D', 0 }, { 'A', 3 }, { 'D', 0 }, { 'A', 1 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ClosePort(m_port);
        OpenAndListen();
        ASSERT_EQ(ClearPortOptions(m_port, OptionConsumeOnRead), 0);
        ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
        const std::uint16_t cr = Trigger("\r");
        std::vector<Message> expected;
        for (const auto& [kind, count] : c.Expected)
            expected.push_back(kind == 'A' ? Avail(count) : Data(cr));
        m_receiver.Messages.clear();
        m_taken.clear();
        bool first = true;
        bool readMeanwhile = false;
        m_receiver.Action = [&](const Message& m) {
            if (m.Msg != TriggerAvailMsg)
                return;
            m_taken += Take(m_port, first && c.TakeFirst >= 0 ? c.TakeFirst : m.WParam);
            if (!std::exchange(first, false))
                return;
            Send(c.During);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            DispatcherProgress progress;
            while (GetDispatcherProgress(m_port, &progress) && progress.BytesRead < m_fed
                && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            readMeanwhile = progress.BytesRead == m_fed;
        };
        Send(c.First);
        ASSERT_TRUE(ScriptedDevice::PumpUntil(
            [&] { return m_receiver.Messages.size() >= expected.size() && Settled(); }, Pump));
        EXPECT_EQ(m_receiver.Messages, expected);
        EXPECT_EQ(m_taken, c.First + c.During);
        EXPECT_EQ(InBuffUsed(m_port), 0);
        EXPECT_TRUE(readMeanwhile) << "the dispatcher thread reads while the receiver's thread delivers";
        m_receiver.Action = nullptr;
    }
}

// A handler reads its own port's bytes, also when it reads from another
// port meanwhile or a message of that port is handled inside it (a modal
// loop), each on the same thread.
TEST_P(PtyDispatcherTest, AHandlerReadsItsOwnPortsBytesBesideAnotherPortsDelivery)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    PtyDevice otherDevice;
    PortHandle other = 0;
    ASSERT_EQ(OpenPort(&other, 4, otherDevice.Path().c_str(), 9600, 0, 8, 1, 4096, 4096), 0);
    ASSERT_EQ(ClearPortOptions(other, OptionConsumeOnRead), 0);
    ASSERT_EQ(SetTriggerLength(other, 1), 0);
    Receiver otherReceiver;
    ASSERT_EQ(RegisterTriggerHandler(other, otherReceiver.Window(), nullptr, false), 0);
    std::string otherTaken;
    otherReceiver.Action = [&](const Message& m) {
        if (m.Msg == TriggerAvailMsg)
            otherTaken += Take(other, m.WParam);
    };

    std::int32_t otherBeforeItsBytes = 0;
    m_receiver.Action = [&](const Message& m) {
        if (m.Msg != TriggerAvailMsg || !m_taken.empty())
            return;
        m_taken += Take(m_port, 1);
        std::uint8_t byte = 0;
        otherBeforeItsBytes = GetChar(other, &byte);
        ASSERT_TRUE(otherDevice.Write("xyz"));
        ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return otherTaken.size() == 3; }, Pump));
        m_taken += Take(m_port, m.WParam - 1);
    };
    Feed("abc");
    EXPECT_EQ(otherBeforeItsBytes, ErrBufferIsEmpty) << "the other port's ring is empty";
    EXPECT_EQ(m_taken, "abc");
    EXPECT_EQ(otherTaken, "xyz");
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(3) }));
    EXPECT_EQ(InBuffUsed(m_port), 0);
    EXPECT_EQ(ClosePort(other), 0);
}

TEST_P(PtyDispatcherTest, AFullRingLeavesBytesInTheDeviceWithoutSpinningAndReadsOnWhenBytesAreTaken)
{
    Send(std::string(9000, 'q'));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return InBuffUsed(m_port) == InputRingSize; }, Pump));
    EXPECT_LT(BusyTimeWhileAsleep(Sleep), SpinLimit) << "the device stays readable while the ring is full";
    DispatcherProgress progress;
    ASSERT_TRUE(GetDispatcherProgress(m_port, &progress));
    EXPECT_EQ(progress.BytesRead, InputRingSize);

    // Taking bytes outside a delivery makes room; the idle check reads on,
    // and the dispatcher waits for the device again once the ring has room.
    EXPECT_EQ(Take(m_port, 100), std::string(100, 'q'));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return InBuffUsed(m_port) == InputRingSize; }, Pump));
    EXPECT_EQ(Take(m_port, InputRingSize), std::string(InputRingSize, 'q'));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return InBuffUsed(m_port) == 9000 - InputRingSize - 100; }, Pump));
    Feed("r");
    EXPECT_EQ(Take(m_port, 1000), std::string(9000 - InputRingSize - 100, 'q') + "r");
}

// Cases over a pseudo-terminal whose received bytes the receiving window's
// thread reads itself.
class WindowReadsTest : public PtyDispatcherTest { };

INSTANTIATE_TEST_SUITE_P(Devices, WindowReadsTest, testing::Values(DeviceKind::PtyWindowReads), KindName);

// Bytes that arrive while the window's thread does not pump wait in the
// device and wake it; when it pumps, the messages are those it gets when it
// pumps at once.
TEST_P(WindowReadsTest, BytesWaitForTheWindowsThreadToPumpAndGiveTheSameMessages)
{
    const std::string lines = "ab\rcd\re";
    std::vector<std::vector<Message>> messages;
    for (const bool pumping : { true, false }) {
        SCOPED_TRACE(pumping ? "the window's thread pumps" : "it pumps once the bytes woke it");
        ClosePort(m_port);
        OpenAndListen();
        ASSERT_EQ(ClearPortOptions(m_port, OptionConsumeOnRead), 0);
        ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
        Trigger("\r");
        m_receiver.Messages.clear();
        m_taken.clear();
        TakeAnnounced();
        Send(lines);
        if (!pumping) {
            pollfd wake { MessageWakeDescriptor(), POLLIN, 0 };
            ASSERT_EQ(poll(&wake, 1, 10000), 1);
            EXPECT_TRUE(m_receiver.Messages.empty());
        }
        ASSERT_TRUE(Settled());
        EXPECT_EQ(m_taken, lines);
        EXPECT_EQ(InBuffUsed(m_port), 0);
        messages.push_back(m_receiver.Messages);
    }
    EXPECT_EQ(messages[0], messages[1]);
}

// A stream, part of it arriving while a handler runs, whichever thread reads
// it: the bytes come whole and in order, one data message per line; a
// handler that flushes the input or closes the port during the stream
// leaves the port whole, or closed with no message after.
class StreamTest : public PtyDispatcherTest { };

INSTANTIATE_TEST_SUITE_P(Devices, StreamTest, testing::Values(DeviceKind::Pty, DeviceKind::PtyWindowReads), KindName);

TEST_P(StreamTest, AStreamComesWholeAndInOrderAlsoWhenAHandlerFlushesOrCloses)
{
    struct Case {
        const char* Name;
        int Rounds; // bytes read while the checks run on another thread meet them at a different moment each round
        int FlushAtLine; // 0: never
        int CloseAtLine; // 0: never
    };
    const Case cases[] = {
        { "the stream", 6, 0, 0 },
        { "a handler flushes the input", 1, 120, 0 },
        { "a handler closes the port", 1, 0, 150 },
    };
    std::string first;
    for (int i = 0; i < 300; ++i)
        first += std::to_string(1000 + i) + "abcde\r"; // 3000 bytes
    std::string more;
    for (int i = 0; i < 100; ++i)
        more += std::to_string(2000 + i) + "vwxyz\r";
    for (const Case& c : cases)
        for (int round = 1; round <= c.Rounds; ++round) {
            SCOPED_TRACE(std::string(c.Name) + ", round " + std::to_string(round));
            if (LookupPort(m_port))
                ClosePort(m_port);
            OpenAndListen();
            ASSERT_EQ(ClearPortOptions(m_port, OptionConsumeOnRead), 0);
            ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
            const std::uint16_t cr = Trigger("\r");
            const PortHandle port = m_port;
            m_receiver.Messages.clear();
            m_taken.clear();
            int lines = 0;
            m_receiver.Action = [&](const Message& m) {
                if (m.Msg == TriggerAvailMsg) {
                    m_taken += Take(port, m.WParam);
                    // The rest arrives while the checks go on.
                    if (m_fed == first.size())
                        Send(more);
                    return;
                }
                if (m.Msg != TriggerDataMsg || m.WParam != cr)
                    return;
                ++lines;
                if (lines == c.FlushAtLine) {
                    EXPECT_EQ(FlushPort(port, FlushInput), 0);
                }
                if (lines == c.CloseAtLine) {
                    EXPECT_EQ(ClosePort(port), 0);
                }
            };
            Send(first);
            if (c.CloseAtLine != 0) {
                ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return Ports().InUse[port].load() == 0; }, Pump));
                EXPECT_EQ(lines, c.CloseAtLine) << "no message after the close";
                EXPECT_EQ(m_taken, (first + more).substr(0, m_taken.size()));
                m_port = 0;
                continue;
            }
            if (c.FlushAtLine != 0) {
                // What the flush dropped in the device is never read: once the
                // port is quiet, what it has read is all there is to wait for.
                DispatcherProgress progress;
                const auto quiet = [&] {
                    const std::uint64_t before = GetDispatcherProgress(port, &progress) ? progress.BytesRead : 0;
                    Pump();
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    return lines >= c.FlushAtLine && GetDispatcherProgress(port, &progress) && !progress.Busy
                        && progress.BytesRead == before;
                };
                ASSERT_TRUE(ScriptedDevice::PumpUntil(quiet, Pump));
                m_fed = progress.BytesRead;
            }
            ASSERT_TRUE(Settled());
            if (c.FlushAtLine == 0) {
                EXPECT_EQ(m_taken, first + more);
                EXPECT_EQ(lines, 400);
            }
            // Whatever the flush dropped, the port goes on whole.
            m_receiver.Action = [&](const Message& m) {
                if (m.Msg == TriggerAvailMsg)
                    m_taken += Take(port, m.WParam);
            };
            Feed("end\r");
            EXPECT_EQ(m_taken.substr(m_taken.size() - 4), "end\r");
            EXPECT_EQ(InBuffUsed(port), 0);
        }
}

// The bytes of a window whose thread has ended are read by the dispatcher
// thread at its idle tick, and the port still closes.
TEST_P(WindowReadsTest, BytesForAWindowWhoseThreadHasEndedAreReadByTheDispatcher)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    Trigger("\r");
    const auto windowReads = [this] {
        DispatcherProgress progress;
        return GetDispatcherProgress(m_port, &progress) && progress.WindowReads;
    };
    ASSERT_EQ(DeregisterTriggerHandler(m_port, m_receiver.Window(), nullptr), 0);
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return !windowReads(); }, Pump));
    std::thread([&] {
        const WindowHandle window = CreateMessageWindow(DefWindowProc);
        ASSERT_EQ(RegisterTriggerHandler(m_port, window, nullptr, false), 0);
        ASSERT_TRUE(ScriptedDevice::PumpUntil(windowReads, [] { PumpMessages(); }));
    }).join();
    Send("ab\r");
    ASSERT_TRUE(ReadWithoutPumping());
    EXPECT_EQ(ClosePort(m_port), 0);
    m_port = 0;
}

// A port closed inside its own handler and opened again at once on the same
// device keeps the window's reading: the old port's end, which comes later,
// leaves the new port's device in the window thread's wake descriptor.
TEST_P(WindowReadsTest, APortReopenedInsideItsHandlerKeepsTheWindowsReading)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    Trigger("\r");
    const int threads = CountThreads();
    bool reopened = false;
    m_receiver.Action = [&](const Message& m) {
        if (m.Msg == TriggerAvailMsg)
            m_taken += Take(m_port, m.WParam);
        if (m.Msg != TriggerDataMsg || std::exchange(reopened, true))
            return;
        ASSERT_EQ(ClosePort(m_port), 0);
        OpenAndListen();
        ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    };
    Feed("a\r");
    ASSERT_TRUE(reopened);
    // The old port's threads have ended, the last of them after the reopen.
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return CountThreads() == threads; }, Pump));
    m_receiver.Action = nullptr;
    m_receiver.Messages.clear();

    // Without pumping: the bytes themselves wake the window's thread.
    Send("b");
    pollfd wake { MessageWakeDescriptor(), POLLIN, 0 };
    ASSERT_EQ(poll(&wake, 1, 10000), 1);
    EXPECT_FALSE(MessagesWaiting()) << "woken by a loan of the dispatcher thread, not by the bytes";
    ASSERT_TRUE(Settled());
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Avail(1) }));
}

// The window's thread reads only while every message of the port goes to
// it; a receiver of another kind hands the reading back to the dispatcher.
TEST_P(WindowReadsTest, TheWindowsThreadReadsOnlyWhileEveryMessageGoesToIt)
{
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    const std::uint16_t cr = Trigger("\r");
    TakeAnnounced();
    static std::atomic<int> procedureLines { 0 };
    procedureLines = 0;
    const TriggerProcedure procedure
        = [](WindowHandle, std::uint32_t msg, std::uint32_t, std::int32_t) { procedureLines += msg == TriggerDataMsg; };
    const auto windowReads = [&] {
        DispatcherProgress progress;
        return GetDispatcherProgress(m_port, &progress) && progress.WindowReads;
    };
    ASSERT_EQ(RegisterTriggerHandler(m_port, 0, procedure, true), 0);
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return !windowReads(); }, Pump));
    Feed("ab\r");
    EXPECT_EQ(procedureLines, 1);
    ASSERT_EQ(DeregisterTriggerHandler(m_port, 0, procedure), 0);
    ASSERT_TRUE(WindowReads());
    Feed("c\r");
    EXPECT_EQ(procedureLines, 1);
    EXPECT_EQ(
        m_receiver.Messages, (std::vector<Message> { Avail(2), Data(cr), Avail(1), Avail(1), Data(cr), Avail(1) }));
    EXPECT_EQ(m_taken, "ab\rc\r");
}

// Wake-ups of the ports' threads (named comm-...).
std::uint64_t PortThreadsWakeUps()
{
    std::uint64_t total = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            const std::string task = std::string("/proc/self/task/") + entry->d_name;
            std::string name;
            std::getline(std::ifstream(task + "/comm"), name);
            if (entry->d_name[0] == '.' || name.rfind("comm-", 0) != 0)
                continue;
            std::ifstream status(task + "/status");
            std::string line;
            while (std::getline(status, line)) {
                unsigned long long value = 0;
                if (std::sscanf(line.c_str(), "voluntary_ctxt_switches: %llu", &value) == 1)
                    total += value;
            }
        }
        closedir(tasks);
    }
    return total;
}

// An open port whose idle checks have nothing to do (no armed timer or
// status trigger, room in the ring) sleeps until something happens, also
// when the receiving window's thread reads the bytes; bytes that thread
// leaves are still read for it; armed timers bring the 50 ms checks back,
// and they fire.
class IdlePortTest : public PtyDispatcherTest { };

INSTANTIATE_TEST_SUITE_P(Devices, IdlePortTest, testing::Values(DeviceKind::Pty, DeviceKind::PtyWindowReads), KindName);

TEST_P(IdlePortTest, AnIdlePortWithNothingToCheckSleepsAndArmedTimersWakeIt)
{
    // Bytes that come to a quiet port, left by a window's thread that does
    // not pump, are read for it.
    const std::uint16_t cr = Trigger("\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(60)); // the first look: nothing
    Send("a\r");
    ASSERT_TRUE(ReadWithoutPumping());
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return m_receiver.Messages.size() == 1; }, Pump));
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr) }));
    std::this_thread::sleep_for(std::chrono::milliseconds(60)); // the look after the bytes
    std::uint64_t before = PortThreadsWakeUps();
    std::this_thread::sleep_for(Sleep);
    EXPECT_LE(PortThreadsWakeUps() - before, 1u) << "the idle checks ran with nothing to check";

    TriggerSnapshot tables;
    ASSERT_EQ(SaveTriggers(m_port, &tables), 0);
    const std::uint32_t now = (Clock::Process().TickCount() & 0x7FFFFFFF) / 55;
    tables.Handles[9] = { 1, TriggerKindTimer };
    tables.Timers[1] = { 9, now, now + 2, 1 };
    ASSERT_EQ(RestoreTriggers(m_port, &tables), 0);
    before = PortThreadsWakeUps();
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return m_receiver.Messages.size() == 2; }, Pump));
    EXPECT_EQ(m_receiver.Messages.back(), (Message { TriggerTimerMsg, 9, m_port, 0 }));
    EXPECT_GE(PortThreadsWakeUps() - before, 2u);
}

TEST_P(PtyDispatcherTest, AnOtherEndThatGoesAwayIsReportedLostWithoutSpinning)
{
    const std::uint16_t cr = Trigger("\r");
    Feed("\r");
    m_pty->CloseMaster();
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return PortDeviceLost(m_port); }, Pump));
    EXPECT_LT(BusyTimeWhileAsleep(Sleep), SpinLimit) << "a hung-up descriptor stays readable";
    Pump();
    EXPECT_EQ(m_receiver.Messages, (std::vector<Message> { Data(cr) }));
    EXPECT_EQ(ClosePort(m_port), 0);
    EXPECT_EQ(LookupPort(m_port), nullptr);
    m_port = 0;
}

TEST_P(DispatcherTest, AThreadThatDoesNotStopIsDetachedAfter200MsAndKeepsItsRecord)
{
    ManualClock clock;
    ScopedProcessClock useClock(clock);
    const int before = CountThreads();
    ASSERT_EQ(SetTriggerLength(m_port, 1), 0);
    m_device.HoldReads(true);
    m_device.Arrive("stuck");
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return m_device.BlockedReads() == 1; }, Pump));
    // The dispatcher thread now waits inside a read; closing must not hang.
    {
        auto closing = std::async(std::launch::async, [this] { return ClosePort(m_port); });
        EXPECT_EQ(closing.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        clock.Advance(std::chrono::milliseconds(199));
        EXPECT_EQ(closing.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
        clock.Advance(std::chrono::milliseconds(1));
        EXPECT_EQ(closing.get(), 0);
    }
    EXPECT_EQ(Ports().InUse[m_port].load(), 0u);
    EXPECT_EQ(CountThreads(), before - 2) << "the event and output threads ended";

    // Once it answers, the detached thread ends and frees the record.
    EXPECT_EQ(DetachedDispatcherThreads(), 1);
    m_device.HoldReads(false);
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return DetachedDispatcherThreads() == 0; }, Pump));
    ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return CountThreads() == before - 3; }, Pump));
    EXPECT_TRUE(m_receiver.Messages.empty());
    m_port = 0;
}

int CountDescriptors()
{
    return CountEntries("/proc/self/fd");
}

std::atomic<int> g_cycleLines { 0 };
void CountLines(WindowHandle, std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam)
{
    if (msg == TriggerAvailMsg) {
        // Take what was announced, as a receiver does.
        std::uint8_t byte = 0;
        for (std::uint32_t i = 0; i < wParam; ++i)
            GetChar(static_cast<PortHandle>(lParam >> 16), &byte);
    } else if (msg == TriggerDataMsg) {
        ++g_cycleLines;
    }
}

TEST(PortCycles, AThousandOpenAndCloseCyclesWithTrafficLeaveNoThreadOrDescriptorBehind)
{
    InstallPosixLayer();
    PtyDevice pty;
    MessageWakeDescriptor(); // this thread's message queue lives as long as the thread
    {
        // Whatever the process starts once (a sanitizer's helper thread) is
        // started by a first cycle.
        PortHandle port = 0;
        ASSERT_EQ(OpenPort(&port, 4, pty.Path().c_str(), 9600, 0, 8, 1, 4096, 4096), 0);
        ASSERT_EQ(ClosePort(port), 0);
    }
    const int threads = CountThreads();
    const int descriptors = CountDescriptors();
    std::atomic<bool> stop { false };
    std::jthread instrument([&] {
        pollfd out { pty.Master(), POLLOUT, 0 };
        while (!stop) {
            if (poll(&out, 1, 1) == 1) {
                const ssize_t written = write(pty.Master(), "line 12\r", 8);
                static_cast<void>(written);
            }
        }
    });
    // Stops the instrument before it is joined, also when an assertion ends the test.
    struct StopWriting {
        std::atomic<bool>& Stop;
        ~StopWriting() { Stop = true; }
    } stopWriting { stop };
    for (int cycle = 0; cycle < 1000; ++cycle) {
        PortHandle port = 0;
        std::int32_t opened = OpenPort(&port, 4, pty.Path().c_str(), 9600, 0, 8, 1, 4096, 4096);
        if (opened == ErrAccessDenied) {
            // On a starved machine a thread may miss its 200 ms to stop; it is
            // detached and holds the device until it ends.
            ASSERT_TRUE(ScriptedDevice::PumpUntil([] { return DetachedDispatcherThreads() == 0; }, Pump));
            opened = OpenPort(&port, 4, pty.Path().c_str(), 9600, 0, 8, 1, 4096, 4096);
        }
        ASSERT_EQ(opened, 0);
        ASSERT_EQ(RegisterTriggerHandler(port, 0, CountLines, false), 0);
        const std::uint8_t cr = '\r';
        ASSERT_GE(AddDataTrigger(port, &cr, false, 1), 2);
        ASSERT_EQ(SetTriggerLength(port, 1), 0);
        if (cycle % 100 == 0) {
            // Let lines flow through this port before it closes.
            const int lines = g_cycleLines;
            ASSERT_TRUE(ScriptedDevice::PumpUntil([&] { return g_cycleLines > lines; }, Pump));
        }
        ASSERT_EQ(ClosePort(port), 0);
    }
    stop = true;
    instrument.join();
    InstallNullLayer();
    // Detached threads, if any, end by themselves and leave nothing behind.
    EXPECT_TRUE(ScriptedDevice::PumpUntil([] { return DetachedDispatcherThreads() == 0; }, Pump));
    EXPECT_TRUE(ScriptedDevice::PumpUntil([&] { return CountThreads() == threads; }, Pump));
    EXPECT_EQ(CountThreads(), threads);
    EXPECT_EQ(CountDescriptors(), descriptors);
    EXPECT_GE(g_cycleLines, 10);
}

} // namespace
} // namespace zop
