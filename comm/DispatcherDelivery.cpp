// Delivery of trigger messages to a port's receivers, and the status and
// timer triggers whose checks deliver them.
#include "comm/DispatcherControl.h"

#include "comm/Clock.h"
#include "comm/MessageWindow.h"
#include "comm/PortLayer.h"
#include "comm/TraceLog.h"
#include "comm/Triggers.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace zop::dispatcher {

namespace {

constexpr std::uint32_t TickLength = 55; // timer triggers count in 55 ms ticks
constexpr std::uint32_t TickWrapAllowance = 39045157;

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
    if (!control.LoanCall) {
        SendMessageTimeout(window, message, wParam, lParam, DeliveryTimeout, HungPolicy::AbortIfHung);
        return;
    }
    try {
        if (control.LoanCall->Window() != window || !control.LoanCall->Call(message, wParam, lParam))
            SendMessageTimeout(window, message, wParam, lParam, DeliveryTimeout, HungPolicy::AbortIfHung);
    } catch (...) {
        if (!control.LoanFailure)
            control.LoanFailure = std::current_exception();
    }
}

} // namespace

// Sends one trigger message to the receivers, newest first; see the header
// of Deliver's callers for what the result means to them.
int Deliver(Control& control, std::uint32_t message, std::uint16_t wParam, std::uint16_t low)
{
    std::unique_lock held(control.Record->Lock);
    return Deliver(control, message, wParam, low, held);
}

int Deliver(Control& control, std::uint32_t message, std::uint16_t wParam, std::uint16_t low,
    std::unique_lock<RecursiveLock>& held)
{
    PortRecord& record = *control.Record;
    const bool readAhead = message == TriggerAvailMsg || message == TriggerDataMsg;
    // Only this message's handle is asked about after a receiver.
    const bool asksHandle = wParam <= TriggerHandleCount;
    const std::int32_t lParam = MakeLParam(control.Port, low);
    std::unique_lock lock(std::move(held));
    // Nothing is delivered once the dispatcher is told to stop.
    if (record.StopFlag || record.ClosePending)
        return 0;
    // Under the lock, which orders these for the other threads.
    record.Delivering.store(true, std::memory_order_relaxed);
    record.ReadAhead = readAhead ? 1 : 0;
    record.ReadAheadMax = 0;
    if (asksHandle)
        record.HandleReused[wParam] = 0;
    record.ReadAheadCount.store(0, std::memory_order_relaxed);
    // A receiver that runs on this thread takes its bytes without the lock.
    const bool fastReader = readAhead && !(record.Options & OptionConsumeOnRead) && !record.TraceOn;
    std::uint16_t largest = 0;
    for (TriggerHandler* node = record.Receivers; node;) {
        const TriggerHandler current = *node;
        lock.unlock();
        if (!current.Removed) {
            // A receiver on this thread (a procedure, or a window during a
            // loan) alone takes the bytes until it returns.
            std::optional<ReaderScope> reader;
            if (fastReader && (current.Kind == 2 || control.LoanCall))
                reader.emplace(control.Port, record);
            if (current.Kind == 1)
                SendToWindow(control, current.Window, message, wParam, lParam);
            else if (current.Kind == 2 && current.Procedure)
                current.Procedure(0, message, wParam, lParam);
        }
        // A receiver that was removed passes the message on: it no longer
        // takes messages, so it must not hold them back from the others.
        node = current.PassOn || current.Removed ? current.Next : nullptr;
        if (record.ClosePending)
            return 0;
        lock.lock();
        largest = std::max(largest, record.ReadAheadCount.load());
        if (message != TriggerAvailMsg && asksHandle && record.HandleReused[wParam])
            break;
        record.ReadAheadCount.store(0, std::memory_order_relaxed);
    }

    // Still under the lock: removed receivers are unlinked into a chain of
    // their own and freed after it.
    TriggerHandler* removed = nullptr;
    if (record.ReceiverCleanup) {
        TriggerHandler** link = &record.Receivers;
        while (TriggerHandler* node = *link) {
            if (node->Removed) {
                *link = node->Next;
                node->Next = removed;
                removed = node;
            } else {
                link = &node->Next;
            }
        }
    }
    int result = 1;
    if (readAhead) {
        record.ReadAhead = 0;
        // A receiver may have flushed the ring after reading ahead.
        record.InRing.Consume(std::min(largest, record.InRing.Used()));
        if (message == TriggerAvailMsg && largest != wParam)
            result = 0;
    }
    record.ReceiverCleanup = 0;
    record.ReadAheadCount.store(0, std::memory_order_relaxed);
    record.ReadAheadMax = largest;
    // Under the lock, so that a close from another thread either sees the
    // delivery and leaves the release to this thread, or releases itself.
    record.Delivering.store(false, std::memory_order_relaxed);
    lock.unlock();
    while (removed)
        delete std::exchange(removed, removed->Next);
    return result;
}

void Log(PortRecord& record, std::uint8_t subtype, std::uint16_t data)
{
    if (record.LogOn)
        RecordLogEntry(record, LogTrigger, subtype, data, nullptr, 0);
}

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

namespace {

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

} // namespace

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

void RunIdleTriggers(Control& control)
{
    PortRecord& record = *control.Record;
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

} // namespace zop::dispatcher
