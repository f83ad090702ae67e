#pragma once
// What the dispatcher's parts share: the state kept beside the record for one
// running dispatcher, and the operations each part offers the others.
//   Dispatcher.cpp          the threads: start, event and dispatch loops, stop
//   DispatcherScan.cpp      reading into the input ring and the data-trigger loop
//   DispatcherDelivery.cpp  sending trigger messages; status and timer triggers
//   DispatcherWriter.cpp    the output thread and its writer
// Internal to comm/.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>

#include "comm/MessageWindow.h"
#include "comm/PortRecord.h"
#include "comm/TriggerScan.h"

namespace zop::dispatcher {

constexpr std::chrono::milliseconds DeliveryTimeout { 1000 };

enum ThreadIndex { EventThreadIndex, DispatchThreadIndex, OutputThreadIndex, ThreadIndexCount };

// What the dispatcher keeps beside the record for one running dispatcher.
struct Control {
    Control(PortHandle port, PortRecord* record)
        : Port(port)
        , Record(record)
        , WaitsForBytes(record->WaitProcs.WaitReceived != nullptr)
        , ReadsBesideLoans(WaitsForBytes && Lending.Usable())
    {
    }
    const PortHandle Port;
    PortRecord* const Record;
    // The dispatcher thread waits for received bytes on the device itself
    // (the layer offers WaitReceived); the event thread then watches only
    // the modem lines and line errors.
    const bool WaitsForBytes;
    // The send of a loan that the dispatcher thread does not block on: it
    // reads received bytes into the ring while the loan runs.
    TaskSend Lending;
    const bool ReadsBesideLoans;

    // The turn: only its holder reads into the input ring, runs the checks
    // and delivers. The dispatcher thread holds it while it processes an
    // event, received bytes or the idle checks (its loans run under it); the
    // receiving window's thread takes it for a turn of its own when it sees
    // received bytes while the dispatcher thread does not hold it (see
    // OwnerTurn).
    std::mutex Turn;
    // EventReady carries an event word from the event thread (else it only
    // wakes the dispatcher thread).
    std::atomic<bool> WordHandedOver { false };
    // The receiving window's thread saw received bytes and may have found
    // the turn taken: the dispatcher thread reads them when it lets it go.
    std::atomic<bool> BytesSeen { false };

    // Ends of the threads, and who frees the record when one had to be detached.
    std::mutex Mutex;
    std::condition_variable Changed;
    std::array<bool, ThreadIndexCount> Ended {};
    std::array<bool, ThreadIndexCount> Detached {};
    int RunningDetached = 0;
    bool OwnsRecord = false;

    // Dispatcher thread only (under the record's lock while scanning).
    ScanState Scan;
    bool RingFilled = false; // the last read filled the ring: the device may hold more bytes
    bool ReadingPaused = false; // the ring was full: the device is not watched for received bytes
    std::atomic<bool> DeviceGone { false }; // WaitReceived failed: the device is never waited on again
    bool NothingRead = false; // the last wait for received bytes found none to read
    std::chrono::steady_clock::time_point ReadOnUntil; // the data-trigger loop reads on until then

    // The data-trigger loop handed to the receiver's thread (see RunDataTriggers).
    // Set while the loop runs on the receiver's thread: its window, called directly.
    OwnWindowCall* LoanCall = nullptr;
    bool ReadWhileLent = false; // the dispatcher thread read bytes while the last loan ran
    bool CheckAgain = false; // bytes read beside the last loan of a pass wait for the checks
    bool SkipWindowSend = false; // the hand-over was refused: its first message counts as not handled
    std::uint32_t LoanVersion = ~std::uint32_t { 0 }; // TriggersVersion when LoanTarget was found
    WindowHandle LoanTarget = 0;
    std::exception_ptr LoanFailure; // a receiver's procedure threw during the loan
    std::atomic<bool> OwnerLeftWork { false }; // a turn of the window's thread ended with messages still due

    // The watch through which the receiving window's thread sees received
    // bytes itself (dispatcher thread, under the turn).
    WatchHandle OwnerWatch;
    WindowHandle WatchedWindow = 0;
    std::uint32_t WatchVersion = ~std::uint32_t { 0 };
    // The device held no bytes at the last look for that thread: this
    // thread waits for its next bytes rather than looking every 50 ms.
    bool DeviceQuiet = false;

    // Progress, readable from other threads.
    std::atomic<std::uint64_t> BytesRead { 0 };
    std::atomic<bool> Busy { false };
    std::atomic<bool> WindowReads { false }; // OwnerWatch is set
};

// The end of one of the port's threads (frees the record when it was the
// last detached one).
void ThreadEnded(const std::shared_ptr<Control>& control, ThreadIndex index);

// Names the calling thread as `top -H` and debuggers show it (comm-event,
// comm-dispatch, comm-output).
void NameThisThread(const char* name);
void SetDeviceMask(PortRecord& record, std::uint32_t mask);
// The events the event thread waits for: all but received bytes when the
// dispatcher thread waits for those itself, or while the ring is full.
std::uint32_t EventThreadMask(const Control& control, bool readingPaused);

// ---- delivery (DispatcherDelivery.cpp) ----

// Sends one trigger message to the receivers, newest first. Returns 1 when
// the message was handled as announced, 0 when the caller's loop must stop
// (close pending, stop, or announced bytes not all taken).
int Deliver(Control& control, std::uint32_t message, std::uint16_t wParam, std::uint16_t low);
// The same, for a caller that holds the record's lock (it is released before
// the first receiver is called and is not held on return): what the caller
// decided under it and the start of the delivery are one step.
int Deliver(Control& control, std::uint32_t message, std::uint16_t wParam, std::uint16_t low,
    std::unique_lock<RecursiveLock>& held);
// Records a trigger in the log when logging is on.
void Log(PortRecord& record, std::uint8_t subtype, std::uint16_t data);
void UpdateModemStatus(PortRecord& record);
// Checks status triggers until a check delivers nothing.
void RunStatusTriggers(Control& control);
// The status checks and, when none fired, the timer checks of an idle pass.
void RunIdleTriggers(Control& control);

// ---- reading and the data-trigger loop (DispatcherScan.cpp) ----

// Reads what the device holds into the input ring; returns the bytes moved.
std::int32_t ReadIntoRing(Control& control);
// Runs the data-trigger checks while they deliver.
void RunDataTriggers(Control& control);
// Pauses or resumes watching for received bytes as the ring is full or not.
void WatchReceivedBytes(Control& control);
// Reads what the device holds and runs the data-trigger checks on it (unless
// a delivery is in progress); returns the bytes read. With `onlyIfRead`, a
// read that finds nothing runs no checks: bytes that another thread has
// read and checked meanwhile are no news.
std::int32_t ProcessReceived(Control& control, bool onlyIfRead = false);

// See AllowWindowReads.
extern std::atomic<bool> g_windowReads;

// Watches the device for the thread of the window that every message goes
// to, when there is one, so that it can take turns of its own (under the turn).
void UpdateOwnerWatch(Control& control);
// Ends that watch; it never runs again when this returns.
void EndOwnerWatch(Control& control);

// ---- output (DispatcherWriter.cpp) ----

void OutputThreadMain(std::shared_ptr<Control> control);

} // namespace zop::dispatcher
