#pragma once
// A waitable event shaped like the dispatcher's Win32 events (auto-reset or
// manual-reset), built on an eventfd so that a thread can wait for several
// events and a device descriptor in one poll().
#include <cstdint>
#include <initializer_list>

namespace zop {

enum class EventReset { Auto, Manual };

class SyncEvent {
public:
    SyncEvent() = default;
    ~SyncEvent();
    SyncEvent(const SyncEvent&) = delete;
    SyncEvent& operator=(const SyncEvent&) = delete;

    // Creates the descriptor; false (errno set) when the process is out of them.
    bool Create(EventReset reset);
    bool IsCreated() const { return m_fd >= 0; }
    void Close();

    void Set();
    void Reset();
    // Waits up to timeoutMs (negative = without limit). True when the event
    // was signalled; an auto-reset event is consumed by the waiter it wakes.
    bool Wait(int timeoutMs);
    // True when signalled now, without consuming it.
    bool IsSet() const;
    // For poll(): readable while the event is signalled.
    int Fd() const { return m_fd; }
    EventReset ResetMode() const { return m_reset; }
    // Consumes the signal of an auto-reset event after poll() reported it;
    // false when another waiter took it first.
    bool TryConsume();

private:
    int m_fd = -1;
    EventReset m_reset = EventReset::Auto;
};

// Waits up to timeoutMs (negative = without limit) for any of the events and
// returns the index of the first one signalled (consumed when auto-reset),
// or -1 on time-out.
int WaitForAnyEvent(std::initializer_list<SyncEvent*> events, int timeoutMs);

} // namespace zop
