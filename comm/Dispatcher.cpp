// The dispatcher of an open port: three threads that wait for device events,
// move received bytes into the input ring, watch them for triggers, announce
// the triggers to the port's receivers and write queued output.
//
// Event thread: waits for a device event, hands its event word to the
// dispatcher thread and waits until that has finished with it, so one device
// event is fully processed before the next wait begins.
// Dispatcher thread: processes the event words, and every 50 ms without one
// runs the idle checks (modem lines, status and timer triggers). When its
// trigger messages all go to one window of another thread, it hands the
// checks of an event to that thread and waits for them (see
// RunDataTriggerTurns): the messages are the same, in the same order, but
// each costs a call instead of two thread switches.
// Output thread: writes the output ring when output is queued, and answers
// flush requests.
//
// Stopping waits for each thread's own end signal, at most 200 ms each on the
// process clock. A thread that does not end in time is detached, never
// killed (that could leave a lock held); the record it works on stays alive
// until the last such thread has ended.
#include "comm/Dispatcher.h"

#include "comm/Clock.h"
#include "comm/ErrorCodes.h"
#include "comm/MessageWindow.h"
#include "comm/PortLayer.h"
#include "comm/PortTable.h"
#include "comm/TraceLog.h"
#include "comm/Triggers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace zop {

namespace {

constexpr std::uint16_t ModeRunning = 4;
constexpr int StartAcknowledgeMs = 3000;
constexpr std::chrono::milliseconds StopTimeout { 200 };
constexpr int IdleIntervalMs = 50;
constexpr std::chrono::milliseconds DeliveryTimeout { 1000 };
constexpr std::uint32_t ModemEventBits = EvCts | EvDsr | EvRlsd | EvRing | EvRingTrailingEdge;
constexpr std::uint32_t TickLength = 55; // timer triggers count in 55 ms ticks
constexpr std::uint32_t TickWrapAllowance = 39045157;

enum ThreadIndex { EventThreadIndex, DispatchThreadIndex, OutputThreadIndex, ThreadIndexCount };

// What the dispatcher keeps beside the record for one running dispatcher.
struct Control {
    Control(PortHandle port, PortRecord* record)
        : Port(port)
        , Record(record)
    {
    }
    const PortHandle Port;
    PortRecord* const Record;

    // Ends of the threads, and who frees the record when one had to be detached.
    std::mutex Mutex;
    std::condition_variable Changed;
    std::array<bool, ThreadIndexCount> Ended {};
    std::array<bool, ThreadIndexCount> Detached {};
    int RunningDetached = 0;
    bool OwnsRecord = false;

    // Dispatcher thread only (under the record's lock while scanning).
    std::uint16_t ScanPending = 0; // bytes between the scan position and head
    std::uint64_t Scanned = 0; // bytes the scan has passed since the start
    std::uint64_t LastAvail = ~std::uint64_t { 0 }; // Scanned when the last TriggerAvailMsg was decided
    bool Held = false; // the scan stands on a byte that completed a match
    bool HeldByteGone = false; // the byte it stands on was taken outside a delivery since the last check
    bool RingFilled = false; // the last read filled the ring: the device may hold more bytes
    bool ReadingPaused = false; // the ring was full: the device is not watched for received bytes

    // The data-trigger loop handed to the receiver's thread (see RunDataTriggers).
    bool OnLoan = false; // the loop runs on the receiver's thread now
    bool SkipWindowSend = false; // the hand-over was refused: its first message counts as not handled
    std::uint32_t LoanVersion = ~std::uint32_t { 0 }; // TriggersVersion when LoanTarget was found
    WindowHandle LoanTarget = 0;
    std::exception_ptr LoanFailure; // a receiver's procedure threw during the loan

    // Progress, readable from other threads.
    std::atomic<std::uint64_t> BytesRead { 0 };
    std::atomic<bool> Busy { false };
};

// Marks the dispatcher thread busy with an event or an idle check.
class BusyScope {
public:
    explicit BusyScope(Control& control)
        : m_control(control)
    {
        m_control.Busy = true;
    }
    ~BusyScope() { m_control.Busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    Control& m_control;
};

// Never destroyed: a detached dispatcher thread may still reach them while
// the program's static objects are being destroyed at exit.
std::mutex& g_controlsMutex = *new std::mutex;
std::array<std::shared_ptr<Control>, MaxPorts + 1>& g_controls
    = *new std::array<std::shared_ptr<Control>, MaxPorts + 1>;
std::atomic<int> g_detachedRunning { 0 };

void ThreadEnded(const std::shared_ptr<Control>& control, ThreadIndex index)
{
    PortRecord* orphan = nullptr;
    bool detached = false;
    {
        std::lock_guard lock(control->Mutex);
        control->Ended[index] = true;
        detached = control->Detached[index];
        if (detached && --control->RunningDetached == 0 && control->OwnsRecord)
            orphan = control->Record;
        control->Changed.notify_all();
    }
    delete orphan;
    if (detached)
        --g_detachedRunning;
}

bool WaitForEnd(Control& control, ThreadIndex index, Clock::Duration timeout)
{
    const Clock& clock = Clock::Process();
    std::unique_lock lock(control.Mutex);
    const Clock::TimePoint deadline = clock.Now() + timeout;
    while (!control.Ended[index]) {
        if (clock.Now() >= deadline)
            return false;
        clock.WaitUntil(lock, control.Changed, deadline);
    }
    return true;
}

void FinishThread(Control& control, std::thread& thread, ThreadIndex index)
{
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id()) {
        // A deferred close: the dispatcher thread frees its own port and
        // ends right after; it never waits for itself.
        thread.detach();
        return;
    }
    if (WaitForEnd(control, index, StopTimeout)) {
        thread.join();
        return;
    }
    std::unique_lock lock(control.Mutex);
    if (control.Ended[index]) {
        lock.unlock();
        thread.join();
        return;
    }
    control.Detached[index] = true;
    ++control.RunningDetached;
    ++g_detachedRunning;
    thread.detach();
}

// ---- delivery ----

std::int32_t MakeLParam(PortHandle port, std::uint16_t low)
{
    return static_cast<std::int32_t>((port << 16) | low);
}

// Sends one trigger message to a receiver window. During a loan the window
// belongs to the calling thread and its procedure is called directly; an
// exception it throws is kept for the end of the loan, so that the delivery
// still finishes its bookkeeping.
void SendToWindow(
    Control& control, WindowHandle window, std::uint32_t message, std::uint16_t wParam, std::int32_t lParam)
{
    if (control.SkipWindowSend) {
        control.SkipWindowSend = false;
        return;
    }
    if (!control.OnLoan) {
        SendMessageTimeout(window, message, wParam, lParam, DeliveryTimeout, HungPolicy::AbortIfHung);
        return;
    }
    try {
        SendMessageTimeout(window, message, wParam, lParam, DeliveryTimeout, HungPolicy::AbortIfHung);
    } catch (...) {
        if (!control.LoanFailure)
            control.LoanFailure = std::current_exception();
    }
}

// Sends one trigger message to the receivers, newest first; see the header
// of Deliver's callers for what the result means to them.
int Deliver(Control& control, std::uint32_t message, std::uint16_t wParam, std::uint16_t low)
{
    PortRecord& record = *control.Record;
    const bool readAhead = message == TriggerAvailMsg || message == TriggerDataMsg;
    const std::int32_t lParam = MakeLParam(control.Port, low);
    int result = 1;
    std::uint16_t largest = 0;

    // Nothing is delivered once the dispatcher is told to stop.
    TriggerHandler* node = nullptr;
    TriggerHandler current;
    {
        std::lock_guard lock(record.Lock);
        if (record.StopFlag || record.ClosePending)
            return 0;
        record.Delivering = true;
        record.ReadAhead = readAhead ? 1 : 0;
        record.ReadAheadMax = 0;
        record.HandleReused.fill(0);
        node = record.Receivers;
        record.ReadAheadCount = 0;
        if (node)
            current = *node;
    }
    while (node) {
        if (!current.Removed) {
            if (current.Kind == 1) {
                SendToWindow(control, current.Window, message, wParam, lParam);
            } else if (current.Kind == 2 && current.Procedure) {
                current.Procedure(0, message, wParam, lParam);
            }
        }
        // A receiver that was removed passes the message on: it no longer
        // takes messages, so it must not hold them back from the others.
        node = current.PassOn || current.Removed ? current.Next : nullptr;
        if (record.ClosePending)
            return 0;
        std::lock_guard lock(record.Lock);
        largest = std::max(largest, record.ReadAheadCount);
        if (message != TriggerAvailMsg && wParam <= TriggerHandleCount && record.HandleReused[wParam])
            break;
        record.ReadAheadCount = 0;
        if (node)
            current = *node;
    }

    std::vector<TriggerHandler*> removed;
    {
        std::lock_guard lock(record.Lock);
        if (record.ReceiverCleanup) {
            TriggerHandler** link = &record.Receivers;
            while (*link) {
                if ((*link)->Removed) {
                    removed.push_back(*link);
                    *link = (*link)->Next;
                } else {
                    link = &(*link)->Next;
                }
            }
        }
        if (readAhead) {
            record.ReadAhead = 0;
            record.InRing.Consume(largest);
            if (message == TriggerAvailMsg && largest != wParam)
                result = 0;
        }
        record.ReceiverCleanup = 0;
        record.ReadAheadCount = 0;
        record.ReadAheadMax = largest;
        // Under the lock, so that a close from another thread either sees the
        // delivery and leaves the release to this thread, or releases itself.
        record.Delivering = false;
    }
    for (TriggerHandler* node : removed)
        delete node;
    return result;
}

void Log(PortRecord& record, std::uint8_t subtype, std::uint16_t data)
{
    if (record.LogOn)
        RecordLogEntry(record, LogTrigger, subtype, data, nullptr, 0);
}

// ---- data triggers ----

// Whether a partial match of the trigger is in progress.
bool MatchInProgress(const DataTrigger& trigger)
{
    for (int i = 0; i < trigger.Length; ++i) {
        if (trigger.MatchState[i] != 0)
            return true;
    }
    return false;
}

// Under the record's lock. Brings the scan up to date: skips the bytes taken
// outside a delivery, then offers the new bytes to the triggers until one
// matches (the scan then holds on that byte) or the scan reaches head.
void AdvanceScan(Control& control, PortRecord& record)
{
    const std::uint16_t waiting = InputWaiting(record);
    if (control.ScanPending > waiting) {
        // Bytes taken outside a delivery were never offered: skip them.
        control.Scanned += control.ScanPending - waiting;
        control.HeldByteGone = control.HeldByteGone || control.Held;
        control.ScanPending = waiting;
    }
    if (control.Held)
        return; // no trigger is matched while the scan is not held on a byte
    const std::uint16_t head = record.InRing.Head();
    std::array<DataTrigger*, DataTriggerCount> active {};
    int activeCount = 0;
    // The bytes that can begin a match. While no partial match is in
    // progress, any other byte leaves every trigger as it is, so the scan
    // passes over it without the matcher.
    std::array<std::uint8_t, 2 * DataTriggerCount> starts {};
    int startCount = 0;
    auto addStart = [&](std::uint8_t byte) {
        if (std::find(starts.begin(), starts.begin() + startCount, byte) == starts.begin() + startCount)
            starts[startCount++] = byte;
    };
    bool idle = true;
    for (int slot = 1; slot <= DataTriggerCount; ++slot) {
        DataTrigger& trigger = record.DataTriggers[slot];
        if (trigger.Length == 0)
            continue;
        active[activeCount++] = &trigger;
        const std::uint8_t first = trigger.Pattern[0];
        addStart(first);
        if (trigger.IgnoreCase && first >= 'A' && first <= 'Z')
            addStart(static_cast<std::uint8_t>(first - 'A' + 'a'));
        idle = idle && !MatchInProgress(trigger);
    }
    if (activeCount == 0) {
        control.Scanned += control.ScanPending;
        control.ScanPending = 0;
    }
    std::array<bool, 256> isStart; // filled only when more than one byte can start a match
    if (startCount > 1) {
        isStart.fill(false);
        for (int i = 0; i < startCount; ++i)
            isStart[starts[i]] = true;
    }
    const std::uint8_t* ring = record.InRing.Data();
    std::uint16_t index = static_cast<std::uint16_t>((head + InputRingSize - control.ScanPending) % InputRingSize);
    while (control.ScanPending > 0) {
        if (idle) {
            // Up to the next byte that can begin a match, within the
            // contiguous part of the ring.
            const std::uint16_t span = std::min<std::uint16_t>(control.ScanPending, InputRingSize - index);
            const std::uint8_t* begin = ring + index;
            const std::uint8_t* end = begin + span;
            const std::uint8_t* found = startCount == 1
                ? static_cast<const std::uint8_t*>(std::memchr(begin, starts[0], span))
                : std::find_if(begin, end, [&](std::uint8_t byte) { return isStart[byte]; });
            const auto skipped = static_cast<std::uint16_t>((found ? found : end) - begin);
            index = static_cast<std::uint16_t>((index + skipped) % InputRingSize);
            control.ScanPending = static_cast<std::uint16_t>(control.ScanPending - skipped);
            control.Scanned += skipped;
            if (!found || found == end)
                continue;
        }
        const std::uint8_t byte = ring[index];
        bool any = false;
        idle = true;
        for (int i = 0; i < activeCount; ++i) {
            if (MatchDataTrigger(*active[i], byte)) {
                active[i]->Matched = 1;
                any = true;
            }
            idle = idle && !MatchInProgress(*active[i]);
        }
        if (any) {
            control.Held = true;
            break;
        }
        index = static_cast<std::uint16_t>((index + 1) % InputRingSize);
        --control.ScanPending;
        ++control.Scanned;
    }
    record.ScanPosition = index;
}

// Under the record's lock, after AdvanceScan: whether the next check
// delivers a message.
bool DataDeliveryDue(const Control& control, const PortRecord& record)
{
    if (record.StopFlag || record.ClosePending)
        return false;
    if (control.Held)
        return true;
    return record.AvailThreshold != 0 && control.LastAvail != control.Scanned
        && InputWaiting(record) >= record.AvailThreshold;
}

// One data-trigger check. Scans the bytes not yet offered to the triggers;
// announces the bytes before a match (when at least the threshold wait),
// then the matched triggers, then the bytes after the last match. Returns
// the result of its delivery, 0 when it delivered nothing.
int CheckDataTriggers(Control& control)
{
    PortRecord& record = *control.Record;
    std::unique_lock lock(record.Lock);
    AdvanceScan(control, record);
    const bool heldByteGone = std::exchange(control.HeldByteGone, false);
    const std::uint16_t waiting = InputWaiting(record);
    const std::uint16_t head = record.InRing.Head();
    auto scanIndex
        = [&] { return static_cast<std::uint16_t>((head + InputRingSize - control.ScanPending) % InputRingSize); };

    const std::uint16_t threshold = record.AvailThreshold;
    if (control.Held) {
        std::uint16_t longest = 0;
        for (int slot = 1; slot <= DataTriggerCount; ++slot) {
            const DataTrigger& trigger = record.DataTriggers[slot];
            if (trigger.Matched && trigger.Length > longest)
                longest = trigger.Length;
        }
        // Waiting bytes from the tail through the matching byte.
        const int through = heldByteGone ? 0 : waiting - (control.ScanPending - 1);
        const int before = through > longest ? through - longest : 0;
        if (threshold != 0 && control.LastAvail != control.Scanned && before >= threshold) {
            control.LastAvail = control.Scanned;
            record.LastAvailPosition = record.ScanPosition;
            lock.unlock();
            Log(record, LogAvail, static_cast<std::uint16_t>(before));
            return Deliver(control, TriggerAvailMsg, static_cast<std::uint16_t>(before), 0);
        }
        std::array<std::pair<std::uint16_t, std::uint16_t>, DataTriggerCount> fired; // the first firedCount are set
        int firedCount = 0;
        for (int slot = 1; slot <= DataTriggerCount; ++slot) {
            DataTrigger& trigger = record.DataTriggers[slot];
            if (trigger.Matched) {
                trigger.Matched = 0;
                if (trigger.Length != 0)
                    fired[firedCount++] = { trigger.TriggerHandle, trigger.Length };
            }
        }
        control.Held = false;
        if (!heldByteGone && control.ScanPending > 0) {
            --control.ScanPending;
            ++control.Scanned;
        }
        record.ScanPosition = scanIndex();
        lock.unlock();
        int result = 1;
        for (int i = 0; i < firedCount; ++i) {
            const auto [handle, length] = fired[i];
            Log(record, LogData, handle);
            result = Deliver(control, TriggerDataMsg, handle, length);
            if (record.ClosePending)
                return 0;
        }
        return result;
    }

    if (threshold != 0 && control.LastAvail != control.Scanned && waiting >= threshold) {
        control.LastAvail = control.Scanned;
        record.LastAvailPosition = record.ScanPosition;
        lock.unlock();
        Log(record, LogAvail, waiting);
        return Deliver(control, TriggerAvailMsg, waiting, 0);
    }
    return 0;
}

// ---- status and timer triggers ----

void UpdateModemStatus(PortRecord& record)
{
    std::lock_guard lock(record.Lock);
    const std::uint8_t old = static_cast<std::uint8_t>(record.ModemStatus);
    std::uint8_t lines = 0;
    if (record.Device >= 0 && record.WaitProcs.GetModemLines)
        record.WaitProcs.GetModemLines(record.Device, &lines);
    std::uint8_t fresh = static_cast<std::uint8_t>((old & 0x0F) | (lines & 0xF0));
    if (record.RingTrailingEdgePending.exchange(false))
        fresh |= 0x04;
    fresh |= static_cast<std::uint8_t>(((fresh ^ old) & 0xF0) >> 4);
    record.ModemStatus = fresh;
}

std::uint16_t OutputRingUsed(PortRecord& record)
{
    RefreshDeviceStatus(record);
    std::lock_guard lock(record.Lock);
    return static_cast<std::uint16_t>(record.Status.OutQueue);
}

// Fires the first armed status trigger whose condition holds and that has
// not fired in this pass; returns its delivery result, 0 when none fired.
int CheckStatusTriggers(Control& control, bool& fired)
{
    PortRecord& record = *control.Record;
    fired = false;
    for (int slot = 1; slot <= StatusTriggerCount; ++slot) {
        std::uint16_t kind = 0;
        std::uint16_t value = 0;
        {
            std::lock_guard lock(record.Lock);
            const StatusTrigger& trigger = record.StatusTriggers[slot];
            if (!trigger.Armed || record.FiredThisPass[slot])
                continue;
            kind = trigger.Kind;
            value = trigger.Value;
        }
        bool fires = false;
        std::uint16_t data = 0;
        switch (kind) {
        case 1: {
            std::lock_guard lock(record.Lock);
            fires = ((record.ModemStatus ^ (value & 0xFF)) & (value >> 8) & 0xFF) != 0;
            break;
        }
        case 2: {
            std::lock_guard lock(record.Lock);
            fires = (value & record.LineErrors) != 0;
            if (fires)
                record.StatusTriggers[slot].Value = static_cast<std::uint16_t>(record.LineErrors);
            break;
        }
        case 3: {
            const std::uint16_t used = OutputRingUsed(record);
            const std::uint16_t free = static_cast<std::uint16_t>(record.OutSize > used ? record.OutSize - used : 0);
            fires = free >= value;
            data = free;
            break;
        }
        case 4: {
            const std::uint16_t used = OutputRingUsed(record);
            fires = used <= value;
            data = used;
            break;
        }
        case 5:
            fires = record.OutputSent.exchange(false);
            break;
        default:
            break;
        }
        if (!fires)
            continue;
        std::uint16_t handle = 0;
        {
            std::lock_guard lock(record.Lock);
            StatusTrigger& trigger = record.StatusTriggers[slot];
            trigger.Armed = 0;
            record.FiredThisPass[slot] = 1;
            record.StatusPass = 1;
            handle = trigger.TriggerHandle;
        }
        fired = true;
        Log(record, LogStatus, handle);
        return Deliver(control, TriggerStatusMsg, handle, data);
    }
    return 0;
}

int CheckTimerTriggers(Control& control)
{
    PortRecord& record = *control.Record;
    const std::uint32_t now = (Clock::Process().TickCount() & 0x7FFFFFFF) / TickLength;
    for (int slot = 1; slot <= TimerTriggerCount; ++slot) {
        std::uint16_t handle = 0;
        {
            std::lock_guard lock(record.Lock);
            TimerTrigger& timer = record.Timers[slot];
            if (!timer.Armed)
                continue;
            const bool expired = timer.Expiry < now || (now < timer.Start && timer.Expiry < now + TickWrapAllowance);
            if (!expired)
                continue;
            timer.Armed = 0;
            handle = timer.TriggerHandle;
        }
        Log(record, LogTimer, handle);
        return Deliver(control, TriggerTimerMsg, handle, 0);
    }
    return 0;
}

void ClearFiredFlags(PortRecord& record)
{
    std::lock_guard lock(record.Lock);
    record.FiredThisPass.fill(0);
}

void RunStatusTriggers(Control& control)
{
    PortRecord& record = *control.Record;
    bool anyFired = false;
    for (;;) {
        bool fired = false;
        const int delivered = CheckStatusTriggers(control, fired);
        anyFired = anyFired || fired;
        if (delivered == 0 || record.ClosePending)
            break;
    }
    if (anyFired)
        ClearFiredFlags(record);
}

// ---- the threads ----

void SetDeviceMask(PortRecord& record, std::uint32_t mask)
{
    const DeviceHandle device = record.Device;
    if (device >= 0)
        record.Procs.SetEventMask(device, mask);
}

void ReadIntoRing(Control& control)
{
    PortRecord& record = *control.Record;
    // Read until the device queue is empty or the ring full: bytes left in
    // the device after an event would wait for the device's next event.
    for (;;) {
        const std::int32_t moved = FillInputRing(record);
        if (moved <= 0)
            break;
        {
            std::lock_guard lock(record.Lock);
            control.ScanPending = static_cast<std::uint16_t>(std::min<int>(control.ScanPending + moved, InputRingSize));
            control.BytesRead += static_cast<std::uint64_t>(moved);
        }
        if (record.InRing.Full())
            break;
    }
    control.RingFilled = record.InRing.Full();
}

// When the processing of an event or idle check ends: while the ring is
// full, bytes stay in the device queue until the receivers take some, and
// received bytes would wake the event thread for nothing; so the device is
// watched for them only while the ring has room.
void WatchReceivedBytes(Control& control)
{
    PortRecord& record = *control.Record;
    if (record.StopFlag || record.ClosePending)
        return; // the stopper owns the event mask now
    const bool pause = record.InRing.Full();
    if (pause == control.ReadingPaused)
        return;
    control.ReadingPaused = pause;
    SetDeviceMask(record, pause ? DeviceEventMask & ~EvRxChar : DeviceEventMask);
}

// Room in the ring that makes reading on worth while during the checks; the
// rest is read when the checks have nothing more to deliver.
constexpr std::uint16_t ReadOnRoom = InputRingSize / 2;

// The data-trigger loop may run on the receiver's thread (a loan) when
// every message it sends would go to one window of that thread: one data
// trigger at most armed (so one check delivers at most one message) and the
// receivers a delivery reaches all that window. Returns the window, or 0.
WindowHandle FindLoanWindow(const PortRecord& record)
{
    int armed = 0;
    for (int slot = 1; slot <= DataTriggerCount; ++slot) {
        if (record.DataTriggers[slot].Length != 0 && ++armed > 1)
            return 0;
    }
    WindowHandle window = 0;
    for (const TriggerHandler* node = record.Receivers; node; node = node->Next) {
        if (node->Removed)
            continue;
        if (node->Kind != 1 || node->Window == 0 || (window != 0 && node->Window != window))
            return 0;
        window = node->Window;
        if (!node->PassOn)
            break;
    }
    return window;
}

// Under the record's lock: FindLoanWindow, found again only when the
// triggers or receivers have changed.
WindowHandle LoanWindow(Control& control, const PortRecord& record)
{
    if (control.LoanVersion != record.TriggersVersion) {
        control.LoanTarget = FindLoanWindow(record);
        control.LoanVersion = record.TriggersVersion;
    }
    return control.LoanTarget;
}

// One turn of the data-trigger loop: a check, then reading on at once when
// the receivers made room in a full ring. Returns whether the loop goes on.
bool DataTriggerTurn(Control& control)
{
    PortRecord& record = *control.Record;
    const int delivered = CheckDataTriggers(control);
    if (record.ClosePending || record.StopFlag)
        return false;
    // The receivers made room in a ring that was full: read on, without
    // waiting for the device's next event.
    if (control.RingFilled && !record.InRing.Full()
        && (delivered == 0 || InputRingSize - InputWaiting(record) >= ReadOnRoom)) {
        ReadIntoRing(control);
        return true;
    }
    return delivered != 0;
}

// How long a loan may keep the receiver's thread before it gives the loop
// back, so that a stream without end never keeps that thread from the rest
// of its work (a window's paint and input events).
constexpr std::chrono::milliseconds LoanBudget { 5 };

// The loan, on the receiver's thread while the dispatcher thread waits for
// it: the same turns, each message now a direct call. It gives the loop back
// when the receivers change, when other messages wait for this thread (they
// keep their turn), and when its time is up. `goOn` tells whether the loop
// goes on, also when a receiver's exception leaves here.
void RunLoan(Control& control, WindowHandle window, bool& goOn)
{
    PortRecord& record = *control.Record;
    const auto end = std::chrono::steady_clock::now() + LoanBudget;
    control.OnLoan = true;
    for (;;) {
        goOn = DataTriggerTurn(control);
        if (!goOn || control.LoanFailure || MessagesWaiting() || std::chrono::steady_clock::now() >= end)
            break;
        std::lock_guard lock(record.Lock);
        if (LoanWindow(control, record) != window)
            break;
    }
    control.OnLoan = false;
    if (control.LoanFailure)
        std::rethrow_exception(std::exchange(control.LoanFailure, nullptr));
}

// One or more turns of the data-trigger loop. When the next check will send
// a message to a window of another thread, the loop is handed to that
// thread as one task, sent like the message itself (same time-out and hung
// rule): each message then costs a direct call instead of two thread
// switches, and the messages come in the same order with the same effects.
// A refused hand-over is a first message that was not handled.
bool RunDataTriggerTurns(Control& control)
{
    PortRecord& record = *control.Record;
    WindowHandle window = 0;
    {
        std::lock_guard lock(record.Lock);
        AdvanceScan(control, record);
        if (DataDeliveryDue(control, record))
            window = LoanWindow(control, record);
    }
    if (window == 0)
        return DataTriggerTurn(control);
    bool goOn = false;
    const std::function<void()> loan = [&] { RunLoan(control, window, goOn); };
    if (SendTaskTimeout(window, loan, DeliveryTimeout, HungPolicy::AbortIfHung) == SendResult::Handled)
        return goOn && !record.ClosePending && !record.StopFlag;
    control.SkipWindowSend = true;
    goOn = DataTriggerTurn(control);
    control.SkipWindowSend = false;
    return goOn;
}

// Runs the data-trigger checks while they deliver; when the receivers made
// room in a full ring, reads on at once rather than at the next idle check.
void RunDataTriggers(Control& control)
{
    while (RunDataTriggerTurns(control)) { }
    WatchReceivedBytes(control);
}

// Processes one event word. When the port's close became pending the event
// thread is not released for another wait.
void ProcessEvent(Control& control, std::uint32_t word)
{
    PortRecord& record = *control.Record;
    if (record.StopFlag)
        return;
    if (word & ModemEventBits) {
        UpdateModemStatus(record);
        if (!record.Delivering)
            RunStatusTriggers(control);
    }
    if (word & (EvBreak | EvErr)) {
        RefreshDeviceStatus(record);
        if (!record.Delivering)
            RunStatusTriggers(control);
    }
    if (word & EvRxChar) {
        ReadIntoRing(control);
        if (!record.Delivering)
            RunDataTriggers(control);
        else
            WatchReceivedBytes(control);
    }
    if (!record.ClosePending)
        record.Continue.Set();
}

void IdleChecks(Control& control)
{
    PortRecord& record = *control.Record;
    if (record.ClosePending || record.Delivering)
        return;
    // Bytes taken outside a delivery made room in a full ring; while it
    // stays full, the checks still run, so that a trigger or threshold set
    // since the last event sees the waiting bytes.
    if (control.RingFilled) {
        if (!record.InRing.Full())
            ReadIntoRing(control);
        RunDataTriggers(control);
        if (record.ClosePending)
            return;
    }
    {
        std::lock_guard lock(record.Lock);
        record.StatusPass = 0;
    }
    bool anyStatus = false;
    while (!record.ClosePending) {
        bool fired = false;
        int delivered = CheckStatusTriggers(control, fired);
        anyStatus = anyStatus || fired;
        if (!fired)
            delivered = CheckTimerTriggers(control);
        if (delivered == 0)
            break;
    }
    if (anyStatus)
        ClearFiredFlags(record);
}

void EventThreadMain(std::shared_ptr<Control> control)
{
    PortRecord& record = *control->Record;
    SetDeviceMask(record, DeviceEventMask);
    record.Acknowledge.Set();
    for (;;) {
        std::uint32_t word = 0;
        const std::int32_t waited
            = record.WaitProcs.WaitDeviceEvent ? record.WaitProcs.WaitDeviceEvent(record.Device, &word) : ErrNullApi;
        if (record.StopFlag || record.ClosePending)
            break;
        if (waited < 0) {
            // The device has vanished (or gives no events): never wait on it
            // again, and never spin; only a stop ends this thread now.
            record.DeviceLost = true;
            while (!record.StopFlag && !record.ClosePending)
                record.Continue.Wait(-1);
            break;
        }
        if (word & EvRingTrailingEdge)
            record.RingTrailingEdgePending = true;
        if (word == 0)
            continue; // the wait was ended by a change of the event mask
        record.EventWord = word;
        record.EventReady.Set();
        record.Continue.Wait(-1);
        if (record.StopFlag || record.ClosePending)
            break;
    }
    ThreadEnded(control, EventThreadIndex);
}

void DispatchThreadMain(std::shared_ptr<Control> control)
{
    PortRecord& record = *control->Record;
    record.Acknowledge.Set();
    // The idle checks also run during a steady stream of events, at least
    // every 50 ms, so modem lines and timers are never starved.
    auto lastIdle = std::chrono::steady_clock::now();
    for (;;) {
        const bool event = record.EventReady.Wait(IdleIntervalMs);
        if (record.StopFlag)
            break;
        const BusyScope busy(*control);
        if (event)
            ProcessEvent(*control, record.EventWord);
        const auto now = std::chrono::steady_clock::now();
        if (!event || now - lastIdle >= std::chrono::milliseconds(IdleIntervalMs)) {
            lastIdle = now;
            IdleChecks(*control);
        }
        if (record.ClosePending)
            break;
    }
    if (record.ClosePending && !record.StopFlag)
        ReleasePort(control->Port);
    ThreadEnded(control, DispatchThreadIndex);
}

void RunWriter(PortRecord& record)
{
    for (;;) {
        const std::uint8_t* chunk = nullptr;
        std::int32_t length = 0;
        {
            std::lock_guard lock(record.Lock);
            std::uint16_t waiting = 0;
            chunk = record.OutRing.Waiting(0, &waiting);
            if (waiting == 0)
                return;
            length = waiting;
        }
        const std::int32_t written = record.WaitProcs.WriteOutput(
            record.Device, chunk, length, &record.FlushRequest, static_cast<std::int32_t>(WriteTimeoutMs));
        if (written > 0) {
            std::lock_guard lock(record.Lock);
            record.OutRing.Consume(static_cast<std::uint16_t>(written));
            if (record.OutRing.Empty())
                record.OutputSent = true;
            continue;
        }
        if (written == 0 && record.FlushRequest.IsSet()) {
            record.FlushRequest.Reset();
            record.Acknowledge.Set();
            return;
        }
        if (written < 0 || record.StopFlag || record.ClosePending)
            return; // a failing device is not written to again until more output is queued
        // Time-out: try the chunk again.
    }
}

void OutputThreadMain(std::shared_ptr<Control> control)
{
    PortRecord& record = *control->Record;
    record.Acknowledge.Set();
    for (;;) {
        const int which = WaitForAnyEvent({ &record.OutputReady, &record.FlushRequest }, -1);
        if (which == 1)
            record.Acknowledge.Set();
        if (record.StopFlag || record.ClosePending)
            break;
        if (which == 0 && record.WaitProcs.WriteOutput)
            RunWriter(record);
    }
    ThreadEnded(control, OutputThreadIndex);
}

PortRecord* RecordInSlot(PortHandle port)
{
    if (port < 1 || port > MaxPorts)
        return nullptr;
    return Ports().Records[port].load();
}

} // namespace

std::int32_t StartDispatcher(PortHandle port, std::uint16_t)
{
    PortRecord* record = RecordInSlot(port);
    if (!record)
        return ErrBadHandle;
    PortTable& table = Ports();
    if (const std::uint16_t mode = table.DispatcherMode[port].load())
        return mode;
    table.DispatcherMode[port] = ModeRunning;
    record->StopFlag = false;
    auto control = std::make_shared<Control>(port, record);
    {
        std::lock_guard lock(g_controlsMutex);
        g_controls[port] = control;
    }
    try {
        record->EventThread = std::thread(EventThreadMain, control);
        record->Acknowledge.Wait(StartAcknowledgeMs);
        record->DispatchThread = std::thread(DispatchThreadMain, control);
        record->Acknowledge.Wait(StartAcknowledgeMs);
        record->OutputThread = std::thread(OutputThreadMain, control);
        record->Acknowledge.Wait(StartAcknowledgeMs);
    } catch (const std::system_error&) {
        StopDispatcher(port);
        return ErrOutOfMemory;
    }
    return ModeRunning;
}

std::int32_t StopDispatcher(PortHandle port, const std::function<void(PortRecord&)>& beforeHandOver)
{
    PortRecord* record = RecordInSlot(port);
    if (!record)
        return 0;
    PortTable& table = Ports();
    if (table.DispatcherMode[port].load() == 0)
        return 0;
    std::shared_ptr<Control> control;
    {
        std::lock_guard lock(g_controlsMutex);
        control = std::move(g_controls[port]);
    }
    if (!control)
        return 0;
    record->StopFlag = true;
    record->OutputReady.Set();
    FinishThread(*control, record->OutputThread, OutputThreadIndex);
    SetDeviceMask(*record, 0);
    record->Continue.Set();
    FinishThread(*control, record->EventThread, EventThreadIndex);
    // Wake the dispatcher thread rather than wait for its idle tick.
    record->EventReady.Set();
    FinishThread(*control, record->DispatchThread, DispatchThreadIndex);
    table.DispatcherMode[port] = 0;
    if (beforeHandOver)
        beforeHandOver(*record);
    int left = 0;
    {
        // Threads left running keep the record; the last one frees it.
        std::lock_guard lock(control->Mutex);
        left = control->RunningDetached;
        control->OwnsRecord = left > 0;
    }
    return left;
}

int DetachedDispatcherThreads()
{
    return g_detachedRunning.load();
}

bool GetDispatcherProgress(PortHandle port, DispatcherProgress* progress)
{
    if (port < 1 || port > MaxPorts || !progress)
        return false;
    std::lock_guard lock(g_controlsMutex);
    const std::shared_ptr<Control>& control = g_controls[port];
    if (!control)
        return false;
    // Read in this order: bytes read while busy are fully handled once the
    // thread is seen idle afterwards.
    progress->BytesRead = control->BytesRead;
    progress->Busy = control->Busy;
    return true;
}

} // namespace zop
