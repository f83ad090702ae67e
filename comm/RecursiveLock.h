#pragma once
// The lock of a port record: a thread that holds it may take it again (the
// port layer's operations call each other under it). Cheaper than
// std::recursive_mutex where it counts: the dispatcher and the receivers'
// handlers take it once per byte or message, nearly always uncontended.
#include <atomic>
#include <mutex>
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
        m_mutex.lock();
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
        if (!m_mutex.try_lock())
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
        m_mutex.unlock();
    }

private:
    std::mutex m_mutex;
    std::atomic<std::thread::id> m_owner {};
    unsigned m_depth = 0; // changed only by the owner
};

} // namespace zop
