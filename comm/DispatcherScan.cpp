// Reading into the input ring and the data-trigger loop of the dispatcher
// thread: each check asks the trigger scan which message is due and delivers
// it. When every message goes to one window of another thread, the loop runs
// on that thread as one task (a loan): the messages are the same, in the same
// order, but each costs a call instead of two thread switches.
#include "comm/DispatcherControl.h"

#include "comm/MessageWindow.h"
#include "comm/PortLayer.h"
#include "comm/TraceLog.h"
#include "comm/Triggers.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

namespace zop::dispatcher {

namespace {

// One data-trigger check: decides the next message from the bytes not yet
// offered to the triggers and delivers it. Returns the result of its
// delivery, 0 when it delivered nothing.
int CheckDataTriggers(Control& control)
{
    PortRecord& record = *control.Record;
    std::unique_lock lock(record.Lock);
    const ScanDecision decision = DecideDelivery(
        control.Scan, record.DataTriggers, record.TriggersVersion, record.InRing, record.AvailThreshold);
    record.ScanPosition = ScanIndex(control.Scan, record.InRing);
    // The first message is delivered under the lock the decision was made
    // under; a log entry is written without it.
    const auto log = [&](std::uint8_t subtype, std::uint16_t data) {
        if (!record.LogOn)
            return;
        lock.unlock();
        Log(record, subtype, data);
        lock.lock();
    };
    if (decision.What == ScanDecision::Kind::Avail) {
        record.LastAvailPosition = record.ScanPosition;
        log(LogAvail, decision.Count);
        return Deliver(control, TriggerAvailMsg, decision.Count, 0, lock);
    }
    if (decision.What == ScanDecision::Kind::Nothing)
        return 0;
    int result = 1;
    for (int i = 0; i < decision.FiredCount; ++i) {
        const auto [handle, length] = decision.Fired[i];
        if (i == 0) {
            log(LogData, handle);
            result = Deliver(control, TriggerDataMsg, handle, length, lock);
        } else {
            Log(record, LogData, handle);
            result = Deliver(control, TriggerDataMsg, handle, length);
        }
        if (record.ClosePending)
            return 0;
    }
    return result;
}

} // namespace

std::int32_t ReadIntoRing(Control& control)
{
    PortRecord& record = *control.Record;
    // An empty ring starts again at its beginning, so that what the device
    // holds comes in one read rather than two around the ring's end. Not
    // while a delivery runs: its receiver may take bytes without the lock.
    if (record.InRing.Empty() && record.InRing.Head() != 0 && !record.Delivering) {
        std::lock_guard lock(record.Lock);
        if (!record.Delivering)
            record.InRing.Rewind();
    }
    // What the device holds now; bytes that arrive later are read on by the
    // data-trigger loop or make the device's next event.
    const std::int32_t moved = ReadIntoRoom(record);
    if (moved > 0) {
        // The bytes and the scan's note of them are published together: a
        // check on another thread (a loan, beside which this thread reads)
        // never sees bytes the scan has not been told of, which it would
        // announce unscanned, their terminators lost.
        std::lock_guard lock(record.Lock);
        record.InRing.Commit(static_cast<std::uint16_t>(moved));
        NoteReceived(control.Scan, static_cast<std::uint16_t>(moved), record.InRing);
        control.BytesRead += static_cast<std::uint64_t>(moved);
    }
    control.RingFilled = record.InRing.Full();
    return std::max(moved, 0);
}

std::int32_t ProcessReceived(Control& control, bool onlyIfRead)
{
    const std::int32_t moved = ReadIntoRing(control);
    if (moved == 0 && onlyIfRead && !control.Record->InRing.Full())
        return 0;
    if (!control.Record->Delivering)
        RunDataTriggers(control);
    else
        WatchReceivedBytes(control);
    return moved;
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
    if (!control.WaitsForBytes)
        SetDeviceMask(record, EventThreadMask(control, pause));
}

namespace {

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

// One turn of the data-trigger loop: a check, then reading on at once,
// without waiting for the device's next event, when the receivers made room
// in a full ring, or when the checks have nothing more to deliver and the
// device holds more bytes (a stream keeps coming: the thread that runs the
// loop reads and delivers in turn, and the event and dispatcher threads need
// not wake for each read). Reading on stops at the loop's deadline, so that
// a stream without end leaves room for the idle checks and the event wait.
// Returns whether the loop goes on.
bool DataTriggerTurn(Control& control)
{
    PortRecord& record = *control.Record;
    const int delivered = CheckDataTriggers(control);
    if (record.ClosePending || record.StopFlag || record.InRing.Full())
        return delivered != 0 && !record.ClosePending && !record.StopFlag;
    if (control.RingFilled && (delivered == 0 || InputRingSize - InputWaiting(record) >= ReadOnRoom)) {
        ReadIntoRing(control);
        return true;
    }
    if (delivered == 0)
        return std::chrono::steady_clock::now() < control.ReadOnUntil && ReadIntoRing(control) > 0;
    return true;
}

// How long a loan may keep the receiver's thread before it gives the loop
// back, so that a stream without end never keeps that thread from the rest
// of its work (a window's paint and input events).
constexpr std::chrono::milliseconds LoanBudget { 5 };
// How long the data-trigger loop of one event reads on.
constexpr std::chrono::milliseconds ReadOnBudget { 5 };

// A turn of a loan while the dispatcher thread reads beside it: the check
// alone, since the dispatcher thread stays the ring's only producer.
bool LentTurn(Control& control)
{
    PortRecord& record = *control.Record;
    const int delivered = CheckDataTriggers(control);
    return delivered != 0 && !record.ClosePending && !record.StopFlag;
}

// The loan, on the receiver's thread while the dispatcher thread waits for
// it (or reads beside it): the same turns, each message now a direct call.
// It gives the loop back when the receivers change, when other messages
// wait for this thread (they keep their turn), and when its time is up.
// `goOn` tells whether the loop goes on, also when a receiver's exception
// leaves here. With `readsOn` the turns read on from the device themselves;
// without, the dispatcher thread reads beside the loan.
void RunLoan(Control& control, WindowHandle window, bool& goOn, bool readsOn)
{
    PortRecord& record = *control.Record;
    const auto end = std::chrono::steady_clock::now() + LoanBudget;
    OwnWindowCall call(window);
    control.LoanCall = &call;
    struct LoanEnd {
        Control& Lent;
        ~LoanEnd() { Lent.LoanCall = nullptr; }
    } loanEnd { control };
    // The clock is read every few turns: a turn takes microseconds.
    constexpr unsigned ClockEvery = 8;
    for (unsigned turn = 1;; ++turn) {
        goOn = readsOn ? DataTriggerTurn(control) : LentTurn(control);
        if (!goOn || control.LoanFailure || MessagesWaiting()
            || (turn % ClockEvery == 0 && std::chrono::steady_clock::now() >= end))
            break;
        // The receivers are looked at again only when they changed.
        if (record.TriggersVersion.load(std::memory_order_acquire) == control.LoanVersion)
            continue;
        std::lock_guard lock(record.Lock);
        if (LoanWindow(control, record) != window)
            break;
    }
    if (control.LoanFailure)
        std::rethrow_exception(std::exchange(control.LoanFailure, nullptr));
}

// While a loan runs: reads received bytes into the ring as they arrive,
// until the ring is full, then waits for the loan alone (a loan gives the
// loop back within its time budget). Bytes read here are offered to the
// triggers by the loan's next check or, when the loan has ended meanwhile,
// by the next turn.
void ReadBesideLoan(Control& control, bool& reading)
{
    PortRecord& record = *control.Record;
    TaskSend& send = control.Lending;
    reading = reading && !control.DeviceGone && !record.StopFlag && !record.ClosePending && !record.InRing.Full();
    if (!reading) {
        send.Finished().Wait(send.WaitMs());
        return;
    }
    const std::int32_t woke = record.WaitProcs.WaitReceived(record.Device, &send.Finished(), send.WaitMs());
    if (woke < 0) {
        control.DeviceGone = true;
        return;
    }
    if (woke & ReceivedBytesWait) {
        // Bytes seen but none read: leave the device to the next wait.
        reading = ReadIntoRing(control) > 0;
        control.ReadWhileLent = control.ReadWhileLent || reading;
    }
}

// Hands the loan to the receiver's thread, sent like a message (same
// time-out and hung rule). When the dispatcher thread waits for received
// bytes itself, it reads them into the ring while the loan runs (the two
// threads then pipeline reading and delivering); the loan only checks and
// delivers, so every message still comes from the one scan, in byte order.
SendResult Lend(Control& control, WindowHandle window, const std::function<void()>& loan, bool readBeside)
{
    if (!readBeside)
        return SendTaskTimeout(window, loan, DeliveryTimeout, HungPolicy::AbortIfHung);
    std::optional<SendResult> answer = control.Lending.Start(window, loan, DeliveryTimeout, HungPolicy::AbortIfHung);
    bool reading = true;
    while (!answer) {
        ReadBesideLoan(control, reading);
        answer = control.Lending.Answer();
    }
    return *answer;
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
    control.ReadWhileLent = false;
    // Receivers that cannot take a loan, unchanged since they were last
    // looked at (the procedure receiver's case): the check alone, without
    // taking the lock for nothing. A change made meanwhile is seen by the
    // next turn, as one made a moment later would be.
    if (control.LoanTarget == 0 && control.LoanVersion == record.TriggersVersion.load(std::memory_order_acquire))
        return DataTriggerTurn(control);
    WindowHandle window = 0;
    {
        // The scan runs ahead here only when the checks could be lent;
        // otherwise the check itself advances it.
        std::lock_guard lock(record.Lock);
        if (!record.StopFlag && !record.ClosePending && LoanWindow(control, record) != 0) {
            AdvanceScan(control.Scan, record.DataTriggers, record.TriggersVersion, record.InRing);
            record.ScanPosition = ScanIndex(control.Scan, record.InRing);
            if (DeliveryDue(control.Scan, record.InRing, record.AvailThreshold))
                window = LoanWindow(control, record);
        }
    }
    if (window == 0)
        return DataTriggerTurn(control);
    bool goOn = false;
    // A window's thread that reads the device itself reads on during the
    // loan as in its own turns; this thread then only waits for the loan,
    // rather than waking for every read beside it.
    const bool readBeside = control.ReadsBesideLoans && !control.OwnerWatch;
    const std::function<void()> loan = [&] { RunLoan(control, window, goOn, !readBeside); };
    if (Lend(control, window, loan, readBeside) == SendResult::Handled) {
        // Bytes read beside the loan are a new batch: they are checked as
        // the next device event's would be, also after a delivery that ended
        // the loop; once the loop's reading-on time is up, by the dispatcher
        // thread's next pass (see CheckAgain).
        const bool newBatch = control.ReadWhileLent && std::chrono::steady_clock::now() < control.ReadOnUntil;
        return (goOn || newBatch) && !record.ClosePending && !record.StopFlag;
    }
    control.SkipWindowSend = true;
    goOn = DataTriggerTurn(control);
    control.SkipWindowSend = false;
    return goOn;
}

// A turn of the receiving window's own thread, called from its message
// pump when it sees received bytes in the device. When the dispatcher
// thread does not hold the turn, this thread reads the bytes into the ring
// and runs the checks itself, as a loan would, reading on while the stream
// lasts: the bytes then reach the handler with the wake-up of this thread
// alone. When the dispatcher thread holds the turn, it reads the bytes as
// soon as it lets the turn go, and lends the checks here as usual. The
// messages come from the one scan, in byte order, either way. Returns
// whether messages are still due (the pump calls again).
bool OwnerTurn(Control& control)
{
    PortRecord& record = *control.Record;
    // Said before the turn is tried: a dispatcher thread that holds it looks
    // at this after letting it go, and reads the bytes at once.
    control.BytesSeen = true;
    std::unique_lock turn(control.Turn, std::try_to_lock);
    if (!turn.owns_lock())
        return false;
    control.BytesSeen = false;
    if (record.StopFlag || record.ClosePending || control.DeviceGone)
        return false;
    if (record.Delivering) {
        control.BytesSeen = true; // a delivery of the dispatcher thread's is under way: it reads them after
        return false;
    }
    WindowHandle window = 0;
    {
        std::lock_guard lock(record.Lock);
        window = LoanWindow(control, record);
    }
    // The watch runs on the thread of the window it was made for. When the
    // receivers have changed, the dispatcher thread takes the bytes and
    // looks at the watch again now.
    if (window == 0 || window != control.WatchedWindow) {
        control.BytesSeen = true;
        record.EventReady.Set();
        return false;
    }
    // Like the dispatcher thread's, the checks run for newly read bytes, or
    // for messages the last turn left due; a reminder about bytes since read
    // by the dispatcher thread finds neither.
    const bool leftWork = control.OwnerLeftWork.exchange(false);
    control.Busy = true;
    control.ReadOnUntil = std::chrono::steady_clock::now() + ReadOnBudget;
    if (ReadIntoRing(control) == 0 && !leftWork) {
        control.Busy = false;
        return false;
    }
    bool goOn = false;
    const auto end = [&] {
        control.OwnerLeftWork = goOn;
        control.Busy = false;
        // A close from a handler is finished by the dispatcher thread.
        if (record.ClosePending)
            record.EventReady.Set();
    };
    try {
        RunLoan(control, window, goOn, true);
    } catch (...) {
        // What a receiver's failure left in the device is read by the
        // dispatcher thread.
        control.BytesSeen = true;
        record.EventReady.Set();
        end();
        throw;
    }
    end();
    // Reading on stops when its time is up, not when the device is empty:
    // a stream goes on at the next pump.
    const bool streaming = std::chrono::steady_clock::now() >= control.ReadOnUntil;
    return (goOn || streaming) && !record.ClosePending && !record.StopFlag;
}

} // namespace

void UpdateOwnerWatch(Control& control)
{
    PortRecord& record = *control.Record;
    if (!control.ReadsBesideLoans || !record.WaitProcs.ReceiveDescriptor)
        return;
    const std::uint32_t version = record.TriggersVersion.load(std::memory_order_acquire);
    if (version == control.WatchVersion)
        return;
    control.WatchVersion = version;
    WindowHandle window = 0;
    {
        std::lock_guard lock(record.Lock);
        window = LoanWindow(control, record);
    }
    if (window == control.WatchedWindow && control.OwnerWatch)
        return;
    EndOwnerWatch(control);
    if (window == 0 || !g_windowReads || record.StopFlag || record.ClosePending || control.DeviceGone)
        return;
    control.OwnerWatch = WatchDescriptor(
        window, record.WaitProcs.ReceiveDescriptor(record.Device), [c = &control] { return OwnerTurn(*c); });
    control.WatchedWindow = control.OwnerWatch ? window : 0;
    control.WindowReads = control.OwnerWatch != nullptr;
}

void EndOwnerWatch(Control& control)
{
    StopWatch(control.OwnerWatch);
    control.OwnerWatch.reset();
    control.WatchedWindow = 0;
    control.WindowReads = false;
    control.DeviceQuiet = false;
}

// Runs the data-trigger checks while they deliver; when the receivers made
// room in a full ring, reads on at once rather than at the next idle check.
void RunDataTriggers(Control& control)
{
    control.ReadOnUntil = std::chrono::steady_clock::now() + ReadOnBudget;
    while (RunDataTriggerTurns(control)) { }
    control.CheckAgain = control.ReadWhileLent && !control.Record->ClosePending;
    WatchReceivedBytes(control);
}

} // namespace zop::dispatcher
