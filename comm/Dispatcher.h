#pragma once
// The dispatcher threads of a port, as the port layer calls them at open and
// close. Implemented with the triggers in comm/Dispatcher.cpp.
#include <cstdint>
#include <functional>

#include "comm/PortRecord.h"

namespace zop {

// Starts the event, dispatcher and output threads unless the port's
// dispatcher mode is already non-zero; returns the mode in force (4).
std::int32_t StartDispatcher(PortHandle port, std::uint16_t mode);

// Stops the three threads with bounded waits. Returns 0 when all three have
// ended, or the number left running (detached, never killed): the port layer
// then must not free the record, because those threads still use it; the
// last of them frees it when it ends. Called from the
// port's own dispatcher thread (a deferred close, through ReleasePort), it
// detaches that thread and returns 0; the thread must not touch the record
// after ReleasePort returns. `beforeHandOver`, when given, runs once the
// threads have ended or been detached and before a detached thread may free
// the record: the caller's last use of the record belongs there.
std::int32_t StopDispatcher(PortHandle port, const std::function<void(PortRecord&)>& beforeHandOver = {});

// Whether the thread of a window that receives every trigger message of a
// port may read the port's received bytes itself when its pump sees them
// first (the default), or leaves all reading to the dispatcher thread, which
// lends it the checks. Takes effect for each port at its next change of
// receivers; for comparing the two (tests, benchmarks).
void AllowWindowReads(bool allow);

// Dispatcher threads that were detached by a stop and have not ended yet.
int DetachedDispatcherThreads();

// What the dispatcher of an open port has done (for tests and tools): the
// bytes it has read from the device, and whether it is handling an event or
// an idle check right now, or left messages due. False for a port without a running dispatcher.
struct DispatcherProgress {
    std::uint64_t BytesRead = 0;
    bool Busy = false;
    // The receiving window's thread reads received bytes itself (its pump
    // is woken by them).
    bool WindowReads = false;
};
bool GetDispatcherProgress(PortHandle port, DispatcherProgress* progress);

// Empties all trigger tables and sets the availability threshold to 0.
std::int32_t ClearTriggers(PortHandle port);

} // namespace zop
