#pragma once
// The lock of a port record: a thread that holds it may take it again (the
// port layer's operations call each other under it). Cheaper than
// std::recursive_mutex where it counts: the dispatcher and the receivers'
// handlers take it once per byte or message, nearly always uncontended.
#include <atomic>
#include <thread>

namespace zop {

class RecursiveLock {
public:
    RecursiveLock() = default;
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void lock()
    {
        const std::thread::id self = std::this_thread::get_id();
        // Only this thread ever stores its own id, so a relaxed load that
        // sees it is certain; any other value means another owner or none.
        if (m_owner.load(std::memory_order_relaxed) == self) {
            ++m_depth;
            return;
        }
        int state = Free;
        if (!m_state.compare_exchange_strong(state, Held, std::memory_order_acquire, std::memory_order_relaxed)) {
            // Taken: mark it contended and sleep until the owner lets go.
            if (state != Contended)
                state = m_state.exchange(Contended, std::memory_order_acquire);
            while (state != Free) {
                m_state.wait(Contended, std::memory_order_relaxed);
                state = m_state.exchange(Contended, std::memory_order_acquire);
            }
        }
        m_owner.store(self, std::memory_order_relaxed);
        m_depth = 1;
    }

    bool try_lock()
    {
        const std::thread::id self = std::this_thread::get_id();
        if (m_owner.load(std::memory_order_relaxed) == self) {
            ++m_depth;
            return true;
        }
        int state = Free;
        if (!m_state.compare_exchange_strong(state, Held, std::memory_order_acquire, std::memory_order_relaxed))
            return false;
        m_owner.store(self, std::memory_order_relaxed);
        m_depth = 1;
        return true;
    }

    void unlock()
    {
        if (--m_depth != 0)
            return;
        m_owner.store(std::thread::id(), std::memory_order_relaxed);
        if (m_state.exchange(Free, std::memory_order_release) == Contended)
            m_state.notify_one();
    }

private:
    enum : int { Free, Held, Contended };
    std::atomic<int> m_state { Free };
    std::atomic<std::thread::id> m_owner {};
    unsigned m_depth = 0; // changed only by the owner
};

} // namespace zop
