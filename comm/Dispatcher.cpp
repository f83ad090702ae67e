// The dispatcher of an open port: three threads that wait for device events,
// move received bytes into the input ring, watch them for triggers, announce
// the triggers to the port's receivers and write queued output.
//
// This file holds the threads' lifecycle; see comm/DispatcherControl.h for
// the other parts.
//
// Event thread: waits for a device event, hands its event word to the
// dispatcher thread and waits until that has finished with it, so one device
// event is fully processed before the next wait begins. When the device
// layer offers a wait for received bytes (WaitReceived), the event thread
// watches only the modem lines and line errors, and the dispatcher thread
// waits for received bytes itself, beside the event words: a batch of bytes
// then costs no hand-off between threads, and since the thread that waits
// for bytes is the one that processes them, a batch is still fully
// processed before the next wait for bytes begins.
// Dispatcher thread: processes the event words and received bytes, and
// every 50 ms without either runs the idle checks (modem lines, status and
// timer triggers). When its
// trigger messages all go to one window of another thread, it hands the
// checks of an event to that thread and waits for them (see
// RunDataTriggerTurns): the messages are the same, in the same order, but
// each costs a call instead of two thread switches.
// The thread of a window that receives every message of the port reads
// received bytes itself when its pump sees them first (see OwnerTurn); the
// dispatcher thread then leaves the device to it and reads, at its idle tick,
// only what that thread left. Whoever reads and delivers holds the port's
// turn, so the messages still come from one scan, one delivery at a time.
// Output thread: writes the output ring when output is queued, and answers
// flush requests.
//
// Stopping waits for each thread's own end signal, at most 200 ms each on the
// process clock. A thread that does not end in time is detached, never
// killed (that could leave a lock held); the record it works on stays alive
// until the last such thread has ended.
#include "comm/Dispatcher.h"

#include "comm/Clock.h"
#include "comm/DispatcherControl.h"
#include "comm/ErrorCodes.h"
#include "comm/PortLayer.h"
#include "comm/PortTable.h"

#include <pthread.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace zop {

namespace dispatcher {

namespace {

constexpr std::chrono::milliseconds StopTimeout { 200 };

// Never destroyed: a detached dispatcher thread may still reach them while
// the program's static objects are being destroyed at exit.
std::mutex& g_controlsMutex = *new std::mutex;
std::array<std::shared_ptr<Control>, MaxPorts + 1>& g_controls
    = *new std::array<std::shared_ptr<Control>, MaxPorts + 1>;
std::atomic<int> g_detachedRunning { 0 };

} // namespace

std::atomic<bool> g_windowReads { true };

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

namespace {

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

} // namespace

void NameThisThread(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}

void SetDeviceMask(PortRecord& record, std::uint32_t mask)
{
    const DeviceHandle device = record.Device;
    if (device >= 0)
        record.Procs.SetEventMask(device, mask);
}

std::uint32_t EventThreadMask(const Control& control, bool readingPaused)
{
    return control.WaitsForBytes || readingPaused ? DeviceEventMask & ~EvRxChar : DeviceEventMask;
}

namespace {

constexpr std::uint16_t ModeRunning = 4;
constexpr int StartAcknowledgeMs = 3000;
constexpr int IdleIntervalMs = 50;
constexpr std::uint32_t ModemEventBits = EvCts | EvDsr | EvRlsd | EvRing | EvRingTrailingEdge;

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
    if (word & EvRxChar)
        ProcessReceived(control);
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
    if (control.RingFilled || control.OwnerLeftWork.exchange(false)) {
        if (!record.InRing.Full())
            ReadIntoRing(control);
        RunDataTriggers(control);
        if (record.ClosePending)
            return;
    }
    RunIdleTriggers(control);
}

void EventThreadMain(std::shared_ptr<Control> control)
{
    NameThisThread("comm-event");
    PortRecord& record = *control->Record;
    SetDeviceMask(record, EventThreadMask(*control, false));
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
        control->WordHandedOver = true;
        record.EventReady.Set();
        record.Continue.Wait(-1);
        if (record.StopFlag || record.ClosePending)
            break;
    }
    ThreadEnded(control, EventThreadIndex);
}

// Whether the idle checks have anything to do: armed status or timer
// triggers, a full ring whose receivers may make room, messages a turn of the
// window's thread left due, or a device to look at again (`lookAgain`).
// Without any, the dispatcher thread sleeps until an event, received bytes
// or a change of triggers or receivers wakes it, rather than every 50 ms.
bool IdleChecksDue(Control& control, bool lookAgain)
{
    PortRecord& record = *control.Record;
    if (lookAgain || control.RingFilled || control.OwnerLeftWork)
        return true;
    std::lock_guard lock(record.Lock);
    for (int slot = 1; slot <= StatusTriggerCount; ++slot) {
        if (record.StatusTriggers[slot].Armed)
            return true;
    }
    for (int slot = 1; slot <= TimerTriggerCount; ++slot) {
        if (record.Timers[slot].Armed)
            return true;
    }
    return false;
}

// What ended the dispatcher thread's wait.
struct Wakening {
    bool Event = false; // the event thread handed over an event word
    bool Received = false; // the device holds received bytes
    bool Recheck = false; // bytes read beside a loan wait for the checks
};

// Waits up to the idle interval (or, with no idle checks due, without limit)
// for the event thread's next event word and,
// when this thread watches the device itself, for received bytes. It does
// so only between the processing of two batches (so received bytes, like
// every device event, are fully processed before the next wait for them
// begins), and not while the ring is full: the device then keeps the bytes
// until the receivers make room, which the idle checks see. A wait that
// found bytes but could read none is followed by one wait on the event
// thread alone, so that a descriptor that stays readable cannot spin us.
// Bytes read beside a loan that the last pass left unchecked make the wait
// a look without waiting.
// When the receiving window's thread reads received bytes itself, what it
// left in the device is looked at here, at the idle tick: that thread is
// reminded of it, and when it has not pumped since the last reminder (it is
// busy elsewhere, or gone), the bytes are read here and lent to it as before,
// with the message time-out. The tick runs only while there may be bytes to
// look at: after a look that found the device empty, this thread waits for
// its next bytes without a time-out, and ticks again from their arrival.
Wakening WaitForWork(Control& control)
{
    PortRecord& record = *control.Record;
    const bool recheck = std::exchange(control.CheckAgain, false);
    const bool nothingRead = std::exchange(control.NothingRead, false);
    const bool ownerReads = control.OwnerWatch != nullptr;
    // Bytes the receiving window's thread saw while this thread held the
    // turn are read now, without waiting.
    if (ownerReads && control.BytesSeen.exchange(false))
        return { record.EventReady.TryConsume() && control.WordHandedOver.exchange(false), true, recheck };
    const bool deviceReadable = control.WaitsForBytes && !control.ReadingPaused && !control.DeviceGone;
    const bool lookAgain = nothingRead || (ownerReads && !(control.DeviceQuiet && deviceReadable));
    const int timeoutMs = recheck ? 0 : IdleChecksDue(control, lookAgain) ? IdleIntervalMs : -1;
    const bool watchDevice = deviceReadable && !nothingRead && (!ownerReads || timeoutMs < 0);
    if (!watchDevice) {
        const bool signalled = record.EventReady.Wait(timeoutMs);
        Wakening woke { signalled && control.WordHandedOver.exchange(false), false, recheck };
        if (ownerReads && !signalled && deviceReadable) {
            const std::int32_t held = record.WaitProcs.WaitReceived(record.Device, nullptr, 0);
            control.DeviceGone = held < 0;
            const bool bytesHeld = held > 0 && (held & ReceivedBytesWait) != 0;
            control.DeviceQuiet = held == 0;
            woke.Received = bytesHeld && !NudgeWatch(control.OwnerWatch);
        }
        return woke;
    }
    const std::int32_t woke = record.WaitProcs.WaitReceived(record.Device, &record.EventReady, timeoutMs);
    if (woke < 0) {
        // The device has vanished: the event thread reports it and ends.
        control.DeviceGone = true;
        return { false, false, recheck };
    }
    const bool signalled = (woke & WakeSignalled) != 0 && record.EventReady.TryConsume();
    const bool received = (woke & ReceivedBytesWait) != 0;
    // The window's thread reads the bytes that woke a quiet device's wait.
    if (ownerReads && received)
        control.DeviceQuiet = false;
    return { signalled && control.WordHandedOver.exchange(false), received && !ownerReads, recheck };
}

void DispatchThreadMain(std::shared_ptr<Control> control)
{
    NameThisThread("comm-dispatch");
    PortRecord& record = *control->Record;
    record.Acknowledge.Set();
    // The idle checks also run during a steady stream of events, at least
    // every 50 ms, so modem lines and timers are never starved.
    auto lastIdle = std::chrono::steady_clock::now();
    {
        // A dispatcher started again (new settings) meets its receivers here.
        const std::lock_guard turn(control->Turn);
        UpdateOwnerWatch(*control);
    }
    for (;;) {
        const Wakening woke = WaitForWork(*control);
        if (record.StopFlag)
            break;
        const std::lock_guard turn(control->Turn);
        const BusyScope busy(*control);
        // An event word before the bytes that came with it, as the bits of
        // one word are processed.
        if (woke.Event)
            ProcessEvent(*control, record.EventWord);
        if ((woke.Received || woke.Recheck) && !record.ClosePending && !record.StopFlag) {
            // While the window's thread reads the device itself, bytes
            // this thread found are a look: that thread may have read and
            // checked them since, and then there is nothing new to check.
            const bool looked = woke.Received && control->OwnerWatch && !woke.Recheck;
            const bool nothingRead = ProcessReceived(*control, looked) == 0 && !record.InRing.Full();
            control->NothingRead = woke.Received && nothingRead;
        }
        const bool work = woke.Event || woke.Received || woke.Recheck;
        const auto now = std::chrono::steady_clock::now();
        if (!work || now - lastIdle >= std::chrono::milliseconds(IdleIntervalMs)) {
            lastIdle = now;
            IdleChecks(*control);
        }
        if (record.ClosePending)
            break;
        UpdateOwnerWatch(*control);
    }
    EndOwnerWatch(*control);
    if (record.ClosePending && !record.StopFlag)
        ReleasePort(control->Port);
    ThreadEnded(control, DispatchThreadIndex);
}

PortRecord* RecordInSlot(PortHandle port)
{
    if (port < 1 || port > MaxPorts)
        return nullptr;
    return Ports().Records[port].load();
}

} // namespace

} // namespace dispatcher

using namespace dispatcher;

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

void AllowWindowReads(bool allow)
{
    g_windowReads = allow;
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
    progress->Busy = control->Busy || control->OwnerLeftWork;
    progress->WindowReads = control->WindowReads;
    return true;
}

} // namespace zop
