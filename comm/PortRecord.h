#pragma once
// One open serial port: everything the port layer, the dispatcher and the
// trace and log keep about it. Allocated at open, freed at close.
//
// Sharing between threads: the caller's thread (the component) uses the
// record under Lock. The dispatcher thread fills the input ring and runs the
// trigger checks without the lock: it alone advances the input ring's head;
// consumers advance its tail under the lock.
// Fields written by one thread and read by another without the lock are
// atomics. Delivering is set and cleared, and ClosePending tested after a
// delivery, under Lock: ClosePort decides under it whether to free the record
// at once or to leave that to the dispatcher thread (ReleasePort).
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "comm/ByteRing.h"
#include "comm/DeviceProcs.h"
#include "comm/RecursiveLock.h"
#include "comm/SyncEvent.h"
#include "comm/TriggerTables.h"

namespace zop {

using PortHandle = std::uint16_t;

constexpr std::uint16_t InputRingSize = 8192;
constexpr std::uint32_t WriteTimeoutMs = 60000;
constexpr std::uint16_t OptionConsumeOnRead = 2;
constexpr std::uint16_t MaxTraceEntries = 32760;

// A value that differs for every live thread and costs one instruction.
inline const void* ThreadToken()
{
    static thread_local const char token = 0;
    return &token;
}

struct PortRecord {
    PortRecord() = default;
    ~PortRecord(); // frees the receiver nodes
    PortRecord(const PortRecord&) = delete;
    PortRecord& operator=(const PortRecord&) = delete;

    PortHandle Handle = 0; // the slot this record occupies

    // 1. The device operations this port was opened with.
    DeviceProcs Procs {};
    DeviceWaitProcs WaitProcs {};
    // 2. Negative: no device.
    std::atomic<DeviceHandle> Device { -1 };
    // 3. Accumulated line error bits (LineErr*).
    std::uint32_t LineErrors = 0;
    // 4. Device queue sizes; OutSize is also the size of the output ring.
    std::uint16_t InSize = 0;
    std::uint16_t OutSize = 0;
    // 5. Modem status, laid out like a 16550 modem status register.
    std::uint16_t ModemStatus = 0;
    // 6. Filled by GetDeviceError.
    DeviceStatus Status {};
    // 7. The device settings record, read and written whole.
    DeviceSettings Settings {};
    // 8. Option bits (OptionConsumeOnRead).
    std::uint16_t Options = 0;
    // 9.
    std::int32_t DtrState = 0;
    std::int32_t RtsState = 0;
    // 10. 1 when the device handle was supplied by the caller.
    std::int32_t ExternalHandle = 0;
    // 11. Receivers, newest first.
    TriggerHandler* Receivers = nullptr;
    // 12. Trigger tables.
    TimerTable Timers {};
    DataTable DataTriggers {};
    StatusTable StatusTriggers {};
    HandleTable Handles {};
    // Changed under Lock whenever a data trigger or a receiver is added,
    // removed or replaced, so the dispatcher may keep what it derives from
    // them; readable without the lock to see whether anything changed.
    std::atomic<std::uint32_t> TriggersVersion { 0 };
    // 13. Next ring index not yet offered to the data triggers; availability threshold.
    std::uint16_t ScanPosition = 0;
    std::uint16_t AvailThreshold = 0;
    // 14.
    std::int32_t ReceiverCleanup = 0;
    std::int32_t StatusPass = 0;
    std::array<std::int32_t, StatusTriggerCount + 1> FiredThisPass {};
    // 15. Read-ahead while a TriggerAvailMsg or TriggerDataMsg is delivered.
    std::int32_t ReadAhead = 0;
    std::atomic<std::uint16_t> ReadAheadCount { 0 };
    // The thread whose receiver handles the current TriggerAvailMsg or
    // TriggerDataMsg when that runs on the delivering thread itself (a
    // procedure, or a window's handler during a loan), without tracing or
    // consume-on-read: while it is set, that thread alone takes bytes, and
    // GetChar and GetBlock read ahead for it without the lock.
    std::atomic<const void*> Reader { nullptr }; // ThreadToken() of that thread
    std::uint16_t ReadAheadMax = 0;
    // 16. (The input ring tells itself whether it is full.)
    std::uint16_t LastAvailPosition = 0;
    // 17. Dispatcher control.
    std::atomic<bool> StopFlag { false };
    std::thread EventThread;
    std::thread DispatchThread;
    std::thread OutputThread;
    RecursiveLock Lock;
    SyncEvent EventReady; // auto
    SyncEvent Continue; // auto
    SyncEvent Acknowledge; // auto
    SyncEvent OutputReady; // auto
    SyncEvent WriteComplete; // manual
    SyncEvent FlushRequest; // auto
    // 18. Result of the last wait for a device event.
    std::atomic<std::uint32_t> EventWord { 0 };
    // 19. Set by the event thread, consumed by GetModemStatus.
    std::atomic<bool> RingTrailingEdgePending { false };
    // 20. Output ring of OutSize bytes: the caller queues under Lock, the
    // output thread writes from it.
    ByteRing OutRing;
    // 21. Input ring of InputRingSize bytes: the dispatcher thread fills it,
    // the receivers take from it.
    ByteRing InRing;
    // 22.
    std::atomic<bool> Delivering { false };
    std::atomic<bool> ClosePending { false };
    std::atomic<bool> OutputSent { false };
    // Set by the event thread when the device has vanished (unplugged, its
    // other end gone): the port stays open but will never receive again.
    std::atomic<bool> DeviceLost { false };
    // 23. Indexed by trigger handle 1..41.
    std::array<std::uint8_t, TriggerHandleCount + 1> HandleReused {};
    // 24. Trace (entries of kind letter + byte) and event log.
    std::atomic<std::int32_t> TraceOn { 0 };
    std::unique_ptr<std::uint8_t[]> TraceBuffer;
    std::uint16_t TraceIndex = 0;
    std::uint16_t TraceSize = 0; // entries
    std::int32_t TraceWrapped = 0;
    std::atomic<std::int32_t> LogOn { 0 };
    std::unique_ptr<std::uint8_t[]> LogBuffer;
    std::uint16_t LogHead = 0;
    std::uint16_t LogTail = 0;
    std::uint16_t LogFree = 0;
    std::uint16_t LogSize = 0;
    std::unique_ptr<std::uint8_t[]> LogScratch;
    std::uint16_t LogScratchSize = 0;
    // 25. Clock::Process().TickCount() at open (31 bits).
    std::uint32_t OpenTime = 0;
};

} // namespace zop
